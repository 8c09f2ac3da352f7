// Fuzz target: any bytes as the argument of the operation "uiEvent", read by
// both instruments' vocabularies, and its words and the whole text read as
// numbers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tq/frontpanel/uievent.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string argument(reinterpret_cast<const char *>(data), size);
    // The same bytes as a property value read as a number.
    int16_t value = 0;
    const char first = argument.c_str()[0];
    const bool mayBeNumber = first == '+' || first == '-' || (first >= '0' && first <= '9') || first == ' ' ||
                             (first >= '\t' && first <= '\r');
    if (tq::frontpanel::readShort(argument.c_str(), value) && !mayBeNumber)
        __builtin_trap();
    for (auto who : {tq::frontpanel::Vocabulary::Professional, tq::frontpanel::Vocabulary::Basic}) {
        tq::frontpanel::UiMessage m;
        if (tq::frontpanel::parseUiEvent(argument.c_str(), who, m) != tq::frontpanel::UiParse::Ok)
            continue;
        if (m.read > tq::frontpanel::wordsRead(who) || m.read > m.count || m.read == 0)
            __builtin_trap();
        size_t total = 0;
        for (size_t i = 1; i <= m.count + 1; ++i) {
            const char *w = m.word(i);
            total += strlen(w);
            if (m.wordClass(i) < 1 || m.wordClass(i) > 28)
                __builtin_trap();
            // Numbers in words (vendor and model of a new resource).
            int16_t number = 0;
            (void)tq::frontpanel::readShort(w, number);
        }
        if (total > tq::frontpanel::kUiMessageMax)
            __builtin_trap();
    }
    return 0;
}
