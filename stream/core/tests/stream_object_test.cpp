// Stream records: construction, settings, reference counts, listeners, the
// data lock, and the common reader record.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <string>
#include <vector>

#include "memstream.h"
#include "core/streamimpl.h"
#include "tq/platform/thread.h"

namespace {

struct StreamDeleter {
    void operator()(TQStream *s) const { destroyStream(s); }
};
using StreamPtr = std::unique_ptr<TQStream, StreamDeleter>;

StreamPtr makeStream(const char *name = "s", double rate = 100.0, void *owner = nullptr)
{
    return StreamPtr(newStream(name, rate, owner));
}

} // namespace

TEST(Stream, NewStreamState)
{
    int owner = 0;
    StreamPtr s = makeStream(nullptr, 250.0, &owner);
    ASSERT_TRUE(s);
    TQStream *p = s.get();
    EXPECT_STREQ(p->streamGetName(p), "");
    EXPECT_EQ(p->refCount, 1);
    EXPECT_EQ(*streamRefCountAddress(p), 1);
    EXPECT_EQ(p->streamGetDecimation(p), 1);
    EXPECT_EQ(isCapturing(p), 0);
    EXPECT_EQ(p->captureData, -1);
    EXPECT_EQ(p->capturePoll, -1);
    EXPECT_EQ(p->captureEvent, -1);
    EXPECT_EQ(p->streamGetNumberChannels(p), 0);
    EXPECT_EQ(p->streamGetScanSize(p), 0);
    EXPECT_EQ(p->streamGetRate(p), 250.0);
    EXPECT_EQ(p->streamGetOwner(p), &owner);
    EXPECT_EQ(p->streamGetStartTime(p), 0);
    EXPECT_EQ(p->streamGetBigFile(p), 0);
    EXPECT_EQ(p->streamGetWriteHeaderFirst(p), 0);
    EXPECT_EQ(firstReader(p), nullptr);
    // One default window holding the default graph object.
    EXPECT_EQ(p->streamGetNumberDisplayWindows(p), 1);
    ASSERT_NE(p->displayWindows.first, nullptr);
    EXPECT_NE(p->defaultGraphObject, nullptr);
}

TEST(Stream, NamesAreCutTo63Characters)
{
    std::string longName(100, 'n');
    for (int i = 0; i < 100; ++i)
        longName[i] = static_cast<char>('a' + i % 26);
    StreamPtr s = makeStream(longName.c_str());
    EXPECT_EQ(std::string(s->streamGetName(s.get())), longName.substr(0, 63));
    EXPECT_EQ(s->streamSetName(s.get(), "run"), 0);
    EXPECT_STREQ(s->streamGetName(s.get()), "run");
    EXPECT_EQ(s->streamSetName(s.get(), longName.c_str()), 0);
    EXPECT_EQ(strlen(s->streamGetName(s.get())), 63u);
    // The name field itself is writable (drivers copy resource names into it).
    strcpy(s->streamGetName(s.get()), "PXI1::3::INSTR");
    EXPECT_STREQ(s->name, "PXI1::3::INSTR");
}

TEST(Stream, SettersStoreAndGettersRead)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    EXPECT_EQ(setNumberChannels(p, 5), 5);
    EXPECT_EQ(setScanSize(p, 12), 12);
    EXPECT_EQ(setNumberOutputChannels(p, 3), 3);
    EXPECT_EQ(setOutputScanSize(p, 6), 6);
    EXPECT_EQ(p->streamGetNumberChannels(p), 5);
    EXPECT_EQ(p->streamGetScanSize(p), 12);
    EXPECT_EQ(p->streamGetNumberOutputChannels(p), 3);
    EXPECT_EQ(p->streamGetOutputScanSize(p), 6);
    EXPECT_EQ(p->streamSetRate(p, 12.5), 0);
    EXPECT_EQ(p->streamGetRate(p), 12.5);
    EXPECT_EQ(p->streamSetOutputRate(p, 50.0), 0);
    EXPECT_EQ(p->streamGetOutputRate(p), 50.0);
    EXPECT_EQ(p->streamSetOutputRecycleRate(p, 2.0), 0);
    EXPECT_EQ(p->streamGetOutputRecycleRate(p), 2.0);
    EXPECT_EQ(p->streamSetOutputEnable(p, 1), 0);
    EXPECT_EQ(p->streamGetOutputEnable(p), 1);
    EXPECT_EQ(p->streamSetDecimation(p, 7), 7);
    EXPECT_EQ(p->streamGetDecimation(p), 7);
    EXPECT_EQ(p->streamSetBigFile(p, 1), 1);
    EXPECT_EQ(p->streamGetBigFile(p), 1);
    EXPECT_EQ(p->streamSetWriteHeaderFirst(p, 1), 1);
    EXPECT_EQ(p->streamGetWriteHeaderFirst(p), 1);
}

