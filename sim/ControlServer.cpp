#include "sim/ControlServer.h"

#include "sim/SimConfig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

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

QByteArray Ok(const QByteArray& rest = {})
{
    return rest.isEmpty() ? QByteArray("OK") : "OK " + rest;
}

QByteArray Err(const QString& reason)
{
    return "ERR " + reason.toUtf8();
}

QByteArray Compact(const QJsonArray& a)
{
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

bool ParseSerial(const QByteArray& word, uint32_t& serial)
{
    bool ok = false;
    serial = word.toUInt(&ok);
    return ok && serial != 0;
}

QJsonObject ParseObject(const QByteArray& text, QString& error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (!doc.isObject())
        error = doc.isNull() ? parse.errorString() : QStringLiteral("expected a JSON object");
    return doc.object();
}

}  // namespace

TControlServer::~TControlServer()
{
    Stop();
}

bool TControlServer::Start(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || size_t(native.size()) >= sizeof(address.sun_path)) {
        if (error)
            *error = QStringLiteral("control socket path too long or empty");
        return false;
    }
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ::unlink(address.sun_path);
    ListenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int wake[2];
    if (ListenFd < 0 || ::bind(ListenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(ListenFd, 8) != 0 || ::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
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
        ::poll(fds.data(), nfds_t(fds.size()), 1000);
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
    const qsizetype space = line.indexOf(' ');
    const QByteArray command = line.left(space < 0 ? line.size() : space).toLower();
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1).trimmed();
    const QList<QByteArray> words = rest.split(' ');
    QString error;
    uint32_t serial = 0;
    const bool hasSerial = ParseSerial(words.value(0), serial);

    if (command == "add") {
        TSimTracker tracker;
        const QJsonObject json = ParseObject(rest, error);
        if (!error.isEmpty() || !TrackerFromJson(json, tracker, error))
            return Err(error);
        if (!Sim.AddTracker(tracker))
            return Err(QStringLiteral("serial %1 taken, or no pseudo-terminal").arg(tracker.Serial));
        return Ok(Sim.ComPortPath(tracker.Serial).toUtf8());
    }
    if (command == "list") {
        QJsonArray list;
        for (uint32_t s : Sim.Serials()) {
            TSimTracker t;
            if (!Sim.Tracker(s, t))
                continue;
            QJsonObject o = TrackerToJson(t);
            o.insert("Present", Sim.Present(s));
            if (t.Link == TSimLink::ComPort)
                o.insert("ComPort", Sim.ComPortPath(s));
            list.append(o);
        }
        return Ok(Compact(list));
    }
    if (command == "quit") {
        Quit = true;
        return Ok();
    }
    if (command.isEmpty())
        return Err(QStringLiteral("empty command"));
    const bool known = command == "remove" || command == "faults" || command == "trace"
                       || command == "cleartrace" || command == "dump" || command == "mode"
                       || command == "present" || command == "wire";
    if (!known)
        return Err(QStringLiteral("unknown command \"%1\"").arg(QString::fromUtf8(command)));
    if (!hasSerial)
        return Err(QStringLiteral("expected a serial number"));
    TSimTracker tracker;
    if (!Sim.Tracker(serial, tracker))
        return Err(QStringLiteral("no tracker %1").arg(serial));

    if (command == "remove")
        return Sim.RemoveTracker(serial) ? Ok() : Err(QStringLiteral("no tracker %1").arg(serial));
    if (command == "faults") {
        TSimFaults faults;
        const QJsonObject json = ParseObject(rest.mid(words[0].size()).trimmed(), error);
        if (!error.isEmpty() || !FaultsFromJson(json, faults, error))
            return Err(error);
        Sim.SetFaults(serial, faults);
        return Ok();
    }
    if (command == "trace") {
        const bool withBytes = words.value(1) != "brief";
        QJsonArray list;
        for (const TSimRequest& r : Sim.Trace(serial))
            list.append(RequestToJson(r, withBytes));
        return Ok(Compact(list));
    }
    if (command == "cleartrace") {
        Sim.ClearTrace(serial);
        return Ok();
    }
    if (command == "dump") {
        const QString file = QString::fromUtf8(rest.mid(words[0].size()).trimmed());
        QFile out(file);
        const QByteArray flash = Sim.Flash(serial);
        if (file.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(flash) != flash.size())
            return Err(QStringLiteral("cannot write \"%1\"").arg(file));
        return Ok(QByteArray("0x") + QByteArray::number(Sim.FlashStart(serial), 16) + ' '
                  + QByteArray::number(flash.size()));
    }
    if (command == "mode")
        return Ok(ModeName(Sim.Mode(serial)).toUtf8());
    if (command == "wire") {
        uint64_t toTracker = 0, fromTracker = 0;
        if (!Sim.WireBytes(serial, toTracker, fromTracker))
            return Err(QStringLiteral("tracker %1 has no COM line").arg(serial));
        return Ok(QByteArray::number(toTracker) + ' ' + QByteArray::number(fromTracker));
    }
    return Ok(Sim.Present(serial) ? "1" : "0");  // present
}

}  // namespace ql::sim
