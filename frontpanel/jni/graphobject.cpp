// Native methods of com.orvane.util.GraphObject: the graph object of its
// graphObjectHandle (a handle, displayhandles.h), its layout, axes, channels,
// time window, rendering, lock and text export.
#include "displayhandles.h"
#include "jnilayer.h"
#include "natives.h"
#include "streamhandles.h"

#include "tqstream.h"

#include <utility>

using namespace tq::panelmate;

namespace
{

// How a native answers a handle that is 0, stale or foreign: most throw
// "No stream handle" (a missing field then does nothing); the axis, channel
// and window operations throw their own failure text for a missing field too.
enum class Rule { NoStream, Failure };

void failed(JNIEnv *env, const char *text)
{
    throwJava(env, javaIds(env).nativeApiException, text);
}

LiveGraph graphOf(JNIEnv *env, jobject self, Rule rule, const char *failure)
{
    LiveGraph g = liveGraph(env, self);
    if (!g) {
        if (rule == Rule::Failure)
            failed(env, failure);
        else if (!g.missing)
            throwJava(env, javaIds(env).streamClosedException, "No stream handle");
    }
    return g;
}

// One operation on the live graph object; a negative result throws failure.
template <typename Op> void run(JNIEnv *env, jobject self, Rule rule, const char *failure, Op op)
{
    DisplayLock lock;
    LiveGraph g = graphOf(env, self, rule, failure);
    if (g && op(g.go) < 0)
        failed(env, failure);
}

// The same with a String argument (a null one throws NullPointerException).
template <typename Op> void runText(JNIEnv *env, jobject self, jstring s, Rule rule, const char *failure, Op op)
{
    run(env, self, rule, failure, [&](TQGraphObject *go) -> int32_t {
        JavaText text(env, s);
        return text ? op(go, text.c_str()) : 0;
    });
}

jint getInt(JNIEnv *env, jobject self, int32_t (*TQGraphObject::*field)(TQGraphObject *, int32_t *),
            const char *failure)
{
    int32_t value = 0;
    run(env, self, Rule::NoStream, failure, [&](TQGraphObject *go) { return (go->*field)(go, &value); });
    return env->ExceptionCheck() ? 0 : value;
}

void setInt(JNIEnv *env, jobject self, int32_t (*TQGraphObject::*field)(TQGraphObject *, int32_t), jint value,
            const char *failure)
{
    run(env, self, Rule::NoStream, failure, [&](TQGraphObject *go) { return (go->*field)(go, value); });
}

int32_t flag(jboolean b)
{
    return b ? 1 : 0;
}

uint32_t handleOf(JNIEnv *env, jobject self, bool &read)
{
    uint32_t handle = 0;
    read = readHandle(env, self, javaIds(env).graphObjectHandle, handle);
    return handle;
}

} // namespace

void Java_com_orvane_util_GraphObject_setTitlen(JNIEnv *env, jobject self, jstring title)
{
    runText(env, self, title, Rule::NoStream, "Failure in GraphObjectSetTitle",
            [](TQGraphObject *go, const char *t) { return go->graphObjectSetTitle(go, t); });
}

jstring Java_com_orvane_util_GraphObject_getTitlen(JNIEnv *env, jobject self)
{
    char title[128] = "";
    bool ran = false;
    run(env, self, Rule::NoStream, "Failure in GraphObjectGetTitle", [&](TQGraphObject *go) {
        ran = true;
        return go->graphObjectGetTitle(go, title, sizeof title);
    });
    return ran && !env->ExceptionCheck() ? javaString(env, title) : nullptr;
}

void Java_com_orvane_util_GraphObject_setXn(JNIEnv *env, jobject self, jint x)
{
    setInt(env, self, &TQGraphObject::graphObjectSetXPos, x, "Failure in GraphObjectSetX");
}

jint Java_com_orvane_util_GraphObject_getXn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQGraphObject::graphObjectGetXPos, "Failure in GraphObjectGetX");
}

void Java_com_orvane_util_GraphObject_setYn(JNIEnv *env, jobject self, jint y)
{
    setInt(env, self, &TQGraphObject::graphObjectSetYPos, y, "Failure in GraphObjectSetY");
}

