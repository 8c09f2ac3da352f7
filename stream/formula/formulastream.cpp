// The formula output stream: an ordinary stream to its readers, whose
// channels are the engine's input formulas and whose scans are computed on
// demand or as input data arrive; its output switch runs the refill thread
// that writes asynchronous output formulas into the instrument streams.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <unistd.h>

#include "formulaengine.h"
#include "core/status.h"
#include "core/streamimpl.h"
#include "tq/platform/guard.h"
#include "tq/platform/numfmt.h"

namespace tq::formula {

using tq::platform::MutexGuard;

namespace {

constexpr uint32_t kRefillPeriodMs = 50;

TQFormulaEngine *engineOf(TQStream *stream) { return static_cast<TQFormulaEngine *>(stream->owner); }
EnginePrivate *privOf(TQStream *stream) { return priv(engineOf(stream)); }
int64_t scanBytes(TQFormulaEngine *e) { return 8 * static_cast<int64_t>(e->inputCount); }

// ---- output channels -------------------------------------------------------------------

double outputChannelEval(TQStreamChannel *channel, const void *scan)
{
    double value;
    std::memcpy(&value, static_cast<const char *>(scan) + 8 * channel->ownerWord, sizeof value);
    return value;
}

// The units word of an input statement.
const char *unitsOf(const Formula *f)
{
    const ExprNode *root = f->root;
    if (root && root->kind == kInputStatement && root->operandCount > 2 && root->operand[2])
        return root->operand[2]->name;
    return "";
}

// ---- stream operations -------------------------------------------------------------------

int32_t streamRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    TQStream *stream = *holder;
    *holder = nullptr;
    if (--stream->refCount > 0)
        return 0;
    TQFormulaEngine *e = engineOf(stream);
    EnginePrivate *p = priv(e);
    {
        MutexGuard guard(p->mutex);
        p->context.eventStream = nullptr;
        e->outputStream = nullptr;
    }
    // Readers still linked leave first, while the buffer they read lives.
    destroyStream(stream);
    bool freeEngine;
    {
        MutexGuard guard(p->mutex);
        for (int32_t i = 0; i < p->channelCapacity; ++i)
            std::free(e->outputChannels[i]);
        std::free(e->outputChannels);
        e->outputChannels = nullptr;
        p->channelCapacity = 0;
        e->inputCount = 0;
        if (e->outputBuffer)
            e->outputBuffer->bufferRelease(&e->outputBuffer);
        p->streamGone = true;
        freeEngine = p->engineReleased && p->liveReaders == 0;
    }
    if (freeEngine)
        delete p;
    return 0;
}

int64_t streamGetStartTime(TQStream *stream)
{
    TQFormulaEngine *e = engineOf(stream);
    MutexGuard guard(priv(e)->mutex);
    return e->collection ? e->collection->StreamCollectionGetStartTime(e->collection) : 0;
}

// Captures of computed channels write the scans first and the description at
// close, whatever the stream's header switch says, since the channels are
// known only then; the big-file switch (as it stands at open) and the
// decimation are honoured. The engine opens the raw file itself: any name
// the caller gives is taken as it stands, with ".ad" appended for the raw
// scans, and only a file that cannot be made fails.
int32_t streamCaptureOpen(TQStream *stream, const char *fileName, int32_t /*mode*/)
{
    EnginePrivate *p = privOf(stream);
    MutexGuard guard(p->mutex);
    if (stream->capturing)
        return TQS_ERR_CAPTURE_OPEN;
    std::string name = fileName ? fileName : "";
    const int32_t fd = ACQDCreateFile((name + ".ad").c_str());
    if (fd < 0)
        return TQS_ERR_CAPTURE_NAME;
    p->captureName = std::move(name);
    p->captureWide = stream->bigFile != 0;
    tq::platform::cformat(stream->captureFileName, sizeof stream->captureFileName, "%s", p->captureName.c_str());
    tq::stream::priv(stream)->captureFixed = 0;
    stream->captureData = fd;
    stream->captureEvent = -1;
    stream->decimationPhase = 0;
    stream->capturing = 1;
    return 0;
}

// The named file is made, described, and the raw scans copied in as DATA.
// When the description cannot be written the capture stays open, so that a
// later close may still complete it.
int32_t streamCaptureClose(TQStream *stream)
{
    TQFormulaEngine *e = engineOf(stream);
    EnginePrivate *p = priv(e);
    MutexGuard guard(p->mutex);
    if (!stream->capturing)
        return TQS_ERR_NO_CAPTURE;
    const int32_t count = e->inputCount;
    auto *channels = static_cast<TQCaptureChannel *>(std::calloc(count > 0 ? count : 1, sizeof(TQCaptureChannel)));
    if (!channels)
        return -4;
    for (int32_t i = 0; i < count; ++i) {
        const TQStreamChannel *c = e->outputChannels[i];
        tq::platform::cformat(channels[i].name, sizeof channels[i].name, "%s", c->name);
        tq::platform::cformat(channels[i].eu, sizeof channels[i].eu, "%s", c->eu);
        channels[i].kind = TQ_XFRM_DOUBLE;
    }
    TQCaptureHeader header{};
    header.rate = stream->rate;
    header.decimation = stream->decimation > 0 ? stream->decimation : 1;
    header.startTime = static_cast<int64_t>(std::time(nullptr));
    header.channelCount = count;
    header.channels = channels;
    const bool wide = p->captureWide;
    const int32_t fd = ACQDCreateFile(p->captureName.c_str());
    int32_t result = TQS_ERR_CAPTURE_NAME;
    if (fd >= 0) {
        if (tq::stream::writeCaptureContainer(fd, wide, &header) <= 0) {
            close(fd);
        } else {
            const int32_t closed = wide ? ST64CloseWriteFile(fd, stream->captureData, -1, -1)
                                        : STRMCloseWriteFile(fd, stream->captureData, -1, -1);
            stream->captureData = -1;
            stream->capturing = 0;
            result = closed < 0 ? TQS_ERR_CAPTURE_NAME : 0;
        }
    }
    std::free(channels);
    return result;
}

TQStreamChannel *streamGetChannel(TQStream *stream, const char *name)
{
    TQFormulaEngine *e = engineOf(stream);
    MutexGuard guard(priv(e)->mutex);
    for (int32_t i = 0; name && i < e->inputCount; ++i)
        if (std::strcmp(e->outputChannels[i]->name, name) == 0)
            return e->outputChannels[i];
    return nullptr;
}

TQStreamChannel *streamGetChannelByIndex(TQStream *stream, int32_t index)
{
    TQFormulaEngine *e = engineOf(stream);
    MutexGuard guard(priv(e)->mutex);
    return index >= 0 && index < e->inputCount ? e->outputChannels[index] : nullptr;
}

int64_t streamGetScansWritten(TQStream *stream)
{
    TQFormulaEngine *e = engineOf(stream);
    MutexGuard guard(priv(e)->mutex);
    return e->collection ? e->collection->StreamCollectionWritten(e->collection) : 0;
}

void refillLoop(TQFormulaEngine *e)
{
    EnginePrivate *p = priv(e);
    while (__atomic_load_n(&e->refillRun, __ATOMIC_ACQUIRE)) {
        {
            MutexGuard guard(p->mutex);
            refillOutputs(e, nullptr);
        }
        tq::platform::sleepMs(kRefillPeriodMs);
    }
}

// The output switch: starts the refill thread once while some member has
// its output on; 0 stops it after its current pass.
int32_t startOutputThread(TQStream *stream, int32_t flag)
{
    TQFormulaEngine *e = engineOf(stream);
    EnginePrivate *p = priv(e);
    p->mutex.lock();
    if (!e->collection) {
        p->mutex.unlock();
        return 0;
    }
    if (!flag) {
        __atomic_store_n(&e->refillRun, 0, __ATOMIC_RELEASE);
        p->mutex.unlock();
        return 0;
    }
    if (__atomic_load_n(&e->refillRun, __ATOMIC_ACQUIRE) ||
        !e->collection->StreamCollectionAnyOutputEnabled(e->collection)) {
        p->mutex.unlock();
        return 0;
    }
    // A thread told to stop may still be finishing its pass: it is waited for
    // (without the engine's lock, which its pass takes), so that only one
    // ever runs.
    if (p->refill.joinable()) {
        p->mutex.unlock();
        p->refill.join();
        p->mutex.lock();
    }
    int32_t result = 0;
    if (!__atomic_load_n(&e->refillRun, __ATOMIC_ACQUIRE) && !p->refill.joinable()) {
        __atomic_store_n(&e->refillRun, 1, __ATOMIC_RELEASE);
        bool started = false;
        try {
            started = p->refill.start([e] { refillLoop(e); });
        } catch (...) {
            started = false;
        }
        if (started) {
            e->refillThread = &p->refill;
        } else {
            __atomic_store_n(&e->refillRun, 0, __ATOMIC_RELEASE);
            e->refillThread = nullptr;
            result = TQS_ERR_FAILED;
        }
    }
    p->mutex.unlock();
    return result;
}

int32_t streamGetOutputEnable(TQStream *stream)
{
    return __atomic_load_n(&engineOf(stream)->refillRun, __ATOMIC_ACQUIRE);
}

int32_t streamLock(TQStream *stream, uint32_t timeoutMs)
{
    auto *mutex = static_cast<tq::platform::Mutex *>(stream->lockMutex);
    if (const int32_t locked = tq::stream::lockResult(mutex->lock(timeoutMs)); locked != 0)
        return locked;
    TQFormulaEngine *e = engineOf(stream);
    TQStreamCollection *collection = e->collection;
    if (collection) {
        const int32_t result = collection->StreamCollectionLockMonitor(collection, timeoutMs);
        if (result != 0) {
            mutex->unlock();
            return result;
        }
    }
    return 0;
}

int32_t streamUnlock(TQStream *stream)
{
    TQFormulaEngine *e = engineOf(stream);
    if (e->collection)
        e->collection->StreamCollectionUnlockMonitor(e->collection);
    static_cast<tq::platform::Mutex *>(stream->lockMutex)->unlock();
    return 0;
}

// ---- readers -------------------------------------------------------------------------------

struct ReaderBlock {
    TQFormulaEngine *engine;
    TQBufferReader *buffer;
};

ReaderBlock *blockOf(TQReader *reader) { return static_cast<ReaderBlock *>(reader->context); }

// The output buffer is reset and every position starts again at the
// collection's position.
void restartAt(TQFormulaEngine *e, int64_t position)
{
    TQBuffer *b = e->outputBuffer;
    if (b)
        b->bufferReset(b, b->segmentSize, 10 * b->segmentSize, 15 * b->segmentSize);
    e->ringPosition = 0;
    e->oldestIndex = e->newestIndex = 0;
    e->baseIndex = position;
    e->runningIndex = position;
}

int64_t collectionPosition(TQStreamCollection *collection)
{
    void **table = nullptr;
    int64_t count = 0, position = 0;
    collection->StreamCollectionPeek(collection, &table, &count, &position);
    return position;
}

int64_t readerPosition(TQFormulaEngine *e, ReaderBlock *block)
{
    int64_t count = 0, position = 0;
    block->buffer->bufferReaderPeek(block->buffer, &count, &position);
    const int64_t size = scanBytes(e);
    return size ? position / size + e->baseIndex : e->baseIndex;
}

int32_t readerRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *reader = *holder;
    if (--reader->refCount > 0)
        return 0;
    *holder = nullptr;
    ReaderBlock *block = blockOf(reader);
    EnginePrivate *engineGone = nullptr;
    if (block) {
        // The output buffer's reader list changes under the engine's lock:
        // readers closed on several threads at once must not unlink through
        // each other.
        EnginePrivate *p = priv(block->engine);
        {
            MutexGuard guard(p->mutex);
            // Unlinking drops the last reference the buffer reader has.
            if (block->buffer)
                block->buffer->bufferReaderUnlink(block->buffer);
            if (--p->liveReaders == 0 && p->engineReleased && p->streamGone)
                engineGone = p;
        }
        std::free(block);
    }
    StreamCommonFree(reader);
    delete engineGone;
    return 0;
}

