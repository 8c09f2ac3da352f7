// The simulated model 718 board on its own: the registers the driver relies
// on, the inventory keys, and the analog front end the data path samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "boards/board718.h"

namespace
{

using tq::sim::Board;
using tq::sim::Board718;

constexpr uint16_t kBar0 = VI_PXI_BAR0_SPACE;
constexpr uint16_t kBar2 = VI_PXI_BAR2_SPACE;
constexpr double kGain[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000};

class Host : public tq::sim::BoardHost
{
  public:
    void raiseInterrupt(uint32_t data) override { interrupts.push_back(data); }
    bool dmaRead(uint64_t, void *, size_t) override { return false; }
    bool dmaWrite(uint64_t, const void *, size_t) override { return false; }
    bool dmaRead32(uint64_t, uint32_t &) override { return false; }
    std::vector<uint32_t> interrupts;
};

class Board718Unit : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::unique_ptr<Board> made = tq::sim::makeBoard("tq718");
        ASSERT_NE(made, nullptr);
        board.reset(dynamic_cast<Board718 *>(made.release()));
        ASSERT_NE(board, nullptr);
    }
    void TearDown() override
    {
        if (attached)
            board->detach();
    }
    void attach()
    {
        board->attach(host);
        attached = true;
    }
    uint32_t read(uint64_t offset, unsigned width = 4, uint16_t space = kBar2)
    {
        uint32_t v = 0;
        EXPECT_EQ(board->read(space, offset, width, v), VI_SUCCESS);
        return v;
    }
    void write(uint64_t offset, uint32_t value, unsigned width = 4, uint16_t space = kBar2)
    {
        EXPECT_EQ(board->write(space, offset, width, value), VI_SUCCESS);
    }
    double readDouble(uint64_t offset)
    {
        const uint64_t bits = read(offset) | static_cast<uint64_t>(read(offset + 4)) << 32;
        double v;
        memcpy(&v, &bits, sizeof v);
        return v;
    }
    void configure(const char *key, const char *value) { ASSERT_TRUE(board->configure(key, value)) << key; }

    std::unique_ptr<Board718> board;
    Host host;
    bool attached = false;
};

TEST_F(Board718Unit, ConfigurationRegistersReadBackWhatWasWritten)
{
    for (uint64_t offset : {0x04, 0x08, 0x0C, 0x10, 0x14, 0x18, 0x20, 0x24, 0x30, 0x3C,
                            0x74, 0x78, 0x80, 0x84, 0x90, 0x94, 0xD0, 0xE4, 0xF0, 0xF4}) {
        write(offset, 0xA5A5A5A5u ^ static_cast<uint32_t>(offset));
        EXPECT_EQ(read(offset), 0xA5A5A5A5u ^ static_cast<uint32_t>(offset)) << std::hex << offset;
    }
    // Bit 5 of the completion register is channel 2's, like every other bit.
    write(0x20, 0x20);
    EXPECT_EQ(read(0x20), 0x20u);
    write(0x20, 0x0);
    EXPECT_EQ(read(0x20), 0x0u);
    // 16-bit halves: balance DAC and limit levels.
    write(0x54, 0x2123, 2);
    write(0x600, 0xFF00, 2);
    write(0x602, 0x0100, 2);
    EXPECT_EQ(read(0x54, 2), 0x2123u);
    EXPECT_EQ(read(0x600), 0x0100FF00u);
    // The bridge's registers in BAR0.
    write(0x68, 0x40801, 4, kBar0);
    EXPECT_EQ(read(0x68, 4, kBar0), 0x40801u);
}

TEST_F(Board718Unit, LatchedRegistersClearTheBitsWrittenAsOnes)
{
    attach();
    board->raiseEvent(1);
    board->raiseEvent(5);
    EXPECT_EQ(read(0xD4), 0x11u);
    write(0xD4, 0x1);
    EXPECT_EQ(read(0xD4), 0x10u);
    write(0xD4, 0x0);
    EXPECT_EQ(read(0xD4), 0x10u);
    board->checkLimits({0, 0, 0, 0});
    write(0x84, 0x6); // limit check on channels 2 and 3, minimum and maximum
    write(0x600 + 4, 0xFFF6, 2);
    write(0x602 + 4, 10, 2);
    write(0x600 + 8, 0xFFF6, 2);
    write(0x602 + 8, 10, 2);
    EXPECT_EQ(board->checkLimits({100, 11, -11, -100}), 0x6u);
    EXPECT_EQ(read(0x88), 0x6u);
    write(0x88, 0x2);
    EXPECT_EQ(read(0x88), 0x4u);
    EXPECT_EQ(read(0xD4) & 1, 1u) << "event 1";
}

