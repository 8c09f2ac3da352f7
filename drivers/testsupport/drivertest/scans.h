// Reading a driver's stream back in a test: whole scans of a reader, copied
// out of the pieces it reserves.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "tqstream.h"

namespace tq::test
{

// Up to maxScans whole scans of 16-bit words (scanSize bytes each), one read.
inline std::vector<uint16_t> readWords(TQReader *r, int64_t maxScans, uint32_t scanSize)
{
    std::vector<uint16_t> words;
    TQPiece *pieces = nullptr;
    uint32_t count = 0;
    const int64_t n = r->readerReserveRead(r, &pieces, &count, maxScans);
    for (TQPiece *p = pieces; n > 0 && p && p->data; ++p) {
        const auto *w = static_cast<const uint16_t *>(p->data);
        words.insert(words.end(), w, w + p->length / 2);
    }
    r->readerCompleteRead(r, n);
    EXPECT_EQ(words.size() * 2, static_cast<size_t>(n) * scanSize);
    return words;
}

// Every scan available to the reader, each as its `words` 32-bit words.
inline std::vector<std::vector<uint32_t>> readAllScans(TQReader *r, size_t words)
{
    std::vector<std::vector<uint32_t>> scans;
    for (;;) {
        TQPiece *pieces = nullptr;
        const int64_t n = r->readerReserveRead(r, &pieces, nullptr, 1 << 20);
        if (n <= 0)
            break;
        for (TQPiece *p = pieces; p->length; ++p)
            for (uint32_t off = 0; off < p->length; off += static_cast<uint32_t>(4 * words)) {
                std::vector<uint32_t> scan(words);
                memcpy(scan.data(), static_cast<const uint8_t *>(p->data) + off, 4 * words);
                scans.push_back(scan);
            }
        r->readerCompleteRead(r, n);
    }
    return scans;
}

} // namespace tq::test
