// The catalogue of model 718: a four-channel bridge-conditioning digitizer.
#include "blocks.h"
#include "catalogues.h"
#include "items.h"

namespace tq::installer
{

namespace
{

std::vector<Choice> conditionChoices(const char *stem)
{
    // The I/O lines come last in these menus, after the PXI lines.
    const std::string s = stem;
    static std::deque<std::string> keep;
    auto name = [&](const char *suffix) {
        keep.push_back(s + suffix);
        return keep.back().c_str();
    };
    std::vector<Choice> out{{"Disable", 0, name("MANUAL")}};
    out = join(out, pxiChoices(3, name("PXILINE")));
    out.push_back({"PXISTAR", 11, name("PXISTAR")});
    out.push_back({"I/O 1", 1, name("IO1")});
    out.push_back({"I/O 2", 2, name("IO2")});
    return out;
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
               {"Global functions configure the module as a whole: its scan clock, the size and refresh of its "
                "buffers, its triggers and the routing of its signals to the PXI trigger lines."}};
    auto start = conditionChoices("TQ718ACQGSOURCE");
    auto stop = conditionChoices("TQ718ACQSSOURCE");
    std::vector<Choice> transient{{"Disable", 0, "TQ718TRANSOURCEDISCONNECT"}};
    transient = join(transient, pxiChoices(3, "TQ718TRANSOURCEPXILINE"));
    transient.push_back({"PXISTAR", 11, "TQ718TRANSOURCEPXISTAR"});
    transient.push_back({"I/O 1", 1, "TQ718TRANSOURCEIO1"});
    transient.push_back({"I/O 2", 2, "TQ718TRANSOURCEIO2"});
    transient.push_back({"Limit Violation", 12, "TQ718TRANSOURCELIMIT"});
    std::vector<Choice> clock{{"Internal", 1, "TQ718CLOCKSOURCEINTERNAL"},
                              {"I/O 1", 2, "TQ718CLOCKSOURCEIO1"},
                              {"I/O 2", 3, "TQ718CLOCKSOURCEIO2"}};
    clock = join(clock, pxiChoices(4, "TQ718CLOCKSOURCEPXI"));
    clock.push_back({"PXISTAR", 12, "TQ718CLOCKSOURCEPXISTAR"});
    c.items = {
        checkbox("InterruptEnable", "Interrupt Enable", 100, "0", 65535, "Allow asynchronous notification of events. ",
                 "whether the module raises interrupts for the events enabled in the Event Type category. Enable "
                 "the events first: interrupts report only enabled events."),
        menu("ScanClockSource", "Scan Clock Source", 125, "1", 65535, "Set the scan clock source. ",
             "where the scan clock that paces the converters comes from.", clock),
        number(ItemType::Real, "ScanClockRate", "Scan Clock Rate", 125, 0, 250000, "100", 1,
               "Set the scan clock rate. ",
               "the rate of the internal scan clock in scans per second, up to 250000 with all channels sampled "
               "simultaneously."),
        number(ItemType::Int, "RefreshRate", "Refresh Rate", 100, 1, 5, "2", 2, "Set the rate at which data arrives. ",
               "how many times per second acquired data is handed to the stream. With the buffer duration it sizes "
               "the multibuffer segments."),
        number(ItemType::Int, "BufferDuration", "Buffer Duration", 100, 1, 20, "2", 2,
               "Set the amount of acquired data (in seconds) that are bufferd. ",
               "how many seconds of acquired data the multibuffer holds."),
        menu("StartCondition", "Start Condition", 100, "0", 5,
             "Set trigger condtion on which ADC conversion will begin. ",
             "the trigger on which conversion begins. It acts only in the triggered acquisition mode.", start),
        menu("StopCondition", "Stop Condition", 100, "0", 6, "Set condtion on which ADC conversion will stop. ",
             "the trigger on which conversion stops. It acts only in the triggered acquisition mode.", stop),
        menu("TransientCondition", "Transient Signal", 125, "0", 8,
             "Set condtion which will trigger a transient capture. ",
             "the signal that triggers the capture of a transient.", transient),
        number(ItemType::Int, "TransientNumScans", "Number Scans", 100, 0, 2147483647, "0", 9,
               "Set the number of post trigger transient scans. ",
               "how many scans a transient capture records after its trigger."),
        menu("TriggerMode", "Trigger Mode", 100, "2", 7,
             "Configure the start/stop triggers to be pulse or level sensative. ",
             "how the start and stop triggers act: as pulses on two lines, as pulses toggling one line, or as a "
             "level that runs the acquisition while it is asserted.",
             {{"Level", 2, "TQ718TRIGSENSELEVEL", "acquire while the start line is asserted"},
              {"Pulse", 1, "TQ718TRIGSENSEPULSE", "start and stop on pulses"}}),
        menu("AcqMode", "ACQ Mode", 100, "1", 4,
             "Configure the condition that will activate data collection on the device. ",
             "what activates data collection: the start operation alone, or the start and stop conditions.",
             {{"Manual", 1, "TQ718ACQMODEMANUAL"}, {"Triggered", 2, "TQ718ACQMODETRIGGER"}}),
        menu("TransformType", "Transform Type", 100, "1", 4, "Configure speed vs. accuracy in data calculations. ",
             "how raw samples are calibrated: a linear fit through 2 points, a quadratic through 3 or a quartic "
             "through 5, trading speed for accuracy.",
             {{"Fast", 1, "TQ718TRANSFORMTYPEFAST", "2-point, linear"},
              {"Mixed", 2, "TQ718TRANSFORMTYPEMIXED", "3-point, quadratic"},
              {"Accuracy", 3, "TQ718TRANSFORMTYPEACCURACY", "5-point, quartic"}}),
        menu("ScanClockToPXILine", "Clock PXI Line", 125, "0", 65535, "Route the Scan Clock to a PXI trigger line. ",
             "the PXI trigger line that carries the scan clock to other modules.",
             join({{"Disable", 0, "TQ718SCANROUTEDISABLE"}}, pxiChoices(1, "TQ718SCANROUTEPXILINE"))),
        menu("LimitViolationToPXILine", "Limit PXI Line", 100, "0", 65535,
             "Route the Limit Violation signal to a PXI trigger line. ",
             "the PXI trigger line that carries the limit violation signal.",
             join({{"Disable", 0, "TQ718LIMITROUTEDISABLE"}}, pxiChoices(1, "TQ718LIMITROUTEPXILINE"))),
        checkbox("VerboseEnable", "Verbose", 100, "0", 65535, "Configure verbosity. ",
                 "whether the driver reports its steps as status lines."),
    };
    return c;
}

Category ioConnector()
{
    const std::vector<Choice> inversion{{"Disable", 0, "VI_FALSE"}, {"Enable", 1, "VI_TRUE"}};
    const std::vector<Choice> route = join({{"Disable", 1, "TQ718IOROUTEDISABLE"}}, pxiChoices(2, "TQ718IOROUTEPXI"));
    Category c{CategoryKind::Configuration, "I/O Connector", 8, "1-2", "list:I/O 1,I/O 2", 0, {},
               {"I/O connector functions route the two front-panel trigger lines to and from the PXI trigger lines "
                "and set whether each is inverted."}};
    c.items = {
        menu("IOInputInversion", "Input Inversion", 110, "0", 65535,
             "Selects whether I/O input is inverted before being routed internally. ",
             "whether the signal arriving on the I/O line is inverted before it is routed inside the module.",
             inversion, kLine),
        menu("IOInputRoute", "Input Route", 100, "1", 65535, "Routes an I/O line internally to trigger line. ",
             "the PXI trigger line that the I/O line drives.", route, kLine),
        menu("IOOutputInversion", "Output Inversion", 110, "0", 65535,
             "Selects whether I/O input is inverted before being routed externally. ",
             "whether the signal leaving on the I/O line is inverted.", inversion, kLine),
        menu("IOOutputRoute", "Output Route", 100, "1", 65535, "Routes an I/O line externally from trigger line. ",
             "the signal that drives the I/O line: a PXI trigger line, the scan clock or the limit violation.",
             join(route, {{"Scan Clock", 10, "TQ718IOROUTESCANCLOCK"}, {"Limit Violation", 11, "TQ718IOROUTELIMIT"}}),
             kLine),
    };
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
               {"Analog channel functions configure each input channel: its range, filter, limit check, sensor, "
                "excitation and sense."}};
    c.items = {
        checkbox("AnalogChannelEnable", "Enable", 50, "0", 1, "Configure an analog channel as enabled or disabled. ",
                 "whether the channel's data goes into the stream.", kChannel),
        textbox("AnalogChannelName", "Name", 125, "AnalogChannel$", 2,
                "Assign a user-defined name to an analog channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
        menu("AnalogChannelInputVoltageRange", "Input Range", 150, "1", 3, "Select the input range of an analog channel. ",
             "the input range, that is the gain, from 1 to 10000 in a 1-2-5 progression.",
             {{"-10V to 10V", 1, "TQ718INPUTRANGEMINUS10VTO10V"},
              {"-5V to 5V", 2, "TQ718INPUTRANGEMINUS5VTO5V"},
              {"-2V to 2V", 3, "TQ718INPUTRANGEMINUS2VTO2V"},
              {"-1V to 1V", 4, "TQ718INPUTRANGEMINUS1VTO1V"},
              {"-500mV to 500mV", 5, "TQ718INPUTRANGEMINUS500MVTO500MV"},
              {"-200mV to 200mV", 6, "TQ718INPUTRANGEMINUS200MVTO200MV"},
              {"-100mV to 100mV", 7, "TQ718INPUTRANGEMINUS100MVTO100MV"},
              {"-50mV to 50mV", 8, "TQ718INPUTRANGEMINUS50MVTO50MV"},
              {"-20mV to 20mV", 9, "TQ718INPUTRANGEMINUS20MVTO20MV"},
              {"-10mV to 10mV", 10, "TQ718INPUTRANGEMINUS10MVTO10MV"},
              {"-5mV to 5mV", 11, "TQ718INPUTRANGEMINUS5MVTO5MV"},
              {"-2mV to 2mV", 12, "TQ718INPUTRANGEMINUS2MVTO2MV"},
              {"-1mV to 1mV", 13, "TQ718INPUTRANGEMINUS1MVTO1MV"}},
             kChannel),
        menu("AnalogChannelBufferSource", "Buffered Output Source", 125, "1", 65535,
             "Select the source of the buffered output signal. ",
             "whether the buffered output carries the signal before or after the filter.",
             {{"Pre-filter", 1, "TQ718BSOURCEPRE"}, {"Post-filter", 2, "TQ718BSOURCEPOST"}}, kChannel),
        menu("AnalogChannelLimitCheckMode", "Level Check", 100, "1", 6, "Select the limit check mode for a channel. ",
             "how the channel is checked against its limits: not at all, against a minimum and a maximum, or "
             "against a level and a slope.",
             {{"Off", 1}, {"Min/Max", 2}, {"Level/Slope", 3}}, kChannel),
        number(ItemType::Real, "AnalogChannelLimitCheckMinLvl", "Min/Level", 75, -10, 10, "0", 7,
               "Select the limit check value for the minimum threshold (min/max mode) or the level threshold "
               "(level/slope mode). ",
               "the minimum in the min/max mode, or the level in the level/slope mode, in volts.", kChannel),
        number(ItemType::Real, "AnalogChannelLimitCheckMaxSlope", "Max/Slope", 75, -10, 10, "0", 8,
               "Select the limit check Max/Slope value for a channel. ",
               "the maximum in the min/max mode, or the slope in the level/slope mode.", kChannel),
        menu("AnalogChannelSensorType", "SensorType", 100, "1", 9, "Set channel SensorType. ",
             "what the channel measures: a voltage, or a bridge whose output is given in per cent of resistance "
             "change.",
             {{"Voltage", 1, "TQ718SENSORTYPEVOLTS"}, {"Bridge", 2, "TQ718SENSORTYPEBRIDGE"}}, kChannel),
        menu("AnalogChannelFilter", "Filter Setting", 100, "9", 5, "Set channel filter. ",
             "the filter code. Which cut-off a code selects depends on the filter option fitted at the factory, "
             "so two cut-offs share a code.",
             {{"No Filtering", 9, "TQ718FILTERBYPASS"},
              {"20 Hz", 1, "TQ718FILTER20HZ"},
              {"30 Hz", 1, "TQ718FILTER30HZ"},
              {"200 Hz", 2, "TQ718FILTER200HZ"},
              {"500 Hz", 3, "TQ718FILTER500HZ"},
              {"750 Hz", 3, "TQ718FILTER750HZ"},
              {"1K Hz", 4, "TQ718FILTER1KHZ"},
              {"2K Hz", 5, "TQ718FILTER2KHZ"},
              {"5K Hz", 6, "TQ718FILTER5KHZ"},
              {"25K Hz", 7, "TQ718FILTER25KHZ"},
              {"50K Hz", 8, "TQ718FILTER50KHZ"}},
             kChannel),
        number(ItemType::Real, "AnalogChannelExcitation", "Excitation", 80, 0, 10, "0", 10, "Set channel Excitation. ",
               "the excitation, 0 to 10 V in 2048 steps; alarm circuitry watches it.", kChannel),
        menu("AnalogChannelExcitationType", "Excitation Type", 125, "1", 11, "Set channel Excitation Type. ",
             "whether the channel's excitation is off, a voltage source or a current source.",
             {{"Off", 1, "TQ718EXCITATIONOFF"},
              {"Voltage Source", 2, "TQ718EXCITATIONVOLTAGE"},
              {"Current Source", 3, "TQ718EXCITATIONCURRENT"}},
             kChannel),
        menu("AnalogChannelSense", "Sense", 75, "2", 12, "Set channel sense configuration. ",
             "whether the excitation is sensed at the transducer (remote) or at the module (local).",
             {{"Remote", 2, "TQ718SENSEREMOTE"}, {"Local", 1, "TQ718SENSELOCAL"}}, kChannel),
    };
    return c;
}

Category analogBridge()
{
    Category c{CategoryKind::Configuration, "Analog Bridge", 3, "1-4", "template:Analog Channel $", 0, {},
               {"Analog bridge functions complete, balance and calibrate a bridge on a channel. A bridge measurement "
                "goes as follows.",
                "Set the excitation type and value for the bridge, the sensor type to bridge (the output is then "
                "given in per cent of resistance change) and a small input range.",
                "Set the bridge completion and the sense to match the wiring: quarter, half or full bridge of 120, "
                "350 or 1000 ohms.",
                "Optionally enable the bridge balance, which nulls the offset with a 12-bit DAC, and choose a shunt "
                "polarity for the shunt calibration.",
                "Then run the calibrate operation. Convert the per-cent output into engineering units with a formula "
                "on the channel.",
                "After switching the channel back to a voltage measurement, calibrate again."}};
    c.items = {
        menu("AnalogChannelBridgeConfiguration", "Bridge Completion", 125, "3", 9, "Set channel bridge configuration. ",
             "which bridge completion the module supplies. After a reset the module completes a full bridge.",
             {{"None", 4, "TQ718BRIDGENONE"},
              {"Quarter", 1, "TQ718BRIDGEQUARTER"},
              {"Half", 2, "TQ718BRIDGEHALF"},
              {"Full", 3, "TQ718BRIDGEFULL"}},
             kChannel),
        checkbox("AnalogChannelBridgeBalanceEnable", "Bridge Balance", 100, "0", 11,
                 "Set channel bridge balance enable status. ",
                 "whether the bridge's offset is nulled at calibration.", kChannel),
        menu("AnalogChannelShuntCalPolarity", "Shunt Polarity", 100, "1", 13,
             "Set channel shunt cal polarity configuration. ",
             "the shunt calibration. Swing shunts both ways and fits a second-order polynomial through both shunt "
             "points and zero.",
             {{"Disabled", 1, "TQ718POLARITYDISABLED"},
              {"Positive", 2, "TQ718POLARITYPLUS"},
              {"Negative", 3, "TQ718POLARITYMINUS"},
              {"Swing", 4, "TQ718POLARITYSWING"}},
             kChannel),
        number(ItemType::Real, "AnalogChannelPositiveShuntedPcnt", "Positive Shunt Pcnt", 120, -10000000, 10000000, "0",
               14, "Set channel positive Shunt EU. ",
               "the value, in per cent, that the positive shunt stands for.", kChannel),
        number(ItemType::Real, "AnalogChannelNegativeShuntedPcnt", "Negative Shunt Pcnt", 120, -10000000, 10000000, "0",
               15, "Set channel negative Shunt Pcnt. ",
               "the value, in per cent, that the negative shunt stands for.", kChannel),
    };
    return c;
}

Category analogChannelDemo()
{
    Category c{CategoryKind::Configuration, "Analog Channel Demo", 4, "1-4", "template:Analog Channel $", 1, {},
               {"Demo functions shape the signal each channel generates when the instrument runs without hardware."}};
    c.items = {
        menu("DemoAnalogChannelType", "Waveform", 135, "1", 1,
             "Select the waveform the channel will generate in demo mode. ", "the waveform the channel generates.",
             {{"sawtooth", 1, "TQ718DEMOTYPESAWTOOTH"},
              {"sin", 2, "TQ718DEMOTYPESIN"},
              {"triangle", 3, "TQ718DEMOTYPETRI"},
              {"flat", 4, "TQ718DEMOTYPEFLAT"},
              {"square", 5, "TQ718DEMOTYPESQUARE"}},
             kChannel),
        number(ItemType::Real, "DemoAnalogChannelScale", "Scale", 75, 0, 100000, "1", 2,
               "Select the scaling factor of the channel in demo mode. ", "the amplitude of the waveform.", kChannel),
        number(ItemType::Real, "DemoAnalogChannelOffset", "Offset", 75, -100000, 100000, "0", 3,
               "Select the offset of the waveform the channel will generate in demo mode. ",
               "the offset added to the waveform.", kChannel),
        number(ItemType::Real, "DemoAnalogChannelNoise", "Noise", 75, 0, 100000, "0", 4, "Set noise magnitude. ",
               "the magnitude of the noise added to the waveform.", kChannel),
    };
    return c;
}

Category eventType()
{
    Category c{CategoryKind::Configuration,
               "Event Type",
               5,
               "1-15,17",
               "list:Limit Check,Excitation Alarm,TrigIO1,TrigIO2,TrigPXI0,TrigPXI1,TrigPXI2,TrigPXI3,TrigPXI4,TrigPXI5,"
               "TrigPXI6,TrigPXI7,TrigPXISTAR,Change of State,Trans Complete,,Multibuffer Avail",
               0,
               {{"channelName", "EventChannelName"}, {"enableProperty", "EventChannelEnable"}},
               {"Event functions choose the events the module responds to, and which of them appear as channels of "
                "the stream."}};
    Item enable = checkbox("EventEnable", "Event Enable", 0, "0", 1, "Configure module to respond to a given event type. ",
                           "whether the module responds to the event.", kEvent);
    c.items = {
        enable,
        checkbox("EventChannelEnable", "Enable", 50, "0", 2, "Configure a event channel as enabled or disabled. ",
                 "whether the event appears as a channel of the stream.", kEvent),
        textbox("EventChannelName", "Name", 125, "EventChannel$", 2, "Assign a user-defined name to a event channel. ",
                "the event channel's name in the stream. The name belongs to the session that set it.", kEvent),
    };
    return c;
}

Category deviceOptions()
{
    const char *fixed = " The option is fitted at the factory and is not user configurable: the setter refuses it.";
    static const std::string count = std::string("the number of analog channels.") + fixed;
    static const std::string ready = std::string("whether a filter card is fitted.") + fixed;
    static const std::string option = std::string("the set of filter settings the module supports.") + fixed;
    static const std::string type = std::string("the type of the on-board filter.") + fixed;
    Category c{CategoryKind::Options, "Device Options", 65535, "", "", 0, {}, {deviceOptionsHelp()}};
    c.items = {
        instrumentNameItem(),
        menu("AnalogChannelCount", "Analog Channel Count", 130, "4", 2, "Determines the number of analog channels. ",
             count.c_str(), {{"4 Channels", 4}}),
        checkbox("FilterReady", "Filter Card Ready", 100, "0", 3, "Configures the module for filter options. ",
                 ready.c_str()),
        menu("FilterOption", "Filter Option", 100, "0", 5, "Configures the set of supported filter settings. ",
             option.c_str(),
             {{"No Filter", 0, "TQ718FILTEROPTIONNULL"},
              {"Option1", 1, "TQ718FILTEROPTION1"},
              {"Option2", 2, "TQ718FILTEROPTION2"}}),
        menu("FilterType", "Filter Type", 100, "0", 4, "Configures the type of on board filter. ", type.c_str(),
             {{"No Filter", 0, "TQ718FILTERNULL"},
              {"Bessel", 1, "TQ718FILTERBESSEL"},
              {"Butterworth", 2, "TQ718FILTERBUTTERWORTH"}}),
    };
    return c;
}

} // namespace

