#include "tq/platform/broadcast.h"

#include <cstring>
#include <new>

#include "tq/platform/text.h"
#include "tq/platform/thread.h"

namespace tq::platform {

// A thread inside wait; lives on that thread's stack while it is linked.
struct EventBroadcast::Node {
    Event wake{Event::Reset::Auto};
    Node *next = nullptr;
    Node *previous = nullptr;
    bool pending = false; // an event was handed over and not yet looked at
    uint32_t word = 0;
    char text[kTextSize] = {};
};

EventBroadcast *EventBroadcast::create(Observer observer, void *context) noexcept
{
    return new (std::nothrow) EventBroadcast(observer, context);
}

void EventBroadcast::release() noexcept
{
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

void EventBroadcast::notifyCount()
{
    if (observer_)
        observer_(context_, waiting_.load(std::memory_order_relaxed), nullptr, nullptr);
}

// Under the lock.
void EventBroadcast::handOver(uint32_t word, const char *text)
{
    lastWord_ = word;
    copyText(lastText_, text); // longer texts are cut to 255 characters
    if (observer_)
        observer_(context_, waiting_.load(std::memory_order_relaxed), &lastWord_, lastText_);
    for (Node *node = first_; node; node = node->next) {
        node->word = word;
        memcpy(node->text, lastText_, sizeof node->text);
        node->pending = true;
        node->wake.set();
    }
}

void EventBroadcast::close() noexcept
{
    mutex_.lock();
    closed_ = true;
    observer_ = nullptr; // the creator's record may go as soon as we return
    handOver(0, "");
    mutex_.unlock();
    release();
}

EventBroadcast::PostResult EventBroadcast::post(uint32_t word, const char *text, uint32_t lockTimeoutMs) noexcept
{
    if (waiting_.load(std::memory_order_acquire) == 0)
        return PostResult::NoWaiter;
    if (mutex_.lock(lockTimeoutMs) != WaitResult::Signaled)
        return PostResult::Busy;
    handOver(word, text);
    mutex_.unlock();
    return PostResult::Delivered;
}

EventBroadcast::Outcome EventBroadcast::wait(uint32_t mask, uint32_t timeoutMs, uint32_t *word, char *text,
                                             TimeOut timeOut) noexcept
{
    const bool fromCall = timeOut == TimeOut::FromCall && timeoutMs != kInfinite;
    const uint64_t calledAt = fromCall ? tickMs() : 0;
    // What is left of the caller's time-out (all of it for FromEachWakeUp).
    auto remaining = [&]() -> uint32_t {
        if (!fromCall)
            return timeoutMs;
        const uint64_t spent = tickMs() - calledAt;
        return spent >= timeoutMs ? 0 : static_cast<uint32_t>(timeoutMs - spent);
    };
    // This thread's share keeps the object alive whatever close does from here on.
    references_.fetch_add(1, std::memory_order_relaxed);
    const WaitResult taken = mutex_.lock(timeoutMs);
    if (taken != WaitResult::Signaled) {
        release();
        return taken == WaitResult::Timeout ? Outcome::LockTimeout : Outcome::LockFailed;
    }
    if (closed_) {
        mutex_.unlock();
        release();
        if (word)
            *word = 0;
        if (text)
            text[0] = '\0';
        return Outcome::Closed;
    }

    Node node;
    node.previous = last_;
    if (last_)
        last_->next = &node;
    else
        first_ = &node;
    last_ = &node;
    waiting_.fetch_add(1, std::memory_order_release);
    notifyCount();
    mutex_.unlock();

    uint32_t got = 0;
    char got_text[kTextSize];
    Outcome outcome;
    for (;;) {
        const WaitResult woken = node.wake.wait(remaining());
        mutex_.lock();
        if (node.pending) {
            node.pending = false;
            if (node.word == 0) {
                got = 0;
                memcpy(got_text, node.text, sizeof got_text);
                outcome = Outcome::Closed;
                break;
            }
            if (mask & node.word) {
                got = node.word;
                memcpy(got_text, node.text, sizeof got_text);
                outcome = Outcome::Event;
                break;
            }
            // Not one of this caller's events: wait again, for what is left.
        } else if (woken != WaitResult::Signaled) {
            got = lastWord_;
            memcpy(got_text, lastText_, sizeof got_text);
            outcome = Outcome::Timeout;
            break;
        }
        // Otherwise a wake-up whose event was taken on an earlier round.
        mutex_.unlock();
    }
    if (node.previous)
        node.previous->next = node.next;
    else
        first_ = node.next;
    if (node.next)
        node.next->previous = node.previous;
    else
        last_ = node.previous;
    waiting_.fetch_sub(1, std::memory_order_release);
    notifyCount();
    mutex_.unlock();
    release();

    if (word)
        *word = got;
    if (text)
        copyText(text, kTextSize, got_text);
    return outcome;
}

} // namespace tq::platform
