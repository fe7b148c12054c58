// qltracker-sim as a program: its JSON config, its control socket, and a tracker it
// serves reached through the stand-in libraries, as tests and benchmarks script it.

#include "links/LoaderRecord.h"
#include "sim/SimConfig.h"
#include "tests/Bytes.h"
#include "tests/SimDrivers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace ql::test {
namespace {

using namespace ql::sim;

TEST(SimConfigTest, TrackersReadFromJsonWithNamesOfTheFields)
{
    std::vector<TSimTracker> trackers;
    QString error;
    ASSERT_TRUE(TrackersFromJson(R"({"Trackers": [
        {"Serial": 1000009, "Link": "ComPort", "Mode": "Application", "ProcessorId": "0x26013F37",
         "RebootDelayMs": 20, "Faults": {"EraseStatus": "0x83", "PaceBaud": true}},
        {"Serial": 42, "Link": "MakerUsb", "UsbTag": 3}]})", trackers, error))
        << error.toStdString();
    ASSERT_EQ(trackers.size(), 2u);
    EXPECT_EQ(trackers[0].Link, TSimLink::ComPort);
    EXPECT_EQ(trackers[0].Mode, TSimMode::Application);
    EXPECT_EQ(trackers[0].ProcessorId, 0x26013F37u);
    EXPECT_EQ(trackers[0].Faults.EraseStatus, 0x83);
    EXPECT_EQ(trackers[0].Faults.PaceBaud, kDefaultPaceBaud);
    EXPECT_EQ(trackers[1].UsbTag, 3);
    EXPECT_EQ(trackers[1].FirmwareVersion, "QRGX-13.38");  // defaults stay

    TSimTracker back;
    ASSERT_TRUE(TrackerFromJson(TrackerToJson(trackers[0]), back, error));
    EXPECT_EQ(back.ProcessorId, trackers[0].ProcessorId);
    EXPECT_EQ(back.Faults.PaceBaud, trackers[0].Faults.PaceBaud);
}

TEST(SimConfigTest, MistakesAreNamed)
{
    struct TCase {
        const char* Json;
        const char* Error;
    };
    const TCase cases[] = {
        {R"([{"Serial": 1, "Faults": {"EraseStatuss": 131}}])", "EraseStatuss"},
        {R"([{"Serial": 1, "Link": "Bluetooth"}])", "Link"},
        {R"([{"Link": "Ftdi"}])", "Serial"},
        {R"([{"Serial": 0}])", "Serial"},
        {R"([{"Serial": 1, "UsbTag": 70000}])", "UsbTag"},
        {R"({"Trackers": [)", ""},
    };
    for (const auto& c : cases) {
        std::vector<TSimTracker> trackers;
        QString error;
        EXPECT_FALSE(TrackersFromJson(c.Json, trackers, error)) << c.Json;
        EXPECT_TRUE(error.contains(QLatin1String(c.Error))) << c.Json << " -> " << error.toStdString();
    }
}

