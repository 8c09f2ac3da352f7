// The stream record: construction, destruction, settings, listeners and the
// stream's data lock.
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "listeners.h"
#include "status.h"
#include "streamimpl.h"
#include "tq/platform/debug.h"
#include "tq/platform/handles.h"
#include "tq/platform/sync.h"
#include "tq/platform/text.h"

using tq::platform::Mutex;
using tq::stream::priv;
using tq::stream::StreamPrivate;

namespace {

// Apart from the manager's and the drivers' handle kinds.
constexpr unsigned kStreamValueKind = 42;

Mutex *lockOf(TQStream *stream) { return static_cast<Mutex *>(stream->lockMutex); }

// The name may be the field itself (drivers write into the field).
void copyName(char *field, const char *name) { tq::platform::copyText(field, TQ_STREAM_NAME_SIZE, name); }

// ---- reference counting ----------------------------------------------------

int32_t streamAddRef(TQStream *stream)
{
    if (stream)
        ++stream->refCount;
    return 0;
}

int32_t streamRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    TQStream *stream = *holder;
    if (--stream->refCount <= 0) {
        destroyStream(stream);
        *holder = nullptr;
    }
    return 0;
}

// The formula engine and the cloned stream hold streams through these hooks,
// which go through the record's own fields so that an owner's release is used.
int32_t internalAddRef(TQStream *stream) { return stream->streamAddRef(stream); }

int32_t internalRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    return (*holder)->streamRelease(holder);
}

// ---- settings --------------------------------------------------------------

char *streamGetName(TQStream *stream) { return stream->name; }

int32_t streamSetName(TQStream *stream, const char *name)
{
    copyName(stream->name, name);
    return 0;
}

double streamGetRate(TQStream *stream) { return stream->rate; }

int32_t streamSetRate(TQStream *stream, double rate)
{
    stream->rate = rate;
    return 0;
}

int64_t streamGetStartTime(TQStream *stream) { return stream->startTime; }
uint16_t streamGetNumberChannels(TQStream *stream) { return static_cast<uint16_t>(stream->numberChannels); }
uint16_t streamGetScanSize(TQStream *stream) { return stream->scanSize; }

int32_t streamSetOutputRate(TQStream *stream, double rate)
{
    stream->outputRate = rate;
    return 0;
}

double streamGetOutputRate(TQStream *stream) { return stream->outputRate; }

int32_t streamSetOutputRecycleRate(TQStream *stream, double rate)
{
    stream->outputRecycleRate = rate;
    return 0;
}

double streamGetOutputRecycleRate(TQStream *stream) { return stream->outputRecycleRate; }
uint16_t streamGetNumberOutputChannels(TQStream *stream) { return stream->numberOutputChannels; }
uint16_t streamGetOutputScanSize(TQStream *stream) { return stream->outputScanSize; }

int32_t streamSetOutputEnable(TQStream *stream, int32_t flag)
{
    stream->outputEnable = flag;
    return 0;
}

int32_t streamGetOutputEnable(TQStream *stream) { return stream->outputEnable; }

int32_t streamSetDecimation(TQStream *stream, int32_t decimation) { return stream->decimation = decimation; }
int32_t streamGetDecimation(TQStream *stream) { return stream->decimation; }
int32_t streamSetBigFile(TQStream *stream, int32_t flag) { return stream->bigFile = flag; }
int32_t streamGetBigFile(TQStream *stream) { return stream->bigFile; }
int32_t streamSetWriteHeaderFirst(TQStream *stream, int32_t flag) { return stream->writeHeaderFirst = flag; }
int32_t streamGetWriteHeaderFirst(TQStream *stream) { return stream->writeHeaderFirst; }
void *streamGetOwner(TQStream *stream) { return stream->owner; }

// ---- operations the owner supplies -----------------------------------------
// A stream whose owner plugs nothing into these answers "nothing there" or
// "not supported" instead of calling through an empty field.

