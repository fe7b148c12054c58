// The "json" keyword's record of a run, without the program: each object's line, the
// escaping of what a log text may hold, and each device's outcome in the summary, every
// line checked against the schema in docs/.

#include "JsonSchemaCheck.h"
#include "app/JsonLog.h"
#include "devices/DevEntry.h"
#include "links/LinkEntry.h"
#include "links/LoaderRecord.h"
#include "writing/WriteErrors.h"

#include <QJsonParseError>
#include <QRegularExpression>

#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

namespace {

class JsonLog : public ::testing::Test {
protected:
    QJsonObject Parsed(qsizetype index) const
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(lines.at(index), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << lines.at(index).constData();
        return document.object();
    }
    void ExpectAllMatchTheSchema() const
    {
        ASSERT_FALSE(schema.isEmpty());
        for (qsizetype i = 0; i < lines.size(); ++i)
            EXPECT_EQ(JsonSchemaMismatch(Parsed(i), schema).toStdString(), "") << lines.at(i).constData();
    }

    QList<QByteArray> lines;
    TJsonLog log{[this](const QByteArray& line) { lines << line; }};
    const QJsonObject schema = LoadJsonSchema();
};

TEST_F(JsonLog, ALogTextComesBackExactlyOnOneLine)
{
    const struct {
        const char* Name;
        QString Text;
    } cases[] = {
        {"quotes", QStringLiteral("file \"a.eraw\" loaded")},
        {"backslashes", QStringLiteral("C:\\firmware\\a.eraw \\\\ end\\")},
        {"tabs and a line break", QStringLiteral("a\tb\t\tc\nd\r")},
        {"Cyrillic", QStringLiteral("Прибор подключен: «ёЁ»")},
        {"control characters", QString::fromUtf16(u"bell\u0007 nul\u0000 esc\u001b", 16)},
        {"all at once", QStringLiteral("\"Ошибка\"\t\\\\сервер\\\"")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        lines.clear();
        log.Line(lkError, 1000001, kNoCatalogueMessage, c.Text);
        ASSERT_EQ(lines.size(), 1);
        const QByteArray& line = lines.front();
        EXPECT_TRUE(line.endsWith('\n'));
        // Nothing raw that would break a line-by-line reader.
        const QByteArray body = line.chopped(1);
        for (const char byte : body)
            EXPECT_GE(uint8_t(byte), 0x20) << "a raw control byte in " << line.constData();
        EXPECT_EQ(Parsed(0).value("text").toString(), c.Text);
    }
    ExpectAllMatchTheSchema();
}

TEST_F(JsonLog, EachObjectCarriesItsFieldsAndMatchesTheSchema)
{
    TDevEntry ftdi(1000001, lkFtdi);
    ftdi.InBootloader = true;
    ftdi.ProcessorId = 0x00400419;
    TDevEntry maker(1000002, lkMakerUsb);
    log.Line(lkInfo, 0, 7, QStringLiteral("no device"));
    log.Found(ftdi);
    log.Found(maker);
    log.Status(1000001, lkSuccess, QStringLiteral("Updating"));
    log.Progress(1000001, 3, 28, 10);
    log.Gone(maker);
    ASSERT_EQ(lines.size(), 6);
    ExpectAllMatchTheSchema();

    const QJsonObject line = Parsed(0);
    EXPECT_EQ(line.value("event"), "log");
    EXPECT_TRUE(line.value("device").isNull());
    EXPECT_EQ(line.value("message"), 7);
    EXPECT_EQ(line.value("kind"), "info");
    // ISO 8601 with milliseconds and the offset from UTC: "2026-12-11T15:16:21.123+01:00".
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}([+-]\d\d:\d\d|Z)$)")
                    .match(line.value("time").toString())
                    .hasMatch())
        << line.value("time").toString().toStdString();

    const QJsonObject found = Parsed(1);
    EXPECT_EQ(found.value("link"), "ftdi");
    EXPECT_EQ(found.value("mode"), "bootloader");
    EXPECT_EQ(found.value("processor"), 0x00400419);
    EXPECT_TRUE(Parsed(2).value("bootloader").isNull());
    EXPECT_EQ(Parsed(2).value("mode"), "firmware");
    EXPECT_EQ(Parsed(4).value("done"), 3);
    EXPECT_EQ(Parsed(4).value("total"), 28);
    EXPECT_EQ(Parsed(5).value("link"), "maker-usb");
}

