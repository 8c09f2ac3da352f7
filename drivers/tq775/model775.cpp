// The model 775 driver: the model hooks, the entry points that differ from
// the template and the register access.
#include <cstdio>
#include <cstring>
#include <new>

#include "session775.h"
#include "tables775.h"
#include "tq/driver/driver.h"
#include "tq/driver/stream.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq775.h"

namespace tq775
{

namespace
{

using tq::driver::Session;

Session775 &model(Session &s)
{
    return static_cast<Session775 &>(s);
}

const tq::driver::StatusText kTexts[] = {
    {TQ775_WARN_STALE, "Stale data found on a channel, which channel is not known"},
    {static_cast<ViStatus>(0xBFFC0808), "Stale data found on a channel, which channel is not known"},
    {TQ775_WARN_OVERFLOW, "Overflow occured on a channel, which channel is not known"},
    {static_cast<ViStatus>(0xBFFC080A), "Overflow occured on a channel, which channel is not known"},
    {static_cast<ViStatus>(0x3FFC0103), "tq775_self_test function not supported with this model"},
    {static_cast<ViStatus>(0x3FFC0104), "tq775_error_query function not supported with this model"},
    {TQ775_WARN_ALREADY_RUNNING, "Device already Running."},
    {TQ775_ERROR_NO_CHANNELS, "Operation failed because no channels are enabled."},
    {TQ775_ERROR_RUNNING, "Operation failed because device is running."},
    {TQ775_ERROR_WINDOW, "Invalid observation window time selection"},
    {TQ775_ERROR_THRESHOLD, "Invalid threshold specified"},
    {TQ775_ERROR_CHANNEL, "Invalid channel number specified"},
    {TQ775_ERROR_TTL_OPTION, "TTL Input option not available with this model"},
    {TQ775_ERROR_THRESHOLD_OPTION, "Threshold option not available with this model"},
};

ViStatus resetInstrument(Session775 &s)
{
    tq::driver::RunGuard guard(s);
    stopAcquisition(s, false);
    const bool failed = modify(s, reg::kControl, reg::kReset, reg::kReset) < VI_SUCCESS;
    const ViStatus status = tq775_clearCountStatus(s.value, 1, 1, 1, kChannels);
    setDefaults(s);
    tq775::applySettings(s);
    return failed ? VI_WARN_UNKNOWN_STATUS : status;
}

class Model775 : public tq::driver::Model
{
  public:
    Session *createSession(ViSession vi) override
    {
        char option[4] = {'a', 'a', '2', '1'};
        if (vi != VI_NULL) {
            // The option words are read before any record exists.
            const auto &v = tq::visa::visa();
            ViUInt16 low = 0, high = 0;
            if (v.viIn16(vi, reg::kBridge, reg::kOptionHigh, &high) < VI_SUCCESS ||
                v.viIn16(vi, reg::kBridge, reg::kOptionLow, &low) < VI_SUCCESS)
                return nullptr;
            option[0] = static_cast<char>(high & 0xFF);
            option[1] = static_cast<char>(high >> 8);
            option[2] = static_cast<char>(low & 0xFF);
            option[3] = static_cast<char>(low >> 8);
        }
        auto *s = new (std::nothrow) Session775();
        if (!s)
            return nullptr;
        memcpy(s->option, option, sizeof option);
        s->thresholdOption = option[0] == 'B' ? 2 : 1;
        return s;
    }

    void streamBound(Session &s) override
    {
        Session775 &m = model(s);
        initChannelRecords(m);
        tq::driver::createScanBuffer(m, m.buffer, 256, 2560, 3840);
    }

    void setDefaultSettings(Session &s) override { setDefaults(model(s)); }
    ViStatus applySettings(Session &s) override { return tq775::applySettings(model(s)); }
    ViStatus reset(Session &s) override { return resetInstrument(model(s)); }

    // The thread and the interrupt handler end before the framework
    // destroys the stream and the buffer goes with it.
    void freeDataPath(Session &s) override
    {
        Session775 &m = model(s);
        stopAcquisition(m, false);
        tq::driver::releaseScanBuffer(m.buffer);
    }

    TQStreamChannel *channelAt(Session &s, size_t position) override
    {
        return position < kChannels ? &model(s).channels[position].head : nullptr;
    }
    int64_t scansWritten(Session &s) override { return tq::driver::scanBufferScansWritten(s, model(s).buffer); }
    TQReader *newReader(Session &s, int64_t position, int32_t whence) override
    {
        return tq::driver::newBufferedReader(s, model(s).buffer, position, whence);
    }

    void describeCapture(Session &s, tq::driver::CaptureHeader &header) override
    {
        Session775 &m = model(s);
        const double coefficients[2] = {0.0, timebase(m.tickRate.load(std::memory_order_relaxed))};
        for (Channel775 &c : m.channels) {
            if (!c.head.enableWord)
                continue;
            if (!header.add(c.head.name, c.head.eu, TQ_XFRM_FREQUENCY, coefficients, 2))
                throw std::bad_alloc();
        }
    }