TEST(Stream, OperationsWithoutAnOwnerAnswerNothing)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    int64_t granted = 99;
    TQPiece dummy{};
    TQPiece *pieces = &dummy;
    EXPECT_EQ(p->streamReserveWrite(p, 10, &granted, &pieces), 0);
    EXPECT_EQ(granted, 0);
    EXPECT_EQ(pieces, nullptr);
    EXPECT_EQ(p->streamCompleteWrite(p, 10), 0);
    EXPECT_EQ(p->streamGetScansWritten(p), 0);
    EXPECT_EQ(p->streamGetChannel(p, "x"), nullptr);
    EXPECT_EQ(p->streamGetChannelByIndex(p, 0), nullptr);
    EXPECT_EQ(p->streamGetOutputChannel(p, "x"), nullptr);
    EXPECT_EQ(p->streamGetOutputChannelByIndex(p, 0), nullptr);
    EXPECT_EQ(p->streamNewReader(p, 0, 0), nullptr);
    EXPECT_EQ(p->streamCaptureOpen(p, "a.stm", 1), TQS_ERR_NOTSUPPORTED);
    EXPECT_EQ(p->streamCaptureClose(p), TQS_ERR_NOTSUPPORTED);
    EXPECT_EQ(p->streamUnused(p), TQS_ERR_NOTSUPPORTED);
}

TEST(Stream, RenderingAndXmlOfAStreamWithoutChannels)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    char buffer[64];
    uint32_t count = 5;
    void *image = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(p->streamListAxes(p, buffer, sizeof buffer, &count), 0);
    EXPECT_STREQ(buffer, "<?xml version=\"1.0\"?><axes></axes>");
    EXPECT_EQ(count, strlen(buffer));
    // A background image: nothing to draw, but an image all the same.
    EXPECT_EQ(p->streamGetGraph(p, 100, 100, 1, 0, 1, &image, &size), 0);
    ASSERT_NE(image, nullptr);
    EXPECT_GT(size, 8u);
    EXPECT_EQ(memcmp(image, "\x89PNG", 4), 0);
    EXPECT_EQ(p->graphObjectFreeGraph(nullptr, image), 0);
    EXPECT_EQ(p->streamReadXML(p, "/nonexistent"), -12);
}

TEST(Stream, ReleaseDestroysAtZeroAndClearsTheHolder)
{
    TQStream *s = newStream("r", 1.0, nullptr);
    ASSERT_TRUE(s);
    TQStream *holder = s;
    EXPECT_EQ(s->streamAddRef(s), 0);
    EXPECT_EQ(s->refCount, 2);
    EXPECT_EQ(s->streamRelease(&holder), 0);
    EXPECT_EQ(holder, s); // count 2 -> 1: alive, pointer kept
    EXPECT_EQ(s->refCount, 1);
    // The internal hooks go through the record's own fields.
    EXPECT_EQ(s->internalAddRef(s), 0);
    EXPECT_EQ(s->refCount, 2);
    EXPECT_EQ(s->internalRelease(&holder), 0);
    EXPECT_EQ(holder, s);
    EXPECT_EQ(s->streamRelease(&holder), 0);
    EXPECT_EQ(holder, nullptr); // destroyed (the sanitizer build sees any leak)
}

TEST(Stream, ADriverReleaseLeavesTheStreamToItsOwner)
{
    TQStream *s = newStream("", 100.0, nullptr);
    ASSERT_TRUE(s);
    s->streamRelease = [](TQStream **) -> int32_t { return 0; };
    TQStream *holder = s;
    s->internalAddRef(s);
    EXPECT_EQ(s->internalRelease(&holder), 0);
    EXPECT_EQ(s->streamRelease(&holder), 0);
    EXPECT_EQ(holder, s);
    destroyStream(s); // whatever the count
}

// ---- listeners -------------------------------------------------------------

namespace {

struct Call {
    void *context;
    intptr_t a, b, c;
};
std::vector<Call> g_calls;

void recordListener(TQStream *, intptr_t a, intptr_t b, intptr_t c, void *context)
{
    g_calls.push_back({context, a, b, c});
}

void otherListener(TQStream *, intptr_t, intptr_t, intptr_t, void *context) { g_calls.push_back({context, -1, -1, -1}); }

int listLength(const TQListHead &head)
{
    int n = 0;
    for (auto *node = static_cast<TQStreamListener *>(head.first); node;
         node = static_cast<TQStreamListener *>(node->link.next))
        ++n;
    return n;
}

} // namespace

