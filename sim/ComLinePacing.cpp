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
    if (baud <= 0)
        return 0;
    return (int64_t(bytes) * kBitsPerByte * kUsPerSecond + baud - 1) / baud;
}

void TComLinePacing::CountIdle(int64_t nowUs)
{
    // Idle: nothing of the loader's is crossing, and the tracker's replies are all out.
    const int64_t from = std::max({InboundDoneUs, ReplyDoneUs, IdleCountedUs});
    if (Used && Out.isEmpty() && nowUs > from)
        Waiting += nowUs - from;
    IdleCountedUs = std::max(IdleCountedUs, nowUs);
}

void TComLinePacing::Received(qsizetype bytes, int64_t nowUs, int baud)
{
    WireIn += uint64_t(bytes);
    if (baud <= 0)
        return;
    CountIdle(nowUs);
    Used = true;
    InboundDoneUs = std::max(InboundDoneUs, nowUs) + WireTimeUs(bytes, baud);
}

int64_t TComLinePacing::WaitingUs(int64_t nowUs)
{
    CountIdle(nowUs);
    return Waiting;
}

void TComLinePacing::Rebase(int baud)
{
    // A new rate counts from the end of what the old one carried.
    StretchStartUs = CrossedUs(StretchBytes);
    StretchBytes = 0;
    StretchBaud = baud;
}

void TComLinePacing::Queue(const QByteArray& bytes, int64_t dueUs)
{
    // An idle wire starts a new stretch; a busy one carries the bytes behind its own.
    if (Out.isEmpty() && CrossedUs(StretchBytes) <= dueUs) {
        StretchStartUs = dueUs;
        StretchBytes = 0;
    }
    Out.append(bytes);
}

int64_t TComLinePacing::NextFlushUs(int baud) const
{
    if (Out.isEmpty())
        return kNothingDueUs;
    if (RetryAtUs >= 0)
        return RetryAtUs;
    if (baud <= 0)
        return 0;
    // A batch once its last byte has crossed the wire, the end of a reply as soon as it has.
    const qsizetype batch = std::min<qsizetype>(kLineBatchBytes, Out.size());
    if (baud != StretchBaud)
        return StretchStartUs + WireTimeUs(StretchBytes, StretchBaud) + WireTimeUs(batch, baud);
    return CrossedUs(StretchBytes + batch);
}

void TComLinePacing::Flush(int lineFd, int64_t nowUs, int baud)
{
    if (Out.isEmpty() || (RetryAtUs >= 0 && RetryAtUs > nowUs))
        return;
    RetryAtUs = -1;
    qsizetype allowed = Out.size();
    if (baud > 0) {
        if (baud != StretchBaud)
            Rebase(baud);
        if (nowUs <= StretchStartUs)
            return;
        // The bytes whose stop bit has crossed by now.
        const qsizetype crossed = qsizetype((nowUs - StretchStartUs) * baud / (kBitsPerByte * kUsPerSecond));
        allowed = std::min<qsizetype>(allowed, crossed - StretchBytes);
        if (allowed <= 0)
            return;
    }
    const ssize_t n = ::write(lineFd, Out.constData(), size_t(allowed));
    if (n <= 0) {
        RetryAtUs = nowUs + kLineRetryUs;
        return;
    }
    Out.remove(0, n);
    WireOut += uint64_t(n);
    StretchBytes += n;
    if (baud > 0 && Out.isEmpty()) {
        Late += std::max<int64_t>(0, nowUs - CrossedUs(StretchBytes));
        ReplyDoneUs = nowUs;
        Used = true;
    }
}

}  // namespace ql::sim
