// Result codes of the stream engine at its exported edge, and its debug trace.
#pragma once

#include <cstdint>

#include "tq/visatype.h"

namespace tq::stream {

// Translates a small result of the stream engine into a 32-bit status:
// 0 -> 0, 1 -> 0x3FFC0107, 2 -> 0x3FFF0004, -4 -> 0xBFFF003C,
// -16 -> 0xBFFF003B, -22 -> 0xBFFF0015, anything else -> 0xBFFF0000.
ViStatus statusFromCode(int32_t code);

// Formats like printf, cuts the text at 255 characters and writes it to the
// debug output. Safe on any thread: it uses only its own stack buffer.
void debugTrace(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace tq::stream
