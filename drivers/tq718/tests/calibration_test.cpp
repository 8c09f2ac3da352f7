// Calibration of the model 718 against the simulated board, whose gain and
// offset errors per range, references, calibration-path offsets, bridges
// and shunts are known: accuracy after calibration in every mode, the
// bridge balance, ratio and shunt steps, progress and abort, the external
// calibration's steps and records, and the failures that must keep the old
// polynomials.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fixture718.h"

namespace tq718test
{
namespace
{

constexpr double kGain[13] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000};
constexpr double kVoltsPerCount = 0.00038427734375;
constexpr ViStatus kApply = TQ718_CAL_APPLY_VALUE;

double fullScale(int range)
{
    return 10.0 / kGain[range - 1];
}
double lsb(int range)
{
    return fullScale(range) / 32768.0;
}

// A board with known errors: every channel has its own gain and offset
// error on each range, the references H(r) and the calibration-path
// offsets differ from their nominal values, and a count of noise lets the
// averages resolve fractions of a count.
std::string erroredBoard()
{
    std::string s = "hcal.1=0.9993; hcal.4=1.0021; hcal.9=0.998; hcal.13=1.003; calpath.1=0.000012; "
                    "calpath.2=-0.000007; calpath.3=0.000004; calpath.4=0";
    for (int c = 1; c <= 4; ++c) {
        s += "; ch" + std::to_string(c) + ".noise=1";
        for (int r = 1; r <= 13; ++r) {
            char item[96];
            snprintf(item, sizeof item, "; ch%d.gainerror.%d=%g; ch%d.offset.%d=%g", c, r,
                     0.004 * ((c + r) % 5) - 0.008, c, r, 3.5 * ((c * 3 + r) % 7) - 9.0);
            s += item;
        }
    }
    return s;
}

class Calibration718 : public Board718Test
{
  protected:
    void configure(const std::string &key, const std::string &value)
    {
        ASSERT_EQ(sim().simvisa_configure(kBoard, key.c_str(), value.c_str()), VI_SUCCESS) << key;
    }
    void configure(const std::string &key, double value)
    {
        char text[64];
        snprintf(text, sizeof text, "%.17g", value);
        configure(key, std::string(text));
    }

    // Mean value of each channel over scans scans (every channel enabled,
    // all on range).
    std::vector<double> measure(ViSession vi, int range, int scans = 100)
    {
        EXPECT_EQ(tq718_setScanClockRate(vi, 10000.0), VI_SUCCESS);
        EXPECT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 0, static_cast<ViInt16>(range)), VI_SUCCESS);
        std::vector<double> values(4 * scans);
        EXPECT_EQ(
            tq718_getScans(vi, 4, static_cast<ViInt16>(scans), values.data(), static_cast<ViInt32>(values.size())),
            VI_SUCCESS);
        std::vector<double> mean(4, 0.0);
        for (int i = 0; i < 4 * scans; ++i)
            mean[i % 4] += values[i] / scans;
        return mean;
    }

    // Largest error in LSB over ranges and input levels (fractions of full
    // scale), every channel.
    double worstError(ViSession vi, const std::vector<int> &ranges)
    {
        double worst = 0.0;
        for (int range : ranges)
            for (double level : {0.83, -0.61, 0.0, 0.27}) {
                const double volts[4] = {level * fullScale(range), -level * fullScale(range) * 0.9,
                                         level * fullScale(range) * 0.5, level * fullScale(range) * 0.97};
                for (int c = 1; c <= 4; ++c)
                    configure("ch" + std::to_string(c) + ".volts", volts[c - 1]);
                const std::vector<double> mean = measure(vi, range);
                for (int c = 1; c <= 4; ++c)
                    worst = std::max(worst, std::fabs(mean[c - 1] - volts[c - 1]) / lsb(range));
            }
        return worst;
    }

    ViSession calibrationBoard(const std::string &extra, int mode)
    {
        addBoard(kBoard, extra);
        ViSession vi = open();
        EXPECT_EQ(tq718_setTransformType(vi, static_cast<ViInt16>(mode)), VI_SUCCESS);
        return vi;
    }

    // The channel record's value of one code, through its converter.
    double valueOf(ViSession vi, int channel, int16_t code)
    {
        TQStream *st = stream(vi);
        char name[32];
        snprintf(name, sizeof name, "AnalogChannel%d", channel);
        TQStreamChannel *ch = st->streamGetChannel(st, name);
        EXPECT_NE(ch, nullptr);
        // A scan with the code at the channel's place (any enabled layout).
        int16_t scan[8];
        for (int16_t &s : scan)
            s = code;
        return ch ? ch->streamChannelEval(ch, scan) : NAN;
    }
};

