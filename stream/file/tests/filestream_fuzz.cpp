// Fuzz target of OpenFileStream: any bytes, as a stream file, must open or be
// refused without a crash, an overflow or a leak; an opened file must read to
// its end through a reader, seek anywhere, and convert every channel of
// every scan it hands out.
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "file/filestream_impl.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The parser reports unknown chunks on standard output.
    if (!freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

namespace {

// Evaluates every channel on every scan of a reservation; bounded work.
void readSome(TQStream *stream, TQReader *reader, int rounds)
{
    const uint16_t count = stream->streamGetNumberChannels(stream);
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    volatile double sink = 0;
    for (int i = 0; i < rounds; ++i) {
        TQPiece *pieces = nullptr;
        int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, 300);
        if (got <= 0)
            break;
        for (const TQPiece *p = pieces; p && p->data; ++p)
            for (uint32_t b = 0; scanSize && b + scanSize <= p->length; b += scanSize)
                for (uint16_t c = 0; c < count; ++c) {
                    TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, c);
                    sink = sink + ch->streamChannelEval(ch, static_cast<const uint8_t *>(p->data) + b) +
                           ch->streamChannelEvalRaw(ch, static_cast<const uint8_t *>(p->data) + b);
                }
        // The same samples converted a piece at a time.
        double values[300] = {};
        for (const TQPiece *p = pieces; p && p->data && scanSize; ++p)
            for (uint16_t c = 0; c < count; ++c) {
                const int64_t n = p->length / scanSize;
                StreamChannelEvalRun(stream->streamGetChannelByIndex(stream, c), p->data, scanSize,
                                     n < 300 ? n : 300, values);
                sink = sink + values[0];
            }
        reader->readerCompleteRead(reader, got);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fd = memfd_create("filestream", 0);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    TQStream *stream = nullptr;
    if (OpenFileStream(path.c_str(), &stream) == 0) {
        TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
        if (reader) {
            readSome(stream, reader, 8);
            reader->readerSeek(reader, -3, TQ_WHENCE_CURRENT);
            readSome(stream, reader, 1);
            reader->readerSeek(reader, -2, TQ_WHENCE_NEWEST);
            readSome(stream, reader, 2);
            reader->readerSeek(reader, 1, TQ_WHENCE_OLDEST);
            int64_t count = 0, position = 0;
            reader->readerPeek(reader, &count, &position);
            readSome(stream, reader, 1);
            reader->readerUnlink(reader);
            reader->readerRelease(&reader);
        }
        if (stream->streamGetScansWritten(stream) <= 16)
            stream->streamCaptureOpen(stream, "/dev/null", 1);
        stream->streamRelease(&stream);
    }
    close(fd);
    return 0;
}
