// Delivery of VI_EVENT_PXI_INTR to sessions: the queue mechanism
// (viWaitOnEvent) and the handler mechanisms, with handlers run on one
// callback thread.
//
// Guarantee: once disable(), uninstall() or closeSession() has returned, no
// handler of that session is running or will run, except the very handler
// that called it (a handler may disable, uninstall or close from inside
// itself; it then simply finishes).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "tq/platform/thread.h"
#include "tq/visatype.h"

namespace tq::sim {

class Instrument;

struct InterruptEvent {
    ViInt16 sequence = 0;
    ViUInt32 data = 0;
};

// Fixed-capacity ring: sized once, so that raising an interrupt never allocates.
template <typename T> class Ring {
public:
    void reset(size_t capacity)
    {
        buf_.assign(capacity, T{});
        head_ = count_ = 0;
    }
    bool push(const T &v)
    {
        if (count_ == buf_.size())
            return false;
        buf_[(head_ + count_) % buf_.size()] = v;
        ++count_;
        return true;
    }
    bool pop(T &v)
    {
        if (count_ == 0)
            return false;
        v = buf_[head_];
        head_ = (head_ + 1) % buf_.size();
        --count_;
        return true;
    }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    void clear() { head_ = count_ = 0; }

private:
    std::vector<T> buf_;
    size_t head_ = 0, count_ = 0;
};

class EventHub {
public:
    // Makes the event context handed to a handler (viGetAttribute works on it
    // while the handler runs). Called on the callback thread, hub unlocked.
    using ContextMaker = std::function<ViEvent(ViSession session, const InterruptEvent &event)>;

    explicit EventHub(ContextMaker maker);
    ~EventHub();
    EventHub(const EventHub &) = delete;
    EventHub &operator=(const EventHub &) = delete;

    ViStatus enable(ViSession vi, Instrument &instrument, ViEventType type, ViUInt16 mechanism, ViUInt32 queueLength);
    ViStatus disable(ViSession vi, ViEventType type, ViUInt16 mechanism);
    ViStatus discard(ViSession vi, ViEventType type, ViUInt16 mechanism);
    // VI_SUCCESS or VI_SUCCESS_QUEUE_NEMPTY with the event taken from the queue.
    ViStatus wait(ViSession vi, ViEventType type, ViUInt32 timeoutMs, InterruptEvent &event);
    ViStatus install(ViSession vi, Instrument &instrument, ViEventType type, ViHndlr handler, ViAddr user);
    ViStatus uninstall(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user);
    // Removes every trace of the session.
    void closeSession(ViSession vi);

    // Called by instruments; never blocks on a handler.
    void raise(Instrument &instrument, ViUInt32 data);

    ViStatus flush(ViUInt32 timeoutMs);
    ViUInt32 lostInterrupts() const { return lost_.load(); }
    void clearCounters() { lost_ = 0; }

    static constexpr size_t kMaxHandlers = 16;

    // A mechanism argument of viDisableEvent and viDiscardEvents: one or more
    // of the mechanisms, or VI_ALL_MECH.
    static bool mechanismsToStop(ViUInt16 mechanism);

private:
    struct Handler {
        ViHndlr fn = nullptr;
        ViAddr user = nullptr;
    };
    struct SessionEvents {
        ViSession vi = 0;
        Instrument *instrument = nullptr;
        bool queueOn = false, handlerOn = false, suspendOn = false;
        bool subscribed = false;
        std::vector<Handler> handlers; // in the order of installation
        Ring<InterruptEvent> queue, suspended;
        uint64_t epoch = 0; // bumped whenever pending handler deliveries become void
    };
    struct Delivery {
        ViSession vi = 0;
        uint64_t epoch = 0;
        InterruptEvent event;
    };

    SessionEvents &state(ViSession vi, Instrument &instrument);
    SessionEvents *find(ViSession vi);
    void updateSubscription(SessionEvents &s);
    // Waits while a handler call that matches runs (not when called from the
    // callback thread itself).
    template <typename Pred> void waitWhileRunning(std::unique_lock<std::mutex> &lock, Pred matches);
    void ensureThread();
    void run();

    ContextMaker makeContext_;
    std::mutex m_;
    std::condition_variable queueCv_;    // a queue received an event or was torn down
    std::condition_variable workCv_;     // the callback thread has work
    std::condition_variable idleCv_;     // a delivery finished
    std::unordered_map<ViSession, SessionEvents> states_;
    Ring<Delivery> deliveries_;
    ViSession running_ = 0;              // session whose handler runs right now
    Handler runningHandler_;
    bool stop_ = false;
    bool threadStarted_ = false;
    std::atomic<uint64_t> callbackThreadId_{0};
    std::atomic<ViUInt32> lost_{0};
    platform::Thread thread_;
};

} // namespace tq::sim
