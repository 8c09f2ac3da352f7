// The professional instrument's settings: the exports that keep or report
// them, and the same settings by name through the PnP handle.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "instrument.h"
#include "tq/frontpanel/session.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"
#include "tqdaq.h"

using namespace tq::panelmatepro;
using tq::frontpanel::printLine;
using tq::frontpanel::readShort;
using tq::platform::guardStatus;

namespace
{

unsigned long addr(const void *p)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

// A 16-bit setting: kept without a range test, with its trace.
template <int16_t ProSession::*Field> ViStatus setShort(ViSession vi, ViInt16 value, const char *trace)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        s->*Field = value;
        printLine(s->spy, "%s(%#lx(%s),%#hx) retVal=%#lx\n", trace, ul(vi), s->name, static_cast<unsigned short>(value),
                  ul(VI_SUCCESS));
        return VI_SUCCESS;
    });
}

template <int16_t ProSession::*Field> ViStatus getShort(ViSession vi, ViInt16 *value, const char *trace)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (!value)
            return VI_ERROR_INV_PARAMETER;
        *value = s->*Field;
        printLine(s->spy, "%s(%#lx(%s),%#hx) retVal=%#lx\n", trace, ul(vi), s->name,
                  static_cast<unsigned short>(*value), ul(VI_SUCCESS));
        return VI_SUCCESS;
    });
}

// The value text of a property: what comes before its first ','. False when
// that is nothing or longer than the setting can hold.
bool valueText(const char *value, char (&out)[TQDAQ_NAME_SIZE])
{
    if (!value)
        return false;
    const size_t length = strcspn(value, ",");
    if (length == 0 || length >= sizeof out)
        return false;
    memcpy(out, value, length);
    out[length] = '\0';
    return true;
}

bool is(const char *name, const char *property)
{
    return strcmp(name, property) == 0;
}

} // namespace

namespace tq::panelmatepro
{

ViStatus setPropertyByName(ViSession vi, ViConstString name, ViConstString value)
{
    return guardStatus([&]() -> ViStatus {
        if (!findSession(vi))
            return VI_ERROR_INV_OBJECT;
        if (!name)
            return VI_ERROR_NSUP_OPER;
        char text[TQDAQ_NAME_SIZE];
        ViInt16 number = 0;
        if (is(name, "InstrumentName"))
            return valueText(value, text) ? panelmatepro_setInstrumentName(vi, text) : VI_ERROR_INV_PARAMETER;
        if (is(name, "FileMenuSupport") || is(name, "PostProcessSupport") || is(name, "EditMenuSupport"))
            return readShort(value, number) ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_PARAMETER;
        if (is(name, "ProbeAction"))
            return readShort(value, number) ? panelmatepro_setProbeAction(vi, number) : VI_ERROR_INV_PARAMETER;
        if (is(name, "ProbeOnStartEnable"))
            return readShort(value, number) ? panelmatepro_setProbeOnStartEnable(vi, number) : VI_ERROR_INV_PARAMETER;
        if (is(name, "RecordEnable"))
            return readShort(value, number) ? panelmatepro_setRecordEnable(vi, number) : VI_ERROR_INV_PARAMETER;
        if (is(name, "DataPath"))
            return valueText(value, text) ? panelmatepro_setDataPath(vi, text) : VI_ERROR_INV_PARAMETER;
        return VI_ERROR_NSUP_OPER;
    });
}

ViStatus getPropertyByName(ViSession vi, ViConstString name, ViConstString, ViChar *value, ViInt32 length)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (!name)
            return VI_ERROR_NSUP_OPER;
        // Values are written into the caller's buffer, never beyond it.
        const size_t size = length > 0 ? static_cast<size_t>(length) : TQDAQ_NAME_SIZE;
        if (is(name, "FileMenuSupport")) {
            if (!value)
                return VI_ERROR_INV_PARAMETER;
            snprintf(value, size, "%d", 0);
            return VI_SUCCESS;
        }
        const int16_t *number = is(name, "ProbeAction")          ? &s->probeAction
                                : is(name, "ProbeOnStartEnable") ? &s->probeOnStartEnable
                                : is(name, "RecordEnable")       ? &s->recordEnable
                                                                 : nullptr;
        const bool known = number || is(name, "InstrumentName") || is(name, "DataPath");
        if (!known)
            return VI_ERROR_NSUP_OPER;
        if (!value)
            return VI_ERROR_INV_PARAMETER;
        if (number) {
            snprintf(value, size, "%hd", *number);
            return VI_SUCCESS;
        }
        if (is(name, "InstrumentName")) {
            snprintf(value, size, "%s", s->name);
            return VI_SUCCESS;
        }
        char path[TQDAQ_NAME_SIZE] = {};
        const ViStatus st = panelmatepro_getDataPath(vi, path);
        path[sizeof path - 1] = '\0';
        snprintf(value, size, "%s", path);
        return st;
    });
}

} // namespace tq::panelmatepro

TQ_API ViStatus panelmatepro_registerStreamMsg(ViSession vi, TQStreamMsg *sink)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::registerStreamMsg<ProSession>(vi, sink, "panelmatepro_registerStreamMsg");
    });
}

TQ_API ViStatus panelmatepro_registerSpyMsg(ViSession vi, TQStreamMsg *sink)
{
    return guardStatus([&]() -> ViStatus { return tq::frontpanel::registerSpyMsg<ProSession>(vi, sink); });
}

