// Model 718 settings beyond one write per value: value checks, the clock's
// limits, excitation, limit levels across ranges, bridge completion timing,
// filters per board, and leaving simulation with every stored setting.
#include <cmath>

#include "fixture718.h"
#include "tq/platform/thread.h"

namespace tq718test
{
namespace
{

constexpr double kCount = 0.00038427734375;

ViReal64 rateOf(ViSession vi)
{
    ViReal64 rate = -1;
    EXPECT_EQ(tq718_getScanClockRate(vi, &rate), VI_SUCCESS);
    return rate;
}

// ---- Values out of their choices ---------------------------------------------------

TEST_F(Board718Test, ValuesOutOfTheirChoicesChangeNothing)
{
    addBoard();
    const ViSession vi = open();
    clearWrites();
    EXPECT_EQ(tq718_setScanClockSource(vi, 13), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setScanClockSource(vi, 0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setStartCondition(vi, 12), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setTransientCondition(vi, 13), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setTriggerMode(vi, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAcqMode(vi, 0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setTransformType(vi, 4), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setScanClockToPXILine(vi, 9), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setIOInputInversion(vi, 1, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setIOInputRoute(vi, 1, 10), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setIOOutputRoute(vi, 2, 12), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setEventEnable(vi, 1, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelEnable(vi, 1, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 1, 14), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelMux(vi, 1, 5), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelBufferSource(vi, 1, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelLimitCheckMode(vi, 1, 4), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelFilter(vi, 1, 10), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelExcitationType(vi, 1, 4), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelSense(vi, 1, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelBridgeConfiguration(vi, 1, 5), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelBridgeBalanceEnable(vi, 1, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setDemoAnalogChannelType(vi, 1, 6), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setEventChannelEnable(vi, 1, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setCalibratorVoltage(vi, 27), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setCalibrationSource(vi, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelLimitCheckMinLvl(vi, 1, NAN), VI_ERROR_INV_PARAMETER);
    EXPECT_TRUE(writes().empty()) << ::testing::PrintToString(writes());
    ViInt16 source = 0;
    EXPECT_EQ(tq718_getScanClockSource(vi, &source), VI_SUCCESS);
    EXPECT_EQ(source, 1);
}

// Refresh rate and buffer duration size the acquisition ring: zero or less
// would make no ring.
TEST_F(Board718Test, RefreshRateAndBufferDurationMustBePositive)
{
    const ViSession vi = openWithoutInstrument();
    for (ViInt16 bad : {ViInt16(0), ViInt16(-1), ViInt16(-32768)}) {
        EXPECT_EQ(tq718_setRefreshRate(vi, bad), VI_ERROR_INV_PARAMETER) << bad;
        EXPECT_EQ(tq718_setBufferDuration(vi, bad), VI_ERROR_INV_PARAMETER) << bad;
    }
    ViInt16 refresh = 0, duration = 0;
    EXPECT_EQ(tq718_getRefreshRate(vi, &refresh), VI_SUCCESS);
    EXPECT_EQ(tq718_getBufferDuration(vi, &duration), VI_SUCCESS);
    EXPECT_EQ(refresh, 2);
    EXPECT_EQ(duration, 2);
    EXPECT_EQ(tq718_setRefreshRate(vi, 1), VI_SUCCESS);
    EXPECT_EQ(tq718_setBufferDuration(vi, 32767), VI_SUCCESS);
}

// ---- Scan clock ---------------------------------------------------------------------

TEST_F(Board718Test, InternalClockRefusesRatesItsDividerCannotGive)
{
    addBoard();
    const ViSession vi = open();
    LineSink lines;
    ASSERT_EQ(tq718_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_setInstrumentName(vi, "rig"), VI_SUCCESS);
    clearWrites();
    // 2e7 / rate - 2 must fit 32 bits: about 0.004657 Hz is the slowest.
    for (double bad : {0.004, 250000.0 / 4294967296.0, 0.0, -5.0, 250000.5, double(NAN)})
        EXPECT_EQ(tq718_setScanClockRate(vi, bad), VI_ERROR_INV_PARAMETER) << bad;
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(rateOf(vi), 100.0);
    const std::vector<std::string> failed = lines.take();
    ASSERT_EQ(failed.size(), 6u);
    EXPECT_EQ(failed[0], "[rig]Failed to set clock rate");

    ASSERT_EQ(tq718_setScanClockRate(vi, 0.0047), VI_SUCCESS);
    EXPECT_EQ(reg(0x04), static_cast<ViUInt32>(2e7 / 0.0047 - 2));
}

TEST_F(Board718Test, ExternalClockTakesSlowRatesWithoutTheDivider)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setScanClockSource(vi, 5), VI_SUCCESS);
    const ViUInt32 divider = reg(0x04);
    clearWrites();
    ASSERT_EQ(tq718_setScanClockRate(vi, 0.0001), VI_SUCCESS);
    EXPECT_TRUE(writes().empty()) << "the divider cannot hold it and the clock comes from outside";
    EXPECT_EQ(reg(0x04), divider);
    EXPECT_EQ(rateOf(vi), 0.0001);
    EXPECT_EQ(stream(vi)->streamGetRate(stream(vi)), 0.0001);
    EXPECT_EQ(tq718_setScanClockRate(vi, 0.0), VI_ERROR_INV_PARAMETER);

    // Back on the internal clock that rate is refused by crossCheck.
    ASSERT_EQ(tq718_setScanClockSource(vi, 1), VI_SUCCESS);
    char message[256] = "";
    EXPECT_EQ(tq718_crossCheck(vi, message), VI_ERROR_SYSTEM_ERROR);
    EXPECT_STREQ(message, "Unsupported clock rate for internal clock: too low");
}

TEST_F(Board718Test, ScanClockSetsSourceThenRate)
{
    addBoard();
    const ViSession vi = open();
    LineSink lines;
    ASSERT_EQ(tq718_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    clearWrites();
    ASSERT_EQ(tq718_setScanClock(vi, 3, 2000.0), VI_SUCCESS);
    const std::vector<SimVisaWrite> log = writes();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].offset, 0x00u);
    EXPECT_EQ(log[3].offset, 0x04u);
    EXPECT_EQ(log[3].value, 9998u);
    ViInt16 source = 0;
    ViReal64 rate = 0;
    EXPECT_EQ(tq718_getScanClock(vi, &source, &rate), VI_SUCCESS);
    EXPECT_EQ(source, 3);
    EXPECT_EQ(rate, 2000.0);
    EXPECT_EQ(tq718_getScanClock(vi, nullptr, &rate), VI_SUCCESS);

    EXPECT_EQ(tq718_setScanClock(vi, 1, 0.001), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setScanClock(vi, 14, 10.0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setScanClock(vi, 2, 0.001), VI_SUCCESS) << "an external clock takes any positive rate";
    std::vector<std::string> failed = lines.take();
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_NE(failed[0].find("]Failed set scan clock"), std::string::npos);
}

TEST_F(Board718Test, ScanClockRateInSimulationOnlyChangesTheStreamRate)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    clearWrites();
    ASSERT_EQ(tq718_setScanClockRate(vi, 1000.0), VI_SUCCESS);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(rateOf(vi), 1000.0);
    EXPECT_EQ(stream(vi)->streamGetRate(stream(vi)), 1000.0);
}

TEST_F(Board718Test, ExternalClockReadsBackItsLine)
{
    addBoard();
    const ViSession vi = open();
    for (ViInt16 source = 1; source <= 12; ++source) {
        ASSERT_EQ(tq718_setScanClockSource(vi, source), VI_SUCCESS);
        ViInt16 read = 0;
        ASSERT_EQ(tq718_getScanClockSource(vi, &read), VI_SUCCESS);
        EXPECT_EQ(read, source);
    }
    setReg(0x00, 0x4); // a source field no setting writes
    ViInt16 read = 0;
    EXPECT_EQ(tq718_getScanClockSource(vi, &read), VI_ERROR_SYSTEM_ERROR);
}

// ---- Conditions -----------------------------------------------------------------------

TEST_F(Board718Test, ConditionsReadBackAsConfigured)
{
    addBoard();
    const ViSession vi = open();
    for (ViInt16 c = 0; c <= 11; ++c) {
        ASSERT_EQ(tq718_setStartCondition(vi, c), VI_SUCCESS);
        ASSERT_EQ(tq718_setStopCondition(vi, c), VI_SUCCESS);
        ASSERT_EQ(tq718_setTransientCondition(vi, c), VI_SUCCESS);
        ViInt16 start = -1, stop = -1, transient = -1;
        EXPECT_EQ(tq718_getStartCondition(vi, &start), VI_SUCCESS);
        EXPECT_EQ(tq718_getStopCondition(vi, &stop), VI_SUCCESS);
        EXPECT_EQ(tq718_getTransientCondition(vi, &transient), VI_SUCCESS);
        EXPECT_EQ(start, c);
        EXPECT_EQ(stop, c);
        EXPECT_EQ(transient, c);
    }
    // A stop clears the transient enable on the board, not the configuration.
    ASSERT_EQ(tq718_setTransientCondition(vi, 12), VI_SUCCESS);
    setReg(0x00, reg(0x00) & ~0x20u);
    ViInt16 transient = 0;
    EXPECT_EQ(tq718_getTransientCondition(vi, &transient), VI_SUCCESS);
    EXPECT_EQ(transient, 12);
    // A code no condition uses.
    setReg(0x90, (reg(0x90) & ~0x1E0u) | (12u << 5));
    ViInt16 start = 0;
    EXPECT_EQ(tq718_getStartCondition(vi, &start), VI_ERROR_INV_SETUP);
}

// ---- Interrupt enable ---------------------------------------------------------------

TEST_F(Board718Test, InterruptEnableIsTracedAndReportsFailure)
{
    addBoard();
    const ViSession vi = open();
    LineSink lines, spy;
    ASSERT_EQ(tq718_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_registerSpyMsg(vi, spy.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_setInstrumentName(vi, "rig"), VI_SUCCESS);
    ASSERT_EQ(tq718_setInterruptEnable(vi, 1), VI_SUCCESS);
    char expected[128];
    snprintf(expected, sizeof expected, "tq718_setInterruptEnable(%#x(rig),0x1) retVal=0\n", vi);
    EXPECT_EQ(spy.take(), std::vector<std::string>{expected});
    EXPECT_TRUE(lines.take().empty());

    ASSERT_EQ(sim().simvisa_failOffset(kBoard, kBar0, 0x68, SIMVISA_WRITES, VI_ERROR_BERR), VI_SUCCESS);
    EXPECT_EQ(tq718_setInterruptEnable(vi, 0), VI_ERROR_BERR);
    EXPECT_EQ(lines.take(), std::vector<std::string>{"[rig]Failed to set interrupt enable"});
    snprintf(expected, sizeof expected, "tq718_setInterruptEnable(%#x(rig),0) retVal=%#x\n", vi,
             static_cast<unsigned>(VI_ERROR_BERR));
    EXPECT_EQ(spy.take(), std::vector<std::string>{expected});
    ViInt16 enable = 0;
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    EXPECT_EQ(tq718_getInterruptEnable(vi, &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1) << "a failed write keeps the stored value";
}

// ---- Excitation -----------------------------------------------------------------------

TEST_F(Board718Test, ExcitationCodes)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, 1, 2), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 1, 5.0), VI_SUCCESS);
    EXPECT_EQ(reg(0x30), 0x8000u | 2048u);
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 1, 9.99), VI_SUCCESS);
    EXPECT_EQ(reg(0x30), 0x8000u | 4092u);
    // 12 V would be code 4915: the source gives its most.
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 1, 12.0), VI_SUCCESS);
    EXPECT_EQ(reg(0x30), 0x8FFFu);

    // The sense bit of the register survives every excitation write.
    ASSERT_EQ(tq718_setAnalogChannelSense(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, 2, 3), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 2, 10.0), VI_SUCCESS);
    EXPECT_EQ(reg(0x34), 0x4000u | 0xA000u | 205u);

    // 60 mA is beyond the current source: refused, nothing written, the
    // previous value kept.
    clearWrites();
    EXPECT_EQ(tq718_setAnalogChannelExcitation(vi, 2, 60.0), VI_ERROR_INV_SETUP);
    EXPECT_TRUE(writes().empty());
    ViReal64 value = 0;
    EXPECT_EQ(tq718_getAnalogChannelExcitation(vi, 2, &value), VI_SUCCESS);
    EXPECT_EQ(value, 10.0);
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 2, 50.0), VI_SUCCESS);
    EXPECT_EQ(reg(0x34) & 0xFFF, 1024u);

