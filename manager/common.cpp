#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include <cstdarg>
#include <cstring>

#include "manager.h"
#include "tq/platform/debug.h"
#include "tq/platform/numfmt.h"

namespace tq::manager
{

namespace
{
// Kinds of this library's tables; a value of one is never accepted by the other.
constexpr unsigned kSessionKind = platform::kHandleKindManagerSession;
constexpr unsigned kResourceKind = 41;
} // namespace

platform::HandleTable &sessionTable()
{
    static platform::HandleTable table(kSessionKind);
    return table;
}

platform::HandleTable &resourceTable()
{
    static platform::HandleTable table(kResourceKind);
    return table;
}

Session *findSession(ViSession handle)
{
    auto *s = static_cast<Session *>(sessionTable().lookup(handle));
    return s && !s->closing ? s : nullptr;
}

int64_t markOf(uint32_t handle)
{
    return (static_cast<int64_t>(getpid()) << 32) | handle;
}

std::optional<uint32_t> handleOfMark(int64_t mark)
{
    if (mark <= 0 || (mark >> 32) != static_cast<int64_t>(getpid()))
        return std::nullopt;
    return static_cast<uint32_t>(mark & 0xFFFFFFFF);
}

MarkOwner markOwner(int64_t mark)
{
    const int64_t pid = mark >> 32;
    if (mark <= 0 || pid <= 0 || pid > INT32_MAX)
        return MarkOwner::Nobody;
    if (pid == static_cast<int64_t>(getpid()))
        return MarkOwner::ThisProcess;
    // A process that exists (also one this user may not signal) still owns
    // what it marked; only the marks of processes that are gone are stale.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
        return MarkOwner::OtherProcess;
    return MarkOwner::Nobody;
}

MarkOwner markOwner(const char *markText)
{
    const auto mark = markText ? devicedb::parseInt64(markText) : std::nullopt;
    return mark ? markOwner(*mark) : MarkOwner::Nobody;
}

OpenResource *instanceOf(Session *s, const char *markText, std::optional<int64_t> vresourceId)
{
    if (OpenResource *r = markText ? resourceOfMark(markText) : nullptr)
        return r;
    if (!vresourceId)
        return nullptr;
    for (OpenResource *r : s->loaded)
        if (r->openedAsVirtual && r->vresourceId == *vresourceId)
            return r;
    return nullptr;
}

OpenResource *resourceOfMark(const char *markText)
{
    const auto mark = devicedb::parseInt64(markText);
    if (!mark)
        return nullptr;
    const auto handle = handleOfMark(*mark);
    if (!handle)
        return nullptr;
    return static_cast<OpenResource *>(resourceTable().lookup(*handle));
}

bool nameUsable(const char *name, size_t max)
{
    return name && strnlen(name, max + 1) <= max && !strchr(name, '\'');
}

bool pathLevelUsable(const char *name)
{
    return name && *name && !strchr(name, '/') && !strchr(name, '\\') && strcmp(name, ".") != 0 &&
           strcmp(name, "..") != 0;
}

bool copyName(char *out, const char *text)
{
    if (!out)
        return true;
    const size_t n = text ? strnlen(text, TQDAQ_NAME_SIZE) : 0;
    if (n >= TQDAQ_NAME_SIZE) {
        out[0] = '\0';
        return false;
    }
    memcpy(out, text ? text : "", n);
    out[n] = '\0';
    return true;
}

namespace
{
void vtrace(const char *format, va_list args)
{
    char line[256];
    platform::vcformat(line, sizeof line, format, args);
    platform::debugOutput(line);
}
} // namespace

void setMessage(char *message, const char *format, ...)
{
    if (!message)
        return;
    va_list args;
    va_start(args, format);
    platform::vcformat(message, kMessageSize, format, args);
    va_end(args);
}

void progress(Session *s, const char *format, const char *text)
{
    TQStreamMsg *sink = s->sink;
    if (!s->progressMessages || !sink)
        return;
    if (sink->streamMsgLock(sink, 1000) != 0)
        return;
    sink->streamMsgPrintf(sink, format, text ? text : "");
    sink->streamMsgUnlock(sink);
}

void trace(const Session *s, const char *format, ...)
{
    if (!s || s->trace == 0)
        return;
    va_list args;
    va_start(args, format);
    vtrace(format, args);
    va_end(args);
}

void traceAlways(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vtrace(format, args);
    va_end(args);
}

} // namespace tq::manager
