#pragma once
// Turns the byte stream a tracker receives into whole requests. The loader sends a
// request in pieces (64 bytes on FTDI, at most 90 in a COM tunnel frame): a bootloader
// record is complete when its total length has arrived, a text command of the
// application firmware when it matches one of the known texts.
//
// Bytes that are neither are dropped one at a time until a request starts again; a
// record whose header asks for more than a tracker takes is refused and its bytes
// skipped. A stream that stays incomplete longer than kIdleResetMs is dropped, as a
// tracker's receiver forgets a half request after a pause.

#include <QByteArray>

#include <cstdint>

namespace ql::sim {

inline constexpr int kMaxRequestSize = 1024;  // what a tracker's receive buffer holds
inline constexpr int kIdleResetMs = 1000;

enum class TRequestKind { Record, Text, Oversized };

struct TAssembledRequest {
    TRequestKind Kind = TRequestKind::Record;
    QByteArray Bytes;  // Oversized: the 14-byte header only
};

class TRequestAssembler {
public:
    void Append(const QByteArray& bytes, qint64 nowMs);
    // The next whole request, if one is there.
    bool Next(TAssembledRequest& request);
    void Reset();
    bool Empty() const { return Buffer.isEmpty() && SkipBytes == 0; }
    // Drops a half request after a pause.
    void ResetIfIdle(qint64 nowMs);

private:
    QByteArray Buffer;
    qint64 SkipBytes = 0;  // rest of an oversized record still to come
    qint64 LastByteMs = 0;
};

}  // namespace ql::sim
