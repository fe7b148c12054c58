#include "links/ComPort.h"

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

bool SetRawLine(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Waits up to ms for the descriptor to become ready; true when it is.
bool WaitReady(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = poll(&p, 1, ms);
        if (r > 0)
            return (p.revents & events) != 0;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

}  // namespace

TComPort::~TComPort() { Close(); }

bool TComPort::Open(const QString& name)
{
    std::lock_guard<std::mutex> lock(openClose_);
    if (fd_.load() >= 0)
        return false;  // exclusive: a second open of the one handle fails like the system's
    const QByteArray path = name.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // TIOCEXCL keeps other programs out (root aside); the lock keeps out anyone who asks.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    // A pseudo-terminal has neither a baud rate nor modem lines; their results are not
    // examined, as on a real port.
    SetRawLine(fd);
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    tcflush(fd, TCIOFLUSH);
    fd_.store(fd);
    return true;
}

void TComPort::Close()
{
    std::lock_guard<std::mutex> lock(openClose_);
    const int fd = fd_.exchange(-1);
    if (fd >= 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
}

bool TComPort::Write(const uint8_t* bytes, int count)
{
    const int fd = fd_.load();
    if (fd < 0 || count < 0)
        return false;
    const uint32_t start = TickCount();
    const uint32_t limit = kComWriteConstantMs + kComWritePerByteMs * uint32_t(count);
    int done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, size_t(count - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const uint32_t spent = TickCount() - start;
        if (spent >= limit || !WaitReady(fd, POLLOUT, int(limit - spent)))
            return false;
    }
    return true;
}

int TComPort::Read(uint8_t* buffer, int max)
{
    const int fd = fd_.load();
    if (fd < 0 || max <= 0)
        return 0;
    const uint32_t start = TickCount();
    int got = 0;
    while (got < max) {
        const uint32_t spent = TickCount() - start;
        if (spent >= uint32_t(kComReadTotalMs))
            break;
        int wait = kComReadTotalMs - int(spent);
        if (got > 0 && wait > kComReadIntervalMs)
            wait = kComReadIntervalMs;
        if (!WaitReady(fd, POLLIN, wait))
            break;
        const ssize_t n = ::read(fd, buffer + got, size_t(max - got));
        if (n > 0)
            got += int(n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;  // the far end hung up
    }
    return got;
}

}  // namespace ql
