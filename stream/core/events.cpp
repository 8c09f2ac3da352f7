// Stream events: up to three handlers called on the posting thread, and
// threads blocked in streamWait until an event of their mask arrives.
#include <cstring>

#include "streamimpl.h"
#include "tq/platform/broadcast.h"
#include "tq/platform/sync.h"
#include "tq/platform/text.h"

using tq::platform::EventBroadcast;
using tq::platform::Mutex;

namespace tq::stream {

namespace {

// The handler table's lock, held around every change and every delivery: an
// uninstall waits for a delivery under way, so a handler is never called
// after its uninstall returned, and a delivery never sees a half-moved
// entry. Recursive: a handler may install or uninstall on its own thread.
class HandlerGuard {
public:
    explicit HandlerGuard(TQStream *stream) : m_(priv(stream)->handlerLock)
    {
        if (m_)
            m_->lock();
    }
    ~HandlerGuard()
    {
        if (m_)
            m_->unlock();
    }
    // Lets go before the waiters are woken: they need no handler.
    void release()
    {
        if (m_)
            m_->unlock();
        m_ = nullptr;
    }
    HandlerGuard(const HandlerGuard &) = delete;
    HandlerGuard &operator=(const HandlerGuard &) = delete;

private:
    Mutex *m_;
};

// Messages longer than the 256-byte buffers are cut to 255 characters.
void copyMessage(char *to, const char *from) { tq::platform::copyText(to, TQ_STREAM_MESSAGE_SIZE, from); }

// The stream record mirrors the number of waiting threads and the last event
// handed to them; the broadcast stops calling this when the stream closes it.
void mirror(void *context, int waiting, const uint32_t *word, const char *text)
{
    auto *stream = static_cast<TQStream *>(context);
    stream->waiterCount = static_cast<int16_t>(waiting);
    if (word) {
        stream->eventWord = *word;
        copyMessage(stream->eventMessage, text);
    }
}

} // namespace

// The wait state is the platform's event broadcast: every thread waiting when
// an event is posted gets its own copy once, and destruction (event word 0)
// ends every wait without the waiters touching the freed stream.
WaitState *waitStateCreate(TQStream *stream) { return EventBroadcast::create(mirror, stream); }

void waitStateClose(WaitState *state) { state->close(); }

int32_t streamInstallEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler, void *user,
                                  char *message)
{
    // postEvent calls every installed entry; a null one would be called at
    // the next event.
    if (!handler)
        return TQS_ERR_HANDLERS;
    HandlerGuard guard(stream);
    if (stream->handlerCount >= TQ_STREAM_MAX_HANDLERS)
        return TQS_ERR_HANDLERS;
    stream->handlers[stream->handlerCount++] = TQStreamEventHandler{mask, handler, user, message};
    return 0;
}

int32_t streamUninstallEventHandler(TQStream *stream, uint32_t /*mask*/, TQStreamEventHandlerFn handler, void *user)
{
    // The table stays packed: the last entry moves into a freed place and is
    // looked at again there, so every matching entry goes.
    HandlerGuard guard(stream);
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
    // Callers test the result for a negative value, so a mutex that cannot be
    // had must not come back as a positive wait result.
    switch (priv(stream)->wait->wait(mask, timeoutMs, event, message)) {
    case EventBroadcast::Outcome::Event:
        return 0;
    case EventBroadcast::Outcome::Closed:
        return TQS_ERR_CLOSED;
    case EventBroadcast::Outcome::Timeout:
    case EventBroadcast::Outcome::LockTimeout:
        return TQS_ERR_WAIT_TIMEOUT;
    case EventBroadcast::Outcome::LockFailed:
        break;
    }
    return TQS_ERR_FAILED;
}

int waitersOf(TQStream *stream) { return priv(stream)->wait->waiting(); }

Mutex &eventMutexOf(TQStream *stream) { return priv(stream)->wait->mutex(); }

} // namespace tq::stream

int32_t postEvent(TQStream *stream, uint32_t event, const char *message, uint32_t *result)
{
    int32_t r = 0;
    uint32_t answer = 0;
    tq::stream::HandlerGuard guard(stream);
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
    guard.release();
    if (result)
        *result = answer;

    switch (tq::stream::priv(stream)->wait->post(event, message, 100)) {
    case EventBroadcast::PostResult::NoWaiter:
        return r;
    case EventBroadcast::PostResult::Busy:
        return static_cast<int32_t>(TQ_WAIT_TIMEOUT);
    case EventBroadcast::PostResult::Delivered:
        break;
    }
    return 0;
}
