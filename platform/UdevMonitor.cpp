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
    if (m_monitor)
        return true;
    m_udev = udev_new();
    if (!m_udev)
        return false;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    bool ok = m_monitor != nullptr;
    for (const char* subsystem : kSubsystems) {
        if (ok)
            ok = udev_monitor_filter_add_match_subsystem_devtype(m_monitor, subsystem, nullptr) >= 0;
    }
    if (ok)
        ok = udev_monitor_enable_receiving(m_monitor) >= 0;
    const int fd = ok ? udev_monitor_get_fd(m_monitor) : -1;
    if (fd < 0) {
        Stop();
        return false;
    }
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TUdevMonitor::ReadEvents);
    return true;
}

void TUdevMonitor::ReadEvents()
{
    // The socket is non-blocking: read everything that is waiting, one report per node.
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        const bool nodesChanged = action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
        udev_device_unref(device);
        if (nodesChanged)
            emit DeviceChange(kDevNodesChanged);
    }
}

void TUdevMonitor::Stop()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    m_monitor = nullptr;
    if (m_udev)
        udev_unref(m_udev);
    m_udev = nullptr;
}

}  // namespace ql
