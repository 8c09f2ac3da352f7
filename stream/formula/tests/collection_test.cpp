// Stream collections: members lined up by rate over long runs, moves in all
// three modes, name lookups, membership, listeners, the monitor lock.
#include <gtest/gtest.h>

#include <cmath>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "core/tests/memstream.h"
#include "tq/platform/debug.h"
#include "tqstream.h"

namespace {

using memstream::Owner;

// Collects the debug output of the test's own copy of the platform layer.
struct DebugLog {
    std::vector<std::string> lines;
    DebugLog()
    {
        tq::platform::setDebugCaptureHook(
            [](const char *text, void *self) { static_cast<DebugLog *>(self)->lines.emplace_back(text); }, this);
    }
    ~DebugLog() { tq::platform::setDebugCaptureHook(nullptr, nullptr); }
    bool has(const std::string &line) const
    {
        for (const auto &l : lines)
            if (l == line)
                return true;
        return false;
    }
};

// A collection over in-memory streams; releases everything at the end.
struct Fixture {
    TQStreamCollection *c;
    std::vector<std::unique_ptr<Owner>> owners;

    explicit Fixture(void *notify = nullptr) : c(NewStreamCollection(notify)) {}
    ~Fixture()
    {
        if (c)
            c->StreamCollectionDelRef(&c);
        for (auto &o : owners)
            if (o->stream)
                o->stream->streamRelease(&o->stream);
    }
    Owner &add(const char *name, double rate, std::vector<std::string> channels = {"ch"},
               int64_t capacity = 1 << 16, bool registerIt = true)
    {
        owners.push_back(std::make_unique<Owner>());
        Owner &o = *owners.back();
        memstream::make(o, name, rate, std::move(channels), capacity);
        if (registerIt) {
            EXPECT_EQ(c->StreamCollectionRegisterStream(c, o.stream), 0);
        }
        return o;
    }
    // Read position of monitor entry i's reader.
    int64_t pos(int i) const { return memstream::stateOf(c->monitor[i].reader)->position; }
};

TEST(Collection, WithoutMembers)
{
    TQStreamCollection *c = NewStreamCollection(nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->refCount, 1);
    EXPECT_EQ(c->StreamCollectionGetMaxRate(c), 0.0);
    EXPECT_EQ(c->StreamCollectionGetStartTime(c), 0);
    EXPECT_EQ(c->StreamCollectionAvailable(c), 0);
    EXPECT_EQ(c->StreamCollectionWritten(c), 0);
    EXPECT_EQ(c->StreamCollectionSeek(c, 5, TQ_WHENCE_CURRENT), 0);
    void **table = nullptr;
    EXPECT_EQ(c->StreamCollectionPeek(c, &table, nullptr, nullptr), TQS_ERR_NO_TABLES);
    EXPECT_EQ(c->StreamCollectionStopMonitor(c), TQS_ERR_NO_TABLES);
    EXPECT_EQ(c->StreamCollectionAnyOutputEnabled(c), 0);
    TQStream *s = reinterpret_cast<TQStream *>(&table); // any non-null value: cleared on failure
    EXPECT_EQ(c->StreamCollectionFindStream(c, "x", &s), -1);
    EXPECT_EQ(s, nullptr);
    // An empty monitor is told from a stopped one.
    EXPECT_EQ(c->StreamCollectionStartMonitor(c), 0);
    EXPECT_EQ(c->StreamCollectionAvailable(c), -1);
    EXPECT_EQ(c->StreamCollectionStopMonitor(c), 0);
    c->StreamCollectionDelRef(&c);
    EXPECT_EQ(c, nullptr);
}

TEST(Collection, RelativeRatesAndAvailable)
{
    Fixture f;
    Owner &a = f.add("fast", 1000.0);
    Owner &b = f.add("slow", 250.0);
    TQStreamCollection *c = f.c;
    ASSERT_EQ(c->monitoredCount, 2);
    EXPECT_EQ(c->monitor[0].relativeRate, 1.0);
    EXPECT_EQ(c->monitor[1].relativeRate, 0.25);
    EXPECT_STREQ(c->monitor[1].name, "slow");
    EXPECT_EQ(c->StreamCollectionGetMaxRate(c), 1000.0);

    a.write(100);
    b.write(30);
    // floor(30 / 0.25) = 120 is more than the fast member has.
    EXPECT_EQ(c->StreamCollectionAvailable(c), 100);
    EXPECT_EQ(c->StreamCollectionWritten(c), 100);

    void **table = nullptr;
    int64_t count = 0, position = 0;
    ASSERT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), 0);
    EXPECT_EQ(table, c->pointers);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(position, 0);

    EXPECT_EQ(c->StreamCollectionSeek(c, 100, TQ_WHENCE_CURRENT), 100);
    EXPECT_EQ(f.pos(0), 100);
    EXPECT_EQ(f.pos(1), 25);
    EXPECT_EQ(c->monitor[1].position, 25.0);
    // The fast member has nothing left.
    EXPECT_EQ(c->StreamCollectionAvailable(c), 0);
    EXPECT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), TQS_ERR_NO_DATA);
    a.write(4);
    ASSERT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), 0);
    EXPECT_EQ(position, 100);
    EXPECT_EQ(*static_cast<int64_t *>(table[0]), 100);
    EXPECT_EQ(*static_cast<int64_t *>(table[1]), 25);
    EXPECT_EQ(count, 4);
}

