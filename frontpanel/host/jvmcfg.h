// The runtime's list of VM libraries (lib/jvm.cfg): one entry a line, such as
// "-server KNOWN"; the entry without its first character names the
// directory of lib/<directory>/libjvm.so.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tq::panelmate
{

constexpr size_t kMaxVmEntries = 10;

// The directories named by the file's entries, in order, at most
// kMaxVmEntries. Lines beginning with '#' are comments. An entry is the
// line's first word, without its line end ("\n", "\r\n" or none on the last
// line). Entries too short to name a directory, or naming one outside lib/
// ('/', ".", ".."), are passed over.
std::vector<std::string> vmDirectories(std::string_view text);

} // namespace tq::panelmate
