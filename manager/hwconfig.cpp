// Bringing the instruments of the selected configuration database to their
// stored configuration: every enabled member and the database's own
// instrument, stand-alone instruments before the modules on carrier sites
// (so that a carrier is ready before its modules are touched), the
// database's own instrument last; then the formulas are built again.
#include <string>
#include <vector>

#include "manager.h"
#include "resourceops.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::Statement;

namespace
{

// Members without carrier (NULL) first, then the modules grouped by their
// carrier's id, then the database's own resource (empty text) last: SQLite
// orders NULL before numbers and numbers before text.
constexpr const char *kMembersSql =
    "select vresource.name,vadapter.backend_id as backend_id from vresource,db,db_resource,system left join vadapter "
    "on vadapter.frontend_id=vresource.vresource_id where  db_resource.db_id=system.db_id  and "
    "db_resource.db_id=db.db_id  and db_resource.enable=1  and vresource.vresource_id=db_resource.vresource_id "
    "union select vresource.name, '' as backend_id  from vresource,db,system  where system.db_id=db.db_id   and "
    "vresource.vresource_id=db.vresource_id order by vadapter.backend_id asc";

// Stored values of non-virtual items for a range of steps.
constexpr const char *kValuesSql =
    "select configs.property,configs.property_index,  configs.value from configs,system,vresource,ui_item where "
    "system.system_id=1  and system.db_id=configs.db_id  and configs.vresource_id=vresource.vresource_id  and "
    "configs.seq_id>=?  and configs.seq_id<=?  and vresource.name=?  and ui_item.property=configs.property  and "
    "ui_item.category_id=configs.category_id  and ui_item.isvirtual=0";

struct Value {
    std::string property;
    std::string text; // "index,value", or the value
};

// The values to send one member, read whole before any is sent: a driver
// may call back into this session while it is being configured.
bool readValues(Session *s, const char *member, ViUInt16 first, ViUInt16 last, std::vector<Value> &values)
{
    Statement q(s->db, kValuesSql, static_cast<int64_t>(first), static_cast<int64_t>(last), member);
    if (!q.ok())
        return false;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        Value &v = values.emplace_back();
        v.property = q.text(0) ? q.text(0) : "";
        const char *value = q.text(2) ? q.text(2) : "";
        if (const char *index = q.text(1)) {
            v.text = index;
            v.text += ',';
            v.text += value;
        } else {
            v.text = value;
        }
    }
    return rc == SQLITE_DONE;
}

ViStatus configureUntraced(Session *s, ViUInt16 first, ViUInt16 last, char *message)
{
    setMessage(message, "Success");
    Rows members;
    if (!readRows(s, members, 2, kMembersSql)) {
        setMessage(message, "Unable to query instruments");
        return TQDAQ_ERROR_STATEMENT;
    }
    std::vector<Value> values;
    for (const auto &row : members) {
        if (!row[0]) {
            setMessage(message, "Unable to open PnP for %s", "NULL");
            return VI_ERROR_INV_RSRC_NAME;
        }
        const char *name = row[0]->c_str();
        OpenResource *r = nullptr;
        ViStatus st = getVresource(s, name, true, &r);
        if (st < VI_SUCCESS || !r || !r->pnp) {
            setMessage(message, "Unable to open PnP for %s", name);
            return st < VI_SUCCESS ? st : TQDAQ_ERROR_STATEMENT;
        }
        TQPnPHandle *pnp = r->pnp;
        // Only a stand-alone instrument is reset: a module on a carrier site
        // is reset with its carrier, and the database's own instrument never.
        if (first == 1 && !row[1]) {
            st = pnp->doOperation ? pnp->doOperation(pnp->session, "reset", nullptr) : VI_ERROR_NSUP_OPER;
            if (st < VI_SUCCESS) {
                setMessage(message, "Unable to reset %s", name);
                return st;
            }
            if (pnp->setSimulationMode)
                pnp->setSimulationMode(pnp->session, static_cast<ViBoolean>(s->simulationMode));
        }
        values.clear();
        if (!readValues(s, name, first, last, values)) {
            setMessage(message, "Unable to query the configuration of %s", name);
            return TQDAQ_ERROR_STATEMENT;
        }
        for (const Value &v : values) {
            st = pnp->setPropertyByName ? pnp->setPropertyByName(pnp->session, v.property.c_str(), v.text.c_str())
                                        : VI_ERROR_NSUP_OPER;
            if (st < VI_SUCCESS) {
                setMessage(message, "Unable to configure property %s (%s) on instrument %s", v.property.c_str(),
                           v.text.c_str(), name);
                return st;
            }
        }
    }
    if (!s->engine)
        return VI_SUCCESS;
    const ViStatus st = buildFormulas(s, nullptr, last, message);
    if (st < VI_SUCCESS)
        return st;
    // The engine's own verdict on its outputs is not this call's: its text
    // goes nowhere.
    char scratch[TQ_FORMULA_MESSAGE_SIZE];
    s->engine->refillOutputs(s->engine, scratch);
    setMessage(message, "Success");
    return st;
}

} // namespace

ViStatus configureHW(Session *s, ViUInt16 first, ViUInt16 last, char *message)
{
    char internal[kMessageSize];
    char *text = message ? message : internal;
    const ViStatus st = configureUntraced(s, first, last, text);
    trace(s, "tqdaq_configureHW(" TQ_SESSION_FMT ",%#lx,%#lx,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
          static_cast<unsigned long>(first), static_cast<unsigned long>(last), st < VI_SUCCESS ? text : "NULL",
          ul(st));
    return st;
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_configureHW(ViSession session, ViUInt16 firstStep, ViUInt16 lastStep, ViChar *message)
{
    return guardStatus([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return configureHW(s, firstStep, lastStep, message);
    });
}
