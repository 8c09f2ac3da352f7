// One writer and one or four readers moving 64-byte scans through a
// segmented buffer in blocks of 256 scans (16 KiB), against memcpy of the
// same bytes (the writer's copy in, each reader's copy out) in the same run.
// The summary gives, per reader count, the median time of the repetitions
// against the median of memcpy's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tqstream.h"

namespace {

constexpr int64_t kScanSize = 64;
constexpr int64_t kBlockScans = 256;
constexpr int64_t kBlock = kScanSize * kBlockScans;
constexpr int kMostReaders = 4;

void SegmentedBuffer(benchmark::State &state)
{
    const auto readerCount = static_cast<int>(state.range(0));
    // The sizes streams give their buffers: segments of 256 scans, 2560 scans
    // kept, at most 3840.
    TQBuffer *buffer = TQCreateBuffer(256 * kScanSize, 2560 * kScanSize, 3840 * kScanSize);
    std::vector<uint8_t> block(kBlock, 0x5a);
    std::vector<std::vector<uint8_t>> out(kMostReaders, std::vector<uint8_t>(kBlock));
    TQBufferReader *readers[kMostReaders] = {};
    for (int r = 0; r < readerCount; ++r)
        readers[r] = buffer->bufferNewReader(buffer, 0, TQ_WHENCE_NEWEST);
    for (auto _ : state) {
        if (buffer->bufferWrite(buffer, block.data(), kBlock) != kBlock)
            state.SkipWithError("short write");
        for (int r = 0; r < readerCount; ++r) {
            if (readers[r]->bufferReaderRead(readers[r], out[r].data(), kBlock) != kBlock)
                state.SkipWithError("short read");
            benchmark::DoNotOptimize(out[r].data());
        }
        block[0]++;
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
    for (int r = 0; r < readerCount; ++r)
        readers[r]->bufferReaderUnlink(readers[r]);
    buffer->bufferClose(buffer);
}

void Memcpy(benchmark::State &state)
{
    const auto readerCount = static_cast<int>(state.range(0));
    // A ring as large as the buffer keeps, so that both work on the same
    // amount of memory.
    const int64_t ringSize = 2560 * kScanSize;
    std::vector<uint8_t> ring(ringSize), block(kBlock, 0x5a);
    std::vector<std::vector<uint8_t>> out(kMostReaders, std::vector<uint8_t>(kBlock));
    int64_t at = 0;
    for (auto _ : state) {
        memcpy(ring.data() + at, block.data(), kBlock);
        for (int r = 0; r < readerCount; ++r) {
            memcpy(out[r].data(), ring.data() + at, kBlock);
            benchmark::DoNotOptimize(out[r].data());
        }
        at = (at + kBlock) % ringSize;
        block[0]++;
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

BENCHMARK(SegmentedBuffer)->ArgName("readers")->Arg(1)->Arg(4)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(Memcpy)->ArgName("readers")->Arg(1)->Arg(4)->Repetitions(7)->ReportAggregatesOnly(true);

// Keeps the median time per block of every benchmark for the summary.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int readers : {1, kMostReaders}) {
        const std::string args = "readers:" + std::to_string(readers);
        auto buffer = reporter.medians.find("SegmentedBuffer/" + args);
        auto copy = reporter.medians.find("Memcpy/" + args);
        if (buffer == reporter.medians.end() || copy == reporter.medians.end() || buffer->second <= 0)
            continue;
        std::printf("16 KiB blocks, %d reader%s: buffer %.0f ns, memcpy %.0f ns per block (medians), time ratio %.2f, "
                    "throughput ratio %.2f (goal: time at most 1.10)\n",
                    readers, readers == 1 ? "" : "s", buffer->second, copy->second, buffer->second / copy->second,
                    copy->second / buffer->second);
    }
    benchmark::Shutdown();
    return 0;
}
