// XML text escaping: the three characters and nothing else, in place within
// the buffer's room, and an unescape that undoes exactly one level.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tq/platform/xmltext.h"

using namespace tq::platform;

namespace
{

struct EscapeCase {
    const char *text;
    const char *escaped;
};

const EscapeCase kEscapeCases[] = {
    {"", ""},
    {"plain text", "plain text"},
    {"a<b & c>d", "a&lt;b &amp; c&gt;d"},
    {"&lt;", "&amp;lt;"},
    {"&&<<>>", "&amp;&amp;&lt;&lt;&gt;&gt;"},
    {"\"quotes' stay\"", "\"quotes' stay\""},
    {"<Bridge1-AnalogChannel1>", "&lt;Bridge1-AnalogChannel1&gt;"},
};

TEST(XmlText, EscapesInPlaceOutOfPlaceAndAppended)
{
    for (const EscapeCase &c : kEscapeCases) {
        char buffer[64];
        strcpy(buffer, c.text);
        EXPECT_TRUE(escapeXml(buffer, sizeof buffer)) << c.text;
        EXPECT_STREQ(buffer, c.escaped);
        EXPECT_EQ(xmlEscapedLength(c.text), strlen(c.escaped)) << c.text;

        char out[64];
        EXPECT_TRUE(escapeXmlInto(out, sizeof out, c.text));
        EXPECT_STREQ(out, c.escaped);

        std::string appended = "x";
        appendEscapedXml(appended, c.text);
        EXPECT_EQ(appended, std::string("x") + c.escaped);

        // Unescaping gives the text back, exactly one level.
        unescapeXml(buffer);
        EXPECT_STREQ(buffer, c.text);
    }
}

TEST(XmlText, UnescapeReplacesOnlyItsThreeEntities)
{
    const struct {
        const char *text, *unescaped;
    } cases[] = {
        {"&lt;p&gt;x&lt;/p&gt;", "<p>x</p>"},
        {"&amp;lt;", "&lt;"}, // the escaped entity text gives the entity text, not the sign
        {"&amp;amp;", "&amp;"},
        {"&quot;&apos;&#60;", "&quot;&apos;&#60;"},
        {"a & b &", "a & b &"},
        {"&l&lt", "&l&lt"},
        {"&&lt;", "&<"},
    };
    for (const auto &c : cases) {
        char buffer[64];
        strcpy(buffer, c.text);
        unescapeXml(buffer);
        EXPECT_STREQ(buffer, c.unescaped) << c.text;
    }
}

TEST(XmlText, RefusesWhatDoesNotFit)
{
    // "a&b" needs 7 bytes escaped ("a&amp;b" and a terminator).
    for (size_t size : {4u, 6u, 7u}) {
        char buffer[16] = "a&b";
        EXPECT_EQ(escapeXml(buffer, size), size >= 8) << size;
        EXPECT_STREQ(buffer, "a&b") << "left alone when refused";
    }
    char room[8] = "a&b";
    EXPECT_TRUE(escapeXml(room, sizeof room));
    EXPECT_STREQ(room, "a&amp;b");

    // A text that is not terminated within its buffer is not touched.
    char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_FALSE(escapeXml(unterminated, sizeof unterminated));

    // Out of place: cut before the first entity that does not fit whole.
    char out[6];
    EXPECT_FALSE(escapeXmlInto(out, sizeof out, "ab<cd"));
    EXPECT_STREQ(out, "ab");
    EXPECT_FALSE(escapeXmlInto(out, sizeof out, "abcdefg"));
    EXPECT_STREQ(out, "abcde");
    EXPECT_TRUE(escapeXmlInto(out, sizeof out, nullptr));
    EXPECT_STREQ(out, "");
}

} // namespace
