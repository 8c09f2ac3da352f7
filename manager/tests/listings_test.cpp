// XML listings through the library on a device database made by the set-up
// script, the installers and a few rows of resources, configurations and
// formulas: the text of each listing, its parts over buffers of every size,
// one unfinished listing per session, and what an unfinished listing must
// not keep alive.
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

namespace
{

const std::string kHeader = "<?xml version=\"1.0\"?>\n";

using ListFn = std::function<ViStatus(char *, ViUInt32, ViUInt32 *)>;

// Reads a listing to its end in buffers of `size` bytes. Every part must be
// terminated at its length; every part but the last must report more text
// and fill its buffer. The last status goes to *last.
std::string readAll(const ListFn &list, ViUInt32 size, ViStatus *last = nullptr)
{
    std::vector<char> buffer(size + 1, '#');
    std::string text;
    for (int calls = 0; calls < 1000000; ++calls) {
        ViUInt32 length = 12345;
        buffer[size] = '#'; // a guard byte past the buffer
        const ViStatus st = list(buffer.data(), size, &length);
        EXPECT_EQ(buffer[size], '#') << "written past the buffer, size " << size;
        if (st < VI_SUCCESS) {
            if (last)
                *last = st;
            if (length < size)
                text.append(buffer.data(), length);
            return text;
        }
        EXPECT_LT(length, size);
        EXPECT_EQ(strlen(buffer.data()), length) << "size " << size;
        text.append(buffer.data(), length);
        if (st != TQDAQ_WARN_MORE_TEXT) {
            EXPECT_EQ(st, VI_SUCCESS);
            if (last)
                *last = st;
            return text;
        }
        EXPECT_EQ(length, size - 1) << "a part that is not the last fills its buffer";
    }
    ADD_FAILURE() << "listing never ended";
    return text;
}

bool wellFormed(const std::string &xml, const std::string &dir)
{
    const std::string file = dir + "/listing.xml";
    FILE *f = std::fopen(file.c_str(), "w");
    if (!f)
        return false;
    std::fwrite(xml.data(), 1, xml.size(), f);
    std::fclose(f);
    return std::system(("xmllint --noout '" + file + "' 2>/dev/null").c_str()) == 0;
}

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// The database the listings read: the application model with its selected
// database "system", a test model with a small catalogue, resources on it,
// configuration values and formulas.
struct Listings {
    explicit Listings(bool installers = false, bool spy = false) : app(spy)
    {
        DeviceDb &d = app.d;
        if (installers) {
            for (const char *installer : {"tq718install", "panelmateinstall", "panelmateproinstall"}) {
                const std::string cmd = "'" TQ_BIN_DIR "/" + std::string(installer) + "' insert >/dev/null";
                EXPECT_EQ(std::system(cmd.c_str()), 0) << installer;
            }
        }
        d.exec("update users set first_name='Ann', email='ann@example.org' where username='other'");

        testModel = d.addTestModel();
        const std::string m = std::to_string(testModel);
        d.exec("update model set description='Test model' where model_id=" + m);
        // Its catalogue: one option category, three configuration categories
        // (one of them for demo signals only), a function group.
        const int64_t options = d.insert("insert into category (name) values ('Device Options')");
        d.exec("insert into model_options (model_id,category_id) values (" + m + "," + std::to_string(options) + ")");
        nameItem = d.insert("insert into ui_item (category_id,type,width,label,dflt,property,tooltip) values (" +
                            std::to_string(options) + ",'textbox',100,'Name','','InstrumentName','Name ')");
        global = d.insert("insert into category (name,orderseq,property_index_label) values ('Global',1,'Global')");
        analog = d.insert("insert into category (name,orderseq,property_index_range,property_index_label) values "
                          "('Analog Channel',2,'1-8','template:Analog Channel $')");
        const int64_t demo = d.insert("insert into category (name,orderseq,demo) values ('Demo Channel',3,1)");
        const int64_t bridge = d.insert("insert into category (name,orderseq) values ('Bridge &amp; Filter',4)");
        d.insert("insert into category (name) values ('Utility Functions')");
        for (int64_t c : {global, analog, demo, bridge})
            d.exec("insert into ui (model_id,category_id) values (" + m + "," + std::to_string(c) + ")");
        const std::string g = std::to_string(global), a = std::to_string(analog);
        d.exec("insert into category_attributes (category_id,name,value) values (" + g + ",'rankProperty','Rank')");
        d.exec("insert into ui_item (type,width,label,dflt,min,max,property,description,tooltip,orderseq,category_id,"
               "isvirtual) values ('int',75,'Rank','0',0,255,'Rank','','Rank of the instrument',65535," +
               g + ",1)");
        const int64_t clock = d.insert("insert into ui_item (type,width,label,dflt,property,tooltip,orderseq,"
                                       "category_id) values ('menu',100,'Clock','0','Clock','Clock source ',1," +
                                       g + ")");
        // Choices in the menu's order, which is not the order of their values.
        for (const char *pair : {"'Internal','0'", "'External','3'", "'Both','1'"})
            d.exec("insert into ui_pair (name,value,ui_item_id) values (" + std::string(pair) + "," +
                   std::to_string(clock) + ")");
        d.exec("insert into ui_item (type,label,dflt,property,category_id) values ('real','Gain','1','Gain'," + a +
               ")");
        const int64_t secret = d.insert(
            "insert into ui_item (type,label,dflt,property,category_id) values ('textbox','Secret','','Secret'," + a +
            ")");
        d.exec("insert into ui_item_unavail (ui_item_id,user_id) values (" + std::to_string(secret) +
               ",(select users_id from users where username='operator'))");
        d.exec("insert into ui_item (type,label,dflt,property,category_id) values ('menu','Wave','0','Wave'," +
               std::to_string(demo) + ")");
        d.exec("insert into ui_item (type,label,dflt,property,category_id) values ('int','Cutoff','0','Cutoff'," +
               std::to_string(bridge) + ")");

        // Resources: rack1 in "system" with module m1 on its site 2, and the
        // physical resources behind them.
        rack1 = d.addVresource("rack1", testModel);
        d.exec("update vresource set description='Rack one' where vresource_id=" + std::to_string(rack1));
        m1 = d.addVresource("m1", testModel);
        d.addMember(app.dbId, rack1);
        d.exec("insert into vadapter (frontend_id,backend_id,connector_index) values (" + std::to_string(m1) + "," +
               std::to_string(rack1) + ",2)");
        d.setInstrumentName(rack1, nameItem, "Rack 1");
        const int64_t p1 = d.insert("insert into presource (name,model_id,vresource_id) values ('PXI1::5::INSTR'," + m +
                                    "," + std::to_string(rack1) + ")");
        const int64_t p2 = d.insert("insert into presource (name,model_id) values ('PXI1::5::INSTR_IP2'," + m + ")");
        d.exec("insert into padapter (frontend_id,backend_id,connector_index) values (" + std::to_string(p2) + "," +
               std::to_string(p1) + ",2)");
        d.exec("insert into presource_options (presource_id,ui_item_id,value) values (" + std::to_string(p1) + "," +
               std::to_string(nameItem) + ",'Rack 1')");

        // A second database of the application and one of the test model.
        bench = d.addDatabase("bench", app.appModel, false);
        d.addDatabase("rackdb", testModel, false);

        // Configuration values of rack1: listed are those of sequence 1 in
        // the selected database that the controller may see.
        d.setConfig(app.dbId, rack1, "Rank", "3", g);
        for (const char *v : {"1,'Gain',1,'10'", "1,'Gain',2,'20'", "1,'Secret',1,'x'", "2,'Gain',3,'30'"})
            d.exec("insert into configs (db_id,vresource_id,category_id,seq_id,property,property_index,value) values "
                   "(" +
                   std::to_string(app.dbId) + "," + std::to_string(rack1) + "," + a + "," + v + ")");
        d.exec("insert into configs (db_id,vresource_id,category_id,seq_id,property,property_index,value) values (" +
               std::to_string(bench) + "," + std::to_string(rack1) + "," + a + ",1,'Gain',4,'40')");
        d.exec("insert into configs (db_id,vresource_id,category_id,seq_id,property,property_index,value) values (" +
               std::to_string(app.dbId) + "," + std::to_string(rack1) + "," + std::to_string(demo) +
               ",1,'Wave',1,'2')");

        d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(app.dbId) +
               ",'total','=','1 + 2')");
        d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(app.dbId) +
               ",'out',' <- ','<rack1-ch0> * 2')");

