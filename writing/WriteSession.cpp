#include "writing/WriteSession.h"

#include "core/LiveOptions.h"
#include "devices/ImageFields.h"
#include "links/ComPortLog.h"
#include "links/DeviceChannel.h"
#include "links/LoaderRecord.h"
#include "links/LoaderReplies.h"
#include "platform/Tick.h"
#include "writing/Compatibility.h"

#include <QtEndian>

#include <array>

namespace ql {
namespace {

using TReplyBuffer = std::array<uint8_t, kMaxLoaderReply>;

const uint8_t* U8(const QByteArray& bytes) { return reinterpret_cast<const uint8_t*>(bytes.constData()); }

}  // namespace

TWriteSession::TWriteSession(TDeviceChannel& channel, THandOver& handOver, TLogSink& uiLog,
                             const TLiveOptions& options, TDevEntry& device)
    : Device(&device), channel_(channel), handOver_(handOver), log_(handOver, uiLog),
      options_(options)
{
    ResetVersion(ImageVersion);
}

TWriteSession::~TWriteSession() { ReleaseComPort(); }

void TWriteSession::HoldComPort()
{
    if (!holdsComPort_ && options_.UseComPort.load())
        holdsComPort_ = channel_.HoldComPort(*Device);
}

void TWriteSession::ReleaseComPort()
{
    if (holdsComPort_)
        channel_.ReleaseComPort(*Device);
    holdsComPort_ = false;
}

int TWriteSession::Elapsed() const { return int(TickCount() - StartTick); }

void TWriteSession::ShowProgress()
{
    const int percent = PartsTotal == 0 ? 0 : int(uint64_t(PartsDone) * 100 / PartsTotal);
    // A step that leaves the bar where it is costs the UI thread nothing: not handed over.
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    handOver_.RunOnUiThread([&] {
        if (Progress)
            Progress(percent);
    });
}

TWriteOutcome TWriteSession::RunSession()
{
    ClearFirmwareList(Blocks);
    outcome_ = TWriteOutcome{};
    shownPercent_ = -1;
    StartTick = TickCount();
    FirstSector = -1;
    LastSector = -1;
    SectorMap = nullptr;
    FlashImage = TFlashPlan{};
    HoldComPort();

    ReloadFirmware();
    if (outcome_.ErrorCode == kWriteOk) {
        PieceSize = Device->NrfFamily ? kNrfPieceSize : kPieceSize;
        pair_ = SelectCommandPair(Device->ProcessorId, ImageVersion.Tag,
                                  Device->BootloaderVersion.VersionNumber);
        SelectSectorMap();
        TComPortFault fault;
        if (!channel_.OpenLink(*Device, &fault)) {
            SessionLog(lkError, msg::CannotOpenDevice);
            LogComPortFault(log_, Device->SerialNumber, fault);
            if (outcome_.ErrorCode == kWriteOk)
                outcome_.ErrorCode = kErrLinkOpen;
        } else {
            if (!CheckCompatibility())
                outcome_.ErrorCode = kErrNotCompatible;
            if (outcome_.ErrorCode == kWriteOk)
                ProgramSectors();
            // A port that hung up or was unplugged mid-session says so once, after the
            // failed step's own lines.
            LogComPortFault(log_, Device->SerialNumber, channel_.ComLineFault(*Device));
            channel_.CloseLink(*Device);
        }
    }
    ClearFirmwareList(Blocks);
    ReleaseImage();
    ReleaseComPort();
    outcome_.ElapsedMs = Elapsed();
    return outcome_;
}

void TWriteSession::ReloadFirmware()
{
    // Starts as a failed load: a hand-over dropped by the closing window leaves it so, and
    // the session ends without opening the link.
    bool loaded = false;
    handOver_.RunOnUiThread([&] {
        try {
            loaded = LoadFirmware && LoadFirmware(Blocks, ImageVersion);
        } catch (const TFirmwareBlockTooBig& tooBig) {
            // An image the session cannot hold is a failed load, not the end of the thread.
            log_.Text(lkError, Device->SerialNumber, tooBig.Text());
        }
        TakeImageFields(*Device, loaded ? &ImageVersion : nullptr);
    });
    if (!loaded)
        outcome_.ErrorCode = kErrImageLoad;
}

void TWriteSession::ReleaseImage()
{
    FlashImage = TFlashPlan{};
}

void TWriteSession::SelectSectorMap()
{
    const int code = PlanFlashImage(Device->ProcessorId, Device->NrfFamily, Device->StartOffset,
                                    Blocks, PieceSize, FlashImage);
    if (!FlashImage.ProcessorListed)
        SessionLog(lkInfo, msg::UnknownProcessor, Device->ProcessorId);
    SectorMap = FlashImage.Map;
    FirstSector = FlashImage.FirstSector;
    LastSector = FlashImage.LastSector;
    PartsTotal = code == kWriteOk ? FlashImage.PartsTotal : 0;
    if (code != kWriteOk) {
        outcome_.ErrorCode = code;
        // A failed plan keeps no mirror: nothing will be written from it.
        FlashImage.Image = {};
    }
}

bool TWriteSession::CheckCompatibility()
{
    if (DontCheckCompatibility)
        return true;
    const TCompatibilityPlan plan =
        PlanCompatibility(Device->FirmwareVersion, Device->BootloaderVersion, ImageVersion);
    if (!plan.Allowed)
        return false;
    if (plan.AskFirmware && !RequestFirmwareCompatibility())
        return false;
    if (plan.AskSd)
        return RequestSdCompatibility();
    return true;
}

bool TWriteSession::SendRecord(const QByteArray& record)
{
    return channel_.SendData(*Device, U8(record), int(record.size()));
}

bool TWriteSession::CompatibilityExchange(const QByteArray& request, uint32_t timeoutMs,
                                          uint16_t refusedStatus, int refusedMessage)
{
    if (request.size() > kMaxLoaderReply || !SendRecord(request))
        return false;
    TReplyBuffer reply{};
    const int got = channel_.ReadLink(*Device, reply.data(), timeoutMs, int(reply.size()));
    switch (JudgeCompatibilityReply(reply.data(), got, refusedStatus)) {
    case TCompatibilityVerdict::NoReply:
        SessionLog(lkError, msg::NoCompatibilityReply);
        return false;
    case TCompatibilityVerdict::Accepted:
        return true;
    case TCompatibilityVerdict::Refused:
        SessionLog(lkError, refusedMessage);
        return false;
    case TCompatibilityVerdict::Malformed:
    case TCompatibilityVerdict::Other:
        break;
    }
    return false;
}

bool TWriteSession::RequestFirmwareCompatibility()
{
    // The device compares the header's bytes: one byte per character, whatever the locale.
    const QByteArray text = VersionText(ImageVersion).toLatin1();
    const QByteArray request = BuildLoaderRecord(kCmdFirmwareCompatibility, kDefaultArgument, 0,
                                                 U8(text), size_t(text.size()));
    return CompatibilityExchange(request, kFirmwareCompatibilityTimeoutMs, kStatusTooOld,
                                 msg::FirmwareTooOld);
}

bool TWriteSession::RequestSdCompatibility()
{
    uint8_t requirement[4];
    qToLittleEndian(ImageVersion.SdRequirement, requirement);
    const QByteArray request = BuildLoaderRecord(kCmdSdCompatibility, kDefaultArgument, 0,
                                                 requirement, sizeof requirement);
    return CompatibilityExchange(request,
                                 Device->NrfFamily ? kNrfSdCompatibilityTimeoutMs
                                                   : kSdCompatibilityTimeoutMs,
                                 kStatusSdRefused, msg::SdNotCompatible);
}

void TWriteSession::ProgramSectors()
{
    SessionLog(lkInfo, msg::UpdatingSectors, FirstSector, LastSector);
    PartsDone = 0;
    for (int s = FirstSector; s <= LastSector; ++s) {
        if (StopRequested()) {
            outcome_.ErrorCode = kErrStopped;
            break;
        }
        SessionLog(lkInfo, msg::UpdatingSector, Elapsed(), s);
        if (SectorHasData(FlashImage.SectorBytes(s), SectorMap->SectorSize(s))) {
            if (!EraseSector(s)) {
                outcome_.ErrorCode = kErrErase;
                break;
            }
            if (!WriteSector(s)) {
                outcome_.ErrorCode = kErrWrite;
                break;
            }
        } else {
            SessionLog(lkInfo, msg::SectorEmpty, Elapsed(), s);
            PartsDone += SectorMap->SectorSize(s) / PieceSize;
            ShowProgress();
        }
    }
    if (outcome_.ErrorCode == kWriteOk)
        FinishWrite();
    else
        AbortWrite();
}

bool TWriteSession::SectorExchange(const QByteArray& request, uint32_t timeoutMs,
                                   uint16_t sector, std::optional<uint32_t> address,
                                   int protectedMessage, TLoaderHeader& reply)
{
    for (int attempt = 0; attempt < kSectorAttempts; ++attempt) {
        if (!SendRecord(request))
            continue;
        std::array<uint8_t, kSectorReplySize> bytes{};
        const int got = channel_.ReadLink(*Device, bytes.data(), timeoutMs, kSectorReplySize);
        if (got != kSectorReplySize)
            continue;
        // A 14-byte reply ends the attempts, whatever it holds.
        ReadLoaderHeader(bytes.data(), bytes.size(), reply);
        const TSectorVerdict verdict = JudgeSectorReply(reply, sector, address);
        if (verdict != TSectorVerdict::Unmatched)
            outcome_.LastResponseCode = reply.Command;
        if (verdict == TSectorVerdict::Protected)
            SessionLog(lkError, protectedMessage, Elapsed());
        return verdict == TSectorVerdict::Accepted || verdict == TSectorVerdict::Protected;
    }
    return false;
}

bool TWriteSession::EraseSector(int sector)
{
    SessionLog(lkInfo, msg::ErasingSector, Elapsed(), sector);
    const uint32_t start = SectorMap->SectorStart(sector);
    const QByteArray request = BuildLoaderRecord(pair_.Erase, uint16_t(sector), start);
    TLoaderHeader reply;
    const bool erased = SectorExchange(request, kEraseReplyTimeoutMs, uint16_t(sector),
                                       std::nullopt, msg::EraseProtected, reply);
    if (erased)
        SessionLog(lkInfo, msg::EraseOk, Elapsed(), sector);
    else
        SessionLog(lkError, msg::EraseFailed, Elapsed(), sector);
    return erased;
}

bool TWriteSession::WriteSector(int sector)
{
    SessionLog(lkInfo, msg::RecordingSector, Elapsed(), sector);
    const uint32_t start = SectorMap->SectorStart(sector);
    const int parts = int(SectorMap->SectorSize(sector) / PieceSize);
    TLoaderHeader last;  // the last 14-byte reply of this sector, zeros when none came
    bool written = true;
    for (int p = 0; p < parts && written; ++p) {
        SessionLog(lkInfo, msg::RecordingPart, Elapsed(), p, parts);
        const uint32_t address = start + uint32_t(p) * PieceSize;
        const QByteArray request = BuildLoaderRecord(pair_.Write, uint16_t(sector), address,
                                                     FlashImage.At(address), PieceSize);
        written = SectorExchange(request, kWriteReplyTimeoutMs, uint16_t(sector), address,
                                 msg::WriteProtected, last);
        if (written) {
            ++PartsDone;
            ShowProgress();
        }
    }
    if (written) {
        SessionLog(lkInfo, msg::SectorRecorded, Elapsed(), sector);
        return true;
    }
    SessionLog(lkError, msg::RecordingError, Elapsed(), sector, last.TotalLength,
               last.HeaderLength, last.Command, last.Argument16, last.Argument32);
    return false;
}

void TWriteSession::SendClosing(uint16_t command)
{
    if (!SendRecord(BuildSimpleRequest(command)))
        return;
    TReplyBuffer reply{};
    channel_.ReadLink(*Device, reply.data(), kClosingReplyTimeoutMs, int(reply.size()));
}

void TWriteSession::FinishWrite()
{
    SendClosing(kCmdFinish);
    // Read now, not at the start: a tick during the session still counts.
    if (options_.StartApp.load()) {
        SessionLog(lkInfo, msg::StartingApplication);
        SendClosing(kCmdStartApplication);
    }
    outcome_.Completed = true;
}

void TWriteSession::AbortWrite() { SendClosing(kCmdAbort); }

}  // namespace ql
