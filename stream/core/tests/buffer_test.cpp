// Segmented buffer: sizes, reservations, listeners, readers, reclaim,
// restart and reset, one behaviour per test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buffer_test_util.h"
#include "status_capture.h"

using namespace buffertest;

namespace {

// ---- Sizes -----------------------------------------------------------------------

struct SizeCase {
    int32_t seg, buf, max;
    bool created;
    int32_t minimum, maximum;
    const char *trace;
};

TEST(SegmentedBufferSizes, SegmentCountsAndRefusedSizes)
{
    const SizeCase cases[] = {
        {256, 2560, 3840, true, 11, 16, ""},
        // Quotient plus remainder in bytes plus one, not a rounded-up quotient.
        {256, 300, 400, true, 46, 146, ""},
        {16, 64, 128, true, 5, 9, ""},
        {0, 1, 1, false, 0, 0, ""},
        {1, 1, 0, false, 0, 0, ""},
        {1, 2, 1, false, 0, 0, ""},
        {256, 0, 256, false, 0, 0, "TQAllocBuffer: bad args: seg 256 buf 0 max 256\n"},
        {256, -5, 256, false, 0, 0, "TQAllocBuffer: bad args: seg 256 buf -5 max 256\n"},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.seg) + "," + std::to_string(c.buf) + "," + std::to_string(c.max));
        streamtest::DebugCapture trace;
        BufferPtr buffer = makeBuffer(c.seg, c.buf, c.max);
        EXPECT_EQ(trace.text(), c.trace);
        ASSERT_EQ(buffer != nullptr, c.created);
        if (!buffer)
            continue;
        EXPECT_EQ(buffer->refCount, 1);
        EXPECT_EQ(buffer->minimumSegments, c.minimum);
        EXPECT_EQ(buffer->maximumSegments, c.maximum);
        EXPECT_EQ(buffer->segmentSize, c.seg);
        EXPECT_EQ(buffer->bufferSize, c.buf);
        EXPECT_EQ(buffer->allocatedCount, 1);
        EXPECT_EQ(buffer->windowCount, 1);
        EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 0);
        EXPECT_EQ(buffer->bufferGetFirstPosition(buffer.get()), 0);
        EXPECT_EQ(buffer->bufferNothing(buffer.get()), 0);
    }
}

// ---- Writing ---------------------------------------------------------------------

TEST(SegmentedBufferWrite, ReservationIsClippedToBufferSizeAndSpansSegmentsInPlace)
{
    BufferPtr buffer = makeBuffer(256, 1000, 4000);
    ASSERT_TRUE(buffer);
    TQPiece *pieces = nullptr;
    uint32_t count = 99;
    EXPECT_EQ(buffer->bufferReserveWrite(buffer.get(), &pieces, &count, 5000), 1000);
    ASSERT_NE(pieces, nullptr);
    ASSERT_EQ(count, 4u);
    const uint32_t lengths[] = {256, 256, 256, 232};
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(pieces[i].length, lengths[i]);
        ASSERT_NE(pieces[i].data, nullptr);
    }
    EXPECT_EQ(pieces[4].length, 0u);
    EXPECT_EQ(pieces[4].data, nullptr);
    EXPECT_EQ(pieces[0].data, buffer->writeSegment->data);

    // The writer fills the segments directly; readers see those very bytes.
    std::vector<uint8_t> bytes = pattern(0, 1000);
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        memcpy(pieces[i].data, bytes.data() + at, pieces[i].length);
        at += pieces[i].length;
    }
    EXPECT_EQ(buffer->bufferCompleteWrite(buffer.get(), 1000), 1000);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 1000);
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    EXPECT_EQ(readBytes(reader, 2000), bytes);
    reader->bufferReaderUnlink(reader);
}

