/* Part of the stream engine's public interface; include tqstream.h.
 *
 * The stream handle table: the functions a driver obtains from the stream
 * library at run time (tqstream_getHandles) instead of linking it. The
 * positions are an interface between separately built libraries: never
 * reorder an entry (the order is guarded at the end of this file). */
#ifndef TQSTREAM_HANDLES_H
#define TQSTREAM_HANDLES_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/visatype.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQ_STREAM_HANDLE_COUNT 19

typedef struct TQStreamHandles {
    TQNewStreamFn newStream;                         /*  0 */
    TQNewReaderBaseFn newReaderBase;                 /*  1 */
    TQPostEventFn postEvent;                         /*  2 */
    TQSetStreamValueFn setNumberChannels;            /*  3 */
    TQSetStreamValueFn setScanSize;                  /*  4 */
    TQSetStreamValueFn setNumberOutputChannels;      /*  5 */
    TQSetStreamValueFn setOutputScanSize;            /*  6 */
    TQFirstReaderFn firstReader;                     /*  7 */
    TQNextReaderFn nextReader;                       /*  8 */
    TQStreamRefCountAddressFn streamRefCountAddress; /*  9 */
    TQDestroyStreamFn destroyStream;                 /* 10 */
    TQCommonCaptureOpenFn commonCaptureOpen;         /* 11 */
    TQCommonCaptureCloseFn commonCaptureClose;       /* 12 */
    TQStreamCommonFreeFn StreamCommonFree;           /* 13 */
    TQReaderRefCountAddressFn readerRefCountAddress; /* 14 */
    TQIsCapturingFn isCapturing;                     /* 15 */
    TQThermocoupleFn thermoc2mv;                     /* 16 */
    TQThermocoupleFn thermomv2c;                     /* 17 */
    TQCreateBufferFn TQCreateBuffer;                 /* 18 */
} TQStreamHandles;

/* Fills every entry of the table; returns 0. */
TQ_API ViStatus tqstream_getHandles(TQStreamHandles *handles);
typedef ViStatus (*TQGetHandlesFn)(TQStreamHandles *handles);

/* Copies the text for a status into message (at least 136 bytes; VISA
 * callers provide 256): 0, or 0x3FFF0085 with "Unknown Status" for a status
 * it does not know. The session is not used. */
TQ_API ViStatus tqstream_error_message(ViSession session, ViStatus status, ViChar *message);

/* Every stream has a 32-bit value, for callers that keep streams in 32-bit
 * fields (listings, the front panel): never 0, given when the stream is made
 * and refused from the moment its destruction begins. The lookup gives null
 * for 0, a stale value or a value of another table; it does not keep the
 * stream alive, so callers look up under whatever keeps the stream open. */
TQ_API uint32_t tqstream_streamValue(const TQStream *stream);
TQ_API TQStream *tqstream_streamOfValue(uint32_t value);

/* The stream of a value, held for a caller on another thread than the one
 * that may destroy it (the front panel's natives): null for 0, a stale value
 * or a value of another table. While the hold lasts, a destruction begun on
 * another thread (destroyStream, or the last release) waits for it. A hold
 * adds no reference: the reference count belongs to the thread that owns the
 * stream's set-up. The holder drops the hold with tqstream_dropStreamHold,
 * or gives it up together with one reference it owns through
 * tqstream_releaseHeldStream, whose release may destroy the stream; a holder
 * must not destroy the stream it holds in any other way (it would wait for
 * its own hold). */
TQ_API TQStream *tqstream_holdStream(uint32_t value);
TQ_API void tqstream_dropStreamHold(TQStream *stream);
TQ_API int32_t tqstream_releaseHeldStream(TQStream *stream);

/* The same hold for a caller that drops it on the same thread before it
 * returns (a native call), kept where possible in the thread's own record
 * rather than counted: *where receives the place it is kept in (NULL when
 * it was counted), and tqstream_dropHeldAt drops it, with one store when it
 * was kept uncounted. Such a hold cannot be given up with
 * tqstream_releaseHeldStream, which takes a hold of tqstream_holdStream. */
TQ_API TQStream *tqstream_holdStreamAt(uint32_t value, uint32_t **where);
static inline void tqstream_dropHeldAt(TQStream *stream, uint32_t *where)
{
    if (where)
        __atomic_store_n(where, 0u, __ATOMIC_RELEASE);
    else if (stream)
        tqstream_dropStreamHold(stream);
}

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define TQ_HANDLES_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_HANDLES_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_HANDLES_ASSERT(sizeof(TQStreamHandles) == TQ_STREAM_HANDLE_COUNT * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, newStream) == 0 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, newReaderBase) == 1 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, postEvent) == 2 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, setNumberChannels) == 3 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, setScanSize) == 4 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, setNumberOutputChannels) == 5 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, setOutputScanSize) == 6 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, firstReader) == 7 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, nextReader) == 8 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, streamRefCountAddress) == 9 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, destroyStream) == 10 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, commonCaptureOpen) == 11 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, commonCaptureClose) == 12 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, StreamCommonFree) == 13 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, readerRefCountAddress) == 14 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, isCapturing) == 15 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, thermoc2mv) == 16 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, thermomv2c) == 17 * sizeof(void *));
TQ_HANDLES_ASSERT(offsetof(TQStreamHandles, TQCreateBuffer) == 18 * sizeof(void *));

#undef TQ_HANDLES_ASSERT

#endif
