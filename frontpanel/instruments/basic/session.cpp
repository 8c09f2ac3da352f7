// Sessions of the basic instrument: the process-wide list, init and close,
// the PnP handle, and the exports that only read or keep settings.
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument.h"
#include "tq/driver/pnp_refcount.h"
#include "tq/frontpanel/session.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"
#include "tqdaq.h"

namespace tq::panelmate
{

namespace
{

using Sessions = frontpanel::SessionList<BasicSession>;

ViStatus closeSession(BasicSession *s)
{
    frontpanel::printLine(s->spy, "panelmate_close(%#lx(%s)) retVal=???\n", frontpanel::traceValue(s->key), s->name);
    Sessions::unlink(s);
    frontpanel::replaceSink(s->sink, nullptr);
    frontpanel::replaceSink(s->spy, nullptr);
    frontpanel::closeRecord(s, freeSession);
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
    Sessions::link(s);

    s->initialising = true;
    ViStatus st = tqdaq_autoPopulateDB(manager, kOwnName);
    if (st >= VI_SUCCESS)
        st = tqdaq_createStreams(manager, nullptr, 1, 0);
    s->initialising = false;
    if (st < VI_SUCCESS) {
        Sessions::unlink(s);
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
        BasicSession *owner = frontpanel::handleOwner<BasicSession>(handle);
        return driver::pnpRelease(
            handle,
            [](ViSession, void *owner) {
                // A session already closed through panelmate_close is gone.
                auto *s = static_cast<BasicSession *>(owner);
                if (s && Sessions::isOpen(s) && --s->pnpHandles <= 0)
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
        const frontpanel::SessionHold<BasicSession> hold(*s, freeSession);
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

} // namespace

BasicSession *findSession(ViSession vi)
{
    return Sessions::find(vi);
}

void freeSession(BasicSession *s)
{
    delete s;
}

} // namespace tq::panelmate

using namespace tq::panelmate;
using tq::platform::guardStatus;

TQ_API ViStatus panelmate_getPnPHandle(ViConstRsrc, TQPnPHandle **handle)
{
    return guardStatus([&]() -> ViStatus {
        TQPnPHandle ops = {};
        ops.addReference = tq::driver::pnpAddReference;
        ops.release = pnpReleaseHandle;
        ops.setPropertyByName = noProperty;
        ops.getPropertyByName = noPropertyRead;
        ops.doOperation = pnpOperation;
        ops.registerStreamMsg = panelmate_registerStreamMsg;
        ops.registerSpyMsg = panelmate_registerSpyMsg;
        ops.crossCheck = panelmate_crossCheck;
        ops.setSimulationMode = pnpSimulation;
        ops.getStream = panelmate_getStream;
        ops.getEventStatus = panelmate_getEventStatus;
        ops.installEventHandler = panelmate_installEventHandler;
        ops.uninstallEventHandler = panelmate_uninstallEventHandler;
        ops.wait = nullptr;
        ops.attachBackend = tq::driver::pnpAttachBackend;
        return tq::frontpanel::openPnPHandle<BasicSession>(handle, ops, openSession);
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
        return tq::frontpanel::registerStreamMsg<BasicSession>(vi, sink, "panelmate_registerStreamMsg");
    });
}

TQ_API ViStatus panelmate_registerSpyMsg(ViSession vi, TQStreamMsg *sink)
{
    return guardStatus([&]() -> ViStatus { return tq::frontpanel::registerSpyMsg<BasicSession>(vi, sink); });
}

TQ_API ViStatus panelmate_setSimulationMode(ViSession vi, ViInt16 mode)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::setSimulationMode<BasicSession>(vi, mode, "panelmate_setSimulationMode");
    });
}

TQ_API ViStatus panelmate_getSimulationMode(ViSession vi, ViInt16 *mode)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::getSimulationMode<BasicSession>(vi, mode, "panelmate_getSimulationMode");
    });
}

TQ_API ViStatus panelmate_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                              void *userData, ViChar *message)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::installEventHandler<BasicSession>(vi, mask, handler, userData, message);
    });
}

TQ_API ViStatus panelmate_uninstallEventHandler(ViSession vi, ViUInt32, TQInstrumentEventHandler handler,
                                                void *userData)
{
    return guardStatus(
        [&]() -> ViStatus { return tq::frontpanel::uninstallEventHandler<BasicSession>(vi, handler, userData); });
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
