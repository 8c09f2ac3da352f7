// Open resources: loading a driver or virtual instrument through its PnP
// handle, the marks that find an open instance again, and closing.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

// Physical resources whose back-end is being opened on this thread: a
// back-end chain that leads back to one of them would open it again and
// again, so it is refused instead.
thread_local std::vector<std::string> t_backendChain;
// Longest chain of back-ends followed.
constexpr size_t kMaxBackendDepth = 8;

void unload(OpenResource *r)
{
    if (Session *owner = r->owner) {
        auto &v = owner->loaded;
        v.erase(std::remove(v.begin(), v.end(), r), v.end());
    }
    if (r->pnp)
        r->pnp->release(&r->pnp);
    r->pnp = nullptr;
    if (r->library)
        platform::freeLibrary(r->library);
    resourceTable().remove(r->handle);
    delete r;
}

// The back-end of a physical resource: the stored value, in the selected
// database, of the property its model's backendName attribute names.
ViStatus attachBackend(Session *s, const char *rsrcName, OpenResource *r)
{
    std::string backend;
    {
        Statement q(s->db,
                    "select configs.value from configs,system,category_attributes,ui,vresource,  presource where "
                    "vresource.model_id=ui.model_id  and category_attributes.category_id=ui.category_id  and "
                    "category_attributes.name='backendName'  and system.system_id=1  and "
                    "system.db_id=configs.db_id  and configs.vresource_id=vresource.vresource_id  and "
                    "configs.property=category_attributes.value  and vresource.vresource_id=presource.vresource_id "
                    " and presource.name=?",
                    rsrcName);
        if (!q.ok() || q.step() != SQLITE_ROW || !q.text(0))
            return VI_SUCCESS;
        backend = q.text(0);
    }
    for (const std::string &opening : t_backendChain)
        if (opening == rsrcName)
            return TQDAQ_ERROR_STATEMENT;
    if (t_backendChain.size() >= kMaxBackendDepth)
        return TQDAQ_ERROR_STATEMENT;
    t_backendChain.emplace_back(rsrcName);
    OpenResource *back = nullptr;
    ViStatus st = getVresource(s, backend.c_str(), true, &back);
    t_backendChain.pop_back();
    if (st < VI_SUCCESS)
        return st;
    if (!back || !back->pnp || !r->pnp->attachBackend)
        return VI_ERROR_NSUP_OPER;
    return r->pnp->attachBackend(r->pnp->session, back->pnp);
}

ViStatus openPnPSteps(Session *s, const char *rsrcName, const char *instrumentName, const char *libStem,
                      const char *prefix, OpenResource *&r)
{
    r = new (std::nothrow) OpenResource;
    if (!r)
        return VI_ERROR_ALLOC;
    r->handle = resourceTable().add(r);
    if (!r->handle) {
        delete r;
        r = nullptr;
        return VI_ERROR_ALLOC;
    }
    s->loaded.push_back(r);
    r->owner = s;
    if (!libStem || !prefix)
        return TQDAQ_ERROR_STATEMENT;
    r->library = platform::loadLibrary(std::string(libStem) + ".dll");
    if (!r->library)
        return TQDAQ_ERROR_STATEMENT;
    auto getPnPHandle = reinterpret_cast<TQGetPnPHandleFn>(
        platform::findSymbol(r->library, (std::string(prefix) + "_getPnPHandle").c_str()));
    if (!getPnPHandle)
        return TQDAQ_ERROR_STATEMENT;

    // A virtual instrument takes the manager session from the in/out word.
    TQPnPHandle *inout = reinterpret_cast<TQPnPHandle *>(static_cast<uintptr_t>(s->handle));
    ViStatus st = getPnPHandle(rsrcName, &inout);
    if (st < VI_SUCCESS) {
        progress(s, "Failure to intialize physical resource %s", orNull(rsrcName));
        return st;
    }
    if (!inout || reinterpret_cast<uintptr_t>(inout) == s->handle)
        return TQDAQ_ERROR_STATEMENT; // success without a handle
    r->pnp = inout;

    const ViSession vi = r->pnp->session;
    if (instrumentName && r->pnp->setPropertyByName)
        r->pnp->setPropertyByName(vi, "InstrumentName", instrumentName);
    if (s->sink && r->pnp->registerStreamMsg)
        st = r->pnp->registerStreamMsg(vi, s->sink);
    if (s->spy && r->pnp->registerSpyMsg)
        st = r->pnp->registerSpyMsg(vi, s->spy);
    if (st >= VI_SUCCESS && rsrcName && *rsrcName)
        st = attachBackend(s, rsrcName, r);
    return st;
}

} // namespace

