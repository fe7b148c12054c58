// Any bytes as what a COM-port read collects, in pieces as the port hands them over:
// the read's unwrapping never reads past what arrived nor writes past the caller's
// buffer, and it delivers only what one whole valid frame carries. Frames built from a
// payload always pass the check and unwrap to that payload again.
//
// Input: byte 0 picks the mode (bit 7: raw) and the caller's buffer size (bits 0-6,
// plus 1); byte 1 seeds the piece lengths; the rest is the line's bytes.

#include "links/ComReply.h"
#include "links/Frame.h"

#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void UnwrapCollected(const uint8_t* data, size_t size)
{
    if (size < 2)
        return;
    const ql::TComMode mode = (data[0] & 0x80) != 0 ? ql::TComMode::Raw : ql::TComMode::Tunnel;
    const int bufferSize = (data[0] & 0x7F) + 1;
    uint32_t pieces = data[1] * 2654435761u + 1;
    const uint8_t* line = data + 2;
    const size_t lineSize = size - 2;

    // Each piece in an exactly sized heap block, so a read past it is caught.
    auto collected = std::make_unique<uint8_t[]>(ql::kMaxFrameSize);
    int count = 0;
    size_t at = 0;
    while (at < lineSize && count < ql::kMaxFrameSize) {
        pieces ^= pieces << 13;
        pieces ^= pieces >> 17;
        pieces ^= pieces << 5;
        const size_t piece = std::min<size_t>({1 + pieces % 24, lineSize - at, size_t(ql::kMaxFrameSize - count)});
        std::memcpy(collected.get() + count, line + at, piece);
        at += piece;
        count += int(piece);

        auto frame = std::make_unique<uint8_t[]>(size_t(count));
        std::memcpy(frame.get(), collected.get(), size_t(count));
        auto buffer = std::make_unique<uint8_t[]>(size_t(bufferSize));
        const int delivered = ql::TakeComReply(frame.get(), count, mode, buffer.get(), bufferSize);
        if (delivered < 0)
            continue;
        Check(delivered <= bufferSize);
        Check(ql::CheckFrame(frame.get(), uint16_t(count)));
        Check(frame[0] == ql::kFrameStart && qFromLittleEndian<uint16_t>(frame.get() + 5) == count);
        if (mode == ql::TComMode::Raw) {
            Check(delivered == std::min(count, bufferSize));
            Check(std::memcmp(buffer.get(), frame.get(), size_t(delivered)) == 0);
        } else {
            Check(count > ql::kReplyDataOffset + 2 && delivered <= ql::kMaxReplyData);
            Check(delivered == std::min(count - ql::kReplyDataOffset - 2, bufferSize));
            Check(std::memcmp(buffer.get(), frame.get() + ql::kReplyDataOffset, size_t(delivered)) == 0);
        }
        return;  // the read ends with its first reply
    }
}

void RoundTrip(const uint8_t* data, size_t size)
{
    if (size > size_t(ql::kMaxTunnelPayload))
        return;
    uint8_t frame[ql::kMaxFrameSize];
    const int length = ql::BuildTunnelFrame(data, int(size), frame);
    Check(length == int(size) + ql::kFrameOverhead && ql::CheckFrame(frame, uint16_t(length)));
    uint8_t raw[ql::kMaxFrameSize];
    Check(ql::TakeComReply(frame, length, ql::TComMode::Raw, raw, sizeof raw) == length);

    if (size > size_t(ql::kMaxReplyData))
        return;
    const int replyLength = ql::BuildReplyFrame(ql::kTunnelCommand, 0, data, int(size), frame);
    Check(replyLength == int(size) + ql::kReplyDataOffset + 2);
    uint8_t out[ql::kMaxReplyData];
    const int delivered = ql::TakeComReply(frame, replyLength, ql::TComMode::Tunnel, out, sizeof out);
    Check(size == 0 ? delivered < 0 : delivered == int(size) && std::memcmp(out, data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size <= size_t(ql::kMaxFrameSize)) {
        auto exact = std::make_unique<uint8_t[]>(size);
        if (size > 0)
            std::memcpy(exact.get(), data, size);
        (void)ql::CheckFrame(exact.get(), uint16_t(size));
    }
    UnwrapCollected(data, size);
    RoundTrip(data, size);
    return 0;
}
