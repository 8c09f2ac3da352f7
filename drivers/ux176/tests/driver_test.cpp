// Sessions, names, modes, texts, registers and faults of the model 176
// driver on a simulated device.
#include <cmath>
#include <cstring>

#include "fixture176.h"
#include "tq/platform/sync.h"

namespace
{

using namespace ux176test;

TEST_F(UsbTest, ResourceNamesOpenTheDeviceOfTheirSerial)
{
    struct Case {
        const char *name;
        ViStatus status;
    };
    const Case cases[] = {
        {"USB0::0x3C5A::176::1234", VI_SUCCESS},
        {"usb::15450::176::1234", VI_SUCCESS},
        {"usb0::0x3c5a::177::1234", VI_ERROR_RSRC_NFOUND},
        {"usb0::0x3c5b::176::1234", VI_ERROR_RSRC_NFOUND},
        {"usb0::0x3c5a::176::999", VI_ERROR_RSRC_NFOUND},
        {"usb0::0x3c5a::176::12345", VI_ERROR_RSRC_NFOUND}, // serials compare whole
        {"gpib0::5", VI_ERROR_INV_RSRC_NAME},
    };
    for (const Case &c : cases) {
        ViSession vi = VI_NULL;
        EXPECT_EQ(ux176_init(const_cast<ViRsrc>(c.name), 0, 0, &vi), c.status) << c.name;
        if (c.status == VI_SUCCESS) {
            char name[256] = {};
            EXPECT_EQ(ux176_getInstrumentName(vi, name), VI_SUCCESS);
            std::string lower = c.name;
            for (char &ch : lower)
                ch = static_cast<char>(tolower(ch));
            EXPECT_EQ(name, lower);
            ViUInt16 serial = 0;
            EXPECT_EQ(ux176_getSerialNumber(vi, &serial), VI_SUCCESS);
            EXPECT_EQ(serial, 1234);
            EXPECT_EQ(ux176_close(vi), VI_SUCCESS);
        } else {
            EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL)) << c.name;
        }
    }
}