TEST(SegmentedBufferWrite, SecondReservationWhileOneIsOpenGetsNothing)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    TQPiece *first = nullptr;
    ASSERT_EQ(buffer->bufferReserveWrite(buffer.get(), &first, nullptr, 20), 20);
    TQPiece *second = reinterpret_cast<TQPiece *>(1);
    uint32_t count = 7;
    EXPECT_EQ(buffer->bufferReserveWrite(buffer.get(), &second, &count, 10), 0);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(count, 0u);
    uint8_t byte = 1;
    EXPECT_EQ(buffer->bufferWrite(buffer.get(), &byte, 1), 0);
    // The first reservation is untouched and still completes.
    EXPECT_EQ(buffer->bufferCompleteWrite(buffer.get(), 20), 20);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 20);
    EXPECT_EQ(buffer->bufferCompleteWrite(buffer.get(), 5), 0); // nothing open any more
}

struct ListenerCall {
    int who;
    void *data;
    int64_t length;
};
std::vector<ListenerCall> g_calls;
void listenerA(void *data, int64_t length, void *) { g_calls.push_back({1, data, length}); }
void listenerB(void *data, int64_t length, void *) { g_calls.push_back({2, data, length}); }
TQBuffer *g_selfRemovingBuffer;
void selfRemoving(void *data, int64_t length, void *context)
{
    g_calls.push_back({3, data, length});
    g_selfRemovingBuffer->bufferRemoveListener(g_selfRemovingBuffer, selfRemoving, context);
}

TEST(SegmentedBufferWrite, ListenersSeeEachCommittedRunInListOrder)
{
    BufferPtr buffer = makeBuffer(256, 2560, 3840);
    ASSERT_EQ(writePattern(buffer.get(), 246), 246);
    ASSERT_NE(buffer->bufferAddListener(buffer.get(), listenerA, nullptr), nullptr);
    ASSERT_NE(buffer->bufferAddListener(buffer.get(), listenerB, nullptr), nullptr);
    g_calls.clear();

    TQPiece *pieces = nullptr;
    ASSERT_EQ(buffer->bufferReserveWrite(buffer.get(), &pieces, nullptr, 200), 200);
    ASSERT_EQ(pieces[0].length, 10u);
    ASSERT_EQ(pieces[1].length, 190u);
    EXPECT_EQ(buffer->bufferCompleteWrite(buffer.get(), 200), 200);
    ASSERT_EQ(g_calls.size(), 4u);
    const int order[] = {1, 2, 1, 2};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(g_calls[i].who, order[i]);
        EXPECT_EQ(g_calls[i].data, pieces[i / 2].data);
        EXPECT_EQ(g_calls[i].length, i < 2 ? 10 : 190);
    }

    // Removing: the first node with that function and context goes; an
    // unknown pair is no error.
    EXPECT_EQ(buffer->bufferRemoveListener(buffer.get(), listenerA, nullptr), 0);
    EXPECT_EQ(buffer->bufferRemoveListener(buffer.get(), listenerA, nullptr), 0);
    g_calls.clear();
    ASSERT_EQ(writePattern(buffer.get(), 5), 5);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].who, 2);

    // A listener may remove itself while it is being called.
    g_selfRemovingBuffer = buffer.get();
    buffer->bufferAddListener(buffer.get(), selfRemoving, nullptr);
    g_calls.clear();
    ASSERT_EQ(writePattern(buffer.get(), 5), 5);
    ASSERT_EQ(writePattern(buffer.get(), 5), 5);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].who, 2);
    EXPECT_EQ(g_calls[1].who, 3);
    EXPECT_EQ(g_calls[2].who, 2);
}

TEST(SegmentedBufferWrite, BytesWrittenCountsFromTheLastRestart)
{
    BufferPtr buffer = makeBuffer(256, 2560, 3840);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(writePattern(buffer.get(), 100), 100);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 1000);
    EXPECT_EQ(buffer->bufferRestart(buffer.get()), 0);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 0);
    EXPECT_EQ(buffer->bufferGetFirstPosition(buffer.get()), 0);
    EXPECT_EQ(buffer->windowCount, 1);
    EXPECT_EQ(buffer->allocatedCount, 1);
    EXPECT_EQ(buffer->nextSequence, 1);
}

