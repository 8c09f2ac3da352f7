// Cloned streams: a snapshot of what one reader of another stream (the
// source) could read at the moment of cloning, kept in memory so that it can
// be read again after the source has moved on.
//
// The clone answers channel questions with the source's channel records and
// holds a reference on the source for that. A driver's stream ignores that
// reference and is destroyed when its session closes, records and all; the
// clone then hears of it through its watch on the source and answers no
// channels from then on, while its copy of the data stays readable.
//
// Positions are absolute scan indexes in the source's numbering: the copy
// holds the scans start .. end - 1 (start = end - n).
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/streamimpl.h"

namespace tq::stream
{

namespace
{

struct ClonePrivate {
    StreamWatch watch; // on the source; first, so that a watch is its clone
    TQStream *clone;
    TQStream *source; // null once the source is gone
    unsigned char *copy;
    int64_t n;   // scans in the copy
    int64_t end; // absolute index just after the last copied scan
    uint16_t scanSize;
};

struct CloneReader {
    int64_t position; // 0 .. n, relative to the first copied scan
    int64_t reserved;
    bool open;
    TQPiece pieces[2]; // one entry and the terminator
};

// A reader answers from its clone only while it is linked to it: a reader
// its holder keeps after the clone is gone must not reach the freed copy.
ClonePrivate *cloneOf(TQReader *reader)
{
    auto *stream = static_cast<TQStream *>(reader->link.owner);
    return stream ? static_cast<ClonePrivate *>(stream->owner) : nullptr;
}

ClonePrivate *cloneOf(TQStream *stream)
{
    return static_cast<ClonePrivate *>(stream->owner);
}

CloneReader *stateOf(TQReader *reader)
{
    return static_cast<CloneReader *>(reader->context);
}

int64_t clampToInt64(__int128 v)
{
    if (v > INT64_MAX)
        return INT64_MAX;
    if (v < INT64_MIN)
        return INT64_MIN;
    return static_cast<int64_t>(v);
}

// ---- readers -----------------------------------------------------------------

int32_t cloneReaderRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *reader = *holder;
    if (--reader->refCount > 0)
        return 0;
    free(reader->context);
    StreamCommonFree(reader);
    *holder = nullptr;
    return 0;
}

void *cloneReaderPeek(TQReader *reader, int64_t *count, int64_t *position)
{
    ClonePrivate *c = cloneOf(reader);
    CloneReader *r = stateOf(reader);
    int64_t left = c ? c->n - r->position : 0;
    if (count)
        *count = left > 0 ? left : 0;
    if (position)
        *position = c ? c->end - c->n + r->position : 0;
    if (!c || left <= 0 || !c->copy)
        return nullptr;
    return c->copy + static_cast<size_t>(r->position) * c->scanSize;
}

int64_t cloneReaderSeek(TQReader *reader, int64_t offset, int32_t whence)
{
    ClonePrivate *c = cloneOf(reader);
    if (!c)
        return 0;
    CloneReader *r = stateOf(reader);
    const __int128 start = c->end - c->n;
    __int128 target;
    switch (whence) {
    case TQ_WHENCE_OLDEST:
        target = offset; // an absolute index, as peek reports it
        break;
    case TQ_WHENCE_CURRENT:
        target = start + r->position + static_cast<__int128>(offset);
        break;
    case TQ_WHENCE_NEWEST:
        target = static_cast<__int128>(c->end) + offset;
        break;
    default:
        return 0;
    }
    if (target < 0)
        return 0;
    if (target >= c->end) {
        // The newest copied scan stays readable.
        r->position = c->n > 0 ? c->n - 1 : 0;
        return clampToInt64(static_cast<__int128>(c->end) - 1 - target);
    }
    if (target < start) {
        int64_t old = r->position;
        r->position = 0;
        return -old;
    }
    r->position = static_cast<int64_t>(target - start);
    return offset;
}

int64_t cloneReaderAvail(TQReader *reader)
{
    ClonePrivate *c = cloneOf(reader);
    if (!c)
        return 0;
    int64_t left = c->n - stateOf(reader)->position;
    return left > 0 ? left : 0;
}

int64_t cloneReaderReserveRead(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count)
{
    static TQPiece none[1] = {{0, nullptr}};
    CloneReader *r = stateOf(reader);
    ClonePrivate *c = cloneOf(reader);
    // Nothing reserved hands out an empty list, never the open reservation's.
    if (pieces)
        *pieces = none;
    if (pieceCount)
        *pieceCount = 0;
    if (!c || r->open)
        return 0;
    int64_t k = count;
    if (k > c->n - r->position)
        k = c->n - r->position;
    // A piece's length is 32-bit: a larger reservation gives fewer scans
    // rather than a length that wrapped.
    if (c->scanSize > 0 && k > static_cast<int64_t>(UINT32_MAX / c->scanSize))
        k = static_cast<int64_t>(UINT32_MAX / c->scanSize);
    if (k <= 0 || !c->copy)
        return 0;
    r->pieces[0].length = static_cast<uint32_t>(k * c->scanSize);
    r->pieces[0].data = c->copy + static_cast<size_t>(r->position) * c->scanSize;
    r->pieces[1] = TQPiece{0, nullptr};
    r->open = true;
    r->reserved = k;
    if (pieces)
        *pieces = r->pieces;
    if (pieceCount)
        *pieceCount = 1;
    return k;
}

int64_t cloneReaderCompleteRead(TQReader *reader, int64_t count)
{
    CloneReader *r = stateOf(reader);
    if (!r->open)
        return 0;
    // A negative count consumes nothing; the position never moves back.
    int64_t m = count < r->reserved ? count : r->reserved;
    if (m < 0)
        m = 0;
    r->position += m;
    r->open = false;
    r->reserved = 0;
    r->pieces[0] = TQPiece{0, nullptr};
    return m;
}

TQReader *cloneNewReader(TQStream *stream, int64_t position, int32_t whence)
{
    auto *state = static_cast<CloneReader *>(calloc(1, sizeof(CloneReader)));
    if (!state)
        return nullptr;
    TQReader *reader = newReaderBase(stream, position, whence, state);
    if (!reader) {
        free(state);
        return nullptr;
    }
    reader->readerRelease = cloneReaderRelease;
    reader->readerPeek = cloneReaderPeek;
    reader->readerSeek = cloneReaderSeek;
    reader->readerAvail = cloneReaderAvail;
    reader->readerReserveRead = cloneReaderReserveRead;
    reader->readerCompleteRead = cloneReaderCompleteRead;
    reader->readerSeek(reader, position, whence);
    return reader;
}

// ---- the clone stream -----------------------------------------------------------

int32_t cloneRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    TQStream *stream = *holder;
    if (--stream->refCount > 0)
        return 0;
    ClonePrivate *c = cloneOf(stream);
    // Off the source first: from here on the source pointer cannot change.
    removeStreamWatch(&c->watch);
    TQStream *source = c->source;
    // The clone goes before the source's reference: its display model may
    // still name the source's channels.
    destroyStream(stream);
    free(c->copy);
    free(c);
    if (source)
        source->internalRelease(&source);
    *holder = nullptr;
    return 0;
}

