#pragma once
// The millisecond tick counter every time-out is measured against, and the pause the
// polling loops take. Monotonic: a change of the wall clock never ends or stretches a wait.

#include <cstdint>

namespace ql {

// Milliseconds since an arbitrary start; wraps after about 49 days like the 32-bit
// fields that store it, so differences are taken in unsigned arithmetic.
uint32_t TickCount();

void SleepMs(uint32_t ms);

// True while fewer than timeoutMs milliseconds have passed since start.
inline bool TickBefore(uint32_t start, uint32_t timeoutMs)
{
    return TickCount() - start <= timeoutMs;
}

}  // namespace ql
