// Synchronisation of graph objects with the stream's channels: the layout
// scenarios, graphObjectReset, streamVerifyDisplayWindows, and a seeded
// randomised check of what must hold after every synchronisation.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "display_test_util.h"

using namespace displaytest;
using namespace tq::stream;

namespace
{

// Layout records made as a layout loader makes them: through the exports,
// filled and linked by hand.
TQAxisInfo *layoutAxis(TQGraphObject *go, const char *unit, int enable, bool active, double center = 1.5)
{
    TQAxisInfo *a = StreamCommonNewAxisInfo();
    strcpy(a->eu, unit);
    a->enable = enable;
    a->center = center;
    a->span = 3.0;
    a->color = 0x102030;
    axisAppend(go, a, active);
    TQAxisInfo *copy = a;
    a->axisInfoRelease(&copy);
    return a;
}

TQChannelEnable *layoutEntry(TQAxisInfo *axis, const char *name, int enable, bool active, uint32_t color = 0,
                             int fixed = 0)
{
    TQChannelEnable *e = StreamHandleCommonNewChannelEnable();
    strcpy(e->name, name);
    e->enable = enable;
    e->color = color;
    e->iscolorfixed = fixed;
    entryAppend(axis, e, active);
    TQChannelEnable *copy = e;
    e->channelEnableRelease(&copy);
    return e;
}

struct SyncFixture {
    TestStream t;
    TQDisplayWindow *window;
    TQGraphObject *go; // held by the window only

    SyncFixture()
    {
        window = t.s->streamGetDisplayWindowByIndex(t.s, 0);
        go = t.s->defaultGraphObject;
    }
    void sync() { syncGraphObject(go); }
};

} // namespace

TEST(Sync, EmptyLayoutGetsOneAxisPerUnit)
{
    SyncFixture f;
    f.t.add("a", "volts");
    f.t.add("b", "volts");
    f.t.add("c", "degrees_c");
    f.sync();
    EXPECT_EQ(units(f.go, true), (std::vector<std::string>{"volts", "degrees_c"}));
    EXPECT_TRUE(axes(f.go, false).empty());
    TQAxisInfo *v = axisNamed(f.go, "volts");
    EXPECT_EQ(entryNames(v, true), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(entryNames(axisNamed(f.go, "degrees_c"), true), std::vector<std::string>{"c"});
    for (TQAxisInfo *a : axes(f.go, true)) {
        EXPECT_EQ(a->enable, 1);
        EXPECT_EQ(a->visible, 1);
        EXPECT_EQ(a->refCount, 1);
    }
    EXPECT_EQ(v->center, 0.0);
    EXPECT_EQ(v->span, 20.0);
    EXPECT_EQ(entryNamed(v, "a")->color, 0x006699u);
    EXPECT_EQ(entryNamed(v, "a")->channel, f.t.channels[0].get());
    EXPECT_EQ(entryNamed(v, "b")->enable, 1);
}

TEST(Sync, AbsentChannelIsParkedAndComesBackAfterTheActiveEntries)
{
    SyncFixture f;
    f.t.add("a", "volts");
    TQAxisInfo *v = layoutAxis(f.go, "volts", 1, true);
    TQChannelEnable *x = layoutEntry(v, "x", 0, true, 0xaabbcc, 1);
    layoutEntry(v, "a", 1, true);
    f.sync();
    EXPECT_EQ(entryNames(v, true), std::vector<std::string>{"a"});
    EXPECT_EQ(entryNames(v, false), std::vector<std::string>{"x"});
    EXPECT_EQ(x->channel, nullptr);
    EXPECT_EQ(x->enable, 0);
    EXPECT_EQ(x->color, 0xaabbccu);
    EXPECT_EQ(x->iscolorfixed, 1);
    EXPECT_EQ(v->center, 1.5); // the layout's settings stay
    EXPECT_EQ(v->visible, 1);

    f.t.add("b", "volts");
    f.sync();
    TQStreamChannel *xc = f.t.add("x", "volts");
    f.sync();
    EXPECT_EQ(entryNames(v, true), (std::vector<std::string>{"a", "b", "x"}));
    EXPECT_TRUE(entryNames(v, false).empty());
    EXPECT_EQ(x->channel, xc);
    EXPECT_EQ(x->enable, 0);
    EXPECT_EQ(x->color, 0xaabbccu);
    EXPECT_EQ(x->refCount, 1);
}

TEST(Sync, AxisWithoutChannelsIsParkedInvisible)
{
    SyncFixture f;
    f.t.add("a", "volts");
    TQAxisInfo *hz = layoutAxis(f.go, "hz", 1, true);
    layoutEntry(hz, "f1", 1, true);
    hz->visible = 1;
    layoutAxis(f.go, "volts", 1, true);
    f.sync();
    EXPECT_EQ(units(f.go, true), std::vector<std::string>{"volts"});
    EXPECT_EQ(units(f.go, false), std::vector<std::string>{"hz"});
    EXPECT_EQ(hz->visible, 0);
    EXPECT_EQ(hz->refCount, 1);
    EXPECT_EQ(entryNames(hz, false), std::vector<std::string>{"f1"});
}

TEST(Sync, EntryWhoseChannelChangedUnitIsRemadeUnderTheNewUnit)
{
    SyncFixture f;
    f.t.add("a", "volts");
    f.t.add("m", "volts");
    f.sync();
    TQAxisInfo *v = axisNamed(f.go, "volts");
    TQChannelEnable *old = entryNamed(v, "m");
    old->enable = 0;
    old->iscolorfixed = 1;
    old->color = 0x010101;
    old->channelEnableAddRef(old); // watch it leave
    f.t.setUnit("m", "hz");
    f.sync();
    EXPECT_EQ(old->refCount, 1); // dropped by the axis
    EXPECT_EQ(old->activeLink.owner, nullptr);
    old->channelEnableRelease(&old);
    EXPECT_EQ(entryNames(v, true), std::vector<std::string>{"a"});
    TQChannelEnable *m = entryNamed(axisNamed(f.go, "hz"), "m");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->enable, 1);
    EXPECT_EQ(m->iscolorfixed, 0);
    EXPECT_EQ(m->color, 0x009900u);
}

