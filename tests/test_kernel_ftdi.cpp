// The built loader reaching trackers behind FTDI bridges through the kernel's own driver:
// no driver library on its path, the bridges in a umockdev testbed whose ttyUSBn nodes
// are pseudo-terminals served by the simulator, with the bridge's latency timer modelled.
//
// The testbed is seen only under umockdev's preload library, so this program starts
// itself again under umockdev-wrapper; the loaders it starts inherit the preload. The
// preload cannot be combined with a sanitizer's runtime (which must come first), so these
// tests carry the label "umockdev" and the sanitizer runs leave them out.

#include "KernelBridgeBed.h"
#include "LoaderProcess.h"
#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"
#include "firmware/FirmwareSources.h"
#include "sim/Simulator.h"

#include <QStandardPaths>

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <vector>

using namespace ql;
using namespace ql::test;

namespace {

constexpr char kPreloadLibrary[] = "libumockdev-preload.so";
constexpr char kWrapper[] = "umockdev-wrapper";
// A whole write of the embedded image, with the tracker's restarts.
constexpr int kRunMs = 120000;
constexpr int kImageHeaderSize = 42;

QString g_skipReason;

bool UnderPreload()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, kPreloadLibrary) != nullptr;
}

QString Text(int message) { return MessageText(kEnglish, message); }

class KernelFtdi : public TLoaderProcessTest {
protected:
    void SetUp() override
    {
        if (!g_skipReason.isEmpty())
            GTEST_SKIP() << g_skipReason.toStdString();
        TLoaderProcessTest::SetUp();
        sim.SetDeviceEventsPath(QString());
        QString error;
        ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
        ASSERT_TRUE(WriteFileBytes(Ini(), "[COMMON]\nLanguage=English\n"));
    }

    // A bridge in the testbed; with a tracker, the simulator serves it on the bridge's line.
    void AddBridge(const TBridgeSpec& bridge, bool withTracker)
    {
        QString error;
        ASSERT_TRUE(bed.Add(bridge, error)) << error.toStdString();
        if (!withTracker)
            return;
        sim::TSimTracker tracker;
        tracker.Serial = uint32_t(bridge.Serial.toUInt());
        ASSERT_TRUE(sim.AddKernelFtdiTracker(tracker, bed.LineFd(bridge), bed.LatencyTimerFile(bridge)));
    }

    // Reads the loader's output until it holds text or the loader ended.
    bool ReadUntil(QProcess& loader, QByteArray& out, const QByteArray& text, int timeoutMs = kRunMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!out.contains(text) && loader.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs) {
            loader.waitForReadyRead(100);
            out += loader.readAll();
        }
        out += loader.readAll();
        return out.contains(text);
    }

    void Finish(QProcess& loader)
    {
        if (loader.state() == QProcess::NotRunning)
            return;
        loader.terminate();
        if (!loader.waitForFinished(kStartMs)) {
            loader.kill();
            loader.waitForFinished();
        }
    }

    void ExpectImageInFlash(uint32_t serial)
    {
        const QByteArray payload = EmbeddedImage().mid(kImageHeaderSize);
        ASSERT_FALSE(payload.isEmpty());
        EXPECT_TRUE(sim.Flash(serial).startsWith(payload)) << "flash of " << serial << " is not the image";
    }

    static QByteArray DeviceLine(uint32_t serial, int message)
    {
        return "Device " + QByteArray::number(serial) + "\t" + Text(message).toUtf8() + "\n";
    }

    TKernelBridgeBed bed;
    sim::TSimulator sim;
};

const TBridgeSpec kTracker{0, "0403", "Quillomar", "1000001"};

TEST_F(KernelFtdi, OnlyTheTrackersBridgeIsListedWrittenAndItsLatencyTimerSetToOne)
{
    AddBridge(kTracker, true);
    // Decoys, each with a tracker behind it that a wrong listing would find.
    AddBridge({1, "0403", "Quillomar ", "1000002"}, true);
    AddBridge({2, "0403", "quillomar", "1000003"}, true);
    AddBridge({3, "067b", "Quillomar", "1000004"}, true);
    // Bad input: a serial string that is no number, an empty product string.
    AddBridge({4, "0403", "Quillomar", "A1B2C3"}, false);
    AddBridge({5, "0403", "", "1000006"}, true);

    QProcess loader;
    loader.setProcessChannelMode(QProcess::MergedChannels);
    Start(loader, {"autowrite", "autoclose", "console"});
    ASSERT_TRUE(loader.waitForFinished(kRunMs)) << "the loader did not close itself";
    const QByteArray out = loader.readAll();
    EXPECT_EQ(loader.exitCode(), 1) << out.constData();
    EXPECT_TRUE(out.contains(Text(msg::FtdiThroughSystemDriver).toUtf8())) << out.constData();
    EXPECT_TRUE(out.contains(DeviceLine(1000001, msg::DeviceConnected))) << out.constData();
    EXPECT_TRUE(out.contains("Device 1000001\tOperation mode - Bootloader\n"));
    for (const char* decoy : {"1000002", "1000003", "1000004", "1000006"})
        EXPECT_FALSE(out.contains(QByteArray("Device ") + decoy)) << decoy << "\n" << out.constData();
    ExpectImageInFlash(1000001);
    QFile latency(bed.LatencyTimerFile(kTracker));
    ASSERT_TRUE(latency.open(QIODevice::ReadOnly));
    EXPECT_EQ(latency.readAll().trimmed(), "1");
}

