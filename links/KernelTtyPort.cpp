#include "links/KernelTtyPort.h"

#include "links/FtdiLink.h"
#include "links/KernelBridgeList.h"
#include "links/LinkTrace.h"
#include "links/RawLine.h"
#include "platform/Tick.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace ql {
namespace {

// The entry's FtdiHandle holds the descriptor plus one, so a closed port is the null
// handle as with D2XX and no memory is owned by the entry.
int FdOf(const TLinkEntry& device)
{
    return int(reinterpret_cast<intptr_t>(device.FtdiHandle)) - 1;
}

void* HandleOf(int fd) { return reinterpret_cast<void*>(intptr_t(fd) + 1); }

// The node of the bridge with the device's serial number; empty when none is listed now.
// The serial string is compared as a number, as the listing read it.
QString NodeOf(int32_t serial, QString& latencyTimer)
{
    for (const TKernelBridge& bridge : ListKernelBridges()) {
        bool ok = false;
        const int value = bridge.Serial.toInt(&ok, 10);
        if (ok && value == serial) {
            latencyTimer = bridge.LatencyTimer;
            return bridge.Node;
        }
    }
    return QString();
}

// Empty when the timer is set; otherwise why not.
QString SetLatencyTimer(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("the bridge shows no latency_timer attribute");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return path + QStringLiteral(": ") + file.errorString();
    const QByteArray value = QByteArray::number(kBridgeLatencyTimerMs);
    if (file.write(value) != value.size() || !file.flush())
        return path + QStringLiteral(": ") + file.errorString();
    return QString();
}

}  // namespace

bool TKernelTtyPort::Open(TLinkEntry& device, TComPortFault* fault)
{
    QString latencyTimer;
    const QString node = NodeOf(device.SerialNumber, latencyTimer);
    if (node.isEmpty())
        return false;  // unplugged since the pass listed it: the next pass finds it gone
    const auto refuse = [&](int fd, int error) {
        if (fd >= 0)
            ::close(fd);
        if (fault)
            *fault = MakeComPortFault(TComPortFault::BridgeOpen, node, error);
        return false;
    };
    const QByteArray name = node.toLocal8Bit();
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(-1, errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return refuse(fd, errno == EWOULDBLOCK ? EBUSY : errno);
    if (ioctl(fd, TIOCEXCL) != 0 || !SetRawLine(fd, kKeepLineSpeed))
        return refuse(fd, errno);
    tcflush(fd, TCIOFLUSH);
    const QString notSet = SetLatencyTimer(latencyTimer);
    if (notSet.isEmpty()) {
        qCDebug(lcLink, "device %d ftdi (%s): latency timer set to %d ms", int(device.SerialNumber),
                qPrintable(node), kBridgeLatencyTimerMs);
    } else {
        qCDebug(lcLink, "device %d ftdi (%s): latency timer not set (%s); replies wait up to "
                        "the bridge's own", int(device.SerialNumber), qPrintable(node), qPrintable(notSet));
        std::lock_guard<std::mutex> lock(mutex_);
        if (latencyNotice_ == kNotNeeded) {
            latencyNotice_ = kPending;
            latencyNode_ = node;
        }
    }
    device.FtdiHandle = HandleOf(fd);
    return true;
}

bool TKernelTtyPort::TakeLatencyNotice(QString& node)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (latencyNotice_ != kPending)
        return false;
    latencyNotice_ = kTaken;
    node = latencyNode_;
    return true;
}

void TKernelTtyPort::Close(TLinkEntry& device)
{
    if (device.FtdiHandle == nullptr)
        return;
    const int fd = FdOf(device);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
    device.FtdiHandle = nullptr;
}

bool TKernelTtyPort::IsOpen(const TLinkEntry& device) const
{
    return device.FtdiHandle != nullptr;
}

bool TKernelTtyPort::Write(TLinkEntry& device, const uint8_t* bytes, int count, int& written)
{
    written = 0;
    const int fd = FdOf(device);
    const uint32_t start = TickCount();
    while (written < count) {
        const ssize_t n = ::write(fd, bytes + written, size_t(count - written));
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const uint32_t spent = TickCount() - start;
        if (spent >= kFtdiWriteTimeoutMs)
            return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, int(kFtdiWriteTimeoutMs - spent));
    }
    return true;
}

uint32_t TKernelTtyPort::Queued(TLinkEntry& device)
{
    int queued = 0;
    if (ioctl(FdOf(device), FIONREAD, &queued) != 0 || queued < 0)
        return 0;
    return uint32_t(queued);
}

bool TKernelTtyPort::Read(TLinkEntry& device, uint8_t* buffer, uint32_t count, uint32_t& got)
{
    got = 0;
    if (count == 0)
        return true;
    const ssize_t n = ::read(FdOf(device), buffer, count);
    if (n > 0) {
        got = uint32_t(n);
        return true;
    }
    // Nothing after FIONREAD said there was something: the line hung up (unplugged).
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

void TKernelTtyPort::Reset(TLinkEntry& device)
{
    if (device.FtdiHandle != nullptr)
        tcflush(FdOf(device), TCIOFLUSH);
}

}  // namespace ql
