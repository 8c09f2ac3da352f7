// Stored display layouts: a stream's display windows, their graph objects,
// the graph objects' axes and the axes' channel entries, kept in the device
// database per stream name and configuration database.
//
// The live tree belongs to the stream engine and a renderer may walk it on
// another thread, so it is only read or relinked under the stream's lock,
// and only for as long as that takes: saving copies the tree out first and
// writes it afterwards; loading reads the stored tree first and relinks
// afterwards. Saving and deleting are one transaction each, rolled back on
// any failure, so a stored layout is always whole.
#include <cstddef>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"

namespace tq::manager
{

namespace
{

// How long a layout waits for a renderer to let go of the stream.
constexpr uint32_t kStreamLockMs = 5000;

constexpr size_t kWindowLink = offsetof(TQDisplayWindow, streamLink);
constexpr size_t kGraphLink = offsetof(TQGraphObject, windowLink);
constexpr size_t kAxisActive = offsetof(TQAxisInfo, activeLink);
constexpr size_t kAxisInactive = offsetof(TQAxisInfo, inactiveLink);
constexpr size_t kEntryActive = offsetof(TQChannelEnable, activeLink);
constexpr size_t kEntryInactive = offsetof(TQChannelEnable, inactiveLink);

// ---- the tree, away from the stream ------------------------------------------------

struct ChannelRow {
    std::string name;
    uint32_t color = 0;
    int32_t colorFixed = 0;
    int32_t enable = 0;
};
struct AxisRow {
    std::string eu;
    double center = 0, span = 0;
    uint32_t color = 0;
    int32_t enable = 0;
    std::vector<ChannelRow> channels;
};
struct GraphRow {
    std::string title;
    int32_t x = 0, y = 0, width = 0, height = 0;
    uint32_t bgcolor = 0;
    int32_t grid = 0;
    double start = 0, duration = 0;
    std::vector<AxisRow> axes;
};
struct WindowRow {
    std::string title;
    int32_t x = 0, y = 0, width = 0, height = 0;
    uint32_t bgcolor = 0;
    std::vector<GraphRow> graphs;
};

// A text field of a live record: never read past the field.
template <size_t N> std::string field(const char (&text)[N])
{
    return std::string(text, strnlen(text, N));
}

template <typename T> T *next(T *element, size_t link)
{
    return static_cast<T *>(tqListNext(element, link));
}

// Copies the stream's tree; the caller holds the stream's lock.
std::vector<WindowRow> snapshot(TQStream *stream)
{
    std::vector<WindowRow> windows;
    for (auto *w = static_cast<TQDisplayWindow *>(stream->displayWindows.first); w; w = next(w, kWindowLink)) {
        WindowRow &wr = windows.emplace_back();
        wr.title = field(w->title);
        wr.x = w->x;
        wr.y = w->y;
        wr.width = w->width;
        wr.height = w->height;
        wr.bgcolor = w->bgcolor;
        for (auto *g = static_cast<TQGraphObject *>(w->graphObjects.first); g; g = next(g, kGraphLink)) {
            GraphRow &gr = wr.graphs.emplace_back();
            gr.title = field(g->title);
            gr.x = g->xpos;
            gr.y = g->ypos;
            gr.width = g->width;
            gr.height = g->height;
            gr.bgcolor = g->bgcolor;
            gr.grid = g->gridenable;
            gr.start = g->starttime;
            gr.duration = g->duration;
            // Enabled axes first, then the disabled ones; likewise channels.
            for (const auto &[head, link] : {std::pair{&g->activeAxes, kAxisActive}, {&g->inactiveAxes, kAxisInactive}})
                for (auto *a = static_cast<TQAxisInfo *>(head->first); a; a = next(a, link)) {
                    AxisRow &ar = gr.axes.emplace_back();
                    ar.eu = field(a->eu);
                    ar.center = a->center;
                    ar.span = a->span;
                    ar.color = a->color;
                    ar.enable = a->enable;
                    for (const auto &[chead, clink] :
                         {std::pair{&a->activeChannels, kEntryActive}, {&a->inactiveChannels, kEntryInactive}})
                        for (auto *e = static_cast<TQChannelEnable *>(chead->first); e; e = next(e, clink))
                            ar.channels.push_back({field(e->name), e->color, e->iscolorfixed, e->enable});
                }
        }
    }
    return windows;
}

// ---- statements run many times --------------------------------------------------------

class Prepared
{
  public:
    Prepared(sqlite3 *db, const char *sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
        }
    }
    ~Prepared() { sqlite3_finalize(stmt_); }
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Prepared &start()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        index_ = 1;
        bound_ = true;
        return *this;
    }
    Prepared &integer(int64_t v)
    {
        bound_ = bound_ && sqlite3_bind_int64(stmt_, index_++, v) == SQLITE_OK;
        return *this;
    }
    Prepared &real(double v)
    {
        bound_ = bound_ && sqlite3_bind_double(stmt_, index_++, v) == SQLITE_OK;
        return *this;
    }
    Prepared &text(const std::string &v)
    {
        bound_ = bound_ && sqlite3_bind_text(stmt_, index_++, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT) ==
                               SQLITE_OK;
        return *this;
    }
    int step() { return ok() && bound_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
    // An insert that went through, and the new row's id.
    bool insert(int64_t &id)
    {
        if (step() != SQLITE_DONE)
            return false;
        id = sqlite3_last_insert_rowid(db_);
        return true;
    }
    bool done() { return step() == SQLITE_DONE; }

    // Columns; numbers that do not read count as 0, as NULL does.
    int64_t int64(int c) const { return sqlite3_column_int64(stmt_, c); }
    int32_t int32(int c) const { return static_cast<int32_t>(int64(c)); }
    uint32_t colour(int c) const { return static_cast<uint32_t>(int64(c)); }
    double realAt(int c) const { return sqlite3_column_double(stmt_, c); }
    bool isInteger(int c) const { return sqlite3_column_type(stmt_, c) == SQLITE_INTEGER; }
    std::string textAt(int c) const
    {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, c));
        return t ? std::string(t, static_cast<size_t>(sqlite3_column_bytes(stmt_, c))) : std::string();
    }

  private:
    sqlite3 *db_;
    sqlite3_stmt *stmt_ = nullptr;
    int index_ = 1;
    bool bound_ = true;
};