TEST_F(Board718Unit, ReadOnlyAndBoardDrivenBits)
{
    write(0xA0, 0xF);
    EXPECT_EQ(read(0xA0), 0u);
    write(0x200, 77);
    EXPECT_EQ(read(0x200), 0u);
    write(0x00, 0x1000 | 0x10);
    EXPECT_EQ(read(0x00), 0x10u) << "bit 12 is the board's: enabled but not started";
    write(0x08, 0x1); // software start
    EXPECT_EQ(read(0x00), 0x1010u);
    write(0x00, 0x0);
    EXPECT_EQ(read(0x00), 0x0u) << "acquisition enable off ends the acquisition";
}

TEST_F(Board718Unit, ResetKeepsTheMemoryAndClearsTheRest)
{
    configure("option", "0x10002");
    configure("hcal.13", "0.99875");
    write(0x10, 0x1234);
    write(0x600, 0x55, 2);
    board->setAcquiring(true);
    write(0xE0, 0x1);
    EXPECT_EQ(read(0xE0), 0u) << "ready again";
    EXPECT_EQ(read(0x10), 0u);
    EXPECT_EQ(read(0x600), 0u);
    EXPECT_EQ(read(0x00) & 0x1000, 0u);
    EXPECT_EQ(read(0x7004, 2), 0x2u);
    EXPECT_EQ(read(0x7006, 2), 0x1u);
    EXPECT_EQ(readDouble(0x7008 + 8 * 13), 0.99875);

    configure("resetstuck", "1");
    write(0xE0, 0x1);
    EXPECT_EQ(read(0xE0), 1u);
}

TEST_F(Board718Unit, InventoryKeys)
{
    configure("filter", "0x0101");
    configure("calpath.4", "-0.00125");
    configure("hcal.1", "1.001");
    EXPECT_EQ(read(0x7008, 2), 0x0101u);
    EXPECT_EQ(readDouble(0x7078 + 8 * 3), -0.00125);
    EXPECT_EQ(readDouble(0x7010), 1.001);
    EXPECT_EQ(readDouble(0x7018), 1.0) << "the other ranges keep exact references";
    EXPECT_EQ(readDouble(0x7078), 0.0);
    for (const char *bad : {"hcal.0", "hcal.14", "calpath.5", "ch0.volts", "ch5.volts", "ch1.colour", "speed"})
        EXPECT_FALSE(board->configure(bad, "1")) << bad;
    EXPECT_FALSE(board->configure("option", "-1"));
    EXPECT_FALSE(board->configure("hcal.2", "many"));
    EXPECT_FALSE(board->configure("resetstuck", "2"));
}

TEST_F(Board718Unit, InputSamplesFollowRangeGainAndErrors)
{
    configure("ch1.volts", "2.5");
    configure("ch2.volts", "-0.004");
    configure("ch3.volts", "20");
    configure("ch4.volts", "1.0");
    configure("ch4.gainerror", "0.01");
    configure("ch4.offset", "-3");
    write(0x10, (12u << 4)); // channel 2 on range 13: 1 mV
    EXPECT_EQ(board->sample(1), static_cast<int16_t>(std::lround(2.5 / Board718::kVoltsPerCount)));
    EXPECT_EQ(board->sample(2), -32768) << "-4 mV on the 1 mV range is beyond the scale";
    EXPECT_EQ(board->sample(3), 32767);
    EXPECT_EQ(board->sample(4), static_cast<int16_t>(std::lround(1.0 / Board718::kVoltsPerCount * 1.01 - 3)));
    write(0x10, (9u << 4));
    EXPECT_EQ(board->sample(2), static_cast<int16_t>(std::lround(-0.004 * 1000 / Board718::kVoltsPerCount)));
    write(0x0C, 0x1 << 4); // channel 2 on multiplexer 2: grounded
    EXPECT_EQ(board->sample(2), 0);
}

