// Streams of the selected database's members: taking them from their drivers
// into the session's formula engine, letting them go, and recording them to
// stream files, by template or into a new capture directory per recording.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

using devicedb::Statement;

namespace
{

// Longest template and file name a capture takes, as callers have always
// been held to.
constexpr size_t kMaxFileName = 255;

// Serial members (the crate's line) never have a stream of their own.
bool isSerial(const std::string &name)
{
    return name.compare(0, 4, "ASRL") == 0;
}

// The members a walk visits: the named one whatever its enable value, or
// every enabled one. The names are read before any driver runs, since a
// driver may call back into the session. False when the statement cannot be
// made.
bool memberNames(Session *s, const char *name, std::vector<std::string> &out)
{
    static const char kMembers[] = "select vresource.name from db_resource,system,vresource where "
                                   "db_resource.db_id=system.db_id  and system.system_id=1  and "
                                   "db_resource.vresource_id=vresource.vresource_id";
    const bool named = name && *name;
    const std::string sql = std::string(kMembers) + (named ? " and vresource.name=?" : " and db_resource.enable=1");
    Statement q = named ? Statement(s->db, sql.c_str(), name) : Statement(s->db, sql.c_str());
    if (!q.ok())
        return false;
    while (q.step() == SQLITE_ROW)
        if (q.text(0))
            out.emplace_back(q.text(0));
    return true;
}

// A driver that hands out no stream at all (a module that publishes its
// channels in its carrier's stream) has nothing to record: it is passed
// over, as the capture directory passes it over, rather than failing every
// recording of a database that holds it.
bool hasNoStream(const OpenResource *r)
{
    return !r->pnp || !r->pnp->getStream;
}

} // namespace

std::string captureStamp(const struct tm &t)
{
    // "apl", not "apr": existing capture directories are named this way.
    static const char *const kMonths[12] = {"jan", "feb", "mar", "apl", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
    const int month = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%s%.2d_%.2d%.2d%.2d%.4d/", kMonths[month], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
             t.tm_year + 1900);
    return stamp;
}

ViStatus createStreams(Session *s, const char *name, ViUInt16 mode, ViUInt16 engineFlag)
{
    if (mode == 0 && engineFlag == 1)
        return VI_ERROR_INV_PARAMETER;
    if (mode == 1) {
        if (!s->formulaStream) {
            if (!s->engine) {
                s->engine = formulaEngineOps()->create(engineFlag);
                if (!s->engine)
                    return VI_ERROR_ALLOC;
            }
            if (formulaEngineOps()->getStream(s->engine, nullptr, &s->formulaStream) < 0) {
                s->formulaStream = nullptr;
                return TQDAQ_ERROR_STATEMENT;
            }
        } else if (!s->engine) {
            return VI_ERROR_INV_SETUP;
        }
        // Registered afresh on every call: a stream is never registered twice.
        s->engine->formulaEngineUnregisterAllStreams(s->engine);
    }
    std::vector<std::string> members;
    if (!memberNames(s, name, members))
        return VI_SUCCESS;
    const bool named = name && *name;
    ViStatus st = VI_SUCCESS;
    for (const std::string &m : members) {
        if (isSerial(m))
            continue;
        OpenResource *r = nullptr;
        if (getVresource(s, m.c_str(), true, &r) < VI_SUCCESS || !r)
            return TQDAQ_ERROR_STATEMENT;
        if (r->stream) {
            st = VI_SUCCESS;
        } else if (!r->pnp) {
            continue;
        } else if (!r->pnp->getStream) {
            if (named)
                return VI_ERROR_NSUP_OPER;
            continue;
        } else {
            st = r->pnp->getStream(r->pnp->session, m.c_str(), &r->stream);
            if (st < VI_SUCCESS) {
                r->stream = nullptr; // whatever a failing driver left there is no stream
                return st;
            }
        }
        if (mode == 1 && r->stream)
            s->engine->formulaEngineRegisterStream(s->engine, r->stream);
    }
    return st;
}

