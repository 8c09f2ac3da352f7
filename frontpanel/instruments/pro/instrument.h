// The professional front panel's instrument: its session record and what its
// files share.
#pragma once

#include <cstdint>

#include "panelmatepro.h"
#include "tq/frontpanel/handlers.h"
#include "tq/frontpanel/uievent.h"

namespace tq::platform
{
class EventBroadcast;
}

namespace tq::panelmatepro
{

constexpr int16_t kIdle = 1;
constexpr int16_t kRunning = 2;

// Room for the resource manager's configuration message.
constexpr size_t kConfigMessage = 5120;

struct ProSession {
    ViSession key = 0; // the manager session, which is also the session value
    char name[256] = {};
    char running[256] = {}; // the running resource name, empty when idle
    char captureDir[256] = {};
    ViSession manager = 0;
    int16_t state = kIdle;
    // The running acquisition records: its capture is closed when it stops,
    // whatever RecordEnable says by then.
    bool recording = false;
    frontpanel::EventHandlerTable handlers;
    // Threads inside panelmatepro_wait; it outlives the session while one is.
    platform::EventBroadcast *waiters = nullptr;
    int16_t simulationState = 1; // 1 real, 2 simulated, 3 cannot leave simulation
    int16_t simulationMode = 0;
    int16_t probeOnStartEnable = 1;
    int16_t recordEnable = 0;
    int16_t probeAction = TQPMPROPROBEAUTOPOP;
    TQStreamMsg *sink = nullptr;
    TQStreamMsg *spy = nullptr;
    uint32_t viewerThread = 0;
    // PnP handles that share the session; the release of the last one
    // closes it.
    int pnpHandles = 0;
    // While init chooses the database, selecting one makes the manager open
    // that database's own resource, which is this instrument again: that
    // open gets a handle on this session, and closing it (the next
    // candidate's selection closes the old database's instruments) must not
    // free the session init is still using.
    bool initialising = false;
    // Calls running on the session, and whether it was closed meanwhile
    // (the last of them frees it).
    int holds = 0;
    bool closed = false;
    ProSession *next = nullptr;
    ProSession *prev = nullptr;
};

// The newest session of a session value, or null.
ProSession *findSession(ViSession vi);

// Frees a session record that was closed (the holds' release).
void freeSession(ProSession *s);

// Runs the operation through the resource manager on the resource, or on the
// whole database when res is null or empty.
ViStatus ownOperation(ProSession &s, const char *res, const char *operation);

// The event broadcast (bits 1): the handlers whose mask shares a bit with the
// bits, in order, while the previous one answered a status of at least 0;
// then the threads waiting in panelmatepro_wait.
void broadcast(ProSession &s, const char *text);

// The probe: keeps or chooses a database, then discovers as ProbeAction says.
ViStatus probe(ProSession &s);

// One message of the command language.
ViStatus uiEvent(ProSession &s, const char *message);

unsigned long ul(ViSession vi);
unsigned long ul(ViStatus st);

} // namespace tq::panelmatepro
