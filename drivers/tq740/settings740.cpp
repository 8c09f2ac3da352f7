// The model 740's stored settings (kept in the session, written to the
// module's registers unless the session simulates) and its strobe, request
// level and detection controls (always written).
#include "session740.h"
#include "tq/driver/driver.h"
#include "tq/driver/settings.h"
#include "tq740.h"

using tq::driver::BitChannel;
using tq::driver::Coding;
using tq::driver::Setting;
using tq::driver::SettingTarget;
using tq740::EventChannel;
using tq740::Group;
using tq740::Session740;
namespace reg = tq740::reg;

namespace
{

// Where each stored setting lives in the module's 16-bit registers (register,
// width, bits per field, bit of the first field) and the values it takes.
// Groups 1 to 4, channels 1 to 32 (1-16 in the first register of the pair,
// 17-32 in the second), events 1 and 2.
const Setting kDebounce{{reg::kDebounce, 2, 3, 0}, Coding::Range, 1, 5};
const Setting kDirection{{reg::kConfig, 2, 1, 8}, Coding::Range, 0, 1};
const Setting kPowerup{{reg::kConfig, 2, 1, 12}, Coding::Range, 0, 1};
const Setting kTermination{{reg::kConfig, 2, 2, 0}, Coding::Range, 0, 2};
const Setting kCosEnable{{reg::kCosMask, 2, 1, 0}, Coding::One};
const Setting kPatternEnable{{reg::kPatternMask, 2, 1, 0}, Coding::One};
const Setting kPatternBit{{reg::kPattern, 2, 1, 0}, Coding::One};
const Setting kEventEnable{{reg::kStatus, 2, 1, 2}, Coding::Any};
const Setting kInterruptEnable{{reg::kStatus, 2, 1, 1}, Coding::Any};
// Kept in the session only: the enables (0 or 1) and values taken as given.
const Setting kEnable{{}, Coding::Range, 0, 1};
const Setting kKept{};

tq::driver::RegisterWindow window(const Session740 *s)
{
    if (!s)
        return {};
    return {s->value, s->ioSpace, s->ioBase};
}

// The setting kept in member of record index of one of the session's arrays
// (groups, channels, events).
template <typename Record, size_t N>
SettingTarget setting(ViSession vi, ViInt16 index, Record (Session740::*records)[N], int16_t Record::*member)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::recordSetting(s, window(s), index, records, member);
}

// The name of record index of one of the session's arrays, or null.
template <typename Record, size_t N> char *nameOf(Session740 *s, ViInt16 index, Record (Session740::*records)[N])
{
    TQStreamChannel *head = tq::driver::recordMember(s, index, records, &Record::head);
    return head ? head->name : nullptr;
}

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

TQ_API ViStatus tq740_setInterruptEnable(ViSession vi, ViInt16 enable)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::setSetting(tq::driver::sessionSetting(s, window(s), &Session740::interruptEnable),
                                  kInterruptEnable, enable);
}
TQ_API ViStatus tq740_getInterruptEnable(ViSession vi, ViInt16 *enable)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::getSetting(tq::driver::sessionSetting(s, window(s), &Session740::interruptEnable),
                                  kInterruptEnable, enable);
}

TQ_API ViStatus tq740_setChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, g, &Session740::groups, &Group::debounce), kDebounce, value);
}
TQ_API ViStatus tq740_getChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, g, &Session740::groups, &Group::debounce), kDebounce, value);
}

