#pragma once
// The start-up check of the two driver libraries: each is bound unless it is bound
// already. Without FTDI's library the bridges are reached through the system's own
// driver, which the log says as an Info line; a missing maker library is logged in red.
// Only when no tracker could be reached at all does the caller tell the user and end
// the program.

#include "core/LogSink.h"

#include <functional>

namespace ql {

struct TDriverBinders {
    std::function<bool()> Ftdi;   // true when the FTDI library is bound
    std::function<bool()> Qlusb;  // true when the maker's library is bound
};

// LoadFtdiLibrary and LoadQlusbLibrary.
TDriverBinders SystemDriverBinders();

// Binds both; false when no tracker could be reached (nothing is logged then: the caller
// shows message 2). Without the FTDI library the Info line of the kernel's driver is
// logged, without the maker's library message 1 as an Error line.
bool CheckDriverLibraries(const TDriverBinders& binders, TLogSink& log);

}  // namespace ql
