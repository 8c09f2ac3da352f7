// Menus and categories that the bridge and multiplexed analog input modules
// share: trigger conditions, clock sources, PXI routing, the front-panel I/O
// lines, limit checks, demo waveforms, and the counter, frequency and event
// categories of the modules with digital I/O. P is the driver's prefix in
// capitals, which its constants carry.
#pragma once

#include "items.h"

namespace tq::installer
{

// "Disable", the PXI lines, the star trigger, then the I/O lines last.
inline std::vector<Choice> conditionChoices(const char *P, const char *stem)
{
    const std::string s = std::string(P) + stem;
    std::vector<Choice> out{{"Disable", 0, keep(s + "MANUAL")}};
    out = join(out, pxiChoices(3, keep(s + "PXILINE")));
    out.push_back({"PXISTAR", 11, keep(s + "PXISTAR")});
    out.push_back({"I/O 1", 1, keep(s + "IO1")});
    out.push_back({"I/O 2", 2, keep(s + "IO2")});
    return out;
}

inline std::vector<Choice> transientChoices(const char *P)
{
    std::vector<Choice> out = conditionChoices(P, "TRANSOURCE");
    out.front().constant = keep(P, "TRANSOURCEDISCONNECT");
    out.push_back({"Limit Violation", 12, keep(P, "TRANSOURCELIMIT")});
    return out;
}

inline std::vector<Choice> scanClockChoices(const char *P)
{
    std::vector<Choice> out{{"Internal", 1, keep(P, "CLOCKSOURCEINTERNAL")},
                            {"I/O 1", 2, keep(P, "CLOCKSOURCEIO1")},
                            {"I/O 2", 3, keep(P, "CLOCKSOURCEIO2")}};
    out = join(out, pxiChoices(4, keep(P, "CLOCKSOURCEPXI")));
    out.push_back({"PXISTAR", 12, keep(P, "CLOCKSOURCEPXISTAR")});
    return out;
}

// "Disable" 0, then PXI0 to PXI7 as 1 to 8.
inline std::vector<Choice> pxiRoute(const char *P, const char *stem)
{
    const std::string s = std::string(P) + stem;
    return join({{"Disable", 0, keep(s + "DISABLE")}}, pxiChoices(1, keep(s + "PXILINE")));
}

// The trigger and routing items of 'Global' that the modules share, in their
// written order after the rank and decimation items; the callers insert the
// items of their own.
inline Item interruptEnable()
{
    return checkbox("InterruptEnable", "Interrupt Enable", 100, "0", 65535, "Allow asynchronous notification of events. ",
                    "whether the module raises interrupts for the events enabled in the Event Type category. Enable "
                    "the events first: interrupts report only enabled events.");
}
inline Item scanClockSource(const char *P)
{
    return menu("ScanClockSource", "Scan Clock Source", 125, "1", 65535, "Set the scan clock source. ",
                "where the scan clock comes from: the internal clock, a front-panel I/O line, a PXI trigger line or "
                "the star trigger.",
                scanClockChoices(P));
}
inline Item refreshRate(int max)
{
    return number(ItemType::Int, "RefreshRate", "Refresh Rate", 100, 1, max, "2", 2,
                  "Set the rate at which data arrives. ",
                  "how many times per second acquired data is handed to the stream. With the buffer duration it "
                  "sizes the multibuffers.");
}
inline Item bufferDuration()
{
    return number(ItemType::Int, "BufferDuration", "Buffer Duration", 100, 1, 20, "2", 2,
                  "Set the amount of acquired data (in seconds) that are bufferd. ",
                  "how many seconds of acquired data the multibuffers hold.");
}
inline std::vector<Item> triggerItems(const char *P)
{
    return {
        menu("StartCondition", "Start Condition", 100, "0", 5, "Set trigger condtion on which ADC conversion will begin. ",
             "the trigger on which conversion begins. It acts only in the triggered acquisition mode; a trigger "
             "source counts as asserted when it is driven low, unless it is inverted.",
             conditionChoices(P, "ACQGSOURCE")),
        menu("StopCondition", "Stop Condition", 100, "0", 6, "Set condtion on which ADC conversion will stop. ",
             "the trigger on which conversion stops. It acts only in the triggered acquisition mode.",
             conditionChoices(P, "ACQSSOURCE")),
        menu("TransientCondition", "Transient Signal", 125, "0", 8,
             "Set condtion which will trigger a transient capture. ",
             "the signal that triggers the capture of a transient.", transientChoices(P)),
        number(ItemType::Int, "TransientNumScans", "Number Scans", 100, 0, 2147483647, "0", 9,
               "Set the number of post trigger transient scans. ",
               "how many scans a transient capture records after its trigger."),
        menu("TriggerMode", "Trigger Mode", 100, "2", 7,
             "Configure the start/stop triggers to be pulse or level sensative. ",
             "how the start and stop triggers act. With pulses on two inputs, a pulse on the start input starts "
             "the acquisition and one on the stop input stops it. With pulses on one input, each pulse toggles the "
             "run mode. With a level on one input, the acquisition runs while the input is asserted.",
             {{"Level", 2, keep(P, "TRIGSENSELEVEL"), "the acquisition runs while the start input is asserted"},
              {"Pulse", 1, keep(P, "TRIGSENSEPULSE"), "the acquisition starts and stops on pulses"}}),
        menu("AcqMode", "ACQ Mode", 100, "1", 4,
             "Configure the condition that will activate data collection on the device. ",
             "what activates data collection: the start operation alone, or the start and stop conditions.",
             {{"Manual", 1, keep(P, "ACQMODEMANUAL")}, {"Triggered", 2, keep(P, "ACQMODETRIGGER")}}),
    };
}
inline std::vector<Item> routingItems(const char *P)
{
    return {
        menu("ScanClockToPXILine", "Clock PXI Line", 125, "0", 65535, "Route the Scan Clock to a PXI trigger line. ",
             "the PXI trigger line that carries the scan clock to other modules.", pxiRoute(P, "SCANROUTE")),
        menu("LimitViolationToPXILine", "Limit PXI Line", 100, "0", 65535,
             "Route the Limit Violation signal to a PXI trigger line. ",
             "the PXI trigger line that carries the limit violation signal.", pxiRoute(P, "LIMITROUTE")),
        checkbox("VerboseEnable", "Verbose", 100, "0", 65535, "Configure verbosity. ",
                 "whether the driver reports its steps as status lines."),
    };
}

inline Category ioConnector(const char *P, int orderseq, const char *help)
{
    const std::vector<Choice> inversion{{"Disable", 0, "VI_FALSE"}, {"Enable", 1, "VI_TRUE"}};
    const std::vector<Choice> route =
        join({{"Disable", 1, keep(P, "IOROUTEDISABLE")}}, pxiChoices(2, keep(P, "IOROUTEPXI")));
    Category c{CategoryKind::Configuration, "I/O Connector", orderseq, "1-2", "list:I/O 1,I/O 2", 0, {}, {help}};
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
             join(route, {{"Scan Clock", 10, keep(P, "IOROUTESCANCLOCK")}, {"Limit Violation", 11, keep(P, "IOROUTELIMIT")}}),
             kLine),
    };
    return c;
}

