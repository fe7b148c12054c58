#include "links/ComReply.h"

#include "links/Frame.h"

#include <algorithm>
#include <cstring>

namespace ql {

namespace {

// The bytes the collection delivers, or 0 when it is no reply.
int ReplyBytes(const uint8_t* collected, int count, TComMode mode)
{
    if (count < kFrameOverhead || count > kMaxFrameSize || !CheckFrame(collected, uint16_t(count)))
        return 0;
    return std::max(0, mode == TComMode::Raw ? count : count - kReplyDataOffset - 2);
}

}  // namespace

bool IsComReply(const uint8_t* collected, int count, TComMode mode)
{
    return ReplyBytes(collected, count, mode) > 0;
}

int TakeComReply(const uint8_t* collected, int count, TComMode mode, uint8_t* buffer, int size)
{
    const int available = ReplyBytes(collected, count, mode);
    if (available <= 0)
        return -1;
    const int n = std::clamp(available, 0, size);
    const uint8_t* from = mode == TComMode::Raw ? collected : collected + kReplyDataOffset;
    if (n > 0)
        std::memcpy(buffer, from, size_t(n));
    return n;
}

}  // namespace ql
