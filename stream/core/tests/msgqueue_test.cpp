// Stream message queue: reading and printing cases, wrap and overwrite
// against a model of the ring, reference counting and the lock.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tq/platform/sync.h"
#include "tq/platform/thread.h"
#include "tqstream.h"

namespace {

struct QueueCloser {
    void operator()(TQStreamMsg *queue) const
    {
        if (queue)
            queue->streamMsgRelease(&queue);
    }
};
using QueuePtr = std::unique_ptr<TQStreamMsg, QueueCloser>;

QueuePtr makeQueue(uint32_t capacity)
{
    TQStreamMsg *queue = nullptr;
    EXPECT_EQ(StreamMsgCommonCreate(capacity, &queue), 0);
    return QueuePtr(queue);
}

uint32_t used(TQStreamMsg *queue)
{
    uint32_t value = 0;
    EXPECT_EQ(queue->streamMsgGetUsed(queue, &value), 0);
    return value;
}

struct Taken {
    int32_t result;
    std::string text;
    uint32_t length;
};

Taken take(TQStreamMsg *queue, uint32_t size)
{
    std::vector<char> buffer(size + 1, '#');
    uint32_t length = 12345;
    int32_t result = queue->streamMsgRead(queue, buffer.data(), size, &length);
    return {result, std::string(buffer.data(), size > 0 ? std::min<size_t>(length, size) : 0), length};
}

TEST(StreamMessageQueue, CreatedEmptyWithItsCapacity)
{
    QueuePtr queue = makeQueue(16);
    ASSERT_TRUE(queue);
    TQStreamMsg *q = queue.get();
    uint32_t value = 0;
    EXPECT_EQ(q->refCount, 1);
    EXPECT_EQ(q->streamMsgGetCapacity(q, &value), 0);
    EXPECT_EQ(value, 16u);
    EXPECT_EQ(q->streamMsgGetFree(q, &value), 0);
    EXPECT_EQ(value, 16u);
    EXPECT_EQ(used(q), 0u);
    char buffer[8] = "xxxxxxx";
    uint32_t length = 9;
    EXPECT_EQ(q->streamMsgRead(q, buffer, sizeof buffer, &length), 2);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(buffer, "");

    TQStreamMsg *none = reinterpret_cast<TQStreamMsg *>(1);
    EXPECT_EQ(StreamMsgCommonCreate(0, &none), -4);
    EXPECT_EQ(none, reinterpret_cast<TQStreamMsg *>(1)); // left alone
}

TEST(StreamMessageQueue, ReadsTakeWholeMessagesOrAsMuchAsFits)
{
    QueuePtr queue = makeQueue(16);
    TQStreamMsg *q = queue.get();
    EXPECT_EQ(q->streamMsgPrintf(q, "%s", "abc"), 0);
    EXPECT_EQ(used(q), 4u);
    Taken t = take(q, 10);
    EXPECT_EQ(t.result, 0);
    EXPECT_EQ(t.text, "abc");
    EXPECT_EQ(t.length, 3u);
    EXPECT_EQ(take(q, 10).result, 2);

    // Longer than the buffer: size - 1 characters now, the rest next time.
    EXPECT_EQ(q->streamMsgPrintf(q, "%d%s", 123, "456789"), 0);
    t = take(q, 5);
    EXPECT_EQ(t.result, 1);
    EXPECT_EQ(t.text, "1234");
    EXPECT_EQ(t.length, 4u);
    t = take(q, 10);
    EXPECT_EQ(t.result, 0);
    EXPECT_EQ(t.text, "56789");
    EXPECT_EQ(t.length, 5u);

    // Without a buffer the message is taken all the same.
    EXPECT_EQ(q->streamMsgPrintf(q, "gone"), 0);
    EXPECT_EQ(q->streamMsgPrintf(q, "kept"), 0);
    uint32_t length = 0;
    EXPECT_EQ(q->streamMsgRead(q, nullptr, 16, &length), 0);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(take(q, 16).text, "kept");
}

TEST(StreamMessageQueue, NumbersAreFormattedLikePrintf)
{
    QueuePtr queue = makeQueue(64);
    TQStreamMsg *q = queue.get();
    EXPECT_EQ(q->streamMsgPrintf(q, "[%s]start:%s %.2f %#x", "tq718", "ok", 2.5, 0xbfff000eu), 0);
    EXPECT_EQ(take(q, 64).text, "[tq718]start:ok 2.50 0xbfff000e");
}

// A message that does not fit before the end of the ring pads the end with
// NUL bytes and starts at the beginning; readers see the messages in order.
TEST(StreamMessageQueue, MessageThatDoesNotFitBeforeTheEndStartsAtTheBeginning)
{
    QueuePtr queue = makeQueue(16);
    TQStreamMsg *q = queue.get();
    ASSERT_EQ(q->streamMsgPrintf(q, "aaaaa"), 0);   // 0..5
    ASSERT_EQ(q->streamMsgPrintf(q, "bbbbbbb"), 0); // 6..13
    ASSERT_EQ(take(q, 16).text, "aaaaa");
    ASSERT_EQ(q->streamMsgPrintf(q, "cccc"), 0); // 2 bytes left before the end: padded, then 0..4
    EXPECT_EQ(q->readIndex, 6u);
    EXPECT_EQ(used(q), 8u + 2u + 5u);
    EXPECT_EQ(q->ring[14], 0);
    EXPECT_EQ(q->ring[15], 0);
    EXPECT_EQ(std::string(q->ring, 4), "cccc");
    EXPECT_EQ(take(q, 16).text, "bbbbbbb");
    EXPECT_EQ(take(q, 16).text, "cccc");
    EXPECT_EQ(take(q, 16).result, 2);
    EXPECT_EQ(used(q), 0u);
}

// Once the queue is empty the next message starts at the beginning of the
// ring, wherever the last one ended: it is not lost to the padding.
TEST(StreamMessageQueue, EmptyQueueStartsAgainAtTheBeginning)
{
    QueuePtr queue = makeQueue(16);
    TQStreamMsg *q = queue.get();
    ASSERT_EQ(q->streamMsgPrintf(q, "0123456789"), 0);
    ASSERT_EQ(take(q, 16).text, "0123456789");
    EXPECT_EQ(q->streamMsgPrintf(q, "abcdefghij"), 0);
    EXPECT_EQ(used(q), 11u);
    Taken t = take(q, 16);
    EXPECT_EQ(t.result, 0);
    EXPECT_EQ(t.text, "abcdefghij");
}

TEST(StreamMessageQueue, FullRingDropsTheOldestMessagesWhole)
{
    QueuePtr queue = makeQueue(12);
    TQStreamMsg *q = queue.get();
    ASSERT_EQ(q->streamMsgPrintf(q, "aaa"), 0);
    ASSERT_EQ(q->streamMsgPrintf(q, "bbb"), 0);
    ASSERT_EQ(q->streamMsgPrintf(q, "ccc"), 0);
    EXPECT_EQ(used(q), 12u);
    // Room for one more exactly where "aaa" was: only "aaa" gives way.
    ASSERT_EQ(q->streamMsgPrintf(q, "ddd"), 0);
    EXPECT_EQ(used(q), 12u);
    // Overwrites "bbb" and part of "ccc": both go, whole.
    ASSERT_EQ(q->streamMsgPrintf(q, "eeeeee"), 0);
    EXPECT_EQ(take(q, 12).text, "ddd");
    EXPECT_EQ(take(q, 12).text, "eeeeee");
    EXPECT_EQ(take(q, 12).result, 2);
}

TEST(StreamMessageQueue, MessageLargerThanTheRingIsRefusedAndChangesNothing)
{
    QueuePtr queue = makeQueue(8);
    TQStreamMsg *q = queue.get();
    ASSERT_EQ(q->streamMsgPrintf(q, "abc"), 0);
    EXPECT_EQ(q->streamMsgPrintf(q, "%s", "12345678"), -16); // 8 characters and the terminator
    EXPECT_EQ(q->streamMsgPrintf(q, "%s", "123456789012"), -16);
    EXPECT_EQ(used(q), 4u);
    EXPECT_EQ(take(q, 8).text, "abc");
    EXPECT_EQ(q->streamMsgPrintf(q, "%s", "1234567"), 0); // capacity - 1 fits
    EXPECT_EQ(take(q, 8).text, "1234567");
}

TEST(StreamMessageQueue, FlushEmptiesTheQueue)
{
    QueuePtr queue = makeQueue(32);
    TQStreamMsg *q = queue.get();
    ASSERT_EQ(q->streamMsgPrintf(q, "one"), 0);
    ASSERT_EQ(q->streamMsgPrintf(q, "two"), 0);
    EXPECT_EQ(q->streamMsgFlush(q), 0);
    EXPECT_EQ(used(q), 0u);
    EXPECT_EQ(take(q, 32).result, 2);
    ASSERT_EQ(q->streamMsgPrintf(q, "three"), 0);
    EXPECT_EQ(take(q, 32).text, "three");
}

TEST(StreamMessageQueue, ReleaseFreesAtZeroAndClearsTheHoldersPointer)
{
    TQStreamMsg *queue = nullptr;
    ASSERT_EQ(StreamMsgCommonCreate(8, &queue), 0);
    TQStreamMsg *holder = queue;
    EXPECT_EQ(queue->streamMsgAddRef(queue), 0);
    EXPECT_EQ(queue->refCount, 2);
    EXPECT_EQ(queue->streamMsgRelease(&holder), 0);
    EXPECT_EQ(holder, queue);
    EXPECT_EQ(queue->streamMsgRelease(&holder), 0);
    EXPECT_EQ(holder, nullptr);
}

// ---- Model ------------------------------------------------------------------------

// The ring as messages at positions: what must survive each print, and what
// each read must return, follows from where every text lies.
class QueueModel {
public:
    explicit QueueModel(uint32_t capacity) : cap_(capacity) {}

