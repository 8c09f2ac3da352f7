// Virtual resources after their creation: deleting (carriers with their
// modules), renaming with the stored references, membership and the enable
// flag, option values, and names that must never reach a statement.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

extern "C" int tqmtest_liveInstances();

namespace
{

// The application database with the test driver's model (an InstrumentName
// option and an "EchoRange" option that the test driver reads back as
// "Range"), and helpers that write resources, devices and mountings.
struct Resources : AppDb {
    Resources()
    {
        testModel = d.addTestModel();
        nameItem = d.addInstrumentNameOption(testModel);
        const std::string cat = d.value("select category_id from ui_item where ui_item_id=" + std::to_string(nameItem));
        rangeItem = d.insert("insert into ui_item (category_id,type,property,dflt) values (" + cat +
                             ",'menu','EchoRange','1')");
    }
    int64_t resource(const std::string &name)
    {
        const int64_t v = d.addVresource(name, testModel);
        d.setInstrumentName(v, nameItem, name);
        d.exec("insert into vresource_options (vresource_id,ui_item_id,value) values (" + std::to_string(v) + "," +
               std::to_string(rangeItem) + ",'1')");
        return v;
    }
    int64_t device(const std::string &name, int64_t assignedTo = 0)
    {
        return d.insert("insert into presource (name,model_id,vresource_id) values ('" + name + "'," +
                        std::to_string(testModel) + "," + (assignedTo ? std::to_string(assignedTo) : "NULL") + ")");
    }
    void mount(int64_t module, int64_t carrier, int site)
    {
        d.exec("insert into vadapter (frontend_id,backend_id,connector_index) values (" + std::to_string(module) + "," +
               std::to_string(carrier) + "," + std::to_string(site) + ")");
    }
    void otherController() { d.exec("update system set user_id=(select users_id from users where username='other')"); }
    std::string id(const std::string &name) { return d.value("select vresource_id from vresource where name='" + name + "'"); }
    // The uiEvent arguments the database's instrument got since `from`.
    std::vector<std::string> told(size_t from)
    {
        std::vector<std::string> out;
        const auto log = readLines(d.appLog());
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].rfind("doOperation uiEvent ", 0) == 0 && log[i].find("pnpload") == std::string::npos &&
                log[i].find("pnpunload") == std::string::npos)
                out.push_back(log[i].substr(20));
        return out;
    }
    int64_t testModel = 0, nameItem = 0, rangeItem = 0;
};

// A session on the database, closed at the end of the test.
struct Open {
    explicit Open(Resources &r)
    {
        EXPECT_EQ(r.open(s), VI_SUCCESS);
        EXPECT_EQ(tqdaq_registerStreamMsg(s, sink.queue), VI_SUCCESS);
    }
    ~Open() { tqdaq_closeHandle(s); }
    ViSession s = 0;
    Sink sink;
};

// ---------------------------------------------------------------------------

struct DeleteCase {
    const char *what;
    std::function<void(Resources &)> arrange;
    const char *name;
    ViStatus expected;
    std::vector<std::string> gone; // resources deleted on success
};

class DeleteVresource : public ::testing::TestWithParam<DeleteCase>
{
};

// A carrier "rack" with modules on sites 1 and 3, the first one running on
// device "dev1" with its driver open.
void carrier(Resources &r)
{
    const int64_t rack = r.resource("rack");
    const int64_t m1 = r.resource("rack_IP1"), m3 = r.resource("rack_IP3");
    r.mount(m1, rack, 1);
    r.mount(m3, rack, 3);
    r.device("dev1", m1);
}

