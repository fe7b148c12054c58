#pragma once
// The FTDI link: the dialogue with a tracker behind an FTDI bridge, over any FTDI port
// (links/FtdiPort.h). Writes go in 64-byte pieces with a 1 ms pause between them; a read
// polls the receive queue every millisecond and, once bytes are queued, gives the rest of
// the reply one more millisecond and takes what is there.

#include "links/FtdiPort.h"
#include "links/Link.h"

#include <cstdint>

namespace ql {

inline constexpr int kFtdiPieceSize = 64;
inline constexpr uint32_t kFtdiPiecePauseMs = 1;
inline constexpr uint32_t kFtdiPollPauseMs = 1;
inline constexpr uint32_t kFtdiReadTimeoutMs = 1000;
inline constexpr uint32_t kFtdiWriteTimeoutMs = 200;

class TFtdiLink : public TLink {
public:
    explicit TFtdiLink(TFtdiPort& port) : port_(port) {}

    const char* TraceName() const override { return "ftdi"; }
    TLinkPieces Pieces() const override { return {kFtdiPieceSize, kFtdiPiecePauseMs}; }
    bool Open(TLinkEntry& device, TComPortFault* fault) override;
    // Resets the bridge, then closes it.
    void Close(TLinkEntry& device) override;
    bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) override;
    // The first size bytes of buffer are zeroed first.
    int Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size) override;
    void Reset(TLinkEntry& device) override;

private:
    TFtdiPort& port_;
};

}  // namespace ql
