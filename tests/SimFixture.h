#pragma once
// A running simulator with the stand-in libraries bound and pointed at it, and a
// datagram socket that collects the device-change events it sends.

#include "sim/Simulator.h"
#include "tests/SimDrivers.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace ql::test {

// Test trackers reboot quickly.
inline constexpr int kTestRebootMs = 40;

inline sim::TSimTracker TestTracker(uint32_t serial, sim::TSimLink link,
                                    sim::TSimMode mode = sim::TSimMode::Bootloader)
{
    sim::TSimTracker t;
    t.Serial = serial;
    t.Link = link;
    t.Mode = mode;
    t.RebootDelayMs = kTestRebootMs;
    return t;
}

// Waits until the condition holds; false after timeoutMs.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 2000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(2);
    }
    return true;
}

class TEventCatcher {
public:
    TEventCatcher()
    {
        Path = Dir.filePath("events").toLocal8Bit();
        Fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, Path.constData(), sizeof(a.sun_path) - 1);
        ::bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    }
    ~TEventCatcher() { ::close(Fd); }
    // The datagrams received so far, concatenated.
    QByteArray Take()
    {
        QByteArray all;
        char b[16];
        ssize_t n;
        while ((n = ::recv(Fd, b, sizeof(b), 0)) > 0)
            all.append(b, n);
        return all;
    }
    QTemporaryDir Dir;
    QByteArray Path;
    int Fd = -1;
};

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(Sim.Start(&error)) << error.toStdString();
        qputenv("QLSIM_SOCKET", Sim.SocketPath().toLocal8Bit());
        ASSERT_TRUE(Libs.Load()) << Libs.FtdiLib.errorString().toStdString();
        Sim.SetDeviceEventsPath(QString::fromLocal8Bit(Events.Path));
    }

    sim::TSimulator Sim;
    TStandIns Libs;
    TEventCatcher Events;
};

}  // namespace ql::test
