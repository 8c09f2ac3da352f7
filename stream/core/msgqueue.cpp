// Stream message queue: a ring of NUL-terminated texts.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tq/platform/numfmt.h"
#include "tq/platform/sync.h"
#include "status.h"
#include "tqstream.h"

namespace {

// Bytes after the ring that stay 0, so that a text at the very end of the
// ring is terminated whatever happens.
constexpr size_t kGuardBytes = 4;

tq::platform::Mutex *mutexOf(TQStreamMsg *queue) { return static_cast<tq::platform::Mutex *>(queue->mutex); }

void advance(TQStreamMsg *queue)
{
    queue->readIndex = (queue->readIndex + 1) % queue->capacity;
    --queue->used;
}

void skipNulBytes(TQStreamMsg *queue)
{
    while (queue->used > 0 && queue->ring[queue->readIndex] == 0)
        advance(queue);
}

int32_t streamMsgAddRef(TQStreamMsg *queue)
{
    ++queue->refCount;
    return 0;
}

int32_t streamMsgRelease(TQStreamMsg **queueAddress)
{
    if (!queueAddress || !*queueAddress)
        return 0;
    TQStreamMsg *queue = *queueAddress;
    if (--queue->refCount > 0)
        return 0;
    delete mutexOf(queue);
    std::free(queue);
    *queueAddress = nullptr;
    return 0;
}

int32_t streamMsgRead(TQStreamMsg *queue, char *buffer, uint32_t size, uint32_t *length)
{
    skipNulBytes(queue);
    if (queue->used == 0) {
        // Nothing taken; the caller's buffer still reads as an empty text.
        if (buffer && size > 0)
            buffer[0] = 0;
        if (length)
            *length = 0;
        return TQS_EMPTY;
    }
    uint32_t count = 0;
    while (queue->used > 0 && queue->ring[queue->readIndex] != 0 && count + 1 < size) {
        if (buffer)
            buffer[count] = queue->ring[queue->readIndex];
        advance(queue);
        ++count;
    }
    int32_t result = queue->used > 0 && queue->ring[queue->readIndex] != 0 ? TQS_MORE : TQS_OK;
    skipNulBytes(queue);
    if (buffer && size > count)
        buffer[count] = 0;
    if (length)
        *length = count;
    return result;
}

// Takes the oldest message out without copying it.
void discardOldest(TQStreamMsg *queue) { streamMsgRead(queue, nullptr, queue->capacity, nullptr); }

int32_t streamMsgPrintf(TQStreamMsg *queue, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = tq::platform::vcformat(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return TQS_ERR_FAILED;
    }
    const uint64_t needed = static_cast<uint64_t>(length) + 1;
    // A text that cannot fit the whole ring is refused before anything is
    // overwritten: the queue keeps what it had.
    if (needed > queue->capacity) {
        va_end(again);
        return TQS_ERR_TOOLARGE;
    }

    // Make room by dropping the oldest messages whole. An empty queue starts
    // again at the beginning of the ring, so a text never has to pad the end
    // of an empty ring (and be counted against its own room).
    uint32_t write = 0;
    uint32_t padding = 0;
    for (;;) {
        if (queue->used == 0)
            queue->readIndex = 0;
        write = (queue->readIndex + queue->used) % queue->capacity;
        const uint32_t room = queue->capacity - write;
        padding = needed <= room ? 0 : room;
        if (queue->used + padding + needed <= queue->capacity)
            break;
        discardOldest(queue);
    }
    if (padding) {
        std::memset(queue->ring + write, 0, padding);
        write = 0;
    }
    tq::platform::vcformat(queue->ring + write, needed, format, again);
    va_end(again);
    queue->used += padding + static_cast<uint32_t>(needed);
    return TQS_OK;
}

int32_t streamMsgGetUsed(TQStreamMsg *queue, uint32_t *used)
{
    if (used)
        *used = queue->used;
    return 0;
}

int32_t streamMsgGetCapacity(TQStreamMsg *queue, uint32_t *capacity)
{
    if (capacity)
        *capacity = queue->capacity;
    return 0;
}

int32_t streamMsgGetFree(TQStreamMsg *queue, uint32_t *available)
{
    if (available)
        *available = queue->capacity - queue->used;
    return 0;
}

int32_t streamMsgFlush(TQStreamMsg *queue)
{
    queue->used = 0;
    queue->readIndex = 0;
    return 0;
}

int32_t streamMsgLock(TQStreamMsg *queue, uint32_t timeoutMs)
{
    return tq::stream::lockResult(mutexOf(queue)->lock(timeoutMs));
}

int32_t streamMsgUnlock(TQStreamMsg *queue) { return mutexOf(queue)->unlock() ? 1 : 0; }

} // namespace

TQ_API int32_t StreamMsgCommonCreate(uint32_t capacity, TQStreamMsg **queueAddress)
{
    // A ring of 0 bytes could hold nothing; sizes beyond 2 GB are a caller's
    // mistake rather than a queue.
    if (capacity == 0 || capacity > INT32_MAX || !queueAddress)
        return TQS_ERR_NOMEM;
    auto *queue = static_cast<TQStreamMsg *>(std::calloc(1, sizeof(TQStreamMsg) + capacity + kGuardBytes));
    if (!queue)
        return TQS_ERR_NOMEM;
    auto *mutex = new (std::nothrow) tq::platform::Mutex;
    if (!mutex) {
        std::free(queue);
        return TQS_ERR_NOMEM;
    }
    queue->streamMsgAddRef = streamMsgAddRef;
    queue->streamMsgRelease = streamMsgRelease;
    queue->streamMsgRead = streamMsgRead;
    queue->streamMsgPrintf = streamMsgPrintf;
    queue->streamMsgGetUsed = streamMsgGetUsed;
    queue->streamMsgGetCapacity = streamMsgGetCapacity;
    queue->streamMsgGetFree = streamMsgGetFree;
    queue->streamMsgFlush = streamMsgFlush;
    queue->streamMsgLock = streamMsgLock;
    queue->streamMsgUnlock = streamMsgUnlock;
    queue->refCount = 1;
    queue->mutex = mutex;
    queue->capacity = capacity;
    *queueAddress = queue;
    return TQS_OK;
}
