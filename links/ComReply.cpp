#include "links/ComReply.h"

#include "links/Frame.h"

#include <algorithm>
#include <cstring>

namespace ql {

int TakeComReply(const uint8_t* collected, int count, TComMode mode, uint8_t* buffer, int size)
{
    if (count < kFrameOverhead || count > kMaxFrameSize || !CheckFrame(collected, uint16_t(count)))
        return -1;
    const int available = mode == TComMode::Raw ? count : count - kReplyDataOffset - 2;
    if (available <= 0)
        return -1;
    const int n = std::clamp(available, 0, size);
    const uint8_t* from = mode == TComMode::Raw ? collected : collected + kReplyDataOffset;
    if (n > 0)
        std::memcpy(buffer, from, size_t(n));
    return n;
}

}  // namespace ql
