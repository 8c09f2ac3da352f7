// Assignment: which device serves which virtual resource, one pair at a
// time, every unassigned member of the selected database, or every
// unassigned device. Carriers bring the modules on their sites along.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "resourceops.h"
#include "rsrcname.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

constexpr const char *kCreatedBy = "created by tqdaq_assignAllPresources";
// Names tried for a new virtual resource before giving up: the device's
// name, then the name tried before with 1, 2, ... appended.
constexpr int kMaxNameAttempts = 100;
// Room kept after a new virtual resource's name: a counter and "_IP<site>".
constexpr size_t kNameReserve = 3 + 4;

bool empty(const char *text)
{
    return !text || !*text;
}

std::optional<int64_t> parseId(const std::optional<std::string> &text)
{
    return text ? devicedb::parseInt64(text->c_str()) : std::nullopt;
}

// Frees a device: its virtual resource loses it and is disabled, and that
// resource's driver, which ran on the device, is closed.
ViStatus freeDevice(Session *s, const char *presource)
{
    std::optional<std::string> holder;
    {
        Statement q(s->db,
                    "select vresource.name from vresource,presource where "
                    "vresource.vresource_id=presource.vresource_id  and presource.name=?",
                    presource);
        if (q.ok() && q.step() == SQLITE_ROW && q.text(0))
            holder = q.text(0);
    }
    if (holder)
        closeIfOpen(s, holder->c_str());
    execStatement(s->db,
                  "update db_resource set enable=0 where db_resource.vresource_id= (select vresource.vresource_id "
                  "from vresource,presource  where vresource.vresource_id=presource.vresource_id   and "
                  "presource.name=?)",
                  presource);
    return execStatement(s->db, "update presource set vresource_id=null where name=?", presource) == SQLITE_DONE
               ? VI_SUCCESS
               : TQDAQ_ERROR_STATEMENT;
}

