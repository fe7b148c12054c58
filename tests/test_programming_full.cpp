// The embedded image written whole to a map-7 tracker over each kind of link, the session
// on a thread of its own and its log lines, progress and firmware load handed to this
// test's thread, as the window's thread would take them.

#include "ProgrammingFixture.h"
#include "QueuedHandOver.h"
#include "firmware/FirmwareSources.h"
#include "links/LoaderRecord.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ql;
using namespace ql::test;
using sim::TSimLink;

namespace {

class FullWrite : public ::testing::TestWithParam<TSimLink> {
protected:
    static void SetUpTestSuite() { SetCurrentLanguage(kEnglish); }
    void SetUp() override { ASSERT_TRUE(bench.Start()); }
    TSimBench bench;
};

}  // namespace

TEST_P(FullWrite, TheTrackersFlashEqualsTheImagePayload)
{
    FirmwareList expected;
    TFirmwareVersion expectedVersion;
    TCollectingLog ignored;
    ASSERT_TRUE(LoadFirmwareFromResource(expected, expectedVersion, ignored));
    ASSERT_EQ(expected.size(), 1u);
    const QByteArray payload(reinterpret_cast<const char*>(expected[0]->Data.data()),
                             qsizetype(expected[0]->Length));

    const uint32_t serial = 7100000 + uint32_t(GetParam());
    sim::TSimTracker tracker = TestTracker(serial, GetParam());  // processor 0x00400419: map 7
    auto device = bench.Add(tracker);
    ASSERT_TRUE(device);
    device->InBootloader = true;
    device->ProcessorId = tracker.ProcessorId;
    ParseVersion(device->FirmwareVersion, tracker.FirmwareVersion);
    ParseVersion(device->BootloaderVersion, tracker.BootloaderVersion);

    TQueuedHandOver handOver;
    TCollectingLog log;
    std::vector<int> progress;
    int loads = 0;
    std::thread::id uiThread = std::this_thread::get_id();
    bool allOnUiThread = true;
    TWriteSession session(bench.Channel, handOver, log, bench.Options, *device);
    session.LoadFirmware = [&](FirmwareList& blocks, TFirmwareVersion& version) {
        ++loads;
        allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
        TCollectingLog lines;
        return LoadFirmwareFromResource(blocks, version, lines);
    };
    session.Progress = [&](int percent) {
        allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
        progress.push_back(percent);
    };

    std::atomic<bool> finished{false};
    TWriteOutcome outcome;
    std::thread writer([&] {
        outcome = session.RunSession();
        finished = true;
    });
    handOver.Serve([&] { return finished.load(); });
    writer.join();

    EXPECT_EQ(outcome.ErrorCode, 0);
    EXPECT_TRUE(outcome.Completed);
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(allOnUiThread);
    EXPECT_EQ(session.SectorMap->Number, 7);
    EXPECT_EQ(session.FirstSector, 5);
    EXPECT_EQ(session.LastSector, 11);
    EXPECT_EQ(session.PartsTotal, 7u * 256u);
    EXPECT_EQ(session.PartsDone, session.PartsTotal);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    EXPECT_EQ(bench.Sim.FlashStart(serial), 0x08020000u);
    const QByteArray flash = bench.Sim.Flash(serial);
    ASSERT_GE(flash.size(), payload.size());
    EXPECT_TRUE(flash.left(payload.size()) == payload) << "the flash differs from the image";
    EXPECT_EQ(flash.mid(payload.size()), QByteArray(flash.size() - payload.size(), '\xFF'));

    // Processor 0x00400419 with a QRGX image takes the old pair: erase 1, write 2.
    std::vector<uint16_t> commands = RecordCommands(bench.Sim.Trace(serial));
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), kCmdFirmwareCompatibility);
    EXPECT_EQ(commands.back(), kCmdFinish);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), kCmdEraseOld), 7);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), kCmdWriteOld), 7 * 256);
    EXPECT_EQ(commands.size(), 1u + 7u + 7u * 256u + 1u);

    // The last line of sector 5 is its 256th piece.
    const auto recorded = std::find_if(log.Lines.begin(), log.Lines.end(), [](const auto& line) {
        return MessageNumber(line.Text) == msg::SectorRecorded;
    });
    ASSERT_NE(recorded, log.Lines.end());
    EXPECT_TRUE(std::prev(recorded)->Text.endsWith("\tPart 255 of 256"));
}

INSTANTIATE_TEST_SUITE_P(EachLink, FullWrite,
                         ::testing::Values(TSimLink::Ftdi, TSimLink::MakerUsb, TSimLink::ComPort),
                         [](const auto& info) { return std::string(LinkName(info.param)); });
