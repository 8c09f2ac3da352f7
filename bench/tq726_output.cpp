// The model 726 at its top output rate on the simulated board: 999 scans/s
// of 64 asynchronous channels (one block write of 128 bytes per period),
// with a refill every 50 ms that reserves one recycle period of scans (49),
// evaluates every channel of every scan through its setEval and commits the
// block, as the formula engine's refill thread does. Reported: CPU seconds
// of the whole process (output thread, refill, the simulated board) per
// second of output, against the limit of 0.02; and, from the board's
// time-stamped output log, whether every period was written (each frame
// plays the scan after the one before it). Then the same channels static,
// their values changed every 50 ms: the CPU per second that leaves. Each
// figure also as a ratio of a bare thread that only wakes once per period,
// measured in turns with it (median of several pairs).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tq/platform/thread.h"
#include "tq726.h"

#include "periodic_floor.h"
#include "simvisa_bench.h"

namespace
{

constexpr const char *kBoard = "PXI1::12::INSTR";
constexpr double kRate = 999.0;
constexpr double kRecycle = 20.0; // one refill every 50 ms
constexpr int kChannels = 64;
constexpr uint16_t kBase = 1000; // channel c plays kBase + 100 c + scan index

double codeVolts(uint16_t c)
{
    return -10.0 + (c + 0.5) * 20.0 / 65536.0;
}

} // namespace

