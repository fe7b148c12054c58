// Fault drills of the whole window against the simulator: trackers that vanish in the
// middle of a write, the window closed while four sessions write, the update-devices
// button pressed during writes; and the daily log file holding what the pane showed.

#include "DrillWindow.h"
#include "SimBench.h"
#include "links/LoaderRecord.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include <random>

using namespace ql;
using namespace ql::test;

namespace {

QByteArray PieceAt(const QByteArray& bytes, int piece) { return bytes.mid(piece * kDrillPieceSize, kDrillPieceSize); }

// Twenty trackers, four at a time, each vanishing at a random piece of its write (the
// seed is fixed, so a failure repeats). Each session ends with its error, the passes that
// follow the vanishing remove the devices, and every tracker keeps exactly the pieces it
// answered. (A vanished tracker costs its session one piece's reply time-out.)
TEST_F(DrillWindow, TrackersVanishAtARandomPieceOfTheirWrite)
{
    constexpr int kSectors = 2;
    constexpr int kPieces = kSectors * kDrillSectorSize / kDrillPieceSize;
    constexpr int kRuns = 20;
    constexpr int kAtOnce = 4;
    const QByteArray payload = DrillPayload(kSectors, 0x5EED);
    ShowWriting(payload);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }, kDrillPassMs));

    std::mt19937 random(20261210);
    for (int first = 0; first < kRuns; first += kAtOnce) {
        std::vector<std::pair<uint32_t, int>> round;  // serial, the piece it vanishes at
        for (int run = first; run < first + kAtOnce; ++run) {
            const uint32_t serial = 7100000 + uint32_t(run);
            const int vanishAt = int(random() % kPieces);
            sim::TSimTracker tracker = Tracker(serial, run % 2 ? sim::TSimLink::MakerUsb : sim::TSimLink::Ftdi,
                                               uint16_t(run + 1));
            tracker.Faults.VanishAfterWritePieces = vanishAt;
            ASSERT_TRUE(sim.AddTracker(tracker));
            round.emplace_back(serial, vanishAt);
        }
        for (const auto& [serial, vanishAt] : round)
            ASSERT_TRUE(
                PumpUntil([&, serial = serial] { return LoggedFor(serial, msg::StartingUpdate); }, kDrillPassMs))
                << serial << ": the write did not start";
        ASSERT_TRUE(PumpUntil([&] {
            return Idle() && std::all_of(round.begin(), round.end(), [&](const auto& r) { return Entry(r.first) == nullptr; });
        }, kDrillWriteMs)) << "a vanished device was not removed";

        for (const auto& [serial, vanishAt] : round) {
            SCOPED_TRACE(testing::Message() << "tracker " << serial << " vanished at piece " << vanishAt);
            EXPECT_FALSE(sim.Present(serial));
            EXPECT_TRUE(LoggedFor(serial, msg::UpdateError)) << "no end report with the error";
            EXPECT_TRUE(LoggedFor(serial, msg::DeviceDisconnected));
            EXPECT_FALSE(LoggedFor(serial, msg::UpdateDone)) << "a vanished device reported as written";
            const QByteArray flash = sim.Flash(serial);
            for (int p = 0; p < vanishAt; ++p)
                ASSERT_EQ(PieceAt(flash, p), PieceAt(payload, p)) << "piece " << p;
            EXPECT_EQ(PieceAt(flash, vanishAt), QByteArray(kDrillPieceSize, '\xFF')) << "the unanswered piece was stored";
        }
    }
    EXPECT_EQ(form->DeviceList().Entries.size(), 0u);
    // Every line the pane showed is in the daily file, in order, and nothing else.
    EXPECT_EQ(DailyFileLines(), LogLines());
}

