/* Driver of the model 718 bridge-conditioning digitizer (libtqp718_32.so).
 *
 * A PXI digitizer for four isolated analog channels with bridge conditioning
 * (excitation source, bridge completion, balance DAC, shunt calibration),
 * 13 programmable input ranges, optional anti-alias filters, limit checking,
 * PXI trigger routing and two front-panel I/O lines. Scans hold one signed
 * 16-bit sample per enabled analog channel in channel order and, when any
 * event channel is enabled, one 16-bit event word (event channel n is bit
 * n - 1).
 *
 * Every function returns a VISA status. A session opened without a resource
 * name runs without hardware and keeps every setting in the session; so
 * does a session switched to simulation with tq718_setSimulationMode(vi, 1),
 * until simulation is left again and every stored setting is written to the
 * board.
 *
 * Channel arguments: analog channels 1 to 4, event channels 1 to 15; where a
 * setter says "0 = all", channel 0 sets every channel in order and stops at
 * the first failure. A value outside its choices gives 0xBFFF0078
 * (VI_ERROR_INV_PARAMETER) and changes nothing. */
#ifndef TQ718_H
#define TQ718_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses of this driver. */
#define TQ718_WARN_ALREADY_RUNNING ((ViStatus)0x3FFC0109) /* "Device already Running." */
#define TQ718_ERROR_NO_CHANNELS ((ViStatus)0xBFFC0107)    /* "Operation failed because no channels are enabled." */
#define TQ718_ERROR_RUNNING ((ViStatus)0xBFFC0108)        /* "Operation failed because device is running." */

#define TQ718_MODEL_CODE 0x718
#define TQ718_MANUFACTURER_ID 0x3c5a

/* Channel kinds of tq718_getChannelEngineeringUnits and tq718_getChannelNumber. */
#define TQ718_KIND_ANALOG 1
#define TQ718_KIND_EVENT 5

/* ---- Sessions (the driver template) ---------------------------------------- */

TQ_API ViStatus tq718_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi);
TQ_API ViStatus tq718_close(ViSession vi);
TQ_API ViStatus tq718_reset(ViSession vi);
TQ_API ViStatus tq718_self_test(ViSession vi, ViInt16 *result, ViChar *message);
TQ_API ViStatus tq718_error_query(ViSession vi, ViInt32 *code, ViChar *message);
/* Takes no notice of vi: describes status with the most recently opened
 * session (0xBFFF0000 while none is open). */
TQ_API ViStatus tq718_error_message(ViSession vi, ViStatus status, ViChar *message);
TQ_API ViStatus tq718_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
TQ_API ViStatus tq718_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
TQ_API ViStatus tq718_autoConnectToFirst(ViSession *vi);
TQ_API ViStatus tq718_setSimulationMode(ViSession vi, ViBoolean mode);
/* Returns the simulation flag (0 or 1) itself; the argument is not written. */
TQ_API ViStatus tq718_getSimulationMode(ViSession vi, ViBoolean *ignored);
TQ_API ViStatus tq718_setInstrumentName(ViSession vi, ViConstString name);
TQ_API ViStatus tq718_getInstrumentName(ViSession vi, ViChar *name);

/* ---- PnP handle, stream, events and message sinks ------------------------------ */

TQ_API ViStatus tq718_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);
TQ_API ViStatus tq718_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq718_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
/* Checks the stored configuration; on the first failure one line of text
 * into message (256 bytes) and a negative status. */
TQ_API ViStatus tq718_crossCheck(ViSession vi, ViChar *message);
TQ_API ViStatus tq718_getStream(ViSession vi, ViConstString streamName, TQStream **stream);
/* Events 1 to 18 except 14 and 16. */
TQ_API ViStatus tq718_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message);
TQ_API ViStatus tq718_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler, void *userData,
                                          ViChar *message);
TQ_API ViStatus tq718_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                            void *userData);
TQ_API ViStatus tq718_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message);

/* ---- Board and channels ------------------------------------------------------- */

