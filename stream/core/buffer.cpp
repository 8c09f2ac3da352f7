// Segmented buffer: one writer, any number of readers at their own pace.
//
// Who holds a segment: the window (while the segment is among the newest
// ones kept for new readers), the allocated list (while the buffer counts it
// against its maximum), the segment written before it (its following link),
// and any reader positioned in it. A segment is freed as soon as only the
// allocated list is left, so a reader far behind keeps exactly the segments
// from its own up to the newest alive, and nothing else.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "buffer_internal.h"
#include "listeners.h"
#include "status.h"
#include "tqstream.h"

using tq::stream::debugTrace;

namespace {

constexpr size_t kWindowLink = offsetof(TQBufferSegment, windowLink);
constexpr size_t kAllocatedLink = offsetof(TQBufferSegment, allocatedLink);
constexpr size_t kReaderLink = offsetof(TQBufferReader, link);
namespace listeners = tq::stream::listeners;

// Piece lists of up to this many entries (terminator included) live in the
// owner's record, so that a reservation of a block that spans a few segments
// does not allocate.
constexpr size_t kInlinePieces = 6;

struct BufferPrivate {
    TQBuffer pub;
    TQPiece writePieces[kInlinePieces];
    // Segments let go and kept for reuse, chained through their following
    // field; all of the current segment size.
    TQBufferSegment *pool;
    int32_t pooled;
};

// A segment knows the size of its data, so that one let go after a reset to
// another segment size is freed rather than kept.
struct SegmentPrivate {
    TQBufferSegment pub;
    int32_t capacity;
};

struct ReaderPrivate {
    TQBufferReader pub;
    // The open read reservation keeps a reference on the segment the reader
    // was in when it reserved (held[0]) and on every segment it hands out
    // (held[1] on), so that the reserved bytes stay valid even if the reader
    // is moved, restarted or reset, or the buffer goes, before it completes.
    TQBufferSegment **held;
    size_t heldCount;
    int32_t reservedOffset;
    TQPiece pieces[kInlinePieces];
    TQBufferSegment *heldLocal[kInlinePieces];
};

BufferPrivate *priv(TQBuffer *buffer) { return reinterpret_cast<BufferPrivate *>(buffer); }
SegmentPrivate *priv(TQBufferSegment *segment) { return reinterpret_cast<SegmentPrivate *>(segment); }
ReaderPrivate *priv(TQBufferReader *reader) { return reinterpret_cast<ReaderPrivate *>(reader); }

TQPiece *allocPieces(TQPiece *local, size_t entries)
{
    if (entries <= kInlinePieces)
        return local;
    return static_cast<TQPiece *>(std::calloc(entries, sizeof(TQPiece)));
}

void freePieces(TQPiece *pieces, TQPiece *local)
{
    if (pieces != local)
        std::free(pieces);
}

int32_t clampCount(int64_t count) { return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count); }

// Segment count for a size: quotient plus the remainder in bytes plus one.
// Callers that size buffers rely on exactly these counts.
int64_t segmentCount(int32_t size, int32_t segmentSize)
{
    return static_cast<int64_t>(size / segmentSize) + size % segmentSize + 1;
}

// The size checks of TQAllocBuffer, on their own so that a reset can refuse
// bad sizes before it touches anything.
bool sizesValid(int32_t seg, int32_t buf, int32_t max)
{
    if (seg < 1 || max < 1 || max < buf)
        return false;
    if (segmentCount(buf, seg) < 2) {
        debugTrace("TQAllocBuffer: bad args: seg %d buf %d max %d\n", seg, buf, max);
        return false;
    }
    return true;
}

TQBuffer *ownerOf(TQBufferReader *reader) { return static_cast<TQBuffer *>(reader->link.owner); }

TQBufferSegment *windowNext(TQBufferSegment *segment)
{
    return segment->windowLink.owner ? static_cast<TQBufferSegment *>(segment->windowLink.next) : nullptr;
}

// ---- Segments ---------------------------------------------------------------

int32_t segmentAddRef(TQBufferSegment *segment)
{
    ++segment->refCount;
    return 0;
}

void freeSegment(TQBufferSegment *segment)
{
    if (!segment->data)
        debugTrace("TQBufferDataDelRef: rel block but no data\n");
    std::free(segment->data);
    std::free(priv(segment));
}

// Keeps a segment that its buffer let go for the next allocation, when it
// has the buffer's segment size and the bound allows; false: free it.
bool keepSegment(TQBuffer *buffer, TQBufferSegment *segment)
{
    BufferPrivate *p = priv(buffer);
    if (!segment->data || priv(segment)->capacity != buffer->segmentSize ||
        static_cast<int64_t>(buffer->allocatedCount) + p->pooled >= buffer->maximumSegments)
        return false;
    segment->refCount = 0;
    segment->sequence = 0;
    segment->following = p->pool;
    p->pool = segment;
    ++p->pooled;
    return true;
}

