#pragma once
// A hand-over with a real UI thread: workers queue their work and wait; the test's own
// thread plays the UI thread and runs the queue until the workers are done.

#include "core/HandOver.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ql::test {

class TQueuedHandOver : public THandOver {
public:
    TQueuedHandOver() : ui_(std::this_thread::get_id()) {}

    void RunOnUiThread(const std::function<void()>& work) override
    {
        if (std::this_thread::get_id() == ui_) {
            work();
            return;
        }
        TItem item{&work, false};
        std::unique_lock<std::mutex> lock(mutex_);
        queue_.push_back(&item);
        changed_.notify_all();
        changed_.wait(lock, [&] { return item.Done; });
    }

    // On the UI thread: runs queued work until finished() holds and the queue is empty.
    void Serve(const std::function<bool()>& finished)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (queue_.empty()) {
                if (finished())
                    return;
                changed_.wait_for(lock, std::chrono::milliseconds(5));
                continue;
            }
            TItem* item = queue_.front();
            queue_.pop_front();
            lock.unlock();
            (*item->Work)();
            lock.lock();
            item->Done = true;
            changed_.notify_all();
        }
    }

private:
    struct TItem {
        const std::function<void()>* Work;
        bool Done;
    };
    std::thread::id ui_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TItem*> queue_;
};

}  // namespace ql::test
