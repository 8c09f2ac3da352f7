// The queries of the generic listings. Each is a union of members over one
// list of columns, every member filling its own columns and leaving NULL in
// the others; the order puts each element's rows right after the row that
// opens it, which is all the writer needs (it compares only the key of the
// deepest open element). Elements are keyed by row ids.
#include <initializer_list>
#include <utility>

#include "listings.h"

namespace tq::manager
{

namespace
{

using Columns = std::initializer_list<const char *>;
using Values = std::initializer_list<std::pair<int, const char *>>;

// "select <expression or NULL> as <name>, ... <rest>"
std::string member(Columns names, Values values, const std::string &rest)
{
    std::string sql = "select ";
    int index = 0;
    for (const char *name : names) {
        const char *expression = "NULL";
        for (const auto &v : values)
            if (v.first == index)
                expression = v.second;
        if (index > 0)
            sql += ", ";
        sql += expression;
        sql += " as ";
        sql += name;
        ++index;
    }
    return sql + rest;
}

// A stored option or choice as attribute text: name='...' value='...'. A
// quote inside either would end its attribute early: it is written as an
// entity (the listing writer escapes the rest).
#define TQ_ATTRIBUTE_TEXT(name, value)                                                                                 \
    "('name=''' || replace(" name ",'''','&apos;') || ''' value=''' || replace(" value ",'''','&apos;') || '''')"

// Items the controller user may not see.
constexpr const char *kItemAvailable =
    " and ui_item.ui_item_id not in (select ui_item_unavail.ui_item_id from ui_item_unavail, system where "
    "system.system_id=1 and ui_item_unavail.user_id=system.user_id)";

} // namespace

ListingQuery usersQuery(const char *userName)
{
    ListingQuery q;
    q.sql = " select 1 as _1users,   NULL as _1user,   NULL as username,   NULL as first_name,   NULL as last_name,  "
            " NULL as email,   NULL as password"
            "  union select 1 as _1users,   users.users_id as _1user,   users.username as username,   "
            "users.first_name as first_name,   users.last_name as last_name,   users.email as email,   "
            "users.password as password   from users";
    if (userName) {
        q.sql += " where users.username=?1";
        q.values.emplace_back(std::string(userName));
    }
    q.sql += "   order by _1users asc,       _1user asc,       username desc,       first_name desc,       last_name "
             "desc,       email desc,       password desc";
    return q;
}

ListingQuery modelsQuery(ViInt16 vendor, ViInt16 model, const char *category)
{
    ListingQuery q;
    if (vendor == 0 || model == 0) {
        // Every model but the maker's own virtual instruments.
        q.sql = "select 1 as _1models,model.model_id as _1model, vendor as vendorid, model as modelid, platform as "
                "platform, productname as productname from model where vendor != 15450 or model > 10";
        return q;
    }
    const Columns c = {"_1models",
                       "_1model",
                       "vendorid",
                       "modelid",
                       "description",
                       "platform",
                       "productname",
                       "_1operation",
                       "name",
                       "tooltip",
                       "description",
                       "progressmask",
                       "_3modeloptionseq",
                       "_1modeloption",
                       "_3catseq",
                       "_1category",
                       "catname",
                       "indexrange",
                       "indexlabel",
                       "description",
                       "_2attribute",
                       "_3itemseq",
                       "_1item",
                       "type",
                       "width",
                       "label",
                       "min",
                       "max",
                       "dflt",
                       "property",
                       "tooltip",
                       "description",
                       "isvirtual",
                       "ispostresetunknown",
                       "_3optionseq",
                       "_2option"};
    const std::string theModel = " and model.vendor=?1 and model.model=?2";
    const std::string theCategory = category ? " and category.name=?3" : "";
    const std::string categories = " from model, ui, category where ui.model_id=model.model_id and "
                                   "category.category_id=ui.category_id and category.demo=0";
    const std::string options = " from model, model_options, category, ui_item where "
                                "model_options.model_id=model.model_id and "
                                "category.category_id=model_options.category_id and category.demo=0 and "
                                "ui_item.category_id=category.category_id";
    const std::string items = " and ui_item.category_id=category.category_id";

    q.sql = member(c, {{0, "1"}}, "");
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "model.model_id"},
                                 {2, "model.vendor"},
                                 {3, "model.model"},
                                 {4, "model.description"},
                                 {5, "model.platform"},
                                 {6, "model.productname"}},
                                " from model where model.vendor=?1 and model.model=?2");
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "model.model_id"},
                                 {7, "operation.operation_id"},
                                 {8, "operation.operation"},
                                 {9, "operation.tooltip"},
                                 {10, "operation.description"},
                                 {11, "operation.progressmask"}},
                                " from model, operation where operation.model_id=model.model_id" + theModel);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "model.model_id"},
                                 {14, "category.orderseq"},
                                 {15, "category.category_id"},
                                 {16, "category.name"},
                                 {17, "category.property_index_range"},
                                 {18, "category.property_index_label"},
                                 {19, "category.description"}},
                                categories + theModel + theCategory);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "model.model_id"},
                                 {14, "category.orderseq"},
                                 {15, "category.category_id"},
                                 {20, TQ_ATTRIBUTE_TEXT("category_attributes.name", "category_attributes.value")}},
                                " from model, ui, category, category_attributes where ui.model_id=model.model_id and "
                                "category.category_id=ui.category_id and category.demo=0 and "
                                "category_attributes.category_id=category.category_id" +
                                    theModel + theCategory);
    const Values itemColumns = {{0, "1"},
                                {1, "model.model_id"},
                                {14, "category.orderseq"},
                                {15, "category.category_id"},
                                {21, "ui_item.orderseq"},
                                {22, "ui_item.ui_item_id"},
                                {23, "ui_item.type"},
                                {24, "ui_item.width"},
                                {25, "ui_item.label"},
                                {26, "ui_item.min"},
                                {27, "ui_item.max"},
                                {28, "ui_item.dflt"},
                                {29, "ui_item.property"},
                                {30, "ui_item.tooltip"},
                                {31, "ui_item.description"},
                                {32, "ui_item.isvirtual"},
                                {33, "ui_item.ispostresetunknown"}};
    q.sql += " union " + member(c, itemColumns,
                                " from model, ui, category, ui_item where ui.model_id=model.model_id and "
                                "category.category_id=ui.category_id and category.demo=0" +
                                    items + kItemAvailable + theModel + theCategory);
    q.sql += " union " +
             member(c,
                    {{0, "1"},
                     {1, "model.model_id"},
                     {14, "category.orderseq"},
                     {15, "category.category_id"},
                     {21, "ui_item.orderseq"},
                     {22, "ui_item.ui_item_id"},
                     {34, "ui_pair.ui_pair_id"},
                     {35, TQ_ATTRIBUTE_TEXT("ui_pair.name", "ui_pair.value")}},
                    " from model, ui, category, ui_item, ui_pair where ui.model_id=model.model_id and "
                    "category.category_id=ui.category_id and category.demo=0" +
                        items + " and ui_pair.ui_item_id=ui_item.ui_item_id" + kItemAvailable + theModel + theCategory);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "model.model_id"},
                                 {12, "ui_item.orderseq"},
                                 {13, "category.category_id"},
                                 {22, "ui_item.ui_item_id"},
                                 {23, "ui_item.type"},
                                 {24, "ui_item.width"},
                                 {25, "ui_item.label"},
                                 {26, "ui_item.min"},
                                 {27, "ui_item.max"},
                                 {28, "ui_item.dflt"},
                                 {29, "ui_item.property"},
                                 {30, "ui_item.tooltip"},
                                 {31, "ui_item.description"}},
                                options + theModel + theCategory);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "model.model_id"},
                                 {12, "ui_item.orderseq"},
                                 {13, "category.category_id"},
                                 {22, "ui_item.ui_item_id"},
                                 {34, "ui_pair.ui_pair_id"},
                                 {35, TQ_ATTRIBUTE_TEXT("ui_pair.name", "ui_pair.value")}},
                                " from model, model_options, category, ui_item, ui_pair where "
                                "model_options.model_id=model.model_id and "
                                "category.category_id=model_options.category_id and category.demo=0 and "
                                "ui_item.category_id=category.category_id and "
                                "ui_pair.ui_item_id=ui_item.ui_item_id" +
                                    theModel + theCategory);
    q.sql += "  order by model.model_id asc,    model.vendor desc,    model.model desc,    model.platform desc,    "
             "model.productname desc,    model.description desc,    operation.operation_id asc,    "
             "operation.operation desc,    operation.tooltip desc,    operation.description desc,    "
             "operation.progressmask desc,    _3modeloptionseq asc,    _1modeloption asc,    category.orderseq asc, "
             "   _1category desc,    category.name desc,    category.property_index_range desc,    "
             "category.property_index_label desc,    category.description desc,    _2attribute desc,    _3itemseq "
             "asc,    _1item desc,    type desc,    width desc,    label desc,    min desc,    max desc,    dflt "
             "desc,    property desc,    tooltip desc,    ui_item.description desc,    isvirtual desc,    "
             "ispostresetunknown desc,    _3optionseq asc,    _2option desc";
    q.values.emplace_back(static_cast<int64_t>(vendor));
    q.values.emplace_back(static_cast<int64_t>(model));
    if (category)
        q.values.emplace_back(std::string(category));
    return q;
}

