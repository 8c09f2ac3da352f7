// Discovery on the simulated VISA library: serial crates found on their
// ports line by line, VISA instruments recorded under their aliases, devices
// that vanished or changed removed again, and the rescan request that only
// the controller may make.
#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fixture.h"
#include "support/simvisa_testenv.h"

using namespace mtest;

namespace
{

constexpr const char *kPort = "ASRL1::INSTR";
constexpr const char *kCarrier = "PXI1::5::INSTR";
constexpr const char *kCarrierBoard = "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site3=tq740";

tq::test::SimVisa &sim()
{
    static tq::test::SimVisa s = [] {
        tq::test::SimVisa v;
        EXPECT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        EXPECT_TRUE(v.load());
        return v;
    }();
    return s;
}

std::string serialLog(const char *port = kPort)
{
    char text[8192] = "";
    ViUInt32 length = 0;
    EXPECT_GE(sim().simvisa_getSerialLog(port, text, sizeof text, &length), VI_SUCCESS);
    return text;
}

std::string resmanLog()
{
    char text[256] = "";
    ViUInt32 length = 0;
    if (sim().simvisa_getResmanLog(text, sizeof text, &length) < VI_SUCCESS)
        return "(absent)";
    return text;
}

// No shipped catalogue knows the crate: its controller (0x761) and unit
// types are added here, with the carrier, its module and model 718.
struct CrateDb : AppDb {
    explicit CrateDb(bool controllerModel = true, bool spy = false) : AppDb(spy)
    {
        sim().simvisa_reset(); // before the session opens its resource manager
        if (controllerModel)
            models[0x761] = d.addModel(kVendor, 0x761, "vt22", "none", {});
        for (int type : {0x20, 0x21, 0x30, 0x41, 0x43, 0x50})
            models[type] = d.addModel(kVendor, static_cast<ViUInt16>(type), "vt22unit", "none", {});
        models[0x747] = d.addModel(kVendor, 0x747, "tq747", "tqp747_32", {"reset"});
        d.addInstrumentNameOption(models[0x747]);
        models[0x740] = d.addModel(kVendor, 0x740, "tq740", "tqp740_32", {"reset"});
        models[0x718] = d.addModel(kVendor, 0x718, "tq718", "tqp718_32", {"reset"});
    }
    // "name:model" of every device, by name, the model as its code in hex.
    std::string rows()
    {
        return d.value("select ifnull(group_concat(a, ','), '') from (select presource.name || ':' || "
                       "printf('%x', model.model) as a from presource, model where "
                       "presource.model_id=model.model_id order by presource.name)");
    }
    std::map<int, int64_t> models;
};

struct Open {
    explicit Open(AppDb &a)
    {
        EXPECT_EQ(a.open(s), VI_SUCCESS);
        EXPECT_EQ(tqdaq_registerStreamMsg(s, sink.queue), VI_SUCCESS);
    }
    ~Open() { tqdaq_closeHandle(s); }
    ViSession s = 0;
    Sink sink;
};

// ---------------------------------------------------------------------------

struct ScanCase {
    const char *what;
    const char *port;                // the port's settings
    const char *rows;                // the devices recorded
    const char *logStart;            // what the port received first
    std::vector<std::string> absent; // lines the port must not have received
    std::vector<std::string> messages;
};

void PrintTo(const ScanCase &c, std::ostream *os)
{
    *os << c.what;
}

class CrateScan : public ::testing::TestWithParam<ScanCase>
{
};

TEST_P(CrateScan, RecordsWhatAnswers)
{
    const ScanCase &c = GetParam();
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument(kPort, c.port), VI_SUCCESS) << c.port;
    Open o(db);
    o.sink.take();
    sim().simvisa_clearSerialLog(kPort);

    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS) << c.what;
    EXPECT_EQ(db.rows(), c.rows) << c.what;
    const std::string log = serialLog();
    EXPECT_EQ(log.substr(0, std::string(c.logStart).size()), c.logStart) << c.what << "\n" << log;
    for (const std::string &line : c.absent)
        EXPECT_EQ(log.find(line), std::string::npos) << c.what << ": " << line << "\n" << log;
    std::vector<std::string> messages;
    for (const std::string &m : o.sink.take())
        if (m.rfind("Creating", 0) != 0)
            messages.push_back(m);
    EXPECT_EQ(messages, c.messages) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Crates, CrateScan,
    ::testing::Values(
        ScanCase{"typed and untyped units, an empty slot and one that is no unit",
                 "board=crate; controllers=0; la0.slot3=0x41; la0.slot5=untyped; la0.slot7=untyped; "
                 "la0.slot7.writable=0; la0.slot9=untyped; la0.slot9.reg01=0x61",
                 "ASRL1::INSTR_LA0:761,ASRL1::INSTR_LA0_SLOT3:41,ASRL1::INSTR_LA0_SLOT5:21,ASRL1::INSTR_LA0_SLOT7:20",
                 "$Z\r\n$V00\r\n$R000160\r\n$R000260\r\n$R000360\r\n",
                 {"$V02\r\n", "$W000908"},
                 {" Detecting VT22 at LA 0", " Found VT22 device at LA 0, slot 3", " Found VT22 device at LA 0, slot 5",
                  " Found VT22 device at LA 0, slot 7"}},
        ScanCase{"two crates at consecutive addresses; the first silent address ends the scan",
                 "board=crate; controllers=0 1 3; la1.slot16=0x50; la3.slot1=0x41",
                 "ASRL1::INSTR_LA0:761,ASRL1::INSTR_LA1:761,ASRL1::INSTR_LA1_SLOT16:50",
                 "$Z\r\n$V00\r\n",
                 {"$V03\r\n", "$R03"},
                 {" Detecting VT22 at LA 0", " Detecting VT22 at LA 1", " Found VT22 device at LA 1, slot 16"}},
        ScanCase{"a port whose address 0 is silent records nothing",
                 "board=crate; controllers=1; la1.slot1=0x41",
                 "",
                 "$Z\r\n$V00\r\n",
                 {"$V01\r\n", "$R"},
                 {}},
        ScanCase{"a reply out of form is no unit; the slots after it are still probed",
                 "board=crate; controllers=0; la0.slot2=0x41; la0.slot2.replyR60=$Dzz\\r\\n; la0.slot4=0x43",
                 "ASRL1::INSTR_LA0:761,ASRL1::INSTR_LA0_SLOT4:43",
                 "$Z\r\n$V00\r\n",
                 {"$R000201\r\n"},
                 {" Detecting VT22 at LA 0", " Found VT22 device at LA 0, slot 4"}},
        ScanCase{"a presence reply out of form is no controller",
                 "board=crate; controllers=0; la0.replyV=garbage\\r\\n; la0.slot1=0x41",
                 "",
                 "$Z\r\n$V00\r\n",
                 {"$R"},
                 {}},
        ScanCase{"a port with an alias names its crates after it",
                 "alias=COM1; board=crate; controllers=0; la0.slot2=0x30",
                 "COM1_LA0:761,COM1_LA0_SLOT2:30",
                 "$Z\r\n$V00\r\n",
                 {},
                 {" Detecting VT22 at LA 0", " Found VT22 device at LA 0, slot 2"}},
        ScanCase{"an alias that holds \"_LA\" itself",
                 "alias=COM_LAB; board=crate; controllers=0; la0.slot2=0x30",
                 "COM_LAB_LA0:761,COM_LAB_LA0_SLOT2:30",
                 "$Z\r\n$V00\r\n",
                 {},
                 {" Detecting VT22 at LA 0", " Found VT22 device at LA 0, slot 2"}}));

