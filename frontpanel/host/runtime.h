// Where the host program finds its Java runtime, the runtime's VM library
// and panelmate.jar.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tq::panelmate
{

// The registry stand-in's key of the installed runtimes.
inline constexpr const char *kRuntimeKey = "HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment";

// The directory above the program's own directory ("" when there is none).
std::string applicationHomeOf(const std::string &programPath);

// Runtime versions the front panel runs on: whole numbers from 17 on ("17",
// "21"); the old "1.x" numbering is refused.
bool acceptedRuntimeVersion(std::string_view version);

// A directory holds a runtime when it has lib/libjava.so.
bool holdsRuntime(const std::string &home);

// The runtime home, tried in order: the application home and its jre/, the
// registry stand-in's CurrentVersion and that version's JavaHome, JAVA_HOME,
// then each fallback directory. Empty when none holds a runtime.
std::string findRuntime(const std::string &applicationHome, const std::vector<std::string> &fallbacks);

// lib/<directory>/libjvm.so for the first entry of the runtime's lib/jvm.cfg
// whose file exists; empty, with the reason in why, when there is none.
std::string findVmLibrary(const std::string &runtimeHome, std::string &why);

// panelmate.jar in the working directory, else in the application home's
// share/panelmate; the bare name when neither has it (the VM then reports
// the missing class).
std::string findJar(const std::string &applicationHome);

} // namespace tq::panelmate
