// The model 740's stored settings (kept in the session, written to the
// module's registers unless the session simulates) and its strobe, request
// level and detection controls (always written).
#include <cstring>

#include "session740.h"
#include "tq/driver/driver.h"
#include "tq740.h"

using tq740::Group;
using tq740::Session740;
namespace reg = tq740::reg;

namespace
{

bool validGroup(ViInt16 g)
{
    return g >= 1 && g <= tq740::kGroups;
}
bool validChannel(ViInt16 c)
{
    return c >= 1 && c <= tq740::kChannels;
}
bool validEvent(ViInt16 e)
{
    return e == 1 || e == 2;
}

struct Field {
    ViBusAddress offset;
    uint16_t mask;
    unsigned shift;
};

template <typename Check, typename Encode>
ViStatus setGroup(ViSession vi, ViInt16 g, ViInt16 value, int16_t Group::*member, Field (*where)(int), Check check,
                  Encode encode)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validGroup(g) || !check(value))
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        const Field f = where(g);
        ViStatus status = tq740::setBits(*s, f.offset, f.mask, f.shift, encode(value));
        if (status < VI_SUCCESS)
            return status;
    }
    s->group(g).*member = value;
    return VI_SUCCESS;
}

template <typename Decode>
ViStatus getGroup(ViSession vi, ViInt16 g, ViInt16 *value, int16_t Group::*member, Field (*where)(int),
                  Decode decode)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validGroup(g) || !value)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        const Field f = where(g);
        uint16_t raw = 0;
        ViStatus status = tq740::getBits(*s, f.offset, f.mask, f.shift, raw);
        if (status < VI_SUCCESS)
            return status;
        int16_t v = 0;
        if (!decode(raw, v))
            return VI_ERROR_INV_PARAMETER;
        s->group(g).*member = v;
    }
    *value = s->group(g).*member;
    return VI_SUCCESS;
}

Field debounceField(int g)
{
    return {reg::kDebounce, 7, 3u * (g - 1)};
}
Field directionField(int g)
{
    return {reg::kConfig, 1, static_cast<unsigned>(7 + g)};
}
Field powerupField(int g)
{
    return {reg::kConfig, 1, static_cast<unsigned>(11 + g)};
}
Field terminationField(int g)
{
    return {reg::kConfig, 3, 2u * (g - 1)};
}

auto range(int lo, int hi)
{
    return [lo, hi](ViInt16 v) { return v >= lo && v <= hi; };
}
auto plain()
{
    return [](ViInt16 v) { return static_cast<uint16_t>(v); };
}
auto plainDecode(uint16_t hi)
{
    return [hi](uint16_t raw, int16_t &v) {
        if (raw > hi)
            return false;
        v = static_cast<int16_t>(raw);
        return true;
    };
}

// A channel's bit in a pair of 16-bit registers (channels 1-16, 17-32).
ViStatus setChannelBit(ViSession vi, ViInt16 c, ViInt16 value, ViBusAddress base,
                       int16_t tq::driver::BitChannel::*member)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c))
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        ViStatus status = tq740::setBits(*s, c <= 16 ? base : base + 2, 1, static_cast<unsigned>((c - 1) % 16),
                                         value == 1 ? 1 : 0);
        if (status < VI_SUCCESS)
            return status;
    }
    s->channel(c).*member = value;
    return VI_SUCCESS;
}

ViStatus getChannelBit(ViSession vi, ViInt16 c, ViInt16 *value, ViBusAddress base,
                       int16_t tq::driver::BitChannel::*member)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !value)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        uint16_t bit = 0;
        ViStatus status = tq740::getBits(*s, c <= 16 ? base : base + 2, 1, static_cast<unsigned>((c - 1) % 16), bit);
        if (status < VI_SUCCESS)
            return status;
        s->channel(c).*member = static_cast<int16_t>(bit);
    }
    *value = s->channel(c).*member;
    return VI_SUCCESS;
}

