// The formula output stream drained by a reader: scans per second over two
// source streams of 10^6 scans, against the same formulas as a C loop. The
// summary gives the median times of the repetitions and their ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "formula/formulaengine.h"
#include "core/tests/memstream.h"

namespace {

constexpr int64_t kScans = 1000000;
constexpr int64_t kChunk = 2560;

double countEval(TQStreamChannel *channel, const void *scan)
{
    int64_t k;
    std::memcpy(&k, scan, sizeof k);
    return static_cast<double>(k % 1000) * 1e-5 * static_cast<double>(channel->ownerWord);
}

struct Sources {
    memstream::Owner a, b;
    Sources()
    {
        memstream::make(a, "a", 1000.0, {"v", "w"}, kScans);
        memstream::make(b, "b", 1000.0, {"ref"}, kScans);
        a.channels[0].ownerWord = 1;
        a.channels[1].ownerWord = 2;
        b.channels[0].ownerWord = 3;
        for (auto *c : {&a.channels[0], &a.channels[1], &b.channels[0]})
            c->streamChannelEval = countEval;
        a.write(kScans);
        b.write(kScans);
    }
    ~Sources()
    {
        destroyStream(a.stream);
        destroyStream(b.stream);
    }
};

const char *const kFormulas[][2] = {
    {"plain", "<a-v> 'v'"},
    {"arith", "<a-v> * 2 + <a-w> / 3 'v'"},
    {"t1", "thermo(<a-v>, <b-ref>, typek) 'C'"},
    {"t2", "thermo(<a-w>, <b-ref>, typek) 'C'"},
    {"avg", "average(<a-w>, 100) 'v'"},
};

void BM_FormulaStream(benchmark::State &state)
{
    Sources s;
    TQFormulaEngine *e = NewFormulaEngine(nullptr);
    e->formulaEngineRegisterStream(e, s.a.stream);
    e->formulaEngineRegisterStream(e, s.b.stream);
    for (const auto &f : kFormulas)
        e->formulaEngineAddFormula(e, f[0], "=", f[1]);
    char message[TQ_FORMULA_MESSAGE_SIZE];
    if (e->parseFormulas(e, message) < 0) {
        state.SkipWithError(message);
        return;
    }
    TQStream *out = e->outputStream;
    double checksum = 0;
    for (auto _ : state) {
        TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
        int64_t total = 0;
        while (total < kScans) {
            TQPiece *pieces = nullptr;
            uint32_t count = 0;
            const int64_t got = reader->readerReserveRead(reader, &pieces, &count, kChunk);
            if (got <= 0)
                break;
            checksum += static_cast<const double *>(pieces[0].data)[0];
            reader->readerCompleteRead(reader, got);
            total += got;
        }
        reader->readerRelease(&reader);
        if (total != kScans)
            state.SkipWithError("short read");
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["scans_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kScans,
                                                       benchmark::Counter::kIsRate);
    e->formulaEngineRelease(&e);
}

void BM_CLoop(benchmark::State &state)
{
    Sources s;
    std::vector<double> out(kChunk * 5);
    std::vector<double> window(100, 0.0);
    double checksum = 0;
    for (auto _ : state) {
        int64_t position = 0, count = 0;
        double sum = 0;
        std::fill(window.begin(), window.end(), 0.0);
        for (int64_t k = 0; k < kScans; k += kChunk) {
            for (int64_t j = 0; j < kChunk && k + j < kScans; ++j) {
                const int64_t i = k + j;
                const double v = (i % 1000) * 1e-5, w = 2 * v, ref = 3 * v;
                const double mv = thermoc2mv(ref, 4);
                double *row = &out[static_cast<size_t>(j) * 5];
                row[0] = v;
                row[1] = v * 2 + w / 3;
                row[2] = thermomv2c(1000 * v + mv, 4);
                row[3] = thermomv2c(1000 * w + mv, 4);
                if (count < 100)
                    ++count;
                sum += w - window[static_cast<size_t>(position)];
                window[static_cast<size_t>(position)] = w;
                position = (position + 1) % 100;
                row[4] = sum / static_cast<double>(count);
            }
            checksum += out[0];
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["scans_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kScans,
                                                       benchmark::Counter::kIsRate);
}

BENCHMARK(BM_FormulaStream)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_CLoop)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// Keeps the median time of every benchmark for the summary.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto stream = reporter.medians.find("BM_FormulaStream");
    auto loop = reporter.medians.find("BM_CLoop");
    if (stream != reporter.medians.end() && loop != reporter.medians.end() && loop->second > 0)
        std::printf("five formulas (plain, arithmetic, two thermocouples, moving average), 10^6 scans (medians): "
                    "output stream %.1f ms, C loop %.1f ms, ratio %.2f\n",
                    stream->second, loop->second, stream->second / loop->second);
    benchmark::Shutdown();
    return 0;
}
