/* Driver of the model 747 digital I/O carrier (libtqp747_32.so).
 *
 * A CompactPCI card with 128 TTL lines in 16 groups of 8 and four
 * IndustryPack sites. The driver binds the IndustryPack module drivers that
 * lie beside its own library (libtq*_32.so exporting ip<n>_init), opens a
 * module session on every populated site and publishes the modules'
 * channels in its own stream after its 128 channels: carrier channels are 1
 * to 128, the 32 channels of each bound site follow in site order.
 *
 * An acquisition thread samples the lines at the stream's rate into a
 * segmented buffer; scans are 32-bit words in card order: words 0 to 3 the
 * carrier's lines, and, when a site is bound, word 3 + s the lines of site
 * s. Change-of-state and pattern-recognition events come from the card's
 * interrupt.
 *
 * Every function returns a VISA status. Range operations take first and
 * last channel numbers in the carrier's numbering; bits are packed 8 to a
 * byte from bit 0 upward, in channel order. */
#ifndef TQ747_H
#define TQ747_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQ747_WARN_ALREADY_RUNNING ((ViStatus)0x3FFC0109) /* "Device already Running." */
#define TQ747_ERROR_NO_CHANNELS ((ViStatus)0xBFFBF617)    /* "Operation failed because no channels are enabled." */
#define TQ747_ERROR_RUNNING ((ViStatus)0xBFFBF618)        /* "Operation failed because device is running." */
#define TQ747_ERROR_ALIGNMENT ((ViStatus)0xBFFC0013)      /* range not on the boundaries the operation needs */
#define TQ747_ERROR_SITE ((ViStatus)0xBFFC0014)           /* site outside 1 to 4 */
#define TQ747_ERROR_SITE_EMPTY ((ViStatus)0xBFFC0015)     /* site not populated */
#define TQ747_ERROR_STROBE ((ViStatus)0xBFFC0004)         /* strobe channel or polarity out of range */
#define TQ747_ERROR_NO_MODULE_DRIVER ((ViStatus)0xBFFC0018) /* site populated, no module driver bound */
#define TQ747_WARN_NEAREST ((ViStatus)0x3FFC0107)         /* value replaced by the nearest supported one */

#define TQ747_MODEL_CODE 0x747
#define TQ747_MANUFACTURER_ID 0x3c5a

/* Template entry points. */
TQ_API ViStatus tq747_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi);
TQ_API ViStatus tq747_close(ViSession vi);
TQ_API ViStatus tq747_reset(ViSession vi);
TQ_API ViStatus tq747_resetEx(ViSession vi, ViInt16 type);
TQ_API ViStatus tq747_self_test(ViSession vi, ViInt16 *result, ViChar *message);
TQ_API ViStatus tq747_error_query(ViSession vi, ViInt32 *code, ViChar *message);
TQ_API ViStatus tq747_error_message(ViSession vi, ViStatus status, ViChar *message);
TQ_API ViStatus tq747_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
TQ_API ViStatus tq747_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
TQ_API ViStatus tq747_autoConnectToFirst(ViSession *vi);
TQ_API ViStatus tq747_setSimulationMode(ViSession vi, ViBoolean mode);
TQ_API ViStatus tq747_getSimulationMode(ViSession vi, ViBoolean *ignored);
TQ_API ViStatus tq747_setInstrumentName(ViSession vi, ViConstString name);
TQ_API ViStatus tq747_getInstrumentName(ViSession vi, ViChar *name);
TQ_API ViStatus tq747_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq747_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq747_getStream(ViSession vi, ViConstString streamName, TQStream **stream);
TQ_API ViStatus tq747_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,
                                     ViChar *message);
TQ_API ViStatus tq747_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                          void *userData, ViChar *message);
TQ_API ViStatus tq747_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                            void *userData);
/* Always 0xBFFF0067: the model 747 has no waiter state. */
TQ_API ViStatus tq747_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message);
TQ_API ViStatus tq747_crossCheck(ViSession vi, ViChar *message);
TQ_API ViStatus tq747_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