        EXPECT_EQ(app.open(session), VI_SUCCESS);
    }
    ~Listings()
    {
        if (session)
            tqdaq_closeHandle(session);
    }

    ListFn users(const char *name = nullptr)
    {
        return [this, name](char *b, ViUInt32 n, ViUInt32 *l) { return tqdaq_listUsers(session, name, b, n, l); };
    }
    ListFn models(ViInt16 vendor, ViInt16 model, const char *category = nullptr)
    {
        return [=, this](char *b, ViUInt32 n, ViUInt32 *l) {
            return tqdaq_listModels(session, vendor, model, category, b, n, l);
        };
    }
    ListFn dbs(const char *product = nullptr)
    {
        return [=, this](char *b, ViUInt32 n, ViUInt32 *l) { return tqdaq_listDBs(session, product, b, n, l); };
    }
    ListFn vresources(const char *name = nullptr)
    {
        return [=, this](char *b, ViUInt32 n, ViUInt32 *l) { return tqdaq_listVresources(session, name, b, n, l); };
    }
    ListFn presources(const char *name = nullptr)
    {
        return [=, this](char *b, ViUInt32 n, ViUInt32 *l) { return tqdaq_listPresources(session, name, b, n, l); };
    }
    ListFn configs(const char *name = nullptr, const char *category = nullptr, const char *property = nullptr)
    {
        return [=, this](char *b, ViUInt32 n, ViUInt32 *l) {
            return tqdaq_listConfigs(session, name, 7, category, "2", property, b, n, l);
        };
    }
    ListFn formulas(const char *db = nullptr)
    {
        return [=, this](char *b, ViUInt32 n, ViUInt32 *l) { return tqdaq_listFormulas(session, db, b, n, l); };
    }
    ListFn streams()
    {
        return [this](char *b, ViUInt32 n, ViUInt32 *l) { return tqdaq_listStreams(session, b, n, l); };
    }

    AppDb app;
    ViSession session = 0;
    int64_t testModel = 0, nameItem = 0, global = 0, analog = 0, rack1 = 0, m1 = 0, bench = 0;
};

