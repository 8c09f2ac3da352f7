// The catalogue of model 714: an eight-channel bridge-conditioning digitizer
// with sixteen digital I/O lines, counters and frequency inputs. Its driver
// is not ours; the catalogue fixes its property names, menu values and
// operations.
#include "blocks.h"
#include "blocks_analog.h"
#include "catalogues.h"

namespace tq::installer
{

namespace
{

constexpr const char *P = "TQ714";

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
        menu("AnalogChannelCount", "Analog Channel Count", 130, "8", 2, "Determines the number of analog channels. ",
             factoryOption("the number of analog channels."), {{"8 Channels", 8}, {"4 Channels", 4}}),
        checkbox("FilterReady", "Filter Card Ready", 100, "0", 3, "Configures the module for filter options. ",
                 factoryOption("whether a filter card is fitted.")),
        menu("FilterOption", "Filter Option", 100, "0", 5, "Configures the set of supported filter settings. ",
             factoryOption("the set of filter settings the module supports."),
             {{"No Filter", 0, "TQ714FILTEROPTIONNULL"}, {"Option1", 1, "TQ714FILTEROPTION1"},
              {"Option2", 2, "TQ714FILTEROPTION2"}}),
        menu("FilterType", "Filter Type", 100, "0", 4, "Configures the type of on board filter. ",
             factoryOption("the type of the on-board filter."),
             {{"No Filter", 0, "TQ714FILTERNULL"}, {"Bessel", 1, "TQ714FILTERBESSEL"},
              {"Butterworth", 2, "TQ714FILTERBUTTERWORTH"}}),
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
               {"Global configuration functions control the module as a whole: its scan clock, buffers, triggers and "
                "the routing of its signals to the PXI trigger lines."}};
    c.items = {interruptEnable(), scanClockSource(P),
               number(ItemType::Real, "ScanClockRate", "Scan Clock Rate", 125, 0, 250000, "100", 1,
                      "Set the scan clock rate. ",
                      "the rate of the internal scan clock in scans per second, up to 250000 with all channels "
                      "sampled simultaneously."),
               refreshRate(5), bufferDuration()};
    for (Item &item : triggerItems(P))
        c.items.push_back(item);
    c.items.push_back(menu("TransformType", "Transform Type", 100, "1", 4,
                           "Configure speed vs. accuracy in data calculations. ",
                           "how raw samples are calibrated, trading speed for accuracy.",
                           {{"Fast", 1, "TQ714TRANSFORMTYPEFAST", "2-point, linear"},
                            {"Mixed", 2, "TQ714TRANSFORMTYPEMIXED", "3-point, quadratic"},
                            {"Accuracy", 3, "TQ714TRANSFORMTYPEACCURACY", "5-point, quartic"}}));
    for (Item &item : routingItems(P))
        c.items.push_back(item);
    return c;
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
                {"enableProperty", "AnalogChannelEnable"},
                {"connectorProperty", "AnalogChannelConnector"}},
               {"Analog channel functions configure each input channel: its range, coupling, filter, limit check, "
                "sensor, excitation and sense."}};
    c.items = {
        checkbox("AnalogChannelEnable", "Enable", 50, "0", 1, "Configure an analog channel as enabled or disabled. ",
                 "whether the channel's data goes into the stream.", kChannel),
        textbox("AnalogChannelName", "Name", 125, "AnalogChannel$", 2, "Assign a user-defined name to an analog channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
        menu("AnalogChannelInputVoltageRange", "Input Range", 150, "1", 3, "Select the input range of an analog channel. ",
             "the input range, that is the gain, from 1 to 1000 in a 1-2-5 sequence.", inputRanges(P, 11), kChannel),
        menu("AnalogChannelCoupling", "Input Coupling", 125, "1", 4,
             "Select the input coupling mode of an analog channel. ", "whether the input is DC or AC coupled.",
             {{"DC Coupling", 1, "TQ714COUPLINGDC"}, {"AC Coupling", 2, "TQ714COUPLINGAC"}}, kChannel),
    };
    for (Item &item : limitCheckItems("Level Check", 100, 6))
        c.items.push_back(item);
    c.items.push_back(menu("AnalogChannelSensorType", "SensorType", 100, "1", 9, "Set channel SensorType. ",
                           "what the channel measures: a voltage, or a bridge whose output is the relative "
                           "resistance change.",
                           {{"Voltage", 1, "TQ714SENSORTYPEVOLTS"}, {"Bridge", 2, "TQ714SENSORTYPEBRIDGE"}}, kChannel));
    c.items.push_back(menu("AnalogChannelFilter", "Filter Setting", 100, "9", 5, "Set channel filter. ",
                           "the cut-off of the channel's filter, or no filtering.",
                           {{"No Filtering", 9, "TQ714FILTERBYPASS"},
                            {"20 Hz", 1, "TQ714FILTER20HZ"},
                            {"200 Hz", 2, "TQ714FILTER200HZ"},
                            {"1K Hz", 3, "TQ714FILTER1KHZ"},
                            {"2K Hz", 4, "TQ714FILTER2KHZ"},
                            {"5K Hz", 5, "TQ714FILTER5KHZ"},
                            {"10K Hz", 6, "TQ714FILTER10KHZ"},
                            {"20K Hz", 7, "TQ714FILTER20KHZ"},
                            {"50K Hz", 8, "TQ714FILTER50KHZ"}},
                           kChannel));
    c.items.push_back(number(ItemType::Real, "AnalogChannelExcitation", "Excitation", 80, 0, 10, "0", 10,
                             "Set channel Excitation. ",
                             "the excitation, 0 to 10 V in 2048 steps, watched by alarm circuitry.", kChannel));
    c.items.push_back(menu("AnalogChannelExcitationType", "Excitation Type", 125, "1", 11,
                           "Set channel Excitation Type. ",
                           "whether the channel's excitation is off, a voltage source or a current source.",
                           {{"Off", 1, "TQ714EXCITATIONOFF"},
                            {"Voltage Source", 2, "TQ714EXCITATIONVOLTAGE"},
                            {"Current Source", 3, "TQ714EXCITATIONCURRENT"}},
                           kChannel));
    c.items.push_back(menu("AnalogChannelSense", "Sense", 75, "2", 12, "Set channel sense configuration. ",
                           "whether the excitation is sensed at the transducer (remote) or at the module (local).",
                           {{"Remote", 2, "TQ714SENSEREMOTE"}, {"Local", 1, "TQ714SENSELOCAL"}}, kChannel));
    return c;
}

