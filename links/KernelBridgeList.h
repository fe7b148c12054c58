#pragma once
// The FTDI bridges the kernel's own driver (ftdi_sio) shows as serial ports, listed
// through libudev: every tty whose USB device has FTDI's vendor number and exactly the
// trackers' product string. Used by the discovery pass (the entries) and by the kernel
// port's open (the node of a serial number, looked up again so a node that vanished or
// moved since the pass is not opened by an old name).

#include <QByteArray>
#include <QString>

#include <vector>

namespace ql {

inline constexpr char kFtdiVendorId[] = "0403";
inline constexpr char kTrackerProduct[] = "Quillomar";  // exact, as the D2XX description

struct TKernelBridge {
    QByteArray Serial;     // the USB serial string, as the bridge reports it
    QString Node;          // the tty's device node (/dev/ttyUSBn)
    QString LatencyTimer;  // the port's latency_timer attribute in sysfs; empty if none
};

// The bridges present now; none when libudev cannot be asked.
std::vector<TKernelBridge> ListKernelBridges();

}  // namespace ql
