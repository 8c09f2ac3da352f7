// Manager sessions on a real device database: opening and its refusals,
// closing, the controller user, trace lines and names that must never reach
// a statement.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

namespace
{

std::string hex(uint32_t v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%#x", v);
    return b;
}

int count(const std::vector<std::string> &lines, const std::string &prefix)
{
    int n = 0;
    for (const auto &l : lines)
        n += l.rfind(prefix, 0) == 0;
    return n;
}

struct RefusalCase {
    const char *what;
    const char *user;
    ViUInt16 model;
    const char *arrange; // SQL run first, or null
    ViStatus expected;
    bool instrumentLoaded; // the application's instrument was loaded and released again
};

class GetHandleRefusal : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(GetHandleRefusal, RefusesAndLeavesNothingBehind)
{
    const RefusalCase &c = GetParam();
    AppDb app;
    app.d.insert("insert into model (vendor,model,prefix,pnplibname) values (9,9,'x','x')");
    app.d.exec("update model set model_id=0 where vendor=9");
    app.d.insert("insert into users (username) values ('" + std::string(40, 'u') + "')");
    if (c.arrange)
        app.d.exec(c.arrange);

    ViSession s = 77;
    EXPECT_EQ(tqdaq_getHandle(&s, c.user, nullptr, kVendor, c.model), c.expected) << c.what;
    EXPECT_EQ(s, 0u);
    EXPECT_EQ(app.d.value("select count(*) from users where handle is not null"), "0");
    EXPECT_EQ(app.d.value("select count(*) from vresource where deviceHandle is not null"), "0");

    // Written although tracing is off.
    const std::string line = std::string("tqdaq_getHandle(NULL,") + (c.user ? c.user : "NULL") + ",XXX,0x3c5a," +
                             hex(c.model) + ") retVal=" + hex(static_cast<uint32_t>(c.expected));
    EXPECT_EQ(readLines(app.d.debugLog()), std::vector<std::string>{line});

    const auto log = readLines(app.d.appLog()), driver = readLines(app.d.driverLog());
    EXPECT_EQ(count(log, "getPnPHandle") + count(driver, "- init"), c.instrumentLoaded ? 1 : 0);
    EXPECT_EQ(count(log, "release") + count(driver, "- release"), c.instrumentLoaded ? 1 : 0);
}

const std::string kLongUser(40, 'u');

INSTANTIATE_TEST_SUITE_P(
    Cases, GetHandleRefusal,
    ::testing::Values(
        RefusalCase{"unknown user", "nobody", kAppModel, nullptr, TQDAQ_ERROR_UNKNOWN_USER, false},
        RefusalCase{"null user", nullptr, kAppModel, nullptr, TQDAQ_ERROR_UNKNOWN_USER, false},
        RefusalCase{"empty user", "", kAppModel, nullptr, TQDAQ_ERROR_UNKNOWN_USER, false},
        RefusalCase{"user longer than a session holds", kLongUser.c_str(), kAppModel, nullptr, TQDAQ_ERROR_UNKNOWN_USER,
                    false},
        RefusalCase{"quote in the user name", "x' or '1'='1", kAppModel, nullptr, TQDAQ_ERROR_STATEMENT, false},
        RefusalCase{"unknown model", "operator", 101, nullptr, TQDAQ_ERROR_STATEMENT, false},
        RefusalCase{"model id 0", "operator", 9, "update model set vendor=15450 where model_id=0",
                    TQDAQ_ERROR_STATEMENT, false},
        RefusalCase{"not the controller", "other", kAppModel, nullptr, TQDAQ_ERROR_NOT_CONTROLLER, true},
        RefusalCase{"no controller named", "operator", kAppModel, "update system set user_id=NULL",
                    TQDAQ_ERROR_NOT_CONTROLLER, true},
        // An application instrument that selects no database (the test
        // driver; the example instrument would choose or create one).
        RefusalCase{"no database selected", "operator", 200,
                    "insert into model (vendor,model,prefix,pnplibname) values (15450,200,'tqmtest','tqmtestdriver');"
                    "update vresource set model_id=(select model_id from model where model=200) where name='system';"
                    "update system set db_id=NULL",
                    TQDAQ_ERROR_NO_DATABASE, true},
        RefusalCase{"database of another model", "operator", 200,
                    "insert into model (vendor,model,prefix,pnplibname) values (15450,200,'tqmtest','tqmtestdriver')",
                    TQDAQ_ERROR_OTHER_MODEL, true},
        RefusalCase{"system row missing", "operator", kAppModel, "delete from system", TQDAQ_ERROR_NO_DATABASE, true},
        RefusalCase{"library missing", "operator", kAppModel, "update model set pnplibname='nolib' where model=100",
                    TQDAQ_ERROR_STATEMENT, false},
        RefusalCase{"getPnPHandle missing", "operator", kAppModel, "update model set prefix='nope' where model=100",
                    TQDAQ_ERROR_STATEMENT, false}));

TEST(Session, OpensMarksAndClosesWithSixtyFourBitIds)
{
    AppDb app;
    // Ids beyond 32 bits are read and written whole.
    app.d.exec("update users set users_id=5000000000 where username='operator';"
               "update system set user_id=5000000000");

    ViSession s = 0, again = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    EXPECT_EQ(s & 0xC0000000u, 0x40000000u) << "a handle-table value";
    EXPECT_NE(app.d.value("select handle from users where users_id=5000000000"), "NULL");
    EXPECT_NE(app.d.value("select deviceHandle from vresource where name='system'"), "NULL");
    EXPECT_EQ(readLines(app.d.appLog()), (std::vector<std::string>{"getPnPHandle " + hex(s) + " database=system",
                                                                   "doOperation uiEvent pnpload;instrument;system"}));

    // The same user again: the same session, nothing loaded.
    ASSERT_EQ(app.open(again), VI_SUCCESS);
    EXPECT_EQ(again, s);
    EXPECT_EQ(readLines(app.d.appLog()).size(), 2u);

    char name[TQDAQ_NAME_SIZE] = "x";
    EXPECT_EQ(tqdaq_getDB(s, name), VI_SUCCESS);
    EXPECT_STREQ(name, "system");

    ASSERT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    const auto log = readLines(app.d.appLog());
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2], "doOperation uiEvent pnpunload;instrument;");
    EXPECT_EQ(log[3], "release");
    EXPECT_EQ(app.d.value("select count(*) from users where handle is not null"), "0");
    EXPECT_EQ(app.d.value("select count(*) from vresource where deviceHandle is not null"), "0");

    // Null outputs are refused, not written through.
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getHandle(nullptr, "operator", "", kVendor, kAppModel), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_getVresourceSession(s, "system", nullptr), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);

    // The value is stale now.
    EXPECT_EQ(tqdaq_closeHandle(s), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tqdaq_getDB(s, name), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tqdaq_getDB(0, name), VI_ERROR_INV_OBJECT);
}

