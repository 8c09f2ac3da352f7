// The model 718 driver: its model information, the hooks the framework
// calls, the template exports and the board's small exports.
#include <cstring>
#include <iterator>
#include <new>

#include "driver718.h"
#include "events718.h"
#include "tables718.h"
#include "tq/driver/channels.h"
#include "tq/platform/thread.h"
#include "tq718.h"

namespace tq718
{

namespace
{

using tq::driver::Session;

Session718 &model(Session &s)
{
    return static_cast<Session718 &>(s);
}

const tq::driver::StatusText kTexts[] = {
    {TQ718_WARN_ALREADY_RUNNING, "Device already Running."},
    {TQ718_ERROR_NO_CHANNELS, "Operation failed because no channels are enabled."},
    {TQ718_ERROR_RUNNING, "Operation failed because device is running."},
};

// Time the board takes to come back from a reset.
constexpr uint32_t kResetSettleMs = 500;

class Model718 : public tq::driver::Model
{
  public:
    Session *createSession(ViSession vi) override
    {
        auto *s = new (std::nothrow) Session718();
        if (!s)
            return nullptr;
        if (vi != VI_NULL && readOptions(vi, *s) < VI_SUCCESS) {
            delete s;
            return nullptr;
        }
        s->lastCompletionWrite = tq::platform::tickMs();
        return s;
    }

    void streamBound(Session &s) override
    {
        Session718 &m = model(s);
        resetChannelRecords(m, true);
        m.defaultsDone = true;
        updateLayout(m);
    }

    void setDefaultSettings(Session &s) override { setDefaults(model(s)); }
    ViStatus applySettings(Session &s) override { return applyAll(model(s)); }

    ViStatus reset(Session &s) override
    {
        Session718 &m = model(s);
        if (m.simulated()) {
            setDefaults(m);
            return VI_SUCCESS;
        }
        // A running acquisition stops and its ring goes; interrupts the
        // board raised before the reset are dropped.
        {
            tq::platform::MutexGuard guard(m.runLock);
            stopAcquisition(m, false);
            freeRing(m);
        }
        tq::visa::visa().viDiscardEvents(m.value, VI_EVENT_PXI_INTR, VI_ALL_MECH);
        ViUInt32 control = 0;
        ViStatus status = in32(m, reg::kReset, control);
        if (status >= VI_SUCCESS)
            status = out32(m, reg::kReset, control | reg::kResetBusy);
        tq::platform::sleepMs(kResetSettleMs);
        // The board clears its reset bit once it is ready again.
        ViUInt32 ready = 0;
        const ViStatus readyRead = in32(m, reg::kReset, ready);
        setDefaults(m);
        applyAll(m);
        if (readyRead < VI_SUCCESS)
            return readyRead;
        if (ready & reg::kResetBusy)
            return VI_WARN_UNKNOWN_STATUS;
        return status;
    }

    // Close: the acquisition stops and the interrupt handler is gone before
    // the framework destroys the stream.
    void freeDataPath(Session &s) override
    {
        tq718::freeDataPath(model(s));
        discardCalibration(model(s));
    }
    int64_t scansWritten(Session &s) override { return tq718::scansWritten(model(s)); }
    TQReader *newReader(Session &s, int64_t position, int32_t whence) override
    {
        return tq718::newReader(model(s), position, whence);
    }

    TQStreamChannel *channelAt(Session &s, size_t position) override
    {
        Session718 &m = model(s);
        const auto analog = static_cast<size_t>(m.analogCount);
        if (position < analog)
            return &m.analog[position].head;
        if (position < analog + kEventChannels)
            return &m.events[position - analog].head;
        return nullptr;
    }

    void describeCapture(Session &s, tq::driver::CaptureHeader &header) override
    {
        Session718 &m = model(s);
        for (int c = 1; c <= m.analogCount; ++c)
            if (m.channel(c).enable)
                header.addAnalog(m.channel(c));
        for (int n = 1; n <= kEventChannels; ++n)
            if (m.eventChannel(n).enable)
                header.addEvent(m.eventChannel(n));
    }

    ViStatus getEventStatus(Session &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message) override
    {
        return eventStatus(model(s), event, status, clear, message);
    }

    ViStatus crossCheck(Session &s, ViChar *message) override { return tq718::crossCheck(model(s), message); }

  private:
    // The board option word and, with a filter card, the filter option word.
    static ViStatus readOptions(ViSession vi, Session718 &s)
    {
        const tq::visa::FunctionTable &v = tq::visa::visa();
        ViUInt16 low = 0, high = 0, filterLow = 0, filterHigh = 0;
        ViStatus status = v.viIn16(vi, reg::kBar2, reg::kOptionLow, &low);
        if (status >= VI_SUCCESS)
            status = v.viIn16(vi, reg::kBar2, reg::kOptionHigh, &high);
        if (status < VI_SUCCESS)
            return status;
        const ViUInt32 word = low | static_cast<ViUInt32>(high) << 16;
        bool haveFilterWord = false;
        if (!(word & 0x2))
            haveFilterWord = v.viIn16(vi, reg::kBar2, reg::kFilterOptionLow, &filterLow) >= VI_SUCCESS &&
                             v.viIn16(vi, reg::kBar2, reg::kFilterOptionHigh, &filterHigh) >= VI_SUCCESS;
        s.options = reg::decodeOptions(word, haveFilterWord, filterLow);
        return VI_SUCCESS;
    }
};

tq::driver::ModelInfo makeInfo()
{
    tq::driver::ModelInfo info;
    info.prefix = "tq718";
    info.modelCode = TQ718_MODEL_CODE;
    info.manufacturerId = TQ718_MANUFACTURER_ID;
    info.handleKind = tq::driver::kHandleKind718;
    info.statusTexts = kTexts;
    info.statusTextCount = std::size(kTexts);
    info.errorMessageUsesFirstSession = true;
    fillTables(info);
    return info;
}

} // namespace

tq::driver::Driver &driver()
{
    static Model718 m;
    static tq::driver::Driver d(makeInfo(), m);
    return d;
}

Session718 *find(ViSession vi)
{
    return static_cast<Session718 *>(driver().find(vi));
}

} // namespace tq718

