// The formula engine: formulas and their lists, stream registration, parsing,
// production of computed scans, and formulae.xml.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "formulaengine.h"
#include "formulaparse.h"
#include "core/streamimpl.h"
#include "tq/platform/guard.h"
#include "tq/platform/numfmt.h"
#include "tq/platform/text.h"
#include "display/xmlreader.h"

namespace tq::formula {

using tq::platform::cformat;
using tq::platform::Mutex;
using tq::platform::MutexGuard;

void setMessage(char *buffer, size_t size, const char *text) { tq::platform::copyText(buffer, size, text); }

namespace {
tq::platform::Mutex *streamMutex(TQStream *stream)
{
    return stream ? static_cast<tq::platform::Mutex *>(stream->lockMutex) : nullptr;
}
} // namespace

SetupGuard::SetupGuard(TQFormulaEngine *engine) : engine_(engine), stream_(engine->outputStream), collection_(nullptr)
{
    if (tq::platform::Mutex *m = streamMutex(stream_))
        m->lock();
    collection_ = engine->collection;
    if (collection_)
        tq::stream::collectionLock(collection_);
    priv(engine)->mutex.lock();
}

SetupGuard::~SetupGuard()
{
    releaseInner();
    if (tq::platform::Mutex *m = streamMutex(stream_))
        m->unlock();
}

void SetupGuard::collectionCreated()
{
    // The collection's mutex comes before the engine's in the one lock order,
    // even for a collection made a moment ago: the engine mutex is let go and
    // taken again after it. The output stream lock stays held meanwhile, so
    // no other set-up runs in the gap.
    if (!collection_ && engine_->collection) {
        collection_ = engine_->collection;
        priv(engine_)->mutex.unlock();
        tq::stream::collectionLock(collection_);
        priv(engine_)->mutex.lock();
    }
}

void SetupGuard::releaseInner()
{
    if (!inner_)
        return;
    inner_ = false;
    priv(engine_)->mutex.unlock();
    if (collection_)
        tq::stream::collectionUnlock(collection_);
    collection_ = nullptr;
}

namespace {

char *copyText(const char *text)
{
    if (!text)
        return nullptr;
    const size_t n = std::strlen(text);
    auto *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy)
        std::memcpy(copy, text, n + 1);
    return copy;
}

void copyOperator(char *field, const char *op)
{
    cformat(field, kOperatorSize, "%s", op ? op : "");
}

constexpr size_t linkOffset(FormulaList list) { return offsetof(Formula, links) + list * sizeof(TQListLink); }

TQListHead *headOf(TQFormulaEngine *e, FormulaList list)
{
    switch (list) {
    case kListInput: return &e->inputFormulas;
    case kListSyncOutput: return &e->syncOutputFormulas;
    case kListAsyncOutput: return &e->asyncOutputFormulas;
    case kListDerivative: return &e->derivativeFormulas;
    default: return &e->storedFormulas;
    }
}

void emptyList(TQListHead *head, FormulaList list)
{
    while (Formula *f = listFirst(head)) {
        listRemove(head, f, list);
    }
}

bool containsKind(const ExprNode *node, int32_t kind, int depth = 0)
{
    if (!node || depth > kMaxWindow)
        return false;
    if (node->kind == kind)
        return true;
    for (int32_t i = 0; i < node->operandCount && i < 4; ++i)
        if (containsKind(node->operand[i], kind, depth + 1))
            return true;
    return false;
}

// ---- function fields ------------------------------------------------------------

int32_t engineAddRef(TQFormulaEngine *engine)
{
    if (engine)
        __atomic_add_fetch(&engine->refCount, 1, __ATOMIC_ACQ_REL);
    return 0;
}

int32_t engineRelease(TQFormulaEngine **holder)
{
    if (!holder || !*holder)
        return 0;
    TQFormulaEngine *e = *holder;
    *holder = nullptr;
    if (__atomic_sub_fetch(&e->refCount, 1, __ATOMIC_ACQ_REL) > 0)
        return 0;
    EnginePrivate *p = priv(e);
    // The refill thread goes first: it evaluates formulas about to be freed.
    stopRefill(e);
    TQStream *stream = nullptr;
    {
        SetupGuard guard(e);
        TQStreamCollection *collection = e->collection;
        e->collection = nullptr;
        for (int list = kListInput; list < kListCount; ++list)
            emptyList(headOf(e, static_cast<FormulaList>(list)), static_cast<FormulaList>(list));
        emptyList(&e->storedFormulas, kListStored);
        emptyList(&e->hiddenFormulas, kListStored);
        p->program.clear();
        resetChannelNodes(p);
        e->formulaCount = 0;
        e->inputCount = 0;
        e->parsed = 0;
        p->engineReleased = true;
        stream = e->outputStream;
        // The collection takes its own mutex to go: the output stream's lock
        // alone is held then, as the lock order asks.
        guard.releaseInner();
        if (collection)
            collection->StreamCollectionDelRef(&collection);
    }
    // Dropping the engine's reference on its output stream frees the record
    // when nobody else holds the stream; otherwise the stream's last release
    // does.
    if (stream)
        stream->streamRelease(&stream);
    else
        delete p;
    return 0;
}

int32_t internalAddRef(TQFormulaEngine *engine) { return engine->formulaEngineAddRef(engine); }
int32_t internalRelease(TQFormulaEngine **engine)
{
    return engine && *engine ? (*engine)->formulaEngineRelease(engine) : 0;
}

// A collection listener: member streams have new data.
void onNewData(TQStreamCollection *, int64_t available, void *context)
{
    auto *engine = static_cast<TQFormulaEngine *>(context);
    engine->formulaEngineEvalScans(engine, available);
}

int32_t engineRegisterStream(TQFormulaEngine *e, TQStream *stream)
{
    if (!e || !stream)
        return TQS_ERR_FAILED;
    SetupGuard guard(e);
    if (!e->collection) {
        e->collection = NewStreamCollection(e->owner);
        if (!e->collection)
            return -4;
        guard.collectionCreated();
    }
    // Trees of the last parse index the members as they were.
    e->parsed = 0;
    if (e->owner) {
        const int32_t added = e->collection->StreamCollectionAddListener(e->collection, onNewData, e);
        if (added < 0)
            return added;
    }
    return e->collection->StreamCollectionRegisterStream(e->collection, stream);
}

int32_t engineUnregisterStream(TQFormulaEngine *e, TQStream *stream)
{
    SetupGuard guard(e);
    if (!e->collection)
        return -3;
    e->parsed = 0;
    return e->collection->StreamCollectionUnregisterStream(e->collection, stream);
}

int32_t engineUnregisterAllStreams(TQFormulaEngine *e)
{
    SetupGuard guard(e);
    if (!e->collection)
        return -3;
    e->parsed = 0;
    e->collection->StreamCollectionUnregisterAllStream(e->collection);
    return 0;
}

int32_t engineAddFormula(TQFormulaEngine *e, const char *name, const char *op, const char *expression)
{
    MutexGuard guard(priv(e)->mutex);
    return addFormula(e, name, op, expression);
}

int32_t engineRmvFormula(TQFormulaEngine *e, const char *name)
{
    MutexGuard guard(priv(e)->mutex);
    for (Formula *f = listFirst(&e->storedFormulas); f; f = listNext(f, kListStored)) {
        if (name && std::strcmp(f->name, name) == 0) {
            listRemove(&e->storedFormulas, f, kListStored);
            e->formulaCount -= 1;
            e->parsed = 0;
            return 0;
        }
    }
    return TQF_ERR_NO_FORMULA;
}

int32_t engineRmvAllFormulas(TQFormulaEngine *e)
{
    MutexGuard guard(priv(e)->mutex);
    emptyList(&e->storedFormulas, kListStored);
    e->formulaCount = 0;
    e->parsed = 0;
    return 0;
}

int32_t createDefaults(TQFormulaEngine *e)
{
    TQStreamCollection *collection = e->collection;
    if (!collection)
        return 0;
    int32_t result = 0;
    for (auto *reader = static_cast<TQReader *>(collection->members.first); reader;
         reader = static_cast<TQReader *>(tqListNext(reader, offsetof(TQReader, collectionLink)))) {
        TQStream *stream = reader->readerGetStream(reader);
        if (!stream)
            continue;
        const int32_t channels = stream->streamGetNumberChannels(stream);
        for (int32_t i = 0; i < channels; ++i) {
            TQStreamChannel *channel = stream->streamGetChannelByIndex(stream, i);
            if (!channel)
                continue;
            const std::string name = std::string(stream->name) + "_" + channel->name;
            if (findFormula(e, name.c_str()))
                continue;
            const std::string expression = std::string("<") + stream->name + "-" + channel->name + "> '" +
                                           channel->eu + "'";
            result = addFormula(e, name.c_str(), "=", expression.c_str());
        }
        if (result < 0)
            break;
    }
    return result;
}

int32_t engineCreateDefaultFormulas(TQFormulaEngine *e)
{
    MutexGuard guard(priv(e)->mutex);
    return tq::platform::guardValue<int32_t>(-4, [&] { return createDefaults(e); });
}

// Every formula leaves the lists of the last parse, so that a failed parse
// leaves nothing running.
void clearParse(TQFormulaEngine *e)
{
    priv(e)->program.clear();
    for (int list = kListInput; list < kListCount; ++list)
        emptyList(headOf(e, static_cast<FormulaList>(list)), static_cast<FormulaList>(list));
    e->inputCount = 0;
}

int32_t failParse(TQFormulaEngine *e, int32_t result)
{
    clearParse(e);
    e->parsed = 0;
    return result;
}

int32_t parseAll(TQFormulaEngine *e, char *message)
{
    EnginePrivate *p = priv(e);
    constexpr size_t size = TQ_FORMULA_MESSAGE_SIZE;
    if (message)
        message[0] = '\0';

    // 1-2: the lists and trees of the last parse go.
    clearParse(e);
    for (Formula *f = listFirst(&e->storedFormulas); f; f = listNext(f, kListStored))
        exprRelease(&f->root);
    for (Formula *f = listFirst(&e->hiddenFormulas); f;) {
        Formula *next = listNext(f, kListStored);
        if (f->root)
            listRemove(&e->hiddenFormulas, f, kListStored);
        f = next;
    }
    resetChannelNodes(p);

    // 3: the members are lined up again. A member whose stream has gone
    // (destroyed by its owner while registered) is reported and skipped.
    if (e->collection) {
        e->collection->StreamCollectionStartMonitor(e->collection);
        for (auto *reader = static_cast<TQReader *>(e->collection->members.first); reader;
             reader = static_cast<TQReader *>(tqListNext(reader, offsetof(TQReader, collectionLink))))
            if (!reader->readerGetStream(reader))
                std::fputs("null stream\n", stdout);
    }

    // 4
    if (!listFirst(&e->storedFormulas)) {
        setMessage(message, size, "No formulas to parse");
        e->inputCount = 0;
        if (!configureOutputChannels(e))
            return failParse(e, -4);
        e->parsed = 1;
        return 0;
    }

    // 5: every statement is parsed before any is resolved, so that a formula
    // may refer to one further down the list.
    int32_t inputs = 0;
    size_t prefix = 0;
    auto writePrefix = [&](const Formula *f) {
        if (!message)
            return;
        cformat(message, size, "Expression for %s: ", f->name);
        prefix = std::strlen(message);
    };
    for (Formula *f = listFirst(&e->storedFormulas); f; f = listNext(f, kListStored)) {
        writePrefix(f);
        if (std::strlen(f->name) >= kNameLimit) {
            if (message) {
                char text[size];
                cformat(text, sizeof text, "name '%s' too many characters", f->name);
                setMessage(message + prefix, size - prefix, text);
            }
            return failParse(e, TQF_ERR_PARSE);
        }
        std::string statement = std::string(f->name) + f->op + (f->expression ? f->expression : "");
        if (std::strcmp(f->op, "<-") != 0)
            statement += " x";
        ExprNode *root = nullptr;
        if (parseStatement(statement.data(), statement.size(), &root, message, size) != kParseOk)
            return failParse(e, TQF_ERR_PARSE);
        f->root = root;
        if (root->kind == kInputStatement)
            ++inputs;
    }

    // 6
    if (inputs > 0 && !e->collection) {
        setMessage(message, size, "Input formulas but no input streams registered");
        return failParse(e, TQF_ERR_PARSE);
    }

    // 7: resolution, then the formula joins the list of its kind.
    for (Formula *f = listFirst(&e->storedFormulas); f; f = listNext(f, kListStored)) {
        writePrefix(f);
        const int32_t mode = f->root->kind == kOutputStatement ? f->root->syncMode : 0;
        const int32_t result = resolve(e, &f->root, message ? message + prefix : nullptr, size - prefix, mode);
        if (result < 0)
            return failParse(e, result);
        const FormulaList list = mode == 0 ? kListInput : mode == kSyncAsync ? kListAsyncOutput : kListSyncOutput;
        listAppend(headOf(e, list), e, f, list);
    }

    // 8: the output stream and buffer for the input formulas.
    if (e->collection)
        e->outputStream->streamSetRate(e->outputStream, e->collection->StreamCollectionGetMaxRate(e->collection));
    int16_t index = 0;
    for (Formula *f = listFirst(&e->inputFormulas); f; f = listNext(f, kListInput))
        f->channelIndex = index++;
    e->inputCount = index;
    if (!configureOutputChannels(e)) {
        setMessage(message, size, "Unable to allocate memory");
        return failParse(e, -4);
    }
    for (Formula *f = listFirst(&e->inputFormulas); f; f = listNext(f, kListInput))
        if (containsKind(f->root, kDerivative))
            listAppend(&e->derivativeFormulas, e, f, kListDerivative);
    std::vector<ExprNode *> inputRoots, outputRoots;
    for (Formula *f = listFirst(&e->inputFormulas); f; f = listNext(f, kListInput))
        inputRoots.push_back(f->root);
    for (Formula *f = listFirst(&e->syncOutputFormulas); f; f = listNext(f, kListSyncOutput))
        outputRoots.push_back(f->root);
    p->program.compile(&p->context, inputRoots, outputRoots);
    e->runningIndex = e->oldestIndex = e->newestIndex = e->baseIndex = 0;
    e->ringPosition = 0;
    e->ringSize = e->inputCount > 0 ? 3840 : 5;
    e->outputStream->streamVerifyDisplayWindows(e->outputStream);
    e->parsed = 1;
    return 0;
}

int32_t engineParseFormulas(TQFormulaEngine *e, char *message)
{
    SetupGuard guard(e);
    return tq::platform::guardValue<int32_t>(-4, [&] {
        const int32_t result = parseAll(e, message);
        if (result < 0) {
            clearParse(e);
            e->parsed = 0;
        }
        return result;
    });
}

int64_t engineEvalScans(TQFormulaEngine *e, int64_t maximum)
{
    MutexGuard guard(priv(e)->mutex);
    return evalScans(e, maximum);
}

int32_t engineRefillOutputs(TQFormulaEngine *e, char *message)
{
    MutexGuard guard(priv(e)->mutex);
    return refillOutputs(e, message);
}

// ---- formulae.xml -----------------------------------------------------------------

std::string formulaFile(const char *directory)
{
    std::string path = directory ? directory : "";
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    return path + "formulae.xml";
}

void appendEscaped(std::string &out, const char *text)
{
    for (const char *c = text; c && *c; ++c) {
        switch (*c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += *c;
        }
    }
}

int32_t writeXML(TQFormulaEngine *e, const char *directory)
{
    std::string text = "<?xml version=\"1.0\"?><formulae>";
    {
        MutexGuard guard(priv(e)->mutex);
        for (Formula *f = listFirst(&e->inputFormulas); f; f = listNext(f, kListInput)) {
            text += "<formula><name>";
            text += f->name;
            text += "</name><expression>";
            appendEscaped(text, f->expression);
            text += "</expression></formula>";
        }
    }
    text += "</formulae>";
    FILE *file = std::fopen(formulaFile(directory).c_str(), "wb");
    if (!file)
        return TQS_ERR_FAILED;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : TQS_ERR_FAILED;
}

int32_t engineWriteXML(TQFormulaEngine *e, const char *directory)
{
    return tq::platform::guardValue<int32_t>(-4, [&] { return writeXML(e, directory); });
}

struct ReadState {
    TQFormulaEngine *engine = nullptr;
    int32_t state = 0;
    std::string name;
    std::string expression;
    // A text element's content may come in several pieces: they are joined
    // while the element is open, and a new element starts afresh.
    bool inText = false;
};

void readStart(tq::stream::XmlParser *, const char *name, const char *, void *user)
{
    auto *s = static_cast<ReadState *>(user);
    const std::string element = name;
    if (s->state == 0 && element == "formulae") {
        s->state = 1;
    } else if (s->state == 1 && element == "formula") {
        s->name.clear();
        s->expression.clear();
        s->state = 2;
    } else if (s->state == 2 && element == "name") {
        s->name.clear();
        s->state = 3;
    } else if (s->state == 2 && element == "expression") {
        s->expression.clear();
        s->state = 4;
    }
}

void readText(tq::stream::XmlParser *, const char *text, void *user)
{
    auto *s = static_cast<ReadState *>(user);
    std::string &target = s->state == 3 ? s->name : s->expression;
    if ((s->state == 3 || s->state == 4) && target.size() + std::strlen(text) <= 1023)
        target += text;
}

void readEnd(tq::stream::XmlParser *, const char *name, void *user)
{
    auto *s = static_cast<ReadState *>(user);
    const std::string element = name;
    if ((s->state == 3 && element == "name") || (s->state == 4 && element == "expression")) {
        s->state = 2;
    } else if (s->state == 2 && element == "formula") {
        if (!s->name.empty() && !s->expression.empty())
            addFormula(s->engine, s->name.c_str(), "=", s->expression.c_str());
        s->state = 1;
    } else if (s->state == 1 && element == "formulae") {
        s->state = 5;
    }
}

int32_t readXML(TQFormulaEngine *e, const char *directory)
{
    FILE *file = std::fopen(formulaFile(directory).c_str(), "rb");
    if (!file)
        return TQF_ERR_NO_FORMULA;
    ReadState state;
    state.engine = e;
    int32_t result;
    {
        MutexGuard guard(priv(e)->mutex);
        result = tq::stream::xmlParseFile(file, &state, nullptr, readStart, readEnd, readText, nullptr);
    }
    std::fclose(file);
    if (result != tq::stream::kXmlDone)
        return TQF_ERR_PARSE;
    return e->parseFormulas(e, nullptr);
}

int32_t engineReadXML(TQFormulaEngine *e, const char *directory)
{
    return tq::platform::guardValue<int32_t>(-4, [&] { return readXML(e, directory); });
}

int32_t engineGetStream(TQFormulaEngine *e, const char *name, TQStream **stream)
{
    MutexGuard guard(priv(e)->mutex);
    TQStream *s = e->outputStream;
    s->streamSetRate(s, e->collection ? e->collection->StreamCollectionGetMaxRate(e->collection) : 1.0);
    if (!s->name[0] && name && name[0])
        cformat(s->name, 64, "%s", name);
    if (stream) {
        s->streamAddRef(s);
        *stream = s;
    }
    return 0;
}

} // namespace

