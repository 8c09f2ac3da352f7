// Physical resources: what a device name resolves to, recording a detected
// device (with the modules on a carrier's sites), removing and naming it.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "crate.h"
#include "resourceops.h"
#include "rsrcname.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/dynlib.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::execStatement;
using devicedb::Statement;

namespace
{

// What a physical-interface plug-in exports to name its devices' models.
using VendorModelFn = ViStatus (*)(ViSession session, ViConstString name, ViUInt16 *vendor, ViUInt16 *model);

// Option values read from a driver: the longest text kept of one.
constexpr ViInt32 kOptionValueSize = 64;

// VISA's answer for a name: opens the base name, reads its identity and,
// for a carrier's site, whether the site is populated.
ViStatus askVisa(Session *s, const ResourceName &rn, ViUInt16 &vendor, ViUInt16 &model)
{
    if (!s->defaultRM)
        return VI_ERROR_INV_OBJECT;
    const visa::FunctionTable &v = visa::visa();
    ViSession vi = VI_NULL;
    if (v.viOpen(s->defaultRM, rn.base.c_str(), VI_NULL, VI_NULL, &vi) < VI_SUCCESS)
        return VI_ERROR_INV_OBJECT;
    ViStatus st = VI_SUCCESS;
    if (rn.kind == ResourceNameKind::CrateController || rn.kind == ResourceNameKind::CrateUnit) {
        v.viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
        if (rn.kind == ResourceNameKind::CrateController) {
            vendor = kMakerId;
            model = kCrateControllerModel;
        } else {
            // A unit's type is learnt from the crate itself, over the line.
            ViUInt16 type = 0;
            vendor = kMakerId;
            st = probeCrateUnit(vi, static_cast<ViUInt16>(rn.logicalAddress), static_cast<ViUInt16>(rn.slot), &type);
            if (st >= VI_SUCCESS)
                model = type;
        }
    } else {
        ViUInt16 m = 0, f = 0;
        if (v.viGetAttribute(vi, VI_ATTR_MODEL_CODE, &m) < VI_SUCCESS ||
            v.viGetAttribute(vi, VI_ATTR_MANF_ID, &f) < VI_SUCCESS) {
            st = TQDAQ_ERROR_STATEMENT;
        } else {
            vendor = f;
            model = m;
            if (rn.kind == ResourceNameKind::Site && m == kCarrierModel && f == kMakerId) {
                ViUInt16 mask = 0;
                if (v.viIn16(vi, kSiteMaskSpace, kSiteMaskOffset, &mask) < VI_SUCCESS ||
                    !(mask & (1u << (rn.site - 1))))
                    st = VI_ERROR_INV_RSRC_NAME;
                else
                    model = kSiteModuleModel;
            }
        }
    }
    v.viClose(vi);
    return st;
}

// Each plug-in of the pinterface table in turn, until one knows the name.
ViStatus askPlugins(Session *s, const std::string &base, ViStatus st, ViUInt16 &vendor, ViUInt16 &model)
{
    std::vector<std::string> libs;
    {
        Statement q(s->db, "select lib from pinterface");
        if (!q.ok())
            return VI_ERROR_RSRC_NFOUND;
        while (q.step() == SQLITE_ROW)
            if (q.text(0))
                libs.emplace_back(q.text(0));
    }
    for (const std::string &lib : libs) {
        if (st >= VI_SUCCESS)
            break;
        platform::LibraryHandle h = platform::loadLibrary(lib + ".dll");
        if (!h) {
            st = TQDAQ_ERROR_STATEMENT;
            continue;
        }
        if (auto fn = reinterpret_cast<VendorModelFn>(platform::findSymbol(h, "tqdaq_vendorModel"))) {
            // A plug-in that fails may have written anything: only an
            // answer counts.
            ViUInt16 f = 0, m = 0;
            st = fn(s->handle, base.c_str(), &f, &m);
            if (st >= VI_SUCCESS) {
                vendor = f;
                model = m;
            }
        }
        platform::freeLibrary(h);
    }
    return st;
}

struct ModelRow {
    std::optional<int64_t> modelId;
    std::optional<std::string> property;
    std::optional<std::string> itemId;
    std::optional<int64_t> presourceId;
    std::optional<int64_t> vresourceId;
    std::optional<int64_t> presourceModel;
};

// Records the modules on the populated sites of a carrier that has no row
// for them yet. The first failure is the result; the other sites still go.
ViStatus recordSites(Session *s, const char *carrier, int64_t carrierId, ViUInt16 vendor, OpenResource *driver)
{
    ViUInt16 mask = 0;
    const ViStatus read = visa::visa().viIn16(driver->pnp->session, kSiteMaskSpace, kSiteMaskOffset, &mask);
    if (read < VI_SUCCESS)
        return read;
    int64_t moduleModel = 0;
    {
        Statement q(s->db, "select model_id from model where vendor=? and model=?", static_cast<int64_t>(vendor),
                    static_cast<int64_t>(kSiteModuleModel));
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        if (q.step() != SQLITE_ROW)
            return VI_SUCCESS; // the module model is not catalogued: no site is recorded
        const auto id = q.int64(0);
        if (!id)
            return TQDAQ_ERROR_STATEMENT;
        moduleModel = *id;
    }
    ViStatus st = VI_SUCCESS;
    for (int site = kFirstSite; site <= kLastSite; ++site) {
        if (!(mask & (1u << (site - 1))))
            continue;
        const std::string name = siteResourceName(carrier, site);
        if (!nameUsable(name.c_str())) {
            if (st >= VI_SUCCESS)
                st = TQDAQ_ERROR_STATEMENT; // the carrier's name leaves no room for the site's
            continue;
        }
        {
            Statement q(s->db, "select presource_id from presource where name=?", name);
            if (!q.ok()) {
                if (st >= VI_SUCCESS)
                    st = TQDAQ_ERROR_STATEMENT;
                continue;
            }
            if (q.step() == SQLITE_ROW)
                continue; // recorded before: its id and mounting stay
        }
        if (execStatement(s->db, "insert into presource (name,model_id) values (?,?)", name, moduleModel) !=
                SQLITE_DONE ||
            execStatement(s->db, "insert into padapter (frontend_id,backend_id,connector_index) values (?,?,?)",
                          static_cast<int64_t>(sqlite3_last_insert_rowid(s->db)), carrierId, site) != SQLITE_DONE) {
            if (st >= VI_SUCCESS)
                st = TQDAQ_ERROR_STATEMENT;
            continue;
        }
        progress(s, "Creating physical resource %s", name.c_str());
    }
    return st;
}

ViStatus createPresource(Session *s, const char *name)
{
    if (!name || !*name)
        return VI_ERROR_INV_OBJECT;
    if (!nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    ViUInt16 vendor = 0, model = 0;
    ViStatus st = getVendorModel(s, name, &vendor, &model);
    if (st < VI_SUCCESS)
        return st;

    // The model's option items, each row carrying the device's existing row.
    std::vector<ModelRow> rows;
    {
        Statement q(s->db,
                    "select model.model_id,ui_item.property,ui_item.ui_item_id,  presource.presource_id,"
                    "presource.vresource_id,  presource.model_id from model left join model_options  on "
                    "model_options.model_id=model.model_id left join ui_item  on "
                    "ui_item.category_id=model_options.category_id left join presource  on presource.name=? "
                    "where model.vendor=? and model.model=?",
                    name, static_cast<int64_t>(vendor), static_cast<int64_t>(model));
        if (!q.ok())
            return VI_ERROR_RSRC_NFOUND;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            ModelRow r;
            r.modelId = q.int64(0);
            if (q.text(1))
                r.property = q.text(1);
            if (q.text(2))
                r.itemId = q.text(2);
            r.presourceId = q.int64(3);
            r.vresourceId = q.int64(4);
            r.presourceModel = q.int64(5);
            rows.push_back(std::move(r));
        }
        if (rc != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    if (rows.empty())
        return TQDAQ_ERROR_UNKNOWN_MODEL;
    const ModelRow &first = rows.front();
    if (!first.modelId)
        return TQDAQ_ERROR_STATEMENT;

    int64_t id = 0;
    std::optional<int64_t> assignedTo;
    if (!first.presourceId) {
        if (execStatement(s->db, "insert into presource (name,model_id) values (?,?)", name, *first.modelId) !=
            SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
        id = sqlite3_last_insert_rowid(s->db);
        progress(s, "Creating physical resource %s", name);
    } else {
        // Known device: its id, assignment and site rows stay; its model
        // and options are read again.
        id = *first.presourceId;
        assignedTo = first.vresourceId;
        if (first.presourceModel != first.modelId &&
            execStatement(s->db, "update presource set model_id=? where presource_id=?", *first.modelId, id) !=
                SQLITE_DONE)
            st = TQDAQ_ERROR_STATEMENT;
        if (execStatement(s->db, "delete from presource_options where presource_options.presource_id=?", id) !=
            SQLITE_DONE)
            st = TQDAQ_ERROR_STATEMENT;
    }

    OpenResource *driver = nullptr;
    for (const ModelRow &r : rows) {
        if (st < VI_SUCCESS)
            break;
        if (!r.property || !r.itemId)
            continue;
        if (!driver) {
            const ViStatus opened = openPresource(s, name, &driver);
            if (opened < VI_SUCCESS || !driver || !driver->pnp) {
                st = opened < VI_SUCCESS ? opened : TQDAQ_ERROR_STATEMENT;
                break;
            }
        }
        char value[kOptionValueSize] = "";
        const ViStatus read = driver->pnp->getPropertyByName
                                  ? driver->pnp->getPropertyByName(driver->pnp->session, r.property->c_str(), "",
                                                                   value, kOptionValueSize)
                                  : VI_ERROR_NSUP_OPER;
        value[kOptionValueSize - 1] = '\0';
        if (read < VI_SUCCESS) {
            st = read;
            break;
        }
        if (execStatement(s->db, "insert into presource_options (presource_id,ui_item_id,value) values (?,?,?)", id,
                          *r.itemId, value) != SQLITE_DONE)
            st = TQDAQ_ERROR_STATEMENT;
    }
    if (driver) {
        if (vendor == kMakerId && model == kCarrierModel) {
            const ViStatus sites = recordSites(s, name, id, vendor, driver);
            if (st >= VI_SUCCESS && sites < VI_SUCCESS)
                st = sites;
        }
        closeResource(s, driver);
    }

    // A device that no longer fits what it served is set free.
    if (assignedTo && !isCompatible(s, name, *assignedTo) &&
        execStatement(s->db, "update presource set vresource_id=null where presource_id=?", id) != SQLITE_DONE &&
        st >= VI_SUCCESS)
        st = TQDAQ_ERROR_STATEMENT;
    return st;
}

// The device, its options and the modules on its sites with their options
// go together, or nothing goes.
ViStatus deletePresource(Session *s, const char *name)
{
    if (!nameUsable(name))
        return TQDAQ_ERROR_STATEMENT;
    std::vector<int64_t> modules;
    {
        Statement q(s->db,
                    "select padapter.frontend_id from padapter,presource where "
                    "padapter.backend_id=presource.presource_id  and presource.name=?",
                    name);
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW)
            if (const auto id = q.int64(0))
                modules.push_back(*id);
        if (rc != SQLITE_DONE)
            return TQDAQ_ERROR_STATEMENT;
    }
    if (execStatement(s->db, "savepoint deletePresource") != SQLITE_DONE)
        return TQDAQ_ERROR_STATEMENT;
    bool done = execStatement(s->db, "delete from presource_options where presource_id=  (select presource_id from "
                                     "presource where presource.name=?)",
                              name) == SQLITE_DONE;
    for (int64_t module : modules) {
        done = done &&
               execStatement(s->db, "delete from presource_options where presource_id=?", module) == SQLITE_DONE &&
               execStatement(s->db, "delete from presource where presource_id=?", module) == SQLITE_DONE;
    }
    done = done &&
           execStatement(s->db,
                         "delete from padapter where padapter.backend_id=  (select presource_id from presource   "
                         "where presource.name=?)  or padapter.frontend_id=  (select presource_id from presource   "
                         "where presource.name=?)",
                         name, name) == SQLITE_DONE &&
           execStatement(s->db,
                         "delete from presource where presource_id= (select presource_id from presource where   "
                         "presource.name=?)",
                         name) == SQLITE_DONE;
    if (done && execStatement(s->db, "release deletePresource") == SQLITE_DONE)
        return VI_SUCCESS;
    execStatement(s->db, "rollback to deletePresource");
    execStatement(s->db, "release deletePresource");
    return TQDAQ_ERROR_STATEMENT;
}

ViStatus getPresourceName(Session *s, const char *vresource, char *out, bool &written)
{
    written = false;
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    if (!nameUsable(vresource))
        return TQDAQ_ERROR_UNKNOWN_USER; // as a lookup that could not be made
    Statement q(s->db,
                "select presource.name from vresource, presource where vresource.name=?  and "
                "presource.vresource_id=vresource.vresource_id",
                vresource);
    if (!q.ok())
        return TQDAQ_ERROR_UNKNOWN_USER;
    const int rc = q.step();
    if (rc == SQLITE_DONE)
        return VI_SUCCESS; // nothing assigned: the buffer stays as it was
    if (rc != SQLITE_ROW)
        return TQDAQ_ERROR_STATEMENT;
    if (!q.text(0))
        return TQDAQ_ERROR_NO_PRSRC_NAME;
    written = copyName(out, q.text(0));
    return written ? VI_SUCCESS : TQDAQ_ERROR_STATEMENT;
}

} // namespace

ViStatus getVendorModel(Session *s, const char *name, ViUInt16 *vendorOut, ViUInt16 *modelOut)
{
    ViUInt16 vendor = 0, model = 0;
    ViStatus st;
    if (!nameUsable(name)) {
        st = VI_ERROR_INV_OBJECT;
    } else {
        const ResourceName rn = classifyResourceName(name);
        st = askVisa(s, rn, vendor, model);
        if (st < VI_SUCCESS)
            st = askPlugins(s, rn.base, st, vendor, model);
    }
    if (st < VI_SUCCESS)
        vendor = model = 0;
    if (vendorOut)
        *vendorOut = vendor;
    if (modelOut)
        *modelOut = model;
    trace(s, "tqdaq_getVendorModel(" TQ_SESSION_FMT ",%s,%#hx,%#hx) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
          vendor, model, ul(st));
    return st;
}

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_createPresource(ViSession session, ViConstString rsrcName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = createPresource(s, rsrcName);
        trace(s, "tqdaq_createPresource(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(rsrcName),
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_deletePresource(ViSession session, ViConstString rsrcName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        return deletePresource(s, rsrcName);
    });
}

TQ_API ViStatus tqdaq_getPresourceName(ViSession session, ViConstString vresourceName, ViChar *rsrcName)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        bool written = false;
        const ViStatus st = getPresourceName(s, vresourceName, rsrcName, written);
        // A buffer the call left alone may hold anything: it is not printed.
        trace(s, "tqdaq_getSystemResourceName(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(vresourceName), written ? rsrcName : "", ul(st));
        return st;
    });
}
