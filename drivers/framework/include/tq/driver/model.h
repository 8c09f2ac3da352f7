// What a driver fills in: its model's identity, texts and hooks. The
// framework runs the lifecycle and calls these at fixed points; a model
// never copies framework code.
#pragma once

#include <cstddef>

#include "tq/driver/session.h"
#include "tq/visatype.h"

namespace tq::driver {

struct StatusText {
    ViStatus status;
    const char *text;
};

// Handle-table kinds of the sessions without an instrument, one per driver,
// so that a value of one driver is never taken for a session of another.
enum HandleKind : unsigned {
    kHandleKind718 = 16,
    kHandleKind747 = 17,
    kHandleKind775 = 18,
    kHandleKind740 = 19,
    kHandleKind726 = 20,
    kHandleKind176 = 21,
    kHandleKindTest = 30,
};

struct ModelInfo {
    const char *prefix = "";            // "tq718": names the exports and the trace lines
    ViUInt16 manufacturerId = 0x3c5a;   // identity checked by init and searched by autoConnectToAll
    ViUInt16 modelCode = 0;
    const char *driverRevision = "4.0.3.0";
    unsigned handleKind = 0;
    const StatusText *statusTexts = nullptr; // the driver's own texts for error_message
    size_t statusTextCount = 0;
    // error_message of the model 718 ignores its session argument and
    // describes with the most recently opened session; the other models look
    // their session up.
    bool errorMessageUsesFirstSession = false;
    // setSimulationMode prints "[%s]Failed change simulation mode" on failure.
    bool simulationFailureLine = true;
};

class Model {
public:
    virtual ~Model() = default;

    // Creates the session record. vi is the VISA instrument session, or
    // VI_NULL for a session without an instrument (model defaults for a
    // board without option words). Returns null when the record cannot be
    // made or the board cannot be read (init then fails with VI_ERROR_ALLOC).
    virtual Session *createSession(ViSession vi) = 0;

    // Default settings into the session (no board access).
    virtual void setDefaultSettings(Session &s) = 0;
    // Every stored setting onto the board.
    virtual ViStatus applySettings(Session &s) = 0;
    // The whole reset of <prefix>_reset, the defaults and the applying included.
    virtual ViStatus reset(Session &s) = 0;
    // Frees the data path (DMA memory and the like) at close; result ignored.
    virtual void freeDataPath(Session &) {}

    // self_test after the framework has written result 1 and the failure
    // text; the default cannot test.
    virtual ViStatus selfTest(Session &s, ViInt16 *result, ViChar *message);
    // revision_query; the default writes the driver revision and has no
    // instrument revision.
    virtual ViStatus revisionQuery(Session &s, const ModelInfo &info, ViChar *driverRev, ViChar *instrRev);
};

} // namespace tq::driver
