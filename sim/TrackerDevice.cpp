#include "sim/TrackerDevice.h"

#include "firmware/FirmwareVersion.h"
#include "links/LoaderRecord.h"

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
    bool listed = false;
    Map = &SelectMapForProcessor(config.ProcessorId, false, listed);
    FlashStart = Map->SectorStart(FirstWritableSector());
    Flash = QByteArray(qsizetype(Map->End() - FlashStart), char(0xFF));
}

int TTrackerDevice::FirstWritableSector() const
{
    // A map whose first sector follows the image's start offset begins wherever the
    // image says, so the whole map is kept.
    return Map->FirstFromStartOffset ? 0 : Map->FirstSector;
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
        reply = {true, Reply(kStatusRefused, header)};
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

bool TTrackerDevice::TakesCommand(uint16_t command) const
{
    // Processors of the newer pair take only 6/7; the others always take 1/2, and 6/7
    // too from bootloader 1.04 on.
    const TCommandPair own = SelectCommandPair(Config.ProcessorId, {}, 0);
    if (own.Erase == kCmdErase)
        return command == kCmdErase || command == kCmdWrite;
    TFirmwareVersion bootloader;
    ParseVersion(bootloader, Config.BootloaderVersion);
    if (command == kCmdErase || command == kCmdWrite)
        return bootloader.VersionNumber >= kNewPairMinBootloader;
    return command == kCmdEraseOld || command == kCmdWriteOld;
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
        return {true, Reply(kStatusRefused, header)};
    const TSimFaults& faults = Config.Faults;
    switch (header.Command) {
    case kCmdFirmwareVersion:
        return {true, Reply(kStatusAccepted, header, TextPayload(Config.FirmwareVersion))};
    case kCmdBootloaderVersion:
        return {true, Reply(kStatusAccepted, header, TextPayload(Config.BootloaderVersion))};
    case kCmdProcessorId: {
        QByteArray id(4, '\0');
        qToLittleEndian(Config.ProcessorId, id.data());
        return {true, Reply(kStatusAccepted, header, id)};
    }
    case kCmdFirmwareCompatibility:
        return {true, Reply(StatusOr(faults.FirmwareCompatibilityStatus, kStatusAccepted), header)};
    case kCmdSdCompatibility:
        return {true, Reply(StatusOr(faults.SdCompatibilityStatus, kStatusAccepted), header)};
    case kCmdFinish:
    case kCmdAbort:
        StartSession();
        return {true, Reply(kStatusAccepted, header)};
    case kCmdStartApplication:
        StartSession();
        return {true, Reply(kStatusAccepted, header), TAfterReply::RebootToApplication};
    case kCmdErase:
    case kCmdEraseOld:
        if (!TakesCommand(header.Command))
            break;
        return {true, Erase(header)};
    case kCmdWrite:
    case kCmdWriteOld: {
        if (!TakesCommand(header.Command))
            break;
        if (faults.VanishAfterWritePieces >= 0 && PiecesInSession >= faults.VanishAfterWritePieces)
            return {false, {}, TAfterReply::Vanish};
        return {true, Write(header, record)};
    }
    default:
        break;
    }
    return {true, Reply(kStatusRefused, header)};
}

QByteArray TTrackerDevice::Erase(const TLoaderHeader& request)
{
    const int sector = request.Argument16;
    uint16_t status = kStatusAccepted;
    if (sector < FirstWritableSector())
        status = kStatusProtected;  // the bootloader's own sectors
    else if (sector > Map->LastSector || request.Argument32 != Map->SectorStart(sector))
        status = kStatusRefused;
    if (status == kStatusAccepted) {
        const qsizetype at = qsizetype(Map->SectorStart(sector) - FlashStart);
        std::fill_n(Flash.data() + at, Map->SectorSize(sector), char(0xFF));
    }
    status = StatusOr(Config.Faults.EraseStatus, status);
    return BuildLoaderRecord(status, EchoedSector(request.Argument16), request.Argument32);
}

QByteArray TTrackerDevice::Write(const TLoaderHeader& request, const QByteArray& record)
{
    const int piece = PiecesInSession++;
    const int sector = request.Argument16;
    const uint32_t length = uint32_t(record.size() - kLoaderHeaderSize);
    uint16_t status = kStatusAccepted;
    if (sector < FirstWritableSector())
        status = kStatusProtected;
    else if (sector > Map->LastSector || request.Argument32 < Map->SectorStart(sector)
             || uint64_t(request.Argument32) + length
                    > uint64_t(Map->SectorStart(sector)) + Map->SectorSize(sector))
        status = kStatusRefused;
    if (status == kStatusAccepted) {
        // Flash bits only go from 1 to 0: a piece written over unerased bytes shows it.
        char* at = Flash.data() + (request.Argument32 - FlashStart);
        const char* payload = record.constData() + kLoaderHeaderSize;
        for (uint32_t i = 0; i < length; ++i)
            at[i] = char(at[i] & payload[i]);
    }
    const TSimFaults& faults = Config.Faults;
    if (faults.WriteStatus >= 0 && (faults.WriteStatusPiece < 0 || faults.WriteStatusPiece == piece))
        status = uint16_t(faults.WriteStatus);
    return BuildLoaderRecord(status, EchoedSector(request.Argument16), request.Argument32);
}

}  // namespace ql::sim
