#pragma once
// exeDir: where the settings file "QLFWLoader.ini" and the Logs/ folder live. The
// executable's own directory when files can be created there (a portable copy), else the
// per-user data directory. A folder where programs are installed for everyone (/usr/bin
// and its kin) is never used, even when the user, root say, could write there: an
// installed program keeps its files per user. The result always ends in "/", so names
// can be appended.

#include <QString>

namespace ql {

// Whether the per-user data directory is created when it is the choice.
enum class TDataDir { Create, Leave };

// True for the system's program folders (/usr/bin, /bin, /usr/local/bin, the sbin
// folders, /usr/games), also when reached through a symbolic link.
bool IsSystemProgramFolder(const QString& dir);

// candidate when it is no system program folder and a file can be created in it, else
// QStandardPaths::AppDataLocation, created with its parents unless told to leave it (a
// failure to create it shows later, as settings and log lines that are not written).
QString ChooseExeDir(const QString& candidate, TDataDir dataDir = TDataDir::Create);

// ChooseExeDir of the running executable's directory. Needs the application object;
// the data directory follows the application's name.
QString ResolveExeDir(TDataDir dataDir = TDataDir::Create);

}  // namespace ql
