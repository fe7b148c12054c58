#include "links/D2xxPort.h"

#include "links/DriverLibraries.h"
#include "links/FtdiLink.h"
#include "links/LinkTrace.h"

#include <QByteArray>

#include <algorithm>

namespace ql {

bool TD2xxPort::Open(TLinkEntry& device, TComPortFault* /*fault*/)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.Available)
        return false;
    QByteArray serial = QByteArray::number(device.SerialNumber);
    ftdi::FT_HANDLE handle = nullptr;
    if (ft.OpenEx(serial.data(), ftdi::FT_OPEN_BY_SERIAL_NUMBER, &handle) != ftdi::FT_OK
        || handle == nullptr)
        return false;
    device.FtdiHandle = handle;
    ft.SetTimeouts(handle, kFtdiReadTimeoutMs, kFtdiWriteTimeoutMs);
    TuneLatencyTimer(device);
    return true;
}

void TD2xxPort::TuneLatencyTimer(const TLinkEntry& device)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.SetLatencyTimer) {
        qCDebug(lcLink, "device %d ftdi: the D2XX library cannot set the latency timer; "
                        "replies wait up to the bridge's own (%d ms by default)",
                int(device.SerialNumber), int(ftdi::kDefaultLatencyTimerMs));
        return;
    }
    const ftdi::FT_STATUS status = ft.SetLatencyTimer(device.FtdiHandle, kD2xxLatencyTimerMs);
    if (status == ftdi::FT_OK)
        qCDebug(lcLink, "device %d ftdi: latency timer set to %d ms", int(device.SerialNumber),
                int(kD2xxLatencyTimerMs));
    else
        qCDebug(lcLink, "device %d ftdi: latency timer not set to %d ms (FT_SetLatencyTimer "
                        "status %u); replies wait up to the bridge's own",
                int(device.SerialNumber), int(kD2xxLatencyTimerMs), unsigned(status));
}

void TD2xxPort::Close(TLinkEntry& device)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (!ft.Available)
        return;
    if (device.FtdiHandle != nullptr)
        ft.Close(device.FtdiHandle);
    device.FtdiHandle = nullptr;
}

bool TD2xxPort::IsOpen(const TLinkEntry& device) const
{
    return FtdiLibrary().Available && device.FtdiHandle != nullptr;
}

bool TD2xxPort::Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    ftdi::DWORD done = 0;
    const bool ok = ft.Write(device.FtdiHandle, const_cast<uint8_t*>(bytes), ftdi::DWORD(count),
                             &done)
                    == ftdi::FT_OK;
    written = int(std::min<ftdi::DWORD>(done, ftdi::DWORD(count)));
    return ok;
}

uint32_t TD2xxPort::Queued(TLinkEntry& device)
{
    // Only the receive count is wanted; the call's status is not looked at, and a failed
    // one leaves the count 0.
    ftdi::DWORD queued = 0, transmit = 0, events = 0;
    FtdiLibrary().GetStatus(device.FtdiHandle, &queued, &transmit, &events);
    return queued;
}

bool TD2xxPort::Read(TLinkEntry& device, uint8_t* buffer, uint32_t count, uint32_t& got)
{
    ftdi::DWORD done = 0;
    const bool ok = FtdiLibrary().Read(device.FtdiHandle, buffer, count, &done) == ftdi::FT_OK;
    got = ok ? done : 0;
    return ok;
}

void TD2xxPort::Reset(TLinkEntry& device)
{
    const TFtdiLibrary& ft = FtdiLibrary();
    if (ft.Available && device.FtdiHandle != nullptr)
        ft.ResetDevice(device.FtdiHandle);
}

}  // namespace ql
