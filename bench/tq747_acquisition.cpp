// The model 747 at 1000 scans/s, the fastest rate with a pause in every
// period (1 ms), with model 740 modules on all four sites and two readers
// converting every enabled channel of every scan. Reported: CPU seconds of
// the whole process (acquisition thread, its register reads and output
// writes through the simulated library, the readers) per second of
// acquisition, against the limit of 0.02, and as a ratio of a bare thread
// that only wakes once per period, measured in turns with it (median of
// several pairs).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tq/platform/dynlib.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"
#include "tq/simvisa.h"
#include "tq740.h"
#include "tq747.h"

#include "periodic_floor.h"

namespace
{

constexpr const char *kCarrier = "PXI1::15::INSTR";
constexpr double kRate = 1000.0;
constexpr double kLimit = 0.02;

decltype(&simvisa_addInstrument) addInstrument = nullptr;
decltype(&simvisa_reset) resetSim = nullptr;

void layOut()
{
    char dir[] = "/tmp/bench_tq747_XXXXXX";
    if (!mkdtemp(dir))
        std::abort();
    const std::string system32 = std::string(dir) + "/system32";
    mkdir(system32.c_str(), 0755);
    if (symlink(TQ_SIM_VISA_LIBRARY, (system32 + "/libvisa32.so").c_str()) != 0)
        std::abort();
    setenv("systemroot", dir, 1);
}

void control()
{
    tq::platform::LibraryHandle lib = tq::platform::loadLibrary(TQ_SIM_VISA_LIBRARY);
    if (!lib)
        std::abort();
    addInstrument = reinterpret_cast<decltype(addInstrument)>(tq::platform::findSymbol(lib, "simvisa_addInstrument"));
    resetSim = reinterpret_cast<decltype(resetSim)>(tq::platform::findSymbol(lib, "simvisa_reset"));
    if (!addInstrument || !resetSim)
        std::abort();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct RunResult {
    double cpuPerSecond;
    double scansPerSecond;
    int64_t converted;
    int channels;
};

RunResult acquire(int readers, double seconds)
{
    resetSim();
    if (addInstrument(kCarrier, "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site2=tq740; site3=tq740; "
                                "site4=tq740; pattern=counter; pattern.period=7") != 0)
        std::abort();
    ViSession vi = VI_NULL;
    if (tq747_init(const_cast<ViRsrc>(kCarrier), 0, 0, &vi) < 0 || tq747_setScanClockRate(vi, kRate) < 0)
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
    const uint16_t scanSize = stream->streamGetScanSize(stream);

    std::atomic<bool> done{false};
    std::atomic<int64_t> converted{0};
    std::vector<std::thread> threads;
    std::vector<TQReader *> rs;
    for (int i = 0; i < readers; ++i)
        rs.push_back(stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST));
    for (int i = 0; i < readers; ++i)
        threads.emplace_back([&, r = rs[i]] {
            double sum = 0.0;
            int64_t n = 0;
            while (!done.load(std::memory_order_relaxed)) {
                TQPiece *pieces = nullptr;
                uint32_t got = 0;
                const int64_t scans = r->readerReserveRead(r, &pieces, &got, INT64_MAX);
                for (uint32_t p = 0; p < got; ++p)
                    for (uint32_t b = 0; b < pieces[p].length; b += scanSize) {
                        const void *scan = static_cast<const uint8_t *>(pieces[p].data) + b;
                        for (TQStreamChannel *ch : channels)
                            sum += ch->streamChannelEval(ch, scan);
                        n += static_cast<int64_t>(channels.size());
                    }
                r->readerCompleteRead(r, scans);
                if (scans == 0)
                    tq::platform::sleepMs(250); // half a segment at the default refresh rate
            }
            benchmark::DoNotOptimize(sum);
            converted += n;
        });
    const double cpu0 = cpuSeconds();
    const uint64_t t0 = tq::platform::tickMs();
    tq747_start(vi);
    tq::platform::sleepMs(static_cast<uint32_t>(seconds * 1000));
    tq747_stop(vi);
    const double wall = static_cast<double>(tq::platform::tickMs() - t0) / 1000.0;
    const int64_t written = stream->streamGetScansWritten(stream);
    done = true;
    for (std::thread &t : threads)
        t.join();
    const double cpu = cpuSeconds() - cpu0;
    for (TQReader *r : rs)
        r->readerRelease(&r);
    tq747_close(vi);
    return RunResult{cpu / wall, static_cast<double>(written) / wall, converted.load(), count};
}

// One period of the acquisition thread's register traffic alone: the
// carrier's four input words and the four sites' data registers.
void BM_ReadOnePeriod(benchmark::State &state)
{
    resetSim();
    addInstrument(kCarrier, "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site2=tq740; site3=tq740; "
                            "site4=tq740");
    ViSession vi = VI_NULL;
    tq747_init(const_cast<ViRsrc>(kCarrier), 0, 0, &vi);
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
    layOut();
    ViSession vi = VI_NULL;
    tq747_init(nullptr, 0, 0, &vi);
    tq747_close(vi);
    control();

    // Acquisition and the bare thread in turns, so that both see the same
    // machine; the ratio of each pair, and their median.
    constexpr int kRepetitions = 5;
    const double seconds = 2.0;
    std::vector<double> cpu, bareCpu, ratios;
    RunResult r{};
    for (int i = 0; i < kRepetitions; ++i) {
        r = acquire(2, seconds);
        const double bare = benchfloor::bareThreadCpuPerSecond(1e6 / kRate, seconds);
        cpu.push_back(r.cpuPerSecond);
        bareCpu.push_back(bare);
        ratios.push_back(r.cpuPerSecond / bare);
        std::printf("run %d: acquisition %.4f CPU s per s, bare thread %.4f, ratio %.2f\n", i + 1, r.cpuPerSecond, bare,
                    r.cpuPerSecond / bare);
    }
    std::printf("tq747 at %.0f scans/s (measured %.0f), four model 740 sites, %d channels, 2 readers converting "
                "every channel of every scan: %.4f CPU s per s of acquisition (median of %d; limit %.2f: %.0f%% of "
                "it); %lld values converted in the last run\n",
                kRate, r.scansPerSecond, r.channels, benchfloor::median(cpu), kRepetitions, kLimit,
                100.0 * benchfloor::median(cpu) / kLimit, static_cast<long long>(r.converted));
    std::printf("a thread that only wakes once per 1 ms period: %.4f CPU s per s (median); acquisition / bare thread: "
                "%.2f (median of %d pairs; goal 1.2)\n",
                benchfloor::median(bareCpu), benchfloor::median(ratios), kRepetitions);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
