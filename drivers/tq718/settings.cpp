// Session-wide settings of the model 718: clock, triggers, trigger outputs,
// I/O lines, events, calibrator; the default settings and the applying of
// every stored setting to the board.
#include <cmath>

#include "driver718.h"
#include "tq718.h"

namespace tq718
{

using tq::driver::statusLine;

namespace
{

// Fields of the I/O lines (line 1 or 2).
reg::Field inputInversion(int line)
{
    return {reg::kTriggers, 1, static_cast<ViUInt16>(21 + line)};
}
reg::Field outputInversion(int line)
{
    return {reg::kTriggerOutputs, 1, static_cast<ViUInt16>(21 + line)};
}
reg::Field inputRouteOn(int line)
{
    return {reg::kTriggers, 1, static_cast<ViUInt16>(line == 1 ? 27 : 31)};
}
reg::Field inputRouteLine(int line)
{
    return {reg::kTriggers, 7, static_cast<ViUInt16>(line == 1 ? 24 : 28)};
}
reg::Field outputRouteOn(int line)
{
    return {reg::kTriggerOutputs, 1, static_cast<ViUInt16>(line == 1 ? 27 : 31)};
}
reg::Field outputRouteLine(int line)
{
    return {reg::kTriggerOutputs, 7, static_cast<ViUInt16>(line == 1 ? 24 : 28)};
}
reg::Field outputClock(int line)
{
    return {reg::kTriggerOutputs, 1, static_cast<ViUInt16>(3 + line)};
}
reg::Field outputLimit(int line)
{
    return {reg::kTriggerOutputs, 1, static_cast<ViUInt16>(11 + line)};
}
reg::Field eventBit(int e)
{
    return {reg::kEventEnable, 1, static_cast<ViUInt16>(e - 1)};
}

bool validLine(int line)
{
    return line == 1 || line == 2;
}

double streamRate(Session718 &s)
{
    return s.stream ? s.stream->streamGetRate(s.stream) : 0.0;
}
void setStreamRate(Session718 &s, double rate)
{
    if (s.stream)
        s.stream->streamSetRate(s.stream, rate);
}

// A start or stop condition on the board (0 leaves the source field as it is:
// start arms the trigger only in triggered mode).
ViStatus setCondition(Session718 &s, const reg::Field &field, ViInt16 condition, int16_t &stored)
{
    if (onBoard(s)) {
        if (condition < 0 || condition > 11)
            return VI_ERROR_INV_PARAMETER;
        if (condition != 0) {
            ViStatus status = setField(s, field, static_cast<ViUInt32>(reg::conditionCode(condition)));
            if (status < VI_SUCCESS)
                return status;
        }
    }
    stored = condition;
    return VI_SUCCESS;
}

// The configured condition as the board's source field names it; a stored 0
// (no condition) has no code of its own and is answered as stored.
ViStatus getCondition(Session718 &s, const reg::Field &field, bool transient, int16_t &stored, ViInt16 &condition)
{
    if (onBoard(s) && stored != 0) {
        ViUInt32 code = 0;
        ViStatus status = getField(s, field, code);
        if (status < VI_SUCCESS)
            return status;
        const int c = reg::conditionOfCode(code, transient);
        if (c < 0)
            return VI_ERROR_INV_SETUP;
        stored = static_cast<int16_t>(c);
    }
    condition = stored;
    return VI_SUCCESS;
}

ViStatus setPxiLine(Session718 &s, const reg::Field &on, const reg::Field &lineField, ViInt16 line, int16_t &stored)
{
    if (onBoard(s)) {
        if (line < 0 || line > 8)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, on, line != 0);
        if (status >= VI_SUCCESS && line != 0)
            status = setField(s, lineField, static_cast<ViUInt32>(line - 1));
        if (status < VI_SUCCESS)
            return status;
    }
    stored = line;
    return VI_SUCCESS;
}

ViStatus getPxiLine(Session718 &s, const reg::Field &on, const reg::Field &lineField, int16_t &stored)
{
    if (!onBoard(s))
        return VI_SUCCESS;
    ViUInt32 bit = 0, line = 0;
    ViStatus status = getField(s, on, bit);
    if (status >= VI_SUCCESS && bit)
        status = getField(s, lineField, line);
    if (status < VI_SUCCESS)
        return status;
    stored = bit ? static_cast<int16_t>(line + 1) : 0;
    return VI_SUCCESS;
}

// One bit of the board, a value of 0 or 1 (board check).
ViStatus setBit(Session718 &s, const reg::Field &field, ViUInt16 value, uint16_t &stored)
{
    if (onBoard(s)) {
        if (value > 1)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, field, value);
        if (status < VI_SUCCESS)
            return status;
    }
    stored = value;
    return VI_SUCCESS;
}