// A client of the control socket.
class TControlClient {
public:
    ~TControlClient() { ::close(Fd); }
    bool Connect(const QByteArray& path)
    {
        Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.constData(), sizeof(a.sun_path) - 1);
        return ::connect(Fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    }
    QByteArray Ask(const QByteArray& line)
    {
        const QByteArray out = line + '\n';
        if (::send(Fd, out.constData(), size_t(out.size()), MSG_NOSIGNAL) != out.size())
            return {};
        while (!Pending.contains('\n')) {
            pollfd p{Fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return {};
            char b[65536];
            const ssize_t n = ::recv(Fd, b, sizeof(b), 0);
            if (n <= 0)
                return {};
            Pending.append(b, n);
        }
        const qsizetype end = Pending.indexOf('\n');
        const QByteArray answer = Pending.left(end);
        Pending.remove(0, end + 1);
        return answer;
    }
    int Fd = -1;
    QByteArray Pending;
};

QJsonArray AnswerArray(const QByteArray& answer)
{
    return QJsonDocument::fromJson(answer.mid(3)).array();
}

TEST(SimProgramTest, ControlSocketScriptsTheTrackersOfARunningSimulator)
{
    QTemporaryDir dir;
    const QString config = dir.filePath("trackers.json");
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"Trackers": [{"Serial": 5000001, "Link": "Ftdi", "RebootDelayMs": 20}]})");
    file.close();
    const QByteArray control = dir.filePath("control").toLocal8Bit();

    QProcess sim;
    sim.start(QStringLiteral(QLTRACKER_SIM_PATH), {"--config", config, "--control", QString::fromLocal8Bit(control)});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray banner;
    while (!banner.contains("Ready.") && sim.waitForReadyRead(5000))
        banner += sim.readAllStandardOutput();
    ASSERT_TRUE(banner.contains("Ready.")) << banner.toStdString();
    const qsizetype at = banner.indexOf("QLSIM_SOCKET=") + 13;
    const QByteArray socket = banner.mid(at, banner.indexOf('\n', at) - at);
    EXPECT_TRUE(banner.contains("LD_LIBRARY_PATH="));
    EXPECT_TRUE(banner.contains("5000001"));
    qputenv("QLSIM_SOCKET", socket);

    TControlClient client;
    ASSERT_TRUE(client.Connect(control));
    EXPECT_EQ(client.Ask("mode 5000001"), "OK Bootloader");
    EXPECT_EQ(client.Ask("present 5000001"), "OK 1");
    const QByteArray added = client.Ask(R"(add {"Serial": 5000002, "Link": "ComPort"})");
    EXPECT_TRUE(added.startsWith("OK /dev/")) << added.toStdString();
    EXPECT_EQ(client.Ask("wire 5000002"), "OK 0 0");
    EXPECT_TRUE(client.Ask("wire 5000001").startsWith("ERR"));  // not on a COM line
    EXPECT_EQ(AnswerArray(client.Ask("list")).size(), 2);
    EXPECT_EQ(client.Ask("remove 5000002"), "OK");
    EXPECT_TRUE(client.Ask("remove 5000002").startsWith("ERR"));
    EXPECT_TRUE(client.Ask("frobnicate").startsWith("ERR"));
    EXPECT_EQ(client.Ask(R"(faults 5000001 {"EraseStatus": "0x8A"})"), "OK");

    TStandIns libs;
    ASSERT_TRUE(libs.Load());
    {
        TLoaderLink link(libs, true);
        ASSERT_TRUE(link.Open(5000001));
        const QByteArray piece = BuildLoaderRecord(kCmdWriteOld, 5, 0x08020000, U8(QByteArray(512, 'Q')), 512);
        EXPECT_EQ(link.Exchange(piece, 2000, 14).size(), 14);
        const QByteArray erase = link.Exchange(BuildLoaderRecord(kCmdEraseOld, 5, 0x08020000), 2000, 14);
        TLoaderHeader h;
        ASSERT_TRUE(ReadLoaderHeader(U8(erase), size_t(erase.size()), h));
        EXPECT_EQ(h.Command, 0x8A);
    }

    const QJsonArray trace = AnswerArray(client.Ask("trace 5000001"));
    ASSERT_EQ(trace.size(), 2);
    EXPECT_EQ(trace[0].toObject()["Command"].toInt(), kCmdWriteOld);
    EXPECT_EQ(trace[0].toObject()["Length"].toInt(), 526);
    EXPECT_EQ(trace[1].toObject()["Argument32"].toInteger(), 0x08020000);
    EXPECT_FALSE(AnswerArray(client.Ask("trace 5000001 brief"))[0].toObject().contains("Bytes"));

    const QString dump = dir.filePath("flash.bin");
    EXPECT_EQ(client.Ask("dump 5000001 " + dump.toLocal8Bit()), "OK 0x8020000 917504");
    QFile flash(dump);
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.read(512), QByteArray(512, 'Q'));

    EXPECT_EQ(client.Ask("quit"), "OK");
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(control)));
    EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(socket)));
}

TEST(SimProgramTest, WithoutConfigThreeTrackersFitTheEmbeddedImage)
{
    QProcess sim;
    sim.start(QStringLiteral(QLTRACKER_SIM_PATH), {});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray banner;
    while (!banner.contains("Ready.") && sim.waitForReadyRead(5000))
        banner += sim.readAllStandardOutput();
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_TRUE(banner.contains("Bootloader   FTDI bridge \"Quillomar\"")) << banner.toStdString();
    EXPECT_TRUE(banner.contains("Application  maker USB"));
    EXPECT_TRUE(banner.contains("Application  COM port /dev/pts/"));
}

TEST(SimProgramTest, BadConfigEndsWithTheReason)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("bad.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"([{"Serial": 7, "Mood": "Bootloader"}])");
    file.close();
    QProcess sim;
    sim.start(QStringLiteral(QLTRACKER_SIM_PATH), {"--config", file.fileName()});
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_NE(sim.exitCode(), 0);
    EXPECT_TRUE(sim.readAllStandardError().contains("Mood"));
}

}  // namespace
}  // namespace ql::test
