// Everything that runs at once while the carrier acquires: its thread, the
// interrupt handler on VISA's callback thread, two readers converting
// scans, a thread writing static outputs, changing inputs that raise
// change-of-state interrupts, then stop and close with readers still held.
#include <atomic>
#include <thread>
#include <vector>

#include "drivertest/events.h"
#include "drivertest/stoppers.h"
#include "fixture747.h"

namespace
{

using namespace tq747test;

// Change-of-state events handled (and re-armed, so that the next change
// interrupts again).
std::atomic<int> handled{0};

TEST_F(CarrierTest, ThreadHandlerReadersOutputsStopAndClose)
{
    addCarrier("1,3");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 9, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelChangeOfStateEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setEventEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setEventChannelEnable(vi, 1, 1), VI_SUCCESS);
    ViSession m = VI_NULL;
    ASSERT_EQ(tq747_createIPSession(vi, 1, &m), VI_SUCCESS);
    ASSERT_EQ(tq740_setChannelGroupDirection(m, 4, 1), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(m, 25, 1), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(m, 1, 1), VI_SUCCESS);
    char message[256] = {};
    ASSERT_EQ(tq747_installEventHandler(vi, 0, countAndClearEvents, &handled, message), VI_SUCCESS);
    ASSERT_EQ(tq747_setScanClockRate(vi, 2000.0), VI_SUCCESS);

    TQStreamChannel *in1 = s->streamGetChannel(s, "DigitalChannel1");
    TQStreamChannel *out9 = s->streamGetChannel(s, "DigitalChannel9");
    TQStreamChannel *ev = s->streamGetChannel(s, "EventChannel1");
    TQStreamChannel *site25 = s->streamGetChannel(s, "DigitalChannel25site1");
    ASSERT_TRUE(in1 && out9 && ev && site25);

    TQReader *readers[2] = {s->streamNewReader(s, 0, TQ_WHENCE_OLDEST), s->streamNewReader(s, 0, TQ_WHENCE_NEWEST)};
    ASSERT_TRUE(readers[0] && readers[1]);
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);

    std::atomic<bool> done{false};
    std::atomic<int64_t> seen{0};
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
                double sum = 0.0;
                for (TQPiece *p = pieces; p->length; ++p)
                    for (uint32_t off = 0; off < p->length; off += 32) {
                        const auto *scan = static_cast<const uint8_t *>(p->data) + off;
                        sum += in1->streamChannelEval(in1, scan) + ev->streamChannelEval(ev, scan);
                    }
                (void)sum;
                r->readerCompleteRead(r, n);
                seen.fetch_add(n);
            }
        });
    threads.emplace_back([&] {
        for (int i = 0; !done.load(); ++i) {
            out9->streamChannelSetEval(out9, i & 1, nullptr);
            site25->streamChannelSetEval(site25, (i >> 1) & 1, nullptr);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 40; ++i) {
        configure(i & 1 ? "in0=0x1" : "in0=0x0");
        tq::platform::sleepMs(5);
    }
    ASSERT_TRUE(eventually([&] { return seen.load() > 200; }));
    // Stop while the readers still read.
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    done = true;
    for (std::thread &t : threads)
        t.join();
    ASSERT_EQ(sim().simvisa_flushEvents(5000), VI_SUCCESS);
    EXPECT_GT(handled.load(), 0);
    EXPECT_GT(s->streamGetScansWritten(s), 0);

    // Readers kept past close answer as empty readers and are released later.
    tq740_close(m);
    close(vi);
    for (TQReader *r : readers) {
        EXPECT_EQ(r->readerAvail(r), 0);
        r->readerRelease(&r);
    }
}

// Two threads stopping, or stopping and resetting, one running carrier.
TEST_F(CarrierTest, TwoThreadsEndingOneRunningSession)
{
    addCarrier("1,3");
    ViSession vi = open();
    ASSERT_EQ(tq747_setScanClockRate(vi, 2000.0), VI_SUCCESS);
    // A reset leaves no channel enabled: every start enables one.
    auto start = [vi] {
        const ViStatus status = tq747_setDigitalChannelEnable(vi, 1, 1);
        return status < VI_SUCCESS ? status : tq747_start(vi);
    };
    auto stop = [vi] { return tq747_stop(vi); };
    auto reset = [vi] { return tq747_reset(vi); };
    tq::test::raceStopsAndResets(start, stop, reset);
    EXPECT_EQ(tq747_stop(vi), VI_SUCCESS);
}

// The carrier's thread asks its modules for their output words every
// period while handles of another site come and go (each one a module
// session made and freed in the module driver's list) and handles of a site
// the carrier runs are opened again (each open sets the site's defaults
// anew while readers convert its channels).
TEST_F(CarrierTest, ModuleSessionsComeAndGoUnderARunningCarrier)
{
    addCarrier("1,2");
    configure("in0=0x1; site1.in=0x1; site2.in=0x2");
    ViSession vi = open();
    TQStream *s = stream(vi);
    // The carrier's own channel keeps the stream's input count above 0
    // while the modules' defaults come and go.
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ViSession site1 = VI_NULL;
    ASSERT_EQ(tq740_init(const_cast<ViRsrc>("PXI1::15::INSTR_IP1"), 0, 0, &site1), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(site1, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setScanClockRate(vi, 2000.0), VI_SUCCESS);
    TQStreamChannel *c1 = s->streamGetChannel(s, "DigitalChannel1");
    TQStreamChannel *m1 = s->streamGetChannel(s, "DigitalChannel1site1");
    TQStreamChannel *m2 = s->streamGetChannel(s, "DigitalChannel2site2");
    ASSERT_TRUE(c1 && m1 && m2);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);

    std::atomic<bool> done{false};
    std::atomic<int64_t> seen{0};
    std::atomic<int> wrong{0};
    std::thread reader([&] {
        while (!done.load()) {
            TQPiece *pieces = nullptr;
            const int64_t n = r->readerReserveRead(r, &pieces, nullptr, 64);
            if (n == 0) {
                std::this_thread::yield();
                continue;
            }
            for (TQPiece *p = pieces; p->length; ++p)
                for (uint32_t off = 0; off < p->length; off += 32) {
                    const auto *scan = static_cast<const uint8_t *>(p->data) + off;
                    if (c1->streamChannelEval(c1, scan) != 1.0 || m1->streamChannelEval(m1, scan) != 1.0 ||
                        m2->streamChannelEval(m2, scan) != 1.0)
                        wrong.fetch_add(1);
                }
            r->readerCompleteRead(r, n);
            seen.fetch_add(n);
        }
    });
    const char *names[] = {"PXI1::15::INSTR_IP3", "PXI1::15::INSTR_IP4", "PXI1::15::INSTR_IP1"};
    for (int round = 0; round < 60; ++round) {
        TQPnPHandle *h = nullptr;
        const char *name = names[round % 3];
        ASSERT_GE(tq740_getPnPHandle(name, &h), VI_SUCCESS) << name;
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->release(&h), VI_SUCCESS);
    }
    ASSERT_TRUE(eventually([&] { return seen.load() > 200; }));
    EXPECT_EQ(tq747_stop(vi), VI_SUCCESS);
    done = true;
    reader.join();
    EXPECT_EQ(wrong.load(), 0) << "every scan converts as the inputs stand";
    r->readerRelease(&r);
    EXPECT_EQ(tq740_close(site1), VI_SUCCESS);
}

} // namespace