TEST_F(KernelFtdi, TheLatencyTimerSetAtOpenIsTracedUnderTheLinkCategory)
{
    AddBridge(kTracker, true);
    extraEnv.insert("QT_LOGGING_RULES", "ql.link.debug=true");
    QProcess loader;
    loader.setProcessChannelMode(QProcess::MergedChannels);
    Start(loader, {"console"});
    QByteArray out;
    const bool traced = ReadUntil(loader, out, "device 1000001 ftdi (/dev/ttyUSB0): latency timer set to 1 ms");
    Finish(loader);
    EXPECT_TRUE(traced) << out.constData();
}

TEST_F(KernelFtdi, ABridgePluggedInDuringTheRunIsFoundAndWritten)
{
    AddBridge(kTracker, true);
    QProcess loader;
    loader.setProcessChannelMode(QProcess::MergedChannels);
    Start(loader, {"autowrite", "console"});
    QByteArray out;
    const QByteArray written = ")Firmware is successfully loaded\n";
    ASSERT_TRUE(ReadUntil(loader, out, written)) << out.constData();

    const TBridgeSpec second{1, "0403", "Quillomar", "1000002"};
    AddBridge(second, true);
    bed.AnnounceAdded(second);
    ASSERT_TRUE(ReadUntil(loader, out, DeviceLine(1000002, msg::DeviceConnected))) << out.constData();
    const int from = int(out.indexOf(DeviceLine(1000002, msg::DeviceConnected)));
    QByteArray rest = out.mid(from);
    const bool done = ReadUntil(loader, rest, written);
    Finish(loader);
    ASSERT_TRUE(done) << rest.constData();
    ExpectImageInFlash(1000002);
}

TEST_F(KernelFtdi, ABridgeUnpluggedDuringItsWriteEndsTheSessionWithAnError)
{
    AddBridge(kTracker, true);
    QProcess loader;
    loader.setProcessChannelMode(QProcess::MergedChannels);
    Start(loader, {"autowrite", "console"});
    QByteArray out;
    // Pieces of the first sector written: the session has the bridge open.
    ASSERT_TRUE(ReadUntil(loader, out, "\tPart 2 of ")) << out.constData();
    ASSERT_TRUE(sim.RemoveTracker(1000001));
    bed.Unplug(kTracker);
    const bool ended = ReadUntil(loader, out, ")Error ");
    const bool running = loader.state() == QProcess::Running;
    Finish(loader);
    ASSERT_TRUE(ended) << out.constData();
    EXPECT_TRUE(running) << "the loader ended with the session\n" << out.constData();
    EXPECT_FALSE(out.contains(")Firmware is successfully loaded\n"));
    EXPECT_FALSE(out.contains("Device 1000001\tDisable to open device\n")) << out.constData();
}

TEST_F(KernelFtdi, ANodeThatCannotBeReadIsNamedWithWhatGivesAccess)
{
    AddBridge(kTracker, true);
    ASSERT_TRUE(QFile::setPermissions(bed.NodeFile(kTracker), QFileDevice::Permissions()));
    QProcess loader;
    loader.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0) {
        // Root opens any node: the loader runs as the user nobody, as a technician would.
        const passwd* nobody = getpwnam("nobody");
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (nobody == nullptr || setpriv.isEmpty())
            GTEST_SKIP() << "running as root without the user nobody or setpriv (util-linux)";
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        ASSERT_EQ(::chown(QFile::encodeName(RuntimeDir()).constData(), nobody->pw_uid, nobody->pw_gid), 0);
        ASSERT_TRUE(QFile::setPermissions(bed.RootDir(), QFileDevice::Permissions(0x7755)));
        ASSERT_TRUE(QFile::setPermissions(bed.IoctlSocketFile(kTracker), QFileDevice::Permissions(0x7777)));
        launcher = {setpriv, {"--reuid=" + QString::number(nobody->pw_uid),
                              "--regid=" + QString::number(nobody->pw_gid), "--clear-groups", "--"}};
    }
    Start(loader, {"console"});
    QByteArray out;
    const QByteArray cannot = FormatText(Text(msg::BridgeCannotOpen), QStringLiteral("/dev/ttyUSB0"),
                                         QString()).toUtf8();
    const QByteArray access = "Access to /dev/ttyUSB0 is given by the udev rule";
    const bool named = ReadUntil(loader, out, access, kStartMs * 3);
    Finish(loader);
    ASSERT_TRUE(named) << out.constData();
    EXPECT_TRUE(out.contains(cannot.left(cannot.indexOf(": ") + 2))) << out.constData();
    EXPECT_FALSE(out.contains("Device 1000001\tOperation mode - Bootloader\n"));
}

}  // namespace

// A sanitizer's runtime must come first in the library list, which the preload takes.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kBuiltWithSanitizer = true;
#else
constexpr bool kBuiltWithSanitizer = false;
#endif

bool ListingOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            return true;
    return false;
}

int main(int argc, char** argv)
{
    if (kBuiltWithSanitizer)
        g_skipReason = QStringLiteral("built with a sanitizer, which umockdev's preload library cannot join");
    else if (!UnderPreload() && !ListingOnly(argc, argv)) {
        const QByteArray wrapper = QFile::encodeName(QStandardPaths::findExecutable(kWrapper));
        if (!wrapper.isEmpty()) {
            std::vector<char*> args{const_cast<char*>(wrapper.constData())};
            args.insert(args.end(), argv, argv + argc);
            args.push_back(nullptr);
            ::execv(wrapper.constData(), args.data());
        }
        g_skipReason = QStringLiteral("umockdev-wrapper (Debian umockdev) is not installed");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
