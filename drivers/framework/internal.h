// What the framework's own files share and the models never see.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "tq/driver/session.h"
#include "tq/platform/broadcast.h"
#include "tq/platform/guard.h"

namespace tq::driver
{

// Room for one status or trace line (names of 255 characters and more).
constexpr size_t kLineLength = 1024;

// No C++ exception crosses an entry point or a function slot.
template <typename F> ViStatus guarded(F &&f) noexcept { return platform::guardStatus(static_cast<F &&>(f)); }

// How long an event waits for the waiter mutex before it gives up waking.
constexpr uint32_t kWakeLockMs = 100;

// Null without memory.
WaitState *createWaitState();
// Ends every wait (wait answers 0xBFFF0030) and drops the session's share.
void closeWaitState(WaitState *state);

} // namespace tq::driver
