// Calibration of the model 718: each channel's polynomial per input range
// from the board's internal references (or an external calibrator, one
// range at a time), the bridge balance, the bridge ratio and the shunt
// calibration of the sensor polynomial.
//
// Every result is computed into a working copy of the channels' tables and
// taken over only when the whole calibration succeeded: a failure (a
// division by zero among them: equal readings, excitation off) leaves the
// previous tables in place.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "driver718.h"
#include "tq/platform/handles.h"
#include "tq/platform/numfmt.h"
#include "tq/platform/thread.h"
#include "tq/polyfit.h"
#include "tq718.h"

// Verbose lines go to the stream-message sink while VerboseEnable is set.
#define TQ718_VERBOSE(s, ...)                                                                                          \
    do {                                                                                                               \
        if ((s).settings.verbose)                                                                                      \
            tq::driver::statusLine((s), __VA_ARGS__);                                                                  \
    } while (0)

namespace tq718
{

using tq::driver::PolynomialTable;

namespace
{

constexpr uint32_t kScans = 500; // scans averaged per point
constexpr double kCalibrationRate = 250000.0;
constexpr uint32_t kSettleMs = 200;   // after the calibrator changes
constexpr uint32_t kMuxSettleMs = 50; // after a multiplexer changes
constexpr ViUInt32 kGroundCode = 0x1000;
constexpr ViUInt32 kNegativeCode = 0x400;
constexpr ViUInt32 kExternalCode = 2;         // calibrator code while the inputs carry an external source
constexpr ViUInt32 kProgressEvent = 1u << 17; // event 18
constexpr double kExcitationVoltsPerCount = 0.000192138671875;
constexpr ViUInt32 kAllExcitationMonitors = 0x33333333;
constexpr ViUInt32 kAllPositiveShunts = 0x22222222;
constexpr ViUInt32 kAllNegativeShunts = 0x11111111;
constexpr int kBalanceCodes = 8191; // balance DAC search 0..8191, DAC value = code - 4095
constexpr int kBalanceZero = 4095;

// Calibration points.
enum Kind { kGround = 1, kHalfPositive, kFullPositive, kHalfNegative, kFullNegative, kKinds = kFullNegative };

const tq::visa::FunctionTable &v()
{
    return tq::visa::visa();
}

const char *modeText(int mode)
{
    switch (mode) {
    case 1:
        return "Fast Cal";
    case 2:
        return "Mixed Cal";
    default:
        return "Accuracy Cal";
    }
}

int modeOrder(int mode)
{
    return mode == 1 ? 1 : mode == 2 ? 2 : 4;
}

// The points of a mode for a range. Range 13 has no next range to take the
// half-scale references from: in mode 3 it is fitted through ground and the
// two full-scale points (a quadratic, held as order 4 with zero terms).
std::span<const int> pointsOf(int mode, int range)
{
    static constexpr int kThree[] = {kGround, kFullPositive, kFullNegative};
    static constexpr int kFive[] = {kGround, kHalfPositive, kFullPositive, kHalfNegative, kFullNegative};
    if (mode == 3 && range < reg::kRangeCount)
        return kFive;
    return kThree;
}

// The range whose reference a point uses.
int referenceRange(int kind, int range)
{
    return kind == kHalfPositive || kind == kHalfNegative ? range + 1 : range;
}

ViUInt32 calibratorCode(int kind, int range)
{
    if (kind == kGround)
        return kGroundCode;
    const ViUInt32 code = reg::inputRange(referenceRange(kind, range)).calibratorCode;
    return kind == kHalfNegative || kind == kFullNegative ? code | kNegativeCode : code;
}

// Reference volts of a point: H x 10 / gain of the range whose reference
// the calibrator drives, negated for the negative points. h[r - 1] is H(r).
double referenceVolts(int kind, int range, const double *h)
{
    if (kind == kGround)
        return 0.0;
    const int source = referenceRange(kind, range);
    const double v = h[source - 1] * 10.0 / reg::inputRange(source).gain;
    return kind == kHalfNegative || kind == kFullNegative ? -v : v;
}

ViStatus readBoardDouble(Session718 &s, ViBusAddress offset, double &value)
{
    ViUInt32 low = 0, high = 0;
    ViStatus status = in32(s, offset, low);
    if (status >= VI_SUCCESS)
        status = in32(s, offset + 4, high);
    if (status < VI_SUCCESS)
        return status;
    const uint64_t bits = low | static_cast<uint64_t>(high) << 32;
    memcpy(&value, &bits, sizeof value);
    return VI_SUCCESS;
}

ViStatus setAllRanges(Session718 &s, int range)
{
    return out32(s, reg::kRange, static_cast<ViUInt32>(range - 1) * 0x1111u);
}

// Coefficients of range r of a table, all orders cleared first so that a
// later, higher order never picks up terms of an earlier calibration.
void storeRange(PolynomialTable &t, int range, int order, const double *c, int count)
{
    for (auto &row : t.c)
        row[range - 1] = 0.0;
    for (int k = 0; k < count; ++k)
        t.c[k][range - 1] = c[k];
    t.order = static_cast<int16_t>(order);
}

// The interpolating polynomial through n points from Newton's divided
// differences, expanded to c[0..n-1]. False when two x are equal or a
// coefficient is not finite.
bool newtonPolynomial(const double *x, const double *y, int n, double *c)
{
    double d[kKinds];
    std::copy(y, y + n, d);
    for (int j = 1; j < n; ++j)
        for (int i = n - 1; i >= j; --i) {
            const double span = x[i] - x[i - j];
            if (span == 0.0)
                return false;
            d[i] = (d[i] - d[i - 1]) / span;
        }
    // d0 + d1 (x - x0) + d2 (x - x0)(x - x1) + ..., by Horner's rule on the
    // nested form: c = c (x - x_k) + d_k from the top.
    double p[kKinds] = {};
    p[0] = d[n - 1];
    for (int k = n - 2; k >= 0; --k) {
        for (int i = n - 1; i >= 1; --i)
            p[i] = p[i - 1] - x[k] * p[i];
        p[0] = d[k] - x[k] * p[0];
    }
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(p[i]))
            return false;
        c[i] = p[i];
    }
    return true;
}

