// Readers of file streams: reading to the end, the seek modes, independent
// readers, poll records spread into full scans, and files cut short.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

#include "filestream_test_util.h"

using namespace filetest;

namespace {

std::string dir() { return streamtest::scratchDir("filereader"); }

// Opens a file of n indexed scans.
void openIndexed(StreamHolder &holder, const std::string &name, uint64_t scans)
{
    const std::string path = dir() + "/" + name + ".stm";
    ASSERT_TRUE(writeStrm(path, indexedFile(scans)));
    ASSERT_EQ(OpenFileStream(path.c_str(), &holder.stream), 0);
}

// Reads every scan left, n at a time; the indexes in order, and the final result.
std::vector<uint32_t> readAll(TQReader *reader, int64_t n, int64_t &last)
{
    std::vector<uint32_t> out;
    for (;;) {
        TQPiece *pieces = nullptr;
        last = reader->readerReserveRead(reader, &pieces, nullptr, n);
        if (last <= 0)
            return out;
        for (const TQPiece *p = pieces; p->data; ++p)
            for (uint32_t b = 0; b < p->length; b += 8) {
                uint32_t v;
                memcpy(&v, static_cast<const char *>(p->data) + b, 4);
                out.push_back(v);
            }
        EXPECT_EQ(reader->readerCompleteRead(reader, last), last);
    }
}

} // namespace

TEST(FileReader, ReadsEveryScanOnceThenReportsTheEnd)
{
    StreamHolder s;
    openIndexed(s, "thousand", 1000);
    EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 1000);
    for (int64_t n : {1, 7, 256, 300, 5000}) {
        ReaderHolder r;
        r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
        ASSERT_NE(r.reader, nullptr);
        EXPECT_EQ(r.reader->readerAvail(r.reader), 1000);
        int64_t last = 0;
        std::vector<uint32_t> got = readAll(r.reader, n, last);
        ASSERT_EQ(got.size(), 1000u) << "batches of " << n;
        for (uint32_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], i);
        EXPECT_EQ(last, TQS_END_OF_DATA);
        EXPECT_EQ(r.reader->readerReserveRead(r.reader, nullptr, nullptr, 1), TQS_END_OF_DATA);
        EXPECT_EQ(r.reader->readerAvail(r.reader), 0);
        int64_t count = -1, position = -1;
        EXPECT_EQ(r.reader->readerPeek(r.reader, &count, &position), nullptr);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(position, 1000);
    }
}

TEST(FileReader, PeekShowsTheNextScanWithoutConsumingIt)
{
    StreamHolder s;
    openIndexed(s, "peek", 600);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 10, TQ_WHENCE_OLDEST);
    int64_t count = 0, position = 0;
    auto *scan = static_cast<const uint32_t *>(r.reader->readerPeek(r.reader, &count, &position));
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(scan[0], 10u);
    EXPECT_EQ(position, 10);
    EXPECT_GE(count, 1);
    EXPECT_LE(count, 256);
    EXPECT_EQ(nextIndex(r.reader), 10);
}

struct SeekCase {
    const char *what;
    int64_t start;  // absolute position before the seek
    int64_t offset;
    int32_t whence;
    int64_t result;
    int64_t next;   // index of the next scan, -1 at the end
};

class FileReaderSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(FileReaderSeek, LandsOnTheScanAndReportsTheDistance)
{
    const SeekCase c = GetParam();
    StreamHolder s;
    openIndexed(s, "seek", 1000);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    // Reach the start by reading, so that the buffer holds data around it.
    int64_t done = 0;
    while (done < c.start) {
        TQPiece *pieces = nullptr;
        int64_t got = r.reader->readerReserveRead(r.reader, &pieces, nullptr, std::min<int64_t>(c.start - done, 100));
        ASSERT_GT(got, 0);
        done += r.reader->readerCompleteRead(r.reader, got);
    }
    EXPECT_EQ(r.reader->readerSeek(r.reader, c.offset, c.whence), c.result) << c.what;
    EXPECT_EQ(nextIndex(r.reader), c.next) << c.what;
    int64_t position = -1;
    r.reader->readerPeek(r.reader, nullptr, &position);
    EXPECT_EQ(position, c.next < 0 ? 1000 : c.next) << c.what;
    EXPECT_EQ(r.reader->readerAvail(r.reader), c.next < 0 ? 0 : 1000 - c.next) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileReaderSeek,
    ::testing::Values(SeekCase{"absolute", 0, 123, 0, 123, 123}, SeekCase{"absolute past the end", 0, 5000, 0, 1000, -1},
                      SeekCase{"absolute before the start", 500, -3, 0, 0, 0},
                      SeekCase{"from the end", 0, -10, 2, -10, 990},
                      SeekCase{"from the end before the start", 0, -5000, 2, -1000, 0},
                      SeekCase{"from the end, positive", 0, 5, 2, 0, -1},
                      SeekCase{"forward inside the buffer", 100, 50, 1, 50, 150},
                      SeekCase{"forward beyond the buffer", 100, 700, 1, 700, 800},
                      SeekCase{"forward past the end", 100, 5000, 1, 900, -1},
                      SeekCase{"back inside the buffer", 300, -250, 1, -250, 50},
                      SeekCase{"back beyond the buffered data", 20, -50, 1, -20, 0},
                      SeekCase{"back past what the buffer still holds", 900, -850, 1, -850, 50},
                      SeekCase{"unknown whence", 40, 10, 7, 0, 40}),
    [](const ::testing::TestParamInfo<SeekCase> &info) { return "Case" + std::to_string(info.index); });

TEST(FileReader, BackwardSeekFarBehindAFullBufferReachesItsTarget)
{
    // The reader has moved on so far that the buffer no longer starts at the
    // first scan: a step back by more than the scans kept behind the reader
    // (though less than the buffer holds) must still land on its target.
    StreamHolder s;
    openIndexed(s, "farback", 4000);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    for (int i = 0; i < 20; ++i) {
        TQPiece *pieces = nullptr;
        ASSERT_EQ(r.reader->readerReserveRead(r.reader, &pieces, nullptr, 100), 100);
        r.reader->readerCompleteRead(r.reader, 100);
    }
    EXPECT_EQ(r.reader->readerSeek(r.reader, -1000, TQ_WHENCE_CURRENT), -1000);
    EXPECT_EQ(nextIndex(r.reader), 1000);
    EXPECT_EQ(r.reader->readerSeek(r.reader, -1, TQ_WHENCE_CURRENT), -1);
    EXPECT_EQ(nextIndex(r.reader), 999);
}

TEST(FileReader, FromTheEndStaysOnScanBoundariesWhenDataEndsInAPartialScan)
{
    StrmSpec fileLayout = indexedFile(1000);
    fileLayout.data += "xyz"; // three bytes of a scan that never completed
    const std::string path = dir() + "/partial.stm";
    ASSERT_TRUE(writeStrm(path, fileLayout));
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 1000);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, -10, TQ_WHENCE_NEWEST);
    EXPECT_EQ(nextIndex(r.reader), 990);
    EXPECT_EQ(r.reader->readerSeek(r.reader, -1, TQ_WHENCE_NEWEST), -1);
    int64_t last = 0;
    std::vector<uint32_t> got = readAll(r.reader, 10, last);
    EXPECT_EQ(got, std::vector<uint32_t>{999});
    EXPECT_EQ(last, TQS_END_OF_DATA);
}

TEST(FileReader, ReservationOvertakenByASeekConsumesNothing)
{
    StreamHolder s;
    openIndexed(s, "overtaken", 500);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    TQPiece *pieces = nullptr;
    ASSERT_EQ(r.reader->readerReserveRead(r.reader, &pieces, nullptr, 10), 10);
    EXPECT_EQ(r.reader->readerReserveRead(r.reader, &pieces, nullptr, 10), 0); // one reservation at a time
    EXPECT_EQ(r.reader->readerSeek(r.reader, 200, TQ_WHENCE_OLDEST), 200);
    EXPECT_EQ(r.reader->readerCompleteRead(r.reader, 10), 0);
    EXPECT_EQ(nextIndex(r.reader), 200);
}

