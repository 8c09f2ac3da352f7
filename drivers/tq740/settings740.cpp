// The model 740's stored settings (kept in the session, written to the
// module's registers unless the session simulates) and its strobe, request
// level and detection controls (always written).
#include "session740.h"
#include "tq/driver/driver.h"
#include "tq/driver/settings.h"
#include "tq740.h"

using tq::driver::BitChannel;
using tq740::EventChannel;
using tq740::Group;
using tq740::Session740;
namespace reg = tq740::reg;

namespace
{

// The module's registers: 16-bit, in its site's I/O window.
tq::driver::RegisterWindow window(const Session740 &s)
{
    return {s.value, s.ioSpace, s.ioBase};
}

// Where the settings live in the module's 16-bit registers: register, width,
// bits per field, bit of the first field. Groups 1 to 4, channels 1 to 32
// (1-16 in the first register of the pair, 17-32 in the second), events 1
// and 2, the session's interrupt enable.
const tq::driver::DigitalSettings kSettings = tq::driver::digitalSettings({
    .debounce = {reg::kDebounce, 2, 3, 0},
    .direction = {reg::kConfig, 2, 1, 8},
    .powerup = {reg::kConfig, 2, 1, 12},
    .termination = {reg::kConfig, 2, 2, 0},
    .changeOfStateEnable = {reg::kCosMask, 2, 1, 0},
    .patternEnable = {reg::kPatternMask, 2, 1, 0},
    .patternBit = {reg::kPattern, 2, 1, 0},
    .eventEnable = {reg::kStatus, 2, 1, 2},
});
const tq::driver::Setting kInterruptEnable{{reg::kStatus, 2, 1, 1}, tq::driver::Coding::Any};

using Targets = tq::driver::SettingTargets<tq740::find, window>;
constexpr auto group = &Targets::record<&Session740::groups, Group>;
constexpr auto channel = &Targets::record<&Session740::channels, BitChannel>;
constexpr auto event = &Targets::record<&Session740::events, EventChannel>;
constexpr auto session = &Targets::session<Session740>;

// The controls without a stored value: always written.
ViStatus setControl(ViSession vi, ViBusAddress offset, unsigned bit, bool on)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq740::setBits(*s, offset, 1, bit, on ? 1 : 0);
}

ViStatus getControl(ViSession vi, ViBusAddress offset, unsigned bit, ViInt16 *value)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!value)
        return VI_ERROR_INV_PARAMETER;
    uint16_t v = 0;
    ViStatus status = tq740::getBits(*s, offset, 1, bit, v);
    if (status >= VI_SUCCESS)
        *value = static_cast<ViInt16>(v);
    return status;
}

ViStatus detectionStatus(Session740 &s, bool pattern)
{
    bool &matched = pattern ? s.prMatched : s.cosMatched;
    if (matched)
        return VI_SUCCESS_QUEUE_EMPTY;
    uint16_t control = 0;
    ViStatus status = tq740::in16(s, reg::kControl, control);
    if (status < VI_SUCCESS)
        return status;
    if (control & (pattern ? 0x8000 : 0x4000)) {
        matched = true;
        return VI_SUCCESS;
    }
    uint16_t st = 0;
    status = tq740::in16(s, reg::kStatus, st);
    if (status < VI_SUCCESS)
        return status;
    return (st & (pattern ? 0x4000 : 0x2000)) ? VI_SUCCESS_EVENT_EN : VI_SUCCESS_EVENT_DIS;
}

ViStatus startDetection(ViSession vi, bool pattern)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (detectionStatus(*s, pattern) == VI_SUCCESS_EVENT_EN)
        return VI_ERROR_RSRC_BUSY;
    (pattern ? s->prMatched : s->cosMatched) = false;
    ViStatus status = tq740::setBits(*s, reg::kStatus, 1, pattern ? 3 : 2, 1);
    if (status < VI_SUCCESS)
        return status;
    return tq740::setBits(*s, reg::kControl, 1, pattern ? 1 : 0, 1);
}

ViStatus stopDetection(ViSession vi, bool pattern)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (detectionStatus(*s, pattern) != VI_SUCCESS_EVENT_EN)
        return VI_ERROR_ABORT;
    ViStatus status = tq740::setBits(*s, reg::kStatus, 1, pattern ? 12 : 11, 1);
    if (status < VI_SUCCESS)
        return status;
    return tq740::setBits(*s, reg::kStatus, 1, pattern ? 3 : 2, 0);
}

} // namespace

