// The model 747 driver: the model hooks, the entry points that differ from
// the template, the module driver search, the site binding, the reset and
// the power-up state.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "session747.h"
#include "tables747.h"
#include "tq/driver/driver.h"
#include "tq/driver/stream.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/dynlib.h"
#include "tq/platform/env.h"
#include "tq/platform/guard.h"
#include "tq/platform/thread.h"
#include "tq747.h"

namespace tq747
{

namespace
{

using tq::driver::Session;

Session747 &model(Session &s)
{
    return static_cast<Session747 &>(s);
}

const tq::driver::StatusText kTexts[] = {
    {TQ747_WARN_ALREADY_RUNNING, "Device already Running."},
    {TQ747_ERROR_NO_CHANNELS, "Operation failed because no channels are enabled."},
    {TQ747_ERROR_RUNNING, "Operation failed because device is running."},
};

constexpr uint32_t kPowerupPolls = 1000;
constexpr uint32_t kPowerupPollMs = 100;

ViStatus resetInstrument(Session747 &s);

class Model747 : public tq::driver::Model
{
  public:
    Session *createSession(ViSession vi) override
    {
        auto *s = new (std::nothrow) Session747();
        if (!s)
            return nullptr;
        if (vi != VI_NULL) {
            const auto &v = tq::visa::visa();
            ViUInt16 control = 0;
            if (v.viSetAttribute(vi, VI_ATTR_TMO_VALUE, 10000) < VI_SUCCESS ||
                v.viIn16(vi, reg::kCard, reg::kControl, &control) < VI_SUCCESS ||
                v.viIn16(vi, reg::kCard, reg::kControl, &control) < VI_SUCCESS) {
                delete s;
                return nullptr;
            }
        }
        return s;
    }

    void streamBound(Session &s) override
    {
        Session747 &m = model(s);
        installStreamOperations(m);
        resetChannelRecords(m);
        // The buffer the stream starts with; every start sizes it anew.
        tq::driver::createScanBuffer(m, m.buffer, 256, 2560, 3840);
    }

    void setDefaultSettings(Session &s) override { setDefaults(model(s)); }
    ViStatus applySettings(Session &s) override { return tq747::applySettings(model(s)); }
    ViStatus reset(Session &s) override { return resetInstrument(model(s)); }

    // The thread and the interrupt handler end before the framework
    // destroys the stream; the modules let go of the stream before their
    // sites close.
    void freeDataPath(Session &s) override
    {
        Session747 &m = model(s);
        stopAcquisition(m, false);
        for (Site &site : m.sites) {
            if (!site.bound)
                continue;
            // Detached first: a module session shared with another opener
            // outlives this stream and must never write into it again.
            if (site.ops.setStream)
                site.ops.setStream(site.module, nullptr, nullptr);
            // The handle's release closes the module session and frees the
            // handle itself.
            if (site.pnp)
                site.pnp->release(&site.pnp);
            else if (site.ops.close)
                site.ops.close(site.module);
            site = Site{};
        }
        tq::driver::releaseScanBuffer(m.buffer);
    }

    int64_t scansWritten(Session &s) override { return tq747::scansWritten(model(s)); }
    TQReader *newReader(Session &s, int64_t position, int32_t whence) override
    {
        return tq747::newReader(model(s), position, whence);
    }

    // Each recorded carrier channel is described by its bit mask, the byte
    // offset of its 32-bit word in the scan and the size of the recorded
    // scan. The scan holds the sites' words as well when modules are bound
    // (32 bytes, not the carrier's 16), and nothing else in the file says
    // so; stating the layout also keeps a renamed channel from being taken
    // for a bit number when the recording is replayed.
    void describeCapture(Session &s, tq::driver::CaptureHeader &header) override
    {
        Session747 &m = model(s);
        uint32_t scanSize = m.buffer.scanSize.load(std::memory_order_relaxed);
        if (scanSize == 0)
            scanSize = m.anySiteBound() ? 32 : 16; // nothing recorded yet: the size a start would use
        for (int c = 1; c <= kChannels; ++c) {
            tq::driver::BitChannel &ch = m.channel(c);
            if (!ch.enable || m.group((c - 1) / 8 + 1).direction != 0)
                continue;
            const double layout[3] = {static_cast<double>(ch.mask), 4.0 * ch.wordIndex, static_cast<double>(scanSize)};
            if (!header.add(ch.head.name, ch.head.eu, TQ_XFRM_BIT16, layout, 3))
                throw std::bad_alloc();
        }
    }