    int32_t print(const std::string &text)
    {
        const uint32_t need = static_cast<uint32_t>(text.size()) + 1;
        if (need > cap_)
            return -16;
        uint32_t write = 0, pad = 0;
        for (;;) {
            if (used_ == 0)
                read_ = 0;
            write = (read_ + used_) % cap_;
            pad = need <= cap_ - write ? 0 : cap_ - write;
            if (used_ + pad + need <= cap_)
                break;
            std::string ignored;
            takeFront(cap_, &ignored);
        }
        uint32_t start = pad ? 0 : write;
        if (!text.empty()) // an empty text is a lone terminator: readers skip it
            messages_.push_back({start, text});
        used_ += pad + need;
        return 0;
    }

    int32_t read(uint32_t size, std::string *text) { return takeFront(size, text); }
    void flush()
    {
        messages_.clear();
        used_ = read_ = 0;
    }
    uint32_t used() const { return used_; }

private:
    struct Message {
        uint32_t start;
        std::string text;
    };

    // Everything between read_ and the first message is NUL bytes.
    void skipNul()
    {
        if (messages_.empty()) {
            read_ = (read_ + used_) % cap_;
            used_ = 0;
            return;
        }
        uint32_t gap = (messages_.front().start + cap_ - read_) % cap_;
        read_ = messages_.front().start;
        used_ -= gap;
    }

