// thermoc2mv and thermomv2c: time per call over random inputs of all types.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "tqstream.h"

namespace {

struct Input {
    double value;
    int32_t type;
};

const int kFirst[] = {0, -270, -210, -270, -270, -50, -50, -270};
const int kLast[] = {1820, 1000, 1200, 1372, 1300, 1768, 1768, 400};

std::vector<Input> inputs(bool millivolts)
{
    std::mt19937 rng(1);
    std::vector<Input> out(4096);
    for (Input &in : out) {
        int32_t type = static_cast<int32_t>(rng() % 8) + 1;
        std::uniform_real_distribution<double> celsius(kFirst[type - 1], kLast[type - 1]);
        double t = celsius(rng);
        in = {millivolts ? thermoc2mv(t, type) : t, type};
    }
    return out;
}

void Thermoc2mv(benchmark::State &state)
{
    std::vector<Input> in = inputs(false);
    size_t i = 0;
    for (auto _ : state) {
        const Input &x = in[i++ & 4095];
        benchmark::DoNotOptimize(thermoc2mv(x.value, x.type));
    }
}

void Thermomv2c(benchmark::State &state)
{
    std::vector<Input> in = inputs(true);
    size_t i = 0;
    for (auto _ : state) {
        const Input &x = in[i++ & 4095];
        benchmark::DoNotOptimize(thermomv2c(x.value, x.type));
    }
}

BENCHMARK(Thermoc2mv);
BENCHMARK(Thermomv2c);

} // namespace

BENCHMARK_MAIN();
