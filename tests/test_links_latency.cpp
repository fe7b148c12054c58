// The D2XX link tunes each bridge it opens: its latency timer goes to 2 ms where the
// library can set it, so a short reply is not held 16 ms in the bridge. A bridge that
// cannot be tuned is used as it is. The outcome is traced under ql.link.

#include "Bytes.h"
#include "LinkTraceCapture.h"
#include "SimBench.h"
#include "links/D2xxPort.h"
#include "links/LoaderRecord.h"

#include <QLibrary>

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;
using sim::TSimLink;

namespace {

// The bridge's timer as the library reports it; -1 when it cannot say.
int BridgeLatencyMs(ftdi::FT_HANDLE handle)
{
    QLibrary library(QString::fromLatin1(ftdi::kLibraryName));
    const auto get = reinterpret_cast<ftdi::PFN_FT_GetLatencyTimer>(library.resolve("FT_GetLatencyTimer"));
    ftdi::UCHAR ms = 0;
    return get && get(handle, &ms) == ftdi::FT_OK ? int(ms) : -1;
}

bool Traced(const QStringList& lines, const QString& text)
{
    return lines.filter(text).size() == 1;
}

struct TTuneCase {
    const char* Name;
    bool Fixed;           // the bridge keeps its default timer
    int LatencyMs;        // what the library reports after the open
    const char* Line;     // the trace line that says so
};

class D2xxTuning : public ::testing::TestWithParam<TTuneCase> {};

TEST_P(D2xxTuning, TheOpenSetsTheTimerWhereItCanAndTheLinkWorksEitherWay)
{
    const TTuneCase& c = GetParam();
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    ASSERT_NE(FtdiLibrary().SetLatencyTimer, nullptr);
    sim::TSimTracker tracker = TestTracker(5600001, TSimLink::Ftdi);
    tracker.FixedLatencyTimer = c.Fixed;
    auto device = bench.Add(tracker);
    ASSERT_TRUE(device);
    TLinkTraceCapture capture;
    ASSERT_TRUE(bench.Channel.OpenLink(*device));
    EXPECT_EQ(BridgeLatencyMs(device->FtdiHandle), c.LatencyMs);
    EXPECT_TRUE(Traced(capture.Lines(), QString::fromLatin1(c.Line))) << capture.Lines().join('\n').toStdString();

    const QByteArray request = BuildSimpleRequest(kCmdProcessorId);
    ASSERT_TRUE(bench.Channel.SendData(*device, U8(request), int(request.size())));
    uint8_t reply[kMaxLoaderReply];
    const int got = bench.Channel.ReadLink(*device, reply, 1000, sizeof reply);
    EXPECT_EQ(ReplyProcessorId(reply, size_t(got)), tracker.ProcessorId);
    bench.Channel.CloseLink(*device);
}

INSTANTIATE_TEST_SUITE_P(
    Bridges, D2xxTuning,
    ::testing::Values(
        TTuneCase{"Tunable", false, kD2xxLatencyTimerMs, "device 5600001 ftdi: latency timer set to 2 ms"},
        TTuneCase{"Fixed", true, ftdi::kDefaultLatencyTimerMs,
                  "device 5600001 ftdi: latency timer not set to 2 ms (FT_SetLatencyTimer status 17)"}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
