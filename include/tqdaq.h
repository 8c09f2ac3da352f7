/* Public C interface of the resource manager, libtqdaq_32.so.
 *
 * Every call names a manager session: the 32-bit value tqdaq_getHandle hands
 * out. It is a handle-table value, never an address; a stale value (a closed
 * session) or one made up by the caller is refused with VI_ERROR_INV_OBJECT.
 *
 * All calls return a VISA-style status. Name and path outputs are written
 * into caller buffers of TQDAQ_NAME_SIZE bytes (255 characters and a
 * terminator); a stored text that would not fit is refused with
 * TQDAQ_ERROR_STATEMENT and the buffer left empty, never overrun.
 *
 * The device database (<root>/winnt/tqdaq/device, root from VPNPPATH, else
 * VXIPNPPATH, else /usr/local/vxipnp) must exist: scripts/setup-devicedb
 * makes it, the library never does. */
#ifndef TQDAQ_H
#define TQDAQ_H

#include <stdint.h>

#include "tq/export.h"
#include "tq/status.h"
#include "tq/visatype.h"
#include "tqpnp.h"
#include "tqstream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TQDAQ_NAME_SIZE 256

/* Statuses of the resource manager beside the shared ones of tq/status.h. */
#define TQDAQ_WARN_MORE_TEXT TQ_WARN_MORE_DATA           /* 0x3FFC0107 */
#define TQDAQ_WARN_OPER_UNSUPPORTED TQ_WARN_OPER_SKIPPED /* 0x3FFC0108 */
#define TQDAQ_ERROR_NAME_EXISTS ((ViStatus)0xBFFC0107)
#define TQDAQ_ERROR_UNKNOWN_VRSRC ((ViStatus)0xBFFC0108)
#define TQDAQ_ERROR_VRSRC_IN_USE ((ViStatus)0xBFFC0109)
#define TQDAQ_ERROR_NO_DATABASE TQ_ERROR_NO_DATABASE /* 0xBFFC010B */
#define TQDAQ_ERROR_NO_PRSRC_NAME ((ViStatus)0xBFFC010C)
#define TQDAQ_ERROR_UNKNOWN_USER TQ_ERROR_UNKNOWN_USER /* 0xBFFC010D */
#define TQDAQ_ERROR_CREATE_DB ((ViStatus)0xBFFC010F)
#define TQDAQ_ERROR_OTHER_MODEL ((ViStatus)0xBFFC0111)
#define TQDAQ_ERROR_UNKNOWN_MODEL ((ViStatus)0xBFFC0112)
/* A statement failed, or a stored value could not be read back. */
#define TQDAQ_ERROR_STATEMENT ((ViStatus)0xBFFF0000)
/* Another connection (another process) held the device database past the
   busy time-out: the statement did not run. */
#define TQDAQ_ERROR_DATABASE_BUSY VI_ERROR_RSRC_LOCKED /* 0xBFFF000F */
/* The session's user is not the controller. */
#define TQDAQ_ERROR_NOT_CONTROLLER ((ViStatus)0xBFFF00A8)

/* Opens a manager session for a user of the device database and the
 * application model (vendor, model): loads that model's own instrument and
 * requires it to leave a configuration database of the model selected. A
 * user who already holds a session in this process gets it back. The
 * password is not examined. User names hold at most 39 characters. */
TQ_API ViStatus tqdaq_getHandle(ViSession *handle, ViConstString userName, ViConstString password, ViUInt16 vendor,
                                ViUInt16 model);
/* Ends the session: closes every instrument it opened and clears its marks. */
TQ_API ViStatus tqdaq_closeHandle(ViSession session);
/* Names the controller user, only while none is named. */
TQ_API ViStatus tqdaq_setController(ViSession session, ViConstString userName);
/* Copies the controller's user name (empty when none is named) into name,
 * TQDAQ_NAME_SIZE bytes. */
TQ_API ViStatus tqdaq_getController(ViSession session, ViChar *name);
/* Makes sink the session's message sink (null: none) and hands it to the
 * open instruments of the selected database. */
TQ_API ViStatus tqdaq_registerStreamMsg(ViSession session, TQStreamMsg *sink);

