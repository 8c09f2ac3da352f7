// A physical-interface plug-in for the manager's tests. It knows the
// devices named "usb<n>::<vendor>::<model>::<serial>" (numbers as C writes
// them) and answers the vendor and model the name carries, except for a
// serial that starts with "gone" (no such device). Each call is logged, one
// line, to the file named by TQ_TESTPLUGIN_LOG: "vendorModel <name>".
// Its refresh records the devices named in TQ_TESTPLUGIN_DEVICES (names
// separated by ';') through the manager's callback, logged as
// "refreshPresources", and answers the first failure.
#include <cstdio>
#include <cstring>
#include <string>

#include "tq/platform/env.h"
#include "tqdaq.h"
#include "tq/visatype.h"

namespace
{

void logLine(const std::string &line)
{
    const auto file = tq::platform::getEnv("TQ_TESTPLUGIN_LOG");
    if (!file || file->empty())
        return;
    if (FILE *f = std::fopen(file->c_str(), "a")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) ViStatus tqdaq_vendorModel(ViSession, ViConstString name,
                                                                             ViUInt16 *vendor, ViUInt16 *model)
{
    logLine(std::string("vendorModel ") + (name ? name : "NULL"));
    unsigned short v = 0, m = 0;
    char serial[64] = "";
    if (!name || std::sscanf(name, "usb%*d::%hi::%hi::%63[^:]", &v, &m, serial) != 3)
        return VI_ERROR_RSRC_NFOUND;
    if (std::strncmp(serial, "gone", 4) == 0)
        return VI_ERROR_RSRC_NFOUND;
    *model = m;
    *vendor = v;
    return VI_SUCCESS;
}

extern "C" __attribute__((visibility("default"))) ViStatus tqdaq_refreshPresources(ViSession session)
{
    logLine("refreshPresources");
    const std::string devices = tq::platform::getEnv("TQ_TESTPLUGIN_DEVICES").value_or("");
    size_t from = 0;
    while (from < devices.size()) {
        size_t end = devices.find(';', from);
        if (end == std::string::npos)
            end = devices.size();
        const std::string name = devices.substr(from, end - from);
        from = end + 1;
        if (name.empty())
            continue;
        const ViStatus st = tqdaq_createPresource(session, name.c_str());
        if (st < VI_SUCCESS)
            return st;
    }
    return VI_SUCCESS;
}