TEST(Session, TraceLinesAreExact)
{
    AppDb app(/*spy=*/true);
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    const std::string sess = hex(s) + "(operator)";
    char addr[32];
    std::snprintf(addr, sizeof addr, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&s)));
    {
        const auto lines = readLines(app.d.debugLog());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), std::string("tqdaq_getHandle(") + addr + ",operator,XXX,0x3c5a,0x64) retVal=0");
        EXPECT_EQ(count(lines, "tqdaq_openPnP(" + sess + ",appinstrument,appinstrument,NULL,"), 1);
        EXPECT_EQ(count(lines, "tqdaq_doOperation(" + sess + ",system,uiEvent) retVal=0"), 1);
    }
    ASSERT_EQ(truncate(app.d.debugLog().c_str(), 0), 0); // the log stays open for appending

    char name[TQDAQ_NAME_SIZE];
    ASSERT_EQ(tqdaq_getDB(s, name), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getController(s, name), VI_SUCCESS);
    EXPECT_EQ(tqdaq_doOperation(s, "system", "unknownop", nullptr), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeVresource(s, "elsewhere"), TQDAQ_ERROR_UNKNOWN_VRSRC);
    ASSERT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);

    const auto lines = readLines(app.d.debugLog());
    const std::vector<std::string> exports = {
        "tqdaq_getDB(" + sess + ",system) retVal=0",
        "tqdaq_getController(" + sess + ",operator) retVal=0",
        "tqdaq_doOperation(" + sess + ",system,unknownop) retVal=0",
        "tqdaq_closeVresource(" + sess + ",elsewhere) retVal=0xbffc0108",
        "tqdaq_closeHandle(" + hex(s) + ") retVal=0",
    };
    std::vector<std::string> seen;
    for (const auto &l : lines)
        if (l.rfind("tqdaq_getDB(", 0) == 0 || l.rfind("tqdaq_getController(", 0) == 0 ||
            l.rfind("tqdaq_doOperation(" + sess + ",system,unknownop", 0) == 0 ||
            l.rfind("tqdaq_closeVresource(", 0) == 0 || l.rfind("tqdaq_closeHandle(", 0) == 0)
            seen.push_back(l);
    // closeHandle reads the selected database once more before the last line.
    ASSERT_GE(seen.size(), exports.size());
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 4),
              std::vector<std::string>(exports.begin(), exports.begin() + 4));
    EXPECT_EQ(seen.back(), exports.back());
}