// ---- formula records and lists ------------------------------------------------------

Formula *newFormula(const char *name, const char *op, const char *expression)
{
    auto *f = static_cast<Formula *>(std::calloc(1, sizeof(Formula)));
    if (!f)
        return nullptr;
    f->refCount = 1;
    f->name = copyText(name ? name : "");
    f->expression = (expression && expression[0]) ? copyText(expression) : nullptr;
    copyOperator(f->op, op);
    if (!f->name || (expression && expression[0] && !f->expression)) {
        std::free(f->name);
        std::free(f->expression);
        std::free(f);
        return nullptr;
    }
    return f;
}

int32_t formulaAddRef(Formula *formula)
{
    if (formula)
        ++formula->refCount;
    return 0;
}

int32_t formulaRelease(Formula **holder)
{
    if (!holder || !*holder)
        return 0;
    Formula *f = *holder;
    *holder = nullptr;
    if (--f->refCount > 0)
        return 0;
    std::free(f->name);
    std::free(f->expression);
    exprRelease(&f->root);
    std::free(f);
    return 0;
}

void listAppend(TQListHead *head, TQFormulaEngine *engine, Formula *formula, FormulaList list)
{
    if (tqListIsLinked(&formula->links[list]))
        return;
    tqListAppend(head, engine, formula, linkOffset(list));
    formulaAddRef(formula);
}

