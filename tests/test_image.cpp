#include "Bytes.h"
#include "TestLog.h"
#include "core/MessageCatalogue.h"
#include "firmware/FirmwareSources.h"
#include "firmware/ImageChecksum.h"
#include "firmware/ImageFormat.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

namespace {

const char kExampleHeader[] =
    "2A 00 0D 80 A2 26 0D 00 51 52 47 58 2D 31 33 2E 33 39 2D 61 36 13 00 30 34 2E 30 34 2E 32 30 "
    "32 35 20 31 36 3A 35 36 3A 34 32";

struct TParse {
    bool ok = false;
    TFirmwareVersion version;
    FirmwareList blocks;
    TCollectingLog log;
};

void Parse(const QByteArray& image, TParse& r)
{
    r.ok = ParseFirmwareImage(U8(image), static_cast<uint32_t>(image.size()), r.version, r.blocks, r.log);
}

class ImageFormat : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentLanguage(kEnglish); }
};

QByteArray Image(const QByteArray& version, const QByteArray& date, const QByteArray& payload,
                 bool extra = false, uint32_t start = 0, uint32_t sd = 0xFFFFFFFF)
{
    return BuildFirmwareImage(version, date, extra, start, sd, payload);
}

void Restamp(QByteArray& image)
{
    qToLittleEndian(ComputeImageChecksum(U8(image), image.size()), image.data() + 4);
}

}  // namespace

TEST(ImageChecksum, ReferenceValues)
{
    EXPECT_EQ(ImageChecksum(U8(QByteArray("123456789")), 9), 0xD509);
    EXPECT_EQ(ImageChecksum(U8(QByteArray("abc")), 3), 0x62C4);
    EXPECT_EQ(ImageChecksum(U8(Hex("FF FF 01 00")), 4), 0x0001);
    EXPECT_EQ(ImageChecksum(nullptr, 0), 0);
}

TEST_F(ImageFormat, EmbeddedImageIsTheWorkedExample)
{
    const QByteArray image = EmbeddedImage();
    ASSERT_EQ(image.size(), 852010);
    EXPECT_EQ(Spaced(image.left(42)), kExampleHeader);
    // 852010 mod 65536 is 42: the checksum covers the header alone.
    QByteArray header = image.left(42);
    header[4] = header[5] = 0;
    EXPECT_EQ(ImageChecksum(U8(header), 42), 0x26A2);

    TParse r;
    Parse(image, r);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.log.Lines.empty());
    EXPECT_EQ(r.version.Tag, "QRGX");
    EXPECT_EQ(r.version.VersionNumber, 1339);
    EXPECT_EQ(r.version.Suffix, "-a6");
    EXPECT_EQ(VersionText(r.version), "QRGX-13.39-a6");
    EXPECT_EQ(DateText(r.version), "04-04-2025 16:56:42");
    EXPECT_EQ(r.version.StartOffset, 0u);
    EXPECT_EQ(r.version.SdRequirement, 0xFFFFFFFFu);
    EXPECT_FALSE(r.version.IsNrfImage);
    ASSERT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(r.blocks[0]->Offset, -1);
    EXPECT_EQ(r.blocks[0]->Length, 851968u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.blocks[0]->Data.data()), 851968), image.mid(42));
}

TEST_F(ImageFormat, PayloadBeyondTheSummedBytesDoesNotChangeTheChecksum)
{
    QByteArray image = EmbeddedImage();
    image[1000] = char(image[1000] ^ 0x5A);
    TParse r;
    Parse(image, r);
    EXPECT_TRUE(r.ok);

    QByteArray header = EmbeddedImage();
    header[10] = 'X';  // "QRXX-..."
    TParse bad;
    Parse(header, bad);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.log.Texts(), QStringList{"Firmware CRC error"});
}

