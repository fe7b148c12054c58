#include "links/MakerUsbLink.h"

#include "links/DriverLibraries.h"
#include "platform/Tick.h"

#include <QByteArray>

#include <algorithm>
#include <thread>

namespace ql {

bool TMakerUsbLink::Open(TLinkEntry& device, TComPortFault* /*fault*/)
{
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available)
        return false;
    const QByteArray serial = QByteArray::number(device.SerialNumber);
    uint32_t handle = 0;
    if (mv.OpenDevice(device.UsbNumber, serial.constData(), &handle) != qlusb::MV_OK
        || handle == 0)
        return false;
    device.QlusbHandle = handle;
    mv.SetTimeouts(handle, kQlusbReadTimeoutMs, kQlusbWriteTimeoutMs);
    return true;
}

void TMakerUsbLink::Close(TLinkEntry& device)
{
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available)
        return;
    if (device.QlusbHandle != 0)
        mv.CloseDevice(&device.QlusbHandle);
    device.QlusbHandle = 0;
}

bool TMakerUsbLink::Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written)
{
    written = 0;
    const TQlusbLibrary& mv = QlusbLibrary();
    if (!mv.Available || device.QlusbHandle == 0)
        return false;
    uint32_t done = 0;
    const bool ok = mv.Write(device.QlusbHandle, bytes, uint32_t(count), &done) == qlusb::MV_OK;
    written = int(std::min<uint32_t>(done, uint32_t(count)));
    return ok;
}

int TMakerUsbLink::Read(TLinkEntry& device, uint8_t* buffer, uint32_t timeoutMs, int size)
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

void TMakerUsbLink::Reset(TLinkEntry& /*device*/) {}

}  // namespace ql