ViStatus getBit(Session718 &s, const reg::Field &field, uint16_t &stored)
{
    if (!onBoard(s))
        return VI_SUCCESS;
    ViUInt32 bit = 0;
    ViStatus status = getField(s, field, bit);
    if (status >= VI_SUCCESS)
        stored = static_cast<uint16_t>(bit);
    return status;
}

ViStatus setInputRoute(Session718 &s, int line, ViInt16 route)
{
    if (onBoard(s)) {
        if (route < 1 || route > 9)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, inputRouteOn(line), route != 1);
        if (status >= VI_SUCCESS && route >= 2)
            status = setField(s, inputRouteLine(line), static_cast<ViUInt32>(route - 2));
        if (status < VI_SUCCESS)
            return status;
    }
    s.lines.inputRoute[line - 1] = route;
    s.lines.inputRouteSet |= 1 << (line - 1);
    return VI_SUCCESS;
}

ViStatus setOutputRoute(Session718 &s, int line, ViInt16 route)
{
    if (onBoard(s)) {
        if (route < 1 || route > 11)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, outputRouteOn(line), route >= 2 && route <= 9);
        if (status >= VI_SUCCESS)
            status = setField(s, outputClock(line), route == 10);
        if (status >= VI_SUCCESS)
            status = setField(s, outputLimit(line), route == 11);
        if (status >= VI_SUCCESS && route >= 2 && route <= 9)
            status = setField(s, outputRouteLine(line), static_cast<ViUInt32>(route - 2));
        if (status < VI_SUCCESS)
            return status;
    }
    s.lines.outputRoute[line - 1] = route;
    s.lines.outputRouteSet |= 1 << (line - 1);
    return VI_SUCCESS;
}

ViStatus setEventEnable(Session718 &s, int e, ViUInt16 enable)
{
    ViStatus status = setBit(s, eventBit(e), enable, s.lines.eventEnable[e]);
    if (status >= VI_SUCCESS)
        s.lines.eventEnableSet |= 1u << (e - 1);
    return status;
}

} // namespace

// ---- Internal setters ----------------------------------------------------------

ViStatus setInterruptEnable(Session718 &s, ViInt16 enable)
{
    ViStatus status = VI_SUCCESS;
    if (onBoard(s)) {
        status = setField(s, reg::kGlobalInterruptField, enable != 0);
        if (status >= VI_SUCCESS) {
            // The bridge passes the card's interrupt on; enabling it again
            // when the card's enable goes off does no harm.
            ViUInt32 control = 0;
            status = in32(s, reg::kInterruptControl, control, reg::kBar0);
            if (status >= VI_SUCCESS)
                status = out32(s, reg::kInterruptControl, control | reg::kInterruptControlEnable, reg::kBar0);
        }
        if (status < VI_SUCCESS)
            statusLine(s, "[%s]Failed to set interrupt enable", s.instrumentName);
    }
    if (status >= VI_SUCCESS)
        s.settings.interruptEnable = enable;
    tq::driver::traceCall(s, "setInterruptEnable", status, "%#hx", static_cast<unsigned short>(enable));
    return status;
}

ViStatus setScanClockSource(Session718 &s, ViInt16 source)
{
    if (onBoard(s)) {
        if (source < 1 || source > 12)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status;
        if (source == 1) {
            status = setField(s, reg::kClockSourceField, 0);
            if (status >= VI_SUCCESS)
                status = setField(s, reg::kExternalClock, 0);
        } else {
            status = setField(s, reg::kClockSourceField, reg::kClockSourceExternal);
            if (status >= VI_SUCCESS)
                status = setField(s, reg::kExternalClockLine, static_cast<ViUInt32>(reg::clockLineCode(source)));
            if (status >= VI_SUCCESS)
                status = setField(s, reg::kExternalClock, 1);
        }
        if (status < VI_SUCCESS) {
            statusLine(s, "[%s]Failed to set clock source", s.instrumentName);
            return status;
        }
    }
    s.settings.clockSource = source;
    return VI_SUCCESS;
}