// Frees kept segments of another size than the buffer's, and those beyond
// what the maximum leaves beside the allocated ones.
void trimPool(TQBuffer *buffer)
{
    BufferPrivate *p = priv(buffer);
    while (p->pool && (priv(p->pool)->capacity != buffer->segmentSize ||
                       static_cast<int64_t>(buffer->allocatedCount) + p->pooled > buffer->maximumSegments)) {
        TQBufferSegment *segment = p->pool;
        p->pool = segment->following;
        --p->pooled;
        freeSegment(segment);
    }
}

void emptyPool(TQBuffer *buffer)
{
    BufferPrivate *p = priv(buffer);
    while (TQBufferSegment *segment = p->pool) {
        p->pool = segment->following;
        freeSegment(segment);
    }
    p->pooled = 0;
}

} // namespace

// Drops one reference. A segment that only the allocated list still holds
// is no use to anyone: it leaves the list and is freed, and so may the
// segments after it that it alone kept alive (handled in a loop, not by
// recursion, since a reader far behind can hold a long chain).
int32_t TQBufferDataDelRef(TQBufferSegment **segmentAddress)
{
    if (!segmentAddress)
        return 0;
    TQBufferSegment *segment = *segmentAddress;
    *segmentAddress = nullptr;
    while (segment) {
        int32_t count = --segment->refCount;
        TQBuffer *buffer = nullptr;
        if (count == 1 && segment->allocatedLink.owner) {
            buffer = static_cast<TQBuffer *>(segment->allocatedLink.owner);
            tqListRemove(&buffer->allocated, segment, kAllocatedLink);
            --buffer->allocatedCount;
            count = --segment->refCount;
        }
        if (count > 0)
            break;
        TQBufferSegment *following = segment->following;
        // Only a segment its buffer let go is kept; one that outlived its
        // buffer (held by a reader) has no buffer to go back to.
        if (!buffer || !keepSegment(buffer, segment))
            freeSegment(segment);
        segment = following;
    }
    return 0;
}

