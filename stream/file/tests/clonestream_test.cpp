// Cloned streams: the snapshot a reader's clone holds, reading it again
// through clone readers, and clones that outlive their source.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/displayimpl.h"
#include "core/tests/memstream.h"
#include "core/streamimpl.h"

namespace
{

// The memory stream's scans hold their own index as a 64-bit integer.
double evalIndex(TQStreamChannel *, const void *scan)
{
    int64_t v;
    memcpy(&v, scan, sizeof v);
    return static_cast<double>(v);
}

struct Source {
    memstream::Owner owner;
    explicit Source(int64_t written, std::vector<std::string> names = {"ch1", "ch2"})
    {
        memstream::make(owner, "src", 1000.0, std::move(names), 1024);
        for (TQStreamChannel &ch : owner.channels) {
            ch.streamChannelEval = evalIndex;
            snprintf(ch.eu, sizeof ch.eu, "volts");
        }
        owner.write(written);
    }
    TQStream *stream() const { return owner.stream; }
};

int64_t peekIndex(TQReader *r, int64_t *count = nullptr)
{
    int64_t at = -1;
    r->readerPeek(r, count, &at);
    return at;
}

int64_t valueAt(TQReader *r)
{
    int64_t count = 0;
    void *p = r->readerPeek(r, &count, nullptr);
    if (!p || count <= 0)
        return -1;
    int64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

void closeReader(TQReader *r)
{
    r->readerUnlink(r);
    r->readerRelease(&r);
}

// A clone of 50 scans taken through a source reader at absolute scan 100.
struct Clone50 : ::testing::Test {
    Source src{300};
    TQReader *source = nullptr;
    TQStream *clone = nullptr;
    TQReader *r = nullptr;

    void SetUp() override
    {
        TQStream *s = src.stream();
        source = s->streamNewReader(s, 100, TQ_WHENCE_OLDEST);
        ASSERT_NE(source, nullptr);
        clone = source->readerCloneStream(source, 50);
        ASSERT_NE(clone, nullptr);
        r = clone->streamNewReader(clone, 0, TQ_WHENCE_OLDEST);
        ASSERT_NE(r, nullptr);
    }
    void TearDown() override
    {
        if (r)
            closeReader(r);
        if (clone)
            clone->streamRelease(&clone);
        if (source)
            closeReader(source);
        src.stream()->streamRelease(&src.owner.stream);
    }
};

TEST_F(Clone50, HoldsTheReservedScansAndLeavesTheSourceReaderWhereItWas)
{
    EXPECT_EQ(clone->streamGetScansWritten(clone), 50);
    EXPECT_EQ(peekIndex(r), 100);
    EXPECT_EQ(valueAt(r), 100);
    EXPECT_EQ(peekIndex(source), 100);
    EXPECT_EQ(source->readerAvail(source), 200);
    EXPECT_STREQ(clone->streamGetName(clone), "src");
    EXPECT_EQ(clone->streamGetRate(clone), 1000.0);
    EXPECT_EQ(clone->streamGetScanSize(clone), 8);
    EXPECT_EQ(clone->streamGetStartTime(clone), 0);
    // Channels are the source's own records.
    EXPECT_EQ(clone->streamGetNumberChannels(clone), 2);
    EXPECT_EQ(clone->numberChannels, 0);
    EXPECT_EQ(clone->streamGetChannel(clone, "ch2"), &src.owner.channels[1]);
    EXPECT_EQ(clone->streamGetChannelByIndex(clone, 0), &src.owner.channels[0]);

    // Every copied scan reads back in order, whatever the source does next.
    src.owner.write(2000); // the source's ring moves on and wraps
    std::vector<int64_t> out(60, -1);
    EXPECT_EQ(r->readerRead(r, out.data(), 60), 50);
    for (int64_t i = 0; i < 50; ++i)
        EXPECT_EQ(out[static_cast<size_t>(i)], 100 + i);
    EXPECT_EQ(r->readerAvail(r), 0);
}

TEST_F(Clone50, SeeksByAbsoluteIndexClampedToTheCopy)
{
    struct Case {
        int64_t from; // position (0..49) before the seek
        int64_t offset;
        int32_t whence;
        int64_t result;
        int64_t at; // absolute index after the seek
    };
    const Case cases[] = {
        {0, 120, TQ_WHENCE_OLDEST, 120, 120},
        {0, 500, TQ_WHENCE_OLDEST, -351, 149},
        {30, 10, TQ_WHENCE_OLDEST, -30, 100}, // before the copy: to its start
        {0, 149, TQ_WHENCE_OLDEST, 149, 149},
        {0, 150, TQ_WHENCE_OLDEST, -1, 149}, // one past the end: the newest
        {10, 5, TQ_WHENCE_CURRENT, 5, 115},
        {10, -20, TQ_WHENCE_CURRENT, -10, 100},
        {0, -10, TQ_WHENCE_NEWEST, -10, 140},
        {0, 0, TQ_WHENCE_NEWEST, -1, 149},
        {20, -1000, TQ_WHENCE_OLDEST, 0, 120}, // below index 0: no move
        {20, 5, 7, 0, 120},                    // unknown whence: no move
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "from " << c.from << " offset " << c.offset << " whence " << c.whence);
        r->readerSeek(r, 100 + c.from, TQ_WHENCE_OLDEST);
        ASSERT_EQ(peekIndex(r), 100 + c.from);
        EXPECT_EQ(r->readerSeek(r, c.offset, c.whence), c.result);
        int64_t count = 0;
        EXPECT_EQ(peekIndex(r, &count), c.at);
        EXPECT_EQ(count, 150 - c.at);
        EXPECT_EQ(valueAt(r), c.at);
        EXPECT_EQ(r->readerAvail(r), 150 - c.at);
    }
}

TEST_F(Clone50, OneReservationAtATimeAndCompletionBoundedByIt)
{
    TQPiece *pieces = nullptr;
    uint32_t count = 9;
    ASSERT_EQ(r->readerReserveRead(r, &pieces, &count, 10), 10);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(pieces[0].length, 80u);
    int64_t first;
    memcpy(&first, pieces[0].data, sizeof first);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(pieces[1].data, nullptr);

    TQPiece *again = nullptr;
    EXPECT_EQ(r->readerReserveRead(r, &again, &count, 5), 0);
    EXPECT_EQ(count, 0u);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again[0].data, nullptr);

