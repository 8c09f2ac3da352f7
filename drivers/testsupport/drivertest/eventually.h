// Waiting on a condition that another thread makes true, at the test's pace
// (the platform clock, which TQ_TIME_SCALE speeds up).
#pragma once

#include <cstdint>

#include "tq/platform/thread.h"

namespace tq::test
{

// Polls cond every pollMs until it holds; false when timeoutMs passed first.
template <typename F> bool eventually(F cond, uint32_t timeoutMs = 20000, uint32_t pollMs = 2)
{
    const uint64_t end = tq::platform::tickMs() + timeoutMs;
    while (!cond()) {
        if (tq::platform::tickMs() > end)
            return false;
        tq::platform::sleepMs(pollMs);
    }
    return true;
}

} // namespace tq::test