bool begin(Session *s)
{
    return devicedb::execStatement(s->db, "begin immediate transaction") == SQLITE_DONE;
}
bool commit(Session *s)
{
    return devicedb::execStatement(s->db, "commit transaction") == SQLITE_DONE;
}
void rollback(Session *s)
{
    devicedb::execStatement(s->db, "rollback transaction");
}

// Deletes every stored tree of the name in the database, children first.
// Within the caller's transaction.
ViStatus deleteTrees(Session *s, int64_t dbId, const std::string &name)
{
    static const char *const kDeletes[] = {
        "delete from channelenable where axisinfo_id in (select axisinfo_id from axisinfo where graphobject_id in "
        "(select graphobject_id from graphobject where displaywindow_id in (select displaywindow_id from "
        "displaywindow where stream_id in (select stream_id from stream where name=? and db_id=?))))",
        "delete from axisinfo where graphobject_id in (select graphobject_id from graphobject where "
        "displaywindow_id in (select displaywindow_id from displaywindow where stream_id in (select stream_id "
        "from stream where name=? and db_id=?)))",
        "delete from graphobject where displaywindow_id in (select displaywindow_id from displaywindow where "
        "stream_id in (select stream_id from stream where name=? and db_id=?))",
        "delete from displaywindow where stream_id in (select stream_id from stream where name=? and db_id=?)",
        "delete from stream where name=? and db_id=?",
    };
    for (const char *sql : kDeletes) {
        Prepared q(s->db, sql);
        if (!q.ok())
            return TQDAQ_ERROR_UNKNOWN_USER; // a lookup statement that cannot be made
        if (!q.start().text(name).integer(dbId).done())
            return TQDAQ_ERROR_STATEMENT;
    }
    return VI_SUCCESS;
}

