// The sector dialogue against a simulated bootloader: the order of requests, the retries,
// the statuses and what each ending sends and logs. Map 1 trackers on the maker's USB
// link keep these sessions short (4 KB sectors of 8 pieces).

#include "Bytes.h"
#include "ProgrammingFixture.h"
#include "links/ComPortName.h"
#include "links/LoaderRecord.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

using namespace ql;
using namespace ql::test;

namespace {

std::vector<uint16_t> Repeat(uint16_t command, int times)
{
    return std::vector<uint16_t>(size_t(times), command);
}

std::vector<uint16_t> Join(std::initializer_list<std::vector<uint16_t>> parts)
{
    std::vector<uint16_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

int Count(const std::vector<int>& numbers, int number)
{
    return int(std::count(numbers.begin(), numbers.end(), number));
}

}  // namespace

TEST_F(Programming, ASessionChecksErasesWritesAndFinishes)
{
    auto session = Session(Map1Tracker(6100001), Map1Image());
    const TWriteOutcome outcome = session->RunSession();
    EXPECT_EQ(outcome.ErrorCode, 0);
    EXPECT_TRUE(outcome.Completed);
    EXPECT_EQ(session->PartsTotal, 16u);
    EXPECT_EQ(session->PartsDone, 16u);
    EXPECT_EQ(session->FirstSector, 4);
    EXPECT_EQ(session->LastSector, 5);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(session->FlashImage.Image.empty()) << "the mirror is released at the end";
    EXPECT_TRUE(session->Blocks.empty());

    const auto trace = bench.Sim.Trace(6100001);
    // Bootloader STL4 checks the image's version text (14); map 1 takes the old pair.
    EXPECT_EQ(RecordCommands(trace), Join({{14, 1}, Repeat(2, 8), {1}, Repeat(2, 8), {11}}));
    EXPECT_EQ(Spaced(trace[0].Bytes),
              Spaced(Hex("1B 00 0E 00 0E 00 0A 00 00 00 00 00 D0 A4") + "QRGX-13.39-a6"));
    EXPECT_EQ(trace[1].Argument16, 4);
    EXPECT_EQ(trace[1].Argument32, kMap1FirstStart);
    EXPECT_EQ(trace[3].Argument32, kMap1FirstStart + 512);
    EXPECT_EQ(bench.Sim.Flash(6100001).left(kTwoSectorPayload.size()), kTwoSectorPayload);

    std::vector<int> expected{msg::UpdatingSectors};
    for (int s = 0; s < 2; ++s) {
        expected.insert(expected.end(), {msg::UpdatingSector, msg::ErasingSector, msg::EraseOk,
                                         msg::RecordingSector});
        expected.insert(expected.end(), 8, msg::RecordingPart);
        expected.push_back(msg::SectorRecorded);
    }
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(log.Lines[0].Text, "Updating sectors from 4 to 5");
    EXPECT_EQ(log.Lines[0].Device, 6100001);
    EXPECT_TRUE(log.Lines[5].Text.endsWith("\tPart 0 of 8")) << qPrintable(log.Lines[5].Text);
}

TEST_F(Programming, EmptySectorsAreSkippedWithoutTraffic)
{
    // Data in sectors 4 and 6; 5 stays 0xFF, 7 and later are cut off.
    QByteArray payload = Pattern(3 * 4096, 7);
    payload.replace(4096, 4096, QByteArray(4096, '\xFF'));
    auto session = Session(Map1Tracker(6100002), Map1Image(payload));
    session->DontCheckCompatibility = true;
    const TWriteOutcome outcome = session->RunSession();
    EXPECT_EQ(outcome.ErrorCode, 0);
    EXPECT_EQ(session->LastSector, 6);
    EXPECT_EQ(session->PartsDone, 24u);
    const auto trace = bench.Sim.Trace(6100002);
    EXPECT_EQ(RecordCommands(trace), Join({{1}, Repeat(2, 8), {1}, Repeat(2, 8), {11}}));
    EXPECT_EQ(trace[9].Argument16, 6);
    EXPECT_EQ(Count(Messages(), msg::SectorEmpty), 1);
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(Programming, AnEraseIsTriedThreeTimesForAWholeReply)
{
    struct TCase {
        int ShortReplies;
        int ErrorCode;
        std::vector<uint16_t> Commands;
    } cases[] = {
        {2, 0, Join({{1, 1, 1}, Repeat(2, 8), {1}, Repeat(2, 8), {11}})},
        {3, kErrErase, {1, 1, 1, 12}},
    };
    uint32_t serial = 6200000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.ShortReplies);
        log.Lines.clear();
        auto session = Session(Map1Tracker(++serial, [&](sim::TSimFaults& f) { f.ShortReplies = c.ShortReplies; }),
                               Map1Image());
        session->DontCheckCompatibility = true;
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, c.ErrorCode);
        EXPECT_EQ(outcome.Completed, c.ErrorCode == 0);
        EXPECT_EQ(RecordCommands(bench.Sim.Trace(serial)), c.Commands);
        EXPECT_EQ(Count(Messages(), msg::EraseFailed), c.ErrorCode ? 1 : 0);
        EXPECT_EQ(outcome.LastResponseCode, c.ErrorCode ? 0 : 0x80);
    }
}

