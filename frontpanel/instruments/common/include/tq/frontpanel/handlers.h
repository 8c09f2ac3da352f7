// What both virtual instruments keep alike: the table of instrument event
// handlers installed on a session, and the lines they print into a message
// sink.
#pragma once

#include <cstdint>

#include "tqpnp.h"

namespace tq::frontpanel
{

struct EventHandlerEntry {
    ViUInt32 mask = 0;
    TQInstrumentEventHandler handler = nullptr;
    void *userData = nullptr;
    ViChar *message = nullptr;
};

// At most three handlers, in installation order.
struct EventHandlerTable {
    static constexpr uint16_t kMax = 3;
    EventHandlerEntry entries[kMax] = {};
    uint16_t count = 0;

    // Appends an entry: 0; 0xBFFF0028 when three are installed; a null
    // handler, which the next event would call, is refused (0xBFFF0029).
    ViStatus install(ViUInt32 mask, TQInstrumentEventHandler handler, void *userData, ViChar *message);
    // Removes every entry of this handler and user data, the last entry
    // moving into the freed place; 0 also when none matched.
    ViStatus uninstall(TQInstrumentEventHandler handler, void *userData);
};

// Keeps sink (one reference added) in place of field's sink (released).
void replaceSink(TQStreamMsg *&field, TQStreamMsg *sink);

// One formatted line into a sink, under the queue's own lock; nothing without
// a sink. Lines are cut at 1023 characters.
void printLine(TQStreamMsg *sink, const char *format, ...) __attribute__((format(printf, 2, 3)));

} // namespace tq::frontpanel
