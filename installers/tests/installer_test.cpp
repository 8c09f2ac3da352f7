// The installer programs run as processes on real device database files:
// what each catalogue writes, insert twice, remove with resources present
// and insert again, refused command lines, a missing database, a catalogue
// that fails halfway, and two installers at once.
#include <chrono>
#include <thread>

#include "fixture.h"
#include "tqdatapath.h"

using itest::DeviceDb;

namespace
{

struct Catalogue {
    const char *program;
    int model;
    // Rows of the model: category, ui, model_options, category_attributes,
    // ui_item (all, virtual), ui_pair, operation.
    long categories, ui, options, attributes, items, virtualItems, pairs, operations;
    long classLines, propertyLines, operationLines;
    const char *firstLine, *lastLine;
};

std::ostream &operator<<(std::ostream &o, const Catalogue &c)
{
    return o << c.program;
}

constexpr const char *kInit = "Inserting Class Initialize Function";
constexpr const char *kClose = "Inserting Class Close Function";

const Catalogue kCatalogues[] = {
    {"tq714install", 0x714, 15, 10, 1, 17, 66, 6, 187, 4, 15, 60, 4, kInit, kClose},
    {"tq723install", 0x723, 15, 10, 1, 24, 61, 9, 172, 5, 15, 52, 5, kInit, kClose},
    {"tq718install", 0x718, 11, 6, 1, 8, 51, 3, 154, 4, 11, 48, 4, kInit, kClose},
    {"tq747install", 0x747, 8, 5, 1, 9, 31, 4, 20, 5, 8, 27, 5, kInit, " Inserting Operation powerupClear"},
    {"tq775install", 0x775, 6, 2, 1, 5, 20, 3, 58, 3, 6, 17, 3, kInit, kClose},
    {"ux176install", 0x176, 12, 9, 1, 13, 18, 5, 4, 3, 12, 13, 3, "Inserting Class Device Options",
     "Inserting Class Stream Functions"},
    // The menus of model 740 hold 16 choices (5 + 2 + 2 + 3 + 2 + 2).
    {"tq740install", 0x740, 7, 4, 1, 7, 18, 2, 16, 3, 7, 16, 3, kInit, " Inserting Operation powerupClear"},
    {"tq726install", 0x726, 7, 2, 1, 5, 8, 2, 2, 3, 7, 6, 3, kInit, kClose},
    {"panelmateproinstall", 2, 5, 1, 1, 0, 8, 0, 3, 2, 5, 8, 2, kInit, kClose},
    {"panelmateinstall", 1, 3, 0, 0, 0, 0, 0, 0, 4, 3, 0, 4, kInit, kClose},
};

// The model's rows, counted through its links, and the rows of every table
// that would be left pointing at nothing.
struct Counts {
    long models, categories, ui, options, attributes, items, virtualItems, pairs, operations, described;
    bool operator==(const Counts &) const = default;
};

std::ostream &operator<<(std::ostream &o, const Counts &c)
{
    return o << "models " << c.models << " categories " << c.categories << " ui " << c.ui << " options " << c.options
             << " attributes " << c.attributes << " items " << c.items << " virtual " << c.virtualItems << " pairs "
             << c.pairs << " operations " << c.operations << " described " << c.described;
}

const char *const kCats = "(select category_id from ui where model_id in (select model_id from model where model=%M) "
                          "union all select category_id from model_options where model_id in (select model_id from "
                          "model where model=%M))";

std::string fill(std::string sql, int model)
{
    for (size_t p; (p = sql.find("%C")) != std::string::npos;)
        sql.replace(p, 2, kCats);
    for (size_t p; (p = sql.find("%M")) != std::string::npos;)
        sql.replace(p, 2, std::to_string(model));
    return sql;
}

Counts counts(DeviceDb &d, int model)
{
    auto n = [&](const std::string &sql) { return d.count(fill(sql, model)); };
    Counts c{};
    c.models = n("select count(*) from model where model=%M and vendor=15450");
    // Categories of the model: the linked ones and the function groups
    // written with it (everything after the model row's own categories).
    c.categories = n("select count(*) from category where category_id in %C or (category_id not in (select "
                     "category_id from ui union select category_id from model_options))");
    c.ui = n("select count(*) from ui where model_id in (select model_id from model where model=%M)");
    c.options = n("select count(*) from model_options where model_id in (select model_id from model where model=%M)");
    c.attributes = n("select count(*) from category_attributes where category_id in %C");
    c.items = n("select count(*) from ui_item where category_id in %C");
    c.virtualItems = n("select count(*) from ui_item where category_id in %C and isvirtual=1");
    c.pairs = n("select count(*) from ui_pair where ui_item_id in (select ui_item_id from ui_item where category_id in "
                "%C)");
    c.operations =
        n("select count(*) from operation where model_id in (select model_id from model where model=%M)");
    c.described = n("select (select count(*) from model where model=%M and description<>'') + (select count(*) from "
                    "category where description<>'' and (category_id in %C or category_id not in (select "
                    "category_id from ui union select category_id from model_options))) + (select count(*) from "
                    "ui_item where description<>'' and category_id in %C) + (select count(*) from operation where "
                    "description<>'' and model_id in (select model_id from model where model=%M))");
    return c;
}

Counts expected(const Catalogue &c)
{
    return {1,
            c.categories,
            c.ui,
            c.options,
            c.attributes,
            c.items,
            c.virtualItems,
            c.pairs,
            c.operations,
            1 + c.categories + c.items + c.operations};
}

size_t countPrefix(const std::vector<std::string> &lines, const std::string &prefix)
{
    size_t n = 0;
    for (const auto &l : lines)
        n += l.rfind(prefix, 0) == 0;
    return n;
}

// Rows that point at a row that does not exist.
long orphans(DeviceDb &d)
{
    return d.count("select (select count(*) from ui where model_id not in (select model_id from model)) + "
                   "(select count(*) from model_options where model_id not in (select model_id from model)) + "
                   "(select count(*) from operation where model_id not in (select model_id from model)) + "
                   "(select count(*) from ui_item where category_id not in (select category_id from category)) + "
                   "(select count(*) from ui_pair where ui_item_id not in (select ui_item_id from ui_item)) + "
                   "(select count(*) from category_attributes where category_id not in (select category_id from "
                   "category)) + "
                   "(select count(*) from vresource where model_id not in (select model_id from model)) + "
                   "(select count(*) from presource where model_id not in (select model_id from model)) + "
                   "(select count(*) from presource where vresource_id not in (select vresource_id from vresource)) + "
                   "(select count(*) from vresource_options where vresource_id not in (select vresource_id from "
                   "vresource) or ui_item_id not in (select ui_item_id from ui_item)) + "
                   "(select count(*) from presource_options where presource_id not in (select presource_id from "
                   "presource) or ui_item_id not in (select ui_item_id from ui_item)) + "
                   "(select count(*) from padapter where frontend_id not in (select presource_id from presource) or "
                   "backend_id not in (select presource_id from presource)) + "
                   "(select count(*) from db where vresource_id not in (select vresource_id from vresource)) + "
                   "(select count(*) from db_resource where db_id not in (select db_id from db) or vresource_id not "
                   "in (select vresource_id from vresource)) + "
                   "(select count(*) from configs where db_id not in (select db_id from db) or vresource_id not in "
                   "(select vresource_id from vresource)) + "
                   "(select count(*) from formula where db_id not in (select db_id from db)) + "
                   "(select count(*) from system where db_id is not null and db_id not in (select db_id from db))");
}

// Catalogue rows that point at a catalogue row that does not exist.
long catalogueOrphans(DeviceDb &d)
{
    return d.count("select (select count(*) from ui where model_id not in (select model_id from model)) + "
                   "(select count(*) from model_options where model_id not in (select model_id from model)) + "
                   "(select count(*) from operation where model_id not in (select model_id from model)) + "
                   "(select count(*) from ui_item where category_id not in (select category_id from category)) + "
                   "(select count(*) from ui_pair where ui_item_id not in (select ui_item_id from ui_item)) + "
                   "(select count(*) from category_attributes where category_id not in (select category_id from "
                   "category)) + "
                   "(select count(*) from vresource where model_id not in (select model_id from model))");
}

class EachCatalogue : public ::testing::TestWithParam<Catalogue>
{
};

TEST_P(EachCatalogue, InsertWritesTheRowsAndProgressLines)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir());
    const auto r = d.run(c.program, "insert");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto out = itest::lines(r.out);
    EXPECT_EQ(out.size(), static_cast<size_t>(c.classLines + c.propertyLines + c.operationLines));
    EXPECT_EQ(countPrefix(out, "Inserting Class "), static_cast<size_t>(c.classLines));
    EXPECT_EQ(countPrefix(out, " Inserting Property set"), static_cast<size_t>(c.propertyLines));
    EXPECT_EQ(countPrefix(out, " Inserting Operation "), static_cast<size_t>(c.operationLines));
    EXPECT_EQ(counts(d, c.model), expected(c));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front(), c.firstLine);
    EXPECT_EQ(out.back(), c.lastLine);
}