// Gain and offset errors per input range, over the channel-wide ones; the
// excitation monitor has none.
TEST_F(Board718Unit, ErrorsPerRange)
{
    configure("ch1.volts", "0.5");
    configure("ch1.gainerror", "0.002");
    configure("ch1.offset", "4");
    configure("ch1.gainerror.3", "-0.01");
    configure("ch1.offset.3", "-7.5");
    const double counts1 = 0.5 / Board718::kVoltsPerCount;
    EXPECT_DOUBLE_EQ(board->sampleCounts(1), counts1 * 1.002 + 4);
    write(0x10, 2); // range 3: gain 5
    EXPECT_DOUBLE_EQ(board->sampleCounts(1), counts1 * 5 * 0.99 - 7.5);
    write(0x10, 1); // range 2 keeps the channel-wide errors
    EXPECT_DOUBLE_EQ(board->sampleCounts(1), counts1 * 2 * 1.002 + 4);
    configure("ch1.gainerror", "0"); // every range again
    EXPECT_DOUBLE_EQ(board->sampleCounts(1), counts1 * 2 + 4);
    write(0x30, 0x8000 | 2048); // 5 V excitation
    write(0x0C, 0x3);           // excitation monitor
    EXPECT_DOUBLE_EQ(board->sampleCounts(1), 5.0 / Board718::kExcitationVoltsPerCount);
    for (const char *bad : {"ch1.gainerror.0", "ch1.gainerror.14", "ch1.offset.x", "ch1.offset.3x", "ch1.noise"})
        EXPECT_FALSE(board->configure(bad, bad == std::string("ch1.noise") ? "-1" : "1")) << bad;
}

// Noise is a fixed uniform sequence of the configured width: its average
// over many scans is close to zero, every value lies within half the width.
TEST_F(Board718Unit, NoiseIsUniformAndRepeats)
{
    EXPECT_EQ(board->noise(2, 17), 0.0) << "no noise configured";
    configure("ch2.noise", "2");
    double sum = 0.0;
    for (uint64_t n = 0; n < 10000; ++n) {
        const double v = board->noise(2, n);
        ASSERT_GE(v, -1.0);
        ASSERT_LT(v, 1.0);
        sum += v;
    }
    EXPECT_NEAR(sum / 10000, 0.0, 0.03);
    EXPECT_EQ(board->noise(2, 123), board->noise(2, 123));
    configure("ch3.noise", "2");
    EXPECT_NE(board->noise(2, 123), board->noise(3, 123)) << "each channel has its own sequence";
}

// The calibration input carries the calibrator's reference less the path's
// offset O(c): a polynomial fitted to it reads the channel's input in volts.
TEST_F(Board718Unit, CalibrationInputCarriesTheReferences)
{
    configure("hcal.4", "0.998");
    configure("calpath.2", "0.0015");
    write(0x0C, 0x2 << 4); // channel 2 on the calibration input
    write(0x10, 3u << 4);  // range 4: 1 V
    write(0x74, 0x1000);   // ground
    EXPECT_DOUBLE_EQ(board->inputVolts(2), -0.0015);
    write(0x74, 0x8); // range 4's reference
    EXPECT_DOUBLE_EQ(board->inputVolts(2), 0.998 * 10 / 10 - 0.0015);
    EXPECT_EQ(board->sample(2), static_cast<int16_t>(std::lround((0.998 - 0.0015) * 10 / Board718::kVoltsPerCount)));
    write(0x74, 0x408); // negative
    EXPECT_DOUBLE_EQ(board->inputVolts(2), -0.998 - 0.0015);
    for (int r = 1; r <= 13; ++r) {
        const uint32_t codes[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x3, 0x7, 0x6};
        EXPECT_DOUBLE_EQ(board->calibratorVolts(codes[r - 1]), 10.0 / kGain[r - 1] * (r == 4 ? 0.998 : 1.0)) << r;
    }
    EXPECT_EQ(board->calibratorVolts(0x5), 0.0) << "no reference selected";
    // The calibration source bits do not change the reference.
    write(0x74, 0x8 | (2u << 13));
    EXPECT_DOUBLE_EQ(board->inputVolts(2), 0.998 - 0.0015);
}

