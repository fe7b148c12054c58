#include "platform/UdevMonitor.h"

#include "platform/DeviceChange.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

namespace ql {
namespace {
const char* const kSubsystems[] = {"usb", "tty"};
}

TUdevMonitor::TUdevMonitor(QObject* parent) : QObject(parent) {}

TUdevMonitor::~TUdevMonitor() { Stop(); }

bool TUdevMonitor::Start()
{
    if (monitor_)
        return true;
    udev_ = udev_new();
    if (!udev_)
        return false;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    bool ok = monitor_ != nullptr;
    for (const char* subsystem : kSubsystems) {
        if (ok)
            ok = udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr) >= 0;
    }
    if (ok)
        ok = udev_monitor_enable_receiving(monitor_) >= 0;
    const int fd = ok ? udev_monitor_get_fd(monitor_) : -1;
    if (fd < 0) {
        Stop();
        return false;
    }
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TUdevMonitor::ReadEvents);
    return true;
}

void TUdevMonitor::ReadEvents()
{
    // The socket is non-blocking: read everything that is waiting, one report per node.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        const bool nodesChanged = action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
        udev_device_unref(device);
        if (nodesChanged)
            emit DeviceChange(kDevNodesChanged);
    }
}

void TUdevMonitor::Stop()
{
    delete notifier_;
    notifier_ = nullptr;
    if (monitor_)
        udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    if (udev_)
        udev_unref(udev_);
    udev_ = nullptr;
}

}  // namespace ql
