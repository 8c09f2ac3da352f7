// The output buffer: reservations and commits as the refill makes them, and
// a player that holds a block while the refill replaces it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "tq/driver/output_buffer.h"

namespace
{

using tq::driver::OutputBlock;
using tq::driver::OutputBuffer;

// Reserves scans x scanSize bytes, fills every 16-bit word with value and commits.
int64_t commit(OutputBuffer &b, int64_t scans, uint32_t scanSize, uint16_t value)
{
    int64_t granted = -1;
    TQPiece *pieces = nullptr;
    if (b.reserveWrite(scans, scanSize, &granted, &pieces) != scans)
        return -1;
    auto *words = static_cast<uint16_t *>(pieces[0].data);
    for (uint32_t i = 0; i < pieces[0].length / 2; ++i)
        words[i] = value;
    return b.completeWrite(scans);
}

TEST(OutputBuffer, ReservesOnePieceOrNothing)
{
    struct Case {
        int64_t scans;
        uint32_t scanSize;
        int64_t reserved;
    } cases[] = {
        {10, 4, 10}, {1, 128, 1}, {0, 4, 0},
        {-3, 4, 0},  {10, 0, 0},  {int64_t(1) << 32, 2, 0}, // a piece length is 32-bit
    };
    for (const Case &c : cases) {
        OutputBuffer b;
        int64_t granted = -1;
        TQPiece *pieces = reinterpret_cast<TQPiece *>(&granted);
        EXPECT_EQ(b.reserveWrite(c.scans, c.scanSize, &granted, &pieces), c.reserved) << c.scans << "x" << c.scanSize;
        EXPECT_EQ(granted, c.reserved);
        if (c.reserved == 0) {
            EXPECT_EQ(pieces, nullptr);
            EXPECT_FALSE(b.reservationOpen());
            continue;
        }
        ASSERT_NE(pieces, nullptr);
        EXPECT_EQ(pieces[0].length, c.scans * c.scanSize);
        EXPECT_NE(pieces[0].data, nullptr);
        EXPECT_EQ(pieces[1].data, nullptr); // the list ends with a null address
        memset(pieces[0].data, 0xAB, pieces[0].length);
    }
}

TEST(OutputBuffer, OneReservationAtATimeAndCommitsReplaceTheBlock)
{
    OutputBuffer b;
    EXPECT_EQ(b.acquire(), nullptr); // nothing committed yet
    b.release();
    EXPECT_EQ(b.completeWrite(5), 0); // nothing reserved

    int64_t granted = 0;
    TQPiece *first = nullptr, *second = nullptr;
    ASSERT_EQ(b.reserveWrite(4, 2, &granted, &first), 4);
    EXPECT_EQ(b.reserveWrite(4, 2, &granted, &second), 0);
    EXPECT_EQ(granted, 0);
    EXPECT_EQ(second, nullptr);
    memcpy(first[0].data, "\x01\x00\x02\x00\x03\x00\x04\x00", 8);
    EXPECT_EQ(b.completeWrite(4), 4);

    const OutputBlock *block = b.acquire();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->scans, 4);
    EXPECT_EQ(block->scanSize, 2u);
    EXPECT_EQ(block->data[6], 4);
    b.release();

    // A commit of fewer scans than reserved plays those; a count of 0 drops
    // the reservation and keeps what plays.
    EXPECT_EQ(commit(b, 10, 4, 7), 10);
    ASSERT_EQ(b.reserveWrite(6, 4, &granted, &first), 6);
    EXPECT_EQ(b.completeWrite(3), 3);
    EXPECT_EQ(b.acquire()->scans, 3);
    b.release();
    ASSERT_EQ(b.reserveWrite(6, 8, &granted, &first), 6);
    EXPECT_EQ(b.completeWrite(0), 0);
    EXPECT_FALSE(b.reservationOpen());
    block = b.acquire();
    EXPECT_EQ(block->scans, 3);
    EXPECT_EQ(block->scanSize, 4u);
    b.release();
}

TEST(OutputBuffer, AHeldBlockOutlivesTheCommitsThatReplaceIt)
{
    OutputBuffer b;
    ASSERT_EQ(commit(b, 100, 2, 11), 100);
    const OutputBlock *held = b.acquire();
    ASSERT_NE(held, nullptr);
    // Two further blocks while the player holds the first: it stays whole
    // (AddressSanitizer would see a read of freed memory here).
    ASSERT_EQ(commit(b, 50, 2, 22), 50);
    ASSERT_EQ(commit(b, 25, 2, 33), 25);
    for (int64_t i = 0; i < held->scans; ++i) {
        uint16_t w;
        memcpy(&w, held->data + i * 2, 2);
        ASSERT_EQ(w, 11) << i;
    }
    b.release();
    const OutputBlock *now = b.acquire();
    EXPECT_EQ(now->scans, 25);
    b.release();
    ASSERT_EQ(commit(b, 100, 2, 44), 100);
    b.clear();
    EXPECT_EQ(b.acquire(), nullptr);
    b.release();
}

// A refill thread commits blocks of changing sizes whose every word holds
// the block's own scan count; the player reads whole blocks all the while.
// Each block it sees must be one record: data, count and size of the same
// commit, never freed under it.
TEST(OutputBuffer, PlayerAndRefillOnTwoThreads)
{
    OutputBuffer b;
    std::atomic<bool> done{false};
    std::atomic<int64_t> seen{0};
    std::atomic<bool> consistent{true};
    std::thread player([&] {
        while (!done.load()) {
            const OutputBlock *block = b.acquire();
            if (block) {
                uint64_t sum = 0;
                for (int64_t i = 0; i < block->scans * block->scanSize / 2; ++i) {
                    uint16_t w;
                    memcpy(&w, block->data + i * 2, 2);
                    if (w != static_cast<uint16_t>(block->scans))
                        consistent = false;
                    sum += w;
                }
                if (sum != 0)
                    seen.fetch_add(1);
            }
            b.release();
        }
    });
    for (int i = 0; i < 3000; ++i) {
        const int64_t scans = 1 + (i * 7) % 97;
        const uint32_t scanSize = 2u * (1 + i % 5);
        ASSERT_EQ(commit(b, scans, scanSize, static_cast<uint16_t>(scans)), scans);
        if (i % 500 == 0) // let the player catch up now and then
            while (seen.load() == 0)
                std::this_thread::yield();
    }
    done = true;
    player.join();
    EXPECT_TRUE(consistent.load());
    EXPECT_GT(seen.load(), 0);
}

} // namespace
