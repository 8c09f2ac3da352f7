// Cost of one simulated register access (viIn32, viOut32) through the VISA
// binding, and of one interrupt delivered to a handler on the callback
// thread. Drivers poll registers in loops. The first benchmark is the floor
// for comparison: a locked 32-bit load from memory, what any register access
// costs at least; the summary gives each access as a multiple of it (medians
// of the repetitions, goal at most 3).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tq/driver/visa_binding.h"
#include "tq/simvisa.h"

namespace {

struct Sim {
    tq::visa::FunctionTable visa{};
    decltype(&simvisa_addInstrument) addInstrument = nullptr;
    decltype(&simvisa_raiseInterrupt) raiseInterrupt = nullptr;
    ViSession rm = VI_NULL, vi = VI_NULL;

    Sim()
    {
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary(TQ_SIM_VISA_LIBRARY);
        if (!lib)
            std::abort();
        tq::visa::bindVisaFunctions(lib, visa);
        addInstrument = reinterpret_cast<decltype(addInstrument)>(tq::platform::findSymbol(lib, "simvisa_addInstrument"));
        raiseInterrupt =
            reinterpret_cast<decltype(raiseInterrupt)>(tq::platform::findSymbol(lib, "simvisa_raiseInterrupt"));
        if (!addInstrument || !raiseInterrupt || addInstrument("PXI1::14::INSTR", "manf=0x3c5a; model=0x718") != 0 ||
            visa.viOpenDefaultRM(&rm) != 0 || visa.viOpen(rm, "PXI1::14::INSTR", 0, 0, &vi) != 0)
            std::abort();
    }
};

Sim &sim()
{
    static Sim s;
    return s;
}

void BM_LockedMemoryLoad(benchmark::State &state)
{
    static std::mutex m;
    static uint32_t reg[16];
    uint32_t v = 0;
    for (auto _ : state) {
        std::lock_guard<std::mutex> g(m);
        v += reg[v & 15];
        benchmark::DoNotOptimize(v);
    }
}
constexpr int kRepetitions = 7;

BENCHMARK(BM_LockedMemoryLoad)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

void BM_viIn32(benchmark::State &state)
{
    Sim &s = sim();
    ViUInt32 v = 0;
    for (auto _ : state) {
        s.visa.viIn32(s.vi, VI_PXI_BAR2_SPACE, 0xD4, &v);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_viIn32)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

void BM_viOut32(benchmark::State &state)
{
    Sim &s = sim();
    ViUInt32 v = 0;
    for (auto _ : state)
        s.visa.viOut32(s.vi, VI_PXI_BAR2_SPACE, 0xD4, ++v);
}
BENCHMARK(BM_viOut32)->Repetitions(kRepetitions)->DisplayAggregatesOnly(true);

std::atomic<uint64_t> g_handled{0};

ViStatus countingHandler(ViSession, ViEventType, ViEvent, ViAddr)
{
    g_handled.fetch_add(1, std::memory_order_release);
    return VI_SUCCESS;
}

// One interrupt raised and seen by the handler before the next is raised:
// the whole path from the board to the handler, thread wake-up included.
void BM_InterruptToHandler(benchmark::State &state)
{
    Sim &s = sim();
    s.visa.viInstallHandler(s.vi, VI_EVENT_PXI_INTR, countingHandler, nullptr);
    s.visa.viEnableEvent(s.vi, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL);
    for (auto _ : state) {
        const uint64_t before = g_handled.load(std::memory_order_acquire);
        s.raiseInterrupt("PXI1::14::INSTR", 0);
        while (g_handled.load(std::memory_order_acquire) == before) {
        }
    }
    s.visa.viDisableEvent(s.vi, VI_EVENT_PXI_INTR, VI_HNDLR);
    s.visa.viUninstallHandler(s.vi, VI_EVENT_PXI_INTR, countingHandler, nullptr);
}
BENCHMARK(BM_InterruptToHandler)->UseRealTime();

// Keeps the median time per iteration of every benchmark for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.aggregate_name == "median")
                nanoseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanoseconds;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto &t = reporter.nanoseconds;
    if (t.count("BM_LockedMemoryLoad") && t.at("BM_LockedMemoryLoad") > 0)
        for (const char *name : {"BM_viIn32", "BM_viOut32"})
            if (t.count(name))
                std::printf("%s %.1f ns, locked 32-bit load %.1f ns: ratio %.2f (goal at most 3)\n", name + 3,
                            t.at(name), t.at("BM_LockedMemoryLoad"), t.at(name) / t.at("BM_LockedMemoryLoad"));
    benchmark::Shutdown();
    return 0;
}