    ViStatus getEventStatus(Session &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message) override
    {
        return eventStatus(model(s), event, status, clear, message);
    }
    ViStatus crossCheck(Session &s, ViChar *message) override { return tq775::crossCheck(model(s), message); }
};

Model775 &theModel()
{
    static Model775 m;
    return m;
}

// This model's PnP handle has no spy sink and no wait.
void adjustPnP(TQPnPHandle &h)
{
    h.registerSpyMsg = nullptr;
    h.wait = nullptr;
}

tq::driver::ModelInfo makeInfo()
{
    tq::driver::ModelInfo info;
    info.prefix = "tq775";
    info.modelCode = TQ775_MODEL_CODE;
    info.handleKind = tq::driver::kHandleKind775;
    info.statusTexts = kTexts;
    info.statusTextCount = std::size(kTexts);
    info.simulationFailureLine = false;
    info.captureHeaderFirst = true;
    info.adjustPnPHandle = adjustPnP;
    tables(info);
    return info;
}

} // namespace

tq::driver::Driver &driver()
{
    static tq::driver::Driver d(makeInfo(), theModel());
    return d;
}

Session775 *find(ViSession vi)
{
    return static_cast<Session775 *>(driver().find(vi));
}

ViStatus in32(Session775 &s, ViBusAddress offset, uint32_t &value, ViUInt16 space)
{
    ViUInt32 v = 0;
    ViStatus status = tq::visa::visa().viIn32(s.value, space, offset, &v);
    if (status >= VI_SUCCESS)
        value = v;
    return status;
}

ViStatus out32(Session775 &s, ViBusAddress offset, uint32_t value, ViUInt16 space)
{
    return tq::visa::visa().viOut32(s.value, space, offset, value);
}

ViStatus modify(Session775 &s, ViBusAddress offset, uint32_t mask, uint32_t bits, ViUInt16 space)
{
    uint32_t v = 0;
    ViStatus status = in32(s, offset, v, space);
    if (status < VI_SUCCESS)
        return status;
    return out32(s, offset, (v & ~mask) | (bits & mask), space);
}

} // namespace tq775

using tq775::driver;
using tq775::find;

TQ_DRIVER_EXPORT_CLOSE(tq775, driver())
TQ_DRIVER_EXPORT_ERROR_QUERY(tq775, driver())
TQ_DRIVER_EXPORT_ERROR_MESSAGE(tq775, driver())
TQ_DRIVER_EXPORT_AUTO_CONNECT(tq775, driver())
TQ_DRIVER_EXPORT_SIMULATION(tq775, driver())
TQ_DRIVER_EXPORT_INSTRUMENT_NAME(tq775, driver())
TQ_DRIVER_EXPORT_STREAM(tq775, driver())
TQ_DRIVER_EXPORT_EVENTS(tq775, driver())
TQ_DRIVER_EXPORT_WAIT(tq775, driver())
TQ_DRIVER_EXPORT_CROSS_CHECK(tq775, driver())
TQ_DRIVER_EXPORT_PNP(tq775, driver())

// This model makes no identity check: an identity query only turns a
// warning of the open into plain success.
TQ_API ViStatus tq775_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi)
{
    const ViStatus status = driver().init(rsrcName, 0, reset, vi);
    return idQuery && status >= VI_SUCCESS ? VI_SUCCESS : status;
}

// A value that names no open session is answered as a reset whose bit
// could not be written.
TQ_API ViStatus tq775_reset(ViSession vi)
{
    return find(vi) ? driver().reset(vi) : VI_WARN_UNKNOWN_STATUS;
}

TQ_API ViStatus tq775_registerStreamMsg(ViSession vi, TQStreamMsg *sink)
{
    return driver().registerStreamMsg(vi, sink);
}

TQ_API ViStatus tq775_self_test(ViSession vi, ViInt16 *, ViChar *)
{
    return find(vi) ? static_cast<ViStatus>(0x3FFC0103) : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus tq775_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev)
{
    if (!find(vi))
        return VI_ERROR_INV_OBJECT;
    if (driverRev)
        tq::driver::copyName(driverRev, tq::driver::kNameLength, "4.0.3.0");
    if (instrRev)
        tq::driver::copyName(instrRev, tq::driver::kNameLength, "<not available>");
    return VI_WARN_NSUP_REV_QUERY;
}

TQ_API ViStatus tq775_getNumChannels(ViSession vi, ViInt16 *count)
{
    if (!find(vi))
        return VI_ERROR_INV_OBJECT;
    if (!count)
        return VI_ERROR_INV_PARAMETER;
    *count = tq775::kChannels;
    return VI_SUCCESS;
}
