/* Driver of the model 775 frequency counter (libtqp775_32.so).
 *
 * A PXI module with eight counter channels. Over an observation window of 1
 * to 1024 ms each channel counts its input events (18 bits) and the ticks
 * of a tick clock (32 bits); a channel's frequency is the tick-clock
 * frequency times events divided by ticks.
 *
 * An acquisition thread writes one scan per observation window into the
 * session's stream: 8 bytes per enabled channel in channel order, the event
 * count then the tick count, each a 32-bit integer. The counters' overflow
 * flags raise instrument event 1 through the board's interrupt.
 *
 * Every function returns a VISA status. */
#ifndef TQ775_H
#define TQ775_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQ775_WARN_STALE ((ViStatus)0x1FFF0001)          /* stale data on a channel */
#define TQ775_WARN_OVERFLOW ((ViStatus)0x1FFF0002)       /* overflow on a channel */
#define TQ775_WARN_FIELD_STATE ((ViStatus)0x1FFF0004)    /* a register field in a state the driver never writes */
#define TQ775_WARN_NO_FEATURE ((ViStatus)0x1FFFFFFF)     /* a feature this board lacks */
#define TQ775_WARN_ALREADY_RUNNING ((ViStatus)0x3FFC0109) /* "Device already Running." */
#define TQ775_ERROR_NO_CHANNELS ((ViStatus)0xBFFC0107)   /* "Operation failed because no channels are enabled." */
#define TQ775_ERROR_RUNNING ((ViStatus)0xBFFC0108)       /* "Operation failed because device is running." */
#define TQ775_ERROR_PARAMETER2 ((ViStatus)0xBFFC0002)   /* a choice outside the accessor's list */
#define TQ775_ERROR_PARAMETER3 ((ViStatus)0xBFFC0003)   /* a threshold outside 15 to 20 */
#define TQ775_ERROR_WINDOW ((ViStatus)0xBFFC0800)        /* observation window outside 1 to 1024 ms */
#define TQ775_ERROR_THRESHOLD ((ViStatus)0xBFFC0802)
#define TQ775_ERROR_CHANNEL ((ViStatus)0xBFFC0806)       /* channel outside 1 to 8 */
#define TQ775_ERROR_TTL_OPTION ((ViStatus)0xBFFC080C)
#define TQ775_ERROR_THRESHOLD_OPTION ((ViStatus)0xBFFC080E) /* threshold not offered by the board's option */

#define TQ775_MODEL_CODE 0x775
#define TQ775_MANUFACTURER_ID 0x3c5a

/* Choice values. */
#define TQ775_TRIGGER_LINE0 0
#define TQ775_TRIGGER_LINE1 1
#define TQ775_TRIGGER_LINE2 2
#define TQ775_TRIGGER_LINE3 3
#define TQ775_TRIGGER_LINE4 4
#define TQ775_TRIGGER_LINE5 5
#define TQ775_TRIGGER_LINE6 6
#define TQ775_TRIGGER_LINE7 7
#define TQ775_TRIGGER_STAR 8
#define TQ775_NO_CONNECTION 9
#define TQ775_10MHZ_TICK_CLOCK 10
#define TQ775_1MHZ_TICK_CLOCK 11
#define TQ775_INTERNAL_WINDOW 12
#define TQ775_INTERNAL_TICK 13
#define TQ775_10MHZ_SYSTEM_CLOCK 14
#define TQ775_THLDINDX_20 15
#define TQ775_THLDINDX_40 16
#define TQ775_THLDINDX_100 17
#define TQ775_THLDINDX_200 18
#define TQ775_THLDINDX_500 19
#define TQ775_THLDINDX_1000 20
#define TQ775_DIFFERENTIAL_INPUT 21
#define TQ775_TTL_INPUT 22
#define TQ775_AC_COUPLING 23
#define TQ775_DC_COUPLING 24
#define TQ775_DIFFERENTIAL_HEALTHCHECK 25
#define TQ775_TTL_HEALTHCHECK 26
#define TQ775_DISABLE_HEALTHCHECK 27
#define TQ775THRESHOLDOPTIONA 1
#define TQ775THRESHOLDOPTIONB 2

/* Template entry points. */
TQ_API ViStatus tq775_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi);
TQ_API ViStatus tq775_close(ViSession vi);
TQ_API ViStatus tq775_reset(ViSession vi);
TQ_API ViStatus tq775_self_test(ViSession vi, ViInt16 *result, ViChar *message);
TQ_API ViStatus tq775_error_query(ViSession vi, ViInt32 *code, ViChar *message);
TQ_API ViStatus tq775_error_message(ViSession vi, ViStatus status, ViChar *message);
TQ_API ViStatus tq775_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
TQ_API ViStatus tq775_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
TQ_API ViStatus tq775_autoConnectToFirst(ViSession *vi);
TQ_API ViStatus tq775_setSimulationMode(ViSession vi, ViBoolean mode);
TQ_API ViStatus tq775_getSimulationMode(ViSession vi, ViBoolean *ignored);
TQ_API ViStatus tq775_setInstrumentName(ViSession vi, ViConstString name);
TQ_API ViStatus tq775_getInstrumentName(ViSession vi, ViChar *name);
TQ_API ViStatus tq775_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq775_getStream(ViSession vi, ViConstString streamName, TQStream **stream);
TQ_API ViStatus tq775_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message);
TQ_API ViStatus tq775_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                          void *userData, ViChar *message);
TQ_API ViStatus tq775_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                            void *userData);
TQ_API ViStatus tq775_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message);
TQ_API ViStatus tq775_crossCheck(ViSession vi, ViChar *message);
TQ_API ViStatus tq775_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