// The stream's reader list changes under the engine's lock, as it does when
// a reader is made: readers closed on two threads at once must not unlink
// through each other.
int32_t readerUnlinkLocked(TQReader *reader)
{
    if (!reader->link.owner)
        return 0;
    MutexGuard guard(priv(blockOf(reader)->engine)->mutex);
    return readerUnlink(reader);
}

void *readerPeek(TQReader *reader, int64_t *count, int64_t *position)
{
    ReaderBlock *block = blockOf(reader);
    TQFormulaEngine *e = block->engine;
    MutexGuard guard(priv(e)->mutex);
    const int64_t size = scanBytes(e);
    if (count)
        *count = 0;
    if (size == 0 || !block->buffer)
        return nullptr;
    if (block->buffer->bufferReaderAvail(block->buffer) < size)
        evalScans(e, 1);
    int64_t bytes = 0, at = 0;
    void *data = block->buffer->bufferReaderPeek(block->buffer, &bytes, &at);
    if (count)
        *count = bytes / size;
    if (position)
        *position = at / size + e->baseIndex;
    return bytes >= size ? data : nullptr;
}

// The scans the collection can still deliver, and those already computed
// for this reader and waiting in the buffer.
int64_t readerAvail(TQReader *reader)
{
    ReaderBlock *block = blockOf(reader);
    TQFormulaEngine *e = block->engine;
    MutexGuard guard(priv(e)->mutex);
    const int64_t size = scanBytes(e);
    if (size == 0 || !e->collection)
        return 0;
    int64_t available = e->collection->StreamCollectionAvailable(e->collection);
    if (available < 0)
        available = 0;
    const int64_t held = block->buffer ? block->buffer->bufferReaderAvail(block->buffer) / size : 0;
    return available + held;
}

