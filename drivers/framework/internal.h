// What the framework's own files share and the models never see.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "tq/driver/session.h"
#include "tq/platform/sync.h"

namespace tq::driver
{

// Room for one status or trace line (names of 255 characters and more).
constexpr size_t kLineLength = 1024;

// No C++ exception crosses an entry point or a function slot.
template <typename F> ViStatus guarded(F &&f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

// A thread inside wait; lives on that thread's stack while it is linked.
struct WaitNode {
    platform::Event wake{platform::Event::Reset::Auto};
    WaitNode *next = nullptr;
    WaitNode *previous = nullptr;
    bool pending = false; // an event was handed over and not yet looked at
    uint32_t word = 0;
    char message[kNameLength] = {};
};

// The waiter state of a session: count, event status word and message, and
// the waiting threads. Shared by the session (one reference) and every
// thread inside wait (one each).
struct WaitState {
    platform::Mutex mutex; // the waiter mutex: guards everything below but the counters
    std::atomic<int> references{1};
    std::atomic<int> waiting{0}; // the waiter count
    WaitNode *first = nullptr;
    WaitNode *last = nullptr;
    uint32_t eventStatus = 0;
    char message[kNameLength] = {};
    bool closed = false;
};

// How long an event waits for the waiter mutex before it gives up waking.
constexpr uint32_t kWakeLockMs = 100;

// Null without memory.
WaitState *createWaitState();
// Wakes every waiter with event word 0 and drops the session's reference.
void closeWaitState(WaitState *state);

} // namespace tq::driver