ViStatus getClockSource(Session718 &s, ViInt16 &source)
{
    if (onBoard(s)) {
        ViUInt32 field = 0, line = 0;
        ViStatus status = getField(s, reg::kClockSourceField, field);
        if (status < VI_SUCCESS)
            return status;
        if (field == 0)
            s.settings.clockSource = 1;
        else if (field == reg::kClockSourceExternal) {
            // An external clock: the line it comes from names the source.
            status = getField(s, reg::kExternalClockLine, line);
            if (status < VI_SUCCESS)
                return status;
            const int external = reg::clockSourceOfCode(line);
            if (external < 0)
                return VI_ERROR_SYSTEM_ERROR;
            s.settings.clockSource = static_cast<int16_t>(external);
        } else
            return VI_ERROR_SYSTEM_ERROR;
    }
    source = s.settings.clockSource;
    return VI_SUCCESS;
}

ViStatus setScanClockRate(Session718 &s, ViReal64 rate)
{
    // Rates the internal clock's divider cannot give are refused while the
    // board runs on it; an external clock takes any positive rate up to the
    // board's maximum, the divider then only written where it can hold it.
    const bool belowDivider = rate < kMinInternalRate;
    if (!(rate > 0.0) || rate > kMaxRate || (belowDivider && s.settings.clockSource == 1)) {
        statusLine(s, "[%s]Failed to set clock rate", s.instrumentName);
        return VI_ERROR_INV_PARAMETER;
    }
    if (onBoard(s) && !belowDivider) {
        const auto divider = static_cast<ViUInt32>(2e7 / rate - 2);
        ViStatus status = out32(s, reg::kClockDivider, divider);
        if (status < VI_SUCCESS) {
            statusLine(s, "[%s]Failed to set clock rate", s.instrumentName);
            return status;
        }
    }
    setStreamRate(s, rate);
    return VI_SUCCESS;
}

ViStatus getScanClockRate(Session718 &s, ViReal64 &rate)
{
    // A rate below the divider's reach was never written to the board.
    if (onBoard(s) && streamRate(s) >= kMinInternalRate) {
        ViUInt32 divider = 0;
        ViStatus status = in32(s, reg::kClockDivider, divider);
        if (status < VI_SUCCESS)
            return status;
        setStreamRate(s, 2e7 / (static_cast<double>(divider) + 2.0));
    }
    rate = streamRate(s);
    return VI_SUCCESS;
}

ViStatus setStartCondition(Session718 &s, ViInt16 condition)
{
    return setCondition(s, reg::kStartSource, condition, s.settings.startCondition);
}

ViStatus setStopCondition(Session718 &s, ViInt16 condition)
{
    return setCondition(s, reg::kStopSource, condition, s.settings.stopCondition);
}

ViStatus getStartCondition(Session718 &s, ViInt16 &condition)
{
    return getCondition(s, reg::kStartSource, false, s.settings.startCondition, condition);
}

ViStatus getStopCondition(Session718 &s, ViInt16 &condition)
{
    return getCondition(s, reg::kStopSource, false, s.settings.stopCondition, condition);
}

ViStatus setTransientCondition(Session718 &s, ViInt16 condition)
{
    if (onBoard(s)) {
        if (condition < 0 || condition > 12)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, reg::kTransientEnable, condition != 0);
        if (status >= VI_SUCCESS && condition != 0)
            status = setField(s, reg::kTransientSource, static_cast<ViUInt32>(reg::conditionCode(condition)));
        if (status < VI_SUCCESS)
            return status;
    }
    s.settings.transientCondition = condition;
    return VI_SUCCESS;
}

ViStatus setTransientNumScans(Session718 &s, ViInt32 scans)
{
    if (onBoard(s)) {
        ViStatus status = out32(s, reg::kTransientScans, static_cast<ViUInt32>(scans));
        if (status < VI_SUCCESS)
            return status;
    }
    s.settings.transientScans = scans;
    return VI_SUCCESS;
}

ViStatus setTriggerMode(Session718 &s, ViInt16 mode)
{
    if (onBoard(s)) {
        if (mode != 1 && mode != 2)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, reg::kTriggerMode1, mode == 1);
        if (status < VI_SUCCESS)
            return status;
    }
    s.settings.triggerMode = mode;
    return VI_SUCCESS;
}

ViStatus setAcqMode(Session718 &s, ViInt16 mode)
{
    if (mode != 1 && mode != 2)
        return VI_ERROR_INV_PARAMETER;
    s.settings.acqMode = mode;
    return VI_SUCCESS;
}