ViStatus closeStreams(Session *s)
{
    if (s->engine)
        s->engine->formulaEngineUnregisterAllStreams(s->engine);
    std::vector<std::pair<std::optional<std::string>, std::optional<int64_t>>> marks;
    {
        Statement q(s->db, "select vresource.deviceHandle,vresource.vresource_id from vresource,db_resource,system "
                           "where db_resource.db_id=system.db_id  and system.system_id=1  and "
                           "db_resource.vresource_id=vresource.vresource_id");
        if (!q.ok())
            return VI_SUCCESS;
        while (q.step() == SQLITE_ROW)
            marks.emplace_back(q.text(0) ? std::optional<std::string>(q.text(0)) : std::nullopt, q.int64(1));
    }
    ViStatus st = VI_SUCCESS;
    for (const auto &[text, id] : marks) {
        if (text && !devicedb::parseInt64(text->c_str()))
            return TQDAQ_ERROR_STATEMENT;
        // A mark of a record gone holds no stream here; under another
        // process's mark (or none) this session may have an instance of its own.
        OpenResource *r = instanceOf(s, text ? text->c_str() : nullptr, id);
        if (!r || !r->stream)
            continue;
        st = r->stream->streamRelease(&r->stream);
        r->stream = nullptr;
        if (st < VI_SUCCESS)
            break;
    }
    return st;
}

