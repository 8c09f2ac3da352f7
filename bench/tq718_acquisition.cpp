// The model 718 at its top rate on the simulated board: 250,000 scans/s of
// four channels and the event word, 100 DMA segments per second, read by one
// and by four readers that convert every sample of the four channels. A
// reader waits for the stream's new-data event (one per segment) when it has
// read everything, and converts each block it reads either scan by scan
// through the channel's value function (streamChannelEval, an indirect call
// per sample: the reference) or a run at a time (StreamChannelEvalRun).
// Reported: CPU seconds of the whole process (driver, interrupt handler,
// readers and the simulated board's DMA engine) per second of acquisition,
// the median of several runs, against the limit of 0.1 and, with four
// readers converting runs, the goal of 0.03; the ratio of the two ways; and
// the cost of one sample converted each way over one segment. Also the cost
// of one interrupt of the ring (raised, delivered on VISA's callback thread,
// accounted and its event posted); bench_visa measures the library's own
// delivery of an interrupt to a handler that does nothing, for comparison.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tq/platform/dynlib.h"
#include "tq/platform/thread.h"
#include "tq/simvisa.h"
#include "tq718.h"

namespace
{

constexpr const char *kBoard = "PXI1::14::INSTR";
constexpr double kRate = 250000.0;

struct Control {
    decltype(&simvisa_addInstrument) addInstrument = nullptr;
    decltype(&simvisa_writeRegister) writeRegister = nullptr;
    decltype(&simvisa_raiseInterrupt) raiseInterrupt = nullptr;
    decltype(&simvisa_flushEvents) flushEvents = nullptr;
    decltype(&simvisa_pulseLine) pulseLine = nullptr;
    decltype(&simvisa_reset) reset = nullptr;
};

Control &control()
{
    static Control c = [] {
        Control k;
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary(TQ_SIM_VISA_LIBRARY);
        if (!lib)
            std::abort();
        auto find = [&](const char *name) {
            void *p = tq::platform::findSymbol(lib, name);
            if (!p)
                std::abort();
            return p;
        };
        k.addInstrument = reinterpret_cast<decltype(k.addInstrument)>(find("simvisa_addInstrument"));
        k.writeRegister = reinterpret_cast<decltype(k.writeRegister)>(find("simvisa_writeRegister"));
        k.raiseInterrupt = reinterpret_cast<decltype(k.raiseInterrupt)>(find("simvisa_raiseInterrupt"));
        k.flushEvents = reinterpret_cast<decltype(k.flushEvents)>(find("simvisa_flushEvents"));
        k.pulseLine = reinterpret_cast<decltype(k.pulseLine)>(find("simvisa_pulseLine"));
        k.reset = reinterpret_cast<decltype(k.reset)>(find("simvisa_reset"));
        return k;
    }();
    return c;
}

// The driver finds the simulated library where it looks for VISA.
void layOut()
{
    char dir[] = "/tmp/bench_tq718_XXXXXX";
    if (!mkdtemp(dir))
        std::abort();
    const std::string system32 = std::string(dir) + "/system32";
    mkdir(system32.c_str(), 0755);
    if (symlink(TQ_SIM_VISA_LIBRARY, (system32 + "/libvisa32.so").c_str()) != 0)
        std::abort();
    setenv("systemroot", dir, 1);
}

ViSession openBoard()
{
    control().reset();
    if (control().addInstrument(kBoard, "board=tq718; manf=0x3c5a; model=0x718; ch1.signal=counter; "
                                        "ch2.signal=counter; ch3.signal=counter; ch4.signal=counter") != 0)
        std::abort();
    ViSession vi = VI_NULL;
    if (tq718_init(const_cast<ViRsrc>(kBoard), 0, 0, &vi) < 0 || tq718_setScanClockRate(vi, kRate) < 0 ||
        tq718_setRefreshRate(vi, 100) < 0 || tq718_setBufferDuration(vi, 2) < 0 ||
        tq718_setAnalogChannelEnable(vi, 0, 1) < 0 || tq718_setEventChannelEnable(vi, 1, 1) < 0)
        std::abort();
    return vi;
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
};

enum class Convert { EachScan, Runs };

// Values a reader converts in one call: a block longer than this goes in
// several calls (a segment of the benchmark's ring holds 2500 scans).
constexpr int64_t kChunk = 4096;

// Converts every sample of the four channels over one block of scans and
// adds the values to sum.
void convertBlock(Convert how, TQStreamChannel *const (&channels)[4], const uint8_t *data, int64_t scans,
                  uint16_t scanSize, double *values, double &sum)
{
    if (how == Convert::EachScan) {
        for (int64_t i = 0; i < scans; ++i) {
            const void *scan = data + static_cast<size_t>(i) * scanSize;
            for (TQStreamChannel *ch : channels)
                sum += ch->streamChannelEval(ch, scan);
        }
        return;
    }
    for (int64_t first = 0; first < scans; first += kChunk) {
        const int64_t n = std::min(kChunk, scans - first);
        for (TQStreamChannel *ch : channels) {
            StreamChannelEvalRun(ch, data + static_cast<size_t>(first) * scanSize, scanSize, n, values);
            for (int64_t i = 0; i < n; ++i)
                sum += values[i];
        }
    }
}

// One acquisition of `seconds` with `readers` reader threads.
RunResult acquire(int readers, Convert how, double seconds)
{
    ViSession vi = openBoard();
    TQStream *stream = nullptr;
    tq718_getStream(vi, "bench", &stream);
    std::atomic<bool> done{false};
    std::atomic<int64_t> converted{0};
    std::vector<std::thread> threads;
    std::vector<TQReader *> rs;
    for (int i = 0; i < readers; ++i)
        rs.push_back(stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST));
    TQStreamChannel *channels[4];
    for (int c = 0; c < 4; ++c)
        channels[c] = stream->streamGetChannelByIndex(stream, c);
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    for (int i = 0; i < readers; ++i)
        threads.emplace_back([&, r = rs[i]] {
            std::vector<double> values(static_cast<size_t>(kChunk));
            double sum = 0.0;
            int64_t n = 0;
            while (!done.load(std::memory_order_relaxed)) {
                TQPiece *pieces = nullptr;
                uint32_t count = 0;
                const int64_t got = r->readerReserveRead(r, &pieces, &count, INT64_MAX);
                for (uint32_t p = 0; p < count; ++p) {
                    const int64_t scans = pieces[p].length / scanSize;
                    convertBlock(how, channels, static_cast<const uint8_t *>(pieces[p].data), scans, scanSize,
                                 values.data(), sum);
                    n += 4 * scans;
                }
                r->readerCompleteRead(r, got);
                if (got == 0) {
                    // Everything read: sleep until the next segment's data
                    // event (or a while, should the acquisition end).
                    uint32_t event = 0;
                    char message[TQ_STREAM_MESSAGE_SIZE];
                    stream->streamWait(stream, 1, 50, &event, message);
                }
            }
            benchmark::DoNotOptimize(sum);
            converted += n;
        });
    const double cpu0 = cpuSeconds();
    const uint64_t t0 = tq::platform::tickMs();
    tq718_start(vi);
    tq::platform::sleepMs(static_cast<uint32_t>(seconds * 1000));
    tq718_stop(vi);
    const double wall = static_cast<double>(tq::platform::tickMs() - t0) / 1000.0;
    const int64_t written = stream->streamGetScansWritten(stream);
    done = true;
    for (std::thread &t : threads)
        t.join();
    const double cpu = cpuSeconds() - cpu0;
    for (TQReader *r : rs)
        r->readerRelease(&r);
    tq718_close(vi);
    return RunResult{cpu / wall, static_cast<double>(written) / wall, converted.load()};
}

