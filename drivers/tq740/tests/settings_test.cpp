// The model 740's stored settings, one row each, on a module on site 1 of a
// simulated carrier: the group fields, the channels' bits and the event
// enables in the module's 16-bit registers, the settings the session alone
// keeps, and the controls that keep no value and always reach the module.
#include <string>

#include "setting_rows.h"
#include "tq/driver/visa_binding.h"

namespace
{

using namespace tq747test;

constexpr ViBusAddress kIo1 = 0x1080; // site 1's I/O window in the carrier's BAR2

class Settings740 : public SettingTest
{
  protected:
    void SetUp() override
    {
        SettingTest::SetUp();
        addCarrier("1,3");
        ASSERT_TRUE(tq::visa::loadVisa());
        const tq::visa::FunctionTable &v = tq::visa::visa();
        ASSERT_EQ(v.viOpenDefaultRM(&rm_), VI_SUCCESS);
        ASSERT_EQ(v.viOpen(rm_, const_cast<ViRsrc>(kCarrier), 0, 0, &carrier_), VI_SUCCESS);
    }
    void TearDown() override
    {
        tq::visa::visa().viClose(rm_);
        SettingTest::TearDown();
    }
    ViSession openSession() override
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq740_init(const_cast<ViRsrc>("PXI1::15::INSTR_IP1"), 0, 0, &vi), VI_SUCCESS);
        return vi;
    }
    void closeSession(ViSession vi) override { EXPECT_EQ(tq740_close(vi), VI_SUCCESS); }
    ViStatus simulate(ViSession vi, ViBoolean on) override { return tq740_setSimulationMode(vi, on); }
    ViBusAddress windowBase() const override { return kIo1; }
    // The module keeps its registers itself: they are reached through the
    // carrier's window as the driver reaches them.
    ViUInt32 board(ViBusAddress offset, ViUInt16) override
    {
        ViUInt16 v = 0;
        EXPECT_EQ(tq::visa::visa().viIn16(carrier_, VI_PXI_BAR2_SPACE, kIo1 + offset, &v), VI_SUCCESS);
        return v;
    }
    void setBoard(ViBusAddress offset, ViUInt16, ViUInt32 value) override
    {
        ASSERT_EQ(tq::visa::visa().viOut16(carrier_, VI_PXI_BAR2_SPACE, kIo1 + offset, static_cast<ViUInt16>(value)),
                  VI_SUCCESS);
    }

    ViSession rm_ = VI_NULL, carrier_ = VI_NULL;
};

constexpr ViInt16 kGroups = 4, kChannels = 32, kEvents = 2;

