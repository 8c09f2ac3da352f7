/* Driver of the USB model 176 data-acquisition device (libux176_32.so).
 *
 * Six analog inputs in three groups of two (+-10 V or +-5 V per group),
 * sixteen digital lines (lines 1-8 each, 9-16 together as input or output)
 * and two analog outputs (DACs, -10 V to 10 V). The device is reached
 * through the USB library (tq/usbxpress.h); every exchange with a device
 * runs under the process-wide named mutex "ux176", so that the driver's
 * threads, its callers and other processes take turns.
 *
 * Resource names: "usb<n>::<vendor>::<model>::<serial>" or
 * "usb::<vendor>::<model>::<serial>" (without regard to case), vendor
 * 0x3c5a (15450), model 176. An empty name opens a session without
 * hardware. Session values are handles of the driver's own: every session
 * has its own value, with or without hardware.
 *
 * A stream thread reads the device's scans into the session's stream: one
 * signed 16-bit word per enabled analog input in input order, then, when
 * digital lines are enabled as inputs, one 16-bit word of the lines (bit
 * k-1 = line k). It raises instrument event 1 ("FIFO overrrun") when the
 * device's FIFO overran and EventEnable is set, and plays the output scans
 * the formula engine commits (DACs and digital output lines).
 *
 * Every function returns a VISA status. */
#ifndef UX176_H
#define UX176_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define UX176_VENDOR 0x3c5a
#define UX176_MODEL 176
#define UX176_MODEL_CODE 0x176

#define UX176_WARN_ALREADY_RUNNING ((ViStatus)0x3FFC0109) /* "Device already Running." */
#define UX176_ERROR_NO_INSTRUMENT ((ViStatus)0xBFFC0017)  /* simulation cannot end without hardware */
#define UX176_ERROR_NO_CHANNELS ((ViStatus)0xBFFC0107)    /* "Operation failed because no channels are enabled." */
#define UX176_ERROR_RUNNING ((ViStatus)0xBFFC0108)        /* "Operation failed because device is running." */

/* Output synchronisation types of the DACs and digital output lines. */
#define UX176_SYNC_ASYNCHRONOUS 1
#define UX176_SYNC_SYNCHRONOUS 2

/* Device registers. */
#define UX176_REG_PERIOD_LOW 16
#define UX176_REG_PERIOD_HIGH 17
#define UX176_REG_CHANNEL_MASK 18
#define UX176_REG_RANGE 22
#define UX176_REG_DIGITAL_LOW 32
#define UX176_REG_DIGITAL_HIGH 33
#define UX176_REG_DIRECTION 34
#define UX176_REG_DAC1 96
#define UX176_REG_DAC2 97
#define UX176_REG_RESET 129

/* ---- Sessions ---------------------------------------------------------- */
TQ_API ViStatus ux176_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi);
TQ_API ViStatus ux176_close(ViSession vi);
TQ_API ViStatus ux176_reset(ViSession vi);
TQ_API ViStatus ux176_id_query(ViSession vi, ViInt16 *model);
TQ_API ViStatus ux176_revision_query(ViSession vi, ViChar *driverRevision, ViChar *instrumentRevision);
TQ_API ViStatus ux176_error_message(ViSession vi, ViStatus status, ViChar *message);
TQ_API ViStatus ux176_getSerialNumber(ViSession vi, ViUInt16 *serial);
TQ_API ViStatus ux176_setSimulationMode(ViSession vi, ViBoolean mode);
TQ_API ViStatus ux176_getSimulationMode(ViSession vi, ViBoolean *ignored);
TQ_API ViStatus ux176_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
TQ_API ViStatus ux176_autoConnectToFirst(ViSession *vi);
TQ_API ViStatus ux176_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

/* ---- Acquisition --------------------------------------------------------- */
TQ_API ViStatus ux176_start(ViSession vi);
TQ_API ViStatus ux176_stop(ViSession vi);
TQ_API ViStatus ux176_crossCheck(ViSession vi, ViChar *message);