// Consuming aligned scans in steps of varying size, a member at relative
// rate r has consumed exactly floor(K * r + r0) scans after K aligned scans,
// however long the run.
TEST(Collection, LongRunsNeverDrift)
{
    struct Case {
        std::vector<double> rates;
        int64_t start; // aligned scans skipped from the oldest first
        std::vector<int64_t> steps;
        int64_t rounds;
    };
    const Case cases[] = {
        {{1000.0, 250.0}, 0, {1}, 200000},
        {{1000.0, 300.0, 300.0}, 0, {1}, 200000},
        {{300.0, 1000.0, 300.0}, 7, {1, 3, 2, 7}, 50000},
        {{1000.0, 333.0, 10.0}, 0, {1, 1, 5}, 100000},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.rates.size() << " members, start " << k.start);
        Fixture f;
        double highest = 0;
        for (double r : k.rates)
            highest = std::max(highest, r);
        for (size_t i = 0; i < k.rates.size(); ++i) {
            Owner &o = f.add(("m" + std::to_string(i)).c_str(), k.rates[i], {"ch"}, 1 << 20);
            o.write(1 << 20);
        }
        TQStreamCollection *c = f.c;
        ASSERT_EQ(c->StreamCollectionSeek(c, k.start, TQ_WHENCE_OLDEST), k.start);
        int64_t total = k.start;
        for (int64_t round = 0; round < k.rounds; ++round) {
            int64_t step = k.steps[static_cast<size_t>(round) % k.steps.size()];
            ASSERT_EQ(c->StreamCollectionSeek(c, step, TQ_WHENCE_CURRENT), step);
            total += step;
            for (size_t i = 0; i < k.rates.size(); ++i) {
                double r = k.rates[i] == highest ? 1.0 : k.rates[i] / highest;
                int64_t expected = static_cast<int64_t>(std::floor(static_cast<double>(total) * r));
                ASSERT_EQ(f.pos(static_cast<int>(i)), expected) << "member " << i << " after " << total;
            }
        }
        // The data each member shows is the scan at its position.
        void **table = nullptr;
        ASSERT_EQ(c->StreamCollectionPeek(c, &table, nullptr, nullptr), 0);
        for (size_t i = 0; i < k.rates.size(); ++i)
            EXPECT_EQ(*static_cast<int64_t *>(table[i]), f.pos(static_cast<int>(i)));
    }
}

