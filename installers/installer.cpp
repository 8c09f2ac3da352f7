#include "installer.h"

#include <cstring>
#include <string_view>

#include "devicedb.h"

namespace tq::installer
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

// The tables whose rows carry help text; the appender names no other.
bool isDescribedTable(const std::string &table)
{
    return table == "model" || table == "category" || table == "operation" || table == "ui_item";
}

} // namespace

// ---- Description appender -------------------------------------------------

void Appender::reset()
{
    pending_.clear();
    table_.clear();
    id_ = 0;
    room_ = kChunk;
}

int Appender::flush(sqlite3 *db, const char *table, int64_t id)
{
    int result = 0;
    if (!pending_.empty()) {
        result = -1;
        if (isDescribedTable(table_)) {
            // The table name comes from the fixed list above; the text and
            // the full 64-bit row id are bound.
            const std::string sql = "update " + table_ + " set description=description || ?1 where " + table_ + "_id=?2";
            if (execStatement(db, sql.c_str(), std::string_view(pending_), id_) == SQLITE_DONE &&
                sqlite3_changes(db) == 1)
                result = 1;
        }
    }
    pending_.clear();
    room_ = kChunk;
    table_ = table ? table : "";
    id_ = id;
    return result;
}

int Appender::appendChar(sqlite3 *db, const char *table, int64_t id, char c)
{
    int result = 0;
    if (table_ != (table ? table : "") || id_ != id) {
        result = flush(db, table, id);
        if (result < 0)
            return result;
    }
    const int cost = c == '\'' ? 2 : 1;
    // Both halves of a doubled quote belong to one chunk.
    if (cost > room_) {
        result = flush(db, table, id);
        if (result < 0)
            return result;
    }
    pending_.push_back(c);
    room_ -= cost;
    if (room_ == 0)
        return flush(db, table, id);
    return result;
}

int Appender::append(sqlite3 *db, const char *table, int64_t id, const std::string &text)
{
    int result = 0;
    bool failed = false;
    for (char c : text) {
        result = appendChar(db, table, id, c);
        if (result < 0)
            failed = true;
    }
    return failed ? -1 : result;
}

// ---- Help texts -----------------------------------------------------------

