// The driver template: one implementation of the session list and of the
// VXIplug&play-style entry points, instantiated by every driver with its own
// prefix and model.
//
// A driver library holds one Driver for its model and generates its exports
// with the macros at the end:
//
//     tq::driver::Driver &driver() { static tq::driver::Driver d(info, model); return d; }
//     TQ_DRIVER_EXPORT_TEMPLATE(tq718, driver())
//
// which defines tq718_init, tq718_close, tq718_reset, tq718_self_test, ... as
// thin exported wrappers. A driver whose entry point differs from the
// template defines that one itself and uses the single-entry macros for the
// rest.
//
// TQ_DRIVER_EXPORT_FRAMEWORK(prefix, driver()) adds the rest of what every
// driver has: the message sinks, getStream, the event exports, wait,
// crossCheck and <prefix>_getPnPHandle, whose handle reaches the model's
// property and operation tables (ModelInfo, properties.h). A model that
// lacks some of these uses the single macros, and empties or replaces PnP
// words through ModelInfo::adjustPnPHandle.
//
// Opening and closing must not overlap with other calls on the same
// session. The list itself is locked, though: a carrier's acquisition thread
// looks its module sessions up through the module driver while the resource
// manager opens and closes other sessions of that driver, and a lookup must
// never walk into a session being freed.
#pragma once

#include <cstdarg>

#include <shared_mutex>

#include <string>
#include <vector>

#include "tq/driver/model.h"
#include "tq/driver/pnp_refcount.h"
#include "tq/driver/session.h"
#include "tq/driver/status.h"
#include "tq/export.h"
#include "tq/platform/handles.h"
#include "tqpnp.h"

namespace tq::driver {

class Driver {
public:
    Driver(const ModelInfo &info, Model &model);
    ~Driver();
    Driver(const Driver &) = delete;
    Driver &operator=(const Driver &) = delete;

    const ModelInfo &info() const { return info_; }
    Model &model() { return model_; }

    // The template entry points. None throws.
    ViStatus init(ViConstRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi) noexcept;
    ViStatus close(ViSession vi) noexcept;
    ViStatus reset(ViSession vi) noexcept;
    ViStatus selfTest(ViSession vi, ViInt16 *result, ViChar *message) noexcept;
    ViStatus errorQuery(ViSession vi, ViInt32 *code, ViChar *message) noexcept;
    ViStatus errorMessage(ViSession vi, ViStatus status, ViChar *message) noexcept;
    ViStatus revisionQuery(ViSession vi, ViChar *driverRev, ViChar *instrRev) noexcept;
    ViStatus autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count) noexcept;
    ViStatus autoConnectToFirst(ViSession *vi) noexcept;
    ViStatus setSimulationMode(ViSession vi, ViBoolean mode) noexcept;
    ViStatus getSimulationMode(ViSession vi, ViBoolean *ignored) noexcept;
    ViStatus setInstrumentName(ViSession vi, ViConstString name) noexcept;
    ViStatus getInstrumentName(ViSession vi, ViChar *name) noexcept;

    // Message sinks, the stream, events and wait.
    ViStatus registerStreamMsg(ViSession vi, TQStreamMsg *sink) noexcept;
    ViStatus registerSpyMsg(ViSession vi, TQStreamMsg *sink) noexcept;
    ViStatus getStream(ViSession vi, ViConstString streamName, TQStream **stream) noexcept;
    ViStatus getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message) noexcept;
    ViStatus installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler, void *userData,
                                 ViChar *message) noexcept;
    ViStatus uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                   void *userData) noexcept;
    // Blocks until an event sharing a bit with mask (0), for timeoutMs
    // without one (0xBFFF0015; also when the waiter lock cannot be had in
    // that time), or until the session closes (0xBFFF0030, status 0). Other
    // events are reported through status and message and the wait goes on
    // with the full time-out. A session without an instrument waits like an
    // idle one: it has no events, so its waits time out or end at close.
    ViStatus wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message) noexcept;
    ViStatus crossCheck(ViSession vi, ViChar *message) noexcept;

    // The by-name layer of the PnP handle.
    ViStatus setPropertyByName(ViSession vi, ViConstString name, ViConstString value) noexcept;
    ViStatus getPropertyByName(ViSession vi, ViConstString name, ViConstString index, ViChar *value,
                               ViInt32 length) noexcept;
    ViStatus doOperation(ViSession vi, ViConstString operation, ViConstString argument) noexcept;

    // A new PnP handle with the operations of layout (words 2 to 16), then
    // the model's adjustment, then init into its session word.
    ViStatus getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle, const TQPnPHandle &layout) noexcept;
    // Drops a reference; at zero closes the session, frees the handle and
    // clears *handle. Always 0.
    ViStatus releasePnPHandle(TQPnPHandle **handle) noexcept;

    // The session of a value, or null (callers answer VI_ERROR_INV_OBJECT).
    Session *find(ViSession vi) const;
    // The most recently opened session that match accepts, or null; the
    // list is walked under its lock.
    template <typename Match> Session *findIf(Match &&match) const
    {
        std::shared_lock lock(listLock_);
        for (Session *s = head_; s; s = s->next)
            if (match(*s))
                return s;
        return nullptr;
    }
    // The most recently opened session, or null.
    Session *first() const
    {
        std::shared_lock lock(listLock_);
        return head_;
    }

    // Text of a status as error_message gives it, for status lines; "" when
    // there is none.
    void statusText(Session &s, ViStatus status, char *text, size_t size);

    // The find expression of autoConnectToAll.
    void findExpression(char *out, size_t size) const;

