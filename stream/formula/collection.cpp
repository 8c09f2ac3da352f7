// Stream collection: one reader on each member stream, lined up by the
// members' rates so that the formula engine sees the same moment in streams
// that run at different rates.
//
// Positions are kept in each member's own scans with the fraction carried
// between moves. Consuming one aligned scan at a time on a member at 0.3 of
// the fastest rate must advance its reader 0,0,1,0,0,1,0,1,... for ever;
// summing 0.3 into a double would drift by whole scans over a long run, so
// each entry's position is recomputed as base + steps * rate from the count
// of aligned scans consumed since it was last set (one rounding, never an
// accumulated one).
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/listeners.h"
#include "core/status.h"
#include "tq/platform/sync.h"
#include "tqstream.h"

using tq::platform::Mutex;
using tq::platform::WaitResult;

namespace {

constexpr size_t kMemberLink = offsetof(TQReader, collectionLink);
namespace listeners = tq::stream::listeners;
constexpr uint32_t kMutexWaitMs = 1000;

// Exact position state beside each monitor entry.
struct Carry {
    double base;   // position when last set directly
    int64_t steps; // aligned scans consumed forward since then
};

// Every collection is allocated as this block: the public record first.
struct CollectionPrivate {
    TQStreamCollection pub;
    Carry *carry; // one per monitor entry, with the monitor tables
};

CollectionPrivate *priv(TQStreamCollection *c) { return reinterpret_cast<CollectionPrivate *>(c); }
Mutex *mutexOf(TQStreamCollection *c) { return static_cast<Mutex *>(c->mutex); }

bool lockCollection(TQStreamCollection *c, uint32_t ms) { return mutexOf(c)->lock(ms) == WaitResult::Signaled; }
void unlockCollection(TQStreamCollection *c) { mutexOf(c)->unlock(); }

TQStream *streamOf(TQReader *reader) { return reader->readerGetStream(reader); }
TQReader *firstMember(TQStreamCollection *c) { return static_cast<TQReader *>(c->members.first); }
TQReader *nextMember(TQReader *reader) { return static_cast<TQReader *>(reader->collectionLink.next); }

// A member is lined up only when its reader can do everything the collection
// asks of it (a missing operation would be a call through an empty field)
// and its stream has channels to read.
bool readerUsable(const TQReader *r)
{
    return r->readerPeek && r->readerSeek && r->readerAvail && r->readerReserveRead && r->readerCompleteRead &&
           r->readerGetStream;
}

bool monitorable(TQReader *reader)
{
    if (!readerUsable(reader))
        return false;
    TQStream *stream = streamOf(reader);
    return stream && stream->streamGetNumberChannels(stream) > 0;
}

// floor(value), saturated to the 64-bit range (a member at rate 0 never
// limits the aligned count, and no conversion of an infinity is undefined).
// Computed without a call into the maths library: the formula engine takes
// a step per scan, and each step floors several positions.
int64_t floorToInt(double value)
{
    if (!(value > -9.2e18 && value < 9.2e18)) {
        if (std::isnan(value))
            return 0;
        return value > 0 ? INT64_MAX : INT64_MIN;
    }
    auto truncated = static_cast<int64_t>(value);
    return static_cast<double>(truncated) > value ? truncated - 1 : truncated;
}

// Aligned scans that n scans of a member at the given relative rate cover.
int64_t alignedOf(int64_t n, double rate)
{
    if (rate == 1.0)
        return n; // the fastest members: no division
    if (!(rate > 0.0))
        return INT64_MAX;
    return floorToInt(static_cast<double>(n) / rate);
}

void setPosition(TQStreamCollection *c, int32_t i, double position)
{
    c->monitor[i].position = position;
    priv(c)->carry[i] = {position, 0};
}

// Position after `aligned` more aligned scans, from the exact carry.
double advancedPosition(TQStreamCollection *c, int32_t i, int64_t aligned)
{
    const Carry &k = priv(c)->carry[i];
    return k.base + static_cast<double>(k.steps + aligned) * c->monitor[i].relativeRate;
}

void freeTables(TQStreamCollection *c)
{
    free(c->monitor);
    free(c->pointers);
    free(priv(c)->carry);
    c->monitor = nullptr;
    c->pointers = nullptr;
    priv(c)->carry = nullptr;
}

// ---- reference counting ----------------------------------------------------

int32_t collectionAddRef(TQStreamCollection *c)
{
    if (c)
        ++c->refCount;
    return 0;
}

int32_t collectionUnregisterAll(TQStreamCollection *c);
int32_t collectionStopMonitor(TQStreamCollection *c);

int32_t collectionDelRef(TQStreamCollection **holder)
{
    if (!holder || !*holder)
        return 0;
    TQStreamCollection *c = *holder;
    if (!lockCollection(c, kMutexWaitMs)) {
        tq::stream::debugTrace("StreamCollectionDelRef: can't get mutex\n");
        return 0;
    }
    if (--c->refCount > 0) {
        unlockCollection(c);
        return 0;
    }
    collectionUnregisterAll(c); // the mutex is recursive
    listeners::unlinkAll<TQCollectionListener>(&c->listeners);
    collectionStopMonitor(c);
    unlockCollection(c);
    delete mutexOf(c);
    free(priv(c));
    *holder = nullptr;
    return 0;
}

// ---- members ---------------------------------------------------------------

double collectionGetMaxRate(TQStreamCollection *c)
{
    double highest = 0.0;
    bool any = false;
    for (TQReader *r = firstMember(c); r; r = nextMember(r)) {
        TQStream *stream = streamOf(r);
        if (!stream)
            continue;
        double rate = stream->streamGetRate(stream);
        if (!any || rate > highest)
            highest = rate;
        any = true;
    }
    return highest;
}

int64_t collectionGetStartTime(TQStreamCollection *c)
{
    TQReader *r = firstMember(c);
    TQStream *stream = r ? streamOf(r) : nullptr;
    return stream ? stream->streamGetStartTime(stream) : 0;
}

// The member index a formula uses to read the monitor and pointer tables: the
// member's entry in the running monitor, or the entry the next monitor start
// gives it; -1 for a member that is not lined up.
int32_t monitorIndexOf(TQStreamCollection *c, TQReader *member)
{
    if (c->monitor) {
        for (int32_t i = 0; i < c->monitoredCount; ++i)
            if (c->monitor[i].reader == member)
                return i;
        return -1;
    }
    if (!monitorable(member))
        return -1;
    int32_t index = 0;
    for (TQReader *r = firstMember(c); r && r != member; r = nextMember(r))
        if (monitorable(r))
            ++index;
    return index;
}

int32_t collectionFindStream(TQStreamCollection *c, const char *name, TQStream **out)
{
    if (out)
        *out = nullptr;
    if (!name)
        return -1;
    for (TQReader *r = firstMember(c); r; r = nextMember(r)) {
        TQStream *stream = streamOf(r);
        if (!stream)
            return -1;
        if (strcmp(stream->streamGetName(stream), name) != 0)
            continue;
        if (out) {
            stream->streamAddRef(stream);
            *out = stream;
        }
        return monitorIndexOf(c, r);
    }
    return -1;
}

// Copies text[begin, end) into a field of the given size, cut to fit.
void copyCut(char *field, size_t size, const char *begin, const char *end)
{
    size_t n = end > begin ? static_cast<size_t>(end - begin) : 0;
    if (n > size - 1)
        n = size - 1;
    memcpy(field, begin, n);
    field[n] = '\0';
}

// The stream and channel names of a reference text "<stream-channel>" or
// "[stream-channel]"; false when the text has no such form.
bool splitReference(const char *text, char (&streamName)[TQ_STREAM_NAME_SIZE],
                    char (&channelName)[TQ_CHANNEL_NAME_SIZE])
{
    if (!text || !text[0])
        return false;
    const char *dash = strchr(text + 1, '-');
    if (!dash)
        return false;
    const char *close = strchr(dash + 1, '>');
    if (!close)
        close = strchr(dash + 1, ']');
    if (!close)
        return false;
    copyCut(streamName, sizeof streamName, text + 1, dash);
    copyCut(channelName, sizeof channelName, dash + 1, close);
    return true;
}

int32_t collectionFindChannel(TQStreamCollection *c, const char *text, TQStreamChannel **channel)
{
    if (channel)
        *channel = nullptr;
    char streamName[TQ_STREAM_NAME_SIZE];
    char channelName[TQ_CHANNEL_NAME_SIZE];
    if (!splitReference(text, streamName, channelName))
        return -1;

    TQStream *stream = nullptr;
    int32_t index = collectionFindStream(c, streamName, &stream);
    if (stream) {
        TQStreamChannel *found = stream->streamGetChannel(stream, channelName);
        // A channel is handed out only with a member index the caller can
        // read the tables with.
        if (!found || index < 0)
            index = -1;
        else if (channel)
            *channel = found;
        TQStream *copy = stream;
        stream->streamRelease(&copy);
    }
    return index;
}

void memberListenerOff(TQStreamCollection *c, TQStream *stream)
{
    if (c->notify && stream)
        stream->streamRemoveListener(stream, StreamCollectionMemberListener, c);
}

// Takes a member out: off the member list, off its stream, reader freed, the
// collection's reference on the stream dropped.
void detachMember(TQStreamCollection *c, TQReader *reader)
{
    TQStream *stream = streamOf(reader);
    memberListenerOff(c, stream);
    reader->readerAddRef(reader);
    if (reader->collectionLink.owner) {
        tqListRemove(&c->members, reader, kMemberLink);
        TQReader *copy = reader;
        reader->internalRelease(&copy);
    }
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
    if (stream) {
        TQStream *copy = stream;
        stream->streamRelease(&copy);
    }
}

int32_t collectionStartMonitor(TQStreamCollection *c);

int32_t collectionRegisterStream(TQStreamCollection *c, TQStream *stream)
{
    if (!stream)
        return TQS_ERR_NOMEM;
    TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    if (!reader)
        return TQS_ERR_NOMEM;
    tqListAppend(&c->members, c, reader, kMemberLink);
    reader->internalAddRef(reader);
    ++c->memberCount;
    if (c->notify)
        stream->streamAddListener(stream, StreamCollectionMemberListener, c);
    stream->streamAddRef(stream);
    TQReader *creator = reader;
    reader->internalRelease(&creator);
    return collectionStartMonitor(c);
}

int32_t collectionUnregisterStream(TQStreamCollection *c, TQStream *stream)
{
    if (!lockCollection(c, kMutexWaitMs)) {
        tq::stream::debugTrace("StreamCollectionUnregisterStream: can't get mutex\n");
        return TQS_ERR_LOCK_TIMEOUT;
    }
    if (c->monitor || c->pointers)
        collectionStopMonitor(c);
    TQReader *member = firstMember(c);
    while (member && streamOf(member) != stream)
        member = nextMember(member);
    if (!member) {
        unlockCollection(c);
        return TQS_ERR_NOT_MEMBER;
    }
    --c->memberCount;
    if (stream && stream->streamGetNumberChannels(stream) > 0 && c->monitoredCount > 0)
        --c->monitoredCount;
    detachMember(c, member);
    unlockCollection(c);
    return 0;
}

int32_t collectionUnregisterAll(TQStreamCollection *c)
{
    if (!lockCollection(c, kMutexWaitMs)) {
        tq::stream::debugTrace("StreamCollectionUnregisterAllStream: can't get mutex\n");
        return TQS_ERR_LOCK_TIMEOUT;
    }
    if (c->monitor || c->pointers)
        collectionStopMonitor(c);
    while (TQReader *member = firstMember(c))
        detachMember(c, member);
    c->memberCount = 0;
    c->monitoredCount = 0;
    unlockCollection(c);
    return 0;
}

// ---- monitor ---------------------------------------------------------------

int32_t collectionStopMonitor(TQStreamCollection *c)
{
    bool both = c->monitor && c->pointers;
    freeTables(c);
    return both ? 0 : TQS_ERR_NO_TABLES;
}

int32_t collectionStartMonitor(TQStreamCollection *c)
{
    if (!lockCollection(c, kMutexWaitMs)) {
        tq::stream::debugTrace("StreamCollectionStartMonitor: can't get mutex\n");
        return TQS_ERR_LOCK_TIMEOUT;
    }
    if (c->monitor || c->pointers) {
        int32_t rc = collectionStopMonitor(c);
        if (rc < 0) {
            unlockCollection(c);
            return rc;
        }
    }
    // At least one entry each, so that an empty monitor is told from a
    // stopped one.
    size_t n = c->memberCount > 0 ? static_cast<size_t>(c->memberCount) : 1;
    c->monitor = static_cast<TQMonitorEntry *>(calloc(n, sizeof(TQMonitorEntry)));
    c->pointers = static_cast<void **>(calloc(n, sizeof(void *)));
    priv(c)->carry = static_cast<Carry *>(calloc(n, sizeof(Carry)));
    if (!c->monitor || !c->pointers || !priv(c)->carry) {
        freeTables(c);
        unlockCollection(c);
        return TQS_ERR_NOMEM;
    }
    int32_t entries = 0;
    double highest = 0.0;
    for (TQReader *r = firstMember(c); r; r = nextMember(r)) {
        if (!readerUsable(r))
            continue;
        TQStream *stream = streamOf(r);
        if (!stream) {
            // A member whose stream is gone cannot be lined up with the others.
            freeTables(c);
            unlockCollection(c);
            return TQS_ERR_NOMEM;
        }
        if (stream->streamGetNumberChannels(stream) == 0)
            continue;
        if (static_cast<size_t>(entries) >= n)
            break;
        TQMonitorEntry &e = c->monitor[entries++];
        e.reader = r;
        e.name = stream->streamGetName(stream);
        e.relativeRate = stream->streamGetRate(stream);
        if (e.relativeRate > highest)
            highest = e.relativeRate;
    }
    c->monitoredCount = entries;
    for (int32_t i = 0; i < entries; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        e.relativeRate = e.relativeRate == highest ? 1.0 : e.relativeRate / highest;
    }
    unlockCollection(c);
    return 0;
}

int32_t collectionLockMonitor(TQStreamCollection *c, uint32_t ms)
{
    if (!lockCollection(c, ms)) {
        tq::stream::debugTrace("StreamCollectionLockMonitor: can't get mutex\n");
        return TQS_ERR_LOCK_TIMEOUT;
    }
    if (!c->monitor)
        return 0;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQStream *stream = streamOf(c->monitor[i].reader);
        if (!stream)
            continue;
        int32_t rc = stream->streamLock(stream, kMutexWaitMs);
        if (rc != 0) {
            while (--i >= 0)
                if (TQStream *s = streamOf(c->monitor[i].reader))
                    s->streamUnlock(s);
            unlockCollection(c);
            return rc;
        }
    }
    return 0;
}

