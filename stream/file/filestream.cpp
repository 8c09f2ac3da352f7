// File streams: a recorded stream file replayed as a read-only stream. The
// file's configuration gives the stream's name, rate, start time and
// channels; every reader reads the file through its own descriptor.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filestream_impl.h"

using tq::stream::FileChannel;
using tq::stream::FileLayout;
using tq::stream::FileStreamPrivate;
using tq::stream::fileStreamOf;

namespace {

// ---- stream operations ------------------------------------------------------

int32_t fileStreamRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    TQStream *stream = *holder;
    if (--stream->refCount > 0)
        return 0;
    FileStreamPrivate *p = fileStreamOf(stream);
    // The stream goes first: its display model may still name the channels.
    destroyStream(stream);
    tq::stream::freeChannels(p->channels, p->channelCount);
    free(p->path);
    free(p);
    *holder = nullptr;
    return 0;
}

TQStreamChannel *fileStreamGetChannel(TQStream *stream, const char *name)
{
    FileStreamPrivate *p = fileStreamOf(stream);
    if (!name)
        return nullptr;
    for (int32_t i = 0; i < p->channelCount; ++i)
        if (strcmp(p->channels[i].head.name, name) == 0)
            return &p->channels[i].head;
    return nullptr;
}

TQStreamChannel *fileStreamGetChannelByIndex(TQStream *stream, int32_t index)
{
    FileStreamPrivate *p = fileStreamOf(stream);
    return index >= 0 && index < p->channelCount ? &p->channels[index].head : nullptr;
}

// A recorded file is never written.
int64_t fileStreamReserveWrite(TQStream *, int64_t, int64_t *granted, TQPiece **pieces)
{
    if (granted)
        *granted = 0;
    if (pieces)
        *pieces = nullptr;
    return TQS_ERR_NOTSUPPORTED;
}

int64_t fileStreamCompleteWrite(TQStream *, int64_t) { return TQS_ERR_NOTSUPPORTED; }
int32_t fileStreamNotSupported(TQStream *) { return TQS_ERR_NOTSUPPORTED; }
int64_t fileStreamGetScansWritten(TQStream *stream) { return static_cast<int64_t>(fileStreamOf(stream)->layout.scans); }
int32_t fileStreamCaptureClose(TQStream *) { return 0; }

// ---- opening ----------------------------------------------------------------

// The file name without its directory and without its last extension.
void baseName(const char *path, char *name, size_t size)
{
    const char *base = path;
    for (const char *c = path; *c; ++c)
        if (*c == '/' || *c == '\\')
            base = c + 1;
    const char *dot = strrchr(base, '.');
    size_t n = dot ? static_cast<size_t>(dot - base) : strlen(base);
    if (n >= size)
        n = size - 1;
    memcpy(name, base, n);
    name[n] = '\0';
}