int64_t readerReserveRead(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count)
{
    ReaderBlock *block = blockOf(reader);
    TQFormulaEngine *e = block->engine;
    MutexGuard guard(priv(e)->mutex);
    const int64_t size = scanBytes(e);
    if (pieces)
        *pieces = nullptr;
    if (pieceCount)
        *pieceCount = 0;
    if (size == 0 || count <= 0 || !block->buffer)
        return 0;
    const int64_t held = block->buffer->bufferReaderAvail(block->buffer) / size;
    if (held < count)
        evalScans(e, count - held);
    const int64_t bytes = block->buffer->TQBufferReaderReserveRead(block->buffer, pieces, pieceCount, count * size);
    return bytes < 0 ? bytes : bytes / size;
}

int64_t readerCompleteRead(TQReader *reader, int64_t count)
{
    ReaderBlock *block = blockOf(reader);
    TQFormulaEngine *e = block->engine;
    MutexGuard guard(priv(e)->mutex);
    const int64_t size = scanBytes(e);
    if (size == 0 || !block->buffer)
        return 0;
    const int64_t bytes = block->buffer->bufferReaderCompleteRead(block->buffer, count * size);
    return bytes < 0 ? bytes : bytes / size;
}

int64_t readerSeek(TQReader *reader, int64_t offset, int32_t whence)
{
    ReaderBlock *block = blockOf(reader);
    TQFormulaEngine *e = block->engine;
    MutexGuard guard(priv(e)->mutex);
    const int64_t size = scanBytes(e);
    TQStreamCollection *collection = e->collection;
    if (size == 0 || !block->buffer || !collection)
        return 0;
    TQBufferReader *br = block->buffer;
    switch (whence) {
    case TQ_WHENCE_OLDEST: {
        if (offset < 0)
            return 0;
        collection->StreamCollectionSeek(collection, offset, TQ_WHENCE_OLDEST);
        const int64_t c = collectionPosition(collection);
        restartAt(e, c);
        br->bufferReaderSeek(br, 0, TQ_WHENCE_OLDEST);
        return c;
    }
    case TQ_WHENCE_CURRENT: {
        if (offset < 0)
            return 0;
        if (br->bufferReaderAvail(br) >= (offset + 1) * size) {
            const int64_t moved = br->bufferReaderSeek(br, offset * size, TQ_WHENCE_CURRENT);
            return moved < 0 ? moved : moved / size;
        }
        const int64_t q = readerPosition(e, block);
        const int64_t c = collectionPosition(collection);
        collection->StreamCollectionSeek(collection, q - c + offset, TQ_WHENCE_CURRENT);
        const int64_t now = collectionPosition(collection);
        restartAt(e, now);
        br->bufferReaderSeek(br, 0, TQ_WHENCE_OLDEST);
        return now - q;
    }
    case TQ_WHENCE_NEWEST: {
        if (offset > 0)
            return 0;
        const int64_t w = collection->StreamCollectionWritten(collection);
        const int64_t q = readerPosition(e, block);
        const int64_t want = (w - q + offset) * size;
        if (want >= 0 && w == e->newestIndex) {
            const int64_t moved = br->bufferReaderSeek(br, want, TQ_WHENCE_CURRENT);
            if (moved == want)
                return offset;
        }
        const int64_t result = collection->StreamCollectionSeek(collection, offset, TQ_WHENCE_NEWEST);
        restartAt(e, collectionPosition(collection));
        br->bufferReaderSeek(br, 0, TQ_WHENCE_OLDEST);
        return result;
    }
    default: return 0;
    }
}

