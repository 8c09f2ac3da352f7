// Serial ports of the simulated VISA library, the crate on a port and the
// rescan resource, as a caller sees them through the binding. Time-outs run
// on the platform clock, sped up by TQ_TIME_SCALE.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/env.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

using tq::visa::visa;

namespace
{

tq::test::SimVisa sim;

// The inventory the tests start from, in the file syntax.
const char *const kInventory = R"(# crate on COM1, a loopback and a silent line
[ASRL1::INSTR]
alias = COM1
board = crate
controllers = 0 1
la1.version = 0x23
la0.slot3 = 0x41
la0.slot5 = untyped
la0.slot6 = untyped
la0.slot6.writable = 0
la0.slot7 = untyped
la0.slot7.reg01 = 0x12
la0.slot9 = untyped
la0.slot9.replyR60 = $Dzz\r\n
la0.slot10 = 0x43
la0.slot10.replyR60 = garbage\r\n
la0.slot11 = 0x50
la0.slot11.replyR60 =
la1.slot1 = 0x20

[ASRL2::INSTR]
alias = loop
board = echo

[ASRL3::INSTR]

[PXI1::14::INSTR]
manf = 0x3c5a
model = 0x718

[visa::resman]
)";

class SerialTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        ASSERT_TRUE(tq::visa::loadVisa());
        ASSERT_TRUE(sim.load());
        inventory = tq::platform::getEnv("TQ_TEST_TMPDIR").value_or("/tmp") + "/sim_visa_serial_inventory.txt";
        std::ofstream(inventory) << kInventory;
    }

    void SetUp() override
    {
        sim.simvisa_reset();
        ASSERT_EQ(sim.simvisa_loadInventory(inventory.c_str()), VI_SUCCESS);
        ASSERT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    }

    void TearDown() override
    {
        sim.simvisa_reset();
        EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    }

    // A session on a port as a line protocol uses it: lines end at '\n'.
    ViSession openLine(const char *name, ViUInt32 timeoutMs = 50)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(visa().viOpen(rm, name, VI_NULL, VI_NULL, &vi), VI_SUCCESS) << name;
        EXPECT_EQ(visa().viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
        EXPECT_EQ(visa().viSetAttribute(vi, VI_ATTR_TMO_VALUE, timeoutMs), VI_SUCCESS);
        return vi;
    }

    std::string serialLog(const char *name)
    {
        char text[4096];
        ViUInt32 length = 0;
        EXPECT_EQ(sim.simvisa_getSerialLog(name, text, sizeof text, &length), VI_SUCCESS);
        return std::string(text, length);
    }

    std::string resmanLog()
    {
        char text[256];
        ViUInt32 length = 0;
        EXPECT_EQ(sim.simvisa_getResmanLog(text, sizeof text, &length), VI_SUCCESS);
        return std::string(text, length);
    }

    std::vector<std::string> findAll(const char *expr)
    {
        std::vector<std::string> out;
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        char desc[VI_FIND_BUFLEN];
        if (visa().viFindRsrc(rm, expr, &list, &count, desc) < VI_SUCCESS)
            return out;
        out.push_back(desc);
        while (visa().viFindNext(list, desc) == VI_SUCCESS)
            out.push_back(desc);
        EXPECT_EQ(out.size(), count);
        visa().viClose(list);
        return out;
    }

    static std::string inventory;
    ViSession rm = VI_NULL;
};

std::string SerialTest::inventory;

// One write, then one read: the answer, or "" when the read timed out.
ViStatus exchange(ViSession vi, const std::string &line, std::string &answer)
{
    ViUInt32 n = 0;
    ViStatus s =
        visa().viWrite(vi, reinterpret_cast<const ViByte *>(line.data()), static_cast<ViUInt32>(line.size()), &n);
    if (s < VI_SUCCESS)
        return s;
    EXPECT_EQ(n, line.size());
    char buf[256];
    s = visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n);
    answer.assign(buf, n);
    return s;
}

// The way a caller with its own variadic wrapper reaches viVQueryf.
ViStatus queryf(ViSession vi, const char *writeFormat, const char *readFormat, ...)
{
    va_list args;
    va_start(args, readFormat);
    ViStatus s = visa().viVQueryf(vi, writeFormat, readFormat, args);
    va_end(args);
    return s;
}

using Names = std::vector<std::string>;

TEST_F(SerialTest, PortsAreFoundBesideTheInstruments)
{
    EXPECT_EQ(findAll("ASRL[0-9]*::?*INSTR"), (Names{"ASRL1::INSTR", "ASRL2::INSTR", "ASRL3::INSTR"}));
    EXPECT_EQ(findAll("?*INSTR"), (Names{"PXI1::14::INSTR", "ASRL1::INSTR", "ASRL2::INSTR", "ASRL3::INSTR"}));
    EXPECT_EQ(findAll("ASRL?*INSTR {VI_ATTR_INTF_NUM == 2}"), (Names{"ASRL2::INSTR"}));
    EXPECT_EQ(findAll("ASRL?*INSTR {VI_ATTR_INTF_TYPE == 5}"), Names{});
}

