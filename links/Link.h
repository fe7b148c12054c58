#pragma once
// One way of reaching a device: open, close, write, read and reset, over whatever the
// link is made of. The channel chooses the link for each call and never asks which one
// it has; a new way of reaching trackers is one more implementation and one more row in
// the channel's choice.
//
// A link keeps its per-device state in the device's link entry (its handles), so one
// link object serves every device of its kind. No call logs anything: failures come
// back as false or a count of 0.

#include "links/ComPortName.h"
#include "links/LinkEntry.h"

#include <cstdint>

namespace ql {

// How a buffer is sent over a device's link: in pieces of at most Size bytes with a
// pause between them, or (Size 0) in one write of the whole buffer, even an empty one.
struct TLinkPieces {
    int Size = 0;
    uint32_t PauseMs = 0;
};

class TLink {
public:
    virtual ~TLink() = default;

    // The link's name in the trace of requests and replies.
    virtual const char* TraceName() const = 0;
    // The pieces a buffer for a device of this link's kind is sent in, whichever link
    // carries them.
    virtual TLinkPieces Pieces() const = 0;

    // Opens the link to device. A link that can tell why it could not be had says so in
    // fault (when given); the others leave it as it is.
    virtual bool Open(TLinkEntry& device, TComPortFault* fault) = 0;
    // Closes the device's link; one that is closed is left be.
    virtual void Close(TLinkEntry& device) = 0;
    // One write; written is the count of the device's own bytes that went.
    virtual bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) = 0;
    // One reply of at most size bytes (size > 0) within timeoutMs; 0 when nothing came.
    virtual int Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size) = 0;
    // Brings the open link back to a clean state without closing it.
    virtual void Reset(TLinkEntry& device) = 0;
};

}  // namespace ql