// Closing the window while four sessions run stops each before its next sector: a
// tracker whose sectors were touched gets the abort (or, had it been quicker, the
// finish), every tracker stays in its bootloader, the settings are saved, and the daily
// file holds the pane's lines. Closed twice: as the sessions start (waiting for the UI
// thread to load their image) and while they write.
TEST_F(DrillWindow, TheWindowIsClosedWhileFourSessionsWrite)
{
    constexpr int kSectors = 12;  // all of map 1
    const QByteArray payload = DrillPayload(kSectors, 0xC105E);
    const uint32_t serials[] = {7200001, 7200002, 7200003, 7200004};
    for (int i = 0; i < 4; ++i) {
        sim::TSimTracker tracker = Tracker(serials[i], i % 2 ? sim::TSimLink::MakerUsb : sim::TSimLink::Ftdi,
                                           uint16_t(i + 1));
        tracker.Faults.ReplyDelayMs = 10;  // keeps every session busy for a while
        ASSERT_TRUE(sim.AddTracker(tracker));
    }
    for (const bool whileWriting : {false, true}) {
        SCOPED_TRACE(whileWriting ? "closed while writing" : "closed as the sessions start");
        for (uint32_t serial : serials)
            sim.ClearTrace(serial);
        const qsizetype before = DailyFileLines().size();
        ShowWriting(payload);
        if (whileWriting) {
            ASSERT_TRUE(PumpUntil([&] {
                return std::all_of(std::begin(serials), std::end(serials),
                                   [&](uint32_t s) { return LoggedFor(s, msg::RecordingSector); });
            }, kDrillWriteMs)) << "not all four sessions wrote:\n" << LogLines().join(u'\n').toStdString();
        } else {
            ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 4; }, kDrillPassMs));
        }
        EXPECT_EQ(controllers->Writes().RunningCount(), 4);

        const QStringList shown = LogLines();
        form->close();
        Destroy();

        for (uint32_t serial : serials) {
            SCOPED_TRACE(serial);
            const std::vector<uint16_t> commands = RecordCommands(sim.Trace(serial));
            const bool touched = std::any_of(commands.begin(), commands.end(), [](uint16_t c) {
                return c == kCmdEraseOld || c == kCmdWriteOld || c == kCmdErase || c == kCmdWrite;
            });
            if (whileWriting) {
                EXPECT_TRUE(touched);
            }
            if (touched) {
                EXPECT_TRUE(commands.back() == kCmdAbort || commands.back() == kCmdFinish) << commands.back();
            }
            EXPECT_EQ(sim.Mode(serial), sim::TSimMode::Bootloader);
        }
        EXPECT_TRUE(Ini().contains("MainForm=")) << Ini().constData();
        const QStringList written = DailyFileLines().mid(before);
        ASSERT_GE(written.size(), shown.size());
        EXPECT_EQ(written.mid(0, shown.size()), shown);
    }
}

// The button frees only the entries no session uses: pressed again and again while two
// trackers are written, both writes complete, and the passes it starts find no device
// twice.
TEST_F(DrillWindow, UpdateDevicesIsPressedAgainAndAgainDuringTheWrites)
{
    constexpr int kSectors = 8;
    const QByteArray payload = DrillPayload(kSectors, 0xB077);
    const uint32_t serials[] = {7300001, 7300002};
    for (int i = 0; i < 2; ++i) {
        sim::TSimTracker tracker = Tracker(serials[i], i ? sim::TSimLink::MakerUsb : sim::TSimLink::Ftdi, 1);
        tracker.Faults.ReplyDelayMs = 4;
        ASSERT_TRUE(sim.AddTracker(tracker));
    }
    TMainForm& w = ShowWriting(payload);
    ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 2; }, kDrillPassMs));
    // A device freed after its write would be found and written again.
    w.cbAutoWrite->setChecked(false);
    int presses = 0;
    while (controllers->Writes().RunningCount() == 2) {
        w.updateDevices->click();
        ++presses;
        for (uint32_t serial : serials) {
            TDevEntry* entry = Entry(serial);
            ASSERT_NE(entry, nullptr) << serial << " was freed while it was written";
            if (entry->Writer.load()) {
                ASSERT_NE(PanelOf(*entry), nullptr);
            }
        }
        PumpUntil([] { return false; }, 30);
    }
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }, kDrillWriteMs));
    EXPECT_GT(presses, 1);
    for (uint32_t serial : serials) {
        SCOPED_TRACE(serial);
        EXPECT_TRUE(LoggedFor(serial, msg::UpdateDone)) << "the write did not complete";
        EXPECT_TRUE(sim.Flash(serial).startsWith(payload));
        EXPECT_NE(Entry(serial), nullptr);
    }
    EXPECT_EQ(w.DeviceList().Entries.size(), 2u);
    EXPECT_EQ(DailyFileLines(), LogLines());
}

}  // namespace