ViStatus insertTree(Session *s, int64_t dbId, const std::string &name, int32_t decimation,
                    const std::vector<WindowRow> &windows)
{
    Prepared streamRow(s->db, "insert into stream (db_id,decimation,name) values(?,?,?)");
    Prepared windowRow(
        s->db, "insert into displaywindow (stream_id,xpos,ypos,width,height,bgcolor,title) values(?,?,?,?,?,?,?)");
    Prepared graphRow(s->db, "insert into graphobject (displaywindow_id,xpos,ypos,width,height,bgcolor,gridenable,"
                             "starttime,duration,title) values(?,?,?,?,?,?,?,?,?,?)");
    Prepared axisRow(s->db, "insert into axisinfo (graphobject_id,center,span,color,enable,eu) values (?,?,?,?,?,?)");
    Prepared channelRow(s->db,
                        "insert into channelenable (axisinfo_id,color,iscolorfixed,enable,name) values (?,?,?,?,?)");
    int64_t streamId = 0;
    if (!streamRow.ok() || !windowRow.ok() || !graphRow.ok() || !axisRow.ok() || !channelRow.ok() ||
        !streamRow.start().integer(dbId).integer(decimation).text(name).insert(streamId))
        return TQDAQ_ERROR_STATEMENT;
    for (const WindowRow &w : windows) {
        int64_t windowId = 0;
        if (!windowRow.start()
                 .integer(streamId)
                 .integer(w.x)
                 .integer(w.y)
                 .integer(w.width)
                 .integer(w.height)
                 .integer(w.bgcolor)
                 .text(w.title)
                 .insert(windowId))
            return TQDAQ_ERROR_STATEMENT;
        for (const GraphRow &g : w.graphs) {
            int64_t graphId = 0;
            if (!graphRow.start()
                     .integer(windowId)
                     .integer(g.x)
                     .integer(g.y)
                     .integer(g.width)
                     .integer(g.height)
                     .integer(g.bgcolor)
                     .integer(g.grid)
                     .real(g.start)
                     .real(g.duration)
                     .text(g.title)
                     .insert(graphId))
                return TQDAQ_ERROR_STATEMENT;
            for (const AxisRow &a : g.axes) {
                int64_t axisId = 0;
                if (!axisRow.start()
                         .integer(graphId)
                         .real(a.center)
                         .real(a.span)
                         .integer(a.color)
                         .integer(a.enable)
                         .text(a.eu)
                         .insert(axisId))
                    return TQDAQ_ERROR_STATEMENT;
                for (const ChannelRow &c : a.channels)
                    if (!channelRow.start()
                             .integer(axisId)
                             .integer(c.color)
                             .integer(c.colorFixed)
                             .integer(c.enable)
                             .text(c.name)
                             .done())
                        return TQDAQ_ERROR_STATEMENT;
            }
        }
    }
    return VI_SUCCESS;
}

ViStatus saveStream(Session *s, TQStream *stream)
{
    if (stream->streamLock(stream, kStreamLockMs) != 0)
        return VI_ERROR_TMO;
    const std::string name = field(stream->name);
    const int32_t decimation = stream->streamGetDecimation(stream);
    std::vector<WindowRow> windows;
    try {
        windows = snapshot(stream);
    } catch (...) {
        stream->streamUnlock(stream);
        throw;
    }
    stream->streamUnlock(stream);

    // The old tree goes in the same transaction as the new one comes: a
    // failure keeps the old one whole.
    if (!begin(s))
        return TQDAQ_ERROR_STATEMENT;
    int64_t dbId = 0;
    ViStatus st = dbIdByName(s, nullptr, &dbId);
    if (st >= VI_SUCCESS)
        st = deleteTrees(s, dbId, name) < VI_SUCCESS ? TQDAQ_ERROR_STATEMENT : VI_SUCCESS;
    if (st >= VI_SUCCESS)
        st = insertTree(s, dbId, name, decimation, windows);
    if (st >= VI_SUCCESS && commit(s))
        return VI_SUCCESS;
    rollback(s);
    return st >= VI_SUCCESS ? TQDAQ_ERROR_STATEMENT : st;
}

