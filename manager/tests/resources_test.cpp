// Opening and closing instruments through their PnP handles, the marks that
// find them again, the notifications to the database's own instrument, and
// the operation walk in rank order.
#include <dlfcn.h>

#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "fixture.h"

using namespace mtest;

extern "C" int tqmtest_liveInstances();

namespace
{

int count(const std::vector<std::string> &lines, const std::string &line)
{
    int n = 0;
    for (const auto &l : lines)
        n += l == line;
    return n;
}

// The application database with the test driver's model and members named
// after the instruments they hold.
struct WalkDb : AppDb {
    WalkDb()
    {
        testModel = d.addTestModel();
        nameItem = d.addInstrumentNameOption(testModel);
        // One log for both instruments, so that their order shows.
        setenv("TQ_TESTDRIVER_LOG", d.appLog().c_str(), 1);
    }
    int64_t member(const std::string &name, const char *rank, int enable = 1)
    {
        const int64_t v = d.addVresource(name, testModel);
        d.setInstrumentName(v, nameItem, name);
        d.addMember(dbId, v, enable);
        if (rank)
            d.setConfig(dbId, v, "Rank", rank);
        return v;
    }
    // Lines of the log from the first one of the walk on.
    std::vector<std::string> logSince(size_t from)
    {
        auto lines = readLines(d.appLog());
        return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end());
    }
    int64_t testModel = 0, nameItem = 0;
};

struct Member {
    const char *name;
    const char *rank;
    int enable;
};

struct WalkCase {
    const char *what;
    std::vector<Member> members;
    const char *resource;
    const char *operation;
    ViStatus expected;
    std::vector<std::string> ran; // operation lines, in order; "system" is the database's own instrument
};

class Walk : public ::testing::TestWithParam<WalkCase>
{
};

TEST_P(Walk, RunsInRankOrder)
{
    const WalkCase &c = GetParam();
    WalkDb w;
    // The database's own instrument ranks '0'.
    w.d.setConfig(w.dbId, std::stoll(w.d.value("select vresource_id from vresource where name='system'")), "Rank", "0");
    for (const Member &m : c.members)
        w.member(m.name, m.rank, m.enable);
    w.d.addVresource("outsider", w.testModel);

    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    const size_t from = readLines(w.d.appLog()).size();
    EXPECT_EQ(tqdaq_doOperation(s, c.resource, c.operation, "arg"), c.expected) << c.what;

    std::vector<std::string> ran;
    for (const auto &l : w.logSince(from)) {
        const std::string suffix = std::string(" ") + c.operation + " arg";
        if (l == std::string("doOperation ") + c.operation + " arg")
            ran.push_back("system");
        else if (l.size() > suffix.size() && l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0)
            ran.push_back(l.substr(0, l.size() - suffix.size()));
    }
    EXPECT_EQ(ran, c.ran) << c.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Walk,
    ::testing::Values(
        WalkCase{"no rank first, then rank as text",
                 {{"m9", "9", 1}, {"m10", "10", 1}, {"mnone", nullptr, 1}},
                 nullptr,
                 "start",
                 VI_SUCCESS,
                 {"mnone", "system", "m10", "m9"}},
        WalkCase{"disabled members are skipped",
                 {{"m1", "1", 1}, {"mdis", "2", 0}},
                 "",
                 "start",
                 VI_SUCCESS,
                 {"system", "m1"}},
        WalkCase{"a disabled member by name runs",
                 {{"m1", "1", 1}, {"mdis", "2", 0}},
                 "mdis",
                 "start",
                 VI_SUCCESS,
                 {"mdis"}},
        WalkCase{"a resource outside the database does nothing", {{"m1", "1", 1}}, "outsider", "reset", VI_SUCCESS, {}},
        WalkCase{"an operation the model lacks", {{"m1", "1", 1}}, nullptr, "calibrate", VI_SUCCESS, {}},
        WalkCase{"only the models that list it", {{"m1", "1", 1}}, nullptr, "reset", VI_SUCCESS, {"m1"}},
        WalkCase{"not supported goes on and warns",
                 {{"m1", "1", 1}, {"nsup2", "2", 1}, {"m3", "3", 1}},
                 nullptr,
                 "start",
                 TQDAQ_WARN_OPER_UNSUPPORTED,
                 {"system", "m1", "nsup2", "m3"}},
        WalkCase{"a failure ends the walk",
                 {{"m1", "1", 1}, {"fail2", "2", 1}, {"m3", "3", 1}},
                 nullptr,
                 "start",
                 VI_ERROR_SYSTEM_ERROR,
                 {"system", "m1", "fail2"}}));

