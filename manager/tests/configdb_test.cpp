// Configuration databases: selecting, creating, clearing and deleting them,
// the data path and application data, on a real device database.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

extern "C" int tqmtest_liveInstances();

namespace
{

// The application database "system" (selected) with a member "m1", a second
// database "second" of the application model, a database "foreign" of
// another model and a resource "plainapp" of the application model that is
// no database.
struct ConfigDb : AppDb {
    ConfigDb()
    {
        testModel = d.addTestModel();
        m1 = d.addVresource("m1", testModel);
        d.addMember(dbId, m1);
        secondId = d.addDatabase("second", appModel, false);
        foreignModel = d.addModel(1, 1, "o", "o", {});
        foreignId = d.addDatabase("foreign", foreignModel, false);
        d.addVresource("plainapp", appModel);
        setenv("TQ_TESTDRIVER_LOG", d.appLog().c_str(), 1);
    }
    std::string selected()
    {
        return d.value("select ifnull((select vresource.name from system,db,vresource where system.system_id=1 and "
                       "system.db_id=db.db_id and db.vresource_id=vresource.vresource_id),'NULL')");
    }
    int logged(const std::string &line)
    {
        const auto lines = readLines(d.appLog());
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
    // Rows of every kind a database owns.
    void fill(int64_t db, const std::string &tag)
    {
        const std::string id = std::to_string(db);
        d.exec("insert into configs (db_id,vresource_id,property,seq_id,value) values (" + id + "," +
               std::to_string(m1) + ",'Rank',1,'1')");
        d.exec("insert into formula (db_id,name,expression) values (" + id + ",'f" + tag + "','1')");
        const int64_t stream = d.insert("insert into stream (db_id,name) values (" + id + ",'s" + tag + "')");
        const int64_t window =
            d.insert("insert into displaywindow (stream_id,title) values (" + std::to_string(stream) + ",'w')");
        const int64_t graph =
            d.insert("insert into graphobject (displaywindow_id,title) values (" + std::to_string(window) + ",'g')");
        const int64_t axis =
            d.insert("insert into axisinfo (graphobject_id,eu) values (" + std::to_string(graph) + ",'V')");
        d.exec("insert into channelenable (axisinfo_id,name) values (" + std::to_string(axis) + ",'c')");
        d.exec("insert into appdata (key,value,db_id) values ('k" + tag + "','v'," + id + ")");
    }
    // "configs,db_resource,formula,stream,displaywindow,graphobject,axisinfo,channelenable,appdata" counts.
    std::string owned(int64_t db)
    {
        const std::string id = std::to_string(db);
        const std::string streams = "(select stream_id from stream where db_id=" + id + ")";
        const std::string windows = "(select displaywindow_id from displaywindow where stream_id in " + streams + ")";
        const std::string graphs = "(select graphobject_id from graphobject where displaywindow_id in " + windows + ")";
        const std::string axes = "(select axisinfo_id from axisinfo where graphobject_id in " + graphs + ")";
        return d.value("select (select count(*) from configs where db_id=" + id +
                       ") || ',' || (select count(*) from db_resource where db_id=" + id +
                       ") || ',' || (select count(*) from formula where db_id=" + id +
                       ") || ',' || (select count(*) from stream where db_id=" + id +
                       ") || ',' || (select count(*) from displaywindow where stream_id in " + streams +
                       ") || ',' || (select count(*) from graphobject where displaywindow_id in " + windows +
                       ") || ',' || (select count(*) from axisinfo where graphobject_id in " + graphs +
                       ") || ',' || (select count(*) from channelenable where axisinfo_id in " + axes +
                       ") || ',' || (select count(*) from appdata where db_id=" + id + ")");
    }
    int64_t testModel = 0, m1 = 0, secondId = 0, foreignModel = 0, foreignId = 0;
};

const char *kNotController = "update system set user_id=(select users_id from users where username='other')";

struct SelectCase {
    const char *what;
    ViStatus (*call)(ViSession, ViConstString);
    const char *name;
    const char *arrange; // SQL run after the session opened, or null
    ViStatus expected;
    const char *selected; // the selection afterwards ("NULL": none)
    bool memberClosed;    // the open member m1 was closed
    bool ownClosed;       // the old database's own instrument was closed
};

class Select : public ::testing::TestWithParam<SelectCase>
{
};

TEST_P(Select, ChangesTheSelectionAndTearsDownTheOldOne)
{
    const SelectCase &c = GetParam();
    ConfigDb w;
    ViSession s = 0, vi = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "m1", &vi), VI_SUCCESS);
    if (c.arrange)
        w.d.exec(c.arrange);