    ViStatus selfTest(Session &, ViInt16 *, ViChar *) override { return VI_WARN_NSUP_SELF_TEST; }

    ViStatus opened(Session &s) override;

    // The table of module drivers is searched again once the last session
    // has gone.
    void freeChannels(Session &) override;

    ViStatus getEventStatus(Session &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message) override
    {
        return eventStatus(model(s), event, status, clear, message);
    }
};

Model747 &theModel()
{
    static Model747 m;
    return m;
}

ViStatus waitNotSupported(ViSession, ViUInt32, ViUInt32, ViUInt32 *, ViChar *)
{
    return VI_ERROR_NSUP_OPER;
}

// The model 747 has no waiter state.
void adjustPnP(TQPnPHandle &h)
{
    h.wait = waitNotSupported;
}

tq::driver::ModelInfo makeInfo()
{
    tq::driver::ModelInfo info;
    info.prefix = "tq747";
    info.modelCode = TQ747_MODEL_CODE;
    info.handleKind = tq::driver::kHandleKind747;
    info.statusTexts = kTexts;
    info.statusTextCount = std::size(kTexts);
    info.simulationFailureLine = false;
    info.captureHeaderFirst = false;
    info.handlerTableFullLine = false;
    info.adjustPnPHandle = adjustPnP;
    tables(info);
    return info;
}

// ---- Module driver search ----------------------------------------------------

struct ModuleDriver {
    uint16_t id = 0;
    TQIpModuleOps ops{};
};

struct ModuleTable {
    bool searched = false;
    std::vector<ModuleDriver> drivers;
};

ModuleTable &modules()
{
    static ModuleTable t;
    return t;
}

// The first number in a file name ("libtqp740_32.so" -> 740); false when none.
bool firstNumber(const std::string &name, int &number)
{
    size_t i = 0;
    while (i < name.size() && (name[i] < '0' || name[i] > '9'))
        ++i;
    if (i == name.size())
        return false;
    long v = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && v < 100000000)
        v = v * 10 + (name[i++] - '0');
    number = static_cast<int>(v);
    return true;
}

void searchModuleDrivers()
{
    ModuleTable &t = modules();
    if (t.searched)
        return;
    t.searched = true;
    const std::string dir = tq::platform::directoryOf(tq::platform::ownModuleFileName());
    if (dir.empty())
        return;
    for (const std::string &file : tq::platform::findFiles(dir, "tq*_32.dll")) {
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary(tq::platform::joinPath(dir, file));
        if (!lib)
            continue;
        // A library of the pattern without a number stays loaded, as the
        // search has always done; it is never called.
        int number = 0;
        if (!firstNumber(file, number))
            continue;
        char entry[32];
        snprintf(entry, sizeof entry, "ip%d_init", number);
        auto init = reinterpret_cast<TQIpModuleInitFn>(tq::platform::findSymbol(lib, entry));
        if (!init) {
            tq::platform::freeLibrary(lib);
            continue;
        }
        ModuleDriver d;
        if (init(&d.id, &d.ops) < VI_SUCCESS) {
            tq::platform::freeLibrary(lib);
            continue;
        }
        // Found module drivers stay loaded for the life of the process.
        t.drivers.push_back(d);
    }
}

void forgetModuleDrivers()
{
    modules() = ModuleTable{};
}

// ---- Sites ------------------------------------------------------------------

ViStatus bindSites(Session747 &s)
{
    ViUInt32 mask = 0;
    ViStatus status = tq747_getSites(s.value, &mask);
    if (status < VI_SUCCESS)
        return status;
    ModuleTable &t = modules();
    if (t.drivers.empty())
        return VI_SUCCESS;
    ModuleDriver &d = t.drivers.front();
    d.id = kModuleId740;
    int16_t next = kChannels + 1;
    for (int n = 1; n <= kSiteCount; ++n) {
        if (!(mask & (1u << (n - 1))))
            continue;
        Site &site = s.sites[n - 1];
        site.moduleId = kModuleId740;
        site.ops = d.ops;
        if (!site.ops.getPnPHandle || !site.ops.getSiteChannels || !site.ops.setStream || !site.ops.close)
            return VI_ERROR_NSUP_OPER;
        char name[tq::driver::kNameLength + 8];
        snprintf(name, sizeof name, "%s_IP%d", s.resourceName[0] ? s.resourceName : s.instrumentName, n);
        status = site.ops.getPnPHandle(name, &site.pnp);
        if (status < VI_SUCCESS || !site.pnp)
            return status < VI_SUCCESS ? status : VI_ERROR_SYSTEM_ERROR;
        site.module = site.pnp->session;
        site.first = next;
        site.bound = true;
        ViInt16 first = 0, last = 0;
        status = site.ops.getSiteChannels(site.module, 0, &first, &last);
        if (status < VI_SUCCESS)
            return status;
        site.count = static_cast<int16_t>(last - first + 1);
        s.totalChannels = static_cast<int16_t>(s.totalChannels + site.count);
        next = static_cast<int16_t>(next + site.count);
        status = site.ops.setStream(site.module, s.stream, &s.streamHandles);
        if (status < VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

ViStatus resetInstrument(Session747 &s)
{
    tq::driver::RunGuard guard(s);
    if (s.simulated()) {
        setDefaults(s);
        return VI_SUCCESS;
    }
    stopAcquisition(s, false);
    uint16_t control = 0;
    ViStatus status = in16(s, reg::kReset, control);
    bool failed = status < VI_SUCCESS;
    if (!failed) {
        status = out16(s, reg::kReset, static_cast<uint16_t>(control | 1));
        failed = status < VI_SUCCESS;
    }
    static const ViUInt32 zeros[16] = {};
    for (ViBusAddress o = 0; o <= 4096; o += 64)
        tq::visa::visa().viMoveOut32(s.value, reg::kCard, o, 16, const_cast<ViUInt32 *>(zeros));
    setDefaults(s);
    applySettings(s);
    for (Site &site : s.sites)
        if (site.bound && site.ops.reset)
            site.ops.reset(site.module);
    // A module's reset clears its enables: the counts follow the records.
    recount(s);
    return failed ? VI_WARN_UNKNOWN_STATUS : status;
}

ViStatus Model747::opened(Session &session)
{
    Session747 &s = model(session);
    searchModuleDrivers();
    const ViStatus bound = bindSites(s);
    if (bound < VI_SUCCESS)
        return bound; // the framework frees the session: its sites close with it
    if (s.anySiteBound()) {
        s.streamHandles.setScanSize(s.stream, 32);
        s.streamHandles.setOutputScanSize(s.stream, 32);
    }
    recount(s);
    return VI_SUCCESS;
}

void Model747::freeChannels(Session &)
{
    if (!driver().first())
        forgetModuleDrivers();
}

} // namespace

tq::driver::Driver &driver()
{
    static tq::driver::Driver d(makeInfo(), theModel());
    return d;
}

Session747 *find(ViSession vi)
{
    return static_cast<Session747 *>(driver().find(vi));
}

ViStatus in16(Session747 &s, ViBusAddress offset, uint16_t &value, ViUInt16 space)
{
    ViUInt16 v = 0;
    ViStatus status = tq::visa::visa().viIn16(s.value, space, offset, &v);
    if (status >= VI_SUCCESS)
        value = v;
    return status;
}
ViStatus out16(Session747 &s, ViBusAddress offset, uint16_t value, ViUInt16 space)
{
    return tq::visa::visa().viOut16(s.value, space, offset, value);
}
ViStatus in32(Session747 &s, ViBusAddress offset, uint32_t &value, ViUInt16 space)
{
    ViUInt32 v = 0;
    ViStatus status = tq::visa::visa().viIn32(s.value, space, offset, &v);
    if (status >= VI_SUCCESS)
        value = v;
    return status;
}
ViStatus out32(Session747 &s, ViBusAddress offset, uint32_t value, ViUInt16 space)
{
    return tq::visa::visa().viOut32(s.value, space, offset, value);
}

ViStatus setInterruptEnableOnCard(Session747 &s, int16_t enable)
{
    uint32_t v = 0;
    ViStatus status = in32(s, reg::kInterruptEnable, v);
    if (status < VI_SUCCESS)
        return status;
    v = enable ? (v | reg::kCardInterrupt) : (v & ~reg::kCardInterrupt);
    status = out32(s, reg::kInterruptEnable, v);
    if (status < VI_SUCCESS)
        return status;
    uint32_t bridge = 0;
    status = in32(s, reg::kBridgeInterrupt, bridge, reg::kBridge);
    if (status < VI_SUCCESS)
        return status;
    return out32(s, reg::kBridgeInterrupt, bridge | 0x40801, reg::kBridge);
}

ViStatus applySettings(Session747 &s)
{
    if (s.simulated())
        return VI_ERROR_INV_SETUP;
    return setInterruptEnableOnCard(s, s.interruptEnable);
}

} // namespace tq747

using tq747::driver;
using tq747::find;
using tq747::Session747;

TQ_DRIVER_EXPORT_SELF_TEST(tq747, driver())
TQ_DRIVER_EXPORT_ERROR_QUERY(tq747, driver())
TQ_DRIVER_EXPORT_ERROR_MESSAGE(tq747, driver())
TQ_DRIVER_EXPORT_SIMULATION(tq747, driver())
TQ_DRIVER_EXPORT_INSTRUMENT_NAME(tq747, driver())
TQ_DRIVER_EXPORT_MESSAGE_SINKS(tq747, driver())
TQ_DRIVER_EXPORT_STREAM(tq747, driver())
TQ_DRIVER_EXPORT_EVENTS(tq747, driver())
TQ_DRIVER_EXPORT_CROSS_CHECK(tq747, driver())
TQ_DRIVER_EXPORT_PNP(tq747, driver())

TQ_API ViStatus tq747_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi)
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    return tq::platform::guardStatus([&]() -> ViStatus {
        tq::visa::loadVisa();
        tq747::searchModuleDrivers();
        return driver().init(rsrcName, idQuery, reset, vi);
    });
}