TEST_P(EachCatalogue, InsertTwiceLeavesOneCatalogue)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(c.program, "insert").status, 0);
    const std::string before = d.dump();
    const auto again = d.run(c.program, "insert");
    EXPECT_EQ(again.status, 0) << "the catalogue is there: nothing to do";
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(d.dump(), before);
}

TEST_P(EachCatalogue, RemoveTakesTheModelsOwnRowsOnlyAndANewInsertGetsNewIds)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(c.program, "insert").status, 0);
    const std::string model = d.value("select model_id from model where model=" + std::to_string(c.model));
    const std::string maxItem = d.value("select max(ui_item_id) from ui_item");
    // Resources of the model: a virtual resource with an option value and a
    // configuration database of its own, a member of another database, an
    // assigned physical resource with a site link, and an unassigned one.
    const std::string item = d.value("select ui_item_id from ui_item where category_id in " + fill("%C", c.model) +
                                     " limit 1");
    const int64_t other = d.insert("insert into model (vendor,model,prefix,pnplibname) values (15450,100,'app','app')");
    const int64_t owner = d.insert("insert into vresource (name,model_id) values ('keep'," + std::to_string(other) + ")");
    const int64_t keepDb = d.insert("insert into db (vresource_id) values (" + std::to_string(owner) + ")");
    const int64_t v = d.insert("insert into vresource (name,model_id) values ('gone'," + model + ")");
    if (!item.empty())
        d.exec("insert into vresource_options (vresource_id,ui_item_id,value) values (" + std::to_string(v) + "," +
               item + ",'x')");
    const int64_t ownDb = d.insert("insert into db (vresource_id) values (" + std::to_string(v) + ")");
    d.exec("update system set db_id=" + std::to_string(ownDb) + " where system_id=1");
    d.exec("insert into db_resource (db_id,vresource_id) values (" + std::to_string(ownDb) + "," +
           std::to_string(owner) + ")");
    d.exec("insert into db_resource (db_id,vresource_id) values (" + std::to_string(keepDb) + "," + std::to_string(v) +
           ")");
    d.exec("insert into configs (db_id,vresource_id,property,value) values (" + std::to_string(keepDb) + "," +
           std::to_string(v) + ",'P','1')");
    d.exec("insert into configs (db_id,vresource_id,property,value) values (" + std::to_string(ownDb) + "," +
           std::to_string(owner) + ",'Q','2')");
    d.exec("insert into formula (db_id,name) values (" + std::to_string(ownDb) + ",'f')");
    const int64_t p = d.insert("insert into presource (name,model_id,vresource_id) values ('PXI1::1::INSTR'," + model +
                               "," + std::to_string(v) + ")");
    const int64_t q = d.insert("insert into presource (name,model_id) values ('PXI1::2::INSTR'," + model + ")");
    d.exec("insert into padapter (frontend_id,backend_id) values (" + std::to_string(q) + "," + std::to_string(p) + ")");
    if (!item.empty())
        d.exec("insert into presource_options (presource_id,ui_item_id,value) values (" + std::to_string(q) + "," +
               item + ",'y')");
    ASSERT_EQ(orphans(d), 0);

    const auto r = d.run(c.program, "remove");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(d.count("select count(*) from model where model_id=" + model), 0);
    // The model's virtual resource goes with its membership, its stored
    // value and the device assigned to it.
    EXPECT_EQ(d.rows("select name from vresource"), (std::vector<std::string>{"keep"}));
    EXPECT_EQ(d.rows("select db_id||'|'||vresource_id from db_resource"),
              (std::vector<std::string>{std::to_string(ownDb) + "|" + std::to_string(owner)}));
    EXPECT_EQ(d.rows("select property from configs"), (std::vector<std::string>{"Q"}));
    EXPECT_EQ(d.rows("select name from presource"), (std::vector<std::string>{"PXI1::2::INSTR"}))
        << "the unassigned device stays";
    // Configuration databases, their formulas and the selection stay, and so
    // do option values and site links.
    EXPECT_EQ(d.count("select count(*) from db"), 2);
    EXPECT_EQ(d.value("select db_id from system"), std::to_string(ownDb));
    EXPECT_EQ(d.count("select count(*) from formula"), 1);
    EXPECT_EQ(d.count("select count(*) from padapter"), 1);
    EXPECT_EQ(d.count("select count(*) from vresource_options"), item.empty() ? 0 : 1);
    EXPECT_EQ(d.count("select count(*) from presource_options"), item.empty() ? 0 : 1);
    EXPECT_EQ(catalogueOrphans(d), 0);
    // The function groups have no link row and stay.
    EXPECT_GT(d.count("select count(*) from category"), 0);

    ASSERT_EQ(d.run(c.program, "insert").status, 0);
    EXPECT_NE(d.value("select model_id from model where model=" + std::to_string(c.model)), model);
    EXPECT_EQ(d.count("select count(*) from ui_item where ui_item_id<=" + maxItem + " and category_id in " +
                      fill("%C", c.model)),
              0)
        << "no item id of the first catalogue is handed out again";
    EXPECT_EQ(catalogueOrphans(d), 0);
    const Counts now = counts(d, c.model);
    EXPECT_EQ(now.items, c.items);
    EXPECT_EQ(now.pairs, c.pairs);
}

