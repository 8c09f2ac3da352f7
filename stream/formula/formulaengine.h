// Internal view of the formula engine shared by its sources: the engine
// record's private part, formula records, resolution and the formula output
// stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exprnode.h"
#include "formulablock.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"
#include "tqstream.h"

namespace tq::formula {

constexpr size_t kOperatorSize = 16;  // operator text: at most 15 characters
constexpr size_t kNameLimit = 63;     // formula names must be shorter
constexpr size_t kFormulaTextLimit = 1024;

// The lists a formula can be in. The stored and the hidden list share one
// set of links: a formula is in one of them at most.
enum FormulaList { kListStored = 0, kListInput, kListSyncOutput, kListAsyncOutput, kListDerivative, kListCount };

struct Formula {
    int32_t refCount;
    int16_t channelIndex; // position of an input formula's channel in the output stream
    char *name;
    char *expression; // null for hidden formulas
    char op[kOperatorSize];
    ExprNode *root;
    TQListLink links[kListCount];
};

struct EnginePrivate {
    TQFormulaEngine pub;
    // What nodes read while they evaluate: the current rate and the stream
    // alarms post on.
    EvalContext context;
    // Serialises the engine's state between the threads that reach it:
    // parsing, production, the refill thread, the output stream's readers and
    // release.
    //
    // Lock order, kept by every path that holds more than one of these:
    //   1. the formula output stream's data lock,
    //   2. the stream collection's mutex (and after it the member streams'
    //      locks, as the collection's monitor lock takes them),
    //   3. this mutex.
    // A reader of the output stream under the stream's lock holds 1 and 2
    // (the stream's lock operation takes the collection's monitor lock) and
    // takes 3 when it computes scans; so parsing, registration,
    // unregistration and release, which change the collection, take 1 and 2
    // before 3 (SetupGuard), and nothing that holds 3 waits for 1 or 2. The
    // collection's mutex is only ever taken under 1, and the collection is
    // created and dropped only under 1, so holding 1 makes the engine's
    // collection pointer stable.
    tq::platform::Mutex mutex;
    tq::platform::Thread refill;
    // Output channel records, allocated once each and kept for the life of
    // the output stream, so that holders' pointers stay valid across parses.
    int32_t channelCapacity = 0;
    // Each parse's map from stream channel to the one node that reads it
    // (with a reference), so that every reference to a channel shares a node.
    std::vector<std::pair<TQStreamChannel *, ExprNode *>> channelNodes;
    // The input and synchronous output formulas of the last parse, compiled
    // for evaluation a block of scans at a time.
    BlockProgram program;
    // Set while a parse has bound a formula into a cycle of aliases: the
    // next formula of the cycle must fail the parse.
    bool aliasCycle = false;
    // The output stream's capture: the name as the caller gave it (the raw
    // scans go to that name with ".ad" appended) and the layout chosen at
    // open.
    std::string captureName;
    bool captureWide = false;
    // The record outlives whichever of the engine and its output stream goes
    // first; the second frees it.
    bool engineReleased = false;
    // Readers of the output stream not yet freed, and whether the stream is
    // gone: a reader's last release takes this record's mutex, so the record
    // stays until the last of engine, stream and readers has gone.
    int32_t liveReaders = 0;
    bool streamGone = false;
};

inline EnginePrivate *priv(TQFormulaEngine *engine) { return reinterpret_cast<EnginePrivate *>(engine); }

// Takes the locks of a change to the engine's streams or formulas in the
// order documented at EnginePrivate::mutex, and gives them back in reverse.
class SetupGuard {
public:
    explicit SetupGuard(TQFormulaEngine *engine);
    ~SetupGuard();
    SetupGuard(const SetupGuard &) = delete;
    SetupGuard &operator=(const SetupGuard &) = delete;
    // Takes the collection's mutex once a collection has been made under
    // the guard.
    void collectionCreated();
    // Gives the collection's mutex and the engine's mutex back early (in
    // that order's reverse), for a release that frees the collection under
    // the output stream's lock alone.
    void releaseInner();

private:
    TQFormulaEngine *engine_;
    TQStream *stream_;
    TQStreamCollection *collection_;
    bool inner_ = true;
};

// Formula records.
Formula *newFormula(const char *name, const char *op, const char *expression);
int32_t formulaAddRef(Formula *formula);
int32_t formulaRelease(Formula **formula);
void listAppend(TQListHead *head, TQFormulaEngine *engine, Formula *formula, FormulaList list);
void listRemove(TQListHead *head, Formula *formula, FormulaList list);
Formula *listFirst(TQListHead *head);
Formula *listNext(Formula *formula, FormulaList list);
// Stored formulas first, then hidden ones; null when none has that name.
Formula *findFormula(TQFormulaEngine *engine, const char *name);
// Adds a formula as formulaEngineAddFormula does.
int32_t addFormula(TQFormulaEngine *engine, const char *name, const char *op, const char *expression);

// Resolution of one formula's tree: 0 or positive on success, negative on
// failure with the message written at `message` (none when null; `size`
// bytes from there).
int32_t resolve(TQFormulaEngine *engine, ExprNode **node, char *message, size_t size, int32_t mode);
// Drops the channel-to-node map of the last parse.
void resetChannelNodes(EnginePrivate *engine);
// True when `target` is `from` or lies below it.
bool reaches(ExprNode *from, ExprNode *target);

// The formula output stream (formulastream.cpp).
// Gives the output stream its operations; false without memory.
bool installOutputStream(TQFormulaEngine *engine);
// Rebuilds the output channels for the input formulas of a parse; false
// without memory.
bool configureOutputChannels(TQFormulaEngine *engine);
// Stops the refill thread and waits for it (never from the thread itself).
void stopRefill(TQFormulaEngine *engine);
// Appends produced scans to the output stream's capture data file.
void captureAppend(TQFormulaEngine *engine, const TQPiece *pieces, uint32_t count, int64_t bytes);

int64_t evalScans(TQFormulaEngine *engine, int64_t maximum);
int32_t refillOutputs(TQFormulaEngine *engine, char *message);

// Copies text into a message buffer of `size` bytes, cut to fit.
void setMessage(char *buffer, size_t size, const char *text);

} // namespace tq::formula
