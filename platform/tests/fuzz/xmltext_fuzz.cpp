// Escaping any text and unescaping it gives the text back; the three ways of
// escaping agree; unescaping never lengthens a text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tq/platform/xmltext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Texts are C strings: cut at the first NUL.
    const std::string text(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));

    std::string appended;
    tq::platform::appendEscapedXml(appended, text);
    if (appended.size() != tq::platform::xmlEscapedLength(text))
        abort();

    std::vector<char> inPlace(appended.size() + 1);
    memcpy(inPlace.data(), text.c_str(), text.size() + 1);
    if (!tq::platform::escapeXml(inPlace.data(), inPlace.size()) || appended != inPlace.data())
        abort();
    std::vector<char> tooSmall(appended.size());
    // An empty text leaves no room at all (and no buffer to copy into).
    if (text.size() < tooSmall.size())
        memcpy(tooSmall.data(), text.c_str(), text.size() + 1);
    if (text.size() < tooSmall.size() && tq::platform::escapeXml(tooSmall.data(), tooSmall.size()))
        abort();

    std::vector<char> into(appended.size() + 1);
    if (!tq::platform::escapeXmlInto(into.data(), into.size(), text.c_str()) || appended != into.data())
        abort();

    tq::platform::unescapeXml(inPlace.data());
    if (text != inPlace.data())
        abort();

    // Unescaping the raw input: never longer, always terminated.
    std::vector<char> raw(text.c_str(), text.c_str() + text.size() + 1);
    tq::platform::unescapeXml(raw.data());
    if (strlen(raw.data()) > text.size())
        abort();
    return 0;
}
