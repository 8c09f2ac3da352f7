/* The IndustryPack module interface: the 64-entry operations table a module
 * driver (libtqp740_32.so, ...) fills for the carrier driver that serves its
 * modules on the carrier's sites, and the module driver's entry point.
 *
 * Positions are an interface between separately built libraries: never
 * reorder an entry (the order is guarded at the end of this file). Entries a
 * module does not fill stay null. The first argument of every operation is a
 * module session, except for the init worker, init, the two autoConnect
 * operations and getPnPHandle. Range operations take the module's own
 * channel numbers (1 to its channel count); bits are packed 8 to a byte from
 * bit 0 upward, in channel order. */
#ifndef TQIPMODULE_H
#define TQIPMODULE_H

#include <stddef.h>

#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQ_IP_MODULE_OPERATIONS 64

typedef struct TQIpModuleOps {
    /*  0 */ ViStatus (*initWorker)(ViUInt16 idSpace, ViBusAddress idBase, ViUInt16 ioSpace, ViBusAddress ioBase,
                                     ViConstRsrc carrierRsrcName, ViSession *vi);
    /*  1 */ ViStatus (*init)(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi);
    /*  2 */ ViStatus (*reset)(ViSession vi);
    /*  3 */ ViStatus (*selfTest)(ViSession vi, ViInt16 *result, ViChar *message);
    /*  4 */ ViStatus (*errorQuery)(ViSession vi, ViInt32 *code, ViChar *message);
    /*  5 */ ViStatus (*errorMessage)(ViSession vi, ViStatus status, ViChar *message);
    /*  6 */ ViStatus (*revisionQuery)(ViSession vi, ViChar *driverRev, ViChar *instrRev);
    /*  7 */ ViStatus (*close)(ViSession vi);
    /*  8 */ ViStatus (*autoConnectToFirst)(ViSession *vi);
    /*  9 */ ViStatus (*autoConnectToAll)(ViSession *vi, ViInt16 max, ViInt16 *count);
    /* 10 */ ViStatus (*autoRst)(ViSession vi, ViInt16 save);
    /* 11 */ ViStatus (*autoRstStatus)(ViSession vi, ViInt16 *saved);
    /* 12 */ ViStatus (*resetEx)(ViSession vi, ViInt16 type);
    /* 13 */ ViStatus (*getSiteChannels)(ViSession vi, ViInt16 site, ViInt16 *first, ViInt16 *last);
    /* 14 */ ViStatus (*setStream)(ViSession vi, TQStream *stream, TQStreamHandles *handles);
    /* 15 */ ViStatus (*channelByName)(ViSession vi, ViConstString name, TQStreamChannel **channel);
    /* 16 */ ViStatus (*channelByIndex)(ViSession vi, ViInt32 n, TQStreamChannel **channel);
    /* 17 */ ViStatus (*getPnPHandle)(ViConstRsrc rsrcName, TQPnPHandle **handle);
    /* 18 */ ViStatus (*readIoData)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 19 */ ViStatus (*writeIoData)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 20 */ ViStatus (*setDebounceTime)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 microseconds,
                                          ViUInt32 *actual);
    /* 21 */ ViStatus (*getDebounceTime)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *microseconds);
    /* 22 */ ViStatus (*setIoDirection)(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction);
    /* 23 */ ViStatus (*getIoDirection)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 24 */ ViStatus (*setPowerupOutput)(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 level);
    /* 25 */ ViStatus (*getPowerupOutput)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 26 */ ViStatus (*setResistorConfig)(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 termination);
    /* 27 */ ViStatus (*getResistorConfig)(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *values);
    /* 28 */ ViStatus (*readPatternRecognition)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 29 */ ViStatus (*writePatternRecognition)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 30 */ ViStatus (*readPatternRecognitionMask)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 31 */ ViStatus (*writePatternRecognitionMask)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 32 */ ViStatus (*startPatternRecognition)(ViSession vi);
    /* 33 */ ViStatus (*stopPatternRecognition)(ViSession vi);
    /* 34 */ ViStatus (*getPatternRecognitionStatus)(ViSession vi);
    /* 35 */ ViStatus (*readChangeOfStateResult)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 36 */ ViStatus (*readChangeOfStateMask)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 37 */ ViStatus (*writeChangeOfStateMask)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 38 */ ViStatus (*startChangeOfState)(ViSession vi);
    /* 39 */ ViStatus (*stopChangeOfState)(ViSession vi);
    /* 40 */ ViStatus (*getChangeOfStateStatus)(ViSession vi);
    /* 41 */ ViStatus (*enableEvent)(ViSession vi);
    /* 42 */ ViStatus (*disableEvent)(ViSession vi);
    /* 43 */ ViStatus (*enableEventStatus)(ViSession vi, ViInt16 *enabled);
    /* 44 */ ViStatus (*setOutputStrobeDelay)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 nanoseconds,
                                               ViUInt32 *actual);
    /* 45 */ ViStatus (*getOutputStrobeDelay)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *nanoseconds);
    /* 46 */ ViStatus (*readROMConfig)(ViSession vi, ViUInt16 offset, ViUInt16 count, ViUInt8 *buffer);
    /* 47 */ ViStatus (*readLatchedIoData)(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
    /* 48 */ void *reserved48;
    /* 49 */ void *reserved49;
    /* 50 */ ViStatus (*setExternalInputStrobeEnable)(ViSession vi, ViInt16 enable);
    /* 51 */ ViStatus (*getExternalInputStrobeEnable)(ViSession vi, ViInt16 *enable);
    /* 52 */ ViStatus (*setExternalOutputStrobeEnable)(ViSession vi, ViInt16 enable);
    /* 53 */ ViStatus (*getExternalOutputStrobeEnable)(ViSession vi, ViInt16 *enable);
    /* 54 */ ViStatus (*setOutputStrobeWordSelect)(ViSession vi, ViInt16 select);
    /* 55 */ ViStatus (*setIpInputStrobeEnable)(ViSession vi, ViInt16 enable);
    /* 56 */ ViStatus (*getIpInputStrobeEnable)(ViSession vi, ViInt16 *enable);
    /* 57 */ ViStatus (*setIpInputLatchStrobeEnable)(ViSession vi, ViInt16 enable);
    /* 58 */ ViStatus (*getIpInputLatchStrobeEnable)(ViSession vi, ViInt16 *enable);
    /* 59 */ ViStatus (*setIpOutputStrobeEnable)(ViSession vi, ViInt16 enable);
    /* 60 */ ViStatus (*getIpOutputStrobeEnable)(ViSession vi, ViInt16 *enable);
    /* 61 */ ViStatus (*setStrobePolarity)(ViSession vi, ViInt16 which, ViInt16 polarity);
    /* 62 */ ViStatus (*getStrobePolarity)(ViSession vi, ViInt16 *first, ViInt16 *second);
    /* 63 */ ViStatus (*staticOutputWord)(ViSession vi, ViUInt32 *word);
} TQIpModuleOps;

/* The module driver's entry point "ip<n>_init", <n> the first number in the
 * library's file name: writes the module id, fills the caller's zeroed table
 * and returns 0. It allocates nothing and opens nothing. */
typedef ViStatus (*TQIpModuleInitFn)(ViUInt16 *moduleId, TQIpModuleOps *table);

#ifdef __cplusplus
}
#define TQ_IPMODULE_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_IPMODULE_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_IPMODULE_ASSERT(sizeof(TQIpModuleOps) == TQ_IP_MODULE_OPERATIONS * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, init) == 1 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, close) == 7 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, getSiteChannels) == 13 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, setStream) == 14 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, getPnPHandle) == 17 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, readIoData) == 18 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, getResistorConfig) == 27 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, getPatternRecognitionStatus) == 34 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, getChangeOfStateStatus) == 40 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, readLatchedIoData) == 47 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, reserved48) == 48 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, setExternalInputStrobeEnable) == 50 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, setIpInputStrobeEnable) == 55 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, setStrobePolarity) == 61 * sizeof(void *));
TQ_IPMODULE_ASSERT(offsetof(TQIpModuleOps, staticOutputWord) == 63 * sizeof(void *));

#undef TQ_IPMODULE_ASSERT

#endif
