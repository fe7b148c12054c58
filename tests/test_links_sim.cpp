// The channel over the stand-in driver libraries and a simulated tracker's pty: one
// contract for the three links, and the piece sizes of each.

#include "Bytes.h"
#include "LinkTraceCapture.h"
#include "SimBench.h"
#include "links/LoaderRecord.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;
using sim::TSimLink;

namespace {

class Links : public ::testing::TestWithParam<TSimLink> {
protected:
    void SetUp() override { ASSERT_TRUE(bench.Start()); }
    TSimBench bench;
};

// A request of the given total length that a bootloader answers: request 14 with a
// payload of that much text.
QByteArray RequestOfLength(int total)
{
    const QByteArray text(total - kLoaderHeaderSize, 'v');
    return BuildLoaderRecord(kCmdFirmwareCompatibility, kDefaultArgument, 0, U8(text),
                             size_t(text.size()));
}

QStringList Written(const QStringList& trace)
{
    QStringList sizes;
    for (const QString& line : trace)
        if (line.startsWith("->"))
            sizes << line.section('[', 1).section(']', 0, 0);
    return sizes;
}

}  // namespace

TEST_P(Links, OpenExchangeClose)
{
    const uint32_t serial = 5100000 + uint32_t(GetParam());
    auto device = bench.Add(TestTracker(serial, GetParam()));
    ASSERT_TRUE(device);
    ASSERT_TRUE(bench.Channel.OpenLink(*device));
    const QByteArray request = BuildSimpleRequest(kCmdFirmwareVersion);
    ASSERT_TRUE(bench.Channel.SendData(*device, U8(request), int(request.size())));
    uint8_t reply[kMaxLoaderReply];
    const int got = bench.Channel.ReadLink(*device, reply, 1000, sizeof reply);
    ASSERT_TRUE(IsAcceptedReply(reply, size_t(got)));
    EXPECT_EQ(ReplyVersionText(reply, size_t(got)), "QRGX-13.38");
    bench.Channel.CloseLink(*device);
    EXPECT_EQ(device->FtdiHandle, nullptr);
    EXPECT_EQ(device->QlusbHandle, 0u);
    EXPECT_FALSE(bench.Channel.ComIsOpen());
    // Closed means closed: nothing goes out any more.
    EXPECT_FALSE(bench.Channel.SendData(*device, U8(request), int(request.size())));
    EXPECT_EQ(bench.Channel.ReadLink(*device, reply, 50, sizeof reply), 0);
    EXPECT_EQ(bench.Sim.Trace(serial).size(), 1u);
}

TEST_P(Links, EveryPieceSizeArrivesAsOneRequest)
{
    // The sizes of identification, the nRF and the normal write pieces, and a 150-byte one.
    const uint32_t serial = 5200000 + uint32_t(GetParam());
    auto device = bench.Add(TestTracker(serial, GetParam()));
    ASSERT_TRUE(bench.Channel.OpenLink(*device));
    for (int total : {14, 142, 150, 526}) {
        SCOPED_TRACE(total);
        bench.Sim.ClearTrace(serial);
        const QByteArray request = RequestOfLength(total);
        ASSERT_TRUE(bench.Channel.SendData(*device, U8(request), total));
        uint8_t reply[kMaxLoaderReply];
        const int got = bench.Channel.ReadLink(*device, reply, 1000, sizeof reply);
        EXPECT_EQ(got, kLoaderHeaderSize);
        const auto trace = bench.Sim.Trace(serial);
        ASSERT_EQ(trace.size(), 1u);
        EXPECT_EQ(trace[0].Bytes, request);
    }
    bench.Channel.CloseLink(*device);
}

INSTANTIATE_TEST_SUITE_P(EachLink, Links,
                         ::testing::Values(TSimLink::Ftdi, TSimLink::MakerUsb, TSimLink::ComPort),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

TEST(LinkPieces, EachLinkWritesInItsOwnPieces)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    struct TCase {
        TSimLink Link;
        int Total;
        QStringList Pieces;
    } cases[] = {
        {TSimLink::Ftdi, 150, {"64", "64", "22"}},
        {TSimLink::MakerUsb, 526, {"526"}},
        {TSimLink::ComPort, 150, {"90", "60"}},
    };
    uint32_t serial = 5300000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(LinkName(c.Link));
        auto device = bench.Add(TestTracker(++serial, c.Link));
        ASSERT_TRUE(bench.Channel.OpenLink(*device));
        const QByteArray request = RequestOfLength(c.Total);
        QElapsedTimer clock;
        TLinkTraceCapture trace;
        clock.start();
        ASSERT_TRUE(bench.Channel.SendData(*device, U8(request), c.Total));
        const qint64 spent = clock.elapsed();
        EXPECT_EQ(Written(trace.Lines()), c.Pieces);
        if (c.Link == TSimLink::Ftdi) {
            EXPECT_GE(spent, 2) << "a pause of 1 ms after each FTDI piece but the last";
        }
        uint8_t reply[kMaxLoaderReply];
        EXPECT_EQ(bench.Channel.ReadLink(*device, reply, 1000, sizeof reply), kLoaderHeaderSize);
        const auto requests = bench.Sim.Trace(serial);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].Bytes, request);
        bench.Channel.CloseLink(*device);
    }
}

TEST(LinkPieces, NothingToSendIsNoWriteAtAll)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    auto device = bench.Add(TestTracker(5400001, TSimLink::Ftdi));
    ASSERT_TRUE(bench.Channel.OpenLink(*device));
    TLinkTraceCapture trace;
    EXPECT_TRUE(bench.Channel.SendData(*device, nullptr, 0));
    EXPECT_TRUE(trace.Lines().isEmpty());
    bench.Channel.CloseLink(*device);
}

TEST(LinkPieces, AnFtdiReadDeliversNoMoreThanItsBuffer)
{
    TSimBench bench;
    ASSERT_TRUE(bench.Start());
    auto device = bench.Add(TestTracker(5400002, TSimLink::Ftdi));
    ASSERT_TRUE(bench.Channel.OpenLink(*device));
    // The version reply is 25 bytes; a read with room for 14 takes 14 of them.
    const QByteArray request = BuildSimpleRequest(kCmdFirmwareVersion);
    ASSERT_TRUE(bench.Channel.SendData(*device, U8(request), int(request.size())));
    uint8_t reply[32];
    std::fill(std::begin(reply), std::end(reply), uint8_t(0xAA));
    EXPECT_EQ(bench.Channel.ReadLink(*device, reply, 1000, 14), 14);
    EXPECT_EQ(reply[14], 0xAA);
    bench.Channel.CloseLink(*device);
}
