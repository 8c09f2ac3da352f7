// Replay of a capture directory: its stream files as read-only streams in a
// new formula engine, with the formulas and the output layout recorded beside
// them. The engine belongs to the caller; nothing of the session changes.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "manager.h"
#include "tq/platform/guard.h"

namespace tq::manager
{

namespace
{

void sinkPrintf(Session *s, const char *format, ...) __attribute__((format(printf, 2, 3)));
void sinkPrintf(Session *s, const char *format, ...)
{
    if (!s || !s->sink)
        return;
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (s->sink->streamMsgLock(s->sink, 1000) != 0)
        return;
    s->sink->streamMsgPrintf(s->sink, "%s", text);
    s->sink->streamMsgUnlock(s->sink);
}

// The output stream's name without a session: the directory's last
// component ("system" for a path without a separator). A trailing separator
// does not count, so "data/run/" names it "run".
std::string lastComponent(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "system";
    return path.substr(slash + 1);
}

bool endsWithStm(const char *name)
{
    const size_t n = strlen(name);
    return n > 4 && strcmp(name + n - 4, ".stm") == 0;
}

// The stream files of the directory, by name so that a replay is the same
// whatever order the file system keeps.
std::vector<std::string> streamFiles(const std::string &directory)
{
    std::vector<std::string> files;
    DIR *d = opendir(directory.c_str());
    if (!d)
        return files;
    while (const dirent *e = readdir(d)) {
        if (!endsWithStm(e->d_name))
            continue;
        const std::string path = directory + "/" + e->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back(path);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

int32_t openDataFiles(Session *s, const char *directory, TQFormulaEngine **out)
{
    std::string name;
    if (s) {
        char dbName[TQDAQ_NAME_SIZE];
        getDB(s, dbName); // empty when no database of the session's model is selected
        name = dbName;
    } else {
        name = lastComponent(directory);
    }

    TQFormulaEngine *e = formulaEngineOps()->create(0);
    *out = e;
    if (!e)
        return VI_ERROR_ALLOC;

    for (const std::string &path : streamFiles(directory)) {
        TQStream *stream = nullptr;
        if (OpenFileStream(path.c_str(), &stream) < 0 || !stream)
            continue; // not a stream file this engine replays: the others still do
        e->formulaEngineRegisterStream(e, stream);
        stream->streamRelease(&stream);
    }

    int32_t st = e->createDefaultFormulas(e);
    if (st >= 0)
        st = e->parseFormulas(e, nullptr);

    TQStream *output = nullptr;
    if (formulaEngineOps()->getStream(e, name.c_str(), &output) < 0 || !output)
        return TQDAQ_ERROR_STATEMENT;

    if (st >= 0) {
        const int32_t rc = e->formulaEngineReadXML(e, directory);
        if (rc != 0 && rc != TQF_ERR_NO_FORMULA) {
            e->formulaEngineRmvAllFormulas(e);
            int32_t again = e->createDefaultFormulas(e);
            if (again >= 0)
                again = e->parseFormulas(e, nullptr);
            sinkPrintf(s, "Unable to parse formulae %s/formulae.xml", directory);
            if (again < 0)
                st = again;
        }
    }
    if (st >= 0) {
        st = output->streamReadXML(output, directory);
        if (st == TQS_ERR_NOT_FOUND)
            st = 0;
    }
    output->streamRelease(&output);
    return st;
}

} // namespace

} // namespace tq::manager

using namespace tq::manager;
using tq::platform::guardStatus;

TQ_API ViStatus tqdaq_openDataFiles(ViSession session, ViConstString directory, ViInt32, TQFormulaEngine **engine)
{
    return guardManager([&]() -> ViStatus {
        if (engine)
            *engine = nullptr;
        Session *s = nullptr;
        if (session != 0) {
            s = findSession(session);
            if (!s)
                return VI_ERROR_INV_OBJECT;
        }
        if (!directory || !engine)
            return VI_ERROR_INV_PARAMETER;
        const int32_t st = openDataFiles(s, directory, engine);
        if (st < 0)
            sinkPrintf(s, "Unable to open datafiles in %s", directory);
        return st;
    });
}