// A commit that fills the last segment the buffer can have still commits its
// bytes and says so; the next reservation gets room once a segment frees up.
TEST(SegmentedBufferWrite, CommitThatFillsTheLastSegmentReportsItsBytes)
{
    BufferPtr buffer = makeBuffer(16, 16, 32); // window of 2, at most 3 segments
    ASSERT_TRUE(buffer);
    ASSERT_EQ(buffer->maximumSegments, 3);
    TQBufferReader *holder = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(writePattern(buffer.get(), 16), 16);
    // An open read reservation pins the oldest segment: it cannot be reclaimed.
    TQPiece *held = nullptr;
    ASSERT_EQ(holder->TQBufferReaderReserveRead(holder, &held, nullptr, 16), 16);
    ASSERT_EQ(writePattern(buffer.get(), 16), 16);
    EXPECT_EQ(writePattern(buffer.get(), 16), 16);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 48);
    EXPECT_EQ(buffer->allocatedCount, 3);
    EXPECT_EQ(writePattern(buffer.get(), 5), 0);
    EXPECT_EQ(gather(held), pattern(0, 16));

    // A reader at the very end of the full write segment sees nothing yet.
    TQBufferReader *newest = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_NEWEST);
    int64_t count = -1, position = -1;
    EXPECT_EQ(newest->bufferReaderPeek(newest, &count, &position), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(position, 48);

    EXPECT_EQ(holder->bufferReaderCompleteRead(holder, 16), 16);
    EXPECT_EQ(writePattern(buffer.get(), 5), 5);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 53);
    void *data = newest->bufferReaderPeek(newest, &count, &position);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(position, 48);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t *>(data), static_cast<uint8_t *>(data) + 5), pattern(48, 5));
    EXPECT_EQ(readBytes(newest, 100), pattern(48, 5));
    EXPECT_EQ(readBytes(holder, 100), pattern(16, 37));
    holder->bufferReaderUnlink(holder);
    newest->bufferReaderUnlink(newest);
}

// Sizes whose minimum window exceeds the maximum segment count (16 against
// 3 here) keep writing: the window stays within the maximum.
TEST(SegmentedBufferWrite, WindowLargerThanMaximumStillWrites)
{
    BufferPtr buffer = makeBuffer(16, 30, 32);
    ASSERT_TRUE(buffer);
    ASSERT_EQ(buffer->minimumSegments, 16);
    ASSERT_EQ(buffer->maximumSegments, 3);
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    int64_t expected = 0;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(writePattern(buffer.get(), 30), 30) << "block " << i;
        ASSERT_LE(buffer->allocatedCount, 3);
        std::vector<uint8_t> got = readBytes(reader, 30);
        ASSERT_EQ(got, pattern(expected, 30));
        expected += 30;
    }
    reader->bufferReaderUnlink(reader);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(writePattern(buffer.get(), 30), 30);
}

// ---- Readers ------------------------------------------------------------------------

TEST(SegmentedBufferReader, NewestReaderWaitsOldestReaderReadsKeptBytes)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    ASSERT_EQ(writePattern(buffer.get(), 50), 50);
    ASSERT_EQ(writePattern(buffer.get(), 50), 50); // oldest kept byte is now 32
    ASSERT_EQ(buffer->bufferGetFirstPosition(buffer.get()), 32);

    TQBufferReader *newest = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_NEWEST);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->refCount, 2);
    TQPiece *pieces = reinterpret_cast<TQPiece *>(1);
    uint32_t count = 5;
    EXPECT_EQ(newest->TQBufferReaderReserveRead(newest, &pieces, &count, 50), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(pieces, nullptr);
    ASSERT_EQ(writePattern(buffer.get(), 30), 30);
    EXPECT_EQ(newest->bufferReaderAvail(newest), 30);
    // Reserving nothing left nothing open: the next reservation gets the data.
    EXPECT_EQ(newest->TQBufferReaderReserveRead(newest, &pieces, &count, 50), 30);
    EXPECT_EQ(gather(pieces), pattern(100, 30));
    EXPECT_EQ(newest->bufferReaderCompleteRead(newest, 30), 30);
    EXPECT_EQ(newest->bufferReaderAvail(newest), 0);

    ASSERT_EQ(buffer->bufferGetFirstPosition(buffer.get()), 64);
    TQBufferReader *oldest = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    EXPECT_EQ(readBytes(oldest, 1000), pattern(64, 66));
    newest->bufferReaderUnlink(newest);
    oldest->bufferReaderUnlink(oldest);
    EXPECT_EQ(buffer->readers.first, nullptr);
}

