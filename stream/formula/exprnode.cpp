// Expression nodes: construction, reference counting and the evaluation
// function of every kind.
#include "exprnode.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tq/platform/numfmt.h"
#include "tq/platform/text.h"

namespace tq::formula {

namespace {

using tq::platform::cformat;

inline double ev(ExprNode *node, void *const *scans, int64_t j, int64_t s) { return exprEval(node, scans, j, s); }

// Kinds that keep their value per scan: the first evaluation for a scan index
// computes, later ones for the same index return the stored value.
template <double (*Compute)(ExprNode *, void *const *, int64_t, int64_t)>
double cached(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (n->cacheIndex == s)
        return n->cachedValue;
    const double value = Compute(n, scans, j, s);
    n->cacheIndex = s;
    n->cachedValue = value;
    return value;
}

// Kinds without state: a node held by one parent alone is evaluated once per
// scan by that parent, which caches its own value, so only a shared node
// needs the cache. Which nodes are shared is settled when formulas are
// resolved, before any evaluation.
template <double (*Compute)(ExprNode *, void *const *, int64_t, int64_t)>
double pure(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (n->refCount == 1)
        return Compute(n, scans, j, s);
    return cached<Compute>(n, scans, j, s);
}

#define OPERAND(i) ev(n->operand[i], scans, j, s)

double evalConstant(ExprNode *n, void *const *, int64_t, int64_t) { return n->cachedValue; }
double evalText(ExprNode *, void *const *, int64_t, int64_t) { return 0.0; }

double computeNegate(ExprNode *n, void *const *scans, int64_t j, int64_t s) { return -1.0 * OPERAND(0); }
double computeAdd(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double a = OPERAND(0);
    return a + OPERAND(1);
}
double computeSubtract(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double a = OPERAND(0);
    return a - OPERAND(1);
}
double computeMultiply(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double a = OPERAND(0);
    return a * OPERAND(1);
}
double computeDivide(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double a = OPERAND(0);
    return a / OPERAND(1);
}
double computeBitOr(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const int64_t a = trunc64(OPERAND(0));
    return static_cast<double>(a | trunc64(OPERAND(1)));
}
double computeBitAnd(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const int64_t a = trunc64(OPERAND(0));
    return static_cast<double>(a & trunc64(OPERAND(1)));
}
// The remainder takes the dividend's sign. A divisor of 0 has no remainder
// (NaN, as a division by zero gives for doubles); any value rem -1 is 0, which
// also keeps INT64_MIN rem -1 from trapping.
double computeRemainder(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const int64_t a = trunc64(OPERAND(0));
    const int64_t b = trunc64(OPERAND(1));
    if (b == 0)
        return std::nan("");
    if (b == -1)
        return 0.0;
    return static_cast<double>(a % b);
}

inline const void *channelScan(const ExprNode *n, void *const *scans, int64_t j)
{
    const int64_t position = static_cast<int64_t>(static_cast<double>(j) * n->relativeRate);
    return static_cast<const char *>(scans[n->state]) + position * n->scanBytes;
}
double computeChannel(ExprNode *n, void *const *scans, int64_t j, int64_t)
{
    if (!n->channel || !scans)
        return std::nan("");
    return n->channel->streamChannelEval(n->channel, channelScan(n, scans, j));
}
double computeRawChannel(ExprNode *n, void *const *scans, int64_t j, int64_t)
{
    if (!n->channel || !scans)
        return std::nan("");
    return n->channel->streamChannelEvalRaw(n->channel, channelScan(n, scans, j));
}

double computeInputStatement(ExprNode *n, void *const *scans, int64_t j, int64_t s) { return OPERAND(1); }
double computeOutputStatement(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double value = OPERAND(1);
    ExprNode *target = n->operand[0];
    TQStreamChannel *channel = target ? target->channel : nullptr;
    if (channel && channel->streamChannelSetEval) {
        // Only an asynchronous output has an output scan: the refill hands
        // it the instrument stream's reserved block. A synchronous one is
        // evaluated with the input scans, which are no place to write to;
        // its channel keeps the value as its current one.
        char *scan = nullptr;
        if (n->syncMode == kSyncAsync && scans && scans[0])
            scan = static_cast<char *>(scans[0]) + j * target->scanBytes;
        channel->streamChannelSetEval(channel, value, scan);
    }
    return value;
}

double computeUnrefThermo(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    return thermomv2c(1000.0 * OPERAND(0), n->parameter);
}
double computeThermo(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double reference = OPERAND(1);
    return thermomv2c(1000.0 * OPERAND(0) + reference, n->parameter);
}
double computeThermoRef(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    return thermoc2mv(OPERAND(0), n->parameter);
}

// Coefficients from the constant term up.
double hornerAscending(const double *c, int32_t count, double x)
{
    double p = c[count - 1];
    for (int32_t i = count - 2; i >= 0; --i)
        p = p * x + c[i];
    return p;
}
// Coefficients from the highest power down, as bridge lists are written.
double hornerDescending(const double *c, int32_t count, double x)
{
    double p = c[0];
    for (int32_t i = 1; i < count; ++i)
        p = p * x + c[i];
    return p;
}

double computeMultipoint(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double x = OPERAND(0);
    if (!n->coefficients || n->count < 1)
        return std::nan("");
    return hornerAscending(n->coefficients, n->count, x);
}
double computeBridge(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double x = OPERAND(0);
    const ExprNode *first = n->operand[1];
    const ExprNode *second = n->operand[2];
    if (!first || !second || !first->coefficients || first->count < 1 || !second->coefficients ||
        second->count < 1)
        return std::nan("");
    const double d = hornerDescending(first->coefficients, first->count, x);
    return hornerDescending(second->coefficients, second->count, -4.0 * d / (2.0 * d - 1.0));
}

double computeSine(ExprNode *n, void *const *scans, int64_t j, int64_t s) { return std::sin(OPERAND(0)); }
double computeArcSine(ExprNode *n, void *const *scans, int64_t j, int64_t s) { return std::asin(OPERAND(0)); }
double computeSquareRoot(ExprNode *n, void *const *scans, int64_t j, int64_t s) { return std::sqrt(OPERAND(0)); }

// Period of a generator in scans for rate / frequency. A frequency of 0,
// negative or NaN (a period that is not finite or not positive), or above the
// rate, runs the generator at one scan per period rather than leaving it
// without one or endless; a period beyond 32 bits is kept at the largest.
int32_t generatorPeriod(const ExprNode *n, double frequency)
{
    const double rate = n->engine ? n->engine->rate : 1.0;
    const double period = rate / frequency;
    if (!std::isfinite(period) || period < 1.0)
        return 1;
    if (period >= 2147483647.0)
        return 2147483647;
    return static_cast<int32_t>(period);
}
void restartGenerator(ExprNode *n, double frequency, int64_t s)
{
    n->period = generatorPeriod(n, frequency);
    n->phase = static_cast<int32_t>(n->period - s % n->period);
}
int64_t generatorStep(const ExprNode *n, int64_t s)
{
    int64_t t = (static_cast<int64_t>(n->phase) + s) % n->period;
    return t < 0 ? t + n->period : t;
}

double computeRamp(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (n->period == 0)
        restartGenerator(n, OPERAND(2), s);
    const double a = OPERAND(0);
    const double b = OPERAND(1);
    const int64_t t = generatorStep(n, s);
    const double value = a + (b - a) * static_cast<double>(t) / static_cast<double>(n->period);
    if (t == 0)
        restartGenerator(n, OPERAND(2), s);
    return value;
}

double computeSequence(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    ExprNode *head = n->operand[0];
    if (!head || n->count < 1)
        return std::nan("");
    if (n->period == 0)
        restartGenerator(n, OPERAND(1), s);
    const int64_t t = generatorStep(n, s);
    int32_t k = static_cast<int32_t>(static_cast<double>(t) / static_cast<double>(n->period) * n->count);
    if (k >= n->count)
        k = n->count - 1;
    while (n->state != k) {
        ExprNode *current = n->operand[2];
        ExprNode *following = current && current->next ? current->next : nullptr;
        if (following) {
            n->state += 1;
        } else {
            following = head;
            n->state = 0;
        }
        exprAddRef(following);
        exprRelease(&n->operand[2]);
        n->operand[2] = following;
    }
    const double value = ev(n->operand[2], scans, j, s);
    if (t == 0)
        restartGenerator(n, OPERAND(1), s);
    return value;
}

double computeRunningMax(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (OPERAND(1) != 0.0)
        return OPERAND(2);
    const double x = OPERAND(0);
    const double previous = n->cachedValue;
    return (x >= previous || std::isnan(x) || std::isnan(previous)) ? x : previous;
}
double computeRunningMin(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (OPERAND(1) != 0.0)
        return OPERAND(2);
    const double x = OPERAND(0);
    const double previous = n->cachedValue;
    return (x <= previous || std::isnan(x) || std::isnan(previous)) ? x : previous;
}

// Moving window shared by the average and the variance: the new value
// replaces the oldest. The running sums are recomputed from the window each
// time the position wraps, so rounding does not pile up over long runs.
void windowPush(ExprNode *n, double x)
{
    const int32_t size = n->windowSize;
    if (n->count < size)
        n->count += 1;
    const double old = n->window[n->state];
    n->sum = n->sum - old + x;
    n->sumSquares = n->sumSquares - old * old + x * x;
    n->window[n->state] = x;
    n->state += 1;
    if (n->state >= size) {
        n->state = 0;
        double sum = 0.0, squares = 0.0;
        for (int32_t i = 0; i < size; ++i) {
            sum += n->window[i];
            squares += n->window[i] * n->window[i];
        }
        n->sum = sum;
        n->sumSquares = squares;
    }
}
double computeAverage(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double x = OPERAND(0);
    if (!n->window)
        return std::nan("");
    windowPush(n, x);
    return n->sum / n->count;
}
// Population variance of the values in the window.
double computeVariance(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const double x = OPERAND(0);
    if (!n->window)
        return std::nan("");
    windowPush(n, x);
    const double c = n->count;
    const double variance = (n->sumSquares - n->sum * n->sum / c) / c;
    return variance > 0.0 ? variance : 0.0;
}

double evalScanIndex(ExprNode *, void *const *, int64_t, int64_t s) { return static_cast<double>(s); }

// Fires once when its condition becomes true, then holds 1.0 until re-armed.
// Computes only for a scan later than the last one it saw.
double evalAlarm(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (s <= n->cacheIndex)
        return n->cachedValue;
    double value;
    if (OPERAND(1) != 0.0)
        n->state = 1;
    if (!n->state) {
        value = 1.0;
    } else if (OPERAND(0) == 0.0) {
        value = 0.0;
    } else {
        TQStream *stream = n->engine ? n->engine->eventStream : nullptr;
        if (stream) {
            const uint32_t event = static_cast<uint32_t>(trunc64(OPERAND(2)));
            uint32_t result = 0;
            postEvent(stream, event, n->operand[3] ? n->operand[3]->name : "", &result);
        }
        n->state = 0;
        value = 1.0;
    }
    n->cacheIndex = s;
    n->cachedValue = value;
    return value;
}

double computeConditional(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    // NaN counts as true: NaN != 0 holds.
    return OPERAND(0) != 0.0 ? OPERAND(1) : OPERAND(2);
}

double computeShiftLeft(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const int64_t a = trunc64(OPERAND(0));
    const unsigned count = static_cast<unsigned>(trunc64(OPERAND(1))) & 0xFFu;
    if (count >= 64)
        return 0.0;
    return static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(a) << count));
}
double computeShiftRight(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    const int64_t a = trunc64(OPERAND(0));
    const unsigned count = static_cast<unsigned>(trunc64(OPERAND(1))) & 0xFFu;
    if (count >= 64)
        return a < 0 ? -1.0 : 0.0;
    return static_cast<double>(a >> count);
}