// ---- Accuracy ------------------------------------------------------------------------------

class CalibrationModes : public Calibration718, public ::testing::WithParamInterface<int>
{
};

TEST_P(CalibrationModes, ErrorUnderOneLsbOnEveryRangeAfterCalibration)
{
    const int mode = GetParam();
    ViSession vi = calibrationBoard(erroredBoard(), mode);
    const std::vector<int> ranges = {1, 3, 4, 7, 9, 12, 13};
    EXPECT_GT(worstError(vi, ranges), 5.0) << "the board's errors must show before calibration";
    ASSERT_EQ(tq718_calibrate(vi), VI_SUCCESS);
    EXPECT_LT(worstError(vi, ranges), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Modes, CalibrationModes, ::testing::Values(1, 2, 3));

// Every setting the calibration touches comes back: rate, source, and each
// channel's enable, multiplexer, range and limit mode; the limit levels are
// in the codes of the new polynomials.
TEST_F(Calibration718, SettingsComeBackAndLimitsFollowTheNewPolynomials)
{
    ViSession vi = calibrationBoard(erroredBoard() + "; ch1.gainerror=0.05", 1);
    ASSERT_EQ(tq718_setScanClockRate(vi, 1000.0), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 3, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelMux(vi, 2, 2), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 3, 6), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMinLvl(vi, 1, -2.0), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMaxSlope(vi, 1, 5.0), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelLimitCheckMode(vi, 1, 2), VI_SUCCESS);
    const ViUInt32 calibrator = reg(0x74);

    ASSERT_EQ(tq718_calibrate(vi), VI_SUCCESS);

    ViReal64 rate = 0;
    ViInt16 mux = 0, range = 0, mode = 0;
    ViBoolean enable = 0;
    EXPECT_EQ(tq718_getScanClockRate(vi, &rate), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(rate, 1000.0);
    const ViBoolean enables[4] = {1, 0, 1, 0};
    for (int c = 1; c <= 4; ++c) {
        EXPECT_EQ(tq718_getAnalogChannelEnable(vi, static_cast<ViInt16>(c), &enable), VI_SUCCESS);
        EXPECT_EQ(enable, enables[c - 1]) << c;
    }
    EXPECT_EQ(reg(0x14) & 0xF, 0x5u);
    EXPECT_EQ(tq718_getAnalogChannelMux(vi, 2, &mux), VI_SUCCESS);
    EXPECT_EQ(mux, 2);
    EXPECT_EQ(tq718_getAnalogChannelInputVoltageRange(vi, 3, &range), VI_SUCCESS);
    EXPECT_EQ(range, 6);
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckMode(vi, 1, &mode), VI_SUCCESS);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(reg(0x74), calibrator);
    EXPECT_EQ(reg(0x24), 0u);
    // The levels read back through the new polynomial: the codes were
    // written again (left in the old codes they would be 5 % off).
    ViReal64 low = 0, high = 0;
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckMinLvl(vi, 1, &low), VI_SUCCESS);
    EXPECT_EQ(tq718_getAnalogChannelLimitCheckMaxSlope(vi, 1, &high), VI_SUCCESS);
    EXPECT_NEAR(low, -2.0, lsb(1));
    EXPECT_NEAR(high, 5.0, lsb(1));
}

// ---- Status lines and verbose lines ----------------------------------------------------

