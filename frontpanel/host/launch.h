// The host program's launch: runtime, VM library, the VM on a thread of its
// own, the natives and Mate.main.
#pragma once

#include <jni.h>
#include <string>
#include <vector>

namespace tq::panelmate
{

// Exit codes. The two negative ones are what the launch has always
// returned; as process statuses they read 254 and 255.
enum ExitCode : int {
    kExitDone = 0,
    kExitJavaFailed = 1,  // a class, the natives or Mate.main failed, or main threw
    kExitCommandLine = 2, // command line refused
    kExitNoRuntime = -2,  // no usable runtime or VM library
    kExitNoVm = -1,       // the VM could not be created
};

// The invocation functions of the loaded VM library, kept for the whole
// process (the natives' event bridges find the VM through them).
struct VmFunctions {
    jint (*createJavaVM)(JavaVM **, void **, void *) = nullptr;
    jint (*getDefaultJavaVMInitArgs)(void *) = nullptr;
    jint (*getCreatedJavaVMs)(JavaVM **, jsize, jsize *) = nullptr;
};
const VmFunctions &vmFunctions();

struct LaunchSettings {
    std::string programPath;            // the program file, for its application home
    std::vector<std::string> fallbacks; // runtime homes tried last
    std::vector<std::string> arguments; // "PanelMate" first
};

// Runs the whole launch and returns the exit code.
int launch(const LaunchSettings &settings);

// The usage text, with the exit codes.
const char *usageText();

} // namespace tq::panelmate
