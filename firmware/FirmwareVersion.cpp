#include "firmware/FirmwareVersion.h"

#include "core/MessageCatalogue.h"
#include "firmware/TextScan.h"

#include <QDate>

#include <cmath>
#include <cstdlib>

namespace ql {
namespace {

const QDate kOleEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

QByteArray Trimmed(const QByteArray& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

}  // namespace

void ResetVersion(TFirmwareVersion& version)
{
    version = TFirmwareVersion{};
}

bool ParseVersion(TFirmwareVersion& version, const QByteArray& text)
{
    if (text == "Unknown") {
        version.Tag = kUnknownTag;
        version.VersionNumber = 1;  // counts as read
        version.Suffix.clear();
        return true;
    }
    const qsizetype dash = text.indexOf('-');
    version.Tag = dash > 0 ? text.left(dash) : QByteArray();
    const QByteArray rest = dash >= 0 ? text.mid(dash + 1) : text;
    if (version.Tag.isEmpty())
        return false;

    qsizetype pos = 0;
    int major = 0, minor = 0;
    if (!ScanInt(rest, pos, major) || pos >= rest.size() || rest[pos] != '.')
        return false;
    ++pos;
    if (!ScanInt(rest, pos, minor))
        return false;
    version.VersionNumber = static_cast<uint16_t>(uint32_t(major) * 100u + uint32_t(minor));

    qsizetype s = 0;
    while (s < rest.size() && ((rest[s] >= '0' && rest[s] <= '9') || rest[s] == '.'))
        ++s;
    version.Suffix = Trimmed(rest.mid(s));
    return true;
}

QString VersionText(const TFirmwareVersion& version)
{
    if (version.Tag == kUnknownTag)
        return QStringLiteral("Empty");
    if (version.VersionNumber == 0)
        return QStringLiteral("?????");
    // Device texts are 8-bit; Latin-1 keeps every byte, so the text goes back to the
    // device unchanged in the compatibility request.
    return QString::fromLatin1(version.Tag)
           + QString::asprintf("-%d.%02d", version.VersionNumber / 100, version.VersionNumber % 100)
           + QString::fromLatin1(version.Suffix);
}

QString DateText(const TFirmwareVersion& version)
{
    const double days = std::trunc(version.BuildDate);
    if (days == 0 || !std::isfinite(version.BuildDate) || std::fabs(days) > 3e6)
        return Msg(msg::Unknown);
    // Before the epoch the fraction still counts forward from midnight.
    const QDate date = kOleEpoch.addDays(static_cast<qint64>(days));
    long long ms = std::llround(std::fabs(version.BuildDate - days) * kMsPerDay);
    if (ms >= static_cast<long long>(kMsPerDay))
        ms = static_cast<long long>(kMsPerDay) - 1;
    const long long seconds = ms / 1000;
    return QString::asprintf("%02d-%02d-%04d %02lld:%02lld:%02lld", date.day(), date.month(),
                             date.year(), seconds / 3600, seconds / 60 % 60, seconds % 60);
}

bool EncodeOleDate(int year, int month, int day, int hour, int minute, int second, double& out)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    const double days = static_cast<double>(kOleEpoch.daysTo(date));
    const double time = (hour * 3600.0 + minute * 60.0 + second) * 1000.0 / kMsPerDay;
    out = days < 0 ? days - time : days + time;
    return true;
}

}  // namespace ql