ViStatus getAcqMode(Session718 &s, ViInt16 &mode)
{
    mode = s.settings.acqMode;
    return VI_SUCCESS;
}

ViStatus setClockToPxi(Session718 &s, ViInt16 line)
{
    return setPxiLine(s, reg::kClockToPxiOn, reg::kClockToPxiLine, line, s.settings.clockToPxi);
}

ViStatus setLimitToPxi(Session718 &s, ViInt16 line)
{
    return setPxiLine(s, reg::kLimitToPxiOn, reg::kLimitToPxiLine, line, s.settings.limitToPxi);
}

ViStatus applyLineSettings(Session718 &s)
{
    LineSettings &l = s.lines;
    ViStatus status = VI_SUCCESS;
    for (int line = 1; line <= 2 && status >= VI_SUCCESS; ++line) {
        const int bit = 1 << (line - 1);
        if (l.inputInversionSet & bit)
            status = setBit(s, inputInversion(line), l.inputInversion[line - 1], l.inputInversion[line - 1]);
        if (status >= VI_SUCCESS && (l.outputInversionSet & bit))
            status = setBit(s, outputInversion(line), l.outputInversion[line - 1], l.outputInversion[line - 1]);
        if (status >= VI_SUCCESS && (l.inputRouteSet & bit))
            status = setInputRoute(s, line, l.inputRoute[line - 1]);
        if (status >= VI_SUCCESS && (l.outputRouteSet & bit))
            status = setOutputRoute(s, line, l.outputRoute[line - 1]);
    }
    for (int e = 1; e <= kEvents && status >= VI_SUCCESS; ++e)
        if (l.eventEnableSet & (1u << (e - 1)))
            status = setEventEnable(s, e, l.eventEnable[e]);
    return status;
}

// ---- Defaults and applying -----------------------------------------------------

void setDefaults(Session718 &s)
{
    s.settings = Settings{};
    resetChannelRecords(s, !s.defaultsDone);
    s.defaultsDone = true;
    for (Demo &d : s.demo)
        d = Demo{};
    updateLowestFilter(s);
    updateLayout(s);
    setStreamRate(s, 100.0);
}

ViStatus applyAll(Session718 &s)
{
    if (s.simulated())
        return VI_ERROR_INV_SETUP;
    const Settings st = s.settings;
    ViStatus status = setInterruptEnable(s, st.interruptEnable);
    // VerboseEnable lives in the session only.
    if (status >= VI_SUCCESS)
        status = setScanClockSource(s, st.clockSource);
    if (status >= VI_SUCCESS)
        status = setScanClockRate(s, streamRate(s));
    if (status >= VI_SUCCESS)
        status = setStartCondition(s, st.startCondition);
    if (status >= VI_SUCCESS)
        status = setStopCondition(s, st.stopCondition);
    if (status >= VI_SUCCESS)
        status = setTransientCondition(s, st.transientCondition);
    if (status >= VI_SUCCESS)
        status = setTransientNumScans(s, st.transientScans);
    if (status >= VI_SUCCESS)
        status = setTriggerMode(s, st.triggerMode);
    if (status >= VI_SUCCESS)
        status = setAcqMode(s, st.acqMode);
    if (status >= VI_SUCCESS)
        status = setClockToPxi(s, st.clockToPxi);
    if (status >= VI_SUCCESS)
        status = setLimitToPxi(s, st.limitToPxi);
    if (status >= VI_SUCCESS)
        status = applyLineSettings(s);
    for (int c = 1; c <= s.analogCount && status >= VI_SUCCESS; ++c) {
        const AnalogChannel ch = s.channel(c);
        status = setLimitLevel(s, c, false, ch.limitLow);
        if (status >= VI_SUCCESS)
            status = setLimitLevel(s, c, true, ch.limitHigh);
        // Written whether or not it changed: the board's scan layout must
        // match the stream's (the channel bit, its excitation, its balance DAC).
        if (status >= VI_SUCCESS)
            status = enableAnalog(s, c, ch.enable, true);
        if (status >= VI_SUCCESS)
            status = setInputRange(s, c, ch.range);
        if (status >= VI_SUCCESS)
            status = setLimitMode(s, c, ch.limitMode);
        if (status >= VI_SUCCESS)
            status = setExcitationType(s, c, ch.excitationType);
        if (status >= VI_SUCCESS)
            status = setExcitation(s, c, ch.excitation);
        if (status >= VI_SUCCESS)
            status = setFilter(s, c, ch.filter);
        if (status >= VI_SUCCESS)
            status = setSensorType(s, c, ch.sensorType);
        if (status >= VI_SUCCESS)
            status = setBridgeConfiguration(s, c, ch.bridgeConfiguration);
        if (status >= VI_SUCCESS)
            status = setMux(s, c, ch.mux);
        if (status >= VI_SUCCESS)
            status = setBufferSource(s, c, ch.bufferSource);
        if (status >= VI_SUCCESS)
            status = setSense(s, c, ch.sense);
    }
    if (status >= VI_SUCCESS)
        status = writeEventWord(s);
    return status;
}

} // namespace tq718

