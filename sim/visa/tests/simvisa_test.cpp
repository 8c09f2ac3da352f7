// The simulated VISA library as a driver sees it: loaded through the VISA
// binding from the directory systemroot names.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/env.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

using tq::visa::visa;

namespace {

tq::test::SimVisa sim;

class SimVisaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        ASSERT_TRUE(tq::visa::loadVisa());
        ASSERT_TRUE(sim.load());
    }

    void SetUp() override
    {
        sim.simvisa_reset();
        ASSERT_EQ(sim.simvisa_addInstrument("PXI1::14::INSTR", "manf=0x3c5a; model=0x718; alias=digitizer"),
                  VI_SUCCESS);
        ASSERT_EQ(sim.simvisa_addInstrument("PXI1::15::INSTR", "manf=0x3c5a; model=0x747; slot=9"), VI_SUCCESS);
        ASSERT_EQ(sim.simvisa_addInstrument("PXI2::3::INSTR", "manf=0x1234; model=0x718"), VI_SUCCESS);
        ASSERT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    }

    void TearDown() override
    {
        sim.simvisa_reset();
        EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    }

    ViSession open(const char *name)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(visa().viOpen(rm, name, VI_NULL, VI_NULL, &vi), VI_SUCCESS) << name;
        return vi;
    }

    std::vector<std::string> findAll(const char *expr, ViStatus *status = nullptr)
    {
        std::vector<std::string> out;
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        char desc[VI_FIND_BUFLEN];
        ViStatus s = visa().viFindRsrc(rm, expr, &list, &count, desc);
        if (status)
            *status = s;
        if (s < VI_SUCCESS)
            return out;
        out.push_back(desc);
        while (visa().viFindNext(list, desc) == VI_SUCCESS)
            out.push_back(desc);
        EXPECT_EQ(out.size(), count);
        visa().viClose(list);
        return out;
    }

    ViSession rm = VI_NULL;
};

using Names = std::vector<std::string>;

TEST_F(SimVisaTest, FindsResourcesByExpressionAndAttributeClause)
{
    EXPECT_EQ(findAll("?*INSTR"), (Names{"PXI1::14::INSTR", "PXI1::15::INSTR", "PXI2::3::INSTR"}));
    EXPECT_EQ(findAll("PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x718 && VI_ATTR_MANF_ID == 0x3c5a}"),
              (Names{"PXI1::14::INSTR"}));
    EXPECT_EQ(findAll("PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x718}"), (Names{"PXI1::14::INSTR", "PXI2::3::INSTR"}));
    EXPECT_EQ(findAll("PXI?*INSTR {VI_ATTR_SLOT == 9}"), (Names{"PXI1::15::INSTR"}));
    EXPECT_EQ(findAll("?*MEMACC"), (Names{"PXI0::MEMACC"}));
    ViStatus status = VI_SUCCESS;
    EXPECT_TRUE(findAll("PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x775}", &status).empty());
    EXPECT_EQ(status, VI_ERROR_RSRC_NFOUND);
    findAll("PXI?*INSTR {VI_ATTR_MODEL_CODE ==}", &status);
    EXPECT_EQ(status, VI_ERROR_INV_EXPR);

    // The end of a list answers "not found", again and again.
    ViFindList list = VI_NULL;
    char desc[VI_FIND_BUFLEN];
    ASSERT_EQ(visa().viFindRsrc(rm, "PXI1::14::INSTR", &list, VI_NULL, desc), VI_SUCCESS);
    EXPECT_EQ(visa().viFindNext(list, desc), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa().viFindNext(list, desc), VI_ERROR_RSRC_NFOUND);
}

TEST_F(SimVisaTest, ParsesNamesAndAliases)
{
    struct Case {
        const char *name;
        ViStatus status;
        const char *expanded, *alias, *cls;
    } cases[] = {
        {"digitizer", VI_SUCCESS, "PXI1::14::INSTR", "digitizer", "INSTR"},
        {"DIGITIZER", VI_SUCCESS, "PXI1::14::INSTR", "digitizer", "INSTR"},
        {"pxi1::14", VI_SUCCESS, "PXI1::14::INSTR", "digitizer", "INSTR"},
        {"PXI0::1-14::INSTR", VI_SUCCESS, "PXI1::14::INSTR", "digitizer", "INSTR"},
        {"PXI0::CHASSIS1::SLOT9::INSTR", VI_SUCCESS, "PXI1::15::INSTR", "", "INSTR"},
        {"PXI3::7::INSTR", VI_ERROR_RSRC_NFOUND, "", "", ""}, // valid, but nothing sits there
        {"PXI0::MEMACC", VI_SUCCESS, "PXI0::MEMACC", "", "MEMACC"},
        {"PXI0::CHASSIS5::SLOT2::INSTR", VI_ERROR_RSRC_NFOUND, "", "", ""},
        {"nosuchalias", VI_ERROR_RSRC_NFOUND, "", "", ""},
        {"PXI1::14::INSTR_IP2", VI_ERROR_RSRC_NFOUND, "", "", ""}, // a name made for a part of it
        {"digitizer_IP2", VI_ERROR_RSRC_NFOUND, "", "", ""},
        {"PXI1::x::INSTR", VI_ERROR_INV_RSRC_NAME, "", "", ""},
        {"GPIB0::1::INSTR", VI_ERROR_RSRC_NFOUND, "", "", ""},
    };
    for (const Case &c : cases) {
        ViUInt16 type = 0, number = 99;
        char cls[VI_FIND_BUFLEN] = "x", expanded[VI_FIND_BUFLEN] = "x", alias[VI_FIND_BUFLEN] = "x";
        ASSERT_EQ(visa().viParseRsrcEx(rm, c.name, &type, &number, cls, expanded, alias), c.status) << c.name;
        if (c.status != VI_SUCCESS)
            continue;
        EXPECT_EQ(type, VI_INTF_PXI);
        EXPECT_STREQ(expanded, c.expanded) << c.name;
        EXPECT_STREQ(alias, c.alias) << c.name;
        EXPECT_STREQ(cls, c.cls) << c.name;
    }
    // The class may be left out, as the drivers do.
    char expanded[VI_FIND_BUFLEN], alias[VI_FIND_BUFLEN];
    ViUInt16 type, number;
    EXPECT_EQ(visa().viParseRsrcEx(rm, "digitizer", &type, &number, VI_NULL, expanded, alias), VI_SUCCESS);
    EXPECT_EQ(visa().viParseRsrcEx(12345, "digitizer", &type, &number, VI_NULL, expanded, alias),
              VI_ERROR_INV_OBJECT);
}

