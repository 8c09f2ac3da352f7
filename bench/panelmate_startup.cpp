// Start-up of the front panel host: `panelmate version` from start to exit,
// against the JDK's own launcher running the same step
// (`java -cp panelmate.jar com.orvane.util.Mate version`) on the same JDK.
// Both start a VM, run Mate.main and end; the ratio says what the host's own
// work (runtime lookup, jvm.cfg, the VM thread, the native table) costs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr int kRepetitions = 11;

// Wall time of one run in milliseconds, output discarded; negative on failure.
double timeRun(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    const bool ok = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                    waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return ok ? std::chrono::duration<double, std::milli>(end - start).count() : -1.0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    setenv("JAVA_HOME", TQ_JAVA_HOME, 1);
    unsetenv("TQ_REGISTRY");
    unsetenv("JAVA_TOOL_OPTIONS");
    const std::vector<std::string> host{TQ_PANELMATE, "version"};
    const std::vector<std::string> java{std::string(TQ_JAVA_HOME) + "/bin/java", "-cp", TQ_PANELMATE_JAR,
                                        "com.orvane.util.Mate", "version"};
    // One unmeasured run of each warms the file cache.
    if (timeRun(host) < 0 || timeRun(java) < 0) {
        std::fprintf(stderr, "a start-up run failed\n");
        return 1;
    }
    std::vector<double> hostTimes, javaTimes;
    for (int i = 0; i < kRepetitions; ++i) {
        // Interleaved, so that a slow spell of the machine hits both alike.
        hostTimes.push_back(timeRun(host));
        javaTimes.push_back(timeRun(java));
    }
    if (std::min(*std::min_element(hostTimes.begin(), hostTimes.end()),
                 *std::min_element(javaTimes.begin(), javaTimes.end())) < 0) {
        std::fprintf(stderr, "a start-up run failed\n");
        return 1;
    }
    const double h = median(hostTimes), j = median(javaTimes);
    std::printf("panelmate version:                                 %8.1f ms (median of %d)\n", h, kRepetitions);
    std::printf("java -cp panelmate.jar com.orvane.util.Mate version: %8.1f ms (median of %d)\n", j, kRepetitions);
    std::printf("ratio panelmate / java: %.3f (goal: at most 1.10)\n", h / j);
    return 0;
}
