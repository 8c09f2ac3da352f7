// What a native method that is not built yet does.
#pragma once

#include <jni.h>

namespace tq::panelmate
{

// Throws java.lang.UnsupportedOperationException with the native's name
// ("TqDaq.getHandle") as the message; the caller returns a zero value.
void throwUnsupported(JNIEnv *env, const char *native) noexcept;

} // namespace tq::panelmate
