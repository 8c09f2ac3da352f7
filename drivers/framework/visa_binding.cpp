#include "tq/driver/visa_binding.h"

#include <atomic>
#include <mutex>

#include "tq/platform/env.h"
#include "tq/platform/numfmt.h"

namespace tq::visa {

namespace {

constinit FunctionTable g_table = notSupportedTable();
platform::LibraryHandle g_module = nullptr; // never freed once set
std::atomic<bool> g_bound{false};
std::mutex g_loadLock;

struct Entry {
    const char *name;
    void (*assign)(FunctionTable &table, void *symbol);
};

const Entry kEntries[kFunctionCount] = {
#define TQ_VISA_ENTRY(result, name, arguments, parameters)                                                            \
    {#name, [](FunctionTable &t, void *symbol) {                                                                      \
         t.name = symbol ? reinterpret_cast<name##_t *>(symbol) : standInFor<arguments, name##_t>();                  \
     }},
    TQ_VISA_FUNCTIONS(TQ_VISA_ENTRY)
#undef TQ_VISA_ENTRY
};

// The names are looked up in table order, except that viUsbControlOut is
// asked for before viUsbControlIn.
constexpr int lookupPosition(int i) { return i == 28 ? 29 : i == 29 ? 28 : i; }

} // namespace

void bindVisaFunctions(platform::LibraryHandle module, FunctionTable &table)
{
    for (int i = 0; i < kFunctionCount; ++i) {
        const Entry &e = kEntries[lookupPosition(i)];
        e.assign(table, module ? platform::findSymbol(module, e.name) : nullptr);
    }
}

const FunctionTable &visa() { return g_table; }

std::string visaLibraryPath()
{
    std::string dir;
    if (auto root = platform::getEnv("systemroot"))
        dir = platform::cformatString("%s%csystem32", root->c_str(), '/');
    else if (auto vpnp = platform::getEnv("vpnppath"))
        dir = platform::cformatString("%s%clinux%cbin", vpnp->c_str(), '/', '/');
    else {
        // Neither is set: the VXIplug&play framework directory of this machine.
        auto root = platform::getEnv("VXIPNPPATH");
        dir = platform::cformatString("%s%clinux%cbin", root ? root->c_str() : "/usr/local/vxipnp", '/', '/');
    }
    return platform::cformatString("%s%c%svisa32%s", dir.c_str(), '/', "", ".dll");
}

bool loadVisa()
{
    if (g_bound.load(std::memory_order_acquire))
        return true;
    std::lock_guard<std::mutex> g(g_loadLock);
    if (g_bound.load(std::memory_order_relaxed))
        return true;
    platform::LibraryHandle module = platform::loadLibrary(visaLibraryPath());
    if (!module)
        return false;
    bindVisaFunctions(module, g_table);
    g_module = module;
    g_bound.store(true, std::memory_order_release);
    return true;
}

bool visaLoaded() { return g_bound.load(std::memory_order_acquire); }

} // namespace tq::visa
