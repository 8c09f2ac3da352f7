// Fuzz target of the engine's XML reader: any bytes must parse or be refused
// without a crash, an overflow or a leak, also when a callback stops the
// parse part-way.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "display/xmlreader.h"

using namespace tq::stream;

namespace {

struct Run {
    size_t events = 0;
    size_t stopAfter = 0; // 0: never
    int32_t stopState = 0;

    void hit(XmlParser *p, const char *text)
    {
        // Every string handed out must be terminated inside its buffer.
        if (strlen(text) < kXmlBufferSize)
            ++events;
        if (stopAfter && events == stopAfter)
            p->state = stopState;
    }
};

void onStart(XmlParser *p, const char *name, const char *attributes, void *u)
{
    static_cast<Run *>(u)->hit(p, name);
    static_cast<Run *>(u)->hit(p, attributes);
}
void onEnd(XmlParser *p, const char *name, void *u) { static_cast<Run *>(u)->hit(p, name); }
void onText(XmlParser *p, const char *text, void *u) { static_cast<Run *>(u)->hit(p, text); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader's messages, not the fuzzer's reports (which keep their own
    // descriptor), go nowhere.
    if (FILE *null = fopen("/dev/null", "w"))
        stderr = null;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte chooses whether and how a callback stops the parse.
    Run run;
    if (size > 0) {
        static const int32_t states[] = {0, kXmlStateError, kXmlStateStop, kXmlStateDone};
        run.stopState = states[data[0] & 3];
        run.stopAfter = run.stopState ? (data[0] >> 2) + 1 : 0;
        ++data;
        --size;
    }
    xmlParseMemory(data, size, &run, nullptr, onStart, onEnd, onText, nullptr);
    return 0;
}
