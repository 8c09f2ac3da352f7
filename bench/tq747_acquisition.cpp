// The model 747 at 1000 scans/s, the fastest rate with a pause in every
// period (1 ms), with model 740 modules on all four sites and two readers
// converting every enabled channel of every scan. Reported: CPU seconds of
// the whole process (acquisition thread, its register reads and output
// writes through the simulated library, the readers) per second of
// acquisition, against the limit of 0.02, and as a ratio of a bare thread
// that only wakes once per period, measured in turns with it (median of
// several pairs).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tq/platform/thread.h"
#include "tq740.h"
#include "tq747.h"

#include "acquisition_run.h"
#include "periodic_floor.h"
#include "simvisa_bench.h"

namespace
{

constexpr const char *kCarrier = "PXI1::15::INSTR";
constexpr double kRate = 1000.0;
constexpr double kLimit = 0.02;

struct RunResult {
    benchfloor::Acquisition run;
    int channels;
};

RunResult acquire(int readers, double seconds)
{
    ViSession vi = benchsim::openBoard(kCarrier,
                                       "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site2=tq740; "
                                       "site3=tq740; site4=tq740; pattern=counter; pattern.period=7",
                                       tq747_init);
    if (tq747_setScanClockRate(vi, kRate) < 0)
        std::abort();
    // Every carrier channel and every module channel.
    for (ViInt16 c = 1; c <= 128; ++c)
        tq747_setDigitalChannelEnable(vi, c, 1);
    for (ViInt16 site = 1; site <= 4; ++site) {
        ViSession m = VI_NULL;
        if (tq747_createIPSession(vi, site, &m) < 0)
            std::abort();
        for (ViInt16 c = 1; c <= 32; ++c)
            tq740_setDigitalChannelEnable(m, c, 1);
        tq740_close(m);
    }
    TQStream *stream = nullptr;
    tq747_getStream(vi, "bench", &stream);
    const int count = stream->streamGetNumberChannels(stream);
    std::vector<TQStreamChannel *> channels;
    for (int i = 0; i < count; ++i)
        channels.push_back(stream->streamGetChannelByIndex(stream, i));
    const benchfloor::Acquisition run = benchfloor::runAcquisition(
        stream, readers, seconds, benchfloor::EvalEachScan{channels, stream->streamGetScanSize(stream)},
        [] { tq::platform::sleepMs(250); }, // half a segment at the default refresh rate
        [&] { tq747_start(vi); }, [&] { tq747_stop(vi); });
    tq747_close(vi);
    return RunResult{run, count};
}

// One period of the acquisition thread's register traffic alone: the
// carrier's four input words and the four sites' data registers.
void BM_ReadOnePeriod(benchmark::State &state)
{
    ViSession vi = benchsim::openBoard(
        kCarrier, "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site2=tq740; site3=tq740; site4=tq740",
        tq747_init);
    ViUInt8 bits[32];
    for (auto _ : state)
        tq747_readIoData(vi, 1, 256, bits);
    benchmark::DoNotOptimize(bits);
    tq747_close(vi);
}
BENCHMARK(BM_ReadOnePeriod)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    benchsim::bindDriver("tq747", tq747_init, tq747_close);

    constexpr int kRepetitions = 5;
    const double seconds = 2.0;
    RunResult r{};
    const benchfloor::Turns t = benchfloor::inTurnsWithBareThread(
        kRepetitions, 1e6 / kRate, seconds,
        [&] {
            r = acquire(2, seconds);
            return r.run.cpuPerSecond;
        },
        "acquisition");
    std::printf("tq747 at %.0f scans/s (measured %.0f), four model 740 sites, %d channels, 2 readers converting "
                "every channel of every scan: %.4f CPU s per s of acquisition (median of %d; limit %.2f: %.0f%% of "
                "it); %lld values converted in the last run\n",
                kRate, r.run.scansPerSecond, r.channels, benchfloor::median(t.cpu), kRepetitions, kLimit,
                100.0 * benchfloor::median(t.cpu) / kLimit, static_cast<long long>(r.run.converted));
    std::printf("a thread that only wakes once per 1 ms period: %.4f CPU s per s (median); acquisition / bare thread: "
                "%.2f (median of %d pairs; goal 1.2)\n",
                benchfloor::median(t.bare), benchfloor::median(t.ratios), kRepetitions);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
