// Mutexes, events and waiters with the semantics the system's components
// were designed around: recursive, owned locks with time-outs in
// milliseconds, auto- and manual-reset events, and Win32 wait results.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <string>

#include "tq/status.h"

namespace tq::platform {

// Wait results keep the numbers that callers see through several interfaces.
enum class WaitResult : uint32_t {
    Signaled = TQ_WAIT_OBJECT_0,
    Abandoned = TQ_WAIT_ABANDONED, // named mutex taken over from a dead owner; the caller owns it
    Timeout = TQ_WAIT_TIMEOUT,
    Failed = TQ_WAIT_FAILED,
};

constexpr uint32_t kInfinite = TQ_INFINITE;

// Recursive mutex owned by a thread, with a timed lock.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;

    // Time-out in milliseconds (scaled by the test time factor); kInfinite waits for ever.
    WaitResult lock(uint32_t timeoutMs = kInfinite);
    bool tryLock();
    // Returns false, and changes nothing, when the calling thread does not own the mutex.
    bool unlock();

private:
    WaitResult acquired(int rc);

    pthread_mutex_t m_;
    // Owner and depth, kept beside the pthread mutex so that a non-owner's
    // unlock is answered without touching the mutex at all.
    std::atomic<uint64_t> owner_{0};
    unsigned depth_ = 0;
};

// Scoped ownership of a Mutex taken without a time-out.
class MutexGuard {
public:
    explicit MutexGuard(Mutex &m) : m_(m) { m_.lock(); }
    ~MutexGuard() { m_.unlock(); }
    MutexGuard(const MutexGuard &) = delete;
    MutexGuard &operator=(const MutexGuard &) = delete;

private:
    Mutex &m_;
};

// Event with Win32 semantics: an auto-reset event releases one waiter and
// resets itself; a manual-reset event stays signalled until reset.
class Event {
public:
    enum class Reset { Auto, Manual };
    explicit Event(Reset kind = Reset::Auto, bool initiallySet = false);
    ~Event();
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    void set();
    void reset();
    WaitResult wait(uint32_t timeoutMs = kInfinite);
    // A wait of microseconds at the test pace (schedules finer than a millisecond).
    WaitResult waitUs(uint64_t timeoutUs);

private:
    WaitResult waitUntil(const timespec *deadline);

    pthread_mutex_t m_;
    pthread_cond_t c_;
    bool manual_;
    bool signaled_;
};

// Wakes every thread waiting at the time of wakeAll exactly once; a thread
// that starts waiting afterwards is not woken by that call. Built on a
// generation count so that no wake-up is lost or taken by another waiter.
class Waiter {
public:
    Waiter();
    ~Waiter();
    Waiter(const Waiter &) = delete;
    Waiter &operator=(const Waiter &) = delete;

    WaitResult wait(uint32_t timeoutMs = kInfinite);
    void wakeAll();
    // Number of threads currently blocked in wait.
    int waiting() const;

private:
    mutable pthread_mutex_t m_;
    pthread_cond_t c_;
    uint64_t generation_ = 0;
    int waiting_ = 0;
};

// Recursive mutex shared between processes by name. When its owner dies
// holding it, the next lock succeeds with WaitResult::Abandoned and the mutex
// is usable again.
class NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(const NamedMutex &) = delete;
    NamedMutex &operator=(const NamedMutex &) = delete;

    // Opens or creates the mutex; false on failure.
    bool open(const std::string &name);
    void close();
    bool isOpen() const { return shared_ != nullptr; }

    WaitResult lock(uint32_t timeoutMs = kInfinite);
    bool unlock();

    // Removes the name from the system (the mutex lives on while open).
    static void removeName(const std::string &name);

private:
    struct Shared;
    Shared *shared_ = nullptr;
    // This process's view of the ownership (the mutex itself lives in shared memory).
    std::atomic<uint64_t> owner_{0};
    unsigned depth_ = 0;
};

} // namespace tq::platform
