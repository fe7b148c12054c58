#include "Bytes.h"
#include "links/LoaderRecord.h"

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

TEST(LoaderRecord, RequestVectors)
{
    struct Case { QByteArray built; const char* expected; };
    const QByteArray text("QRGX-13.39-a6");
    const uint8_t sdAll[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const Case cases[] = {
        {BuildSimpleRequest(kCmdFirmwareVersion), "0E 00 0E 00 04 00 0A 00 00 00 00 00 2A 00"},
        {BuildSimpleRequest(kCmdBootloaderVersion), "0E 00 0E 00 05 00 0A 00 00 00 00 00 2B 00"},
        {BuildSimpleRequest(kCmdProcessorId), "0E 00 0E 00 0A 00 0A 00 00 00 00 00 30 00"},
        {BuildLoaderRecord(kCmdErase, 4, 0x00004000), "0E 00 0E 00 06 00 04 00 00 40 00 00 26 40"},
        {BuildSimpleRequest(kCmdFinish), "0E 00 0E 00 0B 00 0A 00 00 00 00 00 31 00"},
        {BuildSimpleRequest(kCmdAbort), "0E 00 0E 00 0C 00 0A 00 00 00 00 00 32 00"},
        {BuildSimpleRequest(kCmdStartApplication), "0E 00 0E 00 0D 00 0A 00 00 00 00 00 33 00"},
        {BuildLoaderRecord(kCmdSdCompatibility, kDefaultArgument, 0, sdAll, 4),
         "12 00 0E 00 0F 00 0A 00 00 00 00 00 39 00 FF FF FF FF"},
        {BuildLoaderRecord(kCmdFirmwareCompatibility, kDefaultArgument, 0, U8(text), 13),
         "1B 00 0E 00 0E 00 0A 00 00 00 00 00 D0 A4 51 52 47 58 2D 31 33 2E 33 39 2D 61 36"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Spaced(c.built), c.expected);
        EXPECT_TRUE(LoaderChecksumValid(U8(c.built), c.built.size()));
    }
}

TEST(LoaderRecord, ReplyAcceptance)
{
    const QByteArray version("STL4-1.05TR");
    const QByteArray good = BuildLoaderRecord(kStatusAccepted, 0, 0, U8(version), version.size());
    struct Case { const char* name; QByteArray reply; bool accepted; };
    QByteArray wrongHeader = good;
    wrongHeader[2] = 13;
    QByteArray totalTooLarge = good;  // the total is not compared with what arrived
    totalTooLarge[0] = char(0xFF);
    const Case cases[] = {
        {"accepted", good, true},
        {"total length 14, no payload", BuildLoaderRecord(kStatusAccepted, 0, 0), false},
        {"refused status", BuildLoaderRecord(0x81, 0, 0, U8(version), version.size()), false},
        {"header length not 14", wrongHeader, false},
        {"13 bytes", good.left(13), false},
        {"total above what arrived", totalTooLarge, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAcceptedReply(U8(c.reply), c.reply.size()), c.accepted) << c.name;
}

TEST(LoaderRecord, ReplyPayloads)
{
    QByteArray withZero = BuildLoaderRecord(kStatusAccepted, 0, 0,
                                            reinterpret_cast<const uint8_t*>("QRGX-13.38\0junk"), 15);
    EXPECT_EQ(ReplyVersionText(U8(withZero), withZero.size()), "QRGX-13.38");

    // A reply that fills the whole buffer: the text ends with the bytes received.
    QByteArray full(kMaxLoaderReply, 'A');
    full.replace(0, kLoaderHeaderSize, BuildLoaderRecord(kStatusAccepted, 0, 0));
    EXPECT_EQ(ReplyVersionText(U8(full), full.size()).size(), kMaxLoaderReply - kLoaderHeaderSize);

    const uint8_t id[4] = {0x19, 0x04, 0x40, 0x00};
    const QByteArray processor = BuildLoaderRecord(kStatusAccepted, 0, 0, id, 4);
    EXPECT_EQ(ReplyProcessorId(U8(processor), processor.size()), 0x00400419u);
    EXPECT_EQ(ReplyProcessorId(U8(processor), 16), 0x0419u);  // bytes that did not come are zero
    EXPECT_EQ(ReplyProcessorId(U8(processor), 14), 0u);
}

TEST(LoaderRecord, HeaderFields)
{
    const QByteArray piece = BuildLoaderRecord(kCmdWrite, 5, 0x08020200, nullptr, 0);
    TLoaderHeader h;
    ASSERT_TRUE(ReadLoaderHeader(U8(piece), piece.size(), h));
    EXPECT_EQ(h.TotalLength, 14);
    EXPECT_EQ(h.HeaderLength, 14);
    EXPECT_EQ(h.Command, kCmdWrite);
    EXPECT_EQ(h.Argument16, 5);
    EXPECT_EQ(h.Argument32, 0x08020200u);
    EXPECT_FALSE(ReadLoaderHeader(U8(piece), 13, h));

    QByteArray corrupted = piece;
    corrupted[9] = 0x7F;
    EXPECT_FALSE(LoaderChecksumValid(U8(corrupted), corrupted.size()));
}
