// Virtual resources: the named instruments of the user's configuration, one
// vresource row each with the option values of its model. Creating, deleting
// (a carrier with the modules mounted on it), renaming with every stored
// reference, membership in the selected database and its enable flag, option
// values, and whether a device fits a virtual resource.
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "resourceops.h"
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

// The row and its option rows. A resource is made whole or not at all: a
// resource without some of its options would open and compare against
// devices with values missing, so a failure part way takes back what was
// written (inside a configuration transaction too, through a savepoint).
ViStatus insertVresource(Session *s, const char *name, ViUInt16 vendor, ViUInt16 model, const char *description)
{
    int64_t modelId = 0;
    {
        Statement q(s->db, "select model_id from model where model.vendor = ?  and model.model=?",
                    static_cast<int64_t>(vendor), static_cast<int64_t>(model));
        if (!q.ok() || q.step() != SQLITE_ROW)
            return TQDAQ_ERROR_STATEMENT;
        const auto id = q.int64(0);
        if (!id)
            return TQDAQ_ERROR_STATEMENT;
        modelId = *id;
    }

    if (execStatement(s->db, "savepoint createVresource") != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    const ViStatus st = [&]() -> ViStatus {
        const int rc = execStatement(s->db, "insert into vresource (name,model_id,description) values (?,?,?)", name,
                                     modelId, description ? description : "");
        if (isConstraint(rc))
            return TQDAQ_ERROR_NAME_EXISTS;
        if (rc != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
        const int64_t vresourceId = sqlite3_last_insert_rowid(s->db);

        // The items are read first: the inserts go into another table, but a
        // statement still stepping over rows is best not written under.
        std::vector<std::pair<int64_t, std::optional<std::string>>> items;
        {
            Statement q(s->db,
                        "select ui_item.ui_item_id,ui_item.dflt from ui_item,category,model_options where "
                        "model_options.model_id=?  and category.category_id=model_options.category_id  and "
                        "ui_item.category_id=category.category_id",
                        modelId);
            if (!q.ok())
                return TQDAQ_ERROR_STATEMENT;
            int step;
            while ((step = q.step()) == SQLITE_ROW) {
                const auto item = q.int64(0);
                if (!item)
                    return TQDAQ_ERROR_STATEMENT;
                items.emplace_back(*item, q.text(1) ? std::optional<std::string>(q.text(1)) : std::nullopt);
            }
            if (step != SQLITE_DONE)
                return TQDAQ_ERROR_STATEMENT;
        }
        for (const auto &[item, dflt] : items) {
            // An item without a default leaves the option without a value
            // (NULL), rather than a text that was never its default.
            const char *value = dflt ? dflt->c_str() : nullptr;
            if (execStatement(s->db, "insert into vresource_options (vresource_id,ui_item_id,value) values (?,?,?)",
                              vresourceId, item, value) != SQLITE_DONE)
                return TQDAQ_ERROR_STATEMENT;
        }
        return VI_SUCCESS;
    }();
    if (st >= VI_SUCCESS && execStatement(s->db, "release createVresource") == SQLITE_DONE)
        return st;
    execStatement(s->db, "rollback to createVresource");
    execStatement(s->db, "release createVresource");
    return st >= VI_SUCCESS ? TQDAQ_ERROR_STATEMENT : st;
}

} // namespace

ViStatus createVresource(Session *s, const char *name, ViUInt16 vendor, ViUInt16 model, const char *description)
{
    ViStatus st = checkController(s);
    if (st >= VI_SUCCESS) {
        if (!name || !*name)
            st = VI_ERROR_INV_PARAMETER; // a resource is found by its name: none is no resource
        else if (!nameUsable(name))
            st = TQDAQ_ERROR_STATEMENT; // a name no later statement could carry
        else
            st = insertVresource(s, name, vendor, model, description);
    }

    const std::string shown = name ? name : "";
    if (st >= VI_SUCCESS) {
        progress(s, "Created %s", shown.c_str());
        notify(s, ("create;completion;" + shown).c_str());
    } else if (st == TQDAQ_ERROR_NAME_EXISTS) {
        progress(s, "Resource %s already exists", shown.c_str());
        notify(s, ("failed;duplicate;" + shown).c_str());
    } else {
        progress(s, "Failed to create %s", shown.c_str());
        notify(s, "failed");
    }
    trace(s, "tqdaq_createVresource(" TQ_SESSION_FMT ",%s,%#hx,%#hx,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
          orNull(name), vendor, model, orNull(description), ul(st));
    return st;
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_createVresource(ViSession session, ViConstString name, ViUInt16 vendor, ViUInt16 model,
                                      ViConstString description)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return createVresource(s, name, vendor, model, description);
    });
}

