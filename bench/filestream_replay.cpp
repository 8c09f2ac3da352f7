// Replay of a recorded stream file: 10^6 scans of 8 signed 16-bit channels
// (16 MB of DATA) through a file stream reader, and the text export of the
// same file, against reading the file with plain read() in the same run.
// The file lies on tmpfs, so every run reads from memory. The summary gives
// each rate as a ratio of read() in 64 KiB blocks (medians of the repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "tqstream.h"

namespace {

constexpr int64_t kScans = 1000000;
constexpr int kChannels = 8;
constexpr int64_t kDataBytes = kScans * kChannels * 2;
// Every channel's straight line: volts of a signed 16-bit sample.
constexpr double kCoefficients[2] = {0.0, 10.0 / 32768.0};

std::string shmPath(const char *name)
{
    return "/dev/shm/tq_bench_" + std::string(name) + "_" + std::to_string(getpid());
}

// Written once per process: a FORM/STRM file with the scans as DATA.
const std::string &recordedFile()
{
    static std::string path;
    if (!path.empty())
        return path;
    path = shmPath("replay") + ".stm";
    TQCaptureChannel channels[kChannels] = {};
    static double coefficients[2] = {kCoefficients[0], kCoefficients[1]};
    for (int c = 0; c < kChannels; ++c) {
        snprintf(channels[c].name, sizeof channels[c].name, "Analog%d", c + 1);
        snprintf(channels[c].eu, sizeof channels[c].eu, "V");
        channels[c].kind = TQ_XFRM_POLYNOMIAL;
        channels[c].coefficientCount = 2;
        channels[c].coefficients = coefficients;
    }
    TQCaptureHeader header{10000.0, 1, 1700000000, kChannels, 0, channels};
    int data = memfd_create("scans", 0);
    std::vector<int16_t> block(4096 * kChannels);
    for (int64_t s = 0; s < kScans; s += 4096) {
        const int64_t n = std::min<int64_t>(4096, kScans - s);
        for (int64_t i = 0; i < n * kChannels; ++i)
            block[i] = static_cast<int16_t>((s * kChannels + i) * 37);
        if (write(data, block.data(), n * kChannels * 2) != n * kChannels * 2)
            return path = "";
    }
    int fd = ACQDCreateFile(path.c_str());
    if (fd < 0 || ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), STRMWriteForm, &header) <= 0 ||
        STRMCloseWriteFile(fd, data, -1, -1) != 0)
        path = "";
    return path;
}

void BM_PlainRead(benchmark::State &state)
{
    const std::string &path = recordedFile();
    std::vector<char> buffer(static_cast<size_t>(state.range(0)));
    int64_t bytes = 0;
    for (auto _ : state) {
        int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            state.SkipWithError("cannot open the file");
            break;
        }
        ssize_t n;
        while ((n = read(fd, buffer.data(), buffer.size())) > 0)
            bytes += n;
        close(fd);
    }
    state.SetBytesProcessed(bytes);
}

void BM_ReaderReplay(benchmark::State &state)
{
    TQStream *stream = nullptr;
    if (OpenFileStream(recordedFile().c_str(), &stream) != 0) {
        state.SkipWithError("cannot open the file stream");
        return;
    }
    const int64_t batch = state.range(0);
    int64_t scans = 0;
    for (auto _ : state) {
        TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
        TQPiece *pieces = nullptr;
        int64_t got;
        while ((got = reader->readerReserveRead(reader, &pieces, nullptr, batch)) > 0) {
            benchmark::DoNotOptimize(pieces[0].data);
            scans += reader->readerCompleteRead(reader, got);
        }
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
    }
    if (scans != kScans * state.iterations())
        state.SkipWithError("the reader did not hand out every scan");
    state.SetBytesProcessed(scans * kChannels * 2);
    state.SetItemsProcessed(scans);
    stream->streamRelease(&stream);
}

// The reference of a replay that converts every sample: read() of the file
// in 64 KiB blocks, and each block's samples converted channel by channel by
// the channels' straight line, written to an array of values.
void BM_PlainReadConvert(benchmark::State &state)
{
    const std::string &path = recordedFile();
    constexpr size_t kBlock = 65536;
    constexpr size_t kScansPerBlock = kBlock / (kChannels * 2);
    std::vector<int16_t> buffer(kBlock / 2);
    std::vector<double> values(kScansPerBlock);
    const double c0 = kCoefficients[0], c1 = kCoefficients[1];
    int64_t bytes = 0;
    for (auto _ : state) {
        int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            state.SkipWithError("cannot open the file");
            break;
        }
        ssize_t n;
        while ((n = read(fd, buffer.data(), kBlock)) > 0) {
            bytes += n;
            const size_t scans = static_cast<size_t>(n) / (kChannels * 2);
            for (int c = 0; c < kChannels; ++c) {
                for (size_t i = 0; i < scans; ++i)
                    values[i] = c1 * buffer[i * kChannels + c] + c0;
                benchmark::DoNotOptimize(values.data());
                benchmark::ClobberMemory();
            }
        }
        close(fd);
    }
    // Only DATA counts, as for the replays (the header is a few hundred bytes).
    state.SetBytesProcessed(bytes);
}