/* Closes the instrument of an open virtual resource; 0 when it is not open. */
TQ_API ViStatus tqdaq_closeVresource(ViSession session, ViConstString name);
/* The driver session of a virtual resource's instrument, opening it first
 * when needed. */
TQ_API ViStatus tqdaq_getVresourceSession(ViSession session, ViConstString name, ViSession *driverSession);

/* Runs an operation on one virtual resource of the selected database (name
 * given) or on every enabled member and the database's own instrument (name
 * null or empty), in ascending text order of their rank. */
TQ_API ViStatus tqdaq_doOperation(ViSession session, ViConstString name, ViConstString operation,
                                  ViConstString argument);

/* Creates a virtual resource of the model (vendor, model): its row and one
 * option per item of the model's option categories, valued with the item's
 * default. TQDAQ_ERROR_NAME_EXISTS when the name is taken (the existing
 * resource is left alone); nothing is kept when a later step fails. A null
 * description is stored as empty text. */
TQ_API ViStatus tqdaq_createVresource(ViSession session, ViConstString name, ViUInt16 vendor, ViUInt16 model,
                                      ViConstString description);

/* Sets the simulation mode of the members (name null or empty: every
 * enabled member) and keeps it in the session: mode 1 resets each member
 * first. The database's own instrument is left alone. */
TQ_API ViStatus tqdaq_setSimulationMode(ViSession session, ViConstString name, ViUInt16 mode);

/* Instrument events of a virtual resource's instrument. A handler installed
 * here is installed again each time the resource is opened, until it is
 * uninstalled or the session ends; installing on a closed resource installs
 * it at the next open. The handler, user data and message buffer must stay
 * valid that long. */
TQ_API ViStatus tqdaq_installEventHandler(ViSession session, ViConstString name, ViUInt32 mask,
                                          TQInstrumentEventHandler handler, void *userData, ViChar *message);
TQ_API ViStatus tqdaq_uninstallEventHandler(ViSession session, ViConstString name, ViUInt32 mask,
                                            TQInstrumentEventHandler handler, void *userData);
/* Waits in the instrument's driver for an event of the mask; opens the
 * resource first when needed. */
TQ_API ViStatus tqdaq_wait(ViSession session, ViConstString name, ViUInt32 mask, ViUInt32 timeoutMs,
                           ViUInt32 *status, ViChar *message);
TQ_API ViStatus tqdaq_getEventStatus(ViSession session, ViConstString name, ViUInt16 event, ViUInt16 *active,
                                     ViUInt16 clear, ViChar *text);
/* Deletes a virtual resource, and with a carrier every module mounted on
 * it. TQDAQ_ERROR_VRSRC_IN_USE, and nothing deleted, while it or one of its
 * modules has stored values, belongs to a database, or is a database's own
 * resource (deleting the database removes that one). */
TQ_API ViStatus tqdaq_deleteVresource(ViSession session, ViConstString name);
/* Renames a virtual resource and every stored reference to it ("&lt;name-"
 * and "[name-" in configuration values and formulas). A taken new name is
 * refused with TQDAQ_ERROR_NAME_EXISTS and nothing changes. */
TQ_API ViStatus tqdaq_renameResource(ViSession session, ViConstString oldName, ViConstString newName);
/* Renames a configuration database: exactly the rename of its own virtual
 * resource. */
TQ_API ViStatus tqdaq_renameDB(ViSession session, ViConstString oldName, ViConstString newName);
/* Makes a virtual resource a member of the selected database;
 * TQDAQ_ERROR_NAME_EXISTS when it is one already. */
TQ_API ViStatus tqdaq_linkVresource(ViSession session, ViConstString name);
/* Ends the membership (and drops the stored values) of one member, or of
 * every member when name is null or empty; the first failure is the result. */
TQ_API ViStatus tqdaq_unlinkVresource(ViSession session, ViConstString name);
/* Enables (1) or disables (0) one member or every member. Enabling a member
 * without a device fails with VI_ERROR_INV_SETUP and enables no member after
 * it; the first failure is the result. */
