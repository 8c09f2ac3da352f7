// The device database module and the schema the set-up script makes.
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "devicedb.h"
#include "fixture.h"

using namespace mtest;
using tq::devicedb::Statement;

namespace
{

// The statements the resource manager and the installers run, with sample
// values where they take one; each must prepare against the schema.
const char *const kStatements[] = {
    "update presource set deviceHandle=NULL",
    "update vresource set deviceHandle=NULL",
    "update users set handle=NULL",
    "delete from eventhandler",
    "select users_id,handle from users where username = 'x'",
    "select pnplibname,prefix,pinterface_id,model_id from model where vendor=1 and model=1",
    "update users set handle=1 where users_id = 1",
    "update users set handle=NULL where username='x'",
    "select system_id,users.username from system left join users  on users.users_id=system.user_id where "
    "system.system_id=1",
    "select users.users_id,users.username from system, users where system.system_id = 1  and "
    "system.user_id=users.users_id",
    "select users.users_id from users where users.username='x'",
    "select vresource.name from vresource,db_resource,system where db_resource.db_id=system.db_id  and "
    "system.system_id=1  and vresource.vresource_id=db_resource.vresource_id",
    "select vresource_id from vresource where vresource.name='x'",
    "select db.db_id from vresource,db where db.vresource_id=vresource.vresource_id  and vresource.name='x'",
    "select db.db_id,vresource.model_id from system,db,vresource where system.system_id=1  and "
    "db.db_id=system.db_id  and vresource.vresource_id=db.vresource_id",
    "select model_id from vresource where name='x'",
    "select configs.value from configs,system,category_attributes,ui,vresource,  presource where "
    "vresource.model_id=ui.model_id  and category_attributes.category_id=ui.category_id  and "
    "category_attributes.name='backendName'  and system.system_id=1  and system.db_id=configs.db_id  and "
    "configs.vresource_id=vresource.vresource_id  and configs.property=category_attributes.value  and "
    "vresource.vresource_id=presource.vresource_id  and presource.name='x'",
    "update vresource set deviceHandle=1 where name='x'",
    "select pnplibname,prefix,pinterface_id,  vresource.deviceHandle,  presource.name,vresource_options.value,"
    "vresource2.name,  vadapter.connector_index from vresource,model,system,db,vresource as vresource2 left join "
    "presource  on presource.vresource_id=vresource.vresource_id left join model_options  on "
    "model_options.model_id=model.model_id left join ui_item  on ui_item.category_id=model_options.category_id   "
    "and ui_item.property='InstrumentName' left join vresource_options  on "
    "vresource_options.ui_item_id=ui_item.ui_item_id   and vresource_options.vresource_id=vresource.vresource_id "
    "left join vadapter  on vadapter.frontend_id=vresource.vresource_id where vresource.name='x'  and "
    "vresource.model_id=model.model_id  and system.db_id=db.db_id  and db.vresource_id=vresource2.vresource_id",
    "select mask,callback,userdata,msgbuf from eventhandler where rsrcname='x'",
    "select pnplibname,prefix,pinterface_id from model,presource where model.model_id=presource.model_id  and "
    "presource.name='x'",
    "update vresource set deviceHandle=null where deviceHandle=1",
    "update presource set deviceHandle=null where deviceHandle=1",
    "select presource_id,deviceHandle from presource where deviceHandle not null",
    "select vresource.vresource_id,vresource.deviceHandle from vresource where vresource.deviceHandle not null  "
    "and vresource.vresource_id not in   (select db.vresource_id from db)",
    "select vresource.name from vresource,operation left join configs on configs.vresource_id=   "
    "vresource.vresource_id  and configs.property='Rank'  and configs.seq_id=1  and configs.db_id=(select db_id "
    "from system where system_id=1) where operation.operation='start'  and vresource.model_id=operation.model_id  "
    "and ((vresource.vresource_id in (select vresource.vresource_id   from vresource,db_resource,system   where "
    "system.db_id=db_resource.db_id    and vresource.vresource_id=db_resource.vresource_id    and "
    "db_resource.enable=1   ))  or (vresource.vresource_id in (select vresource.vresource_id   from "
    "vresource,system,db   where system.db_id=db.db_id    and db.vresource_id=vresource.vresource_id))) and "
    "vresource.name='x' order by configs.value asc",
    "insert into eventhandler values('x',1, 2, 3, 4)",
    "delete from eventhandler where rsrcname='x' and mask=1 and callback=2 and userdata=3",
    "select vresource.name,vresource.model_id from system,db,vresource where system.system_id = 1 and "
    "system.db_id=db.db_id and db.vresource_id=vresource.vresource_id",
    "begin immediate transaction",
    // Text literals in double quotes, as the listings write them.
    "select \"a\" as name, username from users where username <> \"\"",
};

class Schema : public ::testing::TestWithParam<const char *>
{
  protected:
    static void SetUpTestSuite()
    {
        const char *base = std::getenv("TQ_TEST_TMPDIR");
        const std::string dir = std::string(base ? base : "/tmp") + "/manager/schema";
        std::system(("rm -rf '" + dir + "'").c_str());
        ASSERT_EQ(runScript("--root '" + dir + "'"), 0);
        setenv("VPNPPATH", dir.c_str(), 1);
        db_ = tq::devicedb::openDeviceDatabase();
        ASSERT_NE(db_, nullptr);
    }
    static void TearDownTestSuite() { tq::devicedb::closeDeviceDatabase(db_); }
    static sqlite3 *db_;
};
sqlite3 *Schema::db_ = nullptr;

TEST_P(Schema, StatementPrepares)
{
    Statement s(db_, GetParam());
    EXPECT_TRUE(s.ok()) << GetParam() << ": " << sqlite3_errmsg(db_);
}

INSTANTIATE_TEST_SUITE_P(Statements, Schema, ::testing::ValuesIn(kStatements));

TEST(Schema, ControllerUpdateWithQualifiedColumnNeverPrepares)
{
    // Why the controller is named with an unqualified column.
    DeviceDb d(testDir());
    Statement bad(d.db(), "update system set system.user_id=2 where system.system_id=1 ");
    EXPECT_FALSE(bad.ok());
    Statement good(d.db(), "update system set user_id=? where system_id=1 and user_id is null", int64_t{2});
    EXPECT_TRUE(good.ok());
}

TEST(SetupScript, MakesRowsAndDefaultsTheWalksNeed)
{
    DeviceDb d(testDir());
    EXPECT_EQ(d.value("pragma journal_mode"), "wal");
    EXPECT_EQ(d.value("select count(*) from system"), "1");
    EXPECT_EQ(d.value("select username from system,users where users_id=user_id and system_id=1"), "operator");
    EXPECT_EQ(d.value("select datapath from system"), testDir() + "/data");
    EXPECT_EQ(d.value("select db_id from system"), "NULL");
    EXPECT_EQ(d.value("select count(*) from users"), "2");

    const int64_t m = d.insert("insert into model (vendor,model,prefix,pnplibname) values (1,2,'p','l')");
    EXPECT_EQ(d.value("select description from model"), "");
    d.exec("update model set description=description||'help'");
    EXPECT_EQ(d.value("select description from model"), "help");
    const int64_t cat = d.insert("insert into category (name) values ('c')");
    d.insert("insert into ui_item (category_id,type,property) values (" + std::to_string(cat) + ",'menu','P')");
    EXPECT_EQ(d.value("select ispostresetunknown||description from ui_item"), "0");
    d.insert("insert into operation (model_id,operation) values (" + std::to_string(m) + ",'start')");
    EXPECT_EQ(d.value("select description from operation"), "");

    const int64_t v = d.addVresource("r", m);
    d.exec("insert into db_resource (db_id,vresource_id) values (1," + std::to_string(v) + ")");
    EXPECT_EQ(d.value("select count(*) from db_resource where enable=1"), "1");
    d.exec("insert into presource (name,model_id) values ('p'," + std::to_string(m) + ")");
    EXPECT_EQ(d.value("select count(*) from presource where autodetect==1 and deviceHandle is null"), "1");

    // Indices inserted bare and looked up quoted meet.
    d.exec("insert into configs (db_id,vresource_id,property,property_index,value) values (1,1,'p',3,'v')");
    EXPECT_EQ(d.value("select value from configs where property_index='3'"), "v");

    // A deleted row's id is never handed out again.
    d.exec("delete from vresource where vresource_id=" + std::to_string(v));
    EXPECT_GT(d.addVresource("r2", m), v);

    // Duplicates are constraint failures.
    for (const char *dup : {"insert into vresource (name,model_id) values ('r2',1)",
                            "insert into presource (name,model_id) values ('p',1)",
                            "insert into db_resource (db_id,vresource_id) values (1,1);"
                            "insert into db_resource (db_id,vresource_id) values (1,1)",
                            "insert into appdata (key,value,db_id) values ('k','a',1);"
                            "insert into appdata (key,value,db_id) values ('k','b',1)"}) {
        EXPECT_EQ(sqlite3_exec(d.db(), dup, nullptr, nullptr, nullptr), SQLITE_CONSTRAINT) << dup;
    }
}

TEST(SetupScript, RefusesAnExistingFile)
{
    DeviceDb d(testDir());
    d.exec("insert into users (username) values ('kept')");
    EXPECT_NE(runScript("--root '" + testDir() + "'"), 0);
    EXPECT_EQ(d.value("select count(*) from users where username='kept'"), "1");
}

TEST(SetupScript, QuotesInNamesAreData)
{
    const std::string dir = testDir();
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_EQ(runScript("--root '" + dir + "' --controller \"o'brien\" --user \"x'); drop table users; --\""), 0);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/winnt/tqdaq/device").c_str(), &db), SQLITE_OK);
    {
        Statement q(db, "select count(*) from users where username in ('o''brien','x''); drop table users; --')");
        ASSERT_EQ(q.step(), SQLITE_ROW);
        EXPECT_STREQ(q.text(0), "2");
        Statement c(db, "select username from users,system where users_id=user_id");
        ASSERT_EQ(c.step(), SQLITE_ROW);
        EXPECT_STREQ(c.text(0), "o'brien");
    }
    sqlite3_close(db);
}

struct PathCase {
    const char *vpnppath;
    const char *vxipnppath;
    std::string expected;
};

TEST(DatabasePath, RootFromTheEnvironment)
{
    const std::string longRoot = "/" + std::string(240, 'r');
    for (const PathCase &c :
         {PathCase{"/a", "/b", "/a/winnt/tqdaq/device"}, PathCase{nullptr, "/b", "/b/winnt/tqdaq/device"},
          PathCase{nullptr, nullptr, "/usr/local/vxipnp/winnt/tqdaq/device"},
          PathCase{longRoot.c_str(), nullptr, ""}}) {
        c.vpnppath ? setenv("VPNPPATH", c.vpnppath, 1) : unsetenv("VPNPPATH");
        c.vxipnppath ? setenv("VXIPNPPATH", c.vxipnppath, 1) : unsetenv("VXIPNPPATH");
        EXPECT_EQ(tq::devicedb::databasePath("tqdaq\\device"), c.expected);
    }
    unsetenv("VXIPNPPATH");
}

TEST(OpenDeviceDatabase, NeverCreatesTheFile)
{
    const std::string dir = testDir();
    std::system(("rm -rf '" + dir + "'; mkdir -p '" + dir + "/winnt/tqdaq'").c_str());
    setenv("VPNPPATH", dir.c_str(), 1);
    EXPECT_EQ(tq::devicedb::openDeviceDatabase(), nullptr);
    struct stat st;
    EXPECT_NE(stat((dir + "/winnt/tqdaq/device").c_str(), &st), 0);
}

TEST(OpenDeviceDatabase, WaitsForAnotherWriter)
{
    DeviceDb d(testDir());
    sqlite3 *db = tq::devicedb::openDeviceDatabase();
    ASSERT_NE(db, nullptr);
    d.exec("begin immediate transaction");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(d.db(), "commit transaction", nullptr, nullptr, nullptr);
    });
    EXPECT_EQ(tq::devicedb::execStatement(db, "update users set handle=NULL"), SQLITE_DONE);
    release.join();
    tq::devicedb::closeDeviceDatabase(db);
}

TEST(ParseInt64, WholeTextOnly)
{
    struct Case {
        const char *text;
        std::optional<int64_t> value;
    };
    for (const Case &c :
         {Case{"0", 0}, Case{"-12", -12}, Case{"5000000000", 5000000000LL}, Case{"9223372036854775807", INT64_MAX},
          Case{"9223372036854775808", std::nullopt}, Case{"", std::nullopt}, Case{nullptr, std::nullopt},
          Case{"12x", std::nullopt}, Case{" 12", std::nullopt}, Case{"0x10", std::nullopt}, Case{"-", std::nullopt}}) {
        EXPECT_EQ(tq::devicedb::parseInt64(c.text), c.value) << (c.text ? c.text : "NULL");
    }
}

} // namespace
