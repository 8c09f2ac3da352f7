// The DMA ring's accounting and its readers against a model: segments of
// host memory filled with scan numbers arrive in random runs, readers read
// in random patterns, and every reader sees each scan at most once, in
// order, losing exactly the scans overwritten before it got to them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "ring.h"

namespace
{

using tq718::ReaderPosition;
using tq718::Ring;

// A ring with real memory: scan k holds k as a 32-bit number (scan size 4).
class MemoryRing
{
  public:
    MemoryRing(uint16_t n, uint32_t s) : n_(n), s_(s), memory_(static_cast<size_t>(n) * s)
    {
        ring.configure(n, s, 4);
        for (uint16_t j = 0; j < n; ++j)
            ring.table()[j + 1].address = reinterpret_cast<uint8_t *>(memory_.data() + static_cast<size_t>(j) * s);
    }
    // The board writes scans up to total (exclusive), then the handler accounts.
    void write(int64_t total)
    {
        for (int64_t k = written_; k < total; ++k)
            memory_[static_cast<size_t>((k / s_) % n_) * s_ + static_cast<size_t>(k % s_)] = static_cast<uint32_t>(k);
        written_ = total;
        ring.account(
            total, [&](uint64_t, uint32_t, uint32_t n) { added += n; },
            [&](uint64_t) {
                for (ReaderPosition *r : readers)
                    ring.catchUp(*r);
            });
    }

    Ring ring;
    std::vector<ReaderPosition *> readers;
    int64_t added = 0;

