// Native methods of com.orvane.util.MateVResource, and the bridge that
// hands a virtual resource's instrument events to its Java listeners.
//
// A listener record is known to Java and to the resource manager only by
// its handle (the manager keeps it as the handler's user data), so an event
// for a record that was removed meanwhile finds nothing rather than freed
// memory. The record goes only once its handler is uninstalled and no
// delivery still uses it.
#include <cstdint>
#include <cstring>
#include <new>

#include "bridge.h"
#include "handles.h"
#include "jnilayer.h"
#include "natives.h"
#include "tq/platform/text.h"
#include "tqdaq.h"

namespace tq::panelmate
{

namespace
{

// The event message buffer the drivers fill: 256 bytes (tqpnp.h).
constexpr size_t kEventMessageSize = 256;

struct ListenerRecord final : PinnedRecord {
    ViSession session = 0;
    char name[TQDAQ_NAME_SIZE] = {}; // the manager's own limit for names
    ViChar message[kEventMessageSize] = {};
    ViUInt32 mask = 0;
    jobject source = nullptr;   // global: the MateVResource
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

RecordTable &listeners()
{
    static RecordTable table(platform::kHandleKindPanelListener);
    return table;
}

void *userDataOf(uint32_t handle)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(handle));
}

ViStatus vresourceEventBridge(ViConstString, ViUInt32 events, void *userData, ViUInt32 *clearMask,
                              ViChar *message) noexcept
{
    const auto handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(userData));
    // The text as it is now: the driver may write the buffer again for the
    // next event while this one is delivered.
    char text[kEventMessageSize + 1] = {};
    if (message)
        std::memcpy(text, message, strnlen(message, kEventMessageSize));
    VmEntry vm;
    if (!vm.env())
        return VI_SUCCESS;
    RecordTable::Pin pin = listeners().pin(handle);
    if (!pin)
        return VI_SUCCESS;
    const auto *record = static_cast<const ListenerRecord *>(pin.get());
    deliverEvent(vm.env(), record->listener, record->actionPerformed, record->source, events, text, clearMask);
    pin.reset(vm.env());
    return VI_SUCCESS;
}

// The session and the resource name of a MateVResource; false when a field
// is missing, the session is 0 or the name is null.
struct Resource {
    ViSession session = 0;
    jstring name = nullptr;
};

bool resourceOf(JNIEnv *env, jobject self, Resource &out)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound || !ids.vresourceDaq || !ids.vresourceName || !ids.daqHandle)
        return false;
    jobject daq = env->GetObjectField(self, ids.vresourceDaq);
    uint32_t h = 0;
    const bool haveSession = readHandle(env, daq, ids.daqHandle, h) && h != 0;
    if (daq)
        env->DeleteLocalRef(daq);
    if (!haveSession)
        return false;
    out.session = h;
    out.name = static_cast<jstring>(env->GetObjectField(self, ids.vresourceName));
    return out.name != nullptr;
}

} // namespace

} // namespace tq::panelmate

using namespace tq::panelmate;

jint Java_com_orvane_util_MateVResource_addListener(JNIEnv *env, jobject self, jint mask, jobject listener)
{
    const Ids &ids = javaIds(env);
    Resource r;
    if (!resourceOf(env, self, r))
        return 0;
    JavaText name(env, r.name);
    if (!name)
        return 0;
    if (!listener) {
        throwJava(env, ids.nullPointerException, "listener");
        return 0;
    }
    if (name.size() >= TQDAQ_NAME_SIZE) {
        // Cut to fit, the name would name another resource, or none.
        throwJava(env, ids.nativeApiException, "Failure in tqdaq_installEventHandler");
        return 0;
    }
    jclass type = env->GetObjectClass(listener);
    jmethodID actionPerformed = env->GetMethodID(type, "actionPerformed", "(Lcom/orvane/util/InstrumentEvent;)V");
    env->DeleteLocalRef(type);
    if (!actionPerformed)
        return 0; // NoSuchMethodError pending: nothing could ever be delivered

    auto *record = new (std::nothrow) ListenerRecord;
    if (!record)
        return 0;
    record->session = r.session;
    tq::platform::copyText(record->name, name.c_str());
    record->mask = static_cast<ViUInt32>(mask);
    record->actionPerformed = actionPerformed;
    record->source = env->NewGlobalRef(self);
    record->listener = env->NewGlobalRef(listener);
    const uint32_t handle = record->source && record->listener ? listeners().add(record) : 0;
    if (handle == 0) {
        record->release(env);
        delete record;
        return 0;
    }
    const ViStatus st = tqdaq_installEventHandler(r.session, record->name, record->mask, &vresourceEventBridge,
                                                  userDataOf(handle), record->message);
    if (st < VI_SUCCESS) {
        listeners().retire(env, handle);
        throwJava(env, ids.nativeApiException, "Failure in tqdaq_installEventHandler");
        return 0;
    }
    return static_cast<jint>(handle);
}

void Java_com_orvane_util_MateVResource_removeListener(JNIEnv *env, jobject, jint value)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    const auto handle = static_cast<uint32_t>(value);
    ViStatus st = VI_ERROR_INV_OBJECT;
    {
        RecordTable::Pin pin = listeners().pin(handle);
        if (pin) {
            const auto *record = static_cast<const ListenerRecord *>(pin.get());
            // Uninstalled first: until the manager lets go of the handler,
            // a delivery may still come for this record.
            st = tqdaq_uninstallEventHandler(record->session, record->name, record->mask, &vresourceEventBridge,
                                             userDataOf(handle));
        }
        pin.reset(env);
    }
    // A failed uninstall keeps the record: the handler may still be called.
    if (st < VI_SUCCESS || !listeners().retire(env, handle))
        throwJava(env, ids.nativeApiException, "Failure in tqdaq_uninstallEventHandler");
}

void Java_com_orvane_util_MateVResource_setEnable(JNIEnv *env, jobject self, jboolean enable)
{
    Resource r;
    if (!resourceOf(env, self, r))
        return;
    JavaText name(env, r.name);
    if (!name)
        return;
    tqdaq_setVresourceEnable(r.session, name.c_str(), enable ? 1 : 0);
}

jboolean Java_com_orvane_util_MateVResource_getEnable(JNIEnv *env, jobject self)
{
    Resource r;
    if (!resourceOf(env, self, r))
        return JNI_FALSE;
    JavaText name(env, r.name);
    if (!name)
        return JNI_FALSE;
    ViInt16 enable = 0;
    return tqdaq_getVresourceEnable(r.session, name.c_str(), &enable) >= VI_SUCCESS && enable == 1 ? JNI_TRUE
                                                                                                  : JNI_FALSE;
}

// The message is the one callers have always seen for a failed close, odd
// as it reads; code may match it.
void Java_com_orvane_util_MateVResource_close(JNIEnv *env, jobject self)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    Resource r;
    if (!resourceOf(env, self, r)) {
        throwJava(env, ids.nativeApiException, "failure to create FE");
        return;
    }
    JavaText name(env, r.name);
    if (!name)
        return;
    if (tqdaq_closeVresource(r.session, name.c_str()) < VI_SUCCESS)
        throwJava(env, ids.nativeApiException, "failure to create FE");
}
