// The stream engine's own XML reader, for the files the engine itself writes
// (display layouts, formulas). Those files are not always well-formed XML
// (titles go into attribute values unescaped), so a conforming parser would
// refuse them; this one understands exactly what the engine writes: an
// optional leading declaration, nested elements with attributes, empty-element
// tags and text with the five predefined entity references.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tq::stream {

// Parser states a callback may write into XmlParser::state.
constexpr int32_t kXmlStateError = 13; // turn the parse into a parse error
constexpr int32_t kXmlStateStop = 14;  // stop the parse: result -2
constexpr int32_t kXmlStateDone = 15;  // end the parse quietly

// Results of xmlParseFile and xmlParseMemory.
constexpr int32_t kXmlDone = 0;        // the root element was closed
constexpr int32_t kXmlParseError = -1;
constexpr int32_t kXmlStopped = -2;    // a callback wrote kXmlStateStop
constexpr int32_t kXmlUnfinished = -3; // the input ended before the root was closed

constexpr size_t kXmlBufferSize = 512;   // name, attribute and text buffers, current line
constexpr size_t kXmlNodeNameSize = 128; // names of open elements: at most 127 characters

struct XmlNode {
    char name[kXmlNodeNameSize];
    XmlNode *next;
};

// One parse. Callbacks get it as their first argument; only `state` is
// theirs to read and write.
struct XmlParser {
    int32_t state;
    // Private to the reader.
    FILE *file;
    const unsigned char *data;
    size_t size;
    size_t offset;
    char line[kXmlBufferSize];
    int32_t lineLength;
    int32_t lineNumber;
    int32_t pushBack;
    XmlNode *stack;
    char name[kXmlBufferSize];
    int32_t nameLength;
    char attributes[kXmlBufferSize];
    int32_t attributesLength;
    char text[kXmlBufferSize];
    int32_t textLength;
};

// Callbacks; any of them may be null. `attributes` is the raw attribute text
// of the start tag (quotes and blanks included, no entity decoding); `text`
// is a piece of character data with the entity references decoded.
using XmlDocumentFn = void (*)(XmlParser *parser, void *user);
using XmlStartElementFn = void (*)(XmlParser *parser, const char *name, const char *attributes, void *user);
using XmlEndElementFn = void (*)(XmlParser *parser, const char *name, void *user);
using XmlCharactersFn = void (*)(XmlParser *parser, const char *text, void *user);

// Parses an open file (the caller opens and closes it). Errors are written to
// standard error with the line number and the text of the line read so far.
int32_t xmlParseFile(FILE *file, void *user, XmlDocumentFn startDocument, XmlStartElementFn startElement,
                     XmlEndElementFn endElement, XmlCharactersFn characters, XmlDocumentFn endDocument);
// The same over bytes in memory.
int32_t xmlParseMemory(const void *data, size_t size, void *user, XmlDocumentFn startDocument,
                       XmlStartElementFn startElement, XmlEndElementFn endElement, XmlCharactersFn characters,
                       XmlDocumentFn endDocument);

// Decodes the five predefined entity references in place; 1 when the text
// holds a character that is not white space, else 0.
int32_t xmlDecodeText(char *text);

} // namespace tq::stream
