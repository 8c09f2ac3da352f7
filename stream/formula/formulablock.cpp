// The block program: which nodes are computed a block at a time, in which
// order, and the loops that compute them.
#include "formulablock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace tq::formula {

namespace {

enum Op : int32_t {
    kOpGeneric, // the node's own evaluation, once per scan, its operands read from their columns
    kOpChannel,
    kOpScanIndex,
    kOpNegate,
    kOpAdd,
    kOpSubtract,
    kOpMultiply,
    kOpDivide,
    kOpSine,
    kOpArcSine,
    kOpSquareRoot,
    kOpGreater,
    kOpLess,
    kOpGreaterEqual,
    kOpLessEqual,
    kOpEqual,
    kOpNotEqual,
    kOpConditional,
};

ExprNode *operandAt(const ExprNode *n, int32_t i) { return i < n->operandCount && i < 4 ? n->operand[i] : nullptr; }

// Calls visit(operand, strict) for every operand that an evaluation of the
// node may evaluate; strict when every evaluation of the node does. This
// follows the evaluation functions of the kinds.
template <class Visit> void forEachOperand(const ExprNode *n, Visit &&visit)
{
    auto at = [&](int32_t i, bool strict) {
        if (ExprNode *operand = operandAt(n, i))
            visit(operand, strict);
    };
    switch (n->kind) {
    case kConstant:
    case kText:
    case kChannelRef:
    case kRawChannelRef:
    case kName:
    case kMacro:
    case kScanIndex: return;
    case kInputStatement:
    case kOutputStatement: at(1, true); return;
    // The multipoint pairs and the bridge lists are tables, not evaluated.
    case kMultipoint:
    case kBridge:
    case kAverage:
    case kVariance:
    case kDerivative: at(0, true); return;
    case kConditional:
        at(0, true);
        at(1, false);
        at(2, false);
        return;
    // The reset (re-arm) decides whether the rest is evaluated.
    case kRunningMax:
    case kRunningMin:
    case kAlarm:
        at(0, false);
        at(1, true);
        at(2, false);
        return;
    // The frequency is read when a period starts.
    case kRamp:
        at(0, true);
        at(1, true);
        at(2, false);
        return;
    case kSequence:
        at(1, false);
        for (ExprNode *e = operandAt(n, 0); e; e = e->next)
            visit(e, false);
        return;
    default:
        for (int32_t i = 0; i < n->operandCount && i < 4; ++i)
            at(i, true);
        return;
    }
}

bool stateful(int32_t kind)
{
    switch (kind) {
    case kRamp:
    case kSequence:
    case kRunningMax:
    case kRunningMin:
    case kAverage:
    case kVariance:
    case kDerivative: return true;
    default: return false;
    }
}

Op opOf(const ExprNode *n)
{
    const bool two = n->operandCount >= 2;
    switch (n->kind) {
    case kChannelRef: return kOpChannel;
    case kScanIndex: return kOpScanIndex;
    case kNegate: return n->operandCount >= 1 ? kOpNegate : kOpGeneric;
    case kAdd: return two ? kOpAdd : kOpGeneric;
    case kSubtract: return two ? kOpSubtract : kOpGeneric;
    case kMultiply: return two ? kOpMultiply : kOpGeneric;
    case kDivide: return two ? kOpDivide : kOpGeneric;
    case kSine: return n->operandCount >= 1 ? kOpSine : kOpGeneric;
    case kArcSine: return n->operandCount >= 1 ? kOpArcSine : kOpGeneric;
    case kSquareRoot: return n->operandCount >= 1 ? kOpSquareRoot : kOpGeneric;
    case kConditional: return n->operandCount >= 3 ? kOpConditional : kOpGeneric;
    case kCompare: {
        if (!two)
            return kOpGeneric;
        static const struct {
            const char *text;
            Op op;
        } compares[] = {{">", kOpGreater},     {"<", kOpLess},   {">=", kOpGreaterEqual},
                        {"<=", kOpLessEqual}, {"==", kOpEqual}, {"!=", kOpNotEqual}};
        for (const auto &c : compares)
            if (std::strcmp(n->name, c.text) == 0)
                return c.op;
        return kOpGeneric;
    }
    default: return kOpGeneric;
    }
}

// True when value is a power of two whose reciprocal is a double as well.
bool exactReciprocal(double value, double *reciprocal)
{
    int exponent = 0;
    if (!std::isfinite(value) || value == 0.0 || std::fabs(std::frexp(value, &exponent)) != 0.5)
        return false;
    const double r = 1.0 / value;
    if (!std::isfinite(r) || r == 0.0 || std::fabs(std::frexp(r, &exponent)) != 0.5)
        return false;
    *reciprocal = r;
    return true;
}

struct Compiler {
    std::unordered_set<const ExprNode *> strict;
    std::unordered_map<const ExprNode *, bool> blockable;
    std::unordered_map<const ExprNode *, size_t> column; // index of the node's column
    std::unordered_set<const ExprNode *> emitted;
    struct PendingStep {
        ExprNode *node;
        Op op;
        size_t out;
        size_t in[3];
        int32_t constantSide;
        double constant;
    };
    std::vector<PendingStep> steps;
    std::vector<std::pair<size_t, double>> constants; // columns filled once
    std::vector<ExprNode *> nodes;
    size_t columns = 0;

