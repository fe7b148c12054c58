#include "platform/UiHandOver.h"

#include "platform/QueuedCall.h"

namespace ql {

struct TUiHandOver::TCall {
    enum TState { Waiting, Running, Done, Dropped };
    // Valid while the caller waits, that is until the state leaves Waiting and Running.
    const std::function<void()>* Work = nullptr;
    TState State = Waiting;
};

TUiHandOver::TUiHandOver() : m_uiThread(QThread::currentThread()), m_context(std::make_unique<QObject>()) {}

TUiHandOver::~TUiHandOver()
{
    Shutdown();
    m_context.reset();
}

void TUiHandOver::Shutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shutDown = true;
    m_changed.notify_all();
}

bool TUiHandOver::IsShutDown() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shutDown;
}

void TUiHandOver::Serve(const std::shared_ptr<TCall>& call)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (call->State != TCall::Waiting || m_shutDown)
            return;
        call->State = TCall::Running;
    }
    // The waiter stays blocked while the state is Running, so Work is still valid. The
    // work may log, run a nested event loop or even shut the hand-over down.
    (*call->Work)();
    std::lock_guard<std::mutex> lock(m_mutex);
    call->State = TCall::Done;
    m_changed.notify_all();
}

void TUiHandOver::RunOnUiThread(const std::function<void()>& work)
{
    if (QThread::currentThread() == m_uiThread) {
        work();
        return;
    }
    auto call = std::make_shared<TCall>();
    call->Work = &work;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_shutDown)
        return;
    // Posted under the lock: once Shutdown has run, no thread touches the context, so
    // the destructor may delete it. The UI thread never waits for Qt's event queue while
    // it holds this lock.
    PostQueued(m_context.get(), [this, call] { Serve(call); });
    m_changed.wait(lock, [&] {
        return call->State == TCall::Done || (call->State == TCall::Waiting && m_shutDown);
    });
    if (call->State == TCall::Waiting)
        call->State = TCall::Dropped;
}

}  // namespace ql