TEST_P(DeleteVresource, DeletesWholeOrRefuses)
{
    const DeleteCase &c = GetParam();
    Resources r;
    r.resource("plain");
    Open o(r);
    if (c.arrange)
        c.arrange(r);
    const int before = tqmtest_liveInstances();
    ViSession driver = 0;
    if (!r.id("rack_IP1").empty()) {
        ASSERT_EQ(tqdaq_getVresourceSession(o.s, "rack_IP1", &driver), VI_SUCCESS);
    }
    const std::string dump = r.d.dump();

    EXPECT_EQ(tqdaq_deleteVresource(o.s, c.name), c.expected) << c.what;

    if (c.expected != VI_SUCCESS) {
        EXPECT_EQ(r.d.dump(), dump) << c.what << ": nothing deleted";
        return;
    }
    for (const std::string &name : c.gone)
        EXPECT_EQ(r.id(name), "") << c.what << ": " << name;
    // Nothing of theirs is left behind, and what they ran on is free.
    EXPECT_EQ(r.d.value("select count(*) from vresource_options where vresource_id not in (select vresource_id "
                        "from vresource)"),
              "0")
        << c.what;
    EXPECT_EQ(r.d.value("select count(*) from vadapter where frontend_id not in (select vresource_id from vresource) "
                        "or backend_id not in (select vresource_id from vresource)"),
              "0")
        << c.what;
    EXPECT_EQ(r.d.value("select count(*) from presource where vresource_id is not null and vresource_id not in "
                        "(select vresource_id from vresource)"),
              "0")
        << c.what;
    const bool moduleGone = std::find(c.gone.begin(), c.gone.end(), "rack_IP1") != c.gone.end();
    EXPECT_EQ(tqmtest_liveInstances(), before + (driver && !moduleGone ? 1 : 0))
        << c.what << ": the drivers of what was deleted are closed";
    EXPECT_EQ(r.id("plain").empty(), std::string(c.name) == "plain") << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteVresource,
    ::testing::Values(
        DeleteCase{"an unused resource", nullptr, "plain", VI_SUCCESS, {"plain"}},
        DeleteCase{"a resource with a stored value",
                   [](Resources &r) { r.d.setConfig(r.dbId, std::stoll(r.id("plain")), "Rank", "1"); }, "plain",
                   TQDAQ_ERROR_VRSRC_IN_USE, {}},
        DeleteCase{"a member of another database",
                   [](Resources &r) {
                       const int64_t other = r.d.addDatabase("other", r.appModel, false);
                       r.d.addMember(other, std::stoll(r.id("plain")), 0);
                   },
                   "plain", TQDAQ_ERROR_VRSRC_IN_USE, {}},
        DeleteCase{"the selected database's own resource", nullptr, "system", TQDAQ_ERROR_VRSRC_IN_USE, {}},
        DeleteCase{"an unknown name", nullptr, "nobody", TQDAQ_ERROR_STATEMENT, {}},
        DeleteCase{"a carrier goes with its modules, their options, mountings and devices", carrier, "rack",
                   VI_SUCCESS, {"rack", "rack_IP1", "rack_IP3"}},
        DeleteCase{"a carrier whose module is a member",
                   [](Resources &r) {
                       carrier(r);
                       r.d.addMember(r.dbId, std::stoll(r.id("rack_IP3")), 0);
                   },
                   "rack", TQDAQ_ERROR_VRSRC_IN_USE, {}},
        DeleteCase{"a carrier whose module has stored values",
                   [](Resources &r) {
                       carrier(r);
                       r.d.setConfig(r.dbId, std::stoll(r.id("rack_IP1")), "Rank", "2");
                   },
                   "rack", TQDAQ_ERROR_VRSRC_IN_USE, {}},
        DeleteCase{"a module alone leaves its carrier", carrier, "rack_IP3", VI_SUCCESS, {"rack_IP3"}},
        DeleteCase{"not the controller", [](Resources &r) { r.otherController(); }, "plain",
                   TQDAQ_ERROR_NOT_CONTROLLER, {}}));

