// Discovery without a VISA library: the devices VISA alone could confirm
// go, what the physical-interface plug-ins find is recorded and checked
// again, and a configuration database is populated from it.
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

namespace
{

constexpr const char *kA1 = "usb0::0x3c5a::374::A1";
constexpr const char *kB2 = "usb0::0x3c5a::374::B2";
constexpr const char *kGone = "usb0::0x3c5a::374::gone1";

// The test plug-in's model 374, a VISA model 0x718, and the plug-in's log.
struct PluginDb : AppDb {
    explicit PluginDb(bool spy = false) : AppDb(spy)
    {
        plugin = d.insert("insert into pinterface (name,lib) values ('usb','tqmtestplugin')");
        model374 = d.addModel(kVendor, 374, "tqmtest", "tqmtestdriver", {"start"});
        d.exec("update model set platform='usb',pinterface_id=" + std::to_string(plugin) +
               " where model_id=" + std::to_string(model374));
        d.addInstrumentNameOption(model374);
        model718 = d.addModel(kVendor, 0x718, "tq718", "tqp718_32", {"start"});
        setenv("TQ_TESTPLUGIN_LOG", log().c_str(), 1);
        found({});
    }
    std::string log() const { return testDir() + "/plugin.log"; }
    // The devices the plug-in finds at its next refresh.
    static void found(const std::vector<std::string> &devices)
    {
        std::string list;
        for (const auto &name : devices)
            list += name + ";";
        setenv("TQ_TESTPLUGIN_DEVICES", list.c_str(), 1);
    }
    void device(const std::string &name, int64_t model, bool autodetect = true, const char *handle = nullptr)
    {
        d.exec("insert into presource (name,model_id,autodetect,deviceHandle) values ('" + name + "'," +
               std::to_string(model) + "," + (autodetect ? "1" : "0") + "," +
               (handle ? "'" + std::string(handle) + "'" : "NULL") + ")");
    }
    std::string names()
    {
        return d.value("select ifnull(group_concat(name, ','), '') from (select name from presource order by name)");
    }
    int refreshes() const
    {
        const auto lines = readLines(log());
        return static_cast<int>(std::count(lines.begin(), lines.end(), "refreshPresources"));
    }
    int64_t plugin = 0, model374 = 0, model718 = 0;
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

struct RefreshCase {
    const char *what;
    // Rows before: name, "374" or "718", autodetect, deviceHandle (or null).
    struct Row {
        const char *name;
        const char *model;
        bool autodetect;
        const char *handle;
    };
    std::vector<Row> rows;
    std::vector<std::string> libs; // pinterface rows after the test plug-in's own
    std::vector<std::string> found;
    ViStatus expected;
    const char *names;                 // presource names afterwards
    std::vector<std::string> messages; // the sink's lines
    int refreshes;                     // plug-in refreshes that ran
};

void PrintTo(const RefreshCase &c, std::ostream *os)
{
    *os << c.what;
}

class Refresh : public ::testing::TestWithParam<RefreshCase>
{
};

TEST_P(Refresh, WithoutVisa)
{
    const RefreshCase &c = GetParam();
    PluginDb p;
    for (const auto &r : c.rows)
        p.device(r.name, std::string(r.model) == "374" ? p.model374 : p.model718, r.autodetect, r.handle);
    for (const auto &lib : c.libs)
        p.d.exec("insert into pinterface (name,lib) values ('more','" + lib + "')");
    PluginDb::found(c.found);
    Open o(p);
    o.sink.take();

    EXPECT_EQ(tqdaq_refreshPResources(o.s), c.expected) << c.what;
    EXPECT_EQ(p.names(), c.names) << c.what;
    EXPECT_EQ(o.sink.take(), c.messages) << c.what;
    EXPECT_EQ(p.refreshes(), c.refreshes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refresh,
    ::testing::Values(RefreshCase{"VISA devices go, hand-made rows and the plug-in's present devices stay",
                                  {{"PXI1::3::INSTR", "718", true, nullptr},
                                   {"PXI1::4::INSTR", "718", false, nullptr},
                                   {kA1, "374", true, nullptr},
                                   {kGone, "374", true, nullptr}},
                                  {},
                                  {kB2},
                                  VI_SUCCESS,
                                  "PXI1::4::INSTR,usb0::0x3c5a::374::A1,usb0::0x3c5a::374::B2",
                                  {"removing physical resource PXI1::3::INSTR",
                                   "removing physical resource " + std::string(kGone),
                                   "Creating physical resource " + std::string(kB2)},
                                  1},
                      RefreshCase{"a device recorded as another model goes, and comes back as what it is",
                                  {{kA1, "718", true, nullptr}},
                                  {},
                                  {kA1},
                                  VI_SUCCESS,
                                  "usb0::0x3c5a::374::A1",
                                  {"removing physical resource " + std::string(kA1),
                                   "Creating physical resource " + std::string(kA1)},
                                  1},
                      RefreshCase{"a device open somewhere stops the check: nothing after it is looked at",
                                  {{kGone, "374", true, "12345"}, {"PXI1::3::INSTR", "718", true, nullptr}},
                                  {},
                                  {kB2},
                                  VI_SUCCESS,
                                  "PXI1::3::INSTR,usb0::0x3c5a::374::B2,usb0::0x3c5a::374::gone1",
                                  {"Creating physical resource " + std::string(kB2)},
                                  1},
                      RefreshCase{"the plug-ins before one that does not load ran; none after it",
                                  {},
                                  {"tqmnosuchplugin", "tqmtestplugin"},
                                  {kB2},
                                  TQDAQ_ERROR_STATEMENT,
                                  "usb0::0x3c5a::374::B2",
                                  {"Creating physical resource " + std::string(kB2)},
                                  1},
                      RefreshCase{"a plug-in's failure ends the walk with it",
                                  {},
                                  {"tqmtestplugin"},
                                  {"usb0::0x3c5a::999::X"},
                                  TQDAQ_ERROR_UNKNOWN_MODEL,
                                  "",
                                  {},
                                  1}));

TEST(RefreshAssigned, OpenDriversCloseAndAnAssignmentOutsideTheSelectedDatabaseIsFreed)
{
    PluginDb p;
    PluginDb::found({kA1, kB2});
    const int64_t member = p.d.addVresource("member", p.model374);
    const int64_t outsider = p.d.addVresource("outsider", p.model374);
    p.d.addMember(p.dbId, member, 1);
    Open o(p);
    ASSERT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_assignResource(o.s, "member", kA1), VI_SUCCESS);
    ASSERT_EQ(tqdaq_assignResource(o.s, "outsider", kB2), VI_SUCCESS);
    const std::string ids =
        p.d.value("select group_concat(presource_id) from (select presource_id from presource order by presource_id)");
    // An open driver of the session is closed before the devices are checked.
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(o.s, "member", &vi), VI_SUCCESS);
    ASSERT_NE(p.d.value("select deviceHandle from vresource where name='member'"), "NULL");

    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(p.d.value("select deviceHandle from vresource where name='member'"), "NULL");
    EXPECT_EQ(
        p.d.value("select group_concat(presource_id) from (select presource_id from presource order by presource_id)"),
        ids)
        << "the same rows";
    EXPECT_EQ(p.d.value(std::string("select vresource_id from presource where name='") + kA1 + "'"),
              std::to_string(member));
    EXPECT_EQ(p.d.value(std::string("select vresource_id from presource where name='") + kB2 + "'"), "NULL");
    (void)outsider;
}

TEST(RefreshController, WithoutVisaDiscoveryRunsForASessionThatIsNoLongerTheController)
{
    PluginDb p;
    PluginDb::found({kB2});
    Open o(p);
    p.d.exec("update system set user_id=(select users_id from users where username='other')");
    EXPECT_EQ(tqdaq_refreshPResources(o.s), VI_SUCCESS);
    EXPECT_EQ(p.names(), kB2);
}

TEST(AutoPopulate, GivesEveryDeviceAVirtualResourceInANewDatabase)
{
    PluginDb p(true);
    PluginDb::found({kA1, kB2});
    // A member without a device of its model stays disabled; that is no
    // failure here.
    const int64_t lonely = p.d.addVresource("lonely", p.model718);
    Open o(p);
    ASSERT_EQ(tqdaq_createDB(o.s, "fresh"), VI_SUCCESS);
    ASSERT_EQ(tqdaq_setDB(o.s, ""), VI_SUCCESS);
    const int64_t fresh = std::stoll(p.d.value("select db_id from db,vresource where db.vresource_id="
                                               "vresource.vresource_id and name='fresh'"));
    p.d.addMember(fresh, lonely, 1);
    o.sink.take();
    const size_t traced = readLines(p.d.debugLog()).size();

    EXPECT_EQ(tqdaq_autoPopulateDB(o.s, "fresh"), VI_SUCCESS);
    char name[TQDAQ_NAME_SIZE] = "";
    EXPECT_EQ(tqdaq_getDB(o.s, name), VI_SUCCESS);
    EXPECT_STREQ(name, "fresh");
    EXPECT_EQ(p.d.value("select group_concat(a) from (select presource.name || '=' || vresource.name || '/' || "
                        "db_resource.enable as a from presource,vresource,db_resource where "
                        "presource.vresource_id=vresource.vresource_id and db_resource.vresource_id="
                        "vresource.vresource_id and db_resource.db_id=" +
                        std::to_string(fresh) + " order by presource.name)"),
              "usb0::0x3c5a::374::A1=usb0__0x3c5a__374__A1/1,usb0::0x3c5a::374::B2=usb0__0x3c5a__374__B2/1");
    EXPECT_EQ(p.d.value("select enable from db_resource where vresource_id=" + std::to_string(lonely)), "0");
    const auto messages = o.sink.take();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "Auto populate:Begin.");
    EXPECT_EQ(messages.back(), "Auto populate: Complete.");

