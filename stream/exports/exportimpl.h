// What the flat exports of the stream engine share: their three result rules
// and the stores into the caller's pointers.
#pragma once

#include <cstdint>
#include <limits>

#include "core/status.h"
#include "tqstream.h"

namespace tq::stream::exports
{

// A null record is refused before anything is called.
constexpr ViStatus kNoObject = VI_ERROR_INV_OBJECT;
// A null stream channel: the status the channel exports have always given.
constexpr ViStatus kNoChannel = VI_ERROR_INV_PARAMETER;
// A null result pointer where an object with a reference would be handed out.
constexpr ViStatus kNoResult = VI_ERROR_INV_PARAMETER;

// Stores into a caller's pointer that may be null.
template <class T, class V> inline void put(T *to, V value)
{
    if (to)
        *to = static_cast<T>(value);
}

// "Found": the object is stored either way; missing when there is none.
template <class T> inline ViStatus found(T *object, T **to, ViStatus missing)
{
    *to = object;
    return object ? VI_SUCCESS : missing;
}

inline ViStatus mapped(int32_t code)
{
    return statusFromCode(code);
}

// Forwarders of one line: call(object) on a record that must not be null,
// its result mapped, or ignored (always 0).
template <class T, class F> inline ViStatus mappedOn(T *object, F call)
{
    return object ? mapped(call(object)) : kNoObject;
}

template <class T, class F> inline ViStatus zeroOn(T *object, F call)
{
    if (!object)
        return kNoObject;
    call(object);
    return VI_SUCCESS;
}

// A 64-bit count or position for a caller that holds 32 bits: values that do
// not fit become the nearest 32-bit value, so a large count never turns into
// a small one or into a negative error-looking number.
inline int32_t narrow(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace tq::stream::exports
