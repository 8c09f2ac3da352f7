// The model 747's stored settings: session, channel groups, channels and
// events, each kept in the session and written to the card's registers
// (only stored while the session simulates).
#include <cstring>

#include "session747.h"
#include "tq/driver/driver.h"
#include "tq/platform/guard.h"
#include "tq747.h"

using tq747::Group;
using tq747::Session747;
namespace reg = tq747::reg;

namespace
{

bool validGroup(ViInt16 g)
{
    return g >= 1 && g <= tq747::kGroups;
}
bool validChannel(ViInt16 c)
{
    return c >= 1 && c <= tq747::kChannels;
}
bool validEvent(ViInt16 e)
{
    return e == 1 || e == 2;
}

// Read-modify-write of a field of a 32- or 16-bit register.
ViStatus setField(Session747 &s, ViBusAddress offset, unsigned width, uint32_t mask, unsigned shift, uint32_t value)
{
    if (width == 2) {
        uint16_t v = 0;
        ViStatus status = tq747::in16(s, offset, v);
        if (status < VI_SUCCESS)
            return status;
        v = static_cast<uint16_t>((v & ~(mask << shift)) | ((value & mask) << shift));
        return tq747::out16(s, offset, v);
    }
    uint32_t v = 0;
    ViStatus status = tq747::in32(s, offset, v);
    if (status < VI_SUCCESS)
        return status;
    v = (v & ~(mask << shift)) | ((value & mask) << shift);
    return tq747::out32(s, offset, v);
}

ViStatus getField(Session747 &s, ViBusAddress offset, unsigned width, uint32_t mask, unsigned shift, uint32_t &value)
{
    if (width == 2) {
        uint16_t v = 0;
        ViStatus status = tq747::in16(s, offset, v);
        if (status >= VI_SUCCESS)
            value = (v >> shift) & mask;
        return status;
    }
    uint32_t v = 0;
    ViStatus status = tq747::in32(s, offset, v);
    if (status >= VI_SUCCESS)
        value = (v >> shift) & mask;
    return status;
}

// Where each group field lives.
struct GroupField {
    ViBusAddress offset;
    unsigned width;
    uint32_t mask;
    unsigned shift;
};
GroupField debounceField(int g)
{
    return {g <= 8 ? reg::kDebounce : reg::kDebounce + 4, 4, 0xF, 4u * ((g - 1) % 8)};
}
GroupField directionField(int g)
{
    return {reg::kDirection, 4, 1, static_cast<unsigned>(g - 1)};
}
GroupField powerupField(int g)
{
    return {reg::kPowerup, 2, 1, static_cast<unsigned>(g - 1)};
}
GroupField terminationField(int g)
{
    return {reg::kTermination, 4, 3, 2u * (g - 1)};
}
GroupField strobeField(int g, uint32_t mask, unsigned bit)
{
    return {reg::kGroupStrobe + 4 * static_cast<ViBusAddress>((g - 1) / 4), 4, mask, 8u * ((g - 1) % 4) + bit};
}

// The common shape of a stored group setting: checks, then store only
// while simulating, else write the field and store on success.
template <typename Check, typename Encode>
ViStatus setGroup(ViSession vi, ViInt16 g, ViInt16 value, int16_t Group::*member, GroupField (*where)(int),
                  Check check, Encode encode)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validGroup(g) || !check(value))
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        const GroupField f = where(g);
        ViStatus status = setField(*s, f.offset, f.width, f.mask, f.shift, encode(value));
        if (status < VI_SUCCESS)
            return status;
    }
    s->group(g).*member = value;
    return VI_SUCCESS;
}

template <typename Decode>
ViStatus getGroup(ViSession vi, ViInt16 g, ViInt16 *value, int16_t Group::*member, GroupField (*where)(int),
                  Decode decode)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validGroup(g) || !value)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        const GroupField f = where(g);
        uint32_t raw = 0;
        ViStatus status = getField(*s, f.offset, f.width, f.mask, f.shift, raw);
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

auto range(int lo, int hi)
{
    return [lo, hi](ViInt16 v) { return v >= lo && v <= hi; };
}
auto plain()
{
    return [](ViInt16 v) { return static_cast<uint32_t>(v); };
}
auto plainDecode(uint32_t hi)
{
    return [hi](uint32_t raw, int16_t &v) {
        if (raw > hi)
            return false;
        v = static_cast<int16_t>(raw);
        return true;
    };
}

GroupField strobeDelayField(int g)
{
    return strobeField(g, 1, 5);
}
GroupField strobeEnableField(int g)
{
    return strobeField(g, 1, 6);
}
GroupField strobePolarityField(int g)
{
    return strobeField(g, 1, 4);
}
GroupField strobeChannelField(int g)
{
    return strobeField(g, 0xF, 0);
}

