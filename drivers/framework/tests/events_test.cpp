// Instrument events of the test model's driver: the handler table, delivery
// with masks and clear masks, the event status, and waits from several
// threads, also across close.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "testmodel.h"

namespace
{

// What one handler saw; handed to the driver as its pointer-sized user data.
struct Recorder {
    ViUInt32 answerClear = 0;
    ViStatus answerStatus = VI_SUCCESS;
    struct Call {
        std::string name;
        ViUInt32 events;
        std::string text;
        bool withBuffer;
    };
    std::vector<Call> calls;
};

ViStatus record(ViConstString name, ViUInt32 events, void *user, ViUInt32 *clearMask, ViChar *message)
{
    auto *r = static_cast<Recorder *>(user);
    EXPECT_EQ(*clearMask, 0u) << "the clear mask starts at 0";
    r->calls.push_back({name, events, message ? message : "", message != nullptr});
    *clearMask = r->answerClear;
    return r->answerStatus;
}

ViStatus other(ViConstString, ViUInt32, void *, ViUInt32 *, ViChar *)
{
    return VI_SUCCESS;
}

class Events : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(tqtest_init(nullptr, 0, 0, &vi_), VI_SUCCESS);
        ASSERT_EQ(tqtest_setInstrumentName(vi_, "Rig"), VI_SUCCESS);
    }
    void TearDown() override
    {
        if (vi_) {
            EXPECT_EQ(tqtest_close(vi_), VI_SUCCESS);
        }
    }
    ViUInt32 raise(ViUInt32 bits)
    {
        ViUInt32 clear = 0xFFFFFFFF;
        EXPECT_EQ(tqtest_raiseEvents(vi_, bits, &clear), VI_SUCCESS);
        return clear;
    }
    void enableEventChannel(int n, ViBoolean on = 1)
    {
        ASSERT_EQ(tqtest_setChannelEnable(vi_, static_cast<ViInt16>(TQTEST_ANALOG_CHANNELS + n), on), VI_SUCCESS);
    }
    int waiting()
    {
        ViInt32 n = -1;
        EXPECT_EQ(tqtest_waitingThreads(vi_, &n), VI_SUCCESS);
        return n;
    }
    // Until n threads are inside wait (they get there at once; the bound only
    // keeps a broken build from hanging).
    void awaitWaiting(int n)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (waiting() != n && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(waiting(), n);
    }

    ViSession vi_ = VI_NULL;
};

TEST_F(Events, AtMostThreeHandlersAndUninstallRemovesEveryMatch)
{
    Recorder a, b;
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &a, nullptr), VI_SUCCESS);
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0x4, record, &a, nullptr), VI_SUCCESS) << "no check for duplicates";
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &b, nullptr), VI_SUCCESS);
    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, other, nullptr, nullptr), VI_ERROR_HNDLR_NINSTALLED);

    // Both entries of (record, a) go, whatever mask is given; b stays.
    EXPECT_EQ(tqtest_uninstallEventHandler(vi_, 0x80, record, &a), VI_SUCCESS);
    raise(0x1);
    EXPECT_TRUE(a.calls.empty());
    ASSERT_EQ(b.calls.size(), 1u);
    EXPECT_EQ(tqtest_uninstallEventHandler(vi_, 0, other, &a), VI_SUCCESS) << "nothing matched: still 0";
    EXPECT_EQ(tqtest_uninstallEventHandler(vi_, 0, record, nullptr), VI_SUCCESS);
    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, other, nullptr, nullptr), VI_SUCCESS) << "room again";
    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, other, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, other, nullptr, nullptr), VI_ERROR_HNDLR_NINSTALLED);

    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, nullptr, nullptr, nullptr), VI_ERROR_INV_HNDLR_REF);
    EXPECT_EQ(tqtest_installEventHandler(0x1234, 0, other, nullptr, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tqtest_uninstallEventHandler(0x1234, 0, other, nullptr), VI_ERROR_INV_OBJECT);
}

// A caller may free a handler's user data as soon as uninstall returns,
// while another thread keeps delivering events: a delivery in progress
// finishes before uninstall returns, and none starts afterwards.
struct Guarded {
    std::atomic<bool> alive{true};
    std::atomic<int> calls{0};
    std::atomic<int> late{0};
};

