// Fuzz target: graph.xml text read into a stream with two channels, then the
// rebuilt model listed again.
#include <cstdint>
#include <cstdio>

#include "display_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static displaytest::TestStream *t = [] {
        auto *s = new displaytest::TestStream(100.0);
        s->add("a", "V");
        s->add("b", "Hz");
        return s;
    }();
    FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (!file)
        return 0;
    tq::stream::readXMLFrom(t->s, file);
    fclose(file);
    char chunk[256];
    uint32_t count = 0;
    int guard = 0;
    while (t->s->streamListXML(t->s, chunk, sizeof chunk, &count) == 1 && ++guard < 100000) {
    }
    return 0;
}