TEST_F(SimVisaTest, ClosingAResourceManagerClosesWhatItOpened)
{
    const ViUInt32 base = sim.simvisa_openSessionCount();
    ViSession a = open("digitizer"), b = open("PXI1::15::INSTR"), mem = open("PXI0::MEMACC");
    ViFindList list = VI_NULL;
    char desc[VI_FIND_BUFLEN];
    ASSERT_EQ(visa().viFindRsrc(rm, "?*", &list, VI_NULL, desc), VI_SUCCESS);
    ViSession other = VI_NULL, c = VI_NULL;
    ASSERT_EQ(visa().viOpenDefaultRM(&other), VI_SUCCESS);
    ASSERT_EQ(visa().viOpen(other, "PXI2::3::INSTR", VI_NULL, VI_NULL, &c), VI_SUCCESS);
    EXPECT_EQ(sim.simvisa_openSessionCount(), base + 6);

    ViSession owner = VI_NULL;
    ASSERT_EQ(visa().viGetAttribute(a, VI_ATTR_RM_SESSION, &owner), VI_SUCCESS);
    EXPECT_EQ(owner, rm);
    ASSERT_EQ(visa().viClose(rm), VI_SUCCESS);
    ViUInt32 value;
    for (ViSession gone : {a, b, mem, list, rm})
        EXPECT_EQ(visa().viGetAttribute(gone, VI_ATTR_TMO_VALUE, &value), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa().viClose(a), VI_ERROR_INV_OBJECT);
    // The other manager's session is untouched.
    EXPECT_EQ(visa().viGetAttribute(c, VI_ATTR_TMO_VALUE, &value), VI_SUCCESS);
    EXPECT_EQ(sim.simvisa_openSessionCount(), base - 1 + 2);
    EXPECT_EQ(visa().viClose(other), VI_SUCCESS);
    EXPECT_EQ(visa().viClose(VI_NULL), VI_WARN_NULL_OBJECT);
}

TEST_F(SimVisaTest, OpenRefusesWhatIsNotThere)
{
    ViSession vi = 77;
    EXPECT_EQ(visa().viOpen(rm, "PXI3::7::INSTR", VI_NULL, VI_NULL, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(visa().viOpen(rm, "garbage::", VI_NULL, VI_NULL, &vi), VI_ERROR_INV_RSRC_NAME);
    ViSession instr = open("digitizer");
    EXPECT_EQ(visa().viOpen(instr, "digitizer", VI_NULL, VI_NULL, &vi), VI_ERROR_INV_OBJECT);
}

TEST_F(SimVisaTest, AttributesAreWrittenAtTheirOwnSize)
{
    ViSession vi = open("digitizer");
    struct Case {
        ViAttr attr;
        size_t size;
        uint64_t value;
    } cases[] = {
        {VI_ATTR_MANF_ID, 2, 0x3c5a},          {VI_ATTR_MODEL_CODE, 2, 0x718},
        {VI_ATTR_INTF_TYPE, 2, VI_INTF_PXI},   {VI_ATTR_PXI_BUS_NUM, 2, 1},
        {VI_ATTR_PXI_DEV_NUM, 2, 14},          {VI_ATTR_RM_SESSION, 4, rm},
        {VI_ATTR_TMO_VALUE, 4, 2000},          {VI_ATTR_DEST_INCREMENT, 4, 1},
        {VI_ATTR_PXI_MEM_SIZE_BAR2, 4, 0x10000}, {VI_ATTR_USER_DATA_64, 8, 0},
    };
    for (const Case &c : cases) {
        unsigned char buf[16];
        memset(buf, 0xAA, sizeof buf);
        ASSERT_EQ(visa().viGetAttribute(vi, c.attr, buf), VI_SUCCESS) << std::hex << c.attr;
        uint64_t v = 0;
        memcpy(&v, buf, c.size);
        EXPECT_EQ(v, c.value) << std::hex << c.attr;
        for (size_t i = c.size; i < sizeof buf; ++i)
            ASSERT_EQ(buf[i], 0xAA) << "attribute " << std::hex << c.attr << " wrote byte " << i;
    }
    char name[VI_FIND_BUFLEN];
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_RSRC_NAME, name), VI_SUCCESS);
    EXPECT_STREQ(name, "PXI1::14::INSTR");
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_RSRC_CLASS, name), VI_SUCCESS);
    EXPECT_STREQ(name, "INSTR");

    EXPECT_EQ(visa().viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
    ViUInt32 tmo = 0;
    visa().viGetAttribute(vi, VI_ATTR_TMO_VALUE, &tmo);
    EXPECT_EQ(tmo, 5000u);
    EXPECT_EQ(visa().viSetAttribute(vi, VI_ATTR_MANF_ID, 1), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(visa().viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(visa().viGetAttribute(vi, VI_ATTR_ASRL_BAUD, &tmo), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(visa().viGetAttribute(rm, VI_ATTR_MANF_ID, &tmo), VI_ERROR_NSUP_ATTR);
}

TEST_F(SimVisaTest, StatusDescriptions)
{
    char text[VI_FIND_BUFLEN];
    ASSERT_EQ(visa().viStatusDesc(rm, VI_ERROR_TMO, text), VI_SUCCESS);
    EXPECT_EQ(std::string(text).rfind("VI_ERROR_TMO: ", 0), 0u) << text;
    ASSERT_EQ(visa().viStatusDesc(rm, VI_ERROR_NSUP_OPER, text), VI_SUCCESS);
    EXPECT_NE(std::string(text).find("not supported"), std::string::npos);
    EXPECT_EQ(visa().viStatusDesc(rm, static_cast<ViStatus>(0xBFFC0999), text), VI_WARN_UNKNOWN_STATUS);
}

TEST_F(SimVisaTest, SixteenBitHalvesAliasThirtyTwoBitRegisters)
{
    ViSession vi = open("digitizer");
    ASSERT_EQ(visa().viOut32(vi, VI_PXI_BAR2_SPACE, 0x7004, 0x12345678), VI_SUCCESS);
    ViUInt16 lo = 0, hi = 0;
    ASSERT_EQ(visa().viIn16(vi, VI_PXI_BAR2_SPACE, 0x7004, &lo), VI_SUCCESS);
    ASSERT_EQ(visa().viIn16(vi, VI_PXI_BAR2_SPACE, 0x7006, &hi), VI_SUCCESS);
    EXPECT_EQ(lo, 0x5678);
    EXPECT_EQ(hi, 0x1234);
    ViUInt8 b = 0;
    ASSERT_EQ(visa().viIn8(vi, VI_PXI_BAR2_SPACE, 0x7007, &b), VI_SUCCESS);
    EXPECT_EQ(b, 0x12);
    ASSERT_EQ(visa().viOut16(vi, VI_PXI_BAR2_SPACE, 0x7006, 0xBEEF), VI_SUCCESS);
    ViUInt32 word = 0;
    ASSERT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x7004, &word), VI_SUCCESS);
    EXPECT_EQ(word, 0xBEEF5678u);
    // BAR0 is a space of its own.
    ASSERT_EQ(visa().viIn32(vi, VI_PXI_BAR0_SPACE, 0x7004 % 0x1000, &word), VI_SUCCESS);
    EXPECT_EQ(word, 0u);
    // Behind the driver's back, the same bytes.
    ViUInt32 raw = 0;
    ASSERT_EQ(sim.simvisa_readRegister("PXI1::14::INSTR", VI_PXI_BAR2_SPACE, 0x7004, 4, &raw), VI_SUCCESS);
    EXPECT_EQ(raw, 0xBEEF5678u);
}

TEST_F(SimVisaTest, RegisterAccessChecksSpaceOffsetAndAlignment)
{
    ViSession vi = open("digitizer");
    ViUInt32 v;
    ViUInt16 h;
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR1_SPACE, 0, &v), VI_ERROR_INV_SPACE);
    EXPECT_EQ(visa().viIn32(vi, VI_A16_SPACE, 0, &v), VI_ERROR_INV_SPACE);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x10000, &v), VI_ERROR_INV_OFFSET);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0xFFFC, &v), VI_SUCCESS);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x7006, &v), VI_ERROR_NSUP_ALIGN_OFFSET);
    EXPECT_EQ(visa().viIn16(vi, VI_PXI_BAR2_SPACE, 0x7005, &h), VI_ERROR_NSUP_ALIGN_OFFSET);
    EXPECT_EQ(visa().viIn32(rm, VI_PXI_BAR2_SPACE, 0, &v), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(visa().viIn32(0x3FFFFFFF, VI_PXI_BAR2_SPACE, 0, &v), VI_ERROR_INV_OBJECT);
}

