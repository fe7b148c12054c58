// The window with its real discovery and write sessions against the in-process
// simulator, through the stand-in driver libraries.

#include "SimWindowFixture.h"
#include "links/ComPortName.h"
#include "links/DriverLibraries.h"
#include "PanelParts.h"
#include "panels/FWLoaderDevGroup.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cerrno>

using namespace ql;
using namespace ql::test;

namespace {

constexpr int kPassMs = kSimPassMs;
constexpr int kWriteMs = 60000;

using WindowDevices = SimWindowTest;

TEST_F(WindowDevices, AMergeShowsNewDevicesWithPanelsAndLines)
{
    sim::TSimTracker boot;
    boot.Serial = 1000001;
    sim::TSimTracker app;
    app.Serial = 1000002;
    app.Link = sim::TSimLink::MakerUsb;
    app.Mode = sim::TSimMode::Application;
    app.RebootDelayMs = 60000;  // stays away for this test
    ASSERT_TRUE(sim.AddTracker(boot));
    ASSERT_TRUE(sim.AddTracker(app));
    TMainForm& w = ShowWithControllers();
    ASSERT_TRUE(PassEndedAfter(0));

    ASSERT_EQ(w.DeviceList().Entries.size(), 2u);
    ASSERT_TRUE(PanelOf(*Entry(1000001)) && PanelOf(*Entry(1000002)));
    const TPanelParts first(*PanelOf(*Entry(1000001)));
    const TPanelParts second(*PanelOf(*Entry(1000002)));
    EXPECT_TRUE(first.UpdateButton->isEnabled());
    EXPECT_FALSE(second.UpdateButton->isEnabled());
    EXPECT_EQ(first.Box->property("qlPanelTop").toInt(), 80);
    EXPECT_EQ(second.Box->property("qlPanelTop").toInt(), 160);
    EXPECT_EQ(w.DevPanel->minimumHeight(), 192);
    EXPECT_EQ(first.BootloaderValue->text(), "STL4-1.05TR");
    EXPECT_EQ(second.BootloaderValue->text(), QString());
    // Asked to restart into its bootloader: the green hint.
    EXPECT_EQ(second.StatusLine->text(), Msg(msg::ReconnectHint));
    EXPECT_EQ(second.StatusLine->palette().color(QPalette::WindowText), QColor(0, 128, 0));

    EXPECT_TRUE(Logged("Device 1000001\tDevice connected"));
    EXPECT_TRUE(Logged("Device 1000001\tFirmware version QRGX-13.38"));
    EXPECT_TRUE(Logged("Device -------\tBootloader version STL4-1.05TR"));  // without its number
    EXPECT_TRUE(Logged("Device 1000001\tProcessor ID 0x00400419"));
    EXPECT_TRUE(Logged("Device 1000001\tOperation mode - Bootloader"));
    EXPECT_TRUE(Logged("Device 1000002\tOperation mode - Firmware"));

    // The restarted tracker is gone from the bus: the next pass removes it.
    const int ended = controllers->Discovery().PassesEnded();
    w.RestartDevTimer();
    ASSERT_TRUE(PassEndedAfter(ended));
    EXPECT_TRUE(Logged("Device 1000002\tDevice disconnected"));
    EXPECT_EQ(Entry(1000002), nullptr);
    EXPECT_EQ(w.DevPanel->minimumHeight(), 96);
}

// A device change while a pass runs may come after the pass listed the devices: one
// more pass follows, so the tracker plugged in meanwhile is found.
TEST_F(WindowDevices, ADeviceChangeDuringAPassIsServedByTheNextPass)
{
    sim::TSimTracker slow;
    slow.Serial = 1000001;
    slow.Link = sim::TSimLink::MakerUsb;
    slow.Faults.ReplyDelayMs = 90;  // keeps the pass busy past the 100 ms debounce
    ASSERT_TRUE(sim.AddTracker(slow));
    TMainForm& w = ShowWithControllers();
    // The pass lists the devices before it identifies them: once the slow tracker is asked,
    // the list is made.
    ASSERT_TRUE(PumpUntil([&] { return !sim.Trace(slow.Serial).empty(); }, kPassMs));
    ASSERT_TRUE(controllers->Discovery().PassRunning());
    sim::TSimTracker late;
    late.Serial = 1000002;
    late.Link = sim::TSimLink::MakerUsb;
    late.UsbTag = 2;
    ASSERT_TRUE(sim.AddTracker(late));
    w.RestartDevTimer();  // as the system's notification of the new device does
    ASSERT_TRUE(PumpUntil([&] { return Entry(1000002) != nullptr; }, kPassMs))
        << LogLines().join(u'\n').toStdString();
    EXPECT_NE(Entry(1000001), nullptr);
}

TEST_F(WindowDevices, TheButtonWritesTheDeviceAndTheEndReportTurnsGreen)
{
    sim::TSimTracker boot;
    boot.Serial = 1000001;
    boot.Link = sim::TSimLink::MakerUsb;  // the quicker link; FTDI is written end to end
    ASSERT_TRUE(sim.AddTracker(boot));
    TMainForm& w = ShowWithControllers();
    ASSERT_TRUE(PumpUntil([&] { return Entry(1000001) != nullptr; }, kPassMs));
    const TPanelParts panel(*PanelOf(*Entry(1000001)));
    panel.UpdateButton->click();
    EXPECT_FALSE(panel.UpdateButton->isEnabled());
    EXPECT_EQ(panel.StatusLine->text(), Msg(msg::StatusUpdating));
    EXPECT_TRUE(Logged("Device 1000001\tStarting firmware updating"));
    // A second press while it runs does nothing; StartWrite itself says it is loading.
    controllers->Writes().StartWrite(*Entry(1000001));
    EXPECT_TRUE(Logged("Device 1000001\tFirmware is loading"));

    ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 0; }, kWriteMs));
    EXPECT_EQ(panel.StatusLine->text(), Msg(msg::StatusUpdateDone));
    EXPECT_EQ(panel.StatusLine->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_TRUE(panel.UpdateButton->isEnabled());
    EXPECT_EQ(panel.Progress->value(), 100);
    EXPECT_TRUE(w.isVisible());  // no automatic close
    EXPECT_EQ(w.ExitCode(), -1);
}

