// Fault drills of the sector dialogue: short, corrupted and late replies and stray bytes
// on the COM link, on each link, at the start of a session and in the middle of a sector.
// Whatever happens, a session either completes with the whole image in the tracker's
// flash or ends with an error (and the abort, once sectors were touched): it never
// reports success it did not have, and it never hangs.

#include "ProgrammingFixture.h"
#include "links/LoaderRecord.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ql;
using namespace ql::test;

namespace {

constexpr int kAnyFailure = -1;

struct TDrill {
    const char* Name;
    sim::TSimLink Link;
    std::function<void(sim::TSimFaults&)> Faults;  // from the start of the session
    const char* InjectAtLine = nullptr;             // or from the first line ending so
    bool CheckCompatibility = false;
    int ErrorCode = kWriteOk;                        // kAnyFailure: any error but none
};

class ReplyDrills : public Programming {
protected:
    // Runs the drill's session on a fresh map-1 tracker of its link.
    void Run(const TDrill& drill, uint32_t serial)
    {
        SCOPED_TRACE(drill.Name);
        log.Lines.clear();
        progress.clear();
        sim::TSimTracker tracker = TestTracker(serial, drill.Link);
        tracker.ProcessorId = kMap1Processor;
        if (drill.Faults && !drill.InjectAtLine)
            drill.Faults(tracker.Faults);
        bool injected = false;
        log.OnLine = [&](const TLoggedLine& line) {
            if (drill.InjectAtLine && !injected && line.Text.endsWith(QLatin1String(drill.InjectAtLine))) {
                injected = true;
                sim::TSimFaults faults;
                drill.Faults(faults);
                bench.Sim.SetFaults(serial, faults);
            }
        };
        auto session = Session(tracker, Map1Image());
        ASSERT_TRUE(session);
        session->DontCheckCompatibility = !drill.CheckCompatibility;
        const TWriteOutcome outcome = session->RunSession();
        log.OnLine = nullptr;
        if (drill.InjectAtLine) {
            EXPECT_TRUE(injected) << "the line " << drill.InjectAtLine << " never came";
        }

        EXPECT_EQ(outcome.Completed, outcome.ErrorCode == kWriteOk);
        if (drill.ErrorCode == kAnyFailure)
            EXPECT_NE(outcome.ErrorCode, kWriteOk);
        else
            EXPECT_EQ(outcome.ErrorCode, drill.ErrorCode);
        const std::vector<uint16_t> commands = RecordCommands(bench.Sim.Trace(serial));
        ASSERT_FALSE(commands.empty());
        if (outcome.Completed) {
            EXPECT_EQ(bench.Sim.Flash(serial).left(kTwoSectorPayload.size()), kTwoSectorPayload);
            EXPECT_EQ(progress.back(), 100);
            EXPECT_EQ(commands.back(), kCmdFinish);
        } else if (outcome.ErrorCode == kErrErase || outcome.ErrorCode == kErrWrite) {
            EXPECT_EQ(commands.back(), kCmdAbort);
            EXPECT_TRUE(progress.empty() || progress.back() < 100);
        }
    }
};

TEST_F(ReplyDrills, ShortCorruptedAndLateRepliesNeverPassForSuccess)
{
    using L = sim::TSimLink;
    const TDrill drills[] = {
        // A reply one byte short is no reply: the request goes again.
        {"short erase replies, FTDI", L::Ftdi, [](sim::TSimFaults& f) { f.ShortReplies = 2; }},
        {"short erase replies, maker USB", L::MakerUsb, [](sim::TSimFaults& f) { f.ShortReplies = 2; }},
        {"short erase replies, COM", L::ComPort, [](sim::TSimFaults& f) { f.ShortReplies = 2; }},
        {"a short piece reply, COM", L::ComPort, [](sim::TSimFaults& f) { f.ShortReplies = 1; }, "Part 3 of 8"},
        {"a short compatibility reply", L::MakerUsb, [](sim::TSimFaults& f) { f.ShortReplies = 1; }, nullptr,
         true, kErrNotCompatible},
        // A corrupt frame fails its check and runs into the time-out; the request goes again.
        {"a corrupt erase reply frame, COM", L::ComPort, [](sim::TSimFaults& f) { f.CorruptReplies = 1; }},
        // A corrupt record names another sector: the erase or piece has failed.
        {"a corrupt erase reply, maker USB", L::MakerUsb, [](sim::TSimFaults& f) { f.CorruptReplies = 1; },
         nullptr, false, kErrErase},
        {"a corrupt piece reply, FTDI", L::Ftdi, [](sim::TSimFaults& f) { f.CorruptReplies = 1; }, "Part 5 of 8",
         false, kErrWrite},
        // Late but within the time-outs.
        {"late replies, FTDI", L::Ftdi, [](sim::TSimFaults& f) { f.ReplyDelayMs = 30; }, nullptr, true},
        {"late replies, maker USB", L::MakerUsb, [](sim::TSimFaults& f) { f.ReplyDelayMs = 30; }, nullptr, true},
        {"late replies, COM", L::ComPort, [](sim::TSimFaults& f) { f.ReplyDelayMs = 30; }, nullptr, true},
        // Later than the erase's time-out: the erase goes again and every later reply
        // answers the request before; a stale one is never taken for the piece's.
        {"replies later than the erase time-out", L::MakerUsb,
         [](sim::TSimFaults& f) { f.ReplyDelayMs = int(kEraseReplyTimeoutMs) + 100; }, nullptr, false,
         kAnyFailure},
    };
    uint32_t serial = 8100000;
    for (const TDrill& drill : drills)
        Run(drill, ++serial);
}

// A stray byte before every reply frame spoils every COM read: the session ends at the
// first exchange with its error and touches no sector.
TEST_F(ReplyDrills, StrayBytesOnTheComLink)
{
    const TDrill drill{"stray byte before each frame", sim::TSimLink::ComPort,
                       [](sim::TSimFaults& f) { f.StrayByteBeforeFrame = true; }, nullptr, true, kErrNotCompatible};
    Run(drill, 8200001);
    EXPECT_EQ(RecordCommands(bench.Sim.Trace(8200001)), std::vector<uint16_t>{kCmdFirmwareCompatibility});
    EXPECT_EQ(MessageNumbers(log), std::vector<int>{msg::NoCompatibilityReply});
}

// A stray byte before the reply of one piece costs that piece one time-out; the piece goes
// again and the write completes.
TEST_F(ReplyDrills, AStrayByteBeforeOnePieceReplyIsOutlivedByTheRetry)
{
    const TDrill drill{"stray byte before one piece reply", sim::TSimLink::ComPort,
                       [](sim::TSimFaults& f) { f.StrayByteBeforeFrame = true; }, "Part 7 of 8"};
    // Switched off again as soon as the tracker has taken that piece (its reply, with the
    // stray byte, is on its way), so the retry's reply is clean.
    const uint32_t serial = 8200002;
    std::atomic<bool> done{false};
    std::thread clearer([&] {
        WaitFor([&] {
            int pieces = 0;
            for (const auto& request : bench.Sim.Trace(serial))
                if (!request.Text && request.Command == kCmdWriteOld && request.Argument16 == 4)
                    ++pieces;
            return pieces >= 8 || done.load();
        }, 30000);
        bench.Sim.SetFaults(serial, {});
    });
    Run(drill, serial);
    done = true;
    clearer.join();
    int pieces = 0;
    for (const auto& request : bench.Sim.Trace(serial))
        pieces += !request.Text && request.Command == kCmdWriteOld && request.Argument16 == 4;
    EXPECT_EQ(pieces, 9) << "the last piece of sector 4 went once more";
}

}  // namespace
