#pragma once
// The FTDI port over FTDI's D2XX library (links/DriverLibraries.h): the bridge is opened
// by its serial-number text and its handle kept in the entry's FtdiHandle. Every call
// fails at once while the library is not bound.
//
// After an open the bridge's latency timer is set to its smallest value where the library
// can set it, so a short reply leaves the bridge 2 ms after it arrived instead of 16; a
// timer that cannot be set only costs time. The outcome is traced under ql.link.

#include "links/FtdiPort.h"

#include "links/DriverApi.h"

namespace ql {

inline constexpr ftdi::UCHAR kD2xxLatencyTimerMs = ftdi::kMinLatencyTimerMs;

class TD2xxPort : public TFtdiPort {
public:
    bool Open(TLinkEntry& device, TComPortFault* fault) override;
    void Close(TLinkEntry& device) override;
    bool IsOpen(const TLinkEntry& device) const override;
    bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) override;
    uint32_t Queued(TLinkEntry& device) override;
    bool Read(TLinkEntry& device, uint8_t* buffer, uint32_t count, uint32_t& got) override;
    void Reset(TLinkEntry& device) override;

private:
    void TuneLatencyTimer(const TLinkEntry& device);
};

}  // namespace ql
