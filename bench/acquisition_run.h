// One acquisition of a driver's benchmark: reader threads that convert every
// given channel of every scan while the driver acquires for a given time;
// the CPU of the whole process per second of acquisition.
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

// Each reader starts at the newest scan, converts every channel of each
// scan through its value function, and looks again after idleMs when
// nothing was new. The time runs from start() to the return of stop(); the
// CPU until the readers have ended as well.
template <typename Start, typename Stop>
Acquisition runAcquisition(TQStream *stream, const std::vector<TQStreamChannel *> &channels, int readers,
                           uint32_t idleMs, double seconds, Start start, Stop stop)
{
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    std::atomic<bool> done{false};
    std::atomic<int64_t> converted{0};
    std::vector<TQReader *> rs;
    for (int i = 0; i < readers; ++i)
        rs.push_back(stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST));
    std::vector<std::thread> threads;
    for (TQReader *r : rs)
        threads.emplace_back([&, r] {
            double sum = 0.0;
            int64_t n = 0;
            while (!done.load(std::memory_order_relaxed)) {
                TQPiece *pieces = nullptr;
                uint32_t count = 0;
                const int64_t scans = r->readerReserveRead(r, &pieces, &count, INT64_MAX);
                for (uint32_t p = 0; p < count; ++p)
                    for (uint32_t b = 0; b < pieces[p].length; b += scanSize) {
                        const void *scan = static_cast<const uint8_t *>(pieces[p].data) + b;
                        for (TQStreamChannel *ch : channels)
                            sum += ch->streamChannelEval(ch, scan);
                        n += static_cast<int64_t>(channels.size());
                    }
                r->readerCompleteRead(r, scans);
                if (scans == 0)
                    tq::platform::sleepMs(idleMs);
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
