#pragma once
// Whole files as bytes, for tests that check exactly what a save or a log line wrote.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace ql::test {

inline bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// "<missing>" when the file cannot be read, so a comparison failure says so.
inline QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace ql::test