const std::string kOperator = "<user><username>operator</username><first_name></first_name><last_name></last_name>"
                              "<email></email><password></password></user>";
const std::string kOther = "<user><username>other</username><first_name>Ann</first_name><last_name></last_name>"
                           "<email>ann@example.org</email><password></password></user>";
const std::string kRack1 = "<vresource><vendorid>15450</vendorid><modelid>200</modelid><productname>tqmtest"
                           "</productname><name>rack1</name><description>Rack one</description><database>system"
                           "</database><presource>PXI1::5::INSTR</presource><option name='InstrumentName' "
                           "value='Rack 1'/><frontend><findex>2</findex><fname>m1</fname></frontend></vresource>";
const std::string kM1 = "<vresource><vendorid>15450</vendorid><modelid>200</modelid><productname>tqmtest"
                        "</productname><name>m1</name><description></description><backend><bindex>2</bindex>"
                        "<bname>rack1</bname></backend></vresource>";
const std::string kP1 = "<presource><vendorid>15450</vendorid><modelid>200</modelid><productname>tqmtest"
                        "</productname><name>PXI1::5::INSTR</name><vresource>rack1</vresource><option "
                        "name='InstrumentName' value='Rack 1'/><frontend><findex>2</findex><fname>"
                        "PXI1::5::INSTR_IP2</fname></frontend></presource>";
const std::string kP2 = "<presource><vendorid>15450</vendorid><modelid>200</modelid><productname>tqmtest"
                        "</productname><name>PXI1::5::INSTR_IP2</name><backend><bindex>2</bindex><bname>"
                        "PXI1::5::INSTR</bname></backend></presource>";
const std::string kRack1Global = "<category><name>Global</name><property><name>Rank</name><value>3</value>"
                                 "</property></category>";
const std::string kRack1Analog = "<category><name>Analog Channel</name><index><number>1</number><property><name>"
                                 "Gain</name><value>10</value></property></index><index><number>2</number>"
                                 "<property><name>Gain</name><value>20</value></property></index></category>";
const std::string kEmptyCategories = "<category><name>Global</name></category><category><name>Analog Channel"
                                     "</name></category><category><name>Bridge &amp; Filter</name></category>";
const std::string kTestModelRow = "<vendorid>15450</vendorid><modelid>200</modelid><description>Test model"
                                  "</description><platform>sys</platform><productname>tqmtest</productname>";
const std::string kTestOperations =
    "<operation><name>start</name><tooltip></tooltip><description></description><progressmask>0</progressmask>"
    "</operation><operation><name>stop</name><tooltip></tooltip><description></description><progressmask>0"
    "</progressmask></operation><operation><name>reset</name><tooltip></tooltip><description></description>"
    "<progressmask>0</progressmask></operation>";
const std::string kGlobalCategory =
    "<category><catname>Global</catname><indexrange></indexrange><indexlabel>Global</indexlabel><description>"
    "</description><attribute name='rankProperty' value='Rank'/><item><type>menu</type><width>100</width><label>"
    "Clock</label><dflt>0</dflt><property>Clock</property><tooltip>Clock source </tooltip><description>"
    "</description><isvirtual>0</isvirtual><ispostresetunknown>0</ispostresetunknown><option name='Internal' "
    "value='0'/><option name='External' value='3'/><option name='Both' value='1'/></item><item><type>int</type>"
    "<width>75</width><label>Rank</label><min>0</min><max>255</max><dflt>0</dflt><property>Rank</property><tooltip>"
    "Rank of the instrument</tooltip><description></description><isvirtual>1</isvirtual><ispostresetunknown>0"
    "</ispostresetunknown></item></category>";

struct GoldenCase {
    const char *what;
    std::function<ListFn(Listings &)> list;
    std::string body; // the text after the header
    bool wellFormed;  // no stored value holds raw markup
};

class ListingGolden : public ::testing::TestWithParam<GoldenCase>
{
};