int64_t streamReserveWriteNone(TQStream *, int64_t, int64_t *granted, TQPiece **pieces)
{
    if (granted)
        *granted = 0;
    if (pieces)
        *pieces = nullptr;
    return 0;
}

int64_t streamCompleteWriteNone(TQStream *, int64_t) { return 0; }
int32_t streamNotSupported(TQStream *) { return TQS_ERR_NOTSUPPORTED; }
int32_t streamCaptureOpenNone(TQStream *, const char *, int32_t) { return TQS_ERR_NOTSUPPORTED; }
int64_t streamGetScansWrittenNone(TQStream *) { return 0; }
TQStreamChannel *streamGetChannelNone(TQStream *, const char *) { return nullptr; }
TQStreamChannel *streamGetChannelByIndexNone(TQStream *, int32_t) { return nullptr; }
TQReader *streamNewReaderNone(TQStream *, int64_t, int32_t) { return nullptr; }

// ---- lock ------------------------------------------------------------------

int32_t streamLock(TQStream *stream, uint32_t timeoutMs)
{
    return tq::stream::lockResult(lockOf(stream)->lock(timeoutMs));
}

int32_t streamUnlock(TQStream *stream) { return lockOf(stream)->unlock() ? 1 : 0; }

// ---- listeners -------------------------------------------------------------

namespace listeners = tq::stream::listeners;

int32_t addListener(TQStream *stream, TQListHead *list, TQStreamListenerFn function, void *context)
{
    if (listeners::find<TQStreamListener>(list, function, context))
        return 0;
    return listeners::append<TQStreamListener>(list, stream, function, context) ? 0 : TQS_ERR_NOMEM;
}

int32_t removeListener(TQListHead *list, TQStreamListenerFn function, void *context)
{
    TQStreamListener *node = listeners::find<TQStreamListener>(list, function, context);
    if (!node)
        return TQS_ERR_NO_LISTENER;
    listeners::unlink(list, node);
    return 0;
}

int32_t streamAddListener(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return addListener(stream, &stream->listeners, function, context);
}

int32_t streamRemoveListener(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return removeListener(&stream->listeners, function, context);
}

int32_t streamAddListener2(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return addListener(stream, &stream->listeners2, function, context);
}

int32_t streamRemoveListener2(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return removeListener(&stream->listeners2, function, context);
}

void notifyListeners(TQStream *stream, intptr_t a, intptr_t b, intptr_t c)
{
    listeners::walk<TQStreamListener>(&stream->listeners, [&](TQStreamListener *node) {
        node->function(stream, a, b, c, node->context);
    });
}

// ---- XML scratch text --------------------------------------------------------

char *streamGrowXMLBuffer(TQStream *stream, uint32_t size)
{
    uint64_t wanted = 4ull * size;
    if (wanted > stream->xmlCapacity || !stream->xmlBuffer) {
        if (wanted > UINT32_MAX - 1)
            return nullptr;
        free(stream->xmlBuffer);
        stream->xmlBuffer = static_cast<char *>(malloc(wanted + 1));
        stream->xmlCapacity = stream->xmlBuffer ? static_cast<uint32_t>(wanted) : 0;
    }
    return stream->xmlBuffer;
}

