/* The basic front panel's own instrument: the driver of the application model
 * of the basic front panel (prefix "panelmate"), loaded by the resource
 * manager through its PnP handle like any instrument driver.
 *
 * It has no hardware, stream or properties. Its session value is the manager
 * session it was opened for; every call finds its session by that value
 * (0xBFFF000E when none has it). It turns the PnP operations "reset",
 * "start", "stop" and "uiEvent" into resource-manager calls on that manager
 * session, and tells the instrument event handlers installed on it what it
 * did ("populate", "start", "stop"; event bits 1, the text as the message). */
#ifndef PANELMATE_H
#define PANELMATE_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"

#ifdef __cplusplus
extern "C" {
#endif

/* *handle holds the manager session on entry, widened to a pointer; on
 * success it receives the new PnP handle. rsrcName is not used. */
TQ_API ViStatus panelmate_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);
/* Opens the session for the manager session in *vi: selects and populates
 * the configuration database "system" and creates its streams. On failure
 * *vi is cleared. The other arguments are not used. */
TQ_API ViStatus panelmate_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi);
TQ_API ViStatus panelmate_close(ViSession vi);
/* The operation on every enabled member of the selected database. */
TQ_API ViStatus panelmate_reset(ViSession vi);
TQ_API ViStatus panelmate_start(ViSession vi);
TQ_API ViStatus panelmate_stop(ViSession vi);
/* One message of the front panel's command language (at most 255
 * characters; longer ones are refused with 0xBFFF0078). */
TQ_API ViStatus panelmate_uiEvent(ViSession vi, ViConstString message);
TQ_API ViStatus panelmate_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus panelmate_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
/* 1 simulated, 0 back; other modes 0xBFFF0078. */
TQ_API ViStatus panelmate_setSimulationMode(ViSession vi, ViInt16 mode);
/* Returns the simulation mode (0 or 1) itself; *mode is not written. */
TQ_API ViStatus panelmate_getSimulationMode(ViSession vi, ViInt16 *mode);
/* At most three handlers (0xBFFF0028 for a fourth). */
TQ_API ViStatus panelmate_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                              void *userData, ViChar *message);
/* Removes every entry of the handler with this user data. */
TQ_API ViStatus panelmate_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                                void *userData);
TQ_API ViStatus panelmate_crossCheck(ViSession vi, ViChar *message);
TQ_API ViStatus panelmate_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *active, ViUInt16 clear,
                                         ViChar *message);
/* 0 and no stream: the instrument has none. */
TQ_API ViStatus panelmate_getStream(ViSession vi, ViConstString streamName, TQStream **stream);

#ifdef __cplusplus
}
#endif

#endif
