// Per-channel settings of the model 718: analog channel enables, ranges,
// multiplexer, limits, sensor, filter, excitation, bridge and shunt, the
// demonstration signal, and the event channels.
#include <cmath>
#include <cstring>

#include "driver718.h"
#include "tq/platform/thread.h"
#include "tq718.h"

namespace tq718
{

namespace
{

// A getter of one analog channel (1 to the channel count).
template <typename F> ViStatus withChannel(ViSession vi, ViInt16 c, F &&fn)
{
    return withSession(vi,
                       [&](Session718 &s) { return validAnalog(s, c) ? fn(s, s.channel(c)) : VI_ERROR_INV_PARAMETER; });
}

ViStatus storeName(char *field, ViConstString name)
{
    if (!name)
        return VI_ERROR_INV_PARAMETER;
    const size_t n = strnlen(name, TQ_CHANNEL_NAME_SIZE);
    if (n >= TQ_CHANNEL_NAME_SIZE)
        return VI_ERROR_INV_LENGTH;
    memcpy(field, name, n);
    field[n] = '\0';
    return VI_SUCCESS;
}

ViStatus copyName(ViChar *out, const char *name)
{
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(out, TQ_CHANNEL_NAME_SIZE, name);
    return VI_SUCCESS;
}

bool validMux(int mux)
{
    return mux >= 1 && mux <= 4 ? true : mux == 6;
}

void setUnit(AnalogChannel &ch, const char *unit)
{
    tq::driver::copyName(ch.head.eu, TQ_CHANNEL_EU_SIZE, unit);
}

ViStatus waitForCompletionGap(Session718 &s)
{
    // The bridge completion relays need 10 ms between two changes.
    const uint64_t now = tq::platform::tickMs();
    if (now - s.lastCompletionWrite < 10)
        tq::platform::sleepMs(static_cast<uint32_t>(10 - (now - s.lastCompletionWrite)));
    return VI_SUCCESS;
}

} // namespace

// ---- Internal setters and getters ----------------------------------------------

ViStatus setLimitLevel(Session718 &s, int c, bool high, double volts)
{
    if (!std::isfinite(volts))
        return VI_ERROR_INV_PARAMETER;
    AnalogChannel &ch = s.channel(c);
    if (onBoard(s)) {
        ViInt16 code = 0;
        ViStatus status = limitCode(ch, volts, code);
        if (status >= VI_SUCCESS)
            status = out16(s, high ? reg::limitHigh(c) : reg::limitLow(c), static_cast<ViUInt16>(code));
        if (status < VI_SUCCESS)
            return status;
    }
    (high ? ch.limitHigh : ch.limitLow) = volts;
    return VI_SUCCESS;
}

ViStatus getLimitLevel(Session718 &s, int c, bool high, double &volts)
{
    AnalogChannel &ch = s.channel(c);
    double &stored = high ? ch.limitHigh : ch.limitLow;
    if (onBoard(s)) {
        ViUInt16 code = 0;
        ViStatus status = in16(s, high ? reg::limitHigh(c) : reg::limitLow(c), code);
        if (status < VI_SUCCESS)
            return status;
        stored = codeVolts(ch, static_cast<ViInt16>(code));
    }
    volts = stored;
    return VI_SUCCESS;
}

ViStatus setInputRange(Session718 &s, int c, ViInt16 range)
{
    if (range < 1 || range > reg::kRangeCount)
        return VI_ERROR_INV_PARAMETER;
    AnalogChannel &ch = s.channel(c);
    if (onBoard(s)) {
        ViStatus status = setField(s, reg::nibble(reg::kRange, c), static_cast<ViUInt32>(range - 1));
        if (status < VI_SUCCESS)
            return status;
    }
    ch.range = range;
    // The limit comparators work in ADC codes, which differ per range.
    if (onBoard(s) && ch.limitMode != 1)
        return writeLimits(s, c);
    return VI_SUCCESS;
}

ViStatus getInputRange(Session718 &s, int c, ViInt16 &range)
{
    AnalogChannel &ch = s.channel(c);
    if (onBoard(s)) {
        ViUInt32 code = 0;
        ViStatus status = getField(s, reg::nibble(reg::kRange, c), code);
        if (status < VI_SUCCESS)
            return status;
        if (code >= static_cast<ViUInt32>(reg::kRangeCount))
            return VI_ERROR_SYSTEM_ERROR;
        ch.range = static_cast<int16_t>(code + 1);
    }
    range = ch.range;
    return VI_SUCCESS;
}

ViStatus setMux(Session718 &s, int c, ViInt16 mux)
{
    if (!validMux(mux))
        return VI_ERROR_INV_PARAMETER;
    if (onBoard(s)) {
        ViStatus status = setField(s, reg::nibble(reg::kMux, c), static_cast<ViUInt32>(mux - 1));
        if (status < VI_SUCCESS)
            return status;
    }
    s.channel(c).mux = mux;
    return VI_SUCCESS;
}

ViStatus setBufferSource(Session718 &s, int c, ViInt16 source)
{
    if (source != 1 && source != 2)
        return VI_ERROR_INV_PARAMETER;
    if (onBoard(s)) {
        ViStatus status = setField(s, reg::channelBit(reg::kBufferSource, c), source != 1);
        if (status < VI_SUCCESS)
            return status;
    }
    s.channel(c).bufferSource = source;
    return VI_SUCCESS;
}

ViStatus setLimitMode(Session718 &s, int c, ViInt16 mode)
{
    if (mode < 1 || mode > 3)
        return VI_ERROR_INV_PARAMETER;
    ViStatus status = VI_SUCCESS;
    if (onBoard(s)) {
        if (mode == 1)
            status = setField(s, reg::channelBit(reg::kLimitOn, c), 0);
        else {
            status = setField(s, reg::channelBit(reg::kLimitMode, c), mode == 3);
            if (status >= VI_SUCCESS)
                status = setField(s, reg::channelBit(reg::kLimitOn, c), 1);
        }
    }
    s.channel(c).limitMode = mode; // kept even when the board refused it
    return status;
}

ViStatus getLimitMode(Session718 &s, int c, ViInt16 &mode)
{
    AnalogChannel &ch = s.channel(c);
    if (onBoard(s)) {
        ViUInt32 on = 0, levelSlope = 0;
        ViStatus status = getField(s, reg::channelBit(reg::kLimitOn, c), on);
        if (status >= VI_SUCCESS && on)
            status = getField(s, reg::channelBit(reg::kLimitMode, c), levelSlope);
        if (status < VI_SUCCESS)
            return status;
        ch.limitMode = !on ? 1 : levelSlope ? 3 : 2;
    }
    mode = ch.limitMode;
    return VI_SUCCESS;
}

ViStatus setSensorType(Session718 &s, int c, ViInt16 type)
{
    if (type != kSensorVoltage && type != kSensorBridge)
        return VI_ERROR_INV_PARAMETER;
    AnalogChannel &ch = s.channel(c);
    ch.sensorType = type;
    tq::driver::selectAnalogConverter(ch);
    setUnit(ch, type == kSensorBridge ? "percent" : "volts");
    return VI_SUCCESS;
}

int supportedFilters(const Session718 &s, ViInt16 (&filters)[9])
{
    filters[0] = kNoFiltering;
    if (!s.options.filterReady || (s.options.filterOption != 1 && s.options.filterOption != 2))
        return 1;
    for (int f = 1; f <= 8; ++f)
        filters[f] = static_cast<ViInt16>(f);
    return 9;
}

ViStatus setFilter(Session718 &s, int c, ViInt16 filter)
{
    if (!s.options.filterReady)
        // No filter card: only "No Filtering", and nothing to keep.
        return filter == kNoFiltering ? VI_SUCCESS : VI_ERROR_INV_PARAMETER;
    if (filter < 1 || filter > 9)
        return VI_ERROR_INV_PARAMETER;
    if (onBoard(s)) {
        ViInt16 allowed[9];
        const int n = supportedFilters(s, allowed);
        bool ok = false;
        for (int i = 0; i < n; ++i)
            ok = ok || allowed[i] == filter;
        if (!ok)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, reg::nibble(reg::kFilter, c), reg::filterCode(filter));
        if (status < VI_SUCCESS)
            return status;
    }
    s.channel(c).filter = filter;
    updateLowestFilter(s);
    return VI_SUCCESS;
}

