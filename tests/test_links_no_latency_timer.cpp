// A D2XX library from before FT_SetLatencyTimer: the loader still binds it and writes
// through it, the bridges keep their own timer, and the trace says why.

#include "Bytes.h"
#include "LinkTraceCapture.h"
#include "SimBench.h"
#include "links/LoaderRecord.h"

#include <QLibrary>

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

TEST(OlderD2xxLibrary, IsBoundWithoutTheTimerCallAndItsBridgesStillAnswer)
{
    QLibrary library(QString::fromLatin1(ftdi::kLibraryName));
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    ASSERT_EQ(library.resolve("FT_SetLatencyTimer"), nullptr) << "this test needs the older stand-in";

    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    EXPECT_TRUE(FtdiLibraryBound());
    EXPECT_EQ(FtdiLibrary().SetLatencyTimer, nullptr);
    auto device = bench.Add(TestTracker(5700001, sim::TSimLink::Ftdi));
    ASSERT_TRUE(device);
    TLinkTraceCapture capture;
    ASSERT_TRUE(bench.Channel.OpenLink(*device));
    EXPECT_EQ(capture.Lines().filter("device 5700001 ftdi: the D2XX library cannot set the latency timer").size(), 1)
        << capture.Lines().join('\n').toStdString();

    const QByteArray request = BuildSimpleRequest(kCmdFirmwareVersion);
    ASSERT_TRUE(bench.Channel.SendData(*device, U8(request), int(request.size())));
    uint8_t reply[kMaxLoaderReply];
    const int got = bench.Channel.ReadLink(*device, reply, 1000, sizeof reply);
    ASSERT_TRUE(IsAcceptedReply(reply, size_t(got)));
    EXPECT_EQ(ReplyVersionText(reply, size_t(got)), "QRGX-13.38");
    bench.Channel.CloseLink(*device);
}