namespace
{

ViStatus captureOpen(Session *s, const char *name, const char *fileTemplate, ViInt32 mode)
{
    if (!fileTemplate || strnlen(fileTemplate, kMaxFileName + 1) > kMaxFileName)
        return VI_ERROR_INV_PARAMETER;
    std::vector<std::string> members;
    if (!memberNames(s, name, members))
        return VI_SUCCESS;
    const bool named = name && *name;
    const char *lastDollar = strrchr(fileTemplate, '$');
    for (const std::string &m : members) {
        if (isSerial(m))
            continue;
        OpenResource *r = nullptr;
        if (getVresource(s, m.c_str(), true, &r) < VI_SUCCESS || !r)
            continue;
        if (!r->stream) {
            if (hasNoStream(r))
                continue;
            return TQDAQ_ERROR_STATEMENT;
        }
        const char *streamName = r->stream->streamGetName(r->stream);
        std::string file;
        size_t throughLastDollar = 0;
        for (const char *c = fileTemplate; *c; ++c) {
            if (*c == '$')
                file += streamName ? streamName : "";
            else
                file += *c;
            if (c == lastDollar)
                throughLastDollar = file.size();
        }
        // Every stream into one file would overwrite each other's records.
        if (throughLastDollar == 0 && !named)
            return VI_ERROR_INV_PARAMETER;
        if (file.size() > kMaxFileName)
            return VI_ERROR_INV_PARAMETER;
        const int32_t rc = r->stream->streamCaptureOpen(r->stream, file.c_str(), mode);
        if (rc != 0 && rc != TQS_ERR_NOTSUPPORTED)
            return VI_ERROR_IO;
    }
    return VI_SUCCESS;
}

ViStatus captureClose(Session *s, const char *name)
{
    std::vector<std::string> members;
    if (!memberNames(s, name, members))
        return VI_SUCCESS;
    ViStatus st = VI_SUCCESS;
    for (const std::string &m : members) {
        if (isSerial(m))
            continue;
        OpenResource *r = nullptr;
        if (getVresource(s, m.c_str(), true, &r) < VI_SUCCESS || !r)
            continue;
        if (!r->stream) {
            if (!hasNoStream(r))
                st = TQDAQ_ERROR_STATEMENT;
        } else if (r->stream->streamCaptureClose(r->stream) != 0)
            st = VI_ERROR_IO;
    }
    return st;
}

// Makes every level of a '/' separated directory path ending in '/'. Levels
// that exist are fine, the last one too (a recording started again within
// the same second goes into the same directory). False when the path is not
// a directory afterwards (a level is a file, or cannot be made): a recording
// with no member stream would otherwise report a directory that is not there.
bool makeCaptureDirectory(const std::string &dir)
{
    for (size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1))
        ::mkdir(dir.substr(0, at).c_str(), 0777);
    struct stat st {
    };
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ViStatus captureOpenDB(Session *s, const char *name, const char *dataPath, ViInt32 mode, char *directory,
                       std::string &made)
{
    if (!dataPath || !directory)
        return VI_ERROR_INV_PARAMETER;
    directory[0] = '\0';
    char dbName[TQDAQ_NAME_SIZE];
    if (getDB(s, dbName) < VI_SUCCESS)
        dbName[0] = '\0';
    // A database named before names were checked must not lead outside the
    // data path either.
    if (dbName[0] && !pathLevelUsable(dbName))
        return VI_ERROR_IO;
    const time_t now = time(nullptr);
    struct tm local {
    };
    localtime_r(&now, &local);
    made = std::string(dataPath) + "/" + dbName + "/" + captureStamp(local);
    // The caller's buffer holds TQDAQ_NAME_SIZE bytes.
    if (made.size() >= TQDAQ_NAME_SIZE)
        return VI_ERROR_IO;
    if (!makeCaptureDirectory(made))
        return VI_ERROR_IO;
    memcpy(directory, made.c_str(), made.size() + 1);

    std::vector<std::string> members;
    {
        const bool named = name && *name;
        Statement q = named ? Statement(s->db,
                                        "select vresource.name from db_resource,system,vresource where "
                                        "db_resource.db_id=system.db_id  and system.system_id=1  and "
                                        "db_resource.vresource_id=vresource.vresource_id and vresource.name=?",
                                        name)
                            : Statement(s->db, "select vresource.name from db_resource,system,vresource where "
                                               "db_resource.db_id=system.db_id  and system.system_id=1  and "
                                               "db_resource.vresource_id=vresource.vresource_id  and "
                                               "db_resource.enable=1");
        if (!q.ok())
            return TQDAQ_ERROR_STATEMENT;
        while (q.step() == SQLITE_ROW)
            if (q.text(0))
                members.emplace_back(q.text(0));
    }
    ViStatus st = VI_SUCCESS;
    for (const std::string &m : members) {
        if (isSerial(m))
            continue;
        OpenResource *r = nullptr;
        if (getVresource(s, m.c_str(), true, &r) < VI_SUCCESS || !r)
            continue;
        if (!r->stream) {
            if (hasNoStream(r))
                continue;
            st = TQDAQ_ERROR_STATEMENT; // its streams were not created
            break;
        }
        const char *streamName = r->stream->streamGetName(r->stream);
        // A name with a separator would record outside the directory.
        if (!pathLevelUsable(streamName)) {
            st = VI_ERROR_IO;
            break;
        }
        const std::string file = made + streamName + ".stm";
        const int32_t rc = r->stream->streamCaptureOpen(r->stream, file.c_str(), mode);
        if (rc != 0 && rc != TQS_ERR_NOTSUPPORTED) {
            st = VI_ERROR_IO;
            break;
        }
    }
    if (st >= VI_SUCCESS && s->formulaStream && s->formulaStream->streamWriteXML(s->formulaStream, made.c_str()) == 0 &&
        s->engine)
        s->engine->formulaEngineWriteXML(s->engine, made.c_str());
    return st;
}

} // namespace

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_createStreams(ViSession session, ViConstString name, ViUInt16 mode, ViUInt16 engineFlag)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = createStreams(s, name, mode, engineFlag);
        trace(s, "tqdaq_createStreams(" TQ_SESSION_FMT ",%s,%#lx,%#lx) retVal=%#lx\n", TQ_SESSION_ARGS(s), orNull(name),
              static_cast<unsigned long>(mode), static_cast<unsigned long>(engineFlag), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_closeStreams(ViSession session)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = closeStreams(s);
        trace(s, "tqdaq_closeStreams(" TQ_SESSION_FMT ") retVal=%#lx\n", TQ_SESSION_ARGS(s), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_captureOpen(ViSession session, ViConstString name, ViConstString fileTemplate, ViInt32 mode)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = captureOpen(s, name, fileTemplate, mode);
        trace(s, "tqdaq_captureOpen(" TQ_SESSION_FMT ",%s,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), name ? name : "",
              orNull(fileTemplate), ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_captureClose(ViSession session, ViConstString name)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        const ViStatus st = captureClose(s, name);
        trace(s, "tqdaq_captureClose(" TQ_SESSION_FMT ",%s) retVal=%#lx\n", TQ_SESSION_ARGS(s), name ? name : "",
              ul(st));
        return st;
    });
}

TQ_API ViStatus tqdaq_captureOpenDB(ViSession session, ViConstString name, ViConstString dataPath, ViInt32 mode,
                                    ViChar *directory)
{
    return guardManager([&]() -> ViStatus {
        Session *s = findSession(session);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        std::string made;
        const ViStatus st = captureOpenDB(s, name, dataPath, mode, directory, made);
        trace(s, "tqdaq_captureOpenDB(" TQ_SESSION_FMT ",%s,%#lx,%s) retVal=%#lx\n", TQ_SESSION_ARGS(s),
              orNull(dataPath), static_cast<unsigned long>(static_cast<uint32_t>(mode)),
              st >= VI_SUCCESS ? made.c_str() : "NULL", ul(st));
        return st;
    });
}
