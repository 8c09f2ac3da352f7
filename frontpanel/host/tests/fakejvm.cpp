// A stand-in for a runtime's libjvm.so: it creates no VM but answers the
// invocation and the few JNI calls the host program makes, and writes what
// it was asked to a log (FAKEJVM_LOG): the options, the version, the thread
// the VM was made on, the classes, the registrations and main's arguments.
// FAKEJVM_FAIL makes one step fail: "create", "class:<name>",
// "register:<name>", "main" (no main method) or "throw" (main throws).
#include <jni.h>

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

std::mutex gLock;
std::deque<std::string> gObjects; // classes, byte arrays and strings, by address
std::vector<std::string> gArray;  // the String[] handed to main
bool gPending = false;
int gMainId = 0, gInitId = 0;

void logLine(const std::string &line)
{
    const char *path = std::getenv("FAKEJVM_LOG");
    if (!path)
        return;
    if (FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool failing(const std::string &what)
{
    const char *f = std::getenv("FAKEJVM_FAIL");
    return f && what == f;
}

jobject object(const std::string &text)
{
    std::lock_guard<std::mutex> g(gLock);
    gObjects.push_back(text);
    return reinterpret_cast<jobject>(&gObjects.back());
}

const std::string &textOf(jobject o)
{
    return *reinterpret_cast<const std::string *>(o);
}

jclass JNICALL findClass(JNIEnv *, const char *name)
{
    logLine(std::string("findclass ") + name);
    if (failing(std::string("class:") + name)) {
        gPending = true;
        return nullptr;
    }
    return static_cast<jclass>(object(name));
}

jmethodID JNICALL getMethodID(JNIEnv *, jclass, const char *, const char *)
{
    return reinterpret_cast<jmethodID>(&gInitId);
}

jmethodID JNICALL getStaticMethodID(JNIEnv *, jclass c, const char *name, const char *sig)
{
    logLine("method " + textOf(c) + "." + name + sig);
    if (failing("main")) {
        gPending = true;
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(&gMainId);
}

jobjectArray JNICALL newObjectArray(JNIEnv *, jsize n, jclass, jobject)
{
    gArray.assign(static_cast<size_t>(n), std::string());
    return static_cast<jobjectArray>(object("array"));
}

jbyteArray JNICALL newByteArray(JNIEnv *, jsize n)
{
    return static_cast<jbyteArray>(object(std::string(static_cast<size_t>(n), '\0')));
}

void JNICALL setByteArrayRegion(JNIEnv *, jbyteArray a, jsize start, jsize n, const jbyte *bytes)
{
    auto &s = *reinterpret_cast<std::string *>(a);
    std::memcpy(s.data() + start, bytes, static_cast<size_t>(n));
}

jobject JNICALL newObjectV(JNIEnv *, jclass, jmethodID, va_list args)
{
    jobject bytes = va_arg(args, jobject);
    return object(textOf(bytes));
}

void JNICALL setObjectArrayElement(JNIEnv *, jobjectArray, jsize i, jobject value)
{
    gArray.at(static_cast<size_t>(i)) = textOf(value);
}

void JNICALL deleteLocalRef(JNIEnv *, jobject) {}

jint JNICALL registerNatives(JNIEnv *, jclass c, const JNINativeMethod *methods, jint n)
{
    logLine("register " + textOf(c) + " " + std::to_string(n) + " first=" + methods[0].name);
    if (failing("register:" + textOf(c))) {
        gPending = true;
        return JNI_ERR;
    }
    return JNI_OK;
}

void JNICALL callStaticVoidMethodV(JNIEnv *, jclass, jmethodID, va_list args)
{
    jobject array = va_arg(args, jobject);
    std::string line = "main " + std::string(array ? std::to_string(gArray.size()) : "null");
    for (const auto &a : gArray)
        line += " [" + a + "]";
    logLine(line);
    if (failing("throw"))
        gPending = true;
}

jboolean JNICALL exceptionCheck(JNIEnv *)
{
    return gPending ? JNI_TRUE : JNI_FALSE;
}
jthrowable JNICALL exceptionOccurred(JNIEnv *)
{
    return gPending ? static_cast<jthrowable>(object("error")) : nullptr;
}

void JNICALL exceptionDescribe(JNIEnv *)
{
    if (gPending)
        std::fprintf(stderr, "Exception in thread \"main\" fake.Failure\n");
    gPending = false;
}

void JNICALL exceptionClear(JNIEnv *)
{
    gPending = false;
}

JNINativeInterface_ makeFunctions()
{
    JNINativeInterface_ f{};
    f.FindClass = findClass;
    f.GetMethodID = getMethodID;
    f.GetStaticMethodID = getStaticMethodID;
    f.NewObjectArray = newObjectArray;
    f.NewByteArray = newByteArray;
    f.SetByteArrayRegion = setByteArrayRegion;
    f.NewObjectV = newObjectV;
    f.SetObjectArrayElement = setObjectArrayElement;
    f.DeleteLocalRef = deleteLocalRef;
    f.RegisterNatives = registerNatives;
    f.CallStaticVoidMethodV = callStaticVoidMethodV;
    f.ExceptionCheck = exceptionCheck;
    f.ExceptionOccurred = exceptionOccurred;
    f.ExceptionDescribe = exceptionDescribe;
    f.ExceptionClear = exceptionClear;
    return f;
}

const JNINativeInterface_ gFunctions = makeFunctions();
JNIEnv gEnv{&gFunctions};

jint JNICALL destroyJavaVM(JavaVM *)
{
    logLine("destroy");
    return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM *)
{
    logLine("detach");
    return JNI_OK;
}

JNIInvokeInterface_ makeInvoke()
{
    JNIInvokeInterface_ i{};
    i.DestroyJavaVM = destroyJavaVM;
    i.DetachCurrentThread = detachCurrentThread;
    return i;
}

const JNIInvokeInterface_ gInvoke = makeInvoke();
JavaVM gVm{&gInvoke};

} // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM **vm, void **env, void *argsIn)
{
    const auto *args = static_cast<const JavaVMInitArgs *>(argsIn);
    char version[32];
    std::snprintf(version, sizeof version, "%#x", static_cast<unsigned>(args->version));
    Dl_info self{};
    dladdr(reinterpret_cast<const void *>(&JNI_CreateJavaVM), &self);
    logLine(std::string("create library=") + (self.dli_fname ? self.dli_fname : "?") + " version=" + version +
            " ignoreUnrecognized=" + std::to_string(args->ignoreUnrecognized) +
            " thread=" + (gettid() == getpid() ? "main" : "other"));
    for (jint i = 0; i < args->nOptions; ++i)
        logLine(std::string("option ") + args->options[i].optionString);
    if (failing("create"))
        return JNI_ERR;
    *vm = &gVm;
    *env = &gEnv;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void *)
{
    return JNI_OK;
}

#ifndef FAKEJVM_WITHOUT_CREATED_VMS
JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM **, jsize, jsize *count)
{
    *count = 0;
    return JNI_OK;
}
#endif

} // extern "C"
