// The catalogue of model 740: the 32-channel digital I/O IndustryPack module
// that sits on a site of the model 747 carrier. Acquisition is the
// carrier's: no rank, no decimation, no start or stop.
#include "blocks.h"
#include "blocks_digital.h"
#include "catalogues.h"

namespace tq::installer
{

const Catalogue &catalogue740()
{
    static const Catalogue c{
        0x740,
        "ip",
        "tq740",
        "MX740",
        "tqp740_32",
        {"The model 740 is an IndustryPack module with 32 bidirectional digital input/output channels in 4 groups of "
         "8, built to the mandatory IndustryPack standards. It is meant to accompany the model 747 base board, whose "
         "stream carries its channels."},
        {
            initializeFunction(),
            Operation{"reset", 0, "Place the instrument in its default state. ", "tq740_reset",
                      {"performs a soft reset of the module, as opposed to tq740_resetEx."}},
            utilityFunctions(),
            Category{CategoryKind::Options, "Device Options", 65535, "", "", 0, {}, {deviceOptionsHelp()},
                     {instrumentNameItem()}},
            Category{CategoryKind::Configuration, "Global", 1, "", "Global", 0, {},
                     {"Global functions configure the module as a whole."},
                     {checkbox("InterruptEnable", "Interrupt Enable", 100, "0", 65535,
                               "Allow asynchronous notification of events. ",
                               "whether the module raises interrupts for change of state and pattern recognition. "
                               "Enable the events first: interrupts report only enabled events.")}},
            Category{CategoryKind::Configuration, "Channel Group", 3, "1-4",
                     "list:Channels 1-8,Channels 9-16,Channels 17-24,Channels 25-32", 0, {}, channelGroupHelp(),
                     channelGroupItems("TQ740", false)},
            Category{CategoryKind::Configuration,
                     "Digital Channel",
                     2,
                     "1-32",
                     "template:Digital Channel $ site #",
                     0,
                     {{"formulaProperty", "DigitalChannelExpression", StandardItem::Expression},
                      {"channelName", "DigitalChannelName"},
                      {"enableProperty", "DigitalChannelEnable"},
                      {"channelDirection", "DigitalChannelDirection"}},
                     digitalChannelHelp(),
                     digitalChannelItems("DigitalChannel$site#")},
            Category{CategoryKind::Configuration,
                     "Event Type",
                     4,
                     "1-2",
                     "list:Change Of State,Pattern Recognition",
                     0,
                     {{"formulaProperty", "EventChannelExpression", StandardItem::Expression},
                      {"channelName", "EventChannelName"},
                      {"enableProperty", "EventChannelEnable"}},
                     eventTypeHelp(),
                     eventItems("TQ740", "EventChannel$site#")},
            Operation{"powerupSave", 0, "Save properties to be automatically restored on powerup. ",
                      "tq740_powerupSave",
                      {"stores each channel's direction, output level and input termination, which the module "
                       "restores at the next power cycle or reset."}},
            Operation{"powerupClear", 0, "Clear saved properties. ", "tq740_powerupClear",
                      {"removes the stored power-up state."}},
        }};
    return c;
}

} // namespace tq::installer
