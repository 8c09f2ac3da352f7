// The display model as XML: the exact text, chunked listings, graph.xml
// written, read back and written again, the listings of axes and units.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "display_test_util.h"

using namespace displaytest;
using namespace tq::stream;

namespace
{

using ListFn = int32_t (*)(void *, char *, uint32_t, uint32_t *);

// The whole document of a listing function called with chunks of `size`;
// each chunk's count must match its text.
template <typename Object, typename Fn> std::string listAll(Object *o, Fn fn, uint32_t size, int32_t *last = nullptr)
{
    std::string out;
    std::vector<char> chunk(size);
    uint32_t count = 0;
    int32_t rc;
    int guard = 0;
    do {
        rc = fn(o, chunk.data(), size, &count);
        EXPECT_EQ(count, strlen(chunk.data()));
        out += chunk.data();
    } while (rc == 1 && ++guard < 100000);
    if (last)
        *last = rc;
    return out;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/tq_graphxml_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf " + path).c_str()); }
    std::string file() const { return path + "/graph.xml"; }
};

const char *kNewStream =
    "<?xml version=\"1.0\"?><stream><displaywindow id=\"\"><title></title><bgcolor>0</bgcolor><x>-1</x><y>-1</y>"
    "<w>-1</w><h>-1</h><graphobject id=\"\"><title></title><bgcolor>ffffff</bgcolor><gridenable>1</gridenable>"
    "<starttime>-1.000000</starttime><duration>1.000000</duration><x>-1</x><y>-1</y><w>-1</w><h>-1</h>"
    "</graphobject></displaywindow></stream>";

TEST(DisplayXml, NewStreamText)
{
    TestStream t;
    EXPECT_EQ(listAll(t.s, t.s->streamListXML, 4096), kNewStream);
}

TEST(DisplayXml, ChunkedListingEqualsTheWhole)
{
    TestStream t;
    for (uint32_t size : {2u, 3u, 16u, 100u, 1024u}) {
        std::string out;
        std::vector<char> chunk(size);
        uint32_t count = 0;
        int32_t rc;
        do {
            rc = t.s->streamListXML(t.s, chunk.data(), size, &count);
            if (rc == 1) {
                ASSERT_EQ(count, size - 1) << size; // every chunk but the last is full
            }
            out += chunk.data();
        } while (rc == 1);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(out, kNewStream) << size;
    }
    // Without room for one character a listing cannot advance.
    char one[1];
    uint32_t count = 7;
    EXPECT_LT(t.s->streamListXML(t.s, one, 1, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(listAll(t.s, t.s->streamListXML, 64), kNewStream);
}

// A model with two windows, three graph objects, axes and channels.
struct Model {
    TestStream t;
    Model(const char *title = "Plot & <one>")
    {
        t.add("a", "V");
        t.add("b", "V");
        t.add("f", "Hz");
        TQStream *s = t.s;
        TQDisplayWindow *w0 = s->streamGetDisplayWindowByIndex(s, 0);
        TQGraphObject *go = s->defaultGraphObject;
        syncGraphObject(go);
        go->graphObjectSetTitle(go, title);
        go->graphObjectSetStartTime(go, 2.5);
        go->graphObjectSetDuration(go, 3.25);
        go->graphObjectSetGraphInfo(go, "V", 1.5, 8.0, 0x123456);
        go->graphObjectSetChannelColor(go, "b", 0xabcdef);
        go->graphObjectSetChannelEnable(go, "a", 0);
        go->graphObjectSetAxisEnable(go, "Hz", 0);
        go->graphObjectSetGridEnable(go, 0);
        go->graphObjectSetBgColor(go, 0x202020);
        w0->displayWindowSetTitle(w0, "First & <main>");
        w0->displayWindowSetBgColor(w0, 0xff00);
        TQGraphObject *g2 = w0->displayWindowNewGraphObject(w0, "second", 1, 2, 300, 200);
        g2->graphObjectSetStartTime(g2, 0.0);
        g2->graphObjectSlotRelease(&g2);
        TQDisplayWindow *w1 = s->streamNewDisplayWindow(s, "other", 5, 6, 700, 500);
        TQGraphObject *g3 = w1->displayWindowNewGraphObject(w1, "third", 7, 8, 90, 80);
        g3->graphObjectSetStartTime(g3, 12.0);
        g3->graphObjectSetAxisSpan(g3, "Hz", 1000.0);
        g3->graphObjectSlotRelease(&g3);
        w1->displayWindowSlotRelease(&w1);
    }
};

TEST(DisplayXml, WriteReadWriteIsIdentical)
{
    Model m;
    TempDir a, b;
    ASSERT_EQ(m.t.s->streamWriteXML(m.t.s, a.path.c_str()), 0);
    std::string first = slurp(a.file());
    EXPECT_NE(first.find("<title>Plot &amp; &lt;one&gt;</title>"), std::string::npos);
    EXPECT_NE(first.find("id=\"Plot & <one>\""), std::string::npos);
    ASSERT_EQ(m.t.s->streamReadXML(m.t.s, a.path.c_str()), 0);
    EXPECT_EQ(m.t.s->streamGetNumberDisplayWindows(m.t.s), 2);
    TQGraphObject *d = defaultGraphObject(m.t.s);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->title, "Plot & <one>");
    EXPECT_DOUBLE_EQ(d->starttime, 2.5);
    EXPECT_DOUBLE_EQ(d->duration, 3.25);
    ASSERT_EQ(m.t.s->streamWriteXML(m.t.s, b.path.c_str()), 0);
    EXPECT_EQ(slurp(b.file()), first);
}

TEST(DisplayXml, PlainTitlesAreWellFormed)
{
    Model m("plain");
    TempDir a;
    ASSERT_EQ(m.t.s->streamWriteXML(m.t.s, a.path.c_str()), 0);
    // The window title holds & and <, which attributes cannot: make it plain.
    std::string text = slurp(a.file());
    TQDisplayWindow *w0 = m.t.s->streamGetDisplayWindowByIndex(m.t.s, 0);
    w0->displayWindowSetTitle(w0, "main");
    ASSERT_EQ(m.t.s->streamWriteXML(m.t.s, a.path.c_str()), 0);
    EXPECT_EQ(std::system(("xmllint --noout " + a.file() + " 2>/dev/null").c_str()), 0);
}

TEST(DisplayXml, QuotedTitlesSurviveReading)
{
    Model m("say \"cheese\" & <smile>");
    TempDir a;
    ASSERT_EQ(m.t.s->streamWriteXML(m.t.s, a.path.c_str()), 0);
    ASSERT_EQ(m.t.s->streamReadXML(m.t.s, a.path.c_str()), 0);
    TQGraphObject *d = defaultGraphObject(m.t.s);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->title, "say \"cheese\" & <smile>");
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

TEST(DisplayXml, NegativeTimesTurnIntoAbsoluteWindows)
{
    TestStream t;
    t.add("a", "V");
    TempDir a;
    writeFile(a.file(), "<?xml version=\"1.0\"?><stream><displaywindow id=\"w\">"
                        "<graphobject id=\"live\"><starttime>-1.000000</starttime></graphobject>"
                        "<graphobject id=\"later\"><starttime>5.000000</starttime></graphobject>"
                        "</displaywindow></stream>");
    ASSERT_EQ(t.s->streamReadXML(t.s, a.path.c_str()), 0);
    TQDisplayWindow *w = t.s->streamGetDisplayWindowByIndex(t.s, 0);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->displayWindowGetNumberGraphObjects(w), 2);
    for (int i = 0; i < 2; ++i) {
        TQGraphObject *go = w->displayWindowGetGraphObjectByIndex(w, i);
        EXPECT_GE(go->starttime, 0.0) << go->title;
    }
}

TEST(DisplayXml, ReadFailures)
{
    TestStream t;
    TempDir a;
    // No file: the model is untouched.
    EXPECT_EQ(t.s->streamReadXML(t.s, a.path.c_str()), -12);
    EXPECT_EQ(t.s->streamGetNumberDisplayWindows(t.s), 1);
    EXPECT_NE(defaultGraphObject(t.s), nullptr);
    struct Case {
        const char *text;
        int32_t rc;
    } cases[] = {
        {"", -6},
        {"<stream><displaywindow id=\"x\">", -6},
        {"<stream><displaywindow id=\"x\"></displaywindow></stream>", 0},
        {"<stream><displaywindow><graphobject id=\"g\"></graphobject></displaywindow></stream>", 0},
    };
    for (const Case &c : cases) {
        writeFile(a.file(), c.text);
        EXPECT_EQ(t.s->streamReadXML(t.s, a.path.c_str()), c.rc) << c.text;
    }
    // The window without an id was skipped, and its graph object with it.
    EXPECT_EQ(t.s->streamGetNumberDisplayWindows(t.s), 0);
    EXPECT_EQ(defaultGraphObject(t.s), nullptr);
    // Writing where no file can be made.
    EXPECT_EQ(t.s->streamWriteXML(t.s, "/nonexistent/dir"), TQS_ERR_FAILED);
}

TEST(DisplayXml, ListAxesOfStream)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> channels;
        const char *text;
    } cases[] = {
        {{}, "<?xml version=\"1.0\"?><axes></axes>"},
        {{{"a", "volts"}, {"b", "volts"}, {"c", "hz"}},
         "<?xml version=\"1.0\"?><axes><axis><eu>hz</eu><channels><channel><name>c</name><index>2</index></channel>"
         "</channels></axis><axis><eu>volts</eu><channels><channel><name>a</name><index>0</index></channel>"
         "<channel><name>b</name><index>1</index></channel></channels></axis></axes>"},
    };
    for (const Case &c : cases) {
        TestStream t;
        for (auto &[name, eu] : c.channels)
            t.add(name, eu);
        syncGraphObject(t.s->defaultGraphObject);
        int32_t rc = -1;
        EXPECT_EQ(listAll(t.s, t.s->streamListAxes, 4096, &rc), c.text);
        EXPECT_EQ(rc, 0);
        // Small chunks: pieces are placed whole, and nothing is lost.
        EXPECT_EQ(listAll(t.s, t.s->streamListAxes, 80), c.text);
    }
}

