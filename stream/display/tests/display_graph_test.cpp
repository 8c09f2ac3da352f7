// Graph objects: unit defaults, channel colours, axis lookups, axis and
// channel operations, the lock, reference counts, and the stream's own graph
// operations on its default graph object.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>

#include "display_test_util.h"

using namespace displaytest;
using namespace tq::stream;

namespace
{

// A graph object made in the stream's default window, held by the test.
struct GraphFixture {
    TestStream t;
    TQDisplayWindow *window = nullptr;
    TQGraphObject *go = nullptr;

    GraphFixture()
    {
        window = t.s->streamGetDisplayWindowByIndex(t.s, 0);
        go = window->displayWindowNewGraphObject(window, "g", 0, 0, 100, 100);
    }
    ~GraphFixture()
    {
        if (go)
            go->graphObjectSlotRelease(&go);
    }
};

} // namespace

TEST(UnitDefaults, Table)
{
    struct Case {
        const char *unit;
        double center, span;
        uint32_t color;
    } cases[] = {
        {"volts", 0.0, 20.0, 0x006699},         {"degrees_f", 50.0, 100.0, 0x990000},
        {"degrees_c", 10.0, 37.8, 0xcc3300},    {"kelvins", 283.15, 37.8, 0xff0033},
        {"hz", 500.0, 1000.0, 0x009900},        {"binary", 0.5, 3.0, 0x9c1d92},
        {"counts", 25000.0, 25000.0, 0x38afed}, {"psi", 0.0, 20.0, 0x000000},
        {"Volts", 0.0, 20.0, 0x000000},         {"volts ", 0.0, 20.0, 0x000000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.unit);
        GraphFixture f;
        // Reading the centre of an unknown unit makes its axis with the defaults.
        double center = -1;
        EXPECT_EQ(f.go->graphObjectGetAxisCenter(f.go, c.unit, &center), 0);
        EXPECT_EQ(center, c.center);
        double cc, span;
        uint32_t color;
        ASSERT_EQ(f.go->graphObjectGetGraphInfo(f.go, c.unit, &cc, &span, &color), 0);
        EXPECT_EQ(span, c.span);
        EXPECT_EQ(color, c.color);
        TQAxisInfo *a = axisNamed(f.go, c.unit);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->activeLink.owner, f.go); // active, enabled, not visible
        EXPECT_EQ(a->enable, 1);
        EXPECT_EQ(a->visible, 0);
        EXPECT_EQ(a->refCount, 1);
    }
}

