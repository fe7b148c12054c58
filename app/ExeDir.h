#pragma once
// exeDir: where the settings file "QLFWLoader.ini" and the Logs/ folder live. The
// executable's own directory when files can be created there (a portable copy), else the
// per-user data directory. The result always ends in "/", so names can be appended.

#include <QString>

namespace ql {

// candidate when a file can be created in it, else QStandardPaths::AppDataLocation,
// created with its parents (a failure to create it shows later, as settings and log
// lines that are not written).
QString ChooseExeDir(const QString& candidate);

// ChooseExeDir of the running executable's directory. Needs the application object;
// the data directory follows the application's name.
QString ResolveExeDir();

}  // namespace ql