jint Java_com_orvane_util_GraphObject_getYn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQGraphObject::graphObjectGetYPos, "Failure in GraphObjectGetY");
}

void Java_com_orvane_util_GraphObject_setBgColorn(JNIEnv *env, jobject self, jint colour)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectSetAxisColor",
        [&](TQGraphObject *go) { return go->graphObjectSetBgColor(go, static_cast<uint32_t>(colour)); });
}

void Java_com_orvane_util_GraphObject_setGridEnable(JNIEnv *env, jobject self, jboolean enable)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectSetAxisColor",
        [&](TQGraphObject *go) { return go->graphObjectSetGridEnable(go, flag(enable)); });
}

void Java_com_orvane_util_GraphObject_setWidthn(JNIEnv *env, jobject self, jint width)
{
    setInt(env, self, &TQGraphObject::graphObjectSetWidth, width, "Failure in GraphObjectSetWidth");
}

jint Java_com_orvane_util_GraphObject_getWidthn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQGraphObject::graphObjectGetWidth, "Failure in GraphObjectGetWidth");
}

void Java_com_orvane_util_GraphObject_setHeightn(JNIEnv *env, jobject self, jint height)
{
    setInt(env, self, &TQGraphObject::graphObjectSetHeight, height, "Failure in GraphObjectSetHeight");
}

jint Java_com_orvane_util_GraphObject_getHeightn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQGraphObject::graphObjectGetHeight, "Failure in GraphObjectGetHeight");
}

void Java_com_orvane_util_GraphObject_domainRescale(JNIEnv *env, jobject self, jdouble zoom, jdouble shift)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectDomainRescale",
        [&](TQGraphObject *go) { return go->graphObjectRescaleDomain(go, zoom, shift); });
}

void Java_com_orvane_util_GraphObject_domainReset(JNIEnv *env, jobject self, jboolean start, jboolean duration)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectDomainReset",
        [&](TQGraphObject *go) { return go->graphObjectResetDomain(go, flag(start), flag(duration)); });
}

void Java_com_orvane_util_GraphObject_axisRescale(JNIEnv *env, jobject self, jstring unit, jdouble zoom, jdouble shift)
{
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectAxisRescale",
            [&](TQGraphObject *go, const char *u) { return go->graphObjectRescaleAxis(go, u, zoom, shift); });
}

void Java_com_orvane_util_GraphObject_axisReset(JNIEnv *env, jobject self, jstring unit, jboolean span, jboolean center,
                                                jboolean colour)
{
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectAxisReset", [&](TQGraphObject *go, const char *u) {
        return go->graphObjectResetAxis(go, u, flag(span), flag(center), flag(colour));
    });
}

void Java_com_orvane_util_GraphObject_setAxisColorn(JNIEnv *env, jobject self, jstring unit, jint colour)
{
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectSetAxisColor",
            [&](TQGraphObject *go, const char *u) {
                return go->graphObjectSetAxisColor(go, u, static_cast<uint32_t>(colour));
            });
}

void Java_com_orvane_util_GraphObject_setChannelEnable(JNIEnv *env, jobject self, jstring name, jboolean enable)
{
    runText(env, self, name, Rule::Failure, "Failure in GraphObjectSetChannelEnable",
            [&](TQGraphObject *go, const char *n) { return go->graphObjectSetChannelEnable(go, n, flag(enable)); });
}

void Java_com_orvane_util_GraphObject_setChannelColorn(JNIEnv *env, jobject self, jstring name, jint colour)
{
    runText(env, self, name, Rule::Failure, "Failure in GraphObjectSetChannelColor",
            [&](TQGraphObject *go, const char *n) {
                return go->graphObjectSetChannelColor(go, n, static_cast<uint32_t>(colour));
            });
}

jdoubleArray Java_com_orvane_util_GraphObject_getGraphEu(JNIEnv *env, jobject self, jint x, jint y, jint width,
                                                         jint height)
{
    double values[2] = {0.0, 0.0};
    run(env, self, Rule::Failure, "Failure in GraphObjectGetGraphEu",
        [&](TQGraphObject *go) { return go->graphObjectGetGraphEu(go, x, y, width, height, &values[0], &values[1]); });
    if (env->ExceptionCheck())
        return nullptr;
    jdoubleArray result = env->NewDoubleArray(2);
    if (result)
        env->SetDoubleArrayRegion(result, 0, 2, values);
    return result;
}