TEST(Recolor, Table)
{
    struct Entry {
        bool active;
        bool fixed;
        uint32_t expected;
    };
    struct Case {
        const char *name;
        uint32_t axisColor;
        std::vector<Entry> entries;
    } cases[] = {
        {"steps of 12 degrees",
         0xff0000,
         {{true, false, 0xff0000}, {true, false, 0xff3200}, {true, false, 0xff0033}, {true, false, 0xff6600}}},
        {"fixed entry keeps its colour and takes no step",
         0xff0000,
         {{true, false, 0xff0000}, {true, true, 0x123456}, {true, false, 0xff3200}, {true, false, 0xff0033}}},
        {"lists numbered apart",
         0xff0000,
         {{true, false, 0xff0000}, {false, false, 0xff0000}, {true, false, 0xff3200}, {false, false, 0xff3200}}},
        {"grey", 0x808080, {{true, false, 0x808080}, {true, false, 0x808080}, {false, false, 0x808080}}},
        {"black", 0x000000, {{true, false, 0}, {true, false, 0}, {true, true, 0xabcdef}}},
        {"blue, away from the wrap",
         0x0000ff,
         {{true, false, 0x0000ff}, {true, false, 0x3300ff}, {true, false, 0x0033ff}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TQAxisInfo *axis = StreamCommonNewAxisInfo();
        ASSERT_NE(axis, nullptr);
        axis->color = c.axisColor;
        std::vector<TQChannelEnable *> made;
        for (const Entry &e : c.entries) {
            TQChannelEnable *entry = StreamHandleCommonNewChannelEnable();
            entry->iscolorfixed = e.fixed;
            entry->color = e.fixed ? e.expected : 0x777777;
            entryAppend(axis, entry, e.active);
            entry->channelEnableRelease(&entry);
            made.push_back(
                static_cast<TQChannelEnable *>(e.active ? axis->activeChannels.last : axis->inactiveChannels.last));
        }
        recolorChannels(axis);
        for (size_t i = 0; i < made.size(); ++i)
            EXPECT_EQ(made[i]->color, c.entries[i].expected) << "entry " << i;
        axis->axisInfoRelease(&axis);
        EXPECT_EQ(axis, nullptr);
    }
}

TEST(FindAxis, Modes)
{
    struct Case {
        const char *name;
        const char *unit;
        int32_t mode;
        bool expectFound;
        int32_t expectActive; // -1: flag not written
        const char *expectUnit;
        size_t activeCount, inactiveCount;
    } cases[] = {
        // Layout: active volts, hz (hz selected); inactive kelvins.
        {"active", "volts", 0, true, 1, "volts", 2, 1},
        {"inactive", "kelvins", 0, true, 0, "kelvins", 2, 1},
        {"missing, find only", "psi", 0, false, -1, nullptr, 2, 1},
        {"missing, mode 3 makes nothing", "psi", 3, false, -1, nullptr, 2, 1},
        {"missing, create active", "psi", 1, true, 1, "psi", 3, 1},
        {"missing, create inactive", "psi", 2, true, 0, "psi", 2, 2},
        {"empty unit is the selected axis", "", 1, true, -1, "hz", 2, 1},
        {"null unit is the selected axis", nullptr, 0, true, -1, "hz", 2, 1},
        {"exact comparison", "Volts", 0, false, -1, nullptr, 2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GraphFixture f;
        findAxis(f.go, "volts", kCreateActive, nullptr);
        findAxis(f.go, "hz", kCreateActive, nullptr);
        findAxis(f.go, "kelvins", kCreateInactive, nullptr);
        int32_t active = -1;
        TQAxisInfo *a = findAxis(f.go, c.unit, c.mode, &active);
        EXPECT_EQ(a != nullptr, c.expectFound);
        EXPECT_EQ(active, c.expectActive);
        if (a) {
            EXPECT_STREQ(a->eu, c.expectUnit);
            EXPECT_EQ(a->refCount, 1); // held by its list only
        }
        EXPECT_EQ(axes(f.go, true).size(), c.activeCount);
        EXPECT_EQ(axes(f.go, false).size(), c.inactiveCount);
        if (a && c.mode == 2 && c.expectActive == 0) {
            EXPECT_EQ(a->enable, 0);
        }
    }
    // Without any active axis an empty unit finds nothing.
    GraphFixture f;
    findAxis(f.go, "kelvins", kCreateInactive, nullptr);
    EXPECT_EQ(findAxis(f.go, "", kCreateActive, nullptr), nullptr);
}

TEST(FindChannelEnable, CreatesRecoloursAndFinds)
{
    GraphFixture f;
    TQAxisInfo *axis = findAxis(f.go, "kelvins", kCreateActive, nullptr);
    int32_t active = -1;
    TQChannelEnable *a = findChannelEnable(axis, "a", kCreateActive, &active);
    EXPECT_EQ(active, 1);
    TQChannelEnable *b = findChannelEnable(axis, "b", kCreateInactive, &active);
    EXPECT_EQ(active, 0);
    TQChannelEnable *c = findChannelEnable(axis, "c", kCreateActive, &active);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->enable, 1);
    EXPECT_EQ(b->enable, 0);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(a->color, 0xff0033u);
    EXPECT_NE(c->color, 0xff0033u); // second entry of the active list
    EXPECT_EQ(b->color, 0xff0033u); // first entry of the inactive list
    EXPECT_EQ(findChannelEnable(axis, "b", kFindOnly, &active), b);
    EXPECT_EQ(active, 0);
    EXPECT_EQ(findChannelEnable(axis, "x", kFindOnly, nullptr), nullptr);
    EXPECT_EQ(entryNames(axis, true), (std::vector<std::string>{"a", "c"}));
}

TEST(AxisOperations, SelectionTable)
{
    struct Case {
        const char *name;
        const char *unit;
        std::vector<std::string> active, inactive;
    } cases[] = {
        // Layout: active volts, hz; inactive kelvins (disabled).
        {"last active stays", "hz", {"volts", "hz"}, {"kelvins"}},
        {"earlier active moves to the end", "volts", {"hz", "volts"}, {"kelvins"}},
        {"inactive is enabled and selected", "kelvins", {"volts", "hz", "kelvins"}, {}},
        {"unknown changes nothing", "psi", {"volts", "hz"}, {"kelvins"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GraphFixture f;
        findAxis(f.go, "volts", kCreateActive, nullptr);
        findAxis(f.go, "hz", kCreateActive, nullptr);
        TQAxisInfo *k = findAxis(f.go, "kelvins", kCreateInactive, nullptr);
        k->visible = 0;
        EXPECT_EQ(f.go->graphObjectSetAxisSelected(f.go, c.unit), 0);
        EXPECT_EQ(units(f.go, true), c.active);
        EXPECT_EQ(units(f.go, false), c.inactive);
        for (bool act : {true, false})
            for (TQAxisInfo *a : axes(f.go, act))
                EXPECT_EQ(a->refCount, 1) << a->eu;
        if (std::string(c.unit) == "kelvins") {
            EXPECT_EQ(k->enable, 1);
            EXPECT_EQ(k->visible, 0);
        }
    }
}

TEST(AxisOperations, VisibilityTable)
{
    struct Case {
        const char *name;
        std::vector<int> entryEnables; // entries of the active list
        int axisFlag;
        int expectVisible;
    } cases[] = {
        {"enabled with an enabled entry", {0, 1}, 1, 1},
        {"enabled, every entry disabled", {0, 0}, 1, 0},
        {"enabled, no entry", {}, 1, 0},
        {"disabled", {1, 1}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GraphFixture f;
        TQAxisInfo *axis = findAxis(f.go, "volts", kCreateActive, nullptr);
        int i = 0;
        for (int en : c.entryEnables)
            findChannelEnable(axis, ("c" + std::to_string(i++)).c_str(), kCreateActive, nullptr)->enable = en;
        axis->visible = 1 - c.expectVisible;
        EXPECT_EQ(f.go->graphObjectSetAxisEnable(f.go, "volts", c.axisFlag), 0);
        int32_t visible = -1;
        f.go->graphObjectGetAxisVisible(f.go, "volts", &visible);
        EXPECT_EQ(visible, c.expectVisible);
        EXPECT_EQ(axis->enable, c.axisFlag);
    }
    // A unit without axis: nothing written, nothing made.
    GraphFixture f;
    int32_t visible = 7;
    f.go->graphObjectGetAxisVisible(f.go, "psi", &visible);
    EXPECT_EQ(visible, 7);
    EXPECT_EQ(axisNamed(f.go, "psi"), nullptr);
}

TEST(AxisOperations, InfoRescaleReset)
{
    GraphFixture f;
    TQGraphObject *go = f.go;
    double c = 0, s = 0;
    uint32_t col = 0;
    EXPECT_EQ(go->graphObjectGetGraphInfo(go, "volts", &c, &s, &col), TQS_ERR_NO_AXIS);
    EXPECT_EQ(go->graphObjectSetGraphInfo(go, "volts", 1.0, 4.0, 0x00ff00), 0);
    EXPECT_EQ(go->graphObjectGetGraphInfo(go, "volts", &c, &s, &col), 0);
    EXPECT_EQ(c, 1.0);
    EXPECT_EQ(s, 4.0);
    EXPECT_EQ(col, 0x00ff00u);
    // Shift in tenths of the old span, then zoom.
    EXPECT_EQ(go->graphObjectRescaleAxis(go, "volts", 2.0, 1.0), 0);
    go->graphObjectGetAxisCenter(go, "volts", &c);
    go->graphObjectGetAxisSpan(go, "volts", &s);
    EXPECT_DOUBLE_EQ(c, 1.4);
    EXPECT_DOUBLE_EQ(s, 8.0);
    EXPECT_EQ(go->graphObjectRescaleAxis(go, "psi", 2.0, 1.0), 0);
    EXPECT_EQ(axisNamed(go, "psi"), nullptr);

    TQAxisInfo *axis = axisNamed(go, "volts");
    TQChannelEnable *e1 = findChannelEnable(axis, "a", kCreateActive, nullptr);
    TQChannelEnable *e2 = findChannelEnable(axis, "b", kCreateInactive, nullptr);
    e1->iscolorfixed = e2->iscolorfixed = 1;
    e1->color = e2->color = 0x111111;
    // Only the centre.
    go->graphObjectResetAxis(go, "volts", 0, 1, 0);
    go->graphObjectGetGraphInfo(go, "volts", &c, &s, &col);
    EXPECT_EQ(c, 0.0);
    EXPECT_EQ(s, 8.0);
    EXPECT_EQ(col, 0x00ff00u);
    // Span and colour; the channel colours follow the default again.
    go->graphObjectResetAxis(go, "volts", 1, 0, 1);
    go->graphObjectGetGraphInfo(go, "volts", &c, &s, &col);
    EXPECT_EQ(s, 20.0);
    EXPECT_EQ(col, 0x006699u);
    EXPECT_EQ(e1->iscolorfixed, 0);
    EXPECT_EQ(e2->iscolorfixed, 0);
    EXPECT_EQ(e1->color, 0x006699u);
    EXPECT_EQ(e2->color, 0x006699u);

    // The axis colour recolours its entries; setGraphInfo does not.
    go->graphObjectSetAxisColor(go, "volts", 0xff0000);
    EXPECT_EQ(e1->color, 0xff0000u);
    go->graphObjectSetGraphInfo(go, "volts", 0, 1, 0x00ff00);
    EXPECT_EQ(e1->color, 0xff0000u);
}

TEST(ChannelOperations, EnableColourReset)
{
    GraphFixture f;
    TQGraphObject *go = f.go;
    TQStreamChannel *x = f.t.add("x", "volts");
    f.t.add("y", "volts");
    // Unknown channel: nothing made.
    EXPECT_EQ(go->graphObjectSetChannelEnable(go, "nope", 1), 0);
    EXPECT_TRUE(axes(go, true).empty());

    EXPECT_EQ(go->graphObjectSetChannelEnable(go, "x", 0), 0);
    TQAxisInfo *axis = axisNamed(go, "volts");
    ASSERT_NE(axis, nullptr);
    TQChannelEnable *ex = entryNamed(axis, "x");
    ASSERT_NE(ex, nullptr);
    EXPECT_EQ(ex->enable, 0);
    EXPECT_EQ(ex->channel, x);
    EXPECT_EQ(axis->visible, 0);
    go->graphObjectSetChannelEnable(go, "y", 1);
    EXPECT_EQ(axis->visible, 1);
    go->graphObjectSetChannelEnable(go, "y", 0);
    EXPECT_EQ(axis->visible, 0);
    go->graphObjectSetAxisEnable(go, "volts", 0);
    go->graphObjectSetChannelEnable(go, "y", 1);
    EXPECT_EQ(axis->visible, 0); // a disabled axis is never drawn

    go->graphObjectSetChannelColor(go, "x", 0xabcdef);
    EXPECT_EQ(ex->color, 0xabcdefu);
    EXPECT_EQ(ex->iscolorfixed, 1);
    go->graphObjectSetAxisColor(go, "volts", 0xff0000);
    EXPECT_EQ(ex->color, 0xabcdefu);
    go->graphObjectResetChannel(go, "x");
    EXPECT_EQ(ex->iscolorfixed, 0);
    EXPECT_EQ(ex->enable, 1);
    EXPECT_EQ(ex->color, 0xff0000u); // first non-fixed entry
}

TEST(ChannelOperations, ChannelWithEmptyUnitGetsItsOwnAxis)
{
    GraphFixture f;
    f.t.add("v", "volts");
    f.t.add("raw", "");
    f.go->graphObjectSetChannelEnable(f.go, "v", 1);
    f.go->graphObjectSetChannelEnable(f.go, "raw", 1);
    // Not filed under the selected volts axis.
    EXPECT_EQ(entryNamed(axisNamed(f.go, "volts"), "raw"), nullptr);
    TQAxisInfo *empty = axisNamed(f.go, "");
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(entryNamed(empty, "raw"), nullptr);
}

TEST(Names, LongUnitsAndChannelNamesAreCutToTheirFields)
{
    GraphFixture f;
    std::string unit(200, 'u'), name(300, 'n');
    // Stream channels cannot hold such names; the caller-facing paths can.
    TQAxisInfo *a = findAxis(f.go, unit.c_str(), kCreateActive, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(strlen(a->eu), 67u);
    // The same long unit finds the axis made for it rather than another one.
    EXPECT_EQ(findAxis(f.go, unit.c_str(), kCreateActive, nullptr), a);
    EXPECT_EQ(axes(f.go, true).size(), 1u);
    TQChannelEnable *e = findChannelEnable(a, name.c_str(), kCreateActive, nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(strlen(e->name), 127u);
    EXPECT_EQ(findChannelEnable(a, name.c_str(), kCreateActive, nullptr), e);

    f.go->graphObjectSetTitle(f.go, name.c_str());
    EXPECT_EQ(strlen(f.go->title), 127u);
    char buf[5];
    f.go->graphObjectGetTitle(f.go, buf, sizeof buf);
    EXPECT_STREQ(buf, "nnnn");
}

TEST(GraphObject, FieldsOfANewObject)
{
    GraphFixture f;
    TQGraphObject *go = f.go;
    EXPECT_EQ(go->refCount, 2); // the window's list and the caller
    EXPECT_STREQ(go->title, "g");
    EXPECT_EQ(go->gridenable, 1);
    EXPECT_EQ(go->bgcolor, 0xffffffu);
    EXPECT_EQ(go->starttime, -1.0);
    EXPECT_EQ(go->duration, 1.0);
    EXPECT_EQ(go->graphObjectReserved22, nullptr);
    EXPECT_EQ(go->graphObjectReserved47, nullptr);
    EXPECT_EQ(go->graphObjectGetDisplayWindow(go), f.window);
    TQStream *s = go->graphObjectGetStream(go);
    EXPECT_EQ(s, f.t.s);
    EXPECT_EQ(s->refCount, 2);
    s->streamRelease(&s);
    int32_t v = 0;
    go->graphObjectSetXPos(go, 3);
    go->graphObjectSetHeight(go, 9);
    go->graphObjectGetXPos(go, &v);
    EXPECT_EQ(v, 3);
    go->graphObjectGetHeight(go, &v);
    EXPECT_EQ(v, 9);
    double d = 0;
    go->graphObjectSetStartTime(go, -5.0);
    go->graphObjectGetStartTime(go, &d);
    EXPECT_EQ(d, -5.0);
    go->graphObjectSetBgColor(go, 0x102030);
    go->graphObjectSetGridEnable(go, 0);
    EXPECT_EQ(go->bgcolor, 0x102030u);
    EXPECT_EQ(go->gridenable, 0);
}

TEST(GraphObject, ReleaseAtTwoAndAtOne)
{
    TQGraphObject *go = createGraphObject(nullptr, "free", 0, 0, 0, 0);
    ASSERT_NE(go, nullptr);
    go->graphObjectAddRef(go);
    TQAxisInfo *axis = findAxis(go, "volts", kCreateActive, nullptr);
    findChannelEnable(axis, "a", kCreateActive, nullptr);
    TQAxisInfo *shared = findAxis(go, "hz", kCreateInactive, nullptr);
    shared->axisInfoAddRef(shared); // a layout builder keeps this one

    TQGraphObject *holder = go;
    EXPECT_EQ(go->graphObjectSlotRelease(&holder), 0);
    EXPECT_EQ(holder, go);
    EXPECT_EQ(go->refCount, 1);
    EXPECT_EQ(go->graphObjectSlotRelease(&holder), 0);
    EXPECT_EQ(holder, nullptr);
    // The shared axis survives, unlinked; the other one went with the object.
    EXPECT_EQ(shared->refCount, 1);
    EXPECT_EQ(shared->inactiveLink.owner, nullptr);
    shared->axisInfoRelease(&shared);
    EXPECT_EQ(shared, nullptr);
}

TEST(GraphObject, LockTwiceUnlockTwiceLeavesTheStreamFree)
{
    GraphFixture f;
    TQGraphObject *go = f.go;
    EXPECT_EQ(go->graphObjectLock(go, 1000), 0);
    EXPECT_EQ(go->graphObjectLock(go, 1000), 0);
    EXPECT_EQ(go->lockDepth, 2);
    auto otherThreadGets = [&] {
        int32_t r = 0;
        std::thread th([&] {
            r = f.t.s->streamLock(f.t.s, 0);
            if (r == 0)
                f.t.s->streamUnlock(f.t.s);
        });
        th.join();
        return r == 0;
    };
    EXPECT_FALSE(otherThreadGets());
    EXPECT_EQ(go->graphObjectUnlock(go), 0);
    EXPECT_FALSE(otherThreadGets());
    EXPECT_EQ(go->graphObjectUnlock(go), 0);
    EXPECT_TRUE(otherThreadGets());
    EXPECT_EQ(go->graphObjectUnlock(go), 0); // nothing held: nothing done
    EXPECT_EQ(go->lockDepth, 0);
    EXPECT_TRUE(otherThreadGets());

    // Without window or stream.
    TQGraphObject *loose = createGraphObject(nullptr, "", 0, 0, 0, 0);
    EXPECT_EQ(loose->graphObjectLock(loose, 0), TQS_ERR_FAILED);
    EXPECT_EQ(loose->graphObjectUnlock(loose), TQS_ERR_FAILED);
    loose->graphObjectSlotRelease(&loose);
}

TEST(GraphObject, LockTimesOutWhileAnotherThreadHoldsTheStream)
{
    GraphFixture f;
    std::latch held(1), done(1);
    std::thread th([&] {
        f.t.s->streamLock(f.t.s, 1000);
        held.count_down();
        done.wait();
        f.t.s->streamUnlock(f.t.s);
    });
    held.wait();
    EXPECT_EQ(f.go->graphObjectLock(f.go, 10), TQS_ERR_LOCK_TIMEOUT);
    EXPECT_EQ(f.go->lockDepth, 0);
    done.count_down();
    th.join();
}

TEST(GraphObject, UnlockFromAnotherThreadIsRefusedAndKeepsTheLevels)
{
    GraphFixture f;
    TQGraphObject *go = f.go;
    ASSERT_EQ(go->graphObjectLock(go, 1000), 0);
    int32_t refused = 0, streamTaken = -1;
    std::thread th([&] {
        refused = go->graphObjectUnlock(go);
        streamTaken = f.t.s->streamLock(f.t.s, 0);
        if (streamTaken == 0)
            f.t.s->streamUnlock(f.t.s);
    });
    th.join();
    EXPECT_EQ(refused, TQS_ERR_FAILED);
    EXPECT_EQ(go->lockDepth, 1);
    EXPECT_NE(streamTaken, 0); // still held by this thread
    // The owner gives it back as usual.
    EXPECT_EQ(go->graphObjectUnlock(go), 0);
    EXPECT_EQ(go->lockDepth, 0);
    std::thread again([&] {
        streamTaken = f.t.s->streamLock(f.t.s, 0);
        if (streamTaken == 0)
            f.t.s->streamUnlock(f.t.s);
    });
    again.join();
    EXPECT_EQ(streamTaken, 0);
}

TEST(GraphObject, ReleasedWhileLockedGivesTheStreamBack)
{
    GraphFixture f;
    TQGraphObject *go = f.go;
    ASSERT_EQ(go->graphObjectLock(go, 1000), 0);
    ASSERT_EQ(go->graphObjectLock(go, 1000), 0);
    // Out of its window (the caller now holds the window's reference too),
    // then every reference dropped.
    f.window->displayWindowRemoveGraphObject(f.window, go);
    EXPECT_EQ(go->refCount, 2);
    TQGraphObject *second = go;
    go->graphObjectSlotRelease(&second);
    go->graphObjectSlotRelease(&f.go);
    EXPECT_EQ(f.go, nullptr);
    int32_t r = -1;
    std::thread th([&] {
        r = f.t.s->streamLock(f.t.s, 0);
        if (r == 0)
            f.t.s->streamUnlock(f.t.s);
    });
    th.join();
    EXPECT_EQ(r, 0);
}

TEST(StreamGraphOperations, OnTheDefaultGraphObject)
{
    TestStream t;
    TQStream *s = t.s;
    TQGraphObject *d = s->defaultGraphObject;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(s->streamSetGraphInfo(s, "hz", 1.0, 2.0, 0x123456), 0);
    double c, sp;
    uint32_t col;
    EXPECT_EQ(s->streamGetGraphInfo(s, "hz", &c, &sp, &col), 0);
    EXPECT_EQ(col, 0x123456u);
    EXPECT_EQ(s->streamGetGraphInfo(s, "psi", &c, &sp, &col), TQS_ERR_NO_AXIS);
    EXPECT_EQ(s->streamSetGraphBg(s, 0x010203, 0), 0);
    uint32_t bg = 0;
    int32_t grid = 1;
    EXPECT_EQ(s->streamGetGraphBg(s, &bg, nullptr), 0);
    EXPECT_EQ(s->streamGetGraphBg(s, nullptr, &grid), 0);
    EXPECT_EQ(bg, 0x010203u);
    EXPECT_EQ(grid, 0);
    EXPECT_EQ(s->streamSetGraphBg(nullptr, 0, 0), 0);

    TQStreamChannel *ch = t.add("a", "volts");
    EXPECT_EQ(s->streamSetGraphChannelEnable(ch, 0), 0);
    TQChannelEnable *e = entryNamed(axisNamed(d, "volts"), "a");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->enable, 0);
    EXPECT_EQ(e->channel, ch);
    TQStreamChannel orphan{};
    EXPECT_EQ(s->streamSetGraphChannelEnable(&orphan, 1), 0);

    TQGraphObject *g = s->streamGetGraphObject(s);
    EXPECT_EQ(g, d);
    EXPECT_EQ(d->refCount, 2);
    g->graphObjectSlotRelease(&g);
}

TEST(StreamGraphOperations, DefaultClearedWhenItLeavesItsWindowAndOperationsFailCleanly)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *w = s->streamGetDisplayWindowByIndex(s, 0);
    TQGraphObject *d = s->defaultGraphObject;
    w->displayWindowRemoveGraphObject(w, d);
    EXPECT_EQ(s->defaultGraphObject, nullptr);
    d->graphObjectSlotRelease(&d); // freed: nothing may point at it now
    EXPECT_EQ(d, nullptr);

    double c;
    uint32_t col;
    int32_t grid = 5;
    TQStreamChannel *ch = t.add("a", "volts");
    EXPECT_EQ(s->streamSetGraphInfo(s, "volts", 0, 1, 0), TQS_ERR_FAILED);
    EXPECT_EQ(s->streamGetGraphInfo(s, "volts", &c, &c, &col), TQS_ERR_FAILED);
    EXPECT_EQ(s->streamSetGraphBg(s, 0, 0), TQS_ERR_FAILED);
    EXPECT_EQ(s->streamGetGraphBg(s, &col, &grid), TQS_ERR_FAILED);
    EXPECT_EQ(grid, 5);
    EXPECT_EQ(s->streamSetGraphChannelEnable(ch, 1), TQS_ERR_FAILED);

    // streamGetGraphObject makes a new one in a new window named after the
    // stream, synchronised with the channels.
    TQGraphObject *g = s->streamGetGraphObject(s);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(s->defaultGraphObject, g);
    EXPECT_EQ(g->refCount, 2);
    EXPECT_STREQ(g->title, "t");
    EXPECT_EQ(s->streamGetNumberDisplayWindows(s), 2);
    TQDisplayWindow *w2 = s->streamGetDisplayWindowByIndex(s, 1);
    EXPECT_STREQ(w2->title, "t");
    EXPECT_EQ(w2->refCount, 1);
    EXPECT_EQ(units(g, true), std::vector<std::string>{"volts"});
    EXPECT_EQ(s->streamSetGraphInfo(s, "volts", 0, 1, 0), 0);
    g->graphObjectSlotRelease(&g);
}

TEST(StreamGraphOperations, DefaultForgottenWhenItsWindowIsUnlinkedBehindTheStreamsBack)
{
    TestStream t;
    TQStream *s = t.s;
    // A layout loader takes the window out of the stream's list itself.
    auto *w = static_cast<TQDisplayWindow *>(s->displayWindows.first);
    tqListRemove(&s->displayWindows, w, kWindowStreamLink);
    w->internalRelease(&w);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(s->streamSetGraphBg(s, 0, 0), TQS_ERR_FAILED);
    EXPECT_EQ(s->defaultGraphObject, nullptr);
}

TEST(Exports, NewAxisInfoAndChannelEnable)
{
    TQAxisInfo *a = StreamCommonNewAxisInfo();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(a->enable, 0);
    EXPECT_EQ(a->activeChannels.lastNext, &a->activeChannels.first);
    EXPECT_EQ(a->inactiveChannels.lastNext, &a->inactiveChannels.first);
    EXPECT_NE(a->axisInfoAddRef, nullptr);
    EXPECT_NE(a->axisInfoRelease, nullptr);
    EXPECT_NE(a->axisInfoWriteXML, nullptr);
    EXPECT_NE(a->axisInfoListXML, nullptr);
    TQChannelEnable *e = StreamHandleCommonNewChannelEnable();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->refCount, 1);
    EXPECT_EQ(e->channel, nullptr);
    EXPECT_NE(e->channelEnableWriteXML, nullptr);
    // Linked by hand as a layout loader does, then released: the axis frees
    // the entry it holds.
    tqListAppend(&a->activeChannels, a, e, kEntryActiveLink);
    e->channelEnableAddRef(e);
    e->channelEnableRelease(&e);
    ASSERT_NE(e, nullptr); // the list's reference keeps it
    EXPECT_EQ(e->refCount, 1);
    a->axisInfoRelease(&a);
    EXPECT_EQ(a, nullptr);
}
