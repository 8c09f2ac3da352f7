// The framework part of a driver session. Each model derives its session
// record from Session and adds its model data; the framework owns the
// lifecycle (the session list, modes, the simulation flag, the VISA
// sessions, the waiter objects, the message sinks) and calls the model's
// hooks (tq/driver/model.h), the stream binding, the event handlers and
// waiters (tq/driver/events.h) and the PnP handle (tq/driver/driver.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "tq/platform/dynlib.h"
#include "tq/platform/sync.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

namespace tq::platform
{
class EventBroadcast;
}

namespace tq::driver
{

class Driver;
// The waiter state: the platform's event broadcast (every thread inside wait
// gets each event once; close ends every wait).
using WaitState = platform::EventBroadcast;

// Mode of a session.
enum : uint16_t {
    kModeHardware = 1,     // instrument present and used
    kModeSimulated = 2,    // instrument present, configuration kept off the board
    kModeNoInstrument = 3, // opened without a resource name
};

constexpr size_t kNameLength = 256; // names and messages, terminator included
constexpr unsigned kMaxEventHandlers = 3;

// One installed instrument event handler. The user data is pointer-sized;
// message is the installer's buffer (256 bytes) that receives the event's
// text before each call.
struct EventHandlerEntry {
    ViUInt32 mask = 0;
    TQInstrumentEventHandler handler = nullptr;
    void *userData = nullptr;
    ViChar *message = nullptr;
};

struct Session {
    virtual ~Session();

    // The value callers hold and the key of the session list: the VISA
    // instrument session, or, without an instrument, a handle of the
    // driver's handle table.
    ViSession value = 0;
    // Head of every status line and the source name of instrument events;
    // the expanded resource name at open.
    char instrumentName[kNameLength] = {};
    // The alias VISA knows, else the expanded name; empty without an
    // instrument. Not empty means close closes VISA sessions.
    char resourceName[kNameLength] = {};
    // The device handle of a driver with a transport (transport.h); null
    // without an instrument and for VISA drivers.
    void *device = nullptr;

    // The driver that made the session (set before the model's hooks run).
    Driver *driver = nullptr;

    // The stream library, loaded while the session owns a stream, the copy
    // of its handle table, and the stream (owner: this record).
    platform::LibraryHandle streamLibrary = nullptr;
    TQStreamHandles streamHandles = {};
    TQStream *stream = nullptr;
    // Bit i: converterRuns()[i] (channels.h) is registered with the stream
    // library for this session's stream.
    uint32_t convertersRegistered = 0;

    // Instrument event handlers, kept packed from the first entry. The
    // lock is held while the table changes and while its handlers are
    // called (from the event thread or the caller's), so that a handler
    // uninstalled from another thread is never called once uninstall has
    // returned. It is recursive: a handler may install or uninstall. The
    // count may be read without the lock to learn whether anybody listens.
    EventHandlerEntry eventHandlers[kMaxEventHandlers] = {};
    std::atomic<uint16_t> eventHandlerCount{0};
    mutable platform::Mutex handlerLock;

    uint16_t mode = 0;
    // 1 while the configuration is kept off the board (modes 2 and 3).
    uint16_t simulation = 0;

    // Threads blocked in the driver's wait: the waiter count, event status
    // word, waiter message and the waiters themselves. Kept apart from the
    // record and shared with every waiting thread, so that a thread still
    // inside wait when the session closes leaves without touching freed
    // memory (events.h).
    WaitState *waitState = nullptr;

    // Message sinks, each holding one reference while registered: status
    // lines go to streamMessages, traces to spy. Null until registered.
    TQStreamMsg *streamMessages = nullptr;
    TQStreamMsg *spy = nullptr;

    // Start, stop and reset of the session run one at a time (RunGuard):
    // two threads stopping or resetting one running session must not both
    // wait for, or free, what its acquisition thread uses. Recursive, so
    // that a reset may stop.
    mutable platform::Mutex runLock;

    // Session list.
    Session *next = nullptr;
    Session *previous = nullptr;

    bool hasInstrument() const { return mode != kModeNoInstrument; }
    bool simulated() const { return simulation != 0; }
};

// Held by a model's start, stop and reset for their whole run: the second
// of two stoppers finds the session stopped and returns, instead of waiting
// a second time for a thread the first one has already waited for.
class RunGuard
{
  public:
    explicit RunGuard(Session &s) : guard_(s.runLock) {}
    RunGuard(const RunGuard &) = delete;
    RunGuard &operator=(const RunGuard &) = delete;

  private:
    platform::MutexGuard guard_;
};

} // namespace tq::driver
