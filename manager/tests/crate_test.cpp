// The serial crate's exchanges against a crate made of a table of request
// lines and their replies: the lines that go on the wire, how a unit's type
// is decided, and that a reply out of form is never taken for a value.
#include "crate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

using namespace tq::manager;

namespace
{

// Replies by request line; a request without one is met with silence (a
// time-out), and the reply "!io" with an I/O failure.
struct FakeCrate {
    std::map<std::string, std::string> replies;
    std::vector<std::string> requests;
    std::vector<std::string> readFormats;
};
FakeCrate *g_crate = nullptr;

// viVQueryf's shape: the write's arguments come first in the list (each of
// these write formats takes unsigned ints only), then the read's pointers.
ViStatus fakeQuery(ViSession, ViConstString writeFormat, ViConstString readFormat, va_list args)
{
    char line[128];
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(line, sizeof line, writeFormat, copy);
    va_end(copy);
    for (const char *p = writeFormat; *p; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        (void)va_arg(args, unsigned);
    }
    ViUInt32 *count = va_arg(args, ViUInt32 *);
    char *buffer = va_arg(args, char *);
    g_crate->requests.emplace_back(line);
    g_crate->readFormats.emplace_back(readFormat);
    const auto it = g_crate->replies.find(line);
    if (it == g_crate->replies.end())
        return VI_ERROR_TMO;
    if (it->second == "!io")
        return VI_ERROR_IO;
    const size_t n = std::min<size_t>(it->second.size(), *count);
    std::memcpy(buffer, it->second.data(), n);
    *count = static_cast<ViUInt32>(n);
    return VI_SUCCESS;
}

struct ProbeCase {
    const char *what;
    ViUInt16 address, slot;
    std::map<std::string, std::string> replies;
    ViStatus expected;
    ViUInt16 type;                     // the unit type reported (0: none)
    std::vector<std::string> requests; // every line written, in order
};

void PrintTo(const ProbeCase &c, std::ostream *os)
{
    *os << c.what;
}

class ProbeCrateUnit : public ::testing::TestWithParam<ProbeCase>
{
};

TEST_P(ProbeCrateUnit, WireAndDecision)
{
    const ProbeCase &c = GetParam();
    FakeCrate crate{c.replies, {}, {}};
    g_crate = &crate;
    ViUInt16 type = 0xdead;
    EXPECT_EQ(probeCrateUnit(1, c.address, c.slot, &type, fakeQuery), c.expected) << c.what;
    EXPECT_EQ(type, c.type) << c.what;
    EXPECT_EQ(crate.requests, c.requests) << c.what;
    for (const std::string &f : crate.readFormats)
        EXPECT_EQ(f, "%#t") << c.what << ": the whole reply line is read and checked here";
    g_crate = nullptr;
}

const std::string R60 = "$R1f0360\r\n", R01 = "$R1f0301\r\n", W08 = "$W1f03080a\r\n", R08 = "$R1f0308\r\n";

INSTANTIATE_TEST_SUITE_P(
    Units, ProbeCrateUnit,
    ::testing::Values(
        ProbeCase{"a typed unit answers at once", 0x1f, 3, {{R60, "$D41\r\n"}}, VI_SUCCESS, 0x41, {R60}},
        ProbeCase{"each known type", 0x1f, 3, {{R60, "$D50\r\n"}}, VI_SUCCESS, 0x50, {R60}},
        ProbeCase{"upper-case digits",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}, {W08, "$OK\r\n"}, {R08, "$DA\r\n"}},
                  VI_SUCCESS,
                  0x21,
                  {R60, R01, W08, R08}},
        ProbeCase{"register 08 keeps 0x0a",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}, {W08, "$OK\r\n"}, {R08, "$Da\r\n"}},
                  VI_SUCCESS,
                  0x21,
                  {R60, R01, W08, R08}},
        ProbeCase{"register 08 reads back 0",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}, {W08, "$OK\r\n"}, {R08, "$D0\r\n"}},
                  VI_SUCCESS,
                  0x20,
                  {R60, R01, W08, R08}},
        ProbeCase{"register 01 not 0x60 skips the slot",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D61\r\n"}},
                  VI_ERROR_RSRC_NFOUND,
                  0,
                  {R60, R01}},
        ProbeCase{"register 01 silent", 0x1f, 3, {{R60, "$D7\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60, R01}},
        ProbeCase{"an empty slot is silent", 0x1f, 3, {}, VI_ERROR_TMO, 0, {R60}},
        ProbeCase{"a failing line", 0x1f, 3, {{R60, "!io"}}, VI_ERROR_IO, 0, {R60}},
        ProbeCase{"a write that is not answered",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}},
                  VI_ERROR_TMO,
                  0,
                  {R60, R01, W08}},
        ProbeCase{"a write answered with something else",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}, {W08, "$NO\r\n"}},
                  VI_ERROR_RSRC_NFOUND,
                  0,
                  {R60, R01, W08}},
        ProbeCase{"register 08 not read back",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}, {W08, "$OK\r\n"}},
                  VI_ERROR_TMO,
                  0,
                  {R60, R01, W08, R08}},
        ProbeCase{"register 08 out of form",
                  0x1f,
                  3,
                  {{R60, "$D0\r\n"}, {R01, "$D60\r\n"}, {W08, "$OK\r\n"}, {R08, "$Dx\r\n"}},
                  VI_ERROR_RSRC_NFOUND,
                  0,
                  {R60, R01, W08, R08}},
        // Replies out of form are no answer: nothing further is asked and
        // no type comes back.
        ProbeCase{"non-hex digits", 0x1f, 3, {{R60, "$Dzz\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"garbage", 0x1f, 3, {{R60, "garbage\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"no digits", 0x1f, 3, {{R60, "$D\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"a value with more after it", 0x1f, 3, {{R60, "$D41x\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"a line cut short", 0x1f, 3, {{R60, "$D41"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"more than 16 bits", 0x1f, 3, {{R60, "$D10041\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"another reply's tag", 0x1f, 3, {{R60, "$V41\r\n"}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"an empty line", 0x1f, 3, {{R60, ""}}, VI_ERROR_RSRC_NFOUND, 0, {R60}},
        ProbeCase{"a bare line feed ends a reply too", 0x1f, 3, {{R60, "$D43\n"}}, VI_SUCCESS, 0x43, {R60}},
        ProbeCase{"leading zeros", 0x1f, 3, {{R60, "$D0030\r\n"}}, VI_SUCCESS, 0x30, {R60}},
        ProbeCase{"two digits of address and slot",
                  0,
                  16,
                  {{"$R001060\r\n", "$D20\r\n"}},
                  VI_SUCCESS,
                  0x20,
                  {"$R001060\r\n"}},
        ProbeCase{"address 255", 255, 1, {{"$Rff0160\r\n", "$D21\r\n"}}, VI_SUCCESS, 0x21, {"$Rff0160\r\n"}}));

struct PresenceCase {
    const char *what;
    ViUInt16 address;
    std::map<std::string, std::string> replies;
    ViStatus expected;
};

void PrintTo(const PresenceCase &c, std::ostream *os)
{
    *os << c.what;
}

class CratePresence : public ::testing::TestWithParam<PresenceCase>
{
};

TEST_P(CratePresence, OnlyAPresenceReplyCounts)
{
    const PresenceCase &c = GetParam();
    FakeCrate crate{c.replies, {}, {}};
    g_crate = &crate;
    EXPECT_EQ(askCratePresence(1, c.address, fakeQuery), c.expected) << c.what;
    ASSERT_EQ(crate.requests.size(), 1u) << c.what;
    char expected[16];
    std::snprintf(expected, sizeof expected, "$V%02x\r\n", c.address);
    EXPECT_EQ(crate.requests[0], expected) << c.what;
    g_crate = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CratePresence,
    ::testing::Values(PresenceCase{"present", 0, {{"$V00\r\n", "$V0\r\n"}}, VI_SUCCESS},
                      PresenceCase{"present at 0x1f", 0x1f, {{"$V1f\r\n", "$V1f\r\n"}}, VI_SUCCESS},
                      PresenceCase{"silent", 0, {}, VI_ERROR_RSRC_NFOUND},
                      PresenceCase{"out of form", 2, {{"$V02\r\n", "$D2\r\n"}}, VI_ERROR_RSRC_NFOUND},
                      PresenceCase{"a failing line", 3, {{"$V03\r\n", "!io"}}, VI_ERROR_IO}));

} // namespace
