// Virtual resources: the named instruments of the user's configuration, one
// vresource row each with the option values of its model.
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

unsigned long ul(ViStatus st)
{
    return static_cast<unsigned long>(static_cast<uint32_t>(st));
}

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
    return guardStatus([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return createVresource(s, name, vendor, model, description);
    });
}
