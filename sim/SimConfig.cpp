#include "sim/SimConfig.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <functional>
#include <map>

namespace ql::sim {
namespace {

// A JSON number or a "0x..." / decimal text.
bool ReadInteger(const QJsonValue& value, qint64& out)
{
    if (value.isDouble()) {
        out = qint64(value.toDouble());
        return double(out) == value.toDouble();
    }
    if (value.isString()) {
        bool ok = false;
        out = value.toString().toLongLong(&ok, 0);
        return ok;
    }
    return false;
}

using TSetter = std::function<bool(const QJsonValue&)>;

bool Apply(const QJsonObject& json, const std::map<QString, TSetter>& fields, QString& error)
{
    for (auto it = json.begin(); it != json.end(); ++it) {
        auto field = fields.find(it.key());
        if (field == fields.end()) {
            error = QStringLiteral("unknown key \"%1\"").arg(it.key());
            return false;
        }
        error.clear();
        if (!field->second(it.value())) {
            error = error.isEmpty() ? QStringLiteral("bad value for \"%1\"").arg(it.key())
                                    : QStringLiteral("%1: %2").arg(it.key(), error);
            return false;
        }
    }
    return true;
}

template <typename T>
TSetter Int(T& target, qint64 min, qint64 max)
{
    return [&target, min, max](const QJsonValue& v) {
        qint64 n = 0;
        if (!ReadInteger(v, n) || n < min || n > max)
            return false;
        target = T(n);
        return true;
    };
}

TSetter Bool(bool& target)
{
    return [&target](const QJsonValue& v) {
        if (!v.isBool())
            return false;
        target = v.toBool();
        return true;
    };
}

TSetter Text(QByteArray& target)
{
    return [&target](const QJsonValue& v) {
        if (!v.isString())
            return false;
        target = v.toString().toLatin1();
        return true;
    };
}

constexpr qint64 kStatusMax = 0xFFFF;
constexpr qint64 kIntMax = 0x7FFFFFFF;

}  // namespace

QString LinkName(TSimLink link)
{
    switch (link) {
    case TSimLink::Ftdi: return QStringLiteral("Ftdi");
    case TSimLink::MakerUsb: return QStringLiteral("MakerUsb");
    case TSimLink::ComPort: return QStringLiteral("ComPort");
    }
    return {};
}

QString ModeName(TSimMode mode)
{
    return mode == TSimMode::Application ? QStringLiteral("Application") : QStringLiteral("Bootloader");
}

bool FaultsFromJson(const QJsonObject& json, TSimFaults& f, QString& error)
{
    const std::map<QString, TSetter> fields = {
        {"Silent", Bool(f.Silent)},
        {"ReplyDelayMs", Int(f.ReplyDelayMs, 0, kIntMax)},
        {"ShortReplies", Int(f.ShortReplies, 0, kIntMax)},
        {"CorruptReplies", Int(f.CorruptReplies, 0, kIntMax)},
        {"EraseStatus", Int(f.EraseStatus, -1, kStatusMax)},
        {"WriteStatus", Int(f.WriteStatus, -1, kStatusMax)},
        {"WriteStatusPiece", Int(f.WriteStatusPiece, -1, kIntMax)},
        {"FirmwareCompatibilityStatus", Int(f.FirmwareCompatibilityStatus, -1, kStatusMax)},
        {"SdCompatibilityStatus", Int(f.SdCompatibilityStatus, -1, kStatusMax)},
        {"WrongSectorEcho", Bool(f.WrongSectorEcho)},
        {"StrayByteBeforeFrame", Bool(f.StrayByteBeforeFrame)},
        {"VanishAfterWritePieces", Int(f.VanishAfterWritePieces, -1, kIntMax)},
        {"PaceBaud", [&f](const QJsonValue& v) {
             if (v.isBool()) {
                 f.PaceBaud = v.toBool() ? kDefaultPaceBaud : 0;
                 return true;
             }
             return Int(f.PaceBaud, 0, 4000000)(v);
         }},
    };
    return Apply(json, fields, error);
}

bool TrackerFromJson(const QJsonObject& json, TSimTracker& t, QString& error)
{
    const std::map<QString, TSetter> fields = {
        {"Serial", Int(t.Serial, 1, 0xFFFFFFFF)},
        {"Link", [&t](const QJsonValue& v) {
             for (TSimLink link : {TSimLink::Ftdi, TSimLink::MakerUsb, TSimLink::ComPort})
                 if (v.toString() == LinkName(link)) {
                     t.Link = link;
                     return true;
                 }
             return false;
         }},
        {"FtdiDescription", Text(t.FtdiDescription)},
        {"UsbTag", Int(t.UsbTag, 0, 0xFFFF)},
        {"Mode", [&t](const QJsonValue& v) {
             for (TSimMode mode : {TSimMode::Application, TSimMode::Bootloader})
                 if (v.toString() == ModeName(mode)) {
                     t.Mode = mode;
                     return true;
                 }
             return false;
         }},
        {"FirmwareVersion", Text(t.FirmwareVersion)},
        {"BootloaderVersion", Text(t.BootloaderVersion)},
        {"ProcessorId", Int(t.ProcessorId, 0, 0xFFFFFFFF)},
        {"RebootDelayMs", Int(t.RebootDelayMs, 0, kIntMax)},
        {"FixedLatencyTimer", Bool(t.FixedLatencyTimer)},
        {"Faults", [&t, &error](const QJsonValue& v) {
             return v.isObject() && FaultsFromJson(v.toObject(), t.Faults, error);
         }},
    };
    if (!Apply(json, fields, error))
        return false;
    if (!json.contains(QStringLiteral("Serial"))) {
        error = QStringLiteral("a tracker needs its \"Serial\"");
        return false;
    }
    return true;
}

bool TrackersFromJson(const QByteArray& text, std::vector<TSimTracker>& trackers, QString& error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (doc.isNull()) {
        error = parse.errorString();
        return false;
    }
    QJsonArray list;
    if (doc.isArray())
        list = doc.array();
    else if (doc.object().keys() == QStringList{QStringLiteral("Trackers")}
             && doc.object().value(QStringLiteral("Trackers")).isArray())
        list = doc.object().value(QStringLiteral("Trackers")).toArray();
    else {
        error = QStringLiteral("expected {\"Trackers\": [...]}");
        return false;
    }
    trackers.clear();
    for (const QJsonValue& value : list) {
        TSimTracker tracker;
        if (!value.isObject() || !TrackerFromJson(value.toObject(), tracker, error)) {
            error = QStringLiteral("tracker %1: %2").arg(trackers.size() + 1).arg(error);
            return false;
        }
        trackers.push_back(tracker);
    }
    return true;
}

QJsonObject FaultsToJson(const TSimFaults& f)
{
    return {{"Silent", f.Silent},
            {"ReplyDelayMs", f.ReplyDelayMs},
            {"ShortReplies", f.ShortReplies},
            {"CorruptReplies", f.CorruptReplies},
            {"EraseStatus", f.EraseStatus},
            {"WriteStatus", f.WriteStatus},
            {"WriteStatusPiece", f.WriteStatusPiece},
            {"FirmwareCompatibilityStatus", f.FirmwareCompatibilityStatus},
            {"SdCompatibilityStatus", f.SdCompatibilityStatus},
            {"WrongSectorEcho", f.WrongSectorEcho},
            {"StrayByteBeforeFrame", f.StrayByteBeforeFrame},
            {"VanishAfterWritePieces", f.VanishAfterWritePieces},
            {"PaceBaud", f.PaceBaud}};
}

QJsonObject TrackerToJson(const TSimTracker& t)
{
    return {{"Serial", qint64(t.Serial)},
            {"Link", LinkName(t.Link)},
            {"FtdiDescription", QString::fromLatin1(t.FtdiDescription)},
            {"UsbTag", t.UsbTag},
            {"Mode", ModeName(t.Mode)},
            {"FirmwareVersion", QString::fromLatin1(t.FirmwareVersion)},
            {"BootloaderVersion", QString::fromLatin1(t.BootloaderVersion)},
            {"ProcessorId", QStringLiteral("0x%1").arg(t.ProcessorId, 8, 16, QLatin1Char('0'))},
            {"RebootDelayMs", t.RebootDelayMs},
            {"FixedLatencyTimer", t.FixedLatencyTimer},
            {"Faults", FaultsToJson(t.Faults)}};
}

QJsonObject RequestToJson(const TSimRequest& r, bool withBytes)
{
    QJsonObject json{{"TimeMs", r.TimeMs},
                     {"Text", r.Text},
                     {"RawFrame", r.RawFrame},
                     {"Command", r.Command},
                     {"Argument16", r.Argument16},
                     {"Argument32", qint64(r.Argument32)},
                     {"Length", qint64(r.Length)}};
    if (withBytes)
        json.insert("Bytes", QString::fromLatin1(r.Bytes.toHex()));
    return json;
}

}  // namespace ql::sim
