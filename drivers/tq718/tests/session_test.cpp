// Model 718 sessions: option words read at open, channel records and the
// scan layout the stream sees, the board's small exports, reset, and the
// event status.
#include <cstring>

#include "fixture718.h"

namespace tq718test
{
namespace
{

// ---- Option words ------------------------------------------------------------------

struct OptionCase {
    const char *label;
    const char *settings;
    ViBoolean ready;
    ViInt16 type, option;
};

std::ostream &operator<<(std::ostream &o, const OptionCase &c)
{
    return o << c.label;
}

class OptionWords : public Board718Test, public ::testing::WithParamInterface<OptionCase>
{
};

TEST_P(OptionWords, DecodeAtOpen)
{
    const OptionCase &c = GetParam();
    addBoard(kBoard, c.settings);
    const ViSession vi = open();
    ViBoolean ready = 9;
    ViInt16 type = 9, option = 9, count = 0;
    EXPECT_EQ(tq718_getFilterReady(vi, &ready), VI_SUCCESS);
    EXPECT_EQ(tq718_getFilterType(vi, &type), VI_SUCCESS);
    EXPECT_EQ(tq718_getFilterOption(vi, &option), VI_SUCCESS);
    EXPECT_EQ(tq718_getAnalogChannelCount(vi, &count), VI_SUCCESS);
    EXPECT_EQ(ready, c.ready);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(option, c.option);
    EXPECT_EQ(count, 4);
}

INSTANTIATE_TEST_SUITE_P(Boards, OptionWords,
                         ::testing::Values(OptionCase{"filterCardFirstKind", "option=0; filter=0", 1, 1, 1},
                                           OptionCase{"filterCardSecondKind", "option=0x10000; filter=0x0101", 1, 2, 2},
                                           OptionCase{"filterCardUnknownKind", "option=0; filter=0x0203", 1, 0, 0},
                                           OptionCase{"noFilterCard", "option=0x2; filter=0x0101", 0, 0, 0}),
                         [](const ::testing::TestParamInfo<OptionCase> &info) {
                             return std::string(info.param.label);
                         });

TEST_F(Board718Test, WithoutInstrumentTheOptionWordIsZero)
{
    const ViSession vi = openWithoutInstrument();
    ViBoolean ready = 0;
    ViInt16 type = 9, option = 9;
    EXPECT_EQ(tq718_getFilterReady(vi, &ready), VI_SUCCESS);
    EXPECT_EQ(tq718_getFilterType(vi, &type), VI_SUCCESS);
    EXPECT_EQ(tq718_getFilterOption(vi, &option), VI_SUCCESS);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(option, 0);
}

TEST_F(Board718Test, AnUnreadableOptionWordFailsTheOpen)
{
    addBoard();
    ASSERT_EQ(sim().simvisa_failOffset(kBoard, kBar2, 0x7004, SIMVISA_READS, VI_ERROR_BERR), VI_SUCCESS);
    ViSession vi = 123;
    EXPECT_EQ(tq718_init(const_cast<ViRsrc>(kBoard), 0, 0, &vi), VI_ERROR_ALLOC);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
}

TEST_F(Board718Test, AnUnreadableFilterWordLeavesTheFilterUnknown)
{
    addBoard(kBoard, "filter=0x0101");
    ASSERT_EQ(sim().simvisa_failOffset(kBoard, kBar2, 0x7008, SIMVISA_READS, VI_ERROR_BERR), VI_SUCCESS);
    const ViSession vi = open();
    ViBoolean ready = 0;
    ViInt16 type = 9, option = 9;
    tq718_getFilterReady(vi, &ready);
    tq718_getFilterType(vi, &type);
    tq718_getFilterOption(vi, &option);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(option, 0);
}

TEST_F(Board718Test, OptionValuesAreReadOnlyAndTraced)
{
    addBoard();
    const ViSession vi = open();
    EXPECT_EQ(tq718_setAnalogChannelCount(vi, 2), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq718_setFilterReady(vi, 0), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq718_setFilterOption(vi, 2), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq718_setFilterType(vi, 2), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq718_setFilterType(vi + 1, 2), VI_ERROR_INV_OBJECT);

    LineSink spy;
    ASSERT_EQ(tq718_registerSpyMsg(vi, spy.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_setInstrumentName(vi, "rig"), VI_SUCCESS);
    ViBoolean ready = 0;
    ASSERT_EQ(tq718_getFilterReady(vi, &ready), VI_SUCCESS);
    char expected[256];
    snprintf(expected, sizeof expected, "tq718_getFilterReady(%#x(rig),%#lx(0x1)) retVal=0\n", vi,
             reinterpret_cast<unsigned long>(&ready));
    EXPECT_EQ(spy.take(), std::vector<std::string>{expected});
}

// ---- Channels and the scan layout ---------------------------------------------------

TEST_F(Board718Test, EnabledChannelsMakeTheScanLayout)
{
    addBoard();
    const ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->streamGetScanSize(s), 0);

    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 3, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 2, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetScanSize(s), 6);
    EXPECT_EQ(s->streamGetNumberChannels(s), 3);
    EXPECT_EQ(reg(0x14), 0x2005u) << "channels 1 and 3 and the event word on the board";