namespace {

void dropSegment(TQBufferSegment *segment) { TQBufferDataDelRef(&segment); }

void removeFromWindow(TQBuffer *buffer, TQBufferSegment *segment)
{
    tqListRemove(&buffer->window, segment, kWindowLink);
    --buffer->windowCount;
    dropSegment(segment);
}

// Puts a reader at (segment, offset); segment may be null.
void placeReader(TQBufferReader *reader, TQBufferSegment *segment, int32_t offset)
{
    if (segment)
        ++segment->refCount;
    TQBufferSegment *old = reader->segment;
    reader->segment = segment;
    reader->offset = offset;
    if (old)
        dropSegment(old);
}

int64_t bufferReaderSeek(TQBufferReader *reader, int64_t offset, int16_t whence);

// Readers whose segment has left the window jump to the oldest byte in it,
// which frees the segments only they held. A reader with an open read
// reservation stays: the bytes it was handed must not change under it.
void reclaim(TQBuffer *buffer)
{
    for (auto *reader = static_cast<TQBufferReader *>(buffer->readers.first); reader;
         reader = static_cast<TQBufferReader *>(reader->link.next)) {
        if (reader->segment && !reader->segment->windowLink.owner && !reader->pieces) {
            placeReader(reader, nullptr, 0);
            bufferReaderSeek(reader, 0, TQ_WHENCE_OLDEST);
        }
    }
}

// A new segment appended to the window, or null when the maximum is reached
// and nothing can be reclaimed, or without memory.
TQBufferSegment *allocSegment(TQBuffer *buffer)
{
    // The window keeps the minimum count of segments. It never gives up the
    // write segment (or what follows it): that is where the writer is, and
    // an open write reservation may span the segments after it. A buffer
    // whose sizes give a maximum below the minimum keeps its window within
    // the maximum, or writing would stop for good once the maximum is reached.
    int32_t limit = std::min(buffer->minimumSegments, buffer->maximumSegments);
    while (buffer->windowCount >= limit) {
        auto *oldest = static_cast<TQBufferSegment *>(buffer->window.first);
        if (!oldest || oldest == buffer->writeSegment)
            break;
        removeFromWindow(buffer, oldest);
    }
    if (buffer->allocatedCount >= buffer->maximumSegments)
        reclaim(buffer);
    if (buffer->allocatedCount >= buffer->maximumSegments)
        return nullptr;

    TQBufferSegment *segment = nullptr;
    if (BufferPrivate *p = priv(buffer); p->pool) {
        // A kept segment is not zeroed again: readers only ever see bytes
        // the writer committed, and the writer fills what it commits, so
        // zeroing would only cost a pass over memory about to be written.
        segment = p->pool;
        p->pool = segment->following;
        --p->pooled;
        segment->following = nullptr;
    } else {
        auto *data = static_cast<uint8_t *>(std::calloc(static_cast<size_t>(buffer->segmentSize), 1));
        auto *fresh = static_cast<SegmentPrivate *>(std::calloc(1, sizeof(SegmentPrivate)));
        if (!data || !fresh) {
            std::free(data);
            std::free(fresh);
            return nullptr;
        }
        fresh->capacity = buffer->segmentSize;
        segment = &fresh->pub;
        segment->data = data;
    }
    // The sequence number is taken only once the segment exists, so that
    // positions stay contiguous even when an allocation fails.
    segment->sequence = buffer->nextSequence++;
    segment->segmentAddRef = segmentAddRef;
    segment->TQBufferDataDelRef = TQBufferDataDelRef;
    if (auto *newest = static_cast<TQBufferSegment *>(buffer->window.last)) {
        newest->following = segment;
        ++segment->refCount;
    }
    tqListAppend(&buffer->window, buffer, segment, kWindowLink);
    ++segment->refCount;
    ++buffer->windowCount;
    tqListAppend(&buffer->allocated, buffer, segment, kAllocatedLink);
    ++segment->refCount;
    ++buffer->allocatedCount;
    return segment;
}

void dropWriteReservation(TQBuffer *buffer)
{
    if (buffer->writePieces)
        freePieces(buffer->writePieces, priv(buffer)->writePieces);
    buffer->writePieces = nullptr;
    buffer->writeReserved = 0;
}

// Empties the window: the first segment lets go of the rest first, so that
// the chain is not walked segment by segment through the following links.
void clearWindow(TQBuffer *buffer)
{
    auto *first = static_cast<TQBufferSegment *>(buffer->window.first);
    if (first && first->following) {
        TQBufferSegment *following = first->following;
        first->following = nullptr;
        dropSegment(following);
    }
    while (auto *segment = static_cast<TQBufferSegment *>(buffer->window.first))
        removeFromWindow(buffer, segment);
    buffer->writeSegment = nullptr;
    buffer->writeOffset = 0;
}

// ---- Listeners ---------------------------------------------------------------

void notifyListeners(TQBuffer *buffer, uint8_t *data, int64_t length)
{
    listeners::walk<TQBufferListener>(&buffer->listeners,
                                      [&](TQBufferListener *node) { node->function(data, length, node->context); });
}

// ---- Buffer operations ---------------------------------------------------------

int32_t bufferAddRef(TQBuffer *buffer)
{
    ++buffer->refCount;
    return 0;
}

int32_t bufferReaderRelease(TQBufferReader **readerAddress);

int32_t bufferRelease(TQBuffer **bufferAddress)
{
    if (!bufferAddress || !*bufferAddress)
        return 0;
    TQBuffer *buffer = *bufferAddress;
    if (--buffer->refCount > 0)
        return 0;

    // Readers still held elsewhere survive, unlinked.
    while (auto *reader = static_cast<TQBufferReader *>(buffer->readers.first)) {
        tqListRemove(&buffer->readers, reader, kReaderLink);
        bufferReaderRelease(&reader);
    }
    dropWriteReservation(buffer);
    clearWindow(buffer);
    // What is left is held by surviving readers (or their open reservations):
    // those segments stop counting against this buffer and are freed by
    // their last holder, without touching the buffer again.
    while (auto *segment = static_cast<TQBufferSegment *>(buffer->allocated.first)) {
        tqListRemove(&buffer->allocated, segment, kAllocatedLink);
        --buffer->allocatedCount;
        dropSegment(segment);
    }
    listeners::unlinkAll<TQBufferListener>(&buffer->listeners);
    emptyPool(buffer);
    std::free(priv(buffer));
    *bufferAddress = nullptr;
    return 0;
}

int32_t bufferClose(TQBuffer *buffer)
{
    TQBuffer *copy = buffer;
    return bufferRelease(&copy);
}

int64_t bufferReserveWrite(TQBuffer *buffer, TQPiece **pieces, uint32_t *pieceCount, int64_t length)
{
    if (pieces)
        *pieces = nullptr;
    if (pieceCount)
        *pieceCount = 0;
    if (buffer->writePieces)
        return 0;
    if (!buffer->writeSegment) {
        // A reset that ran out of memory left no segment: try again now.
        buffer->writeSegment = allocSegment(buffer);
        buffer->writeOffset = 0;
        if (!buffer->writeSegment)
            return 0;
    }
    if (buffer->writeOffset == buffer->segmentSize) {
        // The last commit filled the write segment when no further segment
        // could be had. Move on first, so that a full write segment never has
        // a segment after it: readers that reach its end must not step past
        // the write position into room that was only reserved.
        TQBufferSegment *next = windowNext(buffer->writeSegment);
        if (!next)
            next = allocSegment(buffer);
        if (!next)
            return 0;
        buffer->writeSegment = next;
        buffer->writeOffset = 0;
    }
    int64_t n = std::clamp<int64_t>(length, 0, buffer->bufferSize);
    const int64_t segmentSize = buffer->segmentSize;

    // Walk forward from the write segment, growing the window as needed.
    TQBufferSegment *segment = buffer->writeSegment;
    int64_t covered = segmentSize - buffer->writeOffset;
    size_t segments = 1;
    while (covered < n) {
        TQBufferSegment *next = windowNext(segment);
        if (!next)
            next = allocSegment(buffer);
        if (!next)
            break;
        segment = next;
        covered += segmentSize;
        ++segments;
    }
    int64_t total = std::min(n, covered);
    // Nothing to hand out opens no reservation: a writer that got 0 bytes
    // need not complete anything before it tries again.
    if (total == 0)
        return 0;

    TQPiece *list = allocPieces(priv(buffer)->writePieces, segments + 1);
    if (!list)
        return 0;
    uint32_t count = 0;
    int64_t remaining = total;
    segment = buffer->writeSegment;
    int64_t offset = buffer->writeOffset;
    while (remaining > 0) {
        int64_t piece = std::min(segmentSize - offset, remaining);
        if (piece > 0) {
            list[count].length = static_cast<uint32_t>(piece);
            list[count].data = segment->data + offset;
            ++count;
            remaining -= piece;
        }
        if (remaining > 0) {
            segment = windowNext(segment);
            offset = 0;
        }
    }
    list[count].length = 0;
    list[count].data = nullptr;

    buffer->writePieces = list;
    buffer->writeReserved = total;
    if (pieces)
        *pieces = list;
    if (pieceCount)
        *pieceCount = count;
    return total;
}

int64_t bufferCompleteWrite(TQBuffer *buffer, int64_t length)
{
    if (!buffer->writePieces)
        return 0;
    int64_t n = std::clamp<int64_t>(length, 0, buffer->writeReserved);
    const int64_t committed = n;
    const int64_t segmentSize = buffer->segmentSize;

    int64_t room = segmentSize - buffer->writeOffset;
    while (room < n) {
        if (room > 0)
            notifyListeners(buffer, buffer->writeSegment->data + buffer->writeOffset, room);
        n -= room;
        buffer->writeSegment = windowNext(buffer->writeSegment);
        buffer->writeOffset = 0;
        room = segmentSize;
    }
    if (n > 0)
        notifyListeners(buffer, buffer->writeSegment->data + buffer->writeOffset, n);
    buffer->writeOffset += static_cast<int32_t>(n);
    if (buffer->writeOffset == buffer->segmentSize) {
        // Move on to the next segment now, so that readers and the next
        // reservation see a write segment with room. When none can be had
        // the write position stays at the end of the full segment and the
        // next reservation tries again; the bytes are committed either way.
        TQBufferSegment *next = windowNext(buffer->writeSegment);
        if (!next)
            next = allocSegment(buffer);
        if (next) {
            buffer->writeSegment = next;
            buffer->writeOffset = 0;
        }
    }
    dropWriteReservation(buffer);
    return committed;
}

int64_t bufferWrite(TQBuffer *buffer, const void *source, int64_t length)
{
    if (buffer->writePieces)
        return 0;
    TQPiece *pieces = nullptr;
    int64_t granted = bufferReserveWrite(buffer, &pieces, nullptr, length);
    if (!pieces)
        return 0;
    const auto *from = static_cast<const uint8_t *>(source);
    for (TQPiece *piece = pieces; piece->length; ++piece) {
        std::memcpy(piece->data, from, piece->length);
        from += piece->length;
    }
    return bufferCompleteWrite(buffer, granted);
}

int64_t bufferGetBytesWritten(TQBuffer *buffer)
{
    if (!buffer->writeSegment)
        return 0;
    return buffer->writeSegment->sequence * buffer->segmentSize + buffer->writeOffset;
}

int64_t bufferGetFirstPosition(TQBuffer *buffer)
{
    auto *first = static_cast<TQBufferSegment *>(buffer->window.first);
    return first ? first->sequence * buffer->segmentSize : 0;
}

void loseReaders(TQBuffer *buffer)
{
    for (auto *reader = static_cast<TQBufferReader *>(buffer->readers.first); reader;
         reader = static_cast<TQBufferReader *>(reader->link.next)) {
        placeReader(reader, nullptr, 0);
        reader->lost = 1;
    }
}

int32_t bufferRestart(TQBuffer *buffer)
{
    loseReaders(buffer);
    dropWriteReservation(buffer);
    auto *first = static_cast<TQBufferSegment *>(buffer->window.first);
    if (!first)
        return 0;
    if (first->following) {
        TQBufferSegment *following = first->following;
        first->following = nullptr;
        dropSegment(following);
    }
    while (TQBufferSegment *later = windowNext(first))
        removeFromWindow(buffer, later);
    first->sequence = 0;
    buffer->nextSequence = 1;
    buffer->writeSegment = first;
    buffer->writeOffset = 0;
    return 0;
}

} // namespace

