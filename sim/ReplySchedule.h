#pragma once
// Replies waiting for their time. A reply goes out when it is due: at once, after the
// tracker's reply delay, or once a paced line has carried the request. The faults that
// change a reply on its way out (an inverted middle byte, a stray byte before a COM frame,
// the delay) are applied as it is queued. A reply may be followed by an action on its
// tracker (a reboot), taken when it is delivered.

#include "sim/Simulator.h"
#include "sim/TrackerDevice.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace ql::sim {

struct TPendingReply {
    int64_t AtUs = 0;
    uint64_t SlotId = 0;
    uint64_t ConnectionId = 0;  // 0: the tracker's COM line
    QByteArray Bytes;
    TAfterReply After = TAfterReply::Nothing;
};

class TReplySchedule {
public:
    // Queues a reply due at earliestUs plus the reply delay, shaped by the tracker's faults
    // (a fault that counts replies is counted down). Returns when it is due.
    int64_t Add(TSimFaults& faults, bool comLine, int64_t earliestUs, uint64_t slotId,
                uint64_t connectionId, QByteArray bytes, TAfterReply after);
    // Queues what is due as it stands: no faults, no delay.
    void AddAsIs(TPendingReply reply) { Pending.push_back(std::move(reply)); }
    // The reply due first, when it is due by nowUs; replies due at the same time keep
    // their order.
    bool TakeDue(int64_t nowUs, TPendingReply& reply);
    // kNothingDueUs when no reply waits.
    int64_t NextDueUs() const;

    void DropTracker(uint64_t slotId);
    void DropConnection(uint64_t connectionId);
    void Clear() { Pending.clear(); }

private:
    std::vector<TPendingReply> Pending;
};

}  // namespace ql::sim