namespace
{

const char *const kHeading = "&lt;p&gt;&lt;u&gt;Description&lt;/u&gt;&lt;/p&gt;";

std::string para(const std::string &text)
{
    return "&lt;p style=\"margin-bottom: 5px;\"&gt;" + text + "&lt;/p&gt;";
}
std::string code(const std::string &text)
{
    return "&lt;code&gt;" + text + "&lt;/code&gt;";
}
std::string italic(const std::string &text)
{
    return "&lt;i&gt;" + text + "&lt;/i&gt;";
}
std::string underline(const std::string &text)
{
    return "&lt;u&gt;" + text + "&lt;/u&gt;";
}
std::string list(const std::vector<std::string> &entries)
{
    std::string out = "&lt;ul&gt;";
    for (const auto &e : entries)
        out += "&lt;li&gt;" + e + "&lt;/li&gt;";
    return out + "&lt;/ul&gt;";
}
std::string paragraphs(const std::vector<const char *> &texts)
{
    std::string out;
    for (const char *t : texts)
        out += para(t);
    return out;
}

std::string itemHelp(const Catalogue &cat, const Item &item)
{
    const std::string prefix = cat.prefix;
    std::string out = kHeading;
    out += para(code(prefix + "_set" + item.property) + " sets " + item.sets);
    out += para(underline("instrumentHandle"));
    out += para("The session that " + code(prefix + "_init") + " returned.");
    if (item.indexed) {
        out += para(underline(item.indexName));
        out += para(std::string("The number of the ") + item.indexName + ", counted from 1.");
    }
    out += para(underline("value"));
    std::string valueHelp = item.valueHelp;
    if (valueHelp.empty()) {
        switch (item.type) {
        case ItemType::Menu:
            valueHelp = "One of the following constants:";
            break;
        case ItemType::Checkbox:
            valueHelp = "Whether the setting is on:";
            break;
        case ItemType::Textbox:
            valueHelp = "The text to set.";
            break;
        default:
            valueHelp = "A number within the bounds the field shows.";
            break;
        }
    }
    out += para(valueHelp);
    if (item.type == ItemType::Menu) {
        std::vector<std::string> entries;
        for (const Choice &c : item.choices) {
            std::string e = c.constant ? std::string(c.constant) : std::string(c.name) + " (" + std::to_string(c.value) + ")";
            if (c.meaning)
                e += std::string(" - ") + c.meaning;
            entries.push_back(e);
        }
        out += list(entries);
    } else if (item.type == ItemType::Checkbox) {
        out += list({"VI_TRUE - enabled", "VI_FALSE - disabled"});
    }
    return out;
}

std::string standardItemHelp(StandardItem which)
{
    switch (which) {
    case StandardItem::Rank:
        return para(italic("Rank") + " orders the instruments when an operation runs over the whole database: "
                                     "operations run on resources from the lowest rank to the highest, so that "
                                     "slaves are ready before their master is started.") +
               para("Resources of equal rank run in no fixed order.");
    case StandardItem::Decimation:
        return para(italic("Decimation") + " thins the data recorded during a capture: only one of every n scans is "
                                           "recorded, n being the decimation. A decimation of 1 records every scan.");
    case StandardItem::Expression:
        return para(italic("Expression") +
                    " gives the channel a formula whose result takes the place of the raw value. The formula is "
                    "written with the arithmetic operators +, -, *, / and ^, parentheses, comparisons and the "
                    "conditional a ? b : c.") +
               para("Units are written in single quotes after a number, for instance 2.5 'mV'. A physical channel "
                    "is written as the stream name and the channel name joined by '-' between angle brackets:") +
               "&lt;p style=\"margin-bottom: 5px;text-indent: 20px;\"&gt;&amp;lt;Bridge1-AnalogChannel1&amp;gt; * "
               "1000&lt;/p&gt;" +
               para(code("thermo(type, millivolts, reference)") +
                    " converts a thermocouple voltage to a temperature; its type is one of typeb, typee, typej, "
                    "typek, typen, typer, types and typet.") +
               para(code("multi(x, x1, y1, x2, y2, ...)") +
                    " transforms a value through a set of point pairs, interpolating linearly between them.") +
               para("An empty expression leaves the channel's value as the instrument delivers it.");
    case StandardItem::None:
        break;
    }
    return {};
}

// The exact rows of the standard virtual items.
int insertStandardItem(sqlite3 *db, StandardItem which, const char *property, int64_t category)
{
    switch (which) {
    case StandardItem::Rank:
        return execStatement(db,
                             "insert into ui_item (type,width,label,dflt,min,max,property,description,  "
                             "tooltip,orderseq,category_id,isvirtual) values ('int',75,'Rank','0',0,255,'Rank', '', "
                             "'Rank of the instrument',  65535,?1,1)",
                             category);
    case StandardItem::Decimation:
        return execStatement(db,
                             "insert into ui_item (type,width,label,dflt,min,max,property,description,  "
                             "tooltip,orderseq,category_id,isvirtual) values "
                             "('int',75,'Decimation','1',1,2147483648,'Decimation', '', 'Decimation during capture',  "
                             "65535,?1,1)",
                             category);
    case StandardItem::Expression:
        return execStatement(db,
                             "insert into ui_item (type,width,label,dflt,property,description,tooltip,  "
                             "orderseq,category_id,isvirtual) values ('textbox',200,'Expression','',?1,'', "
                             "'Formula Expression',65535,?2,1)",
                             property, category);
    case StandardItem::None:
        break;
    }
    return SQLITE_MISUSE;
}

const char *typeName(ItemType t)
{
    switch (t) {
    case ItemType::Textbox:
        return "textbox";
    case ItemType::Menu:
        return "menu";
    case ItemType::Checkbox:
        return "checkbox";
    case ItemType::Int:
        return "int";
    case ItemType::Real:
        return "real";
    }
    return "";
}

int insertItem(sqlite3 *db, const Item &item, int64_t category)
{
    const char *type = typeName(item.type);
    if (item.type == ItemType::Int)
        return execStatement(db,
                             "insert into ui_item (type,width,label,min,max,dflt,property,tooltip,orderseq,"
                             "ispostresetunknown,category_id,isvirtual) values (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,0)",
                             type, item.width, item.label, static_cast<int64_t>(item.min),
                             static_cast<int64_t>(item.max), item.dflt, item.property, item.tooltip, item.orderseq,
                             item.postResetUnknown, category);
    if (item.type == ItemType::Real)
        return execStatement(db,
                             "insert into ui_item (type,width,label,min,max,dflt,property,tooltip,orderseq,"
                             "ispostresetunknown,category_id,isvirtual) values (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,0)",
                             type, item.width, item.label, item.min, item.max, item.dflt, item.property, item.tooltip,
                             item.orderseq, item.postResetUnknown, category);
    if (item.width == 0)
        return execStatement(db,
                             "insert into ui_item (type,label,dflt,property,tooltip,orderseq,ispostresetunknown,"
                             "category_id,isvirtual) values (?1,?2,?3,?4,?5,?6,?7,?8,0)",
                             type, item.label, item.dflt, item.property, item.tooltip, item.orderseq,
                             item.postResetUnknown, category);
    return execStatement(db,
                         "insert into ui_item (type,width,label,dflt,property,tooltip,orderseq,ispostresetunknown,"
                         "category_id,isvirtual) values (?1,?2,?3,?4,?5,?6,?7,?8,?9,0)",
                         type, item.width, item.label, item.dflt, item.property, item.tooltip, item.orderseq,
                         item.postResetUnknown, category);
}

class Writer
{
  public:
    Writer(sqlite3 *db, const Catalogue &cat, Appender &appender, FILE *out)
        : db_(db), cat_(cat), appender_(appender), out_(out)
    {
    }

