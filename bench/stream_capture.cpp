// Capture throughput: streamNewData of 64-byte scans in blocks of 256 scans
// into a file on tmpfs, against plain write() of the same blocks into a file
// on the same file system, in the same run. The summary line gives the
// ratio of the two at decimation 1 (medians of the repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "tqstream.h"

namespace {

constexpr uint16_t kScanSize = 64;
constexpr int kScansPerBlock = 256;
constexpr size_t kBlockBytes = size_t{kScanSize} * kScansPerBlock;
// The files start again every 64 MiB so that tmpfs does not fill up.
constexpr int64_t kBlocksPerFile = (64 << 20) / kBlockBytes;

// Capture names allow letters, digits and underscores before the extension.
std::string shmPath(const char *name) { return "/dev/shm/tq_bench_" + std::string(name) + "_" + std::to_string(getpid()); }

std::vector<uint8_t> block()
{
    std::vector<uint8_t> b(kBlockBytes);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(i * 131 + 7);
    return b;
}

void BM_PlainWrite(benchmark::State &state)
{
    const std::string path = shmPath("write");
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        state.SkipWithError("cannot create a file in /dev/shm");
        return;
    }
    std::vector<uint8_t> data = block();
    int64_t written = 0;
    for (auto _ : state) {
        if (write(fd, data.data(), kBlockBytes) != static_cast<ssize_t>(kBlockBytes)) {
            state.SkipWithError("short write");
            break;
        }
        if (++written % kBlocksPerFile == 0) {
            state.PauseTiming();
            if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
                state.SkipWithError("cannot restart the file");
            state.ResumeTiming();
        }
    }
    close(fd);
    unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBlockBytes));
    state.SetItemsProcessed(state.iterations() * kScansPerBlock);
}

// Arguments: decimation, big file (FO64) or not, header first or not.
void BM_CaptureNewData(benchmark::State &state)
{
    const int32_t decimation = static_cast<int32_t>(state.range(0));
    const std::string path = shmPath("capture") + ".stm";
    TQStream *s = newStream("bench", 100000.0, nullptr);
    setScanSize(s, kScanSize);
    setNumberChannels(s, 32);
    s->streamSetDecimation(s, decimation);
    s->streamSetBigFile(s, static_cast<int32_t>(state.range(1)));
    s->streamSetWriteHeaderFirst(s, static_cast<int32_t>(state.range(2)));
    TQCaptureChannel channels[32] = {};
    for (int i = 0; i < 32; ++i) {
        snprintf(channels[i].name, sizeof channels[i].name, "Analog%d", i + 1);
        snprintf(channels[i].eu, sizeof channels[i].eu, "V");
        channels[i].kind = TQ_XFRM_POLYNOMIAL;
    }
    TQCaptureHeader header{100000.0, decimation, 0, 32, 0, channels};
    if (commonCaptureOpen(s, path.c_str(), 1, &header) != 0) {
        state.SkipWithError("cannot open the capture in /dev/shm");
        destroyStream(s);
        return;
    }
    std::vector<uint8_t> data = block();
    int64_t blocks = 0;
    for (auto _ : state) {
        if (s->streamNewData(s, data.data(), kScansPerBlock, 0) != 0) {
            state.SkipWithError("streamNewData failed");
            break;
        }
        if (++blocks % kBlocksPerFile == 0) {
            state.PauseTiming();
            commonCaptureClose(s, &header);
            if (commonCaptureOpen(s, path.c_str(), 1, &header) != 0)
                state.SkipWithError("cannot reopen the capture");
            state.ResumeTiming();
        }
    }
    commonCaptureClose(s, &header);
    destroyStream(s);
    unlink(path.c_str());
    unlink((path + ".ad").c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBlockBytes));
    state.SetItemsProcessed(state.iterations() * kScansPerBlock);
}

BENCHMARK(BM_PlainWrite)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CaptureNewData)
    ->ArgNames({"decimation", "bigFile", "headerFirst"})
    ->Args({1, 1, 1})
    ->Args({1, 0, 0})
    ->Args({3, 1, 1})
    ->MinTime(0.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Keeps the median input rate of every benchmark for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.aggregate_name == "median" && run.counters.count("bytes_per_second"))
                rates[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] = run.counters.at("bytes_per_second").value;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto write = reporter.rates.find("BM_PlainWrite");
    if (write == reporter.rates.end() || write->second <= 0)
        return 0;
    printf("\nplain write():                           %8.1f MiB/s\n", write->second / (1 << 20));
    for (const auto &[name, rate] : reporter.rates) {
        if (name == write->first)
            continue;
        printf("%-40s %8.1f MiB/s of scans handed in, %.2f of write()\n", name.c_str(), rate / (1 << 20),
               rate / write->second);
    }
    benchmark::Shutdown();
    return 0;
}
