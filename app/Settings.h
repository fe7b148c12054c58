#pragma once
// The settings file "QLFWLoader.ini" in exeDir, as plain values: the window maps them to
// and from its controls. Section "COMMON" holds "Language", "MainForm" (twelve integers)
// and "LastFile"; section "FILES" holds the recent firmware files under the keys "0",
// "1", ... Keys that are not named here stay in the file untouched.

#include "core/MessageCatalogue.h"

#include <QLocale>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>

namespace ql {

inline const QString kSettingsFileName = QStringLiteral("QLFWLoader.ini");

// exeDir + "QLFWLoader.ini".
QString SettingsFilePath(const QString& exeDir);

// Positions of the "MainForm" values, in the order the file holds them.
enum TMainFormField : int {
    mfLeft,
    mfTop,
    mfWidth,            // outer
    mfHeight,           // outer
    mfAutoWrite,        // cbAutoWrite; savedAutoWrite when the option autowrite was given
    mfLogHeight,        // height of the log pane
    mfWriteLogToFile,   // cbWritelogToFile
    mfStartApp,         // cbStartApp
    mfDisableFtdi,      // cbDisableFTDI
    mfNeedComPort,      // isNeedComPort
    mfAutoClose,        // cbAutoClose
    mfExternFirmware,   // cbExternFirmware
    kMainFormFieldCount
};
using TMainFormValues = std::array<int, kMainFormFieldCount>;

// A position that the text did not hold, or that is not to be applied.
inline constexpr int kMainFormUnset = -1;
// With fewer values the text is ignored as a whole.
inline constexpr int kMainFormMinimumCount = 4;
// A saved corner is restored only this far inside the virtual desktop's right and bottom.
inline constexpr int kDesktopMarginPx = 100;

inline constexpr TMainFormValues UnsetMainForm()
{
    TMainFormValues values{};
    values.fill(kMainFormUnset);
    return values;
}

// What the file gives at start-up.
struct TSettingsValues {
    int Language = kRussian;
    // As parsed, kMainFormUnset where the text ended; pass through ApplicableMainForm.
    TMainFormValues MainForm = UnsetMainForm();
    int MainFormCount = 0;  // values read before the first mismatch
    // Non-empty "FILES" values in the order their keys stand in the file, duplicates kept.
    QStringList Files;
    // For the file field when the command line named no file.
    QString LastFile;
};

// Writes "Language" empty when the key is missing (so a first run creates the file).
// False when the key is missing and could not be written; the default language applies.
bool EnsureLanguageKey(const QString& path);

// Reads everything at once. A missing or unreadable file gives the defaults above.
TSettingsValues ReadSettingsFile(const QString& path,
                                 const QString& systemLocale = QLocale::system().name());

// The language a start-up with this file would choose, read without writing anything:
// a missing key counts as the empty value the start-up writes before it reads.
int StartupLanguage(const QString& path, const QString& systemLocale = QLocale::system().name());

// Writes "MainForm", "LastFile" and the files as keys "0".."n-1"; every other key stays.
// A text with a line break cannot stand in the file and is left out (a file item is then
// skipped and the following ones move up). False when the file could not be written.
bool WriteSettingsFile(const QString& path, const TMainFormValues& mainForm,
                       const QString& lastFile, const QStringList& files);

// "Russian" or "English" in any letter case; anything else, empty included, leaves the
// choice to the system: Russian exactly for the locale "ru_RU", English for all others.
int ResolveLanguage(const QString& languageValue, const QString& systemLocale);

// The "%d,%d,..." pattern left to right, stopping at the first mismatch. Returns how many
// values were read; the others stay kMainFormUnset.
int ParseMainForm(const QString& text, TMainFormValues& values);
QString FormatMainForm(const TMainFormValues& values);

// The values to apply to the window: each one that is 0 or more. Fewer than four parsed
// values give none; a left or top edge beyond the virtual desktop less 100 pixels is
// dropped. Check boxes are ticked by any value other than 0.
TMainFormValues ApplicableMainForm(const TMainFormValues& parsed, int parsedCount,
                                   QSize virtualDesktop);

}  // namespace ql