TEST(CrateScan2, AnUncataloguedControllerEndsThatPortOnlyAndTheUnitsStayUnrecorded)
{
    CrateDb db(false);
    ASSERT_EQ(sim().simvisa_addInstrument(kPort, "board=crate; controllers=0; la0.slot1=0x41"), VI_SUCCESS);
    ASSERT_EQ(sim().simvisa_addInstrument("PXI1::9::INSTR", "manf=0x3c5a; model=0x718"), VI_SUCCESS);
    Open o(db);
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(db.rows(), "PXI1::9::INSTR:718");
    EXPECT_EQ(serialLog().find("$R"), std::string::npos);
}

// Resolving crate names: a controller needs no exchange, a unit is asked.
TEST(CrateNames, ControllerWithoutExchangeUnitByProbe)
{
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument(kPort, "board=crate; controllers=4; la4.slot2=untyped"), VI_SUCCESS);
    Open o(db);
    sim().simvisa_clearSerialLog(kPort);
    EXPECT_EQ(tqdaq_createPresource(o.s, "ASRL1::INSTR_LA4"), VI_SUCCESS);
    EXPECT_EQ(serialLog(), "");
    EXPECT_EQ(tqdaq_createPresource(o.s, "ASRL1::INSTR_LA4_SLOT2"), VI_SUCCESS);
    EXPECT_EQ(serialLog(), "$R040260\r\n$R040201\r\n$W0402080a\r\n$R040208\r\n");
    EXPECT_EQ(db.rows(), "ASRL1::INSTR_LA4:761,ASRL1::INSTR_LA4_SLOT2:21");
    const std::string before = db.d.dump();
    EXPECT_EQ(tqdaq_createPresource(o.s, "ASRL1::INSTR_LA4x"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tqdaq_createPresource(o.s, "ASRL1::INSTR_LA4_SLOT3"), VI_ERROR_TMO) << "an empty slot";
    EXPECT_EQ(db.d.dump(), before);
}