/* The VISA resource name of a VISA session (no session lookup). */
TQ_API ViStatus tq718_getRsrcName(ViSession vi, ViChar *name);
TQ_API ViStatus tq718_getNumberChannels(ViSession vi, ViInt16 *count);
TQ_API ViStatus tq718_getNumberConnectors(ViSession vi, ViInt16 *count);
/* connector = channel, first = 5, second = 10; null pointers are skipped. */
TQ_API ViStatus tq718_getChannelLocation(ViSession vi, ViInt16 channel, ViInt16 *connector, ViInt16 *first,
                                         ViInt16 *second);
TQ_API ViStatus tq718_getAnalogChannelConnector(ViSession vi, ViInt16 channel, ViInt16 *connector);
/* kind TQ718_KIND_ANALOG or TQ718_KIND_EVENT; units receives up to 63 characters. */
TQ_API ViStatus tq718_getChannelEngineeringUnits(ViSession vi, ViInt16 kind, ViInt16 number, ViChar *units);
/* The channel whose name is name (analog channels first): its kind and
 * number; 0xBFFF0078 when no channel has that name. */
TQ_API ViStatus tq718_getChannelNumber(ViSession vi, ViConstString name, ViInt16 *kind, ViInt16 *number);

/* Read from the board's option words at open; the setters answer 0xBFFF0067. */
TQ_API ViStatus tq718_getAnalogChannelCount(ViSession vi, ViInt16 *count);
TQ_API ViStatus tq718_setAnalogChannelCount(ViSession vi, ViInt16 count);
TQ_API ViStatus tq718_getFilterReady(ViSession vi, ViBoolean *ready);
TQ_API ViStatus tq718_setFilterReady(ViSession vi, ViBoolean ready);
TQ_API ViStatus tq718_getFilterOption(ViSession vi, ViInt16 *option);
TQ_API ViStatus tq718_setFilterOption(ViSession vi, ViInt16 option);
TQ_API ViStatus tq718_getFilterType(ViSession vi, ViInt16 *type);
TQ_API ViStatus tq718_setFilterType(ViSession vi, ViInt16 type);

/* ---- Session settings -------------------------------------------------------- */

/* 0 off, any other value on. */
TQ_API ViStatus tq718_setInterruptEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus tq718_getInterruptEnable(ViSession vi, ViInt16 *enable);
/* 1 internal, 2 I/O 1, 3 I/O 2, 4-11 PXI trigger lines 0-7, 12 PXI star. */
TQ_API ViStatus tq718_setScanClockSource(ViSession vi, ViInt16 source);
TQ_API ViStatus tq718_getScanClockSource(ViSession vi, ViInt16 *source);
/* Hz, at most 250000. On the internal clock the rate must give a divider
 * 2e7 / rate - 2 that fits 32 bits (about 0.0047 Hz and up); an external
 * clock takes any positive rate. */