TEST(Session, TraceLineIsCutAt255Characters)
{
    AppDb app(/*spy=*/true);
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    ASSERT_EQ(truncate(app.d.debugLog().c_str(), 0), 0); // the log stays open for appending
    const std::string op(250, 'o');
    EXPECT_EQ(tqdaq_doOperation(s, "system", op.c_str(), nullptr), VI_SUCCESS);
    std::ifstream in(app.d.debugLog());
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string expected = ("tqdaq_doOperation(" + hex(s) + "(operator),system," + op).substr(0, 255);
    EXPECT_EQ(all, expected);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(Session, NoTraceWithoutTheSwitch)
{
    AppDb app(/*spy=*/false);
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    char name[TQDAQ_NAME_SIZE];
    EXPECT_EQ(tqdaq_getDB(s, name), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_TRUE(readLines(app.d.debugLog()).empty());
}

TEST(Controller, NamedOnlyWhileNoneIsAndCheckedOnEveryChange)
{
    AppDb app;
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    char name[TQDAQ_NAME_SIZE] = "x";

    EXPECT_EQ(tqdaq_setController(s, "other"), TQDAQ_ERROR_STATEMENT) << "a controller is named";
    ASSERT_EQ(tqdaq_getController(s, name), VI_SUCCESS);
    EXPECT_STREQ(name, "operator");

    app.d.exec("update system set user_id=NULL");
    ASSERT_EQ(tqdaq_getController(s, name), VI_SUCCESS);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(tqdaq_doOperation(s, nullptr, "start", nullptr), TQDAQ_ERROR_NOT_CONTROLLER);

    EXPECT_EQ(tqdaq_setController(s, "nobody"), VI_SUCCESS);
    EXPECT_EQ(app.d.value("select user_id from system"), "NULL");
    EXPECT_EQ(tqdaq_setController(s, "x' or '1'='1"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(app.d.value("select user_id from system"), "NULL");

    // The update goes through.
    EXPECT_EQ(tqdaq_setController(s, "other"), VI_SUCCESS);
    EXPECT_EQ(app.d.value("select users.username from system,users where users_id=user_id"), "other");
    EXPECT_EQ(tqdaq_doOperation(s, nullptr, "start", nullptr), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(tqdaq_closeVresource(s, "system"), TQDAQ_ERROR_NOT_CONTROLLER);

    // Without system row 1 the check gives up after a bounded retry.
    app.d.exec("delete from system");
    EXPECT_EQ(tqdaq_doOperation(s, nullptr, "start", nullptr), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(Controller, StoredNameLongerThanTheBufferIsRefusedNotCopied)
{
    AppDb app;
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    app.d.exec("insert into users (username) values ('" + std::string(300, 'n') +
               "');"
               "update system set user_id=(select users_id from users where length(username)=300)");
    char name[TQDAQ_NAME_SIZE + 8];
    memset(name, 'z', sizeof name);
    EXPECT_EQ(tqdaq_getController(s, name), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(name[TQDAQ_NAME_SIZE], 'z');
    app.d.exec("update system set user_id=(select users_id from users where username='operator')");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

struct BadName {
    const char *what;
    std::string name;
    bool null;
    const char *c() const { return null ? nullptr : name.c_str(); }
};

class Injection : public ::testing::TestWithParam<BadName>
{
};

TEST_P(Injection, RefusedAndNothingChanges)
{
    const BadName &n = GetParam();
    AppDb app;
    app.d.addVresource("victim", app.appModel);
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    const std::string before = app.d.dump();
    const size_t logBefore = readLines(app.d.appLog()).size();

    ViSession other = 0;
    EXPECT_LT(tqdaq_getHandle(&other, n.c(), "pw", kVendor, kAppModel), VI_SUCCESS) << n.what;
    EXPECT_EQ(other, 0u);
    EXPECT_LT(tqdaq_closeVresource(s, n.c()), VI_SUCCESS) << n.what;
    ViSession vi = 0;
    EXPECT_LT(tqdaq_getVresourceSession(s, n.c(), &vi), VI_SUCCESS) << n.what;
    // A quote makes no statement: a failure. Other names select nothing.
    const ViStatus walk = !n.null && n.name.find('\'') != std::string::npos ? TQDAQ_ERROR_STATEMENT : VI_SUCCESS;
    if (!n.null && !n.name.empty()) { // null or empty names the whole database
        EXPECT_EQ(tqdaq_doOperation(s, n.c(), "start", nullptr), walk) << n.what;
    }
    EXPECT_EQ(tqdaq_doOperation(s, "system", n.c(), nullptr), walk) << n.what;

    EXPECT_EQ(app.d.dump(), before) << n.what;
    EXPECT_EQ(readLines(app.d.appLog()).size(), logBefore) << "no instrument ran";

    app.d.exec("update system set user_id=NULL");
    EXPECT_EQ(tqdaq_setController(s, n.c()), n.null || n.name.size() > 255 || n.name.find('\'') != std::string::npos
                                                 ? TQDAQ_ERROR_STATEMENT
                                                 : VI_SUCCESS);
    EXPECT_EQ(app.d.value("select user_id from system"), "NULL") << n.what;
    app.d.exec("update system set user_id=(select users_id from users where username='operator')");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Names, Injection,
                         ::testing::Values(BadName{"balanced quotes", "x' or '1'='1", false},
                                           BadName{"comment", "system' --", false},
                                           BadName{"300 characters", std::string(300, 'a'), false},
                                           BadName{"empty", "", false}, BadName{"null", "", true}));

} // namespace
