#pragma once
// The one way the loader talks to a device: open, close, write, send and read over an
// FTDI bridge, the maker's USB library or the program's one COM port (links/Link.h and
// its implementations). The link is chosen anew at every call, in one place
// (ChooseLink): the COM port when opening with the COM-port option ticked, or for any
// other call when the port serves the device; otherwise the link of the device's kind.
//
// No call logs anything: failures come back as false or a count of 0 and the caller
// picks the message.
//
// Thread use: any thread may call; one device's handles are used by one thread at a time.
// The COM port serves one user at a time (links/ComLink.h): the entry whose OpenLink
// opened it reads, writes and closes it; for any other entry the calls take that entry's
// own link. A write session holds the port from its start to its end: meanwhile no one
// else opens or closes it (a discovery pass finds it held and leaves it alone), and the
// session's own open waits until an exchange of a pass that was already on the line has
// closed it.

#include "links/ComLink.h"
#include "links/D2xxPort.h"
#include "links/DriverLibraries.h"
#include "links/FtdiLink.h"
#include "links/KernelTtyPort.h"
#include "links/LinkEntry.h"
#include "links/MakerUsbLink.h"

#include <array>
#include <cstdint>

namespace ql {

struct TLiveOptions;

inline constexpr uint32_t kFixedRequestTimeoutMs = 2000;

class TDeviceChannel {
public:
    explicit TDeviceChannel(const TLiveOptions& options);
    ~TDeviceChannel();
    TDeviceChannel(const TDeviceChannel&) = delete;
    TDeviceChannel& operator=(const TDeviceChannel&) = delete;

    // With the COM-port option ticked the COM port named by the option is opened for this
    // device (one it has open already is kept and counts as success); otherwise the
    // device's own link. When the COM port cannot be had, fault (when given) says why.
    bool OpenLink(TLinkEntry& device, TComPortFault* fault = nullptr);
    // The COM port when this device has it open, else the device's own link; a closed
    // one is left be.
    void CloseLink(TLinkEntry& device);
    // One write; written is the payload count (not the frame size on the COM port).
    bool WriteLink(TLinkEntry& device, const uint8_t* bytes, int count, int& written);
    // All of count bytes, in the pieces of the device's own link, whichever link carries
    // them; true when every byte went.
    bool SendData(TLinkEntry& device, const uint8_t* bytes, int count);
    // One reply of at most size bytes within timeoutMs; 0 when nothing came in time.
    int ReadLink(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size);

    // A write session of device holds the COM port until ReleaseComPort: false when
    // another session holds it. Does not open the port and never waits.
    bool HoldComPort(const TLinkEntry& device) { return com_.Hold(device); }
    void ReleaseComPort(const TLinkEntry& device) { com_.Release(device); }
    bool ComHeldBySession() const { return com_.HeldBySession(); }
    // How the COM port failed while this device used it (Stage None when it did not, or
    // when the device does not use the port).
    TComPortFault ComLineFault(const TLinkEntry& device) const { return com_.LineFault(device); }

    // True once, after the first open of a bridge through the kernel's driver whose
    // latency timer could not be set; node is that bridge's serial port.
    bool TakeBridgeLatencyNotice(QString& node) { return kernelPort_.TakeLatencyNotice(node); }

    // The COM port itself, opened for no particular device. Raw frames carry at most 100
    // bytes, tunnel frames 90 bytes of payload; a larger one is refused with nothing sent.
    bool ComOpen(TComPortFault* fault = nullptr) { return com_.OpenForAnyone(fault); }
    // Closes the port unless a write session holds it.
    void ComClose() { com_.CloseForAnyone(); }
    bool ComIsOpen() const { return com_.IsOpen(); }
    bool ComWrite(const uint8_t* bytes, int count, TComMode mode, int& written)
    {
        return com_.WriteFrame(bytes, count, mode, written);
    }
    // Collects one frame within timeoutMs. Raw: the whole frame; tunnel: the reply data
    // behind the result code (a frame without reply data is waited past). At most size
    // bytes are delivered.
    int ComRead(uint8_t* buffer, int size, uint32_t timeoutMs, TComMode mode)
    {
        return com_.ReadFrame(buffer, size, timeoutMs, mode);
    }

    // The two fixed requests of the COM-port probe, each opening and closing the link;
    // when the port cannot be had, fault (when given) says why.
    uint32_t RequestSerialNumber(TLinkEntry& device, TComPortFault* fault = nullptr);
    bool RequestLoaderStart(TLinkEntry& device, TComPortFault* fault = nullptr);

private:
    enum class TLinkUse { Open, InUse };
    // The link a call for device goes through.
    TLink& ChooseLink(TLinkUse use, const TLinkEntry& device);
    // The link of the device's kind: the first row of its kind whose condition holds; a
    // kind without a row goes through the maker's library.
    TLink& OwnLink(const TLinkEntry& device);

    // Sends a raw fixed request and waits for its raw reply frame; the frame length.
    int FixedExchange(TLinkEntry& device, const uint8_t* request, int count, uint8_t* reply);

    struct TLinkRow {
        int32_t Kind;
        TLink* Link;
        bool (*When)();  // null: always
    };

    const TLiveOptions& options_;
    TD2xxPort d2xxPort_;
    TKernelTtyPort kernelPort_;
    TFtdiLink ftdi_{d2xxPort_};
    TFtdiLink kernelFtdi_{kernelPort_};
    TMakerUsbLink makerUsb_;
    TComLink com_;
    // FTDI bridges through D2XX when its library is bound, else through the kernel's
    // driver.
    const std::array<TLinkRow, 4> links_{{
        {lkFtdi, &ftdi_, &FtdiLibraryBound},
        {lkFtdi, &kernelFtdi_, nullptr},
        {lkMakerUsb, &makerUsb_, nullptr},
        {lkComPort, &com_, nullptr},
    }};
};

}  // namespace ql