TEST_F(Board718Unit, ExcitationMonitorAndBridge)
{
    configure("ch1.bridge", "2.0"); // 2 mV/V
    configure("ch1.shunt", "0.5");
    configure("ch2.bridge", "-1.0");
    configure("ch2.ohms", "500");
    write(0x30, 0x8000 | 2048); // 5 V
    write(0x34, 0xA000 | 205);  // 10 mA into 500 ohms: 5 V
    EXPECT_DOUBLE_EQ(board->excitationVolts(1), 5.0);
    EXPECT_NEAR(board->excitationVolts(2), 205 / 20.48 / 1000 * 500, 1e-12);
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 5.0 * 0.002);
    write(0x0C, 0x3); // channel 1 on the excitation monitor
    EXPECT_EQ(board->sample(1), 26023) << "5 V in excitation-monitor counts, whatever the range";
    write(0x0C, 0x0);
    write(0x24, 0x2); // positive shunt on channel 1
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 5.0 * 0.0025);
    write(0x24, 0x1); // negative
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 5.0 * 0.0015);
    write(0x24, 0x0);
    // The balance DAC offsets the output against the bridge: a positive
    // code lowers it, a negative one raises it, off leaves it.
    write(0x50, 0x2000 | 100, 2);
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 5.0 * 0.002 - 100 * Board718::kBalanceVoltsPerStep);
    write(0x50, 0x1000 | 100, 2);
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 5.0 * 0.002 + 100 * Board718::kBalanceVoltsPerStep);
    write(0x50, 100, 2);
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 5.0 * 0.002);
    write(0x30, 0x0);
    EXPECT_DOUBLE_EQ(board->inputVolts(1), 0.0) << "no excitation, no output";
}

TEST_F(Board718Unit, ExcitationAlarmRaisesItsEvent)
{
    configure("ch3.excitationfault", "1");
    attach();
    write(0xD0, 0x8000 | 0x2);
    write(0x38, 0x8000 | 100);
    EXPECT_EQ(read(0xA0), 0x4u);
    EXPECT_EQ(read(0xD4), 0x2u);
    ASSERT_EQ(host.interrupts.size(), 1u);
    write(0x38, 0x8000 | 200);
    EXPECT_EQ(host.interrupts.size(), 1u) << "an alarm already up raises nothing new";
    write(0x38, 0);
    EXPECT_EQ(read(0xA0), 0u);
}

TEST_F(Board718Unit, EventsInterruptOnlyWhenEnabled)
{
    attach();
    board->pulseLine(Board718::kLineIo2);
    EXPECT_EQ(read(0xD4), 1u << 3) << "event 4 latched";
    EXPECT_TRUE(host.interrupts.empty());
    write(0xD0, 1u << 12); // event 13 without the global enable
    board->pulseLine(Board718::kLineStar);
    EXPECT_TRUE(host.interrupts.empty());
    write(0xD0, (1u << 12) | 0x8000);
    board->pulseLine(Board718::kLineStar);
    board->pulseLine(3); // PXI line 3: event 8, not enabled
    ASSERT_EQ(host.interrupts.size(), 1u);
    EXPECT_EQ(read(0xD4), (1u << 3) | (1u << 12) | (1u << 7));
}

TEST_F(Board718Unit, LimitLevelAndSlope)
{
    write(0x80, 0x1);
    write(0x84, 0x1);
    write(0x600, 1000, 2); // level
    write(0x602, 50, 2);   // slope
    board->checkLimits({900, 0, 0, 0});
    EXPECT_EQ(read(0x88), 0x1u) << "jump of 900 from the previous scan";
    write(0x88, 0xF);
    EXPECT_EQ(board->checkLimits({940, 0, 0, 0}), 0u);
    EXPECT_EQ(board->checkLimits({1001, 0, 0, 0}), 0x1u) << "above the level";
    EXPECT_EQ(board->checkLimits({990, 0, 0, 0}), 0u);
}

} // namespace
