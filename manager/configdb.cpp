// Configuration databases: selecting, creating, clearing and deleting them,
// the data path, and the application data a front panel keeps per database.
//
// The selection is system row 1's db_id, one for every session and process:
// a change is seen by every session at its next call.
#include <cstring>
#include <string>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

bool isConstraint(int rc)
{
    return (rc & 0xFF) == SQLITE_CONSTRAINT;
}

// A group of statements that stands or falls together, nested inside an
// open configuration transaction as well as outside one.
class Savepoint
{
  public:
    Savepoint(sqlite3 *db, const char *name) : db_(db), name_(name)
    {
        ok_ = execStatement(db_, ("savepoint " + name_).c_str()) == SQLITE_DONE;
    }
    ~Savepoint()
    {
        if (ok_ && !done_) {
            execStatement(db_, ("rollback to " + name_).c_str());
            execStatement(db_, ("release " + name_).c_str());
        }
    }
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;
    bool ok() const { return ok_; }
    // Keeps what was done; false when it could not be kept (and it is undone).
    bool commit()
    {
        if (!ok_ || done_)
            return false;
        if (execStatement(db_, ("release " + name_).c_str()) != SQLITE_DONE)
            return false;
        done_ = true;
        return true;
    }

  private:
    sqlite3 *db_;
    std::string name_;
    bool ok_ = false;
    bool done_ = false;
};

// Application data keys are looked up by name like resources: no quote, at
// most kMaxName characters.
ViStatus checkKey(const char *key)
{
    if (!key || !*key)
        return VI_ERROR_INV_PARAMETER;
    return nameUsable(key) ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
}

} // namespace

