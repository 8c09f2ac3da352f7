// Native methods of com.orvane.util.TqStreamMsg: a message sink held in
// streamMsgHandle as a handle of the sink table, which holds the sink's one
// reference until close.
#include "natives.h"

#include <cstring>
#include <string>

#include "handles.h"
#include "jnilayer.h"
#include "tq/status.h"
#include "tqstream.h"

using namespace tq::panelmate;

namespace
{

// The sink handle of this TqStreamMsg; false when the field is missing.
bool sinkHandle(JNIEnv *env, jobject self, uint32_t &handle)
{
    const Ids &ids = javaIds(env);
    return ids.bound && readHandle(env, self, ids.streamMsgHandle, handle);
}

} // namespace

void Java_com_orvane_util_TqStreamMsg_create(JNIEnv *env, jobject self, jlong capacity)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    TQStreamMsg *sink = nullptr;
    if (tqstream_streamMsgCreate(static_cast<uint32_t>(capacity), &sink) != VI_SUCCESS || !sink) {
        throwJava(env, ids.handleException, "");
        return;
    }
    const uint32_t handle = ids.streamMsgHandle && self ? messageSinks().add(sink) : 0;
    if (handle == 0) {
        sink->streamMsgRelease(&sink);
        if (ids.streamMsgHandle && self)
            throwJava(env, ids.handleException, ""); // the table is full
        return;
    }
    env->SetIntField(self, ids.streamMsgHandle, static_cast<jint>(handle));
}

// The field keeps its value; a second close finds the handle gone and does
// nothing, so the sink's reference is dropped once.
void Java_com_orvane_util_TqStreamMsg_close(JNIEnv *env, jobject self)
{
    uint32_t handle = 0;
    if (!sinkHandle(env, self, handle) || handle == 0)
        return;
    if (TQStreamMsg *sink = messageSinks().remove(handle))
        sink->streamMsgRelease(&sink);
}

// The next message whole: a message longer than one chunk comes in several
// reads, each saying that more follows.
jstring Java_com_orvane_util_TqStreamMsg_read(JNIEnv *env, jobject self)
{
    uint32_t handle = 0;
    if (!sinkHandle(env, self, handle) || handle == 0)
        return nullptr;
    std::string text;
    bool failed = false;
    const bool live = messageSinks().withObject(handle, [&](TQStreamMsg *sink) {
        char chunk[1024];
        for (;;) {
            uint32_t length = 0;
            chunk[0] = '\0';
            const ViStatus st = tqstream_streamMsgRead(sink, chunk, sizeof chunk, &length);
            if (st != VI_SUCCESS && st != TQ_WARN_MORE_DATA)
                return;
            try {
                text.append(chunk, strnlen(chunk, sizeof chunk));
            } catch (...) {
                failed = true;
                return;
            }
            if (st == VI_SUCCESS)
                return;
        }
    });
    if (!live)
        return nullptr;
    if (failed) {
        throwJava(env, javaIds(env).outOfMemoryError, nullptr);
        return nullptr;
    }
    return javaString(env, text.c_str(), text.size());
}

void Java_com_orvane_util_TqStreamMsg_write(JNIEnv *env, jobject self, jstring text)
{
    uint32_t handle = 0;
    if (!sinkHandle(env, self, handle) || handle == 0)
        return;
    JavaText message(env, text);
    if (!message)
        return;
    int32_t r = 0;
    messageSinks().withObject(handle, [&](TQStreamMsg *sink) { r = sink->streamMsgPrintf(sink, "%s", message.c_str()); });
    if (r < 0)
        throwJava(env, javaIds(env).ioException, "");
}

jlong Java_com_orvane_util_TqStreamMsg_avail(JNIEnv *env, jobject self)
{
    uint32_t handle = 0;
    if (!sinkHandle(env, self, handle) || handle == 0)
        return 0;
    uint32_t count = 0;
    messageSinks().withObject(handle, [&](TQStreamMsg *sink) {
        if (tqstream_streamMsgAvail(sink, &count) != VI_SUCCESS)
            count = 0;
    });
    return static_cast<jlong>(count);
}
