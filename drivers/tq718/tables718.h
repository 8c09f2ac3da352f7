// The model 718's tables for properties and operations by name, and its
// crossCheck.
#pragma once

#include "session718.h"
#include "tq/driver/model.h"

namespace tq718
{

// Points the model information at the set, get and operation tables.
void fillTables(tq::driver::ModelInfo &info);

// Checks the stored configuration (every value through its getter): the
// internal clock's rate, the enabled channels' names, limit levels and
// filters, and the conditions of a triggered acquisition.
ViStatus crossCheck(Session718 &s, ViChar *message);

} // namespace tq718