char signOf(double v)
{
    return v < 0 ? '-' : '+';
}

void printPolynomial(Session718 &s, const char *what, const PolynomialTable &t, int range, int order)
{
    auto c = [&](int k) { return t.c[k][range - 1]; };
    if (order == 1)
        TQ718_VERBOSE(s, "%s polynomial: %lgx %c %lg\n", what, c(1), signOf(c(0)), std::fabs(c(0)));
    else if (order == 2)
        TQ718_VERBOSE(s, "%s polynomial: %lgx^2 %c %lgx %c %lg\n", what, c(2), signOf(c(1)), std::fabs(c(1)),
                      signOf(c(0)), std::fabs(c(0)));
    else
        TQ718_VERBOSE(s, "%s polynomial: %lgx^4 %c %lgx^3 %c %lgx^2 %c %lgx %c %lg\n", what, c(4), signOf(c(3)),
                      std::fabs(c(3)), signOf(c(2)), std::fabs(c(2)), signOf(c(1)), std::fabs(c(1)), signOf(c(0)),
                      std::fabs(c(0)));
}

struct Saved {
    uint16_t enable = 0;
    int16_t mux = 1;
    int16_t range = 1;
    int16_t limitMode = 1;
};

// What a calibration computes for one channel before it is taken over.
struct Work {
    PolynomialTable calibration;
    PolynomialTable sensor;
    int16_t balanceDac = 0;
};

} // namespace

struct CalibrationRecord {
    Session718 *session = nullptr;
    bool external = false;
    int16_t mode = 1;
    int16_t range = 1; // the range an external calibration fits
    size_t point = 0;  // next point of the mode's list
    // Settings saved by the preparation.
    bool prepared = false;
    double rate = 0.0;
    int16_t source = 1;
    ViUInt32 calibrator = 0; // BAR2 0x74 as found
    Saved saved[kAnalogChannels];
    bool shuntTouched = false;
    // Measured averages [channel - 1][kind] and the reference of each point.
    double average[kAnalogChannels][kKinds + 1] = {};
    double reference[kKinds + 1] = {};
    // Calibration-path offset O(c) of the board (0 for an external source,
    // which does not pass the internal calibration path).
    double pathOffset[kAnalogChannels] = {};
    bool bridge = false;
    bool shunt = false;
    bool armed = false;
    ViStatus warning = VI_SUCCESS;
    uint32_t handle = 0; // an external calibration's value for the caller
    Work work[kAnalogChannels];
};