ViStatus guarded(ViConstString, ViUInt32, void *user, ViUInt32 *, ViChar *)
{
    auto *g = static_cast<Guarded *>(user);
    g->calls.fetch_add(1);
    // Long enough for an unsynchronised uninstall to return meanwhile.
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    if (!g->alive.load())
        g->late.fetch_add(1);
    return VI_SUCCESS;
}

TEST_F(Events, UninstallWaitsForADeliveryOnAnotherThread)
{
    constexpr int kRounds = 200;
    std::vector<Guarded> handlers(kRounds);
    std::atomic<bool> stop{false};
    std::thread raiser([&] {
        while (!stop.load())
            tqtest_raiseEvents(vi_, 0x1, nullptr);
    });
    for (Guarded &g : handlers) {
        ASSERT_EQ(tqtest_installEventHandler(vi_, 0, guarded, &g, nullptr), VI_SUCCESS);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (g.calls.load() == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        ASSERT_EQ(tqtest_uninstallEventHandler(vi_, 0, guarded, &g), VI_SUCCESS);
        g.alive.store(false);
    }
    stop.store(true);
    raiser.join();
    int late = 0, calls = 0;
    for (const Guarded &g : handlers) {
        late += g.late.load();
        calls += g.calls.load();
    }
    EXPECT_GE(calls, kRounds);
    EXPECT_EQ(late, 0) << "handlers called after their uninstall returned";
}

TEST_F(Events, EachPendingEventReachesTheHandlersThatTakeIt)
{
    Recorder all, second, high;
    char allText[256], secondText[256];
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &all, allText), VI_SUCCESS);
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0x2, record, &second, secondText), VI_SUCCESS);
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0x20, record, &high, nullptr), VI_SUCCESS);

    // A mask of 0 takes every event, lowest first, one bit per call, with
    // the event's text copied into the handler's buffer.
    raise(0x5);
    ASSERT_EQ(all.calls.size(), 2u);
    EXPECT_EQ(all.calls[0].name, "Rig");
    EXPECT_EQ(all.calls[0].events, 0x1u);
    EXPECT_EQ(all.calls[0].text, "Event 1");
    EXPECT_EQ(all.calls[1].events, 0x4u);
    EXPECT_EQ(all.calls[1].text, "Event 3");
    EXPECT_STREQ(allText, "Event 3");
    EXPECT_TRUE(second.calls.empty());

    // A masked handler needs the event's channel enabled.
    raise(0x2);
    EXPECT_TRUE(second.calls.empty()) << "event channel 2 is off";
    enableEventChannel(2);
    raise(0x2);
    ASSERT_EQ(second.calls.size(), 1u);
    EXPECT_EQ(second.calls[0].events, 0x2u);
    EXPECT_STREQ(secondText, "Event 2");

    // The mask is compared with every pending bit: event 1 arriving together
    // with event 2 reaches the handler for 0x2 as well.
    enableEventChannel(1);
    second.calls.clear();
    raise(0x3);
    ASSERT_EQ(second.calls.size(), 2u);
    EXPECT_EQ(second.calls[0].events, 0x1u);
    EXPECT_EQ(second.calls[1].events, 0x2u);

    // Events without an event channel: the mask alone decides; no buffer is fine.
    raise(0x20);
    ASSERT_EQ(high.calls.size(), 1u);
    EXPECT_EQ(high.calls[0].events, 0x20u);
    EXPECT_FALSE(high.calls[0].withBuffer);
}

TEST_F(Events, ClearMasksOfHandlersThatSucceedAreCollected)
{
    Recorder ok, failing, warning;
    ok.answerClear = 0x4;
    failing.answerClear = 0x8;
    failing.answerStatus = VI_ERROR_SYSTEM_ERROR;
    warning.answerClear = 0x1;
    warning.answerStatus = 0x3FFF0005;
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &ok, nullptr), VI_SUCCESS);
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &failing, nullptr), VI_SUCCESS);
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &warning, nullptr), VI_SUCCESS);
    EXPECT_EQ(raise(0xD), 0x5u);
    EXPECT_EQ(warning.calls.size(), 3u) << "a failing handler does not stop the others";

    // What was cleared is no longer pending; the rest is.
    ViUInt16 status = 9;
    char text[256] = "untouched";
    ASSERT_EQ(tqtest_getEventStatus(vi_, 3, &status, 0, text), VI_SUCCESS);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(text, "untouched") << "nothing written for an event that is not pending";
    ASSERT_EQ(tqtest_getEventStatus(vi_, 4, &status, 0, text), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(text, "Event 4");
}