TQ_DRIVER_EXPORT_FRAMEWORK(tq718, tq718::driver())

// ---- The board and its channels ---------------------------------------------------

using namespace tq718;

TQ_API ViStatus tq718_getRsrcName(ViSession vi, ViChar *name)
{
    return tq::visa::visa().viGetAttribute(vi, VI_ATTR_RSRC_NAME, name);
}

TQ_API ViStatus tq718_getNumberChannels(ViSession vi, ViInt16 *count)
{
    return withSession(vi, [&](Session718 &s) {
        if (count)
            *count = s.analogCount;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getNumberConnectors(ViSession vi, ViInt16 *count)
{
    return withSession(vi, [&](Session718 &s) {
        if (count)
            *count = s.connectorCount;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getChannelLocation(ViSession vi, ViInt16 channel, ViInt16 *connector, ViInt16 *first,
                                         ViInt16 *second)
{
    return withSession(vi, [&](Session718 &s) {
        if (!validAnalog(s, channel))
            return VI_ERROR_INV_PARAMETER;
        if (connector)
            *connector = channel;
        if (first)
            *first = 5;
        if (second)
            *second = 10;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getChannelEngineeringUnits(ViSession vi, ViInt16 kind, ViInt16 number, ViChar *units)
{
    return withSession(vi, [&](Session718 &s) {
        const TQStreamChannel *head = nullptr;
        if (kind == TQ718_KIND_ANALOG && validAnalog(s, number))
            head = &s.channel(number).head;
        else if (kind == TQ718_KIND_EVENT && validEventChannel(number))
            head = &s.eventChannel(number).head;
        if (!head || !units)
            return VI_ERROR_INV_PARAMETER;
        tq::driver::copyName(units, TQ_CHANNEL_EU_SIZE, head->eu);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq718_getChannelNumber(ViSession vi, ViConstString name, ViInt16 *kind, ViInt16 *number)
{
    return withSession(vi, [&](Session718 &s) {
        if (!name)
            return VI_ERROR_INV_PARAMETER;
        auto found = [&](ViInt16 k, ViInt16 n) {
            if (kind)
                *kind = k;
            if (number)
                *number = n;
            return VI_SUCCESS;
        };
        for (int c = 1; c <= s.analogCount; ++c)
            if (strcmp(s.channel(c).head.name, name) == 0)
                return found(TQ718_KIND_ANALOG, static_cast<ViInt16>(c));
        for (int n = 1; n <= kEventChannels; ++n)
            if (strcmp(s.eventChannel(n).head.name, name) == 0)
                return found(TQ718_KIND_EVENT, static_cast<ViInt16>(n));
        return VI_ERROR_INV_PARAMETER;
    });
}

namespace
{

// The option-word values: each read leaves a trace line.
template <typename T> ViStatus optionValue(ViSession vi, const char *function, T *out, T (*value)(const Session718 &))
{
    return withSession(vi, [&](Session718 &s) {
        const T v = value(s);
        const ViStatus status = out ? VI_SUCCESS : VI_ERROR_INV_PARAMETER;
        if (out)
            *out = v;
        tq::driver::traceCall(s, function, status, "%#lx(%#x)", reinterpret_cast<unsigned long>(out),
                              static_cast<unsigned>(static_cast<uint16_t>(v)));
        return status;
    });
}

ViStatus readOnly(ViSession vi)
{
    return withSession(vi, [](Session718 &) { return VI_ERROR_NSUP_OPER; });
}

} // namespace

TQ_API ViStatus tq718_getAnalogChannelCount(ViSession vi, ViInt16 *count)
{
    return optionValue<ViInt16>(vi, "getAnalogChannelCount", count, [](const Session718 &s) { return s.analogCount; });
}

TQ_API ViStatus tq718_getFilterReady(ViSession vi, ViBoolean *ready)
{
    return optionValue<ViBoolean>(vi, "getFilterReady", ready,
                                  [](const Session718 &s) -> ViBoolean { return s.options.filterReady; });
}

TQ_API ViStatus tq718_getFilterOption(ViSession vi, ViInt16 *option)
{
    return optionValue<ViInt16>(vi, "getFilterOption", option, [](const Session718 &s) -> ViInt16 {
        return static_cast<ViInt16>(s.options.filterOption);
    });
}

TQ_API ViStatus tq718_getFilterType(ViSession vi, ViInt16 *type)
{
    return optionValue<ViInt16>(vi, "getFilterType", type, [](const Session718 &s) -> ViInt16 {
        return static_cast<ViInt16>(s.options.filterType);
    });
}

TQ_API ViStatus tq718_setAnalogChannelCount(ViSession vi, ViInt16)
{
    return readOnly(vi);
}
TQ_API ViStatus tq718_setFilterReady(ViSession vi, ViBoolean)
{
    return readOnly(vi);
}
TQ_API ViStatus tq718_setFilterOption(ViSession vi, ViInt16)
{
    return readOnly(vi);
}
TQ_API ViStatus tq718_setFilterType(ViSession vi, ViInt16)
{
    return readOnly(vi);
}