TQ_API ViStatus tqdaq_setVresourceEnable(ViSession session, ViConstString name, ViInt16 enable);
/* The member's enable flag (0 without a device); the database's own
 * resource reads 1. */
TQ_API ViStatus tqdaq_getVresourceEnable(ViSession session, ViConstString name, ViInt16 *enable);
/* Stores one option value; 0 without writing when the resource has no such
 * option. */
TQ_API ViStatus tqdaq_updateVresourceOption(ViSession session, ViConstString name, ViConstString property,
                                            ViConstString value);
/* Copies a device's option values, as its driver reports them, into a
 * virtual resource (its InstrumentName stays its own). */
TQ_API ViStatus tqdaq_syncVresourceOptions(ViSession session, ViConstString vresourceName, ViConstString rsrcName);

/* Records a detected device under its resource name: its model and option
 * values, and on a carrier the modules on its populated sites. Recording a
 * known device again keeps its id, assignment and site rows.
 * TQDAQ_ERROR_UNKNOWN_MODEL when its model is not catalogued. */
TQ_API ViStatus tqdaq_createPresource(ViSession session, ViConstString rsrcName);
/* Removes a device with its options and the modules on its sites. */
TQ_API ViStatus tqdaq_deletePresource(ViSession session, ViConstString rsrcName);
/* The name of the device assigned to a virtual resource, TQDAQ_NAME_SIZE
 * bytes; 0 and the buffer untouched when none is assigned. */
TQ_API ViStatus tqdaq_getPresourceName(ViSession session, ViConstString vresourceName, ViChar *rsrcName);
/* Assigns a device to a virtual resource (a carrier brings its free modules
 * to the virtual modules on the same sites); with an empty virtual name the
 * device is freed, with an empty device name the virtual resource.
 * VI_ERROR_INV_PARAMETER when both are empty or the device does not fit. */
TQ_API ViStatus tqdaq_assignResource(ViSession session, ViConstString vresourceName, ViConstString rsrcName);
/* Gives every unassigned member of the selected database (or the named one)
 * a free device that fits, and enables it; VI_ERROR_RSRC_NFOUND when some
 * member found none (it is disabled). */
TQ_API ViStatus tqdaq_assignAllVresources(ViSession session, ViConstString vresourceName);
/* Gives every unassigned device (or the named one) a virtual resource in the
 * selected database: a free one that fits, else a new one named after the
 * device, with modules for its sites; links, assigns and enables them. */
TQ_API ViStatus tqdaq_assignAllPresources(ViSession session, ViConstString rsrcName);

/* Discovery: asks VISA to rescan (controller only, while VISA offers
 * "visa::resman"; TQDAQ_ERROR_NOT_CONTROLLER otherwise), checks every
 * automatically detected device again and removes those that are gone or
 * changed (a device open anywhere stops the check), then records every
 * catalogued VISA instrument, every serial crate's controllers and units and
 * what each physical-interface plug-in finds. */
TQ_API ViStatus tqdaq_refreshPResources(ViSession session);
/* Creates (or selects) a configuration database, runs discovery and gives
 * every device a virtual resource in it: 0 when each member has a device. */
TQ_API ViStatus tqdaq_autoPopulateDB(ViSession session, ViConstString name);

/* The selected configuration database's name, TQDAQ_NAME_SIZE bytes. */
TQ_API ViStatus tqdaq_getDB(ViSession session, ViChar *name);
/* Selects a configuration database of the session's model (null or empty:
 * deselects, leaving open instruments alone). Selecting another database
 * closes the instruments of the old one, its own instrument last. */
TQ_API ViStatus tqdaq_setDB(ViSession session, ViConstString name);
/* Creates a configuration database of the session's model and selects it; a
 * name that already is a database is selected. TQDAQ_ERROR_CREATE_DB when
 * the name is taken by a resource that is no database. */
TQ_API ViStatus tqdaq_createDB(ViSession session, ViConstString name);
/* Empties a database (null or empty: the selected one): members, stored
 * values, formulas and display layouts. Its application data stays. */
TQ_API ViStatus tqdaq_clearDB(ViSession session, ViConstString name);
/* Deletes a database that is not the selected one, with its application
 * data; VI_ERROR_INV_PARAMETER for the selected one. */
