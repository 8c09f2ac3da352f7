// The basic front panel's instrument: its session record and what its files
// share.
#pragma once

#include <cstdint>

#include "panelmate.h"
#include "tq/frontpanel/handlers.h"
#include "tq/frontpanel/uievent.h"

namespace tq::panelmate
{

constexpr int16_t kIdle = 1;
constexpr int16_t kRunning = 2;

// The instrument's own name: the database it selects, and the name its
// events and traces carry.
constexpr const char *kOwnName = "system";

struct BasicSession {
    ViSession key = 0; // the manager session, which is also the session value
    char name[256] = {};
    char running[256] = {}; // the running resource name, empty when idle
    ViSession manager = 0;
    int16_t state = kIdle;
    frontpanel::EventHandlerTable handlers;
    int16_t simulationState = 1; // 1 real, 2 simulated, 3 cannot leave simulation
    int16_t simulationMode = 0;
    TQStreamMsg *sink = nullptr;
    TQStreamMsg *spy = nullptr;
    // PnP handles that share the session; the release of the last one
    // closes it.
    int pnpHandles = 0;
    // While init runs, the manager's notifications (of the members that
    // discovery assigns) open the database's own resource again: that open
    // gets a second handle on this session rather than a second session,
    // which would run discovery again.
    bool initialising = false;
    // Database-wide operations issued by the instrument and still running:
    // when such a walk reaches the instrument itself it must not start
    // another one.
    int ownWalks = 0;
    // Calls running on the session, and whether it was closed meanwhile
    // (the last of them frees it).
    int holds = 0;
    bool closed = false;
    BasicSession *next = nullptr;
    BasicSession *prev = nullptr;
};

// The newest session of a session value, or null.
BasicSession *findSession(ViSession vi);

// Frees a session record that was closed (the holds' release).
void freeSession(BasicSession *s);

// Runs the operation through the resource manager on the resource, or on the
// whole database when res is null or empty, marking the walk as the
// instrument's own.
ViStatus ownOperation(BasicSession &s, const char *res, const char *operation);

// The event broadcast: every handler in order, while the previous one
// answered a status of at least 0.
void broadcast(BasicSession &s, const char *text);

// One message of the command language.
ViStatus uiEvent(BasicSession &s, const char *message);

} // namespace tq::panelmate