    // A negative excitation has no code: refused the same way.
    EXPECT_EQ(tq718_setAnalogChannelExcitation(vi, 1, -1.0), VI_ERROR_INV_SETUP);
    EXPECT_EQ(reg(0x30), 0x8FFFu);

    // Switching the type off writes 0 and keeps the value for later.
    ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, 1, 1), VI_SUCCESS);
    EXPECT_EQ(reg(0x30), 0u);
    EXPECT_EQ(tq718_getAnalogChannelExcitation(vi, 1, &value), VI_SUCCESS);
    EXPECT_EQ(value, 12.0);
}

TEST_F(Board718Test, ExcitationTypeRestoredWhenTheWriteFails)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 3, 70.0), VI_SUCCESS) << "type off: nothing to refuse yet";
    EXPECT_EQ(tq718_setAnalogChannelExcitationType(vi, 3, 3), VI_ERROR_INV_SETUP);
    ViInt16 type = 0;
    EXPECT_EQ(tq718_getAnalogChannelExcitationType(vi, 3, &type), VI_SUCCESS);
    EXPECT_EQ(type, 1);
}

TEST_F(Board718Test, ExcitationTraceLines)
{
    addBoard();
    const ViSession vi = open();
    LineSink spy;
    ASSERT_EQ(tq718_registerSpyMsg(vi, spy.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_setInstrumentName(vi, "rig"), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, 4, 2), VI_SUCCESS);
    spy.take();
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 4, 2.5), VI_SUCCESS);
    char write[160], done[160], call[160];
    snprintf(write, sizeof write, "tq718_setExcitation:viOut(%#x(rig),0xd,0x3c,0x8400) retVal=0\n", vi);
    snprintf(done, sizeof done, "tq718_setExcitation(%#x(rig),0x4) retVal=0\n", vi);
    snprintf(call, sizeof call, "tq718_setAnalogChannelExcitation(%#x(rig),0x4,2.500000) retVal=0\n", vi);
    EXPECT_EQ(spy.take(), (std::vector<std::string>{write, done, call}));
}

