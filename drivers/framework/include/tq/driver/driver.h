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
// The session list has no lock: opening and closing must not overlap with
// other calls into the same driver, as for every driver of the suite.
#pragma once

#include <cstdarg>

#include "tq/driver/model.h"
#include "tq/driver/session.h"
#include "tq/driver/status.h"
#include "tq/export.h"
#include "tq/platform/handles.h"

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

    // The session of a value, or null (callers answer VI_ERROR_INV_OBJECT).
    Session *find(ViSession vi) const;
    // The most recently opened session, or null.
    Session *first() const { return head_; }

    // Text of a status as error_message gives it, for status lines; "" when
    // there is none.
    void statusText(Session &s, ViStatus status, char *text, size_t size);

    // The find expression of autoConnectToAll.
    void findExpression(char *out, size_t size) const;

private:
    void push(Session *s);
    void unlink(Session *s);
    // Frees a session that is no longer in the list (VISA sessions are the caller's).
    void discard(Session *s);
    const char *ownText(ViStatus status) const;

    const ModelInfo info_;
    Model &model_;
    Session *head_ = nullptr;
    platform::HandleTable handles_;
};

// A status line to the session's stream-message sink ("[%s]..." with the
// instrument name is the caller's format); nothing when none is registered.
void statusLine(Session &s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// A trace line to the session's spy sink.
void traceLine(Session &s, const char *format, ...) __attribute__((format(printf, 2, 3)));

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