TEST(StreamListeners, AddRemoveAndNotifyTable)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    int c1 = 1, c2 = 2;
    enum Op { Add, Remove, Add2, Remove2 };
    struct Step {
        Op op;
        TQStreamListenerFn fn;
        void *context;
        int32_t result;
        int length;  // first list afterwards
        int length2; // second list afterwards
    } steps[] = {
        {Add, recordListener, &c1, 0, 1, 0},
        {Add, recordListener, &c1, 0, 1, 0},  // same pair: nothing added
        {Add, recordListener, &c2, 0, 2, 0},  // another context
        {Add, otherListener, &c1, 0, 3, 0},   // another function
        {Add2, recordListener, &c1, 0, 3, 1}, // the second list is separate
        {Remove, recordListener, &c1, 0, 2, 1},
        {Remove, recordListener, &c1, TQS_ERR_NO_LISTENER, 2, 1},
        {Remove, otherListener, &c2, TQS_ERR_NO_LISTENER, 2, 1},
        {Remove2, recordListener, &c2, TQS_ERR_NO_LISTENER, 2, 1},
        {Remove2, recordListener, &c1, 0, 2, 0},
        {Remove2, recordListener, &c1, TQS_ERR_NO_LISTENER, 2, 0},
    };
    int i = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(i++);
        int32_t r = step.op == Add       ? p->streamAddListener(p, step.fn, step.context)
                    : step.op == Remove  ? p->streamRemoveListener(p, step.fn, step.context)
                    : step.op == Add2    ? p->streamAddListener2(p, step.fn, step.context)
                                         : p->streamRemoveListener2(p, step.fn, step.context);
        EXPECT_EQ(r, step.result);
        EXPECT_EQ(listLength(p->listeners), step.length);
        EXPECT_EQ(listLength(p->listeners2), step.length2);
    }
    // Nodes in the list are held once, by the list, and know their stream.
    for (auto *node = static_cast<TQStreamListener *>(p->listeners.first); node;
         node = static_cast<TQStreamListener *>(node->link.next)) {
        EXPECT_EQ(node->refCount, 1);
        EXPECT_EQ(node->link.owner, p);
    }
    g_calls.clear();
    p->notifyListeners(p, 10, 20, 30);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].context, &c2); // list order: (record, c2), then (other, c1)
    EXPECT_EQ(g_calls[0].a, 10);
    EXPECT_EQ(g_calls[0].b, 20);
    EXPECT_EQ(g_calls[0].c, 30);
    EXPECT_EQ(g_calls[1].context, &c1);
    EXPECT_EQ(g_calls[1].a, -1);
    // Destroying the stream releases the remaining nodes (leak-checked).
}

// The stream's notify walk and the buffer's write listeners share one walk:
// every listener still linked when its turn comes is called once, in list
// order, whatever the listeners before it remove or add.
namespace {

class WalkTarget {
public:
    virtual ~WalkTarget() = default;
    virtual void add(int id) = 0;
    virtual void remove(int id) = 0;
    virtual void notify() = 0;
};

int g_ids[6] = {0, 1, 2, 3, 4, 5};
struct WalkScript {
    WalkTarget *target = nullptr;
    int actor = 0;            // the listener that changes the list on its first call
    std::vector<int> removes; // what it removes then
    bool addsFive = false;    // and whether it appends listener 5
    bool acted = false;
    std::vector<int> calls;
} g_walk;

void walkListenerCalled(void *context)
{
    const int id = *static_cast<int *>(context);
    g_walk.calls.push_back(id);
    if (id != g_walk.actor || g_walk.acted)
        return;
    g_walk.acted = true;
    for (int r : g_walk.removes)
        g_walk.target->remove(r);
    if (g_walk.addsFive)
        g_walk.target->add(5);
}

void streamWalkListener(TQStream *, intptr_t, intptr_t, intptr_t, void *context) { walkListenerCalled(context); }
void bufferWalkListener(void *, int64_t, void *context) { walkListenerCalled(context); }
void collectionWalkListener(TQStreamCollection *, int64_t, void *context) { walkListenerCalled(context); }

class StreamWalk : public WalkTarget {
public:
    void add(int id) override { ASSERT_EQ(p_->streamAddListener(p_, streamWalkListener, &g_ids[id]), 0); }
    void remove(int id) override { p_->streamRemoveListener(p_, streamWalkListener, &g_ids[id]); }
    void notify() override { p_->notifyListeners(p_, 1, 2, 3); }

private:
    StreamPtr s_ = makeStream();
    TQStream *p_ = s_.get();
};

class BufferWalk : public WalkTarget {
public:
    ~BufferWalk() override { buffer_->bufferRelease(&buffer_); }
    void add(int id) override { ASSERT_NE(buffer_->bufferAddListener(buffer_, bufferWalkListener, &g_ids[id]), nullptr); }
    void remove(int id) override { buffer_->bufferRemoveListener(buffer_, bufferWalkListener, &g_ids[id]); }
    void notify() override
    {
        const char byte = 'x';
        ASSERT_EQ(buffer_->bufferWrite(buffer_, &byte, 1), 1);
    }

private:
    TQBuffer *buffer_ = TQCreateBuffer(256, 2560, 3840);
};

// A collection hears its member streams' notifications and walks its own
// listeners when every member has data.
class CollectionWalk : public WalkTarget {
public:
    CollectionWalk()
    {
        memstream::make(member_, "member", 1000.0, {"ch"}, 1 << 10);
        EXPECT_EQ(c_->StreamCollectionRegisterStream(c_, member_.stream), 0);
        member_.write(10);
    }
    ~CollectionWalk() override
    {
        c_->StreamCollectionDelRef(&c_);
        member_.stream->streamRelease(&member_.stream);
    }
    void add(int id) override
    {
        ASSERT_EQ(c_->StreamCollectionAddListener(c_, collectionWalkListener, &g_ids[id]), 0);
    }
    void remove(int id) override { c_->StreamCollectionRemoveListener(c_, collectionWalkListener, &g_ids[id]); }
    void notify() override { member_.stream->notifyListeners(member_.stream, 0, 0, 0); }

private:
    int engine_ = 0; // a non-null owner: member streams notify the collection
    TQStreamCollection *c_ = NewStreamCollection(&engine_);
    memstream::Owner member_;
};

} // namespace