ListingQuery dbsQuery(const char *productName)
{
    ListingQuery q;
    const std::string product = productName ? " and model.productname=?1 " : "";
    q.sql = "select 1 as _1database, model.model_id as _1api, model.productname as apiname, NULL as dbname from "
            "vresource,model,db where vresource.vresource_id=db.vresource_id and "
            "model.model_id=vresource.model_id " +
            product +
            "union select 1 as _1database, model.model_id as _1api, NULL as apiname, vresource.name as dbname from "
            "vresource,model,db where vresource.vresource_id=db.vresource_id and "
            "model.model_id=vresource.model_id" +
            product + " order by model.model_id desc, model.productname desc, vresource.name desc";
    if (productName)
        q.values.emplace_back(std::string(productName));
    return q;
}

ListingQuery vresourcesQuery(const char *name)
{
    const Columns c = {"_1vresources", "_1vresource", "vendorid",  "modelid",    "productname", "database",
                       "name",         "description", "presource", "_1frontend", "findex",      "fname",
                       "_1backend",    "bindex",      "bname",     "_2option"};
    // Databases' own resources are not instruments: left out of the whole list.
    const std::string which =
        name ? " and vresource.name=?1" : " and vresource.vresource_id not in (select db.vresource_id from db)";
    ListingQuery q;
    q.sql = member(c, {{0, "1"}}, "");
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "vresource.vresource_id"},
                                 {2, "model.vendor"},
                                 {3, "model.model"},
                                 {4, "model.productname"},
                                 {6, "vresource.name"},
                                 {7, "vresource.description"}},
                                " from vresource, model where model.model_id=vresource.model_id" + which);
    q.sql +=
        " union " + member(c, {{0, "1"}, {1, "vresource.vresource_id"}, {8, "presource.name"}},
                           " from vresource, presource where presource.vresource_id=vresource.vresource_id" + which);
    // Where it is the carrier: the modules on its sites.
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "vresource.vresource_id"},
                                 {9, "vadapter.vadapter_id"},
                                 {10, "vadapter.connector_index"},
                                 {11, "module.name"}},
                                " from vresource, vadapter, vresource as module where "
                                "vadapter.backend_id=vresource.vresource_id and "
                                "module.vresource_id=vadapter.frontend_id" +
                                    which);
    // Where it is the module: the carrier it sits on.
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "vresource.vresource_id"},
                                 {12, "vadapter.vadapter_id"},
                                 {13, "vadapter.connector_index"},
                                 {14, "carrier.name"}},
                                " from vresource, vadapter, vresource as carrier where "
                                "vadapter.frontend_id=vresource.vresource_id and "
                                "carrier.vresource_id=vadapter.backend_id" +
                                    which);
    q.sql += " union " + member(c, {{0, "1"}, {1, "vresource.vresource_id"}, {5, "owner.name"}},
                                " from vresource, db_resource, db, vresource as owner where "
                                "db_resource.vresource_id=vresource.vresource_id and db.db_id=db_resource.db_id and "
                                "owner.vresource_id=db.vresource_id" +
                                    which);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "vresource.vresource_id"},
                                 {15, TQ_ATTRIBUTE_TEXT("ui_item.property", "vresource_options.value")}},
                                " from vresource, vresource_options, ui_item where "
                                "vresource_options.vresource_id=vresource.vresource_id and "
                                "ui_item.ui_item_id=vresource_options.ui_item_id" +
                                    which);
    q.sql += "   order by _1vresources asc,       _1vresource asc,       vendorid desc,       modelid desc,       "
             "productname desc,       database desc,       name desc,       presource desc,       _1frontend asc,  "
             "     findex desc,       fname desc,       _1backend asc,       bindex desc,       bname desc,       "
             "_2option desc";
    if (name)
        q.values.emplace_back(std::string(name));
    return q;
}

