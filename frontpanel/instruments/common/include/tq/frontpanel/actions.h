// Actions both virtual instruments take alike on their database through the
// resource manager. The session type S is the instrument's own record, with
// manager and sink; broadcast(S &, text) and ownOperation(S &, res, op) are
// the instrument's own, found beside S.
#pragma once

#include <cstddef>

#include "tq/frontpanel/handlers.h"
#include "tqdaq.h"

namespace tq::frontpanel
{

// A resource name as the manager takes it: null for none or empty, which is
// the whole database.
inline const char *orNull(const char *res)
{
    return res && *res ? res : nullptr;
}

// Applies the configuration to the hardware; the manager's message, cut to
// the buffer, in message.
template <size_t N> ViStatus configureHardware(ViSession manager, char (&message)[N])
{
    message[0] = '\0';
    const ViStatus st = tqdaq_configureHW(manager, 1, 1, message);
    message[N - 1] = '\0';
    return st;
}

// Closes the manager's streams before a member's setup changes, and reads
// whether the member is enabled (1) into enable.
inline ViStatus closeStreamsReadEnable(ViSession manager, const char *name, ViInt16 &enable)
{
    tqdaq_closeStreams(manager);
    enable = 0;
    return tqdaq_getVresourceEnable(manager, name, &enable);
}

// The calibration of the resource (the whole database for none): the
// listeners populate, simulation is left and the configuration applied
// first. N is the room the instrument gives the configuration message.
template <size_t N, class S> ViStatus calibrate(S &s, const char *res)
{
    tqdaq_closeStreams(s.manager);
    broadcast(s, "populate");
    ViStatus st = tqdaq_setSimulationMode(s.manager, nullptr, 0);
    if (st < VI_SUCCESS)
        return st;
    char message[N];
    if ((st = configureHardware(s.manager, message)) < VI_SUCCESS) {
        printLine(s.sink, "Error in configuration: %s", message);
        return st;
    }
    return ownOperation(s, res, "calibrate");
}

} // namespace tq::frontpanel
