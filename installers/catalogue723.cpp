// The catalogue of model 723: a multiplexed analog input module of up to 128
// channels with thermocouple support, sixteen digital I/O lines, counters and
// frequency inputs. Its driver is not ours; the catalogue fixes its property
// names, menu values and operations.
#include "blocks.h"
#include "blocks_analog.h"
#include "blocks_digital.h"
#include "catalogues.h"

namespace tq::installer
{

namespace
{

constexpr const char *P = "TQ723";

const char *factoryOption(const char *what)
{
    return keep(std::string(what) +
                " The option is fitted at the factory and is not user configurable: the setter is not supported.");
}

Category deviceOptions()
{
    Category c{CategoryKind::Options, "Device Options", 65535, "", "", 0, {}, {deviceOptionsHelp()}};
    c.items = {
        instrumentNameItem(),
        checkbox("OpenThermDet", "Open Thermocouple Detection", 160, "0", 3,
                 "Configures the Open Thermocouple Detection option. ",
                 factoryOption("whether open-thermocouple detection is fitted.")),
        menu("AnalogChannelCount", "Single Ended Channels", 150, "128", 2, "Determines the number of analog channels. ",
             factoryOption("the number of single-ended analog channels; differential mode gives half of them."),
             {{"128 Channels", 128}, {"64 Channels", 64}}),
        checkbox("FilterReady", "Filter Card Ready", 100, "0", 4, "Configures the module for replaceable filter cards. ",
                 factoryOption("whether a replaceable filter card is fitted.")),
    };
    return c;
}

Category global()
{
    Category c{CategoryKind::Configuration,
               "Global",
               1,
               "",
               "Global",
               0,
               {{"rankProperty", "Rank", StandardItem::Rank}, {"decimationProperty", "Decimation", StandardItem::Decimation}},
               {"Global configuration functions control the module as a whole: its input mode, scan and conversion "
                "clocks, buffers, triggers and the routing of its signals to the PXI trigger lines."}};
    c.items = {
        menu("InputMode", "Input Mode", 125, "2", 3, "Select between differential or single-ended inputs ",
             "whether the inputs are differential or single-ended. Single-ended mode gives the full channel count, "
             "differential mode half of it.",
             {{"Differential", 2, "TQ723INPUTMODEDIFFERENTIAL"}, {"Single-ended", 1, "TQ723INPUTMODESINGLEENDED"}}),
        interruptEnable(),
        scanClockSource(P),
        number(ItemType::Real, "ScanClockRate", "Scan Clock Rate", 125, 0, 100000, "100", 1, "Set the scan clock rate. ",
               "the rate of the internal scan clock in scans per second. The channels are converted one after "
               "another within each scan."),
        menu("ConversionClock", "Conversion Rate", 120, "0", 2, "Set the conversion clock rate. ",
             "the rate at which the converter steps from channel to channel; a slower conversion clock gives each "
             "channel more settling time.",
             {{"100K", 0, "TQ723CONVERSION100K"}, {"20K", 1, "TQ723CONVERSION20K"}, {"2K", 2, "TQ723CONVERSION2K"}}),
        refreshRate(10),
        bufferDuration(),
    };
    for (Item &item : triggerItems(P))
        c.items.push_back(item);
    for (Item &item : routingItems(P))
        c.items.push_back(item);
    return c;
}

// The resource manager keeps the thermocouple settings for itself: their
// values are the keywords that formula building passes to thermo().
Item thermocoupleType()
{
    Item item = menu("AnalogChannelThermocoupleType", "Thermocouple Type", 150, "(none)", 65535,
                     "Assign a Thermocouple Type to an analog channel", "",
                     {textChoice("(none)", "(none)"), textChoice("type b", "typeb"), textChoice("type e", "typee"),
                      textChoice("type j", "typej"), textChoice("type k", "typek"), textChoice("type n", "typen"),
                      textChoice("type r", "typer"), textChoice("type s", "types"), textChoice("type t", "typet")});
    item.inlineDescription = "Assign a Thermocouple Type to an analog channel.";
    return item;
}
Item thermocoupleUnits()
{
    Item item = menu("AnalogChannelThermocoupleUnits", "Units", 100, "volts", 65535,
                     "Assign Units to a thermocouple channel", "",
                     {textChoice("volts", "volts"), textChoice("degrees c", "degrees c"),
                      textChoice("degrees f", "degrees f"), textChoice("kelvin", "kelvin")});
    item.inlineDescription = "Assign Units to a thermocouple channel.";
    return item;
}

Category analogChannel()
{
    Category c{CategoryKind::Configuration,
               "Analog Channel",
               2,
               "1-AnalogChannelCount",
               "template:Analog Channel $",
               0,
               {{"formulaProperty", "AnalogChannelExpression", StandardItem::Expression},
                {"channelName", "AnalogChannelName"},
                {"thermocoupleType", "AnalogChannelThermocoupleType", StandardItem::None, thermocoupleType()},
                {"thermocoupleUnits", "AnalogChannelThermocoupleUnits", StandardItem::None, thermocoupleUnits()},
                {"isoRefChannelProperty", "AnalogChannelISORefChannel"},
                {"enableProperty", "AnalogChannelEnable"},
                {"connectorProperty", "AnalogChannelConnector"},
                {"connectorCatProperty", "Analog Connector"}},
               {"Analog channel functions configure each input channel: its range and limit check, and whether it is "
                "read as a thermocouple."}};
    c.items = {
        checkbox("AnalogChannelEnable", "Enable", 50, "0", 1, "Configure an analog channel as enabled or disabled. ",
                 "whether the channel's data goes into the stream.", kChannel),
        textbox("AnalogChannelName", "Name", 125, "AnalogChannel$", 2, "Assign a user-defined name to an analog channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
        menu("AnalogChannelInputVoltageRange", "Input Range", 150, "1", 3, "Select the input range of an analog channel. ",
             "the input range of the channel, from +/-10 V down to +/-10 mV.", inputRanges(P, 10), kChannel),
    };
    for (Item &item : limitCheckItems("Level Check Mode", 150, 4))
        c.items.push_back(item);
    return c;
}

Category digitalChannel()
{
    Category c{CategoryKind::Configuration,
               "Digital Channel",
               4,
               "1-16",
               "template:Digital Channel $",
               0,
               {{"formulaProperty", "DigitalChannelExpression", StandardItem::Expression},
                {"channelName", "DigitalChannelName"},
                {"enableProperty", "DigitalChannelEnable"}},
               {"Digital channel functions configure the sixteen digital I/O channels, onto which the counter and "
                "frequency channels are mapped."}};
    c.items = {
        checkbox("DigitalChannelEnable", "Enable", 50, "0", 1, "Configure a digital channel as enabled or disabled. ",
                 "whether the channel's data goes into the stream.", kChannel),
        textbox("DigitalChannelName", "Name", 125, "DigitalChannel$", 2,
                "Assign a user-defined name to a digital channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
        digitalDirectionItem(P),
        checkbox("DigitalChannelChangeOfStateEnable", "COS Enable", 75, "0", 4,
                 "Configure a digital channel to participate in Change of State. ",
                 "whether a change of the channel's level raises the change of state event.", kChannel),
    };
    return c;
}

Category eventType()
{
    Category c{CategoryKind::Configuration,
               "Event Type",
               8,
               "1-15,17",
               "list:Limit Check,Error,TrigIO1,TrigIO2,TrigPXI0,TrigPXI1,TrigPXI2,TrigPXI3,TrigPXI4,TrigPXI5,TrigPXI6,"
               "TrigPXI7,TrigPXISTAR,Change of State,Trans Complete,,Multibuffer Avail",
               0,
               {{"formulaProperty", "EventChannelExpression", StandardItem::Expression},
                {"channelName", "EventChannelName"},
                {"enableProperty", "EventChannelEnable"}},
               {"Event configuration functions control which events the module responds to and how they appear as "
                "channels of the stream. An event pulse lasts at most the scans of one multibuffer."}};
    c.items = eventItems(P, "EventChannel$");
    return c;
}

Category analogConnector()
{
    Category c{CategoryKind::Configuration,
               "Analog Connector",
               9,
               "1-2",
               "template:Analog Connector $",
               0,
               {{"isoRefChannelProperty", "ISORefChannel"}, {"enableProperty", "ISORefEnable"}},
               {"Analog connector functions enable the isothermal reference of each analog connector: its first "
                "channel (channel 1 or 33) then measures the connector's temperature for thermocouple channels."}};
    c.items = {checkbox("ISORefEnable", "Ref Enable", 75, "0", 65535, "Enable or Disable isothermal reference channel. ",
                        "whether the connector's first channel serves as its isothermal reference.", kConnector)};
    return c;
}

} // namespace

const Catalogue &catalogue723()
{
    static const Catalogue c{
        0x723,
        "pxi",
        "tq723",
        "MX723",
        "tqp723_32",
        {"The model MX723 is a single-width 6U CompactPCI/PXI analog input module: 32 or 64 differential inputs, or "
         "64 or 128 single-ended ones, scanned in turn by one 16-bit converter. The scan clock comes from the "
         "internal clock, a PXI trigger line, the PXI star trigger or one of two front-panel I/O connectors.",
         "Each channel has a programmable input range from +/-10 V down to +/-10 mV, and the module calibrates "
         "itself. Filter cards and open-thermocouple detection are factory options. The first channel of each of "
         "the two analog connectors (channels 1 and 33) can serve as the isothermal reference of thermocouples.",
         "Sixteen digital I/O channels carry two counter and two frequency channels and timer functions."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq723_reset",
                      {"returns the module to its power-up state."}},
            utilityFunctions(),
            deviceOptions(),
            global(),
            ioConnector(P, 9, "Functions for configuring I/O connectors."),
            analogChannel(),
            analogChannelDemo(P, 3, "1-AnalogChannelCount", true),
            digitalChannel(),
            digitalChannelDemo(5),
            mappedChannel("Counter", 6),
            mappedChannel("Frequency", 7),
            eventType(),
            analogConnector(),
            Operation{"start", 0, "Start data acquisition. ", "tq723_start",
                      {"puts the module in the run mode and starts the driver's stream, creating default multibuffers "
                       "when none exist. The multibuffers are kept until they are freed or the next start; stop does "
                       "not free them."}},
            Operation{"stop", 0, "Stop data acquisition. ", "tq723_stop", {"leaves the run mode."}},
            Operation{"calibrate", 131072, "Perform calibration using the internal calibration source. ",
                      "tq723_calibrate",
                      {"applies known voltages to every analog channel, derives the gain and offset coefficients of "
                       "each and ends with a reset. Its progress is reported as the calibration event."}},
            Operation{"verifyAllThermocoupleChannels", 0, "Verify all channels as thermocouples. ",
                      "tq723_verifyAllThermocoupleChannels",
                      {"runs the open-thermocouple detection on all channels."}},
            streamFunctions(),
            closeFunction(),
        }};
    return c;
}

} // namespace tq::installer