TEST_F(Programming, RepliesThatFailOrProtect)
{
    struct TCase {
        const char* Name;
        std::function<void(sim::TSimFaults&)> Faults;
        int ErrorCode;
        int LastResponseCode;
        std::vector<uint16_t> Commands;
        int RedMessage;      // the one red line of the session
    } cases[] = {
        {"erase protected", [](sim::TSimFaults& f) { f.EraseStatus = kStatusProtected; }, 0,
         0x80, Join({{1}, Repeat(2, 8), {1}, Repeat(2, 8), {11}}), msg::EraseProtected},
        {"piece protected", [](sim::TSimFaults& f) { f.WriteStatus = kStatusProtected; f.WriteStatusPiece = 2; },
         0, 0x80, Join({{1}, Repeat(2, 8), {1}, Repeat(2, 8), {11}}), msg::WriteProtected},
        {"erase refused", [](sim::TSimFaults& f) { f.EraseStatus = 0x81; }, kErrErase, 0x81,
         {1, 12}, msg::EraseFailed},
        {"device locked", [](sim::TSimFaults& f) { f.EraseStatus = kStatusLocked; }, kErrErase,
         kStatusLocked, {1, 12}, msg::EraseFailed},
        {"another sector echoed", [](sim::TSimFaults& f) { f.WrongSectorEcho = true; }, kErrErase, 0,
         {1, 12}, msg::EraseFailed},
    };
    uint32_t serial = 6300000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        log.Lines.clear();
        auto session = Session(Map1Tracker(++serial, c.Faults), Map1Image());
        session->DontCheckCompatibility = true;
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, c.ErrorCode);
        EXPECT_EQ(outcome.LastResponseCode, c.LastResponseCode);
        EXPECT_EQ(RecordCommands(bench.Sim.Trace(serial)), c.Commands);
        std::vector<int> red;
        for (const auto& line : log.Lines)
            if (line.Kind == lkError)
                red.push_back(MessageNumber(line.Text));
        // A protected erase is reported once per sector; a failure once.
        const int times = c.RedMessage == msg::EraseProtected ? 2 : 1;
        EXPECT_EQ(red, std::vector<int>(size_t(times), c.RedMessage));
    }
}

TEST_F(Programming, AFailingPieceShowsItsReplyAndAborts)
{
    auto session = Session(Map1Tracker(6400001, [](sim::TSimFaults& f) {
                               f.WriteStatus = 0x81;
                               f.WriteStatusPiece = 3;
                           }),
                           Map1Image());
    session->DontCheckCompatibility = true;
    const TWriteOutcome outcome = session->RunSession();
    EXPECT_EQ(outcome.ErrorCode, kErrWrite);
    EXPECT_FALSE(outcome.Completed);
    EXPECT_EQ(outcome.LastResponseCode, 0x81);
    EXPECT_EQ(session->PartsDone, 3u);
    EXPECT_EQ(RecordCommands(bench.Sim.Trace(6400001)), Join({{1}, Repeat(2, 4), {12}}));
    const TLoggedLine& last = log.Lines.back();
    EXPECT_EQ(MessageNumber(last.Text), msg::RecordingError);
    EXPECT_EQ(last.Kind, lkError);
    EXPECT_TRUE(last.Text.endsWith(" Sector 4 recording error (14, 14, 129, 4, 17920)"))
        << qPrintable(last.Text);
}

