// Instrument events: handler entries, delivery, and the threads blocked in
// the driver's wait.
//
// Every thread inside wait links a node of its own into the session's wait
// state, and an event hands each linked node its own copy of the status
// word and text and sets the node's own event. So every thread waiting when
// the event comes wakes exactly once, one registered but not yet blocked
// still finds its event set, and no signal is left over for a thread that
// starts waiting later. (One shared auto-reset event signalled once per
// waiter lets a thread that wakes first and waits again take a second
// signal that belonged to another.)
//
// The wait state lives apart from the session record and is shared by the
// session and every waiting thread: close hands the waiters an event word
// of 0 (wait answers 0xBFFF0030) and drops the session's share, and the last
// thread to leave frees it. Close therefore never waits for a waiter, and a
// waiter never touches the freed session.
#include "tq/driver/events.h"

#include <atomic>
#include <cstring>
#include <new>

#include "internal.h"
#include "tq/driver/driver.h"
#include "tq/platform/sync.h"

namespace tq::driver
{

namespace
{

void copyText(char *to, const char *from)
{
    size_t n = from ? strnlen(from, kNameLength - 1) : 0;
    if (n)
        memcpy(to, from, n);
    to[n] = '\0';
}

// Under the state's mutex: hands (word, text) to every thread inside wait.
void handOver(WaitState &state, uint32_t word, const char *text)
{
    for (WaitNode *node = state.first; node; node = node->next) {
        node->word = word;
        copyText(node->message, text);
        node->pending = true;
        node->wake.set();
    }
}

void release(WaitState *state)
{
    if (state->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete state;
}

} // namespace

WaitState *createWaitState()
{
    return new (std::nothrow) WaitState();
}

void closeWaitState(WaitState *state)
{
    if (!state)
        return;
    state->mutex.lock();
    state->closed = true;
    handOver(*state, 0, "");
    state->mutex.unlock();
    release(state);
}

uint32_t callEventHandlers(Session &s, unsigned event, uint32_t pending, bool channelEnabled, const char *text)
{
    if (event == 0 || event > 32)
        return 0;
    const uint32_t bit = 1u << (event - 1);
    uint32_t clear = 0;
    for (unsigned i = 0; i < s.eventHandlerCount && i < kMaxEventHandlers; ++i) {
        const EventHandlerEntry &entry = s.eventHandlers[i];
        if (!entry.handler)
            continue;
        if (entry.mask != 0 && !(channelEnabled && (entry.mask & pending) != 0))
            continue;
        if (entry.message)
            copyText(entry.message, text);
        ViUInt32 answer = 0;
        if (entry.handler(s.instrumentName, bit, entry.userData, &answer, entry.message) >= VI_SUCCESS)
            clear |= answer;
    }
    return clear;
}

WakeResult wakeWaiters(Session &s, uint32_t pending, const char *text)
{
    WaitState *state = s.waitState;
    if (!state || pending == 0 || state->waiting.load(std::memory_order_acquire) == 0)
        return WakeResult::NoWaiter;
    if (state->mutex.lock(kWakeLockMs) != platform::WaitResult::Signaled)
        return WakeResult::NoLock;
    state->eventStatus = pending;
    copyText(state->message, text);
    handOver(*state, pending, text);
    state->mutex.unlock();
    return WakeResult::Woken;
}

int waitingThreads(const Session &s)
{
    return s.waitState ? s.waitState->waiting.load(std::memory_order_acquire) : 0;
}

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
    WaitState *state = s->waitState;
    if (!state)
        return VI_ERROR_NSUP_OPER;
    // This thread's share keeps the state alive whatever close does from here on.
    state->references.fetch_add(1, std::memory_order_relaxed);
    if (state->mutex.lock(timeoutMs) != platform::WaitResult::Signaled) {
        // The lock is held only for moments; not having it within the
        // caller's time-out counts as the time-out.
        release(state);
        return VI_ERROR_TMO;
    }
    WaitNode node;
    if (state->closed) {
        state->mutex.unlock();
        release(state);
        if (status)
            *status = 0;
        if (message)
            message[0] = '\0';
        return VI_ERROR_ABORT;
    }
    node.previous = state->last;
    if (state->last)
        state->last->next = &node;
    else
        state->first = &node;
    state->last = &node;
    state->waiting.fetch_add(1, std::memory_order_release);
    state->mutex.unlock();

    uint32_t word = 0;
    char text[kNameLength];
    ViStatus result;
    for (;;) {
        const platform::WaitResult woken = node.wake.wait(timeoutMs);
        state->mutex.lock();
        if (node.pending) {
            node.pending = false;
            word = node.word;
            memcpy(text, node.message, sizeof text);
            if (word == 0) {
                result = VI_ERROR_ABORT;
                break;
            }
            if (mask & word) {
                result = VI_SUCCESS;
                break;
            }
        } else if (woken != platform::WaitResult::Signaled) {
            word = state->eventStatus;
            memcpy(text, state->message, sizeof text);
            result = VI_ERROR_TMO;
            break;
        } else {
            // A wake-up whose event was taken on an earlier round.
            state->mutex.unlock();
            continue;
        }
        // Not one of this caller's events: report it and wait again with the
        // full time-out.
        state->mutex.unlock();
        if (status)
            *status = word;
        if (message)
            copyText(message, text);
    }
    if (node.previous)
        node.previous->next = node.next;
    else
        state->first = node.next;
    if (node.next)
        node.next->previous = node.previous;
    else
        state->last = node.previous;
    state->waiting.fetch_sub(1, std::memory_order_release);
    state->mutex.unlock();
    release(state);

    if (status)
        *status = word;
    if (message)
        copyText(message, text);
    return result;
}

} // namespace tq::driver