#define COMPARISON(fn, expr)                                                                                           \
    double fn(ExprNode *n, void *const *scans, int64_t j, int64_t s)                                                   \
    {                                                                                                                  \
        const double a = OPERAND(0);                                                                                   \
        const double b = OPERAND(1);                                                                                   \
        return (expr) ? 1.0 : 0.0;                                                                                     \
    }
COMPARISON(computeGreater, a > b)
COMPARISON(computeLess, a < b)
COMPARISON(computeGreaterEqual, a >= b)
COMPARISON(computeLessEqual, a <= b)
COMPARISON(computeEqual, a == b)
COMPARISON(computeNotEqual, a != b)
#undef COMPARISON

// Rate of change per second: the difference to the value of the previous
// scan evaluated, over the time between them. The first scan gives 0. A
// second evaluation for the same scan returns the same result.
double evalDerivative(ExprNode *n, void *const *scans, int64_t j, int64_t s)
{
    if (n->count > 0 && s == n->cacheIndex)
        return n->cachedValue;
    const double x = OPERAND(0);
    double value = 0.0;
    if (n->count > 0 && s > n->cacheIndex) {
        const double rate = n->engine ? n->engine->rate : 1.0;
        value = (x - n->sum) * rate / static_cast<double>(s - n->cacheIndex);
    }
    n->count = 1;
    n->sum = x;
    n->cacheIndex = s;
    n->cachedValue = value;
    return value;
}