ListingQuery presourcesQuery(const char *name)
{
    const Columns c = {"_1presources", "_1presource", "vendorid", "modelid",   "productname", "name",  "vresource",
                       "_1frontend",   "findex",      "fname",    "_1backend", "bindex",      "bname", "_2option"};
    const std::string which = name ? " and presource.name=?1" : "";
    ListingQuery q;
    q.sql = member(c, {{0, "1"}}, "");
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "presource.presource_id"},
                                 {2, "model.vendor"},
                                 {3, "model.model"},
                                 {4, "model.productname"},
                                 {5, "presource.name"}},
                                " from presource, model where model.model_id=presource.model_id" + which);
    q.sql +=
        " union " + member(c, {{0, "1"}, {1, "presource.presource_id"}, {6, "vresource.name"}},
                           " from presource, vresource where vresource.vresource_id=presource.vresource_id" + which);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "presource.presource_id"},
                                 {7, "padapter.padapter_id"},
                                 {8, "padapter.connector_index"},
                                 {9, "module.name"}},
                                " from presource, padapter, presource as module where "
                                "padapter.backend_id=presource.presource_id and "
                                "module.presource_id=padapter.frontend_id" +
                                    which);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "presource.presource_id"},
                                 {10, "padapter.padapter_id"},
                                 {11, "padapter.connector_index"},
                                 {12, "carrier.name"}},
                                " from presource, padapter, presource as carrier where "
                                "padapter.frontend_id=presource.presource_id and "
                                "carrier.presource_id=padapter.backend_id" +
                                    which);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "presource.presource_id"},
                                 {13, TQ_ATTRIBUTE_TEXT("ui_item.property", "presource_options.value")}},
                                " from presource, presource_options, ui_item where "
                                "presource_options.presource_id=presource.presource_id and "
                                "ui_item.ui_item_id=presource_options.ui_item_id" +
                                    which);
    q.sql += "   order by _1presources asc,       _1presource asc,       vendorid desc,       modelid desc,       "
             "productname desc,       name desc,       vresource desc,       _1frontend asc,       findex desc,     "
             "  fname desc,       _1backend asc,       bindex desc,       bname desc,       _2option desc";
    if (name)
        q.values.emplace_back(std::string(name));
    return q;
}

