// Environment, paths and directory search.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tq::platform {

// Looks a variable up the way Windows does, regardless of case: the exact
// name, then its upper-case and lower-case forms.
std::optional<std::string> getEnv(const std::string &name);

// Paths: '/' is the separator; code that splits paths accepts '\\' too.
bool isSeparator(char c);
// Replaces every '\\' with '/'.
std::string nativePath(std::string path);
// Joins with exactly one '/' between the parts.
std::string joinPath(const std::string &dir, const std::string &name);
// Everything before the last separator ("" when there is none; "/" for a file in the root).
std::string directoryOf(const std::string &path);
// The part after the last separator.
std::string fileNameOf(const std::string &path);
bool fileExists(const std::string &path);
bool isDirectory(const std::string &path);
// Creates the directory and any missing parents; true when it exists afterwards.
bool makeDirectories(const std::string &path);

// File names (not paths) in dir matching a wildcard pattern ('*', '?'),
// without regard to case, sorted. Patterns naming libraries get the ".dll"
// mapping: "tq*_32.dll" finds "libtq*_32.so".
std::vector<std::string> findFiles(const std::string &dir, const std::string &pattern);

} // namespace tq::platform
