#include "tq/platform/sync.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tq/platform/thread.h"

namespace tq::platform {

namespace {

// Absolute CLOCK_MONOTONIC deadline for a time-out at the test pace.
timespec deadlineAfter(uint32_t timeoutMs)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    int64_t ns = scaledTimeoutNs(timeoutMs);
    ts.tv_sec += static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec += static_cast<long>(ns % 1000000000);
    if (ts.tv_nsec >= 1000000000) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000;
    }
    return ts;
}

void initMonotonicCond(pthread_cond_t *c)
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(c, &attr);
    pthread_condattr_destroy(&attr);
}

// ThreadSanitizer does not see pthread_mutex_clocklock; its builds take the
// realtime-clock variant so that the sanitizer follows every lock.
int timedLock(pthread_mutex_t *m, uint32_t timeoutMs)
{
#if defined(__SANITIZE_THREAD__)
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    int64_t ns = scaledTimeoutNs(timeoutMs);
    ts.tv_sec += static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec += static_cast<long>(ns % 1000000000);
    if (ts.tv_nsec >= 1000000000) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000;
    }
    return pthread_mutex_timedlock(m, &ts);
#else
    timespec ts = deadlineAfter(timeoutMs);
    return pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &ts);
#endif
}

WaitResult lockResult(int rc)
{
    switch (rc) {
    case 0:
        return WaitResult::Signaled;
    case ETIMEDOUT:
    case EBUSY:
        return WaitResult::Timeout;
    default:
        return WaitResult::Failed;
    }
}

} // namespace

// ---- Mutex ------------------------------------------------------------------

Mutex::Mutex()
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_, &attr);
    pthread_mutexattr_destroy(&attr);
}

Mutex::~Mutex() { pthread_mutex_destroy(&m_); }

WaitResult Mutex::acquired(int rc)
{
    WaitResult r = lockResult(rc);
    if (r == WaitResult::Signaled) {
        owner_.store(currentThreadId(), std::memory_order_relaxed);
        ++depth_;
    }
    return r;
}

WaitResult Mutex::lock(uint32_t timeoutMs)
{
    if (owner_.load(std::memory_order_relaxed) == currentThreadId()) {
        ++depth_; // already ours
        return WaitResult::Signaled;
    }
    if (timeoutMs == kInfinite)
        return acquired(pthread_mutex_lock(&m_));
    if (timeoutMs == 0)
        return acquired(pthread_mutex_trylock(&m_));
    return acquired(timedLock(&m_, timeoutMs));
}

bool Mutex::tryLock() { return lock(0) == WaitResult::Signaled; }

bool Mutex::unlock()
{
    // Only the owner ever stores its own id, so a thread that reads its own id
    // here really owns the mutex.
    if (owner_.load(std::memory_order_relaxed) != currentThreadId())
        return false;
    if (--depth_ > 0)
        return true;
    owner_.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&m_);
    return true;
}

// ---- Event ------------------------------------------------------------------

Event::Event(Reset kind, bool initiallySet) : manual_(kind == Reset::Manual), signaled_(initiallySet)
{
    pthread_mutex_init(&m_, nullptr);
    initMonotonicCond(&c_);
}

Event::~Event()
{
    pthread_cond_destroy(&c_);
    pthread_mutex_destroy(&m_);
}

void Event::set()
{
    pthread_mutex_lock(&m_);
    signaled_ = true;
    if (manual_)
        pthread_cond_broadcast(&c_);
    else
        pthread_cond_signal(&c_);
    pthread_mutex_unlock(&m_);
}

void Event::reset()
{
    pthread_mutex_lock(&m_);
    signaled_ = false;
    pthread_mutex_unlock(&m_);
}

WaitResult Event::wait(uint32_t timeoutMs)
{
    if (timeoutMs == kInfinite)
        return waitUntil(nullptr);
    timespec deadline = deadlineAfter(timeoutMs);
    return waitUntil(&deadline);
}

WaitResult Event::waitUs(uint64_t timeoutUs)
{
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const double ns = static_cast<double>(timeoutUs) * 1e3 / timeScale();
    const int64_t whole = ns >= 4e18 ? INT64_MAX / 4 : static_cast<int64_t>(ns);
    deadline.tv_sec += static_cast<time_t>(whole / 1000000000);
    deadline.tv_nsec += static_cast<long>(whole % 1000000000);
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000;
    }
    return waitUntil(&deadline);
}

WaitResult Event::waitUntil(const timespec *deadline)
{
    pthread_mutex_lock(&m_);
    int rc = 0;
    while (!signaled_ && rc == 0) {
        if (!deadline)
            rc = pthread_cond_wait(&c_, &m_);
        else
            rc = pthread_cond_timedwait(&c_, &m_, deadline);
    }
    WaitResult result;
    if (signaled_) {
        if (!manual_)
            signaled_ = false;
        result = WaitResult::Signaled;
    } else {
        result = rc == ETIMEDOUT ? WaitResult::Timeout : WaitResult::Failed;
    }
    pthread_mutex_unlock(&m_);
    return result;
}