TEST(DeleteVresourceReports, MessagesAndNotificationsPerResource)
{
    Resources r;
    carrier(r);
    Open o(r);
    const size_t from = readLines(r.d.appLog()).size();
    ASSERT_EQ(tqdaq_deleteVresource(o.s, "rack"), VI_SUCCESS);
    const auto messages = o.sink.take();
    EXPECT_EQ(messages, (std::vector<std::string>{"Deleted rack_IP1", "Deleted rack_IP3", "Deleted rack"}));
    EXPECT_EQ(r.told(from), (std::vector<std::string>{"delete;completion;rack_IP1", "delete;completion;rack_IP3",
                                                      "delete;completion;rack"}));
}

// ---------------------------------------------------------------------------

// Stored references to channel 1 of A and of AB in both forms, in a
// configuration value and a formula.
struct RenameDb : Resources {
    RenameDb()
    {
        a = resource("A");
        resource("AB");
        const int64_t holder = resource("C");
        d.setConfig(dbId, holder, "Expression", "&lt;A-1&gt; + &lt;AB-1&gt; + [A-2] + [AB-2]");
        d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(dbId) +
               ",'f','=','&lt;A-1&gt;*[A-2]-&lt;AB-1&gt;/[AB-2]')");
    }
    std::string config() { return d.value("select value from configs where property='Expression'"); }
    std::string formula() { return d.value("select expression from formula where name='f'"); }
    std::string option(const std::string &name)
    {
        return d.value("select value from vresource_options,vresource where vresource.name='" + name +
                       "' and vresource_options.vresource_id=vresource.vresource_id and ui_item_id=" +
                       std::to_string(nameItem));
    }
    int64_t a = 0;
};

struct RenameCase {
    const char *what;
    const char *arrange; // SQL, or null
    const char *from;
    const char *to;
    ViStatus expected;
    const char *config; // the stored value afterwards (null: unchanged)
    const char *formula;
    const char *message;
};

class RenameResource : public ::testing::TestWithParam<RenameCase>
{
};

TEST_P(RenameResource, KeepsReferencesInStep)
{
    const RenameCase &c = GetParam();
    RenameDb r;
    if (c.arrange)
        r.d.exec(c.arrange);
    Open o(r);
    const std::string config = r.config(), formula = r.formula();
    const std::string dump = r.d.dump();

    EXPECT_EQ(tqdaq_renameResource(o.s, c.from, c.to), c.expected) << c.what;
    EXPECT_EQ(o.sink.take(), std::vector<std::string>{c.message}) << c.what;
    if (c.expected != VI_SUCCESS) {
        EXPECT_EQ(r.config(), config) << c.what;
        EXPECT_EQ(r.formula(), formula) << c.what;
        if (std::string(c.what).find("taken") != std::string::npos) {
            EXPECT_EQ(r.d.dump(), dump) << c.what << ": nothing opened or changed";
        }
        return;
    }
    EXPECT_EQ(r.config(), c.config) << c.what;
    EXPECT_EQ(r.formula(), c.formula) << c.what;
    EXPECT_EQ(r.id(c.to), std::to_string(r.a)) << c.what;
    EXPECT_EQ(r.option(c.to), c.to) << c.what << ": the InstrumentName option";
    // The open driver got the new name: it reports it when it is unloaded.
    const size_t from = readLines(r.d.appLog()).size();
    EXPECT_EQ(tqdaq_closeVresource(o.s, c.to), VI_SUCCESS);
    const auto log = readLines(r.d.appLog());
    EXPECT_NE(std::find(log.begin() + static_cast<long>(from), log.end(),
                        std::string("doOperation uiEvent pnpunload;instrument;") + c.to),
              log.end())
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenameResource,
    ::testing::Values(
        RenameCase{"A to B leaves AB alone", nullptr, "A", "B", VI_SUCCESS,
                   "&lt;B-1&gt; + &lt;AB-1&gt; + [B-2] + [AB-2]", "&lt;B-1&gt;*[B-2]-&lt;AB-1&gt;/[AB-2]",
                   "Rename A as B"},
        RenameCase{"to its own name", nullptr, "A", "A", VI_SUCCESS, "&lt;A-1&gt; + &lt;AB-1&gt; + [A-2] + [AB-2]",
                   "&lt;A-1&gt;*[A-2]-&lt;AB-1&gt;/[AB-2]", "Rename A as A"},
        RenameCase{"to a taken name", nullptr, "A", "AB", TQDAQ_ERROR_NAME_EXISTS, nullptr, nullptr,
                   "Rename resource A failed"},
        RenameCase{"an unknown resource", nullptr, "Z", "B", TQDAQ_ERROR_UNKNOWN_VRSRC, nullptr, nullptr,
                   "Rename resource Z failed"},
        RenameCase{"to an empty name", nullptr, "A", "", VI_ERROR_INV_PARAMETER, nullptr, nullptr,
                   "Rename resource A failed"},
        RenameCase{"a rewrite that fails takes back the others",
                   "create trigger refuse before update on formula begin select raise(abort,'no'); end", "A", "B",
                   TQDAQ_ERROR_STATEMENT, nullptr, nullptr, "Rename resource A failed"}));