// A configuration database of a front panel holding a member of another
// model: taking the front panel's catalogue out and putting it back leaves
// the member and everything the database holds as it was.
class FrontPanelCatalogue : public ::testing::TestWithParam<Catalogue>
{
};

TEST_P(FrontPanelCatalogue, RemoveAndInsertAgainKeepTheDatabasesOfOtherModelsMembers)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(c.program, "insert").status, 0);
    ASSERT_EQ(d.run("tq747install", "insert").status, 0);
    const std::string app = d.value("select model_id from model where model=" + std::to_string(c.model));
    const std::string carrier = d.value("select model_id from model where model=1863");
    const std::string own = std::to_string(d.insert("insert into vresource (name,model_id) values ('bench'," + app + ")"));
    const std::string db = std::to_string(d.insert("insert into db (vresource_id) values (" + own + ")"));
    const std::string member =
        std::to_string(d.insert("insert into vresource (name,model_id) values ('dio'," + carrier + ")"));
    const std::string nameItem = d.value("select ui_item_id from ui_item where property='InstrumentName' and "
                                         "category_id in " + fill("%C", 0x747));
    d.exec("insert into vresource_options (vresource_id,ui_item_id,value) values (" + member + "," + nameItem +
           ",'dio')");
    d.exec("insert into presource (name,model_id,vresource_id) values ('PXI1::15::INSTR'," + carrier + "," + member +
           ")");
    d.exec("insert into db_resource (db_id,vresource_id,enable) values (" + db + "," + member + ",1)");
    d.exec("update system set db_id=" + db + " where system_id=1");
    d.exec("insert into configs (db_id,vresource_id,property,property_index,seq_id,value) values (" + db + "," +
           member + ",'ChannelGroupDirection',2,1,'1'), (" + db + "," + member + ",'Rank',NULL,1,'3')");
    d.exec("insert into formula (db_id,name,operator,expression) values (" + db + ",'twice','=','&lt;dio-1&gt; * 2')");
    d.exec("insert into appdata (key,value,db_id) values ('layout','<panel/>'," + db + ")");
    const std::string stream =
        std::to_string(d.insert("insert into stream (db_id,name) values (" + db + ",'bench')"));
    const std::string window =
        std::to_string(d.insert("insert into displaywindow (stream_id,title) values (" + stream + ",'w')"));
    const std::string graph =
        std::to_string(d.insert("insert into graphobject (displaywindow_id,title) values (" + window + ",'g')"));
    const std::string axis =
        std::to_string(d.insert("insert into axisinfo (graphobject_id,eu) values (" + graph + ",'V')"));
    d.exec("insert into channelenable (axisinfo_id,enable,name) values (" + axis + ",1,'twice')");
    // Everything but the front panel's own rows.
    auto kept = [&] {
        std::string out;
        for (const char *table : {"system", "db", "db_resource", "configs", "formula", "appdata", "stream",
                                  "displaywindow", "graphobject", "axisinfo", "channelenable", "presource",
                                  "vresource_options"})
            for (const auto &row : d.rows(std::string("select * from ") + table))
                out += std::string(table) + ": " + row + "\n";
        for (const auto &row : d.rows("select * from vresource where vresource_id=" + member))
            out += "member: " + row + "\n";
        return out;
    };
    const std::string before = kept();

    const auto removed = d.run(c.program, "remove");
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(d.count("select count(*) from model where model=" + std::to_string(c.model)), 0);
    EXPECT_EQ(d.count("select count(*) from vresource where vresource_id=" + own), 0)
        << "the front panel's own virtual resource goes with its model";
    EXPECT_EQ(kept(), before);

    const auto inserted = d.run(c.program, "insert");
    ASSERT_EQ(inserted.status, 0) << inserted.err;
    EXPECT_EQ(kept(), before);
    const Counts carrierRows = counts(d, 0x747);
    EXPECT_EQ(carrierRows.items, kCatalogues[3].items) << "the member's catalogue is whole";
    EXPECT_EQ(carrierRows.pairs, kCatalogues[3].pairs);
    EXPECT_EQ(carrierRows.operations, kCatalogues[3].operations);
}