ViStatus unassignVresource(Session *s, const char *vresource)
{
    const ViStatus closed = closeIfOpen(s, vresource);
    if (closed < VI_SUCCESS)
        return closed;
    notify(s, (std::string("assign;instrument;completion;") + vresource).c_str());
    int64_t id = 0;
    const ViStatus st = vresourceIdByName(s, vresource, &id);
    if (st < VI_SUCCESS)
        return st;
    if (execStatement(s->db, "update presource set vresource_id=null where vresource_id=?", id) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    progress(s, "Unassign resource %s", vresource);
    execStatement(s->db, "update db_resource set enable=0 where db_resource.vresource_id=?", id);
    return VI_SUCCESS;
}

ViStatus assignPair(Session *s, const char *vresource, const char *presource, int depth)
{
    if (empty(vresource) && empty(presource))
        return VI_ERROR_INV_PARAMETER;
    if ((!empty(vresource) && !nameUsable(vresource)) || (!empty(presource) && !nameUsable(presource)))
        return TQDAQ_ERROR_STATEMENT;
    if (empty(vresource))
        return freeDevice(s, presource);
    if (empty(presource))
        return unassignVresource(s, vresource);

    int64_t vid = 0;
    ViStatus st = vresourceIdByName(s, vresource, &vid);
    if (st < VI_SUCCESS)
        return st;
    if (!isCompatible(s, presource, vid))
        return VI_ERROR_INV_PARAMETER;

    // Modules on carriers on both sides: the carriers are assigned, and
    // with them the modules site by site.
    {
        Rows rows;
        if (!readRows(s, rows, 2,
                      "select bvresource.name,bpresource.name from padapter,vadapter,  vresource as "
                      "bvresource,vresource as fvresource,  presource as bpresource,presource as fpresource where "
                      "fvresource.name=?  and fvresource.vresource_id=vadapter.frontend_id  and fpresource.name=?  "
                      "and fpresource.presource_id=padapter.frontend_id  and "
                      "vadapter.backend_id=bvresource.vresource_id  and padapter.backend_id=bpresource.presource_id",
                      vresource, presource))
            return TQDAQ_ERROR_STATEMENT;
        if (!rows.empty()) {
            if (!rows[0][0] || !rows[0][1] || depth >= kMaxCarrierDepth)
                return TQDAQ_ERROR_STATEMENT;
            return assignPair(s, rows[0][0]->c_str(), rows[0][1]->c_str(), depth + 1);
        }
    }

    // One device per virtual resource and one virtual resource per device:
    // the device's former holder stops running on it, and the virtual
    // resource lets go of the device it had.
    {
        std::optional<std::string> holder;
        {
            Statement q(s->db,
                        "select vresource.name from vresource,presource where "
                        "vresource.vresource_id=presource.vresource_id  and presource.name=?  and "
                        "vresource.vresource_id!=?",
                        presource, vid);
            if (q.ok() && q.step() == SQLITE_ROW && q.text(0))
                holder = q.text(0);
        }
        if (holder)
            closeIfOpen(s, holder->c_str());
        if (execStatement(s->db, "update presource set vresource_id=null where vresource_id=?  and name!=?", vid,
                          presource) != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    if (execStatement(s->db, "update presource set vresource_id=? where name=?", vid, presource) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    progress(s, "%s", (std::string("Assign resource ") + vresource + " to " + presource).c_str());
    notify(s, (std::string("assign;instrument;completion;") + vresource + ";" + presource).c_str());
    // Its next open binds the device just assigned.
    st = closeIfOpen(s, vresource);
    if (st < VI_SUCCESS)
        return st;

    // The free modules on the device's sites go to the virtual modules on
    // the same sites.
    ViStatus pending = VI_SUCCESS;
    {
        Rows rows;
        if (!readRows(s, rows, 3,
                      "select fvresource.name,fpresource.name,  fvresource.vresource_id from vadapter,padapter, "
                      "vresource as bvresource, vresource as fvresource, presource as bpresource, presource as "
                      "fpresource where padapter.backend_id=bpresource.presource_id  and bpresource.name=?  and "
                      "vadapter.backend_id=bvresource.vresource_id  and bvresource.name=?  and "
                      "vadapter.connector_index          =padapter.connector_index  and "
                      "fvresource.vresource_id=vadapter.frontend_id  and fpresource.presource_id=padapter.frontend_id "
                      " and fpresource.vresource_id is null",
                      presource, vresource))
            pending = TQDAQ_ERROR_STATEMENT;
        for (const auto &row : rows) {
            if (pending < VI_SUCCESS)
                break;
            if (!row[0] || !row[1] || !row[2])
                continue;
            if (execStatement(s->db, "update presource set vresource_id=? where name=?", *row[2], *row[1]) !=
                SQLITE_DONE)
                continue;
            progress(s, "%s", ("Assign resource " + *row[0] + " to " + *row[1]).c_str());
            notify(s, ("assign;instrument;completion;" + *row[0] + ";" + *row[1]).c_str());
            const ViStatus closed = closeIfOpen(s, row[0]->c_str());
            if (closed < VI_SUCCESS)
                pending = closed;
        }
    }

    // A module device mounts its virtual resource on the virtual carrier of
    // its own carrier, once. A carrier that serves no virtual resource has
    // nothing to mount on: the module is then used on its own.
    {
        Rows rows;
        if (!readRows(s, rows, 2,
                      "select bpresource.vresource_id,padapter.connector_index from padapter,presource as "
                      "bpresource,  presource as fpresource where fpresource.name=?  and "
                      "fpresource.presource_id=padapter.frontend_id  and bpresource.presource_id=padapter.backend_id",
                      presource))
            return TQDAQ_ERROR_STATEMENT;
        if (!rows.empty() && rows[0][0] && rows[0][1] &&
            !hasRow(s, "select 1 from vadapter where frontend_id=?  and backend_id=?  and connector_index=?", vid,
                    *rows[0][0], *rows[0][1]) &&
            execStatement(s->db, "insert into vadapter values (null,?,?,?)", vid, *rows[0][0], *rows[0][1]) !=
                SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    return pending;
}

// Every name character that is not an ASCII letter or digit becomes '_'.
std::string nameFromDevice(const std::string &device)
{
    std::string name = device.substr(0, kMaxName - kNameReserve);
    for (char &c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            c = '_';
    return name;
}

// A virtual resource named after the device, with a module of its own on
// each of the device's sites. A name is taken only when it and its modules'
// names are free; the attempts are bounded.
ViStatus createForDevice(Session *s, const std::string &device, int64_t presourceId, ViUInt16 vendor, ViUInt16 model,
                         std::string &created, int64_t &createdId)
{
    Rows sites;
    if (!readRows(s, sites, 3,
                  "select padapter.connector_index,model.vendor,model.model from padapter,model,presource where "
                  "padapter.backend_id=?  and presource.presource_id=padapter.frontend_id  and "
                  "presource.model_id=model.model_id",
                  presourceId))
        return TQDAQ_ERROR_STATEMENT;

    const std::string base = nameFromDevice(device);
    ViStatus st = TQDAQ_ERROR_NAME_EXISTS;
    // Each attempt appends the next counter value to the name tried before:
    // X, X1, X12, X123, ... (names users already know from earlier systems).
    std::string name = base;
    for (int attempt = 0; attempt < kMaxNameAttempts && st == TQDAQ_ERROR_NAME_EXISTS; ++attempt) {
        if (attempt > 0)
            name += std::to_string(attempt);
        if (name.size() > kMaxName - 4)
            break; // no room left for the modules' "_IP<site>"
        bool free = !hasRow(s, "select 1 from vresource where name=?", name);
        for (const auto &site : sites)
            free = free && site[0] && !hasRow(s, "select 1 from vresource where name=?", name + "_IP" + *site[0]);
        if (!free)
            continue;
        st = createVresource(s, name.c_str(), vendor, model, kCreatedBy);
        if (st >= VI_SUCCESS)
            created = name;
    }
    if (st < VI_SUCCESS)
        return st;

    // Its own name, and the device's option values.
    updateVresourceOption(s, created.c_str(), "InstrumentName", created.c_str());
    st = syncVresourceOptions(s, created.c_str(), device.c_str());
    if (st < VI_SUCCESS)
        return st;
    st = vresourceIdByName(s, created.c_str(), &createdId);
    if (st < VI_SUCCESS)
        return st;

    for (const auto &site : sites) {
        if (!site[0] || !site[1] || !site[2])
            return TQDAQ_ERROR_STATEMENT;
        const auto moduleVendor = devicedb::parseInt64(site[1]->c_str());
        const auto moduleModel = devicedb::parseInt64(site[2]->c_str());
        if (!moduleVendor || !moduleModel)
            return TQDAQ_ERROR_STATEMENT;
        const std::string module = created + "_IP" + *site[0];
        st = createVresource(s, module.c_str(), static_cast<ViUInt16>(*moduleVendor),
                             static_cast<ViUInt16>(*moduleModel), kCreatedBy);
        if (st < VI_SUCCESS)
            return st;
        updateVresourceOption(s, module.c_str(), "InstrumentName", module.c_str());
        int64_t moduleId = 0;
        st = vresourceIdByName(s, module.c_str(), &moduleId);
        if (st < VI_SUCCESS)
            return st;
        if (execStatement(s->db, "insert into vadapter (frontend_id,backend_id,connector_index) values (?,?,?)",
                          moduleId, createdId, *site[0]) != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    return VI_SUCCESS;
}

ViStatus assignAllVresources(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    if (!empty(name) && !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    std::string sql = "select vresource.vresource_id,vresource.name,vresource.model_id from vresource,db_resource,"
                      "system where vresource.vresource_id=db_resource.vresource_id  and "
                      "db_resource.db_id=system.db_id  and vresource.vresource_id not in     (select vresource_id "
                      "from presource             where vresource_id not null)";
    Rows members;
    bool read;
    if (empty(name)) {
        read = readRows(s, members, 3, sql.c_str());
    } else {
        sql += "  and vresource.name=?";
        read = readRows(s, members, 3, sql.c_str(), name);
    }
    if (!read)
        return TQDAQ_ERROR_STATEMENT;

    bool unassigned = false;
    for (const auto &m : members) {
        if (st < VI_SUCCESS)
            break;
        if (!m[0] || !m[1] || !m[2]) {
            st = TQDAQ_ERROR_STATEMENT;
            break;
        }
        // A carrier assigned earlier in this walk brought its modules along.
        if (hasRow(s, "select vresource_id from presource where vresource_id=?", *m[0]))
            continue;
        const auto vid = devicedb::parseInt64(m[0]->c_str());
        if (!vid) {
            st = TQDAQ_ERROR_STATEMENT;
            break;
        }
        std::optional<std::string> chosen;
        Rows candidates;
        if (!readRows(s, candidates, 1,
                      "select name from presource where presource.model_id=?  and presource.vresource_id is null",
                      *m[2]))
            st = TQDAQ_ERROR_STATEMENT;
        for (const auto &c : candidates)
            if (c[0] && isCompatible(s, c[0]->c_str(), *vid)) {
                chosen = c[0];
                break;
            }
        if (!chosen) {
            execStatement(s->db, "update db_resource set enable=0 where db_resource.vresource_id=?", *vid);
            unassigned = true;
            continue;
        }
        st = assignPair(s, m[1]->c_str(), chosen->c_str(), 0);
        if (st >= VI_SUCCESS)
            st = setVresourceEnable(s, m[1]->c_str(), 1);
        if (st < VI_SUCCESS)
            break;
        Rows modules;
        if (!readRows(s, modules, 1,
                      "select vresource.name from vadapter,vresource where vadapter.backend_id=?  and "
                      "vresource.vresource_id=vadapter.frontend_id",
                      *vid)) {
            st = TQDAQ_ERROR_STATEMENT;
            break;
        }
        for (const auto &module : modules) {
            if (!module[0])
                continue;
            const ViStatus enabled = setVresourceEnable(s, module[0]->c_str(), 1);
            // A module whose site device serves another resource stays
            // without a device, like any member that found none.
            if (enabled == VI_ERROR_INV_SETUP)
                unassigned = true;
            else if (enabled < VI_SUCCESS && st >= VI_SUCCESS)
                st = enabled;
        }
    }
    if (st >= VI_SUCCESS && unassigned)
        st = VI_ERROR_RSRC_NFOUND;
    return st;
}

ViStatus assignAllPresources(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t dbId = 0;
    st = dbIdByName(s, nullptr, &dbId);
    if (st < VI_SUCCESS)
        return st;
    if (!empty(name) && !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;

    // Carriers come before the modules on their sites, so that assigning a
    // carrier hands its modules to the virtual modules made for it.
    std::string sql = "select presource.name,model.model_id,vendor,model, presource.presource_id from "
                      "presource,model where vresource_id is null  and presource.model_id=model.model_id";
    Rows devices;
    bool read;
    const char *order = " order by presource.presource_id in (select frontend_id from padapter),"
                        " presource.presource_id";
    if (empty(name)) {
        read = readRows(s, devices, 5, (sql + order).c_str());
    } else {
        sql += "  and presource.name=?";
        read = readRows(s, devices, 5, (sql + order).c_str(), name);
    }
    if (!read)
        return TQDAQ_ERROR_STATEMENT;

    for (const auto &d : devices) {
        if (!d[0] || !d[1] || !d[2] || !d[3] || !d[4])
            return TQDAQ_ERROR_STATEMENT;
        const std::string &device = *d[0];
        if (hasRow(s,
                   "select vresource.vresource_id from vresource,presource where presource_id=?  and "
                   "vresource.vresource_id=presource.vresource_id",
                   *d[4]))
            continue;
        const auto presourceId = devicedb::parseInt64(d[4]->c_str());
        const auto vendor = devicedb::parseInt64(d[2]->c_str());
        const auto model = devicedb::parseInt64(d[3]->c_str());
        if (!presourceId || !vendor || !model)
            return TQDAQ_ERROR_STATEMENT;

        // A free virtual resource of its model that it fits, anywhere.
        std::string vname;
        int64_t vid = 0;
        {
            Rows free;
            if (!readRows(s, free, 2,
                          "select vresource_id,name from vresource where vresource.model_id=?  and "
                          "vresource.vresource_id not in    (select vresource_id from presource            where "
                          "vresource_id not null)",
                          *d[1]))
                return TQDAQ_ERROR_STATEMENT;
            for (const auto &f : free) {
                const auto id = parseId(f[0]);
                if (!id || !f[1])
                    return TQDAQ_ERROR_STATEMENT;
                if (isCompatible(s, device.c_str(), *id)) {
                    vname = *f[1];
                    vid = *id;
                    break;
                }
            }
        }
        if (vname.empty()) {
            st = createForDevice(s, device, *presourceId, static_cast<ViUInt16>(*vendor),
                                 static_cast<ViUInt16>(*model), vname, vid);
            if (st < VI_SUCCESS)
                return st;
        }

        // Members of the selected database, with its modules.
        if (!hasRow(s, "select * from db_resource where vresource_id=?  and db_id=?", vid, dbId) &&
            linkVresource(s, vname.c_str()) < VI_SUCCESS)
            return TQDAQ_ERROR_STATEMENT;
        {
            Rows modules;
            if (!readRows(s, modules, 1,
                          "select vresource.name from vadapter,vresource where "
                          "vresource.vresource_id=vadapter.frontend_id  and vadapter.backend_id=?  and "
                          "vadapter.frontend_id not in   (select db_resource.vresource_id from db_resource    where "
                          "db_id=?)",
                          vid, dbId))
                return TQDAQ_ERROR_STATEMENT;
            for (const auto &module : modules)
                if (!module[0] || linkVresource(s, module[0]->c_str()) < VI_SUCCESS)
                    return TQDAQ_ERROR_STATEMENT;
        }

        st = assignPair(s, vname.c_str(), device.c_str(), 0);
        if (st < VI_SUCCESS)
            return st;
        st = setVresourceEnable(s, vname.c_str(), 1);
        if (st < VI_SUCCESS)
            return st;
        Rows modules;
        if (!readRows(s, modules, 2,
                      "select vresource.name,presource.name from vadapter,padapter,vresource,presource where "
                      "padapter.backend_id=?  and presource.presource_id=padapter.frontend_id  and "
                      "vadapter.backend_id=?  and vresource.vresource_id=vadapter.frontend_id  and "
                      "vadapter.connector_index   =padapter.connector_index",
                      *presourceId, vid))
            return TQDAQ_ERROR_STATEMENT;
        for (const auto &module : modules) {
            if (!module[0])
                return TQDAQ_ERROR_STATEMENT;
            st = setVresourceEnable(s, module[0]->c_str(), 1);
            if (st < VI_SUCCESS)
                return st;
        }
    }
    return st;
}

} // namespace

ViStatus assignResource(Session *s, const char *vresource, const char *presource)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    char dbName[TQDAQ_NAME_SIZE];
    st = getDB(s, dbName);
    if (st < VI_SUCCESS)
        return st;
    return assignPair(s, vresource, presource, 0);
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_assignResource(ViSession session, ViConstString vresourceName, ViConstString rsrcName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = assignResource(s, vresourceName, rsrcName);
        trace(s, "tqdaq_assignResource(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(vresourceName), orNull(rsrcName), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_assignAllVresources(ViSession session, ViConstString vresourceName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = assignAllVresources(s, vresourceName);
        trace(s, "tqdaq_assignAllVresources(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(vresourceName), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_assignAllPresources(ViSession session, ViConstString rsrcName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = assignAllPresources(s, rsrcName);
        trace(s, "tqdaq_assignAllPresources(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(rsrcName), ul(st));
        return st;
    });
}
