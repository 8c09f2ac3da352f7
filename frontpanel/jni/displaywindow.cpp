// Native methods of com.orvane.util.DisplayWindow.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_DisplayWindow_setTitlen(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "DisplayWindow.setTitlen");
}

jstring Java_com_orvane_util_DisplayWindow_getTitlen(JNIEnv *env, jobject)
{
    throwUnsupported(env, "DisplayWindow.getTitlen");
    return nullptr;
}

void Java_com_orvane_util_DisplayWindow_setXn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "DisplayWindow.setXn");
}

jint Java_com_orvane_util_DisplayWindow_getXn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "DisplayWindow.getXn");
    return 0;
}

void Java_com_orvane_util_DisplayWindow_setYn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "DisplayWindow.setYn");
}

jint Java_com_orvane_util_DisplayWindow_getYn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "DisplayWindow.getYn");
    return 0;
}

void Java_com_orvane_util_DisplayWindow_setWidthn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "DisplayWindow.setWidthn");
}

jint Java_com_orvane_util_DisplayWindow_getWidthn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "DisplayWindow.getWidthn");
    return 0;
}

void Java_com_orvane_util_DisplayWindow_setHeightn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "DisplayWindow.setHeightn");
}

jint Java_com_orvane_util_DisplayWindow_getHeightn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "DisplayWindow.getHeightn");
    return 0;
}

jint Java_com_orvane_util_DisplayWindow_newGraphObjectn(JNIEnv *env, jobject, jstring, jint, jint, jint, jint)
{
    throwUnsupported(env, "DisplayWindow.newGraphObjectn");
    return 0;
}

jint Java_com_orvane_util_DisplayWindow_getGraphObjectn(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "DisplayWindow.getGraphObjectn");
    return 0;
}

void Java_com_orvane_util_DisplayWindow_removeGraphObject(JNIEnv *env, jobject, jobject)
{
    throwUnsupported(env, "DisplayWindow.removeGraphObject");
}

void Java_com_orvane_util_DisplayWindow_linkGraphObject(JNIEnv *env, jobject, jobject)
{
    throwUnsupported(env, "DisplayWindow.linkGraphObject");
}

void Java_com_orvane_util_DisplayWindow_closeHandle(JNIEnv *env, jobject)
{
    throwUnsupported(env, "DisplayWindow.closeHandle");
}
