// The stored-settings rule without a board: where a field of a row sits,
// how a setting kept in the session stores and refuses values, what a
// simulated session answers, and the names kept in records.
#include <gtest/gtest.h>

#include <string>

#include "tq/driver/settings.h"

namespace
{

using namespace tq::driver;

TEST(FieldRows, FieldsRunOnThroughTheFollowingRegisters)
{
    const struct {
        const char *what;
        FieldRow row;
        int index;
        ViBusAddress offset;
        uint32_t mask;
        unsigned shift;
    } cases[] = {
        {"3-bit fields of a 16-bit register, group 4", {0x08, 2, 3, 0}, 3, 0x08, 0x7, 9},
        {"nibbles of 32-bit registers, group 9 opens the second", {0x10, 4, 4, 0}, 8, 0x14, 0xF, 0},
        {"nibbles of 32-bit registers, group 8 ends the first", {0x10, 4, 4, 0}, 7, 0x10, 0xF, 28},
        {"1-bit fields from bit 8, group 3", {0x0A, 2, 1, 8}, 2, 0x0A, 0x1, 10},
        {"channel 17 of a pair of 16-bit registers", {0x12, 2, 1, 0}, 16, 0x14, 0x1, 0},
        {"channel 40 of a 256-bit block", {0x50, 4, 1, 0}, 39, 0x54, 0x1, 7},
        {"bit 5 of the strobe byte of group 16", {0x24, 4, 1, 5, 8}, 15, 0x30, 0x1, 29},
        {"low nibble of the strobe byte of group 6", {0x24, 4, 4, 0, 8}, 5, 0x28, 0xF, 8},
    };
    for (const auto &c : cases) {
        const FieldPlace p = placeOf(c.row, c.index);
        EXPECT_EQ(p.offset, c.offset) << c.what;
        EXPECT_EQ(p.mask, c.mask) << c.what;
        EXPECT_EQ(p.shift, c.shift) << c.what;
    }
}

struct Record {
    int16_t value = 0;
};

struct TestSession : Session {
    Record records[3];
};

SettingTarget targetOf(TestSession *s, int index)
{
    return recordSetting(s, {}, index, &TestSession::records, &Record::value);
}

TEST(KeptSettings, RangesAndIndexesAreCheckedBeforeAnythingIsStored)
{
    TestSession s;
    const Setting range{{}, Coding::Range, 1, 5};
    const struct {
        int index;
        ViInt16 value;
        ViStatus status;
        ViInt16 stored; // record 2 afterwards
    } steps[] = {
        {2, 4, VI_SUCCESS, 4},
        {2, 5, VI_SUCCESS, 5},
        {2, 6, VI_ERROR_INV_PARAMETER, 5},
        {2, 0, VI_ERROR_INV_PARAMETER, 5},
        {0, 3, VI_ERROR_INV_PARAMETER, 5},
        {4, 3, VI_ERROR_INV_PARAMETER, 5},
        {2, 1, VI_SUCCESS, 1},
    };
    for (const auto &step : steps) {
        EXPECT_EQ(setSetting(targetOf(&s, step.index), range, step.value), step.status)
            << step.index << "," << step.value;
        ViInt16 got = -1;
        ASSERT_EQ(getSetting(targetOf(&s, 2), range, &got), VI_SUCCESS);
        EXPECT_EQ(got, step.stored);
    }
    ViInt32 wide = -1;
    EXPECT_EQ(getSetting(targetOf(&s, 2), range, &wide), VI_SUCCESS);
    EXPECT_EQ(wide, 1);
    EXPECT_EQ(getSetting(targetOf(&s, 2), range, static_cast<ViInt16 *>(nullptr)), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(getSetting(targetOf(&s, 0), range, &wide), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(setSetting(targetOf(nullptr, 2), range, 3), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(getSetting(targetOf(nullptr, 2), range, &wide), VI_ERROR_INV_OBJECT);
}

TEST(KeptSettings, AChangeIsReportedOnlyWhenTheValueChanges)
{
    TestSession s;
    bool changed = true;
    EXPECT_EQ(changeSetting(targetOf(&s, 1), kEnableFlag, 0, changed), VI_SUCCESS);
    EXPECT_FALSE(changed) << "the stored value again";
    EXPECT_EQ(changeSetting(targetOf(&s, 1), kEnableFlag, 1, changed), VI_SUCCESS);
    EXPECT_TRUE(changed);
    EXPECT_EQ(s.records[0].value, 1);
    EXPECT_EQ(changeSetting(targetOf(&s, 1), kEnableFlag, 2, changed), VI_ERROR_INV_PARAMETER);
    EXPECT_FALSE(changed);
    EXPECT_EQ(s.records[0].value, 1);
}

// A simulated session never reaches its registers: the setting is stored
// and answered as stored, whatever its field (the window names no session).
TEST(KeptSettings, ASimulatedSessionStoresRegisterSettings)
{
    TestSession s;
    s.simulation = 1;
    const Setting field{{0x10, 4, 4, 0}, Coding::Range, 1, 5};
    ASSERT_EQ(setSetting(targetOf(&s, 3), field, 5), VI_SUCCESS);
    ViInt16 got = 0;
    ASSERT_EQ(getSetting(targetOf(&s, 3), field, &got), VI_SUCCESS);
    EXPECT_EQ(got, 5);
    // Where the session keeps no value, a simulated getter answers 0.
    const SettingTarget unkept{&s, {}, 0, nullptr};
    ASSERT_EQ(setSetting(unkept, field, 4), VI_SUCCESS);
    got = -1;
    ASSERT_EQ(getSetting(unkept, field, &got), VI_SUCCESS);
    EXPECT_EQ(got, 0);
}

TEST(KeptNames, ANameMustFitItsFieldWithTheTerminator)
{
    TestSession s;
    char field[8] = "old";
    const struct {
        const char *name;
        ViStatus status;
        const char *stored;
    } cases[] = {
        {"seven77", VI_SUCCESS, "seven77"},
        {"eight888", VI_ERROR_INV_PARAMETER, "seven77"},
        {nullptr, VI_ERROR_INV_PARAMETER, "seven77"},
        {"", VI_SUCCESS, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(setName(&s, field, sizeof field, c.name), c.status) << (c.name ? c.name : "null");
        char out[8] = "x";
        ASSERT_EQ(getName(&s, field, sizeof out, out), VI_SUCCESS);
        EXPECT_STREQ(out, c.stored);
    }
    char out[8];
    EXPECT_EQ(setName(&s, nullptr, sizeof field, "a"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(getName(&s, nullptr, sizeof out, out), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(getName(&s, field, sizeof out, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(setName(nullptr, field, sizeof field, "a"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(getName(nullptr, field, sizeof out, out), VI_ERROR_INV_OBJECT);
}

} // namespace
