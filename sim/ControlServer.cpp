#include "sim/ControlServer.h"

#include "sim/ControlCommands.h"
#include "sim/UnixAddress.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace ql::sim {
namespace {

constexpr qsizetype kMaxLine = 1 << 20;  // a longer line is dropped with its client
constexpr int kListenBacklog = 8;
constexpr int kPollMs = 1000;

}  // namespace

TControlServer::~TControlServer()
{
    Stop();
}

bool TControlServer::Start(const QString& path, QString* error)
{
    sockaddr_un address;
    if (!FillUnixAddress(QFile::encodeName(path), address)) {
        if (error)
            *error = QStringLiteral("control socket path too long or empty");
        return false;
    }
    ::unlink(address.sun_path);
    ListenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int wake[2];
    if (ListenFd < 0 || ::bind(ListenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(ListenFd, kListenBacklog) != 0 || ::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = QStringLiteral("control socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (ListenFd >= 0)
            ::close(ListenFd);
        ListenFd = -1;
        return false;
    }
    WakeRead = wake[0];
    WakeWrite = wake[1];
    Path = path;
    Running = true;
    Thread = std::thread([this] { Run(); });
    return true;
}

void TControlServer::Stop()
{
    if (!Running.exchange(false))
        return;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(WakeWrite, &byte, 1);
    Thread.join();
    ::close(ListenFd);
    ::close(WakeRead);
    ::close(WakeWrite);
    ::unlink(QFile::encodeName(Path).constData());
}

void TControlServer::Run()
{
    std::map<int, QByteArray> clients;  // fd -> bytes of an unfinished line
    while (Running) {
        std::vector<pollfd> fds{{WakeRead, POLLIN, 0}, {ListenFd, POLLIN, 0}};
        for (const auto& [fd, pending] : clients)
            fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), nfds_t(fds.size()), kPollMs);
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                clients[fd];
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const int fd = fds[i].fd;
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            QByteArray& pending = clients[fd];
            if (n > 0)
                pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QByteArray answer = Execute(pending.left(end).trimmed()) + '\n';
                pending.remove(0, end + 1);
                ::send(fd, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
            }
            if (n <= 0 || pending.size() > kMaxLine) {
                ::close(fd);
                clients.erase(fd);
            }
        }
    }
    for (const auto& [fd, pending] : clients)
        ::close(fd);
}

QByteArray TControlServer::Execute(const QByteArray& line)
{
    bool quit = false;
    const QByteArray answer = ExecuteControlLine(Sim, line, quit);
    if (quit)
        Quit = true;
    return answer;
}

}  // namespace ql::sim
