#pragma once
// TReadVersion, the discovery pass: lists the trackers connected now (FTDI bridges named
// "Quillomar" and the maker library's devices, or in COM-port mode the one device behind
// the chosen port), compares them with the window's device list under its lock, marks
// vanished devices Gone (asking a running write session to stop), and identifies each
// new device. The new entries stay in FoundList until the window's merge takes them.
//
// The pass runs on a thread of its own and reaches the window only through the hand-over
// (log lines, firmware loads). It never waits for the UI thread while it holds the list's
// lock: lines of the comparison are delivered after the lock is left.

#include "devices/DeviceList.h"
#include "devices/PassContext.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace ql {

class TDeviceChannel;

inline const QByteArray kTrackerDescription = QByteArrayLiteral("Quillomar");  // exact FTDI description
inline constexpr int kFtdiListAttempts = 50;
inline constexpr uint32_t kFtdiListRetryMs = 100;   // after a list with an empty description
inline constexpr uint32_t kMakerListFirstCount = 5; // the count passed with the first call
inline constexpr uint32_t kComLoaderStartWaitMs = 3000;  // the COM device restarts into its bootloader
inline constexpr uint32_t kStopPollMs = 20;              // how often a wait looks at the stop request

class TReadVersion {
public:
    TReadVersion(TDeviceList& known, TDeviceChannel& channel, THandOver& handOver, TLogSink& uiLog,
                 const TLiveOptions& options, QString serialFilter, TFirmwareLoader loadFirmware);
    ~TReadVersion();  // waits for the thread
    TReadVersion(const TReadVersion&) = delete;
    TReadVersion& operator=(const TReadVersion&) = delete;

    // Runs Execute on a new thread; finished runs on that thread when Execute is done
    // (the window posts its merge to the UI thread from there).
    void Start(std::function<void()> finished);
    void Join();
    // Any thread: the pass ends its current stage early and identifies no further device.
    void RequestStop() { stop_.store(true); }
    bool StopRequested() const { return stop_.load(); }

    // The pass itself, on the calling thread.
    void Execute();
    void Search();
    // Through D2XX when its library is bound, else the bridges of the kernel's driver.
    void EnumerateFtdi();
    void EnumerateKernelFtdi();
    void EnumerateMakerUsb();
    void ProbeComPort();

    template <typename... Args>
    void PassLog(TLogKind kind, int device, int message, const Args&... args)
    {
        pass_.PassLog(kind, device, message, args...);
    }

    DeviceEntryList FoundList;
    int ErrorCode = 0;
    int LastResponseCode = 0;  // never changed by a pass: message 5 reports 0
    int ElapsedMs = 0;

private:
    struct TPendingLine {
        TLogKind Kind;
        int Device;
        QString Text;
    };
    void Compare();
    void Identify();
    // Message 36 for an exception of a stage.
    void LogException(const QString& what);
    void LogException(std::vector<TPendingLine>& pending, const QString& what);
    bool WaitUnlessStopped(uint32_t ms) const;

    TDeviceList& known_;
    TPassContext pass_;
    QString serialFilter_;
    uint32_t startTick_ = 0;
    std::atomic<bool> stop_{false};
    // The probe found the COM port held by a write session: the pass could not look
    // behind the port, so it judges no known device vanished.
    bool comPortHeld_ = false;
    std::thread thread_;
};

}  // namespace ql
