#pragma once
// The COM link: the program's one COM port, shared by every device that is reached
// through it. Every write to a device travels in a tunnel frame and every reply is
// unwrapped from its frame; the port itself also carries raw frames (the COM-port probe's
// fixed requests).
//
// The port serves one user at a time: the entry whose Open opened it reads, writes and
// closes it (or anyone, when it was opened for no particular entry and no session holds
// it); for any other entry the link's calls fail, and the channel gives them that entry's
// own link. A write session holds the port from its start to its end: meanwhile no one
// else opens or closes it, and the session's own open waits until an exchange that was
// already on the line has closed it.

#include "links/ComPort.h"
#include "links/ComReply.h"
#include "links/Link.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ql {

struct TLiveOptions;

// How long a session's open waits for a pass's exchange to leave the COM port; the
// longest identification ends well within it.
inline constexpr std::chrono::milliseconds kComHandOverWaitMs{30000};

class TComLink : public TLink {
public:
    // The port is the one the live options name, looked up at every open.
    explicit TComLink(const TLiveOptions& options) : options_(options) {}

    const char* TraceName() const override { return "com"; }
    // A tunnel frame carries at most 90 bytes, so the 142- and 526-byte write requests
    // travel as several frames, which the device joins into one record again.
    TLinkPieces Pieces() const override;
    // Opens the port for device, only while the COM-port option is ticked. A port this
    // device has open already is kept and counts as success; one another entry has open,
    // or a session of another device holds, is busy. fault (when given) says why not.
    bool Open(TLinkEntry& device, TComPortFault* fault) override;
    bool Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written) override;
    int Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size) override;
    void Close(TLinkEntry& device) override;
    // Nothing: the line keeps no state of its own between frames.
    void Reset(TLinkEntry& device) override;

    // The port serves this device's calls: it opened the port (or it was opened for no
    // particular device and no session holds it).
    bool Serves(const TLinkEntry& device) const;

    // A write session of device holds the port until Release: false when another
    // session holds it. Does not open the port and never waits.
    bool Hold(const TLinkEntry& device);
    void Release(const TLinkEntry& device);
    bool HeldBySession() const;
    // How the port failed while this device used it (Stage None when it did not, or
    // when the device does not use the port).
    TComPortFault LineFault(const TLinkEntry& device) const;

    // The port opened for no particular device; closed unless a session holds it.
    bool OpenForAnyone(TComPortFault* fault);
    void CloseForAnyone();
    bool IsOpen() const { return port_.IsOpen(); }
    // Raw frames carry at most 100 bytes, tunnel frames 90 bytes of payload; a larger one
    // is refused with nothing sent. written is the payload count in tunnel mode.
    bool WriteFrame(const uint8_t* bytes, int count, TComMode mode, int& written);
    // Collects one frame within timeoutMs. Raw: the whole frame; tunnel: the reply data
    // behind the result code (a frame without reply data is waited past). At most size
    // bytes are delivered.
    int ReadFrame(uint8_t* buffer, int size, uint32_t timeoutMs, TComMode mode);

private:
    bool ServesLocked(const TLinkEntry& device) const;
    void CloseLocked();

    const TLiveOptions& options_;
    TComPort port_;
    mutable std::mutex mutex_;  // the port's user and holder, its opens and closes
    std::condition_variable closed_;
    const TLinkEntry* user_ = nullptr;    // the entry whose Open opened the port
    const TLinkEntry* holder_ = nullptr;  // the device of the session that holds it
};

}  // namespace ql
