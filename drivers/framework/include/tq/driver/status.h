// Statuses of the instrument-driver range that every driver shares.
#pragma once

#include "tq/status.h"

// Standard instrument-driver completion and error codes.
#define VI_WARN_NSUP_ID_QUERY    ((ViStatus)0x3FFC0101)
#define VI_WARN_NSUP_RESET       ((ViStatus)0x3FFC0102)
#define VI_WARN_NSUP_SELF_TEST   ((ViStatus)0x3FFC0103)
#define VI_WARN_NSUP_ERROR_QUERY ((ViStatus)0x3FFC0104)
#define VI_WARN_NSUP_REV_QUERY   ((ViStatus)0x3FFC0105)
#define VI_ERROR_FAIL_ID_QUERY   ((ViStatus)0xBFFC0011)
#define VI_ERROR_INV_RESPONSE    ((ViStatus)0xBFFC0012)

// The driver template's own.
#define TQ_WARN_MORE_INSTRUMENTS ((ViStatus)0x3FFC0106) /* autoConnectToAll filled the array; more remain */
#define TQ_WARN_ALREADY_RUNNING  ((ViStatus)0x3FFC0109) /* start of a running device */
#define TQ_ERROR_NO_INSTRUMENT   ((ViStatus)0xBFFC0017) /* simulation cannot end without an instrument */
