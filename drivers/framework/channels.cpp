// Sample converters of the driver channel records and the capture header.
#include "tq/driver/channels.h"

#include <cstring>
#include <ctime>
#include <new>

#include "tq/driver/bitchannel.h"

namespace tq::driver
{

namespace
{

// The channel records start with their stream channel head.
const AnalogChannel &analog(const TQStreamChannel *c)
{
    return *reinterpret_cast<const AnalogChannel *>(c);
}
const EventChannel &event(const TQStreamChannel *c)
{
    return *reinterpret_cast<const EventChannel *>(c);
}

int16_t sampleAt(const void *scan, uint16_t offset)
{
    int16_t v;
    memcpy(&v, static_cast<const unsigned char *>(scan) + offset, sizeof v);
    return v;
}

uint16_t wordAt(const void *scan, uint16_t offset)
{
    uint16_t v;
    memcpy(&v, static_cast<const unsigned char *>(scan) + offset, sizeof v);
    return v;
}

void copyField(char *out, size_t size, const char *text)
{
    size_t n = text ? strnlen(text, size - 1) : 0;
    if (n)
        memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace

double PolynomialTable::evaluate(int range, double x) const
{
    if (order < 0 || range < 1 || range > kPolynomialRanges)
        return 0.0;
    const int top = order > kMaxPolynomialOrder ? kMaxPolynomialOrder : order;
    double sum = c[top][range - 1];
    for (int k = top - 1; k >= 0; --k)
        sum = sum * x + c[k][range - 1];
    return sum;
}

double convertPolynomial(TQStreamChannel *channel, const void *scan)
{
    const AnalogChannel &a = analog(channel);
    return a.calibration.evaluate(a.range, sampleAt(scan, a.offset));
}

double convertBridge(TQStreamChannel *channel, const void *scan)
{
    const AnalogChannel &a = analog(channel);
    const double d = a.calibration.evaluate(a.range, sampleAt(scan, a.offset));
    const double r = -4.0 * d / (2.0 * d - 1.0);
    return a.sensor.present() ? a.sensor.evaluate(a.range, r) : r;
}

double convertInt16(TQStreamChannel *channel, const void *scan)
{
    return sampleAt(scan, analog(channel).offset);
}

double convertBit16(TQStreamChannel *channel, const void *scan)
{
    const EventChannel &e = event(channel);
    if (e.bit > 15)
        return 0.0;
    return (wordAt(scan, e.offset) >> e.bit) & 1u ? 1.0 : 0.0;
}

double convertUint16(TQStreamChannel *channel, const void *scan)
{
    return wordAt(scan, event(channel).offset);
}

// ---- Runs of scans ------------------------------------------------------------
//
// A reader that converts every sample pays more for an indirect call per
// sample than for the conversion. The run functions read the channel's
// settings once per run and compute each value with the operations of the
// converter, in its order.

namespace
{

const unsigned char *sampleBase(const void *scans, uint16_t offset)
{
    return static_cast<const unsigned char *>(scans) + offset;
}

void fill(double *values, int64_t count, double value)
{
    for (int64_t i = 0; i < count; ++i)
        values[i] = value;
}

void runPolynomial(TQStreamChannel *channel, const void *scans, uint32_t stride, int64_t count, double *values)
{
    const AnalogChannel &a = analog(channel);
    const int range = a.range;
    const PolynomialTable &t = a.calibration;
    const int order = t.order;
    if (order < 0 || range < 1 || range > kPolynomialRanges) {
        fill(values, count, 0.0);
        return;
    }
    const int top = order > kMaxPolynomialOrder ? kMaxPolynomialOrder : order;
    double k[kMaxPolynomialOrder + 1];
    for (int i = 0; i <= top; ++i)
        k[i] = t.c[i][range - 1];
    const unsigned char *at = sampleBase(scans, a.offset);
    if (top == 0) {
        fill(values, count, k[0]);
        return;
    }
    if (top == 1) {
        // The straight line of a calibrated channel, as Horner's rule has it.
        const double c0 = k[0], c1 = k[1];
        for (int64_t i = 0; i < count; ++i)
            values[i] = c1 * sampleAt(at + static_cast<size_t>(i) * stride, 0) + c0;
        return;
    }
    for (int64_t i = 0; i < count; ++i) {
        const double x = sampleAt(at + static_cast<size_t>(i) * stride, 0);
        double sum = k[top];
        for (int j = top - 1; j >= 0; --j)
            sum = sum * x + k[j];
        values[i] = sum;
    }
}

void runBridge(TQStreamChannel *channel, const void *scans, uint32_t stride, int64_t count, double *values)
{
    const auto *at = static_cast<const unsigned char *>(scans);
    for (int64_t i = 0; i < count; ++i)
        values[i] = convertBridge(channel, at + static_cast<size_t>(i) * stride);
}

void runBit16(TQStreamChannel *channel, const void *scans, uint32_t stride, int64_t count, double *values)
{
    const EventChannel &e = event(channel);
    const unsigned bit = e.bit;
    if (bit > 15) {
        fill(values, count, 0.0);
        return;
    }
    const unsigned char *at = sampleBase(scans, e.offset);
    for (int64_t i = 0; i < count; ++i)
        values[i] = (wordAt(at + static_cast<size_t>(i) * stride, 0) >> bit) & 1u ? 1.0 : 0.0;
}

void runZero(TQStreamChannel *, const void *, uint32_t, int64_t count, double *values)
{
    fill(values, count, 0.0);
}

const ConverterRun kConverterRunTable[kConverterRuns] = {
    {convertPolynomial, runPolynomial},
    {convertBridge, runBridge},
    {convertBit16, runBit16},
    {convertZero, runZero},
};

} // namespace

const ConverterRun (&converterRuns())[kConverterRuns]
{
    return kConverterRunTable;
}

void selectAnalogConverter(AnalogChannel &channel)
{
    channel.head.streamChannelEval = channel.sensorType == kSensorBridge ? convertBridge : convertPolynomial;
}

void initAnalogChannel(AnalogChannel &channel, int number, const char *name, const char *unit, TQStream *stream)
{
    copyField(channel.head.name, sizeof channel.head.name, name);
    copyField(channel.head.eu, sizeof channel.head.eu, unit);
    channel.head.ownerWord = number;
    selectAnalogConverter(channel);
    channel.head.streamChannelEvalRaw = convertInt16;
    channel.head.stream = stream;
}

void initEventChannel(EventChannel &channel, int number, const char *name, const char *unit, TQStream *stream)
{
    copyField(channel.head.name, sizeof channel.head.name, name);
    copyField(channel.head.eu, sizeof channel.head.eu, unit);
    channel.head.ownerWord = number;
    channel.head.streamChannelEval = convertBit16;
    channel.head.streamChannelEvalRaw = convertUint16;
    channel.head.stream = stream;
    channel.bit = static_cast<uint16_t>(number > 0 ? number - 1 : 0);
}

// ---------------------------------------------------------------------------

CaptureHeader::CaptureHeader() = default;

CaptureHeader::CaptureHeader(TQStream *stream)
{
    header_.rate = stream->streamGetRate(stream);
    header_.decimation = stream->streamGetDecimation(stream);
    header_.startTime = static_cast<int64_t>(std::time(nullptr));
    const int32_t count = stream->streamGetNumberChannels(stream);
    try {
        channels_.reserve(static_cast<size_t>(count));
        coefficients_.reserve(static_cast<size_t>(count) * 2);
        capacity_ = count;
    } catch (const std::bad_alloc &) {
        // No room for descriptors: the header goes without channels.
        capacity_ = 0;
    }
}

bool CaptureHeader::add(const char *name, const char *unit, int32_t kind, const double *coefficients, int count,
                        const double *sensorCoefficients, int sensorCount)
{
    if (static_cast<int32_t>(channels_.size()) >= capacity_)
        return false;
    if (count < 0 || !coefficients)
        count = 0;
    if (sensorCount < 0 || !sensorCoefficients)
        sensorCount = 0;
    try {
        TQCaptureChannel d{};
        copyField(d.name, sizeof d.name, name);
        copyField(d.eu, sizeof d.eu, unit);
        d.kind = kind;
        d.coefficientCount = static_cast<int16_t>(count);
        d.sensorCoefficientCount = static_cast<int16_t>(sensorCount);
        if (count) {
            coefficients_.emplace_back(coefficients, coefficients + count);
            d.coefficients = coefficients_.back().data();
        }
        if (sensorCount) {
            coefficients_.emplace_back(sensorCoefficients, sensorCoefficients + sensorCount);
            d.sensorCoefficients = coefficients_.back().data();
        }
        channels_.push_back(d); // within the reserved capacity: no reallocation
    } catch (const std::bad_alloc &) {
        return false;
    }
    header_.channels = channels_.data();
    header_.channelCount = static_cast<int32_t>(channels_.size());
    return true;
}

bool CaptureHeader::addAnalog(const AnalogChannel &channel)
{
    const int range = channel.range;
    if (range < 1 || range > kPolynomialRanges)
        return false;
    double c[kMaxPolynomialOrder + 1];
    double s[kMaxPolynomialOrder + 1];
    int n = 0, m = 0;
    for (int k = 0; k <= channel.calibration.order && k <= kMaxPolynomialOrder; ++k)
        c[n++] = channel.calibration.c[k][range - 1];
    const bool bridge = channel.sensorType == kSensorBridge;
    if (bridge)
        for (int k = 0; k <= channel.sensor.order && k <= kMaxPolynomialOrder; ++k)
            s[m++] = channel.sensor.c[k][range - 1];
    return add(channel.head.name, channel.head.eu, bridge ? TQ_XFRM_BRIDGE : TQ_XFRM_POLYNOMIAL, c, n, s, m);
}

bool CaptureHeader::addEvent(const EventChannel &channel)
{
    const double bit = channel.bit;
    return add(channel.head.name, channel.head.eu, TQ_XFRM_EVENT_BIT, &bit, 1);
}

} // namespace tq::driver
