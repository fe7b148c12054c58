#include "app/Settings.h"

#include "firmware/TextScan.h"
#include "platform/Profile.h"

#include <QDir>

namespace ql {
namespace {

const QString kCommonSection = QStringLiteral("COMMON");
const QString kFilesSection = QStringLiteral("FILES");
const QString kLanguageKey = QStringLiteral("Language");
const QString kMainFormKey = QStringLiteral("MainForm");
const QString kLastFileKey = QStringLiteral("LastFile");
const QString kLanguageDefault = QStringLiteral("Russian");
const QString kRussianName = QStringLiteral("russian");
const QString kEnglishName = QStringLiteral("english");
const QString kRussianLocale = QStringLiteral("ru_RU");
constexpr char kMainFormSeparator = ',';

}  // namespace

QString SettingsFilePath(const QString& exeDir) { return QDir(exeDir).filePath(kSettingsFileName); }

bool EnsureLanguageKey(const QString& path)
{
    TProfile profile(path);
    if (profile.HasKey(kCommonSection, kLanguageKey))
        return true;
    return profile.WriteString(kCommonSection, kLanguageKey, QString()) && profile.Save();
}

int ResolveLanguage(const QString& languageValue, const QString& systemLocale)
{
    const QString name = languageValue.toLower();
    if (name == kRussianName)
        return kRussian;
    if (name == kEnglishName)
        return kEnglish;
    return systemLocale == kRussianLocale ? kRussian : kEnglish;
}

int ParseMainForm(const QString& text, TMainFormValues& values)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype pos = 0;
    int count = 0;
    while (count < kMainFormFieldCount) {
        if (count > 0 && !ScanLiteral(bytes, pos, kMainFormSeparator))
            break;
        if (!ScanInt(bytes, pos, values[count]))
            break;
        ++count;
    }
    return count;
}

QString FormatMainForm(const TMainFormValues& values)
{
    QStringList texts;
    for (const int value : values)
        texts << QString::number(value);
    return texts.join(QLatin1Char(kMainFormSeparator));
}

TMainFormValues ApplicableMainForm(const TMainFormValues& parsed, int parsedCount,
                                   QSize virtualDesktop)
{
    TMainFormValues applied = UnsetMainForm();
    if (parsedCount < kMainFormMinimumCount)
        return applied;
    for (int i = 0; i < kMainFormFieldCount; ++i) {
        if (parsed[i] >= 0)
            applied[i] = parsed[i];
    }
    if (applied[mfLeft] >= virtualDesktop.width() - kDesktopMarginPx)
        applied[mfLeft] = kMainFormUnset;
    if (applied[mfTop] >= virtualDesktop.height() - kDesktopMarginPx)
        applied[mfTop] = kMainFormUnset;
    return applied;
}

TSettingsValues ReadSettingsFile(const QString& path, const QString& systemLocale)
{
    const TProfile profile(path);
    TSettingsValues values;
    values.MainFormCount = ParseMainForm(profile.ReadString(kCommonSection, kMainFormKey), values.MainForm);
    values.Language = ResolveLanguage(profile.ReadString(kCommonSection, kLanguageKey, kLanguageDefault),
                                      systemLocale);
    for (const QString& key : profile.KeyNames(kFilesSection)) {
        const QString file = profile.ReadString(kFilesSection, key);
        if (!file.isEmpty())
            values.Files << file;
    }
    values.LastFile = profile.ReadString(kCommonSection, kLastFileKey);
    return values;
}

int StartupLanguage(const QString& path, const QString& systemLocale)
{
    const TProfile profile(path);
    return ResolveLanguage(profile.ReadString(kCommonSection, kLanguageKey), systemLocale);
}

bool WriteSettingsFile(const QString& path, const TMainFormValues& mainForm,
                       const QString& lastFile, const QStringList& files)
{
    // Read afresh, so whatever the file gained while the program ran is kept.
    TProfile profile(path);
    profile.WriteString(kCommonSection, kMainFormKey, FormatMainForm(mainForm));
    profile.WriteString(kCommonSection, kLastFileKey, lastFile);
    int position = 0;
    for (const QString& file : files) {
        if (profile.WriteString(kFilesSection, QString::number(position), file))
            ++position;
    }
    return profile.Save();
}

}  // namespace ql
