#include "links/DeviceChannel.h"

#include "core/LiveOptions.h"
#include "links/Frame.h"
#include "links/LinkTrace.h"
#include "platform/Tick.h"

#include <QtEndian>

#include <algorithm>

namespace ql {

TDeviceChannel::TDeviceChannel(const TLiveOptions& options) : options_(options), com_(options) {}

TDeviceChannel::~TDeviceChannel() = default;

TLink& TDeviceChannel::OwnLink(const TLinkEntry& device)
{
    for (const TLinkRow& row : links_)
        if (row.Kind == device.LinkKind && (row.When == nullptr || row.When()))
            return *row.Link;
    return makerUsb_;
}

TLink& TDeviceChannel::ChooseLink(TLinkUse use, const TLinkEntry& device)
{
    const bool com = use == TLinkUse::Open ? options_.UseComPort.load() : com_.Serves(device);
    return com ? com_ : OwnLink(device);
}

bool TDeviceChannel::OpenLink(TLinkEntry& device, TComPortFault* fault)
{
    return ChooseLink(TLinkUse::Open, device).Open(device, fault);
}

void TDeviceChannel::CloseLink(TLinkEntry& device)
{
    ChooseLink(TLinkUse::InUse, device).Close(device);
}

bool TDeviceChannel::WriteLink(TLinkEntry& device, const uint8_t* bytes, int count, int& written)
{
    written = 0;
    if (count < 0)
        return false;
    TLink& link = ChooseLink(TLinkUse::InUse, device);
    TraceLink(TTraceDirection::ToDevice, device.SerialNumber, link.TraceName(), bytes, count);
    return link.Write(device, bytes, count, written);
}

bool TDeviceChannel::SendData(TLinkEntry& device, const uint8_t* bytes, int count)
{
    if (count < 0)
        return false;
    // The device's own link says how its buffers are cut, also when the COM port carries
    // them: an FTDI device's 64-byte pieces each travel in a tunnel frame of their own.
    const TLinkPieces pieces = OwnLink(device).Pieces();
    if (pieces.Size <= 0) {
        int written = 0;
        return WriteLink(device, bytes, count, written) && written == count;
    }
    for (int done = 0; done < count;) {
        const int n = std::min(pieces.Size, count - done);
        int written = 0;
        if (!WriteLink(device, bytes + done, n, written) || written != n)
            return false;
        done += n;
        if (done < count && pieces.PauseMs > 0)
            SleepMs(pieces.PauseMs);
    }
    return true;
}

int TDeviceChannel::ReadLink(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
{
    if (size <= 0)
        return 0;
    TLink& link = ChooseLink(TLinkUse::InUse, device);
    const int got = link.Read(device, buffer, timeoutMs, size);
    if (got > 0)
        TraceLink(TTraceDirection::FromDevice, device.SerialNumber, link.TraceName(), buffer, got);
    return got;
}

int TDeviceChannel::FixedExchange(TLinkEntry& device, const uint8_t* request, int count,
                                  uint8_t* reply)
{
    int written = 0;
    ComWrite(request, count, TComMode::Raw, written);  // a lost request shows as no reply
    TraceLink(TTraceDirection::ToDevice, device.SerialNumber, "com-raw", request, count);
    const int got = ComRead(reply, kMaxFrameSize, kFixedRequestTimeoutMs, TComMode::Raw);
    if (got > 0)
        TraceLink(TTraceDirection::FromDevice, device.SerialNumber, "com-raw", reply, got);
    return got;
}

uint32_t TDeviceChannel::RequestSerialNumber(TLinkEntry& device, TComPortFault* fault)
{
    if (!OpenLink(device, fault))
        return 0;
    uint8_t request[kMaxFrameSize];
    const int count = BuildFrame(kSerialNumberCommand, &kSerialNumberData, 1, request);
    uint8_t reply[kMaxFrameSize];
    const int got = FixedExchange(device, request, count, reply);
    uint32_t serial = 0;
    ParseSerialNumberReply(reply, got, serial);
    CloseLink(device);
    return serial;
}

bool TDeviceChannel::RequestLoaderStart(TLinkEntry& device, TComPortFault* fault)
{
    if (!OpenLink(device, fault))
        return false;
    uint8_t request[kMaxFrameSize];
    const int count = BuildFrame(kLoaderStartCommand, nullptr, 0, request);
    uint8_t reply[kMaxFrameSize];
    const int got = FixedExchange(device, request, count, reply);
    const bool started = got >= kReplyDataOffset + 2
                         && qFromLittleEndian<uint32_t>(reply + kReplyResultOffset) == 0;
    CloseLink(device);
    return started;
}

}  // namespace ql