bool nameFits(ViConstString name)
{
    return name && strnlen(name, TQ_CHANNEL_NAME_SIZE) < TQ_CHANNEL_NAME_SIZE;
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
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!s->simulated()) {
        ViStatus status = tq740::setBits(*s, reg::kStatus, 1, 1, enable ? 1 : 0);
        if (status < VI_SUCCESS)
            return status;
    }
    s->interruptEnable = enable;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getInterruptEnable(ViSession vi, ViInt16 *enable)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!enable)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        uint16_t v = 0;
        ViStatus status = tq740::getBits(*s, reg::kStatus, 1, 1, v);
        if (status < VI_SUCCESS)
            return status;
        s->interruptEnable = static_cast<int16_t>(v);
    }
    *enable = s->interruptEnable;
    return VI_SUCCESS;
}

TQ_API ViStatus tq740_setChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::debounce, debounceField, range(1, 5),
                    [](ViInt16 v) { return static_cast<uint16_t>(v - 1); });
}
TQ_API ViStatus tq740_getChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::debounce, debounceField, [](uint16_t raw, int16_t &v) {
        if (raw > 4)
            return false;
        v = static_cast<int16_t>(raw + 1);
        return true;
    });
}

TQ_API ViStatus tq740_setChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 value)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validGroup(g) || value < 0 || value > 1)
        return VI_ERROR_INV_PARAMETER;
    if (s->group(g).direction == value)
        return VI_SUCCESS;
    if (!s->simulated()) {
        ViStatus status = tq740::setBits(*s, reg::kConfig, 1, static_cast<unsigned>(7 + g), static_cast<uint16_t>(value));
        if (status < VI_SUCCESS)
            return status;
    }
    s->group(g).direction = value;
    for (int c = 8 * (g - 1) + 1; c <= 8 * g; ++c)
        s->channel(c).head.ownerWord2 = value;
    tq740::recountCarrier(*s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::direction, directionField, plainDecode(1));
}
TQ_API ViStatus tq740_setChannelGroupPowerupOutput(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::powerupOutput, powerupField, range(0, 1), plain());
}
TQ_API ViStatus tq740_getChannelGroupPowerupOutput(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::powerupOutput, powerupField, plainDecode(1));
}
TQ_API ViStatus tq740_setChannelGroupInputTermination(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::termination, terminationField, range(0, 2), plain());
}
TQ_API ViStatus tq740_getChannelGroupInputTermination(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::termination, terminationField, plainDecode(2));
}

TQ_API ViStatus tq740_setDigitalChannelEnable(ViSession vi, ViInt16 c, ViInt16 enable)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || enable < 0 || enable > 1)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::BitChannel &ch = s->channel(c);
    if (ch.enable == enable)
        return VI_SUCCESS;
    ch.enable = enable;
    ch.head.enableWord = enable;
    tq740::recountCarrier(*s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getDigitalChannelEnable(ViSession vi, ViInt16 c, ViInt32 *enable)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !enable)
        return VI_ERROR_INV_PARAMETER;
    *enable = s->channel(c).enable;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_setDigitalChannelName(ViSession vi, ViInt16 c, ViConstString name)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !nameFits(name))
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(s->channel(c).head.name, TQ_CHANNEL_NAME_SIZE, name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getDigitalChannelName(ViSession vi, ViInt16 c, ViChar *name)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !name)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(name, TQ_CHANNEL_NAME_SIZE, s->channel(c).head.name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getDigitalChannelDirection(ViSession vi, ViInt16 c, ViInt16 *direction)
{
    if (!validChannel(c))
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return tq740_getChannelGroupDirection(vi, static_cast<ViInt16>((c - 1) / 8 + 1), direction);
}
TQ_API ViStatus tq740_setDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 c, ViInt16 value)
{
    return setChannelBit(vi, c, value, reg::kCosMask, &tq::driver::BitChannel::changeOfStateEnable);
}
TQ_API ViStatus tq740_getDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return getChannelBit(vi, c, value, reg::kCosMask, &tq::driver::BitChannel::changeOfStateEnable);
}
TQ_API ViStatus tq740_setDigitalChannelPatternEnable(ViSession vi, ViInt16 c, ViInt16 value)
{
    return setChannelBit(vi, c, value, reg::kPatternMask, &tq::driver::BitChannel::patternEnable);
}
TQ_API ViStatus tq740_getDigitalChannelPatternEnable(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return getChannelBit(vi, c, value, reg::kPatternMask, &tq::driver::BitChannel::patternEnable);
}
TQ_API ViStatus tq740_setDigitalChannelPatternBit(ViSession vi, ViInt16 c, ViInt16 value)
{
    return setChannelBit(vi, c, value, reg::kPattern, &tq::driver::BitChannel::patternBit);
}
TQ_API ViStatus tq740_getDigitalChannelPatternBit(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return getChannelBit(vi, c, value, reg::kPattern, &tq::driver::BitChannel::patternBit);
}