    EXPECT_EQ(c.call(s, c.name), c.expected) << c.what;
    EXPECT_EQ(w.selected(), c.selected) << c.what;
    EXPECT_EQ(tqmtest_liveInstances(), c.memberClosed ? 0 : 1) << c.what;
    EXPECT_EQ(w.logged("release"), c.ownClosed ? 1 : 0) << c.what << ": the application's instrument";
    EXPECT_EQ(w.d.value("select count(*) from vresource where deviceHandle is not null"),
              std::to_string(2 - c.memberClosed - c.ownClosed))
        << c.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Select,
    ::testing::Values(
        SelectCase{"another database", tqdaq_setDB, "second", nullptr, VI_SUCCESS, "second", true, true},
        SelectCase{"the selected one again", tqdaq_setDB, "system", nullptr, VI_SUCCESS, "system", false, false},
        SelectCase{"no name deselects", tqdaq_setDB, "", nullptr, VI_SUCCESS, "NULL", false, false},
        SelectCase{"null deselects", tqdaq_setDB, nullptr, nullptr, VI_SUCCESS, "NULL", false, false},
        SelectCase{"another model's", tqdaq_setDB, "foreign", nullptr, TQDAQ_ERROR_OTHER_MODEL, "system", false, false},
        SelectCase{"an unknown name", tqdaq_setDB, "nosuch", nullptr, VI_ERROR_INV_PARAMETER, "system", false, false},
        SelectCase{"a resource that is no database", tqdaq_setDB, "plainapp", nullptr, TQDAQ_ERROR_NO_DATABASE,
                   "system", false, false},
        SelectCase{"not the controller", tqdaq_setDB, "second", kNotController, TQDAQ_ERROR_NOT_CONTROLLER, "system",
                   false, false},
        SelectCase{"from no selection", tqdaq_setDB, "second", "update system set db_id=NULL", VI_SUCCESS, "second",
                   false, false},
        SelectCase{"create a new one", tqdaq_createDB, "new", nullptr, VI_SUCCESS, "new", true, true},
        SelectCase{"create one that exists", tqdaq_createDB, "second", nullptr, VI_SUCCESS, "second", true, true},
        SelectCase{"create another model's", tqdaq_createDB, "foreign", nullptr, TQDAQ_ERROR_OTHER_MODEL, "system",
                   false, false},
        SelectCase{"create over a resource that is no database", tqdaq_createDB, "plainapp", nullptr,
                   TQDAQ_ERROR_CREATE_DB, "system", true, false},
        SelectCase{"create without a name", tqdaq_createDB, "", nullptr, VI_ERROR_INV_PARAMETER, "system", false,
                   false},
        SelectCase{"create, not the controller", tqdaq_createDB, "new", kNotController, TQDAQ_ERROR_NOT_CONTROLLER,
                   "system", false, false}));

