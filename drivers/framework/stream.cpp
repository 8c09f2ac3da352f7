// The session's stream: binding, the stream operations the driver takes
// over, and device readers.
#include "tq/driver/stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "internal.h"
#include "tq/driver/channels.h"
#include "tq/driver/driver.h"
#include "tq/platform/dynlib.h"

namespace tq::driver
{

namespace
{

constexpr const char *kStreamLibrary = "tqstream_32.dll";
constexpr double kInitialRate = 100.0;

// Holders of a driver stream (the resource manager, the front panel, the
// formula engine's collection) release it as they please; only close
// destroys it.
int32_t releaseNothing(TQStream **)
{
    return 0;
}

template <typename T, typename F> T slot(T failure, F &&f) noexcept
{
    try {
        return f();
    } catch (...) {
        return failure;
    }
}

Model &modelOf(Session &s)
{
    return s.driver->model();
}

int32_t captureOpen(TQStream *stream, const char *fileName, int32_t mode)
{
    return slot<int32_t>(VI_ERROR_SYSTEM_ERROR, [&]() -> int32_t {
        Session *s = sessionOfStream(stream);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const TQStreamHandles &h = s->streamHandles;
        if (h.isCapturing(stream))
            return VI_ERROR_INV_SETUP;
        if (stream->streamGetWriteHeaderFirst(stream)) {
            CaptureHeader header(stream);
            modelOf(*s).describeCapture(*s, header);
            return h.commonCaptureOpen(stream, fileName, mode, header.get()) != 0 ? VI_ERROR_SYSTEM_ERROR : VI_SUCCESS;
        }
        CaptureHeader empty;
        return h.commonCaptureOpen(stream, fileName, mode, empty.get()) != 0 ? VI_ERROR_SYSTEM_ERROR : VI_SUCCESS;
    });
}

int32_t captureClose(TQStream *stream)
{
    Session *s = sessionOfStream(stream);
    if (!s)
        return TQS_ERR_NO_CAPTURE;
    const TQStreamHandles &h = s->streamHandles;
    if (!h.isCapturing(stream))
        return TQS_ERR_NO_CAPTURE;
    if (stream->streamGetWriteHeaderFirst(stream)) {
        // The header went into the file at open.
        CaptureHeader empty;
        h.commonCaptureClose(stream, empty.get());
        return 0;
    }
    try {
        CaptureHeader header(stream);
        modelOf(*s).describeCapture(*s, header);
        h.commonCaptureClose(stream, header.get());
    } catch (...) {
        // No header to complete the file with: the capture stays open.
        return TQS_ERR_CAPTURE_NAME;
    }
    return 0;
}

int64_t scansWritten(TQStream *stream)
{
    return slot<int64_t>(0, [&]() -> int64_t {
        Session *s = sessionOfStream(stream);
        return s ? modelOf(*s).scansWritten(*s) : 0;
    });
}

TQStreamChannel *channelByName(TQStream *stream, const char *name)
{
    return slot<TQStreamChannel *>(nullptr, [&]() -> TQStreamChannel * {
        Session *s = sessionOfStream(stream);
        if (!s || !name)
            return nullptr;
        Model &m = modelOf(*s);
        for (size_t i = 0;; ++i) {
            TQStreamChannel *c = m.channelAt(*s, i);
            if (!c)
                return nullptr;
            if (strncmp(c->name, name, sizeof c->name) == 0)
                return c;
        }
    });
}

TQStreamChannel *channelByIndex(TQStream *stream, int32_t index)
{
    return slot<TQStreamChannel *>(nullptr, [&]() -> TQStreamChannel * {
        Session *s = sessionOfStream(stream);
        if (!s || index < 0)
            return nullptr;
        Model &m = modelOf(*s);
        int32_t seen = 0;
        for (size_t i = 0;; ++i) {
            TQStreamChannel *c = m.channelAt(*s, i);
            if (!c)
                return nullptr;
            if (enabled(*c) && seen++ == index)
                return c;
        }
    });
}

TQReader *newReader(TQStream *stream, int64_t position, int32_t whence)
{
    return slot<TQReader *>(nullptr, [&]() -> TQReader * {
        Session *s = sessionOfStream(stream);
        return s ? modelOf(*s).newReader(*s, position, whence) : nullptr;
    });
}

// The framework's converters with a run function are registered with the
// stream library while a stream of it is bound, so that the library's
// StreamChannelEvalRun converts their channels a run at a time; a library
// without the registration converts them scan by scan.
void registerConverterRuns(Session &s)
{
    auto reg = reinterpret_cast<TQRegisterChannelRunFn>(
        platform::findSymbol(s.streamLibrary, "StreamRegisterChannelRun"));
    if (!reg)
        return;
    const auto &runs = converterRuns();
    for (int i = 0; i < kConverterRuns; ++i)
        if (reg(runs[i].eval, runs[i].run) == 0)
            s.convertersRegistered |= 1u << i;
}

void unregisterConverterRuns(Session &s)
{
    if (!s.convertersRegistered)
        return;
    auto unreg = reinterpret_cast<TQRegisterChannelRunFn>(
        platform::findSymbol(s.streamLibrary, "StreamUnregisterChannelRun"));
    const auto &runs = converterRuns();
    for (int i = 0; i < kConverterRuns && unreg; ++i)
        if (s.convertersRegistered & (1u << i))
            unreg(runs[i].eval, runs[i].run);
    s.convertersRegistered = 0;
}

} // namespace

Session *sessionOfStream(TQStream *stream)
{
    if (!stream)
        return nullptr;
    return static_cast<Session *>(stream->owner);
}

bool bindStream(Session &s)
{
    if (!s.driver || !s.driver->info().ownsStream)
        return true;
    bool loadedHere = false;
    if (!s.streamLibrary) {
        platform::LibraryHandle lib = platform::loadLibrary(kStreamLibrary);
        if (!lib)
            return false;
        auto getHandles = reinterpret_cast<TQGetHandlesFn>(platform::findSymbol(lib, "tqstream_getHandles"));
        TQStreamHandles handles{};
        if (!getHandles || getHandles(&handles) != 0 || !handles.newStream || !handles.destroyStream) {
            platform::freeLibrary(lib);
            return false;
        }
        s.streamLibrary = lib;
        s.streamHandles = handles;
        loadedHere = true;
    }
    TQStream *stream = s.streamHandles.newStream("", kInitialRate, &s);
    if (!stream) {
        if (loadedHere) {
            platform::freeLibrary(s.streamLibrary);
            s.streamLibrary = nullptr;
            s.streamHandles = TQStreamHandles{};
        }
        return false;
    }
    stream->streamRelease = releaseNothing;
    stream->streamCaptureOpen = captureOpen;
    stream->streamCaptureClose = captureClose;
    stream->streamGetScansWritten = scansWritten;
    stream->streamGetChannel = channelByName;
    stream->streamGetChannelByIndex = channelByIndex;
    stream->streamNewReader = newReader;
    if (s.driver->info().captureHeaderFirst) {
        stream->streamSetWriteHeaderFirst(stream, 1);
        stream->streamSetBigFile(stream, 1);
    }
    s.stream = stream;
    registerConverterRuns(s);
    modelOf(s).streamBound(s);
    return true;
}

void closeCapture(Session &s)
{
    if (s.stream)
        s.stream->streamCaptureClose(s.stream);
}

void unbindStream(Session &s)
{
    closeCapture(s);
    if (s.stream) {
        TQStream *stream = s.stream;
        // Readers still held elsewhere are unlinked and survive without a stream.
        s.streamHandles.destroyStream(stream);
        s.stream = nullptr;
    }
    if (s.streamLibrary) {
        unregisterConverterRuns(s);
        platform::freeLibrary(s.streamLibrary);
        s.streamLibrary = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Device readers.

namespace
{

// The framework's part of a device reader's private block; the model's part
// follows it.
struct ReaderBlock {
    const DeviceReaderOps *ops;
    // Copies of what the release needs, so that a reader released after its
    // session closed reaches neither the session nor an unloaded library.
    TQStreamCommonFreeFn commonFree;
    TQReaderRefCountAddressFn refCountAddress;
    platform::LibraryHandle library; // one load of the stream library per reader
    alignas(std::max_align_t) unsigned char model[1];
};

constexpr size_t kModelOffset = offsetof(ReaderBlock, model);

ReaderBlock *blockOf(TQReader *reader)
{
    return static_cast<ReaderBlock *>(reader->context);
}

// The session of a reader still linked to a stream of this framework; null
// once the stream is gone.
Session *liveSession(TQReader *reader)
{
    TQStream *stream = static_cast<TQStream *>(reader->link.owner);
    return stream ? sessionOfStream(stream) : nullptr;
}

int32_t readerRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *reader = *holder;
    ReaderBlock *block = blockOf(reader);
    int32_t *count = block->refCountAddress(reader);
    if (--*count > 0)
        return 0;
    *holder = nullptr;
    Session *live = liveSession(reader);
    if (live && block->ops->dropLive)
        block->ops->dropLive(*live, block->model);
    else if (block->ops->drop)
        block->ops->drop(block->model);
    TQStreamCommonFreeFn commonFree = block->commonFree;
    platform::LibraryHandle library = block->library;
    free(block);
    commonFree(reader);
    platform::freeLibrary(library);
    return 0;
}

void *readerPeek(TQReader *reader, int64_t *count, int64_t *position)
{
    return slot<void *>(nullptr, [&]() -> void * {
        Session *s = liveSession(reader);
        if (!s) {
            if (count)
                *count = 0;
            return nullptr;
        }
        int64_t n = 0, p = 0;
        void *data = blockOf(reader)->ops->peek(*s, blockOf(reader)->model, &n, &p);
        if (count)
            *count = n;
        if (position)
            *position = p;
        return data;
    });
}

int64_t readerSeek(TQReader *reader, int64_t position, int32_t whence)
{
    return slot<int64_t>(0, [&]() -> int64_t {
        Session *s = liveSession(reader);
        return s ? blockOf(reader)->ops->seek(*s, blockOf(reader)->model, position, whence) : 0;
    });
}

int64_t readerAvail(TQReader *reader)
{
    return slot<int64_t>(0, [&]() -> int64_t {
        Session *s = liveSession(reader);
        return s ? blockOf(reader)->ops->avail(*s, blockOf(reader)->model) : 0;
    });
}

int64_t readerReserveRead(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t count)
{
    return slot<int64_t>(0, [&]() -> int64_t {
        Session *s = liveSession(reader);
        if (!s) {
            if (pieceCount)
                *pieceCount = 0;
            return 0;
        }
        return blockOf(reader)->ops->reserveRead(*s, blockOf(reader)->model, pieces, pieceCount, count);
    });
}

int64_t readerCompleteRead(TQReader *reader, int64_t count)
{
    return slot<int64_t>(0, [&]() -> int64_t {
        Session *s = liveSession(reader);
        return s ? blockOf(reader)->ops->completeRead(*s, blockOf(reader)->model, count) : 0;
    });
}

} // namespace

TQReader *newDeviceReader(Session &s, int64_t position, int32_t whence, const DeviceReaderOps &ops)
{
    if (!s.stream || !s.streamLibrary)
        return nullptr;
    auto *block = static_cast<ReaderBlock *>(calloc(1, kModelOffset + (ops.blockSize ? ops.blockSize : 1)));
    if (!block)
        return nullptr;
    block->ops = &ops;
    block->commonFree = s.streamHandles.StreamCommonFree;
    block->refCountAddress = s.streamHandles.readerRefCountAddress;
    block->library = platform::loadLibrary(platform::libraryFileName(s.streamLibrary));
    if (!block->library) {
        free(block);
        return nullptr;
    }
    TQReader *reader = s.streamHandles.newReaderBase(s.stream, position, whence, block);
    if (!reader) {
        platform::freeLibrary(block->library);
        free(block);
        return nullptr;
    }
    reader->readerRelease = readerRelease;
    reader->readerPeek = readerPeek;
    reader->readerSeek = readerSeek;
    reader->readerAvail = readerAvail;
    reader->readerReserveRead = readerReserveRead;
    reader->readerCompleteRead = readerCompleteRead;
    readerSeek(reader, position, whence);
    return reader;
}

void *deviceReaderBlock(TQReader *reader)
{
    return reader && reader->context ? blockOf(reader)->model : nullptr;
}

} // namespace tq::driver
