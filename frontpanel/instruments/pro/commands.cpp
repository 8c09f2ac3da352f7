// What the professional instrument does: the command forms of the front
// panel's language in each state, the actions behind them, and the events it
// raises.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "instrument.h"
#include "tq/frontpanel/actions.h"
#include "tq/platform/broadcast.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"
#include "tq/status.h"
#include "tqdaq.h"
#include "tqdatapath.h"

namespace tq::panelmatepro
{

using frontpanel::orNull;
using frontpanel::printLine;
using frontpanel::readShortWrapped;
using frontpanel::UiMessage;

namespace
{

// How long a broadcast waits for the waiters' lock before it gives up waking
// them.
constexpr uint32_t kWakeLockMs = 100;

ViStatus configure(ProSession &s, char (&message)[kConfigMessage])
{
    return frontpanel::configureHardware(s.manager, message);
}

// Stops the resource (the whole database for none or empty), closes the
// capture of a recording run, and tells the listeners. The instrument is idle
// and its capture closed before any listener hears "stop": one that answers
// with a stop of its own finds nothing running, and one that starts again
// opens a capture that this stop no longer touches.
ViStatus stopAction(ProSession &s, const char *res)
{
    char resource[sizeof s.running];
    platform::copyText(resource, res ? res : "");
    char load[8 + sizeof s.captureDir];
    snprintf(load, sizeof load, "load;%s", s.captureDir);
    const bool recorded = s.recording;
    s.recording = false;
    s.running[0] = '\0';
    s.state = kIdle;
    printLine(s.sink, "Begin Stop operation.");
    ownOperation(s, resource, "stop");
    if (recorded)
        tqdaq_captureClose(s.manager, orNull(resource));
    broadcast(s, "stop");
    if (recorded) {
        broadcast(s, "stop");
        broadcast(s, load);
    }
    printLine(s.sink, "Stop operation complete.");
    return VI_SUCCESS;
}

ViStatus startSteps(ProSession &s, const char *res)
{
    ViStatus st = tqdaq_setSimulationMode(s.manager, nullptr, 0);
    if (st < VI_SUCCESS)
        return st;
    char message[kConfigMessage];
    if ((st = configure(s, message)) < VI_SUCCESS) {
        printLine(s.sink, "Error in configuration: %s", message);
        return st;
    }
    const bool record = s.recordEnable != 0;
    if (record) {
        char path[TQDAQ_NAME_SIZE] = {};
        if (tqdaq_getDataPath(s.manager, path) < VI_SUCCESS || !path[0])
            platform::copyText(path, TQ_PANELMATEPRO_DATA_PATH);
        s.captureDir[0] = '\0';
        st = tqdaq_captureOpenDB(s.manager, orNull(res), path, 1, s.captureDir);
        s.captureDir[sizeof s.captureDir - 1] = '\0';
        if (st < VI_SUCCESS) {
            // Whatever capture files did open are closed, sink or not.
            tqdaq_captureClose(s.manager, orNull(res));
            printLine(s.sink, "error in opening capture files");
            return st;
        }
    }
    broadcast(s, "populate");
    st = ownOperation(s, res, "start");
    if (st >= VI_SUCCESS) {
        platform::copyText(s.running, res ? res : "");
        s.state = kRunning;
        s.recording = record;
        broadcast(s, record ? "record" : "start");
    } else {
        if (st != TQ_ERROR_NO_DATABASE)
            ownOperation(s, res, "stop");
        // A capture that opened for a start that failed is not left open.
        if (record)
            tqdaq_captureClose(s.manager, orNull(res));
    }
    return st;
}

// Starts the resource (the whole database for an empty name).
ViStatus startAction(ProSession &s, const char *res)
{
    tqdaq_closeStreams(s.manager);
    tqdaq_createStreams(s.manager, res ? res : "", 1, 0);
    printLine(s.sink, "Begin Start operation.");
    const ViStatus st = startSteps(s, res);
    printLine(s.sink, st >= VI_SUCCESS ? "Start operation successful." : "Start operation failed.");
    return st;
}

// Enables a disabled resource, or disables an enabled one and applies the
// configuration without it; a configuration that fails without it enables
// it again.
ViStatus toggleAction(ProSession &s, const char *name)
{
    ViInt16 enable = 0;
    ViStatus st = frontpanel::closeStreamsReadEnable(s.manager, name, enable);
    if (st < VI_SUCCESS)
        return st;
    if (enable != 1)
        return tqdaq_setVresourceEnable(s.manager, name, 1);
    if ((st = tqdaq_setVresourceEnable(s.manager, name, 0)) < VI_SUCCESS)
        return st;
    tqdaq_createStreams(s.manager, "", 1, 0);
    char message[kConfigMessage];
    if ((st = configure(s, message)) < VI_SUCCESS) {
        printLine(s.sink, "Disable Instrument creates error: %s", message);
        tqdaq_setVresourceEnable(s.manager, name, 1);
    }
    return st;
}

ViStatus assignAction(ProSession &s, const char *vres, const char *pres)
{
    ViInt16 enable = 0;
    ViStatus st = frontpanel::closeStreamsReadEnable(s.manager, vres, enable);
    if (st < VI_SUCCESS)
        return st;
    if (enable == 1)
        st = toggleAction(s, vres);
    if (st >= VI_SUCCESS)
        st = tqdaq_assignResource(s.manager, vres, pres);
    tqdaq_createStreams(s.manager, "", 1, 0);
    return st;
}

ViStatus renameAction(ProSession &s, const char *from, const char *to)
{
    ViInt16 enable = 0;
    ViStatus st = frontpanel::closeStreamsReadEnable(s.manager, from, enable);
    if (st < VI_SUCCESS)
        return st;
    if ((st = tqdaq_renameResource(s.manager, from, to)) < VI_SUCCESS)
        return st;
    tqdaq_createStreams(s.manager, "", 1, 0);
    if (enable == 1) {
        char message[kConfigMessage];
        const ViStatus configured = configure(s, message);
        if (configured < VI_SUCCESS) {
            printLine(s.sink, "Rename Instrument creates error: %s", message);
            tqdaq_renameResource(s.manager, to, from);
            return configured;
        }
    }
    char text[600];
    snprintf(text, sizeof text, "rename;%s;%s", from, to);
    broadcast(s, text);
    return st;
}

ViStatus createAction(ProSession &s, const char *name, int16_t vendor, int16_t model)
{
    tqdaq_closeStreams(s.manager);
    ViStatus st =
        tqdaq_createVresource(s.manager, name, static_cast<ViUInt16>(vendor), static_cast<ViUInt16>(model), "");
    if (st < VI_SUCCESS)
        return st;
    if ((st = tqdaq_linkVresource(s.manager, name)) < VI_SUCCESS)
        return st;
    tqdaq_createStreams(s.manager, "", 1, 0);
    char text[320];
    snprintf(text, sizeof text, "create;%s;%hd;%hd", name, vendor, model);
    broadcast(s, text);
    return st;
}

ViStatus deleteAction(ProSession &s, const char *name)
{
    ViInt16 enable = 0;
    ViStatus st = frontpanel::closeStreamsReadEnable(s.manager, name, enable);
    if (st < VI_SUCCESS)
        return st;
    if (enable == 1) {
        printLine(s.sink, "Instrument %s must be disabed before deleted.", name);
        return VI_ERROR_INV_SETUP;
    }
    if ((st = tqdaq_unlinkVresource(s.manager, name)) < VI_SUCCESS) {
        printLine(s.sink, "Failed to unlink instrument %s.", name);
        return st;
    }
    if ((st = tqdaq_deleteVresource(s.manager, name)) < VI_SUCCESS)
        printLine(s.sink, "Failed to delete instrument %s%s.", name,
                  st == TQDAQ_ERROR_VRSRC_IN_USE ? ". Resource still has references" : "");
    return st;
}

// navigator;operation;<op>[;<resource>]
ViStatus operationForm(ProSession &s, const UiMessage &m, const char *whole)
{
    const char *op = m.word(3);
    const int opClass = m.wordClass(3);
    // The resource word; an empty one names no resource, like a missing one.
    const char *res = m.count >= 4 ? m.word(4) : "";

    if (*res) {
        ViInt16 enable = 0;
        const ViStatus st = tqdaq_getVresourceEnable(s.manager, res, &enable);
        if (st < VI_SUCCESS || enable != 1) {
            printLine(s.sink, "[%s]%s: Operation failed because device is not enabled.", res, op);
            return st;
        }
    }

    if (s.state != kRunning) {
        switch (opClass) {
        case frontpanel::kReset:
        case frontpanel::kVerifyThermocouples: {
            ViStatus st = tqdaq_setSimulationMode(s.manager, nullptr, 0);
            if (st < VI_SUCCESS)
                return st;
            st = ownOperation(s, res, op);
            broadcast(s, whole);
            return st;
        }
        case frontpanel::kProbe: {
            const ViStatus st = ownOperation(s, res, "probe");
            broadcast(s, whole);
            return st;
        }
        case frontpanel::kStart:
            return startAction(s, res);
        case frontpanel::kCalibrate:
            return frontpanel::calibrate<kConfigMessage>(s, res);
        default: // stop, powerupsave and words of no operation
            return VI_SUCCESS;
        }
    }

    switch (opClass) {
    case frontpanel::kReset:
        stopAction(s, s.running);
        return ownOperation(s, res, "reset");
    case frontpanel::kStart:
        if (strcmp(res, s.running) == 0)
            return VI_SUCCESS;
        stopAction(s, s.running);
        return startAction(s, res);
    case frontpanel::kStop:
        stopAction(s, s.running);
        return VI_SUCCESS;
    case frontpanel::kCalibrate:
        printLine(s.sink, "%s: Can't calibrate while running.", op);
        return VI_SUCCESS;
    default:
        return VI_SUCCESS;
    }
}

ViStatus runningForm(ProSession &s, const UiMessage &m, const char *whole)
{
    const int first = m.wordClass(1);
    const int second = m.wordClass(2);
    if (first == frontpanel::kNavigator) {
        switch (second) {
        case frontpanel::kOperation:
            return operationForm(s, m, whole);
        case frontpanel::kInstrument:
            stopAction(s, s.running);
            return toggleAction(s, m.word(3));
        case frontpanel::kConfig:
            stopAction(s, s.running);
            return VI_SUCCESS;
        default:
            return VI_SUCCESS;
        }
    }
    if (first == frontpanel::kWindow && second == frontpanel::kClose) {
        stopAction(s, nullptr);
        return tqdaq_closeStreams(s.manager);
    }
    return VI_SUCCESS;
}

ViStatus idleForm(ProSession &s, const UiMessage &m, const char *whole)
{
    const int first = m.wordClass(1);
    const int second = m.wordClass(2);
    const bool onInstrument = second == frontpanel::kInstrument;
    switch (first) {
    case frontpanel::kNavigator:
        if (second == frontpanel::kOperation)
            return operationForm(s, m, whole);
        if (onInstrument)
            return toggleAction(s, m.word(3));
        return VI_SUCCESS;
    case frontpanel::kWindow:
        return second == frontpanel::kClose ? tqdaq_closeStreams(s.manager) : VI_SUCCESS;
    case frontpanel::kAssign:
        if (!onInstrument)
            return VI_SUCCESS;
        if (m.wordClass(3) == frontpanel::kRequest)
            return assignAction(s, m.word(4), m.count >= 5 ? m.word(5) : nullptr);
        if (m.wordClass(3) == frontpanel::kCompletion)
            broadcast(s, whole);
        return VI_SUCCESS;
    case frontpanel::kRename:
        return onInstrument ? renameAction(s, m.word(3), m.word(4)) : VI_SUCCESS;
    case frontpanel::kCreate:
        if (!onInstrument)
            return VI_SUCCESS;
        if (m.count >= 5) {
            int16_t vendor = 0, model = 0;
            if (readShortWrapped(m.word(4), vendor) && readShortWrapped(m.word(5), model))
                return createAction(s, m.word(3), vendor, model);
        } else if (m.count == 3) {
            broadcast(s, whole);
        }
        return VI_SUCCESS;
    case frontpanel::kOption:
        if (onInstrument && m.count >= 5)
            return tqdaq_updateVresourceOption(s.manager, m.word(3), m.word(4), m.word(5));
        return VI_SUCCESS;
    case frontpanel::kDelete:
        return onInstrument && m.count >= 3 ? deleteAction(s, m.word(3)) : VI_SUCCESS;
    case frontpanel::kPnpLoad:
    case frontpanel::kPnpUnload:
    case frontpanel::kLink:
    case frontpanel::kUnlink:
    case frontpanel::kFailed:
        broadcast(s, whole);
        return VI_SUCCESS;
    case frontpanel::kDaDisp:
        if (second == frontpanel::kPUnk) {
            // A thread id of the viewer; text that is no number stores none.
            char *end = nullptr;
            const long id = strtol(m.word(3), &end, 10);
            s.viewerThread = end == m.word(3) ? 0 : static_cast<uint32_t>(id);
        }
        return VI_SUCCESS;
    default:
        return VI_SUCCESS;
    }
}

} // namespace

ViStatus ownOperation(ProSession &s, const char *res, const char *operation)
{
    return tqdaq_doOperation(s.manager, orNull(res), operation, nullptr);
}

void broadcast(ProSession &s, const char *text)
{
    constexpr ViUInt32 bits = 1;
    ViStatus st = VI_SUCCESS;
    // A handler may uninstall entries while the broadcast runs: the count is
    // read again for every entry. Each handler gets a copy of the text of its
    // own, which it may write into. One may also close the manager session,
    // which closes this session: the listeners after it hear nothing more.
    for (uint16_t i = 0;
         i < s.handlers.count && i < frontpanel::EventHandlerTable::kMax && st >= VI_SUCCESS && !s.closed; ++i) {
        const frontpanel::EventHandlerEntry entry = s.handlers.entries[i];
        if (!entry.handler || (entry.mask & bits) == 0)
            continue;
        char message[256];
        platform::copyText(message, text);
        ViUInt32 clear = 0;
        st = entry.handler(s.name, bits, entry.userData, &clear, message);
    }
    if (s.waiters && s.waiters->waiting() > 0 &&
        s.waiters->post(bits, text, kWakeLockMs) == platform::EventBroadcast::PostResult::Busy)
        printLine(s.spy, "panelmatepro_MBufSegHndlr() failed to get mutex: %#lx\n",
                  static_cast<unsigned long>(TQ_WAIT_TIMEOUT));
}

ViStatus probe(ProSession &s)
{
    char name[TQDAQ_NAME_SIZE] = {};
    if (!(tqdaq_getDB(s.manager, name) >= VI_SUCCESS && tqdaq_setDB(s.manager, name) >= VI_SUCCESS)) {
        for (int i = 0; i < 200; ++i) {
            char candidate[32];
            if (i == 0)
                platform::copyText(candidate, "Untitled");
            else
                snprintf(candidate, sizeof candidate, "Untitled%d", i);
            const ViStatus st = tqdaq_setDB(s.manager, candidate);
            if (st >= VI_SUCCESS || st == TQDAQ_ERROR_OTHER_MODEL)
                continue;
            if (tqdaq_createDB(s.manager, candidate) >= VI_SUCCESS) {
                platform::copyText(s.name, candidate);
                platform::copyText(name, candidate);
                break;
            }
        }
    }
    switch (s.probeAction) {
    case TQPMPROPROBEAUTOPOP:
        return tqdaq_autoPopulateDB(s.manager, name);
    case TQPMPROPROBEASSIGN: {
        const ViStatus st = tqdaq_refreshPResources(s.manager);
        return st < VI_SUCCESS ? st : tqdaq_assignAllVresources(s.manager, nullptr);
    }
    case TQPMPROPROBEHW:
        return tqdaq_refreshPResources(s.manager);
    default:
        return VI_ERROR_INV_PARAMETER;
    }
}

ViStatus uiEvent(ProSession &s, const char *text)
{
    UiMessage m;
    if (frontpanel::parseUiEvent(text, frontpanel::Vocabulary::Professional, m) != frontpanel::UiParse::Ok)
        return VI_ERROR_INV_PARAMETER;
    // The message as received, for the forms that pass it on.
    char whole[frontpanel::kUiMessageMax + 1];
    const size_t length = strcspn(text, ",");
    memcpy(whole, text, length);
    whole[length] = '\0';
    return s.state == kRunning ? runningForm(s, m, whole) : idleForm(s, m, whole);
}

} // namespace tq::panelmatepro
