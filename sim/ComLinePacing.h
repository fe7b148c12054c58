#pragma once
// The wire of a COM tracker's line. Unpaced, reply bytes go to the pseudo-terminal as soon
// as they are due. Paced at a baud rate, every byte takes the wire time of 8N1 in both
// directions: a request counts as received when its last byte has crossed, and a reply
// reaches the line in batches of up to 8 bytes, each when its last byte has crossed the
// wire, like a UART's receive FIFO. The baud rate is a fault and may change at any time,
// so each call is given the rate in force.

#include <QByteArray>

#include <cstdint>

namespace ql::sim {

inline constexpr int64_t kNothingDueUs = INT64_MAX;

// The wire time of a number of bytes, rounded up to the microsecond so that no byte is
// counted as across before it is; 0 when not paced (baud 0).
int64_t WireTimeUs(qsizetype bytes, int baud);

class TComLinePacing {
public:
    // Bytes read from the line.
    void Received(qsizetype bytes, int64_t nowUs, int baud);
    // A reply starts no earlier than this: once the request has crossed the wire.
    int64_t ReplyNotBeforeUs(int baud) const { return baud > 0 ? InboundDoneUs : 0; }
    // Reply bytes due since dueUs, queued behind those not yet on the line. A reply the
    // thread queues late crosses the wire from when it was due, so that its bytes reach
    // the line no later than the simulator's delay, and never before they have crossed.
    void Queue(const QByteArray& bytes, int64_t dueUs);
    // Writes to the line (the pseudo-terminal's master) what the wire has carried by now.
    void Flush(int lineFd, int64_t nowUs, int baud);
    // When Flush has something to do next; kNothingDueUs when no byte waits.
    int64_t NextFlushUs(int baud) const;

    uint64_t BytesIn() const { return WireIn; }
    uint64_t BytesOut() const { return WireOut; }
    // Paced: how long the line stood idle waiting for the loader (after a reply, or in
    // the middle of a request whose next bytes came after the earlier ones had crossed);
    // and how much later than their wire time the replies' last bytes reached the line
    // (the simulator's own delay). A wait still running is counted up to nowUs, so that
    // two readings split it.
    int64_t WaitingUs(int64_t nowUs);
    int64_t LateUs() const { return Late; }

private:
    // Paced: the outgoing bytes of one unbroken stretch of the wire, counted from its start
    // so that rounding never adds up to a faster wire.
    int64_t CrossedUs(qsizetype bytes) const { return StretchStartUs + WireTimeUs(bytes, StretchBaud); }
    void Rebase(int baud);

    QByteArray Out;              // reply bytes not yet on the line
    int64_t StretchStartUs = 0;  // paced: when the first byte of the stretch began to cross
    qsizetype StretchBytes = 0;  // paced: bytes of the stretch already on the line
    int StretchBaud = 0;         // the rate the stretch is counted at
    int64_t InboundDoneUs = 0;   // paced: when the last received byte has crossed the wire
    int64_t RetryAtUs = -1;      // a full pseudo-terminal buffer is tried again then
    uint64_t WireIn = 0;         // bytes read from the line
    uint64_t WireOut = 0;        // bytes written to the line
    void CountIdle(int64_t nowUs);

    bool Used = false;           // paced: a byte has crossed either way
    int64_t ReplyDoneUs = 0;     // paced: when the last reply was wholly on the line
    int64_t IdleCountedUs = 0;   // paced: idle time is counted up to here
    int64_t Waiting = 0;
    int64_t Late = 0;
};

}  // namespace ql::sim
