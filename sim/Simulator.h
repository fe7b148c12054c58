#pragma once
// qltracker-sim's core: simulated trackers behind an FTDI bridge, on the maker's USB
// interface or on a pseudo-terminal, served by one thread. The stand-in driver libraries
// reach it through the local socket SocketPath() (their $QLSIM_SOCKET); COM trackers are
// reached through their pseudo-terminal's slave path. Every member may be called from any
// thread.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace ql::sim {

enum class TSimLink { Ftdi, MakerUsb, ComPort };
enum class TSimMode { Application, Bootloader };

// Named failure modes, per tracker.
struct TSimFaults {
    bool Silent = false;                 // answers nothing at all
    int ReplyDelayMs = 0;                // every reply goes out this late
    int ShortReplies = 0;                // the next N replies are cut one byte short
    int CorruptReplies = 0;              // the next N replies go out with their middle byte
                                         //  inverted (on a COM port: inside the frame)
    int EraseStatus = -1;                // status of erase replies; -1 = the normal 0x80
    int WriteStatus = -1;                // status of write-piece replies
    int WriteStatusPiece = -1;           // -1: WriteStatus for every piece; else only for the
                                         //  piece with this index (counted from 0 in the session)
    int FirmwareCompatibilityStatus = -1;  // request 14
    int SdCompatibilityStatus = -1;        // request 15
    bool WrongSectorEcho = false;        // erase/write replies name another sector
    bool StrayByteBeforeFrame = false;   // COM: one stray byte before each reply frame
    int VanishAfterWritePieces = -1;     // drops off the bus after N write pieces
    int PaceBaud = 0;                    // COM: the wire is paced at this baud rate; 0 = off
};

inline constexpr int kDefaultPaceBaud = 115200;

struct TSimTracker {
    uint32_t Serial = 0;
    TSimLink Link = TSimLink::Ftdi;
    QByteArray FtdiDescription = "Quillomar";
    uint16_t UsbTag = 1;                 // maker USB: the 16-bit device number
    TSimMode Mode = TSimMode::Bootloader;
    QByteArray FirmwareVersion = "QRGX-13.38";
    QByteArray BootloaderVersion = "STL4-1.05TR";
    uint32_t ProcessorId = 0x00400419;
    int RebootDelayMs = 300;
    // FTDI: the bridge keeps its 16 ms latency timer whatever the loader sets (the stand-in
    // FT_SetLatencyTimer answers FT_NOT_SUPPORTED, a kernel bridge ignores its attribute),
    // as with a library that cannot set it: measurements compare a write without tuning.
    bool FixedLatencyTimer = false;
    TSimFaults Faults;
};

struct TSimRequest {                     // one trace entry
    qint64 TimeMs = 0;                   // since the simulator started
    bool Text = false;                   // a text command of the application firmware
    bool RawFrame = false;               // a raw (untunnelled) COM request frame
    uint16_t Command = 0;                // record command, or raw frame command
    uint16_t Argument16 = 0;
    uint32_t Argument32 = 0;
    uint32_t Length = 0;                 // bytes of the whole request (record or text)
    QByteArray Bytes;                    // the request itself
};

class TSimService;

class TSimulator {
public:
    TSimulator();                        // private socket path in a fresh temporary folder
    ~TSimulator();                       // stops, removes ptys and sockets
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    bool Start(QString* error = nullptr);
    void Stop();
    QString SocketPath() const;          // the value of QLSIM_SOCKET for the stand-in libraries
    bool AddTracker(const TSimTracker& tracker);  // false: serial 0 or taken, or no pty
    // A tracker behind an FTDI bridge of the kernel's driver (Link Ftdi): raw records on
    // the line lineFd (a copy is taken; for a pseudo-terminal the master, whose slave is
    // the bridge's serial port), replies held back by the bridge's latency timer, read
    // from latencyTimerPath (16 ms without it). Not listed by the stand-in libraries.
    // A tracker behind the stand-in D2XX library has its timer set per open handle
    // (FT_SetLatencyTimer), 16 ms at every open.
    bool AddKernelFtdiTracker(const TSimTracker& tracker, int lineFd, const QString& latencyTimerPath);
    bool RemoveTracker(uint32_t serial);
    bool SetFaults(uint32_t serial, const TSimFaults& faults);
    QString ComPortPath(uint32_t serial) const;   // pty slave path; empty for USB trackers
    std::vector<TSimRequest> Trace(uint32_t serial) const;
    void ClearTrace(uint32_t serial);
    QByteArray Flash(uint32_t serial) const;      // first writable sector's start .. map end
    uint32_t FlashStart(uint32_t serial) const;   // flash address of Flash()[0]
    TSimMode Mode(uint32_t serial) const;
    bool Present(uint32_t serial) const;          // on the bus now (false while rebooting)
    void SetDeviceEventsPath(const QString& path); // default: $QLFW_DEVICE_EVENTS

    // Beyond the interface the loader's tests rely on.
    std::vector<uint32_t> Serials() const;
    bool Tracker(uint32_t serial, TSimTracker& out) const;  // its settings and faults now
    // Fills the tracker's flash with a byte (0xFF: erased) so a test can start from a state.
    bool FillFlash(uint32_t serial, uint8_t value);
    // COM: the bytes that crossed the tracker's line each way since it was added (frames,
    // stray bytes and all), so a measurement can set a run against the wire's floor.
    bool WireBytes(uint32_t serial, uint64_t& toTracker, uint64_t& fromTracker) const;
    // COM, paced: the microseconds the line stood idle waiting for the loader, and those
    // the simulator put its replies on the line late.
    bool LineTimes(uint32_t serial, int64_t& waitingUs, int64_t& lateUs);

private:
    std::unique_ptr<TSimService> Service;
};

}  // namespace ql::sim
