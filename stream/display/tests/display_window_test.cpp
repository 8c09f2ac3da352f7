// Display windows and their lists, the stream's default window and graph
// object, and the time window of a graph object.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "display_test_util.h"

using namespace displaytest;
using namespace tq::stream;

TEST(DisplayWindow, NewStreamHasItsDefaultWindowAndGraphObject)
{
    TestStream t;
    TQStream *s = t.s;
    ASSERT_EQ(s->streamGetNumberDisplayWindows(s), 1);
    TQDisplayWindow *w = s->streamGetDisplayWindowByIndex(s, 0);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->title, "");
    EXPECT_EQ(w->x, -1);
    EXPECT_EQ(w->y, -1);
    EXPECT_EQ(w->width, -1);
    EXPECT_EQ(w->height, -1);
    EXPECT_EQ(w->refCount, 1);
    EXPECT_EQ(w->bgcolor, 0u);
    EXPECT_EQ(w->streamLink.owner, s);
    EXPECT_EQ(w->displayWindowGetNumberGraphObjects(w), 1);
    TQGraphObject *go = w->displayWindowGetGraphObjectByIndex(w, 0);
    EXPECT_EQ(go, s->defaultGraphObject);
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->refCount, 1);
    EXPECT_STREQ(go->title, "");
    EXPECT_EQ(go->xpos, -1);
    EXPECT_EQ(go->ypos, -1);
    EXPECT_EQ(go->width, -1);
    EXPECT_EQ(go->height, -1);
    EXPECT_EQ(w->displayWindowGetNumberWidgets(w), 0);
    EXPECT_EQ(w->displayWindowGetWidgetByIndex(w, 0), nullptr);
}

TEST(DisplayWindow, ReferenceCounts)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *w = s->streamNewDisplayWindow(s, "second", 1, 2, 3, 4);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->refCount, 2);
    TQDisplayWindow *holder = w;
    EXPECT_EQ(w->displayWindowSlotRelease(&holder), 0);
    EXPECT_EQ(holder, w);
    EXPECT_EQ(w->refCount, 1);
    EXPECT_EQ(s->streamGetNumberDisplayWindows(s), 2);

    TQDisplayWindow *found = s->streamGetDisplayWindow(s, "second");
    EXPECT_EQ(found, w);
    EXPECT_EQ(w->refCount, 2);
    found->displayWindowSlotRelease(&found);

    TQGraphObject *g = w->displayWindowNewGraphObject(w, "g", 0, 0, 0, 0);
    EXPECT_EQ(g->refCount, 2);
    TQGraphObject *byTitle = w->displayWindowGetGraphObjectByTitle(w, "g");
    EXPECT_EQ(byTitle, g);
    EXPECT_EQ(g->refCount, 3);
    EXPECT_EQ(w->displayWindowGetGraphObjectByTitle(w, "h"), nullptr);
    EXPECT_EQ(w->displayWindowGetGraphObjectByIndex(w, 0), g);
    EXPECT_EQ(g->refCount, 3); // no reference by index
    byTitle->graphObjectSlotRelease(&byTitle);

    // Remove: the list's reference passes to the caller; its release frees
    // a graph object nobody else holds.
    w->displayWindowRemoveGraphObject(w, g);
    EXPECT_EQ(g->refCount, 2);
    EXPECT_EQ(g->windowLink.owner, nullptr);
    EXPECT_EQ(w->displayWindowGetNumberGraphObjects(w), 0);
    // Add: the caller's reference passes to the list.
    w->displayWindowAddGraphObject(w, g);
    EXPECT_EQ(g->refCount, 2);
    EXPECT_EQ(g->windowLink.owner, w);
    w->displayWindowRemoveGraphObject(w, g);
    TQGraphObject *h1 = g, *h2 = g;
    g->graphObjectSlotRelease(&h1);
    EXPECT_EQ(g->refCount, 1);
    g->graphObjectSlotRelease(&h2);
    EXPECT_EQ(h2, nullptr);

    // A new graph object added leaves its count unchanged.
    TQGraphObject *loose = createGraphObject(nullptr, "loose", 0, 0, 0, 0);
    loose->graphObjectAddRef(loose);
    w->displayWindowAddGraphObject(w, loose);
    EXPECT_EQ(loose->refCount, 2);
    loose->graphObjectSlotRelease(&loose);
}