    bool run()
    {
        std::optional<int64_t> pinterface;
        if (cat_.pinterfaceName && !physicalInterface(pinterface))
            return false;
        const int rc =
            pinterface ? execStatement(db_,
                                       "insert into model (vendor,model,platform,prefix,productname,pnplibname,"
                                       "pinterface_id) values (?1,?2,?3,?4,?5,?6,?7)",
                                       kMakerId, cat_.model, cat_.platform, cat_.prefix, cat_.productName,
                                       cat_.pnpLibName, *pinterface)
                       : execStatement(db_,
                                       "insert into model (vendor,model,platform,prefix,productname,pnplibname,"
                                       "pinterface_id) values (?1,?2,?3,?4,?5,?6,NULL)",
                                       kMakerId, cat_.model, cat_.platform, cat_.prefix, cat_.productName,
                                       cat_.pnpLibName);
        if (!exec(rc))
            return false;
        model_ = sqlite3_last_insert_rowid(db_);
        if (!describe("model", model_, kHeading + paragraphs(cat_.help)))
            return false;
        for (const Block &b : cat_.blocks) {
            const bool ok = std::holds_alternative<Category>(b) ? category(std::get<Category>(b))
                                                                : operation(std::get<Operation>(b));
            if (!ok)
                return false;
        }
        return appender_.flush(db_, "", 0) >= 0;
    }

  private:
    bool exec(int rc) { return rc == SQLITE_DONE; }

    // The physical interface row of the model's name, reused whatever its
    // library, else written. A lookup that fails is a failure: inserting then
    // could leave two rows of one name.
    bool physicalInterface(std::optional<int64_t> &id)
    {
        {
            Statement q(db_, "select pinterface_id from pinterface where name=?1 order by pinterface_id",
                        cat_.pinterfaceName);
            const int rc = q.step();
            if (rc == SQLITE_ROW) {
                id = q.int64(0);
                return id.has_value();
            }
            if (rc != SQLITE_DONE)
                return false;
        }
        if (!exec(execStatement(db_, "insert into pinterface (name,lib) values (?1,?2)", cat_.pinterfaceName,
                                cat_.pinterfaceLib)))
            return false;
        id = sqlite3_last_insert_rowid(db_);
        return true;
    }

    bool choices(const Item &item, int64_t itemId)
    {
        for (const Choice &choice : item.choices)
            if (!exec(execStatement(db_, "insert into ui_pair (name,value,ui_item_id) values (?1,?2,?3)", choice.name,
                                    choice.text ? std::string(choice.text) : std::to_string(choice.value), itemId)))
                return false;
        return true;
    }

