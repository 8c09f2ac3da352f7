// The one table of native methods, in registration order: the host program
// and JNI_OnLoad both register from it.
#include "table.h"

#include <iterator>

#include "natives.h"

namespace tq::panelmate
{

namespace
{

// JNINativeMethod keeps its texts as char *; the VM never writes them.
constexpr JNINativeMethod entry(const char *name, const char *signature, void *function)
{
    return {const_cast<char *>(name), const_cast<char *>(signature), function};
}

template <typename F> void *fn(F *function)
{
    return reinterpret_cast<void *>(function);
}

const JNINativeMethod kTqDaq[] = {
    entry("getHandle", "(Ljava/lang/String;Ljava/lang/String;II)V", fn(&Java_com_orvane_util_TqDaq_getHandle)),
    entry("closeHandle", "()V", fn(&Java_com_orvane_util_TqDaq_closeHandle)),
    entry("createDB", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_createDB)),
    entry("getDB", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_getDB)),
    entry("setDB", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_setDB)),
    entry("newDB", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_newDB)),
    entry("renameDB", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_renameDB)),
    entry("deleteDB", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_deleteDB)),
    entry("getDataPath", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_getDataPath)),
    entry("autoPopulateDB", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_autoPopulateDB)),
    entry("listModels", "(IILjava/lang/String;)Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listModels)),
    entry("listDBs", "(Ljava/lang/String;)Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listDBs)),
    entry("listConfigs",
          "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
          fn(&Java_com_orvane_util_TqDaq_listConfigs)),
    entry("setConfigs",
          "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
          fn(&Java_com_orvane_util_TqDaq_setConfigs)),
    entry("setSimulationMode", "(Ljava/lang/String;Z)V", fn(&Java_com_orvane_util_TqDaq_setSimulationMode)),
    entry("clearConfigs", "(Ljava/lang/String;Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_clearConfigs)),
    entry("crossCheck", "(Ljava/lang/String;I)V", fn(&Java_com_orvane_util_TqDaq_crossCheck)),
    entry("configureHW", "(II)V", fn(&Java_com_orvane_util_TqDaq_configureHW)),
    entry("createStreams", "(Ljava/lang/String;ZZ)V", fn(&Java_com_orvane_util_TqDaq_createStreams)),
    entry("closeStreams", "()V", fn(&Java_com_orvane_util_TqDaq_closeStreams)),
    entry("listStreams", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listStreams)),
    entry("doOperation", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I",
          fn(&Java_com_orvane_util_TqDaq_doOperation)),
    entry("listPresources", "(Ljava/lang/String;)Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listPresources)),
    entry("listVresources", "(Ljava/lang/String;)Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listVresources)),
    entry("listUsers", "(Ljava/lang/String;)Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listUsers)),
    entry("linkFormula", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
          fn(&Java_com_orvane_util_TqDaq_linkFormula)),
    entry("unlinkFormula", "(Ljava/lang/String;Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_unlinkFormula)),
    entry("listFormulas", "(Ljava/lang/String;)Ljava/lang/String;", fn(&Java_com_orvane_util_TqDaq_listFormulas)),
    entry("getAttribute", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
          fn(&Java_com_orvane_util_TqDaq_getAttribute)),
    entry("registerStreamMsg", "(Lcom/orvane/util/TqStreamMsg;)V", fn(&Java_com_orvane_util_TqDaq_registerStreamMsg)),
    entry("openDataFiles", "(Ljava/lang/String;I)I", fn(&Java_com_orvane_util_TqDaq_openDataFiles)),
    entry("saveStream", "(Lcom/orvane/util/TqStream;)V", fn(&Java_com_orvane_util_TqDaq_saveStream)),
    entry("loadStream", "(Lcom/orvane/util/TqStream;)V", fn(&Java_com_orvane_util_TqDaq_loadStream)),
    entry("deleteStream", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_deleteStream)),
    entry("assignResource", "(Ljava/lang/String;Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqDaq_assignResource)),
    entry("createVresource", "(Ljava/lang/String;IILjava/lang/String;)V",
          fn(&Java_com_orvane_util_TqDaq_createVresource)),
    entry("updateVresourceOption", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
          fn(&Java_com_orvane_util_TqDaq_updateVresourceOption)),
};

const JNINativeMethod kTqStream[] = {
    entry("getRate", "()D", fn(&Java_com_orvane_util_TqStream_getRate)),
    entry("getName", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqStream_getName)),
    entry("getScansWritten", "()I", fn(&Java_com_orvane_util_TqStream_getScansWritten)),
    entry("setOutputEnable", "(Z)V", fn(&Java_com_orvane_util_TqStream_setOutputEnable)),
    entry("openFileStream", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqStream_openFileStream)),
    entry("closeHandle", "()V", fn(&Java_com_orvane_util_TqStream_closeHandle)),
    entry("captureOpen", "(Ljava/lang/String;I)V", fn(&Java_com_orvane_util_TqStream_captureOpen)),
    entry("captureClose", "()V", fn(&Java_com_orvane_util_TqStream_captureClose)),
    entry("lock", "(I)V", fn(&Java_com_orvane_util_TqStream_lock)),
    entry("unlock", "()V", fn(&Java_com_orvane_util_TqStream_unlock)),
    entry("getAveraged", "(J)[D", fn(&Java_com_orvane_util_TqStream_getAveraged)),
    entry("getGraph", "(IIIDD)Ljavax/swing/ImageIcon;", fn(&Java_com_orvane_util_TqStream_getGraph)),
    entry("getGraphNav", "(II)Ljava/awt/Rectangle;", fn(&Java_com_orvane_util_TqStream_getGraphNav)),
    entry("setGraphInfo", "(Ljava/lang/String;DDLjava/awt/Color;)V", fn(&Java_com_orvane_util_TqStream_setGraphInfo)),
    entry("listAxes", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqStream_listAxes)),
    entry("writeXML", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqStream_writeXML)),
    entry("listn", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqStream_listn)),
    entry("newDisplayWindown", "(Ljava/lang/String;IIII)I", fn(&Java_com_orvane_util_TqStream_newDisplayWindown)),
    entry("getNumberDisplayWindowsn", "()I", fn(&Java_com_orvane_util_TqStream_getNumberDisplayWindowsn)),
    entry("getDisplayWindowByIndexn", "(I)I", fn(&Java_com_orvane_util_TqStream_getDisplayWindowByIndexn)),
    entry("getDisplayWindown", "(Ljava/lang/String;)I", fn(&Java_com_orvane_util_TqStream_getDisplayWindown)),
    entry("getGraphObjectn", "()I", fn(&Java_com_orvane_util_TqStream_getGraphObjectn)),
    entry("addListener", "(ILjava/lang/Object;)I", fn(&Java_com_orvane_util_TqStream_addListener)),
    entry("verifyDisplayWindows", "()V", fn(&Java_com_orvane_util_TqStream_verifyDisplayWindows)),
    entry("clonen", "(III)I", fn(&Java_com_orvane_util_TqStream_clonen)),
    entry("removeListener", "(I)V", fn(&Java_com_orvane_util_TqStream_removeListener)),
};