TEST_F(Calibration718, WhileRunningRefusesWithItsStatusLines)
{
    ViSession vi = calibrationBoard("", 1);
    LineSink sink;
    ASSERT_EQ(tq718_registerStreamMsg(vi, sink.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    sink.take();
    EXPECT_EQ(tq718_calibrate(vi), TQ718_ERROR_RUNNING);
    const std::string name = kBoard;
    EXPECT_EQ(sink.take(), (std::vector<std::string>{"[" + name + "]Begin calibration",
                                                     "[" + name +
                                                         "]Complete calibrate:Operation failed because "
                                                         "device is running."}));
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
}

// The verbose lines of the first range in mode 1, every number computed
// from the board model: no noise, no gain error, so each average is the
// rounded count of the calibration input (reference less O(c)).
TEST_F(Calibration718, VerboseLinesOfAFastCalibration)
{
    const double offsets[4] = {0.0, 0.00015, -0.00021, 0.00004};
    ViSession vi = calibrationBoard("hcal.1=0.9987; calpath.2=0.00015; calpath.3=-0.00021; calpath.4=0.00004", 1);
    ASSERT_EQ(tq718_setVerboseEnable(vi, 1), VI_SUCCESS);
    LineSink sink;
    ASSERT_EQ(tq718_registerStreamMsg(vi, sink.get()), VI_SUCCESS);
    ASSERT_EQ(tq718_calibrate(vi), VI_SUCCESS);
    const std::vector<std::string> lines = sink.take();

    auto line = [](const char *format, auto... args) {
        char text[512];
        snprintf(text, sizeof text, format, args...);
        return std::string(text);
    };
    const double h = 0.9987, v = h * 10.0;
    std::vector<std::string> expected = {line("Input range %s to -%s HCalCoef %lg", "10V", "10V", h)};
    for (int c = 1; c <= 4; ++c) {
        const double o = offsets[c - 1];
        auto count = [&](double volts) { return static_cast<double>(std::lround((volts - o) / kVoltsPerCount)); };
        const double x1 = count(0.0), x3 = count(v), x5 = count(-v);
        const double c1 = (v - -v) / (x3 - x5), c0 = (0.0 - o) - c1 * x1;
        expected.push_back(line(" Channel %hd(%s): %s calpath offset=% lg", static_cast<short>(c),
                                ("AnalogChannel" + std::to_string(c)).c_str(), "Fast Cal", o));
        expected.push_back(line("  Ground\t\t\t\tAverage ADC count % lf", x1));
        expected.push_back(line("  Positive HCal % lg\t\tAverage ADC count % lf", v, x3));
        expected.push_back(line("  Negative HCal % lg\t\tAverage ADC count % lf", -v, x5));
        expected.push_back(line("%s polynomial: %lgx %c %lg\n", "  Final", c1, c0 < 0 ? '-' : '+', std::fabs(c0)));
        expected.push_back(line("  selfcheck G % lf", c1 * x1 + c0));
        const double p = c1 * x3 + c0, n = c1 * x5 + c0;
        expected.push_back(line("  selfcheck P % lf %% dev %lf", p, ((v - o) - p) / (v - o)));
        expected.push_back(line("  selfcheck N % lf %% dev %lf", n, ((-v - o) - n) / (-v - o)));
    }
    const auto first = std::find(lines.begin(), lines.end(), expected.front());
    ASSERT_NE(first, lines.end()) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.front(), "[" + std::string(kBoard) + "]Begin calibration");
    EXPECT_EQ(lines.back(),
              "[" + std::string(kBoard) + "]Complete calibrate:VI_SUCCESS: Operation completed successfully.");
    const std::vector<std::string> got(first, first + std::min<ptrdiff_t>(lines.end() - first, expected.size()));
    EXPECT_EQ(got, expected);
    // Then the next range. (The ground point of mode 1 gives exactly -O(c):
    // channel 2's selfcheck G above reads -0.000150.)
    EXPECT_EQ(expected[8 + 6], "  selfcheck G -0.000150");
    ASSERT_LT(first + expected.size(), lines.end());
    EXPECT_EQ(*(first + expected.size()), line("Input range %s to -%s HCalCoef %lg", "5V", "5V", 1.0));
}

// ---- Progress ------------------------------------------------------------------------------

struct ProgressLog {
    std::vector<std::string> texts;
    int abortAt = 0;     // call number whose answer aborts (0: never)
    ViStatus answer = 0; // status every call answers
    int calls = 0;
};

ViStatus progressHandler(ViConstString, ViUInt32 events, void *user, ViUInt32 *clearMask, ViChar *message)
{
    auto *log = static_cast<ProgressLog *>(user);
    EXPECT_EQ(events, 0x20000u);
    log->texts.emplace_back(message);
    if (++log->calls == log->abortAt)
        *clearMask = 0x20000;
    return log->answer;
}

TEST_F(Calibration718, ProgressEventsAndAbort)
{
    struct Case {
        const char *what;
        int abortAt;
        ViStatus firstAnswer;
        ViStatus result;
        size_t firstCalls;  // texts the first handler receives
        size_t secondCalls; // and the second one
    };
    const Case cases[] = {
        {"every range, then the end", 0, VI_SUCCESS, VI_SUCCESS, 14, 14},
        // The second handler only hears the end.
        {"abort after the first range", 1, VI_SUCCESS, VI_ERROR_ABORT, 2, 1},
        {"a negative answer stops the delivery, not the calibration", 0, VI_ERROR_SYSTEM_ERROR, VI_SUCCESS, 14, 0},
    };
    addBoard();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ViSession vi = open();
        ASSERT_EQ(tq718_setScanClockRate(vi, 2000.0), VI_SUCCESS);
        ProgressLog first{{}, c.abortAt, c.firstAnswer}, second;
        char firstBuffer[256] = {}, secondBuffer[256] = {};
        ASSERT_EQ(tq718_installEventHandler(vi, 0x1, progressHandler, &second, secondBuffer), VI_SUCCESS);
        ASSERT_EQ(tq718_uninstallEventHandler(vi, 0x1, progressHandler, &second), VI_SUCCESS);
        ASSERT_EQ(tq718_installEventHandler(vi, 0x20000, progressHandler, &first, firstBuffer), VI_SUCCESS);
        ASSERT_EQ(tq718_installEventHandler(vi, 0x20001, progressHandler, &second, secondBuffer), VI_SUCCESS);
        EXPECT_EQ(tq718_calibrate(vi), c.result);
        ASSERT_EQ(first.texts.size(), c.firstCalls);
        EXPECT_EQ(second.texts.size(), c.secondCalls);
        EXPECT_EQ(first.texts.front(), std::string(kBoard) + " calibrate: 7.69%");
        if (c.firstCalls == 14) {
            EXPECT_EQ(first.texts[1], std::string(kBoard) + " calibrate: 15.38%");
            EXPECT_EQ(first.texts[12], std::string(kBoard) + " calibrate: 100.00%");
        }
        EXPECT_EQ(first.texts.back(), "") << "the end of the progress";
        ViReal64 rate = 0;
        EXPECT_EQ(tq718_getScanClockRate(vi, &rate), VI_SUCCESS);
        EXPECT_DOUBLE_EQ(rate, 2000.0) << "settings restored";
        close(vi);
    }
}