TEST_F(Events, EventStatusReadsAndClears)
{
    raise(0x80);
    ViUInt16 status = 0;
    char text[256];
    ASSERT_EQ(tqtest_getEventStatus(vi_, 8, &status, 0, text), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(tqtest_getEventStatus(vi_, 8, &status, 1, nullptr), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(tqtest_getEventStatus(vi_, 8, &status, 0, text), VI_SUCCESS);
    EXPECT_EQ(status, 0) << "cleared";
    for (ViUInt16 bad : {0, 9, 0xFFFF})
        EXPECT_EQ(tqtest_getEventStatus(vi_, bad, &status, 0, text), VI_ERROR_INV_PARAMETER) << bad;
    EXPECT_EQ(tqtest_getEventStatus(0x1234, 1, &status, 0, text), VI_ERROR_INV_OBJECT);
}

TEST_F(Events, UserDataIsPointerSized)
{
    Recorder r;
    // Addresses above 4 GB are the rule on this platform; the value comes back whole.
    void *const far = reinterpret_cast<void *>(uintptr_t{0x7f1234567890});
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, record, &r, nullptr), VI_SUCCESS);
    ASSERT_EQ(tqtest_installEventHandler(vi_, 0, other, far, nullptr), VI_SUCCESS);
    EXPECT_EQ(tqtest_uninstallEventHandler(vi_, 0, other, reinterpret_cast<void *>(uintptr_t{0x34567890})), VI_SUCCESS);
    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, other, far, nullptr), VI_SUCCESS);
    EXPECT_EQ(tqtest_installEventHandler(vi_, 0, other, far, nullptr), VI_ERROR_HNDLR_NINSTALLED)
        << "an uninstall by the low 32 bits matched nothing";
    raise(0x1);
    EXPECT_EQ(r.calls.size(), 1u);
}

// ---- Waits ----------------------------------------------------------------------

struct WaitResult {
    ViStatus status = 0;
    ViUInt32 word = 0xDEAD;
    std::string text;
};

WaitResult waitOn(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs)
{
    WaitResult r;
    char text[256];
    memset(text, 'x', sizeof text);
    r.status = tqtest_wait(vi, mask, timeoutMs, &r.word, text);
    text[255] = '\0';
    r.text = text;
    return r;
}

TEST_F(Events, WaitWithoutEventsTimesOut)
{
    // A session without an instrument waits as an idle one does.
    WaitResult r = waitOn(vi_, 0x1, 30);
    EXPECT_EQ(r.status, VI_ERROR_TMO);
    EXPECT_EQ(r.word, 0u);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(tqtest_wait(vi_, 0x1, 0, nullptr, nullptr), VI_ERROR_TMO) << "status and message may be null";
    // Events raised while nobody waits are not kept for a later wait.
    raise(0x1);
    EXPECT_EQ(waitOn(vi_, 0x1, 30).status, VI_ERROR_TMO);
    EXPECT_EQ(tqtest_wait(0x1234, 1, 0, nullptr, nullptr), VI_ERROR_INV_OBJECT);
}

TEST_F(Events, WaitIgnoresOtherEventsUntilOneOfItsMask)
{
    WaitResult r;
    std::thread t([&] { r = waitOn(vi_, 0x2, 20000); });
    awaitWaiting(1);
    raise(0x1);
    raise(0x4);
    EXPECT_EQ(waiting(), 1) << "still inside: none of its events";
    raise(0x6);
    t.join();
    EXPECT_EQ(r.status, VI_SUCCESS);
    EXPECT_EQ(r.word, 0x6u);
    EXPECT_EQ(r.text, "Event 2") << "the text of the lowest event";
}

TEST_F(Events, TimeOutAfterOtherEventsReportsTheLastOne)
{
    WaitResult r;
    std::thread t([&] { r = waitOn(vi_, 0x2, 300); });
    awaitWaiting(1);
    raise(0x1);
    t.join();
    EXPECT_EQ(r.status, VI_ERROR_TMO);
    EXPECT_EQ(r.word, 0x1u);
    EXPECT_EQ(r.text, "Event 1");
}