TQ_API ViStatus tq747_close(ViSession vi)
{
    return driver().close(vi);
}

TQ_API ViStatus tq747_reset(ViSession vi)
{
    return driver().reset(vi);
}

TQ_API ViStatus tq747_resetEx(ViSession vi, ViInt16 type)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    switch (type) {
    case 0:
        return VI_WARN_UNKNOWN_STATUS;
    case 1:
        return tq747_reset(vi);
    case 2:
        tq747_autoRst(vi, 0);
        return tq747_reset(vi);
    default:
        return VI_ERROR_INV_PARAMETER;
    }
}

TQ_API ViStatus tq747_revision_query(ViSession vi, ViChar *driverRev, ViChar *)
{
    if (!find(vi))
        return VI_ERROR_INV_OBJECT;
    if (driverRev)
        tq::driver::copyName(driverRev, tq::driver::kNameLength, "4.0.3.0");
    return VI_WARN_NSUP_REV_QUERY;
}

TQ_API ViStatus tq747_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        tq::visa::loadVisa();
        tq747::searchModuleDrivers();
        return driver().autoConnectToAll(vi, max, count);
    });
}

TQ_API ViStatus tq747_autoConnectToFirst(ViSession *vi)
{
    ViInt16 count = 0;
    return tq747_autoConnectToAll(vi, 1, &count);
}

