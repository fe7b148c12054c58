#include "app/ExeDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <array>

namespace ql {
namespace {

// Where packages and administrators put programs for every user of the machine.
const std::array<const char*, 7> kSystemProgramFolders = {
    "/usr/bin", "/bin", "/usr/sbin", "/sbin", "/usr/local/bin", "/usr/local/sbin", "/usr/games",
};

QString WithSlash(const QString& dir) { return dir.endsWith(u'/') ? dir : dir + u'/'; }

// Permission bits do not tell (root, read-only mounts, ACLs): trying is the one sure test.
bool CanCreateFilesIn(const QString& dir)
{
    if (dir.isEmpty())
        return false;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("qlfwloader-probe-XXXXXX")));
    return probe.open();
}

bool IsOneOfTheSystemFolders(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    for (const char* folder : kSystemProgramFolders) {
        if (clean == QLatin1String(folder))
            return true;
    }
    return false;
}

}  // namespace

bool IsSystemProgramFolder(const QString& dir)
{
    if (dir.isEmpty())
        return false;
    // /bin is a link to /usr/bin on a merged-/usr system; either name counts.
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return IsOneOfTheSystemFolders(dir) || (!canonical.isEmpty() && IsOneOfTheSystemFolders(canonical));
}

QString ChooseExeDir(const QString& candidate, TDataDir dataDir)
{
    if (!IsSystemProgramFolder(candidate) && CanCreateFilesIn(candidate))
        return WithSlash(candidate);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dataDir == TDataDir::Create)
        QDir().mkpath(data);
    return WithSlash(data);
}

QString ResolveExeDir(TDataDir dataDir) { return ChooseExeDir(QCoreApplication::applicationDirPath(), dataDir); }

}  // namespace ql