    void markStrict(ExprNode *root)
    {
        std::vector<ExprNode *> pending{root};
        while (!pending.empty()) {
            ExprNode *n = pending.back();
            pending.pop_back();
            if (!strict.insert(n).second)
                continue;
            forEachOperand(n, [&](ExprNode *operand, bool always) {
                if (always)
                    pending.push_back(operand);
            });
        }
    }

    bool isBlockable(ExprNode *n)
    {
        if (n->kind == kConstant)
            return true;
        if (auto known = blockable.find(n); known != blockable.end())
            return known->second;
        bool ok = n->evaluate && n->engine;
        switch (n->kind) {
        // Their effects (events, channel writes) keep the walk's order.
        case kAlarm:
        case kOutputStatement:
        case kInputStatement:
        case kText: ok = false; break;
        // Settled for number elements and a number frequency only.
        case kSequence: {
            const ExprNode *frequency = operandAt(n, 1);
            ok = ok && frequency && frequency->kind == kConstant && operandAt(n, 0);
            for (const ExprNode *e = operandAt(n, 0); ok && e; e = e->next)
                ok = e->kind == kConstant;
            break;
        }
        default: break;
        }
        if (ok && stateful(n->kind) && !strict.count(n))
            ok = false;
        if (ok)
            forEachOperand(n, [&](ExprNode *operand, bool) { ok = ok && isBlockable(operand); });
        blockable[n] = ok;
        return ok;
    }

    // Operands first, so that every step reads columns already computed;
    // blockable nodes below a node left to the walk get columns too, for the
    // walk to read.
    void emit(ExprNode *n)
    {
        if (!emitted.insert(n).second)
            return;
        forEachOperand(n, [&](ExprNode *operand, bool) { emit(operand); });
        if (!isBlockable(n))
            return;
        const size_t out = columns++;
        column[n] = out;
        if (n->kind == kConstant) {
            constants.emplace_back(out, n->cachedValue);
            return;
        }
        nodes.push_back(n);
        PendingStep step{n, opOf(n), out, {0, 0, 0}, 0, 0.0};
        if (step.op != kOpGeneric && step.op != kOpChannel && step.op != kOpScanIndex)
            for (int32_t i = 0; i < 3 && i < n->operandCount; ++i)
                step.in[i] = column.at(n->operand[i]);
        if (step.op == kOpAdd || step.op == kOpSubtract || step.op == kOpMultiply || step.op == kOpDivide) {
            if (n->operand[1]->kind == kConstant) {
                step.constantSide = 2;
                step.constant = n->operand[1]->cachedValue;
                // Dividing by a power of two is multiplying by its exact
                // reciprocal: the same real number, so the same rounding.
                if (step.op == kOpDivide && exactReciprocal(step.constant, &step.constant))
                    step.op = kOpMultiply;
            } else if (n->operand[0]->kind == kConstant) {
                step.constantSide = 1;
                step.constant = n->operand[0]->cachedValue;
            }
        }
        steps.push_back(step);
    }
};

} // namespace

