// What a physical resource's name says about its device. Recording,
// identification and discovery read names through this one parser, so that
// every caller agrees on which names are carrier sites and crate slots.
//
//   "<port>_LA<n>"          the controller at logical address n (0-255) of a
//                           serial crate on that port
//   "<port>_LA<n>_SLOT<m>"  the unit in slot m (1-16) of that crate
//   "<carrier>_IP<s>"       the module on site s (1-4) of a carrier
//   anything else           a VISA resource name, or a plug-in's device name
//
// Numbers are plain decimal digits and nothing may follow them: "_IP0",
// "_IP5", "_IP3x" or "_LA4x" are no site or crate names, and such a name is
// taken whole, as a name VISA or a plug-in may know.
#pragma once

#include <string>
#include <string_view>

namespace tq::manager
{

enum class ResourceNameKind { Plain, Site, CrateController, CrateUnit };

constexpr int kFirstSite = 1, kLastSite = 4;
constexpr int kMaxLogicalAddress = 255;
constexpr int kFirstSlot = 1, kLastSlot = 16;

struct ResourceName {
    ResourceNameKind kind = ResourceNameKind::Plain;
    std::string base;       // the name VISA opens: carrier or port, else the whole name
    int site = 0;           // Site
    int logicalAddress = 0; // CrateController, CrateUnit
    int slot = 0;           // CrateUnit
};

ResourceName classifyResourceName(std::string_view name);

// "<carrier>_IP<site>": the name a carrier's module is recorded under.
std::string siteResourceName(std::string_view carrier, int site);

} // namespace tq::manager
