// The framework's pieces on their own: sample converters, the capture
// header, property value texts and the channel-name rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tq/driver/bitchannel.h"
#include "tq/driver/channels.h"
#include "tq/driver/driver.h"
#include "tq/driver/properties.h"

namespace
{

using namespace tq::driver;

// One scan: two samples and an event word.
struct Scan {
    int16_t a = 0;
    int16_t b = 0;
    uint16_t events = 0;
};

AnalogChannel analogAt(uint16_t offset, int16_t range, std::initializer_list<double> coefficients)
{
    AnalogChannel a;
    initAnalogChannel(a, 1, "a", "volts", nullptr);
    a.offset = offset;
    a.range = range;
    a.calibration.order = static_cast<int16_t>(coefficients.size() - 1);
    int k = 0;
    for (double c : coefficients) {
        for (int r = 0; r < kPolynomialRanges; ++r)
            a.calibration.c[k][r] = c * (r + 1); // every range its own column
        ++k;
    }
    return a;
}

TEST(Converters, PolynomialOfTheSampleAtItsOffsetForTheCurrentRange)
{
    Scan scan{7, -3, 0};
    // Range 2 takes the coefficients doubled: 2 * (1 + 0.5x + 0.25x^2).
    AnalogChannel a = analogAt(2, 2, {1.0, 0.5, 0.25});
    const double x = -3;
    EXPECT_DOUBLE_EQ(a.head.streamChannelEval(&a.head, &scan), 2 * (1.0 + 0.5 * x + 0.25 * x * x));
    EXPECT_DOUBLE_EQ(a.head.streamChannelEvalRaw(&a.head, &scan), -3.0);
    a.range = 13;
    EXPECT_DOUBLE_EQ(convertPolynomial(&a.head, &scan), 13 * (1.0 + 0.5 * x + 0.25 * x * x));
    // Ranges outside the table and a channel without a table read 0 instead of past the table.
    for (int16_t bad : {0, 14, -1}) {
        a.range = bad;
        EXPECT_EQ(convertPolynomial(&a.head, &scan), 0.0) << bad;
    }
    a.range = 1;
    a.calibration.order = -1;
    EXPECT_EQ(convertPolynomial(&a.head, &scan), 0.0);
}

TEST(Converters, BridgeRatioThenTheSensorPolynomialWhenThereIsOne)
{
    Scan scan{100, 0, 0};
    AnalogChannel a = analogAt(0, 1, {0.0, 0.001}); // d = 0.1
    a.sensorType = kSensorBridge;
    selectAnalogConverter(a);
    EXPECT_EQ(a.head.streamChannelEval, &convertBridge);
    const double d = 0.1, r = -4 * d / (2 * d - 1);
    EXPECT_DOUBLE_EQ(a.head.streamChannelEval(&a.head, &scan), r);
    a.sensor.order = 1;
    for (int k = 0; k < kPolynomialRanges; ++k) {
        a.sensor.c[0][k] = 2.0;
        a.sensor.c[1][k] = 10.0;
    }
    EXPECT_DOUBLE_EQ(convertBridge(&a.head, &scan), 2.0 + 10.0 * r);
    a.sensorType = 1;
    selectAnalogConverter(a);
    EXPECT_EQ(a.head.streamChannelEval, &convertPolynomial);
}

TEST(Converters, EventBitsAndWord)
{
    Scan scan{0, 0, 0x8005};
    struct Case {
        int number;
        double value;
    } cases[] = {{1, 1.0}, {2, 0.0}, {3, 1.0}, {16, 1.0}, {15, 0.0}};
    for (const Case &c : cases) {
        EventChannel e;
        initEventChannel(e, c.number, "e", "binary", nullptr);
        e.offset = offsetof(Scan, events);
        EXPECT_EQ(e.bit, c.number - 1);
        EXPECT_EQ(e.head.streamChannelEval(&e.head, &scan), c.value) << c.number;
        EXPECT_EQ(e.head.streamChannelEvalRaw(&e.head, &scan), 0x8005) << "unsigned word";
    }
}

uint64_t bitsOf(double v)
{
    uint64_t b;
    memcpy(&b, &v, sizeof b);
    return b;
}

// What each converter with a run function gives over a run of scans is what
// it gives scan by scan, to the bit: every ADC code from the ends of the
// range through zero, each order of table, ranges inside and outside the
// table, samples at every offset of a scan wider than the samples.
TEST(Converters, RunsOfScansConvertAsScanByScanToTheBit)
{
    // Scans of 10 bytes (four samples and an event word), as the model 718
    // lays them out, holding every code of interest on every word.
    constexpr uint32_t kScanSize = 10;
    std::vector<uint16_t> words;
    for (int code : {-32768, -32767, -16384, -2, -1, 0, 1, 2, 16383, 32766, 32767})
        words.push_back(static_cast<uint16_t>(code));
    for (uint32_t k = 0; k < 400; ++k)
        words.push_back(static_cast<uint16_t>(k * 40503u + 17u)); // a spread of codes and bit patterns
    const int64_t scans = static_cast<int64_t>(words.size());
    std::vector<uint8_t> data(static_cast<size_t>(scans) * kScanSize);
    for (int64_t i = 0; i < scans; ++i)
        for (uint32_t w = 0; w < kScanSize / 2; ++w) {
            const uint16_t v = words[static_cast<size_t>((i + w * 3) % scans)]; // each word its own order
            memcpy(&data[static_cast<size_t>(i) * kScanSize + 2 * w], &v, 2);
        }

    const auto &runs = converterRuns();
    auto runOf = [&](TQChannelEvalFn eval) {
        for (const ConverterRun &r : runs)
            if (r.eval == eval)
                return r.run;
        return static_cast<TQChannelRunFn>(nullptr);
    };
    auto check = [&](TQStreamChannel *ch, const std::string &what) {
        const TQChannelRunFn run = runOf(ch->streamChannelEval);
        ASSERT_NE(run, nullptr) << what;
        for (int64_t first : {int64_t{0}, int64_t{3}}) {
            const int64_t n = scans - first - 1;
            std::vector<double> out(static_cast<size_t>(n) + 1, -7.0);
            run(ch, data.data() + first * kScanSize, kScanSize, n, out.data());
            EXPECT_EQ(out[static_cast<size_t>(n)], -7.0) << what << ": written past the run";
            for (int64_t i = 0; i < n; ++i) {
                const double run = out[static_cast<size_t>(i)];
                const double each = ch->streamChannelEval(ch, data.data() + (first + i) * kScanSize);
                // Of two NaN operands, the processor passes on the one the
                // compiler happened to put first: a NaN only has to stay NaN.
                if (std::isnan(run) && std::isnan(each))
                    continue;
                ASSERT_EQ(bitsOf(run), bitsOf(each)) << what << ", scan " << first + i << " of the data";
            }
        }
    };

    struct Table {
        const char *what;
        int16_t order;
        std::vector<double> c; // coefficients of x^0 up, for every range (times the range)
    };
    const Table tables[] = {
        {"no table", -1, {}},
        {"constant", 0, {2.5}},
        {"line", 1, {-0.125, 10.0 / 32768}},
        {"line of NaN and infinity", 1, {std::nan(""), INFINITY}},
        {"quadratic", 2, {1.0, 0.5, 0.25}},
        {"cubic", 3, {0.1, -2.0, 1e-5, 3e-9}},
        {"order 7", 7, {1, -1, 0.5, -0.25, 1e-3, -1e-6, 1e-9, -1e-12}},
        {"order 9 cut to 7", 9, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Table &t : tables)
        for (int16_t range : {1, 5, 13, 0, 14, -1})
            for (uint16_t offset : {0, 2, 6}) {
                AnalogChannel a;
                initAnalogChannel(a, 1, "a", "volts", nullptr);
                a.offset = offset;
                a.range = range;
                a.calibration.order = t.order;
                for (size_t k = 0; k < t.c.size(); ++k)
                    for (int r = 0; r < kPolynomialRanges; ++r)
                        a.calibration.c[k][r] = t.c[k] * (r + 1);
                const std::string what = std::string(t.what) + ", range " + std::to_string(range) + ", offset " +
                                         std::to_string(offset);
                check(&a.head, what);
                // The same table as a bridge, without and with a sensor polynomial.
                a.sensorType = kSensorBridge;
                selectAnalogConverter(a);
                check(&a.head, "bridge of " + what);
                a.sensor.order = 2;
                for (int r = 0; r < kPolynomialRanges; ++r) {
                    a.sensor.c[0][r] = -1.0;
                    a.sensor.c[1][r] = 250.0 * (r + 1);
                    a.sensor.c[2][r] = 0.5;
                }
                check(&a.head, "bridge with a sensor of " + what);
            }
    for (int number : {1, 2, 8, 15, 16, 17}) {
        EventChannel e;
        initEventChannel(e, number, "e", "binary", nullptr);
        e.offset = 8;
        check(&e.head, "event bit " + std::to_string(number - 1));
    }
    EventChannel zero;
    initEventChannel(zero, 1, "z", "binary", nullptr);
    zero.head.streamChannelEval = convertZero;
    check(&zero.head, "a channel that reads 0");
}

TEST(Channels, HeadsAreFilledAndCutToTheirFields)
{
    AnalogChannel a;
    const std::string longName(200, 'n');
    initAnalogChannel(a, 3, longName.c_str(), std::string(100, 'u').c_str(), nullptr);
    EXPECT_EQ(strlen(a.head.name), TQ_CHANNEL_NAME_SIZE - 1u);
    EXPECT_EQ(strlen(a.head.eu), TQ_CHANNEL_EU_SIZE - 1u);
    EXPECT_EQ(a.head.ownerWord, 3);
    EXPECT_EQ(reinterpret_cast<void *>(&a.head), reinterpret_cast<void *>(&a)) << "the head leads the record";
}

// ---------------------------------------------------------------------------

// The few stream functions a capture header reads, over a bare record.
double rate(TQStream *)
{
    return 250.5;
}
int32_t decimation(TQStream *)
{
    return 3;
}
uint16_t channels(TQStream *)
{
    return 2;
}

TQStream fakeStream()
{
    TQStream s{};
    s.streamGetRate = rate;
    s.streamGetDecimation = decimation;
    s.streamGetNumberChannels = channels;
    return s;
}

TEST(CaptureHeaders, StreamValuesAndOneDescriptorPerChannelUpToTheChannelCount)
{
    TQStream stream = fakeStream();
    const int64_t before = time(nullptr);
    CaptureHeader header(&stream);
    const TQCaptureHeader *h = header.get();
    EXPECT_EQ(h->rate, 250.5);
    EXPECT_EQ(h->decimation, 3);
    EXPECT_GE(h->startTime, before);
    EXPECT_LE(h->startTime, time(nullptr));
    EXPECT_EQ(h->channelCount, 0);

    AnalogChannel bridge = analogAt(0, 2, {0.5, 2.0});
    bridge.sensorType = kSensorBridge;
    bridge.sensor.order = 2;
    for (int k = 0; k < 3; ++k)
        bridge.sensor.c[k][1] = 10.0 + k;
    ASSERT_TRUE(header.addAnalog(bridge));
    EventChannel e;
    initEventChannel(e, 4, "Ev4", "binary", nullptr);
    ASSERT_TRUE(header.addEvent(e));
    EXPECT_FALSE(header.addEvent(e)) << "no room beyond the stream's channel count";

    ASSERT_EQ(h->channelCount, 2);
    const TQCaptureChannel &c0 = h->channels[0];
    EXPECT_STREQ(c0.name, "a");
    EXPECT_STREQ(c0.eu, "volts");
    EXPECT_EQ(c0.kind, TQ_XFRM_BRIDGE);
    ASSERT_EQ(c0.coefficientCount, 2);
    EXPECT_EQ(c0.coefficients[0], 1.0) << "range 2's column, c[0] first";
    EXPECT_EQ(c0.coefficients[1], 4.0);
    ASSERT_EQ(c0.sensorCoefficientCount, 3);
    EXPECT_EQ(c0.sensorCoefficients[2], 12.0);
    const TQCaptureChannel &c1 = h->channels[1];
    EXPECT_EQ(c1.kind, TQ_XFRM_EVENT_BIT);
    ASSERT_EQ(c1.coefficientCount, 1);
    EXPECT_EQ(c1.coefficients[0], 3.0) << "the bit number";

    // A plain analog channel: kind 1, no sensor polynomial even when one is set.
    CaptureHeader plain(&stream);
    AnalogChannel p = analogAt(0, 1, {0.0, 1.0});
    p.sensor.order = 0;
    ASSERT_TRUE(plain.addAnalog(p));
    EXPECT_EQ(plain.get()->channels[0].kind, TQ_XFRM_POLYNOMIAL);
    EXPECT_EQ(plain.get()->channels[0].sensorCoefficientCount, 0);
    EXPECT_EQ(plain.get()->channels[0].sensorCoefficients, nullptr);

    CaptureHeader empty;
    EXPECT_EQ(empty.get()->channelCount, 0);
    EXPECT_FALSE(empty.add("x", "y", 1, nullptr, 0));
}

// ---------------------------------------------------------------------------

struct ScanCase {
    ValueFormat format;
    const char *text;
    bool ok;
    ViInt16 index;
    ViInt16 int16;
    ViInt32 int32;
    double real;
    const char *str;
};

const ScanCase kScans[] = {
    {ValueFormat::Text, "Bench 7", true, 0, 0, 0, 0, "Bench 7"},
    {ValueFormat::Text, "first,second", true, 0, 0, 0, 0, "first"},
    {ValueFormat::Text, "", false, 0, 0, 0, 0, ""},
    {ValueFormat::Text, ",x", false, 0, 0, 0, 0, ""},
    {ValueFormat::Int16, "-12", true, 0, -12, 0, 0, ""},
    {ValueFormat::Int16, " 7 ", true, 0, 7, 0, 0, ""},
    {ValueFormat::Int16, "x7", false, 0, 0, 0, 0, ""},
    {ValueFormat::Int16, "", false, 0, 0, 0, 0, ""},
    {ValueFormat::Int32, "123456789", true, 0, 0, 123456789, 0, ""},
    {ValueFormat::Real, "2.5e3", true, 0, 0, 0, 2500.0, ""},
    {ValueFormat::Real, "abc", false, 0, 0, 0, 0, ""},
    {ValueFormat::IndexInt16, "2,1", true, 2, 1, 0, 0, ""},
    {ValueFormat::IndexInt16, "2", false, 0, 0, 0, 0, ""},
    {ValueFormat::IndexInt16, "2,", false, 0, 0, 0, 0, ""},
    {ValueFormat::IndexInt16, "2;1", false, 0, 0, 0, 0, ""},
    {ValueFormat::IndexReal, "1,0.125", true, 1, 0, 0, 0.125, ""},
    {ValueFormat::IndexReal, "1", false, 0, 0, 0, 0, ""},
    {ValueFormat::IndexText, "3,Strain_1", true, 3, 0, 0, 0, "Strain_1"},
    {ValueFormat::IndexText, "3,a,b", true, 3, 0, 0, 0, "a"},
    {ValueFormat::IndexText, "3", false, 0, 0, 0, 0, ""},
    {ValueFormat::IndexText, "3,", false, 0, 0, 0, 0, ""},
};

class ValueTexts : public ::testing::TestWithParam<ScanCase>
{
};

TEST_P(ValueTexts, EveryFieldOfTheFormatOrNothing)
{
    const ScanCase &c = GetParam();
    ScannedValue v;
    ASSERT_EQ(scanValue(c.format, c.text, v), c.ok) << scanFormatText(c.format) << " '" << c.text << "'";
    if (!c.ok)
        return;
    EXPECT_EQ(v.index, c.index);
    EXPECT_EQ(v.int16, c.int16);
    EXPECT_EQ(v.int32, c.int32);
    EXPECT_EQ(v.real, c.real);
    EXPECT_STREQ(v.text, c.str);
}

INSTANTIATE_TEST_SUITE_P(Cases, ValueTexts, ::testing::ValuesIn(kScans));

TEST(ValueTexts, TextFieldsStopAt255CharactersAndNullTextIsRefused)
{
    for (ValueFormat f : {ValueFormat::Text, ValueFormat::IndexText}) {
        const std::string text = std::string(f == ValueFormat::IndexText ? "1," : "") + std::string(1000, 'z');
        ScannedValue v;
        ASSERT_TRUE(scanValue(f, text.c_str(), v));
        EXPECT_EQ(strlen(v.text), 255u);
        EXPECT_FALSE(scanValue(f, nullptr, v));
    }
}

// ---------------------------------------------------------------------------

TEST(ChannelNames, RulesInOrderAndUniquenessOverOneCall)
{
    struct Case {
        int channel;
        std::string name;
        ViStatus status;
        const char *text;
    };
    const Case cases[] = {
        {4, "Strain_1", VI_SUCCESS, ""},
        {3, "", VI_ERROR_INV_PARAMETER, "Channel 3 must be assigned a name"},
        {3, std::string(128, 'a'), VI_ERROR_INV_PARAMETER, "Channel 3 name to long"},
        {3, std::string(127, 'a'), VI_SUCCESS, ""},
        {2, "1abc", VI_ERROR_INV_PARAMETER, "Channel 2 name contains illegal characters"},
        {2, "_abc", VI_ERROR_INV_PARAMETER, "Channel 2 name contains illegal characters"},
        {2, "ab-c", VI_ERROR_INV_PARAMETER, "Channel 2 name contains illegal characters"},
        {2, "ab\xe9", VI_ERROR_INV_PARAMETER, "Channel 2 name contains illegal characters"},
        {2, "strain_1", VI_SUCCESS, ""},
        {1, "Strain_1", VI_ERROR_INV_PARAMETER, "Channel 1 name 'Strain_1' not unique"},
    };
    ChannelNameCheck check;
    for (const Case &c : cases) {
        char message[256] = "";
        EXPECT_EQ(check.check(c.channel, c.name.c_str(), message), c.status) << c.name;
        EXPECT_STREQ(message, c.text) << c.name;
    }
    // Each crossCheck call starts its own list.
    ChannelNameCheck fresh;
    char message[256];
    EXPECT_EQ(fresh.check(1, "Strain_1", message), VI_SUCCESS);
    EXPECT_EQ(fresh.check(1, nullptr, message), VI_ERROR_INV_PARAMETER);
}

} // namespace