// ---- Limit levels ---------------------------------------------------------------------

TEST_F(Board718Test, RangeChangeRewritesLimitLevelsInItsCodes)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMode(vi, 2, 2), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMinLvl(vi, 2, -0.5), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMaxSlope(vi, 2, 0.75), VI_SUCCESS);
    EXPECT_EQ(static_cast<int16_t>(reg(0x604, kBar2, kBoard, 2)), static_cast<int16_t>(std::round(-0.5 / kCount)));
    EXPECT_EQ(static_cast<int16_t>(reg(0x606, kBar2, kBoard, 2)), static_cast<int16_t>(std::round(0.75 / kCount)));
    clearWrites();
    ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 2, 4), VI_SUCCESS); // 1 V, gain 10
    const std::vector<SimVisaWrite> log = writes();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].offset, 0x604u);
    EXPECT_EQ(log[2].offset, 0x606u);
    EXPECT_EQ(static_cast<int16_t>(log[1].value), static_cast<int16_t>(std::round(-0.5 * 10 / kCount)));
    EXPECT_EQ(static_cast<int16_t>(log[2].value), static_cast<int16_t>(std::round(0.75 * 10 / kCount)));
    ViReal64 high = 0;
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckMaxSlope(vi, 2, &high), VI_SUCCESS);
    EXPECT_NEAR(high, 0.75, kCount / 10);

    // With the limit check off the range change writes only the range.
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMode(vi, 2, 1), VI_SUCCESS);
    clearWrites();
    ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 2, 1), VI_SUCCESS);
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(Board718Test, LimitLevelsBeyondTheScaleStayAtItsEnds)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 1, 4), VI_SUCCESS); // 1 V
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMaxSlope(vi, 1, 5.0), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMinLvl(vi, 1, -5.0), VI_SUCCESS);
    EXPECT_EQ(static_cast<int16_t>(reg(0x602, kBar2, kBoard, 2)), 32767) << "not wrapped to a negative code";
    EXPECT_EQ(static_cast<int16_t>(reg(0x600, kBar2, kBoard, 2)), -32768);
}

