#include "launch.h"

#include <cstdio>
#include <iterator>

#include "runtime.h"
#include "table.h"
#include "tq/platform/dynlib.h"
#include "tq/platform/env.h"
#include "tq/platform/thread.h"

namespace tq::panelmate
{

namespace p = tq::platform;

namespace
{

VmFunctions gVm;

constexpr const char *kDownload = "https://openjdk.org/install/";
constexpr const char *kMate = "com/orvane/util/Mate";

// Message boxes become "caption: text" lines on standard error.
void messageBox(const char *caption, const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text.c_str());
}

void complain(const std::string &text)
{
    std::fprintf(stderr, "panelmate: %s\n", text.c_str());
}

// The runtime's splash screen, when the runtime ships the library (Debian's
// headless runtime does not). Its image is splash.gif in the working
// directory; without one nothing is shown.
void showSplash(const std::string &runtimeHome)
{
    const std::string path = p::joinPath(runtimeHome, "lib/libsplashscreen.so");
    if (!p::fileExists(path))
        return;
    p::LibraryHandle lib = p::loadLibrary(path);
    if (!lib)
        return;
    auto init = reinterpret_cast<void (*)()>(p::findSymbol(lib, "SplashInit"));
    auto loadFile = reinterpret_cast<int (*)(const char *)>(p::findSymbol(lib, "SplashLoadFile"));
    auto setJar = reinterpret_cast<void (*)(const char *, const char *)>(p::findSymbol(lib, "SplashSetFileJarName"));
    if (!init || !loadFile || !setJar || !p::findSymbol(lib, "SplashLoadMemory") || !p::findSymbol(lib, "SplashClose"))
        return; // the library stays loaded, as the VM's does
    init();
    loadFile("splash.gif");
    setJar("splash.gif", nullptr);
}

// Says what went wrong in Java (the pending exception, on the VM's error
// output) and clears it.
void describe(JNIEnv *env)
{
    if (env->ExceptionCheck())
        env->ExceptionDescribe();
}

// The String[] for main; a failure on the way leaves a null array, which
// Mate.main then refuses with its own exception.
jobjectArray makeArguments(JNIEnv *env, const std::vector<std::string> &arguments)
{
    jclass stringClass = env->FindClass("java/lang/String");
    if (!stringClass) {
        describe(env);
        return nullptr;
    }
    jmethodID fromBytes = env->GetMethodID(stringClass, "<init>", "([B)V");
    jobjectArray array =
        fromBytes ? env->NewObjectArray(static_cast<jsize>(arguments.size()), stringClass, nullptr) : nullptr;
    for (size_t i = 0; array && i < arguments.size(); ++i) {
        const auto &a = arguments[i];
        jbyteArray bytes = env->NewByteArray(static_cast<jsize>(a.size()));
        jobject text = nullptr;
        if (bytes) {
            env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(a.size()), reinterpret_cast<const jbyte *>(a.data()));
            if (!env->ExceptionCheck())
                text = env->NewObject(stringClass, fromBytes, bytes);
            env->DeleteLocalRef(bytes);
        }
        if (text && !env->ExceptionCheck()) {
            env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
            env->DeleteLocalRef(text);
        }
        if (!text || env->ExceptionCheck()) {
            env->DeleteLocalRef(array);
            array = nullptr;
        }
    }
    describe(env);
    env->DeleteLocalRef(stringClass);
    return array;
}

// Classes, natives and main; the exit code of the Java side.
int runMate(JNIEnv *env, const std::vector<std::string> &arguments, const std::string &jar)
{
    jobjectArray args = makeArguments(env, arguments);

    jclass mate = env->FindClass(kMate);
    if (!mate) {
        describe(env);
        complain(std::string("cannot load ") + kMate + " from " + jar);
        return kExitJavaFailed;
    }
    jclass classes[kNativeClassCount] = {};
    for (size_t i = 0; i < kNativeClassCount; ++i) {
        classes[i] = env->FindClass(kNativeClasses[i].className);
        if (!classes[i]) {
            describe(env);
            complain(std::string("cannot load ") + kNativeClasses[i].className + " from " + jar);
            return kExitJavaFailed;
        }
    }
    for (size_t i = 0; i < kNativeClassCount; ++i) {
        const auto &c = kNativeClasses[i];
        if (env->RegisterNatives(classes[i], c.methods, static_cast<jint>(c.count)) != JNI_OK) {
            describe(env);
            complain(std::string("cannot register the native methods of ") + c.className);
            return kExitJavaFailed;
        }
    }
    jmethodID main = env->GetStaticMethodID(mate, "main", "([Ljava/lang/String;)V");
    if (!main) {
        describe(env);
        complain(std::string(kMate) + " has no main(String[])");
        return kExitJavaFailed;
    }
    env->CallStaticVoidMethod(mate, main, args);
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        complain("Mate.main ended with an exception");
        return kExitJavaFailed;
    }
    return kExitDone;
}

