// Threads, sleeping and the monotonic millisecond clock.
//
// Tests may speed time up: the factor in TQ_TIME_SCALE (default 1) divides
// every sleep and wait, and multiplies the clock's pace, so that a wait of
// seconds takes milliseconds. Every copy of this layer in a process reads
// the same variable, so all libraries agree on the pace.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace tq::platform {

class Thread {
public:
    Thread() = default;
    ~Thread();
    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

    // Starts fn on a new thread; false when a thread is already running or none could be made.
    bool start(std::function<void()> fn);
    // Waits for the thread to end; returns at once when none was started.
    void join();
    bool joinable() const;
    // True when called on this object's own thread.
    bool isCurrent() const;

private:
    std::thread thread_;
};

// Identifier of the calling thread, stable for its lifetime.
uint64_t currentThreadId();

void sleepMs(uint32_t ms);

// Milliseconds on a monotonic clock (no wrap), at the test pace.
uint64_t tickMs();
// The same clock in microseconds, for schedules finer than a millisecond.
uint64_t tickUs();

// The current time factor (1 unless TQ_TIME_SCALE says otherwise).
double timeScale();
// Sets the factor (and TQ_TIME_SCALE, which other libraries read at their first
// timed call): set it before the libraries of the process start working.
void setTimeScale(double factor);

// Converts a time-out at the test pace to real nanoseconds; kInfinite stays infinite (returns -1).
int64_t scaledTimeoutNs(uint32_t timeoutMs);

} // namespace tq::platform
