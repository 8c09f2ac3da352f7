// Native methods of com.orvane.util.DisplayWindow: the window of its
// windowHandle (a handle, displayhandles.h), its title and geometry, and the
// graph objects it shows.
#include "displayhandles.h"
#include "jnilayer.h"
#include "natives.h"

#include "tqstream.h"

using namespace tq::panelmate;

namespace
{

// The live window of this object; a 0, stale or foreign handle throws
// "No stream handle", a missing field gives nothing.
LiveWindow windowOf(JNIEnv *env, jobject self)
{
    LiveWindow w = liveWindow(env, self);
    if (!w && !w.missing)
        throwJava(env, javaIds(env).streamClosedException, "No stream handle");
    return w;
}

void failed(JNIEnv *env, const char *text)
{
    throwJava(env, javaIds(env).nativeApiException, text);
}

using Setter = int32_t (*TQDisplayWindow::*)(TQDisplayWindow *, int32_t);
using Getter = int32_t (*TQDisplayWindow::*)(TQDisplayWindow *, int32_t *);

void setInt(JNIEnv *env, jobject self, Setter op, jint value, const char *failure)
{
    DisplayLock lock;
    LiveWindow w = windowOf(env, self);
    if (w && (w.window->*op)(w.window, value) < 0)
        failed(env, failure);
}

jint getInt(JNIEnv *env, jobject self, Getter op, const char *failure)
{
    DisplayLock lock;
    LiveWindow w = windowOf(env, self);
    if (!w)
        return 0;
    int32_t value = 0;
    if ((w.window->*op)(w.window, &value) < 0) {
        failed(env, failure);
        return 0;
    }
    return value;
}

} // namespace

void Java_com_orvane_util_DisplayWindow_setTitlen(JNIEnv *env, jobject self, jstring title)
{
    DisplayLock lock;
    LiveWindow w = windowOf(env, self);
    if (!w)
        return;
    JavaText text(env, title);
    if (text && w.window->displayWindowSetTitle(w.window, text.c_str()) < 0)
        failed(env, "Failure in DisplayWindowSetTitle");
}

jstring Java_com_orvane_util_DisplayWindow_getTitlen(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    LiveWindow w = windowOf(env, self);
    if (!w)
        return nullptr;
    char title[128] = "";
    if (w.window->displayWindowGetTitle(w.window, title, sizeof title) < 0) {
        failed(env, "Failure in DisplayWindowGetTitle");
        return nullptr;
    }
    return javaString(env, title);
}

void Java_com_orvane_util_DisplayWindow_setXn(JNIEnv *env, jobject self, jint x)
{
    setInt(env, self, &TQDisplayWindow::displayWindowSetXPos, x, "Failure in DisplayWindowSetX");
}

jint Java_com_orvane_util_DisplayWindow_getXn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQDisplayWindow::displayWindowGetXPos, "Failure in DisplayWindowGetX");
}

void Java_com_orvane_util_DisplayWindow_setYn(JNIEnv *env, jobject self, jint y)
{
    setInt(env, self, &TQDisplayWindow::displayWindowSetYPos, y, "Failure in DisplayWindowSetY");
}

jint Java_com_orvane_util_DisplayWindow_getYn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQDisplayWindow::displayWindowGetYPos, "Failure in DisplayWindowGetY");
}

void Java_com_orvane_util_DisplayWindow_setWidthn(JNIEnv *env, jobject self, jint width)
{
    setInt(env, self, &TQDisplayWindow::displayWindowSetWidth, width, "Failure in DisplayWindowSetWidth");
}

jint Java_com_orvane_util_DisplayWindow_getWidthn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQDisplayWindow::displayWindowGetWidth, "Failure in DisplayWindowGetWidth");
}

void Java_com_orvane_util_DisplayWindow_setHeightn(JNIEnv *env, jobject self, jint height)
{
    setInt(env, self, &TQDisplayWindow::displayWindowSetHeight, height, "Failure in DisplayWindowSetHeight");
}

jint Java_com_orvane_util_DisplayWindow_getHeightn(JNIEnv *env, jobject self)
{
    return getInt(env, self, &TQDisplayWindow::displayWindowGetHeight, "Failure in DisplayWindowGetHeight");
}

jint Java_com_orvane_util_DisplayWindow_newGraphObjectn(JNIEnv *env, jobject self, jstring title, jint x, jint y,
                                                        jint width, jint height)
{
    DisplayLock lock;
    LiveWindow w = windowOf(env, self);
    if (!w)
        return 0;
    JavaText text(env, title);
    if (!text)
        return 0;
    // Made with the caller's reference, which the handle keeps.
    return giveGraphToJava(w.window->displayWindowNewGraphObject(w.window, text.c_str(), x, y, width, height),
                           w.stream.get());
}

jint Java_com_orvane_util_DisplayWindow_getGraphObjectn(JNIEnv *env, jobject self, jstring title)
{
    DisplayLock lock;
    LiveWindow w = windowOf(env, self);
    if (!w)
        return 0;
    JavaText text(env, title);
    if (!text)
        return 0;
    return giveGraphToJava(w.window->displayWindowGetGraphObjectByTitle(w.window, text.c_str()), w.stream.get());
}

void Java_com_orvane_util_DisplayWindow_removeGraphObject(JNIEnv *env, jobject self, jobject graphObject)
{
    DisplayLock lock;
    LiveWindow w = liveWindow(env, self);
    LiveGraph g = graphObject ? liveGraph(env, graphObject) : LiveGraph();
    // Only a graph object of this very window can leave it; one of another
    // window stays where it is, and the caller hears so.
    if (!w || !g || g.go->windowLink.owner != w.window) {
        failed(env, "Failure in remove graph object");
        return;
    }
    // The removal hands the window list's reference to the caller; the
    // Java object's handle holds its own already, so this one goes now and
    // the graph object lives until the handle is closed.
    w.window->displayWindowRemoveGraphObject(w.window, g.go);
    TQGraphObject *passed = g.go;
    passed->graphObjectSlotRelease(&passed);
}

void Java_com_orvane_util_DisplayWindow_linkGraphObject(JNIEnv *env, jobject self, jobject graphObject)
{
    DisplayLock lock;
    LiveWindow w = liveWindow(env, self);
    uint32_t handle = 0;
    const bool read = graphObject && readHandle(env, graphObject, javaIds(env).graphObjectHandle, handle);
    // A graph object the front panel took out of its window is not live
    // (it reads as 0 to its own natives) but is exactly what this native
    // links; one that is in a window already cannot be in a second.
    TQGraphObject *go = read ? openGraph(handle) : nullptr;
    if (!w || !go || go->windowLink.owner) {
        failed(env, "Failure in add graph object");
        return;
    }
    // The window takes over the caller's reference; the handle keeps its own.
    go->graphObjectAddRef(go);
    w.window->displayWindowAddGraphObject(w.window, go);
    rebindGraph(handle, w.stream.get());
    // Its channel entries still name the channels of the stream it was
    // shown with before, which may be another stream or gone: bind them to
    // this window's stream before anything draws it.
    w.stream->streamVerifyDisplayWindows(w.stream.get());
}

void Java_com_orvane_util_DisplayWindow_closeHandle(JNIEnv *env, jobject self)
{
    DisplayLock lock;
    uint32_t handle = 0;
    if (!readHandle(env, self, javaIds(env).windowHandle, handle))
        return;
    if (!closeWindow(handle))
        throwJava(env, javaIds(env).streamClosedException, "No stream handle to close");
}