void BlockProgram::compile(EvalContext *context, const std::vector<ExprNode *> &inputs,
                           const std::vector<ExprNode *> &outputs)
{
    clear();
    Compiler c;
    for (ExprNode *root : inputs)
        c.markStrict(root);
    for (ExprNode *root : outputs)
        c.markStrict(root);

    // Input formulas whose expression the program computes are read from its
    // column; the others are walked into a column of their own.
    std::vector<size_t> resultColumns;
    std::vector<std::pair<ExprNode *, size_t>> late; // column index + 1, 0 for none
    for (ExprNode *root : inputs) {
        ExprNode *expression = operandAt(root, 1);
        c.emit(root);
        if (expression && c.isBlockable(expression)) {
            resultColumns.push_back(c.column.at(expression));
        } else {
            const size_t own = c.columns++;
            resultColumns.push_back(own);
            late.emplace_back(root, own + 1);
        }
    }
    for (ExprNode *root : outputs) {
        c.emit(root);
        late.emplace_back(root, 0);
    }

    std::vector<double> columns(c.columns * kBlockScans, 0.0);
    auto columnAt = [&](size_t index) { return columns.data() + index * kBlockScans; };
    for (const auto &[index, value] : c.constants)
        std::fill_n(columnAt(index), kBlockScans, value);
    std::vector<Step> steps;
    steps.reserve(c.steps.size());
    for (const auto &s : c.steps)
        steps.push_back(Step{s.node, s.op, columnAt(s.out), {columnAt(s.in[0]), columnAt(s.in[1]), columnAt(s.in[2])},
                             s.constantSide, s.constant});
    std::vector<Late> lateSteps;
    lateSteps.reserve(late.size());
    for (const auto &[root, index] : late)
        lateSteps.push_back(Late{root, index ? columnAt(index - 1) : nullptr});
    std::vector<const double *> results;
    results.reserve(resultColumns.size());
    for (size_t index : resultColumns)
        results.push_back(columnAt(index));

    // Nothing below throws: the program takes its nodes.
    context_ = context;
    columns_ = std::move(columns);
    steps_ = std::move(steps);
    late_ = std::move(lateSteps);
    results_ = std::move(results);
    nodes_ = std::move(c.nodes);
    for (ExprNode *n : nodes_) {
        exprAddRef(n);
        n->column = columns_.data() + c.column.at(n) * kBlockScans;
    }
}

void BlockProgram::clear()
{
    for (ExprNode *&n : nodes_) {
        n->column = nullptr;
        exprRelease(&n);
    }
    nodes_.clear();
    steps_.clear();
    late_.clear();
    results_.clear();
    columns_.clear();
    if (context_)
        context_->columnsLive = false;
    context_ = nullptr;
}

void BlockProgram::run(void *const *scans, int64_t j0, int64_t s0, int32_t count)
{
    if (!context_)
        return;
    context_->blockFirst = j0;
    context_->columnsLive = true;
    for (const Step &step : steps_)
        exec(step, scans, j0, s0, count);
    if (!late_.empty()) {
        for (int32_t k = 0; k < count; ++k) {
            for (const Late &l : late_) {
                const double value = exprEval(l.root, scans, j0 + k, s0 + k);
                if (l.out)
                    l.out[k] = value;
            }
        }
    }
    context_->columnsLive = false;
}

namespace {

// A two-operand step; a constant operand is held in a register rather than
// read from its column.
template <class F> inline __attribute__((always_inline)) void binary(const BlockProgram::Step &step, int32_t count, F f)
{
    double *out = step.out;
    const double *a = step.in[0];
    const double *b = step.in[1];
    const double c = step.constant;
    if (step.constantSide == 2) {
        for (int32_t k = 0; k < count; ++k)
            out[k] = f(a[k], c);
    } else if (step.constantSide == 1) {
        for (int32_t k = 0; k < count; ++k)
            out[k] = f(c, b[k]);
    } else {
        for (int32_t k = 0; k < count; ++k)
            out[k] = f(a[k], b[k]);
    }
}

} // namespace

