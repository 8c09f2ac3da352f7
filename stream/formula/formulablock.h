// Evaluation of the engine's formulas a block of scans at a time.
//
// Walking a tree once per scan costs an indirect call per node per scan. The
// block program instead computes each node over a whole block of scans into a
// column of its own, nodes in dependency order, so that the inner loops are
// tight and the calls are per block. The values are those of the scan-by-scan
// walk, to the bit:
//
// - A node shared by several formulas has one column, computed once per scan
//   as its cache would have it.
// - A stateful node (generator, running extreme, window, derivative) is put
//   in the program only when every scan evaluates it ("strict"): it then
//   advances once per scan in scan order whatever else is in the block. One
//   that the walk reaches only now and then (under a conditional, a reset or
//   an alarm) stays with the walk, which then reaches it as it always did.
// - Nodes with effects outside themselves (alarms, which post events, and
//   output statements, which write their channel) stay with the walk too,
//   which runs after the program for each scan of the block in formula order,
//   so events and writes keep their order. The walk reads the columns of the
//   nodes the program computed.
// - Pure nodes are computed for every scan of the block even where the walk
//   would skip them (the branch of a conditional not taken): they have no
//   state, so the values read are the same.
#pragma once

#include <cstdint>
#include <vector>

#include "exprnode.h"

namespace tq::formula {

class BlockProgram {
public:
    // Scans per block: the columns of a program stay in the first-level cache.
    static constexpr int32_t kBlockScans = 256;

    BlockProgram() = default;
    ~BlockProgram() { clear(); }
    BlockProgram(const BlockProgram &) = delete;
    BlockProgram &operator=(const BlockProgram &) = delete;

    // Builds the program of one parse: the input formulas' roots (statements)
    // in output order, then the synchronous output formulas' roots in their
    // order. Every column is allocated here; evaluation allocates nothing.
    // Throws std::bad_alloc without memory (the program is then empty).
    void compile(EvalContext *context, const std::vector<ExprNode *> &inputs, const std::vector<ExprNode *> &outputs);
    // Forgets the program and gives its nodes back.
    void clear();

    // Evaluates the scans j0 to j0 + count - 1 of the scan pointers' block
    // (count at most kBlockScans), whose first has the running index s0.
    void run(void *const *scans, int64_t j0, int64_t s0, int32_t count);
    // Values of input formula i (in the order given to compile) for the
    // scans of the last run.
    const double *result(size_t i) const { return results_[i]; }

    struct Step {
        ExprNode *node;
        int32_t op;
        double *out;
        const double *in[3];
        // 1 or 2 when the first or the second operand is a constant, kept
        // here.
        int32_t constantSide;
        double constant;
    };

private:
    struct Late {
        ExprNode *root;
        double *out; // null for output statements
    };

    void exec(const Step &step, void *const *scans, int64_t j0, int64_t s0, int32_t count) const;

    EvalContext *context_ = nullptr;
    std::vector<double> columns_;
    std::vector<Step> steps_;
    std::vector<Late> late_;
    std::vector<const double *> results_;
    // Nodes given a column, each holding one reference of the program.
    std::vector<ExprNode *> nodes_;
};

} // namespace tq::formula
