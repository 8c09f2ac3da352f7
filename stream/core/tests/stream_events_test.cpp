// Stream events: handlers with masks and clear masks, waits with time-outs,
// and destruction while threads wait.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/streamimpl.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

using tq::platform::Thread;

namespace {

struct StreamDeleter {
    void operator()(TQStream *s) const
    {
        if (s)
            destroyStream(s);
    }
};
using StreamPtr = std::unique_ptr<TQStream, StreamDeleter>;

// One handler's view: the calls it saw and what it answers.
struct Probe {
    std::vector<uint32_t> events;
    std::string lastMessage;
    uint32_t clearMask = 0;
    int32_t result = 0;
    char buffer[TQ_STREAM_MESSAGE_SIZE] = {};
};

int32_t probeHandler(TQStream *, uint32_t event, void *user, uint32_t *clearMask, char *message)
{
    auto *probe = static_cast<Probe *>(user);
    probe->events.push_back(event);
    probe->lastMessage = message ? message : "<null>";
    *clearMask = probe->clearMask;
    return probe->result;
}

// Waits (generously) until n threads are inside streamWait.
bool waitForWaiters(TQStream *s, int n)
{
    uint64_t until = tq::platform::tickMs() + 20000;
    while (tq::stream::waitersOf(s) != n) {
        if (tq::platform::tickMs() > until)
            return false;
        tq::platform::sleepMs(1);
    }
    return true;
}

struct WaitOutcome {
    int32_t result = 99;
    uint32_t event = 0xdeadbeef;
    char message[TQ_STREAM_MESSAGE_SIZE] = "untouched";
    uint64_t returnedAt = 0;
};

void startWait(Thread &t, TQStream *s, uint32_t mask, uint32_t timeoutMs, WaitOutcome &out)
{
    t.start([=, &out] {
        out.result = s->streamWait(s, mask, timeoutMs, &out.event, out.message);
        out.returnedAt = tq::platform::tickMs();
    });
}

} // namespace

class StreamEvents : public ::testing::Test {
protected:
    void SetUp() override { stream.reset(newStream("events", 100.0, nullptr)); }
    TQStream *s() { return stream.get(); }
    StreamPtr stream;
};

TEST_F(StreamEvents, HandlerMasksDecideWhoIsCalled)
{
    Probe any, bit1, bit2;
    ASSERT_EQ(s()->streamInstallEventHandler(s(), 0, probeHandler, &any, any.buffer), 0);
    ASSERT_EQ(s()->streamInstallEventHandler(s(), 0x1, probeHandler, &bit1, bit1.buffer), 0);
    ASSERT_EQ(s()->streamInstallEventHandler(s(), 0x6, probeHandler, &bit2, bit2.buffer), 0);
    struct Case {
        uint32_t event;
        bool any, bit1, bit2;
    } cases[] = {
        {0x1, true, true, false},
        {0x2, true, false, true},
        {0x4, true, false, true},
        {0x8, true, false, false},
        {0x0, true, true, true}, // event 0 reaches every handler
        {0x3, true, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.event);
        any.events.clear();
        bit1.events.clear();
        bit2.events.clear();
        EXPECT_EQ(postEvent(s(), c.event, "m", nullptr), 0);
        EXPECT_EQ(!any.events.empty(), c.any);
        EXPECT_EQ(!bit1.events.empty(), c.bit1);
        EXPECT_EQ(!bit2.events.empty(), c.bit2);
        for (Probe *p : {&any, &bit1, &bit2})
            for (uint32_t e : p->events)
                EXPECT_EQ(e, c.event);
    }
}

TEST_F(StreamEvents, ClearMaskOfTheLastHandlerAndStopOnFailure)
{
    Probe a, b, c;
    a.clearMask = 4;
    b.clearMask = 8;
    s()->streamInstallEventHandler(s(), 0, probeHandler, &a, a.buffer);
    s()->streamInstallEventHandler(s(), 0, probeHandler, &b, b.buffer);
    uint32_t result = 0;
    EXPECT_EQ(postEvent(s(), 1, "x", &result), 0);
    EXPECT_EQ(result, 8u);

    // A handler that fails stops the delivery; the stored answer is then 0.
    s()->streamInstallEventHandler(s(), 0, probeHandler, &c, c.buffer);
    a.events.clear();
    c.events.clear();
    b.result = -1;
    result = 77;
    EXPECT_EQ(postEvent(s(), 1, "x", &result), -1);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(a.events.size(), 1u);
    EXPECT_TRUE(c.events.empty());

    // A handler that succeeds after a skipped one still answers.
    b.result = 0;
    EXPECT_EQ(postEvent(s(), 1, "x", nullptr), 0);
}

