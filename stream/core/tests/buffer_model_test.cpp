// Segmented buffer against a model: random runs of one writer and several
// readers, each at its own pace, checked step by step against a plain log of
// every byte written and a model of which segments the buffer keeps.
//
// The model works in positions only: the window is the range of segment
// numbers [first, last], the writer is at (write segment, offset), a reader
// at (segment, offset). A segment is alive while it is in the window or at or
// after some reader's segment. From that follow the buffer's counts, the
// moment readers are moved forward (reclaim), what every read must return,
// and where every seek must land.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/buffer_internal.h"
#include "buffer_test_util.h"

using namespace buffertest;

namespace {

struct Sizes {
    int32_t seg, buf, max;
};

int64_t segmentCount(int32_t size, int32_t seg) { return size / seg + size % seg + 1; }

bool sizesValid(const Sizes &s)
{
    return s.seg >= 1 && s.max >= 1 && s.max >= s.buf && segmentCount(s.buf, s.seg) >= 2;
}

struct ModelReader {
    TQBufferReader *reader = nullptr;
    int64_t initialPosition = 0;
    int16_t initialWhence = 0;
    bool lost = false;
    bool placed = false; // has a segment
    int64_t seq = 0;
    int64_t off = 0;
    // Open read reservation.
    bool reserving = false;
    TQPiece *pieces = nullptr;
    int64_t reservedFrom = 0;
    int64_t reservedLength = 0;
};

class BufferModel {
public:
    int64_t S = 0, minimum = 0, maximum = 0, bufferSize = 0;
    int64_t first = 0, last = 0, writeSeq = 0, writeOff = 0;
    std::vector<uint8_t> log; // byte at every position since the last (re)start
    std::vector<ModelReader> readers;

    void init(const Sizes &s)
    {
        S = s.seg;
        minimum = segmentCount(s.buf, s.seg);
        maximum = segmentCount(s.max, s.seg);
        bufferSize = s.buf;
        first = last = writeSeq = writeOff = 0;
        log.clear();
    }

    int64_t writePosition() const { return writeSeq * S + writeOff; }
    int64_t position(const ModelReader &r) const { return r.seq * S + r.off; }
    int64_t windowCount() const { return last - first + 1; }
    int64_t allocatedCount() const
    {
        int64_t lowest = first;
        for (const ModelReader &r : readers)
            if (r.placed)
                lowest = std::min(lowest, r.seq);
        return last - lowest + 1;
    }
    int64_t avail(const ModelReader &r) const { return r.lost || !r.placed ? 0 : writePosition() - position(r); }

    bool allocate()
    {
        const int64_t limit = std::min(minimum, maximum);
        while (windowCount() >= limit && first != writeSeq)
            ++first;
        if (allocatedCount() >= maximum) {
            for (ModelReader &r : readers) {
                if (r.placed && r.seq < first && !r.reserving) {
                    r.seq = first;
                    r.off = 0;
                    r.lost = false;
                }
            }
        }
        if (allocatedCount() >= maximum)
            return false;
        ++last;
        return true;
    }

    int64_t reserveWrite(int64_t n)
    {
        if (writeOff == S) {
            if (writeSeq == last && !allocate())
                return 0;
            ++writeSeq;
            writeOff = 0;
        }
        n = std::clamp<int64_t>(n, 0, bufferSize);
        int64_t covered = S - writeOff;
        int64_t seq = writeSeq;
        while (covered < n) {
            if (seq == last && !allocate())
                break;
            ++seq;
            covered += S;
        }
        return std::min(n, covered);
    }

    void completeWrite(int64_t n)
    {
        while (S - writeOff < n) {
            n -= S - writeOff;
            ++writeSeq;
            writeOff = 0;
        }
        writeOff += n;
        if (writeOff == S && (writeSeq < last || allocate())) {
            ++writeSeq;
            writeOff = 0;
        }
    }

    int64_t seekRelative(ModelReader &r, int64_t offset)
    {
        int64_t moved = 0;
        if (offset > 0) {
            int64_t remaining = offset;
            while (remaining > 0) {
                if (r.seq == writeSeq) {
                    int64_t step = std::min(remaining, writeOff - r.off);
                    if (step > 0) {
                        r.off += step;
                        moved += step;
                    }
                    break;
                }
                int64_t rest = S - r.off;
                if (remaining < rest) {
                    r.off += remaining;
                    moved += remaining;
                    break;
                }
                if (r.seq >= last) {
                    r.off = S;
                    moved += rest;
                    break;
                }
                moved += rest;
                remaining -= rest;
                ++r.seq;
                r.off = 0;
            }
        } else if (offset < 0) {
            int64_t remaining = -offset;
            for (;;) {
                if (remaining <= r.off) {
                    r.off -= remaining;
                    moved -= remaining;
                    break;
                }
                moved -= r.off;
                remaining -= r.off;
                r.off = 0;
                if (r.seq <= first) // only window segments after the first have a previous one
                    break;
                --r.seq;
                r.off = S;
            }
        }
        return moved;
    }