TQ_API ViStatus tq718_setScanClockRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus tq718_getScanClockRate(ViSession vi, ViReal64 *rate);
/* Source, then rate. */
TQ_API ViStatus tq718_setScanClock(ViSession vi, ViInt16 source, ViReal64 rate);
TQ_API ViStatus tq718_getScanClock(ViSession vi, ViInt16 *source, ViReal64 *rate);
/* Segments per second and seconds of the acquisition ring, above 0. */
TQ_API ViStatus tq718_setRefreshRate(ViSession vi, ViInt16 rate);
TQ_API ViStatus tq718_getRefreshRate(ViSession vi, ViInt16 *rate);
TQ_API ViStatus tq718_setBufferDuration(ViSession vi, ViInt16 seconds);
TQ_API ViStatus tq718_getBufferDuration(ViSession vi, ViInt16 *seconds);
/* 0 none, 1 I/O 1, 2 I/O 2, 3-10 PXI lines 0-7, 11 PXI star. */
TQ_API ViStatus tq718_setStartCondition(ViSession vi, ViInt16 condition);
TQ_API ViStatus tq718_getStartCondition(ViSession vi, ViInt16 *condition);
TQ_API ViStatus tq718_setStopCondition(ViSession vi, ViInt16 condition);
TQ_API ViStatus tq718_getStopCondition(ViSession vi, ViInt16 *condition);
/* As the start condition, and 12 limit violation. */
TQ_API ViStatus tq718_setTransientCondition(ViSession vi, ViInt16 condition);
TQ_API ViStatus tq718_getTransientCondition(ViSession vi, ViInt16 *condition);
TQ_API ViStatus tq718_setTransientNumScans(ViSession vi, ViInt32 scans);
TQ_API ViStatus tq718_getTransientNumScans(ViSession vi, ViInt32 *scans);
/* 1 or 2. */
TQ_API ViStatus tq718_setTriggerMode(ViSession vi, ViInt16 mode);
TQ_API ViStatus tq718_getTriggerMode(ViSession vi, ViInt16 *mode);
/* 1 manual, 2 triggered. */
TQ_API ViStatus tq718_setAcqMode(ViSession vi, ViInt16 mode);
TQ_API ViStatus tq718_getAcqMode(ViSession vi, ViInt16 *mode);
/* Calibration mode: 1 "Fast Cal", 2 "Mixed Cal", 3 "Accuracy Cal". */
TQ_API ViStatus tq718_setTransformType(ViSession vi, ViInt16 type);
TQ_API ViStatus tq718_getTransformType(ViSession vi, ViInt16 *type);
/* 0 off, 1-8 PXI lines 0-7. */
TQ_API ViStatus tq718_setScanClockToPXILine(ViSession vi, ViInt16 line);
TQ_API ViStatus tq718_getScanClockToPXILine(ViSession vi, ViInt16 *line);
TQ_API ViStatus tq718_setLimitViolationToPXILine(ViSession vi, ViInt16 line);
TQ_API ViStatus tq718_getLimitViolationToPXILine(ViSession vi, ViInt16 *line);
TQ_API ViStatus tq718_setVerboseEnable(ViSession vi, ViBoolean enable);
TQ_API ViStatus tq718_getVerboseEnable(ViSession vi, ViBoolean *enable);

/* I/O lines 1 and 2. Inversion 0 or 1; input route 1 not routed, 2-9 PXI
 * lines 0-7; output route 1 none, 2-9 PXI lines 0-7, 10 scan clock, 11 limit
 * violation. */
TQ_API ViStatus tq718_setIOInputInversion(ViSession vi, ViInt16 line, ViBoolean invert);
TQ_API ViStatus tq718_getIOInputInversion(ViSession vi, ViInt16 line, ViBoolean *invert);
TQ_API ViStatus tq718_setIOOutputInversion(ViSession vi, ViInt16 line, ViBoolean invert);
TQ_API ViStatus tq718_getIOOutputInversion(ViSession vi, ViInt16 line, ViBoolean *invert);
TQ_API ViStatus tq718_setIOInputRoute(ViSession vi, ViInt16 line, ViInt16 route);
TQ_API ViStatus tq718_getIOInputRoute(ViSession vi, ViInt16 line, ViInt16 *route);
TQ_API ViStatus tq718_setIOOutputRoute(ViSession vi, ViInt16 line, ViInt16 route);
TQ_API ViStatus tq718_getIOOutputRoute(ViSession vi, ViInt16 line, ViInt16 *route);

/* Event e (1 to 18 except 14 and 16) enabled, 0 or 1. */
TQ_API ViStatus tq718_setEventEnable(ViSession vi, ViInt16 event, ViBoolean enable);
TQ_API ViStatus tq718_getEventEnable(ViSession vi, ViInt16 event, ViBoolean *enable);

/* Register accessors that reach the board whatever the simulation flag. */
TQ_API ViStatus tq718_setEventEnableMask(ViSession vi, ViUInt32 mask);
TQ_API ViStatus tq718_setEventDisableMask(ViSession vi, ViUInt32 mask);
TQ_API ViStatus tq718_getEventEnableMask(ViSession vi, ViUInt32 *mask);
/* 0-9: the references of ranges 1-10, 10-12: of ranges 11-13, 13 ground,
 * 14-26: the negative references of ranges 1-13. */
