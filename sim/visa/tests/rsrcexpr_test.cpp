// Resource expressions and resource names, as tables of cases.
#include <gtest/gtest.h>

#include "rsrcexpr.h"
#include "rsrcname.h"

using namespace tq::sim;

namespace {

struct PatternCase {
    const char *pattern;
    const char *name;
    bool matches;
};

const PatternCase kPatterns[] = {
    {"?*INSTR", "PXI1::14::INSTR", true},
    {"?*INSTR", "PXI0::MEMACC", false},
    {"?*", "PXI0::MEMACC", true},
    {"PXI?*INSTR", "PXI1::14::INSTR", true},
    {"PXI?*INSTR", "pxi1::14::instr", true}, // without regard to case
    {"PXI?*INSTR", "GPIB0::1::INSTR", false},
    {"PXI?*", "PXI", true}, // '*' repeats the '?' zero or more times
    {"PXI??*", "PXI", false},
    {"PXI?*", "PXI1", true},
    {"PXI1::1?::INSTR", "PXI1::14::INSTR", true},
    {"PXI1::1?::INSTR", "PXI1::4::INSTR", false},
    {"PXI[0-9]::1[3-5]::INSTR", "PXI1::14::INSTR", true},
    {"PXI[0-9]::1[3-5]::INSTR", "PXI1::16::INSTR", false},
    {"PXI[^0]::?*", "PXI0::5::INSTR", false},
    {"PXI[^0]::?*", "PXI2::5::INSTR", true},
    {"(GPIB|PXI)?*INSTR", "PXI1::14::INSTR", true},
    {"(GPIB|PXI)?*INSTR", "ASRL1::INSTR", false},
    {"GPIB?*|PXI1::14::INSTR", "PXI1::14::INSTR", true},
    {"PXI1+::?*", "PXI111::3::INSTR", true},
    {"PXI1+::?*", "PXI::3::INSTR", false},
    {"PXI0::MEMAC*", "PXI0::MEMA", true},     // '*' repeats the one character before it
    {"PXI0::MEMAC*", "PXI0::MEMACCC", true},
    {"PXI\\?", "PXI?", true},
    {"PXI\\?", "PXI1", false},
    {"?*INSTR", "PXI1::14::INSTRUMENT", false}, // the whole name must match
};

class PatternTable : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTable, MatchesTheWholeNameWithoutRegardToCase)
{
    const PatternCase &c = GetParam();
    NamePattern p;
    ASSERT_EQ(p.compile(c.pattern), VI_SUCCESS) << c.pattern;
    EXPECT_EQ(p.matches(c.name), c.matches) << c.pattern << " on " << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, PatternTable, ::testing::ValuesIn(kPatterns));

TEST(Pattern, MalformedExpressionsAreRefused)
{
    for (const char *bad : {"*PXI", "PXI(", "PXI)", "PXI[", "PXI[]", "PXI[z-a]", "+", "PXI\\", "a|*"}) {
        NamePattern p;
        EXPECT_EQ(p.compile(bad), VI_ERROR_INV_EXPR) << bad;
    }
}

TEST(Pattern, NestedRepetitionStaysLinear)
{
    // A backtracking matcher would take exponential time here.
    NamePattern p;
    ASSERT_EQ(p.compile("(((?*)*)*)*X"), VI_SUCCESS);
    EXPECT_FALSE(p.matches(std::string(5000, 'a')));
}

struct ClauseCase {
    const char *expression;
    bool matches;
};

// The resource under test: model code 0x718, manufacturer 0x3c5a, slot 4,
// model name "Digitizer 718".
bool lookup(ViAttr attr, AttributeValue &v)
{
    switch (attr) {
    case VI_ATTR_MODEL_CODE: v.number = 0x718; return true;
    case VI_ATTR_MANF_ID: v.number = 0x3c5a; return true;
    case VI_ATTR_SLOT: v.number = 4; return true;
    case VI_ATTR_MODEL_NAME:
        v.isText = true;
        v.text = "Digitizer 718";
        return true;
    }
    return false;
}