TEST(Resources, OpenOnceNotifyAndClose)
{
    WalkDb w;
    const int64_t plain = w.member("plain", "1");
    const int64_t hw = w.member("withhw", "2");
    w.d.exec("insert into presource (name,model_id,vresource_id) values ('PXI9::1::INSTR'," +
             std::to_string(w.testModel) + "," + std::to_string(hw) + ")");
    const int64_t mod = w.member("module", "3");
    w.d.exec("insert into vadapter (frontend_id,backend_id,connector_index) values (" + std::to_string(mod) + "," +
             std::to_string(hw) + ",3)");
    (void)plain;

    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    const size_t from = readLines(w.d.appLog()).size();

    ViSession a = 0, b = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(s, "plain", &a), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "plain", &b), VI_SUCCESS);
    EXPECT_EQ(a, b) << "the open instance is found again";
    ViSession c = 0, d = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(s, "withhw", &c), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "module", &d), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 3);
    EXPECT_NE(w.d.value("select deviceHandle from vresource where name='plain'"), "NULL");

    // What each instance was opened for: none, its physical resource, its site.
    auto log = w.logSince(from);
    EXPECT_EQ(count(log, "- init"), 1);
    EXPECT_EQ(count(log, "PXI9::1::INSTR init"), 1);
    EXPECT_EQ(count(log, "3 init"), 1);
    EXPECT_EQ(count(log, "doOperation uiEvent pnpload;instrument;plain"), 1);
    EXPECT_EQ(count(log, "doOperation uiEvent pnpload;instrument;withhw"), 1);

    EXPECT_EQ(tqdaq_closeVresource(s, "plain"), VI_SUCCESS);
    EXPECT_EQ(w.d.value("select deviceHandle from vresource where name='plain'"), "NULL");
    EXPECT_EQ(tqdaq_closeVresource(s, "plain"), VI_SUCCESS) << "not open: nothing to do";
    log = w.logSince(from);
    EXPECT_EQ(count(log, "doOperation uiEvent pnpunload;instrument;plain"), 1);
    EXPECT_EQ(count(log, "plain release"), 1);
    EXPECT_EQ(tqmtest_liveInstances(), 2);

    // Unknown names, and known ones while no database is selected.
    ViSession vi = 0;
    EXPECT_EQ(tqdaq_getVresourceSession(s, "unknown", &vi), TQDAQ_ERROR_UNKNOWN_VRSRC);
    w.d.exec("update system set db_id=NULL");
    EXPECT_EQ(tqdaq_getVresourceSession(s, "plain", &vi), TQDAQ_ERROR_UNKNOWN_VRSRC);
    w.d.exec("update system set db_id=" + std::to_string(w.dbId));

    // Session end closes what is still open.
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
    EXPECT_EQ(w.d.value("select count(*) from vresource where deviceHandle is not null"), "0");
}

