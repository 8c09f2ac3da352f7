// Stream events: up to three handlers called on the posting thread, and
// threads blocked in streamWait until an event of their mask arrives.
#include <atomic>
#include <cstring>
#include <new>

#include "streamimpl.h"
#include "tq/platform/sync.h"

using tq::platform::Event;
using tq::platform::Mutex;
using tq::platform::WaitResult;

namespace tq::stream {

// One thread inside streamWait. The node lives on the waiter's stack and is
// linked into the wait state while the thread is inside. A post hands every
// linked node its own copy of the event, so that no waiter misses a post made
// between its registration and its wait, and none takes another's wake-up.
struct WaitNode {
    Event wake{Event::Reset::Auto};
    WaitNode *next = nullptr;
    WaitNode *previous = nullptr;
    bool pending = false; // an event was handed over and not yet looked at
    uint32_t word = 0;
    char message[TQ_STREAM_MESSAGE_SIZE] = {};
};

// Kept apart from the stream record so that threads woken by the stream's
// destruction can leave without touching freed memory: the stream holds one
// reference, every thread inside streamWait one more.
struct WaitState {
    Mutex mutex; // the stream's event mutex
    std::atomic<int> references{1};
    std::atomic<int> waiters{0};
    WaitNode *first = nullptr;
    WaitNode *last = nullptr;
    // The stream whose waiter count, event word and message mirror this
    // state; null once the stream is gone.
    TQStream *stream = nullptr;
    uint32_t eventWord = 0;
    char message[TQ_STREAM_MESSAGE_SIZE] = {};
};

namespace {

// Messages longer than the 256-byte buffers are cut to 255 characters.
void copyMessage(char *to, const char *from)
{
    size_t n = from ? strnlen(from, TQ_STREAM_MESSAGE_SIZE - 1) : 0;
    if (n)
        memcpy(to, from, n);
    to[n] = '\0';
}

void release(WaitState *state)
{
    if (state->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete state;
}

// Under the state's mutex: hands (word, message) to every thread inside.
void deliver(WaitState *state, uint32_t word, const char *message)
{
    state->eventWord = word;
    copyMessage(state->message, message);
    if (state->stream) {
        state->stream->eventWord = word;
        copyMessage(state->stream->eventMessage, message);
    }
    for (WaitNode *node = state->first; node; node = node->next) {
        node->word = word;
        memcpy(node->message, state->message, sizeof node->message);
        node->pending = true;
        node->wake.set();
    }
}

void mirrorWaiters(WaitState *state)
{
    if (state->stream)
        state->stream->waiterCount = static_cast<int16_t>(state->waiters.load(std::memory_order_relaxed));
}

} // namespace

WaitState *waitStateCreate(TQStream *stream)
{
    auto *state = new (std::nothrow) WaitState();
    if (state)
        state->stream = stream;
    return state;
}

void waitStateClose(WaitState *state)
{
    state->mutex.lock();
    state->stream = nullptr;
    // Event word 0 tells each waiter that the stream is closed.
    deliver(state, 0, "");
    state->mutex.unlock();
    release(state);
}

int32_t streamInstallEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler, void *user,
                                  char *message)
{
    if (stream->handlerCount >= TQ_STREAM_MAX_HANDLERS)
        return TQS_ERR_HANDLERS;
    stream->handlers[stream->handlerCount++] = TQStreamEventHandler{mask, handler, user, message};
    return 0;
}

int32_t streamUninstallEventHandler(TQStream *stream, uint32_t /*mask*/, TQStreamEventHandlerFn handler, void *user)
{
    // The table stays packed: the last entry moves into a freed place and is
    // looked at again there, so every matching entry goes.
    bool removed = false;
    unsigned i = 0;
    while (i < stream->handlerCount && i < TQ_STREAM_MAX_HANDLERS) {
        TQStreamEventHandler &entry = stream->handlers[i];
        if (entry.handler == handler && entry.user == user) {
            unsigned last = stream->handlerCount - 1u;
            entry = stream->handlers[last];
            stream->handlers[last] = TQStreamEventHandler{};
            --stream->handlerCount;
            removed = true;
        } else {
            ++i;
        }
    }
    return removed ? 0 : TQS_ERR_HANDLERS;
}

int32_t streamWait(TQStream *stream, uint32_t mask, uint32_t timeoutMs, uint32_t *event, char *message)
{
    WaitState *state = priv(stream)->wait;
    WaitResult taken = state->mutex.lock(timeoutMs);
    // Callers test the result for a negative value, so a mutex that cannot
    // be had must not come back as a positive wait result.
    if (taken != WaitResult::Signaled)
        return taken == WaitResult::Timeout ? TQS_ERR_TIMEOUT20 : TQS_ERR_FAILED;

    WaitNode node;
    node.previous = state->last;
    if (state->last)
        state->last->next = &node;
    else
        state->first = &node;
    state->last = &node;
    state->references.fetch_add(1, std::memory_order_relaxed);
    state->waiters.fetch_add(1, std::memory_order_release);
    mirrorWaiters(state);
    state->mutex.unlock();

    uint32_t word = 0;
    char text[TQ_STREAM_MESSAGE_SIZE];
    int32_t result;
    for (;;) {
        WaitResult woken = node.wake.wait(timeoutMs);
        state->mutex.lock();
        if (node.pending) {
            node.pending = false;
            word = node.word;
            memcpy(text, node.message, sizeof text);
            if (word == 0) {
                result = TQS_ERR_CLOSED;
                break;
            }
            if (mask & word) {
                result = 0;
                break;
            }
        } else if (woken != WaitResult::Signaled) {
            word = state->eventWord;
            memcpy(text, state->message, sizeof text);
            result = TQS_ERR_TIMEOUT20;
            break;
        } else {
            // A wake-up whose event was already taken on an earlier round.
            state->mutex.unlock();
            continue;
        }
        // Not for this mask: report it and wait again with the full time-out.
        state->mutex.unlock();
        if (event)
            *event = word;
        if (message)
            copyMessage(message, text);
    }

    if (node.previous)
        node.previous->next = node.next;
    else
        state->first = node.next;
    if (node.next)
        node.next->previous = node.previous;
    else
        state->last = node.previous;
    state->waiters.fetch_sub(1, std::memory_order_relaxed);
    mirrorWaiters(state);
    state->mutex.unlock();
    release(state);

    if (event)
        *event = word;
    if (message)
        copyMessage(message, text);
    return result;
}

int waitersOf(TQStream *stream) { return priv(stream)->wait->waiters.load(std::memory_order_acquire); }

Mutex &eventMutexOf(TQStream *stream) { return priv(stream)->wait->mutex; }

} // namespace tq::stream

int32_t postEvent(TQStream *stream, uint32_t event, const char *message, uint32_t *result)
{
    int32_t r = 0;
    uint32_t answer = 0;
    for (unsigned i = 0; i < stream->handlerCount && i < TQ_STREAM_MAX_HANDLERS && r >= 0; ++i) {
        TQStreamEventHandler &entry = stream->handlers[i];
        // An event of 0 reaches every handler; a mask of 0 receives every event.
        if (entry.mask != 0 && event != 0 && (entry.mask & event) == 0)
            continue;
        uint32_t clearMask = 0;
        if (entry.message)
            tq::stream::copyMessage(entry.message, message);
        answer = 0;
        r = entry.handler(stream, event, entry.user, &clearMask, entry.message);
        if (r >= 0)
            answer = clearMask;
    }
    if (result)
        *result = answer;

    tq::stream::WaitState *state = tq::stream::priv(stream)->wait;
    if (state->waiters.load(std::memory_order_acquire) == 0)
        return r;
    WaitResult taken = state->mutex.lock(100);
    if (taken != WaitResult::Signaled)
        return static_cast<int32_t>(taken);
    tq::stream::deliver(state, event, message);
    state->mutex.unlock();
    return 0;
}
