// The model 775's properties and operations by name.
#pragma once

#include "tq/driver/model.h"

namespace tq775
{
void tables(tq::driver::ModelInfo &info);
}
