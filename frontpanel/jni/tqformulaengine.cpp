// Native methods of com.orvane.util.TqFormulaEngine: the engine in feHandle
// is a handle of the engine table (TqDaq.openDataFiles made it), holding the
// engine's reference until closeHandle.
#include "natives.h"

#include "handles.h"
#include "jnilayer.h"
#include "streamhandles.h"
#include "tqstream.h"

using namespace tq::panelmate;

namespace
{

// The engine handle of this TqFormulaEngine; false when the field is missing.
bool engineHandle(JNIEnv *env, jobject self, uint32_t &handle)
{
    const Ids &ids = javaIds(env);
    return ids.bound && readHandle(env, self, ids.feHandle, handle);
}

} // namespace

// The field keeps its value; a second close finds the handle gone and
// answers as for 0, so the engine's reference is dropped once.
void Java_com_orvane_util_TqFormulaEngine_closeHandle(JNIEnv *env, jobject self)
{
    uint32_t handle = 0;
    if (!engineHandle(env, self, handle))
        return;
    TQFormulaEngine *engine = handle ? formulaEngines().remove(handle) : nullptr;
    if (!engine) {
        throwJava(env, javaIds(env).streamClosedException, "No stream handle to close");
        return;
    }
    engine->formulaEngineRelease(&engine);
}

jint Java_com_orvane_util_TqFormulaEngine_getFEStream(JNIEnv *env, jobject self, jstring name)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return 0;
    uint32_t handle = 0;
    const bool present = engineHandle(env, self, handle);
    JavaText text(env, name, JavaText::Null::Null);
    if (!text)
        return 0;
    TQStream *stream = nullptr;
    int32_t r = -1;
    if (present)
        formulaEngines().withObject(handle, [&](TQFormulaEngine *e) { r = e->formulaEngineGetStream(e, text.c_str(), &stream); });
    if (r < 0 || !stream) {
        throwJava(env, ids.streamClosedException, "No stream handle");
        return 0;
    }
    return giveStreamToJava(stream);
}

void Java_com_orvane_util_TqFormulaEngine_writeXML(JNIEnv *env, jobject self, jstring directory)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    uint32_t handle = 0;
    const bool present = engineHandle(env, self, handle);
    JavaText text(env, directory);
    if (!text)
        return;
    int32_t r = -1;
    if (present)
        formulaEngines().withObject(handle, [&](TQFormulaEngine *e) { r = e->formulaEngineWriteXML(e, text.c_str()); });
    if (r < 0)
        throwJava(env, ids.nativeApiException, "failure in writeXML");
}
