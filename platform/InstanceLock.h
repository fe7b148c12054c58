#pragma once
// Keeps a second loader from running: a cross-process lock taken at start with a short
// wait. On Linux it is an flock on the file "QLUSBFirmwareLoaderBaseMutex" in
// $XDG_RUNTIME_DIR (the temporary directory when unset); the kernel drops the lock when
// its holder ends in any way, so a killed loader never blocks the next start. The file
// itself stays: removing it could let two processes lock two different files.

#include <QString>

namespace ql {

inline constexpr int kInstanceLockWaitMs = 500;
inline const QString kInstanceLockName = QStringLiteral("QLUSBFirmwareLoaderBaseMutex");

// Where the lock of this user's loaders lives.
QString InstanceLockPath();

class TInstanceLock {
public:
    explicit TInstanceLock(QString path = InstanceLockPath());
    ~TInstanceLock();  // releases
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Waits at most waitMs to own the lock. False means another loader holds it, or the
    // lock could not be made at all; either way this start should end silently.
    bool Acquire(int waitMs = kInstanceLockWaitMs);
    void Release();
    bool IsHeld() const;

private:
    QString path_;
#ifdef Q_OS_WIN
    void* mutex_ = nullptr;
    bool held_ = false;
#else
    int fd_ = -1;
#endif
};

}  // namespace ql
