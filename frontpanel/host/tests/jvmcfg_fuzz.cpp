// jvm.cfg comes with whatever runtime the host finds: any text must give a
// bounded list of plain directory names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "jvmcfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto dirs = tq::panelmate::vmDirectories(std::string_view(reinterpret_cast<const char *>(data), size));
    if (dirs.size() > tq::panelmate::kMaxVmEntries)
        std::abort();
    for (const auto &d : dirs)
        if (d.empty() || d == "." || d == ".." || d.find('/') != std::string::npos)
            std::abort();
    return 0;
}
