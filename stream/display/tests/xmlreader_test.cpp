// The engine's XML reader: callback traces, results and the messages on
// standard error for the cases that matter, from memory and from files; and
// agreement with expat on well-formed documents of the subset it reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <expat.h>
#include <random>
#include <string>
#include <vector>

#include "display/xmlreader.h"

using namespace tq::stream;

namespace {

// What the callbacks saw, one entry each.
struct Trace {
    std::vector<std::string> events;
    // A callback of this event sets the parser state (0: none).
    std::string stopAt;
    int32_t stopState = 0;

    void hit(XmlParser *p, const std::string &event)
    {
        events.push_back(event);
        if (stopState && event == stopAt)
            p->state = stopState;
    }
};

void onStartDocument(XmlParser *p, void *u) { static_cast<Trace *>(u)->hit(p, "SD"); }
void onEndDocument(XmlParser *p, void *u) { static_cast<Trace *>(u)->hit(p, "ED"); }
void onStart(XmlParser *p, const char *name, const char *attributes, void *u)
{
    static_cast<Trace *>(u)->hit(p, "S(" + std::string(name) + "|" + attributes + ")");
}
void onEnd(XmlParser *p, const char *name, void *u) { static_cast<Trace *>(u)->hit(p, "E(" + std::string(name) + ")"); }
void onText(XmlParser *p, const char *text, void *u) { static_cast<Trace *>(u)->hit(p, "C(" + std::string(text) + ")"); }

struct Outcome {
    std::vector<std::string> events;
    int32_t result;
    std::string errors;
};

Outcome parseMemory(const std::string &input, const std::string &stopAt = "", int32_t stopState = 0)
{
    Trace t;
    t.stopAt = stopAt;
    t.stopState = stopState;
    testing::internal::CaptureStderr();
    int32_t rc = xmlParseMemory(input.data(), input.size(), &t, onStartDocument, onStart, onEnd, onText,
                                onEndDocument);
    return {t.events, rc, testing::internal::GetCapturedStderr()};
}

Outcome parseFile(const std::string &input, const std::string &stopAt = "", int32_t stopState = 0)
{
    Trace t;
    t.stopAt = stopAt;
    t.stopState = stopState;
    FILE *f = tmpfile();
    EXPECT_NE(f, nullptr);
    if (!f)
        return {{}, 99, ""};
    fwrite(input.data(), 1, input.size(), f);
    rewind(f);
    testing::internal::CaptureStderr();
    int32_t rc = xmlParseFile(f, &t, onStartDocument, onStart, onEnd, onText, onEndDocument);
    Outcome out{t.events, rc, testing::internal::GetCapturedStderr()};
    fclose(f);
    return out;
}

using Events = std::vector<std::string>;

struct Case {
    const char *what;
    std::string input;
    Events events;
    int32_t result;
    std::string errors;
    std::string stopAt = "";
    int32_t stopState = 0;
};

std::string repeat(char c, size_t n) { return std::string(n, c); }

TEST(XmlReader, Cases)
{
    const std::string name127 = repeat('n', 127);
    const std::string name128 = repeat('n', 128);
    const std::string text600 = repeat('t', 600);
    const Case cases[] = {
        {"empty input", "", {"SD", "ED"}, -3, ""},
        {"only blanks", " \n\t", {"SD", "ED"}, -3, ""},
        {"only the declaration", "<?xml version=\"1.0\"?>\n", {"SD", "ED"}, -3, ""},
        {"empty root", "<a/>", {"SD", "S(a|)", "E(a)", "ED"}, 0, ""},
        {"empty root with attributes", "<a x=\"1\" />", {"SD", "S(a|x=\"1\" )", "E(a)", "ED"}, 0, ""},
        {"declaration, blanks and nesting",
         "<?xml version=\"1.0\"?>\n<graph title=\"t\">\n  <axis id=\"volts\"/>\n  <c>x</c>\n</graph>\n",
         {"SD", "S(graph|title=\"t\")", "S(axis|id=\"volts\")", "E(axis)", "S(c|)", "C(x)", "E(c)", "E(graph)",
          "ED"},
         0, ""},
        {"quoted '>' and '/' stay in the attribute text", "<a x=\"1>2\" y=\"/\">t</a>",
         {"SD", "S(a|x=\"1>2\" y=\"/\")", "C(t)", "E(a)", "ED"}, 0, ""},
        {"single quotes do not protect", "<a x='1>2'>t</a>", {"SD", "S(a|x='1)", "C(2'>t)", "E(a)", "ED"}, 0, ""},
        {"unescaped title text in an attribute", "<w title=\"a < b & c\"/>",
         {"SD", "S(w|title=\"a < b & c\")", "E(w)", "ED"}, 0, ""},
        {"a decoded character is not decoded again", "<a>x &amp;lt; y</a>", {"SD", "S(a|)", "C(x &lt; y)", "E(a)", "ED"},
         0, ""},
        {"the five references", "<a>&quot;&amp;&lt;&gt;&apos;</a>", {"SD", "S(a|)", "C(\"&<>')", "E(a)", "ED"}, 0,
         ""},
        {"other references stay as they are", "<a>&foo; &#65; & x</a>",
         {"SD", "S(a|)", "C(&foo; &#65; & x)", "E(a)", "ED"}, 0, ""},
        {"leading blanks after a start tag without attributes", "<a>  x </a>", {"SD", "S(a|)", "C(x )", "E(a)", "ED"},
         0, ""},
        {"leading blanks after a start tag with attributes", "<a k=\"v\">  x</a>",
         {"SD", "S(a|k=\"v\")", "C(  x)", "E(a)", "ED"}, 0, ""},
        {"leading blanks after an end tag, control characters as spaces", "<a><b/>\n\tx\ry</a>",
         {"SD", "S(a|)", "S(b|)", "E(b)", "C(  x y)", "E(a)", "ED"}, 0, ""},
        {"blank text is never delivered", "<a>\n  <b>\n  </b>\n</a>",
         {"SD", "S(a|)", "S(b|)", "E(b)", "E(a)", "ED"}, 0, ""},
        {"long text in pieces of 511", "<a>" + text600 + "</a>",
         {"SD", "S(a|)", "C(" + repeat('t', 511) + ")", "C(" + repeat('t', 89) + ")", "E(a)", "ED"}, 0, ""},
        {"a tab after the name is part of it", "<a\tb>t</a\tb>", {"SD", "S(a\tb|)", "C(t)", "E(a\tb)", "ED"}, 0, ""},
        {"whatever follows the root is not read", "<a/>junk<<", {"SD", "S(a|)", "E(a)", "ED"}, 0, ""},
        {"127-character names", "<" + name127 + ">x</" + name127 + ">",
         {"SD", "S(" + name127 + "|)", "C(x)", "E(" + name127 + ")", "ED"}, 0, ""},
        {"longer names are refused", "<" + name128 + ">x</" + name128 + ">\n", {"SD", "ED"}, -1,
         "Parse error found line 1 near <<n" + name128 + ">x\n"},
        {"longer empty-element names are refused too", "<r><" + name128 + "/>\n</r>", {"SD", "S(r|)"}, -1,
         "Parse error found line 2 near \nunbalanced tag: r\n"},
        {"mismatched end tag, then a newline", "<a><b></a>\n", {"SD", "S(a|)", "S(b|)"}, -1,
         "Parse error found line 2 near \nunbalanced tag: b\n"},
        {"mismatched end tag at the end of the input", "<a><b></a>", {"SD", "S(a|)", "S(b|)"}, -3,
         "unbalanced tag: b\n"},
        {"input ends inside the root", "<a>", {"SD", "S(a|)"}, -3, "unbalanced tag: a\n"},
        {"error on the line where it stands", "<a>\n<b>\n</c></a>\n", {"SD", "S(a|)", "S(b|)"}, -1,
         "Parse error found line 3 near <<//c><\nunbalanced tag: b\n"},
        {"blank before '>' of an end tag", "<a></a >x", {"SD", "S(a|)"}, -1,
         "Parse error found line 1 near <<aa><<//a >x\nunbalanced tag: a\n"},
        {"comment in content", "<a><!-- c --></a>x", {"SD", "S(a|)", "S(!--|c --)"}, -1,
         "Parse error found line 1 near <<aa><<!!-- cc --><//a>x\nunbalanced tag: !--\n"},
        {"text before the root", "x<a/>", {"SD", "ED"}, -1, "Parse error found line 1 near xx<\n"},
        {"root name must start with a letter or digit", "<_a/>", {"SD", "ED"}, -1,
         "Parse error found line 1 near <<__a\n"},
        {"empty element name", "<?x?><>y", {"SD", "ED"}, -1, "Parse error found line 1 near <<??x?><<>>y\n"},
        {"empty-element tag without a name", "<?x?></>", {"SD", "ED"}, -1,
         "Parse error found line 1 near <<??x?><<//>\n"},
        {"garbage after the declaration", "<?x?>y", {"SD", "ED"}, -3, ""},
        {"a callback stops the parse", "<a><stop/>rest</a>", {"SD", "S(a|)", "S(stop|)", "E(stop)", "ED"}, -2,
         "Callback code found line 1 near <<aa><<sstop/>>r\n", "E(stop)", kXmlStateStop},
        {"a callback makes a parse error", "<a><b>x</b></a>", {"SD", "S(a|)", "S(b|)", "C(x)"}, -1,
         "Parse error found line 1 near <<aa><<bb>xx<//\nunbalanced tag: b\n", "C(x)", kXmlStateError},
        {"a callback ends the parse quietly", "<a><b>x</b></a>", {"SD", "S(a|)", "S(b|)"}, -3,
         "unbalanced tag: b\n", "S(b|)", kXmlStateDone},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        Outcome m = parseMemory(k.input, k.stopAt, k.stopState);
        EXPECT_EQ(m.events, k.events);
        EXPECT_EQ(m.result, k.result);
        EXPECT_EQ(m.errors, k.errors);
        Outcome f = parseFile(k.input, k.stopAt, k.stopState);
        EXPECT_EQ(f.events, m.events);
        EXPECT_EQ(f.result, m.result);
        EXPECT_EQ(f.errors, m.errors);
    }
}

TEST(XmlReader, LineTextIsARingOf511Characters)
{
    // A parse error after a line of 600 characters shows what the ring holds.
    std::string input = "<a x=\"" + repeat('v', 600) + "\">";
    Outcome m = parseMemory(input);
    EXPECT_EQ(m.result, -1);
    // The attribute text passed 511 characters: the error acts on the next one.
    ASSERT_EQ(m.errors.rfind("Parse error found line 1 near ", 0), 0u);
    std::string near = m.errors.substr(30, m.errors.find('\n') - 30);
    EXPECT_LE(near.size(), 511u);
    EXPECT_EQ(m.events, (Events{"SD", "ED"}));
}

TEST(XmlReader, DecodeText)
{
    struct {
        const char *in;
        const char *out;
        int32_t nonBlank;
    } cases[] = {
        {"", "", 0},          {" \t ", " \t ", 0},     {"a&amp;b", "a&b", 1},   {"&amp;amp;", "&amp;", 1},
        {"&lt", "&lt", 1},    {"&quot;&apos;", "\"'", 1}, {"x&gt;", "x>", 1},  {"&;", "&;", 1},
    };
    for (auto &k : cases) {
        char buffer[64];
        snprintf(buffer, sizeof buffer, "%s", k.in);
        EXPECT_EQ(xmlDecodeText(buffer), k.nonBlank) << k.in;
        EXPECT_STREQ(buffer, k.out);
    }
}

TEST(XmlReader, NoFileReadsAsEmpty)
{
    Trace t;
    testing::internal::CaptureStderr();
    EXPECT_EQ(xmlParseFile(nullptr, &t, onStartDocument, onStart, onEnd, onText, onEndDocument), -3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(t.events, (Events{"SD", "ED"}));
    EXPECT_EQ(xmlParseMemory("<a/>", 4, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

// ---- agreement with expat ----------------------------------------------------

// Events in one form for both readers: start tags with their attributes as
// name=value pairs, character data between two tags joined and dropped when
// blank.
struct Normalised {
    Events events;
    std::string pending;
    void flush()
    {
        if (pending.find_first_not_of(" \t\r\n") != std::string::npos)
            events.push_back("C(" + pending + ")");
        pending.clear();
    }
};

// Splits our raw attribute text (name="value" pairs separated by blanks).
std::string pairsOf(const std::string &raw)
{
    std::string out;
    size_t i = 0;
    while (i < raw.size()) {
        while (i < raw.size() && raw[i] == ' ')
            ++i;
        if (i >= raw.size())
            break;
        size_t eq = raw.find('=', i);
        size_t open = raw.find('"', eq);
        size_t close = raw.find('"', open + 1);
        if (eq == std::string::npos || open == std::string::npos || close == std::string::npos)
            return out + "<bad attributes>";
        out += raw.substr(i, eq - i) + "=" + raw.substr(open + 1, close - open - 1) + ";";
        i = close + 1;
    }
    return out;
}

Events ours(const std::string &doc, int32_t *result)
{
    Normalised n;
    XmlStartElementFn start = [](XmlParser *, const char *name, const char *attributes, void *u) {
        auto *s = static_cast<Normalised *>(u);
        s->flush();
        s->events.push_back("S(" + std::string(name) + "|" + pairsOf(attributes) + ")");
    };
    XmlEndElementFn end = [](XmlParser *, const char *name, void *u) {
        auto *s = static_cast<Normalised *>(u);
        s->flush();
        s->events.push_back("E(" + std::string(name) + ")");
    };
    XmlCharactersFn text = [](XmlParser *, const char *t, void *u) { static_cast<Normalised *>(u)->pending += t; };
    *result = xmlParseMemory(doc.data(), doc.size(), &n, nullptr, start, end, text, nullptr);
    return n.events;
}

Events expats(const std::string &doc, bool *wellFormed)
{
    Normalised n;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &n);
    XML_SetElementHandler(
        parser,
        [](void *u, const XML_Char *name, const XML_Char **attributes) {
            auto *s = static_cast<Normalised *>(u);
            s->flush();
            std::string pairs;
            for (int i = 0; attributes[i]; i += 2)
                pairs += std::string(attributes[i]) + "=" + attributes[i + 1] + ";";
            s->events.push_back("S(" + std::string(name) + "|" + pairs + ")");
        },
        [](void *u, const XML_Char *name) {
            auto *s = static_cast<Normalised *>(u);
            s->flush();
            s->events.push_back("E(" + std::string(name) + ")");
        });
    XML_SetCharacterDataHandler(parser, [](void *u, const XML_Char *t, int len) {
        static_cast<Normalised *>(u)->pending.append(t, static_cast<size_t>(len));
    });
    *wellFormed = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return n.events;
}

// Random documents of the subset the engine writes: an optional declaration,
// nested elements with double-quoted attributes (any character but '"', '<'
// and '&', so that no reference needs decoding in an attribute), empty-element
// tags, indentation between tags, and text that starts with a non-blank
// character and uses the five references.
class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::string document()
    {
        std::string d;
        if (pick(2))
            d += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + blanks();
        element(d, 0);
        if (pick(2))
            d += "\n";
        return d;
    }

private:
    std::mt19937 rng_;

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    std::string from(const std::string &alphabet, int minLen, int maxLen)
    {
        std::string s;
        int n = minLen + pick(maxLen - minLen + 1);
        for (int i = 0; i < n; ++i)
            s += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
        return s;
    }

    std::string blanks()
    {
        static const char *kinds[] = {"", "\n", "\n  ", " ", "\n\t\t", "\r\n"};
        return kinds[pick(6)];
    }

    std::string name()
    {
        static const std::string first = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        static const std::string rest = first + "0123456789_.-";
        return from(first, 1, 1) + from(rest, 0, 10);
    }

    std::string text()
    {
        static const std::string first = "abcXYZ0189.,;:!?(){}+*=/%$#@'\">";
        static const std::string rest = first + "   ";
        static const char *refs[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "\xc2\xb5", "\xc3\xa9"};
        std::string s = from(first, 1, 1);
        int parts = pick(6);
        for (int i = 0; i < parts; ++i)
            s += pick(3) ? from(rest, 1, 12) : refs[pick(7)];
        return s;
    }

    void element(std::string &d, int depth)
    {
        std::string n = name();
        d += "<" + n;
        int attributes = pick(4);
        std::vector<std::string> used;
        for (int i = 0; i < attributes; ++i) {
            std::string a = name();
            bool dup = false;
            for (auto &u : used)
                dup = dup || u == a;
            if (dup)
                continue;
            used.push_back(a);
            static const std::string value = "abc XYZ 0123 ./:;-_()>'?!=";
            d += " " + a + "=\"" + from(value, 0, 16) + "\"";
        }
        if (depth > 4 || pick(4) == 0) {
            d += pick(2) ? "/>" : " />";
            return;
        }
        d += ">";
        int children = pick(4);
        // Blanks stand only between tags: text never starts or ends with a
        // control character.
        bool afterText = pick(2);
        if (afterText)
            d += text();
        for (int i = 0; i < children; ++i) {
            if (!afterText)
                d += blanks();
            element(d, depth + 1);
            afterText = pick(2);
            d += afterText ? text() : blanks();
        }
        d += "</" + n + ">";
    }
};

TEST(XmlReader, AgreesWithExpatOnWellFormedDocuments)
{
    std::vector<std::string> documents = {
        "<a/>",
        "<?xml version=\"1.0\"?>\n<graph name=\"g\" bg=\"ffffff\">\n  <axis id=\"volts\" span=\"10\">\n"
        "    <channel name=\"dev1-ch2\" enable=\"1\"/>\n  </axis>\n  <title>Volts &amp; amps</title>\n</graph>\n",
        "<formulae><formula>y = 2 * &lt;dev1-ch2&gt; + 1</formula></formulae>",
    };
    Generator g(20261210);
    for (int i = 0; i < 400; ++i)
        documents.push_back(g.document());
    size_t events = 0, withAttributes = 0, withText = 0;
    for (const std::string &doc : documents) {
        SCOPED_TRACE(doc);
        bool wellFormed = false;
        Events theirs = expats(doc, &wellFormed);
        ASSERT_TRUE(wellFormed);
        int32_t result = 99;
        Events mine = ours(doc, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(mine, theirs);
        events += theirs.size();
        for (const auto &e : theirs) {
            withAttributes += e[0] == 'S' && e.find('=') != std::string::npos;
            withText += e[0] == 'C';
        }
    }
    // The documents exercise what they are meant to.
    EXPECT_GT(events, 4000u);
    EXPECT_GT(withAttributes, 500u);
    EXPECT_GT(withText, 500u);
}

} // namespace