// ---- Exports -----------------------------------------------------------------------

using namespace tq718;

TQ_API ViStatus tq718_setInterruptEnable(ViSession vi, ViInt16 enable)
{
    return withSession(vi, [&](Session718 &s) { return setInterruptEnable(s, enable); });
}

TQ_API ViStatus tq718_getInterruptEnable(ViSession vi, ViInt16 *enable)
{
    return withSession(vi, [&](Session718 &s) {
        if (onBoard(s)) {
            ViUInt32 bit = 0;
            ViStatus status = getField(s, reg::kGlobalInterruptField, bit);
            if (status < VI_SUCCESS)
                return status;
            s.settings.interruptEnable = static_cast<int16_t>(bit);
        }
        return give(enable, s.settings.interruptEnable);
    });
}

TQ_API ViStatus tq718_setScanClockSource(ViSession vi, ViInt16 source)
{
    return withSession(vi, [&](Session718 &s) { return setScanClockSource(s, source); });
}

TQ_API ViStatus tq718_getScanClockSource(ViSession vi, ViInt16 *source)
{
    return withSession(vi, [&](Session718 &s) {
        ViInt16 v = 0;
        ViStatus status = getClockSource(s, v);
        return status < VI_SUCCESS ? status : give(source, v);
    });
}

TQ_API ViStatus tq718_setScanClockRate(ViSession vi, ViReal64 rate)
{
    return withSession(vi, [&](Session718 &s) { return setScanClockRate(s, rate); });
}

TQ_API ViStatus tq718_getScanClockRate(ViSession vi, ViReal64 *rate)
{
    return withSession(vi, [&](Session718 &s) {
        ViReal64 v = 0;
        ViStatus status = getScanClockRate(s, v);
        return status < VI_SUCCESS ? status : give(rate, v);
    });
}

TQ_API ViStatus tq718_setScanClock(ViSession vi, ViInt16 source, ViReal64 rate)
{
    return withSession(vi, [&](Session718 &s) {
        ViStatus status = VI_ERROR_INV_PARAMETER;
        if (source != 1 || rate >= kMinInternalRate) {
            status = setScanClockSource(s, source);
            if (status >= VI_SUCCESS)
                status = setScanClockRate(s, rate);
        }
        if (status < VI_SUCCESS)
            statusLine(s, "[%s]Failed set scan clock", s.instrumentName);
        return status;
    });
}

TQ_API ViStatus tq718_getScanClock(ViSession vi, ViInt16 *source, ViReal64 *rate)
{
    return withSession(vi, [&](Session718 &s) {
        ViInt16 src = 0;
        ViReal64 r = 0;
        ViStatus status = VI_SUCCESS;
        if (source) {
            status = getClockSource(s, src);
            if (status < VI_SUCCESS)
                return status;
            *source = src;
        }
        status = getScanClockRate(s, r);
        return status < VI_SUCCESS ? status : give(rate, r);
    });
}

