#include "cmdline.h"

#include <cstdio>

namespace tq::panelmate
{

std::string joinCommandLine(int argc, const char *const *argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
}

Arguments splitCommandLine(std::string_view text)
{
    Arguments out;
    if (text.size() >= kMaxCommandLine) {
        out.refusal = "the command line has " + std::to_string(text.size()) + " characters; at most " +
                      std::to_string(kMaxCommandLine - 1) + " are accepted";
        return out;
    }
    out.entries.emplace_back("PanelMate");
    if (text.empty())
        return out;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ' ' && text[i] != '\t')
            continue;
        if (out.entries.size() == kMaxArguments) {
            out.refusal = "the command line has more than " + std::to_string(kMaxArguments - 1) + " pieces";
            out.entries.clear();
            return out;
        }
        out.entries.emplace_back(text.substr(start, i - start));
        start = i + 1;
    }
    return out;
}

} // namespace tq::panelmate