TEST_F(SerialTest, ParsingKnowsWhatIsPresentAndRefusesDerivedNames)
{
    struct Case {
        const char *name;
        ViStatus status;
        ViUInt16 type, number;
        const char *expanded, *alias;
    } cases[] = {
        {"ASRL1::INSTR", VI_SUCCESS, VI_INTF_ASRL, 1, "ASRL1::INSTR", "COM1"},
        {"COM1", VI_SUCCESS, VI_INTF_ASRL, 1, "ASRL1::INSTR", "COM1"},
        {"com1", VI_SUCCESS, VI_INTF_ASRL, 1, "ASRL1::INSTR", "COM1"},
        {"asrl1", VI_SUCCESS, VI_INTF_ASRL, 1, "ASRL1::INSTR", "COM1"},
        {"ASRL3::INSTR", VI_SUCCESS, VI_INTF_ASRL, 3, "ASRL3::INSTR", ""},
        {"PXI1::14::INSTR", VI_SUCCESS, VI_INTF_PXI, 1, "PXI1::14::INSTR", ""},
        {"ASRL9::INSTR", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
        {"PXI1::15::INSTR", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
        {"ASRL1::INSTR_LA0", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
        {"ASRL1::INSTR_LA0_SLOT3", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
        {"COM1_LA0_SLOT3", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
        {"PXI0::3::INSTR_IP3", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
        {"PXI1::14::INSTR_IP3", VI_ERROR_RSRC_NFOUND, 0, 0, "", ""},
    };
    for (const Case &c : cases) {
        ViUInt16 type = 99, number = 99;
        char cls[VI_FIND_BUFLEN] = "x", expanded[VI_FIND_BUFLEN] = "x", alias[VI_FIND_BUFLEN] = "x";
        ASSERT_EQ(visa().viParseRsrcEx(rm, c.name, &type, &number, cls, expanded, alias), c.status) << c.name;
        if (c.status != VI_SUCCESS)
            continue;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
        EXPECT_STREQ(cls, "INSTR") << c.name;
        EXPECT_STREQ(expanded, c.expanded) << c.name;
        EXPECT_STREQ(alias, c.alias) << c.name;
    }
    // The alias opens the port it names.
    ViSession vi = VI_NULL;
    ASSERT_EQ(visa().viOpen(rm, "COM1", VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    char name[VI_FIND_BUFLEN];
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_RSRC_NAME, name), VI_SUCCESS);
    EXPECT_STREQ(name, "ASRL1::INSTR");
    EXPECT_EQ(visa().viOpen(rm, "ASRL1::INSTR_LA0", VI_NULL, VI_NULL, &vi), VI_ERROR_INV_RSRC_NAME);
}

TEST_F(SerialTest, LineAttributes)
{
    ViSession vi = VI_NULL, pxi = VI_NULL;
    ASSERT_EQ(visa().viOpen(rm, "ASRL1::INSTR", VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    ASSERT_EQ(visa().viOpen(rm, "PXI1::14::INSTR", VI_NULL, VI_NULL, &pxi), VI_SUCCESS);
    ViUInt8 termChar = 0;
    ViBoolean enabled = 7;
    ViUInt32 timeout = 0;
    ViUInt16 type = 0;
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_TERMCHAR, &termChar), VI_SUCCESS);
    EXPECT_EQ(termChar, '\n');
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, VI_FALSE);
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u);
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_INTF_TYPE, &type), VI_SUCCESS);
    EXPECT_EQ(type, VI_INTF_ASRL);

    const struct {
        ViAttr attr;
        ViAttrState value;
        ViStatus status;
    } sets[] = {
        {VI_ATTR_TERMCHAR_EN, VI_TRUE, VI_SUCCESS},
        {VI_ATTR_TERMCHAR, '\r', VI_SUCCESS},
        {VI_ATTR_TMO_VALUE, 50, VI_SUCCESS},
        {VI_ATTR_TERMCHAR, 0x100, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_TERMCHAR_EN, 2, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_DATA_BITS, 9, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_BAUD, 115200, VI_SUCCESS},
        {VI_ATTR_INTF_TYPE, VI_INTF_PXI, VI_ERROR_ATTR_READONLY},
    };
    for (const auto &c : sets)
        EXPECT_EQ(visa().viSetAttribute(vi, c.attr, c.value), c.status) << std::hex << c.attr;
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_TERMCHAR, &termChar), VI_SUCCESS);
    EXPECT_EQ(termChar, '\r');
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, VI_TRUE);
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 50u);
    // Each session keeps its own settings.
    ViSession other = VI_NULL;
    ASSERT_EQ(visa().viOpen(rm, "COM1", VI_NULL, VI_NULL, &other), VI_SUCCESS);
    ASSERT_EQ(visa().viGetAttribute(other, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, VI_FALSE);
    // A register-based instrument has no line settings, and a port no registers.
    EXPECT_EQ(visa().viSetAttribute(pxi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(visa().viWrite(pxi, reinterpret_cast<const ViByte *>("x\n"), 2, VI_NULL), VI_ERROR_NSUP_OPER);
    ViUInt32 reg = 0;
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR0_SPACE, 0, &reg), VI_ERROR_NSUP_OPER);
}

