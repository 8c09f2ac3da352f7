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

/* The selected configuration database's name, TQDAQ_NAME_SIZE bytes. */
TQ_API ViStatus tqdaq_getDB(ViSession session, ViChar *name);

/* Records a device that a physical-interface plug-in found as a physical
 * resource of the device database (called back by the plug-ins during
 * their refresh). */
TQ_API ViStatus tqdaq_createPresource(ViSession session, ViConstString rsrcName);

#ifdef __cplusplus
}
#endif

#endif
