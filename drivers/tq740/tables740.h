// The model 740's tables for properties and operations by name.
#pragma once

#include "tq/driver/model.h"

namespace tq740
{

void tables(tq::driver::ModelInfo &info);

} // namespace tq740
