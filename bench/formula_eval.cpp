// Formula evaluation per scan: our expression trees against muParser's bulk
// mode and a hand-written C loop, over the same 10^6 scans of two channels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <muParser.h>

#include "exprnode.h"
#include "formulaparse.h"

using namespace tq::formula;

namespace {

constexpr int64_t kScans = 1000000;

const char *const kSimple = "2*<s-a> + sin(<s-b>)";
const char *const kTen = "(<s-a> * 3 + <s-b>) / 2 - sqrt(<s-a> * <s-a> + 1)";
const char *const kSimpleMu = "2*a + sin(b)";
const char *const kTenMu = "(a * 3 + b) / 2 - sqrt(a * a + 1)";

// Scans of one member: channels a and b as interleaved doubles, the layout a
// driver's stream hands the engine.
struct Data {
    std::vector<double> scans;
    std::vector<double> a, b; // the same values column by column for muParser
    std::vector<double> out;
    Data() : scans(2 * kScans), a(kScans), b(kScans), out(kScans)
    {
        for (int64_t i = 0; i < kScans; ++i) {
            a[i] = scans[2 * i] = std::sin(i * 0.001);
            b[i] = scans[2 * i + 1] = i * 1e-6;
        }
    }
};
Data &data()
{
    static Data d;
    return d;
}

struct Channel {
    TQStreamChannel head;
    int offset;
};
double evalChannel(TQStreamChannel *channel, const void *scan)
{
    double value;
    std::memcpy(&value, static_cast<const char *>(scan) + reinterpret_cast<Channel *>(channel)->offset,
                sizeof value);
    return value;
}

Channel channelA{{}, 0}, channelB{{}, 8};
EvalContext context{1000.0, nullptr};

// One shared node per channel, as the resolution makes them.
ExprNode *bind(ExprNode *n, ExprNode *&refA, ExprNode *&refB)
{
    for (int i = 0; i < n->operandCount; ++i) {
        ExprNode *op = n->operand[i];
        if (op->kind == kChannelRef) {
            ExprNode *&shared = std::strcmp(op->name, "<s-a>") == 0 ? refA : refB;
            if (!shared) {
                shared = op;
                exprBindChannel(op, 0, shared == refA ? &channelA.head : &channelB.head, 1.0, 16);
            } else {
                exprAddRef(shared);
                exprRelease(&n->operand[i]);
                n->operand[i] = shared;
            }
        } else {
            bind(op, refA, refB);
        }
    }
    n->engine = &context;
    return n;
}

ExprNode *build(const char *expression)
{
    channelA.head.streamChannelEval = evalChannel;
    channelB.head.streamChannelEval = evalChannel;
    const std::string text = std::string("r=") + expression + " 'v' x";
    ExprNode *root = nullptr;
    if (parseStatement(text.data(), text.size(), &root, nullptr, 0) != 0)
        return nullptr;
    ExprNode *refA = nullptr, *refB = nullptr;
    return bind(root, refA, refB);
}

void runTree(benchmark::State &state, const char *expression)
{
    Data &d = data();
    ExprNode *root = build(expression);
    ExprNode *e = root->operand[1];
    void *scans[1] = {d.scans.data()};
    int64_t index = 0;
    for (auto _ : state) {
        for (int64_t j = 0; j < kScans; ++j)
            d.out[j] = exprEval(e, scans, j, index++);
        benchmark::DoNotOptimize(d.out.data());
    }
    state.counters["ns_per_scan"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kScans, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    exprRelease(&root);
}

void runMuParser(benchmark::State &state, const char *expression)
{
    Data &d = data();
    mu::Parser parser;
    parser.DefineVar("a", d.a.data());
    parser.DefineVar("b", d.b.data());
    parser.SetExpr(expression);
    for (auto _ : state) {
        parser.Eval(d.out.data(), static_cast<int>(kScans));
        benchmark::DoNotOptimize(d.out.data());
    }
    state.counters["ns_per_scan"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kScans, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TreeSimple(benchmark::State &state) { runTree(state, kSimple); }
void BM_MuParserSimple(benchmark::State &state) { runMuParser(state, kSimpleMu); }
void BM_CLoopSimple(benchmark::State &state)
{
    Data &d = data();
    const double *s = d.scans.data();
    for (auto _ : state) {
        for (int64_t j = 0; j < kScans; ++j)
            d.out[j] = 2 * s[2 * j] + std::sin(s[2 * j + 1]);
        benchmark::DoNotOptimize(d.out.data());
    }
    state.counters["ns_per_scan"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kScans, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TreeTen(benchmark::State &state) { runTree(state, kTen); }
void BM_MuParserTen(benchmark::State &state) { runMuParser(state, kTenMu); }
void BM_CLoopTen(benchmark::State &state)
{
    Data &d = data();
    const double *s = d.scans.data();
    for (auto _ : state) {
        for (int64_t j = 0; j < kScans; ++j) {
            const double a = s[2 * j], b = s[2 * j + 1];
            d.out[j] = (a * 3 + b) / 2 - std::sqrt(a * a + 1);
        }
        benchmark::DoNotOptimize(d.out.data());
    }
    state.counters["ns_per_scan"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kScans, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_TreeSimple)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MuParserSimple)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CLoopSimple)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeTen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MuParserTen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CLoopTen)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
