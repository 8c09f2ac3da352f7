// Native methods of com.orvane.util.TqDaq: each reads the manager session
// from daqHandle, converts its arguments, makes one tqdaq_* call and turns
// the status into a result or an exception.
#include <cstdint>
#include <cstring>
#include <string>

#include "handles.h"
#include "jnilayer.h"
#include "natives.h"
#include "streamhandles.h"
#include "tqdaq.h"

using namespace tq::panelmate;

namespace
{

constexpr ViUInt32 kChunk = 8192;
constexpr ViUInt32 kSmallChunk = 1024;

const char *statusText(ViStatus st)
{
    switch (static_cast<uint32_t>(st)) {
    case 0xBFFC0107u: return "Duplicate virtual resource";
    case 0xBFFC0108u: return "Unknown model type";
    case 0xBFFC0109u: return "Virtual resource in use";
    case 0xBFFC010Au: return "Operation Failed";
    case 0xBFFC010Bu: return "No virtual resource";
    case 0xBFFC010Cu: return "No resource";
    case 0xBFFC010Du: return "Unknown username";
    case 0xBFFC010Eu: return "Library open";
    case 0xBFFC010Fu: return "Could not create database";
    case 0xBFFC0110u: return "Could not auto populate database";
    case 0xBFFC0111u: return "Database does not belong to application";
    case 0xBFFF00A8u: return "No permission";
    default: return "System Error";
    }
}

// The session: false when the field is missing (ids unbound included).
bool session(JNIEnv *env, jobject self, ViSession &h)
{
    const Ids &ids = javaIds(env);
    uint32_t v = 0;
    if (!ids.bound || !readHandle(env, self, ids.daqHandle, v))
        return false;
    h = v;
    return true;
}

ViUInt16 low16(jint v)
{
    return static_cast<ViUInt16>(static_cast<uint32_t>(v) & 0xFFFF);
}

// Collects a listing chunk by chunk; the chunks are joined in C and made
// into one Java string at the end.
template <typename Call> jstring listing(JNIEnv *env, ViUInt32 size, Call call)
{
    std::string all;
    std::string chunk(size, '\0');
    for (;;) {
        ViUInt32 length = 0;
        chunk[0] = '\0';
        const ViStatus st = call(chunk.data(), size, &length);
        if (st != TQDAQ_WARN_MORE_TEXT && st != VI_SUCCESS)
            break;
        all.append(chunk.data(), strnlen(chunk.data(), size));
        if (st == VI_SUCCESS)
            break;
    }
    return javaString(env, all.c_str()); // chunks hold no NUL: each was cut at its own
}

// A string argument given back unchanged (the 0-session rows of listings).
jstring same(jstring s)
{
    return s;
}

} // namespace

void Java_com_orvane_util_TqDaq_getHandle(JNIEnv *env, jobject self, jstring user, jstring password, jint vendor,
                                          jint model)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    if (!ids.daqHandle) {
        throwJava(env, ids.handleException, "System Error");
        return;
    }
    JavaText u(env, user, JavaText::Null::Null);
    JavaText p(env, password, JavaText::Null::Null);
    if (!u || !p)
        return;
    ViSession h = 0;
    const ViStatus st = tqdaq_getHandle(&h, u.c_str(), p.c_str(), low16(vendor), low16(model));
    if (st < VI_SUCCESS) {
        throwJava(env, ids.handleException, statusText(st));
        return;
    }
    env->SetIntField(self, ids.daqHandle, static_cast<jint>(h));
}

void Java_com_orvane_util_TqDaq_closeHandle(JNIEnv *env, jobject self)
{
    ViSession h = 0;
    if (session(env, self, h) && h)
        tqdaq_closeHandle(h);
}

void Java_com_orvane_util_TqDaq_createDB(JNIEnv *env, jobject self, jstring name)
{
    ViSession h = 0;
    if (!session(env, self, h) || !name)
        return;
    JavaText n(env, name);
    if (n && tqdaq_createDB(h, n.c_str()) < VI_SUCCESS)
        throwJava(env, javaIds(env).configurationException, ("cannot create db '" + std::string(n.c_str()) + "'").c_str());
}

