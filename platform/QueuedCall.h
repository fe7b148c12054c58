#pragma once
// PostQueued: a thread asks for work to run later on the thread of a QObject, through Qt's
// event queue. Used where a background thread hands its end or a call over to the UI thread.
//
// Qt's event queue does order the post before the run, but only with locks inside Qt Core.
// Qt is not built with the thread checker, so that order is invisible to it, and the work's
// captures, written on the posting thread and read on the receiving one, would be reported
// as a race. The posting thread therefore holds one mutex of ours while it builds and posts
// the call, and the call takes the same mutex before it reads anything it carries: the
// order then lies in this program's own code. The mutex is held only for the post itself.

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

namespace ql {

inline std::mutex& QueuedCallMutex()
{
    static std::mutex mutex;
    return mutex;
}

template <typename Work>
void PostQueued(QObject* receiver, Work&& work)
{
    std::lock_guard<std::mutex> lock(QueuedCallMutex());
    QMetaObject::invokeMethod(
        receiver,
        [work = std::forward<Work>(work)]() mutable {
            // Nothing captured is read before this: the posting thread has let go by then.
            { std::lock_guard<std::mutex> posted(QueuedCallMutex()); }
            work();
        },
        Qt::QueuedConnection);
}

}  // namespace ql
