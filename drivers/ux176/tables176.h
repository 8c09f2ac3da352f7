// The model 176's tables: its own status texts and its properties and
// operations by name.
#pragma once

#include "tq/driver/model.h"

namespace ux176
{

void tables(tq::driver::ModelInfo &info);

} // namespace ux176