// Reads the first stored tree of the name. found is false without one; a
// child statement that cannot be made records 0xBFFC010D and its parent goes
// on without children.
ViStatus readTree(Session *s, int64_t dbId, const std::string &name, bool &found, int32_t &decimation,
                  std::vector<WindowRow> &windows)
{
    found = false;
    int64_t streamId = 0;
    {
        Prepared q(s->db, "select stream_id,decimation from stream where stream.name=? and stream.db_id=? order by "
                          "stream_id");
        if (!q.ok())
            return TQDAQ_ERROR_UNKNOWN_USER;
        const int rc = q.start().text(name).integer(dbId).step();
        if (rc == SQLITE_DONE)
            return VI_SUCCESS;
        if (rc != SQLITE_ROW)
            return TQDAQ_ERROR_STATEMENT;
        if (!q.isInteger(0))
            return VI_SUCCESS; // an id that does not read: nothing stored
        streamId = q.int64(0);
        // A decimation that does not read, or could never be used, is 1.
        decimation = q.isInteger(1) && q.int64(1) >= 1 && q.int64(1) <= INT32_MAX ? q.int32(1) : 1;
        found = true;
    }
    // One statement per level for the whole tree, each row placed under its
    // parent by id: the tables have no index on their parent columns, and a
    // statement per parent would scan a large layout's tables hundreds of
    // times. Within a parent, rows keep the order they were stored in.
    Prepared wq(s->db, "select displaywindow_id,xpos,ypos,width,height,bgcolor,title from displaywindow where "
                       "displaywindow.stream_id=? order by displaywindow_id");
    if (!wq.ok())
        return TQDAQ_ERROR_UNKNOWN_USER;
    std::unordered_map<int64_t, size_t> windowAt;
    for (wq.start().integer(streamId); wq.step() == SQLITE_ROW;) {
        windowAt[wq.int64(0)] = windows.size();
        windows.push_back({wq.textAt(6), wq.int32(1), wq.int32(2), wq.int32(3), wq.int32(4), wq.colour(5), {}});
    }
    Prepared gq(s->db, "select graphobject.graphobject_id,graphobject.displaywindow_id,graphobject.xpos,"
                       "graphobject.ypos,graphobject.width,graphobject.height,graphobject.bgcolor,"
                       "graphobject.gridenable,graphobject.starttime,graphobject.duration,graphobject.title from "
                       "graphobject,displaywindow where graphobject.displaywindow_id=displaywindow.displaywindow_id "
                       "and displaywindow.stream_id=? order by graphobject.graphobject_id");
    if (!gq.ok())
        return windows.empty() ? VI_SUCCESS : TQDAQ_ERROR_UNKNOWN_USER;
    std::unordered_map<int64_t, std::pair<size_t, size_t>> graphAt;
    for (gq.start().integer(streamId); gq.step() == SQLITE_ROW;) {
        const auto parent = windowAt.find(gq.int64(1));
        if (parent == windowAt.end())
            continue;
        auto &graphs = windows[parent->second].graphs;
        graphAt[gq.int64(0)] = {parent->second, graphs.size()};
        GraphRow g;
        g.x = gq.int32(2);
        g.y = gq.int32(3);
        g.width = gq.int32(4);
        g.height = gq.int32(5);
        g.bgcolor = gq.colour(6);
        g.grid = gq.int32(7);
        g.start = gq.realAt(8);
        g.duration = gq.realAt(9);
        g.title = gq.textAt(10);
        graphs.push_back(std::move(g));
    }
    Prepared aq(s->db, "select axisinfo.axisinfo_id,axisinfo.graphobject_id,axisinfo.center,axisinfo.span,"
                       "axisinfo.color,axisinfo.enable,axisinfo.eu from axisinfo,graphobject,displaywindow where "
                       "axisinfo.graphobject_id=graphobject.graphobject_id and "
                       "graphobject.displaywindow_id=displaywindow.displaywindow_id and displaywindow.stream_id=? "
                       "order by axisinfo.axisinfo_id");
    if (!aq.ok())
        return graphAt.empty() ? VI_SUCCESS : TQDAQ_ERROR_UNKNOWN_USER;
    struct AxisPlace {
        size_t window, graph, axis;
    };
    std::unordered_map<int64_t, AxisPlace> axisAt;
    for (aq.start().integer(streamId); aq.step() == SQLITE_ROW;) {
        const auto parent = graphAt.find(aq.int64(1));
        if (parent == graphAt.end())
            continue;
        auto &axes = windows[parent->second.first].graphs[parent->second.second].axes;
        axisAt[aq.int64(0)] = {parent->second.first, parent->second.second, axes.size()};
        axes.push_back({aq.textAt(6), aq.realAt(2), aq.realAt(3), aq.colour(4), aq.int32(5), {}});
    }
    Prepared cq(s->db, "select channelenable.axisinfo_id,channelenable.color,channelenable.iscolorfixed,"
                       "channelenable.enable,channelenable.name from channelenable,axisinfo,graphobject,"
                       "displaywindow where channelenable.axisinfo_id=axisinfo.axisinfo_id and "
                       "axisinfo.graphobject_id=graphobject.graphobject_id and "
                       "graphobject.displaywindow_id=displaywindow.displaywindow_id and displaywindow.stream_id=? "
                       "order by channelenable.channelenable_id");
    if (!cq.ok())
        return axisAt.empty() ? VI_SUCCESS : TQDAQ_ERROR_UNKNOWN_USER;
    for (cq.start().integer(streamId); cq.step() == SQLITE_ROW;) {
        const auto parent = axisAt.find(cq.int64(0));
        if (parent == axisAt.end())
            continue;
        const AxisPlace &at = parent->second;
        windows[at.window].graphs[at.graph].axes[at.axis].channels.push_back(
            {cq.textAt(4), cq.colour(1), cq.int32(2), cq.int32(3)});
    }
    return VI_SUCCESS;
}

