#include "platform/InstanceLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace ql {
namespace {
// How often a waiting start looks again whether the holder has gone.
constexpr int kLockPollMs = 10;
#ifndef Q_OS_WIN
constexpr mode_t kLockFileMode = 0644;
#endif
}  // namespace

QString InstanceLockPath()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(kInstanceLockName);
}

TInstanceLock::TInstanceLock(QString path) : path_(std::move(path)) {}

TInstanceLock::~TInstanceLock() { Release(); }

#ifdef Q_OS_WIN

// Windows keeps the named mutex of the original program; the path's file name is its name.
// A mutex left by a dead holder comes back abandoned, and then it is ours.
bool TInstanceLock::Acquire(int waitMs)
{
    if (held_)
        return true;
    if (!mutex_) {
        const QString name = QDir(path_).dirName();
        mutex_ = CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
        if (!mutex_)
            return false;
    }
    const DWORD result = WaitForSingleObject(static_cast<HANDLE>(mutex_), DWORD(waitMs));
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return held_;
}

void TInstanceLock::Release()
{
    if (held_)
        ReleaseMutex(static_cast<HANDLE>(mutex_));
    held_ = false;
    if (mutex_)
        CloseHandle(static_cast<HANDLE>(mutex_));
    mutex_ = nullptr;
}

bool TInstanceLock::IsHeld() const { return held_; }

#else

bool TInstanceLock::Acquire(int waitMs)
{
    if (fd_ >= 0)
        return true;
    const QByteArray path = QFile::encodeName(path_);
    // flock needs no write access. Readable by all, so that where the lock falls back to
    // the shared temporary directory, a file left there by another user's loader blocks
    // only while that loader runs.
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, kLockFileMode);
    if (fd < 0)
        return false;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return true;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited.elapsed() >= waitMs)
            break;
        QThread::msleep(kLockPollMs);
    }
    ::close(fd);
    return false;
}

void TInstanceLock::Release()
{
    if (fd_ < 0)
        return;
    // Closing the only descriptor drops the lock.
    ::close(fd_);
    fd_ = -1;
}

bool TInstanceLock::IsHeld() const { return fd_ >= 0; }

#endif

}  // namespace ql