TEST_F(Board718Test, LimitModeIsKeptWhenTheBoardRefusesIt)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(sim().simvisa_failOffset(kBoard, kBar2, 0x84, SIMVISA_WRITES, VI_ERROR_BERR), VI_SUCCESS);
    EXPECT_EQ(tq718_setAnalogChannelLimitCheckMode(vi, 1, 3), VI_ERROR_BERR);
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    ViInt16 mode = 0;
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckMode(vi, 1, &mode), VI_SUCCESS);
    EXPECT_EQ(mode, 3);
}

// ---- Bridge --------------------------------------------------------------------------

TEST_F(Board718Test, BridgeCompletionWritesAreTenMillisecondsApart)
{
    addBoard();
    const ViSession vi = open();
    const uint64_t before = tq::platform::tickMs();
    ASSERT_EQ(tq718_setAnalogChannelBridgeConfiguration(vi, 1, 1), VI_SUCCESS);
    const uint64_t between = tq::platform::tickMs();
    ASSERT_EQ(tq718_setAnalogChannelBridgeConfiguration(vi, 2, 2), VI_SUCCESS);
    const uint64_t after = tq::platform::tickMs();
    EXPECT_GE(after - before, 10u);
    EXPECT_GE(after - between, 9u);
    EXPECT_EQ(reg(0x20) & 0x33, 0x12u);
}