jstring Java_com_orvane_util_TqDaq_getDB(JNIEnv *env, jobject self)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return nullptr;
    char name[TQDAQ_NAME_SIZE] = {};
    if (tqdaq_getDB(h, name) < VI_SUCCESS)
        name[0] = '\0';
    return javaString(env, name);
}

namespace
{
template <typename Call> void nameCall(JNIEnv *env, jobject self, jstring name, Call call, const char *failure)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return;
    JavaText n(env, name);
    if (n && call(h, n.c_str()) < VI_SUCCESS)
        throwJava(env, javaIds(env).nativeApiException, failure);
}
} // namespace

void Java_com_orvane_util_TqDaq_setDB(JNIEnv *env, jobject self, jstring name)
{
    nameCall(env, self, name, tqdaq_setDB, "Failure in setDB");
}

void Java_com_orvane_util_TqDaq_newDB(JNIEnv *env, jobject self, jstring name)
{
    nameCall(env, self, name, tqdaq_createDB, "Failure in newDB");
}

void Java_com_orvane_util_TqDaq_renameDB(JNIEnv *env, jobject self, jstring name)
{
    nameCall(
        env, self, name,
        [](ViSession h, const char *to) {
            char from[TQDAQ_NAME_SIZE] = {}; // the manager's own name limit
            const ViStatus st = tqdaq_getDB(h, from);
            return st < VI_SUCCESS ? st : tqdaq_renameDB(h, from, to);
        },
        "Failure in renameDB");
}

void Java_com_orvane_util_TqDaq_deleteDB(JNIEnv *env, jobject self, jstring name)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return;
    JavaText n(env, name);
    if (!n)
        return;
    const ViStatus st = tqdaq_deleteDB(h, n.c_str());
    if (st == static_cast<ViStatus>(0xBFFF0078))
        throwJava(env, javaIds(env).nativeApiException, "Cannot delete current database");
    else if (st < VI_SUCCESS)
        throwJava(env, javaIds(env).nativeApiException, "Failure in deleteDB");
}

jstring Java_com_orvane_util_TqDaq_getDataPath(JNIEnv *env, jobject self)
{
    const Ids &ids = javaIds(env);
    ViSession h = 0;
    if (!session(env, self, h)) {
        throwJava(env, ids.nativeApiException, "System Error");
        return nullptr;
    }
    char path[TQDAQ_NAME_SIZE] = {};
    const ViStatus st = tqdaq_getDataPath(h, path);
    if (st < VI_SUCCESS) {
        throwJava(env, ids.nativeApiException, statusText(st));
        return nullptr;
    }
    return javaString(env, path);
}

void Java_com_orvane_util_TqDaq_autoPopulateDB(JNIEnv *env, jobject self, jstring name)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return;
    JavaText n(env, name);
    if (n && tqdaq_autoPopulateDB(h, n.c_str()) < VI_SUCCESS)
        throwJava(env, javaIds(env).configurationException, "");
}

jstring Java_com_orvane_util_TqDaq_listModels(JNIEnv *env, jobject self, jint vendor, jint model, jstring category)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return javaString(env, "failure");
    if (!h)
        return same(category);
    JavaText c(env, category, JavaText::Null::Null);
    if (!c)
        return nullptr;
    return listing(env, kChunk, [&](ViChar *b, ViUInt32 s, ViUInt32 *l) {
        return tqdaq_listModels(h, static_cast<ViInt16>(low16(vendor)), static_cast<ViInt16>(low16(model)),
                                c.c_str(), b, s, l);
    });
}

