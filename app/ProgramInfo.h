#pragma once
// The answers to "help" and "version": printed to standard output instead of a run, with
// no lock, no window and no display, so they work from any terminal or script.

#include "app/CommandLine.h"

#include <QString>

namespace ql {

// "qlfwloader 0.1.0", the project's version.
QString VersionLine();

// The usage text in a language (catalogue message 85).
QString UsageText(int language);

// Prints the answer and returns the exit status, 0. Makes a console application object
// (no window toolkit), so the usage comes in the language a start-up from this
// executable's folder would choose; nothing is written there.
int AnswerInfoRequest(TInfoRequest request, int& argc, char** argv);

}  // namespace ql
