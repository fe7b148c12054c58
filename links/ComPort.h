#pragma once
// The program's one serial-port handle, as a plain file descriptor behind a small class.
//
// Why not QSerialPort: a QSerialPort belongs to the thread that created it (its notifiers
// live in that thread's event loop), but this handle is opened by a discovery thread,
// used by write threads and closed by the UI thread. A descriptor carries no thread
// affinity, and poll() gives the line's read time-outs directly: a read returns when
// 2 ms pass between two bytes, and after 20 ms at most.
//
// A Windows build implements the same class over CreateFileW/SetCommTimeouts.

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace ql {

inline constexpr int kComBaudRate = 115200;
inline constexpr int kComReadIntervalMs = 2;   // a gap this long between bytes ends a read
inline constexpr int kComReadTotalMs = 20;     // no read waits longer
inline constexpr int kComWriteConstantMs = 20;
inline constexpr int kComWritePerByteMs = 20;

class TComPort {
public:
    TComPort() = default;
    ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    // Opens the port exclusively at 115200 8N1, raw, DTR and RTS on. False when the port
    // cannot be opened or another handle holds it; the port is closed then.
    bool Open(const QString& name);
    void Close();
    bool IsOpen() const { return fd_.load() >= 0; }

    // One synchronous write of all bytes; true only when the port took every one.
    bool Write(const uint8_t* bytes, int count);

    // Up to max bytes, returning after a 2 ms gap between bytes or 20 ms in all; 0 when
    // nothing came or the port is closed.
    int Read(uint8_t* buffer, int max);

private:
    std::mutex openClose_;  // open and close come from different threads
    std::atomic<int> fd_{-1};
};

}  // namespace ql
