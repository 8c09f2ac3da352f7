// Test-only natives of class StreamFixture: streams the way a driver makes
// them (through the stream handle table, released by nobody but their
// owner), a stream whose readers cannot clone, and events posted from
// threads the VM does not know, as a driver's acquisition thread posts them.
#include <atomic>
#include <cstring>
#include <jni.h>
#include <string>
#include <thread>

#include "tqstream.h"

namespace
{

TQStreamHandles &handles()
{
    static TQStreamHandles h = [] {
        TQStreamHandles t{};
        tqstream_getHandles(&t);
        return t;
    }();
    return h;
}

int32_t keepStream(TQStream **) { return 0; } // a driver's stream goes only with its owner

std::atomic<int> g_readersMade{0};
std::atomic<int> g_readersFreed{0};

TQStream *noClone(TQReader *, int64_t) { return nullptr; }

int32_t countedRelease(TQReader **holder)
{
    if (!holder || !*holder)
        return 0;
    TQReader *reader = *holder;
    if (--*handles().readerRefCountAddress(reader) > 0)
        return 0;
    *holder = nullptr;
    ++g_readersFreed;
    handles().StreamCommonFree(reader);
    return 0;
}

TQReader *readerThatCannotClone(TQStream *stream, int64_t position, int32_t whence)
{
    TQReader *reader = handles().newReaderBase(stream, position, whence, nullptr);
    if (!reader)
        return nullptr;
    reader->readerRelease = countedRelease;
    reader->readerCloneStream = noClone;
    ++g_readersMade;
    return reader;
}

std::atomic<int64_t> g_scansWritten{0};
int64_t scansWritten(TQStream *) { return g_scansWritten; }

std::atomic<bool> g_flooding{false};
std::thread g_flood;
std::atomic<uint32_t> g_lastClearMask{0};

} // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_StreamFixture_driverStream(JNIEnv *env, jclass, jstring name, jboolean cannotClone)
{
    const char *text = env->GetStringUTFChars(name, nullptr);
    TQStream *stream = handles().newStream(text, 50.0, nullptr);
    env->ReleaseStringUTFChars(name, text);
    if (!stream)
        return 0;
    stream->streamRelease = keepStream;
    if (cannotClone)
        stream->streamNewReader = readerThatCannotClone;
    return static_cast<jint>(tqstream_streamValue(stream));
}

// The stream's written-scan count from now on, as a long acquisition reaches it.
JNIEXPORT void JNICALL Java_StreamFixture_setScansWritten(JNIEnv *, jclass, jint value, jlong count)
{
    g_scansWritten = count;
    if (TQStream *stream = tqstream_streamOfValue(static_cast<uint32_t>(value)))
        stream->streamGetScansWritten = scansWritten;
}

JNIEXPORT void JNICALL Java_StreamFixture_destroy(JNIEnv *, jclass, jint value)
{
    if (TQStream *stream = tqstream_streamOfValue(static_cast<uint32_t>(value)))
        handles().destroyStream(stream);
}

JNIEXPORT jint JNICALL Java_StreamFixture_readersAlive(JNIEnv *, jclass)
{
    return g_readersMade - g_readersFreed;
}

// Posts count events from a thread of its own and waits for it; the clear
// mask of the last post is kept for lastClearMask.
JNIEXPORT void JNICALL Java_StreamFixture_post(JNIEnv *env, jclass, jint value, jint event, jstring message,
                                               jint count)
{
    const char *utf = env->GetStringUTFChars(message, nullptr);
    std::string text = utf ? utf : "";
    env->ReleaseStringUTFChars(message, utf);
    std::thread poster([&] {
        TQStream *stream = tqstream_holdStream(static_cast<uint32_t>(value));
        if (!stream)
            return;
        for (int i = 0; i < count; ++i) {
            uint32_t result = 0;
            handles().postEvent(stream, static_cast<uint32_t>(event), text.c_str(), &result);
            g_lastClearMask = result;
        }
        tqstream_dropStreamHold(stream);
    });
    poster.join();
}

JNIEXPORT jint JNICALL Java_StreamFixture_lastClearMask(JNIEnv *, jclass)
{
    return static_cast<jint>(g_lastClearMask.load());
}

// Events without pause from another thread until stopFlood.
JNIEXPORT void JNICALL Java_StreamFixture_startFlood(JNIEnv *, jclass, jint value)
{
    g_flooding = true;
    g_flood = std::thread([value] {
        while (g_flooding) {
            TQStream *stream = tqstream_holdStream(static_cast<uint32_t>(value));
            if (!stream)
                return;
            handles().postEvent(stream, 1, "flood", nullptr);
            tqstream_dropStreamHold(stream);
        }
    });
}

JNIEXPORT void JNICALL Java_StreamFixture_stopFlood(JNIEnv *, jclass)
{
    g_flooding = false;
    if (g_flood.joinable())
        g_flood.join();
}

} // extern "C"