TEST(DisplayWindow, AddOrRemoveAcrossWindowsIsRefused)
{
    struct Case {
        const char *name;
        bool add; // else remove
        bool fromOther;
    } cases[] = {
        {"add one of another window", true, true},
        {"add one already in this window", true, false},
        {"remove one of another window", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestStream t;
        TQStream *s = t.s;
        TQDisplayWindow *a = s->streamNewDisplayWindow(s, "a", 0, 0, 0, 0);
        TQDisplayWindow *b = s->streamNewDisplayWindow(s, "b", 0, 0, 0, 0);
        TQGraphObject *ga = a->displayWindowNewGraphObject(a, "ga", 0, 0, 0, 0);
        TQGraphObject *gb = b->displayWindowNewGraphObject(b, "gb", 0, 0, 0, 0);
        TQDisplayWindow *target = c.fromOther ? b : a;
        if (c.add) {
            ga->graphObjectAddRef(ga); // the reference the caller hands over
            target->displayWindowAddGraphObject(target, ga);
            EXPECT_EQ(ga->refCount, 2); // consumed all the same
        } else {
            target->displayWindowRemoveGraphObject(target, ga);
            EXPECT_EQ(ga->refCount, 3); // the caller's new reference only
            ga->graphObjectSlotRelease(&ga);
            ga = a->displayWindowGetGraphObjectByIndex(a, 0);
        }
        // Both lists intact.
        EXPECT_EQ(ga->windowLink.owner, a);
        EXPECT_EQ(a->displayWindowGetNumberGraphObjects(a), 1);
        EXPECT_EQ(a->graphObjects.first, ga);
        EXPECT_EQ(a->graphObjects.last, ga);
        EXPECT_EQ(b->displayWindowGetNumberGraphObjects(b), 1);
        EXPECT_EQ(b->graphObjects.first, gb);
        EXPECT_EQ(b->graphObjects.last, gb);
        EXPECT_EQ(gb->windowLink.next, nullptr);
        ga->graphObjectSlotRelease(&ga);
        gb->graphObjectSlotRelease(&gb);
        a->displayWindowSlotRelease(&a);
        b->displayWindowSlotRelease(&b);
    }
}

TEST(DisplayWindow, LookupsAndTitles)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *first = s->streamNewDisplayWindow(s, "same", 0, 0, 0, 0);
    TQDisplayWindow *second = s->streamNewDisplayWindow(s, "same", 0, 0, 0, 0);
    TQDisplayWindow *found = s->streamGetDisplayWindow(s, "same");
    EXPECT_EQ(found, first);
    found->displayWindowSlotRelease(&found);
    EXPECT_EQ(s->streamGetDisplayWindow(s, "other"), nullptr);

    struct IndexCase {
        int32_t index;
        TQDisplayWindow *expected;
    } cases[] = {{-1, s->streamGetDisplayWindowByIndex(s, 0)},
                 {0, s->streamGetDisplayWindowByIndex(s, 0)},
                 {1, first},
                 {2, second},
                 {3, nullptr},
                 {1000, nullptr}};
    for (const IndexCase &c : cases)
        EXPECT_EQ(s->streamGetDisplayWindowByIndex(s, c.index), c.expected) << c.index;

    std::string longTitle(200, 'w');
    first->displayWindowSetTitle(first, longTitle.c_str());
    EXPECT_EQ(strlen(first->title), 127u);
    first->displayWindowSetTitle(first, "12345678");
    struct TitleCase {
        int32_t size;
        const char *expected;
    } titles[] = {{1, ""}, {5, "1234"}, {9, "12345678"}, {64, "12345678"}};
    for (const TitleCase &c : titles) {
        char buf[64];
        memset(buf, 'x', sizeof buf);
        first->displayWindowGetTitle(first, buf, c.size);
        EXPECT_STREQ(buf, c.expected) << c.size;
    }
    int32_t v = 0;
    first->displayWindowSetXPos(first, 10);
    first->displayWindowSetYPos(first, 11);
    first->displayWindowSetWidth(first, 12);
    first->displayWindowSetHeight(first, 13);
    first->displayWindowSetBgColor(first, 0xabcdef);
    first->displayWindowGetXPos(first, &v);
    EXPECT_EQ(v, 10);
    first->displayWindowGetYPos(first, &v);
    EXPECT_EQ(v, 11);
    first->displayWindowGetWidth(first, &v);
    EXPECT_EQ(v, 12);
    first->displayWindowGetHeight(first, &v);
    EXPECT_EQ(v, 13);
    EXPECT_EQ(first->bgcolor, 0xabcdefu);

    first->displayWindowSlotRelease(&first);
    second->displayWindowSlotRelease(&second);
    // Every window released out of the stream: no index finds one.
    while (auto *w = s->streamGetDisplayWindowByIndex(s, 0))
        w->displayWindowReleaseGraphObjects(w);
    for (int32_t i : {-1, 0, 1})
        EXPECT_EQ(s->streamGetDisplayWindowByIndex(s, i), nullptr);
    EXPECT_EQ(s->streamGetNumberDisplayWindows(s), 0);
    EXPECT_EQ(s->defaultGraphObject, nullptr);
}

