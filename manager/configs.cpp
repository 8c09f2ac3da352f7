// Stored configuration values and the configuration transaction: an edit is
// stored and sent to its instrument at once; the first edit of a session
// reloads every instrument in simulation mode and opens an immediate
// transaction that the check commits (or rolls back), an abort rolls back,
// and a refused value rolls back whole.
#include <cstring>
#include <optional>
#include <string>

#include "manager.h"
#include "resourceops.h"
#include "tq/platform/guard.h"
#include "tq/platform/numfmt.h"
#include "tq/platform/text.h"
#include "tq/platform/xmltext.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

// Ends the open configuration transaction with "commit transaction" or
// "rollback transaction". The flag follows the connection: it stays set only
// while the connection really is inside a transaction, so that a failed end
// can be tried again (or rolled back) and never leaves the write lock held
// behind a cleared flag.
bool endTransaction(Session *s, const char *sql)
{
    const bool done = execStatement(s->db, sql) == SQLITE_DONE;
    s->configTransaction = sqlite3_get_autocommit(s->db) == 0;
    return done;
}

// The index of an edit: none for a null or empty text, else exactly one
// decimal integer (it is stored as a number and compared as one).
bool readIndex(const char *text, std::optional<int64_t> &index)
{
    index.reset();
    if (!text || !*text)
        return true;
    index = devicedb::parseInt64(text);
    return index.has_value();
}

// The stored row of an edit with what the default comparison needs.
struct StoredRow {
    std::string id, value;
    std::optional<std::string> dflt, type, postResetUnknown, site;
};

constexpr const char *kFindSql =
    "select configs.configs_id,configs.value,ui_item.dflt,ui_item.type,  ui_item.ispostresetunknown,"
    "vadapter.connector_index from configs,system,vresource,ui_item left join vadapter on "
    "vadapter.frontend_id=vresource.vresource_id where configs.seq_id=?  and configs.db_id=system.db_id  and "
    "system.system_id=1  and configs.vresource_id=vresource.vresource_id  and vresource.name=?  and "
    "configs.property_index%s  and configs.property=?  and ui_item.property=configs.property  and "
    "ui_item.category_id=configs.category_id";

// 1 found, 0 none, -1 the query failed.
int findStored(Session *s, ViUInt16 seq, const char *name, const std::optional<int64_t> &index,
               const char *property, StoredRow &row)
{
    char sql[1024];
    platform::cformat(sql, sizeof sql, kFindSql, index ? "=?" : " IS NULL");
    Statement q = index ? Statement(s->db, sql, static_cast<int64_t>(seq), name, *index, property)
                        : Statement(s->db, sql, static_cast<int64_t>(seq), name, property);
    if (!q.ok())
        return -1;
    const int rc = q.step();
    if (rc == SQLITE_DONE)
        return 0;
    if (rc != SQLITE_ROW || !q.text(0))
        return -1;
    auto opt = [&](int c) { return q.text(c) ? std::optional<std::string>(q.text(c)) : std::nullopt; };
    row.id = q.text(0);
    row.value = q.text(1) ? q.text(1) : "";
    row.dflt = opt(2);
    row.type = opt(3);
    row.postResetUnknown = opt(4);
    row.site = opt(5);
    return 1;
}

// Whether a new step-1 value is the item's value after a reset. A textbox
// default names its channel with '$' (the index) and, only then, its site
// with '#' (the mounting site; empty for a resource on no site).
bool isDefault(const StoredRow &row, const std::string &indexText, const char *value)
{
    if (!row.dflt)
        return false; // nothing to compare with: the value is kept
    std::string dflt = *row.dflt;
    const std::string type = row.type.value_or("");
    if (type == "textbox") {
        const size_t dollar = dflt.find('$');
        if (dollar != std::string::npos) {
            dflt.replace(dollar, 1, indexText);
            const size_t hash = dflt.find('#');
            if (hash != std::string::npos)
                dflt.replace(hash, 1, row.site.value_or(""));
        }
    }
    if (type == "int" || type == "real") {
        double a = 0, b = 0;
        if (platform::cscan(value, "%lf", &a) != 1 || platform::cscan(dflt.c_str(), "%lf", &b) != 1)
            return false;
        return a == b;
    }
    return dflt == value;
}

struct Edit {
    const char *name;
    ViUInt16 seq;
    const char *category;
    std::optional<int64_t> index;
    std::string indexText;
    const char *property;
    const char *value;
};

