// Native methods of com.orvane.util.TqStream over the stream's display model:
// the default graph object's rendering and axes, the display XML, and the
// stream's display windows handed to Java as handles (displayhandles.h).
#include "displayhandles.h"
#include "jnilayer.h"
#include "natives.h"
#include "streamhandles.h"

#include "tqstream.h"

using namespace tq::panelmate;

namespace
{

void noStream(JNIEnv *env)
{
    throwJava(env, javaIds(env).streamClosedException, "No stream handle");
}

// The stream of this TqStream; on 0, stale or foreign throws the usual
// exception (not when the field is missing, which the natives answer apart).
StreamHold streamOf(JNIEnv *env, jobject self, bool &missing)
{
    StreamHold stream = holdStream(env, self, &missing);
    if (!stream && !missing)
        noStream(env);
    return stream;
}

} // namespace

jobject Java_com_orvane_util_TqStream_getGraph(JNIEnv *env, jobject self, jint width, jint height, jint mode,
                                               jdouble start, jdouble duration)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return nullptr;
    void *png = nullptr;
    uint32_t size = 0;
    if (stream->streamGetGraph(stream.get(), width, height, mode, start, duration, &png, &size) < 0) {
        if (png)
            stream->graphObjectFreeGraph(nullptr, png);
        return nullptr;
    }
    return imageIconOfPng(env, png, size, stream->graphObjectFreeGraph);
}

jobject Java_com_orvane_util_TqStream_getGraphNav(JNIEnv *env, jobject self, jint width, jint height)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return nullptr;
    uint16_t left = 0, right = 0, bottom = 0, top = 0;
    if (stream->streamGetGraphNav(stream.get(), width, height, &left, &right, &bottom, &top) < 0)
        return nullptr;
    const Ids &ids = javaIds(env);
    if (!ids.rectangle || !ids.rectangleInit)
        return nullptr;
    return env->NewObject(ids.rectangle, ids.rectangleInit, jint{left}, jint{top}, jint{right} - left + 1,
                          jint{bottom} - top + 1);
}

void Java_com_orvane_util_TqStream_setGraphInfo(JNIEnv *env, jobject self, jstring unit, jdouble center, jdouble span,
                                                jobject color)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return;
    JavaText text(env, unit);
    if (!text)
        return;
    const Ids &ids = javaIds(env);
    if (!color) {
        throwJava(env, ids.nullPointerException, nullptr);
        return;
    }
    if (!ids.colorGetRgb)
        return;
    const jint argb = env->CallIntMethod(color, ids.colorGetRgb);
    if (env->ExceptionCheck())
        return;
    // getRGB carries the alpha byte (0xFF for an opaque colour) above the
    // colour; the stream engine's colours are 0xRRGGBB, and an alpha byte
    // would reach graph.xml and read back as a transparent colour.
    const uint32_t rgb = static_cast<uint32_t>(argb) & 0xFFFFFFu;
    tqstream_setGraphInfo(stream.get(), text.c_str(), center, span, rgb);
}

jstring Java_com_orvane_util_TqStream_listAxes(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (missing)
        return javaString(env, "failure");
    if (!stream)
        return nullptr;
    TQStream *s = stream.get();
    return chunkedText(
        env,
        [s](char *chunk, uint32_t size, uint32_t *length) {
            return static_cast<long>(tqstream_listAxes(s, chunk, size, length));
        },
        static_cast<long>(0x3FFC0107), 0L);
}

void Java_com_orvane_util_TqStream_writeXML(JNIEnv *env, jobject self, jstring directory)
{
    DisplayLock lock;
    const Ids &ids = javaIds(env);
    bool missing = false;
    StreamHold stream = holdStream(env, self, &missing);
    if (!stream) {
        throwJava(env, ids.nativeApiException, "Failure in StreamWriteXML");
        return;
    }
    JavaText path(env, directory);
    if (!path)
        return;
    if (stream->streamWriteXML(stream.get(), path.c_str()) < 0)
        throwJava(env, ids.nativeApiException, "Failure in StreamWriteXML");
}

jstring Java_com_orvane_util_TqStream_listn(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (missing)
        return javaString(env, "failure");
    if (!stream)
        return nullptr;
    TQStream *s = stream.get();
    return chunkedText(
        env,
        [s](char *chunk, uint32_t size, uint32_t *length) {
            return static_cast<long>(s->streamListXML(s, chunk, size, length));
        },
        1L, 0L);
}

jint Java_com_orvane_util_TqStream_newDisplayWindown(JNIEnv *env, jobject self, jstring title, jint x, jint y,
                                                     jint width, jint height)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return 0;
    JavaText text(env, title);
    if (!text)
        return 0;
    // The window comes with the caller's reference, which the handle keeps.
    TQDisplayWindow *window = stream->streamNewDisplayWindow(stream.get(), text.c_str(), x, y, width, height);
    return giveWindowToJava(window, stream.get());
}

jint Java_com_orvane_util_TqStream_getNumberDisplayWindowsn(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return 0;
    return stream->streamGetNumberDisplayWindows(stream.get());
}

jint Java_com_orvane_util_TqStream_getDisplayWindowByIndexn(JNIEnv *env, jobject self, jint index)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return 0;
    TQDisplayWindow *window = stream->streamGetDisplayWindowByIndex(stream.get(), index);
    if (!window)
        return 0;
    // The lookup adds no reference; the handle needs one of its own.
    window->displayWindowAddRef(window);
    return giveWindowToJava(window, stream.get());
}

jint Java_com_orvane_util_TqStream_getDisplayWindown(JNIEnv *env, jobject self, jstring title)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return 0;
    JavaText text(env, title);
    if (!text)
        return 0;
    return giveWindowToJava(stream->streamGetDisplayWindow(stream.get(), text.c_str()), stream.get());
}

jint Java_com_orvane_util_TqStream_getGraphObjectn(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    bool missing = false;
    StreamHold stream = streamOf(env, self, missing);
    if (!stream)
        return 0;
    return giveGraphToJava(stream->streamGetGraphObject(stream.get()), stream.get());
}

void Java_com_orvane_util_TqStream_verifyDisplayWindows(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    if (StreamHold stream = holdStream(env, self))
        stream->streamVerifyDisplayWindows(stream.get());
}