// The median of several acquisitions.
RunResult medianAcquisition(int readers, Convert how, double seconds, int repetitions)
{
    std::vector<RunResult> runs;
    for (int i = 0; i < repetitions; ++i)
        runs.push_back(acquire(readers, how, seconds));
    std::sort(runs.begin(), runs.end(),
              [](const RunResult &a, const RunResult &b) { return a.cpuPerSecond < b.cpuPerSecond; });
    return runs[runs.size() / 2];
}

// Nanoseconds per sample of one channel converted over one segment of scans
// of pseudo-random bytes (every ADC code), each way: the median of several
// repetitions.
struct ConvertCost {
    double eachScanNs;
    double runNs;
};

ConvertCost convertCost()
{
    ViSession vi = openBoard();
    TQStream *stream = nullptr;
    tq718_getStream(vi, "bench", &stream);
    TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, 0);
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    constexpr int kScans = 2500, kPasses = 200, kRepetitions = 7;
    std::vector<uint8_t> scans(static_cast<size_t>(kScans) * scanSize);
    for (size_t i = 0; i < scans.size(); ++i)
        scans[i] = static_cast<uint8_t>(i * 37);
    std::vector<double> values(kScans);
    double sum = 0.0;
    auto median = [&](auto &&pass) {
        std::vector<double> ns;
        for (int r = 0; r < kRepetitions; ++r) {
            const auto t0 = std::chrono::steady_clock::now();
            for (int k = 0; k < kPasses; ++k)
                pass();
            const std::chrono::duration<double, std::nano> d = std::chrono::steady_clock::now() - t0;
            ns.push_back(d.count() / (static_cast<double>(kPasses) * kScans));
        }
        std::sort(ns.begin(), ns.end());
        return ns[ns.size() / 2];
    };
    ConvertCost cost{};
    cost.eachScanNs = median([&] {
        for (int i = 0; i < kScans; ++i)
            sum += ch->streamChannelEval(ch, scans.data() + static_cast<size_t>(i) * scanSize);
    });
    cost.runNs = median([&] {
        StreamChannelEvalRun(ch, scans.data(), scanSize, kScans, values.data());
        sum += values[kScans - 1];
    });
    benchmark::DoNotOptimize(sum);
    tq718_close(vi);
    return cost;
}