TEST_F(Programming, TheStartBoxIsReadWhenTheSessionFinishes)
{
    auto session = Session(Map1Tracker(6500001), Map1Image());
    session->DontCheckCompatibility = true;
    // Ticked while the session runs: it counts.
    session->Progress = [&](int percent) {
        progress.push_back(percent);
        bench.Options.StartApp = true;
    };
    size_t requestsAtMessage55 = 0;
    log.OnLine = [&](const TLoggedLine& line) {
        if (MessageNumber(line.Text) == msg::StartingApplication)
            requestsAtMessage55 = bench.Sim.Trace(6500001).size();
    };
    const TWriteOutcome outcome = session->RunSession();
    EXPECT_TRUE(outcome.Completed);
    const auto trace = bench.Sim.Trace(6500001);
    const auto commands = RecordCommands(trace);
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], kCmdFinish);
    EXPECT_EQ(commands.back(), kCmdStartApplication);
    // Message 55 comes after the finish request and before the start request.
    EXPECT_EQ(requestsAtMessage55, trace.size() - 1);
}

TEST_F(Programming, AStopRequestEndsTheSessionBeforeTheNextSector)
{
    {
        auto session = Session(Map1Tracker(6600001), Map1Image());
        session->DontCheckCompatibility = true;
        // Raised during sector 4 (from the UI thread's progress step): sector 4 is finished,
        // sector 5 never begins.
        session->Progress = [&](int percent) {
            progress.push_back(percent);
            session->RequestStop();
        };
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, kErrStopped);
        EXPECT_FALSE(outcome.Completed);
        EXPECT_EQ(RecordCommands(bench.Sim.Trace(6600001)), Join({{1}, Repeat(2, 8), {12}}));
        EXPECT_EQ(Count(Messages(), msg::UpdatingSector), 1);
    }
    {
        auto session = Session(Map1Tracker(6600002), Map1Image());
        session->DontCheckCompatibility = true;
        session->RequestStop();
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, kErrStopped);
        EXPECT_EQ(RecordCommands(bench.Sim.Trace(6600002)), (std::vector<uint16_t>{12}));
    }
}

TEST_F(Programming, TheDeviceMayRefuseTheImage)
{
    struct TCase {
        const char* Name;
        const char* Bootloader;
        uint32_t StartOffset;
        std::function<void(sim::TSimFaults&)> Faults;
        bool Compatible;
        std::vector<uint16_t> Checks;
        std::vector<int> Red;
    } cases[] = {
        {"too old", "STL4-1.05", 0, [](sim::TSimFaults& f) { f.FirmwareCompatibilityStatus = kStatusTooOld; },
         false, {14}, {msg::FirmwareTooOld}},
        {"refused silently", "STL4-1.05", 0,
         [](sim::TSimFaults& f) { f.FirmwareCompatibilityStatus = 0x81; }, false, {14}, {}},
        {"NRBL checks the SD", "NRBL-1.00", 0x2000, [](sim::TSimFaults&) {}, true, {14, 15}, {}},
        {"NRBL at 0x1000 needs no SD check", "NRBL-1.00", 0x1000, [](sim::TSimFaults&) {}, true, {14}, {}},
        {"SD refused", "NRBL-1.00", 0x2000, [](sim::TSimFaults& f) { f.SdCompatibilityStatus = kStatusSdRefused; },
         false, {14, 15}, {msg::SdNotCompatible}},
        {"bootloader that does not check", "XBLD-1.05", 0, [](sim::TSimFaults&) {}, true, {}, {}},
    };
    uint32_t serial = 6700000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        log.Lines.clear();
        sim::TSimTracker tracker = Map1Tracker(++serial, c.Faults);
        tracker.BootloaderVersion = c.Bootloader;
        auto session = Session(tracker, Map1Image());
        session->ImageVersion = {};
        ASSERT_TRUE(ImageLoader(BuildFirmwareImage("QRGX-13.39-a6", "", true, c.StartOffset,
                                                   0xFFFFFFFF, kTwoSectorPayload))(
            session->Blocks, session->ImageVersion));
        ASSERT_TRUE(bench.Channel.OpenLink(*device));
        EXPECT_EQ(session->CheckCompatibility(), c.Compatible);
        bench.Channel.CloseLink(*device);
        const auto trace = bench.Sim.Trace(serial);
        EXPECT_EQ(RecordCommands(trace), c.Checks);
        if (c.Checks.size() == 2) {
            EXPECT_EQ(Spaced(trace[1].Bytes),
                      "12 00 0E 00 0F 00 0A 00 00 00 00 00 39 00 FF FF FF FF");
        }
        std::vector<int> red;
        for (const auto& line : log.Lines)
            red.push_back(MessageNumber(line.Text));
        EXPECT_EQ(red, c.Red);
    }
}

