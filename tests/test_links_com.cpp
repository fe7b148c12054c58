// The COM-port link against a pseudo-terminal whose far end the test plays itself: the
// framing of requests and replies, the two fixed requests and the handle's life.

#include "Bytes.h"
#include "LinkTraceCapture.h"
#include "PtyFarEnd.h"
#include "links/DeviceChannel.h"
#include "links/DriverLibraries.h"
#include "links/Frame.h"
#include "links/LinkTrace.h"
#include "core/LiveOptions.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace ql;
using namespace ql::test;

namespace {

QByteArray Tunnel(const QByteArray& payload)
{
    uint8_t frame[kMaxFrameSize];
    const int n = BuildTunnelFrame(U8(payload), int(payload.size()), frame);
    return QByteArray(reinterpret_cast<const char*>(frame), n);
}

QByteArray Reply(uint8_t command, uint32_t result, const QByteArray& data)
{
    uint8_t frame[kMaxFrameSize];
    const int n = BuildReplyFrame(command, result, U8(data), int(data.size()), frame);
    return QByteArray(reinterpret_cast<const char*>(frame), n);
}

QByteArray Counting(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i + 1));
    return bytes;
}

class ComLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(far.Valid());
        options.UseComPort = true;
        options.SetComPortName(far.SlavePath());
    }

    TPtyFarEnd far;
    TLiveOptions options;
    TDeviceChannel channel{options};
    TDevEntry device{4242, lkComPort};
};

}  // namespace

// Before any binding (this file's first test): every operation on a driver library that
// is not bound fails at once.
TEST(UnboundLibraries, EveryOperationFailsAtOnce)
{
    if (FtdiLibrary().Available || QlusbLibrary().Available)
        GTEST_SKIP() << "a library was bound earlier in this process";
    TLiveOptions options;
    TDeviceChannel channel(options);
    for (int kind : {int(lkFtdi), int(lkMakerUsb)}) {
        TDevEntry device(QByteArray("1234567"), 1, kind);
        EXPECT_FALSE(channel.OpenLink(device));
        uint8_t buffer[16] = {};
        int written = 7;
        EXPECT_FALSE(channel.WriteLink(device, buffer, 4, written));
        EXPECT_EQ(written, 0);
        EXPECT_EQ(channel.ReadLink(device, buffer, 1000, sizeof buffer), 0);
        channel.CloseLink(device);
        EXPECT_EQ(device.FtdiHandle, nullptr);
        EXPECT_EQ(device.QlusbHandle, 0u);
    }
}

TEST_F(ComLink, WriteLinkSendsOneTunnelFrameAndReportsThePayload)
{
    ASSERT_TRUE(channel.OpenLink(device));
    int written = 0;
    const QByteArray five = Counting(5);
    ASSERT_TRUE(channel.WriteLink(device, U8(five), 5, written));
    EXPECT_EQ(written, 5);
    const QByteArray frame = far.Receive();
    EXPECT_EQ(frame.size(), 15);
    EXPECT_EQ(Spaced(frame), Spaced(Tunnel(five)));

    const QByteArray tooLong = Counting(91);
    EXPECT_FALSE(channel.WriteLink(device, U8(tooLong), 91, written));
    EXPECT_EQ(written, 0);
    EXPECT_TRUE(far.Receive().isEmpty());
    channel.CloseLink(device);
    EXPECT_FALSE(channel.ComIsOpen());
}

TEST_F(ComLink, RepliesAreUnwrappedOnlyWhenTheyAreOneWholeFrameWithData)
{
    const QByteArray six = Hex("10 20 30 40 50 60");
    const QByteArray good = Reply(0xF0, 0, six);
    ASSERT_EQ(good.size(), 20);
    QByteArray badCrc = good;
    badCrc[badCrc.size() - 1] = char(badCrc.back() ^ 0x01);
    struct TCase {
        const char* Name;
        QByteArray Wire;
        QByteArray Delivered;
    } cases[] = {
        {"a 20-byte frame delivers its offsets 12 to 17", good, six},
        {"a frame of 14 bytes carries no reply data", Reply(0xF0, 0, {}), {}},
        {"two frames in one read", good + good, {}},
        {"a stray byte before the frame", QByteArray(1, '\x55') + good, {}},
        {"a frame with a wrong CRC", badCrc, {}},
        {"half a frame", good.left(12), {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(channel.OpenLink(device));
        far.Send(c.Wire);
        uint8_t buffer[1024];
        const int got = channel.ReadLink(device, buffer, 150, sizeof buffer);
        EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(buffer), got)), Spaced(c.Delivered));
        channel.CloseLink(device);
    }
}

TEST_F(ComLink, AReplyLargerThanTheCallersBufferIsCutToIt)
{
    // The erase and write replies are read with room for 14 bytes; a device that answers
    // with more must not be able to write past it.
    ASSERT_TRUE(channel.OpenLink(device));
    far.Send(Reply(0xF0, 0, Counting(40)));
    uint8_t buffer[14 + 8];
    std::fill(std::begin(buffer), std::end(buffer), uint8_t(0xAA));
    EXPECT_EQ(channel.ReadLink(device, buffer, 150, 14), 14);
    EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(buffer), 14)), Spaced(Counting(14)));
    EXPECT_EQ(buffer[14], 0xAA);
}

TEST_F(ComLink, SendDataSplitsIntoTunnelFramesByTheDevicesLink)
{
    const QByteArray data = Counting(150);
    struct TCase {
        int32_t Kind;
        std::vector<int> Pieces;
    } cases[] = {{lkComPort, {90, 60}}, {lkFtdi, {64, 64, 22}}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Kind);
        TDevEntry entry(4242, c.Kind);
        ASSERT_TRUE(channel.OpenLink(entry));
        ASSERT_TRUE(channel.SendData(entry, U8(data), int(data.size())));
        QByteArray expected;
        int at = 0;
        for (int piece : c.Pieces) {
            expected += Tunnel(data.mid(at, piece));
            at += piece;
        }
        EXPECT_EQ(Spaced(far.Receive()), Spaced(expected));
        channel.CloseLink(entry);
    }
}

