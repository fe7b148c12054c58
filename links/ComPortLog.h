#pragma once
// The log lines that say why the COM port could not be used: the port and the system's
// reason, and for a refused permission what gives access to the device.

#include "links/ComPortName.h"
#include "core/HandedLog.h"

#include <QStringList>

namespace ql {

// The lines for a fault, in the current language; none for Stage None.
QStringList ComPortFaultTexts(const TComPortFault& fault);

// Whether a discovery pass reports the fault: a port that is simply absent (no device
// plugged in) and one that a write session of this program holds are no faults to it.
bool PassReportsComPortFault(const TComPortFault& fault);

// Logs the fault's lines, each an error of the device (0 = none).
void LogComPortFault(THandedLog& log, int device, const TComPortFault& fault);

}  // namespace ql
