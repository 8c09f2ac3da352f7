#include "tq/driver/registers.h"

#include "tq/driver/visa_binding.h"

namespace tq::driver {

namespace {

// Shifts of 32 or more leave nothing of a 32-bit register instead of being
// undefined.
ViUInt32 shifted(ViUInt32 v, ViUInt16 shift) { return shift >= 32 ? 0 : v << shift; }

} // namespace

ViStatus setRegisterField(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift,
                          ViUInt32 value)
{
    const visa::FunctionTable &v = visa::visa();
    ViUInt32 old = 0;
    ViStatus status = v.viIn32(vi, space, offset, &old);
    if (status < VI_SUCCESS)
        return status;
    return v.viOut32(vi, space, offset, (old & ~shifted(mask, shift)) | shifted(value, shift));
}

ViStatus getRegisterField(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift,
                          ViUInt32 *value)
{
    ViUInt32 reg = 0;
    ViStatus status = visa::visa().viIn32(vi, space, offset, &reg);
    if (status >= VI_SUCCESS && value)
        *value = (shift >= 32 ? 0 : reg >> shift) & mask;
    return status;
}

} // namespace tq::driver
