#include "unsupported.h"

#include <string>

namespace tq::panelmate
{

void throwUnsupported(JNIEnv *env, const char *native) noexcept
{
    if (env->ExceptionCheck())
        return;
    jclass type = env->FindClass("java/lang/UnsupportedOperationException");
    if (!type)
        return; // FindClass left its own error pending
    try {
        const std::string message = std::string("native ") + native + " is not implemented";
        env->ThrowNew(type, message.c_str());
    } catch (...) {
        env->ThrowNew(type, native);
    }
    env->DeleteLocalRef(type);
}

} // namespace tq::panelmate