ViStatus getFilter(Session718 &s, int c, ViInt16 &filter)
{
    AnalogChannel &ch = s.channel(c);
    if (!s.options.filterReady) {
        filter = kNoFiltering;
        return VI_SUCCESS;
    }
    if (onBoard(s)) {
        ViUInt32 code = 0;
        ViStatus status = getField(s, reg::nibble(reg::kFilter, c), code);
        if (status < VI_SUCCESS)
            return status;
        const int f = reg::filterOfCode(code);
        if (f < 0)
            return VI_ERROR_SYSTEM_ERROR;
        ch.filter = static_cast<int16_t>(f);
        updateLowestFilter(s);
    }
    filter = ch.filter;
    return VI_SUCCESS;
}

ViStatus setExcitation(Session718 &s, int c, ViReal64 value)
{
    AnalogChannel &ch = s.channel(c);
    const double previous = ch.excitation;
    ch.excitation = value;
    if (!onBoard(s))
        return VI_SUCCESS;
    ViStatus status = writeExcitation(s, c);
    if (status < VI_SUCCESS)
        ch.excitation = previous;
    return status;
}

ViStatus setExcitationType(Session718 &s, int c, ViInt16 type)
{
    if (type < 1 || type > 3)
        return VI_ERROR_INV_PARAMETER;
    AnalogChannel &ch = s.channel(c);
    const int16_t previous = ch.excitationType;
    ch.excitationType = type;
    if (!onBoard(s))
        return VI_SUCCESS;
    ViStatus status = writeExcitation(s, c);
    if (status < VI_SUCCESS)
        ch.excitationType = previous;
    return status;
}