// ---------------------------------------------------------------------------

TEST(LinkVresource, MembershipAndNotifications)
{
    Resources r;
    r.resource("a");
    const int64_t b = r.resource("b");
    r.d.setConfig(r.dbId, b, "Rank", "1");
    r.d.addMember(r.dbId, b, 1);
    Open o(r);
    const size_t from = readLines(r.d.appLog()).size();

    EXPECT_EQ(tqdaq_linkVresource(o.s, "a"), VI_SUCCESS);
    EXPECT_EQ(r.d.value("select enable from db_resource where vresource_id=" + r.id("a")), "1");
    EXPECT_EQ(tqdaq_linkVresource(o.s, "a"), TQDAQ_ERROR_NAME_EXISTS);
    EXPECT_EQ(tqdaq_linkVresource(o.s, "nobody"), TQDAQ_ERROR_STATEMENT);
    // Every member goes, with its stored values; each one is told by name.
    EXPECT_EQ(tqdaq_unlinkVresource(o.s, nullptr), VI_SUCCESS);
    EXPECT_EQ(r.d.value("select count(*) from db_resource"), "0");
    EXPECT_EQ(r.d.value("select count(*) from configs"), "0");
    auto told = r.told(from);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0], "link;completion;a");
    std::sort(told.begin() + 1, told.end());
    EXPECT_EQ(told, (std::vector<std::string>{"link;completion;a", "unlink;completion;a", "unlink;completion;b"}));
    // A refused session is refused as a failed statement.
    r.otherController();
    EXPECT_EQ(tqdaq_linkVresource(o.s, "a"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_unlinkVresource(o.s, "a"), TQDAQ_ERROR_NOT_CONTROLLER);
}

// Every member is walked; the result is the last member's.
TEST(UnlinkVresource, AFailedRowKeepsItsMembershipAndTheLastRowGivesTheResult)
{
    for (const bool lastFails : {false, true}) {
        Resources r;
        const int64_t a = r.resource("a"), b = r.resource("b");
        r.d.addMember(r.dbId, a);
        r.d.addMember(r.dbId, b);
        const int64_t refused = lastFails ? b : a;
        r.d.setConfig(r.dbId, refused, "Rank", "1");
        r.d.exec("create trigger refuse before delete on configs when old.vresource_id=" + std::to_string(refused) +
                 " begin select raise(abort,'no'); end");
        Open o(r);
        EXPECT_EQ(tqdaq_unlinkVresource(o.s, ""), lastFails ? TQDAQ_ERROR_STATEMENT : VI_SUCCESS) << lastFails;
        EXPECT_EQ(r.d.value("select group_concat(vresource_id) from db_resource"), std::to_string(refused))
            << lastFails;
    }
}

// ---------------------------------------------------------------------------

struct EnableCase {
    const char *what;
    const char *arrange; // SQL run before the call, or null
    const char *name;
    ViInt16 enable;
    ViStatus expected;
    const char *flags; // "m1,m2,m3" enable values afterwards
    std::vector<std::string> messages;
};

