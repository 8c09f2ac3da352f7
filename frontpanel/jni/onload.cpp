// Registration when the JVM loads the library itself (System.load), so the
// natives can run under a plain java as well as under the host program.
#include <jni.h>

#include "jnilayer.h"
#include "table.h"

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *)
{
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) != JNI_OK)
        return JNI_ERR;
    for (const auto &c : tq::panelmate::kNativeClasses) {
        jclass type = env->FindClass(c.className);
        if (!type)
            return JNI_ERR; // NoClassDefFoundError stays pending for System.load
        const jint rc = env->RegisterNatives(type, c.methods, static_cast<jint>(c.count));
        env->DeleteLocalRef(type);
        if (rc != JNI_OK)
            return JNI_ERR;
    }
    // The classes are all there (FindClass above): the ids bind once, now.
    if (!tq::panelmate::bindJavaIds(env))
        return JNI_ERR;
    return JNI_VERSION_1_2;
}