// The crate's wire protocol, one exchange per row, in order (a write changes
// what a later read answers).
TEST_F(SerialTest, CrateAnswersItsLinesAndIsSilentElsewhere)
{
    const struct {
        const char *request;
        const char *answer; // nullptr: no answer, the read times out
    } rows[] = {
        {"$Z\r\n", nullptr},
        {"$V00\r\n", "$V22\r\n"},
        {"$V01\r\n", "$V23\r\n"},
        {"$V02\r\n", nullptr}, // scans stop at the first silent address
        {"$V1f\r\n", nullptr},
        {"$R000360\r\n", "$D41\r\n"}, // a typed unit
        {"$R000460\r\n", nullptr},    // an empty slot
        {"$R1f0360\r\n", nullptr},    // no controller at 0x1f
        {"$R000560\r\n", "$D0\r\n"},  // a unit without a type
        {"$R000501\r\n", "$D60\r\n"},
        {"$R000508\r\n", "$D0\r\n"},
        {"$W0005080a\r\n", "$OK\r\n"},
        {"$R000508\r\n", "$Da\r\n"},   // as written
        {"$W0006080a\r\n", "$OK\r\n"}, // answered, not kept
        {"$R000608\r\n", "$D0\r\n"},
        {"$R000701\r\n", "$D12\r\n"},
        {"$R000960\r\n", "$Dzz\r\n"}, // raw answers
        {"$R000a60\r\n", "garbage\r\n"},
        {"$R000A60\r\n", "garbage\r\n"}, // either case of hexadecimal digits
        {"$R000b60\r\n", nullptr},       // a raw answer of nothing
        {"$R000b01\r\n", "$D0\r\n"},
        {"$R010160\r\n", "$D20\r\n"},
        {"$R0003600\r\n", nullptr}, // malformed requests
        {"$R00036\r\n", nullptr},
        {"$r000360\r\n", nullptr},
        {"$V0g\r\n", nullptr},
        {"R000360\r\n", nullptr},
        {"$Z1\r\n", nullptr},
        {"$R000360\n", "$D41\r\n"}, // a bare line feed ends a line too
    };
    ViSession vi = openLine("COM1");
    std::string expectedLog;
    for (const auto &row : rows) {
        std::string answer;
        ViStatus s = exchange(vi, row.request, answer);
        if (row.answer) {
            EXPECT_EQ(s, VI_SUCCESS_TERM_CHAR) << row.request;
            EXPECT_EQ(answer, row.answer) << row.request;
        } else {
            EXPECT_EQ(s, VI_ERROR_TMO) << row.request;
            EXPECT_EQ(answer, "") << row.request;
        }
        expectedLog += row.request;
    }
    EXPECT_EQ(serialLog("COM1"), expectedLog);
    EXPECT_EQ(serialLog("ASRL2::INSTR"), ""); // each port its own log
    ASSERT_EQ(sim.simvisa_clearSerialLog("ASRL1::INSTR"), VI_SUCCESS);
    EXPECT_EQ(serialLog("COM1"), "");
    char text[4];
    ViUInt32 length = 0;
    EXPECT_EQ(sim.simvisa_getSerialLog("ASRL9::INSTR", text, sizeof text, &length), VI_ERROR_RSRC_NFOUND);
}

