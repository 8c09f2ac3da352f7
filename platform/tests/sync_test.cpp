#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <latch>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

using namespace tq::platform;

namespace {

// Runs fn on another thread and returns its result.
template <typename Fn> auto onOtherThread(Fn fn)
{
    decltype(fn()) result{};
    Thread t;
    t.start([&] { result = fn(); });
    t.join();
    return result;
}

} // namespace

TEST(Mutex, OwnerRecursionAndForeignUnlock)
{
    Mutex m;
    ASSERT_EQ(m.lock(), WaitResult::Signaled);
    ASSERT_EQ(m.lock(100), WaitResult::Signaled); // recursive
    // Another thread neither gets it nor may release it.
    EXPECT_EQ(onOtherThread([&] { return m.lock(0); }), WaitResult::Timeout);
    EXPECT_EQ(onOtherThread([&] { return m.lock(30); }), WaitResult::Timeout);
    EXPECT_FALSE(onOtherThread([&] { return m.unlock(); }));
    EXPECT_TRUE(m.unlock());
    // Still held once.
    EXPECT_EQ(onOtherThread([&] { return m.lock(0); }), WaitResult::Timeout);
    EXPECT_TRUE(m.unlock());
    EXPECT_FALSE(m.unlock()); // not owned any more
    EXPECT_EQ(onOtherThread([&] {
                  WaitResult r = m.lock(0);
                  m.unlock();
                  return r;
              }),
              WaitResult::Signaled);
}

TEST(Mutex, TimedLockSucceedsWhenReleasedInTime)
{
    Mutex m;
    std::latch held(1);
    std::atomic<bool> release{false};
    Thread owner;
    owner.start([&] {
        m.lock();
        held.count_down();
        while (!release.load())
            sleepMs(1);
        m.unlock();
    });
    held.wait();
    Thread releaser;
    releaser.start([&] {
        sleepMs(20);
        release = true;
    });
    EXPECT_EQ(m.lock(10000), WaitResult::Signaled);
    EXPECT_TRUE(m.unlock());
    owner.join();
    releaser.join();
}

TEST(Mutex, ExcludesConcurrentIncrements)
{
    Mutex m;
    long counter = 0;
    std::vector<std::unique_ptr<Thread>> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(std::make_unique<Thread>());
        threads.back()->start([&] {
            for (int k = 0; k < 20000; ++k) {
                ASSERT_EQ(m.lock(kInfinite), WaitResult::Signaled);
                ++counter;
                m.unlock();
            }
        });
    }
    for (auto &t : threads)
        t->join();
    EXPECT_EQ(counter, 80000);
}

TEST(Event, WaitResultsKeepTheirNumbers)
{
    EXPECT_EQ(static_cast<uint32_t>(WaitResult::Signaled), 0u);
    EXPECT_EQ(static_cast<uint32_t>(WaitResult::Timeout), 258u);
    EXPECT_EQ(static_cast<uint32_t>(WaitResult::Failed), 0xFFFFFFFFu);
}

TEST(Event, AutoAndManualReset)
{
    struct Case {
        Event::Reset kind;
        bool initial;
        WaitResult first, second;
    } cases[] = {
        {Event::Reset::Auto, false, WaitResult::Timeout, WaitResult::Timeout},
        {Event::Reset::Auto, true, WaitResult::Signaled, WaitResult::Timeout},
        {Event::Reset::Manual, false, WaitResult::Timeout, WaitResult::Timeout},
        {Event::Reset::Manual, true, WaitResult::Signaled, WaitResult::Signaled},
    };
    for (const auto &c : cases) {
        Event e(c.kind, c.initial);
        EXPECT_EQ(e.wait(0), c.first);
        EXPECT_EQ(e.wait(10), c.second);
    }

    Event autoEvent(Event::Reset::Auto);
    autoEvent.set();
    autoEvent.set(); // setting twice still releases one wait
    EXPECT_EQ(autoEvent.wait(0), WaitResult::Signaled);
    EXPECT_EQ(autoEvent.wait(0), WaitResult::Timeout);

    Event manual(Event::Reset::Manual);
    manual.set();
    EXPECT_EQ(manual.wait(0), WaitResult::Signaled);
    manual.reset();
    EXPECT_EQ(manual.wait(0), WaitResult::Timeout);
}

