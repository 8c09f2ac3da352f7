// TqStream.getRate as Java calls it (through JNI, the stream held by its
// value for the call) against a bare native returning a constant, in one VM.
// Built twice: as the program that runs the measuring Java class, and, with
// TQ_BENCH_NATIVES, as the small library of the bench's own natives.
#ifdef TQ_BENCH_NATIVES

#include <jni.h>

#include "tqstream.h"

namespace
{
int32_t keepStream(TQStream **) { return 0; }
} // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_StreamNativesBench_makeStream(JNIEnv *, jclass)
{
    TQStreamHandles handles{};
    tqstream_getHandles(&handles);
    TQStream *stream = handles.newStream("bench", 1000.0, nullptr);
    if (!stream)
        return 0;
    stream->streamRelease = keepStream;
    return static_cast<jint>(tqstream_streamValue(stream));
}

JNIEXPORT jdouble JNICALL Java_StreamNativesBench_bare(JNIEnv *, jobject)
{
    return 1000.0;
}

} // extern "C"

#else

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

int main()
{
    unsetenv("JAVA_TOOL_OPTIONS");
    std::vector<std::string> args{TQ_JAVA, "-Djava.awt.headless=true", "-cp",
                                  std::string(TQ_PANELMATE_JAR) + ":" + TQ_BENCH_JAR, "StreamNativesBench", TQ_JNI,
                                  TQ_BENCH_NATIVES_LIB};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 || waitpid(pid, &status, 0) != pid ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the measuring VM failed\n");
        return 1;
    }
    return 0;
}

#endif
