#include "bridge.h"

#include <chrono>
#include <condition_variable>
#include <jvmti.h>
#include <mutex>

#include "jnilayer.h"

namespace tq::panelmate
{

namespace
{

struct VmState {
    std::mutex lock;
    std::condition_variable idle;
    JavaVM *vm = nullptr;
    bool dying = false;
    unsigned inside = 0; // VmEntry objects that entered
    bool watching = false;
};

VmState &state()
{
    // Never destroyed: threads may end (and look here) after static
    // destructors ran.
    static VmState *s = new VmState;
    return *s;
}

// Detaches, at the end of the thread, a thread that this library attached.
struct AttachedHere {
    JavaVM *vm = nullptr;
    ~AttachedHere()
    {
        if (!vm)
            return;
        VmState &s = state();
        std::unique_lock<std::mutex> guard(s.lock);
        if (s.dying)
            return; // the VM is going or gone: nothing to detach from
        ++s.inside;
        guard.unlock();
        vm->DetachCurrentThread();
        guard.lock();
        --s.inside;
        s.idle.notify_all();
    }
};

thread_local AttachedHere t_attached;

void JNICALL onVmDeath(jvmtiEnv *, JNIEnv *)
{
    VmState &s = state();
    std::unique_lock<std::mutex> guard(s.lock);
    s.dying = true;
    // Deliveries under way finish their listener call; a listener that never
    // returns must not hold the process's exit forever.
    s.idle.wait_for(guard, std::chrono::seconds(10), [&] { return s.inside == 0; });
}

} // namespace

void watchVmDeath(JavaVM *vm) noexcept
{
    VmState &s = state();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.vm = vm;
        if (s.watching)
            return;
        s.watching = true;
    }
    jvmtiEnv *jvmti = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&jvmti), JVMTI_VERSION_1_2) != JNI_OK || !jvmti)
        return;
    jvmtiEventCallbacks callbacks{};
    callbacks.VMDeath = &onVmDeath;
    if (jvmti->SetEventCallbacks(&callbacks, sizeof callbacks) == JVMTI_ERROR_NONE)
        jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_VM_DEATH, nullptr);
}

bool vmDying() noexcept
{
    VmState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.dying;
}

JNIEnv *currentEnv() noexcept
{
    VmState &s = state();
    JavaVM *vm = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.dying)
            return nullptr;
        vm = s.vm;
    }
    JNIEnv *env = nullptr;
    if (!vm || vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) != JNI_OK)
        return nullptr;
    return env;
}

VmEntry::VmEntry() noexcept
{
    VmState &s = state();
    JavaVM *vm = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.dying || !s.vm)
            return;
        vm = s.vm;
        ++s.inside;
        counted_ = true;
    }
    JNIEnv *env = nullptr;
    const jint rc = vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2);
    if (rc == JNI_OK) {
        env_ = env; // attached already: a Java thread, or one attached here before
        return;
    }
    if (rc != JNI_EDETACHED)
        return;
    JavaVMAttachArgs args{JNI_VERSION_1_2, const_cast<char *>("panelmate event"), nullptr};
    if (vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void **>(&env), &args) != JNI_OK)
        return;
    t_attached.vm = vm;
    env_ = env;
}

VmEntry::~VmEntry()
{
    if (!counted_)
        return;
    VmState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    --s.inside;
    s.idle.notify_all();
}

void deliverEvent(JNIEnv *env, jobject listener, jmethodID actionPerformed, jobject source, uint32_t bits,
                  const char *message, uint32_t *clearMask) noexcept
{
    // An exception pending here belongs to the Java code that raised the
    // event on its own thread: it stays for that code, and no Java runs
    // over it.
    if (env->ExceptionCheck())
        return;
    const Ids &ids = javaIds(env);
    if (!ids.bound || !ids.instrumentEventInit || !listener || !actionPerformed)
        return;
    LocalFrame frame(env, 4);
    if (!frame.ok()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
        return;
    }
    jstring text = javaString(env, message ? message : "");
    jobject event = nullptr;
    if (text)
        event = env->NewObject(ids.instrumentEvent, ids.instrumentEventInit, source, static_cast<jint>(bits), text);
    if (event && !env->ExceptionCheck())
        env->CallVoidMethod(listener, actionPerformed, event);
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
    if (event && ids.clearMask && clearMask)
        *clearMask = static_cast<uint32_t>(env->GetIntField(event, ids.clearMask));
}

} // namespace tq::panelmate
