// The stream thread keeps up with the device in every layout: at the
// highest rate crossCheck accepts for it, nothing is dropped from the
// device's FIFO and at least nine scans in ten that the device produced are
// in the stream. A reply carries at most one packet, fewer scans than a
// packet's count with wide scans: only requests sent back to back keep up.
#include <atomic>
#include <thread>

#include "fixture176.h"

namespace
{

using namespace ux176test;

struct Layout {
    int analog;   // inputs 1 to analog
    bool digital; // the digital word (line 3 as an input)
};

// Enables the layout and sets the rate; false when crossCheck refuses it.
void configure(ViSession vi, const Layout &l, double rate)
{
    for (int k = 1; k <= l.analog; ++k)
        ASSERT_EQ(ux176_setAnalogChannelEnable(vi, static_cast<ViInt16>(k), 1), VI_SUCCESS);
    if (l.digital) {
        ASSERT_EQ(ux176_setDigitalChannelEnable(vi, 3, 1), VI_SUCCESS);
    }
    ASSERT_EQ(ux176_setAdcScanRate(vi, rate), VI_SUCCESS);
}

// The highest rate crossCheck accepts for the layout: 50000 / inputs (the
// device's period in whole ticks of 0.1 us may read back a little above
// it, which crossCheck refuses; the next longer period is then taken).
double highestAcceptedRate(ViSession vi, const Layout &l)
{
    double rate = l.analog > 0 ? 50000.0 / l.analog : 50000.0;
    for (int tries = 0; tries < 4; ++tries) {
        EXPECT_EQ(ux176_setAdcScanRate(vi, rate), VI_SUCCESS);
        char message[256] = {};
        if (ux176_crossCheck(vi, message) == VI_SUCCESS) {
            ViReal64 actual = 0.0;
            EXPECT_EQ(ux176_getAdcScanRate(vi, &actual), VI_SUCCESS);
            return actual;
        }
        rate = 1e7 / (static_cast<double>(static_cast<uint64_t>(1e7 / rate)) + 1.0);
    }
    ADD_FAILURE() << "crossCheck accepts no rate near the limit";
    return 0.0;
}

// Runs the layout for seconds (at the test pace) with a reader taking
// every scan; checks what the device dropped and what the stream holds.
void runAndCount(ViSession vi, double rate, uint32_t seconds, const char *what)
{
    TQStream *s = nullptr;
    ASSERT_EQ(ux176_getStream(vi, "s176", &s), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            TQPiece *pieces = nullptr;
            uint32_t count = 0;
            const int64_t n = r->readerReserveRead(r, &pieces, &count, 1 << 20);
            r->readerCompleteRead(r, n);
            if (n == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    const uint64_t t0 = tq::platform::tickMs();
    tq::platform::sleepMs(1000 * seconds);
    const uint64_t t1 = tq::platform::tickMs();
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    done = true;
    reader.join();
    uint64_t dropped = 1;
    ASSERT_EQ(simusb_droppedScans(kSerial, &dropped), 0);
    EXPECT_EQ(dropped, 0u) << what;
    const double produced = rate * static_cast<double>(t1 - t0) / 1000.0;
    EXPECT_GE(static_cast<double>(s->streamGetScansWritten(s)), 0.9 * produced) << what << ": " << produced
                                                                                 << " scans produced";
    r->readerRelease(&r);
}

TEST_F(UsbTest, SixInputsAt3000ScansPerSecond)
{
    ViSession vi = open();
    configure(vi, Layout{6, false}, 3000.0);
    runAndCount(vi, 3000.0, 4, "six inputs at 3000 scans/s");
}

TEST_F(UsbTest, EveryLayoutAtTheHighestRateCrossCheckAccepts)
{
    std::vector<Layout> layouts{{0, true}};
    for (int a = 1; a <= 6; ++a) {
        layouts.push_back({a, false});
        layouts.push_back({a, true});
    }
    for (const Layout &l : layouts) {
        const std::string what = std::to_string(l.analog) + " inputs" + (l.digital ? " and the digital word" : "");
        SCOPED_TRACE(what);
        ViSession vi = open();
        configure(vi, l, 1000.0);
        const double rate = highestAcceptedRate(vi, l);
        ASSERT_GT(rate, 0.0);
        runAndCount(vi, rate, 1, what.c_str());
        close(vi);
    }
}

} // namespace
