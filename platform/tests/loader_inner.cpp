// Test library found by the outer one through the loader's own-directory rule.
#include "tq/export.h"

TQ_API int tqloader_inner_value(void) { return 4242; }