ViStatus openPnP(Session *s, const char *rsrcName, const char *instrumentName, const char *libStem, const char *prefix,
                 const char *pluginId, OpenResource **out)
{
    OpenResource *r = nullptr;
    const ViStatus st = openPnPSteps(s, rsrcName, instrumentName, libStem, prefix, r);
    if (st < VI_SUCCESS && r) {
        unload(r);
        r = nullptr;
    }
    if (out)
        *out = r;
    trace(s, "tqdaq_openPnP(" TQ_SESSION_FMT ",%s,%s,%s,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(libStem),
          orNull(prefix), orNull(pluginId), ul(out), static_cast<unsigned long>(r ? r->handle : 0), ul(st));
    return st;
}

ViStatus closeResource(Session *s, OpenResource *r)
{
    ViStatus st = TQDAQ_ERROR_STATEMENT;
    const uint32_t traced = r ? r->handle : 0;
    if (r) {
        if (r->stream && s->engine)
            formulaEngineOps()->unregisterStream(s->engine, r->stream);

        static const char kUnload[] = "pnpunload;instrument;";
        char text[256];
        memcpy(text, kUnload, sizeof kUnload);
        const size_t used = sizeof kUnload - 1;
        if (!r->pnp || !r->pnp->getPropertyByName ||
            r->pnp->getPropertyByName(r->pnp->session, "InstrumentName", "", text + used,
                                      static_cast<ViInt32>(sizeof text - used)) < VI_SUCCESS)
            text[0] = '\0';
        text[sizeof text - 1] = '\0';

        int rc;
        if (r->openedAsVirtual) {
            if (text[0]) {
                char dbName[TQDAQ_NAME_SIZE];
                OpenResource *own = nullptr;
                if (getDB(s, dbName) >= VI_SUCCESS && getVresource(s, dbName, false, &own) >= VI_SUCCESS)
                    doOperation(s, dbName, "uiEvent", text);
            }
            rc = execStatement(s->db, "update vresource set deviceHandle=null where deviceHandle=?", markOf(r->handle));
        } else {
            rc = execStatement(s->db, "update presource set deviceHandle=null where deviceHandle=?", markOf(r->handle));
        }
        if (rc == SQLITE_DONE) {
            st = VI_SUCCESS;
            if (r->pnp)
                st = r->pnp->release(&r->pnp);
            r->pnp = nullptr;
            unload(r);
        }
    }
    trace(s, "tqdaq_closeResource(" TQ_SESSION_FMT ",%#lx) retVal=%#lx\n", TQ_SESSION_ARGS(s),
          static_cast<unsigned long>(traced), ul(st));
    return st;
}

ViStatus closeAllResources(Session *s)
{
    for (const char *sql : {"select presource_id,deviceHandle from presource where deviceHandle not null",
                            "select vresource.vresource_id,vresource.deviceHandle from vresource where "
                            "vresource.deviceHandle not null  and vresource.vresource_id not in   (select "
                            "db.vresource_id from db)"}) {
        std::vector<std::string> marks;
        {
            Statement q(s->db, sql);
            while (q.ok() && q.step() == SQLITE_ROW)
                if (q.text(1))
                    marks.emplace_back(q.text(1));
        }
        for (const std::string &m : marks)
            if (OpenResource *r = resourceOfMark(m.c_str()))
                closeResource(s, r);
    }
    // This session's instances that carry no mark (another live process
    // held it), the databases' own excepted.
    std::vector<OpenResource *> unmarked;
    for (OpenResource *r : s->loaded)
        if (r->openedAsVirtual && r->vresourceId != 0)
            unmarked.push_back(r);
    for (OpenResource *r : unmarked) {
        // A notification sent while closing may have closed it already.
        if (std::find(s->loaded.begin(), s->loaded.end(), r) == s->loaded.end())
            continue;
        Statement q(s->db, "select 1 from db where vresource_id=?", r->vresourceId);
        const int rc = q.ok() ? q.step() : SQLITE_ERROR;
        if (rc == SQLITE_DONE)
            closeResource(s, r);
    }
    return VI_SUCCESS;
}

void unloadRemaining(Session *s)
{
    while (!s->loaded.empty())
        unload(s->loaded.back());
}