// Sessions without hardware each have their own value: closing one leaves
// the other, with its stream, untouched.
TEST_F(UsbTest, SessionsWithoutHardwareHaveTheirOwnValues)
{
    ViSession a = openWithoutHardware(), b = openWithoutHardware();
    ASSERT_NE(a, b);
    ASSERT_NE(a, 0u);
    ASSERT_EQ(ux176_setAnalogChannelEnable(b, 1, 1), VI_SUCCESS);
    TQStream *sb = stream(b);
    ASSERT_NE(sb, nullptr);
    close(a);
    EXPECT_EQ(ux176_close(a), VI_ERROR_INV_OBJECT) << "a closed value is refused";
    ViUInt16 enable = 0;
    ASSERT_EQ(ux176_getAnalogChannelEnable(b, 1, &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1);
    EXPECT_EQ(sb->streamGetScanSize(sb), 2);
    EXPECT_EQ(ux176_getSimulationMode(b, nullptr), 1);
}

TEST_F(UsbTest, SimulationModes)
{
    ViSession hw = open(), none = openWithoutHardware();
    struct Step {
        ViSession vi;
        ViBoolean mode;
        ViStatus status;
        ViStatus flag;
    };
    const Step steps[] = {
        {none, 1, VI_SUCCESS, 1},         {none, 0, UX176_ERROR_NO_INSTRUMENT, 1}, {none, 2, VI_ERROR_INV_PARAMETER, 1},
        {hw, 0, VI_SUCCESS, 0},           {hw, 1, VI_SUCCESS, 1},                  {hw, 1, VI_SUCCESS, 1},
        {hw, 0, VI_SUCCESS, 0},
    };
    for (const Step &s : steps) {
        EXPECT_EQ(ux176_setSimulationMode(s.vi, s.mode), s.status) << s.mode;
        EXPECT_EQ(ux176_getSimulationMode(s.vi, nullptr), s.flag) << s.mode;
    }
    // Simulated: the revision is not asked, nothing written.
    ASSERT_EQ(ux176_setSimulationMode(hw, 1), VI_SUCCESS);
    char driverRev[256] = "untouched", instrRev[256] = "untouched";
    EXPECT_EQ(ux176_revision_query(hw, driverRev, instrRev), VI_ERROR_NSUP_OPER);
    EXPECT_STREQ(driverRev, "untouched");
    EXPECT_STREQ(instrRev, "untouched");
    // Leaving simulation applies the stored settings to the device.
    ASSERT_EQ(ux176_setAnalogChannelEnable(hw, 3, 1), VI_SUCCESS);
    EXPECT_EQ(reg(UX176_REG_CHANNEL_MASK), 0) << "nothing reaches the device while simulating";
    ASSERT_EQ(ux176_setSimulationMode(hw, 0), VI_SUCCESS);
    EXPECT_EQ(reg(UX176_REG_CHANNEL_MASK), 0x0004);
}

TEST_F(UsbTest, IdentityRevisionAndRegisters)
{
    ASSERT_EQ(simusb_addDevice("55", "firmware=7; modelbyte=176"), 0);
    ViSession vi = open("usb::0x3c5a::176::55");
    ViInt16 model = 0;
    EXPECT_EQ(ux176_id_query(vi, &model), VI_SUCCESS);
    EXPECT_EQ(model, 176);
    char driverRev[256] = {}, instrRev[256] = {};
    EXPECT_EQ(ux176_revision_query(vi, driverRev, instrRev), VI_SUCCESS);
    EXPECT_STREQ(driverRev, "4.0.3.0");
    EXPECT_STREQ(instrRev, "Firmware 7");
    EXPECT_EQ(ux176_writeRegister(vi, 40, 0xBEEF), VI_SUCCESS);
    ViUInt16 value = 0;
    EXPECT_EQ(ux176_readRegister(vi, 40, &value), VI_SUCCESS);
    EXPECT_EQ(value, 0xBEEF);
    EXPECT_EQ(reg(40, "55"), 0xBEEF);
}

TEST_F(UsbTest, ErrorMessages)
{
    struct Case {
        uint32_t status;
        const char *text;
        ViStatus result;
    };
    const Case cases[] = {
        {0x3FFC0109, "Device already Running.", VI_SUCCESS},
        {0xBFFC0003, "The value of parameter 3 is invalid.", VI_SUCCESS},
        {0xBFFC0107, "Operation failed because no channels are enabled.", VI_SUCCESS},
        {0xBFFF0067, "The given session does not support this operation.", VI_SUCCESS},
        {0x12345678, "Unknown Status", VI_WARN_UNKNOWN_STATUS},
    };
    for (const Case &c : cases) {
        char text[256] = {};
        EXPECT_EQ(ux176_error_message(0, static_cast<ViStatus>(c.status), text), c.result) << std::hex << c.status;
        EXPECT_STREQ(text, c.text);
    }
}

// Rates are set as whole ticks of 0.1 us; the read-back is the rate the
// device runs at and is accepted when set again.
TEST_F(UsbTest, ScanRatesAndTheirReadBack)
{
    ViSession vi = open();
    struct Case {
        double rate;
        ViStatus status;
        uint32_t ticks;
    };
    const Case cases[] = {
        {1000.0, VI_SUCCESS, 10000},   {100.0, VI_SUCCESS, 100000},  {50000.0, VI_SUCCESS, 200},
        {3000.0, VI_SUCCESS, 3333},    {1.0, VI_SUCCESS, 10000000},  {0.0025, VI_SUCCESS, 4000000000u},
        {0.0, VI_ERROR_INV_PARAMETER, 0}, {50001.0, VI_ERROR_INV_PARAMETER, 0}, {-5.0, VI_ERROR_INV_PARAMETER, 0},
        {0.002, VI_ERROR_INV_PARAMETER, 0}, {NAN, VI_ERROR_INV_PARAMETER, 0},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ux176_setAdcScanRate(vi, c.rate), c.status) << c.rate;
        if (c.status != VI_SUCCESS)
            continue;
        const uint32_t ticks = reg(UX176_REG_PERIOD_LOW) | (static_cast<uint32_t>(reg(UX176_REG_PERIOD_HIGH)) << 16);
        EXPECT_EQ(ticks, c.ticks) << c.rate;
        ViReal64 back = 0.0;
        ASSERT_EQ(ux176_getAdcScanRate(vi, &back), VI_SUCCESS);
        EXPECT_EQ(back, 1e7 / c.ticks) << c.rate;
        EXPECT_EQ(stream(vi)->streamGetRate(stream(vi)), back);
        ASSERT_EQ(ux176_setAdcScanRate(vi, back), VI_SUCCESS) << "the read-back is accepted again";
        const uint32_t again = reg(UX176_REG_PERIOD_LOW) | (static_cast<uint32_t>(reg(UX176_REG_PERIOD_HIGH)) << 16);
        EXPECT_EQ(again, c.ticks) << c.rate << ": no tick lost on the way back";
    }
}