TEST_F(Events, OtherEventsRaisedAllTheTimeDoNotExtendTheTimeOut)
{
    // A running instrument raises events of other masks steadily; the wait
    // still ends one time-out after its call, while they keep coming.
    constexpr ViUInt32 kTimeoutMs = 300;
    std::atomic<bool> waiting{true};
    std::atomic<bool> raisingWhenItReturned{false};
    WaitResult r;
    std::chrono::steady_clock::duration took{};
    std::thread t([&] {
        const auto begun = std::chrono::steady_clock::now();
        r = waitOn(vi_, 0x2, kTimeoutMs);
        took = std::chrono::steady_clock::now() - begun;
        waiting = false;
    });
    awaitWaiting(1);
    // The raiser gives up after a bound far beyond the time-out, so a wait
    // that never times out shows as a failure rather than a hang.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waiting.load() && std::chrono::steady_clock::now() < giveUp) {
        raise(0x1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!waiting.load())
            raisingWhenItReturned = true;
    }
    t.join();
    EXPECT_TRUE(raisingWhenItReturned.load()) << "the wait ended only when the events stopped";
    EXPECT_EQ(r.status, VI_ERROR_TMO);
    EXPECT_EQ(r.word, 0x1u) << "the last event word";
    EXPECT_GE(took, std::chrono::milliseconds(kTimeoutMs - 20));
}

TEST_F(Events, EveryWaitingThreadWakesOnceAndNoSignalIsLeftOver)
{
    constexpr int kThreads = 8, kRounds = 25;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<WaitResult> results(kThreads);
        std::vector<std::thread> threads;
        // Half the threads wait for event 1, half for event 2.
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] { results[i] = waitOn(vi_, i % 2 ? 0x2 : 0x1, 20000); });
        awaitWaiting(kThreads);
        raise(0x1);
        for (int i = 0; i < kThreads; i += 2)
            threads[i].join();
        EXPECT_EQ(waiting(), kThreads / 2) << "the others wait on";
        raise(0x2);
        for (int i = 1; i < kThreads; i += 2)
            threads[i].join();
        for (int i = 0; i < kThreads; ++i) {
            EXPECT_EQ(results[i].status, VI_SUCCESS) << "round " << round << " thread " << i;
            EXPECT_EQ(results[i].word, i % 2 ? 0x2u : 0x1u);
        }
        ASSERT_FALSE(HasFailure());
    }
    // Nothing is left for a thread that starts waiting now.
    EXPECT_EQ(waitOn(vi_, 0x3, 30).status, VI_ERROR_TMO);
}

TEST_F(Events, CloseReleasesBlockedWaiters)
{
    constexpr int kThreads = 6;
    // An event word from before: close must not hand it on as an event.
    WaitResult first;
    std::thread t([&] { first = waitOn(vi_, 0x1, 20000); });
    awaitWaiting(1);
    raise(0x1);
    t.join();
    ASSERT_EQ(first.status, VI_SUCCESS);

    std::vector<WaitResult> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { results[i] = waitOn(vi_, 0xFF, 0xFFFFFFFF); });
    awaitWaiting(kThreads);
    ASSERT_EQ(tqtest_close(vi_), VI_SUCCESS);
    const ViSession closed = vi_;
    vi_ = VI_NULL;
    for (std::thread &t : threads)
        t.join();
    for (const WaitResult &r : results) {
        EXPECT_EQ(r.status, VI_ERROR_ABORT);
        EXPECT_EQ(r.word, 0u);
        EXPECT_EQ(r.text, "");
    }
    EXPECT_EQ(tqtest_wait(closed, 1, 0, nullptr, nullptr), VI_ERROR_INV_OBJECT);
}

TEST_F(Events, WaitersOfOneSessionIgnoreAnother)
{
    ViSession second = VI_NULL;
    ASSERT_EQ(tqtest_init(nullptr, 0, 0, &second), VI_SUCCESS);
    WaitResult mine, theirs;
    std::thread a([&] { mine = waitOn(vi_, 0x1, 20000); });
    std::thread b([&] { theirs = waitOn(second, 0x1, 20000); });
    awaitWaiting(1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    ViInt32 n = 0;
    while ((tqtest_waitingThreads(second, &n), n) != 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    raise(0x1);
    a.join();
    EXPECT_EQ(mine.status, VI_SUCCESS);
    ASSERT_EQ(tqtest_waitingThreads(second, &n), VI_SUCCESS);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(tqtest_close(second), VI_SUCCESS);
    b.join();
    EXPECT_EQ(theirs.status, VI_ERROR_ABORT);
}

} // namespace
