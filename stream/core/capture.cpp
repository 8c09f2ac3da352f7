// Capture: recording a stream's scans into a stream file while the capture
// is open. The owner hands each block of new scans to streamNewData (under
// the stream's lock); the engine thins them by the decimation and appends
// them to the data file; closing completes the container.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "file/streamfile_io.h"
#include "streamimpl.h"
#include "status.h"

using tq::stream::priv;
using tq::stream::StreamPrivate;
using namespace tq::stream::io;

namespace {

constexpr uint32_t kDATA = TQ_CHUNK_ID('D', 'A', 'T', 'A');

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Writes a list of buffers completely, resuming after partial writes.
bool writevAll(int fd, iovec *iov, int count)
{
    while (count > 0) {
        ssize_t n = writev(fd, iov, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        auto done = static_cast<size_t>(n);
        while (count > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char *>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
    return true;
}

void closeIfOpen(int32_t &fd)
{
    if (fd != -1)
        close(fd);
    fd = -1;
}

} // namespace

namespace tq::stream {

bool captureNameValid(const char *name)
{
    if (!name)
        return false;
    // Only the file's own name is examined; the directory part is not.
    const char *base = name;
    for (const char *p = name; *p; ++p)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    if (!isLetter(base[0]))
        return false;
    const char *end = strrchr(base, '.');
    if (!end)
        end = base + strlen(base);
    for (const char *p = base + 1; p < end; ++p)
        if (!isLetter(*p) && !isDigit(*p) && *p != '_')
            return false;
    return true;
}

int32_t streamNewData(TQStream *stream, const void *data, int64_t scans, int32_t fileIndex)
{
    int32_t fd;
    switch (fileIndex) {
    case 0:
        fd = stream->captureData;
        break;
    case 1:
        fd = stream->capturePoll;
        break;
    case 2:
        fd = stream->captureEvent;
        break;
    default:
        return TQS_ERR_NO_CAPTURE;
    }
    if (fd == -1)
        return TQS_ERR_NO_CAPTURE;
    const uint64_t scanSize = stream->scanSize;
    if (scans <= 0 || scanSize == 0)
        return 0;
    StreamPrivate *p = priv(stream);
    const auto n = static_cast<uint64_t>(scans);
    const int32_t d = p->captureFixed ? p->captureDecimation : stream->decimation;
    auto *bytes = static_cast<const char *>(data);

    // Scans kept by this call: every scan, or every d-th scan of the whole
    // capture, continuing the rhythm of the previous calls.
    uint64_t first = 0, kept = n;
    if (d >= 2) {
        first = static_cast<uint64_t>(stream->decimationPhase);
        kept = first < n ? (n - first + static_cast<uint64_t>(d) - 1) / static_cast<uint64_t>(d) : 0;
        // The grid goes on whatever happens to the writes below.
        stream->decimationPhase = static_cast<int32_t>(first + kept * static_cast<uint64_t>(d) - n);
    }
    if (kept == 0)
        return 0;
    if (kept > UINT64_MAX / scanSize)
        return TQS_ERR_FAILED;
    const uint64_t size = kept * scanSize;

    // A container with 32-bit lengths cannot describe a longer file; the
    // capture refuses the scans rather than record a length that wraps.
    if (fileIndex == 0 && p->captureFixed && (size > p->captureLimit || p->captureEnd > p->captureLimit - size)) {
        tq::stream::debugTrace("streamNewData: capture %s would exceed the 32-bit file size\n",
                                  stream->captureFileName);
        return TQS_ERR_FAILED;
    }

    bool written;
    if (d < 2) {
        written = writeAll(fd, bytes, size);
    } else {
        written = true;
        iovec iov[64];
        uint64_t i = first;
        while (written && i < n) {
            int count = 0;
            for (; count < 64 && i < n; ++count, i += static_cast<uint64_t>(d))
                iov[count] = iovec{const_cast<char *>(bytes + i * scanSize), scanSize};
            written = writevAll(fd, iov, count);
        }
    }
    if (!written)
        return TQS_ERR_FAILED;
    if (fileIndex == 0)
        p->captureEnd += size;
    return 0;
}

} // namespace tq::stream

int32_t isCapturing(TQStream *stream) { return stream->capturing; }

int32_t commonCaptureOpen(TQStream *stream, const char *fileName, int32_t /*mode*/, const TQCaptureHeader *header)
{
    if (stream->captureData != -1)
        return TQS_ERR_CAPTURE_OPEN;
    if (!tq::stream::captureNameValid(fileName))
        return TQS_ERR_CAPTURE_NAME;
    // A name that does not fit the record would be recorded under another name.
    size_t length = strlen(fileName);
    if (length >= TQ_STREAM_CAPTURE_NAME_SIZE)
        return TQS_ERR_CAPTURE_NAME;
    memcpy(stream->captureFileName, fileName, length + 1);

    StreamPrivate *p = priv(stream);
    const bool wide = stream->bigFile != 0;
    const bool headerFirst = stream->writeHeaderFirst != 0;
    char dataName[TQ_STREAM_CAPTURE_NAME_SIZE + 4];
    snprintf(dataName, sizeof dataName, headerFirst ? "%s" : "%s.ad", fileName);
    int32_t fd = ACQDCreateFile(dataName);
    if (fd < 0)
        return TQS_ERR_CAPTURE_NAME;

    uint64_t end = 0;
    if (headerFirst) {
        // The configuration and an empty DATA chunk first; the scans follow
        // it and its length is completed at close. A file whose header could
        // not be written would not parse, so the capture does not open.
        off_t dataAt = -1;
        bool ok = tq::stream::writeCaptureContainer(fd, wide, header) > 0 && (dataAt = lseek(fd, 0, SEEK_END)) >= 0 &&
                  tq::stream::writeEmptyChunk(fd, kDATA, wide) > 0;
        if (!ok) {
            tq::stream::debugTrace("commonCaptureOpen: cannot write the header of %s\n", dataName);
            // Remove the half-written file, but never a device or the like.
            struct stat st;
            bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
            close(fd);
            if (regular)
                unlink(dataName);
            return TQS_ERR_CAPTURE_NAME;
        }
        stream->dataPosition = dataAt;
        end = static_cast<uint64_t>(dataAt) + (wide ? 12 : 8);
    }
    p->captureFixed = 1;
    p->captureBigFile = wide;
    p->captureHeaderFirst = headerFirst;
    p->captureDecimation = stream->decimation;
    p->captureEnd = end;
    if (wide)
        p->captureLimit = UINT64_MAX;
    else if (headerFirst)
        p->captureLimit = uint64_t{UINT32_MAX} + 8; // container length = end - 8
    else
        p->captureLimit = uint64_t{UINT32_MAX}; // DATA length = size of the raw file
    stream->captureData = fd;
    stream->decimationPhase = 0;
    stream->capturing = 1;
    return 0;
}

int32_t commonCaptureClose(TQStream *stream, const TQCaptureHeader *header)
{
    if (!stream->capturing)
        return TQS_ERR_NO_CAPTURE;
    StreamPrivate *p = priv(stream);
    const bool wide = (p->captureFixed ? p->captureBigFile : stream->bigFile) != 0;
    const bool headerFirst = (p->captureFixed ? p->captureHeaderFirst : stream->writeHeaderFirst) != 0;
    int32_t result;

    if (!headerFirst) {
        // The named file is made now: configuration first, then the raw
        // scans copied in as DATA. The raw file stays on disk.
        int32_t fd = ACQDCreateFile(stream->captureFileName);
        if (fd < 0 || tq::stream::writeCaptureContainer(fd, wide, header) <= 0) {
            closeIfOpen(fd);
            closeIfOpen(stream->captureData);
            closeIfOpen(stream->captureEvent);
            result = TQS_ERR_CAPTURE_NAME;
        } else {
            int32_t r = wide ? ST64CloseWriteFile(fd, stream->captureData, -1, stream->captureEvent)
                             : STRMCloseWriteFile(fd, stream->captureData, -1, stream->captureEvent);
            result = r < 0 ? TQS_ERR_CAPTURE_NAME : r;
        }
    } else {
        // The DATA length is written in place; then the container length.
        const int32_t fd = stream->captureData;
        const uint64_t headerSize = wide ? 12 : 8;
        const uint64_t at = static_cast<uint64_t>(stream->dataPosition);
        off_t endOffset = lseek(fd, 0, SEEK_END);
        bool ok = endOffset >= 0 && static_cast<uint64_t>(endOffset) >= at + headerSize;
        uint8_t length[8];
        if (ok) {
            const uint64_t end = static_cast<uint64_t>(endOffset);
            if (wide)
                putBE64(length, end - at - headerSize);
            else if (end - 8 > UINT32_MAX)
                ok = false; // never a wrapped length
            else
                putBE32(length, static_cast<uint32_t>(end - at - headerSize));
        }
        ok = ok && lseek(fd, static_cast<off_t>(at + 4), SEEK_SET) >= 0 && writeAll(fd, length, wide ? 8 : 4);
        if (!ok) {
            closeIfOpen(stream->captureData);
            closeIfOpen(stream->captureEvent);
            result = TQS_ERR_CAPTURE_NAME;
        } else {
            result = wide ? ST64CloseWriteFile(fd, -1, -1, stream->captureEvent)
                          : STRMCloseWriteFile(fd, -1, -1, stream->captureEvent);
        }
    }
    if (result < 0)
        tq::stream::debugTrace("commonCaptureClose: %s not completed (%d)\n", stream->captureFileName, result);
    stream->captureData = -1;
    stream->captureEvent = -1;
    stream->capturing = 0;
    p->captureFixed = 0;
    return result;
}