class SetVresourceEnable : public ::testing::TestWithParam<EnableCase>
{
};

// Members m1, m2, m3 in this order, disabled; m1 and m3 have devices.
TEST_P(SetVresourceEnable, GivesTheLastRowsResult)
{
    const EnableCase &c = GetParam();
    Resources r;
    for (const char *m : {"m1", "m2", "m3"}) {
        const int64_t v = r.resource(m);
        r.d.addMember(r.dbId, v, 0);
        if (std::string(m) != "m2")
            r.device(std::string("dev_") + m, v);
    }
    Open o(r);
    if (c.arrange)
        r.d.exec(c.arrange);
    EXPECT_EQ(tqdaq_setVresourceEnable(o.s, c.name, c.enable), c.expected) << c.what;
    EXPECT_EQ(r.d.value("select group_concat(enable) from (select enable from db_resource order by vresource_id)"),
              c.flags)
        << c.what;
    EXPECT_EQ(o.sink.take(), c.messages) << c.what;
}

const char *const kRefuseM1 = "create trigger refuse before update on db_resource when old.vresource_id="
                              "(select vresource_id from vresource where name='m1') begin select raise(abort,'no'); "
                              "end";
INSTANTIATE_TEST_SUITE_P(
    Cases, SetVresourceEnable,
    ::testing::Values(
        EnableCase{"every member, one without a device", nullptr, nullptr, 1, VI_ERROR_INV_SETUP, "1,0,0",
                   {"m2:Can't enable because resource not assigned to any device."}},
        EnableCase{"one member", nullptr, "m3", 1, VI_SUCCESS, "0,0,1", {}},
        EnableCase{"a value other than 1 stores 0", "update db_resource set enable=1", "m1", 2, VI_SUCCESS, "0,1,1",
                   {}},
        EnableCase{"disabling every member", "update db_resource set enable=1", "", 0, VI_SUCCESS, "0,0,0", {}},
        EnableCase{"disabling goes on after a failed update, and the last row's result counts",
                   "update db_resource set enable=1; create trigger refuse before update on db_resource when "
                   "old.vresource_id=(select vresource_id from vresource where name='m1') begin select "
                   "raise(abort,'no'); end",
                   nullptr, 0, VI_SUCCESS, "1,0,0", {}},
        EnableCase{"disabling: the last row failing is the result",
                   "update db_resource set enable=1; create trigger refuse before update on db_resource when "
                   "old.vresource_id=(select vresource_id from vresource where name='m3') begin select "
                   "raise(abort,'no'); end",
                   nullptr, 0, TQDAQ_ERROR_STATEMENT, "0,0,1", {}},
        EnableCase{"enabling stops at a failed update", kRefuseM1, nullptr, 1, TQDAQ_ERROR_STATEMENT, "0,0,0", {}},
        EnableCase{"no database selected", "update system set db_id=NULL", nullptr, 1, TQDAQ_ERROR_STATEMENT, "0,0,0",
                   {}}));

TEST(SetVresourceEnable2, DisablingClosesTheDriver)
{
    Resources r;
    const int64_t v = r.resource("m1");
    r.d.addMember(r.dbId, v, 1);
    r.device("dev1", v);
    Open o(r);
    const int before = tqmtest_liveInstances();
    ViSession driver = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(o.s, "m1", &driver), VI_SUCCESS);
    ASSERT_EQ(tqmtest_liveInstances(), before + 1);
    EXPECT_EQ(tqdaq_setVresourceEnable(o.s, "m1", 0), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), before);
    EXPECT_EQ(r.d.value("select enable from db_resource"), "0");
}

struct ReadEnableCase {
    const char *what;
    const char *name;
    const char *stored; // the member's stored flag, or null: not a member
    bool device;
    ViStatus expected;
    ViInt16 answer;
    const char *storedAfter;
};

class GetVresourceEnable : public ::testing::TestWithParam<ReadEnableCase>
{
};