TQ_API ViStatus tqdaq_deleteDB(ViSession session, ViConstString name);
/* Not implemented: always VI_ERROR_NIMPL_OPER. */
TQ_API ViStatus tqdaq_replicateDB(ViSession session, ViConstString from, ViConstString to);
/* The data path, root of the capture directories (TQDAQ_NAME_SIZE bytes;
 * empty when never set). */
TQ_API ViStatus tqdaq_setDataPath(ViSession session, ViConstString path);
TQ_API ViStatus tqdaq_getDataPath(ViSession session, ViChar *path);

/* Application data of the selected database: text values by key.
 * setAppData: VI_ERROR_RSRC_BUSY when the key exists and replace is 0;
 * TQDAQ_ERROR_NO_DATABASE with no database selected. getAppData: the full
 * length into *length, at most size - 1 characters and a terminator into
 * buffer (nothing with size 0); VI_ERROR_NSUP_ATTR for an unknown key.
 * deleteAppData: one key, or every key (null or empty). */
TQ_API ViStatus tqdaq_setAppData(ViSession session, ViConstString key, ViConstString value, ViInt16 replace);
TQ_API ViStatus tqdaq_getAppData(ViSession session, ViConstString key, ViChar *buffer, ViUInt32 size,
                                 ViUInt32 *length);
TQ_API ViStatus tqdaq_deleteAppData(ViSession session, ViConstString key);

/* XML listings of the device database, written into the caller's buffer
 * (size bytes) a part at a time. Each call writes a terminated text and sets
 * *length to its length without the terminator; TQDAQ_WARN_MORE_TEXT
 * (0x3FFC0107) says more follows: call again with the same session (the
 * filters of later calls are not looked at), and the parts joined give the
 * whole listing. 0 ends it. A session has at most one of the generic
 * listings below unfinished: another kind meanwhile gets VI_ERROR_INV_SETUP
 * (0xBFFF003A); tqdaq_closeHandle drops an unfinished one.
 *
 * Every call needs a buffer of at least TQDAQ_LISTING_MIN_SIZE bytes
 * (TQDAQ_STREAM_LISTING_MIN_SIZE for tqdaq_listStreams); a smaller one, or a
 * null buffer or length, is refused with VI_ERROR_INV_PARAMETER (0xBFFF0078)
 * and nothing is written. TQDAQ_ERROR_STATEMENT (0xBFFF0000): the query
 * could not be made, or reading its rows failed part way; in that case the
 * text received is closed (well formed) but incomplete.
 *
 * Stored values are written as stored: the catalogue keeps its help texts
 * and category names XML-escaped. Category and property names given as
 * filters are escaped before they are compared. */
#define TQDAQ_LISTING_MIN_SIZE 23        /* "<?xml version=\"1.0\"?>\n" and a terminator */
#define TQDAQ_STREAM_LISTING_MIN_SIZE 48 /* the header of tqdaq_listStreams and a terminator */
/* <users><user><username/>...</user></users>: every user, or the one named. */
TQ_API ViStatus tqdaq_listUsers(ViSession session, ViConstString userName, ViChar *buffer, ViUInt32 size,
                                ViUInt32 *length);
/* The catalogue of one model (operations, option and configuration
 * categories with their attributes, items and choices), optionally of one
 * category only; with vendor or model 0 the list of models other than the
 * maker's virtual instruments. */
TQ_API ViStatus tqdaq_listModels(ViSession session, ViInt16 vendor, ViInt16 model, ViConstString category,
                                 ViChar *buffer, ViUInt32 size, ViUInt32 *length);
/* The configuration databases grouped by application model. */
TQ_API ViStatus tqdaq_listDBs(ViSession session, ViConstString productName, ViChar *buffer, ViUInt32 size,
                              ViUInt32 *length);
/* Virtual resources (all but databases' own, or the one named) with their
 * model, physical resource, adapters, databases and options. */
TQ_API ViStatus tqdaq_listVresources(ViSession session, ViConstString name, ViChar *buffer, ViUInt32 size,
                                     ViUInt32 *length);
/* Physical resources (all, or the one named) with their model, virtual
 * resource, adapters and options. */
