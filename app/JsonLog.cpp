#include "app/JsonLog.h"

#include "devices/DevEntry.h"
#include "links/LinkEntry.h"
#include "links/LoaderRecord.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cstdio>

namespace ql {
namespace {

const char* KindName(TLogKind kind)
{
    switch (kind) {
    case lkError:
        return "error";
    case lkSuccess:
        return "success";
    case lkInfo:
        break;
    }
    return "info";
}

const char* LinkName(int32_t linkKind)
{
    switch (linkKind) {
    case lkFtdi:
        return "ftdi";
    case lkComPort:
        return "com";
    default:
        // A kind without a link of its own goes through the maker's library.
        return "maker-usb";
    }
}

QJsonValue DeviceValue(int device) { return device == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(device); }

// The checks in the order the window's end report makes them.
const char* OutcomeName(const TWriteOutcome& outcome)
{
    if (outcome.ErrorCode == kWriteOk)
        return "written";
    if (outcome.LastResponseCode == kStatusLocked)
        return "locked";
    if (outcome.ErrorCode == kErrNotCompatible)
        return "incompatible";
    return "failed";
}

void WriteStandardOutput(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

}  // namespace

QByteArray JsonLine(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n'; }

QString JsonTimeNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

TJsonLog::TJsonLog(TWriter writer) : writer_(writer ? std::move(writer) : TWriter(WriteStandardOutput)) {}

void TJsonLog::Write(const char* event, QJsonObject object)
{
    object.insert("event", QString::fromLatin1(event));
    object.insert("time", JsonTimeNow());
    writer_(JsonLine(object));
}

void TJsonLog::Seen(const TDevEntry& entry) { seen_[entry.SerialNumber].LinkKind = entry.LinkKind; }

void TJsonLog::Line(TLogKind kind, int device, int message, const QString& text)
{
    Write("log", {{"device", DeviceValue(device)},
                  {"kind", KindName(kind)},
                  {"message", message == kNoCatalogueMessage ? QJsonValue(QJsonValue::Null) : QJsonValue(message)},
                  {"text", text}});
}

void TJsonLog::Progress(int device, uint32_t done, uint32_t total, int percent)
{
    Write("progress", {{"device", DeviceValue(device)},
                       {"done", qint64(done)},
                       {"total", qint64(total)},
                       {"percent", percent}});
}

void TJsonLog::Status(int device, TLogKind kind, const QString& text)
{
    Write("status", {{"device", DeviceValue(device)}, {"kind", KindName(kind)}, {"text", text}});
}

void TJsonLog::Found(const TDevEntry& entry)
{
    Seen(entry);
    Write("found", {{"device", entry.SerialNumber},
                    {"link", LinkName(entry.LinkKind)},
                    {"firmware", VersionText(entry.FirmwareVersion)},
                    {"bootloader", entry.InBootloader ? QJsonValue(VersionText(entry.BootloaderVersion))
                                                      : QJsonValue(QJsonValue::Null)},
                    {"processor", qint64(entry.ProcessorId)},
                    {"mode", entry.InBootloader ? "bootloader" : "firmware"}});
}

void TJsonLog::Gone(const TDevEntry& entry)
{
    Seen(entry);
    Write("gone", {{"device", entry.SerialNumber}, {"link", LinkName(entry.LinkKind)}});
}

void TJsonLog::SessionEnded(const TDevEntry& entry, const TWriteOutcome& outcome)
{
    Seen(entry);
    seen_[entry.SerialNumber].LastSession = outcome;
}

void TJsonLog::Summary(const TFirmwareVersion* image)
{
    QJsonArray devices;
    for (const auto& [serial, seen] : seen_) {
        QJsonObject device{{"device", serial}, {"link", LinkName(seen.LinkKind)}};
        const QJsonValue none(QJsonValue::Null);
        if (seen.LastSession) {
            const TWriteOutcome& outcome = *seen.LastSession;
            const bool written = outcome.ErrorCode == kWriteOk;
            device.insert("outcome", OutcomeName(outcome));
            device.insert("error", written ? none : QJsonValue(outcome.ErrorCode));
            device.insert("reply", written ? none : QJsonValue(outcome.LastResponseCode));
            device.insert("durationMs", outcome.ElapsedMs);
        } else {
            device.insert("outcome", "not-written");
            device.insert("error", none);
            device.insert("reply", none);
            device.insert("durationMs", none);
        }
        devices.append(device);
    }
    QJsonValue imageValue(QJsonValue::Null);
    if (image)
        imageValue = QJsonObject{{"version", VersionText(*image)}, {"date", DateText(*image)}};
    Write("summary", {{"image", imageValue}, {"devices", devices}});
}

}  // namespace ql
