#include "app/ExeDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace ql {
namespace {

QString WithSlash(const QString& dir) { return dir.endsWith(u'/') ? dir : dir + u'/'; }

// Permission bits do not tell (root, read-only mounts, ACLs): trying is the one sure test.
bool CanCreateFilesIn(const QString& dir)
{
    if (dir.isEmpty())
        return false;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("qlfwloader-probe-XXXXXX")));
    return probe.open();
}

}  // namespace

QString ChooseExeDir(const QString& candidate)
{
    if (CanCreateFilesIn(candidate))
        return WithSlash(candidate);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return WithSlash(data);
}

QString ResolveExeDir() { return ChooseExeDir(QCoreApplication::applicationDirPath()); }

}  // namespace ql
