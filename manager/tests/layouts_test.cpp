// Stored display layouts: trees saved from one stream and loaded into
// another of the same name come back equal; a failed save keeps the old tree;
// a failed load keeps the live one; loading relinks under the stream's lock.
#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "inside_session.h"

using namespace mtest;
using namespace tq::manager;

namespace
{

TQStreamHandles handles()
{
    TQStreamHandles h{};
    tqstream_getHandles(&h);
    return h;
}

// A stream without channels: nothing of a loaded layout is bound, so what
// was stored is what the tree holds.
struct Probe {
    explicit Probe(const char *name = "probe") : stream(handles().newStream(name, 10.0, nullptr)) {}
    ~Probe()
    {
        if (stream)
            stream->streamRelease(&stream);
    }
    TQStream *stream;
};

template <typename T> T *nextOf(T *element, size_t link)
{
    return static_cast<T *>(tqListNext(element, link));
}

std::string number(double v)
{
    char text[64];
    snprintf(text, sizeof text, "%a", v);
    return text;
}

// Entries of the two lists of a record, enabled ones first, each group in
// the order the lists hold them: what a layout keeps, whichever list the
// stream engine later moves an entry to while binding channels.
template <typename T, typename Fn>
std::string byFlag(const TQListHead &first, size_t firstLink, const TQListHead &second, size_t secondLink, Fn describe)
{
    std::string on, off;
    for (const auto &[head, link] : {std::pair{&first, firstLink}, {&second, secondLink}})
        for (auto *e = static_cast<T *>(head->first); e; e = nextOf(e, link))
            (e->enable ? on : off) += describe(e);
    return "on{" + on + "}off{" + off + "}";
}

std::string describe(TQStream *stream)
{
    std::string out = "decimation " + std::to_string(stream->streamGetDecimation(stream)) + "\n";
    for (auto *w = static_cast<TQDisplayWindow *>(stream->displayWindows.first); w;
         w = nextOf(w, offsetof(TQDisplayWindow, streamLink))) {
        out += "window '" + std::string(w->title) + "' " + std::to_string(w->x) + "," + std::to_string(w->y) + " " +
               std::to_string(w->width) + "x" + std::to_string(w->height) + " bg " + std::to_string(w->bgcolor) + "\n";
        for (auto *g = static_cast<TQGraphObject *>(w->graphObjects.first); g;
             g = nextOf(g, offsetof(TQGraphObject, windowLink))) {
            out += " graph '" + std::string(g->title) + "' " + std::to_string(g->xpos) + "," + std::to_string(g->ypos) +
                   " " + std::to_string(g->width) + "x" + std::to_string(g->height) + " bg " +
                   std::to_string(g->bgcolor) + " grid " + std::to_string(g->gridenable) + " start " +
                   number(g->starttime) + " duration " + number(g->duration) +
                   (stream->defaultGraphObject == g ? " default" : "") + "\n";
            out +=
                "  " +
                byFlag<TQAxisInfo>(
                    g->activeAxes, offsetof(TQAxisInfo, activeLink), g->inactiveAxes,
                    offsetof(TQAxisInfo, inactiveLink),
                    [](TQAxisInfo *a) {
                        return "\n   axis '" + std::string(a->eu) + "' " + number(a->center) + " " + number(a->span) +
                               " " + std::to_string(a->color) + " " + std::to_string(a->enable) + " " +
                               byFlag<TQChannelEnable>(
                                   a->activeChannels, offsetof(TQChannelEnable, activeLink), a->inactiveChannels,
                                   offsetof(TQChannelEnable, inactiveLink), [](TQChannelEnable *e) {
                                       return "['" + std::string(e->name) + "' " + std::to_string(e->color) + " " +
                                              std::to_string(e->iscolorfixed) + " " + std::to_string(e->enable) + "]";
                                   });
                    }) +
                "\n";
        }
    }
    return out;
}

const char *const kTexts[] = {"", "plain", "it's", "a''b'", "\"quoted\"", "per %s %d cent", "semi;colon", "x"};
const double kNumbers[] = {0.0, 1e-7, -1e-7, 1e300, -1e-300, 4.9e-324, 3.141592653589793, -0.1, 123456789.125};

// Adds axes and channel entries to a graph object as a layout builder does.
void addAxis(TQGraphObject *go, const std::string &eu, double center, double span, uint32_t colour, int enable,
             const std::vector<std::pair<std::string, int>> &entries, std::mt19937 &rng)
{
    TQAxisInfo *a = StreamCommonNewAxisInfo();
    ASSERT_NE(a, nullptr);
    snprintf(a->eu, sizeof a->eu, "%s", eu.c_str());
    a->center = center;
    a->span = span;
    a->color = colour;
    a->enable = enable;
    if (enable)
        tqListAppend(&go->activeAxes, go, a, offsetof(TQAxisInfo, activeLink));
    else
        tqListAppend(&go->inactiveAxes, go, a, offsetof(TQAxisInfo, inactiveLink));
    a->axisInfoAddRef(a);
    for (const auto &[name, on] : entries) {
        TQChannelEnable *e = StreamHandleCommonNewChannelEnable();
        ASSERT_NE(e, nullptr);
        snprintf(e->name, sizeof e->name, "%s", name.c_str());
        e->enable = on;
        e->color = static_cast<uint32_t>(rng());
        e->iscolorfixed = static_cast<int32_t>(rng() % 2);
        if (on)
            tqListAppend(&a->activeChannels, a, e, offsetof(TQChannelEnable, activeLink));
        else
            tqListAppend(&a->inactiveChannels, a, e, offsetof(TQChannelEnable, inactiveLink));
        e->channelEnableAddRef(e);
        e->channelEnableRelease(&e);
    }
    a->axisInfoRelease(&a);
}

// A seeded tree beside the stream's default window and graph object.
void buildRandomTree(TQStream *stream, unsigned seed)
{
    std::mt19937 rng(seed);
    auto text = [&] { return std::string(kTexts[rng() % std::size(kTexts)]) + std::to_string(rng() % 100); };
    auto real = [&] { return kNumbers[rng() % std::size(kNumbers)]; };
    auto position = [&] { return static_cast<int32_t>(rng()); };
    stream->streamSetDecimation(stream, static_cast<int32_t>(1 + rng() % 9));
    // The default graph object carries an axis too.
    addAxis(stream->defaultGraphObject, "V", 1e-7, 1e300, 0xff0000, 1, {{"it's", 1}, {"off", 0}}, rng);
    const unsigned windows = 1 + rng() % 3;
    for (unsigned w = 0; w < windows; ++w) {
        TQDisplayWindow *win =
            stream->streamNewDisplayWindow(stream, text().c_str(), position(), position(), position(), position());
        ASSERT_NE(win, nullptr);
        win->bgcolor = static_cast<uint32_t>(rng());
        const unsigned graphs = rng() % 4;
        for (unsigned g = 0; g < graphs; ++g) {
            TQGraphObject *go =
                win->displayWindowNewGraphObject(win, text().c_str(), position(), position(), position(), position());
            ASSERT_NE(go, nullptr);
            go->bgcolor = static_cast<uint32_t>(rng()) & 0xffffff;
            go->gridenable = static_cast<int32_t>(rng() % 2);
            go->starttime = real();
            go->duration = real();
            const unsigned axes = rng() % 4;
            for (unsigned a = 0; a < axes; ++a) {
                std::vector<std::pair<std::string, int>> entries;
                const unsigned n = rng() % 5;
                for (unsigned e = 0; e < n; ++e)
                    entries.emplace_back(text(), static_cast<int>(rng() % 2));
                addAxis(go, text(), real(), real(), static_cast<uint32_t>(rng()), static_cast<int>(rng() % 2), entries,
                        rng);
            }
            go->graphObjectSlotRelease(&go);
        }
        win->displayWindowSlotRelease(&win);
    }
}

TEST(Layouts, SeededTreesComeBackEqual)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        InsideSession in;
        Probe a, b;
        buildRandomTree(a.stream, seed);
        ASSERT_EQ(tqdaq_saveStream(in.s.handle, a.stream), VI_SUCCESS);
        ASSERT_EQ(tqdaq_saveStream(in.s.handle, a.stream), VI_SUCCESS);
        EXPECT_EQ(in.d.value("select count(*) from stream"), "1"); // saved twice, stored once
        ASSERT_EQ(tqdaq_loadStream(in.s.handle, b.stream), VI_SUCCESS);
        EXPECT_EQ(describe(b.stream), describe(a.stream));
        ASSERT_NE(b.stream->defaultGraphObject, nullptr);
        EXPECT_EQ(b.stream->defaultGraphObject->xpos, -1);
        EXPECT_EQ(b.stream->defaultGraphObject->ypos, -1);
    }
}