// Two instruments that each hold their own tag in a register: an access
// that reached the wrong instrument reads the other tag.
struct TaggedInstruments {
    static constexpr const char *kNames[2] = {"PXI6::1::INSTR", "PXI6::2::INSTR"};
    static constexpr ViUInt32 kTags[2] = {0x7A6A0001, 0x7A6A0002};
    static constexpr ViBusAddress kTag = 0x10, kScratch = 0x20;

    static void add()
    {
        for (int i = 0; i < 2; ++i) {
            const std::string settings = "reg13.0x10=" + std::to_string(kTags[i]);
            ASSERT_EQ(sim.simvisa_addInstrument(kNames[i], settings.c_str()), VI_SUCCESS);
        }
    }
};

// More sessions than register access has fast slots: every one reaches its
// own instrument, and none does once it is closed.
TEST_F(SimVisaTest, RegisterAccessFollowsEverySessionAndEndsAtClose)
{
    TaggedInstruments::add();
    std::vector<ViSession> sessions(5000);
    for (size_t i = 0; i < sessions.size(); ++i)
        sessions[i] = open(TaggedInstruments::kNames[i % 2]);
    for (size_t i = 0; i < sessions.size(); ++i) {
        ViUInt32 v = 0;
        ASSERT_EQ(visa().viIn32(sessions[i], VI_PXI_BAR2_SPACE, TaggedInstruments::kTag, &v), VI_SUCCESS) << i;
        ASSERT_EQ(v, TaggedInstruments::kTags[i % 2]) << i;
    }
    // Closed in an order unlike the one they were opened in.
    for (size_t i = 0; i < sessions.size(); ++i) {
        const ViSession vi = sessions[(i * 7) % sessions.size()];
        ASSERT_EQ(visa().viClose(vi), VI_SUCCESS);
        ViUInt32 v = 0;
        ASSERT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, TaggedInstruments::kTag, &v), VI_ERROR_INV_OBJECT);
        ASSERT_EQ(visa().viOut32(vi, VI_PXI_BAR2_SPACE, TaggedInstruments::kScratch, 1), VI_ERROR_INV_OBJECT);
    }
    // A new session on a slot a closed one had reaches its own instrument.
    ViSession vi = open(TaggedInstruments::kNames[1]);
    ViUInt32 v = 0;
    ASSERT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, TaggedInstruments::kTag, &v), VI_SUCCESS);
    EXPECT_EQ(v, TaggedInstruments::kTags[1]);
}

