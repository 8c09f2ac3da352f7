// Flat exports over stream message queues.
#include "exportimpl.h"

using namespace tq::stream::exports;

TQ_API ViStatus tqstream_streamMsgCreate(uint32_t capacity, TQStreamMsg **queue)
{
    if (!queue)
        return kNoResult;
    return mapped(StreamMsgCommonCreate(capacity, queue));
}

TQ_API ViStatus tqstream_streamMsgRead(TQStreamMsg *queue, char *buffer, uint32_t size, uint32_t *length)
{
    if (!queue)
        return kNoObject;
    return mapped(queue->streamMsgRead(queue, buffer, size, length));
}

TQ_API ViStatus tqstream_streamMsgAvail(TQStreamMsg *queue, uint32_t *used)
{
    if (!queue)
        return kNoObject;
    return mapped(queue->streamMsgGetUsed(queue, used));
}

TQ_API ViStatus tqstream_streamMsgSize(TQStreamMsg *queue, uint32_t *capacity)
{
    if (!queue)
        return kNoObject;
    return mapped(queue->streamMsgGetCapacity(queue, capacity));
}

TQ_API ViStatus tqstream_streamMsgEmpty(TQStreamMsg *queue, uint32_t *available)
{
    if (!queue)
        return kNoObject;
    return mapped(queue->streamMsgGetFree(queue, available));
}

TQ_API ViStatus tqstream_streamMsgFlush(TQStreamMsg *queue)
{
    if (!queue)
        return kNoObject;
    return mapped(queue->streamMsgFlush(queue));
}

TQ_API ViStatus tqstream_streamMsgLock(TQStreamMsg *queue, uint32_t timeoutMs)
{
    if (!queue)
        return kNoObject;
    return mapped(queue->streamMsgLock(queue, timeoutMs));
}

TQ_API ViStatus tqstream_streamMsgUnlock(TQStreamMsg *queue)
{
    if (!queue)
        return kNoObject;
    return queue->streamMsgUnlock(queue) ? VI_SUCCESS : VI_ERROR_SYSTEM_ERROR;
}

TQ_API ViStatus tqstream_streamMsgClose(TQStreamMsg *queue)
{
    if (!queue)
        return kNoObject;
    TQStreamMsg *copy = queue;
    return mapped(queue->streamMsgRelease(&copy));
}
