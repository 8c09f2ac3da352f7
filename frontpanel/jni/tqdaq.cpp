// Native methods of com.orvane.util.TqDaq.
//
// A native that is not built yet throws UnsupportedOperationException naming
// itself; building one means replacing its body here (table.cpp already
// points at it).
#include "natives.h"
#include "unsupported.h"

using tq::panelmate::throwUnsupported;

void Java_com_orvane_util_TqDaq_getHandle(JNIEnv *env, jobject, jstring, jstring, jint, jint)
{
    throwUnsupported(env, "TqDaq.getHandle");
}

void Java_com_orvane_util_TqDaq_closeHandle(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqDaq.closeHandle");
}

void Java_com_orvane_util_TqDaq_createDB(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.createDB");
}

jstring Java_com_orvane_util_TqDaq_getDB(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqDaq.getDB");
    return nullptr;
}

void Java_com_orvane_util_TqDaq_setDB(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.setDB");
}

void Java_com_orvane_util_TqDaq_newDB(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.newDB");
}

void Java_com_orvane_util_TqDaq_renameDB(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.renameDB");
}

void Java_com_orvane_util_TqDaq_deleteDB(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.deleteDB");
}

jstring Java_com_orvane_util_TqDaq_getDataPath(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqDaq.getDataPath");
    return nullptr;
}

void Java_com_orvane_util_TqDaq_autoPopulateDB(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.autoPopulateDB");
}

jstring Java_com_orvane_util_TqDaq_listModels(JNIEnv *env, jobject, jint, jint, jstring)
{
    throwUnsupported(env, "TqDaq.listModels");
    return nullptr;
}

jstring Java_com_orvane_util_TqDaq_listDBs(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.listDBs");
    return nullptr;
}

jstring Java_com_orvane_util_TqDaq_listConfigs(JNIEnv *env, jobject, jstring, jint, jstring, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.listConfigs");
    return nullptr;
}

void Java_com_orvane_util_TqDaq_setConfigs(JNIEnv *env, jobject, jstring, jint, jstring, jstring, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.setConfigs");
}

void Java_com_orvane_util_TqDaq_setSimulationMode(JNIEnv *env, jobject, jstring, jboolean)
{
    throwUnsupported(env, "TqDaq.setSimulationMode");
}

void Java_com_orvane_util_TqDaq_clearConfigs(JNIEnv *env, jobject, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.clearConfigs");
}

void Java_com_orvane_util_TqDaq_crossCheck(JNIEnv *env, jobject, jstring, jint)
{
    throwUnsupported(env, "TqDaq.crossCheck");
}

void Java_com_orvane_util_TqDaq_configureHW(JNIEnv *env, jobject, jint, jint)
{
    throwUnsupported(env, "TqDaq.configureHW");
}

void Java_com_orvane_util_TqDaq_createStreams(JNIEnv *env, jobject, jstring, jboolean, jboolean)
{
    throwUnsupported(env, "TqDaq.createStreams");
}

void Java_com_orvane_util_TqDaq_closeStreams(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqDaq.closeStreams");
}

jstring Java_com_orvane_util_TqDaq_listStreams(JNIEnv *env, jobject)
{
    throwUnsupported(env, "TqDaq.listStreams");
    return nullptr;
}

jint Java_com_orvane_util_TqDaq_doOperation(JNIEnv *env, jobject, jstring, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.doOperation");
    return 0;
}

jstring Java_com_orvane_util_TqDaq_listPresources(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.listPresources");
    return nullptr;
}

jstring Java_com_orvane_util_TqDaq_listVresources(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.listVresources");
    return nullptr;
}

jstring Java_com_orvane_util_TqDaq_listUsers(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.listUsers");
    return nullptr;
}

void Java_com_orvane_util_TqDaq_linkFormula(JNIEnv *env, jobject, jstring, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.linkFormula");
}

void Java_com_orvane_util_TqDaq_unlinkFormula(JNIEnv *env, jobject, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.unlinkFormula");
}

jstring Java_com_orvane_util_TqDaq_listFormulas(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.listFormulas");
    return nullptr;
}

jstring Java_com_orvane_util_TqDaq_getAttribute(JNIEnv *env, jobject, jstring, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.getAttribute");
    return nullptr;
}

void Java_com_orvane_util_TqDaq_registerStreamMsg(JNIEnv *env, jobject, jobject)
{
    throwUnsupported(env, "TqDaq.registerStreamMsg");
}

jint Java_com_orvane_util_TqDaq_openDataFiles(JNIEnv *env, jobject, jstring, jint)
{
    throwUnsupported(env, "TqDaq.openDataFiles");
    return 0;
}

void Java_com_orvane_util_TqDaq_saveStream(JNIEnv *env, jobject, jobject)
{
    throwUnsupported(env, "TqDaq.saveStream");
}

void Java_com_orvane_util_TqDaq_loadStream(JNIEnv *env, jobject, jobject)
{
    throwUnsupported(env, "TqDaq.loadStream");
}

void Java_com_orvane_util_TqDaq_deleteStream(JNIEnv *env, jobject, jstring)
{
    throwUnsupported(env, "TqDaq.deleteStream");
}

void Java_com_orvane_util_TqDaq_assignResource(JNIEnv *env, jobject, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.assignResource");
}

void Java_com_orvane_util_TqDaq_createVresource(JNIEnv *env, jobject, jstring, jint, jint, jstring)
{
    throwUnsupported(env, "TqDaq.createVresource");
}

void Java_com_orvane_util_TqDaq_updateVresourceOption(JNIEnv *env, jobject, jstring, jstring, jstring)
{
    throwUnsupported(env, "TqDaq.updateVresourceOption");
}