// The VM thread's body: the VM is created, used and destroyed here.
int vmThreadBody(const std::vector<std::string> &arguments, const std::string &jar)
{
    std::string classPath = "-Djava.class.path=" + jar;
    std::string command = "-Dsun.java.command=" + jar;
    std::string launcher = "-Dsun.java.launcher=SUN_STANDARD";
    JavaVMOption options[] = {{classPath.data(), nullptr}, {command.data(), nullptr}, {launcher.data(), nullptr}};
    JavaVMInitArgs init{};
    init.version = JNI_VERSION_1_2;
    init.nOptions = static_cast<jint>(std::size(options));
    init.options = options;
    init.ignoreUnrecognized = JNI_FALSE;

    JavaVM *vm = nullptr;
    JNIEnv *env = nullptr;
    const jint rc = gVm.createJavaVM(&vm, reinterpret_cast<void **>(&env), &init);
    if (rc != JNI_OK || !vm || !env) {
        complain("the Java VM could not be created (error " + std::to_string(rc) + ")");
        return kExitNoVm;
    }
    const int code = runMate(env, arguments, jar);
    describe(env);
    vm->DetachCurrentThread();
    vm->DestroyJavaVM();
    return code;
}

} // namespace

const VmFunctions &vmFunctions()
{
    return gVm;
}

const char *usageText()
{
    return "usage: panelmate [argument ...]\n"
           "Runs the front panel (com.orvane.util.Mate in panelmate.jar) in a Java VM and hands it\n"
           "the command line: at most 255 characters, split at every blank and tab into at most 31 pieces.\n"
           "Exit status: 0 done; 1 a class, the native methods or Mate.main failed;\n"
           "2 command line refused; 254 (-2) no usable Java runtime or VM library;\n"
           "255 (-1) the Java VM could not be created.\n";
}

int launch(const LaunchSettings &settings)
{
    const std::string home = applicationHomeOf(settings.programPath);
    const std::string runtime = findRuntime(home, settings.fallbacks);
    if (runtime.empty()) {
        messageBox("Java", std::string("Could not find Java Runtime Environment (JRE) SE version 17 or later.\n"
                                       "Please see ") +
                               kDownload + " for download information.");
        return kExitNoRuntime;
    }
    std::string why;
    const std::string vmLibrary = findVmLibrary(runtime, why);
    if (vmLibrary.empty()) {
        complain(why);
        return kExitNoRuntime;
    }
    p::LibraryHandle vm = p::loadLibrary(vmLibrary);
    if (!vm) {
        complain("cannot load " + vmLibrary + ": " + p::lastLibraryError());
        return kExitNoRuntime;
    }
    gVm.createJavaVM = reinterpret_cast<decltype(gVm.createJavaVM)>(p::findSymbol(vm, "JNI_CreateJavaVM"));
    gVm.getDefaultJavaVMInitArgs =
        reinterpret_cast<decltype(gVm.getDefaultJavaVMInitArgs)>(p::findSymbol(vm, "JNI_GetDefaultJavaVMInitArgs"));
    gVm.getCreatedJavaVMs =
        reinterpret_cast<decltype(gVm.getCreatedJavaVMs)>(p::findSymbol(vm, "JNI_GetCreatedJavaVMs"));
    if (!gVm.createJavaVM || !gVm.getDefaultJavaVMInitArgs || !gVm.getCreatedJavaVMs) {
        complain(vmLibrary + " lacks the Java invocation functions");
        return kExitNoRuntime;
    }

    const std::string jar = findJar(home);
    showSplash(runtime);

    int code = kExitDone;
    p::Thread thread;
    if (!thread.start([&] { code = vmThreadBody(settings.arguments, jar); }))
        return vmThreadBody(settings.arguments, jar);
    thread.join();
    return code;
}

} // namespace tq::panelmate
