/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Segmented buffer: the recent output of one writer, kept in fixed-size
 * segments chained in write order, for any number of buffer readers that read
 * at their own pace. Positions and lengths are in bytes; a position counts
 * from the last (re)initialisation of the buffer. Writers reserve room in
 * place and fill it; readers get pointers into the segments (piece lists),
 * nothing is copied by the buffer itself.
 *
 * Unlike the other records of the stream engine, the buffer and its readers
 * keep their function fields after their data fields. Drivers reach these
 * records through the function fields, so never reorder a field; the order is
 * guarded at the end of this file.
 *
 * The buffer takes no lock: callers hold the owning stream's lock around
 * every call. */
#ifndef TQSTREAM_BUFFER_H
#define TQSTREAM_BUFFER_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/list.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQBuffer TQBuffer;
typedef struct TQBufferSegment TQBufferSegment;
typedef struct TQBufferReader TQBufferReader;
typedef struct TQBufferListener TQBufferListener;

/* Called on the writer's thread inside bufferCompleteWrite for every run of
 * committed bytes that lies in one segment. */
typedef void (*TQBufferListenerFn)(void *data, int64_t length, void *context);

/* One segment: segment size bytes of data holding the bytes from
 * sequence x segment size on. A segment holds a reference on the segment
 * written after it, so a reader's segment keeps everything newer alive. */
struct TQBufferSegment {
    int32_t refCount;
    int64_t sequence;
    uint8_t *data;
    int32_t (*segmentAddRef)(TQBufferSegment *segment);
    int32_t (*TQBufferDataDelRef)(TQBufferSegment **segment);
    TQBufferSegment *following;
    TQListLink windowLink;    /* owner: the buffer while in its window */
    TQListLink allocatedLink; /* owner: the buffer while it counts the segment */
};

/* Listener node, laid out as the stream's listener node. */
struct TQBufferListener {
    int32_t refCount;
    int32_t (*listenerAddRef)(TQBufferListener *node);
    int32_t (*listenerRelease)(TQBufferListener **node);
    TQBufferListenerFn function;
    void *context;
    TQListLink link;
};

struct TQBuffer {
    int32_t refCount;
    int64_t nextSequence;
    int32_t allocatedCount;
    int32_t windowCount;
    int32_t minimumSegments;
    int32_t maximumSegments;
    int32_t segmentSize;
    TQPiece *writePieces;           /* open write reservation, null when none */
    TQBufferSegment *writeSegment;
    int32_t writeOffset;            /* bytes used in the write segment */
    int64_t writeReserved;          /* bytes of the open write reservation */
    int64_t bufferSize;             /* largest single write reservation */

    int32_t (*bufferAddRef)(TQBuffer *buffer);
    int32_t (*bufferRelease)(TQBuffer **buffer);
    TQBufferReader *(*bufferNewReader)(TQBuffer *buffer, int64_t position, int16_t whence);
    int64_t (*bufferWrite)(TQBuffer *buffer, const void *source, int64_t length);
    int64_t (*bufferReserveWrite)(TQBuffer *buffer, TQPiece **pieces, uint32_t *pieceCount, int64_t length);
    int64_t (*bufferCompleteWrite)(TQBuffer *buffer, int64_t length);
    int64_t (*bufferGetBytesWritten)(TQBuffer *buffer);
    int64_t (*bufferGetFirstPosition)(TQBuffer *buffer);
    int32_t (*bufferRestart)(TQBuffer *buffer);
    int32_t (*bufferReset)(TQBuffer *buffer, int32_t segmentSize, int32_t bufferSize, int32_t maximumSize);
    int32_t (*bufferNothing)(TQBuffer *buffer); /* does nothing, returns 0 */
    TQBufferListener *(*bufferAddListener)(TQBuffer *buffer, TQBufferListenerFn function, void *context);
    int32_t (*bufferRemoveListener)(TQBuffer *buffer, TQBufferListenerFn function, void *context);
    int32_t (*bufferCheckReaders)(TQBuffer *buffer);
    void *unused1;
    void *unused2;
    int32_t (*bufferClose)(TQBuffer *buffer);

