// Every name the PnP handle knows for the model 176, with the typed export
// behind it; the ranges the exports check are in session176.h.
#include "tables176.h"

#include <iterator>

#include "tq/driver/properties.h"
#include "ux176.h"

namespace ux176
{

namespace
{

const tq::driver::StatusText kTexts[] = {
    {static_cast<ViStatus>(0x3FFC0101), "Instrument revision query not supported."},
    {static_cast<ViStatus>(0x3FFC0102), "Instrument reset not supported."},
    {static_cast<ViStatus>(0x3FFC0103), "Instrument self test not supported."},
    {static_cast<ViStatus>(0x3FFC0104), "Instrument error query not supported."},
    {static_cast<ViStatus>(0x3FFC0105), "Instrument revision query not supported."},
    {UX176_WARN_ALREADY_RUNNING, "Device already Running."},
    {static_cast<ViStatus>(0xBFFC0001), "The value of parameter 1 is invalid."},
    {static_cast<ViStatus>(0xBFFC0002), "The value of parameter 2 is invalid."},
    {static_cast<ViStatus>(0xBFFC0003), "The value of parameter 3 is invalid."},
    {static_cast<ViStatus>(0xBFFC0004), "The value of parameter 4 is invalid."},
    {static_cast<ViStatus>(0xBFFC0005), "The value of parameter 5 is invalid."},
    {static_cast<ViStatus>(0xBFFC0006), "The value of parameter 6 is invalid."},
    {static_cast<ViStatus>(0xBFFC0007), "The value of parameter 7 is invalid."},
    {static_cast<ViStatus>(0xBFFC0008), "The value of parameter 8 is invalid."},
    {static_cast<ViStatus>(0xBFFC0011), "Instrument identification query failed."},
    {static_cast<ViStatus>(0xBFFC0012), "Error interpreting instrument response."},
    {UX176_ERROR_NO_CHANNELS, "Operation failed because no channels are enabled."},
    {UX176_ERROR_RUNNING, "Operation failed because device is running."},
};

const tq::driver::SetProperty kSet[] = {
    TQ_SET_PROPERTY(ux176, InstrumentName),
    TQ_READ_ONLY_PROPERTY(SerialNumber),
    TQ_SET_PROPERTY(ux176, AdcScanRate),
    TQ_SET_PROPERTY(ux176, AnalogChannelEnable),
    TQ_SET_PROPERTY(ux176, AnalogChannelName),
    TQ_SET_PROPERTY(ux176, AnalogGroupInputVoltageRange),
    TQ_SET_PROPERTY(ux176, DigitalChannelEnable),
    TQ_SET_PROPERTY(ux176, DigitalChannelName),
    TQ_SET_PROPERTY(ux176, DigitalDirection),
    TQ_READ_ONLY_PROPERTY(DigitalChannelDirection),
    TQ_SET_PROPERTY(ux176, EventEnable),
    TQ_SET_PROPERTY(ux176, DacChannelEnable),
    TQ_SET_PROPERTY(ux176, DacChannelName),
    TQ_SET_PROPERTY(ux176, OutputScanRate),
    TQ_SET_PROPERTY(ux176, OutputRecycleRate),
};

const tq::driver::GetProperty kGet[] = {
    TQ_GET_PROPERTY(ux176, InstrumentName),
    TQ_GET_PROPERTY(ux176, SerialNumber),
    TQ_GET_PROPERTY(ux176, AdcScanRate),
    TQ_GET_PROPERTY(ux176, AnalogChannelEnable),
    TQ_GET_PROPERTY(ux176, AnalogChannelName),
    TQ_GET_PROPERTY(ux176, AnalogGroupInputVoltageRange),
    TQ_GET_PROPERTY(ux176, DigitalChannelEnable),
    TQ_GET_PROPERTY(ux176, DigitalChannelName),
    TQ_GET_PROPERTY(ux176, DigitalDirection),
    TQ_GET_PROPERTY(ux176, DigitalChannelDirection),
    TQ_GET_PROPERTY(ux176, EventEnable),
    TQ_GET_PROPERTY(ux176, DacChannelEnable),
    TQ_GET_PROPERTY(ux176, DacChannelName),
};

const tq::driver::Operation kOperations[] = {
    TQ_OPERATION("reset", ux176_reset),
    TQ_OPERATION("start", ux176_start),
    TQ_OPERATION("stop", ux176_stop),
};

} // namespace

void tables(tq::driver::ModelInfo &info)
{
    info.statusTexts = kTexts;
    info.statusTextCount = std::size(kTexts);
    info.setProperties = kSet;
    info.setPropertyCount = std::size(kSet);
    info.getProperties = kGet;
    info.getPropertyCount = std::size(kGet);
    info.operations = kOperations;
    info.operationCount = std::size(kOperations);
}

} // namespace ux176
