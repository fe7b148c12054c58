#include "platform/DeviceEventSocket.h"

#include "platform/DeviceChange.h"

#include <QFile>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace ql {
namespace {
// Event codes are short decimal numbers; anything longer is not one.
constexpr int kMaxDatagramBytes = 32;
}  // namespace

TDeviceEventSocket::TDeviceEventSocket(QObject* parent) : QObject(parent) {}

TDeviceEventSocket::~TDeviceEventSocket() { Close(); }

bool TDeviceEventSocket::BindFromEnvironment()
{
    const QString path = qEnvironmentVariable(kDeviceEventsVariable);
    return !path.isEmpty() && Bind(path);
}

bool TDeviceEventSocket::Bind(const QString& path)
{
    Close();
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || size_t(native.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));

    struct stat info{};
    if (lstat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(native.constData());

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TDeviceEventSocket::ReadDatagrams);
    return true;
}

void TDeviceEventSocket::ReadDatagrams()
{
    char buffer[kMaxDatagramBytes + 1];
    for (;;) {
        const ssize_t got = ::recv(fd_, buffer, sizeof(buffer), 0);
        if (got < 0)
            return;  // nothing more waiting (EAGAIN), or the socket failed
        if (got > kMaxDatagramBytes)
            continue;
        bool ok = false;
        const int code = QByteArray(buffer, int(got)).trimmed().toInt(&ok, 10);
        if (ok)
            emit DeviceChange(code);
    }
}

void TDeviceEventSocket::Close()
{
    delete notifier_;
    notifier_ = nullptr;
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(QFile::encodeName(path_).constData());
    }
    fd_ = -1;
    path_.clear();
}

}  // namespace ql