// Sessions closed and opened while other threads access registers through
// them: an access either reaches the session's own instrument or is refused
// as made on a closed session, and nothing races (ThreadSanitizer).
TEST_F(SimVisaTest, ClosingWhileOtherThreadsAccessRegisters)
{
    TaggedInstruments::add();
    constexpr int kSessions = 8, kRounds = 5000, kThreads = 3;
    // Each entry: a session value and, in the high word, which instrument it is on.
    std::atomic<uint64_t> published[kSessions];
    for (int i = 0; i < kSessions; ++i)
        published[i] = (uint64_t(i % 2) << 32) | open(TaggedInstruments::kNames[i % 2]);
    std::atomic<bool> stop{false};
    std::atomic<int> wrongTag{0}, wrongStatus{0};
    std::atomic<long> reached{0};
    std::atomic<int> running{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (unsigned n = t; !stop.load(); ++n) {
                if (n == static_cast<unsigned>(t) + 1)
                    ++running; // its first access is made
                const uint64_t entry = published[n % kSessions].load();
                const ViSession vi = static_cast<ViSession>(entry);
                ViUInt32 v = 0;
                const ViStatus s = visa().viIn32(vi, VI_PXI_BAR2_SPACE, TaggedInstruments::kTag, &v);
                const ViStatus w = visa().viOut32(vi, VI_PXI_BAR2_SPACE, TaggedInstruments::kScratch, n);
                if (s == VI_SUCCESS) {
                    ++reached;
                    if (v != TaggedInstruments::kTags[entry >> 32])
                        ++wrongTag;
                } else if (s != VI_ERROR_INV_OBJECT)
                    ++wrongStatus;
                if (w != VI_SUCCESS && w != VI_ERROR_INV_OBJECT)
                    ++wrongStatus;
            }
        });
    // The closing begins once every thread has made an access, so that on a
    // loaded machine too the closes meet accesses in flight.
    while (running.load() < kThreads)
        std::this_thread::yield();
    for (int round = 0; round < kRounds; ++round) {
        const int i = round % kSessions;
        const uint64_t old = published[i].load();
        ASSERT_EQ(visa().viClose(static_cast<ViSession>(old)), VI_SUCCESS);
        ViUInt32 v = 0;
        EXPECT_EQ(visa().viIn32(static_cast<ViSession>(old), VI_PXI_BAR2_SPACE, TaggedInstruments::kTag, &v),
                  VI_ERROR_INV_OBJECT);
        const int which = (round / kSessions) % 2;
        published[i] = (uint64_t(which) << 32) | open(TaggedInstruments::kNames[which]);
    }
    stop = true;
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrongTag.load(), 0);
    EXPECT_EQ(wrongStatus.load(), 0);
    EXPECT_GT(reached.load(), 0);
}

TEST_F(SimVisaTest, BlockMovesFollowTheIncrementAttributes)
{
    ViSession vi = open("digitizer");
    ViUInt16 out[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    ASSERT_EQ(visa().viMoveOut16(vi, VI_PXI_BAR2_SPACE, 0x100, 4, out), VI_SUCCESS);
    ViUInt32 words[2] = {};
    ASSERT_EQ(visa().viMoveIn32(vi, VI_PXI_BAR2_SPACE, 0x100, 2, words), VI_SUCCESS);
    EXPECT_EQ(words[0], 0x22221111u);
    EXPECT_EQ(words[1], 0x44443333u);

    // Without increment every element goes to (or comes from) the one register.
    ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_DEST_INCREMENT, 0), VI_SUCCESS);
    sim.simvisa_clearWriteLog("digitizer");
    ASSERT_EQ(visa().viMoveOut16(vi, VI_PXI_BAR2_SPACE, 0x200, 4, out), VI_SUCCESS);
    SimVisaWrite log[8];
    ViUInt32 n = 0;
    ASSERT_EQ(sim.simvisa_getWriteLog("digitizer", log, 8, &n), VI_SUCCESS);
    ASSERT_EQ(n, 4u);
    for (ViUInt32 i = 0; i < n; ++i) {
        EXPECT_EQ(log[i].offset, 0x200u);
        EXPECT_EQ(log[i].width, 2);
        EXPECT_EQ(log[i].value, out[i]);
    }
    ASSERT_EQ(visa().viSetAttribute(vi, VI_ATTR_SRC_INCREMENT, 0), VI_SUCCESS);
    ViUInt32 again[3] = {};
    ASSERT_EQ(visa().viMoveIn32(vi, VI_PXI_BAR2_SPACE, 0x100, 3, again), VI_SUCCESS);
    EXPECT_EQ(again[0], 0x22221111u);
    EXPECT_EQ(again[2], 0x22221111u);
}

TEST_F(SimVisaTest, WriteLogAndFaults)
{
    ViSession vi = open("digitizer");
    const char *name = "PXI1::14::INSTR";
    ASSERT_EQ(visa().viOut32(vi, VI_PXI_BAR0_SPACE, 0x68, 0x40801), VI_SUCCESS);
    ASSERT_EQ(visa().viOut16(vi, VI_PXI_BAR2_SPACE, 0x50, 0x2001), VI_SUCCESS);
    SimVisaWrite log[4];
    ViUInt32 n = 0;
    ASSERT_EQ(sim.simvisa_getWriteLog(name, log, 4, &n), VI_SUCCESS);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(log[0].space, VI_PXI_BAR0_SPACE);
    EXPECT_EQ(log[0].offset, 0x68u);
    EXPECT_EQ(log[0].value, 0x40801u);
    EXPECT_EQ(log[1].width, 2);
    EXPECT_LT(log[0].sequence, log[1].sequence);

    // The third access from now fails, once.
    ASSERT_EQ(sim.simvisa_failAccess(name, 3, SIMVISA_ANY, VI_ERROR_IO), VI_SUCCESS);
    ViUInt32 v;
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0, &v), VI_SUCCESS);
    EXPECT_EQ(visa().viOut32(vi, VI_PXI_BAR2_SPACE, 0, 1), VI_SUCCESS);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0, &v), VI_ERROR_IO);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0, &v), VI_SUCCESS);

    // An offset fails for the kinds of access asked for, also in 16-bit halves.
    ASSERT_EQ(sim.simvisa_failOffset(name, VI_PXI_BAR2_SPACE, 0x7004, SIMVISA_READS, VI_ERROR_BERR), VI_SUCCESS);
    ViUInt16 h;
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x7004, &v), VI_ERROR_BERR);
    EXPECT_EQ(visa().viIn16(vi, VI_PXI_BAR2_SPACE, 0x7006, &h), VI_ERROR_BERR);
    EXPECT_EQ(visa().viOut32(vi, VI_PXI_BAR2_SPACE, 0x7004, 5), VI_SUCCESS);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x7008, &v), VI_SUCCESS);
    ASSERT_EQ(sim.simvisa_clearFaults(name), VI_SUCCESS);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x7004, &v), VI_SUCCESS);
    EXPECT_EQ(v, 5u);

    // A pulled-out instrument keeps its sessions but answers nothing.
    ASSERT_EQ(sim.simvisa_removeInstrument("digitizer"), VI_SUCCESS);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0, &v), VI_ERROR_CONN_LOST);
    EXPECT_EQ(sim.simvisa_getWriteLog(name, log, 4, &n), VI_ERROR_RSRC_NFOUND);
    EXPECT_TRUE(findAll("PXI1::14::INSTR").empty());
}