TEST(DisplayWindow, ReleaseGraphObjectsOfAnUnlinkedWindow)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *w = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
    TQGraphObject *kept = w->displayWindowNewGraphObject(w, "kept", 0, 0, 0, 0);
    TQGraphObject *dropped = w->displayWindowNewGraphObject(w, "dropped", 0, 0, 0, 0);
    dropped->graphObjectSlotRelease(&dropped);
    EXPECT_EQ(w->displayWindowReleaseGraphObjects(w), 0); // leaves the stream too
    EXPECT_EQ(w->streamLink.owner, nullptr);
    EXPECT_EQ(w->refCount, 1);
    EXPECT_EQ(s->streamGetNumberDisplayWindows(s), 1);
    EXPECT_EQ(kept->refCount, 1);
    EXPECT_EQ(kept->windowLink.owner, nullptr);
    // Not linked any more: only its graph objects go.
    TQGraphObject *again = w->displayWindowNewGraphObject(w, "again", 0, 0, 0, 0);
    EXPECT_EQ(again->refCount, 2);
    EXPECT_EQ(w->displayWindowReleaseGraphObjects(w), 0);
    EXPECT_EQ(again->refCount, 1);
    EXPECT_EQ(w->refCount, 1);
    again->graphObjectSlotRelease(&again);
    kept->graphObjectSlotRelease(&kept);
    w->displayWindowSlotRelease(&w);
    EXPECT_EQ(w, nullptr);
}

namespace
{

// A widget record as a caller would make one: counted, released through
// its hook.
struct WidgetLog {
    int released = 0;
};
WidgetLog widgetLog;

int32_t widgetAddRef(TQWidget *w)
{
    ++w->refCount;
    return 0;
}

int32_t widgetRelease(TQWidget **holder)
{
    TQWidget *w = *holder;
    if (--w->refCount <= 0) {
        ++widgetLog.released;
        free(w);
        *holder = nullptr;
    }
    return 0;
}

TQWidget *linkWidget(TQDisplayWindow *window, const char *title)
{
    auto *w = static_cast<TQWidget *>(calloc(1, sizeof(TQWidget)));
    w->refCount = 1;
    strncpy(w->title, title, sizeof w->title - 1);
    w->widgetAddRef = w->internalAddRef = widgetAddRef;
    w->widgetRelease = w->internalRelease = widgetRelease;
    tqListAppend(&window->widgets, window, w, kWidgetLink);
    w->internalAddRef(w);
    return w;
}

} // namespace