// ---- Waiter -----------------------------------------------------------------

Waiter::Waiter()
{
    pthread_mutex_init(&m_, nullptr);
    initMonotonicCond(&c_);
}

Waiter::~Waiter()
{
    pthread_cond_destroy(&c_);
    pthread_mutex_destroy(&m_);
}

WaitResult Waiter::wait(uint32_t timeoutMs)
{
    timespec deadline{};
    if (timeoutMs != kInfinite)
        deadline = deadlineAfter(timeoutMs);
    pthread_mutex_lock(&m_);
    const uint64_t mine = generation_;
    ++waiting_;
    int rc = 0;
    while (generation_ == mine && rc == 0) {
        if (timeoutMs == kInfinite)
            rc = pthread_cond_wait(&c_, &m_);
        else
            rc = pthread_cond_timedwait(&c_, &m_, &deadline);
    }
    --waiting_;
    WaitResult result = generation_ != mine ? WaitResult::Signaled
                        : rc == ETIMEDOUT   ? WaitResult::Timeout
                                            : WaitResult::Failed;
    pthread_mutex_unlock(&m_);
    return result;
}

void Waiter::wakeAll()
{
    pthread_mutex_lock(&m_);
    ++generation_;
    pthread_cond_broadcast(&c_);
    pthread_mutex_unlock(&m_);
}

int Waiter::waiting() const
{
    pthread_mutex_lock(&m_);
    int n = waiting_;
    pthread_mutex_unlock(&m_);
    return n;
}

// ---- NamedMutex -------------------------------------------------------------

struct NamedMutex::Shared {
    std::atomic<uint32_t> state; // 0 new, 1 being initialised, 2 ready
    pthread_mutex_t mutex;
};

namespace {

std::string shmName(const std::string &name)
{
    std::string out = "/tqmutex.";
    for (char c : name)
        out += (c == '/' || c == '\\') ? '_' : c;
    return out;
}

} // namespace

NamedMutex::~NamedMutex() { close(); }

bool NamedMutex::open(const std::string &name)
{
    close();
    const std::string path = shmName(name);
    int fd = shm_open(path.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(sizeof(Shared)) && ftruncate(fd, sizeof(Shared)) != 0)) {
        ::close(fd);
        return false;
    }
    void *p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return false;
    auto *shared = static_cast<Shared *>(p);

    uint32_t expected = 0;
    if (shared->state.compare_exchange_strong(expected, 1)) {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
        pthread_mutex_init(&shared->mutex, &attr);
        pthread_mutexattr_destroy(&attr);
        shared->state.store(2);
    } else {
        // Another process is initialising it; that takes microseconds.
        for (int i = 0; i < 2000 && shared->state.load() != 2; ++i)
            usleep(1000);
        if (shared->state.load() != 2) {
            munmap(p, sizeof(Shared));
            return false;
        }
    }
    shared_ = shared;
    return true;
}

void NamedMutex::close()
{
    if (shared_) {
        while (owner_.load(std::memory_order_relaxed) == currentThreadId() && depth_ > 0)
            unlock();
        munmap(shared_, sizeof(Shared));
        shared_ = nullptr;
    }
}

WaitResult NamedMutex::lock(uint32_t timeoutMs)
{
    if (!shared_)
        return WaitResult::Failed;
    if (owner_.load(std::memory_order_relaxed) == currentThreadId()) {
        ++depth_;
        return WaitResult::Signaled;
    }
    int rc;
    if (timeoutMs == kInfinite)
        rc = pthread_mutex_lock(&shared_->mutex);
    else if (timeoutMs == 0)
        rc = pthread_mutex_trylock(&shared_->mutex);
    else
        rc = timedLock(&shared_->mutex, timeoutMs);
    WaitResult result = lockResult(rc);
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(&shared_->mutex);
        result = WaitResult::Abandoned;
    }
    if (result == WaitResult::Signaled || result == WaitResult::Abandoned) {
        owner_.store(currentThreadId(), std::memory_order_relaxed);
        depth_ = 1;
    }
    return result;
}

bool NamedMutex::unlock()
{
    if (!shared_ || owner_.load(std::memory_order_relaxed) != currentThreadId())
        return false;
    if (--depth_ > 0)
        return true;
    owner_.store(0, std::memory_order_relaxed);
    return pthread_mutex_unlock(&shared_->mutex) == 0;
}

void NamedMutex::removeName(const std::string &name) { shm_unlink(shmName(name).c_str()); }

} // namespace tq::platform
