// The model 176 on the simulated USB library.
// 1. A register read through the driver (device mutex, stale-byte check,
//    request, reply reader) against the bare write and read of the same
//    exchange on the library: ratio against the limit of 1.5.
// 2. 50000 scans/s with one input and two readers converting every scan:
//    CPU seconds of the whole process per second, against the limit of 0.1,
//    and the scans the device's FIFO dropped (limit: none).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tq/platform/thread.h"
#include "tq/simusb.h"
#include "ux176.h"

namespace
{

constexpr const char *kSerial = "176";
constexpr const char *kName = "usb0::0x3c5a::176::176";
constexpr double kRatioLimit = 1.5, kCpuLimit = 0.1;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void bareRead(TQUsbHandle h)
{
    const uint8_t request[4] = {0x02, 40, 0, 0};
    uint8_t reply[3];
    uint32_t n = 0;
    SI_Write(h, request, 4, &n, nullptr);
    SI_Read(h, reply, 3, &n, nullptr);
    benchmark::DoNotOptimize(reply);
}

template <typename F> double nsPerCall(F &&f, int n)
{
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i)
        f();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;
}

void compareRoundTrips()
{
    ViSession vi = VI_NULL;
    if (ux176_init(const_cast<ViRsrc>(kName), 0, 0, &vi) < 0)
        std::abort();
    TQUsbHandle h = nullptr;
    if (SI_Open(0, &h) != 0)
        std::abort();
    ViUInt16 v = 0;
    constexpr int kCalls = 200000;
    double driver = 1e300, bare = 1e300;
    for (int round = 0; round < 5; ++round) {
        driver = std::min(driver, nsPerCall([&] { ux176_readRegister(vi, 40, &v); }, kCalls));
        bare = std::min(bare, nsPerCall([&] { bareRead(h); }, kCalls));
    }
    std::printf("ux176 register read: %.0f ns through the driver with the device mutex, %.0f ns bare write and read: "
                "ratio %.2f (limit %.1f: %.0f%% of it)\n",
                driver, bare, driver / bare, kRatioLimit, 100.0 * driver / bare / kRatioLimit);
    SI_Close(h);
    ux176_close(vi);
}

void streamRun(double seconds)
{
    ViSession vi = VI_NULL;
    if (ux176_init(const_cast<ViRsrc>(kName), 0, 0, &vi) < 0 || ux176_setAnalogChannelEnable(vi, 1, 1) < 0 ||
        ux176_setAdcScanRate(vi, 50000.0) < 0)
        std::abort();
    TQStream *stream = nullptr;
    ux176_getStream(vi, "bench", &stream);
    TQStreamChannel *channel = stream->streamGetChannelByIndex(stream, 0);
    std::atomic<bool> done{false};
    std::atomic<int64_t> converted{0};
    std::vector<TQReader *> readers;
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        readers.push_back(stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST));
    for (TQReader *r : readers)
        threads.emplace_back([&, r] {
            double sum = 0.0;
            int64_t n = 0;
            while (!done.load(std::memory_order_relaxed)) {
                TQPiece *pieces = nullptr;
                uint32_t got = 0;
                const int64_t scans = r->readerReserveRead(r, &pieces, &got, INT64_MAX);
                for (uint32_t p = 0; p < got; ++p)
                    for (uint32_t b = 0; b < pieces[p].length; b += 2)
                        sum += channel->streamChannelEval(channel, static_cast<const uint8_t *>(pieces[p].data) + b);
                n += scans;
                r->readerCompleteRead(r, scans);
                if (scans == 0)
                    tq::platform::sleepMs(10); // a quarter of the buffer's 2560 scans
            }
            benchmark::DoNotOptimize(sum);
            converted += n;
        });
    const double cpu0 = cpuSeconds();
    const uint64_t t0 = tq::platform::tickMs();
    ux176_start(vi);
    tq::platform::sleepMs(static_cast<uint32_t>(seconds * 1000));
    ux176_stop(vi);
    const double wall = static_cast<double>(tq::platform::tickMs() - t0) / 1000.0;
    const int64_t written = stream->streamGetScansWritten(stream);
    done = true;
    for (std::thread &t : threads)
        t.join();
    const double cpu = (cpuSeconds() - cpu0) / wall;
    uint64_t dropped = 0;
    simusb_droppedScans(kSerial, &dropped);
    std::printf("ux176 at 50000 scans/s, one input, two readers: %.0f scans/s stored, %.4f CPU s per s (limit %.1f: "
                "%.0f%% of it), %llu scans dropped by the FIFO, %lld scans converted\n",
                static_cast<double>(written) / wall, cpu, kCpuLimit, 100.0 * cpu / kCpuLimit,
                static_cast<unsigned long long>(dropped), static_cast<long long>(converted.load()));
    for (TQReader *r : readers)
        r->readerRelease(&r);
    ux176_close(vi);
}

void BM_RegisterReadDriver(benchmark::State &state)
{
    ViSession vi = VI_NULL;
    ux176_init(const_cast<ViRsrc>(kName), 0, 0, &vi);
    ViUInt16 v = 0;
    for (auto _ : state)
        ux176_readRegister(vi, 40, &v);
    ux176_close(vi);
}
BENCHMARK(BM_RegisterReadDriver);

void BM_RegisterReadBare(benchmark::State &state)
{
    TQUsbHandle h = nullptr;
    SI_Open(0, &h);
    for (auto _ : state)
        bareRead(h);
    SI_Close(h);
}
BENCHMARK(BM_RegisterReadBare);

} // namespace

int main(int argc, char **argv)
{
    simusb_reset();
    if (simusb_addDevice(kSerial, "") != 0)
        return 1;
    compareRoundTrips();
    streamRun(5.0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
