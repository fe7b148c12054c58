#pragma once
// The window's hand-over: a background thread's work runs on the UI thread while the
// thread waits (the counterpart of TThread::Synchronize). Called on the UI thread itself,
// the work runs at once.
//
// Shutting down without a deadlock: the window, as the first step of its destruction,
// calls Shutdown() on the UI thread. From then on no handed-over work runs any more:
// every thread that waits for its work is released at once (its work never runs), and
// later calls return at once. The window can then ask its threads to stop and wait for
// them, even though a thread was blocked in a hand-over when the loop ended, and no
// thread touches the log, a panel or the device list through the UI thread once the
// destruction has begun. Callers therefore start their results in the failure state,
// which is what a dropped hand-over leaves them in.
//
// Work that has begun on the UI thread is always finished before its waiter returns;
// only work that has not begun is dropped.

#include "core/HandOver.h"

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace ql {

class TUiHandOver : public THandOver {
public:
    // The thread this object is created on is the UI thread.
    TUiHandOver();
    // Shuts down first. Destroy it only after every thread that used it has ended (the
    // window stops its threads between Shutdown and its own end).
    ~TUiHandOver() override;
    TUiHandOver(const TUiHandOver&) = delete;
    TUiHandOver& operator=(const TUiHandOver&) = delete;

    void RunOnUiThread(const std::function<void()>& work) override;

    // UI thread: drop every waiting and every later hand-over from other threads.
    void Shutdown();
    bool IsShutDown() const;

private:
    struct TCall;
    void Serve(const std::shared_ptr<TCall>& call);

    QThread* uiThread_;
    // Queued work is delivered to this object; destroying it discards what is queued.
    std::unique_ptr<QObject> context_;
    mutable std::mutex mutex_;
    // The calls whose threads wait, each woken on its own: with a rack of sessions handing
    // over lines, one shared wake-up per finished call would wake every waiting thread.
    std::vector<TCall*> waiting_;
    bool shutDown_ = false;
};

}  // namespace ql