TEST_F(SerialTest, LogIsCutToTheCallersBuffer)
{
    ViSession vi = openLine("COM1");
    ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("$Z\r\n$V00\r\n"), 10, VI_NULL), VI_SUCCESS);
    char text[6];
    memset(text, 'x', sizeof text);
    ViUInt32 length = 0;
    EXPECT_EQ(sim.simvisa_getSerialLog("COM1", text, sizeof text, &length), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(length, 10u);
    EXPECT_STREQ(text, "$Z\r\n$");
    EXPECT_EQ(sim.simvisa_getSerialLog("COM1", nullptr, 0, &length), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(length, 10u);
}

TEST_F(SerialTest, CrateCanBeChangedWhilePresent)
{
    ViSession vi = openLine("COM1");
    std::string answer;
    EXPECT_EQ(exchange(vi, "$R000460\r\n", answer), VI_ERROR_TMO);
    ASSERT_EQ(sim.simvisa_configureBoard("COM1", "la0.slot4 = 0x30; la2 = 0x24"), VI_SUCCESS);
    EXPECT_EQ(exchange(vi, "$R000460\r\n", answer), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(answer, "$D30\r\n");
    EXPECT_EQ(exchange(vi, "$V02\r\n", answer), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(answer, "$V24\r\n");
    ASSERT_EQ(sim.simvisa_configure("ASRL1::INSTR", "controllers", "1"), VI_SUCCESS);
    EXPECT_EQ(exchange(vi, "$V00\r\n", answer), VI_ERROR_TMO);
    EXPECT_EQ(exchange(vi, "$V01\r\n", answer), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(sim.simvisa_configure("COM1", "la0.slot4", "bogus"), VI_ERROR_INV_SETUP);
    EXPECT_EQ(sim.simvisa_configure("loop", "controllers", "0"), VI_ERROR_INV_SETUP); // a loopback has no keys
}

TEST_F(SerialTest, BadSettingsAreRefused)
{
    const char *const bad[] = {
        "board = crate; la0.slot3.reg60 = 1", // the unit is named after its keys
        "board = crate; la256 = 1",
        "board = crate; la0.slot3 = bogus",
        "board = crate; la0.slot3 = 0x10000",
        "board = crate; la0.slot3 = 1; la0.slot3.replyR60 = \\q",
        "board = crate; la0.slot3 = 1; la0.slot3.replyR6 = x",
        "board = crate; la0.slot3 = 1; la0.slot3.writable = 2",
        "board = crate; controllers = 0 x",
        "board = crate; la0.versionx = 1",
        "board = modem",
        "board = echo; controllers = 0",
        "alias = COM1", // taken
    };
    for (const char *settings : bad)
        EXPECT_EQ(sim.simvisa_addInstrument("ASRL5::INSTR", settings), VI_ERROR_INV_SETUP) << settings;
    EXPECT_EQ(sim.simvisa_addInstrument("ASRL1::INSTR", "board = echo"), VI_ERROR_RSRC_BUSY);
    EXPECT_EQ(sim.simvisa_addInstrument("PXI1::3::INSTR", "alias = loop"), VI_ERROR_INV_SETUP);
    EXPECT_EQ(sim.simvisa_addInstrument("ASRL5::INSTR", "board = crate; la0 = 0x22"), VI_SUCCESS);
}

// viRead on the loopback: where a read ends.
TEST_F(SerialTest, ReadEndsAtTheTerminationCharacterTheCountOrTheTimeOut)
{
    struct Row {
        const char *written;
        bool termEnabled;
        char termChar;
        ViUInt32 count;
        ViStatus status;
        const char *read;
    } rows[] = {
        {"ab\ncd\n", true, '\n', 100, VI_SUCCESS_TERM_CHAR, "ab\n"},
        {"ab\n", true, '\n', 1, VI_SUCCESS_MAX_CNT, "a"},
        {"ab\n", true, '\n', 3, VI_SUCCESS_TERM_CHAR, "ab\n"},
        {"x\ry\n", true, '\r', 100, VI_SUCCESS_TERM_CHAR, "x\r"},
        {"ab\n", false, '\n', 100, VI_ERROR_TMO, "ab\n"}, // nothing ends it but the time-out
        {"ab\n", false, '\n', 2, VI_SUCCESS_MAX_CNT, "ab"},
    };
    for (const Row &r : rows) {
        ViSession vi = openLine("loop");
        ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, r.termEnabled), VI_SUCCESS);
        ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_TERMCHAR, static_cast<ViByte>(r.termChar)), VI_SUCCESS);
        ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>(r.written),
                                 static_cast<ViUInt32>(strlen(r.written)), VI_NULL),
                  VI_SUCCESS);
        char buf[128];
        ViUInt32 n = 0;
        EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), r.count, &n), r.status) << r.written;
        EXPECT_EQ(std::string(buf, n), r.read) << r.written;
        visa().viClose(vi);
    }
    // What the first read left waits for the next one.
    ViSession vi = openLine("loop");
    ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("ab\ncd\n"), 6, VI_NULL), VI_SUCCESS);
    char buf[16];
    ViUInt32 n = 0;
    ASSERT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_SUCCESS_TERM_CHAR);
    ASSERT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(buf, n), "cd\n");
    // viClear drops what is waiting; so does opening the port anew.
    ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("ef\n"), 3, VI_NULL), VI_SUCCESS);
    ASSERT_EQ(visa().viClear(vi), VI_SUCCESS);
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_ERROR_TMO);
    // VI_ATTR_ASRL_END_IN ends reads at the character without the enable switch.
    ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_FALSE), VI_SUCCESS);
    ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_ASRL_END_IN, VI_ASRL_END_TERMCHAR), VI_SUCCESS);
    ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("gh\nij"), 5, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(buf, n), "gh\n");
}

