#include "sim/TrackerDevice.h"

#include "links/LoaderRecord.h"
#include "sim/EraseWriteRequests.h"
#include "sim/TrackerCommands.h"

#include <QtEndian>

#include <algorithm>

namespace ql::sim {
namespace {

QByteArray Reply(uint16_t status, const TLoaderHeader& request, const QByteArray& payload = {})
{
    return BuildLoaderRecord(status, request.Argument16, request.Argument32,
                             reinterpret_cast<const uint8_t*>(payload.constData()),
                             size_t(payload.size()));
}

// A version text as the bootloader sends it: zero-terminated.
QByteArray TextPayload(const QByteArray& text)
{
    return text + '\0';
}

uint16_t StatusOr(int fault, uint16_t normal)
{
    return fault >= 0 ? uint16_t(fault) : normal;
}

}  // namespace

TTrackerDevice::TTrackerDevice(const TSimTracker& config)
    : Config(config)
{
    Layout = &FlashLayoutOf(config.ProcessorId);
    FlashStart = Layout->SectorStart(Layout->BootloaderSectors);
    Flash = QByteArray(qsizetype(Layout->End() - FlashStart), char(0xFF));
}

TDeviceReply TTrackerDevice::Handle(const TAssembledRequest& request)
{
    if (Config.Faults.Silent)
        return {};
    TDeviceReply reply;
    if (request.Kind == TRequestKind::Text)
        reply = HandleText(request.Bytes);
    else if (Config.Mode != TSimMode::Bootloader)
        return {};  // the application firmware does not speak records
    else if (request.Kind == TRequestKind::Oversized) {
        TLoaderHeader header;
        ReadLoaderHeader(reinterpret_cast<const uint8_t*>(request.Bytes.constData()),
                         size_t(request.Bytes.size()), header);
        reply = {true, Reply(kReplyRefused, header)};
    } else
        reply = HandleRecord(request.Bytes);
    if (reply.Answer && Config.Faults.ShortReplies > 0 && !reply.Bytes.isEmpty()) {
        --Config.Faults.ShortReplies;
        reply.Bytes.chop(1);
    }
    return reply;
}

TDeviceReply TTrackerDevice::HandleText(const QByteArray& text)
{
    if (Config.Mode != TSimMode::Application)
        return {};  // the bootloader does not speak text
    if (text == kReadVersionText)
        return {true, Config.FirmwareVersion};
    // START_BOOT_LOADER=%d and START_NRF_BOOT_LOADER
    return {true, kStartedReply, TAfterReply::RebootToBootloader};
}

uint16_t TTrackerDevice::EchoedSector(uint16_t sector) const
{
    return Config.Faults.WrongSectorEcho ? uint16_t(sector + 1) : sector;
}

TDeviceReply TTrackerDevice::HandleRecord(const QByteArray& record)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(record.constData());
    TLoaderHeader header;
    ReadLoaderHeader(bytes, size_t(record.size()), header);
    if (!LoaderChecksumValid(bytes, size_t(record.size())))
        return {true, Reply(kReplyRefused, header)};
    const TSimFaults& faults = Config.Faults;
    switch (header.Command) {
    case kRequestFirmwareVersion:
        return {true, Reply(kReplyAccepted, header, TextPayload(Config.FirmwareVersion))};
    case kRequestBootloaderVersion:
        return {true, Reply(kReplyAccepted, header, TextPayload(Config.BootloaderVersion))};
    case kRequestProcessorId: {
        QByteArray id(4, '\0');
        qToLittleEndian(Config.ProcessorId, id.data());
        return {true, Reply(kReplyAccepted, header, id)};
    }
    case kRequestFirmwareCheck:
        return {true, Reply(StatusOr(faults.FirmwareCompatibilityStatus, kReplyAccepted), header)};
    case kRequestSdCheck:
        return {true, Reply(StatusOr(faults.SdCompatibilityStatus, kReplyAccepted), header)};
    case kRequestFinish:
    case kRequestAbort:
        StartSession();
        return {true, Reply(kReplyAccepted, header)};
    case kRequestStartApplication:
        StartSession();
        return {true, Reply(kReplyAccepted, header), TAfterReply::RebootToApplication};
    case kRequestErase:
    case kRequestEraseOld:
        if (!TakesEraseWrite(Config.ProcessorId, BootloaderVersionNumber(Config.BootloaderVersion),
                             header.Command))
            break;
        return {true, Erase(header)};
    case kRequestWrite:
    case kRequestWriteOld: {
        if (!TakesEraseWrite(Config.ProcessorId, BootloaderVersionNumber(Config.BootloaderVersion),
                             header.Command))
            break;
        if (faults.VanishAfterWritePieces >= 0 && PiecesInSession >= faults.VanishAfterWritePieces)
            return {false, {}, TAfterReply::Vanish};
        return {true, Write(header, record)};
    }
    default:
        break;
    }
    return {true, Reply(kReplyRefused, header)};
}

QByteArray TTrackerDevice::Erase(const TLoaderHeader& request)
{
    const int sector = request.Argument16;
    uint16_t status = kReplyAccepted;
    if (sector < Layout->BootloaderSectors)
        status = kReplyProtected;
    else if (sector >= Layout->SectorCount() || request.Argument32 != Layout->SectorStart(sector))
        status = kReplyRefused;
    // A chosen status stands for the outcome: the sector is erased only when accepted.
    status = StatusOr(Config.Faults.EraseStatus, status);
    if (status == kReplyAccepted) {
        const qsizetype at = qsizetype(Layout->SectorStart(sector) - FlashStart);
        std::fill_n(Flash.data() + at, Layout->SectorBytes(sector), char(0xFF));
    }
    return BuildLoaderRecord(status, EchoedSector(request.Argument16), request.Argument32);
}

QByteArray TTrackerDevice::Write(const TLoaderHeader& request, const QByteArray& record)
{
    const int piece = PiecesInSession++;
    const int sector = request.Argument16;
    const uint32_t length = uint32_t(record.size() - kLoaderHeaderSize);
    uint16_t status = kReplyAccepted;
    if (sector < Layout->BootloaderSectors)
        status = kReplyProtected;
    else if (sector >= Layout->SectorCount() || request.Argument32 < Layout->SectorStart(sector)
             || uint64_t(request.Argument32) + length
                    > uint64_t(Layout->SectorStart(sector)) + Layout->SectorBytes(sector))
        status = kReplyRefused;
    const TSimFaults& faults = Config.Faults;
    if (faults.WriteStatus >= 0 && (faults.WriteStatusPiece < 0 || faults.WriteStatusPiece == piece))
        status = uint16_t(faults.WriteStatus);
    if (status == kReplyAccepted) {
        // Flash bits only go from 1 to 0: a piece written over unerased bytes shows it.
        char* at = Flash.data() + (request.Argument32 - FlashStart);
        const char* payload = record.constData() + kLoaderHeaderSize;
        for (uint32_t i = 0; i < length; ++i)
            at[i] = char(at[i] & payload[i]);
    }
    return BuildLoaderRecord(status, EchoedSector(request.Argument16), request.Argument32);
}

}  // namespace ql::sim
