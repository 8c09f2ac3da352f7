// Native methods of com.orvane.util.StreamChannel.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_StreamChannel_initStreamChannel(JNIEnv *env, jobject, jobject)
{
    throwUnsupported(env, "StreamChannel.initStreamChannel");
}

void Java_com_orvane_util_StreamChannel_setGraphChannelEnable(JNIEnv *env, jobject, jboolean)
{
    throwUnsupported(env, "StreamChannel.setGraphChannelEnable");
}