ViStatus setSense(Session718 &s, int c, ViInt16 sense)
{
    if (sense != 1 && sense != 2)
        return VI_ERROR_INV_PARAMETER;
    if (onBoard(s)) {
        ViStatus status = tq::driver::setRegisterField(s.value, reg::kBar2, reg::excitation(c), 1, 14, sense == 1);
        if (status >= VI_SUCCESS)
            status = setField(s, reg::senseField(c), sense == 1);
        if (status < VI_SUCCESS)
            return status;
    }
    s.channel(c).sense = sense;
    return VI_SUCCESS;
}

ViStatus setBridgeConfiguration(Session718 &s, int c, ViInt16 configuration)
{
    if (configuration < 1 || configuration > 4)
        return VI_ERROR_INV_PARAMETER;
    if (onBoard(s)) {
        waitForCompletionGap(s);
        ViStatus status = setField(s, reg::completionField(c), reg::completionCode(configuration));
        s.lastCompletionWrite = tq::platform::tickMs();
        if (status < VI_SUCCESS)
            return status;
    }
    s.channel(c).bridgeConfiguration = configuration;
    return VI_SUCCESS;
}

} // namespace tq718

// ---- Exports -----------------------------------------------------------------------

using namespace tq718;

TQ_API ViStatus tq718_setAnalogChannelEnable(ViSession vi, ViInt16 channel, ViBoolean enable)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(
            s, channel, [&](int c) { return enable > 1 ? VI_ERROR_INV_PARAMETER : enableAnalog(s, c, enable, false); });
    });
}

TQ_API ViStatus tq718_getAnalogChannelEnable(ViSession vi, ViInt16 channel, ViBoolean *enable)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(enable, ch.enable); });
}

TQ_API ViStatus tq718_setAnalogChannelName(ViSession vi, ViInt16 channel, ViConstString name)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return storeName(ch.head.name, name); });
}

TQ_API ViStatus tq718_getAnalogChannelName(ViSession vi, ViInt16 channel, ViChar *name)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return copyName(name, ch.head.name); });
}

TQ_API ViStatus tq718_setAnalogChannelInputVoltageRange(ViSession vi, ViInt16 channel, ViInt16 range)
{
    return withSession(
        vi, [&](Session718 &s) { return forChannels(s, channel, [&](int c) { return setInputRange(s, c, range); }); });
}

TQ_API ViStatus tq718_getAnalogChannelInputVoltageRange(ViSession vi, ViInt16 channel, ViInt16 *range)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &) {
        ViInt16 v = 0;
        ViStatus status = getInputRange(s, channel, v);
        return status < VI_SUCCESS ? status : give(range, v);
    });
}

TQ_API ViStatus tq718_setAnalogChannelMux(ViSession vi, ViInt16 channel, ViInt16 mux)
{
    return withSession(
        vi, [&](Session718 &s) { return forChannels(s, channel, [&](int c) { return setMux(s, c, mux); }); });
}

