#include "formula_engine.h"

namespace tq::manager
{

namespace
{

FormulaEngine *create(int32_t flag)
{
    // A non-null owner would make the engine compute as data arrive; the
    // sessions' engines compute when read.
    static int owner;
    return NewFormulaEngine(flag ? &owner : nullptr);
}

int32_t getStream(FormulaEngine *engine, const char *name, TQStream **stream)
{
    return engine->formulaEngineGetStream(engine, name, stream);
}

void release(FormulaEngine **engine)
{
    if (*engine)
        (*engine)->formulaEngineRelease(engine);
    *engine = nullptr;
}

int32_t unregisterStream(FormulaEngine *engine, TQStream *stream)
{
    return engine->formulaEngineUnregisterStream(engine, stream);
}

const FormulaEngineOps kOps = {&create, &getStream, &release, &unregisterStream};

} // namespace

const FormulaEngineOps *formulaEngineOps()
{
    return &kOps;
}

} // namespace tq::manager
