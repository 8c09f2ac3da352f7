// Any text given as a resource name classifies without fault, and a site
// or crate name's parts stay within their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rsrcname.h"

using namespace tq::manager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view name(reinterpret_cast<const char *>(data), size);
    const ResourceName r = classifyResourceName(name);
    if (r.base.size() > name.size())
        std::abort();
    if (r.kind == ResourceNameKind::Site && (r.site < kFirstSite || r.site > kLastSite))
        std::abort();
    if (r.kind == ResourceNameKind::CrateUnit && (r.slot < kFirstSlot || r.slot > kLastSlot))
        std::abort();
    if (r.kind != ResourceNameKind::Plain && (r.logicalAddress < 0 || r.logicalAddress > kMaxLogicalAddress))
        std::abort();
    return 0;
}