TEST(ListenerWalk, EveryListenerStillLinkedIsCalledOnceInOrder)
{
    struct Case {
        const char *what;
        int actor;
        std::vector<int> removes;
        bool addsFive;
        std::vector<int> first;  // calls of the walk in which the list changes
        std::vector<int> second; // calls of the next walk
    } cases[] = {
        {"removes the next one", 1, {2}, false, {1, 3, 4}, {1, 3, 4}},
        {"removes a later one", 1, {3}, false, {1, 2, 4}, {1, 2, 4}},
        {"removes the last one", 3, {4}, false, {1, 2, 3}, {1, 2, 3}},
        {"removes itself", 2, {2}, false, {1, 2, 3, 4}, {1, 3, 4}},
        {"removes itself and the next", 2, {2, 3}, false, {1, 2, 4}, {1, 4}},
        {"removes the next and itself", 2, {3, 2}, false, {1, 2, 4}, {1, 4}},
        {"removes an earlier one", 3, {1}, false, {1, 2, 3, 4}, {2, 3, 4}},
        {"removes every other one", 1, {2, 3, 4}, false, {1}, {1}},
        {"removes everyone", 2, {1, 2, 3, 4}, false, {1, 2}, {}},
        {"appends one", 2, {}, true, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
        {"removes itself and appends", 4, {4}, true, {1, 2, 3, 4, 5}, {1, 2, 3, 5}},
        {"removes the rest and appends", 2, {2, 3, 4}, true, {1, 2, 5}, {1, 5}},
    };
    for (const char *list : {"stream", "buffer", "collection"}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(list) + ": " + c.what);
            std::unique_ptr<WalkTarget> target;
            if (list[0] == 's')
                target = std::make_unique<StreamWalk>();
            else if (list[0] == 'b')
                target = std::make_unique<BufferWalk>();
            else
                target = std::make_unique<CollectionWalk>();
            g_walk = WalkScript{target.get(), c.actor, c.removes, c.addsFive, false, {}};
            for (int id = 1; id <= 4; ++id)
                target->add(id);
            target->notify();
            EXPECT_EQ(g_walk.calls, c.first);
            g_walk.calls.clear();
            target->notify();
            EXPECT_EQ(g_walk.calls, c.second);
            // Tearing down frees what is left (leak-checked under ASan).
        }
    }
}

