#include "jvmcfg.h"

namespace tq::panelmate
{

std::vector<std::string> vmDirectories(std::string_view text)
{
    std::vector<std::string> out;
    while (!text.empty() && out.size() < kMaxVmEntries) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string_view entry = line.substr(0, line.find_first_of(" \t"));
        if (entry.size() < 2)
            continue;
        const std::string_view dir = entry.substr(1);
        if (dir == "." || dir == ".." || dir.find_first_of(std::string_view("/\\\0\r", 4)) != std::string_view::npos)
            continue;
        out.emplace_back(dir);
    }
    return out;
}

} // namespace tq::panelmate
