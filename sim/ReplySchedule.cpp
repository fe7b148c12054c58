#include "sim/ReplySchedule.h"

#include "sim/ComLinePacing.h"

#include <algorithm>

namespace ql::sim {
namespace {

constexpr uint8_t kStrayByte = 0x00;
constexpr int64_t kUsPerMs = 1000;

}  // namespace

int64_t TReplySchedule::Add(TSimFaults& faults, bool comLine, int64_t earliestUs,
                            uint64_t slotId, uint64_t connectionId, QByteArray bytes,
                            TAfterReply after)
{
    if (faults.CorruptReplies > 0 && !bytes.isEmpty()) {
        --faults.CorruptReplies;
        bytes[bytes.size() / 2] = char(~bytes[bytes.size() / 2]);
    }
    if (comLine && faults.StrayByteBeforeFrame)
        bytes.prepend(char(kStrayByte));
    const int64_t at = earliestUs + int64_t(faults.ReplyDelayMs) * kUsPerMs;
    Pending.push_back({at, slotId, connectionId, std::move(bytes), after});
    return at;
}

bool TReplySchedule::TakeDue(int64_t nowUs, TPendingReply& reply)
{
    auto due = std::min_element(Pending.begin(), Pending.end(),
                                [](const TPendingReply& a, const TPendingReply& b) {
                                    return a.AtUs < b.AtUs;
                                });
    if (due == Pending.end() || due->AtUs > nowUs)
        return false;
    reply = std::move(*due);
    Pending.erase(due);
    return true;
}

int64_t TReplySchedule::NextDueUs() const
{
    int64_t next = kNothingDueUs;
    for (const TPendingReply& p : Pending)
        next = std::min(next, p.AtUs);
    return next;
}

void TReplySchedule::DropTracker(uint64_t slotId)
{
    std::erase_if(Pending, [slotId](const TPendingReply& p) { return p.SlotId == slotId; });
}

void TReplySchedule::DropConnection(uint64_t connectionId)
{
    std::erase_if(Pending,
                  [connectionId](const TPendingReply& p) { return p.ConnectionId == connectionId; });
}

}  // namespace ql::sim
