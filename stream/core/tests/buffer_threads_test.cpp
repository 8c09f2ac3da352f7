// Segmented buffer used as streams use it: a writer thread and reader
// threads, every buffer call under one outside lock (the stream's lock).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "buffer_test_util.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

using namespace buffertest;

namespace {

constexpr int64_t kTotal = 2 << 20;

struct ReaderReport {
    int64_t bytesRead = 0;
    int64_t jumps = 0; // times the reader found itself moved forward
    int64_t endPosition = -1;
    std::string failure;
};

class LockedBuffer {
public:
    LockedBuffer() : buffer_(makeBuffer(256, 2560, 3840)) {}
    TQBuffer *get() { return buffer_.get(); }
    tq::platform::Mutex &lock() { return lock_; }

private:
    BufferPtr buffer_;
    tq::platform::Mutex lock_;
};

// How a reader thread takes its data: copied under the lock, or reserved
// under the lock, checked without it (zero-copy) and completed under it.
enum class ReadMode { Copy, CopySlowly, ZeroCopy };

void readerThread(LockedBuffer &shared, ReadMode mode, std::atomic<bool> &writerDone, ReaderReport &report)
{
    TQBuffer *buffer = shared.get();
    shared.lock().lock();
    TQBufferReader *reader = buffer->bufferNewReader(buffer, 0, TQ_WHENCE_OLDEST);
    shared.lock().unlock();
    std::mt19937 rng(static_cast<uint32_t>(mode) + 11);
    std::vector<uint8_t> bytes(4096);
    int64_t expectedPosition = 0;
    for (int round = 0;; ++round) {
        bool finished = writerDone.load();
        shared.lock().lock();
        int64_t position = readerPosition(buffer, reader);
        int64_t want = static_cast<int64_t>(rng() % 2000) + 1;
        int64_t got = 0;
        TQPiece *pieces = nullptr;
        if (mode == ReadMode::ZeroCopy)
            got = reader->TQBufferReaderReserveRead(reader, &pieces, nullptr, want);
        else
            got = reader->bufferReaderRead(reader, bytes.data(), want);
        shared.lock().unlock();

        if (position < expectedPosition) {
            report.failure = "reader went back from " + std::to_string(expectedPosition) + " to " +
                             std::to_string(position);
            break;
        }
        if (position > expectedPosition)
            ++report.jumps;
        std::vector<uint8_t> data = mode == ReadMode::ZeroCopy
                                        ? gather(pieces)
                                        : std::vector<uint8_t>(bytes.begin(), bytes.begin() + got);
        if (static_cast<int64_t>(data.size()) != got || data != pattern(position, got)) {
            report.failure = "wrong bytes at " + std::to_string(position);
            break;
        }
        if (mode == ReadMode::ZeroCopy && got > 0) {
            shared.lock().lock();
            int64_t done = reader->bufferReaderCompleteRead(reader, got);
            shared.lock().unlock();
            if (done != got) {
                report.failure = "completed " + std::to_string(done) + " of " + std::to_string(got);
                break;
            }
        }
        report.bytesRead += got;
        expectedPosition = position + got;
        if (got == 0 && finished)
            break;
        if (mode == ReadMode::CopySlowly && round % 4 == 0)
            tq::platform::sleepMs(1);
        if (got == 0)
            std::this_thread::yield();
    }
    shared.lock().lock();
    report.endPosition = readerPosition(buffer, reader);
    reader->bufferReaderUnlink(reader);
    shared.lock().unlock();
}

TEST(SegmentedBufferThreads, WriterAndReadersUnderTheStreamLock)
{
    LockedBuffer shared;
    ASSERT_TRUE(shared.get());
    std::atomic<bool> writerDone{false};
    const ReadMode modes[] = {ReadMode::Copy, ReadMode::CopySlowly, ReadMode::ZeroCopy};
    ReaderReport reports[3];
    tq::platform::Thread readers[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(readers[i].start([&, i] { readerThread(shared, modes[i], writerDone, reports[i]); }));

    tq::platform::Thread writer;
    ASSERT_TRUE(writer.start([&] {
        TQBuffer *buffer = shared.get();
        std::mt19937 rng(5);
        int64_t written = 0;
        while (written < kTotal) {
            int64_t n = std::min<int64_t>(static_cast<int64_t>(rng() % 700) + 1, kTotal - written);
            std::vector<uint8_t> block = pattern(written, n);
            shared.lock().lock();
            int64_t w = buffer->bufferWrite(buffer, block.data(), n);
            shared.lock().unlock();
            written += w;
            if (w < n) // a reservation pins the oldest segments: let the reader finish
                std::this_thread::yield();
        }
        writerDone = true;
    }));
    writer.join();
    for (auto &reader : readers)
        reader.join();

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("reader " + std::to_string(i));
        EXPECT_EQ(reports[i].failure, "");
        EXPECT_EQ(reports[i].endPosition, kTotal);
        EXPECT_GT(reports[i].bytesRead, 0);
    }
    EXPECT_EQ(shared.get()->bufferGetBytesWritten(shared.get()), kTotal);
    EXPECT_EQ(shared.get()->readers.first, nullptr);
}

} // namespace
