/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Stream collection: the input streams one formula engine computes from. It
 * keeps one reader on each member stream and lines the members up by their
 * rates, so that the same moment can be looked at in streams that run at
 * different rates. The formula engine, its output stream and the expression
 * nodes call the function fields by position and read the monitor and
 * pointer tables directly: never reorder a field. The order is guarded at the
 * end of this file. */
#ifndef TQSTREAM_COLLECTION_H
#define TQSTREAM_COLLECTION_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/list.h"
#include "tqstream/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQStreamCollection TQStreamCollection;
typedef struct TQCollectionListener TQCollectionListener;

/* Collection results besides 0 and the stream engine's common ones. */
#define TQS_ERR_NO_TABLES   (-3)  /* the monitor is stopped */
#define TQS_ERR_NO_DATA    (-14)  /* a member yields no data at its position */
#define TQS_ERR_NOT_MEMBER (-15)

/* Called as function(collection, aligned scans available, context) when a
 * member stream notifies its listeners and every member has data. */
typedef void (*TQCollectionListenerFn)(TQStreamCollection *collection, int64_t available, void *context);

struct TQCollectionListener {
    int32_t refCount;
    int32_t (*addRef)(TQCollectionListener *node);
    int32_t (*release)(TQCollectionListener **node);
    TQCollectionListenerFn function;
    void *context;
    TQListLink link;                             /* owner = collection */
};

/* One monitored member. A member's scans and the collection's aligned scans
 * relate by the relative rate: n aligned scans are n * relativeRate scans of
 * the member. Expression nodes read relativeRate of the entry with their
 * member index and the data address of the pointer table at that index. */
typedef struct TQMonitorEntry {
    TQReader *reader;
    intptr_t unused;
    double position;       /* in the member's own scans, fraction carried between moves */
    double relativeRate;   /* member rate / highest member rate; exactly 1.0 for the fastest */
    int32_t reserved;      /* set by a forward move for the members it reserved on */
    const char *name;      /* the member stream's name field */
    double normalised;     /* work value of the move from the end */
} TQMonitorEntry;

struct TQStreamCollection {
    int32_t (*StreamCollectionAddRef)(TQStreamCollection *collection);
    int32_t (*StreamCollectionDelRef)(TQStreamCollection **collection);
    double (*StreamCollectionGetMaxRate)(TQStreamCollection *collection);
    int64_t (*StreamCollectionGetStartTime)(TQStreamCollection *collection);
    int32_t (*StreamCollectionFindStream)(TQStreamCollection *collection, const char *name, TQStream **stream);
    int32_t (*StreamCollectionFindChannel)(TQStreamCollection *collection, const char *text,
                                           TQStreamChannel **channel);
    int32_t (*StreamCollectionRegisterStream)(TQStreamCollection *collection, TQStream *stream);
    int32_t (*StreamCollectionUnregisterStream)(TQStreamCollection *collection, TQStream *stream);
    int32_t (*StreamCollectionUnregisterAllStream)(TQStreamCollection *collection);
    int32_t (*StreamCollectionStartMonitor)(TQStreamCollection *collection);
    int32_t (*StreamCollectionStopMonitor)(TQStreamCollection *collection);
    int32_t (*StreamCollectionLockMonitor)(TQStreamCollection *collection, uint32_t timeoutMs);
    int32_t (*StreamCollectionUnlockMonitor)(TQStreamCollection *collection);
    int32_t (*StreamCollectionPeek)(TQStreamCollection *collection, void ***table, int64_t *count,
                                    int64_t *position);
    int64_t (*StreamCollectionAvailable)(TQStreamCollection *collection);
    int64_t (*StreamCollectionSeek)(TQStreamCollection *collection, int64_t offset, int16_t whence);
    int64_t (*StreamCollectionWritten)(TQStreamCollection *collection);
    int32_t (*StreamCollectionAddListener)(TQStreamCollection *collection, TQCollectionListenerFn function,
                                           void *context);
    void (*StreamCollectionRemoveListener)(TQStreamCollection *collection, TQCollectionListenerFn function,
                                           void *context);
    int32_t (*StreamCollectionAnyOutputEnabled)(TQStreamCollection *collection);

    int32_t refCount;
    void *mutex;                  /* recursive; serialises set-up changes and the monitor lock */
    int32_t memberCount;
    int32_t monitoredCount;       /* entries of the monitor table */
    void *notify;                 /* non-null: every member stream gets the member listener */
    TQMonitorEntry *monitor;      /* null while the monitor is stopped */
    void **pointers;              /* data address per monitor entry; null while stopped */
    TQListHead members;           /* member readers, linked through collectionLink */
    TQListHead listeners;         /* TQCollectionListener nodes */
};

/* A new collection with reference count 1, or null. The formula engine
 * passes its owner pointer as the notification flag. */
TQ_API TQStreamCollection *NewStreamCollection(void *notify);

/* The stream listener a collection with notification on installs on each
 * member: tells the collection's listeners how many aligned scans all
 * members can deliver, when there are any. */
void StreamCollectionMemberListener(TQStream *stream, intptr_t a, intptr_t b, intptr_t c, void *collection);

typedef TQStreamCollection *(*TQNewStreamCollectionFn)(void *notify);

#ifdef __cplusplus
}
#endif

/* ---- Record order ------------------------------------------------------------
 * Exact offsets on the LP64 platform. */
#ifdef __cplusplus
#define TQ_COLLECTION_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_COLLECTION_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_COLLECTION_ASSERT(offsetof(TQCollectionListener, function) == 24);
TQ_COLLECTION_ASSERT(offsetof(TQCollectionListener, link) == 40);

TQ_COLLECTION_ASSERT(offsetof(TQMonitorEntry, unused) == 8);
TQ_COLLECTION_ASSERT(offsetof(TQMonitorEntry, position) == 16);
TQ_COLLECTION_ASSERT(offsetof(TQMonitorEntry, relativeRate) == 24);
TQ_COLLECTION_ASSERT(offsetof(TQMonitorEntry, reserved) == 32);
TQ_COLLECTION_ASSERT(offsetof(TQMonitorEntry, name) == 40);
TQ_COLLECTION_ASSERT(offsetof(TQMonitorEntry, normalised) == 48);
TQ_COLLECTION_ASSERT(sizeof(TQMonitorEntry) == 56);

TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionDelRef) == 1 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionGetMaxRate) == 2 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionFindStream) == 4 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionFindChannel) == 5 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionRegisterStream) == 6 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionUnregisterAllStream) == 8 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionStartMonitor) == 9 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionLockMonitor) == 11 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionPeek) == 13 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionAvailable) == 14 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionSeek) == 15 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionWritten) == 16 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionAddListener) == 17 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionRemoveListener) == 18 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, StreamCollectionAnyOutputEnabled) == 19 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, refCount) == 20 * 8);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, mutex) == 168);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, memberCount) == 176);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, monitoredCount) == 180);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, notify) == 184);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, monitor) == 192);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, pointers) == 200);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, members) == 208);
TQ_COLLECTION_ASSERT(offsetof(TQStreamCollection, listeners) == 232);

#undef TQ_COLLECTION_ASSERT

#endif
