// XML text: the three characters that cannot stand as they are in element
// text ('&', '<', '>') and their entities. Category names and channel
// references are stored in the escaped form, listings and layout files carry
// it, and lookups by a caller's name escape it first.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tq::platform
{

// Length of text once every '&', '<' and '>' is replaced by its entity.
size_t xmlEscapedLength(std::string_view text);

// Escapes text in place. text lives in a buffer of size bytes; when the
// escaped text and its terminator would not fit, false is returned and the
// text is left as it was.
bool escapeXml(char *text, size_t size);

// Writes the escaped text into out (size bytes, always terminated when size
// is not 0). Characters are written whole: when the rest does not fit, the
// text is cut before the first character (or entity) that does not, and
// false is returned.
bool escapeXmlInto(char *out, size_t size, const char *text);

// Appends the escaped text to out.
void appendEscapedXml(std::string &out, std::string_view text);

// The inverse, in place and in one pass from left to right: each "&amp;",
// "&lt;" and "&gt;" becomes its character; any other '&' stays as it is. The
// characters a replacement makes are not looked at again, so "&amp;lt;"
// gives "&lt;".
void unescapeXml(char *text);

} // namespace tq::platform
