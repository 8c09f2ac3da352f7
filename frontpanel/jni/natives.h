// Every native method of the front panel's Java classes, by its JNI short
// name. The functions live in one file per Java class; table.cpp lists them
// in registration order.
#pragma once

#include <jni.h>

extern "C" {

// com.orvane.util.TqDaq
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_getHandle(JNIEnv *, jobject, jstring, jstring, jint, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_closeHandle(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_createDB(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_getDB(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_setDB(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_newDB(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_renameDB(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_deleteDB(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_getDataPath(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_autoPopulateDB(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listModels(JNIEnv *, jobject, jint, jint, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listDBs(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listConfigs(JNIEnv *, jobject, jstring, jint, jstring, jstring,
                                                                 jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_setConfigs(JNIEnv *, jobject, jstring, jint, jstring, jstring,
                                                             jstring, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_setSimulationMode(JNIEnv *, jobject, jstring, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_clearConfigs(JNIEnv *, jobject, jstring, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_crossCheck(JNIEnv *, jobject, jstring, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_configureHW(JNIEnv *, jobject, jint, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_createStreams(JNIEnv *, jobject, jstring, jboolean, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_closeStreams(JNIEnv *, jobject);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listStreams(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqDaq_doOperation(JNIEnv *, jobject, jstring, jstring, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listPresources(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listVresources(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listUsers(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_linkFormula(JNIEnv *, jobject, jstring, jstring, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_unlinkFormula(JNIEnv *, jobject, jstring, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_listFormulas(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqDaq_getAttribute(JNIEnv *, jobject, jstring, jstring, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_registerStreamMsg(JNIEnv *, jobject, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqDaq_openDataFiles(JNIEnv *, jobject, jstring, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_saveStream(JNIEnv *, jobject, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_loadStream(JNIEnv *, jobject, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_deleteStream(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_assignResource(JNIEnv *, jobject, jstring, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_createVresource(JNIEnv *, jobject, jstring, jint, jint, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqDaq_updateVresourceOption(JNIEnv *, jobject, jstring, jstring, jstring);

// com.orvane.util.TqStream
JNIEXPORT jdouble JNICALL Java_com_orvane_util_TqStream_getRate(JNIEnv *, jobject);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqStream_getName(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_getScansWritten(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_setOutputEnable(JNIEnv *, jobject, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_openFileStream(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_closeHandle(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_captureOpen(JNIEnv *, jobject, jstring, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_captureClose(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_lock(JNIEnv *, jobject, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_unlock(JNIEnv *, jobject);
JNIEXPORT jdoubleArray JNICALL Java_com_orvane_util_TqStream_getAveraged(JNIEnv *, jobject, jlong);
JNIEXPORT jobject JNICALL Java_com_orvane_util_TqStream_getGraph(JNIEnv *, jobject, jint, jint, jint, jdouble, jdouble);
JNIEXPORT jobject JNICALL Java_com_orvane_util_TqStream_getGraphNav(JNIEnv *, jobject, jint, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_setGraphInfo(JNIEnv *, jobject, jstring, jdouble, jdouble,
                                                                  jobject);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqStream_listAxes(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_writeXML(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqStream_listn(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_newDisplayWindown(JNIEnv *, jobject, jstring, jint, jint, jint,
                                                                       jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_getNumberDisplayWindowsn(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_getDisplayWindowByIndexn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_getDisplayWindown(JNIEnv *, jobject, jstring);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_getGraphObjectn(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_addListener(JNIEnv *, jobject, jint, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_verifyDisplayWindows(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqStream_clonen(JNIEnv *, jobject, jint, jint, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStream_removeListener(JNIEnv *, jobject, jint);

// com.orvane.util.TqStreamMsg
JNIEXPORT void JNICALL Java_com_orvane_util_TqStreamMsg_create(JNIEnv *, jobject, jlong);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStreamMsg_close(JNIEnv *, jobject);
JNIEXPORT jstring JNICALL Java_com_orvane_util_TqStreamMsg_read(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_TqStreamMsg_write(JNIEnv *, jobject, jstring);
JNIEXPORT jlong JNICALL Java_com_orvane_util_TqStreamMsg_avail(JNIEnv *, jobject);

// com.orvane.util.MateVResource
JNIEXPORT jint JNICALL Java_com_orvane_util_MateVResource_addListener(JNIEnv *, jobject, jint, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_MateVResource_removeListener(JNIEnv *, jobject, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_MateVResource_setEnable(JNIEnv *, jobject, jboolean);
JNIEXPORT jboolean JNICALL Java_com_orvane_util_MateVResource_getEnable(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_MateVResource_close(JNIEnv *, jobject);

// com.orvane.util.ShellExecute
JNIEXPORT void JNICALL Java_com_orvane_util_ShellExecute_shellExecute(JNIEnv *, jobject, jstring, jstring, jstring,
                                                                      jstring, jint);

// com.orvane.util.StreamChannel
JNIEXPORT void JNICALL Java_com_orvane_util_StreamChannel_initStreamChannel(JNIEnv *, jobject, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_StreamChannel_setGraphChannelEnable(JNIEnv *, jobject, jboolean);

// com.orvane.util.TqFormulaEngine
JNIEXPORT void JNICALL Java_com_orvane_util_TqFormulaEngine_closeHandle(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_TqFormulaEngine_getFEStream(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_TqFormulaEngine_writeXML(JNIEnv *, jobject, jstring);

// com.orvane.util.DisplayWindow
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_setTitlen(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_DisplayWindow_getTitlen(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_setXn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_DisplayWindow_getXn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_setYn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_DisplayWindow_getYn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_setWidthn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_DisplayWindow_getWidthn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_setHeightn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_DisplayWindow_getHeightn(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_DisplayWindow_newGraphObjectn(JNIEnv *, jobject, jstring, jint, jint, jint,
                                                                          jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_DisplayWindow_getGraphObjectn(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_removeGraphObject(JNIEnv *, jobject, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_linkGraphObject(JNIEnv *, jobject, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_DisplayWindow_closeHandle(JNIEnv *, jobject);

// com.orvane.util.GraphObject
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setTitlen(JNIEnv *, jobject, jstring);
JNIEXPORT jstring JNICALL Java_com_orvane_util_GraphObject_getTitlen(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setXn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_GraphObject_getXn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setYn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_GraphObject_getYn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setBgColorn(JNIEnv *, jobject, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setGridEnable(JNIEnv *, jobject, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setWidthn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_GraphObject_getWidthn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setHeightn(JNIEnv *, jobject, jint);
JNIEXPORT jint JNICALL Java_com_orvane_util_GraphObject_getHeightn(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_domainRescale(JNIEnv *, jobject, jdouble, jdouble);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_domainReset(JNIEnv *, jobject, jboolean, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_axisRescale(JNIEnv *, jobject, jstring, jdouble, jdouble);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_axisReset(JNIEnv *, jobject, jstring, jboolean, jboolean,
                                                                  jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setAxisColorn(JNIEnv *, jobject, jstring, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setChannelEnable(JNIEnv *, jobject, jstring, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setChannelColorn(JNIEnv *, jobject, jstring, jint);
JNIEXPORT jdoubleArray JNICALL Java_com_orvane_util_GraphObject_getGraphEu(JNIEnv *, jobject, jint, jint, jint, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setAxisCenter(JNIEnv *, jobject, jstring, jdouble);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setAxisSpan(JNIEnv *, jobject, jstring, jdouble);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setAxisSelected(JNIEnv *, jobject, jstring);
JNIEXPORT jboolean JNICALL Java_com_orvane_util_GraphObject_getAxisVisible(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setStartTime(JNIEnv *, jobject, jdouble);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setDuration(JNIEnv *, jobject, jdouble);
JNIEXPORT jobject JNICALL Java_com_orvane_util_GraphObject_getGraph(JNIEnv *, jobject, jint, jint, jint);
JNIEXPORT jstring JNICALL Java_com_orvane_util_GraphObject_listAxes(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_setAxisEnable(JNIEnv *, jobject, jstring, jboolean);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_reset(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_channelReset(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_lock(JNIEnv *, jobject, jint);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_unlock(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_GraphObject_getStreamn(JNIEnv *, jobject);
JNIEXPORT jint JNICALL Java_com_orvane_util_GraphObject_getDisplayWindown(JNIEnv *, jobject);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_convertToAscii(JNIEnv *, jobject, jstring);
JNIEXPORT void JNICALL Java_com_orvane_util_GraphObject_closeHandle(JNIEnv *, jobject);

} // extern "C"
