// Internal view of the stream record shared by the stream engine's sources.
#pragma once

#include <cstdint>

#include "tqstream.h"

namespace tq::platform {
class Mutex;
class EventBroadcast;
} // namespace tq::platform

namespace tq::stream {

struct StreamWatch;

using WaitState = tq::platform::EventBroadcast;

// Every stream is allocated by newStream as this block: the public record
// first (its address is the stream's address), then what only the engine
// itself uses.
struct StreamPrivate {
    TQStream pub;
    // Wait state of streamWait and postEvent; outlives the record while
    // woken waiters are still leaving.
    WaitState *wait;
    // Capture layout fixed when commonCaptureOpen opens a capture, so that
    // changing the switches during a capture cannot make the close write
    // another layout than the open began. Owners that open their capture
    // files themselves leave captureFixed 0: streamNewData then follows the
    // stream's decimation and sets no size limit.
    int32_t captureFixed;
    int32_t captureBigFile;
    int32_t captureHeaderFirst;
    int32_t captureDecimation;
    // Highest end offset the data file may reach while the container keeps
    // 32-bit lengths.
    uint64_t captureLimit;
    // End offset of the data file as written so far.
    uint64_t captureEnd;
    // The stream's value in the stream value table (0 when the table was full).
    uint32_t value;
    // Holders that must hear when this stream's channel records go away
    // (cloned streams answer with the source's records).
    StreamWatch *watches;
    // Guards the handler table: postEvent calls the handlers under it, and
    // install and uninstall take it, so that a handler is never called after
    // its uninstall returned (recursive: a handler may uninstall itself).
    tq::platform::Mutex *handlerLock;
};

// A holder's registration on a stream whose channel records it hands on.
// channelsGone runs when the records are gone: destroyed is true when the
// stream itself is being torn down (the watch is already off the stream and
// the holder must never touch it again), false when the stream lives on but
// lost the records it passed on (a clone whose own source went).
struct StreamWatch {
    StreamWatch *next;
    StreamWatch *previous;
    TQStream *stream; // watched; null once off the stream
    void (*channelsGone)(StreamWatch *watch, bool destroyed);
};

// Registration and removal are safe from any thread; callbacks run under
// the same (recursive) lock, so that a watch being removed is never called
// after removeStreamWatch has returned.
void addStreamWatch(TQStream *stream, StreamWatch *watch);
void removeStreamWatch(StreamWatch *watch);
// Tells every watch of the stream that its channel records are gone.
void tellChannelsGone(TQStream *stream, bool destroyed);

// Cloned streams (clonestream.cpp): the readerCloneStream of every reader.
TQStream *readerCloneStream(TQReader *reader, int64_t count);

inline StreamPrivate *priv(TQStream *stream) { return reinterpret_cast<StreamPrivate *>(stream); }

// Events (events.cpp).
WaitState *waitStateCreate(TQStream *stream);
// Wakes every waiter with the stream-closed result and drops the stream's
// hold on the wait state; the state is freed when the last waiter has left.
void waitStateClose(WaitState *state);
int32_t streamInstallEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler, void *user,
                                  char *message);
int32_t streamUninstallEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler, void *user);
int32_t streamWait(TQStream *stream, uint32_t mask, uint32_t timeoutMs, uint32_t *event, char *message);
// Threads inside streamWait, and the event mutex (for tests).
int waitersOf(TQStream *stream);
tq::platform::Mutex &eventMutexOf(TQStream *stream);

// Capture (capture.cpp).
int32_t streamNewData(TQStream *stream, const void *data, int64_t scans, int32_t fileIndex);
// True when the capture file name passes the naming rule.
bool captureNameValid(const char *name);

// Stream collection (collection.cpp).
// The channel a reference text names among every member, lined up or not
// (the target of an output formula); the member's place in the member list
// with the channel, or -1.
int32_t collectionFindOutputChannel(TQStreamCollection *c, const char *text, TQStreamChannel **channel);
// The collection's own (recursive) mutex, taken without a time-out by
// callers that keep the lock order documented in formulaengine.h.
void collectionLock(TQStreamCollection *c);
void collectionUnlock(TQStreamCollection *c);

// Display model (displaywindow.cpp): the stream's display-model function
// fields, the default display window and graph object, and their teardown.
void displayModelInstall(TQStream *stream);
void displayModelCreateDefault(TQStream *stream);
void displayModelDestroy(TQStream *stream);

// Stream files (streamfile.cpp): one chunk with a 32-bit (wide = false) or
// 64-bit length around a body writer with a 64-bit result; total bytes the
// chunk occupies or a negative code. A body longer than a 32-bit length can
// hold is refused with -4.
int64_t writeChunk(int32_t fd, uint32_t id, bool wide, TQBodyWriter64 writer, void *argument);
// The capture container chunk ("FORM"/"STRM" or "FO64"/"ST64" with CONF).
int64_t writeCaptureContainer(int32_t fd, bool wide, const TQCaptureHeader *header);
int64_t writeEmptyChunk(int32_t fd, uint32_t id, bool wide);
// Frees what ACQDParse allocated in the context.
void parseContextFree(TQParseContext *context);

} // namespace tq::stream