// ---------------------------------------------------------------------------

TEST(Reverify, AVanishedCarrierGoesWithItsSites)
{
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument(kCarrier, kCarrierBoard), VI_SUCCESS);
    Open o(db);
    ASSERT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    ASSERT_EQ(db.rows(), "PXI1::5::INSTR:747,PXI1::5::INSTR_IP1:740,PXI1::5::INSTR_IP3:740");
    o.sink.take();

    ASSERT_EQ(sim().simvisa_removeInstrument(kCarrier), VI_SUCCESS);
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(db.rows(), "");
    EXPECT_EQ(db.d.value("select count(*) from padapter"), "0");
    EXPECT_EQ(o.sink.take(), std::vector<std::string>{"removing physical resource PXI1::5::INSTR"});
}

TEST(Reverify, AClearedSiteBitRemovesThatSiteOnly)
{
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument(kCarrier, kCarrierBoard), VI_SUCCESS);
    Open o(db);
    ASSERT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    const std::string ids = db.d.value("select group_concat(presource_id) from (select presource_id from presource "
                                       "where name<>'PXI1::5::INSTR_IP3' order by presource_id)");
    o.sink.take();

    ASSERT_EQ(sim().simvisa_removeInstrument(kCarrier), VI_SUCCESS);
    ASSERT_EQ(sim().simvisa_addInstrument(kCarrier, "board=tq747; manf=0x3c5a; model=0x747; site1=tq740"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(db.rows(), "PXI1::5::INSTR:747,PXI1::5::INSTR_IP1:740");
    EXPECT_EQ(db.d.value("select group_concat(presource_id) from (select presource_id from presource order by "
                         "presource_id)"),
              ids)
        << "the rows that stay keep their ids";
    EXPECT_EQ(o.sink.take(), std::vector<std::string>{"removing physical resource PXI1::5::INSTR_IP3"});
}

// A unit is asked again; a controller is confirmed by its port alone, so a
// silent address keeps its controller's row while its units go.
TEST(Reverify, CrateUnitsThatChangedOrFellSilentGo)
{
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument(kPort, "board=crate; controllers=0 1; la0.slot3=0x41; la1.slot1=0x20"),
              VI_SUCCESS);
    Open o(db);
    ASSERT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    ASSERT_EQ(db.rows(), "ASRL1::INSTR_LA0:761,ASRL1::INSTR_LA0_SLOT3:41,ASRL1::INSTR_LA1:761,"
                         "ASRL1::INSTR_LA1_SLOT1:20");
    const std::string kept = db.d.value("select presource_id from presource where name='ASRL1::INSTR_LA0'");
    o.sink.take();

    // The unit in slot 3 is now of another type; address 1 is gone.
    ASSERT_EQ(sim().simvisa_configureBoard(kPort, "la0.slot3=0x43; controllers=0"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(db.rows(), "ASRL1::INSTR_LA0:761,ASRL1::INSTR_LA0_SLOT3:43,ASRL1::INSTR_LA1:761");
    EXPECT_EQ(db.d.value("select presource_id from presource where name='ASRL1::INSTR_LA0'"), kept);
    const auto messages = o.sink.take();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "removing physical resource ASRL1::INSTR_LA0_SLOT3"),
              messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "removing physical resource ASRL1::INSTR_LA1_SLOT1"),
              messages.end());
}