int32_t TQBufferKeptSegments(const TQBuffer *buffer)
{
    return reinterpret_cast<const BufferPrivate *>(buffer)->pooled;
}

int32_t TQAllocBuffer(TQBuffer *buffer, int32_t seg, int32_t buf, int32_t max)
{
    if (!sizesValid(seg, buf, max))
        return TQS_ERR_NOMEM;
    buffer->minimumSegments = clampCount(segmentCount(buf, seg));
    buffer->segmentSize = seg;
    buffer->nextSequence = 0;
    buffer->maximumSegments = clampCount(segmentCount(max, seg));
    buffer->bufferSize = buf;
    trimPool(buffer);
    TQBufferSegment *segment = allocSegment(buffer);
    if (!segment)
        return -2;
    buffer->writeSegment = segment;
    buffer->writeOffset = 0;
    return 0;
}

namespace {

int32_t bufferReset(TQBuffer *buffer, int32_t seg, int32_t buf, int32_t max)
{
    // Refuse bad sizes before anything is let go: the buffer stays usable.
    if (!sizesValid(seg, buf, max))
        return TQS_ERR_NOMEM;
    loseReaders(buffer);
    dropWriteReservation(buffer);
    clearWindow(buffer);
    int32_t result = TQAllocBuffer(buffer, seg, buf, max);
    if (result == 0) {
        auto *first = static_cast<TQBufferSegment *>(buffer->window.first);
        for (auto *reader = static_cast<TQBufferReader *>(buffer->readers.first); reader;
             reader = static_cast<TQBufferReader *>(reader->link.next)) {
            placeReader(reader, first, 0);
            reader->lost = 0;
        }
    }
    return result;
}

int32_t bufferNothing(TQBuffer *) { return 0; }

TQBufferListener *bufferAddListener(TQBuffer *buffer, TQBufferListenerFn function, void *context)
{
    return listeners::append<TQBufferListener>(&buffer->listeners, buffer, function, context);
}

int32_t bufferRemoveListener(TQBuffer *buffer, TQBufferListenerFn function, void *context)
{
    if (TQBufferListener *node = listeners::find<TQBufferListener>(&buffer->listeners, function, context))
        listeners::unlink(&buffer->listeners, node);
    return 0;
}

int64_t readerAvailable(TQBuffer *buffer, TQBufferReader *reader)
{
    if (!reader->segment || !buffer->writeSegment)
        return 0;
    return (buffer->writeSegment->sequence - reader->segment->sequence) * buffer->segmentSize - reader->offset +
           buffer->writeOffset;
}

int32_t bufferCheckReaders(TQBuffer *buffer)
{
    for (auto *reader = static_cast<TQBufferReader *>(buffer->readers.first); reader;
         reader = static_cast<TQBufferReader *>(reader->link.next)) {
        if (readerAvailable(buffer, reader) < 0)
            return -1;
    }
    return 0;
}

// ---- Buffer readers -------------------------------------------------------------

int32_t bufferReaderAddRef(TQBufferReader *reader)
{
    ++reader->refCount;
    return 0;
}

int64_t bufferReaderCompleteRead(TQBufferReader *reader, int64_t length);

int32_t bufferReaderRelease(TQBufferReader **readerAddress)
{
    if (!readerAddress || !*readerAddress)
        return 0;
    TQBufferReader *reader = *readerAddress;
    int32_t count = --reader->refCount;
    if (count == 1 && reader->link.owner) {
        // Only the buffer's list still holds the reader: nobody can use it
        // any more, so it leaves the list instead of lingering there.
        tqListRemove(&ownerOf(reader)->readers, reader, kReaderLink);
        count = --reader->refCount;
    }
    if (count > 0)
        return 0;
    if (TQBuffer *buffer = ownerOf(reader)) // never left linked once freed
        tqListRemove(&buffer->readers, reader, kReaderLink);
    bufferReaderCompleteRead(reader, 0);
    placeReader(reader, nullptr, 0);
    std::free(priv(reader));
    *readerAddress = nullptr;
    return 0;
}

// Moves by offset bytes from the reader's position: forward along the
// following links but never past the write position, backward through the
// window but never before its oldest byte. Returns the distance moved.
int64_t seekRelative(TQBuffer *buffer, TQBufferReader *reader, int64_t offset)
{
    const int64_t segmentSize = buffer->segmentSize;
    TQBufferSegment *segment = reader->segment;
    int64_t position = reader->offset;
    int64_t moved = 0;
    if (offset > 0) {
        int64_t remaining = offset;
        while (remaining > 0) {
            if (segment == buffer->writeSegment) {
                int64_t step = std::min(remaining, buffer->writeOffset - position);
                if (step > 0) {
                    position += step;
                    moved += step;
                }
                break;
            }
            int64_t rest = segmentSize - position;
            if (remaining < rest) {
                position += remaining;
                moved += remaining;
                break;
            }
            if (!segment->following) {
                position = segmentSize;
                moved += rest;
                break;
            }
            moved += rest;
            remaining -= rest;
            segment = segment->following;
            position = 0;
        }
    } else if (offset < 0) {
        int64_t remaining = -offset;
        for (;;) {
            if (remaining <= position) {
                position -= remaining;
                moved -= remaining;
                break;
            }
            moved -= position;
            remaining -= position;
            position = 0;
            TQBufferSegment *previous =
                segment->windowLink.owner ? static_cast<TQBufferSegment *>(segment->windowLink.previous) : nullptr;
            if (!previous)
                break;
            segment = previous;
            position = segmentSize;
        }
    }
    placeReader(reader, segment, static_cast<int32_t>(position));
    return moved;
}

int64_t bufferReaderSeek(TQBufferReader *reader, int64_t offset, int16_t whence)
{
    TQBuffer *buffer = ownerOf(reader);
    if (!buffer)
        return 0;
    switch (whence) {
    case TQ_WHENCE_OLDEST:
        if (offset < 0)
            return 0;
        placeReader(reader, static_cast<TQBufferSegment *>(buffer->window.first), 0);
        reader->lost = 0;
        if (!reader->segment || offset == 0)
            return 0;
        return seekRelative(buffer, reader, offset);
    case TQ_WHENCE_NEWEST:
        if (offset > 0)
            return 0;
        placeReader(reader, buffer->writeSegment, buffer->writeOffset);
        reader->lost = 0;
        if (!reader->segment || offset == 0)
            return 0;
        return seekRelative(buffer, reader, offset);
    case TQ_WHENCE_CURRENT:
        if (!reader->segment)
            bufferReaderSeek(reader, 0, TQ_WHENCE_OLDEST);
        if (!reader->segment)
            return 0;
        return seekRelative(buffer, reader, offset);
    default:
        return 0;
    }
}

// Visits the readable runs from the reader's position, one per segment, at
// most length bytes in all and never past the write position:
// visit(segment, data, bytes). Returns the byte total.
template <typename Visit>
int64_t forEachReadable(TQBuffer *buffer, TQBufferReader *reader, int64_t length, Visit visit)
{
    const int64_t segmentSize = buffer->segmentSize;
    TQBufferSegment *segment = reader->segment;
    int64_t offset = reader->offset;
    int64_t sum = 0;
    for (;;) {
        int64_t end = segment == buffer->writeSegment ? buffer->writeOffset : segmentSize;
        int64_t piece = std::min(end - offset, length - sum);
        if (piece > 0) {
            visit(segment, segment->data + offset, piece);
            sum += piece;
        }
        if (sum >= length || segment == buffer->writeSegment || !segment->following)
            break;
        segment = segment->following;
        offset = 0;
    }
    return sum;
}

// Walks the readable bytes from the reader's position, at most length of
// them, never past the write position. Fills list and segments when given;
// returns the number of pieces and stores the byte total.
size_t readablePieces(TQBuffer *buffer, TQBufferReader *reader, int64_t length, TQPiece *list,
                      TQBufferSegment **segments, int64_t *total)
{
    size_t count = 0;
    *total = forEachReadable(buffer, reader, length, [&](TQBufferSegment *segment, uint8_t *data, int64_t bytes) {
        if (list) {
            list[count].length = static_cast<uint32_t>(bytes);
            list[count].data = data;
            segments[count] = segment;
        }
        ++count;
    });
    return count;
}

// Moves a reader that has consumed n bytes from its position: across every
// segment it used up that has a following one.
void advanceReader(TQBuffer *buffer, TQBufferReader *reader, int64_t n)
{
    const int64_t segmentSize = buffer->segmentSize;
    TQBufferSegment *segment = reader->segment;
    int64_t offset = reader->offset;
    int64_t remaining = n;
    while (segmentSize - offset <= remaining && segment->following) {
        remaining -= segmentSize - offset;
        segment = segment->following;
        offset = 0;
    }
    if (segment == reader->segment)
        reader->offset = static_cast<int32_t>(offset + remaining);
    else
        placeReader(reader, segment, static_cast<int32_t>(offset + remaining));
}

// Where a reservation starts: the reader placed (at its initial position
// when it has none yet). False when nothing can be read from here now.
bool readStart(TQBuffer *buffer, TQBufferReader *reader)
{
    if (!buffer) {
        debugTrace("TQBufferReaderReserveRead: reader not linked to buffer\n");
        return false;
    }
    if (reader->lost)
        return false;
    if (!reader->segment)
        bufferReaderSeek(reader, reader->initialPosition, reader->initialWhence);
    return !reader->pieces && reader->segment;
}

int64_t TQBufferReaderReserveRead(TQBufferReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t length)
{
    if (pieces)
        *pieces = nullptr;
    if (pieceCount)
        *pieceCount = 0;
    TQBuffer *buffer = ownerOf(reader);
    if (!readStart(buffer, reader))
        return 0;

    int64_t n = std::max<int64_t>(length, 0);
    int64_t total = 0;
    size_t count = readablePieces(buffer, reader, n, nullptr, nullptr, &total);
    // Nothing to hand out opens no reservation: a reader that got 0 bytes
    // need not complete anything before it asks again.
    if (total == 0)
        return 0;

    // The piece list and the held segments: in the record for a few pieces,
    // else in one block (pieces first; their size keeps the pointers aligned).
    ReaderPrivate *block = priv(reader);
    TQPiece *list = block->pieces;
    TQBufferSegment **held = block->heldLocal;
    if (count + 1 > kInlinePieces) {
        size_t bytes = (count + 1) * (sizeof(TQPiece) + sizeof(TQBufferSegment *));
        list = static_cast<TQPiece *>(std::calloc(1, bytes));
        if (!list) {
            debugTrace("TQBufferReaderReserveRead: calloc failure\n");
            return 0;
        }
        held = reinterpret_cast<TQBufferSegment **>(list + count + 1);
    }
    readablePieces(buffer, reader, n, list, held + 1, &total);
    list[count].length = 0;
    list[count].data = nullptr;
    held[0] = reader->segment;
    for (size_t i = 0; i <= count; ++i)
        ++held[i]->refCount;

    reader->pieces = list;
    reader->reserved = total;
    block->held = held;
    block->heldCount = count + 1;
    block->reservedOffset = reader->offset;
    if (pieces)
        *pieces = list;
    if (pieceCount)
        *pieceCount = static_cast<uint32_t>(count);
    return total;
}

int64_t bufferReaderCompleteRead(TQBufferReader *reader, int64_t length)
{
    if (!reader->pieces)
        return 0;
    int64_t n = std::clamp<int64_t>(length, 0, reader->reserved);
    TQBuffer *buffer = ownerOf(reader);
    ReaderPrivate *block = priv(reader);
    // A reader that was placed anew while its reservation was open (seek,
    // restart, reset) stays where it was placed: the reserved bytes were not
    // taken from there.
    if (buffer && reader->segment && reader->segment == block->held[0] && reader->offset == block->reservedOffset)
        advanceReader(buffer, reader, n);
    TQBufferSegment **held = block->held;
    size_t heldCount = block->heldCount;
    TQPiece *list = reader->pieces;
    reader->pieces = nullptr;
    reader->reserved = 0;
    block->held = nullptr;
    block->heldCount = 0;
    for (size_t i = 0; i < heldCount; ++i)
        dropSegment(held[i]);
    if (list != block->pieces)
        std::free(list);
    return n;
}

int64_t bufferReaderAvail(TQBufferReader *reader)
{
    TQBuffer *buffer = ownerOf(reader);
    if (!buffer || reader->lost)
        return 0;
    return readerAvailable(buffer, reader);
}

void *bufferReaderPeek(TQBufferReader *reader, int64_t *count, int64_t *position)
{
    TQBuffer *buffer = ownerOf(reader);
    if (!buffer || !reader->segment)
        return nullptr;
    const int64_t segmentSize = buffer->segmentSize;
    TQBufferSegment *segment = reader->segment;
    int64_t offset = reader->offset;
    // A reader left at the very end of a segment that has since been
    // followed sees the next segment's bytes.
    while (offset >= segmentSize && segment != buffer->writeSegment && segment->following) {
        segment = segment->following;
        offset = 0;
    }
    int64_t contiguous = segment == buffer->writeSegment ? buffer->writeOffset - offset : segmentSize - offset;
    if (position)
        *position = segment->sequence * segmentSize + offset;
    if (contiguous <= 0) {
        if (count)
            *count = 0;
        return nullptr;
    }
    if (count)
        *count = contiguous;
    return segment->data + offset;
}

// A reservation and its completion in one: the bytes are copied straight
// from the segments, so no piece list is built and no segment is held, as
// nothing can move the reader or the writer in between.
int64_t bufferReaderRead(TQBufferReader *reader, void *destination, int64_t length)
{
    TQBuffer *buffer = ownerOf(reader);
    if (reader->pieces || !readStart(buffer, reader))
        return 0;
    auto *to = static_cast<uint8_t *>(destination);
    int64_t copied = forEachReadable(buffer, reader, std::max<int64_t>(length, 0),
                                     [&](TQBufferSegment *, const uint8_t *data, int64_t bytes) {
                                         std::memcpy(to, data, static_cast<size_t>(bytes));
                                         to += bytes;
                                     });
    if (copied > 0)
        advanceReader(buffer, reader, copied);
    return copied;
}

int32_t bufferReaderUnlink(TQBufferReader *reader)
{
    if (TQBuffer *buffer = ownerOf(reader)) {
        // The list's reference goes with the link; the caller's reference,
        // dropped below, is what may free the reader.
        tqListRemove(&buffer->readers, reader, kReaderLink);
        if (reader->refCount > 1)
            --reader->refCount;
    }
    TQBufferReader *callerReference = reader;
    bufferReaderRelease(&callerReference);
    return 0;
}

TQBufferReader *bufferNewReader(TQBuffer *buffer, int64_t position, int16_t whence)
{
    auto *block = static_cast<ReaderPrivate *>(std::calloc(1, sizeof(ReaderPrivate)));
    if (!block)
        return nullptr;
    TQBufferReader *reader = &block->pub;
    reader->refCount = 1;
    reader->initialPosition = position;
    reader->initialWhence = whence;
    reader->bufferReaderAddRef = bufferReaderAddRef;
    reader->bufferReaderRelease = bufferReaderRelease;
    reader->bufferReaderRead = bufferReaderRead;
    reader->TQBufferReaderReserveRead = TQBufferReaderReserveRead;
    reader->bufferReaderCompleteRead = bufferReaderCompleteRead;
    reader->bufferReaderAvail = bufferReaderAvail;
    reader->bufferReaderSeek = bufferReaderSeek;
    reader->bufferReaderPeek = bufferReaderPeek;
    reader->bufferReaderUnlink = bufferReaderUnlink;
    tqListAppend(&buffer->readers, buffer, reader, kReaderLink);
    ++reader->refCount;
    bufferReaderSeek(reader, position, whence);
    return reader;
}

} // namespace

