// Bringing the instruments of the selected configuration database to their
// stored configuration: every enabled member and the database's own
// instrument, stand-alone instruments before the modules on carrier sites
// (so that a carrier is ready before its modules are touched), the
// database's own instrument last; then the formulas are built again.
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "manager.h"
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

// Stored values of a member for a range of steps, with their category. Only
// values of items their category lists as not virtual are sent; the items
// are looked up once per category and call (reading an item row whole is
// what makes a join with every value slow).
constexpr const char *kValuesSql =
    "select configs.property,configs.property_index,  configs.value,configs.category_id from "
    "configs,system,vresource where system.system_id=1  and system.db_id=configs.db_id  and "
    "configs.vresource_id=vresource.vresource_id  and configs.seq_id>=?  and configs.seq_id<=?  and "
    "vresource.name=?";
constexpr const char *kItemsSql = "select property from ui_item where category_id=?  and isvirtual=0";

// The values of one member: "property\0text\0" after one another in one
// buffer that keeps its room from member to member.
struct Values {
    std::string texts;
    size_t count = 0;
    void clear()
    {
        texts.clear();
        count = 0;
    }
};

// The non-virtual items of the categories met so far in one call.
struct Items {
    std::vector<std::pair<int64_t, std::vector<std::string>>> byCategory;

    // Whether the category has the property as a non-virtual item; nullopt
    // when the items cannot be read.
    std::optional<bool> sent(Session *s, int64_t category, const char *property)
    {
        const std::vector<std::string> *items = nullptr;
        for (const auto &[id, list] : byCategory)
            if (id == category)
                items = &list;
        if (!items) {
            std::vector<std::string> list;
            Statement q(s->statements, s->db, kItemsSql, category);
            if (!q.ok())
                return std::nullopt;
            int rc;
            while ((rc = q.step()) == SQLITE_ROW)
                if (q.text(0))
                    list.emplace_back(q.text(0));
            if (rc != SQLITE_DONE)
                return std::nullopt;
            items = &byCategory.emplace_back(category, std::move(list)).second;
        }
        for (const std::string &p : *items)
            if (p == property)
                return true;
        return false;
    }
};

// The values to send one member, read whole before any is sent: a driver
// may call back into this session while it is being configured.
bool readValues(Session *s, Items &items, const char *member, ViUInt16 first, ViUInt16 last, Values &values)
{
    Statement q(s->statements, s->db, kValuesSql, static_cast<int64_t>(first), static_cast<int64_t>(last), member);
    if (!q.ok())
        return false;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        const auto category = q.integer(3);
        const char *property = q.text(0);
        if (!category || !property)
            continue; // no item can match it
        const auto wanted = items.sent(s, *category, property);
        if (!wanted)
            return false;
        if (!*wanted)
            continue;
        std::string &t = values.texts;
        t += property;
        t += '\0';
        if (const auto index = q.integer(1)) {
            // A whole-number index as its digits, without asking SQLite for
            // a text copy of the number.
            char digits[24];
            t.append(digits, std::to_chars(digits, digits + sizeof digits, *index).ptr);
            t += ',';
        } else if (const char *text = q.text(1)) {
            t += text;
            t += ',';
        }
        if (const char *value = q.text(2))
            t += value;
        t += '\0';
        ++values.count;
    }
    return rc == SQLITE_DONE;
}

ViStatus configureUntraced(Session *s, ViUInt16 first, ViUInt16 last, char *message)
{
    setMessage(message, "Success");
    // Read whole first: configuring may call back into this session.
    struct Member {
        std::optional<std::string> name;
        bool standAlone;
    };
    std::vector<Member> members;
    {
        Statement q(s->statements, s->db, kMembersSql);
        int rc = SQLITE_ERROR;
        if (q.ok())
            while ((rc = q.step()) == SQLITE_ROW)
                members.push_back({q.text(0) ? std::optional<std::string>(q.text(0)) : std::nullopt, q.isNull(1)});
        if (rc != SQLITE_DONE) {
            setMessage(message, "Unable to query instruments");
            return TQDAQ_ERROR_STATEMENT;
        }
    }
    // One buffer for every member's values: it grows to the largest member
    // and is reused (a call made from inside a driver has its own).
    Values values;
    Items items;
    for (const Member &m : members) {
        if (!m.name) {
            setMessage(message, "Unable to open PnP for %s", "NULL");
            return VI_ERROR_INV_RSRC_NAME;
        }
        const char *name = m.name->c_str();
        OpenResource *r = nullptr;
        ViStatus st = getVresource(s, name, true, &r);
        if (st < VI_SUCCESS || !r || !r->pnp) {
            setMessage(message, "Unable to open PnP for %s", name);
            return st < VI_SUCCESS ? st : TQDAQ_ERROR_STATEMENT;
        }
        TQPnPHandle *pnp = r->pnp;
        // Only a stand-alone instrument is reset: a module on a carrier site
        // is reset with its carrier, and the database's own instrument never.
        if (first == 1 && m.standAlone) {
            st = pnp->doOperation ? pnp->doOperation(pnp->session, "reset", nullptr) : VI_ERROR_NSUP_OPER;
            if (st < VI_SUCCESS) {
                setMessage(message, "Unable to reset %s", name);
                return st;
            }
            if (pnp->setSimulationMode)
                pnp->setSimulationMode(pnp->session, static_cast<ViBoolean>(s->simulationMode));
        }
        values.clear();
        if (!readValues(s, items, name, first, last, values)) {
            setMessage(message, "Unable to query the configuration of %s", name);
            return TQDAQ_ERROR_STATEMENT;
        }
        const char *p = values.texts.c_str();
        for (size_t i = 0; i < values.count; ++i) {
            const char *property = p;
            const char *text = property + std::strlen(property) + 1;
            p = text + std::strlen(text) + 1;
            st = pnp->setPropertyByName ? pnp->setPropertyByName(pnp->session, property, text) : VI_ERROR_NSUP_OPER;
            if (st < VI_SUCCESS) {
                setMessage(message, "Unable to configure property %s (%s) on instrument %s", property, text, name);
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