// Names whose site, address or slot is out of range are no derived names
// at all: read by the one name parser, they name nothing VISA knows.
TEST(Reverify, NamesOutOfRangeAreRemoved)
{
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument(kCarrier, kCarrierBoard), VI_SUCCESS);
    ASSERT_EQ(sim().simvisa_addInstrument(kPort, "board=crate; controllers=0; la0.slot1=0x41"), VI_SUCCESS);
    const std::vector<std::pair<std::string, int>> forged = {
        {"PXI1::5::INSTR_IP0", 0x740},     {"PXI1::5::INSTR_IP5", 0x740},       {"PXI1::5::INSTR_IP65", 0x740},
        {"PXI1::5::INSTR_IP-1", 0x740},    {"PXI1::5::INSTR_IP1x", 0x740},      {"ASRL1::INSTR_LA256", 0x761},
        {"ASRL1::INSTR_LA-1", 0x761},      {"ASRL1::INSTR_LA0_SLOT0", 0x41},    {"ASRL1::INSTR_LA0_SLOT17", 0x41},
        {"ASRL1::INSTR_LA0_SLOT1x", 0x41}, {"ASRL1::INSTR_LA99999_SLOT1", 0x41}};
    for (const auto &[name, model] : forged)
        db.d.exec("insert into presource (name,model_id) values ('" + name + "'," + std::to_string(db.models[model]) +
                  ")");
    Open o(db);
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(db.rows(), "ASRL1::INSTR_LA0:761,ASRL1::INSTR_LA0_SLOT1:41,PXI1::5::INSTR:747,"
                         "PXI1::5::INSTR_IP1:740,PXI1::5::INSTR_IP3:740");
}

TEST(Reverify, AnInstrumentIsRecordedUnderItsAliasAndItsOldNameGoes)
{
    CrateDb db;
    ASSERT_EQ(sim().simvisa_addInstrument("PXI1::7::INSTR", "manf=0x3c5a; model=0x718; alias=digitizer1"), VI_SUCCESS);
    db.d.exec("insert into presource (name,model_id) values ('PXI1::7::INSTR'," + std::to_string(db.models[0x718]) +
              ")");
    Open o(db);
    o.sink.take();
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(db.rows(), "digitizer1:718");
    EXPECT_EQ(o.sink.take(), (std::vector<std::string>{"removing physical resource PXI1::7::INSTR",
                                                       "Creating physical resource digitizer1"}));
}

// ---------------------------------------------------------------------------

struct RescanCase {
    const char *what;
    const char *resman; // settings of "visa::resman", or null for none
    bool controller;    // the session's user is still the controller
    ViStatus expected;
    const char *log; // what visa::resman received
    bool discovered; // the instrument was recorded
};

void PrintTo(const RescanCase &c, std::ostream *os)
{
    *os << c.what;
}

class Rescan : public ::testing::TestWithParam<RescanCase>
{
};

TEST_P(Rescan, OnlyTheControllerAsksVisa)
{
    const RescanCase &c = GetParam();
    CrateDb db;
    if (c.resman) {
        ASSERT_EQ(sim().simvisa_addInstrument("visa::resman", c.resman), VI_SUCCESS);
    }
    ASSERT_EQ(sim().simvisa_addInstrument("PXI1::9::INSTR", "manf=0x3c5a; model=0x718"), VI_SUCCESS);
    Open o(db);
    if (!c.controller)
        db.d.exec("update system set user_id=(select users_id from users where username='other')");
    EXPECT_EQ(tqdaq_refreshPResources(o.s), c.expected) << c.what;
    EXPECT_EQ(resmanLog(), c.log) << c.what;
    EXPECT_EQ(db.rows(), c.discovered ? "PXI1::9::INSTR:718" : "") << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, Rescan,
                         ::testing::Values(RescanCase{"the controller asks", "", true, VI_SUCCESS, "resman\n", true},
                                           RescanCase{"the controller changed since the session opened", "", false,
                                                      TQDAQ_ERROR_NOT_CONTROLLER, "", false},
                                           RescanCase{"without the resource anybody discovers", nullptr, false,
                                                      VI_SUCCESS, "(absent)", true},
                                           RescanCase{"a resource that does not open counts as none",
                                                      "failopen=0xBFFF0011", false, VI_SUCCESS, "", true},
                                           RescanCase{"a failed request ends discovery", "failwrite=0xBFFF003E", true,
                                                      static_cast<ViStatus>(0xBFFF003E), "", false}));

TEST(RefreshTrace, EachStepTracesAfterItsWork)
{
    CrateDb db(true, true);
    ASSERT_EQ(sim().simvisa_addInstrument("visa::resman", ""), VI_SUCCESS);
    Open o(db);
    const size_t from = readLines(db.d.debugLog()).size();
    ASSERT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    const auto lines = readLines(db.d.debugLog());
    std::vector<std::string> steps;
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind("tqdaq_refresh", 0) == 0)
            steps.push_back(lines[i].substr(0, lines[i].find('(')) + lines[i].substr(lines[i].find("(operator)")));
    EXPECT_EQ(steps, (std::vector<std::string>{"tqdaq_refreshVisa(operator)) retVal=0",
                                               "tqdaq_refreshVisaSystemResources(operator)) retVal=0",
                                               "tqdaq_refreshPResources(operator)) retVal=0"}));
}

} // namespace
