#include "formatted.h"

#include <bitset>
#include <cstdint>
#include <cstring>

#include "tq/platform/numfmt.h"
#include "tq/platform/text.h"

namespace tq::sim
{

namespace
{

// Widths and precisions beyond this are refused rather than allocated.
constexpr int kMaxWidth = 65535;

enum class Size { Default, Short, Long, LongLong, LongDouble };

struct Conversion {
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    bool suppress = false; // read: '*', no argument
    int width = -1;        // -1: none
    bool widthArg = false; // write: '*'
    int precision = -1;    // -1: none
    bool precisionArg = false;
    Size size = Size::Default;
    char conv = 0;
    std::bitset<256> set; // read: the characters of "%[...]"
};

bool isIntegerConv(char c)
{
    return strchr("diuoxX", c) != nullptr;
}
bool isFloatConv(char c)
{
    return strchr("fFeEgG", c) != nullptr;
}

bool readNumber(const char *&p, int &out)
{
    if (*p < '0' || *p > '9')
        return false;
    long v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > kMaxWidth)
            return false;
    }
    out = static_cast<int>(v);
    return true;
}

// Parses one conversion; p points just after the '%' and is left after the
// conversion character.
ViStatus parseConversion(const char *&p, Conversion &s, bool read)
{
    for (;; ++p) {
        if (*p == '-' && !read)
            s.minus = true;
        else if (*p == '+' && !read)
            s.plus = true;
        else if (*p == ' ' && !read)
            s.space = true;
        else if (*p == '0' && !read)
            s.zero = true;
        else if (*p == '#')
            s.hash = true;
        else if (*p == '*' && read)
            s.suppress = true;
        else
            break;
    }
    // VISA's array, binary-block and byte-order modifiers.
    if (*p == ',' || *p == '@' || *p == '!')
        return VI_ERROR_NSUP_FMT;
    if (*p == '*' && !read) {
        s.widthArg = true;
        ++p;
    } else if (*p >= '0' && *p <= '9') {
        if (!readNumber(p, s.width) || (read && s.width == 0))
            return VI_ERROR_INV_FMT;
    }
    if (*p == ',')
        return VI_ERROR_NSUP_FMT;
    if (*p == '.') {
        if (read)
            return VI_ERROR_INV_FMT;
        ++p;
        if (*p == '*') {
            s.precisionArg = true;
            ++p;
        } else if (*p >= '0' && *p <= '9') {
            if (!readNumber(p, s.precision))
                return VI_ERROR_INV_FMT;
        } else
            s.precision = 0;
    }
    if (*p == 'h') {
        s.size = Size::Short;
        ++p;
    } else if (*p == 'l') {
        ++p;
        s.size = Size::Long;
        if (*p == 'l') {
            s.size = Size::LongLong;
            ++p;
        }
    } else if (*p == 'L') {
        s.size = Size::LongDouble;
        ++p;
    }
    s.conv = *p;
    if (s.conv == '\0')
        return VI_ERROR_INV_FMT;
    ++p;
    if (s.conv == 'b' || s.conv == 'B' || s.conv == 'y' || s.conv == 'z' || s.conv == 'Z')
        return VI_ERROR_NSUP_FMT;

    if (isIntegerConv(s.conv)) {
        if (s.size == Size::LongDouble || (read && s.hash))
            return VI_ERROR_INV_FMT;
        return VI_SUCCESS;
    }
    if (isFloatConv(s.conv)) {
        if (s.size == Size::Short || s.size == Size::LongLong || (read && s.hash))
            return VI_ERROR_INV_FMT;
        return VI_SUCCESS;
    }
    if (s.size != Size::Default)
        return VI_ERROR_INV_FMT; // no wide characters
    switch (s.conv) {
    case 'c':
        return read && s.hash ? VI_ERROR_INV_FMT : VI_SUCCESS;
    case 's':
        return VI_SUCCESS;
    case 't':
    case 'T':
        return read ? VI_SUCCESS : VI_ERROR_INV_FMT;
    case 'n':
        return read && !s.hash ? VI_SUCCESS : VI_ERROR_INV_FMT;
    case '[': {
        if (!read)
            return VI_ERROR_INV_FMT;
        bool negate = false;
        if (*p == '^') {
            negate = true;
            ++p;
        }
        // A ']' first is one of the set's characters.
        bool first = true;
        for (; *p && (first || *p != ']'); ++p, first = false) {
            unsigned char from = static_cast<unsigned char>(*p);
            if (p[1] == '-' && p[2] && p[2] != ']') {
                unsigned char to = static_cast<unsigned char>(p[2]);
                if (to < from)
                    return VI_ERROR_INV_FMT;
                for (unsigned c = from; c <= to; ++c)
                    s.set.set(c);
                p += 2;
            } else
                s.set.set(from);
        }
        if (*p != ']')
            return VI_ERROR_INV_FMT;
        ++p;
        if (negate)
            s.set.flip();
        s.set.reset(0);
        return VI_SUCCESS;
    }
    }
    return VI_ERROR_INV_FMT;
}