TQReader *streamNewReader(TQStream *stream, int64_t position, int32_t whence)
{
    TQFormulaEngine *e = engineOf(stream);
    EnginePrivate *p = priv(e);
    auto *block = static_cast<ReaderBlock *>(std::calloc(1, sizeof(ReaderBlock)));
    if (!block)
        return nullptr;
    block->engine = e;
    // Readers of this stream may be made on several threads at once: the
    // stream's reader list is changed under the engine's lock.
    TQReader *reader;
    {
        MutexGuard guard(p->mutex);
        ++p->liveReaders;
        reader = newReaderBase(stream, position, whence, block);
        if (!reader) {
            --p->liveReaders;
            std::free(block);
            return nullptr;
        }
        reader->readerRelease = readerRelease;
        reader->readerPeek = readerPeek;
        reader->readerSeek = readerSeek;
        reader->readerAvail = readerAvail;
        reader->readerReserveRead = readerReserveRead;
        reader->readerCompleteRead = readerCompleteRead;
        reader->readerUnlink = readerUnlinkLocked;
        if (!e->outputBuffer)
            e->outputBuffer = TQCreateBuffer(256, 512, 1024);
        if (e->outputBuffer)
            block->buffer =
                e->outputBuffer->bufferNewReader(e->outputBuffer, position * scanBytes(e), static_cast<int16_t>(whence));
        if (!block->buffer) {
            reader->readerUnlink(reader);
            reader->readerRelease(&reader);
            return nullptr;
        }
    }
    readerSeek(reader, position, whence);
    return reader;
}

} // namespace