INSTANTIATE_TEST_SUITE_P(Installers, FrontPanelCatalogue, ::testing::Values(kCatalogues[8], kCatalogues[9]),
                         [](const ::testing::TestParamInfo<Catalogue> &info) { return std::string(info.param.program); });

TEST_P(EachCatalogue, RefusedCommandLinesChangeNothing)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir());
    const std::string before = d.dump();
    for (const char *words : {"", "Insert", "REMOVE", "insert insert", "delete"}) {
        SCOPED_TRACE(words);
        const auto r = d.run(c.program, words);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err, "");
    }
    const auto absent = d.run(c.program, "remove");
    EXPECT_EQ(absent.status, 0) << "removing an absent model has nothing to do";
    EXPECT_EQ(d.dump(), before);
}

TEST_P(EachCatalogue, NoDatabaseIsAFailureAndNoFileIsMade)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir(), false);
    for (const char *word : {"insert", "remove"}) {
        const auto r = d.run(c.program, word);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("cannot open the device database"), std::string::npos) << r.err;
    }
    EXPECT_NE(std::system(("test -e '" + d.file() + "'").c_str()), 0);
}

TEST_P(EachCatalogue, AFailureHalfwayLeavesNothingAndIsReported)
{
    const Catalogue &c = GetParam();
    DeviceDb d(itest::testDir());
    // The operation table without its tooltip: every catalogue fails at its
    // first operation, after rows of other tables were written.
    d.exec("drop table operation");
    d.exec("create table operation (operation_id integer primary key autoincrement, model_id integer, "
           "progressmask integer, operation text, description text not null default '')");
    const std::string before = d.dump();
    const auto r = d.run(c.program, "insert");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(d.dump(), before);
}

