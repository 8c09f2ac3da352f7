// Bringing the instruments of the selected configuration database to their
// stored configuration: every enabled member and the database's own
// instrument, stand-alone instruments before the modules on carrier sites
// (so that a carrier is ready before its modules are touched), the
// database's own instrument last; then the formulas are built again.
#include <algorithm>
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
    "select vresource.name,vadapter.backend_id as backend_id,vresource.vresource_id from vresource,db,db_resource,"
    "system left join vadapter on vadapter.frontend_id=vresource.vresource_id where  db_resource.db_id=system.db_id "
    " and db_resource.db_id=db.db_id  and db_resource.enable=1  and vresource.vresource_id=db_resource.vresource_id "
    "union select vresource.name, '' as backend_id,vresource.vresource_id  from vresource,db,system  where "
    "system.db_id=db.db_id   and vresource.vresource_id=db.vresource_id order by vadapter.backend_id asc";

// The stored values of the selected database for a range of steps, read in
// one statement (by the database's index, so that other databases' values
// cost nothing); each member then takes its own, in the order read. Only values of items their category lists as not virtual
// are sent; the items are looked up once per category and call (a join of
// every value with the items costs a look at each item of its category).
constexpr const char *kValuesSql =
    "select configs.vresource_id,configs.property,configs.property_index,  configs.value,configs.category_id from "
    "configs,system where system.system_id=1  and configs.db_id=system.db_id  and configs.seq_id>=?  and "
    "configs.seq_id<=?";
constexpr const char *kItemsSql = "select property from ui_item where category_id=?  and isvirtual=0";

// The values to send: "property\0text\0" after one another in one buffer,
// and for each the resource it belongs to and where it starts.
struct Values {
    std::string texts;
    std::vector<std::pair<int64_t, size_t>> rows;
};

// The non-virtual items of the categories met so far in one call, sorted
// for a binary search; the last answer is kept, since a property's values at
// several indexes come one after another.
struct Items {
    std::vector<std::pair<int64_t, std::vector<std::string>>> byCategory;
    int64_t lastCategory = 0;
    std::string lastProperty;
    bool lastAnswer = false;

    // Whether the category has the property as a non-virtual item; nullopt
    // when the items cannot be read.
    std::optional<bool> sent(Session *s, int64_t category, const char *property)
    {
        if (category == lastCategory && lastProperty == property)
            return lastAnswer;
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
            std::sort(list.begin(), list.end());
            items = &byCategory.emplace_back(category, std::move(list)).second;
        }
        lastCategory = category;
        lastProperty = property;
        lastAnswer = std::binary_search(items->begin(), items->end(), lastProperty);
        return lastAnswer;
    }
};

// Every value to send, read whole before any is sent: a driver may call back
// into this session while it is being configured.
bool readValues(Session *s, ViUInt16 first, ViUInt16 last, Values &values)
{
    Items items;
    Statement q(s->statements, s->db, kValuesSql, static_cast<int64_t>(first), static_cast<int64_t>(last));
    if (!q.ok())
        return false;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        const auto vresource = q.integer(0);
        const auto category = q.integer(4);
        const char *property = q.text(1);
        if (!vresource || !category || !property)
            continue; // no member or item can match it
        const auto wanted = items.sent(s, *category, property);
        if (!wanted)
            return false;
        if (!*wanted)
            continue;
        std::string &t = values.texts;
        values.rows.emplace_back(*vresource, t.size());
        t += property;
        t += '\0';
        if (const auto index = q.integer(2)) {
            // A whole-number index as its digits, without asking SQLite for
            // a text copy of the number.
            char digits[24];
            t.append(digits, std::to_chars(digits, digits + sizeof digits, *index).ptr);
            t += ',';
        } else if (const char *text = q.text(2)) {
            t += text;
            t += ',';
        }
        if (const char *value = q.text(3))
            t += value;
        t += '\0';
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
        int64_t id;
    };
    std::vector<Member> members;
    {
        Statement q(s->statements, s->db, kMembersSql);
        int rc = SQLITE_ERROR;
        if (q.ok())
            while ((rc = q.step()) == SQLITE_ROW)
                members.push_back({q.text(0) ? std::optional<std::string>(q.text(0)) : std::nullopt, q.isNull(1),
                                   q.integer(2).value_or(0)});
        if (rc != SQLITE_DONE) {
            setMessage(message, "Unable to query instruments");
            return TQDAQ_ERROR_STATEMENT;
        }
    }
    // Stored values that cannot be read are not sent: every member is still
    // opened and reset, so that the instruments start from a known state.
    Values values;
    if (!readValues(s, first, last, values))
        values = Values{};
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
        for (const auto &[owner, at] : values.rows) {
            if (owner != m.id)
                continue;
            const char *property = values.texts.c_str() + at;
            const char *text = property + std::strlen(property) + 1;
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
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return configureHW(s, firstStep, lastStep, message);
    });
}