// ---- Bridges -----------------------------------------------------------------------------

// A bridge channel excited with 5 V: voltage excitation code 2048.
void bridgeChannel(ViSession vi, int c, int polarity = 1, double positive = 0, double negative = 0)
{
    const auto ch = static_cast<ViInt16>(c);
    ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, ch, 2), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitationType(vi, ch, 2), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelExcitation(vi, ch, 5.0), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelBridgeBalanceEnable(vi, ch, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelShuntCalPolarity(vi, ch, static_cast<ViInt16>(polarity)), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelPositiveShuntedPcnt(vi, ch, positive), VI_SUCCESS);
    ASSERT_EQ(tq718_setAnalogChannelNegativeShuntedPcnt(vi, ch, negative), VI_SUCCESS);
}

// Balance DAC steps of a 16-bit register value (positive codes lower the output).
int dacSteps(ViUInt32 code)
{
    const int magnitude = static_cast<int>(code & 0xFFF);
    return (code & 0x1000) ? -magnitude : (code & 0x2000) ? magnitude : 0;
}

// Channel 1 balances a 2 mV/V bridge (10 mV at 5 V: 2000 DAC steps of
// 5 uV); channel 2's 5 mV/V (25 mV) is beyond the DAC's 4095 steps.
TEST_F(Calibration718, BridgeBalanceConvergesAndSaturationWarns)
{
    ViSession vi = calibrationBoard("ch1.bridge=2.0007; ch2.bridge=5; ch1.noise=1; ch2.noise=1", 1);
    bridgeChannel(vi, 1);
    bridgeChannel(vi, 2);
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 0, 1), VI_SUCCESS);
    LineSink sink;
    ASSERT_EQ(tq718_registerStreamMsg(vi, sink.get()), VI_SUCCESS);
    EXPECT_EQ(tq718_calibrate(vi), TQ718_WARN_BALANCE_SATURATED);

    // A range-1 count is 77 DAC steps: the search ends within one.
    EXPECT_NEAR(dacSteps(reg(0x50, kBar2, kBoard, 2)), 2000, 80);
    EXPECT_EQ(dacSteps(reg(0x54, kBar2, kBoard, 2)), 4095) << "saturated at the top";
    bool warned = false;
    for (const std::string &l : sink.take())
        warned =
            warned || (l.rfind(" Channel 2: bridge balance from ", 0) == 0 && l.find("volts DAC Saturated") != l.npos);
    EXPECT_TRUE(warned);

    // The balanced bridge reads 0 as a ratio of the excitation, and a
    // change of 0.3 mV/V reads 0.0003.
    const int range = 7;
    EXPECT_NEAR(measure(vi, range)[0], 0.0, 2 * lsb(range) / 5.0);
    configure("ch1.bridge", "2.3007");
    EXPECT_NEAR(measure(vi, range)[0], 0.0003, 2 * lsb(range) / 5.0);
}

