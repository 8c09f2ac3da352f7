// Formulas through the formula output stream against muParser's bulk mode and
// a hand-written C loop, over the same 10^6 scans of two channels.
//
// The channels live in two streams as doubles, one per scan, as a driver's
// stream hands them to the engine; muParser and the C loop read the same
// values from plain arrays. A reader drains the output stream as the
// front panel or capture would. The summary gives, per formula, the median
// time of the repetitions against the medians of muParser and of the C loop.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <muParser.h>

#include "formula/formulaengine.h"
#include "core/tests/memstream.h"

namespace {

constexpr int64_t kScans = 1000000;
constexpr int64_t kChunk = 2560;

struct Formula {
    const char *name;
    const char *ours;
    const char *muparser;
};
// Ten operands: a, 3, b, 2, a, a, 1, a, b, 0.5.
const Formula kTen{"ten", "(<sa-v> * 3 + <sb-v>) / 2 - sqrt(<sa-v> * <sa-v> + 1) + <sa-v> * <sb-v> * 0.5 'v'",
                   "(a * 3 + b) / 2 - sqrt(a * a + 1) + a * b * 0.5"};
const Formula kSimple{"simple", "2 * <sa-v> + sin(<sb-v>) 'v'", "2 * a + sin(b)"};

double tenC(double a, double b) { return (a * 3 + b) / 2 - std::sqrt(a * a + 1) + a * b * 0.5; }
double simpleC(double a, double b) { return 2 * a + std::sin(b); }

double readDouble(TQStreamChannel *, const void *scan)
{
    double value;
    std::memcpy(&value, scan, sizeof value);
    return value;
}

// The same values as arrays and as two streams of one channel each.
struct Data {
    std::vector<double> a, b, out;
    memstream::Owner sa, sb;
    Data() : a(kScans), b(kScans), out(kScans)
    {
        for (int64_t i = 0; i < kScans; ++i) {
            a[i] = std::sin(static_cast<double>(i) * 0.001);
            b[i] = static_cast<double>(i) * 1e-6;
        }
        fill(sa, "sa", a);
        fill(sb, "sb", b);
    }
    static void fill(memstream::Owner &o, const char *name, const std::vector<double> &values)
    {
        memstream::make(o, name, 1000.0, {"v"}, int64_t{1} << 20);
        o.channels[0].streamChannelEval = readDouble;
        o.write(kScans);
        for (int64_t i = 0; i < kScans; ++i)
            std::memcpy(&o.ring[static_cast<size_t>(i)], &values[static_cast<size_t>(i)], sizeof(double));
    }
};
Data &data()
{
    static Data d;
    return d;
}

void runStream(benchmark::State &state, const Formula &formula)
{
    Data &d = data();
    TQFormulaEngine *e = NewFormulaEngine(nullptr);
    e->formulaEngineRegisterStream(e, d.sa.stream);
    e->formulaEngineRegisterStream(e, d.sb.stream);
    e->formulaEngineAddFormula(e, "r", "=", formula.ours);
    char message[TQ_FORMULA_MESSAGE_SIZE];
    if (e->parseFormulas(e, message) < 0) {
        state.SkipWithError(message);
        e->formulaEngineRelease(&e);
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
    e->formulaEngineRelease(&e);
}

void runMuParser(benchmark::State &state, const Formula &formula)
{
    Data &d = data();
    mu::Parser parser;
    parser.DefineVar("a", d.a.data());
    parser.DefineVar("b", d.b.data());
    parser.SetExpr(formula.muparser);
    for (auto _ : state) {
        parser.Eval(d.out.data(), static_cast<int>(kScans));
        benchmark::DoNotOptimize(d.out.data());
    }
}

template <double (*F)(double, double)> void runCLoop(benchmark::State &state)
{
    Data &d = data();
    for (auto _ : state) {
        for (int64_t j = 0; j < kScans; ++j)
            d.out[j] = F(d.a[j], d.b[j]);
        benchmark::DoNotOptimize(d.out.data());
    }
}

void Stream_ten(benchmark::State &state) { runStream(state, kTen); }
void MuParser_ten(benchmark::State &state) { runMuParser(state, kTen); }
void CLoop_ten(benchmark::State &state) { runCLoop<tenC>(state); }
void Stream_simple(benchmark::State &state) { runStream(state, kSimple); }
void MuParser_simple(benchmark::State &state) { runMuParser(state, kSimple); }
void CLoop_simple(benchmark::State &state) { runCLoop<simpleC>(state); }

constexpr int kRepetitions = 7;
BENCHMARK(Stream_ten)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
BENCHMARK(MuParser_ten)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
BENCHMARK(CLoop_ten)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
BENCHMARK(Stream_simple)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
BENCHMARK(MuParser_simple)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
BENCHMARK(CLoop_simple)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

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
    for (const Formula *f : {&kTen, &kSimple}) {
        const std::string name = f->name;
        auto stream = reporter.medians.find("Stream_" + name);
        auto mu = reporter.medians.find("MuParser_" + name);
        auto loop = reporter.medians.find("CLoop_" + name);
        if (stream == reporter.medians.end() || mu == reporter.medians.end() || loop == reporter.medians.end() ||
            mu->second <= 0 || loop->second <= 0)
            continue;
        const double perScan = 1e6 / static_cast<double>(kScans); // ms per run to ns per scan
        std::printf("%s formula, 10^6 scans (medians): output stream %.2f ns, muParser bulk %.2f ns, C loop %.2f ns "
                    "per scan; ratio to muParser %.2f (goal below 1.00), to the C loop %.2f (goal at most 3.00)\n",
                    f->name, stream->second * perScan, mu->second * perScan, loop->second * perScan,
                    stream->second / mu->second, stream->second / loop->second);
    }
    benchmark::Shutdown();
    return 0;
}
