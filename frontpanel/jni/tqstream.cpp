// Native methods of com.orvane.util.TqStream.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "jnilayer.h"
#include "streambridge.h"
#include "streamhandles.h"
#include "tqstream.h"


namespace
{

using namespace tq::panelmate;

// The stream of this TqStream, held for the native's time. False when the
// field is missing (the native then answers without effect) or when it holds
// 0, a stale or a foreign value (StreamClosedException pending). Every
// native of the class starts here, getRate's round trip among them: it is
// inlined whole.
[[gnu::always_inline]] inline bool streamOf(JNIEnv *env, jobject self, StreamHold &out)
{
    const Ids &ids = javaIds(env);
    uint32_t value = 0;
    if (!ids.bound || !readHandle(env, self, ids.streamHandle, value))
        return false;
    out = holdStreamValue(value);
    if (!out) {
        throwJava(env, ids.streamClosedException, "No stream handle");
        return false;
    }
    return true;
}

} // namespace

jdouble Java_com_orvane_util_TqStream_getRate(JNIEnv *env, jobject self)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return 0.0;
    return stream->streamGetRate(stream.get());
}

jstring Java_com_orvane_util_TqStream_getName(JNIEnv *env, jobject self)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return nullptr;
    const char *name = stream->streamGetName(stream.get());
    return javaString(env, name ? name : "", name ? strnlen(name, TQ_STREAM_NAME_SIZE) : 0);
}

// The count is 64-bit and the Java result an int: a count beyond the int
// range reads as the largest int rather than as the wrapped low 32 bits,
// which would run backwards and turn negative on a long acquisition.
jint Java_com_orvane_util_TqStream_getScansWritten(JNIEnv *env, jobject self)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return 0;
    const int64_t count = stream->streamGetScansWritten(stream.get());
    if (count > INT_MAX)
        return INT_MAX;
    if (count < INT_MIN)
        return INT_MIN;
    return static_cast<jint>(count);
}

void Java_com_orvane_util_TqStream_setOutputEnable(JNIEnv *env, jobject self, jboolean enable)
{
    StreamHold stream;
    if (streamOf(env, self, stream))
        stream->streamSetOutputEnable(stream.get(), enable ? 1 : 0);
}

void Java_com_orvane_util_TqStream_openFileStream(JNIEnv *env, jobject self, jstring path)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    JavaText text(env, path);
    if (!text)
        return;
    TQStream *stream = nullptr;
    if (tqstream_openFileStream(text.c_str(), &stream) < VI_SUCCESS || !stream)
        return;
    if (!ids.streamHandle || !self) {
        stream->streamRelease(&stream); // nowhere to keep it
        return;
    }
    env->SetIntField(self, ids.streamHandle, giveStreamToJava(stream));
}

// Drops the reference this handle was given; the field keeps its value. A
// handle that holds no reference of Java's (closed already, or a stream the
// manager listed) releases nothing and reads as a 0 handle.
void Java_com_orvane_util_TqStream_closeHandle(JNIEnv *env, jobject self)
{
    const Ids &ids = javaIds(env);
    uint32_t value = 0;
    if (!ids.bound || !readHandle(env, self, ids.streamHandle, value))
        return;
    if (value == 0 || !closeJavaStream(value))
        throwJava(env, ids.streamClosedException, "No stream handle to close");
}

void Java_com_orvane_util_TqStream_captureOpen(JNIEnv *env, jobject self, jstring file, jint mode)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return;
    JavaText name(env, file);
    if (!name)
        return;
    if (stream->streamCaptureOpen(stream.get(), name.c_str(), mode) < 0)
        throwJava(env, javaIds(env).ioException, "");
}

void Java_com_orvane_util_TqStream_captureClose(JNIEnv *env, jobject self)
{
    StreamHold stream;
    if (streamOf(env, self, stream))
        stream->streamCaptureClose(stream.get());
}

// The data lock belongs to the calling thread until it unlocks; the Java
// side holds it around its own sequence of calls.
void Java_com_orvane_util_TqStream_lock(JNIEnv *env, jobject self, jint timeoutMs)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return;
    const int32_t r = stream->streamLock(stream.get(), static_cast<uint32_t>(timeoutMs));
    if (r == TQS_ERR_LOCK_TIMEOUT)
        throwJava(env, javaIds(env).timeoutException, "Timeout on lock");
    else if (r != 0)
        throwJava(env, javaIds(env).nativeApiException, "Failure on lock");
}

// Only the thread that took the lock can let it go: an unlock from another
// thread changes nothing and says so, rather than leaving the caller to
// believe the stream free while its owner still holds it.
void Java_com_orvane_util_TqStream_unlock(JNIEnv *env, jobject self)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return;
    if (stream->streamUnlock(stream.get()) == 0)
        throwJava(env, javaIds(env).nativeApiException, "Failure on lock");
}

jdoubleArray Java_com_orvane_util_TqStream_getAveraged(JNIEnv *env, jobject self, jlong scans)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return nullptr;
    const uint16_t n = stream->streamGetNumberChannels(stream.get());
    std::vector<double> means;
    try {
        means.assign(n, 0.0);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    if (tqstream_getAveraged(stream.get(), scans, nullptr, n, means.data()) < VI_SUCCESS)
        return nullptr;
    jdoubleArray result = env->NewDoubleArray(n);
    if (!result)
        return nullptr;
    env->SetDoubleArrayRegion(result, 0, n, means.data());
    return result;
}

jint Java_com_orvane_util_TqStream_addListener(JNIEnv *env, jobject self, jint mask, jobject listener)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return 0;
    bool missing = false;
    StreamHold stream = holdStream(env, self, &missing);
    if (missing || !stream)
        return 0;
    return addStreamListener(env, self, stream.get(), mask, listener);
}

// Positions and counts stay 32-bit as the Java signature has them; they are
// widened with their sign.
jint Java_com_orvane_util_TqStream_clonen(JNIEnv *env, jobject self, jint position, jint whence, jint count)
{
    StreamHold stream;
    if (!streamOf(env, self, stream))
        return 0;
    TQStream *clone = nullptr;
    TQReader *reader = stream->streamNewReader(stream.get(), position, whence);
    if (reader) {
        clone = reader->readerCloneStream(reader, count);
        // The reader served the copy only, made or not.
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
    }
    if (!clone) {
        throwJava(env, javaIds(env).streamClosedException, "No stream handle");
        return 0;
    }
    return giveStreamToJava(clone);
}

void Java_com_orvane_util_TqStream_removeListener(JNIEnv *env, jobject, jint record)
{
    if (!javaIds(env).bound)
        return;
    removeStreamListener(env, record);
}
