// Driver sessions and the template entry points, on the test model's driver
// and the simulated VISA library found through systemroot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivertest/simvisaboard.h"
#include "testmodel.h"
#include "tq/driver/status.h"
#include "tq/platform/handles.h"

namespace {

tq::test::SimVisa sim;
const char *const kFind = "PXI?*INSTR";

std::string settings(unsigned model) { return "manf=0x3c5a; model=" + std::to_string(model); }

class Sessions : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tq::test::bindDriverToSimulatedVisa(tqtest_init, tqtest_close, sim);
    }
    void SetUp() override
    {
        sim.simvisa_reset();
        add("PXI1::5::INSTR", TQTEST_MODEL_CODE, "alias=bench1; reg13.0x7004=0x21");
    }
    void TearDown() override
    {
        for (ViSession vi : open_)
            tqtest_close(vi);
        EXPECT_EQ(sim.simvisa_openSessionCount(), 0u) << "VISA sessions left open";
        sim.simvisa_reset();
    }
    void add(const char *name, unsigned model, const std::string &extra = "")
    {
        ASSERT_EQ(sim.simvisa_addInstrument(name, (settings(model) + ";" + extra).c_str()), VI_SUCCESS);
    }
    ViSession openOk(const char *name, ViBoolean idQuery = 0, ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        EXPECT_GE(tqtest_init(const_cast<ViRsrc>(name), idQuery, reset, &vi), VI_SUCCESS) << name;
        open_.push_back(vi);
        return vi;
    }
    ViStatus closeOne(ViSession vi)
    {
        std::erase(open_, vi);
        return tqtest_close(vi);
    }
    std::vector<SimVisaWrite> writes(const char *name = "PXI1::5::INSTR")
    {
        std::vector<SimVisaWrite> log(64);
        ViUInt32 n = 0;
        EXPECT_EQ(sim.simvisa_getWriteLog(name, log.data(), 64, &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    std::vector<ViSession> open_;
};

TEST_F(Sessions, WithoutResourceNameEveryExportAcceptsTheValue)
{
    ViSession vi = VI_NULL;
    ASSERT_EQ(tqtest_init(const_cast<ViRsrc>(""), 1, 1, &vi), VI_SUCCESS);
    EXPECT_TRUE(tq::platform::HandleTable::looksLikeHandle(vi)) << "a handle, never an address";
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u) << "no VISA call";
    EXPECT_EQ(tqtest_getSimulationMode(vi, nullptr), 1);
    ViUInt16 mode = 0;
    ViUInt32 option = 1;
    char rsrc[256] = "x";
    ASSERT_EQ(tqtest_getState(vi, &mode, &option, rsrc), VI_SUCCESS);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(option, 0u);
    EXPECT_STREQ(rsrc, "");
    ViUInt32 level = 0;
    tqtest_getLevel(vi, &level);
    EXPECT_EQ(level, TQTEST_DEFAULT_LEVEL) << "defaults are set";

    ViInt16 result = 0;
    char text[256];
    EXPECT_EQ(tqtest_self_test(vi, &result, text), VI_WARN_NSUP_SELF_TEST);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(text, "ERROR: Self-Test failed!");
    char driverRev[256] = "", instrRev[256] = "untouched";
    EXPECT_EQ(tqtest_revision_query(vi, driverRev, instrRev), VI_WARN_NSUP_REV_QUERY);
    EXPECT_STREQ(driverRev, "4.0.3.0");
    EXPECT_STREQ(instrRev, "untouched");
    EXPECT_EQ(tqtest_setLevel(vi, 3), VI_SUCCESS);
    EXPECT_EQ(tqtest_reset(vi), VI_SUCCESS);
    tqtest_getLevel(vi, &level);
    EXPECT_EQ(level, TQTEST_DEFAULT_LEVEL) << "reset in simulation sets the defaults";
    EXPECT_EQ(tqtest_setInstrumentName(vi, "rig"), VI_SUCCESS);
    EXPECT_EQ(tqtest_getInstrumentName(vi, text), VI_SUCCESS);
    EXPECT_STREQ(text, "rig");
    EXPECT_EQ(tqtest_error_message(vi, TQ_WARN_ALREADY_RUNNING, text), VI_SUCCESS);
    EXPECT_EQ(tqtest_close(vi), VI_SUCCESS);
    EXPECT_EQ(tqtest_getSimulationMode(vi, nullptr), VI_ERROR_INV_OBJECT) << "a closed value is refused";
}

// Values that name no session of this driver.
TEST_F(Sessions, UnknownSessionsAreRefusedEverywhere)
{
    ViSession closed = VI_NULL;
    ASSERT_EQ(tqtest_init(nullptr, 0, 0, &closed), VI_SUCCESS);
    ASSERT_EQ(tqtest_close(closed), VI_SUCCESS);
    ViSession live = VI_NULL;
    ASSERT_EQ(tqtest_init(nullptr, 0, 0, &live), VI_SUCCESS); // may reuse the slot: the old value stays refused
    open_.push_back(live);
    tq::platform::HandleTable other(5);
    int dummy;
    const ViSession foreign = other.add(&dummy);
    const ViSession values[] = {0, 1, 0x123456, closed, foreign, live ^ 0x00800000u};
    for (ViSession bad : values) {
        SCOPED_TRACE(bad);
        ASSERT_NE(bad, live);
        ViInt16 result = 0;
        char text[256] = "";
        char rev[256];
        ViUInt32 level;
        EXPECT_EQ(tqtest_close(bad), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_reset(bad), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_self_test(bad, &result, text), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(result, 1) << "written before the lookup";
        EXPECT_STREQ(text, "ERROR: Self-Test failed!");
        EXPECT_EQ(tqtest_revision_query(bad, rev, rev), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_setSimulationMode(bad, 1), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_getSimulationMode(bad, nullptr), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_setInstrumentName(bad, "x"), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_getInstrumentName(bad, text), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_getLevel(bad, &level), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(tqtest_error_query(bad, nullptr, nullptr), VI_WARN_NSUP_ERROR_QUERY) << "no lookup";
    }
    EXPECT_EQ(tqtest_getSimulationMode(live, nullptr), 1);
}

TEST_F(Sessions, OpenWithInstrumentUsesAliasAndExpandedName)
{
    ViSession vi = openOk("bench1");
    EXPECT_FALSE(tq::platform::HandleTable::looksLikeHandle(vi)) << "the VISA session itself";
    ViUInt16 mode = 0;
    ViUInt32 option = 0;
    char rsrc[256], name[256];
    ASSERT_EQ(tqtest_getState(vi, &mode, &option, rsrc), VI_SUCCESS);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(option, 0x21u) << "read from the board at open";
    EXPECT_STREQ(rsrc, "bench1");
    ASSERT_EQ(tqtest_getInstrumentName(vi, name), VI_SUCCESS);
    EXPECT_STREQ(name, "PXI1::5::INSTR");
    EXPECT_EQ(tqtest_getSimulationMode(vi, nullptr), 0);

    // Without an alias the resource name is the expanded name.
    add("PXI1::6::INSTR", TQTEST_MODEL_CODE);
    ViSession plain = openOk("pxi1::6");
    ASSERT_EQ(tqtest_getState(plain, &mode, &option, rsrc), VI_SUCCESS);
    EXPECT_STREQ(rsrc, "PXI1::6::INSTR");
    EXPECT_EQ(sim.simvisa_openSessionCount(), 4u) << "one resource manager and one instrument session each";
    EXPECT_EQ(closeOne(vi), VI_SUCCESS);
    EXPECT_EQ(sim.simvisa_openSessionCount(), 2u) << "close closes its resource manager";
}

TEST_F(Sessions, OpenSetsDefaultsAndAppliesThemOrResets)
{
    openOk("bench1");
    auto log = writes();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].offset, TQTEST_LEVEL_REG);
    EXPECT_EQ(log[0].value, TQTEST_DEFAULT_LEVEL);

    sim.simvisa_clearWriteLog("bench1");
    openOk("bench1", 0, 1);
    log = writes();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].offset, TQTEST_RESET_REG);
    EXPECT_EQ(log[0].value, 1u);
    EXPECT_EQ(log[1].offset, TQTEST_LEVEL_REG);

    // Only a reset argument of exactly 1 resets.
    sim.simvisa_clearWriteLog("bench1");
    openOk("bench1", 0, 2);
    log = writes();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].offset, TQTEST_LEVEL_REG);
}