TQ_API ViStatus panelmatepro_setSimulationMode(ViSession vi, ViInt16 mode)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::setSimulationMode<ProSession>(vi, mode, "panelmatepro_setSimulationMode");
    });
}

TQ_API ViStatus panelmatepro_getSimulationMode(ViSession vi, ViInt16 *mode)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::getSimulationMode<ProSession>(vi, mode, "panelmatepro_getSimulationMode");
    });
}

TQ_API ViStatus panelmatepro_setInstrumentName(ViSession vi, ViConstString name)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (!name || !*name)
            return VI_ERROR_INV_PARAMETER;
        tq::platform::copyText(s->name, name);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus panelmatepro_getInstrumentName(ViSession vi, ViChar *name)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (!name)
            return VI_ERROR_INV_PARAMETER;
        tq::platform::copyText(name, sizeof s->name, s->name);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus panelmatepro_setProbeAction(ViSession vi, ViInt16 action)
{
    return setShort<&ProSession::probeAction>(vi, action, "panelmatepro_setProbeAction");
}
TQ_API ViStatus panelmatepro_getProbeAction(ViSession vi, ViInt16 *action)
{
    return getShort<&ProSession::probeAction>(vi, action, "panelmatepro_getProbeAction");
}
TQ_API ViStatus panelmatepro_setProbeOnStartEnable(ViSession vi, ViInt16 enable)
{
    return setShort<&ProSession::probeOnStartEnable>(vi, enable, "panelmatepro_setProbeOnStartEnable");
}
TQ_API ViStatus panelmatepro_getProbeOnStartEnable(ViSession vi, ViInt16 *enable)
{
    return getShort<&ProSession::probeOnStartEnable>(vi, enable, "panelmatepro_getProbeOnStartEnable");
}
TQ_API ViStatus panelmatepro_setRecordEnable(ViSession vi, ViInt16 enable)
{
    return setShort<&ProSession::recordEnable>(vi, enable, "panelmatepro_setRecordEnable");
}

TQ_API ViStatus panelmatepro_getRecordEnable(ViSession vi, ViInt16 *enable)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (!enable)
            return VI_ERROR_INV_PARAMETER;
        *enable = s->recordEnable;
        // The line keeps the name the trace readers know this setting by.
        printLine(s->spy, "panelmatepro_getInputMode(%#lx(%s),%#lx(%#hx)) retVal=%#lx\n", ul(vi), s->name, addr(enable),
                  static_cast<unsigned short>(*enable), ul(VI_SUCCESS));
        return VI_SUCCESS;
    });
}

TQ_API ViStatus panelmatepro_setDataPath(ViSession vi, ViConstString path)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = tqdaq_setDataPath(s->manager, path);
        printLine(s->spy, "panelmatepro_setDataPath(%#lx(%s),%s) retVal=%#lx\n", ul(vi), s->name, path ? path : "NULL",
                  ul(st));
        return st;
    });
}

TQ_API ViStatus panelmatepro_getDataPath(ViSession vi, ViChar *path)
{
    return guardStatus([&]() -> ViStatus {
        ProSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = tqdaq_getDataPath(s->manager, path);
        printLine(s->spy, "panelmatepro_getDataPath(%#lx(%s),%s) retVal=%#lx\n", ul(vi), s->name, path ? path : "NULL",
                  ul(st));
        return st;
    });
}

TQ_API ViStatus panelmatepro_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                                 void *userData, ViChar *message)
{
    return guardStatus([&]() -> ViStatus {
        return tq::frontpanel::installEventHandler<ProSession>(vi, mask, handler, userData, message);
    });
}

TQ_API ViStatus panelmatepro_uninstallEventHandler(ViSession vi, ViUInt32, TQInstrumentEventHandler handler,
                                                   void *userData)
{
    return guardStatus(
        [&]() -> ViStatus { return tq::frontpanel::uninstallEventHandler<ProSession>(vi, handler, userData); });
}

// What the instrument has nothing of: no check, no file menu, no event
// status, no stream.
TQ_API ViStatus panelmatepro_crossCheck(ViSession, ViChar *)
{
    return VI_SUCCESS;
}
TQ_API ViStatus panelmatepro_getFileMenuSupport(ViSession, ViChar *)
{
    return VI_SUCCESS;
}
TQ_API ViStatus panelmatepro_getEventStatus(ViSession, ViUInt16, ViUInt16 *, ViUInt16, ViChar *)
{
    return VI_SUCCESS;
}
TQ_API ViStatus panelmatepro_getStream(ViSession, ViConstString, TQStream **)
{
    return VI_SUCCESS;
}

// Menu support is the front panel's own: it cannot be changed or read here.
TQ_API ViStatus panelmatepro_setFileMenuSupport(ViSession, ViInt16)
{
    return VI_ERROR_NSUP_OPER;
}
TQ_API ViStatus panelmatepro_setEditMenuSupport(ViSession, ViInt16)
{
    return VI_ERROR_NSUP_OPER;
}
TQ_API ViStatus panelmatepro_getEditMenuSupport(ViSession, ViInt16)
{
    return VI_ERROR_NSUP_OPER;
}
TQ_API ViStatus panelmatepro_setPostProcessSupport(ViSession, ViInt16)
{
    return VI_ERROR_NSUP_OPER;
}
TQ_API ViStatus panelmatepro_getPostProcessSupport(ViSession, ViInt16)
{
    return VI_ERROR_NSUP_OPER;
}
