// Native methods of com.orvane.util.TqStreamMsg.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_TqStreamMsg_create(JNIEnv *env, jobject, jlong)
{
    throwUnsupported(env, "TqStreamMsg.create");
}

void Java_com_orvane_util_TqStreamMsg_close(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStreamMsg.close");
}

jstring Java_com_orvane_util_TqStreamMsg_read(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStreamMsg.read");
    return nullptr;
}

void Java_com_orvane_util_TqStreamMsg_write(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqStreamMsg.write");
}

jlong Java_com_orvane_util_TqStreamMsg_avail(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqStreamMsg.avail");
    return 0;
}