TEST_F(StreamEvents, MessagesAreCopiedIntoEachHandlersBuffer)
{
    Probe a, noBuffer;
    s()->streamInstallEventHandler(s(), 0, probeHandler, &a, a.buffer);
    s()->streamInstallEventHandler(s(), 0, probeHandler, &noBuffer, nullptr);
    postEvent(s(), 2, "new data from device", nullptr);
    EXPECT_STREQ(a.buffer, "new data from device");
    EXPECT_EQ(a.lastMessage, "new data from device");
    EXPECT_EQ(noBuffer.lastMessage, "<null>");
    // A longer message is cut to 255 characters, the buffer's size.
    std::string longText(400, 'q');
    postEvent(s(), 2, longText.c_str(), nullptr);
    EXPECT_EQ(strlen(a.buffer), 255u);
    postEvent(s(), 2, nullptr, nullptr);
    EXPECT_STREQ(a.buffer, "");
}

TEST_F(StreamEvents, AtMostThreeHandlersAndUninstallByHandlerAndUser)
{
    Probe p1, p2, p3;
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 1, probeHandler, &p1, nullptr), 0);
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 2, probeHandler, &p1, nullptr), 0); // same pair twice
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 0, probeHandler, &p2, nullptr), 0);
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 0, probeHandler, &p3, nullptr), TQS_ERR_HANDLERS);
    EXPECT_EQ(s()->handlerCount, 3);
    // The mask plays no part; both entries of the pair go, the table stays packed.
    EXPECT_EQ(s()->streamUninstallEventHandler(s(), 0xffff, probeHandler, &p1), 0);
    EXPECT_EQ(s()->handlerCount, 1);
    EXPECT_EQ(s()->handlers[0].user, &p2);
    EXPECT_EQ(s()->streamUninstallEventHandler(s(), 0, probeHandler, &p1), TQS_ERR_HANDLERS);
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 0, probeHandler, &p3, nullptr), 0);
    postEvent(s(), 1, "", nullptr);
    EXPECT_TRUE(p1.events.empty());
    EXPECT_EQ(p2.events.size(), 1u);
    EXPECT_EQ(p3.events.size(), 1u);
}

TEST_F(StreamEvents, ANullHandlerIsRefused)
{
    Probe p1;
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 0, nullptr, &p1, p1.buffer), TQS_ERR_HANDLERS);
    EXPECT_EQ(s()->handlerCount, 0);
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 0, probeHandler, &p1, p1.buffer), 0);
    EXPECT_EQ(s()->streamInstallEventHandler(s(), 0, nullptr, &p1, p1.buffer), TQS_ERR_HANDLERS);
    EXPECT_EQ(s()->handlerCount, 1);
    // Every event still reaches the installed handler, and nothing else is called.
    EXPECT_EQ(postEvent(s(), 1, "one", nullptr), 0);
    EXPECT_EQ(p1.events, std::vector<uint32_t>{1});
}

TEST_F(StreamEvents, WaitTimesOut)
{
    WaitOutcome out;
    out.result = s()->streamWait(s(), 1, 20, &out.event, out.message);
    EXPECT_EQ(out.result, TQS_ERR_WAIT_TIMEOUT);
    EXPECT_EQ(out.event, 0u); // nothing posted yet
    EXPECT_EQ(tq::stream::waitersOf(s()), 0);
}

TEST_F(StreamEvents, WaitWokenByItsEvent)
{
    Thread t;
    WaitOutcome out;
    startWait(t, s(), 0x4, 60000, out);
    ASSERT_TRUE(waitForWaiters(s(), 1));
    EXPECT_EQ(postEvent(s(), 0x6, "overflow", nullptr), 0);
    t.join();
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.event, 0x6u);
    EXPECT_STREQ(out.message, "overflow");
    EXPECT_EQ(tq::stream::waitersOf(s()), 0);
    EXPECT_EQ(s()->waiterCount, 0);
    EXPECT_EQ(s()->eventWord, 0x6u);
}

TEST_F(StreamEvents, AnotherEventRestartsTheFullTimeOut)
{
    constexpr uint32_t kTimeout = 300;
    Thread t;
    WaitOutcome out;
    startWait(t, s(), 0x2, kTimeout, out);
    ASSERT_TRUE(waitForWaiters(s(), 1));
    tq::platform::sleepMs(kTimeout / 2);
    uint64_t postedAt = tq::platform::tickMs();
    EXPECT_EQ(postEvent(s(), 0x1, "not yours", nullptr), 0);
    t.join();
    EXPECT_EQ(out.result, TQS_ERR_WAIT_TIMEOUT);
    EXPECT_EQ(out.event, 0x1u); // the last event word
    EXPECT_STREQ(out.message, "not yours");
    EXPECT_GE(out.returnedAt - postedAt, kTimeout - 5);
}

