// The display model as XML: graph.xml (windows, graph objects, axes and
// channels), written piece by piece through the stream's one scratch buffer
// and handed to callers in chunks of their size; the reader that rebuilds the
// model from graph.xml; and the two listings the front panel asks for (the
// axes of a graph object, the units of a stream's channels).
//
// Each record writer puts one piece into the scratch buffer per call and
// returns kMore while pieces of the same record follow, kLast with its last
// piece, or TQS_ERR_NOMEM when the buffer cannot grow.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "displayimpl.h"
#include "tq/platform/xmltext.h"
#include "xmlreader.h"

namespace tq::stream
{

namespace
{

constexpr int32_t kMore = 0;
constexpr int32_t kLast = -1;
constexpr int32_t kNoFile = -12;
constexpr const char *kHeader = "<?xml version=\"1.0\"?>";

// Escaped text of one record field: at most five characters per character.
constexpr size_t kEscapedSize = 5 * TQ_ENABLE_NAME_SIZE + 1;

void escapeInto(char *out, size_t outSize, const char *text)
{
    platform::escapeXmlInto(out, outSize, text);
}

// Formats a piece into the stream's scratch buffer.
__attribute__((format(printf, 2, 3))) bool piece(TQStream *s, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0)
        return false;
    char *buffer = s->streamGrowXMLBuffer(s, static_cast<uint32_t>(n) + 1);
    if (!buffer)
        return false;
    va_start(args, format);
    vsnprintf(buffer, static_cast<size_t>(n) + 1, format, args);
    va_end(args);
    return true;
}

int32_t emptyPiece(TQStream *s)
{
    return piece(s, "%s", "") ? kLast : TQS_ERR_NOMEM;
}

int32_t closing(TQStream *s, int32_t *step, const char *tag)
{
    *step = 0;
    return piece(s, "%s", tag) ? kLast : TQS_ERR_NOMEM;
}

// The children step of a writer: calls the cursor's writer; when a child's
// last piece is out, the cursor moves on. Returns the result to give back, or
// 1 when the list is done and the caller goes on with its next step.
template <typename Child, typename Write>
int32_t childStep(TQStream *s, Child **cursor, size_t link, int32_t *step, Write write)
{
    if (!*cursor) {
        ++*step;
        return 1;
    }
    int32_t rc = write(*cursor, s);
    if (rc == kLast) {
        *cursor = static_cast<Child *>(tqListNext(*cursor, link));
        if (!*cursor)
            ++*step;
        return kMore;
    }
    return rc;
}

int32_t channelEnableWriteXML(TQChannelEnable *e, TQStream *s)
{
    char name[kEscapedSize];
    escapeInto(name, sizeof name, e->name);
    e->xmlState = 0;
    return piece(s, "<channel id=\"%s\"><name>%s</name><color>%lx</color><enable>%d</enable></channel>", e->name, name,
                 static_cast<unsigned long>(e->color), e->enable)
               ? kLast
               : TQS_ERR_NOMEM;
}

bool axisHeader(TQAxisInfo *a, TQStream *s, bool withVisible)
{
    char eu[kEscapedSize];
    escapeInto(eu, sizeof eu, a->eu);
    if (withVisible)
        return piece(s,
                     "<axis id=\"%s\"><eu>%s</eu><color>%lx</color><center>%lf</center><span>%lf</span>"
                     "<enable>%d</enable><visible>%d</visible>",
                     a->eu, eu, static_cast<unsigned long>(a->color), a->center, a->span, a->enable, a->visible);
    return piece(s,
                 "<axis id=\"%s\"><eu>%s</eu><color>%lx</color><center>%lf</center><span>%lf</span>"
                 "<enable>%d</enable>",
                 a->eu, eu, static_cast<unsigned long>(a->color), a->center, a->span, a->enable);
}

bool axisWorthWriting(TQAxisInfo *a)
{
    if (a->activeChannels.first)
        return true;
    for (void *e = a->inactiveChannels.first; e; e = tqListNext(e, kEntryInactiveLink))
        if (static_cast<TQChannelEnable *>(e)->channel)
            return true;
    return false;
}

// One list of a record's children: its head, the link that chains it, and
// the writer of each child.
template <typename Child> struct Children {
    const TQListHead &head;
    size_t link;
    int32_t (*write)(Child *, TQStream *);
};

// The writer of a record with children: step 0 puts the opening piece
// (opening() answers kMore, kLast for a record written whole, or an error,
// which all leave the step at 0 but kMore); then each list of children takes
// two steps (the cursor set to its first child, then one child's piece per
// call); then the closing tag ends the record and puts the step back to 0.
template <typename Child, size_t N, typename Opening>
int32_t writeRecord(TQStream *s, int32_t *step, Child **cursor, Opening opening, const Children<Child> (&lists)[N],
                    const char *tag)
{
    for (;;) {
        if (*step == 0) {
            const int32_t rc = opening();
            if (rc == kMore)
                *step = 1;
            return rc;
        }
        const auto list = static_cast<size_t>(*step - 1) / 2;
        if (list >= N)
            return closing(s, step, tag);
        if ((*step - 1) % 2 == 0) {
            *cursor = static_cast<Child *>(lists[list].head.first);
            ++*step;
            continue;
        }
        const int32_t rc = childStep(s, cursor, lists[list].link, step, lists[list].write);
        if (rc != 1)
            return rc;
    }
}

int32_t axisInfoWriteXML(TQAxisInfo *a, TQStream *s)
{
    const Children<TQChannelEnable> lists[] = {{a->activeChannels, kEntryActiveLink, channelEnableWriteXML},
                                               {a->inactiveChannels, kEntryInactiveLink, channelEnableWriteXML}};
    auto opening = [a, s] {
        if (!axisWorthWriting(a))
            return emptyPiece(s);
        return axisHeader(a, s, false) ? kMore : TQS_ERR_NOMEM;
    };
    return writeRecord(s, &a->xmlState, &a->xmlCursor, opening, lists, "</axis>");
}

int32_t axisInfoListXML(TQAxisInfo *a, TQStream *s)
{
    const Children<TQChannelEnable> lists[] = {{a->activeChannels, kEntryActiveLink, channelEnableWriteXML}};
    auto opening = [a, s] {
        if (!a->activeChannels.first)
            return emptyPiece(s);
        return axisHeader(a, s, true) ? kMore : TQS_ERR_NOMEM;
    };
    return writeRecord(s, &a->xmlState, &a->xmlCursor, opening, lists, "</axis>");
}

int32_t callAxisWriter(TQAxisInfo *a, TQStream *s)
{
    return a->axisInfoWriteXML(a, s);
}

int32_t graphObjectWriteXML(TQGraphObject *go, TQStream *s)
{
    const Children<TQAxisInfo> lists[] = {{go->activeAxes, kAxisActiveLink, callAxisWriter},
                                          {go->inactiveAxes, kAxisInactiveLink, callAxisWriter}};
    auto opening = [go, s] {
        char title[kEscapedSize];
        escapeInto(title, sizeof title, go->title);
        return piece(s,
                     "<graphobject id=\"%s\"><title>%s</title><bgcolor>%lx</bgcolor><gridenable>%d</gridenable>"
                     "<starttime>%lf</starttime><duration>%lf</duration><x>%ld</x><y>%ld</y><w>%ld</w><h>%ld</h>",
                     go->title, title, static_cast<unsigned long>(go->bgcolor), go->gridenable, go->starttime,
                     go->duration, static_cast<long>(go->xpos), static_cast<long>(go->ypos),
                     static_cast<long>(go->width), static_cast<long>(go->height))
                   ? kMore
                   : TQS_ERR_NOMEM;
    };
    return writeRecord(s, &go->xmlState, &go->xmlCursor, opening, lists, "</graphobject>");
}

int32_t callGraphWriter(TQGraphObject *go, TQStream *s)
{
    return go->graphObjectWriteXML(go, s);
}

int32_t displayWindowWriteXML(TQDisplayWindow *w, TQStream *s)
{
    const Children<TQGraphObject> lists[] = {{w->graphObjects, kGraphWindowLink, callGraphWriter}};
    auto opening = [w, s] {
        char title[kEscapedSize];
        escapeInto(title, sizeof title, w->title);
        return piece(s,
                     "<displaywindow id=\"%s\"><title>%s</title><bgcolor>%lx</bgcolor><x>%ld</x><y>%ld</y>"
                     "<w>%ld</w><h>%ld</h>",
                     w->title, title, static_cast<unsigned long>(w->bgcolor), static_cast<long>(w->x),
                     static_cast<long>(w->y), static_cast<long>(w->width), static_cast<long>(w->height))
                   ? kMore
                   : TQS_ERR_NOMEM;
    };
    return writeRecord(s, &w->xmlState, &w->xmlCursor, opening, lists, "</displaywindow>");
}

// Puts every writer of the stream's model back to its first step, so that a
// listing abandoned half-way (or cut short by a failed allocation) never
// leaks into the next one.
void resetWriters(TQStream *s)
{
    for (void *wv = s->displayWindows.first; wv; wv = tqListNext(wv, kWindowStreamLink)) {
        auto *w = static_cast<TQDisplayWindow *>(wv);
        w->xmlState = 0;
        for (void *gv = w->graphObjects.first; gv; gv = tqListNext(gv, kGraphWindowLink)) {
            auto *go = static_cast<TQGraphObject *>(gv);
            go->xmlState = 0;
            for (bool active : {true, false}) {
                TQListHead *axes = active ? &go->activeAxes : &go->inactiveAxes;
                for (void *av = axes->first; av; av = tqListNext(av, active ? kAxisActiveLink : kAxisInactiveLink))
                    static_cast<TQAxisInfo *>(av)->xmlState = 0;
            }
        }
    }
}

void freeScratch(TQStream *s)
{
    free(s->xmlBuffer);
    s->xmlBuffer = nullptr;
    s->xmlCapacity = 0;
    s->xmlCopyPosition = 0;
}

struct Chunk {
    char *buffer;
    uint32_t size;
    uint32_t placed;
};

// Copies the rest of the current piece into the caller's chunk; false when
// the chunk is full and the call ends with "more".
bool copyPiece(TQStream *s, Chunk &c)
{
    const char *text = s->xmlBuffer ? s->xmlBuffer : "";
    size_t len = strlen(text);
    size_t pos = s->xmlCopyPosition <= len ? s->xmlCopyPosition : len;
    size_t rest = len - pos;
    size_t room = c.size - 1 - c.placed;
    if (rest >= room) {
        memcpy(c.buffer + c.placed, text + pos, room);
        c.placed += static_cast<uint32_t>(room);
        s->xmlCopyPosition = static_cast<uint32_t>(pos + room);
        return false;
    }
    memcpy(c.buffer + c.placed, text + pos, rest);
    c.placed += static_cast<uint32_t>(rest);
    s->xmlCopyPosition = 0;
    return true;
}

int32_t endChunk(Chunk &c, uint32_t *count, int32_t rc)
{
    c.buffer[c.placed] = '\0';
    if (count)
        *count = c.placed;
    return rc;
}

// A listing that cannot go on: the caller's buffer is left empty and the next
// call starts a new listing.
int32_t failListing(TQStream *s, char *buffer, uint32_t size, uint32_t *count, int32_t rc)
{
    if (buffer && size)
        buffer[0] = '\0';
    if (count)
        *count = 0;
    if (s) {
        s->xmlStep = 0;
        freeScratch(s);
        resetWriters(s);
    }
    return rc;
}

int32_t streamListXML(TQStream *s, char *buffer, uint32_t size, uint32_t *count)
{
    // Without room for one character and the terminator no listing can
    // advance; the caller would be told "more" for ever.
    if (!s || !buffer || size < 2)
        return failListing(nullptr, buffer, size, count, TQS_ERR_FAILED);
    Chunk c{buffer, size, 0};
    for (;;) {
        switch (s->xmlStep) {
        case 0:
            freeScratch(s);
            resetWriters(s);
            if (!piece(s, "%s<stream>", kHeader))
                return failListing(s, buffer, size, count, TQS_ERR_NOMEM);
            s->xmlStep = 1;
            break;
        case 1:
            if (!copyPiece(s, c))
                return endChunk(c, count, TQS_MORE);
            s->xmlStep = 2;
            break;
        case 2:
            s->xmlWindow = static_cast<TQDisplayWindow *>(s->displayWindows.first);
            s->xmlStep = 3;
            break;
        case 3: {
            if (!s->xmlWindow) {
                s->xmlStep = 5;
                break;
            }
            int32_t rc = s->xmlWindow->displayWindowWriteXML(s->xmlWindow, s);
            if (rc != kMore && rc != kLast)
                return failListing(s, buffer, size, count, TQS_ERR_NOMEM);
            if (rc == kLast)
                s->xmlWindow = static_cast<TQDisplayWindow *>(tqListNext(s->xmlWindow, kWindowStreamLink));
            s->xmlStep = 4;
            break;
        }
        case 4:
            if (!copyPiece(s, c))
                return endChunk(c, count, TQS_MORE);
            s->xmlStep = 3;
            break;
        case 5:
            if (!piece(s, "%s", "</stream>"))
                return failListing(s, buffer, size, count, TQS_ERR_NOMEM);
            s->xmlStep = 6;
            break;
        case 6:
            if (!copyPiece(s, c))
                return endChunk(c, count, TQS_MORE);
            s->xmlStep = 7;
            break;
        default:
            freeScratch(s);
            s->xmlStep = 0;
            return endChunk(c, count, TQS_OK);
        }
    }
}

int32_t callAxisLister(TQAxisInfo *a, TQStream *s)
{
    return a->axisInfoListXML(a, s);
}

int32_t graphListAxes(TQGraphObject *go, char *buffer, uint32_t size, uint32_t *count)
{
    TQStream *s = streamOf(go);
    if (!s || !buffer || size < 2)
        return failListing(nullptr, buffer, size, count, TQS_ERR_FAILED);
    Chunk c{buffer, size, 0};
    for (;;) {
        switch (s->xmlStep) {
        case 0:
            freeScratch(s);
            for (bool active : {true, false}) {
                TQListHead *axes = active ? &go->activeAxes : &go->inactiveAxes;
                for (void *av = axes->first; av; av = tqListNext(av, active ? kAxisActiveLink : kAxisInactiveLink))
                    static_cast<TQAxisInfo *>(av)->xmlState = 0;
            }
            if (!piece(s, "%s<graphobject><bgcolor>%lx</bgcolor><gridenable>%d</gridenable>", kHeader,
                       static_cast<unsigned long>(go->bgcolor), go->gridenable))
                return failListing(s, buffer, size, count, TQS_ERR_NOMEM);
            s->xmlStep = 1;
            break;
        case 1:
        case 4:
        case 7:
        case 10:
            if (!copyPiece(s, c))
                return endChunk(c, count, TQS_MORE);
            s->xmlStep = s->xmlStep == 1 ? 2 : s->xmlStep == 4 ? 3 : s->xmlStep == 7 ? 6 : 11;
            break;
        case 2:
            go->xmlCursor = static_cast<TQAxisInfo *>(go->activeAxes.first);
            s->xmlStep = 3;
            break;
        case 5:
            go->xmlCursor = static_cast<TQAxisInfo *>(go->inactiveAxes.first);
            s->xmlStep = 6;
            break;
        case 3:
        case 6: {
            int32_t step = s->xmlStep;
            int32_t rc =
                childStep(s, &go->xmlCursor, step == 3 ? kAxisActiveLink : kAxisInactiveLink, &step, callAxisLister);
            if (rc == 1) {
                s->xmlStep = s->xmlStep == 3 ? 5 : 8;
                break;
            }
            if (rc != kMore)
                return failListing(s, buffer, size, count, TQS_ERR_NOMEM);
            s->xmlStep += 1; // copy the piece, then back to this step
            break;
        }
        case 8:
            if (!piece(s, "<starttime>%lf</starttime><duration>%lf</duration></graphobject>", go->starttime,
                       go->duration))
                return failListing(s, buffer, size, count, TQS_ERR_NOMEM);
            s->xmlStep = 10;
            break;
        default:
            freeScratch(s);
            s->xmlStep = 0;
            return endChunk(c, count, TQS_OK);
        }
    }
}

// ---- Units of the stream's channels -----------------------------------------------

// The k-th distinct unit of the stream's channels, in order of first use,
// and the number of distinct units. Counted afresh rather than kept in a
// fixed list, so that any number of units is listed.
const char *distinctUnit(TQStream *s, int32_t k, int32_t *total)
{
    const char *found = nullptr;
    int32_t distinct = 0;
    int32_t n = s->numberChannels;
    for (int32_t i = 0; i < n; ++i) {
        TQStreamChannel *ch = s->streamGetChannelByIndex(s, i);
        if (!ch)
            continue;
        bool seen = false;
        for (int32_t j = 0; j < i && !seen; ++j) {
            TQStreamChannel *other = s->streamGetChannelByIndex(s, j);
            seen = other && strcmp(other->eu, ch->eu) == 0;
        }
        if (seen)
            continue;
        if (distinct == k)
            found = ch->eu;
        ++distinct;
    }
    if (total)
        *total = distinct;
    return found;
}

int32_t streamListAxes(TQStream *s, char *buffer, uint32_t size, uint32_t *count)
{
    TQGraphObject *go = s ? defaultGraphObject(s) : nullptr;
    if (!go || (size && !buffer)) {
        if (buffer && size)
            buffer[0] = '\0';
        if (count)
            *count = 0;
        return TQS_ERR_FAILED;
    }
    if (size == 0) {
        go->xmlState = 0;
        if (count)
            *count = 0;
        return TQS_OK;
    }
    uint32_t placed = 0;
    auto place = [&](const char *text) {
        size_t len = strlen(text);
        if (placed + len >= size)
            return false;
        memcpy(buffer + placed, text, len);
        placed += static_cast<uint32_t>(len);
        return true;
    };
    auto finish = [&](int32_t rc) {
        buffer[placed] = '\0';
        if (count)
            *count = placed;
        return rc;
    };
    // A piece that does not fit an empty chunk never will: the listing is
    // refused rather than answered with "more" for ever.
    auto tooSmall = [&]() {
        go->xmlState = 0;
        placed = 0;
        finish(0);
        return TQS_ERR_FAILED;
    };
    char text[512];
    int32_t n = s->numberChannels;
    for (;;) {
        switch (go->xmlState) {
        case 0: {
            int32_t units = 0;
            distinctUnit(s, 0, &units);
            go->listUnitIndex = units - 1;
            if (!place("<?xml version=\"1.0\"?><axes>"))
                return tooSmall();
            go->xmlState = units ? 1 : 4;
            break;
        }
        case 1: {
            const char *unit = distinctUnit(s, go->listUnitIndex, nullptr);
            snprintf(text, sizeof text, "<axis><eu>%s</eu><channels>", unit ? unit : "");
            if (!place(text))
                return placed ? finish(TQS_MORE) : tooSmall();
            go->listChannelIndex = 0;
            go->xmlState = 2;
            break;
        }
        case 2: {
            const char *unit = distinctUnit(s, go->listUnitIndex, nullptr);
            for (; go->listChannelIndex < n; ++go->listChannelIndex) {
                TQStreamChannel *ch = s->streamGetChannelByIndex(s, go->listChannelIndex);
                if (!ch || !unit || strcmp(ch->eu, unit) != 0)
                    continue;
                snprintf(text, sizeof text, "<channel><name>%s</name><index>%d</index></channel>", ch->name,
                         go->listChannelIndex);
                if (!place(text))
                    return placed ? finish(TQS_MORE) : tooSmall();
            }
            go->xmlState = 3;
            break;
        }
        case 3:
            if (!place("</channels></axis>"))
                return placed ? finish(TQS_MORE) : tooSmall();
            if (go->listUnitIndex > 0) {
                --go->listUnitIndex;
                go->xmlState = 1;
            } else {
                go->xmlState = 4;
            }
            break;
        default:
            if (!place("</axes>"))
                return placed ? finish(TQS_MORE) : tooSmall();
            go->xmlState = 0;
            return finish(TQS_OK);
        }
    }
}

// ---- Files ------------------------------------------------------------------------

void graphPath(char *path, size_t size, const char *directory)
{
    snprintf(path, size, "%s/graph.xml", directory ? directory : ".");
}

int32_t streamWriteXML(TQStream *s, const char *directory)
{
    char path[4096];
    graphPath(path, sizeof path, directory);
    FILE *file = fopen(path, "w");
    if (!file)
        return TQS_ERR_FAILED;
    char chunk[512];
    uint32_t count = 0;
    int32_t rc;
    bool written = true;
    do {
        rc = streamListXML(s, chunk, sizeof chunk, &count);
        if (rc >= 0 && fwrite(chunk, 1, count, file) != count)
            written = false;
    } while (rc == TQS_MORE && written);
    if (rc == TQS_MORE)
        failListing(s, nullptr, 0, nullptr, 0);
    if (fclose(file) != 0)
        written = false;
    // A half-written layout must not pass for a whole one.
    if (rc < 0 || !written) {
        remove(path);
        return rc < 0 ? rc : TQS_ERR_FAILED;
    }
    return TQS_OK;
}

// ---- Reading ----------------------------------------------------------------------

struct ReadContext {
    char channelId[128];
    char axisId[128];
    unsigned long hexValue;
    double doubleValue;
    int32_t intValue;
    int32_t phase;
    int32_t negativeTime;
    TQStream *stream;
    TQDisplayWindow *window;
    TQGraphObject *go;
    // The text of a title element of the current window (1) or graph object
    // (2): ids lose everything from a double quote on.
    int32_t titleOf;
    char title[TQ_DISPLAY_TITLE_SIZE];
    size_t titleLength;
};

// The id in a start tag's attribute text; false when there is none, or when
// it is unterminated and `needClose` is set.
bool findId(const char *attributes, char *id, size_t size, bool needClose)
{
    const char *p = strstr(attributes ? attributes : "", "id=\"");
    if (!p)
        return false;
    p += 4;
    const char *end = strchr(p, '"');
    if (!end) {
        if (needClose)
            return false;
        end = p + strlen(p);
    }
    size_t len = static_cast<size_t>(end - p);
    if (len > size - 1)
        len = size - 1;
    memcpy(id, p, len);
    id[len] = '\0';
    return true;
}

struct PhaseName {
    int32_t from;
    const char *name;
    int32_t to;
};

constexpr PhaseName kStarts[] = {
    {0, "stream", 16}, {17, "bgcolor", 18}, {17, "x", 19},        {17, "y", 20},        {17, "w", 21},
    {17, "h", 22},     {1, "bgcolor", 2},   {1, "gridenable", 3}, {1, "starttime", 14}, {1, "duration", 15},
    {1, "x", 23},      {1, "y", 24},        {1, "w", 25},         {1, "h", 26},         {4, "eu", 5},
    {4, "color", 6},   {4, "center", 7},    {4, "span", 8},       {4, "enable", 9},     {10, "name", 11},
    {10, "color", 12}, {10, "enable", 13},
};

void startElement(tq::stream::XmlParser *, const char *name, const char *attributes, void *user)
{
    auto *c = static_cast<ReadContext *>(user);
    char id[128];
    if (c->phase == 16 && strcmp(name, "displaywindow") == 0) {
        if (!findId(attributes, id, sizeof id, true))
            return;
        TQDisplayWindow *w = c->stream->streamNewDisplayWindow(c->stream, id, -1, -1, -1, -1);
        if (w) {
            c->window = w;
            TQDisplayWindow *copy = w;
            w->displayWindowSlotRelease(&copy);
            c->phase = 17;
        }
        return;
    }
    if (c->phase == 17 && strcmp(name, "graphobject") == 0) {
        if (!findId(attributes, id, sizeof id, true))
            return;
        TQGraphObject *go = c->window->displayWindowNewGraphObject(c->window, id, -1, -1, -1, -1);
        if (go) {
            c->go = go;
            TQGraphObject *copy = go;
            go->graphObjectSlotRelease(&copy);
            c->phase = 1;
        }
        return;
    }
    if ((c->phase == 17 || c->phase == 1) && strcmp(name, "title") == 0) {
        c->titleOf = c->phase == 17 ? 1 : 2;
        c->titleLength = 0;
        c->title[0] = '\0';
        return;
    }
    if (c->phase == 1 && strcmp(name, "axis") == 0) {
        if (!findId(attributes, c->axisId, sizeof c->axisId, false))
            c->axisId[0] = '\0';
        c->go->graphObjectSetAxisEnable(c->go, c->axisId, 1);
        c->phase = 4;
        return;
    }
    if (c->phase == 4 && strcmp(name, "channel") == 0) {
        if (!findId(attributes, c->channelId, sizeof c->channelId, false))
            c->channelId[0] = '\0';
        c->go->graphObjectSetChannelEnable(c->go, c->channelId, 1);
        c->phase = 10;
        return;
    }
    for (const PhaseName &p : kStarts)
        if (p.from == c->phase && strcmp(name, p.name) == 0) {
            c->phase = p.to;
            return;
        }
}

void characters(tq::stream::XmlParser *, const char *text, void *user)
{
    auto *c = static_cast<ReadContext *>(user);
    if (c->titleOf) {
        size_t len = strlen(text);
        size_t room = sizeof c->title - 1 - c->titleLength;
        if (len > room)
            len = room;
        memcpy(c->title + c->titleLength, text, len);
        c->titleLength += len;
        c->title[c->titleLength] = '\0';
        return;
    }
    switch (c->phase) {
    case 2:
    case 6:
    case 12:
    case 18:
        sscanf(text, "%lx", &c->hexValue);
        break;
    case 3:
    case 9:
    case 13:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
    case 26:
        sscanf(text, "%d", &c->intValue);
        break;
    case 7:
    case 8:
    case 14:
    case 15:
        sscanf(text, "%lf", &c->doubleValue);
        break;
    default:
        break;
    }
}

void endElement(tq::stream::XmlParser *, const char *name, void *user)
{
    auto *c = static_cast<ReadContext *>(user);
    auto is = [&](const char *n) { return strcmp(name, n) == 0; };
    TQGraphObject *go = c->go;
    TQDisplayWindow *w = c->window;
    auto colour = static_cast<uint32_t>(c->hexValue);
    if (c->titleOf) {
        if (is("title")) {
            if (c->titleOf == 1)
                w->displayWindowSetTitle(w, c->title);
            else
                go->graphObjectSetTitle(go, c->title);
            c->titleOf = 0;
        }
        return;
    }
    switch (c->phase) {
    case 1:
        if (is("graphobject")) {
            if (c->negativeTime) {
                go->graphObjectSetStartTime(go, 1.0);
                graphObjectResetDomain(go, 1, 1);
            }
            c->phase = 17;
        }
        break;
    case 2:
        if (is("bgcolor")) {
            go->graphObjectSetBgColor(go, colour);
            c->phase = 1;
        }
        break;
    case 3:
        if (is("gridenable")) {
            go->graphObjectSetGridEnable(go, c->intValue);
            c->phase = 1;
        }
        break;
    case 4:
        if (is("axis"))
            c->phase = 1;
        break;
    case 5:
        if (is("eu"))
            c->phase = 4;
        break;
    case 6:
        if (is("color")) {
            go->graphObjectSetAxisColor(go, c->axisId, colour);
            c->phase = 4;
        }
        break;
    case 7:
        if (is("center")) {
            go->graphObjectSetAxisCenter(go, c->axisId, c->doubleValue);
            c->phase = 4;
        }
        break;
    case 8:
        if (is("span")) {
            go->graphObjectSetAxisSpan(go, c->axisId, c->doubleValue);
            c->phase = 4;
        }
        break;
    case 9:
        if (is("enable")) {
            if (c->intValue == 0)
                go->graphObjectSetAxisEnable(go, c->axisId, 0);
            c->phase = 4;
        }
        break;
    case 10:
        if (is("channel"))
            c->phase = 4;
        break;
    case 11:
        if (is("name"))
            c->phase = 10;
        break;
    case 12:
        if (is("color")) {
            go->graphObjectSetChannelColor(go, c->channelId, colour);
            c->phase = 10;
        }
        break;
    case 13:
        if (is("enable")) {
            if (c->intValue == 0)
                go->graphObjectSetChannelEnable(go, c->channelId, 0);
            c->phase = 10;
        }
        break;
    case 14:
    case 15:
        if (is(c->phase == 14 ? "starttime" : "duration")) {
            if (c->phase == 14)
                go->graphObjectSetStartTime(go, c->doubleValue);
            else
                go->graphObjectSetDuration(go, c->doubleValue);
            if (c->doubleValue < 0)
                c->negativeTime = 1;
            c->phase = 1;
        }
        break;
    case 17:
        if (is("displaywindow"))
            c->phase = 16;
        break;
    case 18:
        if (is("bgcolor")) {
            w->displayWindowSetBgColor(w, colour);
            c->phase = 17;
        }
        break;
    case 19:
    case 20:
    case 21:
    case 22: {
        static const char *const names[] = {"x", "y", "w", "h"};
        if (is(names[c->phase - 19])) {
            auto set = c->phase == 19   ? w->displayWindowSetXPos
                       : c->phase == 20 ? w->displayWindowSetYPos
                       : c->phase == 21 ? w->displayWindowSetWidth
                                        : w->displayWindowSetHeight;
            set(w, c->intValue);
            c->phase = 17;
        }
        break;
    }
    case 23:
    case 24:
    case 25:
    case 26: {
        static const char *const names[] = {"x", "y", "w", "h"};
        if (is(names[c->phase - 23])) {
            auto set = c->phase == 23   ? go->graphObjectSetXPos
                       : c->phase == 24 ? go->graphObjectSetYPos
                       : c->phase == 25 ? go->graphObjectSetWidth
                                        : go->graphObjectSetHeight;
            set(go, c->intValue);
            c->phase = 1;
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

int32_t readXMLFrom(TQStream *s, FILE *file)
{
    // The old model goes; the default graph object goes with its window, so
    // that the first graph object rebuilt becomes the default.
    while (auto *w = static_cast<TQDisplayWindow *>(s->displayWindows.first))
        unlinkFromStream(w);
    s->defaultGraphObject = nullptr;
    ReadContext c{};
    c.stream = s;
    int32_t rc = xmlParseFile(file, &c, nullptr, startElement, endElement, characters, nullptr);
    return rc == kXmlDone ? TQS_OK : TQS_ERR_FAILED;
}

namespace
{

int32_t streamReadXML(TQStream *s, const char *directory)
{
    char path[4096];
    graphPath(path, sizeof path, directory);
    FILE *file = fopen(path, "r");
    if (!file)
        return kNoFile;
    int32_t rc = readXMLFrom(s, file);
    fclose(file);
    return rc;
}

} // namespace

void escapeXMLText(char *text)
{
    // The caller's buffer has room for five characters per character.
    platform::escapeXml(text, 5 * strlen(text) + 1);
}

void graphObjectFillXML(TQGraphObject *go)
{
    go->graphObjectListAxes = graphListAxes;
    go->graphObjectWriteXML = graphObjectWriteXML;
}

void axisInfoFillXML(TQAxisInfo *axis)
{
    axis->axisInfoWriteXML = axisInfoWriteXML;
    axis->axisInfoListXML = axisInfoListXML;
}

void channelEnableFillXML(TQChannelEnable *entry)
{
    entry->channelEnableWriteXML = channelEnableWriteXML;
}

void displayWindowFillXML(TQDisplayWindow *window)
{
    window->displayWindowWriteXML = displayWindowWriteXML;
}

void streamFillXML(TQStream *s)
{
    s->streamListAxes = streamListAxes;
    s->streamListXML = streamListXML;
    s->streamReadXML = streamReadXML;
    s->streamWriteXML = streamWriteXML;
}

} // namespace tq::stream
