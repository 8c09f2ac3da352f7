#include "streambridge.h"

#include <cstring>
#include <new>

#include "bridge.h"
#include "handles.h"
#include "jnilayer.h"
#include "streamhandles.h"
#include "tqstream.h"

namespace tq::panelmate
{

namespace
{

// The record has the shape of the instrument listener record: its name
// stays empty, the stream comes in its place.
struct StreamListenerRecord final : PinnedRecord {
    uint32_t stream = 0; // the stream's value: a stream gone meanwhile reads as none
    char name[128] = {};
    char message[TQ_STREAM_MESSAGE_SIZE] = {};
    uint32_t mask = 0;
    jobject source = nullptr;   // global: the TqStream
    jobject listener = nullptr; // global
    jmethodID actionPerformed = nullptr;

    void release(JNIEnv *env) noexcept override
    {
        if (source)
            env->DeleteGlobalRef(source);
        if (listener)
            env->DeleteGlobalRef(listener);
        source = listener = nullptr;
    }
};

RecordTable &streamListeners()
{
    static RecordTable table(platform::kHandleKindPanelStreamListener);
    return table;
}

void *userDataOf(uint32_t handle)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(handle));
}

// Runs on the posting thread (a driver's acquisition or callback thread, or
// a Java thread), under the stream's handler lock: an uninstall waits for it.
int32_t streamEventBridge(TQStream *, uint32_t events, void *user, uint32_t *clearMask, char *message) noexcept
{
    const auto handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user));
    char text[TQ_STREAM_MESSAGE_SIZE + 1] = {};
    if (message)
        std::memcpy(text, message, strnlen(message, TQ_STREAM_MESSAGE_SIZE));
    VmEntry vm;
    if (!vm.env())
        return 0;
    RecordTable::Pin pin = streamListeners().pin(handle);
    if (!pin)
        return 0;
    const auto *record = static_cast<const StreamListenerRecord *>(pin.get());
    deliverEvent(vm.env(), record->listener, record->actionPerformed, record->source, events, text, clearMask);
    pin.reset(vm.env());
    return 0;
}

} // namespace

jint addStreamListener(JNIEnv *env, jobject tqStream, TQStream *stream, jint mask, jobject listener)
{
    const Ids &ids = javaIds(env);
    if (!listener) {
        throwJava(env, ids.nullPointerException, "listener");
        return 0;
    }
    jclass type = env->GetObjectClass(listener);
    jmethodID actionPerformed = env->GetMethodID(type, "actionPerformed", "(Lcom/orvane/util/InstrumentEvent;)V");
    env->DeleteLocalRef(type);
    if (!actionPerformed)
        return 0; // NoSuchMethodError pending: nothing could ever be delivered

    auto *record = new (std::nothrow) StreamListenerRecord;
    if (!record)
        return 0;
    record->stream = tqstream_streamValue(stream);
    record->mask = static_cast<uint32_t>(mask);
    record->actionPerformed = actionPerformed;
    record->source = env->NewGlobalRef(tqStream);
    record->listener = env->NewGlobalRef(listener);
    const uint32_t handle = record->source && record->listener ? streamListeners().add(record) : 0;
    if (handle == 0) {
        record->release(env);
        delete record;
        return 0;
    }
    if (stream->streamInstallEventHandler(stream, record->mask, &streamEventBridge, userDataOf(handle),
                                          record->message) < 0) {
        streamListeners().retire(env, handle);
        return 0;
    }
    return static_cast<jint>(handle);
}

void removeStreamListener(JNIEnv *env, jint value)
{
    const auto handle = static_cast<uint32_t>(value);
    {
        RecordTable::Pin pin = streamListeners().pin(handle);
        if (!pin)
            return;
        const auto *record = static_cast<const StreamListenerRecord *>(pin.get());
        // Uninstalled first: it returns once no delivery to this record runs
        // any more. A stream gone meanwhile took its handlers with it.
        StreamHold stream = holdStreamValue(record->stream);
        if (stream)
            stream->streamUninstallEventHandler(stream.get(), record->mask, &streamEventBridge, userDataOf(handle));
        pin.reset(env);
    }
    streamListeners().retire(env, handle);
}

} // namespace tq::panelmate