TEST(SegmentedBufferReader, ReaderThatNeverReadsIsMovedWhenTheMaximumIsReached)
{
    BufferPtr buffer = makeBuffer(256, 2560, 3840); // window 11, at most 16
    TQBufferReader *idle = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    int moves = 0;
    for (int block = 1; block <= 40; ++block) {
        int64_t before = readerPosition(buffer.get(), idle);
        ASSERT_EQ(writePattern(buffer.get(), 256), 256);
        ASSERT_LE(buffer->allocatedCount, 16);
        int64_t after = readerPosition(buffer.get(), idle);
        if (after != before) {
            ++moves;
            // Only when a 17th segment is needed, and then to the oldest
            // byte the window keeps.
            EXPECT_EQ(after, buffer->bufferGetFirstPosition(buffer.get()));
            if (moves == 1) {
                EXPECT_EQ(block, 16);
            }
        }
    }
    EXPECT_GT(moves, 1);
    int64_t first = buffer->bufferGetFirstPosition(buffer.get());
    int64_t position = readerPosition(buffer.get(), idle);
    ASSERT_GE(position, first);
    EXPECT_EQ(readBytes(idle, 40 * 256), pattern(position, 40 * 256 - position));
    idle->bufferReaderUnlink(idle);
}

// A holder that releases its buffer reader for good takes it out of the
// buffer's list: readers come and go without the list growing.
TEST(SegmentedBufferReader, ReaderReleasedByItsHolderLeavesTheList)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    for (int i = 0; i < 1000; ++i) {
        TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
        ASSERT_EQ(reader->refCount, 2);
        reader->bufferReaderRelease(&reader);
        ASSERT_EQ(reader, nullptr);
        ASSERT_EQ(buffer->readers.first, nullptr);
    }
    // Extra references keep it in the list until the last holder lets go.
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    TQBufferReader *copy = reader;
    reader->bufferReaderAddRef(reader);
    reader->bufferReaderRelease(&copy);
    EXPECT_EQ(copy, reader);
    EXPECT_EQ(buffer->readers.first, reader);
    reader->bufferReaderRelease(&copy);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(buffer->readers.first, nullptr);
    // Unlinking drops the list's reference and the caller's.
    reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    EXPECT_EQ(reader->bufferReaderUnlink(reader), 0);
    EXPECT_EQ(buffer->readers.first, nullptr);
}

struct SeekCase {
    int64_t start;    // reader placed here first (whence 0 offset start - 32)
    int16_t whence;
    int64_t offset;
    int64_t result;
    int64_t position; // afterwards
};