TQ_API ViStatus tq718_getAnalogChannelMux(ViSession vi, ViInt16 channel, ViInt16 *mux)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &ch) {
        if (onBoard(s)) {
            ViUInt32 code = 0;
            ViStatus status = getField(s, reg::nibble(reg::kMux, channel), code);
            if (status < VI_SUCCESS)
                return status;
            if (!validMux(static_cast<int>(code) + 1))
                return VI_ERROR_SYSTEM_ERROR;
            ch.mux = static_cast<int16_t>(code + 1);
        }
        return give(mux, ch.mux);
    });
}

TQ_API ViStatus tq718_setAnalogChannelBufferSource(ViSession vi, ViInt16 channel, ViInt16 source)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) { return setBufferSource(s, c, source); });
    });
}

TQ_API ViStatus tq718_getAnalogChannelBufferSource(ViSession vi, ViInt16 channel, ViInt16 *source)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &ch) {
        if (onBoard(s)) {
            ViUInt32 bit = 0;
            ViStatus status = getField(s, reg::channelBit(reg::kBufferSource, channel), bit);
            if (status < VI_SUCCESS)
                return status;
            ch.bufferSource = bit ? 2 : 1;
        }
        return give(source, ch.bufferSource);
    });
}

TQ_API ViStatus tq718_setAnalogChannelLimitCheckMode(ViSession vi, ViInt16 channel, ViInt16 mode)
{
    return withSession(
        vi, [&](Session718 &s) { return forChannels(s, channel, [&](int c) { return setLimitMode(s, c, mode); }); });
}

TQ_API ViStatus tq718_getAnalogChannelLimitCheckMode(ViSession vi, ViInt16 channel, ViInt16 *mode)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &) {
        ViInt16 v = 0;
        ViStatus status = getLimitMode(s, channel, v);
        return status < VI_SUCCESS ? status : give(mode, v);
    });
}

TQ_API ViStatus tq718_setAnalogChannelLimitCheckMinLvl(ViSession vi, ViInt16 channel, ViReal64 volts)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) { return setLimitLevel(s, c, false, volts); });
    });
}

TQ_API ViStatus tq718_getAnalogChannelLimitCheckMinLvl(ViSession vi, ViInt16 channel, ViReal64 *volts)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &) {
        double v = 0;
        ViStatus status = getLimitLevel(s, channel, false, v);
        return status < VI_SUCCESS ? status : give(volts, v);
    });
}

TQ_API ViStatus tq718_setAnalogChannelLimitCheckMaxSlope(ViSession vi, ViInt16 channel, ViReal64 volts)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) { return setLimitLevel(s, c, true, volts); });
    });
}

TQ_API ViStatus tq718_getAnalogChannelLimitCheckMaxSlope(ViSession vi, ViInt16 channel, ViReal64 *volts)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &) {
        double v = 0;
        ViStatus status = getLimitLevel(s, channel, true, v);
        return status < VI_SUCCESS ? status : give(volts, v);
    });
}

TQ_API ViStatus tq718_setAnalogChannelSensorType(ViSession vi, ViInt16 channel, ViInt16 type)
{
    return withSession(
        vi, [&](Session718 &s) { return forChannels(s, channel, [&](int c) { return setSensorType(s, c, type); }); });
}

TQ_API ViStatus tq718_getAnalogChannelSensorType(ViSession vi, ViInt16 channel, ViInt16 *type)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(type, ch.sensorType); });
}

TQ_API ViStatus tq718_setAnalogChannelFilter(ViSession vi, ViInt16 channel, ViInt16 filter)
{
    return withSession(
        vi, [&](Session718 &s) { return forChannels(s, channel, [&](int c) { return setFilter(s, c, filter); }); });
}

TQ_API ViStatus tq718_getAnalogChannelFilter(ViSession vi, ViInt16 channel, ViInt16 *filter)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &) {
        ViInt16 v = 0;
        ViStatus status = getFilter(s, channel, v);
        return status < VI_SUCCESS ? status : give(filter, v);
    });
}

TQ_API ViStatus tq718_getAnalogChannelSupportedFilters(ViSession vi, ViInt16 max, ViInt16 *filters, ViInt16 *count)
{
    return withSession(vi, [&](Session718 &s) {
        ViInt16 allowed[9];
        const int n = supportedFilters(s, allowed);
        int copied = 0;
        for (; filters && copied < max && copied < n; ++copied)
            filters[copied] = allowed[copied];
        if (count)
            *count = static_cast<ViInt16>(copied);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_setAnalogChannelExcitation(ViSession vi, ViInt16 channel, ViReal64 value)
{
    return withSession(vi, [&](Session718 &s) {
        ViStatus status = forChannels(s, channel, [&](int c) { return setExcitation(s, c, value); });
        tq::driver::traceCall(s, "setAnalogChannelExcitation", status, "%#hx,%lf", static_cast<unsigned short>(channel),
                              value);
        return status;
    });
}

TQ_API ViStatus tq718_getAnalogChannelExcitation(ViSession vi, ViInt16 channel, ViReal64 *value)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(value, ch.excitation); });
}