TEST_F(SimVisaTest, DmaMemoryIsMappedAndSeenByTheBoardSide)
{
    ViSession mem = open("PXI0::MEMACC");
    ViBusAddress bus = 0, bus2 = 0;
    ASSERT_EQ(visa().viMemAlloc(mem, 1000, &bus), VI_SUCCESS);
    ASSERT_EQ(visa().viMemAlloc(mem, 64, &bus2), VI_SUCCESS);
    EXPECT_LT(bus2 + 64, 0x100000000ull) << "bus addresses fit 32-bit descriptor words";
    EXPECT_TRUE(bus2 >= bus + 1000 || bus2 + 64 <= bus) << "blocks do not overlap";
    ViAddr addr = nullptr;
    ASSERT_EQ(visa().viMapAddress(mem, VI_PXI_ALLOC_SPACE, bus, 1000, VI_FALSE, VI_NULL, &addr), VI_SUCCESS);
    ASSERT_NE(addr, nullptr);
    EXPECT_EQ(visa().viMapAddress(mem, VI_PXI_ALLOC_SPACE, bus, 1000, VI_FALSE, VI_NULL, &addr),
              VI_ERROR_WINDOW_MAPPED);
    ViBusAddress base = 0;
    ASSERT_EQ(visa().viGetAttribute(mem, VI_ATTR_WIN_BASE_ADDR_64, &base), VI_SUCCESS);
    EXPECT_EQ(base, bus);

    const char text[] = "scan data";
    ASSERT_EQ(sim.simvisa_dmaWrite(bus + 100, text, sizeof text), VI_SUCCESS);
    EXPECT_STREQ(static_cast<char *>(addr) + 100, text);
    static_cast<char *>(addr)[0] = 'Q';
    char back = 0;
    ASSERT_EQ(sim.simvisa_dmaRead(bus, &back, 1), VI_SUCCESS);
    EXPECT_EQ(back, 'Q');
    EXPECT_EQ(sim.simvisa_dmaWrite(bus + 999, text, 2), VI_ERROR_INV_OFFSET) << "past the end of the block";

    EXPECT_EQ(visa().viMemFree(mem, bus), VI_ERROR_WINDOW_MAPPED);
    EXPECT_EQ(visa().viUnmapAddress(mem), VI_SUCCESS);
    EXPECT_EQ(visa().viUnmapAddress(mem), VI_ERROR_WINDOW_NMAPPED);
    EXPECT_EQ(visa().viMemFree(mem, bus), VI_SUCCESS);
    EXPECT_EQ(visa().viMemFree(mem, bus), VI_ERROR_INV_OFFSET);
    EXPECT_EQ(sim.simvisa_dmaRead(bus, &back, 1), VI_ERROR_INV_OFFSET);
    // Closing the session frees the rest.
    ASSERT_EQ(visa().viClose(mem), VI_SUCCESS);
    EXPECT_EQ(sim.simvisa_dmaRead(bus2, &back, 1), VI_ERROR_INV_OFFSET);
}

// A board of a model is found by the expression its driver searches with,
// without the inventory naming its identity; what the inventory names wins.
TEST_F(SimVisaTest, BoardKindsHaveTheirModelsIdentity)
{
    struct Case {
        const char *settings;
        ViUInt16 manf, model;
    } cases[] = {
        {"board=tq718", 0x3c5a, 0x718},
        {"board=tq747", 0x3c5a, 0x747},
        {"board=tq726", 0x3c5a, 0x726},
        {"board=tq775", 0x3c5a, 0x775},
        {"board=generic", 0, 0},
        {"board=tq775; model=0x123", 0x3c5a, 0x123},
        {"board=tq726; manf=0x1234", 0x1234, 0x726},
        {"manf=0x3c5a; model=0x714", 0x3c5a, 0x714},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        ASSERT_EQ(sim.simvisa_addInstrument("PXI5::1::INSTR", c.settings), VI_SUCCESS);
        ViSession vi = open("PXI5::1::INSTR");
        ViUInt16 manf = 1, model = 1;
        ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_MANF_ID, &manf), VI_SUCCESS);
        ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_MODEL_CODE, &model), VI_SUCCESS);
        EXPECT_EQ(manf, c.manf);
        EXPECT_EQ(model, c.model);
        char expr[128];
        snprintf(expr, sizeof expr, "PXI5?*INSTR {VI_ATTR_MODEL_CODE == %#x && VI_ATTR_MANF_ID == %#x}", c.model,
                 c.manf);
        EXPECT_EQ(findAll(expr), (Names{"PXI5::1::INSTR"}));
        EXPECT_EQ(visa().viClose(vi), VI_SUCCESS);
        ASSERT_EQ(sim.simvisa_removeInstrument("PXI5::1::INSTR"), VI_SUCCESS);
    }
}

// ---------------------------------------------------------------------------
// Events