TEST_F(ImageFormat, SizeAndChecksumFailures)
{
    const QByteArray good = Image("QRGX-1.02", "", "payload");
    struct Case { const char* name; QByteArray image; const char* message; };
    QByteArray oneMore = good, oneLess = good, badSum = good;
    qToLittleEndian<uint32_t>(good.size() + 1, oneMore.data());
    qToLittleEndian<uint32_t>(good.size() - 1, oneLess.data());
    badSum[4] = char(badSum[4] ^ 1);
    const Case cases[] = {
        {"size one more", oneMore, "Wrong firmware size"},
        {"size one less", oneLess, "Wrong firmware size"},
        {"truncated file", good.left(good.size() - 1), "Wrong firmware size"},
        {"three bytes", good.left(3), "Wrong firmware size"},
        {"checksum", badSum, "Firmware CRC error"},
    };
    for (const Case& c : cases) {
        TParse r;
        Parse(c.image, r);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.log.Texts(), QStringList{c.message}) << c.name;
        ASSERT_FALSE(r.log.Lines.empty());
        EXPECT_EQ(r.log.Lines[0].Kind, lkError);
        EXPECT_EQ(r.log.Lines[0].Device, 0);
        EXPECT_TRUE(r.blocks.empty()) << c.name;
        EXPECT_EQ(r.version.VersionNumber, 0) << c.name;
    }
}

TEST_F(ImageFormat, HeaderRunningPastTheEndIsASizeError)
{
    // Each image has a correct size word and checksum, but a part of its header claims
    // more bytes than the image holds.
    auto stamped = [](QByteArray image) {
        Restamp(image);
        return image;
    };
    QByteArray versionTooLong = Image("QRGX-1.02", "", "");
    qToLittleEndian<uint16_t>(500, versionTooLong.data() + 6);
    QByteArray dateTooLong = Image("QRGX-1.02", "04.04.2025 16:56:42", "");
    qToLittleEndian<uint16_t>(200, dateTooLong.data() + 8 + 9);
    QByteArray dateLengthMissing = Image("QRGX-1.02", "", "");
    qToLittleEndian<uint32_t>(uint32_t(dateLengthMissing.size()) | kImageDateFlag, dateLengthMissing.data());
    QByteArray extraMissing = Image("QRGX-1.02", "", "abc");
    qToLittleEndian<uint32_t>(uint32_t(extraMissing.size()) | kImageExtraFlag, extraMissing.data());
    QByteArray sevenBytes = Image("QRGX-1.02", "", "").left(7);
    qToLittleEndian<uint32_t>(7, sevenBytes.data());
    const QByteArray cases[] = {stamped(versionTooLong), stamped(dateTooLong),
                                stamped(dateLengthMissing), stamped(extraMissing),
                                stamped(sevenBytes)};
    int i = 0;
    for (const QByteArray& image : cases) {
        TParse r;
        Parse(image, r);
        EXPECT_FALSE(r.ok) << i;
        EXPECT_EQ(r.log.Texts(), QStringList{"Wrong firmware size"}) << i;
        EXPECT_TRUE(r.blocks.empty()) << i;
        ++i;
    }
}

TEST_F(ImageFormat, DatesThatDoNotDecodeStillLoad)
{
    struct Case { const char* date; bool decodes; const char* printed; };
    const Case cases[] = {
        {"4.4.2025 16:56:42", true, "04-04-2025 16:56:42"},
        {"04.04.2025   16:56:42 trailing", true, "04-04-2025 16:56:42"},
        {"31.02.2025 10:00:00", false, "unknown"},
        {"04.04.2025 16:56", false, "unknown"},
        {"04.04.2025 24:00:00", false, "unknown"},
        {"garbage", false, "unknown"},
    };
    for (const Case& c : cases) {
        TParse r;
        Parse(Image("QRGX-1.02", c.date, "abcd"), r);
        EXPECT_TRUE(r.ok) << c.date;
        EXPECT_EQ(DateText(r.version), c.printed) << c.date;
        if (c.decodes) {
            EXPECT_TRUE(r.log.Lines.empty()) << c.date;
        } else {
            EXPECT_EQ(r.version.BuildDate, 0.0) << c.date;
            EXPECT_EQ(r.log.Texts(), QStringList{"Compilation time decoding error"}) << c.date;
        }
        ASSERT_EQ(r.blocks.size(), 1u);
        EXPECT_EQ(r.blocks[0]->Length, 4u);
    }
}

