#include "sim/ComLinePacing.h"

#include <unistd.h>

#include <algorithm>

namespace ql::sim {
namespace {

constexpr int kBitsPerByte = 10;          // 8N1: start bit, 8 data bits, stop bit
constexpr int64_t kLineRetryUs = 1000;    // a full pty buffer is tried again this soon
constexpr qsizetype kLineBatchBytes = 8;  // paced: bytes handed to the line at once
constexpr int64_t kUsPerSecond = 1000000;

}  // namespace

int64_t WireTimeUs(qsizetype bytes, int baud)
{
    return baud > 0 ? int64_t(bytes) * kBitsPerByte * kUsPerSecond / baud : 0;
}

void TComLinePacing::Received(qsizetype bytes, int64_t nowUs, int baud)
{
    WireIn += uint64_t(bytes);
    if (baud > 0)
        InboundDoneUs = std::max(InboundDoneUs, nowUs) + WireTimeUs(bytes, baud);
}

void TComLinePacing::Queue(const QByteArray& bytes, int64_t nowUs)
{
    if (Out.isEmpty())
        WireFreeUs = std::max(WireFreeUs, nowUs);
    Out.append(bytes);
}

int64_t TComLinePacing::NextFlushUs(int baud) const
{
    if (Out.isEmpty())
        return kNothingDueUs;
    if (RetryAtUs >= 0)
        return RetryAtUs;
    // A batch once its last byte has crossed the wire, the end of a reply as soon as it has.
    const qsizetype batch = std::min<qsizetype>(kLineBatchBytes, Out.size());
    return WireFreeUs + WireTimeUs(batch - 1, baud);
}

void TComLinePacing::Flush(int lineFd, int64_t nowUs, int baud)
{
    if (Out.isEmpty() || (RetryAtUs >= 0 && RetryAtUs > nowUs))
        return;
    RetryAtUs = -1;
    qsizetype allowed = Out.size();
    if (baud > 0) {
        if (WireFreeUs > nowUs)
            return;
        allowed = std::min<qsizetype>(allowed, 1 + (nowUs - WireFreeUs) * baud
                                                       / (kBitsPerByte * kUsPerSecond));
    }
    const ssize_t n = ::write(lineFd, Out.constData(), size_t(allowed));
    if (n <= 0) {
        RetryAtUs = nowUs + kLineRetryUs;
        return;
    }
    Out.remove(0, n);
    WireOut += uint64_t(n);
    if (baud > 0)
        WireFreeUs += WireTimeUs(n, baud);
}

}  // namespace ql::sim
