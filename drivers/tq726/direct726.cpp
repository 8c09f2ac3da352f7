// Direct access to the model 726's outputs: voltages and currents of one
// channel or a range, written and read in one block.
#include <cmath>

#include "driver726.h"

namespace tq726
{

namespace
{

// A range of channels the board has, at least one.
bool validRange(const Session726 &s, int first, int last)
{
    return s.validChannel(first) && s.validChannel(last) && first <= last;
}

// Every value is checked and converted before anything is written.
template <typename Convert>
ViStatus setRange(ViSession vi, ViInt16 first, ViInt16 last, const ViReal64 *values, bool current, Convert volts)
{
    return withSession(vi, [&](Session726 &s) {
        if (current && !s.currentOutputs)
            return VI_ERROR_NSUP_OPER;
        if (!validRange(s, first, last) || !values)
            return VI_ERROR_INV_PARAMETER;
        uint16_t codes[kMaxChannels];
        const int n = last - first + 1;
        for (int i = 0; i < n; ++i) {
            const double v = volts(values[i]);
            if (!validVolts(v))
                return VI_ERROR_INV_PARAMETER;
            codes[i] = voltsCode(v);
        }
        return writeCodes(s, first, last, codes);
    });
}

template <typename Convert>
ViStatus getRange(ViSession vi, ViInt16 first, ViInt16 last, ViReal64 *values, bool current, Convert convert)
{
    return withSession(vi, [&](Session726 &s) {
        if (current && !s.currentOutputs)
            return VI_ERROR_NSUP_OPER;
        if (!validRange(s, first, last) || !values)
            return VI_ERROR_INV_PARAMETER;
        if (!s.hasInstrument())
            return VI_ERROR_INV_SETUP;
        uint16_t codes[kMaxChannels];
        const int n = last - first + 1;
        const ViStatus status =
            visa().viMoveIn16(s.value, reg::kBar2, reg::output(first), static_cast<ViBusSize>(n), codes);
        if (status < VI_SUCCESS)
            return status;
        for (int i = 0; i < n; ++i)
            values[i] = convert(codeVolts(codes[i]));
        return status;
    });
}

double identity(double v)
{
    return v;
}
double currentVolts(double mA)
{
    return (mA - kCurrentOffset) / kCurrentFactor; // NaN stays NaN and is refused
}
double voltsCurrent(double volts)
{
    return volts * kCurrentFactor + kCurrentOffset;
}

} // namespace

ViStatus writeCodes(Session726 &s, int first, int last, const uint16_t *codes)
{
    // A session without an instrument has no board to write.
    if (!s.hasInstrument())
        return VI_ERROR_INV_SETUP;
    const ViStatus status = visa().viMoveOut16(s.value, reg::kBar2, reg::output(first),
                                               static_cast<ViBusSize>(last - first + 1), const_cast<uint16_t *>(codes));
    // A running output thread sets its frame again at its next period.
    if (s.running.load(std::memory_order_acquire)) {
        s.boardOverwritten.store(true, std::memory_order_release);
        outputsChanged(s);
    }
    return status;
}

} // namespace tq726

using namespace tq726;

TQ_API ViStatus tq726_set_array_chan_voltage(ViSession vi, ViInt16 first, ViInt16 last, const ViReal64 volts[])
{
    return setRange(vi, first, last, volts, false, identity);
}

TQ_API ViStatus tq726_set_single_chan_voltage(ViSession vi, ViInt16 channel, ViReal64 volts)
{
    return tq726_set_array_chan_voltage(vi, channel, channel, &volts);
}

TQ_API ViStatus tq726_setChannelVoltage(ViSession vi, ViInt16 channel, ViReal64 volts)
{
    return tq726_set_array_chan_voltage(vi, channel, channel, &volts);
}

TQ_API ViStatus tq726_set_array_chan_current(ViSession vi, ViInt16 first, ViInt16 last, const ViReal64 mA[])
{
    return setRange(vi, first, last, mA, true, currentVolts);
}

TQ_API ViStatus tq726_set_single_chan_current(ViSession vi, ViInt16 channel, ViReal64 mA)
{
    return tq726_set_array_chan_current(vi, channel, channel, &mA);
}

TQ_API ViStatus tq726_get_array_chan_voltage(ViSession vi, ViInt16 first, ViInt16 last, ViReal64 volts[])
{
    return getRange(vi, first, last, volts, false, identity);
}

TQ_API ViStatus tq726_get_single_chan_voltage(ViSession vi, ViInt16 channel, ViReal64 *volts)
{
    return tq726_get_array_chan_voltage(vi, channel, channel, volts);
}

TQ_API ViStatus tq726_getChannelVoltage(ViSession vi, ViInt16 channel, ViReal64 *volts)
{
    return tq726_get_array_chan_voltage(vi, channel, channel, volts);
}

TQ_API ViStatus tq726_get_array_chan_current(ViSession vi, ViInt16 first, ViInt16 last, ViReal64 mA[])
{
    return getRange(vi, first, last, mA, true, voltsCurrent);
}

TQ_API ViStatus tq726_get_single_chan_current(ViSession vi, ViInt16 channel, ViReal64 *mA)
{
    return tq726_get_array_chan_current(vi, channel, channel, mA);
}

TQ_API ViStatus tq726_isCurrentEn(ViSession vi, ViBoolean *flag)
{
    return withSession(vi, [&](Session726 &s) {
        if (!flag)
            return VI_ERROR_INV_PARAMETER;
        *flag = s.currentOutputs ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_getVoltageRange(ViSession vi, ViReal64 *min, ViReal64 *max)
{
    return withSession(vi, [&](Session726 &) {
        if (!min || !max)
            return VI_ERROR_INV_PARAMETER;
        *min = kMinVolts;
        *max = kMinVolts + (kMaxVolts - kMinVolts) * 65535.0 / 65536.0;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_getCurrentRange(ViSession vi, ViReal64 *min, ViReal64 *max)
{
    return withSession(vi, [&](Session726 &s) {
        if (!s.currentOutputs)
            return VI_ERROR_NSUP_OPER;
        if (!min || !max)
            return VI_ERROR_INV_PARAMETER;
        *min = voltsCurrent(kMinVolts);
        *max = voltsCurrent(kMinVolts + (kMaxVolts - kMinVolts) * 65535.0 / 65536.0);
        return VI_SUCCESS;
    });
}