// Every way an open can fail leaves no session and no VISA session behind.
struct FailedOpen {
    const char *what;
    const char *name;
    ViBoolean idQuery, reset;
    unsigned model;
    ViUInt16 faultSpace;
    ViBusAddress faultOffset;
    ViUInt16 faultKinds;
    ViStatus expected;
};

const FailedOpen kFailedOpens[] = {
    {"identity of another model", "PXI1::7::INSTR", 1, 0, 0x718, 0, 0, 0, VI_ERROR_FAIL_ID_QUERY},
    {"no such instrument", "PXI1::9::INSTR", 0, 0, TQTEST_MODEL_CODE, 0, 0, 0, VI_ERROR_RSRC_NFOUND},
    {"not a resource name", "PXI1::7::INSTR_IP2", 0, 0, TQTEST_MODEL_CODE, 0, 0, 0, VI_ERROR_INV_RSRC_NAME},
    {"option word unreadable", "PXI1::7::INSTR", 0, 0, TQTEST_MODEL_CODE, VI_PXI_BAR2_SPACE, TQTEST_OPTION_REG,
     SIMVISA_READS, VI_ERROR_ALLOC},
    {"reset fails", "PXI1::7::INSTR", 0, 1, TQTEST_MODEL_CODE, VI_PXI_BAR2_SPACE, TQTEST_RESET_REG, SIMVISA_WRITES,
     VI_ERROR_IO},
};

