// Any reply a crate sends is taken or refused without fault, and a unit's
// type is only ever a known type; any text given as a physical resource name
// classifies into parts within their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "crate.h"
#include "rsrcname.h"

using namespace tq::manager;

namespace
{

std::string_view g_reply;

// Every request is answered with the fuzzer's bytes, up to the room given.
ViStatus replyQuery(ViSession, ViConstString writeFormat, ViConstString, va_list args)
{
    for (const char *p = writeFormat; *p; ++p)
        if (*p == '%')
            (void)va_arg(args, unsigned);
    ViUInt32 *count = va_arg(args, ViUInt32 *);
    char *buffer = va_arg(args, char *);
    const size_t n = g_reply.size() < *count ? g_reply.size() : *count;
    std::memcpy(buffer, g_reply.data(), n);
    *count = static_cast<ViUInt32>(n);
    return VI_SUCCESS;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    ViUInt16 value = 0;
    if (readCrateValue(text, 'D', value) && (text.size() < 4 || text.size() > 8))
        std::abort();
    isCrateOk(text);

    g_reply = text;
    ViUInt16 type = 0xffff;
    const ViStatus st = probeCrateUnit(1, 0x1f, 3, &type, replyQuery);
    bool known = false;
    for (ViUInt16 t : kCrateUnitTypes)
        known = known || t == type;
    if (st >= VI_SUCCESS ? !known : type != 0)
        std::abort();
    askCratePresence(1, 0, replyQuery);

    const ResourceName r = classifyResourceName(text);
    if (r.base.size() > text.size())
        std::abort();
    if (r.kind == ResourceNameKind::Site && (r.site < kFirstSite || r.site > kLastSite))
        std::abort();
    if (r.kind == ResourceNameKind::CrateUnit && (r.slot < kFirstSlot || r.slot > kLastSlot))
        std::abort();
    if (r.kind != ResourceNameKind::Plain && (r.logicalAddress < 0 || r.logicalAddress > kMaxLogicalAddress))
        std::abort();
    return 0;
}
