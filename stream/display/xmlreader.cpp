// The stream engine's XML reader: a character-by-character state machine
// over the subset of XML the engine writes, reporting document start,
// element start (raw attribute text), character data, element end and
// document end.
//
// States:
//   0 before the document's first '<'      8 inside a quoted attribute value
//   1 after the first '<'                  9 reading character data
//   2 inside the declaration              10 after '<' in content
//   3 after '?' in the declaration        11 (not used)
//   4 before the root element's '<'       12 reading an end tag's name
//   5 reading a start tag's name          13 parse error (acts on the next character)
//   6 after '/' of an empty-element tag   14 stopped by a callback (acts on the next character)
//   7 reading the attribute text          15 done
#include "xmlreader.h"

#include <cstdlib>
#include <cstring>

namespace tq::stream {

namespace {

constexpr int32_t kEnd = -1;
constexpr int32_t kMaxLength = static_cast<int32_t>(kXmlBufferSize) - 1;   // 511
constexpr int32_t kMaxNodeName = static_cast<int32_t>(kXmlNodeNameSize) - 1; // 127

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isAlnum(int c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isControl(int c) { return c < 0x20 || c == 0x7f; }

bool overridden(const XmlParser *p)
{
    return p->state == kXmlStateError || p->state == kXmlStateStop || p->state == kXmlStateDone;
}

// The current line keeps the characters read since the last newline, in a
// ring: once it holds 511 characters writing starts again at its beginning.
void appendLine(XmlParser *p, int c)
{
    if (c == '\n') {
        p->lineLength = 0;
        p->line[0] = '\0';
        ++p->lineNumber;
        return;
    }
    if (p->lineLength >= kMaxLength)
        p->lineLength = 0;
    p->line[p->lineLength++] = static_cast<char>(c);
    p->line[p->lineLength] = '\0';
}

// Every character returned, also one given back through the push-back slot,
// goes into the current line.
int getChar(XmlParser *p)
{
    int c;
    if (p->pushBack != kEnd) {
        c = p->pushBack;
        p->pushBack = kEnd;
    } else if (p->file) {
        c = getc(p->file);
        if (c == EOF)
            return kEnd;
    } else {
        if (p->offset >= p->size)
            return kEnd;
        c = p->data[p->offset++];
    }
    appendLine(p, c);
    return c;
}

void skipSpace(XmlParser *p)
{
    int c;
    while ((c = getChar(p)) != kEnd && isSpace(c)) {
    }
    if (c != kEnd)
        p->pushBack = c;
}

// Appends to one of the 512-byte buffers. The main loop turns a length past
// 511 into a parse error before the next character acts, so nothing is
// written past the last byte; the bound here keeps it so whatever the caller.
void append(char *buffer, int32_t &length, int c)
{
    if (length < kMaxLength + 1)
        buffer[length] = static_cast<char>(c);
    ++length;
}

void terminate(char *buffer, int32_t length) { buffer[length < kMaxLength ? length : kMaxLength] = '\0'; }

void freeStack(XmlParser *p)
{
    while (XmlNode *node = p->stack) {
        p->stack = node->next;
        free(node);
    }
}

struct Callbacks {
    void *user;
    XmlDocumentFn startDocument;
    XmlStartElementFn startElement;
    XmlEndElementFn endElement;
    XmlCharactersFn characters;
    XmlDocumentFn endDocument;
};

void deliverText(XmlParser *p, const Callbacks &cb)
{
    terminate(p->text, p->textLength);
    if (xmlDecodeText(p->text) && cb.characters)
        cb.characters(p, p->text, cb.user);
}

// Opens the element named in the name buffer: pushes a node with a copy of
// the name and reports it. A name the node cannot hold is a parse error.
bool openElement(XmlParser *p, const Callbacks &cb)
{
    if (p->nameLength == 0 || p->nameLength > kMaxNodeName) {
        p->state = kXmlStateError;
        return false;
    }
    terminate(p->name, p->nameLength);
    terminate(p->attributes, p->attributesLength);
    auto *node = static_cast<XmlNode *>(malloc(sizeof(XmlNode)));
    if (!node) {
        p->state = kXmlStateError;
        return false;
    }
    memcpy(node->name, p->name, static_cast<size_t>(p->nameLength) + 1);
    node->next = p->stack;
    p->stack = node;
    if (cb.startElement)
        cb.startElement(p, node->name, p->attributes, cb.user);
    if (!overridden(p))
        p->state = 9;
    return true;
}

// After an end tag: the root closed ends the parse, else character data follows.
void afterEndTag(XmlParser *p, int32_t &result)
{
    if (overridden(p))
        return;
    if (!p->stack) {
        result = kXmlDone;
        p->state = kXmlStateDone;
    } else {
        p->textLength = 0;
        p->state = 9;
    }
}

void act(XmlParser *p, int c, const Callbacks &cb, int32_t &result)
{
    switch (p->state) {
    case 0:
        if (c == '<') {
            skipSpace(p);
            p->nameLength = p->attributesLength = 0;
            p->state = 1;
        } else {
            p->state = kXmlStateError;
        }
        break;
    case 1:
        if (c == '?') {
            p->state = 2;
        } else if (isAlnum(c)) {
            p->nameLength = 0;
            append(p->name, p->nameLength, c);
            p->state = 5;
        } else {
            p->state = kXmlStateError;
        }
        break;
    case 2:
        if (c == '?')
            p->state = 3;
        break;
    case 3:
        if (c == '>') {
            skipSpace(p);
            p->state = 4;
        } else if (c != '?') {
            p->state = 2;
        }
        break;
    case 4:
        if (c == '<') {
            skipSpace(p);
            p->nameLength = p->attributesLength = 0;
            p->state = 5;
        } else {
            p->state = kXmlStateError;
        }
        break;
    case 5:
        if (c == ' ') {
            terminate(p->name, p->nameLength);
            skipSpace(p);
            p->attributesLength = 0;
            p->state = 7;
        } else if (c == '>') {
            if (openElement(p, cb)) {
                skipSpace(p);
                p->textLength = 0;
            }
        } else if (c == '/') {
            if (p->nameLength == 0) {
                p->state = kXmlStateError;
                break;
            }
            terminate(p->name, p->nameLength);
            terminate(p->attributes, p->attributesLength);
            skipSpace(p);
            p->state = 6;
        } else {
            append(p->name, p->nameLength, c);
        }
        break;
    case 6:
        if (c != '>' || p->nameLength > kMaxNodeName) {
            p->state = kXmlStateError;
            break;
        }
        if (cb.startElement)
            cb.startElement(p, p->name, p->attributes, cb.user);
        if (cb.endElement)
            cb.endElement(p, p->name, cb.user);
        afterEndTag(p, result);
        break;
    case 7:
        if (c == '"') {
            append(p->attributes, p->attributesLength, c);
            p->state = 8;
        } else if (c == '>') {
            if (openElement(p, cb))
                p->textLength = 0;
        } else if (c == '/') {
            terminate(p->attributes, p->attributesLength);
            skipSpace(p);
            p->state = 6;
        } else {
            append(p->attributes, p->attributesLength, c);
        }
        break;
    case 8:
        append(p->attributes, p->attributesLength, c);
        if (c == '"')
            p->state = 7;
        break;
    case 9:
        if (c == '<') {
            deliverText(p, cb);
            skipSpace(p);
            if (!overridden(p))
                p->state = 10;
        } else {
            append(p->text, p->textLength, isControl(c) ? ' ' : c);
            if (p->textLength >= kMaxLength) {
                deliverText(p, cb);
                p->textLength = 0;
            }
        }
        break;
    case 10:
        if (c == '/') {
            p->nameLength = 0;
            p->state = 12;
        } else {
            p->nameLength = 0;
            append(p->name, p->nameLength, c);
            p->attributesLength = 0;
            p->state = 5;
        }
        break;
    case 12:
        if (c != '>') {
            append(p->name, p->nameLength, c);
            break;
        }
        terminate(p->name, p->nameLength);
        if (!p->stack || strcmp(p->name, p->stack->name) != 0) {
            p->state = kXmlStateError;
            break;
        }
        if (cb.endElement)
            cb.endElement(p, p->name, cb.user);
        {
            XmlNode *node = p->stack;
            p->stack = node->next;
            free(node);
        }
        afterEndTag(p, result);
        break;
    case kXmlStateError:
        fprintf(stderr, "Parse error found line %d near %s\n", p->lineNumber, p->line);
        result = kXmlParseError;
        p->state = kXmlStateDone;
        break;
    case kXmlStateStop:
        fprintf(stderr, "Callback code found line %d near %s\n", p->lineNumber, p->line);
        freeStack(p);
        result = kXmlStopped;
        p->state = kXmlStateDone;
        break;
    default:
        // State 11, or a value no callback should have written.
        p->state = kXmlStateError;
        break;
    }
}

int32_t parse(XmlParser *p, const Callbacks &cb)
{
    p->state = 0;
    p->lineNumber = 1;
    p->pushBack = kEnd;
    int32_t result = kXmlUnfinished;
    if (cb.startDocument)
        cb.startDocument(p, cb.user);
    skipSpace(p);
    int c = getChar(p);
    while (c != kEnd && p->state != kXmlStateDone) {
        if ((p->nameLength > kMaxLength || p->attributesLength > kMaxLength) && !overridden(p))
            p->state = kXmlStateError;
        act(p, c, cb, result);
        c = getChar(p);
    }
    if (p->stack) {
        fprintf(stderr, "unbalanced tag: %s\n", p->stack->name);
        // Nothing of a failed parse outlives it.
        freeStack(p);
    } else if (cb.endDocument) {
        cb.endDocument(p, cb.user);
    }
    return result;
}

} // namespace

int32_t xmlDecodeText(char *text)
{
    static const struct {
        const char *reference;
        size_t length;
        char character;
    } kReferences[] = {
        {"&quot;", 6, '"'}, {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&apos;", 6, '\''},
    };
    int32_t nonBlank = 0;
    const char *r = text;
    char *w = text;
    while (*r) {
        char out = *r;
        size_t used = 1;
        if (out == '&') {
            for (const auto &ref : kReferences)
                if (strncmp(r, ref.reference, ref.length) == 0) {
                    out = ref.character;
                    used = ref.length;
                    break;
                }
        }
        if (!isSpace(static_cast<unsigned char>(out)))
            nonBlank = 1;
        *w++ = out;
        r += used;
    }
    *w = '\0';
    return nonBlank;
}

int32_t xmlParseFile(FILE *file, void *user, XmlDocumentFn startDocument, XmlStartElementFn startElement,
                     XmlEndElementFn endElement, XmlCharactersFn characters, XmlDocumentFn endDocument)
{
    auto *p = static_cast<XmlParser *>(calloc(1, sizeof(XmlParser)));
    if (!p)
        return kXmlParseError;
    p->file = file; // no file reads as an empty one
    int32_t rc = parse(p, {user, startDocument, startElement, endElement, characters, endDocument});
    free(p);
    return rc;
}

int32_t xmlParseMemory(const void *data, size_t size, void *user, XmlDocumentFn startDocument,
                       XmlStartElementFn startElement, XmlEndElementFn endElement, XmlCharactersFn characters,
                       XmlDocumentFn endDocument)
{
    auto *p = static_cast<XmlParser *>(calloc(1, sizeof(XmlParser)));
    if (!p)
        return kXmlParseError;
    p->data = static_cast<const unsigned char *>(data);
    p->size = data ? size : 0;
    int32_t rc = parse(p, {user, startDocument, startElement, endElement, characters, endDocument});
    free(p);
    return rc;
}

} // namespace tq::stream
