// The model 775 at 1000 scans/s (a window of 1 ms) with all eight channels
// enabled and two readers converting every channel of every scan.
// Reported: CPU seconds of the whole process (acquisition thread, its
// counter reads through the simulated library, the readers) per second of
// acquisition, against the limit of 0.02, and as a ratio of a bare thread
// that only wakes once per window, measured in turns with it (median of
// several pairs).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tq/platform/thread.h"
#include "tq775.h"

#include "acquisition_run.h"
#include "periodic_floor.h"
#include "simvisa_bench.h"

namespace
{

constexpr const char *kCounter = "PXI2::11::INSTR";
constexpr const char *kSettings = "board=tq775; manf=0x3c5a; model=0x775; freq1=1000; freq2=2000; freq3=3000; "
                                  "freq4=4000; freq5=5000; freq6=6000; freq7=7000; freq8=8000";
constexpr double kLimit = 0.02;

benchfloor::Acquisition acquire(int readers, double seconds)
{
    ViSession vi = benchsim::openBoard(kCounter, kSettings, tq775_init);
    if (tq775_setObservationWindowSize(vi, 1) < 0 || tq775_setChannelEnable(vi, 0, 1) < 0)
        std::abort();
    TQStream *stream = nullptr;
    tq775_getStream(vi, "bench", &stream);
    std::vector<TQStreamChannel *> channels;
    for (int i = 0; i < stream->streamGetNumberChannels(stream); ++i)
        channels.push_back(stream->streamGetChannelByIndex(stream, i));
    const benchfloor::Acquisition run = benchfloor::runAcquisition(
        stream, readers, seconds, benchfloor::EvalEachScan{channels, stream->streamGetScanSize(stream)},
        [] { tq::platform::sleepMs(128); }, // half a segment of 256 scans
        [&] { tq775_start(vi); }, [&] { tq775_stop(vi); });
    tq775_close(vi);
    return run;
}

// One window's counter read alone: the block of sixteen words.
void BM_ReadCounters(benchmark::State &state)
{
    ViSession vi = benchsim::openBoard(kCounter, kSettings, tq775_init);
    ViInt32 counts[8], ticks[8];
    for (auto _ : state)
        tq775_readCounters(vi, counts, ticks);
    benchmark::DoNotOptimize(counts);
    tq775_close(vi);
}
BENCHMARK(BM_ReadCounters)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    benchsim::bindDriver("tq775", tq775_init, tq775_close);

    constexpr int kRepetitions = 5;
    const double seconds = 2.0;
    benchfloor::Acquisition r{};
    const benchfloor::Turns t = benchfloor::inTurnsWithBareThread(
        kRepetitions, 1000.0, seconds,
        [&] {
            r = acquire(2, seconds);
            return r.cpuPerSecond;
        },
        "acquisition");
    std::printf("tq775 with a 1 ms window (measured %.0f scans/s), 8 channels, 2 readers converting every channel "
                "of every scan: %.4f CPU s per s of acquisition (median of %d; limit %.2f: %.0f%% of it); %lld values "
                "converted in the last run\n",
                r.scansPerSecond, benchfloor::median(t.cpu), kRepetitions, kLimit,
                100.0 * benchfloor::median(t.cpu) / kLimit, static_cast<long long>(r.converted));
    std::printf("a thread that only wakes once per 1 ms window: %.4f CPU s per s (median); acquisition / bare thread: "
                "%.2f (median of %d pairs; goal 1.1-1.6)\n",
                benchfloor::median(t.bare), benchfloor::median(t.ratios), kRepetitions);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