namespace
{

// Records of external calibrations the caller may still hold. The caller
// gets a handle, not the record's address: every resume and cancel looks it
// up first, so a record freed by an earlier step (or a value of another
// session) is refused, even once its memory or its slot is used again.
constexpr unsigned kRecordHandleKind = tq::platform::kHandleKind718Calibration;

tq::platform::HandleTable &records()
{
    static tq::platform::HandleTable table(kRecordHandleKind);
    return table;
}

TQ718CalRecord *handOut(uint32_t handle)
{
    return reinterpret_cast<TQ718CalRecord *>(static_cast<uintptr_t>(handle));
}

// The live record of a handed-out value on session s, or null.
CalibrationRecord *liveRecord(const TQ718CalRecord *value, const Session718 &s)
{
    const auto v = reinterpret_cast<uintptr_t>(value);
    if (v == 0 || v > UINT32_MAX)
        return nullptr;
    auto *r = static_cast<CalibrationRecord *>(records().lookup(static_cast<uint32_t>(v)));
    return r && r->session == &s ? r : nullptr;
}

void dismiss(CalibrationRecord *r)
{
    if (r->handle)
        records().remove(r->handle);
    if (r->session && r->session->externalCalibration == r)
        r->session->externalCalibration = nullptr;
    delete r;
}

// ---- Measurement ------------------------------------------------------------------

// The one-shot chain of one segment and the queue mechanism of the
// interrupt, for the measurements that follow.
ViStatus arm(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    ViStatus status = allocateRing(s, 1, kScans, false);
    if (status < VI_SUCCESS)
        return status;
    s.ringByStart = false;
    r.armed = true;
    return setUpInterrupt(s, VI_QUEUE);
}

ViStatus disarm(CalibrationRecord &r)
{
    if (!r.armed)
        return VI_SUCCESS;
    Session718 &s = *r.session;
    const ViStatus status = tearDownInterrupt(s);
    freeRing(s);
    r.armed = false;
    return status;
}

// Acquires 500 scans with the calibrator on code and averages every
// channel's samples into averages.
ViStatus acquire(Session718 &s, ViUInt32 code, double (&averages)[kAnalogChannels])
{
    ViStatus status = out32(s, reg::kCalibrator, code);
    if (status < VI_SUCCESS)
        return status;
    if (s.lowestFilter < 1 || s.lowestFilter > kNoFiltering)
        return VI_ERROR_SYSTEM_ERROR;
    tq::platform::sleepMs(kSettleMs);
    ViReal64 rate = 0.0;
    if ((status = getScanClockRate(s, rate)) < VI_SUCCESS)
        return status;
    // An interrupt left over from an earlier transfer must not end this
    // wait before the scans are in.
    v().viDiscardEvents(s.value, VI_EVENT_PXI_INTR, VI_QUEUE);
    status = out32(s, reg::kDmaPosition, 0);
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kDmaWriteCount, 0);
    if (status >= VI_SUCCESS)
        status = setField(s, reg::kAcquisitionEnable, 1);
    if (status >= VI_SUCCESS)
        status = setField(s, reg::kSoftwareStart, 1);
    if (status >= VI_SUCCESS)
        status = startDma(s, reg::kDmaModeOneShot);
    if (status >= VI_SUCCESS) {
        const double seconds = rate > 0.0 ? std::floor(kScans / rate) : 0.0;
        const auto timeout = static_cast<ViUInt32>(std::min((5.0 + seconds) * 1000.0, 4294967294.0));
        status = v().viWaitOnEvent(s.value, VI_EVENT_PXI_INTR, timeout, VI_NULL, VI_NULL);
    }
    setField(s, reg::kSoftwareStart, 0);
    setField(s, reg::kAcquisitionEnable, 0);
    if (!waitDmaDone(s)) {
        tq::driver::statusLine(s, "[%s]calProgress: wait for completion timeout", s.instrumentName);
        // Averages of a transfer that never finished would be taken over
        // as a calibration: the engine is stopped and the point fails.
        ViUInt32 command = 0;
        if (in32(s, reg::kDmaCommand, command, reg::kBar0) >= VI_SUCCESS)
            out32(s, reg::kDmaCommand, (command & ~reg::kDmaEnable) | reg::kDmaAbort, reg::kBar0);
        if (status >= VI_SUCCESS)
            status = VI_ERROR_TMO;
    }
    if (status < VI_SUCCESS)
        return status;
    const uint8_t *segment = s.ring.table()[1].address;
    const uint16_t scanSize = s.ring.scanSize();
    for (int c = 1; c <= kAnalogChannels; ++c) {
        const uint16_t offset = s.channel(c).offset;
        int64_t sum = 0;
        for (uint32_t n = 0; n < kScans; ++n) {
            int16_t sample;
            memcpy(&sample, segment + static_cast<size_t>(n) * scanSize + offset, sizeof sample);
            sum += sample;
        }
        averages[c - 1] = static_cast<double>(sum) / kScans;
    }
    return status;
}

// ---- Preparation and restoring ----------------------------------------------------------

ViStatus prepare(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    r.mode = s.settings.transformType;
    if (r.mode < 1 || r.mode > 3)
        return VI_ERROR_INV_SETUP;
    ViReal64 rate = 0.0;
    ViStatus status = getScanClockRate(s, rate);
    if (status >= VI_SUCCESS)
        status = in32(s, reg::kCalibrator, r.calibrator);
    if (status < VI_SUCCESS)
        return status;
    r.rate = rate;
    r.source = s.settings.clockSource;
    for (int c = 1; c <= kAnalogChannels; ++c) {
        const AnalogChannel &ch = s.channel(c);
        r.saved[c - 1] = Saved{ch.enable, ch.mux, ch.range, ch.limitMode};
        r.work[c - 1] = Work{ch.calibration, ch.sensor, ch.balanceDac};
    }
    r.prepared = true; // from here on the settings are restored
    status = setScanClockRate(s, kCalibrationRate);
    if (status >= VI_SUCCESS)
        status = setScanClockSource(s, 1);
    for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c) {
        status = enableAnalog(s, c, 1, false);
        if (status >= VI_SUCCESS)
            status = setLimitMode(s, c, 1);
    }
    for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c)
        status = out16(s, reg::balanceDac(c), 0);
    return status;
}

// Writes back what the preparation saved (rate, source, then each channel's
// enable, multiplexer, range and limit mode), then what the calibration
// left on the board: the balance DACs as the channels' stored values say,
// the limit levels in the codes of the (new) polynomials, the shunts off
// and the calibrator as it was found. Goes on past failures; the first is
// returned.
ViStatus restore(CalibrationRecord &r)
{
    if (!r.prepared)
        return VI_SUCCESS;
    Session718 &s = *r.session;
    ViStatus first = VI_SUCCESS;
    auto keep = [&](ViStatus status) {
        if (status < VI_SUCCESS && first >= VI_SUCCESS)
            first = status;
    };
    keep(setScanClockRate(s, r.rate));
    keep(setScanClockSource(s, r.source));
    for (int c = 1; c <= kAnalogChannels; ++c) {
        const Saved &saved = r.saved[c - 1];
        keep(enableAnalog(s, c, saved.enable, false));
        keep(setMux(s, c, saved.mux));
        keep(setInputRange(s, c, saved.range));
        keep(setLimitMode(s, c, saved.limitMode));
    }
    for (int c = 1; c <= kAnalogChannels; ++c) {
        keep(writeBalance(s, c));
        if (s.channel(c).limitMode != 1)
            keep(writeLimits(s, c));
    }
    if (r.shuntTouched)
        keep(out32(s, reg::kShunt, 0));
    keep(out32(s, reg::kCalibrator, r.calibrator));
    r.prepared = false;
    return first;
}

