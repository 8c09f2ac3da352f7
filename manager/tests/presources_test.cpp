// Physical resources and assignment on the simulated VISA library: a model
// 747 carrier with model 740 modules on its sites, devices named by a test
// physical-interface plug-in, and the assignment of either to virtual
// resources.
#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"
#include "support/simvisa_testenv.h"

using namespace mtest;

namespace
{

constexpr const char *kCarrier = "PXI1::5::INSTR";
constexpr const char *kCarrierBoard = "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site3=tq740";

// The simulated library, loaded once at the binding's path before the
// first session binds it, and emptied for every test.
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

// The application database with the catalogue rows the carrier cases need:
// models 747 and 740 with an InstrumentName option each, and model 726 for
// a module that does not belong.
struct CarrierDb : AppDb {
    CarrierDb()
    {
        sim().simvisa_reset(); // before the session opens its resource manager
        model747 = d.addModel(kVendor, 0x747, "tq747", "tqp747_32", {"reset", "start", "stop"});
        item747 = d.addInstrumentNameOption(model747);
        model740 = d.addModel(kVendor, 0x740, "tq740", "tqp740_32", {"reset"});
        item740 = d.addInstrumentNameOption(model740);
        model726 = d.addModel(kVendor, 0x726, "tq726", "tqp726_32", {"reset"});
    }
    ViStatus board(const char *name = kCarrier, const char *settings = kCarrierBoard)
    {
        return sim().simvisa_addInstrument(name, settings);
    }
    int64_t vresource(const std::string &name, int64_t model, int64_t item)
    {
        const int64_t v = d.addVresource(name, model);
        if (item)
            d.setInstrumentName(v, item, name);
        return v;
    }
    // A virtual carrier with modules of the given models on the given sites.
    int64_t virtualCarrier(const std::string &name, const std::vector<std::pair<int, int64_t>> &modules)
    {
        const int64_t c = vresource(name, model747, item747);
        for (const auto &[site, model] : modules) {
            const int64_t m = vresource(name + "_IP" + std::to_string(site), model, model == model740 ? item740 : 0);
            d.exec("insert into vadapter (frontend_id,backend_id,connector_index) values (" + std::to_string(m) +
                   "," + std::to_string(c) + "," + std::to_string(site) + ")");
        }
        return c;
    }
    // "device=virtual" for every device, by device name.
    std::string assignments()
    {
        return d.value("select group_concat(a, ',') from (select presource.name || '=' || "
                       "ifnull(vresource.name,'-') as a from presource left join vresource on "
                       "vresource.vresource_id=presource.vresource_id order by presource.name)");
    }
    std::string presources()
    {
        return d.value("select group_concat(a, ',') from (select presource_id || ':' || name || ':' || model_id as a "
                       "from presource order by name)");
    }
    std::string padapters()
    {
        return d.value("select group_concat(a, ',') from (select f.name || '@' || connector_index || '=' || b.name as a "
                       "from padapter, presource as f, presource as b where f.presource_id=frontend_id and "
                       "b.presource_id=backend_id order by connector_index)");
    }
    std::string vadapters()
    {
        return d.value("select group_concat(a, ',') from (select f.name || '@' || connector_index || '=' || b.name as a "
                       "from vadapter, vresource as f, vresource as b where f.vresource_id=frontend_id and "
                       "b.vresource_id=backend_id order by f.name)");
    }
    int64_t model747 = 0, item747 = 0, model740 = 0, item740 = 0, model726 = 0;
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

TEST(RecordCarrier, RecordsItsSitesOnceAndKeepsIds)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    Open o(c);
    const ViUInt32 sessions = sim().simvisa_openSessionCount();

    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    EXPECT_EQ(sim().simvisa_openSessionCount(), sessions) << "the driver is closed again";
    const std::string rows = c.presources();
    EXPECT_EQ(rows, "1:PXI1::5::INSTR:" + std::to_string(c.model747) + ",2:PXI1::5::INSTR_IP1:" +
                        std::to_string(c.model740) + ",3:PXI1::5::INSTR_IP3:" + std::to_string(c.model740));
    EXPECT_EQ(c.padapters(), "PXI1::5::INSTR_IP1@1=PXI1::5::INSTR,PXI1::5::INSTR_IP3@3=PXI1::5::INSTR");
    EXPECT_EQ(c.d.value("select count(*) from presource_options where presource_id=1 and ui_item_id=" +
                        std::to_string(c.item747)),
              "1");
    EXPECT_EQ(o.sink.take(), (std::vector<std::string>{"Creating physical resource PXI1::5::INSTR",
                                                       "Creating physical resource PXI1::5::INSTR_IP1",
                                                       "Creating physical resource PXI1::5::INSTR_IP3"}));

