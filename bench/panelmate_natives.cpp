// The resource manager's natives as Java sees them, in a VM of this process:
//
// - TqDaq.listVresources over 1,000 virtual resources, called from Java's
//   side (JNI CallObjectMethod: the native, its chunked collection and the
//   Java string), against the same listing gathered by the C call into a C
//   string (goal: at most 1.5x);
// - an instrument event delivered to a Java listener's actionPerformed from
//   a thread outside the VM, by the bridge as it is (the thread attached on
//   its first event and kept attached), against attaching and detaching the
//   thread around every event.
//
// Medians of several repetitions; ratios are of times (lower is better).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <jni.h>
#include <string>
#include <thread>
#include <vector>

#include "bridge.h"
#include "jnilayer.h"
#include "listingdb.h"
#include "tqdaq.h"

namespace
{

constexpr int kRepetitions = 9;
constexpr int kResources = 1000;
constexpr int kListings = 5;    // per repetition
constexpr int kEvents = 2000;   // per repetition

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F> double seconds(F &&f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void die(const char *what)
{
    std::fprintf(stderr, "panelmate natives bench: %s\n", what);
    std::exit(1);
}

JavaVM *startVm(JNIEnv *&env)
{
    std::string classPath = std::string("-Djava.class.path=") + TQ_PANELMATE_JAR;
    JavaVMOption options[] = {{const_cast<char *>(classPath.c_str()), nullptr},
                              {const_cast<char *>("-Djava.awt.headless=true"), nullptr}};
    JavaVMInitArgs args{JNI_VERSION_1_8, 2, options, JNI_FALSE};
    JavaVM *vm = nullptr;
    if (JNI_CreateJavaVM(&vm, reinterpret_cast<void **>(&env), &args) != JNI_OK)
        die("no VM");
    return vm;
}

// System.load of the natives' library, as Mate does under a plain java.
void loadNatives(JNIEnv *env)
{
    jclass system = env->FindClass("java/lang/System");
    jmethodID load = env->GetStaticMethodID(system, "load", "(Ljava/lang/String;)V");
    env->CallStaticVoidMethod(system, load, env->NewStringUTF(TQ_JNI));
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        die("the natives did not load");
    }
}

std::string listByC(ViSession session)
{
    std::string text;
    std::vector<char> chunk(8192);
    ViUInt32 length = 0;
    ViStatus st;
    do {
        st = tqdaq_listVresources(session, nullptr, chunk.data(), static_cast<ViUInt32>(chunk.size()), &length);
        if (st >= VI_SUCCESS)
            text.append(chunk.data());
    } while (st == TQDAQ_WARN_MORE_TEXT);
    return text;
}

void listings(JNIEnv *env)
{
    listingdb::Database d;
    d.ensure(kResources);
    jclass daqClass = env->FindClass("com/orvane/util/TqDaq");
    jobject daq = env->NewObject(daqClass, env->GetMethodID(daqClass, "<init>", "()V"));
    env->SetIntField(daq, env->GetFieldID(daqClass, "daqHandle", "I"), static_cast<jint>(d.session));
    jmethodID list = env->GetMethodID(daqClass, "listVresources", "(Ljava/lang/String;)Ljava/lang/String;");

    size_t cLength = listByC(d.session).size();
    jstring first = static_cast<jstring>(env->CallObjectMethod(daq, list, nullptr));
    if (!first || static_cast<size_t>(env->GetStringLength(first)) != cLength)
        die("the Java listing differs from the C one");
    env->DeleteLocalRef(first);

    std::vector<double> c, java;
    for (int r = 0; r < kRepetitions; ++r) {
        c.push_back(seconds([&] {
            for (int i = 0; i < kListings; ++i)
                cLength += listByC(d.session).size() & 1;
        }));
        java.push_back(seconds([&] {
            for (int i = 0; i < kListings; ++i)
                env->DeleteLocalRef(env->CallObjectMethod(daq, list, nullptr));
        }));
    }
    const double mc = median(c) / kListings, mj = median(java) / kListings;
    std::printf("listVresources, %d resources (%zu bytes of text)\n", kResources, cLength);
    std::printf("  C call:        %8.3f ms\n", mc * 1e3);
    std::printf("  through Java:  %8.3f ms   ratio %.2fx (goal <= 1.5x)\n", mj * 1e3, mj / mc);
    env->DeleteLocalRef(daq);
}

// A listener of the front panel's own classes: Mate's, which keeps the texts.
struct Listener {
    jobject listener = nullptr;
    jobject source = nullptr;
    jmethodID actionPerformed = nullptr;
};

Listener makeListener(JNIEnv *env)
{
    Listener l;
    jclass heard = env->FindClass("com/orvane/util/Mate$Heard");
    if (!heard)
        die("no listener class");
    l.listener = env->NewGlobalRef(env->NewObject(heard, env->GetMethodID(heard, "<init>", "()V")));
    l.actionPerformed = env->GetMethodID(heard, "actionPerformed", "(Lcom/orvane/util/InstrumentEvent;)V");
    jclass daqClass = env->FindClass("com/orvane/util/TqDaq");
    l.source = env->NewGlobalRef(env->NewObject(daqClass, env->GetMethodID(daqClass, "<init>", "()V")));
    return l;
}

// Median time per event on a new thread outside the VM.
double eventTime(JavaVM *vm, const Listener &l, bool attachPerEvent)
{
    std::vector<double> times;
    for (int r = 0; r < kRepetitions; ++r) {
        double t = 0;
        std::thread raiser([&] {
            uint32_t clear = 0;
            // The first event attaches the thread either way; it is not timed.
            {
                tq::panelmate::VmEntry entry;
                tq::panelmate::deliverEvent(entry.env(), l.listener, l.actionPerformed, l.source, 1, "warm", &clear);
            }
            if (attachPerEvent)
                vm->DetachCurrentThread();
            t = seconds([&] {
                for (int i = 0; i < kEvents; ++i) {
                    if (attachPerEvent) {
                        JNIEnv *env = nullptr;
                        JavaVMAttachArgs args{JNI_VERSION_1_2, const_cast<char *>("bench event"), nullptr};
                        if (vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void **>(&env), &args) != JNI_OK)
                            die("attach failed");
                        tq::panelmate::deliverEvent(env, l.listener, l.actionPerformed, l.source, 1, "event",
                                                    &clear);
                        vm->DetachCurrentThread();
                    } else {
                        tq::panelmate::VmEntry entry;
                        tq::panelmate::deliverEvent(entry.env(), l.listener, l.actionPerformed, l.source, 1,
                                                    "event", &clear);
                    }
                }
            });
        });
        raiser.join();
        times.push_back(t / kEvents);
    }
    return median(times);
}

} // namespace

int main()
{
    JNIEnv *env = nullptr;
    JavaVM *vm = startVm(env);
    loadNatives(env);
    if (!tq::panelmate::bindJavaIds(env))
        die("the front panel's classes are missing");
    tq::panelmate::watchVmDeath(vm);
    listings(env);

    Listener l = makeListener(env);
    const double once = eventTime(vm, l, false);
    const double each = eventTime(vm, l, true);
    std::printf("event to actionPerformed from a thread outside the VM\n");
    std::printf("  attached once per thread:  %8.2f us\n", once * 1e6);
    std::printf("  attached per event:        %8.2f us   (once/per event %.2fx)\n", each * 1e6, once / each);
    return 0;
}
