// Stored settings: the one rule that the typed setters and getters of the
// register-based drivers follow, driven by a table row per setting (where
// its field lives and which values it takes) instead of one hand-written
// pair of functions per register field.
//
// The rule: the session is looked up (VI_ERROR_INV_OBJECT); an index or a
// value out of range gives VI_ERROR_INV_PARAMETER before anything changes;
// while the session simulates a setter only stores and a getter answers the
// stored value; otherwise a setter replaces its field by read-modify-write
// and stores the value once the write succeeded, and a getter reads the
// field, decodes it, stores and answers it. A VISA failure is returned as
// it is and stores nothing.
//
// Usage in a driver: where its registers are, the targets of its records,
// a table row per setting and one export macro per row.
//
//     tq::driver::RegisterWindow window(const Session740 &s) { return {s.value, s.ioSpace, s.ioBase}; }
//     using Targets = tq::driver::SettingTargets<find, window>;
//     constexpr auto group = &Targets::record<&Session740::groups, Group>;
//     const tq::driver::Setting kDebounce{{reg::kDebounce, 2, 3, 0}, tq::driver::Coding::Range, 1, 5};
//
//     TQ_DRIVER_EXPORT_SETTING(tq740, ChannelGroupDebounceTime, group, &Group::debounce, kDebounce)
//
// The settings the digital drivers share by name are exported together
// from their DigitalFields (TQ_DRIVER_EXPORT_DIGITAL_SETTINGS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "tq/driver/bitchannel.h"
#include "tq/driver/session.h"
#include "tq/export.h"
#include "tq/visatype.h"

