#pragma once
// The FTDI port over the kernel's own driver: the bridge's serial port (/dev/ttyUSBn),
// found by the device's serial number through libudev (links/KernelBridgeList.h) and
// opened raw 8N1, without flow control and for this program only, the line speed left
// as the tty has it (as a D2XX open leaves it). The queue is asked with FIONREAD; a
// reset flushes both queues. Nothing here asks isatty(): a node that answers the terminal
// calls is used as a terminal.
//
// On open the bridge's latency timer is set to 1 ms through its sysfs attribute when
// that can be written; when it cannot, the port notes it once (TakeLatencyNotice), for
// the caller to log.

#include "links/ComPortName.h"
#include "links/FtdiPort.h"

#include <QString>

#include <mutex>

namespace ql {

inline constexpr int kBridgeLatencyTimerMs = 1;

class TKernelTtyPort : public TFtdiPort {
public:
    bool Open(TLinkEntry& device, TComPortFault* fault) override;
    void Close(TLinkEntry& device) override;
    bool IsOpen(const TLinkEntry& device) const override;
    bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) override;
    uint32_t Queued(TLinkEntry& device) override;
    bool Read(TLinkEntry& device, uint8_t* buffer, uint32_t count, uint32_t& got) override;
    void Reset(TLinkEntry& device) override;

    // True once, after the first open that could not set a bridge's latency timer;
    // node is that bridge's serial port.
    bool TakeLatencyNotice(QString& node);

private:
    enum TNotice { kNotNeeded, kPending, kTaken };
    std::mutex mutex_;  // opens of several threads
    TNotice latencyNotice_ = kNotNeeded;
    QString latencyNode_;
};

}  // namespace ql
