#include "links/ComLink.h"

#include "core/LiveOptions.h"
#include "links/Frame.h"
#include "platform/Tick.h"

#include <cerrno>
#include <cstring>

namespace ql {

TLinkPieces TComLink::Pieces() const
{
    return {kMaxTunnelPayload, 0};
}

bool TComLink::Open(TLinkEntry& device, TComPortFault* fault)
{
    if (!options_.UseComPort.load())
        return false;
    const QString path = ComPortDevicePath(options_.ComPortName());
    std::unique_lock<std::mutex> lock(mutex_);
    if (holder_ != nullptr && holder_ != &device) {
        if (fault)
            *fault = MakeComPortFault(TComPortFault::Session, path, EBUSY);
        return false;
    }
    if (port_.IsOpen()) {
        // Opening the one handle again would lose it; its own user keeps it.
        if (user_ == &device)
            return true;
        // A pass's exchange that began before the session is still on the line: it
        // closes the port within its time-outs. Anyone else finds the port busy.
        const bool closed = holder_ == &device
                            && closed_.wait_for(lock, kComHandOverWaitMs, [this] { return !port_.IsOpen(); });
        if (!closed) {
            if (fault)
                *fault = MakeComPortFault(TComPortFault::Open, path, EBUSY);
            return false;
        }
    }
    if (!port_.Open(path, fault))
        return false;
    user_ = &device;
    return true;
}

void TComLink::Close(TLinkEntry& device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (ServesLocked(device))
        CloseLocked();
}

void TComLink::CloseLocked()
{
    port_.Close();
    user_ = nullptr;
    closed_.notify_all();
}

bool TComLink::Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written)
{
    written = 0;
    if (!Serves(device))
        return false;
    return WriteFrame(bytes, count, TComMode::Tunnel, written);
}

int TComLink::Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
{
    if (!Serves(device))
        return 0;
    return ReadFrame(buffer, size, timeoutMs, TComMode::Tunnel);
}

void TComLink::Reset(TLinkEntry& /*device*/) {}

bool TComLink::ServesLocked(const TLinkEntry& device) const
{
    return port_.IsOpen() && (user_ == &device || (user_ == nullptr && holder_ == nullptr));
}

bool TComLink::Serves(const TLinkEntry& device) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ServesLocked(device);
}

bool TComLink::Hold(const TLinkEntry& device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ != nullptr && holder_ != &device)
        return false;
    holder_ = &device;
    return true;
}

void TComLink::Release(const TLinkEntry& device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ == &device)
        holder_ = nullptr;
}

bool TComLink::HeldBySession() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return holder_ != nullptr;
}

TComPortFault TComLink::LineFault(const TLinkEntry& device) const
{
    return Serves(device) ? port_.LineFault() : TComPortFault{};
}

bool TComLink::OpenForAnyone(TComPortFault* fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!port_.Open(ComPortDevicePath(options_.ComPortName()), fault))
        return false;
    user_ = nullptr;
    return true;
}

void TComLink::CloseForAnyone()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ != nullptr)
        return;
    CloseLocked();
}

bool TComLink::WriteFrame(const uint8_t* bytes, int count, TComMode mode, int& written)
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

int TComLink::ReadFrame(uint8_t* buffer, int size, uint32_t timeoutMs, TComMode mode)
{
    const uint32_t start = TickCount();
    uint8_t frame[kMaxFrameSize];
    int collected = 0;
    while (TickBefore(start, timeoutMs)) {
        // A full buffer that is not one frame can only run into the time-out: collected
        // bytes are never dropped, so a stray byte spoils the whole read.
        if (collected < kMaxFrameSize) {
            // A reply ends where its frame's length field says: waiting out the interval
            // behind it would only delay it.
            const int before = collected;
            const int got = port_.Read(frame + collected, kMaxFrameSize - collected,
                                       [&](int n) { return IsComReply(frame, before + n, mode); });
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

}  // namespace ql
