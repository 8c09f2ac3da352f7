// Result codes of the stream engine at its exported edge, and its debug trace.
#pragma once

#include <cstdint>

#include "tq/platform/sync.h"
#include "tq/visatype.h"

namespace tq::stream {

// Translates a small result of the stream engine into a 32-bit status:
// 0 -> 0, 1 -> 0x3FFC0107, 2 -> 0x3FFF0004, -4 -> 0xBFFF003C,
// -16 -> 0xBFFF003B, -22 -> 0xBFFF0015, anything else -> 0xBFFF0000.
ViStatus statusFromCode(int32_t code);

// The result of taking a lock of the stream engine (a stream's data lock, a
// message queue's lock): acquired 0, time-out -22, anything else -6.
int32_t lockResult(tq::platform::WaitResult result);

// Formats like printf, cuts the text at 255 characters and writes it to the
// debug output. Safe on any thread: it uses only its own stack buffer.
void debugTrace(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace tq::stream
