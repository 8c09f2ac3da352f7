// Instrument events through the manager: installing and uninstalling
// handlers, waiting, and reading an instrument's event status.
//
// A handler installed through the manager outlives its instrument: it is
// installed again each time the resource is opened. The handler, its user
// data and its message buffer stay in a table of this process; the
// eventhandler row keeps the resource name, the mask and the handler's mark
// (this process and the table entry, as for the other marks). Whatever else
// a row may hold, written by another process or by anybody who can write the
// file, names no entry and is never called.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

struct Remembered {
    TQInstrumentEventHandler handler;
    void *userData;
    ViChar *message;
};

std::mutex g_lock;
std::map<uint32_t, Remembered> g_remembered;
uint32_t g_next = 0;

int64_t remember(const Remembered &entry)
{
    std::lock_guard<std::mutex> guard(g_lock);
    // Entries are numbered from 1 and never 0; after 2^32 installs in one
    // process the numbers go round, skipping those still in use.
    do {
        ++g_next;
    } while (g_next == 0 || g_remembered.count(g_next));
    g_remembered[g_next] = entry;
    return markOf(g_next);
}

std::optional<Remembered> recall(const char *markText)
{
    const auto mark = devicedb::parseInt64(markText);
    const auto id = mark ? handleOfMark(*mark) : std::nullopt;
    if (!id)
        return std::nullopt;
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_remembered.find(*id);
    if (it == g_remembered.end())
        return std::nullopt;
    return it->second;
}

void forget(int64_t mark)
{
    if (const auto id = handleOfMark(mark)) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_remembered.erase(*id);
    }
}

ViStatus installEventHandler(Session *s, const char *name, ViUInt32 mask, TQInstrumentEventHandler handler,
                             void *userData, ViChar *message)
{
    // Installed again at every open, a null handler would be called then.
    if (!handler)
        return VI_ERROR_INV_PARAMETER;
    OpenResource *r = nullptr;
    ViStatus st = getVresource(s, name, false, &r);
    bool installed = false;
    if (st >= VI_SUCCESS) {
        if (r && r->pnp && r->pnp->installEventHandler) {
            st = r->pnp->installEventHandler(r->pnp->session, mask, handler, userData, message);
            if (st < VI_SUCCESS)
                return st;
            installed = true;
        }
    } else if (st != VI_ERROR_RSRC_NFOUND) {
        return st; // not open is fine: installed at the next open
    }

    const int64_t mark = remember({handler, userData, message});
    if (execStatement(s->db, "insert into eventhandler values(?,?,?,0,0)", name, static_cast<int64_t>(mask), mark) ==
        SQLITE_DONE)
        return VI_SUCCESS;
    forget(mark);
    if (installed && r->pnp->uninstallEventHandler)
        r->pnp->uninstallEventHandler(r->pnp->session, mask, handler, userData);
    return VI_ERROR_HNDLR_NINSTALLED;
}

ViStatus uninstallEventHandler(Session *s, const char *name, ViUInt32 mask, TQInstrumentEventHandler handler,
                               void *userData)
{
    OpenResource *r = nullptr;
    ViStatus st = getVresource(s, name, true, &r);
    if (st < VI_SUCCESS)
        return st;
    if (r && r->pnp && r->pnp->uninstallEventHandler)
        st = r->pnp->uninstallEventHandler(r->pnp->session, mask, handler, userData);

    // The handler is not installed again at the next open, whatever the
    // driver answered.
    std::vector<std::string> marks;
    {
        Statement q(s->db, "select callback from eventhandler where rsrcname=? and mask=?", name,
                    static_cast<int64_t>(mask));
        while (q.ok() && q.step() == SQLITE_ROW)
            if (q.text(0))
                marks.emplace_back(q.text(0));
    }
    for (const std::string &m : marks) {
        const auto entry = recall(m.c_str());
        if (!entry || entry->handler != handler || entry->userData != userData)
            continue;
        execStatement(s->db, "delete from eventhandler where rsrcname=? and mask=? and callback=?", name,
                      static_cast<int64_t>(mask), m);
        forget(*devicedb::parseInt64(m.c_str()));
    }
    return st;
}

} // namespace