int32_t collectionUnlockMonitor(TQStreamCollection *c)
{
    if (c->monitor)
        for (int32_t i = 0; i < c->monitoredCount; ++i)
            if (TQStream *stream = streamOf(c->monitor[i].reader))
                stream->streamUnlock(stream);
    unlockCollection(c);
    return 0;
}

// ---- data ------------------------------------------------------------------

int32_t collectionPeek(TQStreamCollection *c, void ***table, int64_t *count, int64_t *position)
{
    if (!c->monitor || !c->pointers)
        return TQS_ERR_NO_TABLES;
    int64_t aligned = -1;
    int64_t first = -1;
    int32_t result = 0;
    for (int32_t i = 0; i < c->monitoredCount && result == 0; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        int64_t n = 0;
        int64_t p = 0;
        c->pointers[i] = e.reader->readerPeek(e.reader, &n, &p);
        int64_t m = alignedOf(n, e.relativeRate);
        if (aligned < 0 || m < aligned)
            aligned = m;
        if (e.relativeRate == 1.0) {
            if (first < 0)
                first = p;
            else if (p != first)
                tq::stream::debugTrace("StreamCollectionPeek: streammisalignment\n");
        }
        if (!c->pointers[i])
            result = TQS_ERR_NO_DATA;
    }
    if (table)
        *table = c->pointers;
    if (count)
        *count = aligned;
    if (position)
        *position = first;
    return result;
}