// One bit of a 256-bit per-channel block at a channel's flat index.
ViStatus setBlockBit(Session747 &s, ViBusAddress block, int flat, bool on)
{
    return setField(s, block + 4 * static_cast<ViBusAddress>(flat / 32), 4, 1, static_cast<unsigned>(flat % 32),
                    on ? 1 : 0);
}

ViStatus setChannelBit(ViSession vi, ViInt16 c, ViInt16 value, ViBusAddress block,
                       int16_t tq::driver::BitChannel::*member)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const int flat = c >= 1 && c <= s->totalChannels ? tq747::flatIndex(*s, c) : -1;
    if (flat < 0)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        ViStatus status = setBlockBit(*s, block, flat, value == 1);
        if (status < VI_SUCCESS)
            return status;
    }
    if (c <= tq747::kChannels)
        s->channel(c).*member = value;
    return VI_SUCCESS;
}

ViStatus getChannelBit(ViSession vi, ViInt16 c, ViInt16 *value, ViBusAddress block,
                       int16_t tq::driver::BitChannel::*member)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const int flat = c >= 1 && c <= s->totalChannels ? tq747::flatIndex(*s, c) : -1;
    if (flat < 0 || !value)
        return VI_ERROR_INV_PARAMETER;
    if (s->simulated()) {
        *value = c <= tq747::kChannels ? s->channel(c).*member : 0;
        return VI_SUCCESS;
    }
    uint32_t bit = 0;
    ViStatus status = getField(*s, block + 4 * static_cast<ViBusAddress>(flat / 32), 4, 1,
                               static_cast<unsigned>(flat % 32), bit);
    if (status < VI_SUCCESS)
        return status;
    if (c <= tq747::kChannels)
        s->channel(c).*member = static_cast<int16_t>(bit);
    *value = static_cast<ViInt16>(bit);
    return VI_SUCCESS;
}

// Names of 128 characters and more do not fit a channel record: refused.
bool nameFits(ViConstString name)
{
    return name && strnlen(name, tq747::kChannelNameLength) < tq747::kChannelNameLength;
}

} // namespace

// ---- Session settings ---------------------------------------------------------

TQ_API ViStatus tq747_setInterruptEnable(ViSession vi, ViInt16 enable)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!s->simulated()) {
        ViStatus status = tq747::setInterruptEnableOnCard(*s, enable);
        if (status < VI_SUCCESS)
            return status;
    }
    s->interruptEnable = enable;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getInterruptEnable(ViSession vi, ViInt16 *enable)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!enable)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        uint32_t v = 0;
        ViStatus status = tq747::in32(*s, reg::kInterruptEnable, v);
        if (status < VI_SUCCESS)
            return status;
        s->interruptEnable = (v & reg::kCardInterrupt) ? 1 : 0;
    }
    *enable = s->interruptEnable;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_setScanClockRate(ViSession vi, ViReal64 rate)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    // Any rate is kept; start refuses one it cannot size a buffer for.
    s->stream->streamSetRate(s->stream, rate);
    s->stream->streamSetOutputRate(s->stream, rate);
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getScanClockRate(ViSession vi, ViReal64 *rate)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!rate)
        return VI_ERROR_INV_PARAMETER;
    *rate = s->stream->streamGetRate(s->stream);
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_setRefreshRate(ViSession vi, ViInt16 rate)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    s->refreshRate = rate;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getRefreshRate(ViSession vi, ViInt16 *rate)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!rate)
        return VI_ERROR_INV_PARAMETER;
    *rate = s->refreshRate;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_setRecycleRate(ViSession vi, ViReal64 rate)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    s->stream->streamSetOutputRecycleRate(s->stream, rate);
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getRecycleRate(ViSession vi, ViReal64 *rate)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!rate)
        return VI_ERROR_INV_PARAMETER;
    *rate = s->stream->streamGetOutputRecycleRate(s->stream);
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_setBufferDuration(ViSession vi, ViInt16 seconds)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    s->bufferDuration = seconds;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getBufferDuration(ViSession vi, ViInt16 *seconds)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!seconds)
        return VI_ERROR_INV_PARAMETER;
    *seconds = s->bufferDuration;
    return VI_SUCCESS;
}

// ---- Channel groups -------------------------------------------------------------

TQ_API ViStatus tq747_setChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::debounce, debounceField, range(1, 5),
                    [](ViInt16 v) { return static_cast<uint32_t>(v - 1); });
}
TQ_API ViStatus tq747_getChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::debounce, debounceField, [](uint32_t raw, int16_t &v) {
        if (raw > 4)
            return false;
        v = static_cast<int16_t>(raw + 1);
        return true;
    });
}