// The loops run four doubles at a time where the processor can: the same
// operations on the same numbers, so the same results. (Not under the thread
// sanitizer, whose run time is not ready when the loader picks the variant.)
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void BlockProgram::exec(const Step &step, void *const *scans, int64_t j0, int64_t s0, int32_t count) const
{
    double *out = step.out;
    const double *a = step.in[0];
    const double *b = step.in[1];
    const double *c = step.in[2];
    ExprNode *n = step.node;
    switch (step.op) {
    case kOpChannel: {
        TQStreamChannel *channel = n->channel;
        if (!channel || !scans) {
            std::fill_n(out, count, std::nan(""));
            return;
        }
        const auto eval = channel->streamChannelEval;
        const char *base = static_cast<const char *>(scans[n->state]);
        const int64_t bytes = n->scanBytes;
        const double rate = n->relativeRate;
        if (rate == 1.0) {
            for (int32_t k = 0; k < count; ++k)
                out[k] = eval(channel, base + (j0 + k) * bytes);
        } else {
            // Slower members: the scan that the walk would read, position
            // truncated from the relative rate as it does.
            for (int32_t k = 0; k < count; ++k) {
                const int64_t position = static_cast<int64_t>(static_cast<double>(j0 + k) * rate);
                out[k] = eval(channel, base + position * bytes);
            }
        }
        return;
    }
    case kOpScanIndex:
        for (int32_t k = 0; k < count; ++k)
            out[k] = static_cast<double>(s0 + k);
        return;
    case kOpNegate:
        for (int32_t k = 0; k < count; ++k)
            out[k] = -1.0 * a[k];
        return;
    case kOpAdd: binary(step, count, [](double x, double y) { return x + y; }); return;
    case kOpSubtract: binary(step, count, [](double x, double y) { return x - y; }); return;
    case kOpMultiply: binary(step, count, [](double x, double y) { return x * y; }); return;
    case kOpDivide: binary(step, count, [](double x, double y) { return x / y; }); return;
    case kOpSine:
        for (int32_t k = 0; k < count; ++k)
            out[k] = std::sin(a[k]);
        return;
    case kOpArcSine:
        for (int32_t k = 0; k < count; ++k)
            out[k] = std::asin(a[k]);
        return;
    case kOpSquareRoot: {
        // This file is built without errno for the math functions, so that
        // the square root runs several at a time; it is exact, so it differs
        // from the walk's only where it is NaN (a negative number, for which
        // the library is called and sets errno). Those scans are evaluated
        // as the walk does.
        for (int32_t k = 0; k < count; ++k)
            out[k] = std::sqrt(a[k]);
        int32_t nan = 0;
        for (int32_t k = 0; k < count; ++k)
            nan |= std::isnan(out[k]);
        if (nan)
            for (int32_t k = 0; k < count; ++k)
                if (std::isnan(out[k]))
                    out[k] = n->evaluate(n, scans, j0 + k, s0 + k);
        return;
    }
    case kOpGreater:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] > b[k] ? 1.0 : 0.0;
        return;
    case kOpLess:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] < b[k] ? 1.0 : 0.0;
        return;
    case kOpGreaterEqual:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] >= b[k] ? 1.0 : 0.0;
        return;
    case kOpLessEqual:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] <= b[k] ? 1.0 : 0.0;
        return;
    case kOpEqual:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] == b[k] ? 1.0 : 0.0;
        return;
    case kOpNotEqual:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] != b[k] ? 1.0 : 0.0;
        return;
    // NaN counts as true: NaN != 0 holds.
    case kOpConditional:
        for (int32_t k = 0; k < count; ++k)
            out[k] = a[k] != 0.0 ? b[k] : c[k];
        return;
    default:
        for (int32_t k = 0; k < count; ++k)
            out[k] = n->evaluate(n, scans, j0 + k, s0 + k);
        return;
    }
}

} // namespace tq::formula
