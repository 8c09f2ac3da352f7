/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Formula engine: an ordered set of formulas over the channels of the streams
 * registered with it, and the formula output stream whose channels are the
 * engine's input formulas. Other libraries call the function fields by
 * position with the engine as first argument: never reorder a field. The
 * order is guarded at the end of this file. */
#ifndef TQSTREAM_FORMULA_H
#define TQSTREAM_FORMULA_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/list.h"
#include "tqstream/buffer.h"
#include "tqstream/collection.h"
#include "tqstream/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQFormulaEngine TQFormulaEngine;

/* Message buffers handed to parseFormulas and refillOutputs hold this many
 * bytes; messages are cut to fit. */
#define TQ_FORMULA_MESSAGE_SIZE 256

/* Formula engine results besides 0 and the stream engine's common ones. */
#define TQF_ERR_TOO_LONG   (-1)  /* name and expression over 1024 characters */
#define TQF_ERR_PARSE      (-9)  /* a statement or a name was refused */
#define TQF_ERR_NO_FORMULA (-12) /* no stored formula of that name; no formulae.xml */

struct TQFormulaEngine {
    int32_t (*formulaEngineAddRef)(TQFormulaEngine *engine);
    int32_t (*formulaEngineRelease)(TQFormulaEngine **engine);
    int32_t (*formulaEngineRegisterStream)(TQFormulaEngine *engine, TQStream *stream);
    int32_t (*formulaEngineUnregisterStream)(TQFormulaEngine *engine, TQStream *stream);
    int32_t (*formulaEngineUnregisterAllStreams)(TQFormulaEngine *engine);
    int32_t (*formulaEngineAddFormula)(TQFormulaEngine *engine, const char *name, const char *op,
                                       const char *expression);
    int32_t (*formulaEngineRmvFormula)(TQFormulaEngine *engine, const char *name);
    int32_t (*formulaEngineRmvAllFormulas)(TQFormulaEngine *engine);
    int32_t (*createDefaultFormulas)(TQFormulaEngine *engine);
    int32_t (*parseFormulas)(TQFormulaEngine *engine, char *message);
    int64_t (*formulaEngineEvalScans)(TQFormulaEngine *engine, int64_t maximum);
    int32_t (*refillOutputs)(TQFormulaEngine *engine, char *message);
    void *unused1;
    void *unused2;
    int32_t (*formulaEngineReadXML)(TQFormulaEngine *engine, const char *directory);
    int32_t (*formulaEngineWriteXML)(TQFormulaEngine *engine, const char *directory);
    int32_t (*formulaEngineGetStream)(TQFormulaEngine *engine, const char *name, TQStream **stream);

    int32_t refCount;
    /* Scan positions of the output stream, in collection scans. */
    int64_t runningIndex;   /* collection position of the next scan to produce */
    int64_t oldestIndex;    /* oldest scan held in the output buffer */
    int64_t newestIndex;    /* one past the newest scan produced */
    int64_t baseIndex;      /* collection position of the output buffer's byte 0 */
    int16_t formulaCount;   /* stored formulas */
    int16_t inputCount;     /* input formulas of the last parse = output channels */
    int16_t parsed;
    void *owner;            /* non-null: scans are computed as member streams notify */
    double currentRate;     /* scans per second the generators count in */
    TQStream *outputStream;
    TQStreamChannel **outputChannels; /* one per input formula; records keep their address across parses */
    TQBuffer *outputBuffer;
    TQStreamCollection *collection;   /* made at the first registration */
    int32_t ringPosition;
    int32_t ringSize;
    void *refillThread;
    int32_t refillRun;
    int32_t (*internalAddRef)(TQFormulaEngine *engine);
    int32_t (*internalRelease)(TQFormulaEngine **engine);
    /* Formula lists, in order of insertion. */
    TQListHead storedFormulas;
    TQListHead hiddenFormulas;
    TQListHead inputFormulas;
    TQListHead syncOutputFormulas;
    TQListHead asyncOutputFormulas;
    TQListHead derivativeFormulas;
};

/* A new engine with reference count 1 and its formula output stream, or null.
 * A non-null owner makes the engine compute as data arrive. */
TQ_API TQFormulaEngine *NewFormulaEngine(void *owner);

typedef TQFormulaEngine *(*TQNewFormulaEngineFn)(void *owner);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define TQ_FORMULA_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_FORMULA_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, formulaEngineRelease) == 1 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, formulaEngineAddFormula) == 5 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, createDefaultFormulas) == 8 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, parseFormulas) == 9 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, formulaEngineEvalScans) == 10 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, refillOutputs) == 11 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, formulaEngineReadXML) == 14 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, formulaEngineWriteXML) == 15 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, formulaEngineGetStream) == 16 * sizeof(void *));
TQ_FORMULA_ASSERT(offsetof(TQFormulaEngine, refCount) == 17 * sizeof(void *));

#endif