/* Sites. */
TQ_API ViStatus tq747_getNumberSites(ViSession vi, ViInt16 *count);
TQ_API ViStatus tq747_getSites(ViSession vi, ViUInt32 *mask);
TQ_API ViStatus tq747_getSiteChannels(ViSession vi, ViInt16 site, ViInt16 *first, ViInt16 *last);
TQ_API ViStatus tq747_createIPSession(ViSession vi, ViInt16 site, ViSession *moduleVi);
TQ_API ViStatus tq747_readROMConfig(ViSession vi, ViInt16 site, ViUInt16 offset, ViUInt16 count, ViUInt8 *buffer);

/* Power-up state. */
TQ_API ViStatus tq747_autoRst(ViSession vi, ViInt16 save);
TQ_API ViStatus tq747_powerupSave(ViSession vi);
TQ_API ViStatus tq747_powerupClear(ViSession vi);
TQ_API ViStatus tq747_autoRstStatus(ViSession vi, ViInt16 *saved);

/* Acquisition. */
TQ_API ViStatus tq747_start(ViSession vi);
TQ_API ViStatus tq747_stop(ViSession vi);

/* Session and stream settings. */
TQ_API ViStatus tq747_setInterruptEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq747_getInterruptEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq747_setScanClockRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus tq747_getScanClockRate(ViSession vi, ViReal64 *rate);
TQ_API ViStatus tq747_setRefreshRate(ViSession vi, ViInt16 rate);
TQ_API ViStatus tq747_getRefreshRate(ViSession vi, ViInt16 *rate);
TQ_API ViStatus tq747_setRecycleRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus tq747_getRecycleRate(ViSession vi, ViReal64 *rate);
TQ_API ViStatus tq747_setBufferDuration(ViSession vi, ViInt16 seconds);
TQ_API ViStatus tq747_getBufferDuration(ViSession vi, ViInt16 *seconds);

