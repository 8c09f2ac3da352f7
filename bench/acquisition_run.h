// One acquisition of a driver's benchmark: reader threads that convert every
// scan they read while the driver acquires for a given time; the CPU of the
// whole process per second of acquisition.
#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "periodic_floor.h"
#include "tq/platform/thread.h"
#include "tqstream.h"

namespace benchfloor
{

struct Acquisition {
    double cpuPerSecond;
    double scansPerSecond;
    int64_t converted; // values converted by all readers together
};

// Converts every given channel of each scan through its value function (an
// indirect call per sample).
struct EvalEachScan {
    std::vector<TQStreamChannel *> channels;
    uint16_t scanSize;

    // Adds the values of `scans` whole scans at data to sum; answers how many.
    int64_t operator()(const uint8_t *data, int64_t scans, double &sum) const
    {
        for (int64_t i = 0; i < scans; ++i) {
            const void *scan = data + static_cast<size_t>(i) * scanSize;
            for (TQStreamChannel *ch : channels)
                sum += ch->streamChannelEval(ch, scan);
        }
        return scans * static_cast<int64_t>(channels.size());
    }
};

// Each reader starts at the newest scan and hands every block of whole
// scans it reads to its own copy of convert (as EvalEachScan does); when it
// has read everything it calls idle() before it looks again. The time runs
// from start() to the return of stop(); the CPU until the readers have
// ended as well.
template <typename Convert, typename Idle, typename Start, typename Stop>
Acquisition runAcquisition(TQStream *stream, int readers, double seconds, const Convert &convert, const Idle &idle,
                           Start start, Stop stop)
{
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    std::atomic<bool> done{false};
    std::atomic<int64_t> converted{0};
    std::vector<TQReader *> rs;
    for (int i = 0; i < readers; ++i)
        rs.push_back(stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST));
    std::vector<std::thread> threads;
    for (TQReader *r : rs)
        threads.emplace_back([&, r, convert = convert]() mutable {
            double sum = 0.0;
            int64_t n = 0;
            while (!done.load(std::memory_order_relaxed)) {
                TQPiece *pieces = nullptr;
                uint32_t count = 0;
                const int64_t got = r->readerReserveRead(r, &pieces, &count, INT64_MAX);
                for (uint32_t p = 0; p < count; ++p)
                    n += convert(static_cast<const uint8_t *>(pieces[p].data), pieces[p].length / scanSize, sum);
                r->readerCompleteRead(r, got);
                if (got == 0)
                    idle();
            }
            benchmark::DoNotOptimize(sum);
            converted += n;
        });
    const RunClock clock;
    start();
    tq::platform::sleepMs(static_cast<uint32_t>(seconds * 1000));
    stop();
    const double wall = clock.wallSeconds();
    const int64_t written = stream->streamGetScansWritten(stream);
    done = true;
    for (std::thread &t : threads)
        t.join();
    const double cpu = clock.cpuSeconds();
    for (TQReader *r : rs)
        r->readerRelease(&r);
    return Acquisition{cpu / wall, static_cast<double>(written) / wall, converted.load()};
}

} // namespace benchfloor
