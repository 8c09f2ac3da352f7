// The keyword table and the message parser of the front panel's command
// language.
#include "tq/frontpanel/uievent.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace tq::frontpanel
{

namespace
{

struct Keyword {
    const char *word;
    int professional;
    int basic;
};

constexpr Keyword kKeywords[] = {
    {"navigator", kNavigator, kNavigator},
    {"instrument", kInstrument, kInstrument},
    {"operation", kOperation, kOperation},
    {"reset", kReset, kReset},
    {"start", kStart, kStart},
    {"stop", kStop, kStop},
    {"calibrate", kCalibrate, kCalibrate},
    {"powerupsave", kPowerUpSave, kPowerUpSave},
    {"config", kConfig, kConfig},
    {"window", kWindow, kWindow},
    {"close", kClose, kClose},
    {"assign", kAssign, kUnrecognised},
    {"rename", kRename, kUnrecognised},
    {"create", kCreate, kUnrecognised},
    {"option", kOption, kUnrecognised},
    {"delete", kDelete, kUnrecognised},
    {"pnpload", kPnpLoad, kUnrecognised},
    {"pnpunload", kPnpUnload, kUnrecognised},
    {"link", kLink, kUnrecognised},
    {"unlink", kUnlink, kUnrecognised},
    {"probe", kProbe, kUnrecognised},
    {"request", kRequest, kUnrecognised},
    {"completion", kCompletion, kUnrecognised},
    {"failed", kFailed, kUnrecognised},
    {"DaDisp", kDaDisp, kUnrecognised},
    {"pUnk", kPUnk, kUnrecognised},
    {"verifyAllThermocoupleChannels", kVerifyThermocouples, kBasicVerifyThermocouples},
};

} // namespace

int classifyWord(const char *word, Vocabulary who)
{
    if (!word)
        return kUnrecognised;
    // The first letter rules out nearly every keyword without a call.
    for (const Keyword &k : kKeywords)
        if (word[0] == k.word[0] && strcmp(word, k.word) == 0)
            return who == Vocabulary::Basic ? k.basic : k.professional;
    return kUnrecognised;
}

UiParse parseUiEvent(const char *argument, Vocabulary who, UiMessage &out)
{
    out.count = 0;
    out.read = 0;
    out.text[0] = '\0';
    if (!argument)
        return UiParse::Empty;
    // The message is the text before the first ','; one character more than
    // fits is enough to know that it does not.
    size_t length = 0;
    while (length <= kUiMessageMax && argument[length] != '\0' && argument[length] != ',')
        ++length;
    if (length == 0)
        return UiParse::Empty;
    if (length > kUiMessageMax)
        return UiParse::TooLong;
    memcpy(out.text, argument, length);
    out.text[length] = '\0';

    const size_t limit = wordsRead(who);
    char *word = out.text;
    for (;;) {
        char *end = strchr(word, ';');
        if (end)
            *end = '\0';
        if (out.read < limit) {
            out.words[out.read] = word;
            out.classes[out.read] = classifyWord(word, who);
            ++out.read;
        }
        ++out.count;
        if (!end)
            break;
        word = end + 1;
    }
    return UiParse::Ok;
}

namespace
{

// A decimal number at the start of text, as far as its digits go.
bool readLeadingNumber(const char *text, long &value)
{
    if (!text)
        return false;
    char *end = nullptr;
    value = strtol(text, &end, 10);
    return end != text;
}

} // namespace

bool readShort(const char *text, int16_t &out)
{
    long v = 0;
    if (!readLeadingNumber(text, v))
        return false;
    out = static_cast<int16_t>(v < SHRT_MIN ? SHRT_MIN : v > SHRT_MAX ? SHRT_MAX : v);
    return true;
}

bool readShortWrapped(const char *text, int16_t &out)
{
    long v = 0;
    if (!readLeadingNumber(text, v))
        return false;
    out = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned long>(v) & 0xFFFFu));
    return true;
}

} // namespace tq::frontpanel