// The working tables become the channels' tables.
void takeOver(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    for (int c = 1; c <= kAnalogChannels; ++c) {
        AnalogChannel &ch = s.channel(c);
        ch.calibration = r.work[c - 1].calibration;
        ch.sensor = r.work[c - 1].sensor;
        ch.balanceDac = r.work[c - 1].balanceDac;
    }
}

// ---- Fit ----------------------------------------------------------------------------------

const char *kindName(int kind)
{
    switch (kind) {
    case kHalfPositive:
        return "HP";
    case kFullPositive:
        return "P";
    case kHalfNegative:
        return "HN";
    case kFullNegative:
        return "N";
    default:
        return "G";
    }
}

void printAverages(Session718 &s, const CalibrationRecord &r, int c, std::span<const int> points)
{
    const double *avg = r.average[c - 1];
    for (int kind : points) {
        const bool five = points.size() == kKinds;
        switch (kind) {
        case kGround:
            TQ718_VERBOSE(s, "  Ground\t\t\t\tAverage ADC count % lf", avg[kind]);
            break;
        case kHalfPositive:
            TQ718_VERBOSE(s, "  Half Positive HCal % lg\t\tAverage ADC count % lf", r.reference[kind], avg[kind]);
            break;
        case kFullPositive:
            if (five)
                TQ718_VERBOSE(s, "  Full Positive HCal % lg\t\tAverage ADC count % lf", r.reference[kind], avg[kind]);
            else
                TQ718_VERBOSE(s, "  Positive HCal % lg\t\tAverage ADC count % lf", r.reference[kind], avg[kind]);
            break;
        case kHalfNegative:
            TQ718_VERBOSE(s, "  Half Negative HCal % lg\t\tAverage ADC count % lf", r.reference[kind], avg[kind]);
            break;
        default:
            if (five)
                TQ718_VERBOSE(s, "  Full Negative HCal % lg\t\tAverage ADC count % lf", r.reference[kind], avg[kind]);
            else
                TQ718_VERBOSE(s, "  Negative HCal % lg\t\tAverage ADC count % lf", r.reference[kind], avg[kind]);
            break;
        }
    }
}

// Fits range's polynomial of channel c to the measured points: x the
// averaged counts, y the reference less the calibration-path offset.
ViStatus fitChannel(CalibrationRecord &r, int c, int range)
{
    Session718 &s = *r.session;
    AnalogChannel &ch = s.channel(c);
    const std::span<const int> points = pointsOf(r.mode, range);
    const double offset = r.pathOffset[c - 1];
    TQ718_VERBOSE(s, " Channel %hd(%s): %s calpath offset=% lg", static_cast<short>(c), ch.head.name, modeText(r.mode),
                  offset);
    printAverages(s, r, c, points);

    const double *avg = r.average[c - 1];
    double x[kKinds], y[kKinds], coefficients[kKinds] = {};
    int n = 0;
    for (int kind : points) {
        x[n] = avg[kind];
        y[n] = r.reference[kind] - offset;
        ++n;
    }
    // Points of different references lie thousands of counts apart; points
    // within a count of each other (a channel that does not follow its
    // input) determine no polynomial, however the noise falls.
    bool solved = true;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            solved = solved && std::fabs(x[i] - x[j]) >= 1.0;
    int count = n;
    if (solved && r.mode == 1) {
        // Slope from the two full-scale points, through the ground point.
        const double span = avg[kFullPositive] - avg[kFullNegative];
        const double c1 = (r.reference[kFullPositive] - r.reference[kFullNegative]) / span;
        const double c0 = (r.reference[kGround] - offset) - c1 * avg[kGround];
        coefficients[0] = c0;
        coefficients[1] = c1;
        count = 2;
        solved = std::isfinite(c0) && std::isfinite(c1);
    } else if (solved && r.mode == 2) {
        solved = tq::fit::fitPolynomial(x, y, n, coefficients) == tq::fit::kFitOk;
    } else if (solved) {
        solved = newtonPolynomial(x, y, n, coefficients);
    }
    if (!solved) {
        tq::driver::statusLine(s, "[%s]Channel %d: calibration points of range %s give no polynomial", s.instrumentName,
                               c, reg::inputRange(range).name);
        return VI_ERROR_SYSTEM_ERROR;
    }
    const int order = modeOrder(r.mode);
    PolynomialTable &table = r.work[c - 1].calibration;
    storeRange(table, range, order, coefficients, count);
    printPolynomial(s, "  Final", table, range, order);
    for (int kind : points) {
        const double value = table.evaluate(range, avg[kind]);
        const double expected = r.reference[kind] - offset;
        if (kind == kGround)
            TQ718_VERBOSE(s, "  selfcheck G % lf", value);
        else
            TQ718_VERBOSE(s, "  selfcheck %s % lf %% dev %lf", kindName(kind), value, (expected - value) / expected);
    }
    if (ch.sensorType == kSensorBridge) {
        r.bridge = true;
        if (ch.shuntPolarity != 1)
            r.shunt = true;
    }
    return VI_SUCCESS;
}