TQ_API ViStatus tq718_setAnalogChannelExcitationType(ViSession vi, ViInt16 channel, ViInt16 type)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) { return setExcitationType(s, c, type); });
    });
}

TQ_API ViStatus tq718_getAnalogChannelExcitationType(ViSession vi, ViInt16 channel, ViInt16 *type)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(type, ch.excitationType); });
}

TQ_API ViStatus tq718_setAnalogChannelSense(ViSession vi, ViInt16 channel, ViInt16 sense)
{
    return withSession(
        vi, [&](Session718 &s) { return forChannels(s, channel, [&](int c) { return setSense(s, c, sense); }); });
}

TQ_API ViStatus tq718_getAnalogChannelSense(ViSession vi, ViInt16 channel, ViInt16 *sense)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &ch) {
        if (onBoard(s)) {
            ViUInt32 bit = 0;
            ViStatus status = getField(s, reg::senseField(channel), bit);
            if (status < VI_SUCCESS)
                return status;
            ch.sense = bit ? 1 : 2;
        }
        return give(sense, ch.sense);
    });
}

TQ_API ViStatus tq718_setAnalogChannelBridgeConfiguration(ViSession vi, ViInt16 channel, ViInt16 configuration)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) { return setBridgeConfiguration(s, c, configuration); });
    });
}

TQ_API ViStatus tq718_getAnalogChannelBridgeConfiguration(ViSession vi, ViInt16 channel, ViInt16 *configuration)
{
    return withChannel(vi, channel, [&](Session718 &s, AnalogChannel &ch) {
        if (onBoard(s)) {
            ViUInt32 code = 0;
            ViStatus status = getField(s, reg::completionField(channel), code);
            if (status < VI_SUCCESS)
                return status;
            const int v = reg::configurationOfCompletion(code);
            if (v < 0)
                return VI_ERROR_SYSTEM_ERROR;
            ch.bridgeConfiguration = static_cast<int16_t>(v);
        }
        return give(configuration, ch.bridgeConfiguration);
    });
}

TQ_API ViStatus tq718_setAnalogChannelBridgeBalanceEnable(ViSession vi, ViInt16 channel, ViBoolean enable)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) {
            if (enable > 1)
                return VI_ERROR_INV_PARAMETER;
            AnalogChannel &ch = s.channel(c);
            if (ch.balanceEnable == enable)
                return VI_SUCCESS;
            const uint16_t previous = ch.balanceEnable;
            ch.balanceEnable = enable;
            if (!onBoard(s))
                return VI_SUCCESS;
            ViStatus status = writeBalance(s, c);
            if (status < VI_SUCCESS)
                ch.balanceEnable = previous;
            return status;
        });
    });
}

TQ_API ViStatus tq718_getAnalogChannelBridgeBalanceEnable(ViSession vi, ViInt16 channel, ViBoolean *enable)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(enable, ch.balanceEnable); });
}

TQ_API ViStatus tq718_setAnalogChannelShuntCalPolarity(ViSession vi, ViInt16 channel, ViInt16 polarity)
{
    return withSession(vi, [&](Session718 &s) {
        return forChannels(s, channel, [&](int c) {
            AnalogChannel &ch = s.channel(c);
            ch.shuntPolarity = polarity;
            if (!ch.sensor.present()) {
                // Shunt calibration fills the sensor polynomial; until then it
                // passes the bridge ratio on unchanged.
                ch.sensor.order = 1;
                for (int r = 0; r < reg::kRangeCount; ++r) {
                    ch.sensor.c[0][r] = 0.0;
                    ch.sensor.c[1][r] = 1.0;
                }
            }
            return VI_SUCCESS;
        });
    });
}

TQ_API ViStatus tq718_getAnalogChannelShuntCalPolarity(ViSession vi, ViInt16 channel, ViInt16 *polarity)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(polarity, ch.shuntPolarity); });
}

TQ_API ViStatus tq718_setAnalogChannelPositiveShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 percent)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) {
        ch.positiveShunt = percent;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getAnalogChannelPositiveShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 *percent)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(percent, ch.positiveShunt); });
}