TEST(ListenerWalk, NodesOfBothListsReleaseByOneRule)
{
    // A release that leaves the node alive leaves the holder's pointer; the
    // one that frees it clears the pointer.
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    ASSERT_EQ(p->streamAddListener(p, streamWalkListener, &g_ids[1]), 0);
    auto *streamNode = static_cast<TQStreamListener *>(p->listeners.first);
    TQBuffer *buffer = TQCreateBuffer(256, 2560, 3840);
    ASSERT_NE(buffer, nullptr);
    TQBufferListener *bufferNode = buffer->bufferAddListener(buffer, bufferWalkListener, &g_ids[1]);
    ASSERT_NE(bufferNode, nullptr);
    EXPECT_EQ(streamNode->refCount, 1);
    EXPECT_EQ(bufferNode->refCount, 1);

    EXPECT_EQ(streamNode->addRef(streamNode), 0);
    EXPECT_EQ(bufferNode->listenerAddRef(bufferNode), 0);
    TQStreamListener *streamHolder = streamNode;
    TQBufferListener *bufferHolder = bufferNode;
    EXPECT_EQ(streamNode->release(&streamHolder), 0);
    EXPECT_EQ(bufferNode->listenerRelease(&bufferHolder), 0);
    EXPECT_EQ(streamHolder, streamNode) << "the list still holds it";
    EXPECT_EQ(bufferHolder, bufferNode) << "the list still holds it";

    // The holder that keeps the last reference: its pointer goes with the node.
    EXPECT_EQ(streamNode->addRef(streamNode), 0);
    EXPECT_EQ(bufferNode->listenerAddRef(bufferNode), 0);
    EXPECT_EQ(p->streamRemoveListener(p, streamWalkListener, &g_ids[1]), 0);
    EXPECT_EQ(buffer->bufferRemoveListener(buffer, bufferWalkListener, &g_ids[1]), 0);
    EXPECT_EQ(streamNode->refCount, 1);
    EXPECT_EQ(bufferNode->refCount, 1);
    EXPECT_EQ(streamNode->release(&streamHolder), 0);
    EXPECT_EQ(bufferHolder->listenerRelease(&bufferHolder), 0);
    EXPECT_EQ(streamHolder, nullptr);
    EXPECT_EQ(bufferHolder, nullptr);
    buffer->bufferRelease(&buffer);
    EXPECT_EQ(buffer, nullptr);
}

// ---- the data lock -----------------------------------------------------------

TEST(StreamLock, SerialisesThreads)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    constexpr int kThreads = 4, kRounds = 2000;
    long counter = 0; // deliberately not atomic: the lock must protect it
    std::atomic<int> failures{0};
    std::vector<std::unique_ptr<tq::platform::Thread>> threads;
    std::latch start(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::make_unique<tq::platform::Thread>());
        threads.back()->start([&] {
            start.arrive_and_wait();
            for (int i = 0; i < kRounds; ++i) {
                if (p->streamLock(p, 10000) != 0) {
                    ++failures;
                    continue;
                }
                long v = counter;
                counter = v + 1;
                if (p->streamUnlock(p) == 0)
                    ++failures;
            }
        });
    }
    for (auto &t : threads)
        t->join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(counter, long{kThreads} * kRounds);
}

TEST(StreamLock, TimeOutForeignUnlockAndRecursion)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    ASSERT_EQ(p->streamLock(p, 100), 0);
    ASSERT_EQ(p->streamLock(p, 100), 0); // the owner may take it again
    int32_t other = 1, foreignUnlock = 1;
    tq::platform::Thread t;
    t.start([&] {
        other = p->streamLock(p, 30);
        foreignUnlock = p->streamUnlock(p);
    });
    t.join();
    EXPECT_EQ(other, TQS_ERR_LOCK_TIMEOUT);
    EXPECT_EQ(foreignUnlock, 0); // a thread that does not hold it releases nothing
    EXPECT_NE(p->streamUnlock(p), 0);
    EXPECT_NE(p->streamUnlock(p), 0);
    EXPECT_EQ(p->streamUnlock(p), 0); // no longer held
    t.start([&] {
        other = p->streamLock(p, 30);
        p->streamUnlock(p);
    });
    t.join();
    EXPECT_EQ(other, 0);
}

// ---- readers ---------------------------------------------------------------

namespace {

// A minimal owner: its reservation hands out a fixed piece list.
struct FakeOwner {
    std::vector<TQPiece> pieces;
    int64_t reserveResult = 0;
    int64_t completed = -1;
    int reserves = 0;
};

TQReader *fakeReader(TQStream *stream, FakeOwner *owner)
{
    TQReader *r = newReaderBase(stream, 0, TQ_WHENCE_OLDEST, owner);
    if (!r)
        return nullptr;
    r->readerReserveRead = [](TQReader *reader, TQPiece **pieces, uint32_t *count, int64_t) -> int64_t {
        auto *o = static_cast<FakeOwner *>(reader->readerGetContext(reader));
        ++o->reserves;
        *pieces = o->pieces.empty() ? nullptr : o->pieces.data();
        if (count)
            *count = static_cast<uint32_t>(o->pieces.size());
        return o->reserveResult;
    };
    r->readerCompleteRead = [](TQReader *reader, int64_t n) -> int64_t {
        static_cast<FakeOwner *>(reader->readerGetContext(reader))->completed = n;
        return n;
    };
    return r;
}

} // namespace

