// Rendering a graph object to PNG: 800x600, 8 channels, a window of 10^6
// scans, in the mean (3) and envelope (4) modes. The rendering runs under the
// stream lock that the interrupt handler waits on, so its budget is well
// under 100 ms; the "budget_ratio" counter gives the time over 100 ms.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "display/displayimpl.h"
#include "core/tests/memstream.h"
#include "tqstream.h"

namespace
{

constexpr int64_t kScans = 1000000;
constexpr double kBudgetMs = 100.0;

// A sawtooth per channel: as cheap as a driver's scaling of a raw sample,
// so that the figure is the rendering's and not a sine's.
double wave(TQStreamChannel *ch, const void *scan)
{
    int64_t k = *static_cast<const int64_t *>(scan);
    return static_cast<double>((k * (ch->ownerWord + 1)) % 2000) / 100.0 - 10.0;
}

void render(benchmark::State &state)
{
    memstream::Owner o;
    std::vector<std::string> names;
    for (int i = 0; i < 8; ++i)
        names.push_back("ch" + std::to_string(i));
    memstream::make(o, "bench", 10000.0, names, 1 << 20);
    for (size_t i = 0; i < o.channels.size(); ++i) {
        snprintf(o.channels[i].eu, sizeof o.channels[i].eu, "%s", "V");
        o.channels[i].ownerWord = static_cast<intptr_t>(i);
        o.channels[i].streamChannelEval = wave;
    }
    o.write(kScans);
    TQGraphObject *go = o.stream->defaultGraphObject;
    tq::stream::syncGraphObject(go);
    go->starttime = 0;
    go->duration = static_cast<double>(kScans) / 10000.0;
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        void *image = nullptr;
        uint32_t size = 0;
        go->graphObjectGetGraph(go, 800, 600, mode, &image, &size);
        benchmark::DoNotOptimize(image);
        go->graphObjectFreeGraph(nullptr, image);
    }
    // Seconds per image over the budget's seconds.
    state.counters["budget_ratio"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBudgetMs / 1000.0,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    destroyStream(o.stream);
}
BENCHMARK(render)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
