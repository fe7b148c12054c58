#pragma once
// The maker's USB link, over the maker's library (links/DriverLibraries.h): the device is
// opened by its USB number and serial-number text, its handle kept in the entry's
// QlusbHandle. A buffer goes in one write; a read polls the library's call, which returns
// at once, back to back. Every call fails at once while the library is not bound.

#include "links/Link.h"

#include <cstdint>

namespace ql {

inline constexpr uint32_t kQlusbReadTimeoutMs = 500;
inline constexpr uint32_t kQlusbWriteTimeoutMs = 200;

class TMakerUsbLink : public TLink {
public:
    const char* TraceName() const override { return "qlusb"; }
    TLinkPieces Pieces() const override { return {}; }
    bool Open(TLinkEntry& device, TComPortFault* fault) override;
    void Close(TLinkEntry& device) override;
    bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) override;
    int Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size) override;
    // Nothing: the loader never purges the maker's interface.
    void Reset(TLinkEntry& device) override;
};

}  // namespace ql
