#pragma once
// The FTDI port over FTDI's D2XX library (links/DriverLibraries.h): the bridge is opened
// by its serial-number text and its handle kept in the entry's FtdiHandle. Every call
// fails at once while the library is not bound.

#include "links/FtdiPort.h"

namespace ql {

class TD2xxPort : public TFtdiPort {
public:
    bool Open(TLinkEntry& device, TComPortFault* fault) override;
    void Close(TLinkEntry& device) override;
    bool IsOpen(const TLinkEntry& device) const override;
    bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) override;
    uint32_t Queued(TLinkEntry& device) override;
    bool Read(TLinkEntry& device, uint8_t* buffer, uint32_t count, uint32_t& got) override;
    void Reset(TLinkEntry& device) override;
};

}  // namespace ql