TQ_API ViStatus tq718_setCalibratorVoltage(ViSession vi, ViInt16 setting);
TQ_API ViStatus tq718_getCalibratorVoltage(ViSession vi, ViInt16 *setting);
/* 0, 1, 2. */
TQ_API ViStatus tq718_setCalibrationSource(ViSession vi, ViInt16 source);
TQ_API ViStatus tq718_getCalibrationSource(ViSession vi, ViInt16 *source);
/* Limit-violation channels (bit c - 1) into *channels when not null, then
 * the bits of clearMask cleared when it is not 0. */
TQ_API ViStatus tq718_getAnalogChannelLimitCheckChannels(ViSession vi, ViUInt32 *channels, ViUInt32 clearMask);
/* Channels whose excitation alarm is up (bit c - 1). */
TQ_API ViStatus tq718_getAnalogChannelExcAlmChannels(ViSession vi, ViUInt32 *channels);
/* The event status word into *status when not null, then the bits of
 * clearMask cleared. */
TQ_API ViStatus tq718_getEventSource(ViSession vi, ViUInt32 *status, ViUInt32 clearMask);

/* ---- Analog channels ------------------------------------------------------ */

/* 0 = all; 0 or 1. */
TQ_API ViStatus tq718_setAnalogChannelEnable(ViSession vi, ViInt16 channel, ViBoolean enable);
TQ_API ViStatus tq718_getAnalogChannelEnable(ViSession vi, ViInt16 channel, ViBoolean *enable);
/* Below 128 characters (else 0xBFFF0083); an empty text empties the name. */
TQ_API ViStatus tq718_setAnalogChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq718_getAnalogChannelName(ViSession vi, ViInt16 channel, ViChar *name);
/* 0 = all; 1-13: 10 V, 5 V, 2 V, 1 V, 500 mV, 200 mV, 100 mV, 50 mV, 20 mV,
 * 10 mV, 5 mV, 2 mV, 1 mV full scale. */
TQ_API ViStatus tq718_setAnalogChannelInputVoltageRange(ViSession vi, ViInt16 channel, ViInt16 range);
TQ_API ViStatus tq718_getAnalogChannelInputVoltageRange(ViSession vi, ViInt16 channel, ViInt16 *range);
/* 0 = all; 1 input, 2, 3 calibration input, 4 excitation monitor, 6. */
TQ_API ViStatus tq718_setAnalogChannelMux(ViSession vi, ViInt16 channel, ViInt16 mux);
TQ_API ViStatus tq718_getAnalogChannelMux(ViSession vi, ViInt16 channel, ViInt16 *mux);
/* 0 = all; 1 before the filter, 2 after it. */
TQ_API ViStatus tq718_setAnalogChannelBufferSource(ViSession vi, ViInt16 channel, ViInt16 source);
TQ_API ViStatus tq718_getAnalogChannelBufferSource(ViSession vi, ViInt16 channel, ViInt16 *source);
/* 0 = all; 1 off, 2 minimum and maximum, 3 level and slope. */
TQ_API ViStatus tq718_setAnalogChannelLimitCheckMode(ViSession vi, ViInt16 channel, ViInt16 mode);
TQ_API ViStatus tq718_getAnalogChannelLimitCheckMode(ViSession vi, ViInt16 channel, ViInt16 *mode);
/* 0 = all; volts: the minimum (or level) and the maximum (or slope). */
TQ_API ViStatus tq718_setAnalogChannelLimitCheckMinLvl(ViSession vi, ViInt16 channel, ViReal64 volts);
TQ_API ViStatus tq718_getAnalogChannelLimitCheckMinLvl(ViSession vi, ViInt16 channel, ViReal64 *volts);
TQ_API ViStatus tq718_setAnalogChannelLimitCheckMaxSlope(ViSession vi, ViInt16 channel, ViReal64 volts);
TQ_API ViStatus tq718_getAnalogChannelLimitCheckMaxSlope(ViSession vi, ViInt16 channel, ViReal64 *volts);
/* 0 = all; 1 voltage ("volts"), 2 bridge ("percent"). */
TQ_API ViStatus tq718_setAnalogChannelSensorType(ViSession vi, ViInt16 channel, ViInt16 type);
TQ_API ViStatus tq718_getAnalogChannelSensorType(ViSession vi, ViInt16 channel, ViInt16 *type);
/* 0 = all; 1 20 Hz, 2 200 Hz, 3 1 kHz, 4 2 kHz, 5 5 kHz, 6 10 kHz, 7 20 kHz,
 * 8 50 kHz, 9 no filtering. */