TEST(FileReader, ReadersOfOneFileAreIndependent)
{
    StreamHolder s;
    openIndexed(s, "two", 2000);
    ReaderHolder a, b;
    a.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    b.reader = s.stream->streamNewReader(s.stream, 500, TQ_WHENCE_OLDEST);
    // Interleaved, in steps of different sizes.
    std::vector<uint8_t> fromA(8 * 2000), fromB(8 * 1500);
    int64_t gotA = 0, gotB = 0;
    while (gotA < 2000 || gotB < 1500) {
        if (gotA < 2000)
            gotA += a.reader->readerRead(a.reader, fromA.data() + 8 * gotA, std::min<int64_t>(2000 - gotA, 97));
        if (gotB < 1500)
            gotB += b.reader->readerRead(b.reader, fromB.data() + 8 * gotB, std::min<int64_t>(1500 - gotB, 301));
    }
    EXPECT_EQ(gotA, 2000);
    EXPECT_EQ(gotB, 1500);
    EXPECT_EQ(0, memcmp(fromA.data() + 8 * 500, fromB.data(), fromB.size()));
    EXPECT_EQ(a.reader->readerSeek(a.reader, 0, TQ_WHENCE_OLDEST), 0); // b stays at its end
    EXPECT_EQ(b.reader->readerAvail(b.reader), 0);
    EXPECT_EQ(nextIndex(a.reader), 0);
}

TEST(FileReader, ReadersOnTwoThreadsReadTheSameScans)
{
    StreamHolder s;
    openIndexed(s, "threads", 20000);
    std::atomic<int> bad{0};
    auto work = [&](TQReader *reader) {
        int64_t last = 0;
        std::vector<uint32_t> got = readAll(reader, 333, last);
        if (got.size() != 20000 || last != TQS_END_OF_DATA)
            ++bad;
        for (uint32_t i = 0; i < got.size(); ++i)
            if (got[i] != i) {
                ++bad;
                break;
            }
    };
    ReaderHolder a, b;
    a.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    b.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    std::thread ta(work, a.reader), tb(work, b.reader);
    ta.join();
    tb.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(FileReader, PollRecordsCompleteEveryScan)
{
    // Two data channels (an index and a pattern) and two polled 32-bit bit
    // channels sharing one word; a poll record applies to 3 scans.
    StrmSpec fileLayout = indexedFile(20);
    fileLayout.channels.push_back({"p0", "b", TQ_XFRM_POLLED_BIT32, {0}, {}});
    fileLayout.channels.push_back({"p5", "b", TQ_XFRM_POLLED_BIT32, {5}, {}});
    fileLayout.scansPerPoll = 3;
    Bytes poll;
    for (uint32_t r = 0; r < 7; ++r)
        poll.u32(0xA0000000u | r << 8 | (r & 1) | (r % 3 == 0 ? 1u << 5 : 0));
    fileLayout.poll = poll.bytes;
    const std::string path = dir() + "/poll.stm";
    ASSERT_TRUE(writeStrm(path, fileLayout));
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    ASSERT_EQ(s.stream->streamGetScanSize(s.stream), 12);
    EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 20); // 7 records cover 21 scans
    TQStreamChannel *p0 = s.stream->streamGetChannel(s.stream, "p0");
    TQStreamChannel *p5 = s.stream->streamGetChannel(s.stream, "p5");
    ASSERT_TRUE(p0 && p5);

    const std::string data = fileLayout.data;
    for (int64_t start : {0, 4, 17}) {
        ReaderHolder r;
        r.reader = s.stream->streamNewReader(s.stream, start, TQ_WHENCE_OLDEST);
        std::vector<uint8_t> scans(12 * 20);
        ASSERT_EQ(r.reader->readerRead(r.reader, scans.data(), 20), 20 - start);
        for (int64_t j = 0; j < 20 - start; ++j) {
            const uint8_t *scan = scans.data() + 12 * j;
            const int64_t a = start + j;
            const uint32_t record = static_cast<uint32_t>(a / 3);
            uint32_t word;
            memcpy(&word, scan + 8, 4);
            EXPECT_EQ(0, memcmp(scan, data.data() + 8 * a, 8)) << "scan " << a;
            EXPECT_EQ(word, 0xA0000000u | record << 8 | (record & 1) | (record % 3 == 0 ? 1u << 5 : 0)) << "scan " << a;
            EXPECT_EQ(p0->streamChannelEval(p0, scan), (record & 1) ? 1.0 : 0.0);
            EXPECT_EQ(p5->streamChannelEval(p5, scan), record % 3 == 0 ? 1.0 : 0.0);
        }
    }
}