namespace tq::driver
{

// Where a driver reaches its registers: its VISA session, the address space
// and the base of its window in that space.
struct RegisterWindow {
    ViSession vi = VI_NULL;
    ViUInt16 space = 0;
    ViBusAddress base = 0;
};

// A row of fields of one width, one per group, channel or event: field i
// holds `bits` bits from bit first + stride * i, counted on through the
// registers of `width` bytes that follow the one at offset (the fields of
// channel 40 in a 256-bit block of 32-bit registers: field 39 of a row of
// 1-bit fields from offset 0x50 is bit 7 of 0x54). The stride is the
// field's width unless given (a bit of each group's strobe byte: 8). A
// width of 0 stands for a setting kept in the session only.
struct FieldRow {
    ViBusAddress offset = 0;
    uint8_t width = 0; // 2 or 4 bytes; 0: no register
    uint8_t bits = 1;
    uint8_t first = 0;
    uint8_t stride = 0; // 0: bits
};

// Where field i of a row sits: its register and its bits in it.
struct FieldPlace {
    ViBusAddress offset;
    uint32_t mask; // unshifted
    unsigned shift;
};
FieldPlace placeOf(const FieldRow &row, int i);

// How a value becomes its field's code, and a code a value again.
enum class Coding : uint8_t {
    Any,      // any value, stored as given; the field holds 1 for a value other than 0
    One,      // any value, stored as given; the field holds 1 for the value 1, else 0
    Range,    // lo to hi only; code value - lo; a code above hi - lo decodes to no value
    Reversed, // lo to hi only; code hi - value; likewise
};

struct Setting {
    FieldRow field;
    Coding coding = Coding::Any;
    int16_t lo = 0, hi = 0;
};

// A setting kept in the session only and taken as given, and an enable
// flag kept in the session (0 or 1).
inline constexpr Setting kKeptInSession{};
inline constexpr Setting kEnableFlag{{}, Coding::Range, 0, 1};

// What one call acts on: the session (null when none was found), its
// register window, the field's index in its row (-1 for an index out of
// range) and where the value is stored (null where the session keeps none,
// as for a channel of a module the carrier reaches: a simulated getter then
// answers 0).
struct SettingTarget {
    Session *session = nullptr;
    RegisterWindow window;
    int index = -1;
    int16_t *stored = nullptr;
};

// The setter of the rule.
ViStatus setSetting(const SettingTarget &t, const Setting &setting, ViInt16 value);
// The setter of a setting whose change has consequences for the caller to
// draw (channel counts): a value equal to the stored one answers 0 at once
// and touches nothing. changed tells whether the value was stored.
ViStatus changeSetting(const SettingTarget &t, const Setting &setting, ViInt16 value, bool &changed);
// The value of the getter of the rule (without the checks of its
// arguments): read, decoded and stored, or the stored one. A field that
// decodes to no value gives VI_ERROR_INV_PARAMETER.
ViStatus readSetting(const SettingTarget &t, const Setting &setting, int16_t &value);

// The getter of the rule, into the caller's type (the enable getters
// answer 32 bits).
template <typename T> ViStatus getSetting(const SettingTarget &t, const Setting &setting, T *value)
{
    if (!t.session)
        return VI_ERROR_INV_OBJECT;
    if (t.index < 0 || !value)
        return VI_ERROR_INV_PARAMETER;
    int16_t v = 0;
    const ViStatus status = readSetting(t, setting, v);
    if (status >= VI_SUCCESS)
        *value = v;
    return status;
}

// The member of record index (1 to N) of one of a session's arrays of
// records, or null for an index out of range or without a session.
template <typename S, typename Record, size_t N, typename T>
T *recordMember(S *s, int index, Record (S::*records)[N], T Record::*member)
{
    if (!s || index < 1 || index > static_cast<int>(N))
        return nullptr;
    return &((s->*records)[index - 1].*member);
}

// The target of a setting kept in member of record index (1 to N).
template <typename S, typename Record, size_t N>
SettingTarget recordSetting(S *s, const RegisterWindow &window, int index, Record (S::*records)[N],
                            int16_t Record::*member)
{
    int16_t *stored = recordMember(s, index, records, member);
    return {s, window, stored ? index - 1 : -1, stored};
}

// The target of a setting of the session itself (field 0 of its row).
template <typename S> SettingTarget sessionSetting(S *s, const RegisterWindow &window, int16_t S::*member)
{
    if (!s)
        return {};
    return {s, window, 0, &(s->*member)};
}

// The name in the stream channel head of record index (1 to N), or null.
template <typename S, typename Record, size_t N> char *recordName(S *s, int index, Record (S::*records)[N])
{
    TQStreamChannel *head = recordMember(s, index, records, &Record::head);
    return head ? head->name : nullptr;
}

// The targets of a driver's settings: find(vi) looks its session up (null
// when there is none), window(session) tells where its registers are.
//
//     using Targets = tq::driver::SettingTargets<find, window>;
//     constexpr auto group = &Targets::record<&Session740::groups, Group>;
//     ... group(vi, g, &Group::debounce)
template <auto find, auto window> struct SettingTargets {
    // A setting kept in member of record index (1 to N) of an array of the session.
    template <auto records, typename Record>
    static SettingTarget record(ViSession vi, ViInt16 index, int16_t Record::*member)
    {
        auto *s = find(vi);
        return recordSetting(s, s ? window(*s) : RegisterWindow{}, index, records, member);
    }
    // A setting of the session itself.
    template <typename S> static SettingTarget session(ViSession vi, int16_t S::*member)
    {
        auto *s = find(vi);
        return sessionSetting(s, s ? window(*s) : RegisterWindow{}, member);
    }
};

// The enable flag of a record that heads a stream channel: 0 or 1; a
// change shows in the head's enable word and the stream's counts are
// counted again (recount), an unchanged value touches nothing.
template <typename S, typename Record, size_t N>
ViStatus setEnable(S *s, int index, ViInt16 value, Record (S::*records)[N], void (*recount)(S &))
{
    bool changed = false;
    const ViStatus status =
        changeSetting(recordSetting(s, {}, index, records, &Record::enable), kEnableFlag, value, changed);
    if (changed) {
        (s->*records)[index - 1].head.enableWord = value;
        recount(*s);
    }
    return status;
}
template <typename S, typename Record, size_t N, typename T>
ViStatus getEnable(S *s, int index, Record (S::*records)[N], T *value)
{
    return getSetting(recordSetting(s, {}, index, records, &Record::enable), kEnableFlag, value);
}

// The direction of group g of 8 bit channels (0 input, 1 output): a change
// marks the group's channels as outputs or inputs in their heads, and the
// stream's counts are counted again (recount).
template <typename S, size_t N>
ViStatus setGroupDirection(const SettingTarget &t, const Setting &setting, int g, ViInt16 value,
                           BitChannel (S::*channels)[N], void (*recount)(S &))
{
    bool changed = false;
    const ViStatus status = changeSetting(t, setting, value, changed);
    if (changed) {
        S &s = *static_cast<S *>(t.session);
        for (int c = 8 * (g - 1); c < 8 * g; ++c)
            (s.*channels)[c].head.ownerWord2 = value;
        recount(s);
    }
    return status;
}

// Names kept in a record's field of size bytes, terminator included: a
// null field (an index out of range), a null name or one that does not fit
// gives VI_ERROR_INV_PARAMETER and leaves the stored one.
ViStatus setName(const Session *s, char *field, size_t size, ViConstString name);
// Copies the stored name into the caller's buffer of size bytes.
ViStatus getName(const Session *s, const char *field, size_t size, ViChar *name);

// The settings that the digital drivers (the carrier and the module on its
// sites) have alike, by the same names, with the same values and on
// records with the same members: groups of 8 channels, channels, events.
// Each driver tells where their fields live in its registers.
struct DigitalFields {
    FieldRow debounce, direction, powerup, termination;      // of a group
    FieldRow changeOfStateEnable, patternEnable, patternBit; // of a channel
    FieldRow eventEnable;                                    // of an event
};
struct DigitalSettings {
    Setting debounce, direction, powerup, termination;
    Setting changeOfStateEnable, patternEnable, patternBit;
    Setting eventEnable;
};
// Debounce 1 (disabled) to 5 (100 ms) as codes 0 to 4; direction and
// power-up output 0 or 1; termination 0 to 2. A channel's bit is written 1
// for the value 1 only, an event enable for any value but 0; both keep the
// value given.
constexpr DigitalSettings digitalSettings(const DigitalFields &f)
{
    return {{f.debounce, Coding::Range, 1, 5},    {f.direction, Coding::Range, 0, 1},
            {f.powerup, Coding::Range, 0, 1},     {f.termination, Coding::Range, 0, 2},
            {f.changeOfStateEnable, Coding::One}, {f.patternEnable, Coding::One},
            {f.patternBit, Coding::One},          {f.eventEnable, Coding::Any}};
}

// The record types of a digital driver's session S.
template <typename S> struct DigitalRecords {
    using Group = std::remove_extent_t<decltype(S::groups)>;
    using Event = std::remove_extent_t<decltype(S::events)>;
    static constexpr int kChannels = static_cast<int>(std::extent_v<decltype(S::channels)>);
};

} // namespace tq::driver

