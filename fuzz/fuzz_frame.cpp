// Any bytes as a received COM frame: the check never reads past what arrived, and a frame
// built from a payload always passes it.

#include "links/Frame.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size <= ql::kMaxFrameSize)
        (void)ql::CheckFrame(data, static_cast<uint16_t>(size));
    if (size <= size_t(ql::kMaxTunnelPayload)) {
        uint8_t frame[ql::kMaxFrameSize];
        const int length = ql::BuildTunnelFrame(data, static_cast<int>(size), frame);
        if (length != int(size) + ql::kFrameOverhead || !ql::CheckFrame(frame, static_cast<uint16_t>(length)))
            std::abort();
    }
    return 0;
}
