#include "links/KernelBridgeList.h"

#include <libudev.h>

#include <cstring>

namespace ql {
namespace {

constexpr char kLatencyTimerAttribute[] = "latency_timer";

QByteArray Attribute(udev_device* device, const char* name)
{
    const char* value = udev_device_get_sysattr_value(device, name);
    return value ? QByteArray(value) : QByteArray();
}

// The latency timer belongs to the usb-serial port between the tty and the interface.
QString LatencyTimerOf(udev_device* tty)
{
    for (udev_device* d = udev_device_get_parent(tty); d != nullptr; d = udev_device_get_parent(d)) {
        if (udev_device_get_sysattr_value(d, kLatencyTimerAttribute) == nullptr)
            continue;
        return QString::fromLocal8Bit(udev_device_get_syspath(d)) + QLatin1Char('/')
               + QLatin1String(kLatencyTimerAttribute);
    }
    return QString();
}

// One tty: its bridge when it is a tracker's, else false. The parents belong to tty.
bool BridgeOf(udev_device* tty, TKernelBridge& bridge)
{
    const char* node = udev_device_get_devnode(tty);
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (node == nullptr || usb == nullptr)
        return false;
    if (Attribute(usb, "idVendor") != kFtdiVendorId || Attribute(usb, "product") != kTrackerProduct)
        return false;
    bridge.Serial = Attribute(usb, "serial");
    bridge.Node = QString::fromLocal8Bit(node);
    bridge.LatencyTimer = LatencyTimerOf(tty);
    return true;
}

}  // namespace

std::vector<TKernelBridge> ListKernelBridges()
{
    std::vector<TKernelBridge> bridges;
    udev* context = udev_new();
    if (context == nullptr)
        return bridges;
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate != nullptr && udev_enumerate_add_match_subsystem(enumerate, "tty") >= 0
        && udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            udev_device* tty = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (tty == nullptr)
                continue;  // gone since the scan
            TKernelBridge bridge;
            if (BridgeOf(tty, bridge))
                bridges.push_back(std::move(bridge));
            udev_device_unref(tty);
        }
    }
    if (enumerate != nullptr)
        udev_enumerate_unref(enumerate);
    udev_unref(context);
    return bridges;
}

}  // namespace ql