// ---- Bridge steps ---------------------------------------------------------------------------

ViStatus balanceBridges(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    TQ718_VERBOSE(s, "Begin Bridge Balance");
    ViStatus status = setAllRanges(s, 1);
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kMux, 0);
    double avg[kAnalogChannels];
    if (status >= VI_SUCCESS)
        status = acquire(s, kGroundCode, avg);
    if (status < VI_SUCCESS)
        return status;

    struct Search {
        bool balancing = false, searching = false;
        int low = 0, high = kBalanceCodes, bestCode = 0;
        double start = 0.0, best = 0.0;
        bool above = false, notAbove = false; // signs the output took
    } search[kAnalogChannels];
    bool any = false;
    for (int c = 1; c <= kAnalogChannels; ++c) {
        Search &k = search[c - 1];
        const PolynomialTable &p = r.work[c - 1].calibration;
        if (!s.channel(c).balanceEnable)
            continue;
        k.balancing = k.searching = any = true;
        k.start = p.evaluate(1, avg[c - 1]);
        k.best = p.evaluate(r.saved[c - 1].range, 32767.0);
    }
    while (any) {
        for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c) {
            const Search &k = search[c - 1];
            if (k.searching)
                status = out16(s, reg::balanceDac(c), reg::balanceCode((k.low + k.high + 1) / 2 - kBalanceZero));
        }
        if (status >= VI_SUCCESS)
            status = acquire(s, kGroundCode, avg);
        if (status < VI_SUCCESS)
            return status;
        any = false;
        for (int c = 1; c <= kAnalogChannels; ++c) {
            Search &k = search[c - 1];
            if (!k.searching)
                continue;
            const int mid = (k.low + k.high + 1) / 2;
            const double value = r.work[c - 1].calibration.evaluate(1, avg[c - 1]);
            if (std::fabs(value) < std::fabs(k.best)) {
                k.best = value;
                k.bestCode = mid;
            }
            if (value > 0) {
                k.low = mid;
                k.above = true;
            } else {
                k.high = mid - 1;
                k.notAbove = true;
            }
            k.searching = k.low < k.high;
            any = any || k.searching;
        }
    }
    for (int c = 1; c <= kAnalogChannels; ++c) {
        const Search &k = search[c - 1];
        if (!k.balancing)
            continue;
        const auto dac = static_cast<int16_t>(k.bestCode - kBalanceZero);
        r.work[c - 1].balanceDac = dac;
        // The DAC holds the best code from here on, so that the steps that
        // follow, and later acquisitions, see the balance that is stored.
        if ((status = out16(s, reg::balanceDac(c), reg::balanceCode(dac))) < VI_SUCCESS)
            return status;
        if (!(k.above && k.notAbove)) {
            tq::driver::statusLine(s, " Channel %hd: bridge balance from %lg to %lg volts DAC Saturated",
                                   static_cast<short>(c), k.start, k.best);
            r.warning = TQ718_WARN_BALANCE_SATURATED;
        } else {
            TQ718_VERBOSE(s, " Channel %hd: bridge balance from %lg to %lg volts (DAC %hd)", static_cast<short>(c),
                          k.start, k.best, static_cast<short>(dac));
        }
    }
    return VI_SUCCESS;
}

// Ranges the bridge steps cover: every range after an internal calibration,
// the calibrated range alone after an external one (the other ranges'
// tables were turned into ratios before and must not be divided again).
std::pair<int, int> bridgeRanges(const CalibrationRecord &r)
{
    if (r.external)
        return {r.range, r.range};
    return {1, reg::kRangeCount};
}

ViStatus bridgeRatios(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    TQ718_VERBOSE(s, "\nBegin Bridge Calc");
    double avg[kAnalogChannels], excitation[kAnalogChannels];
    ViStatus status = out32(s, reg::kMux, kAllExcitationMonitors);
    if (status >= VI_SUCCESS)
        status = acquire(s, kGroundCode, avg);
    if (status >= VI_SUCCESS)
        status = acquire(s, kGroundCode, avg);
    const ViStatus back = out32(s, reg::kMux, 0);
    if (status >= VI_SUCCESS)
        status = back;
    if (status < VI_SUCCESS)
        return status;
    for (int c = 1; c <= kAnalogChannels; ++c) {
        excitation[c - 1] = avg[c - 1] * kExcitationVoltsPerCount;
        // Less than a count of the monitor is no excitation: the ratio would
        // divide by zero (or by noise).
        if (s.channel(c).sensorType == kSensorBridge && !(std::fabs(avg[c - 1]) >= 1.0)) {
            tq::driver::statusLine(s, "[%s]Channel %d: bridge calibration without excitation", s.instrumentName, c);
            return VI_ERROR_INV_SETUP;
        }
    }
    const auto [first, last] = bridgeRanges(r);
    for (int range = first; range <= last; ++range) {
        const reg::InputRange &ir = reg::inputRange(range);
        TQ718_VERBOSE(s, " Input range %s to -%s", ir.name, ir.name);
        if ((status = setAllRanges(s, range)) >= VI_SUCCESS)
            status = acquire(s, kGroundCode, avg);
        if (status < VI_SUCCESS)
            return status;
        for (int c = 1; c <= kAnalogChannels; ++c) {
            const AnalogChannel &ch = s.channel(c);
            if (ch.sensorType != kSensorBridge)
                continue;
            PolynomialTable &p = r.work[c - 1].calibration;
            const double out = p.evaluate(range, avg[c - 1]);
            p.c[0][range - 1] -= out;
            for (int k = 0; k <= p.order; ++k)
                p.c[k][range - 1] /= excitation[c - 1];
            TQ718_VERBOSE(s, " channel %d(%s) Vin % lg Vout % lg", c, ch.head.name, excitation[c - 1], out);
            printPolynomial(s, "  New", p, range, p.order);
        }
    }
    return VI_SUCCESS;
}

