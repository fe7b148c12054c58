#include "links/FtdiLink.h"

#include "platform/Tick.h"

#include <algorithm>
#include <cstring>

namespace ql {

bool TFtdiLink::Open(TLinkEntry& device, TComPortFault* fault)
{
    return port_.Open(device, fault);
}

void TFtdiLink::Close(TLinkEntry& device)
{
    port_.Reset(device);
    port_.Close(device);
}

void TFtdiLink::Reset(TLinkEntry& device)
{
    port_.Reset(device);
}

bool TFtdiLink::Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written)
{
    written = 0;
    if (!port_.IsOpen(device))
        return false;
    return port_.Write(device, bytes, count, written);
}

int TFtdiLink::Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
{
    const uint32_t start = TickCount();
    if (!port_.IsOpen(device))
        return 0;
    std::memset(buffer, 0, size_t(size));
    while (TickBefore(start, timeoutMs)) {
        if (port_.Queued(device) == 0) {
            SleepMs(kFtdiPollPauseMs);
            continue;
        }
        // Give the rest of a reply that is still arriving one more millisecond.
        SleepMs(kFtdiPollPauseMs);
        const uint32_t want = std::min<uint32_t>(port_.Queued(device), uint32_t(size));
        uint32_t got = 0;
        if (!port_.Read(device, buffer, want, got))
            return 0;
        return int(std::min(got, want));
    }
    return 0;
}

}  // namespace ql