TEST(DisplayWindow, WidgetLookupsAndReleaseUnlinksWidgets)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *w = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
    TQWidget *held = linkWidget(w, "held");
    TQWidget *listOnly = linkWidget(w, "list only");
    listOnly->widgetRelease(&listOnly);
    EXPECT_EQ(w->displayWindowGetNumberWidgets(w), 2);
    TQWidget *byTitle = w->displayWindowGetWidgetByTitle(w, "held");
    EXPECT_EQ(byTitle, held);
    EXPECT_EQ(held->refCount, 2); // no reference added
    EXPECT_EQ(w->displayWindowGetWidgetByTitle(w, "none"), nullptr);
    EXPECT_EQ(w->displayWindowGetWidgetByIndex(w, 1), listOnly);               // still held by the list
    TQWidget *dial = w->displayWindowNewWidget(w, 0, "dial", 0, 0, 10, 10);
    ASSERT_NE(dial, nullptr);
    EXPECT_EQ(w->displayWindowGetWidgetByIndex(w, 2), dial); // appended
    dial->widgetRelease(&dial);                               // the list keeps it
    EXPECT_EQ(w->displayWindowGetNumberWidgets(w), 3);

    widgetLog.released = 0;
    w->displayWindowReleaseGraphObjects(w);
    w->displayWindowSlotRelease(&w);
    EXPECT_EQ(w, nullptr);
    // The list's references were dropped; the held widget no longer points
    // at the freed window.
    EXPECT_EQ(widgetLog.released, 1);
    EXPECT_EQ(held->refCount, 1);
    EXPECT_EQ(held->link.owner, nullptr);
    held->widgetRelease(&held);
}

TEST(DisplayWindow, StreamDestructionFreesTheModelButNotWhatOthersHold)
{
    TQGraphObject *held = nullptr;
    TQDisplayWindow *heldWindow = nullptr;
    TQAxisInfo *heldAxis = nullptr;
    {
        TestStream t;
        TQStream *s = t.s;
        t.add("a", "volts");
        heldWindow = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
        held = heldWindow->displayWindowNewGraphObject(heldWindow, "g", 0, 0, 0, 0);
        heldAxis = axisNamed(held, "volts");
        heldAxis->axisInfoAddRef(heldAxis);
        ASSERT_EQ(held->graphObjectLock(held, 100), 0);
    }
    // Everything is unlinked from the gone stream and its channels.
    EXPECT_EQ(heldWindow->streamLink.owner, nullptr);
    EXPECT_EQ(heldWindow->refCount, 1);
    EXPECT_EQ(held->windowLink.owner, nullptr);
    EXPECT_EQ(held->refCount, 1);
    EXPECT_EQ(held->lockDepth, 0);
    EXPECT_EQ(heldAxis->refCount, 1);
    EXPECT_EQ(heldAxis->activeChannels.first, nullptr);
    EXPECT_EQ(held->graphObjectUnlock(held), TQS_ERR_FAILED);
    heldAxis->axisInfoRelease(&heldAxis);
    held->graphObjectSlotRelease(&held);
    heldWindow->displayWindowSlotRelease(&heldWindow);
    EXPECT_EQ(held, nullptr);
    EXPECT_EQ(heldWindow, nullptr);
}

TEST(DisplayWindow, FirstGraphObjectOfAStreamWithoutDefaultBecomesIt)
{
    TestStream t;
    TQStream *s = t.s;
    auto *w0 = s->streamGetDisplayWindowByIndex(s, 0);
    w0->displayWindowReleaseGraphObjects(w0);
    EXPECT_EQ(s->defaultGraphObject, nullptr);
    TQDisplayWindow *w = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
    TQGraphObject *g1 = w->displayWindowNewGraphObject(w, "1", 0, 0, 0, 0);
    TQGraphObject *g2 = w->displayWindowNewGraphObject(w, "2", 0, 0, 0, 0);
    EXPECT_EQ(s->defaultGraphObject, g1);
    g1->graphObjectSlotRelease(&g1);
    g2->graphObjectSlotRelease(&g2);
    w->displayWindowSlotRelease(&w);
}

