// The host program's command line: the text after the program name, split
// into the argument vector that Mate.main receives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tq::panelmate
{

// The text is refused from this length on, and when it splits into more
// pieces than the vector has room for beside its first entry.
constexpr size_t kMaxCommandLine = 256;
constexpr size_t kMaxArguments = 32;

// Linux hands the command line over already split: the text is the
// arguments joined with one blank each, as a shell-less start would show it.
std::string joinCommandLine(int argc, const char *const *argv);

struct Arguments {
    std::vector<std::string> entries; // "PanelMate" first
    std::string refusal;              // non-empty when the text is refused
};

// Entry 0 is "PanelMate". Every blank and every tab ends one piece: two in a
// row give an empty piece, and the text after the last one (possibly empty)
// is the last piece. An empty text gives "PanelMate" alone.
Arguments splitCommandLine(std::string_view text);

} // namespace tq::panelmate
