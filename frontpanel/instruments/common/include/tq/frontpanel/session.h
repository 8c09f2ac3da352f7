// What both virtual instruments do alike with their sessions: the
// process-wide list of open sessions, and the exports that only keep a sink
// or the simulation mode. The session type S is the instrument's own record;
// it carries at least key, name, sink, spy, simulationState, simulationMode
// and the next / prev links of the list.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "tq/frontpanel/handlers.h"
#include "tq/platform/sync.h"
#include "tqpnp.h"

namespace tq::frontpanel
{

// Manager sessions on different threads open and close instrument sessions
// at the same time, and other threads look sessions up: the list itself is
// guarded; each session is driven by the thread of its manager session.
// One list for each session type, newest first.
template <class S> class SessionList
{
  public:
    static void link(S *s)
    {
        platform::MutexGuard guard(lock());
        s->prev = nullptr;
        s->next = head();
        if (head())
            head()->prev = s;
        head() = s;
    }

    static void unlink(S *s)
    {
        platform::MutexGuard guard(lock());
        if (s->prev)
            s->prev->next = s->next;
        else if (head() == s)
            head() = s->next;
        if (s->next)
            s->next->prev = s->prev;
        s->next = s->prev = nullptr;
    }

    static bool isOpen(const S *session)
    {
        platform::MutexGuard guard(lock());
        for (S *s = head(); s; s = s->next)
            if (s == session)
                return true;
        return false;
    }

    // The newest session of a session value, or null.
    static S *find(ViSession vi)
    {
        platform::MutexGuard guard(lock());
        for (S *s = head(); s; s = s->next)
            if (s->key == vi)
                return s;
        return nullptr;
    }

  private:
    static platform::Mutex &lock()
    {
        static platform::Mutex m;
        return m;
    }
    static S *&head()
    {
        static S *h = nullptr;
        return h;
    }
};

inline unsigned long traceValue(ViSession vi)
{
    return static_cast<unsigned long>(vi);
}
inline unsigned long traceStatus(ViStatus st)
{
    return static_cast<unsigned long>(static_cast<uint32_t>(st));
}

// The registerStreamMsg export: keeps the sink and traces the call under the
// export's name.
template <class S> ViStatus registerStreamMsg(ViSession vi, TQStreamMsg *sink, const char *exportName)
{
    S *s = SessionList<S>::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    replaceSink(s->sink, sink);
    printLine(s->spy, "%s(%#lx(%s),%#lx) retVal=%#lx\n", exportName, traceValue(vi), s->name,
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(sink)), traceStatus(VI_SUCCESS));
    return VI_SUCCESS;
}

// The registerSpyMsg export: keeps the trace sink.
template <class S> ViStatus registerSpyMsg(ViSession vi, TQStreamMsg *sink)
{
    S *s = SessionList<S>::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    replaceSink(s->spy, sink);
    return VI_SUCCESS;
}

// Moves the simulation state (1 real, 2 simulated, 3 cannot leave
// simulation) and mode as the requested mode asks; the status of the change.
ViStatus changeSimulation(int16_t &state, int16_t &mode, ViInt16 requested);

// The setSimulationMode export, traced under the export's name.
template <class S> ViStatus setSimulationMode(ViSession vi, ViInt16 mode, const char *exportName)
{
    S *s = SessionList<S>::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus st = changeSimulation(s->simulationState, s->simulationMode, mode);
    printLine(s->spy, "%s(%#lx(%s),%#lx) retVal=%#lx\n", exportName, traceValue(vi), s->name,
              static_cast<unsigned long>(static_cast<uint16_t>(mode)), traceStatus(st));
    return st;
}

// The getSimulationMode export: the mode is the result; the caller's
// variable is left as it was.
template <class S> ViStatus getSimulationMode(ViSession vi, ViInt16 *mode, const char *exportName)
{
    S *s = SessionList<S>::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus st = s->simulationMode;
    printLine(s->spy, "%s(%#lx(%s),%#lx(%#lx)) retVal=%#lx\n", exportName, traceValue(vi), s->name,
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(mode)),
              static_cast<unsigned long>(mode ? static_cast<uint16_t>(*mode) : 0), traceStatus(st));
    return st;
}

// The installEventHandler export.
template <class S>
ViStatus installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler, void *userData,
                             ViChar *message)
{
    S *s = SessionList<S>::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return s->handlers.install(mask, handler, userData, message);
}

// The uninstallEventHandler export.
template <class S> ViStatus uninstallEventHandler(ViSession vi, TQInstrumentEventHandler handler, void *userData)
{
    S *s = SessionList<S>::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return s->handlers.uninstall(handler, userData);
}

// Keeps a session's record while a call into the instrument runs. Listeners
// are called synchronously from within the call, and one may close the
// manager session, which closes this session: the close then only marks the
// record closed (closeRecord), and the last hold frees it (through release)
// once the call has unwound. S carries holds and closed.
template <class S> class SessionHold
{
  public:
    SessionHold(S &s, void (*release)(S *)) : s_(s), release_(release) { ++s_.holds; }
    ~SessionHold()
    {
        if (--s_.holds == 0 && s_.closed)
            release_(&s_);
    }
    SessionHold(const SessionHold &) = delete;
    SessionHold &operator=(const SessionHold &) = delete;

  private:
    S &s_;
    void (*release_)(S *);
};

// Frees a closed session now, or leaves that to the last hold of a call that
// is still running on it; true when it was freed.
template <class S> bool closeRecord(S *s, void (*release)(S *))
{
    s->closed = true;
    if (s->holds > 0)
        return false;
    release(s);
    return true;
}

// The PnP handle as an instrument allocates it: the shared record first,
// then the session it belongs to.
template <class S> struct InstrumentHandle {
    TQPnPHandle pnp;
    S *owner;
};

// The session a PnP handle belongs to, or null.
template <class S> S *handleOwner(TQPnPHandle **handle)
{
    return handle && *handle ? reinterpret_cast<InstrumentHandle<S> *>(*handle)->owner : nullptr;
}

// The getPnPHandle export: *handle carries the session value in, the new
// handle (the operations of ops) out. The handle shares the session init is
// still opening for that value, which is what the manager's notifications
// during init reach; otherwise it opens a session of its own through open.
template <class S>
ViStatus openPnPHandle(TQPnPHandle **handle, const TQPnPHandle &ops, ViStatus (*open)(ViSession *, S **))
{
    if (!handle)
        return VI_ERROR_INV_PARAMETER;
    ViSession vi = static_cast<ViSession>(reinterpret_cast<uintptr_t>(*handle));
    auto *owned = static_cast<InstrumentHandle<S> *>(calloc(1, sizeof(InstrumentHandle<S>)));
    TQPnPHandle *h = owned ? &owned->pnp : nullptr;
    if (!h) {
        *handle = nullptr;
        return VI_ERROR_ALLOC;
    }
    *h = ops;
    h->refCount = 1;
    h->session = 0;
    S *s = SessionList<S>::find(vi);
    ViStatus st = VI_SUCCESS;
    if (!s || !s->initialising) {
        st = open(&vi, &s);
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
}

} // namespace tq::frontpanel
