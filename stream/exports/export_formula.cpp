// Flat exports over the formula engine.
#include "exportimpl.h"

using namespace tq::stream::exports;

namespace
{

// The engine's operations that report only whether they failed.
ViStatus failedOrNot(int32_t code)
{
    return code < 0 ? VI_ERROR_SYSTEM_ERROR : VI_SUCCESS;
}

} // namespace

TQ_API ViStatus tqstream_newFormulaEngine(void *owner, TQFormulaEngine **engine)
{
    if (!engine)
        return kNoResult;
    return found(NewFormulaEngine(owner), engine, VI_ERROR_SYSTEM_ERROR);
}

TQ_API ViStatus tqstream_formulaEngineRegisterStream(TQFormulaEngine *engine, TQStream *stream)
{
    if (!engine)
        return kNoObject;
    return failedOrNot(engine->formulaEngineRegisterStream(engine, stream));
}

TQ_API ViStatus tqstream_formulaEngineAddFormula(TQFormulaEngine *engine, const char *name, const char *op,
                                                 const char *expression)
{
    if (!engine)
        return kNoObject;
    return failedOrNot(engine->formulaEngineAddFormula(engine, name, op, expression));
}

TQ_API ViStatus tqstream_formulaEngineRmvFormula(TQFormulaEngine *engine, const char *name)
{
    if (!engine)
        return kNoObject;
    engine->formulaEngineRmvFormula(engine, name);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_formulaEngineRmvAllFormulas(TQFormulaEngine *engine)
{
    if (!engine)
        return kNoObject;
    engine->formulaEngineRmvAllFormulas(engine);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_formulaEngineCreateDfltFormulas(TQFormulaEngine *engine)
{
    if (!engine)
        return kNoObject;
    return failedOrNot(engine->createDefaultFormulas(engine));
}

TQ_API ViStatus tqstream_formulaEngineParse(TQFormulaEngine *engine, char *message)
{
    if (!engine)
        return kNoObject;
    return failedOrNot(engine->parseFormulas(engine, message));
}

TQ_API ViStatus tqstream_formulaEngineEvalScans(TQFormulaEngine *engine, int64_t count, int64_t *result)
{
    if (!engine)
        return kNoObject;
    put(result, engine->formulaEngineEvalScans(engine, count));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_formulaEngineEvalScansl(TQFormulaEngine *engine, int32_t count, int32_t *result)
{
    if (!engine)
        return kNoObject;
    put(result, narrow(engine->formulaEngineEvalScans(engine, count)));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_formulaEngineGetStream(TQFormulaEngine *engine, const char *name, TQStream **stream)
{
    if (!engine)
        return kNoObject;
    if (!stream)
        return kNoResult;
    TQStream *output = nullptr;
    engine->formulaEngineGetStream(engine, name, &output);
    return found(output, stream, VI_ERROR_SYSTEM_ERROR);
}

TQ_API ViStatus tqstream_formulaEngineWriteXML(TQFormulaEngine *engine, const char *directory)
{
    if (!engine)
        return kNoObject;
    return mapped(engine->formulaEngineWriteXML(engine, directory));
}

TQ_API ViStatus tqstream_formulaEngineReadXML(TQFormulaEngine *engine, const char *directory)
{
    if (!engine)
        return kNoObject;
    return mapped(engine->formulaEngineReadXML(engine, directory));
}

TQ_API ViStatus tqstream_formulaEngineClose(TQFormulaEngine *engine)
{
    if (!engine)
        return kNoObject;
    TQFormulaEngine *copy = engine;
    engine->formulaEngineRelease(&copy);
    return VI_SUCCESS;
}
