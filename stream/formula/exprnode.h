// Expression nodes: the trees that formulas are held as.
//
// One record serves every kind of node; the kind decides the evaluation
// function stored in the node, what its operands mean and which state fields
// it uses. Evaluation is cached per 64-bit scan index, so a node shared by
// several formulas (or reached twice in one tree) computes once per scan and
// stateful nodes advance exactly once per scan.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tqstream.h"

namespace tq::formula {

enum ExprKind : int32_t {
    kConstant = 1,
    kText = 2,
    kNegate = 3,
    kAdd = 4,
    kSubtract = 5,
    kMultiply = 6,
    kDivide = 7,
    kBitOr = 8,
    kBitAnd = 9,
    kRemainder = 10,
    kChannelRef = 11,
    kRawChannelRef = 12,
    kName = 13,
    kInputStatement = 14,
    kOutputStatement = 15,
    kUnrefThermo = 16,
    kThermo = 17,
    kThermoRef = 18,
    kMultipoint = 19,
    kBridge = 20,
    kSine = 21,
    kArcSine = 22,
    kSquareRoot = 23,
    kRamp = 24,
    kSequence = 25,
    kMacro = 26,
    kRunningMax = 27,
    kRunningMin = 28,
    kAverage = 29,
    kVariance = 30,
    kScanIndex = 31,
    kAlarm = 32,
    kConditional = 33,
    kShift = 34,
    kCompare = 35,
    kDerivative = 36,
};

constexpr int32_t kSyncAsync = 1;
constexpr int32_t kSyncSync = 2;

// Room for the longest text the statement language produces: a channel
// reference of two 64-character names with its brackets and dash.
constexpr size_t kNodeNameSize = 132;
// Units words are kept to what the formula records and channels hold.
constexpr size_t kUnitsMax = 63;
// Largest moving-average or variance window a formula may ask for.
constexpr int32_t kMaxWindow = 1 << 24;

// Starting values of the running extremes.
constexpr double kRunningMaxStart = -1.0629365383287772e304; // bits FF0F000000000000
constexpr double kRunningMinStart = 1.7976931348623157e308;

// What evaluation needs of the formula engine that resolved a node. The engine
// owns it and keeps it current; nodes only read it (and the alarm posts on
// the stream).
struct EvalContext {
    // Scans per second of the evaluation under way: the collection's rate for
    // input formulas, the target stream's output rate during a refill.
    double rate;
    // Stream on which alarms post their events (the formula output stream).
    TQStream *eventStream;
    // While a block of scans is evaluated, nodes that hold a column of the
    // block's values are read from it (index: scan position minus
    // blockFirst) instead of being evaluated again. Off for any other
    // evaluation, such as the refill's.
    bool columnsLive = false;
    int64_t blockFirst = 0;
};

struct ExprNode;

// scans: for input formulas one pointer per member stream to the first scan
// of the block being evaluated; for output formulas refilled into output
// scans, a cell holding the start of the current output piece. j is the
// scan's position in that block, s the running scan index keying the cache.
using EvalFn = double (*)(ExprNode *node, void *const *scans, int64_t j, int64_t s);

struct ExprNode {
    uint32_t refCount;
    char name[kNodeNameSize];
    int32_t kind;
    int32_t syncMode;
    int64_t cacheIndex;
    double cachedValue;
    double sum;
    double sumSquares;
    EvalFn evaluate; // null for nodes that must not be evaluated
    int32_t operandCount;
    ExprNode *operand[4];
    // Next element of a bridge or sequence list. Lists are linked here rather
    // than through an operand slot, so that an element may itself be any
    // expression with operands of its own.
    ExprNode *next;
    int32_t state; // member index, armed flag, window position or list position
    TQStreamChannel *channel;
    int32_t parameter; // thermocouple type 1..8
    int32_t count;     // coefficients, list elements or values in the window
    double *coefficients;
    EvalContext *engine;
    double *window;
    int32_t windowSize; // values allocated in window
    int32_t period;
    int32_t phase;
    // Bound by the resolution with the channel: the member's rate relative to
    // the collection and the bytes of one scan (input scans of the member's
    // stream for references, output scans of the target's stream for output
    // statements). Kept here so that evaluation looks nothing up per scan.
    double relativeRate;
    int64_t scanBytes;
    // This node's values for the block of scans being evaluated, owned by
    // the engine's block program (null for nodes evaluated scan by scan).
    double *column;
    int32_t (*addRef)(ExprNode *node);
    int32_t (*release)(ExprNode **node);
};

// ---- Construction ------------------------------------------------------------
// Each returns a node with one reference, or null for a bad kind or no memory.

// Kind 1. A pair of a multipoint list is a constant whose first operand is the
// constant of its second number (pass it as `second`; the node takes over that
// reference).
ExprNode *newConstant(double value, ExprNode *second = nullptr);
// Kinds 2, 11, 12, 13: the text is cut to what the name holds.
ExprNode *newTextNode(int32_t kind, const char *text);
// Operator and function kinds. The node takes over the references of the
// operands given (null ones end the list). Kind 15 takes the target and the
// expression (use newOutputStatement for its sync mode); kinds 16, 17 the type
// through newThermocouple.
ExprNode *newOperator(int32_t kind, ExprNode *a = nullptr, ExprNode *b = nullptr, ExprNode *c = nullptr);
// Kinds 34 and 35: the operator text decides the function; an unknown text
// leaves the node without one.
ExprNode *newNamedOperator(int32_t kind, const char *op, ExprNode *a, ExprNode *b);
ExprNode *newOutputStatement(ExprNode *target, ExprNode *expression, double syncMode);
// Kinds 16 (voltage, null) and 17 (voltage, reference); 18 (temperature).
ExprNode *newThermocouple(int32_t kind, ExprNode *a, ExprNode *b, int32_t type);
// Kind 25: the list and the frequency; the current element starts at the
// list's first element.
ExprNode *newSequence(ExprNode *list, ExprNode *frequency);

int32_t exprAddRef(ExprNode *node);
// Drops one reference; at zero releases the operands, the list successor, the
// coefficients and the window, frees the node. Clears the holder's pointer.
int32_t exprRelease(ExprNode **node);

// ---- Preparation by the resolution -------------------------------------------

// Binds a channel reference or output target to its channel.
void exprBindChannel(ExprNode *node, int32_t member, TQStreamChannel *channel, double relativeRate,
                     int64_t scanBytes);
// Gives a moving average or variance its zeroed window of the length its
// constant operand holds (truncated). 0, or -1 for a length below 1 or above
// kMaxWindow, -4 without memory; the node then keeps no window.
int32_t exprPrepareWindow(ExprNode *node);
// Takes over a coefficient array (malloc'd) for a multipoint node or the head
// of a bridge list.
void exprSetCoefficients(ExprNode *node, double *coefficients, int32_t count);
// Forgets the values cached under scan indexes in a whole tree (the state of
// generators, extremes and windows stays), for evaluations that start their
// indexes again.
void exprInvalidate(ExprNode *node);
// Resets the state a resolution starts from (running extremes, alarm armed,
// generators restart, cache cleared).
void exprResetState(ExprNode *node);

// ---- Evaluation -----------------------------------------------------------------

// Value of a node; a node without an evaluation function (an unresolved name
// or macro) gives NaN. Constants, the commonest leaves, are read in place, and
// so are nodes whose values the block under evaluation already holds.
inline double exprEval(ExprNode *node, void *const *scans, int64_t j, int64_t s)
{
    if (node->kind == kConstant)
        return node->cachedValue;
    if (node->column && node->engine->columnsLive)
        return node->column[j - node->engine->blockFirst];
    return node->evaluate ? node->evaluate(node, scans, j, s) : __builtin_nan("");
}

// trunc64: toward zero; NaN and values outside the signed 64-bit range give
// INT64_MIN.
int64_t trunc64(double value);

// The tree as text, for diagnostics and tests: "(kind operands...)" with the
// node's number or name, e.g. "(add (ref <s-a>) 2)".
size_t exprFormat(const ExprNode *node, char *buffer, size_t size);

} // namespace tq::formula