    // Again: the same ids, no second site row, the options replaced.
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.presources(), rows);
    EXPECT_EQ(c.padapters(), "PXI1::5::INSTR_IP1@1=PXI1::5::INSTR,PXI1::5::INSTR_IP3@3=PXI1::5::INSTR");
    EXPECT_EQ(c.d.value("select count(*) from presource_options"), "1");
    EXPECT_EQ(o.sink.take(), std::vector<std::string>{});
}

TEST(RecordCarrier, ReRecordingKeepsAFittingAssignmentAndFreesOneThatNoLongerFits)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    const int64_t fits = c.virtualCarrier("fits", {{1, c.model740}, {3, c.model740}});
    const int64_t other = c.virtualCarrier("other", {{1, c.model740}, {2, c.model740}});
    Open o(c);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);

    c.d.exec("update presource set vresource_id=" + std::to_string(fits) + " where name='PXI1::5::INSTR'");
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select vresource_id from presource where name='PXI1::5::INSTR'"), std::to_string(fits));

    c.d.exec("update presource set vresource_id=" + std::to_string(other) + " where name='PXI1::5::INSTR'");
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select vresource_id from presource where name='PXI1::5::INSTR'"), "NULL");
}

TEST(RecordCarrier, AnUnreadableSiteMaskIsReportedAndAddsNoSite)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    Open o(c);
    ASSERT_EQ(sim().simvisa_failOffset(kCarrier, VI_PXI_BAR2_SPACE, 0x3C, SIMVISA_READS, VI_ERROR_IO), VI_SUCCESS);
    EXPECT_LT(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select group_concat(name) from presource"), "PXI1::5::INSTR") << "the device stays recorded";
    EXPECT_EQ(c.d.value("select count(*) from padapter"), "0");
}

struct NameCase {
    const char *what;
    const char *name;
    ViStatus expected;
    const char *model; // "747", "740" or null: the model recorded
};

class RecordByName : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(RecordByName, ResolvesOnlyWhatThereIs)
{
    const NameCase &c = GetParam();
    CarrierDb db;
    ASSERT_EQ(db.board(), VI_SUCCESS);
    ASSERT_EQ(db.board("PXI1::6::INSTR", "manf=0x3c5a; model=0x999"), VI_SUCCESS);
    Open o(db);
    const std::string dump = db.d.dump();
    EXPECT_EQ(tqdaq_createPresource(o.s, c.name), c.expected) << c.what;
    if (!c.model) {
        EXPECT_EQ(db.d.dump(), dump) << c.what << ": nothing recorded";
        return;
    }
    const int64_t model = std::string(c.model) == "747" ? db.model747 : db.model740;
    EXPECT_EQ(db.d.value(std::string("select model_id from presource where name='") + c.name + "'"),
              std::to_string(model))
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecordByName,
    ::testing::Values(NameCase{"a populated site", "PXI1::5::INSTR_IP3", VI_SUCCESS, "740"},
                      NameCase{"a site whose bit is clear", "PXI1::5::INSTR_IP2", VI_ERROR_INV_RSRC_NAME, nullptr},
                      NameCase{"site 0 is no site: the whole name is unknown", "PXI1::5::INSTR_IP0",
                               VI_ERROR_INV_OBJECT, nullptr},
                      NameCase{"site 5 is no site", "PXI1::5::INSTR_IP5", VI_ERROR_INV_OBJECT, nullptr},
                      NameCase{"a site number with more after it", "PXI1::5::INSTR_IP3x", VI_ERROR_INV_OBJECT,
                               nullptr},
                      NameCase{"an absent device", "PXI1::9::INSTR", VI_ERROR_INV_OBJECT, nullptr},
                      NameCase{"a model outside the catalogue", "PXI1::6::INSTR", TQDAQ_ERROR_UNKNOWN_MODEL, nullptr},
                      NameCase{"an empty name", "", VI_ERROR_INV_OBJECT, nullptr}));

TEST(RecordByName2, AnUnreadableSiteMaskResolvesNoSite)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    Open o(c);
    ASSERT_EQ(sim().simvisa_failOffset(kCarrier, VI_PXI_BAR2_SPACE, 0x3C, SIMVISA_READS, VI_ERROR_IO), VI_SUCCESS);
    EXPECT_EQ(tqdaq_createPresource(o.s, "PXI1::5::INSTR_IP1"), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(tqdaq_createPresource(o.s, nullptr), VI_ERROR_INV_OBJECT);
}

