#include "runtime.h"

#include <fstream>
#include <iterator>

#include "jvmcfg.h"
#include "tq/platform/debug.h"
#include "tq/platform/env.h"

namespace tq::panelmate
{

namespace p = tq::platform;

namespace
{

// jvm.cfg is a few lines; more than this is not a runtime's file.
constexpr std::streamsize kMaxJvmCfg = 64 * 1024;

std::optional<std::string> readSmallFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(static_cast<size_t>(kMaxJvmCfg), '\0');
    in.read(text.data(), kMaxJvmCfg);
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

std::string fromRegistry()
{
    const auto version = p::registryReadString(kRuntimeKey, "CurrentVersion");
    if (!version || version->size() >= 256 || !acceptedRuntimeVersion(*version))
        return {};
    const auto home = p::registryReadString(std::string(kRuntimeKey) + "\\" + *version, "JavaHome");
    return home ? p::nativePath(*home) : std::string();
}

} // namespace

std::string applicationHomeOf(const std::string &programPath)
{
    return p::directoryOf(p::directoryOf(programPath));
}

bool acceptedRuntimeVersion(std::string_view version)
{
    if (version.empty() || version.size() > 4 || version.front() == '0')
        return false;
    int value = 0;
    for (char c : version) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value >= 17;
}

bool holdsRuntime(const std::string &home)
{
    return !home.empty() && p::fileExists(p::joinPath(home, "lib/libjava.so"));
}

std::string findRuntime(const std::string &applicationHome, const std::vector<std::string> &fallbacks)
{
    if (!applicationHome.empty() && p::isDirectory(applicationHome)) {
        if (holdsRuntime(applicationHome))
            return applicationHome;
        const std::string jre = p::joinPath(applicationHome, "jre");
        if (holdsRuntime(jre))
            return jre;
    }
    std::vector<std::string> candidates{fromRegistry(), p::getEnv("JAVA_HOME").value_or("")};
    candidates.insert(candidates.end(), fallbacks.begin(), fallbacks.end());
    for (const auto &home : candidates)
        if (holdsRuntime(home))
            return home;
    return {};
}

std::string findVmLibrary(const std::string &runtimeHome, std::string &why)
{
    const std::string cfg = p::joinPath(runtimeHome, "lib/jvm.cfg");
    const auto text = readSmallFile(cfg);
    if (!text) {
        why = "cannot read " + cfg;
        return {};
    }
    const auto dirs = vmDirectories(*text);
    if (dirs.empty()) {
        why = cfg + " names no VM";
        return {};
    }
    for (const auto &dir : dirs) {
        const std::string lib = p::joinPath(runtimeHome, "lib/" + dir + "/libjvm.so");
        if (p::fileExists(lib))
            return lib;
    }
    why = "no VM library named by " + cfg + " exists";
    return {};
}

std::string findJar(const std::string &applicationHome)
{
    if (p::fileExists("panelmate.jar"))
        return "panelmate.jar";
    if (!applicationHome.empty()) {
        const std::string installed = p::joinPath(applicationHome, "share/panelmate/panelmate.jar");
        if (p::fileExists(installed))
            return installed;
    }
    return "panelmate.jar";
}

} // namespace tq::panelmate
