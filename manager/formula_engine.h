// The formula engine as the sessions use it: created at session start with
// its output stream, told when an instrument's stream goes away, released at
// session end. The four operations are bound in one place, so that the
// sessions do not depend on the engine record's layout.
#pragma once

#include <cstdint>

#include "tqstream.h"

namespace tq::manager
{

using FormulaEngine = TQFormulaEngine;

struct FormulaEngineOps {
    // NewFormulaEngine: the engine holding one reference, or null; flag 0
    // makes an engine that computes when its output stream is read.
    FormulaEngine *(*create)(int32_t flag);
    // formulaEngineGetStream(engine, name or null, &stream): 0, or negative.
    int32_t (*getStream)(FormulaEngine *engine, const char *name, TQStream **stream);
    // formulaEngineRelease(&engine): drops the holder's reference, clears it.
    void (*release)(FormulaEngine **engine);
    // formulaEngineUnregisterStream(engine, stream): result ignored by callers.
    int32_t (*unregisterStream)(FormulaEngine *engine, TQStream *stream);
};

// The stream library's engine.
const FormulaEngineOps *formulaEngineOps();

} // namespace tq::manager
