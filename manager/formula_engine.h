// The formula engine as the sessions use it: created at session start with
// its output stream, told when an instrument's stream goes away, released at
// session end.
//
// The stream library does not export a formula engine yet. Until it does,
// formulaEngineOps() answers null and a session runs without engine and
// output stream: nothing that needs them is offered by this library either.
// When the engine exists, formula_engine.cpp binds these four operations to
// it and nothing else in the manager changes.
#pragma once

#include <cstdint>

#include "tqstream.h"

namespace tq::manager
{

struct FormulaEngine; // the stream library's record, opaque here

struct FormulaEngineOps {
    // NewFormulaEngine(flag): the engine holding one reference, or null.
    FormulaEngine *(*create)(int32_t flag);
    // formulaEngineGetStream(engine, name or null, &stream): 0, or negative.
    int32_t (*getStream)(FormulaEngine *engine, const char *name, TQStream **stream);
    // formulaEngineRelease(&engine): drops the holder's reference, clears it.
    void (*release)(FormulaEngine **engine);
    // formulaEngineUnregisterStream(engine, stream): result ignored by callers.
    int32_t (*unregisterStream)(FormulaEngine *engine, TQStream *stream);
};

// The engine's operations, or null while the stream library has no engine.
const FormulaEngineOps *formulaEngineOps();

} // namespace tq::manager