    int64_t seek(ModelReader &r, int64_t offset, int whence)
    {
        switch (whence) {
        case 0:
            if (offset < 0)
                return 0;
            r.placed = true;
            r.seq = first;
            r.off = 0;
            r.lost = false;
            return seekRelative(r, offset);
        case 2:
            if (offset > 0)
                return 0;
            r.placed = true;
            r.seq = writeSeq;
            r.off = writeOff;
            r.lost = false;
            return seekRelative(r, offset);
        case 1:
            if (!r.placed)
                seek(r, 0, 0);
            return seekRelative(r, offset);
        default:
            return 0;
        }
    }

    // What a reservation of n bytes gets now (0 when nothing).
    int64_t reservable(ModelReader &r, int64_t n)
    {
        if (r.lost)
            return 0;
        if (!r.placed)
            seek(r, r.initialPosition, r.initialWhence);
        if (!r.placed)
            return 0;
        return std::min(std::max<int64_t>(n, 0), writePosition() - position(r));
    }

    void completeRead(ModelReader &r, int64_t n)
    {
        while (S - r.off <= n && r.seq < last) {
            n -= S - r.off;
            ++r.seq;
            r.off = 0;
        }
        r.off += n;
    }

    std::vector<uint8_t> logBytes(int64_t from, int64_t count) const
    {
        return std::vector<uint8_t>(log.begin() + from, log.begin() + from + count);
    }
};

const Sizes kSizes[] = {
    {16, 64, 128}, // window 5, at most 9
    {16, 30, 32},  // window 16 but at most 3 segments
    {7, 20, 50},   // window 9, at most 9
    {64, 64, 64},  // window 2, at most 2
    {10, 35, 100}, // window 9, at most 11
    {32, 100, 300},
};

class BufferRun {
public:
    explicit BufferRun(uint32_t seed) : rng_(seed) {}

    void run(int steps)
    {
        const Sizes &sizes = kSizes[pick(std::size(kSizes))];
        buffer_ = makeBuffer(sizes.seg, sizes.buf, sizes.max);
        ASSERT_TRUE(buffer_);
        model_.init(sizes);
        for (int i = 0; i < 3; ++i)
            newReader();
        for (step_ = 0; step_ < steps; ++step_) {
            int op = static_cast<int>(pick(100));
            if (op < 30)
                write();
            else if (op < 62)
                read();
            else if (op < 72)
                reserveOrComplete();
            else if (op < 80)
                seek();
            else if (op < 84)
                peek();
            else if (op < 88)
                newReader();
            else if (op < 92)
                releaseReader();
            else if (op < 94)
                restart();
            else if (op < 96)
                reset();
            else
                write(); // keep the writer ahead now and then
            check();
            if (::testing::Test::HasFatalFailure() || ::testing::Test::HasFailure())
                return;
        }
        while (!model_.readers.empty())
            releaseReader();
    }

    // Steps at which the buffer held segments for reuse: the reads and
    // reservations of such runs were made from recycled segments.
    int stepsWithKeptSegments() const { return stepsWithKeptSegments_; }

private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    int64_t range(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng_); }
    std::string where() const { return "step " + std::to_string(step_); }

