// The command language's parser and keyword table, alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tq/frontpanel/uievent.h"

using namespace tq::frontpanel;

namespace
{

struct WordCase {
    const char *word;
    int professional;
    int basic;
};

TEST(UiEventWords, EachKeywordHasTheClassOfItsInstrument)
{
    const WordCase cases[] = {
        {"navigator", 1, 1},
        {"instrument", 2, 2},
        {"operation", 3, 3},
        {"reset", 4, 4},
        {"start", 5, 5},
        {"stop", 6, 6},
        {"calibrate", 7, 7},
        {"powerupsave", 8, 8},
        {"config", 9, 9},
        {"window", 10, 10},
        {"close", 11, 11},
        {"assign", 13, 12},
        {"rename", 14, 12},
        {"create", 15, 12},
        {"option", 16, 12},
        {"delete", 17, 12},
        {"pnpload", 18, 12},
        {"pnpunload", 19, 12},
        {"link", 20, 12},
        {"unlink", 21, 12},
        {"probe", 22, 12},
        {"request", 23, 12},
        {"completion", 24, 12},
        {"failed", 25, 12},
        {"DaDisp", 26, 12},
        {"pUnk", 27, 12},
        {"verifyAllThermocoupleChannels", 28, 13},
        // Exact, whole-word, case-sensitive comparison.
        {"Navigator", 12, 12},
        {"START", 12, 12},
        {"star", 12, 12},
        {"starts", 12, 12},
        {" start", 12, 12},
        {"dadisp", 12, 12},
        {"", 12, 12},
    };
    for (const WordCase &c : cases) {
        EXPECT_EQ(classifyWord(c.word, Vocabulary::Professional), c.professional) << c.word;
        EXPECT_EQ(classifyWord(c.word, Vocabulary::Basic), c.basic) << c.word;
    }
    EXPECT_EQ(classifyWord(nullptr, Vocabulary::Basic), kUnrecognised);
}

struct MessageCase {
    std::string argument;
    Vocabulary who;
    size_t count;                   // words in the message
    std::vector<std::string> words; // the words read
    std::vector<int> classes;
};

TEST(UiEventParse, SplitsAtEverySemicolonAndReadsUpToTheInstrumentsWordCount)
{
    const auto P = Vocabulary::Professional;
    const auto B = Vocabulary::Basic;
    const MessageCase cases[] = {
        {"navigator;operation;start", B, 3, {"navigator", "operation", "start"}, {1, 3, 5}},
        {"navigator;operation;start;A", B, 4, {"navigator", "operation", "start", "A"}, {1, 3, 5, 12}},
        {"window;close", P, 2, {"window", "close"}, {10, 11}},
        {"navigator", B, 1, {"navigator"}, {1}},
        // Empty words: between two ';', before the first, after the last.
        {"navigator;;start", B, 3, {"navigator", "", "start"}, {1, 12, 5}},
        {";", B, 2, {"", ""}, {12, 12}},
        {"navigator;operation;start;", B, 4, {"navigator", "operation", "start", ""}, {1, 3, 5, 12}},
        // The basic instrument reads four words; the count is the message's.
        {"navigator;operation;start;A;B;C", B, 6, {"navigator", "operation", "start", "A"}, {1, 3, 5, 12}},
        {"a;b;c;d;e;f;g;h;i;j;k",
         P,
         11,
         {"a", "b", "c", "d", "e", "f", "g", "h", "i"},
         {12, 12, 12, 12, 12, 12, 12, 12, 12}},
        {"assign;instrument;request;V;P", P, 5, {"assign", "instrument", "request", "V", "P"}, {13, 2, 23, 12, 12}},
        {"assign;instrument;request;V;P", B, 5, {"assign", "instrument", "request", "V"}, {12, 2, 12, 12}},
        // The message ends at the first ','.
        {"navigator;operation;start,extra;words", B, 3, {"navigator", "operation", "start"}, {1, 3, 5}},
        {"link;completion;T1,", P, 3, {"link", "completion", "T1"}, {20, 24, 12}},
    };
    for (const MessageCase &c : cases) {
        UiMessage m;
        ASSERT_EQ(parseUiEvent(c.argument.c_str(), c.who, m), UiParse::Ok) << c.argument;
        EXPECT_EQ(m.count, c.count) << c.argument;
        ASSERT_EQ(m.read, c.words.size()) << c.argument;
        for (size_t i = 0; i < c.words.size(); ++i) {
            EXPECT_EQ(m.word(i + 1), c.words[i]) << c.argument << " word " << i + 1;
            EXPECT_EQ(m.wordClass(i + 1), c.classes[i]) << c.argument << " word " << i + 1;
        }
        // Words beyond those read are empty and unrecognised.
        EXPECT_STREQ(m.word(m.read + 1), "") << c.argument;
        EXPECT_EQ(m.wordClass(m.read + 1), kUnrecognised) << c.argument;
        EXPECT_STREQ(m.word(0), "") << c.argument;
    }
}

TEST(UiEventParse, RefusesAMissingOrOverlongMessage)
{
    UiMessage m;
    EXPECT_EQ(parseUiEvent(nullptr, Vocabulary::Basic, m), UiParse::Empty);
    EXPECT_EQ(parseUiEvent("", Vocabulary::Basic, m), UiParse::Empty);
    EXPECT_EQ(parseUiEvent(",navigator;config", Vocabulary::Basic, m), UiParse::Empty);
    EXPECT_EQ(m.read, 0u);

    // 255 characters before the ',' are a message; 256 are not, whatever
    // follows the ','.
    const std::string longest = "navigator;operation;start;" + std::string(255 - 26, 'r');
    ASSERT_EQ(longest.size(), kUiMessageMax);
    ASSERT_EQ(parseUiEvent((longest + ",tail").c_str(), Vocabulary::Basic, m), UiParse::Ok);
    EXPECT_EQ(std::string(m.word(4)), std::string(255 - 26, 'r'));
    EXPECT_EQ(m.wordClass(3), kStart);
    EXPECT_EQ(parseUiEvent((longest + "r").c_str(), Vocabulary::Basic, m), UiParse::TooLong);
    EXPECT_EQ(parseUiEvent((longest + "r,").c_str(), Vocabulary::Basic, m), UiParse::TooLong);
    EXPECT_EQ(parseUiEvent(std::string(4000, ';').c_str(), Vocabulary::Professional, m), UiParse::TooLong);

    // A message of nothing but separators, as long as allowed: 256 empty words.
    ASSERT_EQ(parseUiEvent(std::string(255, ';').c_str(), Vocabulary::Professional, m), UiParse::Ok);
    EXPECT_EQ(m.count, 256u);
    EXPECT_EQ(m.read, kProfessionalWords);
}

TEST(UiEventNumbers, ReadAsFarAsTheyGoAndHeldAtTheLimits)
{
    struct Case {
        const char *text;
        bool read;
        int16_t value;
    };
    const Case cases[] = {
        {"12a", true, 12},      {"3", true, 3},          {" -3", true, -3},       {"+7,1", true, 7},
        {"32767", true, 32767}, {"99999", true, 32767},  {"-99999", true, -32768}, {"abc", false, 0},
        {"", false, 0},         {"-", false, 0},         {"a12", false, 0},       {nullptr, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "null");
        int16_t value = 0;
        EXPECT_EQ(readShort(c.text, value), c.read);
        EXPECT_EQ(value, c.value);
    }
    // A number too long for any integer is held too, not wrapped.
    int16_t value = 0;
    EXPECT_TRUE(readShort("123456789012345678901234567890", value));
    EXPECT_EQ(value, 32767);
}

TEST(UiEventNumbers, WrappedNumbersKeepTheirLowSixteenBits)
{
    struct Case {
        const char *text;
        bool read;
        int16_t value;
    };
    const Case cases[] = {
        {"12a", true, 12},         {"40000", true, -25536}, {"65535", true, -1},   {"65536", true, 0},
        {"-32768", true, -32768},  {"-40000", true, 25536}, {"32767", true, 32767}, {"abc", false, 0},
        {"", false, 0},            {nullptr, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "null");
        int16_t value = 0;
        EXPECT_EQ(readShortWrapped(c.text, value), c.read);
        EXPECT_EQ(value, c.value);
    }
}

} // namespace
