// A driver for the manager's tests, loaded through its PnP handle like any
// other. Each instance logs the calls it gets, one line each, to the file
// named by TQ_TESTDRIVER_LOG as "<who> <call> <arguments>", <who> being its
// InstrumentName once set, else the resource name it was opened for, else
// "-". What it answers follows from that name:
//   "nsup..."  answers every operation with "not supported";
//   "fail..."  fails every operation with 0xBFFF0000;
//   "badinit"  (resource name) fails its initialisation.
// Beside InstrumentName it reads every property "Echo<text>" as <text>.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "tq/platform/env.h"
#include "tqpnp.h"

namespace
{

struct Instance {
    TQPnPHandle handle;
    std::string name;
};

std::mutex g_lock;
std::map<ViSession, Instance *> g_instances;
ViSession g_next = 0x1000;

void logLine(const std::string &line)
{
    const auto file = tq::platform::getEnv("TQ_TESTDRIVER_LOG");
    if (!file || file->empty())
        return;
    std::lock_guard<std::mutex> guard(g_lock);
    if (FILE *f = std::fopen(file->c_str(), "a")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

Instance *find(ViSession session)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_instances.find(session);
    return it == g_instances.end() ? nullptr : it->second;
}

ViStatus addReference(TQPnPHandle *h)
{
    ++h->refCount;
    return VI_SUCCESS;
}

ViStatus release(TQPnPHandle **holder)
{
    TQPnPHandle *h = *holder;
    *holder = nullptr;
    if (--h->refCount > 0)
        return VI_SUCCESS;
    Instance *instance = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        instance = g_instances[h->session];
        g_instances.erase(h->session);
    }
    logLine(instance->name + " release");
    delete instance;
    return VI_SUCCESS;
}

ViStatus setProperty(ViSession session, ViConstString name, ViConstString value)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    if (std::strcmp(name, "InstrumentName") != 0)
        return VI_ERROR_NSUP_OPER;
    i->name = value;
    return VI_SUCCESS;
}

ViStatus getProperty(ViSession session, ViConstString name, ViConstString, ViChar *value, ViInt32 length)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    // "Echo<text>" reads back as <text>, an option value the tests can choose.
    if (std::strncmp(name, "Echo", 4) == 0) {
        std::snprintf(value, static_cast<size_t>(length), "%s", name + 4);
        return VI_SUCCESS;
    }
    // "mute..." instances cannot tell their name.
    if (std::strcmp(name, "InstrumentName") != 0 || i->name.rfind("mute", 0) == 0)
        return VI_ERROR_NSUP_OPER;
    std::snprintf(value, static_cast<size_t>(length), "%s", i->name.c_str());
    return VI_SUCCESS;
}

ViStatus doOperation(ViSession session, ViConstString operation, ViConstString argument)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " " + operation + " " + (argument ? argument : "NULL"));
    if (i->name.rfind("nsup", 0) == 0)
        return VI_ERROR_NSUP_OPER;
    if (i->name.rfind("fail", 0) == 0)
        return VI_ERROR_SYSTEM_ERROR;
    return VI_SUCCESS;
}

ViStatus registerSink(ViSession session, TQStreamMsg *sink)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + (sink ? " registerStreamMsg sink" : " registerStreamMsg none"));
    return VI_SUCCESS;
}

// Prints one line through the spy sink it is given, as drivers trace.
ViStatus registerSpy(ViSession session, TQStreamMsg *spy)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    if (spy)
        spy->streamMsgPrintf(spy, "[%s]spy\n", i->name.c_str());
    return VI_SUCCESS;
}

ViStatus crossCheck(ViSession, ViChar *)
{
    return VI_SUCCESS;
}

ViStatus setSimulationMode(ViSession, ViBoolean)
{
    return VI_SUCCESS;
}

ViStatus attachBackend(ViSession frontend, TQPnPHandle *backend)
{
    Instance *i = find(frontend);
    Instance *b = backend ? find(backend->session) : nullptr;
    if (!i || !b)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " attachBackend " + b->name);
    return VI_SUCCESS;
}

} // namespace

extern "C" __attribute__((visibility("default"))) ViStatus tqmtest_getPnPHandle(ViConstRsrc rsrcName,
                                                                                TQPnPHandle **handle)
{
    *handle = nullptr;
    if (rsrcName && std::strcmp(rsrcName, "badinit") == 0)
        return VI_ERROR_RSRC_NFOUND;
    auto *i = new Instance;
    i->name = rsrcName ? rsrcName : "-";
    {
        std::lock_guard<std::mutex> guard(g_lock);
        i->handle = TQPnPHandle{1,
                                g_next++,
                                &addReference,
                                &release,
                                &setProperty,
                                &getProperty,
                                &doOperation,
                                &registerSink,
                                &registerSpy,
                                &crossCheck,
                                &setSimulationMode,
                                nullptr,
                                nullptr,
                                nullptr,
                                nullptr,
                                nullptr,
                                &attachBackend};
        g_instances[i->handle.session] = i;
    }
    logLine(i->name + " init");
    *handle = &i->handle;
    return VI_SUCCESS;
}

// Instances alive now.
extern "C" __attribute__((visibility("default"))) int tqmtest_liveInstances()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return static_cast<int>(g_instances.size());
}
