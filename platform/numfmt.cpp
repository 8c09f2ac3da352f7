#include "tq/platform/numfmt.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <vector>

namespace tq::platform {

namespace {

locale_t cLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

// Switches the calling thread to the C locale for the lifetime of the object.
class CLocaleScope {
public:
    CLocaleScope() : old_(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(old_); }

private:
    locale_t old_;
};

} // namespace

int vcformat(char *buffer, size_t size, const char *format, va_list args)
{
    CLocaleScope scope;
    return std::vsnprintf(buffer, size, format, args);
}

int cformat(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vcformat(buffer, size, format, args);
    va_end(args);
    return n;
}

std::string cformatString(const char *format, ...)
{
    char small[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = vcformat(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(copy);
        return out;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        vcformat(big.data(), big.size(), format, copy);
        out.assign(big.data(), static_cast<size_t>(n));
    }
    va_end(copy);
    return out;
}

int vcscan(const char *text, const char *format, va_list args)
{
    CLocaleScope scope;
    return std::vsscanf(text, format, args);
}

int cscan(const char *text, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vcscan(text, format, args);
    va_end(args);
    return n;
}

double cstrtod(const char *text, char **end)
{
    return strtod_l(text, end, cLocale());
}

} // namespace tq::platform