TEST_F(SimVisaTest, QueueMechanism)
{
    ViSession vi = open("digitizer");
    ViEventType type = 0;
    ViEvent ctx = VI_NULL;
    EXPECT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 0, &type, &ctx), VI_ERROR_NENABLED);
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL), VI_SUCCESS_EVENT_EN);
    EXPECT_EQ(visa().viEnableEvent(vi, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_NULL), VI_ERROR_INV_EVENT);
    EXPECT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL), VI_ERROR_HNDLR_NINSTALLED);

    EXPECT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 20, &type, &ctx), VI_ERROR_TMO);
    sim.simvisa_raiseInterrupt("digitizer", 0xAB);
    sim.simvisa_raiseInterrupt("digitizer", 0xCD);
    ASSERT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 1000, &type, &ctx), VI_SUCCESS_QUEUE_NEMPTY);
    EXPECT_EQ(type, VI_EVENT_PXI_INTR);
    ViUInt32 data = 0;
    ViInt16 seq1 = 0, seq2 = 0;
    ASSERT_EQ(visa().viGetAttribute(ctx, VI_ATTR_PXI_RECV_INTR_DATA, &data), VI_SUCCESS);
    EXPECT_EQ(data, 0xABu);
    visa().viGetAttribute(ctx, VI_ATTR_PXI_RECV_INTR_SEQ, &seq1);
    ASSERT_EQ(visa().viClose(ctx), VI_SUCCESS);
    ASSERT_EQ(visa().viWaitOnEvent(vi, VI_ALL_ENABLED_EVENTS, VI_TMO_IMMEDIATE, &type, &ctx), VI_SUCCESS);
    visa().viGetAttribute(ctx, VI_ATTR_PXI_RECV_INTR_SEQ, &seq2);
    EXPECT_EQ(seq2, seq1 + 1);
    // A context left open goes with its session.
    // Discarding empties the queue.
    sim.simvisa_raiseInterrupt("digitizer", 1);
    EXPECT_EQ(visa().viDiscardEvents(vi, VI_EVENT_PXI_INTR, VI_ALL_MECH), VI_SUCCESS);
    EXPECT_EQ(visa().viDiscardEvents(vi, VI_EVENT_PXI_INTR, VI_QUEUE), VI_SUCCESS_QUEUE_EMPTY);
    EXPECT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 0, VI_NULL, VI_NULL), VI_ERROR_TMO);
    EXPECT_EQ(visa().viDisableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE), VI_SUCCESS);
    EXPECT_EQ(visa().viDisableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE), VI_SUCCESS_EVENT_DIS);
    EXPECT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 0, VI_NULL, VI_NULL), VI_ERROR_NENABLED);
    // Another instrument's interrupt does not reach this session.
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL), VI_SUCCESS);
    sim.simvisa_raiseInterrupt("PXI1::15::INSTR", 1);
    EXPECT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 20, VI_NULL, VI_NULL), VI_ERROR_TMO);
}

// Clients switch all enabled events off on every session before they close
// it, whether or not it supports events; a session refuses to enable an
// event it does not support.
TEST_F(SimVisaTest, EventCallsOnEveryKindOfSession)
{
    ASSERT_EQ(sim.simvisa_addInstrument("ASRL3::INSTR", "board=echo"), VI_SUCCESS);
    ASSERT_EQ(sim.simvisa_addInstrument("visa::resman", ""), VI_SUCCESS);
    const ViSession instr = open("digitizer"), serial = open("ASRL3::INSTR"), mem = open("PXI0::MEMACC"),
                    service = open("visa::resman");
    ViFindList list = VI_NULL;
    ASSERT_EQ(visa().viFindRsrc(rm, "?*", &list, VI_NULL, VI_NULL), VI_SUCCESS);
    enum Call { Enable, Disable, Discard };
    struct Case {
        Call call;
        ViEventType type;
        ViUInt16 mechanism;
        ViStatus instrument, other;
    } cases[] = {
        {Disable, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH, VI_SUCCESS_EVENT_DIS, VI_SUCCESS_EVENT_DIS},
        {Disable, VI_ALL_ENABLED_EVENTS, VI_QUEUE | VI_HNDLR, VI_SUCCESS_EVENT_DIS, VI_SUCCESS_EVENT_DIS},
        {Disable, VI_ALL_ENABLED_EVENTS, 0, VI_ERROR_INV_MECH, VI_ERROR_INV_MECH},
        {Disable, VI_ALL_ENABLED_EVENTS, 0x10, VI_ERROR_INV_MECH, VI_ERROR_INV_MECH},
        {Disable, VI_EVENT_PXI_INTR, VI_ALL_MECH, VI_SUCCESS_EVENT_DIS, VI_ERROR_INV_EVENT},
        {Disable, VI_EVENT_IO_COMPLETION, VI_ALL_MECH, VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT},
        {Discard, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH, VI_SUCCESS_QUEUE_EMPTY, VI_SUCCESS_QUEUE_EMPTY},
        {Discard, VI_ALL_ENABLED_EVENTS, 0, VI_ERROR_INV_MECH, VI_ERROR_INV_MECH},
        {Discard, VI_EVENT_PXI_INTR, VI_QUEUE, VI_SUCCESS_QUEUE_EMPTY, VI_ERROR_INV_EVENT},
        {Enable, VI_EVENT_PXI_INTR, VI_QUEUE, VI_SUCCESS, VI_ERROR_INV_EVENT},
        {Enable, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT},
        {Enable, VI_EVENT_SERVICE_REQ, VI_HNDLR, VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT},
        {Enable, VI_ALL_ENABLED_EVENTS, VI_QUEUE, VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT},
    };
    auto call = [](ViSession vi, const Case &c) {
        switch (c.call) {
        case Enable: return visa().viEnableEvent(vi, c.type, c.mechanism, VI_NULL);
        case Disable: return visa().viDisableEvent(vi, c.type, c.mechanism);
        case Discard: return visa().viDiscardEvents(vi, c.type, c.mechanism);
        }
        return VI_ERROR_SYSTEM_ERROR;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "call " << c.call << " type " << std::hex << c.type << " mechanism "
                                        << c.mechanism);
        EXPECT_EQ(call(instr, c), c.instrument);
        for (ViSession vi : {serial, mem, service, rm})
            EXPECT_EQ(call(vi, c), c.other) << "session " << vi;
        // What is not a session supports no event, nor a session that is gone.
        EXPECT_EQ(call(list, c), VI_ERROR_INV_EVENT);
        EXPECT_EQ(call(0x3FFFFFFF, c), VI_ERROR_INV_OBJECT);
        // Whatever the instrument enabled is off again for the next case.
        visa().viDisableEvent(instr, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH);
    }
    // Switched on, the instrument's events go off with "all enabled events".
    ASSERT_EQ(visa().viEnableEvent(instr, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL), VI_SUCCESS);
    sim.simvisa_raiseInterrupt("digitizer", 1);
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(visa().viDiscardEvents(instr, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS);
    EXPECT_EQ(visa().viDisableEvent(instr, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS);
    EXPECT_EQ(visa().viWaitOnEvent(instr, VI_EVENT_PXI_INTR, 0, VI_NULL, VI_NULL), VI_ERROR_NENABLED);
}

TEST_F(SimVisaTest, WaitOnEventWakesWhenTheInterruptComes)
{
    ViSession vi = open("digitizer");
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL), VI_SUCCESS);
    std::thread raiser([] {
        tq::platform::sleepMs(20);
        sim.simvisa_raiseInterrupt("digitizer", 42);
    });
    ViEventType type = 0;
    EXPECT_EQ(visa().viWaitOnEvent(vi, VI_EVENT_PXI_INTR, 10000, &type, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(type, VI_EVENT_PXI_INTR);
    raiser.join();
}

TEST_F(SimVisaTest, RefusedMechanism)
{
    ViSession vi = open("digitizer");
    ASSERT_EQ(sim.simvisa_refuseMechanism("digitizer", VI_HNDLR), VI_SUCCESS);
    auto handler = +[](ViSession, ViEventType, ViEvent, ViAddr) -> ViStatus { return VI_SUCCESS; };
    ASSERT_EQ(visa().viInstallHandler(vi, VI_EVENT_PXI_INTR, handler, nullptr), VI_SUCCESS);
    EXPECT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL), VI_ERROR_NSUP_MECH);
    EXPECT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL), VI_SUCCESS);
}

