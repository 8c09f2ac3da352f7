// The model 747's stored settings: session, channel groups, channels and
// events, each kept in the session and written to the card's registers
// (only stored while the session simulates).
#include "session747.h"
#include "tq/driver/driver.h"
#include "tq/driver/settings.h"
#include "tq/platform/guard.h"
#include "tq747.h"

using tq::driver::BitChannel;
using tq::driver::Coding;
using tq::driver::Setting;
using tq747::Demo;
using tq747::EventChannel;
using tq747::Group;
using tq747::Session747;
namespace reg = tq747::reg;

namespace
{

// The card's registers: BAR2 from 0.
tq::driver::RegisterWindow window(const Session747 &s)
{
    return {s.value, reg::kCard, 0};
}

// Where the settings live in the card's registers: register, width, bits per
// field, bit of the first field (and bits from one field to the next).
// Groups 1 to 16 (the debounce nibbles of groups 9-16 in the second
// register; a strobe byte per group from 0x24), the channels' bits in the
// 256-bit blocks at their flat indexes, events 1 and 2.
const tq::driver::DigitalSettings kSettings = tq::driver::digitalSettings({
    .debounce = {reg::kDebounce, 4, 4, 0},
    .direction = {reg::kDirection, 4, 1, 0},
    .powerup = {reg::kPowerup, 2, 1, 0},
    .termination = {reg::kTermination, 4, 2, 0},
    .changeOfStateEnable = {reg::kCosMask, 4, 1, 0},
    .patternEnable = {reg::kPatternMask, 4, 1, 0},
    .patternBit = {reg::kPattern, 4, 1, 0},
    .eventEnable = {reg::kInterruptEnable, 4, 1, 0},
});
const Setting kStrobeDelay{{reg::kGroupStrobe, 4, 1, 5, 8}, Coding::Reversed, 1, 2}; // 1 sets the bit, 2 clears it
const Setting kStrobeEnable{{reg::kGroupStrobe, 4, 1, 6, 8}, Coding::Range, 0, 1};
const Setting kStrobePolarity{{reg::kGroupStrobe, 4, 1, 4, 8}, Coding::Range, 0, 1};
const Setting kStrobeChannel{{reg::kGroupStrobe, 4, 4, 0, 8}, Coding::Range, 1, 16};
// The card interrupt enable is read back from bit 15.
const Setting kCardInterrupt{{reg::kInterruptEnable, 4, 1, 15}, Coding::Any};

using Targets = tq::driver::SettingTargets<tq747::find, window>;
constexpr auto group = &Targets::record<&Session747::groups, Group>;
constexpr auto event = &Targets::record<&Session747::events, EventChannel>;
constexpr auto demo = &Targets::record<&Session747::demo, Demo>;
constexpr auto session = &Targets::session<Session747>;

// A channel's bit in a 256-bit block: any channel of the carrier or of a
// bound site (1 to the total channel count), at its flat index; only the
// carrier's own channels keep a stored value.
tq::driver::SettingTarget channel(ViSession vi, ViInt16 c, int16_t BitChannel::*member)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return {};
    const int flat = c >= 1 && c <= s->totalChannels ? tq747::flatIndex(*s, c) : -1;
    return {s, window(*s), flat, flat >= 0 ? tq::driver::recordMember(s, c, &Session747::channels, member) : nullptr};
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
    return tq::driver::getSetting(session(vi, &Session747::interruptEnable), kCardInterrupt, enable);
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

// ---- Settings kept in the session or on the card ------------------------------------

TQ_DRIVER_EXPORT_DIGITAL_SETTINGS(tq747, Session747, kSettings, group, channel, event, tq747::find, tq747::recount,
                                  tq747::kChannelNameLength)
// Export, target, member, table row.
TQ_DRIVER_EXPORT_SESSION_SETTING(tq747, RefreshRate, session, &Session747::refreshRate, tq::driver::kKeptInSession)
TQ_DRIVER_EXPORT_SESSION_SETTING(tq747, BufferDuration, session, &Session747::bufferDuration,
                                 tq::driver::kKeptInSession)
TQ_DRIVER_EXPORT_SETTING(tq747, ChannelGroupStrobeDelay, group, &Group::strobeDelay, kStrobeDelay)
TQ_DRIVER_EXPORT_SETTING(tq747, ChannelGroupStrobeEnable, group, &Group::strobeEnable, kStrobeEnable)
TQ_DRIVER_EXPORT_SETTING(tq747, ChannelGroupStrobePolarity, group, &Group::strobePolarity, kStrobePolarity)
TQ_DRIVER_EXPORT_SETTING(tq747, ChannelGroupStrobeChannel, group, &Group::strobeChannel, kStrobeChannel)
TQ_DRIVER_EXPORT_SETTING(tq747, DemoDigitalChannelDutyCycle, demo, &Demo::dutyCycle, tq::driver::kKeptInSession)
TQ_DRIVER_EXPORT_SETTING(tq747, DemoDigitalChannelOffset, demo, &Demo::offset, tq::driver::kKeptInSession)

TQ_API ViStatus tq747_setDemoDigitalChannelFrequency(ViSession vi, ViInt16 c, ViReal64 value)
{
    Session747 *s = tq747::find(vi);
    ViReal64 *stored = tq::driver::recordMember(s, c, &Session747::demo, &Demo::frequency);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!stored)
        return VI_ERROR_INV_PARAMETER;
    *stored = value;
    return VI_SUCCESS;
}
TQ_API ViStatus tq747_getDemoDigitalChannelFrequency(ViSession vi, ViInt16 c, ViReal64 *value)
{
    Session747 *s = tq747::find(vi);
    const ViReal64 *stored = tq::driver::recordMember(s, c, &Session747::demo, &Demo::frequency);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!stored || !value)
        return VI_ERROR_INV_PARAMETER;
    *value = *stored;
    return VI_SUCCESS;
}