private:
    // init of a driver with a transport, for a non-empty resource name.
    ViStatus openThroughTransport(ViConstRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi);
    // Binds the new record's stream and makes its waiter state; on failure
    // the record is deleted and false returned.
    bool prepare(Session *s);
    void push(Session *s);
    void unlink(Session *s);
    // Frees a session that is no longer in the list (VISA sessions are the caller's).
    void discard(Session *s);
    const char *ownText(ViStatus status) const;

    const ModelInfo info_;
    Model &model_;
    Session *head_ = nullptr;
    // Taken shared by lookups, exclusively by push and unlink.
    mutable std::shared_mutex listLock_;
    platform::HandleTable handles_;
};

// A status line to the session's stream-message sink ("[%s]..." with the
// instrument name is the caller's format); nothing when none is registered.
// Lines are formatted in the C locale and handed to the sink's print
// operation as one finished text.
void statusLine(Session &s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// A trace line to the session's spy sink.
void traceLine(Session &s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The trace line of an accessor: "<prefix>_<function>(%#x(%s)" with the
// session value and instrument name, ",", the further arguments formatted
// with format (none when format is null or empty), and ") retVal=%#x\n".
//     traceCall(s, "getFilterReady", status, "%#lx(%#x)", (unsigned long)ptr, value);
void traceCall(Session &s, const char *function, ViStatus status, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// The channel-name rules of crossCheck, over one call: a list of the names
// accepted so far, shared by every kind of channel.
class ChannelNameCheck {
public:
    // 0, or 0xBFFF0078 / 0xBFFF003C with the rule's text in message (256 bytes):
    // "Channel %hd must be assigned a name", "Channel %hd name to long",
    // "Channel %hd name contains illegal characters", "Channel %hd name '%s'
    // not unique", "Internal memory allocation failure".
    ViStatus check(int channel, const char *name, ViChar *message);

private:
    std::vector<std::string> accepted_;
};

// Copies at most size - 1 characters and terminates.
void copyName(char *out, size_t size, const char *text);

} // namespace tq::driver

// ---------------------------------------------------------------------------
// Exports of the template, one macro per entry point.

#define TQ_DRIVER_EXPORT_INIT(prefix, driver)                                                                         \
    TQ_API ViStatus prefix##_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi)           \
    {                                                                                                                 \
        return (driver).init(rsrcName, idQuery, resetDevice, vi);                                                     \
    }
#define TQ_DRIVER_EXPORT_CLOSE(prefix, driver)                                                                        \
    TQ_API ViStatus prefix##_close(ViSession vi) { return (driver).close(vi); }
#define TQ_DRIVER_EXPORT_RESET(prefix, driver)                                                                        \
    TQ_API ViStatus prefix##_reset(ViSession vi) { return (driver).reset(vi); }
#define TQ_DRIVER_EXPORT_SELF_TEST(prefix, driver)                                                                    \
    TQ_API ViStatus prefix##_self_test(ViSession vi, ViInt16 *result, ViChar *message)                                \
    {                                                                                                                 \
        return (driver).selfTest(vi, result, message);                                                                \
    }
#define TQ_DRIVER_EXPORT_ERROR_QUERY(prefix, driver)                                                                  \
    TQ_API ViStatus prefix##_error_query(ViSession vi, ViInt32 *code, ViChar *message)                                \
    {                                                                                                                 \
        return (driver).errorQuery(vi, code, message);                                                                \
    }
#define TQ_DRIVER_EXPORT_ERROR_MESSAGE(prefix, driver)                                                                \
    TQ_API ViStatus prefix##_error_message(ViSession vi, ViStatus status, ViChar *message)                            \
    {                                                                                                                 \
        return (driver).errorMessage(vi, status, message);                                                            \
    }
#define TQ_DRIVER_EXPORT_REVISION_QUERY(prefix, driver)                                                               \
    TQ_API ViStatus prefix##_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev)                        \
    {                                                                                                                 \
        return (driver).revisionQuery(vi, driverRev, instrRev);                                                       \
    }
#define TQ_DRIVER_EXPORT_AUTO_CONNECT(prefix, driver)                                                                 \
    TQ_API ViStatus prefix##_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count)                             \
    {                                                                                                                 \
        return (driver).autoConnectToAll(vi, max, count);                                                             \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_autoConnectToFirst(ViSession *vi) { return (driver).autoConnectToFirst(vi); }
#define TQ_DRIVER_EXPORT_SIMULATION(prefix, driver)                                                                   \
    TQ_API ViStatus prefix##_setSimulationMode(ViSession vi, ViBoolean mode)                                          \
    {                                                                                                                 \
        return (driver).setSimulationMode(vi, mode);                                                                  \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_getSimulationMode(ViSession vi, ViBoolean *ignored)                                      \
    {                                                                                                                 \
        return (driver).getSimulationMode(vi, ignored);                                                               \
    }
#define TQ_DRIVER_EXPORT_INSTRUMENT_NAME(prefix, driver)                                                              \
    TQ_API ViStatus prefix##_setInstrumentName(ViSession vi, ViConstString name)                                      \
    {                                                                                                                 \
        return (driver).setInstrumentName(vi, name);                                                                  \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_getInstrumentName(ViSession vi, ViChar *name) { return (driver).getInstrumentName(vi, name); }

#define TQ_DRIVER_EXPORT_MESSAGE_SINKS(prefix, driver)                                                                \
    TQ_API ViStatus prefix##_registerStreamMsg(ViSession vi, TQStreamMsg *sink)                                       \
    {                                                                                                                 \
        return (driver).registerStreamMsg(vi, sink);                                                                  \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_registerSpyMsg(ViSession vi, TQStreamMsg *sink) { return (driver).registerSpyMsg(vi, sink); }
#define TQ_DRIVER_EXPORT_STREAM(prefix, driver)                                                                       \
    TQ_API ViStatus prefix##_getStream(ViSession vi, ViConstString streamName, TQStream **stream)                     \
    {                                                                                                                 \
        return (driver).getStream(vi, streamName, stream);                                                            \
    }
#define TQ_DRIVER_EXPORT_EVENTS(prefix, driver)                                                                       \
    TQ_API ViStatus prefix##_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,           \
                                            ViChar *message)                                                          \
    {                                                                                                                 \
        return (driver).getEventStatus(vi, event, status, clear, message);                                            \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,       \
                                                 void *userData, ViChar *message)                                     \
    {                                                                                                                 \
        return (driver).installEventHandler(vi, mask, handler, userData, message);                                    \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,     \
                                                   void *userData)                                                    \
    {                                                                                                                 \
        return (driver).uninstallEventHandler(vi, mask, handler, userData);                                           \
    }
#define TQ_DRIVER_EXPORT_WAIT(prefix, driver)                                                                         \
    TQ_API ViStatus prefix##_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message) \
    {                                                                                                                 \
        return (driver).wait(vi, mask, timeoutMs, status, message);                                                   \
    }
#define TQ_DRIVER_EXPORT_CROSS_CHECK(prefix, driver)                                                                  \
    TQ_API ViStatus prefix##_crossCheck(ViSession vi, ViChar *message) { return (driver).crossCheck(vi, message); }

// <prefix>_getPnPHandle. Every word of the handle goes through the driver
// object (thunks private to the library), so that a model may replace a
// typed export without the handle noticing; adjustPnPHandle empties or
// replaces words afterwards.
#define TQ_DRIVER_EXPORT_PNP(prefix, drv)                                                                             \
    namespace {                                                                                                       \
    struct prefix##_PnP {                                                                                             \
        static ViStatus release(TQPnPHandle **h) { return (drv).releasePnPHandle(h); }                                \
        static ViStatus setProperty(ViSession vi, ViConstString n, ViConstString v)                                   \
        {                                                                                                             \
            return (drv).setPropertyByName(vi, n, v);                                                                 \
        }                                                                                                             \
        static ViStatus getProperty(ViSession vi, ViConstString n, ViConstString i, ViChar *o, ViInt32 l)             \
        {                                                                                                             \
            return (drv).getPropertyByName(vi, n, i, o, l);                                                           \
        }                                                                                                             \
        static ViStatus operation(ViSession vi, ViConstString n, ViConstString a)                                     \
        {                                                                                                             \
            return (drv).doOperation(vi, n, a);                                                                       \
        }                                                                                                             \
        static ViStatus streamMsg(ViSession vi, TQStreamMsg *m) { return (drv).registerStreamMsg(vi, m); }            \
        static ViStatus spyMsg(ViSession vi, TQStreamMsg *m) { return (drv).registerSpyMsg(vi, m); }                  \
        static ViStatus crossCheck(ViSession vi, ViChar *m) { return (drv).crossCheck(vi, m); }                       \
        static ViStatus simulation(ViSession vi, ViBoolean m) { return (drv).setSimulationMode(vi, m); }              \
        static ViStatus stream(ViSession vi, ViConstString n, TQStream **s) { return (drv).getStream(vi, n, s); }     \
        static ViStatus eventStatus(ViSession vi, ViUInt16 e, ViUInt16 *s, ViUInt16 c, ViChar *m)                     \
        {                                                                                                             \
            return (drv).getEventStatus(vi, e, s, c, m);                                                              \
        }                                                                                                             \
        static ViStatus install(ViSession vi, ViUInt32 m, TQInstrumentEventHandler h, void *u, ViChar *b)             \
        {                                                                                                             \
            return (drv).installEventHandler(vi, m, h, u, b);                                                         \
        }                                                                                                             \
        static ViStatus uninstall(ViSession vi, ViUInt32 m, TQInstrumentEventHandler h, void *u)                      \
        {                                                                                                             \
            return (drv).uninstallEventHandler(vi, m, h, u);                                                          \
        }                                                                                                             \
        static ViStatus wait(ViSession vi, ViUInt32 m, ViUInt32 t, ViUInt32 *s, ViChar *b)                            \
        {                                                                                                             \
            return (drv).wait(vi, m, t, s, b);                                                                        \
        }                                                                                                             \
    };                                                                                                                \
    }                                                                                                                 \
    TQ_API ViStatus prefix##_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle)                                 \
    {                                                                                                                 \
        static const TQPnPHandle layout = {                                                                           \
            0,                                                                                                        \
            0,                                                                                                        \
            &::tq::driver::pnpAddReference,                                                                           \
            &prefix##_PnP::release,                                                                                   \
            &prefix##_PnP::setProperty,                                                                               \
            &prefix##_PnP::getProperty,                                                                               \
            &prefix##_PnP::operation,                                                                                 \
            &prefix##_PnP::streamMsg,                                                                                 \
            &prefix##_PnP::spyMsg,                                                                                    \
            &prefix##_PnP::crossCheck,                                                                                \
            &prefix##_PnP::simulation,                                                                                \
            &prefix##_PnP::stream,                                                                                    \
            &prefix##_PnP::eventStatus,                                                                               \
            &prefix##_PnP::install,                                                                                   \
            &prefix##_PnP::uninstall,                                                                                 \
            &prefix##_PnP::wait,                                                                                      \
            &::tq::driver::pnpAttachBackend,                                                                          \
        };                                                                                                            \
        return (drv).getPnPHandle(rsrcName, handle, layout);                                                          \
    }

// Every template entry point.
#define TQ_DRIVER_EXPORT_TEMPLATE(prefix, driver)                                                                     \
    TQ_DRIVER_EXPORT_INIT(prefix, driver)                                                                             \
    TQ_DRIVER_EXPORT_CLOSE(prefix, driver)                                                                            \
    TQ_DRIVER_EXPORT_RESET(prefix, driver)                                                                            \
    TQ_DRIVER_EXPORT_SELF_TEST(prefix, driver)                                                                        \
    TQ_DRIVER_EXPORT_ERROR_QUERY(prefix, driver)                                                                      \
    TQ_DRIVER_EXPORT_ERROR_MESSAGE(prefix, driver)                                                                    \
    TQ_DRIVER_EXPORT_REVISION_QUERY(prefix, driver)                                                                   \
    TQ_DRIVER_EXPORT_AUTO_CONNECT(prefix, driver)                                                                     \
    TQ_DRIVER_EXPORT_SIMULATION(prefix, driver)                                                                       \
    TQ_DRIVER_EXPORT_INSTRUMENT_NAME(prefix, driver)

// The template and everything else every driver has.
#define TQ_DRIVER_EXPORT_FRAMEWORK(prefix, driver)                                                                    \
    TQ_DRIVER_EXPORT_TEMPLATE(prefix, driver)                                                                         \
    TQ_DRIVER_EXPORT_MESSAGE_SINKS(prefix, driver)                                                                    \
    TQ_DRIVER_EXPORT_STREAM(prefix, driver)                                                                           \
    TQ_DRIVER_EXPORT_EVENTS(prefix, driver)                                                                           \
    TQ_DRIVER_EXPORT_WAIT(prefix, driver)                                                                             \
    TQ_DRIVER_EXPORT_CROSS_CHECK(prefix, driver)                                                                      \
    TQ_DRIVER_EXPORT_PNP(prefix, driver)
