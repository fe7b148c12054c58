#pragma once
// The version of an image, or of a device's firmware or bootloader, with the printed
// forms the window, the log and the device protocol use.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace ql {

struct TFirmwareVersion {
    QByteArray Tag;        // text before the first "-": "QRGX", "QLBT", "NRBL"; "unk" for "Unknown"
    QByteArray Suffix;     // what follows the number, trimmed: "-a6" of QRGX-13.39-a6
    double BuildDate = 0;  // OLE Automation date (days since 30.12.1899); 0 = no date
    uint16_t VersionNumber = 0;  // major * 100 + minor
    uint32_t StartOffset = 0;              // image only
    uint32_t SdRequirement = 0xFFFFFFFF;   // image only
    bool IsNrfImage = false;               // image only: Tag is "QLBT"
};

inline const QByteArray kNrfImageTag = QByteArrayLiteral("QLBT");
inline const QByteArray kUnknownTag = QByteArrayLiteral("unk");

void ResetVersion(TFirmwareVersion& version);

// Reads "TAG-major.minor[suffix]" or the word "Unknown". On failure Tag may already hold
// the new tag; the other fields keep their old values.
bool ParseVersion(TFirmwareVersion& version, const QByteArray& text);

// "Empty", "?????", "TAG-M.mm" or "TAG-M.mmSUFFIX".
QString VersionText(const TFirmwareVersion& version);

// "DD-MM-YYYY HH:NN:SS", or message 49 in the current language when there is no date.
QString DateText(const TFirmwareVersion& version);

// OLE Automation date of a calendar date and time; false when it is not a valid one
// (year 1-9999, month 1-12, day within the month, hour < 24, minute and second < 60).
bool EncodeOleDate(int year, int month, int day, int hour, int minute, int second, double& out);

}  // namespace ql