#undef OPERAND

EvalFn functionOf(int32_t kind)
{
    switch (kind) {
    case kConstant: return evalConstant;
    case kText: return evalText;
    case kNegate: return pure<computeNegate>;
    case kAdd: return pure<computeAdd>;
    case kSubtract: return pure<computeSubtract>;
    case kMultiply: return pure<computeMultiply>;
    case kDivide: return pure<computeDivide>;
    case kBitOr: return pure<computeBitOr>;
    case kBitAnd: return pure<computeBitAnd>;
    case kRemainder: return pure<computeRemainder>;
    case kChannelRef: return cached<computeChannel>;
    case kRawChannelRef: return cached<computeRawChannel>;
    case kInputStatement: return cached<computeInputStatement>;
    case kOutputStatement: return cached<computeOutputStatement>;
    case kUnrefThermo: return pure<computeUnrefThermo>;
    case kThermo: return pure<computeThermo>;
    case kThermoRef: return pure<computeThermoRef>;
    case kMultipoint: return pure<computeMultipoint>;
    case kBridge: return pure<computeBridge>;
    case kSine: return pure<computeSine>;
    case kArcSine: return pure<computeArcSine>;
    case kSquareRoot: return pure<computeSquareRoot>;
    case kRamp: return cached<computeRamp>;
    case kSequence: return cached<computeSequence>;
    case kRunningMax: return cached<computeRunningMax>;
    case kRunningMin: return cached<computeRunningMin>;
    case kAverage: return cached<computeAverage>;
    // The variance keeps a window like the average, so it must advance once
    // per scan even when it is shared.
    case kVariance: return cached<computeVariance>;
    case kScanIndex: return evalScanIndex;
    case kAlarm: return evalAlarm;
    case kConditional: return pure<computeConditional>;
    case kDerivative: return evalDerivative;
    default: return nullptr; // names, macros; shifts and comparisons by text
    }
}