Category analogBridge()
{
    Category c{CategoryKind::Configuration, "Analog Bridge", 3, "1-8", "template:Analog Channel $", 0, {},
               {"Analog bridge functions complete, balance and calibrate a bridge on a channel. A bridge measurement "
                "goes as follows.",
                "Set the excitation type and value, the sensor type and the input range of the channel.",
                "Then set the bridge completion and the sense to match the wiring, the bridge balance, and the shunt "
                "calibration percentages and polarity.",
                "Recalibrate. A bridge channel delivers the relative resistance change as a fraction from 0.0 to "
                "1.0; a formula on the channel turns it into engineering units.",
                "Switching a channel back to a voltage measurement needs a new calibration."}};
    c.items = {
        menu("AnalogChannelBridgeConfiguration", "Bridge Completion", 125, "4", 9, "Set channel bridge configuration. ",
             "which bridge completion the module supplies, for 120, 350 or 1000 ohm bridges.",
             {{"None", 4, "TQ714BRIDGENONE"},
              {"Quarter", 1, "TQ714BRIDGEQUARTER"},
              {"Half", 2, "TQ714BRIDGEHALF"},
              {"Full", 3, "TQ714BRIDGEFULL"}},
             kChannel),
        checkbox("AnalogChannelBridgeBalanceEnable", "Bridge Balance", 100, "0", 11,
                 "Set channel bridge balance enable status. ",
                 "whether the bridge's offset is nulled by the on-board 12-bit converter.", kChannel),
        menu("AnalogChannelShuntCalPolarity", "Shunt Polarity", 100, "1", 13,
             "Set channel shunt cal polarity configuration. ", "the polarity of the shunt calibration.",
             {{"Disabled", 1, "TQ714POLARITYDISABLED"},
              {"Positive", 2, "TQ714POLARITYPLUS"},
              {"Negative", 3, "TQ714POLARITYMINUS"},
              {"Swing", 4, "TQ714POLARITYSWING"}},
             kChannel),
        number(ItemType::Real, "AnalogChannelPositiveShuntedPcnt", "Positive Shunt Pcnt", 120, -10000000, 10000000, "0",
               14, "Set channel positive Shunt EU. ", "the value, in per cent, that the positive shunt stands for.",
               kChannel),
        number(ItemType::Real, "AnalogChannelNegativeShuntedPcnt", "Negative Shunt Pcnt", 120, -10000000, 10000000, "0",
               15, "Set channel negative Shunt Pcnt. ", "the value, in per cent, that the negative shunt stands for.",
               kChannel),
    };
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
                {"enableProperty", "DigitalChannelEnable"}},
               {"Digital channel functions configure the sixteen multi-function digital I/O lines."}};
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
               9,
               "1-15,17",
               "list:Limit Check,Excitation Alarm,TrigIO1,TrigIO2,TrigPXI0,TrigPXI1,TrigPXI2,TrigPXI3,TrigPXI4,TrigPXI5,"
               "TrigPXI6,TrigPXI7,TrigPXISTAR,Change of State,Trans Complete,,Multibuffer Avail",
               0,
               {{"channelName", "EventChannelName"}, {"enableProperty", "EventChannelEnable"}},
               {"Event configuration functions control which events the module responds to."}};
    c.items = {
        checkbox("EventEnable", "Event Enable", 0, "0", 1, "Configure module to respond to a given event type. ",
                 "whether the module responds to the event.", kEvent),
        checkbox("EventChannelEnable", "Enable", 50, "0", 2, "Configure a event channel as enabled or disabled. ",
                 "whether the event appears as a channel of the stream.", kEvent),
        textbox("EventChannelName", "Name", 125, "EventChannel$", 2, "Assign a user-defined name to a event channel. ",
                "the event channel's name in the stream. The name belongs to the session that set it.", kEvent),
    };
    return c;
}

} // namespace