TEST(Resources, InstrumentWithoutNameIsClosedWithoutNotification)
{
    WalkDb w;
    w.member("mute1", nullptr);
    ViSession s = 0, vi = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "mute1", &vi), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeVresource(s, "mute1"), VI_SUCCESS);
    const auto log = readLines(w.d.appLog());
    EXPECT_EQ(count(log, "mute1 release"), 1);
    for (const auto &l : log)
        EXPECT_EQ(l.find("pnpunload;instrument;mute"), std::string::npos) << l;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(Resources, FailedInitLeavesNothingLoaded)
{
    WalkDb w;
    const int64_t v = w.member("broken", "1");
    w.d.exec("insert into presource (name,model_id,vresource_id) values ('badinit'," + std::to_string(w.testModel) +
             "," + std::to_string(v) + ")");
    ViSession s = 0, vi = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getVresourceSession(s, "broken", &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(tqdaq_doOperation(s, nullptr, "start", nullptr), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
    EXPECT_EQ(w.d.value("select deviceHandle from vresource where name='broken'"), "NULL");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// Back-ends: a physical resource's model names, through its backendName
// attribute, the property whose stored value is the back-end's name.
struct BackendDb : WalkDb {
    BackendDb()
    {
        const int64_t cat = d.insert("insert into category (name) values ('Link')");
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(testModel) + "," +
               std::to_string(cat) + ");insert into category_attributes (category_id,name,value) values (" +
               std::to_string(cat) + ",'backendName','Backend')");
    }
    int64_t withPresource(const std::string &name, const std::string &rsrc)
    {
        const int64_t v = member(name, nullptr);
        d.exec("insert into presource (name,model_id,vresource_id) values ('" + rsrc + "'," +
               std::to_string(testModel) + "," + std::to_string(v) + ")");
        return v;
    }
};

TEST(Resources, BackendIsOpenedAndAttached)
{
    BackendDb w;
    const int64_t a = w.withPresource("front", "PXI9::1::INSTR");
    w.member("back", nullptr);
    w.d.setConfig(w.dbId, a, "Backend", "back");
    ViSession s = 0, vi = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "front", &vi), VI_SUCCESS);
    EXPECT_EQ(count(readLines(w.d.appLog()), "front attachBackend back"), 1);
    EXPECT_EQ(tqmtest_liveInstances(), 2);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
}

TEST(Resources, BackendChainBackToItselfIsRefused)
{
    BackendDb w;
    const int64_t a = w.withPresource("ringA", "PXI9::1::INSTR");
    const int64_t b = w.withPresource("ringB", "PXI9::2::INSTR");
    w.d.setConfig(w.dbId, a, "Backend", "ringB");
    w.d.setConfig(w.dbId, b, "Backend", "ringA");
    ViSession s = 0, vi = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getVresourceSession(s, "ringA", &vi), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
    EXPECT_EQ(w.d.value("select count(*) from vresource where deviceHandle is not null and name like 'ring%'"), "0");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// A mark of a process that is gone, or one no process could have written, is
// no instance: the resource is opened anew and marked by this process. A
// mark of another running process stays its own: this session opens an
// instance of its own beside it and finds it again.
TEST(Resources, MarksOfOtherProcessesAreNoInstanceHere)
{
    WalkDb w;
    w.member("m1", nullptr);
    ViSession s = 0, vi = 0, again = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    const std::string deadMark = std::to_string((static_cast<long long>(gone) << 32) | 7);
    for (const std::string &mark : {deadMark, std::string("12345"), std::string("-5"), std::string("junk")}) {
        w.d.exec("update vresource set deviceHandle='" + mark + "' where name='m1'");
        EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &vi), VI_SUCCESS) << mark;
        EXPECT_EQ(tqmtest_liveInstances(), 1) << mark;
        const std::string now = w.d.value("select deviceHandle from vresource where name='m1'");
        EXPECT_NE(now, mark) << "replaced by this process's own";
        EXPECT_NE(now, "NULL") << mark;
        EXPECT_EQ(tqdaq_closeVresource(s, "m1"), VI_SUCCESS) << mark;
        EXPECT_EQ(tqmtest_liveInstances(), 0) << mark;
    }
    const std::string liveMark = std::to_string((static_cast<long long>(getppid()) << 32) | 7);
    w.d.exec("update vresource set deviceHandle=" + liveMark + " where name='m1'");
    EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &vi), VI_SUCCESS);
    EXPECT_EQ(tqdaq_getVresourceSession(s, "m1", &again), VI_SUCCESS);
    EXPECT_EQ(again, vi) << "found again without a mark";
    EXPECT_EQ(tqmtest_liveInstances(), 1);
    EXPECT_EQ(w.d.value("select deviceHandle from vresource where name='m1'"), liveMark);
    EXPECT_EQ(tqdaq_closeVresource(s, "m1"), VI_SUCCESS);
    EXPECT_EQ(tqmtest_liveInstances(), 0);
    EXPECT_EQ(w.d.value("select deviceHandle from vresource where name='m1'"), liveMark)
        << "the other process's mark stays";
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(w.d.value("select deviceHandle from vresource where name='m1'"), liveMark);
}

} // namespace