namespace
{
using NameListing = ViStatus (*)(ViSession, ViConstString, ViChar *, ViUInt32, ViUInt32 *);
jstring nameListing(JNIEnv *env, jobject self, jstring name, NameListing call, ViUInt32 size)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return javaString(env, "failure");
    if (!h)
        return same(name);
    JavaText n(env, name, JavaText::Null::Null);
    if (!n)
        return nullptr;
    return listing(env, size, [&](ViChar *b, ViUInt32 s, ViUInt32 *l) { return call(h, n.c_str(), b, s, l); });
}
} // namespace

jstring Java_com_orvane_util_TqDaq_listDBs(JNIEnv *env, jobject self, jstring product)
{
    return nameListing(env, self, product, tqdaq_listDBs, kChunk);
}

jstring Java_com_orvane_util_TqDaq_listConfigs(JNIEnv *env, jobject self, jstring resource, jint seq,
                                               jstring category, jstring index, jstring property)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return javaString(env, "failure");
    if (!h)
        return same(resource);
    JavaText r(env, resource, JavaText::Null::Null);
    JavaText c(env, category, JavaText::Null::Null);
    JavaText i(env, index, JavaText::Null::Empty);
    JavaText p(env, property, JavaText::Null::Empty);
    if (!r || !c || !i || !p)
        return nullptr;
    return listing(env, kChunk, [&](ViChar *b, ViUInt32 s, ViUInt32 *l) {
        return tqdaq_listConfigs(h, r.c_str(), seq, c.c_str(), i.c_str(), p.c_str(), b, s, l);
    });
}

void Java_com_orvane_util_TqDaq_setConfigs(JNIEnv *env, jobject self, jstring resource, jint seq, jstring category,
                                           jstring index, jstring property, jstring value)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return;
    JavaText r(env, resource), c(env, category), i(env, index, JavaText::Null::Null), p(env, property),
        v(env, value);
    if (!r || !c || !i || !p || !v)
        return;
    char message[TQDAQ_MESSAGE_SIZE] = {};
    if (tqdaq_setConfigs(h, r.c_str(), low16(seq), c.c_str(), i.c_str(), p.c_str(), v.c_str(), message) <
        VI_SUCCESS)
        throwJava(env, javaIds(env).configurationException, message);
}

void Java_com_orvane_util_TqDaq_setSimulationMode(JNIEnv *env, jobject self, jstring resource, jboolean mode)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return;
    JavaText r(env, resource, JavaText::Null::Null);
    if (r)
        tqdaq_setSimulationMode(h, r.c_str(), mode ? 1 : 0);
}

void Java_com_orvane_util_TqDaq_clearConfigs(JNIEnv *env, jobject self, jstring resource, jstring category)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return;
    JavaText r(env, resource, JavaText::Null::Null), c(env, category, JavaText::Null::Null);
    if (r && c)
        tqdaq_clearConfigs(h, r.c_str(), c.c_str());
}

void Java_com_orvane_util_TqDaq_crossCheck(JNIEnv *env, jobject self, jstring resource, jint seq)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return;
    JavaText r(env, resource, JavaText::Null::Null);
    if (!r)
        return;
    char message[TQDAQ_MESSAGE_SIZE] = {};
    if (tqdaq_crossCheck(h, r.c_str(), low16(seq), message) < VI_SUCCESS)
        throwJava(env, javaIds(env).illegalArgumentException, message);
}

void Java_com_orvane_util_TqDaq_configureHW(JNIEnv *env, jobject self, jint from, jint to)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return;
    char message[TQDAQ_MESSAGE_SIZE] = {};
    if (tqdaq_configureHW(h, low16(from), low16(to), message) < VI_SUCCESS)
        throwJava(env, javaIds(env).configurationException, message);
}

void Java_com_orvane_util_TqDaq_createStreams(JNIEnv *env, jobject self, jstring resource, jboolean mode,
                                              jboolean engine)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return;
    JavaText r(env, resource, JavaText::Null::Null);
    if (r)
        tqdaq_createStreams(h, r.c_str(), mode ? 1 : 0, engine ? 1 : 0);
}

