#include "tables740.h"

#include <iterator>

#include "tq/driver/properties.h"
#include "tq740.h"

namespace tq740
{

namespace
{

ViStatus powerupSave(ViSession vi)
{
    return tq740_autoRst(vi, 1);
}
ViStatus powerupClear(ViSession vi)
{
    return tq740_autoRst(vi, 0);
}

const tq::driver::SetProperty kSet[] = {
    TQ_SET_PROPERTY(tq740, InstrumentName),
    TQ_SET_PROPERTY(tq740, InterruptEnable),
    TQ_SET_PROPERTY(tq740, ChannelGroupDebounceTime),
    TQ_SET_PROPERTY(tq740, ChannelGroupDirection),
    TQ_SET_PROPERTY(tq740, ChannelGroupPowerupOutput),
    TQ_SET_PROPERTY(tq740, ChannelGroupInputTermination),
    TQ_SET_PROPERTY(tq740, DigitalChannelEnable),
    TQ_SET_PROPERTY(tq740, DigitalChannelName),
    TQ_SET_PROPERTY(tq740, DigitalChannelChangeOfStateEnable),
    TQ_SET_PROPERTY(tq740, DigitalChannelPatternEnable),
    TQ_SET_PROPERTY(tq740, DigitalChannelPatternBit),
    TQ_SET_PROPERTY(tq740, EventEnable),
    TQ_SET_PROPERTY(tq740, EventChannelEnable),
    TQ_SET_PROPERTY(tq740, EventChannelName),
    TQ_SET_PROPERTY(tq740, EventChannelDuration),
    TQ_SET_PROPERTY(tq740, EventChannelPolarity),
};

const tq::driver::GetProperty kGet[] = {
    TQ_GET_PROPERTY(tq740, InstrumentName),
    TQ_GET_PROPERTY(tq740, DigitalChannelEnable),
    TQ_GET_PROPERTY(tq740, DigitalChannelName),
    TQ_GET_PROPERTY(tq740, DigitalChannelDirection),
    TQ_GET_PROPERTY(tq740, EventChannelEnable),
    TQ_GET_PROPERTY(tq740, EventChannelName),
    TQ_GET_PROPERTY(tq740, EventChannelDuration),
    TQ_GET_PROPERTY(tq740, EventChannelPolarity),
};

const tq::driver::Operation kOperations[] = {
    TQ_OPERATION("reset", tq740_reset),
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

} // namespace tq740
