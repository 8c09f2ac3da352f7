// Scans out of a piece list, as a reservation hands them out.
//
// Pieces need not hold whole scans: a segmented buffer cuts its pieces where
// its segments end and a ring where it wraps, whatever the scan size, so a
// scan may begin at the end of one piece and end in the next. Such a scan is
// gathered into a scratch block of one scan; every other scan is read where
// it lies.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "tqstream.h"

namespace tq::stream
{

// Room for one gathered scan: on the stack for ordinary scans, on the heap
// only for a split scan larger than that.
class ScanScratch
{
  public:
    unsigned char *get(size_t size)
    {
        if (size <= sizeof local_)
            return local_;
        if (!heap_)
            heap_.reset(new (std::nothrow) unsigned char[size]);
        return heap_.get();
    }

  private:
    unsigned char local_[1024];
    std::unique_ptr<unsigned char[]> heap_;
};

class PieceScans
{
  public:
    // A scan size of 0 gives no scans.
    PieceScans(const TQPiece *pieces, size_t scanSize, ScanScratch &scratch)
        : piece_(scanSize ? pieces : nullptr), scanSize_(scanSize), scratch_(scratch)
    {
        settle();
    }

    // Moves bytes on without reading them.
    void skip(size_t bytes)
    {
        offset_ += bytes;
        settle();
    }

    // The next whole scan, or null when the pieces end before one is complete
    // (or no memory for gathering a large split scan: see failed()).
    const void *next()
    {
        if (!piece_)
            return nullptr;
        const auto *data = static_cast<const unsigned char *>(piece_->data);
        if (piece_->length - offset_ >= scanSize_) {
            const void *scan = data + offset_;
            offset_ += scanSize_;
            settle();
            return scan;
        }
        unsigned char *into = scratch_.get(scanSize_);
        if (!into) {
            failed_ = true;
            piece_ = nullptr;
            return nullptr;
        }
        size_t have = 0;
        while (have < scanSize_) {
            if (!piece_)
                return nullptr;
            const size_t take = std::min<size_t>(piece_->length - offset_, scanSize_ - have);
            memcpy(into + have, static_cast<const unsigned char *>(piece_->data) + offset_, take);
            have += take;
            offset_ += take;
            settle();
        }
        return into;
    }

    bool failed() const { return failed_; }

  private:
    // Steps over used-up and empty pieces; the entry with a null address
    // ends the list.
    void settle()
    {
        while (piece_ && piece_->data && offset_ >= piece_->length) {
            offset_ -= piece_->length;
            ++piece_;
        }
        if (piece_ && !piece_->data)
            piece_ = nullptr;
    }

    const TQPiece *piece_;
    size_t offset_ = 0;
    size_t scanSize_;
    ScanScratch &scratch_;
    bool failed_ = false;
};

} // namespace tq::stream
