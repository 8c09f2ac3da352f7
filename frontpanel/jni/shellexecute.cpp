// Native methods of com.orvane.util.ShellExecute.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_ShellExecute_shellExecute(JNIEnv *env, jobject, jstring, jstring, jstring, jstring, jint)
{
    throwUnsupported(env, "ShellExecute.shellExecute");
}
