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

} // namespace tq::platform
