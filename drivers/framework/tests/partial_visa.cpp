// A VISA library that exports only a few functions, for the binding tests.
#include <cstring>

#include "tq/export.h"
#include "tq/visatype.h"

TQ_API ViStatus viOpenDefaultRM(ViSession *vi)
{
    *vi = 0x4242;
    return VI_SUCCESS;
}

TQ_API ViStatus viClose(ViObject) { return VI_SUCCESS; }

TQ_API ViStatus viStatusDesc(ViObject, ViStatus, ViChar *desc)
{
    strcpy(desc, "partial library");
    return VI_SUCCESS;
}

TQ_API ViStatus viIn32(ViSession, ViUInt16, ViBusAddress offset, ViUInt32 *value)
{
    *value = static_cast<ViUInt32>(offset) ^ 0xFEED0000u;
    return VI_SUCCESS;
}