TEST(DeletePresource, TakesTheModulesOnItsSites)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    ASSERT_EQ(c.board("PXI1::8::INSTR", "board=tq747; manf=0x3c5a; model=0x747; site2=tq740"), VI_SUCCESS);
    Open o(c);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    ASSERT_GE(tqdaq_createPresource(o.s, "PXI1::8::INSTR"), VI_SUCCESS);
    c.d.exec("insert into presource_options (presource_id,ui_item_id,value) select presource_id," +
             std::to_string(c.item740) + ",'x' from presource where name like '%_IP%'");

    EXPECT_EQ(tqdaq_deletePresource(o.s, kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select group_concat(name) from (select name from presource order by name)"),
              "PXI1::8::INSTR,PXI1::8::INSTR_IP2");
    EXPECT_EQ(c.d.value("select count(*) from presource_options where presource_id not in (select presource_id "
                        "from presource)"),
              "0");
    EXPECT_EQ(c.padapters(), "PXI1::8::INSTR_IP2@2=PXI1::8::INSTR");
    EXPECT_EQ(tqdaq_deletePresource(o.s, "nothing"), VI_SUCCESS);
}

// ---------------------------------------------------------------------------

struct AssignCase {
    const char *what;
    std::vector<std::pair<int, const char *>> modules; // the virtual carrier's sites and module models
    const char *vresource;
    const char *presource;
    ViStatus expected;
    const char *assignments; // afterwards (null: nothing changed)
};

class AssignCarrier : public ::testing::TestWithParam<AssignCase>
{
};

