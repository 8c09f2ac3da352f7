// What the catalogues hold, model by model: the orders in which the
// resource manager's listing shows categories, items and choices (the
// listing's own ordering, applied in SQL), the rows that matter, the
// consistency of every item, the help texts' chunk updates, and the
// physical interface that the USB model shares.
#include <cstring>
#include <map>

#include "catalogues.h"
#include "fixture.h"
#include "installer.h"

using itest::DeviceDb;
using namespace tq::installer;

namespace
{

std::string modelId(DeviceDb &d, int model)
{
    return d.value("select model_id from model where model=" + std::to_string(model) + " and vendor=15450");
}

// ---- Listing order ----------------------------------------------------------

// The listing orders categories by orderseq, then by descending id; items by
// orderseq, then by descending id; choices by id. Demo categories are left
// out, option categories are listed apart.
std::vector<std::string> listedCategories(DeviceDb &d, int model)
{
    return d.rows("select category.name from category join ui using (category_id) where ui.model_id=" +
                  modelId(d, model) + " and category.demo=0 order by category.orderseq asc, category.category_id desc");
}
std::vector<std::string> listedItems(DeviceDb &d, int model, const std::string &category)
{
    return d.rows("select ui_item.label from ui_item join category using (category_id) where category_id in (select "
                  "category_id from ui where model_id=" +
                  modelId(d, model) +
                  " union select category_id from model_options where model_id=" + modelId(d, model) +
                  ") and category.name='" + category + "' order by ui_item.orderseq asc, ui_item.ui_item_id desc");
}
std::vector<std::string> listedChoices(DeviceDb &d, int model, const std::string &property)
{
    return d.rows("select ui_pair.name from ui_pair join ui_item using (ui_item_id) where ui_item.property='" +
                  property + "' and ui_item.category_id in (select category_id from ui where model_id=" +
                  modelId(d, model) + " union select category_id from model_options where model_id=" +
                  modelId(d, model) + ") order by ui_pair.ui_pair_id");
}

using Names = std::vector<std::string>;

struct Order {
    const char *program;
    int model;
    Names categories;
    std::vector<std::pair<std::string, Names>> items;   // category, item labels
    std::vector<std::pair<std::string, Names>> choices; // property, choice names
};

std::ostream &operator<<(std::ostream &o, const Order &c)
{
    return o << c.program;
}

const Order kOrders[] = {
    {"tq747install",
     0x747,
     {"Global", "Digital Channel", "Channel Group", "Event Type"},
     {{"Channel Group",
       {"Direction", "Debounce", "Termination", "Powerup", "Strobe Enable", "Strobe Channel", "Strobe Polarity",
        "Strobe Delay"}},
      {"Global", {"Scan Clock Rate", "Refresh Rate", "Buffer Duration", "Recycle Rate", "Interrupt Enable",
                  "Decimation", "Rank"}}},
     {{"DigitalChannelPatternBit", {"Bit 1", "Bit 0"}},
      {"ChannelGroupDebounceTime",
       {"Disable", "1 microsecond", "1 miliisecond", "10 millisecond", "100 millisecond"}}}},
    {"tq740install",
     0x740,
     {"Global", "Digital Channel", "Channel Group", "Event Type"},
     {{"Channel Group", {"Direction", "Debounce", "Termination", "Powerup"}},
      {"Event Type", {"Event Enable", "Channel Enable", "Name", "Duration", "Polarity", "Expression"}}},
     {{"EventChannelPolarity", {"Assert High", "Assert Low"}}}},
    {"tq775install",
     0x775,
     {"Global", "Channel"},
     {{"Global",
       {"Window Size", "Tick Clock Rate", "Interrupt Enable", "Health Check", "Tick Clock Source", "Tick Clock Output",
        "Window Clock Source", "Window Clock Output", "Decimation", "Rank"}},
      {"Channel", {"Enable", "Name", "Threshold", "Filter", "Coupling", "Input Type", "Interrupt", "Expression"}}},
     {{"ChannelThreshold", {"1000 mV", "500 mV", "200 mV", "100 mV", "40 mV", "20 mV"}},
      {"TickClockSource",
       {"Internal", "PXI 0", "PXI 1", "PXI 2", "PXI 3", "PXI 4", "PXI 5", "PXI 6", "PXI 7", "PXI Star", "10 MHz"}},
      {"TickClockRate", {"10 MHZ", "1 MHZ"}},
      {"WindowClockToTriggerLineOut",
       {"No Connection", "PXI 0", "PXI 1", "PXI 2", "PXI 3", "PXI 4", "PXI 5", "PXI 6", "PXI 7", "PXI Star"}}}},
    // Ties of orderseq go to the later category: "Output Global" before
    // "Event Type", "DAC Channel" before "Utility Functions".
    {"ux176install",
     0x176,
     {"Global", "Analog Channel", "Analog Channel Group", "Digital Direction", "Digital Channel", "Output Global",
      "Event Type", "DAC Channel", "Utility Functions"},
     {{"Global", {"Scan Rate", "Rank", "Decimation"}}},
     {{"AnalogGroupInputVoltageRange", {"+/- 10", "+/- 5"}}, {"DigitalDirection", {"Input", "Output"}}}},
    {"tq726install",
     0x726,
     {"Global", "Source Channel"},
     {{"Device Options", {"Name", "Channels"}}, {"Global", {"Scan Rate", "Recycle Rate", "Rank"}}},
     {{"ChannelCount", {"64 Channels", "32 Channels"}}}},
    {"tq714install",
     0x714,
     {"Global", "Analog Channel", "Analog Bridge", "Digital Channel", "Counter Channel", "Frequency Channel",
      "I/O Connector", "Event Type"},
     {},
     {{"StartCondition",
       {"Disable", "PXI0", "PXI1", "PXI2", "PXI3", "PXI4", "PXI5", "PXI6", "PXI7", "PXISTAR", "I/O 1", "I/O 2"}},
      {"AnalogChannelFilter",
       {"No Filtering", "20 Hz", "200 Hz", "1K Hz", "2K Hz", "5K Hz", "10K Hz", "20K Hz", "50K Hz"}},
      {"AnalogChannelBridgeConfiguration", {"None", "Quarter", "Half", "Full"}},
      {"TriggerMode", {"Level", "Pulse"}},
      {"AnalogChannelSense", {"Remote", "Local"}}}},
    {"tq723install",
     0x723,
     {"Global", "Analog Channel", "Digital Channel", "Counter Channel", "Frequency Channel", "Event Type",
      "Analog Connector", "I/O Connector"},
     {},
     {{"StartCondition",
       {"Disable", "PXI0", "PXI1", "PXI2", "PXI3", "PXI4", "PXI5", "PXI6", "PXI7", "PXISTAR", "I/O 1", "I/O 2"}},
      {"InputMode", {"Differential", "Single-ended"}},
      {"TriggerMode", {"Level", "Pulse"}},
      {"AnalogChannelThermocoupleUnits", {"volts", "degrees c", "degrees f", "kelvin"}}}},
};

class ListingOrder : public ::testing::TestWithParam<Order>
{
};

TEST_P(ListingOrder, CategoriesItemsAndChoicesComeInTheListingsOrder)
{
    const Order &o = GetParam();
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(o.program, "insert").status, 0);
    EXPECT_EQ(listedCategories(d, o.model), o.categories);
    for (const auto &[category, labels] : o.items)
        EXPECT_EQ(listedItems(d, o.model, category), labels) << category;
    for (const auto &[property, names] : o.choices)
        EXPECT_EQ(listedChoices(d, o.model, property), names) << property;
}