// A change of direction moves the group's enabled channels between the
// carrier stream's input and output counts.
TQ_API ViStatus tq740_setChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 value)
{
    const SettingTarget t = setting(vi, g, &Session740::groups, &Group::direction);
    bool changed = false;
    const ViStatus status = tq::driver::changeSetting(t, kDirection, value, changed);
    if (!changed)
        return status;
    Session740 &s = *static_cast<Session740 *>(t.session);
    for (int c = 8 * (g - 1) + 1; c <= 8 * g; ++c)
        s.channel(c).head.ownerWord2 = value;
    tq740::recountCarrier(s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, g, &Session740::groups, &Group::direction), kDirection, value);
}
TQ_API ViStatus tq740_setChannelGroupPowerupOutput(ViSession vi, ViInt16 g, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, g, &Session740::groups, &Group::powerupOutput), kPowerup, value);
}
TQ_API ViStatus tq740_getChannelGroupPowerupOutput(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, g, &Session740::groups, &Group::powerupOutput), kPowerup, value);
}
TQ_API ViStatus tq740_setChannelGroupInputTermination(ViSession vi, ViInt16 g, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, g, &Session740::groups, &Group::termination), kTermination, value);
}
TQ_API ViStatus tq740_getChannelGroupInputTermination(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, g, &Session740::groups, &Group::termination), kTermination, value);
}

// An enabled channel counts in the carrier stream's input or output channels.
TQ_API ViStatus tq740_setDigitalChannelEnable(ViSession vi, ViInt16 c, ViInt16 enable)
{
    const SettingTarget t = setting(vi, c, &Session740::channels, &BitChannel::enable);
    bool changed = false;
    const ViStatus status = tq::driver::changeSetting(t, kEnable, enable, changed);
    if (!changed)
        return status;
    static_cast<Session740 *>(t.session)->channel(c).head.enableWord = enable;
    tq740::recountCarrier(*static_cast<Session740 *>(t.session));
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getDigitalChannelEnable(ViSession vi, ViInt16 c, ViInt32 *enable)
{
    return tq::driver::getSetting(setting(vi, c, &Session740::channels, &BitChannel::enable), kEnable, enable);
}
TQ_API ViStatus tq740_setDigitalChannelName(ViSession vi, ViInt16 c, ViConstString name)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::setName(s, nameOf(s, c, &Session740::channels), TQ_CHANNEL_NAME_SIZE, name);
}
TQ_API ViStatus tq740_getDigitalChannelName(ViSession vi, ViInt16 c, ViChar *name)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::getName(s, nameOf(s, c, &Session740::channels), TQ_CHANNEL_NAME_SIZE, name);
}
TQ_API ViStatus tq740_getDigitalChannelDirection(ViSession vi, ViInt16 c, ViInt16 *direction)
{
    if (c < 1 || c > tq740::kChannels)
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return tq740_getChannelGroupDirection(vi, static_cast<ViInt16>((c - 1) / 8 + 1), direction);
}
TQ_API ViStatus tq740_setDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 c, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, c, &Session740::channels, &BitChannel::changeOfStateEnable),
                                  kCosEnable, value);
}
TQ_API ViStatus tq740_getDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, c, &Session740::channels, &BitChannel::changeOfStateEnable),
                                  kCosEnable, value);
}
TQ_API ViStatus tq740_setDigitalChannelPatternEnable(ViSession vi, ViInt16 c, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, c, &Session740::channels, &BitChannel::patternEnable),
                                  kPatternEnable, value);
}
TQ_API ViStatus tq740_getDigitalChannelPatternEnable(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, c, &Session740::channels, &BitChannel::patternEnable),
                                  kPatternEnable, value);
}
TQ_API ViStatus tq740_setDigitalChannelPatternBit(ViSession vi, ViInt16 c, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, c, &Session740::channels, &BitChannel::patternBit), kPatternBit,
                                  value);
}
TQ_API ViStatus tq740_getDigitalChannelPatternBit(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, c, &Session740::channels, &BitChannel::patternBit), kPatternBit,
                                  value);
}

