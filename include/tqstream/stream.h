/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Streams, stream channels, readers, stream events and capture. Every record
 * here is shared with separately built libraries (drivers, the resource
 * manager, the front panel host), which call the function fields by position
 * and read some data fields directly: never reorder a field. The order is
 * guarded at the end of this file. */
#ifndef TQSTREAM_STREAM_H
#define TQSTREAM_STREAM_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/list.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQStream TQStream;
typedef struct TQReader TQReader;
typedef struct TQStreamChannel TQStreamChannel;
typedef struct TQStreamListener TQStreamListener;
/* Records of the display model; declared with their own operations elsewhere. */
typedef struct TQDisplayWindow TQDisplayWindow;
typedef struct TQGraphObject TQGraphObject;

/* Readers, reader positions: whence values. */
#define TQ_WHENCE_OLDEST  0
#define TQ_WHENCE_CURRENT 1
#define TQ_WHENCE_NEWEST  2

/* Transform kinds of recorded channels (capture channel descriptor, XFRM chunk). */
#define TQ_XFRM_POLYNOMIAL        1
#define TQ_XFRM_UINT16            2
#define TQ_XFRM_INT14             3
#define TQ_XFRM_BRIDGE            4
#define TQ_XFRM_INT32             6
#define TQ_XFRM_FREQUENCY         7
#define TQ_XFRM_BIT16             8
#define TQ_XFRM_THERMOCOUPLE      9
#define TQ_XFRM_DOUBLE           11
#define TQ_XFRM_BIT16_AT         12
#define TQ_XFRM_EVENT_BIT        13
#define TQ_XFRM_POLLED_BIT16     14
#define TQ_XFRM_POLLED_BIT32     15

#define TQ_STREAM_NAME_SIZE          64
#define TQ_STREAM_MESSAGE_SIZE      256
#define TQ_STREAM_CAPTURE_NAME_SIZE 256
#define TQ_STREAM_MAX_HANDLERS        3
#define TQ_CHANNEL_NAME_SIZE        128
#define TQ_CHANNEL_EU_SIZE           64

/* ---- Callbacks -------------------------------------------------------------- */

/* Stream listener: called as function(stream, a, b, c, context) by the
 * stream's notify hook with the notifier's three values. */
typedef void (*TQStreamListenerFn)(TQStream *stream, intptr_t a, intptr_t b, intptr_t c, void *context);

/* Stream event handler: returns a signed result (negative stops the
 * delivery) and may answer the poster through *clearMask. */
typedef int32_t (*TQStreamEventHandlerFn)(TQStream *stream, uint32_t event, void *user, uint32_t *clearMask,
                                          char *message);

/* ---- Stream channel --------------------------------------------------------- */

/* Common head of every channel record a stream's owner hands out; the owner's
 * own fields follow it. */
struct TQStreamChannel {
    char name[TQ_CHANNEL_NAME_SIZE];
    char eu[TQ_CHANNEL_EU_SIZE];
    intptr_t ownerWord;        /* drivers keep the channel number here */
    double (*streamChannelEval)(TQStreamChannel *channel, const void *scan);
    double (*streamChannelEvalRaw)(TQStreamChannel *channel, const void *scan);
    void (*streamChannelSetEval)(TQStreamChannel *channel, double value, void *outputScan);
    void (*streamChannelSetOutputSyncType)(TQStreamChannel *channel, int32_t type); /* may be null */
    intptr_t ownerWord2;
    void *formulaNode;         /* set only by the formula engine */
    int32_t outputSyncType;    /* 1 asynchronous, 2 synchronous (0 when created) */
    intptr_t enableWord;       /* drivers keep the channel's enable flag here */
    TQStream *stream;          /* owning stream */
};

/* ---- Reader ----------------------------------------------------------------- */

struct TQReader {
    int32_t (*readerAddRef)(TQReader *reader);
    int32_t (*readerRelease)(TQReader **reader);
    void *(*readerPeek)(TQReader *reader, int64_t *count, int64_t *position);
    int64_t (*readerSeek)(TQReader *reader, int64_t offset, int32_t whence);
    int64_t (*readerAvail)(TQReader *reader);
    int64_t (*readerReserveRead)(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count);
    int64_t (*readerCompleteRead)(TQReader *reader, int64_t count);
    int64_t (*readerRead)(TQReader *reader, void *destination, int64_t count);
    TQStream *(*readerGetStream)(TQReader *reader);
    TQStream *(*readerCloneStream)(TQReader *reader, int64_t count);
    void *(*readerGetContext)(TQReader *reader);
    int32_t (*readerUnlink)(TQReader *reader);

