#include "displayhandles.h"

#include "handles.h"
#include "jnilayer.h"

#include "tqstream.h"

#include <new>

namespace tq::panelmate
{

namespace
{

// What a handle stands for: the object (one reference held) and the value
// of the stream it is shown with. The stream is kept by value, not by
// pointer: a driver destroys its stream whatever references others hold, and
// a value of a destroyed stream is simply refused.
template <typename T> struct Record {
    T *object;
    uint32_t streamValue;
};

using WindowRecord = Record<TQDisplayWindow>;
using GraphRecord = Record<TQGraphObject>;

JavaHandles<WindowRecord> &windows()
{
    static JavaHandles<WindowRecord> table(platform::kHandleKindPanelDisplayWindow);
    return table;
}

JavaHandles<GraphRecord> &graphs()
{
    static JavaHandles<GraphRecord> table(platform::kHandleKindPanelGraphObject);
    return table;
}

TQStream *streamOfWindow(TQDisplayWindow *window)
{
    return static_cast<TQStream *>(window->streamLink.owner);
}

TQDisplayWindow *windowOfGraph(TQGraphObject *go)
{
    return static_cast<TQDisplayWindow *>(go->windowLink.owner);
}

uint32_t fieldValue(JNIEnv *env, jobject object, jfieldID field, bool &missing)
{
    uint32_t value = 0;
    missing = !readHandle(env, object, field, value);
    return value;
}

} // namespace

std::recursive_mutex &displayMutex()
{
    static std::recursive_mutex m;
    return m;
}

LiveWindow liveWindow(uint32_t handle)
{
    LiveWindow live;
    const WindowRecord *record = windows().lookup(handle);
    if (!record)
        return live;
    live.stream = holdStreamValue(record->streamValue);
    // The window is still the stream's: a window that left the list (the
    // stream was destroyed, or its layout rebuilt) is not shown any more.
    if (live.stream && streamOfWindow(record->object) == live.stream.get())
        live.window = record->object;
    else
        live.stream = StreamHold();
    return live;
}

LiveWindow liveWindow(JNIEnv *env, jobject displayWindow)
{
    bool missing = false;
    const uint32_t handle = fieldValue(env, displayWindow, javaIds(env).windowHandle, missing);
    LiveWindow live = missing ? LiveWindow() : liveWindow(handle);
    live.missing = missing;
    return live;
}

LiveGraph liveGraph(uint32_t handle)
{
    LiveGraph live;
    const GraphRecord *record = graphs().lookup(handle);
    if (!record)
        return live;
    live.stream = holdStreamValue(record->streamValue);
    TQDisplayWindow *window = windowOfGraph(record->object);
    if (live.stream && window && streamOfWindow(window) == live.stream.get())
        live.go = record->object;
    else
        live.stream = StreamHold();
    return live;
}

LiveGraph liveGraph(JNIEnv *env, jobject graphObject)
{
    bool missing = false;
    const uint32_t handle = fieldValue(env, graphObject, javaIds(env).graphObjectHandle, missing);
    LiveGraph live = missing ? LiveGraph() : liveGraph(handle);
    live.missing = missing;
    return live;
}

TQGraphObject *openGraph(uint32_t handle)
{
    const GraphRecord *record = graphs().lookup(handle);
    return record ? record->object : nullptr;
}

jint giveWindowToJava(TQDisplayWindow *window, TQStream *stream)
{
    if (!window)
        return 0;
    auto *record = new (std::nothrow) WindowRecord{window, stream ? tqstream_streamValue(stream) : 0};
    const uint32_t handle = record ? windows().add(record) : 0;
    if (!handle) {
        delete record;
        window->displayWindowSlotRelease(&window);
    }
    return static_cast<jint>(handle);
}

jint giveGraphToJava(TQGraphObject *go, TQStream *stream)
{
    if (!go)
        return 0;
    auto *record = new (std::nothrow) GraphRecord{go, stream ? tqstream_streamValue(stream) : 0};
    const uint32_t handle = record ? graphs().add(record) : 0;
    if (!handle) {
        delete record;
        go->graphObjectSlotRelease(&go);
    }
    return static_cast<jint>(handle);
}

void rebindGraph(uint32_t handle, TQStream *stream)
{
    if (GraphRecord *record = graphs().lookup(handle))
        record->streamValue = stream ? tqstream_streamValue(stream) : 0;
}

bool closeWindow(uint32_t handle)
{
    WindowRecord *record = windows().remove(handle);
    if (!record)
        return false;
    TQDisplayWindow *window = record->object;
    delete record;
    window->displayWindowSlotRelease(&window);
    return true;
}

bool closeGraph(uint32_t handle)
{
    GraphRecord *record = graphs().remove(handle);
    if (!record)
        return false;
    TQGraphObject *go = record->object;
    delete record;
    go->graphObjectSlotRelease(&go);
    return true;
}

jobject imageIconOfPng(JNIEnv *env, void *png, uint32_t size, int32_t (*freeGraph)(void *object, void *image))
{
    const Ids &ids = javaIds(env);
    jbyteArray bytes = nullptr;
    if (png && size <= 0x7FFFFFFFu && ids.imageIcon && ids.imageIconInit) {
        bytes = env->NewByteArray(static_cast<jsize>(size));
        if (bytes)
            env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(size), static_cast<const jbyte *>(png));
    }
    if (png)
        freeGraph(nullptr, png);
    if (!bytes)
        return nullptr;
    jobject icon = imageIconOfPngBytes(env, bytes);
    env->DeleteLocalRef(bytes);
    return icon;
}

} // namespace tq::panelmate
