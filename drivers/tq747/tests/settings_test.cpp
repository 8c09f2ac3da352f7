// The model 747's stored settings, one row each: the group fields, the
// channels' bits in the 256-bit blocks and the event enables on the card,
// and the settings the session alone keeps.
#include <string>

#include "setting_rows.h"

namespace
{

using namespace tq747test;

class Settings747 : public SettingTest
{
  protected:
    void SetUp() override
    {
        SettingTest::SetUp();
        addCarrier("1,3");
    }
    ViSession openSession() override
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq747_init(const_cast<ViRsrc>(kCarrier), 0, 0, &vi), VI_SUCCESS);
        return vi;
    }
    void closeSession(ViSession vi) override { EXPECT_EQ(tq747_close(vi), VI_SUCCESS); }
    ViStatus simulate(ViSession vi, ViBoolean on) override { return tq747_setSimulationMode(vi, on); }
    ViBusAddress windowBase() const override { return 0; }
    ViUInt32 board(ViBusAddress offset, ViUInt16 width) override { return reg(offset, width); }
    void setBoard(ViBusAddress offset, ViUInt16 width, ViUInt32 value) override { setReg(offset, value, width); }
};

constexpr ViInt16 kGroups = 16, kEvents = 2;
constexpr ViInt16 kAllChannels = 128 + 2 * 32; // the carrier's and those of the modules on sites 1 and 3

// name, setter, getter, count, index, register, width, field, background, value, code, read, read code,
// values taken (lo to hi), other value, other code, unreadable field
const FieldRow kFieldRows[] = {
    {"debounce of group 2: 4 bits at 4 of 0x10", tq747_setChannelGroupDebounceTime, tq747_getChannelGroupDebounceTime,
     kGroups, 2, 0x10, 4, 0xF0, 0xFFFFFFFF, 5, 0x40, 2, 0x10, 1, 5, 0, 0, 0x50},
    {"debounce of group 9: bits 0-3 of 0x14", tq747_setChannelGroupDebounceTime, tq747_getChannelGroupDebounceTime,
     kGroups, 9, 0x14, 4, 0xF, 0xFFFFFFFF, 3, 0x2, 1, 0x0, 1, 5, 0, 0, 0xF},
    {"debounce of group 8: bits 28-31 of 0x10", tq747_setChannelGroupDebounceTime, tq747_getChannelGroupDebounceTime,
     kGroups, 8, 0x10, 4, 0xF0000000, 0, 4, 0x30000000, 5, 0x40000000, 1, 5, 0, 0, 0x80000000},
    {"direction of group 4: bit 3 of 0x18", tq747_setChannelGroupDirection, tq747_getChannelGroupDirection, kGroups, 4,
     0x18, 4, 0x8, 0xFFFFFFF7, 1, 0x8, 0, 0x0, 0, 1, 0, 0, 0},
    {"power-up output of group 2: bit 1 of the 16-bit 0x1A", tq747_setChannelGroupPowerupOutput,
     tq747_getChannelGroupPowerupOutput, kGroups, 2, 0x1A, 2, 0x2, 0xFFFD, 1, 0x2, 0, 0x0, 0, 1, 0, 0, 0},
    {"termination of group 3: bits 4-5 of 0x1C", tq747_setChannelGroupInputTermination,
     tq747_getChannelGroupInputTermination, kGroups, 3, 0x1C, 4, 0x30, 0xFFFFFFFF, 2, 0x20, 1, 0x10, 0, 2, 0, 0, 0x30},
    {"strobe delay of group 1: bit 5 of 0x24, set for 1", tq747_setChannelGroupStrobeDelay,
     tq747_getChannelGroupStrobeDelay, kGroups, 1, 0x24, 4, 0x20, 0xFFFFFFFF, 2, 0x0, 1, 0x20, 1, 2, 0, 0, 0},
    {"strobe enable of group 16: bit 6 of byte 3 of 0x30", tq747_setChannelGroupStrobeEnable,
     tq747_getChannelGroupStrobeEnable, kGroups, 16, 0x30, 4, 0x40000000, 0xBFFFFFFF, 1, 0x40000000, 0, 0x0, 0, 1, 0, 0,
     0},
    {"strobe polarity of group 5: bit 4 of 0x28", tq747_setChannelGroupStrobePolarity,
     tq747_getChannelGroupStrobePolarity, kGroups, 5, 0x28, 4, 0x10, 0, 1, 0x10, 0, 0x0, 0, 1, 0, 0, 0},
    {"strobe channel of group 6: bits 0-3 of byte 1 of 0x28, value - 1", tq747_setChannelGroupStrobeChannel,
     tq747_getChannelGroupStrobeChannel, kGroups, 6, 0x28, 4, 0xF00, 0xFFFFFFFF, 12, 0xB00, 16, 0xF00, 1, 16, 0, 0, 0},
    {"event enable of event 2: bit 1 of 0xD0, set for any value but 0", tq747_setEventEnable, tq747_getEventEnable,
     kEvents, 2, 0xD0, 4, 0x2, 0x1, 1, 0x2, 0, 0x0, kAnyValue, kAnyValue, 2, 0x2, 0},
    {"pattern bit of channel 40: bit 7 of 0x54, set for 1 only", tq747_setDigitalChannelPatternBit,
     tq747_getDigitalChannelPatternBit, kAllChannels, 40, 0x54, 4, 0x80, 0xFFFFFF7F, 1, 0x80, 0, 0x0, kAnyValue,
     kAnyValue, 2, 0x0, 0},
    {"pattern enable of channel 1: bit 0 of 0x70", tq747_setDigitalChannelPatternEnable,
     tq747_getDigitalChannelPatternEnable, kAllChannels, 1, 0x70, 4, 0x1, 0xFFFFFFFE, 1, 0x1, 0, 0x0, kAnyValue,
     kAnyValue, 2, 0x0, 0},
    {"change-of-state enable of channel 100: bit 3 of 0xBC", tq747_setDigitalChannelChangeOfStateEnable,
     tq747_getDigitalChannelChangeOfStateEnable, kAllChannels, 100, 0xBC, 4, 0x8, 0xFFFFFFF7, 1, 0x8, 0, 0x0, kAnyValue,
     kAnyValue, 2, 0x0, 0},
};