// name, setter, getter, count, index, register, width, field, background, value, code, read, read code,
// values taken (lo to hi), other value, other code, unreadable field
const FieldRow kFieldRows[] = {
    {"debounce of group 2: 3 bits at 3 of +0x08", tq740_setChannelGroupDebounceTime, tq740_getChannelGroupDebounceTime,
     kGroups, 2, 0x08, 2, 0x38, 0x0FFF, 5, 0x20, 2, 0x08, 1, 5, 0, 0, 0x28},
    {"debounce of group 4: bits 9-11 of +0x08", tq740_setChannelGroupDebounceTime, tq740_getChannelGroupDebounceTime,
     kGroups, 4, 0x08, 2, 0xE00, 0, 1, 0x0, 4, 0x600, 1, 5, 0, 0, 0xE00},
    {"direction of group 3: bit 10 of +0x0A", tq740_setChannelGroupDirection, tq740_getChannelGroupDirection, kGroups,
     3, 0x0A, 2, 0x400, 0xFBFF, 1, 0x400, 0, 0x0, 0, 1, 0, 0, 0},
    {"power-up output of group 1: bit 12 of +0x0A", tq740_setChannelGroupPowerupOutput,
     tq740_getChannelGroupPowerupOutput, kGroups, 1, 0x0A, 2, 0x1000, 0xEFFF, 1, 0x1000, 0, 0x0, 0, 1, 0, 0, 0},
    {"termination of group 4: bits 6-7 of +0x0A", tq740_setChannelGroupInputTermination,
     tq740_getChannelGroupInputTermination, kGroups, 4, 0x0A, 2, 0xC0, 0xFFFF, 2, 0x80, 1, 0x40, 0, 2, 0, 0, 0xC0},
    {"pattern enable of channel 20: bit 3 of +0x14, set for 1 only", tq740_setDigitalChannelPatternEnable,
     tq740_getDigitalChannelPatternEnable, kChannels, 20, 0x14, 2, 0x8, 0xFFF7, 1, 0x8, 0, 0x0, kAnyValue, kAnyValue, 2,
     0x0, 0},
    {"pattern bit of channel 17: bit 0 of +0x10", tq740_setDigitalChannelPatternBit, tq740_getDigitalChannelPatternBit,
     kChannels, 17, 0x10, 2, 0x1, 0xFFFE, 1, 0x1, 0, 0x0, kAnyValue, kAnyValue, 2, 0x0, 0},
    {"change-of-state enable of channel 16: bit 15 of +0x1A", tq740_setDigitalChannelChangeOfStateEnable,
     tq740_getDigitalChannelChangeOfStateEnable, kChannels, 16, 0x1A, 2, 0x8000, 0x7FFF, 1, 0x8000, 0, 0x0, kAnyValue,
     kAnyValue, 2, 0x0, 0},
    {"event enable of event 1: bit 2 of +0x1E, set for any value but 0", tq740_setEventEnable, tq740_getEventEnable,
     kEvents, 1, 0x1E, 2, 0x4, 0x0003, 1, 0x4, 0, 0x0, kAnyValue, kAnyValue, -5, 0x4, 0},
};

TEST_F(Settings740, RegisterSettingsFollowTheCommonRules)
{
    for (const FieldRow &row : kFieldRows)
        check(row);
}

TEST_F(Settings740, SessionSettingsAreKeptAndRefusedAlike)
{
    const KeptRow<ViInt16, ViInt32> enables[] = {
        {"digital channel enable", tq740_setDigitalChannelEnable, tq740_getDigitalChannelEnable, kChannels, 32, 1,
         true},
        {"event channel enable", tq740_setEventChannelEnable, tq740_getEventChannelEnable, kEvents, 1, 1, true},
    };
    const KeptRow<ViInt16, ViInt16> values[] = {
        {"event channel duration", tq740_setEventChannelDuration, tq740_getEventChannelDuration, kEvents, 2, 40, false},
        {"event channel polarity", tq740_setEventChannelPolarity, tq740_getEventChannelPolarity, kEvents, 1, 2, false},
    };
    for (const auto &row : enables)
        check(row);
    for (const auto &row : values)
        check(row);
}

TEST_F(Settings740, NamesFitTheirRecords)
{
    const NameRow rows[] = {
        {"digital channel", tq740_setDigitalChannelName, tq740_getDigitalChannelName, kChannels},
        {"event channel", tq740_setEventChannelName, tq740_getEventChannelName, kEvents},
    };
    for (const NameRow &row : rows)
        check(row);
}

