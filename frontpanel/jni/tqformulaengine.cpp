// Native methods of com.orvane.util.TqFormulaEngine.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_TqFormulaEngine_closeHandle(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqFormulaEngine.closeHandle");
}

jint Java_com_orvane_util_TqFormulaEngine_getFEStream(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqFormulaEngine.getFEStream");
    return 0;
}

void Java_com_orvane_util_TqFormulaEngine_writeXML(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqFormulaEngine.writeXML");
}
