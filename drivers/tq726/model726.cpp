// The model 726 driver: its model information, the hooks the framework
// calls, the template exports and the event exports of a model without
// events.
#include <iterator>
#include <new>

#include "driver726.h"
#include "tq/driver/stream.h"

namespace tq726
{

namespace
{

using tq::driver::Session;

Session726 &model(Session &s)
{
    return static_cast<Session726 &>(s);
}

constexpr ViUInt32 kVisaTimeoutMs = 10000;

const tq::driver::StatusText kTexts[] = {
    {TQ726_WARN_ALREADY_RUNNING, "Device already Running."},
    {TQ726_ERROR_NO_CHANNELS, "Operation failed because no channels are enabled."},
    {TQ726_ERROR_RUNNING, "Operation failed because device is running."},
};

class Model726 : public tq::driver::Model
{
  public:
    Session *createSession(ViSession vi) override
    {
        auto *s = new (std::nothrow) Session726();
        if (!s)
            return nullptr;
        if (vi != VI_NULL) {
            // A board that keeps the default time-out still works: register
            // accesses do not wait on it.
            visa().viSetAttribute(vi, VI_ATTR_TMO_VALUE, kVisaTimeoutMs);
            ViUInt16 low = 0, high = 0;
            if (visa().viIn16(vi, reg::kBar2, reg::kFlagsLow, &low) < VI_SUCCESS ||
                visa().viIn16(vi, reg::kBar2, reg::kFlagsHigh, &high) < VI_SUCCESS) {
                delete s;
                return nullptr;
            }
            s->flags = low | static_cast<ViUInt32>(high) << 16;
        }
        s->channelCount = (s->flags & reg::kChannels32) ? 32 : (s->flags & reg::kChannels16) ? 16 : 64;
        s->currentOutputs = !(s->flags & reg::kNoCurrent);
        s->resetConfirm = (s->flags & reg::kResetConfirm) != 0;
        return s;
    }

    void streamBound(Session &s) override
    {
        Session726 &m = model(s);
        resetChannelRecords(m);
        installStreamOperations(m);
        updateLayout(m);
    }

    void setDefaultSettings(Session &s) override { setDefaults(model(s)); }
    ViStatus applySettings(Session &s) override { return applyAll(model(s)); }
    ViStatus reset(Session &s) override { return resetBoard(model(s)); }
    // Close: the output thread ends before the framework destroys the
    // stream and the session; then the blocks go.
    void freeDataPath(Session &s) override { freeOutput(model(s)); }

    ViStatus selfTest(Session &s, ViInt16 *result, ViChar *message) override
    {
        return tq726::selfTest(model(s), result, message);
    }

    TQStreamChannel *channelAt(Session &s, size_t position) override
    {
        Session726 &m = model(s);
        return position < static_cast<size_t>(m.channelCount) ? &m.channels[position].head : nullptr;
    }

    // A reader with the stream engine's own operations: the stream has no
    // input scans to read.
    TQReader *newReader(Session &s, int64_t position, int32_t whence) override
    {
        return s.streamHandles.newReaderBase ? s.streamHandles.newReaderBase(s.stream, position, whence, nullptr)
                                             : nullptr;
    }

    ViStatus crossCheck(Session &s, ViChar *message) override { return tq726::crossCheck(model(s), message); }
};

ViStatus eventStatusNotSupported(ViSession, ViUInt16, ViUInt16 *, ViUInt16, ViChar *)
{
    return VI_ERROR_NSUP_OPER;
}

ViStatus waitNotSupported(ViSession, ViUInt32, ViUInt32, ViUInt32 *, ViChar *)
{
    return VI_ERROR_NSUP_OPER;
}

void adjustHandle(TQPnPHandle &h)
{
    h.getEventStatus = eventStatusNotSupported;
    h.installEventHandler = tq726_installEventHandler;
    h.uninstallEventHandler = tq726_uninstallEventHandler;
    h.wait = waitNotSupported;
}

tq::driver::ModelInfo makeInfo()
{
    tq::driver::ModelInfo info;
    info.prefix = "tq726";
    info.modelCode = TQ726_MODEL_CODE;
    info.manufacturerId = TQ726_MANUFACTURER_ID;
    info.handleKind = tq::driver::kHandleKind726;
    info.statusTexts = kTexts;
    info.statusTextCount = std::size(kTexts);
    info.simulationFailureLine = false;
    // The stream carries output scans only and is never captured.
    info.captureHeaderFirst = false;
    info.adjustPnPHandle = adjustHandle;
    fillTables(info);
    return info;
}

} // namespace

tq::driver::Driver &driver()
{
    static Model726 m;
    static tq::driver::Driver d(makeInfo(), m);
    return d;
}

Session726 *find(ViSession vi)
{
    return static_cast<Session726 *>(driver().find(vi));
}

} // namespace tq726

TQ_DRIVER_EXPORT_INIT(tq726, tq726::driver())
TQ_DRIVER_EXPORT_CLOSE(tq726, tq726::driver())
TQ_DRIVER_EXPORT_SELF_TEST(tq726, tq726::driver())
TQ_DRIVER_EXPORT_ERROR_QUERY(tq726, tq726::driver())
TQ_DRIVER_EXPORT_ERROR_MESSAGE(tq726, tq726::driver())
TQ_DRIVER_EXPORT_REVISION_QUERY(tq726, tq726::driver())
TQ_DRIVER_EXPORT_AUTO_CONNECT(tq726, tq726::driver())
TQ_DRIVER_EXPORT_SIMULATION(tq726, tq726::driver())
TQ_DRIVER_EXPORT_INSTRUMENT_NAME(tq726, tq726::driver())
TQ_DRIVER_EXPORT_MESSAGE_SINKS(tq726, tq726::driver())
TQ_DRIVER_EXPORT_STREAM(tq726, tq726::driver())
TQ_DRIVER_EXPORT_CROSS_CHECK(tq726, tq726::driver())
TQ_DRIVER_EXPORT_PNP(tq726, tq726::driver())

using namespace tq726;

namespace
{

ViStatus refuseEvents(ViSession vi, ViUInt32 mask, bool install)
{
    Session726 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (mask == 0)
        return VI_SUCCESS;
    if (install)
        tq::driver::statusLine(*s, "[%s]Failed to install event handler", s->instrumentName);
    else
        tq::driver::statusLine(*s, "[%s]Failed to uninstall event handler", s->instrumentName);
    return VI_ERROR_HNDLR_NINSTALLED;
}

} // namespace

TQ_API ViStatus tq726_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler, void *, ViChar *)
{
    return refuseEvents(vi, mask, true);
}

TQ_API ViStatus tq726_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler, void *)
{
    return refuseEvents(vi, mask, false);
}

TQ_API ViStatus tq726_getEventStatus(ViSession, ViUInt16, ViUInt16 *, ViUInt16, ViChar *)
{
    return VI_ERROR_NSUP_OPER;
}

TQ_API ViStatus tq726_wait(ViSession, ViUInt32, ViUInt32, ViUInt32 *, ViChar *)
{
    return VI_ERROR_NSUP_OPER;
}