TQ_API ViStatus tq718_setAnalogChannelFilter(ViSession vi, ViInt16 channel, ViInt16 filter);
TQ_API ViStatus tq718_getAnalogChannelFilter(ViSession vi, ViInt16 channel, ViInt16 *filter);
/* The filter settings the board allows: at most max of them into filters,
 * their number into *count. */
TQ_API ViStatus tq718_getAnalogChannelSupportedFilters(ViSession vi, ViInt16 max, ViInt16 *filters, ViInt16 *count);
/* 0 = all; volts (voltage source) or milliamperes (current source, at most 50). */
TQ_API ViStatus tq718_setAnalogChannelExcitation(ViSession vi, ViInt16 channel, ViReal64 value);
TQ_API ViStatus tq718_getAnalogChannelExcitation(ViSession vi, ViInt16 channel, ViReal64 *value);
/* 0 = all; 1 off, 2 voltage source, 3 current source. */
TQ_API ViStatus tq718_setAnalogChannelExcitationType(ViSession vi, ViInt16 channel, ViInt16 type);
TQ_API ViStatus tq718_getAnalogChannelExcitationType(ViSession vi, ViInt16 channel, ViInt16 *type);
/* 0 = all; 1 or 2. */
TQ_API ViStatus tq718_setAnalogChannelSense(ViSession vi, ViInt16 channel, ViInt16 sense);
TQ_API ViStatus tq718_getAnalogChannelSense(ViSession vi, ViInt16 channel, ViInt16 *sense);
/* 0 = all; 1-4 (3 and 4 use the same completion and read back as 3). */
TQ_API ViStatus tq718_setAnalogChannelBridgeConfiguration(ViSession vi, ViInt16 channel, ViInt16 configuration);
TQ_API ViStatus tq718_getAnalogChannelBridgeConfiguration(ViSession vi, ViInt16 channel, ViInt16 *configuration);
/* 0 = all; 0 or 1. */
TQ_API ViStatus tq718_setAnalogChannelBridgeBalanceEnable(ViSession vi, ViInt16 channel, ViBoolean enable);
TQ_API ViStatus tq718_getAnalogChannelBridgeBalanceEnable(ViSession vi, ViInt16 channel, ViBoolean *enable);
/* 0 = all. */
TQ_API ViStatus tq718_setAnalogChannelShuntCalPolarity(ViSession vi, ViInt16 channel, ViInt16 polarity);
TQ_API ViStatus tq718_getAnalogChannelShuntCalPolarity(ViSession vi, ViInt16 channel, ViInt16 *polarity);
TQ_API ViStatus tq718_setAnalogChannelPositiveShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 percent);
TQ_API ViStatus tq718_getAnalogChannelPositiveShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 *percent);
TQ_API ViStatus tq718_setAnalogChannelNegativeShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 percent);
TQ_API ViStatus tq718_getAnalogChannelNegativeShuntedPcnt(ViSession vi, ViInt16 channel, ViReal64 *percent);

/* Settings of the demonstration signal of each channel. Type 1-5. */
TQ_API ViStatus tq718_setDemoAnalogChannelType(ViSession vi, ViInt16 channel, ViInt16 type);
TQ_API ViStatus tq718_getDemoAnalogChannelType(ViSession vi, ViInt16 channel, ViInt16 *type);
TQ_API ViStatus tq718_setDemoAnalogChannelScale(ViSession vi, ViInt16 channel, ViReal64 scale);
TQ_API ViStatus tq718_getDemoAnalogChannelScale(ViSession vi, ViInt16 channel, ViReal64 *scale);
TQ_API ViStatus tq718_setDemoAnalogChannelOffset(ViSession vi, ViInt16 channel, ViReal64 offset);
TQ_API ViStatus tq718_getDemoAnalogChannelOffset(ViSession vi, ViInt16 channel, ViReal64 *offset);
TQ_API ViStatus tq718_setDemoAnalogChannelNoise(ViSession vi, ViInt16 channel, ViReal64 noise);
TQ_API ViStatus tq718_getDemoAnalogChannelNoise(ViSession vi, ViInt16 channel, ViReal64 *noise);