TEST(Readers, LinkedInCreationOrderWithTwoReferences)
{
    StreamPtr s = makeStream();
    TQStream *p = s.get();
    int ctx[3];
    TQReader *r[3];
    for (int i = 0; i < 3; ++i) {
        r[i] = newReaderBase(p, 0, TQ_WHENCE_NEWEST, &ctx[i]);
        ASSERT_TRUE(r[i]);
        EXPECT_EQ(r[i]->refCount, 2);
        EXPECT_EQ(*readerRefCountAddress(r[i]), 2);
        EXPECT_EQ(p->readers.last, r[i]); // appended last
        EXPECT_EQ(r[i]->readerGetStream(r[i]), p);
        EXPECT_EQ(r[i]->readerGetContext(r[i]), &ctx[i]);
    }
    EXPECT_EQ(firstReader(p), r[0]);
    EXPECT_EQ(nextReader(r[0]), r[1]);
    EXPECT_EQ(nextReader(r[1]), r[2]);
    EXPECT_EQ(nextReader(r[2]), nullptr);

    // Unlinking the middle one keeps the list whole; a second unlink does nothing.
    EXPECT_EQ(r[1]->readerUnlink(r[1]), 0);
    EXPECT_EQ(r[1]->refCount, 1);
    EXPECT_EQ(r[1]->readerGetStream(r[1]), nullptr);
    EXPECT_EQ(r[1]->readerUnlink(r[1]), 0);
    EXPECT_EQ(r[1]->refCount, 1);
    EXPECT_EQ(nextReader(r[0]), r[2]);
    // Unlinking the last one moves the tail: a new reader lands after r[0].
    EXPECT_EQ(r[2]->readerUnlink(r[2]), 0);
    TQReader *r3 = newReaderBase(p, 0, 0, nullptr);
    EXPECT_EQ(nextReader(r[0]), r3);
    EXPECT_EQ(p->readers.last, r3);

    for (TQReader *x : {r[1], r[2]}) {
        TQReader *holder = x;
        EXPECT_EQ(x->readerRelease(&holder), 0);
        EXPECT_EQ(holder, nullptr);
    }
    // The stream's destruction drops the list's references; ours remain.
    s.reset();
    for (TQReader *x : {r[0], r3}) {
        EXPECT_EQ(x->readerGetStream(x), nullptr);
        EXPECT_EQ(StreamCommonReaderGetScanSize(x), 0);
        EXPECT_EQ(x->refCount, 1);
        TQReader *holder = x;
        x->readerRelease(&holder);
        EXPECT_EQ(holder, nullptr);
    }
}

TEST(Readers, ScanSizeComesFromTheStream)
{
    StreamPtr s = makeStream();
    setScanSize(s.get(), 24);
    TQReader *r = newReaderBase(s.get(), 0, 0, nullptr);
    EXPECT_EQ(StreamCommonReaderGetScanSize(r), 24);
    r->readerUnlink(r);
    r->readerRelease(&r);
    EXPECT_EQ(StreamCommonReaderGetScanSize(nullptr), 0);
}

TEST(Readers, ReadCopiesPiecesBackToBack)
{
    StreamPtr s = makeStream();
    FakeOwner owner;
    char first[] = "abcdef", second[] = "XYZ";
    owner.pieces = {{6, first}, {3, second}, {0, nullptr}};
    owner.reserveResult = 3; // three scans of three bytes
    TQReader *r = fakeReader(s.get(), &owner);
    char out[16];
    memset(out, '.', sizeof out);
    EXPECT_EQ(r->readerRead(r, out, 3), 3);
    EXPECT_EQ(std::string(out, 10), "abcdefXYZ.");
    EXPECT_EQ(owner.completed, 3);

    // A negative reservation result passes through; nothing is copied or completed.
    owner.completed = -1;
    owner.reserveResult = -6;
    memset(out, '.', sizeof out);
    EXPECT_EQ(r->readerRead(r, out, 3), -6);
    EXPECT_EQ(out[0], '.');
    EXPECT_EQ(owner.completed, -1);

    // Zero scans: nothing copied, zero completed.
    owner.pieces = {{0, nullptr}};
    owner.reserveResult = 0;
    EXPECT_EQ(r->readerRead(r, out, 0), 0);
    EXPECT_EQ(owner.completed, 0);
    EXPECT_EQ(out[0], '.');

    r->readerUnlink(r);
    r->readerRelease(&r);
}

TEST(Readers, OwnerUnlinkIsUsedWhenTheStreamIsDestroyed)
{
    TQStream *s = newStream("", 1.0, nullptr);
    static int unlinks;
    unlinks = 0;
    TQReader *r = newReaderBase(s, 0, 0, nullptr);
    r->readerUnlink = [](TQReader *reader) -> int32_t {
        ++unlinks;
        return readerUnlink(reader);
    };
    TQReader *held = r; // the owner still holds one reference
    destroyStream(s);
    EXPECT_EQ(unlinks, 1);
    EXPECT_EQ(held->readerGetStream(held), nullptr);
    EXPECT_EQ(held->refCount, 1);
    held->readerRelease(&held);
}