    EXPECT_EQ(r->readerCompleteRead(r, 25), 10); // only what was reserved
    EXPECT_EQ(peekIndex(r), 110);
    EXPECT_EQ(r->readerCompleteRead(r, 5), 0); // nothing open any more

    ASSERT_EQ(r->readerReserveRead(r, &pieces, nullptr, 100), 40); // limited to the copy
    EXPECT_EQ(r->readerCompleteRead(r, -5), 0);                    // a negative count never moves back
    EXPECT_EQ(peekIndex(r), 110);
}

TEST(CloneStream, CountZeroCopiesEverythingTheReaderCanReserve)
{
    Source src(300);
    TQStream *s = src.stream();
    TQReader *source = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    TQStream *clone = source->readerCloneStream(source, 0);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->streamGetScansWritten(clone), 300);
    TQReader *r = clone->streamNewReader(clone, 0, TQ_WHENCE_NEWEST);
    EXPECT_EQ(peekIndex(r), 299);
    EXPECT_EQ(valueAt(r), 299);
    closeReader(r);
    clone->streamRelease(&clone);
    EXPECT_EQ(clone, nullptr);
    closeReader(source);
    s->streamRelease(&src.owner.stream);
}

TEST(CloneStream, ASourceReaderThatReservesNothingGivesAnEmptyClone)
{
    struct Case {
        int64_t written;
        int64_t failReserve;
    };
    for (const Case c : {Case{0, 0}, Case{100, -6}}) {
        SCOPED_TRACE(c.failReserve);
        Source src(c.written);
        TQStream *s = src.stream();
        TQReader *source = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
        src.owner.failReserve = c.failReserve;
        TQStream *clone = source->readerCloneStream(source, 10);
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(clone->streamGetScansWritten(clone), 0);
        TQReader *r = clone->streamNewReader(clone, 0, TQ_WHENCE_OLDEST);
        ASSERT_NE(r, nullptr);
        TQPiece *pieces = nullptr;
        EXPECT_EQ(r->readerReserveRead(r, &pieces, nullptr, 5), 0);
        EXPECT_EQ(r->readerAvail(r), 0);
        int64_t count = -1;
        EXPECT_EQ(r->readerPeek(r, &count, nullptr), nullptr);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(source->readerAvail(source), c.written);
        closeReader(r);
        clone->streamRelease(&clone);
        closeReader(source);
        s->streamRelease(&src.owner.stream);
    }
}

