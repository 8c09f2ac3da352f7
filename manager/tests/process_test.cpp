// Two processes on one device database (a front panel and a script): each
// keeps its own session and instruments whatever the other opens and closes,
// marks of a process that is gone are cleared, and a write that finds the
// database held by the other process says that it is busy.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "fixture.h"

using namespace mtest;

extern "C" int tqmtest_liveInstances();

namespace
{

int count(const std::vector<std::string> &lines, const std::string &prefix)
{
    int n = 0;
    for (const auto &l : lines)
        n += l.rfind(prefix, 0) == 0;
    return n;
}

// A child process running `side` with a pipe each way; its exit code is the
// number of the step that went wrong, 0 when all went as expected.
class Child
{
  public:
    explicit Child(const std::function<int(Child &)> &side)
    {
        EXPECT_EQ(pipe(up_), 0);
        EXPECT_EQ(pipe(down_), 0);
        pid_ = fork();
        EXPECT_GE(pid_, 0);
        if (pid_ == 0)
            _exit(side(*this));
    }
    // Child side: tell the parent, then wait for its answer.
    bool handOver()
    {
        char byte = 0;
        return write(up_[1], "c", 1) == 1 && read(down_[0], &byte, 1) == 1;
    }
    // Parent side.
    bool waitForChild()
    {
        char byte = 0;
        return read(up_[0], &byte, 1) == 1;
    }
    bool letGo() { return write(down_[1], "p", 1) == 1; }
    int exitCode()
    {
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_ || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

  private:
    int up_[2] = {-1, -1}, down_[2] = {-1, -1};
    pid_t pid_ = -1;
};

TEST(TwoProcesses, EachKeepsItsSessionAndInstruments)
{
    AppDb app;
    const int64_t model = app.d.addTestModel();
    app.d.addMember(app.dbId, app.d.addVresource("m1", model));
    app.d.addMember(app.dbId, app.d.addVresource("m2", model));

    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    ViSession m1 = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(s, "m1", &m1), VI_SUCCESS);
    const std::string userMark = app.d.value("select handle from users where username='operator'");
    const std::string m1Mark = app.d.value("select deviceHandle from vresource where name='m1'");
    const std::string ownMark = app.d.value("select deviceHandle from vresource where name='system'");
    ASSERT_NE(userMark, "NULL");

    // The child, for the same user: its own session beside the parent's,
    // its own instruments, and nothing of the parent's taken or cleared.
    Child child([&](Child &self) -> int {
        // The child starts with a copy of the parent's instances in memory.
        const int inherited = tqmtest_liveInstances();
        ViSession c = 0;
        if (tqdaq_getHandle(&c, "operator", "pw", kVendor, kAppModel) != VI_SUCCESS)
            return 10;
        // The same user again in this process: the same session.
        ViSession again = 0;
        if (tqdaq_getHandle(&again, "operator", "pw", kVendor, kAppModel) != VI_SUCCESS || again != c)
            return 11;
        ViSession m2 = 0;
        if (tqdaq_getVresourceSession(c, "m2", &m2) != VI_SUCCESS)
            return 13;
        if (tqdaq_doOperation(c, "m2", "start", nullptr) != VI_SUCCESS)
            return 14;
        if (tqdaq_setAppData(c, "from", "child", 1) != VI_SUCCESS)
            return 15;
        if (!self.handOver())
            return 16;
        // The parent opened and closed meanwhile: the child's instruments
        // are still its own.
        ViSession m2again = 0;
        if (tqdaq_getVresourceSession(c, "m2", &m2again) != VI_SUCCESS || m2again != m2)
            return 17;
        if (tqmtest_liveInstances() != inherited + 1)
            return 18;
        if (tqdaq_closeHandle(c) != VI_SUCCESS)
            return 19;
        if (tqmtest_liveInstances() != inherited)
            return 20;
        return 0;
    });
    ASSERT_TRUE(child.waitForChild());
    // The parent's marks stand, and its calls that open instruments work.
    EXPECT_EQ(app.d.value("select handle from users where username='operator'"), userMark);
    EXPECT_EQ(app.d.value("select deviceHandle from vresource where name='m1'"), m1Mark);
    EXPECT_EQ(app.d.value("select deviceHandle from vresource where name='system'"), ownMark);
    ViSession m1again = 0;
    EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &m1again), VI_SUCCESS);
    EXPECT_EQ(m1again, m1);
    EXPECT_EQ(tqdaq_doOperation(s, "m1", "start", nullptr), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeVresource(s, "m1"), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &m1again), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 1);
    ASSERT_TRUE(child.letGo());
    EXPECT_EQ(child.exitCode(), 0);

    // The child's end cleared nothing of the parent's.
    EXPECT_EQ(app.d.value("select handle from users where username='operator'"), userMark);
    EXPECT_EQ(app.d.value("select deviceHandle from vresource where name='system'"), ownMark);
    EXPECT_NE(app.d.value("select deviceHandle from vresource where name='m1'"), "NULL");
    EXPECT_EQ(app.d.value("select deviceHandle from vresource where name='m2'"), "NULL");
    char value[16] = "";
    EXPECT_EQ(tqdaq_getAppData(s, "from", value, sizeof value, nullptr), VI_SUCCESS);
    EXPECT_STREQ(value, "child");

    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
    EXPECT_EQ(app.d.value("select count(*) from users where handle is not null"), "0");
    EXPECT_EQ(app.d.value("select count(*) from vresource where deviceHandle is not null"), "0");
    // Each process loaded and released its own instrument.
    const auto log = readLines(app.d.appLog());
    EXPECT_EQ(count(log, "getPnPHandle"), count(log, "release"));
}