// A host that never reads, or a device that never stops talking, cannot
// grow the port without end: what does not fit is reported as an overrun,
// and the log keeps whole lines of the latest 64 KiB.
TEST_F(SerialTest, LineBuffersAreBounded)
{
    ViSession vi = openLine("loop");
    std::string line(1023, 'x');
    line += '\n';
    for (int i = 0; i < 1100; ++i) {
        line[0] = static_cast<char>('a' + i % 26);
        ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>(line.data()), 1024, VI_NULL), VI_SUCCESS);
    }
    char buf[1024];
    ViUInt32 n = 0;
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_ERROR_ASRL_OVERRUN);
    // What was kept is still there, from the first line on.
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(n, 1024u);
    EXPECT_EQ(buf[0], 'a');

    char log[1 << 17];
    ViUInt32 length = 0;
    ASSERT_EQ(sim.simvisa_getSerialLog("loop", log, sizeof log, &length), VI_SUCCESS);
    EXPECT_LE(length, 65536u);
    EXPECT_GT(length, 60000u);
    EXPECT_EQ(length % 1024, 0u) << "whole lines only";
    EXPECT_EQ(log[length - 1024], static_cast<char>('a' + 1099 % 26)) << "the latest line is last";
}

TEST_F(SerialTest, TimeOutsRunAtTheTestPace)
{
    ViSession vi = openLine("ASRL3::INSTR", 1000);
    const uint64_t clockBefore = tq::platform::tickMs();
    const auto realBefore = std::chrono::steady_clock::now();
    char buf[8];
    ViUInt32 n = 99;
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_ERROR_TMO);
    EXPECT_EQ(n, 0u);
    const auto real = std::chrono::steady_clock::now() - realBefore;
    // The whole second passed on the platform clock, in a fraction of it.
    EXPECT_GE(tq::platform::tickMs() - clockBefore, 990u);
    ASSERT_GT(tq::platform::timeScale(), 4.0) << "run with TQ_TIME_SCALE";
    EXPECT_LT(real, std::chrono::milliseconds(500));
    // An immediate time-out does not wait at all.
    ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_ERROR_TMO);
}

// Formatted writes, seen in the log of a port where nothing answers.
TEST_F(SerialTest, FormattedWrites)
{
    ViSession vi = openLine("ASRL3::INSTR");
    const struct Row {
        std::function<ViStatus(ViSession)> write;
        const char *sent;
    } rows[] = {
        {[](ViSession v) { return visa().viPrintf(v, "$V%2.2hx\r\n", static_cast<ViUInt16>(0x1f)); }, "$V1f\r\n"},
        {[](ViSession v) { return visa().viPrintf(v, "$V%2.2hx\r\n", static_cast<ViUInt16>(3)); }, "$V03\r\n"},
        {[](ViSession v) { return visa().viPrintf(v, "$R%2.2x%2.2x60\r\n", 0x1f, 3); }, "$R1f0360\r\n"},
        {[](ViSession v) { return visa().viPrintf(v, "$W%2.2x%2.2x080a\r\n", 2, 16); }, "$W0210080a\r\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%2.2x|%hx\n", 0x1ff, 0x12345); }, "1ff|2345\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%d %u %hd\n", -5, -1, 0x18000); }, "-5 4294967295 -32768\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%-4d|%04X|%#x\n", 7, 0xab, 255); }, "7   |00AB|0xff\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%*d|%.*f\n", 3, 5, 2, 2.5); }, "  5|2.50\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%s=%c%%\n", "load", 'x'); }, "load=x%\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%lld %ld\n", 1LL << 40, 7); }, "1099511627776 7\n"},
        {[](ViSession v) { return visa().viPrintf(v, "%e\n", 1234.5); }, "1.234500e+03\n"},
    };
    for (const Row &r : rows) {
        ASSERT_EQ(sim.simvisa_clearSerialLog("ASRL3::INSTR"), VI_SUCCESS);
        EXPECT_EQ(r.write(vi), VI_SUCCESS) << r.sent;
        EXPECT_EQ(serialLog("ASRL3::INSTR"), r.sent);
    }
}