// ---------------------------------------------------------------------------
// Exports of the settings.

// prefix_set<Name>(vi, index, value) and prefix_get<Name>(vi, index, &value)
// of a setting of the rule: target(vi, index, member) gives its target and
// row is its table row.
#define TQ_DRIVER_EXPORT_SETTING(prefix, Name, target, member, row)                                                    \
    TQ_API ViStatus prefix##_set##Name(ViSession vi, ViInt16 index, ViInt16 value)                                     \
    {                                                                                                                  \
        return tq::driver::setSetting(target(vi, index, member), row, value);                                          \
    }                                                                                                                  \
    TQ_API ViStatus prefix##_get##Name(ViSession vi, ViInt16 index, ViInt16 *value)                                    \
    {                                                                                                                  \
        return tq::driver::getSetting(target(vi, index, member), row, value);                                          \
    }

// The same for a setting of the session itself: target(vi, member).
#define TQ_DRIVER_EXPORT_SESSION_SETTING(prefix, Name, target, member, row)                                            \
    TQ_API ViStatus prefix##_set##Name(ViSession vi, ViInt16 value)                                                    \
    {                                                                                                                  \
        return tq::driver::setSetting(target(vi, member), row, value);                                                 \
    }                                                                                                                  \
    TQ_API ViStatus prefix##_get##Name(ViSession vi, ViInt16 *value)                                                   \
    {                                                                                                                  \
        return tq::driver::getSetting(target(vi, member), row, value);                                                 \
    }

// prefix_set<Name>(vi, index, name) and prefix_get<Name>(vi, index, name) of
// the names of the records of an array of the session that find(vi) gives;
// size: the name field's, terminator included.
#define TQ_DRIVER_EXPORT_NAME(prefix, Name, find, records, size)                                                       \
    TQ_API ViStatus prefix##_set##Name(ViSession vi, ViInt16 index, ViConstString name)                                \
    {                                                                                                                  \
        auto *s = find(vi);                                                                                            \
        return tq::driver::setName(s, tq::driver::recordName(s, index, records), size, name);                          \
    }                                                                                                                  \
    TQ_API ViStatus prefix##_get##Name(ViSession vi, ViInt16 index, ViChar *name)                                      \
    {                                                                                                                  \
        auto *s = find(vi);                                                                                            \
        return tq::driver::getName(s, tq::driver::recordName(s, index, records), size, name);                          \
    }

// prefix_set<Name>(vi, index, value) and prefix_get<Name>(vi, index, &value)
// of the enable flags of the records of an array of the session that
// find(vi) gives (setEnable and getEnable).
#define TQ_DRIVER_EXPORT_ENABLE(prefix, Name, find, records, recount)                                                  \
    TQ_API ViStatus prefix##_set##Name(ViSession vi, ViInt16 index, ViInt16 value)                                     \
    {                                                                                                                  \
        return tq::driver::setEnable(find(vi), index, value, records, recount);                                        \
    }                                                                                                                  \
    TQ_API ViStatus prefix##_get##Name(ViSession vi, ViInt16 index, ViInt32 *value)                                    \
    {                                                                                                                  \
        return tq::driver::getEnable(find(vi), index, records, value);                                                 \
    }

