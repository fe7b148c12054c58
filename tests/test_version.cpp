#include "core/MessageCatalogue.h"
#include "firmware/FirmwareVersion.h"

#include <gtest/gtest.h>

using namespace ql;

namespace {
TFirmwareVersion Parsed(const char* text, bool* ok = nullptr)
{
    TFirmwareVersion v;
    const bool result = ParseVersion(v, text);
    if (ok)
        *ok = result;
    return v;
}
}  // namespace

TEST(ParseVersion, Table)
{
    struct Case { const char* text; bool ok; const char* tag; int number; const char* suffix; const char* printed; };
    const Case cases[] = {
        {"QRGX-13.39-a6", true, "QRGX", 1339, "-a6", "QRGX-13.39-a6"},
        {"STL4-1.05TR", true, "STL4", 105, "TR", "STL4-1.05TR"},
        {"QRGX-13.5", true, "QRGX", 1305, "", "QRGX-13.05"},
        {"QRGX-7.05", true, "QRGX", 705, "", "QRGX-7.05"},
        {"QRGX-0.00", true, "QRGX", 0, "", "?????"},
        {"QRGX-13.39 \t\r\n", true, "QRGX", 1339, "", "QRGX-13.39"},
        {"QRGX- 13. 39 beta ", true, "QRGX", 1339, "13. 39 beta", nullptr},
        {"Unknown", true, "unk", 1, "", "Empty"},
        {"QRGX-13", false, "QRGX", 0, "", nullptr},
        {"13.39", false, "", 0, "", nullptr},
        {"-13.39", false, "", 0, "", nullptr},
        {"A-B-1.2", false, "A", 0, "", nullptr},
        {"", false, "", 0, "", nullptr},
    };
    for (const Case& c : cases) {
        bool ok = false;
        const TFirmwareVersion v = Parsed(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(v.Tag, c.tag) << c.text;
        EXPECT_EQ(v.VersionNumber, c.number) << c.text;
        EXPECT_EQ(v.Suffix, c.suffix) << c.text;
        if (c.printed) {
            EXPECT_EQ(VersionText(v), c.printed) << c.text;
        }
    }
}

TEST(ParseVersion, ThreeDigitMinorCarriesIntoMajor)
{
    const TFirmwareVersion v = Parsed("QRGX-13.395");
    EXPECT_EQ(v.VersionNumber, 1695);
    EXPECT_EQ(VersionText(v), "QRGX-16.95");
}

TEST(ParseVersion, NumberKeptIn16Bits)
{
    EXPECT_EQ(Parsed("QRGX-700.0").VersionNumber, 70000 % 65536);
    EXPECT_EQ(Parsed("QRGX--1.0").VersionNumber, uint16_t(-100));
}

TEST(ParseVersion, ReparseDropsOldSuffixAndKeepsImageFields)
{
    TFirmwareVersion v;
    ASSERT_TRUE(ParseVersion(v, "QRGX-13.39-a6"));
    v.BuildDate = 45751.5;
    v.StartOffset = 0x1000;
    ASSERT_TRUE(ParseVersion(v, "QRGX-13.40"));
    EXPECT_EQ(VersionText(v), "QRGX-13.40");
    EXPECT_EQ(v.BuildDate, 45751.5);
    EXPECT_EQ(v.StartOffset, 0x1000u);
}

TEST(ParseVersion, FailureAfterTagKeepsOtherFields)
{
    TFirmwareVersion v;
    ASSERT_TRUE(ParseVersion(v, "QRGX-13.39-a6"));
    EXPECT_FALSE(ParseVersion(v, "LEAD-x"));
    EXPECT_EQ(v.Tag, "LEAD");
    EXPECT_EQ(v.VersionNumber, 1339);
    EXPECT_EQ(v.Suffix, "-a6");
    EXPECT_FALSE(ParseVersion(v, "nodash"));
    EXPECT_EQ(v.Tag, "");  // the tag is taken before the text is refused
    EXPECT_EQ(v.VersionNumber, 1339);
}

TEST(VersionText, FreshAndUnknownRecords)
{
    SetCurrentLanguage(kEnglish);
    TFirmwareVersion fresh;
    EXPECT_EQ(VersionText(fresh), "?????");
    EXPECT_EQ(DateText(fresh), "unknown");
    EXPECT_EQ(fresh.SdRequirement, 0xFFFFFFFFu);
    SetCurrentLanguage(kRussian);
    EXPECT_EQ(DateText(fresh), QString::fromUtf8("неизвестна"));
    SetCurrentLanguage(kEnglish);

    TFirmwareVersion unk;
    unk.Tag = "unk";
    unk.VersionNumber = 1234;
    EXPECT_EQ(VersionText(unk), "Empty");
}

TEST(DateText, Forms)
{
    SetCurrentLanguage(kEnglish);
    TFirmwareVersion v;
    ASSERT_TRUE(EncodeOleDate(2025, 4, 4, 16, 56, 42, v.BuildDate));
    EXPECT_EQ(DateText(v), "04-04-2025 16:56:42");
    ASSERT_TRUE(EncodeOleDate(1999, 12, 31, 23, 59, 59, v.BuildDate));
    EXPECT_EQ(DateText(v), "31-12-1999 23:59:59");
    ASSERT_TRUE(EncodeOleDate(1850, 1, 2, 6, 0, 1, v.BuildDate));
    EXPECT_LT(v.BuildDate, 0);
    EXPECT_EQ(DateText(v), "02-01-1850 06:00:01");
    v.BuildDate = 0.5;  // 30 December 1899 12:00: day part 0
    EXPECT_EQ(DateText(v), "unknown");
}

TEST(EncodeOleDate, RefusesWhatIsNotACalendarDate)
{
    double d = 0;
    EXPECT_TRUE(EncodeOleDate(2024, 2, 29, 0, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(2025, 2, 29, 0, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(2025, 2, 31, 10, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(2025, 13, 1, 0, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(0, 1, 1, 0, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(10000, 1, 1, 0, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(2025, 1, 1, 24, 0, 0, d));
    EXPECT_FALSE(EncodeOleDate(2025, 1, 1, 0, 60, 0, d));
    EXPECT_FALSE(EncodeOleDate(2025, 1, 1, 0, 0, 60, d));
    EXPECT_TRUE(EncodeOleDate(1, 1, 1, 0, 0, 0, d));
    EXPECT_TRUE(EncodeOleDate(9999, 12, 31, 23, 59, 59, d));
}
