/* The PnP handle: how the resource manager and the virtual instruments drive
 * an instrument driver without linking it.
 *
 * A caller loads the driver library, resolves "<prefix>_getPnPHandle" and
 * from then on reaches the instrument only through the handle: a reference
 * count, the driver session value, and fifteen operations in a fixed order.
 * Each operation takes the driver session (the handle's second field) first,
 * except addReference, release and attachBackend.
 *
 * A driver leaves an operation it lacks null; callers test registerSpyMsg,
 * getStream, getEventStatus, installEventHandler, uninstallEventHandler and
 * wait before calling them. Operation and property names a driver does not
 * know are answered with 0xBFFF0067.
 *
 * The handle is allocated by the driver and freed by its own release when
 * the count reaches zero; release closes the driver session then and clears
 * the holder's pointer. The field order is shared by separately built
 * libraries: never reorder a field (guarded at the end of this file). */
#ifndef TQPNP_H
#define TQPNP_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQPnPHandle TQPnPHandle;

/* Instrument event handler: called with the instrument name, the event bits
 * (event e is bit e - 1), the user data given at installation, a clear mask
 * to write back (0 on entry) and the caller's message buffer, which holds
 * the event's text. A non-negative result lets the driver clear the bits of
 * the clear mask on the instrument. */
typedef ViStatus (*TQInstrumentEventHandler)(ViConstString instrumentName, ViUInt32 events, void *userData,
                                             ViUInt32 *clearMask, ViChar *message);

typedef ViStatus (*TQPnPAddReferenceFn)(TQPnPHandle *handle);
typedef ViStatus (*TQPnPReleaseFn)(TQPnPHandle **handle);
/* value: "value" or "index,value", parsed with the property's one format. */
typedef ViStatus (*TQPnPSetPropertyFn)(ViSession session, ViConstString name, ViConstString value);
/* index: "%hd" text for indexed properties, ignored otherwise. The value is
 * written into value, at most length - 1 characters and a terminator (256
 * bytes when length is not positive). */
typedef ViStatus (*TQPnPGetPropertyFn)(ViSession session, ViConstString name, ViConstString index, ViChar *value,
                                       ViInt32 length);
typedef ViStatus (*TQPnPDoOperationFn)(ViSession session, ViConstString operation, ViConstString argument);
/* The sink gets a reference; the previous one is released. Null releases only. */
typedef ViStatus (*TQPnPRegisterSinkFn)(ViSession session, TQStreamMsg *sink);
/* On failure one line of text (at most 255 characters) goes into message. */
typedef ViStatus (*TQPnPCrossCheckFn)(ViSession session, ViChar *message);
typedef ViStatus (*TQPnPSetSimulationModeFn)(ViSession session, ViBoolean mode);
/* Names the driver's stream after streamName and hands it out; the stream
 * stays the driver's (its release does nothing). */
typedef ViStatus (*TQPnPGetStreamFn)(ViSession session, ViConstString streamName, TQStream **stream);
typedef ViStatus (*TQPnPGetEventStatusFn)(ViSession session, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,
                                          ViChar *message);
typedef ViStatus (*TQPnPInstallEventHandlerFn)(ViSession session, ViUInt32 mask, TQInstrumentEventHandler handler,
                                               void *userData, ViChar *message);
typedef ViStatus (*TQPnPUninstallEventHandlerFn)(ViSession session, ViUInt32 mask, TQInstrumentEventHandler handler,
                                                 void *userData);
/* status receives the event status word, message (256 bytes) the event's text. */
typedef ViStatus (*TQPnPWaitFn)(ViSession session, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status,
                                ViChar *message);
typedef ViStatus (*TQPnPAttachBackendFn)(ViSession frontend, TQPnPHandle *backend);

struct TQPnPHandle {
    int32_t refCount;  /* 1 at creation */
    ViSession session; /* written by <prefix>_init */
    TQPnPAddReferenceFn addReference;
    TQPnPReleaseFn release;
    TQPnPSetPropertyFn setPropertyByName;
    TQPnPGetPropertyFn getPropertyByName;
    TQPnPDoOperationFn doOperation;
    TQPnPRegisterSinkFn registerStreamMsg;
    TQPnPRegisterSinkFn registerSpyMsg; /* may be null */
    TQPnPCrossCheckFn crossCheck;
    TQPnPSetSimulationModeFn setSimulationMode;
    TQPnPGetStreamFn getStream;                         /* may be null */
    TQPnPGetEventStatusFn getEventStatus;               /* may be null */
    TQPnPInstallEventHandlerFn installEventHandler;     /* may be null */
    TQPnPUninstallEventHandlerFn uninstallEventHandler; /* may be null */
    TQPnPWaitFn wait;                                   /* may be null */
    TQPnPAttachBackendFn attachBackend;
};

/* What every driver exports under its prefix: "<prefix>_getPnPHandle". The
 * value *handle holds on entry is not used by hardware drivers. A virtual
 * instrument, loaded by the resource manager, finds the manager session there:
 * the 32-bit session value (a handle-table value, never an address) widened
 * to the pointer's size, (TQPnPHandle *)(uintptr_t)session. It may call the
 * manager back with it before it returns. */
typedef ViStatus (*TQGetPnPHandleFn)(ViConstRsrc rsrcName, TQPnPHandle **handle);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define TQ_PNP_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_PNP_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_PNP_ASSERT(offsetof(TQPnPHandle, refCount) == 0);
TQ_PNP_ASSERT(offsetof(TQPnPHandle, session) == 4);
TQ_PNP_ASSERT(offsetof(TQPnPHandle, addReference) == 8);
TQ_PNP_ASSERT(offsetof(TQPnPHandle, release) == 8 + 1 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, setPropertyByName) == 8 + 2 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, getPropertyByName) == 8 + 3 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, doOperation) == 8 + 4 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, registerStreamMsg) == 8 + 5 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, registerSpyMsg) == 8 + 6 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, crossCheck) == 8 + 7 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, setSimulationMode) == 8 + 8 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, getStream) == 8 + 9 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, getEventStatus) == 8 + 10 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, installEventHandler) == 8 + 11 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, uninstallEventHandler) == 8 + 12 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, wait) == 8 + 13 * sizeof(void *));
TQ_PNP_ASSERT(offsetof(TQPnPHandle, attachBackend) == 8 + 14 * sizeof(void *));
TQ_PNP_ASSERT(sizeof(TQPnPHandle) == 8 + 15 * sizeof(void *));

#undef TQ_PNP_ASSERT

#endif