    // A virtual item of the model's own: its description is written with it
    // and it gets no help text of the appender.
    bool inlineItem(const Item &item, int64_t category)
    {
        if (!exec(execStatement(db_,
                                "insert into ui_item (type,width,label,dflt,property,description,tooltip,orderseq,"
                                "category_id,isvirtual) values (?1,?2,?3,?4,?5,?6,?7,?8,?9,1)",
                                typeName(item.type), item.width, item.label, item.dflt, item.property,
                                item.inlineDescription, item.tooltip, item.orderseq, category)))
            return false;
        return choices(item, sqlite3_last_insert_rowid(db_));
    }
    bool describe(const char *table, int64_t id, const std::string &text)
    {
        return appender_.append(db_, table, id, text) >= 0;
    }
    void progress(const char *a, const char *b) { std::fprintf(out_, "%s%s\n", a, b); }

    bool operation(const Operation &op)
    {
        progress(" Inserting Operation ", op.name);
        if (!exec(execStatement(db_,
                                "insert into operation (model_id,progressmask,operation,tooltip) values (?1,?2,?3,?4)",
                                model_, op.progressMask, op.name, op.tooltip)))
            return false;
        const int64_t id = sqlite3_last_insert_rowid(db_);
        std::string text = kHeading;
        for (size_t i = 0; i < op.help.size(); ++i)
            text += para(i == 0 ? code(op.function) + " " + op.help[i] : std::string(op.help[i]));
        return describe("operation", id, text);
    }

    bool category(const Category &c)
    {
        progress("Inserting Class ", c.name);
        if (!exec(execStatement(db_,
                                "insert into category (name,orderseq,property_index_range,property_index_label,demo) "
                                "values (?1,?2,?3,?4,?5)",
                                c.name, c.orderseq, c.indexRange, c.indexLabel, c.demo)))
            return false;
        const int64_t id = sqlite3_last_insert_rowid(db_);
        if (c.kind == CategoryKind::Options &&
            !exec(execStatement(db_, "insert into model_options (model_id,category_id) values (?1,?2)", model_, id)))
            return false;
        if (c.kind == CategoryKind::Configuration &&
            !exec(execStatement(db_, "insert into ui (model_id,category_id) values (?1,?2)", model_, id)))
            return false;
        for (const Attribute &a : c.attributes) {
            if (!exec(execStatement(db_, "insert into category_attributes (category_id,name,value) values (?1,?2,?3)",
                                    id, a.name, a.value)))
                return false;
            if (a.item && !inlineItem(*a.item, id))
                return false;
            if (a.introduces != StandardItem::None) {
                if (!exec(insertStandardItem(db_, a.introduces, a.value, id)))
                    return false;
                if (!describe("ui_item", sqlite3_last_insert_rowid(db_), standardItemHelp(a.introduces)))
                    return false;
            }
        }
        std::string help;
        for (const char *h : c.help)
            help += c.bareHelp ? std::string(h) : para(h);
        if (!describe("category", id, help))
            return false;
        for (const Item &item : c.items) {
            progress(" Inserting Property set", item.property);
            if (!exec(insertItem(db_, item, id)))
                return false;
            const int64_t itemId = sqlite3_last_insert_rowid(db_);
            if (!describe("ui_item", itemId, itemHelp(cat_, item)))
                return false;
            if (!choices(item, itemId))
                return false;
        }
        return true;
    }

    sqlite3 *db_;
    const Catalogue &cat_;
    Appender &appender_;
    FILE *out_;
    int64_t model_ = 0;
};

} // namespace

bool writeCatalogue(sqlite3 *db, const Catalogue &catalogue, Appender &appender, FILE *out)
{
    return Writer(db, catalogue, appender, out).run();
}

// ---- Removal --------------------------------------------------------------