TEST(CloneStream, KeepsItsSourceAliveUntilItGoes)
{
    Source src(10);
    TQStream *s = src.stream();
    TQReader *source = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    TQStream *clone = source->readerCloneStream(source, 0);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(s->refCount, 2);
    closeReader(source);
    TQStream *holder = s;
    s->streamRelease(&holder); // the owner's reference
    EXPECT_EQ(holder, s);      // still alive: the clone holds it
    EXPECT_EQ(clone->streamGetNumberChannels(clone), 2);
    clone->streamRelease(&clone); // and now both go (ASan sees any leak)
    EXPECT_EQ(clone, nullptr);
}

// A stream whose release does nothing and that its owner destroys, as a
// driver's stream is when its session closes.
TEST(CloneStream, OutlivesADestroyedSourceAndAnswersNoChannels)
{
    Source src(200);
    TQStream *s = src.stream();
    s->streamRelease = [](TQStream **) -> int32_t { return 0; };
    TQReader *source = s->streamNewReader(s, 20, TQ_WHENCE_OLDEST);
    TQStream *clone = source->readerCloneStream(source, 30);
    ASSERT_NE(clone, nullptr);
    TQReader *cr = clone->streamNewReader(clone, 0, TQ_WHENCE_OLDEST);
    TQStream *second = cr->readerCloneStream(cr, 0); // a clone of the clone
    ASSERT_NE(second, nullptr);
    // Graph objects of both clones bind the source's channel records.
    clone->streamVerifyDisplayWindows(clone);
    second->streamVerifyDisplayWindows(second);
    TQGraphObject *g1 = tq::stream::defaultGraphObject(clone);
    TQGraphObject *g2 = tq::stream::defaultGraphObject(second);
    auto boundChannel = [](TQGraphObject *g) {
        auto *axis = static_cast<TQAxisInfo *>(g->activeAxes.first);
        auto *entry = axis ? static_cast<TQChannelEnable *>(axis->activeChannels.first) : nullptr;
        return entry ? entry->channel : nullptr;
    };
    ASSERT_EQ(boundChannel(g1), &src.owner.channels[0]);
    ASSERT_EQ(boundChannel(g2), &src.owner.channels[0]);

    closeReader(source);
    destroyStream(s);
    src.owner.channels.clear(); // the session's records go with it
    src.owner.channels.shrink_to_fit();

    for (TQStream *c : {clone, second}) {
        EXPECT_EQ(c->streamGetNumberChannels(c), 0);
        EXPECT_EQ(c->streamGetChannel(c, "ch1"), nullptr);
        EXPECT_EQ(c->streamGetChannelByIndex(c, 0), nullptr);
        EXPECT_EQ(c->streamGetScansWritten(c), 30);
    }
    EXPECT_EQ(boundChannel(g1), nullptr);
    EXPECT_EQ(boundChannel(g2), nullptr);
    // The copy stays readable.
    EXPECT_EQ(peekIndex(cr), 20);
    EXPECT_EQ(valueAt(cr), 20);
    TQReader *r2 = second->streamNewReader(second, 0, TQ_WHENCE_NEWEST);
    EXPECT_EQ(valueAt(r2), 49);
    closeReader(r2);

    closeReader(cr);
    // The second clone holds the first: both go with the last release.
    TQStream *holder = clone;
    clone->streamRelease(&holder);
    EXPECT_EQ(holder, clone);
    second->streamRelease(&second);
    EXPECT_EQ(second, nullptr);
}

TEST(CloneStream, AReaderHeldPastItsCloneAnswersNothing)
{
    Source src(40);
    TQStream *s = src.stream();
    TQReader *source = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    TQStream *clone = source->readerCloneStream(source, 0);
    TQReader *r = clone->streamNewReader(clone, 5, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(valueAt(r), 5);
    clone->streamRelease(&clone);
    ASSERT_EQ(clone, nullptr);
    EXPECT_EQ(r->readerGetStream(r), nullptr);
    EXPECT_EQ(r->readerAvail(r), 0);
    EXPECT_EQ(r->readerPeek(r, nullptr, nullptr), nullptr);
    TQPiece *pieces = nullptr;
    EXPECT_EQ(r->readerReserveRead(r, &pieces, nullptr, 3), 0);
    EXPECT_EQ(r->readerSeek(r, 10, TQ_WHENCE_OLDEST), 0);
    EXPECT_EQ(r->readerCloneStream(r, 0), nullptr); // no stream behind it
    r->readerRelease(&r);
    EXPECT_EQ(r, nullptr);
    closeReader(source);
    s->streamRelease(&src.owner.stream);
}

} // namespace
