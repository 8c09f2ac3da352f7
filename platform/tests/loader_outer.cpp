// Test library that loads its neighbour by bare name through the platform layer.
#include <string>

#include "tq/export.h"
#include "tq/platform/dynlib.h"

namespace {
// Helper that must stay inside the library.
int innerValue()
{
    tq::platform::LibraryHandle lib = tq::platform::loadLibrary("tqloader_inner.dll");
    if (!lib)
        return -1;
    auto fn = reinterpret_cast<int (*)()>(tq::platform::findSymbol(lib, "tqloader_inner_value"));
    int value = fn ? fn() : -2;
    tq::platform::freeLibrary(lib);
    return value;
}
} // namespace

TQ_API int tqloader_outer_call(void) { return innerValue(); }

// The module file name as the library itself sees it.
TQ_API int tqloader_outer_own_name(char *buffer, int size)
{
    std::string name = tq::platform::ownModuleFileName();
    if (static_cast<int>(name.size()) >= size)
        return -1;
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    return static_cast<int>(name.size());
}
