// Whole scans in a segmented buffer, and the readers over it.
#include "tq/driver/scanbuffer.h"

#include <climits>
#include <cmath>

#include "tq/driver/stream.h"

namespace tq::driver
{

namespace
{

// How long a reader or the scan count waits for the stream's lock before it
// answers as an empty reader.
constexpr uint32_t kLockMs = 1000;

class StreamLock
{
  public:
    explicit StreamLock(TQStream *stream) : stream_(stream)
    {
        held_ = stream_ && stream_->streamLock(stream_, kLockMs) == 0;
    }
    ~StreamLock()
    {
        if (held_)
            stream_->streamUnlock(stream_);
    }
    StreamLock(const StreamLock &) = delete;
    StreamLock &operator=(const StreamLock &) = delete;
    bool held() const { return held_; }

  private:
    TQStream *stream_;
    bool held_ = false;
};

bool fitsInt32(double bytes)
{
    return std::isfinite(bytes) && bytes >= 1.0 && bytes <= static_cast<double>(INT32_MAX);
}

// The reader's private block: the buffer reader and the device it reads.
struct Block {
    ScanBuffer *device;
    TQBufferReader *reader;
};

Block &blockOf(void *block)
{
    return *static_cast<Block *>(block);
}

int64_t readerSeek(Session &s, void *p, int64_t position, int32_t whence)
{
    Block &b = blockOf(p);
    if (!b.reader)
        return 0;
    StreamLock lock(s.stream);
    const uint32_t size = b.device->scanSize.load(std::memory_order_relaxed);
    if (!lock.held() || size == 0)
        return 0;
    // Whole scans only: a position that would land inside a scan is refused
    // by the buffer's own limits no sooner than at the scan's edge.
    if (position > INT64_MAX / size || position < INT64_MIN / size)
        return 0;
    const int64_t moved = b.reader->bufferReaderSeek(b.reader, position * size, static_cast<int16_t>(whence));
    return moved / size;
}

int64_t readerAvail(Session &s, void *p)
{
    Block &b = blockOf(p);
    if (!b.reader)
        return 0;
    StreamLock lock(s.stream);
    const uint32_t size = b.device->scanSize.load(std::memory_order_relaxed);
    if (!lock.held() || size == 0)
        return 0;
    return b.reader->bufferReaderAvail(b.reader) / size;
}

void *readerPeek(Session &s, void *p, int64_t *count, int64_t *position)
{
    Block &b = blockOf(p);
    *count = 0;
    *position = 0;
    if (!b.reader)
        return nullptr;
    StreamLock lock(s.stream);
    const uint32_t size = b.device->scanSize.load(std::memory_order_relaxed);
    if (!lock.held() || size == 0)
        return nullptr;
    int64_t bytes = 0, at = 0;
    void *data = b.reader->bufferReaderPeek(b.reader, &bytes, &at);
    *count = bytes / size;
    *position = at / size;
    return *count > 0 ? data : nullptr;
}

int64_t readerReserve(Session &s, void *p, TQPiece **pieces, uint32_t *pieceCount, int64_t count)
{
    Block &b = blockOf(p);
    if (pieces)
        *pieces = nullptr;
    if (pieceCount)
        *pieceCount = 0;
    if (!b.reader || count <= 0)
        return 0;
    StreamLock lock(s.stream);
    const uint32_t size = b.device->scanSize.load(std::memory_order_relaxed);
    if (!lock.held() || size == 0)
        return 0;
    const int64_t bytes = count > INT64_MAX / size ? INT64_MAX / size * size : count * size;
    return b.reader->TQBufferReaderReserveRead(b.reader, pieces, pieceCount, bytes) / size;
}

int64_t readerComplete(Session &s, void *p, int64_t count)
{
    Block &b = blockOf(p);
    if (!b.reader)
        return 0;
    StreamLock lock(s.stream);
    const uint32_t size = b.device->scanSize.load(std::memory_order_relaxed);
    if (!lock.held())
        return 0;
    if (size == 0) {
        // Nothing can have been reserved; a stale reservation is dropped.
        b.reader->bufferReaderCompleteRead(b.reader, 0);
        return 0;
    }
    const int64_t bytes = count <= 0 ? 0 : (count > INT64_MAX / size ? INT64_MAX / size * size : count * size);
    return b.reader->bufferReaderCompleteRead(b.reader, bytes) / size;
}

// May run after the session and the buffer are gone: the buffer reader was
// unlinked then and its release touches nothing but its own segments.
void readerDrop(void *p)
{
    Block &b = blockOf(p);
    if (b.reader)
        b.reader->bufferReaderRelease(&b.reader);
}

// While the session lives the buffer's reader list is shared with the
// writer's thread: the reader leaves it under the stream's lock.
void readerDropLive(Session &s, void *p)
{
    StreamLock lock(s.stream);
    readerDrop(p);
}

const DeviceReaderOps kOps = {sizeof(Block), readerSeek,     readerAvail, readerPeek,
                              readerReserve, readerComplete, readerDrop,  readerDropLive};

} // namespace

bool scanBufferSizes(double rate, double refreshRate, double seconds, uint32_t scanSize, ScanBufferSizes &sizes)
{
    if (!(rate > 0.0) || !(refreshRate > 0.0) || !(seconds > 0.0) || scanSize == 0 || !std::isfinite(rate) ||
        !std::isfinite(refreshRate) || !std::isfinite(seconds))
        return false;
    double segmentScans = std::floor(rate / refreshRate);
    if (segmentScans < 1.0)
        segmentScans = 1.0;
    double bufferScans = std::floor(rate * seconds);
    if (bufferScans < segmentScans)
        bufferScans = segmentScans;
    const double segment = segmentScans * scanSize, buffer = bufferScans * scanSize, maximum = 2.0 * buffer;
    if (!fitsInt32(segment) || !fitsInt32(buffer) || !fitsInt32(maximum))
        return false;
    sizes.segmentBytes = static_cast<int32_t>(segment);
    sizes.bufferBytes = static_cast<int32_t>(buffer);
    sizes.maximumBytes = static_cast<int32_t>(maximum);
    return true;
}

bool createScanBuffer(Session &s, ScanBuffer &b, int32_t segmentBytes, int32_t bufferBytes, int32_t maximumBytes)
{
    if (b.buffer)
        return true;
    if (!s.streamHandles.TQCreateBuffer)
        return false;
    b.buffer = s.streamHandles.TQCreateBuffer(segmentBytes, bufferBytes, maximumBytes);
    return b.buffer != nullptr;
}

ViStatus prepareScanBuffer(Session &s, ScanBuffer &b, uint32_t scanSize, const ScanBufferSizes &sizes)
{
    StreamLock lock(s.stream);
    if (!lock.held())
        return VI_ERROR_TMO;
    if (!b.buffer) {
        if (!createScanBuffer(s, b, sizes.segmentBytes, sizes.bufferBytes, sizes.maximumBytes))
            return VI_ERROR_ALLOC;
    } else if (b.buffer->bufferReset(b.buffer, sizes.segmentBytes, sizes.bufferBytes, sizes.maximumBytes) != 0)
        return VI_ERROR_ALLOC;
    b.scanSize.store(scanSize, std::memory_order_relaxed);
    return VI_SUCCESS;
}

void releaseScanBuffer(ScanBuffer &b)
{
    if (!b.buffer)
        return;
    // Close drops the one reference the maker holds.
    b.buffer->bufferClose(b.buffer);
    b.buffer = nullptr;
    b.scanSize.store(0, std::memory_order_relaxed);
}

int64_t scanBufferScansWritten(Session &s, ScanBuffer &b)
{
    StreamLock lock(s.stream);
    const uint32_t size = b.scanSize.load(std::memory_order_relaxed);
    if (!lock.held() || !b.buffer || size == 0)
        return 0;
    return b.buffer->bufferGetBytesWritten(b.buffer) / size;
}

int64_t reserveScans(ScanBuffer &b, int64_t count, TQPiece **pieces)
{
    *pieces = nullptr;
    const uint32_t size = b.scanSize.load(std::memory_order_relaxed);
    if (!b.buffer || size == 0 || count <= 0)
        return 0;
    // The buffer hands out at most its buffer size at once.
    const int64_t most = b.buffer->bufferSize / size;
    if (count > most)
        count = most;
    const int64_t granted = b.buffer->bufferReserveWrite(b.buffer, pieces, nullptr, count * size);
    const int64_t scans = granted / static_cast<int64_t>(size);
    if (scans == 0 && *pieces) {
        b.buffer->bufferCompleteWrite(b.buffer, 0);
        *pieces = nullptr;
    }
    return scans;
}

void commitScans(Session &s, ScanBuffer &b, const TQPiece *pieces, int64_t scans)
{
    const uint32_t size = b.scanSize.load(std::memory_order_relaxed);
    if (!b.buffer || !pieces || size == 0)
        return;
    b.buffer->bufferCompleteWrite(b.buffer, scans * size);
    TQStream *stream = s.stream;
    if (!stream || !s.streamHandles.isCapturing || !s.streamHandles.isCapturing(stream))
        return;
    int64_t left = scans;
    for (const TQPiece *piece = pieces; piece->length && left > 0; ++piece) {
        int64_t n = piece->length / size;
        if (n > left)
            n = left;
        stream->streamNewData(stream, piece->data, n, 0);
        left -= n;
    }
}

TQReader *newBufferedReader(Session &s, ScanBuffer &b, int64_t position, int32_t whence)
{
    TQReader *reader = nullptr;
    {
        // The stream's reader list and the buffer's are shared with the
        // writer's thread and with other readers being made or released.
        StreamLock lock(s.stream);
        if (!lock.held())
            return nullptr;
        reader = newDeviceReader(s, position, whence, kOps);
        if (!reader)
            return nullptr;
        Block &block = blockOf(deviceReaderBlock(reader));
        block.device = &b;
        if (b.buffer)
            block.reader = b.buffer->bufferNewReader(b.buffer, 0, TQ_WHENCE_OLDEST);
    }
    Block &block = blockOf(deviceReaderBlock(reader));
    if (!block.reader) {
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
        return nullptr;
    }
    reader->readerSeek(reader, position, whence);
    return reader;
}

int64_t scanNumberOf(const ScanBuffer &b, const void *scan)
{
    const uint32_t size = b.scanSize.load(std::memory_order_relaxed);
    if (!b.buffer || !scan || size == 0)
        return -1;
    const auto *p = static_cast<const uint8_t *>(scan);
    const int64_t segmentSize = b.buffer->segmentSize;
    for (auto *segment = static_cast<TQBufferSegment *>(b.buffer->window.first); segment;
         segment = static_cast<TQBufferSegment *>(segment->windowLink.next)) {
        if (segment->data && p >= segment->data && p < segment->data + segmentSize)
            return (segment->sequence * segmentSize + (p - segment->data)) / size;
    }
    return -1;
}

} // namespace tq::driver
