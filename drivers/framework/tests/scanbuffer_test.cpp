// Whole scans in a segmented buffer: the sizes, the writer's reservations,
// the readers over it (scans to bytes), and one writer with two readers on
// threads of their own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "tq/driver/scanbuffer.h"
#include "tq/driver/session.h"
#include "tq/platform/dynlib.h"
#include "tqstream.h"

namespace
{

using tq::driver::ScanBuffer;
using tq::driver::ScanBufferSizes;

struct SizeCase {
    double rate, refresh, seconds;
    uint32_t scanSize;
    bool ok;
    int32_t segment, buffer, maximum;
};

TEST(ScanBufferSizes, RoundToWholeScansAndRefuseBadValues)
{
    const SizeCase cases[] = {
        {10.0, 2, 2, 16, true, 80, 320, 640},       // five scans a segment, twenty in the buffer
        {1000.0, 2, 2, 32, true, 16000, 64000, 128000},
        {10.0, 3, 2, 16, true, 48, 320, 640},       // 3.33 scans a segment: three whole ones
        {3.0, 2, 2, 24, true, 24, 144, 288},        // 1.5 scans: one
        {1.0, 2, 2, 16, true, 16, 32, 64},          // rate below the refresh rate: still one scan a segment
        {0.2, 2, 2, 16, true, 16, 16, 32},          // rate x duration < 1: the buffer holds one segment
        {0.0, 2, 2, 16, false, 0, 0, 0},
        {-5.0, 2, 2, 16, false, 0, 0, 0},
        {10.0, 0, 2, 16, false, 0, 0, 0},
        {10.0, -1, 2, 16, false, 0, 0, 0},
        {10.0, 2, 0, 16, false, 0, 0, 0},
        {10.0, 2, 2, 0, false, 0, 0, 0},
        {1e12, 2, 2, 32, false, 0, 0, 0},           // beyond 32-bit sizes
        {std::numeric_limits<double>::quiet_NaN(), 2, 2, 16, false, 0, 0, 0},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " " << c.refresh << " " << c.seconds << " " << c.scanSize);
        ScanBufferSizes z;
        ASSERT_EQ(tq::driver::scanBufferSizes(c.rate, c.refresh, c.seconds, c.scanSize, z), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(z.segmentBytes, c.segment);
        EXPECT_EQ(z.bufferBytes, c.buffer);
        EXPECT_EQ(z.maximumBytes, c.maximum);
        EXPECT_EQ(z.segmentBytes % c.scanSize, 0);
        EXPECT_EQ(z.bufferBytes % c.scanSize, 0);
    }
}

// A session of no driver with a stream of the stream library, enough for
// the buffer and its readers.
class ScanBufferTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(tqstream_getHandles(&s_.streamHandles), 0);
        s_.streamLibrary = tq::platform::loadLibrary("tqstream_32.dll");
        ASSERT_NE(s_.streamLibrary, nullptr);
        s_.stream = s_.streamHandles.newStream("scans", 100.0, &s_);
        ASSERT_NE(s_.stream, nullptr);
    }
    void TearDown() override
    {
        tq::driver::releaseScanBuffer(buf_);
        s_.streamHandles.destroyStream(s_.stream);
        tq::platform::freeLibrary(s_.streamLibrary);
    }

    // Writes count scans of scanSize bytes, scan n holding n in every word.
    int64_t write(int64_t count)
    {
        s_.stream->streamLock(s_.stream, 1000);
        TQPiece *pieces = nullptr;
        const int64_t n = tq::driver::reserveScans(buf_, count, &pieces);
        const uint32_t size = buf_.scanSize;
        int64_t k = 0;
        for (TQPiece *p = pieces; p && p->length; ++p) {
            EXPECT_EQ(p->length % size, 0u) << "a piece holds whole scans";
            for (uint32_t off = 0; off < p->length; off += size, ++k)
                for (uint32_t w = 0; w < size / 4; ++w) {
                    const uint32_t v = static_cast<uint32_t>(next_ + k);
                    memcpy(static_cast<uint8_t *>(p->data) + off + 4 * w, &v, 4);
                }
        }
        EXPECT_EQ(k, n);
        tq::driver::commitScans(s_, buf_, pieces, n);
        s_.stream->streamUnlock(s_.stream);
        next_ += n;
        return n;
    }

    tq::driver::Session s_;
    ScanBuffer buf_;
    int64_t next_ = 0;
};