TEST(CreateDB, MakesTheOwnResourceOfTheSessionsModel)
{
    ConfigDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_createDB(s, "new"), VI_SUCCESS);
    EXPECT_EQ(w.d.value("select model_id || '|' || description from vresource where name='new'"),
              std::to_string(w.appModel) + "|database resource");
    EXPECT_EQ(w.d.value("select count(*) from db,vresource where db.vresource_id=vresource.vresource_id and "
                        "vresource.name='new'"),
              "1");
    char name[TQDAQ_NAME_SIZE] = "x";
    EXPECT_EQ(tqdaq_getDB(s, name), VI_SUCCESS);
    EXPECT_STREQ(name, "new");
    EXPECT_EQ(w.d.value("select count(*) from db_resource,db where db.db_id=db_resource.db_id and "
                        "db.vresource_id=(select vresource_id from vresource where name='new')"),
              "0")
        << "a new database has no members";

    // The db row cannot be written: the resource made for it goes again, so
    // that the name stays free for a database.
    w.d.exec("create trigger refuse before insert on db begin select raise(abort,'no'); end");
    EXPECT_EQ(tqdaq_createDB(s, "third"), TQDAQ_ERROR_CREATE_DB);
    EXPECT_EQ(w.d.value("select count(*) from vresource where name='third'"), "0");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// Renaming a database renames its own resource, and the selection follows.
