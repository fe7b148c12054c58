// The built loader against the simulator: the stand-in driver libraries on the library
// path, the simulator reached through QLSIM_SOCKET and its device-change datagrams
// through QLFW_DEVICE_EVENTS. Each run writes the embedded image with automatic writing
// and closing, so a run that ends with status 1 has completed a write.

#include "LoaderProcess.h"
#include "firmware/FirmwareSources.h"
#include "sim/Simulator.h"

using namespace ql;
using namespace ql::test;

namespace {

// A whole write of the embedded image over a stand-in link, with the restarts.
constexpr int kRunMs = 90000;
constexpr int kImageHeaderSize = 42;

class LoaderEndToEnd : public TLoaderProcessTest {
protected:
    void SetUp() override
    {
        TLoaderProcessTest::SetUp();
        keepLibraryPath = true;
        events = dir.filePath("events");
        sim.SetDeviceEventsPath(events);
        QString error;
        ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
        extraEnv.insert("QLSIM_SOCKET", sim.SocketPath());
        extraEnv.insert("QLFW_DEVICE_EVENTS", events);
        ASSERT_TRUE(WriteFileBytes(Ini(), "[COMMON]\nLanguage=English\n"));
    }

    // Runs the loader until it ends by itself; its output.
    QByteArray Run(const QStringList& arguments, int& status)
    {
        QProcess loader;
        loader.setProcessChannelMode(QProcess::MergedChannels);
        Start(loader, arguments);
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        while (loader.state() != QProcess::NotRunning && timer.elapsed() < kRunMs) {
            loader.waitForReadyRead(100);
            out += loader.readAll();
        }
        if (loader.state() != QProcess::NotRunning) {
            loader.kill();
            loader.waitForFinished();
            ADD_FAILURE() << "the loader did not close itself";
        }
        out += loader.readAll();
        status = loader.exitCode();
        return out;
    }

    void ExpectImageInFlash(uint32_t serial)
    {
        const QByteArray payload = EmbeddedImage().mid(kImageHeaderSize);
        ASSERT_FALSE(payload.isEmpty());
        EXPECT_TRUE(sim.Flash(serial).startsWith(payload)) << "flash of " << serial << " is not the image";
    }

    sim::TSimulator sim;
    QString events;
};

TEST_F(LoaderEndToEnd, AnFtdiTrackerInItsBootloaderIsWrittenAndTheLoaderClosesWithOne)
{
    sim::TSimTracker tracker;
    tracker.Serial = 1000001;
    ASSERT_TRUE(sim.AddTracker(tracker));
    int status = -1;
    const QByteArray out = Run({"autowrite", "autoclose", "console"}, status);
    EXPECT_EQ(status, 1) << out.constData();
    EXPECT_TRUE(out.contains("Device 1000001\tDevice connected\n")) << out.constData();
    EXPECT_TRUE(out.contains("Device 1000001\tOperation mode - Bootloader\n"));
    EXPECT_TRUE(out.contains("Device 1000001\tStarting firmware updating\n"));
    EXPECT_TRUE(out.contains(")Firmware is successfully loaded\n"));
    ExpectImageInFlash(tracker.Serial);
}

TEST_F(LoaderEndToEnd, AMakerUsbTrackerRestartsIntoItsBootloaderAndIsFoundAgain)
{
    sim::TSimTracker tracker;
    tracker.Serial = 1000002;
    tracker.Link = sim::TSimLink::MakerUsb;
    tracker.Mode = sim::TSimMode::Application;
    ASSERT_TRUE(sim.AddTracker(tracker));
    sim::TSimTracker other = tracker;  // filtered out by the serial option
    other.Serial = 1000009;
    other.UsbTag = 2;
    ASSERT_TRUE(sim.AddTracker(other));
    int status = -1;
    const QByteArray out = Run({"autowrite", "autoclose", "console", "serial1000002"}, status);
    EXPECT_EQ(status, 1) << out.constData();
    EXPECT_TRUE(out.contains("Device 1000002\tOperation mode - Firmware\n")) << out.constData();
    EXPECT_TRUE(out.contains("Device 1000002\tDevice disconnected\n"));
    EXPECT_TRUE(out.contains("Device 1000002\tOperation mode - Bootloader\n"));
    EXPECT_FALSE(out.contains("1000009"));
    ExpectImageInFlash(tracker.Serial);
    EXPECT_EQ(sim.Mode(other.Serial), sim::TSimMode::Application);
}

TEST_F(LoaderEndToEnd, AComPortTrackerIsSwitchedWrittenAndTheLoaderClosesWithOne)
{
    sim::TSimTracker tracker;
    tracker.Serial = 1000003;
    tracker.Link = sim::TSimLink::ComPort;
    tracker.Mode = sim::TSimMode::Application;
    ASSERT_TRUE(sim.AddTracker(tracker));
    // Named as the port list shows it: the pseudo-terminal's name under /dev ("pts/N"),
    // while the loader runs in a folder of its own.
    const QString path = sim.ComPortPath(tracker.Serial);
    ASSERT_TRUE(path.startsWith("/dev/pts/"));
    int status = -1;
    const QByteArray out = Run({"autowrite", "autoclose", "console", "comport=" + path.mid(5)}, status);
    EXPECT_EQ(status, 1) << out.constData();
    EXPECT_TRUE(out.contains("Device -------\tBootloader starting. wait...\n")) << out.constData();
    EXPECT_TRUE(out.contains("Device 1000003\tOperation mode - Bootloader\n"));
    ExpectImageInFlash(tracker.Serial);
}

}  // namespace
