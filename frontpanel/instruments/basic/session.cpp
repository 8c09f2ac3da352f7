// Sessions of the basic instrument: the process-wide list, init and close,
// the PnP handle, and the exports that only read or keep settings.
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument.h"
#include "tq/driver/pnp_refcount.h"
#include "tq/platform/guard.h"
#include "tq/platform/sync.h"
#include "tq/platform/text.h"
#include "tqdaq.h"

namespace tq::panelmate
{

namespace
{

// Manager sessions on different threads open and close instrument sessions
// at the same time; the list itself is guarded, each session is used by the
// thread of its manager session only.
platform::Mutex &listLock()
{
    static platform::Mutex m;
    return m;
}
BasicSession *g_head = nullptr;

void link(BasicSession *s)
{
    platform::MutexGuard guard(listLock());
    s->prev = nullptr;
    s->next = g_head;
    if (g_head)
        g_head->prev = s;
    g_head = s;
}

void unlink(BasicSession *s)
{
    platform::MutexGuard guard(listLock());
    if (s->prev)
        s->prev->next = s->next;
    else if (g_head == s)
        g_head = s->next;
    if (s->next)
        s->next->prev = s->prev;
    s->next = s->prev = nullptr;
}

bool isOpen(const BasicSession *session)
{
    platform::MutexGuard guard(listLock());
    for (BasicSession *s = g_head; s; s = s->next)
        if (s == session)
            return true;
    return false;
}

// The PnP handle as the instrument allocates it: the shared record first,
// then the session it belongs to.
struct InstrumentHandle {
    TQPnPHandle pnp;
    BasicSession *owner;
};

unsigned long ul(ViSession vi)
{
    return static_cast<unsigned long>(vi);
}
unsigned long ul(ViStatus st)
{
    return static_cast<unsigned long>(static_cast<uint32_t>(st));
}

ViStatus closeSession(BasicSession *s)
{
    frontpanel::printLine(s->spy, "panelmate_close(%#lx(%s)) retVal=???\n", ul(s->key), s->name);
    unlink(s);
    frontpanel::replaceSink(s->sink, nullptr);
    frontpanel::replaceSink(s->spy, nullptr);
    delete s;
    return VI_SUCCESS;
}

// Opens a session; the caller learns which one for its PnP handle.
ViStatus openSession(ViSession *vi, BasicSession **opened)
{
    if (opened)
        *opened = nullptr;
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    const ViSession manager = *vi;
    *vi = 0;
    auto *s = new (std::nothrow) BasicSession;
    if (!s)
        return VI_ERROR_ALLOC;
    s->key = manager;
    s->manager = manager;
    platform::copyText(s->name, kOwnName);
    link(s);

    s->initialising = true;
    ViStatus st = tqdaq_autoPopulateDB(manager, kOwnName);
    if (st >= VI_SUCCESS)
        st = tqdaq_createStreams(manager, nullptr, 1, 0);
    s->initialising = false;
    if (st < VI_SUCCESS) {
        unlink(s);
        delete s;
        return st;
    }
    *vi = manager;
    if (opened)
        *opened = s;
    return st;
}

// The PnP handle's operations that are not exports of their own.
ViStatus pnpReleaseHandle(TQPnPHandle **handle)
{
    return platform::guardStatus([&]() -> ViStatus {
        BasicSession *owner = handle && *handle ? reinterpret_cast<InstrumentHandle *>(*handle)->owner : nullptr;
        return driver::pnpRelease(
            handle,
            [](ViSession, void *owner) {
                // A session already closed through panelmate_close is gone.
                auto *s = static_cast<BasicSession *>(owner);
                if (s && isOpen(s) && --s->pnpHandles <= 0)
                    closeSession(s);
            },
            owner);
    });
}

ViStatus noProperty(ViSession, ViConstString, ViConstString)
{
    return VI_ERROR_NSUP_OPER;
}
ViStatus noPropertyRead(ViSession, ViConstString, ViConstString, ViChar *, ViInt32)
{
    return VI_ERROR_NSUP_OPER;
}

ViStatus pnpSimulation(ViSession vi, ViBoolean mode)
{
    // A mode the 16-bit signed argument cannot hold is no mode at all.
    return panelmate_setSimulationMode(vi, mode > 1 ? static_cast<ViInt16>(-1) : static_cast<ViInt16>(mode));
}

bool named(const char *operation, const char *name)
{
    return strcmp(operation, name) == 0;
}

// The PnP doOperation: reset, start and stop on the whole database, and the
// messages of the command language.
ViStatus pnpOperation(ViSession vi, ViConstString operation, ViConstString argument)
{
    return platform::guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (!operation)
            return VI_ERROR_NSUP_OPER;
        if (named(operation, "reset") || named(operation, "start") || named(operation, "stop")) {
            // The instrument's own database-wide walk has reached the
            // instrument itself: the walk goes on to the others.
            if (s->ownWalks > 0)
                return VI_SUCCESS;
            return ownOperation(*s, nullptr, operation);
        }
        if (named(operation, "uiEvent"))
            return uiEvent(*s, argument);
        return VI_ERROR_NSUP_OPER;
    });
}

ViStatus pnpAttach(ViSession, TQPnPHandle *)
{
    return VI_ERROR_NSUP_OPER;
}

} // namespace