TEST(SegmentedBufferReader, SeekMovesWithinKeptBytesAndReportsTheDistance)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    ASSERT_EQ(writePattern(buffer.get(), 50), 50);
    ASSERT_EQ(writePattern(buffer.get(), 50), 50);
    ASSERT_EQ(buffer->bufferGetFirstPosition(buffer.get()), 32); // window 32..100
    const SeekCase cases[] = {
        {32, TQ_WHENCE_OLDEST, 10, 10, 42},       {50, TQ_WHENCE_OLDEST, -1, 0, 50},
        {50, TQ_WHENCE_OLDEST, 0, 0, 32},         {32, TQ_WHENCE_OLDEST, 1000, 68, 100},
        {50, TQ_WHENCE_NEWEST, 0, 0, 100},        {50, TQ_WHENCE_NEWEST, 5, 0, 50},
        {50, TQ_WHENCE_NEWEST, -20, -20, 80},     {50, TQ_WHENCE_NEWEST, -1000, -68, 32},
        {50, TQ_WHENCE_CURRENT, 7, 7, 57},        {50, TQ_WHENCE_CURRENT, -30, -18, 32},
        {50, TQ_WHENCE_CURRENT, 1000, 50, 100},   {50, TQ_WHENCE_CURRENT, 0, 0, 50},
        {50, 3, 1, 0, 50},                        {50, -1, 1, 0, 50},
    };
    for (const SeekCase &c : cases) {
        SCOPED_TRACE("whence " + std::to_string(c.whence) + " offset " + std::to_string(c.offset));
        TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), c.start - 32, TQ_WHENCE_OLDEST);
        ASSERT_EQ(readerPosition(buffer.get(), reader), c.start);
        EXPECT_EQ(reader->bufferReaderSeek(reader, c.offset, c.whence), c.result);
        EXPECT_EQ(readerPosition(buffer.get(), reader), c.position);
        EXPECT_EQ(readBytes(reader, 200), pattern(c.position, 100 - c.position));
        reader->bufferReaderUnlink(reader);
    }

    // A reader whose segment has left the window moves back no further than
    // the start of its own segment.
    TQBufferReader *behind = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(writePattern(buffer.get(), 32), 32);
    ASSERT_EQ(buffer->bufferGetFirstPosition(buffer.get()), 64);
    EXPECT_EQ(behind->bufferReaderSeek(behind, 8, TQ_WHENCE_CURRENT), 8);
    EXPECT_EQ(behind->bufferReaderSeek(behind, -20, TQ_WHENCE_CURRENT), -8);
    EXPECT_EQ(readerPosition(buffer.get(), behind), 32);
    EXPECT_EQ(readBytes(behind, 200), pattern(32, 100));
    behind->bufferReaderUnlink(behind);
}

TEST(SegmentedBufferReader, PeekShowsTheContiguousBytesWithoutConsuming)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    ASSERT_EQ(writePattern(buffer.get(), 20), 20);
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    int64_t count = 0, position = -1;
    auto *data = static_cast<uint8_t *>(reader->bufferReaderPeek(reader, &count, &position));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(count, 16);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 16), pattern(0, 16));
    EXPECT_EQ(reader->bufferReaderAvail(reader), 20);
    ASSERT_EQ(readBytes(reader, 16).size(), 16u);
    data = static_cast<uint8_t *>(reader->bufferReaderPeek(reader, &count, &position));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(position, 16);
    ASSERT_EQ(readBytes(reader, 16).size(), 4u);
    count = 9;
    EXPECT_EQ(reader->bufferReaderPeek(reader, &count, &position), nullptr);
    EXPECT_EQ(count, 0);
    reader->bufferReaderUnlink(reader);
}

