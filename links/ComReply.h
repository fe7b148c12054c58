#pragma once
// What a COM-port read makes of the bytes it has collected so far: nothing yet, or the
// reply it delivers. The channel's read loop calls it after every piece that arrives.

#include <cstdint>

namespace ql {

enum class TComMode { Raw, Tunnel };

// The collected bytes count as a reply only when they are exactly one whole frame: a
// stray byte before the start byte or a second frame behind the first never becomes one.
// Raw: the whole frame; tunnel: the reply data behind the result code, and a frame that
// brings nothing behind it is no reply. At most size bytes are copied into buffer.
// Returns the count delivered, or -1 while the bytes are no reply (yet).
int TakeComReply(const uint8_t* collected, int count, TComMode mode, uint8_t* buffer, int size);

// Whether TakeComReply would deliver the collected bytes. The port's read asks after every
// piece: once they are a reply, nothing that comes later can belong to it (the frame's
// length field says where it ends), so the read ends without waiting out the interval.
bool IsComReply(const uint8_t* collected, int count, TComMode mode);

}  // namespace ql