const ClauseCase kClauses[] = {
    {"PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x718 && VI_ATTR_MANF_ID == 0x3c5a}", true},
    {"PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x747 && VI_ATTR_MANF_ID == 0x3c5a}", false},
    {"PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x747 || VI_ATTR_MANF_ID == 15450}", true},
    {"PXI?*INSTR{VI_ATTR_SLOT>3}", true},
    {"PXI?*INSTR {VI_ATTR_SLOT >= 5}", false},
    {"PXI?*INSTR {VI_ATTR_SLOT <= 4 && VI_ATTR_SLOT < 5 && VI_ATTR_SLOT != 3}", true},
    {"PXI?*INSTR {!(VI_ATTR_SLOT == 4)}", false},
    {"PXI?*INSTR {VI_ATTR_MODEL_NAME == \"Digitizer?*\"}", true},
    {"PXI?*INSTR {VI_ATTR_MODEL_NAME != \"?*718\"}", false},
    // An attribute the resource lacks fails every comparison, even !=.
    {"PXI?*INSTR {VI_ATTR_PXI_CHASSIS != 7}", false},
    {"PXI?*INSTR {vi_attr_model_code == 1816}", true},
    {"GPIB?*INSTR {VI_ATTR_MODEL_CODE == 0x718}", false},
};

class ClauseTable : public ::testing::TestWithParam<ClauseCase> {};

TEST_P(ClauseTable, SelectsByAttributes)
{
    const ClauseCase &c = GetParam();
    ResourceExpression e;
    ASSERT_EQ(e.compile(c.expression), VI_SUCCESS) << c.expression;
    bool m = e.matchesName("PXI1::14::INSTR") && e.matchesAttributes(lookup);
    EXPECT_EQ(m, c.matches) << c.expression;
}

INSTANTIATE_TEST_SUITE_P(Cases, ClauseTable, ::testing::ValuesIn(kClauses));

TEST(Clause, MalformedClausesAreRefused)
{
    for (const char *bad : {"PXI?* {VI_ATTR_MODEL_CODE == }", "PXI?* {VI_ATTR_NO_SUCH == 1}", "PXI?* {VI_ATTR_SLOT}",
                            "PXI?* {VI_ATTR_SLOT == 1", "PXI?* {VI_ATTR_SLOT == 1} trailing",
                            "PXI?* {VI_ATTR_SLOT > \"a\"}", "PXI?* {(VI_ATTR_SLOT == 1}", " {VI_ATTR_SLOT == 1}"}) {
        ResourceExpression e;
        EXPECT_EQ(e.compile(bad), VI_ERROR_INV_EXPR) << bad;
    }
}

struct NameCase {
    const char *text;
    ViStatus status;
    int bus, device, function, chassis, slot;
    bool memory;
};