ListingQuery configsQuery(const char *vresource, const char *category, const char *property)
{
    const Columns c = {"_1configs", "_1vresource", "name",       "_1category", "name",
                       "_1index",   "number",      "_1property", "name",       "value"};
    // The category and property filters only narrow a named resource's list.
    if (!vresource)
        category = nullptr;
    if (!category)
        property = nullptr;
    const std::string resource = vresource ? " where vresource.name=?1" : "";
    std::string narrow = vresource ? " and vresource.name=?1" : "";
    if (category)
        narrow += " and category.name=?2";
    const std::string categories = " from vresource, ui, category where ui.model_id=vresource.model_id and "
                                   "category.category_id=ui.category_id and category.demo=0";
    const std::string values = " from vresource, ui, category, configs, system where "
                               "ui.model_id=vresource.model_id and category.category_id=ui.category_id and "
                               "category.demo=0 and system.system_id=1 and configs.db_id=system.db_id and "
                               "configs.vresource_id=vresource.vresource_id and "
                               "configs.category_id=category.category_id and configs.seq_id=1";
    const std::string available = " and not exists (select 1 from ui_item, ui_item_unavail where "
                                  "ui_item.category_id=configs.category_id and ui_item.property=configs.property "
                                  "and ui_item_unavail.ui_item_id=ui_item.ui_item_id and "
                                  "ui_item_unavail.user_id=system.user_id)";
    ListingQuery q;
    q.sql = member(c, {{0, "1"}, {1, "vresource.vresource_id"}}, " from vresource" + resource);
    q.sql += " union " +
             member(c, {{0, "1"}, {1, "vresource.vresource_id"}, {2, "vresource.name"}}, " from vresource" + resource);
    q.sql += " union " +
             member(c, {{0, "1"}, {1, "vresource.vresource_id"}, {3, "category.category_id"}}, categories + narrow);
    q.sql += " union " +
             member(c, {{0, "1"}, {1, "vresource.vresource_id"}, {3, "category.category_id"}, {4, "category.name"}},
                    categories + narrow);
    q.sql +=
        " union " +
        member(c, {{0, "1"}, {1, "vresource.vresource_id"}, {3, "category.category_id"}, {5, "configs.property_index"}},
               values + narrow);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "vresource.vresource_id"},
                                 {3, "category.category_id"},
                                 {5, "configs.property_index"},
                                 {6, "configs.property_index"}},
                                values + narrow + available);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "vresource.vresource_id"},
                                 {3, "category.category_id"},
                                 {5, "configs.property_index"},
                                 {7, "configs.configs_id"},
                                 {8, "configs.property"},
                                 {9, "configs.value"}},
                                values + narrow + available + (property ? " and configs.property=?3" : ""));
    q.sql += "  order by vresource.vresource_id asc,           vresource.name desc,           category.category_id "
             "asc,           category.name desc,           _1index asc,           number desc";
    if (vresource)
        q.values.emplace_back(std::string(vresource));
    if (category)
        q.values.emplace_back(std::string(category));
    if (property)
        q.values.emplace_back(std::string(property));
    return q;
}

