#pragma once
// The start-up check of the two driver libraries: each is bound unless it is bound
// already. One missing library is logged in red and the loader carries on with the
// other; with neither, the caller tells the user and ends the program.

#include "core/LogSink.h"

#include <functional>

namespace ql {

struct TDriverBinders {
    std::function<bool()> Ftdi;   // true when the FTDI library is bound
    std::function<bool()> Qlusb;  // true when the maker's library is bound
};

// LoadFtdiLibrary and LoadQlusbLibrary.
TDriverBinders SystemDriverBinders();

// Binds both; false when neither is available (nothing is logged then: the caller shows
// message 2). One missing: message 0 or 1 is logged as an Error line.
bool CheckDriverLibraries(const TDriverBinders& binders, TLogSink& log);

}  // namespace ql