TEST_P(AssignCarrier, SiteBySite)
{
    const AssignCase &c = GetParam();
    CarrierDb db;
    ASSERT_EQ(db.board(), VI_SUCCESS);
    std::vector<std::pair<int, int64_t>> modules;
    for (const auto &[site, model] : c.modules)
        modules.emplace_back(site, std::string(model) == "740" ? db.model740 : db.model726);
    db.virtualCarrier("rack", modules);
    db.vresource("lone", db.model740, db.item740);
    Open o(db);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    o.sink.take();
    const std::string dump = db.d.dump();

    EXPECT_EQ(tqdaq_assignResource(o.s, c.vresource, c.presource), c.expected) << c.what;
    if (!c.assignments) {
        EXPECT_EQ(db.d.dump(), dump) << c.what << ": nothing changed";
    } else {
        EXPECT_EQ(db.assignments(), c.assignments) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssignCarrier,
    ::testing::Values(
        AssignCase{"the carrier brings its modules",
                   {{1, "740"}, {3, "740"}},
                   "rack",
                   kCarrier,
                   VI_SUCCESS,
                   "PXI1::5::INSTR=rack,PXI1::5::INSTR_IP1=rack_IP1,PXI1::5::INSTR_IP3=rack_IP3"},
        AssignCase{"a module pair assigns the carriers",
                   {{1, "740"}, {3, "740"}},
                   "rack_IP3",
                   "PXI1::5::INSTR_IP3",
                   VI_SUCCESS,
                   "PXI1::5::INSTR=rack,PXI1::5::INSTR_IP1=rack_IP1,PXI1::5::INSTR_IP3=rack_IP3"},
        AssignCase{"a site with another model refuses", {{1, "740"}, {3, "726"}}, "rack", kCarrier,
                   VI_ERROR_INV_PARAMETER, nullptr},
        AssignCase{"other occupied sites refuse", {{1, "740"}, {2, "740"}}, "rack", kCarrier, VI_ERROR_INV_PARAMETER,
                   nullptr},
        AssignCase{"fewer sites refuse", {{1, "740"}}, "rack", kCarrier, VI_ERROR_INV_PARAMETER, nullptr},
        AssignCase{"a carrier without modules refuses one with modules (no mounting anywhere)", {}, "rack", kCarrier,
                   VI_ERROR_INV_PARAMETER, nullptr},
        AssignCase{"a module of a carrier refuses a device on none",
                   {{1, "740"}, {3, "740"}},
                   "rack_IP1",
                   kCarrier,
                   VI_ERROR_INV_PARAMETER,
                   nullptr},
        AssignCase{"a lone module on a site of a carrier that serves nothing",
                   {{1, "740"}, {3, "740"}},
                   "lone",
                   "PXI1::5::INSTR_IP3",
                   VI_SUCCESS,
                   "PXI1::5::INSTR=-,PXI1::5::INSTR_IP1=-,PXI1::5::INSTR_IP3=lone"},
        AssignCase{"both names empty", {}, "", nullptr, VI_ERROR_INV_PARAMETER, nullptr},
        AssignCase{"an unknown virtual resource", {}, "nobody", kCarrier, TQDAQ_ERROR_STATEMENT, nullptr}));

TEST(AssignResource, FreeingEitherSideAndMessages)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    c.virtualCarrier("rack", {{1, c.model740}, {3, c.model740}});
    const int64_t rack = std::stoll(c.d.value("select vresource_id from vresource where name='rack'"));
    c.d.addMember(c.dbId, rack, 1);
    Open o(c);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    o.sink.take();
    const size_t from = readLines(c.d.appLog()).size();
    ASSERT_EQ(tqdaq_assignResource(o.s, "rack", kCarrier), VI_SUCCESS);
    EXPECT_EQ(o.sink.take(), (std::vector<std::string>{"Assign resource rack to PXI1::5::INSTR",
                                                       "Assign resource rack_IP1 to PXI1::5::INSTR_IP1",
                                                       "Assign resource rack_IP3 to PXI1::5::INSTR_IP3"}));
    const auto log = readLines(c.d.appLog());
    EXPECT_NE(std::find(log.begin() + static_cast<long>(from), log.end(),
                        "doOperation uiEvent assign;instrument;completion;rack;PXI1::5::INSTR"),
              log.end());

    // Assigning again is no second device and no second mounting.
    ASSERT_EQ(tqdaq_assignResource(o.s, "rack", kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select count(*) from presource where vresource_id=" + std::to_string(rack)), "1");
    EXPECT_EQ(c.vadapters(), "rack_IP1@1=rack,rack_IP3@3=rack");

    // Freeing the device disables its virtual resource.
    EXPECT_EQ(tqdaq_assignResource(o.s, "", kCarrier), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select vresource_id from presource where name='PXI1::5::INSTR'"), "NULL");
    EXPECT_EQ(c.d.value("select enable from db_resource"), "0");
    ASSERT_EQ(tqdaq_assignResource(o.s, "rack", kCarrier), VI_SUCCESS);
    // Freeing the virtual resource.
    EXPECT_EQ(tqdaq_assignResource(o.s, "rack", nullptr), VI_SUCCESS);
    EXPECT_EQ(c.d.value("select vresource_id from presource where name='PXI1::5::INSTR'"), "NULL");
    EXPECT_EQ(o.sink.take().back(), "Unassign resource rack");

    // Without a database selected nothing is assigned.
    c.d.exec("update system set db_id=NULL");
    const std::string dump = c.d.dump();
    EXPECT_EQ(tqdaq_assignResource(o.s, "rack", kCarrier), TQDAQ_ERROR_NO_DATABASE);
    EXPECT_EQ(c.d.dump(), dump);
}

TEST(AssignResource, OneDevicePerVirtualResource)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    c.vresource("lone", c.model740, c.item740);
    Open o(c);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);
    ASSERT_EQ(tqdaq_assignResource(o.s, "lone", "PXI1::5::INSTR_IP1"), VI_SUCCESS);
    ASSERT_EQ(tqdaq_assignResource(o.s, "lone", "PXI1::5::INSTR_IP3"), VI_SUCCESS);
    EXPECT_EQ(c.assignments(), "PXI1::5::INSTR=-,PXI1::5::INSTR_IP1=-,PXI1::5::INSTR_IP3=lone");
}

TEST(AssignAllPresources, ACarrierGetsAVirtualCarrierWithItsModules)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    Open o(c);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);

    EXPECT_EQ(tqdaq_assignAllPresources(o.s, nullptr), VI_SUCCESS);
    EXPECT_EQ(c.assignments(), "PXI1::5::INSTR=PXI1__5__INSTR,PXI1::5::INSTR_IP1=PXI1__5__INSTR_IP1,"
                               "PXI1::5::INSTR_IP3=PXI1__5__INSTR_IP3");
    EXPECT_EQ(c.vadapters(), "PXI1__5__INSTR_IP1@1=PXI1__5__INSTR,PXI1__5__INSTR_IP3@3=PXI1__5__INSTR");
    EXPECT_EQ(c.d.value("select group_concat(a) from (select vresource.name || '=' || enable as a from "
                        "db_resource,vresource where db_resource.vresource_id=vresource.vresource_id and db_id=" +
                        std::to_string(c.dbId) + " order by vresource.name)"),
              "PXI1__5__INSTR=1,PXI1__5__INSTR_IP1=1,PXI1__5__INSTR_IP3=1");
    // Each carries its own name as its InstrumentName.
    EXPECT_EQ(c.d.value("select count(*) from vresource,vresource_options,ui_item where "
                        "vresource.vresource_id=vresource_options.vresource_id and "
                        "ui_item.ui_item_id=vresource_options.ui_item_id and property='InstrumentName' and "
                        "value=vresource.name and vresource.name like 'PXI1__5__INSTR%'"),
              "3");
    // Nothing left to do the second time.
    const std::string dump = c.d.dump();
    EXPECT_EQ(tqdaq_assignAllPresources(o.s, nullptr), VI_SUCCESS);
    EXPECT_EQ(c.d.dump(), dump);
}

