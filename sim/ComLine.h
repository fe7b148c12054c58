#pragma once
// The tracker's side of a COM-port line: frames out of the received byte stream, and the
// reply frames it sends. Tunnel frames (0xF0) carry pieces of the requests; the two raw
// requests (serial number, loader start) are frames of their own.

#include <QByteArray>

#include <cstdint>

namespace ql::sim {

struct TComFrame {
    uint8_t Command = 0;
    QByteArray Data;   // between the command byte and the CRC
    QByteArray Bytes;  // the whole frame
};

class TComLineParser {
public:
    void Append(const QByteArray& bytes, qint64 nowMs);
    // The next valid frame. Bytes that do not start one (a bad CRC, a length out of range,
    // no start byte) are dropped one at a time; a half frame is dropped after a pause.
    bool Next(TComFrame& frame);

private:
    QByteArray Buffer;
    qint64 LastByteMs = 0;
};

// The tracker's reply frames: result code 0, then the data.
QByteArray SerialNumberReplyFrame(uint32_t serial);
QByteArray LoaderStartReplyFrame();
// One device reply carried back through the tunnel, cut to the 86 bytes a frame holds.
QByteArray TunnelReplyFrame(const QByteArray& reply);

}  // namespace ql::sim
