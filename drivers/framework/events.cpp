// Instrument events: handler entries, delivery, and the threads blocked in
// the driver's wait.
//
// The waiter state is the platform's event broadcast: every thread inside
// wait gets its own copy of each event once, one registered but not yet
// blocked still finds its event, and no signal is left over for a thread
// that starts waiting later. It lives apart from the session record and is
// shared by the session and every waiting thread: close ends every wait
// (0xBFFF0030) and drops the session's share, so close never waits for a
// waiter and a waiter never touches the freed session.
#include "tq/driver/events.h"

#include <cstring>

#include "internal.h"
#include "tq/driver/driver.h"
#include "tq/platform/sync.h"
#include "tq/platform/text.h"

namespace tq::driver
{

WaitState *createWaitState() { return WaitState::create(); }

void closeWaitState(WaitState *state)
{
    if (state)
        state->close();
}

uint32_t callEventHandlers(Session &s, unsigned event, uint32_t pending, bool channelEnabled, const char *text)
{
    if (event == 0 || event > 32)
        return 0;
    const uint32_t bit = 1u << (event - 1);
    uint32_t clear = 0;
    platform::MutexGuard guard(s.handlerLock);
    for (unsigned i = 0; i < s.eventHandlerCount && i < kMaxEventHandlers; ++i) {
        const EventHandlerEntry &entry = s.eventHandlers[i];
        if (!entry.handler)
            continue;
        if (entry.mask != 0 && !(channelEnabled && (entry.mask & pending) != 0))
            continue;
        if (entry.message)
            platform::copyText(entry.message, kNameLength, text);
        ViUInt32 answer = 0;
        if (entry.handler(s.instrumentName, bit, entry.userData, &answer, entry.message) >= VI_SUCCESS)
            clear |= answer;
    }
    return clear;
}

WakeResult wakeWaiters(Session &s, uint32_t pending, const char *text)
{
    // An event word of 0 would read as "closed" to the waiters.
    if (!s.waitState || pending == 0)
        return WakeResult::NoWaiter;
    switch (s.waitState->post(pending, text, kWakeLockMs)) {
    case WaitState::PostResult::Delivered:
        return WakeResult::Woken;
    case WaitState::PostResult::Busy:
        return WakeResult::NoLock;
    case WaitState::PostResult::NoWaiter:
        break;
    }
    return WakeResult::NoWaiter;
}

int waitingThreads(const Session &s) { return s.waitState ? s.waitState->waiting() : 0; }

// ---------------------------------------------------------------------------

ViStatus Driver::installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler, void *userData,
                                     ViChar *message) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    // A null handler would be called at the next event.
    if (!handler)
        return VI_ERROR_INV_HNDLR_REF;
    platform::MutexGuard guard(s->handlerLock);
    if (s->eventHandlerCount >= kMaxEventHandlers) {
        if (info_.handlerTableFullLine)
            statusLine(*s, "[%s]Failed to install event handler", s->instrumentName);
        return VI_ERROR_HNDLR_NINSTALLED;
    }
    s->eventHandlers[s->eventHandlerCount++] = EventHandlerEntry{mask, handler, userData, message};
    return VI_SUCCESS;
}

ViStatus Driver::uninstallEventHandler(ViSession vi, ViUInt32, TQInstrumentEventHandler handler,
                                       void *userData) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    // The last entry moves into the freed place and is looked at there, so
    // every matching entry goes.
    platform::MutexGuard guard(s->handlerLock);
    unsigned i = 0;
    while (i < s->eventHandlerCount) {
        EventHandlerEntry &entry = s->eventHandlers[i];
        if (entry.handler == handler && entry.userData == userData) {
            const unsigned last = s->eventHandlerCount - 1u;
            entry = s->eventHandlers[last];
            s->eventHandlers[last] = EventHandlerEntry{};
            --s->eventHandlerCount;
        } else {
            ++i;
        }
    }
    return VI_SUCCESS;
}

ViStatus Driver::getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,
                                ViChar *message) noexcept
{
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return model_.getEventStatus(*s, event, status, clear, message);
    });
}

ViStatus Driver::wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!s->waitState)
        return VI_ERROR_NSUP_OPER;
    // The waiter lock is held only for moments; not having it within the
    // caller's time-out counts as the time-out. The time-out runs from this
    // call: a running model posts events of other masks all the time (the
    // model 718 one per DMA segment), and a wait that began its time-out
    // again at each of them would only end with the acquisition.
    switch (s->waitState->wait(mask, timeoutMs, status, message, WaitState::TimeOut::FromCall)) {
    case WaitState::Outcome::Event:
        return VI_SUCCESS;
    case WaitState::Outcome::Closed:
        return VI_ERROR_ABORT;
    case WaitState::Outcome::Timeout:
    case WaitState::Outcome::LockTimeout:
    case WaitState::Outcome::LockFailed:
        break;
    }
    return VI_ERROR_TMO;
}

} // namespace tq::driver