TEST(RenameDB, RenamesTheSelectedDatabase)
{
    ConfigDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_createDB(s, "before"), VI_SUCCESS);
    ASSERT_EQ(tqdaq_createDB(s, "taken"), VI_SUCCESS);
    ASSERT_EQ(tqdaq_setDB(s, "before"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_renameDB(s, "before", "taken"), TQDAQ_ERROR_NAME_EXISTS);
    ASSERT_EQ(tqdaq_renameDB(s, "before", "after"), VI_SUCCESS);
    char name[TQDAQ_NAME_SIZE] = "";
    EXPECT_EQ(tqdaq_getDB(s, name), VI_SUCCESS);
    EXPECT_STREQ(name, "after");
    EXPECT_EQ(w.d.value("select count(*) from vresource where name='before'"), "0");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(ClearDB, EmptiesTheDatabaseButKeepsItsApplicationData)
{
    ConfigDb w;
    const int64_t m2 = w.d.addVresource("m2", w.testModel);
    w.d.addMember(w.secondId, m2);
    w.fill(w.dbId, "1");
    w.fill(w.secondId, "2");
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(w.owned(w.dbId), "1,1,1,1,1,1,1,1,1");

    struct Case {
        const char *what;
        const char *arrange;
        const char *name;
        ViStatus expected;
        std::string system, second; // what the two databases own afterwards
    };
    for (const Case &c : {
             Case{"a failing delete takes the whole clear back",
                  "create trigger refuse before delete on formula begin select raise(abort,'no'); end", "",
                  TQDAQ_ERROR_STATEMENT, "1,1,1,1,1,1,1,1,1", "1,1,1,1,1,1,1,1,1"},
             Case{"an unknown name", "drop trigger refuse", "nosuch", TQDAQ_ERROR_NO_DATABASE, "1,1,1,1,1,1,1,1,1",
                  "1,1,1,1,1,1,1,1,1"},
             Case{"not the controller", kNotController, "", TQDAQ_ERROR_NOT_CONTROLLER, "1,1,1,1,1,1,1,1,1",
                  "1,1,1,1,1,1,1,1,1"},
             Case{"the selected one",
                  "update system set user_id=(select users_id from users where username='operator')", nullptr,
                  VI_SUCCESS, "0,0,0,0,0,0,0,0,1", "1,1,1,1,1,1,1,1,1"},
             Case{"by name", nullptr, "second", VI_SUCCESS, "0,0,0,0,0,0,0,0,1", "0,0,0,0,0,0,0,0,1"},
         }) {
        if (c.arrange)
            w.d.exec(c.arrange);
        EXPECT_EQ(tqdaq_clearDB(s, c.name), c.expected) << c.what;
        EXPECT_EQ(w.owned(w.dbId), c.system) << c.what;
        EXPECT_EQ(w.owned(w.secondId), c.second) << c.what;
    }
    // Still a database, still selectable.
    EXPECT_EQ(tqdaq_setDB(s, "second"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_setDB(s, "system"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

struct DeleteCase {
    const char *what;
    const char *arrange;
    const char *name;
    ViStatus expected;
    bool deleted; // "second" is gone with its rows
};

class DeleteDB : public ::testing::TestWithParam<DeleteCase>
{
};

TEST_P(DeleteDB, DeletesOnlyAnotherDatabaseOfTheModel)
{
    const DeleteCase &c = GetParam();
    ConfigDb w;
    w.fill(w.secondId, "2");
    const int64_t secondOwn =
        std::stoll(w.d.value("select vresource_id from db where db_id=" + std::to_string(w.secondId)));
    const int64_t nameItem = w.d.addInstrumentNameOption(w.appModel);
    w.d.setInstrumentName(secondOwn, nameItem, "second");
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    Sink sink;
    ASSERT_EQ(tqdaq_registerStreamMsg(s, sink.queue), VI_SUCCESS);
    if (c.arrange)
        w.d.exec(c.arrange);
    const std::string before = w.d.dump();

    EXPECT_EQ(tqdaq_deleteDB(s, c.name), c.expected) << c.what;
    if (c.deleted) {
        EXPECT_EQ(w.d.value("select count(*) from db where db_id=" + std::to_string(w.secondId)), "0");
        EXPECT_EQ(w.d.value("select count(*) from vresource where name='second'"), "0");
        // Its application data and its own resource's option rows stay.
        EXPECT_EQ(w.d.value("select count(*) from vresource_options where vresource_id=" + std::to_string(secondOwn)),
                  "1");
        EXPECT_EQ(w.owned(w.secondId), "0,0,0,0,0,0,0,0,1");
        EXPECT_EQ(w.d.value("select count(*) from vresource where name='m1'"), "1") << "members stay resources";
        EXPECT_EQ(sink.take(), std::vector<std::string>{"Deleted database second"});
    } else {
        EXPECT_EQ(w.d.dump(), before) << c.what << ": nothing deleted";
        EXPECT_EQ(sink.take(), std::vector<std::string>{}) << c.what;
    }
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteDB,
    ::testing::Values(DeleteCase{"another database", nullptr, "second", VI_SUCCESS, true},
                      DeleteCase{"the selected one", nullptr, "system", VI_ERROR_INV_PARAMETER, false},
                      DeleteCase{"no name means the selected one", nullptr, "", VI_ERROR_INV_PARAMETER, false},
                      DeleteCase{"an unknown name", nullptr, "nosuch", TQDAQ_ERROR_NO_DATABASE, false},
                      DeleteCase{"a resource that is no database", nullptr, "m1", TQDAQ_ERROR_NO_DATABASE, false},
                      DeleteCase{"no database selected", "update system set db_id=NULL", "second",
                                 TQDAQ_ERROR_NO_DATABASE, false},
                      DeleteCase{"another model's database selected", "update system set db_id=3", "second",
                                 TQDAQ_ERROR_OTHER_MODEL, false},
                      DeleteCase{"not the controller (refused by the clear)", kNotController, "second",
                                 TQDAQ_ERROR_STATEMENT, false}));

TEST(AppData, KeysOfTheSelectedDatabase)
{
    ConfigDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    w.d.exec("insert into appdata (key,value,db_id) values ('theirs','x'," + std::to_string(w.secondId) + ")");

    enum Call { Set, Get, Delete, Sql };
    struct Step {
        Call call;
        const char *key; // Sql: the statement
        const char *value;
        ViInt16 replace;
        ViUInt32 size; // Get: the buffer's size (0 with a buffer), or ~0u for no buffer
        ViStatus expected;
        const char *text; // Get: the buffer afterwards
        ViUInt32 length;  // Get: the length written
    };
    const ViUInt32 none = ~0u;
    const Step steps[] = {
        {Set, "k", "0123456789", 0, 0, VI_SUCCESS, nullptr, 0},
        {Set, "k", "other", 0, 0, VI_ERROR_RSRC_BUSY, nullptr, 0},
        {Get, "k", nullptr, 0, 64, VI_SUCCESS, "0123456789", 10},
        {Get, "k", nullptr, 0, 4, VI_SUCCESS, "012", 10},
        {Get, "k", nullptr, 0, 1, VI_SUCCESS, "", 10},
        {Get, "k", nullptr, 0, 0, VI_SUCCESS, "untouched", 10},
        {Get, "k", nullptr, 0, none, VI_SUCCESS, "untouched", 10},
        {Set, "k", "new", 1, 0, VI_SUCCESS, nullptr, 0},
        {Get, "k", nullptr, 0, 64, VI_SUCCESS, "new", 3},
        {Set, "empty", nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        {Get, "empty", nullptr, 0, 64, VI_SUCCESS, "", 0},
        {Get, "theirs", nullptr, 0, 64, VI_ERROR_NSUP_ATTR, "untouched", 77},
        {Get, "", nullptr, 0, 64, VI_ERROR_INV_PARAMETER, "untouched", 77},
        {Get, nullptr, nullptr, 0, 64, VI_ERROR_INV_PARAMETER, "untouched", 77},
        {Set, "", "v", 0, 0, VI_ERROR_INV_PARAMETER, nullptr, 0},
        {Delete, "missing", nullptr, 0, 0, VI_ERROR_NSUP_ATTR, nullptr, 0},
        {Delete, "k", nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        {Get, "k", nullptr, 0, 64, VI_ERROR_NSUP_ATTR, "untouched", 77},
        {Delete, nullptr, nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        {Get, "empty", nullptr, 0, 64, VI_ERROR_NSUP_ATTR, "untouched", 77},
        {Delete, "", nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        {Sql, "update system set db_id=NULL", nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        // Stored for no database: no later call finds it.
        {Set, "k2", "v", 0, 0, VI_SUCCESS, nullptr, 0},
        {Get, "k2", nullptr, 0, 64, VI_ERROR_NSUP_ATTR, "untouched", 77},
        {Delete, "k2", nullptr, 0, 0, VI_ERROR_NSUP_ATTR, nullptr, 0},
        {Delete, nullptr, nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        {Sql, kNotController, nullptr, 0, 0, VI_SUCCESS, nullptr, 0},
        {Set, "k3", "v", 0, 0, TQDAQ_ERROR_NOT_CONTROLLER, nullptr, 0},
        {Get, "theirs", nullptr, 0, 64, TQDAQ_ERROR_NOT_CONTROLLER, "untouched", 77},
        {Delete, nullptr, nullptr, 0, 0, TQDAQ_ERROR_NOT_CONTROLLER, nullptr, 0},
    };
    int i = 0;
    for (const Step &step : steps) {
        ++i;
        switch (step.call) {
        case Sql:
            w.d.exec(step.key);
            break;
        case Set:
            EXPECT_EQ(tqdaq_setAppData(s, step.key, step.value, step.replace), step.expected) << "step " << i;
            break;
        case Delete:
            EXPECT_EQ(tqdaq_deleteAppData(s, step.key), step.expected) << "step " << i;
            break;
        case Get: {
            char buffer[64];
            std::strcpy(buffer, "untouched");
            ViUInt32 length = 77;
            EXPECT_EQ(tqdaq_getAppData(s, step.key, step.size == none ? nullptr : buffer,
                                       step.size == none ? 0 : step.size, &length),
                      step.expected)
                << "step " << i;
            EXPECT_STREQ(buffer, step.text) << "step " << i;
            EXPECT_EQ(length, step.length) << "step " << i;
            break;
        }
        }
    }
    EXPECT_EQ(w.d.value("select group_concat(key||'@'||coalesce(db_id,'none')) from (select * from appdata order by key desc)"),
              "theirs@" + std::to_string(w.secondId) + ",k2@none")
        << "the other database's key and the row stored for no database are left";
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// A database's name becomes a directory level under the data path: names
// that are no single level are refused, and nothing is created.
TEST(CreateDBNames, NoPathOutOfTheDataPath)
{
    ConfigDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    const std::string before = w.d.dump();
    for (const char *name : {"../../escaped", "a/b", "/abs", "a\\b", ".", "..", "x/"}) {
        EXPECT_EQ(tqdaq_createDB(s, name), VI_ERROR_INV_PARAMETER) << name;
        EXPECT_EQ(w.selected(), "system") << name;
    }
    EXPECT_EQ(w.d.dump(), before);
    // Dots inside a name are fine.
    EXPECT_EQ(tqdaq_createDB(s, "run..2"), VI_SUCCESS);
    EXPECT_EQ(w.selected(), "run..2");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(DataPath, ReadWrittenAndNeverOverrun)
{
    ConfigDb w;
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    char path[TQDAQ_NAME_SIZE] = "x";
    EXPECT_EQ(tqdaq_getDataPath(s, path), VI_SUCCESS);
    EXPECT_EQ(std::string(path), testDir() + "/data") << "the set-up script's";
    EXPECT_EQ(tqdaq_setDataPath(s, "/srv/capture's"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getDataPath(s, path), VI_SUCCESS);
    EXPECT_STREQ(path, "/srv/capture's");
    EXPECT_EQ(tqdaq_getDataPath(s, nullptr), VI_SUCCESS);
    EXPECT_EQ(tqdaq_setDataPath(s, nullptr), VI_ERROR_INV_PARAMETER);
    // A path is handed out whole or refused when it is stored.
    const std::string longest(TQDAQ_NAME_SIZE - 1, 'p');
    EXPECT_EQ(tqdaq_setDataPath(s, longest.c_str()), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getDataPath(s, path), VI_SUCCESS);
    EXPECT_EQ(std::string(path), longest);
    for (const size_t length : {size_t{TQDAQ_NAME_SIZE}, size_t{300}}) {
        EXPECT_EQ(tqdaq_setDataPath(s, std::string(length, 'q').c_str()), TQDAQ_ERROR_STATEMENT) << length;
        EXPECT_EQ(tqdaq_getDataPath(s, path), VI_SUCCESS) << length;
        EXPECT_EQ(std::string(path), longest) << length;
    }
    // A path stored by another writer that does not fit is still refused.
    w.d.exec("update system set datapath='" + std::string(300, 'r') + "'");
    std::strcpy(path, "x");
    EXPECT_EQ(tqdaq_getDataPath(s, path), TQDAQ_ERROR_STATEMENT) << "longer than the caller's buffer";
    EXPECT_STREQ(path, "");
    EXPECT_EQ(tqdaq_replicateDB(s, "system", "copy"), VI_ERROR_NIMPL_OPER);
    const auto debug = readLines(w.d.debugLog());
    EXPECT_NE(std::find(debug.begin(), debug.end(), "Calling unimplemented funciton tqdaq_replicateDB"), debug.end())
        << "written with tracing off";
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

struct ChoiceCase {
    const char *what;
    const char *arrange; // SQL before the session opens
    const char *selected;
    const char *databases; // the application model's databases afterwards, by name
};

class ExampleInstrument : public ::testing::TestWithParam<ChoiceCase>
{
};

// The example application instrument leaves a database of its model
// selected, creating one when it must.
TEST_P(ExampleInstrument, ChoosesItsDatabase)
{
    const ChoiceCase &c = GetParam();
    ConfigDb w;
    if (c.arrange)
        w.d.exec(c.arrange);
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS) << c.what;
    EXPECT_EQ(w.selected(), c.selected) << c.what;
    EXPECT_EQ(w.d.value("select group_concat(name, ',') from (select vresource.name from db,vresource where "
                        "db.vresource_id=vresource.vresource_id and vresource.model_id=" +
                        std::to_string(w.appModel) + " order by 1)"),
              c.databases)
        << c.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExampleInstrument,
    ::testing::Values(
        ChoiceCase{"the selected one is kept", "update system set db_id=2", "second", "second,system"},
        ChoiceCase{"none selected: system", "update system set db_id=NULL", "system", "second,system"},
        ChoiceCase{"none at all: system is created",
                   "update system set db_id=NULL; delete from db where db_id=1; delete from vresource where "
                   "name='system'",
                   "system", "second,system"},
        ChoiceCase{"another model's selected and named system: passed over, system1 created",
                   "update vresource set model_id=(select model_id from model where vendor=1) where name='system'",
                   "system1", "second,system1"},
        ChoiceCase{"system taken by a resource that is no database: system1 created",
                   "update system set db_id=NULL; delete from db where db_id=1", "system1", "second,system1"}));

TEST(TraceLines, WrittenAfterEachCallWhileTracingIsOn)
{
    AppDb app(true);
    app.d.addTestModel();
    app.d.addDatabase("second", app.appModel, false);
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    char session[64];
    std::snprintf(session, sizeof session, "%#x(operator)", static_cast<unsigned>(s));
    const std::string S = session;
    char buffer[TQDAQ_NAME_SIZE];
    ViUInt32 length = 0;
    struct Case {
        std::function<ViStatus()> call;
        std::string line; // the whole line, or its beginning when it ends in '*'
    };
    const Case cases[] = {
        {[&] { return tqdaq_setAppData(s, "k", "v", 1); }, "tqdaq_setAppData(" + S + ",k,v,1) retVal=0"},
        {[&] { return tqdaq_getAppData(s, "k", buffer, 64, &length); }, "tqdaq_getAppData(" + S + ",k,v,0x40,0x*"},
        {[&] { return tqdaq_deleteAppData(s, nullptr); }, "tqdaq_deleteAppData(" + S + ",null) retVal=0"},
        {[&] { return tqdaq_setDataPath(s, "/p"); }, "tqdaq_setDataPath(" + S + ",/p) retVal=0"},
        {[&] { return tqdaq_getDataPath(s, buffer); }, "tqdaq_getDataPath(" + S + ",/p) retVal=0"},
        {[&] { return tqdaq_createVresource(s, "r", kVendor, 200, nullptr); },
         "tqdaq_createVresource(" + S + ",r,0x3c5a,0xc8,NULL) retVal=0"},
        {[&] { return tqdaq_setSimulationMode(s, nullptr, 0); },
         "tqdaq_setSimulationMode(" + S + ",NULL,VI_FALSE) retVal=0"},
        {[&] { return tqdaq_clearDB(s, "second"); }, "tqdaq_clearDB(" + S + ",second) retVal=0"},
        {[&] { return tqdaq_deleteDB(s, "second"); }, "tqdaq_deleteDB(" + S + ",second) retVal=0"},
        {[&] { return tqdaq_createDB(s, "system"); }, "tqdaq_createDB(" + S + ",system) retVal=0"},
        {[&] { return tqdaq_setDB(s, "nosuch"); }, "tqdaq_setDB(" + S + ",nosuch) retVal=0xbfff0078"},
        {[&] { return tqdaq_installEventHandler(s, "nosuch", 1, nullptr, nullptr, nullptr); },
         "tqdaq_installEventHandler(" + S + ",nosuch,0,0) retVal=0xbfff0078"},
    };
    for (const Case &c : cases) {
        const size_t from = readLines(app.d.debugLog()).size();
        c.call();
        const auto lines = readLines(app.d.debugLog());
        ASSERT_GT(lines.size(), from) << c.line;
        const std::string &last = lines.back();
        if (c.line.back() == '*')
            EXPECT_EQ(last.substr(0, c.line.size() - 1), c.line.substr(0, c.line.size() - 1));
        else
            EXPECT_EQ(last, c.line);
    }
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

} // namespace