TQ_DRIVER_EXPORT_DIGITAL_SETTINGS(tq740, Session740, kSettings, group, channel, event, tq740::find,
                                  tq740::recountCarrier, TQ_CHANNEL_NAME_SIZE)
TQ_DRIVER_EXPORT_SESSION_SETTING(tq740, InterruptEnable, session, &Session740::interruptEnable, kInterruptEnable)

TQ_API ViStatus tq740_setInterruptRequestLevel(ViSession vi, ViInt16 level)
{
    if (level != 0 && level != 1)
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return setControl(vi, reg::kStatus, 0, level != 0);
}
TQ_API ViStatus tq740_getInterruptRequestLevel(ViSession vi, ViInt16 *level)
{
    return getControl(vi, reg::kStatus, 0, level);
}
// tq740_set<Name>(vi, enable) and tq740_get<Name>(vi, &enable) of a bit of the
// control register: set for any value but 0.
#define TQ740_EXPORT_CONTROL(Name, bit)                                                                                \
    TQ_API ViStatus tq740_set##Name(ViSession vi, ViInt16 enable)                                                      \
    {                                                                                                                  \
        return setControl(vi, reg::kControl, bit, enable != 0);                                                        \
    }                                                                                                                  \
    TQ_API ViStatus tq740_get##Name(ViSession vi, ViInt16 *enable)                                                     \
    {                                                                                                                  \
        return getControl(vi, reg::kControl, bit, enable);                                                             \
    }
TQ740_EXPORT_CONTROL(ExternalInputStrobeEnable, 3)
TQ740_EXPORT_CONTROL(ExternalOutputStrobeEnable, 5)
TQ740_EXPORT_CONTROL(IpInputStrobeEnable, 4)
TQ740_EXPORT_CONTROL(IpInputLatchStrobeEnable, 8)
TQ740_EXPORT_CONTROL(IpOutputStrobeEnable, 6)
TQ_API ViStatus tq740_setOutputStrobeWordSelect(ViSession vi, ViInt16 select)
{
    return setControl(vi, reg::kStatus, 4, select != 0);
}
TQ_API ViStatus tq740_setStrobePolarity(ViSession vi, ViInt16 which, ViInt16 polarity)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (polarity != 0 && polarity != 1)
        return VI_ERROR_INV_PARAMETER;
    if (which % 2 == 0)
        return VI_SUCCESS;
    return tq740::setBits(*s, reg::kControl, 1, 10, static_cast<uint16_t>(polarity));
}
TQ_API ViStatus tq740_getStrobePolarity(ViSession vi, ViInt16 *first, ViInt16 *second)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    uint16_t control = 0;
    ViStatus status = tq740::in16(*s, reg::kControl, control);
    if (status < VI_SUCCESS)
        return status;
    if (first)
        *first = (control >> 11) & 1;
    if (second)
        *second = (control >> 10) & 1;
    return VI_SUCCESS;
}

TQ_API ViStatus tq740_startPatternRecognition(ViSession vi)
{
    return startDetection(vi, true);
}
TQ_API ViStatus tq740_stopPatternRecognition(ViSession vi)
{
    return stopDetection(vi, true);
}
TQ_API ViStatus tq740_getPatternRecognitionStatus(ViSession vi)
{
    Session740 *s = tq740::find(vi);
    return s ? detectionStatus(*s, true) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq740_startChangeOfState(ViSession vi)
{
    return startDetection(vi, false);
}
TQ_API ViStatus tq740_stopChangeOfState(ViSession vi)
{
    return stopDetection(vi, false);
}
TQ_API ViStatus tq740_getChangeOfStateStatus(ViSession vi)
{
    Session740 *s = tq740::find(vi);
    return s ? detectionStatus(*s, false) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq740_enableEvent(ViSession vi)
{
    return setControl(vi, reg::kStatus, 1, true);
}
TQ_API ViStatus tq740_disableEvent(ViSession vi)
{
    return setControl(vi, reg::kStatus, 1, false);
}
TQ_API ViStatus tq740_enableEventStatus(ViSession vi, ViInt16 *enabled)
{
    return getControl(vi, reg::kStatus, 1, enabled);
}
