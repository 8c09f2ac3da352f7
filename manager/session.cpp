// Manager sessions: opening and closing, the controller user, the message
// sink and the spy queue.
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "manager.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/debug.h"
#include "tq/platform/guard.h"
#include "tq/platform/numfmt.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

// The process whose marks were last cleared (0: none yet).
std::atomic<pid_t> g_markProcess{0};

// Sessions of this process opened while another running process held their
// user's mark: found again by user name, as a marked session is by its mark.
std::mutex g_unmarkedLock;
std::map<std::string, ViSession> g_unmarked;

Session *unmarkedSession(const std::string &user)
{
    std::lock_guard<std::mutex> guard(g_unmarkedLock);
    auto it = g_unmarked.find(user);
    return it == g_unmarked.end() ? nullptr : findSession(it->second);
}

void forgetUnmarked(const Session *s)
{
    std::lock_guard<std::mutex> guard(g_unmarkedLock);
    auto it = g_unmarked.find(s->userName);
    if (it != g_unmarked.end() && it->second == s->handle)
        g_unmarked.erase(it);
}

int32_t spyPrint(TQStreamMsg *, const char *format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    platform::vcformat(text, sizeof text, format, args);
    va_end(args);
    platform::debugOutput(text);
    return 0;
}

// Clears the marks of one column that no running process owns any more.
bool clearStaleMarks(sqlite3 *db, const char *select, const char *clear)
{
    std::vector<std::string> stale;
    {
        Statement q(db, select);
        if (!q.ok())
            return false;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW)
            if (q.text(0) && markOwner(q.text(0)) != MarkOwner::OtherProcess)
                stale.emplace_back(q.text(0));
        if (rc != SQLITE_DONE)
            return false;
    }
    for (const std::string &mark : stale)
        if (execStatement(db, clear, mark) != SQLITE_DONE)
            return false;
    return true;
}

// Clears the marks left behind by processes that are gone, once per
// process: marks describe a running process, and those of an earlier one
// mean nothing now. Another process that is still running may hold sessions
// on the same file (a panel and a script): its marks stay.
ViStatus resetStaleMarks()
{
    const pid_t self = getpid();
    if (g_markProcess.load() == self)
        return VI_SUCCESS;
    sqlite3 *db = devicedb::openDeviceDatabase();
    if (!db)
        return TQDAQ_ERROR_STATEMENT;
    const bool done =
        clearStaleMarks(db, "select distinct deviceHandle from presource where deviceHandle not null",
                        "update presource set deviceHandle=NULL where deviceHandle=?") &&
        clearStaleMarks(db, "select distinct deviceHandle from vresource where deviceHandle not null",
                        "update vresource set deviceHandle=NULL where deviceHandle=?") &&
        clearStaleMarks(db, "select distinct handle from users where handle not null",
                        "update users set handle=NULL where handle=?");
    devicedb::closeDeviceDatabase(db);
    if (!done)
        return TQDAQ_ERROR_STATEMENT;
    g_markProcess.store(self);
    return VI_SUCCESS;
}

void releaseSink(TQStreamMsg *&sink)
{
    if (sink)
        sink->streamMsgRelease(&sink);
    sink = nullptr;
}

void releaseFormulaEngine(Session *s)
{
    if (s->formulaStream)
        s->formulaStream->streamRelease(&s->formulaStream);
    s->formulaStream = nullptr;
    if (s->engine) {
        if (const FormulaEngineOps *ops = formulaEngineOps())
            ops->release(&s->engine);
    }
    s->engine = nullptr;
}

void closeDefaultRM(Session *s)
{
    if (s->defaultRM) {
        visa::visa().viClose(s->defaultRM);
        s->defaultRM = 0;
    }
}