const NameCase kNames[] = {
    {"PXI1::14::INSTR", VI_SUCCESS, 1, 14, 0, -1, -1, false},
    {"pxi1::14", VI_SUCCESS, 1, 14, 0, -1, -1, false},
    {"PXI::14::INSTR", VI_SUCCESS, 0, 14, 0, -1, -1, false},
    {"PXI1::14::2::INSTR", VI_SUCCESS, 1, 14, 2, -1, -1, false},
    {"PXI0::3-18.2::INSTR", VI_SUCCESS, 3, 18, 2, -1, -1, false},
    {"PXI0::3-18", VI_SUCCESS, 3, 18, 0, -1, -1, false},
    {"PXI0::CHASSIS1::SLOT4::INSTR", VI_SUCCESS, -1, -1, 0, 1, 4, false},
    {"PXI0::CHASSIS1::SLOT4::FUNC1", VI_SUCCESS, -1, -1, 1, 1, 4, false},
    {"PXI0::MEMACC", VI_SUCCESS, -1, -1, 0, -1, -1, true},
    {"PXI1::32::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false}, // device numbers end at 31
    {"PXI1::14::8::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"PXI1::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"PXI1::14::INSTR_IP2", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"PXI1::x::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"3", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"PXI1::::INSTR", VI_ERROR_INV_RSRC_NAME, 0, 0, 0, 0, 0, false},
    {"GPIB0::5::INSTR", VI_ERROR_RSRC_NFOUND, 0, 0, 0, 0, 0, false},
    {"TCPIP0::10.0.0.1::inst0::INSTR", VI_ERROR_RSRC_NFOUND, 0, 0, 0, 0, 0, false},
};

class NameTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameTable, ParsesThePxiForms)
{
    const NameCase &c = GetParam();
    ResourceName r;
    ASSERT_EQ(parseResourceName(c.text, r), c.status) << c.text;
    if (c.status != VI_SUCCESS)
        return;
    EXPECT_EQ(r.kind == ResourceName::Kind::MemoryAccess, c.memory);
    if (c.memory)
        return;
    EXPECT_EQ(r.bus, c.bus);
    EXPECT_EQ(r.device, c.device);
    EXPECT_EQ(r.function, c.function);
    EXPECT_EQ(r.chassis, c.chassis);
    EXPECT_EQ(r.slot, c.slot);
}

INSTANTIATE_TEST_SUITE_P(Cases, NameTable, ::testing::ValuesIn(kNames));

struct SerialNameCase {
    const char *text;
    ViStatus status;
    int board;
};

const SerialNameCase kSerialNames[] = {
    {"ASRL1::INSTR", VI_SUCCESS, 1},
    {"asrl12::instr", VI_SUCCESS, 12},
    {"ASRL3", VI_SUCCESS, 3}, // the class may be left out
    {"ASRL::INSTR", VI_SUCCESS, 0},
    {"ASRL1::2::INSTR", VI_ERROR_INV_RSRC_NAME, 0},
    {"ASRL1::INTFC", VI_ERROR_INV_RSRC_NAME, 0},
    {"ASRL1::INSTR_LA0", VI_ERROR_INV_RSRC_NAME, 0},
    {"ASRLx::INSTR", VI_ERROR_INV_RSRC_NAME, 0},
    {"ASRL99999999::INSTR", VI_ERROR_INV_RSRC_NAME, 0},
};

TEST(Names, SerialPorts)
{
    for (const SerialNameCase &c : kSerialNames) {
        ResourceName r;
        ASSERT_EQ(parseResourceName(c.text, r), c.status) << c.text;
        if (c.status != VI_SUCCESS)
            continue;
        EXPECT_EQ(r.kind, ResourceName::Kind::Serial) << c.text;
        EXPECT_EQ(r.interfaceNumber, c.board) << c.text;
    }
}

TEST(Names, DerivedNamesAreToldFromMalformedOnes)
{
    const struct {
        const char *text;
        bool derived;
    } cases[] = {
        {"PXI0::3::INSTR_IP3", true},
        {"PXI1::14_IP0", true},
        {"ASRL1::INSTR_LA0", true},
        {"ASRL1::INSTR_LA0_SLOT3", true},
        {"ASRL1::INSTR", false},          // a name, not a derived one
        {"COM1_LA0", false},              // an alias's: no resource name before the suffix
        {"PXI1::x::INSTR_IP3", false},    // malformed before the suffix
        {"PXI1::14::INSTR_", true},
        {"_LA0", false},
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isDerivedResourceName(c.text), c.derived) << c.text;
}

TEST(Names, CanonicalForms)
{
    EXPECT_EQ(canonicalSerialName(4), "ASRL4::INSTR");
    EXPECT_EQ(canonicalInstrumentName(1, 14, 0), "PXI1::14::INSTR");
    EXPECT_EQ(canonicalInstrumentName(1, 14, 3), "PXI1::14::3::INSTR");
    EXPECT_EQ(canonicalMemoryName(0), "PXI0::MEMACC");
}

} // namespace
