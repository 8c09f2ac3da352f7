// A stand-in for the resource manager's library, for the plug-in's tests:
// tqdaq_createPresource records the names it is called with. Built in a
// test-only directory under the manager's file name, so that the plug-in
// binds to it when a test has loaded it first, and never shadows the real one.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "tq/export.h"
#include "tq/visatype.h"

namespace
{
std::mutex m;
std::vector<std::pair<ViSession, std::string>> calls;
} // namespace

TQ_API ViStatus tqdaq_createPresource(ViSession session, ViConstString rsrcName)
{
    std::lock_guard<std::mutex> g(m);
    calls.emplace_back(session, rsrcName ? rsrcName : "");
    // The plug-in does not use the result; a failure here must not stop it.
    return static_cast<ViStatus>(0xBFFC0112);
}

// The recorded calls as "session name" lines; the number of calls.
TQ_API int standin_calls(char *buffer, size_t size)
{
    std::lock_guard<std::mutex> g(m);
    std::string all;
    for (const auto &[session, name] : calls)
        all += std::to_string(session) + " " + name + "\n";
    if (buffer && size) {
        const size_t n = all.size() < size - 1 ? all.size() : size - 1;
        memcpy(buffer, all.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(calls.size());
}

TQ_API void standin_clear()
{
    std::lock_guard<std::mutex> g(m);
    calls.clear();
}