    int32_t takeFront(uint32_t size, std::string *text)
    {
        skipNul();
        if (used_ == 0)
            return 2;
        Message &front = messages_.front();
        size_t taken = size == 0 ? 0 : std::min<size_t>(front.text.size(), size - 1);
        *text = front.text.substr(0, taken);
        read_ = (read_ + static_cast<uint32_t>(taken)) % cap_;
        used_ -= static_cast<uint32_t>(taken);
        if (taken < front.text.size()) {
            front.start += static_cast<uint32_t>(taken);
            front.text.erase(0, taken);
            return 1;
        }
        messages_.pop_front();
        skipNul();
        return 0;
    }

    uint32_t cap_;
    uint32_t read_ = 0;
    uint32_t used_ = 0;
    std::deque<Message> messages_;
};

TEST(StreamMessageQueue, WrapAndOverwriteFollowTheModel)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const uint32_t capacity = 8 + rng() % 60;
        QueuePtr queue = makeQueue(capacity);
        TQStreamMsg *q = queue.get();
        QueueModel model(capacity);
        int counter = 0;
        for (int step = 0; step < 3000; ++step) {
            uint32_t op = rng() % 100;
            if (op < 50) {
                // Lengths from empty to more than the whole ring.
                size_t length = rng() % (capacity + 3);
                std::string text = std::to_string(counter++) + ":";
                while (text.size() < length)
                    text += static_cast<char>('a' + rng() % 26);
                text.resize(length);
                ASSERT_EQ(q->streamMsgPrintf(q, "%s", text.c_str()), model.print(text)) << "step " << step;
            } else if (op < 97) {
                uint32_t size = rng() % (capacity + 2);
                std::string expected;
                int32_t result = model.read(size, &expected);
                Taken got = take(q, size);
                ASSERT_EQ(got.result, result) << "step " << step;
                if (result != 2) {
                    ASSERT_EQ(got.text, expected) << "step " << step;
                    ASSERT_EQ(got.length, expected.size()) << "step " << step;
                }
            } else {
                EXPECT_EQ(q->streamMsgFlush(q), 0);
                model.flush();
            }
            ASSERT_EQ(used(q), model.used()) << "step " << step;
            uint32_t available = 0;
            q->streamMsgGetFree(q, &available);
            ASSERT_EQ(available, capacity - model.used());
        }
    }
}

