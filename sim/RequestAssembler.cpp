#include "sim/RequestAssembler.h"

#include "links/LoaderRecord.h"
#include "sim/TrackerCommands.h"

#include <QtEndian>

#include <algorithm>
#include <cctype>

namespace ql::sim {
namespace {

enum class TMatch { No, Partial, Whole };

// Whether the buffer starts with a text command; length is the command's.
TMatch MatchText(const QByteArray& buffer, qsizetype& length)
{
    struct TText {
        const QByteArray& Text;
        int Extra;  // characters after the fixed text: the digit of START_BOOT_LOADER=
    };
    const TText texts[] = {{kReadVersionText, 0}, {kStartLoaderText, 1}, {kStartNrfLoaderText, 0}};
    bool partial = false;
    for (const TText& t : texts) {
        const qsizetype fixed = t.Text.size();
        const qsizetype compared = std::min(fixed, buffer.size());
        if (buffer.left(compared) != t.Text.left(compared))
            continue;
        if (buffer.size() < fixed + t.Extra) {
            partial = true;
            continue;
        }
        if (t.Extra > 0 && !std::isdigit(static_cast<unsigned char>(buffer[fixed])))
            continue;
        length = fixed + t.Extra;
        return TMatch::Whole;
    }
    return partial ? TMatch::Partial : TMatch::No;
}

}  // namespace

void TRequestAssembler::Append(const QByteArray& bytes, qint64 nowMs)
{
    ResetIfIdle(nowMs);
    LastByteMs = nowMs;
    qsizetype from = 0;
    if (SkipBytes > 0) {
        from = std::min<qsizetype>(SkipBytes, bytes.size());
        SkipBytes -= from;
    }
    Buffer.append(bytes.constData() + from, bytes.size() - from);
}

void TRequestAssembler::ResetIfIdle(qint64 nowMs)
{
    if (nowMs - LastByteMs > kIdleResetMs)
        Reset();
}

void TRequestAssembler::Reset()
{
    Buffer.clear();
    SkipBytes = 0;
}

bool TRequestAssembler::Next(TAssembledRequest& request)
{
    while (!Buffer.isEmpty()) {
        qsizetype textLength = 0;
        const TMatch text = MatchText(Buffer, textLength);
        if (text == TMatch::Whole) {
            request = {TRequestKind::Text, Buffer.left(textLength)};
            Buffer.remove(0, textLength);
            return true;
        }
        if (text == TMatch::Partial)
            return false;
        if (Buffer.size() < 4)
            return false;
        const auto* b = reinterpret_cast<const uint8_t*>(Buffer.constData());
        const uint16_t total = qFromLittleEndian<uint16_t>(b);
        const uint16_t header = qFromLittleEndian<uint16_t>(b + 2);
        if (header != kLoaderHeaderSize || total < kLoaderHeaderSize) {
            Buffer.remove(0, 1);  // not the start of a request
            continue;
        }
        if (total > kMaxRequestSize) {
            if (Buffer.size() < kLoaderHeaderSize)
                return false;
            request = {TRequestKind::Oversized, Buffer.left(kLoaderHeaderSize)};
            const qsizetype have = std::min<qsizetype>(Buffer.size(), total);
            SkipBytes = total - have;
            Buffer.remove(0, have);
            return true;
        }
        if (Buffer.size() < total)
            return false;
        request = {TRequestKind::Record, Buffer.left(total)};
        Buffer.remove(0, total);
        return true;
    }
    return false;
}

}  // namespace ql::sim