// Shunt calibration: the sensor polynomial's slope is the shunted
// percentage over the difference of b(x) = -4 p(x) / (2 p(x) - 1) between
// the shunted and the relaxed readings.
TEST_F(Calibration718, ShuntSlopeIsThePercentageOverTheBridgeChange)
{
    struct Case {
        int polarity;
        double positive, negative;
    };
    for (const Case &k : {Case{2, 40.0, 0.0}, Case{3, 0.0, 30.0}}) {
        SCOPED_TRACE(k.polarity);
        addBoard(kBoard, "ch1.bridge=1.0013; ch1.shunt=0.5; ch1.noise=1");
        ViSession vi = open();
        bridgeChannel(vi, 1, k.polarity, k.positive, k.negative);
        ASSERT_EQ(tq718_setVerboseEnable(vi, 1), VI_SUCCESS);
        LineSink sink;
        ASSERT_EQ(tq718_registerStreamMsg(vi, sink.get()), VI_SUCCESS);
        ASSERT_EQ(tq718_calibrate(vi), VI_SUCCESS);

        // The bridge steps' verbose lines, in order (their numbers depend
        // on the noise; only their beginnings are fixed).
        const std::vector<std::string> lines = sink.take();
        const std::vector<std::string> steps = {
            "Begin Bridge Balance",
            " Channel 1: bridge balance from ",
            "\nBegin Bridge Calc",
            " Input range 10V to -10V",
            " channel 1(AnalogChannel1) Vin ",
            "  New polynomial: ",
            " Input range 1mV to -1mV",
            " channel 1(AnalogChannel1) Vin ",
            "  New polynomial: ",
            "\nBegin Shunt Cal",
            " channel 1(AnalogChannel1)",
            k.polarity == 2 ? "  Negative Shunt Exp  0\t\tMeasured " : "  Negative Shunt Exp  30\t\tMeasured ",
            "  Relax\t\t\t\tMeasured  ",
            k.polarity == 2 ? "  Positive Shunt Exp  40\t\tMeasured " : "  Positive Shunt Exp  0\t\tMeasured ",
            "  Final polynomial: ",
            k.polarity == 2 ? "  selfcheck G " : "  selfcheck N -30.0",
            k.polarity == 2 ? "  selfcheck P  40.0" : "  selfcheck G ",
        };
        size_t next = 0;
        for (const std::string &l : lines)
            if (next < steps.size() && l.rfind(steps[next], 0) == 0)
                ++next;
        EXPECT_EQ(next, steps.size()) << "missing: "
                                      << ::testing::PrintToString(steps[std::min(next, steps.size() - 1)]) << " in "
                                      << ::testing::PrintToString(lines);

        // b at the relaxed and the shunted readings, from the calibrated
        // polynomial (the sensor polynomial is not applied by getScans).
        const int range = 7;
        auto b = [](double p) { return -4.0 * p / (2.0 * p - 1.0); };
        const double relaxed = b(measure(vi, range, 400)[0]);
        setReg(0x24, k.polarity == 2 ? 0x2 : 0x1);
        const double shunted = b(measure(vi, range, 400)[0]);
        setReg(0x24, 0);
        const double slope = k.polarity == 2 ? k.positive / (shunted - relaxed) : k.negative / (relaxed - shunted);

        // The channel's value at two codes: the sensor polynomial of b.
        ASSERT_EQ(tq718_setAnalogChannelInputVoltageRange(vi, 1, range), VI_SUCCESS);
        ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 1), VI_SUCCESS);
        const double p1 = valueOf(vi, 1, 1000), p2 = valueOf(vi, 1, -3000);
        ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 2), VI_SUCCESS);
        const double s1 = valueOf(vi, 1, 1000), s2 = valueOf(vi, 1, -3000);
        EXPECT_NEAR(s1 / b(p1), slope, std::fabs(slope) * 0.01);
        EXPECT_NEAR(s2 / b(p2), slope, std::fabs(slope) * 0.01);
        close(vi);
        ASSERT_EQ(sim().simvisa_removeInstrument(kBoard), VI_SUCCESS);
        sim().simvisa_reset();
    }
}

