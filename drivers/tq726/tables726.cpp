// The model 726's tables for properties and operations by name, and the
// check of its stored configuration before a start.
#include <cmath>
#include <iterator>

#include "driver726.h"
#include "tq/driver/properties.h"
#include "tq/platform/numfmt.h"

namespace tq726
{

namespace
{

using tq::driver::PrintFormat;

const tq::driver::SetProperty kSet[] = {
    TQ_SET_PROPERTY(tq726, InstrumentName), TQ_READ_ONLY_PROPERTY(ChannelCount),
    TQ_SET_PROPERTY(tq726, OutputScanRate), TQ_SET_PROPERTY(tq726, OutputRecycleRate),
    TQ_SET_PROPERTY(tq726, ChannelEnable),  TQ_SET_PROPERTY(tq726, ChannelName),
};

// The rates are set by name only.
const tq::driver::GetProperty kGet[] = {
    TQ_GET_PROPERTY(tq726, InstrumentName),
    TQ_GET_PROPERTY(tq726, ChannelCount),
    TQ_GET_PROPERTY(tq726, ChannelEnable),
    TQ_GET_PROPERTY(tq726, ChannelName),
};

const tq::driver::Operation kOperations[] = {
    TQ_OPERATION("reset", tq726_reset),
    TQ_OPERATION("start", tq726_start),
    TQ_OPERATION("stop", tq726_stop),
};

constexpr double kMinRate = 0.5;
constexpr double kMaxRate = 1000.0; // not included

template <typename... A> ViStatus fail(ViChar *message, ViStatus status, const char *format, A... args)
{
    tq::platform::cformat(message, tq::driver::kNameLength, format, args...);
    return status;
}

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

bool validOutputRate(double rate)
{
    return rate >= kMinRate && rate < kMaxRate; // false for NaN
}

ViStatus crossCheck(Session726 &s, ViChar *message)
{
    updateLayout(s);
    TQStream *st = s.stream;
    const double rate = st->streamGetOutputRate(st);
    if (!validOutputRate(rate))
        return fail(message, VI_ERROR_SYSTEM_ERROR, "%s",
                    "Unsupported Scan Rate: must be at least 0.5 Hz and less than 1000.0 Hz");
    if (s.asyncCount.load() > 0) {
        const double recycle = st->streamGetOutputRecycleRate(st);
        if (recycle == 0.0)
            return fail(message, VI_ERROR_SYSTEM_ERROR, "%s", "Asynchronous channels require non-zero Recycle Rate");
        // The scans of one recycle period, as the refill takes them; a
        // quotient that is not a number gives none.
        if (!(std::trunc(rate / recycle) >= 1.0))
            return fail(message, VI_ERROR_SYSTEM_ERROR, "%s",
                        "Asynchronous channels require Scan Rate to be at least the Recycle Rate");
    }
    tq::driver::ChannelNameCheck names;
    for (int c = s.channelCount; c >= 1; --c) {
        if (s.channel(c).enable != 1)
            continue;
        const ViStatus status = names.check(c, s.channel(c).head.name, message);
        if (status < VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

} // namespace tq726
