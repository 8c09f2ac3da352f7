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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tq718.h"

#include "acquisition_run.h"
#include "periodic_floor.h"
#include "simvisa_bench.h"

namespace
{

constexpr const char *kBoard = "PXI1::14::INSTR";
constexpr double kRate = 250000.0;

ViSession openBoard()
{
    ViSession vi = benchsim::openBoard(kBoard,
                                       "board=tq718; manf=0x3c5a; model=0x718; ch1.signal=counter; "
                                       "ch2.signal=counter; ch3.signal=counter; ch4.signal=counter",
                                       tq718_init);
    if (tq718_setScanClockRate(vi, kRate) < 0 || tq718_setRefreshRate(vi, 100) < 0 ||
        tq718_setBufferDuration(vi, 2) < 0 || tq718_setAnalogChannelEnable(vi, 0, 1) < 0 ||
        tq718_setEventChannelEnable(vi, 1, 1) < 0)
        std::abort();
    return vi;
}

enum class Convert { EachScan, Runs };

// Values a reader converts in one call: a block longer than this goes in
// several calls (a segment of the benchmark's ring holds 2500 scans).
constexpr int64_t kChunk = 4096;

// Converts every sample of the given channels a run at a time, each run
// into the reader's own buffer.
struct EvalRuns {
    std::vector<TQStreamChannel *> channels;
    uint16_t scanSize;
    std::vector<double> values = std::vector<double>(static_cast<size_t>(kChunk));

    int64_t operator()(const uint8_t *data, int64_t scans, double &sum)
    {
        for (int64_t first = 0; first < scans; first += kChunk) {
            const int64_t n = std::min(kChunk, scans - first);
            for (TQStreamChannel *ch : channels) {
                StreamChannelEvalRun(ch, data + static_cast<size_t>(first) * scanSize, scanSize, n, values.data());
                for (int64_t i = 0; i < n; ++i)
                    sum += values[i];
            }
        }
        return scans * static_cast<int64_t>(channels.size());
    }
};

// One acquisition of `seconds` with `readers` reader threads. A reader that
// has read everything sleeps until the next segment's data event (or a
// while, should the acquisition end).
benchfloor::Acquisition acquire(int readers, Convert how, double seconds)
{
    ViSession vi = openBoard();
    TQStream *stream = nullptr;
    tq718_getStream(vi, "bench", &stream);
    std::vector<TQStreamChannel *> channels;
    for (int c = 0; c < 4; ++c)
        channels.push_back(stream->streamGetChannelByIndex(stream, c));
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    const auto idle = [stream] {
        uint32_t event = 0;
        char message[TQ_STREAM_MESSAGE_SIZE];
        stream->streamWait(stream, 1, 50, &event, message);
    };
    const auto start = [vi] { tq718_start(vi); };
    const auto stop = [vi] { tq718_stop(vi); };
    const benchfloor::Acquisition run =
        how == Convert::EachScan
            ? benchfloor::runAcquisition(stream, readers, seconds, benchfloor::EvalEachScan{channels, scanSize}, idle,
                                         start, stop)
            : benchfloor::runAcquisition(stream, readers, seconds, EvalRuns{channels, scanSize}, idle, start, stop);
    tq718_close(vi);
    return run;
}

// The median of several acquisitions.
benchfloor::Acquisition medianAcquisition(int readers, Convert how, double seconds, int repetitions)
{
    std::vector<benchfloor::Acquisition> runs;
    for (int i = 0; i < repetitions; ++i)
        runs.push_back(acquire(readers, how, seconds));
    std::sort(runs.begin(), runs.end(), [](const benchfloor::Acquisition &a, const benchfloor::Acquisition &b) {
        return a.cpuPerSecond < b.cpuPerSecond;
    });
    return runs[runs.size() / 2];
}

// One segment of scans of pseudo-random bytes (every ADC code) in the
// layout of a session's stream, and the stream's first channel.
struct Segment {
    static constexpr int kScans = 2500;

    Segment()
    {
        tq718_getStream(vi, "bench", &stream);
        ch = stream->streamGetChannelByIndex(stream, 0);
        scanSize = stream->streamGetScanSize(stream);
        scans.resize(static_cast<size_t>(kScans) * scanSize);
        for (size_t i = 0; i < scans.size(); ++i)
            scans[i] = static_cast<uint8_t>(i * 37);
    }
    ~Segment() { tq718_close(vi); }
    Segment(const Segment &) = delete;
    Segment &operator=(const Segment &) = delete;

    const uint8_t *scan(int i) const { return scans.data() + static_cast<size_t>(i) * scanSize; }

    ViSession vi = openBoard();
    TQStream *stream = nullptr;
    TQStreamChannel *ch = nullptr;
    uint16_t scanSize = 0;
    std::vector<uint8_t> scans;
};

// Nanoseconds per sample of one channel converted over one segment, each
// way: the median of several repetitions.
struct ConvertCost {
    double eachScanNs;
    double runNs;
};

ConvertCost convertCost()
{
    const Segment seg;
    constexpr int kScans = Segment::kScans, kPasses = 200, kRepetitions = 7;
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
            sum += seg.ch->streamChannelEval(seg.ch, seg.scan(i));
    });
    cost.runNs = median([&] {
        StreamChannelEvalRun(seg.ch, seg.scans.data(), seg.scanSize, kScans, values.data());
        sum += values[kScans - 1];
    });
    benchmark::DoNotOptimize(sum);
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
    benchsim::Control &c = benchsim::control();
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
    const Segment seg;
    double sum = 0.0;
    for (auto _ : state)
        for (int i = 0; i < Segment::kScans; ++i)
            sum += seg.ch->streamChannelEval(seg.ch, seg.scan(i));
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * Segment::kScans);
}
BENCHMARK(BM_ConvertSample)->Repetitions(5)->ReportAggregatesOnly(true);

// The same scans a run at a time through the stream engine.
void BM_ConvertRun(benchmark::State &state)
{
    const Segment seg;
    std::vector<double> values(Segment::kScans);
    for (auto _ : state) {
        StreamChannelEvalRun(seg.ch, seg.scans.data(), seg.scanSize, Segment::kScans, values.data());
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * Segment::kScans);
}
BENCHMARK(BM_ConvertRun)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    benchsim::bindDriver("tq718", tq718_init, tq718_close);

    const double seconds = 3.0;
    constexpr int kRepetitions = 3;
    for (int readers : {1, 4}) {
        const benchfloor::Acquisition each = medianAcquisition(readers, Convert::EachScan, seconds, kRepetitions);
        const benchfloor::Acquisition runs = medianAcquisition(readers, Convert::Runs, seconds, kRepetitions);
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
