#pragma once
// Turns the program's arguments into its run options.
//
// Keywords ("autowrite", "serial1234567", "comport=ttyUSB0", ...) match in any letter case
// after one leading "/" or "-" is removed; two leading dashes make no keyword. A firmware
// file is tested and kept exactly as typed, since file names here are case-sensitive and
// absolute paths begin with "/": an argument that names an existing file ending in ".eraw"
// (any letter case) is the file argument. "comport=" without a name is no option.
// Anything else is ignored without a message.

#include "app/LoaderOptions.h"

#include <QStringList>

namespace ql {

// A request answered on standard output instead of a run: usage or version.
enum class TInfoRequest { None, Help, Version };

// The first "help" or "version" among the arguments, by the keyword rule above, or one
// of the usual forms "--help", "-h" and "--version" (any letter case). Reads raw
// arguments, so it can be asked before the lock is taken and before any application
// object exists.
TInfoRequest FindInfoRequest(const QStringList& arguments);

// Parses the arguments that follow the program name.
LoaderOptions ParseCommandLine(const QStringList& arguments);

// The running application's arguments without the program name, after the application
// object has taken its own options (such as "-platform offscreen"): what ParseCommandLine
// is meant to be fed. Needs the application object to exist.
QStringList ProgramArguments();

}  // namespace ql
