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

TInstanceLock::TInstanceLock(QString path) : m_path(std::move(path)) {}

TInstanceLock::~TInstanceLock() { Release(); }

#ifdef Q_OS_WIN

// Windows keeps the named mutex of the original program; the path's file name is its name.
// A mutex left by a dead holder comes back abandoned, and then it is ours.
bool TInstanceLock::Acquire(int waitMs)
{
    if (m_held)
        return true;
    if (!m_mutex) {
        const QString name = QDir(m_path).dirName();
        m_mutex = CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
        if (!m_mutex)
            return false;
    }
    const DWORD result = WaitForSingleObject(static_cast<HANDLE>(m_mutex), DWORD(waitMs));
    m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return m_held;
}

void TInstanceLock::Release()
{
    if (m_held)
        ReleaseMutex(static_cast<HANDLE>(m_mutex));
    m_held = false;
    if (m_mutex)
        CloseHandle(static_cast<HANDLE>(m_mutex));
    m_mutex = nullptr;
}

bool TInstanceLock::IsHeld() const { return m_held; }

#else

bool TInstanceLock::Acquire(int waitMs)
{
    if (m_fd >= 0)
        return true;
    const QByteArray path = QFile::encodeName(m_path);
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
            m_fd = fd;
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
    if (m_fd < 0)
        return;
    // Closing the only descriptor drops the lock.
    ::close(m_fd);
    m_fd = -1;
}

bool TInstanceLock::IsHeld() const { return m_fd >= 0; }

#endif

}  // namespace ql