ViStatus shuntCalibration(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    TQ718_VERBOSE(s, "\nBegin Shunt Cal");
    r.shuntTouched = true;
    const auto [first, last] = bridgeRanges(r);
    for (int range = first; range <= last; ++range) {
        double relaxed[kAnalogChannels], positive[kAnalogChannels], negative[kAnalogChannels];
        ViStatus status = setAllRanges(s, range);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kShunt, 0);
        if (status >= VI_SUCCESS)
            status = acquire(s, kGroundCode, relaxed);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kShunt, kAllPositiveShunts);
        if (status >= VI_SUCCESS)
            status = acquire(s, kGroundCode, positive);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kShunt, kAllNegativeShunts);
        if (status >= VI_SUCCESS)
            status = acquire(s, kGroundCode, negative);
        if (status < VI_SUCCESS)
            return status;
        for (int c = 1; c <= kAnalogChannels; ++c) {
            const AnalogChannel &ch = s.channel(c);
            const int polarity = ch.shuntPolarity;
            if (ch.sensorType != kSensorBridge || polarity < 2 || polarity > 4)
                continue;
            const PolynomialTable &p = r.work[c - 1].calibration;
            auto b = [&](double x) {
                const double d = p.evaluate(range, x);
                return -4.0 * d / (2.0 * d - 1.0);
            };
            const double g = b(negative[c - 1]), j = b(relaxed[c - 1]), k = b(positive[c - 1]);
            const double n = ch.negativeShunt, q = ch.positiveShunt;
            double sc[3] = {};
            int order = 1;
            if (polarity == 2)
                sc[1] = q / (k - j);
            else if (polarity == 3)
                sc[1] = n / (j - g);
            else {
                const double d1 = (0.0 - n) / (j - g);
                const double d2 = ((q - 0.0) / (k - j) - d1) / (k - g);
                sc[2] = d2;
                sc[1] = d1 - d2 * (g + j);
                sc[0] = n - d1 * g + d2 * g * j;
                order = 2;
            }
            // Readings closer than one count's worth of b are equal readings
            // (a shunt that changes nothing): no slope can come of them.
            const double count = std::fabs(b(relaxed[c - 1] + 1.0) - j);
            auto apart = [&](double u, double w) { return std::fabs(u - w) >= count; };
            const bool distinct = polarity == 2   ? apart(k, j)
                                  : polarity == 3 ? apart(j, g)
                                                  : (apart(j, g) && apart(k, j) && apart(k, g));
            if (!distinct || !std::isfinite(sc[0]) || !std::isfinite(sc[1]) || !std::isfinite(sc[2])) {
                tq::driver::statusLine(s, "[%s]Channel %d: shunt readings of range %s give no polynomial",
                                       s.instrumentName, c, reg::inputRange(range).name);
                return VI_ERROR_SYSTEM_ERROR;
            }
            PolynomialTable &sensor = r.work[c - 1].sensor;
            storeRange(sensor, range, order, sc, order + 1);
            TQ718_VERBOSE(s, " channel %d(%s)", c, ch.head.name);
            TQ718_VERBOSE(s, "  Negative Shunt Exp % lg\t\tMeasured % lg", n, g);
            TQ718_VERBOSE(s, "  Relax\t\t\t\tMeasured  % lg", j);
            TQ718_VERBOSE(s, "  Positive Shunt Exp % lg\t\tMeasured % lg", q, k);
            printPolynomial(s, "  Final", sensor, range, order);
            // Self-checks at the points the polynomial was made for.
            const double atNegative = sensor.evaluate(range, g), atPositive = sensor.evaluate(range, k);
            if (polarity != 2) {
                const double expected = polarity == 3 ? -n : n;
                TQ718_VERBOSE(s, "  selfcheck N % lf %% dev %lf", atNegative, (expected - atNegative) / expected);
            }
            TQ718_VERBOSE(s, "  selfcheck G % lf", sensor.evaluate(range, j));
            if (polarity != 3)
                TQ718_VERBOSE(s, "  selfcheck P % lf %% dev %lf", atPositive, (q - atPositive) / q);
        }
    }
    return out32(s, reg::kShunt, 0);
}

