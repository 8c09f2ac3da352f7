// Categories that the digital I/O base board and its IndustryPack module
// share item for item: channel groups of eight, digital channels with change
// of state and pattern recognition, and the two event channels. P is the
// driver's prefix in capitals, which its constants carry.
#pragma once

#include "items.h"

namespace tq::installer
{

inline std::vector<Item> channelGroupItems(const char *P, bool strobes)
{
    std::vector<Item> items{
        menu("ChannelGroupDebounceTime", "Debounce", 120, "1", 2, "Set the debounce time for a channel group. ",
             "how long an input of the group must hold a new level before the change counts.",
             {{"Disable", 1, nullptr, "no debouncing"},
              {"1 microsecond", 2},
              {"1 miliisecond", 3},
              {"10 millisecond", 4},
              {"100 millisecond", 5}},
             kGroup),
        menu("ChannelGroupDirection", "Direction", 80, "0", 1, "Set the I/O direction for a channel group. ",
             "whether the eight channels of the group are inputs or outputs.",
             {{"Input", 0, keep(P, "IODIRINPUT")}, {"Output", 1, keep(P, "IODIROUTPUT")}}, kGroup),
        menu("ChannelGroupPowerupOutput", "Powerup", 80, "0", 4,
             "Set the inital state (high or low) on powerup for output channels. ",
             "the level the group's outputs take at power-up; the powerupSave operation stores it.",
             {{"Low", 0, keep(P, "PWRCFGLOW")}, {"High", 1, keep(P, "PWRCFGHIGH")}}, kGroup),
        menu("ChannelGroupInputTermination", "Termination", 110, "0", 3,
             "Set the termination of the channels of a channel group. ",
             "whether the group's inputs are left unterminated or pulled up or down.",
             {{"Unterminated", 0, keep(P, "TERMNONE")},
              {"Pull Up", 1, keep(P, "TERMUP")},
              {"Pull Down", 2, keep(P, "TERMDOWN")}},
             kGroup),
    };
    // What a power cycle or the saved power-up state leaves cannot be
    // foreseen after a reset: stored values always go to the instrument.
    for (Item &item : items)
        if (std::string_view(item.property) != "ChannelGroupDebounceTime")
            item.postResetUnknown = 1;
    if (strobes) {
        items.push_back(menu("ChannelGroupStrobeDelay", "Strobe Delay", 120, "1", 8,
                             "Set delay between write to output channel and strobe assertion. ",
                             "the delay between a write to the group's outputs and the strobe.",
                             {{"1 microsecond", 1}, {"100 nanosecond", 2}}, kGroup));
        items.push_back(checkbox("ChannelGroupStrobeEnable", "Strobe Enable", 85, "0", 5,
                                 "Enable or disable a strobe on a channel group. ",
                                 "whether a write to the group's outputs is followed by a strobe.", kGroup));
        items.push_back(menu("ChannelGroupStrobePolarity", "Strobe Polarity", 110, "0", 7, "Set strobe polarity. ",
                             "whether the strobe pulses low or high.",
                             {{"Pulse Low", 0, keep(P, "STROBEPULSELOW")}, {"Pulse High", 1, keep(P, "STROBEPULSEHIGH")}},
                             kGroup));
        items.push_back(number(ItemType::Int, "ChannelGroupStrobeChannel", "Strobe Channel", 100, 1, 16, "1", 6,
                               "Set strobe channel. ", "the strobe line, 1 to 16, that the group drives.", kGroup));
    }
    return items;
}

inline std::vector<Item> digitalChannelItems(const char *nameDefault)
{
    return {
        checkbox("DigitalChannelEnable", "Enable", 50, "0", 1, "Configure a digital channel as enabled or disabled. ",
                 "whether the channel's data goes into the stream.", kChannel),
        textbox("DigitalChannelName", "Name", 125, nameDefault, 2, "Assign a user-defined name to a digital channel. ",
                "the channel's name in the data stream. The name belongs to the session that assigned it.", kChannel),
        checkbox("DigitalChannelChangeOfStateEnable", "COS Enable", 75, "0", 3,
                 "Configure a digital channel to participate in Change of State. ",
                 "whether a change of the channel's level raises the change of state event.", kChannel),
        checkbox("DigitalChannelPatternEnable", "PAT Enable", 75, "0", 4,
                 "Configure a digital channel to participate in Pattern Recognition. ",
                 "whether the channel takes part in the pattern that raises the pattern recognition event.", kChannel),
        menu("DigitalChannelPatternBit", "PAT Bit", 75, "0", 5,
             "Configure the bit value a digital channel matches in Pattern Recognition. ",
             "the level the channel must have for the pattern to match; 1 is a set bit, any other value a cleared "
             "bit.",
             {{"Bit 1", 1}, {"Bit 0", 0}}, kChannel),
    };
}

inline std::vector<Item> eventItems(const char *P, const char *nameDefault)
{
    return {
        checkbox("EventEnable", "Event Enable", 80, "0", 1, "Configure module to respond to a given event type. ",
                 "whether the module responds to the event. Interrupts report only enabled events.", kEvent),
        checkbox("EventChannelEnable", "Channel Enable", 100, "0", 2,
                 "Configure an event channel as enabled or disabled. ",
                 "whether the event appears as a channel of the stream.", kEvent),
        textbox("EventChannelName", "Name", 125, nameDefault, 3, "Assign a user-defined name to an event channel. ",
                "the event channel's name in the data stream. The name belongs to the session that assigned it.",
                kEvent),
        number(ItemType::Int, "EventChannelDuration", "Duration", 80, 1, 1000, "10", 4,
               "Configure the duration of an event channel pulse. ",
               "for how many scans the event channel stays asserted after the event.", kEvent),
        menu("EventChannelPolarity", "Polarity", 125, "1", 5, "Configure the polarity of the event channel. ",
             "the level the event channel takes while asserted.",
             {{"Assert High", 1, keep(P, "EVENTASSERTHIGH")}, {"Assert Low", 2, keep(P, "EVENTASSERTLOW")}}, kEvent),
    };
}

inline std::vector<const char *> channelGroupHelp()
{
    return {"Options selectable on groups of 8 channels."};
}
inline std::vector<const char *> digitalChannelHelp()
{
    return {"Digital channel functions name the channels, put them into the stream and choose their part in change "
            "of state and pattern recognition."};
}
inline std::vector<const char *> eventTypeHelp()
{
    return {"Event functions choose the events the module responds to, and how they appear as channels of the "
            "stream."};
}

} // namespace tq::installer