int64_t collectionAvailable(TQStreamCollection *c)
{
    if (!c->monitor)
        return 0;
    if (c->monitoredCount == 0)
        return -1;
    int64_t least = INT64_MAX;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        int64_t m = alignedOf(e.reader->readerAvail(e.reader), e.relativeRate);
        if (m < least)
            least = m;
    }
    return least;
}

int64_t collectionWritten(TQStreamCollection *c)
{
    if (!c->monitor)
        return 0;
    int64_t least = -1;
    bool any = false;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        TQStream *stream = streamOf(e.reader);
        if (!stream)
            continue;
        int64_t m = alignedOf(stream->streamGetScansWritten(stream), e.relativeRate);
        if (!any || m < least)
            least = m;
        any = true;
    }
    return least;
}

// Seek from the oldest kept scan: every member to offset * rate.
int64_t seekFromOldest(TQStreamCollection *c, int64_t offset)
{
    if (offset < 0)
        return 0;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        double target = static_cast<double>(offset) * e.relativeRate;
        e.reader->readerSeek(e.reader, floorToInt(target), TQ_WHENCE_OLDEST);
        e.position = target;
        priv(c)->carry[i] = {0.0, offset};
    }
    return offset;
}

// Consumes `offset` aligned scans on every member at once: the scans are
// reserved on every member first, so that the step is cut to what the
// poorest member can give, and then completed together.
int64_t seekForward(TQStreamCollection *c, int64_t offset)
{
    int64_t result = offset;
    int32_t failed = -1;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        int64_t want = floorToInt(advancedPosition(c, i, offset)) - floorToInt(e.position);
        if (want < 1) {
            e.reserved = 0;
            continue;
        }
        e.reserved = 1;
        TQPiece *pieces = nullptr;
        int64_t n = e.reader->readerReserveRead(e.reader, &pieces, nullptr, want);
        if (n < 0) {
            e.reserved = 0;
            failed = i;
            break;
        }
        if (n < want) {
            int64_t m = alignedOf(n, e.relativeRate);
            if (m < result)
                result = m;
        }
    }
    if (failed >= 0) {
        // Give the reservations already made back: a reservation left open
        // would make every later reservation on that reader reserve nothing,
        // and the collection would never move again.
        for (int32_t i = 0; i < failed; ++i) {
            TQMonitorEntry &e = c->monitor[i];
            if (e.reserved) {
                e.reader->readerCompleteRead(e.reader, 0);
                e.reserved = 0;
            }
        }
        return -1;
    }
    if (result < 0)
        result = 0;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        double next = advancedPosition(c, i, result);
        int64_t m = floorToInt(next) - floorToInt(e.position);
        e.position = next;
        priv(c)->carry[i].steps += result;
        if (e.reserved && e.reader->readerCompleteRead(e.reader, m) < 0)
            break;
    }
    return result;
}

