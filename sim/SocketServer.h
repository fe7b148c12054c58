#pragma once
// The stand-in driver libraries' way in: the local socket their $QLSIM_SOCKET names, one
// connection per enumeration and per open device handle, and the messages of
// sim/StandInWire.h. What a message asks of the trackers is handed to the service. A
// connection opened on an FTDI tracker is that tracker's bridge: the bytes sent back wait
// in its buffer (sim/BridgeBuffer.h) until the bridge lets them go. Not thread-safe: the
// service calls it under its own lock.

#include "sim/BridgeBuffer.h"
#include "sim/RequestAssembler.h"
#include "sim/StandInWire.h"

#include <QByteArray>
#include <QString>

#include <poll.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace ql::sim {

class TSocketServer {
public:
    // The trackers' side, implemented by the service.
    class THandler {
    public:
        virtual std::vector<wire::TListEntry> ListTrackers(uint8_t link) = 0;
        // The tracker on the bus that an open names: its slot id, 0 when there is none.
        virtual uint64_t OpenTracker(uint8_t link, uint16_t tag, const QByteArray& serialText) = 0;
        // The tracker's bridge keeps its default latency timer whatever is set.
        virtual bool FixedLatencyTimer(uint64_t slotId) = 0;
        // A whole request to the tracker opened on a connection. It may close connections.
        virtual void Request(uint64_t connectionId, uint64_t slotId,
                             const TAssembledRequest& request) = 0;
        // A connection has gone: replies still due for it are dropped.
        virtual void ConnectionClosed(uint64_t connectionId) = 0;

    protected:
        ~THandler() = default;
    };

    explicit TSocketServer(THandler& handler);
    ~TSocketServer();

    bool Listen(const QString& path, QString* error);
    // Closes every connection and the socket, and removes the socket's file.
    void Close();
    int ListenFd() const { return Fd; }

    // Adds each connection's descriptor to a poll set, with the connection's id as owner.
    void Watch(std::vector<pollfd>& fds, std::vector<uint64_t>& owners) const;
    void Accept();
    // Takes in what a connection has sent; nowMs times the requests' pieces.
    void Read(uint64_t connectionId, int64_t nowMs);
    // Bytes of a tracker's reply to the library that holds the connection; on a bridge
    // they start waiting at nowUs.
    void Send(uint64_t connectionId, const QByteArray& bytes, int64_t nowUs);
    // Sends what the bridges let go by nowUs.
    void Release(int64_t nowUs);
    // When a bridge has something to let go next; INT64_MAX when none holds anything.
    int64_t NextReleaseUs() const;
    // When the connection's bridge lets go the last byte it holds now; INT64_MAX when it
    // holds none.
    int64_t HeldUntilUs(uint64_t connectionId);
    void CloseConnection(uint64_t connectionId);
    // The connections opened on a tracker, when it drops off the bus or is removed.
    void CloseConnectionsOf(uint64_t slotId);

private:
    struct TConnection;

    void HandleMessage(TConnection& connection, const uint8_t* bytes, size_t count, int64_t nowMs);
    TConnection* Find(uint64_t connectionId);
    void SendData(const TConnection& connection, const QByteArray& bytes);

    THandler& Handler;
    QString Path;
    int Fd = -1;
    uint64_t NextId = 1;  // 0 stands for a tracker's COM line
    std::vector<std::unique_ptr<TConnection>> Connections;
    std::vector<uint8_t> ReadBuffer;
};

}  // namespace ql::sim