// The exports of the settings of DigitalSettings, and of the stored values,
// enables and names that go with them, for a driver whose session type is
// S: table is its DigitalSettings; group, channel and event give the
// targets of a group's, a channel's and an event's setting (as
// SettingTargets::record does); find looks its session up; recount counts
// its stream's channels again; nameSize is the size of its names.
// DigitalChannelDirection is the direction of the channel's group.
#define TQ_DRIVER_EXPORT_DIGITAL_SETTINGS(prefix, S, table, group, channel, event, find, recount, nameSize)            \
    TQ_DRIVER_EXPORT_SETTING(prefix, ChannelGroupDebounceTime, group, &tq::driver::DigitalRecords<S>::Group::debounce, \
                             (table).debounce)                                                                         \
    TQ_DRIVER_EXPORT_SETTING(prefix, ChannelGroupPowerupOutput, group,                                                 \
                             &tq::driver::DigitalRecords<S>::Group::powerupOutput, (table).powerup)                    \
    TQ_DRIVER_EXPORT_SETTING(prefix, ChannelGroupInputTermination, group,                                              \
                             &tq::driver::DigitalRecords<S>::Group::termination, (table).termination)                  \
    TQ_DRIVER_EXPORT_SETTING(prefix, DigitalChannelChangeOfStateEnable, channel,                                       \
                             &tq::driver::BitChannel::changeOfStateEnable, (table).changeOfStateEnable)                \
    TQ_DRIVER_EXPORT_SETTING(prefix, DigitalChannelPatternEnable, channel, &tq::driver::BitChannel::patternEnable,     \
                             (table).patternEnable)                                                                    \
    TQ_DRIVER_EXPORT_SETTING(prefix, DigitalChannelPatternBit, channel, &tq::driver::BitChannel::patternBit,           \
                             (table).patternBit)                                                                       \
    TQ_DRIVER_EXPORT_SETTING(prefix, EventEnable, event, &tq::driver::DigitalRecords<S>::Event::eventEnable,           \
                             (table).eventEnable)                                                                      \
    TQ_DRIVER_EXPORT_SETTING(prefix, EventChannelDuration, event, &tq::driver::DigitalRecords<S>::Event::duration,     \
                             tq::driver::kKeptInSession)                                                               \
    TQ_DRIVER_EXPORT_SETTING(prefix, EventChannelPolarity, event, &tq::driver::DigitalRecords<S>::Event::polarity,     \
                             tq::driver::kKeptInSession)                                                               \
    TQ_DRIVER_EXPORT_ENABLE(prefix, DigitalChannelEnable, find, &S::channels, recount)                                 \
    TQ_DRIVER_EXPORT_ENABLE(prefix, EventChannelEnable, find, &S::events, recount)                                     \
    TQ_DRIVER_EXPORT_NAME(prefix, DigitalChannelName, find, &S::channels, nameSize)                                    \
    TQ_DRIVER_EXPORT_NAME(prefix, EventChannelName, find, &S::events, nameSize)                                        \
    TQ_API ViStatus prefix##_setChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 value)                          \
    {                                                                                                                  \
        return tq::driver::setGroupDirection(group(vi, g, &tq::driver::DigitalRecords<S>::Group::direction),           \
                                             (table).direction, g, value, &S::channels, recount);                      \
    }                                                                                                                  \
    TQ_API ViStatus prefix##_getChannelGroupDirection(ViSession vi, ViInt16 g, ViInt16 *value)                         \
    {                                                                                                                  \
        return tq::driver::getSetting(group(vi, g, &tq::driver::DigitalRecords<S>::Group::direction),                  \
                                      (table).direction, value);                                                       \
    }                                                                                                                  \
    TQ_API ViStatus prefix##_getDigitalChannelDirection(ViSession vi, ViInt16 c, ViInt16 *direction)                   \
    {                                                                                                                  \
        if (c < 1 || c > tq::driver::DigitalRecords<S>::kChannels)                                                     \
            return find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;                                            \
        return prefix##_getChannelGroupDirection(vi, static_cast<ViInt16>((c - 1) / 8 + 1), direction);                \
    }

// ---------------------------------------------------------------------------
// Exports of the range operations on one bit per channel.

// prefix_read<Name>(vi, first, last, bits) and prefix_write<Name>(vi, first,
// last, bits): access(vi, first, last, bits, where, write) reads the bits of
// the channels first to last into bits (packed from bit 0) or writes them.
#define TQ_DRIVER_EXPORT_READ_BITS(prefix, Name, access, where)                                                        \
    TQ_API ViStatus prefix##_read##Name(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)                      \
    {                                                                                                                  \
        return access(vi, first, last, bits, where, false);                                                            \
    }
#define TQ_DRIVER_EXPORT_READ_WRITE_BITS(prefix, Name, access, where)                                                  \
    TQ_DRIVER_EXPORT_READ_BITS(prefix, Name, access, where)                                                            \
    TQ_API ViStatus prefix##_write##Name(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)                     \
    {                                                                                                                  \
        return access(vi, first, last, bits, where, true);                                                             \
    }
