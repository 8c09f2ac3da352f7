// The manager's inside, on a session record made by hand: physical
// resources opened for inspection, closing what is marked, the lookups by
// name, and marks.
#include <unistd.h>

#include "fixture.h"
#include "manager.h"

using namespace mtest;
using namespace tq::manager;

extern "C" int tqmtest_liveInstances();

namespace
{

struct Inside {
    Inside() : d(testDir())
    {
        appModel = d.addAppModel();
        testModel = d.addTestModel();
        dbId = d.addDatabase("system", appModel);
        member = d.addVresource("m1", testModel);
        d.exec("insert into presource (name,model_id,vresource_id) values ('PXI9::4::INSTR'," +
               std::to_string(testModel) + "," + std::to_string(member) + ")");
        s.db = tq::devicedb::openDeviceDatabase();
        s.modelId = appModel;
        s.userName = "operator";
        s.handle = sessionTable().add(&s);
    }
    ~Inside()
    {
        unloadRemaining(&s);
        sessionTable().remove(s.handle);
        tq::devicedb::closeDeviceDatabase(s.db);
    }
    DeviceDb d;
    Session s;
    int64_t appModel = 0, testModel = 0, dbId = 0, member = 0;
};

TEST(OpenPresource, OpensWithoutMarkOrNotification)
{
    Inside in;
    OpenResource *r = nullptr;
    ASSERT_EQ(openPresource(&in.s, "PXI9::4::INSTR", &r), VI_SUCCESS);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->openedAsVirtual);
    EXPECT_EQ(in.d.value("select count(*) from presource where deviceHandle is not null"), "0");
    EXPECT_EQ(readLines(in.d.driverLog()), std::vector<std::string>{"PXI9::4::INSTR init"});
    EXPECT_EQ(closeResource(&in.s, r), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 0);

    EXPECT_EQ(openPresource(&in.s, "PXI0::0::INSTR", &r), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(openPresource(&in.s, "x' or '1'='1", &r), TQDAQ_ERROR_UNKNOWN_VRSRC);
    EXPECT_EQ(openPresource(&in.s, nullptr, &r), TQDAQ_ERROR_UNKNOWN_VRSRC);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
}

TEST(CloseAllResources, ClosesMarkedPhysicalAndVirtualButNotTheDatabasesOwn)
{
    Inside in;
    OpenResource *p = nullptr, *v = nullptr, *own = nullptr;
    ASSERT_EQ(openPresource(&in.s, "PXI9::4::INSTR", &p), VI_SUCCESS);
    ASSERT_EQ(openPnP(&in.s, nullptr, "m1", "tqmtestdriver", "tqmtest", nullptr, &v), VI_SUCCESS);
    ASSERT_EQ(openPnP(&in.s, nullptr, "own", "tqmtestdriver", "tqmtest", nullptr, &own), VI_SUCCESS);
    v->openedAsVirtual = own->openedAsVirtual = true;
    in.d.exec("update presource set deviceHandle=" + std::to_string(markOf(p->handle)));
    in.d.exec("update vresource set deviceHandle=" + std::to_string(markOf(v->handle)) + " where name='m1'");
    in.d.exec("update vresource set deviceHandle=" + std::to_string(markOf(own->handle)) + " where name='system'");
    ASSERT_EQ(tqmtest_liveInstances(), 3);

    EXPECT_EQ(closeAllResources(&in.s), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 1);
    EXPECT_EQ(in.d.value("select count(*) from presource where deviceHandle is not null"), "0");
    EXPECT_EQ(in.d.value("select name from vresource where deviceHandle is not null"), "system");
    ASSERT_EQ(in.s.loaded.size(), 1u);
    EXPECT_EQ(in.s.loaded.front(), own);
}

TEST(Lookups, ByName)
{
    Inside in;
    const int64_t other = in.d.addModel(1, 1, "o", "o", {});
    const int64_t foreignDb = in.d.addDatabase("foreign", other, false);
    struct Case {
        const char *what;
        ViStatus (*call)(Session *, const char *, int64_t *);
        const char *name;
        ViStatus status;
        int64_t id;
    };
    for (const Case &c : {
             Case{"resource", vresourceIdByName, "m1", VI_SUCCESS, in.member},
             Case{"unknown resource", vresourceIdByName, "none", TQDAQ_ERROR_STATEMENT, 0},
             Case{"quoted resource", vresourceIdByName, "m1' or '1'='1", TQDAQ_ERROR_STATEMENT, 0},
             Case{"database", dbIdByName, "system", VI_SUCCESS, in.dbId},
             Case{"another model's database by name", dbIdByName, "foreign", VI_SUCCESS, foreignDb},
             Case{"resource that is no database", dbIdByName, "m1", TQDAQ_ERROR_NO_DATABASE, 0},
             Case{"selected database", dbIdByName, nullptr, VI_SUCCESS, in.dbId},
             Case{"selected database, empty name", dbIdByName, "", VI_SUCCESS, in.dbId},
         }) {
        int64_t id = 0;
        EXPECT_EQ(c.call(&in.s, c.name, &id), c.status) << c.what;
        EXPECT_EQ(id, c.id) << c.what;
    }
    int64_t id = 0;
    in.d.exec("update system set db_id=" + std::to_string(foreignDb));
    EXPECT_EQ(dbIdByName(&in.s, nullptr, &id), TQDAQ_ERROR_OTHER_MODEL);
    in.d.exec("update system set db_id=NULL");
    EXPECT_EQ(dbIdByName(&in.s, nullptr, &id), TQDAQ_ERROR_NO_DATABASE);

    EXPECT_EQ(checkDatabaseModel(&in.s, "system"), VI_SUCCESS);
    EXPECT_EQ(checkDatabaseModel(&in.s, "foreign"), TQDAQ_ERROR_OTHER_MODEL);
    EXPECT_EQ(checkDatabaseModel(&in.s, "none"), VI_ERROR_INV_PARAMETER);
}

TEST(Marks, NameTheirProcess)
{
    Inside in;
    const int64_t mark = markOf(in.s.handle);
    EXPECT_EQ(handleOfMark(mark), in.s.handle);
    EXPECT_EQ(handleOfMark(mark + (int64_t{1} << 32)), std::nullopt) << "another process";
    EXPECT_EQ(handleOfMark(static_cast<int64_t>(in.s.handle)), std::nullopt) << "a bare handle";
    EXPECT_EQ(handleOfMark(0), std::nullopt);
    // A session's mark never names an open resource.
    EXPECT_EQ(resourceOfMark(std::to_string(mark).c_str()), nullptr);
}

} // namespace

namespace
{

TEST(SessionRecord, HoldsAFormulaEngineAndItsOutputStream)
{
    AppDb app;
    ViSession h = 0;
    ASSERT_EQ(app.open(h), VI_SUCCESS);
    Session *s = findSession(h);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->engine, nullptr);
    ASSERT_NE(s->formulaStream, nullptr);
    EXPECT_EQ(s->formulaStream, s->engine->outputStream);
    EXPECT_EQ(s->userName, "operator");
    EXPECT_EQ(s->modelId, app.appModel);
    EXPECT_TRUE(s->progressMessages);
    EXPECT_EQ(s->simulationMode, 0);
    EXPECT_EQ(tqdaq_closeHandle(h), VI_SUCCESS); // releases both (the sanitizer build sees leaks)
    EXPECT_EQ(findSession(h), nullptr);
}

} // namespace