    int32_t refCount;
    void *context;                               /* the owner's private block */
    int32_t (*internalAddRef)(TQReader *reader);
    int32_t (*internalRelease)(TQReader **reader);
    TQListLink link;                             /* stream's reader list; owner = stream */
    TQListLink collectionLink;                   /* a stream collection's member list */
};

/* ---- Listener node ---------------------------------------------------------- */

struct TQStreamListener {
    int32_t refCount;
    int32_t (*addRef)(TQStreamListener *node);
    int32_t (*release)(TQStreamListener **node);
    TQStreamListenerFn function;
    void *context;
    TQListLink link;                             /* owner = stream */
};

/* ---- Events ----------------------------------------------------------------- */

typedef struct TQStreamEventHandler {
    uint32_t mask;
    TQStreamEventHandlerFn handler;
    void *user;
    char *message;                               /* caller's buffer, 256 bytes */
} TQStreamEventHandler;

/* ---- Capture header --------------------------------------------------------- */

typedef struct TQCaptureChannel {
    char name[64];
    char eu[64];
    int32_t kind;                  /* transform kind, TQ_XFRM_* */
    int16_t coefficientCount;
    int16_t sensorCoefficientCount;
    double *coefficients;          /* lowest order first */
    double *sensorCoefficients;
} TQCaptureChannel;

typedef struct TQCaptureHeader {
    double rate;                   /* scans per second, before decimation */
    int32_t decimation;
    int64_t startTime;             /* seconds since 1970 */
    int32_t channelCount;
    int32_t scansPerPoll;
    TQCaptureChannel *channels;
} TQCaptureHeader;

/* ---- Stream ----------------------------------------------------------------- */

struct TQStream {
    int32_t (*streamAddRef)(TQStream *stream);
    int32_t (*streamRelease)(TQStream **stream);
    char *(*streamGetName)(TQStream *stream);
    int32_t (*streamSetName)(TQStream *stream, const char *name);
    double (*streamGetRate)(TQStream *stream);
    int32_t (*streamSetRate)(TQStream *stream, double rate);
    int64_t (*streamGetStartTime)(TQStream *stream);
    uint16_t (*streamGetNumberChannels)(TQStream *stream);
    uint16_t (*streamGetScanSize)(TQStream *stream);
    int32_t (*streamListAxes)(TQStream *stream, char *buffer, uint32_t size, uint32_t *count);
    int32_t (*streamSetGraphInfo)(TQStream *stream, const char *unit, double center, double span, uint32_t colour);
    int32_t (*streamGetGraphInfo)(TQStream *stream, const char *unit, double *center, double *span,
                                  uint32_t *colour);
    int32_t (*streamSetGraphBg)(TQStream *stream, uint32_t colour, int32_t gridEnable);
    int32_t (*streamGetGraphBg)(TQStream *stream, uint32_t *colour, int32_t *gridEnable);
    int32_t (*streamSetGraphChannelEnable)(TQStreamChannel *channel, int32_t enable);
    int32_t (*streamGetGraph)(TQStream *stream, int32_t width, int32_t height, int32_t mode, double start,
                              double duration, void **image, uint32_t *size);
    int32_t (*streamGetGraphNav)(TQStream *stream, int32_t width, int32_t height, uint16_t *plotLeft,
                                 uint16_t *plotRight, uint16_t *plotBottom, uint16_t *plotTop);
    int32_t (*graphObjectFreeGraph)(void *object, void *image);
    TQGraphObject *(*streamGetGraphObject)(TQStream *stream);
    int32_t (*streamCaptureOpen)(TQStream *stream, const char *fileName, int32_t mode);
    int32_t (*streamCaptureClose)(TQStream *stream);
    TQStreamChannel *(*streamGetChannel)(TQStream *stream, const char *name);
    TQStreamChannel *(*streamGetChannelByIndex)(TQStream *stream, int32_t index);
    int32_t (*streamSetOutputRate)(TQStream *stream, double rate);
    double (*streamGetOutputRate)(TQStream *stream);
    int32_t (*streamSetOutputRecycleRate)(TQStream *stream, double rate);
    double (*streamGetOutputRecycleRate)(TQStream *stream);
    uint16_t (*streamGetNumberOutputChannels)(TQStream *stream);
    uint16_t (*streamGetOutputScanSize)(TQStream *stream);
    TQStreamChannel *(*streamGetOutputChannel)(TQStream *stream, const char *name);
    TQStreamChannel *(*streamGetOutputChannelByIndex)(TQStream *stream, int32_t index);
    int64_t (*streamReserveWrite)(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces);
    int64_t (*streamCompleteWrite)(TQStream *stream, int64_t count);
    int32_t (*streamUnused)(TQStream *stream); /* no caller; the file stream answers "not supported" */
    int64_t (*streamGetScansWritten)(TQStream *stream);
    int32_t (*streamAddListener)(TQStream *stream, TQStreamListenerFn function, void *context);
    int32_t (*streamRemoveListener)(TQStream *stream, TQStreamListenerFn function, void *context);
    int32_t (*streamInstallEventHandler)(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler, void *user,
                                         char *message);
    int32_t (*streamUninstallEventHandler)(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler,
                                           void *user);
    int32_t (*streamSetOutputEnable)(TQStream *stream, int32_t flag);
    int32_t (*streamGetOutputEnable)(TQStream *stream);
    int32_t (*streamLock)(TQStream *stream, uint32_t timeoutMs);
    int32_t (*streamUnlock)(TQStream *stream);
    TQDisplayWindow *(*streamNewDisplayWindow)(TQStream *stream, const char *title, int32_t x, int32_t y,
                                               int32_t width, int32_t height);
    int32_t (*streamSetDecimation)(TQStream *stream, int32_t decimation);
    int32_t (*streamGetDecimation)(TQStream *stream);
    int32_t (*streamSetBigFile)(TQStream *stream, int32_t flag);
    int32_t (*streamGetBigFile)(TQStream *stream);
    int32_t (*streamSetWriteHeaderFirst)(TQStream *stream, int32_t flag);
    int32_t (*streamGetWriteHeaderFirst)(TQStream *stream);
    int32_t (*streamVerifyDisplayWindows)(TQStream *stream);
    TQDisplayWindow *(*streamGetDisplayWindow)(TQStream *stream, const char *title);
    int32_t (*streamGetNumberDisplayWindows)(TQStream *stream);
    TQDisplayWindow *(*streamGetDisplayWindowByIndex)(TQStream *stream, int32_t index);
    int32_t (*streamListXML)(TQStream *stream, char *buffer, uint32_t size, uint32_t *count);
    int32_t (*streamAddListener2)(TQStream *stream, TQStreamListenerFn function, void *context);
    int32_t (*streamRemoveListener2)(TQStream *stream, TQStreamListenerFn function, void *context);
    int32_t (*streamReadXML)(TQStream *stream, const char *directory);
    int32_t (*streamWriteXML)(TQStream *stream, const char *directory);
    int32_t (*streamNewData)(TQStream *stream, const void *data, int64_t scans, int32_t fileIndex);
    void *(*streamGetOwner)(TQStream *stream);
    int32_t (*streamWait)(TQStream *stream, uint32_t mask, uint32_t timeoutMs, uint32_t *event, char *message);
    TQReader *(*streamNewReader)(TQStream *stream, int64_t position, int32_t whence);

