// An FTDI bridge behind the stand-in D2XX library holds the tracker's bytes as the chip
// does: a reply shorter than a packet leaves only once the latency timer has run out
// (16 ms from every open, FT_SetLatencyTimer sets it per open handle), 62 bytes go at
// once. Only lower bounds and orderings of times are checked: the simulator cannot let
// bytes go early, but a busy machine may let them go late.

#include "links/LoaderRecord.h"
#include "sim/BridgeBuffer.h"
#include "sim/SimConfig.h"
#include "tests/SimFixture.h"

#include <QElapsedTimer>

#include <vector>

namespace ql::test {
namespace {

using sim::TSimLink;

constexpr uint32_t kPlain = 1500001;
constexpr uint32_t kOther = 1500002;
constexpr int kReplyTimeoutMs = 2000;

class BridgeLatency : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        ASSERT_TRUE(Libs.FT_SetLatencyTimer && Libs.FT_GetLatencyTimer)
            << "the stand-in library exports the latency timer calls";
        ASSERT_TRUE(Sim.AddTracker(TestTracker(kPlain, TSimLink::Ftdi)));
        ASSERT_TRUE(Sim.AddTracker(TestTracker(kOther, TSimLink::Ftdi)));
    }

    ftdi::FT_HANDLE Open(uint32_t serial)
    {
        QByteArray text = QByteArray::number(serial);
        ftdi::FT_HANDLE handle = nullptr;
        EXPECT_EQ(Libs.FT_OpenEx(text.data(), ftdi::FT_OPEN_BY_SERIAL_NUMBER, &handle), ftdi::FT_OK);
        handles.push_back(handle);
        return handle;
    }
    void TearDown() override
    {
        for (ftdi::FT_HANDLE handle : handles)
            Libs.FT_Close(handle);
    }
    bool Send(ftdi::FT_HANDLE handle, QByteArray bytes)
    {
        ftdi::DWORD written = 0;
        return Libs.FT_Write(handle, bytes.data(), ftdi::DWORD(bytes.size()), &written) == ftdi::FT_OK
               && written == ftdi::DWORD(bytes.size());
    }
    uint32_t Queued(ftdi::FT_HANDLE handle)
    {
        ftdi::DWORD rx = 0, tx = 0, events = 0;
        Libs.FT_GetStatus(handle, &rx, &tx, &events);
        return rx;
    }
    int LatencyOf(ftdi::FT_HANDLE handle)
    {
        ftdi::UCHAR ms = 0;
        EXPECT_EQ(Libs.FT_GetLatencyTimer(handle, &ms), ftdi::FT_OK);
        return ms;
    }
    // Reads what is queued.
    QByteArray Take(ftdi::FT_HANDLE handle)
    {
        QByteArray bytes(int(Queued(handle)), '\0');
        ftdi::DWORD got = 0;
        EXPECT_EQ(Libs.FT_Read(handle, bytes.data(), ftdi::DWORD(bytes.size()), &got), ftdi::FT_OK);
        return bytes.left(int(got));
    }
    // Milliseconds from before the request went until its reply could be read.
    qint64 ReplyAfterMs(ftdi::FT_HANDLE handle)
    {
        QElapsedTimer clock;
        clock.start();
        if (!Send(handle, BuildSimpleRequest(kCmdProcessorId)))
            return -1;
        if (!WaitFor([&] { return Queued(handle) > 0; }, kReplyTimeoutMs))
            return -1;
        const qint64 ms = clock.elapsed();
        Take(handle);
        return ms;
    }

    std::vector<ftdi::FT_HANDLE> handles;
};

TEST_F(BridgeLatency, AShortReplyWaitsOutTheTimerAndASetTimerLetsItGoSooner)
{
    const ftdi::FT_HANDLE plain = Open(kPlain);
    const ftdi::FT_HANDLE tuned = Open(kOther);
    EXPECT_EQ(LatencyOf(plain), sim::kBridgeDefaultLatencyMs);
    ASSERT_EQ(Libs.FT_SetLatencyTimer(tuned, ftdi::kMinLatencyTimerMs), ftdi::FT_OK);
    EXPECT_EQ(LatencyOf(tuned), ftdi::kMinLatencyTimerMs);

    EXPECT_GE(ReplyAfterMs(plain), sim::kBridgeDefaultLatencyMs);
    EXPECT_GE(ReplyAfterMs(tuned), ftdi::kMinLatencyTimerMs);

    // The tuned bridge's request goes second, yet its reply is never behind the other's.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Send(plain, BuildSimpleRequest(kCmdProcessorId)));
    ASSERT_TRUE(Send(tuned, BuildSimpleRequest(kCmdProcessorId)));
    bool tunedFirst = true;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (Queued(plain) == 0)
                return false;
            tunedFirst = Queued(tuned) > 0;
            return true;
        },
        kReplyTimeoutMs));
    EXPECT_TRUE(tunedFirst);
    EXPECT_GE(clock.elapsed(), sim::kBridgeDefaultLatencyMs);
}