TEST(Collection, ForwardMoveIsCutToThePoorestMember)
{
    Fixture f;
    Owner &a = f.add("fast", 1000.0);
    Owner &b = f.add("slow", 250.0);
    TQStreamCollection *c = f.c;
    a.write(100);
    b.write(20);
    EXPECT_EQ(c->StreamCollectionSeek(c, 100, TQ_WHENCE_CURRENT), 80);
    EXPECT_EQ(f.pos(0), 80);
    EXPECT_EQ(f.pos(1), 20);
    EXPECT_EQ(c->monitor[0].reserved, 1);
    EXPECT_EQ(c->StreamCollectionSeek(c, 0, TQ_WHENCE_CURRENT), 0);
    EXPECT_EQ(c->StreamCollectionSeek(c, 10, TQ_WHENCE_CURRENT), 0);
    EXPECT_EQ(f.pos(0), 80);
}

TEST(Collection, FailedReservationIsGivenBack)
{
    Fixture f;
    Owner &a = f.add("fast", 1000.0);
    Owner &b = f.add("slow", 500.0);
    TQStreamCollection *c = f.c;
    a.write(100);
    b.write(100);
    b.failReserve = TQS_ERR_FAILED;
    EXPECT_EQ(c->StreamCollectionSeek(c, 10, TQ_WHENCE_CURRENT), -1);
    EXPECT_EQ(f.pos(0), 0);
    EXPECT_EQ(f.pos(1), 0);
    // The first member's reservation was given back: the next move works.
    EXPECT_FALSE(memstream::stateOf(c->monitor[0].reader)->open);
    EXPECT_EQ(c->StreamCollectionSeek(c, 10, TQ_WHENCE_CURRENT), 10);
    EXPECT_EQ(f.pos(0), 10);
    EXPECT_EQ(f.pos(1), 5);
}

TEST(Collection, SeekFromOldest)
{
    Fixture f;
    Owner &a = f.add("fast", 1000.0);
    Owner &b = f.add("slow", 250.0);
    TQStreamCollection *c = f.c;
    a.write(200);
    b.write(50);
    EXPECT_EQ(c->StreamCollectionSeek(c, 41, TQ_WHENCE_OLDEST), 41);
    EXPECT_EQ(f.pos(0), 41);
    EXPECT_EQ(f.pos(1), 10);
    EXPECT_EQ(c->monitor[1].position, 10.25);
    // Three more aligned scans take the slow member over its next scan.
    EXPECT_EQ(c->StreamCollectionSeek(c, 3, TQ_WHENCE_CURRENT), 3);
    EXPECT_EQ(f.pos(1), 11);
    EXPECT_EQ(c->StreamCollectionSeek(c, -1, TQ_WHENCE_OLDEST), 0);
    EXPECT_EQ(c->StreamCollectionSeek(c, 5, 3), 0);
    EXPECT_EQ(f.pos(0), 44);
}

