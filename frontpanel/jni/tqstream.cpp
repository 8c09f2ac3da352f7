// Native methods of com.orvane.util.TqStream.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

jdouble Java_com_orvane_util_TqStream_getRate(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStream.getRate");
    return 0.0;
}

jstring Java_com_orvane_util_TqStream_getName(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStream.getName");
    return nullptr;
}

jint Java_com_orvane_util_TqStream_getScansWritten(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStream.getScansWritten");
    return 0;
}

void Java_com_orvane_util_TqStream_setOutputEnable(JNIEnv *env, jobject, jboolean)
{
    throwUnsupported(env, "TqStream.setOutputEnable");
}

void Java_com_orvane_util_TqStream_openFileStream(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqStream.openFileStream");
}

void Java_com_orvane_util_TqStream_closeHandle(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStream.closeHandle");
}

void Java_com_orvane_util_TqStream_captureOpen(JNIEnv *env, jobject, jstring, jint)
{
    throwUnsupported(env, "TqStream.captureOpen");
}

void Java_com_orvane_util_TqStream_captureClose(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStream.captureClose");
}

void Java_com_orvane_util_TqStream_lock(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "TqStream.lock");
}

void Java_com_orvane_util_TqStream_unlock(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStream.unlock");
}

jdoubleArray Java_com_orvane_util_TqStream_getAveraged(JNIEnv *env, jobject, jlong)
{
    throwUnsupported(env, "TqStream.getAveraged");
    return nullptr;
}

jint Java_com_orvane_util_TqStream_addListener(JNIEnv *env, jobject, jint, jobject)
{
    throwUnsupported(env, "TqStream.addListener");
    return 0;
}

jint Java_com_orvane_util_TqStream_clonen(JNIEnv *env, jobject, jint, jint, jint)
{
    throwUnsupported(env, "TqStream.clonen");
    return 0;
}

void Java_com_orvane_util_TqStream_removeListener(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "TqStream.removeListener");
}
