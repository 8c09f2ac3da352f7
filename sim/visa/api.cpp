// The exported VISA C API of the simulated library. Every function checks
// its type against the binding's list, so that drivers bound by name call
// exactly these signatures.
#include <cstdarg>
#include <cstring>
#include <new>
#include <type_traits>

#include "library.h"
#include "tq/export.h"
#include "tq/platform/guard.h"
#include "tq/platform/numfmt.h"
#include "tq/visa_functions.h"

using tq::sim::Library;

namespace {

// No C++ exception leaves the library.
template <typename F> ViStatus guarded(F &&f) noexcept { return tq::platform::guardStatus(static_cast<F &&>(f)); }

Library &lib() { return Library::instance(); }

template <typename T> ViStatus readRegister(ViSession vi, ViUInt16 space, ViBusAddress offset, T *value)
{
    return guarded([&] {
        if (!value)
            return VI_ERROR_INV_PARAMETER;
        ViUInt32 v = 0;
        ViStatus s = lib().in(vi, space, offset, sizeof(T), v);
        if (s >= VI_SUCCESS)
            *value = static_cast<T>(v);
        return s;
    });
}

} // namespace

TQ_API ViStatus viOpenDefaultRM(ViSession *vi)
{
    return guarded([&] { return lib().openDefaultRM(vi); });
}

TQ_API ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViFindList *list, ViUInt32 *retCnt, ViChar *desc)
{
    return guarded([&] { return lib().findRsrc(sesn, expr, list, retCnt, desc); });
}

TQ_API ViStatus viFindNext(ViFindList list, ViChar *desc)
{
    return guarded([&] { return lib().findNext(list, desc); });
}

TQ_API ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout, ViSession *vi)
{
    return guarded([&] { return lib().open(sesn, name, mode, timeout, vi); });
}

TQ_API ViStatus viClose(ViObject vi)
{
    return guarded([&] { return lib().close(vi); });
}

TQ_API ViStatus viSetAttribute(ViObject vi, ViAttr attr, ViAttrState value)
{
    return guarded([&] { return lib().setAttribute(vi, attr, value); });
}

TQ_API ViStatus viGetAttribute(ViObject vi, ViAttr attr, void *value)
{
    return guarded([&] { return lib().getAttribute(vi, attr, value); });
}

// The text depends on the status alone, so any session value is accepted.
TQ_API ViStatus viStatusDesc(ViObject, ViStatus status, ViChar *desc)
{
    if (!desc)
        return VI_ERROR_INV_PARAMETER;
    if (const char *text = tq::sim::statusDescription(status)) {
        size_t n = strlen(text) < VI_FIND_BUFLEN - 1 ? strlen(text) : VI_FIND_BUFLEN - 1;
        memcpy(desc, text, n);
        desc[n] = '\0';
        return VI_SUCCESS;
    }
    tq::platform::cformat(desc, VI_FIND_BUFLEN, "Unknown status value %#x.", static_cast<uint32_t>(status));
    return VI_WARN_UNKNOWN_STATUS;
}

TQ_API ViStatus viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism, ViEventFilter context)
{
    return guarded([&] { return lib().enableEvent(vi, eventType, mechanism, context); });
}

TQ_API ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism)
{
    return guarded([&] { return lib().disableEvent(vi, eventType, mechanism); });
}

TQ_API ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism)
{
    return guarded([&] { return lib().discardEvents(vi, eventType, mechanism); });
}

TQ_API ViStatus viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32 timeout, ViEventType *outEventType,
                              ViEvent *outContext)
{
    return guarded([&] { return lib().waitOnEvent(vi, inEventType, timeout, outEventType, outContext); });
}

TQ_API ViStatus viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle)
{
    return guarded([&] { return lib().installHandler(vi, eventType, handler, userHandle); });
}

TQ_API ViStatus viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle)
{
    return guarded([&] { return lib().uninstallHandler(vi, eventType, handler, userHandle); });
}

TQ_API ViStatus viIn8(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt8 *value)
{
    return readRegister(vi, space, offset, value);
}

TQ_API ViStatus viIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 *value)
{
    return readRegister(vi, space, offset, value);
}

TQ_API ViStatus viIn32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 *value)
{
    return readRegister(vi, space, offset, value);
}

TQ_API ViStatus viOut8(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt8 value)
{
    return guarded([&] { return lib().out(vi, space, offset, 1, value); });
}

