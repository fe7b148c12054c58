#include "links/DeviceChannel.h"

#include "links/DriverLibraries.h"
#include "links/Frame.h"
#include "links/LinkTrace.h"
#include "core/LiveOptions.h"
#include "platform/Tick.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace ql {
namespace {

QByteArray SerialText(const TDevEntry& device) { return QByteArray::number(device.SerialNumber); }

bool FtdiOpen(TDevEntry& device)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.Available)
        return false;
    QByteArray serial = SerialText(device);
    ftdi::FT_HANDLE handle = nullptr;
    if (ft.OpenEx(serial.data(), ftdi::FT_OPEN_BY_SERIAL_NUMBER, &handle) != ftdi::FT_OK
        || handle == nullptr)
        return false;
    device.FtdiHandle = handle;
    ft.SetTimeouts(handle, kFtdiReadTimeoutMs, kFtdiWriteTimeoutMs);
    return true;
}

void FtdiClose(TDevEntry& device)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.Available)
        return;
    if (device.FtdiHandle != nullptr) {
        ft.ResetDevice(device.FtdiHandle);
        ft.Close(device.FtdiHandle);
    }
    device.FtdiHandle = nullptr;
}

bool FtdiWrite(TDevEntry& device, const uint8_t* bytes, int count, int& written)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.Available || device.FtdiHandle == nullptr)
        return false;
    ftdi::DWORD done = 0;
    const bool ok = ft.Write(device.FtdiHandle, const_cast<uint8_t*>(bytes), ftdi::DWORD(count),
                             &done)
                    == ftdi::FT_OK;
    written = int(std::min<ftdi::DWORD>(done, ftdi::DWORD(count)));
    return ok;
}

int FtdiRead(TDevEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
{
    const uint32_t start = TickCount();
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.Available || device.FtdiHandle == nullptr)
        return 0;
    std::memset(buffer, 0, size_t(size));
    while (TickBefore(start, timeoutMs)) {
        ftdi::DWORD queued = 0, transmit = 0, events = 0;
        ft.GetStatus(device.FtdiHandle, &queued, &transmit, &events);
        if (queued == 0) {
            SleepMs(kFtdiPollPauseMs);
            continue;
        }
        // Give the rest of a reply that is still arriving one more millisecond.
        SleepMs(kFtdiPollPauseMs);
        ft.GetStatus(device.FtdiHandle, &queued, &transmit, &events);
        const ftdi::DWORD want = std::min<ftdi::DWORD>(queued, ftdi::DWORD(size));
        ftdi::DWORD got = 0;
        if (ft.Read(device.FtdiHandle, buffer, want, &got) != ftdi::FT_OK)
            return 0;
        return int(std::min(got, want));
    }
    return 0;
}

bool QlusbOpen(TDevEntry& device)
{
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available)
        return false;
    const QByteArray serial = SerialText(device);
    uint32_t handle = 0;
    if (mv.OpenDevice(device.UsbNumber, serial.constData(), &handle) != qlusb::MV_OK
        || handle == 0)
        return false;
    device.QlusbHandle = handle;
    mv.SetTimeouts(handle, kQlusbReadTimeoutMs, kQlusbWriteTimeoutMs);
    return true;
}

void QlusbClose(TDevEntry& device)
{
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available)
        return;
    if (device.QlusbHandle != 0)
        mv.CloseDevice(&device.QlusbHandle);
    device.QlusbHandle = 0;
}

bool QlusbWrite(TDevEntry& device, const uint8_t* bytes, int count, int& written)
{
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available || device.QlusbHandle == 0)
        return false;
    uint32_t done = 0;
    const bool ok = mv.Write(device.QlusbHandle, bytes, uint32_t(count), &done) == qlusb::MV_OK;
    written = int(std::min<uint32_t>(done, uint32_t(count)));
    return ok;
}

int QlusbRead(TDevEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
{
    const uint32_t start = TickCount();
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available || device.QlusbHandle == 0)
        return 0;
    while (TickBefore(start, timeoutMs)) {
        uint32_t got = 0;
        mv.ReadNotTimeOut(device.QlusbHandle, buffer, uint32_t(size), &got);
        if (got != 0)
            return int(std::min<uint32_t>(got, uint32_t(size)));
        // The library's call returns at once; polled back to back, but other threads
        // (the simulator among them) get their turn.
        std::this_thread::yield();
    }
    return 0;
}

