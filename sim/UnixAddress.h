#pragma once
// The address of a Unix-domain socket at a path, for the simulator's sockets.

#include <QByteArray>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

namespace ql::sim {

// False for an empty path or one longer than a socket address holds.
inline bool FillUnixAddress(const QByteArray& path, sockaddr_un& address)
{
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

}  // namespace ql::sim