TQ_API ViStatus tq747_wait(ViSession, ViUInt32, ViUInt32, ViUInt32 *, ViChar *)
{
    return VI_ERROR_NSUP_OPER;
}

TQ_API ViStatus tq747_getNumberSites(ViSession vi, ViInt16 *count)
{
    if (!find(vi))
        return VI_ERROR_INV_OBJECT;
    if (!count)
        return VI_ERROR_INV_PARAMETER;
    *count = tq747::kSiteCount;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getSites(ViSession vi, ViUInt32 *mask)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!mask)
        return VI_ERROR_INV_PARAMETER;
    uint16_t v = 0;
    ViStatus status = tq747::in16(*s, tq747::reg::kSites, v);
    if (status >= VI_SUCCESS)
        *mask = v & 0xF;
    return status;
}

TQ_API ViStatus tq747_getSiteChannels(ViSession vi, ViInt16 site, ViInt16 *first, ViInt16 *last)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!first || !last)
        return VI_ERROR_INV_PARAMETER;
    if (site == 0) {
        *first = 1;
        *last = tq747::kChannels;
        return VI_SUCCESS;
    }
    if (site < 1 || site > tq747::kSiteCount)
        return TQ747_ERROR_SITE;
    const tq747::Site &st = s->sites[site - 1];
    if (!st.bound)
        return TQ747_ERROR_SITE_EMPTY;
    *first = st.first;
    *last = static_cast<ViInt16>(st.first + st.count - 1);
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_createIPSession(ViSession vi, ViInt16 site, ViSession *moduleVi)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!moduleVi)
        return VI_ERROR_INV_PARAMETER;
    if (site < 1 || site > tq747::kSiteCount)
        return TQ747_ERROR_SITE;
    char name[tq::driver::kNameLength] = {};
    ViStatus status = tq::visa::visa().viGetAttribute(s->value, VI_ATTR_RSRC_NAME, name);
    if (status < VI_SUCCESS)
        return status;
    const tq747::Site &st = s->sites[site - 1];
    if (!st.bound || !st.ops.initWorker) {
        ViUInt32 mask = 0;
        if (tq747_getSites(vi, &mask) >= VI_SUCCESS && (mask & (1u << (site - 1))))
            return TQ747_ERROR_NO_MODULE_DRIVER;
        return TQ747_ERROR_SITE_EMPTY;
    }
    return st.ops.initWorker(tq747::reg::kCard, tq747::reg::idBase(site), tq747::reg::kCard, tq747::reg::ioBase(site),
                             name, moduleVi);
}