TQ_API ViStatus tq718_setRefreshRate(ViSession vi, ViInt16 rate)
{
    return withSession(vi, [&](Session718 &s) {
        // The ring's segment size and count are derived from it; zero or
        // less would give no ring at all.
        if (rate <= 0)
            return VI_ERROR_INV_PARAMETER;
        s.settings.refreshRate = rate;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getRefreshRate(ViSession vi, ViInt16 *rate)
{
    return withSession(vi, [&](Session718 &s) { return give(rate, s.settings.refreshRate); });
}

TQ_API ViStatus tq718_setBufferDuration(ViSession vi, ViInt16 seconds)
{
    return withSession(vi, [&](Session718 &s) {
        if (seconds <= 0)
            return VI_ERROR_INV_PARAMETER;
        s.settings.bufferDuration = seconds;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getBufferDuration(ViSession vi, ViInt16 *seconds)
{
    return withSession(vi, [&](Session718 &s) { return give(seconds, s.settings.bufferDuration); });
}

TQ_API ViStatus tq718_setStartCondition(ViSession vi, ViInt16 condition)
{
    return withSession(vi, [&](Session718 &s) { return setStartCondition(s, condition); });
}

TQ_API ViStatus tq718_getStartCondition(ViSession vi, ViInt16 *condition)
{
    return withSession(vi, [&](Session718 &s) {
        ViInt16 v = 0;
        ViStatus status = getStartCondition(s, v);
        return status < VI_SUCCESS ? status : give(condition, v);
    });
}

TQ_API ViStatus tq718_setStopCondition(ViSession vi, ViInt16 condition)
{
    return withSession(vi, [&](Session718 &s) { return setStopCondition(s, condition); });
}

TQ_API ViStatus tq718_getStopCondition(ViSession vi, ViInt16 *condition)
{
    return withSession(vi, [&](Session718 &s) {
        ViInt16 v = 0;
        ViStatus status = getStopCondition(s, v);
        return status < VI_SUCCESS ? status : give(condition, v);
    });
}

TQ_API ViStatus tq718_setTransientCondition(ViSession vi, ViInt16 condition)
{
    return withSession(vi, [&](Session718 &s) { return setTransientCondition(s, condition); });
}

TQ_API ViStatus tq718_getTransientCondition(ViSession vi, ViInt16 *condition)
{
    return withSession(vi, [&](Session718 &s) {
        ViInt16 v = 0;
        ViStatus status = getCondition(s, reg::kTransientSource, true, s.settings.transientCondition, v);
        return status < VI_SUCCESS ? status : give(condition, v);
    });
}

TQ_API ViStatus tq718_setTransientNumScans(ViSession vi, ViInt32 scans)
{
    return withSession(vi, [&](Session718 &s) { return setTransientNumScans(s, scans); });
}

TQ_API ViStatus tq718_getTransientNumScans(ViSession vi, ViInt32 *scans)
{
    return withSession(vi, [&](Session718 &s) {
        if (onBoard(s)) {
            ViUInt32 v = 0;
            ViStatus status = in32(s, reg::kTransientScans, v);
            if (status < VI_SUCCESS)
                return status;
            s.settings.transientScans = static_cast<int32_t>(v);
        }
        return give(scans, s.settings.transientScans);
    });
}

TQ_API ViStatus tq718_setTriggerMode(ViSession vi, ViInt16 mode)
{
    return withSession(vi, [&](Session718 &s) { return setTriggerMode(s, mode); });
}

TQ_API ViStatus tq718_getTriggerMode(ViSession vi, ViInt16 *mode)
{
    return withSession(vi, [&](Session718 &s) {
        if (onBoard(s)) {
            ViUInt32 bit = 0;
            ViStatus status = getField(s, reg::kTriggerMode1, bit);
            if (status < VI_SUCCESS)
                return status;
            s.settings.triggerMode = bit ? 1 : 2;
        }
        return give(mode, s.settings.triggerMode);
    });
}

TQ_API ViStatus tq718_setAcqMode(ViSession vi, ViInt16 mode)
{
    return withSession(vi, [&](Session718 &s) { return setAcqMode(s, mode); });
}

TQ_API ViStatus tq718_getAcqMode(ViSession vi, ViInt16 *mode)
{
    return withSession(vi, [&](Session718 &s) { return give(mode, s.settings.acqMode); });
}

TQ_API ViStatus tq718_setTransformType(ViSession vi, ViInt16 type)
{
    return withSession(vi, [&](Session718 &s) {
        if (type < 1 || type > 3)
            return VI_ERROR_INV_PARAMETER;
        s.settings.transformType = type;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getTransformType(ViSession vi, ViInt16 *type)
{
    return withSession(vi, [&](Session718 &s) { return give(type, s.settings.transformType); });
}

TQ_API ViStatus tq718_setScanClockToPXILine(ViSession vi, ViInt16 line)
{
    return withSession(vi, [&](Session718 &s) { return setClockToPxi(s, line); });
}

TQ_API ViStatus tq718_getScanClockToPXILine(ViSession vi, ViInt16 *line)
{
    return withSession(vi, [&](Session718 &s) {
        ViStatus status = getPxiLine(s, reg::kClockToPxiOn, reg::kClockToPxiLine, s.settings.clockToPxi);
        return status < VI_SUCCESS ? status : give(line, s.settings.clockToPxi);
    });
}

TQ_API ViStatus tq718_setLimitViolationToPXILine(ViSession vi, ViInt16 line)
{
    return withSession(vi, [&](Session718 &s) { return setLimitToPxi(s, line); });
}

TQ_API ViStatus tq718_getLimitViolationToPXILine(ViSession vi, ViInt16 *line)
{
    return withSession(vi, [&](Session718 &s) {
        ViStatus status = getPxiLine(s, reg::kLimitToPxiOn, reg::kLimitToPxiLine, s.settings.limitToPxi);
        return status < VI_SUCCESS ? status : give(line, s.settings.limitToPxi);
    });
}

TQ_API ViStatus tq718_setVerboseEnable(ViSession vi, ViBoolean enable)
{
    return withSession(vi, [&](Session718 &s) {
        s.settings.verbose = enable;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getVerboseEnable(ViSession vi, ViBoolean *enable)
{
    return withSession(vi, [&](Session718 &s) { return give(enable, s.settings.verbose); });
}

TQ_API ViStatus tq718_setIOInputInversion(ViSession vi, ViInt16 line, ViBoolean invert)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validLine(line))
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setBit(s, inputInversion(line), invert, s.lines.inputInversion[line - 1]);
        if (status >= VI_SUCCESS)
            s.lines.inputInversionSet |= 1 << (line - 1);
        return status;
    });
}

TQ_API ViStatus tq718_getIOInputInversion(ViSession vi, ViInt16 line, ViBoolean *invert)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validLine(line))
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = getBit(s, inputInversion(line), s.lines.inputInversion[line - 1]);
        return status < VI_SUCCESS ? status : give(invert, s.lines.inputInversion[line - 1]);
    });
}

TQ_API ViStatus tq718_setIOOutputInversion(ViSession vi, ViInt16 line, ViBoolean invert)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validLine(line))
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setBit(s, outputInversion(line), invert, s.lines.outputInversion[line - 1]);
        if (status >= VI_SUCCESS)
            s.lines.outputInversionSet |= 1 << (line - 1);
        return status;
    });
}

