// A member instrument for the front panel's tests, loaded by the resource
// manager through its PnP handle. It logs each operation it gets as
// "<InstrumentName> <operation>" to the file named by TQ_PANEL_MEMBER_LOG,
// and answers by its name:
//   "nsup..."     start is not supported (the walk ends with a warning);
//   "fail..."     start fails with 0xBFFF0000;
//   "badreset..." reset fails with 0xBFFF0000 (the configuration fails);
// everything else succeeds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "tq/platform/env.h"
#include "tqpnp.h"

namespace
{

struct Member {
    TQPnPHandle handle;
    std::string name;
};

std::mutex g_lock;
std::map<ViSession, Member *> g_members;
ViSession g_next = 0x5000;

Member *find(ViSession vi)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_members.find(vi);
    return it == g_members.end() ? nullptr : it->second;
}

void logLine(const std::string &line)
{
    const auto file = tq::platform::getEnv("TQ_PANEL_MEMBER_LOG");
    if (!file || file->empty())
        return;
    std::lock_guard<std::mutex> guard(g_lock);
    if (FILE *f = std::fopen(file->c_str(), "a")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

bool startsWith(const std::string &s, const char *prefix)
{
    return s.rfind(prefix, 0) == 0;
}

ViStatus addReference(TQPnPHandle *h)
{
    __atomic_add_fetch(&h->refCount, 1, __ATOMIC_ACQ_REL);
    return VI_SUCCESS;
}

ViStatus release(TQPnPHandle **holder)
{
    if (!holder || !*holder)
        return VI_SUCCESS;
    TQPnPHandle *h = *holder;
    if (__atomic_sub_fetch(&h->refCount, 1, __ATOMIC_ACQ_REL) > 0)
        return VI_SUCCESS;
    Member *m = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_members.find(h->session);
        if (it != g_members.end()) {
            m = it->second;
            g_members.erase(it);
        }
    }
    delete m;
    *holder = nullptr;
    return VI_SUCCESS;
}

ViStatus setProperty(ViSession vi, ViConstString name, ViConstString value)
{
    Member *m = find(vi);
    if (!m)
        return VI_ERROR_INV_OBJECT;
    if (name && strcmp(name, "InstrumentName") == 0)
        m->name = value ? value : "";
    return VI_SUCCESS;
}

ViStatus getProperty(ViSession vi, ViConstString name, ViConstString, ViChar *value, ViInt32 length)
{
    Member *m = find(vi);
    if (!m)
        return VI_ERROR_INV_OBJECT;
    if (!name || strcmp(name, "InstrumentName") != 0 || !value)
        return VI_ERROR_NSUP_OPER;
    std::snprintf(value, length > 0 ? static_cast<size_t>(length) : 256, "%s", m->name.c_str());
    return VI_SUCCESS;
}

ViStatus operation(ViSession vi, ViConstString op, ViConstString)
{
    Member *m = find(vi);
    if (!m)
        return VI_ERROR_INV_OBJECT;
    const std::string o = op ? op : "";
    logLine(m->name + " " + o);
    if (o == "start" && startsWith(m->name, "nsup"))
        return VI_ERROR_NSUP_OPER;
    if (o == "start" && startsWith(m->name, "fail"))
        return static_cast<ViStatus>(0xBFFF0000);
    if (o == "reset" && startsWith(m->name, "badreset"))
        return static_cast<ViStatus>(0xBFFF0000);
    return VI_SUCCESS;
}

ViStatus sinkOp(ViSession vi, TQStreamMsg *)
{
    return find(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}
ViStatus crossCheck(ViSession vi, ViChar *)
{
    return find(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}
ViStatus simulation(ViSession vi, ViBoolean)
{
    return find(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}
ViStatus attach(ViSession, TQPnPHandle *)
{
    return VI_ERROR_NSUP_OPER;
}

} // namespace

extern "C" __attribute__((visibility("default"))) ViStatus panelmember_getPnPHandle(ViConstRsrc, TQPnPHandle **handle)
{
    auto *m = new Member{};
    m->handle =
        TQPnPHandle{1,          0,          addReference, release, setProperty, getProperty, operation, sinkOp, nullptr,
                    crossCheck, simulation, nullptr,      nullptr, nullptr,     nullptr,     nullptr,   attach};
    std::lock_guard<std::mutex> guard(g_lock);
    m->handle.session = g_next++;
    g_members[m->handle.session] = m;
    *handle = &m->handle;
    return VI_SUCCESS;
}
