// The built loader with "json" against the simulator: three trackers, one written, one
// locked, one refused as incompatible. Standard output must be JSON lines only (also with
// "console"), each matching the schema in docs/, ending with a summary of each tracker.

#include "JsonSchemaCheck.h"
#include "LoaderProcess.h"
#include "core/MessageCatalogue.h"
#include "firmware/ImageFormat.h"
#include "links/LoaderRecord.h"
#include "sim/Simulator.h"

#include <QJsonParseError>

#include <map>
#include <set>

using namespace ql;
using namespace ql::test;

namespace {

// Three small sessions over the maker's USB, on a loaded machine.
constexpr int kRunMs = 60000;
constexpr int kStopMs = 10000;
// A small image keeps the one real write short.
constexpr int kPayloadBytes = 4096;

class LoaderJson : public TLoaderProcessTest {
protected:
    void SetUp() override
    {
        TLoaderProcessTest::SetUp();
        keepLibraryPath = true;
        const QString events = dir.filePath("events");
        sim.SetDeviceEventsPath(events);
        QString error;
        ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
        extraEnv.insert("QLSIM_SOCKET", sim.SocketPath());
        extraEnv.insert("QLFW_DEVICE_EVENTS", events);
        ASSERT_TRUE(WriteFileBytes(Ini(), "[COMMON]\nLanguage=English\n"));
        image = dir.filePath("small.eraw");
        ASSERT_TRUE(WriteFileBytes(image, BuildFirmwareImage("QRGX-13.39", "04.04.2025 16:56:42", false, 0, 0,
                                                            QByteArray(kPayloadBytes, '\x5a'))));
    }

    void AddTracker(uint32_t serial, uint16_t usbTag, const QByteArray& firmware, int eraseStatus)
    {
        sim::TSimTracker tracker;
        tracker.Serial = serial;
        tracker.Link = sim::TSimLink::MakerUsb;
        tracker.UsbTag = usbTag;
        tracker.FirmwareVersion = firmware;
        tracker.Faults.EraseStatus = eraseStatus;
        ASSERT_TRUE(sim.AddTracker(tracker));
    }

    sim::TSimulator sim;
    QString image;
};

TEST_F(LoaderJson, EveryLineMatchesTheSchemaAndTheSummaryGivesEachTrackersOutcome)
{
    const QJsonObject schema = LoadJsonSchema();
    ASSERT_FALSE(schema.isEmpty());
    AddTracker(1000001, 1, "QRGX-13.38", -1);
    AddTracker(1000002, 2, "QRGX-13.38", kStatusLocked);
    AddTracker(1000003, 3, "QRGY-13.38", -1);  // another family: refused before any erase

    QProcess loader;
    Start(loader, {"json", "console", "autowrite", image});
    // The end lines of the three sessions, by catalogue number.
    const std::set<int> ends = {msg::UpdateDone, msg::SettingsProtected, msg::NotCompatible};
    std::vector<QJsonObject> objects;
    QByteArray pending;
    int ended = 0;
    auto readLines = [&] {
        pending += loader.readAllStandardOutput();
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            ASSERT_EQ(error.error, QJsonParseError::NoError) << "not JSON: " << line.constData();
            ASSERT_TRUE(document.isObject()) << line.constData();
            EXPECT_EQ(JsonSchemaMismatch(document.object(), schema).toStdString(), "") << line.constData();
            objects.push_back(document.object());
            const QJsonObject& object = objects.back();
            if (object.value("event") == "log" && ends.count(object.value("message").toInt()))
                ++ended;
        }
    };
    QElapsedTimer timer;
    timer.start();
    while (ended < 3 && timer.elapsed() < kRunMs && loader.state() == QProcess::Running) {
        loader.waitForReadyRead(100);
        ASSERT_NO_FATAL_FAILURE(readLines());
    }
    ASSERT_EQ(ended, 3) << "the three sessions did not end";
    loader.terminate();  // SIGTERM: a stop from outside, as a test station would end it
    ASSERT_TRUE(loader.waitForFinished(kStopMs));
    ASSERT_NO_FATAL_FAILURE(readLines());
    EXPECT_TRUE(pending.isEmpty()) << "an unfinished last line: " << pending.constData();
    EXPECT_EQ(loader.exitCode(), 255);

    // What the run showed along the way.
    std::map<int, QString> foundLinks;
    bool progressToTheEnd = false;
    bool messageNumbered = false;
    for (const QJsonObject& object : objects) {
        if (object.value("event") == "found")
            foundLinks[object.value("device").toInt()] = object.value("link").toString();
        if (object.value("event") == "progress" && object.value("device") == 1000001 &&
            object.value("percent") == 100 && object.value("done") == object.value("total"))
            progressToTheEnd = true;
        if (object.value("event") == "log" && object.value("message") == msg::DeviceConnected &&
            object.value("text") == "Device connected")
            messageNumbered = true;
    }
    EXPECT_EQ(foundLinks, (std::map<int, QString>{{1000001, "maker-usb"}, {1000002, "maker-usb"},
                                                  {1000003, "maker-usb"}}));
    EXPECT_TRUE(progressToTheEnd);
    EXPECT_TRUE(messageNumbered);

    ASSERT_FALSE(objects.empty());
    const QJsonObject summary = objects.back();
    ASSERT_EQ(summary.value("event"), "summary");
    EXPECT_EQ(summary.value("image").toObject().value("version"), "QRGX-13.39");
    std::map<int, QJsonObject> outcomes;
    for (const QJsonValue& device : summary.value("devices").toArray())
        outcomes[device.toObject().value("device").toInt()] = device.toObject();
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[1000001].value("outcome"), "written");
    EXPECT_EQ(outcomes[1000002].value("outcome"), "locked");
    EXPECT_EQ(outcomes[1000002].value("reply"), int(kStatusLocked));
    EXPECT_EQ(outcomes[1000003].value("outcome"), "incompatible");
    for (const auto& [serial, outcome] : outcomes)
        EXPECT_GE(outcome.value("durationMs").toInt(-1), 0) << serial;
}

}  // namespace
