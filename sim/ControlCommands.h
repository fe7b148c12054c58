#pragma once
// The control socket's commands, one table: each command's name, the arguments it takes
// and its handler. A command line is its name (any letter case) and its arguments; its
// answer is one line, "OK ..." or "ERR reason". The commands are listed in sim/README.md.

#include "sim/Simulator.h"

#include <QByteArray>

namespace ql::sim {

// Runs one command line (without its line end) on the simulator. quit becomes true for
// the command that ends the program.
QByteArray ExecuteControlLine(TSimulator& simulator, const QByteArray& line, bool& quit);

}  // namespace ql::sim