/* Channel groups 1 to 16. */
TQ_API ViStatus tq747_setChannelGroupDebounceTime(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupDebounceTime(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupDirection(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupDirection(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupPowerupOutput(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupPowerupOutput(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupInputTermination(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupInputTermination(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupStrobeDelay(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupStrobeDelay(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupStrobeEnable(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupStrobeEnable(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupStrobePolarity(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupStrobePolarity(ViSession vi, ViInt16 group, ViInt16 *value);
TQ_API ViStatus tq747_setChannelGroupStrobeChannel(ViSession vi, ViInt16 group, ViInt16 value);
TQ_API ViStatus tq747_getChannelGroupStrobeChannel(ViSession vi, ViInt16 group, ViInt16 *value);

/* Digital channels 1 to 128 (change-of-state and pattern: 1 to the total channel count). */
TQ_API ViStatus tq747_setDigitalChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus tq747_getDigitalChannelEnable(ViSession vi, ViInt16 channel, ViInt32 *enable);
TQ_API ViStatus tq747_setDigitalChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq747_getDigitalChannelName(ViSession vi, ViInt16 channel, ViChar *name);
TQ_API ViStatus tq747_getDigitalChannelDirection(ViSession vi, ViInt16 channel, ViInt16 *direction);
TQ_API ViStatus tq747_setDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq747_getDigitalChannelChangeOfStateEnable(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq747_setDigitalChannelPatternEnable(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq747_getDigitalChannelPatternEnable(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq747_setDigitalChannelPatternBit(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq747_getDigitalChannelPatternBit(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq747_setDemoDigitalChannelFrequency(ViSession vi, ViInt16 channel, ViReal64 value);
TQ_API ViStatus tq747_getDemoDigitalChannelFrequency(ViSession vi, ViInt16 channel, ViReal64 *value);
TQ_API ViStatus tq747_setDemoDigitalChannelDutyCycle(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq747_getDemoDigitalChannelDutyCycle(ViSession vi, ViInt16 channel, ViInt16 *value);
TQ_API ViStatus tq747_setDemoDigitalChannelOffset(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq747_getDemoDigitalChannelOffset(ViSession vi, ViInt16 channel, ViInt16 *value);

/* Events 1 (change of state) and 2 (pattern recognition) and their channels. */
TQ_API ViStatus tq747_setEventEnable(ViSession vi, ViInt16 event, ViInt16 value);
TQ_API ViStatus tq747_getEventEnable(ViSession vi, ViInt16 event, ViInt16 *value);
TQ_API ViStatus tq747_setEventChannelEnable(ViSession vi, ViInt16 channel, ViInt16 value);
TQ_API ViStatus tq747_getEventChannelEnable(ViSession vi, ViInt16 channel, ViInt32 *value);
TQ_API ViStatus tq747_setEventChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq747_getEventChannelName(ViSession vi, ViInt16 channel, ViChar *name);
TQ_API ViStatus tq747_setEventChannelDuration(ViSession vi, ViInt16 channel, ViInt16 scans);
TQ_API ViStatus tq747_getEventChannelDuration(ViSession vi, ViInt16 channel, ViInt16 *scans);
TQ_API ViStatus tq747_setEventChannelPolarity(ViSession vi, ViInt16 channel, ViInt16 polarity);
TQ_API ViStatus tq747_getEventChannelPolarity(ViSession vi, ViInt16 channel, ViInt16 *polarity);

/* Range operations over the carrier and the bound sites. */
TQ_API ViStatus tq747_setDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 microseconds,
                                      ViUInt32 *actual);
TQ_API ViStatus tq747_getDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *microseconds);
TQ_API ViStatus tq747_setIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction);
TQ_API ViStatus tq747_getIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_setPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 level);
TQ_API ViStatus tq747_getPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_setResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 termination);
TQ_API ViStatus tq747_getResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *values);
TQ_API ViStatus tq747_readIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_writeIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_readPatternRecognition(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_writePatternRecognition(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_readPatternRecognitionMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_writePatternRecognitionMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_readChangeOfStateResult(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_readChangeOfStateMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);
TQ_API ViStatus tq747_writeChangeOfStateMask(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);

/* Strobes of whole groups and whole sites. */
TQ_API ViStatus tq747_setOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 nanoseconds,
                                           ViUInt32 *actual);
TQ_API ViStatus tq747_getOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *nanoseconds);
TQ_API ViStatus tq747_setStrobeEnable(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 channel);
TQ_API ViStatus tq747_getStrobeEnable(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *channels);
TQ_API ViStatus tq747_setStrobePolarity(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 polarity);
TQ_API ViStatus tq747_getStrobePolarity(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *polarities);
TQ_API ViStatus tq747_setStrobeDirection(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction);
TQ_API ViStatus tq747_getStrobeDirection(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits);

/* Detection controls; the status functions answer 0 (just matched, once),
 * 0x3FFF0004 (matched before), 0x3FFF0002 (armed) or 0x3FFF0003 (idle). */
TQ_API ViStatus tq747_startPatternRecognition(ViSession vi);
TQ_API ViStatus tq747_stopPatternRecognition(ViSession vi);
TQ_API ViStatus tq747_getPatternRecognitionStatus(ViSession vi);
TQ_API ViStatus tq747_startChangeOfState(ViSession vi);
TQ_API ViStatus tq747_stopChangeOfState(ViSession vi);
TQ_API ViStatus tq747_getChangeOfStateStatus(ViSession vi);
TQ_API ViStatus tq747_enableEvent(ViSession vi);
TQ_API ViStatus tq747_disableEvent(ViSession vi);
TQ_API ViStatus tq747_enableEventStatus(ViSession vi, ViInt16 *enabled);

#ifdef __cplusplus
}
#endif

#endif
