#include "devices/Identification.h"

#include "devices/ImageFields.h"
#include "firmware/TextScan.h"
#include "links/ComPortLog.h"
#include "links/DeviceChannel.h"
#include "links/LoaderRecord.h"
#include "links/LoaderReplies.h"
#include "core/LiveOptions.h"

#include <array>

namespace ql {
namespace {

using TReplyBuffer = std::array<uint8_t, kMaxLoaderReply>;

const uint8_t* U8(const QByteArray& bytes) { return reinterpret_cast<const uint8_t*>(bytes.constData()); }

bool Send(TPassContext& pass, TDevEntry& device, const QByteArray& bytes)
{
    return pass.Channel.SendData(device, U8(bytes), int(bytes.size()));
}

// Sends a record request and reads its reply into a zeroed buffer; the count received,
// or -1 when the send failed.
int Exchange(TPassContext& pass, TDevEntry& device, uint16_t command, uint32_t timeoutMs,
             TReplyBuffer& reply)
{
    reply.fill(0);
    if (!Send(pass, device, BuildSimpleRequest(command)))
        return -1;
    return pass.Channel.ReadLink(device, reply.data(), timeoutMs, int(reply.size()));
}

// Closes the link and releases the temporary image on every way out, exceptions included.
struct TIdentifyScope {
    TPassContext& Pass;
    TDevEntry& Device;
    FirmwareList& Blocks;
    ~TIdentifyScope()
    {
        Pass.Channel.CloseLink(Device);
        ClearFirmwareList(Blocks);
    }
};

bool StartLoader(TPassContext& pass, TDevEntry& device, const QByteArray& command,
                 uint32_t timeoutMs)
{
    if (device.InBootloader)
        return true;
    device.LoaderStarted = false;
    pass.PassLog(lkInfo, device.SerialNumber, msg::SendingLoaderStart);
    if (!Send(pass, device, command)) {
        pass.PassLog(lkError, device.SerialNumber, msg::DriverError);
        return false;
    }
    std::array<uint8_t, kLoaderStartReplyMax + 1> reply{};
    const int got =
        pass.Channel.ReadLink(device, reply.data(), timeoutMs, kLoaderStartReplyMax);
    if (got <= 0) {
        pass.PassLog(lkError, device.SerialNumber, msg::NoReply);
        return false;
    }
    const QByteArray text(reinterpret_cast<const char*>(reply.data()), got);
    if (text.startsWith(kStartedReply)) {
        pass.PassLog(lkInfo, device.SerialNumber, msg::LoaderStartDone);
        device.LoaderStarted = true;
        return true;
    }
    if (text.startsWith(kStartErrorReply)) {
        pass.PassLog(lkError, device.SerialNumber, msg::BootloaderError);
        return false;
    }
    // Printed as text, like the device sent it; a zero byte ends it.
    pass.PassLog(lkError, device.SerialNumber, msg::UnknownReply, QByteArray(text.constData()));
    return false;
}

}  // namespace

QByteArray LoaderStartCommand(bool startLoader)
{
    return QByteArrayLiteral("START_BOOT_LOADER=") + (startLoader ? "1" : "0");
}

bool IdentifyDevice(TPassContext& pass, TDevEntry& device)
{
    TComPortFault fault;
    if (!pass.Channel.OpenLink(device, &fault)) {
        if (PassReportsComPortFault(fault))
            LogComPortFault(pass.Log, 0, fault);
        pass.ErrorCode = kPassLinkOpen;
        return false;
    }
    QString bridge;
    if (pass.Channel.TakeBridgeLatencyNotice(bridge))
        pass.PassLog(lkInfo, 0, msg::BridgeLatencyWait, bridge);
    FirmwareList blocks;
    TIdentifyScope scope{pass, device, blocks};

    TFirmwareVersion image;
    ResetVersion(image);
    const bool loaded =
        CallOnUiThread(pass.HandOver, [&] { return pass.LoadFirmware && pass.LoadFirmware(blocks, image); });
    TakeImageFields(device, loaded ? &image : nullptr);
    if (!loaded)
        pass.ErrorCode = kPassImageLoad;

    if (RequestFirmwareVersion(pass, device))
        device.InBootloader = true;
    else if (!ReadVersionText(pass, device))
        pass.ErrorCode = kPassNoAnswer;

    if (pass.ErrorCode == kPassOk) {
        if (device.InBootloader) {
            ReadBootloaderDetails(pass, device);
        } else if (device.NrfFamily) {
            StartNrfBootLoader(pass, device);
            if (RequestFirmwareVersion(pass, device))
                device.InBootloader = true;
            else
                pass.ErrorCode = kPassNoAnswer;
        } else {
            StartBootLoader(pass, device);
        }
    }
    return pass.ErrorCode == kPassOk;
}

bool RequestFirmwareVersion(TPassContext& pass, TDevEntry& device)
{
    const uint32_t timeout = device.NrfFamily ? kNrfFirmwareVersionTimeoutMs : kFirmwareVersionTimeoutMs;
    TReplyBuffer reply;
    const int got = Exchange(pass, device, kCmdFirmwareVersion, timeout, reply);
    return TakeVersionReply(reply.data(), got, device.FirmwareVersion);
}

bool ReadVersionText(TPassContext& pass, TDevEntry& device)
{
    for (int attempt = 0; attempt < kVersionTextAttempts; ++attempt) {
        Send(pass, device, kReadVersionCommand);
        std::array<uint8_t, kVersionTextMaxBytes> reply{};
        const int got =
            pass.Channel.ReadLink(device, reply.data(), kVersionTextTimeoutMs, kVersionTextMaxBytes);
        if (got < kVersionTextMinBytes)
            continue;
        // The application firmware sends a C string: what follows its zero byte is
        // whatever was left in the device's buffer, not part of the version.
        const QByteArray text(reinterpret_cast<const char*>(reply.data()), got);
        ParseVersion(device.FirmwareVersion, UpToZero(text));
        if (device.FirmwareVersion.VersionNumber != 0)
            return true;
    }
    return false;
}

void ReadBootloaderDetails(TPassContext& pass, TDevEntry& device)
{
    const uint32_t timeout =
        device.NrfFamily ? kNrfBootloaderDetailsTimeoutMs : kBootloaderDetailsTimeoutMs;
    TReplyBuffer reply;
    int got = Exchange(pass, device, kCmdBootloaderVersion, timeout, reply);
    TakeVersionReply(reply.data(), got, device.BootloaderVersion);

    got = Exchange(pass, device, kCmdProcessorId, timeout, reply);
    if (got < 0)
        return;
    if (got < kLoaderHeaderSize) {
        pass.PassLog(lkError, 0, msg::NoProcessorIdReply);
        return;
    }
    TakeProcessorIdReply(reply.data(), got, device.ProcessorId);
}

bool StartBootLoader(TPassContext& pass, TDevEntry& device)
{
    return StartLoader(pass, device, LoaderStartCommand(pass.Options.StartLoader.load()),
                       kLoaderStartTimeoutMs);
}

bool StartNrfBootLoader(TPassContext& pass, TDevEntry& device)
{
    return StartLoader(pass, device, kNrfLoaderStartCommand, kNrfLoaderStartTimeoutMs);
}

}  // namespace ql
