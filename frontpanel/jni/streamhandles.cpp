#include "streamhandles.h"

#include "jnilayer.h"

#include "tqstream.h"

namespace tq::panelmate
{

StreamHold::~StreamHold()
{
    if (stream_)
        stream_->streamRelease(&stream_);
}

StreamHold &StreamHold::operator=(StreamHold &&other) noexcept
{
    if (this != &other) {
        if (stream_)
            stream_->streamRelease(&stream_);
        stream_ = other.stream_;
        other.stream_ = nullptr;
    }
    return *this;
}

StreamHold holdStreamValue(uint32_t value)
{
    TQStream *stream = tqstream_streamOfValue(value);
    if (!stream)
        return {};
    stream->streamAddRef(stream);
    return StreamHold(stream);
}

StreamHold holdStream(JNIEnv *env, jobject tqStream, bool *fieldMissing)
{
    uint32_t value = 0;
    const bool read = readHandle(env, tqStream, javaIds(env).streamHandle, value);
    if (fieldMissing)
        *fieldMissing = !read;
    return read ? holdStreamValue(value) : StreamHold();
}

jint giveStreamToJava(TQStream *stream)
{
    return stream ? static_cast<jint>(tqstream_streamValue(stream)) : 0;
}

} // namespace tq::panelmate
