#pragma once
// What a write session reports when it ends: the window's end report reads nothing else.

#include "writing/WriteErrors.h"

namespace ql {

struct TWriteOutcome {
    int ErrorCode = kWriteOk;  // the first failure's code (writing/WriteErrors.h)
    int LastResponseCode = 0;  // status of the last erase or write reply that named its sector
    bool Completed = false;    // the success ending (finish request) ran
    int ElapsedMs = 0;         // from the session's start, firmware load included
};

}  // namespace ql
