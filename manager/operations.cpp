// Operations run on the members of the selected configuration database, and
// the selected database itself.
#include <cstring>
#include <string>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::Statement;

namespace
{

// The rows of the walk, in rank order: every resource whose model lists the
// operation and that is a member of the selected database (enabled members
// only when no name is given) or the database's own resource. They are read
// before any instrument runs: an instrument may call back into this session
// while the walk goes on. Built as one text of whatever length it needs.
ViStatus walkRows(Session *s, const char *name, const char *operation, std::vector<std::optional<std::string>> &rows)
{
    const bool named = name && *name;
    // A quote has never been part of a name or an operation: text holding
    // one makes no statement, which is a failure, never a walk that ran. No
    // operation at all names none and selects nothing.
    if (!operation)
        return VI_SUCCESS;
    if (strchr(operation, '\'') || (named && strchr(name, '\'')))
        return TQDAQ_ERROR_STATEMENT;
    std::string sql =
        "select vresource.name from vresource,operation left join configs on configs.vresource_id=   "
        "vresource.vresource_id  and configs.property='Rank'  and configs.seq_id=1  and "
        "configs.db_id=(select db_id from system where system_id=1) where operation.operation=?  and "
        "vresource.model_id=operation.model_id  and ((vresource.vresource_id in (select "
        "vresource.vresource_id   from vresource,db_resource,system   where system.db_id=db_resource.db_id "
        "   and vresource.vresource_id=db_resource.vresource_id";
    if (!named)
        sql += "    and db_resource.enable=1";
    sql += "   ))  or (vresource.vresource_id in (select vresource.vresource_id   from vresource,system,db "
           "  where system.db_id=db.db_id    and db.vresource_id=vresource.vresource_id)))";
    if (named)
        sql += " and vresource.name=?";
    sql += " order by configs.value asc";

    Statement q = named ? Statement(s->db, sql.c_str(), operation, name) : Statement(s->db, sql.c_str(), operation);
    if (!q.ok())
        return TQDAQ_ERROR_STATEMENT;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        rows.push_back(q.text(0) ? std::optional<std::string>(q.text(0)) : std::nullopt);
    return rc == SQLITE_DONE ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
}

bool sameArgument(const char *a, const char *b)
{
    return strcmp(a ? a : "", b ? b : "") == 0;
}

// Whether the same database-wide walk (operation and argument) already runs
// on the session.
bool alreadyWalking(const Session *s, const char *operation, const char *argument)
{
    for (const DatabaseWalk *w = s->databaseWalks; w; w = w->outer)
        if (strcmp(w->operation, operation) == 0 && sameArgument(w->argument, argument))
            return true;
    return false;
}

// Keeps a database-wide walk on the session's list while it runs.
class WalkEntry
{
  public:
    WalkEntry(Session *s, const char *operation, const char *argument)
        : s_(s), walk_{operation, argument, s->databaseWalks}
    {
        s_->databaseWalks = &walk_;
    }
    ~WalkEntry() { s_->databaseWalks = walk_.outer; }
    WalkEntry(const WalkEntry &) = delete;
    WalkEntry &operator=(const WalkEntry &) = delete;

  private:
    Session *s_;
    DatabaseWalk walk_;
};

ViStatus walkMembers(Session *s, const char *name, const char *operation, const char *argument)
{
    std::vector<std::optional<std::string>> rows;
    ViStatus st = walkRows(s, name, operation, rows);
    if (st < VI_SUCCESS)
        return st;
    bool unsupported = false;
    for (const auto &row : rows) {
        if (!row)
            return VI_ERROR_INV_RSRC_NAME; // a member without a name
        OpenResource *r = nullptr;
        st = getVresource(s, row->c_str(), true, &r);
        if (st < VI_SUCCESS)
            return st;
        if (r && r->pnp && r->pnp->doOperation)
            st = r->pnp->doOperation(r->pnp->session, operation, argument);
        if (st == VI_ERROR_NSUP_OPER) {
            unsupported = true;
            st = VI_SUCCESS;
        } else if (st < VI_SUCCESS) {
            return st;
        }
        // A listener closed the session meanwhile: nothing more runs on it.
        if (s->closing)
            break;
    }
    return unsupported ? TQDAQ_WARN_OPER_UNSUPPORTED : st;
}

ViStatus walkOperation(Session *s, const char *name, const char *operation, const char *argument)
{
    if (name && *name)
        return walkMembers(s, name, operation, argument);
    // The database's own instrument is part of every database-wide walk of
    // an operation its model lists. One that answers by walking the database
    // again (the basic instrument answers "start" so) would run every member
    // twice: that walk is already under way, and its members have been or
    // will be reached by it.
    if (operation && alreadyWalking(s, operation, argument))
        return VI_SUCCESS;
    if (!operation)
        return walkMembers(s, name, operation, argument);
    const WalkEntry entry(s, operation, argument);
    return walkMembers(s, name, operation, argument);
}

} // namespace

