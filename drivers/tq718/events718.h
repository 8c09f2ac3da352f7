// Events of the model 718: event e is bit e - 1 of the event enable and
// event status registers and of the event bits handed to handlers.
#pragma once

#include <cstddef>

#include "session718.h"

namespace tq718
{

// The text of event e for handlers and waiters ("" for events without one).
// Event 1 reads the limit-violation channels and clears them on the board;
// its status is returned.
ViStatus eventText(Session718 &s, int e, char *out, size_t size);

// getEventStatus of the model: status 1 when the event is pending (then,
// when asked, the bit cleared and the text into message), else 0.
ViStatus eventStatus(Session718 &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message);

} // namespace tq718
