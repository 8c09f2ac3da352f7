#include "jnilayer.h"

#include "bridge.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace tq::panelmate
{

namespace
{

std::mutex g_bindLock;

jclass globalClass(JNIEnv *env, const char *name)
{
    jclass local = env->FindClass(name);
    if (!local)
        return nullptr;
    auto global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    return global;
}

// A field the class may lack: a missing one is a null id, and its
// NoSuchFieldError must not stay pending into the native that asked.
jfieldID optionalField(JNIEnv *env, const char *className, const char *name, const char *signature)
{
    jclass type = env->FindClass(className);
    if (!type) {
        env->ExceptionClear();
        return nullptr;
    }
    jfieldID id = env->GetFieldID(type, name, signature);
    if (!id)
        env->ExceptionClear();
    env->DeleteLocalRef(type);
    return id;
}

// A class the VM may lack (the AWT and Swing ones of a trimmed runtime):
// null with nothing pending.
jclass optionalClass(JNIEnv *env, const char *name)
{
    jclass type = globalClass(env, name);
    if (!type)
        env->ExceptionClear();
    return type;
}

jmethodID optionalMethod(JNIEnv *env, jclass type, const char *name, const char *signature)
{
    if (!type)
        return nullptr;
    jmethodID id = env->GetMethodID(type, name, signature);
    if (!id)
        env->ExceptionClear();
    return id;
}

// Appends a character as UTF-16.
void append(std::vector<jchar> &out, uint32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<jchar>(0xD800 + (c >> 10)));
        out.push_back(static_cast<jchar>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<jchar>(c));
    }
}

// Length of the well-formed UTF-8 sequence at p (1..4), 0 when it is not one.
size_t utf8Sequence(const unsigned char *p, size_t left, uint32_t &c)
{
    const unsigned char b = p[0];
    size_t n = 0;
    uint32_t min = 0;
    if (b < 0x80) {
        c = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (n > left)
        return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return n;
}

// javax.imageio's PNG reader, bound on first use (loading the image I/O
// classes would lengthen every start-up): it decodes a palette PNG into an
// indexed image several times faster than the toolkit's decoder behind
// ImageIcon(byte[]), which converts every pixel on an image fetcher thread.
struct PngReader {
    jclass bytesInput = nullptr;   // java.io.ByteArrayInputStream
    jmethodID bytesInputInit = nullptr;
    jclass memoryInput = nullptr;  // javax.imageio.stream.MemoryCacheImageInputStream
    jmethodID memoryInputInit = nullptr;
    jmethodID memoryInputClose = nullptr;
    jclass imageIo = nullptr;      // javax.imageio.ImageIO
    jmethodID read = nullptr;      // static read(ImageInputStream)
    jmethodID iconOfImage = nullptr; // ImageIcon(java.awt.Image)
    bool usable = false;
};

const PngReader &pngReader(JNIEnv *env, const Ids &ids)
{
    static PngReader reader;
    static std::atomic<bool> bound{false};
    static std::mutex lock;
    if (bound.load(std::memory_order_acquire))
        return reader;
    std::lock_guard<std::mutex> guard(lock);
    if (bound.load(std::memory_order_relaxed))
        return reader;
    PngReader r;
    r.bytesInput = optionalClass(env, "java/io/ByteArrayInputStream");
    r.bytesInputInit = optionalMethod(env, r.bytesInput, "<init>", "([B)V");
    r.memoryInput = optionalClass(env, "javax/imageio/stream/MemoryCacheImageInputStream");
    r.memoryInputInit = optionalMethod(env, r.memoryInput, "<init>", "(Ljava/io/InputStream;)V");
    r.memoryInputClose = optionalMethod(env, r.memoryInput, "close", "()V");
    r.imageIo = optionalClass(env, "javax/imageio/ImageIO");
    if (r.imageIo) {
        r.read = env->GetStaticMethodID(r.imageIo, "read",
                                        "(Ljavax/imageio/stream/ImageInputStream;)Ljava/awt/image/BufferedImage;");
        if (!r.read)
            env->ExceptionClear();
    }
    r.iconOfImage = optionalMethod(env, ids.imageIcon, "<init>", "(Ljava/awt/Image;)V");
    r.usable = r.bytesInputInit && r.memoryInputInit && r.memoryInputClose && r.read && r.iconOfImage;
    reader = r;
    bound.store(true, std::memory_order_release);
    return reader;
}

} // namespace

namespace detail
{
Ids ids;
std::atomic<bool> boundIds{false};
} // namespace detail

