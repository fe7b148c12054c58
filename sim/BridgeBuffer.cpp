#include "sim/BridgeBuffer.h"

#include <climits>

namespace ql::sim {
namespace {

constexpr int64_t kUsPerMs = 1000;

}  // namespace

void TBridgeBuffer::Queue(const QByteArray& bytes, int64_t nowUs)
{
    if (bytes.isEmpty())
        return;
    if (Waiting.isEmpty()) {
        FirstUs = nowUs;
        RunningMs = TimerMs;
    }
    Waiting += bytes;
}

QByteArray TBridgeBuffer::Release(int64_t nowUs)
{
    QByteArray out;
    if (Waiting.size() >= kBridgePacketBytes) {
        const qsizetype whole = Waiting.size() - Waiting.size() % kBridgePacketBytes;
        out = Waiting.left(whole);
        Waiting.remove(0, whole);
        // The rest waits a whole timer again.
        FirstUs = nowUs;
    }
    if (!Waiting.isEmpty() && nowUs >= FirstUs + int64_t(RunningMs) * kUsPerMs) {
        out += Waiting;
        Waiting.clear();
    }
    return out;
}

int64_t TBridgeBuffer::NextReleaseUs() const
{
    if (Waiting.isEmpty())
        return INT64_MAX;
    if (Waiting.size() >= kBridgePacketBytes)
        return FirstUs;
    return FirstUs + int64_t(RunningMs) * kUsPerMs;
}

int64_t TBridgeBuffer::EmptyAtUs() const
{
    if (Waiting.isEmpty())
        return INT64_MAX;
    if (Waiting.size() % kBridgePacketBytes == 0)
        return FirstUs;
    return FirstUs + int64_t(RunningMs) * kUsPerMs;
}

}  // namespace ql::sim