void listRemove(TQListHead *head, Formula *formula, FormulaList list)
{
    if (!tqListIsLinked(&formula->links[list]))
        return;
    tqListRemove(head, formula, linkOffset(list));
    formulaRelease(&formula);
}

Formula *listFirst(TQListHead *head) { return static_cast<Formula *>(head->first); }

Formula *listNext(Formula *formula, FormulaList list)
{
    return static_cast<Formula *>(tqListNext(formula, linkOffset(list)));
}

Formula *findFormula(TQFormulaEngine *e, const char *name)
{
    if (!name)
        return nullptr;
    for (TQListHead *head : {&e->storedFormulas, &e->hiddenFormulas})
        for (Formula *f = listFirst(head); f; f = listNext(f, kListStored))
            if (std::strcmp(f->name, name) == 0)
                return f;
    return nullptr;
}

int32_t addFormula(TQFormulaEngine *e, const char *name, const char *op, const char *expression)
{
    if (!name)
        return TQF_ERR_TOO_LONG;
    e->parsed = 0;
    if (std::strlen(name) + (expression ? std::strlen(expression) : 0) + 3 > kFormulaTextLimit)
        return TQF_ERR_TOO_LONG;
    for (Formula *f = listFirst(&e->storedFormulas); f; f = listNext(f, kListStored)) {
        if (std::strcmp(f->name, name) != 0)
            continue;
        char *copy = nullptr;
        if (expression && expression[0] && !(copy = copyText(expression)))
            return -4;
        std::free(f->expression);
        f->expression = copy;
        copyOperator(f->op, op);
        return 0;
    }
    Formula *f = newFormula(name, op, expression);
    if (!f)
        return -4;
    if (f->expression) {
        listAppend(&e->storedFormulas, e, f, kListStored);
        e->formulaCount += 1;
    } else {
        listAppend(&e->hiddenFormulas, e, f, kListStored);
    }
    formulaRelease(&f);
    return 0;
}

} // namespace tq::formula