    int32_t refCount;
    void *lockMutex;                             /* the stream's data lock */
    /* Wait state: guarded by the event mutex. */
    int16_t waiterCount;
    uint32_t eventWord;
    void *eventMutex;
    void *wakeEvent;
    char eventMessage[TQ_STREAM_MESSAGE_SIZE];
    /* Capture. */
    int32_t captureData;                         /* file descriptors, -1 when closed */
    int32_t capturePoll;
    int32_t captureEvent;
    int32_t capturing;
    int32_t bigFile;
    int32_t writeHeaderFirst;
    double rate;
    char name[TQ_STREAM_NAME_SIZE];
    char captureFileName[TQ_STREAM_CAPTURE_NAME_SIZE];
    uint16_t scanSize;
    int64_t dataPosition;                        /* file offset of the capture's DATA chunk */
    int64_t startTime;
    int32_t decimation;
    int32_t decimationPhase;
    TQStreamEventHandler handlers[TQ_STREAM_MAX_HANDLERS];
    uint16_t handlerCount;
    int32_t numberChannels;                      /* 16-bit value */
    int32_t outputEnable;
    double outputRate;
    double outputRecycleRate;
    uint16_t outputScanSize;
    uint16_t numberOutputChannels;
    /* Listing state of the display model's XML serializers. */
    TQDisplayWindow *xmlWindow;
    int32_t xmlStep;
    char *xmlBuffer;
    uint32_t xmlCapacity;
    uint32_t xmlCopyPosition;
    void *owner;
    TQGraphObject *defaultGraphObject;
    /* Hooks. */
    int32_t (*internalAddRef)(TQStream *stream);
    int32_t (*internalRelease)(TQStream **stream);
    void (*notifyListeners)(TQStream *stream, intptr_t a, intptr_t b, intptr_t c);
    char *(*streamGrowXMLBuffer)(TQStream *stream, uint32_t size);
    TQListHead readers;
    TQListHead displayWindows;
    TQListHead listeners;
    TQListHead listeners2;
};