TEST_F(Board718Test, BalanceEnableWritesTheDacOnlyOnAChange)
{
    addBoard();
    const ViSession vi = open();
    clearWrites();
    ASSERT_EQ(tq718_setAnalogChannelBridgeBalanceEnable(vi, 1, 0), VI_SUCCESS);
    EXPECT_TRUE(writes().empty());
    ASSERT_EQ(tq718_setAnalogChannelBridgeBalanceEnable(vi, 0, 1), VI_SUCCESS);
    EXPECT_EQ(writes().size(), 4u);
    ViBoolean enable = 0;
    EXPECT_EQ(tq718_getAnalogChannelBridgeBalanceEnable(vi, 4, &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1);
}

TEST_F(Board718Test, ShuntPolarityGivesABridgeChannelASensorPolynomial)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 2), VI_SUCCESS);
    TQStream *s = stream(vi);
    TQStreamChannel *ch = s->streamGetChannel(s, "AnalogChannel1");
    ASSERT_NE(ch, nullptr);
    const int16_t sample = 1000;
    const double d = 1000 * kCount, bridge = -4 * d / (2 * d - 1);
    EXPECT_NEAR(ch->streamChannelEval(ch, &sample), bridge, 1e-12);
    ASSERT_EQ(tq718_setAnalogChannelShuntCalPolarity(vi, 1, 2), VI_SUCCESS);
    EXPECT_NEAR(ch->streamChannelEval(ch, &sample), bridge, 1e-12) << "identity until shunt calibration";
    ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 1), VI_SUCCESS);
    EXPECT_NEAR(ch->streamChannelEval(ch, &sample), d, 1e-12);
}

// ---- Filters -------------------------------------------------------------------------

