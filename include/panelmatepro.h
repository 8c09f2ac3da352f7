/* The professional front panel's own instrument: the driver of the
 * application model of the professional front panel (prefix "panelmatepro"),
 * loaded by the resource manager through its PnP handle like any instrument
 * driver.
 *
 * It has no hardware and no stream. Its session value is the manager session
 * it was opened for; every call finds its session by that value (0xBFFF000E
 * when none has it). It chooses the configuration database when it opens,
 * turns the PnP operations "probe" and "uiEvent" into resource-manager calls
 * on that manager session (probing, acquisition with optional recording,
 * creating, renaming, assigning, enabling and deleting virtual resources),
 * and tells the instrument event handlers installed on it what it did (event
 * bits 1, the text as the message). Other threads may wait for those events
 * with panelmatepro_wait. */
#ifndef PANELMATEPRO_H
#define PANELMATEPRO_H

#include "tq/export.h"
#include "tq/visatype.h"
#include "tqpnp.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What panelmatepro_probe does after it has chosen the database. */
#define TQPMPROPROBEAUTOPOP 1 /* populate the database from discovery */
#define TQPMPROPROBEASSIGN 2  /* discover, then assign every virtual resource */
#define TQPMPROPROBEHW 3      /* discover only */

/* *handle holds the manager session on entry, widened to a pointer; on
 * success it receives the new PnP handle. rsrcName is not used. */
TQ_API ViStatus panelmatepro_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);
/* Opens the session for the manager session in *vi and makes sure a
 * configuration database of this model is selected: the selected one, else
 * the first free name of "system", "system1" ... "system199", created. On
 * failure *vi is cleared. The other arguments are not used. */
TQ_API ViStatus panelmatepro_init(ViRsrc rsrcName, ViBoolean idQuery, ViBoolean resetDevice, ViSession *vi);
TQ_API ViStatus panelmatepro_close(ViSession vi);
/* Keeps (or creates, "Untitled"...) a database, then discovers as the probe
 * action says; 0xBFFF0078 for an action it does not know. */
TQ_API ViStatus panelmatepro_probe(ViSession vi);
/* One message of the front panel's command language (at most 255
 * characters; longer ones are refused with 0xBFFF0078). */
TQ_API ViStatus panelmatepro_uiEvent(ViSession vi, ViConstString message);
/* Waits up to timeoutMs for an event sharing a bit with mask: 0; 0xBFFF0015
 * on time-out; 0xBFFF0030 when the session closes meanwhile. bits and
 * message (256 bytes) receive the event, each when not null. */
TQ_API ViStatus panelmatepro_wait(ViSession vi, ViUInt32 mask, ViUInt32 timeoutMs, ViUInt32 *bits, ViChar *message);
/* At most three handlers (0xBFFF0028 for a fourth); a handler is called for
 * events sharing a bit with its mask. */
TQ_API ViStatus panelmatepro_installEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                                 void *userData, ViChar *message);
/* Removes every entry of the handler with this user data. */
TQ_API ViStatus panelmatepro_uninstallEventHandler(ViSession vi, ViUInt32 mask, TQInstrumentEventHandler handler,
                                                   void *userData);
TQ_API ViStatus panelmatepro_registerStreamMsg(ViSession vi, TQStreamMsg *sink);
TQ_API ViStatus panelmatepro_registerSpyMsg(ViSession vi, TQStreamMsg *sink);
/* 1 simulated, 0 back; other modes 0xBFFF0078. */
TQ_API ViStatus panelmatepro_setSimulationMode(ViSession vi, ViInt16 mode);
/* Returns the simulation mode (0 or 1) itself; *mode is not written. */
TQ_API ViStatus panelmatepro_getSimulationMode(ViSession vi, ViInt16 *mode);
/* At most 255 characters are kept; null or empty: 0xBFFF0078. */
TQ_API ViStatus panelmatepro_setInstrumentName(ViSession vi, ViConstString name);
/* name: 256 bytes. */
TQ_API ViStatus panelmatepro_getInstrumentName(ViSession vi, ViChar *name);
TQ_API ViStatus panelmatepro_setProbeAction(ViSession vi, ViInt16 action);
TQ_API ViStatus panelmatepro_getProbeAction(ViSession vi, ViInt16 *action);
TQ_API ViStatus panelmatepro_setProbeOnStartEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus panelmatepro_getProbeOnStartEnable(ViSession vi, ViInt16 *enable);
/* While set, a start records every stream into a capture directory under the
 * data path. */
TQ_API ViStatus panelmatepro_setRecordEnable(ViSession vi, ViInt16 enable);
TQ_API ViStatus panelmatepro_getRecordEnable(ViSession vi, ViInt16 *enable);
/* The manager session's data path (path: 256 bytes). */
TQ_API ViStatus panelmatepro_setDataPath(ViSession vi, ViConstString path);
TQ_API ViStatus panelmatepro_getDataPath(ViSession vi, ViChar *path);
TQ_API ViStatus panelmatepro_crossCheck(ViSession vi, ViChar *message);
TQ_API ViStatus panelmatepro_getFileMenuSupport(ViSession vi, ViChar *value);
/* Menu support cannot be changed or read: 0xBFFF0067. */
TQ_API ViStatus panelmatepro_setFileMenuSupport(ViSession vi, ViInt16 value);
TQ_API ViStatus panelmatepro_setEditMenuSupport(ViSession vi, ViInt16 value);
TQ_API ViStatus panelmatepro_getEditMenuSupport(ViSession vi, ViInt16 value);
TQ_API ViStatus panelmatepro_setPostProcessSupport(ViSession vi, ViInt16 value);
TQ_API ViStatus panelmatepro_getPostProcessSupport(ViSession vi, ViInt16 value);
TQ_API ViStatus panelmatepro_getEventStatus(ViSession vi, ViUInt16 event, ViUInt16 *active, ViUInt16 clear,
                                            ViChar *message);
/* 0 and no stream: the instrument has none. */
TQ_API ViStatus panelmatepro_getStream(ViSession vi, ViConstString streamName, TQStream **stream);

#ifdef __cplusplus
}
#endif

#endif