const JNINativeMethod kTqStreamMsg[] = {
    entry("create", "(J)V", fn(&Java_com_orvane_util_TqStreamMsg_create)),
    entry("close", "()V", fn(&Java_com_orvane_util_TqStreamMsg_close)),
    entry("read", "()Ljava/lang/String;", fn(&Java_com_orvane_util_TqStreamMsg_read)),
    entry("write", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqStreamMsg_write)),
    entry("avail", "()J", fn(&Java_com_orvane_util_TqStreamMsg_avail)),
};

const JNINativeMethod kMateVResource[] = {
    entry("addListener", "(ILjava/lang/Object;)I", fn(&Java_com_orvane_util_MateVResource_addListener)),
    entry("removeListener", "(I)V", fn(&Java_com_orvane_util_MateVResource_removeListener)),
    entry("setEnable", "(Z)V", fn(&Java_com_orvane_util_MateVResource_setEnable)),
    entry("getEnable", "()Z", fn(&Java_com_orvane_util_MateVResource_getEnable)),
    entry("close", "()V", fn(&Java_com_orvane_util_MateVResource_close)),
};

const JNINativeMethod kShellExecute[] = {
    entry("shellExecute", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)V",
          fn(&Java_com_orvane_util_ShellExecute_shellExecute)),
};