    // Channel 1 at byte 0, channel 3 at byte 2, the event word at byte 4.
    const int16_t scan[3] = {-1234, 567, 0x0002};
    TQStreamChannel *first = s->streamGetChannelByIndex(s, 0);
    TQStreamChannel *second = s->streamGetChannelByIndex(s, 1);
    TQStreamChannel *event = s->streamGetChannelByIndex(s, 2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(s->streamGetChannelByIndex(s, 3), nullptr);
    EXPECT_STREQ(first->name, "AnalogChannel1");
    EXPECT_STREQ(second->name, "AnalogChannel3");
    EXPECT_STREQ(event->name, "EventChannel2");
    EXPECT_EQ(first->streamChannelEvalRaw(first, scan), -1234);
    EXPECT_EQ(second->streamChannelEvalRaw(second, scan), 567);
    EXPECT_EQ(event->streamChannelEval(event, scan), 1.0) << "event channel 2 is bit 1";
    EXPECT_NEAR(second->streamChannelEval(second, scan), 567 * 0.00038427734375, 1e-12);

    // Disabling channel 1 moves the others forward.
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 0), VI_SUCCESS);
    EXPECT_EQ(s->streamGetScanSize(s), 4);
    EXPECT_EQ(s->streamGetNumberChannels(s), 2);
    const int16_t shorter[2] = {321, 0x0002};
    EXPECT_EQ(second->streamChannelEvalRaw(second, shorter), 321);
    EXPECT_EQ(event->streamChannelEval(event, shorter), 1.0);
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 2, 0), VI_SUCCESS);
    EXPECT_EQ(s->streamGetScanSize(s), 2);
    EXPECT_EQ(reg(0x14), 0x4u) << "the last event channel takes the event word out";
}

TEST_F(Board718Test, EventChannelFifteenIsAChannelLikeTheOthers)
{
    addBoard();
    const ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq718_setEventChannelName(vi, 15, "Door"), VI_SUCCESS);
    TQStreamChannel *byName = s->streamGetChannel(s, "Door");
    ASSERT_NE(byName, nullptr) << "found by name while disabled";
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 15, 1), VI_SUCCESS);
    EXPECT_EQ(s->streamGetChannelByIndex(s, 0), byName);
    const uint16_t word = 0x4000;
    EXPECT_EQ(byName->streamChannelEval(byName, &word), 1.0) << "bit 14";
    EXPECT_EQ(byName->streamChannelEvalRaw(byName, &word), 16384.0);
    EXPECT_EQ(tq718_setEventChannelEnable(vi, 16, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setEventChannelName(vi, 0, "x"), VI_ERROR_INV_PARAMETER);
}

TEST_F(Board718Test, CaptureRecordsEventChannelFifteen)
{
    addBoard();
    const ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelName(vi, 15, "LastEventLine"), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 15, 1), VI_SUCCESS);
    const std::string file = std::string(getenv("TQ_TEST_TMPDIR")) + "/tq718_capture15.stm";
    remove(file.c_str());
    ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_SUCCESS);
    ASSERT_EQ(s->streamCaptureClose(s), 0);
    FILE *f = fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string bytes;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, n);
    fclose(f);
    EXPECT_NE(bytes.find("AnalogChannel2"), std::string::npos);
    EXPECT_NE(bytes.find("LastEventLine"), std::string::npos) << "the header describes event channel 15";
}