struct HandlerState {
    std::atomic<int> calls{0};
    int plain = 0; // written on the callback thread, read after the guarantee holds
    ViSession seenSession = 0;
    ViUInt32 seenData = 0;
    bool uninstallInside = false;
    bool disableInside = false;
    bool closeInside = false;
    ViStatus insideStatus = VI_SUCCESS;
    tq::platform::Event entered{tq::platform::Event::Reset::Manual};
    tq::platform::Event release{tq::platform::Event::Reset::Manual, true};
    tq::platform::Event stopped{tq::platform::Event::Reset::Manual}; // the stop call inside has returned
};

ViStatus recordingHandler(ViSession vi, ViEventType type, ViEvent ctx, ViAddr user)
{
    auto *st = static_cast<HandlerState *>(user);
    st->entered.set();
    st->release.wait(10000);
    if (type == VI_EVENT_PXI_INTR) {
        visa().viGetAttribute(ctx, VI_ATTR_PXI_RECV_INTR_DATA, &st->seenData);
        ViUInt32 reg;
        visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0, &reg); // handlers may call VISA
    }
    st->seenSession = vi;
    ++st->plain;
    if (st->uninstallInside)
        st->insideStatus = visa().viUninstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, user);
    if (st->disableInside)
        st->insideStatus = visa().viDisableEvent(vi, VI_EVENT_PXI_INTR, VI_ALL_MECH);
    if (st->closeInside)
        st->insideStatus = visa().viClose(vi);
    ++st->calls;
    if (st->uninstallInside || st->disableInside || st->closeInside)
        st->stopped.set();
    return VI_SUCCESS;
}

TEST_F(SimVisaTest, HandlersRunOnTheCallbackThread)
{
    ViSession vi = open("digitizer");
    HandlerState st;
    ASSERT_EQ(visa().viInstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st), VI_SUCCESS);
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL), VI_SUCCESS);
    for (int i = 1; i <= 5; ++i)
        sim.simvisa_raiseInterrupt("digitizer", 100 + i);
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(st.calls.load(), 5);
    EXPECT_EQ(st.seenSession, vi);
    EXPECT_EQ(st.seenData, 105u);
    EXPECT_EQ(visa().viUninstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st), VI_SUCCESS);
    EXPECT_EQ(visa().viUninstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st), VI_ERROR_INV_HNDLR_REF);
    sim.simvisa_raiseInterrupt("digitizer", 1);
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(st.calls.load(), 5);
}

TEST_F(SimVisaTest, SuspendedHandlerEventsArriveWhenResumed)
{
    ViSession vi = open("digitizer");
    HandlerState st;
    ASSERT_EQ(visa().viInstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st), VI_SUCCESS);
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_SUSPEND_HNDLR, VI_NULL), VI_SUCCESS);
    sim.simvisa_raiseInterrupt("digitizer", 7);
    sim.simvisa_raiseInterrupt("digitizer", 8);
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(st.calls.load(), 0);
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL), VI_SUCCESS);
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(st.calls.load(), 2);
    EXPECT_EQ(st.seenData, 8u);
}

// Each way of stopping the handlers, from outside and from inside the
// handler: once the call has returned, the handler never runs again.
enum class Stop { Uninstall, Disable, Close };

class StopHandlers : public SimVisaTest, public ::testing::WithParamInterface<std::tuple<Stop, bool>> {};

TEST_P(StopHandlers, NoHandlerRunsAfterTheCallReturns)
{
    const auto [how, inside] = GetParam();
    ViSession vi = open("digitizer");
    HandlerState st;
    if (inside) {
        st.uninstallInside = how == Stop::Uninstall;
        st.disableInside = how == Stop::Disable;
        st.closeInside = how == Stop::Close;
    } else
        st.release.reset(); // the first call is held inside the handler
    ASSERT_EQ(visa().viInstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st), VI_SUCCESS);
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL), VI_SUCCESS);

    std::atomic<bool> stop{false};
    // Interrupts keep firing from another thread the whole time.
    std::thread raiser([&] {
        while (!stop.load())
            sim.simvisa_raiseInterrupt("digitizer", 1);
    });
    if (inside) {
        ASSERT_EQ(st.stopped.wait(10000), tq::platform::WaitResult::Signaled);
        EXPECT_EQ(st.insideStatus, VI_SUCCESS);
    } else {
        // Stop while a handler is held inside its call.
        ASSERT_EQ(st.entered.wait(10000), tq::platform::WaitResult::Signaled);
        std::thread releaser([&] {
            tq::platform::sleepMs(20);
            st.release.set();
        });
        ViStatus s = how == Stop::Uninstall ? visa().viUninstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st)
                     : how == Stop::Disable ? visa().viDisableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR)
                                            : visa().viClose(vi);
        EXPECT_EQ(s, VI_SUCCESS);
        // The held call has finished by now: the plain counter may be read.
        const int seen = st.plain;
        EXPECT_GE(seen, 1);
        releaser.join();
    }
    const int calls = st.calls.load();
    const int plain = st.plain;
    tq::platform::sleepMs(20);
    stop = true;
    raiser.join();
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(st.calls.load(), calls);
    EXPECT_EQ(st.plain, plain);
    if (how == Stop::Close) {
        ViUInt32 v;
        EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0, &v), VI_ERROR_INV_OBJECT);
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, StopHandlers,
                         ::testing::Combine(::testing::Values(Stop::Uninstall, Stop::Disable, Stop::Close),
                                            ::testing::Bool()));

