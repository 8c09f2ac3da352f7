// The model 726 driver on its simulated board: codes, currents, channel
// ranges, the output layout, crossCheck, reset and self-test, events,
// properties by name and the stream's operations.
#include <cmath>
#include <cstring>
#include <limits>

#include "fixture726.h"

namespace
{

using namespace tq726test;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr ViStatus VI_WARN_NSUP_SELF_TEST = 0x3FFC0103;

class Driver726 : public Board726Test
{
  protected:
    void SetUp() override
    {
        Board726Test::SetUp();
        addBoard();
        vi_ = open();
    }
    ViSession vi_ = VI_NULL;
};

// ---- Codes ------------------------------------------------------------------------

TEST_F(Driver726, VoltagesGiveTheirCodesAndOutOfRangeWritesNothing)
{
    struct Case {
        double volts;
        ViStatus status;
        uint16_t code; // what the register holds afterwards (0x1234 = untouched)
    } cases[] = {
        {-10.0, VI_SUCCESS, 0x0000},
        {0.0, VI_SUCCESS, 0x8000},
        {10.0, VI_SUCCESS, 0xFFFF},
        {5.0, VI_SUCCESS, 0xC000},
        {-5.0, VI_SUCCESS, 0x4000},
        {9.999, VI_SUCCESS, 0xFFFC},
        {10.0001, VI_ERROR_INV_PARAMETER, 0x1234},
        {-10.0001, VI_ERROR_INV_PARAMETER, 0x1234},
        {kNaN, VI_ERROR_INV_PARAMETER, 0x1234},
        {std::numeric_limits<double>::infinity(), VI_ERROR_INV_PARAMETER, 0x1234},
    };
    for (const Case &c : cases) {
        setCode(3, 0x1234);
        EXPECT_EQ(tq726_set_single_chan_voltage(vi_, 3, c.volts), c.status) << c.volts;
        EXPECT_EQ(code(3), c.code) << c.volts;
    }
    // The other name of the same export.
    EXPECT_EQ(tq726_setChannelVoltage(vi_, 4, 10.0), VI_SUCCESS);
    EXPECT_EQ(code(4), 0xFFFF);
}

TEST_F(Driver726, CodesReadBackAsVolts)
{
    struct Case {
        uint16_t code;
        double volts;
    } cases[] = {{0x0000, -10.0}, {0x8000, 0.0}, {0xFFFF, 10.0 - 20.0 / 65536}, {0x4000, -5.0}};
    for (const Case &c : cases) {
        setCode(7, c.code);
        double v = 99.0;
        EXPECT_EQ(tq726_get_single_chan_voltage(vi_, 7, &v), VI_SUCCESS);
        EXPECT_DOUBLE_EQ(v, c.volts) << std::hex << c.code;
        EXPECT_EQ(tq726_getChannelVoltage(vi_, 7, &v), VI_SUCCESS);
        EXPECT_DOUBLE_EQ(v, c.volts);
    }
    ViReal64 min = 0, max = 0;
    EXPECT_EQ(tq726_getVoltageRange(vi_, &min, &max), VI_SUCCESS);
    EXPECT_EQ(min, -10.0);
    EXPECT_EQ(max, -10.0 + 20.0 * 65535.0 / 65536.0);
}

TEST_F(Driver726, CurrentsGoThroughTheCurrentRelation)
{
    struct Case {
        double mA;
        ViStatus status;
        uint16_t code;
    } cases[] = {
        {4.0, VI_SUCCESS, 0x8000},
        {20.0, VI_SUCCESS, 0xFFFF},
        {-12.0, VI_SUCCESS, 0x0000},
        {12.0, VI_SUCCESS, 0xC000},
        {20.1, VI_ERROR_INV_PARAMETER, 0x1234},
        {-12.1, VI_ERROR_INV_PARAMETER, 0x1234},
        {kNaN, VI_ERROR_INV_PARAMETER, 0x1234},
    };
    for (const Case &c : cases) {
        setCode(2, 0x1234);
        EXPECT_EQ(tq726_set_single_chan_current(vi_, 2, c.mA), c.status) << c.mA;
        EXPECT_EQ(code(2), c.code) << c.mA;
    }
    setCode(2, 0x8000);
    double mA = 0;
    EXPECT_EQ(tq726_get_single_chan_current(vi_, 2, &mA), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(mA, 4.0);
    ViReal64 min = 0, max = 0;
    EXPECT_EQ(tq726_getCurrentRange(vi_, &min, &max), VI_SUCCESS);
    EXPECT_EQ(min, -12.0);
    EXPECT_EQ(max, 19.99951171875);
    ViBoolean present = 0;
    EXPECT_EQ(tq726_isCurrentEn(vi_, &present), VI_SUCCESS);
    EXPECT_EQ(present, VI_TRUE);
}

TEST_F(Board726Test, ABoardWithoutCurrentOutputsRefusesCurrents)
{
    addBoard(kFlags16 | 0x4);
    ViSession vi = open();
    double value = 0, other = 0;
    const double one = 4.0;
    EXPECT_EQ(tq726_get_single_chan_current(vi, 1, &value), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq726_set_single_chan_current(vi, 1, 4.0), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq726_set_array_chan_current(vi, 1, 1, &one), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq726_get_array_chan_current(vi, 1, 1, &value), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq726_getCurrentRange(vi, &value, &other), VI_ERROR_NSUP_OPER);
    ViBoolean present = 1;
    EXPECT_EQ(tq726_isCurrentEn(vi, &present), VI_SUCCESS);
    EXPECT_EQ(present, VI_FALSE);
}

TEST_F(Driver726, RangesOfChannelsAndOneBlockWrite)
{
    const double volts[] = {1.0, 2.0, 3.0, 4.0};
    struct Case {
        ViInt16 first, last;
        ViStatus status;
    } cases[] = {
        {1, 16, VI_SUCCESS},
        {3, 5, VI_SUCCESS},
        {16, 16, VI_SUCCESS},
        {0, 1, VI_ERROR_INV_PARAMETER},
        {16, 17, VI_ERROR_INV_PARAMETER},
        {5, 4, VI_ERROR_INV_PARAMETER},
        {-1, 2, VI_ERROR_INV_PARAMETER},
    };
    double many[16];
    for (double &v : many)
        v = 0.5;
    for (const Case &c : cases) {
        clearWrites();
        const double *values = c.last - c.first + 1 <= 4 && c.first >= 1 ? volts : many;
        EXPECT_EQ(tq726_set_array_chan_voltage(vi_, c.first, c.last, values), c.status) << c.first << ".." << c.last;
        const std::vector<SimVisaWrite> log = writes();
        if (c.status != VI_SUCCESS) {
            EXPECT_TRUE(log.empty());
            continue;
        }
        ASSERT_EQ(log.size(), static_cast<size_t>(c.last - c.first + 1));
        for (size_t i = 0; i < log.size(); ++i)
            EXPECT_EQ(log[i].offset, 2 * (c.first - 1 + i));
        double back[16] = {};
        EXPECT_EQ(tq726_get_array_chan_voltage(vi_, c.first, c.last, back), VI_SUCCESS);
        EXPECT_NEAR(back[0], values[0], 20.0 / 65536);
    }
    // One value out of range in the middle: no channel is written.
    clearWrites();
    const double bad[] = {1.0, 12.0, 3.0};
    EXPECT_EQ(tq726_set_array_chan_voltage(vi_, 3, 5, bad), VI_ERROR_INV_PARAMETER);
    const double nan[] = {1.0, kNaN, 3.0};
    EXPECT_EQ(tq726_set_array_chan_voltage(vi_, 3, 5, nan), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq726_set_array_chan_voltage(vi_, 3, 5, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_TRUE(writes().empty());
}

TEST_F(Board726Test, ChannelsFollowTheBoardFlags)
{
    struct Case {
        ViUInt32 flags;
        ViInt16 channels;
    } cases[] = {{0x200, 32}, {0x100, 16}, {0x000, 64}, {0x300, 32}, {0x10000, 64}};
    for (const Case &c : cases) {
        sim().simvisa_reset();
        addBoard(c.flags);
        ViSession vi = open();
        ViInt16 n = 0;
        EXPECT_EQ(tq726_getChannelCount(vi, &n), VI_SUCCESS);
        EXPECT_EQ(n, c.channels) << std::hex << c.flags;
        EXPECT_EQ(tq726_setChannelEnable(vi, c.channels, 1), VI_SUCCESS);
        EXPECT_EQ(tq726_setChannelEnable(vi, c.channels + 1, 1), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq726_set_single_chan_voltage(vi, c.channels + 1, 0.0), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(tq726_setChannelCount(vi, 16), VI_ERROR_NSUP_OPER);
        close(vi);
    }
}

// ---- Output layout -------------------------------------------------------------------

TEST_F(Driver726, LayoutFollowsEnablesAndSynchronisationTypes)
{
    TQStream *s = stream(vi_);
    auto channel = [&](int c) { return s->streamGetOutputChannel(s, ("Channel" + std::to_string(c)).c_str()); };
    struct Step {
        int channel;
        int enable;   // -1: leave
        int syncType; // 0: leave
        uint16_t scanSize;
        std::vector<int> asyncOrder; // channels in the order of their offsets
        std::vector<int> enabledOrder;
    } steps[] = {
        {1, 1, 0, 0, {}, {1}},
        {2, 1, 1, 2, {2}, {1, 2}},
        {5, 1, 1, 4, {2, 5}, {1, 2, 5}},
        {3, 0, 1, 4, {2, 5}, {1, 2, 5}}, // asynchronous but disabled: no place
        {3, 1, 0, 6, {2, 3, 5}, {1, 2, 3, 5}},
        {2, 0, 0, 4, {3, 5}, {1, 3, 5}},
        {5, -1, 2, 2, {3}, {1, 3, 5}}, // synchronous again: static
    };
    for (const Step &st : steps) {
        SCOPED_TRACE("channel " + std::to_string(st.channel));
        if (st.enable >= 0) {
            ASSERT_EQ(tq726_setChannelEnable(vi_, st.channel, st.enable), VI_SUCCESS);
        }
        if (st.syncType)
            channel(st.channel)->streamChannelSetOutputSyncType(channel(st.channel), st.syncType);
        EXPECT_EQ(s->streamGetOutputScanSize(s), st.scanSize);
        EXPECT_EQ(s->streamGetNumberOutputChannels(s), st.asyncOrder.size());
        for (size_t i = 0; i < st.enabledOrder.size(); ++i)
            EXPECT_EQ(s->streamGetOutputChannelByIndex(s, static_cast<int32_t>(i)), channel(st.enabledOrder[i]));
        EXPECT_EQ(s->streamGetOutputChannelByIndex(s, static_cast<int32_t>(st.enabledOrder.size())), nullptr);
        if (st.asyncOrder.empty())
            continue;
        // Each asynchronous channel writes its own place of a reserved scan.
        int64_t granted = 0;
        TQPiece *pieces = nullptr;
        ASSERT_EQ(s->streamReserveWrite(s, 1, &granted, &pieces), 1);
        ASSERT_EQ(pieces[0].length, st.scanSize);
        memset(pieces[0].data, 0xEE, pieces[0].length);
        for (size_t i = 0; i < st.asyncOrder.size(); ++i)
            channel(st.asyncOrder[i])->streamChannelSetEval(channel(st.asyncOrder[i]), -10.0 + i, pieces[0].data);
        for (size_t i = 0; i < st.asyncOrder.size(); ++i) {
            uint16_t w;
            memcpy(&w, static_cast<char *>(pieces[0].data) + 2 * i, 2);
            EXPECT_EQ(w, static_cast<uint16_t>(i * 65536 / 20)) << "place " << i;
        }
        EXPECT_EQ(s->streamCompleteWrite(s, 1), 1);
    }
}

TEST_F(Driver726, SetEvalClampsAndAsynchronousValuesStayInsideTheScan)
{
    TQStream *s = stream(vi_);
    TQStreamChannel *a = s->streamGetOutputChannel(s, "Channel1");
    TQStreamChannel *off = s->streamGetOutputChannel(s, "Channel9");
    ASSERT_EQ(tq726_setChannelEnable(vi_, 1, 1), VI_SUCCESS);
    a->streamChannelSetOutputSyncType(a, 1);
    off->streamChannelSetOutputSyncType(off, 1); // asynchronous, but disabled
    int64_t granted = 0;
    TQPiece *pieces = nullptr;
    ASSERT_EQ(s->streamReserveWrite(s, 1, &granted, &pieces), 1);
    ASSERT_EQ(pieces[0].length, 2u);
    struct Case {
        double volts;
        uint16_t code;
    } cases[] = {{12.0, 0xFFFF}, {-12.0, 0x0000}, {kNaN, 0x8000}, {10.0, 0xFFFF}, {0.0, 0x8000}};
    for (const Case &c : cases) {
        a->streamChannelSetEval(a, c.volts, pieces[0].data);
        uint16_t w;
        memcpy(&w, pieces[0].data, 2);
        EXPECT_EQ(w, c.code) << c.volts;
    }
    // A disabled channel has no place in the scan: AddressSanitizer would
    // see a write past the 2-byte piece here.
    off->streamChannelSetEval(off, 5.0, pieces[0].data);
    EXPECT_EQ(s->streamCompleteWrite(s, 1), 1);
    // Without a reservation there is nothing to write into either.
    a->streamChannelSetEval(a, 5.0, pieces[0].data);
}

TEST_F(Driver726, RoomIsGatedOnTheAsynchronousChannels)
{
    TQStream *s = stream(vi_);
    int64_t granted = -1;
    TQPiece *pieces = reinterpret_cast<TQPiece *>(&granted);
    ASSERT_EQ(tq726_setChannelEnable(vi_, 1, 1), VI_SUCCESS); // static only
    EXPECT_EQ(s->streamReserveWrite(s, 10, &granted, &pieces), 0);
    EXPECT_EQ(granted, 0);
    EXPECT_EQ(pieces, nullptr);
    TQStreamChannel *c = s->streamGetOutputChannel(s, "Channel1");
    c->streamChannelSetOutputSyncType(c, 1);
    EXPECT_EQ(s->streamReserveWrite(s, 10, &granted, &pieces), 10);
    EXPECT_EQ(granted, 10);
    EXPECT_EQ(s->streamReserveWrite(s, 10, &granted, &pieces), 0); // one open at a time
    EXPECT_EQ(s->streamCompleteWrite(s, 10), 10);                  // scans, not bytes
    EXPECT_EQ(s->streamCompleteWrite(s, 10), 0);
}

// ---- crossCheck ------------------------------------------------------------------------

TEST_F(Driver726, CrossCheckTexts)
{
    TQStream *s = stream(vi_);
    struct Case {
        const char *what;
        double rate, recycle;
        bool async;
        const char *name2, *name3; // names of enabled channels 2 and 3
        ViStatus status;
        const char *text;
    } cases[] = {
        {"rate too low", 0.25, 10.0, false, "a", "b", VI_ERROR_SYSTEM_ERROR,
         "Unsupported Scan Rate: must be at least 0.5 Hz and less than 1000.0 Hz"},
        {"rate 1000", 1000.0, 10.0, false, "a", "b", VI_ERROR_SYSTEM_ERROR,
         "Unsupported Scan Rate: must be at least 0.5 Hz and less than 1000.0 Hz"},
        {"rate not a number", kNaN, 10.0, false, "a", "b", VI_ERROR_SYSTEM_ERROR,
         "Unsupported Scan Rate: must be at least 0.5 Hz and less than 1000.0 Hz"},
        {"rate 999", 999.0, 0.0, false, "a", "b", VI_SUCCESS, ""},
        {"rate 0.5", 0.5, 0.0, false, "a", "b", VI_SUCCESS, ""},
        {"no recycle rate", 100.0, 0.0, true, "a", "b", VI_ERROR_SYSTEM_ERROR,
         "Asynchronous channels require non-zero Recycle Rate"},
        {"recycle above rate", 10.0, 20.0, true, "a", "b", VI_ERROR_SYSTEM_ERROR,
         "Asynchronous channels require Scan Rate to be at least the Recycle Rate"},
        {"recycle not a number", 10.0, kNaN, true, "a", "b", VI_ERROR_SYSTEM_ERROR,
         "Asynchronous channels require Scan Rate to be at least the Recycle Rate"},
        {"recycle fine", 100.0, 20.0, true, "a", "b", VI_SUCCESS, ""},
        {"empty name", 100.0, 0.0, false, "", "b", VI_ERROR_INV_PARAMETER, "Channel 2 must be assigned a name"},
        {"illegal", 100.0, 0.0, false, "a", "3b", VI_ERROR_INV_PARAMETER, "Channel 3 name contains illegal characters"},
        {"duplicate", 100.0, 0.0, false, "same", "same", VI_ERROR_INV_PARAMETER,
         "Channel 2 name 'same' not unique"}, // visited from the highest channel down
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(tq726_setOutputScanRate(vi_, c.rate), VI_SUCCESS);
        ASSERT_EQ(tq726_setOutputRecycleRate(vi_, c.recycle), VI_SUCCESS);
        ASSERT_EQ(tq726_setChannelEnable(vi_, 2, 1), VI_SUCCESS);
        ASSERT_EQ(tq726_setChannelEnable(vi_, 3, 1), VI_SUCCESS);
        ASSERT_EQ(tq726_setChannelName(vi_, 2, c.name2), VI_SUCCESS);
        ASSERT_EQ(tq726_setChannelName(vi_, 3, c.name3), VI_SUCCESS);
        TQStreamChannel *ch = s->streamGetOutputChannelByIndex(s, 0);
        ch->streamChannelSetOutputSyncType(ch, c.async ? 1 : 2);
        char message[256] = "";
        EXPECT_EQ(tq726_crossCheck(vi_, message), c.status);
        EXPECT_STREQ(message, c.text);
    }
}

// ---- Reset and self-test ------------------------------------------------------------------

TEST_F(Board726Test, ResetResultsUnderInjectedFaults)
{
    struct Case {
        const char *what;
        ViUInt32 flags;
        const char *extra;
        ViUInt16 faultSpace;
        ViBusAddress faultOffset;
        ViUInt16 faultKinds; // 0: none
        ViStatus status;
    } cases[] = {
        {"healthy", kFlags16, "", 0, 0, 0, VI_SUCCESS},
        {"without the confirm", 0x100, "resetstuck=1", 0, 0, 0, VI_SUCCESS},
        {"never ready", kFlags16, "resetstuck=1", 0, 0, 0, TQ726_ERROR_RESET_NOT_CONFIRMED},
        {"reset register unreadable", kFlags16, "", kBar2, 0x84, SIMVISA_READS, TQ726_WARN_RESET_ACCESS},
        {"reset register unwritable", kFlags16, "", kBar2, 0x84, SIMVISA_WRITES, TQ726_WARN_RESET_ACCESS},
        {"control unwritable", kFlags16, "", kBar2, 0x80, SIMVISA_WRITES, TQ726_WARN_RESET_ACCESS},
        {"stuck and unwritable control", kFlags16, "resetstuck=1", kBar2, 0x80, SIMVISA_WRITES,
         TQ726_ERROR_RESET_NOT_CONFIRMED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim().simvisa_reset();
        addBoard(c.flags, c.extra);
        ViSession vi = open();
        ASSERT_EQ(tq726_set_single_chan_voltage(vi, 1, 5.0), VI_SUCCESS);
        if (c.faultKinds) {
            ASSERT_EQ(sim().simvisa_failOffset(kBoard, c.faultSpace, c.faultOffset, c.faultKinds, VI_ERROR_IO),
                      VI_SUCCESS);
        }
        EXPECT_EQ(tq726_reset(vi), c.status);
        // Every step ran: the channels are back at 0 V.
        EXPECT_EQ(code(1), 0x8000);
        sim().simvisa_clearFaults(kBoard);
        close(vi);
    }
    EXPECT_EQ(tq726_reset(0x7777), TQ726_WARN_RESET_ACCESS);
    EXPECT_EQ(tq726_resetEx(0x7777, 1), TQ726_WARN_RESET_ACCESS);
}

TEST_F(Driver726, ResetClearsControlBit3AndResetExTypes)
{
    ViUInt32 control = 0;
    ASSERT_EQ(sim().simvisa_readRegister(kBoard, kBar2, 0x80, 2, &control), VI_SUCCESS);
    EXPECT_NE(control & 0x8, 0u); // set at power-up
    EXPECT_EQ(tq726_reset(vi_), VI_SUCCESS);
    ASSERT_EQ(sim().simvisa_readRegister(kBoard, kBar2, 0x80, 2, &control), VI_SUCCESS);
    EXPECT_EQ(control & 0x8, 0u);

    EXPECT_EQ(tq726_resetEx(vi_, 0), TQ726_WARN_RESET_ACCESS);
    EXPECT_EQ(tq726_resetEx(vi_, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq726_resetEx(vi_, 1), VI_SUCCESS);
    // Type 2 clears the saved power-up state first.
    ASSERT_EQ(tq726_set_single_chan_voltage(vi_, 1, 5.0), VI_SUCCESS);
    ASSERT_EQ(tq726_autoRst(vi_, 1), VI_SUCCESS);
    clearWrites();
    EXPECT_EQ(tq726_resetEx(vi_, 2), VI_SUCCESS);
    const std::vector<SimVisaWrite> log = writes();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].offset, 0x80u);
    EXPECT_EQ(log[0].value & ~0x10u, 0u);
    sim().simvisa_failOffset(kBoard, kBar2, 0x80, SIMVISA_WRITES, VI_ERROR_IO);
    EXPECT_EQ(tq726_resetEx(vi_, 2), TQ726_WARN_RESET_ACCESS);
}

TEST_F(Board726Test, PowerUpStateWaitsForTheBoard)
{
    struct Case {
        const char *extra;
        ViInt16 save;
        ViStatus status;
        ViUInt32 saveBit;
    } cases[] = {{"", 1, VI_SUCCESS, 0x20}, {"", 0, VI_SUCCESS, 0}, {"powerupstuck=1", 1, VI_ERROR_TMO, 0x20}};
    for (const Case &c : cases) {
        sim().simvisa_reset();
        addBoard(kFlags16, c.extra);
        ViSession vi = open();
        EXPECT_EQ(tq726_autoRst(vi, c.save), c.status) << c.extra << c.save;
        ViUInt32 control = 0;
        ASSERT_EQ(sim().simvisa_readRegister(kBoard, kBar2, 0x80, 4, &control), VI_SUCCESS);
        EXPECT_EQ(control & 0x20, c.saveBit);
        close(vi);
    }
    sim().simvisa_reset();
    addBoard();
    ViSession vi = open();
    sim().simvisa_failOffset(kBoard, kBar2, 0x80, SIMVISA_READS, VI_ERROR_IO);
    EXPECT_EQ(tq726_autoRst(vi, 1), VI_ERROR_IO);
}

TEST_F(Board726Test, SelfTestResults)
{
    struct Case {
        const char *what;
        ViUInt32 flags;
        const char *extra;
        ViUInt16 faultSpace; // VI_LOCAL_SPACE read fault when faulted
        bool fault;
        ViStatus status;
        ViInt16 result;
        const char *message;
    } cases[] = {
        {"healthy", kFlags16, "", 0, false, VI_SUCCESS, 0, "Self-Test passed."},
        {"no reset confirm", 0x100, "", 0, false, VI_WARN_NSUP_SELF_TEST, 1, "ERROR: Self-Test failed!"},
        {"wrong signature", kFlags16, "signature=0x1234", 0, false, VI_SUCCESS, 1,
         "ERROR: Self-Test failed! Error source unknown."},
        {"never ready", kFlags16, "resetstuck=1", 0, false, VI_SUCCESS, 1,
         "ERROR: Self-Test failed! Error source unknown."},
        {"local space unreadable", kFlags16, "", VI_LOCAL_SPACE, true, VI_SUCCESS, 1,
         "ERROR: Self-Test failed! Error communicating with device."},
        {"reset unwritable", kFlags16, "", kBar2, true, VI_SUCCESS, 1,
         "ERROR: Self-Test failed! Error communicating with device."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim().simvisa_reset();
        addBoard(c.flags, c.extra);
        ViSession vi = open();
        if (c.fault)
            sim().simvisa_failOffset(kBoard, c.faultSpace, c.faultSpace == kBar2 ? 0x84 : 0,
                                     c.faultSpace == kBar2 ? SIMVISA_WRITES : SIMVISA_READS, VI_ERROR_IO);
        ViInt16 result = -1;
        char message[256] = "";
        EXPECT_EQ(tq726_self_test(vi, &result, message), c.status);
        EXPECT_EQ(result, c.result);
        EXPECT_STREQ(message, c.message);
        close(vi);
    }
}

// ---- Events, properties, stream -----------------------------------------------------------

TEST_F(Driver726, NoEventsAndNoWait)
{
    LineSink sink;
    ASSERT_EQ(tq726_registerStreamMsg(vi_, sink.get()), VI_SUCCESS);
    auto handler = [](ViConstString, ViUInt32, void *, ViUInt32 *, ViChar *) -> ViStatus { return VI_SUCCESS; };
    EXPECT_EQ(tq726_installEventHandler(vi_, 0, handler, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(tq726_uninstallEventHandler(vi_, 0, handler, nullptr), VI_SUCCESS);
    EXPECT_TRUE(sink.take().empty());
    EXPECT_EQ(tq726_installEventHandler(vi_, 1, handler, nullptr, nullptr), VI_ERROR_HNDLR_NINSTALLED);
    EXPECT_EQ(tq726_uninstallEventHandler(vi_, 2, handler, nullptr), VI_ERROR_HNDLR_NINSTALLED);
    char instrument[256] = "";
    ASSERT_EQ(tq726_getInstrumentName(vi_, instrument), VI_SUCCESS);
    const std::string name = "[" + std::string(instrument) + "]";
    EXPECT_EQ(sink.take(), (std::vector<std::string>{name + "Failed to install event handler",
                                                     name + "Failed to uninstall event handler"}));
    ViUInt16 status = 0;
    ViUInt32 word = 0;
    EXPECT_EQ(tq726_getEventStatus(vi_, 1, &status, 0, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq726_wait(vi_, 1, 10, &word, nullptr), VI_ERROR_NSUP_OPER);
    tq726_registerStreamMsg(vi_, nullptr);
}

TEST_F(Board726Test, PnPHandleByNameAndStreamOperations)
{
    addBoard();
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq726_getPnPHandle(kBoard, &h), VI_SUCCESS);
    ViSession vi = h->session;
    struct Set {
        const char *name, *value;
        ViStatus status;
    } sets[] = {
        {"ChannelEnable", "2,1", VI_SUCCESS},
        {"ChannelEnable", "2,5", VI_ERROR_INV_PARAMETER},
        {"ChannelEnable", "17,1", VI_ERROR_INV_PARAMETER},
        {"ChannelName", "2,Speed", VI_SUCCESS},
        {"ChannelCount", "16", VI_ERROR_NSUP_OPER},
        {"ChannelCount", "", VI_ERROR_INV_PARAMETER},
        {"OutputScanRate", "250", VI_SUCCESS},
        {"OutputRecycleRate", "5", VI_SUCCESS},
        {"channelenable", "2,1", VI_ERROR_NSUP_OPER},
        {"InstrumentName", "ao1", VI_SUCCESS},
    };
    for (const Set &c : sets)
        EXPECT_EQ(h->setPropertyByName(vi, c.name, c.value), c.status) << c.name << " " << c.value;
    struct Get {
        const char *name, *index;
        ViStatus status;
        const char *value;
    } gets[] = {
        {"ChannelEnable", "2", VI_SUCCESS, "1"},         {"ChannelEnable", "3", VI_SUCCESS, "0"},
        {"ChannelName", "2", VI_SUCCESS, "Speed"},       {"ChannelName", "4", VI_SUCCESS, "Channel4"},
        {"ChannelName", "", VI_ERROR_INV_PARAMETER, ""}, {"ChannelCount", "", VI_SUCCESS, "16"},
        {"OutputScanRate", "", VI_ERROR_NSUP_OPER, ""},  {"InstrumentName", "", VI_SUCCESS, "ao1"},
    };
    for (const Get &c : gets) {
        char out[256] = "";
        EXPECT_EQ(h->getPropertyByName(vi, c.name, c.index, out, sizeof out), c.status) << c.name;
        EXPECT_STREQ(out, c.value) << c.name;
    }
    EXPECT_EQ(h->doOperation(vi, "calibrate", ""), VI_ERROR_NSUP_OPER);
    ASSERT_NE(h->wait, nullptr);
    ASSERT_NE(h->getEventStatus, nullptr);
    EXPECT_EQ(h->wait(vi, 1, 10, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->getEventStatus(vi, 1, nullptr, 0, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->installEventHandler(vi, 0, nullptr, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(h->attachBackend(vi, nullptr), VI_ERROR_NSUP_OPER);

    TQStream *s = nullptr;
    ASSERT_EQ(h->getStream(vi, "ao", &s), VI_SUCCESS);
    EXPECT_EQ(s->streamGetOutputRate(s), 250.0);
    EXPECT_EQ(s->streamGetOutputRecycleRate(s), 5.0);
    EXPECT_EQ(s->streamCaptureOpen(s, "x", 0), -13);
    EXPECT_EQ(s->streamCaptureClose(s), -13);
    EXPECT_EQ(s->streamGetChannelByIndex(s, 0), nullptr);
    EXPECT_EQ(s->streamGetScansWritten(s), 0);
    TQStreamChannel *speed = s->streamGetChannel(s, "Speed");
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed, s->streamGetOutputChannel(s, "Speed"));
    EXPECT_STREQ(speed->eu, "volts");
    EXPECT_EQ(speed->streamChannelEval(speed, nullptr), 0.0);
    EXPECT_NE(s->streamGetChannel(s, "Channel9"), nullptr);  // enabled or not
    EXPECT_EQ(s->streamGetChannel(s, "Channel17"), nullptr); // not on a 16-channel board
    TQReader *r = s->streamNewReader(s, 0, 0);
    ASSERT_NE(r, nullptr);
    r->readerRelease(&r);
    EXPECT_EQ(h->release(&h), VI_SUCCESS);
    EXPECT_EQ(h, nullptr);
}

TEST_F(Board726Test, OnlyBoardsWithOutputsKeepAnOutputLog)
{
    ASSERT_EQ(sim().simvisa_addInstrument("PXI1::13::INSTR", "board=generic; manf=0x3c5a; model=0x714"), VI_SUCCESS);
    SimVisaOutput entry{};
    ViUInt32 n = 7;
    EXPECT_EQ(sim().simvisa_getOutputLog("PXI1::13::INSTR", &entry, 1, &n), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(sim().simvisa_clearOutputLog("PXI1::13::INSTR"), VI_ERROR_NSUP_OPER);
    addBoard();
    ViSession vi = open();
    clearOutputs();
    const double volts[] = {-10.0, 10.0};
    ASSERT_EQ(tq726_set_array_chan_voltage(vi, 15, 16, volts), VI_SUCCESS);
    const std::vector<SimVisaOutput> log = outputs();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].channel, 15);
    EXPECT_EQ(log[0].code, 0x0000);
    EXPECT_EQ(log[1].channel, 16);
    EXPECT_EQ(log[1].code, 0xFFFF);
    EXPECT_EQ(log[1].sequence, log[0].sequence + 1);
    EXPECT_GE(log[1].timeUs, log[0].timeUs);
}

TEST_F(Board726Test, SessionWithoutInstrument)
{
    ViSession vi = openWithoutInstrument();
    ViInt16 n = 0;
    EXPECT_EQ(tq726_getChannelCount(vi, &n), VI_SUCCESS);
    EXPECT_EQ(n, 64);
    EXPECT_EQ(tq726_getSimulationMode(vi, nullptr), 1);
    EXPECT_EQ(tq726_set_single_chan_voltage(vi, 1, 11.0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq726_set_single_chan_voltage(vi, 1, 1.0), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tq726_reset(vi), VI_SUCCESS);
    ViInt16 result = 0;
    char message[256];
    EXPECT_EQ(tq726_self_test(vi, &result, message), VI_WARN_NSUP_SELF_TEST);
    EXPECT_EQ(tq726_setSimulationMode(vi, 0), static_cast<ViStatus>(0xBFFC0017));
}

} // namespace
