// Native methods of com.orvane.util.MateVResource.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

jint Java_com_orvane_util_MateVResource_addListener(JNIEnv *env, jobject, jint, jobject)
{
    throwUnsupported(env, "MateVResource.addListener");
    return 0;
}

void Java_com_orvane_util_MateVResource_removeListener(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "MateVResource.removeListener");
}

void Java_com_orvane_util_MateVResource_setEnable(JNIEnv *env, jobject, jboolean)
{
    throwUnsupported(env, "MateVResource.setEnable");
}

jboolean Java_com_orvane_util_MateVResource_getEnable(JNIEnv *env, jobject)
{
    throwUnsupported(env, "MateVResource.getEnable");
    return JNI_FALSE;
}

void Java_com_orvane_util_MateVResource_close(JNIEnv *env, jobject)
{
    throwUnsupported(env, "MateVResource.close");
}