TEST(TwoProcesses, MarksOfAProcessThatIsGoneAreCleared)
{
    AppDb app;
    const int64_t model = app.d.addTestModel();
    app.d.addMember(app.dbId, app.d.addVresource("m1", model));
    // A child that opens a session and an instrument and dies without
    // closing them.
    Child child([&](Child &) -> int {
        ViSession c = 0, vi = 0;
        if (tqdaq_getHandle(&c, "operator", "pw", kVendor, kAppModel) != VI_SUCCESS)
            return 10;
        if (tqdaq_getVresourceSession(c, "m1", &vi) != VI_SUCCESS)
            return 11;
        return 0;
    });
    ASSERT_EQ(child.exitCode(), 0);
    ASSERT_NE(app.d.value("select handle from users where username='operator'"), "NULL");
    ASSERT_NE(app.d.value("select deviceHandle from vresource where name='m1'"), "NULL");

    ViSession s = 0, vi = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &vi), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 1);
    ViSession again = 0;
    EXPECT_EQ(app.open(again), VI_SUCCESS);
    EXPECT_EQ(again, s) << "the stale mark was replaced by this process's own";
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(app.d.value("select count(*) from users where handle is not null"), "0");
    EXPECT_EQ(app.d.value("select count(*) from vresource where deviceHandle is not null"), "0");
}

TEST(TwoProcesses, AWriteThatWaitsOutTheOtherProcessSaysBusyAndNothingIsLost)
{
    AppDb app;
    // The parent holds the database's write lock, as a configuration
    // transaction or an installer does, while the child reads and writes.
    Child child([&](Child &self) -> int {
        ViSession c = 0;
        if (tqdaq_getHandle(&c, "operator", "pw", kVendor, kAppModel) != VI_SUCCESS)
            return 10;
        if (!self.handOver())
            return 11;
        char path[TQDAQ_NAME_SIZE] = "";
        if (tqdaq_getDataPath(c, path) != VI_SUCCESS || std::string(path).empty())
            return 12; // reads go on while another connection writes
        if (tqdaq_setDataPath(c, "/child/data") != TQDAQ_ERROR_DATABASE_BUSY)
            return 13;
        if (tqdaq_setAppData(c, "k", "v", 1) != TQDAQ_ERROR_DATABASE_BUSY)
            return 14;
        if (!self.handOver())
            return 15;
        // The lock is gone: the same writes go through.
        if (tqdaq_setDataPath(c, "/child/data") != VI_SUCCESS || tqdaq_setAppData(c, "k", "v", 1) != VI_SUCCESS)
            return 16;
        if (tqdaq_closeHandle(c) != VI_SUCCESS)
            return 17;
        return 0;
    });
    ASSERT_TRUE(child.waitForChild());
    app.d.exec("begin immediate transaction");
    app.d.exec("insert into appdata (key,value,db_id) values ('parent','kept'," + std::to_string(app.dbId) + ")");
    ASSERT_TRUE(child.letGo());
    ASSERT_TRUE(child.waitForChild());
    app.d.exec("commit transaction");
    ASSERT_TRUE(child.letGo());
    EXPECT_EQ(child.exitCode(), 0);

    EXPECT_EQ(app.d.value("select datapath from system"), "/child/data");
    EXPECT_EQ(app.d.value("select group_concat(key||'='||value) from (select * from appdata order by key)"),
              "k=v,parent=kept");
    EXPECT_EQ(app.d.value("select count(*) from users where handle is not null"), "0");
}

} // namespace
