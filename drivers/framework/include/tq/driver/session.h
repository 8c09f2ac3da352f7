// The framework part of a driver session. Each model derives its session
// record from Session and adds its model data; the framework owns the
// lifecycle (the session list, modes, the simulation flag, the VISA
// sessions, the waiter objects, the message sinks) and calls the model's
// hooks (tq/driver/model.h).
#pragma once

#include <cstdint>
#include <memory>

#include "tq/platform/dynlib.h"
#include "tq/platform/sync.h"
#include "tq/visatype.h"

namespace tq::driver {

// Mode of a session.
enum : uint16_t {
    kModeHardware = 1,     // instrument present and used
    kModeSimulated = 2,    // instrument present, configuration kept off the board
    kModeNoInstrument = 3, // opened without a resource name
};

// Where status lines or traces go: an object with a print operation that
// takes one finished line. Empty until a sink is registered.
struct MessageSink {
    void *object = nullptr;
    void (*print)(void *object, const char *text) = nullptr;
    explicit operator bool() const { return object && print; }
};

constexpr size_t kNameLength = 256; // names and messages, terminator included

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

    // The stream library, loaded while the session owns a stream.
    platform::LibraryHandle streamLibrary = nullptr;

    uint16_t mode = 0;
    // 1 while the configuration is kept off the board (modes 2 and 3).
    uint16_t simulation = 0;

    // Waiter state: threads blocked in the driver's wait. The mutex guards the
    // count, the status word, the message and the closing flag. Sessions
    // without an instrument have neither mutex nor event.
    uint16_t waiterCount = 0;
    uint32_t eventStatus = 0;
    std::unique_ptr<platform::Mutex> waiterMutex;
    std::unique_ptr<platform::Event> waiterEvent;
    char waiterMessage[kNameLength] = {};
    bool closing = false; // set by close before it releases the waiters

    MessageSink streamMessages; // status lines
    MessageSink spy;            // traces

    // Session list.
    Session *next = nullptr;
    Session *previous = nullptr;

    bool hasInstrument() const { return mode != kModeNoInstrument; }
    bool simulated() const { return simulation != 0; }
};

} // namespace tq::driver