TEST_F(Programming, AnIncompatibleImageIsError9AndNothingIsErased)
{
    sim::TSimTracker tracker = Map1Tracker(6800001, [](sim::TSimFaults& f) { f.FirmwareCompatibilityStatus = kStatusTooOld; });
    auto session = Session(tracker, Map1Image());
    const TWriteOutcome outcome = session->RunSession();
    EXPECT_EQ(outcome.ErrorCode, kErrNotCompatible);
    EXPECT_EQ(RecordCommands(bench.Sim.Trace(6800001)), (std::vector<uint16_t>{14}));
}

TEST_F(Programming, EndingsBeforeAnySectorRequest)
{
    // The image cannot be loaded: code 1, the device's image properties cleared, no traffic.
    {
        auto session = Session(Map1Tracker(6900001), QByteArray("no image"));
        device->NrfFamily = true;
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, kErrImageLoad);
        EXPECT_FALSE(device->NrfFamily);
        EXPECT_TRUE(bench.Sim.Trace(6900001).empty());
    }
    // An all-0xFF image: code 4, the compatibility check still asked, no sector request.
    {
        auto session = Session(Map1Tracker(6900002), Map1Image(QByteArray(8192, '\xFF')));
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, kErrNothingToWrite);
        EXPECT_EQ(RecordCommands(bench.Sim.Trace(6900002)), (std::vector<uint16_t>{14}));
    }
    // A device that is not there: message 52, the link code.
    {
        log.Lines.clear();
        auto session = Session(Map1Tracker(6900003), Map1Image());
        ASSERT_TRUE(bench.Sim.RemoveTracker(6900003));
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, kErrLinkOpen);
        ASSERT_FALSE(log.Lines.empty());
        EXPECT_EQ(MessageNumber(log.Lines.back().Text), msg::CannotOpenDevice);
        EXPECT_EQ(log.Lines.back().Kind, lkError);
    }
    // A processor no map lists: message 56, map 11.
    {
        log.Lines.clear();
        sim::TSimTracker tracker = Map1Tracker(6900004);
        tracker.ProcessorId = 0x12AB34CD;
        auto session = Session(tracker, Map1Image());
        session->ReloadFirmware();
        session->SelectSectorMap();
        EXPECT_EQ(session->SectorMap->Number, 11);
        ASSERT_EQ(log.Lines.size(), 1u);
        EXPECT_EQ(log.Lines[0].Text, "Unknown processor ID 12AB34CD");
        EXPECT_EQ(log.Lines[0].Kind, lkInfo);
    }
}

namespace {

// The closing window's hand-over: nothing handed over runs any more.
class TDroppingHandOver : public THandOver {
public:
    void RunOnUiThread(const std::function<void()>&) override {}
};

}  // namespace

TEST_F(Programming, ASessionWhoseImageLoadWasDroppedNeverReachesTheDevice)
{
    TDroppingHandOver dropping;
    device = bench.Add(Map1Tracker(6900001));
    ASSERT_TRUE(device);
    device->InBootloader = true;
    device->ProcessorId = kMap1Processor;
    TWriteSession session(bench.Channel, dropping, log, bench.Options, *device);
    session.LoadFirmware = ImageLoader(Map1Image());
    session.DontCheckCompatibility = true;
    const TWriteOutcome outcome = session.RunSession();
    EXPECT_EQ(outcome.ErrorCode, kErrImageLoad);
    EXPECT_FALSE(outcome.Completed);
    EXPECT_TRUE(bench.Sim.Trace(6900001).empty());
    EXPECT_EQ(device->QlusbHandle, 0u);
}