TEST_F(SimVisaTest, ClosingTheManagerWhileEventsFire)
{
    HandlerState st;
    ViSession vi = open("digitizer");
    ASSERT_EQ(visa().viInstallHandler(vi, VI_EVENT_PXI_INTR, recordingHandler, &st), VI_SUCCESS);
    ASSERT_EQ(visa().viEnableEvent(vi, VI_EVENT_PXI_INTR, VI_HNDLR | VI_QUEUE, VI_NULL), VI_SUCCESS);
    std::atomic<bool> stop{false};
    std::thread raiser([&] {
        while (!stop.load())
            sim.simvisa_raiseInterrupt("digitizer", 1);
    });
    ASSERT_EQ(st.entered.wait(10000), tq::platform::WaitResult::Signaled);
    ASSERT_EQ(visa().viClose(rm), VI_SUCCESS);
    const int plain = st.plain; // safe only if no handler is running any more
    stop = true;
    raiser.join();
    ASSERT_EQ(sim.simvisa_flushEvents(10000), VI_SUCCESS);
    EXPECT_EQ(st.plain, plain);
}

// ---------------------------------------------------------------------------
// Inventory

TEST_F(SimVisaTest, InventoryFile)
{
    sim.simvisa_reset();
    const std::string path = tq::platform::getEnv("TQ_TEST_TMPDIR").value_or("/tmp") + "/simvisa_inventory.txt";
    std::ofstream(path) << "# two instruments\n"
                           "[PXI4::2::INSTR]\n"
                           "model = 0x775\r\n"
                           "manf = 0x3c5a\n"
                           "alias = counter   # the alias\n"
                           "bar2 = 0x100\n"
                           "reg13.0x10 = 0xCAFE\n"
                           "\n"
                           "[PXI4::3::INSTR]\n"
                           "model = 0x726\n";
    ASSERT_EQ(sim.simvisa_loadInventory(path.c_str()), VI_SUCCESS);
    ASSERT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(findAll("PXI4?*"), (Names{"PXI4::2::INSTR", "PXI4::3::INSTR"}));
    ViSession vi = open("counter");
    ViUInt32 v = 0;
    ASSERT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x10, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0xCAFEu);
    EXPECT_EQ(visa().viIn32(vi, VI_PXI_BAR2_SPACE, 0x100, &v), VI_ERROR_INV_OFFSET);

    struct Bad {
        const char *text;
    } bad[] = {{"[PXI4::9::INSTR]\nmodel = 0x10000\n"},
               {"[PXI4::9::INSTR]\nboard = nosuchboard\n"},
               {"[PXI4::9::INSTR]\ncolour = blue\n"},
               {"model = 1\n"},
               {"[PXI4::9::INSTR\n"},
               {"[PXI4::2::INSTR]\n"}, // already taken
               {"[GPIB0::1::INSTR]\n"}};
    for (const Bad &b : bad) {
        std::ofstream(path) << b.text;
        EXPECT_EQ(sim.simvisa_loadInventory(path.c_str()), VI_ERROR_INV_SETUP) << b.text;
    }
    EXPECT_EQ(sim.simvisa_loadInventory("/nonexistent/inventory"), VI_ERROR_FILE_ACCESS);
}

// Run with TQ_SIM_VISA naming tests/data/inventory.txt: the library reads it
// by itself when first used.
TEST(SimVisaInventory, ReadAtFirstUse)
{
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    ASSERT_TRUE(tq::visa::loadVisa());
    ViSession rm = VI_NULL, vi = VI_NULL;
    ASSERT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(visa().viOpen(rm, "inventory718", VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    ViUInt16 model = 0;
    ASSERT_EQ(visa().viGetAttribute(vi, VI_ATTR_MODEL_CODE, &model), VI_SUCCESS);
    EXPECT_EQ(model, 0x718);
    // Serial ports and their crates come from the same file.
    ViUInt16 type = 0, number = 0;
    char expanded[VI_FIND_BUFLEN], alias[VI_FIND_BUFLEN];
    ASSERT_EQ(visa().viParseRsrcEx(rm, "inventorycom", &type, &number, VI_NULL, expanded, alias), VI_SUCCESS);
    EXPECT_EQ(type, VI_INTF_ASRL);
    EXPECT_STREQ(expanded, "ASRL4::INSTR");
    ViSession port = VI_NULL;
    ASSERT_EQ(visa().viOpen(rm, "ASRL4::INSTR", VI_NULL, VI_NULL, &port), VI_SUCCESS);
    ASSERT_EQ(visa().viSetAttribute(port, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    ViUInt16 unitType = 0;
    EXPECT_EQ(visa().viQueryf(port, "$R%2.2x%2.2x60\r\n", "$D%hx\r\n", 0, 2, &unitType), VI_SUCCESS);
    EXPECT_EQ(unitType, 0x41);
    visa().viClose(rm);
}

// An outside client: PyVISA on the simulated library, when Debian's
// python3-pyvisa is installed.
TEST(PyVisa, EveryInstrumentAndPortOpensIdentifiesItselfAndCloses)
{
    if (std::system("/usr/bin/python3 -c 'import pyvisa' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-pyvisa is not installed";
    const std::string cmd = std::string("/usr/bin/python3 ") + TQ_PYVISA_SCRIPT + " " +
                            tq::test::simVisaLibrary() + " " + TQ_SIM_VISA_INVENTORY;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

} // namespace
