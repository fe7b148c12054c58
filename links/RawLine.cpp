#include "links/RawLine.h"

#include <termios.h>

namespace ql {
namespace {

struct TRate {
    int Baud;
    speed_t Speed;
};

constexpr TRate kRates[] = {
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(int baud, speed_t& speed)
{
    for (const TRate& rate : kRates) {
        if (rate.Baud == baud) {
            speed = rate.Speed;
            return true;
        }
    }
    return false;
}

}  // namespace

bool SetRawLine(int fd, int baud)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    speed_t in = cfgetispeed(&tio), out = cfgetospeed(&tio);
    if (baud != kKeepLineSpeed) {
        if (!SpeedOf(baud, out))
            return false;
        in = out;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, in);
    cfsetospeed(&tio, out);
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace ql