const JNINativeMethod kStreamChannel[] = {
    entry("initStreamChannel", "(Lcom/orvane/util/TqStream;)V",
          fn(&Java_com_orvane_util_StreamChannel_initStreamChannel)),
    entry("setGraphChannelEnable", "(Z)V", fn(&Java_com_orvane_util_StreamChannel_setGraphChannelEnable)),
};

const JNINativeMethod kTqFormulaEngine[] = {
    entry("closeHandle", "()V", fn(&Java_com_orvane_util_TqFormulaEngine_closeHandle)),
    entry("getFEStream", "(Ljava/lang/String;)I", fn(&Java_com_orvane_util_TqFormulaEngine_getFEStream)),
    entry("writeXML", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_TqFormulaEngine_writeXML)),
};

const JNINativeMethod kDisplayWindow[] = {
    entry("setTitlen", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_DisplayWindow_setTitlen)),
    entry("getTitlen", "()Ljava/lang/String;", fn(&Java_com_orvane_util_DisplayWindow_getTitlen)),
    entry("setXn", "(I)V", fn(&Java_com_orvane_util_DisplayWindow_setXn)),
    entry("getXn", "()I", fn(&Java_com_orvane_util_DisplayWindow_getXn)),
    entry("setYn", "(I)V", fn(&Java_com_orvane_util_DisplayWindow_setYn)),
    entry("getYn", "()I", fn(&Java_com_orvane_util_DisplayWindow_getYn)),
    entry("setWidthn", "(I)V", fn(&Java_com_orvane_util_DisplayWindow_setWidthn)),
    entry("getWidthn", "()I", fn(&Java_com_orvane_util_DisplayWindow_getWidthn)),
    entry("setHeightn", "(I)V", fn(&Java_com_orvane_util_DisplayWindow_setHeightn)),
    entry("getHeightn", "()I", fn(&Java_com_orvane_util_DisplayWindow_getHeightn)),
    entry("newGraphObjectn", "(Ljava/lang/String;IIII)I", fn(&Java_com_orvane_util_DisplayWindow_newGraphObjectn)),
    entry("getGraphObjectn", "(Ljava/lang/String;)I", fn(&Java_com_orvane_util_DisplayWindow_getGraphObjectn)),
    entry("removeGraphObject", "(Lcom/orvane/util/GraphObject;)V",
          fn(&Java_com_orvane_util_DisplayWindow_removeGraphObject)),
    entry("linkGraphObject", "(Lcom/orvane/util/GraphObject;)V",
          fn(&Java_com_orvane_util_DisplayWindow_linkGraphObject)),
    entry("closeHandle", "()V", fn(&Java_com_orvane_util_DisplayWindow_closeHandle)),
};

