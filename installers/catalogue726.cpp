// The catalogue of model 726: the 32- or 64-channel analog output module.
#include "blocks.h"
#include "catalogues.h"
#include "items.h"

namespace tq::installer
{

const Catalogue &catalogue726()
{
    static const Catalogue c{
        0x726,
        "pxi",
        "tq726",
        "MX726",
        "tqp726_32",
        {"The model 726 is a single-width 6U CompactPCI module with 32 or 64 independent 16-bit analog output "
         "channels, a factory option. Its outputs span 10 V full scale with 1 mV accuracy and are updated every 2 "
         "ms; each channel can be given a power-up value.",
         "Paired output signals reject ground offsets. The 32-channel module has one 68-pin shielded connector, the "
         "64-channel module two."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq726_reset",
                      {"performs a soft reset of the module, as opposed to tq726_resetEx."}},
            utilityFunctions(),
            Category{CategoryKind::Options,
                     "Device Options",
                     65535,
                     "",
                     "",
                     0,
                     {},
                     {deviceOptionsHelp()},
                     {[] {
                          Item name = instrumentNameItem();
                          name.width = 175;
                          return name;
                      }(),
                      menu("ChannelCount", "Channels", 150, "64", 2, "Determines the number of channels. ",
                           "the number of output channels. The option is set at the factory: the setter is not "
                           "supported, and the getter reports the board's option.",
                           {{"64 Channels", 64}, {"32 Channels", 32}})}},
            Category{CategoryKind::Configuration,
                     "Global",
                     1,
                     "",
                     "Global",
                     0,
                     {{"rankProperty", "Rank", StandardItem::Rank}},
                     {"Global functions set how often the module's outputs are refreshed from the stream."},
                     {number(ItemType::Real, "OutputScanRate", "Scan Rate", 125, 0.5, 1000, "0.5", 1,
                             "Set the refresh rate of the output functions. ",
                             "how many times per second the outputs are written, 0.5 to 1000."),
                      number(ItemType::Real, "OutputRecycleRate", "Recycle Rate", 125, 0, 100, "0", 2,
                             "Set the refresh rate of the output functions. ",
                             "how many times per second the output buffer is written out again, between 0 and "
                             "100.")}},
            Category{CategoryKind::Configuration,
                     "Source Channel",
                     2,
                     "1-ChannelCount",
                     "template:Channel $",
                     0,
                     {{"formulaProperty", "ChannelExpression", StandardItem::Expression},
                      {"channelName", "ChannelName"},
                      {"enableProperty", "ChannelEnable"},
                      {"channelDirection", "output"}},
                     {"Functions to configure the device to output a particular stimulus."},
                     {checkbox("ChannelEnable", "Enable", 50, "0", 1, "Configure a channel as enabled or disabled. ",
                               "whether the channel takes its values from the stream.", kChannel),
                      textbox("ChannelName", "Name", 125, "Channel$", 2, "Assign a user-defined name to a channel. ",
                              "the channel's name in the stream. The name belongs to the session that assigned it.",
                              kChannel)}},
            Operation{"start", 0, "Start data acquisition. ", "tq726_start",
                      {"marks all buffer segments read, enters the continuous run mode and starts the session's "
                       "stream."}},
            Operation{"stop", 0, "Stop data acquisition. ", "tq726_stop",
                      {"leaves the continuous run mode and frees the stream's resources."}},
            streamFunctions(),
            closeFunction(),
        }};
    return c;
}

} // namespace tq::installer
