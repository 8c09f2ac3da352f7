// Model 775 direct measurement: frequencies and their warnings from the
// counter words, the count status, and the single scan.
#include <algorithm>
#include <iterator>
#include <vector>

#include "fixture775.h"

namespace
{

using namespace tq775test;

class Measure775 : public CounterTest
{
  protected:
    void SetUp() override
    {
        CounterTest::SetUp();
        addCounter();
        vi_ = open();
    }
    void setCounter(int channel, ViUInt32 countWord, ViUInt32 ticks)
    {
        setReg(0x20 + 8 * static_cast<ViBusAddress>(channel - 1), countWord);
        setReg(0x24 + 8 * static_cast<ViBusAddress>(channel - 1), ticks);
    }
    ViSession vi_ = VI_NULL;
};

TEST_F(Measure775, WarningsComeFromTheCountWordsOverflowBeforeStale)
{
    struct Case {
        const char *what;
        ViUInt32 word2, word5;
        ViStatus expected;
    } const cases[] = {
        {"clean", 1000, 2000, VI_SUCCESS},
        {"stale", 1000 | 1u << 24, 2000, TQ775_WARN_STALE},
        {"overflow", 1000, 2000 | 1u << 19, TQ775_WARN_OVERFLOW},
        {"overflow and stale", 1000 | 1u << 24, 2000 | 1u << 19, TQ775_WARN_OVERFLOW},
    };
    for (const Case &c : cases) {
        for (int k = 1; k <= 8; ++k)
            setCounter(k, 0, 0);
        setCounter(2, c.word2, 10000000);
        setCounter(5, c.word5, 10000000);
        double f[8] = {};
        EXPECT_EQ(tq775_readFrequency(vi_, f), c.expected) << c.what;
        EXPECT_DOUBLE_EQ(f[1], 1000.0) << c.what << ": values written whatever the warning";
        EXPECT_DOUBLE_EQ(f[4], 2000.0) << c.what;
        EXPECT_EQ(f[0], 0.0) << c.what << ": no ticks";
    }
    setCounter(2, 1000, 10000000);
    ASSERT_EQ(tq775_setTickClockRate(vi_, 11), VI_SUCCESS);
    double f = 0.0;
    EXPECT_EQ(tq775_readSingleChannelFrequency(vi_, 2, &f), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(f, 100.0) << "the 1 MHz tick clock";
    ViInt32 count = 0, ticks = 0;
    setCounter(3, 0x3FFFF | 1u << 19 | 1u << 24, 77);
    EXPECT_EQ(tq775_readSingleChannelCounters(vi_, 3, &count, &ticks), VI_SUCCESS);
    EXPECT_EQ(count, 0x3FFFF) << "flag bits removed";
    EXPECT_EQ(ticks, 77);
    EXPECT_EQ(tq775_readSingleChannelFrequency(vi_, 9, &f), TQ775_ERROR_CHANNEL);
    EXPECT_EQ(tq775_readSingleChannelCounters(vi_, 0, &count, &ticks), TQ775_ERROR_CHANNEL);
}

TEST_F(Measure775, WithStatusWarnsFromTheFlagRegister)
{
    setCounter(1, 500 | 1u << 19, 10000000); // the word's own bit is not looked at
    setReg(0x14, 1u << (8 + 3));             // channel 4 stale
    double f[8] = {};
    ViInt16 overflow[8] = {}, stale[8] = {};
    EXPECT_EQ(tq775_readFrequencyWithStatus(vi_, f, overflow, stale), TQ775_WARN_STALE);
    EXPECT_EQ(stale[3], 1);
    EXPECT_EQ(overflow[0], 0);
    EXPECT_DOUBLE_EQ(f[0], 500.0);
}

TEST_F(Measure775, CountStatusRanges)
{
    setReg(0x14, 0x0A05); // overflow 1 and 3, stale 2 and 4
    struct Case {
        ViInt16 first, last;
        ViStatus expected;
        std::vector<ViInt16> overflow, stale;
    } const cases[] = {
        {1, 8, VI_SUCCESS, {1, 0, 1, 0, 0, 0, 0, 0}, {0, 1, 0, 1, 0, 0, 0, 0}},
        {2, 4, VI_SUCCESS, {0, 1, 0}, {1, 0, 1}},
        {3, 2, TQ775_ERROR_CHANNEL, {}, {}},
        {0, 4, TQ775_ERROR_CHANNEL, {}, {}},
        {5, 9, TQ775_ERROR_CHANNEL, {}, {}},
    };
    for (const Case &c : cases) {
        ViInt16 overflow[8], stale[8];
        std::fill(std::begin(overflow), std::end(overflow), -1);
        std::fill(std::begin(stale), std::end(stale), -1);
        ASSERT_EQ(tq775_getCountStatus(vi_, c.first, c.last, overflow, stale), c.expected) << c.first << "-" << c.last;
        for (size_t i = 0; i < c.overflow.size(); ++i) {
            EXPECT_EQ(overflow[i], c.overflow[i]) << c.first << "-" << c.last << " at " << i;
            EXPECT_EQ(stale[i], c.stale[i]) << c.first << "-" << c.last << " at " << i;
        }
    }
    EXPECT_EQ(tq775_getCountStatus(vi_, 1, 8, nullptr, nullptr), VI_SUCCESS) << "either array may be null";
    // Clearing stale flags of channels 2-4 only.
    ASSERT_EQ(tq775_clearCountStatus(vi_, 1, 0, 2, 4), VI_SUCCESS);
    EXPECT_EQ(reg(0x14), 0x0005u);
    ASSERT_EQ(tq775_clearCountStatus(vi_, 0, 1, 1, 8), VI_SUCCESS);
    EXPECT_EQ(reg(0x14), 0u);
    EXPECT_EQ(tq775_clearCountStatus(vi_, 1, 1, 4, 3), TQ775_ERROR_CHANNEL);
}

TEST_F(Measure775, SingleScanMasksOverflowAndTimeOut)
{
    configure("freq2=1000; freq4=5000; freq6=30000000");
    ASSERT_EQ(tq775_setObservationWindowSize(vi_, 10), VI_SUCCESS);
    struct Case {
        ViUInt16 mask;
        ViStatus expected;
        std::vector<double> values;
    } const cases[] = {
        {0x0A, VI_SUCCESS, {1000.0, 5000.0}},
        {0x22, TQ775_WARN_OVERFLOW, {1000.0, 0.0}},
        {0x100, VI_SUCCESS, {}},
    };
    for (const Case &c : cases) {
        double f[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        EXPECT_EQ(tq775_executeSingleScan(vi_, c.mask, 5, f), c.expected) << c.mask;
        for (size_t i = 0; i < c.values.size(); ++i)
            EXPECT_DOUBLE_EQ(f[i], c.values[i]) << c.mask << " at " << i;
        EXPECT_EQ(f[c.values.size()], -1.0) << c.mask << ": nothing written past the requested channels";
        EXPECT_EQ(reg(0x00) & (1u << 11), 0u) << "continuous scan left off";
        EXPECT_NE(reg(0x00) & (1u << 12), 0u) << "single-scan bit left set";
    }
    // With the window clock on a trigger line that never pulses the window
    // never ends: the channel stays pending until the time-out.
    ASSERT_EQ(tq775_setWindowClockSource(vi_, 3), VI_SUCCESS);
    double f[1] = {};
    const uint64_t start = tq::platform::tickMs();
    EXPECT_EQ(tq775_executeSingleScan(vi_, 0x01, 1, f), TQ775_WARN_STALE);
    EXPECT_GE(tq::platform::tickMs() - start, 1000u);
    EXPECT_EQ(tq775_executeSingleScan(vi_, 0x01, -1, f), VI_ERROR_INV_PARAMETER);
    // A pulse on the line ends a window.
    ASSERT_EQ(sim().simvisa_pulseLine(kCounter, 3, 1), VI_SUCCESS);
    double g = 0.0;
    EXPECT_EQ(tq775_readSingleChannelFrequency(vi_, 2, &g), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(g, 1000.0);
}

TEST_F(Measure775, SessionWithoutInstrumentGetsTheVisaError)
{
    ViSession none = openWithoutInstrument();
    double f[8] = {};
    EXPECT_LT(tq775_readFrequency(none, f), VI_SUCCESS);
    EXPECT_EQ(tq775_readFrequency(12345, f), VI_ERROR_INV_OBJECT);
}

} // namespace