bool installOutputStream(TQFormulaEngine *e)
{
    TQStream *s = e->outputStream;
    s->streamRelease = streamRelease;
    s->streamGetStartTime = streamGetStartTime;
    s->streamCaptureOpen = streamCaptureOpen;
    s->streamCaptureClose = streamCaptureClose;
    s->streamGetChannel = streamGetChannel;
    s->streamGetChannelByIndex = streamGetChannelByIndex;
    s->streamGetScansWritten = streamGetScansWritten;
    s->streamSetOutputEnable = startOutputThread;
    s->streamGetOutputEnable = streamGetOutputEnable;
    s->streamLock = streamLock;
    s->streamUnlock = streamUnlock;
    s->streamNewReader = streamNewReader;
    return true;
}

bool configureOutputChannels(TQFormulaEngine *e)
{
    EnginePrivate *p = priv(e);
    const int32_t count = e->inputCount;
    if (count > p->channelCapacity) {
        auto *grown = static_cast<TQStreamChannel **>(std::realloc(e->outputChannels, count * sizeof(TQStreamChannel *)));
        if (!grown)
            return false;
        e->outputChannels = grown;
        for (; p->channelCapacity < count; ++p->channelCapacity) {
            auto *channel = static_cast<TQStreamChannel *>(std::calloc(1, sizeof(TQStreamChannel)));
            if (!channel)
                return false;
            e->outputChannels[p->channelCapacity] = channel;
        }
    }
    for (Formula *f = listFirst(&e->inputFormulas); f; f = listNext(f, kListInput)) {
        TQStreamChannel *c = e->outputChannels[f->channelIndex];
        std::memset(c, 0, sizeof *c);
        tq::platform::cformat(c->name, sizeof c->name, "%s", f->name);
        tq::platform::cformat(c->eu, sizeof c->eu, "%s", unitsOf(f));
        c->ownerWord = f->channelIndex;
        c->streamChannelEval = outputChannelEval;
        c->stream = e->outputStream;
    }
    TQStream *s = e->outputStream;
    setNumberChannels(s, static_cast<uint16_t>(count));
    setScanSize(s, static_cast<uint16_t>(8 * count));

    const int32_t size = 8 * count;
    const int32_t segment = count > 0 ? 256 * size : 8;
    const int32_t total = count > 0 ? 2560 * size : 24;
    const int32_t maximum = count > 0 ? 3840 * size : 40;
    if (!e->outputBuffer)
        e->outputBuffer = TQCreateBuffer(segment, total, maximum);
    else if (e->outputBuffer->bufferReset(e->outputBuffer, segment, total, maximum) < 0)
        return false;
    return e->outputBuffer != nullptr;
}