jobject imageIconOfPngBytes(JNIEnv *env, jbyteArray bytes) noexcept
{
    const Ids &ids = javaIds(env);
    if (!bytes || !ids.imageIcon || !ids.imageIconInit)
        return nullptr;
    const PngReader &r = pngReader(env, ids);
    if (r.usable) {
        jobject icon = nullptr;
        jobject input = env->NewObject(r.bytesInput, r.bytesInputInit, bytes);
        jobject stream = input ? env->NewObject(r.memoryInput, r.memoryInputInit, input) : nullptr;
        if (stream) {
            jobject image = env->CallStaticObjectMethod(r.imageIo, r.read, stream);
            if (image && !env->ExceptionCheck())
                icon = env->NewObject(ids.imageIcon, r.iconOfImage, image);
            env->DeleteLocalRef(image);
        }
        // Whatever failed on this road (bytes the reader refuses, no room)
        // leaves the toolkit's constructor below to answer, as it always did.
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            env->DeleteLocalRef(icon);
            icon = nullptr;
        }
        if (stream) {
            env->CallVoidMethod(stream, r.memoryInputClose);
            if (env->ExceptionCheck())
                env->ExceptionClear();
        }
        env->DeleteLocalRef(stream);
        env->DeleteLocalRef(input);
        if (icon)
            return icon;
    }
    // The toolkit's decoder: an icon even for bytes it cannot decode (with
    // its load status telling so), as ImageIcon(byte[]) always makes one.
    return env->NewObject(ids.imageIcon, ids.imageIconInit, bytes);
}

bool bindJavaIds(JNIEnv *env) noexcept
{
    std::lock_guard<std::mutex> guard(g_bindLock);
    if (detail::boundIds.load(std::memory_order_acquire))
        return true;
    Ids ids;
    if (env->GetJavaVM(&ids.vm) != JNI_OK)
        return false;
    struct Need {
        jclass *to;
        const char *name;
    } const classes[] = {
        {&ids.string, "java/lang/String"},
        {&ids.instrumentEvent, "com/orvane/util/InstrumentEvent"},
        {&ids.handleException, "com/orvane/util/HandleException"},
        {&ids.nativeApiException, "com/orvane/util/NativeAPIException"},
        {&ids.configurationException, "com/orvane/util/ConfigurationException"},
        {&ids.streamClosedException, "com/orvane/util/StreamClosedException"},
        {&ids.illegalArgumentException, "java/lang/IllegalArgumentException"},
        {&ids.ioException, "java/io/IOException"},
        {&ids.nullPointerException, "java/lang/NullPointerException"},
        {&ids.runtimeException, "java/lang/RuntimeException"},
        {&ids.outOfMemoryError, "java/lang/OutOfMemoryError"},
        {&ids.timeoutException, "java/util/concurrent/TimeoutException"},
    };
    for (const Need &n : classes) {
        *n.to = globalClass(env, n.name);
        if (!*n.to) {
            for (const Need &m : classes)
                if (*m.to)
                    env->DeleteGlobalRef(*m.to);
            return false; // NoClassDefFoundError pending for the caller
        }
    }
    ids.daqHandle = optionalField(env, "com/orvane/util/TqDaq", "daqHandle", "I");
    ids.vresourceDaq = optionalField(env, "com/orvane/util/MateVResource", "daq", "Lcom/orvane/util/TqDaq;");
    ids.vresourceName = optionalField(env, "com/orvane/util/MateVResource", "name", "Ljava/lang/String;");
    ids.streamMsgHandle = optionalField(env, "com/orvane/util/TqStreamMsg", "streamMsgHandle", "I");
    ids.streamHandle = optionalField(env, "com/orvane/util/TqStream", "streamHandle", "I");
    ids.feHandle = optionalField(env, "com/orvane/util/TqFormulaEngine", "feHandle", "I");
    ids.clearMask = optionalField(env, "com/orvane/util/InstrumentEvent", "clearMask", "I");
    ids.streamChannelHandle = optionalField(env, "com/orvane/util/StreamChannel", "pStreamChannel", "I");
    ids.streamChannelName = optionalField(env, "com/orvane/util/StreamChannel", "name", "Ljava/lang/String;");
    ids.windowHandle = optionalField(env, "com/orvane/util/DisplayWindow", "windowHandle", "I");
    ids.graphObjectHandle = optionalField(env, "com/orvane/util/GraphObject", "graphObjectHandle", "I");
    ids.imageIcon = optionalClass(env, "javax/swing/ImageIcon");
    ids.imageIconInit = optionalMethod(env, ids.imageIcon, "<init>", "([B)V");
    ids.rectangle = optionalClass(env, "java/awt/Rectangle");
    ids.rectangleInit = optionalMethod(env, ids.rectangle, "<init>", "(IIII)V");
    if (jclass color = env->FindClass("java/awt/Color")) {
        ids.colorGetRgb = optionalMethod(env, color, "getRGB", "()I");
        env->DeleteLocalRef(color);
    } else {
        env->ExceptionClear();
    }
    ids.instrumentEventInit =
        env->GetMethodID(ids.instrumentEvent, "<init>", "(Ljava/lang/Object;ILjava/lang/String;)V");
    if (!ids.instrumentEventInit)
        env->ExceptionClear(); // events then cannot be made; the bridge delivers none
    const jclass throwables[Ids::kThrowables] = {
        ids.handleException,  ids.nativeApiException, ids.configurationException,
        ids.streamClosedException, ids.illegalArgumentException, ids.ioException,
        ids.nullPointerException, ids.runtimeException, ids.outOfMemoryError, ids.timeoutException,
    };
    for (int i = 0; i < Ids::kThrowables; ++i) {
        ids.throwable[i] = throwables[i];
        ids.throwableInit[i] = env->GetMethodID(throwables[i], "<init>", "(Ljava/lang/String;)V");
        if (!ids.throwableInit[i])
            env->ExceptionClear();
    }
    ids.bound = true;
    detail::ids = ids;
    detail::boundIds.store(true, std::memory_order_release);
    watchVmDeath(ids.vm);
    return true;
}