BasicSession *findSession(ViSession vi)
{
    platform::MutexGuard guard(listLock());
    for (BasicSession *s = g_head; s; s = s->next)
        if (s->key == vi)
            return s;
    return nullptr;
}

} // namespace tq::panelmate

using namespace tq::panelmate;
using tq::platform::guardStatus;

TQ_API ViStatus panelmate_getPnPHandle(ViConstRsrc, TQPnPHandle **handle)
{
    return guardStatus([&]() -> ViStatus {
        if (!handle)
            return VI_ERROR_INV_PARAMETER;
        ViSession vi = static_cast<ViSession>(reinterpret_cast<uintptr_t>(*handle));
        auto *owned = static_cast<InstrumentHandle *>(calloc(1, sizeof(InstrumentHandle)));
        TQPnPHandle *h = owned ? &owned->pnp : nullptr;
        if (!h) {
            *handle = nullptr;
            return VI_ERROR_ALLOC;
        }
        h->refCount = 1;
        h->addReference = tq::driver::pnpAddReference;
        h->release = pnpReleaseHandle;
        h->setPropertyByName = noProperty;
        h->getPropertyByName = noPropertyRead;
        h->doOperation = pnpOperation;
        h->registerStreamMsg = panelmate_registerStreamMsg;
        h->registerSpyMsg = panelmate_registerSpyMsg;
        h->crossCheck = panelmate_crossCheck;
        h->setSimulationMode = pnpSimulation;
        h->getStream = panelmate_getStream;
        h->getEventStatus = panelmate_getEventStatus;
        h->installEventHandler = panelmate_installEventHandler;
        h->uninstallEventHandler = panelmate_uninstallEventHandler;
        h->wait = nullptr;
        h->attachBackend = pnpAttach;
        BasicSession *s = findSession(vi);
        ViStatus st = VI_SUCCESS;
        if (!s || !s->initialising) {
            st = openSession(&vi, &s);
            if (st < VI_SUCCESS) {
                free(owned);
                *handle = nullptr;
                return st;
            }
        }
        ++s->pnpHandles;
        owned->owner = s;
        h->session = vi;
        *handle = h;
        return st;
    });
}

TQ_API ViStatus panelmate_init(ViRsrc, ViBoolean, ViBoolean, ViSession *vi)
{
    return guardStatus([&]() -> ViStatus { return openSession(vi, nullptr); });
}

TQ_API ViStatus panelmate_close(ViSession vi)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return closeSession(s);
    });
}

TQ_API ViStatus panelmate_registerStreamMsg(ViSession vi, TQStreamMsg *sink)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        tq::frontpanel::replaceSink(s->sink, sink);
        tq::frontpanel::printLine(s->spy, "panelmate_registerStreamMsg(%#lx(%s),%#lx) retVal=%#lx\n", ul(vi), s->name,
                                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(sink)), ul(VI_SUCCESS));
        return VI_SUCCESS;
    });
}

TQ_API ViStatus panelmate_registerSpyMsg(ViSession vi, TQStreamMsg *sink)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        tq::frontpanel::replaceSink(s->spy, sink);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus panelmate_setSimulationMode(ViSession vi, ViInt16 mode)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus st = VI_SUCCESS;
        if (mode == 1) {
            s->simulationState = 2;
            s->simulationMode = 1;
        } else if (mode == 0) {
            if (s->simulationState == 2) {
                s->simulationState = 1;
                s->simulationMode = 0;
            } else if (s->simulationState == 3) {
                st = static_cast<ViStatus>(0xBFFC0017);
            }
        } else {
            st = VI_ERROR_INV_PARAMETER;
        }
        tq::frontpanel::printLine(s->spy, "panelmate_setSimulationMode(%#lx(%s),%#lx) retVal=%#lx\n", ul(vi), s->name,
                                  static_cast<unsigned long>(static_cast<uint16_t>(mode)), ul(st));
        return st;
    });
}

TQ_API ViStatus panelmate_getSimulationMode(ViSession vi, ViInt16 *mode)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        // The mode is the result; the caller's variable is left as it was.
        const ViStatus st = s->simulationMode;
        tq::frontpanel::printLine(s->spy, "panelmate_getSimulationMode(%#lx(%s),%#lx(%#lx)) retVal=%#lx\n", ul(vi),
                                  s->name, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(mode)),
                                  static_cast<unsigned long>(mode ? static_cast<uint16_t>(*mode) : 0), ul(st));
        return st;
    });
}

TQ_API ViStatus panelmate_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                              void *userData, ViChar *message)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return s->handlers.install(mask, handler, userData, message);
    });
}

TQ_API ViStatus panelmate_uninstallEventHandler(ViSession vi, ViUInt32, TQInstrumentEventHandler handler,
                                                void *userData)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return s->handlers.uninstall(handler, userData);
    });
}

TQ_API ViStatus panelmate_crossCheck(ViSession vi, ViChar *)
{
    return findSession(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus panelmate_getEventStatus(ViSession vi, ViUInt16, ViUInt16 *, ViUInt16, ViChar *)
{
    return findSession(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus panelmate_getStream(ViSession vi, ViConstString, TQStream **)
{
    return findSession(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}