TEST_F(SerialTest, FormatsThatCannotBeDoneSendNothing)
{
    ViSession vi = openLine("loop");
    ViUInt16 v = 0;
    const struct {
        const char *writeFormat, *readFormat;
        ViStatus status;
    } rows[] = {
        {"%b\n", "%hx", VI_ERROR_NSUP_FMT},     {"%,3d\n", "%hx", VI_ERROR_NSUP_FMT},
        {"%q\n", "%hx", VI_ERROR_INV_FMT},      {"abc%", "%hx", VI_ERROR_INV_FMT},
        {"%n\n", "%hx", VI_ERROR_INV_FMT},      {"%t\n", "%hx", VI_ERROR_INV_FMT},
        {"$V00\r\n", "%#d", VI_ERROR_INV_FMT}, // no count for a number
        {"$V00\r\n", "%[a-", VI_ERROR_INV_FMT}, {"$V00\r\n", "%[z-a]", VI_ERROR_INV_FMT},
        {"$V00\r\n", "%0d", VI_ERROR_INV_FMT},  {"$V00\r\n", "%lc", VI_ERROR_INV_FMT},
        {"$V00\r\n", "%hf", VI_ERROR_INV_FMT},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(queryf(vi, r.writeFormat, r.readFormat, 1, &v), r.status) << r.writeFormat << " " << r.readFormat;
        EXPECT_EQ(serialLog("loop"), "") << r.writeFormat << " " << r.readFormat;
    }
}

// Formatted reads of one message, through the loopback: what each read
// format takes from the line. A field the message does not match is left
// as it was (the sentinel), and the call still succeeds.
TEST_F(SerialTest, FormattedReads)
{
    enum class Out { U16, I32, U32, U64, Double, Float, Text, CountedText };
    struct Row {
        const char *line;
        const char *format;
        Out out;
        const char *expected;
    } rows[] = {
        {"$D41\r\n", "$D%hx\r\n", Out::U16, "41"},
        {"$Da\r\n", "$D%hx\r\n", Out::U16, "a"},
        {"$D0\r\n", "$D%hx\r\n", Out::U16, "0"},
        {"$V22\r\n", "$V%hx\r\n", Out::U16, "22"},
        {"$Dzz\r\n", "$D%hx\r\n", Out::U16, "beef"},    // not a number: untouched
        {"garbage\r\n", "$D%hx\r\n", Out::U16, "beef"}, // the literal does not match
        {"$OK\r\n", "$D%hx\r\n", Out::U16, "beef"},
        {"$D12345\r\n", "$D%hx\r\n", Out::U16, "2345"}, // wraps as the C library does
        {"$D0x1F\r\n", "$D%hx", Out::U16, "1f"},
        {"$D 7f\r\n", "$D%hx", Out::U16, "7f"},  // a number skips white space
        {"$D7fz\r\n", "$D%2hx", Out::U16, "7f"}, // the width bounds the field
        {"-12,7\n", "%d", Out::I32, "-12"},
        {"0x10\n", "%i", Out::I32, "16"},
        {"010\n", "%i", Out::I32, "8"},
        {"4294967295\n", "%u", Out::U32, "4294967295"},
        {"deadbeefcafe\n", "%llx", Out::U64, "deadbeefcafe"},
        {"2.5e1 V\n", "%lf", Out::Double, "25"},
        {"-0.5\n", "%f", Out::Float, "-0.5"},
        {".\n", "%lf", Out::Double, "-1"}, // untouched
        {"$Dzz\r\n", "%#t", Out::CountedText, "6:$Dzz\r\n"},
        {"$D41\r\n", "%#t", Out::CountedText, "6:$D41\r\n"},
        {"a much longer line than fits\n", "%#t", Out::CountedText, "7:a much "}, // buffer of 8
        {"two words\n", "%#s", Out::CountedText, "3:two"},
        {"ab\ncd\n", "%#T", Out::CountedText, "3:ab\n"},
        {"key=value;\n", "key=%#[^;]", Out::CountedText, "5:value"},
        {"\n", "%#t", Out::CountedText, "1:\n"},
        {"hello world\n", "%s", Out::Text, "hello"},
        {"hello world\n", "%5t", Out::Text, "hello"},
        {"hello world\n", "%*s %s", Out::Text, "world"},
        {"xyz\n", "%2c", Out::Text, "xy"},
    };
    ViSession vi = openLine("loop");
    for (const Row &r : rows) {
        ViUInt16 u16 = 0xBEEF;
        ViInt32 i32 = -1;
        ViUInt32 u32 = 0xFFFFFFFF;
        ViUInt64 u64 = 0;
        double d = -1;
        float f = -1;
        char text[8] = {};
        ViUInt32 count = sizeof text;
        void *target = nullptr;
        ASSERT_EQ(visa().viClear(vi), VI_SUCCESS); // nothing left over from the row before
        switch (r.out) {
        case Out::U16:
            target = &u16;
            break;
        case Out::I32:
            target = &i32;
            break;
        case Out::U32:
            target = &u32;
            break;
        case Out::U64:
            target = &u64;
            break;
        case Out::Double:
            target = &d;
            break;
        case Out::Float:
            target = &f;
            break;
        case Out::Text:
            target = text;
            break;
        case Out::CountedText:
            break;
        }
        ViStatus s = r.out == Out::CountedText ? queryf(vi, "%s", r.format, r.line, &count, text)
                                               : queryf(vi, "%s", r.format, r.line, target);
        ASSERT_EQ(s, VI_SUCCESS) << r.line << " with " << r.format;
        char got[64];
        switch (r.out) {
        case Out::U16:
            snprintf(got, sizeof got, "%x", u16);
            break;
        case Out::I32:
            snprintf(got, sizeof got, "%d", i32);
            break;
        case Out::U32:
            snprintf(got, sizeof got, "%u", u32);
            break;
        case Out::U64:
            snprintf(got, sizeof got, "%llx", static_cast<unsigned long long>(u64));
            break;
        case Out::Double:
            snprintf(got, sizeof got, "%g", d);
            break;
        case Out::Float:
            snprintf(got, sizeof got, "%g", static_cast<double>(f));
            break;
        case Out::Text:
            snprintf(got, sizeof got, "%s", text);
            break;
        case Out::CountedText:
            snprintf(got, sizeof got, "%u:%s", count, text);
            break;
        }
        EXPECT_STREQ(got, r.expected) << r.line << " with " << r.format;
    }
}

