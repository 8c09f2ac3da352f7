// Helpers for the segmented buffer's tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tqstream.h"

namespace buffertest {

struct BufferCloser {
    void operator()(TQBuffer *buffer) const
    {
        if (buffer)
            buffer->bufferClose(buffer);
    }
};
using BufferPtr = std::unique_ptr<TQBuffer, BufferCloser>;

inline BufferPtr makeBuffer(int32_t seg, int32_t buf, int32_t max) { return BufferPtr(TQCreateBuffer(seg, buf, max)); }

// The byte written at a position: every position has its own recognisable
// value, so that a read from the wrong place shows.
inline uint8_t patternByte(int64_t position) { return static_cast<uint8_t>((position * 131 + 7) ^ (position >> 8)); }

inline std::vector<uint8_t> pattern(int64_t from, int64_t count)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        bytes[static_cast<size_t>(i)] = patternByte(from + i);
    return bytes;
}

// Writes count pattern bytes from the buffer's current write position;
// returns what bufferWrite returned.
inline int64_t writePattern(TQBuffer *buffer, int64_t count)
{
    std::vector<uint8_t> bytes = pattern(buffer->bufferGetBytesWritten(buffer), count);
    return buffer->bufferWrite(buffer, bytes.data(), count);
}

// Concatenates a piece list.
inline std::vector<uint8_t> gather(const TQPiece *pieces)
{
    std::vector<uint8_t> bytes;
    for (; pieces && pieces->length; ++pieces) {
        const auto *data = static_cast<const uint8_t *>(pieces->data);
        bytes.insert(bytes.end(), data, data + pieces->length);
    }
    return bytes;
}

inline int64_t readerPosition(TQBuffer *buffer, TQBufferReader *reader)
{
    return buffer->bufferGetBytesWritten(buffer) - reader->bufferReaderAvail(reader);
}

// Reads count bytes (or what is there) into a vector.
inline std::vector<uint8_t> readBytes(TQBufferReader *reader, int64_t count)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    int64_t got = reader->bufferReaderRead(reader, bytes.data(), count);
    bytes.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return bytes;
}

} // namespace buffertest
