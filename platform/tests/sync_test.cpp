#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <latch>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tq/platform/broadcast.h"
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

TEST(Clock, MicrosecondsAgreeWithMillisecondsAndShortWaitsEnd)
{
    const uint64_t us0 = tickUs(), ms0 = tickMs();
    Event e;
    // A wait of 1500 us times out after at least that long on the same clock.
    EXPECT_EQ(e.waitUs(1500), WaitResult::Timeout);
    const uint64_t us1 = tickUs(), ms1 = tickMs();
    EXPECT_GE(us1 - us0, 1500u);
    EXPECT_LT(us1 - us0, 5000000u);
    EXPECT_LE(ms1 - ms0, (us1 - us0) / 1000 + 2);
    e.set();
    EXPECT_EQ(e.waitUs(60000000), WaitResult::Signaled); // a set event ends the wait at once
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


// ---- EventBroadcast -----------------------------------------------------------

namespace {

// Starts n threads waiting on b with the given mask; each stores its outcome and word.
struct Waiters {
    struct Result {
        std::atomic<int> outcome{-1};
        uint32_t word = 0;
        char text[EventBroadcast::kTextSize] = {};
    };
    std::vector<std::unique_ptr<Thread>> threads;
    std::vector<std::unique_ptr<Result>> results;

    Waiters(EventBroadcast *b, int n, uint32_t mask, uint32_t timeoutMs)
    {
        for (int i = 0; i < n; ++i) {
            results.push_back(std::make_unique<Result>());
            threads.push_back(std::make_unique<Thread>());
            Result *r = results.back().get();
            threads.back()->start([=] { r->outcome = static_cast<int>(b->wait(mask, timeoutMs, &r->word, r->text)); });
        }
    }
    void join()
    {
        for (auto &t : threads)
            t->join();
    }
};

void waitUntilWaiting(EventBroadcast *b, int n)
{
    for (int spins = 0; b->waiting() != n && spins < 20000; ++spins)
        sleepMs(1);
    ASSERT_EQ(b->waiting(), n);
}

} // namespace

TEST(EventBroadcast, EveryWaiterGetsItsOwnCopyOnceAndNoLaterOne)
{
    EventBroadcast *b = EventBroadcast::create();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->post(1, "nobody", 100), EventBroadcast::PostResult::NoWaiter);
    for (int round = 0; round < 20; ++round) {
        Waiters w(b, 6, 0x3, 20000);
        waitUntilWaiting(b, 6);
        EXPECT_EQ(b->post(0x2, "second", 1000), EventBroadcast::PostResult::Delivered);
        w.join();
        for (auto &r : w.results) {
            EXPECT_EQ(r->outcome.load(), static_cast<int>(EventBroadcast::Outcome::Event));
            EXPECT_EQ(r->word, 0x2u);
            EXPECT_STREQ(r->text, "second");
        }
    }
    // No signal left over: a later wait times out and reports the last event.
    uint32_t word = 0;
    char text[EventBroadcast::kTextSize];
    EXPECT_EQ(b->wait(0x3, 20, &word, text), EventBroadcast::Outcome::Timeout);
    EXPECT_EQ(word, 0x2u);
    EXPECT_STREQ(text, "second");
    b->close();
}

TEST(EventBroadcast, OtherBitsArePassedOver)
{
    EventBroadcast *b = EventBroadcast::create();
    Waiters w(b, 2, 0x4, 20000);
    waitUntilWaiting(b, 2);
    b->post(0x1, "not mine", 1000);
    b->post(0x8, "nor this", 1000);
    sleepMs(20);
    EXPECT_EQ(b->waiting(), 2);
    b->post(0x5, "mine", 1000);
    w.join();
    for (auto &r : w.results) {
        EXPECT_EQ(r->outcome.load(), static_cast<int>(EventBroadcast::Outcome::Event));
        EXPECT_EQ(r->word, 0x5u);
    }
    b->close();
}

TEST(EventBroadcast, PostRightAfterRegistrationIsNotMissed)
{
    EventBroadcast *b = EventBroadcast::create();
    for (int round = 0; round < 200; ++round) {
        Waiters w(b, 1, 0x1, 20000);
        while (b->waiting() != 1)
            ; // post the moment the thread has registered, before it blocks
        b->post(0x1, "now", 1000);
        w.join();
        ASSERT_EQ(w.results[0]->outcome.load(), static_cast<int>(EventBroadcast::Outcome::Event)) << round;
    }
    b->close();
}

TEST(EventBroadcast, CloseEndsEveryWaitAndLaterWaits)
{
    // The waiters hold the object after close; ASan checks that the last one frees it.
    EventBroadcast *b = EventBroadcast::create();
    Waiters w(b, 4, 0xFFFFFFFF, kInfinite);
    waitUntilWaiting(b, 4);
    b->close();
    w.join();
    for (auto &r : w.results) {
        EXPECT_EQ(r->outcome.load(), static_cast<int>(EventBroadcast::Outcome::Closed));
        EXPECT_EQ(r->word, 0u);
    }
}

TEST(EventBroadcast, ObserverMirrorsCountsAndEventsUntilClose)
{
    struct Mirror {
        int waiting = -1;
        uint32_t word = 0;
        std::string text;
        int calls = 0;
    } mirror;
    auto observe = [](void *context, int waiting, const uint32_t *word, const char *text) {
        auto *m = static_cast<Mirror *>(context);
        ++m->calls;
        m->waiting = waiting;
        if (word) {
            m->word = *word;
            m->text = text;
        }
    };
    EventBroadcast *b = EventBroadcast::create(observe, &mirror);
    {
        Waiters w(b, 1, 0x1, 20000);
        waitUntilWaiting(b, 1);
        b->mutex().lock(); // the observer writes under this lock
        EXPECT_EQ(mirror.waiting, 1);
        b->mutex().unlock();
        b->post(0x1, "seen", 1000);
        w.join();
    }
    EXPECT_EQ(mirror.waiting, 0);
    EXPECT_EQ(mirror.word, 0x1u);
    EXPECT_EQ(mirror.text, "seen");
    int calls = mirror.calls;
    b->close();
    EXPECT_EQ(mirror.calls, calls); // not called once closed
}

TEST(EventBroadcast, LockHeldElsewhereTimesTheWaitOutAndThePostIsBusy)
{
    EventBroadcast *b = EventBroadcast::create();
    std::latch held(1), done(1);
    Thread holder;
    holder.start([&] {
        b->mutex().lock();
        held.count_down();
        done.wait();
        b->mutex().unlock();
    });
    held.wait();
    EXPECT_EQ(b->wait(0x1, 20, nullptr, nullptr), EventBroadcast::Outcome::LockTimeout);
    done.count_down();
    holder.join();
    // A post with a waiter present but the lock taken gives up after its time-out.
    Waiters w(b, 1, 0x1, 20000);
    waitUntilWaiting(b, 1);
    b->mutex().lock();
    Thread poster;
    std::atomic<int> posted{-1};
    poster.start([&] { posted = static_cast<int>(b->post(0x1, "late", 20)); });
    poster.join();
    b->mutex().unlock();
    EXPECT_EQ(posted.load(), static_cast<int>(EventBroadcast::PostResult::Busy));
    b->post(0x1, "now", 1000);
    w.join();
    b->close();
}
