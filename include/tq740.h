/* Driver of the model 740 IndustryPack digital I/O module (libtqp740_32.so).
 *
 * 32 digital lines in 4 groups of 8 on a site of a model 747 carrier,
 * reached through the carrier's register window. A session is one site of
 * one carrier, named "<carrier resource>_IP<site>" (site 1 to 4); every open
 * of the same site shares one session and adds a reference, and the last
 * close frees it. A bare site number ("3") opens a session without hardware.
 *
 * The module has no stream of its own: the carrier driver opens its sites
 * through ip740_init's operations table and the module publishes its
 * channels in the carrier's stream (scan word 3 + site).
 *
 * Every function returns a VISA status. Range operations take first and
 * last channel numbers 1 to 32; bits are packed 8 to a byte from bit 0. */
#ifndef TQ740_H
#define TQ740_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqipmodule.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQ740_WARN_ALREADY_RUNNING ((ViStatus)0x3FFC0109) /* "Device already Running." */
#define TQ740_ERROR_NO_CHANNELS ((ViStatus)0xBFFBF35B)    /* "Operation failed because no channels are enabled." */
#define TQ740_ERROR_RUNNING ((ViStatus)0xBFFBF35C)        /* "Operation failed because device is running." */
#define TQ740_ERROR_NO_SITE ((ViStatus)0xBFFF0012)        /* resource name without a site 1 to 4 */
#define TQ740_ERROR_SITE_ARGUMENT ((ViStatus)0xBFFC0002)  /* getSiteChannels with a site other than 0 */
#define TQ740_ERROR_ALIGNMENT ((ViStatus)0xBFFC0013)
#define TQ740_WARN_NEAREST ((ViStatus)0x3FFC0107)

#define TQ740_MODEL_CODE 0x740
#define TQ740_MODULE_ID 0x740

/* The module entry point: the module id and the 64-entry operations table. */
TQ_API ViStatus ip740_init(ViUInt16 *moduleId, TQIpModuleOps *table);

TQ_API ViStatus tq740_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi);
TQ_API ViStatus tq740_close(ViSession vi);
TQ_API ViStatus tq740_reset(ViSession vi);
TQ_API ViStatus tq740_resetEx(ViSession vi, ViInt16 type);
TQ_API ViStatus tq740_self_test(ViSession vi, ViInt16 *result, ViChar *message);
TQ_API ViStatus tq740_error_query(ViSession vi, ViInt32 *code, ViChar *message);
TQ_API ViStatus tq740_error_message(ViSession vi, ViStatus status, ViChar *message);
TQ_API ViStatus tq740_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
TQ_API ViStatus tq740_autoConnectToFirst(ViSession *vi);
TQ_API ViStatus tq740_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
TQ_API ViStatus tq740_setSimulationMode(ViSession vi, ViBoolean mode);
TQ_API ViStatus tq740_getSimulationMode(ViSession vi, ViBoolean *ignored);
TQ_API ViStatus tq740_setInstrumentName(ViSession vi, ViConstString name);
TQ_API ViStatus tq740_getInstrumentName(ViSession vi, ViChar *name);
TQ_API ViStatus tq740_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq740_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,
                                     ViChar *message);
TQ_API ViStatus tq740_crossCheck(ViSession vi, ViChar *message);
TQ_API ViStatus tq740_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

TQ_API ViStatus tq740_getSiteChannels(ViSession vi, ViInt16 site, ViInt16 *first, ViInt16 *last);
TQ_API ViStatus tq740_setStream(ViSession vi, TQStream *stream, TQStreamHandles *handles);
TQ_API ViStatus tq740_autoRst(ViSession vi, ViInt16 save);
TQ_API ViStatus tq740_autoRstStatus(ViSession vi, ViInt16 *saved);
TQ_API ViStatus tq740_powerupSave(ViSession vi);
TQ_API ViStatus tq740_powerupClear(ViSession vi);