TEST_F(Programming, TheImageVersionTravelsAsTheHeaderBytes)
{
    // A suffix byte above 0x7F goes out as that one byte, never as its UTF-8 pair.
    const QByteArray version("QRGX-13.39\xE9", 11);
    auto session = Session(Map1Tracker(6900002), Map1Image(kTwoSectorPayload, version));
    ASSERT_TRUE(session);
    session->RunSession();
    const auto trace = bench.Sim.Trace(6900002);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace[0].Command, 14);
    EXPECT_EQ(trace[0].Bytes.mid(kLoaderHeaderSize), version);
}

// A COM port that cannot be used says why, and the session ends with the link code: a
// name that is a folder, one that is a regular file (no terminal: exclusive use refused),
// and a port that is not there.
TEST_F(Programming, AComPortThatCannotBeOpenedIsNamedWithItsReason)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath("ttyFile");
    QFile plain(file);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct TCase {
        QString Name;
        std::vector<int> Red;
        QString Line;
    } cases[] = {
        {folder.path(), {msg::CannotOpenDevice, msg::ComPortCannotOpen},
         "COM port " + folder.path() + " cannot be opened: " + SystemErrorText(EISDIR)},
        {file, {msg::CannotOpenDevice, msg::ComPortNotExclusive},
         "COM port " + file + " does not allow exclusive use: " + SystemErrorText(ENOTTY)},
        {"ttyQLmissing", {msg::CannotOpenDevice, msg::ComPortCannotOpen},
         "COM port /dev/ttyQLmissing cannot be opened: " + SystemErrorText(ENOENT)},
    };
    uint32_t serial = 7000000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name.toStdString());
        log.Lines.clear();
        sim::TSimTracker tracker = Map1Tracker(++serial);
        tracker.Link = sim::TSimLink::ComPort;
        auto session = Session(tracker, Map1Image());
        bench.Options.SetComPortName(c.Name);
        const TWriteOutcome outcome = session->RunSession();
        EXPECT_EQ(outcome.ErrorCode, kErrLinkOpen);
        std::vector<int> red;
        for (const auto& line : log.Lines)
            if (line.Kind == lkError)
                red.push_back(MessageNumber(line.Text));
        EXPECT_EQ(red, c.Red);
        EXPECT_TRUE(log.Texts().contains(c.Line)) << log.Texts().join('\n').toStdString();
        EXPECT_TRUE(bench.Sim.Trace(serial).empty());
        EXPECT_FALSE(bench.Channel.ComHeldBySession());
    }
}

// The tracker's end of the pseudo-terminal goes away in the middle of a sector: the
// session fails with the write code without waiting out its time-outs, and says that the
// port failed.
TEST_F(Programming, AComPortThatVanishesMidWriteEndsTheSessionWithItsReason)
{
    constexpr uint32_t kSerial = 7100001;
    sim::TSimTracker tracker = Map1Tracker(kSerial);
    tracker.Link = sim::TSimLink::ComPort;
    auto session = Session(tracker, Map1Image());
    const QString port = bench.Sim.ComPortPath(kSerial);
    int parts = 0;
    log.OnLine = [&](const TLoggedLine& line) {
        if (MessageNumber(line.Text) == msg::RecordingPart && ++parts == 3)
            bench.Sim.RemoveTracker(kSerial);
    };
    const TWriteOutcome outcome = session->RunSession();
    EXPECT_EQ(parts, 3);
    EXPECT_EQ(outcome.ErrorCode, kErrWrite);
    EXPECT_FALSE(outcome.Completed);
    EXPECT_EQ(log.Lines.back().Kind, lkError);
    EXPECT_EQ(MessageNumber(log.Lines.back().Text), msg::ComPortFailed);
    EXPECT_TRUE(log.Lines.back().Text.startsWith("COM port " + port + " failed: ")) << log.Lines.back().Text.toStdString();
    EXPECT_FALSE(bench.Channel.ComIsOpen());
    EXPECT_FALSE(bench.Channel.ComHeldBySession());
}