// Balance, ratio and shunt steps after the fit, when a channel is a bridge.
// A saturated balance DAC is a warning: the steps go on, and the warning is
// the result unless a later step fails.
ViStatus bridgeSteps(CalibrationRecord &r)
{
    if (!r.bridge)
        return VI_SUCCESS;
    ViStatus status = balanceBridges(r);
    if (status >= VI_SUCCESS)
        status = bridgeRatios(r);
    if (status >= VI_SUCCESS && r.shunt)
        status = shuntCalibration(r);
    return status;
}

// ---- Progress -------------------------------------------------------------------------------

// Event 18 to every handler whose mask holds it, until one answers with a
// negative status; a handler that clears the event aborts the calibration.
ViStatus progress(Session718 &s, const char *text)
{
    tq::platform::MutexGuard guard(s.handlerLock);
    for (unsigned i = 0; i < s.eventHandlerCount; ++i) {
        const tq::driver::EventHandlerEntry &h = s.eventHandlers[i];
        if (!(h.mask & kProgressEvent) || !h.handler)
            continue;
        if (h.message)
            tq::driver::copyName(h.message, tq::driver::kNameLength, text);
        ViUInt32 clear = 0;
        const ViStatus answer = h.handler(s.instrumentName, kProgressEvent, h.userData, &clear, h.message);
        if (clear & kProgressEvent)
            return VI_ERROR_ABORT;
        if (answer < VI_SUCCESS)
            break;
    }
    return VI_SUCCESS;
}

// ---- Internal calibration -------------------------------------------------------------------

ViStatus calibrateRanges(CalibrationRecord &r)
{
    Session718 &s = *r.session;
    ViStatus status = VI_SUCCESS;
    for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c)
        status = readBoardDouble(s, reg::calPathOffset(c), r.pathOffset[c - 1]);
    // The half-scale points of range r take the calibrator's reference of
    // range r + 1, whose output H(r + 1) describes.
    double h[reg::kRangeCount] = {};
    for (int range = 1; range <= reg::kRangeCount && status >= VI_SUCCESS; ++range)
        status = readBoardDouble(s, reg::rangeCoefficient(range), h[range - 1]);
    for (int range = 1; range <= reg::kRangeCount && status >= VI_SUCCESS; ++range) {
        const reg::InputRange &ir = reg::inputRange(range);
        TQ718_VERBOSE(s, "Input range %s to -%s HCalCoef %lg", ir.name, ir.name, h[range - 1]);
        const std::span<const int> points = pointsOf(r.mode, range);
        for (int kind : points)
            r.reference[kind] = referenceVolts(kind, range, h);
        status = setAllRanges(s, range);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kMux, 0); // every channel on its input
        for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c) {
            status = setField(s, reg::nibble(reg::kMux, c), 2); // calibration input
            tq::platform::sleepMs(kMuxSettleMs);
            for (size_t i = 0; i < points.size() && status >= VI_SUCCESS; ++i) {
                double avg[kAnalogChannels];
                status = acquire(s, calibratorCode(points[i], range), avg);
                if (status >= VI_SUCCESS)
                    r.average[c - 1][points[i]] = avg[c - 1];
            }
            const ViStatus back = setField(s, reg::nibble(reg::kMux, c), 0);
            if (status >= VI_SUCCESS)
                status = back;
            tq::platform::sleepMs(kMuxSettleMs);
        }
        for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c)
            status = fitChannel(r, c, range);
        if (status >= VI_SUCCESS) {
            char text[tq::driver::kNameLength];
            tq::platform::cformat(text, sizeof text, "%s calibrate: %.2lf%%", s.instrumentName,
                                  range * 100.0 / reg::kRangeCount);
            status = progress(s, text);
        }
    }
    if (status >= VI_SUCCESS)
        status = bridgeSteps(r);
    return status;
}

// What every calibration refuses before it touches the board.
ViStatus refused(Session718 &s)
{
    if (s.running.load())
        return TQ718_ERROR_RUNNING;
    // Settings kept off the board cannot be calibrated against it; a session
    // without instrument has no board memory to acquire into.
    if (s.mode == tq::driver::kModeSimulated)
        return VI_ERROR_INV_SETUP;
    if (!s.hasInstrument())
        return VI_ERROR_ALLOC;
    if (s.externalCalibration)
        return VI_ERROR_INV_SETUP;
    return VI_SUCCESS;
}

// The end of every calibration once prepared: the interrupt goes down, the
// results are taken over when status is a success, the settings are
// restored. Returns the final status (a failed restore when all else
// succeeded; the saturation warning in place of plain success).
ViStatus finish(CalibrationRecord &r, ViStatus status)
{
    const ViStatus down = disarm(r);
    if (status >= VI_SUCCESS)
        takeOver(r);
    const ViStatus restored = restore(r);
    if (status >= VI_SUCCESS && down < VI_SUCCESS)
        status = down;
    if (status >= VI_SUCCESS && restored < VI_SUCCESS)
        status = restored;
    if (status == VI_SUCCESS)
        status = r.warning;
    return status;
}

