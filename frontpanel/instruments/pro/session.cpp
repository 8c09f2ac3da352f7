// Sessions of the professional instrument: the process-wide list, init with
// its choice of database, close, and the PnP handle.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument.h"
#include "tq/driver/pnp_refcount.h"
#include "tq/frontpanel/session.h"
#include "tq/platform/broadcast.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"
#include "tqdaq.h"

namespace tq::panelmatepro
{

namespace
{

using Sessions = frontpanel::SessionList<ProSession>;

void destroy(ProSession *s)
{
    Sessions::unlink(s);
    frontpanel::replaceSink(s->sink, nullptr);
    frontpanel::replaceSink(s->spy, nullptr);
    // Threads still waiting leave with 0xBFFF0030 on their own time.
    if (s->waiters)
        s->waiters->close();
    s->waiters = nullptr;
    frontpanel::closeRecord(s, freeSession);
}

ViStatus closeSession(ProSession *s)
{
    // The viewer would be told to close here by a message to its thread; this
    // platform has no thread message queues, and the viewer, a thread of the
    // host, ends with the host's window.
    frontpanel::printLine(s->spy, "panelmatepro_close(%#lx(%s)) retVal=???\n", ul(s->key), s->name);
    destroy(s);
    return VI_SUCCESS;
}

// One candidate database after the other, "<base>", "<base>1" ... "<base>199":
// the first that cannot be selected is created, and names the session.
ViStatus chooseDatabase(ProSession &s, const char *base)
{
    ViStatus st = VI_SUCCESS;
    for (int i = 0; i < 200; ++i) {
        char candidate[32];
        if (i == 0)
            platform::copyText(candidate, base);
        else
            snprintf(candidate, sizeof candidate, "%s%d", base, i);
        st = tqdaq_setDB(s.manager, candidate);
        if (st >= VI_SUCCESS || st == TQDAQ_ERROR_OTHER_MODEL)
            continue;
        st = tqdaq_createDB(s.manager, candidate);
        if (st >= VI_SUCCESS) {
            platform::copyText(s.name, candidate);
            break;
        }
    }
    return st;
}

// Opens a session; the caller learns which one for its PnP handle.
ViStatus openSession(ViSession *vi, ProSession **opened)
{
    if (opened)
        *opened = nullptr;
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    const ViSession manager = *vi;
    *vi = 0;
    auto *s = new (std::nothrow) ProSession;
    if (!s)
        return VI_ERROR_ALLOC;
    s->waiters = platform::EventBroadcast::create();
    if (!s->waiters) {
        delete s;
        return VI_ERROR_ALLOC;
    }
    s->key = manager;
    s->manager = manager;
    Sessions::link(s);

    s->initialising = true;
    char name[TQDAQ_NAME_SIZE] = {};
    ViStatus st = tqdaq_getDB(manager, name);
    if (st < VI_SUCCESS) {
        if (st == TQDAQ_ERROR_OTHER_MODEL)
            tqdaq_setDB(manager, nullptr);
        st = chooseDatabase(*s, "system");
    }
    s->initialising = false;
    if (st < VI_SUCCESS) {
        destroy(s);
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
        ProSession *owner = frontpanel::handleOwner<ProSession>(handle);
        return driver::pnpRelease(
            handle,
            [](ViSession, void *owner) {
                // A session already closed through panelmatepro_close is
                // gone; one whose init is still running is closed by it.
                auto *s = static_cast<ProSession *>(owner);
                if (s && Sessions::isOpen(s) && --s->pnpHandles <= 0 && !s->initialising)
                    closeSession(s);
            },
            owner);
    });
}

ViStatus pnpSimulation(ViSession vi, ViBoolean mode)
{
    // A mode the 16-bit signed argument cannot hold is no mode at all.
    return panelmatepro_setSimulationMode(vi, mode > 1 ? static_cast<ViInt16>(-1) : static_cast<ViInt16>(mode));
}

// The PnP doOperation: the probe, and the messages of the command language.
ViStatus pnpOperation(ViSession vi, ViConstString operation, ViConstString argument)
{
    return platform::guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const frontpanel::SessionHold<ProSession> hold(*s, freeSession);
        if (!operation)
            return VI_ERROR_NSUP_OPER;
        // The probe command's walk over the database reaches the
        // instrument too: that is where the probing is done.
        if (strcmp(operation, "probe") == 0)
            return panelmatepro_probe(vi);
        if (strcmp(operation, "uiEvent") == 0)
            return uiEvent(*s, argument);
        return VI_ERROR_NSUP_OPER;
    });
}

} // namespace