TQ_API ViStatus tq718_getIOOutputInversion(ViSession vi, ViInt16 line, ViBoolean *invert)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validLine(line))
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = getBit(s, outputInversion(line), s.lines.outputInversion[line - 1]);
        return status < VI_SUCCESS ? status : give(invert, s.lines.outputInversion[line - 1]);
    });
}

TQ_API ViStatus tq718_setIOInputRoute(ViSession vi, ViInt16 line, ViInt16 route)
{
    return withSession(
        vi, [&](Session718 &s) { return validLine(line) ? setInputRoute(s, line, route) : VI_ERROR_INV_PARAMETER; });
}

TQ_API ViStatus tq718_getIOInputRoute(ViSession vi, ViInt16 line, ViInt16 *route)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validLine(line))
            return VI_ERROR_INV_PARAMETER;
        if (onBoard(s)) {
            ViUInt32 on = 0, field = 0;
            ViStatus status = getField(s, inputRouteOn(line), on);
            if (status >= VI_SUCCESS && on)
                status = getField(s, inputRouteLine(line), field);
            if (status < VI_SUCCESS)
                return status;
            s.lines.inputRoute[line - 1] = on ? static_cast<int16_t>(field + 2) : 1;
        }
        return give(route, s.lines.inputRoute[line - 1]);
    });
}

TQ_API ViStatus tq718_setIOOutputRoute(ViSession vi, ViInt16 line, ViInt16 route)
{
    return withSession(
        vi, [&](Session718 &s) { return validLine(line) ? setOutputRoute(s, line, route) : VI_ERROR_INV_PARAMETER; });
}

TQ_API ViStatus tq718_getIOOutputRoute(ViSession vi, ViInt16 line, ViInt16 *route)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validLine(line))
            return VI_ERROR_INV_PARAMETER;
        if (onBoard(s)) {
            ViUInt32 outputs = 0;
            ViStatus status = in32(s, reg::kTriggerOutputs, outputs);
            if (status < VI_SUCCESS)
                return status;
            auto bit = [&](const reg::Field &f) { return (outputs >> f.shift) & f.mask; };
            int16_t v = 1;
            if (bit(outputRouteOn(line)))
                v = static_cast<int16_t>(bit(outputRouteLine(line)) + 2);
            else if (bit(outputClock(line)))
                v = 10;
            else if (bit(outputLimit(line)))
                v = 11;
            s.lines.outputRoute[line - 1] = v;
        }
        return give(route, s.lines.outputRoute[line - 1]);
    });
}