// Moves back (whence 1, offset < 0) or to `offset` aligned scans before the
// common end of the members (whence 2). Members that cannot go as far
// (clamped at the oldest kept scan) set a target, and every other member is
// brought forward to it so that the members stay lined up.
int64_t seekBack(TQStreamCollection *c, int64_t offset, int16_t whence)
{
    double end = 0.0;
    if (whence == TQ_WHENCE_NEWEST) {
        bool any = false;
        for (int32_t i = 0; i < c->monitoredCount; ++i) {
            TQMonitorEntry &e = c->monitor[i];
            TQStream *stream = streamOf(e.reader);
            if (!stream)
                continue;
            setPosition(c, i, static_cast<double>(stream->streamGetScansWritten(stream)));
            e.normalised = e.relativeRate > 0.0 ? e.position / e.relativeRate : 0.0;
            if (!any || e.normalised < end)
                end = e.normalised;
            any = true;
        }
    }
    double target = -1.0;
    double reference = whence == TQ_WHENCE_NEWEST ? end : -1.0;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        double rate = e.relativeRate;
        double d;
        int64_t n;
        if (whence == TQ_WHENCE_CURRENT) {
            d = rate * static_cast<double>(offset);
            // The reader stands at floor(position): move it to floor(position + d).
            n = floorToInt(e.position + d) - floorToInt(e.position);
            if (reference < 0.0 && rate == 1.0) {
                int64_t count = 0;
                int64_t p = -1;
                e.reader->readerPeek(e.reader, &count, &p);
                reference = static_cast<double>(p);
            }
        } else {
            d = (static_cast<double>(offset) - (e.normalised - end)) * rate;
            n = floorToInt(d);
        }
        int64_t moved = e.reader->readerSeek(e.reader, n, whence);
        if (moved == n) {
            setPosition(c, i, e.position + d);
        } else {
            setPosition(c, i, std::floor(e.position) + static_cast<double>(moved));
            // Where this member stands, in aligned scans.
            double x = rate > 0.0 ? e.position / rate : 0.0;
            if (target == -1.0 || x > target)
                target = x;
        }
    }
    if (target < 0.0)
        return offset;
    for (int32_t i = 0; i < c->monitoredCount; ++i) {
        TQMonitorEntry &e = c->monitor[i];
        double rate = e.relativeRate;
        double wanted = rate * target;
        double excess = wanted - e.position;
        if (excess <= 0.0)
            continue;
        int64_t k = floorToInt(wanted) - floorToInt(e.position);
        if (k > 0) {
            int64_t moved = e.reader->readerSeek(e.reader, k, TQ_WHENCE_CURRENT);
            if (moved < k) {
                setPosition(c, i, std::floor(e.position) + static_cast<double>(moved));
                reference = target;
                continue;
            }
        }
        setPosition(c, i, e.position + excess);
    }
    return static_cast<int64_t>(std::trunc(target - reference));
}