void fillFunctionFields(TQStream *s)
{
    s->streamAddRef = streamAddRef;
    s->streamRelease = streamRelease;
    s->streamGetName = streamGetName;
    s->streamSetName = streamSetName;
    s->streamGetRate = streamGetRate;
    s->streamSetRate = streamSetRate;
    s->streamGetStartTime = streamGetStartTime;
    s->streamGetNumberChannels = streamGetNumberChannels;
    s->streamGetScanSize = streamGetScanSize;
    s->streamCaptureOpen = streamCaptureOpenNone;
    s->streamCaptureClose = streamNotSupported;
    s->streamGetChannel = streamGetChannelNone;
    s->streamGetChannelByIndex = streamGetChannelByIndexNone;
    s->streamSetOutputRate = streamSetOutputRate;
    s->streamGetOutputRate = streamGetOutputRate;
    s->streamSetOutputRecycleRate = streamSetOutputRecycleRate;
    s->streamGetOutputRecycleRate = streamGetOutputRecycleRate;
    s->streamGetNumberOutputChannels = streamGetNumberOutputChannels;
    s->streamGetOutputScanSize = streamGetOutputScanSize;
    s->streamGetOutputChannel = streamGetChannelNone;
    s->streamGetOutputChannelByIndex = streamGetChannelByIndexNone;
    s->streamReserveWrite = streamReserveWriteNone;
    s->streamCompleteWrite = streamCompleteWriteNone;
    s->streamUnused = streamNotSupported;
    s->streamGetScansWritten = streamGetScansWrittenNone;
    s->streamAddListener = streamAddListener;
    s->streamRemoveListener = streamRemoveListener;
    s->streamInstallEventHandler = tq::stream::streamInstallEventHandler;
    s->streamUninstallEventHandler = tq::stream::streamUninstallEventHandler;
    s->streamSetOutputEnable = streamSetOutputEnable;
    s->streamGetOutputEnable = streamGetOutputEnable;
    s->streamLock = streamLock;
    s->streamUnlock = streamUnlock;
    s->streamSetDecimation = streamSetDecimation;
    s->streamGetDecimation = streamGetDecimation;
    s->streamSetBigFile = streamSetBigFile;
    s->streamGetBigFile = streamGetBigFile;
    s->streamSetWriteHeaderFirst = streamSetWriteHeaderFirst;
    s->streamGetWriteHeaderFirst = streamGetWriteHeaderFirst;
    s->streamAddListener2 = streamAddListener2;
    s->streamRemoveListener2 = streamRemoveListener2;
    s->streamNewData = tq::stream::streamNewData;
    s->streamGetOwner = streamGetOwner;
    s->streamWait = tq::stream::streamWait;
    s->streamNewReader = streamNewReaderNone;
    // Graph objects, display windows and their XML.
    tq::stream::displayModelInstall(s);
}

// One lock for every stream's watch list: watches come and go only when a
// clone is made or dropped and when a stream is destroyed.
Mutex &watchLock()
{
    static Mutex lock;
    return lock;
}

// Values that callers keeping streams in 32-bit fields hold instead of the
// address (listings of the resource manager, the front panel's Java fields).
tq::platform::HandleTable &streamValues()
{
    static tq::platform::HandleTable table(kStreamValueKind);
    return table;
}

// Holds of streams by threads that do not own them (tqstream_holdStream).
// One lock for every stream: a hold is taken and dropped in moments, and the
// lookup of the value and the count of holds must change together with the
// value's removal at destruction.
struct HoldLock {
    std::mutex lock;
    std::condition_variable gone; // a stream's holds went down while a destruction waits
    unsigned destroying = 0;      // destructions waiting for holds
};

HoldLock &holdLock()
{
    static HoldLock *l = new HoldLock; // threads may drop holds after static destructors ran
    return *l;
}

// The holds of the calling thread, newest last. A destruction on this thread
// waits only for the other threads' holds and marks this thread's as
// orphans, whose drop then never touches the freed record.
struct ThreadHold {
    TQStream *stream;
    uint32_t count;
    bool orphan;
};
constexpr unsigned kThreadHolds = 16;
struct ThreadHolds {
    ThreadHold entry[kThreadHolds];
    unsigned used = 0;
};
thread_local ThreadHolds t_holds;

ThreadHold *ownHold(TQStream *stream)
{
    for (unsigned i = t_holds.used; i-- > 0;)
        if (t_holds.entry[i].stream == stream && !t_holds.entry[i].orphan)
            return &t_holds.entry[i];
    return nullptr;
}

ThreadHold *anyOwnHold(TQStream *stream)
{
    for (unsigned i = t_holds.used; i-- > 0;)
        if (t_holds.entry[i].stream == stream)
            return &t_holds.entry[i];
    return nullptr;
}

