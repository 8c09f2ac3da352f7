// No C++ exception crosses an exported function or a function slot: entry
// points run their body through guardStatus, which turns an exception into
// the VISA status callers expect.
#pragma once

#include <new>

#include "tq/visatype.h"

namespace tq::platform {

template <typename F> ViStatus guardStatus(F &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

// The same for slots whose result is not a VISA status: an exception gives
// `failure` (a null record, a negative count).
template <typename R, typename F> R guardValue(R failure, F &&body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace tq::platform