TEST(Readers, DefaultOperationsReportNoData)
{
    StreamPtr s = makeStream();
    TQReader *r = newReaderBase(s.get(), 0, 0, nullptr);
    int64_t count = 5, position = 5;
    EXPECT_EQ(r->readerPeek(r, &count, &position), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(r->readerAvail(r), 0);
    EXPECT_EQ(r->readerSeek(r, 10, 1), 0);
    char out[4];
    EXPECT_EQ(r->readerRead(r, out, 4), 0);
    // A reader that reserves nothing clones to an empty stream.
    TQStream *clone = r->readerCloneStream(r, 4);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->streamGetScansWritten(clone), 0);
    clone->streamRelease(&clone);
    EXPECT_EQ(clone, nullptr);
    r->readerUnlink(r);
    r->readerRelease(&r);
}

TEST(Readers, NoStreamNoList)
{
    TQReader *r = newReaderBase(nullptr, 0, 0, nullptr);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->refCount, 1);
    EXPECT_EQ(r->readerUnlink(r), 0);
    r->readerRelease(&r);
    EXPECT_EQ(r, nullptr);
    StreamCommonFree(nullptr); // ignored
}

// Holds of a stream by value, as threads that do not own the stream take
// them: a destruction on another thread waits for the hold, the holder's own
// destruction goes ahead, and stale or foreign values hold nothing.
TEST(StreamHold, ValuesThatHoldNothing)
{
    StreamPtr s = makeStream();
    const uint32_t value = tqstream_streamValue(s.get());
    EXPECT_EQ(tqstream_holdStream(0), nullptr);
    EXPECT_EQ(tqstream_holdStream(value ^ 0x01000000u), nullptr); // another table's kind
    EXPECT_EQ(tqstream_holdStream(0x1234), nullptr);
    TQStream *gone = newStream("gone", 1.0, nullptr);
    const uint32_t stale = tqstream_streamValue(gone);
    destroyStream(gone);
    EXPECT_EQ(tqstream_holdStream(stale), nullptr);
    TQStream *held = tqstream_holdStream(value);
    EXPECT_EQ(held, s.get());
    EXPECT_EQ(held->refCount, 1); // a hold is not a reference
    tqstream_dropStreamHold(held);
}

// One hold, and more holds than a thread keeps without counting them (the
// later ones counted on the value's slot), taken and dropped through both
// forms: the destruction waits for the last.
TEST(StreamHold, DestructionOnAnotherThreadWaitsForEveryHold)
{
    const struct {
        int holds;
        bool at; // tqstream_holdStreamAt and tqstream_dropHeldAt
    } cases[] = {{1, false}, {6, false}, {1, true}, {6, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.holds << (c.at ? " at" : ""));
        TQStream *s = newStream("held", 1.0, nullptr);
        const uint32_t value = tqstream_streamValue(s);
        std::vector<uint32_t *> where(c.holds, nullptr);
        for (int i = 0; i < c.holds; ++i)
            ASSERT_EQ(c.at ? tqstream_holdStreamAt(value, &where[i]) : tqstream_holdStream(value), s);
        if (c.at) {
            // The first holds are kept uncounted, the rest on the slot.
            EXPECT_NE(where.front(), nullptr);
            if (c.holds > 4) {
                EXPECT_EQ(where.back(), nullptr);
            }
        }
        std::atomic<bool> destroyed{false};
        tq::platform::Thread destroyer;
        destroyer.start([&] {
            destroyStream(s);
            destroyed = true;
        });
        // The value goes at once, the record only after the holds.
        while (tqstream_streamOfValue(value))
            tq::platform::sleepMs(1);
        EXPECT_EQ(tqstream_holdStream(value), nullptr);
        uint32_t *refused = reinterpret_cast<uint32_t *>(1);
        EXPECT_EQ(tqstream_holdStreamAt(value, &refused), nullptr);
        EXPECT_EQ(refused, nullptr);
        for (int i = c.holds - 1; i >= 0; --i) {
            tq::platform::sleepMs(20); // a destruction that did not wait would be done by now
            EXPECT_FALSE(destroyed) << "with " << i + 1 << " holds left";
            EXPECT_STREQ(s->streamGetName(s), "held");
            if (c.at)
                tqstream_dropHeldAt(s, where[i]);
            else
                tqstream_dropStreamHold(s);
        }
        destroyer.join();
        EXPECT_TRUE(destroyed);
    }
}