class FailedOpens : public Sessions, public ::testing::WithParamInterface<FailedOpen> {};

TEST_P(FailedOpens, LeaveNoSession)
{
    const FailedOpen &c = GetParam();
    add("PXI1::7::INSTR", c.model);
    if (c.faultKinds)
        sim.simvisa_failOffset("PXI1::7::INSTR", c.faultSpace, c.faultOffset, c.faultKinds, VI_ERROR_IO);
    ViSession vi = 1234;
    EXPECT_EQ(tqtest_init(const_cast<ViRsrc>(c.name), c.idQuery, c.reset, &vi), c.expected) << c.what;
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    char text[256];
    EXPECT_EQ(tqtest_error_message(0, VI_ERROR_TMO, text), VI_ERROR_SYSTEM_ERROR) << "no session is listed";
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedOpens, ::testing::ValuesIn(kFailedOpens));

TEST_F(Sessions, IdentityQueryAcceptsTheOwnModelAndIsSkippedWhenOff)
{
    add("PXI1::7::INSTR", 0x718);
    openOk("PXI1::7::INSTR", 0); // no query: any model opens
    openOk("bench1", 1);
}

struct AutoConnectCase {
    int present;
    ViInt16 max;
    ViStatus expected;
    ViInt16 count;
};

const AutoConnectCase kAutoConnect[] = {
    {3, 2, TQ_WARN_MORE_INSTRUMENTS, 2}, // more instruments than room
    {2, 2, VI_SUCCESS, 2},
    {2, 5, VI_SUCCESS, 2},
    {1, 1, VI_SUCCESS, 1},
    {0, 2, VI_ERROR_RSRC_NFOUND, 0},
    {2, 0, VI_SUCCESS, -7}, // nothing opened, count untouched
    {0, 0, VI_ERROR_RSRC_NFOUND, -7},
};

class AutoConnect : public Sessions, public ::testing::WithParamInterface<AutoConnectCase> {};