ViStatus calibrate(Session718 &s)
{
    tq::driver::statusLine(s, "[%s]Begin calibration", s.instrumentName);
    ViStatus status = refused(s);
    if (status >= VI_SUCCESS) {
        std::unique_ptr<CalibrationRecord> r(new (std::nothrow) CalibrationRecord);
        if (!r)
            status = VI_ERROR_ALLOC;
        else {
            r->session = &s;
            status = prepare(*r);
            if (status >= VI_SUCCESS)
                status = arm(*r);
            if (status >= VI_SUCCESS)
                status = calibrateRanges(*r);
            // The end of the progress, whatever ended the calibration.
            progress(s, "");
            status = finish(*r, status);
        }
    }
    char text[tq::driver::kNameLength];
    driver().statusText(s, status, text, sizeof text);
    tq::driver::statusLine(s, "[%s]Complete calibrate:%s", s.instrumentName, text);
    return status;
}

// ---- External calibration ---------------------------------------------------------------------

double nominalVolts(int kind, int range)
{
    static constexpr double kNominal[reg::kRangeCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    return referenceVolts(kind, range, kNominal);
}

ViStatus calibrateExternal(Session718 &s, TQ718CalRecord **record, ViInt16 range, ViReal64 *value)
{
    if (!record || !value || range < 1 || range > reg::kRangeCount)
        return VI_ERROR_INV_PARAMETER;
    ViStatus status = refused(s);
    if (status < VI_SUCCESS)
        return status;
    auto *r = new (std::nothrow) CalibrationRecord;
    if (!r)
        return VI_ERROR_ALLOC;
    r->session = &s;
    r->external = true;
    r->range = range;
    r->handle = records().add(r);
    if (!r->handle) {
        delete r;
        return VI_ERROR_ALLOC;
    }
    s.externalCalibration = r;
    *record = handOut(r->handle);
    // A failure from here on leaves the record with the caller, who cancels
    // it (which restores what was changed).
    status = prepare(*r);
    if (status >= VI_SUCCESS)
        status = setAllRanges(s, range);
    // The external source reaches the channels on their inputs.
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kMux, 0);
    if (status < VI_SUCCESS)
        return status;
    r->point = 0;
    *value = nominalVolts(pointsOf(r->mode, range)[0], range);
    return TQ718_CAL_APPLY_VALUE;
}

ViStatus resumeExternal(Session718 &s, CalibrationRecord &r, ViReal64 applied, ViReal64 *value)
{
    if (!value || !std::isfinite(applied))
        return VI_ERROR_INV_PARAMETER;
    if (s.running.load())
        return TQ718_ERROR_RUNNING;
    const std::span<const int> points = pointsOf(r.mode, r.range);
    const int kind = points[r.point];
    double avg[kAnalogChannels];
    ViStatus status = arm(r);
    if (status >= VI_SUCCESS)
        status = acquire(s, kExternalCode, avg);
    if (status >= VI_SUCCESS)
        status = disarm(r);
    if (status < VI_SUCCESS) {
        status = finish(r, status);
        dismiss(&r);
        return status;
    }
    for (int c = 1; c <= kAnalogChannels; ++c)
        r.average[c - 1][kind] = avg[c - 1];
    r.reference[kind] = applied;
    if (++r.point < points.size()) {
        *value = nominalVolts(points[r.point], r.range);
        return TQ718_CAL_APPLY_VALUE;
    }
    for (int c = 1; c <= kAnalogChannels && status >= VI_SUCCESS; ++c)
        status = fitChannel(r, c, r.range);
    if (status >= VI_SUCCESS && r.bridge) {
        status = arm(r);
        if (status >= VI_SUCCESS)
            status = bridgeSteps(r);
    }
    status = finish(r, status);
    dismiss(&r);
    return status;
}

} // namespace

void discardCalibration(Session718 &s)
{
    if (CalibrationRecord *r = s.externalCalibration) {
        disarm(*r);
        dismiss(r);
    }
}

} // namespace tq718

using namespace tq718;

TQ_API ViStatus tq718_calibrate(ViSession vi)
{
    return withSession(vi, [&](Session718 &s) {
        try {
            return calibrate(s);
        } catch (...) {
            return VI_ERROR_SYSTEM_ERROR;
        }
    });
}

TQ_API ViStatus tq718_calibrateExternal(ViSession vi, TQ718CalRecord **record, ViInt16 range, ViReal64 *value)
{
    return withSession(vi, [&](Session718 &s) {
        try {
            return calibrateExternal(s, record, range, value);
        } catch (...) {
            return VI_ERROR_SYSTEM_ERROR;
        }
    });
}

TQ_API ViStatus tq718_calibrateExternalResume(ViSession vi, TQ718CalRecord *record, ViReal64 applied, ViReal64 *value)
{
    return withSession(vi, [&](Session718 &s) {
        CalibrationRecord *r = liveRecord(record, s);
        if (!r)
            return VI_ERROR_INV_SETUP;
        try {
            return resumeExternal(s, *r, applied, value);
        } catch (...) {
            return VI_ERROR_SYSTEM_ERROR;
        }
    });
}

TQ_API ViStatus tq718_calibrateExternalCancel(ViSession vi, TQ718CalRecord *record)
{
    return withSession(vi, [&](Session718 &s) {
        CalibrationRecord *r = liveRecord(record, s);
        if (!r)
            return VI_ERROR_INV_SETUP;
        const ViStatus down = disarm(*r);
        const ViStatus restored = restore(*r);
        dismiss(r);
        return restored < VI_SUCCESS ? restored : down < VI_SUCCESS ? down : VI_SUCCESS;
    });
}
