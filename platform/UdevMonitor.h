#pragma once
// Watches the kernel's device events of the "usb" and "tty" subsystems through libudev and
// reports each add or remove as kDevNodesChanged. Events are read on the thread the
// monitor lives on (the UI thread), from its event loop.

#include <QObject>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace ql {

class TUdevMonitor : public QObject {
    Q_OBJECT
public:
    explicit TUdevMonitor(QObject* parent = nullptr);
    ~TUdevMonitor() override;

    // False when libudev or its netlink socket is not available (containers, no udevd):
    // the loader then learns of new devices only from the other source and the button.
    bool Start();
    bool IsRunning() const { return monitor_ != nullptr; }

signals:
    void DeviceChange(int eventCode);

private:
    void ReadEvents();
    void Stop();

    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ql