TEST_F(Board718Test, ChannelInformation)
{
    addBoard();
    const ViSession vi = open();
    ViInt16 count = 0, connector = 0, first = 0, second = 0;
    EXPECT_EQ(tq718_getNumberChannels(vi, &count), VI_SUCCESS);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(tq718_getNumberConnectors(vi, &count), VI_SUCCESS);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(tq718_getNumberChannels(vi, nullptr), VI_SUCCESS);
    EXPECT_EQ(tq718_getChannelLocation(vi, 3, &connector, &first, &second), VI_SUCCESS);
    EXPECT_EQ(connector, 3);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 10);
    EXPECT_EQ(tq718_getChannelLocation(vi, 2, nullptr, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(tq718_getChannelLocation(vi, 5, &connector, &first, &second), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getAnalogChannelConnector(vi, 4, &connector), VI_SUCCESS);
    EXPECT_EQ(connector, 4);

    char units[64];
    EXPECT_EQ(tq718_getChannelEngineeringUnits(vi, TQ718_KIND_ANALOG, 1, units), VI_SUCCESS);
    EXPECT_STREQ(units, "volts");
    ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 2), VI_SUCCESS);
    EXPECT_EQ(tq718_getChannelEngineeringUnits(vi, TQ718_KIND_ANALOG, 1, units), VI_SUCCESS);
    EXPECT_STREQ(units, "percent");
    EXPECT_EQ(tq718_getChannelEngineeringUnits(vi, TQ718_KIND_EVENT, 15, units), VI_SUCCESS);
    EXPECT_STREQ(units, "binary");
    EXPECT_EQ(tq718_getChannelEngineeringUnits(vi, 2, 1, units), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getChannelEngineeringUnits(vi, TQ718_KIND_EVENT, 16, units), VI_ERROR_INV_PARAMETER);

    ViInt16 kind = 0, number = 0;
    ASSERT_EQ(tq718_setAnalogChannelName(vi, 2, "Load"), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelName(vi, 7, "Gate"), VI_SUCCESS);
    EXPECT_EQ(tq718_getChannelNumber(vi, "Load", &kind, &number), VI_SUCCESS);
    EXPECT_EQ(kind, TQ718_KIND_ANALOG);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(tq718_getChannelNumber(vi, "Gate", &kind, &number), VI_SUCCESS);
    EXPECT_EQ(kind, TQ718_KIND_EVENT);
    EXPECT_EQ(number, 7);
    EXPECT_EQ(tq718_getChannelNumber(vi, "EventChannel15", &kind, &number), VI_SUCCESS);
    EXPECT_EQ(number, 15);
    EXPECT_EQ(tq718_getChannelNumber(vi, "gate", &kind, &number), VI_ERROR_INV_PARAMETER);

    char rsrc[256] = "";
    EXPECT_EQ(tq718_getRsrcName(vi, rsrc), VI_SUCCESS);
    EXPECT_STREQ(rsrc, kBoard);
}

