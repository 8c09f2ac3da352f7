// The output buffer of a driver that plays output scans: the formula
// engine's refill reserves room for one block of scans, writes it and
// commits it; a player thread of the driver plays the committed block
// cyclically until the next one replaces it.
//
// The committed block is published as one record {data, scans, scan size}
// swapped atomically, so the player never sees the data of one block with
// the scan count of another. A block the player still holds when a commit
// replaces it is freed only once the player let go of it (it is kept and
// reused by a later reservation), so a commit never pulls memory from under
// the player. The player's side takes no lock and allocates nothing:
//
//     const tq::driver::OutputBlock *b = buffer.acquire();   // null before the first commit
//     if (b && b->scanSize == expected) use(b->data + (index % b->scans) * b->scanSize);
//     buffer.release();
//
// Refill side: at most one reservation is open at a time; reservations and
// commits may come from any thread (they take a short lock of their own).
// Player side: one player thread at a time (the driver's output thread).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "tq/platform/sync.h"
#include "tqstream.h"

namespace tq::driver
{

struct OutputBlock {
    const unsigned char *data = nullptr;
    int64_t scans = 0;     // at least 1
    uint32_t scanSize = 0; // bytes per scan when the room was reserved
};

class OutputBuffer
{
  public:
    OutputBuffer() = default;
    // No player may hold a block any more.
    ~OutputBuffer();
    OutputBuffer(const OutputBuffer &) = delete;
    OutputBuffer &operator=(const OutputBuffer &) = delete;

    // Room for scans x scanSize bytes as one piece: *pieces receives a list
    // of one {length, address} piece ended by a null address, *granted the
    // scans reserved. Returns the scans reserved; 0 (nothing reserved,
    // *granted 0, *pieces null) while a reservation is open, for a count or
    // scan size of 0 or less, for a block over 4 GiB (a piece length is
    // 32-bit) or without memory.
    int64_t reserveWrite(int64_t scans, uint32_t scanSize, int64_t *granted, TQPiece **pieces);
    // Commits the first scans of the open reservation (all of them when
    // scans is larger) as the block to play, in place of the previous one.
    // Returns the scans committed; 0 without an open reservation. A count
    // of 0 or less drops the reservation and leaves the committed block.
    int64_t completeWrite(int64_t scans);
    bool reservationOpen() const;
    // True once a block has been committed.
    bool hasBlock() const { return current_.load(std::memory_order_acquire) != nullptr; }

    // The committed block, held until release(); null before the first
    // commit. One player thread at a time.
    const OutputBlock *acquire();
    void release();

    // Drops the reservation and the committed block. No player may hold a
    // block (the driver's player has stopped).
    void clear();

  private:
    struct Node;
    Node *take(size_t bytes);
    void recycle(Node *node);
    void reclaim();

    mutable platform::Mutex lock_;          // the refill side
    Node *pending_ = nullptr;               // open reservation
    Node *retired_[2] = {nullptr, nullptr}; // replaced blocks the player may still hold
    Node *spare_ = nullptr;                 // a freed block kept for the next reservation
    std::atomic<Node *> current_{nullptr};
    std::atomic<Node *> held_{nullptr}; // the block the player holds
};

} // namespace tq::driver
