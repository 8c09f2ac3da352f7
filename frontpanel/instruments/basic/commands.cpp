// What the basic instrument does: the command forms of the front panel's
// language in each state, the actions behind them, and the events it raises.
#include <cstring>

#include "instrument.h"
#include "tq/frontpanel/actions.h"
#include "tq/frontpanel/session.h"
#include "tq/platform/guard.h"
#include "tq/platform/text.h"
#include "tq/status.h"
#include "tqdaq.h"

namespace tq::panelmate
{

using frontpanel::orNull;
using frontpanel::printLine;
using frontpanel::UiMessage;

namespace
{

// Room for the resource manager's configuration message.
constexpr size_t kConfigMessage = 512;

void goIdle(BasicSession &s)
{
    s.running[0] = '\0';
    s.state = kIdle;
}

// Goes idle, tells the listeners "stop" and stops the resource (the whole
// database for none); what the stop answers does not change what the command
// answers. Idle before the listeners hear it: one that answers "stop" with a
// stop of its own finds nothing running instead of starting this again.
void stopAll(BasicSession &s, const char *res)
{
    char resource[sizeof s.running];
    platform::copyText(resource, res ? res : "");
    const bool named = res != nullptr;
    goIdle(s);
    broadcast(s, "stop");
    ownOperation(s, named ? resource : nullptr, "stop");
}

ViStatus configure(BasicSession &s, char (&message)[kConfigMessage])
{
    return frontpanel::configureHardware(s.manager, message);
}

ViStatus startAction(BasicSession &s, const char *res)
{
    tqdaq_closeStreams(s.manager);
    tqdaq_createStreams(s.manager, res, 1, 0); // a member without a stream does not keep the others from starting
    ViStatus st = tqdaq_setSimulationMode(s.manager, nullptr, 0);
    if (st < VI_SUCCESS) {
        printLine(s.sink, "Unable to clear simulation mode");
        return st;
    }
    char message[kConfigMessage];
    if ((st = configure(s, message)) < VI_SUCCESS) {
        printLine(s.sink, "Error in configuration: %s", message);
        return st;
    }
    broadcast(s, "populate");
    st = ownOperation(s, res, "start");
    if (st >= VI_SUCCESS) {
        platform::copyText(s.running, res);
        s.state = kRunning;
        broadcast(s, "start");
    } else if (st != TQ_ERROR_NO_DATABASE) {
        // Whatever did start stops again.
        ownOperation(s, nullptr, "stop");
    }
    return st;
}

// Enables a disabled member, or disables an enabled one and applies the
// configuration without it; a configuration that fails without it enables
// it again.
ViStatus toggleAction(BasicSession &s, const char *name)
{
    ViInt16 enable = 0;
    ViStatus st = frontpanel::closeStreamsReadEnable(s.manager, name, enable);
    if (st < VI_SUCCESS)
        return st;
    if (enable == 1) {
        st = tqdaq_setVresourceEnable(s.manager, name, 0);
        if (st >= VI_SUCCESS) {
            char message[kConfigMessage];
            if ((st = configure(s, message)) < VI_SUCCESS) {
                printLine(s.sink, "Disable Instrument creates error: %s", message);
                tqdaq_setVresourceEnable(s.manager, name, 1);
            }
        }
    } else {
        st = tqdaq_setVresourceEnable(s.manager, name, 1);
    }
    tqdaq_createStreams(s.manager, "", 1, 0);
    return st;
}

// navigator;operation;<op>[;<resource>]
ViStatus operationForm(BasicSession &s, const UiMessage &m)
{
    const char *op = m.word(3);
    const int opClass = m.wordClass(3);
    // The resource word: the fourth word, unless it is empty or names the
    // instrument itself, which stands for the whole database.
    const char *res = nullptr;
    if (m.count >= 4 && *m.word(4) && strcmp(m.word(4), s.name) != 0)
        res = m.word(4);
    // The resource named in messages; the instrument's own without one.
    const char *shown = res ? res : s.name;

    if (res) {
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
        case frontpanel::kBasicVerifyThermocouples: {
            const ViStatus st = tqdaq_setSimulationMode(s.manager, nullptr, 0);
            if (st < VI_SUCCESS)
                return st;
            return ownOperation(s, res, op);
        }
        case frontpanel::kStart:
            return startAction(s, res);
        case frontpanel::kStop:
            printLine(s.sink, "[%s]%s: Already stopped.", shown, op);
            return VI_SUCCESS;
        case frontpanel::kCalibrate:
            return frontpanel::calibrate<kConfigMessage>(s, res);
        default:
            return VI_SUCCESS;
        }
    }