ExprNode *allocate(int32_t kind)
{
    if (kind < kConstant || kind > kDerivative)
        return nullptr;
    auto *n = static_cast<ExprNode *>(std::calloc(1, sizeof(ExprNode)));
    if (!n)
        return nullptr;
    n->refCount = 1;
    n->kind = kind;
    n->cacheIndex = -1;
    n->evaluate = functionOf(kind);
    n->addRef = exprAddRef;
    n->release = exprRelease;
    n->relativeRate = 1.0;
    exprResetState(n);
    return n;
}

void copyName(ExprNode *n, const char *text, size_t limit)
{
    if (text)
        tq::platform::copyText(n->name, limit + 1, text);
}

void setOperands(ExprNode *n, ExprNode *a, ExprNode *b, ExprNode *c)
{
    ExprNode *list[3] = {a, b, c};
    for (ExprNode *operand : list) {
        if (!operand)
            break;
        n->operand[n->operandCount++] = operand;
    }
}

} // namespace

int64_t trunc64(double value)
{
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
        return INT64_MIN;
    return static_cast<int64_t>(value);
}

ExprNode *newConstant(double value, ExprNode *second)
{
    ExprNode *n = allocate(kConstant);
    if (!n)
        return nullptr;
    n->cachedValue = value;
    if (second) {
        n->operand[0] = second;
        n->operandCount = 1;
    }
    return n;
}

ExprNode *newTextNode(int32_t kind, const char *text)
{
    if (kind != kText && kind != kChannelRef && kind != kRawChannelRef && kind != kName)
        return nullptr;
    ExprNode *n = allocate(kind);
    if (n)
        copyName(n, text, kNodeNameSize - 1);
    return n;
}

ExprNode *newOperator(int32_t kind, ExprNode *a, ExprNode *b, ExprNode *c)
{
    ExprNode *n = allocate(kind);
    if (!n)
        return nullptr;
    setOperands(n, a, b, c);
    if (kind == kOutputStatement)
        n->syncMode = kSyncSync;
    return n;
}

