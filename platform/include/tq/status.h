/* Status values shared across the suite.
 *
 * Statuses follow the VISA convention: 0 success, 0x3FFF.... and 0x3FFC....
 * warnings, 0xBFFF.... VISA errors, 0xBFFC.... (and 0xBFFB....) instrument
 * range errors. The stream engine's own small results are in tqstream/results.h. */
#ifndef TQ_STATUS_H
#define TQ_STATUS_H

#include "tq/visatype.h"

/* Warnings and errors of the instrument range that more than one library uses. */
#define TQ_WARN_MORE_DATA          ((ViStatus)0x3FFC0107) /* listing continues, or stream result 1 */
#define TQ_WARN_OPER_SKIPPED       ((ViStatus)0x3FFC0108)
#define TQ_ERROR_NO_DATABASE       ((ViStatus)0xBFFC010B)
#define TQ_ERROR_UNKNOWN_USER      ((ViStatus)0xBFFC010D)

/* Win32-style wait results, exposed as numbers by several interfaces. */
#define TQ_WAIT_OBJECT_0   0u
#define TQ_WAIT_ABANDONED  0x80u
#define TQ_WAIT_TIMEOUT    258u
#define TQ_WAIT_FAILED     0xFFFFFFFFu
#define TQ_INFINITE        0xFFFFFFFFu

#endif