TEST_P(ListingGolden, Text)
{
    const GoldenCase &c = GetParam();
    Listings l;
    ViStatus last = 0;
    const std::string text = readAll(c.list(l), 8192, &last);
    EXPECT_EQ(last, VI_SUCCESS);
    EXPECT_EQ(text, kHeader + c.body) << c.what;
    if (c.wellFormed) {
        EXPECT_TRUE(wellFormed(text, testDir())) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listings, ListingGolden,
    ::testing::Values(
        GoldenCase{"users", [](Listings &l) { return l.users(); }, "<users>" + kOperator + kOther + "</users>", true},
        GoldenCase{"one user", [](Listings &l) { return l.users("other"); }, "<users>" + kOther + "</users>", true},
        GoldenCase{"no such user", [](Listings &l) { return l.users("x' or '1'='1"); }, "<users></users>", true},
        GoldenCase{"databases by application, highest model first, names descending",
                   [](Listings &l) { return l.dbs(); },
                   "<database><api><apiname>tqmtest</apiname><dbname>rackdb</dbname></api><api><apiname>"
                   "appinstrument</apiname><dbname>system</dbname><dbname>bench</dbname></api></database>",
                   true},
        GoldenCase{"databases of one product", [](Listings &l) { return l.dbs("appinstrument"); },
                   "<database><api><apiname>appinstrument</apiname><dbname>system</dbname><dbname>bench</dbname>"
                   "</api></database>",
                   true},
        // No row opens the root: the header alone, which is no document.
        GoldenCase{"databases of no product", [](Listings &l) { return l.dbs("none"); }, "", false},
        GoldenCase{"virtual resources but databases' own", [](Listings &l) { return l.vresources(); },
                   "<vresources>" + kRack1 + kM1 + "</vresources>", true},
        GoldenCase{"one virtual resource", [](Listings &l) { return l.vresources("m1"); },
                   "<vresources>" + kM1 + "</vresources>", true},
        GoldenCase{"a database's own resource by name", [](Listings &l) { return l.vresources("bench"); },
                   "<vresources><vresource><vendorid>15450</vendorid><modelid>100</modelid><productname>"
                   "appinstrument</productname><name>bench</name><description></description></vresource>"
                   "</vresources>",
                   true},
        GoldenCase{"physical resources", [](Listings &l) { return l.presources(); },
                   "<presources>" + kP1 + kP2 + "</presources>", true},
        GoldenCase{"one physical resource", [](Listings &l) { return l.presources("PXI1::5::INSTR_IP2"); },
                   "<presources>" + kP2 + "</presources>", true},
        GoldenCase{"configuration values of one resource", [](Listings &l) { return l.configs("rack1"); },
                   "<configs><vresource><name>rack1</name>" + kRack1Global + kRack1Analog +
                       "<category><name>Bridge &amp; Filter</name></category></vresource></configs>",
                   true},
        GoldenCase{"one category, escaped for the lookup",
                   [](Listings &l) { return l.configs("rack1", "Analog Channel"); },
                   "<configs><vresource><name>rack1</name>" + kRack1Analog + "</vresource></configs>", true},
        GoldenCase{"one property of one category", [](Listings &l) { return l.configs("rack1", "Global", "Clock"); },
                   "<configs><vresource><name>rack1</name><category><name>Global</name></category></vresource>"
                   "</configs>",
                   true},
        GoldenCase{"every resource, member or not", [](Listings &l) { return l.configs(nullptr, "Global", "Rank"); },
                   "<configs><vresource><name>system</name></vresource><vresource><name>rack1</name>" + kRack1Global +
                       kRack1Analog +
                       "<category><name>Bridge &amp; Filter</name></category></vresource><vresource><name>m1"
                       "</name>" +
                       kEmptyCategories +
                       "</vresource><vresource><name>bench</name></vresource><vresource><name>rackdb</name>" +
                       kEmptyCategories + "</vresource></configs>",
                   true},
        GoldenCase{"formulas by database", [](Listings &l) { return l.formulas(); },
                   "<formulae><database><dbname>system</dbname><formula><name>total</name><operator>=</operator>"
                   "<expression>1 + 2</expression></formula><formula><name>out</name><operator> &lt;- </operator>"
                   "<expression>&lt;rack1-ch0&gt; * 2</expression></formula></database></formulae>",
                   false},
        GoldenCase{"formulas of a database without any", [](Listings &l) { return l.formulas("bench"); },
                   "<formulae></formulae>", true},
        GoldenCase{"models but the virtual instruments", [](Listings &l) { return l.models(0, 200); },
                   "<models><model><vendorid>15450</vendorid><modelid>100</modelid><platform>sys</platform>"
                   "<productname>appinstrument</productname></model><model><vendorid>15450</vendorid><modelid>200"
                   "</modelid><platform>sys</platform><productname>tqmtest</productname></model></models>",
                   true},
        GoldenCase{"one category of a model", [](Listings &l) { return l.models(15450, 200, "Global"); },
                   "<models><model>" + kTestModelRow + kGlobalCategory + kTestOperations + "</model></models>", true},
        GoldenCase{"a category name with an ampersand",
                   [](Listings &l) { return l.models(15450, 200, "Bridge & Filter"); },
                   "<models><model>" + kTestModelRow +
                       "<category><catname>Bridge &amp; Filter</catname><indexrange></indexrange><indexlabel>"
                       "</indexlabel><description></description><item><type>int</type><label>Cutoff</label><dflt>0"
                       "</dflt><property>Cutoff</property><tooltip></tooltip><description></description><isvirtual>0"
                       "</isvirtual><ispostresetunknown>0</ispostresetunknown></item></category>" +
                       kTestOperations + "</model></models>",
                   true},
        GoldenCase{"a model that does not exist", [](Listings &l) { return l.models(15450, 999); }, "<models></models>",
                   true}),
    [](const ::testing::TestParamInfo<GoldenCase> &info) { return "Case" + std::to_string(info.index); });

// What an XML parser reads from a file: xmllint's status, and with an
// expression the text it selects.
struct Parsed {
    int status;
    std::string text;
};

Parsed parse(const std::string &file, const std::string &xpath = "")
{
    const std::string out = file + ".out";
    const std::string cmd = "xmllint --noout '" + file + "' 2>'" + out + "'" +
                            (xpath.empty() ? "" : " && xmllint --xpath '" + xpath + "' '" + file + "' >'" + out + "'");
    const int raw = std::system(cmd.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    std::string read = text.str();
    if (!xpath.empty() && !read.empty() && read.back() == '\n')
        read.pop_back(); // xmllint ends the selected text with a line break
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read};
}

// Names, descriptions, options and formulas holding the characters XML
// reserves: every listing is still a document a parser reads, and reads back
// the stored texts, also those stored escaped already.
TEST(Listings, EveryListingOfAPopulatedDatabaseIsXml)
{
    Listings l(true);
    DeviceDb &d = l.app.d;
    const std::string m = std::to_string(l.testModel);
    const int64_t odd = d.addVresource("a&b<c>", l.testModel);
    d.exec("update vresource set description='it''s <odd> & \"quoted\"' where vresource_id=" + std::to_string(odd));
    d.addMember(l.app.dbId, odd);
    d.setInstrumentName(odd, l.nameItem, "x'' y=''<&>"); // stored as x' y='<&>
    d.exec("insert into presource (name,model_id,vresource_id) values ('PXI1::9::INSTR&<'," + m + "," +
           std::to_string(odd) + ")");
    d.exec("insert into users (username,first_name) values ('o<b>&','A&amp;B')");
    d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(l.app.dbId) +
           ",'twice & more','=','<dev1-value> * 2 & 1')");
    d.exec("insert into configs (db_id,vresource_id,category_id,seq_id,property,value) values (" +
           std::to_string(l.app.dbId) + "," + std::to_string(odd) + "," + std::to_string(l.global) +
           ",1,'Rank','<5>&')");

    const std::vector<std::pair<const char *, ListFn>> listings = {
        {"users", l.users()},
        {"all models", l.models(0, 0)},
        {"test model", l.models(15450, 200)},
        {"model 718", l.models(15450, 0x718)},
        {"databases", l.dbs()},
        {"virtual resources", l.vresources()},
        {"physical resources", l.presources()},
        {"configuration", l.configs()},
        {"configuration of one resource", l.configs("a&b<c>")},
        {"formulas", l.formulas()},
        {"streams", l.streams()},
    };
    const std::string file = testDir() + "/listing.xml";
    for (const auto &[what, list] : listings) {
        const std::string text = readAll(list, 8192);
        ASSERT_FALSE(text.empty()) << what;
        std::ofstream(file) << text;
        const Parsed p = parse(file);
        EXPECT_EQ(p.status, 0) << what << ": " << p.text << "\n" << text;
    }
    // What a parser reads back is what was stored.
    std::ofstream(file) << readAll(l.formulas(), 8192);
    EXPECT_EQ(parse(file, "string(//formula[name=\"twice & more\"]/expression)").text, "<dev1-value> * 2 & 1");
    std::ofstream(file) << readAll(l.vresources("a&b<c>"), 8192);
    EXPECT_EQ(parse(file, "string(//vresource/name)").text, "a&b<c>");
    EXPECT_EQ(parse(file, "string(//vresource/description)").text, "it's <odd> & \"quoted\"");
    EXPECT_EQ(parse(file, "string(//option[@name=\"InstrumentName\"]/@value)").text, "x' y='<&>");
    std::ofstream(file) << readAll(l.users("o<b>&"), 8192);
    EXPECT_EQ(parse(file, "string(//user/username)").text, "o<b>&");
    // Stored escaped already: read back unescaped once.
    EXPECT_EQ(parse(file, "string(//user/first_name)").text, "A&B");
    std::ofstream(file) << readAll(l.configs("a&b<c>"), 8192);
    EXPECT_EQ(parse(file, "string(//property[name=\"Rank\"]/value)").text, "<5>&");
}