// Moves back and from the end: members that reach the oldest kept scan set
// the target the others are brought to, in aligned scans.
TEST(Collection, SeekBackAndFromTheEnd)
{
    struct Case {
        const char *what;
        int64_t slowCapacity; // ring of the slow member: its oldest kept scan
        int16_t whence;
        int64_t offset;
        int64_t result;
        int64_t fastAt, slowAt;
    };
    // The fast member (rate 1.0) has written 100, the slow one (0.25) 30; both
    // stand at aligned scan 100 (positions 100 and 25) for whence 1, and the
    // end is at aligned scan 100 for whence 2.
    const Case cases[] = {
        {"back within the data", 1 << 16, TQ_WHENCE_CURRENT, -20, -20, 80, 20},
        {"back with a fraction", 1 << 16, TQ_WHENCE_CURRENT, -3, -3, 97, 24},
        {"back past the oldest of all", 1 << 16, TQ_WHENCE_CURRENT, -200, -100, 0, 0},
        {"back past the slow member's oldest", 10, TQ_WHENCE_CURRENT, -50, -20, 80, 20},
        {"from the end", 1 << 16, TQ_WHENCE_NEWEST, -10, -10, 90, 22},
        {"from the end past the slow member's oldest", 10, TQ_WHENCE_NEWEST, -60, -20, 80, 20},
        {"from the end, offset 0", 1 << 16, TQ_WHENCE_NEWEST, 0, 0, 100, 25},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        Fixture f;
        Owner &a = f.add("fast", 1000.0);
        Owner &b = f.add("slow", 250.0, {"ch"}, k.slowCapacity);
        TQStreamCollection *c = f.c;
        a.write(100);
        b.write(30);
        ASSERT_EQ(c->StreamCollectionSeek(c, 100, TQ_WHENCE_CURRENT), 100);
        EXPECT_EQ(c->StreamCollectionSeek(c, k.offset, k.whence), k.result);
        EXPECT_EQ(f.pos(0), k.fastAt);
        EXPECT_EQ(f.pos(1), k.slowAt);
        // Reader and carried position agree.
        EXPECT_EQ(static_cast<int64_t>(std::floor(c->monitor[1].position)), f.pos(1));
        // And consuming on from there keeps the members lined up.
        if (k.fastAt <= 96) {
            ASSERT_EQ(c->StreamCollectionSeek(c, 4, TQ_WHENCE_CURRENT), 4);
            EXPECT_EQ(f.pos(1), static_cast<int64_t>(std::floor((k.fastAt + 4) * 0.25)));
        }
    }
}

TEST(Collection, PeekFailuresAndMisalignment)
{
    DebugLog log;
    Fixture f;
    Owner &a = f.add("a", 1000.0);
    Owner &b = f.add("b", 1000.0);
    TQStreamCollection *c = f.c;
    void **table = nullptr;
    int64_t count = 7, position = 7;
    // No data yet on any member.
    EXPECT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), TQS_ERR_NO_DATA);
    a.write(10);
    EXPECT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), TQS_ERR_NO_DATA);
    EXPECT_EQ(count, 0);
    b.write(10);
    EXPECT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), 0);
    EXPECT_FALSE(log.has("StreamCollectionPeek: streammisalignment\n"));
    // Two members at the highest rate at different positions.
    c->monitor[1].reader->readerSeek(c->monitor[1].reader, 3, TQ_WHENCE_CURRENT);
    EXPECT_EQ(c->StreamCollectionPeek(c, &table, &count, &position), 0);
    EXPECT_TRUE(log.has("StreamCollectionPeek: streammisalignment\n"));
    EXPECT_EQ(position, 0);
    EXPECT_EQ(count, 7);
}

TEST(Collection, FindChannel)
{
    Fixture f;
    // A member without channels is not lined up and takes no monitor entry.
    f.add("quiet", 1000.0, {});
    f.add("dev1", 1000.0, {"ch2", "x-y"});
    f.add("dev", 500.0, {"1-x"});
    TQStreamCollection *c = f.c;
    ASSERT_EQ(c->monitoredCount, 2);

    struct Case {
        const char *text;
        int32_t index;
        const char *channel; // null: none handed out
    };
    const Case cases[] = {
        {"<dev1-ch2>", 0, "ch2"},   {"[dev1-ch2]", 0, "ch2"},   {"<dev1-x-y>", 0, "x-y"},
        {"<dev-1-x>", 1, "1-x"},    {"[dev-1-x]", 1, "1-x"},    {"<dev1ch2>", -1, nullptr},
        {"<dev1-nope>", -1, nullptr}, {"<ghost-ch2>", -1, nullptr}, {"<dev1-ch2", -1, nullptr},
        {"<quiet-ch>", -1, nullptr}, {"", -1, nullptr},          {"-", -1, nullptr},
        {"<dev1-ch2]", 0, "ch2"},   {"<dev1-ch2>tail>", 0, "ch2"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.text);
        TQStreamChannel *channel = reinterpret_cast<TQStreamChannel *>(&f); // cleared first
        EXPECT_EQ(c->StreamCollectionFindChannel(c, k.text, &channel), k.index);
        if (k.channel) {
            ASSERT_NE(channel, nullptr);
            EXPECT_STREQ(channel->name, k.channel);
            // The index reads the entry of the channel's own stream.
            EXPECT_EQ(c->monitor[k.index].reader->readerGetStream(c->monitor[k.index].reader), channel->stream);
        } else {
            EXPECT_EQ(channel, nullptr);
        }
    }
    EXPECT_EQ(c->StreamCollectionFindChannel(c, nullptr, nullptr), -1);
    // The lookups leave the reference counts as they were.
    for (auto &o : f.owners)
        EXPECT_EQ(o->stream->refCount, 2);
}

