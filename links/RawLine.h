#pragma once
// The raw line both serial back-ends use: 8N1, no flow control, no echo or line editing,
// reads that return at once (VMIN and VTIME 0, poll() gives the time-outs).

namespace ql {

// The speed argument that leaves the line's speed as the tty has it (an FTDI bridge's
// kernel tty: the bridge's speed is the tracker's business, not the loader's).
inline constexpr int kKeepLineSpeed = 0;

// Sets the descriptor's tty raw at baud (one of the standard rates) or, with
// kKeepLineSpeed, at the speed it has. False when the tty refuses or the rate is not one
// the system names.
bool SetRawLine(int fd, int baud);

}  // namespace ql