// The write's arguments and then the read's pointers come from one list.
TEST_F(SerialTest, QueryTakesTheReadPointersAfterTheWriteArguments)
{
    ViSession vi = openLine("loop");
    ViUInt16 version = 0;
    ASSERT_EQ(queryf(vi, "$V%2.2hx\r\n", "$V%hx\r\n", static_cast<ViUInt16>(0x2a), &version), VI_SUCCESS);
    EXPECT_EQ(version, 0x2a);
    ViUInt32 a = 0, b = 0;
    ASSERT_EQ(queryf(vi, "%d,%s,%d\n", "%u,x,%u", 11, "x", 22, &a, &b), VI_SUCCESS);
    EXPECT_EQ(a, 11u);
    EXPECT_EQ(b, 22u);
    // The same through the variadic export.
    version = 0;
    ASSERT_EQ(visa().viQueryf(vi, "$V%2.2hx\r\n", "$V%hx\r\n", static_cast<ViUInt16>(0x31), &version), VI_SUCCESS);
    EXPECT_EQ(version, 0x31);
    // viScanf reads what an earlier viPrintf made the line send.
    ASSERT_EQ(visa().viPrintf(vi, "%d\n", 99), VI_SUCCESS);
    ViInt32 n = 0;
    ASSERT_EQ(visa().viScanf(vi, "%d", &n), VI_SUCCESS);
    EXPECT_EQ(n, 99);
}