void Java_com_orvane_util_TqDaq_closeStreams(JNIEnv *env, jobject self)
{
    ViSession h = 0;
    if (session(env, self, h) && h)
        tqdaq_closeStreams(h);
}

jstring Java_com_orvane_util_TqDaq_listStreams(JNIEnv *env, jobject self)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return javaString(env, "failure");
    if (!h)
        return nullptr;
    return listing(env, kSmallChunk,
                   [&](ViChar *b, ViUInt32 s, ViUInt32 *l) { return tqdaq_listStreams(h, b, s, l); });
}

jint Java_com_orvane_util_TqDaq_doOperation(JNIEnv *env, jobject self, jstring resource, jstring operation,
                                            jstring argument)
{
    const Ids &ids = javaIds(env);
    ViSession h = 0;
    if (!session(env, self, h) || !h) {
        throwJava(env, ids.nativeApiException, "Failure doOperation");
        return 0;
    }
    JavaText r(env, resource, JavaText::Null::Null), o(env, operation), a(env, argument, JavaText::Null::Null);
    if (!r || !o || !a)
        return 0;
    const ViStatus st = tqdaq_doOperation(h, r.c_str(), o.c_str(), a.c_str());
    if (st < VI_SUCCESS)
        throwJava(env, ids.nativeApiException, "Failure doOperation");
    return st;
}

jstring Java_com_orvane_util_TqDaq_listPresources(JNIEnv *env, jobject self, jstring name)
{
    return nameListing(env, self, name, tqdaq_listPresources, kChunk);
}

jstring Java_com_orvane_util_TqDaq_listVresources(JNIEnv *env, jobject self, jstring name)
{
    return nameListing(env, self, name, tqdaq_listVresources, kChunk);
}

jstring Java_com_orvane_util_TqDaq_listUsers(JNIEnv *env, jobject self, jstring name)
{
    return nameListing(env, self, name, tqdaq_listUsers, kChunk);
}

void Java_com_orvane_util_TqDaq_linkFormula(JNIEnv *env, jobject self, jstring name, jstring op, jstring expression)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return;
    JavaText n(env, name), o(env, op), e(env, expression);
    if (n && o && e && tqdaq_linkFormula(h, n.c_str(), o.c_str(), e.c_str()) < VI_SUCCESS)
        throwJava(env, javaIds(env).configurationException, "");
}

void Java_com_orvane_util_TqDaq_unlinkFormula(JNIEnv *env, jobject self, jstring, jstring name)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return;
    JavaText n(env, name);
    if (n && tqdaq_unlinkFormula(h, n.c_str()) < VI_SUCCESS)
        throwJava(env, javaIds(env).configurationException, "");
}

jstring Java_com_orvane_util_TqDaq_listFormulas(JNIEnv *env, jobject self, jstring db)
{
    return nameListing(env, self, db, tqdaq_listFormulas, kSmallChunk);
}

jstring Java_com_orvane_util_TqDaq_getAttribute(JNIEnv *env, jobject self, jstring resource, jstring category,
                                                jstring attribute)
{
    ViSession h = 0;
    if (!session(env, self, h))
        return nullptr;
    JavaText r(env, resource), c(env, category), a(env, attribute);
    if (!r || !c || !a)
        return nullptr;
    char value[TQDAQ_NAME_SIZE] = {}; // the manager's value size
    if (tqdaq_getCategoryAttribute(h, r.c_str(), c.c_str(), a.c_str(), value) < VI_SUCCESS) {
        throwJava(env, javaIds(env).configurationException, "no such attribute");
        return nullptr;
    }
    return javaString(env, value);
}

void Java_com_orvane_util_TqDaq_registerStreamMsg(JNIEnv *env, jobject self, jobject msg)
{
    const Ids &ids = javaIds(env);
    ViSession h = 0;
    uint32_t sinkHandle = 0;
    if (!session(env, self, h) || !h || !readHandle(env, msg, ids.streamMsgHandle, sinkHandle))
        return;
    if (TQStreamMsg *sink = messageSinks().lookup(sinkHandle))
        tqdaq_registerStreamMsg(h, sink);
}

