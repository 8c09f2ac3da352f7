// Two threads ending one running session at once, round after round, for
// the drivers that run a thread per session: each call returns its own
// result, neither hangs, and the session starts again afterwards.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tq/visatype.h"

namespace tq::test
{

using SessionCall = std::function<ViStatus()>;

// Each round: start, then first and second from two threads released
// together. A stop answers 0; a reset anything but a failure.
inline void raceStoppers(int rounds, const SessionCall &start, const SessionCall &first, bool firstIsStop,
                         const SessionCall &second, bool secondIsStop)
{
    for (int round = 0; round < rounds; ++round) {
        ASSERT_EQ(start(), VI_SUCCESS) << "round " << round;
        std::atomic<int> ready{0};
        ViStatus results[2] = {VI_ERROR_SYSTEM_ERROR, VI_ERROR_SYSTEM_ERROR};
        auto run = [&](const SessionCall &call, ViStatus &out) {
            ready.fetch_add(1);
            while (ready.load() < 2)
                std::this_thread::yield();
            out = call();
        };
        std::thread a(run, std::cref(first), std::ref(results[0]));
        std::thread b(run, std::cref(second), std::ref(results[1]));
        a.join();
        b.join();
        const bool stops[2] = {firstIsStop, secondIsStop};
        for (int i = 0; i < 2; ++i) {
            if (stops[i]) {
                ASSERT_EQ(results[i], VI_SUCCESS) << "round " << round << ", caller " << i;
            } else {
                ASSERT_GE(results[i], VI_SUCCESS) << "round " << round << ", caller " << i;
            }
        }
    }
}

// What every driver's test runs: 40 rounds of two stoppers, then 20 of a
// stopper and a resetter.
inline void raceStopsAndResets(const SessionCall &start, const SessionCall &stop, const SessionCall &reset)
{
    raceStoppers(40, start, stop, true, stop, true);
    raceStoppers(20, start, stop, true, reset, false);
}

} // namespace tq::test