int32_t build(int fd, const char *path, const TQParseContext &ctx, TQStream **out)
{
    const bool acqd = ctx.formType == TQ_FORM_ACQD;
    auto *p = static_cast<FileStreamPrivate *>(calloc(1, sizeof(FileStreamPrivate)));
    if (!p)
        return TQS_ERR_NOMEM;
    p->path = strdup(path);
    char name[TQ_STREAM_NAME_SIZE];
    baseName(path, name, sizeof name);
    const double clock = acqd ? ctx.u.acqd.clockRate : ctx.u.strm.rate;
    TQStream *stream = p->path ? newStream(name, clock, p) : nullptr;
    if (!stream) {
        free(p->path);
        free(p);
        return TQS_ERR_NOMEM;
    }
    stream->streamRelease = fileStreamRelease;
    stream->streamGetChannel = fileStreamGetChannel;
    stream->streamGetChannelByIndex = fileStreamGetChannelByIndex;
    stream->streamReserveWrite = fileStreamReserveWrite;
    stream->streamCompleteWrite = fileStreamCompleteWrite;
    stream->streamUnused = fileStreamNotSupported;
    stream->streamGetScansWritten = fileStreamGetScansWritten;
    stream->streamNewReader = tq::stream::fileStreamNewReader;
    stream->streamCaptureOpen = tq::stream::fileStreamExportText;
    stream->streamCaptureClose = fileStreamCaptureClose;

    FileLayout &l = p->layout;
    int32_t count;
    if (acqd) {
        const auto &a = ctx.u.acqd;
        stream->startTime = a.startTime;
        count = a.channelCount;
        l.dataLength = a.dataLength;
        l.dataPosition = a.dataPosition;
        // ACQD files have no poll records; their (empty) events sit at the data's end.
        l.eventPosition = l.dataPosition + l.dataLength;
    } else {
        const auto &s = ctx.u.strm;
        stream->startTime = s.startTime;
        // A decimation below 1 cannot have been recorded; the scans are
        // replayed at the acquisition rate rather than at an infinite one.
        const int32_t decimation = s.decimation < 1 ? 1 : s.decimation;
        stream->decimation = decimation;
        stream->rate = s.rate / decimation;
        count = s.channelCount;
        if (ctx.formType == TQ_FORM_ST64) {
            const auto &w = ctx.u.st64;
            l.dataLength = w.dataLength;
            l.dataPosition = w.dataPosition;
            l.pollLength = w.pollLength;
            l.pollPosition = w.pollPosition;
            l.eventLength = w.eventLength;
            l.eventPosition = w.eventPosition;
        } else {
            l.dataLength = s.dataLength;
            l.dataPosition = s.dataPosition;
            l.pollLength = s.pollLength;
            l.pollPosition = s.pollPosition;
            l.eventLength = s.eventLength;
            l.eventPosition = s.eventPosition;
        }
    }

    int32_t status = TQS_ERR_FAILED;
    if (count >= 0 && count <= TQ_PARSE_MAX_CHANNELS) {
        p->channels = static_cast<FileChannel *>(calloc(count > 0 ? count : 1, sizeof(FileChannel)));
        p->channelCount = count;
        if (!p->channels)
            status = TQS_ERR_NOMEM;
        else
            status = acqd ? tq::stream::buildAcqdChannels(stream, ctx, p->channels, l)
                          : tq::stream::buildStreamChannels(stream, ctx, p->channels, l);
    }
    if (status != 0) {
        stream->streamRelease(&stream);
        return status;
    }
    tq::stream::clampLayout(fd, l);
    setNumberChannels(stream, static_cast<uint16_t>(count));
    setScanSize(stream, static_cast<uint16_t>(l.fullScanSize));
    *out = stream;
    return 0;
}

uint64_t clampChunk(uint64_t position, uint64_t length, uint64_t fileSize)
{
    if (position >= fileSize)
        return 0;
    return length < fileSize - position ? length : fileSize - position;
}

} // namespace

namespace tq::stream {

void clampLayout(int fd, FileLayout &l)
{
    struct stat st;
    const uint64_t size = fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    l.dataLength = clampChunk(l.dataPosition, l.dataLength, size);
    l.pollLength = clampChunk(l.pollPosition, l.pollLength, size);
    l.eventLength = clampChunk(l.eventPosition, l.eventLength, size);
    uint64_t scans = l.dataScanSize ? l.dataLength / l.dataScanSize : 0;
    if (l.polled) {
        // A scan is complete only with the poll record that applies to it.
        const uint64_t records = l.pollRecordSize ? l.pollLength / l.pollRecordSize : 0;
        const auto perRecord = static_cast<uint64_t>(l.scansPerPoll > 0 ? l.scansPerPoll : 0);
        const uint64_t covered = perRecord && records > UINT64_MAX / perRecord ? UINT64_MAX : records * perRecord;
        if (covered < scans)
            scans = covered;
    }
    l.scans = scans;
    l.dataLength = l.scans * l.dataScanSize;
    l.dataEnd = l.dataPosition + l.dataLength;
    l.pollEnd = l.pollPosition + l.pollLength;
    l.eventEnd = l.eventPosition + l.eventLength;
}

} // namespace tq::stream

int32_t OpenFileStream(const char *path, TQStream **stream)
{
    if (!stream)
        return TQS_ERR_FAILED;
    const int32_t fd = path ? ACQDOpenFile(path, O_RDONLY, 0) : -1;
    if (fd < 0) {
        printf("OpenFileStream failure: retVal=%d errno=%d\n", fd, path ? errno : EINVAL);
        return TQS_ERR_OPEN;
    }
    TQParseContext ctx;
    int32_t status = TQS_ERR_FAILED;
    if (ACQDParse(fd, &ctx) == 1)
        status = build(fd, path, ctx, stream);
    tq::stream::parseContextFree(&ctx);
    ACQDCloseReadFile(fd);
    return status;
}