ListingQuery formulasQuery(const char *dbName)
{
    const Columns c = {"_1formulae", "_1database", "dbname", "_1formula", "name", "operator", "expression"};
    const std::string which = dbName ? " and vresource.name=?1" : "";
    ListingQuery q;
    q.sql = " select 1 as _1formulae,   NULL as _1database,   NULL as dbname,   NULL as _1formula,   NULL as name,  "
            " NULL as operator,   NULL as expression";
    q.sql += " union " + member(c, {{0, "1"}, {1, "db.db_id"}, {2, "vresource.name"}},
                                " from db, vresource where vresource.vresource_id=db.vresource_id and db.db_id in "
                                "(select formula.db_id from formula)" +
                                    which);
    q.sql += " union " + member(c,
                                {{0, "1"},
                                 {1, "db.db_id"},
                                 {3, "formula.formula_id"},
                                 {4, "formula.name"},
                                 {5, "formula.operator"},
                                 {6, "formula.expression"}},
                                " from db, vresource, formula where vresource.vresource_id=db.vresource_id and "
                                "formula.db_id=db.db_id" +
                                    which);
    q.sql += "   order by _1formulae asc,       _1database asc,       dbname desc,       _1formula asc,       name "
             "desc,       operator desc,       expression desc";
    if (dbName)
        q.values.emplace_back(std::string(dbName));
    return q;
}

sqlite3_stmt *prepareListing(sqlite3 *db, const ListingQuery &query)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, query.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    int index = 1;
    for (const auto &v : query.values) {
        const int rc = std::holds_alternative<int64_t>(v)
                           ? sqlite3_bind_int64(stmt, index, std::get<int64_t>(v))
                           : sqlite3_bind_text64(stmt, index, std::get<std::string>(v).data(),
                                                 std::get<std::string>(v).size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return nullptr;
        }
        ++index;
    }
    return stmt;
}

} // namespace tq::manager
