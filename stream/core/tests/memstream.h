// An in-memory stream owner for tests and benchmarks of what reads streams:
// a ring of 64-bit scans (scan k holds the value k), a written count the
// test advances, and readers that keep the whole reader contract (peek,
// seek clamped to the kept scans, avail, one reservation at a time).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tqstream.h"

namespace memstream {

struct Owner;

struct ReaderState {
    Owner *owner;
    int64_t position;
    int64_t reserved;
    bool open;
    TQPiece pieces[3];
};

struct Owner {
    TQStream *stream = nullptr;
    std::vector<int64_t> ring;
    int64_t written = 0;
    std::vector<TQStreamChannel> channels;
    // Fault injection: the next reserveRead answers this when non-zero.
    int64_t failReserve = 0;
    // capacity - 1 when the capacity is a power of two: ring slots without a
    // division, as real rings find them (benchmarks measure the reader, not
    // this owner).
    int64_t mask = 0;

    int64_t capacity() const { return static_cast<int64_t>(ring.size()); }
    int64_t slotOf(int64_t position) const { return mask ? position & mask : position % capacity(); }
    int64_t oldest() const { return written > capacity() ? written - capacity() : 0; }

    // Produces n more scans.
    void write(int64_t n)
    {
        for (int64_t i = 0; i < n; ++i, ++written)
            ring[static_cast<size_t>(slotOf(written))] = written;
    }
};

inline Owner *ownerOf(TQReader *r) { return static_cast<ReaderState *>(r->context)->owner; }
inline ReaderState *stateOf(TQReader *r) { return static_cast<ReaderState *>(r->context); }

inline void *peek(TQReader *r, int64_t *count, int64_t *position)
{
    ReaderState *s = stateOf(r);
    Owner *o = s->owner;
    int64_t slot = o->slotOf(s->position);
    int64_t n = o->written - s->position;
    if (n > o->capacity() - slot)
        n = o->capacity() - slot;
    if (count)
        *count = n;
    if (position)
        *position = s->position;
    return n > 0 ? &o->ring[static_cast<size_t>(slot)] : nullptr;
}

inline int64_t seek(TQReader *r, int64_t offset, int32_t whence)
{
    ReaderState *s = stateOf(r);
    Owner *o = s->owner;
    int64_t origin = whence == TQ_WHENCE_OLDEST ? o->oldest() : whence == TQ_WHENCE_NEWEST ? o->written : s->position;
    int64_t target = origin + offset;
    if (target < o->oldest())
        target = o->oldest();
    if (target > o->written)
        target = o->written;
    s->position = target;
    return target - origin;
}

inline int64_t avail(TQReader *r)
{
    ReaderState *s = stateOf(r);
    return s->owner->written - s->position;
}

inline int64_t reserveRead(TQReader *r, TQPiece **pieces, uint32_t *pieceCount, int64_t n)
{
    ReaderState *s = stateOf(r);
    Owner *o = s->owner;
    if (o->failReserve) {
        int64_t rc = o->failReserve;
        o->failReserve = 0;
        return rc;
    }
    if (s->open)
        return 0;
    int64_t got = o->written - s->position;
    if (got > n)
        got = n;
    if (got < 0)
        got = 0;
    int64_t slot = o->slotOf(s->position);
    int64_t first = got < o->capacity() - slot ? got : o->capacity() - slot;
    int k = 0;
    if (first > 0)
        s->pieces[k++] = {static_cast<uint32_t>(first * 8), &o->ring[static_cast<size_t>(slot)]};
    if (got > first)
        s->pieces[k++] = {static_cast<uint32_t>((got - first) * 8), o->ring.data()};
    s->pieces[k] = {0, nullptr};
    if (pieces)
        *pieces = s->pieces;
    if (pieceCount)
        *pieceCount = static_cast<uint32_t>(k);
    s->open = true;
    s->reserved = got;
    return got;
}

inline int64_t completeRead(TQReader *r, int64_t n)
{
    ReaderState *s = stateOf(r);
    if (!s->open)
        return 0;
    int64_t m = n < s->reserved ? n : s->reserved;
    if (m < 0)
        m = 0;
    s->position += m;
    s->open = false;
    s->reserved = 0;
    return m;
}

inline int32_t release(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *r = *holder;
    if (--r->refCount <= 0) {
        delete stateOf(r);
        StreamCommonFree(r);
        *holder = nullptr;
    }
    return 0;
}

inline TQReader *newReader(TQStream *stream, int64_t position, int32_t whence)
{
    auto *state = new ReaderState{static_cast<Owner *>(stream->owner), 0, 0, false, {}};
    TQReader *r = newReaderBase(stream, position, whence, state);
    if (!r) {
        delete state;
        return nullptr;
    }
    r->readerRelease = release;
    r->readerPeek = peek;
    r->readerSeek = seek;
    r->readerAvail = avail;
    r->readerReserveRead = reserveRead;
    r->readerCompleteRead = completeRead;
    r->readerSeek(r, position, whence);
    return r;
}

inline int64_t scansWritten(TQStream *stream) { return static_cast<Owner *>(stream->owner)->written; }

inline TQStreamChannel *channelByName(TQStream *stream, const char *name)
{
    for (TQStreamChannel &ch : static_cast<Owner *>(stream->owner)->channels)
        if (strcmp(ch.name, name) == 0)
            return &ch;
    return nullptr;
}

inline TQStreamChannel *channelByIndex(TQStream *stream, int32_t index)
{
    auto &channels = static_cast<Owner *>(stream->owner)->channels;
    return index >= 0 && static_cast<size_t>(index) < channels.size() ? &channels[static_cast<size_t>(index)]
                                                                     : nullptr;
}

// A stream with the given channels (none: a stream the collection does not
// line up) over a ring of `capacity` scans. The caller holds the stream's
// one reference and the owner.
inline void make(Owner &o, const char *name, double rate, std::vector<std::string> channelNames,
                 int64_t capacity = 1 << 16)
{
    o.ring.assign(static_cast<size_t>(capacity), 0);
    o.mask = (capacity & (capacity - 1)) == 0 ? capacity - 1 : 0;
    o.channels.resize(channelNames.size());
    o.stream = newStream(name, rate, &o);
    for (size_t i = 0; i < channelNames.size(); ++i) {
        TQStreamChannel &ch = o.channels[i];
        ch = TQStreamChannel{};
        snprintf(ch.name, sizeof ch.name, "%s", channelNames[i].c_str());
        ch.stream = o.stream;
    }
    setNumberChannels(o.stream, static_cast<uint16_t>(channelNames.size()));
    setScanSize(o.stream, 8);
    o.stream->streamNewReader = newReader;
    o.stream->streamGetScansWritten = scansWritten;
    o.stream->streamGetChannel = channelByName;
    o.stream->streamGetChannelByIndex = channelByIndex;
}

} // namespace memstream
