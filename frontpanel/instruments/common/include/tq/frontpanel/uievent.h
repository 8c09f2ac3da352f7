// The front panel's command language: the ';'-separated words that the user
// interface sends to the selected database's own instrument through the
// operation "uiEvent", and that the resource manager uses for its
// notifications. Both virtual instruments read messages with this parser and
// classify words with the one keyword table; each instrument has its own
// class numbers for some words and reads a different number of words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tq::frontpanel
{

// Which instrument reads the message: it decides the class numbers of the
// words that only the professional instrument knows and how many words are
// read.
enum class Vocabulary { Professional, Basic };

// Classes of the words both instruments share; the professional instrument's
// own words have the classes 13 to 28 (kProfessional...), the basic
// instrument gives them kUnrecognised, except the thermocouple check (13).
enum WordClass : int {
    kNavigator = 1,
    kInstrument = 2,
    kOperation = 3,
    kReset = 4,
    kStart = 5,
    kStop = 6,
    kCalibrate = 7,
    kPowerUpSave = 8,
    kConfig = 9,
    kWindow = 10,
    kClose = 11,
    kUnrecognised = 12,
    kBasicVerifyThermocouples = 13,
    kAssign = 13,
    kRename = 14,
    kCreate = 15,
    kOption = 16,
    kDelete = 17,
    kPnpLoad = 18,
    kPnpUnload = 19,
    kLink = 20,
    kUnlink = 21,
    kProbe = 22,
    kRequest = 23,
    kCompletion = 24,
    kFailed = 25,
    kDaDisp = 26,
    kPUnk = 27,
    kVerifyThermocouples = 28,
};

// Longest message: the text before the argument's first ','.
constexpr size_t kUiMessageMax = 255;
// Words each instrument reads; further words are not looked at.
constexpr size_t kProfessionalWords = 9;
constexpr size_t kBasicWords = 4;

constexpr size_t wordsRead(Vocabulary who)
{
    return who == Vocabulary::Basic ? kBasicWords : kProfessionalWords;
}

// The class of one word: exact, case-sensitive comparison of the whole word.
int classifyWord(const char *word, Vocabulary who);

// One message split into words. The words point into text, where each ';'
// has been replaced by a terminator. Nothing is allocated: a message is read
// on the caller's stack.
struct UiMessage {
    char text[kUiMessageMax + 1];
    const char *words[kProfessionalWords];
    int classes[kProfessionalWords];
    size_t count; // the message's words: one more than its ';'s
    size_t read;  // of those, the ones read: at most wordsRead()

    // Word i (1-based). A word the message lacks, or one beyond those read,
    // is an empty, unrecognised word: forms that need more words than were
    // sent see empty arguments.
    const char *word(size_t i) const { return i >= 1 && i <= read ? words[i - 1] : ""; }
    int wordClass(size_t i) const { return i >= 1 && i <= read ? classes[i - 1] : kUnrecognised; }
};

enum class UiParse {
    Ok,
    Empty,   // no text before the first ',' (or no argument at all)
    TooLong, // more than kUiMessageMax characters before the first ','
};

// Reads the argument of the operation "uiEvent": the text up to its first
// ',' is the message. A message longer than kUiMessageMax characters is
// refused whole rather than cut, since a cut could change the resource name
// it ends with.
UiParse parseUiEvent(const char *argument, Vocabulary who, UiMessage &out);

// A 16-bit number at the start of a word or a property value, as the
// dialogs write it: leading blanks, a sign, decimal digits; reading stops at
// the first other character ("12a" reads 12), and a number beyond 16 bits is
// held at the nearest limit rather than wrapped. False, and out untouched,
// when no digit is there (null, empty, "abc").
bool readShort(const char *text, int16_t &out);

// The same reading, but a number beyond 16 bits keeps its low 16 bits, as a
// 16-bit conversion stores it ("40000" reads -25536). Vendor and model codes
// are unsigned 16-bit codes that the dialogs write in decimal: model 40000
// must name model 40000, not the largest signed number.
bool readShortWrapped(const char *text, int16_t &out);

} // namespace tq::frontpanel