const Catalogue &catalogue718()
{
    static const Catalogue c{
        0x718,
        "pxi",
        "tq718",
        "MX718",
        "tqp718_32",
        {"The model 718 is a single-width 6U CompactPCI/PXI module with four isolated input channels for "
         "ten-wire transducer connections. Each channel feeds its own 16-bit converter sampling at up to 250 k "
         "samples per second, and all channels are sampled simultaneously.",
         "Each channel has programmable gain from 1 to 10000 in a 1-2-5 progression, filter cut-offs from 20 Hz to "
         "50 kHz and bypass, voltage or current excitation from 0 to 10 V in 2048 steps with alarm circuitry, bridge "
         "completion for 120, 350 or 1000 ohm bridges (quarter, half or full), bridge balance with a 12-bit offset "
         "DAC, and shunt calibration.",
         "Several modules run together through the PXI trigger lines or the front-panel expansion bus."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq718_reset",
                      {"places the instrument in its power-up state."}},
            utilityFunctions(),
            deviceOptions(),
            global(),
            ioConnector(),
            analogChannel(),
            analogBridge(),
            analogChannelDemo(),
            eventType(),
            Operation{"start", 0, "Start data acquisition. ", "tq718_start",
                      {"marks every multibuffer segment read, sets the continuous run mode and activates the stream.",
                       "Without multibuffers of its own the driver sizes them from the refresh rate and the buffer "
                       "duration."}},
            Operation{"stop", 0, "Stop data acquisition. ", "tq718_stop", {"stops the acquisition."}},
            Operation{"calibrate", 131072, "Perform calibration using the internal calibration source. ", "tq718_calibrate",
                      {"applies known voltages from the internal calibration source to every channel and computes "
                       "the gain and offset coefficients of each. Its progress is reported as the calibration "
                       "event."}},
            streamFunctions(),
            closeFunction(),
        }};
    return c;
}

} // namespace tq::installer
