// Properties and operations by name: the tables a driver fills so that the
// PnP handle can reach its typed exports with text.
//
// A row names a property (the suffix of the driver's <prefix>_set<Name> /
// <prefix>_get<Name> export) and carries the typed export itself; the value
// format is deduced from the export's signature:
//
//     setter argument(s) after ViSession     scanned with
//     text (ViConstString, ViChar *)         "%[^,]"      (at most 255 characters)
//     16-bit integer                         "%hd"
//     32-bit integer                         "%d"
//     double                                 "%lf"
//     16-bit index, 16-bit integer           "%hd,%hd"
//     16-bit index, double                   "%hd,%lf"
//     16-bit index, text                     "%hd,%[^,]"  (at most 255 characters)
//
//     getter out-parameter                   printed with
//     ViChar * (256-byte buffer)             "%s"
//     signed 16-bit                          "%hd"
//     unsigned 16-bit (ViUInt16, ViBoolean)  "%d", as unsigned
//     32-bit                                 "%d"
//     double                                 "%lf"
//   A getter (ViSession, ViInt16 index, T *) is indexed: its index comes
//   from the index text with "%hd".
//
// Usage in a driver (order of rows = order of comparison):
//
//     const tq::driver::SetProperty kSet[] = {
//         TQ_SET_PROPERTY(tq718, InstrumentName),
//         TQ_READ_ONLY_PROPERTY(AnalogChannelCount),
//         TQ_SET_PROPERTY(tq718, ScanClockRate),          // "%lf"
//         TQ_SET_PROPERTY(tq718, AnalogChannelEnable),    // "%hd,%hd"
//     };
//     const tq::driver::GetProperty kGet[] = {
//         TQ_GET_PROPERTY(tq718, InstrumentName),
//         TQ_GET_PROPERTY(tq718, FilterReady, tq::driver::PrintFormat::Unsigned16),
//         TQ_GET_PROPERTY(tq718, AnalogChannelName),      // indexed, "%s"
//     };
//     const tq::driver::Operation kOperations[] = {
//         TQ_OPERATION("start", tq718_start),             // ViStatus (ViSession)
//     };
//     info.setProperties = kSet;  info.setPropertyCount = std::size(kSet);  // likewise get, operations
//
// An explicit format may be given to a row where the table wants another
// one than the deduced (PrintFormat for getters, ValueFormat for setters);
// it must fit the export's argument kinds, which is checked when compiling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "tq/driver/session.h"
#include "tq/visatype.h"