TEST(Collection, FindStreamAnswersTheMonitorIndex)
{
    Fixture f;
    Owner &quiet = f.add("quiet", 1000.0, {});
    Owner &one = f.add("one", 1000.0);
    Owner &two = f.add("two", 250.0);
    TQStreamCollection *c = f.c;
    TQStream *s = nullptr;
    EXPECT_EQ(c->StreamCollectionFindStream(c, "two", &s), 1);
    EXPECT_EQ(s, two.stream);
    EXPECT_EQ(s->refCount, 3);
    s->streamRelease(&s);
    // A member that is not lined up has no index, but its stream is found.
    EXPECT_EQ(c->StreamCollectionFindStream(c, "quiet", &s), -1);
    EXPECT_EQ(s, quiet.stream);
    s->streamRelease(&s);
    EXPECT_EQ(c->StreamCollectionFindStream(c, "one", nullptr), 0);
    // With the monitor stopped the index is the one the next start gives.
    EXPECT_EQ(c->StreamCollectionStopMonitor(c), 0);
    EXPECT_EQ(c->StreamCollectionFindStream(c, "two", nullptr), 1);
    EXPECT_EQ(c->StreamCollectionFindStream(c, "quiet", nullptr), -1);
    EXPECT_EQ(c->StreamCollectionStartMonitor(c), 0);
    EXPECT_EQ(c->monitor[1].reader->readerGetStream(c->monitor[1].reader), two.stream);
    (void)one;
}