// The controller user of system row 1: 0 with an empty name and id 0 when
// none is named.
ViStatus readController(Session *s, int64_t *userId, std::string *name)
{
    Statement q(s->db, "select users.users_id,users.username from system, users where system.system_id = 1 "
                       " and system.user_id=users.users_id");
    if (!q.ok())
        return TQDAQ_ERROR_STATEMENT;
    const int rc = q.step();
    if (rc == SQLITE_ROW) {
        if (name)
            *name = q.text(1) ? q.text(1) : "";
        if (userId) {
            auto id = q.int64(0);
            if (!id)
                return TQDAQ_ERROR_STATEMENT;
            *userId = *id;
        }
        return VI_SUCCESS;
    }
    if (rc != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    if (name)
        name->clear();
    if (userId)
        *userId = 0;
    return VI_SUCCESS;
}

// Sends "stop" to every instance of the session whose stream the session
// holds, whatever it is doing: those are the ones that may be acquiring into
// streams the session is about to let go.
void stopStreamingInstances(Session *s)
{
    const std::vector<OpenResource *> loaded = s->loaded;
    for (OpenResource *r : loaded)
        if (r->stream && r->pnp && r->pnp->doOperation)
            r->pnp->doOperation(r->pnp->session, "stop", nullptr);
}

// Undoes a half-opened session from the step that wrote the user's mark on,
// in the order closing uses.
void abandonSession(Session *s, OpenResource *instrument)
{
    releaseFormulaEngine(s);
    closeDefaultRM(s);
    if (instrument)
        closeResource(s, instrument);
    execStatement(s->db, "update users set handle=NULL where username=? and handle=?", s->userName,
                  markOf(s->handle));
    unloadRemaining(s);
    releaseSink(s->sink);
    releaseSink(s->spy);
    forgetUnmarked(s);
    sessionTable().remove(s->handle);
    s->statements.clear();
    devicedb::closeDeviceDatabase(s->db);
    delete s;
}

ViStatus getHandle(ViSession *handleOut, const char *userName, ViUInt16 vendor, ViUInt16 model, Session **opened)
{
    *opened = nullptr;
    if (!handleOut)
        return VI_ERROR_INV_PARAMETER;
    *handleOut = 0;

    visa::loadVisa(); // a missing library is no error; the next session tries again

    if (ViStatus st = resetStaleMarks(); st < VI_SUCCESS)
        return st;

    sqlite3 *db = devicedb::openDeviceDatabase();
    if (!db)
        return TQDAQ_ERROR_STATEMENT;
    forgetEventHandlers(db);

    // The user. A name the session record cannot hold belongs to no user; a
    // quote never reaches a statement.
    if (!userName || strlen(userName) > kMaxUserName) {
        devicedb::closeDeviceDatabase(db);
        return TQDAQ_ERROR_UNKNOWN_USER;
    }
    if (!nameUsable(userName, kMaxUserName)) {
        devicedb::closeDeviceDatabase(db);
        return TQDAQ_ERROR_STATEMENT;
    }
    int64_t userId = 0;
    std::string userMark;
    bool userMarkForeign = false;
    {
        Statement q(db, "select users_id,handle from users where username = ?", userName);
        const int rc = q.ok() ? q.step() : SQLITE_ERROR;
        if (rc != SQLITE_ROW) {
            devicedb::closeDeviceDatabase(db);
            return rc == SQLITE_DONE ? TQDAQ_ERROR_UNKNOWN_USER : TQDAQ_ERROR_STATEMENT;
        }
        if (!q.isNull(1)) {
            // The user holds a session of this process: hand it out again. A
            // mark of this process whose session is gone is no session. A
            // mark of another running process stays its own: this process
            // opens a session of its own beside it, unmarked. A mark of a
            // process that is gone is stale and taken over below.
            const auto mark = q.int64(1);
            const MarkOwner owner = mark ? markOwner(*mark) : MarkOwner::Nobody;
            if (owner == MarkOwner::ThisProcess) {
                const auto handle = handleOfMark(*mark);
                Session *existing = handle ? findSession(*handle) : nullptr;
                devicedb::closeDeviceDatabase(db);
                if (!existing)
                    return TQDAQ_ERROR_STATEMENT;
                *handleOut = existing->handle;
                *opened = existing;
                return VI_SUCCESS;
            }
            if (q.text(1))
                userMark = q.text(1);
            userMarkForeign = owner == MarkOwner::OtherProcess;
            if (userMarkForeign) {
                if (Session *existing = unmarkedSession(userName)) {
                    devicedb::closeDeviceDatabase(db);
                    *handleOut = existing->handle;
                    *opened = existing;
                    return VI_SUCCESS;
                }
            }
        }
        auto id = q.int64(0);
        if (!id) {
            devicedb::closeDeviceDatabase(db);
            return TQDAQ_ERROR_STATEMENT;
        }
        userId = *id;
    }

    // The application model.
    std::string libStem, prefix, pluginId;
    int64_t modelId = 0;
    {
        Statement q(db, "select pnplibname,prefix,pinterface_id,model_id from model where vendor=? and model=?",
                    static_cast<int64_t>(vendor), static_cast<int64_t>(model));
        const auto id = (q.ok() && q.step() == SQLITE_ROW) ? q.int64(3) : std::nullopt;
        if (!id || *id == 0 || !q.text(0) || !q.text(1)) {
            devicedb::closeDeviceDatabase(db);
            return TQDAQ_ERROR_STATEMENT;
        }
        modelId = *id;
        libStem = q.text(0);
        prefix = q.text(1);
        if (q.text(2))
            pluginId = q.text(2);
    }

    auto *s = new (std::nothrow) Session;
    if (!s) {
        devicedb::closeDeviceDatabase(db);
        return VI_ERROR_ALLOC;
    }
    s->handle = sessionTable().add(s);
    if (!s->handle) {
        delete s;
        devicedb::closeDeviceDatabase(db);
        return VI_ERROR_ALLOC;
    }
    s->modelId = modelId;
    s->vendor = vendor;
    s->model = model;
    s->progressMessages = true;
    s->db = db;
    s->userName = userName;

    // The mark is written unless another running process holds it; it
    // replaces only what was read, so two processes starting at once do not
    // take each other's.
    const int marked =
        userMarkForeign ? SQLITE_DONE
        : userMark.empty()
            ? execStatement(db, "update users set handle=? where users_id = ? and handle is null", markOf(s->handle),
                            userId)
            : execStatement(db, "update users set handle=? where users_id = ? and handle=?", markOf(s->handle),
                            userId, userMark);
    if (marked != SQLITE_DONE) {
        abandonSession(s, nullptr);
        return TQDAQ_ERROR_STATEMENT;
    }
    if (userMarkForeign) {
        std::lock_guard<std::mutex> guard(g_unmarkedLock);
        g_unmarked[s->userName] = s->handle;
    }
    *handleOut = s->handle;

    if (const FormulaEngineOps *ops = formulaEngineOps()) {
        s->engine = ops->create(0);
        if (!s->engine) {
            abandonSession(s, nullptr);
            *handleOut = 0;
            return VI_ERROR_ALLOC;
        }
        if (ops->getStream(s->engine, nullptr, &s->formulaStream) < 0) {
            s->formulaStream = nullptr;
            abandonSession(s, nullptr);
            *handleOut = 0;
            return TQDAQ_ERROR_STATEMENT;
        }
    }

    if (auto spy = platform::registryReadDword("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq", "Spy")) {
        s->trace = static_cast<int16_t>(*spy & 0xFFFF);
        // The spy queue is never read: its printing goes to the debug output.
        if (*spy != 0 && StreamMsgCommonCreate(1, &s->spy) == 0 && s->spy)
            s->spy->streamMsgPrintf = spyPrint;
    }

    if (visa::visaLoaded()) {
        const ViStatus st = visa::visa().viOpenDefaultRM(&s->defaultRM);
        if (st < VI_SUCCESS) {
            s->defaultRM = 0;
            abandonSession(s, nullptr);
            *handleOut = 0;
            return st;
        }
    }

    OpenResource *instrument = nullptr;
    ViStatus st = openPnP(s, nullptr, nullptr, libStem.c_str(), prefix.c_str(),
                          pluginId.empty() ? nullptr : pluginId.c_str(), &instrument);
    if (st < VI_SUCCESS) {
        abandonSession(s, nullptr);
        *handleOut = 0;
        return st;
    }
    char dbName[TQDAQ_NAME_SIZE];
    st = getDB(s, dbName);
    if (st >= VI_SUCCESS)
        st = markResourceOpen(s, dbName, dbName, instrument);
    if (st < VI_SUCCESS) {
        abandonSession(s, instrument);
        *handleOut = 0;
        return st;
    }
    *opened = s;
    return st;
}

ViStatus closeHandle(Session *s)
{
    // A listing its caller never read to the end still holds a statement.
    endListings(s);
    forgetEventHandlers(s->db);
    if (s->configTransaction && execStatement(s->db, "commit transaction") == SQLITE_DONE)
        s->configTransaction = false;
    // What runs stops before anything it feeds goes: an acquisition thread
    // hands scans to its stream's readers, the formula engine's among them,
    // until its driver has stopped, and closing an instance takes its stream
    // out of the engine before the driver closes.
    stopStreamingInstances(s);
    closeAllResources(s);

    char dbName[TQDAQ_NAME_SIZE];
    if (getDB(s, dbName) >= VI_SUCCESS) {
        OpenResource *own = nullptr;
        if (getVresource(s, dbName, false, &own) >= VI_SUCCESS && own)
            closeResource(s, own);
    }
    releaseFormulaEngine(s);
    closeDefaultRM(s);

    // Only this process's marks: those of another running process name its
    // own sessions and instruments.
    const int64_t first = markOf(0), next = first + (int64_t{1} << 32);
    if (execStatement(s->db, "update users set handle=NULL where username=? and handle=?", s->userName,
                      markOf(s->handle)) != SQLITE_DONE ||
        execStatement(s->db, "update presource set deviceHandle=NULL where deviceHandle>=? and deviceHandle<?", first,
                      next) != SQLITE_DONE ||
        execStatement(s->db, "update vresource set deviceHandle=NULL where deviceHandle>=? and deviceHandle<?", first,
                      next) != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT; // the record stays: a second close finishes

    unloadRemaining(s);
    s->statements.clear();
    devicedb::closeDeviceDatabase(s->db);
    s->db = nullptr;
    releaseSink(s->sink);
    releaseSink(s->spy);
    forgetUnmarked(s);
    sessionTable().remove(s->handle);
    delete s;
    return VI_SUCCESS;
}

// How often the controller check opens the database again when system row 1
// is missing before it gives up.
constexpr int kControllerReopens = 1;

// Manager calls running on this thread, and the sessions whose close was
// asked for from within one of them.
thread_local int t_callDepth = 0;
thread_local Session *t_deferredCloses = nullptr;

// Closes the session; on failure the record stays and can be closed again.
ViStatus closeNow(Session *s, ViSession handle)
{
    const bool traced = s->trace != 0;
    const ViStatus st = closeHandle(s);
    if (st < VI_SUCCESS)
        s->closing = false;
    if (traced)
        traceAlways("tqdaq_closeHandle(%#lx) retVal=%#lx\n", static_cast<unsigned long>(handle),
                    static_cast<unsigned long>(static_cast<uint32_t>(st)));
    return st;
}

} // namespace

CallScope::CallScope() noexcept
{
    ++t_callDepth;
}

CallScope::~CallScope()
{
    // Still counted while the closes run: a listener that closes a session
    // during one of them is deferred into this same loop.
    if (t_callDepth == 1) {
        while (Session *s = t_deferredCloses) {
            t_deferredCloses = s->nextDeferredClose;
            s->nextDeferredClose = nullptr;
            platform::guardStatus([&]() -> ViStatus { return closeNow(s, s->handle); });
        }
    }
    --t_callDepth;
}

ViStatus checkController(Session *s)
{
    for (int attempt = 0;; ++attempt) {
        int rc = SQLITE_ERROR;
        {
            Statement q(s->db, "select system_id,users.username from system left join users "
                               " on users.users_id=system.user_id where system.system_id=1");
            rc = q.ok() ? q.step() : SQLITE_ERROR;
            if (rc == SQLITE_ROW) {
                const char *controller = q.text(1);
                return controller && s->userName == controller ? VI_SUCCESS : TQDAQ_ERROR_NOT_CONTROLLER;
            }
        }
        if (rc != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
        // No system row on this connection: try a fresh one, a bounded number
        // of times; a file without the row names no controller.
        if (attempt >= kControllerReopens)
            return TQDAQ_ERROR_NOT_CONTROLLER;
        sqlite3 *fresh = devicedb::openDeviceDatabase();
        if (!fresh)
            return TQDAQ_ERROR_STATEMENT;
        s->statements.clear();
        devicedb::closeDeviceDatabase(s->db);
        s->db = fresh;
    }
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_getHandle(ViSession *handle, ViConstString userName, ViConstString, ViUInt16 vendor,
                                ViUInt16 model)
{
    return guardManager([&]() -> ViStatus {
        Session *s = nullptr;
        const ViStatus st = getHandle(handle, userName, vendor, model, &s);
        if (s)
            trace(s, "tqdaq_getHandle(%#lx,%s,XXX,%#hx,%#hx) retVal=%#lx\n",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)), orNull(userName), vendor, model,
                  static_cast<unsigned long>(static_cast<uint32_t>(st)));
        else
            traceAlways("tqdaq_getHandle(NULL,%s,XXX,%#hx,%#hx) retVal=%#lx\n", orNull(userName), vendor, model,
                        static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}

TQ_API ViStatus tqdaq_closeHandle(ViSession session)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        s->closing = true;
        // Asked for from within another manager call on this thread (an
        // instrument's listener, called during an operation walk): the calls
        // on the stack still use the record, so it is closed once the
        // outermost of them returns.
        if (t_callDepth > 1) {
            s->nextDeferredClose = t_deferredCloses;
            t_deferredCloses = s;
            return VI_SUCCESS;
        }
        return closeNow(s, session);
    });
}

TQ_API ViStatus tqdaq_setController(ViSession session, ViConstString userName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = [&]() -> ViStatus {
            int64_t current = 0;
            if (readController(s, &current, nullptr) < VI_SUCCESS || current != 0)
                return TQDAQ_ERROR_STATEMENT;
            if (!nameUsable(userName))
                return TQDAQ_ERROR_STATEMENT;
            Statement q(s->db, "select users.users_id from users where users.username=?", userName);
            const int rc = q.ok() ? q.step() : SQLITE_ERROR;
            if (rc == SQLITE_DONE)
                return VI_SUCCESS; // nobody of that name: nothing named
            if (rc != SQLITE_ROW)
                return TQDAQ_ERROR_STATEMENT;
            const auto id = q.int64(0);
            if (!id)
                return TQDAQ_ERROR_STATEMENT;
            // Only while nobody is named, also against another connection
            // naming one meanwhile.
            if (execStatement(s->db, "update system set user_id=? where system_id=1 and user_id is null", *id) !=
                    SQLITE_DONE ||
                sqlite3_changes(s->db) != 1)
                return TQDAQ_ERROR_STATEMENT;
            return VI_SUCCESS;
        }();
        trace(s, "tqdaq_assignController(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s),
              static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}

TQ_API ViStatus tqdaq_getController(ViSession session, ViChar *name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (name)
            name[0] = '\0';
        std::string controller;
        ViStatus st = readController(s, nullptr, &controller);
        if (st >= VI_SUCCESS && !copyName(name, controller.c_str()))
            st = TQDAQ_ERROR_STATEMENT;
        trace(s, "tqdaq_getController(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), name ? name : "NULL",
              static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}

TQ_API ViStatus tqdaq_registerStreamMsg(ViSession session, TQStreamMsg *sink)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (s->sink)
            s->sink->streamMsgRelease(&s->sink);
        s->sink = sink;
        if (sink)
            sink->streamMsgAddRef(sink);

        char dbName[TQDAQ_NAME_SIZE];
        if (getDB(s, dbName) >= VI_SUCCESS) {
            OpenResource *own = nullptr;
            if (getVresource(s, dbName, true, &own) >= VI_SUCCESS && own && own->pnp)
                own->pnp->registerStreamMsg(own->pnp->session, s->sink);
        }
        std::vector<std::string> members;
        {
            Statement q(s->db, "select vresource.name from vresource,db_resource,system where "
                               "db_resource.db_id=system.db_id  and system.system_id=1  and "
                               "vresource.vresource_id=db_resource.vresource_id");
            while (q.ok() && q.step() == SQLITE_ROW)
                if (q.text(0))
                    members.emplace_back(q.text(0));
        }
        for (const std::string &m : members) {
            OpenResource *r = nullptr;
            if (getVresource(s, m.c_str(), false, &r) >= VI_SUCCESS && r && r->pnp)
                r->pnp->registerStreamMsg(r->pnp->session, s->sink);
        }
        trace(s, "tqdaq_registerStreamMsg(" TQ_SESSION_FMT ",%#lx) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(sink)), 0ul);
        return VI_SUCCESS;
    });
}
