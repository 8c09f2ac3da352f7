// Test-only natives of SimBoard: the simulated VISA library that the
// drivers of the test VM loaded, reached by its path, to pulse a board's
// trigger lines and to read back the register writes the driver made.
#include <dlfcn.h>
#include <jni.h>
#include <string>
#include <vector>

#include "tq/simvisa.h"

namespace
{

// The instance the drivers use: loaded already (RTLD_NOLOAD), never a second one.
void *simLibrary(JNIEnv *env, jstring path)
{
    const char *text = env->GetStringUTFChars(path, nullptr);
    if (!text)
        return nullptr;
    void *handle = dlopen(text, RTLD_NOW | RTLD_NOLOAD);
    env->ReleaseStringUTFChars(path, text);
    return handle;
}

template <typename F> F symbol(void *library, const char *name)
{
    return library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
}

std::string text(JNIEnv *env, jstring s)
{
    const char *chars = env->GetStringUTFChars(s, nullptr);
    std::string out = chars ? chars : "";
    if (chars)
        env->ReleaseStringUTFChars(s, chars);
    return out;
}

} // namespace

extern "C" JNIEXPORT jint JNICALL Java_SimBoard_pulseLine(JNIEnv *env, jclass, jstring library, jstring resource,
                                                         jint line, jint count)
{
    void *lib = simLibrary(env, library);
    auto pulse = symbol<decltype(&simvisa_pulseLine)>(lib, "simvisa_pulseLine");
    const jint status = pulse ? pulse(text(env, resource).c_str(), static_cast<ViInt16>(line),
                                      static_cast<ViUInt32>(count))
                              : -1;
    if (lib)
        dlclose(lib);
    return status;
}

// The values the board was given at one register offset since the last call
// (the write log is cleared after reading); null when the library is not loaded.
extern "C" JNIEXPORT jintArray JNICALL Java_SimBoard_takeWrites(JNIEnv *env, jclass, jstring library,
                                                               jstring resource, jlong offset)
{
    void *lib = simLibrary(env, library);
    auto get = symbol<decltype(&simvisa_getWriteLog)>(lib, "simvisa_getWriteLog");
    auto clear = symbol<decltype(&simvisa_clearWriteLog)>(lib, "simvisa_clearWriteLog");
    jintArray result = nullptr;
    if (get && clear) {
        const std::string name = text(env, resource);
        std::vector<SimVisaWrite> log(1 << 16);
        ViUInt32 n = 0;
        if (get(name.c_str(), log.data(), static_cast<ViUInt32>(log.size()), &n) >= VI_SUCCESS) {
            clear(name.c_str());
            std::vector<jint> values;
            for (ViUInt32 i = 0; i < n && i < log.size(); ++i)
                if (log[i].offset == static_cast<uint64_t>(offset))
                    values.push_back(static_cast<jint>(log[i].value));
            result = env->NewIntArray(static_cast<jsize>(values.size()));
            if (result)
                env->SetIntArrayRegion(result, 0, static_cast<jsize>(values.size()), values.data());
        }
    }
    if (lib)
        dlclose(lib);
    return result;
}
