/* Status values shared across the suite.
 *
 * Statuses follow the VISA convention: 0 success, 0x3FFF.... and 0x3FFC....
 * warnings, 0xBFFF.... VISA errors, 0xBFFC.... (and 0xBFFB....) instrument
 * range errors. The stream engine's objects use small integers internally. */
#ifndef TQ_STATUS_H
#define TQ_STATUS_H

#include "tq/visatype.h"

/* Warnings and errors of the instrument range that more than one library uses. */
#define TQ_WARN_MORE_DATA          ((ViStatus)0x3FFC0107) /* listing continues, or stream result 1 */
#define TQ_WARN_OPER_SKIPPED       ((ViStatus)0x3FFC0108)
#define TQ_ERROR_NO_DATABASE       ((ViStatus)0xBFFC010B)
#define TQ_ERROR_UNKNOWN_USER      ((ViStatus)0xBFFC010D)

/* Small integer results inside the stream engine. */
#define TQS_OK               0
#define TQS_MORE             1
#define TQS_EMPTY            2
#define TQS_ERR_NOMEM      (-4)
#define TQS_ERR_NOTSUPPORTED (-13)
#define TQS_ERR_TOOLARGE   (-16)
#define TQS_ERR_CLOSED     (-19)
#define TQS_ERR_TIMEOUT20  (-20)
#define TQS_ERR_TIMEOUT    (-22)

/* Win32-style wait results, exposed as numbers by several interfaces. */
#define TQ_WAIT_OBJECT_0   0u
#define TQ_WAIT_ABANDONED  0x80u
#define TQ_WAIT_TIMEOUT    258u
#define TQ_WAIT_FAILED     0xFFFFFFFFu
#define TQ_INFINITE        0xFFFFFFFFu

#endif
