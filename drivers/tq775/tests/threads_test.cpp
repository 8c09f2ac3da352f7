// Everything that meets a running model 775 session at once: its
// acquisition thread, the overflow interrupt on VISA's callback thread with
// a waiter, two readers converting scans, then stop and close with the
// readers still held.
#include <atomic>
#include <thread>
#include <vector>

#include "drivertest/events.h"
#include "drivertest/stoppers.h"
#include "fixture775.h"

namespace
{

using namespace tq775test;

// Overflow events handled (and re-armed).
std::atomic<int> handled{0};

TEST_F(CounterTest, ThreadInterruptReadersStopAndClose)
{
    addCounter("freq1=1000; freq3=200000000; freq8=7000");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq775_setObservationWindowSize(vi, 2), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 0, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setInterruptEnable(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelInterruptEnable(vi, 3, 1), VI_SUCCESS);
    char message[256] = {};
    ASSERT_EQ(tq775_installEventHandler(vi, 0, countAndClearEvents, &handled, message), VI_SUCCESS);
    TQStreamChannel *one = s->streamGetChannel(s, "Channel1");
    TQStreamChannel *eight = s->streamGetChannel(s, "Channel8");
    ASSERT_TRUE(one && eight);
    TQReader *readers[2] = {s->streamNewReader(s, 0, TQ_WHENCE_OLDEST), s->streamNewReader(s, 0, TQ_WHENCE_NEWEST)};
    ASSERT_TRUE(readers[0] && readers[1]);
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);

    std::atomic<bool> done{false};
    std::atomic<int64_t> seen{0};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (TQReader *r : readers)
        threads.emplace_back([&, r] {
            while (!done.load()) {
                TQPiece *pieces = nullptr;
                const int64_t n = r->readerReserveRead(r, &pieces, nullptr, 64);
                if (n == 0) {
                    std::this_thread::yield();
                    continue;
                }
                for (TQPiece *p = pieces; p->length; ++p)
                    for (uint32_t off = 0; off < p->length; off += 64) {
                        const auto *scan = static_cast<const uint8_t *>(p->data) + off;
                        const double f1 = one->streamChannelEval(one, scan), f8 = eight->streamChannelEval(eight, scan);
                        if (f1 < 500.0 || f1 > 1500.0 || f8 < 6500.0 || f8 > 7500.0)
                            bad.fetch_add(1);
                    }
                r->readerCompleteRead(r, n);
                seen.fetch_add(n);
            }
        });
    std::atomic<int> woken{0};
    threads.emplace_back([&] {
        ViUInt32 status = 0;
        char text[256] = {};
        if (tq775_wait(vi, 1, 60000, &status, text) == VI_SUCCESS && status == 1)
            woken.fetch_add(1);
    });
    ASSERT_TRUE(eventually([&] { return seen.load() > 400 && handled.load() > 0; }, 60000));
    threads.back().join();
    threads.pop_back();
    EXPECT_EQ(woken.load(), 1);
    // Stop while the readers still read.
    ASSERT_EQ(tq775_stop(vi), VI_SUCCESS);
    done = true;
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(bad.load(), 0) << "every converted scan within the inputs";
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);
    // Close while running: the thread and the handler end first; readers
    // kept past close answer as empty readers and are released later.
    close(vi);
    for (TQReader *r : readers) {
        EXPECT_EQ(r->readerAvail(r), 0);
        r->readerRelease(&r);
    }
}

// Two threads stopping, or stopping and resetting, one running session.
TEST_F(CounterTest, TwoThreadsEndingOneRunningSession)
{
    addCounter("freq1=1000");
    ViSession vi = open();
    ASSERT_EQ(tq775_setObservationWindowSize(vi, 2), VI_SUCCESS);
    // A reset leaves no channel enabled: every start enables one.
    auto start = [vi] {
        const ViStatus status = tq775_setChannelEnable(vi, 1, 1);
        return status < VI_SUCCESS ? status : tq775_start(vi);
    };
    auto stop = [vi] { return tq775_stop(vi); };
    auto reset = [vi] { return tq775_reset(vi); };
    tq::test::raceStopsAndResets(start, stop, reset);
    EXPECT_EQ(tq775_stop(vi), VI_SUCCESS);
}

} // namespace