// Input ranges from +/-10 V down, as many as the module offers.
inline std::vector<Choice> inputRanges(const char *P, size_t count)
{
    static const char *const kNames[][2] = {
        {"-10V to 10V", "10VTO10V"},       {"-5V to 5V", "5VTO5V"},           {"-2V to 2V", "2VTO2V"},
        {"-1V to 1V", "1VTO1V"},           {"-500mV to 500mV", "500MVTO500MV"}, {"-200mV to 200mV", "200MVTO200MV"},
        {"-100mV to 100mV", "100MVTO100MV"}, {"-50mV to 50mV", "50MVTO50MV"},     {"-20mV to 20mV", "20MVTO20MV"},
        {"-10mV to 10mV", "10MVTO10MV"},   {"-5mV to 5mV", "5MVTO5MV"}};
    std::vector<Choice> out;
    for (size_t i = 0; i < count && i < std::size(kNames); ++i)
        out.push_back({kNames[i][0], static_cast<long>(i + 1), keep(std::string(P) + "INPUTRANGEMINUS" + kNames[i][1])});
    return out;
}

inline std::vector<Item> limitCheckItems(const char *modeLabel, int modeWidth, int firstOrder)
{
    return {
        menu("AnalogChannelLimitCheckMode", modeLabel, modeWidth, "1", firstOrder,
             "Select the limit check mode for a channel. ",
             "how the channel is checked against its limits: not at all, against a minimum and a maximum, or "
             "against a level and a slope.",
             {{"Off", 1}, {"Min/Max", 2}, {"Level/Slope", 3}}, kChannel),
        number(ItemType::Real, "AnalogChannelLimitCheckMinLvl", "Min/Level", 75, -10, 10, "0", firstOrder + 1,
               "Select the limit check value for the minimum threshold (min/max mode) or the level threshold "
               "(level/slope mode). ",
               "the minimum in the min/max mode, or the level in the level/slope mode, in volts.", kChannel),
        number(ItemType::Real, "AnalogChannelLimitCheckMaxSlope", "Max/Slope", 75, -10, 10, "0", firstOrder + 2,
               "Select the limit check Max/Slope value for a channel. ",
               "the maximum in the min/max mode, or the slope in the level/slope mode.", kChannel),
    };
}