    switch (opClass) {
    case frontpanel::kReset: {
        ownOperation(s, s.running, "stop");
        const ViStatus st = ownOperation(s, res, "reset");
        goIdle(s);
        return st;
    }
    case frontpanel::kStart:
        if (res && strcmp(res, s.running) == 0) {
            printLine(s.sink, "[%s]Already running.", res);
            return VI_SUCCESS;
        }
        stopAll(s, s.running);
        return startAction(s, res);
    case frontpanel::kStop:
        stopAll(s, s.running);
        return VI_SUCCESS;
    case frontpanel::kCalibrate:
        printLine(s.sink, "[%s]%s: Can't calibrate while running.", shown, op);
        return VI_SUCCESS;
    default:
        return VI_SUCCESS;
    }
}

} // namespace

ViStatus ownOperation(BasicSession &s, const char *res, const char *operation)
{
    ++s.ownWalks;
    const ViStatus st = tqdaq_doOperation(s.manager, orNull(res), operation, nullptr);
    --s.ownWalks;
    return st;
}

void broadcast(BasicSession &s, const char *text)
{
    ViStatus st = VI_SUCCESS;
    // A handler may uninstall entries while the broadcast runs: the count is
    // read again for every entry. Each handler gets a copy of the text of its
    // own, which it may write into. One may also close the manager session,
    // which closes this session: the listeners after it hear nothing more.
    for (uint16_t i = 0;
         i < s.handlers.count && i < frontpanel::EventHandlerTable::kMax && st >= VI_SUCCESS && !s.closed; ++i) {
        const frontpanel::EventHandlerEntry entry = s.handlers.entries[i];
        if (!entry.handler)
            continue;
        char message[256];
        platform::copyText(message, text);
        ViUInt32 clear = 0;
        st = entry.handler(s.name, 1, entry.userData, &clear, message);
    }
}

ViStatus uiEvent(BasicSession &s, const char *text)
{
    UiMessage m;
    if (frontpanel::parseUiEvent(text, frontpanel::Vocabulary::Basic, m) != frontpanel::UiParse::Ok)
        return VI_ERROR_INV_PARAMETER;
    const int first = m.wordClass(1);
    const int second = m.wordClass(2);
    const bool running = s.state == kRunning;

    if (first == frontpanel::kNavigator) {
        switch (second) {
        case frontpanel::kOperation:
            return operationForm(s, m);
        case frontpanel::kInstrument: {
            if (running)
                stopAll(s, nullptr);
            return toggleAction(s, m.word(3));
        }
        case frontpanel::kConfig:
            if (running)
                stopAll(s, nullptr);
            return VI_SUCCESS;
        default:
            return VI_SUCCESS;
        }
    }
    if (first == frontpanel::kWindow && second == frontpanel::kClose) {
        // What runs stops before its streams go: the boards keep handing
        // their data to the streams' readers until they have stopped. The
        // instrument runs no longer, and the next start of the same
        // resource starts it again.
        if (running)
            stopAll(s, nullptr);
        return tqdaq_closeStreams(s.manager);
    }
    return VI_SUCCESS;
}

} // namespace tq::panelmate

using namespace tq::panelmate;
using tq::platform::guardStatus;

namespace
{

ViStatus databaseOperation(ViSession vi, const char *operation)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const tq::frontpanel::SessionHold<BasicSession> hold(*s, freeSession);
        return ownOperation(*s, nullptr, operation);
    });
}

} // namespace

TQ_API ViStatus panelmate_reset(ViSession vi)
{
    return databaseOperation(vi, "reset");
}
TQ_API ViStatus panelmate_start(ViSession vi)
{
    return databaseOperation(vi, "start");
}
TQ_API ViStatus panelmate_stop(ViSession vi)
{
    return databaseOperation(vi, "stop");
}

TQ_API ViStatus panelmate_uiEvent(ViSession vi, ViConstString message)
{
    return guardStatus([&]() -> ViStatus {
        BasicSession *s = findSession(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const tq::frontpanel::SessionHold<BasicSession> hold(*s, freeSession);
        return uiEvent(*s, message);
    });
}