void stopRefill(TQFormulaEngine *e)
{
    EnginePrivate *p = priv(e);
    __atomic_store_n(&e->refillRun, 0, __ATOMIC_RELEASE);
    if (p->refill.joinable() && !p->refill.isCurrent())
        p->refill.join();
    e->refillThread = nullptr;
}

namespace {

// Lays computed values out as output scans (one double per input formula) in
// the pieces of a reservation, across the blocks of one production.
struct ScanWriter {
    const TQPiece *pieces;
    int32_t formulas;
    int64_t scanBytes;
    uint32_t piece = 0;
    int64_t offset = 0; // bytes used in the current piece

    void write(const BlockProgram &program, int32_t count)
    {
        int32_t k = 0;
        while (k < count) {
            // Whole scans that fit in what is left of the piece are written
            // formula by formula; a scan split between pieces goes value by
            // value.
            const int64_t room = (static_cast<int64_t>(pieces[piece].length) - offset) / scanBytes;
            if (room > 0) {
                const int32_t n = room < count - k ? static_cast<int32_t>(room) : count - k;
                char *first = static_cast<char *>(pieces[piece].data) + offset;
                for (int32_t f = 0; f < formulas; ++f) {
                    const double *values = program.result(static_cast<size_t>(f)) + k;
                    char *at = first + 8 * f;
                    for (int32_t i = 0; i < n; ++i)
                        std::memcpy(at + i * scanBytes, values + i, 8);
                }
                offset += n * scanBytes;
                k += n;
                continue;
            }
            for (int32_t f = 0; f < formulas; ++f) {
                if (offset + 8 > pieces[piece].length) {
                    ++piece;
                    offset = 0;
                }
                std::memcpy(static_cast<char *>(pieces[piece].data) + offset, program.result(static_cast<size_t>(f)) + k, 8);
                offset += 8;
            }
            ++k;
        }
    }
};

} // namespace

