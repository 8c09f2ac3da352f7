// What every native of libpanelmatejni stands on: the classes, field and
// method ids it needs (looked up once), Java strings from C text and back,
// and exceptions.
//
// How a native uses it:
//
//     void Java_..._setDB(JNIEnv *env, jobject self, jstring name)
//     {
//         const Ids &ids = javaIds(env);            // bound once per process
//         ViSession h = 0;
//         if (!readInt(env, self, ids.daqHandle, h)) // field missing: the table's answer
//             return;
//         JavaText text(env, name);                  // null: NullPointerException pending
//         if (!text)
//             return;
//         if (tqdaq_setDB(h, text.c_str()) < VI_SUCCESS)
//             throwJava(env, ids.nativeApiException, "Failure in setDB");
//     }
//
// Text from C (names, messages, listings) becomes Java text with
// javaString(), which accepts any bytes: stored names need not be UTF-8, and
// NewStringUTF must never see bytes that are not modified UTF-8. Exceptions
// go through throwJava(), which never throws over one already pending.
// A native that makes local references in a loop opens a LocalFrame.
//
// The ids are looked up when the library is loaded by a plain java
// (JNI_OnLoad), and by the first native call when the host program
// registered the natives itself. A field that the loaded classes lack reads
// as a null id with no NoSuchFieldError left pending; natives answer that as
// their table says.
#pragma once

#include <atomic>
#include <cstdint>
#include <jni.h>
#include <string>

namespace tq::panelmate
{

struct Ids {
    JavaVM *vm = nullptr;

    // Global references, never null once bound.
    jclass string = nullptr;
    jclass instrumentEvent = nullptr;
    jclass handleException = nullptr;
    jclass nativeApiException = nullptr;
    jclass configurationException = nullptr;
    jclass streamClosedException = nullptr;
    jclass illegalArgumentException = nullptr;
    jclass ioException = nullptr;
    jclass nullPointerException = nullptr;
    jclass runtimeException = nullptr;
    jclass outOfMemoryError = nullptr;
    jclass timeoutException = nullptr; // java.util.concurrent.TimeoutException

    // Java types the stream and display natives build or read; null when the
    // VM lacks them (the natives then answer null).
    jclass imageIcon = nullptr;              // javax.swing.ImageIcon
    jmethodID imageIconInit = nullptr;       // ([B)V
    jclass rectangle = nullptr;              // java.awt.Rectangle
    jmethodID rectangleInit = nullptr;       // (IIII)V
    jmethodID colorGetRgb = nullptr;         // java.awt.Color.getRGB ()I

    // Fields of the front panel's classes: null when the class lacks them.
    jfieldID daqHandle = nullptr;       // TqDaq.daqHandle I
    jfieldID vresourceDaq = nullptr;    // MateVResource.daq LTqDaq;
    jfieldID vresourceName = nullptr;   // MateVResource.name LString;
    jfieldID streamMsgHandle = nullptr; // TqStreamMsg.streamMsgHandle I
    jfieldID streamHandle = nullptr;    // TqStream.streamHandle I
    jfieldID feHandle = nullptr;        // TqFormulaEngine.feHandle I
    jfieldID clearMask = nullptr;       // InstrumentEvent.clearMask I
    jfieldID streamChannelHandle = nullptr; // StreamChannel.pStreamChannel I
    jfieldID streamChannelName = nullptr;   // StreamChannel.name LString;
    jfieldID windowHandle = nullptr;        // DisplayWindow.windowHandle I
    jfieldID graphObjectHandle = nullptr;   // GraphObject.graphObjectHandle I

    jmethodID instrumentEventInit = nullptr; // (Object, int, String)

