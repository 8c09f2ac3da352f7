// A command of the front panel read the way the instruments read it, against
// the copy of its bytes that any reading needs.
#include <benchmark/benchmark.h>

#include <cstring>

#include "tq/frontpanel/uievent.h"

namespace
{

const char *const kMessages[] = {
    "navigator;operation;start;PXI1__11__INSTR",
    "assign;instrument;completion;PXI1__11__INSTR;PXI1::11::INSTR",
    "window;close",
};

void BM_ParseUiEvent(benchmark::State &state)
{
    const char *message = kMessages[state.range(0)];
    const auto who = tq::frontpanel::Vocabulary::Professional;
    for (auto _ : state) {
        tq::frontpanel::UiMessage m;
        benchmark::DoNotOptimize(tq::frontpanel::parseUiEvent(message, who, m));
        benchmark::DoNotOptimize(m.classes[0]);
    }
}
BENCHMARK(BM_ParseUiEvent)->DenseRange(0, 2);

// Baseline: the bounded length and the copy into the working buffer.
void BM_CopyMessage(benchmark::State &state)
{
    const char *message = kMessages[state.range(0)];
    for (auto _ : state) {
        char buffer[tq::frontpanel::kUiMessageMax + 1];
        const size_t n = strnlen(message, tq::frontpanel::kUiMessageMax);
        memcpy(buffer, message, n);
        buffer[n] = '\0';
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyMessage)->DenseRange(0, 2);

} // namespace

BENCHMARK_MAIN();