int64_t evalScans(TQFormulaEngine *e, int64_t maximum)
{
    EnginePrivate *p = priv(e);
    TQStreamCollection *collection = e->collection;
    if (!e->parsed || !collection || e->inputCount == 0 || !e->outputBuffer)
        return 0;
    e->currentRate = collection->StreamCollectionGetMaxRate(collection);
    p->context.rate = e->currentRate;
    int64_t n = collection->StreamCollectionAvailable(collection);
    if (maximum < n)
        n = maximum;
    if (n <= 0)
        return 0;
    const int64_t size = scanBytes(e);
    TQBuffer *buffer = e->outputBuffer;
    TQPiece *pieces = nullptr;
    uint32_t pieceCount = 0;
    const int64_t reserved = buffer->bufferReserveWrite(buffer, &pieces, &pieceCount, n * size);
    const int64_t wanted = reserved > 0 ? reserved / size : 0;
    if (wanted <= 0) {
        if (reserved > 0)
            buffer->bufferCompleteWrite(buffer, 0);
        return 0;
    }

    // The scans are computed a block at a time and then laid out formula by
    // formula into the reserved pieces.
    BlockProgram &program = p->program;
    ScanWriter writer{pieces, e->inputCount, size};
    int64_t produced = 0;
    while (produced < wanted) {
        void **table = nullptr;
        int64_t aligned = 0, position = 0;
        if (collection->StreamCollectionPeek(collection, &table, &aligned, &position) != 0 || !table)
            break;
        e->runningIndex = position;
        int64_t j = 0;
        while (j < aligned && produced < wanted) {
            int64_t count = BlockProgram::kBlockScans;
            if (count > aligned - j)
                count = aligned - j;
            if (count > wanted - produced)
                count = wanted - produced;
            program.run(table, j, e->runningIndex, static_cast<int32_t>(count));
            writer.write(program, static_cast<int32_t>(count));
            e->runningIndex += count;
            if (e->ringSize > 0)
                e->ringPosition = static_cast<int32_t>((e->ringPosition + count) % e->ringSize);
            produced += count;
            j += count;
        }
        if (j == 0)
            break;
        if (collection->StreamCollectionSeek(collection, j, TQ_WHENCE_CURRENT) != j)
            break;
    }

    const int64_t bytes = produced * size;
    if (e->outputStream && e->outputStream->capturing)
        captureAppend(e, pieces, pieceCount, bytes);
    buffer->bufferCompleteWrite(buffer, bytes);
    e->newestIndex = e->runningIndex;
    const int64_t held = buffer->bufferGetBytesWritten(buffer) - buffer->bufferGetFirstPosition(buffer);
    e->oldestIndex = e->newestIndex - held / size;
    return produced;
}

void captureAppend(TQFormulaEngine *e, const TQPiece *pieces, uint32_t count, int64_t bytes)
{
    const int64_t size = scanBytes(e);
    for (uint32_t i = 0; i < count && bytes > 0 && pieces[i].data; ++i) {
        const int64_t length = pieces[i].length < bytes ? pieces[i].length : bytes;
        tq::stream::streamNewData(e->outputStream, pieces[i].data, length / size, 0);
        bytes -= length;
    }
}

