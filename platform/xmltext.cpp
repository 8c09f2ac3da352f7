#include "tq/platform/xmltext.h"

#include <cstring>

namespace tq::platform
{

namespace
{

// The entity of a character, or null when it stands as it is.
const char *entityOf(char c, size_t &length)
{
    switch (c) {
    case '&':
        length = 5;
        return "&amp;";
    case '<':
        length = 4;
        return "&lt;";
    case '>':
        length = 4;
        return "&gt;";
    default:
        length = 1;
        return nullptr;
    }
}

} // namespace

size_t xmlEscapedLength(std::string_view text)
{
    size_t n = 0;
    for (char c : text) {
        size_t length;
        entityOf(c, length);
        n += length;
    }
    return n;
}

bool escapeXml(char *text, size_t size)
{
    if (!text)
        return false;
    const size_t len = strnlen(text, size);
    if (len == size)
        return false; // not terminated within its buffer
    const size_t grown = xmlEscapedLength(std::string_view(text, len));
    if (grown >= size)
        return false;
    // From the end, so that no character is overwritten before it is read.
    text[grown] = '\0';
    for (size_t i = len, j = grown; i-- > 0;) {
        size_t length;
        if (const char *entity = entityOf(text[i], length)) {
            j -= length;
            memcpy(text + j, entity, length);
        } else {
            text[--j] = text[i];
        }
    }
    return true;
}

bool escapeXmlInto(char *out, size_t size, const char *text)
{
    if (!out || size == 0)
        return false;
    size_t n = 0;
    for (const char *p = text ? text : ""; *p; ++p) {
        size_t length;
        const char *entity = entityOf(*p, length);
        if (n + length >= size) {
            out[n] = '\0';
            return false;
        }
        if (entity)
            memcpy(out + n, entity, length);
        else
            out[n] = *p;
        n += length;
    }
    out[n] = '\0';
    return true;
}

void appendEscapedXml(std::string &out, std::string_view text)
{
    size_t plain = 0; // start of the run of characters copied as they are
    for (size_t i = 0; i < text.size(); ++i) {
        size_t length;
        if (const char *entity = entityOf(text[i], length)) {
            out.append(text.data() + plain, i - plain);
            out.append(entity, length);
            plain = i + 1;
        }
    }
    out.append(text.data() + plain, text.size() - plain);
}

void unescapeXml(char *text)
{
    if (!text)
        return;
    static const struct {
        const char *entity;
        size_t length;
        char c;
    } kEntities[] = {{"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}};
    const char *r = text;
    char *w = text;
    while (*r) {
        if (*r == '&') {
            bool replaced = false;
            for (const auto &e : kEntities)
                if (strncmp(r, e.entity, e.length) == 0) {
                    *w++ = e.c;
                    r += e.length;
                    replaced = true;
                    break;
                }
            if (replaced)
                continue;
        }
        *w++ = *r++;
    }
    *w = '\0';
}

} // namespace tq::platform
