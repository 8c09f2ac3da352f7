#include "tq/platform/dynlib.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>

#include "tq/platform/env.h"

#ifndef TQ_BUILD_LIB_DIR
#define TQ_BUILD_LIB_DIR ""
#endif
#ifndef TQ_INSTALL_LIB_DIR
#define TQ_INSTALL_LIB_DIR ""
#endif

namespace tq::platform {

namespace {

bool endsWithDll(const std::string &name)
{
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".dll") == 0;
}

// Marker whose address lies in the module this copy of the layer is linked into.
void moduleMarker() {}

void *openFile(const std::string &path)
{
    // RTLD_LOCAL keeps each library's symbols to itself, as separately loaded modules are.
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

std::string mapLibraryName(const std::string &name)
{
    std::string dir = directoryOf(name);
    std::string file = fileNameOf(name);
    if (endsWithDll(file))
        file = "lib" + file.substr(0, file.size() - 4) + ".so";
    if (dir.empty())
        return file;
    return joinPath(nativePath(dir), file);
}

LibraryHandle loadLibrary(const std::string &name)
{
    if (name.empty())
        return nullptr;
    const std::string mapped = mapLibraryName(name);
    bool hasDir = false;
    for (char c : name)
        hasDir = hasDir || isSeparator(c);
    if (hasDir)
        return openFile(mapped);

    // Bare name: the calling library's directory, the deliverables' library
    // directory, then the system loader.
    const std::string own = directoryOf(ownModuleFileName());
    const char *dirs[] = {own.c_str(), TQ_BUILD_LIB_DIR, TQ_INSTALL_LIB_DIR};
    for (const char *dir : dirs) {
        if (!dir || !*dir)
            continue;
        const std::string candidate = joinPath(dir, mapped);
        if (fileExists(candidate)) {
            if (void *h = openFile(candidate))
                return h;
        }
    }
    return openFile(mapped);
}

void *findSymbol(LibraryHandle lib, const char *name)
{
    if (!lib || !name)
        return nullptr;
    return dlsym(lib, name);
}

void freeLibrary(LibraryHandle lib)
{
    if (lib)
        dlclose(lib);
}

std::string lastLibraryError()
{
    const char *e = dlerror();
    return e ? e : "";
}

std::string libraryFileName(LibraryHandle lib)
{
    if (!lib)
        return {};
    struct link_map *map = nullptr;
    if (dlinfo(lib, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    return map->l_name;
}

std::string moduleFileNameOf(const void *address)
{
    Dl_info info{};
    struct link_map *map = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP))
        return {};
    if (map && map->l_name && map->l_name[0] == '/')
        return map->l_name;
    if (map && (!map->l_name || !map->l_name[0])) {
        // The main program's entry carries no name.
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) {
            buf[n] = 0;
            return buf;
        }
    }
    std::string name = info.dli_fname ? info.dli_fname : "";
    char *resolved = name.empty() ? nullptr : realpath(name.c_str(), nullptr);
    if (!resolved)
        return name;
    std::string out = resolved;
    free(resolved);
    return out;
}

std::string ownModuleFileName() { return moduleFileNameOf(reinterpret_cast<const void *>(&moduleMarker)); }

} // namespace tq::platform