TEST(FileReader, ScansWithoutTheirPollRecordAreNotHandedOut)
{
    StrmSpec fileLayout = indexedFile(20);
    fileLayout.channels.push_back({"p", "b", TQ_XFRM_POLLED_BIT16, {0}, {}});
    fileLayout.scansPerPoll = 4;
    fileLayout.poll = Bytes().u16(1).u16(2).u16(3).bytes; // scans 0 to 11 only
    const std::string path = dir() + "/pollshort.stm";
    ASSERT_TRUE(writeStrm(path, fileLayout));
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 12);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    std::vector<uint8_t> scans(10 * 20);
    EXPECT_EQ(r.reader->readerRead(r.reader, scans.data(), 20), 12);
    EXPECT_EQ(r.reader->readerRead(r.reader, scans.data(), 20), TQS_END_OF_DATA);
}

TEST(FileReader, HeaderOfAnUnfinishedCaptureHoldsNoScans)
{
    // A capture that wrote its header first and was never closed.
    const std::string path = dir() + "/unfinished.stm";
    TQStream *live = newStream("live", 100.0, nullptr);
    setScanSize(live, 2);
    setNumberChannels(live, 1);
    live->streamSetWriteHeaderFirst(live, 1);
    TQCaptureChannel channel{};
    strcpy(channel.name, "a");
    channel.kind = TQ_XFRM_POLYNOMIAL;
    TQCaptureHeader header{100.0, 1, 1700000000, 1, 0, &channel};
    ASSERT_EQ(commonCaptureOpen(live, path.c_str(), 0, &header), 0);
    int16_t samples[50] = {};
    ASSERT_EQ(live->streamNewData(live, samples, 50, 0), 0);

    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 0);
    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    EXPECT_EQ(r.reader->readerAvail(r.reader), 0);
    EXPECT_EQ(r.reader->readerReserveRead(r.reader, nullptr, nullptr, 10), TQS_END_OF_DATA);
    commonCaptureClose(live, nullptr);
    destroyStream(live);
}

TEST(FileReader, FileCutShortEndsWithItsLastWholeScan)
{
    // Cut inside DATA: before the stream opens it, and after a reader was made.
    const std::string path = dir() + "/cut.stm";
    ASSERT_TRUE(writeStrm(path, indexedFile(1000)));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const off_t dataEnd = st.st_size; // DATA is the last chunk
    ASSERT_EQ(truncate(path.c_str(), dataEnd - 8 * 400 - 3), 0);
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 599);

    ReaderHolder r;
    r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(truncate(path.c_str(), dataEnd - 8 * 700 - 5), 0); // shrinks under the reader
    int64_t last = 0;
    std::vector<uint32_t> got = readAll(r.reader, 100, last);
    ASSERT_EQ(got.size(), 299u);
    for (uint32_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], i);
    EXPECT_EQ(last, TQS_END_OF_DATA);
    EXPECT_EQ(r.reader->readerReserveRead(r.reader, nullptr, nullptr, 1), TQS_END_OF_DATA);
}

TEST(FileReader, ReaderOutlivesItsStream)
{
    StreamHolder s;
    openIndexed(s, "outlive", 300);
    TQReader *reader = s.stream->streamNewReader(s.stream, 100, TQ_WHENCE_OLDEST);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->refCount, 2);
    s.stream->streamRelease(&s.stream);
    EXPECT_EQ(s.stream, nullptr);
    EXPECT_EQ(reader->readerGetStream(reader), nullptr);
    EXPECT_EQ(reader->refCount, 1);
    int64_t last = 0;
    std::vector<uint32_t> got = readAll(reader, 64, last);
    EXPECT_EQ(got.size(), 200u);
    EXPECT_EQ(last, TQS_END_OF_DATA);
    reader->readerRelease(&reader);
    EXPECT_EQ(reader, nullptr);
}

TEST(FileReader, NoReaderWhenTheFileIsGone)
{
    const std::string path = dir() + "/gone.stm";
    ASSERT_TRUE(writeStrm(path, indexedFile(10)));
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_EQ(s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST), nullptr);
    EXPECT_EQ(s.stream->readers.first, nullptr); // nothing left linked
}
