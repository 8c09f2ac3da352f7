// The configuration transaction when SQLite will not let it begin or end:
// another connection holds the write lock, or a reader keeps a commit from
// finishing. The session record is made by hand so that its connection can
// be told to give up waiting quickly.
#include "inside_session.h"

using namespace mtest;
using namespace tq::manager;

namespace
{

struct Locked : InsideSession {
    Locked()
    {
        member("m1");
        const int64_t category = d.insert("insert into category (name) values ('Channel')");
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(testModel) + "," +
               std::to_string(category) + ")");
        d.exec("insert into ui_item (category_id,type,dflt,property) values (" + std::to_string(category) +
               ",'int','0','Gain')");
    }
    // Opens the instruments first: their marks are written before any lock
    // is in the way.
    void openAll()
    {
        OpenResource *r = nullptr;
        ASSERT_EQ(getVresource(&s, "m1", true, &r), VI_SUCCESS);
        ASSERT_EQ(getVresource(&s, "rig", true, &r), VI_SUCCESS);
        sqlite3_busy_timeout(s.db, 20);
    }
    ViStatus edit(const char *index, const char *value)
    {
        message[0] = '\0';
        return tqdaq_setConfigs(s.handle, "m1", 1, "Channel", index, "Gain", value, message);
    }
    std::string values() { return d.value("select ifnull(group_concat(value),'') from configs"); }
    char message[256] = "";
};

TEST(ConfigTransactionLocks, AnEditThatCannotOpenTheTransactionStoresNothing)
{
    Locked l;
    l.openAll();
    l.d.exec("begin immediate transaction");
    // Another connection holds the database: the status says busy.
    EXPECT_EQ(l.edit("1", "7"), TQDAQ_ERROR_DATABASE_BUSY);
    EXPECT_STREQ(l.message, "Unable to open the configuration transaction");
    EXPECT_FALSE(l.s.configTransaction);
    EXPECT_EQ(tqdaq_abortConfigs(l.s.handle), VI_ERROR_INV_SETUP);
    l.d.exec("commit transaction");
    EXPECT_EQ(l.values(), "") << "nothing was stored outside a transaction";

    // Once the other writer is done, the same edit goes through.
    ASSERT_EQ(l.edit("1", "7"), VI_SUCCESS) << l.message;
    EXPECT_TRUE(l.s.configTransaction);
    ASSERT_EQ(tqdaq_crossCheck(l.s.handle, nullptr, 1, l.message), VI_SUCCESS) << l.message;
    EXPECT_EQ(l.values(), "7");
}

struct CommitCase {
    const char *what;
    bool abortAfter; // else the check is tried again
    const char *stored;
};

class CommitRefused : public ::testing::TestWithParam<CommitCase>
{
};

TEST_P(CommitRefused, KeepsTheTransactionForARetryOrAnAbort)
{
    const CommitCase &k = GetParam();
    Locked l;
    // Readers hold back a commit only in a rollback journal.
    tq::devicedb::closeDeviceDatabase(l.s.db);
    l.d.exec("PRAGMA journal_mode=DELETE");
    l.s.db = tq::devicedb::openDeviceDatabase();
    l.openAll();
    ASSERT_EQ(l.edit("1", "7"), VI_SUCCESS) << l.message;

    sqlite3 *reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(l.d.file().c_str(), &reader, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "begin; select count(*) from configs;", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(tqdaq_crossCheck(l.s.handle, nullptr, 1, l.message), TQDAQ_ERROR_DATABASE_BUSY);
    EXPECT_STREQ(l.message, "Unable to commit the configuration");
    EXPECT_TRUE(l.s.configTransaction) << "still open: the edits are not lost";
    sqlite3_exec(reader, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(reader);

    if (k.abortAfter)
        EXPECT_EQ(tqdaq_abortConfigs(l.s.handle), VI_SUCCESS) << k.what;
    else
        EXPECT_EQ(tqdaq_crossCheck(l.s.handle, nullptr, 1, l.message), VI_SUCCESS) << k.what << ": " << l.message;
    EXPECT_FALSE(l.s.configTransaction) << k.what;
    EXPECT_EQ(l.values(), k.stored) << k.what;
    // Nobody is kept from writing any more.
    l.d.exec("insert into appdata (key,value,db_id) values ('after','1',0)");
}

INSTANTIATE_TEST_SUITE_P(Cases, CommitRefused,
                         ::testing::Values(CommitCase{"checked again", false, "7"},
                                           CommitCase{"aborted", true, ""}));

} // namespace
