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
// Usage in a driver:
//
//     const tq::driver::Setting kDebounce{{reg::kDebounce, 2, 3, 0}, tq::driver::Coding::Range, 1, 5};
//
//     TQ_API ViStatus tq740_setChannelGroupDebounceTime(ViSession vi, ViInt16 g, ViInt16 value)
//     {
//         Session740 *s = find(vi);
//         return tq::driver::setSetting(tq::driver::recordSetting(s, window(s), g, &Session740::groups,
//                                                                 &Group::debounce), kDebounce, value);
//     }
#pragma once

#include <cstddef>
#include <cstdint>

#include "tq/driver/session.h"
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
// holds `bits` bits from bit first + bits * i, counted on through the
// registers of `width` bytes that follow the one at offset (the fields of
// channel 40 in a 256-bit block of 32-bit registers: field 39 of a row of
// 1-bit fields from offset 0x50 is bit 7 of 0x54). A width of 0 stands for
// a setting kept in the session only.
struct FieldRow {
    ViBusAddress offset = 0;
    uint8_t width = 0; // 2 or 4 bytes; 0: no register
    uint8_t bits = 1;
    uint8_t first = 0;
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

// Names kept in a record's field of size bytes, terminator included: a
// null field (an index out of range), a null name or one that does not fit
// gives VI_ERROR_INV_PARAMETER and leaves the stored one.
ViStatus setName(const Session *s, char *field, size_t size, ViConstString name);
// Copies the stored name into the caller's buffer of size bytes.
ViStatus getName(const Session *s, const char *field, size_t size, ViChar *name);

} // namespace tq::driver
