#include "app/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

namespace ql {
namespace {
const QByteArray kUtf16LeMark("\xFF\xFE");
const QString kFileDateFormat = QStringLiteral("yyyyMMdd");
const QString kFileSuffix = QStringLiteral(".log");
const QString kStampFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz");
}  // namespace

QString LogFilePath(const QString& exeDir, QDate day)
{
    return QDir(QDir(exeDir).filePath(kLogDirName)).filePath(day.toString(kFileDateFormat) + kFileSuffix);
}

void AppendLogFile(const QString& exeDir, const QString& line, const QDateTime& localNow)
{
    const QString path = LogFilePath(exeDir, localNow.date());
    QFile file(path);
    // The day's file usually exists: one open. Logs/ is made and the file created (with
    // its mark) only when that fails; a failure there shows as the last open failing.
    bool created = false;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) {
        QDir().mkpath(QFileInfo(path).path());
        created = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        if (!created && !file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
    }
    QByteArray bytes = created ? kUtf16LeMark : QByteArray();
    const QString text = QStringLiteral("[") + localNow.toString(kStampFormat)
                         + QStringLiteral("]\t") + line + QStringLiteral("\r\n");
    bytes += QStringEncoder(QStringConverter::Utf16LE)(text);
    file.write(bytes);
}

}  // namespace ql