INSTANTIATE_TEST_SUITE_P(Catalogues, ListingOrder, ::testing::ValuesIn(kOrders),
                         [](const ::testing::TestParamInfo<Order> &info) { return std::string(info.param.program); });

// ---- Every catalogue: items that hold together ------------------------------

struct Installed {
    const char *program;
    int model;
    const Catalogue &(*catalogue)();
};

std::ostream &operator<<(std::ostream &o, const Installed &c)
{
    return o << c.program;
}

const Installed kInstalled[] = {
    {"tq714install", 0x714, catalogue714},         {"tq723install", 0x723, catalogue723},
    {"tq718install", 0x718, catalogue718},         {"tq747install", 0x747, catalogue747},
    {"tq775install", 0x775, catalogue775},         {"ux176install", 0x176, catalogue176},
    {"tq740install", 0x740, catalogue740},         {"tq726install", 0x726, catalogue726},
    {"panelmateproinstall", 2, cataloguePanelmatePro}, {"panelmateinstall", 1, cataloguePanelmate},
};

class EveryCatalogue : public ::testing::TestWithParam<Installed>
{
};

TEST_P(EveryCatalogue, ItemsHoldTogether)
{
    const Installed &c = GetParam();
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(c.program, "insert").status, 0);
    const std::string cats = "(select category_id from ui where model_id=" + modelId(d, c.model) +
                             " union select category_id from model_options where model_id=" + modelId(d, c.model) + ")";
    // Each property once per category.
    EXPECT_EQ(d.rows("select category_id, property from ui_item where category_id in " + cats +
                     " group by category_id, property having count(*) > 1"),
              Names{});
    // A menu's default is one of its values, and it has choices.
    EXPECT_EQ(d.rows("select property from ui_item i where type='menu' and category_id in " + cats +
                     " and not exists (select 1 from ui_pair p where p.ui_item_id=i.ui_item_id and p.value=i.dflt)"),
              Names{});
    // A checkbox is 0 or 1.
    EXPECT_EQ(d.rows("select property from ui_item where type='checkbox' and dflt not in ('0','1') and category_id in " +
                     cats),
              Names{});
    // A ranged default lies within min and max, and an int's bounds and
    // default are whole numbers.
    EXPECT_EQ(d.rows("select property from ui_item where type in ('int','real') and category_id in " + cats +
                     " and not (min <= cast(dflt as real) and cast(dflt as real) <= max)"),
              Names{});
    EXPECT_EQ(d.rows("select property from ui_item where type='int' and category_id in " + cats +
                     " and (cast(dflt as integer) <> cast(dflt as real) or cast(min as integer) <> min or "
                     "cast(max as integer) <> max)"),
              Names{});
    // Only menus have choices; no type but the five.
    EXPECT_EQ(d.rows("select distinct property from ui_item join ui_pair using (ui_item_id) where type<>'menu' and "
                     "category_id in " + cats),
              Names{});
    EXPECT_EQ(d.rows("select property from ui_item where type not in ('textbox','menu','checkbox','int','real') and "
                     "category_id in " + cats),
              Names{});
    // Markup is stored escaped everywhere.
    EXPECT_EQ(d.count("select (select count(*) from ui_item where description glob '*[<>]*') + (select count(*) from "
                      "category where description glob '*[<>]*') + (select count(*) from operation where description "
                      "glob '*[<>]*') + (select count(*) from model where description glob '*[<>]*')"),
              0);
}

