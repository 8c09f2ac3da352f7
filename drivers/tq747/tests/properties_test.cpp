// The model 747's settings and range operations against the simulated
// card: what each setter writes (the write log), what its getter reads
// back, and that a simulated session only stores; the range operations
// over the carrier and the sites; channel counts and lookups.
#include <cstring>
#include <functional>

#include "fixture747.h"

namespace
{

using namespace tq747test;

struct FieldCase {
    const char *name;
    std::function<ViStatus(ViSession)> set;
    std::function<ViStatus(ViSession, ViInt16 &)> get;
    ViInt16 expected; // what the getter gives afterwards
    ViBusAddress offset;
    ViUInt16 width;
    ViUInt32 mask;
    ViUInt32 value;
};

std::vector<FieldCase> fieldCases()
{
    return {
        {"debounce group 9 = 3: code 2 in bits 0-3 of 0x14",
         [](ViSession vi) { return tq747_setChannelGroupDebounceTime(vi, 9, 3); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupDebounceTime(vi, 9, &v); }, 3, 0x14, 4, 0xF, 2},
        {"debounce group 2 = 5: code 4 in bits 4-7 of 0x10",
         [](ViSession vi) { return tq747_setChannelGroupDebounceTime(vi, 2, 5); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupDebounceTime(vi, 2, &v); }, 5, 0x10, 4, 0xF0,
         0x40},
        {"direction group 4 = 1: bit 3 of 0x18",
         [](ViSession vi) { return tq747_setChannelGroupDirection(vi, 4, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupDirection(vi, 4, &v); }, 1, 0x18, 4, 0x8, 0x8},
        {"power-up group 2 = 1: bit 1 of 0x1A, 16-bit",
         [](ViSession vi) { return tq747_setChannelGroupPowerupOutput(vi, 2, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupPowerupOutput(vi, 2, &v); }, 1, 0x1A, 2, 0x2,
         0x2},
        {"termination group 3 = 2: bits 4-5 of 0x1C",
         [](ViSession vi) { return tq747_setChannelGroupInputTermination(vi, 3, 2); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupInputTermination(vi, 3, &v); }, 2, 0x1C, 4,
         0x30, 0x20},
        {"strobe channel group 6 = 12: 11 in bits 0-3 of byte 1 of 0x28",
         [](ViSession vi) { return tq747_setChannelGroupStrobeChannel(vi, 6, 12); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupStrobeChannel(vi, 6, &v); }, 12, 0x28, 4,
         0xF00, 0xB00},
        {"strobe delay group 1 = 2 (100 ns): bit 5 of 0x24 clear",
         [](ViSession vi) { return tq747_setChannelGroupStrobeDelay(vi, 1, 2); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupStrobeDelay(vi, 1, &v); }, 2, 0x24, 4, 0x20, 0},
        {"strobe enable group 16 = 1: bit 6 of byte 3 of 0x30",
         [](ViSession vi) { return tq747_setChannelGroupStrobeEnable(vi, 16, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupStrobeEnable(vi, 16, &v); }, 1, 0x30, 4,
         0x40000000, 0x40000000},
        {"strobe polarity group 5 = 1: bit 4 of 0x28",
         [](ViSession vi) { return tq747_setChannelGroupStrobePolarity(vi, 5, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getChannelGroupStrobePolarity(vi, 5, &v); }, 1, 0x28, 4, 0x10,
         0x10},
        {"event enable 2 = 1: bit 1 of 0xD0", [](ViSession vi) { return tq747_setEventEnable(vi, 2, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getEventEnable(vi, 2, &v); }, 1, 0xD0, 4, 0x2, 0x2},
        {"interrupt enable: bit 15 of 0xD0", [](ViSession vi) { return tq747_setInterruptEnable(vi, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getInterruptEnable(vi, &v); }, 1, 0x68, 4, 0x40801, 0x40801},
        {"pattern bit of channel 40: bit 7 of 0x54",
         [](ViSession vi) { return tq747_setDigitalChannelPatternBit(vi, 40, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getDigitalChannelPatternBit(vi, 40, &v); }, 1, 0x54, 4, 0x80,
         0x80},
        {"change-of-state enable of site 3's channel 2 (162): bit 1 of 0xC8",
         [](ViSession vi) { return tq747_setDigitalChannelChangeOfStateEnable(vi, 162, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getDigitalChannelChangeOfStateEnable(vi, 162, &v); }, 1, 0xC8,
         4, 0x2, 0x2},
        {"pattern enable of site 1's channel 32 (160): bit 31 of 0x80",
         [](ViSession vi) { return tq747_setDigitalChannelPatternEnable(vi, 160, 1); },
         [](ViSession vi, ViInt16 &v) { return tq747_getDigitalChannelPatternEnable(vi, 160, &v); }, 1, 0x80, 4,
         0x80000000, 0x80000000},
    };
}

TEST_F(CarrierTest, SettersWriteTheirFieldGettersReadItBack)
{
    addCarrier("1,3");
    ViSession vi = open();
    for (const FieldCase &c : fieldCases()) {
        SCOPED_TRACE(c.name);
        clearWrites();
        ASSERT_EQ(c.set(vi), VI_SUCCESS);
        auto log = writes();
        ASSERT_FALSE(log.empty());
        const SimVisaWrite &w = log.back();
        EXPECT_EQ(w.offset, c.offset);
        EXPECT_EQ(w.width, c.width);
        EXPECT_EQ(w.value & c.mask, c.value) << std::hex << w.value;
        ViInt16 v = -1;
        ASSERT_EQ(c.get(vi, v), VI_SUCCESS);
        EXPECT_EQ(v, c.expected);
    }
}

TEST_F(CarrierTest, SimulatedSettersOnlyStore)
{
    addCarrier("1,3");
    ViSession vi = open();
    ASSERT_EQ(tq747_setSimulationMode(vi, 1), VI_SUCCESS);
    for (const FieldCase &c : fieldCases()) {
        SCOPED_TRACE(c.name);
        clearWrites();
        ASSERT_EQ(c.set(vi), VI_SUCCESS);
        EXPECT_TRUE(writes().empty());
        ViInt16 v = -1;
        ASSERT_EQ(c.get(vi, v), VI_SUCCESS);
        // Site channels keep no stored value in the carrier.
        if (std::string(c.name).find("site") == std::string::npos) {
            EXPECT_EQ(v, c.expected);
        }
    }
}

TEST_F(CarrierTest, OutOfRangeArgumentsChangeNothing)
{
    addCarrier("");
    ViSession vi = open();
    clearWrites();
    const std::function<ViStatus()> calls[] = {
        [&] { return tq747_setChannelGroupDebounceTime(vi, 0, 1); },
        [&] { return tq747_setChannelGroupDebounceTime(vi, 17, 1); },
        [&] { return tq747_setChannelGroupDebounceTime(vi, 1, 6); },
        [&] { return tq747_setChannelGroupDirection(vi, 1, 2); },
        [&] { return tq747_setChannelGroupInputTermination(vi, 1, 3); },
        [&] { return tq747_setChannelGroupStrobeChannel(vi, 1, 17); },
        [&] { return tq747_setDigitalChannelEnable(vi, 129, 1); },
        [&] { return tq747_setDigitalChannelPatternBit(vi, 0, 1); },
        [&] { return tq747_setEventEnable(vi, 3, 1); },
        [&] { return tq747_setEventChannelEnable(vi, 0, 1); },
        [&] { return tq747_setDemoDigitalChannelDutyCycle(vi, 129, 1); },
        [&] { return tq747_setDigitalChannelName(vi, 1, std::string(128, 'x').c_str()); },
        [&] { return tq747_setEventChannelName(vi, 1, std::string(200, 'y').c_str()); },
    };
    for (size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(calls[i](), VI_ERROR_INV_PARAMETER) << "call " << i;
    EXPECT_TRUE(writes().empty());
    char name[256] = {};
    ASSERT_EQ(tq747_getDigitalChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_STREQ(name, "DigitalChannel1");
    ASSERT_EQ(tq747_setDigitalChannelName(vi, 1, std::string(127, 'z').c_str()), VI_SUCCESS);
    ASSERT_EQ(tq747_getDigitalChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_EQ(strlen(name), 127u);
}

// ---- Range operations ---------------------------------------------------------

TEST_F(CarrierTest, DebounceRangeRoundsToTheTableAndNeedsWholeGroups)
{
    addCarrier("1,3");
    ViSession vi = open();
    ViUInt32 actual = 0;
    EXPECT_EQ(tq747_setDebounceTime(vi, 1, 16, 700, &actual), TQ747_WARN_NEAREST);
    EXPECT_EQ(actual, 1000u);
    EXPECT_EQ(reg(0x10) & 0xFF, 0x22u);
    EXPECT_EQ(tq747_setDebounceTime(vi, 3, 16, 1000, &actual), TQ747_ERROR_ALIGNMENT);
    // Across the carrier's last group and site 1: the module gets its part.
    EXPECT_EQ(tq747_setDebounceTime(vi, 121, 136, 100000, &actual), VI_SUCCESS);
    EXPECT_EQ((reg(0x14) >> 28) & 0xF, 4u);
    ViUInt32 values[16] = {};
    ASSERT_EQ(tq747_getDebounceTime(vi, 121, 136, values), VI_SUCCESS);
    for (ViUInt32 v : values)
        EXPECT_EQ(v, 100000u);
    ASSERT_EQ(tq747_getDebounceTime(vi, 137, 137, values), VI_SUCCESS);
    EXPECT_EQ(values[0], 0u) << "site 1's second group untouched";
}

struct RangeCase {
    const char *name;
    ViInt16 first, last;
    ViStatus expected;
};

TEST_F(CarrierTest, RangeOperationsRefuseBadRanges)
{
    addCarrier("1,3");
    ViSession vi = open();
    const RangeCase cases[] = {
        {"first 0", 0, 8, VI_ERROR_INV_PARAMETER},
        {"last below first", 9, 8, VI_ERROR_INV_PARAMETER},
        {"past the last site channel", 185, 193, VI_ERROR_INV_PARAMETER},
        {"negative first", -8, 8, VI_ERROR_INV_PARAMETER},
    };
    ViUInt8 bits[32] = {};
    ViUInt32 us[256] = {};
    ViInt16 values[256] = {};
    for (const RangeCase &c : cases) {
        SCOPED_TRACE(c.name);
        clearWrites();
        EXPECT_EQ(tq747_setIoDirection(vi, c.first, c.last, 1), c.expected);
        EXPECT_EQ(tq747_setPowerupOutput(vi, c.first, c.last, 1), c.expected);
        EXPECT_EQ(tq747_setResistorConfig(vi, c.first, c.last, 1), c.expected);
        EXPECT_EQ(tq747_writeIoData(vi, c.first, c.last, bits), c.expected);
        EXPECT_EQ(tq747_writePatternRecognition(vi, c.first, c.last, bits), c.expected);
        EXPECT_EQ(tq747_writeChangeOfStateMask(vi, c.first, c.last, bits), c.expected);
        EXPECT_EQ(tq747_getDebounceTime(vi, c.first, c.last, us), c.expected);
        EXPECT_EQ(tq747_getResistorConfig(vi, c.first, c.last, values), c.expected);
        EXPECT_EQ(tq747_readIoData(vi, c.first, c.last, bits), c.expected);
        EXPECT_EQ(tq747_getIoDirection(vi, c.first, c.last, bits), c.expected);
        EXPECT_TRUE(writes().empty());
    }
}

TEST_F(CarrierTest, IoDataAcrossTheCarrierAndTheSites)
{
    addCarrier("1,3");
    ViSession vi = open();
    // Carrier group 16 and site 1's first group as outputs.
    ASSERT_EQ(tq747_setIoDirection(vi, 121, 136, 1), VI_SUCCESS);
    EXPECT_EQ(reg(0x18) & 0x8000, 0x8000u);
    ViUInt8 dir[2] = {};
    ASSERT_EQ(tq747_getIoDirection(vi, 121, 136, dir), VI_SUCCESS);
    EXPECT_EQ(dir[0], 0xFF);
    EXPECT_EQ(dir[1], 0xFF);
    // Bits 121..136: carrier 121-128 gets 0xA5, site 1 channels 1-8 get 0x3C.
    ViUInt8 out[2] = {0xA5, 0x3C};
    ASSERT_EQ(tq747_writeIoData(vi, 121, 136, out), VI_SUCCESS);
    EXPECT_EQ(reg(0x0C) >> 24, 0xA5u);
    ViUInt8 back[2] = {};
    ASSERT_EQ(tq747_readIoData(vi, 121, 136, back), VI_SUCCESS);
    EXPECT_EQ(back[0], 0xA5);
    EXPECT_EQ(back[1], 0x3C);
    // The module's own view of its lines.
    ViUInt8 module[1] = {};
    ViSession m = VI_NULL;
    ASSERT_EQ(tq747_createIPSession(vi, 1, &m), VI_SUCCESS);
    ASSERT_EQ(tq740_readIoData(m, 1, 8, module), VI_SUCCESS);
    EXPECT_EQ(module[0], 0x3C);
    tq740_close(m);

    // Inputs of site 3 read through the carrier.
    configure("site3.in=0x80000001");
    ViUInt8 in[4] = {};
    ASSERT_EQ(tq747_readIoData(vi, 161, 192, in), VI_SUCCESS);
    EXPECT_EQ(in[0], 0x01);
    EXPECT_EQ(in[3], 0x80);
}

TEST_F(CarrierTest, StrobeRangesOverGroupsAndSites)
{
    addCarrier("1,3");
    ViSession vi = open();
    ViUInt32 actual = 0;
    EXPECT_EQ(tq747_setOutputStrobeDelay(vi, 1, 16, 500, &actual), TQ747_WARN_NEAREST);
    EXPECT_EQ(actual, 100u);
    EXPECT_EQ(tq747_setOutputStrobeDelay(vi, 129, 192, 1000, &actual), VI_SUCCESS);
    EXPECT_EQ(reg(0x34) & 0x00200020, 0x00200020u) << "site bytes 0 and 2 (sites 1 and 3)";
    EXPECT_EQ(tq747_setOutputStrobeDelay(vi, 129, 150, 1000, &actual), TQ747_ERROR_ALIGNMENT);
    ViUInt32 ns[64] = {};
    ASSERT_EQ(tq747_getOutputStrobeDelay(vi, 159, 162, ns), VI_SUCCESS);
    EXPECT_EQ(ns[0], 1000u);
    EXPECT_EQ(ns[3], 1000u);

    EXPECT_EQ(tq747_setStrobeDirection(vi, 1, 8, 1), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq747_setStrobeDirection(vi, 161, 192, 1), VI_SUCCESS);
    EXPECT_EQ(reg(0x34) & 0x00800000, 0x00800000u);
    EXPECT_EQ(tq747_setStrobeEnable(vi, 161, 192, 17), TQ747_ERROR_STROBE);
    EXPECT_EQ(tq747_setStrobeEnable(vi, 161, 192, 3), VI_SUCCESS);
    EXPECT_EQ((reg(0x34) >> 16) & 0xFF, 0x80u | 0x20u | 0x40u | 0x2u);
    ViInt16 channels[32] = {};
    ASSERT_EQ(tq747_getStrobeEnable(vi, 161, 192, channels), VI_SUCCESS);
    EXPECT_EQ(channels[0], 3);
    EXPECT_EQ(tq747_setStrobePolarity(vi, 129, 150, 1), TQ747_ERROR_ALIGNMENT);
    EXPECT_EQ(tq747_setStrobePolarity(vi, 1, 8, 2), TQ747_ERROR_STROBE);
}

// ---- Channel counts and lookups --------------------------------------------------

TEST_F(CarrierTest, ChannelByIndexHandsOutExactlyWhatTheCountCounts)
{
    addCarrier("1,3");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_NE(s, nullptr);
    // Channels 1 and 2 (input), 9 (group 2, output), event channel 1, and
    // site 3's channel 5.
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 9, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setEventChannelEnable(vi, 1, 1), VI_SUCCESS);
    ViSession m = VI_NULL;
    ASSERT_EQ(tq747_createIPSession(vi, 3, &m), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(m, 5, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetNumberChannels(s), 5);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 2, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetNumberChannels(s), 4);
    EXPECT_EQ(s->streamGetNumberOutputChannels(s), 1);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 2, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetNumberChannels(s), 4) << "the same direction again changes nothing";

    const char *expected[] = {"DigitalChannel1", "DigitalChannel2", "EventChannel1", "DigitalChannel5site3"};
    for (int32_t i = 0; i < s->streamGetNumberChannels(s); ++i) {
        TQStreamChannel *c = s->streamGetChannelByIndex(s, i);
        ASSERT_NE(c, nullptr) << "index " << i << " of the counted channels";
        EXPECT_STREQ(c->name, expected[i]);
    }
    EXPECT_EQ(s->streamGetChannelByIndex(s, 4), nullptr);

    // A module reset clears its enables: the count follows.
    ASSERT_EQ(tq740_reset(m), VI_SUCCESS);
    EXPECT_EQ(s->streamGetNumberChannels(s), 3);
    EXPECT_EQ(s->streamGetChannelByIndex(s, 3), nullptr);
    EXPECT_NE(s->streamGetChannelByIndex(s, 2), nullptr);
    tq740_close(m);
}

TEST_F(CarrierTest, ChangeOfStateTextIsCutToFitAMessageBuffer)
{
    addCarrier("");
    ViSession vi = open();
    // Every carrier channel changed: the full list is some 430 characters.
    for (ViBusAddress o = 0x90; o < 0xA0; o += 4)
        setReg(o, 0xFFFFFFFF);
    setReg(0xD4, 1);
    char message[256];
    memset(message, 'Z', sizeof message);
    ViUInt16 status = 0;
    ASSERT_EQ(tq747_getEventStatus(vi, 1, &status, 0, message), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(strlen(message), 243u);
    EXPECT_EQ(std::string(message).substr(0, 30), "Change Of State Channel(s): 1,");
    EXPECT_EQ(std::string(message).substr(240), "...");

    // A short list stays whole.
    for (ViBusAddress o = 0x90; o < 0xA0; o += 4)
        setReg(o, 0);
    setReg(0x90, 1u << 2);
    setReg(0x94, 1u << 7);
    ASSERT_EQ(tq747_getEventStatus(vi, 1, &status, 0, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Change Of State Channel(s): 3,40");
    ASSERT_EQ(tq747_getEventStatus(vi, 2, &status, 0, message), VI_SUCCESS);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tq747_getEventStatus(vi, 3, &status, 0, message), VI_ERROR_INV_PARAMETER);
}

TEST_F(CarrierTest, ByNameTables)
{
    addCarrier("");
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq747_getPnPHandle(kCarrier, &h), VI_SUCCESS);
    struct {
        const char *name, *value;
        ViStatus status;
    } const sets[] = {
        {"ScanClockRate", "250.5", VI_SUCCESS},          {"RefreshRate", "4", VI_SUCCESS},
        {"BufferDuration", "3", VI_SUCCESS},             {"DigitalChannelEnable", "3,1", VI_SUCCESS},
        {"DigitalChannelName", "3,door", VI_SUCCESS},    {"DemoDigitalChannelFrequency", "3,2.5", VI_SUCCESS},
        {"EventChannelDuration", "2,25", VI_SUCCESS},    {"NoSuchProperty", "1", VI_ERROR_NSUP_OPER},
        {"ChannelGroupDebounceTime", "x", VI_ERROR_INV_PARAMETER},
    };
    for (const auto &c : sets)
        EXPECT_EQ(h->setPropertyByName(h->session, c.name, c.value), c.status) << c.name;
    struct {
        const char *name, *index, *value;
        ViStatus status;
    } const gets[] = {
        {"ScanClockRate", "", "250.500000", VI_SUCCESS},
        {"RefreshRate", "", "4", VI_SUCCESS},
        {"BufferDuration", "", "3", VI_SUCCESS},
        {"DigitalChannelEnable", "3", "1", VI_SUCCESS},
        {"DigitalChannelName", "3", "door", VI_SUCCESS},
        {"DemoDigitalChannelFrequency", "3", "2.500000", VI_SUCCESS},
        {"EventChannelDuration", "2", "25", VI_SUCCESS},
        {"InterruptEnable", "", "", VI_ERROR_NSUP_OPER},
        {"ChannelGroupDirection", "1", "", VI_ERROR_NSUP_OPER},
        {"EventEnable", "1", "", VI_ERROR_NSUP_OPER},
    };
    for (const auto &c : gets) {
        char value[256] = {};
        EXPECT_EQ(h->getPropertyByName(h->session, c.name, c.index, value, sizeof value), c.status) << c.name;
        if (c.status == VI_SUCCESS) {
            EXPECT_STREQ(value, c.value) << c.name;
        }
    }
    h->release(&h);
}

} // namespace