TEST_F(UsbTest, CrossCheckOfRatesAndNames)
{
    ViSession vi = open();
    struct Case {
        int inputs;
        double rate;
        ViStatus status;
        const char *message;
    };
    const Case cases[] = {
        {1, 50000.0, VI_SUCCESS, ""},
        {2, 25000.0, VI_SUCCESS, ""},
        {3, 20000.0, VI_ERROR_INV_PARAMETER, "Maximum scan rate for 3 channels is 16666.666667\n"},
        {6, 8333.0, VI_SUCCESS, ""},
        {6, 8334.0, VI_ERROR_INV_PARAMETER, "Maximum scan rate for 6 channels is 8333.333333\n"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ux176_setAnalogChannelEnable(vi, 0, 0), VI_SUCCESS);
        for (int k = 1; k <= c.inputs; ++k)
            ASSERT_EQ(ux176_setAnalogChannelEnable(vi, static_cast<ViInt16>(k), 1), VI_SUCCESS);
        ASSERT_EQ(ux176_setAdcScanRate(vi, c.rate), VI_SUCCESS);
        char message[256] = {};
        EXPECT_EQ(ux176_crossCheck(vi, message), c.status) << c.inputs << " x " << c.rate;
        EXPECT_STREQ(message, c.message);
    }
    // Names are unique across analog and digital channels.
    ASSERT_EQ(ux176_setAdcScanRate(vi, 1000.0), VI_SUCCESS);
    ASSERT_EQ(ux176_setAnalogChannelName(vi, 1, "Same"), VI_SUCCESS);
    ASSERT_EQ(ux176_setDigitalChannelEnable(vi, 4, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_setDigitalChannelName(vi, 4, "Same"), VI_SUCCESS);
    char message[256] = {};
    EXPECT_EQ(ux176_crossCheck(vi, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 4 name 'Same' not unique");
    EXPECT_EQ(ux176_setAnalogChannelName(vi, 1, std::string(128, 'a').c_str()), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(ux176_setAnalogChannelName(vi, 1, std::string(127, 'a').c_str()), VI_SUCCESS);
}

TEST_F(UsbTest, InputLayouts)
{
    ViSession vi = open();
    TQStream *s = stream(vi);
    struct Case {
        const char *what;
        std::vector<int> analog, digitalIn, digitalOut;
        uint16_t mask;
        uint16_t scanSize;
        uint16_t channels;
    };
    const Case cases[] = {
        {"inputs 1 and 3", {1, 3}, {}, {}, 0x0005, 4, 2},
        {"and line 2 as input", {1, 3}, {2}, {}, 0x1005, 6, 3},
        {"four inputs", {1, 2, 3, 4}, {}, {}, 0x000F, 8, 4},
        {"lines only", {}, {1, 9, 16}, {}, 0x1000, 2, 3},
        {"lines 9-16 as outputs leave the scan", {6}, {1}, {9, 16}, 0x1020, 4, 2},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ux176_reset(vi), VI_SUCCESS);
        for (int k : c.analog)
            ASSERT_EQ(ux176_setAnalogChannelEnable(vi, static_cast<ViInt16>(k), 1), VI_SUCCESS);
        for (int k : c.digitalOut) {
            ASSERT_EQ(ux176_setDigitalDirection(vi, static_cast<ViInt16>(k <= 8 ? k : 9), 1), VI_SUCCESS);
            ASSERT_EQ(ux176_setDigitalChannelEnable(vi, static_cast<ViInt16>(k), 1), VI_SUCCESS);
        }
        for (int k : c.digitalIn)
            ASSERT_EQ(ux176_setDigitalChannelEnable(vi, static_cast<ViInt16>(k), 1), VI_SUCCESS);
        EXPECT_EQ(reg(UX176_REG_CHANNEL_MASK), c.mask) << c.what;
        EXPECT_EQ(s->streamGetScanSize(s), c.scanSize) << c.what;
        EXPECT_EQ(s->streamGetNumberChannels(s), c.channels) << c.what;
        // getChannelByIndex hands out the stream's input channels and no more.
        std::vector<std::string> names;
        for (int32_t i = 0; TQStreamChannel *ch = s->streamGetChannelByIndex(s, i); ++i)
            names.emplace_back(ch->name);
        std::vector<std::string> expected;
        for (int k : c.analog)
            expected.push_back("AnalogChannel" + std::to_string(k));
        for (int k : c.digitalIn)
            expected.push_back("DigitalChannel" + std::to_string(k));
        EXPECT_EQ(names, expected) << c.what;
        // Every input channel reads its own word of a scan.
        std::vector<uint16_t> scan(c.scanSize / 2);
        for (size_t w = 0; w < scan.size(); ++w)
            scan[w] = static_cast<uint16_t>(0x100 * (w + 1));
        for (size_t i = 0; i < c.analog.size(); ++i) {
            TQStreamChannel *ch = s->streamGetChannelByIndex(s, static_cast<int32_t>(i));
            EXPECT_EQ(ch->streamChannelEvalRaw(ch, scan.data()), 0x100 * (i + 1)) << c.what;
        }
    }
}

TEST_F(UsbTest, RangesDirectionsAndDigitalValues)
{
    ViSession vi = open();
    ASSERT_EQ(simusb_setRegister(kSerial, UX176_REG_RANGE, 0x00F0), 0);
    ASSERT_EQ(ux176_setAnalogGroupInputVoltageRange(vi, 2, 0), VI_SUCCESS);
    EXPECT_EQ(reg(UX176_REG_RANGE), 0x00F2) << "read-modify-write keeps the other bits";
    ViInt16 range = -1;
    ASSERT_EQ(ux176_getAnalogGroupInputVoltageRange(vi, 2, &range), VI_SUCCESS);
    EXPECT_EQ(range, 0);
    EXPECT_EQ(ux176_setAnalogGroupInputVoltageRange(vi, 4, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(ux176_setAnalogGroupInputVoltageRange(vi, 1, 2), VI_ERROR_INV_PARAMETER);
    // The ±5 V range halves the volts of both inputs of the group.
    ASSERT_EQ(ux176_setAnalogChannelEnable(vi, 4, 1), VI_SUCCESS);
    TQStream *s = stream(vi);
    TQStreamChannel *four = s->streamGetChannel(s, "AnalogChannel4");
    const int16_t sample = 16384;
    EXPECT_DOUBLE_EQ(four->streamChannelEval(four, &sample), 2.5);

    ASSERT_EQ(ux176_setDigitalDirection(vi, 9, 1), VI_SUCCESS);
    EXPECT_EQ(reg(UX176_REG_DIRECTION), 0x0100);
    ViInt16 direction = 0;
    ASSERT_EQ(ux176_getDigitalChannelDirection(vi, 12, &direction), VI_SUCCESS);
    EXPECT_EQ(direction, 1);
    EXPECT_EQ(ux176_getDigitalChannelDirection(vi, 17, &direction), VI_ERROR_INV_PARAMETER);

    ASSERT_EQ(ux176_setDigitalChannelValue(vi, 20, 1), VI_SUCCESS);
    EXPECT_EQ(reg(UX176_REG_DIGITAL_HIGH), 0x0008);
    ASSERT_EQ(ux176_setDigitalChannelValue(vi, 1, 1), VI_SUCCESS);
    ViInt16 value = 0;
    ASSERT_EQ(ux176_getDigitalChannelValue(vi, 1, &value), VI_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(ux176_setDigitalChannelValue(vi, 33, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(ux176_setDigitalChannelValue(vi, 2, 2), VI_ERROR_INV_PARAMETER);
    // A session without hardware has no device to act on.
    EXPECT_EQ(ux176_setDigitalChannelValue(openWithoutHardware(), 1, 1), VI_ERROR_INV_OBJECT);
}

TEST_F(UsbTest, AdcScansAndAverages)
{
    ASSERT_EQ(simusb_addDevice("2", "firmware=2; level1=16384; level5=-8192"), 0);
    ASSERT_EQ(simusb_addDevice("3", "firmware=3; level1=16384; level5=-8192"), 0);
    for (const char *name : {"usb::0x3c5a::176::2", "usb::0x3c5a::176::3"}) {
        ViSession vi = open(name);
        ASSERT_EQ(ux176_setAdcScanRate(vi, 50000.0), VI_SUCCESS);
        ViReal64 four[4] = {};
        ASSERT_EQ(ux176_getAdcScan(vi, four), VI_SUCCESS);
        EXPECT_DOUBLE_EQ(four[0], 5.0) << name;
        for (ViInt32 n : {1, 256, 1000}) {
            ViReal64 six[6] = {};
            ASSERT_EQ(ux176_getAverageAdcScan(vi, six, n), VI_SUCCESS) << name << " " << n;
            EXPECT_DOUBLE_EQ(six[0], 5.0) << name << " " << n;
            EXPECT_DOUBLE_EQ(six[4], -2.5) << name << " " << n << ": every input combined alike";
        }
        ViReal64 six[6];
        EXPECT_EQ(ux176_getAverageAdcScan(vi, six, 0), VI_ERROR_INV_PARAMETER);
    }
}

// Replies that come apart, late, short or behind stray bytes: every value
// read is the one the device sent, never a stale or shifted one.
TEST_F(UsbTest, ExchangesSurviveBrokenReplies)
{
    ViSession vi = open();
    ASSERT_EQ(ux176_writeRegister(vi, 50, 0x1234), VI_SUCCESS);
    ASSERT_EQ(ux176_writeRegister(vi, 51, 0x5678), VI_SUCCESS);
    struct Case {
        const char *what;
        int kind;
        uint32_t amount;
        ViStatus status;
    };
    const Case cases[] = {
        {"stray bytes first", SIMUSB_GARBAGE, 5, VI_SUCCESS},
        {"in two parts", SIMUSB_SPLIT, 1, VI_SUCCESS},
        {"late but in time", SIMUSB_LATE, 100, VI_SUCCESS},
        {"one byte never sent", SIMUSB_SHORT, 1, VI_ERROR_IO},
        {"read fails", SIMUSB_FAIL_READ, TQ_USBX_READ_FAILED, VI_ERROR_IO},
        {"write fails", SIMUSB_FAIL_WRITE, TQ_USBX_WRITE_TIMEOUT, VI_ERROR_TMO},
        {"too late", SIMUSB_LATE, 6000, VI_ERROR_TMO},
    };
    for (const Case &c : cases) {
        // Read faults know no command: they hit the next read.
        ASSERT_EQ(simusb_injectFault(kSerial, c.kind, c.amount, 1, c.kind == SIMUSB_FAIL_READ ? 0 : 0x02), 0);
        ViUInt16 value = 0;
        EXPECT_EQ(ux176_readRegister(vi, 50, &value), c.status) << c.what;
        if (c.status == VI_SUCCESS) {
            EXPECT_EQ(value, 0x1234) << c.what;
        }
        // The next exchange is whole again: nothing of the broken one is taken for its reply.
        if (c.amount == 6000)
            tq::platform::sleepMs(1500);
        value = 0;
        EXPECT_EQ(ux176_readRegister(vi, 51, &value), VI_SUCCESS) << c.what;
        EXPECT_EQ(value, 0x5678) << c.what;
        simusb_clearFaults(kSerial);
    }
}

TEST_F(UsbTest, UnpluggedDeviceFailsAndCloses)
{
    ViSession vi = open();
    ASSERT_EQ(simusb_unplug(kSerial), 0);
    ViUInt16 value = 0;
    EXPECT_EQ(ux176_readRegister(vi, 1, &value), VI_ERROR_IO);
    EXPECT_EQ(ux176_start(vi), UX176_ERROR_NO_CHANNELS);
    ASSERT_EQ(ux176_setSimulationMode(vi, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    EXPECT_EQ(ux176_setSimulationMode(vi, 0), VI_ERROR_IO) << "applying to a device that is gone";
}

TEST_F(UsbTest, ResetAndInitWithReset)
{
    ViSession vi = open();
    ASSERT_EQ(ux176_setAnalogChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_writeRegister(vi, 60, 7), VI_SUCCESS);
    ASSERT_EQ(ux176_reset(vi), VI_SUCCESS);
    EXPECT_EQ(reg(60), 0) << "the device was reset";
    EXPECT_EQ(reg(UX176_REG_CHANNEL_MASK), 0);
    ViUInt16 enable = 1;
    ASSERT_EQ(ux176_getAnalogChannelEnable(vi, 2, &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 0);
    // An open with reset that fails leaves no session and no open device.
    ASSERT_EQ(simusb_injectFault(kSerial, SIMUSB_FAIL_WRITE, TQ_USBX_IO_FAILED, 1, 0x01), 0);
    ViSession other = VI_NULL;
    EXPECT_EQ(ux176_init(const_cast<ViRsrc>(kName), 0, 1, &other), VI_ERROR_IO);
    EXPECT_EQ(other, static_cast<ViSession>(VI_NULL));
    EXPECT_EQ(simusb_openHandleCount(), 1u);
}

// No device at all: nothing to connect, and no failure.
TEST_F(UsbTest, AutoConnectWithoutDevicesConnectsNone)
{
    simusb_reset();
    ViSession vi[2] = {};
    ViInt16 count = 5;
    EXPECT_EQ(ux176_autoConnectToAll(vi, 2, &count), VI_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(vi[0], VI_NULL);
    EXPECT_EQ(ux176_autoConnectToFirst(vi), VI_SUCCESS);
    EXPECT_EQ(simusb_openHandleCount(), 0u);
}

// A device that cannot be opened is passed over; the others connect.
TEST_F(UsbTest, AutoConnectPassesOverADeviceItCannotOpen)
{
    ASSERT_EQ(simusb_addDevice("20", ""), 0);
    ASSERT_EQ(simusb_addDevice("30", ""), 0);
    ASSERT_EQ(simusb_injectFault("20", SIMUSB_BUSY_OPEN, 0, 1, 0), 0);
    ViSession vi[4] = {};
    ViInt16 count = 0;
    ASSERT_EQ(ux176_autoConnectToAll(vi, 4, &count), VI_SUCCESS);
    ASSERT_EQ(count, 2);
    for (int i = 0; i < count; ++i)
        open_.push_back(vi[i]);
    ViUInt16 serials[2] = {};
    ux176_getSerialNumber(vi[0], &serials[0]);
    ux176_getSerialNumber(vi[1], &serials[1]);
    EXPECT_EQ(serials[0], 1234);
    EXPECT_EQ(serials[1], 30);
}

TEST_F(UsbTest, PropertiesByName)
{
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(ux176_getPnPHandle(kName, &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    struct Set {
        const char *name, *value;
        ViStatus status;
    };
    const Set sets[] = {
        {"AnalogChannelEnable", "2,1", VI_SUCCESS},     {"AnalogChannelEnable", "7,1", VI_ERROR_INV_PARAMETER},
        {"AnalogChannelEnable", "x", VI_ERROR_INV_PARAMETER}, {"analogchannelenable", "2,1", VI_ERROR_NSUP_OPER},
        {"AdcScanRate", "2500", VI_SUCCESS},            {"AnalogChannelName", "2,Pressure", VI_SUCCESS},
        {"SerialNumber", "3", VI_ERROR_NSUP_OPER},      {"EventEnable", "2,1", VI_ERROR_INV_PARAMETER},
        {"EventEnable", "1,1", VI_SUCCESS},             {"DigitalDirection", "9,1", VI_SUCCESS},
        {"DacChannelEnable", "0,1", VI_SUCCESS},        {"OutputScanRate", "10", VI_SUCCESS},
    };
    for (const Set &s : sets)
        EXPECT_EQ(h->setPropertyByName(h->session, s.name, s.value), s.status) << s.name << "=" << s.value;
    struct Get {
        const char *name, *index, *value;
        ViStatus status;
    };
    const Get gets[] = {
        {"AnalogChannelEnable", "2", "1", VI_SUCCESS}, {"AnalogChannelName", "2", "Pressure", VI_SUCCESS},
        {"AdcScanRate", "", "2500.000000", VI_SUCCESS}, {"SerialNumber", "", "1234", VI_SUCCESS},
        {"DigitalChannelDirection", "10", "1", VI_SUCCESS}, {"EventEnable", "1", "1", VI_SUCCESS},
        {"AnalogChannelName", "", "", VI_ERROR_INV_PARAMETER}, {"OutputScanRate", "", "", VI_ERROR_NSUP_OPER},
    };
    for (const Get &g : gets) {
        char out[256] = {};
        EXPECT_EQ(h->getPropertyByName(h->session, g.name, g.index, out, sizeof out), g.status) << g.name;
        if (g.status == VI_SUCCESS) {
            EXPECT_STREQ(out, g.value) << g.name;
        }
    }
    EXPECT_EQ(h->doOperation(h->session, "calibrate", ""), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->attachBackend(h->session, nullptr), VI_ERROR_NSUP_OPER);
    TQPnPHandle *copy = h;
    EXPECT_EQ(h->release(&copy), VI_SUCCESS);
    EXPECT_EQ(copy, nullptr);
}

// A value outside -10 V to 10 V (none at all included) puts the DAC at 0 V,
// never at either end of its scale.
TEST_F(UsbTest, DacCodesOfValuesOutsideTheRangeAreZeroVolts)
{
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(ux176_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_setDacChannelEnable(vi, 1, 1), VI_SUCCESS);
    TQStreamChannel *dac = s->streamGetChannel(s, "DacChannel1");
    ASSERT_NE(dac, nullptr);
    dac->streamChannelSetOutputSyncType(dac, UX176_SYNC_ASYNCHRONOUS);
    EXPECT_EQ(s->streamGetOutputScanSize(s), 2);
    const std::pair<double, uint16_t> table[] = {
        {0.0, 0x8000},      {10.0, 0xFFFF},     {-10.0, 0x0000},    {5.0, 0xC000},         {9.99999, 0xFFFF},
        {12.0, 0x8000},     {-12.0, 0x8000},    {10.0001, 0x8000},  {-10.0001, 0x8000},    {NAN, 0x8000},
        {INFINITY, 0x8000}, {-INFINITY, 0x8000},
    };
    for (const auto &[volts, code] : table) {
        TQPiece *pieces = nullptr;
        int64_t granted = 0;
        ASSERT_EQ(s->streamReserveWrite(s, 1, &granted, &pieces), 1);
        dac->streamChannelSetEval(dac, volts, pieces[0].data);
        uint16_t written = 0;
        memcpy(&written, pieces[0].data, 2);
        EXPECT_EQ(written, code) << volts;
        EXPECT_EQ(s->streamCompleteWrite(s, 1), 1);
    }
    EXPECT_EQ(ux176_setDacChannelVoltage(vi, 1, 10.5), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(ux176_setDacChannelVoltage(vi, 0, 10.0), VI_SUCCESS);
    EXPECT_EQ(reg(UX176_REG_DAC1), 0xFFFF);
    EXPECT_EQ(reg(UX176_REG_DAC2), 0xFFFF);
}

} // namespace