ViStatus checkFormat(const char *format, bool read)
{
    if (!format)
        return VI_ERROR_USER_BUF;
    for (const char *p = format; *p;) {
        if (*p++ != '%')
            continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        Conversion s;
        ViStatus status = parseConversion(p, s, read);
        if (status != VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Writing

void appendFormatted(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));

void appendFormatted(std::string &out, const char *format, ...)
{
    char small[128];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = platform::vcformat(small, sizeof small, format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof small)
        out.append(small, static_cast<size_t>(n));
    else if (n > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        platform::vcformat(&out[at], static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

// The C format of one conversion, with width and precision resolved.
std::string cConversion(const Conversion &s, int width, int precision, const char *length)
{
    std::string f = "%";
    if (s.minus)
        f += '-';
    if (s.plus)
        f += '+';
    if (s.space)
        f += ' ';
    if (s.hash)
        f += '#';
    if (s.zero)
        f += '0';
    if (width >= 0)
        f += std::to_string(width);
    if (precision >= 0)
        f += '.' + std::to_string(precision);
    f += length;
    f += s.conv;
    return f;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
ViStatus writeOne(Conversion s, va_list *args, std::string &out)
{
    int width = s.width, precision = s.precision;
    if (s.widthArg) {
        width = va_arg(*args, int);
        if (width < 0) {
            s.minus = true;
            width = width == INT32_MIN ? kMaxWidth : -width;
        }
        if (width > kMaxWidth)
            return VI_ERROR_INV_FMT;
    }
    if (s.precisionArg) {
        precision = va_arg(*args, int);
        if (precision > kMaxWidth)
            return VI_ERROR_INV_FMT;
        if (precision < 0)
            precision = -1;
    }
    if (isIntegerConv(s.conv)) {
        const bool isSigned = s.conv == 'd' || s.conv == 'i';
        long long value = 0;
        switch (s.size) {
        case Size::Short: {
            int v = va_arg(*args, int);
            value = isSigned ? static_cast<long long>(static_cast<int16_t>(v))
                             : static_cast<long long>(static_cast<uint16_t>(v));
            break;
        }
        case Size::LongLong:
            value = va_arg(*args, long long);
            break;
        default: {
            int v = va_arg(*args, int);
            value = isSigned ? static_cast<long long>(v) : static_cast<long long>(static_cast<uint32_t>(v));
            break;
        }
        }
        const std::string f = cConversion(s, width, precision, "ll");
        if (isSigned)
            appendFormatted(out, f.c_str(), value);
        else
            appendFormatted(out, f.c_str(), static_cast<unsigned long long>(value));
        return VI_SUCCESS;
    }
    if (isFloatConv(s.conv)) {
        if (s.size == Size::LongDouble)
            appendFormatted(out, cConversion(s, width, precision, "L").c_str(), va_arg(*args, long double));
        else
            appendFormatted(out, cConversion(s, width, precision, "").c_str(), va_arg(*args, double));
        return VI_SUCCESS;
    }
    if (s.conv == 'c') {
        appendFormatted(out, cConversion(s, width, -1, "").c_str(), va_arg(*args, int));
        return VI_SUCCESS;
    }
    // 's'
    const char *text = va_arg(*args, const char *);
    if (!text)
        return VI_ERROR_USER_BUF;
    appendFormatted(out, cConversion(s, width, precision, "").c_str(), text);
    return VI_SUCCESS;
}
#pragma GCC diagnostic pop

// ---------------------------------------------------------------------------
// Reading

bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

struct Input {
    std::string_view text;
    size_t pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    char peek() const { return text[pos]; }
    void skipSpace()
    {
        while (!atEnd() && isSpace(peek()))
            ++pos;
    }
    // Characters a field of the given width may still take.
    size_t limit(int width) const
    {
        size_t left = text.size() - pos;
        return width > 0 && static_cast<size_t>(width) < left ? static_cast<size_t>(width) : left;
    }
};

// Digits above 9 are hexadecimal; anything else is no digit of any base.
int digitValue(char c)
{
    const int v = tq::platform::hexDigit(c);
    return v < 0 ? 99 : v;
}

// An integer in the C library's syntax for the base (0: decimal, octal or
// hexadecimal by its prefix); false when no digit is there. The value wraps
// as the C library's does for a number too large for its type.
bool scanInteger(Input &in, int width, int base, uint64_t &value)
{
    in.skipSpace();
    const size_t end = in.pos + in.limit(width);
    size_t p = in.pos;
    bool negative = false;
    if (p < end && (in.text[p] == '+' || in.text[p] == '-')) {
        negative = in.text[p] == '-';
        ++p;
    }
    // "0x" counts as a prefix only when a hexadecimal digit follows.
    const bool prefixed = p + 2 < end && in.text[p] == '0' && (in.text[p + 1] == 'x' || in.text[p + 1] == 'X') &&
                          digitValue(in.text[p + 2]) < 16;
    if ((base == 16 || base == 0) && prefixed) {
        base = 16;
        p += 2;
    } else if (base == 0)
        base = p < end && in.text[p] == '0' ? 8 : 10;
    uint64_t v = 0;
    size_t digits = 0;
    for (; p < end && digitValue(in.text[p]) < base; ++p, ++digits)
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digitValue(in.text[p]));
    if (digits == 0)
        return false;
    in.pos = p;
    value = negative ? 0 - v : v;
    return true;
}

bool scanFloat(Input &in, int width, double &value)
{
    in.skipSpace();
    const size_t end = in.pos + in.limit(width);
    size_t p = in.pos;
    auto digitsAt = [&](size_t &q) {
        size_t n = 0;
        while (q < end && in.text[q] >= '0' && in.text[q] <= '9')
            ++q, ++n;
        return n;
    };
    if (p < end && (in.text[p] == '+' || in.text[p] == '-'))
        ++p;
    size_t mantissa = digitsAt(p);
    if (p < end && in.text[p] == '.') {
        ++p;
        mantissa += digitsAt(p);
    }
    if (mantissa == 0)
        return false;
    if (p < end && (in.text[p] == 'e' || in.text[p] == 'E')) {
        size_t q = p + 1;
        if (q < end && (in.text[q] == '+' || in.text[q] == '-'))
            ++q;
        if (digitsAt(q) > 0)
            p = q;
    }
    const std::string number(in.text.substr(in.pos, p - in.pos));
    value = platform::cstrtod(number.c_str(), nullptr);
    in.pos = p;
    return true;
}

template <typename T> void store(va_list *args, T value)
{
    *va_arg(*args, T *) = value;
}

void storeInteger(va_list *args, Size size, uint64_t value)
{
    switch (size) {
    case Size::Short:
        store<ViUInt16>(args, static_cast<ViUInt16>(value));
        break;
    case Size::LongLong:
        store<ViUInt64>(args, value);
        break;
    default:
        store<ViUInt32>(args, static_cast<ViUInt32>(value));
        break;
    }
}

// Copies a field into the caller's buffer: at most width characters and a
// NUL, or with '#' at most the size the caller gave less one, and the count
// stored written back.
void storeText(va_list *args, const Conversion &s, std::string_view field, bool terminate)
{
    ViUInt32 *count = s.hash ? va_arg(*args, ViUInt32 *) : nullptr;
    char *buffer = va_arg(*args, char *);
    size_t n = field.size();
    if (count) {
        const size_t room = *count;
        if (room == 0) {
            *count = 0;
            return;
        }
        n = n < room - 1 ? n : room - 1;
        *count = static_cast<ViUInt32>(n);
        terminate = true;
    }
    if (!buffer)
        return;
    memcpy(buffer, field.data(), n);
    if (terminate)
        buffer[n] = '\0';
}

} // namespace

ViStatus checkWriteFormat(const char *format)
{
    return checkFormat(format, false);
}
ViStatus checkReadFormat(const char *format)
{
    return checkFormat(format, true);
}

ViStatus formatWrite(const char *format, va_list *args, std::string &out)
{
    ViStatus status = checkWriteFormat(format);
    if (status != VI_SUCCESS)
        return status;
    for (const char *p = format; *p;) {
        const char *plain = strchr(p, '%');
        if (!plain) {
            out.append(p);
            break;
        }
        out.append(p, static_cast<size_t>(plain - p));
        p = plain + 1;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        Conversion s;
        parseConversion(p, s, false);
        status = writeOne(s, args, out);
        if (status != VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

ViStatus scanRead(const char *format, va_list *args, std::string_view message)
{
    ViStatus status = checkReadFormat(format);
    if (status != VI_SUCCESS)
        return status;
    Input in{message};
    for (const char *p = format; *p;) {
        if (isSpace(*p)) {
            while (isSpace(*p))
                ++p;
            in.skipSpace();
            continue;
        }
        if (*p != '%' || p[1] == '%') {
            const char literal = *p;
            p += literal == '%' ? 2 : 1;
            if (in.atEnd() || in.peek() != literal)
                return VI_SUCCESS; // the message does not match from here on
            ++in.pos;
            continue;
        }
        ++p;
        Conversion s;
        parseConversion(p, s, true);
        if (isIntegerConv(s.conv)) {
            const int base = s.conv == 'd' || s.conv == 'u' ? 10 : s.conv == 'i' ? 0 : s.conv == 'o' ? 8 : 16;
            uint64_t v = 0;
            if (!scanInteger(in, s.width, base, v))
                return VI_SUCCESS;
            if (!s.suppress)
                storeInteger(args, s.size, v);
        } else if (isFloatConv(s.conv)) {
            double v = 0;
            if (!scanFloat(in, s.width, v))
                return VI_SUCCESS;
            if (!s.suppress) {
                if (s.size == Size::Long)
                    store<double>(args, v);
                else if (s.size == Size::LongDouble)
                    store<long double>(args, v);
                else
                    store<float>(args, static_cast<float>(v));
            }
        } else if (s.conv == 'n') {
            if (!s.suppress)
                storeInteger(args, s.size, in.pos);
        } else if (s.conv == 'c') {
            const size_t n = s.width > 0 ? static_cast<size_t>(s.width) : 1;
            if (in.text.size() - in.pos < n)
                return VI_SUCCESS;
            if (!s.suppress)
                memcpy(va_arg(*args, char *), in.text.data() + in.pos, n);
            in.pos += n;
        } else {
            // Strings: 's' skips white space first and stops at the next;
            // '[' takes its set; 't' the rest; 'T' up to a line feed.
            if (s.conv == 's')
                in.skipSpace();
            // With '#' the buffer's size bounds what is stored, not what is read.
            const size_t limit = in.limit(s.hash ? -1 : s.width);
            size_t n = 0;
            const std::string_view rest = in.text.substr(in.pos, limit);
            if (s.conv == 's')
                while (n < rest.size() && !isSpace(rest[n]))
                    ++n;
            else if (s.conv == '[')
                while (n < rest.size() && s.set.test(static_cast<unsigned char>(rest[n])))
                    ++n;
            else if (s.conv == 'T') {
                size_t lf = rest.find('\n');
                n = lf == std::string_view::npos ? rest.size() : lf + 1;
            } else
                n = rest.size();
            if (n == 0 && (s.conv == 's' || s.conv == '['))
                return VI_SUCCESS;
            if (!s.suppress)
                storeText(args, s, rest.substr(0, n), true);
            in.pos += n;
        }
    }
    return VI_SUCCESS;
}

} // namespace tq::sim