TEST_P(AutoConnect, OpensWhatFitsAndTellsWhetherMoreRemain)
{
    const AutoConnectCase &c = GetParam();
    sim.simvisa_reset();
    add("PXI2::1::INSTR", 0x718); // another model is never picked
    for (int i = 0; i < c.present; ++i)
        add(("PXI3::" + std::to_string(i + 1) + "::INSTR").c_str(), TQTEST_MODEL_CODE);
    ViSession vi[8] = {};
    ViInt16 count = -7;
    EXPECT_EQ(tqtest_autoConnectToAll(vi, c.max, &count), c.expected);
    EXPECT_EQ(count, c.count);
    const int opened = count > 0 ? count : 0;
    for (int i = 0; i < opened; ++i) {
        char name[256];
        ASSERT_EQ(tqtest_getInstrumentName(vi[i], name), VI_SUCCESS);
        EXPECT_EQ(std::string(name), "PXI3::" + std::to_string(i + 1) + "::INSTR");
        open_.push_back(vi[i]);
    }
    EXPECT_EQ(sim.simvisa_openSessionCount(), 2u * opened) << "the search's own manager is closed";
}

INSTANTIATE_TEST_SUITE_P(Cases, AutoConnect, ::testing::ValuesIn(kAutoConnect));

TEST_F(Sessions, AutoConnectClosesEverythingWhenOneOpenFails)
{
    sim.simvisa_reset();
    add("PXI3::1::INSTR", TQTEST_MODEL_CODE);
    add("PXI3::2::INSTR", TQTEST_MODEL_CODE);
    add("PXI3::3::INSTR", TQTEST_MODEL_CODE);
    sim.simvisa_failOffset("PXI3::2::INSTR", VI_PXI_BAR2_SPACE, TQTEST_OPTION_REG, SIMVISA_READS, VI_ERROR_IO);
    ViSession vi[3] = {};
    ViInt16 count = 9;
    EXPECT_EQ(tqtest_autoConnectToAll(vi, 3, &count), VI_ERROR_ALLOC);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    char text[256];
    EXPECT_EQ(tqtest_error_message(0, VI_ERROR_TMO, text), VI_ERROR_SYSTEM_ERROR) << "no session is left listed";
}

TEST_F(Sessions, AutoConnectToFirst)
{
    ViSession vi = VI_NULL;
    ASSERT_EQ(tqtest_autoConnectToFirst(&vi), VI_SUCCESS);
    open_.push_back(vi);
    char name[256];
    ASSERT_EQ(tqtest_getInstrumentName(vi, name), VI_SUCCESS);
    EXPECT_STREQ(name, "PXI1::5::INSTR");
}

// Simulation mode transitions: (starting without instrument?, mode argument
// sequence) -> results, final mode and flag.
struct Transition {
    const char *what;
    bool withInstrument;
    std::vector<int> modes;
    std::vector<ViStatus> results;
    ViUInt16 finalMode;
    ViStatus finalFlag;
};

const Transition kTransitions[] = {
    {"into simulation", true, {1}, {VI_SUCCESS}, 2, 1},
    {"and back", true, {1, 0}, {VI_SUCCESS, VI_SUCCESS}, 1, 0},
    {"leaving when not in it", true, {0}, {VI_SUCCESS}, 1, 0},
    {"entering twice", true, {1, 1}, {VI_SUCCESS, VI_SUCCESS}, 2, 1},
    {"no instrument stays", false, {1}, {VI_SUCCESS}, 3, 1},
    {"no instrument cannot leave", false, {0}, {TQ_ERROR_NO_INSTRUMENT}, 3, 1},
    {"not even after entering", false, {1, 0}, {VI_SUCCESS, TQ_ERROR_NO_INSTRUMENT}, 3, 1},
    {"other values", true, {2}, {VI_ERROR_INV_PARAMETER}, 1, 0},
    {"other values in simulation", true, {1, 7}, {VI_SUCCESS, VI_ERROR_INV_PARAMETER}, 2, 1},
};

class SimulationModes : public Sessions, public ::testing::WithParamInterface<Transition> {};