jint Java_com_orvane_util_TqDaq_openDataFiles(JNIEnv *env, jobject self, jstring directory, jint unused)
{
    const Ids &ids = javaIds(env);
    ViSession h = 0;
    if (!session(env, self, h) || !h) {
        throwJava(env, ids.ioException, "failure to create FE");
        return 0;
    }
    JavaText d(env, directory);
    if (!d)
        return 0;
    TQFormulaEngine *engine = nullptr;
    const ViStatus st = tqdaq_openDataFiles(h, d.c_str(), unused, &engine);
    const uint32_t handle = st >= VI_SUCCESS && engine ? formulaEngines().add(engine) : 0;
    if (handle == 0) {
        if (engine)
            engine->formulaEngineRelease(&engine);
        throwJava(env, ids.ioException, "failure to create FE");
        return 0;
    }
    return static_cast<jint>(handle);
}

namespace
{
using StreamCall = ViStatus (*)(ViSession, TQStream *);
void streamCall(JNIEnv *env, jobject self, jobject stream, StreamCall call)
{
    const Ids &ids = javaIds(env);
    ViSession h = 0;
    StreamHold s;
    if (session(env, self, h) && h)
        s = holdStream(env, stream);
    // Held for the call: a stream released on another thread meanwhile is not freed under it.
    if (!s || call(h, s.get()) < VI_SUCCESS)
        throwJava(env, ids.nativeApiException, "Failure in tqdaq_saveStream");
}
} // namespace

void Java_com_orvane_util_TqDaq_saveStream(JNIEnv *env, jobject self, jobject stream)
{
    streamCall(env, self, stream, tqdaq_saveStream);
}

void Java_com_orvane_util_TqDaq_loadStream(JNIEnv *env, jobject self, jobject stream)
{
    streamCall(env, self, stream, tqdaq_loadStream);
}

namespace
{
void failed(JNIEnv *env, const char *text)
{
    throwJava(env, javaIds(env).nativeApiException, text);
}
} // namespace

void Java_com_orvane_util_TqDaq_deleteStream(JNIEnv *env, jobject self, jstring name)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return failed(env, "Failure in tqdaq_saveStream");
    JavaText n(env, name);
    if (n && tqdaq_deleteStream(h, n.c_str()) < VI_SUCCESS)
        failed(env, "Failure in tqdaq_saveStream");
}

void Java_com_orvane_util_TqDaq_assignResource(JNIEnv *env, jobject self, jstring vname, jstring pname)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return failed(env, "Failure in tqdaq_assignResource");
    JavaText v(env, vname, JavaText::Null::Null), p(env, pname, JavaText::Null::Null);
    if (v && p && tqdaq_assignResource(h, v.c_str(), p.c_str()) < VI_SUCCESS)
        failed(env, "Failure in tqdaq_assignResource");
}

void Java_com_orvane_util_TqDaq_createVresource(JNIEnv *env, jobject self, jstring name, jint vendor, jint model,
                                                jstring description)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return failed(env, "Failure in tqdaq_createVresource");
    JavaText n(env, name), d(env, description, JavaText::Null::Empty);
    if (n && d && tqdaq_createVresource(h, n.c_str(), low16(vendor), low16(model), d.c_str()) < VI_SUCCESS)
        failed(env, "Failure in tqdaq_createVresource");
}

void Java_com_orvane_util_TqDaq_updateVresourceOption(JNIEnv *env, jobject self, jstring name, jstring property,
                                                      jstring value)
{
    ViSession h = 0;
    if (!session(env, self, h) || !h)
        return failed(env, "Failure in tqdaq_updateVresourceOption");
    JavaText n(env, name), p(env, property), v(env, value);
    if (n && p && v && tqdaq_updateVresourceOption(h, n.c_str(), p.c_str(), v.c_str()) < VI_SUCCESS)
        failed(env, "Failure in tqdaq_updateVresourceOption");
}