TQ_API ViStatus viOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value)
{
    return guarded([&] { return lib().out(vi, space, offset, 2, value); });
}

TQ_API ViStatus viOut32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 value)
{
    return guarded([&] { return lib().out(vi, space, offset, 4, value); });
}

TQ_API ViStatus viMoveIn8(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt8 *buf)
{
    return guarded([&] { return lib().moveIn(vi, space, offset, length, 1, buf); });
}

TQ_API ViStatus viMoveIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt16 *buf)
{
    return guarded([&] { return lib().moveIn(vi, space, offset, length, 2, buf); });
}

TQ_API ViStatus viMoveIn32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt32 *buf)
{
    return guarded([&] { return lib().moveIn(vi, space, offset, length, 4, buf); });
}

TQ_API ViStatus viMoveOut8(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt8 *buf)
{
    return guarded([&] { return lib().moveOut(vi, space, offset, length, 1, buf); });
}

TQ_API ViStatus viMoveOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt16 *buf)
{
    return guarded([&] { return lib().moveOut(vi, space, offset, length, 2, buf); });
}

TQ_API ViStatus viMoveOut32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt32 *buf)
{
    return guarded([&] { return lib().moveOut(vi, space, offset, length, 4, buf); });
}

TQ_API ViStatus viMapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size, ViBoolean access,
                             ViAddr suggested, ViAddr *address)
{
    return guarded([&] { return lib().mapAddress(vi, space, offset, size, access, suggested, address); });
}

TQ_API ViStatus viUnmapAddress(ViSession vi)
{
    return guarded([&] { return lib().unmapAddress(vi); });
}

// Peek and poke dereference a mapped address; they have no result to report
// a bad one with, exactly as on hardware.
TQ_API void viPeek8(ViSession, ViAddr address, ViUInt8 *value) { *value = *static_cast<volatile ViUInt8 *>(address); }
TQ_API void viPoke8(ViSession, ViAddr address, ViUInt8 value) { *static_cast<volatile ViUInt8 *>(address) = value; }
TQ_API void viPeek16(ViSession, ViAddr address, ViUInt16 *value)
{
    *value = *static_cast<volatile ViUInt16 *>(address);
}
TQ_API void viPoke16(ViSession, ViAddr address, ViUInt16 value)
{
    *static_cast<volatile ViUInt16 *>(address) = value;
}
TQ_API void viPeek32(ViSession, ViAddr address, ViUInt32 *value)
{
    *value = *static_cast<volatile ViUInt32 *>(address);
}
TQ_API void viPoke32(ViSession, ViAddr address, ViUInt32 value)
{
    *static_cast<volatile ViUInt32 *>(address) = value;
}

TQ_API ViStatus viMemAlloc(ViSession vi, ViBusSize size, ViBusAddress *offset)
{
    return guarded([&] { return lib().memAlloc(vi, size, offset); });
}

TQ_API ViStatus viMemFree(ViSession vi, ViBusAddress offset)
{
    return guarded([&] { return lib().memFree(vi, offset); });
}

TQ_API ViStatus viWrite(ViSession vi, const ViByte *buf, ViUInt32 count, ViUInt32 *retCount)
{
    return guarded([&] { return lib().write(vi, buf, count, retCount); });
}

TQ_API ViStatus viRead(ViSession vi, ViByte *buf, ViUInt32 count, ViUInt32 *retCount)
{
    return guarded([&] { return lib().read(vi, buf, count, retCount); });
}

TQ_API ViStatus viClear(ViSession vi)
{
    return guarded([&] { return lib().clear(vi); });
}

// Formatted I/O: the va_list forms do the work; each takes its own copy of
// the caller's list, so the write's arguments and then the read's pointers
// come from it in turn.
TQ_API ViStatus viVPrintf(ViSession vi, ViConstString format, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    ViStatus status = guarded([&] { return lib().formatted(vi, format, nullptr, &ap); });
    va_end(ap);
    return status;
}

TQ_API ViStatus viVScanf(ViSession vi, ViConstString format, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    ViStatus status = guarded([&] { return lib().formatted(vi, nullptr, format, &ap); });
    va_end(ap);
    return status;
}

TQ_API ViStatus viVQueryf(ViSession vi, ViConstString writeFormat, ViConstString readFormat, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    ViStatus status = guarded([&] { return lib().formatted(vi, writeFormat, readFormat, &ap); });
    va_end(ap);
    return status;
}