TEST_P(SimulationModes, Transitions)
{
    const Transition &t = GetParam();
    ViSession vi = VI_NULL;
    if (t.withInstrument)
        vi = openOk("bench1");
    else {
        ASSERT_EQ(tqtest_init(nullptr, 0, 0, &vi), VI_SUCCESS);
        open_.push_back(vi);
    }
    std::vector<std::string> lines;
    tqtest_setStatusSink(vi, [](void *ctx, const char *line) { static_cast<std::vector<std::string> *>(ctx)->push_back(line); },
                         &lines);
    tqtest_setInstrumentName(vi, "dev");
    int failures = 0;
    for (size_t i = 0; i < t.modes.size(); ++i) {
        ViStatus r = tqtest_setSimulationMode(vi, static_cast<ViBoolean>(t.modes[i]));
        EXPECT_EQ(r, t.results[i]) << t.what << " step " << i;
        failures += r < VI_SUCCESS;
    }
    ViUInt16 mode = 0;
    ViUInt32 option;
    char rsrc[256];
    tqtest_getState(vi, &mode, &option, rsrc);
    EXPECT_EQ(mode, t.finalMode) << t.what;
    EXPECT_EQ(tqtest_getSimulationMode(vi, nullptr), t.finalFlag) << t.what;
    ASSERT_EQ(lines.size(), static_cast<size_t>(failures)) << t.what;
    for (const std::string &l : lines)
        EXPECT_EQ(l, "[dev]Failed change simulation mode");
}

INSTANTIATE_TEST_SUITE_P(Cases, SimulationModes, ::testing::ValuesIn(kTransitions));

TEST_F(Sessions, SettingsStayOffTheBoardInSimulationAndAreAppliedOnLeaving)
{
    ViSession vi = openOk("bench1");
    sim.simvisa_clearWriteLog("bench1");
    ASSERT_EQ(tqtest_setSimulationMode(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tqtest_setLevel(vi, 0x77), VI_SUCCESS);
    EXPECT_TRUE(writes().empty());
    ASSERT_EQ(tqtest_setSimulationMode(vi, 0), VI_SUCCESS);
    auto log = writes();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].offset, TQTEST_LEVEL_REG);
    EXPECT_EQ(log[0].value, 0x77u);
    // A board that refuses the settings: the status comes back, the line is printed.
    std::vector<std::string> lines;
    tqtest_setStatusSink(vi, [](void *ctx, const char *line) { static_cast<std::vector<std::string> *>(ctx)->push_back(line); },
                         &lines);
    ASSERT_EQ(tqtest_setSimulationMode(vi, 1), VI_SUCCESS);
    sim.simvisa_failOffset("bench1", VI_PXI_BAR2_SPACE, TQTEST_LEVEL_REG, SIMVISA_WRITES, VI_ERROR_IO);
    EXPECT_EQ(tqtest_setSimulationMode(vi, 0), VI_ERROR_IO);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[PXI1::5::INSTR]Failed change simulation mode");
}

