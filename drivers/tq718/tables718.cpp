// The model 718's tables for properties and operations by name, and the
// check of its stored configuration before a start.
#include "tables718.h"

#include <iterator>

#include "driver718.h"
#include "tq/driver/properties.h"
#include "tq/platform/numfmt.h"
#include "tq718.h"

namespace tq718
{

namespace
{

using tq::driver::PrintFormat;

const tq::driver::SetProperty kSet[] = {
    TQ_SET_PROPERTY(tq718, InstrumentName),
    TQ_READ_ONLY_PROPERTY(AnalogChannelCount),
    TQ_READ_ONLY_PROPERTY(FilterReady),
    TQ_READ_ONLY_PROPERTY(FilterOption),
    TQ_READ_ONLY_PROPERTY(FilterType),
    TQ_SET_PROPERTY(tq718, InterruptEnable),
    TQ_SET_PROPERTY(tq718, ScanClockSource),
    TQ_SET_PROPERTY(tq718, ScanClockRate),
    TQ_SET_PROPERTY(tq718, RefreshRate),
    TQ_SET_PROPERTY(tq718, BufferDuration),
    TQ_SET_PROPERTY(tq718, StartCondition),
    TQ_SET_PROPERTY(tq718, StopCondition),
    TQ_SET_PROPERTY(tq718, TransientCondition),
    TQ_SET_PROPERTY(tq718, TransientNumScans),
    TQ_SET_PROPERTY(tq718, TriggerMode),
    TQ_SET_PROPERTY(tq718, AcqMode),
    TQ_SET_PROPERTY(tq718, TransformType),
    TQ_SET_PROPERTY(tq718, ScanClockToPXILine),
    TQ_SET_PROPERTY(tq718, LimitViolationToPXILine),
    TQ_SET_PROPERTY(tq718, VerboseEnable),
    TQ_SET_PROPERTY(tq718, IOInputInversion),
    TQ_SET_PROPERTY(tq718, IOInputRoute),
    TQ_SET_PROPERTY(tq718, IOOutputInversion),
    TQ_SET_PROPERTY(tq718, IOOutputRoute),
    TQ_SET_PROPERTY(tq718, AnalogChannelEnable),
    TQ_SET_PROPERTY(tq718, AnalogChannelName),
    TQ_SET_PROPERTY(tq718, AnalogChannelInputVoltageRange),
    TQ_SET_PROPERTY(tq718, AnalogChannelBufferSource),
    TQ_SET_PROPERTY(tq718, AnalogChannelLimitCheckMode),
    TQ_SET_PROPERTY(tq718, AnalogChannelLimitCheckMinLvl),
    TQ_SET_PROPERTY(tq718, AnalogChannelLimitCheckMaxSlope),
    TQ_SET_PROPERTY(tq718, AnalogChannelSensorType),
    TQ_SET_PROPERTY(tq718, AnalogChannelFilter),
    TQ_SET_PROPERTY(tq718, AnalogChannelExcitation),
    TQ_SET_PROPERTY(tq718, AnalogChannelExcitationType),
    TQ_SET_PROPERTY(tq718, AnalogChannelSense),
    TQ_SET_PROPERTY(tq718, AnalogChannelBridgeConfiguration),
    TQ_SET_PROPERTY(tq718, AnalogChannelBridgeBalanceEnable),
    TQ_SET_PROPERTY(tq718, AnalogChannelShuntCalPolarity),
    TQ_SET_PROPERTY(tq718, AnalogChannelPositiveShuntedPcnt),
    TQ_SET_PROPERTY(tq718, AnalogChannelNegativeShuntedPcnt),
    TQ_SET_PROPERTY(tq718, DemoAnalogChannelType),
    TQ_SET_PROPERTY(tq718, DemoAnalogChannelScale),
    TQ_SET_PROPERTY(tq718, DemoAnalogChannelOffset),
    TQ_SET_PROPERTY(tq718, DemoAnalogChannelNoise),
    TQ_SET_PROPERTY(tq718, EventEnable),
    TQ_SET_PROPERTY(tq718, EventChannelEnable),
    TQ_SET_PROPERTY(tq718, EventChannelName),
};

// InterruptEnable and DemoAnalogChannelNoise are set by name only;
// AnalogChannelConnector is read by name only.
const tq::driver::GetProperty kGet[] = {
    TQ_GET_PROPERTY(tq718, InstrumentName),
    TQ_GET_PROPERTY(tq718, AnalogChannelCount),
    TQ_GET_PROPERTY(tq718, FilterOption),
    TQ_GET_PROPERTY(tq718, FilterType),
    TQ_GET_PROPERTY(tq718, ScanClockSource),
    TQ_GET_PROPERTY(tq718, RefreshRate),
    TQ_GET_PROPERTY(tq718, BufferDuration),
    TQ_GET_PROPERTY(tq718, StartCondition),
    TQ_GET_PROPERTY(tq718, StopCondition),
    TQ_GET_PROPERTY(tq718, TransientCondition),
    TQ_GET_PROPERTY(tq718, TriggerMode),
    TQ_GET_PROPERTY(tq718, AcqMode),
    TQ_GET_PROPERTY(tq718, TransformType),
    TQ_GET_PROPERTY(tq718, ScanClockToPXILine),
    TQ_GET_PROPERTY(tq718, LimitViolationToPXILine),
    TQ_GET_PROPERTY(tq718, FilterReady, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, VerboseEnable, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, ScanClockRate),
    TQ_GET_PROPERTY(tq718, TransientNumScans),
    TQ_GET_PROPERTY(tq718, IOInputInversion, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, IOOutputInversion, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, AnalogChannelEnable, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, AnalogChannelBridgeBalanceEnable, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, EventEnable, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, EventChannelEnable, PrintFormat::Unsigned16),
    TQ_GET_PROPERTY(tq718, IOInputRoute),
    TQ_GET_PROPERTY(tq718, IOOutputRoute),
    TQ_GET_PROPERTY(tq718, AnalogChannelInputVoltageRange),
    TQ_GET_PROPERTY(tq718, AnalogChannelBufferSource),
    TQ_GET_PROPERTY(tq718, AnalogChannelLimitCheckMode),
    TQ_GET_PROPERTY(tq718, AnalogChannelSensorType),
    TQ_GET_PROPERTY(tq718, AnalogChannelFilter),
    TQ_GET_PROPERTY(tq718, AnalogChannelExcitationType),
    TQ_GET_PROPERTY(tq718, AnalogChannelSense),
    TQ_GET_PROPERTY(tq718, AnalogChannelConnector),
    TQ_GET_PROPERTY(tq718, AnalogChannelBridgeConfiguration),
    TQ_GET_PROPERTY(tq718, AnalogChannelShuntCalPolarity),
    TQ_GET_PROPERTY(tq718, DemoAnalogChannelType),
    TQ_GET_PROPERTY(tq718, AnalogChannelLimitCheckMinLvl),
    TQ_GET_PROPERTY(tq718, AnalogChannelLimitCheckMaxSlope),
    TQ_GET_PROPERTY(tq718, AnalogChannelExcitation),
    TQ_GET_PROPERTY(tq718, AnalogChannelPositiveShuntedPcnt),
    TQ_GET_PROPERTY(tq718, AnalogChannelNegativeShuntedPcnt),
    TQ_GET_PROPERTY(tq718, DemoAnalogChannelScale),
    TQ_GET_PROPERTY(tq718, DemoAnalogChannelOffset),
    TQ_GET_PROPERTY(tq718, AnalogChannelName),
    TQ_GET_PROPERTY(tq718, EventChannelName),
};

const tq::driver::Operation kOperations[] = {
    TQ_OPERATION("reset", tq718_reset),
    TQ_OPERATION("start", tq718_start),
    TQ_OPERATION("stop", tq718_stop),
    TQ_OPERATION("calibrate", tq718_calibrate),
};

} // namespace

void fillTables(tq::driver::ModelInfo &info)
{
    info.setProperties = kSet;
    info.setPropertyCount = std::size(kSet);
    info.getProperties = kGet;
    info.getPropertyCount = std::size(kGet);
    info.operations = kOperations;
    info.operationCount = std::size(kOperations);
}

// ---- crossCheck ----------------------------------------------------------------

namespace
{

template <typename... A> ViStatus fail(ViChar *message, ViStatus status, const char *format, A... args)
{
    tq::platform::cformat(message, tq::driver::kNameLength, format, args...);
    return status;
}

// One enabled analog channel: name, limit levels against the input range,
// filter against what the board allows.
ViStatus checkAnalog(Session718 &s, int c, tq::driver::ChannelNameCheck &names, ViChar *message)
{
    if (c > s.analogCount)
        return fail(message, VI_ERROR_SYSTEM_ERROR, "Channel %d not supported on this resource", c);
    ViStatus status = names.check(c, s.channel(c).head.name, message);
    if (status < VI_SUCCESS)
        return status;
    ViInt16 mode = 0, range = 0, filter = 0;
    if ((status = getLimitMode(s, c, mode)) < VI_SUCCESS)
        return status;
    if (mode == 2) {
        double low = 0, high = 0;
        if ((status = getLimitLevel(s, c, true, high)) < VI_SUCCESS ||
            (status = getLimitLevel(s, c, false, low)) < VI_SUCCESS ||
            (status = getInputRange(s, c, range)) < VI_SUCCESS)
            return status;
        const double full = reg::fullScale(range);
        if (!(high > low))
            return fail(message, VI_ERROR_SYSTEM_ERROR, "Channel %d limit check max (%lf) does not exceed min (%lf)", c,
                        high, low);
        if (high > full)
            return fail(message, VI_ERROR_SYSTEM_ERROR, "Channel %d limit check max (%lf) out of input range", c, high);
        if (low < -full)
            return fail(message, VI_ERROR_SYSTEM_ERROR, "Channel %d limit check min (%lf) out of input range", c, low);
    }
    if ((status = getFilter(s, c, filter)) < VI_SUCCESS)
        return status;
    if (s.options.filterOption == 0) {
        if (filter != kNoFiltering)
            return fail(message, VI_ERROR_SYSTEM_ERROR, "Channel %d: filtering not supported on this model", c);
        return VI_SUCCESS;
    }
    ViInt16 allowed[9];
    const int n = supportedFilters(s, allowed);
    for (int i = 0; i < n; ++i)
        if (allowed[i] == filter)
            return VI_SUCCESS;
    return fail(message, VI_ERROR_SYSTEM_ERROR, "Channel %d filter setting %s not supported on this model", c,
                reg::filterName(filter));
}

} // namespace

ViStatus crossCheck(Session718 &s, ViChar *message)
{
    ViInt16 source = 0;
    ViReal64 rate = 0;
    ViStatus status = getClockSource(s, source);
    if (status >= VI_SUCCESS && source == 1)
        status = getScanClockRate(s, rate);
    if (status < VI_SUCCESS)
        return status;
    if (source == 1 && rate < kMinInternalRate)
        return fail(message, VI_ERROR_SYSTEM_ERROR, "%s", "Unsupported clock rate for internal clock: too low");

    tq::driver::ChannelNameCheck names;
    for (int c = kAnalogChannels; c >= 1; --c) {
        if (!s.channel(c).enable)
            continue;
        if ((status = checkAnalog(s, c, names, message)) < VI_SUCCESS)
            return status;
    }
    for (int n = kEventChannels; n >= 1; --n) {
        if (!s.eventChannel(n).enable)
            continue;
        if ((status = names.check(n, s.eventChannel(n).head.name, message)) < VI_SUCCESS)
            return status;
    }

    ViInt16 acqMode = 0, start = 0, stop = 0;
    if ((status = getAcqMode(s, acqMode)) < VI_SUCCESS)
        return status;
    if (acqMode == 2) {
        if ((status = getStartCondition(s, start)) < VI_SUCCESS)
            return status;
        if (start == 0)
            return fail(message, VI_ERROR_SYSTEM_ERROR, "%s",
                        "ACQ Mode set to Triggered, but start condition disabled.");
        if ((status = getStopCondition(s, stop)) < VI_SUCCESS)
            return status;
        if (stop == 0)
            return fail(message, VI_ERROR_SYSTEM_ERROR, "%s",
                        "ACQ Mode set to Triggered, but stop condition disabled.");
    }
    return status;
}

} // namespace tq718