ViStatus getDB(Session *s, char *name)
{
    if (name)
        name[0] = '\0';
    Statement q(s->db, "select vresource.name,vresource.model_id from system,db,vresource where system.system_id = 1 "
                       "and system.db_id=db.db_id and db.vresource_id=vresource.vresource_id");
    if (!q.ok())
        return TQDAQ_ERROR_STATEMENT;
    const int rc = q.step();
    if (rc == SQLITE_DONE)
        return TQDAQ_ERROR_NO_DATABASE;
    if (rc != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    const auto model = q.int64(1);
    if (!model)
        return TQDAQ_ERROR_STATEMENT;
    if (*model != s->modelId)
        return TQDAQ_ERROR_OTHER_MODEL;
    if (!q.text(0) || !copyName(name, q.text(0)))
        return TQDAQ_ERROR_STATEMENT;
    return VI_SUCCESS;
}

ViStatus doOperation(Session *s, const char *name, const char *operation, const char *argument)
{
    ViStatus st = checkController(s);
    if (st >= VI_SUCCESS)
        st = walkOperation(s, name, operation, argument);
    trace(s, "tqdaq_doOperation(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
          orNull(operation), static_cast<unsigned long>(static_cast<uint32_t>(st)));
    return st;
}

ViStatus setSimulationMode(Session *s, const char *name, ViUInt16 mode)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    const bool named = name && *name;
    if (named && !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    // The members only: the database's own instrument keeps its mode.
    std::string sql = "select vresource.name from vresource,db_resource,system where db_resource.db_id=system.db_id "
                      " and system.system_id=1  and vresource.vresource_id=db_resource.vresource_id";
    sql += named ? " and vresource.name=?" : " and db_resource.enable=1";
    std::vector<std::string> rows;
    {
        Statement q = named ? Statement(s->db, sql.c_str(), name) : Statement(s->db, sql.c_str());
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW)
            if (q.text(0))
                rows.emplace_back(q.text(0));
        if (rc != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    st = VI_SUCCESS;
    for (const std::string &row : rows) {
        OpenResource *r = nullptr;
        if ((st = getVresource(s, row.c_str(), true, &r)) < VI_SUCCESS)
            return st;
        if (!r || !r->pnp)
            continue;
        // Into simulation from a known state: whatever the hardware was doing
        // stops first.
        if (mode == 1 && r->pnp->doOperation)
            r->pnp->doOperation(r->pnp->session, "reset", nullptr);
        if (r->pnp->setSimulationMode &&
            (st = r->pnp->setSimulationMode(r->pnp->session, static_cast<ViBoolean>(mode))) < VI_SUCCESS)
            return st;
    }
    s->simulationMode = mode;
    return st;
}

ViStatus notify(Session *s, const char *text)
{
    char dbName[TQDAQ_NAME_SIZE];
    if (getDB(s, dbName) < VI_SUCCESS)
        return VI_SUCCESS;
    return doOperation(s, dbName, "uiEvent", text);
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_doOperation(ViSession session, ViConstString name, ViConstString operation,
                                  ViConstString argument)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return doOperation(s, name, operation, argument);
    });
}

TQ_API ViStatus tqdaq_setSimulationMode(ViSession session, ViConstString name, ViUInt16 mode)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = setSimulationMode(s, name, mode);
        trace(s, "tqdaq_setSimulationMode(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              mode ? "VI_TRUE" : "VI_FALSE", static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}

TQ_API ViStatus tqdaq_getDB(ViSession session, ViChar *name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = getDB(s, name);
        trace(s, "tqdaq_getDB(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              st >= VI_SUCCESS && name ? name : "NULL", static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}
