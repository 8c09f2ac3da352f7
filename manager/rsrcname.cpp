// The one reading of physical resource names (see rsrcname.h).
#include "rsrcname.h"

namespace tq::manager
{

namespace
{

// text is exactly a decimal number from lo to hi (no sign, no blanks, no
// trailing characters); its value goes to out.
bool readNumber(std::string_view text, int lo, int hi, int &out)
{
    if (text.empty() || text.size() > 3)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

} // namespace

ResourceName classifyResourceName(std::string_view name)
{
    ResourceName r;
    r.base = std::string(name);

    // A crate: the last "_LA" decides. A port's alias may hold "_LA" itself
    // ("COM_LAB_LA0"), and an earlier one can never read as a crate name,
    // since the text after it holds the later "_LA".
    if (const size_t la = name.rfind("_LA"); la != std::string_view::npos) {
        const std::string_view rest = name.substr(la + 3);
        const size_t slotAt = rest.find("_SLOT");
        int address = 0, slot = 0;
        if (slotAt == std::string_view::npos) {
            if (readNumber(rest, 0, kMaxLogicalAddress, address)) {
                r.kind = ResourceNameKind::CrateController;
                r.base = std::string(name.substr(0, la));
                r.logicalAddress = address;
                return r;
            }
        } else if (readNumber(rest.substr(0, slotAt), 0, kMaxLogicalAddress, address) &&
                   readNumber(rest.substr(slotAt + 5), kFirstSlot, kLastSlot, slot)) {
            r.kind = ResourceNameKind::CrateUnit;
            r.base = std::string(name.substr(0, la));
            r.logicalAddress = address;
            r.slot = slot;
            return r;
        }
    }

    // A carrier site: the text from the last '_'.
    if (const size_t cut = name.rfind('_'); cut != std::string_view::npos && cut > 0) {
        const std::string_view tail = name.substr(cut);
        int site = 0;
        if (tail.substr(0, 3) == "_IP" && readNumber(tail.substr(3), kFirstSite, kLastSite, site)) {
            r.kind = ResourceNameKind::Site;
            r.base = std::string(name.substr(0, cut));
            r.site = site;
        }
    }
    return r;
}

std::string siteResourceName(std::string_view carrier, int site)
{
    return std::string(carrier) + "_IP" + std::to_string(site);
}

} // namespace tq::manager