TEST(DisplayXml, ListAxesBeyondEightUnits)
{
    TestStream t;
    for (int i = 0; i < 12; ++i)
        t.add("c" + std::to_string(i), "u" + std::to_string(i));
    std::string text = listAll(t.s, t.s->streamListAxes, 4096);
    for (int i = 0; i < 12; ++i)
        EXPECT_NE(text.find("<eu>u" + std::to_string(i) + "</eu>"), std::string::npos) << i;
    // A chunk too small for the header is refused, not answered "more".
    char small[8];
    uint32_t count = 5;
    EXPECT_LT(t.s->streamListAxes(t.s, small, sizeof small, &count), 0);
    EXPECT_EQ(count, 0u);
}

TEST(DisplayXml, ListAxesOfGraphObject)
{
    Model m;
    TQGraphObject *go = defaultGraphObject(m.t.s);
    int32_t rc = -1;
    std::string whole = listAll(go, go->graphObjectListAxes, 4096, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(whole.rfind("<?xml version=\"1.0\"?><graphobject><bgcolor>202020</bgcolor><gridenable>0</gridenable>", 0),
              0u);
    EXPECT_NE(whole.find("<axis id=\"V\"><eu>V</eu><color>123456</color><center>1.500000</center>"
                         "<span>8.000000</span><enable>1</enable><visible>1</visible>"),
              std::string::npos);
    EXPECT_NE(whole.find("<channel id=\"b\"><name>b</name><color>abcdef</color><enable>1</enable></channel>"),
              std::string::npos);
    EXPECT_NE(whole.find("</axis><starttime>2.500000</starttime><duration>3.250000</duration></graphobject>"),
              std::string::npos);
    for (uint32_t size : {2u, 7u, 64u})
        EXPECT_EQ(listAll(go, go->graphObjectListAxes, size), whole) << size;
}

TEST(DisplayXml, EscapeInPlace)
{
    struct Case {
        const char *in, *out;
    } cases[] = {{"", ""},       {"plain", "plain"},  {"a&b", "a&amp;b"}, {"<x>", "&lt;x&gt;"},
                 {"\"'", "\"'"}, {"&&", "&amp;&amp;"}};
    for (const Case &c : cases) {
        char buffer[64];
        strcpy(buffer, c.in);
        escapeXMLText(buffer);
        EXPECT_STREQ(buffer, c.out);
    }
}

} // namespace
