// The reference of the drivers' periodic threads: what a thread costs that
// does nothing but wake once per period on an absolute schedule, measured in
// the same process and run as the driver it is compared with, and the median
// of several such comparisons; and the CPU measurement of both.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

namespace benchfloor
{

// CPU seconds of the whole process so far.
inline double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The wall time and the CPU seconds of the whole process since it was made.
class RunClock
{
  public:
    double wallSeconds() const { return static_cast<double>(tq::platform::tickUs() - t0_) / 1e6; }
    double cpuSeconds() const { return benchfloor::cpuSeconds() - cpu0_; }

  private:
    double cpu0_ = benchfloor::cpuSeconds();
    uint64_t t0_ = tq::platform::tickUs();
};

// CPU seconds per second of a thread that waits on an event until each
// period's deadline (start + k periods) for `seconds`.
inline double bareThreadCpuPerSecond(double periodUs, double seconds)
{
    tq::platform::Event never(tq::platform::Event::Reset::Manual);
    const double cpu0 = cpuSeconds();
    const uint64_t start = tq::platform::tickUs();
    const uint64_t end = start + static_cast<uint64_t>(seconds * 1e6);
    std::thread t([&] {
        for (uint64_t k = 1;; ++k) {
            const uint64_t now = tq::platform::tickUs();
            if (now >= end)
                break;
            uint64_t due = start + static_cast<uint64_t>(static_cast<double>(k) * periodUs);
            if (due + static_cast<uint64_t>(periodUs) <= now) { // more than a period behind
                k = static_cast<uint64_t>(static_cast<double>(now - start) / periodUs);
                due = start + static_cast<uint64_t>(static_cast<double>(k) * periodUs);
            }
            if (due > now)
                never.waitUs(due - now);
        }
    });
    t.join();
    const double wall = static_cast<double>(tq::platform::tickUs() - start) / 1e6;
    return (cpuSeconds() - cpu0) / wall;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Runs of what is measured and of the bare thread in turns, so that both see
// the same machine: the CPU per second of each, and the ratio of each pair.
struct Turns {
    std::vector<double> cpu, bare, ratios;
};

// `repetitions` pairs of run() (which answers its CPU seconds per second)
// and the bare thread waking every periodUs for `seconds`; with a label,
// each pair is printed as it ends ("run 1: <label> ...").
template <typename Run>
Turns inTurnsWithBareThread(int repetitions, double periodUs, double seconds, Run run, const char *label = nullptr)
{
    Turns t;
    for (int i = 0; i < repetitions; ++i) {
        const double cpu = run();
        const double bare = bareThreadCpuPerSecond(periodUs, seconds);
        t.cpu.push_back(cpu);
        t.bare.push_back(bare);
        t.ratios.push_back(cpu / bare);
        if (label)
            std::printf("run %d: %s %.4f CPU s per s, bare thread %.4f, ratio %.2f\n", i + 1, label, cpu, bare,
                        cpu / bare);
    }
    return t;
}

} // namespace benchfloor
