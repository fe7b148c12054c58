#include "sim/KernelFtdiLine.h"

#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace ql::sim {
namespace {

constexpr int kMinLatencyMs = 1;
constexpr int kMaxLatencyMs = 255;
constexpr qint64 kLatencyFileBytes = 16;

}  // namespace

TKernelFtdiLine::~TKernelFtdiLine()
{
    if (Slave >= 0)
        ::close(Slave);
    if (Fd >= 0)
        ::close(Fd);
}

bool TKernelFtdiLine::Open(int masterFd, const QString& latencyTimerPath)
{
    if (Fd >= 0 || masterFd < 0)
        return false;
    Fd = ::fcntl(masterFd, F_DUPFD_CLOEXEC, 0);
    if (Fd < 0)
        return false;
    ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) | O_NONBLOCK);
    if (const char* slave = ::ptsname(Fd)) {
        Slave = ::open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (Slave >= 0 && ::tcgetattr(Slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(Slave, TCSANOW, &tio);
        }
    }
    LatencyPath = latencyTimerPath;
    return true;
}

int TKernelFtdiLine::LatencyMs() const
{
    QFile file(LatencyPath);
    if (LatencyPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return kBridgeDefaultLatencyMs;
    bool ok = false;
    const int value = file.read(kLatencyFileBytes).trimmed().toInt(&ok);
    return ok && value >= kMinLatencyMs && value <= kMaxLatencyMs ? value : kBridgeDefaultLatencyMs;
}

void TKernelFtdiLine::Queue(const QByteArray& bytes, int64_t nowUs)
{
    if (!bytes.isEmpty() && Buffer.Empty())
        Buffer.SetLatencyMs(LatencyMs());
    Buffer.Queue(bytes, nowUs);
}

bool TKernelFtdiLine::Put(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(Fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return false;  // the loader's side is full or gone: the bytes are lost, as on a bridge
        done += n;
    }
    return true;
}

void TKernelFtdiLine::Flush(int64_t nowUs)
{
    if (Fd < 0)
        return;
    const QByteArray out = Buffer.Release(nowUs);
    if (!out.isEmpty())
        Put(out);
}

int64_t TKernelFtdiLine::NextFlushUs() const
{
    return Buffer.NextReleaseUs();
}

}  // namespace ql::sim
