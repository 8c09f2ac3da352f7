/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Stream message queue: a ring of NUL-terminated text messages. Producers
 * append formatted lines, one consumer takes them out one at a time; when the
 * ring is full the oldest messages give way, whole. A message never wraps
 * around the end of the ring: the rest of the ring is padded with NUL bytes
 * and the message starts at the beginning.
 *
 * The queue does not lock itself: producers and the consumer bracket their
 * calls with streamMsgLock and streamMsgUnlock. Drivers, the resource manager
 * and the front panel call the function fields by position: never reorder a
 * field (the order is guarded at the end of this file). */
#ifndef TQSTREAM_MSGQUEUE_H
#define TQSTREAM_MSGQUEUE_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQStreamMsg TQStreamMsg;

struct TQStreamMsg {
    int32_t (*streamMsgAddRef)(TQStreamMsg *queue);
    /* Drops the holder's reference; at zero frees the queue and clears *queue. */
    int32_t (*streamMsgRelease)(TQStreamMsg **queue);
    /* 0 the whole next message was taken; 1 it is longer than the buffer and
     * size - 1 characters were taken, the rest stays first; 2 empty. */
    int32_t (*streamMsgRead)(TQStreamMsg *queue, char *buffer, uint32_t size, uint32_t *length);
    /* 0, or -16 when the message does not fit the whole ring. */
    int32_t (*streamMsgPrintf)(TQStreamMsg *queue, const char *format, ...);
    int32_t (*streamMsgGetUsed)(TQStreamMsg *queue, uint32_t *used);
    int32_t (*streamMsgGetCapacity)(TQStreamMsg *queue, uint32_t *capacity);
    int32_t (*streamMsgGetFree)(TQStreamMsg *queue, uint32_t *available);
    int32_t (*streamMsgFlush)(TQStreamMsg *queue);
    /* 0 acquired, -22 time-out, -6 failure. */
    int32_t (*streamMsgLock)(TQStreamMsg *queue, uint32_t timeoutMs);
    /* Nonzero when released, 0 when the calling thread did not hold the lock. */
    int32_t (*streamMsgUnlock)(TQStreamMsg *queue);

    int32_t refCount;
    void *mutex;        /* the queue's own lock */
    uint32_t capacity;  /* bytes in the ring */
    uint32_t readIndex;
    uint32_t used;      /* bytes from readIndex on: messages, terminators, padding */
    char ring[];        /* capacity bytes, then a few that stay 0 */
};

/* Creates a queue of capacity bytes (at least 1) with a reference count of 1
 * and stores it in *queue: 0, or -4 without memory (or for a capacity of 0),
 * in which case *queue is left alone. */
TQ_API int32_t StreamMsgCommonCreate(uint32_t capacity, TQStreamMsg **queue);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define TQ_MSGQUEUE_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_MSGQUEUE_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, streamMsgRelease) == 8);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, streamMsgPrintf) == 24);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, streamMsgFlush) == 56);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, streamMsgUnlock) == 72);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, refCount) == 80);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, mutex) == 88);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, capacity) == 96);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, readIndex) == 100);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, used) == 104);
TQ_MSGQUEUE_ASSERT(offsetof(TQStreamMsg, ring) == 108);

#undef TQ_MSGQUEUE_ASSERT

#endif
