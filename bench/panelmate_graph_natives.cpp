// GraphObject.getGraph through JNI against the stream engine's rendering
// alone: an 800x600 image of a graph object with three channels over 10^5
// scans, rendered by graphObjectGetGraph and freed (the reference), and the
// same through the native (rendering, the PNG copied into a Java byte array
// and the javax.swing.ImageIcon made of it, in a headless VM). Both run in
// the same process on the same graph object, interleaved; the ratio of the
// medians of several repetitions is printed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <jni.h>
#include <string>
#include <thread>
#include <vector>

#include "tqstream.h"

namespace
{
const TQStreamHandles &handles()
{
    static TQStreamHandles table = [] {
        TQStreamHandles t{};
        tqstream_getHandles(&t);
        return t;
    }();
    return table;
}
} // namespace

// The stream library's owner functions, which memstream.h calls by name,
// reached through the handle table as a driver reaches them.
extern "C" {
TQStream *newStream(const char *name, double rate, void *owner)
{
    return handles().newStream(name, rate, owner);
}
TQReader *newReaderBase(TQStream *stream, int64_t position, int32_t whence, void *context)
{
    return handles().newReaderBase(stream, position, whence, context);
}
uint16_t setNumberChannels(TQStream *stream, uint16_t count)
{
    return handles().setNumberChannels(stream, count);
}
uint16_t setScanSize(TQStream *stream, uint16_t bytes)
{
    return handles().setScanSize(stream, bytes);
}
}

#include "core/tests/memstream.h"

extern "C" {
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_getGraphObjectn(JNIEnv *, jobject);
JNIEXPORT jobject JNICALL Java_com_orvane_util_GraphObject_getGraph(JNIEnv *, jobject, jint, jint, jint);
}

namespace
{

constexpr int kRepetitions = 9;
constexpr int kImages = 10;
constexpr int64_t kScans = 100000;

double wave(TQStreamChannel *ch, const void *scan)
{
    const int64_t k = *static_cast<const int64_t *>(scan);
    return static_cast<double>((k * (ch->ownerWord + 1)) % 2000) / 100.0 - 10.0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F> double millisecondsPerImage(F render)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kImages; ++i)
        render();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count() / kImages;
}

} // namespace

// As the front panel's host does, the VM runs on a thread of its own rather
// than on the process's first thread, where the VM runs slower.
int measure();

int main()
{
    int code = 1;
    std::thread vmThread([&code] { code = measure(); });
    vmThread.join();
    return code;
}

int measure()
{
    void *jvm = dlopen(TQ_JAVA_HOME "/lib/server/libjvm.so", RTLD_NOW | RTLD_GLOBAL);
    auto create =
        jvm ? reinterpret_cast<jint (*)(JavaVM **, void **, void *)>(dlsym(jvm, "JNI_CreateJavaVM")) : nullptr;
    if (!create) {
        fprintf(stderr, "no Java VM at %s\n", TQ_JAVA_HOME);
        return 1;
    }
    std::string classPath = std::string("-Djava.class.path=") + TQ_PANELMATE_JAR;
    JavaVMOption options[] = {{classPath.data(), nullptr}, {const_cast<char *>("-Djava.awt.headless=true"), nullptr}};
    JavaVMInitArgs args{JNI_VERSION_1_8, 2, options, JNI_FALSE};
    JavaVM *vm = nullptr;
    JNIEnv *env = nullptr;
    if (create(&vm, reinterpret_cast<void **>(&env), &args) != JNI_OK) {
        fprintf(stderr, "the Java VM could not be created\n");
        return 1;
    }

    memstream::Owner o;
    memstream::make(o, "bench", 10000.0, {"a", "b", "c"}, 1 << 17);
    const char *units[] = {"volts", "volts", "hz"};
    for (size_t i = 0; i < o.channels.size(); ++i) {
        snprintf(o.channels[i].eu, sizeof o.channels[i].eu, "%s", units[i]);
        o.channels[i].ownerWord = static_cast<intptr_t>(i);
        o.channels[i].streamChannelEval = wave;
    }
    o.write(kScans);
    o.stream->streamVerifyDisplayWindows(o.stream);

    jclass streamClass = env->FindClass("com/orvane/util/TqStream");
    jclass graphClass = env->FindClass("com/orvane/util/GraphObject");
    if (!streamClass || !graphClass) {
        fprintf(stderr, "panelmate.jar lacks the front panel's classes\n");
        return 1;
    }
    jobject stream = env->AllocObject(streamClass);
    env->SetIntField(stream, env->GetFieldID(streamClass, "streamHandle", "I"),
                     static_cast<jint>(tqstream_streamValue(o.stream)));
    jobject graph = env->AllocObject(graphClass);
    env->SetIntField(graph, env->GetFieldID(graphClass, "graphObjectHandle", "I"),
                     Java_com_orvane_util_TqStream_getGraphObjectn(env, stream));

    TQGraphObject *go = o.stream->streamGetGraphObject(o.stream);
    go->starttime = 0.0;
    go->duration = static_cast<double>(kScans) / 10000.0;
    auto inC = [go] {
        void *image = nullptr;
        uint32_t size = 0;
        go->graphObjectGetGraph(go, 800, 600, 4, &image, &size);
        go->graphObjectFreeGraph(nullptr, image);
    };
    bool failed = false;
    auto throughJni = [&] {
        jobject icon = Java_com_orvane_util_GraphObject_getGraph(env, graph, 800, 600, 4);
        if (!icon || env->ExceptionCheck()) {
            env->ExceptionClear();
            failed = true;
        }
        env->DeleteLocalRef(icon);
    };
    // The native's own share apart from the ImageIcon: rendering and the
    // PNG copied into a Java byte array.
    auto copied = [&] {
        void *image = nullptr;
        uint32_t size = 0;
        go->graphObjectGetGraph(go, 800, 600, 4, &image, &size);
        jbyteArray bytes = env->NewByteArray(static_cast<jsize>(size));
        if (bytes)
            env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(size), static_cast<const jbyte *>(image));
        go->graphObjectFreeGraph(nullptr, image);
        env->DeleteLocalRef(bytes);
    };
    // Unmeasured rounds of each: class loading, caches, and the VM's
    // compilation of the PNG decoder, which a front panel that draws its
    // graphs over and over runs compiled.
    // The decoder settles after some hundred images (measured: 7 ms per
    // image over the first hundred, under 2 ms from the second on).
    for (int i = 0; i < 20 * kImages; ++i)
        throughJni();
    for (int i = 0; i < kImages; ++i) {
        inC();
        copied();
    }
    std::vector<double> c, jni, copy;
    for (int i = 0; i < kRepetitions; ++i) {
        c.push_back(millisecondsPerImage(inC));
        jni.push_back(millisecondsPerImage(throughJni));
        copy.push_back(millisecondsPerImage(copied));
    }
    if (failed) {
        fprintf(stderr, "GraphObject.getGraph failed\n");
        return 1;
    }
    const double mc = median(c), mj = median(jni), mb = median(copy);
    printf("GraphObject.getGraph 800x600: %.2f ms per image, C rendering alone %.2f ms: ratio %.2f (goal <= 1.2)\n", mj,
           mc, mj / mc);
    printf("  rendering and the copy into a Java byte array alone: %.2f ms, ratio %.2f; the rest is the\n"
           "  ImageIcon decoding the PNG in Java\n",
           mb, mb / mc);
    go->graphObjectSlotRelease(&go);
    return 0;
}