/* ---- Stream engine functions ------------------------------------------------ */

/* Functions the stream handle table hands to drivers. */
TQStream *newStream(const char *name, double rate, void *owner);
TQReader *newReaderBase(TQStream *stream, int64_t position, int32_t whence, void *context);
int32_t postEvent(TQStream *stream, uint32_t event, const char *message, uint32_t *result);
uint16_t setNumberChannels(TQStream *stream, uint16_t count);
uint16_t setScanSize(TQStream *stream, uint16_t bytes);
uint16_t setNumberOutputChannels(TQStream *stream, uint16_t count);
uint16_t setOutputScanSize(TQStream *stream, uint16_t bytes);
TQReader *firstReader(TQStream *stream);
TQReader *nextReader(TQReader *reader);
int32_t *streamRefCountAddress(TQStream *stream);
void destroyStream(TQStream *stream);
int32_t commonCaptureOpen(TQStream *stream, const char *fileName, int32_t mode, const TQCaptureHeader *header);
int32_t commonCaptureClose(TQStream *stream, const TQCaptureHeader *header);
TQ_API void StreamCommonFree(void *block);
int32_t *readerRefCountAddress(TQReader *reader);
int32_t isCapturing(TQStream *stream);

TQ_API uint16_t StreamCommonReaderGetScanSize(TQReader *reader);

/* Operations other stream owners of this library reuse. */
int32_t readerUnlink(TQReader *reader);
int64_t readerRead(TQReader *reader, void *destination, int64_t count);

/* Types of the functions above, for tables of function addresses. */
typedef TQStream *(*TQNewStreamFn)(const char *name, double rate, void *owner);
typedef TQReader *(*TQNewReaderBaseFn)(TQStream *stream, int64_t position, int32_t whence, void *context);
typedef int32_t (*TQPostEventFn)(TQStream *stream, uint32_t event, const char *message, uint32_t *result);
typedef uint16_t (*TQSetStreamValueFn)(TQStream *stream, uint16_t value);
typedef TQReader *(*TQFirstReaderFn)(TQStream *stream);
typedef TQReader *(*TQNextReaderFn)(TQReader *reader);
typedef int32_t *(*TQStreamRefCountAddressFn)(TQStream *stream);
typedef void (*TQDestroyStreamFn)(TQStream *stream);
typedef int32_t (*TQCommonCaptureOpenFn)(TQStream *stream, const char *fileName, int32_t mode,
                                         const TQCaptureHeader *header);
typedef int32_t (*TQCommonCaptureCloseFn)(TQStream *stream, const TQCaptureHeader *header);
typedef void (*TQStreamCommonFreeFn)(void *block);
typedef int32_t *(*TQReaderRefCountAddressFn)(TQReader *reader);
typedef int32_t (*TQIsCapturingFn)(TQStream *stream);

#ifdef __cplusplus
}
#endif

/* ---- Record order ------------------------------------------------------------
 * Exact offsets on the LP64 platform: a moved, dropped or resized field breaks
 * the build of every library that shares these records. */
#ifdef __cplusplus
#define TQ_STREAM_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_STREAM_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_STREAM_ASSERT(sizeof(void *) == 8);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, eu) == 128);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, ownerWord) == 192);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, streamChannelEval) == 200);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, streamChannelSetOutputSyncType) == 224);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, formulaNode) == 240);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, outputSyncType) == 248);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, enableWord) == 256);
TQ_STREAM_ASSERT(offsetof(TQStreamChannel, stream) == 264);

TQ_STREAM_ASSERT(offsetof(TQReader, readerUnlink) == 11 * 8);
TQ_STREAM_ASSERT(offsetof(TQReader, refCount) == 12 * 8);
TQ_STREAM_ASSERT(offsetof(TQReader, context) == 13 * 8);
TQ_STREAM_ASSERT(offsetof(TQReader, internalRelease) == 15 * 8);
TQ_STREAM_ASSERT(offsetof(TQReader, link) == 16 * 8);
TQ_STREAM_ASSERT(offsetof(TQReader, collectionLink) == 19 * 8);

TQ_STREAM_ASSERT(offsetof(TQStreamListener, function) == 24);
TQ_STREAM_ASSERT(offsetof(TQStreamListener, link) == 40);

