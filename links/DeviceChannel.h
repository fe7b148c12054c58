#pragma once
// The one way the loader talks to a device: open, close, write, send and read over an
// FTDI bridge, the maker's USB library or the program's one COM port. The link is chosen
// anew at every call: from the live COM-port option when opening, from whether the COM
// port is open for everything else, and from the device's link kind otherwise.
//
// On the COM port every write travels in a tunnel frame and every reply is unwrapped from
// its frame; on the two USB links the bytes pass unchanged. No call logs anything:
// failures come back as false or a count of 0 and the caller picks the message.
//
// Thread use: any thread may call; one device's handles are used by one thread at a time,
// and the COM port serves one activity at a time (the callers' discipline, no lock here).

#include "devices/DevEntry.h"
#include "links/ComPort.h"
#include "links/ComReply.h"

#include <cstdint>

namespace ql {

struct TLiveOptions;

// Per-piece sizes and the pause between FTDI pieces.
inline constexpr int kFtdiPieceSize = 64;
inline constexpr uint32_t kFtdiPiecePauseMs = 1;
inline constexpr uint32_t kFtdiPollPauseMs = 1;
inline constexpr uint32_t kFtdiReadTimeoutMs = 1000;
inline constexpr uint32_t kFtdiWriteTimeoutMs = 200;
inline constexpr uint32_t kQlusbReadTimeoutMs = 500;
inline constexpr uint32_t kQlusbWriteTimeoutMs = 200;
inline constexpr uint32_t kFixedRequestTimeoutMs = 2000;

class TDeviceChannel {
public:
    explicit TDeviceChannel(const TLiveOptions& options);
    ~TDeviceChannel();
    TDeviceChannel(const TDeviceChannel&) = delete;
    TDeviceChannel& operator=(const TDeviceChannel&) = delete;

    // With the COM-port option ticked the COM port named by the option is opened (an
    // already open one is kept and counts as success); otherwise the device's own link.
    bool OpenLink(TDevEntry& device);
    // The COM port while it is open, else the device's own link; a closed one is left be.
    void CloseLink(TDevEntry& device);
    // One write; written is the payload count (not the frame size on the COM port).
    bool WriteLink(TDevEntry& device, const uint8_t* bytes, int count, int& written);
    // All of count bytes, in the pieces the device's link takes; true when every byte went.
    bool SendData(TDevEntry& device, const uint8_t* bytes, int count);
    // One reply of at most size bytes within timeoutMs; 0 when nothing came in time.
    int ReadLink(TDevEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size);

    // The COM port itself. Raw frames carry at most 100 bytes, tunnel frames 90 bytes of
    // payload; a larger one is refused with nothing sent.
    bool ComOpen();
    void ComClose();
    bool ComIsOpen() const { return port_.IsOpen(); }
    bool ComWrite(const uint8_t* bytes, int count, TComMode mode, int& written);
    // Collects one frame within timeoutMs. Raw: the whole frame; tunnel: the reply data
    // behind the result code (a frame without reply data is waited past). At most size
    // bytes are delivered.
    int ComRead(uint8_t* buffer, int size, uint32_t timeoutMs, TComMode mode);

    // The two fixed requests of the COM-port probe, each opening and closing the link.
    uint32_t RequestSerialNumber(TDevEntry& device);
    bool RequestLoaderStart(TDevEntry& device);

private:
    bool SendPieces(TDevEntry& device, const uint8_t* bytes, int count, int piece,
                    uint32_t pauseMs);
    // Sends a raw fixed request and waits for its raw reply frame; the frame length.
    int FixedExchange(TDevEntry& device, const uint8_t* request, int count, uint8_t* reply);

    const TLiveOptions& options_;
    TComPort port_;
};

}  // namespace ql