  private:
    uint16_t n_;
    uint32_t s_;
    int64_t written_ = 0;
    std::vector<uint32_t> memory_;
};

TEST(Tq718Ring, RandomArrivalsAndReadersAgainstAModel)
{
    std::mt19937_64 random(718);
    for (int round = 0; round < 200; ++round) {
        const auto n = static_cast<uint16_t>(2 + random() % 6);
        const auto s = static_cast<uint32_t>(1 + random() % 50);
        MemoryRing m(n, s);
        constexpr int kReaders = 3;
        ReaderPosition positions[kReaders];
        int64_t expected[kReaders] = {}; // the next scan each reader must see
        for (ReaderPosition &p : positions)
            m.readers.push_back(&p);
        int64_t total = 0;
        for (int step = 0; step < 300; ++step) {
            if (random() % 3 == 0) {
                // A run of scans: within a segment, across several, or none.
                total += static_cast<int64_t>(random() % (3 * s + 1));
                m.write(total);
                ASSERT_EQ(m.ring.scansWritten(), total);
                ASSERT_EQ(m.added, total);
            }
            const int i = static_cast<int>(random() % kReaders);
            ReaderPosition &r = positions[i];
            // Overwritten scans are lost: the reader goes on at the oldest kept one.
            const int64_t oldest = static_cast<int64_t>(m.ring.oldestKept()) * s;
            if (expected[i] < oldest)
                expected[i] = oldest;
            ASSERT_EQ(m.ring.avail(r), total - expected[i]) << "round " << round << " step " << step;
            if (random() % 2) {
                int64_t count = 0, position = 0;
                const auto *data = static_cast<const uint32_t *>(m.ring.peek(r, &count, &position));
                ASSERT_EQ(position, expected[i]);
                if (count > 0) {
                    ASSERT_NE(data, nullptr);
                    ASSERT_EQ(data[0], static_cast<uint32_t>(expected[i]));
                } else {
                    ASSERT_EQ(data, nullptr);
                }
            }
            TQPiece *pieces = nullptr;
            uint32_t pieceCount = 0;
            const auto want = static_cast<int64_t>(random() % (2 * s + 2));
            const int64_t got = m.ring.reserveRead(r, &pieces, &pieceCount, want);
            ASSERT_EQ(got, std::min(want, total - expected[i]));
            int64_t seen = 0;
            for (uint32_t p = 0; p < pieceCount; ++p) {
                ASSERT_GT(pieces[p].length, 0u);
                const auto *scan = static_cast<const uint32_t *>(pieces[p].data);
                for (uint32_t b = 0; b < pieces[p].length / 4; ++b)
                    ASSERT_EQ(scan[b], static_cast<uint32_t>(expected[i] + seen++)) << "no gap, no repeat";
            }
            ASSERT_EQ(seen, got);
            if (got > 0) {
                ASSERT_EQ(pieces[pieceCount].data, nullptr);
            }
            EXPECT_EQ(m.ring.reserveRead(r, &pieces, &pieceCount, want), 0) << "one reservation at a time";
            // Complete all or part of it (more than reserved is clamped).
            const int64_t done = got == 0 ? 0 : static_cast<int64_t>(random() % (got + 2));
            ASSERT_EQ(m.ring.completeRead(r, done), std::min(done, got));
            expected[i] += std::min(done, got);
        }
        for (ReaderPosition &p : positions)
            free(p.pieces);
    }
}

// Seeks on a ring of N = 4 segments of 10 scans after C = 6 segments begun
// (scans 0 to 55 written: segment 5 holds 6).
class RingSeek : public ::testing::Test
{
  protected:
    void SetUp() override { m.write(56); }
    int64_t at(const ReaderPosition &r) { return r.segment * 10 + r.offset; }
    MemoryRing m{4, 10};
};

TEST_F(RingSeek, FromTheOldestStartsAtTheOldestKeptSegment)
{
    ASSERT_EQ(m.ring.begun(), 6u);
    struct Case {
        int64_t position, moved, at;
    } cases[] = {{0, 0, 20}, {-5, 0, 20}, {13, 13, 33}, {36, 36, 56}, {1000, 36, 56}};
    for (const Case &c : cases) {
        ReaderPosition r;
        EXPECT_EQ(m.ring.seek(r, c.position, TQ_WHENCE_OLDEST), c.moved) << c.position;
        EXPECT_EQ(at(r), c.at) << c.position;
    }
}

TEST_F(RingSeek, FromTheNewestBackToSegmentThreeAtMost)
{
    struct Case {
        int64_t position, moved, at;
    } cases[] = {{0, 0, 56}, {7, 0, 56}, {-4, -4, 52}, {-20, -20, 36}, {-1000, -26, 30}, {INT64_MIN, -26, 30}};
    for (const Case &c : cases) {
        ReaderPosition r;
        EXPECT_EQ(m.ring.seek(r, c.position, TQ_WHENCE_NEWEST), c.moved) << c.position;
        EXPECT_EQ(at(r), c.at) << c.position;
    }
}

TEST_F(RingSeek, RelativeMovesStayBetweenTheOldestAndTheNewestScan)
{
    struct Case {
        int64_t from, position, moved, at;
    } cases[] = {{25, 8, 8, 33}, {25, 100, 31, 56}, {25, -3, -3, 22}, {25, -100, -5, 20}, {25, 0, 0, 25},
                 {29, 1, 1, 30}, {56, 1, 0, 56},    {30, INT64_MIN, -10, 20}};
    for (const Case &c : cases) {
        ReaderPosition r;
        m.ring.seek(r, c.from - 20, TQ_WHENCE_OLDEST);
        ASSERT_EQ(at(r), c.from);
        EXPECT_EQ(m.ring.seek(r, c.position, TQ_WHENCE_CURRENT), c.moved) << c.from << " " << c.position;
        EXPECT_EQ(at(r), c.at) << c.from << " " << c.position;
    }
}

TEST_F(RingSeek, ALaggardIsMovedToTheOldestKeptSegmentAtTheNextSegment)
{
    ReaderPosition left{5, 1}; // segment 1: already overwritten in memory
    m.readers.push_back(&left);
    m.write(60); // segment 5 fills, no new segment yet
    EXPECT_EQ(left.segment, 1);
    m.write(61); // segment 6 begins: kept are 3 to 6
    EXPECT_EQ(left.segment, 3);
    EXPECT_EQ(left.offset, 0);
}

TEST_F(RingSeek, AReaderAtTheEndOfTheSegmentBeingFilledGoesOnInIt)
{
    ReaderPosition r;
    m.ring.seek(r, 0, TQ_WHENCE_NEWEST);
    int64_t count = -1;
    EXPECT_EQ(m.ring.peek(r, &count, nullptr), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m.ring.avail(r), 0);
    m.write(59);
    EXPECT_EQ(m.ring.avail(r), 3);
    EXPECT_EQ(*static_cast<uint32_t *>(m.ring.peek(r, &count, nullptr)), 56u);
    EXPECT_EQ(count, 3);
}

TEST(Tq718Ring, NoRingAnswersEmpty)
{
    Ring ring;
    ReaderPosition r;
    TQPiece *pieces = nullptr;
    uint32_t n = 7;
    EXPECT_EQ(ring.avail(r), 0);
    EXPECT_EQ(ring.seek(r, 5, TQ_WHENCE_OLDEST), 0);
    EXPECT_EQ(ring.reserveRead(r, &pieces, &n, 5), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(ring.scansWritten(), 0);
}

} // namespace