using namespace tq::formula;

TQ_API TQFormulaEngine *NewFormulaEngine(void *owner)
{
    return tq::platform::guardValue<TQFormulaEngine *>(nullptr, [&]() -> TQFormulaEngine * {
        auto *p = new (std::nothrow) EnginePrivate();
        if (!p)
            return nullptr;
        TQFormulaEngine *e = &p->pub;
        std::memset(e, 0, sizeof *e);
        e->formulaEngineAddRef = engineAddRef;
        e->formulaEngineRelease = engineRelease;
        e->formulaEngineRegisterStream = engineRegisterStream;
        e->formulaEngineUnregisterStream = engineUnregisterStream;
        e->formulaEngineUnregisterAllStreams = engineUnregisterAllStreams;
        e->formulaEngineAddFormula = engineAddFormula;
        e->formulaEngineRmvFormula = engineRmvFormula;
        e->formulaEngineRmvAllFormulas = engineRmvAllFormulas;
        e->createDefaultFormulas = engineCreateDefaultFormulas;
        e->parseFormulas = engineParseFormulas;
        e->formulaEngineEvalScans = engineEvalScans;
        e->refillOutputs = engineRefillOutputs;
        e->formulaEngineReadXML = engineReadXML;
        e->formulaEngineWriteXML = engineWriteXML;
        e->formulaEngineGetStream = engineGetStream;
        e->internalAddRef = internalAddRef;
        e->internalRelease = internalRelease;
        e->refCount = 1;
        e->owner = owner;
        e->currentRate = 1.0;
        tqListInit(&e->storedFormulas);
        tqListInit(&e->hiddenFormulas);
        tqListInit(&e->inputFormulas);
        tqListInit(&e->syncOutputFormulas);
        tqListInit(&e->asyncOutputFormulas);
        tqListInit(&e->derivativeFormulas);
        e->outputStream = newStream("", 1.0, e);
        if (!e->outputStream || !installOutputStream(e)) {
            if (e->outputStream)
                destroyStream(e->outputStream);
            delete p;
            return nullptr;
        }
        p->context.rate = 1.0;
        p->context.eventStream = e->outputStream;
        return e;
    });
}
