#include "sim/standin/StandInClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace ql::sim::standin {
namespace {

int Connect()
{
    const char* path = std::getenv(wire::kSocketEnv);
    if (!path || !*path)
        return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof(address.sun_path))
        return -1;
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Send(int fd, const std::vector<uint8_t>& message)
{
    return ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == ssize_t(message.size());
}

// One message within the time-out; its length, or -1.
ssize_t Receive(int fd, std::vector<uint8_t>& buffer, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return -1;
    buffer.resize(wire::kMaxMessage);
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    return n > 0 ? n : -1;
}

}  // namespace

bool ListDevices(uint8_t kind, std::vector<wire::TListEntry>& out)
{
    out.clear();
    const int fd = Connect();
    if (fd < 0)
        return false;
    std::vector<uint8_t> buffer;
    bool ok = Send(fd, {wire::kList, kind});
    const ssize_t n = ok ? Receive(fd, buffer, wire::kReplyTimeoutMs) : -1;
    ::close(fd);
    return n > 0 && wire::ParseListReply(buffer.data(), size_t(n), out);
}

TDeviceLink::~TDeviceLink()
{
    if (Fd >= 0)
        ::close(Fd);
}

bool TDeviceLink::Open(uint8_t kind, uint16_t tag, const std::string& serialText)
{
    std::lock_guard guard(Lock);
    Fd = Connect();
    if (Fd < 0)
        return false;
    std::vector<uint8_t> buffer;
    if (!Send(Fd, wire::BuildOpenRequest(kind, tag, serialText))
        || Receive(Fd, buffer, wire::kReplyTimeoutMs) != ssize_t(wire::kOpenReplySize)
        || buffer[0] != wire::kOpenReply || buffer[1] != 0) {
        ::close(Fd);
        Fd = -1;
        return false;
    }
    Flags = buffer[2];
    return true;
}

void TDeviceLink::Drain(int waitMs)
{
    if (Dead || Fd < 0)
        return;
    // The queue is polled every millisecond by every open link: the buffer is made once,
    // not made and zeroed at each poll.
    std::vector<uint8_t>& buffer = Received;
    if (buffer.size() != wire::kMaxMessage)
        buffer.resize(wire::kMaxMessage);
    // Nothing to wait for: the receive alone says whether a message is there, one system
    // call per look at the queue instead of a poll and a receive.
    for (;;) {
        if (waitMs > 0) {
            pollfd p{Fd, POLLIN, 0};
            if (::poll(&p, 1, waitMs) <= 0)
                return;
            waitMs = 0;
        }
        const ssize_t n = ::recv(Fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Dead = true;
            return;
        }
        if (n > 1 && buffer[0] == wire::kData)
            Queue.insert(Queue.end(), buffer.begin() + 1, buffer.begin() + n);
    }
}

uint32_t TDeviceLink::Queued()
{
    std::lock_guard guard(Lock);
    Drain(0);
    return uint32_t(Queue.size());
}

bool TDeviceLink::Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t& got)
{
    std::lock_guard guard(Lock);
    got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Drain(0);
    while (Queue.size() < count && !Dead) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        Drain(int(left.count()));
    }
    if (Dead && Queue.empty())
        return false;
    got = uint32_t(std::min<size_t>(count, Queue.size()));
    if (got > 0) {
        std::memcpy(buffer, Queue.data(), got);
        Queue.erase(Queue.begin(), Queue.begin() + got);
    }
    return true;
}

bool TDeviceLink::Write(const uint8_t* bytes, uint32_t count)
{
    std::lock_guard guard(Lock);
    Drain(0);
    if (Dead || Fd < 0)
        return false;
    if (count == 0)
        return true;
    if (count + 1 > wire::kMaxMessage)
        return false;
    std::vector<uint8_t> message(count + 1);
    message[0] = wire::kWrite;
    std::memcpy(&message[1], bytes, count);
    if (!Send(Fd, message)) {
        Dead = true;
        return false;
    }
    return true;
}

void TDeviceLink::Purge(bool tell)
{
    std::lock_guard guard(Lock);
    if (tell && !Dead && Fd >= 0 && !Send(Fd, {wire::kPurge}))
        Dead = true;
    Drain(0);
    Queue.clear();
}

bool TDeviceLink::Control(const std::vector<uint8_t>& message)
{
    std::lock_guard guard(Lock);
    Drain(0);
    if (Dead || Fd < 0)
        return false;
    if (!Send(Fd, message)) {
        Dead = true;
        return false;
    }
    return true;
}

bool TDeviceLink::Alive()
{
    std::lock_guard guard(Lock);
    Drain(0);
    return !Dead;
}

}  // namespace ql::sim::standin