TEST_F(WindowDevices, ALockedDeviceLeavesTheProgramOpenWithMessagesEighteenAndTwentyOne)
{
    sim::TSimTracker boot;
    boot.Serial = 1000001;
    boot.Faults.EraseStatus = 0x8A;
    ASSERT_TRUE(sim.AddTracker(boot));
    LoaderOptions options;
    options.autoWrite = options.autoClose = true;
    TMainForm& w = ShowWithControllers(options);
    ASSERT_TRUE(PumpUntil([&] { return Logged("Device 1000001\tStarting firmware updating"); }, kPassMs));
    ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 0; }, kWriteMs));
    const TPanelParts panel(*PanelOf(*Entry(1000001)));
    EXPECT_EQ(panel.StatusLine->text(), Msg(msg::StatusLocked));
    EXPECT_EQ(panel.StatusLine->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(Logged("Device 1000001\t" + Msg(msg::SettingsProtected)));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.ExitCode(), -1);
}

// Closing while a session writes: the window's destruction stops it and waits, and the
// session's remaining hand-overs are dropped instead of blocking.
TEST_F(WindowDevices, DestroyingTheWindowDuringAWriteStopsTheSession)
{
    sim::TSimTracker boot;
    boot.Serial = 1000001;
    ASSERT_TRUE(sim.AddTracker(boot));
    LoaderOptions options;
    options.autoWrite = true;
    ShowWithControllers(options);
    ASSERT_TRUE(PumpUntil([&] { return LogLines().filter("Recording sector").size() > 0; }, kWriteMs));
    Destroy();
    // The tracker got the abort and is still in its bootloader.
    EXPECT_EQ(sim.Mode(boot.Serial), sim::TSimMode::Bootloader);
}

// Stopping the sessions frees them while their end reports may still be queued: a late
// report finds no running session and does nothing.
TEST_F(WindowDevices, AnEndReportQueuedBeforeTheStopIsIgnored)
{
    sim::TSimTracker boot;
    boot.Serial = 1000001;
    boot.Link = sim::TSimLink::MakerUsb;
    ASSERT_TRUE(sim.AddTracker(boot));
    TMainForm& w = ShowWithControllers();
    ASSERT_TRUE(PumpUntil([&] { return Entry(1000001) != nullptr; }, kPassMs));
    controllers->Writes().StartWrite(*Entry(1000001));
    ASSERT_EQ(controllers->Writes().RunningCount(), 1);
    // As the window's close does: the hand-over first, so the session cannot wait on
    // this thread, then the stop, which joins it; its end report is now queued.
    static_cast<TUiHandOver&>(w.HandOver()).Shutdown();
    controllers->Writes().Stop();
    const int lines = int(LogLines().size());
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(int(LogLines().size()), lines);
    EXPECT_EQ(controllers->Writes().RunningCount(), 0);
}

TEST_F(WindowDevices, UpdateDevicesDuringAWriteKeepsTheDeviceBeingWritten)
{
    sim::TSimTracker boot;
    boot.Serial = 1000001;
    boot.Link = sim::TSimLink::MakerUsb;  // the quicker link; FTDI is written end to end
    ASSERT_TRUE(sim.AddTracker(boot));
    LoaderOptions options;
    options.autoWrite = true;
    TMainForm& w = ShowWithControllers(options);
    ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 1; }, kPassMs));
    w.updateDevices->click();
    ASSERT_NE(Entry(1000001), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 0; }, kWriteMs));
    EXPECT_EQ(TPanelParts(*PanelOf(*Entry(1000001))).StatusLine->text(), Msg(msg::StatusUpdateDone));
}

}  // namespace

namespace {

// The COM probe over a port that cannot be opened: the pass's message 43, and after it
// the port with the system's reason, except for a port that is simply not there.
TEST_F(WindowDevices, TheComProbeSaysWhyThePortCannotBeOpened)
{
    QFile plain(dir.filePath("ttyFile"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct TCase {
        QString Name;
        QString Reason;  // the line after message 43; none for an absent port
    } cases[] = {
        {"ttyQLmissing", {}},
        {dir.path(), "COM port " + dir.path() + " cannot be opened: " + SystemErrorText(EISDIR)},
        {plain.fileName(), "COM port " + plain.fileName() + " does not allow exclusive use: " + SystemErrorText(ENOTTY)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name.toStdString());
        LoaderOptions options;
        options.comportName = c.Name;
        ShowWithControllers(options);
        QStringList expected{NoDevice(msg::NoReply)};
        if (!c.Reason.isEmpty())
            expected << NoDeviceLine(c.Reason);
        ASSERT_TRUE(PumpUntil([&] { return Logged(expected.front()); }, kPassMs)) << LogLines().join(u'\n').toStdString();
        ASSERT_TRUE(PassDone());
        const QStringList lines = LogLines();
        EXPECT_EQ(lines.mid(lines.indexOf(expected.front())), expected);
        Destroy();
    }
}

}  // namespace
