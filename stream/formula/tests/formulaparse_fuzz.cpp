// Fuzz target of the formula statement parser: any text parses to 0, 1 or 2
// without a crash or a leak, and an accepted tree can be evaluated and
// printed.
#include <cstdint>
#include <cstdlib>

#include "formula/exprnode.h"
#include "formula/formulaparse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace tq::formula;
    char message[256] = "Expression for f: ";
    ExprNode *root = nullptr;
    const int result = parseStatement(reinterpret_cast<const char *>(data), size, &root, message, sizeof message);
    if (result < 0 || result > 2 || (result == 0) != (root != nullptr))
        std::abort();
    if (root) {
        for (int64_t s = 0; s < 3; ++s)
            exprEval(root, nullptr, s, s);
        char tree[512];
        exprFormat(root, tree, sizeof tree);
        exprRelease(&root);
    }
    return 0;
}
