// The VISA binding: a table of the 79 VISA functions that a deliverable
// fills at run time from the VISA library's exports by name. Nothing links
// the VISA library at load time; until it is found, and for every export it
// lacks, an entry holds a stand-in with the same signature that answers
// VI_ERROR_NSUP_OPER without touching its arguments (peek and poke: does
// nothing).
//
// Each library that carries the framework has its own table and its own
// module handle (hidden visibility keeps them apart). The library is loaded
// once and never freed; a failed load is tried again at the next call.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>

#include "tq/platform/dynlib.h"
#include "tq/visa_functions.h"

namespace tq::visa {

struct FunctionTable {
#define TQ_VISA_DECLARE_FIELD(result, name, arguments, parameters) name##_t *name;
    TQ_VISA_FUNCTIONS(TQ_VISA_DECLARE_FIELD)
#undef TQ_VISA_DECLARE_FIELD
};
static_assert(sizeof(FunctionTable) == kFunctionCount * sizeof(void *));
static_assert(offsetof(FunctionTable, viOpenDefaultRM) == 0);
static_assert(offsetof(FunctionTable, viUsbControlIn) == 28 * sizeof(void *));
static_assert(offsetof(FunctionTable, viUsbControlOut) == 29 * sizeof(void *));
static_assert(offsetof(FunctionTable, viIn8) == 42 * sizeof(void *));
static_assert(offsetof(FunctionTable, viPeek8) == 58 * sizeof(void *));
static_assert(offsetof(FunctionTable, viMemAlloc) == 64 * sizeof(void *));
static_assert(offsetof(FunctionTable, viWriteFromFile) == 78 * sizeof(void *));

namespace detail {

template <typename F> struct Arity;
template <typename R, typename... A> struct Arity<R(A...)> {
    static constexpr int value = sizeof...(A);
    using Result = R;
};
template <typename R, typename... A> struct Arity<R(A..., ...)> {
    static constexpr int value = TQ_VISA_VARIADIC;
};

template <typename F> struct StandIn;
template <typename... A> struct StandIn<ViStatus(A...)> {
    static ViStatus call(A...) noexcept { return VI_ERROR_NSUP_OPER; }
};
template <typename... A> struct StandIn<ViStatus(A..., ...)> {
    static ViStatus call(A..., ...) noexcept { return VI_ERROR_NSUP_OPER; }
};
template <typename... A> struct StandIn<void(A...)> {
    static void call(A...) noexcept {}
};

} // namespace detail

// The not-supported function of N arguments with the signature F.
template <int N, typename F> constexpr F *visaNotSupported()
{
    static_assert(detail::Arity<F>::value == N, "the stand-in must take exactly the arguments of the function");
    return &detail::StandIn<F>::call;
}
// The stand-in of the variadic formatted-I/O functions.
template <typename F> constexpr F *visaNotSupportedVariadic()
{
    static_assert(detail::Arity<F>::value == TQ_VISA_VARIADIC);
    return &detail::StandIn<F>::call;
}
// The stand-in of the six peek and poke functions, which have no result.
template <typename F> constexpr F *visaPeekPokeNoop()
{
    static_assert(std::is_void_v<typename detail::Arity<F>::Result>);
    return &detail::StandIn<F>::call;
}

template <int Kind, typename F> constexpr F *standInFor()
{
    if constexpr (Kind == TQ_VISA_VARIADIC)
        return visaNotSupportedVariadic<F>();
    else if constexpr (Kind == TQ_VISA_NO_RESULT)
        return visaPeekPokeNoop<F>();
    else
        return visaNotSupported<Kind, F>();
}

// A table whose every entry is its stand-in.
constexpr FunctionTable notSupportedTable()
{
    return FunctionTable{
#define TQ_VISA_STAND_IN(result, name, arguments, parameters) standInFor<arguments, name##_t>(),
        TQ_VISA_FUNCTIONS(TQ_VISA_STAND_IN)
#undef TQ_VISA_STAND_IN
    };
}

// Fills table from the exports of module by name (module may be null); a
// missing name gets its stand-in. Never fails.
void bindVisaFunctions(platform::LibraryHandle module, FunctionTable &table);

// This library's table.
const FunctionTable &visa();

// The file the loader tries: "<systemroot>/system32/visa32.dll", else
// "<vpnppath>/linux/bin/visa32.dll", else the same under VXIPNPPATH or
// /usr/local/vxipnp (the ".dll" name maps to libvisa32.so).
std::string visaLibraryPath();

// Loads and binds the VISA library unless that has been done; true when the
// table is bound. A failed load leaves the stand-ins and is tried again next
// time.
bool loadVisa();
bool visaLoaded();

} // namespace tq::visa