    // The (String) constructors of the classes above that are thrown.
    static constexpr int kThrowables = 10;
    jclass throwable[kThrowables] = {};
    jmethodID throwableInit[kThrowables] = {};
    bool bound = false;
};

// Binds the ids now (JNI_OnLoad); false when a class is missing.
bool bindJavaIds(JNIEnv *env) noexcept;

namespace detail
{
// Written once under a lock, then only read: boundIds publishes them.
extern Ids ids;
extern std::atomic<bool> boundIds;
} // namespace detail

// The ids, looked up on the first call of the process. A VM without the
// front panel's classes leaves a NoClassDefFoundError pending and ids that
// are not bound (bound false): the native then returns at once. Every
// native call asks for them: past the first call it is one load.
inline const Ids &javaIds(JNIEnv *env) noexcept
{
    if (!detail::boundIds.load(std::memory_order_acquire)) [[unlikely]]
        bindJavaIds(env);
    return detail::ids;
}

// A javax.swing.ImageIcon of PNG bytes, decoded by javax.imageio where the
// VM has it and by the toolkit (ImageIcon(byte[])) otherwise or when that
// reader refuses the bytes. Null when the VM lacks ImageIcon or had no room
// (an exception is then pending).
jobject imageIconOfPngBytes(JNIEnv *env, jbyteArray bytes) noexcept;

// Throws a new exception of the class with the message (any bytes), unless
// an exception is pending already: the first one stands. A null message
// constructs the exception with a null message.
void throwJava(JNIEnv *env, jclass type, const char *message) noexcept;

// Java text of C bytes: UTF-8 sequences keep their characters, and every
// other byte stands for the character of the same value (ISO 8859-1), so no
// text is ever refused. Null for a null pointer; null with OutOfMemoryError
// pending when the VM has no room.
jstring javaString(JNIEnv *env, const char *text) noexcept;
jstring javaString(JNIEnv *env, const char *text, size_t length) noexcept;

// A Java String's modified UTF-8 text for the time of one call.
class JavaText {
public:
    enum class Null {
        Throw, // a null String throws NullPointerException
        Null,  // a null String gives a null pointer
        Empty, // a null String gives ""
    };
    JavaText(JNIEnv *env, jstring text, Null onNull = Null::Throw) noexcept;
    ~JavaText();
    JavaText(const JavaText &) = delete;
    JavaText &operator=(const JavaText &) = delete;

    // False when the text could not be had (an exception is pending then).
    explicit operator bool() const { return ok_; }
    const char *c_str() const { return chars_ ? chars_ : (empty_ ? "" : nullptr); }
    size_t size() const;

private:
    JNIEnv *env_;
    jstring text_;
    const char *chars_ = nullptr;
    bool empty_ = false;
    bool ok_ = false;
};

// Reads an int field; false when the field id is null (the field is missing)
// or the object is null.
inline bool readInt(JNIEnv *env, jobject object, jfieldID field, int32_t &value) noexcept
{
    if (!field || !object)
        return false;
    value = env->GetIntField(object, field);
    return true;
}
inline bool readHandle(JNIEnv *env, jobject object, jfieldID field, uint32_t &value) noexcept
{
    int32_t v = 0;
    if (!readInt(env, object, field, v))
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// Local references made between open and the destructor are dropped
// together; push failing leaves OutOfMemoryError pending and ok() false.
class LocalFrame {
public:
    LocalFrame(JNIEnv *env, jint capacity) noexcept : env_(env), ok_(env->PushLocalFrame(capacity) == JNI_OK) {}
    ~LocalFrame()
    {
        if (ok_)
            env_->PopLocalFrame(nullptr);
    }
    // Pops the frame keeping one reference, which the caller's frame gets back.
    jobject keep(jobject result) noexcept
    {
        ok_ = false;
        return env_->PopLocalFrame(result);
    }
    bool ok() const { return ok_; }
    LocalFrame(const LocalFrame &) = delete;
    LocalFrame &operator=(const LocalFrame &) = delete;

private:
    JNIEnv *env_;
    bool ok_;
};

} // namespace tq::panelmate