TQ_API ViStatus tq718_setAnalogChannelNegativeShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 percent)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) {
        ch.negativeShunt = percent;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getAnalogChannelNegativeShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 *percent)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(percent, ch.negativeShunt); });
}

TQ_API ViStatus tq718_getAnalogChannelConnector(ViSession vi, ViInt16 channel, ViInt16 *connector)
{
    return withChannel(vi, channel, [&](Session718 &, AnalogChannel &ch) { return give(connector, ch.number); });
}

// ---- Demonstration signal ------------------------------------------------------

namespace
{

template <typename F> ViStatus withDemo(ViSession vi, ViInt16 channel, F &&fn)
{
    return withSession(vi, [&](Session718 &s) {
        return channel >= 1 && channel <= kAnalogChannels ? fn(s.demo[channel - 1]) : VI_ERROR_INV_PARAMETER;
    });
}

} // namespace

TQ_API ViStatus tq718_setDemoAnalogChannelType(ViSession vi, ViInt16 channel, ViInt16 type)
{
    return withDemo(vi, channel, [&](Demo &d) {
        if (type < 1 || type > 5)
            return VI_ERROR_INV_PARAMETER;
        d.type = type;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getDemoAnalogChannelType(ViSession vi, ViInt16 channel, ViInt16 *type)
{
    return withDemo(vi, channel, [&](Demo &d) { return give(type, d.type); });
}

TQ_API ViStatus tq718_setDemoAnalogChannelScale(ViSession vi, ViInt16 channel, ViReal64 scale)
{
    return withDemo(vi, channel, [&](Demo &d) {
        d.scale = scale;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getDemoAnalogChannelScale(ViSession vi, ViInt16 channel, ViReal64 *scale)
{
    return withDemo(vi, channel, [&](Demo &d) { return give(scale, d.scale); });
}

TQ_API ViStatus tq718_setDemoAnalogChannelOffset(ViSession vi, ViInt16 channel, ViReal64 offset)
{
    return withDemo(vi, channel, [&](Demo &d) {
        d.offset = offset;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getDemoAnalogChannelOffset(ViSession vi, ViInt16 channel, ViReal64 *offset)
{
    return withDemo(vi, channel, [&](Demo &d) { return give(offset, d.offset); });
}

TQ_API ViStatus tq718_setDemoAnalogChannelNoise(ViSession vi, ViInt16 channel, ViReal64 noise)
{
    return withDemo(vi, channel, [&](Demo &d) {
        d.noise = noise;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getDemoAnalogChannelNoise(ViSession vi, ViInt16 channel, ViReal64 *noise)
{
    return withDemo(vi, channel, [&](Demo &d) { return give(noise, d.noise); });
}

// ---- Event channels ----------------------------------------------------------------

TQ_API ViStatus tq718_setEventChannelEnable(ViSession vi, ViInt16 channel, ViBoolean enable)
{
    return withSession(vi, [&](Session718 &s) {
        if (enable > 1)
            return VI_ERROR_INV_PARAMETER;
        if (channel == 0) {
            ViStatus status = VI_SUCCESS;
            for (int n = 1; n <= kEventChannels && status >= VI_SUCCESS; ++n)
                status = enableEvent(s, n, enable, false);
            return status;
        }
        return validEventChannel(channel) ? enableEvent(s, channel, enable, false) : VI_ERROR_INV_PARAMETER;
    });
}

TQ_API ViStatus tq718_getEventChannelEnable(ViSession vi, ViInt16 channel, ViBoolean *enable)
{
    return withSession(vi, [&](Session718 &s) {
        return validEventChannel(channel) ? give(enable, s.eventChannel(channel).enable) : VI_ERROR_INV_PARAMETER;
    });
}

TQ_API ViStatus tq718_setEventChannelName(ViSession vi, ViInt16 channel, ViConstString name)
{
    return withSession(vi, [&](Session718 &s) {
        return validEventChannel(channel) ? storeName(s.eventChannel(channel).head.name, name) : VI_ERROR_INV_PARAMETER;
    });
}

TQ_API ViStatus tq718_getEventChannelName(ViSession vi, ViInt16 channel, ViChar *name)
{
    return withSession(vi, [&](Session718 &s) {
        return validEventChannel(channel) ? copyName(name, s.eventChannel(channel).head.name) : VI_ERROR_INV_PARAMETER;
    });
}
