// The catalogue of the USB model 176: analog inputs, digital I/O and DAC
// outputs on one bus-powered device, found through the "usb" physical
// interface that the catalogue shares with any other model naming it.
#include "blocks.h"
#include "catalogues.h"
#include "items.h"

namespace tq::installer
{

namespace
{

Category global()
{
    Category c{CategoryKind::Configuration,
               "Global",
               1,
               "",
               "Global",
               0,
               {{"decimationProperty", "Decimation", StandardItem::Decimation}, {"rankProperty", "Rank", StandardItem::Rank}},
               {"Global functions configure the device as a whole."}};
    c.items = {number(ItemType::Real, "AdcScanRate", "Scan Rate", 75, 0, 50000, "1000", 65535,
                      "Set the analog scan rate. ",
                      "the rate, in scans per second, at which the enabled analog channels are converted. The "
                      "enabled channels share an aggregate limit of 50,000 conversions per second; the rate must "
                      "be above 0.")};
    return c;
}

Category analogChannel()
{
    Category c{CategoryKind::Configuration,
               "Analog Channel",
               2,
               "1-6",
               "template:AnalogChannel $",
               0,
               {{"formulaProperty", "AnalogChannelExpression", StandardItem::Expression},
                {"channelName", "AnalogChannelName"},
                {"enableProperty", "AnalogChannelEnable"}},
               {"Analog channel functions name the single-ended inputs and put them into the stream."}};
    c.items = {
        checkbox("AnalogChannelEnable", "Enable", 50, "0", 1, "Configure an analog channel as enabled or disabled. ",
                 "whether the channel is converted and its data goes into the stream.", kChannel),
        textbox("AnalogChannelName", "Name", 125, "AnalogChannel$", 2, "Assign a user-defined name to an analog channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
    };
    return c;
}

Category analogChannelGroup()
{
    Category c{CategoryKind::Configuration, "Analog Channel Group", 3, "1-3",
               "list:AnalogChannel 1-2,AnalogChannel 3-4,AnalogChannel 5-6", 0, {},
               {"Analog channel group functions set the input range of two channels at a time."}};
    c.items = {menu("AnalogGroupInputVoltageRange", "Input Range", 125, "1", 65535, "Set analog input voltage range. ",
                    "the input range of a pair of channels; ranges are set two channels at a time.",
                    {{"+/- 10", 1, "UX176_INPUT10VOLTS", "+/-10 V, scale factor 1.0"},
                     {"+/- 5", 0, "UX176_INPUT5VOLTS", "+/-5 V, scale factor 0.5"}},
                    kPair)};
    return c;
}

Category digitalChannel()
{
    Category c{CategoryKind::Configuration,
               "Digital Channel",
               5,
               "1-16",
               "template:Digital Channel $",
               0,
               {{"formulaProperty", "DigitalChannelExpression", StandardItem::Expression},
                {"channelName", "DigitalChannelName"},
                {"enableProperty", "DigitalChannelEnable"},
                {"channelDirection", "DigitalChannelDirection"}},
               {"Digital channel functions name the digital channels and put them into the stream."}};
    c.items = {
        checkbox("DigitalChannelEnable", "Enable", 50, "0", 1, "Configure a digital channel as enabled or disabled. ",
                 "whether the channel's data goes into the stream.", kChannel),
        textbox("DigitalChannelName", "Name", 125, "DigitalChannel$", 2,
                "Assign a user-defined name to a digital channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
    };
    return c;
}

Category digitalDirection()
{
    Category c{CategoryKind::Configuration,
               "Digital Direction",
               4,
               "1-9",
               "list:DigitalChannel 1,Digital Channel 2,Digital Channel 3,Digital Channel 4,Digital Channel 5,Digital "
               "Channel 6,Digital Channel 7,Digital Channel 8,Digital Channel 9-16",
               0,
               {},
               {"Digital direction functions make the digital channels inputs or outputs: channels 1 to 8 one by one, "
                "channels 9 to 16 together."}};
    c.items = {menu("DigitalDirection", "Digital Direction", 125, "0", 65535,
                    "Set the direction (input or output) of a digital channel. ",
                    "the direction of a digital channel; index 9 sets channels 9 to 16 together.",
                    {{"Input", 0, "UX176DIGITALDIRECTIONINPUT"}, {"Output", 1, "UX176DIGITALDIRECTIONOUTPUT"}},
                    Index{true, "channel"})};
    return c;
}

Category dacChannel()
{
    Category c{CategoryKind::Configuration,
               "DAC Channel",
               65535,
               "1-2",
               "template:DAC Channel $",
               0,
               {{"formulaProperty", "DacChannelExpression", StandardItem::Expression},
                {"channelName", "DacChannelName"},
                {"enableProperty", "DacChannelEnable"},
                {"channelDirection", "output"}},
               {"DAC channel functions configure the digital-to-analog converter's outputs."}};
    c.items = {
        checkbox("DacChannelEnable", "Enable", 50, "0", 1, "Configure a Dac channel as enabled or disabled. ",
                 "whether the output takes its values from the stream.", kChannel),
        textbox("DacChannelName", "Name", 125, "DacChannel$", 2, "Assign a user-defined name to a Dac channel. ",
                "the output's name in the stream. The name belongs to the session that set it.", kChannel),
    };
    return c;
}

Category outputGlobal()
{
    Category c{CategoryKind::Configuration, "Output Global", 9, "", "Output Global", 0, {},
               {"Global output properties. "}};
    c.bareHelp = true;
    c.items = {
        number(ItemType::Real, "OutputScanRate", "Scan Rate", 125, 0, 1000, "0", 1,
               "Set the refresh rate of the output functions. ",
               "how many times per second the outputs are written from the stream."),
        number(ItemType::Real, "OutputRecycleRate", "Recycle Rate", 125, 0, 800000, "0", 2,
               "Set the refresh rate of the output functions. ",
               "how many times per second the output buffer is written out again; 0 writes it once."),
    };
    return c;
}

} // namespace

const Catalogue &catalogue176()
{
    static const Catalogue c = [] {
        Catalogue cat{
            0x176,
            "usb",
            "ux176",
            "UX176",
            "ux176_32",
            {"The model 176 is a general-purpose data-acquisition device on bus-powered USB 2.0: 16-bit single-ended "
             "analog inputs with ranges of +/-10 V and +/-5 V, digital inputs and outputs, and a digital-to-analog "
             "converter."},
            {
                Category{CategoryKind::Options, "Device Options", 65535, "", "", 0, {}, {deviceOptionsHelp()},
                         {instrumentNameItem()}},
                initializeFunction(),
                Operation{"reset", 0, "Resets the instrument. ", "ux176_reset",
                          {"returns the device to its power-up condition."}},
                // Linked like a configuration category, without items.
                Category{CategoryKind::Configuration, "Utility Functions", 65535, "", "", 0, {},
                         utilityFunctions().help},
                global(),
                analogChannel(),
                analogChannelGroup(),
                digitalChannel(),
                digitalDirection(),
                Category{CategoryKind::Configuration, "Event Type", 9, "1", "list:Overrun", 0, {},
                         {"Event functions choose the events the device responds to."},
                         {checkbox("EventEnable", "Event Enable", 0, "0", 1,
                                   "Configure module to respond to a given event type. ",
                                   "whether the device responds to the event, such as an overrun of its FIFO.",
                                   kEvent)}},
                Operation{"start", 0, "Start data acquisition. ", "ux176_start",
                          {"starts the converter; live data can then be read with ux176_getAdcScan."}},
                Operation{"stop", 0, "Stops data acquisition. ", "ux176_stop", {"stops the converter."}},
                dacChannel(),
                outputGlobal(),
                streamFunctions(),
            }};
        cat.pinterfaceName = "usb";
        cat.pinterfaceLib = "ux176interface";
        return cat;
    }();
    return c;
}

} // namespace tq::installer