TEST_F(Board718Test, WithoutFilterCardOnlyNoFilteringIsAccepted)
{
    addBoard(kBoard, "option=0x2");
    const ViSession vi = open();
    clearWrites();
    EXPECT_EQ(tq718_setAnalogChannelFilter(vi, 1, 5), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelFilter(vi, 1, 9), VI_SUCCESS);
    EXPECT_TRUE(writes().empty());
    ViInt16 filter = 0, filters[9] = {}, count = 0;
    EXPECT_EQ(tq718_getAnalogChannelFilter(vi, 1, &filter), VI_SUCCESS);
    EXPECT_EQ(filter, 9);
    EXPECT_EQ(tq718_getAnalogChannelSupportedFilters(vi, 9, filters, &count), VI_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(filters[0], 9);
}

TEST_F(Board718Test, FilterCardOfUnknownKindTakesOnlyNoFiltering)
{
    addBoard(kBoard, "filter=0x0300");
    const ViSession vi = open(); // applying the default (no filtering) succeeded
    EXPECT_EQ(reg(0x18), 0u);
    EXPECT_EQ(tq718_setAnalogChannelFilter(vi, 2, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelFilter(vi, 2, 9), VI_SUCCESS);
    // In simulation any setting is kept; crossCheck refuses it.
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelFilter(vi, 2, 3), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 2, 1), VI_SUCCESS);
    char message[256] = "";
    EXPECT_EQ(tq718_crossCheck(vi, message), VI_ERROR_SYSTEM_ERROR);
    EXPECT_STREQ(message, "Channel 2: filtering not supported on this model");
    EXPECT_EQ(tq718_setSimulationMode(vi, 0), VI_ERROR_INV_PARAMETER) << "refused again on the board";
}

TEST_F(Board718Test, SupportedFiltersOfAFilterCard)
{
    addBoard(kBoard, "filter=0x0101");
    const ViSession vi = open();
    ViInt16 filters[9] = {}, count = 0;
    EXPECT_EQ(tq718_getAnalogChannelSupportedFilters(vi, 9, filters, &count), VI_SUCCESS);
    ASSERT_EQ(count, 9);
    EXPECT_EQ(filters[0], 9);
    for (int i = 1; i < 9; ++i)
        EXPECT_EQ(filters[i], i);
    EXPECT_EQ(tq718_getAnalogChannelSupportedFilters(vi, 3, filters, &count), VI_SUCCESS);
    EXPECT_EQ(count, 3) << "no more than the caller asked for";
    for (ViInt16 f = 1; f <= 9; ++f) {
        ASSERT_EQ(tq718_setAnalogChannelFilter(vi, 4, f), VI_SUCCESS);
        ViInt16 read = 0;
        ASSERT_EQ(tq718_getAnalogChannelFilter(vi, 4, &read), VI_SUCCESS);
        EXPECT_EQ(read, f);
    }
}

// ---- Simulation ------------------------------------------------------------------------

TEST_F(Board718Test, BoardCheckedValuesAreKeptInSimulationAndRefusedOnLeaving)
{
    addBoard();
    const ViSession vi = open();
    LineSink lines;
    ASSERT_EQ(tq718_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_setInstrumentName(vi, "rig"), VI_SUCCESS);
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setTriggerMode(vi, 5), VI_SUCCESS);
    ViInt16 mode = 0;
    EXPECT_EQ(tq718_getTriggerMode(vi, &mode), VI_SUCCESS);
    EXPECT_EQ(mode, 5);
    EXPECT_EQ(tq718_setAcqMode(vi, 5), VI_ERROR_INV_PARAMETER) << "not a board check: refused everywhere";
    EXPECT_EQ(tq718_setSimulationMode(vi, 0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getSimulationMode(vi, nullptr), 0) << "the session is on the board all the same";
    EXPECT_EQ(lines.take(), std::vector<std::string>{"[rig]Failed change simulation mode"});
}

