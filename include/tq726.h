/* Driver of the model 726 analog-output module (libtqp726_32.so).
 *
 * A CompactPCI module with 16, 32 or 64 channels of 16-bit output over
 * -10 V to +10 V (the board flags tell how many), optionally with current
 * outputs (current = volts x 1.6 + 4.0 mA). Codes: a voltage v gives
 * trunc((v + 10) / 20 x 65536), 10 V gives 0xFFFF, 0 V is 0x8000; a code c
 * reads back as -10 + c x 20 / 65536 V.
 *
 * Two ways to drive the outputs:
 * - directly, with the tq726_set_..._voltage and _current exports, which
 *   write the board at once whatever the simulation state;
 * - through the session's output stream: while the output thread runs
 *   (tq726_start to tq726_stop) it writes every channel's code once per
 *   output scan period. An enabled channel whose output synchronisation type
 *   is 1 (asynchronous) plays its column of the block the formula engine
 *   last committed (stream reserveWrite / completeWrite), cyclically at the
 *   stream's output rate; every other enabled channel holds its static code,
 *   which each setEval of the channel replaces; a disabled channel writes
 *   0x8000 (0 V). Before the first commit, and while the committed block
 *   was made for another layout of the asynchronous channels, those
 *   channels write 0x8000.
 *
 * Output layout: walking the channels in order, each enabled asynchronous
 * channel takes the next two bytes of the output scan; the stream's output
 * scan size is 2 x and its output channel count the number of them. It is
 * recomputed whenever an enable or a synchronisation type changes.
 *
 * Every function returns a VISA status. A session opened without a resource
 * name has no board: the output stream runs but nothing is written, and the
 * direct exports answer 0xBFFF003A (VI_ERROR_INV_SETUP) once their
 * arguments pass. The driver has no instrument events and no wait. */
#ifndef TQ726_H
#define TQ726_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses of this driver. */
#define TQ726_WARN_ALREADY_RUNNING ((ViStatus)0x3FFC0109) /* "Device already Running." */
#define TQ726_ERROR_NO_CHANNELS ((ViStatus)0xBFFBEDE3)    /* "Operation failed because no channels are enabled." */
#define TQ726_ERROR_RUNNING ((ViStatus)0xBFFBEDE4)        /* "Operation failed because device is running." (text only) */
/* Reset: the board did not confirm it (0xBFFC0012); a register access failed (0x3FFF0085). */
#define TQ726_ERROR_RESET_NOT_CONFIRMED ((ViStatus)0xBFFC0012)
#define TQ726_WARN_RESET_ACCESS ((ViStatus)0x3FFF0085)

#define TQ726_MODEL_CODE 0x726
#define TQ726_MANUFACTURER_ID 0x3c5a
#define TQ726_MAX_CHANNELS 64

/* Output synchronisation types of the stream channels. */
#define TQ726_SYNC_ASYNCHRONOUS 1
#define TQ726_SYNC_SYNCHRONOUS 2

/* ---- Sessions (the driver template) ---------------------------------------- */

/* Sets the VISA time-out of the session to 10000 ms after the open. */
TQ_API ViStatus tq726_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi);
/* Stops a running output thread first. */
TQ_API ViStatus tq726_close(ViSession vi);
/* Stops the output thread, pulses the board reset (and, with the reset
 * confirm, checks that the board came back), clears control bit 3, sets the
 * defaults and writes 0 V to every channel. 0xBFFC0012 when the board did
 * not confirm the reset, else 0x3FFF0085 when a register access failed.
 * In simulation only the defaults are set. An unknown session gives
 * 0x3FFF0085. */
TQ_API ViStatus tq726_reset(ViSession vi);
/* type 0: 0x3FFF0085; 1: tq726_reset; 2: clears the saved power-up state,
 * then resets; other types 0xBFFF0078. */
TQ_API ViStatus tq726_resetEx(ViSession vi, ViInt16 type);
/* Saves (save != 0) or clears the board's power-up state and waits for the
 * board (0xBFFF0015 when it stays busy). */
TQ_API ViStatus tq726_autoRst(ViSession vi, ViInt16 save);
/* Without the reset confirm 0x3FFC0103. Otherwise pulses the reset and
 * reads the board's signature: a pass writes result 0 and
 * "Self-Test passed."; a failure keeps result 1 and "ERROR: Self-Test
 * failed!" with " Error communicating with device." or " Error source
 * unknown." appended. Returns 0 in both cases. */
TQ_API ViStatus tq726_self_test(ViSession vi, ViInt16 *result, ViChar *message);
TQ_API ViStatus tq726_error_query(ViSession vi, ViInt32 *code, ViChar *message);
TQ_API ViStatus tq726_error_message(ViSession vi, ViStatus status, ViChar *message);
TQ_API ViStatus tq726_revision_query(ViSession vi, ViChar *driverRev, ViChar *instrRev);
TQ_API ViStatus tq726_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count);
TQ_API ViStatus tq726_autoConnectToFirst(ViSession *vi);
TQ_API ViStatus tq726_setSimulationMode(ViSession vi, ViBoolean mode);
TQ_API ViStatus tq726_getSimulationMode(ViSession vi, ViBoolean *ignored);
TQ_API ViStatus tq726_setInstrumentName(ViSession vi, ViConstString name);
TQ_API ViStatus tq726_getInstrumentName(ViSession vi, ViChar *name);
TQ_API ViStatus tq726_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq726_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus tq726_getStream(ViSession vi, ViConstString streamName, TQStream **stream);
TQ_API ViStatus tq726_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

