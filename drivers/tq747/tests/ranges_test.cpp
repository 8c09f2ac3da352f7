// The model 747's range operations over the carrier and the modules on
// sites 1 and 3: what reaches the card's registers and the modules, what
// is read back, and the arguments every one of them refuses.
#include <cstring>
#include <functional>

#include "setting_rows.h"

namespace
{

using namespace tq747test;

class Ranges747 : public CarrierTest
{
  protected:
    void SetUp() override
    {
        CarrierTest::SetUp();
        addCarrier("1,3");
        vi_ = open();
        ASSERT_NE(vi_, VI_NULL);
        ASSERT_EQ(tq747_createIPSession(vi_, 1, &site1_), VI_SUCCESS);
    }
    void TearDown() override
    {
        tq740_close(site1_);
        CarrierTest::TearDown();
    }
    ViSession vi_ = VI_NULL, site1_ = VI_NULL;
};

// Channels 121-136: the carrier's last group and the first group of site 1.
constexpr ViInt16 kFirst = 121, kLast = 136;

// The 256-bit blocks: one bit per channel of the carrier and of the sites
// (site 1 from bit 128), nothing through the modules.
TEST_F(Ranges747, BlocksHoldOneBitPerChannelOfCarrierAndSites)
{
    const BitsRow rows[] = {
        {"pattern", tq747_writePatternRecognition, tq747_readPatternRecognition, 0x50},
        {"pattern mask", tq747_writePatternRecognitionMask, tq747_readPatternRecognitionMask, 0x70},
        {"change-of-state mask", tq747_writeChangeOfStateMask, tq747_readChangeOfStateMask, 0xB0},
        {"change-of-state result", nullptr, tq747_readChangeOfStateResult, 0x90},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        setReg(row.base + 0x0C, 0x00FFFFFF);
        setReg(row.base + 0x10, 0xFFFFFF00);
        ViUInt8 bits[2] = {0xA5, 0x3C};
        if (row.write) {
            ASSERT_EQ(row.write(vi_, kFirst, kLast, bits), VI_SUCCESS);
        } else {
            setReg(row.base + 0x0C, 0xA5FFFFFF);
            setReg(row.base + 0x10, 0xFFFFFF3C);
        }
        EXPECT_EQ(reg(row.base + 0x0C), 0xA5FFFFFFu) << "channels 121-128, the rest kept";
        EXPECT_EQ(reg(row.base + 0x10), 0xFFFFFF3Cu) << "site 1's channels 1-8, the rest kept";
        ViUInt8 back[2] = {};
        ASSERT_EQ(row.read(vi_, kFirst, kLast, back), VI_SUCCESS);
        EXPECT_EQ(back[0], 0xA5);
        EXPECT_EQ(back[1], 0x3C);
        ASSERT_EQ(row.read(vi_, 128, 129, back), VI_SUCCESS);
        EXPECT_EQ(back[0] & 0x3, 0x1) << "packed from bit 0 whatever the first channel";
        EXPECT_EQ(row.read(vi_, kFirst, kLast, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.read(vi_, 0, 8, back), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.read(vi_, 185, 193, back), VI_ERROR_INV_PARAMETER) << "past the last site channel";
        EXPECT_EQ(row.read(kUnknownSession, 1, 8, back), VI_ERROR_INV_OBJECT);
        if (row.write) {
            EXPECT_EQ(row.write(vi_, kFirst, kLast, nullptr), VI_ERROR_INV_PARAMETER);
            EXPECT_EQ(row.write(kUnknownSession, 1, 8, bits), VI_ERROR_INV_OBJECT);
        }
    }
}

// Group settings of a range: the carrier's fields of whole groups, then the
// sites' part through the modules; read back one value per channel.
TEST_F(Ranges747, GroupFieldsReachCarrierAndSites)
{
    // Power-up output: bit 15 of 0x1A for group 16.
    ASSERT_EQ(tq747_setPowerupOutput(vi_, kFirst, kLast, 1), VI_SUCCESS);
    EXPECT_EQ(reg(0x1A, 2) & 0x8000, 0x8000u);
    ViUInt8 bits[2] = {};
    ASSERT_EQ(tq747_getPowerupOutput(vi_, kFirst, kLast, bits), VI_SUCCESS);
    EXPECT_EQ(bits[0], 0xFF);
    EXPECT_EQ(bits[1], 0xFF) << "site 1's first group through the module";
    ViUInt8 module[1] = {};
    ASSERT_EQ(tq740_getPowerupOutput(site1_, 1, 8, module), VI_SUCCESS);
    EXPECT_EQ(module[0], 0xFF);
    ASSERT_EQ(tq740_getPowerupOutput(site1_, 9, 16, module), VI_SUCCESS);
    EXPECT_EQ(module[0], 0x00) << "the module's next group untouched";

    // Termination: bits 30-31 of 0x1C for group 16.
    ASSERT_EQ(tq747_setResistorConfig(vi_, kFirst, kLast, 2), VI_SUCCESS);
    EXPECT_EQ(reg(0x1C) >> 30, 2u);
    ViInt16 values[16] = {};
    ASSERT_EQ(tq747_getResistorConfig(vi_, kFirst, kLast, values), VI_SUCCESS);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(values[i], 2) << "channel " << kFirst + i;
    // Across both sites, each site's values after the last one's.
    ASSERT_EQ(tq747_setResistorConfig(vi_, 161, 192, 1), VI_SUCCESS);
    ViInt16 all[72] = {};
    ASSERT_EQ(tq747_getResistorConfig(vi_, kFirst, 192, all), VI_SUCCESS);
    for (int i = 0; i < 72; ++i)
        EXPECT_EQ(all[i], i < 16 ? 2 : i < 40 ? 0 : 1) << "channel " << kFirst + i;
    configure("site1.in=0x000000F0; site3.in=0x0F000000");
    ViUInt8 in[8] = {};
    ASSERT_EQ(tq747_readIoData(vi_, 129, 192, in), VI_SUCCESS);
    EXPECT_EQ(in[0], 0xF0);
    EXPECT_EQ(in[7], 0x0F) << "site 3's bits after site 1's";
    EXPECT_EQ(tq747_setResistorConfig(vi_, kFirst, kLast, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq747_setResistorConfig(kUnknownSession, kFirst, kLast, 3), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tq747_setResistorConfig(vi_, 122, kLast, 1), TQ747_ERROR_ALIGNMENT);

    // Strobe polarity: bit 4 of each whole carrier group's strobe byte; a
    // site must be covered whole and answers with its first polarity.
    ASSERT_EQ(tq747_setStrobePolarity(vi_, 9, 16, 1), VI_SUCCESS);
    EXPECT_EQ(reg(0x24) & 0x1010, 0x1000u) << "group 2 only";
    ASSERT_EQ(tq747_setStrobePolarity(vi_, 129, 160, 1), VI_SUCCESS);
    ViInt16 first = -1, second = -1;
    ASSERT_EQ(tq740_getStrobePolarity(site1_, &first, &second), VI_SUCCESS);
    ViInt16 polarities[152] = {};
    ASSERT_EQ(tq747_getStrobePolarity(vi_, 9, 160, polarities), VI_SUCCESS);
    EXPECT_EQ(polarities[0], 1);
    EXPECT_EQ(polarities[7], 1);
    EXPECT_EQ(polarities[8], 0) << "group 3";
    for (int i = 120; i < 152; ++i)
        ASSERT_EQ(polarities[i], first) << "site 1's channel " << i - 119;
    EXPECT_EQ(tq747_setStrobePolarity(vi_, 129, 150, 1), TQ747_ERROR_ALIGNMENT);
    EXPECT_EQ(tq747_getStrobePolarity(vi_, 9, 16, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq747_getStrobePolarity(vi_, 16, 9, polarities), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq747_getStrobePolarity(kUnknownSession, 9, 16, polarities), VI_ERROR_INV_OBJECT);
}

// A range whose part on a site fails ends there with the module's status,
// and what was done before stays done.
TEST_F(Ranges747, AFailingSitePartEndsTheOperation)
{
    // Every access to site 3's I/O window fails from now on.
    for (ViBusAddress offset = 0x1280; offset < 0x1300; offset += 2)
        ASSERT_EQ(sim().simvisa_failOffset(kCarrier, kBar2, offset, SIMVISA_ANY, VI_ERROR_CONN_LOST), VI_SUCCESS);
    ViInt16 values[72] = {};
    EXPECT_EQ(tq747_setResistorConfig(vi_, 121, 192, 1), VI_ERROR_CONN_LOST);
    EXPECT_EQ(reg(0x1C) >> 30, 1u) << "the carrier's part done";
    ASSERT_EQ(sim().simvisa_clearFaults(kCarrier), VI_SUCCESS);
    ASSERT_EQ(tq747_getResistorConfig(vi_, 121, 160, values), VI_SUCCESS);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(values[i], 1) << "channel " << 121 + i << ": carrier and site 1 done before site 3";
    for (ViBusAddress offset = 0x1280; offset < 0x1300; offset += 2)
        ASSERT_EQ(sim().simvisa_failOffset(kCarrier, kBar2, offset, SIMVISA_ANY, VI_ERROR_CONN_LOST), VI_SUCCESS);
    EXPECT_EQ(tq747_getResistorConfig(vi_, 121, 192, values), VI_ERROR_CONN_LOST);
    ViUInt32 us[72] = {};
    EXPECT_EQ(tq747_getDebounceTime(vi_, 121, 192, us), VI_ERROR_CONN_LOST);
    ViUInt8 bits[9] = {};
    EXPECT_EQ(tq747_readIoData(vi_, 121, 192, bits), VI_ERROR_CONN_LOST);
    EXPECT_EQ(tq747_writeIoData(vi_, 121, 192, bits), VI_ERROR_CONN_LOST);
    ViInt16 polarities[72] = {};
    EXPECT_EQ(tq747_getStrobePolarity(vi_, 161, 192, polarities), VI_ERROR_CONN_LOST);
    ASSERT_EQ(sim().simvisa_clearFaults(kCarrier), VI_SUCCESS);
}

// Every range operation with an output looks the session up, then checks
// the range, then the output.
TEST_F(Ranges747, OutputsAreCheckedAfterTheRange)
{
    ViUInt8 bits[4] = {};
    ViInt16 values[32] = {};
    ViUInt32 numbers[32] = {};
    const std::function<ViStatus(ViSession, ViInt16, ViInt16, bool)> reads[] = {
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) {
            return tq747_getIoDirection(vi, f, l, out ? bits : nullptr);
        },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) {
            return tq747_getPowerupOutput(vi, f, l, out ? bits : nullptr);
        },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) { return tq747_readIoData(vi, f, l, out ? bits : nullptr); },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) { return tq747_writeIoData(vi, f, l, out ? bits : nullptr); },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) {
            return tq747_getDebounceTime(vi, f, l, out ? numbers : nullptr);
        },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) {
            return tq747_getResistorConfig(vi, f, l, out ? values : nullptr);
        },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) {
            return tq747_getOutputStrobeDelay(vi, f, l, out ? numbers : nullptr);
        },
        [&](ViSession vi, ViInt16 f, ViInt16 l, bool out) {
            return tq747_getStrobeEnable(vi, f, l, out ? values : nullptr);
        },
    };
    for (size_t i = 0; i < std::size(reads); ++i) {
        EXPECT_EQ(reads[i](vi_, 1, 8, true), VI_SUCCESS) << i;
        EXPECT_EQ(reads[i](vi_, 1, 8, false), VI_ERROR_INV_PARAMETER) << i;
        EXPECT_EQ(reads[i](vi_, 0, 8, false), VI_ERROR_INV_PARAMETER) << i;
        EXPECT_EQ(reads[i](vi_, 9, 8, true), VI_ERROR_INV_PARAMETER) << i;
        EXPECT_EQ(reads[i](kUnknownSession, 1, 8, false), VI_ERROR_INV_OBJECT) << i;
    }
}

} // namespace