int main()
{
    benchsim::bindDriver("tq726", tq726_init, tq726_close);
    benchsim::Control &c = benchsim::control();
    ViSession vi = benchsim::openBoard(kBoard, "board=tq726; manf=0x3c5a; model=0x726; flags=0x400", tq726_init);
    TQStream *s = nullptr;
    tq726_getStream(vi, "bench", &s);
    TQStreamChannel *channels[kChannels];
    for (int k = 0; k < kChannels; ++k) {
        tq726_setChannelEnable(vi, static_cast<ViInt16>(k + 1), 1);
        channels[k] = s->streamGetOutputChannelByIndex(s, k);
        channels[k]->streamChannelSetOutputSyncType(channels[k], 1);
    }
    tq726_setOutputScanRate(vi, kRate);
    tq726_setOutputRecycleRate(vi, kRecycle);
    char message[256] = "";
    if (tq726_crossCheck(vi, message) < 0) {
        std::printf("crossCheck: %s\n", message);
        return 1;
    }
    const auto scans = static_cast<int64_t>(kRate / kRecycle);
    const uint16_t scanSize = s->streamGetOutputScanSize(s);

    // The refill: every 50 ms one recycle period of every channel.
    std::atomic<bool> done{false};
    std::atomic<int64_t> refills{0};
    auto refill = [&] {
        int64_t granted = 0;
        TQPiece *pieces = nullptr;
        if (s->streamReserveWrite(s, scans, &granted, &pieces) != scans)
            std::abort();
        auto *bytes = static_cast<unsigned char *>(pieces[0].data);
        for (int64_t i = 0; i < scans; ++i)
            for (int k = 0; k < kChannels; ++k)
                channels[k]->streamChannelSetEval(channels[k], codeVolts(static_cast<uint16_t>(kBase + 100 * k + i)),
                                                  bytes + i * scanSize);
        s->streamCompleteWrite(s, scans);
        refills.fetch_add(1);
    };
    refill();
    std::thread refiller([&] {
        while (!done.load()) {
            tq::platform::sleepMs(50);
            refill();
        }
    });

    // One output run on an empty output log: CPU seconds per second of the
    // whole process. Runs alternate with the bare thread.
    constexpr int kRepetitions = 5;
    const double seconds = 2.0;
    const auto outputRun = [&] {
        c.clearOutputLog(kBoard);
        const benchfloor::RunClock clock;
        if (tq726_start(vi) < 0)
            std::abort();
        tq::platform::sleepMs(static_cast<uint32_t>(seconds * 1000));
        tq726_stop(vi);
        const double wall = clock.wallSeconds();
        return clock.cpuSeconds() / wall;
    };
    const benchfloor::Turns async = benchfloor::inTurnsWithBareThread(kRepetitions, 1e6 / kRate, seconds, outputRun);
    done = true;
    refiller.join();
    const double cpu = benchfloor::median(async.cpu);

    // The log keeps the last 131072 writes: about two seconds of frames.
    std::vector<SimVisaOutput> log(131072);
    ViUInt32 n = 0;
    c.getOutputLog(kBoard, log.data(), static_cast<ViUInt32>(log.size()), &n);
    log.resize(n);
    size_t first = 0;
    while (first < log.size() && log[first].channel != 1)
        ++first;
    int64_t frames = 0, skipped = 0, repeated = 0, torn = 0, previous = -1;
    for (size_t i = first; i + kChannels <= log.size(); i += kChannels) {
        const int64_t index = static_cast<int64_t>(log[i].code) - kBase;
        for (int k = 1; k < kChannels; ++k)
            if (log[i + k].channel != k + 1 || log[i + k].code != log[i].code + 100 * k)
                ++torn;
        if (previous >= 0) {
            const int64_t step = ((index - previous) % scans + scans) % scans;
            if (step == 0)
                ++repeated;
            else
                skipped += step - 1;
        }
        previous = index;
        ++frames;
    }
    const double span =
        frames > 1 ? static_cast<double>(log[first + (frames - 1) * kChannels].timeUs - log[first].timeUs) / 1e6 : 0.0;
    std::printf("tq726 at %.0f scans/s, %d asynchronous channels (one %u-byte block write per period), refill of %lld "
                "scans every 50 ms (%lld refills): %.4f CPU s per s of output (median of %d; limit 0.02: %.1f%% of "
                "it); a bare thread waking once per period: %.4f; output / bare thread: %.2f (median of %d pairs)\n",
                kRate, kChannels, static_cast<unsigned>(2 * kChannels), static_cast<long long>(scans),
                static_cast<long long>(refills.load()), cpu, kRepetitions, 100.0 * cpu / 0.02,
                benchfloor::median(async.bare), benchfloor::median(async.ratios), kRepetitions);
    std::printf("last %lld frames in the board's log (%.2f s, %.1f frames/s): %lld scans skipped, %lld written twice, "
                "%lld frames not one scan of one block\n",
                static_cast<long long>(frames), span, span > 0 ? (frames - 1) / span : 0.0,
                static_cast<long long>(skipped), static_cast<long long>(repeated), static_cast<long long>(torn));

    // The same channels static (synchronous), as output formulas evaluated
    // with the input scans leave them: every 25 ms each channel is set,
    // every other time to a new value.
    for (int k = 0; k < kChannels; ++k)
        channels[k]->streamChannelSetOutputSyncType(channels[k], 2);
    std::atomic<bool> stopSetter{false};
    std::thread setter([&] {
        for (int64_t tick = 0; !stopSetter.load(); ++tick) {
            const auto step = static_cast<uint16_t>(tick / 2);
            for (int k = 0; k < kChannels; ++k)
                channels[k]->streamChannelSetEval(channels[k], codeVolts(static_cast<uint16_t>(kBase + 100 * k + step)),
                                                  nullptr);
            tq::platform::sleepMs(25);
        }
    });
    const benchfloor::Turns still = benchfloor::inTurnsWithBareThread(kRepetitions, 1e6 / kRate, seconds, outputRun);
    std::vector<SimVisaOutput> staticLog(131072);
    c.getOutputLog(kBoard, staticLog.data(), static_cast<ViUInt32>(staticLog.size()), &n);
    stopSetter = true;
    setter.join();
    std::printf("tq726 at %.0f scans/s, the %d channels static, set every 25 ms, to a new value every 50 ms: %.4f CPU "
                "s per s of output (median of %d), %u output writes in the last %.0f s; a bare "
                "thread waking once per period: %.4f; output / bare thread: %.2f (median of %d pairs)\n",
                kRate, kChannels, benchfloor::median(still.cpu), kRepetitions, static_cast<unsigned>(n / kChannels),
                seconds, benchfloor::median(still.bare), benchfloor::median(still.ratios), kRepetitions);
    tq726_close(vi);
    return 0;
}
