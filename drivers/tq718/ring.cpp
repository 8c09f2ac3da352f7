// Accounting of the model 718's DMA ring and the reader operations over it
// (see ring.h).
#include "ring.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tq718
{

namespace
{

// |position| of a negative position, also for the most negative one.
int64_t magnitude(int64_t position)
{
    return position == INT64_MIN ? INT64_MAX : -position;
}

} // namespace

void Ring::configure(uint16_t n, uint32_t s, uint16_t scanSize)
{
    n_ = n;
    s_ = s;
    scanSize_ = scanSize;
    c_ = 0;
    table_.assign(static_cast<size_t>(n) + 1, Segment{});
}

void Ring::clear()
{
    n_ = 0;
    s_ = 0;
    scanSize_ = 0;
    c_ = 0;
    table_.clear();
}

void Ring::restart()
{
    c_ = 0;
    for (Segment &segment : table_)
        segment.filled = 0;
}

int64_t Ring::scansWritten() const
{
    if (!allocated() || c_ == 0)
        return 0;
    return static_cast<int64_t>((c_ - 1) * s_ + filled(c_ - 1));
}

void Ring::place(ReaderPosition &r, int64_t scan) const
{
    r.segment = scan / s_;
    r.offset = scan % s_;
}

void Ring::catchUp(ReaderPosition &r) const
{
    const auto oldest = static_cast<int64_t>(oldestKept());
    if (r.segment < oldest) {
        r.segment = oldest;
        r.offset = 0;
    }
}

int64_t Ring::avail(const ReaderPosition &r) const
{
    if (!allocated() || r.segment < 0 || static_cast<uint64_t>(r.segment) >= c_)
        return 0;
    // A reader is never ahead of the data, but a segment's count is read
    // as it stands: never a negative count.
    int64_t n = std::max<int64_t>(0, static_cast<int64_t>(filled(r.segment)) - r.offset);
    for (uint64_t j = static_cast<uint64_t>(r.segment) + 1; j < c_; ++j)
        n += filled(j);
    return n;
}

void *Ring::peek(ReaderPosition &r, int64_t *count, int64_t *position)
{
    int64_t n = 0;
    void *data = nullptr;
    if (allocated() && r.segment >= 0 && static_cast<uint64_t>(r.segment) < c_) {
        n = std::max<int64_t>(0, static_cast<int64_t>(filled(r.segment)) - r.offset);
        if (n > 0)
            data = scanAddress(static_cast<uint64_t>(r.segment), static_cast<uint64_t>(r.offset));
    }
    if (count)
        *count = n;
    if (position)
        *position = allocated() ? absolute(r) : 0;
    return data;
}

int64_t Ring::seek(ReaderPosition &r, int64_t position, int32_t whence) const
{
    if (!allocated())
        return 0;
    const auto s = static_cast<int64_t>(s_);
    const auto oldest = static_cast<int64_t>(oldestKept());
    // Nothing lies beyond the newest scan written: a reader sent further
    // would skip the scans that arrive in between.
    const int64_t newest = scansWritten();
    switch (whence) {
    case TQ_WHENCE_OLDEST: {
        r.segment = oldest;
        r.offset = 0;
        if (position <= 0)
            return 0;
        const int64_t moved = std::min(position, std::max<int64_t>(0, newest - oldest * s));
        place(r, oldest * s + moved);
        return moved;
    }
    case TQ_WHENCE_CURRENT: {
        const int64_t here = absolute(r);
        if (position > 0) {
            const int64_t moved = std::min(position, std::max<int64_t>(0, newest - here));
            place(r, here + moved);
            return moved;
        }
        if (position < 0) {
            // Back by the magnitude, never before the oldest kept scan.
            const int64_t floor = oldest * s;
            const int64_t back = std::clamp<int64_t>(magnitude(position), 0, std::max<int64_t>(0, here - floor));
            place(r, here - back);
            return -back;
        }
        return 0;
    }
    case TQ_WHENCE_NEWEST: {
        place(r, newest);
        if (position >= 0)
            return 0;
        // Back at most to the first scan of segment C - N + 1: segment C - N
        // is the one the board overwrites next.
        const int64_t limit = c_ < n_ ? 0 : static_cast<int64_t>(c_ - n_ + 1) * s;
        const int64_t back = std::clamp<int64_t>(magnitude(position), 0, std::max<int64_t>(0, newest - limit));
        place(r, newest - back);
        return -back;
    }
    default:
        return 0;
    }
}

int64_t Ring::reserveRead(ReaderPosition &r, TQPiece **pieces, uint32_t *pieceCount, int64_t count)
{
    if (pieceCount)
        *pieceCount = 0;
    if (pieces)
        *pieces = nullptr;
    if (!allocated() || r.reservationOpen || count <= 0 || r.segment < 0)
        return 0;
    const auto first = static_cast<uint64_t>(r.segment);
    if (first >= c_)
        return 0;
    // One piece per segment from the reader's to the newest, and the end
    // mark. The list is kept with the reader and reused by later reads.
    const uint64_t wanted = c_ - first + 1;
    if (wanted > r.pieceCapacity) {
        auto *grown = static_cast<TQPiece *>(realloc(r.pieces, wanted * sizeof(TQPiece)));
        if (!grown)
            return 0;
        r.pieces = grown;
        r.pieceCapacity = static_cast<uint32_t>(wanted);
    }
    int64_t reserved = 0;
    uint32_t n = 0;
    for (uint64_t j = first; j < c_ && reserved < count; ++j) {
        const int64_t from = j == first ? r.offset : 0;
        int64_t scans = static_cast<int64_t>(filled(j)) - from;
        if (scans <= 0)
            continue;
        scans = std::min(scans, count - reserved);
        r.pieces[n].length = static_cast<uint32_t>(scans * scanSize_);
        r.pieces[n].data = scanAddress(j, static_cast<uint64_t>(from));
        ++n;
        reserved += scans;
    }
    r.pieces[n].length = 0;
    r.pieces[n].data = nullptr;
    if (reserved == 0)
        return 0;
    r.reserved = reserved;
    r.reservationOpen = true;
    if (pieces)
        *pieces = r.pieces;
    if (pieceCount)
        *pieceCount = n;
    return reserved;
}

int64_t Ring::completeRead(ReaderPosition &r, int64_t count) const
{
    const int64_t n = std::clamp<int64_t>(count, 0, r.reservationOpen ? r.reserved : 0);
    if (allocated() && n > 0)
        place(r, absolute(r) + n);
    r.reserved = 0;
    r.reservationOpen = false;
    return n;
}

} // namespace tq718