TEST(Event, SetWakesABlockedWaiter)
{
    for (auto kind : {Event::Reset::Auto, Event::Reset::Manual}) {
        Event e(kind);
        std::atomic<int> result{-1};
        std::latch started(1);
        Thread t;
        t.start([&] {
            started.count_down();
            result = static_cast<int>(e.wait(20000));
        });
        started.wait();
        sleepMs(10);
        e.set();
        t.join();
        EXPECT_EQ(result.load(), 0);
    }
}

TEST(Event, AutoResetReleasesOneOfTwoWaiters)
{
    Event e(Event::Reset::Auto);
    std::atomic<int> signaled{0}, timedOut{0};
    std::latch started(2);
    Thread a, b;
    auto body = [&] {
        started.count_down();
        WaitResult r = e.wait(400);
        (r == WaitResult::Signaled ? signaled : timedOut)++;
    };
    a.start(body);
    b.start(body);
    started.wait();
    sleepMs(20);
    e.set();
    a.join();
    b.join();
    EXPECT_EQ(signaled.load(), 1);
    EXPECT_EQ(timedOut.load(), 1);
}

TEST(Waiter, WakesEveryCurrentWaiterOnceAndNoLaterOne)
{
    Waiter w;
    constexpr int kThreads = 5;
    std::atomic<int> signaled{0};
    std::vector<std::unique_ptr<Thread>> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.push_back(std::make_unique<Thread>());
        threads.back()->start([&] {
            if (w.wait(20000) == WaitResult::Signaled)
                ++signaled;
        });
    }
    for (int spins = 0; w.waiting() < kThreads && spins < 20000; ++spins)
        sleepMs(1);
    ASSERT_EQ(w.waiting(), kThreads);
    w.wakeAll();
    for (auto &t : threads)
        t->join();
    EXPECT_EQ(signaled.load(), kThreads);
    // No leftover signal for a thread that starts waiting afterwards.
    EXPECT_EQ(w.wait(20), WaitResult::Timeout);
    EXPECT_EQ(w.waiting(), 0);
}

TEST(Waiter, TimeOutWithoutWake)
{
    Waiter w;
    uint64_t before = tickMs();
    EXPECT_EQ(w.wait(30), WaitResult::Timeout);
    EXPECT_GE(tickMs() - before, 25u);
}

TEST(Clock, MonotonicAndSleeps)
{
    uint64_t a = tickMs();
    sleepMs(20);
    uint64_t b = tickMs();
    EXPECT_GE(b - a, 19u);
    EXPECT_LT(b - a, 5000u);
}

TEST(Clock, ScaleSpeedsUpSleepsWaitsAndTheClock)
{
    // Measured against the real clock: a 2000 ms sleep at factor 100 takes ~20 ms.
    setTimeScale(100.0);
    timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    uint64_t tick0 = tickMs();
    sleepMs(2000);
    Event e;
    EXPECT_EQ(e.wait(2000), WaitResult::Timeout);
    uint64_t tick1 = tickMs();
    clock_gettime(CLOCK_MONOTONIC, &t1);
    setTimeScale(1.0);
    double realMs = (t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6;
    EXPECT_LT(realMs, 1500.0);
    EXPECT_GE(tick1 - tick0, 3900u); // the clock advanced at the test pace
    EXPECT_EQ(scaledTimeoutNs(kInfinite), -1);
}

TEST(Thread, StartJoinAndIdentity)
{
    Thread t;
    EXPECT_FALSE(t.joinable());
    std::atomic<uint64_t> id{0};
    ASSERT_TRUE(t.start([&] { id = currentThreadId(); }));
    EXPECT_FALSE(t.start([] {})); // one at a time
    t.join();
    EXPECT_NE(id.load(), 0u);
    EXPECT_NE(id.load(), currentThreadId());
    t.join(); // harmless twice
}

