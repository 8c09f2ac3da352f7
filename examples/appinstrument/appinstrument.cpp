// A minimal application instrument: the virtual instrument that a manager
// session loads as its application model's own driver. It keeps nothing but
// its name and message sink, answers the operations its catalogue lists, and
// logs every call it gets, one line each, to the file named by
// TQ_APPINSTRUMENT_LOG (no log without it):
//
//   getPnPHandle <manager session> database=<selected database or status>
//   setPropertyByName <name> <value>
//   doOperation <operation> <argument>
//   setSimulationMode <mode>
//   release
//
// Its driver session value is the manager session it was given, as for
// every virtual instrument: one instance per manager session.
//
// Its init leaves a configuration database of its model selected, as a
// front panel's instrument does: the selected one when it is its model's,
// else the first of "system", "system1" ... "system199" that it can select,
// creating the first free name; databases of another model are passed over.
// When none can be chosen the init still succeeds and the manager refuses
// the session for want of a database.
// A stop or start also goes to the message sink as "[<database>]<operation>:"
// and the status, the way drivers report them, so that an operation walk
// over several instruments shows its order in one place.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "tq/platform/env.h"
#include "tq/platform/guard.h"
#include "tqdaq.h"
#include "tqpnp.h"

namespace
{

struct Instance {
    TQPnPHandle handle;
    std::string name;
    std::string database; // the database its init found or chose
    TQStreamMsg *sink = nullptr;
};

std::mutex g_lock;
std::map<ViSession, Instance *> g_instances;

void logLine(const std::string &line)
{
    const auto file = tq::platform::getEnv("TQ_APPINSTRUMENT_LOG");
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
    if (h)
        __atomic_add_fetch(&h->refCount, 1, __ATOMIC_ACQ_REL);
    return VI_SUCCESS;
}

ViStatus release(TQPnPHandle **holder)
{
    if (!holder || !*holder)
        return VI_SUCCESS;
    TQPnPHandle *h = *holder;
    *holder = nullptr;
    if (__atomic_sub_fetch(&h->refCount, 1, __ATOMIC_ACQ_REL) > 0)
        return VI_SUCCESS;
    Instance *instance = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_instances.find(h->session);
        if (it != g_instances.end()) {
            instance = it->second;
            g_instances.erase(it);
        }
    }
    logLine("release");
    if (instance) {
        if (instance->sink)
            instance->sink->streamMsgRelease(&instance->sink);
        delete instance;
    }
    return VI_SUCCESS;
}

ViStatus setProperty(ViSession session, ViConstString name, ViConstString value)
{
    Instance *instance = find(session);
    if (!instance)
        return VI_ERROR_INV_OBJECT;
    logLine(std::string("setPropertyByName ") + (name ? name : "") + " " + (value ? value : ""));
    if (!name || std::strcmp(name, "InstrumentName") != 0)
        return VI_ERROR_NSUP_OPER;
    instance->name = value ? value : "";
    return VI_SUCCESS;
}

ViStatus getProperty(ViSession session, ViConstString name, ViConstString, ViChar *value, ViInt32 length)
{
    Instance *instance = find(session);
    if (!instance)
        return VI_ERROR_INV_OBJECT;
    if (!name || std::strcmp(name, "InstrumentName") != 0)
        return VI_ERROR_NSUP_OPER;
    if (!value)
        return VI_ERROR_INV_PARAMETER;
    const size_t room = length > 0 ? static_cast<size_t>(length) : 256;
    std::snprintf(value, room, "%s", instance->name.c_str());
    return VI_SUCCESS;
}