/* ---- Event channels -------------------------------------------------------- */

/* 0 = all, 1-15; 0 or 1. */
TQ_API ViStatus tq718_setEventChannelEnable(ViSession vi, ViInt16 channel, ViBoolean enable);
TQ_API ViStatus tq718_getEventChannelEnable(ViSession vi, ViInt16 channel, ViBoolean *enable);
TQ_API ViStatus tq718_setEventChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq718_getEventChannelName(ViSession vi, ViInt16 channel, ViChar *name);

/* ---- Acquisition ----------------------------------------------------------- */

/* Continuous acquisition into a ring of DMA segments (RefreshRate segments
 * per second, BufferDuration seconds); the stream's readers read the scans
 * in place. 0x3FFC0109 when already running, 0xBFFC0107 without an enabled
 * channel. Both print "[%s]start:%s" / "[%s]stop:%s" to the status sink. */
TQ_API ViStatus tq718_start(ViSession vi);
TQ_API ViStatus tq718_stop(ViSession vi);
/* Acquires scans scans of analog channels 1 to channels (the others are
 * disabled) and waits for them; values receives the calibrated values,
 * interleaved by channel within each scan (length at least channels x scans). */
TQ_API ViStatus tq718_getScans(ViSession vi, ViInt16 channels, ViInt16 scans, ViReal64 *values, ViInt32 length);
/* A ring of the caller's size, kept by the next start; refused while running. */
TQ_API ViStatus tq718_allocateMBfrConfiguration(ViSession vi, ViInt16 segments, ViInt32 scansPerSegment);
/* 0xBFFF0057 without a ring; refused while running. */
TQ_API ViStatus tq718_freeMBfrConfiguration(ViSession vi);

/* ---- Calibration ------------------------------------------------------------ */

/* Asks the caller of an external calibration to apply *value volts to every
 * channel input and resume. */
#define TQ718_CAL_APPLY_VALUE ((ViStatus)0x3FFF0080)
/* A bridge's balance DAC reached the end of its range before the bridge
 * output changed sign; the calibration is otherwise complete. */
#define TQ718_WARN_BALANCE_SATURATED ((ViStatus)0x3FFF000C)

/* Calibrates every input range of the four channels against the board's
 * internal references, in the mode of tq718_setTransformType, then balances,
 * scales and shunt-calibrates the bridge channels. Progress goes to the
 * handlers of event 18 ("%s calibrate: %.2lf%%"); a handler that sets bit
 * 0x20000 in its clear mask aborts with 0xBFFF0030. Every setting the
 * calibration touches is restored; on failure the channels keep their
 * previous polynomials. 0xBFFC0108 while running. */
TQ_API ViStatus tq718_calibrate(ViSession vi);

/* Calibration of one input range against an external calibrator, one point
 * at a time. tq718_calibrateExternal prepares the board and hands out the
 * record; while the result is TQ718_CAL_APPLY_VALUE the caller applies *value
 * volts to every channel input and calls tq718_calibrateExternalResume with
 * the volts it actually applied. The last resume fits the range and frees
 * the record (so does any failure of a resume); tq718_calibrateExternalCancel
 * ends a calibration early. The record is an opaque value (not an address);
 * one that is no longer live (completed, cancelled, of another session) is
 * refused with 0xBFFF003A. */
typedef struct TQ718CalRecord TQ718CalRecord;
TQ_API ViStatus tq718_calibrateExternal(ViSession vi, TQ718CalRecord **record, ViInt16 range, ViReal64 *value);
TQ_API ViStatus tq718_calibrateExternalResume(ViSession vi, TQ718CalRecord *record, ViReal64 applied,
                                              ViReal64 *value);
TQ_API ViStatus tq718_calibrateExternalCancel(ViSession vi, TQ718CalRecord *record);

#ifdef __cplusplus
}
#endif

#endif