TEST_F(ImageFormat, OptionalPartsAndFlags)
{
    TParse plain;
    Parse(Image("QRGX-1.02", "", "xy"), plain);
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(plain.version.BuildDate, 0.0);
    EXPECT_EQ(plain.version.StartOffset, 0u);
    EXPECT_EQ(plain.version.SdRequirement, 0xFFFFFFFFu);

    // Extra words without a date sit right after the version text.
    const QByteArray extraOnly = Image("QLBT-2.01", "", "xy", true, 0x1000, 0x000000A8);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(extraOnly.constData()) & 0xC0000000u, kImageExtraFlag);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(extraOnly.constData() + 8 + 9), 0x1000u);
    TParse nrf;
    Parse(extraOnly, nrf);
    ASSERT_TRUE(nrf.ok);
    EXPECT_EQ(nrf.version.StartOffset, 0x1000u);
    EXPECT_EQ(nrf.version.SdRequirement, 0xA8u);
    EXPECT_TRUE(nrf.version.IsNrfImage);
    EXPECT_EQ(nrf.blocks[0]->Length, 2u);

    TParse both;
    Parse(Image("QLBT-2.01", "01.01.2024 00:00:00", "xy", true, 0x26000, 7), both);
    ASSERT_TRUE(both.ok);
    EXPECT_EQ(both.version.StartOffset, 0x26000u);
    EXPECT_NE(both.version.BuildDate, 0.0);

    TParse lower;
    Parse(Image("qlbt-2.01", "", "xy"), lower);
    ASSERT_TRUE(lower.ok);
    EXPECT_FALSE(lower.version.IsNrfImage);

    TParse empty;
    Parse(Image("QRGX-1.02", "", ""), empty);
    ASSERT_TRUE(empty.ok);
    ASSERT_EQ(empty.blocks.size(), 1u);
    EXPECT_EQ(empty.blocks[0]->Length, 0u);
}

TEST_F(ImageFormat, VersionThatDoesNotParseFailsSilently)
{
    TParse r;
    Parse(Image("13.39", "", "xy"), r);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.log.Lines.empty());
    EXPECT_TRUE(r.blocks.empty());

    TParse zero;  // the text ends at its first zero byte
    Parse(Image(QByteArray("QRGX-1.02\0zz", 12), "", "xy"), zero);
    ASSERT_TRUE(zero.ok);
    EXPECT_EQ(VersionText(zero.version), "QRGX-1.02");
}

TEST_F(ImageFormat, WholeUnitsOf64KiBSumNothing)
{
    // Header of 17 bytes + payload so that the total is exactly 65536.
    QByteArray image = Image("QRGX-1.02", "", QByteArray(65536 - 17, 'z'));
    ASSERT_EQ(image.size(), 65536);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(image.constData() + 4), 0);
    TParse r;
    Parse(image, r);
    EXPECT_TRUE(r.ok);
    image[4] = 1;
    TParse bad;
    Parse(image, bad);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.log.Texts(), QStringList{"Firmware CRC error"});
}

TEST_F(ImageFormat, BlockSizeLimit)
{
    const QByteArray version("QRGX-1.02");
    TParse atLimit;
    Parse(Image(version, "", QByteArray(int(kMaxBlockSize), 'a')), atLimit);
    EXPECT_TRUE(atLimit.ok);
    EXPECT_EQ(atLimit.blocks[0]->Length, kMaxBlockSize);

    TParse over;
    try {
        Parse(Image(version, "", QByteArray(int(kMaxBlockSize) + 1, 'a')), over);
        FAIL() << "no exception";
    } catch (const TFirmwareBlockTooBig& e) {
        EXPECT_EQ(e.Text(), "Firmware block size is too big");
    }
    EXPECT_EQ(VersionText(over.version), "QRGX-1.02");  // filled before the block was refused
    EXPECT_TRUE(over.blocks.empty());

    SetCurrentLanguage(kRussian);
    EXPECT_THROW(CreateFirmwareBlock(nullptr, kMaxBlockSize + 1, -1), TFirmwareBlockTooBig);
    try {
        CreateFirmwareBlock(nullptr, kMaxBlockSize + 1, -1);
    } catch (const TFirmwareBlockTooBig& e) {
        EXPECT_EQ(e.Text(), QString::fromUtf8("Слишком большой размер блока прошивки"));
    }
}