ViStatus markResourceOpen(Session *s, const char *name, const char *dbResourceName, OpenResource *r)
{
    r->openedAsVirtual = true;
    std::optional<int64_t> id;
    std::string current;
    bool marked = false;
    {
        Statement q(s->db, "select vresource_id,deviceHandle from vresource where name=?", name);
        const int rc = q.ok() ? q.step() : SQLITE_ERROR;
        if (rc == SQLITE_ROW) {
            id = q.int64(0);
            marked = !q.isNull(1);
            if (marked && q.text(1))
                current = q.text(1);
        } else if (rc != SQLITE_DONE) {
            return TQDAQ_ERROR_STATEMENT;
        }
    }
    r->vresourceId = id ? *id : 0;
    // A mark of another live process stays: that process finds its own
    // instance by it. This one is then found through the session's list.
    // The mark is only replaced when it is still the one read, so that two
    // processes marking at once do not take each other's.
    if (!marked) {
        if (execStatement(s->db, "update vresource set deviceHandle=? where name=? and deviceHandle is null",
                          markOf(r->handle), name) != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    } else if (markOwner(current.c_str()) != MarkOwner::OtherProcess) {
        if (execStatement(s->db, "update vresource set deviceHandle=? where name=? and deviceHandle=?",
                          markOf(r->handle), name, current) != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    const std::string text = std::string("pnpload;instrument;") + name;
    return doOperation(s, dbResourceName, "uiEvent", text.c_str());
}

ViStatus getVresource(Session *s, const char *name, bool openIfClosed, OpenResource **out)
{
    ViStatus st = VI_SUCCESS;
    OpenResource *r = nullptr;
    [&] {
        if (name && !nameUsable(name)) {
            st = TQDAQ_ERROR_STATEMENT; // a statement with this name could not be made
            return;
        }
        {
            // An open resource is found by its mark, or as this session's own
            // instance where another live process holds the mark, under the
            // same conditions as the full lookup below (the left joins there
            // add columns, never rows).
            Statement q(s->statements, s->db,
                        "select vresource.deviceHandle,vresource.vresource_id from vresource,model,system,db,vresource "
                        "as vresource2 where vresource.name=?  and vresource.model_id=model.model_id  and "
                        "system.db_id=db.db_id  and db.vresource_id=vresource2.vresource_id limit 1",
                        name);
            if (q.ok() && q.step() == SQLITE_ROW) {
                r = instanceOf(s, q.text(0), q.int64(1));
                if (r) {
                    st = VI_SUCCESS;
                    return;
                }
                // A mark this process wrote for a record that is gone.
                if (!q.isNull(0) && markOwner(q.text(0)) == MarkOwner::ThisProcess) {
                    st = TQDAQ_ERROR_STATEMENT;
                    return;
                }
            }
        }
        std::string libStem, prefix, pluginId, rsrcName, instrumentName, ownName;
        bool haveRsrc = false, haveInstrumentName = false;
        {
            // The row carrying the InstrumentName option comes first when the
            // model has several option categories.
            Statement q(s->statements, s->db,
                        "select pnplibname,prefix,pinterface_id,  vresource.deviceHandle,  "
                        "presource.name,vresource_options.value,vresource2.name,  vadapter.connector_index from "
                        "vresource,model,system,db,vresource as vresource2 left join presource  on "
                        "presource.vresource_id=vresource.vresource_id left join model_options  on "
                        "model_options.model_id=model.model_id left join ui_item  on "
                        "ui_item.category_id=model_options.category_id   and ui_item.property='InstrumentName' "
                        "left join vresource_options  on vresource_options.ui_item_id=ui_item.ui_item_id   and "
                        "vresource_options.vresource_id=vresource.vresource_id left join vadapter  on "
                        "vadapter.frontend_id=vresource.vresource_id where vresource.name=?  and "
                        "vresource.model_id=model.model_id  and system.db_id=db.db_id  and "
                        "db.vresource_id=vresource2.vresource_id order by vresource_options.value is null",
                        name);
            if (!q.ok()) {
                st = TQDAQ_ERROR_STATEMENT;
                return;
            }
            const int rc = q.step();
            if (rc != SQLITE_ROW) {
                st = rc == SQLITE_DONE ? TQDAQ_ERROR_UNKNOWN_VRSRC : TQDAQ_ERROR_STATEMENT;
                return;
            }
            // Marked by this process: found above, or gone.
            if (!q.isNull(3) && markOwner(q.text(3)) == MarkOwner::ThisProcess) {
                r = resourceOfMark(q.text(3));
                st = r ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
                return;
            }
            if (!openIfClosed) {
                st = VI_ERROR_RSRC_NFOUND;
                return;
            }
            if (!q.text(0) || !q.text(1) || !q.text(6)) {
                st = TQDAQ_ERROR_STATEMENT;
                return;
            }
            libStem = q.text(0);
            prefix = q.text(1);
            if (q.text(2))
                pluginId = q.text(2);
            if (q.text(4)) {
                rsrcName = q.text(4);
                haveRsrc = true;
            } else if (q.text(7)) {
                rsrcName = q.text(7);
                haveRsrc = true;
            }
            if (q.text(5)) {
                instrumentName = q.text(5);
                haveInstrumentName = true;
            }
            ownName = q.text(6);
        }
        st = openPnP(s, haveRsrc ? rsrcName.c_str() : nullptr, haveInstrumentName ? instrumentName.c_str() : nullptr,
                     libStem.c_str(), prefix.c_str(), pluginId.empty() ? nullptr : pluginId.c_str(), &r);
        if (st < VI_SUCCESS) {
            r = nullptr;
            return;
        }
        st = markResourceOpen(s, name, ownName.c_str(), r);
        if (st < VI_SUCCESS) {
            closeResource(s, r);
            r = nullptr;
            st = TQDAQ_ERROR_STATEMENT;
            return;
        }
        // Handlers installed through the manager, also while it was closed.
        installRememberedHandlers(s, name, r);
    }();
    if (out)
        *out = st >= VI_SUCCESS ? r : nullptr;
    trace(s, "tqdaq_getVresource(" TQ_SESSION_FMT ",%s,%#lx,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
          orNull(name), static_cast<unsigned long>(openIfClosed ? 1 : 0), ul(out),
          static_cast<unsigned long>(st >= VI_SUCCESS && r ? r->handle : 0), ul(st));
    return st;
}

ViStatus openPresource(Session *s, const char *name, OpenResource **out)
{
    ViStatus st;
    OpenResource *r = nullptr;
    std::string libStem, prefix, pluginId;
    bool found = false;
    if (!nameUsable(name)) {
        st = TQDAQ_ERROR_UNKNOWN_VRSRC; // as a statement that could not be made
    } else {
        Statement q(s->db,
                    "select pnplibname,prefix,pinterface_id from model,presource where "
                    "model.model_id=presource.model_id  and presource.name=?",
                    name);
        if (!q.ok()) {
            st = TQDAQ_ERROR_UNKNOWN_VRSRC;
        } else if (q.step() != SQLITE_ROW || !q.text(0) || !q.text(1)) {
            st = TQDAQ_ERROR_STATEMENT;
        } else {
            libStem = q.text(0);
            prefix = q.text(1);
            if (q.text(2))
                pluginId = q.text(2);
            found = true;
            st = VI_SUCCESS;
        }
    }
    if (found)
        st = openPnP(s, name, nullptr, libStem.c_str(), prefix.c_str(), pluginId.empty() ? nullptr : pluginId.c_str(),
                     &r);
    if (out)
        *out = st >= VI_SUCCESS ? r : nullptr;
    trace(s, "tqdaq_openPresource(" TQ_SESSION_FMT ",%s,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
          ul(out), static_cast<unsigned long>(st >= VI_SUCCESS && r ? r->handle : 0), ul(st));
    return st;
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_closeVresource(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus st = checkController(s);
        if (st >= VI_SUCCESS) {
            OpenResource *r = nullptr;
            st = getVresource(s, name, false, &r);
            if (st >= VI_SUCCESS && r)
                st = closeResource(s, r);
            else if (st == VI_ERROR_RSRC_NFOUND)
                st = VI_SUCCESS;
        }
        trace(s, "tqdaq_closeVresource(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}

TQ_API ViStatus tqdaq_getVresourceSession(ViSession session, ViConstString name, ViSession *driverSession)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus st = VI_ERROR_INV_PARAMETER;
        long written = -1;
        if (driverSession) {
            OpenResource *r = nullptr;
            st = getVresource(s, name, true, &r);
            if (st >= VI_SUCCESS && r && r->pnp) {
                *driverSession = r->pnp->session;
                written = static_cast<long>(r->pnp->session);
            } else if (st >= VI_SUCCESS) {
                st = TQDAQ_ERROR_STATEMENT;
            }
        }
        trace(s, "tqdaq_getSystemResourceSession(" TQ_SESSION_FMT ",%s,%#lx(%#lx)) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(name), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(driverSession)),
              static_cast<unsigned long>(written), static_cast<unsigned long>(static_cast<uint32_t>(st)));
        return st;
    });
}
