// Events handed to every thread that waits for them.
//
// Each waiting thread links a node of its own while it is inside wait, and
// a post hands every linked node its own copy of the event word and text and
// sets that node's own event. So every thread waiting when the event comes
// wakes exactly once, a thread that has registered but not yet blocked still
// finds its event, and no signal is left over for a thread that starts
// waiting later. (A shared auto-reset event signalled once per waiter lets a
// thread that wakes first and waits again take a signal meant for another;
// a generation count read inside wait misses a post made between a thread's
// registration and its wait.)
//
// The object is shared by its creator and every thread inside wait: close
// ends every wait (event word 0) and drops the creator's share, and the last
// thread to leave frees it. Close never waits for a waiter, and a waiter
// never touches its creator's record after close.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "tq/platform/sync.h"

namespace tq::platform {

class EventBroadcast {
public:
    static constexpr size_t kTextSize = 256; // event texts, terminator included

    // Called under the broadcast's lock whenever the number of waiting threads
    // changes (word and text null) and when an event is handed out, so that a
    // record can mirror both.
    using Observer = void (*)(void *context, int waiting, const uint32_t *word, const char *text);

    // One share, the creator's; null without memory.
    static EventBroadcast *create(Observer observer = nullptr, void *context = nullptr) noexcept;

    // Ends every wait with event word 0, refuses later waits, stops calling the
    // observer and drops the creator's share.
    void close() noexcept;

    enum class PostResult { Delivered, NoWaiter, Busy };
    // Hands (word, text) to every waiting thread and keeps it as the last
    // event. Busy when the lock could not be had within lockTimeoutMs.
    PostResult post(uint32_t word, const char *text, uint32_t lockTimeoutMs) noexcept;

    enum class Outcome { Event, Closed, Timeout, LockTimeout, LockFailed };
    // Where a wait's time-out runs from. FromCall: one time-out from the call,
    // whatever comes meanwhile, so events of other masks posted steadily (a
    // running acquisition's per-segment event) cannot keep the caller
    // waiting. FromEachWakeUp: each event of another mask starts the full
    // time-out again (the stream's own wait is defined that way).
    enum class TimeOut { FromCall, FromEachWakeUp };
    // Waits for an event whose word shares a bit with mask; other events are
    // passed over. word and text (kTextSize bytes, or null) receive the event,
    // word 0 when closed, and the last event handed out on a time-out.
    // LockTimeout/LockFailed when the lock could not be had within the
    // time-out.
    Outcome wait(uint32_t mask, uint32_t timeoutMs, uint32_t *word, char *text,
                 TimeOut timeOut = TimeOut::FromEachWakeUp) noexcept;

    int waiting() const noexcept { return waiting_.load(std::memory_order_acquire); }
    // The lock held while events are handed out and threads come and go.
    Mutex &mutex() noexcept { return mutex_; }

    EventBroadcast(const EventBroadcast &) = delete;
    EventBroadcast &operator=(const EventBroadcast &) = delete;

private:
    struct Node;
    EventBroadcast(Observer observer, void *context) : observer_(observer), context_(context) {}
    ~EventBroadcast() = default;
    void release() noexcept;
    void handOver(uint32_t word, const char *text);
    void notifyCount();

    Mutex mutex_;
    std::atomic<int> references_{1};
    std::atomic<int> waiting_{0};
    Node *first_ = nullptr;
    Node *last_ = nullptr;
    uint32_t lastWord_ = 0;
    char lastText_[kTextSize] = {};
    bool closed_ = false;
    Observer observer_;
    void *context_;
};

} // namespace tq::platform