const char* LinkName(const TDevEntry& device, bool com)
{
    if (com)
        return "com";
    return device.LinkKind == lkFtdi ? "ftdi" : "qlusb";
}

}  // namespace

TDeviceChannel::TDeviceChannel(const TLiveOptions& options) : options_(options) {}

TDeviceChannel::~TDeviceChannel() = default;

bool TDeviceChannel::OpenLink(TDevEntry& device, TComPortFault* fault)
{
    if (options_.UseComPort.load())
        return OpenComFor(device, fault);
    if (device.LinkKind == lkFtdi)
        return FtdiOpen(device);
    return QlusbOpen(device);
}

bool TDeviceChannel::OpenComFor(TDevEntry& device, TComPortFault* fault)
{
    const QString path = ComPortDevicePath(options_.ComPortName());
    std::unique_lock<std::mutex> lock(comMutex_);
    if (comHolder_ != nullptr && comHolder_ != &device) {
        if (fault)
            *fault = MakeComPortFault(TComPortFault::Session, path, EBUSY);
        return false;
    }
    if (port_.IsOpen()) {
        // Opening the one handle again would lose it; its own user keeps it.
        if (comUser_ == &device)
            return true;
        // A pass's exchange that began before the session is still on the line: it
        // closes the port within its time-outs. Anyone else finds the port busy.
        const bool closed = comHolder_ == &device
                            && comClosed_.wait_for(lock, kComHandOverWaitMs, [this] { return !port_.IsOpen(); });
        if (!closed) {
            if (fault)
                *fault = MakeComPortFault(TComPortFault::Open, path, EBUSY);
            return false;
        }
    }
    if (!port_.Open(path, fault))
        return false;
    comUser_ = &device;
    return true;
}

void TDeviceChannel::CloseLink(TDevEntry& device)
{
    {
        std::lock_guard<std::mutex> lock(comMutex_);
        if (UsesComLocked(device)) {
            port_.Close();
            comUser_ = nullptr;
            comClosed_.notify_all();
            return;
        }
    }
    if (device.LinkKind == lkFtdi)
        FtdiClose(device);
    else
        QlusbClose(device);
}

bool TDeviceChannel::UsesComLocked(const TDevEntry& device) const
{
    return port_.IsOpen() && (comUser_ == &device || (comUser_ == nullptr && comHolder_ == nullptr));
}

bool TDeviceChannel::UsesCom(const TDevEntry& device) const
{
    std::lock_guard<std::mutex> lock(comMutex_);
    return UsesComLocked(device);
}

bool TDeviceChannel::HoldComPort(const TDevEntry& device)
{
    std::lock_guard<std::mutex> lock(comMutex_);
    if (comHolder_ != nullptr && comHolder_ != &device)
        return false;
    comHolder_ = &device;
    return true;
}

void TDeviceChannel::ReleaseComPort(const TDevEntry& device)
{
    std::lock_guard<std::mutex> lock(comMutex_);
    if (comHolder_ == &device)
        comHolder_ = nullptr;
}

TComPortFault TDeviceChannel::ComLineFault(const TDevEntry& device) const
{
    return UsesCom(device) ? port_.LineFault() : TComPortFault{};
}

bool TDeviceChannel::ComHeldBySession() const
{
    std::lock_guard<std::mutex> lock(comMutex_);
    return comHolder_ != nullptr;
}

bool TDeviceChannel::WriteLink(TDevEntry& device, const uint8_t* bytes, int count, int& written)
{
    written = 0;
    if (count < 0)
        return false;
    const bool com = UsesCom(device);
    TraceLink(TTraceDirection::ToDevice, device.SerialNumber, LinkName(device, com), bytes, count);
    if (com)
        return ComWrite(bytes, count, TComMode::Tunnel, written);
    if (device.LinkKind == lkFtdi)
        return FtdiWrite(device, bytes, count, written);
    return QlusbWrite(device, bytes, count, written);
}

bool TDeviceChannel::SendPieces(TDevEntry& device, const uint8_t* bytes, int count, int piece,
                                uint32_t pauseMs)
{
    for (int done = 0; done < count;) {
        const int n = std::min(piece, count - done);
        int written = 0;
        if (!WriteLink(device, bytes + done, n, written) || written != n)
            return false;
        done += n;
        if (done < count && pauseMs > 0)
            SleepMs(pauseMs);
    }
    return true;
}

