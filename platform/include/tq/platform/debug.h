// Debug output and the registry stand-in.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>

namespace tq::platform {

// Writes text to the debug output: silent unless TQ_DEBUG_LOG names a file
// (appended to) or is "-" (standard error). A capture hook installed by a
// test receives the text instead.
void debugOutput(const char *text);
// printf-style; the result is cut at 255 characters.
void debugPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void debugVPrintf(const char *format, va_list args) __attribute__((format(printf, 1, 0)));

using DebugCaptureHook = void (*)(const char *text, void *context);
// Installs (or, with null, removes) the capture hook of this library's copy of the layer.
void setDebugCaptureHook(DebugCaptureHook hook, void *context);

// Registry values come from the text file named by TQ_REGISTRY, one value a
// line: "HKEY_LOCAL_MACHINE\SOFTWARE\Velmarc\tqdaq\Spy=1". Keys and value
// names compare without regard to case; '/' and '\\' both separate.
// key is the full key path including the root ("HKEY_LOCAL_MACHINE\\SOFTWARE\\...").
std::optional<std::string> registryReadString(const std::string &key, const std::string &value);
// Reads a number (decimal or 0x hexadecimal) as a 32-bit value.
std::optional<uint32_t> registryReadDword(const std::string &key, const std::string &value);
// True when the key has at least one value in the file.
bool registryKeyExists(const std::string &key);

} // namespace tq::platform