// Statements that change a row's description.
int countUpdates(unsigned, void *context, void *statement, void *)
{
    const char *sql = sqlite3_sql(static_cast<sqlite3_stmt *>(statement));
    if (sql && std::strncmp(sql, "update", 6) == 0)
        ++*static_cast<int *>(context);
    return 0;
}

// How many chunks of at most 2047 quoted characters a text takes, a quote
// counting twice and never split from its double.
int chunks(const std::string &text)
{
    int n = 0, room = 0;
    for (char c : text) {
        const int cost = c == '\'' ? 2 : 1;
        if (cost > room) {
            ++n;
            room = Appender::kChunk;
        }
        room -= cost;
    }
    return n;
}

TEST_P(EveryCatalogue, HelpTextsArriveWholeInChunkUpdates)
{
    const Installed &c = GetParam();
    DeviceDb d(itest::testDir());
    FILE *out = std::fopen("/dev/null", "w");
    ASSERT_NE(out, nullptr);
    int updates = 0;
    sqlite3_trace_v2(d.db(), SQLITE_TRACE_STMT, countUpdates, &updates);
    d.exec("begin immediate transaction");
    Appender appender;
    ASSERT_TRUE(writeCatalogue(d.db(), c.catalogue(), appender, out));
    d.exec("commit transaction");
    sqlite3_trace_v2(d.db(), 0, nullptr, nullptr);
    std::fclose(out);

    // The texts the appender wrote: every description but the inline ones of
    // virtual items, which their inserts wrote.
    int expected = 0;
    for (const auto &text :
         d.rows("select description from model union all select description from category union all select "
                "description from operation union all select description from ui_item where isvirtual=0 or "
                "property in ('Rank','Decimation') or property like '%Expression'")) {
        EXPECT_FALSE(text.empty());
        expected += chunks(text);
    }
    EXPECT_EQ(updates, expected);
}

INSTANTIATE_TEST_SUITE_P(Catalogues, EveryCatalogue, ::testing::ValuesIn(kInstalled),
                         [](const ::testing::TestParamInfo<Installed> &info) { return std::string(info.param.program); });

// ---- Rows that matter --------------------------------------------------------

struct Rows {
    const char *name;
    const char *program;
    const char *sql;
    Names rows;
};