TQ_API TQBuffer *TQCreateBuffer(int32_t segmentSize, int32_t bufferSize, int32_t maximumSize)
{
    auto *block = static_cast<BufferPrivate *>(std::calloc(1, sizeof(BufferPrivate)));
    if (!block)
        return nullptr;
    TQBuffer *buffer = &block->pub;
    buffer->refCount = 1;
    buffer->bufferAddRef = bufferAddRef;
    buffer->bufferRelease = bufferRelease;
    buffer->bufferNewReader = bufferNewReader;
    buffer->bufferWrite = bufferWrite;
    buffer->bufferReserveWrite = bufferReserveWrite;
    buffer->bufferCompleteWrite = bufferCompleteWrite;
    buffer->bufferGetBytesWritten = bufferGetBytesWritten;
    buffer->bufferGetFirstPosition = bufferGetFirstPosition;
    buffer->bufferRestart = bufferRestart;
    buffer->bufferReset = bufferReset;
    buffer->bufferNothing = bufferNothing;
    buffer->bufferAddListener = bufferAddListener;
    buffer->bufferRemoveListener = bufferRemoveListener;
    buffer->bufferCheckReaders = bufferCheckReaders;
    buffer->bufferClose = bufferClose;
    tqListInit(&buffer->readers);
    tqListInit(&buffer->window);
    tqListInit(&buffer->allocated);
    tqListInit(&buffer->listeners);
    if (TQAllocBuffer(buffer, segmentSize, bufferSize, maximumSize) < 0) {
        bufferRelease(&buffer);
        return nullptr;
    }
    return buffer;
}
