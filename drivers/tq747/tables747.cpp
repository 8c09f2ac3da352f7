#include "tables747.h"

#include <iterator>

#include "tq/driver/properties.h"
#include "tq747.h"

namespace tq747
{

namespace
{

ViStatus powerupSave(ViSession vi)
{
    return tq747_autoRst(vi, 1);
}
ViStatus powerupClear(ViSession vi)
{
    return tq747_autoRst(vi, 0);
}

const tq::driver::SetProperty kSet[] = {
    TQ_SET_PROPERTY(tq747, InstrumentName),
    TQ_SET_PROPERTY(tq747, InterruptEnable),
    TQ_SET_PROPERTY(tq747, ScanClockRate),
    TQ_SET_PROPERTY(tq747, RefreshRate),
    TQ_SET_PROPERTY(tq747, RecycleRate),
    TQ_SET_PROPERTY(tq747, BufferDuration),
    TQ_SET_PROPERTY(tq747, ChannelGroupDebounceTime),
    TQ_SET_PROPERTY(tq747, ChannelGroupDirection),
    TQ_SET_PROPERTY(tq747, ChannelGroupPowerupOutput),
    TQ_SET_PROPERTY(tq747, ChannelGroupInputTermination),
    TQ_SET_PROPERTY(tq747, ChannelGroupStrobeDelay),
    TQ_SET_PROPERTY(tq747, ChannelGroupStrobeEnable),
    TQ_SET_PROPERTY(tq747, ChannelGroupStrobePolarity),
    TQ_SET_PROPERTY(tq747, ChannelGroupStrobeChannel),
    TQ_SET_PROPERTY(tq747, DigitalChannelEnable),
    TQ_SET_PROPERTY(tq747, DigitalChannelName),
    TQ_SET_PROPERTY(tq747, DigitalChannelChangeOfStateEnable),
    TQ_SET_PROPERTY(tq747, DigitalChannelPatternEnable),
    TQ_SET_PROPERTY(tq747, DigitalChannelPatternBit),
    TQ_SET_PROPERTY(tq747, DemoDigitalChannelFrequency),
    TQ_SET_PROPERTY(tq747, DemoDigitalChannelDutyCycle),
    TQ_SET_PROPERTY(tq747, DemoDigitalChannelOffset),
    TQ_SET_PROPERTY(tq747, EventEnable),
    TQ_SET_PROPERTY(tq747, EventChannelEnable),
    TQ_SET_PROPERTY(tq747, EventChannelName),
    TQ_SET_PROPERTY(tq747, EventChannelDuration),
    TQ_SET_PROPERTY(tq747, EventChannelPolarity),
};

const tq::driver::GetProperty kGet[] = {
    TQ_GET_PROPERTY(tq747, InstrumentName),
    TQ_GET_PROPERTY(tq747, ScanClockRate),
    TQ_GET_PROPERTY(tq747, RefreshRate),
    TQ_GET_PROPERTY(tq747, BufferDuration),
    TQ_GET_PROPERTY(tq747, DigitalChannelEnable),
    TQ_GET_PROPERTY(tq747, DigitalChannelName),
    TQ_GET_PROPERTY(tq747, DigitalChannelDirection),
    TQ_GET_PROPERTY(tq747, DemoDigitalChannelFrequency),
    TQ_GET_PROPERTY(tq747, DemoDigitalChannelDutyCycle),
    TQ_GET_PROPERTY(tq747, DemoDigitalChannelOffset),
    TQ_GET_PROPERTY(tq747, EventChannelEnable),
    TQ_GET_PROPERTY(tq747, EventChannelName),
    TQ_GET_PROPERTY(tq747, EventChannelDuration),
    TQ_GET_PROPERTY(tq747, EventChannelPolarity),
};

const tq::driver::Operation kOperations[] = {
    TQ_OPERATION("reset", tq747_reset),
    TQ_OPERATION("start", tq747_start),
    TQ_OPERATION("stop", tq747_stop),
    TQ_OPERATION("powerupSave", powerupSave),
    TQ_OPERATION("powerupClear", powerupClear),
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

} // namespace tq747
