#pragma once
// The receive buffer of an FTDI bridge, as the chip keeps it: what the tracker sends
// waits there and goes to the host in packets of 62 bytes as soon as 62 are waiting;
// whatever is left goes once the bridge's latency timer has run out since the first of
// those bytes arrived (or since the last packet left). The timer in force is the one set
// when the first waiting byte arrived. Times are handed in, so the rules hold whichever
// clock drives them: both kinds of bridge the simulator serves (the stand-in D2XX
// library's connections and the kernel driver's tty line) keep their bytes in one of these.

#include <QByteArray>

#include <cstdint>

namespace ql::sim {

inline constexpr int kBridgePacketBytes = 62;
inline constexpr int kBridgeDefaultLatencyMs = 16;

class TBridgeBuffer {
public:
    // Applies from the next byte that starts waiting in an empty buffer.
    void SetLatencyMs(int ms) { TimerMs = ms; }
    int LatencyMs() const { return TimerMs; }
    bool Empty() const { return Waiting.isEmpty(); }

    // The tracker's bytes start waiting.
    void Queue(const QByteArray& bytes, int64_t nowUs);
    // The bytes the bridge lets go by nowUs, in order (whole packets, then the rest once
    // the timer has run out); empty when nothing goes yet.
    QByteArray Release(int64_t nowUs);
    // When Release has something to let go next; INT64_MAX when nothing waits.
    int64_t NextReleaseUs() const;
    // When Release lets go the last byte waiting now (whole packets go at once, the rest
    // at the timer); INT64_MAX when nothing waits.
    int64_t EmptyAtUs() const;
    // A purge: the waiting bytes are dropped.
    void Clear() { Waiting.clear(); }

private:
    QByteArray Waiting;
    int64_t FirstUs = 0;  // when the first waiting byte arrived (or the last packet left)
    int TimerMs = kBridgeDefaultLatencyMs;
    int RunningMs = kBridgeDefaultLatencyMs;  // the timer the waiting bytes run under
};

}  // namespace ql::sim