INSTANTIATE_TEST_SUITE_P(Installers, EachCatalogue, ::testing::ValuesIn(kCatalogues),
                         [](const ::testing::TestParamInfo<Catalogue> &info) {
                             return std::string(info.param.program);
                         });

TEST(Catalogue718, RowsThatMatter)
{
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run("tq718install", "insert").status, 0);
    EXPECT_EQ(d.rows("select vendor,model,platform,prefix,productname,pnplibname,pinterface_id from model"),
              std::vector<std::string>{"15450|1816|pxi|tq718|MX718|tqp718_32|NULL"});
    // A channel shown "None" must not run a full bridge: the default is the
    // driver's reset state.
    EXPECT_EQ(d.value("select dflt from ui_item where property='AnalogChannelBridgeConfiguration'"), "3");
    EXPECT_EQ(d.rows("select name||'='||value from ui_pair where ui_item_id=(select ui_item_id from ui_item where "
                     "property='StartCondition') order by ui_pair_id"),
              (std::vector<std::string>{"Disable=0", "PXI0=3", "PXI1=4", "PXI2=5", "PXI3=6", "PXI4=7", "PXI5=8",
                                        "PXI6=9", "PXI7=10", "PXISTAR=11", "I/O 1=1", "I/O 2=2"}));
    EXPECT_EQ(d.rows("select name,orderseq,property_index_range,demo from category where name in ('Event Type',"
                     "'Analog Channel','Analog Channel Demo') order by category_id"),
              (std::vector<std::string>{"Analog Channel|2|1-AnalogChannelCount|0", "Analog Channel Demo|4|1-4|1",
                                        "Event Type|5|1-15,17|0"}));
    EXPECT_EQ(d.rows("select name,value from category_attributes order by rowid"),
              (std::vector<std::string>{"rankProperty|Rank", "decimationProperty|Decimation",
                                        "formulaProperty|AnalogChannelExpression", "channelName|AnalogChannelName",
                                        "enableProperty|AnalogChannelEnable",
                                        "connectorProperty|AnalogChannelConnector", "channelName|EventChannelName",
                                        "enableProperty|EventChannelEnable"}));
    EXPECT_EQ(d.rows("select type,width,label,dflt,min,max,property,tooltip,orderseq,isvirtual from ui_item where "
                     "isvirtual=1 order by ui_item_id"),
              (std::vector<std::string>{
                  "int|75|Rank|0|0|255|Rank|Rank of the instrument|65535|1",
                  "int|75|Decimation|1|1|2147483648|Decimation|Decimation during capture|65535|1",
                  "textbox|200|Expression||NULL|NULL|AnalogChannelExpression|Formula Expression|65535|1"}));
    EXPECT_EQ(d.rows("select type,width,min,max,dflt from ui_item where property in ('ScanClockRate','EventEnable',"
                     "'AnalogChannelName') order by ui_item_id"),
              (std::vector<std::string>{"real|125|0|250000|100", "textbox|125|NULL|NULL|AnalogChannel$",
                                        "checkbox|NULL|NULL|NULL|0"}));
    // After a reset every item holds its default, the I/O lines included.
    EXPECT_EQ(d.count("select count(*) from ui_item where ispostresetunknown<>'0'"), 0);
    EXPECT_EQ(d.rows("select operation,progressmask from operation order by operation_id"),
              (std::vector<std::string>{"reset|0", "start|0", "stop|0", "calibrate|131072"}));
    // Help texts name the driver's functions and keep their markup escaped.
    EXPECT_NE(d.value("select description from ui_item where property='ScanClockSource'")
                  .find("&lt;code&gt;tq718_setScanClockSource&lt;/code&gt;"),
              std::string::npos);
    EXPECT_EQ(d.count("select count(*) from ui_item where description like '%<%' or description like '%>%'"), 0);
}