ExprNode *newNamedOperator(int32_t kind, const char *op, ExprNode *a, ExprNode *b)
{
    if (kind != kShift && kind != kCompare)
        return nullptr;
    ExprNode *n = allocate(kind);
    if (!n)
        return nullptr;
    copyName(n, op, kNodeNameSize - 1);
    setOperands(n, a, b, nullptr);
    static const struct {
        int32_t kind;
        const char *text;
        EvalFn fn;
    } functions[] = {
        {kShift, "<<", pure<computeShiftLeft>},     {kShift, ">>", pure<computeShiftRight>},
        {kCompare, ">", pure<computeGreater>},      {kCompare, "<", pure<computeLess>},
        {kCompare, ">=", pure<computeGreaterEqual>}, {kCompare, "<=", pure<computeLessEqual>},
        {kCompare, "==", pure<computeEqual>},       {kCompare, "!=", pure<computeNotEqual>},
    };
    for (const auto &f : functions)
        if (f.kind == kind && std::strcmp(f.text, n->name) == 0)
            n->evaluate = f.fn;
    return n;
}

ExprNode *newOutputStatement(ExprNode *target, ExprNode *expression, double syncMode)
{
    ExprNode *n = newOperator(kOutputStatement, target, expression);
    if (n)
        n->syncMode = static_cast<int32_t>(trunc64(syncMode));
    return n;
}

ExprNode *newThermocouple(int32_t kind, ExprNode *a, ExprNode *b, int32_t type)
{
    if (kind != kUnrefThermo && kind != kThermo && kind != kThermoRef)
        return nullptr;
    ExprNode *n = newOperator(kind, a, b);
    if (n)
        n->parameter = type;
    return n;
}

ExprNode *newSequence(ExprNode *list, ExprNode *frequency)
{
    ExprNode *n = newOperator(kSequence, list, frequency);
    if (!n)
        return nullptr;
    if (list) {
        exprAddRef(list);
        n->operand[2] = list;
        n->operandCount = 3;
        for (const ExprNode *e = list; e; e = e->next)
            n->count += 1;
    }
    return n;
}

int32_t exprAddRef(ExprNode *node)
{
    if (node)
        node->refCount += 1;
    return 0;
}

int32_t exprRelease(ExprNode **holder)
{
    if (!holder)
        return 0;
    ExprNode *n = *holder;
    *holder = nullptr;
    // Lists are released along their links without recursing per element.
    while (n) {
        if (--n->refCount > 0)
            break;
        for (int32_t i = 0; i < n->operandCount && i < 4; ++i)
            exprRelease(&n->operand[i]);
        std::free(n->coefficients);
        std::free(n->window);
        ExprNode *next = n->next;
        std::free(n);
        n = next;
    }
    return 0;
}

void exprBindChannel(ExprNode *node, int32_t member, TQStreamChannel *channel, double relativeRate,
                     int64_t scanBytes)
{
    node->state = member;
    node->channel = channel;
    node->relativeRate = relativeRate;
    node->scanBytes = scanBytes;
    node->cacheIndex = -1;
}

int32_t exprPrepareWindow(ExprNode *node)
{
    std::free(node->window);
    node->window = nullptr;
    node->windowSize = 0;
    node->count = 0;
    node->state = 0;
    node->sum = node->sumSquares = 0.0;
    const ExprNode *length = node->operand[1];
    if (!length || length->kind != kConstant)
        return -1;
    const int64_t n = trunc64(length->cachedValue);
    if (n < 1 || n > kMaxWindow)
        return -1;
    node->window = static_cast<double *>(std::calloc(static_cast<size_t>(n), sizeof(double)));
    if (!node->window)
        return -4;
    node->windowSize = static_cast<int32_t>(n);
    return 0;
}

void exprSetCoefficients(ExprNode *node, double *coefficients, int32_t count)
{
    std::free(node->coefficients);
    node->coefficients = coefficients;
    node->count = coefficients ? count : 0;
    node->cacheIndex = -1;
}

void exprInvalidate(ExprNode *node)
{
    if (!node)
        return;
    for (ExprNode *n = node; n; n = n->next) {
        n->cacheIndex = -1;
        for (int32_t i = 0; i < n->operandCount && i < 4; ++i)
            exprInvalidate(n->operand[i]);
    }
}

