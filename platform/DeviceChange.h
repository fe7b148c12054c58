#pragma once
// Device-change notifications: the set of device nodes changed. Two sources feed the
// window (TUdevMonitor and TDeviceEventSocket); both report event codes.

namespace ql {

// "The set of device nodes changed" (DBT_DEVNODES_CHANGED): the only code that schedules
// a discovery pass. Every code refreshes the COM-port list.
inline constexpr int kDevNodesChanged = 7;

// The environment variable that names the datagram socket path of TDeviceEventSocket.
inline constexpr char kDeviceEventsVariable[] = "QLFW_DEVICE_EVENTS";

}  // namespace ql