int64_t collectionSeek(TQStreamCollection *c, int64_t offset, int16_t whence)
{
    if (!c->monitor)
        return 0;
    switch (whence) {
    case TQ_WHENCE_OLDEST:
        return seekFromOldest(c, offset);
    case TQ_WHENCE_CURRENT:
        if (offset > 0)
            return seekForward(c, offset);
        if (offset == 0)
            return 0;
        return seekBack(c, offset, whence);
    case TQ_WHENCE_NEWEST:
        if (offset >= 0)
            return 0;
        return seekBack(c, offset, whence);
    default:
        return 0;
    }
}

int32_t collectionAnyOutputEnabled(TQStreamCollection *c)
{
    for (TQReader *r = firstMember(c); r; r = nextMember(r)) {
        TQStream *stream = streamOf(r);
        if (stream && stream->streamGetOutputEnable(stream))
            return 1;
    }
    return 0;
}

// ---- listeners -------------------------------------------------------------

int32_t collectionAddListener(TQStreamCollection *c, TQCollectionListenerFn function, void *context)
{
    if (listeners::find<TQCollectionListener>(&c->listeners, function, context))
        return 0;
    return listeners::append<TQCollectionListener>(&c->listeners, c, function, context) ? 0 : TQS_ERR_NOMEM;
}