void Java_com_orvane_util_GraphObject_setAxisCenter(JNIEnv *env, jobject self, jstring unit, jdouble center)
{
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectSetAxisCenter",
            [&](TQGraphObject *go, const char *u) { return go->graphObjectSetAxisCenter(go, u, center); });
}

void Java_com_orvane_util_GraphObject_setAxisSpan(JNIEnv *env, jobject self, jstring unit, jdouble span)
{
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectSetAxisSpan",
            [&](TQGraphObject *go, const char *u) { return go->graphObjectSetAxisSpan(go, u, span); });
}

void Java_com_orvane_util_GraphObject_setAxisSelected(JNIEnv *env, jobject self, jstring unit)
{
    // The span's text: callers match it as it has always been.
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectSetAxisSpan",
            [&](TQGraphObject *go, const char *u) { return go->graphObjectSetAxisSelected(go, u); });
}

jboolean Java_com_orvane_util_GraphObject_getAxisVisible(JNIEnv *env, jobject self, jstring unit)
{
    int32_t visible = 0;
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectGetAxisVisible",
            [&](TQGraphObject *go, const char *u) { return go->graphObjectGetAxisVisible(go, u, &visible); });
    return !env->ExceptionCheck() && visible ? JNI_TRUE : JNI_FALSE;
}

void Java_com_orvane_util_GraphObject_setStartTime(JNIEnv *env, jobject self, jdouble seconds)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectSetStartTime",
        [&](TQGraphObject *go) { return go->graphObjectSetStartTime(go, seconds); });
}

void Java_com_orvane_util_GraphObject_setDuration(JNIEnv *env, jobject self, jdouble seconds)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectSetDuration",
        [&](TQGraphObject *go) { return go->graphObjectSetDuration(go, seconds); });
}

jobject Java_com_orvane_util_GraphObject_getGraph(JNIEnv *env, jobject self, jint width, jint height, jint mode)
{
    static const char kFailure[] = "Failure in GraphObjectGetGraph";
    DisplayLock lock;
    LiveGraph g = graphOf(env, self, Rule::Failure, kFailure);
    if (!g)
        return nullptr;
    void *png = nullptr;
    uint32_t size = 0;
    const int32_t rc = g.go->graphObjectGetGraph(g.go, width, height, mode, &png, &size);
    // A rendering that made no image (GD had no memory) is a failure too.
    if (rc < 0 || !png) {
        if (png)
            g.go->graphObjectFreeGraph(nullptr, png);
        failed(env, kFailure);
        return nullptr;
    }
    jobject icon = imageIconOfPng(env, png, size, g.go->graphObjectFreeGraph);
    if (!icon)
        failed(env, kFailure);
    return icon;
}

jstring Java_com_orvane_util_GraphObject_listAxes(JNIEnv *env, jobject self)
{
    static const char kFailure[] = "Failure in GraphObjectListAxes";
    DisplayLock lock;
    LiveGraph g = graphOf(env, self, Rule::Failure, kFailure);
    if (!g)
        return nullptr;
    TQGraphObject *go = g.go;
    int32_t last = 0;
    jstring text = chunkedText(
        env,
        [go, &last](char *chunk, uint32_t size, uint32_t *length) {
            return static_cast<long>(last = go->graphObjectListAxes(go, chunk, size, length));
        },
        1L, 0L);
    if (last < 0)
        failed(env, kFailure);
    return env->ExceptionCheck() ? nullptr : text;
}

void Java_com_orvane_util_GraphObject_setAxisEnable(JNIEnv *env, jobject self, jstring unit, jboolean enable)
{
    runText(env, self, unit, Rule::Failure, "Failure in GraphObjectSetAxisEnable",
            [&](TQGraphObject *go, const char *u) { return go->graphObjectSetAxisEnable(go, u, flag(enable)); });
}

void Java_com_orvane_util_GraphObject_reset(JNIEnv *env, jobject self)
{
    run(env, self, Rule::Failure, "Failure in GraphObjectReset",
        [](TQGraphObject *go) { return go->graphObjectReset(go); });
}