// Leaving simulation brings the board in line with every stored setting: a
// board configured in simulation ends up like one configured directly.
TEST_F(Board718Test, LeavingSimulationWritesEveryStoredSetting)
{
    addBoard(kBoard);
    addBoard(kOtherBoard);
    const ViSession simulated = open(kBoard);
    const ViSession direct = open(kOtherBoard);
    ASSERT_EQ(tq718_setSimulationMode(simulated, 1), VI_SUCCESS);

    auto configure = [](ViSession vi) {
        ASSERT_EQ(tq718_setInterruptEnable(vi, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setScanClockSource(vi, 7), VI_SUCCESS);
        ASSERT_EQ(tq718_setScanClockRate(vi, 2500.0), VI_SUCCESS);
        ASSERT_EQ(tq718_setStartCondition(vi, 4), VI_SUCCESS);
        ASSERT_EQ(tq718_setStopCondition(vi, 2), VI_SUCCESS);
        ASSERT_EQ(tq718_setTransientCondition(vi, 12), VI_SUCCESS);
        ASSERT_EQ(tq718_setTransientNumScans(vi, 4000), VI_SUCCESS);
        ASSERT_EQ(tq718_setTriggerMode(vi, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setScanClockToPXILine(vi, 3), VI_SUCCESS);
        ASSERT_EQ(tq718_setLimitViolationToPXILine(vi, 6), VI_SUCCESS);
        ASSERT_EQ(tq718_setIOInputInversion(vi, 1, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setIOOutputInversion(vi, 2, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setIOInputRoute(vi, 2, 8), VI_SUCCESS);
        ASSERT_EQ(tq718_setIOOutputRoute(vi, 1, 11), VI_SUCCESS);
        ASSERT_EQ(tq718_setEventEnable(vi, 1, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setEventEnable(vi, 15, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 3, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setEventChannelEnable(vi, 2, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 1, 6), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 3, 11), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelMux(vi, 4, 2), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelBufferSource(vi, 3, 2), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelLimitCheckMode(vi, 1, 3), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelLimitCheckMinLvl(vi, 1, 0.1), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelLimitCheckMaxSlope(vi, 1, 0.02), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelFilter(vi, 3, 4), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, 3, 3), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 3, 20.0), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelSense(vi, 3, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelBridgeConfiguration(vi, 3, 2), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelBridgeConfiguration(vi, 2, 1), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelBridgeBalanceEnable(vi, 3, 1), VI_SUCCESS);
    };
    configure(simulated);
    configure(direct);
    EXPECT_EQ(reg(0x14), 0u) << "nothing reached the simulated session's board yet";
    ASSERT_EQ(tq718_setSimulationMode(simulated, 0), VI_SUCCESS);

    const ViBusAddress registers[] = {0x00, 0x04, 0x0C, 0x10, 0x14, 0x18, 0x20, 0x30, 0x34, 0x38,  0x3C,  0x50,  0x54,
                                      0x58, 0x5C, 0x78, 0x80, 0x84, 0x90, 0x94, 0xD0, 0xF0, 0x600, 0x604, 0x608, 0x60C};
    for (ViBusAddress offset : registers)
        EXPECT_EQ(reg(offset), reg(offset, kBar2, kOtherBoard)) << std::hex << "register 0x" << offset;
    EXPECT_EQ(reg(0x68, kBar0), reg(0x68, kBar0, kOtherBoard));
    EXPECT_EQ(reg(0x14), 0x2005u) << "channels 1 and 3 and the event word";
    TQStream *s = stream(simulated);
    EXPECT_EQ(s->streamGetScanSize(s), 6);
    EXPECT_EQ(s->streamGetNumberChannels(s), 3);
}

// Channel enables that did not change in simulation are written all the
// same: the board may have lost them while the session was away.
TEST_F(Board718Test, LeavingSimulationRewritesUnchangedEnables)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 9, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    setReg(0x14, 0); // the board was reset meanwhile
    ASSERT_EQ(tq718_setSimulationMode(vi, 0), VI_SUCCESS);
    EXPECT_EQ(reg(0x14), 0x2002u);
}

TEST_F(Board718Test, SessionWithoutInstrumentCannotLeaveSimulation)
{
    const ViSession vi = openWithoutInstrument();
    EXPECT_EQ(tq718_setSimulationMode(vi, 0), static_cast<ViStatus>(0xBFFC0017));
    EXPECT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    EXPECT_EQ(tq718_setSimulationMode(vi, 0), static_cast<ViStatus>(0xBFFC0017));
    EXPECT_EQ(tq718_setSimulationMode(vi, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getSimulationMode(vi, nullptr), 1);
}

} // namespace
} // namespace tq718test