// The strobe controls keep no value: a setter sets its bit for any value but
// 0 and clears it for 0, a getter reads it, simulated or not.
TEST_F(Settings740, ControlsAlwaysReachTheModule)
{
    using Setter = ViStatus (*)(ViSession, ViInt16);
    using Getter = ViStatus (*)(ViSession, ViInt16 *);
    const struct {
        const char *name;
        Setter set;
        Getter get; // null: set only
        ViBusAddress offset;
        ViUInt16 bit;
    } rows[] = {
        {"external input strobe", tq740_setExternalInputStrobeEnable, tq740_getExternalInputStrobeEnable, 0x0C, 3},
        {"external output strobe", tq740_setExternalOutputStrobeEnable, tq740_getExternalOutputStrobeEnable, 0x0C, 5},
        {"IP input strobe", tq740_setIpInputStrobeEnable, tq740_getIpInputStrobeEnable, 0x0C, 4},
        {"IP input latch strobe", tq740_setIpInputLatchStrobeEnable, tq740_getIpInputLatchStrobeEnable, 0x0C, 8},
        {"IP output strobe", tq740_setIpOutputStrobeEnable, tq740_getIpOutputStrobeEnable, 0x0C, 6},
        {"output strobe word select", tq740_setOutputStrobeWordSelect, nullptr, 0x1E, 4},
    };
    ViSession vi = openSession();
    for (ViBoolean simulated : {0, 1}) {
        ASSERT_EQ(simulate(vi, simulated), VI_SUCCESS);
        for (const auto &row : rows) {
            SCOPED_TRACE(row.name);
            const ViUInt32 bit = 1u << row.bit;
            for (ViInt16 value : {ViInt16(1), ViInt16(0), ViInt16(-3), ViInt16(0)}) {
                const ViUInt32 before = board(row.offset, 2);
                ASSERT_EQ(row.set(vi, value), VI_SUCCESS);
                EXPECT_EQ(board(row.offset, 2), value ? before | bit : before & ~bit) << value;
                if (row.get) {
                    ViInt16 got = -1;
                    ASSERT_EQ(row.get(vi, &got), VI_SUCCESS);
                    EXPECT_EQ(got, value ? 1 : 0);
                }
            }
        }
    }
    for (const auto &row : rows) {
        EXPECT_EQ(row.set(kUnknownSession, 1), VI_ERROR_INV_OBJECT) << row.name;
        if (row.get) {
            ViInt16 got = 0;
            EXPECT_EQ(row.get(vi, nullptr), VI_ERROR_INV_PARAMETER) << row.name;
            EXPECT_EQ(row.get(kUnknownSession, &got), VI_ERROR_INV_OBJECT) << row.name;
        }
    }
    closeSession(vi);
}

// The channel words, 32 bits over two 16-bit registers: a write replaces
// exactly the bits of its range and writes both halves back; a read packs
// the range's bits from bit 0. Simulated or not, they reach the module.
TEST_F(Settings740, ChannelWordsReplaceExactlyTheirBits)
{
    const BitsRow rows[] = {
        {"pattern", tq740_writePatternRecognition, tq740_readPatternRecognition, 0x0E},
        {"pattern mask", tq740_writePatternRecognitionMask, tq740_readPatternRecognitionMask, 0x12},
        {"change-of-state mask", tq740_writeChangeOfStateMask, tq740_readChangeOfStateMask, 0x1A},
        {"change-of-state result", nullptr, tq740_readChangeOfStateResult, 0x16},
    };
    ViSession vi = openSession();
    ASSERT_EQ(simulate(vi, 1), VI_SUCCESS);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        setBoard(row.base, 2, 0xF00F);
        setBoard(row.base + 2, 2, 0xFFFF);
        ViUInt8 bits[2] = {0xA5, 0x01};
        if (row.write) {
            // Channels 13 to 21: bits 12-15 of the low half, 0-4 of the high half.
            ASSERT_EQ(row.write(vi, 13, 21, bits), VI_SUCCESS);
            EXPECT_EQ(board(row.base, 2), 0x500Fu) << std::hex;
            EXPECT_EQ(board(row.base + 2, 2), 0xFFFAu) << std::hex;
            EXPECT_EQ(row.write(vi, 13, 21, nullptr), VI_ERROR_INV_PARAMETER);
            EXPECT_EQ(row.write(vi, 21, 13, bits), VI_ERROR_INV_PARAMETER);
            EXPECT_EQ(row.write(kUnknownSession, 13, 21, bits), VI_ERROR_INV_OBJECT);
        } else {
            setBoard(row.base, 2, 0x500F);
            setBoard(row.base + 2, 2, 0xFFFA);
        }
        ViUInt8 back[2] = {};
        ASSERT_EQ(row.read(vi, 13, 21, back), VI_SUCCESS);
        EXPECT_EQ(back[0], 0xA5);
        EXPECT_EQ(back[1] & 1, 1);
        EXPECT_EQ(row.read(vi, 0, 21, back), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.read(vi, 1, 33, back), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.read(vi, 13, 21, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.read(kUnknownSession, 13, 21, back), VI_ERROR_INV_OBJECT);
    }
    closeSession(vi);
}

} // namespace
