// Stream collection costs the formula engine pays: resolving a channel
// reference (at every parse) and one step per computed scan (peek, then
// consume one aligned scan on every member). The step's budget is 100 ns;
// the "budget_ratio" counter gives the measured time over that budget.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/tests/memstream.h"
#include "tqstream.h"

namespace {

constexpr double kStepBudgetNs = 100.0;

struct Three {
    TQStreamCollection *c = NewStreamCollection(nullptr);
    memstream::Owner owners[3];

    Three()
    {
        const double rates[3] = {1000.0, 300.0, 300.0};
        for (int i = 0; i < 3; ++i) {
            std::vector<std::string> channels;
            for (int k = 0; k < 8; ++k)
                channels.push_back("ch" + std::to_string(k));
            memstream::make(owners[i], ("dev" + std::to_string(i + 1)).c_str(), rates[i], channels, 1 << 16);
            c->StreamCollectionRegisterStream(c, owners[i].stream);
            // Far more written than any run consumes: the readers never run dry.
            owners[i].written = int64_t{1} << 40;
        }
    }
    ~Three()
    {
        c->StreamCollectionDelRef(&c);
        for (auto &o : owners)
            o.stream->streamRelease(&o.stream);
    }
};

void BM_FindChannel(benchmark::State &state)
{
    Three t;
    TQStreamChannel *channel = nullptr;
    for (auto _ : state) {
        int32_t index = t.c->StreamCollectionFindChannel(t.c, "<dev3-ch7>", &channel);
        benchmark::DoNotOptimize(index);
        benchmark::DoNotOptimize(channel);
    }
    if (!channel)
        state.SkipWithError("channel not found");
}

void BM_CollectionStep(benchmark::State &state)
{
    Three t;
    TQStreamCollection *c = t.c;
    void **table = nullptr;
    int64_t count = 0, position = 0;
    for (auto _ : state) {
        c->StreamCollectionPeek(c, &table, &count, &position);
        benchmark::DoNotOptimize(table);
        int64_t moved = c->StreamCollectionSeek(c, 1, TQ_WHENCE_CURRENT);
        benchmark::DoNotOptimize(moved);
    }
    if (count <= 0)
        state.SkipWithError("no data");
    state.counters["step_budget_ns"] = kStepBudgetNs;
    state.counters["budget_ratio"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kStepBudgetNs * 1e-9,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_FindChannel);
BENCHMARK(BM_CollectionStep);
BENCHMARK_MAIN();