std::ostream &operator<<(std::ostream &o, const Rows &c)
{
    return o << c.name;
}

const Rows kRows[] = {
    {"Model747", "tq747install", "select vendor,model,platform,prefix,productname,pnplibname,pinterface_id from model",
     {"15450|1863|pxi|tq747|MX747|tqp747_32|NULL"}},
    {"Model747ResetUnknown", "tq747install",
     "select property from ui_item where ispostresetunknown<>'0' order by ui_item_id",
     {"ChannelGroupDirection", "ChannelGroupPowerupOutput", "ChannelGroupInputTermination"}},
    {"Model747GroupLabel", "tq747install",
     "select property_index_label from category where name='Channel Group'",
     {"list:Channels 1-8,Channels 9-16,Channels 17-24,Channels 25-32,Channels 33-40,Channels 41-48,Channels 49-56,"
      "Channels 57-64,Channels 65-72,Channels 73-80,Channels 81-88,Channels 89-96,Channels 97-104,Channels 105-112,"
      "Channels 113-120,Channels 121-128"}},
    {"Model747Attributes", "tq747install", "select name||'='||value from category_attributes order by rowid",
     {"rankProperty=Rank", "decimationProperty=Decimation", "formulaProperty=DigitalChannelExpression",
      "channelName=DigitalChannelName", "enableProperty=DigitalChannelEnable",
      "channelDirection=DigitalChannelDirection", "formulaProperty=EventChannelExpression",
      "channelName=EventChannelName", "enableProperty=EventChannelEnable"}},
    {"Model747Demo", "tq747install", "select name,orderseq,property_index_range,demo from category where demo=1",
     {"Digital Channel Demo|4|1-128|1"}},
    {"Model747Reals", "tq747install",
     "select property,min,max,dflt from ui_item where type='real' order by ui_item_id",
     {"ScanClockRate|1|1000|10", "RecycleRate|0|1000|0", "DemoDigitalChannelFrequency|0.05|1000|1"}},
    {"Model747Operations", "tq747install", "select operation,progressmask from operation order by operation_id",
     {"reset|0", "start|0", "stop|0", "powerupSave|0", "powerupClear|0"}},
    {"Model740ResetUnknown", "tq740install",
     "select property from ui_item where ispostresetunknown<>'0' order by ui_item_id",
     {"ChannelGroupDirection", "ChannelGroupPowerupOutput", "ChannelGroupInputTermination"}},
    {"Model718ResetUnknown", "tq718install", "select count(*) from ui_item where ispostresetunknown<>'0'", {"0"}},
    {"Model718CalibrateHelp", "tq718install",
     "select instr(description,'&lt;code&gt;tq718_calibrate&lt;/code&gt;')>0 from operation where "
     "operation='calibrate'",
     {"1"}},
    {"Model740", "tq740install", "select vendor,model,platform,prefix,productname,pnplibname,pinterface_id from model",
     {"15450|1856|ip|tq740|MX740|tqp740_32|NULL"}},
    {"Model740SiteDefaults", "tq740install",
     "select property||'='||dflt from ui_item where type='textbox' and dflt<>'' order by ui_item_id",
     {"DigitalChannelName=DigitalChannel$site#", "EventChannelName=EventChannel$site#"}},
    {"Model740NoRankNoStart", "tq740install",
     "select (select count(*) from category_attributes where name in ('rankProperty','decimationProperty')) || '|' || "
     "(select group_concat(operation) from operation)",
     {"0|reset,powerupSave,powerupClear"}},
    {"Model775ThresholdOption", "tq775install",
     "select type,coalesce(width,'-'),label,dflt,orderseq from ui_item where property='ThresholdOption'",
     {"menu|-|Input Threshold|1|65535"}},
    {"Model775Values", "tq775install",
     "select group_concat(value) from ui_pair join ui_item using (ui_item_id) where property='TickClockSource'",
     {"13,0,1,2,3,4,5,6,7,8,14"}},
    {"Model726", "tq726install",
     "select property||'|'||coalesce(width,'-')||'|'||dflt from ui_item where property in "
     "('InstrumentName','ChannelCount','OutputScanRate') order by ui_item_id",
     {"InstrumentName|175|", "ChannelCount|150|64", "OutputScanRate|125|0.5"}},
    {"Model726Attributes", "tq726install", "select name||'='||value from category_attributes order by rowid",
     {"rankProperty=Rank", "formulaProperty=ChannelExpression", "channelName=ChannelName",
      "enableProperty=ChannelEnable", "channelDirection=output"}},
    {"Model176", "ux176install",
     "select vendor,model,platform,prefix,productname,pnplibname,pinterface_id=(select pinterface_id from pinterface "
     "where name='usb') from model",
     {"15450|374|usb|ux176|UX176|ux176_32|1"}},
    {"Model176Global", "ux176install",
     "select property from ui_item where category_id=(select category_id from category where name='Global') order "
     "by ui_item_id",
     {"Decimation", "Rank", "AdcScanRate"}},
    {"Model176NoWidth", "ux176install", "select property from ui_item where width is null", {"EventEnable"}},
    {"Model176BareHelp", "ux176install", "select description from category where name='Output Global'",
     {"Global output properties. "}},
    {"Model176UtilityLinked", "ux176install",
     "select count(*) from ui join category using (category_id) where name='Utility Functions'", {"1"}},
    {"Model176Directions", "ux176install",
     "select value from category_attributes where name='channelDirection' order by rowid",
     {"DigitalChannelDirection", "output"}},
    {"Model723Thermocouple", "tq723install",
     "select type,width,label,dflt,property,description,tooltip,orderseq,isvirtual,ispostresetunknown from ui_item "
     "where property like 'AnalogChannelThermocouple%' order by ui_item_id",
     {"menu|150|Thermocouple Type|(none)|AnalogChannelThermocoupleType|Assign a Thermocouple Type to an analog "
      "channel.|Assign a Thermocouple Type to an analog channel|65535|1|0",
      "menu|100|Units|volts|AnalogChannelThermocoupleUnits|Assign Units to a thermocouple channel.|Assign Units to a "
      "thermocouple channel|65535|1|0"}},
    {"Model723ThermocoupleValues", "tq723install",
     "select group_concat(name||'='||value) from ui_pair join ui_item using (ui_item_id) where "
     "property='AnalogChannelThermocoupleType'",
     {"(none)=(none),type b=typeb,type e=typee,type j=typej,type k=typek,type n=typen,type r=typer,type s=types,type "
      "t=typet"}},
    // The attributes in their order, each introduced item right after its
    // attribute, before the category's own items.
    {"Model723AnalogChannel", "tq723install",
     "select name||'='||value from category_attributes where category_id=(select category_id from category where "
     "name='Analog Channel') order by rowid",
     {"formulaProperty=AnalogChannelExpression", "channelName=AnalogChannelName",
      "thermocoupleType=AnalogChannelThermocoupleType", "thermocoupleUnits=AnalogChannelThermocoupleUnits",
      "isoRefChannelProperty=AnalogChannelISORefChannel", "enableProperty=AnalogChannelEnable",
      "connectorProperty=AnalogChannelConnector", "connectorCatProperty=Analog Connector"}},
    {"Model723AnalogItems", "tq723install",
     "select property from ui_item where category_id=(select category_id from category where name='Analog Channel') "
     "order by ui_item_id limit 4",
     {"AnalogChannelExpression", "AnalogChannelThermocoupleType", "AnalogChannelThermocoupleUnits",
      "AnalogChannelEnable"}},
    {"Model723Operations", "tq723install", "select operation||'|'||progressmask from operation order by operation_id",
     {"reset|0", "start|0", "stop|0", "calibrate|131072", "verifyAllThermocoupleChannels|0"}},
    {"Model723Ranges", "tq723install",
     "select name||'|'||property_index_range from category where name like 'Analog%' order by category_id",
     {"Analog Channel|1-AnalogChannelCount", "Analog Channel Demo|1-AnalogChannelCount", "Analog Connector|1-2"}},
    {"Model714", "tq714install", "select vendor,model,platform,prefix,productname,pnplibname,pinterface_id from model",
     {"15450|1812|pxi|tq714|MX714|tqp714_32|NULL"}},
    {"Model714EventLabel", "tq714install",
     "select property_index_range||'|'||property_index_label from category where name='Event Type'",
     {"1-15,17|list:Limit Check,Excitation Alarm,TrigIO1,TrigIO2,TrigPXI0,TrigPXI1,TrigPXI2,TrigPXI3,TrigPXI4,"
      "TrigPXI5,TrigPXI6,TrigPXI7,TrigPXISTAR,Change of State,Trans Complete,,Multibuffer Avail"}},
    {"Model714Virtual", "tq714install", "select property from ui_item where isvirtual=1 order by ui_item_id",
     {"Rank", "Decimation", "AnalogChannelExpression", "DigitalChannelExpression", "CounterChannelExpression",
      "FrequencyChannelExpression"}},
    {"Model714Mapping", "tq714install",
     "select count(*)||'|'||min(name)||'|'||max(cast(value as integer)) from ui_pair join ui_item using (ui_item_id) "
     "where property='MapDigitalInputToFrequency'",
     {"17|Digital Channel 1|16"}},
};

