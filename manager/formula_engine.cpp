#include "formula_engine.h"

namespace tq::manager
{

// The stream library of this build has no formula engine (NewFormulaEngine
// and its operations): sessions open without one.
const FormulaEngineOps *formulaEngineOps()
{
    return nullptr;
}

} // namespace tq::manager