/* No instrument events: a mask of 0 is accepted and does nothing; any other
 * mask gives 0xBFFF0028. getEventStatus and wait are not supported. */
TQ_API ViStatus tq726_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                          void *userData, ViChar *message);
TQ_API ViStatus tq726_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                            void *userData);
TQ_API ViStatus tq726_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *status, ViUInt16 clear,
                                     ViChar *message);
TQ_API ViStatus tq726_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *status, ViChar *message);

/* ---- Output thread ---------------------------------------------------------- */

/* 0x3FFC0109 while running; 0xBFFBEDE3 without an enabled channel;
 * 0xBFFF003A for an output rate that crossCheck refuses (below 0.5, 1000
 * or above, not a number); 0xBFFF0000 when the thread cannot be made.
 * "[%s]start:%s" goes to the stream-message sink. */
TQ_API ViStatus tq726_start(ViSession vi);
/* Ends the output thread; "[%s]stop:%s". */
TQ_API ViStatus tq726_stop(ViSession vi);
/* Output rate 0.5 to below 1000 scans/s; with asynchronous channels a
 * recycle rate that gives at least one scan per recycle period; the names
 * of the enabled channels. On failure one line of text into message. */
TQ_API ViStatus tq726_crossCheck(ViSession vi, ViChar *message);

/* ---- Board ------------------------------------------------------------------ */

TQ_API ViStatus tq726_isCurrentEn(ViSession vi, ViBoolean *flag);
/* -10.0 and -10.0 + 20.0 x 65535/65536 (the highest code). */
TQ_API ViStatus tq726_getVoltageRange(ViSession vi, ViReal64 *min, ViReal64 *max);
/* -12.0 and 19.99951171875 mA; 0xBFFF0067 without current outputs. */
TQ_API ViStatus tq726_getCurrentRange(ViSession vi, ViReal64 *min, ViReal64 *max);

/* Direct access: channels 1 to the channel count, first <= last. A voltage
 * below -10 V or above 10 V, or not a number, gives 0xBFFF0078 and nothing
 * is written; the codes of a range go to the board in one block write. The
 * channels' static codes are not changed: a running output thread
 * overwrites a value set directly at its next period. Currents need
 * current outputs (0xBFFF0067 without). */
TQ_API ViStatus tq726_set_single_chan_voltage(ViSession vi, ViInt16 channel, ViReal64 volts);
TQ_API ViStatus tq726_setChannelVoltage(ViSession vi, ViInt16 channel, ViReal64 volts);
TQ_API ViStatus tq726_set_array_chan_voltage(ViSession vi, ViInt16 first, ViInt16 last, const ViReal64 volts[]);
TQ_API ViStatus tq726_set_single_chan_current(ViSession vi, ViInt16 channel, ViReal64 mA);
TQ_API ViStatus tq726_set_array_chan_current(ViSession vi, ViInt16 first, ViInt16 last, const ViReal64 mA[]);
TQ_API ViStatus tq726_get_single_chan_voltage(ViSession vi, ViInt16 channel, ViReal64 *volts);
TQ_API ViStatus tq726_getChannelVoltage(ViSession vi, ViInt16 channel, ViReal64 *volts);
TQ_API ViStatus tq726_get_array_chan_voltage(ViSession vi, ViInt16 first, ViInt16 last, ViReal64 volts[]);
TQ_API ViStatus tq726_get_single_chan_current(ViSession vi, ViInt16 channel, ViReal64 *mA);
TQ_API ViStatus tq726_get_array_chan_current(ViSession vi, ViInt16 first, ViInt16 last, ViReal64 mA[]);

/* ---- Properties (typed, and by name through the PnP handle) ----------------- */

/* 16, 32 or 64 from the board flags; read-only (set: 0xBFFF0067). */
TQ_API ViStatus tq726_getChannelCount(ViSession vi, ViInt16 *count);
TQ_API ViStatus tq726_setChannelCount(ViSession vi, ViInt16 count);
/* Stored as the stream's output rate and recycle rate (checked by crossCheck and start). */
TQ_API ViStatus tq726_setOutputScanRate(ViSession vi, ViReal64 rate);
TQ_API ViStatus tq726_setOutputRecycleRate(ViSession vi, ViReal64 rate);
/* index 1 to the channel count (0xBFFF0078 otherwise); enable 0 or 1. */
TQ_API ViStatus tq726_setChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable);
TQ_API ViStatus tq726_getChannelEnable(ViSession vi, ViInt16 channel, ViUInt16 *enable);
/* At most 127 characters are kept. */
TQ_API ViStatus tq726_setChannelName(ViSession vi, ViInt16 channel, ViConstString name);
TQ_API ViStatus tq726_getChannelName(ViSession vi, ViInt16 channel, ViChar *name);

#ifdef __cplusplus
}
#endif

#endif
