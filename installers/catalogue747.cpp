// The catalogue of model 747: the 128-channel digital I/O base board with
// four IndustryPack sites.
#include "blocks.h"
#include "blocks_digital.h"
#include "catalogues.h"

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
               {{"rankProperty", "Rank", StandardItem::Rank}, {"decimationProperty", "Decimation", StandardItem::Decimation}},
               {"Global functions configure the board as a whole: its scan clock, its interrupts and the size and "
                "refresh of its buffers."}};
    c.items = {
        checkbox("InterruptEnable", "Interrupt Enable", 100, "0", 65535, "Allow asynchronous notification of events. ",
                 "whether the board raises interrupts for change of state and pattern recognition. Enable the events "
                 "first: interrupts report only enabled events."),
        // The default is the driver's rate after a reset.
        number(ItemType::Real, "ScanClockRate", "Scan Clock Rate", 125, 1, 1000, "10", 1, "Set the scan clock rate. ",
               "the rate, in scans per second, at which the channels are read into the stream."),
        number(ItemType::Int, "RefreshRate", "Refresh Rate", 100, 1, 10, "2", 2, "Set the rate at which data arrives. ",
               "how many buffers per second are handed to the stream. With the buffer duration it sizes the "
               "acquisition buffers."),
        number(ItemType::Real, "RecycleRate", "Recycle Rate", 125, 0, 1000, "0", 4,
               "Set the rate at which asynchronous output buffers are recycled. ",
               "how many times per second the output buffers are written out again; 0 writes each once."),
        number(ItemType::Int, "BufferDuration", "Buffer Duration", 100, 1, 20, "2", 3,
               "Set the amount of acquired data (in seconds) that are bufferd. ",
               "how many seconds of acquired data the buffers keep."),
    };
    return c;
}

std::string groupLabels()
{
    std::string label = "list:";
    for (int k = 1; k <= 16; ++k)
        label += (k > 1 ? "," : "") + std::string("Channels ") + std::to_string(8 * k - 7) + "-" + std::to_string(8 * k);
    return label;
}

Category channelGroup()
{
    static const std::string label = groupLabels();
    Category c{CategoryKind::Configuration, "Channel Group", 3, "1-16", label.c_str(), 0, {}, channelGroupHelp()};
    c.items = channelGroupItems("TQ747", true);
    return c;
}

Category digitalChannel()
{
    Category c{CategoryKind::Configuration,
               "Digital Channel",
               2,
               "1-128",
               "template:Digital Channel $",
               0,
               {{"formulaProperty", "DigitalChannelExpression", StandardItem::Expression},
                {"channelName", "DigitalChannelName"},
                {"enableProperty", "DigitalChannelEnable"},
                {"channelDirection", "DigitalChannelDirection"}},
               digitalChannelHelp()};
    c.items = digitalChannelItems("DigitalChannel$");
    return c;
}

Category digitalChannelDemo()
{
    Category c{CategoryKind::Configuration, "Digital Channel Demo", 4, "1-128", "template:Digital Channel $", 1, {},
               {"Demo functions shape the square wave each digital channel generates when the board runs without "
                "hardware."}};
    c.items = {
        number(ItemType::Real, "DemoDigitalChannelFrequency", "Frequency", 125, 0.05, 1000, "1", 1,
               "Configure frequency of digital demo channel. ", "the frequency of the channel's square wave in Hz.",
               kChannel),
        number(ItemType::Int, "DemoDigitalChannelDutyCycle", "Duty Cycle", 75, 1, 100, "50", 2,
               "Configure duty cycle of digital demo channel. ",
               "the share of each period, in per cent, for which the channel is high.", kChannel),
        number(ItemType::Int, "DemoDigitalChannelOffset", "Cycle Offset", 75, 0, 100, "0", 3,
               "Configure cycle offset of digital demo channel. ",
               "how far, in per cent of a period, the channel's wave is shifted.", kChannel),
    };
    return c;
}

Category eventType()
{
    Category c{CategoryKind::Configuration,
               "Event Type",
               5,
               "1-2",
               "list:Change Of State,Pattern Recognition",
               0,
               {{"formulaProperty", "EventChannelExpression", StandardItem::Expression},
                {"channelName", "EventChannelName"},
                {"enableProperty", "EventChannelEnable"}},
               eventTypeHelp()};
    c.items = eventItems("TQ747", "EventChannel$");
    return c;
}

} // namespace

const Catalogue &catalogue747()
{
    static const Catalogue c{
        0x747,
        "pxi",
        "tq747",
        "MX747",
        "tqp747_32",
        {"The model 747 is a single-width 6U CompactPCI/PXI digital input/output board. Its base board carries 128 "
         "TTL channels in 16 groups of 8; four IndustryPack sites take mezzanine cards, such as the 32-channel "
         "digital I/O module 740, for up to 256 channels.",
         "Pattern recognition and change of state detection work across the channels of the base board and its "
         "mezzanines. Input and output strobes, and three 68-position connectors, complete the board."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq747_reset",
                      {"performs a soft reset of the board, as opposed to tq747_resetEx, which also resets the "
                       "IndustryPack sites."}},
            utilityFunctions(),
            Category{CategoryKind::Options, "Device Options", 65535, "", "", 0, {}, {deviceOptionsHelp()},
                     {instrumentNameItem()}},
            global(),
            channelGroup(),
            digitalChannel(),
            digitalChannelDemo(),
            eventType(),
            Operation{"start", 0, "Start data acquisition. ", "tq747_start",
                      {"marks all buffer segments read, enters the continuous run mode and starts the session's "
                       "stream, allocating default buffers when it has none."}},
            Operation{"stop", 0, "Stop data acquisition. ", "tq747_stop",
                      {"leaves the continuous run mode and frees the stream's resources."}},
            Operation{"powerupSave", 0, "Save properties to be automatically restored on powerup. ",
                      "tq747_powerupSave",
                      {"stores each channel's direction, output level and input termination, which the board restores "
                       "at the next power cycle or reset."}},
            Operation{"powerupClear", 0, "Clear saved properties. ", "tq747_powerupClear",
                      {"removes the stored power-up state."}},
        }};
    return c;
}

} // namespace tq::installer
