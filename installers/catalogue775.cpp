// The catalogue of model 775: the eight-channel frequency counter.
#include "blocks.h"
#include "catalogues.h"
#include "items.h"

namespace tq::installer
{

namespace
{

// The trigger lines 0 to 7 and the star trigger, as every clock menu of the
// counter offers them.
std::vector<Choice> triggerLines()
{
    std::vector<Choice> out;
    for (int i = 0; i < 8; ++i)
        out.push_back({keep("PXI " + std::to_string(i)), i, keep("TQ775_TRIGGER_LINE" + std::to_string(i))});
    out.push_back({"PXI Star", 8, "TQ775_TRIGGER_STAR"});
    return out;
}

Category deviceOptions()
{
    Category c{CategoryKind::Options, "Device Options", 65535, "", "", 0, {}, {deviceOptionsHelp()}};
    c.items = {
        instrumentNameItem(),
        menu("ThresholdOption", "Input Threshold", 0, "1", 65535, "Determines the input threshold options. ",
             "the set of input thresholds the channels accept. The option is set at the factory: the setter is not "
             "supported, and the getter reports the board's option.",
             {{"Option A", 1, "TQ775THRESHOLDOPTIONA", "thresholds of 20, 40, 100 and 200 mV"},
              {"Option B", 2, "TQ775THRESHOLDOPTIONB", "thresholds of 100, 200, 500 and 1000 mV"}}),
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
               {"Global functions configure the counter as a whole: its observation window, its clocks and their "
                "routing to the trigger lines, its interrupts and its health check."}};
    const std::vector<Choice> noConnection{{"No Connection", 9, nullptr, "the clock drives no trigger line"}};
    c.items = {
        number(ItemType::Int, "ObservationWindowSize", "Window Size", 90, 1, 1024, "1", 1,
               "Set the observation window size ",
               "the observation window, 1 to 1024 ms, over which each channel's edges are counted against the tick "
               "clock."),
        menu("TickClockRate", "Tick Clock Rate", 100, "10", 2, "Set the tick clock rate. ",
             "the rate of the tick clock, the standard the measurements are made against. With an external tick "
             "clock its rate must be given here.",
             {{"10 MHZ", 10, "TQ775_10MHZ_TICK_CLOCK"}, {"1 MHZ", 11, "TQ775_1MHZ_TICK_CLOCK"}}),
        menu("WindowClockSource", "Window Clock Source", 145, "12", 7, "Set the Window Clock Source. ",
             "where the clock that opens and closes the observation window comes from.",
             join({{"Internal", 12, "TQ775_INTERNAL_WINDOW"}}, triggerLines())),
        menu("TickClockSource", "Tick Clock Source", 125, "13", 5, "Set the Tick Clock Source. ",
             "where the tick clock comes from: the internal clock, a trigger line or the 10 MHz backplane clock.",
             join(join({{"Internal", 13, "TQ775_INTERNAL_TICK"}}, triggerLines()),
                  {{"10 MHz", 14, "TQ775_10MHZ_SYSTEM_CLOCK"}})),
        menu("WindowClockToTriggerLineOut", "Window Clock Output", 145, "9", 8, "Set the Window Clock Trigger. ",
             "the trigger line that carries the window clock to other counters, so that several modules measure "
             "over the same window.",
             join(noConnection, triggerLines())),
        menu("TickClockToTriggerLineOut", "Tick Clock Output", 125, "9", 6, "Set the Tick Clock Output. ",
             "the trigger line that carries the tick clock to other counters.", join(noConnection, triggerLines())),
        checkbox("InterruptEnable", "Interrupt Enable", 100, "0", 3, "Enable or Disable interrupts. ",
                 "whether the counter raises interrupts, such as a channel's overflow."),
        menu("HealthCheck", "Health Check", 100, "27", 4, "Select Health Check mode. ",
             "the health check: when it is on, every channel takes its input from the health-check inputs of the "
             "chosen kind.",
             {{"Disable", 27, "TQ775_DISABLE_HEALTHCHECK"},
              {"Differential", 25, "TQ775_DIFFERENTIAL_HEALTHCHECK"},
              {"TTL", 26, "TQ775_TTL_HEALTHCHECK"}}),
    };
    return c;
}

Category channel()
{
    Category c{CategoryKind::Configuration,
               "Channel",
               2,
               "1-8",
               "template:Channel $",
               0,
               {{"formulaProperty", "ChannelExpression", StandardItem::Expression},
                {"channelName", "ChannelName"},
                {"enableProperty", "ChannelEnable"}},
               {"Functions for configuring individual channels."}};
    c.items = {
        checkbox("ChannelEnable", "Enable", 50, "0", 1, "Configure a channel as enabled or disabled. ",
                 "whether the channel's measurement goes into the stream.", kChannel),
        textbox("ChannelName", "Name", 125, "Channel$", 2, "Assign a user-defined name to a channel. ",
                "the channel's name in the stream. The name belongs to the session that set it.", kChannel),
        menu("ChannelThreshold", "Threshold", 90, "17", 3, "Set input threshold for a channel. ",
             "the switching threshold of the channel's input. Option A accepts 20 to 200 mV, option B 100 to 1000 "
             "mV; the default of 100 mV suits both.",
             {{"1000 mV", 20, "TQ775_THLDINDX_1000"},
              {"500 mV", 19, "TQ775_THLDINDX_500"},
              {"200 mV", 18, "TQ775_THLDINDX_200"},
              {"100 mV", 17, "TQ775_THLDINDX_100"},
              {"40 mV", 16, "TQ775_THLDINDX_40"},
              {"20 mV", 15, "TQ775_THLDINDX_20"}},
             kChannel),
        checkbox("ChannelFilterEnable", "Filter", 50, "0", 4, "Enable or disable Filtering on a given channel. ",
                 "whether the channel's 50 kHz low-pass filter is in the signal path.", kChannel),
        checkbox("ChannelInterruptEnable", "Interrupt", 70, "0", 7, "Configure a channel to interrupt on overflow. ",
                 "whether the channel interrupts when its count overflows, as a slow signal can make it.", kChannel),
        menu("ChannelCoupling", "Coupling", 75, "24", 5, "Select AC or DC coupling. ",
             "the channel's input coupling; any value other than AC gives DC.",
             {{"DC", 24, "TQ775_DC_COUPLING"}, {"AC", 23, "TQ775_AC_COUPLING"}}, kChannel),
        menu("ChannelInputType", "Input Type", 100, "21", 6, "Select Differential or TTL inputs. ",
             "the channel's input path; any value other than differential gives TTL.",
             {{"Differential", 21, "TQ775_DIFFERENTIAL_INPUT"}, {"TTL", 22, "TQ775_TTL_INPUT"}}, kChannel),
    };
    return c;
}

} // namespace

const Catalogue &catalogue775()
{
    static const Catalogue c{
        0x775,
        "pxi",
        "tq775",
        "MX775",
        "tqp775_32",
        {"The model 775 is a single-width 3U PXI module with eight frequency counter channels, which measure over a "
         "wide frequency range without a change of settings.",
         "Each channel has a TTL and a differential input path with filtering and hysteresis, a programmable "
         "switching threshold and AC or DC coupling."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq775_reset",
                      {"returns the instrument to its power-up state."}},
            utilityFunctions(),
            deviceOptions(),
            global(),
            channel(),
            Operation{"start", 0, "Start data acquisition. ", "tq775_start",
                      {"marks all buffer segments read, enters the continuous run mode and starts the session's "
                       "stream."}},
            Operation{"stop", 0, "Stop data acquisition. ", "tq775_stop",
                      {"leaves the continuous run mode and frees the stream's resources."}},
            closeFunction(),
        }};
    return c;
}

} // namespace tq::installer
