// Native methods of com.orvane.util.StreamChannel: pStreamChannel holds a
// handle of the channel table naming a stream (by its value) and a channel
// (by its name); each use looks the channel up again in the held stream.
#include "natives.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "handles.h"
#include "jnilayer.h"
#include "streamhandles.h"
#include "tq/platform/text.h"
#include "tqstream.h"

using namespace tq::panelmate;

namespace
{

// One handle per (stream, channel name), so that Java objects initialised
// again and again do not fill the table; the entries of streams that went
// are dropped when they are next met.
struct ChannelHandles {
    std::mutex lock;
    std::map<std::pair<uint32_t, std::string>, uint32_t> byChannel;
};

ChannelHandles &channelHandles()
{
    static ChannelHandles *c = new ChannelHandles;
    return *c;
}

uint32_t channelHandle(uint32_t stream, const char *name)
{
    ChannelHandles &c = channelHandles();
    std::lock_guard<std::mutex> guard(c.lock);
    try {
        auto key = std::make_pair(stream, std::string(name));
        auto it = c.byChannel.find(key);
        if (it != c.byChannel.end()) {
            if (streamChannels().lookup(it->second))
                return it->second;
            c.byChannel.erase(it);
        }
        auto *entry = new ChannelEntry{};
        entry->stream = stream;
        tq::platform::copyText(entry->name, sizeof entry->name, name);
        const uint32_t handle = streamChannels().add(entry);
        if (handle == 0) {
            delete entry;
            return 0;
        }
        c.byChannel.emplace(std::move(key), handle);
        return handle;
    } catch (...) {
        return 0;
    }
}

// Forgets the handle of a channel whose stream went.
void dropChannelHandle(uint32_t handle)
{
    ChannelHandles &c = channelHandles();
    std::lock_guard<std::mutex> guard(c.lock);
    ChannelEntry *entry = streamChannels().remove(handle);
    if (!entry)
        return;
    c.byChannel.erase(std::make_pair(entry->stream, std::string(entry->name)));
    delete entry;
}

} // namespace

void Java_com_orvane_util_StreamChannel_initStreamChannel(JNIEnv *env, jobject self, jobject tqStream)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    StreamHold stream = holdStream(env, tqStream);
    if (!stream) {
        throwJava(env, ids.streamClosedException, "No stream handle");
        return;
    }
    if (!ids.streamChannelHandle || !self)
        return;
    jstring nameField = ids.streamChannelName ? static_cast<jstring>(env->GetObjectField(self, ids.streamChannelName))
                                              : nullptr;
    jint handle = 0;
    {
        JavaText name(env, nameField, JavaText::Null::Null);
        if (!name)
            return;
        TQStreamChannel *channel = nullptr;
        if (name.c_str() && tqstream_getChannel(stream.get(), name.c_str(), &channel) == VI_SUCCESS && channel)
            handle = static_cast<jint>(channelHandle(tqstream_streamValue(stream.get()), channel->name));
    }
    if (nameField)
        env->DeleteLocalRef(nameField);
    env->SetIntField(self, ids.streamChannelHandle, handle);
}

void Java_com_orvane_util_StreamChannel_setGraphChannelEnable(JNIEnv *env, jobject self, jboolean enable)
{
    const Ids &ids = javaIds(env);
    uint32_t handle = 0;
    if (!ids.bound || !readHandle(env, self, ids.streamChannelHandle, handle))
        return;
    ChannelEntry entry{};
    if (handle != 0)
        streamChannels().withObject(handle, [&](ChannelEntry *e) { entry = *e; });
    StreamHold stream = holdStreamValue(entry.stream);
    TQStreamChannel *channel = nullptr;
    if (stream)
        channel = stream->streamGetChannel(stream.get(), entry.name);
    if (!channel) {
        if (handle != 0 && !stream)
            dropChannelHandle(handle);
        throwJava(env, ids.streamClosedException, "No stream handle");
        return;
    }
    tqstream_setGraphChannelEnable(channel, enable ? 1 : 0);
}
