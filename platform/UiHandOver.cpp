#include "platform/UiHandOver.h"

#include "platform/QueuedCall.h"

namespace ql {

struct TUiHandOver::TCall {
    enum TState { Waiting, Running, Done, Dropped };
    // Valid while the caller waits, that is until the state leaves Waiting and Running.
    const std::function<void()>* Work = nullptr;
    TState State = Waiting;
    std::condition_variable Changed;  // the waiting thread's own
};

TUiHandOver::TUiHandOver() : uiThread_(QThread::currentThread()), context_(std::make_unique<QObject>()) {}

TUiHandOver::~TUiHandOver()
{
    Shutdown();
    context_.reset();
}

void TUiHandOver::Shutdown()
{
    std::lock_guard<std::mutex> lock(mutex_);
    shutDown_ = true;
    for (TCall* call : waiting_)
        call->Changed.notify_one();
}

bool TUiHandOver::IsShutDown() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return shutDown_;
}

void TUiHandOver::Serve(const std::shared_ptr<TCall>& call)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (call->State != TCall::Waiting || shutDown_)
            return;
        call->State = TCall::Running;
    }
    // The waiter stays blocked while the state is Running, so Work is still valid. The
    // work may log, run a nested event loop or even shut the hand-over down.
    (*call->Work)();
    std::lock_guard<std::mutex> lock(mutex_);
    call->State = TCall::Done;
    call->Changed.notify_one();
}

void TUiHandOver::RunOnUiThread(const std::function<void()>& work)
{
    if (QThread::currentThread() == uiThread_) {
        work();
        return;
    }
    auto call = std::make_shared<TCall>();
    call->Work = &work;
    std::unique_lock<std::mutex> lock(mutex_);
    if (shutDown_)
        return;
    // Posted under the lock: once Shutdown has run, no thread touches the context, so
    // the destructor may delete it. The UI thread never waits for Qt's event queue while
    // it holds this lock.
    PostQueued(context_.get(), [this, call] { Serve(call); });
    waiting_.push_back(call.get());
    call->Changed.wait(lock, [&] {
        return call->State == TCall::Done || (call->State == TCall::Waiting && shutDown_);
    });
    std::erase(waiting_, call.get());
    if (call->State == TCall::Waiting)
        call->State = TCall::Dropped;
}

}  // namespace ql
