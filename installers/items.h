// Short constructors for the rows of the catalogue tables.
#pragma once

#include <deque>
#include <string>

#include "installer.h"

namespace tq::installer
{

struct Index {
    bool indexed = false;
    const char *name = "channel";
};
constexpr Index kNone{};
constexpr Index kChannel{true, "channel"};
constexpr Index kLine{true, "line"};
constexpr Index kEvent{true, "event"};
constexpr Index kGroup{true, "group"};
constexpr Index kPair{true, "pair"};
constexpr Index kConnector{true, "connector"};

// A text that lives as long as the program: the tables hold plain pointers,
// and names such as "TQ747TERMNONE" are made from a prefix and a stem.
inline const char *keep(std::string text)
{
    static std::deque<std::string> texts; // a deque keeps earlier texts in place
    texts.push_back(std::move(text));
    return texts.back().c_str();
}
inline const char *keep(const char *a, const char *b)
{
    return keep(std::string(a) + b);
}

inline Item menu(const char *property, const char *label, int width, const char *dflt, int orderseq,
                 const char *tooltip, const char *sets, std::vector<Choice> choices, Index index = kNone)
{
    return {.property = property, .type = ItemType::Menu, .label = label, .width = width, .dflt = dflt,
            .orderseq = orderseq, .tooltip = tooltip, .sets = sets, .choices = std::move(choices),
            .indexed = index.indexed, .indexName = index.name};
}
inline Item checkbox(const char *property, const char *label, int width, const char *dflt, int orderseq,
                     const char *tooltip, const char *sets, Index index = kNone)
{
    return {.property = property, .type = ItemType::Checkbox, .label = label, .width = width, .dflt = dflt,
            .orderseq = orderseq, .tooltip = tooltip, .sets = sets, .indexed = index.indexed,
            .indexName = index.name};
}
inline Item textbox(const char *property, const char *label, int width, const char *dflt, int orderseq,
                    const char *tooltip, const char *sets, Index index = kNone)
{
    return {.property = property, .type = ItemType::Textbox, .label = label, .width = width, .dflt = dflt,
            .orderseq = orderseq, .tooltip = tooltip, .sets = sets, .indexed = index.indexed,
            .indexName = index.name};
}
inline Item number(ItemType type, const char *property, const char *label, int width, double min, double max,
                   const char *dflt, int orderseq, const char *tooltip, const char *sets, Index index = kNone)
{
    return {.property = property, .type = type, .label = label, .width = width, .min = min, .max = max,
            .dflt = dflt, .orderseq = orderseq, .tooltip = tooltip, .sets = sets, .indexed = index.indexed,
            .indexName = index.name};
}

// Choices "PXI0" to "PXI7" with consecutive values from first; the constant
// names are stem followed by the line number.
inline std::vector<Choice> pxiChoices(long first, const char *stem)
{
    static const char *const kNames[] = {"PXI0", "PXI1", "PXI2", "PXI3", "PXI4", "PXI5", "PXI6", "PXI7"};
    static std::deque<std::string> constants; // a deque keeps earlier texts in place
    std::vector<Choice> out;
    for (int i = 0; i < 8; ++i) {
        constants.push_back(std::string(stem) + std::to_string(i));
        out.push_back({kNames[i], first + i, constants.back().c_str()});
    }
    return out;
}

// A choice of a menu whose values are texts rather than driver constants.
inline Choice textChoice(const char *name, const char *text)
{
    return {name, 0, nullptr, nullptr, text};
}

inline std::vector<Choice> join(std::vector<Choice> a, const std::vector<Choice> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace tq::installer