ViStatus setDB(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    if (!name || !*name) {
        // Deselecting leaves open instruments, streams and formulas alone.
        return execStatement(s->db, "update system set db_id=NULL where system_id=1") == SQLITE_DONE
                   ? VI_SUCCESS
                   : TQDAQ_ERROR_STATEMENT;
    }
    if ((st = checkDatabaseModel(s, name)) < VI_SUCCESS)
        return st;
    int64_t wanted = 0;
    if ((st = dbIdByName(s, name, &wanted)) < VI_SUCCESS)
        return st;

    int64_t current = 0;
    if (dbIdByName(s, nullptr, &current) >= VI_SUCCESS) {
        if (current == wanted)
            return VI_SUCCESS;
        // The old database's streams and instruments go, its own one last.
        closeStreams(s);
        if ((st = closeAllResources(s)) < VI_SUCCESS)
            return st;
        char oldName[TQDAQ_NAME_SIZE];
        if (getDB(s, oldName) >= VI_SUCCESS) {
            OpenResource *own = nullptr;
            st = getVresource(s, oldName, false, &own);
            if (st >= VI_SUCCESS && own)
                st = closeResource(s, own);
            if (st < VI_SUCCESS && st != VI_ERROR_RSRC_NFOUND)
                return st;
        }
    }

    if (execStatement(s->db, "update system set db_id=? where system_id=1", wanted) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;

    // The new database's streams and formulas; their results do not decide
    // the selection, which stands.
    if (s->formulaStream)
        s->formulaStream->streamSetName(s->formulaStream, name);
    createStreams(s, "", 1, 0);
    if (s->engine)
        s->engine->parseFormulas(s->engine, nullptr);
    return VI_SUCCESS;
}

ViStatus createDB(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    // No name would name the selected database below, and deselect it. The
    // name becomes a directory level under the data path when the database
    // records (captureOpenDB): one that is no single level would record
    // outside it.
    if (!name || !*name || !pathLevelUsable(name))
        return VI_ERROR_INV_PARAMETER;
    int64_t id = 0;
    if (dbIdByName(s, name, &id) >= VI_SUCCESS)
        return setDB(s, name);

    closeAllResources(s);
    if (createVresource(s, name, s->vendor, s->model, "database resource") < VI_SUCCESS)
        return TQDAQ_ERROR_CREATE_DB;
    int64_t vresourceId = 0;
    if (vresourceIdByName(s, name, &vresourceId) < VI_SUCCESS)
        return TQDAQ_ERROR_CREATE_DB;
    if (execStatement(s->db, "insert into db (vresource_id) values(?)", vresourceId) != SQLITE_DONE) {
        // A resource left without its db row would keep the name from ever
        // becoming a database.
        execStatement(s->db, "delete from vresource_options where vresource_id=?", vresourceId);
        execStatement(s->db, "delete from vresource where vresource_id=?", vresourceId);
        return TQDAQ_ERROR_CREATE_DB;
    }
    return setDB(s, name);
}

ViStatus clearDB(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t id = 0;
    if ((st = dbIdByName(s, name, &id)) < VI_SUCCESS)
        return st;

    // Cleared whole or not at all: a clear that stopped part way would leave
    // members without their values, or layouts without their windows.
    Savepoint sp(s->db, "clearDB");
    if (!sp.ok())
        return TQDAQ_ERROR_STATEMENT;
    for (const char *sql : {"delete from configs where db_id=?", "delete from db_resource where db_id=?",
                            "delete from formula where db_id=?"})
        if (execStatement(s->db, sql, id) != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    // Stored display layouts, children first.
    execStatement(s->db,
                  "delete from channelenable where channelenable_id in (select channelenable.channelenable_id  from "
                  "channelenable,axisinfo,graphobject,displaywindow,  stream where channelenable.axisinfo_id = "
                  "axisinfo.axisinfo_id and axisinfo.graphobject_id = graphobject.graphobject_id and "
                  "graphobject.displaywindow_id                = displaywindow.displaywindow_id and "
                  "displaywindow.stream_id = stream.stream_id and stream.db_id = ?)",
                  id);
    execStatement(s->db,
                  "delete from axisinfo where axisinfo_id in (select axisinfo.axisinfo_id  from "
                  "axisinfo,graphobject,displaywindow,  stream where axisinfo.graphobject_id = "
                  "graphobject.graphobject_id and graphobject.displaywindow_id                = "
                  "displaywindow.displaywindow_id and displaywindow.stream_id = stream.stream_id and stream.db_id = ?)",
                  id);
    execStatement(s->db,
                  "delete from graphobject where graphobject_id in (select graphobject.graphobject_id  from "
                  "graphobject,displaywindow,stream where graphobject.displaywindow_id                = "
                  "displaywindow.displaywindow_id and displaywindow.stream_id = stream.stream_id and stream.db_id = ?)",
                  id);
    execStatement(s->db,
                  "delete from displaywindow where displaywindow_id in (select displaywindow.displaywindow_id  from "
                  "displaywindow,stream where displaywindow.stream_id = stream.stream_id and stream.db_id = ?)",
                  id);
    if (execStatement(s->db, "delete from stream where db_id=?", id) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    return sp.commit() ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
}

ViStatus deleteDB(Session *s, const char *name)
{
    int64_t selected = 0, id = 0;
    ViStatus st = dbIdByName(s, nullptr, &selected);
    if (st < VI_SUCCESS)
        return st;
    if ((st = dbIdByName(s, name, &id)) < VI_SUCCESS)
        return st;
    if (id == selected)
        return VI_ERROR_INV_PARAMETER;
    if (clearDB(s, name) < VI_SUCCESS)
        return TQDAQ_ERROR_STATEMENT;

    Savepoint sp(s->db, "deleteDB");
    if (!sp.ok())
        return TQDAQ_ERROR_STATEMENT;
    // The database's application data and its own resource's option rows
    // stay: a front panel may keep what it stored about a database beyond
    // the database, and ids are never handed out twice (the keys are
    // AUTOINCREMENT), so no later database finds them.
    if (execStatement(s->db, "delete from vresource where vresource_id= (select vresource_id from db where db_id = ?)",
                      id) != SQLITE_DONE ||
        execStatement(s->db, "delete from db where db_id=?", id) != SQLITE_DONE || !sp.commit())
        return TQDAQ_ERROR_STATEMENT;
    progress(s, "Deleted database %s", name);
    return VI_SUCCESS;
}

ViStatus setDataPath(Session *s, const char *path)
{
    if (!path)
        return VI_ERROR_INV_PARAMETER;
    // tqdaq_getDataPath hands the path out in a TQDAQ_NAME_SIZE buffer: a
    // longer one could be stored but never read back.
    if (strnlen(path, TQDAQ_NAME_SIZE) >= TQDAQ_NAME_SIZE)
        return TQDAQ_ERROR_STATEMENT;
    return execStatement(s->db, "update system set datapath=?", path) == SQLITE_DONE ? VI_SUCCESS
                                                                                     : TQDAQ_ERROR_STATEMENT;
}

ViStatus getDataPath(Session *s, char *path)
{
    if (path)
        path[0] = '\0';
    Statement q(s->db, "select datapath from system");
    if (!q.ok() || q.step() != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    // A data path never set reads as empty text.
    return copyName(path, q.text(0) ? q.text(0) : "") ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
}

ViStatus setAppData(Session *s, const char *key, const char *value, ViInt16 replace)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    if ((st = checkKey(key)) < VI_SUCCESS)
        return st;
    // With no database selected the row is stored for none (a NULL db_id):
    // no later call finds it, as callers of this export have always seen.
    const int rc = execStatement(s->db,
                                 replace ? "insert or replace into appdata (key,value,db_id) values(?,?,(select db_id "
                                           "from system where system_id=1))"
                                         : "insert into appdata (key,value,db_id) values(?,?,(select db_id from system "
                                           "where system_id=1))",
                                 key, value);
    if (rc == SQLITE_DONE)
        return VI_SUCCESS;
    return isConstraint(rc) ? VI_ERROR_RSRC_BUSY : TQDAQ_ERROR_STATEMENT;
}

ViStatus getAppData(Session *s, const char *key, char *buffer, ViUInt32 size, ViUInt32 *length)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    if ((st = checkKey(key)) < VI_SUCCESS)
        return st;
    Statement q(s->db, "select value from appdata where key=? and db_id=(select db_id from system where system_id=1)",
                key);
    if (!q.ok())
        return TQDAQ_ERROR_STATEMENT;
    const int rc = q.step();
    if (rc == SQLITE_DONE)
        return VI_ERROR_NSUP_ATTR;
    if (rc != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    const char *value = q.text(0) ? q.text(0) : "";
    const size_t n = strlen(value);
    if (length)
        *length = static_cast<ViUInt32>(n);
    // A buffer of no bytes has no room even for the terminator.
    if (buffer && size > 0) {
        const size_t copied = n < size - 1 ? n : size - 1;
        memcpy(buffer, value, copied);
        buffer[copied] = '\0';
    }
    return VI_SUCCESS;
}

ViStatus deleteAppData(Session *s, const char *key)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    const bool one = key && *key;
    if (one && !nameUsable(key))
        return TQDAQ_ERROR_STATEMENT;
    const int rc =
        one ? execStatement(
                  s->db, "delete from appdata where db_id=(select db_id from system where system_id=1) and key=?", key)
            : execStatement(s->db, "delete from appdata where db_id=(select db_id from system where system_id=1)");
    if (rc != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    return one && sqlite3_changes(s->db) == 0 ? VI_ERROR_NSUP_ATTR : VI_SUCCESS;
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

namespace
{

// Runs body on the session of a value, or refuses a value that names none.
template <typename F> ViStatus onSession(ViSession session, F &&body)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return body(s);
    });
}

} // namespace

TQ_API ViStatus tqdaq_setDB(ViSession session, ViConstString name)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = setDB(s, name);
        trace(s, "tqdaq_setDB(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_createDB(ViSession session, ViConstString name)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = createDB(s, name);
        trace(s, "tqdaq_createDB(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_clearDB(ViSession session, ViConstString name)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = clearDB(s, name);
        trace(s, "tqdaq_clearDB(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_deleteDB(ViSession session, ViConstString name)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = deleteDB(s, name);
        trace(s, "tqdaq_deleteDB(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_replicateDB(ViSession, ViConstString, ViConstString)
{
    traceAlways("Calling unimplemented funciton tqdaq_replicateDB\n");
    return VI_ERROR_NIMPL_OPER;
}

TQ_API ViStatus tqdaq_setDataPath(ViSession session, ViConstString path)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = setDataPath(s, path);
        trace(s, "tqdaq_setDataPath(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(path), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_getDataPath(ViSession session, ViChar *path)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = getDataPath(s, path);
        trace(s, "tqdaq_getDataPath(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              st >= VI_SUCCESS ? orNull(path) : "NULL", ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_setAppData(ViSession session, ViConstString key, ViConstString value, ViInt16 replace)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = setAppData(s, key, value, replace);
        trace(s, "tqdaq_setAppData(" TQ_SESSION_FMT ",%s,%s,%hd) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(key),
              orNull(value), replace, ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_getAppData(ViSession session, ViConstString key, ViChar *buffer, ViUInt32 size, ViUInt32 *length)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = getAppData(s, key, buffer, size, length);
        trace(s, "tqdaq_getAppData(" TQ_SESSION_FMT ",%s,%s,%#lx,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(key), st >= VI_SUCCESS && buffer && size > 0 ? buffer : "NULL", static_cast<unsigned long>(size),
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(length)),
              static_cast<unsigned long>(st >= VI_SUCCESS && length ? *length : 0), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_deleteAppData(ViSession session, ViConstString key)
{
    return onSession(session, [&](Session *s) {
        const ViStatus st = deleteAppData(s, key);
        trace(s, "tqdaq_deleteAppData(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), key ? key : "null",
              ul(st));
        return st;
    });
}

// A database is renamed through its own virtual resource, which carries the
// name; the resource rename traces the call.
TQ_API ViStatus tqdaq_renameDB(ViSession session, ViConstString oldName, ViConstString newName)
{
    return tqdaq_renameResource(session, oldName, newName);
}
