// The DMA ring of the model 718 as the driver keeps account of it: N
// segments of S scans each, the 64-bit count C of segments begun since the
// start, the filled count of each segment, and the positions of the readers
// that read the segments in place.
//
// Segment j (counting from 0 since the start) lives in table entry
// (j mod N) + 1; entry 0 holds the descriptor chain. Segment C - 1 is being
// filled; the kept segments are C - N to C - 1 (from 0 while C <= N). A
// reader's position is (segment, offset) with offset < S, or the start of a
// segment not begun yet once it has read everything.
//
// Nothing here locks or talks to the board: the interrupt handler and the
// reader operations call it under the stream's lock.
#pragma once

#include <cstdint>
#include <vector>

#include "tq/visatype.h"
#include "tqstream.h"

namespace tq718
{

struct Segment {
    ViSession session = VI_NULL; // the "PXI::MEMACC" session that owns the memory
    uint32_t filled = 0;         // scans written into the segment
    ViBusAddress offset = 0;     // bus address from viMemAlloc
    uint8_t *address = nullptr;  // mapped address
    ViBusSize size = 0;
};

// The private block of a device reader (after the framework's part).
struct ReaderPosition {
    int64_t offset = 0;  // scans consumed in its segment
    int64_t segment = 0; // segment number since the start
    TQPiece *pieces = nullptr;
    int64_t reserved = 0; // scans of the open reservation
    uint32_t pieceCapacity = 0;
    bool reservationOpen = false;
};

class Ring
{
  public:
    // A ring of n segments of s scans of scanSize bytes; the table has
    // n + 1 entries (entry 0 the descriptors), addresses filled in by the
    // allocation.
    void configure(uint16_t n, uint32_t s, uint16_t scanSize);
    void clear();

    bool allocated() const { return n_ != 0; }
    uint16_t segments() const { return n_; }
    uint32_t scansPerSegment() const { return s_; }
    uint16_t scanSize() const { return scanSize_; }
    uint64_t begun() const { return c_; }
    std::vector<Segment> &table() { return table_; }

    Segment &entry(uint64_t segment) { return table_[segment % n_ + 1]; }
    uint32_t filled(uint64_t segment) const { return table_[segment % n_ + 1].filled; }
    uint8_t *scanAddress(uint64_t segment, uint64_t offset)
    {
        return entry(segment).address + offset * scanSize_;
    }
    // Back to no segment begun (at a start).
    void restart();

    // Scans written since the start: S x (C - 1) + filled(C - 1).
    int64_t scansWritten() const;
    // First segment still kept.
    uint64_t oldestKept() const { return c_ > n_ ? c_ - n_ : 0; }

    // Accounts for the board's write count W (scans since the start). For
    // each run of new scans in one segment, added(segment, first, count) is
    // called; when a segment begins that overwrites the oldest kept one,
    // overrun(oldest kept segment) is called so that laggards can be moved.
    // A W below what is already accounted for changes nothing.
    template <typename Added, typename Overrun> void account(int64_t written, Added &&added, Overrun &&overrun);

    // Moves a reader left behind the kept segments to the oldest kept one.
    void catchUp(ReaderPosition &r) const;

    // The reader operations (positions and counts in scans).
    int64_t avail(const ReaderPosition &r) const;
    void *peek(ReaderPosition &r, int64_t *count, int64_t *position);
    int64_t seek(ReaderPosition &r, int64_t position, int32_t whence) const;
    int64_t reserveRead(ReaderPosition &r, TQPiece **pieces, uint32_t *pieceCount, int64_t count);
    int64_t completeRead(ReaderPosition &r, int64_t count) const;

  private:
    // Absolute scan index of a position and back.
    int64_t absolute(const ReaderPosition &r) const { return r.segment * static_cast<int64_t>(s_) + r.offset; }
    void place(ReaderPosition &r, int64_t scan) const;

    uint16_t n_ = 0;
    uint32_t s_ = 0;
    uint16_t scanSize_ = 0;
    uint64_t c_ = 0;
    std::vector<Segment> table_;
};

template <typename Added, typename Overrun> void Ring::account(int64_t written, Added &&added, Overrun &&overrun)
{
    if (!allocated())
        return;
    int64_t d = written - scansWritten();
    while (d > 0) {
        if (c_ == 0) {
            c_ = 1;
            entry(0).filled = 0;
        }
        Segment &current = entry(c_ - 1);
        const uint64_t room = s_ - current.filled;
        const uint32_t first = current.filled;
        if (static_cast<uint64_t>(d) > room) {
            // The segment fills up and the next one begins with the rest.
            current.filled = s_;
            if (room)
                added(c_ - 1, first, static_cast<uint32_t>(room));
            d -= static_cast<int64_t>(room);
            ++c_;
            entry(c_ - 1).filled = 0;
            if (c_ > n_)
                overrun(c_ - n_);
        } else {
            current.filled += static_cast<uint32_t>(d);
            added(c_ - 1, first, static_cast<uint32_t>(d));
            d = 0;
        }
    }
}

} // namespace tq718