TQ_API ViStatus tq718_setEventEnable(ViSession vi, ViInt16 event, ViBoolean enable)
{
    return withSession(vi, [&](Session718 &s) {
        return validEvent(event) ? setEventEnable(s, event, enable) : VI_ERROR_INV_PARAMETER;
    });
}

TQ_API ViStatus tq718_getEventEnable(ViSession vi, ViInt16 event, ViBoolean *enable)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validEvent(event))
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = getBit(s, eventBit(event), s.lines.eventEnable[event]);
        return status < VI_SUCCESS ? status : give(enable, s.lines.eventEnable[event]);
    });
}

TQ_API ViStatus tq718_setEventEnableMask(ViSession vi, ViUInt32 mask)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 enable = 0;
        ViStatus status = in32(s, reg::kEventEnable, enable);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kEventEnable, enable | (mask & ~reg::kGlobalInterruptEnable));
        return status;
    });
}

TQ_API ViStatus tq718_setEventDisableMask(ViSession vi, ViUInt32 mask)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 enable = 0;
        ViStatus status = in32(s, reg::kEventEnable, enable);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kEventEnable, enable & ~(mask & ~reg::kGlobalInterruptEnable));
        return status;
    });
}

TQ_API ViStatus tq718_getEventEnableMask(ViSession vi, ViUInt32 *mask)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 v = 0;
        ViStatus status = in32(s, reg::kEventEnable, v);
        return status < VI_SUCCESS ? status : give(mask, v);
    });
}

TQ_API ViStatus tq718_setCalibratorVoltage(ViSession vi, ViInt16 setting)
{
    return withSession(vi, [&](Session718 &s) {
        if (setting < 0 || setting > 26)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, reg::kCalibratorVoltage, reg::calibratorCode(setting));
        if (status >= VI_SUCCESS)
            s.calibratorVoltage = setting;
        return status;
    });
}

TQ_API ViStatus tq718_getCalibratorVoltage(ViSession vi, ViInt16 *setting)
{
    return withSession(vi, [&](Session718 &s) { return give(setting, s.calibratorVoltage); });
}

TQ_API ViStatus tq718_setCalibrationSource(ViSession vi, ViInt16 source)
{
    return withSession(vi, [&](Session718 &s) {
        if (source < 0 || source > 2)
            return VI_ERROR_INV_PARAMETER;
        ViStatus status = setField(s, reg::kCalibrationSource, reg::calibrationSourceCode(source));
        if (status >= VI_SUCCESS)
            s.calibrationSource = source;
        return status;
    });
}

TQ_API ViStatus tq718_getCalibrationSource(ViSession vi, ViInt16 *source)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 code = 0;
        ViStatus status = getField(s, reg::kCalibrationSource, code);
        if (status < VI_SUCCESS)
            return status;
        const int v = reg::calibrationSourceOfCode(code);
        if (v < 0)
            return VI_ERROR_INV_PARAMETER;
        s.calibrationSource = static_cast<int16_t>(v);
        return give(source, s.calibrationSource);
    });
}

TQ_API ViStatus tq718_getAnalogChannelLimitCheckChannels(ViSession vi, ViUInt32 *channels, ViUInt32 clearMask)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 v = 0;
        ViStatus status = in32(s, reg::kLimitViolations, v);
        if (status < VI_SUCCESS)
            return status;
        if (channels)
            *channels = v;
        if (clearMask != 0)
            status = out32(s, reg::kLimitViolations, clearMask);
        return status;
    });
}

TQ_API ViStatus tq718_getAnalogChannelExcAlmChannels(ViSession vi, ViUInt32 *channels)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 v = 0;
        ViStatus status = in32(s, reg::kExcitationAlarms, v);
        return status < VI_SUCCESS ? status : give(channels, v);
    });
}

TQ_API ViStatus tq718_getEventSource(ViSession vi, ViUInt32 *status, ViUInt32 clearMask)
{
    return withSession(vi, [&](Session718 &s) {
        ViUInt32 v = 0;
        ViStatus result = in32(s, reg::kEventStatus, v);
        if (result < VI_SUCCESS)
            return result;
        if (status)
            *status = v;
        return out32(s, reg::kEventStatus, clearMask);
    });
}