const Catalogue &catalogue714()
{
    static const Catalogue c{
        0x714,
        "pxi",
        "tq714",
        "MX714",
        "tqp714_32",
        {"The model 714 is a single-width 6U CompactPCI/PXI module with eight channels of bridge signal "
         "conditioning. Each channel feeds its own 16-bit converter sampling at up to 250 ksamples per second, "
         "simultaneously on all channels.",
         "Per channel it offers gain from 1 to 1000 in a 1-2-5 sequence, voltage or current excitation from 0 to 10 "
         "V in 2048 steps with alarm monitoring, filtering, bridge completion for 120, 350 and 1000 ohm bridges in "
         "quarter, half and full configurations, bridge balance with an on-board 12-bit converter, and shunt "
         "calibration.",
         "Sixteen multi-function digital I/O lines serve as digital inputs or outputs or feed the two counter and "
         "two frequency channels. Several modules are linked through the PXI triggers for more simultaneously "
         "sampled channels."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq714_reset",
                      {"returns the module to its power-up state."}},
            utilityFunctions(),
            deviceOptions(),
            global(),
            ioConnector(P, 8, "I/O connector functions route the two front-panel trigger lines and set their "
                              "inversion."),
            analogChannel(),
            analogBridge(),
            analogChannelDemo(P, 4, "1-8", false),
            digitalChannel(),
            digitalChannelDemo(6),
            mappedChannel("Counter", 7),
            mappedChannel("Frequency", 8),
            eventType(),
            Operation{"start", 0, "Start data acquisition. ", "tq714_start",
                      {"marks all multibuffer segments read, puts the module in the continuous run mode and "
                       "activates its stream, creating multibuffers of the default size when none exist."}},
            Operation{"stop", 0, "Stop data acquisition. ", "tq714_stop",
                      {"leaves the continuous run mode and releases the stream's resources."}},
            Operation{"calibrate", 131072, "Perform calibration using the internal calibration source. ",
                      "tq714_calibrate",
                      {"applies known voltages to every analog channel and derives the gain and offset coefficients "
                       "of each. Its progress is reported as the calibration event."}},
            streamFunctions(),
            closeFunction(),
        }};
    return c;
}

} // namespace tq::installer