namespace {

// True when the formula's target channel belongs to a stream of that name.
bool writesTo(const Formula *f, const TQStream *stream)
{
    const ExprNode *target = f->root ? f->root->operand[0] : nullptr;
    return target && target->channel && target->channel->stream &&
           std::strcmp(target->channel->stream->name, stream->name) == 0;
}

bool everyAsyncChannelWritten(TQFormulaEngine *e, TQStream *stream)
{
    bool any = false;
    for (Formula *f = listFirst(&e->asyncOutputFormulas); f && !any; f = listNext(f, kListAsyncOutput))
        any = writesTo(f, stream);
    if (!any)
        return false;
    const int32_t outputs = stream->streamGetNumberOutputChannels(stream);
    for (int32_t i = 0; i < outputs; ++i) {
        TQStreamChannel *channel = stream->streamGetOutputChannelByIndex(stream, i);
        if (!channel || channel->outputSyncType != kSyncAsync)
            continue;
        bool written = false;
        for (Formula *f = listFirst(&e->asyncOutputFormulas); f && !written; f = listNext(f, kListAsyncOutput))
            written = f->root->operand[0] && f->root->operand[0]->channel == channel;
        if (!written)
            return false;
    }
    return true;
}

} // namespace

int32_t refillOutputs(TQFormulaEngine *e, char *message)
{
    EnginePrivate *p = priv(e);
    const char *text = "Success";
    int32_t result = 0;
    auto finish = [&] {
        setMessage(message, TQ_FORMULA_MESSAGE_SIZE, text);
        return result;
    };
    if (!e->parsed) {
        text = "Formulas not parsed.";
        result = -11;
        return finish();
    }
    TQStreamCollection *collection = e->collection;
    if (!collection) {
        text = "No stream collection.";
        return finish();
    }
    for (auto *reader = static_cast<TQReader *>(collection->members.first); reader && result >= 0;
         reader = static_cast<TQReader *>(tqListNext(reader, offsetof(TQReader, collectionLink)))) {
        TQStream *stream = reader->readerGetStream(reader);
        if (!stream)
            continue;
        const double rate = stream->streamGetOutputRate(stream);
        const double recycle = stream->streamGetOutputRecycleRate(stream);
        if (rate == 0.0 || recycle == 0.0) {
            text = "Output rate or recyle rate is zero.";
            continue;
        }
        const int64_t outputBytes = stream->streamGetOutputScanSize(stream);
        if (outputBytes == 0) {
            text = "Output bytes per scan zero.";
            continue;
        }
        const double ratio = rate / recycle;
        const int64_t n = ratio >= 1.0 && ratio < 9.2e18 ? static_cast<int64_t>(ratio) : 0;
        if (n <= 0) {
            text = "Recycle rate larger than output rate.";
            result = -8;
            break;
        }
        // Output scans are committed only when a formula writes every
        // asynchronous channel of the stream: a stream none of them writes,
        // or one with an asynchronous channel whose formula went away, keeps
        // what it plays rather than get bytes nobody wrote.
        if (!everyAsyncChannelWritten(e, stream))
            continue;
        e->currentRate = rate;
        p->context.rate = rate;
        int64_t granted = 0;
        TQPiece *pieces = nullptr;
        const int64_t reserved = stream->streamReserveWrite(stream, n, &granted, &pieces);
        if (reserved != n || !pieces) {
            if (reserved > 0)
                stream->streamCompleteWrite(stream, 0);
            result = -4;
            break;
        }
        // Every pass computes the waveform again from scan index 0: values
        // cached in the last pass under the same indexes must not stand in
        // for this pass's writes.
        for (Formula *f = listFirst(&e->asyncOutputFormulas); f; f = listNext(f, kListAsyncOutput))
            if (writesTo(f, stream))
                exprInvalidate(f->root);
        uint32_t piece = 0;
        int64_t j = 0;
        void *cell[1] = {pieces[0].data};
        for (int64_t i = 0; i < n; ++i) {
            for (Formula *f = listFirst(&e->asyncOutputFormulas); f; f = listNext(f, kListAsyncOutput))
                if (writesTo(f, stream))
                    exprEval(f->root, cell, j, i);
            if (++j >= pieces[piece].length / outputBytes && pieces[piece + 1].data) {
                ++piece;
                j = 0;
                cell[0] = pieces[piece].data;
            }
        }
        stream->streamCompleteWrite(stream, n);
    }
    return finish();
}

} // namespace tq::formula