    TQListHead readers;   /* TQBufferReader, link */
    TQListHead window;    /* TQBufferSegment, windowLink, oldest first */
    TQListHead allocated; /* TQBufferSegment, allocatedLink */
    TQListHead listeners; /* TQBufferListener, link */
};

struct TQBufferReader {
    int32_t refCount;
    int32_t offset;            /* in the current segment */
    TQBufferSegment *segment;  /* current segment, referenced */
    TQPiece *pieces;           /* open read reservation, null when none */
    int16_t lost;
    int64_t initialPosition;
    int16_t initialWhence;
    int64_t reserved;          /* bytes of the open read reservation */

    int32_t (*bufferReaderAddRef)(TQBufferReader *reader);
    int32_t (*bufferReaderRelease)(TQBufferReader **reader);
    int64_t (*bufferReaderRead)(TQBufferReader *reader, void *destination, int64_t length);
    int64_t (*TQBufferReaderReserveRead)(TQBufferReader *reader, TQPiece **pieces, uint32_t *pieceCount,
                                         int64_t length);
    int64_t (*bufferReaderCompleteRead)(TQBufferReader *reader, int64_t length);
    int64_t (*bufferReaderAvail)(TQBufferReader *reader);
    int64_t (*bufferReaderSeek)(TQBufferReader *reader, int64_t offset, int16_t whence);
    void *(*bufferReaderPeek)(TQBufferReader *reader, int64_t *count, int64_t *position);
    int32_t (*bufferReaderUnlink)(TQBufferReader *reader);

    TQListLink link; /* owner: the buffer while the reader is in its list */
};

/* New buffer with a reference count of 1, or null for bad sizes or without
 * memory. Sizes in bytes: segment size, buffer size (the largest single
 * write reservation), maximum size (bounds the number of segments). */
TQ_API TQBuffer *TQCreateBuffer(int32_t segmentSize, int32_t bufferSize, int32_t maximumSize);

typedef TQBuffer *(*TQCreateBufferFn)(int32_t segmentSize, int32_t bufferSize, int32_t maximumSize);

#ifdef __cplusplus
}
#endif

/* ---- Record order ------------------------------------------------------------
 * Exact offsets on the LP64 platform. */
#ifdef __cplusplus
#define TQ_BUFFER_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_BUFFER_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, sequence) == 8);
TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, data) == 16);
TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, segmentAddRef) == 24);
TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, TQBufferDataDelRef) == 32);
TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, following) == 40);
TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, windowLink) == 48);
TQ_BUFFER_ASSERT(offsetof(TQBufferSegment, allocatedLink) == 72);

TQ_BUFFER_ASSERT(offsetof(TQBufferListener, listenerAddRef) == 8);
TQ_BUFFER_ASSERT(offsetof(TQBufferListener, function) == 24);
TQ_BUFFER_ASSERT(offsetof(TQBufferListener, context) == 32);
TQ_BUFFER_ASSERT(offsetof(TQBufferListener, link) == 40);

TQ_BUFFER_ASSERT(offsetof(TQBuffer, nextSequence) == 8);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, allocatedCount) == 16);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, windowCount) == 20);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, minimumSegments) == 24);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, maximumSegments) == 28);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, segmentSize) == 32);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, writePieces) == 40);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, writeSegment) == 48);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, writeOffset) == 56);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, writeReserved) == 64);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferSize) == 72);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferAddRef) == 80);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferNewReader) == 96);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferCompleteWrite) == 120);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferReset) == 152);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferNothing) == 160);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferCheckReaders) == 184);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, unused1) == 192);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, bufferClose) == 208);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, readers) == 216);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, window) == 240);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, allocated) == 264);
TQ_BUFFER_ASSERT(offsetof(TQBuffer, listeners) == 288);

TQ_BUFFER_ASSERT(offsetof(TQBufferReader, offset) == 4);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, segment) == 8);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, pieces) == 16);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, lost) == 24);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, initialPosition) == 32);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, initialWhence) == 40);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, reserved) == 48);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, bufferReaderAddRef) == 56);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, TQBufferReaderReserveRead) == 80);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, bufferReaderPeek) == 112);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, bufferReaderUnlink) == 120);
TQ_BUFFER_ASSERT(offsetof(TQBufferReader, link) == 128);

#undef TQ_BUFFER_ASSERT

#endif