// One interrupt of a started ring whose board makes no scans of its own
// (an external clock that never ticks): the write counter is moved on by one
// segment, the interrupt raised, and the benchmark waits until the callback
// thread has run the driver's handler.
void BM_RingInterrupt(benchmark::State &state)
{
    ViSession vi = openBoard();
    tq718_setScanClockSource(vi, 2); // I/O 1, never pulsed
    tq718_setScanClockRate(vi, kRate);
    if (tq718_start(vi) < 0)
        std::abort();
    TQStream *stream = nullptr;
    tq718_getStream(vi, "bench", &stream);
    TQReader *r = stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST);
    Control &c = control();
    // 2500 scans of 10 bytes a segment: 6250 words.
    uint32_t words = 0;
    for (auto _ : state) {
        words += 6250;
        c.writeRegister(kBoard, VI_PXI_BAR2_SPACE, 0xF4, 4, words);
        c.raiseInterrupt(kBoard, 1u << 16);
        c.flushEvents(10000);
    }
    if (stream->streamGetScansWritten(stream) != static_cast<int64_t>(words) * 4 / 10)
        state.SkipWithError("the handler did not account for every segment");
    r->readerRelease(&r);
    tq718_close(vi);
}
BENCHMARK(BM_RingInterrupt)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The conversion a reader pays per sample: the channel's value function
// through the stream channel record, over the scans of one segment.
void BM_ConvertSample(benchmark::State &state)
{
    ViSession vi = openBoard();
    TQStream *stream = nullptr;
    tq718_getStream(vi, "bench", &stream);
    TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, 0);
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    constexpr int kScans = 2500;
    std::vector<uint8_t> scans(static_cast<size_t>(kScans) * scanSize);
    for (size_t i = 0; i < scans.size(); ++i)
        scans[i] = static_cast<uint8_t>(i * 37);
    double sum = 0.0;
    for (auto _ : state)
        for (int i = 0; i < kScans; ++i)
            sum += ch->streamChannelEval(ch, scans.data() + static_cast<size_t>(i) * scanSize);
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * kScans);
    tq718_close(vi);
}
BENCHMARK(BM_ConvertSample)->Repetitions(5)->ReportAggregatesOnly(true);

// The same scans a run at a time through the stream engine.
void BM_ConvertRun(benchmark::State &state)
{
    ViSession vi = openBoard();
    TQStream *stream = nullptr;
    tq718_getStream(vi, "bench", &stream);
    TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, 0);
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    constexpr int kScans = 2500;
    std::vector<uint8_t> scans(static_cast<size_t>(kScans) * scanSize);
    for (size_t i = 0; i < scans.size(); ++i)
        scans[i] = static_cast<uint8_t>(i * 37);
    std::vector<double> values(kScans);
    for (auto _ : state) {
        StreamChannelEvalRun(ch, scans.data(), scanSize, kScans, values.data());
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * kScans);
    tq718_close(vi);
}
BENCHMARK(BM_ConvertRun)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    layOut();
    // Binds VISA (the driver loads the library) before the control functions are used.
    ViSession vi = VI_NULL;
    tq718_init(nullptr, 0, 0, &vi);
    tq718_close(vi);
    control();

    const double seconds = 3.0;
    constexpr int kRepetitions = 3;
    for (int readers : {1, 4}) {
        const RunResult each = medianAcquisition(readers, Convert::EachScan, seconds, kRepetitions);
        const RunResult runs = medianAcquisition(readers, Convert::Runs, seconds, kRepetitions);
        for (const auto &[r, how] : {std::pair{each, "scan by scan (streamChannelEval)"},
                                     std::pair{runs, "a run at a time (StreamChannelEvalRun)"}})
            std::printf("tq718 at %.0f scans/s (measured %.0f), 4 channels + event word, RefreshRate 100, %d reader%s "
                        "converting every sample %s: %.4f CPU s per s of acquisition (median of %d; limit 0.1: "
                        "%.1f%% of it); %lld samples converted\n",
                        kRate, r.scansPerSecond, readers, readers > 1 ? "s" : "", how, r.cpuPerSecond, kRepetitions,
                        100.0 * r.cpuPerSecond / 0.1, static_cast<long long>(r.converted));
        std::printf("tq718 %d reader%s: runs / scan by scan = %.3f of the CPU%s\n", readers, readers > 1 ? "s" : "",
                    runs.cpuPerSecond / each.cpuPerSecond,
                    readers == 4 ? (runs.cpuPerSecond <= 0.03 ? "; goal 0.03 CPU s per s: met" :
                                                                "; goal 0.03 CPU s per s: NOT met")
                                 : "");
    }
    const ConvertCost cost = convertCost();
    std::printf("tq718 conversion of one channel over a segment: %.2f ns per sample scan by scan, %.2f ns a run at a "
                "time (median of 7): runs / scan by scan = %.3f\n",
                cost.eachScanNs, cost.runNs, cost.runNs / cost.eachScanNs);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