/* Acquisition. */
TQ_API ViStatus tq775_getNumChannels(ViSession vi, ViInt16 *count);
TQ_API ViStatus tq775_start(ViSession vi);
TQ_API ViStatus tq775_stop(ViSession vi);

/* Properties. */
TQ_API ViStatus tq775_getThresholdOption(ViSession vi, ViInt16 *option);
TQ_API ViStatus tq775_setThresholdOption(ViSession vi, TQPnPHandle *unused); /* not supported */
TQ_API ViStatus tq775_setObservationWindowSize(ViSession vi, ViInt16 ms);
TQ_API ViStatus tq775_getObservationWindowSize(ViSession vi, ViInt16 *ms);
TQ_API ViStatus tq775_setTickClockRate(ViSession vi, ViInt16 rate);
TQ_API ViStatus tq775_getTickClockRate(ViSession vi, ViInt16 *rate);
TQ_API ViStatus tq775_setTickClockSource(ViSession vi, ViInt16 source);
TQ_API ViStatus tq775_getTickClockSource(ViSession vi, ViInt16 *source);
TQ_API ViStatus tq775_setTickClockToTriggerLineOut(ViSession vi, ViInt16 line);
TQ_API ViStatus tq775_getTickClockToTriggerLineOut(ViSession vi, ViInt16 *line);
TQ_API ViStatus tq775_setWindowClockSource(ViSession vi, ViInt16 source);
TQ_API ViStatus tq775_getWindowClockSource(ViSession vi, ViInt16 *source);
TQ_API ViStatus tq775_setWindowClockToTriggerLineOut(ViSession vi, ViInt16 line);
TQ_API ViStatus tq775_getWindowClockToTriggerLineOut(ViSession vi, ViInt16 *line);
TQ_API ViStatus tq775_setInterruptEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq775_getInterruptEnable(ViSession vi, ViInt16 *enable);
TQ_API ViStatus tq775_setHealthCheck(ViSession vi, ViInt16 check);
TQ_API ViStatus tq775_getHealthCheck(ViSession vi, ViInt16 *check);
TQ_API ViStatus tq775_setInterruptMask(ViSession vi, ViInt16 mask);
TQ_API ViStatus tq775_getInterruptMask(ViSession vi, ViInt16 *mask);
TQ_API ViStatus tq775_setInterruptLevel(ViSession vi, ViInt16 level);
TQ_API ViStatus tq775_getInterruptLevel(ViSession vi, ViInt16 *level);
TQ_API ViStatus tq775_setContinuousScanEnable(ViSession vi, ViInt16 flag);
TQ_API ViStatus tq775_getContinuousScanEnable(ViSession vi, ViInt16 *flag);
TQ_API ViStatus tq775_setChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus tq775_getChannelEnable(ViSession vi, ViInt16 channel, ViInt32 *enable);
TQ_API ViStatus tq775_setChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq775_getChannelName(ViSession vi, ViInt16 channel, ViChar *name);
TQ_API ViStatus tq775_setChannelThreshold(ViSession vi, ViInt16 channel, ViInt16 threshold);
TQ_API ViStatus tq775_getChannelThreshold(ViSession vi, ViInt16 channel, ViInt16 *threshold);
TQ_API ViStatus tq775_setChannelFilterEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus tq775_getChannelFilterEnable(ViSession vi, ViInt16 channel, ViInt16 *enable);
TQ_API ViStatus tq775_setChannelInterruptEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus tq775_getChannelInterruptEnable(ViSession vi, ViInt16 channel, ViInt32 *enable);
TQ_API ViStatus tq775_setChannelCoupling(ViSession vi, ViInt16 channel, ViInt16 coupling);
TQ_API ViStatus tq775_getChannelCoupling(ViSession vi, ViInt16 channel, ViInt16 *coupling);
TQ_API ViStatus tq775_setChannelInputType(ViSession vi, ViInt16 channel, ViInt16 type);
TQ_API ViStatus tq775_getChannelInputType(ViSession vi, ViInt16 channel, ViInt16 *type);

/* Direct measurement (without the stream). */
TQ_API ViStatus tq775_readFrequency(ViSession vi, ViReal64 frequencies[8]);
TQ_API ViStatus tq775_readFrequencyWithStatus(ViSession vi, ViReal64 frequencies[8], ViInt16 overflow[8],
                                              ViInt16 stale[8]);
TQ_API ViStatus tq775_readCounters(ViSession vi, ViInt32 counts[8], ViInt32 ticks[8]);
TQ_API ViStatus tq775_readSingleChannelCounters(ViSession vi, ViInt16 channel, ViInt32 *count, ViInt32 *ticks);
TQ_API ViStatus tq775_readSingleChannelFrequency(ViSession vi, ViInt16 channel, ViReal64 *frequency);
TQ_API ViStatus tq775_getCountStatus(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 overflow[], ViInt16 stale[]);
TQ_API ViStatus tq775_clearCountStatus(ViSession vi, ViInt16 clearStale, ViInt16 clearOverflow, ViInt16 first,
                                       ViInt16 last);
TQ_API ViStatus tq775_executeSingleScan(ViSession vi, ViUInt16 channelMask, ViInt32 timeoutSeconds,
                                        ViReal64 frequencies[]);

#ifdef __cplusplus
}
#endif

#endif
