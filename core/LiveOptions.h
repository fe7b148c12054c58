#pragma once
// The check boxes that background threads read at the moment they need them. The window
// stores each box's state here when it changes (UI thread); discovery and write threads
// only load. Atomics, so a tick during a running session is seen without a data race.

#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <atomic>

namespace ql {

struct TLiveOptions {
    std::atomic<bool> StartLoader{false};  // cbStartLoader: "START_BOOT_LOADER=1" instead of 0
    std::atomic<bool> StartApp{false};     // cbStartApp: start the application after a write
    std::atomic<bool> UseComPort{false};   // isNeedComPort: every OpenLink goes to the COM port
    std::atomic<bool> DisableFtdi{false};  // cbDisableFTDI: discovery skips FTDI bridges
    std::atomic<bool> AutoWrite{false};    // cbAutoWrite

    // The text of the COM-port combo box as the user sees it, e.g. "ttyUSB0" (a device
    // under /dev) or a path; the channel turns it into the device to open.
    void SetComPortName(const QString& name)
    {
        QMutexLocker locker(&mutex_);
        comPortName_ = name;
    }
    QString ComPortName() const
    {
        QMutexLocker locker(&mutex_);
        return comPortName_;
    }

private:
    mutable QMutex mutex_;
    QString comPortName_;
};

}  // namespace ql
