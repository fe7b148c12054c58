#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"
#include "core/LogSink.h"

#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

using namespace ql;

namespace {

// The printf conversions of a text in order ("%%" is a percent sign, not a conversion).
QStringList Conversions(const QString& text)
{
    static const QRegularExpression conversion(
        QStringLiteral("%%|%[-+ #0]*[0-9]*(?:\\.[0-9]+)?(?:hh|h|ll|l|z)?[a-zA-Z]"));
    QStringList found;
    for (auto it = conversion.globalMatch(text); it.hasNext();) {
        const QString match = it.next().captured();
        if (match != QStringLiteral("%%"))
            found << match;
    }
    return found;
}

}  // namespace

TEST(Catalogue, TextsByLanguageAndNumber)
{
    EXPECT_EQ(MessageText(kRussian, 33), QString::fromUtf8("Ошибка контрольной суммы файла прошивки"));
    EXPECT_EQ(MessageText(kEnglish, 33), "Firmware CRC error");
    EXPECT_EQ(MessageText(kEnglish, 48), "Update firmware");
    EXPECT_EQ(MessageText(kEnglish, 84), "Select firmware file");
    EXPECT_EQ(MessageText(kRussian, 0), QString::fromUtf8("Драйвер устройств FTDI не установлен."));
}

TEST(Catalogue, NumbersAndLanguagesOutsideTheTable)
{
    EXPECT_EQ(MessageText(kEnglish, kMessageCount), "Message is not defined");
    EXPECT_EQ(MessageText(kRussian, kMessageCount), QString::fromUtf8("Сообщение не определено"));
    EXPECT_EQ(MessageText(2, 0), "Language is not defined");
    EXPECT_EQ(MessageText(2, kMessageCount), "Language is not defined");
    EXPECT_EQ(MessageText(kEnglish, 35), "Uninitialised message ID=35");
    EXPECT_EQ(MessageText(kRussian, 35), "Uninitialised message ID=35");
}

TEST(Catalogue, EveryNumberButThirtyFiveHasTextInBothLanguages)
{
    for (int language : {kRussian, kEnglish}) {
        for (int number = 0; number < kMessageCount; ++number) {
            if (number != 35) {
                EXPECT_FALSE(MessageText(language, number).startsWith("Uninitialised"))
                    << language << " " << number;
            }
        }
    }
}

TEST(Catalogue, EraseOkEndsInCyrillicLetters)
{
    for (int language : {kRussian, kEnglish}) {
        const QString text = MessageText(language, msg::EraseOk);
        EXPECT_TRUE(text.endsWith(QString::fromUtf16(u"\u041E\u041A"))) << language;
        EXPECT_FALSE(text.endsWith("OK")) << language;
    }
    EXPECT_NE(MessageText(kEnglish, msg::EraseOk), "(% 6d) Erasing sector %d: OK");
}

TEST(Catalogue, StructuredTexts)
{
    // Prefixes end in a tab; message 27 ends in an opening double quote for the caller's path.
    for (int language : {kRussian, kEnglish}) {
        EXPECT_TRUE(MessageText(language, 3).endsWith('\t'));
        EXPECT_TRUE(MessageText(language, 4).endsWith('\t'));
        EXPECT_TRUE(MessageText(language, 27).endsWith('"'));
    }
    EXPECT_EQ(MessageText(kEnglish, 62), "(% 6d)\tPart %d of %d");
    EXPECT_EQ(MessageText(kEnglish, 13),
              "If the \"Update firmware\" button does not appear after 10 seconds, reconnect the device");
}

// Callers pass one argument list whatever the language, so a text whose conversions differ
// from the other language's would print the wrong argument or read one that is not there.
TEST(Catalogue, BothLanguagesTakeTheSameConversionsInTheSameOrder)
{
    // The formatting handles these and no others.
    const QStringList handled = {"%d", "% 6d", "%7d", "%08X", "%s"};
    for (int number = 0; number < kMessageCount; ++number) {
        const QStringList russian = Conversions(MessageText(kRussian, number));
        EXPECT_EQ(russian, Conversions(MessageText(kEnglish, number))) << "message " << number;
        for (const QString& conversion : russian)
            EXPECT_TRUE(handled.contains(conversion))
                << "message " << number << ": " << conversion.toStdString();
    }
    // The reader finds what the texts hold.
    EXPECT_EQ(Conversions(Msg(msg::RecordingError)),
              QStringList({"% 6d", "%d", "%d", "%d", "%d", "%d", "%d"}));
    EXPECT_EQ(Conversions(Msg(msg::ProcessorIdIs)), QStringList({"%08X"}));
    EXPECT_EQ(Conversions(Msg(msg::ComPortAccess)), QStringList({"%s", "%s"}));
    EXPECT_EQ(Conversions("100%% of %7d"), QStringList({"%7d"}));
}

TEST(MessageFormat, ConversionsTheCatalogueUses)
{
    SetCurrentLanguage(kEnglish);
    EXPECT_EQ(FormatText(Msg(62), 1234, 7, 256), "(  1234)\tPart 7 of 256");
    EXPECT_EQ(FormatText(Msg(3), 1234567), "Device 1234567\t");
    EXPECT_EQ(FormatText(Msg(3), 42), "Device      42\t");
    EXPECT_EQ(FormatText(Msg(10), 0x00400419u), "Processor ID 0x00400419");
    EXPECT_EQ(FormatText(Msg(56), 0xABCDEF01u), "Unknown processor ID ABCDEF01");
    EXPECT_EQ(FormatText(Msg(28), QStringLiteral("QRGX-13.39-a6")), "Firmware version \"QRGX-13.39-a6\"");
    SetCurrentLanguage(kRussian);
    EXPECT_EQ(FormatText(Msg(3), 7), QString::fromUtf8("Прибор       7\t"));
    EXPECT_EQ(FormatText(Msg(31), QString::fromUtf8("/tmp/файл.eraw")),
              QString::fromUtf8("Загрузка прошивки: Файл /tmp/файл.eraw не найден"));
    SetCurrentLanguage(kEnglish);
}

TEST(MessageFormat, LongTextsAreNotCut)
{
    const QString longPath(5000, QChar('x'));
    EXPECT_EQ(FormatText(Msg(31), longPath), Msg(31).replace("%s", longPath));
}

TEST(LogPrefix, DeviceAndNoDevice)
{
    SetCurrentLanguage(kEnglish);
    EXPECT_EQ(DevicePrefix(0), "Device -------\t");
    EXPECT_EQ(DevicePrefix(1234567), "Device 1234567\t");
    EXPECT_EQ(DevicePrefix(99), "Device      99\t");
}
