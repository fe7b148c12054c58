#pragma once
// The byte channel under the FTDI link: what the FTDI dialogue needs of a bridge, so the
// same dialogue runs over FTDI's D2XX library or any other way of reaching the bridge.
// A port keeps its handle in the device's link entry.

#include "links/ComPortName.h"
#include "links/LinkEntry.h"

#include <cstdint>

namespace ql {

class TFtdiPort {
public:
    virtual ~TFtdiPort() = default;

    // Opens the bridge whose serial-number text is the device's number, with the FTDI
    // link's read and write time-outs. A port that can tell why a bridge could not be
    // opened says so in fault (when given); the others leave it as it is.
    virtual bool Open(TLinkEntry& device, TComPortFault* fault) = 0;
    // Forgets the handle; a closed port is left be.
    virtual void Close(TLinkEntry& device) = 0;
    // The bridge is open and its back-end usable.
    virtual bool IsOpen(const TLinkEntry& device) const = 0;
    virtual bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) = 0;
    // Bytes waiting in the receive queue; 0 when none or the question failed.
    virtual uint32_t Queued(TLinkEntry& device) = 0;
    // Up to count of the queued bytes; false when the read failed.
    virtual bool Read(TLinkEntry& device, uint8_t* buffer, uint32_t count, uint32_t& got) = 0;
    // Empties the bridge's queues; the port stays open.
    virtual void Reset(TLinkEntry& device) = 0;
};

}  // namespace ql