void exprResetState(ExprNode *node)
{
    node->cacheIndex = -1;
    switch (node->kind) {
    case kRunningMax: node->cachedValue = kRunningMaxStart; break;
    case kRunningMin: node->cachedValue = kRunningMinStart; break;
    case kAlarm:
        node->state = 1;
        node->cachedValue = 0.0;
        break;
    case kRamp: node->period = node->phase = 0; break;
    case kSequence:
        node->period = node->phase = 0;
        if (node->operand[0] && node->operand[2] != node->operand[0]) {
            exprAddRef(node->operand[0]);
            exprRelease(&node->operand[2]);
            node->operand[2] = node->operand[0];
        }
        node->state = 0;
        break;
    case kDerivative:
        node->count = 0;
        node->sum = 0.0;
        break;
    case kAverage:
    case kVariance:
        if (node->window)
            std::memset(node->window, 0, sizeof(double) * static_cast<size_t>(node->windowSize));
        node->count = node->state = 0;
        node->sum = node->sumSquares = 0.0;
        break;
    default: break;
    }
}

namespace {

const char *kindWord(int32_t kind)
{
    static const char *const words[] = {
        "",         "const",    "text",     "neg",     "add",   "sub",     "mul",    "div",      "or",
        "and",      "rem",      "ref",      "raw",     "name",  "input",   "output", "unrefthermo", "thermo",
        "thermoref", "multi",   "bridge",   "sin",     "asin",  "sqrt",    "autocycle", "autoseq", "macro",
        "max",      "min",      "average",  "variance", "scan", "alarm",   "cond",   "shift",    "cmp",
        "deriv"};
    return (kind >= 1 && kind <= kDerivative) ? words[kind] : "?";
}

struct Writer {
    char *buffer;
    size_t size;
    size_t length = 0;
    void put(const char *text)
    {
        for (; *text; ++text) {
            if (length + 1 < size)
                buffer[length] = *text;
            ++length;
        }
    }
    void number(double value)
    {
        // The shortest of 15 or 17 digits that reads back the same.
        char text[40];
        cformat(text, sizeof text, "%.15g", value);
        if (tq::platform::cstrtod(text, nullptr) != value && value == value)
            cformat(text, sizeof text, "%.17g", value);
        put(text);
    }
};

void format(const ExprNode *n, Writer &w)
{
    if (!n) {
        w.put("null");
        return;
    }
    switch (n->kind) {
    case kConstant:
        if (n->operandCount == 0) {
            w.number(n->cachedValue);
            return;
        }
        // A pair of a multipoint list: (x y) then the following pairs.
        w.put("(pair ");
        w.number(n->cachedValue);
        w.put(" ");
        format(n->operand[0], w);
        w.put(")");
        if (n->operandCount > 1) {
            w.put(" ");
            format(n->operand[1], w);
        }
        return;
    case kText:
    case kName:
        w.put(n->name);
        return;
    default: break;
    }
    w.put("(");
    w.put(kindWord(n->kind));
    if (n->kind == kChannelRef || n->kind == kRawChannelRef || n->kind == kShift || n->kind == kCompare) {
        w.put(" ");
        w.put(n->name);
    }
    if (n->kind == kOutputStatement)
        w.put(n->syncMode == kSyncAsync ? " async" : " sync");
    if (n->kind == kUnrefThermo || n->kind == kThermo || n->kind == kThermoRef) {
        char text[16];
        cformat(text, sizeof text, " type%d", n->parameter);
        w.put(text);
    }
    // The sequence's third operand is its current element, not part of the
    // written expression.
    const int32_t shown = n->kind == kSequence ? 2 : n->operandCount;
    for (int32_t i = 0; i < shown && i < 4; ++i) {
        w.put(" ");
        const ExprNode *operand = n->operand[i];
        const bool list = (n->kind == kBridge && i > 0) || (n->kind == kSequence && i == 0);
        if (list) {
            w.put("{");
            for (const ExprNode *e = operand; e; e = e->next) {
                format(e, w);
                if (e->next)
                    w.put(" ");
            }
            w.put("}");
        } else if (n->kind == kMultipoint && i == 1) {
            w.put("{");
            format(operand, w);
            w.put("}");
        } else {
            format(operand, w);
        }
    }
    w.put(")");
}

} // namespace

size_t exprFormat(const ExprNode *node, char *buffer, size_t size)
{
    Writer w{buffer, size};
    format(node, w);
    if (size)
        buffer[w.length < size ? w.length : size - 1] = '\0';
    return w.length;
}

} // namespace tq::formula
