// VISA formatted I/O (viPrintf, viScanf, viQueryf and their va_list forms):
// the conversions of the C library with VISA's sizes and extras.
//
// Sizes follow VISA, not the host's C library: no modifier is an int, 'h' a
// 16-bit integer, 'l' a 32-bit integer (a double for the floating-point
// conversions), "ll" a 64-bit integer. Reads know "%t" (the rest of the
// message, termination character included) and "%T" (up to and including a
// line feed); '#' before a string conversion ("%#t", "%#s", "%#[...]") takes
// a ViUInt32 * holding the buffer's size first and writes back the
// characters stored, so that a reply can never run past the buffer.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "tq/visatype.h"

namespace tq::sim
{

// Checks a format without touching any argument: VI_ERROR_INV_FMT for a
// malformed conversion, VI_ERROR_NSUP_FMT for one this library does not
// offer (binary blocks, arrays).
ViStatus checkWriteFormat(const char *format);
ViStatus checkReadFormat(const char *format);

// Appends the formatted text to out, taking the arguments from *args in
// order. A format that checkWriteFormat refuses gives its status and
// consumes nothing.
ViStatus formatWrite(const char *format, va_list *args, std::string &out);

// Scans one message with a read format, storing through the pointers taken
// from *args in order. As with the C library, a part of the message that
// does not match the format ends the scan without error: the arguments of
// the conversions not reached are left as they were. Any remainder of the
// message is dropped.
ViStatus scanRead(const char *format, va_list *args, std::string_view message);

} // namespace tq::sim