namespace tq::driver
{

// Scan format of a property's value text.
enum class ValueFormat : uint8_t {
    Text,       // "%[^,]"
    Int16,      // "%hd"
    Int32,      // "%d"
    Real,       // "%lf"
    IndexInt16, // "%hd,%hd"
    IndexReal,  // "%hd,%lf"
    IndexText,  // "%hd,%[^,]"
};

// Print format of a property's value.
enum class PrintFormat : uint8_t {
    Text,       // "%s"
    Int16,      // "%hd"
    Unsigned16, // "%d" of the 16-bit value taken as unsigned
    Int32,      // "%d"
    Real,       // "%lf"
};

// The fields a value text yields. text is always terminated.
struct ScannedValue {
    ViInt16 index = 0;
    ViInt16 int16 = 0;
    ViInt32 int32 = 0;
    ViReal64 real = 0.0;
    char text[kNameLength] = {};
};

// What a getter wrote; text holds up to 255 characters and a terminator.
struct PropertyValue {
    ViInt16 int16 = 0;
    ViUInt16 uint16 = 0;
    ViInt32 int32 = 0;
    ViReal64 real = 0.0;
    char text[kNameLength] = {};
};

using SetThunk = ViStatus (*)(ViSession vi, const ScannedValue &value);
using GetThunk = ViStatus (*)(ViSession vi, ViInt16 index, PropertyValue &value);
using OperationThunk = ViStatus (*)(ViSession vi, ViConstString argument);

struct SetProperty {
    const char *name;
    ValueFormat format;
    SetThunk set; // null: read-only, answered 0xBFFF0067 after a successful scan
};

struct GetProperty {
    const char *name;
    PrintFormat print;
    bool indexed;
    GetThunk get;
};

struct Operation {
    const char *name;
    OperationThunk run;
};

// Reads text with the format: true when every field of the format was
// found. Text fields are bounded to 255 characters.
bool scanValue(ValueFormat format, const char *text, ScannedValue &value);
// The scanf format of a value format (as the catalogue documents it).
const char *scanFormatText(ValueFormat format);

// ---------------------------------------------------------------------------
// Deduction of the rows from the typed exports.

namespace detail
{

template <typename T> constexpr bool isText = std::is_same_v<T, const char *> || std::is_same_v<T, char *>;
template <typename T> constexpr bool isInt16 = std::is_integral_v<T> && sizeof(T) == 2;
template <typename T> constexpr bool isInt32 = std::is_integral_v<T> && sizeof(T) == 4;
template <typename T> constexpr bool isReal = std::is_floating_point_v<T>;

template <typename T> constexpr ValueFormat singleFormat()
{
    static_assert(isText<T> || isInt16<T> || isInt32<T> || isReal<T>,
                  "a setter takes text, a 16- or 32-bit integer or a double");
    if constexpr (isText<T>)
        return ValueFormat::Text;
    else if constexpr (isInt16<T>)
        return ValueFormat::Int16;
    else if constexpr (isInt32<T>)
        return ValueFormat::Int32;
    else
        return ValueFormat::Real;
}

template <typename T> constexpr ValueFormat indexedFormat()
{
    static_assert(isText<T> || isInt16<T> || isReal<T>, "an indexed setter takes text, a 16-bit integer or a double");
    if constexpr (isText<T>)
        return ValueFormat::IndexText;
    else if constexpr (isInt16<T>)
        return ValueFormat::IndexInt16;
    else
        return ValueFormat::IndexReal;
}

template <typename T> T valueOf(const ScannedValue &v)
{
    if constexpr (isText<T>)
        return const_cast<T>(static_cast<const char *>(v.text));
    else if constexpr (isInt16<T>)
        return static_cast<T>(v.int16);
    else if constexpr (isInt32<T>)
        return static_cast<T>(v.int32);
    else
        return static_cast<T>(v.real);
}

template <auto Fn> struct Setter;
template <typename A, ViStatus (*Fn)(ViSession, A)> struct Setter<Fn> {
    static constexpr ValueFormat format = singleFormat<A>();
    static ViStatus call(ViSession vi, const ScannedValue &v) { return Fn(vi, valueOf<A>(v)); }
};
template <typename I, typename A, ViStatus (*Fn)(ViSession, I, A)> struct Setter<Fn> {
    static_assert(isInt16<I>, "the index of an indexed setter is 16-bit");
    static constexpr ValueFormat format = indexedFormat<A>();
    static ViStatus call(ViSession vi, const ScannedValue &v) { return Fn(vi, static_cast<I>(v.index), valueOf<A>(v)); }
};

template <typename T> constexpr PrintFormat printFormatOf()
{
    static_assert(std::is_same_v<T, char> || isInt16<T> || isInt32<T> || isReal<T>,
                  "a getter writes text, a 16- or 32-bit integer or a double");
    if constexpr (std::is_same_v<T, char>)
        return PrintFormat::Text;
    else if constexpr (isInt16<T>)
        return std::is_signed_v<T> ? PrintFormat::Int16 : PrintFormat::Unsigned16;
    else if constexpr (isInt32<T>)
        return PrintFormat::Int32;
    else
        return PrintFormat::Real;
}

template <typename T> T *slotOf(PropertyValue &v)
{
    if constexpr (std::is_same_v<T, char>)
        return v.text;
    else if constexpr (isInt16<T> && std::is_signed_v<T>)
        return reinterpret_cast<T *>(&v.int16);
    else if constexpr (isInt16<T>)
        return reinterpret_cast<T *>(&v.uint16);
    else if constexpr (isInt32<T>)
        return reinterpret_cast<T *>(&v.int32);
    else
        return reinterpret_cast<T *>(&v.real);
}

// Values of one kind are kept in one field whatever their signedness, so
// that an explicit print format reads what the getter wrote.
template <typename T> void settle(PropertyValue &v)
{
    if constexpr (isInt16<T> && std::is_signed_v<T>)
        v.uint16 = static_cast<ViUInt16>(v.int16);
    else if constexpr (isInt16<T>)
        v.int16 = static_cast<ViInt16>(v.uint16);
}

template <auto Fn> struct Getter;
template <typename T, ViStatus (*Fn)(ViSession, T *)> struct Getter<Fn> {
    static constexpr PrintFormat print = printFormatOf<T>();
    static constexpr bool indexed = false;
    static ViStatus call(ViSession vi, ViInt16, PropertyValue &v)
    {
        ViStatus status = Fn(vi, slotOf<T>(v));
        settle<T>(v);
        return status;
    }
};
template <typename I, typename T, ViStatus (*Fn)(ViSession, I, T *)> struct Getter<Fn> {
    static_assert(isInt16<I>, "the index of an indexed getter is 16-bit");
    static constexpr PrintFormat print = printFormatOf<T>();
    static constexpr bool indexed = true;
    static ViStatus call(ViSession vi, ViInt16 index, PropertyValue &v)
    {
        ViStatus status = Fn(vi, static_cast<I>(index), slotOf<T>(v));
        settle<T>(v);
        return status;
    }
};

constexpr bool sameKind(PrintFormat a, PrintFormat b)
{
    auto is16 = [](PrintFormat f) { return f == PrintFormat::Int16 || f == PrintFormat::Unsigned16; };
    return a == b || (is16(a) && is16(b));
}

template <auto Fn> struct Runner;
template <ViStatus (*Fn)(ViSession)> struct Runner<Fn> {
    static ViStatus call(ViSession vi, ViConstString) { return Fn(vi); }
};
template <typename A, ViStatus (*Fn)(ViSession, A)> struct Runner<Fn> {
    static_assert(isText<A>, "an operation takes the session and, at most, the argument text");
    static ViStatus call(ViSession vi, ViConstString argument) { return Fn(vi, const_cast<A>(argument)); }
};

} // namespace detail

template <auto Fn> constexpr SetProperty setProperty(const char *name)
{
    return SetProperty{name, detail::Setter<Fn>::format, &detail::Setter<Fn>::call};
}

// A name that is scanned with "%hd" and then refused as read-only.
constexpr SetProperty readOnlyProperty(const char *name)
{
    return SetProperty{name, ValueFormat::Int16, nullptr};
}

template <auto Fn> constexpr GetProperty getProperty(const char *name)
{
    return GetProperty{name, detail::Getter<Fn>::print, detail::Getter<Fn>::indexed, &detail::Getter<Fn>::call};
}
// With a print format other than the deduced one, of the same kind (16-bit
// values printed "%hd" or as unsigned "%d").
template <auto Fn, PrintFormat Print> constexpr GetProperty getProperty(const char *name)
{
    static_assert(detail::sameKind(Print, detail::Getter<Fn>::print), "the print format does not fit the getter");
    return GetProperty{name, Print, detail::Getter<Fn>::indexed, &detail::Getter<Fn>::call};
}

template <auto Fn> constexpr Operation operation(const char *name)
{
    return Operation{name, &detail::Runner<Fn>::call};
}

} // namespace tq::driver

// Rows named after the property: TQ_SET_PROPERTY(tq718, ScanClockRate) takes
// tq718_setScanClockRate under the name "ScanClockRate".
#define TQ_SET_PROPERTY(prefix, Name) ::tq::driver::setProperty<&prefix##_set##Name>(#Name)
#define TQ_READ_ONLY_PROPERTY(Name) ::tq::driver::readOnlyProperty(#Name)
#define TQ_GET_PROPERTY(prefix, Name, ...)                                                                             \
    ::tq::driver::getProperty<&prefix##_get##Name __VA_OPT__(, ) __VA_ARGS__>(#Name)
#define TQ_OPERATION(name, fn) ::tq::driver::operation<&fn>(name)