namespace tq::manager
{

namespace
{

constexpr ViInt32 kOptionValueSize = 64;
constexpr const char *kInstrumentName = "InstrumentName";

bool empty(const char *text)
{
    return !text || !*text;
}

// Keeps the first failure of a walk that goes on after one.
void keepFirst(ViStatus &result, ViStatus st)
{
    if (result >= VI_SUCCESS && st < VI_SUCCESS)
        result = st;
}

bool inUse(Session *s, int64_t id)
{
    return hasRow(s, "select 1 from configs where vresource_id=?", id) ||
           hasRow(s, "select 1 from db_resource where vresource_id=?", id) ||
           hasRow(s, "select 1 from db where vresource_id=?", id);
}

// The resource and everything mounted on it, modules before their carrier.
// A loop in the adapter rows is followed once.
bool mountedGroup(Session *s, int64_t id, const std::string &name, std::vector<std::pair<int64_t, std::string>> &out,
                  std::set<int64_t> &seen, int depth)
{
    if (!seen.insert(id).second)
        return true;
    if (depth > kMaxCarrierDepth)
        return false;
    Rows modules;
    if (!readRows(s, modules, 2,
                  "select vresource.vresource_id,vresource.name from vadapter,vresource where "
                  "vadapter.backend_id=?  and vresource.vresource_id=vadapter.frontend_id",
                  id))
        return false;
    for (const auto &m : modules) {
        const auto mid = m[0] ? devicedb::parseInt64(m[0]->c_str()) : std::nullopt;
        if (!mid || !m[1] || !mountedGroup(s, *mid, *m[1], out, seen, depth + 1))
            return false;
    }
    out.emplace_back(id, name);
    return true;
}

ViStatus removeOne(Session *s, int64_t id, const std::string &name)
{
    closeIfOpen(s, name.c_str());
    if (execStatement(s->db, "update presource set vresource_id=NULL where vresource_id=?", id) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    notify(s, ("delete;completion;" + name).c_str());
    if (execStatement(s->db, "delete from vresource_options where vresource_id=?", id) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    execStatement(s->db, "delete from vadapter where backend_id=?", id);
    execStatement(s->db, "delete from vadapter where frontend_id=?", id);
    if (execStatement(s->db, "delete from vresource where vresource_id=?", id) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    progress(s, "Deleted %s", name.c_str());
    return VI_SUCCESS;
}

ViStatus deleteVresource(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t id = 0;
    st = vresourceIdByName(s, name, &id);
    if (st < VI_SUCCESS)
        return st;
    // A carrier goes with its modules, and only when none of them is in
    // use either; a database's own resource goes only with its database.
    std::vector<std::pair<int64_t, std::string>> group;
    std::set<int64_t> seen;
    if (!mountedGroup(s, id, name, group, seen, 0))
        return TQDAQ_ERROR_STATEMENT;
    for (const auto &[member, memberName] : group)
        if (inUse(s, member))
            return TQDAQ_ERROR_VRSRC_IN_USE;
    for (const auto &[member, memberName] : group) {
        st = removeOne(s, member, memberName);
        if (st < VI_SUCCESS)
            return st;
    }
    return VI_SUCCESS;
}

ViStatus renameSteps(Session *s, const char *oldName, const char *newName)
{
    if (empty(oldName) || empty(newName))
        return VI_ERROR_INV_PARAMETER;
    if (!nameUsable(oldName) || !nameUsable(newName))
        return TQDAQ_ERROR_STATEMENT;
    // A taken name is refused before anything is opened or rewritten, and
    // the references and the name change together.
    if (strcmp(oldName, newName) != 0 && hasRow(s, "select 1 from vresource where name=?", newName))
        return TQDAQ_ERROR_NAME_EXISTS;
    OpenResource *r = nullptr;
    ViStatus st = getVresource(s, oldName, true, &r);
    if (st < VI_SUCCESS)
        return st;
    if (execStatement(s->db, "savepoint renameResource") != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    const bool done =
        execStatement(s->db,
                      "update configs set value=replace(value,'&lt;'||?1||'-','&lt;'||?2||'-')where value like "
                      "'%&lt;'||?1||'-%&gt;%'",
                      oldName, newName) == SQLITE_DONE &&
        execStatement(s->db,
                      "update configs set value=replace(value,'['||?1||'-','['||?2||'-')where value like "
                      "'%['||?1||'-%]%'",
                      oldName, newName) == SQLITE_DONE &&
        execStatement(s->db,
                      "update formula set expression=replace(expression, '&lt;'||?1||'-', '&lt;'||?2||'-')where "
                      "expression like '%&lt;'||?1||'-%&gt;%'",
                      oldName, newName) == SQLITE_DONE &&
        execStatement(s->db,
                      "update formula set expression=replace(expression, '['||?1||'-', '['||?2||'-')where "
                      "expression like '%['||?1||'-%]%'",
                      oldName, newName) == SQLITE_DONE &&
        execStatement(s->db, "update vresource set name=? where name=?", newName, oldName) == SQLITE_DONE;
    if (!done || execStatement(s->db, "release renameResource") != SQLITE_DONE) {
        execStatement(s->db, "rollback to renameResource");
        execStatement(s->db, "release renameResource");
        return TQDAQ_ERROR_STATEMENT;
    }

    progress(s, "%s", (std::string("Rename ") + oldName + " as " + newName).c_str());
    if (r && r->pnp && r->pnp->setPropertyByName)
        r->pnp->setPropertyByName(r->pnp->session, kInstrumentName, newName);
    updateVresourceOption(s, newName, kInstrumentName, newName);
    return st;
}

ViStatus renameResource(Session *s, const char *oldName, const char *newName)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    st = renameSteps(s, oldName, newName);
    if (st < VI_SUCCESS)
        progress(s, "Rename resource %s failed", oldName ? oldName : "");
    return st;
}

ViStatus unlinkVresource(Session *s, const char *name)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t dbId = 0;
    if (dbIdByName(s, nullptr, &dbId) < VI_SUCCESS)
        return TQDAQ_ERROR_STATEMENT;
    if (!empty(name) && !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    std::string sql = "select vresource.vresource_id,vresource.name from vresource,db_resource,system where "
                      "db_resource.db_id=system.db_id  and vresource.vresource_id=db_resource.vresource_id";
    Rows rows;
    bool read;
    if (empty(name)) {
        read = readRows(s, rows, 2, sql.c_str());
    } else {
        sql += "    and vresource.name=?";
        read = readRows(s, rows, 2, sql.c_str(), name);
    }
    if (!read)
        return TQDAQ_ERROR_STATEMENT;
    // Every member is walked; the result is the last member's, as callers
    // that unlink everything and look at the outcome have always seen it.
    ViStatus result = VI_SUCCESS;
    for (const auto &row : rows) {
        if (!row[0] || !row[1]) {
            result = TQDAQ_ERROR_STATEMENT;
            continue;
        }
        if (execStatement(s->db, "delete from configs where db_id=? and vresource_id=?", dbId, *row[0]) !=
            SQLITE_DONE) {
            result = TQDAQ_ERROR_STATEMENT;
            continue; // its membership stays with its values
        }
        notify(s, ("unlink;completion;" + *row[1]).c_str());
        result = execStatement(s->db, "delete from db_resource where db_id=? and vresource_id=?", dbId, *row[0]) ==
                         SQLITE_DONE
                     ? VI_SUCCESS
                     : TQDAQ_ERROR_STATEMENT;
    }
    return result;
}

ViStatus getVresourceEnable(Session *s, const char *name, ViInt16 &enable)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t dbId = 0, id = 0;
    if (dbIdByName(s, nullptr, &dbId) < VI_SUCCESS)
        return TQDAQ_ERROR_STATEMENT;
    st = vresourceIdByName(s, name, &id);
    if (st < VI_SUCCESS)
        return st;
    std::optional<int64_t> stored;
    bool member = false, assigned = false;
    {
        Statement q(s->db,
                    "select db_resource.enable,presource.presource_id from db_resource left join presource on "
                    "presource.vresource_id=? where db_resource.db_id=? and db_resource.vresource_id=?",
                    id, dbId, id);
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        const int rc = q.step();
        if (rc == SQLITE_ROW) {
            member = true;
            stored = q.int64(0);
            assigned = !q.isNull(1);
            if (!stored)
                return TQDAQ_ERROR_STATEMENT;
        } else if (rc != SQLITE_DONE) {
            return TQDAQ_ERROR_STATEMENT;
        }
    }
    if (member) {
        if (assigned) {
            enable = *stored == 1 ? 1 : 0;
        } else {
            // Without a device the flag cannot stand: a stale 1 is corrected.
            enable = 0;
            if (*stored == 1)
                execStatement(s->db, "update db_resource set enable=0 where vresource_id=?  and db_id=?", id, dbId);
        }
        return VI_SUCCESS;
    }
    // Not a member: the database's own resource counts as enabled.
    Statement q(s->db, "select vresource_id from db where db_id=?", dbId);
    if (!q.ok() || q.step() != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    const auto own = q.int64(0);
    enable = own && *own == id ? 1 : 0;
    return VI_SUCCESS;
}

} // namespace

ViStatus closeIfOpen(Session *s, const char *vresource)
{
    OpenResource *r = nullptr;
    const ViStatus st = getVresource(s, vresource, false, &r);
    if (st == VI_ERROR_RSRC_NFOUND)
        return VI_SUCCESS;
    if (st < VI_SUCCESS)
        return st;
    return r ? closeResource(s, r) : VI_SUCCESS;
}

ViStatus linkVresource(Session *s, const char *name)
{
    if (checkController(s) < VI_SUCCESS)
        return TQDAQ_ERROR_STATEMENT;
    int64_t dbId = 0, id = 0;
    ViStatus st = dbIdByName(s, nullptr, &dbId);
    if (st < VI_SUCCESS)
        return st;
    st = vresourceIdByName(s, name, &id);
    if (st < VI_SUCCESS)
        return st;
    const int rc = execStatement(s->db, "insert into db_resource (vresource_id,db_id) values (?,?)", id, dbId);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT)
        return TQDAQ_ERROR_NAME_EXISTS;
    if (rc != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    notify(s, (std::string("link;completion;") + name).c_str());
    return VI_SUCCESS;
}

ViStatus setVresourceEnable(Session *s, const char *name, ViInt16 enable)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t dbId = 0;
    if (dbIdByName(s, nullptr, &dbId) < VI_SUCCESS)
        return TQDAQ_ERROR_STATEMENT;
    if (!empty(name) && !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    std::string sql = "select vresource.vresource_id, vresource.name, presource.name from "
                      "vresource,db_resource,system left join presource  on "
                      "presource.vresource_id=vresource.vresource_id where db_resource.db_id=system.db_id  and "
                      "vresource.vresource_id=db_resource.vresource_id";
    Rows rows;
    bool read;
    if (empty(name)) {
        read = readRows(s, rows, 3, sql.c_str());
    } else {
        sql += "    and vresource.name=?";
        read = readRows(s, rows, 3, sql.c_str(), name);
    }
    if (!read)
        return TQDAQ_ERROR_STATEMENT;

    // The result is the last member's. Once enabling failed no later member
    // is enabled; disabling goes on, and a later member disabled clears an
    // earlier failure.
    ViStatus result = VI_SUCCESS;
    for (const auto &row : rows) {
        if (!row[0] || !row[1]) {
            result = TQDAQ_ERROR_STATEMENT;
            continue;
        }
        if (enable != 0) {
            if (result < VI_SUCCESS)
                continue;
            if (!row[2]) {
                result = VI_ERROR_INV_SETUP;
                progress(s, "%s:Can't enable because resource not assigned to any device.", row[1]->c_str());
                continue;
            }
        } else {
            const ViStatus closed = closeIfOpen(s, row[1]->c_str());
            if (closed < VI_SUCCESS) {
                result = closed;
                continue;
            }
        }
        result = execStatement(s->db, "update db_resource set enable=? where db_id=? and vresource_id=?",
                               enable == 1 ? 1 : 0, dbId, *row[0]) == SQLITE_DONE
                     ? VI_SUCCESS
                     : TQDAQ_ERROR_STATEMENT;
    }
    return result;
}

ViStatus updateVresourceOption(Session *s, const char *vresource, const char *property, const char *value)
{
    if (!nameUsable(vresource) || !nameUsable(property))
        return TQDAQ_ERROR_STATEMENT;
    std::optional<int64_t> option;
    {
        Statement q(s->db,
                    "select vresource_options.vresource_options_id from vresource_options,vresource,ui_item where "
                    "vresource_options.vresource_id=vresource.vresource_id  and vresource.name=?  and "
                    "vresource_options.ui_item_id=ui_item.ui_item_id  and ui_item.property=?",
                    vresource, property);
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        const int rc = q.step();
        if (rc == SQLITE_DONE)
            return VI_SUCCESS; // the resource has no such option: nothing to store
        if (rc != SQLITE_ROW || !(option = q.int64(0)))
            return TQDAQ_ERROR_STATEMENT;
    }
    return execStatement(s->db, "update vresource_options set value=? where vresource_options.vresource_options_id=?",
                         value, *option) == SQLITE_DONE
               ? VI_SUCCESS
               : TQDAQ_ERROR_STATEMENT;
}

ViStatus syncVresourceOptions(Session *s, const char *vresource, const char *presource)
{
    if (!nameUsable(vresource))
        return TQDAQ_ERROR_STATEMENT;
    OpenResource *driver = nullptr;
    if (openPresource(s, presource, &driver) < VI_SUCCESS || !driver || !driver->pnp) {
        if (driver)
            closeResource(s, driver);
        return TQDAQ_ERROR_STATEMENT;
    }
    Rows rows;
    ViStatus result = VI_SUCCESS;
    if (!readRows(s, rows, 3,
                  "select ui_item.property,vresource_options.value,vresource_options.vresource_options_id from "
                  "vresource_options,ui_item,vresource where vresource_options.vresource_id=vresource.vresource_id "
                  " and vresource.name=?  and ui_item.ui_item_id=vresource_options.ui_item_id",
                  vresource))
        result = TQDAQ_ERROR_STATEMENT;
    // Every option is read; the first failure is the result.
    for (const auto &row : rows) {
        if (!row[0] || !row[2]) {
            keepFirst(result, TQDAQ_ERROR_STATEMENT);
            continue;
        }
        // The resource's own name is not the device's to give.
        if (*row[0] == kInstrumentName)
            continue;
        char value[kOptionValueSize] = "";
        const ViStatus read = driver->pnp->getPropertyByName
                                  ? driver->pnp->getPropertyByName(driver->pnp->session, row[0]->c_str(), "", value,
                                                                   kOptionValueSize)
                                  : VI_ERROR_NSUP_OPER;
        value[kOptionValueSize - 1] = '\0';
        if (read < VI_SUCCESS) {
            keepFirst(result, read);
            continue;
        }
        if (row[1] && *row[1] == value)
            continue;
        if (execStatement(s->db, "update vresource_options set value=? where vresource_options_id=?", value,
                          *row[2]) != SQLITE_DONE)
            keepFirst(result, TQDAQ_ERROR_STATEMENT);
    }
    closeResource(s, driver);
    return result;
}

namespace
{

bool compatibleAt(Session *s, const char *presource, int64_t vid, int depth)
{
    if (depth > kMaxCarrierDepth || !nameUsable(presource))
        return false;

    // A module on a virtual carrier fits only a module on a physical
    // carrier that fits that virtual carrier; the sites are compared there.
    {
        Statement q(s->db,
                    "select vresource.vresource_id from vadapter,vresource where vadapter.frontend_id=?  and "
                    "vadapter.backend_id=vresource.vresource_id",
                    vid);
        if (!q.ok())
            return false;
        const int rc = q.step();
        if (rc == SQLITE_ROW) {
            const auto carrier = q.int64(0);
            if (!carrier)
                return false;
            std::string physicalCarrier;
            {
                Statement c(s->db,
                            "select bpresource.name from padapter,presource as bpresource,presource as fpresource "
                            "where fpresource.name=?  and padapter.frontend_id=fpresource.presource_id  and "
                            "padapter.backend_id=bpresource.presource_id",
                            presource);
                if (!c.ok() || c.step() != SQLITE_ROW || !c.text(0))
                    return false; // a mounted module never fits a device on no carrier
                physicalCarrier = c.text(0);
            }
            return compatibleAt(s, physicalCarrier.c_str(), *carrier, depth + 1);
        }
        if (rc != SQLITE_DONE)
            return false;
    }

    // The device's identity against the virtual resource's model.
    ViUInt16 vendor = 0, model = 0;
    if (getVendorModel(s, presource, &vendor, &model) < VI_SUCCESS)
        return false;
    {
        Statement q(s->db,
                    "select vendor,model from model,vresource where model.model_id=vresource.model_id  and "
                    "vresource.vresource_id=?",
                    vid);
        if (!q.ok() || q.step() != SQLITE_ROW)
            return false;
        const auto v = q.int64(0), m = q.int64(1);
        if (!v || !m || static_cast<ViUInt16>(*v) != vendor || static_cast<ViUInt16>(*m) != model)
            return false;
    }

    // Every option the device reported, its own name aside, as configured.
    {
        Statement q(s->db,
                    "select vresource_options.vresource_options_id from presource_options,vresource_options,ui_item "
                    "where vresource_options.ui_item_id=presource_options.ui_item_id  and "
                    "vresource_options.vresource_id=?  and presource_options.presource_id=   (select presource_id "
                    "from presource where presource.name=?)  and presource_options.value != vresource_options.value "
                    " and vresource_options.ui_item_id=ui_item.ui_item_id  and ui_item.property!='InstrumentName'",
                    vid, presource);
        if (!q.ok() || q.step() != SQLITE_DONE)
            return false;
    }

    // The same sites occupied on both sides, by modules of the same models.
    {
        Statement q(s->db,
                    "select 1 as dummy from vresource,presource as bpresource, presource as fpresource,  "
                    "vadapter,padapter where vadapter.connector_index=padapter.connector_index  and "
                    "vadapter.backend_id=?  and padapter.backend_id=bpresource.presource_id  and bpresource.name=? "
                    " and fpresource.presource_id=padapter.frontend_id  and "
                    "vresource.vresource_id=vadapter.frontend_id  and fpresource.model_id!=vresource.model_id",
                    vid, presource);
        if (!q.ok() || q.step() != SQLITE_DONE)
            return false;
    }
    {
        Statement q(s->db,
                    "select 1 from padapter,presource where presource.name=?  and "
                    "padapter.backend_id=presource.presource_id  and padapter.connector_index not in   (select "
                    "vadapter.connector_index from vadapter where vadapter.backend_id=?)",
                    presource, vid);
        if (!q.ok() || q.step() != SQLITE_DONE)
            return false;
    }
    {
        Statement q(s->db,
                    "select 1 from vadapter where vadapter.backend_id=?  and vadapter.connector_index not in   "
                    "(select padapter.connector_index from padapter,presource where presource.name=?  and "
                    "padapter.backend_id=presource.presource_id)",
                    vid, presource);
        if (!q.ok() || q.step() != SQLITE_DONE)
            return false;
    }
    return true;
}

} // namespace

bool isCompatible(Session *s, const char *presource, int64_t vresourceId)
{
    return compatibleAt(s, presource, vresourceId, 0);
}

} // namespace tq::manager

TQ_API ViStatus tqdaq_deleteVresource(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = deleteVresource(s, name);
        trace(s, "tqdaq_deleteVresource(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_renameResource(ViSession session, ViConstString oldName, ViConstString newName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = renameResource(s, oldName, newName);
        trace(s, "tqdaq_renameResource(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(oldName),
              orNull(newName), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_linkVresource(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = linkVresource(s, name);
        trace(s, "tqdaq_linkVresource(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_unlinkVresource(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = unlinkVresource(s, name);
        trace(s, "tqdaq_unlinkDBResource(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_setVresourceEnable(ViSession session, ViConstString name, ViInt16 enable)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = setVresourceEnable(s, name, enable);
        trace(s, "tqdaq_setVresourceEnable(" TQ_SESSION_FMT ",%s,%#lx) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), static_cast<unsigned long>(static_cast<uint16_t>(enable)), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_getVresourceEnable(ViSession session, ViConstString name, ViInt16 *enable)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViInt16 value = 0;
        const ViStatus st = enable ? getVresourceEnable(s, name, value) : VI_ERROR_INV_PARAMETER;
        if (st >= VI_SUCCESS)
            *enable = value;
        trace(s, "tqdaq_getDBResourceEnable(" TQ_SESSION_FMT ",%s,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(enable)),
              st >= VI_SUCCESS ? static_cast<unsigned long>(static_cast<uint16_t>(value)) : 0xFFFFFFFFul,
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_updateVresourceOption(ViSession session, ViConstString name, ViConstString property,
                                            ViConstString value)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return updateVresourceOption(s, name, property, value);
    });
}

TQ_API ViStatus tqdaq_syncVresourceOptions(ViSession session, ViConstString vresourceName, ViConstString rsrcName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return syncVresourceOptions(s, vresourceName, rsrcName);
    });
}
