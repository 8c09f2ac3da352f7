// Display windows (DisplayWindow.windowHandle) and graph objects
// (GraphObject.graphObjectHandle) as the Java side holds them: handles of two
// tables of their own, never addresses.
//
// Each handle holds one reference on its object, dropped by the close
// native, so the record behind a handle is never freed under it. A handle
// also remembers the value of the stream its object was shown with. It reads
// as live only while that stream still exists and the object still belongs
// to it: a window in the stream's window list, a graph object in a window in
// that list. A window whose stream was destroyed or that left the stream's
// list, and a graph object removed from its window or whose window was
// closed, read as 0 to every native, as a 0 field does; their close still
// drops the handle's reference, once.
//
// How a native uses it:
//
//     DisplayLock lock;                              // for the whole native
//     LiveWindow w = liveWindow(env, self);          // w.missing: no field
//     if (!w) { throw "No stream handle"; return; }  // 0, stale, foreign
//     w.window->displayWindowSetXPos(w.window, x);
//
// The stream engine's display model has no lock of its own: its lists and
// reference counts are changed by whoever calls it. Every native here works
// on it under DisplayLock, so that Java threads calling these natives at the
// same time do not interleave inside it. The lock is recursive: a listener
// that a native's work calls back (the text export posts progress events)
// may call these natives again on the same thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <jni.h>
#include <mutex>
#include <string>

#include "jnilayer.h"
#include "streamhandles.h"

struct TQDisplayWindow;
struct TQGraphObject;

namespace tq::panelmate
{

std::recursive_mutex &displayMutex();

class DisplayLock
{
  public:
    DisplayLock() : guard_(displayMutex()) {}

  private:
    std::lock_guard<std::recursive_mutex> guard_;
};

// A window or graph object that is live, with its stream held for the time
// of the native; empty for a 0, stale or foreign handle. missing tells a
// missing field (or a null object) apart.
struct LiveWindow {
    TQDisplayWindow *window = nullptr;
    StreamHold stream;
    bool missing = false;
    explicit operator bool() const { return window != nullptr; }
};

struct LiveGraph {
    TQGraphObject *go = nullptr;
    StreamHold stream;
    bool missing = false;
    explicit operator bool() const { return go != nullptr; }
};

// By handle value, and from the Java object's field. Call under DisplayLock.
LiveWindow liveWindow(uint32_t handle);
LiveWindow liveWindow(JNIEnv *env, jobject displayWindow);
LiveGraph liveGraph(uint32_t handle);
LiveGraph liveGraph(JNIEnv *env, jobject graphObject);

// The graph object of an open handle whatever its state (live or not), or
// null: for the natives that work on a graph object that is out of every
// window (linking it into one, giving back its lock levels).
TQGraphObject *openGraph(uint32_t handle);

// New handles for Java. Each takes over one reference that the caller owns
// (and drops it when no handle can be had: the result is then 0); the
// stream is the one the object is shown with. Call under DisplayLock.
jint giveWindowToJava(TQDisplayWindow *window, TQStream *stream);
jint giveGraphToJava(TQGraphObject *go, TQStream *stream);

// The graph object of the handle is now shown with this stream (it was
// linked into one of its windows).
void rebindGraph(uint32_t handle, TQStream *stream);

// The close natives: remove the handle and drop its reference. False when
// the handle was not open (0, closed already, foreign). Call under DisplayLock.
bool closeWindow(uint32_t handle);
bool closeGraph(uint32_t handle);

// A javax.swing.ImageIcon of the PNG bytes the stream engine rendered. The
// PNG is handed back through freeGraph in every case, before anything that
// could fail in Java. Null when the VM could not make it (an exception is
// then pending, or the VM lacks the class).
jobject imageIconOfPng(JNIEnv *env, void *png, uint32_t size, int32_t (*freeGraph)(void *object, void *image));

// A text the stream engine hands out in 1024-byte chunks: call(chunk, size,
// &length) is repeated while it answers more; the chunk of the final answer
// done is kept, and any other answer ends the text without its chunk. The
// result is the text collected (a Java String), or null with an exception
// pending when the VM had no room.
template <typename Call> jstring chunkedText(JNIEnv *env, Call call, long more, long done)
{
    std::string text;
    char chunk[1024];
    for (;;) {
        uint32_t length = 0;
        chunk[0] = '\0';
        const long rc = call(chunk, static_cast<uint32_t>(sizeof chunk), &length);
        if (rc != more && rc != done)
            break;
        // The chunk is terminated text: read up to its terminator rather than
        // trust the count beyond the buffer.
        text.append(chunk, strnlen(chunk, sizeof chunk - 1));
        if (rc == done)
            break;
    }
    return javaString(env, text.data(), text.size());
}

} // namespace tq::panelmate
