// Driver channel records, the sample converters the stream engine calls
// through them, and the capture header a driver hands to common capture.
//
// A model's channel record derives from AnalogChannel or EventChannel (no
// virtual functions, so that the stream channel head stays at offset 0) and
// adds its own configuration fields:
//
//     struct Analog718 : tq::driver::AnalogChannel { double limitMin; ... };
//
// initAnalogChannel / initEventChannel fill the head (name, unit, converters,
// owner word = channel number); the model keeps enableWord, offset, range,
// sensorType and the tables up to date as its settings change. The stream's
// channel lookups walk the channels through Model::channelAt (model.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tqstream.h"

namespace tq::driver
{

// Input ranges of the converters' coefficient tables (range 1 to 13).
constexpr int kPolynomialRanges = 13;
// Highest polynomial order a table holds.
constexpr int kMaxPolynomialOrder = 7;
// Sensor type whose value goes through the bridge formula.
constexpr int16_t kSensorBridge = 2;

// c[k][range - 1] is the coefficient of x^k for an input range. Fixed
// storage: a calibration that rewrites the table while a reader converts
// never leaves the converter reading freed memory.
struct PolynomialTable {
    int16_t order = -1; // -1: no table
    double c[kMaxPolynomialOrder + 1][kPolynomialRanges] = {};

    bool present() const { return order >= 0; }
    // Sum of c[k][range] x^k by Horner's rule; 0.0 without a table or for a
    // range outside 1 to 13.
    double evaluate(int range, double x) const;
};

struct AnalogChannel {
    TQStreamChannel head{};
    uint16_t offset = 0;    // byte offset of the signed 16-bit sample in the scan
    int16_t range = 1;      // current input range, 1 to 13
    int16_t sensorType = 1; // kSensorBridge: value through the bridge formula
    PolynomialTable calibration;
    PolynomialTable sensor; // optional second polynomial of a bridge
};

struct EventChannel {
    TQStreamChannel head{};
    uint16_t offset = 0; // byte offset of the unsigned 16-bit event word in the scan
    uint16_t bit = 0;    // bit number in that word (event channel n: n - 1)
};

// The converters stored in the stream channel functions.
// Value of an analog channel: calibration polynomial of the 16-bit sample.
double convertPolynomial(TQStreamChannel *channel, const void *scan);
// Value of a bridge: d = polynomial, r = -4d / (2d - 1), then the sensor polynomial of r when there is one.
double convertBridge(TQStreamChannel *channel, const void *scan);
// Raw value of an analog channel: the signed 16-bit sample.
double convertInt16(TQStreamChannel *channel, const void *scan);
// Value of an event channel: 1.0 when its bit is set in the event word, else 0.0.
double convertBit16(TQStreamChannel *channel, const void *scan);
// Raw value of an event channel: the unsigned 16-bit event word.
double convertUint16(TQStreamChannel *channel, const void *scan);

// Converters with a run function: the function that converts a run of
// scans the way the converter converts each (equal to the bit), which the
// stream binding registers with the stream library so that
// StreamChannelEvalRun converts the framework's channels a run at a time.
struct ConverterRun {
    TQChannelEvalFn eval;
    TQChannelRunFn run;
};
constexpr int kConverterRuns = 4;
// convertPolynomial, convertBridge, convertBit16 and convertZero with theirs.
const ConverterRun (&converterRuns())[kConverterRuns];

// Fills the stream channel head: name and unit (cut to their fields),
// converters (convertPolynomial or, for a bridge sensor type, convertBridge;
// convertInt16), owner word = number. The stream pointer is the session's.
void initAnalogChannel(AnalogChannel &channel, int number, const char *name, const char *unit, TQStream *stream);
// convertBit16 and convertUint16, bit = number - 1.
void initEventChannel(EventChannel &channel, int number, const char *name, const char *unit, TQStream *stream);
// Picks the value converter for the channel's sensor type.
void selectAnalogConverter(AnalogChannel &channel);
// True when the channel's enable word is set.
inline bool enabled(const TQStreamChannel &channel)
{
    return channel.enableWord != 0;
}

// The capture header of one capture open or close: rate, decimation and
// start time of the stream, and one descriptor per recorded channel, room
// for as many as the stream has channels. Owns its descriptors and their
// coefficient arrays.
class CaptureHeader
{
  public:
    // Header of the stream; room for the stream's channel count (none when
    // that cannot be allocated).
    explicit CaptureHeader(TQStream *stream);
    // A header with no channels (capture close after the header was written at open).
    CaptureHeader();
    CaptureHeader(const CaptureHeader &) = delete;
    CaptureHeader &operator=(const CaptureHeader &) = delete;

    // Appends a descriptor; false when the header is full or memory runs out.
    bool add(const char *name, const char *unit, int32_t kind, const double *coefficients, int count,
             const double *sensorCoefficients = nullptr, int sensorCount = 0);
    // Polynomial (kind 1) of the channel's current range; kind 4 for a
    // bridge, with the sensor polynomial of that range when there is one.
    bool addAnalog(const AnalogChannel &channel);
    // Kind 13 with one coefficient: the bit number.
    bool addEvent(const EventChannel &channel);

    const TQCaptureHeader *get() const { return &header_; }
    TQCaptureHeader *get() { return &header_; }
    int32_t capacity() const { return capacity_; }

  private:
    TQCaptureHeader header_{};
    std::vector<TQCaptureChannel> channels_;
    std::vector<std::vector<double>> coefficients_;
    int32_t capacity_ = 0;
};

} // namespace tq::driver
