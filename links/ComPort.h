#pragma once
// The program's one serial-port handle, as a plain file descriptor behind a small class.
//
// Why not QSerialPort: a QSerialPort belongs to the thread that created it (its notifiers
// live in that thread's event loop), but this handle is opened by a discovery thread,
// used by write threads and closed by the UI thread. A descriptor carries no thread
// affinity, and poll() gives the line's read time-outs directly: a read returns when
// 2 ms pass between two bytes, and after 20 ms at most.
//
// Reads and writes count themselves in flight, and Close waits for them before the
// descriptor is closed, so no read or write can land on a closed descriptor, or on one
// whose number the system has given to another file meanwhile. Reads and writes do not
// wait for each other.
//
// A Windows build implements the same class over CreateFileW/SetCommTimeouts. Its Read
// has to keep the same early end: a ReadFile for max bytes would wait out the interval
// behind a complete reply, so it takes the bytes ClearCommError reports queued and asks
// complete after each piece, leaving the interval to ReadFile only while none are queued.

#include "links/ComPortName.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
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

    // Opens the device at path exclusively at 115200 8N1, raw, DTR and RTS on. False when
    // it cannot be opened, another handle holds it, or it refuses exclusive use; the port
    // is closed then and fault (when given) says why.
    bool Open(const QString& path, TComPortFault* fault = nullptr);
    // Waits for reads and writes in flight, then closes.
    void Close();
    bool IsOpen() const;

    // One synchronous write of all bytes; true only when the port took every one.
    bool Write(const uint8_t* bytes, int count);

    // Whether the got bytes read so far complete what the caller waits for.
    using TComplete = std::function<bool(int got)>;

    // Up to max bytes, returning after a 2 ms gap between bytes or 20 ms in all, or at
    // once when complete (if given) says the bytes read so far are complete; 0 when
    // nothing came or the port is closed, -1 when the line has failed (hung up, gone).
    int Read(uint8_t* buffer, int max, const TComplete& complete = {});

    // The failure of the open line, if one was seen since the open (Stage Line).
    TComPortFault LineFault() const;

private:
    // The descriptor for one read or write, counted in flight; -1 when closed.
    int BeginIo();
    void EndIo();
    void NoteLineFault(int error);

    mutable std::mutex mutex_;
    std::condition_variable idle_;  // in-flight count back to 0
    int fd_ = -1;
    int inFlight_ = 0;
    bool closing_ = false;
    QString path_;
    int lineError_ = 0;
};

}  // namespace ql
