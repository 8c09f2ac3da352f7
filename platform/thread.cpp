#include "tq/platform/thread.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <sys/syscall.h>

namespace tq::platform {

Thread::~Thread() { join(); }

bool Thread::start(std::function<void()> fn)
{
    if (thread_.joinable())
        return false;
    try {
        thread_ = std::thread(std::move(fn));
        return true;
    } catch (...) {
        return false;
    }
}

void Thread::join()
{
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // a thread ending itself must not wait for itself
    else
        thread_.join();
}

bool Thread::joinable() const { return thread_.joinable(); }

bool Thread::isCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

uint64_t currentThreadId()
{
    thread_local const uint64_t id = static_cast<uint64_t>(syscall(SYS_gettid));
    return id;
}

namespace {

std::atomic<double> g_scale{0.0}; // 0: not read yet

double readScale()
{
    double s = 1.0;
    if (const char *v = std::getenv("TQ_TIME_SCALE")) {
        char *end = nullptr;
        double parsed = std::strtod(v, &end);
        if (end != v && parsed > 0.0)
            s = parsed;
    }
    return s;
}

} // namespace

double timeScale()
{
    double s = g_scale.load(std::memory_order_relaxed);
    if (s == 0.0) {
        s = readScale();
        g_scale.store(s, std::memory_order_relaxed);
    }
    return s;
}

void setTimeScale(double factor)
{
    if (!(factor > 0.0))
        factor = 1.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", factor);
    setenv("TQ_TIME_SCALE", text, 1);
    g_scale.store(factor, std::memory_order_relaxed);
}

int64_t scaledTimeoutNs(uint32_t timeoutMs)
{
    if (timeoutMs == 0xFFFFFFFFu)
        return -1;
    return static_cast<int64_t>(static_cast<double>(timeoutMs) * 1e6 / timeScale());
}

void sleepMs(uint32_t ms)
{
    int64_t ns = scaledTimeoutNs(ms);
    if (ns < 0)
        ns = INT64_MAX / 2;
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

uint64_t tickMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    double ms = static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    return static_cast<uint64_t>(ms * timeScale());
}

uint64_t tickUs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    double us = static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
    return static_cast<uint64_t>(us * timeScale());
}

} // namespace tq::platform