void installRememberedHandlers(Session *s, const char *name, OpenResource *r)
{
    if (!r || !r->pnp || !r->pnp->installEventHandler)
        return;
    std::vector<std::pair<ViUInt32, Remembered>> handlers;
    {
        Statement q(s->db, "select mask,callback from eventhandler where rsrcname=?", name);
        while (q.ok() && q.step() == SQLITE_ROW) {
            const auto mask = q.int64(0);
            const auto entry = recall(q.text(1));
            if (mask && entry)
                handlers.emplace_back(static_cast<ViUInt32>(*mask), *entry);
        }
    }
    for (const auto &[mask, entry] : handlers)
        r->pnp->installEventHandler(r->pnp->session, mask, entry.handler, entry.userData, entry.message);
}

void forgetEventHandlers(sqlite3 *db)
{
    // Rows of another running process name handlers of that process, which
    // it installs again at its next open: they stay.
    std::vector<std::string> gone;
    {
        Statement q(db, "select distinct callback from eventhandler");
        while (q.ok() && q.step() == SQLITE_ROW)
            if (!q.text(0) || markOwner(q.text(0)) != MarkOwner::OtherProcess)
                gone.emplace_back(q.text(0) ? q.text(0) : "");
    }
    for (const std::string &mark : gone)
        execStatement(db, mark.empty() ? "delete from eventhandler where callback is null or callback=?"
                                       : "delete from eventhandler where callback=?",
                      mark);
    std::lock_guard<std::mutex> guard(g_lock);
    g_remembered.clear();
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_installEventHandler(ViSession session, ViConstString name, ViUInt32 mask,
                                          TQInstrumentEventHandler handler, void *userData, ViChar *message)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = installEventHandler(s, name, mask, handler, userData, message);
        trace(s, "tqdaq_installEventHandler(" TQ_SESSION_FMT ",%s,%#lx,%#lx) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), ul(reinterpret_cast<void *>(handler)), ul(userData), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_uninstallEventHandler(ViSession session, ViConstString name, ViUInt32 mask,
                                            TQInstrumentEventHandler handler, void *userData)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = uninstallEventHandler(s, name, mask, handler, userData);
        trace(s, "tqdaq_uninstallEventHandler(" TQ_SESSION_FMT ",%s,%#lx,%#lx) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), ul(reinterpret_cast<void *>(handler)), ul(userData), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_wait(ViSession session, ViConstString name, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status,
                           ViChar *message)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        OpenResource *r = nullptr;
        ViStatus st = getVresource(s, name, true, &r);
        if (st >= VI_SUCCESS && r && r->pnp && r->pnp->wait)
            st = r->pnp->wait(r->pnp->session, mask, timeoutMs, status, message);
        trace(s, "tqdaq_wait(" TQ_SESSION_FMT ",%s,%#lx,%#lx,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), static_cast<unsigned long>(mask), static_cast<unsigned long>(timeoutMs), ul(status),
              static_cast<unsigned long>(st >= VI_SUCCESS && status ? *status : 0), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_getEventStatus(ViSession session, ViConstString name, ViUInt16 event, ViUInt16 *active,
                                     ViUInt16 clear, ViChar *text)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        OpenResource *r = nullptr;
        ViStatus st = getVresource(s, name, true, &r);
        if (st >= VI_SUCCESS && r && r->pnp && r->pnp->getEventStatus)
            st = r->pnp->getEventStatus(r->pnp->session, event, active, clear, text);
        trace(s, "tqdaq_getEventStatus(" TQ_SESSION_FMT ",%s,%#hx,%#lx(%#lx),%#lx,%s) retVal=%#lx\n",
              TQ_SESSION_ARGS(s), orNull(name), event, ul(active),
              st >= VI_SUCCESS && active ? static_cast<unsigned long>(*active) : 0xFFFFFFFFul,
              static_cast<unsigned long>(clear), st >= VI_SUCCESS && text ? text : "NULL", ul(st));
        return st;
    });
}
