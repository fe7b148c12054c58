#pragma once
// The simulator's one service thread: it serves the stand-in libraries' connections
// (sim/SocketServer.h) and the pseudo-terminals, hands each whole request to its tracker,
// queues the replies until they are due (sim/ReplySchedule.h), puts them on the COM lines
// at the wire's pace (sim/ComLinePacing.h) and takes trackers off the bus and back for
// their reboots. One mutex guards every tracker and connection; the public calls take it
// from any thread.

#include "sim/ComLine.h"
#include "sim/DeviceEvents.h"
#include "sim/ReplySchedule.h"
#include "sim/Simulator.h"
#include "sim/SocketServer.h"
#include "sim/TrackerDevice.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ql::sim {

class TSimService : private TSocketServer::THandler {
public:
    TSimService();
    ~TSimService();

    bool Start(QString* error);
    void Stop();
    QString SocketPath() const { return ListenPath; }

    bool AddTracker(const TSimTracker& tracker);
    bool AddKernelFtdiTracker(const TSimTracker& tracker, int lineFd, const QString& latencyTimerPath);
    bool RemoveTracker(uint32_t serial);
    bool SetFaults(uint32_t serial, const TSimFaults& faults);
    QString ComPortPath(uint32_t serial) const;
    std::vector<TSimRequest> Trace(uint32_t serial) const;
    void ClearTrace(uint32_t serial);
    QByteArray Flash(uint32_t serial) const;
    uint32_t FlashStart(uint32_t serial) const;
    TSimMode Mode(uint32_t serial) const;
    bool Present(uint32_t serial) const;
    void SetDeviceEventsPath(const QString& path);
    std::vector<uint32_t> Serials() const;
    bool Tracker(uint32_t serial, TSimTracker& out) const;
    bool FillFlash(uint32_t serial, uint8_t value);
    bool WireBytes(uint32_t serial, uint64_t& toTracker, uint64_t& fromTracker) const;
    bool LineTimes(uint32_t serial, int64_t& waitingUs, int64_t& lateUs);

private:
    struct TSlot;

    // The stand-in libraries' requests (TSocketServer::THandler).
    std::vector<wire::TListEntry> ListTrackers(uint8_t link) override;
    uint64_t OpenTracker(uint8_t link, uint16_t tag, const QByteArray& serialText) override;
    bool FixedLatencyTimer(uint64_t slotId) override;
    void Request(uint64_t connectionId, uint64_t slotId, const TAssembledRequest& request) override;
    void ConnectionClosed(uint64_t connectionId) override;

    void Run();
    int64_t NextTimeoutUs(int64_t nowUs) const;
    bool Add(const TSimTracker& tracker, int lineFd, const QString& latencyTimerPath);
    void ReadLine(TSlot& slot);
    void ReadKernelLine(TSlot& slot);
    void HandleFrame(TSlot& slot, const TComFrame& frame);
    void Process(TSlot& slot, const TAssembledRequest& request, uint64_t connectionId);
    void Schedule(TSlot& slot, uint64_t connectionId, QByteArray bytes, TAfterReply after);
    void RunDue(int64_t nowUs);
    void Deliver(const TPendingReply& reply);
    void DropOff(TSlot& slot, bool comesBack, TSimMode backInto);
    void Wake();
    int64_t NowUs() const;
    void Trace(TSlot& slot, TSimRequest entry);
    TSlot* Find(uint32_t serial);
    const TSlot* Find(uint32_t serial) const;
    TSlot* FindById(uint64_t id);

    mutable std::mutex Lock;
    std::vector<std::unique_ptr<TSlot>> Slots;
    TSocketServer Server{*this};
    TReplySchedule Replies;
    TDeviceEvents Events;
    QString Folder;
    QString ListenPath;
    int WakeRead = -1;
    int WakeWrite = -1;
    uint64_t NextSlotId = 1;
    std::chrono::steady_clock::time_point Started;
    std::atomic<bool> Running{false};
    std::thread Thread;
};

}  // namespace ql::sim
