// The common reader record: what every reader has whoever owns the data.
// Owners fill in peek, seek, avail, reserveRead and completeRead (and
// usually their own release) after newReaderBase.
#include <cstdlib>
#include <cstring>

#include "streamimpl.h"

namespace {

constexpr size_t kReaderLink = offsetof(TQReader, link);

int32_t readerAddRef(TQReader *reader)
{
    ++reader->refCount;
    return 0;
}

int32_t readerRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *reader = *holder;
    if (--reader->refCount <= 0) {
        StreamCommonFree(reader);
        *holder = nullptr;
    }
    return 0;
}

int32_t readerInternalAddRef(TQReader *reader) { return reader->readerAddRef(reader); }

int32_t readerInternalRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    return (*holder)->readerRelease(holder);
}

TQStream *readerGetStream(TQReader *reader) { return static_cast<TQStream *>(reader->link.owner); }
void *readerGetContext(TQReader *reader) { return reader->context; }

// Until the owner supplies its data operations the reader has nothing to give.
void *readerPeekNone(TQReader *, int64_t *count, int64_t *position)
{
    if (count)
        *count = 0;
    if (position)
        *position = 0;
    return nullptr;
}

int64_t readerSeekNone(TQReader *, int64_t, int32_t) { return 0; }
int64_t readerAvailNone(TQReader *) { return 0; }

int64_t readerReserveReadNone(TQReader *, TQPiece **pieces, uint32_t *pieceCount, int64_t)
{
    if (pieces)
        *pieces = nullptr;
    if (pieceCount)
        *pieceCount = 0;
    return 0;
}

int64_t readerCompleteReadNone(TQReader *, int64_t) { return 0; }

} // namespace

TQReader *newReaderBase(TQStream *stream, int64_t /*position*/, int32_t /*whence*/, void *context)
{
    // The owner seeks to the position once it has filled in its functions.
    auto *reader = static_cast<TQReader *>(calloc(1, sizeof(TQReader)));
    if (!reader)
        return nullptr;
    reader->context = context;
    reader->refCount = 1;
    reader->internalAddRef = readerInternalAddRef;
    reader->internalRelease = readerInternalRelease;
    reader->readerAddRef = readerAddRef;
    reader->readerRelease = readerRelease;
    reader->readerPeek = readerPeekNone;
    reader->readerSeek = readerSeekNone;
    reader->readerAvail = readerAvailNone;
    reader->readerReserveRead = readerReserveReadNone;
    reader->readerCompleteRead = readerCompleteReadNone;
    reader->readerRead = readerRead;
    reader->readerGetStream = readerGetStream;
    reader->readerCloneStream = tq::stream::readerCloneStream;
    reader->readerGetContext = readerGetContext;
    reader->readerUnlink = readerUnlink;
    if (stream) {
        tqListAppend(&stream->readers, stream, reader, kReaderLink);
        reader->internalAddRef(reader);
    }
    return reader;
}

int32_t readerUnlink(TQReader *reader)
{
    auto *stream = static_cast<TQStream *>(reader->link.owner);
    if (!stream)
        return 0;
    tqListRemove(&stream->readers, reader, kReaderLink);
    // A copy, so that the caller's own pointer is never cleared here.
    TQReader *copy = reader;
    reader->internalRelease(&copy);
    return 0;
}

int64_t readerRead(TQReader *reader, void *destination, int64_t count)
{
    TQPiece *pieces = nullptr;
    int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, count);
    if (got < 0)
        return got;
    auto *out = static_cast<char *>(destination);
    for (const TQPiece *piece = pieces; piece && piece->data; ++piece) {
        memcpy(out, piece->data, piece->length);
        out += piece->length;
    }
    reader->readerCompleteRead(reader, got);
    return got;
}

TQReader *firstReader(TQStream *stream) { return static_cast<TQReader *>(stream->readers.first); }
TQReader *nextReader(TQReader *reader) { return static_cast<TQReader *>(reader->link.next); }
int32_t *readerRefCountAddress(TQReader *reader) { return &reader->refCount; }

uint16_t StreamCommonReaderGetScanSize(TQReader *reader)
{
    auto *stream = reader ? static_cast<TQStream *>(reader->link.owner) : nullptr;
    return stream ? stream->streamGetScanSize(stream) : 0;
}
