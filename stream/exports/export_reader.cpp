// Flat exports over readers, and the twins that give 32-bit counts.
#include "exportimpl.h"

using namespace tq::stream::exports;

TQ_API int32_t tqstream_getStreamFromReader(TQReader *reader, TQStream **stream)
{
    TQStream *owner = reader ? reader->readerGetStream(reader) : nullptr;
    put(stream, owner);
    return owner ? 0 : -1;
}

TQ_API ViStatus tqstream_readerSeek(TQReader *reader, int64_t offset, int32_t whence, int64_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, reader->readerSeek(reader, offset, whence));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerSeekl(TQReader *reader, int32_t offset, int32_t whence, int32_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, narrow(reader->readerSeek(reader, offset, whence)));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerPeek(TQReader *reader, int64_t *count, int64_t *position, void **data)
{
    if (!reader)
        return kNoObject;
    put(data, reader->readerPeek(reader, count, position));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerPeekl(TQReader *reader, void **data, int32_t *count, int32_t *position)
{
    if (!reader)
        return kNoObject;
    int64_t wideCount = 0;
    int64_t widePosition = 0;
    put(data, reader->readerPeek(reader, &wideCount, &widePosition));
    put(count, narrow(wideCount));
    put(position, narrow(widePosition));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerAvail(TQReader *reader, int64_t *count)
{
    if (!reader)
        return kNoObject;
    put(count, reader->readerAvail(reader));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerAvaill(TQReader *reader, int32_t *count)
{
    if (!reader)
        return kNoObject;
    put(count, narrow(reader->readerAvail(reader)));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerRead(TQReader *reader, void *destination, int64_t count, int64_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, reader->readerRead(reader, destination, count));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerReadl(TQReader *reader, void *destination, int32_t count, int32_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, narrow(reader->readerRead(reader, destination, count)));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerReserveRead(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count,
                                           int64_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, reader->readerReserveRead(reader, pieces, pieceCount, count));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerReserveReadl(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count,
                                            int64_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, narrow(reader->readerReserveRead(reader, pieces, pieceCount, count)));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerCompleteRead(TQReader *reader, int64_t count, int64_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, reader->readerCompleteRead(reader, count));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerCompleteReadl(TQReader *reader, int32_t count, int32_t *result)
{
    if (!reader)
        return kNoObject;
    put(result, narrow(reader->readerCompleteRead(reader, count)));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_readerCloneStream(TQReader *reader, int64_t count, TQStream **stream)
{
    if (!reader)
        return kNoObject;
    if (!stream)
        return kNoResult;
    return found(reader->readerCloneStream(reader, count), stream, VI_ERROR_SYSTEM_ERROR);
}

TQ_API ViStatus tqstream_readerClose(TQReader *reader)
{
    if (!reader)
        return kNoObject;
    reader->readerUnlink(reader);
    TQReader *copy = reader;
    reader->readerRelease(&copy);
    return VI_SUCCESS;
}
