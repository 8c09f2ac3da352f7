// panelmate: runs the front panel's Java classes in a Java VM with their
// native methods (see launch.h).
#include <cstdio>

#include "cmdline.h"
#include "launch.h"
#include "tq/platform/dynlib.h"

namespace
{

// Runtimes tried when neither the application home, the registry nor
// JAVA_HOME names one. The tests build a copy without them.
#ifdef TQ_PANELMATE_NO_FALLBACKS
const std::vector<std::string> kFallbacks;
#else
const std::vector<std::string> kFallbacks{"/usr/lib/jvm/default-java", "/usr/lib/jvm/java-17-openjdk-amd64"};
#endif

// An address inside the program, for the program's own path.
void programMarker() {}

} // namespace

int main(int argc, char **argv)
{
    using namespace tq::panelmate;
    Arguments args = splitCommandLine(joinCommandLine(argc, argv));
    if (!args.refusal.empty()) {
        std::fprintf(stderr, "panelmate: %s\n%s", args.refusal.c_str(), usageText());
        return kExitCommandLine;
    }
    LaunchSettings settings;
    settings.programPath = tq::platform::moduleFileNameOf(reinterpret_cast<const void *>(&programMarker));
    settings.fallbacks = kFallbacks;
    settings.arguments = std::move(args.entries);
    return launch(settings);
}