TQ_API ViStatus viPrintf(ViSession vi, ViConstString format, ...)
{
    va_list ap;
    va_start(ap, format);
    ViStatus status = viVPrintf(vi, format, ap);
    va_end(ap);
    return status;
}

TQ_API ViStatus viScanf(ViSession vi, ViConstString format, ...)
{
    va_list ap;
    va_start(ap, format);
    ViStatus status = viVScanf(vi, format, ap);
    va_end(ap);
    return status;
}

TQ_API ViStatus viQueryf(ViSession vi, ViConstString writeFormat, ViConstString readFormat, ...)
{
    va_list ap;
    va_start(ap, readFormat);
    ViStatus status = viVQueryf(vi, writeFormat, readFormat, ap);
    va_end(ap);
    return status;
}

TQ_API ViStatus viParseRsrc(ViSession rm, ViConstRsrc name, ViUInt16 *intfType, ViUInt16 *intfNum)
{
    return guarded([&] { return lib().parseRsrc(rm, name, intfType, intfNum, nullptr, nullptr, nullptr); });
}

TQ_API ViStatus viParseRsrcEx(ViSession rm, ViConstRsrc name, ViUInt16 *intfType, ViUInt16 *intfNum,
                              ViChar *rsrcClass, ViChar *expandedName, ViChar *aliasIfExists)
{
    return guarded(
        [&] { return lib().parseRsrc(rm, name, intfType, intfNum, rsrcClass, expandedName, aliasIfExists); });
}

// The exports must have exactly the types the binding calls them through.
#define TQ_CHECK_EXPORT(name) static_assert(std::is_same_v<decltype(name), tq::visa::name##_t>, #name)
TQ_CHECK_EXPORT(viOpenDefaultRM);
TQ_CHECK_EXPORT(viFindRsrc);
TQ_CHECK_EXPORT(viFindNext);
TQ_CHECK_EXPORT(viOpen);
TQ_CHECK_EXPORT(viClose);
TQ_CHECK_EXPORT(viSetAttribute);
TQ_CHECK_EXPORT(viGetAttribute);
TQ_CHECK_EXPORT(viStatusDesc);
TQ_CHECK_EXPORT(viEnableEvent);
TQ_CHECK_EXPORT(viDisableEvent);
TQ_CHECK_EXPORT(viDiscardEvents);
TQ_CHECK_EXPORT(viWaitOnEvent);
TQ_CHECK_EXPORT(viInstallHandler);
TQ_CHECK_EXPORT(viUninstallHandler);
TQ_CHECK_EXPORT(viIn8);
TQ_CHECK_EXPORT(viIn16);
TQ_CHECK_EXPORT(viIn32);
TQ_CHECK_EXPORT(viOut8);
TQ_CHECK_EXPORT(viOut16);
TQ_CHECK_EXPORT(viOut32);
TQ_CHECK_EXPORT(viMoveIn8);
TQ_CHECK_EXPORT(viMoveIn16);
TQ_CHECK_EXPORT(viMoveIn32);
TQ_CHECK_EXPORT(viMoveOut8);
TQ_CHECK_EXPORT(viMoveOut16);
TQ_CHECK_EXPORT(viMoveOut32);
TQ_CHECK_EXPORT(viMapAddress);
TQ_CHECK_EXPORT(viUnmapAddress);
TQ_CHECK_EXPORT(viPeek8);
TQ_CHECK_EXPORT(viPoke8);
TQ_CHECK_EXPORT(viPeek16);
TQ_CHECK_EXPORT(viPoke16);
TQ_CHECK_EXPORT(viPeek32);
TQ_CHECK_EXPORT(viPoke32);
TQ_CHECK_EXPORT(viMemAlloc);
TQ_CHECK_EXPORT(viMemFree);
TQ_CHECK_EXPORT(viParseRsrc);
TQ_CHECK_EXPORT(viParseRsrcEx);
TQ_CHECK_EXPORT(viWrite);
TQ_CHECK_EXPORT(viRead);
TQ_CHECK_EXPORT(viClear);
TQ_CHECK_EXPORT(viVPrintf);
TQ_CHECK_EXPORT(viVScanf);
TQ_CHECK_EXPORT(viVQueryf);
TQ_CHECK_EXPORT(viPrintf);
TQ_CHECK_EXPORT(viScanf);
TQ_CHECK_EXPORT(viQueryf);
