#pragma once
// The daily log file: exeDir/Logs/YYYYMMDD.log in UTF-16LE, one line per log line:
// "[dd.mm.yyyy hh:mm:ss.zzz]" + tab + the line as the log pane shows it + CR LF. Only a
// file that the write itself creates starts with the byte-order mark FF FE. The file is
// opened and closed for every line, so other programs can read or move it in between.

#include <QDateTime>
#include <QString>

namespace ql {

inline const QString kLogDirName = QStringLiteral("Logs");

// exeDir/Logs/YYYYMMDD.log for the local day.
QString LogFilePath(const QString& exeDir, QDate day);

// Appends the line to the file of localNow's day, creating Logs/ with its parents when
// missing. The one time stamp names the file and stamps the line, so a line never lands
// in the file of another day than its stamp says. Any failure silently drops the line;
// the next line tries again.
void AppendLogFile(const QString& exeDir, const QString& line,
                   const QDateTime& localNow = QDateTime::currentDateTime());

}  // namespace ql