// A replay that converts every sample: the reader hands out pieces of
// scans and each channel's samples of a piece are converted in one call
// (run) or one indirect call per sample (sample).
void BM_ReplayConvert(benchmark::State &state)
{
    TQStream *stream = nullptr;
    if (OpenFileStream(recordedFile().c_str(), &stream) != 0) {
        state.SkipWithError("cannot open the file stream");
        return;
    }
    const bool run = state.range(0) != 0;
    TQStreamChannel *channels[kChannels];
    for (int c = 0; c < kChannels; ++c)
        channels[c] = stream->streamGetChannelByIndex(stream, c);
    const uint32_t scanSize = stream->streamGetScanSize(stream);
    constexpr int64_t kBatch = 4096;
    std::vector<double> values(kBatch);
    int64_t scans = 0;
    for (auto _ : state) {
        TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
        TQPiece *pieces = nullptr;
        uint32_t count = 0;
        int64_t got;
        while ((got = reader->readerReserveRead(reader, &pieces, &count, kBatch)) > 0) {
            for (uint32_t p = 0; p < count; ++p) {
                const auto *data = static_cast<const uint8_t *>(pieces[p].data);
                const int64_t n = pieces[p].length / scanSize;
                for (TQStreamChannel *ch : channels) {
                    if (run)
                        StreamChannelEvalRun(ch, data, scanSize, n, values.data());
                    else
                        for (int64_t i = 0; i < n; ++i)
                            values[static_cast<size_t>(i)] = ch->streamChannelEval(ch, data + i * scanSize);
                    benchmark::DoNotOptimize(values.data());
                    benchmark::ClobberMemory();
                }
            }
            scans += reader->readerCompleteRead(reader, got);
        }
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
    }
    if (scans != kScans * state.iterations())
        state.SkipWithError("the reader did not hand out every scan");
    state.SetBytesProcessed(scans * kChannels * 2);
    state.SetItemsProcessed(scans * kChannels);
    stream->streamRelease(&stream);
}

void BM_TextExport(benchmark::State &state)
{
    TQStream *stream = nullptr;
    if (OpenFileStream(recordedFile().c_str(), &stream) != 0) {
        state.SkipWithError("cannot open the file stream");
        return;
    }
    const std::string text = shmPath("export") + ".txt";
    for (auto _ : state) {
        if (stream->streamCaptureOpen(stream, text.c_str(), 1) != 0) {
            state.SkipWithError("the export failed");
            break;
        }
    }
    unlink(text.c_str());
    state.SetBytesProcessed(state.iterations() * kDataBytes);
    state.SetItemsProcessed(state.iterations() * kScans);
    stream->streamRelease(&stream);
}

BENCHMARK(BM_PlainRead)->ArgName("block")->Arg(65536)->Arg(4096)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReaderReplay)->ArgName("scans")->Arg(4096)->Arg(256)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainReadConvert)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReplayConvert)->ArgName("run")->Arg(1)->Arg(0)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_TextExport)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.aggregate_name == "median" && run.counters.count("bytes_per_second"))
                rates[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.counters.at("bytes_per_second").value;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (recordedFile().empty()) {
        fprintf(stderr, "cannot write the recorded file in /dev/shm\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    unlink(recordedFile().c_str());
    auto convert = reporter.rates.find("BM_PlainReadConvert");
    if (convert != reporter.rates.end() && convert->second > 0) {
        printf("\nread() + conversion of every sample:      %8.1f MiB/s of DATA\n", convert->second / (1 << 20));
        for (const char *name : {"BM_ReplayConvert/run:1", "BM_ReplayConvert/run:0"}) {
            auto it = reporter.rates.find(name);
            if (it != reporter.rates.end())
                printf("%-40s %8.1f MiB/s of DATA, %.2f of read() + conversion (%s)\n", name, it->second / (1 << 20),
                       it->second / convert->second,
                       strcmp(name, "BM_ReplayConvert/run:1") == 0 ? "a run of one channel per call"
                                                                     : "one call per sample");
        }
    }
    auto read = reporter.rates.find("BM_PlainRead/block:65536");
    if (read != reporter.rates.end() && read->second > 0) {
        printf("\nplain read() in 64 KiB blocks:           %8.1f MiB/s\n", read->second / (1 << 20));
        for (const auto &[name, rate] : reporter.rates)
            if (name != read->first)
                printf("%-40s %8.1f MiB/s of DATA, %.2f of read()\n", name.c_str(), rate / (1 << 20),
                       rate / read->second);
    }
    benchmark::Shutdown();
    return 0;
}