ViStatus doOperation(ViSession session, ViConstString operation, ViConstString argument)
{
    Instance *instance = find(session);
    if (!instance)
        return VI_ERROR_INV_OBJECT;
    const std::string op = operation ? operation : "";
    logLine("doOperation " + op + " " + (argument ? argument : ""));
    if ((op == "start" || op == "stop") && instance->sink && instance->sink->streamMsgLock(instance->sink, 1000) == 0) {
        instance->sink->streamMsgPrintf(instance->sink, "[%s]%s:VI_SUCCESS", instance->database.c_str(), op.c_str());
        instance->sink->streamMsgUnlock(instance->sink);
    }
    if (op == "uiEvent" || op == "start" || op == "stop" || op == "reset")
        return VI_SUCCESS;
    return VI_ERROR_NSUP_OPER;
}

// The database the instance works on (see the top of this file). A name
// chosen here also becomes the instance's name.
ViStatus chooseDatabase(ViSession manager, Instance &instance)
{
    std::string &chosen = instance.database;
    char db[TQDAQ_NAME_SIZE];
    ViStatus st = tqdaq_getDB(manager, db);
    if (st >= VI_SUCCESS) {
        chosen = db;
        return st;
    }
    if (st == TQDAQ_ERROR_OTHER_MODEL)
        tqdaq_setDB(manager, nullptr);
    for (int i = 0; i < 200; ++i) {
        const std::string candidate = i == 0 ? "system" : "system" + std::to_string(i);
        st = tqdaq_setDB(manager, candidate.c_str());
        if (st == TQDAQ_ERROR_OTHER_MODEL)
            continue;
        if (st < VI_SUCCESS)
            st = tqdaq_createDB(manager, candidate.c_str());
        if (st >= VI_SUCCESS) {
            chosen = instance.name = candidate;
            return st;
        }
    }
    return st;
}

ViStatus registerSink(ViSession session, TQStreamMsg *sink)
{
    Instance *instance = find(session);
    if (!instance)
        return VI_ERROR_INV_OBJECT;
    if (instance->sink)
        instance->sink->streamMsgRelease(&instance->sink);
    instance->sink = sink;
    if (sink)
        sink->streamMsgAddRef(sink);
    return VI_SUCCESS;
}

ViStatus crossCheck(ViSession session, ViChar *)
{
    return find(session) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

ViStatus setSimulationMode(ViSession session, ViBoolean mode)
{
    if (!find(session))
        return VI_ERROR_INV_OBJECT;
    logLine("setSimulationMode " + std::to_string(mode));
    return VI_SUCCESS;
}

ViStatus attachBackend(ViSession, TQPnPHandle *)
{
    return VI_ERROR_NSUP_OPER;
}

} // namespace

// The manager session arrives in *handle; the new handle leaves through it.
TQ_API ViStatus appinstrument_getPnPHandle(ViConstRsrc, TQPnPHandle **handle)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        if (!handle)
            return VI_ERROR_INV_PARAMETER;
        const auto manager = static_cast<ViSession>(reinterpret_cast<uintptr_t>(*handle));
        *handle = nullptr;
        if (find(manager))
            return VI_ERROR_INV_OBJECT; // one instance per manager session
        auto *instance = new Instance;
        instance->handle = TQPnPHandle{1,
                                       manager,
                                       &addReference,
                                       &release,
                                       &setProperty,
                                       &getProperty,
                                       &doOperation,
                                       &registerSink,
                                       nullptr,
                                       &crossCheck,
                                       &setSimulationMode,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       &attachBackend};
        {
            std::lock_guard<std::mutex> guard(g_lock);
            g_instances[manager] = instance;
        }
        // The session is half-built here; it answers already.
        const ViStatus st = chooseDatabase(manager, *instance);
        const std::string &db = instance->database;
        char line[TQDAQ_NAME_SIZE + 64];
        if (st >= VI_SUCCESS)
            std::snprintf(line, sizeof line, "getPnPHandle %#x database=%s", static_cast<unsigned>(manager),
                          db.c_str());
        else
            std::snprintf(line, sizeof line, "getPnPHandle %#x database=%#x", static_cast<unsigned>(manager),
                          static_cast<unsigned>(st));
        logLine(line);
        // Without a database the manager refuses the session itself.
        *handle = &instance->handle;
        return VI_SUCCESS;
    });
}