TQ_API ViStatus tq747_setChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validGroup(g) || value < 0 || value > 1)
        return VI_ERROR_INV_PARAMETER;
    if (s->group(g).direction == value)
        return VI_SUCCESS;
    if (!s->simulated()) {
        ViStatus status = setField(*s, reg::kDirection, 4, 1, static_cast<unsigned>(g - 1), static_cast<uint32_t>(value));
        if (status < VI_SUCCESS)
            return status;
    }
    s->group(g).direction = value;
    for (int c = 8 * (g - 1) + 1; c <= 8 * g; ++c)
        s->channel(c).head.ownerWord2 = value;
    tq747::recount(*s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::direction, directionField, plainDecode(1));
}

TQ_API ViStatus tq747_setChannelGroupPowerupOutput(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::powerupOutput, powerupField, range(0, 1), plain());
}
TQ_API ViStatus tq747_getChannelGroupPowerupOutput(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::powerupOutput, powerupField, plainDecode(1));
}

TQ_API ViStatus tq747_setChannelGroupInputTermination(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::termination, terminationField, range(0, 2), plain());
}
TQ_API ViStatus tq747_getChannelGroupInputTermination(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::termination, terminationField, plainDecode(2));
}

TQ_API ViStatus tq747_setChannelGroupStrobeDelay(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::strobeDelay, strobeDelayField, range(1, 2),
                    [](ViInt16 v) { return v == 1 ? 1u : 0u; });
}
TQ_API ViStatus tq747_getChannelGroupStrobeDelay(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::strobeDelay, strobeDelayField, [](uint32_t raw, int16_t &v) {
        v = raw ? 1 : 2;
        return true;
    });
}

TQ_API ViStatus tq747_setChannelGroupStrobeEnable(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::strobeEnable, strobeEnableField, range(0, 1), plain());
}
TQ_API ViStatus tq747_getChannelGroupStrobeEnable(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::strobeEnable, strobeEnableField, plainDecode(1));
}

TQ_API ViStatus tq747_setChannelGroupStrobePolarity(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::strobePolarity, strobePolarityField, range(0, 1), plain());
}
TQ_API ViStatus tq747_getChannelGroupStrobePolarity(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::strobePolarity, strobePolarityField, plainDecode(1));
}

TQ_API ViStatus tq747_setChannelGroupStrobeChannel(ViSession vi, ViInt16 g, ViInt16 value)
{
    return setGroup(vi, g, value, &Group::strobeChannel, strobeChannelField, range(1, 16),
                    [](ViInt16 v) { return static_cast<uint32_t>(v - 1); });
}
TQ_API ViStatus tq747_getChannelGroupStrobeChannel(ViSession vi, ViInt16 g, ViInt16 *value)
{
    return getGroup(vi, g, value, &Group::strobeChannel, strobeChannelField, [](uint32_t raw, int16_t &v) {
        v = static_cast<int16_t>(raw + 1);
        return true;
    });
}

// ---- Digital channels -------------------------------------------------------------

TQ_API ViStatus tq747_setDigitalChannelEnable(ViSession vi, ViInt16 c, ViInt16 enable)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || enable < 0 || enable > 1)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::BitChannel &ch = s->channel(c);
    if (ch.enable == enable)
        return VI_SUCCESS;
    ch.enable = enable;
    ch.head.enableWord = enable;
    tq747::recount(*s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getDigitalChannelEnable(ViSession vi, ViInt16 c, ViInt32 *enable)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !enable)
        return VI_ERROR_INV_PARAMETER;
    *enable = s->channel(c).enable;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_setDigitalChannelName(ViSession vi, ViInt16 c, ViConstString name)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !nameFits(name))
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(s->channel(c).head.name, tq747::kChannelNameLength, name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getDigitalChannelName(ViSession vi, ViInt16 c, ViChar *name)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !name)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(name, tq747::kChannelNameLength, s->channel(c).head.name);
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_getDigitalChannelDirection(ViSession vi, ViInt16 c, ViInt16 *direction)
{
    if (!validChannel(c))
        return tq747::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return tq747_getChannelGroupDirection(vi, static_cast<ViInt16>((c - 1) / 8 + 1), direction);
}

TQ_API ViStatus tq747_setDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 c, ViInt16 value)
{
    return setChannelBit(vi, c, value, reg::kCosMask, &tq::driver::BitChannel::changeOfStateEnable);
}
TQ_API ViStatus tq747_getDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return getChannelBit(vi, c, value, reg::kCosMask, &tq::driver::BitChannel::changeOfStateEnable);
}
TQ_API ViStatus tq747_setDigitalChannelPatternEnable(ViSession vi, ViInt16 c, ViInt16 value)
{
    return setChannelBit(vi, c, value, reg::kPatternMask, &tq::driver::BitChannel::patternEnable);
}
TQ_API ViStatus tq747_getDigitalChannelPatternEnable(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return getChannelBit(vi, c, value, reg::kPatternMask, &tq::driver::BitChannel::patternEnable);
}
TQ_API ViStatus tq747_setDigitalChannelPatternBit(ViSession vi, ViInt16 c, ViInt16 value)
{
    return setChannelBit(vi, c, value, reg::kPattern, &tq::driver::BitChannel::patternBit);
}
TQ_API ViStatus tq747_getDigitalChannelPatternBit(ViSession vi, ViInt16 c, ViInt16 *value)
{
    return getChannelBit(vi, c, value, reg::kPattern, &tq::driver::BitChannel::patternBit);
}