TEST(Layouts, AFailureMidSaveKeepsTheOldTree)
{
    InsideSession in;
    Probe a, b;
    buildRandomTree(a.stream, 5);
    ASSERT_EQ(tqdaq_saveStream(in.s.handle, a.stream), VI_SUCCESS);
    const std::string saved = describe(a.stream);
    const std::string rows = in.d.dump();
    in.d.exec("create trigger boom before insert on channelenable when new.name='boom' begin "
              "select raise(abort,'injected'); end");
    std::mt19937 rng(1);
    addAxis(a.stream->defaultGraphObject, "A", 1, 2, 3, 1, {{"ok", 1}, {"boom", 1}}, rng);
    EXPECT_EQ(tqdaq_saveStream(in.s.handle, a.stream), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(in.d.dump(), rows);
    ASSERT_EQ(tqdaq_loadStream(in.s.handle, b.stream), VI_SUCCESS);
    EXPECT_EQ(describe(b.stream), saved);
}

TEST(Layouts, ADeleteThatFailsIsReportedAndUndone)
{
    InsideSession in;
    Probe a;
    buildRandomTree(a.stream, 3);
    ASSERT_EQ(tqdaq_saveStream(in.s.handle, a.stream), VI_SUCCESS);
    const std::string rows = in.d.dump();
    in.d.exec("create trigger keep before delete on graphobject begin select raise(abort,'injected'); end");
    EXPECT_EQ(tqdaq_deleteStream(in.s.handle, "probe"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(in.d.dump(), rows);
    in.d.exec("drop trigger keep");
    EXPECT_EQ(tqdaq_deleteStream(in.s.handle, "probe"), VI_SUCCESS);
    for (const char *table : {"stream", "displaywindow", "graphobject", "axisinfo", "channelenable"})
        EXPECT_EQ(in.d.value(std::string("select count(*) from ") + table), "0") << table;
    EXPECT_EQ(tqdaq_deleteStream(in.s.handle, "probe"), VI_SUCCESS); // nothing stored: nothing to do
}

TEST(Layouts, ANameNotStoredLeavesTheStreamWithoutWindows)
{
    InsideSession in;
    Probe b("other");
    ASSERT_NE(b.stream->displayWindows.first, nullptr);
    EXPECT_EQ(tqdaq_loadStream(in.s.handle, b.stream), VI_SUCCESS);
    EXPECT_EQ(b.stream->displayWindows.first, nullptr);
    EXPECT_EQ(b.stream->defaultGraphObject, nullptr);
}

// Failures before the stored tree is read leave the live layout and the
// caller's own transaction alone.
TEST(Layouts, FailuresBeforeReadingKeepTheLiveLayout)
{
    InsideSession in;
    Probe a, b;
    buildRandomTree(a.stream, 7);
    ASSERT_EQ(tqdaq_saveStream(in.s.handle, a.stream), VI_SUCCESS);
    buildRandomTree(b.stream, 8);
    const std::string live = describe(b.stream);
    const std::string rows = in.d.dump();

    ASSERT_EQ(sqlite3_exec(in.s.db, "begin immediate transaction", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(tqdaq_saveStream(in.s.handle, a.stream), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_loadStream(in.s.handle, b.stream), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_deleteStream(in.s.handle, "probe"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(sqlite3_get_autocommit(in.s.db), 0); // still the caller's transaction
    ASSERT_EQ(sqlite3_exec(in.s.db, "rollback transaction", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(describe(b.stream), live);

    in.d.exec("update system set db_id=NULL where system_id=1");
    EXPECT_EQ(tqdaq_saveStream(in.s.handle, a.stream), TQDAQ_ERROR_NO_DATABASE);
    EXPECT_EQ(tqdaq_loadStream(in.s.handle, b.stream), TQDAQ_ERROR_NO_DATABASE);
    EXPECT_EQ(tqdaq_deleteStream(in.s.handle, "probe"), TQDAQ_ERROR_NO_DATABASE);
    EXPECT_EQ(describe(b.stream), live);
    EXPECT_EQ(in.d.dump().find("probe") != std::string::npos, rows.find("probe") != std::string::npos);

    EXPECT_EQ(tqdaq_saveStream(in.s.handle, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_loadStream(in.s.handle, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_deleteStream(in.s.handle, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_saveStream(0, a.stream), VI_ERROR_INV_OBJECT);
}

// Rows written by hand: texts longer than the records' fields are cut to
// fit, numbers that do not read count as 0 and a decimation as 1.
TEST(Layouts, StoredRowsThatDoNotFitAreBounded)
{
    InsideSession in;
    const std::string longText(300, 'T');
    const int64_t stream = in.d.insert("insert into stream (db_id,decimation,name) values (" + std::to_string(in.dbId) +
                                       ",'many','probe')");
    const int64_t window =
        in.d.insert("insert into displaywindow (stream_id,xpos,ypos,width,height,bgcolor,title) values (" +
                    std::to_string(stream) + ",'x',2,3,4,5,'" + longText + "')");
    const int64_t graph = in.d.insert("insert into graphobject (displaywindow_id,xpos,ypos,width,height,bgcolor,"
                                      "gridenable,starttime,duration,title) values (" +
                                      std::to_string(window) + ",-1,-1,1,1,0,1,'soon',2.5,'" + longText + "')");
    const int64_t axis = in.d.insert("insert into axisinfo (graphobject_id,center,span,color,enable,eu) values (" +
                                     std::to_string(graph) + ",1,2,3,0,'" + longText + "')");
    in.d.exec("insert into channelenable (axisinfo_id,color,iscolorfixed,enable,name) values (" + std::to_string(axis) +
              ",1,0,1,'" + longText + "')");
    Probe b;
    ASSERT_EQ(tqdaq_loadStream(in.s.handle, b.stream), VI_SUCCESS);
    EXPECT_EQ(b.stream->streamGetDecimation(b.stream), 1);
    auto *w = static_cast<TQDisplayWindow *>(b.stream->displayWindows.first);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::string(w->title), longText.substr(0, TQ_DISPLAY_TITLE_SIZE - 1));
    EXPECT_EQ(w->x, 0);
    auto *g = static_cast<TQGraphObject *>(w->graphObjects.first);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(b.stream->defaultGraphObject, g);
    EXPECT_EQ(std::string(g->title), longText.substr(0, TQ_DISPLAY_TITLE_SIZE - 1));
    EXPECT_EQ(g->starttime, 0.0);
    EXPECT_EQ(g->duration, 2.5);
    auto *a = static_cast<TQAxisInfo *>(g->inactiveAxes.first);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a->eu), longText.substr(0, TQ_AXIS_EU_SIZE - 1));
    auto *e = static_cast<TQChannelEnable *>(a->inactiveChannels.first);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::string(e->name), longText.substr(0, TQ_ENABLE_NAME_SIZE - 1));
}

// A renderer walks the layout under the stream's lock while layouts are
// loaded and saved on another thread.
TEST(Layouts, LoadingRelinksUnderTheStreamsLock)
{
    InsideSession in;
    Probe a, b;
    buildRandomTree(a.stream, 11);
    ASSERT_EQ(tqdaq_saveStream(in.s.handle, a.stream), VI_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<long> walks{0};
    std::thread renderer([&] {
        while (!stop.load()) {
            ASSERT_EQ(b.stream->streamLock(b.stream, 5000), 0);
            long seen = 0;
            for (auto *w = static_cast<TQDisplayWindow *>(b.stream->displayWindows.first); w;
                 w = nextOf(w, offsetof(TQDisplayWindow, streamLink)))
                for (auto *g = static_cast<TQGraphObject *>(w->graphObjects.first); g;
                     g = nextOf(g, offsetof(TQGraphObject, windowLink)))
                    seen += g->title[0] + (g->activeAxes.first != nullptr);
            b.stream->streamUnlock(b.stream);
            walks += 1 + (seen & 0);
        }
    });
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(tqdaq_loadStream(in.s.handle, b.stream), VI_SUCCESS);
        ASSERT_EQ(tqdaq_saveStream(in.s.handle, b.stream), VI_SUCCESS);
    }
    while (walks.load() == 0)
        std::this_thread::yield();
    stop = true;
    renderer.join();
    EXPECT_EQ(describe(b.stream), describe(a.stream));
}

} // namespace
