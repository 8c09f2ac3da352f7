// The native methods of the front panel's Java classes as one table: nine
// classes in registration order, each with its (name, signature, function)
// entries in the order the classes declare them. The host program registers
// it after creating the VM; JNI_OnLoad registers the same table when a plain
// java loads libpanelmatejni.
#pragma once

#include <cstddef>
#include <jni.h>

namespace tq::panelmate
{

struct NativeClass {
    const char *className; // "com/orvane/util/TqDaq"
    const JNINativeMethod *methods;
    size_t count;
};

constexpr size_t kNativeClassCount = 9;
constexpr size_t kNativeMethodCount = 131;
extern const NativeClass kNativeClasses[kNativeClassCount];

} // namespace tq::panelmate