TEST_F(StreamEvents, EventZeroMeansClosed)
{
    Thread t;
    WaitOutcome out;
    startWait(t, s(), 0xffffffff, 60000, out);
    ASSERT_TRUE(waitForWaiters(s(), 1));
    postEvent(s(), 0, "", nullptr);
    t.join();
    EXPECT_EQ(out.result, TQS_ERR_CLOSED);
    EXPECT_EQ(out.event, 0u);
}

TEST_F(StreamEvents, EveryWaiterIsWokenOnceByOnePost)
{
    constexpr int kWaiters = 5;
    Thread threads[kWaiters];
    WaitOutcome out[kWaiters];
    for (int i = 0; i < kWaiters; ++i)
        startWait(threads[i], s(), i % 2 ? 0x1 : 0x8, 60000, out[i]);
    ASSERT_TRUE(waitForWaiters(s(), kWaiters));
    EXPECT_EQ(postEvent(s(), 0x9, "both", nullptr), 0);
    for (int i = 0; i < kWaiters; ++i) {
        threads[i].join();
        EXPECT_EQ(out[i].result, 0) << i;
        EXPECT_EQ(out[i].event, 0x9u);
    }
}

TEST_F(StreamEvents, NoPostIsLostRightAfterRegistration)
{
    // The post comes as soon as the waiter is counted, possibly before it
    // blocks; it must still be seen.
    for (int round = 0; round < 200; ++round) {
        Thread t;
        WaitOutcome out;
        startWait(t, s(), 0x1, 60000, out);
        ASSERT_TRUE(waitForWaiters(s(), 1));
        ASSERT_EQ(postEvent(s(), 0x1, "now", nullptr), 0);
        t.join();
        ASSERT_EQ(out.result, 0) << "round " << round;
    }
}

TEST_F(StreamEvents, ABlockedEventMutex)
{
    std::atomic<int> phase{0};
    Thread holder;
    holder.start([&] {
        tq::stream::eventMutexOf(s()).lock();
        phase = 1;
        while (phase.load() != 2)
            tq::platform::sleepMs(1);
        tq::stream::eventMutexOf(s()).unlock();
    });
    while (phase.load() != 1)
        tq::platform::sleepMs(1);
    // A wait that cannot take the mutex reports a time-out, never a positive
    // raw wait result that callers would take as success.
    uint32_t event = 5;
    EXPECT_EQ(s()->streamWait(s(), 1, 20, &event, nullptr), TQS_ERR_WAIT_TIMEOUT);
    phase = 2;
    holder.join();

    // A post that cannot take it returns the time-out after calling its
    // handlers, and the waiter is not woken by it.
    Probe probe;
    s()->streamInstallEventHandler(s(), 0, probeHandler, &probe, nullptr);
    Thread waiter;
    WaitOutcome out;
    startWait(waiter, s(), 0x1, 60000, out);
    ASSERT_TRUE(waitForWaiters(s(), 1));
    phase = 0;
    holder.start([&] {
        tq::stream::eventMutexOf(s()).lock();
        phase = 1;
        while (phase.load() != 2)
            tq::platform::sleepMs(1);
        tq::stream::eventMutexOf(s()).unlock();
    });
    while (phase.load() != 1)
        tq::platform::sleepMs(1);
    EXPECT_EQ(postEvent(s(), 0x1, "lost", nullptr), static_cast<int32_t>(TQ_WAIT_TIMEOUT));
    EXPECT_EQ(probe.events.size(), 1u);
    phase = 2;
    holder.join();
    EXPECT_EQ(postEvent(s(), 0x1, "second", nullptr), 0);
    waiter.join();
    EXPECT_EQ(out.result, 0);
    EXPECT_STREQ(out.message, "second");
}

TEST_F(StreamEvents, DestroyWakesEveryWaiterWithClosed)
{
    constexpr int kWaiters = 4;
    Thread threads[kWaiters];
    WaitOutcome out[kWaiters];
    for (int i = 0; i < kWaiters; ++i)
        startWait(threads[i], s(), 0x1, tq::platform::kInfinite, out[i]);
    ASSERT_TRUE(waitForWaiters(s(), kWaiters));
    // The waiters leave after the record is gone; the sanitizer builds see
    // any touch of freed memory.
    destroyStream(stream.release());
    for (int i = 0; i < kWaiters; ++i) {
        threads[i].join();
        EXPECT_EQ(out[i].result, TQS_ERR_CLOSED) << i;
        EXPECT_EQ(out[i].event, 0u);
    }
}

