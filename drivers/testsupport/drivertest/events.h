// Instrument event handlers for tests that only need to know that events
// came.
#pragma once

#include <atomic>

#include "tq/visatype.h"

namespace tq::test
{

// Counts each call in *user (a std::atomic<int>) and asks the driver to
// clear the events it was called for, so that the next one interrupts
// again.
inline ViStatus countAndClearEvents(ViConstString, ViUInt32 events, void *user, ViUInt32 *clear, ViChar *)
{
    static_cast<std::atomic<int> *>(user)->fetch_add(1);
    if (clear)
        *clear = events;
    return VI_SUCCESS;
}

} // namespace tq::test