TEST(Listings, UsersWithoutRowsGiveTheEmptyElement)
{
    Listings l;
    l.app.d.exec("delete from users");
    EXPECT_EQ(readAll(l.users(), 64), kHeader + "<users></users>");
}

TEST(Listings, FiltersAreComparedAsValues)
{
    // A quote in a filter is part of the name, never of the statement.
    Listings l;
    l.app.d.exec("insert into users (username,email) values ('O''Brien','o@example.org')");
    EXPECT_EQ(readAll(l.users("O'Brien"), 64),
              kHeader + "<users><user><username>O'Brien</username><first_name></first_name><last_name></last_name>"
                        "<email>o@example.org</email><password></password></user></users>");
    // A filter far longer than any statement buffer matches nothing.
    const std::string longName(5000, '&');
    EXPECT_EQ(readAll(l.configs("rack1", longName.c_str(), longName.c_str()), 64),
              kHeader + "<configs><vresource><name>rack1</name></vresource></configs>");
    EXPECT_EQ(readAll(l.models(15450, 200, longName.c_str()), 64),
              kHeader + "<models><model>" + kTestModelRow + kTestOperations + "</model></models>");
}

TEST(Listings, WholeModelLeavesOutDemoCategoriesFunctionGroupsAndHiddenItems)
{
    Listings l;
    ViStatus last = 0;
    const std::string text = readAll(l.models(15450, 200), 8192, &last);
    EXPECT_EQ(last, VI_SUCCESS);
    EXPECT_TRUE(wellFormed(text, testDir()));
    EXPECT_EQ(text.rfind(kHeader + "<models><model>" + kTestModelRow + kGlobalCategory, 0), 0u) << text;
    EXPECT_NE(text.find("<catname>Analog Channel</catname>"), std::string::npos);
    EXPECT_NE(text.find("<modeloption><item><type>textbox</type><width>100</width><label>Name</label><dflt></dflt>"
                        "<property>InstrumentName</property><tooltip>Name </tooltip><description></description>"
                        "</item></modeloption>"),
              std::string::npos)
        << text;
    for (const char *absent : {"Demo Channel", "Wave", "Utility Functions", "Secret"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    EXPECT_EQ(text.substr(text.size() - kTestOperations.size() - 17), kTestOperations + "</model></models>");
}

TEST(Listings, InstalledCataloguesListWithoutDemoCategoriesAndWithMenusInInsertionOrder)
{
    Listings l(true);
    const std::string text = readAll(l.models(15450, 0x718), 8192);
    EXPECT_TRUE(wellFormed(text, testDir()));
    EXPECT_NE(text.find("<catname>Analog Bridge</catname>"), std::string::npos);
    EXPECT_NE(text.find("<modeloption>"), std::string::npos);
    for (const char *absent :
         {"Analog Channel Demo", "Initialize Function", "Utility Functions", "Stream Functions", "Close Function"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;

    // Each menu's choices follow its item in the order they were inserted.
    sqlite3_stmt *q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(l.app.d.db(),
                                 "select ui_item.ui_item_id, ui_item.property from ui_item, ui, category, model "
                                 "where ui_item.category_id=ui.category_id and ui.model_id=model.model_id and "
                                 "category.category_id=ui.category_id and category.demo=0 and model.model=1816 and "
                                 "ui_item.type='menu'",
                                 -1, &q, nullptr),
              SQLITE_OK);
    int menus = 0;
    while (sqlite3_step(q) == SQLITE_ROW) {
        const std::string id = reinterpret_cast<const char *>(sqlite3_column_text(q, 0));
        std::string options;
        sqlite3_stmt *p = nullptr;
        sqlite3_prepare_v2(l.app.d.db(),
                           ("select name,value from ui_pair where ui_item_id=" + id + " order by ui_pair_id").c_str(),
                           -1, &p, nullptr);
        while (sqlite3_step(p) == SQLITE_ROW)
            options += std::string("<option name='") + reinterpret_cast<const char *>(sqlite3_column_text(p, 0)) +
                       "' value='" + reinterpret_cast<const char *>(sqlite3_column_text(p, 1)) + "'/>";
        sqlite3_finalize(p);
        EXPECT_NE(text.find("</ispostresetunknown>" + options + "</item>"), std::string::npos)
            << reinterpret_cast<const char *>(sqlite3_column_text(q, 1));
        ++menus;
    }
    sqlite3_finalize(q);
    EXPECT_GT(menus, 3);

    // The virtual instruments are left out of the list of models.
    const std::string all = readAll(l.models(0, 0), 8192);
    EXPECT_NE(all.find("<modelid>1816</modelid>"), std::string::npos);
    EXPECT_EQ(count(all, "<model>"), 3) << "the application, the test model and model 718: " << all;
}

TEST(Listings, PartsOfEverySizeJoinToTheWholeText)
{
    Listings l;
    const struct {
        const char *what;
        ListFn list;
    } cases[] = {
        {"users", l.users()},           {"model", l.models(15450, 200)}, {"databases", l.dbs()},
        {"vresources", l.vresources()}, {"presources", l.presources()},  {"configs", l.configs()},
        {"formulas", l.formulas()},
    };
    for (const auto &c : cases) {
        const std::string whole = readAll(c.list, 8192);
        ASSERT_GT(whole.size(), 150u) << c.what;
        for (ViUInt32 size = TQDAQ_LISTING_MIN_SIZE; size <= 300; ++size) {
            EXPECT_EQ(readAll(c.list, size), whole) << c.what << " in parts of " << size;
            if (HasFailure())
                return;
        }
    }
}

TEST(Listings, BuffersSmallerThanTheHeaderAreRefusedBeforeAnythingIsWritten)
{
    Listings l;
    char buffer[64];
    for (ViUInt32 size : {0u, 1u, 2u, 22u}) {
        memset(buffer, '#', sizeof buffer);
        ViUInt32 length = 99;
        EXPECT_EQ(tqdaq_listUsers(l.session, nullptr, buffer, size, &length), VI_ERROR_INV_PARAMETER) << size;
        EXPECT_EQ(buffer[0], '#') << size;
        EXPECT_EQ(length, 0u);
    }
    for (ViUInt32 size : {0u, 47u}) {
        memset(buffer, '#', sizeof buffer);
        ViUInt32 length = 99;
        EXPECT_EQ(tqdaq_listStreams(l.session, buffer, size, &length), VI_ERROR_INV_PARAMETER) << size;
        EXPECT_EQ(buffer[0], '#') << size;
    }
    ViUInt32 length = 0;
    EXPECT_EQ(tqdaq_listUsers(l.session, nullptr, nullptr, 64, &length), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_listUsers(l.session, nullptr, buffer, 64, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_listUsers(0, nullptr, buffer, 64, &length), VI_ERROR_INV_OBJECT);
    // None of it started a listing: another kind runs at once.
    EXPECT_EQ(readAll(l.formulas("bench"), 64), kHeader + "<formulae></formulae>");

    // The smallest buffer takes the header alone; a later call below the
    // minimum is refused too, and the listing goes on with the next call.
    ASSERT_EQ(tqdaq_listUsers(l.session, nullptr, buffer, TQDAQ_LISTING_MIN_SIZE, &length), TQDAQ_WARN_MORE_TEXT);
    EXPECT_EQ(std::string(buffer), kHeader);
    EXPECT_EQ(tqdaq_listUsers(l.session, nullptr, buffer, 22, &length), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(readAll(l.users(), 64), "<users>" + kOperator + kOther + "</users>");
}

TEST(Listings, OneUnfinishedListingPerSessionContinuesWhateverItsFilters)
{
    Listings l;
    const std::string whole = readAll(l.users(), 8192);
    char buffer[40];
    ViUInt32 length = 0;
    ASSERT_EQ(tqdaq_listUsers(l.session, nullptr, buffer, sizeof buffer, &length), TQDAQ_WARN_MORE_TEXT);
    std::string text(buffer, length);

    // Another kind is refused and changes nothing.
    EXPECT_EQ(tqdaq_listDBs(l.session, nullptr, buffer, sizeof buffer, &length), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tqdaq_listConfigs(l.session, nullptr, 1, nullptr, nullptr, nullptr, buffer, sizeof buffer, &length),
              VI_ERROR_INV_SETUP);
    // The stream listing keeps a statement of its own.
    EXPECT_EQ(readAll(l.streams(), 512).rfind("<?xml version=\"1.0\"?><query ver=\"1.0\"><streams>", 0), 0u);

    // The same kind continues: the filter of a later call is not looked at.
    text += readAll(l.users("other"), sizeof buffer);
    EXPECT_EQ(text, whole);
    EXPECT_NE(readAll(l.dbs("appinstrument"), 8192).find("<dbname>bench</dbname>"), std::string::npos);
}

TEST(Listings, AQueryThatCannotBeMadeIsReportedAndLeavesNothingUnfinished)
{
    Listings l;
    l.app.d.exec("drop table formula");
    char buffer[64];
    ViUInt32 length = 7;
    // The session's connection may learn of the change only when it steps;
    // either way the listing fails, and then the query cannot be made.
    EXPECT_EQ(tqdaq_listFormulas(l.session, nullptr, buffer, sizeof buffer, &length), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_listFormulas(l.session, nullptr, buffer, sizeof buffer, &length), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(buffer, "");
    const auto log = readLines(l.app.d.debugLog());
    ASSERT_FALSE(log.empty()) << "written although tracing is off";
    EXPECT_EQ(log.back(), "listformula query error: no such table: formula");
    EXPECT_EQ(readAll(l.users("other"), 8192), kHeader + "<users>" + kOther + "</users>");
}

TEST(Listings, StreamsListTheFormulaOutputStreamByItsValue)
{
    Listings l;
    ViStatus last = 0;
    const std::string text = readAll(l.streams(), 8192, &last);
    EXPECT_EQ(last, VI_SUCCESS);
    EXPECT_TRUE(wellFormed(text, testDir())) << text;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("<\\?xml version=\"1.0\"\\?><query ver=\"1.0\"><streams><stream><name>"
                                            "([^<]*)</name><handle>([0-9]+)</handle></stream></streams></query>")))
        << text;
    // The handle is the stream engine's value of the stream, not an address.
    TQStream *stream = tqstream_streamOfValue(static_cast<uint32_t>(std::stoul(m[2].str())));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(m[1].str(), stream->streamGetName(stream));

    // Whole elements only, in every buffer that holds one.
    const size_t element =
        text.size() - strlen("<?xml version=\"1.0\"?><query ver=\"1.0\"><streams>") - strlen("</streams></query>");
    for (ViUInt32 size = 48; size <= 300; ++size) {
        ViStatus st = 0;
        char buffer[301];
        ViUInt32 length = 0;
        std::string joined;
        std::vector<std::string> parts;
        for (int calls = 0; calls < 100; ++calls) {
            st = tqdaq_listStreams(l.session, buffer, size, &length);
            if (st < VI_SUCCESS)
                break;
            EXPECT_EQ(strlen(buffer), length);
            parts.emplace_back(buffer, length);
            joined += parts.back();
            if (st != TQDAQ_WARN_MORE_TEXT)
                break;
        }
        if (st == VI_ERROR_INV_PARAMETER) {
            // Too small for the element even empty: the listing waits for a
            // larger buffer and then goes on where it was.
            EXPECT_LE(size, element);
            joined += readAll(l.streams(), 512);
        }
        EXPECT_EQ(joined, text) << size;
        for (size_t i = 1; i < parts.size(); ++i)
            EXPECT_TRUE(parts[i].rfind("<stream>", 0) == 0 || parts[i] == "</streams></query>") << parts[i];
    }
}

TEST(Listings, TraceLinesOfTheTracedListingsOnly)
{
    Listings l(false, true);
    char hex[64];
    std::snprintf(hex, sizeof hex, "%#x(operator),", static_cast<unsigned>(l.session));
    const struct {
        const char *name; // in the trace line; null: the listing writes none
        ListFn list;
        std::string arguments; // between the session and the buffer's text
    } cases[] = {
        {nullptr, l.users(), ""},
        {nullptr, l.models(15450, 200), ""},
        {nullptr, l.dbs(), ""},
        {nullptr, l.presources(), ""},
        {"tqdaq_listDBResources", l.vresources(), ""},
        {"tqdaq_listConfigs", l.configs("rack1", "Global"), "rack1,0x7,Global,2,NULL,"},
        {"tqdaq_listFormulas", l.formulas(), ""},
        {"tqdaq_listStreams", l.streams(), ""},
    };
    for (const auto &c : cases) {
        const size_t earlier = readLines(l.app.d.debugLog()).size();
        char buffer[8192];
        ViUInt32 length = 0;
        ASSERT_EQ(c.list(buffer, sizeof buffer, &length), VI_SUCCESS);
        const ViUInt32 whole = length;
        // Refused: no text, and the length printed as -1.
        ASSERT_EQ(c.list(buffer, 10, &length), VI_ERROR_INV_PARAMETER);
        auto lines = readLines(l.app.d.debugLog());
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(earlier));
        if (!c.name) {
            EXPECT_TRUE(lines.empty()) << lines.front();
            continue;
        }
        ASSERT_EQ(lines.size(), 2u) << c.name;
        // The first ten characters of the text, the size, the length's
        // address and the length, the status.
        const std::string head = std::string(c.name) + "(" + hex + c.arguments;
        char tail[64];
        std::snprintf(tail, sizeof tail, "(%#x)) retVal=0", static_cast<unsigned>(whole));
        EXPECT_EQ(lines[0].rfind(head + "<?xml vers,0x2000,0x", 0), 0u) << lines[0];
        EXPECT_EQ(lines[0].substr(lines[0].size() - strlen(tail)), tail) << lines[0];
        EXPECT_EQ(lines[1].rfind(head + ",0xa,0x", 0), 0u) << lines[1];
        EXPECT_EQ(lines[1].substr(lines[1].size() - 31), "(0xffffffff)) retVal=0xbfff0078") << lines[1];
    }
}

TEST(Listings, ClosingTheSessionDropsAnUnfinishedListing)
{
    // What a session costs while listings are unfinished, and what is left
    // of it once the session is closed: an unfinalized statement would keep
    // the whole connection, its cache and the listing's sorted rows.
    Listings l(true);
    ASSERT_EQ(tqdaq_closeHandle(l.session), VI_SUCCESS);
    l.session = 0;
    const sqlite3_int64 closed = sqlite3_memory_used();

    ViSession s = 0;
    ASSERT_EQ(l.app.open(s), VI_SUCCESS);
    char buffer[64];
    ViUInt32 length = 0;
    ASSERT_EQ(tqdaq_listModels(s, 15450, 0x718, nullptr, buffer, sizeof buffer, &length), TQDAQ_WARN_MORE_TEXT);
    ASSERT_EQ(tqdaq_listStreams(s, buffer, sizeof buffer, &length), TQDAQ_WARN_MORE_TEXT);
    const sqlite3_int64 during = sqlite3_memory_used();
    ASSERT_GT(during - closed, 64 * 1024) << "the unfinished listing holds its rows";

    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_LT(sqlite3_memory_used() - closed, (during - closed) / 4) << "the connection and its statements are gone";
}

} // namespace
