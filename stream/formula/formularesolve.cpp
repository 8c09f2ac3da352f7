// Resolution of formula trees: names bound to formulas and stream channels,
// shared nodes, tables and state of the nodes that need them, and the rules
// of asynchronous output formulas.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "formulaengine.h"
#include "core/streamimpl.h"
#include "tq/platform/numfmt.h"
#include "tq/polyfit.h"

namespace tq::formula {

namespace {

using tq::platform::cformat;

struct Context {
    TQFormulaEngine *engine;
    EnginePrivate *p;
    char *message;
    size_t size;
    int32_t mode; // 0 input, 1 async output, 2 sync output
    ExprNode *current; // expression of the formula being resolved
};

int32_t fail(Context &c, int32_t result, const char *text)
{
    if (c.message)
        setMessage(c.message, c.size, text);
    return result;
}

int32_t failName(Context &c, int32_t result, const char *format, const char *name)
{
    if (c.message) {
        char text[TQ_FORMULA_MESSAGE_SIZE];
        cformat(text, sizeof text, format, name);
        setMessage(c.message, c.size, text);
    }
    return result;
}

// The expression node of a formula: the statement's expression operand, or
// the root itself for the hidden formulas of thermocouple references.
ExprNode **expressionSlot(Formula *formula)
{
    if (!formula || !formula->root)
        return nullptr;
    ExprNode *root = formula->root;
    if ((root->kind == kInputStatement || root->kind == kOutputStatement) && root->operandCount > 1)
        return &root->operand[1];
    return &formula->root;
}

int32_t resolveNode(Context &c, ExprNode **slot);

// Looks a reference text up among the members; the member index and the
// channel, or -1.
int32_t findChannel(Context &c, const char *text, TQStreamChannel **channel)
{
    *channel = nullptr;
    TQStreamCollection *collection = c.engine->collection;
    if (!collection)
        return -1;
    const int32_t member = collection->StreamCollectionFindChannel(collection, text, channel);
    if (member < 0 || !*channel || !collection->monitor || member >= collection->monitoredCount)
        return -1;
    return member;
}

// Bytes of one input scan and rate of the member with that monitor index.
void memberLayout(Context &c, int32_t member, double *rate, int64_t *scanBytes)
{
    TQMonitorEntry &entry = c.engine->collection->monitor[member];
    *rate = entry.relativeRate;
    *scanBytes = 0;
    if (entry.reader) {
        TQStream *stream = entry.reader->readerGetStream(entry.reader);
        if (stream)
            *scanBytes = stream->streamGetScanSize(stream);
    }
}

int32_t resolveChannel(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    if (c.mode == kSyncAsync)
        return fail(c, -2, "Physical channel not allowed in async expression");
    TQStreamChannel *channel = nullptr;
    const int32_t member = findChannel(c, node->name, &channel);
    if (member < 0)
        return failName(c, -1, "Physical Channel Name \"%s\" does not exist.", node->name);
    // One node per channel and parse: a later reference takes the first one.
    for (auto &[known, shared] : c.p->channelNodes) {
        if (known == channel) {
            if (shared != node) {
                exprAddRef(shared);
                exprRelease(slot);
                *slot = shared;
            }
            return 0;
        }
    }
    double rate;
    int64_t scanBytes;
    memberLayout(c, member, &rate, &scanBytes);
    exprBindChannel(node, member, channel, rate, scanBytes);
    exprAddRef(node);
    c.p->channelNodes.emplace_back(channel, node);
    return 0;
}

int32_t resolveRawChannel(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    if (c.mode == kSyncAsync)
        return fail(c, -2, "Raw Physical channel not allowed in async expression");
    TQStreamChannel *channel = nullptr;
    const int32_t member = findChannel(c, node->name, &channel);
    if (member < 0)
        return failName(c, -1, "Raw Channel Name \"%s\" does not exist.", node->name);
    double rate;
    int64_t scanBytes;
    memberLayout(c, member, &rate, &scanBytes);
    exprBindChannel(node, member, channel, rate, scanBytes);
    return member;
}

// A reference to another formula shares that formula's expression node. When
// that expression is itself a bare reference (an alias whose formula is not
// resolved yet), the chain is followed to the node it ends at, so that no
// name node is ever left in a tree; a chain that comes back on itself is a
// cycle.
int32_t resolveName(Context &c, ExprNode **slot)
{
    if (c.mode == kSyncAsync)
        return fail(c, -2, "Logical channel not allowed in async expression");
    const std::string first = (*slot)->name;
    Formula *formula = findFormula(c.engine, first.c_str());
    ExprNode **target = expressionSlot(formula);
    if (!target || !*target)
        return failName(c, -1, "Logical Channel Name \"%s\" does not exist.", first.c_str());
    for (int32_t steps = 0; (*target)->kind == kName; ++steps) {
        // A chain of aliases that comes back here is a cycle. The first of
        // its formulas to be resolved takes the next one's expression node
        // as it stands and reports nothing; the next one resolved then finds
        // its own node in the chain and names the cycle, so the message
        // names the formula that closes it. The parse fails there, so the
        // name node left in the first tree is never evaluated.
        if (*target == *slot && steps > 0 && !c.p->aliasCycle) {
            c.p->aliasCycle = true;
            ExprNode *next = *expressionSlot(formula);
            exprAddRef(next);
            exprRelease(slot);
            *slot = next;
            return 0;
        }
        if (*target == *slot || steps > c.engine->formulaCount + 1)
            return fail(c, -2, "Internal Error");
        const std::string next = (*target)->name;
        Formula *aliased = findFormula(c.engine, next.c_str());
        ExprNode **further = expressionSlot(aliased);
        if (!further || !*further)
            return failName(c, -1, "Logical Channel Name \"%s\" does not exist.", next.c_str());
        target = further;
    }
    // A formula that reaches the one being resolved would close a cycle
    // that evaluation never leaves (and references never free).
    if (*target == *slot || reaches(*target, c.current))
        return fail(c, -2, "Internal Error");
    ExprNode *shared = *target;
    exprAddRef(shared);
    exprRelease(slot);
    *slot = shared;
    return 0;
}

int32_t resolveOutputStatement(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    int32_t result = resolveNode(c, &node->operand[1]);
    if (result < 0)
        return result;
    ExprNode *target = node->operand[0];
    TQStreamChannel *channel = nullptr;
    const int32_t member =
        target ? tq::stream::collectionFindOutputChannel(c.engine->collection, target->name, &channel) : -1;
    if (member < 0 || !channel)
        return -1;
    if (channel->streamChannelSetOutputSyncType)
        channel->streamChannelSetOutputSyncType(channel, node->syncMode);
    else
        channel->outputSyncType = node->syncMode;
    TQStream *stream = channel->stream ? channel->stream : nullptr;
    const int64_t outputBytes = stream ? stream->streamGetOutputScanSize(stream) : 0;
    exprBindChannel(target, member, channel, 1.0, outputBytes);
    return 0;
}

// The key of a thermocouple's reference junction: type and constant value,
// or type and reference text; none for any other reference.
bool junctionKey(const ExprNode *node, char *key, size_t size)
{
    const ExprNode *reference = node->operand[1];
    if (!reference)
        return false;
    if (reference->kind == kConstant) {
        cformat(key, size, "%d%lf", node->parameter, reference->cachedValue);
        return true;
    }
    if (reference->kind == kChannelRef || reference->kind == kName) {
        cformat(key, size, "%d%s", node->parameter, reference->name);
        return true;
    }
    return false;
}

// Puts a thermocouple reference node over the reference operand and resolves
// the operand below it.
int32_t wrapReference(Context &c, ExprNode *node)
{
    ExprNode *wrapper = newThermocouple(kThermoRef, node->operand[1], nullptr, node->parameter);
    if (!wrapper)
        return fail(c, -4, "Memory Failure");
    wrapper->engine = &c.p->context;
    node->operand[1] = wrapper;
    return resolveNode(c, &wrapper->operand[0]);
}

int32_t resolveThermocouple(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    const int32_t voltage = resolveNode(c, &node->operand[0]);
    if (voltage < 0)
        return voltage;
    // An asynchronous formula may use no channel and no other formula, also
    // as a junction reference found through a shared reference node.
    const ExprNode *reference = node->operand[1];
    if (c.mode == kSyncAsync && reference) {
        if (reference->kind == kChannelRef)
            return fail(c, -2, "Physical channel not allowed in async expression");
        if (reference->kind == kRawChannelRef)
            return fail(c, -2, "Raw Physical channel not allowed in async expression");
        if (reference->kind == kName)
            return fail(c, -2, "Logical channel not allowed in async expression");
    }
    char key[kNodeNameSize + 16];
    if (!junctionKey(node, key, sizeof key))
        return wrapReference(c, node);
    if (Formula *shared = findFormula(c.engine, key); shared && shared->root) {
        exprAddRef(shared->root);
        exprRelease(&node->operand[1]);
        node->operand[1] = shared->root;
        return voltage;
    }
    const int32_t result = wrapReference(c, node);
    if (result < 0)
        return result;
    const int32_t added = addFormula(c.engine, key, "=", nullptr);
    Formula *hidden = added < 0 ? nullptr : findFormula(c.engine, key);
    if (!hidden)
        return fail(c, added < 0 ? added : -4, "Internal Failure");
    exprRelease(&hidden->root);
    exprAddRef(node->operand[1]);
    hidden->root = node->operand[1];
    return result;
}

int32_t resolveMultipoint(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    const int32_t result = resolveNode(c, &node->operand[0]);
    if (result < 0)
        return result;
    const int fitted = tq::fit::fitMultipoint(
        static_cast<const ExprNode *>(node->operand[1]), &node->count, &node->coefficients,
        [](const ExprNode *pair) { return pair->cachedValue; },
        [](const ExprNode *pair) { return pair->operand[0] ? pair->operand[0]->cachedValue : 0.0; },
        [](const ExprNode *pair) { return pair->operandCount > 1 ? static_cast<const ExprNode *>(pair->operand[1]) : nullptr; });
    if (fitted < 0) {
        node->count = 0;
        return fail(c, fitted, "Multipoint sequence has no solution.");
    }
    return fitted;
}

// Coefficients of a bridge list, kept in the head element in the order they
// are written (highest power first).
int32_t buildCoefficients(Context &c, ExprNode *head)
{
    std::vector<double> values;
    for (ExprNode *e = head; e; e = e->next) {
        if (e->kind != kConstant)
            return fail(c, -9, "Non-constant not allowed in expression");
        values.push_back(e->cachedValue);
    }
    auto *coefficients = static_cast<double *>(std::malloc(values.size() * sizeof(double)));
    if (!coefficients)
        return fail(c, -4, "Memory Failure");
    std::memcpy(coefficients, values.data(), values.size() * sizeof(double));
    exprSetCoefficients(head, coefficients, static_cast<int32_t>(values.size()));
    return 0;
}

int32_t resolveBridge(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    int32_t result = resolveNode(c, &node->operand[0]);
    if (result < 0)
        return result;
    if ((result = buildCoefficients(c, node->operand[1])) < 0)
        return result;
    return buildCoefficients(c, node->operand[2]);
}

// Replaces every name node of the parameter's name in the body by the
// argument, each place with a reference of its own.
void substitute(ExprNode **slot, ExprNode *argument, const char *parameter)
{
    ExprNode *node = *slot;
    if (!node)
        return;
    if (node->kind == kName) {
        if (std::strcmp(node->name, parameter) == 0) {
            exprAddRef(argument);
            exprRelease(slot);
            *slot = argument;
        }
        return;
    }
    // List elements are taken as written, like the lists' own elements at
    // resolution, so only operands are substituted.
    for (int32_t i = 0; i < node->operandCount && i < 4; ++i)
        substitute(&node->operand[i], argument, parameter);
}

int32_t resolveMacro(Context &c, ExprNode **slot)
{
    ExprNode *macro = *slot;
    ExprNode *body = macro->operand[0];
    ExprNode *parameter = macro->operand[1];
    ExprNode *argument = macro->operand[2];
    if (!body || !parameter || !argument)
        return fail(c, -9, "Internal Error");
    exprAddRef(body);
    exprAddRef(argument);
    const std::string name = parameter->name;
    // The macro node goes; its body takes its place.
    exprRelease(slot);
    *slot = body;
    substitute(slot, argument, name.c_str());
    exprRelease(&argument);
    return resolveNode(c, slot);
}

int32_t resolveOperands(Context &c, ExprNode *node, int32_t first)
{
    int32_t result = 0;
    for (int32_t i = first; i < node->operandCount && i < 4; ++i) {
        result = resolveNode(c, &node->operand[i]);
        if (result < 0)
            return result;
    }
    return result;
}

int32_t resolveNode(Context &c, ExprNode **slot)
{
    ExprNode *node = *slot;
    if (!node)
        return 0;
    node->engine = &c.p->context;
    node->period = 0;
    switch (node->kind) {
    case kChannelRef: return resolveChannel(c, slot);
    case kRawChannelRef: return resolveRawChannel(c, slot);
    case kName: return resolveName(c, slot);
    case kOutputStatement: return resolveOutputStatement(c, slot);
    case kThermo: return resolveThermocouple(c, slot);
    case kMultipoint: return resolveMultipoint(c, slot);
    case kBridge: return resolveBridge(c, slot);
    case kSequence: {
        // The list is counted; its elements and the frequency are taken as
        // written (numbers).
        node->count = 0;
        for (const ExprNode *e = node->operand[0]; e; e = e->next)
            node->count += 1;
        exprResetState(node);
        return 0;
    }
    case kMacro: return resolveMacro(c, slot);
    case kRunningMax:
    case kRunningMin: {
        const int32_t result = resolveOperands(c, node, 0);
        exprResetState(node);
        return result;
    }
    case kAverage:
    case kVariance: {
        const int32_t prepared = exprPrepareWindow(node);
        if (prepared == -4)
            return fail(c, -4, "Memory Failure");
        if (prepared < 0)
            return fail(c, -9, "Window length must be a number from 1 to 16777216");
        return resolveNode(c, &node->operand[0]);
    }
    case kAlarm: {
        exprResetState(node);
        int32_t result = resolveNode(c, &node->operand[0]);
        if (result < 0)
            return result;
        return resolveNode(c, &node->operand[1]);
    }
    case kInputStatement: return resolveOperands(c, node, 1);
    default:
        exprResetState(node);
        return resolveOperands(c, node, 0);
    }
}

} // namespace

int32_t resolve(TQFormulaEngine *engine, ExprNode **node, char *message, size_t size, int32_t mode)
{
    ExprNode *root = *node;
    ExprNode *current = root;
    if (root && (root->kind == kInputStatement || root->kind == kOutputStatement) && root->operandCount > 1)
        current = root->operand[1];
    Context c{engine, priv(engine), message, size, mode, current};
    return resolveNode(c, node);
}

void resetChannelNodes(EnginePrivate *engine)
{
    engine->aliasCycle = false;
    for (auto &entry : engine->channelNodes)
        exprRelease(&entry.second);
    engine->channelNodes.clear();
}

bool reaches(ExprNode *from, ExprNode *target)
{
    // Depth-first walk with an explicit stack (trees may be deep); shared
    // subtrees are walked once.
    if (!from || !target)
        return false;
    std::vector<ExprNode *> pending{from};
    std::unordered_set<ExprNode *> seen{from};
    while (!pending.empty()) {
        ExprNode *node = pending.back();
        pending.pop_back();
        if (node == target)
            return true;
        auto visit = [&](ExprNode *next) {
            if (next && seen.insert(next).second)
                pending.push_back(next);
        };
        for (int32_t i = 0; i < node->operandCount && i < 4; ++i)
            visit(node->operand[i]);
        visit(node->next);
    }
    return false;
}

} // namespace tq::formula