ViStatus categoryIdUntraced(Session *s, const char *category, const char *name, int64_t *id)
{
    if (!category || !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    std::string escaped;
    platform::appendEscapedXml(escaped, category);
    Statement q(s->db,
                "select category.category_id from category,ui,model,vresource where "
                "vresource.model_id=model.model_id  and model.model_id=ui.model_id  and "
                "ui.category_id=category.category_id  and category.name=?  and vresource.name=?",
                escaped, name);
    if (!q.ok() || q.step() != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    const auto v = q.int64(0);
    if (!v)
        return TQDAQ_ERROR_STATEMENT;
    *id = *v;
    return VI_SUCCESS;
}

// Steps 4 on of an edit, inside the open transaction: store, then send.
ViStatus storeAndSend(Session *s, const Edit &e, OpenResource *r, char *message)
{
    StoredRow row;
    const int found = findStored(s, e.seq, e.name, e.index, e.property, row);
    if (found < 0) {
        setMessage(message, "system failure");
        return TQDAQ_ERROR_STATEMENT;
    }
    if (found == 0) {
        // A new row is stored as given, whatever the default.
        int64_t category = 0, vresource = 0, db = 0;
        if (categoryIdUntraced(s, e.category, e.name, &category) < VI_SUCCESS) {
            setMessage(message, "system failure");
            return TQDAQ_ERROR_STATEMENT;
        }
        ViStatus st = vresourceIdByName(s, e.name, &vresource);
        if (st >= VI_SUCCESS)
            st = dbIdByName(s, nullptr, &db);
        if (st < VI_SUCCESS) {
            setMessage(message, "system failure");
            return st;
        }
        static constexpr const char *kInsert = "insert into configs (db_id,seq_id,vresource_id,property,  "
                                               "property_index,value,category_id) values (?,?,?,?,?,?,?)";
        const int rc = e.index ? execStatement(s->db, kInsert, db, static_cast<int64_t>(e.seq), vresource, e.property,
                                               *e.index, e.value, category)
                               : execStatement(s->db, kInsert, db, static_cast<int64_t>(e.seq), vresource, e.property,
                                               static_cast<const char *>(nullptr), e.value, category);
        if (rc != SQLITE_DONE) {
            setMessage(message, "system failure");
            return TQDAQ_ERROR_STATEMENT;
        }
    } else if (row.value != e.value) {
        // A step-1 value equal to what a reset leaves needs no row. An item
        // that does not say what a reset leaves (older catalogues wrote
        // nothing) is taken at its default as well: a row kept at a default
        // such as "(none)" would otherwise reach formula building.
        const bool resetKnown = !row.postResetUnknown || *row.postResetUnknown == "0";
        const auto id = devicedb::parseInt64(row.id.c_str());
        int rc = SQLITE_ERROR;
        if (id && e.seq == 1 && resetKnown && isDefault(row, e.indexText, e.value))
            rc = execStatement(s->db, "delete from configs where configs_id=?", *id);
        else if (id)
            rc = execStatement(s->db, "update configs set value=? where configs_id=?", e.value, *id);
        if (rc != SQLITE_DONE) {
            setMessage(message, "system failure");
            return TQDAQ_ERROR_STATEMENT;
        }
    }

    // Live at once: the driver gets what a configuration run would send it.
    std::string text = e.index ? e.indexText + "," + e.value : std::string(e.value);
    TQPnPHandle *pnp = r ? r->pnp : nullptr;
    const ViStatus st = pnp && pnp->setPropertyByName ? pnp->setPropertyByName(pnp->session, e.property, text.c_str())
                                                      : VI_ERROR_NSUP_OPER;
    if (st == VI_ERROR_NSUP_OPER)
        return VI_SUCCESS; // stored all the same
    if (st < VI_SUCCESS)
        setMessage(message, "failure in update property %s to %s in %s", e.property, text.c_str(), e.name);
    return st;
}

ViStatus setConfigs(Session *s, const Edit &e, char *message)
{
    setMessage(message, "success");
    // What no statement can take is refused before anything is opened or
    // stored, and leaves an open transaction as it is.
    if (!e.property || !e.value || !nameUsable(e.name)) {
        setMessage(message, "System Failure");
        return TQDAQ_ERROR_STATEMENT;
    }
    OpenResource *r = nullptr;
    ViStatus st = getVresource(s, e.name, true, &r);
    if (st < VI_SUCCESS) {
        setMessage(message, "System Failure");
        return st;
    }
    if (!s->configTransaction) {
        s->simulationMode = 1;
        configureHW(s, 1, e.seq, message);
        // Nothing is stored outside a transaction: without one the edit
        // could be neither checked nor undone.
        if (execStatement(s->db, "begin immediate transaction") != SQLITE_DONE) {
            s->configTransaction = sqlite3_get_autocommit(s->db) == 0;
            setMessage(message, "Unable to open the configuration transaction");
            return TQDAQ_ERROR_STATEMENT;
        }
        s->configTransaction = true;
        // The instrument may have been closed by the reload's callers.
        if ((st = getVresource(s, e.name, true, &r)) < VI_SUCCESS) {
            setMessage(message, "System Failure");
            endTransaction(s, "rollback transaction");
            return st;
        }
    }
    st = storeAndSend(s, e, r, message);
    // One refused value discards every edit of the transaction.
    if (st < VI_SUCCESS && s->configTransaction)
        endTransaction(s, "rollback transaction");
    return st;
}

ViStatus crossCheck(Session *s, const char *name, ViUInt16 seq, char *message)
{
    setMessage(message, "%s", "");
    if (!s->configTransaction)
        return VI_SUCCESS;
    setMessage(message, "Syntax Error");
    ViStatus st = VI_SUCCESS;
    if (s->engine) {
        st = buildFormulas(s, nullptr, seq, message);
        if (st >= VI_SUCCESS && s->engine->refillOutputs(s->engine, message) < 0)
            st = TQDAQ_ERROR_STATEMENT;
    }
    const bool named = name && *name;
    if (st >= VI_SUCCESS && named && !nameUsable(name))
        st = TQDAQ_ERROR_STATEMENT;
    if (st >= VI_SUCCESS) {
        std::string sql = "select vresource.name from vresource,db_resource,system where system.system_id=1  and "
                          "system.db_id=db_resource.db_id  and db_resource.vresource_id=vresource.vresource_id";
        sql += named ? "    and vresource.name=?" : "    and db_resource.enable=1";
        Rows members;
        const bool read = named ? readRows(s, members, 1, sql.c_str(), name) : readRows(s, members, 1, sql.c_str());
        if (!read)
            st = TQDAQ_ERROR_STATEMENT;
        for (size_t i = 0; st >= VI_SUCCESS && i < members.size(); ++i) {
            if (!members[i][0]) {
                st = VI_ERROR_INV_RSRC_NAME;
                break;
            }
            OpenResource *r = nullptr;
            st = getVresource(s, members[i][0]->c_str(), true, &r);
            if (st < VI_SUCCESS || !r || !r->pnp || !r->pnp->crossCheck)
                continue;
            st = r->pnp->crossCheck(r->pnp->session, message);
            // An instrument that refuses its settings is brought back to a
            // state it accepts.
            if (st < VI_SUCCESS && r->pnp->doOperation)
                r->pnp->doOperation(r->pnp->session, "reset", nullptr);
        }
    }
    if (st < VI_SUCCESS) {
        endTransaction(s, "rollback transaction");
        return st;
    }
    if (!endTransaction(s, "commit transaction")) {
        // The edits are still there while the transaction is: the caller
        // may check again or abort. A transaction SQLite ended on its own
        // took the edits with it.
        setMessage(message, s->configTransaction ? "Unable to commit the configuration"
                                                 : "The configuration transaction was lost");
        return TQDAQ_ERROR_STATEMENT;
    }
    setMessage(message, "%s", "");
    return st;
}

ViStatus abortConfigs(Session *s)
{
    if (!s->configTransaction)
        return VI_ERROR_INV_SETUP;
    endTransaction(s, "rollback transaction");
    return s->configTransaction ? TQDAQ_ERROR_STATEMENT : VI_SUCCESS;
}

ViStatus clearConfigs(Session *s, const char *name, const char *category)
{
    ViStatus st = checkController(s);
    if (st < VI_SUCCESS)
        return st;
    int64_t db = 0;
    if ((st = dbIdByName(s, nullptr, &db)) < VI_SUCCESS)
        return st;
    static constexpr const char *kDelete =
        "delete from configs where db_id=?  and configs_id not in  (select configs.configs_id   from "
        "configs,ui_item,ui_item_unavail,system   where configs.category_id=ui_item.category_id    and "
        "configs.property=ui_item.property    and ui_item.ui_item_id=ui_item_unavail.ui_item_id    and "
        "ui_item_unavail.user_id=system.user_id)";
    int rc;
    if (name && *name) {
        // A name that finds nothing narrows nothing: it is refused rather
        // than taken for "every resource".
        int64_t vresource = 0;
        if (vresourceIdByName(s, name, &vresource) < VI_SUCCESS)
            return TQDAQ_ERROR_STATEMENT;
        if (category && *category) {
            int64_t categoryId = 0;
            if (categoryIdUntraced(s, category, name, &categoryId) < VI_SUCCESS)
                return TQDAQ_ERROR_STATEMENT;
            rc = execStatement(s->db, (std::string(kDelete) + "  and vresource_id=?  and category_id=?").c_str(), db,
                               vresource, categoryId);
        } else {
            rc = execStatement(s->db, (std::string(kDelete) + "  and vresource_id=?").c_str(), db, vresource);
        }
    } else {
        rc = execStatement(s->db, kDelete, db);
    }
    return rc == SQLITE_DONE ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
}

ViStatus getCategoryAttribute(Session *s, const char *name, const char *category, const char *attribute, char *value)
{
    if (value)
        value[0] = '\0';
    if (!category || !attribute || !nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    std::string escaped;
    platform::appendEscapedXml(escaped, category);
    Statement q(s->db,
                "select value from category,category_attributes,ui,model,vresource where "
                "vresource.model_id=model.model_id  and model.model_id=ui.model_id  and "
                "ui.category_id=category.category_id  and category_attributes.category_id=category.category_id  and "
                "category.name=?  and vresource.name=?  and category_attributes.name=?",
                escaped, name, attribute);
    if (!q.ok())
        return TQDAQ_ERROR_STATEMENT;
    const int rc = q.step();
    if (rc == SQLITE_DONE)
        return VI_ERROR_NSUP_ATTR;
    if (rc != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    platform::copyText(value, TQDAQ_NAME_SIZE, q.text(0));
    return VI_SUCCESS;
}

} // namespace

ViStatus getCategoryId(Session *s, const char *category, const char *name, int64_t *id)
{
    return categoryIdUntraced(s, category, name, id);
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_setConfigs(ViSession session, ViConstString name, ViUInt16 step, ViConstString category,
                                 ViConstString index, ViConstString property, ViConstString value, ViChar *message)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        Edit e{name, step, category, std::nullopt, "", property, value};
        ViStatus st;
        char internal[kMessageSize];
        char *text = message ? message : internal;
        if (!readIndex(index, e.index)) {
            setMessage(text, "Invalid index %s", index);
            st = TQDAQ_ERROR_STATEMENT;
        } else {
            if (e.index)
                e.indexText = std::to_string(*e.index);
            st = setConfigs(s, e, text);
        }
        trace(s, "tqdaq_setConfigs(" TQ_SESSION_FMT ",%s,%#lx,%s,%s,%s,%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), static_cast<unsigned long>(step), orNull(category), orNull(index), orNull(property),
              st < VI_SUCCESS ? "NULL" : orNull(value), st < VI_SUCCESS ? text : "NULL", ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_crossCheck(ViSession session, ViConstString name, ViUInt16 step, ViChar *message)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        char internal[kMessageSize];
        char *text = message ? message : internal;
        const ViStatus st = crossCheck(s, name, step, text);
        trace(s, "tqdaq_crossCheck(" TQ_SESSION_FMT ",%s,%#lx,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              static_cast<unsigned long>(step), st < VI_SUCCESS ? text : "NULL", ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_abortConfigs(ViSession session)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = abortConfigs(s);
        trace(s, "tqdaq_abortConfigs(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_clearConfigs(ViSession session, ViConstString name, ViConstString category)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = clearConfigs(s, name, category);
        trace(s, "tqdaq_clearConfigs(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              orNull(category), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_getCategoryAttribute(ViSession session, ViConstString name, ViConstString category,
                                           ViConstString attribute, ViChar *value)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = getCategoryAttribute(s, name, category, attribute, value);
        trace(s, "tqdaq_getCategoryAttribute(" TQ_SESSION_FMT ",%s,%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), orNull(category), orNull(attribute), ul(st));
        return st;
    });
}