void dropWindows(TQStream *stream)
{
    stream->defaultGraphObject = nullptr;
    while (auto *w = static_cast<TQDisplayWindow *>(stream->displayWindows.first)) {
        tqListRemove(&stream->displayWindows, w, kWindowLink);
        w->displayWindowSlotRelease(&w); // the list's reference
    }
}

void dropAxes(TQGraphObject *go)
{
    for (const auto &[head, link] : {std::pair{&go->activeAxes, kAxisActive}, {&go->inactiveAxes, kAxisInactive}})
        while (auto *a = static_cast<TQAxisInfo *>(head->first)) {
            tqListRemove(head, a, link);
            a->axisInfoRelease(&a);
        }
}

// Builds the stored tree into the stream; the caller holds the stream's lock.
// A record that cannot be made is left out with its branch (0xBFFF003C).
ViStatus buildTree(TQStream *stream, const std::vector<WindowRow> &windows)
{
    ViStatus st = VI_SUCCESS;
    for (const WindowRow &wr : windows) {
        TQDisplayWindow *w = stream->streamNewDisplayWindow(stream, wr.title.c_str(), wr.x, wr.y, wr.width, wr.height);
        if (!w) {
            st = VI_ERROR_ALLOC;
            continue;
        }
        w->bgcolor = wr.bgcolor;
        for (const GraphRow &gr : wr.graphs) {
            TQGraphObject *go = w->displayWindowNewGraphObject(w, gr.title.c_str(), gr.x, gr.y, gr.width, gr.height);
            if (!go) {
                st = VI_ERROR_ALLOC;
                continue;
            }
            if (gr.x == -1 && gr.y == -1)
                stream->defaultGraphObject = go;
            // The axes made from the stream's channels give way to the stored ones.
            dropAxes(go);
            go->bgcolor = gr.bgcolor;
            go->gridenable = gr.grid;
            go->starttime = gr.start;
            go->duration = gr.duration;
            for (const AxisRow &ar : gr.axes) {
                TQAxisInfo *a = StreamCommonNewAxisInfo();
                if (!a) {
                    st = VI_ERROR_ALLOC;
                    continue;
                }
                platform::copyText(a->eu, ar.eu.c_str());
                a->enable = ar.enable;
                a->center = ar.center;
                a->span = ar.span;
                a->color = ar.color;
                if (ar.enable)
                    tqListAppend(&go->activeAxes, go, a, kAxisActive);
                else
                    tqListAppend(&go->inactiveAxes, go, a, kAxisInactive);
                a->axisInfoAddRef(a);
                for (const ChannelRow &cr : ar.channels) {
                    TQChannelEnable *e = StreamHandleCommonNewChannelEnable();
                    if (!e) {
                        st = VI_ERROR_ALLOC;
                        continue;
                    }
                    platform::copyText(e->name, cr.name.c_str());
                    e->color = cr.color;
                    e->iscolorfixed = cr.colorFixed;
                    e->enable = cr.enable;
                    if (cr.enable)
                        tqListAppend(&a->activeChannels, a, e, kEntryActive);
                    else
                        tqListAppend(&a->inactiveChannels, a, e, kEntryInactive);
                    e->channelEnableAddRef(e);
                    e->channelEnableRelease(&e);
                }
                a->axisInfoRelease(&a);
            }
            go->graphObjectSlotRelease(&go);
        }
        w->displayWindowSlotRelease(&w);
    }
    return st;
}