TEST(AssignAllVresources, MembersFindFittingDevicesOrAreDisabled)
{
    CarrierDb c;
    ASSERT_EQ(c.board(), VI_SUCCESS);
    const int64_t rack = c.virtualCarrier("rack", {{1, c.model740}, {3, c.model740}});
    const int64_t spare = c.vresource("spare", c.model740, c.item740);
    c.d.addMember(c.dbId, rack, 0);
    c.d.addMember(c.dbId, std::stoll(c.d.value("select vresource_id from vresource where name='rack_IP1'")), 0);
    c.d.addMember(c.dbId, std::stoll(c.d.value("select vresource_id from vresource where name='rack_IP3'")), 0);
    c.d.addMember(c.dbId, spare, 1);
    Open o(c);
    ASSERT_GE(tqdaq_createPresource(o.s, kCarrier), VI_SUCCESS);

    EXPECT_EQ(tqdaq_assignAllVresources(o.s, nullptr), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(c.assignments(), "PXI1::5::INSTR=rack,PXI1::5::INSTR_IP1=rack_IP1,PXI1::5::INSTR_IP3=rack_IP3");
    EXPECT_EQ(c.d.value("select group_concat(a) from (select vresource.name || '=' || enable as a from "
                        "db_resource,vresource where db_resource.vresource_id=vresource.vresource_id order by "
                        "vresource.name)"),
              "rack=1,rack_IP1=1,rack_IP3=1,spare=0");

    c.d.exec("update system set db_id=NULL");
    EXPECT_EQ(tqdaq_assignAllVresources(o.s, nullptr), VI_SUCCESS) << "no members without a database";
}

// ---------------------------------------------------------------------------

// Devices named by the test plug-in, of model 374 and a second model 375,
// both run by the test driver.
struct UsbDb : AppDb {
    UsbDb()
    {
        sim().simvisa_reset();
        const int64_t plugin = d.insert("insert into pinterface (name,lib) values ('usb','tqmtestplugin')");
        for (int model : {374, 375}) {
            const int64_t m = d.addModel(kVendor, static_cast<ViUInt16>(model), "tqmtest", "tqmtestdriver", {"start"});
            d.exec("update model set platform='usb',pinterface_id=" + std::to_string(plugin) +
                   " where model_id=" + std::to_string(m));
            d.addInstrumentNameOption(m);
            (model == 374 ? model374 : model375) = m;
        }
        setenv("TQ_TESTPLUGIN_LOG", (testDir() + "/plugin.log").c_str(), 1);
    }
    int64_t model374 = 0, model375 = 0;
};

struct UsbNameCase {
    const char *what;
    int taken; // names X, X1, X2, ... taken by resources of another model
    const char *device;
    ViStatus expected;
    const char *created; // the virtual resource made for the device, or null
};

class AssignUsbDevice : public ::testing::TestWithParam<UsbNameCase>
{
};

TEST_P(AssignUsbDevice, NamedAfterTheDevice)
{
    const UsbNameCase &c = GetParam();
    UsbDb u;
    const std::string base = "usb0__0x3c5a__374__A1";
    // The names tried: X, X1, X12, X123, ...
    std::string taken = base;
    for (int i = 0; i < c.taken; ++i) {
        if (i > 0)
            taken += std::to_string(i);
        u.d.addVresource(taken, u.model375);
    }
    Open o(u);
    const ViStatus recorded = tqdaq_createPresource(o.s, c.device);
    if (!c.created) {
        const ViStatus st = recorded >= VI_SUCCESS ? tqdaq_assignAllPresources(o.s, nullptr) : recorded;
        EXPECT_EQ(st, c.expected) << c.what;
        EXPECT_EQ(u.d.value("select count(*) from vresource where model_id=" + std::to_string(u.model374)), "0")
            << c.what;
        if (recorded >= VI_SUCCESS) {
            EXPECT_EQ(u.d.value("select count(*) from db_resource"), "0") << c.what;
        }
        return;
    }
    ASSERT_GE(recorded, VI_SUCCESS) << c.what;
    EXPECT_EQ(tqdaq_assignAllPresources(o.s, nullptr), c.expected) << c.what;
    EXPECT_EQ(u.d.value(std::string("select vresource.name from vresource,presource where presource.name='") +
                        c.device + "' and presource.vresource_id=vresource.vresource_id"),
              c.created)
        << c.what;
    EXPECT_EQ(u.d.value(std::string("select description from vresource where name='") + c.created + "'"),
              "created by tqdaq_assignAllPresources");
    ViInt16 enable = 0;
    EXPECT_EQ(tqdaq_getVresourceEnable(o.s, c.created, &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssignUsbDevice,
    ::testing::Values(
        UsbNameCase{"a free name", 0, "usb0::0x3c5a::374::A1", VI_SUCCESS, "usb0__0x3c5a__374__A1"},
        UsbNameCase{"the name taken", 1, "usb0::0x3c5a::374::A1", VI_SUCCESS, "usb0__0x3c5a__374__A11"},
        UsbNameCase{"two names taken", 2, "usb0::0x3c5a::374::A1", VI_SUCCESS, "usb0__0x3c5a__374__A112"},
        UsbNameCase{"three names taken", 3, "usb0::0x3c5a::374::A1", VI_SUCCESS, "usb0__0x3c5a__374__A1123"},
        UsbNameCase{"every name tried is taken", 100, "usb0::0x3c5a::374::A1", TQDAQ_ERROR_NAME_EXISTS, nullptr},
        UsbNameCase{"a device the plug-in does not know", 0, "usb0::0x3c5a::374::gone1", VI_ERROR_RSRC_NFOUND,
                    nullptr}));

TEST(AssignUsbDevice2, AFreeFittingResourceIsTakenFirst)
{
    UsbDb u;
    // "other" differs in an option the device reported; "match" does not.
    const int64_t item = std::stoll(u.d.value("select ui_item_id from ui_item,model_options where "
                                              "ui_item.category_id=model_options.category_id and model_id=" +
                                              std::to_string(u.model374)));
    const std::string cat = u.d.value("select category_id from ui_item where ui_item_id=" + std::to_string(item));
    const int64_t echo =
        u.d.insert("insert into ui_item (category_id,type,property) values (" + cat + ",'menu','EchoSerial')");
    for (const char *name : {"other", "match"}) {
        const int64_t v = u.d.addVresource(name, u.model374);
        u.d.setInstrumentName(v, item, name);
        u.d.exec("insert into vresource_options (vresource_id,ui_item_id,value) values (" + std::to_string(v) + "," +
                 std::to_string(echo) + ",'" + (std::string(name) == "match" ? "Serial" : "x") + "')");
    }
    Open o(u);
    ASSERT_GE(tqdaq_createPresource(o.s, "usb0::0x3c5a::374::B7"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_assignAllPresources(o.s, "usb0::0x3c5a::374::B7"), VI_SUCCESS);
    EXPECT_EQ(u.d.value("select vresource.name from vresource,presource where "
                        "presource.vresource_id=vresource.vresource_id"),
              "match");
    EXPECT_EQ(u.d.value("select count(*) from vresource"), "3") << "nothing created";
}

TEST(AssignUsbDevice2, APluginThatDoesNotLoadIsPassedOver)
{
    UsbDb u;
    u.d.exec("insert into pinterface (name,lib) values ('none','tqmnosuchplugin')");
    u.d.exec("update pinterface set pinterface_id=pinterface_id+10 where lib='tqmtestplugin'");
    Open o(u);
    EXPECT_GE(tqdaq_createPresource(o.s, "usb0::0x3c5a::375::C2"), VI_SUCCESS);
    EXPECT_EQ(u.d.value("select model_id from presource"), std::to_string(u.model375));
    EXPECT_EQ(readLines(testDir() + "/plugin.log"), std::vector<std::string>{"vendorModel usb0::0x3c5a::375::C2"});
}

} // namespace