// ---- Failures keep the old tables ------------------------------------------------------

TEST_F(Calibration718, FailuresKeepTheOldPolynomials)
{
    struct Case {
        const char *what;
        std::string board;
        int mode;
        std::function<void(ViSession)> setUp;
        ViStatus result;
    };
    const Case cases[] = {
        {"equal points, mode 1", "ch3.gainerror=-1; ch3.noise=1", 1, nullptr, VI_ERROR_SYSTEM_ERROR},
        {"equal points, mode 2", "ch3.gainerror=-1; ch3.noise=1", 2, nullptr, VI_ERROR_SYSTEM_ERROR},
        {"equal points, mode 3", "ch3.gainerror=-1; ch3.noise=1", 3, nullptr, VI_ERROR_SYSTEM_ERROR},
        {"bridge without excitation", "ch1.bridge=1", 1,
         [](ViSession vi) { ASSERT_EQ(tq718_setAnalogChannelSensorType(vi, 1, 2), VI_SUCCESS); }, VI_ERROR_INV_SETUP},
        {"equal shunt readings", "ch1.bridge=1; ch1.shunt=0; ch1.noise=1", 1,
         [](ViSession vi) { bridgeChannel(vi, 1, 2, 40.0); }, VI_ERROR_SYSTEM_ERROR},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ViSession vi = calibrationBoard(c.board, c.mode);
        if (c.setUp)
            c.setUp(vi);
        double before[4];
        for (int ch = 1; ch <= 4; ++ch)
            before[ch - 1] = valueOf(vi, ch, 12345);
        ViInt16 enable = 0;
        EXPECT_EQ(tq718_calibrate(vi), c.result);
        for (int ch = 1; ch <= 4; ++ch) {
            const double after = valueOf(vi, ch, 12345);
            EXPECT_TRUE(std::isfinite(after)) << ch;
            EXPECT_EQ(after, before[ch - 1]) << "channel " << ch;
        }
        ViBoolean enabled = 1;
        EXPECT_EQ(tq718_getAnalogChannelEnable(vi, 2, &enabled), VI_SUCCESS);
        EXPECT_EQ(enabled, 0) << "settings restored";
        (void)enable;
        close(vi);
        sim().simvisa_reset();
    }
}

// ---- External calibration ---------------------------------------------------------------

TEST_F(Calibration718, ExternalCalibrationAsksForEachPointAndFitsAfterTheLast)
{
    struct Case {
        int mode, range;
        std::vector<double> asked;
    };
    const Case cases[] = {
        {1, 4, {0.0, 1.0, -1.0}},
        {2, 9, {0.0, 0.02, -0.02}},
        {3, 5, {0.0, 0.2, 0.5, -0.2, -0.5}},
        {3, 13, {0.0, 0.001, -0.001}}, // no next range: ground and both full scales
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << k.mode << ", range " << k.range);
        ViSession vi = calibrationBoard(erroredBoard(), k.mode);
        TQ718CalRecord *record = nullptr;
        ViReal64 value = -1;
        ViStatus status = tq718_calibrateExternal(vi, &record, static_cast<ViInt16>(k.range), &value);
        std::vector<double> asked;
        while (status == kApply) {
            asked.push_back(value);
            // The calibrator's output is close to, not exactly, the value
            // asked for; the caller reports what it applied.
            const double applied = value * 0.9996 + lsb(k.range) * 3.0;
            for (int c = 1; c <= 4; ++c)
                configure("ch" + std::to_string(c) + ".volts", applied);
            status = tq718_calibrateExternalResume(vi, record, applied, &value);
        }
        EXPECT_EQ(status, VI_SUCCESS);
        ASSERT_EQ(asked.size(), k.asked.size());
        for (size_t i = 0; i < asked.size(); ++i)
            EXPECT_NEAR(asked[i], k.asked[i], 1e-12) << i;
        EXPECT_LT(worstError(vi, {k.range}), 1.0);
        // The record went with the last step.
        EXPECT_EQ(tq718_calibrateExternalResume(vi, record, 0.0, &value), VI_ERROR_INV_SETUP);
        EXPECT_EQ(tq718_calibrateExternalCancel(vi, record), VI_ERROR_INV_SETUP);
        close(vi);
        sim().simvisa_reset();
    }
}