void forgetOwnHold(ThreadHold *h)
{
    const auto i = static_cast<unsigned>(h - t_holds.entry);
    for (unsigned j = i + 1; j < t_holds.used; ++j)
        t_holds.entry[j - 1] = t_holds.entry[j];
    --t_holds.used;
}

// Called by destroyStream before anything is torn down: the value goes, and
// the holds of other threads are waited for.
void retireValue(StreamPrivate *p)
{
    HoldLock &l = holdLock();
    std::unique_lock<std::mutex> guard(l.lock);
    if (p->value)
        streamValues().remove(p->value);
    p->value = 0;
    ThreadHold *mine = ownHold(&p->pub);
    const uint32_t own = mine ? mine->count : 0;
    if (p->holds != own) {
        ++l.destroying;
        l.gone.wait(guard, [&] { return p->holds == own; });
        --l.destroying;
    }
    if (mine)
        mine->orphan = true;
    p->holds = 0;
}

} // namespace

TQ_API TQStream *tqstream_holdStream(uint32_t value)
{
    if (value == 0)
        return nullptr;
    HoldLock &l = holdLock();
    std::lock_guard<std::mutex> guard(l.lock);
    auto *stream = static_cast<TQStream *>(streamValues().lookup(value));
    if (!stream)
        return nullptr;
    ThreadHold *mine = ownHold(stream);
    if (!mine) {
        if (t_holds.used == kThreadHolds)
            return nullptr;
        mine = &t_holds.entry[t_holds.used++];
        *mine = ThreadHold{stream, 0, false};
    }
    ++mine->count;
    ++priv(stream)->holds;
    return stream;
}

TQ_API void tqstream_dropStreamHold(TQStream *stream)
{
    if (!stream)
        return;
    ThreadHold *mine = anyOwnHold(stream);
    if (!mine)
        return; // not held by this thread: nothing of ours to drop
    if (mine->orphan) {
        // Destroyed by this thread while held: the record is gone.
        if (--mine->count == 0)
            forgetOwnHold(mine);
        return;
    }
    HoldLock &l = holdLock();
    std::lock_guard<std::mutex> guard(l.lock);
    --priv(stream)->holds;
    if (--mine->count == 0)
        forgetOwnHold(mine);
    if (l.destroying)
        l.gone.notify_all();
}

TQ_API uint32_t tqstream_streamValue(const TQStream *stream)
{
    return stream ? priv(const_cast<TQStream *>(stream))->value : 0;
}

TQ_API TQStream *tqstream_streamOfValue(uint32_t value)
{
    return static_cast<TQStream *>(streamValues().lookup(value));
}

namespace tq::stream {

void addStreamWatch(TQStream *stream, StreamWatch *watch)
{
    tq::platform::MutexGuard guard(watchLock());
    StreamPrivate *p = priv(stream);
    watch->stream = stream;
    watch->previous = nullptr;
    watch->next = p->watches;
    if (p->watches)
        p->watches->previous = watch;
    p->watches = watch;
}

void removeStreamWatch(StreamWatch *watch)
{
    tq::platform::MutexGuard guard(watchLock());
    if (!watch->stream)
        return;
    if (watch->next)
        watch->next->previous = watch->previous;
    if (watch->previous)
        watch->previous->next = watch->next;
    else
        priv(watch->stream)->watches = watch->next;
    watch->next = watch->previous = nullptr;
    watch->stream = nullptr;
}

void tellChannelsGone(TQStream *stream, bool destroyed)
{
    tq::platform::MutexGuard guard(watchLock());
    StreamPrivate *p = priv(stream);
    if (!destroyed) {
        for (StreamWatch *w = p->watches; w; w = w->next)
            w->channelsGone(w, false);
        return;
    }
    // Each watch leaves the stream before it hears of it, so that it never
    // reaches back into the record being torn down.
    while (StreamWatch *w = p->watches) {
        p->watches = w->next;
        if (p->watches)
            p->watches->previous = nullptr;
        w->next = w->previous = nullptr;
        w->stream = nullptr;
        w->channelsGone(w, true);
    }
}

} // namespace tq::stream