TEST_P(GetVresourceEnable, AnswersAndCorrects)
{
    const ReadEnableCase &c = GetParam();
    Resources r;
    const int64_t v = r.resource("m");
    if (c.stored)
        r.d.addMember(r.dbId, v, std::stoi(c.stored));
    if (c.device)
        r.device("dev", v);
    Open o(r);
    ViInt16 enable = -7;
    EXPECT_EQ(tqdaq_getVresourceEnable(o.s, c.name, &enable), c.expected) << c.what;
    EXPECT_EQ(enable, c.expected == VI_SUCCESS ? c.answer : -7) << c.what;
    if (c.stored) {
        EXPECT_EQ(r.d.value("select enable from db_resource"), c.storedAfter) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetVresourceEnable,
    ::testing::Values(ReadEnableCase{"enabled with a device", "m", "1", true, VI_SUCCESS, 1, "1"},
                      ReadEnableCase{"a stale 1 without a device", "m", "1", false, VI_SUCCESS, 0, "0"},
                      ReadEnableCase{"disabled with a device", "m", "0", true, VI_SUCCESS, 0, "0"},
                      ReadEnableCase{"a stored 2 reads 0", "m", "2", true, VI_SUCCESS, 0, "2"},
                      ReadEnableCase{"not a member", "m", nullptr, true, VI_SUCCESS, 0, nullptr},
                      ReadEnableCase{"the database's own resource", "system", nullptr, false, VI_SUCCESS, 1, nullptr},
                      ReadEnableCase{"an unknown name", "nobody", nullptr, false, TQDAQ_ERROR_STATEMENT, 0, nullptr}));

// ---------------------------------------------------------------------------

TEST(VresourceOptions, UpdateAndSyncFromTheDevice)
{
    Resources r;
    const int64_t v = r.resource("m");
    r.device("dev");
    Open o(r);
    const std::string dump = r.d.dump();
    EXPECT_EQ(tqdaq_updateVresourceOption(o.s, "m", "NoSuchProperty", "5"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_updateVresourceOption(o.s, "nobody", "EchoRange", "5"), VI_SUCCESS);
    EXPECT_EQ(r.d.dump(), dump) << "nothing written";
    EXPECT_EQ(tqdaq_updateVresourceOption(o.s, "m", "EchoRange", "it's 5"), VI_SUCCESS);
    EXPECT_EQ(r.d.value("select value from vresource_options where ui_item_id=" + std::to_string(r.rangeItem)),
              "it's 5");

    // The device reads "Range"; the resource's own name stays its own.
    const int before = tqmtest_liveInstances();
    EXPECT_EQ(tqdaq_syncVresourceOptions(o.s, "m", "dev"), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), before) << "the device's driver is closed again";
    EXPECT_EQ(r.d.value("select group_concat(value) from (select value from vresource_options where vresource_id=" +
                        std::to_string(v) + " order by ui_item_id)"),
              "m,Range");
    EXPECT_EQ(tqdaq_syncVresourceOptions(o.s, "m", "nodevice"), TQDAQ_ERROR_STATEMENT);
}

TEST(VresourceOptions, SyncReportsAnUnreadableOptionEvenWhenLaterOnesRead)
{
    Resources r;
    // An option the driver cannot read, stored before the readable one.
    const int64_t v = r.d.addVresource("m", r.testModel);
    const std::string cat = r.d.value("select category_id from ui_item where ui_item_id=" + std::to_string(r.nameItem));
    const int64_t gain =
        r.d.insert("insert into ui_item (category_id,type,property) values (" + cat + ",'int','Gain')");
    for (const int64_t item : {gain, r.rangeItem})
        r.d.exec("insert into vresource_options (vresource_id,ui_item_id,value) values (" + std::to_string(v) + "," +
                 std::to_string(item) + ",'3')");
    r.device("dev");
    Open o(r);
    EXPECT_EQ(tqdaq_syncVresourceOptions(o.s, "m", "dev"), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(r.d.value("select value from vresource_options where ui_item_id=" + std::to_string(r.rangeItem)),
              "Range")
        << "the readable options are still copied";
}

// ---------------------------------------------------------------------------

// Names no statement may carry: each call refuses them and changes nothing.
struct Injection {
    const char *what;
    std::function<ViStatus(ViSession, const char *)> call;
};

class NameInjection : public ::testing::TestWithParam<Injection>
{
};

TEST_P(NameInjection, RefusedAndNothingChanges)
{
    const Injection &c = GetParam();
    Resources r;
    const int64_t v = r.resource("m");
    r.d.addMember(r.dbId, v, 1);
    r.device("dev", v);
    Open o(r);
    const std::string longName(300, 'n');
    for (const std::string &bad : {std::string("m' or '1'='1"), std::string("x'; delete from vresource; --"),
                                  longName}) {
        const std::string dump = r.d.dump();
        const ViStatus st = c.call(o.s, bad.c_str());
        EXPECT_LT(st, VI_SUCCESS) << c.what << " with " << bad.substr(0, 40);
        EXPECT_EQ(r.d.dump(), dump) << c.what << " with " << bad.substr(0, 40);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryNameArgument, NameInjection,
    ::testing::Values(
        Injection{"deleteVresource", [](ViSession s, const char *n) { return tqdaq_deleteVresource(s, n); }},
        Injection{"renameResource old", [](ViSession s, const char *n) { return tqdaq_renameResource(s, n, "z"); }},
        Injection{"renameResource new", [](ViSession s, const char *n) { return tqdaq_renameResource(s, "m", n); }},
        Injection{"linkVresource", [](ViSession s, const char *n) { return tqdaq_linkVresource(s, n); }},
        Injection{"unlinkVresource", [](ViSession s, const char *n) { return tqdaq_unlinkVresource(s, n); }},
        Injection{"setVresourceEnable", [](ViSession s, const char *n) { return tqdaq_setVresourceEnable(s, n, 0); }},
        Injection{"getVresourceEnable",
                  [](ViSession s, const char *n) {
                      ViInt16 e = 0;
                      return tqdaq_getVresourceEnable(s, n, &e);
                  }},
        Injection{"updateVresourceOption name",
                  [](ViSession s, const char *n) { return tqdaq_updateVresourceOption(s, n, "EchoRange", "2"); }},
        Injection{"updateVresourceOption property",
                  [](ViSession s, const char *n) { return tqdaq_updateVresourceOption(s, "m", n, "2"); }},
        Injection{"syncVresourceOptions virtual",
                  [](ViSession s, const char *n) { return tqdaq_syncVresourceOptions(s, n, "dev"); }},
        Injection{"syncVresourceOptions physical",
                  [](ViSession s, const char *n) { return tqdaq_syncVresourceOptions(s, "m", n); }},
        Injection{"createPresource", [](ViSession s, const char *n) { return tqdaq_createPresource(s, n); }},
        Injection{"deletePresource", [](ViSession s, const char *n) { return tqdaq_deletePresource(s, n); }},
        Injection{"getPresourceName",
                  [](ViSession s, const char *n) {
                      char out[TQDAQ_NAME_SIZE] = "untouched";
                      const ViStatus st = tqdaq_getPresourceName(s, n, out);
                      return std::string(out) == "untouched" ? st : VI_SUCCESS;
                  }},
        Injection{"assignResource virtual", [](ViSession s, const char *n) { return tqdaq_assignResource(s, n, "dev"); }},
        Injection{"assignResource physical", [](ViSession s, const char *n) { return tqdaq_assignResource(s, "m", n); }},
        Injection{"assignAllVresources", [](ViSession s, const char *n) { return tqdaq_assignAllVresources(s, n); }},
        Injection{"assignAllPresources", [](ViSession s, const char *n) { return tqdaq_assignAllPresources(s, n); }}));

} // namespace