void Java_com_orvane_util_GraphObject_channelReset(JNIEnv *env, jobject self, jstring name)
{
    // The colour's text: callers match it as it has always been.
    runText(env, self, name, Rule::Failure, "Failure in GraphObjectSetChannelColor",
            [&](TQGraphObject *go, const char *n) { return go->graphObjectResetChannel(go, n); });
}

void Java_com_orvane_util_GraphObject_lock(JNIEnv *env, jobject self, jint timeoutMs)
{
    const Ids &ids = javaIds(env);
    bool read = false;
    const uint32_t handle = handleOf(env, self, read);
    if (!read)
        return;
    TQGraphObject *go = nullptr;
    StreamHold stream;
    {
        DisplayLock lock;
        LiveGraph g = liveGraph(handle);
        if (!g) {
            throwJava(env, ids.nativeApiException, "No Graph object Handle");
            return;
        }
        go = g.go;
        go->graphObjectAddRef(go);
        stream = std::move(g.stream);
    }
    // Not under the display lock: this waits for the stream's lock, which
    // its holder may keep while it calls these natives.
    const int32_t rc = go->graphObjectLock(go, static_cast<uint32_t>(timeoutMs));
    {
        DisplayLock lock;
        go->graphObjectSlotRelease(&go);
        stream = StreamHold();
    }
    if (rc == TQS_ERR_LOCK_TIMEOUT)
        throwJava(env, ids.timeoutException, "Timeout on lock");
    else if (rc != 0)
        throwJava(env, ids.nativeApiException, "Failure on lock");
}

void Java_com_orvane_util_GraphObject_unlock(JNIEnv *env, jobject self)
{
    const Ids &ids = javaIds(env);
    bool read = false;
    const uint32_t handle = handleOf(env, self, read);
    if (!read)
        return;
    DisplayLock lock;
    // Levels taken while the graph object was shown go back even when it has
    // left its window since: the engine remembers the stream it locked.
    TQGraphObject *go = openGraph(handle);
    const int32_t rc = go ? go->graphObjectUnlock(go) : TQS_ERR_FAILED;
    if (rc == 0)
        return;
    if (!liveGraph(handle))
        throwJava(env, ids.nativeApiException, "No Graph object Handle");
    else
        // The stream's lock belongs to the thread that took it: another
        // thread's unlock is refused and the levels stay with their owner.
        throwJava(env, ids.nativeApiException, "Failure on unlock");
}

jint Java_com_orvane_util_GraphObject_getStreamn(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    LiveGraph g = liveGraph(env, self);
    if (g.missing)
        return 0;
    // The engine adds a reference for the caller, which Java's handle keeps.
    TQStream *stream = g ? g.go->graphObjectGetStream(g.go) : nullptr;
    if (!stream) {
        throwJava(env, javaIds(env).streamClosedException, "No stream For GraphObject");
        return 0;
    }
    return giveStreamToJava(stream);
}

jint Java_com_orvane_util_GraphObject_getDisplayWindown(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    LiveGraph g = liveGraph(env, self);
    if (g.missing)
        return 0;
    TQDisplayWindow *window = g ? g.go->graphObjectGetDisplayWindow(g.go) : nullptr;
    if (!window) {
        throwJava(env, javaIds(env).streamClosedException, "No displaywindow For GraphObject");
        return 0;
    }
    // The engine adds no reference; the handle needs its own.
    window->displayWindowAddRef(window);
    return giveWindowToJava(window, g.stream.get());
}

void Java_com_orvane_util_GraphObject_convertToAscii(JNIEnv *env, jobject self, jstring path)
{
    runText(env, self, path, Rule::NoStream, "Failure or abort in ConvertToAscii",
            [](TQGraphObject *go, const char *p) { return go->graphObjectConvertToAscii(go, p); });
}

void Java_com_orvane_util_GraphObject_closeHandle(JNIEnv *env, jobject self)
{
    bool read = false;
    const uint32_t handle = handleOf(env, self, read);
    if (!read)
        return;
    DisplayLock lock;
    if (!closeGraph(handle))
        throwJava(env, javaIds(env).streamClosedException, "No stream handle to close");
}