TEST_F(StreamEvents, DestroyRacingWithWaitersLeaving)
{
    // Waiters whose time-outs run out around the moment the stream is
    // destroyed: each leaves with a time-out or with closed, never touching
    // the freed record.
    constexpr uint32_t kTimeout = 100;
    for (int round = 0; round < 20; ++round) {
        TQStream *st = newStream("race", 1.0, nullptr);
        constexpr int kWaiters = 3;
        Thread threads[kWaiters];
        int32_t results[kWaiters] = {};
        std::atomic<int> returned{0};
        for (int i = 0; i < kWaiters; ++i)
            threads[i].start([&, i] {
                results[i] = st->streamWait(st, 0x1, kTimeout, nullptr, nullptr);
                ++returned;
            });
        // Destroying is only safe once every thread is inside streamWait.
        while (tq::stream::waitersOf(st) != kWaiters && returned.load() == 0)
            tq::platform::sleepMs(1);
        if (returned.load() == 0) {
            tq::platform::sleepMs(kTimeout - 5 + static_cast<uint32_t>(round % 10));
            destroyStream(st);
            for (auto &t : threads)
                t.join();
        } else {
            for (auto &t : threads)
                t.join();
            destroyStream(st);
        }
        for (int32_t r : results)
            EXPECT_TRUE(r == TQS_ERR_CLOSED || r == TQS_ERR_WAIT_TIMEOUT) << r;
    }
}

namespace {

// A handler that says when it runs and stays in until released.
struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> uninstallReturned{false};
    std::atomic<int> callsAfterUninstall{0};
};

int32_t gateHandler(TQStream *, uint32_t, void *user, uint32_t *, char *)
{
    auto *g = static_cast<Gate *>(user);
    g->entered = true;
    while (!g->release)
        tq::platform::sleepMs(1);
    if (g->uninstallReturned)
        ++g->callsAfterUninstall;
    return 0;
}

int32_t countingHandler(TQStream *, uint32_t, void *user, uint32_t *, char *)
{
    auto *g = static_cast<Gate *>(user);
    if (g->uninstallReturned)
        ++g->callsAfterUninstall;
    return 0;
}

int32_t selfRemovingHandler(TQStream *s, uint32_t, void *user, uint32_t *, char *)
{
    s->streamUninstallEventHandler(s, 0, selfRemovingHandler, user);
    ++*static_cast<int *>(user);
    return 0;
}

} // namespace

// An uninstall on another thread waits for the delivery under way: the
// handler, still running when uninstall was called, ends before it returns.
TEST_F(StreamEvents, UninstallWaitsForARunningDelivery)
{
    Gate g;
    ASSERT_EQ(s()->streamInstallEventHandler(s(), 0, gateHandler, &g, nullptr), 0);
    Thread poster;
    poster.start([&] { postEvent(s(), 1, "x", nullptr); });
    while (!g.entered)
        tq::platform::sleepMs(1);
    Thread remover;
    remover.start([&] {
        s()->streamUninstallEventHandler(s(), 0, gateHandler, &g);
        g.uninstallReturned = true;
    });
    // Give a remover that does not wait every chance to return first.
    tq::platform::sleepMs(50);
    g.release = true;
    remover.join();
    poster.join();
    EXPECT_EQ(g.callsAfterUninstall, 0);
    EXPECT_EQ(s()->handlerCount, 0);
}

// Handlers installed and removed in a loop while another thread posts: no
// handler is called once its uninstall returned, and the table is never seen
// half changed (the thread sanitizer run watches the table).
TEST_F(StreamEvents, InstallAndUninstallWhileEventsArePosted)
{
    std::atomic<bool> stop{false};
    Thread poster;
    poster.start([&] {
        while (!stop)
            postEvent(s(), 1, "flood", nullptr);
    });
    for (int round = 0; round < 2000; ++round) {
        Gate g;
        ASSERT_EQ(s()->streamInstallEventHandler(s(), 0, countingHandler, &g, nullptr), 0);
        ASSERT_EQ(s()->streamUninstallEventHandler(s(), 0, countingHandler, &g), 0);
        g.uninstallReturned = true;
        EXPECT_EQ(g.callsAfterUninstall, 0);
    }
    stop = true;
    poster.join();
}

TEST_F(StreamEvents, AHandlerMayUninstallItselfDuringItsCall)
{
    int calls = 0;
    ASSERT_EQ(s()->streamInstallEventHandler(s(), 0, selfRemovingHandler, &calls, nullptr), 0);
    postEvent(s(), 1, "", nullptr);
    postEvent(s(), 1, "", nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s()->handlerCount, 0);
}
