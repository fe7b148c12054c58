#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace ql::sim {

TPseudoTerminal::~TPseudoTerminal()
{
    if (Slave >= 0)
        ::close(Slave);
    if (Master >= 0)
        ::close(Master);
}

bool TPseudoTerminal::Open()
{
    Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0)
        return false;
    char name[128];
    if (::ptsname_r(Master, name, sizeof(name)) != 0)
        return false;
    Path = QString::fromLocal8Bit(name);
    Slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Slave < 0)
        return false;
    // Raw from the start: no echo, no line editing, no translation of CR or LF, so the
    // frames cross unchanged whatever the loader sets up.
    termios line{};
    if (::tcgetattr(Slave, &line) != 0)
        return false;
    ::cfmakeraw(&line);
    ::cfsetispeed(&line, B115200);
    ::cfsetospeed(&line, B115200);
    return ::tcsetattr(Slave, TCSANOW, &line) == 0;
}

}  // namespace ql::sim