TEST_F(Calibration718, ExternalRecordsAreCheckedAndCancelRestores)
{
    addBoard();
    addBoard(kOtherBoard);
    ViSession vi = open(), other = open(kOtherBoard);
    ASSERT_EQ(tq718_setScanClockRate(vi, 500.0), VI_SUCCESS);
    TQ718CalRecord *record = nullptr, *second = nullptr;
    ViReal64 value = 0;
    ASSERT_EQ(tq718_calibrateExternal(vi, &record, 2, &value), kApply);
    // One calibration at a time on a session; the record is its own.
    EXPECT_EQ(tq718_calibrateExternal(vi, &second, 2, &value), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tq718_calibrate(vi), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tq718_calibrateExternalResume(other, record, 0.0, &value), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tq718_calibrateExternalCancel(other, record), VI_ERROR_INV_SETUP);
    int local = 0;
    EXPECT_EQ(tq718_calibrateExternalCancel(vi, reinterpret_cast<TQ718CalRecord *>(&local)), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tq718_calibrateExternalResume(vi, nullptr, 0.0, &value), VI_ERROR_INV_SETUP);

    ASSERT_EQ(tq718_calibrateExternalResume(vi, record, 0.0, &value), kApply);
    EXPECT_DOUBLE_EQ(value, 5.0);
    EXPECT_EQ(tq718_calibrateExternalCancel(vi, record), VI_SUCCESS);
    EXPECT_EQ(tq718_calibrateExternalCancel(vi, record), VI_ERROR_INV_SETUP) << "cancelled once";
    EXPECT_EQ(tq718_calibrateExternalResume(vi, record, 0.0, &value), VI_ERROR_INV_SETUP);
    ViReal64 rate = 0;
    EXPECT_EQ(tq718_getScanClockRate(vi, &rate), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(rate, 500.0);
    ViBoolean enabled = 1;
    EXPECT_EQ(tq718_getAnalogChannelEnable(vi, 1, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, 0);

    // A session closed in the middle frees its record.
    ASSERT_EQ(tq718_calibrateExternal(other, &second, 3, &value), kApply);
    close(other);
    // And a new calibration can start once the last one ended; the old
    // record stays refused although the new one may take its place.
    TQ718CalRecord *old = record;
    ASSERT_EQ(tq718_calibrateExternal(vi, &record, 2, &value), kApply);
    EXPECT_NE(record, old);
    EXPECT_EQ(tq718_calibrateExternalCancel(vi, old), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tq718_calibrateExternalCancel(vi, record), VI_SUCCESS);
}

TEST_F(Calibration718, RefusedWithoutABoardToCalibrate)
{
    ViSession none = openWithoutInstrument();
    EXPECT_EQ(tq718_calibrate(none), VI_ERROR_ALLOC);
    addBoard();
    ViSession vi = open();
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    EXPECT_EQ(tq718_calibrate(vi), VI_ERROR_INV_SETUP);
    TQ718CalRecord *record = nullptr;
    ViReal64 value = 0;
    EXPECT_EQ(tq718_calibrateExternal(vi, &record, 1, &value), VI_ERROR_INV_SETUP);
    ASSERT_EQ(tq718_setSimulationMode(vi, 0), VI_SUCCESS);
    EXPECT_EQ(tq718_calibrateExternal(vi, &record, 14, &value), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_calibrateExternal(vi, &record, 0, &value), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq718_calibrateExternal(vi, nullptr, 1, &value), VI_ERROR_INV_PARAMETER);
}

// The resource manager's operation runs the same calibration.
TEST_F(Calibration718, PnPOperation)
{
    addBoard();
    TQPnPHandle *handle = nullptr;
    ASSERT_EQ(tq718_getPnPHandle(kBoard, &handle), VI_SUCCESS);
    LineSink sink;
    ASSERT_EQ(tq718_registerStreamMsg(handle->session, sink.get()), VI_SUCCESS);
    EXPECT_EQ(handle->doOperation(handle->session, "calibrate", ""), VI_SUCCESS);
    const std::vector<std::string> lines = sink.take();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "[" + std::string(kBoard) + "]Complete calibrate:VI_SUCCESS: Operation completed successfully.");
    handle->release(&handle);
}

} // namespace
} // namespace tq718test