TEST_F(Settings747, RegisterSettingsFollowTheCommonRules)
{
    for (const FieldRow &row : kFieldRows)
        check(row);
}

TEST_F(Settings747, SessionSettingsAreKeptAndRefusedAlike)
{
    const KeptRow<ViInt16, ViInt32> enables[] = {
        {"digital channel enable", tq747_setDigitalChannelEnable, tq747_getDigitalChannelEnable, 128, 77, 1, true},
        {"event channel enable", tq747_setEventChannelEnable, tq747_getEventChannelEnable, kEvents, 2, 1, true},
    };
    const KeptRow<ViInt16, ViInt16> values[] = {
        {"event channel duration", tq747_setEventChannelDuration, tq747_getEventChannelDuration, kEvents, 1, 250,
         false},
        {"event channel polarity", tq747_setEventChannelPolarity, tq747_getEventChannelPolarity, kEvents, 2, 2, false},
        {"demo duty cycle", tq747_setDemoDigitalChannelDutyCycle, tq747_getDemoDigitalChannelDutyCycle, 128, 128, 75,
         false},
        {"demo offset", tq747_setDemoDigitalChannelOffset, tq747_getDemoDigitalChannelOffset, 128, 1, -3, false},
    };
    const KeptRow<ViReal64, ViReal64> frequencies[] = {
        {"demo frequency", tq747_setDemoDigitalChannelFrequency, tq747_getDemoDigitalChannelFrequency, 128, 64, 12.5,
         false},
    };
    for (const auto &row : enables)
        check(row);
    for (const auto &row : values)
        check(row);
    for (const auto &row : frequencies)
        check(row);
}

TEST_F(Settings747, NamesFitTheirRecords)
{
    const NameRow rows[] = {
        {"digital channel", tq747_setDigitalChannelName, tq747_getDigitalChannelName, 128},
        {"event channel", tq747_setEventChannelName, tq747_getEventChannelName, kEvents},
    };
    for (const NameRow &row : rows)
        check(row);
}

} // namespace