TQ_STREAM_ASSERT(sizeof(TQStreamEventHandler) == 32);
TQ_STREAM_ASSERT(offsetof(TQCaptureChannel, kind) == 128);
TQ_STREAM_ASSERT(offsetof(TQCaptureChannel, sensorCoefficientCount) == 134);
TQ_STREAM_ASSERT(offsetof(TQCaptureChannel, coefficients) == 136);
TQ_STREAM_ASSERT(offsetof(TQCaptureHeader, startTime) == 16);
TQ_STREAM_ASSERT(offsetof(TQCaptureHeader, scansPerPoll) == 28);
TQ_STREAM_ASSERT(offsetof(TQCaptureHeader, channels) == 32);

TQ_STREAM_ASSERT(offsetof(TQStream, streamListAxes) == 9 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamGetGraphObject) == 18 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamCaptureOpen) == 19 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamReserveWrite) == 31 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamUnused) == 33 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamAddListener) == 35 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamLock) == 41 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamNewDisplayWindow) == 43 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamVerifyDisplayWindows) == 50 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamAddListener2) == 55 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamNewData) == 59 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, streamNewReader) == 62 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, refCount) == 63 * 8);
TQ_STREAM_ASSERT(offsetof(TQStream, lockMutex) == 512);
TQ_STREAM_ASSERT(offsetof(TQStream, waiterCount) == 520);
TQ_STREAM_ASSERT(offsetof(TQStream, eventWord) == 524);
TQ_STREAM_ASSERT(offsetof(TQStream, eventMutex) == 528);
TQ_STREAM_ASSERT(offsetof(TQStream, wakeEvent) == 536);
TQ_STREAM_ASSERT(offsetof(TQStream, eventMessage) == 544);
TQ_STREAM_ASSERT(offsetof(TQStream, captureData) == 800);
TQ_STREAM_ASSERT(offsetof(TQStream, writeHeaderFirst) == 820);
TQ_STREAM_ASSERT(offsetof(TQStream, rate) == 824);
TQ_STREAM_ASSERT(offsetof(TQStream, name) == 832);
TQ_STREAM_ASSERT(offsetof(TQStream, captureFileName) == 896);
TQ_STREAM_ASSERT(offsetof(TQStream, scanSize) == 1152);
TQ_STREAM_ASSERT(offsetof(TQStream, dataPosition) == 1160);
TQ_STREAM_ASSERT(offsetof(TQStream, startTime) == 1168);
TQ_STREAM_ASSERT(offsetof(TQStream, decimation) == 1176);
TQ_STREAM_ASSERT(offsetof(TQStream, decimationPhase) == 1180);
TQ_STREAM_ASSERT(offsetof(TQStream, handlers) == 1184);
TQ_STREAM_ASSERT(offsetof(TQStream, handlerCount) == 1280);
TQ_STREAM_ASSERT(offsetof(TQStream, numberChannels) == 1284);
TQ_STREAM_ASSERT(offsetof(TQStream, outputEnable) == 1288);
TQ_STREAM_ASSERT(offsetof(TQStream, outputRate) == 1296);
TQ_STREAM_ASSERT(offsetof(TQStream, outputRecycleRate) == 1304);
TQ_STREAM_ASSERT(offsetof(TQStream, outputScanSize) == 1312);
TQ_STREAM_ASSERT(offsetof(TQStream, numberOutputChannels) == 1314);
TQ_STREAM_ASSERT(offsetof(TQStream, xmlWindow) == 1320);
TQ_STREAM_ASSERT(offsetof(TQStream, xmlStep) == 1328);
TQ_STREAM_ASSERT(offsetof(TQStream, xmlBuffer) == 1336);
TQ_STREAM_ASSERT(offsetof(TQStream, xmlCapacity) == 1344);
TQ_STREAM_ASSERT(offsetof(TQStream, xmlCopyPosition) == 1348);
TQ_STREAM_ASSERT(offsetof(TQStream, owner) == 1352);
TQ_STREAM_ASSERT(offsetof(TQStream, defaultGraphObject) == 1360);
TQ_STREAM_ASSERT(offsetof(TQStream, internalAddRef) == 1368);
TQ_STREAM_ASSERT(offsetof(TQStream, streamGrowXMLBuffer) == 1392);
TQ_STREAM_ASSERT(offsetof(TQStream, readers) == 1400);
TQ_STREAM_ASSERT(offsetof(TQStream, displayWindows) == 1424);
TQ_STREAM_ASSERT(offsetof(TQStream, listeners) == 1448);
TQ_STREAM_ASSERT(offsetof(TQStream, listeners2) == 1472);

#undef TQ_STREAM_ASSERT

#endif
