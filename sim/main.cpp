// qltracker-sim: simulated trackers for the loader, behind the stand-in driver libraries
// and on pseudo-terminals. Runs until interrupted or told "quit" on its control socket.

#include "sim/ControlServer.h"
#include "sim/SimConfig.h"
#include "sim/Simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <signal.h>
#include <time.h>

#include <cstdio>

namespace {

using namespace ql::sim;

constexpr char kUsage[] =
    "Usage: qltracker-sim [--config FILE] [--control PATH] [--events PATH]\n"
    "\n"
    "Simulated trackers for qlfwloader: behind the stand-in FTDI and maker-USB driver\n"
    "libraries, or on pseudo-terminals as COM ports.\n"
    "\n"
    "  --config FILE   JSON description of the trackers (see sim/README.md); without it,\n"
    "                  three trackers that take the embedded image: FTDI in its\n"
    "                  bootloader, maker USB and a COM port in their application firmware\n"
    "  --control PATH  a Unix socket taking one command per line (add, remove, faults,\n"
    "                  trace, cleartrace, dump, mode, present, wire,\n"
    "                  linetime, list, quit)\n"
    "  --events PATH   where device-change datagrams go (default: $QLFW_DEVICE_EVENTS)\n"
    "  --help          this text\n";

constexpr int kQuitPollMs = 100;

std::vector<TSimTracker> DefaultTrackers()
{
    TSimTracker ftdi;
    ftdi.Serial = 1000001;
    ftdi.Link = TSimLink::Ftdi;
    ftdi.Mode = TSimMode::Bootloader;
    TSimTracker usb;
    usb.Serial = 1000002;
    usb.Link = TSimLink::MakerUsb;
    usb.Mode = TSimMode::Application;
    TSimTracker com;
    com.Serial = 1000003;
    com.Link = TSimLink::ComPort;
    com.Mode = TSimMode::Application;
    return {ftdi, usb, com};
}

QString Where(const TSimulator& sim, const TSimTracker& t)
{
    switch (t.Link) {
    case TSimLink::Ftdi:
        return QStringLiteral("FTDI bridge \"%1\"").arg(QString::fromLatin1(t.FtdiDescription));
    case TSimLink::MakerUsb:
        return QStringLiteral("maker USB, device number %1").arg(t.UsbTag);
    case TSimLink::ComPort:
        return QStringLiteral("COM port %1").arg(sim.ComPortPath(t.Serial));
    }
    return {};
}

// Built, the stand-in libraries sit in stand-in/ beside the program; installed, in the
// package's private folder, which is never on the library search path.
QString StandInFolder()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString built = QDir::cleanPath(programDir.filePath(QStringLiteral("stand-in")));
    const QString installed = QDir::cleanPath(programDir.filePath(QStringLiteral(QL_STANDIN_FROM_PROGRAM_DIR)));
    if (!QFileInfo::exists(built) && QFileInfo::exists(installed))
        return installed;
    return built;
}

int Fail(const QString& text)
{
    std::fprintf(stderr, "qltracker-sim: %s\n", qPrintable(text));
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString configPath, controlPath, eventsPath;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--config" && hasValue)
            configPath = args[++i];
        else if (a == "--control" && hasValue)
            controlPath = args[++i];
        else if (a == "--events" && hasValue)
            eventsPath = args[++i];
        else {
            std::fputs(kUsage, stderr);
            return Fail(QStringLiteral("unknown or incomplete option \"%1\"").arg(a));
        }
    }

    std::vector<TSimTracker> trackers = DefaultTrackers();
    if (!configPath.isEmpty()) {
        QFile file(configPath);
        QString error;
        if (!file.open(QIODevice::ReadOnly))
            return Fail(QStringLiteral("cannot read %1").arg(configPath));
        if (!TrackersFromJson(file.readAll(), trackers, error))
            return Fail(QStringLiteral("%1: %2").arg(configPath, error));
    }

    // Ended by a signal as cleanly as by "quit": pseudo-terminals and sockets go away.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TSimulator sim;
    if (!eventsPath.isEmpty())
        sim.SetDeviceEventsPath(eventsPath);
    QString error;
    if (!sim.Start(&error))
        return Fail(error);
    for (const TSimTracker& t : trackers)
        if (!sim.AddTracker(t))
            return Fail(QStringLiteral("tracker %1 could not be added (serial 0 or twice?)").arg(t.Serial));
    TControlServer control(sim);
    if (!controlPath.isEmpty() && !control.Start(controlPath, &error))
        return Fail(error);

    const QString standIns = StandInFolder();
    std::printf("qltracker-sim: %zu tracker(s)\n", trackers.size());
    for (const TSimTracker& t : trackers)
        std::printf("  %7u  %-11s  %s\n", t.Serial, qPrintable(ModeName(t.Mode)),
                    qPrintable(Where(sim, t)));
    std::printf("A loader reaches them with:\n  export LD_LIBRARY_PATH=%s\n  export QLSIM_SOCKET=%s\n",
                qPrintable(standIns), qPrintable(sim.SocketPath()));
    if (!controlPath.isEmpty())
        std::printf("Control socket: %s\n", qPrintable(controlPath));
    std::printf("Ready.\n");
    std::fflush(stdout);

    const timespec wait{0, kQuitPollMs * 1000000L};
    while (!control.QuitRequested()) {
        if (sigtimedwait(&stopSignals, nullptr, &wait) > 0)
            break;
    }
    control.Stop();
    sim.Stop();
    return 0;
}