// The holder's counted hold goes with the destruction, also while the
// thread holds other streams uncounted.
TEST(StreamHold, TheHolderMayReleaseTheLastReferenceItHolds)
{
    for (const int otherHolds : {0, 4}) {
        SCOPED_TRACE(otherHolds);
        StreamPtr other = makeStream("other");
        const uint32_t otherValue = tqstream_streamValue(other.get());
        std::vector<uint32_t *> where(otherHolds, nullptr);
        for (int i = 0; i < otherHolds; ++i)
            ASSERT_EQ(tqstream_holdStreamAt(otherValue, &where[i]), other.get());
        TQStream *s = newStream("mine", 1.0, nullptr);
        const uint32_t value = tqstream_streamValue(s);
        TQStream *held = tqstream_holdStream(value);
        ASSERT_EQ(held, s);
        s->streamAddRef(s);
        // Not the last reference: the stream and the hold stay, then the hold goes.
        EXPECT_EQ(tqstream_releaseHeldStream(held), 0);
        EXPECT_EQ(s->refCount, 1);
        EXPECT_EQ(tqstream_streamOfValue(value), s);
        // The last one, under a hold again: destroyed on this thread without
        // waiting for its own hold, and nothing of the freed record is touched
        // afterwards (AddressSanitizer).
        held = tqstream_holdStream(value);
        ASSERT_EQ(held, s);
        EXPECT_EQ(tqstream_releaseHeldStream(held), 0);
        EXPECT_EQ(tqstream_streamOfValue(value), nullptr);
        EXPECT_EQ(tqstream_holdStream(value), nullptr);
        for (int i = 0; i < otherHolds; ++i)
            tqstream_dropHeldAt(other.get(), where[i]);
        // Every hold of the other stream is gone: its destruction (at the end
        // of the round) does not wait.
    }
}

TEST(StreamHold, AValueIsNotReusedForTheNextStreamInItsSlot)
{
    TQStream *first = newStream("first", 1.0, nullptr);
    const uint32_t old = tqstream_streamValue(first);
    destroyStream(first);
    StreamPtr second = makeStream("second");
    EXPECT_NE(tqstream_streamValue(second.get()), old);
    EXPECT_EQ(tqstream_holdStream(old), nullptr);
    EXPECT_EQ(tqstream_streamOfValue(old), nullptr);
}

// A thread's end gives its holds back (a destruction does not wait for a
// thread that is gone) and its record and place to later threads, which get
// the same thread pointer when their stacks are reused: a thread that came
// after and one running beside it never keep their holds in one record.
TEST(StreamHold, AThreadsEndGivesItsHoldsAndItsRecordBack)
{
    StreamPtr s = makeStream("kept");
    const uint32_t value = tqstream_streamValue(s.get());
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        TQStream *gone = newStream("left held", 1.0, nullptr);
        const uint32_t goneValue = tqstream_streamValue(gone);
        tq::platform::Thread ended;
        ended.start([&] {
            uint32_t *where = nullptr;
            EXPECT_EQ(tqstream_holdStreamAt(goneValue, &where), gone);
            EXPECT_NE(where, nullptr);
        });
        ended.join();
        destroyStream(gone); // returns: the ended thread's hold went with it

        // The next thread: four holds, all kept uncounted, kept while a
        // thread beside it takes four of its own.
        std::vector<uint32_t *> first(4, nullptr), second(4, nullptr);
        std::latch held(1), done(1);
        tq::platform::Thread after;
        after.start([&] {
            for (auto &w : first)
                EXPECT_EQ(tqstream_holdStreamAt(value, &w), s.get());
            held.count_down();
            done.wait();
            for (auto *w : first)
                tqstream_dropHeldAt(s.get(), w);
        });
        held.wait();
        tq::platform::Thread beside;
        beside.start([&] {
            for (auto &w : second)
                EXPECT_EQ(tqstream_holdStreamAt(value, &w), s.get());
            for (auto *w : second)
                tqstream_dropHeldAt(s.get(), w);
        });
        beside.join();
        done.count_down();
        after.join();
        for (auto *w : first) {
            EXPECT_NE(w, nullptr);
            for (auto *v : second)
                EXPECT_NE(w, v);
        }
        for (auto *v : second)
            EXPECT_NE(v, nullptr);
    }
}

TEST(StreamHold, ManyThreadsHoldWhileTheStreamIsDestroyed)
{
    for (int round = 0; round < 50; ++round) {
        TQStream *s = newStream("race", 1.0, nullptr);
        const uint32_t value = tqstream_streamValue(s);
        std::atomic<int> reads{0};
        std::vector<tq::platform::Thread> readers(4);
        std::latch started(4);
        // Half the readers hold uncounted (a store, then the look at the
        // value), half counted.
        for (size_t i = 0; i < readers.size(); ++i)
            readers[i].start([&, uncounted = i % 2 == 0] {
                started.count_down();
                for (;;) {
                    uint32_t *where = nullptr;
                    TQStream *h = uncounted ? tqstream_holdStreamAt(value, &where) : tqstream_holdStream(value);
                    if (!h)
                        return;
                    if (h->streamGetRate(h) == 1.0)
                        ++reads;
                    tqstream_dropHeldAt(h, where);
                }
            });
        started.wait();
        destroyStream(s);
        for (auto &t : readers)
            t.join();
        EXPECT_EQ(tqstream_holdStream(value), nullptr);
    }
}
