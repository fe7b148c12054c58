#pragma once
// How a COM-port name becomes the device the loader opens, and what the system says when
// it cannot. The port list, a typed name and "comport=NAME" all give names as the system
// shows them ("ttyUSB0", "pts/3"); every open goes through ComPortDevicePath.

#include <QString>

namespace ql {

inline constexpr char kDeviceFolder[] = "/dev/";

// A name without a leading "/" is the device of that name under /dev; a name with one is
// a path, used as typed. An empty name stays empty (no port chosen).
QString ComPortDevicePath(const QString& name);

// Why the COM port could not be opened or stopped working.
struct TComPortFault {
    enum TStage {
        None,        // no fault
        Open,        // open() or the exclusive lock refused the port
        Exclusive,   // the device does not take exclusive use (TIOCEXCL failed)
        Line,        // the open port failed while in use (hung up, unplugged)
        Session,     // a write session of this program holds the port
        BridgeOpen   // an FTDI bridge's serial port (kernel driver) could not be opened
    };
    TStage Stage = None;
    QString Path;         // the device path that was tried
    int Error = 0;        // errno
    QString Reason;       // the system's text for Error
    QString AccessGroup;  // for a refused permission: the group that owns the device
};

// The system's text for an errno value, in the system's language.
QString SystemErrorText(int error);

// The name of the group that owns the file at path (its number when the group has no
// name); "dialout", the usual owner of serial ports, when the file cannot be looked at.
QString OwningGroupName(const QString& path);

// A fault of the given stage for errno error, with its reason (and access group for a
// refused permission) filled in.
TComPortFault MakeComPortFault(TComPortFault::TStage stage, const QString& path, int error);

}  // namespace ql