// Bytes handed out by an open read reservation stay as they were until the
// reservation completes, whatever the writer does meanwhile.
TEST(SegmentedBufferReader, OpenReservationKeepsItsBytes)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    ASSERT_EQ(writePattern(buffer.get(), 48), 48);
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 16, TQ_WHENCE_OLDEST);
    TQPiece *pieces = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(reader->TQBufferReaderReserveRead(reader, &pieces, &count, 32), 32);
    EXPECT_EQ(count, 2u);
    // A second reservation, or a read, gets nothing while this one is open.
    TQPiece *other = nullptr;
    EXPECT_EQ(reader->TQBufferReaderReserveRead(reader, &other, nullptr, 8), 0);
    uint8_t scratch[8];
    EXPECT_EQ(reader->bufferReaderRead(reader, scratch, 8), 0);

    for (int i = 0; i < 50; ++i) // far past the maximum: the reservation is not reclaimed
        writePattern(buffer.get(), 64);
    EXPECT_EQ(gather(pieces), pattern(16, 32));
    EXPECT_EQ(buffer->bufferRestart(buffer.get()), 0);
    EXPECT_EQ(gather(pieces), pattern(16, 32));
    EXPECT_EQ(reader->bufferReaderCompleteRead(reader, 40), 32);
    EXPECT_EQ(reader->bufferReaderAvail(reader), 0); // lost after the restart

    ASSERT_EQ(writePattern(buffer.get(), 48), 48);
    ASSERT_EQ(reader->bufferReaderSeek(reader, 16, TQ_WHENCE_OLDEST), 16);
    ASSERT_EQ(reader->TQBufferReaderReserveRead(reader, &pieces, nullptr, 32), 32);
    EXPECT_EQ(buffer->bufferReset(buffer.get(), 32, 96, 192), 0);
    EXPECT_EQ(gather(pieces), pattern(16, 32));
    // The reset put the reader at the new start; completing the old
    // reservation does not move it from there.
    EXPECT_EQ(reader->bufferReaderCompleteRead(reader, 32), 32);
    EXPECT_EQ(reader->bufferReaderAvail(reader), 0);
    EXPECT_EQ(buffer->bufferCheckReaders(buffer.get()), 0);
    ASSERT_EQ(writePattern(buffer.get(), 20), 20);
    EXPECT_EQ(readBytes(reader, 100), pattern(0, 20));
    reader->bufferReaderUnlink(reader);
}

// A reader its holder keeps after the buffer is gone answers without
// touching the buffer, and its open reservation stays readable.
TEST(SegmentedBufferReader, ReaderOutlivesItsBuffer)
{
    TQBuffer *buffer = TQCreateBuffer(16, 64, 128);
    ASSERT_EQ(writePattern(buffer, 40), 40);
    TQBufferReader *reader = buffer->bufferNewReader(buffer, 8, TQ_WHENCE_OLDEST);
    TQPiece *pieces = nullptr;
    ASSERT_EQ(reader->TQBufferReaderReserveRead(reader, &pieces, nullptr, 20), 20);
    buffer->bufferClose(buffer);

    EXPECT_EQ(reader->refCount, 1);
    EXPECT_EQ(reader->link.owner, nullptr);
    EXPECT_EQ(gather(pieces), pattern(8, 20));
    EXPECT_EQ(reader->bufferReaderCompleteRead(reader, 20), 20);
    EXPECT_EQ(reader->bufferReaderAvail(reader), 0);
    EXPECT_EQ(reader->bufferReaderSeek(reader, 0, TQ_WHENCE_OLDEST), 0);
    int64_t count = 0, position = 0;
    EXPECT_EQ(reader->bufferReaderPeek(reader, &count, &position), nullptr);
    streamtest::DebugCapture trace;
    EXPECT_EQ(reader->TQBufferReaderReserveRead(reader, &pieces, nullptr, 20), 0);
    EXPECT_EQ(trace.text(), "TQBufferReaderReserveRead: reader not linked to buffer\n");
    reader->bufferReaderRelease(&reader);
    EXPECT_EQ(reader, nullptr);
}

TEST(SegmentedBufferReader, BufferReleaseFollowsItsReferenceCount)
{
    TQBuffer *buffer = TQCreateBuffer(16, 64, 128);
    TQBuffer *copy = buffer;
    EXPECT_EQ(buffer->bufferAddRef(buffer), 0);
    EXPECT_EQ(buffer->bufferRelease(&copy), 0);
    EXPECT_EQ(copy, buffer); // still held
    EXPECT_EQ(buffer->refCount, 1);
    EXPECT_EQ(writePattern(buffer, 10), 10);
    EXPECT_EQ(buffer->bufferRelease(&copy), 0);
    EXPECT_EQ(copy, nullptr);
}

