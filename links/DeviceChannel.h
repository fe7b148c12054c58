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
// Thread use: any thread may call; one device's handles are used by one thread at a time.
// The COM port serves one user at a time: the entry whose OpenLink opened it reads, writes
// and closes it; for any other entry the calls take that entry's own link. A write session
// holds the port from its start to its end: meanwhile no one else opens or closes it (a
// discovery pass finds it held and leaves it alone), and the session's own open waits
// until an exchange of a pass that was already on the line has closed it.

#include "devices/DevEntry.h"
#include "links/ComPort.h"
#include "links/ComReply.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

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
// How long a session's open waits for a pass's exchange to leave the COM port; the
// longest identification ends well within it.
inline constexpr std::chrono::milliseconds kComHandOverWaitMs{30000};

class TDeviceChannel {
public:
    explicit TDeviceChannel(const TLiveOptions& options);
    ~TDeviceChannel();
    TDeviceChannel(const TDeviceChannel&) = delete;
    TDeviceChannel& operator=(const TDeviceChannel&) = delete;

    // With the COM-port option ticked the COM port named by the option is opened for this
    // device (one it has open already is kept and counts as success); otherwise the
    // device's own link. When the COM port cannot be had, fault (when given) says why.
    bool OpenLink(TDevEntry& device, TComPortFault* fault = nullptr);
    // The COM port when this device has it open, else the device's own link; a closed
    // one is left be.
    void CloseLink(TDevEntry& device);
    // One write; written is the payload count (not the frame size on the COM port).
    bool WriteLink(TDevEntry& device, const uint8_t* bytes, int count, int& written);
    // All of count bytes, in the pieces the device's link takes; true when every byte went.
    bool SendData(TDevEntry& device, const uint8_t* bytes, int count);
    // One reply of at most size bytes within timeoutMs; 0 when nothing came in time.
    int ReadLink(TDevEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size);

    // A write session of device holds the COM port until ReleaseComPort: false when
    // another session holds it. Does not open the port and never waits.
    bool HoldComPort(const TDevEntry& device);
    void ReleaseComPort(const TDevEntry& device);
    bool ComHeldBySession() const;
    // How the COM port failed while this device used it (Stage None when it did not, or
    // when the device does not use the port).
    TComPortFault ComLineFault(const TDevEntry& device) const;

    // The COM port itself, opened for no particular device. Raw frames carry at most 100
    // bytes, tunnel frames 90 bytes of payload; a larger one is refused with nothing sent.
    bool ComOpen(TComPortFault* fault = nullptr);
    // Closes the port unless a write session holds it.
    void ComClose();
    bool ComIsOpen() const { return port_.IsOpen(); }
    bool ComWrite(const uint8_t* bytes, int count, TComMode mode, int& written);
    // Collects one frame within timeoutMs. Raw: the whole frame; tunnel: the reply data
    // behind the result code (a frame without reply data is waited past). At most size
    // bytes are delivered.
    int ComRead(uint8_t* buffer, int size, uint32_t timeoutMs, TComMode mode);

    // The two fixed requests of the COM-port probe, each opening and closing the link;
    // when the port cannot be had, fault (when given) says why.
    uint32_t RequestSerialNumber(TDevEntry& device, TComPortFault* fault = nullptr);
    bool RequestLoaderStart(TDevEntry& device, TComPortFault* fault = nullptr);

private:
    bool SendPieces(TDevEntry& device, const uint8_t* bytes, int count, int piece,
                    uint32_t pauseMs);
    // Sends a raw fixed request and waits for its raw reply frame; the frame length.
    int FixedExchange(TDevEntry& device, const uint8_t* request, int count, uint8_t* reply);

    // The COM port serves this device's calls: it opened the port (or it was opened for
    // no particular device and no session holds it).
    bool UsesCom(const TDevEntry& device) const;
    bool UsesComLocked(const TDevEntry& device) const;
    bool OpenComFor(TDevEntry& device, TComPortFault* fault);

    const TLiveOptions& options_;
    TComPort port_;
    mutable std::mutex comMutex_;        // the port's user and holder, its opens and closes
    std::condition_variable comClosed_;
    const TDevEntry* comUser_ = nullptr;    // the entry whose OpenLink opened the port
    const TDevEntry* comHolder_ = nullptr;  // the device of the session that holds it
};

}  // namespace ql