TQ_API ViStatus tq740_setInterruptEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq740_getInterruptEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq740_setChannelGroupDebounceTime(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq740_getChannelGroupDebounceTime(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq740_setChannelGroupDirection(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq740_getChannelGroupDirection(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq740_setChannelGroupPowerupOutput(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq740_getChannelGroupPowerupOutput(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq740_setChannelGroupInputTermination(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq740_getChannelGroupInputTermination(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq740_setDigitalChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus tq740_getDigitalChannelEnable(ViSession vi, ViInt16 channel, ViInt32 *enable);
TQ_API ViStatus tq740_setDigitalChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq740_getDigitalChannelName(ViSession vi, ViInt16 channel, ViChar *name);
TQ_API ViStatus tq740_getDigitalChannelDirection(ViSession vi, ViInt16 channel, ViInt16 *direction);
TQ_API ViStatus tq740_setDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq740_getDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq740_setDigitalChannelPatternEnable(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq740_getDigitalChannelPatternEnable(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq740_setDigitalChannelPatternBit(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq740_getDigitalChannelPatternBit(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq740_setEventEnable(ViSession vi, ViInt16 event, ViInt16 value);
TQ_API ViStatus tq740_getEventEnable(ViSession vi, ViInt16 event, ViInt16 *value);
TQ_API ViStatus tq740_setEventChannelEnable(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq740_getEventChannelEnable(ViSession vi, ViInt16 channel, ViInt32 *value);
TQ_API ViStatus tq740_setEventChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq740_getEventChannelName(ViSession vi, ViInt16 channel, ViChar *name);
TQ_API ViStatus tq740_setEventChannelDuration(ViSession vi, ViInt16 channel, ViInt16 scans);
TQ_API ViStatus tq740_getEventChannelDuration(ViSession vi, ViInt16 channel, ViInt16 *scans);
TQ_API ViStatus tq740_setEventChannelPolarity(ViSession vi, ViInt16 channel, ViInt16 polarity);
TQ_API ViStatus tq740_getEventChannelPolarity(ViSession vi, ViInt16 channel, ViInt16 *polarity);
TQ_API ViStatus tq740_setInterruptRequestLevel(ViSession vi, ViInt16 level);
TQ_API ViStatus tq740_getInterruptRequestLevel(ViSession vi, ViInt16 *level);
TQ_API ViStatus tq740_setExternalInputStrobeEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq740_getExternalInputStrobeEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq740_setExternalOutputStrobeEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq740_getExternalOutputStrobeEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq740_setIpInputStrobeEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq740_getIpInputStrobeEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq740_setIpInputLatchStrobeEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq740_getIpInputLatchStrobeEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq740_setIpOutputStrobeEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq740_getIpOutputStrobeEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq740_setOutputStrobeWordSelect(ViSession vi, ViInt16 select);
TQ_API ViStatus tq740_setStrobePolarity(ViSession vi, ViInt16 which, ViInt16 polarity);
TQ_API ViStatus tq740_getStrobePolarity(ViSession vi, ViInt16 *first, ViInt16 *second);

TQ_API ViStatus tq740_setDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 microseconds,
                                      ViUInt32 *actual);
TQ_API ViStatus tq740_getDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *microseconds);
TQ_API ViStatus tq740_setIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction);
TQ_API ViStatus tq740_getIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_setPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 level);
TQ_API ViStatus tq740_getPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_setResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 termination);
TQ_API ViStatus tq740_getResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *values);
TQ_API ViStatus tq740_readIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_writeIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_readLatchedIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_readPatternRecognition(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_writePatternRecognition(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_readPatternRecognitionMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_writePatternRecognitionMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_readChangeOfStateResult(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_readChangeOfStateMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_writeChangeOfStateMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq740_setOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 nanoseconds,
                                           ViUInt32 *actual);
TQ_API ViStatus tq740_getOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *nanoseconds);
TQ_API ViStatus tq740_readROMConfig(ViSession vi, ViUInt16 offset, ViUInt16 count, ViUInt8 *buffer);

TQ_API ViStatus tq740_startPatternRecognition(ViSession vi);
TQ_API ViStatus tq740_stopPatternRecognition(ViSession vi);
TQ_API ViStatus tq740_getPatternRecognitionStatus(ViSession vi);
TQ_API ViStatus tq740_startChangeOfState(ViSession vi);
TQ_API ViStatus tq740_stopChangeOfState(ViSession vi);
TQ_API ViStatus tq740_getChangeOfStateStatus(ViSession vi);
TQ_API ViStatus tq740_enableEvent(ViSession vi);
TQ_API ViStatus tq740_disableEvent(ViSession vi);
TQ_API ViStatus tq740_enableEventStatus(ViSession vi, ViInt16 *enabled);

#ifdef __cplusplus
}
#endif

#endif
