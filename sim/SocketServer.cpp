#include "sim/SocketServer.h"

#include "sim/UnixAddress.h"

#include <QFile>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace ql::sim {
namespace {

constexpr int kListenBacklog = 64;
constexpr uint8_t kMinBridgeLatencyMs = 2;  // D2XX's range starts here

}  // namespace

struct TSocketServer::TConnection {
    uint64_t Id = 0;
    int Fd = -1;
    uint64_t SlotId = 0;  // 0 until a device is opened on it
    TRequestAssembler Assembler;
    bool Bridge = false;          // opened on an FTDI tracker
    bool FixedTimer = false;      // its bridge keeps the default latency timer
    TBridgeBuffer Buffer;         // a bridge's bytes on their way back
};

TSocketServer::TSocketServer(THandler& handler)
    : Handler(handler)
{
}

TSocketServer::~TSocketServer()
{
    Close();
}

bool TSocketServer::Listen(const QString& path, QString* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    sockaddr_un address;
    if (!FillUnixAddress(QFile::encodeName(path), address))
        return fail("socket path");
    ::unlink(address.sun_path);
    Fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (Fd < 0)
        return fail("socket");
    if (::bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(Fd, kListenBacklog) != 0) {
        ::close(Fd);
        Fd = -1;
        return fail("bind");
    }
    Path = path;
    return true;
}

void TSocketServer::Close()
{
    for (auto& connection : Connections)
        ::close(connection->Fd);
    Connections.clear();
    if (Fd < 0)
        return;
    ::close(Fd);
    Fd = -1;
    ::unlink(QFile::encodeName(Path).constData());
}

void TSocketServer::Watch(std::vector<pollfd>& fds, std::vector<uint64_t>& owners) const
{
    for (const auto& connection : Connections) {
        fds.push_back({connection->Fd, POLLIN, 0});
        owners.push_back(connection->Id);
    }
}

void TSocketServer::Accept()
{
    for (;;) {
        const int fd = ::accept4(Fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto connection = std::make_unique<TConnection>();
        connection->Id = NextId++;
        connection->Fd = fd;
        Connections.push_back(std::move(connection));
    }
}

TSocketServer::TConnection* TSocketServer::Find(uint64_t connectionId)
{
    for (auto& connection : Connections)
        if (connection->Id == connectionId)
            return connection.get();
    return nullptr;
}

void TSocketServer::CloseConnection(uint64_t connectionId)
{
    auto it = std::find_if(Connections.begin(), Connections.end(),
                           [connectionId](const auto& c) { return c->Id == connectionId; });
    if (it == Connections.end())
        return;
    ::close((*it)->Fd);
    Connections.erase(it);
    Handler.ConnectionClosed(connectionId);
}

void TSocketServer::CloseConnectionsOf(uint64_t slotId)
{
    std::vector<uint64_t> ids;
    for (const auto& connection : Connections)
        if (connection->SlotId == slotId)
            ids.push_back(connection->Id);
    for (uint64_t id : ids)
        CloseConnection(id);
}

void TSocketServer::Read(uint64_t connectionId, int64_t nowMs)
{
    // One buffer for every read: made anew it was zeroed for each message, 64 KB for a
    // 64-byte piece, the service thread's largest cost after poll with a rack of trackers.
    std::vector<uint8_t>& buffer = ReadBuffer;
    buffer.resize(wire::kMaxMessage);
    while (TConnection* connection = Find(connectionId)) {
        const ssize_t n = ::recv(connection->Fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            CloseConnection(connectionId);
            return;
        }
        HandleMessage(*connection, buffer.data(), size_t(n), nowMs);
    }
}

void TSocketServer::SendData(const TConnection& connection, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    QByteArray message = bytes;
    message.prepend(char(wire::kData));
    ::send(connection.Fd, message.constData(), size_t(message.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
}

void TSocketServer::Send(uint64_t connectionId, const QByteArray& bytes, int64_t nowUs)
{
    TConnection* connection = Find(connectionId);
    if (!connection)
        return;
    if (!connection->Bridge) {
        SendData(*connection, bytes);
        return;
    }
    connection->Buffer.Queue(bytes, nowUs);
    SendData(*connection, connection->Buffer.Release(nowUs));
}

void TSocketServer::Release(int64_t nowUs)
{
    for (const auto& connection : Connections)
        if (connection->Bridge && connection->Buffer.NextReleaseUs() <= nowUs)
            SendData(*connection, connection->Buffer.Release(nowUs));
}

int64_t TSocketServer::HeldUntilUs(uint64_t connectionId)
{
    const TConnection* connection = Find(connectionId);
    return connection && connection->Bridge ? connection->Buffer.EmptyAtUs() : INT64_MAX;
}

int64_t TSocketServer::NextReleaseUs() const
{
    int64_t next = INT64_MAX;
    for (const auto& connection : Connections)
        if (connection->Bridge)
            next = std::min(next, connection->Buffer.NextReleaseUs());
    return next;
}

void TSocketServer::HandleMessage(TConnection& connection, const uint8_t* bytes, size_t count,
                                  int64_t nowMs)
{
    auto send = [&](const std::vector<uint8_t>& message) {
        ::send(connection.Fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    };
    const uint8_t type = bytes[0];
    if (connection.SlotId != 0) {
        if (type == wire::kPurge) {
            connection.Buffer.Clear();
            return;
        }
        if (type == wire::kSetLatencyTimer && count >= 2) {
            if (connection.Bridge && !connection.FixedTimer && bytes[1] >= kMinBridgeLatencyMs)
                connection.Buffer.SetLatencyMs(bytes[1]);
            return;
        }
        if (type != wire::kWrite || count < 2)
            return;
        connection.Assembler.Append(QByteArray(reinterpret_cast<const char*>(bytes + 1),
                                               qsizetype(count - 1)),
                                    nowMs);
        const uint64_t id = connection.Id;
        const uint64_t slotId = connection.SlotId;
        TAssembledRequest request;
        for (TConnection* c = &connection; c && c->Assembler.Next(request); c = Find(id)) {
            // A reply may make the tracker drop off, which closes this connection.
            Handler.Request(id, slotId, request);
        }
        return;
    }
    if (count < 2)
        return;
    const uint8_t link = bytes[1];
    if (type == wire::kList) {
        send(wire::BuildListReply(Handler.ListTrackers(link)));
    } else if (type == wire::kOpen && count >= wire::kOpenRequestHeader) {
        const uint16_t tag = wire::GetU16(bytes + 2);
        const QByteArray serialText(reinterpret_cast<const char*>(bytes + wire::kOpenRequestHeader),
                                    qsizetype(count - wire::kOpenRequestHeader));
        connection.SlotId = Handler.OpenTracker(link, tag, serialText);
        connection.Bridge = connection.SlotId != 0 && link == wire::kLinkFtdi;
        connection.FixedTimer = connection.Bridge && Handler.FixedLatencyTimer(connection.SlotId);
        send({wire::kOpenReply, uint8_t(connection.SlotId != 0 ? 0 : 1),
              uint8_t(connection.FixedTimer ? wire::kOpenFixedLatencyTimer : 0)});
    }
}

}  // namespace ql::sim
