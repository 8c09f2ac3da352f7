// One writer and four readers moving 64-byte scans through a segmented
// buffer in blocks of 256 scans, against memcpy of the same bytes (the
// writer's copy in, each reader's copy out) in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "tqstream.h"

namespace {

constexpr int64_t kScanSize = 64;
constexpr int64_t kBlockScans = 256;
constexpr int64_t kBlock = kScanSize * kBlockScans;
constexpr int kReaders = 4;

void SegmentedBuffer(benchmark::State &state)
{
    // The sizes streams give their buffers: segments of 256 scans, 2560 scans
    // kept, at most 3840.
    TQBuffer *buffer = TQCreateBuffer(256 * kScanSize, 2560 * kScanSize, 3840 * kScanSize);
    std::vector<uint8_t> block(kBlock, 0x5a);
    std::vector<std::vector<uint8_t>> out(kReaders, std::vector<uint8_t>(kBlock));
    TQBufferReader *readers[kReaders];
    for (auto &reader : readers)
        reader = buffer->bufferNewReader(buffer, 0, TQ_WHENCE_NEWEST);
    for (auto _ : state) {
        if (buffer->bufferWrite(buffer, block.data(), kBlock) != kBlock)
            state.SkipWithError("short write");
        for (int r = 0; r < kReaders; ++r) {
            if (readers[r]->bufferReaderRead(readers[r], out[r].data(), kBlock) != kBlock)
                state.SkipWithError("short read");
            benchmark::DoNotOptimize(out[r].data());
        }
        block[0]++;
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
    for (auto &reader : readers)
        reader->bufferReaderUnlink(reader);
    buffer->bufferClose(buffer);
}

void Memcpy(benchmark::State &state)
{
    // A ring as large as the buffer keeps, so that both work on the same
    // amount of memory.
    const int64_t ringSize = 2560 * kScanSize;
    std::vector<uint8_t> ring(ringSize), block(kBlock, 0x5a);
    std::vector<std::vector<uint8_t>> out(kReaders, std::vector<uint8_t>(kBlock));
    int64_t at = 0;
    for (auto _ : state) {
        memcpy(ring.data() + at, block.data(), kBlock);
        for (int r = 0; r < kReaders; ++r) {
            memcpy(out[r].data(), ring.data() + at, kBlock);
            benchmark::DoNotOptimize(out[r].data());
        }
        at = (at + kBlock) % ringSize;
        block[0]++;
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

BENCHMARK(SegmentedBuffer);
BENCHMARK(Memcpy);

// Prints every run as usual and keeps each one's rate for the comparison.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.real_accumulated_time <= 0)
                continue;
            double megabytes = static_cast<double>(run.iterations) * kBlock / 1e6 / run.real_accumulated_time;
            if (run.benchmark_name().rfind("SegmentedBuffer", 0) == 0)
                buffer = megabytes;
            else if (run.benchmark_name().rfind("Memcpy", 0) == 0)
                copy = megabytes;
        }
    }
    double buffer = 0;
    double copy = 0;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.buffer > 0 && reporter.copy > 0)
        std::printf("scan data through the buffer %.0f MB/s, memcpy %.0f MB/s, ratio %.2f (target at least 0.50)\n",
                    reporter.buffer, reporter.copy, reporter.buffer / reporter.copy);
    benchmark::Shutdown();
    return 0;
}