    // Each step traces under its own name, the whole call last.
    const auto lines = readLines(p.d.debugLog());
    std::vector<std::string> calls;
    for (size_t i = traced; i < lines.size(); ++i)
        for (const char *call : {"tqdaq_createDB", "tqdaq_refreshPResources", "tqdaq_assignAllVresources",
                                 "tqdaq_assignAllPresources", "tqdaq_autoPopulateDB"})
            if (lines[i].rfind(std::string(call) + "(", 0) == 0)
                calls.emplace_back(call);
    EXPECT_EQ(calls, (std::vector<std::string>{"tqdaq_createDB", "tqdaq_refreshPResources", "tqdaq_assignAllVresources",
                                               "tqdaq_assignAllPresources", "tqdaq_autoPopulateDB"}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(lines.back().find("(operator)")), "(operator),fresh) retVal=0");
}

TEST(AutoPopulate, TheFirstFailureEndsTheChain)
{
    PluginDb p;
    PluginDb::found({"usb0::0x3c5a::999::X"});
    Open o(p);
    o.sink.take();
    EXPECT_EQ(tqdaq_autoPopulateDB(o.s, "fresh"), TQDAQ_ERROR_UNKNOWN_MODEL);
    EXPECT_EQ(p.d.value("select count(*) from vresource where description='created by tqdaq_assignAllPresources'"),
              "0");
    EXPECT_EQ(o.sink.take(),
              (std::vector<std::string>{"Auto populate:Begin.", "Created fresh", "Auto populate: Complete."}));
}

} // namespace