inline Category analogChannelDemo(const char *P, int orderseq, const char *range, bool thermocouple)
{
    std::vector<Choice> waves{{"sawtooth", 1, keep(P, "DEMOTYPESAWTOOTH")},
                              {"sin", 2, keep(P, "DEMOTYPESIN")},
                              {"triangle", 3, keep(P, "DEMOTYPETRI")},
                              {"flat", 4, keep(P, "DEMOTYPEFLAT")},
                              {"square", 5, keep(P, "DEMOTYPESQUARE")}};
    if (thermocouple)
        waves.push_back({"type j thermocouple", 6, keep(P, "DEMOTYPETHERMOJ"),
                         "a type J thermocouple at the temperature, in degrees C, that the offset gives"});
    Category c{CategoryKind::Configuration, "Analog Channel Demo", orderseq, range, "template:Analog Channel $", 1, {},
               {"Demo functions shape the signal each analog channel generates when the module runs without "
                "hardware."}};
    c.items = {
        menu("DemoAnalogChannelType", "Waveform", 135, "1", 1,
             "Select the waveform the channel will generate in demo mode. ", "the waveform the channel generates.",
             waves, kChannel),
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

inline Item digitalDirectionItem(const char *P)
{
    return menu("DigitalChannelDirection", "Digital Direction", 125, "0", 3,
                "Set the direction (input or output) of a digital channel. ",
                "whether the digital channel is an input or an output.",
                {{"Input", 0, keep(P, "DIGITALDIRECTIONINPUT")}, {"Output", 1, keep(P, "DIGITALDIRECTIONOUTPUT")}},
                kChannel);
}

inline Category digitalChannelDemo(int orderseq)
{
    Category c{CategoryKind::Configuration, "Digital Channel Demo", orderseq, "1-16", "template:Digital Channel $", 1,
               {}, {"Demo functions shape the square wave each digital channel generates without hardware."}};
    c.items = {
        number(ItemType::Int, "DemoDigitalChannelDutyCycle", "Duty Cycle", 75, 1, 100, "50", 2,
               "Configure duty cycle of digital demo channel. ",
               "the share of each period, in per cent, for which the channel is high.", kChannel),
        number(ItemType::Int, "DemoDigitalChannelOffset", "Cycle Offset", 75, 0, 100, "0", 3,
               "Configure cycle offset of digital demo channel. ",
               "how far, in per cent of a period, the channel's wave is shifted.", kChannel),
    };
    return c;
}

// "UnMap" and the sixteen digital channels a counter or frequency channel
// can take its input from.
inline std::vector<Choice> digitalInputChoices()
{
    std::vector<Choice> out{{"UnMap", 0, nullptr, "no input: the channel does nothing"}};
    for (int i = 1; i <= 16; ++i)
        out.push_back({keep("Digital Channel " + std::to_string(i)), i});
    return out;
}

// 'Counter Channel' or 'Frequency Channel': Kind is "Counter" or "Frequency".
inline Category mappedChannel(const char *kind, int orderseq)
{
    const std::string k = kind;
    std::string lower = k;
    lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
    Category c{CategoryKind::Configuration,
               keep(k + " Channel"),
               orderseq,
               "1-2",
               keep("template:" + k + " Channel $"),
               0,
               {{"formulaProperty", keep(k + "ChannelExpression"), StandardItem::Expression},
                {"channelName", keep(k + "ChannelName")},
                {"enableProperty", keep(k + "ChannelEnable")}},
               {keep(k + " channel functions map a digital input to each " + lower +
                     " channel and put the channel into the stream; a channel does nothing until an input is "
                     "mapped to it.")}};
    c.items = {
        checkbox(keep(k + "ChannelEnable"), "Enable", 50, "0", 1,
                 keep("Configure a " + lower + " channel as enabled or disabled. "),
                 "whether the channel's data goes into the stream.", kChannel),
        textbox(keep(k + "ChannelName"), "Name", 125, keep(k + "Channel$"), 2,
                keep("Assign a user-defined name to a " + lower + " channel. "),
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
        menu(keep("MapDigitalInputTo" + k), "Digital Channel", 150, "0", 3,
             keep("Map digital input channels to " + lower + ". "),
             keep("the digital input that the " + lower + " channel " +
                  (k == "Counter" ? "counts the edges of." : "measures the frequency of.")),
             digitalInputChoices(), kChannel),
    };
    return c;
}

} // namespace tq::installer
