// Two processes on one device database: marks written by one are never
// taken for sessions or instruments by the other.
#include <sys/wait.h>
#include <unistd.h>

#include "fixture.h"

using namespace mtest;

extern "C" int tqmtest_liveInstances();

namespace
{

// Child exit codes: 0 all as expected; otherwise the step that went wrong.
int childSide(int toParent, int fromParent)
{
    char byte = 0;
    ViSession c = 0;
    // The child's first session clears the marks of every other process.
    if (tqdaq_getHandle(&c, "operator", "pw", kVendor, kAppModel) != VI_SUCCESS)
        return 10;
    if (write(toParent, "s", 1) != 1 || read(fromParent, &byte, 1) != 1)
        return 11;
    ViSession vi = 0;
    if (tqdaq_getVresourceSession(c, "m1", &vi) != VI_SUCCESS)
        return 12;
    if (tqmtest_liveInstances() != 1)
        return 13;
    if (tqdaq_closeHandle(c) != VI_SUCCESS)
        return 14;
    if (tqmtest_liveInstances() != 0)
        return 15;
    return 0;
}

int count(const std::vector<std::string> &lines, const std::string &prefix)
{
    int n = 0;
    for (const auto &l : lines)
        n += l.rfind(prefix, 0) == 0;
    return n;
}

TEST(TwoProcesses, NoForeignMarkIsUsed)
{
    AppDb app;
    const int64_t model = app.d.addTestModel();
    app.d.addMember(app.dbId, app.d.addVresource("m1", model));

    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);

    int up[2], down[2];
    ASSERT_EQ(pipe(up), 0);
    ASSERT_EQ(pipe(down), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(childSide(up[1], down[0]));

    char byte = 0;
    ASSERT_EQ(read(up[0], &byte, 1), 1);
    // The child holds a session for the same user now, and the database's
    // own instrument is marked open in the child: neither mark is ours.
    ViSession again = 0;
    EXPECT_EQ(tqdaq_getHandle(&again, "operator", "pw", kVendor, kAppModel), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(again, 0u);
    ViSession vi = 0;
    EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &vi), TQDAQ_ERROR_STATEMENT) << "cannot notify the child's instrument";
    EXPECT_EQ(tqdaq_closeVresource(s, "system"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
    ASSERT_EQ(write(down[1], "g", 1), 1);

    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The parent's own instrument lost its mark to the child, yet closing
    // the session still unloads it.
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    const auto log = readLines(app.d.appLog());
    EXPECT_EQ(count(log, "getPnPHandle"), 2);
    EXPECT_EQ(count(log, "release"), 2);
    EXPECT_EQ(app.d.value("select count(*) from users where handle is not null"), "0");
}

} // namespace