bool removeModel(sqlite3 *db, int64_t modelId)
{
    // Only the model's catalogue, its own virtual resources and what is keyed
    // by them go. A configuration database is a virtual resource of a front
    // panel's model, but what it holds (its db row, its members' settings,
    // formulas, layouts and application data) belongs to the user: it stays,
    // and so does the selection in the system row, so that the catalogue can
    // be installed again without losing a configuration. Option values, site
    // links and unassigned physical resources stay as well.
#define TQ_V "(select vresource_id from vresource where model_id=?1)"
#define TQ_C "(select category_id from ui where model_id=?1 union select category_id from model_options where model_id=?1)"
#define TQ_I "(select ui_item_id from ui_item where category_id in " TQ_C ")"
    static const char *const kStatements[] = {
        // The model's virtual resources: their membership, their stored
        // values, the devices assigned to them, their settings.
        "delete from db_resource where vresource_id in " TQ_V,
        "delete from configs where vresource_id in " TQ_V,
        "delete from presource where vresource_id in " TQ_V,
        "delete from rsrc_settings where vresource_id in " TQ_V,
        "delete from vresource where model_id=?1",
        // The catalogue, reached through the model's ui and model_options rows.
        "delete from ui_pair where ui_item_id in " TQ_I,
        "delete from ui_item where ui_item_id in " TQ_I,
        "delete from category_attributes where category_id in (select category_id from ui where model_id=?1)",
        "delete from category where category_id in " TQ_C,
        "delete from model_options where model_id=?1",
        "delete from ui where model_id=?1",
        "delete from operation where model_id=?1",
    };
#undef TQ_V
#undef TQ_C
#undef TQ_I
    for (const char *sql : kStatements)
        if (execStatement(db, sql, modelId) != SQLITE_DONE)
            return false;

    std::optional<int64_t> pinterface;
    {
        Statement q(db, "select pinterface_id from model where model_id=?1", modelId);
        const int rc = q.step();
        if (rc == SQLITE_ROW)
            pinterface = q.int64(0);
        else if (rc != SQLITE_DONE)
            return false;
    }
    if (execStatement(db, "delete from model where model_id=?1", modelId) != SQLITE_DONE)
        return false;
    // A physical interface that no other model uses goes with its last model.
    if (pinterface && execStatement(db,
                                    "delete from pinterface where pinterface_id=?1 and not exists "
                                    "(select 1 from model where pinterface_id=?1)",
                                    *pinterface) != SQLITE_DONE)
        return false;
    return true;
}

// ---- Program --------------------------------------------------------------

int runInstaller(int argc, char **argv, const Catalogue &catalogue, FILE *out, FILE *err)
{
    const char *program = argc > 0 && argv[0] ? argv[0] : "installer";
    const bool insert = argc == 2 && std::strcmp(argv[1], "insert") == 0;
    const bool remove = argc == 2 && std::strcmp(argv[1], "remove") == 0;
    if (!insert && !remove) {
        std::fprintf(err, "usage: %s insert|remove\n", program);
        return 2;
    }
    sqlite3 *db = devicedb::openDeviceDatabase("tqdaq/device");
    if (!db) {
        std::fprintf(err, "%s: cannot open the device database %s\n", program,
                     devicedb::databasePath("tqdaq/device").c_str());
        return 1;
    }
    // The lookup runs inside the write transaction, so that two installers
    // started together cannot both find the model absent.
    if (execStatement(db, "begin immediate transaction") != SQLITE_DONE) {
        std::fputs("failure to open transaction.\n", err);
        devicedb::closeDeviceDatabase(db);
        return 1;
    }
    int status = 0;
    bool changed = false;
    std::string failure;
    {
        Statement q(db, "select model_id from model where model=?1 and vendor=?2", catalogue.model, kMakerId);
        const int rc = q.step();
        std::optional<int64_t> id = rc == SQLITE_ROW ? q.int64(0) : std::nullopt;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            failure = std::string("cannot look up the model: ") + sqlite3_errmsg(db);
        } else if (rc == SQLITE_ROW && !id) {
            failure = "the model's row has no usable id";
        } else if (id && remove) {
            changed = true;
            if (!removeModel(db, *id))
                failure = std::string("removal failed, nothing removed: ") + sqlite3_errmsg(db);
        } else if (!id && insert) {
            changed = true;
            Appender appender;
            if (!writeCatalogue(db, catalogue, appender, out))
                failure = std::string("the catalogue could not be written, nothing written: ") + sqlite3_errmsg(db);
        }
    }
    std::fflush(out);
    if (failure.empty() && changed) {
        if (execStatement(db, "commit transaction") != SQLITE_DONE) {
            failure = std::string("commit failed, nothing written: ") + sqlite3_errmsg(db);
        }
    }
    if (!failure.empty() || !changed) {
        // A failed commit leaves the transaction open; end it.
        if (sqlite3_get_autocommit(db) == 0)
            execStatement(db, "rollback transaction");
    }
    if (!failure.empty()) {
        std::fprintf(err, "%s %s: %s\n", program, insert ? "insert" : "remove", failure.c_str());
        status = 1;
    }
    devicedb::closeDeviceDatabase(db);
    return status;
}

} // namespace tq::installer
