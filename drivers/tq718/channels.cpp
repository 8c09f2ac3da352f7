// Channel records, the scan layout, and the board writes that several
// settings share: channel enables, excitation, balance DAC and limit levels.
#include <cmath>
#include <cstdio>

#include "driver718.h"
#include "tq718.h"

namespace tq718
{

using tq::driver::traceLine;

void resetChannelRecords(Session718 &s, bool first)
{
    for (int c = 1; c <= kAnalogChannels; ++c) {
        AnalogChannel &ch = s.channel(c);
        // Calibration results survive later defaults: the polynomials, the
        // sensor polynomial and the balance DAC value.
        const tq::driver::PolynomialTable calibration = ch.calibration, sensor = ch.sensor;
        const int16_t dac = ch.balanceDac;
        void *const formula = ch.head.formulaNode; // the formula engine's, not a setting
        ch = AnalogChannel{};
        ch.head.formulaNode = formula;
        char name[32];
        snprintf(name, sizeof name, "AnalogChannel%d", c);
        tq::driver::initAnalogChannel(ch, c, name, "volts", s.stream);
        ch.number = static_cast<int16_t>(c);
        if (first) {
            ch.calibration.order = 1;
            for (int r = 1; r <= reg::kRangeCount; ++r) {
                ch.calibration.c[0][r - 1] = 0.0;
                ch.calibration.c[1][r - 1] = reg::kVoltsPerCount / reg::inputRange(r).gain;
            }
        } else {
            ch.calibration = calibration;
            ch.sensor = sensor;
            ch.balanceDac = dac;
        }
    }
    for (int n = 1; n <= kEventChannels; ++n) {
        EventChannel &ev = s.eventChannel(n);
        void *const formula = ev.head.formulaNode;
        ev = EventChannel{};
        ev.head.formulaNode = formula;
        char name[32];
        snprintf(name, sizeof name, "EventChannel%d", n);
        tq::driver::initEventChannel(ev, n, name, "binary", s.stream);
        ev.number = static_cast<int16_t>(n);
    }
}

void updateLayout(Session718 &s)
{
    uint16_t offset = 0, count = 0, events = 0;
    for (AnalogChannel &ch : s.analog)
        if (ch.enable) {
            ch.offset = offset;
            offset += 2;
            ++count;
        }
    for (EventChannel &ev : s.events)
        if (ev.enable) {
            ev.offset = offset; // every event channel reads the one event word
            ++events;
        }
    if (events)
        offset += 2;
    s.enabledEvents = static_cast<int16_t>(events);
    if (s.stream) {
        s.streamHandles.setScanSize(s.stream, offset);
        s.streamHandles.setNumberChannels(s.stream, static_cast<uint16_t>(count + events));
    }
}

namespace
{

ViUInt16 balanceValue(const AnalogChannel &ch, uint16_t channelEnabled)
{
    return ch.balanceEnable && channelEnabled ? reg::balanceCode(ch.balanceDac) : 0;
}

} // namespace

ViStatus writeBalance(Session718 &s, int c)
{
    const AnalogChannel &ch = s.channel(c);
    return out16(s, reg::balanceDac(c), balanceValue(ch, ch.enable));
}

ViStatus enableAnalog(Session718 &s, int c, uint16_t enable, bool force)
{
    tq::platform::MutexGuard guard(s.runLock);
    AnalogChannel &ch = s.channel(c);
    if (ch.enable == enable && !force)
        return VI_SUCCESS;
    // The running ring, its readers and its capture hold scans of the layout
    // the acquisition started with.
    if (ch.enable != enable && s.running.load())
        return TQ718_ERROR_RUNNING;
    if (onBoard(s)) {
        ViStatus status = setField(s, reg::channelBit(reg::kChannelEnable, c), enable);
        if (status >= VI_SUCCESS)
            status = writeExcitation(s, c);
        if (status >= VI_SUCCESS)
            status = out16(s, reg::balanceDac(c), balanceValue(ch, enable));
        if (status < VI_SUCCESS)
            return status;
    }
    StreamLock lock(s);
    ch.enable = enable;
    ch.head.enableWord = enable;
    updateLayout(s);
    return VI_SUCCESS;
}

ViStatus writeEventWord(Session718 &s)
{
    return setField(s, reg::kEventWordEnable, s.enabledEvents > 0 ? 1 : 0);
}

ViStatus enableEvent(Session718 &s, int n, uint16_t enable, bool force)
{
    tq::platform::MutexGuard guard(s.runLock);
    EventChannel &ev = s.eventChannel(n);
    if (ev.enable == enable && !force)
        return VI_SUCCESS;
    // The event word's place in the scan and the stream's channels are the
    // running acquisition's; the interrupt handler reads the enables too.
    if (ev.enable != enable && s.running.load())
        return TQ718_ERROR_RUNNING;
    const int others = s.enabledEvents - (ev.enable ? 1 : 0);
    if (onBoard(s) && (force || others == 0)) {
        // The first enabled event channel switches the event word into the
        // scan, the last one disabled switches it out.
        ViStatus status = setField(s, reg::kEventWordEnable, others + enable > 0 ? 1 : 0);
        if (status < VI_SUCCESS)
            return status;
    }
    StreamLock lock(s);
    ev.enable = enable;
    ev.head.enableWord = enable;
    updateLayout(s);
    return VI_SUCCESS;
}

ViStatus writeExcitation(Session718 &s, int c)
{
    const AnalogChannel &ch = s.channel(c);
    const double v = ch.excitation;
    ViUInt32 value = 0;
    ViStatus status = VI_SUCCESS;
    switch (ch.excitationType) {
    case 1:
        break;
    case 2:
        // A source cannot drive a negative excitation; the code field has no
        // room for one either.
        if (!std::isfinite(v) || v < 0.0) {
            status = VI_ERROR_INV_SETUP;
            break;
        }
        if (const double n = v * 409.6 + 0.5; n < 4096.0)
            value = reg::kExcitationOn | static_cast<ViUInt32>(n);
        else
            value = reg::kExcitationOn | 0xFFF;
        break;
    case 3:
        if (!std::isfinite(v) || v < 0.0 || v > 50.0) {
            status = VI_ERROR_INV_SETUP;
            break;
        }
        value = reg::kExcitationOn | reg::kExcitationCurrent | (static_cast<ViUInt32>(v * 20.48 + 0.5) & 0xFFF);
        break;
    default:
        status = VI_ERROR_INV_SETUP;
        break;
    }
    if (status >= VI_SUCCESS) {
        ViUInt32 old = 0;
        status = in32(s, reg::excitation(c), old);
        if (status >= VI_SUCCESS) {
            value |= old & reg::kExcitationSense;
            status = out32(s, reg::excitation(c), value);
            traceLine(s, "tq718_setExcitation:viOut(%#x(%s),%#hx,%#x,%#x) retVal=%#x\n", s.value, s.instrumentName,
                      reg::kBar2, static_cast<unsigned>(reg::excitation(c)), value, static_cast<uint32_t>(status));
        }
    }
    tq::driver::traceCall(s, "setExcitation", status, "%#hx", static_cast<unsigned short>(c));
    return status;
}

ViStatus limitCode(const AnalogChannel &ch, double volts, ViInt16 &code)
{
    if (!std::isfinite(volts))
        return VI_ERROR_INV_PARAMETER;
    const int r = ch.range - 1;
    const auto &c = ch.calibration.c;
    auto inCodes = [](double x) { return x >= -32768.0 && x <= 32767.0; };
    double x;
    switch (ch.calibration.order) {
    case 1:
        x = (volts - c[0][r]) / c[1][r];
        if (std::isnan(x))
            return VI_ERROR_SYSTEM_ERROR;
        // A level beyond the ends of the scale stays at that end rather than
        // wrapping round to the other sign.
        x = x < -32768.0 ? -32768.0 : x > 32767.0 ? 32767.0 : x;
        break;
    case 2:
    case 4: {
        // The root of a x^2 + b x + d = 0 that lies on the scale, computed in
        // the form that does not cancel.
        const double a = c[2][r], b = c[1][r], d = c[0][r] - volts;
        const double q = -0.5 * (b + (b < 0 ? -1.0 : 1.0) * std::sqrt(b * b - 4 * a * d));
        x = d / q;
        if (!inCodes(x)) {
            x = q / a;
            if (!inCodes(x))
                return VI_ERROR_SYSTEM_ERROR;
        }
        break;
    }
    default:
        return VI_ERROR_NIMPL_OPER;
    }
    code = static_cast<ViInt16>(std::round(x));
    return VI_SUCCESS;
}

double codeVolts(const AnalogChannel &ch, ViInt16 code)
{
    return ch.calibration.evaluate(ch.range, code);
}

ViStatus writeLimits(Session718 &s, int c)
{
    const AnalogChannel &ch = s.channel(c);
    ViInt16 low = 0, high = 0;
    ViStatus status = limitCode(ch, ch.limitLow, low);
    if (status >= VI_SUCCESS)
        status = limitCode(ch, ch.limitHigh, high);
    if (status >= VI_SUCCESS)
        status = out16(s, reg::limitLow(c), static_cast<ViUInt16>(low));
    if (status >= VI_SUCCESS)
        status = out16(s, reg::limitHigh(c), static_cast<ViUInt16>(high));
    return status;
}

void updateLowestFilter(Session718 &s)
{
    int16_t lowest = s.analog[0].filter;
    for (const AnalogChannel &ch : s.analog)
        if (ch.filter < lowest)
            lowest = ch.filter;
    s.lowestFilter = lowest;
}

} // namespace tq718
