#pragma once
// The device dialogue of one write session: firmware reload, sector map and flash
// mirror, compatibility check, erase and write of every non-empty sector in pieces, and
// the closing request. Talks to the device only through the channel and to the window
// only through the hand-over (log lines, progress, the firmware load).
//
// No thread of its own: the window's write thread calls RunSession, and any thread may
// raise the stop request, which is looked at before each sector. Nothing here has thread
// affinity, so the session may run on any thread.

#include "devices/DevEntry.h"
#include "firmware/FirmwareLoader.h"
#include "core/HandedLog.h"
#include "core/UiCall.h"
#include "writing/FlashImage.h"
#include "writing/SectorMaps.h"
#include "writing/WriteOutcome.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace ql {

class TDeviceChannel;
struct TLiveOptions;
struct TLoaderHeader;

// Piece sizes and reply time-outs of the programming dialogue.
inline constexpr uint32_t kPieceSize = 512;
inline constexpr uint32_t kNrfPieceSize = 128;
inline constexpr uint32_t kFirmwareCompatibilityTimeoutMs = 2500;
inline constexpr uint32_t kSdCompatibilityTimeoutMs = 500;
inline constexpr uint32_t kNrfSdCompatibilityTimeoutMs = 3000;
inline constexpr uint32_t kEraseReplyTimeoutMs = 3000;
inline constexpr uint32_t kWriteReplyTimeoutMs = 6000;
inline constexpr uint32_t kClosingReplyTimeoutMs = 100;  // finish, abort, start: reply ignored
inline constexpr int kSectorAttempts = 3;                // per erase and per piece
inline constexpr int kSectorReplySize = 14;              // erase and write replies: a header

class TWriteSession {
public:
    // uiLog and Progress run on the UI thread through handOver. The device entry must
    // outlive the session.
    TWriteSession(TDeviceChannel& channel, THandOver& handOver, TLogSink& uiLog,
                  const TLiveOptions& options, TDevEntry& device);
    ~TWriteSession();
    TWriteSession(const TWriteSession&) = delete;
    TWriteSession& operator=(const TWriteSession&) = delete;

    // Supplied by the window before RunSession.
    TFirmwareLoader LoadFirmware;                  // the chosen source, run on the UI thread
    std::function<void(int percent)> Progress;     // the panel's progress bar, UI thread
    bool DontCheckCompatibility = false;           // the "dontcheckcpbl" option

    // The whole session, the body of the write thread: reload, map, open, check, program,
    // close, release.
    TWriteOutcome RunSession();

    // In COM-port mode the session holds the port from here to the end of RunSession, so
    // no discovery pass puts its requests on the session's line or closes the port under
    // it. The window calls it as it starts the session (before any pass can look at the
    // port again); RunSession takes the hold itself when no one did.
    void HoldComPort();

    // Any thread. The session stops before its next sector and ends with kErrStopped.
    void RequestStop() { stop_.store(true); }
    bool StopRequested() const { return stop_.load(); }

    // The steps before the device is written, in the order RunSession calls them; tests
    // call them one by one.
    void ReloadFirmware();  // runs the loader on the UI thread
    void SelectSectorMap();
    bool CheckCompatibility();
    bool RequestFirmwareCompatibility();
    bool RequestSdCompatibility();

    // A catalogue message for the session's device, logged on the UI thread.
    template <typename... Args>
    void SessionLog(TLogKind kind, int message, const Args&... args)
    {
        log_.Message(kind, Device->SerialNumber, message, args...);
    }
    void ShowProgress();
    // Milliseconds since StartTick: the "(% 6d)" of the session's lines.
    int Elapsed() const;

    TDevEntry* Device;
    FirmwareList Blocks;
    TFirmwareVersion ImageVersion;
    TFlashPlan FlashImage;                 // the mirror from the first sector's start
    uint32_t StartTick = 0;
    int FirstSector = -1;
    int LastSector = -1;
    const TSectorMap* SectorMap = nullptr;
    uint32_t PartsTotal = 0;
    uint32_t PartsDone = 0;
    uint32_t PieceSize = kPieceSize;

private:
    void ProgramSectors();
    bool EraseSector(int sector);
    bool WriteSector(int sector);
    void FinishWrite();
    void AbortWrite();
    bool SendRecord(const QByteArray& record);
    // One erase or write-piece request, sent up to three times until a 14-byte reply
    // comes; reply holds that reply and is left alone when none came. A reply that names
    // the sector (and, for a piece, its address) leaves its status in LastResponseCode; a
    // protected sector counts as done after its red line. True when done.
    bool SectorExchange(const QByteArray& request, uint32_t timeoutMs, uint16_t sector,
                        std::optional<uint32_t> address, int protectedMessage,
                        TLoaderHeader& reply);
    bool CompatibilityExchange(const QByteArray& request, uint32_t timeoutMs,
                               uint16_t refusedStatus, int refusedMessage);
    void SendClosing(uint16_t command);
    void ReleaseImage();
    void ReleaseComPort();

    TDeviceChannel& channel_;
    THandOver& handOver_;
    THandedLog log_;
    const TLiveOptions& options_;
    std::atomic<bool> stop_{false};
    TWriteOutcome outcome_;
    TCommandPair pair_{};  // erase and write commands, chosen once the image is loaded
    bool holdsComPort_ = false;
    int shownPercent_ = -1;  // what the panel's bar shows; -1 before the first step
};

}  // namespace ql