TEST_F(Board718Test, ChannelNamesAreBoundedAndCopied)
{
    const ViSession vi = openWithoutInstrument();
    char name[256];
    EXPECT_EQ(tq718_getAnalogChannelName(vi, 4, name), VI_SUCCESS);
    EXPECT_STREQ(name, "AnalogChannel4");
    EXPECT_EQ(tq718_getEventChannelName(vi, 15, name), VI_SUCCESS);
    EXPECT_STREQ(name, "EventChannel15");
    const std::string longest(127, 'a'), tooLong(128, 'a');
    EXPECT_EQ(tq718_setAnalogChannelName(vi, 1, longest.c_str()), VI_SUCCESS);
    EXPECT_EQ(tq718_getAnalogChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_EQ(std::string(name), longest);
    EXPECT_EQ(tq718_setAnalogChannelName(vi, 1, tooLong.c_str()), VI_ERROR_INV_LENGTH);
    EXPECT_EQ(tq718_setEventChannelName(vi, 1, tooLong.c_str()), VI_ERROR_INV_LENGTH);
    EXPECT_EQ(tq718_getAnalogChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_EQ(std::string(name), longest) << "a refused name changes nothing";
    EXPECT_EQ(tq718_setAnalogChannelName(vi, 1, ""), VI_SUCCESS);
    EXPECT_EQ(tq718_getAnalogChannelName(vi, 1, name), VI_SUCCESS);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(tq718_setAnalogChannelName(vi, 1, nullptr), VI_ERROR_INV_PARAMETER);
}

// Channel numbers outside 1 to 4 (analog) and 1 to 15 (event) are refused
// by every per-channel export; 0 means all only for the setters that say so.
TEST_F(Board718Test, ChannelNumbersOutsideTheirRangeAreRefused)
{
    const ViSession vi = openWithoutInstrument();
    ViInt16 v16 = 0;
    ViBoolean b = 0;
    ViReal64 d = 0;
    char text[256];
    for (ViInt16 c : {ViInt16(-1), ViInt16(5)}) {
        SCOPED_TRACE(c);
        EXPECT_EQ(tq718_setAnalogChannelEnable(vi, c, 1), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, c, 2), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelMux(vi, c, 2), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelLimitCheckMinLvl(vi, c, 1.0), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelExcitation(vi, c, 1.0), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelBridgeBalanceEnable(vi, c, 1), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelShuntCalPolarity(vi, c, 2), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setAnalogChannelPositiveShuntedPcnt(vi, c, 1.0), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_setDemoAnalogChannelType(vi, c, 2), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_getAnalogChannelSense(vi, c, &v16), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq718_getAnalogChannelName(vi, c, text), VI_ERROR_INV_PARAMETER);
    }
    // 0 is not "all" for the getters nor for the settings of one channel.
    EXPECT_EQ(tq718_getAnalogChannelEnable(vi, 0, &b), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getAnalogChannelExcitation(vi, 0, &d), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelName(vi, 0, "x"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setAnalogChannelPositiveShuntedPcnt(vi, 0, 1.0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_setDemoAnalogChannelScale(vi, 0, 1.0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getEventChannelEnable(vi, 0, &b), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getEventChannelEnable(vi, 16, &b), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getEventChannelEnable(vi, 15, &b), VI_SUCCESS);
    // Events: 1 to 18 without 14 and 16.
    for (ViInt16 e : {ViInt16(0), ViInt16(14), ViInt16(16), ViInt16(19)})
        EXPECT_EQ(tq718_setEventEnable(vi, e, 1), VI_ERROR_INV_PARAMETER) << e;
    EXPECT_EQ(tq718_setEventEnable(vi, 15, 1), VI_SUCCESS);
    // I/O lines 1 and 2.
    EXPECT_EQ(tq718_setIOInputRoute(vi, 3, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_getIOOutputInversion(vi, 0, &b), VI_ERROR_INV_PARAMETER);
}

TEST_F(Board718Test, SettingAllChannelsStopsAtTheFirstFailure)
{
    addBoard();
    const ViSession vi = open();
    // Channel 3's excitation register refuses writes: channels 1 and 2 are
    // enabled, 3 and 4 are not.
    ASSERT_EQ(sim().simvisa_failOffset(kBoard, kBar2, 0x38, SIMVISA_WRITES, VI_ERROR_BERR), VI_SUCCESS);
    EXPECT_EQ(tq718_setAnalogChannelEnable(vi, 0, 1), VI_ERROR_BERR);
    ViBoolean enabled[4];
    for (ViInt16 c = 1; c <= 4; ++c)
        tq718_getAnalogChannelEnable(vi, c, &enabled[c - 1]);
    EXPECT_EQ(enabled[0], 1);
    EXPECT_EQ(enabled[1], 1);
    EXPECT_EQ(enabled[2], 0);
    EXPECT_EQ(enabled[3], 0);
    EXPECT_EQ(stream(vi)->streamGetScanSize(stream(vi)), 4) << "the layout follows what the board took";
}

// ---- Reset ----------------------------------------------------------------------------

TEST_F(Board718Test, ResetRestartsTheBoardAndAppliesTheDefaults)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 2, 7), VI_SUCCESS);
    ASSERT_EQ(tq718_setTriggerMode(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setScanClockRate(vi, 5000.0), VI_SUCCESS);
    clearWrites();
    EXPECT_EQ(tq718_reset(vi), VI_SUCCESS);
    const std::vector<SimVisaWrite> log = writes();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].offset, 0xE0u);
    EXPECT_EQ(log[0].value & 1, 1u) << "the board reset comes first";

    ViBoolean enabled = 1;
    ViInt16 range = 0, mode = 0;
    ViReal64 rate = 0;
    EXPECT_EQ(tq718_getAnalogChannelEnable(vi, 2, &enabled), VI_SUCCESS);
    EXPECT_EQ(tq718_getAnalogChannelInputVoltageRange(vi, 2, &range), VI_SUCCESS);
    EXPECT_EQ(tq718_getTriggerMode(vi, &mode), VI_SUCCESS);
    EXPECT_EQ(tq718_getScanClockRate(vi, &rate), VI_SUCCESS);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(range, 1);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(rate, 100.0);
    EXPECT_EQ(reg(0x04), 199998u) << "the defaults were written to the board";
    EXPECT_EQ(reg(0x20), 0u) << "full bridges on every channel";
    EXPECT_EQ(stream(vi)->streamGetScanSize(stream(vi)), 0);
}

TEST_F(Board718Test, ABoardThatDoesNotComeBackFromResetIsReported)
{
    addBoard(kBoard, "resetstuck=1");
    const ViSession vi = open();
    EXPECT_EQ(tq718_reset(vi), VI_WARN_UNKNOWN_STATUS);
    EXPECT_EQ(reg(0xE0) & 1, 1u);
}

TEST_F(Board718Test, InitWithResetResetsTheBoard)
{
    addBoard();
    setReg(0x10, 0x5555); // left over from an earlier user
    const ViSession vi = open(kBoard, 1);
    EXPECT_EQ(reg(0x10), 0u);
    const std::vector<SimVisaWrite> log = writes();
    bool reset = false;
    for (const SimVisaWrite &w : log)
        reset = reset || (w.offset == 0xE0 && (w.value & 1));
    EXPECT_TRUE(reset);
    EXPECT_EQ(tq718_getSimulationMode(vi, nullptr), 0);
}

TEST_F(Board718Test, ResetInSimulationOnlySetsTheDefaults)
{
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelMux(vi, 1, 4), VI_SUCCESS);
    clearWrites();
    EXPECT_EQ(tq718_reset(vi), VI_SUCCESS);
    EXPECT_TRUE(writes().empty());
    ViInt16 mux = 0;
    EXPECT_EQ(tq718_getAnalogChannelMux(vi, 1, &mux), VI_SUCCESS);
    EXPECT_EQ(mux, 1);
}

