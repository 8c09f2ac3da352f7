// Hardware discovery: the VISA rescan request, checking every automatically
// detected device again, recording what VISA, the serial crates and the
// physical-interface plug-ins find, and the automatic population of a
// configuration database.
#include <cstdio>
#include <cstring>
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

using devicedb::Statement;

namespace
{

// What a physical-interface plug-in exports to record its devices.
using RefreshFn = ViStatus (*)(ViSession session);

// The resource that asks VISA to look for hardware again, and what it is told.
constexpr const char *kRescanResource = "visa::resman";
constexpr const char kRescanRequest[] = "resman";

// viParseRsrcEx's answers for one name.
struct Parsed {
    ViStatus status = VI_ERROR_RSRC_NFOUND;
    ViUInt16 interfaceType = 0;
    char alias[VI_FIND_BUFLEN] = "";
};

Parsed parse(Session *s, const char *name)
{
    Parsed p;
    ViUInt16 number = 0;
    char rsrcClass[VI_FIND_BUFLEN] = "", expanded[VI_FIND_BUFLEN] = "";
    p.status = visa::visa().viParseRsrcEx(s->defaultRM, name, &p.interfaceType, &number, rsrcClass, expanded, p.alias);
    p.alias[VI_FIND_BUFLEN - 1] = '\0';
    if (p.status < VI_SUCCESS)
        p.alias[0] = '\0';
    return p;
}

// VISA knows the name, and by that name (an alias that VISA now reports
// instead means the device is recorded under another name).
bool knownByThisName(Session *s, const char *name)
{
    const Parsed p = parse(s, name);
    return p.status >= VI_SUCCESS && (!p.alias[0] || std::strcmp(p.alias, name) == 0);
}

ViStatus rescan(Session *s)
{
    if (!s->defaultRM)
        return VI_SUCCESS;
    const visa::FunctionTable &v = visa::visa();
    ViSession vi = VI_NULL;
    if (v.viOpen(s->defaultRM, kRescanResource, VI_NULL, VI_NULL, &vi) < VI_SUCCESS)
        return VI_SUCCESS; // a VISA that cannot be asked rescans on its own
    ViStatus st = checkController(s);
    if (st >= VI_SUCCESS)
        st = closeAllResources(s);
    if (st >= VI_SUCCESS) {
        ViUInt32 written = 0;
        st = v.viWrite(vi, reinterpret_cast<const ViByte *>(kRescanRequest), sizeof kRescanRequest - 1, &written);
    }
    v.viClose(vi);
    return st;
}

// Whether a VISA device that viParseRsrcEx does not know by its whole name
// is still there: a crate's controller or unit, or a carrier's module.
// Negative when it is not (or cannot be reached).
ViStatus derivedDevicePresent(Session *s, const char *name)
{
    const ResourceName rn = classifyResourceName(name);
    if (rn.kind == ResourceNameKind::Plain || !knownByThisName(s, rn.base.c_str()))
        return VI_ERROR_RSRC_NFOUND;
    const visa::FunctionTable &v = visa::visa();
    ViSession vi = VI_NULL;
    ViStatus st = v.viOpen(s->defaultRM, rn.base.c_str(), VI_NULL, VI_NULL, &vi);
    if (st < VI_SUCCESS)
        return st;
    if (rn.kind == ResourceNameKind::Site) {
        ViUInt16 model = 0, maker = 0, mask = 0;
        const bool populated = v.viGetAttribute(vi, VI_ATTR_MODEL_CODE, &model) >= VI_SUCCESS &&
                               v.viGetAttribute(vi, VI_ATTR_MANF_ID, &maker) >= VI_SUCCESS && model == kCarrierModel &&
                               maker == kMakerId &&
                               v.viIn16(vi, kSiteMaskSpace, kSiteMaskOffset, &mask) >= VI_SUCCESS &&
                               (mask & (1u << (rn.site - 1)));
        st = populated ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
    } else {
        v.viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
        if (rn.kind == ResourceNameKind::CrateUnit) {
            ViUInt16 type = 0;
            st = probeCrateUnit(vi, static_cast<ViUInt16>(rn.logicalAddress), static_cast<ViUInt16>(rn.slot), &type);
        }
    }
    v.viClose(vi);
    return st;
}

enum class Verdict { Keep, Remove, Stop };

// One automatically detected device checked again; `running` carries the
// result of a freed assignment.
Verdict verify(Session *s, const char *name, bool plugin, const char *modelId, const char *vresourceId,
               ViStatus &running)
{
    if (!plugin) {
        if (!s->defaultRM)
            return Verdict::Remove;
        const Parsed p = parse(s, name);
        if (p.status >= VI_SUCCESS) {
            if (p.alias[0] && std::strcmp(p.alias, name) != 0)
                return Verdict::Remove; // recorded again under its alias
        } else if (derivedDevicePresent(s, name) < VI_SUCCESS) {
            return Verdict::Remove;
        }
    }

    // The device must still be of the model it was recorded as.
    ViUInt16 vendor = 0, model = 0;
    if (getVendorModel(s, name, &vendor, &model) < VI_SUCCESS)
        return Verdict::Remove;
    {
        Statement q(s->db, "select model_id from model where vendor=? and model=?", static_cast<int64_t>(vendor),
                    static_cast<int64_t>(model));
        if (!q.ok() || q.step() != SQLITE_ROW || !q.text(0) || !modelId || std::strcmp(q.text(0), modelId) != 0)
            return Verdict::Remove;
    }

    // Its assignment stands while it fits a member of the selected database.
    if (vresourceId) {
        const auto id = devicedb::parseInt64(vresourceId);
        bool stays = id && isCompatible(s, name, *id);
        if (stays) {
            Statement q(s->db,
                        "select db_resource.vresource_id from db_resource,system where db_resource.vresource_id=?  "
                        "and db_resource.db_id=system.db_id",
                        *id);
            if (!q.ok())
                return Verdict::Stop;
            stays = q.step() == SQLITE_ROW;
        }
        if (!stays)
            running = assignResource(s, nullptr, name);
    }
    return Verdict::Keep;
}

ViStatus reverify(Session *s)
{
    Rows rows;
    if (!readRows(s, rows, 6,
                  "select presource_id,name,deviceHandle,pinterface_id,vresource_id,  model.model_id from "
                  "presource,model where presource.model_id=model.model_id  and presource.autodetect==1"))
        return VI_SUCCESS; // nothing to go through
    ViStatus running = VI_SUCCESS;
    for (const auto &row : rows) {
        if (running < VI_SUCCESS)
            break;
        const auto &id = row[0], &name = row[1], &handle = row[2], &plugin = row[3], &vresource = row[4],
                   &modelId = row[5];
        // A carrier removed earlier in the walk took its modules along.
        if (!id || !name || !hasRow(s, "select presource_id from presource where presource_id=?", *id))
            continue;
        const Verdict verdict = verify(s, name->c_str(), plugin.has_value(), modelId ? modelId->c_str() : nullptr,
                                       vresource ? vresource->c_str() : nullptr, running);
        if (verdict == Verdict::Stop)
            break;
        if (verdict == Verdict::Keep)
            continue;
        // A device whose driver is open somewhere is neither removed nor
        // checked further, and nothing after it is looked at.
        if (handle && !handle->empty())
            break;
        tqdaq_deletePresource(s->handle, name->c_str());
        progress(s, "removing physical resource %s", name->c_str());
        running = VI_SUCCESS;
    }
    return running;
}

// The crate scan of one open serial port: each controller recorded as
// "<port>_LA<n>", each unit that identifies itself as "<port>_LA<n>_SLOT<m>".
// Crates sit at consecutive addresses from 0: the first silent one ends the
// scan without error.
ViStatus scanCrate(Session *s, ViSession port, const char *portName)
{
    const visa::FunctionTable &v = visa::visa();
    v.viSetAttribute(port, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    ViUInt32 written = 0;
    v.viWrite(port, reinterpret_cast<const ViByte *>("$Z\r\n"), 4, &written);
    v.viSetAttribute(port, VI_ATTR_TMO_VALUE, kCrateTimeoutMs);

    const std::string base(portName);
    char text[kMessageSize];
    ViStatus st = VI_SUCCESS;
    for (unsigned n = 0; n <= kMaxLogicalAddress && st >= VI_SUCCESS; ++n) {
        st = askCratePresence(port, static_cast<ViUInt16>(n));
        if (st < VI_SUCCESS)
            break;
        std::snprintf(text, sizeof text, " Detecting VT22 at LA %u", n);
        progress(s, "%s", text);
        const std::string controller = base + "_LA" + std::to_string(n);
        st = tqdaq_createPresource(s->handle, controller.c_str());

        for (unsigned m = kFirstSlot; m <= kLastSlot && st >= VI_SUCCESS; ++m) {
            ViUInt16 type = 0;
            st = probeCrateUnit(port, static_cast<ViUInt16>(n), static_cast<ViUInt16>(m), &type);
            // An empty slot is silent; the slots after it may hold units.
            if (st == VI_ERROR_TMO)
                st = VI_ERROR_RSRC_NFOUND;
            if (st >= VI_SUCCESS) {
                const std::string unit = controller + "_SLOT" + std::to_string(m);
                st = tqdaq_createPresource(s->handle, unit.c_str());
                if (st >= VI_SUCCESS) {
                    std::snprintf(text, sizeof text, " Found VT22 device at LA %u, slot %u", n, m);
                    progress(s, "%s", text);
                }
            }
            if (st == VI_ERROR_RSRC_NFOUND)
                st = VI_SUCCESS;
        }
    }
    return st == VI_ERROR_RSRC_NFOUND ? VI_SUCCESS : st;
}

// The serial ports: each one's crate, if any. What the ports answer is not
// carried into the walk's result.
void scanSerialPorts(Session *s)
{
    const visa::FunctionTable &v = visa::visa();
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    char rsrc[VI_FIND_BUFLEN] = "";
    if (v.viFindRsrc(s->defaultRM, "ASRL[0-9]*::?*INSTR", &list, &count, rsrc) < VI_SUCCESS)
        return;
    for (ViUInt32 i = 0; i < count; ++i) {
        rsrc[VI_FIND_BUFLEN - 1] = '\0';
        const Parsed p = parse(s, rsrc);
        if (p.status < VI_SUCCESS)
            break;
        if (p.interfaceType == VI_INTF_ASRL) {
            const std::string port = p.alias[0] ? p.alias : rsrc;
            ViSession vi = VI_NULL;
            if (v.viOpen(s->defaultRM, rsrc, VI_NULL, VI_NULL, &vi) < VI_SUCCESS)
                break;
            const ViStatus scanned = scanCrate(s, vi, port.c_str());
            v.viClose(vi);
            if (scanned < VI_SUCCESS)
                break;
        }
        if (i + 1 < count && v.viFindNext(list, rsrc) < VI_SUCCESS)
            break;
    }
    v.viClose(list);
}

ViStatus visaWalk(Session *s)
{
    scanSerialPorts(s);

    const visa::FunctionTable &v = visa::visa();
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    char rsrc[VI_FIND_BUFLEN] = "";
    ViStatus st = v.viFindRsrc(s->defaultRM, "?*INSTR", &list, &count, rsrc);
    const bool opened = st >= VI_SUCCESS;
    for (ViUInt32 i = 0; st >= VI_SUCCESS && i < count; ++i) {
        rsrc[VI_FIND_BUFLEN - 1] = '\0';
        const Parsed p = parse(s, rsrc);
        st = p.status;
        if (st < VI_SUCCESS)
            break;
        if (p.interfaceType != VI_INTF_ASRL) {
            st = tqdaq_createPresource(s->handle, p.alias[0] ? p.alias : rsrc);
            if (st == TQDAQ_ERROR_UNKNOWN_MODEL)
                st = VI_SUCCESS; // not a model of the catalogue: passed over
            if (st < VI_SUCCESS)
                break;
        }
        if (i + 1 < count)
            st = v.viFindNext(list, rsrc);
    }
    if (opened)
        v.viClose(list);
    return st == VI_ERROR_RSRC_NFOUND ? VI_SUCCESS : st;
}

// Each physical-interface plug-in records its devices; it is loaded for
// that one call only.
ViStatus refreshPlugins(Session *s, ViStatus running)
{
    Rows libs;
    if (!readRows(s, libs, 1, "select lib from pinterface"))
        return VI_ERROR_RSRC_NFOUND;
    for (const auto &row : libs) {
        if (running < VI_SUCCESS)
            break;
        if (!row[0])
            continue;
        platform::LibraryHandle h = platform::loadLibrary(*row[0] + ".dll");
        if (!h) {
            running = TQDAQ_ERROR_STATEMENT;
            continue;
        }
        if (auto fn = reinterpret_cast<RefreshFn>(platform::findSymbol(h, "tqdaq_refreshPresources")))
            running = fn(s->handle);
        platform::freeLibrary(h);
    }
    return running;
}

ViStatus refreshVisa(Session *s)
{
    const ViStatus st = rescan(s);
    trace(s, "tqdaq_refreshVisa(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s), ul(st));
    return st;
}

ViStatus refreshVisaSystemResources(Session *s)
{
    const ViStatus st = visaWalk(s);
    trace(s, "tqdaq_refreshVisaSystemResources(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s), ul(st));
    return st;
}

ViStatus refreshPResources(Session *s)
{
    ViStatus st = VI_SUCCESS;
    if (s->defaultRM) {
        st = refreshVisa(s);
        if (st < VI_SUCCESS)
            return st;
    }
    closeAllResources(s);

    st = reverify(s);

    if (s->defaultRM) {
        st = refreshVisaSystemResources(s);
        if (st < VI_SUCCESS)
            return st;
    } else {
        st = VI_SUCCESS;
    }
    return refreshPlugins(s, st);
}

ViStatus autoPopulateDB(Session *s, const char *name)
{
    progress(s, "%s", "Auto populate:Begin.");
    ViStatus st = tqdaq_createDB(s->handle, name);
    if (st >= VI_SUCCESS)
        st = tqdaq_refreshPResources(s->handle);
    if (st >= VI_SUCCESS) {
        st = tqdaq_assignAllVresources(s->handle, nullptr);
        if (st == VI_ERROR_RSRC_NFOUND)
            st = VI_SUCCESS; // some member found no device: it stays disabled
    }
    if (st >= VI_SUCCESS)
        st = tqdaq_assignAllPresources(s->handle, nullptr);
    progress(s, "%s", "Auto populate: Complete.");
    return st;
}

} // namespace

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_refreshPResources(ViSession session)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = refreshPResources(s);
        trace(s, "tqdaq_refreshPResources(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_autoPopulateDB(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = autoPopulateDB(s, name);
        trace(s, "tqdaq_autoPopulateDB(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name), ul(st));
        return st;
    });
}