ViStatus loadStream(Session *s, TQStream *stream)
{
    const std::string name = field(stream->name);
    // Nothing of the live layout goes before the stored one has been read.
    if (!begin(s))
        return TQDAQ_ERROR_STATEMENT;
    int64_t dbId = 0;
    ViStatus st = dbIdByName(s, nullptr, &dbId);
    bool found = false;
    int32_t decimation = 1;
    std::vector<WindowRow> windows;
    if (st >= VI_SUCCESS)
        st = readTree(s, dbId, name, found, decimation, windows);
    if (!commit(s)) {
        rollback(s);
        return TQDAQ_ERROR_STATEMENT;
    }
    // A lookup that failed, or a stored tree that could not be read at all,
    // leaves the live layout as it is.
    if (st < VI_SUCCESS && (!found || st != TQDAQ_ERROR_UNKNOWN_USER))
        return st;

    if (stream->streamLock(stream, kStreamLockMs) != 0)
        return VI_ERROR_TMO;
    ViStatus built = VI_SUCCESS;
    try {
        if (found)
            stream->streamSetDecimation(stream, decimation);
        dropWindows(stream);
        built = buildTree(stream, windows);
        if (st >= VI_SUCCESS && built >= VI_SUCCESS)
            built = stream->streamVerifyDisplayWindows(stream);
    } catch (...) {
        stream->streamUnlock(stream);
        throw;
    }
    stream->streamUnlock(stream);
    return st < VI_SUCCESS ? st : built;
}

} // namespace

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

namespace
{

unsigned long streamValue(TQStream *stream)
{
    return static_cast<unsigned long>(stream ? tqstream_streamValue(stream) : 0);
}

const char *streamName(TQStream *stream)
{
    return stream ? stream->name : "NULL";
}

} // namespace

TQ_API ViStatus tqdaq_saveStream(ViSession session, TQStream *stream)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = stream ? saveStream(s, stream) : VI_ERROR_INV_PARAMETER;
        trace(s, "tqdaq_saveStream(" TQ_SESSION_FMT ",%#lx(%.63s)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              streamValue(stream), streamName(stream), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_loadStream(ViSession session, TQStream *stream)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = stream ? loadStream(s, stream) : VI_ERROR_INV_PARAMETER;
        trace(s, "tqdaq_loadStream(" TQ_SESSION_FMT ",%#lx(%.63s)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              streamValue(stream), streamName(stream), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_deleteStream(ViSession session, ViConstString streamName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = [&]() -> ViStatus {
            if (!streamName)
                return VI_ERROR_INV_PARAMETER;
            if (!begin(s))
                return TQDAQ_ERROR_STATEMENT;
            int64_t dbId = 0;
            ViStatus result = dbIdByName(s, nullptr, &dbId);
            if (result >= VI_SUCCESS)
                result = deleteTrees(s, dbId, streamName);
            // A delete that fails undoes the others: no half tree stays behind.
            if (result >= VI_SUCCESS ? commit(s) : false)
                return VI_SUCCESS;
            rollback(s);
            return result >= VI_SUCCESS ? TQDAQ_ERROR_STATEMENT : result;
        }();
        trace(s, "tqdaq_deleteStream(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(streamName),
              ul(st));
        return st;
    });
}
