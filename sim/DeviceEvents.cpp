#include "sim/DeviceEvents.h"

#include "sim/UnixAddress.h"

#include <QFile>

#include <sys/socket.h>
#include <unistd.h>

namespace ql::sim {
namespace {

constexpr char kEventsEnv[] = "QLFW_DEVICE_EVENTS";
constexpr char kDevicesChanged[] = "7";

}  // namespace

TDeviceEvents::TDeviceEvents()
    : Path(qgetenv(kEventsEnv))
    , Fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
{
}

TDeviceEvents::~TDeviceEvents()
{
    if (Fd >= 0)
        ::close(Fd);
}

void TDeviceEvents::SetPath(const QString& path)
{
    Path = QFile::encodeName(path);
}

void TDeviceEvents::DevicesChanged()
{
    sockaddr_un address;
    if (Fd >= 0 && FillUnixAddress(Path, address))
        ::sendto(Fd, kDevicesChanged, 1, MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<sockaddr*>(&address), sizeof(address));
}

}  // namespace ql::sim
