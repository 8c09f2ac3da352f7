// Streams as the Java side holds them: TqStream.streamHandle is the stream's
// 32-bit value (tqstream_streamValue), the same value TqDaq.listStreams
// hands out, so a stream listed by the manager and one returned by a native
// read alike.
//
// A native that works on a stream holds it for its own time:
//
//     bool missing = false;
//     StreamHold stream = holdStream(env, self, &missing);
//     if (missing) return ...;          // the field does not exist
//     if (!stream) { throw "No stream handle"; return ...; } // 0, stale, foreign
//     stream->streamGetRate(stream.get());
//
// A native whose result is a stream for Java to keep (openFileStream,
// getFEStream, clonen, GraphObject.getStreamn) gives Java one reference with
// giveStreamToJava(), which TqStream.closeHandle later drops.
//
// A hold is no reference: it only keeps a destruction on another thread
// waiting until the native is done (the stream's reference count belongs to
// the thread that owns the stream's set-up and is touched here only through
// the ledger of Java's references). Take a hold in a native's own scope and
// let it go on the same thread.
#pragma once

#include <cstdint>
#include <jni.h>

#include "jnilayer.h"
#include "tqstream.h"

namespace tq::panelmate
{

class StreamHold {
public:
    StreamHold() = default;
    ~StreamHold() { tqstream_dropHeldAt(stream_, where_); }
    StreamHold(StreamHold &&other) noexcept : stream_(other.stream_), where_(other.where_)
    {
        other.stream_ = nullptr;
        other.where_ = nullptr;
    }
    StreamHold &operator=(StreamHold &&other) noexcept
    {
        if (this != &other) {
            tqstream_dropHeldAt(stream_, where_);
            stream_ = other.stream_;
            where_ = other.where_;
            other.stream_ = nullptr;
            other.where_ = nullptr;
        }
        return *this;
    }
    StreamHold(const StreamHold &) = delete;
    StreamHold &operator=(const StreamHold &) = delete;

    TQStream *get() const { return stream_; }
    TQStream *operator->() const { return stream_; }
    explicit operator bool() const { return stream_ != nullptr; }

private:
    friend StreamHold holdStreamValue(uint32_t value);
    StreamHold(TQStream *stream, uint32_t *where) : stream_(stream), where_(where) {}
    TQStream *stream_ = nullptr;
    uint32_t *where_ = nullptr; // where the hold is kept, when uncounted
};

// The live stream of a value, held until the StreamHold goes; empty for 0,
// a stale value or a value of another table. Every stream native takes one,
// so it is inline.
inline StreamHold holdStreamValue(uint32_t value)
{
    uint32_t *where = nullptr;
    TQStream *stream = tqstream_holdStreamAt(value, &where);
    return StreamHold(stream, where);
}

// The stream of a TqStream object's streamHandle; empty when the field holds
// 0, a stale or a foreign value. *fieldMissing (when given) says whether the
// object lacks the field (or is null), which natives answer apart.
inline StreamHold holdStream(JNIEnv *env, jobject tqStream, bool *fieldMissing = nullptr)
{
    uint32_t value = 0;
    const bool read = readHandle(env, tqStream, javaIds(env).streamHandle, value);
    if (fieldMissing)
        *fieldMissing = !read;
    return read ? holdStreamValue(value) : StreamHold();
}

// Takes over one reference of the stream that the caller owns and hands it
// to Java; the result is the value Java stores in streamHandle (0 for a null
// stream, and the reference is then dropped).
jint giveStreamToJava(TQStream *stream);

// TqStream.closeHandle: drops one reference that giveStreamToJava handed to
// Java under this value. False when Java holds none (0, a stale value, a
// value only listed by the manager, or every reference closed already): the
// caller answers as for a 0 handle, and nothing is released.
bool closeJavaStream(uint32_t value);

} // namespace tq::panelmate
