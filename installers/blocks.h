// Blocks that read the same in every catalogue: the function groups with
// their help text, the device options' name item.
#pragma once

#include "installer.h"

namespace tq::installer
{

inline Category initializeFunction()
{
    return {CategoryKind::FunctionGroup, "Initialize Function", 65535, "", "", 0, {},
            {"The initialize function opens the software connection to the instrument and returns the session that "
             "every other function takes."}};
}
inline Category utilityFunctions()
{
    return {CategoryKind::FunctionGroup, "Utility Functions", 65535, "", "", 0, {},
            {"Utility functions reset the instrument, run its self test and report its revision and its errors."}};
}
inline Category streamFunctions()
{
    return {CategoryKind::FunctionGroup, "Stream Functions", 65535, "", "", 0, {},
            {"A data stream records, retrieves and monitors the data the instrument samples."}};
}
inline Category closeFunction()
{
    return {CategoryKind::FunctionGroup, "Close Function", 65535, "", "", 0, {},
            {"The close function ends the session with the instrument and frees the resources it held."}};
}
inline const char *deviceOptionsHelp()
{
    return "Device options functions are used to query the model for certain device options configured at the "
           "factory.";
}
inline Item instrumentNameItem()
{
    return {.property = "InstrumentName",
            .type = ItemType::Textbox,
            .label = "Name",
            .width = 125,
            .dflt = "",
            .orderseq = 1,
            .tooltip = "Give a user friendly name for the instrument. ",
            .sets = "the name under which the instrument is shown to users. The name belongs to the session that set "
                    "it.",
            .valueHelp = "The name, up to 255 characters."};
}

} // namespace tq::installer
