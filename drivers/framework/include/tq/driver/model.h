// What a driver fills in: its model's identity, texts and hooks. The
// framework runs the lifecycle and calls these at fixed points; a model
// never copies framework code.
#pragma once

#include <cstddef>

#include "tq/driver/channels.h"
#include "tq/driver/properties.h"
#include "tq/driver/session.h"
#include "tq/visatype.h"
#include "tqpnp.h"

namespace tq::driver
{

class Transport;

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
    const char *prefix = "";          // "tq718": names the exports and the trace lines
    ViUInt16 manufacturerId = 0x3c5a; // identity checked by init and searched by autoConnectToAll
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

    // Properties and operations by name (properties.h), compared exactly and
    // in table order; names not in a table are answered VI_ERROR_NSUP_OPER.
    const SetProperty *setProperties = nullptr;
    size_t setPropertyCount = 0;
    const GetProperty *getProperties = nullptr;
    size_t getPropertyCount = 0;
    const Operation *operations = nullptr;
    size_t operationCount = 0;

    // The session binds a stream of the stream library (a module on a
    // carrier site publishes in the carrier's stream and binds none).
    bool ownsStream = true;
    // At binding the stream is switched to write its capture header first
    // and to 64-bit capture files.
    bool captureHeaderFirst = true;
    // A fourth installEventHandler prints "[%s]Failed to install event handler".
    bool handlerTableFullLine = true;
    // getPnPHandle opens the session with reset 1 (else 0); never an identity query.
    bool pnpInitReset = false;
    // Called on every new PnP handle after the template filled its
    // operations: a model empties the words it lacks or puts its own
    // functions there.
    void (*adjustPnPHandle)(TQPnPHandle &handle) = nullptr;
    // Instruments reached without VISA (transport.h); null for VISA drivers.
    Transport *transport = nullptr;
};

class Model
{
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
    // Called once an open with a resource name has succeeded and the
    // session is listed with its names: a model binds what hangs off the
    // instrument (a carrier's sites). A failure ends the open with that
    // status; the session is then freed as at close.
    virtual ViStatus opened(Session &) { return VI_SUCCESS; }
    // Frees the data path (DMA memory and the like) at close; result ignored.
    // Once it returns, no interrupt handler or thread of the model touches
    // the session or its stream any more: close goes on to destroy both.
    virtual void freeDataPath(Session &) {}

    // self_test after the framework has written result 1 and the failure
    // text; the default cannot test.
    virtual ViStatus selfTest(Session &s, ViInt16 *result, ViChar *message);
    // revision_query; the default writes the driver revision and has no
    // instrument revision.
    virtual ViStatus revisionQuery(Session &s, const ModelInfo &info, ViChar *driverRev, ViChar *instrRev);

    // ---- Stream (the session's stream is bound before these are called) ----

    // Called once the stream is made (s.stream, s.streamHandles), before the
    // session is listed and its defaults are set: the model points its
    // channel records at the stream and gives it its scan layout.
    virtual void streamBound(Session &) {}
    // Whether what streamBound made is there (a buffer the model cannot
    // run without); false fails the open with 0xBFFF003C.
    virtual bool streamReady(Session &) { return true; }

    // The channel at a position of the lookup order (for the model 718:
    // analog channels 1 to the analog channel count, then event channels 1
    // to 15), null past the end. The stream's getChannel takes the first
    // whose name matches exactly, getChannelByIndex the n-th enabled one.
    virtual TQStreamChannel *channelAt(Session &, size_t /*position*/) { return nullptr; }
    // Scans the device has delivered so far (the stream's getScansWritten).
    virtual int64_t scansWritten(Session &) { return 0; }
    // A reader over the device's data (the stream's newReader), typically
    // made with newDeviceReader (stream.h); null when none can be made.
    virtual TQReader *newReader(Session &, int64_t /*position*/, int32_t /*whence*/) { return nullptr; }
    // Adds one descriptor per recorded channel to a capture header whose
    // rate, decimation and start time are already set.
    virtual void describeCapture(Session &, CaptureHeader &) {}
    // Frees what the channel records own (coefficient tables kept outside
    // the records); called by close after the session left the list.
    virtual void freeChannels(Session &) {}

    // ---- Events and configuration -------------------------------------------

    // The event status of one event: status 1 and, when asked, the bit
    // cleared on the instrument and the text into message; status 0 and
    // nothing else written when the event is not pending. The default has
    // no event status.
    virtual ViStatus getEventStatus(Session &, ViUInt16 /*event*/, ViUInt16 * /*status*/, ViUInt16 /*clear*/,
                                    ViChar * /*message*/)
    {
        return VI_ERROR_NSUP_OPER;
    }
    // Checks the stored configuration before a start; on the first failure
    // one line of text into message (256 bytes) and a negative status.
    // ChannelNameCheck (driver.h) holds the channel-name rules.
    virtual ViStatus crossCheck(Session &, ViChar * /*message*/) { return VI_SUCCESS; }
};

} // namespace tq::driver