TEST_F(Sessions, ErrorMessageUsesTheNewestSession)
{
    char text[256] = "";
    EXPECT_EQ(tqtest_error_message(0, TQ_WARN_ALREADY_RUNNING, text), VI_ERROR_SYSTEM_ERROR);
    ViSession vi = VI_NULL;
    ASSERT_EQ(tqtest_init(nullptr, 0, 0, &vi), VI_SUCCESS);
    EXPECT_EQ(tqtest_error_message(0, TQ_WARN_ALREADY_RUNNING, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Device already Running.");
    // Statuses the driver does not own are described by VISA, also for a
    // session without an instrument.
    EXPECT_EQ(tqtest_error_message(0xDEAD, VI_ERROR_TMO, text), VI_SUCCESS);
    EXPECT_EQ(std::string(text).rfind("VI_ERROR_TMO", 0), 0u) << text;
    EXPECT_EQ(tqtest_error_message(vi, VI_ERROR_TMO, nullptr), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(tqtest_close(vi), VI_SUCCESS);
    EXPECT_EQ(tqtest_error_message(0, TQ_WARN_ALREADY_RUNNING, text), VI_ERROR_SYSTEM_ERROR);
}

TEST_F(Sessions, SelfTestPrintsItsStatusLine)
{
    ViSession vi = openOk("bench1");
    std::vector<std::string> lines;
    tqtest_setStatusSink(vi, [](void *ctx, const char *line) { static_cast<std::vector<std::string> *>(ctx)->push_back(line); },
                         &lines);
    ViInt16 result = 0;
    char message[256];
    EXPECT_EQ(tqtest_self_test(vi, &result, message), VI_WARN_NSUP_SELF_TEST);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("[PXI1::5::INSTR]self_test:", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("(ERROR: Self-Test failed!)"), std::string::npos) << lines[0];
}

TEST_F(Sessions, InstrumentNameLimits)
{
    ViSession vi = openOk("bench1");
    const std::string longName(300, 'n');
    ASSERT_EQ(tqtest_setInstrumentName(vi, longName.c_str()), VI_SUCCESS);
    char name[512];
    ASSERT_EQ(tqtest_getInstrumentName(vi, name), VI_SUCCESS);
    EXPECT_EQ(std::string(name), longName.substr(0, 255));
    EXPECT_EQ(tqtest_setInstrumentName(vi, ""), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqtest_setInstrumentName(vi, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqtest_getInstrumentName(vi, nullptr), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(tqtest_getInstrumentName(vi, name), VI_SUCCESS);
    EXPECT_EQ(std::string(name), longName.substr(0, 255)) << "a refused name changes nothing";
}

struct FieldCase {
    ViUInt32 before, mask;
    ViUInt16 shift;
    ViUInt32 value, after, read;
};

const FieldCase kFields[] = {
    {0xFFFFFFFF, 0xF, 4, 0x3, 0xFFFFFF3F, 0x3},
    {0x00000000, 0x1, 31, 0x1, 0x80000000, 0x1},
    {0x12345678, 0xFF, 8, 0x1AB, 0x1234AB78 | 0x10000, 0x1AB & 0xFF}, // the value is not masked
    {0xAAAAAAAA, 0xFFFFFFFF, 0, 0x5555, 0x5555, 0x5555},
    {0x0000F000, 0x3, 40, 0x3, 0x0000F000, 0x0}, // a shift past the register changes nothing
};

class RegisterFields : public Sessions, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(RegisterFields, ReadModifyWrite)
{
    const FieldCase &c = GetParam();
    ViSession vi = openOk("bench1");
    ASSERT_EQ(sim.simvisa_writeRegister("bench1", VI_PXI_BAR2_SPACE, 0x40, 4, c.before), VI_SUCCESS);
    ASSERT_EQ(tqtest_setField(vi, 0x40, c.mask, c.shift, c.value), VI_SUCCESS);
    ViUInt32 reg = 0, field = 0;
    sim.simvisa_readRegister("bench1", VI_PXI_BAR2_SPACE, 0x40, 4, &reg);
    EXPECT_EQ(reg, c.after);
    ASSERT_EQ(tqtest_getField(vi, 0x40, c.mask, c.shift, &field), VI_SUCCESS);
    EXPECT_EQ(field, c.read);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisterFields, ::testing::ValuesIn(kFields));

TEST_F(Sessions, RegisterFieldWritesNothingWhenTheReadFails)
{
    ViSession vi = openOk("bench1");
    sim.simvisa_clearWriteLog("bench1");
    sim.simvisa_failOffset("bench1", VI_PXI_BAR2_SPACE, 0x40, SIMVISA_READS, VI_ERROR_BERR);
    EXPECT_EQ(tqtest_setField(vi, 0x40, 1, 0, 1), VI_ERROR_BERR);
    ViUInt32 field = 0xEE;
    EXPECT_EQ(tqtest_getField(vi, 0x40, 1, 0, &field), VI_ERROR_BERR);
    EXPECT_EQ(field, 0xEEu);
    EXPECT_TRUE(writes().empty());
}

} // namespace