TEST_F(BridgeLatency, AFullPacketGoesAtOnceAndTheRestWaitsForTheTimer)
{
    const ftdi::FT_HANDLE handle = Open(kPlain);
    ASSERT_EQ(Libs.FT_SetLatencyTimer(handle, ftdi::kMaxLatencyTimerMs), ftdi::FT_OK);
    // Five replies in a row: more than one packet, less than two.
    QByteArray requests;
    for (int i = 0; i < 5; ++i)
        requests += BuildSimpleRequest(kCmdProcessorId);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Send(handle, requests));
    uint32_t first = 0;
    ASSERT_TRUE(WaitFor([&] { return (first = Queued(handle)) > 0; }, kReplyTimeoutMs));
    EXPECT_EQ(first, uint32_t(sim::kBridgePacketBytes)) << "the packet alone, long before the timer";
    ASSERT_TRUE(WaitFor([&] { return Queued(handle) > uint32_t(sim::kBridgePacketBytes); },
                        ftdi::kMaxLatencyTimerMs + kReplyTimeoutMs));
    EXPECT_GE(clock.elapsed(), ftdi::kMaxLatencyTimerMs);
}

TEST_F(BridgeLatency, EveryOpenStartsAtSixteenMilliseconds)
{
    ftdi::FT_HANDLE handle = Open(kPlain);
    ASSERT_EQ(Libs.FT_SetLatencyTimer(handle, ftdi::kMinLatencyTimerMs), ftdi::FT_OK);
    ASSERT_EQ(Libs.FT_Close(handle), ftdi::FT_OK);
    handles.clear();
    handle = Open(kPlain);
    EXPECT_EQ(LatencyOf(handle), sim::kBridgeDefaultLatencyMs);
    EXPECT_GE(ReplyAfterMs(handle), sim::kBridgeDefaultLatencyMs);
}

TEST_F(BridgeLatency, SetAndGetTakeD2xxRangeAndOnlyOpenHandles)
{
    const ftdi::FT_HANDLE handle = Open(kPlain);
    struct TCase {
        ftdi::UCHAR Set;
        ftdi::FT_STATUS Status;
        int After;  // what FT_GetLatencyTimer says then
    };
    const TCase cases[] = {
        {0, ftdi::FT_INVALID_PARAMETER, 16}, {1, ftdi::FT_INVALID_PARAMETER, 16},
        {2, ftdi::FT_OK, 2},                 {255, ftdi::FT_OK, 255},
        {1, ftdi::FT_INVALID_PARAMETER, 255}, {16, ftdi::FT_OK, 16},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int(c.Set));
        EXPECT_EQ(Libs.FT_SetLatencyTimer(handle, c.Set), c.Status);
        EXPECT_EQ(LatencyOf(handle), c.After);
    }
    EXPECT_EQ(Libs.FT_GetLatencyTimer(handle, nullptr), ftdi::FT_INVALID_PARAMETER);

    const ftdi::FT_HANDLE closed = Open(kOther);
    ASSERT_EQ(Libs.FT_Close(closed), ftdi::FT_OK);
    handles.pop_back();
    ftdi::UCHAR ms = 0;
    for (ftdi::FT_HANDLE bad : {ftdi::FT_HANDLE(nullptr), closed}) {
        EXPECT_EQ(Libs.FT_SetLatencyTimer(bad, ftdi::kMinLatencyTimerMs), ftdi::FT_INVALID_HANDLE);
        EXPECT_EQ(Libs.FT_GetLatencyTimer(bad, &ms), ftdi::FT_INVALID_HANDLE);
    }
}

TEST_F(BridgeLatency, ABridgeWithAFixedTimerRefusesToSetItAndKeepsSixteen)
{
    std::vector<sim::TSimTracker> trackers;
    QString error;
    ASSERT_TRUE(sim::TrackersFromJson(
        R"([{"Serial": 1500003, "Link": "Ftdi", "FixedLatencyTimer": true}])", trackers, error))
        << error.toStdString();
    ASSERT_TRUE(Sim.AddTracker(trackers.front()));
    const ftdi::FT_HANDLE handle = Open(1500003);
    EXPECT_EQ(Libs.FT_SetLatencyTimer(handle, ftdi::kMinLatencyTimerMs), ftdi::FT_NOT_SUPPORTED);
    EXPECT_EQ(LatencyOf(handle), sim::kBridgeDefaultLatencyMs);
    EXPECT_GE(ReplyAfterMs(handle), sim::kBridgeDefaultLatencyMs);
}

TEST_F(BridgeLatency, AResetDropsWhatWaitsInTheBridge)
{
    const ftdi::FT_HANDLE handle = Open(kPlain);
    ASSERT_EQ(Libs.FT_SetLatencyTimer(handle, ftdi::kMaxLatencyTimerMs), ftdi::FT_OK);
    ASSERT_TRUE(Send(handle, BuildSimpleRequest(kCmdProcessorId)));
    ASSERT_EQ(Libs.FT_ResetDevice(handle), ftdi::FT_OK);
    // Had the first reply stayed in the bridge, it would come out ahead of this one.
    ASSERT_TRUE(Send(handle, BuildSimpleRequest(kCmdBootloaderVersion)));
    ASSERT_TRUE(WaitFor([&] { return Queued(handle) > 0; }, ftdi::kMaxLatencyTimerMs + kReplyTimeoutMs));
    const QByteArray reply = Take(handle);
    EXPECT_EQ(ReplyVersionText(reinterpret_cast<const uint8_t*>(reply.constData()), size_t(reply.size())),
              "STL4-1.05TR");
}

}  // namespace
}  // namespace ql::test