// ---- Lock ---------------------------------------------------------------------------

TEST(StreamMessageQueueLock, ProducersAndConsumerUnderTheQueuesLock)
{
    QueuePtr queue = makeQueue(4096);
    TQStreamMsg *q = queue.get();
    constexpr int kProducers = 3;
    constexpr int kMessages = 2000;
    tq::platform::Thread producers[kProducers];
    for (int p = 0; p < kProducers; ++p) {
        ASSERT_TRUE(producers[p].start([&, p] {
            for (int i = 0; i < kMessages; ++i) {
                for (;;) {
                    ASSERT_EQ(q->streamMsgLock(q, TQ_INFINITE), 0);
                    uint32_t available = 0;
                    q->streamMsgGetFree(q, &available);
                    // Never overwrite: wait for the consumer when the ring is nearly full.
                    bool room = available > 64;
                    if (room) {
                        EXPECT_EQ(q->streamMsgPrintf(q, "p%d:%d", p, i), 0);
                    }
                    EXPECT_NE(q->streamMsgUnlock(q), 0);
                    if (room)
                        break;
                    std::this_thread::yield();
                }
            }
        }));
    }
    int next[kProducers] = {0, 0, 0};
    int received = 0;
    while (received < kProducers * kMessages) {
        char text[64];
        uint32_t length = 0;
        ASSERT_EQ(q->streamMsgLock(q, TQ_INFINITE), 0);
        int32_t result = q->streamMsgRead(q, text, sizeof text, &length);
        q->streamMsgUnlock(q);
        if (result == 2) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(result, 0);
        int p = -1, i = -1;
        ASSERT_EQ(sscanf(text, "p%d:%d", &p, &i), 2) << text;
        ASSERT_GE(p, 0);
        ASSERT_LT(p, kProducers);
        ASSERT_EQ(i, next[p]) << "messages of one producer arrive in order";
        ++next[p];
        ++received;
    }
    for (auto &producer : producers)
        producer.join();
}

TEST(StreamMessageQueueLock, OtherThreadsWaitOrTimeOutAndCannotUnlock)
{
    QueuePtr queue = makeQueue(64);
    TQStreamMsg *q = queue.get();
    ASSERT_EQ(q->streamMsgLock(q, 0), 0);
    ASSERT_EQ(q->streamMsgLock(q, 0), 0); // the owner may lock again
    int32_t lockResult = 1, unlockResult = 1;
    tq::platform::Thread other;
    ASSERT_TRUE(other.start([&] {
        lockResult = q->streamMsgLock(q, 20);
        unlockResult = q->streamMsgUnlock(q);
    }));
    other.join();
    EXPECT_EQ(lockResult, -22);
    EXPECT_EQ(unlockResult, 0);
    EXPECT_NE(q->streamMsgUnlock(q), 0);
    EXPECT_NE(q->streamMsgUnlock(q), 0);
    EXPECT_EQ(q->streamMsgUnlock(q), 0); // no longer held
    ASSERT_TRUE(other.start([&] {
        lockResult = q->streamMsgLock(q, 1000);
        unlockResult = q->streamMsgUnlock(q);
    }));
    other.join();
    EXPECT_EQ(lockResult, 0);
    EXPECT_NE(unlockResult, 0);
}

} // namespace