TQ_API ViStatus tqdaq_listPresources(ViSession session, ViConstString name, ViChar *buffer, ViUInt32 size,
                                     ViUInt32 *length);
/* Stored configuration values of sequence 1 in the selected database, by
 * resource, category and index; category and property narrow a named
 * resource's list. sequence and index are not used. */
TQ_API ViStatus tqdaq_listConfigs(ViSession session, ViConstString vresource, ViInt32 sequence,
                                  ViConstString category, ViConstString index, ViConstString property,
                                  ViChar *buffer, ViUInt32 size, ViUInt32 *length);
/* Stored formulas by database (all, or the one named). */
TQ_API ViStatus tqdaq_listFormulas(ViSession session, ViConstString dbName, ViChar *buffer, ViUInt32 size,
                                   ViUInt32 *length);
/* The session's formula output stream and the streams of the selected
 * database's open members, each with the stream engine's 32-bit value of the
 * stream (tqstream_streamOfValue) as its handle. Kept apart from the generic
 * listings: both may be unfinished at once. A stream element is never split
 * between calls; a buffer that cannot hold the next one even empty is
 * refused with VI_ERROR_INV_PARAMETER and the listing waits for a larger
 * buffer. */
TQ_API ViStatus tqdaq_listStreams(ViSession session, ViChar *buffer, ViUInt32 size, ViUInt32 *length);
/* ---- Streams and capture -------------------------------------------------
 * Members: the named member of the selected database (enabled or not), or
 * with a null or empty name every enabled member. Serial members (names
 * beginning "ASRL") have no stream here. */

/* Takes each member's stream from its driver and, in mode 1, registers it
 * with the session's formula engine (after unregistering every stream).
 * Mode 0 with engine flag 1 is refused with VI_ERROR_INV_PARAMETER. */
TQ_API ViStatus tqdaq_createStreams(ViSession session, ViConstString name, ViUInt16 mode, ViUInt16 engineFlag);
/* Unregisters every stream from the engine and lets every member's stream go. */
TQ_API ViStatus tqdaq_closeStreams(ViSession session);
/* Records each member's stream into the file named by fileTemplate with every
 * '$' replaced by the stream's name (at most 255 characters); a template
 * without '$' is accepted for a named member only. */
TQ_API ViStatus tqdaq_captureOpen(ViSession session, ViConstString name, ViConstString fileTemplate, ViInt32 mode);
/* Closes the captures of the members; every member is visited. */
TQ_API ViStatus tqdaq_captureClose(ViSession session, ViConstString name);
/* Records each member's stream into a new capture directory
 * <dataPath>/<database>/<mmmdd_hhmmssyyyy>/ ("<stream>.stm" per stream, with
 * graph.xml and formulae.xml of the formula engine), whose path, '/'
 * separated and ending in '/', is written into directory (TQDAQ_NAME_SIZE
 * bytes). A directory of that second that already exists is never reused:
 * VI_ERROR_IO. */
TQ_API ViStatus tqdaq_captureOpenDB(ViSession session, ViConstString name, ViConstString dataPath, ViInt32 mode,
                                    ViChar *directory);

/* ---- Replay ----------------------------------------------------------------
 * A new formula engine over the ".stm" files of a capture directory, with
 * default formulas, then the recorded formulae.xml, and graph.xml on its
 * output stream. session may be 0. The engine is stored in *engine as soon as
 * it exists and belongs to the caller (formulaEngineRelease). unused is
 * ignored. */
TQ_API ViStatus tqdaq_openDataFiles(ViSession session, ViConstString directory, ViInt32 unused,
                                    TQFormulaEngine **engine);

/* ---- Stored display layouts ------------------------------------------------
 * A stream's display windows, graph objects, axes and channel entries, kept
 * per stream name in the selected configuration database. Saving replaces the
 * stored tree in one transaction (a failure keeps the old one); loading
 * replaces the stream's windows under the stream's lock, and a failure before
 * the stored tree was read leaves them alone. */
TQ_API ViStatus tqdaq_saveStream(ViSession session, TQStream *stream);
TQ_API ViStatus tqdaq_loadStream(ViSession session, TQStream *stream);
TQ_API ViStatus tqdaq_deleteStream(ViSession session, ViConstString streamName);