unsigned long ul(ViSession vi)
{
    return frontpanel::traceValue(vi);
}
unsigned long ul(ViStatus st)
{
    return frontpanel::traceStatus(st);
}

ProSession *findSession(ViSession vi)
{
    return Sessions::find(vi);
}

void freeSession(ProSession *s)
{
    delete s;
}

// Properties by name, in properties.cpp.
ViStatus setPropertyByName(ViSession vi, ViConstString name, ViConstString value);
ViStatus getPropertyByName(ViSession vi, ViConstString name, ViConstString index, ViChar *value, ViInt32 length);

} // namespace tq::panelmatepro

using namespace tq::panelmatepro;
using tq::platform::guardStatus;

TQ_API ViStatus panelmatepro_getPnPHandle(ViConstRsrc, TQPnPHandle **handle)
{
    return guardStatus([&]() -> ViStatus {
        TQPnPHandle ops = {};
        ops.addReference = tq::driver::pnpAddReference;
        ops.release = pnpReleaseHandle;
        ops.setPropertyByName = setPropertyByName;
        ops.getPropertyByName = getPropertyByName;
        ops.doOperation = pnpOperation;
        ops.registerStreamMsg = panelmatepro_registerStreamMsg;
        ops.registerSpyMsg = panelmatepro_registerSpyMsg;
        ops.crossCheck = panelmatepro_crossCheck;
        ops.setSimulationMode = pnpSimulation;
        ops.getStream = panelmatepro_getStream;
        ops.getEventStatus = panelmatepro_getEventStatus;
        ops.installEventHandler = panelmatepro_installEventHandler;
        ops.uninstallEventHandler = panelmatepro_uninstallEventHandler;
        ops.wait = panelmatepro_wait;
        ops.attachBackend = tq::driver::pnpAttachBackend;
        return tq::frontpanel::openPnPHandle<ProSession>(handle, ops, openSession);
    });
}

TQ_API ViStatus panelmatepro_init(ViRsrc, ViBoolean, ViBoolean, ViSession *vi)
{
    return guardStatus([&]() -> ViStatus { return openSession(vi, nullptr); });
}

TQ_API ViStatus panelmatepro_close(ViSession vi)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return closeSession(s);
    });
}

TQ_API ViStatus panelmatepro_probe(ViSession vi)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const tq::frontpanel::SessionHold<ProSession> hold(*s, freeSession);
        const ViStatus st = probe(*s);
        tq::frontpanel::printLine(s->spy, "panelmatepro_probe(%#lx(%s)) retVal=%#lx\n", ul(vi), s->name, ul(st));
        return st;
    });
}

TQ_API ViStatus panelmatepro_uiEvent(ViSession vi, ViConstString message)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const tq::frontpanel::SessionHold<ProSession> hold(*s, freeSession);
        return uiEvent(*s, message);
    });
}

TQ_API ViStatus panelmatepro_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *bits, ViChar *message)
{
    ProSession *s = findSession(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    // The time-out runs from the call: events of other masks do not start it
    // again, so a caller waiting for bits the instrument never raises is not
    // kept waiting for as long as the instrument keeps talking.
    ViUInt32 word = 0;
    switch (s->waiters->wait(mask, timeoutMs, &word, message, tq::platform::EventBroadcast::TimeOut::FromCall)) {
    case tq::platform::EventBroadcast::Outcome::Event:
        if (bits)
            *bits = word;
        return VI_SUCCESS;
    case tq::platform::EventBroadcast::Outcome::Closed:
        if (bits)
            *bits = 0;
        return VI_ERROR_ABORT;
    case tq::platform::EventBroadcast::Outcome::LockFailed:
        return static_cast<ViStatus>(TQ_WAIT_FAILED);
    case tq::platform::EventBroadcast::Outcome::Timeout:
    case tq::platform::EventBroadcast::Outcome::LockTimeout:
        break;
    }
    if (bits)
        *bits = word;
    return VI_ERROR_TMO;
}
