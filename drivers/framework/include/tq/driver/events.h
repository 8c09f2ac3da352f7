// Instrument events: the session's three handler entries, the threads
// blocked in <prefix>_wait, and what a model calls when its instrument
// raises events (from an interrupt callback or an acquisition thread):
//
//     uint32_t clear = 0;
//     for (unsigned e = 1; e <= 15; ++e)
//         if (pending & (1u << (e - 1)))
//             clear |= tq::driver::callEventHandlers(s, e, pending, channelEnabled(e), text(e));
//     if (tq::driver::wakeWaiters(s, pending, text(lowest)) == tq::driver::WakeResult::NoLock)
//         tq::driver::traceLine(s, "tq718_MBufSegHndlr() failed to get mutex: %#x\n", ...);
//     write clear to the event status register;
//
// Handlers are installed and removed while the session delivers no events
// (the table is not locked, as every driver of the suite has it). Waiters
// may come and go at any time.
#pragma once

#include <cstdint>

#include "tq/driver/session.h"
#include "tqpnp.h"

namespace tq::driver
{

// Calls, for one pending event e (1-based), every installed handler that
// takes it: a handler with mask 0 always, a handler with another mask when
// the event's channel is enabled and its mask shares a bit with pending.
// Before each call the text is copied into the handler's message buffer (at
// most 255 characters); the call passes the instrument name, 1 << (e - 1),
// the user data, a clear mask of 0 and the buffer. Returns the clear masks
// of the handlers that answered with a non-negative status, ORed.
uint32_t callEventHandlers(Session &s, unsigned event, uint32_t pending, bool channelEnabled, const char *text);

enum class WakeResult {
    NoWaiter, // no thread waits, or nothing is pending: nothing done
    Woken,    // status word and message stored, every waiting thread woken once
    NoLock,   // the waiter lock was not had within 100 ms: nobody woken
};
// When at least one thread waits and pending is not 0: stores pending as the
// event status word and text as the waiter message, and wakes every thread
// waiting at that moment exactly once.
WakeResult wakeWaiters(Session &s, uint32_t pending, const char *text);

// Number of threads inside the session's wait (for models and tests).
int waitingThreads(const Session &s);

} // namespace tq::driver