    void write()
    {
        TQBuffer *b = buffer_.get();
        int64_t n = range(0, model_.bufferSize + 10);
        int64_t expected = model_.reserveWrite(n);
        TQPiece *pieces = nullptr;
        uint32_t count = 0;
        int64_t granted = b->bufferReserveWrite(b, &pieces, &count, n);
        ASSERT_EQ(granted, expected) << where();
        if (granted == 0) {
            ASSERT_EQ(pieces, nullptr) << where();
            EXPECT_EQ(b->bufferCompleteWrite(b, n), 0) << where();
            return;
        }
        std::vector<uint8_t> bytes(static_cast<size_t>(granted));
        for (uint8_t &byte : bytes)
            byte = static_cast<uint8_t>(rng_());
        int64_t at = 0;
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_GT(pieces[i].length, 0u);
            memcpy(pieces[i].data, bytes.data() + at, pieces[i].length);
            at += pieces[i].length;
        }
        ASSERT_EQ(pieces[count].data, nullptr);
        ASSERT_EQ(at, granted) << where();
        // Mostly commit everything; sometimes part, or more than was granted.
        int64_t commit = pick(4) == 0 ? range(0, granted + 5) : granted;
        int64_t committed = std::min(commit, granted);
        ASSERT_EQ(b->bufferCompleteWrite(b, commit), committed) << where();
        model_.completeWrite(committed);
        model_.log.insert(model_.log.end(), bytes.begin(), bytes.begin() + committed);
    }

    ModelReader *someReader(bool reserving)
    {
        std::vector<ModelReader *> candidates;
        for (ModelReader &r : model_.readers)
            if (r.reserving == reserving)
                candidates.push_back(&r);
        return candidates.empty() ? nullptr : candidates[pick(candidates.size())];
    }

    void read()
    {
        ModelReader *r = someReader(false);
        if (!r)
            return;
        int64_t n = range(0, 3 * model_.S);
        int64_t expected = model_.reservable(*r, n);
        int64_t from = model_.position(*r);
        std::vector<uint8_t> got(static_cast<size_t>(n) + 1);
        ASSERT_EQ(r->reader->bufferReaderRead(r->reader, got.data(), n), expected) << where();
        got.resize(static_cast<size_t>(expected));
        ASSERT_EQ(got, model_.logBytes(from, expected)) << where();
        if (expected > 0) // nothing reserved, nothing completed
            model_.completeRead(*r, expected);
    }

    void reserveOrComplete()
    {
        if (ModelReader *r = someReader(true); r && pick(2) == 0) {
            // The reserved bytes have not changed while the writer went on.
            ASSERT_EQ(gather(r->pieces), model_.logBytes(r->reservedFrom, r->reservedLength)) << where();
            int64_t n = range(0, r->reservedLength + 3);
            int64_t consumed = std::min(n, r->reservedLength);
            ASSERT_EQ(r->reader->bufferReaderCompleteRead(r->reader, n), consumed) << where();
            model_.completeRead(*r, consumed);
            r->reserving = false;
            r->pieces = nullptr;
            return;
        }
        ModelReader *r = someReader(false);
        if (!r)
            return;
        int64_t n = range(1, 3 * model_.S);
        int64_t expected = model_.reservable(*r, n);
        TQPiece *pieces = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(r->reader->TQBufferReaderReserveRead(r->reader, &pieces, &count, n), expected) << where();
        if (expected == 0) {
            ASSERT_EQ(pieces, nullptr);
            return;
        }
        r->reserving = true;
        r->pieces = pieces;
        r->reservedFrom = model_.position(*r);
        r->reservedLength = expected;
        ASSERT_EQ(gather(pieces), model_.logBytes(r->reservedFrom, expected)) << where();
    }

    void seek()
    {
        ModelReader *r = someReader(false);
        if (!r)
            return;
        int whence = static_cast<int>(pick(4)); // 3 is not a whence
        int64_t offset = range(-3 * model_.S, 3 * model_.S);
        int64_t expected = model_.seek(*r, offset, whence);
        ASSERT_EQ(r->reader->bufferReaderSeek(r->reader, offset, static_cast<int16_t>(whence)), expected)
            << where() << " whence " << whence << " offset " << offset;
    }

    void peek()
    {
        ModelReader *r = someReader(false);
        if (!r)
            return;
        int64_t count = -1, position = -1;
        auto *data = static_cast<uint8_t *>(r->reader->bufferReaderPeek(r->reader, &count, &position));
        if (!r->placed) {
            ASSERT_EQ(data, nullptr) << where();
            return;
        }
        // Contiguous bytes from the reader's position to the end of its
        // segment, or to the write position in the write segment.
        int64_t seq = r->seq, off = r->off;
        while (off >= model_.S && seq != model_.writeSeq && seq < model_.last) {
            ++seq;
            off = 0;
        }
        int64_t expected = seq == model_.writeSeq ? model_.writeOff - off : model_.S - off;
        ASSERT_EQ(position, seq * model_.S + off) << where();
        if (expected <= 0) {
            ASSERT_EQ(data, nullptr) << where();
            ASSERT_EQ(count, 0) << where();
            return;
        }
        ASSERT_EQ(count, expected) << where();
        ASSERT_EQ(std::vector<uint8_t>(data, data + count), model_.logBytes(position, count)) << where();
    }

    void newReader()
    {
        if (model_.readers.size() >= 6)
            return;
        ModelReader r;
        r.initialWhence = static_cast<int16_t>(pick(3));
        r.initialPosition = range(-2 * model_.S, 4 * model_.S);
        r.reader = buffer_->bufferNewReader(buffer_.get(), r.initialPosition, r.initialWhence);
        ASSERT_NE(r.reader, nullptr);
        model_.seek(r, r.initialPosition, r.initialWhence);
        model_.readers.push_back(r);
    }

    void releaseReader()
    {
        if (model_.readers.empty())
            return;
        size_t i = pick(model_.readers.size());
        TQBufferReader *reader = model_.readers[i].reader;
        reader->bufferReaderRelease(&reader);
        ASSERT_EQ(reader, nullptr) << where();
        model_.readers.erase(model_.readers.begin() + static_cast<ptrdiff_t>(i));
    }

    bool anyReserving() const
    {
        return std::any_of(model_.readers.begin(), model_.readers.end(), [](const ModelReader &r) { return r.reserving; });
    }

    void restart()
    {
        if (anyReserving())
            return;
        ASSERT_EQ(buffer_->bufferRestart(buffer_.get()), 0);
        model_.first = model_.last = model_.writeSeq = model_.writeOff = 0;
        model_.log.clear();
        for (ModelReader &r : model_.readers) {
            r.lost = true;
            r.placed = false;
        }
    }

    void reset()
    {
        if (anyReserving())
            return;
        Sizes sizes = kSizes[pick(std::size(kSizes))];
        if (pick(3) == 0) { // now and then sizes that must be refused
            const Sizes bad[] = {{0, 10, 10}, {16, 0, 64}, {16, 64, 32}, {8, 8, 0}};
            sizes = bad[pick(std::size(bad))];
        }
        bool valid = sizesValid(sizes);
        ASSERT_EQ(buffer_->bufferReset(buffer_.get(), sizes.seg, sizes.buf, sizes.max), valid ? 0 : -4) << where();
        if (!valid)
            return;
        model_.init(sizes);
        for (ModelReader &r : model_.readers) {
            r.lost = false;
            r.placed = true;
            r.seq = 0;
            r.off = 0;
        }
    }

    void check()
    {
        TQBuffer *b = buffer_.get();
        ASSERT_EQ(b->bufferGetBytesWritten(b), model_.writePosition()) << where();
        ASSERT_EQ(static_cast<int64_t>(model_.log.size()), model_.writePosition()) << where();
        ASSERT_EQ(b->bufferGetFirstPosition(b), model_.first * model_.S) << where();
        ASSERT_EQ(b->windowCount, model_.windowCount()) << where();
        ASSERT_EQ(b->allocatedCount, model_.allocatedCount()) << where();
        ASSERT_LE(b->allocatedCount, b->maximumSegments) << where();
        // Segments kept for reuse count against the maximum too: the
        // buffer's memory stays within what its sizes allow.
        const int32_t kept = TQBufferKeptSegments(b);
        ASSERT_LE(int64_t{b->allocatedCount} + kept, b->maximumSegments) << where();
        if (kept > 0)
            ++stepsWithKeptSegments_;
        ASSERT_EQ(b->bufferCheckReaders(b), 0) << where();
        size_t linked = 0;
        for (void *r = b->readers.first; r; r = static_cast<TQBufferReader *>(r)->link.next)
            ++linked;
        ASSERT_EQ(linked, model_.readers.size()) << where();
        for (ModelReader &r : model_.readers) {
            ASSERT_EQ(r.reader->bufferReaderAvail(r.reader), model_.avail(r)) << where();
            ASSERT_EQ(r.reader->lost != 0, r.lost) << where();
        }
    }

    std::mt19937 rng_;
    BufferPtr buffer_;
    BufferModel model_;
    int step_ = 0;
    int stepsWithKeptSegments_ = 0;
};

TEST(SegmentedBufferModel, RandomRunsMatchTheByteLog)
{
    int runsReusingSegments = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        BufferRun run(seed);
        run.run(4000);
        if (HasFailure())
            return;
        if (run.stepsWithKeptSegments() > 0)
            ++runsReusingSegments;
    }
    // The runs go through recycled segments, so the byte log above checks
    // that reuse never shows a reader stale or overwritten bytes.
    EXPECT_GE(runsReusingSegments, 50);
}

} // namespace
