// The model 747's tables for properties and operations by name.
#pragma once

#include "tq/driver/model.h"

namespace tq747
{

void tables(tq::driver::ModelInfo &info);

} // namespace tq747
