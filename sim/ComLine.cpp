#include "sim/ComLine.h"

#include "links/Frame.h"
#include "sim/RequestAssembler.h"
#include "sim/TrackerCommands.h"

#include <QtEndian>

namespace ql::sim {
namespace {

QByteArray ReplyFrame(uint8_t command, const uint8_t* data, int count)
{
    uint8_t frame[kLineMaxFrameBytes];
    const int length = BuildReplyFrame(command, 0, data, count, frame);
    return QByteArray(reinterpret_cast<const char*>(frame), length);
}

}  // namespace

void TComLineParser::Append(const QByteArray& bytes, qint64 nowMs)
{
    if (nowMs - LastByteMs > kIdleResetMs)
        Buffer.clear();
    LastByteMs = nowMs;
    Buffer.append(bytes);
}

bool TComLineParser::Next(TComFrame& frame)
{
    while (!Buffer.isEmpty()) {
        const auto* b = reinterpret_cast<const uint8_t*>(Buffer.constData());
        if (b[0] != kFrameStart) {
            Buffer.remove(0, 1);
            continue;
        }
        if (Buffer.size() < kFrameCommandOffset)
            return false;
        const uint16_t length = qFromLittleEndian<uint16_t>(b + kFrameLengthOffset);
        if (length < kFrameOverhead || length > kLineMaxFrameBytes) {
            Buffer.remove(0, 1);
            continue;
        }
        if (Buffer.size() < length)
            return false;
        if (!CheckFrame(b, length)) {
            Buffer.remove(0, 1);
            continue;
        }
        frame.Command = b[kFrameCommandOffset];
        frame.Bytes = Buffer.left(length);
        frame.Data = Buffer.mid(kFrameDataOffset, length - kFrameOverhead);
        Buffer.remove(0, length);
        return true;
    }
    return false;
}

QByteArray SerialNumberReplyFrame(uint32_t serial)
{
    uint8_t data[4];
    qToLittleEndian(serial, data);
    return ReplyFrame(kLineSerialNumberReply, data, 4);
}

QByteArray LoaderStartReplyFrame()
{
    return ReplyFrame(kLineLoaderStart, nullptr, 0);
}

QByteArray TunnelReplyFrame(const QByteArray& reply)
{
    const int count = int(std::min<qsizetype>(reply.size(), kLineMaxReplyData));
    return ReplyFrame(kLineTunnel, reinterpret_cast<const uint8_t*>(reply.constData()), count);
}

}  // namespace ql::sim