TEST(CataloguePanelmatePro, DefaultsAsTheInstrumentUsesThem)
{
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run("panelmateproinstall", "insert").status, 0);
    EXPECT_EQ(d.rows("select property,type,coalesce(width,'-'),dflt from ui_item order by ui_item_id"),
              (std::vector<std::string>{"InstrumentName|textbox|125|", "FileMenuSupport|checkbox|-|1",
                                        "PostProcessSupport|checkbox|-|1", "EditMenuSupport|checkbox|-|1",
                                        "ProbeAction|menu|125|1", "ProbeOnStartEnable|checkbox|125|1",
                                        "RecordEnable|checkbox|100|0",
                                        std::string("DataPath|textbox|300|") + TQ_PANELMATEPRO_DATA_PATH}));
    EXPECT_EQ(d.rows("select name||'='||value from ui_pair order by ui_pair_id"),
              (std::vector<std::string>{"Auto Populate=1", "Assign=2", "Refresh Hardware=3"}));
    EXPECT_EQ(d.rows("select operation,tooltip from operation order by operation_id"),
              (std::vector<std::string>{"probe|Perform the probe operation. ", "uiEvent|Handle a UI event "}));
}

// ---- Two installers at once ----------------------------------------------

TEST(Concurrency, TwoInsertsAtOnceWriteOneCatalogue)
{
    DeviceDb d(itest::testDir());
    const std::string cmd = "cd '" + d.dir() + "' && ('" TQ_BIN_DIR "/tq718install' insert >a.out 2>a.err & '" TQ_BIN_DIR
                            "/tq718install' insert >b.out 2>b.err & wait)";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(d.count("select count(*) from model"), 1);
    EXPECT_EQ(d.count("select count(*) from ui_item"), 51);
    EXPECT_EQ(d.count("select count(*) from ui_pair"), 154);
    // One of them wrote it, the other found it there; neither failed.
    const std::string a = itest::readFile(d.dir() + "/a.out"), b = itest::readFile(d.dir() + "/b.out");
    EXPECT_TRUE(a.empty() != b.empty()) << a.size() << " " << b.size();
    EXPECT_EQ(itest::readFile(d.dir() + "/a.err") + itest::readFile(d.dir() + "/b.err"), "");
}

TEST(Concurrency, AHeldWriteLockIsWaitedForThenTheCatalogueCommits)
{
    DeviceDb d(itest::testDir());
    d.exec("begin immediate transaction");
    itest::Run r;
    std::thread installer([&] { r = d.run("panelmateinstall", "insert"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    d.exec("commit transaction");
    installer.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(d.count("select count(*) from operation"), 4);
}

TEST(Concurrency, AWriteLockHeldTooLongIsReported)
{
    DeviceDb d(itest::testDir());
    d.exec("begin immediate transaction");
    const auto r = d.run("panelmateinstall", "insert");
    d.exec("rollback transaction");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "failure to open transaction.\n");
    EXPECT_EQ(d.count("select count(*) from model"), 0);
}

} // namespace