void throwJava(JNIEnv *env, jclass type, const char *message) noexcept
{
    if (env->ExceptionCheck() || !type)
        return;
    // Through the (String) constructor rather than ThrowNew, whose message
    // must be modified UTF-8: messages here come from C buffers.
    jmethodID init = nullptr;
    for (int i = 0; i < Ids::kThrowables; ++i)
        if (detail::ids.throwable[i] == type)
            init = detail::ids.throwableInit[i];
    if (!init) {
        env->ThrowNew(type, "");
        return;
    }
    jstring text = message ? javaString(env, message) : nullptr;
    if (message && !text)
        return;
    auto error = static_cast<jthrowable>(env->NewObject(type, init, text));
    if (error) {
        env->Throw(error);
        env->DeleteLocalRef(error);
    }
    if (text)
        env->DeleteLocalRef(text);
}

jstring javaString(JNIEnv *env, const char *text) noexcept
{
    if (!text)
        return nullptr;
    // Plain ASCII is modified UTF-8 as it stands.
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    size_t i = 0;
    while (p[i] && p[i] < 0x80)
        ++i;
    if (p[i] == '\0')
        return env->NewStringUTF(text);
    return javaString(env, text, i + std::strlen(text + i));
}

jstring javaString(JNIEnv *env, const char *text, size_t length) noexcept
{
    if (!text)
        return nullptr;
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    try {
        std::vector<jchar> out;
        out.reserve(length);
        for (size_t at = 0; at < length;) {
            uint32_t c = 0;
            const size_t n = utf8Sequence(p + at, length - at, c);
            if (n == 0) {
                append(out, p[at]); // not UTF-8: the byte's Latin-1 character
                ++at;
            } else {
                append(out, c);
                at += n;
            }
        }
        if (out.size() > 0x7FFFFFFF) {
            throwJava(env, detail::ids.outOfMemoryError, "text too long for a Java String");
            return nullptr;
        }
        return env->NewString(out.data(), static_cast<jsize>(out.size()));
    } catch (...) {
        if (!env->ExceptionCheck() && detail::ids.outOfMemoryError)
            env->ThrowNew(detail::ids.outOfMemoryError, "no memory for a Java String");
        return nullptr;
    }
}

JavaText::JavaText(JNIEnv *env, jstring text, Null onNull) noexcept : env_(env), text_(text)
{
    if (env->ExceptionCheck())
        return;
    if (!text) {
        switch (onNull) {
        case Null::Throw:
            throwJava(env, javaIds(env).nullPointerException, nullptr);
            return;
        case Null::Null:
            ok_ = true;
            return;
        case Null::Empty:
            empty_ = true;
            ok_ = true;
            return;
        }
        return;
    }
    chars_ = env->GetStringUTFChars(text, nullptr);
    ok_ = chars_ != nullptr; // OutOfMemoryError pending otherwise
}

JavaText::~JavaText()
{
    if (chars_)
        env_->ReleaseStringUTFChars(text_, chars_);
}

size_t JavaText::size() const
{
    return chars_ ? std::strlen(chars_) : 0;
}

} // namespace tq::panelmate