TEST_F(ComLink, OpeningTheOpenPortKeepsItsHandle)
{
    ASSERT_TRUE(channel.OpenLink(device));
    ASSERT_TRUE(channel.OpenLink(device));
    int written = 0;
    EXPECT_TRUE(channel.WriteLink(device, U8(Counting(3)), 3, written));
    EXPECT_EQ(far.Receive().size(), 13);

    // The port is held exclusively: another handle cannot take it meanwhile.
    TDeviceChannel other(options);
    EXPECT_FALSE(other.ComOpen());
    channel.CloseLink(device);
    EXPECT_TRUE(other.ComOpen());
    other.ComClose();
}

TEST_F(ComLink, WithTheComOptionEveryDeviceOpensThePort)
{
    TDevEntry ftdi(QByteArray("1234567"), kNoUsbNumber, lkFtdi);
    ASSERT_TRUE(channel.OpenLink(ftdi));
    EXPECT_TRUE(channel.ComIsOpen());
    EXPECT_EQ(ftdi.FtdiHandle, nullptr);
    channel.CloseLink(ftdi);
    EXPECT_FALSE(channel.ComIsOpen());

    options.SetComPortName(far.SlavePath() + "-missing");
    EXPECT_FALSE(channel.OpenLink(ftdi));
    EXPECT_FALSE(channel.ComIsOpen());
}

namespace {

// Answers one request on the far end: waits for it, keeps it, sends the reply.
struct TOneAnswer {
    TOneAnswer(TPtyFarEnd& far, qsizetype requestLength, QByteArray reply)
        : thread([&far, requestLength, reply, this] {
              Request = far.Receive(2500, requestLength);
              if (!reply.isEmpty())
                  far.Send(reply);
          })
    {
    }
    ~TOneAnswer() { Finish(); }
    // The request as it arrived, once the reply is out.
    QByteArray Finish()
    {
        if (thread.joinable())
            thread.join();
        return Request;
    }
    QByteArray Request;
    std::thread thread;
};

QByteArray Le32(uint32_t value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

}  // namespace

TEST_F(ComLink, FixedRequestsAndTheirAnswers)
{
    const QByteArray serialRequest = Hex("FE FF FF FF FF 0B 00 00 0A 17 FF");
    const QByteArray startRequest = Hex("FE FF FF FF FF 0A 00 EF 60 C9");
    // The serial number, or 1 for a loader start that was accepted.
    const auto serial = [this] { TDevEntry probe; return channel.RequestSerialNumber(probe); };
    const auto start = [this] { TDevEntry probe; return uint32_t(channel.RequestLoaderStart(probe)); };
    struct TCase {
        const char* Name;
        std::function<uint32_t()> Call;
        QByteArray Request;
        QByteArray Reply;
        uint32_t Result;
    } cases[] = {
        {"serial: valid answer", serial, serialRequest, Reply(0x0A, 0, Le32(1234567)), 1234567},
        {"serial: result code 1", serial, serialRequest, Reply(0x0A, 1, Le32(1234567)), 0},
        {"serial: one extra data byte, length 19", serial, serialRequest,
         Reply(0x0A, 0, Le32(1234567) + "\x01"), 0},
        {"serial: answer to another command", serial, serialRequest, Reply(0x0B, 0, Le32(1234567)), 0},
        {"start: result 0", start, startRequest, Reply(0xEF, 0, {}), 1},
        {"start: the command byte is not looked at", start, startRequest, Reply(0x01, 0, {}), 1},
        {"start: result 2", start, startRequest, Reply(0xEF, 2, {}), 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TOneAnswer answer(far, c.Request.size(), c.Reply);
        EXPECT_EQ(c.Call(), c.Result);
        EXPECT_EQ(Spaced(answer.Finish()), Spaced(c.Request));
        EXPECT_FALSE(channel.ComIsOpen());
    }
}

TEST_F(ComLink, FixedRequestsWithoutAnAnswerFailAfterTheirTimeOut)
{
    TDevEntry probe;
    EXPECT_EQ(channel.RequestSerialNumber(probe), 0u);
    EXPECT_FALSE(channel.ComIsOpen());
    EXPECT_FALSE(channel.RequestLoaderStart(probe));
    EXPECT_FALSE(channel.ComIsOpen());
    // The port could not be opened: nothing is sent at all.
    options.SetComPortName(far.SlavePath() + "-missing");
    EXPECT_EQ(channel.RequestSerialNumber(probe), 0u);
}

TEST_F(ComLink, TraceShowsEveryRequestAndReplyWhenSwitchedOn)
{
    EXPECT_FALSE(lcLink().isDebugEnabled()) << "the trace is off by default";
    TLinkTraceCapture trace;

    ASSERT_TRUE(channel.OpenLink(device));
    int written = 0;
    channel.WriteLink(device, U8(Hex("0E 00 0E 00")), 4, written);
    far.Receive();
    far.Send(Reply(0xF0, 0, Hex("AB CD")));
    uint8_t buffer[64];
    EXPECT_EQ(channel.ReadLink(device, buffer, 150, sizeof buffer), 2);
    channel.CloseLink(device);

    EXPECT_EQ(trace.Lines(), (QStringList{"-> device 4242 com [4] 0e 00 0e 00",
                                          "<- device 4242 com [2] ab cd"}));
}