// The exchanges a crate scan makes, through viVQueryf on the crate's port.
TEST_F(SerialTest, CrateThroughFormattedQueries)
{
    ViSession vi = openLine("COM1");
    ASSERT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("$Z\r\n"), 4, VI_NULL), VI_SUCCESS);
    ViUInt16 v = 0xBEEF;
    EXPECT_EQ(queryf(vi, "$V%2.2hx\r\n", "$V%hx\r\n", static_cast<ViUInt16>(0), &v), VI_SUCCESS);
    EXPECT_EQ(v, 0x22);
    v = 0xBEEF;
    EXPECT_EQ(queryf(vi, "$V%2.2hx\r\n", "$V%hx\r\n", static_cast<ViUInt16>(2), &v), VI_ERROR_TMO);
    EXPECT_EQ(v, 0xBEEF);
    // The untyped unit in slot 5: 60 reads 0, 01 reads 0x60, 08 as written.
    EXPECT_EQ(queryf(vi, "$R%2.2x%2.2x60\r\n", "$D%hx\r\n", 0, 5, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(queryf(vi, "$R%2.2x%2.2x01\r\n", "$D%hx\r\n", 0, 5, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0x60);
    char line[32];
    ViUInt32 size = sizeof line;
    EXPECT_EQ(queryf(vi, "$W%2.2x%2.2x080a\r\n", "%#t", 0, 5, &size, line), VI_SUCCESS);
    EXPECT_STREQ(line, "$OK\r\n");
    EXPECT_EQ(queryf(vi, "$R%2.2x%2.2x08\r\n", "$D%hx\r\n", 0, 5, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0x0a);
    EXPECT_EQ(serialLog("COM1"), "$Z\r\n$V00\r\n$V02\r\n$R000560\r\n$R000501\r\n$W0005080a\r\n$R000508\r\n");
}

TEST_F(SerialTest, ResmanIsLoggedAndCanBeMadeToFail)
{
    ViSession vi = VI_NULL;
    ASSERT_EQ(visa().viOpen(rm, "visa::resman", VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    ViUInt32 n = 0;
    EXPECT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("resman"), 6, &n), VI_SUCCESS);
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(resmanLog(), "resman\n");
    char buf[8];
    EXPECT_EQ(visa().viRead(vi, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_ERROR_NSUP_OPER);
    ASSERT_EQ(sim.simvisa_clearResmanLog(), VI_SUCCESS);
    EXPECT_EQ(resmanLog(), "");

    ASSERT_EQ(sim.simvisa_failResman(VI_SUCCESS, VI_ERROR_IO), VI_SUCCESS);
    EXPECT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("resman"), 6, &n), VI_ERROR_IO);
    EXPECT_EQ(resmanLog(), "");
    ASSERT_EQ(sim.simvisa_failResman(VI_ERROR_RSRC_NFOUND, VI_SUCCESS), VI_SUCCESS);
    ViSession again = VI_NULL;
    EXPECT_EQ(visa().viOpen(rm, "visa::resman", VI_NULL, VI_NULL, &again), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa().viWrite(vi, reinterpret_cast<const ViByte *>("resman"), 6, &n), VI_SUCCESS);
    EXPECT_EQ(resmanLog(), "resman\n");
    visa().viClose(vi);

    // Gone: neither opened nor logged any more.
    ASSERT_EQ(sim.simvisa_removeInstrument("visa::resman"), VI_SUCCESS);
    EXPECT_EQ(visa().viOpen(rm, "visa::resman", VI_NULL, VI_NULL, &again), VI_ERROR_RSRC_NFOUND);
    ViUInt32 length = 0;
    EXPECT_EQ(sim.simvisa_getResmanLog(buf, sizeof buf, &length), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(sim.simvisa_failResman(VI_SUCCESS, VI_SUCCESS), VI_ERROR_RSRC_NFOUND);
    // And back, as a test adds it.
    ASSERT_EQ(sim.simvisa_addInstrument("visa::resman", "failwrite = 0xBFFF003E"), VI_SUCCESS);
    ASSERT_EQ(visa().viOpen(rm, "visa::resman", VI_NULL, VI_NULL, &again), VI_SUCCESS);
    EXPECT_EQ(visa().viWrite(again, reinterpret_cast<const ViByte *>("resman"), 6, &n), VI_ERROR_IO);
    EXPECT_EQ(sim.simvisa_addInstrument("visa::resman", "failopen = x"), VI_ERROR_INV_SETUP);
}

TEST_F(SerialTest, ResmanIsAbsentUnlessTheInventoryHasIt)
{
    sim.simvisa_reset();
    ASSERT_EQ(sim.simvisa_addInstrument("ASRL1::INSTR", "board = crate"), VI_SUCCESS);
    ASSERT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    ViSession vi = VI_NULL;
    EXPECT_EQ(visa().viOpen(rm, "visa::resman", VI_NULL, VI_NULL, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(findAll("?*"), (Names{"ASRL1::INSTR", "PXI0::MEMACC"}));
}

TEST_F(SerialTest, PulledOutPortFailsItsSessions)
{
    ViSession vi = openLine("COM1");
    ASSERT_EQ(sim.simvisa_removeInstrument("COM1"), VI_SUCCESS);
    std::string answer;
    EXPECT_EQ(exchange(vi, "$V00\r\n", answer), VI_ERROR_CONN_LOST);
    ViSession again = VI_NULL;
    EXPECT_EQ(visa().viOpen(rm, "COM1", VI_NULL, VI_NULL, &again), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(findAll("ASRL?*"), (Names{"ASRL2::INSTR", "ASRL3::INSTR"}));
}

// A read waiting without a time-out gets what another session's write makes
// the line send, and a port pulled out wakes a reader still waiting.
TEST_F(SerialTest, WaitingReaderWakesOnData)
{
    ViSession reader = openLine("loop", VI_TMO_INFINITE);
    ViSession writer = openLine("loop");
    std::thread t([&] {
        tq::platform::sleepMs(20);
        visa().viWrite(writer, reinterpret_cast<const ViByte *>("late\n"), 5, VI_NULL);
    });
    char buf[16];
    ViUInt32 n = 0;
    EXPECT_EQ(visa().viRead(reader, reinterpret_cast<ViByte *>(buf), sizeof buf, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(buf, n), "late\n");
    t.join();

    tq::platform::Event waiting(tq::platform::Event::Reset::Manual);
    ViStatus status = VI_SUCCESS;
    std::thread r([&] {
        waiting.set();
        status = visa().viRead(reader, reinterpret_cast<ViByte *>(buf), sizeof buf, &n);
    });
    waiting.wait(10000);
    tq::platform::sleepMs(20);
    ASSERT_EQ(sim.simvisa_removeInstrument("loop"), VI_SUCCESS);
    r.join();
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

} // namespace