bool TDeviceChannel::SendData(TDevEntry& device, const uint8_t* bytes, int count)
{
    if (count < 0)
        return false;
    switch (device.LinkKind) {
    case lkFtdi:
        // Through an open COM port each 64-byte piece would still be its own tunnel frame;
        // 64 bytes always fit one.
        return SendPieces(device, bytes, count, kFtdiPieceSize, kFtdiPiecePauseMs);
    case lkComPort:
        // A tunnel frame carries at most 90 bytes, so the 142- and 526-byte write requests
        // travel as several frames, which the device joins into one record again.
        return SendPieces(device, bytes, count, kMaxTunnelPayload, 0);
    default: {
        int written = 0;
        return WriteLink(device, bytes, count, written) && written == count;
    }
    }
}

int TDeviceChannel::ReadLink(TDevEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
{
    if (size <= 0)
        return 0;
    const bool com = UsesCom(device);
    int got = 0;
    if (com)
        got = ComRead(buffer, size, timeoutMs, TComMode::Tunnel);
    else if (device.LinkKind == lkFtdi)
        got = FtdiRead(device, buffer, timeoutMs, size);
    else
        got = QlusbRead(device, buffer, timeoutMs, size);
    if (got > 0)
        TraceLink(TTraceDirection::FromDevice, device.SerialNumber, LinkName(device, com), buffer,
                  got);
    return got;
}

bool TDeviceChannel::ComOpen(TComPortFault* fault)
{
    std::lock_guard<std::mutex> lock(comMutex_);
    if (!port_.Open(ComPortDevicePath(options_.ComPortName()), fault))
        return false;
    comUser_ = nullptr;
    return true;
}

void TDeviceChannel::ComClose()
{
    std::lock_guard<std::mutex> lock(comMutex_);
    if (comHolder_ != nullptr)
        return;
    port_.Close();
    comUser_ = nullptr;
    comClosed_.notify_all();
}

bool TDeviceChannel::ComWrite(const uint8_t* bytes, int count, TComMode mode, int& written)
{
    written = 0;
    uint8_t frame[kMaxFrameSize];
    int length = 0;
    if (mode == TComMode::Raw) {
        if (count < 0 || count > kMaxFrameSize)
            return false;
        std::memcpy(frame, bytes, size_t(count));
        length = count;
    } else {
        length = BuildTunnelFrame(bytes, count, frame);
        if (length == 0)
            return false;
    }
    if (!port_.Write(frame, length))
        return false;
    written = mode == TComMode::Raw ? length : length - kFrameOverhead;
    return true;
}

int TDeviceChannel::ComRead(uint8_t* buffer, int size, uint32_t timeoutMs, TComMode mode)
{
    const uint32_t start = TickCount();
    uint8_t frame[kMaxFrameSize];
    int collected = 0;
    while (TickBefore(start, timeoutMs)) {
        // A full buffer that is not one frame can only run into the time-out: collected
        // bytes are never dropped, so a stray byte spoils the whole read.
        if (collected < kMaxFrameSize) {
            const int got = port_.Read(frame + collected, kMaxFrameSize - collected);
            if (got < 0)
                return 0;  // the line is gone: nothing more can come
            collected += got;
        } else
            SleepMs(kComReadTotalMs);
        const int delivered = TakeComReply(frame, collected, mode, buffer, size);
        if (delivered >= 0)
            return delivered;
    }
    return 0;
}

int TDeviceChannel::FixedExchange(TDevEntry& device, const uint8_t* request, int count,
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

uint32_t TDeviceChannel::RequestSerialNumber(TDevEntry& device, TComPortFault* fault)
{
    if (!OpenLink(device, fault))
        return 0;
    uint8_t request[kMaxFrameSize];
    const int count = BuildFrame(kSerialNumberCommand, &kSerialNumberData, 1, request);
    uint8_t reply[kMaxFrameSize];
    const int got = FixedExchange(device, request, count, reply);
    uint32_t serial = 0;
    if (got >= kSerialNumberReplyLength && reply[0] == kFrameStart
        && qFromLittleEndian<uint16_t>(reply + kFrameLengthOffset) == kSerialNumberReplyLength
        && reply[kFrameCommandOffset] == kSerialNumberReplyCommand
        && qFromLittleEndian<uint32_t>(reply + kReplyResultOffset) == 0)
        serial = qFromLittleEndian<uint32_t>(reply + kReplyDataOffset);
    CloseLink(device);
    return serial;
}

bool TDeviceChannel::RequestLoaderStart(TDevEntry& device, TComPortFault* fault)
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
