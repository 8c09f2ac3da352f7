// Capture throughput: whole captures of 64-byte scans handed to
// streamNewData in blocks of 256 scans into a file on tmpfs, open and close
// included (with the header written at close, the close copies the raw data
// file into the container), against plain write() of the same blocks into a
// file on the same file system, opened and closed the same way, in the same
// run. The summary gives each capture's median time against the median of
// plain write().
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
// Bytes handed in per capture: long enough that opening and closing are
// part of a realistic recording, short enough for tmpfs.
constexpr int64_t kBlocksPerCapture = (64 << 20) / kBlockBytes;

// Capture names allow letters, digits and underscores before the extension.
std::string shmPath(const char *name) { return "/dev/shm/tq_bench_" + std::string(name) + "_" + std::to_string(getpid()); }

std::vector<uint8_t> block()
{
    std::vector<uint8_t> b(kBlockBytes);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(i * 131 + 7);
    return b;
}

// Argument: how many files receive the bytes. One is the reference; two is
// what a capture with the header at close leaves on disk (the raw data file
// stays beside the container), shown for comparison.
void BM_PlainWrite(benchmark::State &state)
{
    const auto files = static_cast<int>(state.range(0));
    std::vector<uint8_t> data = block();
    for (auto _ : state) {
        for (int f = 0; f < files; ++f) {
            const std::string path = shmPath("write") + std::to_string(f);
            int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) {
                state.SkipWithError("cannot create a file in /dev/shm");
                break;
            }
            for (int64_t i = 0; i < kBlocksPerCapture; ++i)
                if (write(fd, data.data(), kBlockBytes) != static_cast<ssize_t>(kBlockBytes)) {
                    state.SkipWithError("short write");
                    break;
                }
            close(fd);
        }
    }
    for (int f = 0; f < files; ++f)
        unlink((shmPath("write") + std::to_string(f)).c_str());
    state.SetBytesProcessed(state.iterations() * kBlocksPerCapture * static_cast<int64_t>(kBlockBytes));
}

// Arguments: decimation, big file (FO64) or not, header first or not.
void BM_Capture(benchmark::State &state)
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
    std::vector<uint8_t> data = block();
    for (auto _ : state) {
        if (commonCaptureOpen(s, path.c_str(), 1, &header) != 0) {
            state.SkipWithError("cannot open the capture in /dev/shm");
            break;
        }
        for (int64_t i = 0; i < kBlocksPerCapture; ++i)
            if (s->streamNewData(s, data.data(), kScansPerBlock, 0) != 0) {
                state.SkipWithError("streamNewData failed");
                break;
            }
        if (commonCaptureClose(s, &header) != 0) {
            state.SkipWithError("the capture did not close");
            break;
        }
    }
    destroyStream(s);
    unlink(path.c_str());
    unlink((path + ".ad").c_str());
    state.SetBytesProcessed(state.iterations() * kBlocksPerCapture * static_cast<int64_t>(kBlockBytes));
}

BENCHMARK(BM_PlainWrite)->ArgName("files")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Capture)
    ->ArgNames({"decimation", "bigFile", "headerFirst"})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({1, 0, 1})
    ->Args({1, 1, 1})
    ->Args({3, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Keeps the median time of every benchmark for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto write = reporter.medians.find("BM_PlainWrite/files:1");
    auto twice = reporter.medians.find("BM_PlainWrite/files:2");
    if (write == reporter.medians.end() || write->second <= 0)
        return 0;
    printf("\n%lld MiB handed in per capture; plain write() of the same bytes: %.1f ms (median)\n",
           static_cast<long long>(kBlocksPerCapture * kBlockBytes >> 20), write->second);
    if (twice != reporter.medians.end())
        printf("the same bytes written into two files, as a capture with the header at close leaves them: %.1f ms, "
               "%.2f of write()\n",
               twice->second, twice->second / write->second);
    for (const auto &[name, time] : reporter.medians) {
        if (name.rfind("BM_PlainWrite", 0) == 0)
            continue;
        const bool goal = name.find("decimation:1/") != std::string::npos && name.find("headerFirst:0") != std::string::npos;
        printf("%-48s %8.1f ms, time ratio %.2f of write()%s\n", name.c_str(), time, time / write->second,
               goal ? " (goal: at most 1.30)" : "");
    }
    benchmark::Shutdown();
    return 0;
}
