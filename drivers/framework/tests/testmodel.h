/* Exports of the test model's driver (libtqptest_32.so), a driver built
 * from the framework only for its tests: prefix tqtest, model code 0x999. */
#ifndef TQ_TESTMODEL_H
#define TQ_TESTMODEL_H

#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQTEST_MODEL_CODE 0x999
/* Registers in BAR2: the option word read at open, the level register that
 * the one setting goes to, and the reset register. */
#define TQTEST_OPTION_REG 0x7004
#define TQTEST_LEVEL_REG 0x10
#define TQTEST_RESET_REG 0xE0
#define TQTEST_DEFAULT_LEVEL 0x5A

ViStatus tqtest_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi);
ViStatus tqtest_close(ViSession vi);
ViStatus tqtest_reset(ViSession vi);
ViStatus tqtest_self_test(ViSession vi, ViInt16 *result, ViChar *message);
ViStatus tqtest_error_query(ViSession vi, ViInt32 *code, ViChar *message);
ViStatus tqtest_error_message(ViSession vi, ViStatus status, ViChar *message);
ViStatus tqtest_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
ViStatus tqtest_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
ViStatus tqtest_autoConnectToFirst(ViSession *vi);
ViStatus tqtest_setSimulationMode(ViSession vi, ViBoolean mode);
ViStatus tqtest_getSimulationMode(ViSession vi, ViBoolean *ignored);
ViStatus tqtest_setInstrumentName(ViSession vi, ViConstString name);
ViStatus tqtest_getInstrumentName(ViSession vi, ViChar *name);

/* The model's one setting: stored in simulation, written to the level
 * register otherwise. */
ViStatus tqtest_setLevel(ViSession vi, ViUInt32 level);
ViStatus tqtest_getLevel(ViSession vi, ViUInt32 *level);
/* What the framework did to the session. */
ViStatus tqtest_getState(ViSession vi, ViUInt16 *mode, ViUInt32 *optionWord, ViChar *resourceName);
/* Routes the session's status lines to a callback. */
typedef void (*TqTestLineSink)(void *context, const char *line);
ViStatus tqtest_setStatusSink(ViSession vi, TqTestLineSink sink, void *context);
/* The rest of what every driver exports. */
ViStatus tqtest_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
ViStatus tqtest_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
ViStatus tqtest_getStream(ViSession vi, ViConstString streamName, TQStream **stream);
ViStatus tqtest_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message);
ViStatus tqtest_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler, void *userData,
                                    ViChar *message);
ViStatus tqtest_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler, void *userData);
ViStatus tqtest_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message);
ViStatus tqtest_crossCheck(ViSession vi, ViChar *message);
ViStatus tqtest_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

/* Settings reached by name (every one stored in the session):
 *   Gain (16-bit, 1 to 100), Rate (double, above 0 and at most 1000; also the
 *   stream's rate), Count (32-bit), Verbose (16-bit flag, printed unsigned),
 *   ChannelEnable (index 1-2 analog, 3-5 event channels 1-3; 0 or 1),
 *   ChannelScale (index 1-2; double: c1 of the channel's polynomial),
 *   ChannelName (index 1-5; text), ChannelRange (index 1-2; 1 to 13),
 *   Trigger (16-bit, set only), Serial (16-bit, get only) and the read-only
 *   ChannelCount (2). Gain, Count and ChannelEnable write a trace line. */
#define TQTEST_ANALOG_CHANNELS 2
#define TQTEST_EVENT_CHANNELS 3
#define TQTEST_EVENTS 8 /* events 1 to 8; events 1 to 3 have event channels */
#define TQTEST_RING_SCANS 16

ViStatus tqtest_setGain(ViSession vi, ViInt16 gain);
ViStatus tqtest_getGain(ViSession vi, ViInt16 *gain);
ViStatus tqtest_setRate(ViSession vi, ViReal64 rate);
ViStatus tqtest_getRate(ViSession vi, ViReal64 *rate);
ViStatus tqtest_setCount(ViSession vi, ViInt32 count);
ViStatus tqtest_getCount(ViSession vi, ViInt32 *count);
ViStatus tqtest_setVerbose(ViSession vi, ViBoolean verbose);
ViStatus tqtest_getVerbose(ViSession vi, ViBoolean *verbose);
ViStatus tqtest_setChannelEnable(ViSession vi, ViInt16 channel, ViBoolean enable);
ViStatus tqtest_getChannelEnable(ViSession vi, ViInt16 channel, ViBoolean *enable);
ViStatus tqtest_setChannelScale(ViSession vi, ViInt16 channel, ViReal64 scale);
ViStatus tqtest_getChannelScale(ViSession vi, ViInt16 channel, ViReal64 *scale);
ViStatus tqtest_setChannelName(ViSession vi, ViInt16 channel, ViConstString name);
ViStatus tqtest_getChannelName(ViSession vi, ViInt16 channel, ViChar *name);
ViStatus tqtest_setChannelRange(ViSession vi, ViInt16 channel, ViInt16 range);
ViStatus tqtest_getChannelRange(ViSession vi, ViInt16 channel, ViInt16 *range);
ViStatus tqtest_setTrigger(ViSession vi, ViInt16 trigger);
ViStatus tqtest_getSerial(ViSession vi, ViInt16 *serial);
ViStatus tqtest_getChannelCount(ViSession vi, ViInt16 *count);
ViStatus tqtest_setChannelCount(ViSession vi, ViInt16 count);

/* Operations by name: "reset", "start" and "stop" (status lines
 * "[%s]start:%s" and "[%s]stop:%s" with the status text), "label" (keeps
 * its argument; tqtest_getLabel reads it). */
ViStatus tqtest_start(ViSession vi);
ViStatus tqtest_stop(ViSession vi);
ViStatus tqtest_getLabel(ViSession vi, ViChar *label);

/* The data path: writes count scans into the session's ring of
 * TQTEST_RING_SCANS scans, under the stream's lock. Scan i holds, for each
 * enabled analog channel c, the sample (int16)(first + i) * c, and, when an
 * event channel is enabled, the event word (uint16)(first + i). */
ViStatus tqtest_writeScans(ViSession vi, ViInt32 count, ViInt16 first);

/* Raises the events whose bits are set (event e is bit e - 1; events 1 to 8)
 * as an interrupt would: handlers for each pending event, lowest first, with
 * the text "Event %d", then the waiters with the text of the lowest event;
 * the bits stay pending for getEventStatus until cleared. clearMask (may be
 * null) receives what the handlers asked to clear, which is cleared then.
 * Returns 0, or 0xBFFF0015 when the waiters could not be woken. */
ViStatus tqtest_raiseEvents(ViSession vi, ViUInt32 bits, ViUInt32 *clearMask);
/* Threads inside tqtest_wait on the session. */
ViStatus tqtest_waitingThreads(ViSession vi, ViInt32 *count);

/* Register fields through the framework's shared operations. */
ViStatus tqtest_setField(ViSession vi, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift, ViUInt32 value);
ViStatus tqtest_getField(ViSession vi, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift, ViUInt32 *value);

#ifdef __cplusplus
}
#endif

#endif