class RowsThatMatter : public ::testing::TestWithParam<Rows>
{
};

TEST_P(RowsThatMatter, AreWritten)
{
    const Rows &r = GetParam();
    DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(r.program, "insert").status, 0);
    EXPECT_EQ(d.rows(r.sql), r.rows);
}

INSTANTIATE_TEST_SUITE_P(Catalogues, RowsThatMatter, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Rows> &info) { return std::string(info.param.name); });

// ---- The shared physical interface -------------------------------------------

struct Interface {
    const char *name;
    const char *existingLib; // a "usb" row before the insert (null: none)
    bool shared;             // another model names the row too
    const char *existingId = "NULL";
};

std::ostream &operator<<(std::ostream &o, const Interface &c)
{
    return o << c.name;
}

const Interface kInterfaces[] = {
    {"Absent", nullptr, false},
    {"PresentWithAnotherLibrary", "otherinterface", false},
    {"SharedWithAnotherModel", "ux176interface", true},
    {"PresentWithAnIdAbove32Bits", "ux176interface", false, "5000000001"},
};

class PhysicalInterface : public ::testing::TestWithParam<Interface>
{
};

TEST_P(PhysicalInterface, IsReusedAndGoesWithTheLastModelUsingIt)
{
    const Interface &c = GetParam();
    DeviceDb d(itest::testDir());
    std::string existing;
    if (c.existingLib)
        existing = std::to_string(d.insert(std::string("insert into pinterface (pinterface_id,name,lib) values (") +
                                           c.existingId + ",'usb','" + c.existingLib + "')"));
    if (c.shared)
        d.exec("insert into model (vendor,model,platform,prefix,pnplibname,pinterface_id) values "
               "(15450,375,'usb','ux177','ux177_32'," + existing + ")");

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(d.run("ux176install", "insert").status, 0);
        EXPECT_EQ(d.count("select count(*) from pinterface"), 1) << "one row of the name";
        const std::string id = d.value("select pinterface_id from pinterface where name='usb'");
        if (c.existingLib) {
            EXPECT_EQ(id, existing);
            EXPECT_EQ(d.value("select lib from pinterface"), c.existingLib) << "a present row is used as it is";
        } else {
            EXPECT_EQ(d.value("select lib from pinterface"), "ux176interface");
        }
        EXPECT_EQ(d.value("select pinterface_id from model where model=374"), id);

        ASSERT_EQ(d.run("ux176install", "remove").status, 0);
        EXPECT_EQ(d.count("select count(*) from model where model=374"), 0);
        EXPECT_EQ(d.count("select count(*) from pinterface"), c.shared ? 1 : 0)
            << "the row stays while another model uses it";
        if (!c.shared && c.existingLib) {
            // The row went with its last model: the next insert writes its own.
            existing.clear();
            break;
        }
    }
}

// A lookup that fails must not be taken for "no row": inserting then would
// leave two rows of the name. Here the select fails on the "usb" row itself.
TEST(PhysicalInterfaceLookup, AFailedLookupWritesNothing)
{
    DeviceDb d(itest::testDir());
    d.exec("alter table pinterface rename to pinterface_rows");
    d.exec("insert into pinterface_rows (name,lib) values ('usb','ux176interface')");
    d.exec("create view pinterface as select * from pinterface_rows where case when name='usb' then "
           "abs(-9223372036854775807-1) else 1 end");
    d.exec("create trigger pinterface_insert instead of insert on pinterface begin insert into pinterface_rows "
           "(name,lib) values (new.name,new.lib); end");
    const std::string before = d.dump();
    const auto r = d.run("ux176install", "insert");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(d.dump(), before);
    EXPECT_EQ(d.count("select count(*) from pinterface_rows"), 1);
}

INSTANTIATE_TEST_SUITE_P(Usb, PhysicalInterface, ::testing::ValuesIn(kInterfaces),
                         [](const ::testing::TestParamInfo<Interface> &info) { return std::string(info.param.name); });

} // namespace