/* Stored formulas of the selected database (controller only). Linking a name
 * the database already holds replaces its expression and keeps its operator;
 * the texts are stored exactly as given and reach the formula engine at the
 * next build, named after the stream of the database's last member. */
TQ_API ViStatus tqdaq_linkFormula(ViSession session, ViConstString name, ViConstString op, ViConstString expression);
TQ_API ViStatus tqdaq_unlinkFormula(ViSession session, ViConstString name);
TQ_API ViStatus tqdaq_unlinkAllFormulae(ViSession session);

/* ---- Stored configuration --------------------------------------------------
 * Messages are written into the caller's buffer of TQDAQ_MESSAGE_SIZE bytes
 * (cut to fit); a null buffer is allowed everywhere.
 *
 * Brings the enabled members of the selected database and the database's own
 * instrument to their stored configuration: stand-alone instruments first
 * (reset and given the session's simulation mode when firstStep is 1), then
 * the modules on carrier sites by carrier, the database's own instrument
 * last (never reset); the stored values of the steps firstStep..lastStep
 * that are not virtual are sent through setPropertyByName, and the formulas
 * are built again for lastStep. The first failure ends it ("Unable to ..." in
 * message); success leaves "Success". */
#define TQDAQ_MESSAGE_SIZE 256
TQ_API ViStatus tqdaq_configureHW(ViSession session, ViUInt16 firstStep, ViUInt16 lastStep, ViChar *message);
/* Stores one configuration value of a virtual resource (property of a
 * category of its model, at an index or none) and sends it to the
 * instrument at once ("index,value" or the value); a driver that does not
 * know the property does not fail the edit. The first edit of a session
 * reloads every instrument in simulation mode (tqdaq_configureHW from step 1)
 * and opens a transaction that holds every later write of the session until
 * tqdaq_crossCheck or tqdaq_abortConfigs; a refused value rolls the whole
 * transaction back. A step-1 value equal to the item's default removes the
 * stored row. index: NULL or empty for none, else a decimal integer
 * (anything else is refused with TQDAQ_ERROR_STATEMENT and nothing done).
 * TQDAQ_ERROR_STATEMENT also when the transaction cannot be opened (nothing
 * is stored). */
TQ_API ViStatus tqdaq_setConfigs(ViSession session, ViConstString name, ViUInt16 step, ViConstString category,
                                 ViConstString index, ViConstString property, ViConstString value, ViChar *message);
/* Checks the open transaction (formulas built for step, then each member's
 * driver, or the named one) and commits it, or rolls it back at the first
 * failure (a driver that refused is reset). 0 without an open transaction.
 * A commit that fails returns TQDAQ_ERROR_STATEMENT and keeps the
 * transaction open: check again or abort. */
TQ_API ViStatus tqdaq_crossCheck(ViSession session, ViConstString name, ViUInt16 step, ViChar *message);
/* Rolls the open transaction back; VI_ERROR_INV_SETUP when none is open. */
TQ_API ViStatus tqdaq_abortConfigs(ViSession session);
/* Deletes the stored values of the selected database (controller only): all
 * of them, a member's (name), or one category of a member's (name and
 * category); values of items unavailable to the controller stay. A name or
 * category that does not exist gives TQDAQ_ERROR_STATEMENT and deletes
 * nothing. */
TQ_API ViStatus tqdaq_clearConfigs(ViSession session, ViConstString name, ViConstString category);
/* A category attribute of a virtual resource's model into value
 * (TQDAQ_NAME_SIZE bytes, cut to fit); VI_ERROR_NSUP_ATTR when there is none. */
TQ_API ViStatus tqdaq_getCategoryAttribute(ViSession session, ViConstString name, ViConstString category,
                                           ViConstString attribute, ViChar *value);

/* Records a device that a physical-interface plug-in found as a physical
 * resource of the device database (called back by the plug-ins during
 * their refresh). */
TQ_API ViStatus tqdaq_createPresource(ViSession session, ViConstString rsrcName);

#ifdef __cplusplus
}
#endif

#endif