TEST(Collection, UnregisterWhileReadersExist)
{
    Fixture f;
    Owner &a = f.add("a", 1000.0);
    Owner &b = f.add("b", 500.0);
    TQStreamCollection *c = f.c;
    // Someone else reads the stream too.
    TQReader *other = a.stream->streamNewReader(a.stream, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(a.stream->refCount, 2);
    EXPECT_EQ(c->memberCount, 2);

    EXPECT_EQ(c->StreamCollectionUnregisterStream(c, a.stream), 0);
    EXPECT_EQ(c->memberCount, 1);
    EXPECT_EQ(c->monitoredCount, 1);
    EXPECT_EQ(c->monitor, nullptr); // stopped until the next start
    EXPECT_EQ(c->pointers, nullptr);
    EXPECT_EQ(a.stream->refCount, 1);
    EXPECT_EQ(firstReader(a.stream), other);
    EXPECT_EQ(nextReader(other), nullptr);
    EXPECT_EQ(other->readerGetStream(other), a.stream);

    // Not a member (any more): -15, and the monitor stays stopped.
    EXPECT_EQ(c->StreamCollectionUnregisterStream(c, a.stream), TQS_ERR_NOT_MEMBER);
    EXPECT_EQ(c->monitor, nullptr);
    EXPECT_EQ(c->StreamCollectionAvailable(c), 0);
    EXPECT_EQ(c->StreamCollectionStartMonitor(c), 0);
    ASSERT_EQ(c->monitoredCount, 1);
    EXPECT_EQ(c->monitor[0].relativeRate, 1.0); // b is now the fastest
    EXPECT_EQ(c->monitor[0].reader->readerGetStream(c->monitor[0].reader), b.stream);

    other->readerUnlink(other);
    other->readerRelease(&other);
    EXPECT_EQ(c->StreamCollectionUnregisterAllStream(c), 0);
    EXPECT_EQ(c->memberCount, 0);
    EXPECT_EQ(c->monitoredCount, 0);
    EXPECT_EQ(b.stream->refCount, 1);
    EXPECT_EQ(firstReader(b.stream), nullptr);
}

// A driver's stream is destroyed by its session whatever references the
// collection holds: the member reader stays behind without a stream.
TEST(Collection, MemberWhoseStreamIsGone)
{
    Fixture f;
    Owner &a = f.add("a", 1000.0);
    Owner &gone = f.add("gone", 1000.0, {"ch"}, 1 << 16, false);
    gone.stream->streamRelease = [](TQStream **) -> int32_t { return 0; };
    TQStreamCollection *c = f.c;
    ASSERT_EQ(c->StreamCollectionRegisterStream(c, gone.stream), 0);
    destroyStream(gone.stream);
    gone.stream = nullptr;

    EXPECT_EQ(c->StreamCollectionFindStream(c, "a", nullptr), 0);
    EXPECT_EQ(c->StreamCollectionFindStream(c, "gone", nullptr), -1);
    EXPECT_EQ(c->StreamCollectionStartMonitor(c), TQS_ERR_NOMEM);
    EXPECT_EQ(c->monitor, nullptr);
    EXPECT_EQ(c->StreamCollectionGetMaxRate(c), 1000.0);
    EXPECT_EQ(c->StreamCollectionUnregisterAllStream(c), 0);
    EXPECT_EQ(a.stream->refCount, 1);
}

TEST(Collection, MembersOfEveryRate)
{
    Fixture f;
    Owner &a = f.add("a", 1000.0);
    Owner &z = f.add("still", 0.0);
    TQStreamCollection *c = f.c;
    EXPECT_EQ(c->monitor[1].relativeRate, 0.0);
    a.write(10);
    // A member that never moves does not limit what the others can give.
    EXPECT_EQ(c->StreamCollectionAvailable(c), 10);
    EXPECT_EQ(c->StreamCollectionSeek(c, 10, TQ_WHENCE_CURRENT), 10);
    EXPECT_EQ(f.pos(0), 10);
    EXPECT_EQ(f.pos(1), 0);
    (void)z;
}

TEST(Collection, StartTimeAndOutputEnable)
{
    Fixture f;
    Owner &a = f.add("a", 10.0);
    Owner &b = f.add("b", 20.0);
    TQStreamCollection *c = f.c;
    a.stream->startTime = 1234567;
    b.stream->startTime = 99;
    EXPECT_EQ(c->StreamCollectionGetStartTime(c), 1234567);
    EXPECT_EQ(c->StreamCollectionGetMaxRate(c), 20.0);
    EXPECT_EQ(c->StreamCollectionAnyOutputEnabled(c), 0);
    b.stream->streamSetOutputEnable(b.stream, 1);
    EXPECT_EQ(c->StreamCollectionAnyOutputEnabled(c), 1);
}

TEST(Collection, ReferenceCounting)
{
    Owner o;
    memstream::make(o, "s", 100.0, {"ch"});
    TQStreamCollection *c = NewStreamCollection(nullptr);
    ASSERT_EQ(c->StreamCollectionRegisterStream(c, o.stream), 0);
    EXPECT_EQ(o.stream->refCount, 2);
    TQReader *member = c->monitor[0].reader;
    EXPECT_EQ(member->refCount, 2); // the stream's list and the member list
    EXPECT_EQ(member->collectionLink.owner, c);

    c->StreamCollectionAddRef(c);
    TQStreamCollection *holder = c;
    EXPECT_EQ(c->StreamCollectionDelRef(&holder), 0);
    EXPECT_EQ(holder, c);
    EXPECT_EQ(c->refCount, 1);
    EXPECT_EQ(o.stream->refCount, 2);
    EXPECT_EQ(c->StreamCollectionDelRef(&holder), 0);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(o.stream->refCount, 1);
    EXPECT_EQ(firstReader(o.stream), nullptr);
    o.stream->streamRelease(&o.stream);
}

struct Heard {
    std::vector<int64_t> counts;
    static void listener(TQStreamCollection *, int64_t available, void *self)
    {
        static_cast<Heard *>(self)->counts.push_back(available);
    }
};

TEST(Collection, ListenersHearAlignedScans)
{
    int engine = 0;
    Fixture f(&engine);
    Owner &a = f.add("a", 1000.0);
    Owner &b = f.add("b", 500.0);
    TQStreamCollection *c = f.c;
    Heard heard;
    EXPECT_EQ(c->StreamCollectionAddListener(c, Heard::listener, &heard), 0);
    EXPECT_EQ(c->StreamCollectionAddListener(c, Heard::listener, &heard), 0);
    ASSERT_NE(c->listeners.first, nullptr);
    EXPECT_EQ(c->listeners.first, c->listeners.last);

    a.write(40);
    a.stream->notifyListeners(a.stream, 0, 0, 0); // b has nothing yet
    EXPECT_TRUE(heard.counts.empty());
    b.write(10);
    b.stream->notifyListeners(b.stream, 0, 0, 0);
    EXPECT_EQ(heard.counts, std::vector<int64_t>{20});

    c->StreamCollectionRemoveListener(c, Heard::listener, &heard);
    c->StreamCollectionRemoveListener(c, Heard::listener, &heard);
    a.stream->notifyListeners(a.stream, 0, 0, 0);
    EXPECT_EQ(heard.counts.size(), 1u);

    // Leaving the collection takes the member listener off the stream.
    EXPECT_NE(a.stream->listeners.first, nullptr);
    EXPECT_EQ(c->StreamCollectionUnregisterStream(c, a.stream), 0);
    EXPECT_EQ(a.stream->listeners.first, nullptr);
}

TEST(Collection, ListenersWithoutNotification)
{
    Fixture f;
    Owner &a = f.add("a", 1000.0);
    EXPECT_EQ(a.stream->listeners.first, nullptr);
}

TEST(Collection, MonitorLockHoldsEveryMemberStream)
{
    Fixture f;
    Owner &a = f.add("a", 1000.0);
    Owner &b = f.add("b", 500.0);
    TQStreamCollection *c = f.c;
    ASSERT_EQ(c->StreamCollectionLockMonitor(c, 1000), 0);
    int32_t fromOutside[2] = {1, 1};
    std::thread t([&] {
        fromOutside[0] = a.stream->streamLock(a.stream, 10);
        fromOutside[1] = b.stream->streamLock(b.stream, 10);
    });
    t.join();
    EXPECT_EQ(fromOutside[0], TQS_ERR_LOCK_TIMEOUT);
    EXPECT_EQ(fromOutside[1], TQS_ERR_LOCK_TIMEOUT);
    EXPECT_EQ(c->StreamCollectionUnlockMonitor(c), 0);
    std::thread u([&] {
        fromOutside[0] = a.stream->streamLock(a.stream, 1000);
        if (fromOutside[0] == 0)
            a.stream->streamUnlock(a.stream);
    });
    u.join();
    EXPECT_EQ(fromOutside[0], 0);
}

TEST(Collection, MutexTimeOuts)
{
    DebugLog log;
    Fixture f;
    f.add("a", 1000.0);
    TQStreamCollection *c = f.c;
    std::latch held(1), done(1);
    std::thread owner([&] {
        c->StreamCollectionLockMonitor(c, 1000);
        held.count_down();
        done.wait();
        c->StreamCollectionUnlockMonitor(c);
    });
    held.wait();
    EXPECT_EQ(c->StreamCollectionLockMonitor(c, 20), TQS_ERR_LOCK_TIMEOUT);
    EXPECT_TRUE(log.has("StreamCollectionLockMonitor: can't get mutex\n"));
    done.count_down();
    owner.join();
    EXPECT_EQ(c->StreamCollectionLockMonitor(c, 1000), 0);
    EXPECT_EQ(c->StreamCollectionUnlockMonitor(c), 0);
}

} // namespace