// In COM-port mode the session owns the port: discovery passes started again and again
// during a write (the update-devices button, choosing the port again) neither probe the
// session's line nor close it, and leave its device as it is; the write completes.
TEST_F(DrillWindow, PassesStartedDuringAComWriteLeaveTheSessionsPortAlone)
{
    constexpr uint32_t kSerial = 7400001;
    constexpr int kSectors = 8;
    const QByteArray payload = DrillPayload(kSectors, 0xC0A1);
    sim::TSimTracker tracker = Tracker(kSerial, sim::TSimLink::ComPort);
    tracker.Faults.ReplyDelayMs = 30;  // a write that outlasts several passes, sanitizers too
    ASSERT_TRUE(sim.AddTracker(tracker));
    const QString port = sim.ComPortPath(kSerial);
    ASSERT_TRUE(port.startsWith("/dev/"));
    TMainForm& w = ShowWriting(payload, port.mid(5));  // "pts/N", as the list names it
    ASSERT_TRUE(PumpUntil([&] { return controllers->Writes().RunningCount() == 1; }, kDrillPassMs))
        << LogLines().join(u'\n').toStdString();
    // The pass that found the device has ended (its merge started the write): from here
    // on every request the tracker sees belongs to the session, or to a pass.
    sim.ClearTrace(kSerial);
    w.cbAutoWrite->setChecked(false);

    int passes = 0;
    while (controllers->Writes().RunningCount() == 1) {
        if (passes % 2 == 0)
            w.updateDevices->click();
        else
            w.COMportsComboBoxChange();
        // A pass that finds the port held can start and end within one turn of the event
        // loop, unseen by a look for a running pass: it is counted once the timer has
        // fired (which starts a pass, none running) and no pass runs any more.
        ASSERT_TRUE(PumpUntil([&] { return !w.DevTimer->isActive() && !controllers->Discovery().PassRunning(); },
                              kDrillPassMs));
        ++passes;
        TDevEntry* entry = Entry(kSerial);
        ASSERT_NE(entry, nullptr) << "the device being written was freed";
        ASSERT_FALSE(entry->Gone.load()) << "the device being written was marked gone";
        ASSERT_EQ(w.DeviceList().Entries.size(), 1u) << "a pass added an entry";
    }
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }, kDrillWriteMs));
    EXPECT_GE(passes, 2);

    EXPECT_TRUE(LoggedFor(kSerial, msg::UpdateDone)) << "the write did not complete:\n" << LogLines().join(u'\n').toStdString();
    EXPECT_FALSE(LoggedFor(kSerial, msg::UpdateError));
    EXPECT_TRUE(sim.Flash(kSerial).startsWith(payload));
    // Up to the session's last request (the finish), the tracker saw no raw request.
    const std::vector<sim::TSimRequest> trace = sim.Trace(kSerial);
    const auto finish = std::find_if(trace.rbegin(), trace.rend(), [](const sim::TSimRequest& r) {
        return !r.RawFrame && !r.Text && r.Command == kCmdFinish;
    });
    ASSERT_NE(finish, trace.rend()) << "no finish request";
    const auto sessionEnd = finish.base();
    EXPECT_TRUE(std::none_of(trace.begin(), sessionEnd, [](const sim::TSimRequest& r) { return r.RawFrame; }))
        << "a pass put a raw request on the session's line";
    EXPECT_EQ(w.DeviceList().Entries.size(), 1u);
}
