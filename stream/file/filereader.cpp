// Readers of file streams. Each reader opens the file on its own and keeps a
// segmented buffer of full scans that it fills from the file in batches of
// one segment; reservations hand out pieces of that buffer. Scans of files
// with polled channels are spread to full-scan stride as they are read and
// completed with the poll record that applies to them.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include "filestream_impl.h"

using tq::stream::FileLayout;

namespace {

// Scans per segment, and the buffer's size and maximum in scans.
constexpr int32_t kSegmentScans = 256;
constexpr int32_t kBufferScans = 1280;
constexpr int32_t kMaximumScans = 2048;
// A write reservation never exceeds the buffer size: five segments.
constexpr int kMaxBatchSegments = kBufferScans / kSegmentScans;

struct FileReader {
    TQBufferReader *bufferReader;
    int32_t fd;
    TQBuffer *buffer;
    uint64_t filePosition;  // where the next batch is read; inside DATA or at its end
    uint64_t scanPosition;  // index of the next scan handed out
    // Taken from the stream when the reader was made, so that a reader that
    // outlives its stream still knows its file.
    FileLayout layout;
    // Scan position at the open reservation, -1 when none: a reservation
    // overtaken by a seek consumes nothing when it is completed.
    int64_t reservedAt;
};

FileReader *ctx(TQReader *reader) { return static_cast<FileReader *>(reader->context); }

// Reads up to size bytes at offset; the bytes read (a short count at the end
// of the file or on an error).
uint64_t readAt(int fd, void *data, uint64_t size, uint64_t offset)
{
    auto *p = static_cast<char *>(data);
    uint64_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return done;
}

// Reads scans of a file without polled channels straight into the pieces
// of a write reservation, in one call; the number of complete scans read.
uint64_t readPieces(FileReader *r, const TQPiece *pieces, uint64_t bytes)
{
    iovec iov[kMaxBatchSegments + 2];
    int count = 0;
    for (uint64_t left = bytes; left > 0 && pieces[count].data && count < kMaxBatchSegments + 2; ++count) {
        const uint64_t n = pieces[count].length < left ? pieces[count].length : left;
        iov[count] = iovec{pieces[count].data, n};
        left -= n;
    }
    uint64_t done = 0;
    int first = 0;
    while (first < count) {
        ssize_t n = preadv(r->fd, iov + first, count - first, static_cast<off_t>(r->filePosition + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
        // Resume after a partial read where it stopped.
        auto left = static_cast<size_t>(n);
        while (first < count && left >= iov[first].iov_len)
            left -= iov[first++].iov_len;
        if (first < count) {
            iov[first].iov_base = static_cast<char *>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
    }
    return done / r->layout.fullScanSize;
}

// Reads k scans of DATA at the file position into dest at full-scan stride
// and adds their poll records; the number of complete scans read, fewer
// than k when the file ends early.
uint64_t readPolledBatch(FileReader *r, uint8_t *dest, uint64_t k)
{
    const FileLayout &l = r->layout;
    const uint64_t D = l.dataScanSize, F = l.fullScanSize, P = l.pollRecordSize;
    uint64_t got = readAt(r->fd, dest, k * D, r->filePosition) / D;
    // From the last scan down, so that no scan is overwritten before it moved.
    for (uint64_t j = got; j-- > 1;)
        memmove(dest + j * F, dest + j * D, D);
    const uint64_t first = (r->filePosition - l.dataPosition) / D;
    const auto perRecord = static_cast<uint64_t>(l.scansPerPoll);
    uint64_t previous = 0;
    for (uint64_t j = 0; j < got; ++j) {
        uint8_t *poll = dest + j * F + D;
        const uint64_t record = (first + j) / perRecord;
        if (j > 0 && record == previous) {
            memcpy(poll, poll - F, P);
        } else if (readAt(r->fd, poll, P, l.pollPosition + record * P) != P) {
            return j; // a scan without its poll record is not complete
        }
        previous = record;
    }
    return got;
}

// Segments one batch may fill: new segments push the oldest out of the
// buffer's window, so a batch takes no more of them than the window has room
// for plus the segments that lie before the reader's own. Reading several
// segments in one call keeps the calls few when scans are small.
uint64_t batchSegments(FileReader *r)
{
    const TQBuffer *b = r->buffer;
    int64_t allowed = b->minimumSegments - b->windowCount;
    if (allowed < 0)
        allowed = 0;
    for (auto *segment = static_cast<const TQBufferSegment *>(b->window.first);
         segment && segment != r->bufferReader->segment;
         segment = static_cast<const TQBufferSegment *>(segment->windowLink.next))
        ++allowed;
    if (allowed > kMaxBatchSegments)
        allowed = kMaxBatchSegments;
    return allowed < 1 ? 1 : static_cast<uint64_t>(allowed);
}

// Makes at least n scans available in the buffer when the file has them.
// -7 once the whole file has been read into the buffer, else 0.
int32_t fill(FileReader *r, int64_t n)
{
    const FileLayout &l = r->layout;
    const uint64_t F = l.fullScanSize, D = l.dataScanSize;
    if (r->filePosition >= l.dataEnd)
        return TQS_END_OF_DATA;
    TQBuffer *b = r->buffer;
    TQBufferReader *br = r->bufferReader;
    const int64_t wanted = n * static_cast<int64_t>(F);
    // New segments push the oldest out of the buffer's window: fill while that
    // drops nothing the reader is still to read.
    while (br->bufferReaderAvail(br) < wanted &&
           (b->allocatedCount < b->minimumSegments || br->segment != b->window.first ||
            br->bufferReaderAvail(br) == 0)) {
        const uint64_t remaining = (l.dataEnd - r->filePosition) / D;
        if (remaining == 0)
            break;
        const uint64_t scans = batchSegments(r) * kSegmentScans;
        const uint64_t request = (remaining > scans ? scans : remaining) * F;
        TQPiece *pieces = nullptr;
        int64_t granted = b->bufferReserveWrite(b, &pieces, nullptr, static_cast<int64_t>(request));
        uint64_t k = granted > 0 && pieces && pieces[0].data ? static_cast<uint64_t>(granted) / F : 0;
        if (l.polled && k > pieces[0].length / F)
            k = pieces[0].length / F; // spread in place: one contiguous piece at a time
        if (k == 0) {
            b->bufferCompleteWrite(b, 0);
            return 0;
        }
        const uint64_t got = l.polled ? readPolledBatch(r, static_cast<uint8_t *>(pieces[0].data), k)
                                      : readPieces(r, pieces, k * F);
        r->filePosition += got * D;
        if (got < k)
            r->layout.dataEnd = r->filePosition; // the file ends here: a short read is its end
        b->bufferCompleteWrite(b, static_cast<int64_t>(got * F));
        if (got < k)
            break;
    }
    return 0;
}

// Empties the buffer and puts the reader at scan target.
void restartAt(FileReader *r, uint64_t target)
{
    r->buffer->bufferRestart(r->buffer);
    r->filePosition = r->layout.dataPosition + target * r->layout.dataScanSize;
    r->bufferReader->bufferReaderSeek(r->bufferReader, 0, TQ_WHENCE_OLDEST);
    r->scanPosition = target;
}

// Largest scan count whose bytes a 64-bit count can hold.
int64_t clampScans(int64_t n, uint64_t F)
{
    const auto most = static_cast<int64_t>(INT64_MAX / F);
    return n < 0 ? 0 : n > most ? most : n;
}

// ---- reader operations ------------------------------------------------------

int32_t fileReaderRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *reader = *holder;
    if (--reader->refCount > 0)
        return 0;
    FileReader *r = ctx(reader);
    if (r) {
        if (r->fd >= 0)
            ACQDCloseReadFile(r->fd);
        if (r->bufferReader)
            r->bufferReader->bufferReaderUnlink(r->bufferReader);
        if (r->buffer)
            r->buffer->bufferRelease(&r->buffer);
        free(r);
    }
    StreamCommonFree(reader);
    *holder = nullptr;
    return 0;
}

int64_t fileReaderAvail(TQReader *reader)
{
    FileReader *r = ctx(reader);
    return r->scanPosition < r->layout.scans ? static_cast<int64_t>(r->layout.scans - r->scanPosition) : 0;
}

void *fileReaderPeek(TQReader *reader, int64_t *count, int64_t *position)
{
    FileReader *r = ctx(reader);
    fill(r, 1);
    int64_t bytes = 0, at = 0;
    void *data = r->bufferReader->bufferReaderPeek(r->bufferReader, &bytes, &at);
    if (!data)
        bytes = 0;
    if (count)
        *count = bytes / static_cast<int64_t>(r->layout.fullScanSize);
    if (position)
        *position = static_cast<int64_t>(r->scanPosition);
    return data;
}

int64_t fileReaderReserveRead(TQReader *reader, TQPiece **pieces, uint32_t *pieceCount, int64_t n)
{
    FileReader *r = ctx(reader);
    const uint64_t F = r->layout.fullScanSize;
    n = clampScans(n, F);
    const int32_t filled = fill(r, n);
    int64_t bytes = r->bufferReader->TQBufferReaderReserveRead(r->bufferReader, pieces, pieceCount,
                                                                 n * static_cast<int64_t>(F));
    if (bytes <= 0) {
        // The end only once nothing is left: a reservation still open keeps
        // buffered scans that are not yet consumed.
        const bool drained = r->bufferReader->bufferReaderAvail(r->bufferReader) == 0;
        return filled == TQS_END_OF_DATA && drained ? TQS_END_OF_DATA : 0;
    }
    r->reservedAt = static_cast<int64_t>(r->scanPosition);
    return bytes / static_cast<int64_t>(F);
}

int64_t fileReaderCompleteRead(TQReader *reader, int64_t n)
{
    FileReader *r = ctx(reader);
    const uint64_t F = r->layout.fullScanSize;
    const bool overtaken = r->reservedAt != static_cast<int64_t>(r->scanPosition);
    r->reservedAt = -1;
    // A reader placed elsewhere since it reserved closes the reservation
    // where it now stands.
    const int64_t bytes = r->bufferReader->bufferReaderCompleteRead(
        r->bufferReader, overtaken ? 0 : clampScans(n, F) * static_cast<int64_t>(F));
    const int64_t scans = bytes / static_cast<int64_t>(F);
    r->scanPosition += static_cast<uint64_t>(scans);
    return scans;
}

int64_t fileReaderSeek(TQReader *reader, int64_t offset, int32_t whence)
{
    FileReader *r = ctx(reader);
    const uint64_t F = r->layout.fullScanSize;
    const auto scans = static_cast<int64_t>(r->layout.scans);
    const auto position = static_cast<int64_t>(r->scanPosition);
    TQBufferReader *br = r->bufferReader;
    switch (whence) {
    case TQ_WHENCE_OLDEST: {
        const int64_t target = offset < 0 ? 0 : offset > scans ? scans : offset;
        restartAt(r, static_cast<uint64_t>(target));
        return target;
    }
    case TQ_WHENCE_CURRENT:
        if (offset >= 0) {
            const int64_t buffered = br->bufferReaderAvail(br) / static_cast<int64_t>(F);
            if (offset <= buffered) {
                const int64_t moved = br->bufferReaderSeek(br, offset * static_cast<int64_t>(F), TQ_WHENCE_CURRENT) /
                                      static_cast<int64_t>(F);
                r->scanPosition += static_cast<uint64_t>(moved);
                return moved;
            }
            const int64_t left = fileReaderAvail(reader);
            const int64_t move = offset < left ? offset : left;
            restartAt(r, static_cast<uint64_t>(position + move));
            return move;
        } else {
            // Scans kept in the buffer behind the reader: from the start of
            // the buffer's window up to the reader's own position.
            int64_t behind = 0;
            if (br->segment) {
                const int64_t at = br->segment->sequence * r->buffer->segmentSize + br->offset;
                behind = (at - r->buffer->bufferGetFirstPosition(r->buffer)) / static_cast<int64_t>(F);
            }
            if (behind > position)
                behind = position;
            if (behind > 0 && offset >= -behind) {
                const int64_t moved = br->bufferReaderSeek(br, offset * static_cast<int64_t>(F), TQ_WHENCE_CURRENT) /
                                      static_cast<int64_t>(F);
                r->scanPosition = static_cast<uint64_t>(position + moved);
                return moved;
            }
            const int64_t move = offset > -position ? offset : -position;
            restartAt(r, static_cast<uint64_t>(position + move));
            return move;
        }
    case TQ_WHENCE_NEWEST: {
        // Counted in whole scans from the last complete one, so that a data
        // length that is no multiple of the scan size cannot misalign.
        int64_t move = offset > 0 ? 0 : offset;
        if (move < -scans)
            move = -scans;
        restartAt(r, static_cast<uint64_t>(scans + move));
        return move;
    }
    default:
        return 0;
    }
}

} // namespace

namespace tq::stream {

TQReader *fileStreamNewReader(TQStream *stream, int64_t position, int32_t whence)
{
    FileStreamPrivate *owner = fileStreamOf(stream);
    auto *r = static_cast<FileReader *>(calloc(1, sizeof(FileReader)));
    if (!r)
        return nullptr;
    r->fd = -1;
    r->reservedAt = -1;
    r->layout = owner->layout;
    TQReader *reader = newReaderBase(stream, position, whence, r);
    if (!reader) {
        free(r);
        return nullptr;
    }
    reader->readerRelease = fileReaderRelease;
    reader->readerPeek = fileReaderPeek;
    reader->readerSeek = fileReaderSeek;
    reader->readerAvail = fileReaderAvail;
    reader->readerReserveRead = fileReaderReserveRead;
    reader->readerCompleteRead = fileReaderCompleteRead;

    const auto F = static_cast<int32_t>(r->layout.fullScanSize);
    r->buffer = TQCreateBuffer(kSegmentScans * F, kBufferScans * F, kMaximumScans * F);
    if (r->buffer)
        r->bufferReader = r->buffer->bufferNewReader(r->buffer, 0, TQ_WHENCE_OLDEST);
    if (r->bufferReader)
        r->fd = ACQDOpenFile(owner->path, O_RDONLY, 0);
    if (r->fd < 0) {
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
        return nullptr;
    }
    // The file as it is now: it may have been cut short since the stream opened it.
    clampLayout(r->fd, r->layout);
    r->filePosition = r->layout.dataPosition;
    reader->readerSeek(reader, position, whence);
    return reader;
}

} // namespace tq::stream
