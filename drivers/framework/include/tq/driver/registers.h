// Register fields: a field of a 32-bit register, given by mask and shift,
// changed by read-modify-write through the deliverable's VISA binding.
#pragma once

#include "tq/visatype.h"

namespace tq::driver {

// Reads the register and writes (old & ~(mask << shift)) | (value << shift)
// back; the value is not masked. A failed read writes nothing. Returns the
// VISA status.
ViStatus setRegisterField(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift,
                          ViUInt32 value);
// (register >> shift) & mask; value is written only when the read succeeds.
ViStatus getRegisterField(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift,
                          ViUInt32 *value);

} // namespace tq::driver