TQ_API ViStatus tq747_setDemoDigitalChannelFrequency(ViSession vi, ViInt16 c, ViReal64 value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c))
        return VI_ERROR_INV_PARAMETER;
    s->demo[c - 1].frequency = value;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getDemoDigitalChannelFrequency(ViSession vi, ViInt16 c, ViReal64 *value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !value)
        return VI_ERROR_INV_PARAMETER;
    *value = s->demo[c - 1].frequency;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_setDemoDigitalChannelDutyCycle(ViSession vi, ViInt16 c, ViInt16 value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c))
        return VI_ERROR_INV_PARAMETER;
    s->demo[c - 1].dutyCycle = value;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getDemoDigitalChannelDutyCycle(ViSession vi, ViInt16 c, ViInt16 *value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !value)
        return VI_ERROR_INV_PARAMETER;
    *value = s->demo[c - 1].dutyCycle;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_setDemoDigitalChannelOffset(ViSession vi, ViInt16 c, ViInt16 value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c))
        return VI_ERROR_INV_PARAMETER;
    s->demo[c - 1].offset = value;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getDemoDigitalChannelOffset(ViSession vi, ViInt16 c, ViInt16 *value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validChannel(c) || !value)
        return VI_ERROR_INV_PARAMETER;
    *value = s->demo[c - 1].offset;
    return VI_SUCCESS;
}

// ---- Events and event channels -------------------------------------------------------

TQ_API ViStatus tq747_setEventEnable(ViSession vi, ViInt16 e, ViInt16 value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e))
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        ViStatus status =
            setField(*s, reg::kInterruptEnable, 4, 1, static_cast<unsigned>(e - 1), value ? 1u : 0u);
        if (status < VI_SUCCESS)
            return status;
    }
    s->eventChannel(e).eventEnable = value;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getEventEnable(ViSession vi, ViInt16 e, ViInt16 *value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !value)
        return VI_ERROR_INV_PARAMETER;
    if (!s->simulated()) {
        uint32_t bit = 0;
        ViStatus status = getField(*s, reg::kInterruptEnable, 4, 1, static_cast<unsigned>(e - 1), bit);
        if (status < VI_SUCCESS)
            return status;
        s->eventChannel(e).eventEnable = static_cast<int16_t>(bit);
    }
    *value = s->eventChannel(e).eventEnable;
    return VI_SUCCESS;
}

TQ_API ViStatus tq747_setEventChannelEnable(ViSession vi, ViInt16 e, ViInt16 value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || value < 0 || value > 1)
        return VI_ERROR_INV_PARAMETER;
    tq747::EventChannel &ev = s->eventChannel(e);
    if (ev.enable == value)
        return VI_SUCCESS;
    ev.enable = value;
    ev.head.enableWord = value;
    tq747::recount(*s);
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getEventChannelEnable(ViSession vi, ViInt16 e, ViInt32 *value)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !value)
        return VI_ERROR_INV_PARAMETER;
    *value = s->eventChannel(e).enable;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_setEventChannelName(ViSession vi, ViInt16 e, ViConstString name)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !nameFits(name))
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(s->eventChannel(e).head.name, tq747::kChannelNameLength, name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getEventChannelName(ViSession vi, ViInt16 e, ViChar *name)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !name)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(name, tq747::kChannelNameLength, s->eventChannel(e).head.name);
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_setEventChannelDuration(ViSession vi, ViInt16 e, ViInt16 scans)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e))
        return VI_ERROR_INV_PARAMETER;
    s->eventChannel(e).duration = scans;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getEventChannelDuration(ViSession vi, ViInt16 e, ViInt16 *scans)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !scans)
        return VI_ERROR_INV_PARAMETER;
    *scans = s->eventChannel(e).duration;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_setEventChannelPolarity(ViSession vi, ViInt16 e, ViInt16 polarity)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e))
        return VI_ERROR_INV_PARAMETER;
    s->eventChannel(e).polarity = polarity;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getEventChannelPolarity(ViSession vi, ViInt16 e, ViInt16 *polarity)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!validEvent(e) || !polarity)
        return VI_ERROR_INV_PARAMETER;
    *polarity = s->eventChannel(e).polarity;
    return VI_SUCCESS;
}