TQ_API ViStatus tq740_setEventEnable(ViSession vi, ViInt16 e, ViInt16 value)
{
    return tq::driver::setSetting(setting(vi, e, &Session740::events, &EventChannel::eventEnable), kEventEnable,
                                  value);
}
TQ_API ViStatus tq740_getEventEnable(ViSession vi, ViInt16 e, ViInt16 *value)
{
    return tq::driver::getSetting(setting(vi, e, &Session740::events, &EventChannel::eventEnable), kEventEnable,
                                  value);
}
// An enabled event channel counts in the carrier stream's input channels.
TQ_API ViStatus tq740_setEventChannelEnable(ViSession vi, ViInt16 e, ViInt16 value)
{
    const SettingTarget t = setting(vi, e, &Session740::events, &EventChannel::enable);
    bool changed = false;
    const ViStatus status = tq::driver::changeSetting(t, kEnable, value, changed);
    if (!changed)
        return status;
    static_cast<Session740 *>(t.session)->eventChannel(e).head.enableWord = value;
    tq740::recountCarrier(*static_cast<Session740 *>(t.session));
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getEventChannelEnable(ViSession vi, ViInt16 e, ViInt32 *value)
{
    return tq::driver::getSetting(setting(vi, e, &Session740::events, &EventChannel::enable), kEnable, value);
}
TQ_API ViStatus tq740_setEventChannelName(ViSession vi, ViInt16 e, ViConstString name)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::setName(s, nameOf(s, e, &Session740::events), TQ_CHANNEL_NAME_SIZE, name);
}
TQ_API ViStatus tq740_getEventChannelName(ViSession vi, ViInt16 e, ViChar *name)
{
    Session740 *s = tq740::find(vi);
    return tq::driver::getName(s, nameOf(s, e, &Session740::events), TQ_CHANNEL_NAME_SIZE, name);
}
TQ_API ViStatus tq740_setEventChannelDuration(ViSession vi, ViInt16 e, ViInt16 scans)
{
    return tq::driver::setSetting(setting(vi, e, &Session740::events, &EventChannel::duration), kKept, scans);
}
TQ_API ViStatus tq740_getEventChannelDuration(ViSession vi, ViInt16 e, ViInt16 *scans)
{
    return tq::driver::getSetting(setting(vi, e, &Session740::events, &EventChannel::duration), kKept, scans);
}
TQ_API ViStatus tq740_setEventChannelPolarity(ViSession vi, ViInt16 e, ViInt16 polarity)
{
    return tq::driver::setSetting(setting(vi, e, &Session740::events, &EventChannel::polarity), kKept, polarity);
}
TQ_API ViStatus tq740_getEventChannelPolarity(ViSession vi, ViInt16 e, ViInt16 *polarity)
{
    return tq::driver::getSetting(setting(vi, e, &Session740::events, &EventChannel::polarity), kKept, polarity);
}

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
TQ_API ViStatus tq740_setExternalInputStrobeEnable(ViSession vi, ViInt16 enable)
{
    return setControl(vi, reg::kControl, 3, enable != 0);
}
TQ_API ViStatus tq740_getExternalInputStrobeEnable(ViSession vi, ViInt16 *enable)
{
    return getControl(vi, reg::kControl, 3, enable);
}
TQ_API ViStatus tq740_setExternalOutputStrobeEnable(ViSession vi, ViInt16 enable)
{
    return setControl(vi, reg::kControl, 5, enable != 0);
}
TQ_API ViStatus tq740_getExternalOutputStrobeEnable(ViSession vi, ViInt16 *enable)
{
    return getControl(vi, reg::kControl, 5, enable);
}
TQ_API ViStatus tq740_setIpInputStrobeEnable(ViSession vi, ViInt16 enable)
{
    return setControl(vi, reg::kControl, 4, enable != 0);
}
TQ_API ViStatus tq740_getIpInputStrobeEnable(ViSession vi, ViInt16 *enable)
{
    return getControl(vi, reg::kControl, 4, enable);
}
TQ_API ViStatus tq740_setIpInputLatchStrobeEnable(ViSession vi, ViInt16 enable)
{
    return setControl(vi, reg::kControl, 8, enable != 0);
}
TQ_API ViStatus tq740_getIpInputLatchStrobeEnable(ViSession vi, ViInt16 *enable)
{
    return getControl(vi, reg::kControl, 8, enable);
}
TQ_API ViStatus tq740_setIpOutputStrobeEnable(ViSession vi, ViInt16 enable)
{
    return setControl(vi, reg::kControl, 6, enable != 0);
}
TQ_API ViStatus tq740_getIpOutputStrobeEnable(ViSession vi, ViInt16 *enable)
{
    return getControl(vi, reg::kControl, 6, enable);
}
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