TEST_F(ScanBufferTest, ReadersSeeWholeScansAcrossSegments)
{
    ScanBufferSizes z;
    // Three scans of 12 bytes a segment: every segment boundary is a scan boundary.
    ASSERT_TRUE(tq::driver::scanBufferSizes(30.0, 10.0, 2.0, 12, z));
    ASSERT_EQ(tq::driver::prepareScanBuffer(s_, buf_, 12, z), VI_SUCCESS);
    TQReader *r = tq::driver::newBufferedReader(s_, buf_, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);

    EXPECT_EQ(write(7), 7);
    EXPECT_EQ(tq::driver::scanBufferScansWritten(s_, buf_), 7);
    EXPECT_EQ(r->readerAvail(r), 7);

    int64_t count = 0, position = -1;
    void *data = r->readerPeek(r, &count, &position);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(count, 3) << "peek gives the scans contiguous in the first segment";
    EXPECT_EQ(position, 0);

    TQPiece *pieces = nullptr;
    uint32_t pieceCount = 0;
    EXPECT_EQ(r->readerReserveRead(r, &pieces, &pieceCount, 5), 5);
    ASSERT_NE(pieces, nullptr);
    int64_t seen = 0;
    for (TQPiece *p = pieces; p->length; ++p) {
        ASSERT_EQ(p->length % 12, 0u);
        for (uint32_t off = 0; off < p->length; off += 12, ++seen) {
            uint32_t v;
            memcpy(&v, static_cast<const uint8_t *>(p->data) + off, 4);
            EXPECT_EQ(v, seen);
        }
    }
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(r->readerCompleteRead(r, 5), 5);
    EXPECT_EQ(r->readerAvail(r), 2);

    // Seeking counts scans too.
    EXPECT_EQ(r->readerSeek(r, -4, TQ_WHENCE_CURRENT), -4);
    EXPECT_EQ(r->readerAvail(r), 6);
    EXPECT_EQ(r->readerSeek(r, -2, TQ_WHENCE_NEWEST), -2);
    data = r->readerPeek(r, &count, &position);
    EXPECT_EQ(position, 5);

    // A restart (the next acquisition) starts the count again and puts the reader at its start.
    ASSERT_EQ(tq::driver::prepareScanBuffer(s_, buf_, 12, z), VI_SUCCESS);
    EXPECT_EQ(tq::driver::scanBufferScansWritten(s_, buf_), 0);
    EXPECT_EQ(r->readerAvail(r), 0);
    next_ = 100;
    write(2);
    EXPECT_EQ(r->readerAvail(r), 2);
    uint32_t first[3];
    EXPECT_EQ(r->readerRead(r, first, 1), 1);
    EXPECT_EQ(first[0], 100u);

    // The stream's list and the caller each hold the reader.
    EXPECT_EQ(r->readerUnlink(r), 0);
    r->readerRelease(&r);
    EXPECT_EQ(r, nullptr);
}

TEST_F(ScanBufferTest, WriterReservationNeverExceedsTheBuffer)
{
    ScanBufferSizes z;
    ASSERT_TRUE(tq::driver::scanBufferSizes(10.0, 2.0, 2.0, 16, z));
    ASSERT_EQ(tq::driver::prepareScanBuffer(s_, buf_, 16, z), VI_SUCCESS);
    // Twenty scans fit one reservation; a longer burst is cut to them.
    EXPECT_EQ(write(1000), 20);
    EXPECT_EQ(write(3), 3);
    EXPECT_EQ(tq::driver::scanBufferScansWritten(s_, buf_), 23);
}

TEST_F(ScanBufferTest, ReaderKeptPastTheBufferAnswersEmpty)
{
    ScanBufferSizes z;
    ASSERT_TRUE(tq::driver::scanBufferSizes(10.0, 2.0, 2.0, 16, z));
    ASSERT_EQ(tq::driver::prepareScanBuffer(s_, buf_, 16, z), VI_SUCCESS);
    TQReader *r = tq::driver::newBufferedReader(s_, buf_, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    write(4);
    TQPiece *pieces = nullptr;
    EXPECT_EQ(r->readerReserveRead(r, &pieces, nullptr, 2), 2);
    tq::driver::releaseScanBuffer(buf_);
    EXPECT_EQ(r->readerAvail(r), 0);
    EXPECT_EQ(tq::driver::scanBufferScansWritten(s_, buf_), 0);
    r->readerRelease(&r);
}

TEST_F(ScanBufferTest, OneWriterTwoReadersOnThreads)
{
    ScanBufferSizes z;
    ASSERT_TRUE(tq::driver::scanBufferSizes(1000.0, 50.0, 1.0, 16, z));
    ASSERT_EQ(tq::driver::prepareScanBuffer(s_, buf_, 16, z), VI_SUCCESS);
    constexpr int64_t kScans = 20000;
    std::atomic<bool> failed{false};
    auto readAll = [&](TQReader *r, int64_t chunk) {
        int64_t expected = 0;
        while (expected < kScans && !failed) {
            TQPiece *pieces = nullptr;
            const int64_t n = r->readerReserveRead(r, &pieces, nullptr, chunk);
            if (n == 0) {
                std::this_thread::yield();
                continue;
            }
            for (TQPiece *p = pieces; p->length; ++p)
                for (uint32_t off = 0; off < p->length; off += 16) {
                    uint32_t v;
                    memcpy(&v, static_cast<const uint8_t *>(p->data) + off, 4);
                    // A reader that fell a whole buffer behind jumps ahead;
                    // it never sees a torn or repeated scan.
                    if (v < expected)
                        failed = true;
                    expected = v + 1;
                }
            r->readerCompleteRead(r, n);
        }
        r->readerRelease(&r);
    };
    TQReader *ra = tq::driver::newBufferedReader(s_, buf_, 0, TQ_WHENCE_OLDEST);
    TQReader *rb = tq::driver::newBufferedReader(s_, buf_, 0, TQ_WHENCE_OLDEST);
    ASSERT_TRUE(ra && rb);
    std::thread a(readAll, ra, 7), b(readAll, rb, 64);
    while (next_ < kScans) {
        const int64_t left = kScans - next_;
        write(left < 37 ? left : 37);
    }
    a.join();
    b.join();
    EXPECT_FALSE(failed);
}

} // namespace
