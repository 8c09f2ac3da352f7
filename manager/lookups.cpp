// Name and id lookups shared by the manager's calls: a virtual resource's id,
// a configuration database's id (named, or the selected one), and whether a
// named database belongs to the session's application model.
#include "manager.h"

namespace tq::manager
{

using devicedb::Statement;

ViStatus vresourceIdByName(Session *s, const char *name, int64_t *id)
{
    if (!nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    Statement q(s->db, "select vresource_id from vresource where vresource.name=?", name);
    if (!q.ok() || q.step() != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    const auto v = q.int64(0);
    if (!v)
        return TQDAQ_ERROR_STATEMENT;
    *id = *v;
    return VI_SUCCESS;
}

ViStatus dbIdByName(Session *s, const char *name, int64_t *id)
{
    if (name && *name) {
        if (!nameUsable(name))
            return TQDAQ_ERROR_STATEMENT;
        Statement q(s->db,
                    "select db.db_id from vresource,db where db.vresource_id=vresource.vresource_id  and "
                    "vresource.name=?",
                    name);
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        const int rc = q.step();
        if (rc == SQLITE_DONE)
            return TQDAQ_ERROR_NO_DATABASE;
        if (rc != SQLITE_ROW)
            return TQDAQ_ERROR_STATEMENT;
        const auto v = q.int64(0);
        if (!v)
            return TQDAQ_ERROR_STATEMENT;
        if (*v == 0)
            return TQDAQ_ERROR_NO_DATABASE;
        *id = *v;
        return VI_SUCCESS;
    }
    Statement q(s->db, "select db.db_id,vresource.model_id from system,db,vresource where system.system_id=1  and "
                       "db.db_id=system.db_id  and vresource.vresource_id=db.vresource_id");
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
    const auto v = q.int64(0);
    if (!v || *v == 0)
        return TQDAQ_ERROR_STATEMENT;
    *id = *v;
    return VI_SUCCESS;
}

ViStatus checkDatabaseModel(Session *s, const char *name)
{
    if (!nameUsable(name))
        return VI_ERROR_INV_PARAMETER;
    Statement q(s->db, "select model_id from vresource where name=?", name);
    if (!q.ok() || q.step() != SQLITE_ROW)
        return VI_ERROR_INV_PARAMETER;
    const auto model = q.int64(0);
    if (!model)
        return TQDAQ_ERROR_STATEMENT;
    return *model == s->modelId ? VI_SUCCESS : TQDAQ_ERROR_OTHER_MODEL;
}

} // namespace tq::manager