/* ---- Registers and direct access ---------------------------------------- */
TQ_API ViStatus ux176_writeRegister(ViSession vi, ViInt16 reg, ViUInt16 value);
TQ_API ViStatus ux176_readRegister(ViSession vi, ViInt16 reg, ViUInt16 *value);
/* -10 <= volts <= 10; channel 0 sets both DACs. */
TQ_API ViStatus ux176_setDacChannelVoltage(ViSession vi, ViInt16 channel, ViReal64 volts);
/* Lines 1-32 (17-32 in the second digital register). */
TQ_API ViStatus ux176_setDigitalChannelValue(ViSession vi, ViInt16 line, ViInt16 value);
TQ_API ViStatus ux176_getDigitalChannelValue(ViSession vi, ViInt16 line, ViInt16 *value);
/* The latest conversions of inputs 1-4, in volts. */
TQ_API ViStatus ux176_getAdcScan(ViSession vi, ViReal64 volts[4]);
/* The averages of count scans of the six inputs, in volts. */
TQ_API ViStatus ux176_getAverageAdcScan(ViSession vi, ViReal64 volts[6], ViInt32 count);

/* ---- Properties (also by name through the PnP handle) ---------------------- */
TQ_API ViStatus ux176_setInstrumentName(ViSession vi, ViConstString name);
TQ_API ViStatus ux176_getInstrumentName(ViSession vi, ViChar *name);
/* 0 < rate <= 50000 scans per second and at least 1e7 / (2^32 - 1); the
 * device runs at 1e7 / trunc(1e7 / rate) scans per second, which the
 * stream's rate and the getter then give. */
TQ_API ViStatus ux176_setAdcScanRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus ux176_getAdcScanRate(ViSession vi, ViReal64 *rate);
TQ_API ViStatus ux176_setAnalogChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus ux176_getAnalogChannelEnable(ViSession vi, ViInt16 channel, ViUInt16 *enable);
TQ_API ViStatus ux176_setAnalogChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus ux176_getAnalogChannelName(ViSession vi, ViInt16 channel, ViChar *name);
/* Group 1-3; range 1 = +-10 V, 0 = +-5 V. */
TQ_API ViStatus ux176_setAnalogGroupInputVoltageRange(ViSession vi, ViInt16 group, ViInt16 range);
TQ_API ViStatus ux176_getAnalogGroupInputVoltageRange(ViSession vi, ViInt16 group, ViInt16 *range);
TQ_API ViStatus ux176_setDigitalChannelEnable(ViSession vi, ViInt16 line, ViInt16 enable);
TQ_API ViStatus ux176_getDigitalChannelEnable(ViSession vi, ViInt16 line, ViUInt16 *enable);
TQ_API ViStatus ux176_setDigitalChannelName(ViSession vi, ViInt16 line, ViConstString name);
TQ_API ViStatus ux176_getDigitalChannelName(ViSession vi, ViInt16 line, ViChar *name);
/* Index 1-8: lines 1-8, index 9: lines 9-16; 0 input, 1 output. */
TQ_API ViStatus ux176_setDigitalDirection(ViSession vi, ViInt16 index, ViInt16 direction);
TQ_API ViStatus ux176_getDigitalDirection(ViSession vi, ViInt16 index, ViInt16 *direction);
TQ_API ViStatus ux176_getDigitalChannelDirection(ViSession vi, ViInt16 line, ViInt16 *direction);
TQ_API ViStatus ux176_setEventEnable(ViSession vi, ViInt16 event, ViInt16 enable);
TQ_API ViStatus ux176_getEventEnable(ViSession vi, ViInt16 event, ViUInt16 *enable);
TQ_API ViStatus ux176_setDacChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus ux176_getDacChannelEnable(ViSession vi, ViInt16 channel, ViUInt16 *enable);
TQ_API ViStatus ux176_setDacChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus ux176_getDacChannelName(ViSession vi, ViInt16 channel, ViChar *name);
TQ_API ViStatus ux176_setOutputScanRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus ux176_setOutputRecycleRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus ux176_setEventEnableMask(ViSession vi, ViUInt32 mask);
TQ_API ViStatus ux176_setEventDisableMask(ViSession vi, ViUInt32 mask);
TQ_API ViStatus ux176_getEventEnableMask(ViSession vi, ViUInt32 *mask);

/* ---- Template: sinks, stream, events ---------------------------------------- */
TQ_API ViStatus ux176_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus ux176_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus ux176_getStream(ViSession vi, ViConstString streamName, TQStream **stream);
TQ_API ViStatus ux176_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                          void *userData, ViChar *message);
TQ_API ViStatus ux176_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                            void *userData);
TQ_API ViStatus ux176_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,
                                     ViChar *message);
TQ_API ViStatus ux176_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message);

#ifdef __cplusplus
}
#endif

#endif
