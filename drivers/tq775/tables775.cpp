#include "tables775.h"

#include <iterator>

#include "tq/driver/properties.h"
#include "tq775.h"

namespace tq775
{

namespace
{

const tq::driver::SetProperty kSet[] = {
    TQ_SET_PROPERTY(tq775, InstrumentName),
    TQ_READ_ONLY_PROPERTY(ThresholdOption),
    TQ_SET_PROPERTY(tq775, ObservationWindowSize),
    TQ_SET_PROPERTY(tq775, TickClockRate),
    TQ_SET_PROPERTY(tq775, WindowClockSource),
    TQ_SET_PROPERTY(tq775, TickClockSource),
    TQ_SET_PROPERTY(tq775, WindowClockToTriggerLineOut),
    TQ_SET_PROPERTY(tq775, TickClockToTriggerLineOut),
    TQ_SET_PROPERTY(tq775, InterruptEnable),
    TQ_SET_PROPERTY(tq775, HealthCheck),
    TQ_SET_PROPERTY(tq775, ChannelEnable),
    TQ_SET_PROPERTY(tq775, ChannelName),
    TQ_SET_PROPERTY(tq775, ChannelThreshold),
    TQ_SET_PROPERTY(tq775, ChannelFilterEnable),
    TQ_SET_PROPERTY(tq775, ChannelInterruptEnable),
    TQ_SET_PROPERTY(tq775, ChannelCoupling),
    TQ_SET_PROPERTY(tq775, ChannelInputType),
};

const tq::driver::GetProperty kGet[] = {
    TQ_GET_PROPERTY(tq775, InstrumentName),
    TQ_GET_PROPERTY(tq775, ThresholdOption),
    TQ_GET_PROPERTY(tq775, ChannelEnable),
    TQ_GET_PROPERTY(tq775, ChannelName),
    TQ_GET_PROPERTY(tq775, ChannelInterruptEnable),
};

const tq::driver::Operation kOperations[] = {
    TQ_OPERATION("reset", tq775_reset),
    TQ_OPERATION("start", tq775_start),
    TQ_OPERATION("stop", tq775_stop),
};

} // namespace

void tables(tq::driver::ModelInfo &info)
{
    info.setProperties = kSet;
    info.setPropertyCount = std::size(kSet);
    info.getProperties = kGet;
    info.getPropertyCount = std::size(kGet);
    info.operations = kOperations;
    info.operationCount = std::size(kOperations);
}

} // namespace tq775
