#pragma once
// The simulator's one service thread: it accepts the stand-in libraries' connections,
// reads the pseudo-terminals, hands each whole request to its tracker and sends the
// replies when they are due (reply delay, COM wire pacing, reboots). One mutex guards
// every tracker and connection; the public calls take it from any thread.

#include "sim/ComLine.h"
#include "sim/RequestAssembler.h"
#include "sim/Simulator.h"
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

class TSimService {
public:
    TSimService();
    ~TSimService();

    bool Start(QString* error);
    void Stop();
    QString SocketPath() const { return ListenPath; }

    bool AddTracker(const TSimTracker& tracker);
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

private:
    struct TSlot;
    struct TConnection;
    struct TPending;

    void Run();
    int64_t NextTimeoutUs(int64_t nowUs) const;
    void Accept();
    void ReadConnection(uint64_t id);
    void HandleMessage(TConnection& connection, const uint8_t* bytes, size_t count);
    void ReadLine(TSlot& slot);
    void HandleFrame(TSlot& slot, const TComFrame& frame);
    void Process(TSlot& slot, const TAssembledRequest& request, uint64_t connection);
    void Schedule(TSlot& slot, uint64_t connection, QByteArray bytes, TAfterReply after,
                  int64_t notBeforeUs);
    void RunDue(int64_t nowUs);
    void Deliver(const TPending& pending);
    void FlushLine(TSlot& slot, int64_t nowUs);
    void DropOff(TSlot& slot, bool comesBack, TSimMode backInto);
    void CloseConnectionsOf(uint64_t slotId);
    void CloseConnection(uint64_t id);
    void Notify();
    void Wake();
    int64_t NowUs() const;
    void Trace(TSlot& slot, TSimRequest entry);
    TSlot* Find(uint32_t serial);
    const TSlot* Find(uint32_t serial) const;
    TSlot* FindById(uint64_t id);
    TConnection* FindConnection(uint64_t id);

    mutable std::mutex Lock;
    std::vector<std::unique_ptr<TSlot>> Slots;
    std::vector<std::unique_ptr<TConnection>> Connections;
    std::vector<TPending> Pending;
    QString Folder;
    QString ListenPath;
    QByteArray EventsPath;
    int ListenFd = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
    int EventsFd = -1;
    uint64_t NextId = 1;
    std::chrono::steady_clock::time_point Started;
    std::atomic<bool> Running{false};
    std::thread Thread;
};

}  // namespace ql::sim