// ---- time windows -------------------------------------------------------------

TEST(TimeWindow, RescaleAndResetTable)
{
    enum Op { Rescale, Reset };
    struct Case {
        const char *name;
        int64_t first, avail;
        double rate;
        double start, duration;
        Op op;
        double a, b; // zoom and shift, or resetStart and resetDuration
        double expectStart, expectDuration;
    } cases[] = {
        // Live windows over 3000 kept scans at 100 scans/s (oldest at -30 s).
        {"live shift -5", 0, 3000, 100, -10, 10, Rescale, 1, -5, -15, 10},
        {"live shift -20 from -15 begins at the oldest", 0, 3000, 100, -15, 10, Rescale, 1, -20, -30, 10},
        {"live zoom 2", 0, 3000, 100, -10, 10, Rescale, 2, 0, -20, 20},
        {"live zoom 5 limited to the kept data", 0, 3000, 100, -10, 10, Rescale, 5, 0, -30, 30},
        {"live shift +5 keeps the end at the newest", 0, 3000, 100, -10, 10, Rescale, 1, 5, -10, 10},
        {"live zoom 0.5", 0, 3000, 100, -10, 10, Rescale, 0.5, 0, -5, 5},
        // Absolute windows over 20 s of data.
        {"absolute shift +100 stops at the end", 0, 2000, 100, 0, 5, Rescale, 1, 100, 15, 5},
        {"absolute shift -100 stops at 0", 0, 2000, 100, 10, 5, Rescale, 1, -100, 0, 5},
        {"absolute zoom 0.5", 0, 2000, 100, 0, 5, Rescale, 0.5, 0, 0, 2.5},
        {"absolute zoom 10 from 15", 0, 2000, 100, 15, 5, Rescale, 10, 0, 15, 5},
        {"absolute window longer than the data stays absolute", 0, 2000, 100, 0, 30, Rescale, 1, 1, 0, 20},
        {"absolute with dropped scans", 1000, 2000, 100, 0, 5, Rescale, 1, 100, 25, 5},
        // Resets.
        {"live reset both", 0, 1000, 100, -1, 1, Reset, 1, 1, -10, 10},
        {"live reset start", 0, 1000, 100, -3, 2, Reset, 1, 0, -2, 2},
        {"live reset duration keeps the end", 0, 1000, 100, -3, 2, Reset, 0, 1, -10, 9},
        {"absolute reset both", 500, 1000, 100, 7, 1, Reset, 1, 1, 5, 10},
        {"absolute reset duration", 0, 1000, 100, 4, 1, Reset, 0, 1, 4, 6},
        {"reset nothing", 0, 1000, 100, 4, 1, Reset, 0, 0, 4, 1},
        // Nothing to measure by: the window stays.
        {"rate 0", 0, 1000, 0, -10, 10, Rescale, 2, 1, -10, 10},
        {"rate 0 reset", 0, 1000, 0, -10, 10, Reset, 1, 1, -10, 10},
        {"zoom 0", 0, 1000, 100, -5, 5, Rescale, 0, 0, -5, 5},
        {"negative zoom", 0, 1000, 100, 0, 5, Rescale, -1, 0, 0, 5},
        {"NaN shift", 0, 1000, 100, 0, 5, Rescale, 1, NAN, 0, 5},
        {"live reset over no data stays live", 0, 0, 100, -2, 2, Reset, 1, 1, -2, 2},
        {"live rescale over no data keeps its length", 0, 0, 100, -2, 2, Rescale, 1, 0, -2, 2},
        {"absolute at the end of the data keeps its length", 0, 1000, 100, 10, 5, Rescale, 1, 0, 5, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestStream t(c.rate);
        t.first = c.first;
        t.avail = c.avail;
        TQGraphObject *go = t.s->defaultGraphObject;
        go->starttime = c.start;
        go->duration = c.duration;
        if (c.op == Rescale)
            EXPECT_EQ(go->graphObjectRescaleDomain(go, c.a, c.b), 0);
        else
            EXPECT_EQ(go->graphObjectResetDomain(go, static_cast<int32_t>(c.a), static_cast<int32_t>(c.b)), 0);
        EXPECT_NEAR(go->starttime, c.expectStart, 1e-9);
        EXPECT_NEAR(go->duration, c.expectDuration, 1e-9);
        EXPECT_EQ(std::signbit(go->starttime), std::signbit(c.expectStart));
        // The temporary readers are gone again.
        EXPECT_EQ(firstReader(t.s), nullptr);
    }
}

TEST(TimeWindow, WithoutWindowOrReaderNothingChanges)
{
    TQGraphObject *loose = createGraphObject(nullptr, "", 0, 0, 0, 0);
    loose->graphObjectRescaleDomain(loose, 2, 1);
    loose->graphObjectResetDomain(loose, 1, 1);
    EXPECT_EQ(loose->starttime, -1.0);
    EXPECT_EQ(loose->duration, 1.0);
    loose->graphObjectSlotRelease(&loose);

    // A stream whose owner supplies no readers.
    TQStream *s = newStream("plain", 100, nullptr);
    TQGraphObject *go = s->defaultGraphObject;
    go->graphObjectRescaleDomain(go, 2, 1);
    go->graphObjectResetDomain(go, 1, 1);
    EXPECT_EQ(go->starttime, -1.0);
    EXPECT_EQ(go->duration, 1.0);
    destroyStream(s);
}

TEST(DisplayWindow, RecordsReleasedOnceTooOftenLeaveTheirLists)
{
    TestStream t;
    TQStream *s = t.s;
    TQDisplayWindow *w = s->streamNewDisplayWindow(s, "w", 0, 0, 0, 0);
    TQGraphObject *g = w->displayWindowNewGraphObject(w, "g", 0, 0, 0, 0);
    TQGraphObject *g2 = g;
    g->graphObjectSlotRelease(&g);
    g2->graphObjectSlotRelease(&g2); // the window list's reference as well
    EXPECT_EQ(g2, nullptr);
    EXPECT_EQ(w->displayWindowGetNumberGraphObjects(w), 0);
    EXPECT_EQ(w->graphObjects.lastNext, &w->graphObjects.first);

    TQDisplayWindow *w2 = w;
    w->displayWindowSlotRelease(&w);
    w2->displayWindowSlotRelease(&w2); // the stream list's reference as well
    EXPECT_EQ(w2, nullptr);
    EXPECT_EQ(s->streamGetNumberDisplayWindows(s), 1);
    EXPECT_NE(s->defaultGraphObject, nullptr);
}

TEST(DisplayWindow, LockedGraphObjectOutsideItsWindowOutlivesItsStream)
{
    TQGraphObject *held = nullptr;
    {
        TestStream t;
        TQDisplayWindow *w = t.s->streamGetDisplayWindowByIndex(t.s, 0);
        held = w->displayWindowNewGraphObject(w, "g", 0, 0, 0, 0);
        ASSERT_EQ(held->graphObjectLock(held, 100), 0);
        ASSERT_EQ(held->graphObjectLock(held, 100), 0);
        w->displayWindowRemoveGraphObject(w, held); // now held twice by the test
        TQGraphObject *copy = held;
        held->graphObjectSlotRelease(&copy);
        EXPECT_EQ(held->lockDepth, 2);
    }
    // The stream took its levels back when it went.
    EXPECT_EQ(held->lockDepth, 0);
    EXPECT_EQ(held->graphObjectUnlock(held), TQS_ERR_FAILED);
    held->graphObjectSlotRelease(&held);
    EXPECT_EQ(held, nullptr);
}