namespace
{

TEST(MessageSink, HandedToOpenInstrumentsAndToEveryOneOpenedLater)
{
    WalkDb w;
    w.member("early", "1");
    w.member("late", "2");
    const int64_t broken = w.member("broken", "3");
    w.d.exec("insert into presource (name,model_id,vresource_id) values ('badinit'," + std::to_string(w.testModel) +
             "," + std::to_string(broken) + ")");
    ViSession s = 0, vi = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "early", &vi), VI_SUCCESS);
    {
        Sink sink;
        ASSERT_EQ(tqdaq_registerStreamMsg(s, sink.queue), VI_SUCCESS);
        EXPECT_EQ(count(readLines(w.d.appLog()), "early registerStreamMsg sink"), 1);
        EXPECT_EQ(count(readLines(w.d.appLog()), "late registerStreamMsg sink"), 0) << "nothing is opened for it";
        ASSERT_EQ(tqdaq_getVresourceSession(s, "late", &vi), VI_SUCCESS);
        EXPECT_EQ(count(readLines(w.d.appLog()), "late registerStreamMsg sink"), 1);

        EXPECT_EQ(tqdaq_getVresourceSession(s, "broken", &vi), VI_ERROR_RSRC_NFOUND);
        EXPECT_EQ(sink.take(), std::vector<std::string>{"Failure to intialize physical resource badinit"});
    } // the session keeps its own reference

    // No database selected: the sink is kept all the same.
    w.d.exec("update system set db_id=NULL");
    Sink other;
    EXPECT_EQ(tqdaq_registerStreamMsg(s, other.queue), VI_SUCCESS);
    EXPECT_EQ(other.queue->refCount, 2);
    EXPECT_EQ(tqdaq_registerStreamMsg(s, nullptr), VI_SUCCESS);
    EXPECT_EQ(other.queue->refCount, 1);
    w.d.exec("update system set db_id=" + std::to_string(w.dbId));
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(SpyQueue, DriversTraceToTheDebugOutput)
{
    for (bool spy : {false, true}) {
        WalkDb w;
        w.d.exec(std::string("select 1")); // keeps the fixture's shape
        std::ofstream(w.d.debugLog(), std::ios::trunc).close();
        {
            std::ofstream reg(testDir() + "/registry");
            reg << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=" << (spy ? "0x10000" : "0") << "\n";
        }
        w.member("spied", nullptr);
        ViSession s = 0, vi = 0;
        ASSERT_EQ(w.open(s), VI_SUCCESS);
        ASSERT_EQ(tqdaq_getVresourceSession(s, "spied", &vi), VI_SUCCESS);
        ASSERT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
        // 0x10000: a spy queue for the drivers, but no trace lines (low half 0).
        EXPECT_EQ(readLines(w.d.debugLog()), spy ? std::vector<std::string>{"[spied]spy"} : std::vector<std::string>{})
            << spy;
    }
}

} // namespace
