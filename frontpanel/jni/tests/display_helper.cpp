// Test-only natives of DisplayNativesCheck: streams for the display natives
// to work on, made in the test VM without an instrument. A stream here is an
// in-memory one (stream/tests/memstream.h) with three channels, a (volts),
// b (volts) and c (hz), at 100 scans/s, each a sawtooth; Java gets the
// stream's value, as TqDaq.listStreams would give it.
#include <jni.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "tqstream.h"

// memstream.h calls the stream library's owner functions by name; a library
// outside the stream engine reaches them through the handle table, as the
// drivers do.
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

namespace
{

double sawtooth(TQStreamChannel *channel, const void *scan)
{
    const int64_t k = *static_cast<const int64_t *>(scan);
    return static_cast<double>((k * (channel->ownerWord + 1)) % 200) / 10.0 - 10.0;
}

std::mutex g_lock;
std::map<uint32_t, memstream::Owner *> g_owners;

} // namespace

extern "C" {

// makeStream(name, scans, keepWindows, prefix): a stream holding `scans` scans,
// its channels' names led by prefix; without keepWindows its windows are
// taken out (a stream without windows).
JNIEXPORT jint JNICALL Java_DisplayNativesCheck_makeStream(JNIEnv *env, jclass, jstring name, jlong scans,
                                                           jboolean keepWindows, jstring channelPrefix)
{
    const char *text = env->GetStringUTFChars(name, nullptr);
    if (!text)
        return 0;
    const char *prefix = env->GetStringUTFChars(channelPrefix, nullptr);
    if (!prefix) {
        env->ReleaseStringUTFChars(name, text);
        return 0;
    }
    const std::string p(prefix);
    auto *owner = new memstream::Owner;
    memstream::make(*owner, text, 100.0, {p + "a", p + "b", p + "c"}, 1 << 14);
    env->ReleaseStringUTFChars(channelPrefix, prefix);
    env->ReleaseStringUTFChars(name, text);
    const char *units[] = {"volts", "volts", "hz"};
    for (size_t i = 0; i < owner->channels.size(); ++i) {
        snprintf(owner->channels[i].eu, sizeof owner->channels[i].eu, "%s", units[i]);
        owner->channels[i].ownerWord = static_cast<intptr_t>(i);
        owner->channels[i].streamChannelEval = sawtooth;
    }
    owner->write(scans);
    TQStream *s = owner->stream;
    s->streamVerifyDisplayWindows(s);
    if (!keepWindows)
        while (auto *window = s->streamGetDisplayWindowByIndex(s, 0))
            window->displayWindowReleaseGraphObjects(window);
    const uint32_t value = tqstream_streamValue(s);
    std::lock_guard<std::mutex> guard(g_lock);
    g_owners[value] = owner;
    return static_cast<jint>(value);
}

// releaseStream(value): the owner lets its stream go, as a driver does when
// its session closes; the stream is destroyed with whatever it shows.
JNIEXPORT void JNICALL Java_DisplayNativesCheck_releaseStream(JNIEnv *, jclass, jint value)
{
    memstream::Owner *owner = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_owners.find(static_cast<uint32_t>(value));
        if (it == g_owners.end())
            return;
        owner = it->second;
        g_owners.erase(it);
    }
    handles().destroyStream(owner->stream);
    delete owner;
}

// nav(value): the default graph object's plot rectangle of its last
// rendering, as the engine gives it: left, right, bottom, top.
JNIEXPORT jintArray JNICALL Java_DisplayNativesCheck_nav(JNIEnv *env, jclass, jint value)
{
    TQStream *s = tqstream_streamOfValue(static_cast<uint32_t>(value));
    if (!s)
        return nullptr;
    uint16_t v[4] = {};
    s->streamGetGraphNav(s, 0, 0, &v[0], &v[1], &v[2], &v[3]);
    const jint out[4] = {v[0], v[1], v[2], v[3]};
    jintArray result = env->NewIntArray(4);
    if (result)
        env->SetIntArrayRegion(result, 0, 4, out);
    return result;
}
}