// ---- Restart and reset ------------------------------------------------------------------

TEST(SegmentedBufferReset, RestartLosesReadersUntilTheySeek)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(writePattern(buffer.get(), 100), 64);
    EXPECT_EQ(buffer->bufferRestart(buffer.get()), 0);
    EXPECT_EQ(reader->lost, 1);
    EXPECT_EQ(reader->segment, nullptr);
    ASSERT_EQ(writePattern(buffer.get(), 40), 40);
    EXPECT_EQ(reader->bufferReaderAvail(reader), 0);
    EXPECT_EQ(readBytes(reader, 100).size(), 0u);
    EXPECT_EQ(reader->bufferReaderSeek(reader, 0, TQ_WHENCE_OLDEST), 0);
    EXPECT_EQ(reader->lost, 0);
    EXPECT_EQ(readBytes(reader, 100), pattern(0, 40));
    reader->bufferReaderUnlink(reader);
}

TEST(SegmentedBufferReset, ResetPlacesReadersAtTheStartOfTheNewBuffer)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    TQBufferReader *a = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_OLDEST);
    TQBufferReader *b = buffer->bufferNewReader(buffer.get(), 0, TQ_WHENCE_NEWEST);
    ASSERT_EQ(writePattern(buffer.get(), 60), 60);
    EXPECT_EQ(buffer->bufferReset(buffer.get(), 32, 96, 192), 0);
    EXPECT_EQ(buffer->segmentSize, 32);
    EXPECT_EQ(buffer->minimumSegments, 4);
    EXPECT_EQ(buffer->maximumSegments, 7);
    EXPECT_EQ(buffer->bufferSize, 96);
    EXPECT_EQ(buffer->allocatedCount, 1);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 0);
    for (TQBufferReader *reader : {a, b}) {
        EXPECT_EQ(reader->lost, 0);
        EXPECT_EQ(reader->segment, buffer->writeSegment);
        EXPECT_EQ(reader->offset, 0);
    }
    ASSERT_EQ(writePattern(buffer.get(), 90), 90);
    EXPECT_EQ(readBytes(a, 200), pattern(0, 90));
    EXPECT_EQ(readBytes(b, 200), pattern(0, 90));
    a->bufferReaderUnlink(a);
    b->bufferReaderUnlink(b);
}

// A reset with sizes it refuses leaves the buffer, its data and its readers
// exactly as they were.
TEST(SegmentedBufferReset, RefusedSizesLeaveTheBufferAsItWas)
{
    BufferPtr buffer = makeBuffer(16, 64, 128);
    ASSERT_EQ(writePattern(buffer.get(), 40), 40);
    TQBufferReader *reader = buffer->bufferNewReader(buffer.get(), 10, TQ_WHENCE_OLDEST);
    struct {
        int32_t seg, buf, max;
        const char *trace;
    } refused[] = {
        {0, 64, 128, ""},
        {16, 200, 100, ""},
        {16, 64, 0, ""},
        {16, 0, 128, "TQAllocBuffer: bad args: seg 16 buf 0 max 128\n"},
    };
    for (const auto &r : refused) {
        streamtest::DebugCapture trace;
        EXPECT_EQ(buffer->bufferReset(buffer.get(), r.seg, r.buf, r.max), -4);
        EXPECT_EQ(trace.text(), r.trace);
    }
    EXPECT_EQ(buffer->segmentSize, 16);
    EXPECT_EQ(buffer->minimumSegments, 5);
    EXPECT_EQ(buffer->maximumSegments, 9);
    EXPECT_EQ(buffer->bufferGetBytesWritten(buffer.get()), 40);
    EXPECT_EQ(reader->lost, 0);
    EXPECT_EQ(reader->bufferReaderAvail(reader), 30);
    ASSERT_EQ(writePattern(buffer.get(), 40), 40);
    EXPECT_EQ(readBytes(reader, 200), pattern(10, 70));
    reader->bufferReaderUnlink(reader);
}

} // namespace
