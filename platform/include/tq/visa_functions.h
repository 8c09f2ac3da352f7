// The VISA functions the drivers and the resource manager bind at run time,
// in the order of the binding table, with the standard C signatures at the
// standard widths of a 64-bit platform (sessions and statuses 32-bit, bus
// addresses, sizes and attribute states 64-bit).
//
// TQ_VISA_FUNCTIONS(X) calls X(result, name, arguments, parameter list) once
// per entry; arguments is the number of arguments of the function that
// stands in for a missing export, TQ_VISA_VARIADIC for the formatted I/O
// functions taking "...", or TQ_VISA_NO_RESULT for peek and poke.
#pragma once

#include <cstdarg>

#include "tq/visatype.h"

#define TQ_VISA_VARIADIC (-1)
#define TQ_VISA_NO_RESULT 0

#define TQ_VISA_FUNCTIONS(X)                                                                                          \
    X(ViStatus, viOpenDefaultRM, 1, (ViSession * vi))                                                                 \
    X(ViStatus, viFindRsrc, 5,                                                                                        \
      (ViSession sesn, ViConstString expr, ViFindList * list, ViUInt32 * retCnt, ViChar * desc))                      \
    X(ViStatus, viFindNext, 2, (ViFindList list, ViChar * desc))                                                      \
    X(ViStatus, viOpen, 5,                                                                                            \
      (ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout, ViSession * vi))                        \
    X(ViStatus, viClose, 1, (ViObject vi))                                                                            \
    X(ViStatus, viSetAttribute, 3, (ViObject vi, ViAttr attr, ViAttrState value))                                     \
    X(ViStatus, viGetAttribute, 3, (ViObject vi, ViAttr attr, void *value))                                           \
    X(ViStatus, viStatusDesc, 3, (ViObject vi, ViStatus status, ViChar * desc))                                       \
    X(ViStatus, viTerminate, 3, (ViObject vi, ViUInt16 degree, ViJobId jobId))                                        \
    X(ViStatus, viLock, 5,                                                                                            \
      (ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstString requestedKey, ViChar * accessKey))        \
    X(ViStatus, viUnlock, 1, (ViSession vi))                                                                          \
    X(ViStatus, viEnableEvent, 4,                                                                                     \
      (ViSession vi, ViEventType eventType, ViUInt16 mechanism, ViEventFilter context))                               \
    X(ViStatus, viDisableEvent, 3, (ViSession vi, ViEventType eventType, ViUInt16 mechanism))                         \
    X(ViStatus, viDiscardEvents, 3, (ViSession vi, ViEventType eventType, ViUInt16 mechanism))                        \
    X(ViStatus, viWaitOnEvent, 5,                                                                                     \
      (ViSession vi, ViEventType inEventType, ViUInt32 timeout, ViEventType * outEventType, ViEvent * outContext))     \
    X(ViStatus, viInstallHandler, 4, (ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle))       \
    X(ViStatus, viUninstallHandler, 4, (ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle))     \
    X(ViStatus, viRead, 4, (ViSession vi, ViByte * buf, ViUInt32 count, ViUInt32 * retCount))                         \
    X(ViStatus, viReadAsync, 4, (ViSession vi, ViByte * buf, ViUInt32 count, ViJobId * jobId))                        \
    X(ViStatus, viBufRead, 4, (ViSession vi, ViByte * buf, ViUInt32 count, ViUInt32 * retCount))                      \
    X(ViStatus, viWrite, 4, (ViSession vi, const ViByte *buf, ViUInt32 count, ViUInt32 *retCount))                    \
    X(ViStatus, viWriteAsync, 4, (ViSession vi, const ViByte *buf, ViUInt32 count, ViJobId *jobId))                   \
    X(ViStatus, viBufWrite, 4, (ViSession vi, const ViByte *buf, ViUInt32 count, ViUInt32 *retCount))                 \
    X(ViStatus, viAssertTrigger, 2, (ViSession vi, ViUInt16 protocol))                                                \
    X(ViStatus, viReadSTB, 2, (ViSession vi, ViUInt16 * status))                                                      \
    X(ViStatus, viClear, 1, (ViSession vi))                                                                           \
    X(ViStatus, viVxiCommandQuery, 4, (ViSession vi, ViUInt16 mode, ViUInt32 command, ViUInt32 * response))           \
    X(ViStatus, viVxiServantResponse, 3, (ViSession vi, ViInt16 mode, ViUInt32 response))                             \
    X(ViStatus, viUsbControlIn, 8,                                                                                    \
      (ViSession vi, ViInt16 requestType, ViInt16 request, ViUInt16 value, ViUInt16 index, ViUInt16 length,           \
       ViByte * buf, ViUInt16 * retCount))                                                                            \
    X(ViStatus, viUsbControlOut, 7,                                                                                   \
      (ViSession vi, ViInt16 requestType, ViInt16 request, ViUInt16 value, ViUInt16 index, ViUInt16 length,           \
       const ViByte *buf))                                                                                            \
    X(ViStatus, viSetBuf, 3, (ViSession vi, ViUInt16 mask, ViUInt32 size))                                            \
    X(ViStatus, viFlush, 2, (ViSession vi, ViUInt16 mask))                                                            \
    X(ViStatus, viPrintf, TQ_VISA_VARIADIC, (ViSession vi, ViConstString format, ...))                                \
    X(ViStatus, viSPrintf, TQ_VISA_VARIADIC, (ViSession vi, ViByte * buf, ViConstString format, ...))                 \
    X(ViStatus, viVPrintf, 3, (ViSession vi, ViConstString format, va_list args))                                     \
    X(ViStatus, viVSPrintf, 4, (ViSession vi, ViByte * buf, ViConstString format, va_list args))                      \
    X(ViStatus, viScanf, TQ_VISA_VARIADIC, (ViSession vi, ViConstString format, ...))                                 \
    X(ViStatus, viSScanf, TQ_VISA_VARIADIC, (ViSession vi, const ViByte *buf, ViConstString format, ...))             \
    X(ViStatus, viVScanf, 3, (ViSession vi, ViConstString format, va_list args))                                      \
    X(ViStatus, viVSScanf, 4, (ViSession vi, const ViByte *buf, ViConstString format, va_list args))                  \
    X(ViStatus, viQueryf, TQ_VISA_VARIADIC, (ViSession vi, ViConstString writeFormat, ViConstString readFormat, ...)) \
    X(ViStatus, viVQueryf, 4, (ViSession vi, ViConstString writeFormat, ViConstString readFormat, va_list args))      \
    X(ViStatus, viIn8, 4, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt8 * value))                       \
    X(ViStatus, viOut8, 4, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt8 value))                        \
    X(ViStatus, viIn16, 4, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 * value))                     \
    X(ViStatus, viOut16, 4, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value))                      \
    X(ViStatus, viIn32, 4, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 * value))                     \
    X(ViStatus, viOut32, 4, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 value))                      \
    X(ViStatus, viMoveIn8, 5,                                                                                         \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt8 * buf))                           \
    X(ViStatus, viMoveOut8, 5,                                                                                        \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt8 * buf))                           \
    X(ViStatus, viMoveIn16, 5,                                                                                        \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt16 * buf))                          \
    X(ViStatus, viMoveOut16, 5,                                                                                       \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt16 * buf))                          \
    X(ViStatus, viMoveIn32, 5,                                                                                        \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt32 * buf))                          \
    X(ViStatus, viMoveOut32, 5,                                                                                       \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize length, ViUInt32 * buf))                          \
    X(ViStatus, viMove, 8,                                                                                            \
      (ViSession vi, ViUInt16 srcSpace, ViBusAddress srcOffset, ViUInt16 srcWidth, ViUInt16 destSpace,                \
       ViBusAddress destOffset, ViUInt16 destWidth, ViBusSize length))                                                \
    X(ViStatus, viMoveAsync, 9,                                                                                       \
      (ViSession vi, ViUInt16 srcSpace, ViBusAddress srcOffset, ViUInt16 srcWidth, ViUInt16 destSpace,                \
       ViBusAddress destOffset, ViUInt16 destWidth, ViBusSize length, ViJobId * jobId))                               \
    X(ViStatus, viMapAddress, 7,                                                                                      \
      (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size, ViBoolean access, ViAddr suggested,         \
       ViAddr * address))                                                                                             \
    X(ViStatus, viUnmapAddress, 1, (ViSession vi))                                                                    \
    X(void, viPeek8, TQ_VISA_NO_RESULT, (ViSession vi, ViAddr address, ViUInt8 * value))                              \
    X(void, viPoke8, TQ_VISA_NO_RESULT, (ViSession vi, ViAddr address, ViUInt8 value))                                \
    X(void, viPeek16, TQ_VISA_NO_RESULT, (ViSession vi, ViAddr address, ViUInt16 * value))                            \
    X(void, viPoke16, TQ_VISA_NO_RESULT, (ViSession vi, ViAddr address, ViUInt16 value))                              \
    X(void, viPeek32, TQ_VISA_NO_RESULT, (ViSession vi, ViAddr address, ViUInt32 * value))                            \
    X(void, viPoke32, TQ_VISA_NO_RESULT, (ViSession vi, ViAddr address, ViUInt32 value))                              \
    X(ViStatus, viMemAlloc, 3, (ViSession vi, ViBusSize size, ViBusAddress * offset))                                 \
    X(ViStatus, viMemFree, 2, (ViSession vi, ViBusAddress offset))                                                    \
    X(ViStatus, viGpibControlREN, 2, (ViSession vi, ViUInt16 mode))                                                   \
    X(ViStatus, viAssertIntrSignal, 3, (ViSession vi, ViInt16 mode, ViUInt32 statusId))                               \
    X(ViStatus, viAssertUtilSignal, 2, (ViSession vi, ViUInt16 line))                                                 \
    X(ViStatus, viGpibCommand, 4, (ViSession vi, const ViByte *cmd, ViUInt32 count, ViUInt32 *retCount))              \
    X(ViStatus, viGpibControlATN, 2, (ViSession vi, ViUInt16 mode))                                                   \
    X(ViStatus, viGpibPassControl, 3, (ViSession vi, ViUInt16 primAddr, ViUInt16 secAddr))                            \
    X(ViStatus, viGpibSendIFC, 1, (ViSession vi))                                                                     \
    X(ViStatus, viMapTrigger, 4, (ViSession vi, ViInt16 source, ViInt16 destination, ViUInt16 mode))                  \
    X(ViStatus, viParseRsrc, 4, (ViSession rm, ViConstRsrc name, ViUInt16 * intfType, ViUInt16 * intfNum))            \
    X(ViStatus, viParseRsrcEx, 7,                                                                                     \
      (ViSession rm, ViConstRsrc name, ViUInt16 * intfType, ViUInt16 * intfNum, ViChar * rsrcClass,                   \
       ViChar * expandedName, ViChar * aliasIfExists))                                                                \
    X(ViStatus, viReadToFile, 4, (ViSession vi, ViConstString fileName, ViUInt32 count, ViUInt32 * retCount))         \
    X(ViStatus, viUnmapTrigger, 3, (ViSession vi, ViInt16 source, ViInt16 destination))                               \
    X(ViStatus, viWriteFromFile, 4, (ViSession vi, ViConstString fileName, ViUInt32 count, ViUInt32 * retCount))

namespace tq::visa {

// One type per function: viOpen_t is the function type of viOpen.
#define TQ_VISA_DECLARE_TYPE(result, name, arguments, parameters) using name##_t = result parameters;
TQ_VISA_FUNCTIONS(TQ_VISA_DECLARE_TYPE)
#undef TQ_VISA_DECLARE_TYPE

constexpr int kFunctionCount = 79;

} // namespace tq::visa
