// Native methods of com.orvane.util.GraphObject.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_GraphObject_setTitlen(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "GraphObject.setTitlen");
}

jstring Java_com_orvane_util_GraphObject_getTitlen(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getTitlen");
    return nullptr;
}

void Java_com_orvane_util_GraphObject_setXn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "GraphObject.setXn");
}

jint Java_com_orvane_util_GraphObject_getXn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getXn");
    return 0;
}

void Java_com_orvane_util_GraphObject_setYn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "GraphObject.setYn");
}

jint Java_com_orvane_util_GraphObject_getYn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getYn");
    return 0;
}

void Java_com_orvane_util_GraphObject_setBgColorn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "GraphObject.setBgColorn");
}

void Java_com_orvane_util_GraphObject_setGridEnable(JNIEnv *env, jobject, jboolean)
{
    throwUnsupported(env, "GraphObject.setGridEnable");
}

void Java_com_orvane_util_GraphObject_setWidthn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "GraphObject.setWidthn");
}

jint Java_com_orvane_util_GraphObject_getWidthn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getWidthn");
    return 0;
}

void Java_com_orvane_util_GraphObject_setHeightn(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "GraphObject.setHeightn");
}

jint Java_com_orvane_util_GraphObject_getHeightn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getHeightn");
    return 0;
}

void Java_com_orvane_util_GraphObject_domainRescale(JNIEnv *env, jobject, jdouble, jdouble)
{
    throwUnsupported(env, "GraphObject.domainRescale");
}

void Java_com_orvane_util_GraphObject_domainReset(JNIEnv *env, jobject, jboolean, jboolean)
{
    throwUnsupported(env, "GraphObject.domainReset");
}

void Java_com_orvane_util_GraphObject_axisRescale(JNIEnv *env, jobject, jstring, jdouble, jdouble)
{
    throwUnsupported(env, "GraphObject.axisRescale");
}

void Java_com_orvane_util_GraphObject_axisReset(JNIEnv *env, jobject, jstring, jboolean, jboolean, jboolean)
{
    throwUnsupported(env, "GraphObject.axisReset");
}

void Java_com_orvane_util_GraphObject_setAxisColorn(JNIEnv *env, jobject, jstring, jint)
{
    throwUnsupported(env, "GraphObject.setAxisColorn");
}

void Java_com_orvane_util_GraphObject_setChannelEnable(JNIEnv *env, jobject, jstring, jboolean)
{
    throwUnsupported(env, "GraphObject.setChannelEnable");
}

void Java_com_orvane_util_GraphObject_setChannelColorn(JNIEnv *env, jobject, jstring, jint)
{
    throwUnsupported(env, "GraphObject.setChannelColorn");
}

jdoubleArray Java_com_orvane_util_GraphObject_getGraphEu(JNIEnv *env, jobject, jint, jint, jint, jint)
{
    throwUnsupported(env, "GraphObject.getGraphEu");
    return nullptr;
}

void Java_com_orvane_util_GraphObject_setAxisCenter(JNIEnv *env, jobject, jstring, jdouble)
{
    throwUnsupported(env, "GraphObject.setAxisCenter");
}

void Java_com_orvane_util_GraphObject_setAxisSpan(JNIEnv *env, jobject, jstring, jdouble)
{
    throwUnsupported(env, "GraphObject.setAxisSpan");
}

void Java_com_orvane_util_GraphObject_setAxisSelected(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "GraphObject.setAxisSelected");
}

jboolean Java_com_orvane_util_GraphObject_getAxisVisible(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "GraphObject.getAxisVisible");
    return JNI_FALSE;
}

void Java_com_orvane_util_GraphObject_setStartTime(JNIEnv *env, jobject, jdouble)
{
    throwUnsupported(env, "GraphObject.setStartTime");
}

void Java_com_orvane_util_GraphObject_setDuration(JNIEnv *env, jobject, jdouble)
{
    throwUnsupported(env, "GraphObject.setDuration");
}

jobject Java_com_orvane_util_GraphObject_getGraph(JNIEnv *env, jobject, jint, jint, jint)
{
    throwUnsupported(env, "GraphObject.getGraph");
    return nullptr;
}

jstring Java_com_orvane_util_GraphObject_listAxes(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.listAxes");
    return nullptr;
}

void Java_com_orvane_util_GraphObject_setAxisEnable(JNIEnv *env, jobject, jstring, jboolean)
{
    throwUnsupported(env, "GraphObject.setAxisEnable");
}

void Java_com_orvane_util_GraphObject_reset(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.reset");
}

void Java_com_orvane_util_GraphObject_channelReset(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "GraphObject.channelReset");
}

void Java_com_orvane_util_GraphObject_lock(JNIEnv *env, jobject, jint)
{
    throwUnsupported(env, "GraphObject.lock");
}

void Java_com_orvane_util_GraphObject_unlock(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.unlock");
}

jint Java_com_orvane_util_GraphObject_getStreamn(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getStreamn");
    return 0;
}

jint Java_com_orvane_util_GraphObject_getDisplayWindown(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.getDisplayWindown");
    return 0;
}

void Java_com_orvane_util_GraphObject_convertToAscii(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "GraphObject.convertToAscii");
}

void Java_com_orvane_util_GraphObject_closeHandle(JNIEnv *env, jobject)
{
    throwUnsupported(env, "GraphObject.closeHandle");
}
