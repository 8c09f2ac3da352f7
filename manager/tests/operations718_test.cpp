// Operations, simulation mode and events through the manager on simulated
// model 718 boards, beside the example application instrument and the test
// driver. The 718s and the application instrument print "[<name>]stop:..."
// to the session's message sink, so the sink shows the order of a walk.
#include <atomic>
#include <string>
#include <vector>

#include "fixture.h"
#include "support/simvisa_testenv.h"
#include "tq/platform/thread.h"
#include "tq718.h"

using namespace mtest;

namespace
{

// The boards present; a member may also name one that is not.
const std::vector<std::string> kPresent = {"PXI1::11::INSTR", "PXI1::12::INSTR", "PXI1::13::INSTR", "PXI1::14::INSTR"};
constexpr const char *kAbsent = "PXI9::9::INSTR";

struct Db718 : AppDb {
    Db718()
    {
        EXPECT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        model718 = d.addModel(kVendor, 0x718, "tq718", "tqp718_32", {"reset", "start", "stop", "frobnicate"});
        nameItem718 = d.addInstrumentNameOption(model718);
        testModel = d.addTestModel({"reset", "start", "stop", "frobnicate"});
        nameItemTest = d.addInstrumentNameOption(testModel);
        systemId = std::stoll(d.value("select vresource_id from vresource where name='system'"));
        d.setConfig(dbId, systemId, "Rank", "0");
        setenv("TQ_TESTDRIVER_LOG", d.driverLog().c_str(), 1);
    }
    // Opens the session (which binds VISA) and lays out the boards.
    ViStatus open(ViSession &s)
    {
        const ViStatus st = AppDb::open(s);
        if (st < VI_SUCCESS || !sim.load())
            return st < VI_SUCCESS ? st : VI_ERROR_SYSTEM_ERROR;
        sim.simvisa_reset();
        for (const std::string &b : kPresent)
            EXPECT_EQ(sim.simvisa_addInstrument(b.c_str(), "board=tq718; manf=0x3c5a; model=0x718"), VI_SUCCESS);
        EXPECT_EQ(tqdaq_registerStreamMsg(s, sink.queue), VI_SUCCESS);
        return st;
    }
    // A member of the selected database: a 718 on a board, or (board null) a
    // test-driver instrument named after it.
    int64_t member(const std::string &name, const char *board, const char *rank, int enable = 1)
    {
        const int64_t v = d.addVresource(name, board ? model718 : testModel);
        d.setInstrumentName(v, board ? nameItem718 : nameItemTest, name);
        d.addMember(dbId, v, enable);
        if (rank)
            d.setConfig(dbId, v, "Rank", rank);
        if (board)
            d.exec("insert into presource (name,model_id,vresource_id) values ('" + std::string(board) + "'," +
                   std::to_string(model718) + "," + std::to_string(v) + ")");
        return v;
    }
    // Who printed "[<who>]<operation>:..." to the sink since the last call.
    std::vector<std::string> ran(const std::string &operation)
    {
        std::vector<std::string> who;
        for (const std::string &line : sink.take()) {
            const size_t close = line.find(']');
            if (line.rfind("[", 0) == 0 && close != std::string::npos &&
                line.compare(close + 1, operation.size() + 1, operation + ":") == 0)
                who.push_back(line.substr(1, close - 1));
        }
        return who;
    }
    tq::test::SimVisa sim;
    Sink sink;
    int64_t model718 = 0, nameItem718 = 0, testModel = 0, nameItemTest = 0, systemId = 0;
};

struct Member {
    const char *name;
    const char *board; // null: a test-driver instrument
    const char *rank;
    int enable;
};

struct WalkCase {
    const char *what;
    std::vector<Member> members;
    const char *arrange; // SQL run after the session opened, or null
    const char *resource;
    const char *operation;
    ViStatus expected;
    std::vector<std::string> printed; // "[who]<operation>:" lines, in order ("system": the application's)
    std::vector<std::string> driver;  // operation lines of the test driver's instruments
};

class Walk718 : public ::testing::TestWithParam<WalkCase>
{
};

TEST_P(Walk718, RunsInRankOrder)
{
    const WalkCase &c = GetParam();
    Db718 w;
    for (const Member &m : c.members)
        w.member(m.name, m.board, m.rank, m.enable);
    w.d.addVresource("outsider", w.model718);
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    if (c.arrange)
        w.d.exec(c.arrange);

    EXPECT_EQ(tqdaq_doOperation(s, c.resource, c.operation, nullptr), c.expected) << c.what;
    EXPECT_EQ(w.ran(c.operation), c.printed) << c.what;
    std::vector<std::string> driver;
    for (const std::string &line : readLines(w.d.driverLog()))
        if (line.find(std::string(" ") + c.operation + " ") != std::string::npos)
            driver.push_back(line);
    EXPECT_EQ(driver, c.driver) << c.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(w.sim.simvisa_openSessionCount(), 0u) << c.what << ": every board closed again";
}

const char *kBoard1 = "PXI1::11::INSTR";
const char *kBoard2 = "PXI1::12::INSTR";
const char *kBoard3 = "PXI1::13::INSTR";

INSTANTIATE_TEST_SUITE_P(
    Cases, Walk718,
    ::testing::Values(WalkCase{"no rank first, then rank as text ('10' before '9')",
                               {{"b9", kBoard1, "9", 1}, {"b10", kBoard2, "10", 1}, {"bnone", kBoard3, nullptr, 1}},
                               nullptr,
                               nullptr,
                               "stop",
                               VI_SUCCESS,
                               {"bnone", "system", "b10", "b9"},
                               {}},
                      WalkCase{"disabled members are skipped",
                               {{"b1", kBoard1, "1", 1}, {"bdis", kBoard2, "2", 0}},
                               nullptr,
                               "",
                               "stop",
                               VI_SUCCESS,
                               {"system", "b1"},
                               {}},
                      WalkCase{"a disabled member named runs alone",
                               {{"b1", kBoard1, "1", 1}, {"bdis", kBoard2, "2", 0}},
                               nullptr,
                               "bdis",
                               "stop",
                               VI_SUCCESS,
                               {"bdis"},
                               {}},
                      WalkCase{"a name outside the database runs nothing",
                               {{"b1", kBoard1, "1", 1}},
                               nullptr,
                               "outsider",
                               "stop",
                               VI_SUCCESS,
                               {},
                               {}},
                      WalkCase{"one member without the operation: a warning, every member run",
                               {{"b1", kBoard1, "1", 1}, {"nsup2", nullptr, "2", 1}, {"b3", kBoard3, "3", 1}},
                               nullptr,
                               nullptr,
                               "stop",
                               TQDAQ_WARN_OPER_UNSUPPORTED,
                               {"system", "b1", "b3"},
                               {"nsup2 stop NULL"}},
                      WalkCase{"a failure ends the walk",
                               {{"b1", kBoard1, "1", 1}, {"fail2", nullptr, "2", 1}, {"b3", kBoard3, "3", 1}},
                               nullptr,
                               nullptr,
                               "stop",
                               VI_ERROR_SYSTEM_ERROR,
                               {"system", "b1"},
                               {"fail2 stop NULL"}},
                      WalkCase{"a member whose board is gone ends the walk",
                               {{"b1", kBoard1, "1", 1}, {"gone2", kAbsent, "2", 1}, {"b3", kBoard3, "3", 1}},
                               nullptr,
                               nullptr,
                               "stop",
                               VI_ERROR_RSRC_NFOUND,
                               {"system", "b1"},
                               {}},
                      WalkCase{"not the controller",
                               {{"b1", kBoard1, "1", 1}},
                               "update system set user_id=(select users_id from users where username='other')",
                               nullptr,
                               "stop",
                               TQDAQ_ERROR_NOT_CONTROLLER,
                               {},
                               {}},
                      WalkCase{"a walk that cannot be read runs nothing",
                               {{"b1", kBoard1, "1", 1}},
                               "alter table operation rename to operation_gone",
                               nullptr,
                               "stop",
                               TQDAQ_ERROR_STATEMENT,
                               {},
                               {}},
                      WalkCase{"an operation name no statement can carry",
                               {{"b1", kBoard1, "1", 1}},
                               nullptr,
                               nullptr,
                               "stop' or '1'='1",
                               TQDAQ_ERROR_STATEMENT,
                               {},
                               {}}));

// Register writes to a board's reset register since the last look.
int resets(Db718 &w, const char *board)
{
    std::vector<SimVisaWrite> log(16384);
    ViUInt32 count = 0;
    EXPECT_EQ(w.sim.simvisa_getWriteLog(board, log.data(), static_cast<ViUInt32>(log.size()), &count), VI_SUCCESS);
    w.sim.simvisa_clearWriteLog(board);
    int n = 0;
    for (ViUInt32 i = 0; i < count; ++i)
        n += log[i].offset == 0xE0 && (log[i].value & 1);
    return n;
}

TEST(SimulationMode718, ResetsEnabledMembersFirst)
{
    Db718 w;
    w.member("b1", kBoard1, "1");
    w.member("b2", kBoard2, "2");
    w.member("bdis", kBoard3, "3", 0);
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    const size_t appLines = readLines(w.d.appLog()).size();

    struct Step {
        const char *what;
        const char *name;
        ViUInt16 mode;
        ViStatus expected;
        std::vector<int> resets; // of b1, b2, bdis
    };
    for (const Step &step : {
             Step{"mode 1: every enabled member reset", nullptr, 1, VI_SUCCESS, {1, 1, 0}},
             Step{"mode 0: no reset", "", 0, VI_SUCCESS, {0, 0, 0}},
             Step{"a disabled member by name", "bdis", 1, VI_SUCCESS, {0, 0, 1}},
             Step{"a name outside the members", "system", 1, VI_SUCCESS, {0, 0, 0}},
         }) {
        EXPECT_EQ(tqdaq_setSimulationMode(s, step.name, step.mode), step.expected) << step.what;
        EXPECT_EQ((std::vector<int>{resets(w, kBoard1), resets(w, kBoard2), resets(w, kBoard3)}), step.resets)
            << step.what;
    }
    // The database's own instrument is not in the walk.
    const auto app = readLines(w.d.appLog());
    for (size_t i = appLines; i < app.size(); ++i)
        EXPECT_EQ(app[i].rfind("setSimulationMode", 0), std::string::npos) << app[i];

    w.d.exec("update system set user_id=(select users_id from users where username='other')");
    EXPECT_EQ(tqdaq_setSimulationMode(s, nullptr, 1), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(resets(w, kBoard1), 0);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

struct Seen {
    std::atomic<int> calls{0};
    std::atomic<ViUInt32> bits{0};
};

ViStatus onEvent(ViConstString, ViUInt32 bits, void *user, ViUInt32 *, ViChar *)
{
    auto *seen = static_cast<Seen *>(user);
    seen->bits |= bits;
    ++seen->calls;
    return VI_SUCCESS;
}

// Pulses PXI line 0 (the 718's event 5) until the handler saw it, within a
// generous bound.
bool pulseUntilSeen(Db718 &w, const char *board, Seen &seen)
{
    const uint64_t giveUp = tq::platform::tickMs() + 60000;
    while (seen.calls.load() == 0 && tq::platform::tickMs() < giveUp) {
        w.sim.simvisa_pulseLine(board, 0, 1);
        tq::platform::sleepMs(20);
    }
    return seen.calls.load() > 0;
}

TEST(Events718, HandlerInstalledWhileClosedReachesTheBoardsEvents)
{
    Db718 w;
    w.member("b1", kBoard1, "1");
    ViSession s = 0;
    ASSERT_EQ(w.open(s), VI_SUCCESS);
    Seen seen, forged;
    char message[256] = "";

    // Installed while closed: remembered, nothing opened.
    ASSERT_EQ(tqdaq_installEventHandler(s, "b1", 0, onEvent, &seen, message), VI_SUCCESS);
    EXPECT_EQ(w.d.value("select deviceHandle from vresource where name='b1'"), "NULL");
    EXPECT_EQ(w.d.value("select count(*) from eventhandler where rsrcname='b1'"), "1");
    // A row written into the file by anybody else: an address and user data
    // of this very process, and never called.
    w.d.exec("insert into eventhandler values('b1',0," +
             std::to_string(static_cast<long long>(reinterpret_cast<uintptr_t>(&onEvent))) + "," +
             std::to_string(static_cast<long long>(reinterpret_cast<uintptr_t>(&forged))) + ",0)");

    // Opened and started: the 718 calls the remembered handler.
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(s, "b1", &vi), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tqdaq_doOperation(s, "b1", "start", nullptr), VI_SUCCESS);
    EXPECT_TRUE(pulseUntilSeen(w, kBoard1, seen));
    EXPECT_NE(seen.bits.load() & (1u << 4), 0u);
    EXPECT_EQ(forged.calls.load(), 0) << "the forged row was skipped";

    EXPECT_EQ(tqdaq_doOperation(s, "b1", "stop", nullptr), VI_SUCCESS);

    // The driver's handler table is changed only while it delivers no event.
    // Uninstalled: no longer called, and not installed at the next open.
    ASSERT_EQ(tqdaq_uninstallEventHandler(s, "b1", 0, onEvent, &seen), VI_SUCCESS);
    EXPECT_EQ(w.d.value("select count(*) from eventhandler where rsrcname='b1'"), "1") << "the forged row stays";
    EXPECT_EQ(tqdaq_closeVresource(s, "b1"), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceSession(s, "b1", &vi), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    Seen probe;
    ASSERT_EQ(tqdaq_installEventHandler(s, "b1", 0, onEvent, &probe, message), VI_SUCCESS) << "installed at once";
    // A handler that cannot be remembered is taken out of the driver again.
    w.d.exec("create trigger refuse before insert on eventhandler begin select raise(abort,'no'); end");
    Seen late;
    EXPECT_EQ(tqdaq_installEventHandler(s, "b1", 0, onEvent, &late, message), VI_ERROR_HNDLR_NINSTALLED);
    w.d.exec("drop trigger refuse");
    const int before = seen.calls.load();
    ASSERT_EQ(tqdaq_doOperation(s, "b1", "start", nullptr), VI_SUCCESS);
    EXPECT_TRUE(pulseUntilSeen(w, kBoard1, probe));
    EXPECT_EQ(tqdaq_doOperation(s, "b1", "stop", nullptr), VI_SUCCESS);
    EXPECT_EQ(seen.calls.load(), before) << "the uninstalled handler is not called";
    EXPECT_EQ(late.calls.load(), 0) << "the handler that was not remembered is not called";

    // Wait and event status go to the driver, opening on demand.
    ViUInt16 active = 7, direct = 9;
    char text[256] = "";
    EXPECT_EQ(tqdaq_getEventStatus(s, "b1", 5, &active, 0, message), tq718_getEventStatus(vi, 5, &direct, 0, text));
    EXPECT_EQ(active, direct);
    EXPECT_STREQ(message, text);
    EXPECT_EQ(tqdaq_installEventHandler(s, "b1", 0, nullptr, nullptr, message), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_installEventHandler(s, "nosuch", 0, onEvent, &seen, message), TQDAQ_ERROR_UNKNOWN_VRSRC);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

} // namespace