const JNINativeMethod kGraphObject[] = {
    entry("setTitlen", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_GraphObject_setTitlen)),
    entry("getTitlen", "()Ljava/lang/String;", fn(&Java_com_orvane_util_GraphObject_getTitlen)),
    entry("setXn", "(I)V", fn(&Java_com_orvane_util_GraphObject_setXn)),
    entry("getXn", "()I", fn(&Java_com_orvane_util_GraphObject_getXn)),
    entry("setYn", "(I)V", fn(&Java_com_orvane_util_GraphObject_setYn)),
    entry("getYn", "()I", fn(&Java_com_orvane_util_GraphObject_getYn)),
    entry("setBgColorn", "(I)V", fn(&Java_com_orvane_util_GraphObject_setBgColorn)),
    entry("setGridEnable", "(Z)V", fn(&Java_com_orvane_util_GraphObject_setGridEnable)),
    entry("setWidthn", "(I)V", fn(&Java_com_orvane_util_GraphObject_setWidthn)),
    entry("getWidthn", "()I", fn(&Java_com_orvane_util_GraphObject_getWidthn)),
    entry("setHeightn", "(I)V", fn(&Java_com_orvane_util_GraphObject_setHeightn)),
    entry("getHeightn", "()I", fn(&Java_com_orvane_util_GraphObject_getHeightn)),
    entry("domainRescale", "(DD)V", fn(&Java_com_orvane_util_GraphObject_domainRescale)),
    entry("domainReset", "(ZZ)V", fn(&Java_com_orvane_util_GraphObject_domainReset)),
    entry("axisRescale", "(Ljava/lang/String;DD)V", fn(&Java_com_orvane_util_GraphObject_axisRescale)),
    entry("axisReset", "(Ljava/lang/String;ZZZ)V", fn(&Java_com_orvane_util_GraphObject_axisReset)),
    entry("setAxisColorn", "(Ljava/lang/String;I)V", fn(&Java_com_orvane_util_GraphObject_setAxisColorn)),
    entry("setChannelEnable", "(Ljava/lang/String;Z)V", fn(&Java_com_orvane_util_GraphObject_setChannelEnable)),
    entry("setChannelColorn", "(Ljava/lang/String;I)V", fn(&Java_com_orvane_util_GraphObject_setChannelColorn)),
    entry("getGraphEu", "(IIII)[D", fn(&Java_com_orvane_util_GraphObject_getGraphEu)),
    entry("setAxisCenter", "(Ljava/lang/String;D)V", fn(&Java_com_orvane_util_GraphObject_setAxisCenter)),
    entry("setAxisSpan", "(Ljava/lang/String;D)V", fn(&Java_com_orvane_util_GraphObject_setAxisSpan)),
    entry("setAxisSelected", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_GraphObject_setAxisSelected)),
    entry("getAxisVisible", "(Ljava/lang/String;)Z", fn(&Java_com_orvane_util_GraphObject_getAxisVisible)),
    entry("setStartTime", "(D)V", fn(&Java_com_orvane_util_GraphObject_setStartTime)),
    entry("setDuration", "(D)V", fn(&Java_com_orvane_util_GraphObject_setDuration)),
    entry("getGraph", "(III)Ljavax/swing/ImageIcon;", fn(&Java_com_orvane_util_GraphObject_getGraph)),
    entry("listAxes", "()Ljava/lang/String;", fn(&Java_com_orvane_util_GraphObject_listAxes)),
    entry("setAxisEnable", "(Ljava/lang/String;Z)V", fn(&Java_com_orvane_util_GraphObject_setAxisEnable)),
    entry("reset", "()V", fn(&Java_com_orvane_util_GraphObject_reset)),
    entry("channelReset", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_GraphObject_channelReset)),
    entry("lock", "(I)V", fn(&Java_com_orvane_util_GraphObject_lock)),
    entry("unlock", "()V", fn(&Java_com_orvane_util_GraphObject_unlock)),
    entry("getStreamn", "()I", fn(&Java_com_orvane_util_GraphObject_getStreamn)),
    entry("getDisplayWindown", "()I", fn(&Java_com_orvane_util_GraphObject_getDisplayWindown)),
    entry("convertToAscii", "(Ljava/lang/String;)V", fn(&Java_com_orvane_util_GraphObject_convertToAscii)),
    entry("closeHandle", "()V", fn(&Java_com_orvane_util_GraphObject_closeHandle)),
};

static_assert(std::size(kTqDaq) + std::size(kTqStream) + std::size(kTqStreamMsg) + std::size(kMateVResource) +
                  std::size(kShellExecute) + std::size(kStreamChannel) + std::size(kTqFormulaEngine) +
                  std::size(kDisplayWindow) + std::size(kGraphObject) ==
              kNativeMethodCount);

} // namespace

const NativeClass kNativeClasses[kNativeClassCount] = {
    {"com/orvane/util/TqDaq", kTqDaq, std::size(kTqDaq)},
    {"com/orvane/util/TqStream", kTqStream, std::size(kTqStream)},
    {"com/orvane/util/TqStreamMsg", kTqStreamMsg, std::size(kTqStreamMsg)},
    {"com/orvane/util/MateVResource", kMateVResource, std::size(kMateVResource)},
    {"com/orvane/util/ShellExecute", kShellExecute, std::size(kShellExecute)},
    {"com/orvane/util/StreamChannel", kStreamChannel, std::size(kStreamChannel)},
    {"com/orvane/util/TqFormulaEngine", kTqFormulaEngine, std::size(kTqFormulaEngine)},
    {"com/orvane/util/DisplayWindow", kDisplayWindow, std::size(kDisplayWindow)},
    {"com/orvane/util/GraphObject", kGraphObject, std::size(kGraphObject)},
};

} // namespace tq::panelmate