void collectionRemoveListener(TQStreamCollection *c, TQCollectionListenerFn function, void *context)
{
    if (TQCollectionListener *node = listeners::find<TQCollectionListener>(&c->listeners, function, context))
        listeners::unlink(&c->listeners, node);
}

} // namespace

void StreamCollectionMemberListener(TQStream *, intptr_t, intptr_t, intptr_t, void *context)
{
    auto *c = static_cast<TQStreamCollection *>(context);
    int64_t n = collectionAvailable(c);
    if (n <= 0)
        return;
    listeners::walk<TQCollectionListener>(&c->listeners,
                                          [&](TQCollectionListener *node) { node->function(c, n, node->context); });
}

TQStreamCollection *NewStreamCollection(void *notify)
{
    auto *p = static_cast<CollectionPrivate *>(calloc(1, sizeof(CollectionPrivate)));
    if (!p)
        return nullptr;
    TQStreamCollection *c = &p->pub;
    c->mutex = new (std::nothrow) Mutex();
    if (!c->mutex) {
        free(p);
        return nullptr;
    }
    c->refCount = 1;
    c->notify = notify;
    tqListInit(&c->members);
    tqListInit(&c->listeners);
    c->StreamCollectionAddRef = collectionAddRef;
    c->StreamCollectionDelRef = collectionDelRef;
    c->StreamCollectionGetMaxRate = collectionGetMaxRate;
    c->StreamCollectionGetStartTime = collectionGetStartTime;
    c->StreamCollectionFindStream = collectionFindStream;
    c->StreamCollectionFindChannel = collectionFindChannel;
    c->StreamCollectionRegisterStream = collectionRegisterStream;
    c->StreamCollectionUnregisterStream = collectionUnregisterStream;
    c->StreamCollectionUnregisterAllStream = collectionUnregisterAll;
    c->StreamCollectionStartMonitor = collectionStartMonitor;
    c->StreamCollectionStopMonitor = collectionStopMonitor;
    c->StreamCollectionLockMonitor = collectionLockMonitor;
    c->StreamCollectionUnlockMonitor = collectionUnlockMonitor;
    c->StreamCollectionPeek = collectionPeek;
    c->StreamCollectionAvailable = collectionAvailable;
    c->StreamCollectionSeek = collectionSeek;
    c->StreamCollectionWritten = collectionWritten;
    c->StreamCollectionAddListener = collectionAddListener;
    c->StreamCollectionRemoveListener = collectionRemoveListener;
    c->StreamCollectionAnyOutputEnabled = collectionAnyOutputEnabled;
    return c;
}

namespace tq::stream {

// Output targets are looked up over every member: a stream that only has
// output channels gives its reader nothing to read and is never lined up,
// yet it is exactly the stream an output formula writes.
int32_t collectionFindOutputChannel(TQStreamCollection *c, const char *text, TQStreamChannel **channel)
{
    *channel = nullptr;
    char streamName[TQ_STREAM_NAME_SIZE];
    char channelName[TQ_CHANNEL_NAME_SIZE];
    if (!c || !splitReference(text, streamName, channelName))
        return -1;
    int32_t index = 0;
    for (TQReader *r = firstMember(c); r; r = nextMember(r), ++index) {
        TQStream *stream = streamOf(r);
        if (!stream || strcmp(stream->streamGetName(stream), streamName) != 0)
            continue;
        *channel = stream->streamGetChannel(stream, channelName);
        return *channel ? index : -1;
    }
    return -1;
}

void collectionLock(TQStreamCollection *c) { mutexOf(c)->lock(); }
void collectionUnlock(TQStreamCollection *c) { mutexOf(c)->unlock(); }

} // namespace tq::stream
