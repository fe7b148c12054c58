#include "links/ComPort.h"

#include "links/RawLine.h"
#include "platform/Tick.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace ql {
namespace {

enum class TWait { Ready, TimedOut, HungUp };

// Waits up to ms for the descriptor to become ready.
TWait WaitReady(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = poll(&p, 1, ms);
        if (r > 0) {
            if (p.revents & events)
                return TWait::Ready;
            return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) ? TWait::HungUp : TWait::TimedOut;
        }
        if (r == 0 || errno != EINTR)
            return TWait::TimedOut;
    }
}

// A read or write error that a retry will not mend.
bool LineGone(int error) { return error != EAGAIN && error != EWOULDBLOCK && error != EINTR; }

}  // namespace

TComPort::~TComPort() { Close(); }

bool TComPort::IsOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fd_ >= 0 && !closing_;
}

bool TComPort::Open(const QString& path, TComPortFault* fault)
{
    const auto refuse = [&](TComPortFault::TStage stage, int error) {
        if (fault)
            *fault = MakeComPortFault(stage, path, error);
        return false;
    };
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0)
        return refuse(TComPortFault::Open, EBUSY);  // the one handle is open already
    const QByteArray name = path.toLocal8Bit();
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(TComPortFault::Open, errno);
    // The lock keeps out anyone who asks; TIOCEXCL keeps out every other open (root
    // aside). A port held by another program is busy, whichever of the two says so.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return refuse(TComPortFault::Open, error);
    }
    // Without exclusive use another program could put its bytes on the line mid-session;
    // a device that does not take it (a regular file, a non-terminal) is no port to use.
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(TComPortFault::Exclusive, error);
    }
    // A pseudo-terminal has neither a baud rate nor modem lines; their results are not
    // examined, as on a real port.
    SetRawLine(fd, kComBaudRate);
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    path_ = path;
    lineError_ = 0;
    if (fault)
        *fault = TComPortFault{};
    return true;
}

void TComPort::Close()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_)
        return;
    closing_ = true;  // no new read or write begins
    idle_.wait(lock, [this] { return inFlight_ == 0; });
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    closing_ = false;
}

int TComPort::BeginIo()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_)
        return -1;
    ++inFlight_;
    return fd_;
}

void TComPort::EndIo()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (--inFlight_ == 0)
        idle_.notify_all();
}

void TComPort::NoteLineFault(int error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (lineError_ == 0)
        lineError_ = error;
}

TComPortFault TComPort::LineFault() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (lineError_ == 0)
        return {};
    return MakeComPortFault(TComPortFault::Line, path_, lineError_);
}

bool TComPort::Write(const uint8_t* bytes, int count)
{
    if (count < 0)
        return false;
    const int fd = BeginIo();
    if (fd < 0)
        return false;
    const uint32_t start = TickCount();
    const uint32_t limit = kComWriteConstantMs + kComWritePerByteMs * uint32_t(count);
    int done = 0;
    bool ok = true;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && LineGone(errno)) {
            NoteLineFault(errno);
            ok = false;
            break;
        }
        const uint32_t spent = TickCount() - start;
        if (spent >= limit) {
            ok = false;
            break;
        }
        const TWait wait = WaitReady(fd, POLLOUT, int(limit - spent));
        if (wait != TWait::Ready) {
            if (wait == TWait::HungUp)
                NoteLineFault(EIO);
            ok = false;
            break;
        }
    }
    EndIo();
    return ok;
}

int TComPort::Read(uint8_t* buffer, int max, const TComplete& complete)
{
    if (max <= 0)
        return 0;
    const int fd = BeginIo();
    if (fd < 0)
        return 0;
    const uint32_t start = TickCount();
    int got = 0;
    bool failed = false;
    while (got < max) {
        const uint32_t spent = TickCount() - start;
        if (spent >= uint32_t(kComReadTotalMs))
            break;
        int wait = kComReadTotalMs - int(spent);
        if (got > 0 && wait > kComReadIntervalMs)
            wait = kComReadIntervalMs;
        const TWait ready = WaitReady(fd, POLLIN, wait);
        if (ready == TWait::TimedOut)
            break;
        // Ready, or hung up: the read tells which (a hung-up line reads as an error or
        // as the end of the file, and may still hand over what it had received).
        const ssize_t n = ::read(fd, buffer + got, size_t(max - got));
        if (n > 0) {
            got += int(n);
            if (complete && complete(got))
                break;
            continue;
        }
        if (n == 0 || LineGone(errno)) {
            NoteLineFault(n == 0 ? EIO : errno);
            failed = true;
            break;
        }
    }
    EndIo();
    return failed && got == 0 ? -1 : got;
}

}  // namespace ql