TEST_F(JsonLog, TheSummaryGivesEachDeviceTheOutcomeOfItsLastSession)
{
    const struct {
        int32_t Serial;
        std::optional<TWriteOutcome> Outcome;
        const char* Expected;
    } cases[] = {
        {1000001, TWriteOutcome{kWriteOk, 0x80, true, 1200}, "written"},
        {1000002, TWriteOutcome{5, kStatusLocked, false, 300}, "locked"},
        {1000003, TWriteOutcome{kErrNotCompatible, 0, false, 40}, "incompatible"},
        {1000004, TWriteOutcome{6, 0x81, false, 900}, "failed"},
        {1000005, std::nullopt, "not-written"},
    };
    std::vector<std::unique_ptr<TDevEntry>> entries;
    for (const auto& c : cases) {
        entries.push_back(std::make_unique<TDevEntry>(c.Serial, lkComPort));
        log.Found(*entries.back());
        if (c.Outcome)
            log.SessionEnded(*entries.back(), *c.Outcome);
    }
    // A later session's end is the one that counts.
    log.SessionEnded(*entries.front(), TWriteOutcome{6, 0x81, false, 10});
    log.SessionEnded(*entries.front(), TWriteOutcome{kWriteOk, 0x80, true, 1200});
    TFirmwareVersion image;
    ASSERT_TRUE(ParseVersion(image, QByteArrayLiteral("QRGX-13.39-a6")));
    log.Summary(&image);
    ExpectAllMatchTheSchema();

    const QJsonObject summary = Parsed(lines.size() - 1);
    EXPECT_EQ(summary.value("event"), "summary");
    EXPECT_EQ(summary.value("image").toObject().value("version"), "QRGX-13.39-a6");
    const QJsonArray devices = summary.value("devices").toArray();
    ASSERT_EQ(devices.size(), qsizetype(std::size(cases)));
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const QJsonObject device = devices.at(i).toObject();
        SCOPED_TRACE(cases[i].Expected);
        EXPECT_EQ(device.value("device"), cases[i].Serial);
        EXPECT_EQ(device.value("link"), "com");
        EXPECT_EQ(device.value("outcome"), cases[i].Expected);
        const bool failed = cases[i].Outcome && cases[i].Outcome->ErrorCode != kWriteOk;
        EXPECT_EQ(device.value("error"), failed ? QJsonValue(cases[i].Outcome->ErrorCode) : QJsonValue());
        EXPECT_EQ(device.value("reply"), failed ? QJsonValue(cases[i].Outcome->LastResponseCode) : QJsonValue());
        EXPECT_EQ(device.value("durationMs"),
                  cases[i].Outcome ? QJsonValue(cases[i].Outcome->ElapsedMs) : QJsonValue());
    }
}

TEST_F(JsonLog, TheCheckerRefusesLinesTheSchemaDoesNotDescribe)
{
    const QJsonObject bad[] = {
        {{"event", "log"}, {"time", "t"}, {"device", 1}, {"kind", "info"}, {"text", "no message field"}},
        {{"event", "log"}, {"time", "t"}, {"device", "1"}, {"kind", "info"}, {"message", 1}, {"text", ""}},
        {{"event", "status"}, {"time", "t"}, {"device", 1}, {"kind", "warning"}, {"text", ""}},
        {{"event", "summary"}, {"time", "t"}, {"image", QJsonValue()},
         {"devices", QJsonArray{QJsonObject{{"device", 1}, {"link", "com"}, {"outcome", "maybe"},
                                            {"error", QJsonValue()}, {"reply", QJsonValue()},
                                            {"durationMs", QJsonValue()}}}}},
        {{"event", "gone"}, {"time", "t"}, {"device", 1}, {"link", "ftdi"}, {"extra", 1}},
    };
    ASSERT_FALSE(schema.isEmpty());
    for (const QJsonObject& object : bad)
        EXPECT_NE(JsonSchemaMismatch(object, schema), "") << QJsonDocument(object).toJson().constData();
}

}  // namespace
