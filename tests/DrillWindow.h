#pragma once
// The fault drills' window: a real main window with its discovery and write sessions,
// the in-process simulator behind the stand-in driver libraries, the simulator's
// device-change datagrams reaching the window, automatic writing of a small image file
// from map-1 trackers (4 KB sectors), and the daily log file switched on.

#include "MessageMatch.h"
#include "SimWindowFixture.h"
#include "app/LogFile.h"
#include "firmware/ImageFormat.h"
#include "panels/FWLoaderDevGroup.h"
#include "tests/SimFixture.h"

#include <QDate>

namespace ql::test {

inline constexpr uint32_t kDrillProcessor = 0x0000BC40;  // map 1: 4 KB sectors from 0x4000
inline constexpr int kDrillSectorSize = 4096;
inline constexpr int kDrillPieceSize = 512;
inline constexpr int kDrillPassMs = 20000;
inline constexpr int kDrillWriteMs = 60000;

inline QByteArray DrillPayload(int sectors, uint32_t seed)
{
    QByteArray bytes(sectors * kDrillSectorSize, '\0');
    uint32_t x = seed;
    for (char& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = char(x);
    }
    return bytes;
}

class DrillWindow : public SimWindowTest {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        const QString events = dir.filePath("events");
        qputenv("QLFW_DEVICE_EVENTS", events.toLocal8Bit());
        sim.SetDeviceEventsPath(events);
        // Fields: left, top, width, height, auto write, log height, log to file, ...
        WriteIni("[COMMON]\nLanguage=English\nMainForm=0,0,800,520,0,209,1,0,0,0,0,0\n");
    }
    void TearDown() override
    {
        Destroy();
        qunsetenv("QLFW_DEVICE_EVENTS");
    }

    // The window with its controllers, writing every device in its bootloader at once.
    // With a COM port named, in COM-port mode through that port.
    TMainForm& ShowWriting(const QByteArray& payload, const QString& comPort = {})
    {
        image = BuildFirmwareImage("QRGX-13.39-a6", "", false, 0, 0xFFFFFFFF, payload);
        const QString path = dir.filePath("drill.eraw");
        EXPECT_TRUE(WriteFileBytes(path, image));
        LoaderOptions options;
        options.autoWrite = true;
        options.externFirmware = options.fileOnCommandLine = true;
        options.fwFile = path;
        options.comportName = comPort;
        return ShowWithControllers(options);
    }

    static sim::TSimTracker Tracker(uint32_t serial, sim::TSimLink link, uint16_t usbTag = 1)
    {
        sim::TSimTracker tracker = TestTracker(serial, link);
        tracker.ProcessorId = kDrillProcessor;
        tracker.UsbTag = usbTag;
        return tracker;
    }

    bool Idle() const
    {
        return controllers->Writes().RunningCount() == 0 && !controllers->Discovery().PassRunning();
    }
    // The pane's lines of one device, without their prefix.
    QStringList DeviceLines(uint32_t serial) const
    {
        const QString prefix = QStringLiteral("Device %1\t").arg(serial);
        QStringList lines;
        for (const QString& line : LogLines())
            if (line.startsWith(prefix))
                lines << line.mid(prefix.size());
        return lines;
    }
    bool LoggedFor(uint32_t serial, int message) const
    {
        const QStringList lines = DeviceLines(serial);
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return MessageNumber(l) == message; });
    }

    // The daily file's lines without their time stamps.
    QStringList DailyFileLines() const
    {
        const QByteArray bytes = ReadFileBytes(LogFilePath(ExeDir(), QDate::currentDate()));
        if (!bytes.startsWith("\xFF\xFE"))
            return {};
        const QString text =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
        QStringList lines;
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const qsizetype stamp = line.indexOf(QStringLiteral("]\t"));
            lines << (stamp < 0 ? line : line.mid(stamp + 2));
        }
        return lines;
    }

    QByteArray image;
};

}  // namespace ql::test