TQ_API ViStatus tq740_setEventEnable(ViSession vi, ViInt16 e, ViInt16 value)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e))
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        ViStatus status = tq740::setBits(*s, reg::kStatus, 1, static_cast<unsigned>(1 + e), value ? 1 : 0);
        if (status < VI_SUCCESS)
            return status;
    }
    s->eventChannel(e).eventEnable = value;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getEventEnable(ViSession vi, ViInt16 e, ViInt16 *value)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !value)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        uint16_t bit = 0;
        ViStatus status = tq740::getBits(*s, reg::kStatus, 1, static_cast<unsigned>(1 + e), bit);
        if (status < VI_SUCCESS)
            return status;
        s->eventChannel(e).eventEnable = static_cast<int16_t>(bit);
    }
    *value = s->eventChannel(e).eventEnable;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_setEventChannelEnable(ViSession vi, ViInt16 e, ViInt16 value)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || value < 0 || value > 1)
        return VI_ERROR_INV_PARAMETER;
    tq740::EventChannel &ev = s->eventChannel(e);
    if (ev.enable == value)
        return VI_SUCCESS;
    ev.enable = value;
    ev.head.enableWord = value;
    tq740::recountCarrier(*s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getEventChannelEnable(ViSession vi, ViInt16 e, ViInt32 *value)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !value)
        return VI_ERROR_INV_PARAMETER;
    *value = s->eventChannel(e).enable;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_setEventChannelName(ViSession vi, ViInt16 e, ViConstString name)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !nameFits(name))
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(s->eventChannel(e).head.name, TQ_CHANNEL_NAME_SIZE, name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getEventChannelName(ViSession vi, ViInt16 e, ViChar *name)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !name)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(name, TQ_CHANNEL_NAME_SIZE, s->eventChannel(e).head.name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_setEventChannelDuration(ViSession vi, ViInt16 e, ViInt16 scans)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e))
        return VI_ERROR_INV_PARAMETER;
    s->eventChannel(e).duration = scans;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getEventChannelDuration(ViSession vi, ViInt16 e, ViInt16 *scans)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !scans)
        return VI_ERROR_INV_PARAMETER;
    *scans = s->eventChannel(e).duration;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_setEventChannelPolarity(ViSession vi, ViInt16 e, ViInt16 polarity)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e))
        return VI_ERROR_INV_PARAMETER;
    s->eventChannel(e).polarity = polarity;
    return VI_SUCCESS;
}
TQ_API ViStatus tq740_getEventChannelPolarity(ViSession vi, ViInt16 e, ViInt16 *polarity)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !polarity)
        return VI_ERROR_INV_PARAMETER;
    *polarity = s->eventChannel(e).polarity;
    return VI_SUCCESS;
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
