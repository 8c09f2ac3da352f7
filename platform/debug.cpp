#include "tq/platform/debug.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "tq/platform/env.h"
#include "tq/platform/numfmt.h"

namespace tq::platform {

namespace {

std::mutex g_debugMutex;
DebugCaptureHook g_hook = nullptr;
void *g_hookContext = nullptr;
FILE *g_logFile = nullptr;
std::string g_logName;

} // namespace

void setDebugCaptureHook(DebugCaptureHook hook, void *context)
{
    std::lock_guard<std::mutex> lock(g_debugMutex);
    g_hook = hook;
    g_hookContext = context;
}

void debugOutput(const char *text)
{
    if (!text)
        return;
    std::lock_guard<std::mutex> lock(g_debugMutex);
    if (g_hook) {
        g_hook(text, g_hookContext);
        return;
    }
    const char *target = std::getenv("TQ_DEBUG_LOG");
    if (!target || !*target)
        return;
    if (std::strcmp(target, "-") == 0) {
        std::fputs(text, stderr);
        std::fflush(stderr);
        return;
    }
    if (!g_logFile || g_logName != target) {
        if (g_logFile)
            std::fclose(g_logFile);
        g_logFile = std::fopen(target, "a");
        g_logName = target;
        if (!g_logFile)
            return;
    }
    std::fputs(text, g_logFile);
    std::fflush(g_logFile);
}

void debugVPrintf(const char *format, va_list args)
{
    char buffer[256];
    if (vcformat(buffer, sizeof buffer, format, args) >= 0)
        debugOutput(buffer);
}

void debugPrintf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    debugVPrintf(format, args);
    va_end(args);
}

namespace {

// Key paths compare without regard to case or to the kind of separator.
std::string normaliseKey(const std::string &key)
{
    std::string out;
    out.reserve(key.size());
    for (char c : key) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

std::string trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// Calls fn(key, valueName, data) for every well-formed line of the registry file.
template <typename Fn> void forEachRegistryLine(Fn fn)
{
    const char *file = std::getenv("TQ_REGISTRY");
    if (!file || !*file)
        return;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string path = normaliseKey(trim(line.substr(0, eq)));
        size_t sep = path.rfind('\\');
        if (sep == std::string::npos)
            continue;
        if (fn(path.substr(0, sep), path.substr(sep + 1), trim(line.substr(eq + 1))))
            return;
    }
}

} // namespace

std::optional<std::string> registryReadString(const std::string &key, const std::string &value)
{
    const std::string k = normaliseKey(key);
    const std::string v = normaliseKey(value);
    std::optional<std::string> result;
    forEachRegistryLine([&](const std::string &lk, const std::string &lv, const std::string &data) {
        if (lk == k && lv == v) {
            std::string d = data;
            if (d.size() >= 2 && d.front() == '"' && d.back() == '"')
                d = d.substr(1, d.size() - 2);
            result = d;
            return true;
        }
        return false;
    });
    return result;
}

std::optional<uint32_t> registryReadDword(const std::string &key, const std::string &value)
{
    auto text = registryReadString(key, value);
    if (!text || text->empty())
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    long long n = std::strtoll(text->c_str(), &end, 0);
    if (errno != 0 || *end != 0 || n < INT32_MIN || n > static_cast<long long>(UINT32_MAX))
        return std::nullopt;
    return static_cast<uint32_t>(n);
}

bool registryKeyExists(const std::string &key)
{
    const std::string k = normaliseKey(key);
    bool found = false;
    forEachRegistryLine([&](const std::string &lk, const std::string &, const std::string &) {
        found = lk == k || (lk.size() > k.size() && lk.compare(0, k.size(), k) == 0 && lk[k.size()] == '\\');
        return found;
    });
    return found;
}

} // namespace tq::platform
