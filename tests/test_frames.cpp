#include "Bytes.h"
#include "links/ComReply.h"
#include "links/Frame.h"

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

TEST(FrameCrc16, CheckValues)
{
    const QByteArray digits("123456789");
    EXPECT_EQ(FrameCrc16(kFrameCrcInitial, U8(digits), 9), 0x29B1);
    EXPECT_EQ(FrameCrc16(kFrameCrcInitial, nullptr, 0), 0xFFFF);
}

TEST(TunnelFrame, ExampleVectors)
{
    uint8_t out[kMaxFrameSize];
    const QByteArray abc("abc");
    int n = BuildTunnelFrame(U8(abc), 3, out);
    EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(out), n)), "FE FF FF FF FF 0D 00 F0 61 62 63 92 29");

    n = BuildTunnelFrame(nullptr, 0, out);
    EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(out), n)), "FE FF FF FF FF 0A 00 F0 BE 2A");
}

TEST(TunnelFrame, PayloadLimit)
{
    uint8_t out[kMaxFrameSize];
    const QByteArray payload(91, 'x');
    EXPECT_EQ(BuildTunnelFrame(U8(payload), 90, out), 100);
    EXPECT_TRUE(CheckFrame(out, 100));
    EXPECT_EQ(BuildTunnelFrame(U8(payload), 91, out), 0);
}

TEST(RawFrames, FixedComRequests)
{
    uint8_t out[kMaxFrameSize];
    int n = BuildFrame(kSerialNumberCommand, &kSerialNumberData, 1, out);
    EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(out), n)), "FE FF FF FF FF 0B 00 00 0A 17 FF");
    n = BuildFrame(kLoaderStartCommand, nullptr, 0, out);
    EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(out), n)), "FE FF FF FF FF 0A 00 EF 60 C9");
}

TEST(RawFrames, SerialNumberReplyLayout)
{
    uint8_t out[kMaxFrameSize];
    const uint8_t serial[4] = {0x87, 0xD6, 0x12, 0x00};  // 1234567
    const int n = BuildReplyFrame(kSerialNumberReplyCommand, 0, serial, 4, out);
    EXPECT_EQ(n, kSerialNumberReplyLength);
    EXPECT_TRUE(CheckFrame(out, static_cast<uint16_t>(n)));
    EXPECT_EQ(out[kFrameCommandOffset], 0x0A);
    EXPECT_EQ(out[kReplyDataOffset], 0x87);
    EXPECT_EQ(BuildReplyFrame(0, 0, serial, kMaxReplyData + 1, out), 0);
}

TEST(RawFrames, SerialNumberReplyIsParsedFromTheWholeFrameOnly)
{
    const QByteArray vector = Hex("FE FF FF FF FF 12 00 0A 00 00 00 00 87 D6 12 00 9A 18");
    const auto reply = [](uint8_t command, uint32_t result, const QByteArray& data) {
        uint8_t out[kMaxFrameSize];
        const int n = BuildReplyFrame(command, result, U8(data), int(data.size()), out);
        return QByteArray(reinterpret_cast<const char*>(out), n);
    };
    const QByteArray number = Hex("87 D6 12 00");
    QByteArray badCrc = vector;
    badCrc[16] = char(badCrc[16] ^ 0x01);
    struct TCase {
        const char* Name;
        QByteArray Frame;
        bool Valid;
        uint32_t Serial;
    } cases[] = {
        {"the 18-byte answer", vector, true, 1234567},
        {"result code 1 with a number in bytes 12-15", reply(0x0A, 1, number), false, 0},
        {"one extra data byte, length 19", reply(0x0A, 0, number + Hex("01")), false, 0},
        {"the answer to another command", reply(0x0B, 0, number), false, 0},
        {"a wrong CRC", badCrc, false, 0},
        {"one byte short", vector.left(17), false, 0},
        {"nothing", {}, false, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        uint32_t serial = 77;
        EXPECT_EQ(ParseSerialNumberReply(U8(c.Frame), int(c.Frame.size()), serial), c.Valid);
        EXPECT_EQ(serial, c.Serial);
    }
}

TEST(CheckFrame, AcceptsAndRejects)
{
    uint8_t frame[kMaxFrameSize];
    ASSERT_EQ(BuildTunnelFrame(nullptr, 0, frame), 10);
    EXPECT_TRUE(CheckFrame(frame, 10));
    EXPECT_FALSE(CheckFrame(frame, 9));

    // A length field one more than what arrived.
    uint8_t longer[kMaxFrameSize];
    const QByteArray five("12345");
    BuildTunnelFrame(U8(five), 5, longer);
    EXPECT_TRUE(CheckFrame(longer, 15));
    EXPECT_FALSE(CheckFrame(longer, 14));

    // CRC bytes swapped.
    std::swap(longer[13], longer[14]);
    EXPECT_FALSE(CheckFrame(longer, 15));

    // A stray byte before the start byte.
    uint8_t stray[kMaxFrameSize] = {0x00};
    BuildTunnelFrame(nullptr, 0, stray + 1);
    EXPECT_FALSE(CheckFrame(stray, 11));

    // Wrong start byte.
    frame[0] = 0xFD;
    EXPECT_FALSE(CheckFrame(frame, 10));
}

// What ends a COM read early is exactly what the read would deliver: one whole frame, in
// tunnel mode one with reply data behind the result code.
TEST(ComReply, OneWholeFrameIsAReplyAndNothingElseIs)
{
    const QByteArray emptyTunnel = Hex("FE FF FF FF FF 0A 00 F0 BE 2A");
    uint8_t reply[kMaxFrameSize];
    const QByteArray six = Hex("10 20 30 40 50 60");
    const int length = BuildReplyFrame(0xF0, 0, U8(six), int(six.size()), reply);
    const QByteArray withData(reinterpret_cast<const char*>(reply), length);
    ASSERT_EQ(withData.size(), 20);
    uint8_t bare[kMaxFrameSize];
    const QByteArray resultOnly(reinterpret_cast<const char*>(bare),
                                BuildReplyFrame(0xF0, 0, nullptr, 0, bare));
    ASSERT_EQ(resultOnly.size(), 14);
    struct TCase {
        const char* Name;
        QByteArray Bytes;
        bool Raw;
        bool Tunnel;
    } cases[] = {
        {"a reply with data", withData, true, true},
        {"a reply with only its result code", resultOnly, true, false},
        {"a 10-byte frame", emptyTunnel, true, false},
        {"one byte short", withData.chopped(1), false, false},
        {"one byte more", withData + '\0', false, false},
        {"a stray byte before it", '\0' + withData, false, false},
        {"nothing", {}, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(IsComReply(U8(c.Bytes), int(c.Bytes.size()), TComMode::Raw), c.Raw);
        EXPECT_EQ(IsComReply(U8(c.Bytes), int(c.Bytes.size()), TComMode::Tunnel), c.Tunnel);
    }
}