TEST(Sync, VisibilityOfRevivedAndGrownAxes)
{
    struct Case {
        const char *name;
        int axisEnable;
        int entryEnable;
        bool channelIsNew; // else the layout's entry comes back
        int expectVisible;
    } cases[] = {
        {"revived, enabled, entries disabled", 1, 0, false, 1},
        {"revived, disabled", 0, 1, false, 0},
        {"new entry, disabled axis", 0, 0, true, 1},
        {"new entry, enabled axis", 1, 0, true, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SyncFixture f;
        TQAxisInfo *hz = layoutAxis(f.go, "hz", c.axisEnable, false);
        layoutEntry(hz, "f1", c.entryEnable, false);
        f.t.add(c.channelIsNew ? "f2" : "f1", "hz");
        f.sync();
        EXPECT_EQ(units(f.go, true), std::vector<std::string>{"hz"});
        EXPECT_EQ(hz->visible, c.expectVisible);
        EXPECT_EQ(hz->enable, c.axisEnable);
    }
}

TEST(Sync, ActiveAxisVisibilityFollowsItsEnabledEntries)
{
    struct Case {
        int axisEnable, entryEnable, expectVisible;
    } cases[] = {{1, 1, 1}, {1, 0, 0}, {0, 1, 0}};
    for (const Case &c : cases) {
        SyncFixture f;
        f.t.add("a", "volts");
        TQAxisInfo *v = layoutAxis(f.go, "volts", c.axisEnable, true);
        layoutEntry(v, "a", c.entryEnable, true);
        v->visible = 1 - c.expectVisible;
        f.sync();
        EXPECT_EQ(v->visible, c.expectVisible) << c.axisEnable << c.entryEnable;
    }
}

TEST(Sync, ResetGivesTheDefaultLayout)
{
    SyncFixture f;
    f.t.add("a", "volts");
    f.t.add("c", "degrees_c");
    f.t.add("b", "volts");
    TQAxisInfo *hz = layoutAxis(f.go, "hz", 1, true);
    layoutEntry(hz, "gone", 1, true);
    TQAxisInfo *v = layoutAxis(f.go, "volts", 0, false, 99.0);
    layoutEntry(v, "b", 0, true, 0x111111, 1);
    f.go->bgcolor = 0;
    f.go->gridenable = 0;
    EXPECT_EQ(f.go->graphObjectReset(f.go), 0);
    EXPECT_EQ(f.go->bgcolor, 0xffffffu);
    EXPECT_EQ(f.go->gridenable, 1);
    EXPECT_EQ(units(f.go, true), (std::vector<std::string>{"volts", "degrees_c"}));
    EXPECT_TRUE(units(f.go, false).empty());
    TQAxisInfo *nv = axisNamed(f.go, "volts");
    EXPECT_EQ(nv->center, 0.0);
    EXPECT_EQ(entryNames(nv, true), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(entryNamed(nv, "b")->enable, 1);
    EXPECT_EQ(entryNamed(nv, "b")->iscolorfixed, 0);

    // Without a stream only the background and the grid are reset.
    TQGraphObject *loose = createGraphObject(nullptr, "", 0, 0, 0, 0);
    loose->bgcolor = 1;
    loose->gridenable = 0;
    findAxis(loose, "volts", kCreateActive, nullptr);
    EXPECT_EQ(loose->graphObjectReset(loose), 0);
    EXPECT_EQ(loose->bgcolor, 0xffffffu);
    EXPECT_EQ(loose->gridenable, 1);
    EXPECT_EQ(units(loose, true), std::vector<std::string>{"volts"});
    loose->graphObjectSlotRelease(&loose);
}

TEST(Sync, VerifyDisplayWindowsSyncsEveryGraphObject)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *w = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
    TQGraphObject *g = w->displayWindowNewGraphObject(w, "g", 0, 0, 0, 0);
    t.add("a", "volts");
    EXPECT_TRUE(axes(g, true).empty());
    EXPECT_EQ(s->streamVerifyDisplayWindows(s), 0);
    EXPECT_EQ(units(g, true), std::vector<std::string>{"volts"});
    EXPECT_EQ(units(s->defaultGraphObject, true), std::vector<std::string>{"volts"});
    // A graph object made in a window is synchronised at once.
    TQGraphObject *h = w->displayWindowNewGraphObject(w, "h", 0, 0, 0, 0);
    EXPECT_EQ(units(h, true), std::vector<std::string>{"volts"});
    g->graphObjectSlotRelease(&g);
    h->graphObjectSlotRelease(&h);
    w->displayWindowSlotRelease(&w);
}

TEST(Sync, ChannelsTheOwnerCannotHandOutAreSkipped)
{
    SyncFixture f;
    f.t.add("a", "volts");
    setNumberChannels(f.t.s, 3); // two indexes without a channel record
    f.sync();
    EXPECT_EQ(units(f.go, true), std::vector<std::string>{"volts"});
}

// ---- invariants after every synchronisation --------------------------------------

namespace
{

void checkList(TQListHead *head, size_t link, void *owner, std::set<void *> &seen)
{
    void *prev = nullptr;
    void **lastNext = &head->first;
    for (void *e = head->first; e; e = tqListNext(e, link)) {
        TQListLink *l = TQ_LIST_LINK(e, link);
        ASSERT_EQ(l->owner, owner);
        ASSERT_EQ(l->previous, prev);
        ASSERT_TRUE(seen.insert(e).second) << "element in two lists";
        prev = e;
        lastNext = &l->next;
    }
    ASSERT_EQ(head->last, prev);
    ASSERT_EQ(head->lastNext, lastNext);
}

// How much of the layout the randomised run kept parked, so that the run is
// known to have reached those paths.
int parkedAxesSeen = 0;
int parkedEntriesSeen = 0;

void checkInvariants(TestStream &t, TQGraphObject *go)
{
    std::set<void *> seenAxes, seenEntries;
    checkList(&go->activeAxes, kAxisActiveLink, go, seenAxes);
    checkList(&go->inactiveAxes, kAxisInactiveLink, go, seenAxes);
    std::map<std::string, int> entriesByName;
    std::set<std::string> unitsSeen;
    for (bool active : {true, false})
        for (TQAxisInfo *a : axes(go, active)) {
            ASSERT_EQ(a->refCount, 1) << a->eu;
            ASSERT_TRUE(unitsSeen.insert(a->eu).second) << "two axes for " << a->eu;
            ASSERT_EQ((active ? a->inactiveLink : a->activeLink).owner, nullptr);
            checkList(&a->activeChannels, kEntryActiveLink, a, seenEntries);
            checkList(&a->inactiveChannels, kEntryInactiveLink, a, seenEntries);
            // No active axis without a bound entry.
            if (active) {
                ASSERT_FALSE(entryNames(a, true).empty()) << a->eu;
            } else {
                ++parkedAxesSeen;
                ASSERT_TRUE(entryNames(a, true).empty()) << a->eu;
            }
            for (bool entryActive : {true, false})
                for (const std::string &n : entryNames(a, entryActive)) {
                    TQChannelEnable *e = entryNamed(a, n);
                    ASSERT_EQ(e->refCount, 1) << n;
                    ++entriesByName[n];
                    TQStreamChannel *present = t.s->streamGetChannel(t.s, n.c_str());
                    if (entryActive) {
                        ASSERT_NE(present, nullptr) << n;
                        ASSERT_EQ(e->channel, present) << n;
                        ASSERT_STREQ(present->eu, a->eu) << n;
                    } else {
                        ++parkedEntriesSeen;
                        ASSERT_EQ(present, nullptr) << n << " parked while present";
                        ASSERT_EQ(e->channel, nullptr) << n;
                    }
                }
        }
    // Every channel of the stream: exactly one entry, under the active axis
    // of its unit.
    for (auto &c : t.channels) {
        ASSERT_EQ(entriesByName[c->name], 1) << c->name;
        bool underItsAxis = false;
        for (TQAxisInfo *a : axes(go, true))
            if (std::string(a->eu) == c->eu)
                underItsAxis = entryNamed(a, c->name) != nullptr;
        ASSERT_TRUE(underItsAxis) << c->name;
    }
}

} // namespace

TEST(Sync, RandomisedInvariants)
{
    const char *unitPool[] = {"volts", "hz", "kelvins", "counts", "psi"};
    for (uint32_t seed = 1; seed <= 25; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
        TestStream t;
        TQStream *s = t.s;
        TQDisplayWindow *w = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
        TQGraphObject *extra = w->displayWindowNewGraphObject(w, "extra", 0, 0, 0, 0);
        TQGraphObject *gos[] = {s->defaultGraphObject, extra};

        for (int step = 0; step < 200; ++step) {
            std::string name = "c" + std::to_string(pick(12));
            const char *unit = unitPool[pick(5)];
            TQGraphObject *go = gos[pick(2)];
            bool present = s->streamGetChannel(s, name.c_str()) != nullptr;
            switch (pick(11)) {
            case 0:
            case 1:
                if (!present)
                    t.add(name, unit);
                break;
            case 2:
                t.remove(name);
                break;
            case 3:
                t.setUnit(name, unit);
                break;
            case 4:
                go->graphObjectSetChannelEnable(go, name.c_str(), pick(2));
                break;
            case 5:
                go->graphObjectSetAxisEnable(go, unit, pick(2));
                break;
            case 6:
                go->graphObjectSetAxisSelected(go, unit);
                break;
            case 7: {
                // A layout loader's record for any name, in either list.
                TQAxisInfo *a = findAxis(go, unit, 1 + pick(2), nullptr);
                if (a)
                    findChannelEnable(a, name.c_str(), 1 + pick(2), nullptr);
                break;
            }
            case 8:
                go->graphObjectSetChannelColor(go, name.c_str(), rng() & 0xffffff);
                break;
            case 9:
                go->graphObjectReset(go);
                break;
            default:
                go->graphObjectResetChannel(go, name.c_str());
                break;
            }
            if (pick(3) == 0) {
                s->streamVerifyDisplayWindows(s);
                for (TQGraphObject *g : gos) {
                    checkInvariants(t, g);
                    if (HasFatalFailure())
                        return;
                }
            }
        }
        extra->graphObjectSlotRelease(&extra);
        w->displayWindowSlotRelease(&w);
    }
    EXPECT_GT(parkedAxesSeen, 0);
    EXPECT_GT(parkedEntriesSeen, 0);
}
