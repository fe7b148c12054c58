#pragma once
// The line of a tracker behind an FTDI bridge that the kernel's own driver serves: the
// bytes of the bridge's serial port are raw records both ways, and the loader's end is
// the other side of a pseudo-terminal the test hands over (its master descriptor).
//
// What the tracker sends waits in the bridge's buffer (sim/BridgeBuffer.h) as in the
// chip. The timer is read from the latency_timer file the test exposes (the bridge's
// sysfs attribute, which the loader may set) each time a byte starts waiting in an empty
// buffer; 16 ms without one.

#include "sim/BridgeBuffer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace ql::sim {

class TKernelFtdiLine {
public:
    TKernelFtdiLine() = default;
    ~TKernelFtdiLine();
    TKernelFtdiLine(const TKernelFtdiLine&) = delete;
    TKernelFtdiLine& operator=(const TKernelFtdiLine&) = delete;

    // Takes a copy of the descriptor (made non-blocking) and, where it is a
    // pseudo-terminal's master, keeps a descriptor of the slave open, so the line stays
    // usable while the loader has its port closed.
    bool Open(int masterFd, const QString& latencyTimerPath);
    bool IsOpen() const { return Fd >= 0; }
    int LineFd() const { return Fd; }

    // The tracker's bytes start waiting in the bridge.
    void Queue(const QByteArray& bytes, int64_t nowUs);
    // Puts on the line what the bridge lets go by nowUs.
    void Flush(int64_t nowUs);
    // When Flush has something to do next; INT64_MAX when nothing waits.
    int64_t NextFlushUs() const;
    // The latency timer in milliseconds as the bridge has it now.
    int LatencyMs() const;

private:
    bool Put(const QByteArray& bytes);

    int Fd = -1;
    int Slave = -1;
    QString LatencyPath;
    TBridgeBuffer Buffer;
};

}  // namespace ql::sim