TEST_F(Board718Test, StatusTextsOfTheDriver)
{
    char text[256];
    const ViSession vi = openWithoutInstrument();
    EXPECT_EQ(tq718_error_message(VI_NULL, TQ718_WARN_ALREADY_RUNNING, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Device already Running.");
    EXPECT_EQ(tq718_error_message(vi, TQ718_ERROR_NO_CHANNELS, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Operation failed because no channels are enabled.");
    EXPECT_EQ(tq718_error_message(vi, TQ718_ERROR_RUNNING, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Operation failed because device is running.");
    close(vi);
    EXPECT_EQ(tq718_error_message(VI_NULL, TQ718_WARN_ALREADY_RUNNING, text), VI_ERROR_SYSTEM_ERROR);
}

// ---- Events ---------------------------------------------------------------------------

TEST_F(Board718Test, EventStatusOfOneEvent)
{
    addBoard();
    const ViSession vi = open();
    setReg(0xD4, (1u << 4) | (1u << 14)); // PXI line 0 and transient complete pending
    ViUInt16 status = 9;
    char message[256] = "untouched";
    EXPECT_EQ(tq718_getEventStatus(vi, 3, &status, 1, message), VI_SUCCESS);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(message, "untouched") << "nothing written for an event that is not pending";

    clearWrites();
    EXPECT_EQ(tq718_getEventStatus(vi, 5, &status, 0, message), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(message, "PXI 0 Trigger");
    EXPECT_TRUE(writes().empty()) << "not cleared unless asked";
    EXPECT_EQ(tq718_getEventStatus(vi, 15, &status, 1, message), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(message, "Transient Complete");
    EXPECT_EQ(reg(0xD4), 1u << 4) << "the event's bit written as one clears only it";

    for (ViUInt16 e : {ViUInt16(0), ViUInt16(14), ViUInt16(16), ViUInt16(19)})
        EXPECT_EQ(tq718_getEventStatus(vi, e, &status, 0, message), VI_ERROR_INV_PARAMETER) << e;
}

TEST_F(Board718Test, LimitViolationEventNamesTheChannels)
{
    addBoard();
    const ViSession vi = open();
    setReg(0xD4, 1);
    setReg(0x88, 0x5);
    ViUInt16 status = 0;
    char message[256] = "";
    EXPECT_EQ(tq718_getEventStatus(vi, 1, &status, 0, message), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(message, "Limit Violation Channels: 1,3");
    EXPECT_EQ(reg(0x88), 0u) << "reading the channels clears them";
}

TEST_F(Board718Test, RegisterAccessorsReachTheBoard)
{
    addBoard();
    const ViSession vi = open();
    setReg(0x88, 0xA);
    ViUInt32 channels = 0;
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckChannels(vi, &channels, 0x2), VI_SUCCESS);
    EXPECT_EQ(channels, 0xAu);
    EXPECT_EQ(reg(0x88), 0x8u);
    clearWrites();
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckChannels(vi, nullptr, 0), VI_SUCCESS);
    EXPECT_TRUE(writes().empty()) << "no clear mask, no write";

    setReg(0xD4, 0x104);
    ViUInt32 events = 0;
    EXPECT_EQ(tq718_getEventSource(vi, &events, 0x4), VI_SUCCESS);
    EXPECT_EQ(events, 0x104u);
    EXPECT_EQ(reg(0xD4), 0x100u);

    ASSERT_EQ(tq718_setEventEnableMask(vi, 0x8000 | 0x3), VI_SUCCESS);
    EXPECT_EQ(reg(0xD0), 0x3u) << "the global enable is not a mask bit";
    ASSERT_EQ(tq718_setInterruptEnable(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventDisableMask(vi, 0x8000 | 0x1), VI_SUCCESS);
    ViUInt32 mask = 0;
    EXPECT_EQ(tq718_getEventEnableMask(vi, &mask), VI_SUCCESS);
    EXPECT_EQ(mask, 0x8002u);

    ViUInt32 alarms = 9;
    EXPECT_EQ(tq718_getAnalogChannelExcAlmChannels(vi, &alarms), VI_SUCCESS);
    EXPECT_EQ(alarms, 0u);

    // Without an instrument there is no board to reach.
    const ViSession none = openWithoutInstrument();
    EXPECT_LT(tq718_getEventEnableMask(none, &mask), VI_SUCCESS);
    EXPECT_LT(tq718_setCalibratorVoltage(none, 3), VI_SUCCESS);
    EXPECT_LT(tq718_getEventStatus(none, 1, nullptr, 0, nullptr), VI_SUCCESS);
}

TEST_F(Board718Test, ExcitationAlarmsComeFromTheBoard)
{
    addBoard(kBoard, "ch2.excitationfault=1");
    const ViSession vi = open();
    ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, 2, 2), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, 2, 5.0), VI_SUCCESS);
    ViUInt32 alarms = 0;
    EXPECT_EQ(tq718_getAnalogChannelExcAlmChannels(vi, &alarms), VI_SUCCESS);
    EXPECT_EQ(alarms, 0x2u);
    ViUInt16 status = 0;
    char message[256] = "";
    EXPECT_EQ(tq718_getEventStatus(vi, 2, &status, 1, message), VI_SUCCESS);
    EXPECT_EQ(status, 1);
    EXPECT_STREQ(message, "Excitation Alarm");
}

} // namespace
} // namespace tq718test
