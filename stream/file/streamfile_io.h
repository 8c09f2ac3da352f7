// Byte order and whole-buffer I/O on file descriptors for the stream files.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace tq::stream::io {

inline void putBE16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void putBE32(uint8_t *p, uint32_t v)
{
    for (int i = 3; i >= 0; --i, v >>= 8)
        p[i] = static_cast<uint8_t>(v);
}

inline void putBE64(uint8_t *p, uint64_t v)
{
    for (int i = 7; i >= 0; --i, v >>= 8)
        p[i] = static_cast<uint8_t>(v);
}

inline uint16_t getBE16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

inline uint32_t getBE32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

inline uint64_t getBE64(const uint8_t *p) { return static_cast<uint64_t>(getBE32(p)) << 32 | getBE32(p + 4); }

// Writes every byte (a regular file may take a large block in parts).
inline bool writeAll(int fd, const void *data, size_t size)
{
    auto *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

inline bool readAll(int fd, void *data, size_t size)
{
    auto *p = static_cast<char *>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace tq::stream::io
