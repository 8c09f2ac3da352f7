// Number formatting and parsing in the "C" locale, whatever locale the
// process has (a Java VM in the host program may change it).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace tq::platform {

// snprintf in the C locale; returns what vsnprintf returns.
int cformat(char *buffer, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
int vcformat(char *buffer, size_t size, const char *format, va_list args);
std::string cformatString(const char *format, ...) __attribute__((format(printf, 1, 2)));

// sscanf in the C locale; returns what vsscanf returns.
int cscan(const char *text, const char *format, ...) __attribute__((format(scanf, 2, 3)));
int vcscan(const char *text, const char *format, va_list args);

// strtod in the C locale.
double cstrtod(const char *text, char **end);

} // namespace tq::platform