uint16_t cloneGetNumberChannels(TQStream *stream)
{
    TQStream *source = cloneOf(stream)->source;
    return source ? source->streamGetNumberChannels(source) : 0;
}

TQStreamChannel *cloneGetChannel(TQStream *stream, const char *name)
{
    TQStream *source = cloneOf(stream)->source;
    return source ? source->streamGetChannel(source, name) : nullptr;
}

TQStreamChannel *cloneGetChannelByIndex(TQStream *stream, int32_t index)
{
    TQStream *source = cloneOf(stream)->source;
    return source ? source->streamGetChannelByIndex(source, index) : nullptr;
}

int64_t cloneGetScansWritten(TQStream *stream)
{
    return cloneOf(stream)->n;
}

// The source's channel records are gone (or, for a clone of a clone, its
// source answers none any more): graph objects bound to them let go, and
// clones of this clone hear the same.
void sourceChannelsGone(StreamWatch *watch, bool destroyed)
{
    auto *c = reinterpret_cast<ClonePrivate *>(watch);
    if (destroyed)
        c->source = nullptr;
    c->clone->streamVerifyDisplayWindows(c->clone);
    tellChannelsGone(c->clone, false);
}

// Copies the pieces of a reservation, at most `bytes` of them; returns the
// bytes copied.
uint64_t copyPieces(unsigned char *to, const TQPiece *pieces, uint64_t bytes)
{
    uint64_t done = 0;
    for (const TQPiece *piece = pieces; piece && piece->data && done < bytes; ++piece) {
        uint64_t length = piece->length;
        if (length > bytes - done)
            length = bytes - done;
        memcpy(to + done, piece->data, length);
        done += length;
    }
    return done;
}

} // namespace

TQStream *readerCloneStream(TQReader *reader, int64_t count)
{
    TQStream *source = reader ? reader->readerGetStream(reader) : nullptr;
    if (!source)
        return nullptr;
    auto *c = static_cast<ClonePrivate *>(calloc(1, sizeof(ClonePrivate)));
    if (!c)
        return nullptr;
    TQStream *clone = newStream(source->streamGetName(source), source->streamGetRate(source), c);
    if (!clone) {
        free(c);
        return nullptr;
    }
    c->clone = clone;
    c->source = source;
    source->internalAddRef(source);
    c->watch.channelsGone = sourceChannelsGone;
    addStreamWatch(source, &c->watch);
    c->scanSize = source->streamGetScanSize(source);
    setScanSize(clone, c->scanSize);
    clone->streamRelease = cloneRelease;
    clone->streamGetNumberChannels = cloneGetNumberChannels;
    clone->streamGetChannel = cloneGetChannel;
    clone->streamGetChannelByIndex = cloneGetChannelByIndex;
    clone->streamGetScansWritten = cloneGetScansWritten;
    clone->streamNewReader = cloneNewReader;

    if (count == 0)
        count = source->streamGetScansWritten(source);
    if (count <= 0)
        return clone;
    TQPiece *pieces = nullptr;
    int64_t n = reader->readerReserveRead(reader, &pieces, nullptr, count);
    if (n <= 0)
        return clone;

    const uint64_t F = c->scanSize;
    unsigned __int128 wanted = static_cast<unsigned __int128>(n) * F;
    unsigned char *copy = nullptr;
    if (F > 0 && wanted <= SIZE_MAX / 2)
        copy = static_cast<unsigned char *>(malloc(static_cast<size_t>(wanted)));
    if (F > 0 && !copy) {
        // A snapshot that cannot be kept is no snapshot: the caller learns
        // that cloning failed rather than getting a clone without the data.
        reader->readerCompleteRead(reader, 0);
        cloneRelease(&clone);
        return nullptr;
    }
    // Scans without bytes hold nothing to read again.
    const uint64_t copied = copy ? copyPieces(copy, pieces, static_cast<uint64_t>(wanted)) : 0;
    reader->readerCompleteRead(reader, 0); // closes the reservation, consumes nothing
    int64_t p = 0;
    reader->readerPeek(reader, nullptr, &p);
    c->copy = copy;
    c->n = F > 0 ? static_cast<int64_t>(copied / F) : 0;
    c->end = p + c->n;
    return clone;
}

} // namespace tq::stream
