// Model 775 settings: register fields, refusals, simulation, the scan
// layout, the properties by name and crossCheck.
#include <cstdio>
#include <cstring>
#include <string>
#include <functional>

#include "fixture775.h"

namespace
{

using namespace tq775test;

class Properties775 : public CounterTest
{
};

TEST_F(Properties775, EachSetterWritesItsFieldAndTheGetterReadsItBack)
{
    addCounter();
    ViSession vi = open();
    struct Case {
        const char *what;
        std::function<ViStatus(ViSession)> set;
        ViUInt16 space;
        ViBusAddress offset;
        ViUInt32 mask, expected;
        std::function<ViStatus(ViSession, ViInt16 *)> get;
        ViInt16 readBack;
    } const cases[] = {
        {"window 4", [](ViSession v) { return tq775_setObservationWindowSize(v, 4); }, kBar2, 0x00, 0x3FF, 3,
         tq775_getObservationWindowSize, 4},
        {"1 MHz ticks", [](ViSession v) { return tq775_setTickClockRate(v, 11); }, kBar2, 0x00, 1u << 10, 1u << 10,
         tq775_getTickClockRate, 11},
        {"system clock ticks", [](ViSession v) { return tq775_setTickClockSource(v, 14); }, kBar2, 0x00, 3u << 16,
         1u << 16, tq775_getTickClockSource, 14},
        {"tick clock from line 5", [](ViSession v) { return tq775_setTickClockSource(v, 5); }, kBar2, 0x18, 0x1F00,
         0x1500, tq775_getTickClockSource, 5},
        {"tick clock out on line 3", [](ViSession v) { return tq775_setTickClockToTriggerLineOut(v, 3); }, kBar2,
         0x18, 0x1F, 0x13, tq775_getTickClockToTriggerLineOut, 3},
        {"window clock from line 7", [](ViSession v) { return tq775_setWindowClockSource(v, 7); }, kBar2, 0x18,
         0x1F000000, 0x17000000, tq775_getWindowClockSource, 7},
        {"window clock out on star", [](ViSession v) { return tq775_setWindowClockToTriggerLineOut(v, 8); }, kBar2,
         0x18, 0x1F0000, 0x180000, tq775_getWindowClockToTriggerLineOut, 8},
        {"interrupts on", [](ViSession v) { return tq775_setInterruptEnable(v, 1); }, kBar2, 0x00, 1u << 15, 1u << 15,
         tq775_getInterruptEnable, 1},
        {"bridge routing", [](ViSession v) { return tq775_setInterruptEnable(v, 1); }, kBar0, 0x68, 0x801, 0x801,
         tq775_getInterruptEnable, 1},
        {"filter of channel 3", [](ViSession v) { return tq775_setChannelFilterEnable(v, 3, 1); }, kBar2, 0x04,
         0xFF, 0x04, [](ViSession v, ViInt16 *o) { return tq775_getChannelFilterEnable(v, 3, o); }, 1},
        {"AC coupling of channel 2", [](ViSession v) { return tq775_setChannelCoupling(v, 2, 23); }, kBar2, 0x08,
         0xFF, 0x02, [](ViSession v, ViInt16 *o) { return tq775_getChannelCoupling(v, 2, o); }, 23},
        {"TTL input of channel 4", [](ViSession v) { return tq775_setChannelInputType(v, 4, 22); }, kBar2, 0x0C,
         0xFF, 0x08, [](ViSession v, ViInt16 *o) { return tq775_getChannelInputType(v, 4, o); }, 22},
        {"20 mV on channel 5", [](ViSession v) { return tq775_setChannelThreshold(v, 5, 15); }, kBar2, 0x10,
         0x300, 0x300, [](ViSession v, ViInt16 *o) { return tq775_getChannelThreshold(v, 5, o); }, 15},
        {"200 mV on channel 1", [](ViSession v) { return tq775_setChannelThreshold(v, 1, 18); }, kBar2, 0x10, 0x3, 0,
         [](ViSession v, ViInt16 *o) { return tq775_getChannelThreshold(v, 1, o); }, 18},
        {"interrupt of channel 6", [](ViSession v) { return tq775_setChannelInterruptEnable(v, 6, 1); }, kBar2,
         0x00, 0xFFu << 24, 1u << 29, tq775_getInterruptMask, 0x20},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(c.set(vi), VI_SUCCESS) << c.what;
        EXPECT_EQ(reg(c.offset, c.space) & c.mask, c.expected) << c.what;
        ViInt16 back = -1;
        EXPECT_EQ(c.get(vi, &back), VI_SUCCESS) << c.what;
        EXPECT_EQ(back, c.readBack) << c.what;
    }
    TQStream *s = stream(vi);
    EXPECT_EQ(s->streamGetRate(s), 250.0) << "the window sets the stream's rate";
    ASSERT_EQ(tq775_setInterruptMask(vi, 0x05), VI_SUCCESS);
    for (ViInt16 c = 1; c <= 8; ++c) {
        ViInt32 on = -1;
        ASSERT_EQ(tq775_getChannelInterruptEnable(vi, c, &on), VI_SUCCESS);
        EXPECT_EQ(on, c == 1 || c == 3 ? 1 : 0) << c;
    }
}

TEST_F(Properties775, RefusalsLeaveTheSettingAsItWas)
{
    addCounter();
    ViSession vi = open();
    ViInt16 option = 0;
    ASSERT_EQ(tq775_getThresholdOption(vi, &option), VI_SUCCESS);
    ASSERT_EQ(option, 1);
    TQStream *s = stream(vi);
    struct Case {
        const char *what;
        std::function<ViStatus(ViSession)> set;
        ViStatus expected;
    } const cases[] = {
        {"window 0", [](ViSession v) { return tq775_setObservationWindowSize(v, 0); }, TQ775_ERROR_WINDOW},
        {"window 1025", [](ViSession v) { return tq775_setObservationWindowSize(v, 1025); }, TQ775_ERROR_WINDOW},
        {"tick rate 12", [](ViSession v) { return tq775_setTickClockRate(v, 12); }, TQ775_ERROR_PARAMETER2},
        {"tick source 9", [](ViSession v) { return tq775_setTickClockSource(v, 9); }, TQ775_ERROR_PARAMETER2},
        {"window source 13", [](ViSession v) { return tq775_setWindowClockSource(v, 13); }, TQ775_ERROR_PARAMETER2},
        {"health check 24", [](ViSession v) { return tq775_setHealthCheck(v, 24); }, TQ775_ERROR_PARAMETER2},
        {"500 mV on option A", [](ViSession v) { return tq775_setChannelThreshold(v, 1, 19); },
         TQ775_ERROR_THRESHOLD_OPTION},
        {"threshold 21", [](ViSession v) { return tq775_setChannelThreshold(v, 1, 21); }, TQ775_ERROR_PARAMETER3},
        {"threshold of channel 0", [](ViSession v) { return tq775_setChannelThreshold(v, 0, 17); },
         TQ775_ERROR_CHANNEL},
        {"filter of channel 9", [](ViSession v) { return tq775_setChannelFilterEnable(v, 9, 1); },
         TQ775_ERROR_CHANNEL},
        {"enable channel 9", [](ViSession v) { return tq775_setChannelEnable(v, 9, 1); }, VI_ERROR_INV_PARAMETER},
        {"name of 128 characters", [](ViSession v) { return tq775_setChannelName(v, 1, std::string(128, 'x').c_str()); },
         VI_ERROR_INV_PARAMETER},
        {"empty instrument name", [](ViSession v) { return tq775_setInstrumentName(v, ""); }, VI_ERROR_INV_PARAMETER},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.set(vi), c.expected) << c.what;
    EXPECT_EQ(s->streamGetRate(s), 1000.0);
    EXPECT_EQ(reg(0x10) & 0x3, 1u) << "threshold of channel 1 still 100 mV";
    char name[256] = {};
    ASSERT_EQ(tq775_getChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_STREQ(name, "Channel1");
    EXPECT_EQ(tq775_setChannelName(vi, 1, std::string(127, 'y').c_str()), VI_SUCCESS);
    ASSERT_EQ(tq775_getChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_EQ(strlen(name), 127u);
}

TEST_F(Properties775, OptionBBoardTakesItsOwnThresholds)
{
    addCounter("option=Bx21");
    ViSession vi = open();
    ViInt16 option = 0;
    ASSERT_EQ(tq775_getThresholdOption(vi, &option), VI_SUCCESS);
    EXPECT_EQ(option, 2);
    EXPECT_EQ(tq775_setChannelThreshold(vi, 2, 15), TQ775_ERROR_THRESHOLD_OPTION);
    ASSERT_EQ(tq775_setChannelThreshold(vi, 2, 20), VI_SUCCESS);
    EXPECT_EQ((reg(0x10) >> 2) & 3, 0u) << "1000 mV is the highest code";
    ASSERT_EQ(tq775_setChannelThreshold(vi, 2, 17), VI_SUCCESS);
    EXPECT_EQ((reg(0x10) >> 2) & 3, 3u);
}

TEST_F(Properties775, SimulationStoresWithoutTouchingTheBoard)
{
    addCounter();
    ViSession vi = open();
    ASSERT_EQ(tq775_setSimulationMode(vi, 1), VI_SUCCESS);
    const ViUInt32 control = reg(0x00), lines = reg(0x18), thresholds = reg(0x10);
    ASSERT_EQ(tq775_setTickClockSource(vi, 99), VI_SUCCESS) << "stored unchecked";
    ASSERT_EQ(tq775_setChannelThreshold(vi, 3, 20), VI_SUCCESS) << "stored unchecked";
    ASSERT_EQ(tq775_setWindowClockSource(vi, 4), VI_SUCCESS);
    EXPECT_EQ(tq775_setObservationWindowSize(vi, 0), TQ775_ERROR_WINDOW) << "checked in simulation too";
    EXPECT_EQ(tq775_setTickClockRate(vi, 3), TQ775_ERROR_PARAMETER2) << "checked in simulation too";
    ASSERT_EQ(tq775_setObservationWindowSize(vi, 20), VI_SUCCESS);
    EXPECT_EQ(reg(0x00), control);
    EXPECT_EQ(reg(0x18), lines);
    EXPECT_EQ(reg(0x10), thresholds);
    ViInt16 v = 0;
    ASSERT_EQ(tq775_getTickClockSource(vi, &v), VI_SUCCESS);
    EXPECT_EQ(v, 99);
    ASSERT_EQ(tq775_getObservationWindowSize(vi, &v), VI_SUCCESS);
    EXPECT_EQ(v, 20);
    // Leaving simulation applies the stored settings in order and stops at
    // the first the board refuses (the tick source).
    EXPECT_EQ(tq775_setSimulationMode(vi, 0), TQ775_ERROR_PARAMETER2);
    EXPECT_EQ(reg(0x00) & 0x3FF, 19u) << "the window came before the refused tick source";
}

TEST_F(Properties775, EnabledChannelsLayTheScanOut)
{
    ViSession vi = openWithoutInstrument();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq775_setChannelEnable(vi, 0, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetNumberChannels(s), 8);
    EXPECT_EQ(s->streamGetScanSize(s), 64);
    uint32_t scan[16] = {};
    for (int c = 1; c <= 8; ++c) {
        scan[2 * (c - 1)] = static_cast<uint32_t>(c * 10);
        scan[2 * (c - 1) + 1] = 10000;
    }
    for (int c = 1; c <= 8; ++c) {
        char name[16];
        snprintf(name, sizeof name, "Channel%d", c);
        TQStreamChannel *ch = s->streamGetChannel(s, name);
        ASSERT_NE(ch, nullptr);
        EXPECT_DOUBLE_EQ(ch->streamChannelEval(ch, scan), c * 10 * 1000.0) << "channel at byte " << 8 * (c - 1);
        EXPECT_EQ(ch->streamChannelEvalRaw(ch, scan), 0.0);
        EXPECT_STREQ(ch->eu, "hz");
    }
    ASSERT_EQ(tq775_setChannelEnable(vi, 0, 0), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 7, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetNumberChannels(s), 2);
    EXPECT_EQ(s->streamGetScanSize(s), 16);
    EXPECT_EQ(s->streamGetChannelByIndex(s, 0), s->streamGetChannel(s, "Channel2"));
    EXPECT_EQ(s->streamGetChannelByIndex(s, 1), s->streamGetChannel(s, "Channel7"));
    EXPECT_EQ(s->streamGetChannelByIndex(s, 2), nullptr);
    TQStreamChannel *seven = s->streamGetChannel(s, "Channel7");
    EXPECT_DOUBLE_EQ(seven->streamChannelEval(seven, scan), 20 * 1000.0) << "channel 7 at byte 8";
    // Ticks 0 give 0.0; the 1 MHz tick clock a tenth.
    const uint32_t noTicks[4] = {5, 0, 5, 0};
    EXPECT_EQ(seven->streamChannelEval(seven, noTicks), 0.0);
    ASSERT_EQ(tq775_setTickClockRate(vi, 11), VI_SUCCESS);
    const uint32_t words[4] = {0, 0, 1000, 10000000};
    EXPECT_DOUBLE_EQ(seven->streamChannelEval(seven, words), 100.0);
}

TEST_F(Properties775, ResetStopsClearsTheFlagsAndRestoresTheDefaults)
{
    addCounter("freq1=100; model=0x999");
    ViSession vi = VI_NULL;
    ASSERT_EQ(tq775_init(const_cast<ViRsrc>(kCounter), 1, 0, &vi), VI_SUCCESS) << "no identity check";
    open_.push_back(vi);
    TQStream *s = stream(vi);
    ASSERT_EQ(tq775_setObservationWindowSize(vi, 9), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelFilterEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);
    setReg(0x14, 0xFFFF);
    EXPECT_EQ(tq775_reset(vi), VI_SUCCESS);
    EXPECT_EQ(reg(0x14), 0u) << "every flag cleared";
    EXPECT_EQ(reg(0x00) & 0x3FF, 0u) << "window of 1 ms applied";
    EXPECT_EQ(reg(0x04), 0u);
    EXPECT_EQ(reg(0x10), 0x5555u) << "100 mV on every channel";
    EXPECT_EQ(s->streamGetScanSize(s), 0);
    EXPECT_EQ(s->streamGetRate(s), 1000.0);
    EXPECT_EQ(tq775_start(vi), TQ775_ERROR_NO_CHANNELS) << "stopped, no channel enabled";
    char driverRev[256] = {}, instrRev[256] = {};
    EXPECT_EQ(tq775_revision_query(vi, driverRev, instrRev), static_cast<ViStatus>(0x3FFC0105));
    EXPECT_STREQ(driverRev, "4.0.3.0");
    EXPECT_STREQ(instrRev, "<not available>");
    EXPECT_EQ(tq775_self_test(vi, nullptr, nullptr), static_cast<ViStatus>(0x3FFC0103));
    EXPECT_EQ(tq775_reset(12345), VI_WARN_UNKNOWN_STATUS);
}

TEST_F(Properties775, ByNameFormats)
{
    addCounter();
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq775_getPnPHandle(kCounter, &h), VI_SUCCESS);
    const ViSession vi = h->session;
    EXPECT_EQ(h->registerSpyMsg, nullptr);
    EXPECT_EQ(h->wait, nullptr);
    struct Case {
        const char *name, *value;
        ViStatus expected;
    } const sets[] = {
        {"ObservationWindowSize", "4", VI_SUCCESS},
        {"ChannelEnable", "2,1", VI_SUCCESS},
        {"ChannelName", "3,left wheel", VI_SUCCESS},
        {"ChannelThreshold", "1,15", VI_SUCCESS},
        {"ChannelInterruptEnable", "4,1", VI_SUCCESS},
        {"ThresholdOption", "2", VI_ERROR_NSUP_OPER},
        {"ThresholdOption", "two", VI_ERROR_INV_PARAMETER},
        {"ChannelEnable", "2", VI_ERROR_INV_PARAMETER},
        {"Bogus", "1", VI_ERROR_NSUP_OPER},
    };
    for (const Case &c : sets)
        EXPECT_EQ(h->setPropertyByName(vi, c.name, c.value), c.expected) << c.name << "=" << c.value;
    struct Get {
        const char *name, *index, *text;
        ViStatus expected;
    } const gets[] = {
        {"ChannelEnable", "2", "1", VI_SUCCESS},
        {"ChannelEnable", "3", "0", VI_SUCCESS},
        {"ChannelName", "3", "left wheel", VI_SUCCESS},
        {"ChannelInterruptEnable", "4", "1", VI_SUCCESS},
        {"ThresholdOption", "", "1", VI_SUCCESS},
        {"TickClockRate", "", "", VI_ERROR_NSUP_OPER},
    };
    for (const Get &g : gets) {
        char out[256] = {};
        EXPECT_EQ(h->getPropertyByName(vi, g.name, g.index, out, sizeof out), g.expected) << g.name;
        if (g.expected == VI_SUCCESS) {
            EXPECT_STREQ(out, g.text) << g.name;
        }
    }
    EXPECT_EQ(reg(0x00) & 0x3FF, 3u);
    EXPECT_EQ(h->doOperation(vi, "calibrate", ""), VI_ERROR_NSUP_OPER);
    h->release(&h);
}

TEST_F(Properties775, CrossCheckTextsPerOption)
{
    ViSession vi = openWithoutInstrument();
    char message[256] = {};
    EXPECT_EQ(tq775_crossCheck(vi, message), VI_SUCCESS) << "no channel enabled";
    ASSERT_EQ(tq775_setChannelThreshold(vi, 3, 20), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelThreshold(vi, 5, 19), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 3, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 5, 1), VI_SUCCESS);
    EXPECT_EQ(tq775_crossCheck(vi, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 5 threshold limited to 20,40,100,200mV") << "the highest such channel";
    ASSERT_EQ(tq775_setChannelThreshold(vi, 3, 17), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelThreshold(vi, 5, 17), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelName(vi, 3, "same"), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelName(vi, 5, "same"), VI_SUCCESS);
    EXPECT_EQ(tq775_crossCheck(vi, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 3 name 'same' not unique");
    ASSERT_EQ(tq775_setChannelName(vi, 3, ""), VI_SUCCESS);
    EXPECT_EQ(tq775_crossCheck(vi, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 3 must be assigned a name");
    ASSERT_EQ(tq775_setChannelName(vi, 3, "three"), VI_SUCCESS);
    EXPECT_EQ(tq775_crossCheck(vi, message), VI_SUCCESS);

    addCounter("option=B775");
    ViSession b = open();
    ASSERT_EQ(tq775_setSimulationMode(b, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelThreshold(b, 6, 16), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(b, 6, 1), VI_SUCCESS);
    EXPECT_EQ(tq775_crossCheck(b, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 6 threshold limited to 100,200,500,1000mV");
}

} // namespace