TQStream *newStream(const char *name, double rate, void *owner)
{
    auto *p = static_cast<StreamPrivate *>(calloc(1, sizeof(StreamPrivate)));
    if (!p)
        return nullptr;
    TQStream *s = &p->pub;
    s->rate = rate;
    s->refCount = 1;
    s->decimation = 1;
    s->captureData = s->capturePoll = s->captureEvent = -1;

    s->lockMutex = new (std::nothrow) Mutex();
    p->handlerLock = new (std::nothrow) Mutex();
    p->wait = tq::stream::waitStateCreate(s);
    if (!s->lockMutex || !p->handlerLock || !p->wait) {
        delete lockOf(s);
        delete p->handlerLock;
        if (p->wait)
            tq::stream::waitStateClose(p->wait);
        free(p);
        return nullptr;
    }
    // The wait state holds the event mutex and the waiters' wake-ups.
    s->eventMutex = p->wait;
    s->wakeEvent = p->wait;

    tqListInit(&s->readers);
    tqListInit(&s->displayWindows);
    tqListInit(&s->listeners);
    tqListInit(&s->listeners2);
    s->internalAddRef = internalAddRef;
    s->internalRelease = internalRelease;
    s->notifyListeners = notifyListeners;
    s->streamGrowXMLBuffer = streamGrowXMLBuffer;

    copyName(s->name, name);
    fillFunctionFields(s);
    tq::stream::displayModelCreateDefault(s);
    s->owner = owner;
    p->value = streamValues().add(s);
    return s;
}

void destroyStream(TQStream *stream)
{
    if (!stream)
        return;
    StreamPrivate *p = priv(stream);
    // Gone from the value table first: a value looked up from now on finds
    // nothing rather than a record being torn down; and no other thread
    // still works on the stream through a hold.
    retireValue(p);
    // Clones answer with this stream's channel records, which may go with it
    // (a driver's records live in its session): they must stop asking.
    tq::stream::tellChannelsGone(stream, true);

    // Readers: each leaves the list through its own unlink, which drops the
    // list's reference; a reader its owner still holds survives without stream.
    while (auto *reader = static_cast<TQReader *>(stream->readers.first)) {
        reader->readerUnlink(reader);
        if (stream->readers.first == reader) {
            // An unlink that did not take the reader out of the list.
            tqListRemove(&stream->readers, reader, offsetof(TQReader, link));
            TQReader *copy = reader;
            reader->internalRelease(&copy);
        }
    }
    listeners::unlinkAll<TQStreamListener>(&stream->listeners);
    listeners::unlinkAll<TQStreamListener>(&stream->listeners2);
    tq::stream::displayModelDestroy(stream);

    // Threads blocked in streamWait wake with the stream-closed result; they
    // never touch the record again, and the wait state goes with the last one.
    if (p->wait)
        tq::stream::waitStateClose(p->wait);
    p->wait = nullptr;
    stream->eventMutex = stream->wakeEvent = nullptr;
    delete lockOf(stream);
    stream->lockMutex = nullptr;
    delete p->handlerLock;
    p->handlerLock = nullptr;

    free(stream->xmlBuffer);
    free(p);
}

uint16_t setNumberChannels(TQStream *stream, uint16_t count)
{
    stream->numberChannels = count;
    return count;
}

uint16_t setScanSize(TQStream *stream, uint16_t bytes)
{
    stream->scanSize = bytes;
    return bytes;
}

uint16_t setNumberOutputChannels(TQStream *stream, uint16_t count)
{
    stream->numberOutputChannels = count;
    return count;
}

uint16_t setOutputScanSize(TQStream *stream, uint16_t bytes)
{
    stream->outputScanSize = bytes;
    return bytes;
}

int32_t *streamRefCountAddress(TQStream *stream) { return &stream->refCount; }

void StreamCommonFree(void *block) { free(block); }