TQ_API ViStatus tq747_readROMConfig(ViSession vi, ViInt16 site, ViUInt16 offset, ViUInt16 count, ViUInt8 *buffer)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (site == 0)
        return VI_ERROR_NSUP_OPER;
    if (site < 1 || site > tq747::kSiteCount)
        return TQ747_ERROR_SITE;
    ViUInt32 mask = 0;
    ViStatus status = tq747_getSites(vi, &mask);
    if (status < VI_SUCCESS)
        return status;
    if (!(mask & (1u << (site - 1))))
        return TQ747_ERROR_SITE_EMPTY;
    if (count && !buffer)
        return VI_ERROR_USER_BUF;
    // The ID space of a site is 128 bytes: a read past it is refused.
    if (static_cast<uint32_t>(offset) + count > 0x80)
        return VI_ERROR_INV_OFFSET;
    return tq::visa::visa().viMoveIn8(s->value, tq747::reg::kCard, tq747::reg::idBase(site) + offset, count, buffer);
}

TQ_API ViStatus tq747_autoRst(ViSession vi, ViInt16 save)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&]() -> ViStatus {
        uint32_t control = 0;
        ViStatus status = tq747::in32(*s, tq747::reg::kControl, control);
        if (status >= VI_SUCCESS) {
            control = save ? (control | tq747::reg::kPowerupSave) : (control & ~tq747::reg::kPowerupSave);
            control |= tq747::reg::kPowerupBusy;
            status = tq747::out32(*s, tq747::reg::kControl, control);
        }
        if (status >= VI_SUCCESS) {
            status = VI_ERROR_TMO;
            for (uint32_t i = 0; i < tq747::kPowerupPolls; ++i) {
                tq::platform::sleepMs(tq747::kPowerupPollMs);
                uint32_t now = 0;
                const ViStatus read = tq747::in32(*s, tq747::reg::kControl, now);
                if (read < VI_SUCCESS) {
                    status = read;
                    break;
                }
                if (!(now & tq747::reg::kPowerupBusy)) {
                    status = VI_SUCCESS;
                    break;
                }
            }
        }
        if (s->streamMessages) {
            char text[tq::driver::kNameLength] = {};
            driver().statusText(*s, status, text, sizeof text);
            if (text[0])
                tq::driver::statusLine(*s, "[%s]powerup %s: %s", s->instrumentName, save ? "save" : "clear", text);
        }
        return status;
    });
}

TQ_API ViStatus tq747_powerupSave(ViSession vi)
{
    return tq747_autoRst(vi, 1);
}

TQ_API ViStatus tq747_powerupClear(ViSession vi)
{
    return tq747_autoRst(vi, 0);
}

TQ_API ViStatus tq747_autoRstStatus(ViSession vi, ViInt16 *saved)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!saved)
        return VI_ERROR_INV_PARAMETER;
    uint32_t control = 0;
    ViStatus status = tq747::in32(*s, tq747::reg::kControl, control);
    if (status >= VI_SUCCESS)
        *saved = (control & tq747::reg::kPowerupSave) ? 1 : 0;
    return status;
}
