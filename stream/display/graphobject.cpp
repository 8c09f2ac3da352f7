// Graph objects: the record and its reference counting, axis info and
// channel enable records, unit defaults, automatic channel colours, the axis
// and channel operations, the lock, and the stream's own graph operations on
// its default graph object.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "displayimpl.h"
#include "core/streamimpl.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

namespace tq::stream
{

// ---- helpers -----------------------------------------------------------------

void copyBounded(char *field, size_t size, const char *text)
{
    size_t n = text ? strnlen(text, size - 1) : 0;
    if (n)
        memmove(field, text, n);
    field[n] = '\0';
}

namespace
{

// Whether a fixed-size name field holds text, cut to the field as a copy into
// it would be: a name longer than the field matches the record made for it.
bool sameName(const char *field, size_t size, const char *text)
{
    size_t n = strnlen(text, size - 1);
    return strnlen(field, size) == n && memcmp(field, text, n) == 0;
}

void getText(const char *field, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return;
    strncpy(buffer, field, static_cast<size_t>(size));
    buffer[size - 1] = '\0';
}

} // namespace

UnitDefaults unitDefaults(const char *unit)
{
    static const struct {
        const char *unit;
        UnitDefaults defaults;
    } table[] = {
        {"volts", {0.0, 20.0, 0x006699}},         {"degrees_f", {50.0, 100.0, 0x990000}},
        {"degrees_c", {10.0, 37.8, 0xcc3300}},    {"kelvins", {283.15, 37.8, 0xff0033}},
        {"hz", {500.0, 1000.0, 0x009900}},        {"binary", {0.5, 3.0, 0x9c1d92}},
        {"counts", {25000.0, 25000.0, 0x38afed}},
    };
    if (unit)
        for (const auto &row : table)
            if (strcmp(row.unit, unit) == 0)
                return row.defaults;
    return {0.0, 20.0, 0x000000};
}

// ---- channel enable records --------------------------------------------------

namespace
{

int32_t channelEnableAddRef(TQChannelEnable *entry)
{
    ++entry->refCount;
    return 0;
}

int32_t channelEnableRelease(TQChannelEnable **holder)
{
    if (!holder || !*holder)
        return 0;
    TQChannelEnable *entry = *holder;
    if (--entry->refCount <= 0) {
        free(entry);
        *holder = nullptr;
    }
    return 0;
}

} // namespace

TQChannelEnable *newChannelEnable()
{
    auto *entry = static_cast<TQChannelEnable *>(calloc(1, sizeof(TQChannelEnable)));
    if (!entry)
        return nullptr;
    entry->refCount = 1;
    entry->channelEnableAddRef = channelEnableAddRef;
    entry->channelEnableRelease = channelEnableRelease;
    channelEnableFillPending(entry);
    return entry;
}

// ---- axis info records ---------------------------------------------------------

namespace
{

int32_t axisInfoAddRef(TQAxisInfo *axis)
{
    ++axis->refCount;
    return 0;
}

int32_t axisInfoRelease(TQAxisInfo **holder)
{
    if (!holder || !*holder)
        return 0;
    TQAxisInfo *axis = *holder;
    if (--axis->refCount <= 0) {
        dropAllEntries(axis);
        free(axis);
        *holder = nullptr;
    }
    return 0;
}

} // namespace

TQAxisInfo *newAxisInfo()
{
    auto *axis = static_cast<TQAxisInfo *>(calloc(1, sizeof(TQAxisInfo)));
    if (!axis)
        return nullptr;
    axis->refCount = 1;
    axis->axisInfoAddRef = axisInfoAddRef;
    axis->axisInfoRelease = axisInfoRelease;
    tqListInit(&axis->activeChannels);
    tqListInit(&axis->inactiveChannels);
    axisInfoFillPending(axis);
    return axis;
}

// ---- list moves ------------------------------------------------------------------

void axisAppend(TQGraphObject *go, TQAxisInfo *axis, bool active)
{
    if (active)
        tqListAppend(&go->activeAxes, go, axis, kAxisActiveLink);
    else
        tqListAppend(&go->inactiveAxes, go, axis, kAxisInactiveLink);
    axis->axisInfoAddRef(axis);
}

void axisUnlink(TQGraphObject *go, TQAxisInfo *axis)
{
    if (axis->activeLink.owner == go)
        tqListRemove(&go->activeAxes, axis, kAxisActiveLink);
    else if (axis->inactiveLink.owner == go)
        tqListRemove(&go->inactiveAxes, axis, kAxisInactiveLink);
    else
        return;
    TQAxisInfo *copy = axis;
    axis->axisInfoRelease(&copy);
}

void axisMove(TQGraphObject *go, TQAxisInfo *axis, bool toActive)
{
    axis->axisInfoAddRef(axis);
    axisUnlink(go, axis);
    axisAppend(go, axis, toActive);
    TQAxisInfo *copy = axis;
    axis->axisInfoRelease(&copy);
}

void entryAppend(TQAxisInfo *axis, TQChannelEnable *entry, bool active)
{
    if (active)
        tqListAppend(&axis->activeChannels, axis, entry, kEntryActiveLink);
    else
        tqListAppend(&axis->inactiveChannels, axis, entry, kEntryInactiveLink);
    entry->channelEnableAddRef(entry);
}

void entryUnlink(TQAxisInfo *axis, TQChannelEnable *entry)
{
    if (entry->activeLink.owner == axis)
        tqListRemove(&axis->activeChannels, entry, kEntryActiveLink);
    else if (entry->inactiveLink.owner == axis)
        tqListRemove(&axis->inactiveChannels, entry, kEntryInactiveLink);
    else
        return;
    TQChannelEnable *copy = entry;
    entry->channelEnableRelease(&copy);
}

void entryMove(TQAxisInfo *axis, TQChannelEnable *entry, bool toActive)
{
    entry->channelEnableAddRef(entry);
    entryUnlink(axis, entry);
    entryAppend(axis, entry, toActive);
    TQChannelEnable *copy = entry;
    entry->channelEnableRelease(&copy);
}

void dropAllEntries(TQAxisInfo *axis)
{
    while (auto *entry = static_cast<TQChannelEnable *>(axis->activeChannels.first))
        entryUnlink(axis, entry);
    while (auto *entry = static_cast<TQChannelEnable *>(axis->inactiveChannels.first))
        entryUnlink(axis, entry);
}

void dropAllAxes(TQGraphObject *go)
{
    while (auto *axis = static_cast<TQAxisInfo *>(go->activeAxes.first))
        axisUnlink(go, axis);
    while (auto *axis = static_cast<TQAxisInfo *>(go->inactiveAxes.first))
        axisUnlink(go, axis);
}

// ---- colours ---------------------------------------------------------------------

namespace
{

uint32_t hsvToRgb(double hue, double s, double v)
{
    double sector = std::floor(hue / 10.0);
    double f = hue / 10.0 - sector;
    double p = v * (1.0 - s);
    double q = v * (1.0 - s * f);
    double t = v * (1.0 - s * (1.0 - f));
    double r, g, b;
    switch (static_cast<int>(sector)) {
    case 0:
        r = v, g = t, b = p;
        break;
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    default:
        r = v, g = p, b = q;
        break;
    }
    auto byte = [](double x) { return static_cast<uint32_t>(static_cast<int>(255.0 * x)) & 0xffu; };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}

void recolorList(TQListHead *head, size_t link, uint32_t axisColor, bool grey, double hue, double s, double v)
{
    int i = 0;
    for (auto *e = static_cast<TQChannelEnable *>(head->first); e;
         e = static_cast<TQChannelEnable *>(tqListNext(e, link))) {
        if (e->iscolorfixed)
            continue;
        if (grey || i == 0) {
            e->color = axisColor;
        } else {
            // +1, -1, +2, -2, ... steps of 12 degrees from the axis colour.
            int k = (i + 1) / 2;
            if (i % 2 == 0)
                k = -k;
            double h = std::fmod(hue + 2.0 * k, 60.0);
            if (h < 0)
                h += 60.0;
            e->color = hsvToRgb(h, s, v);
        }
        ++i;
    }
}

} // namespace

void recolorChannels(TQAxisInfo *axis)
{
    uint32_t c = axis->color;
    double r = ((c >> 16) & 0xff) / 255.0, g = ((c >> 8) & 0xff) / 255.0, b = (c & 0xff) / 255.0;
    double v = std::fmax(r, std::fmax(g, b));
    double delta = v - std::fmin(r, std::fmin(g, b));
    bool grey = v == 0.0 || delta == 0.0;
    double hue = 0.0, s = 0.0;
    if (!grey) {
        s = delta / v;
        if (r == v)
            hue = (v - b) / delta - (v - g) / delta;
        else if (g == v)
            hue = 2.0 + (v - r) / delta - (v - b) / delta;
        else
            hue = 4.0 + (v - g) / delta - (v - r) / delta;
        hue *= 10.0; // units of 6 degrees: a full turn is 60
    }
    recolorList(&axis->activeChannels, kEntryActiveLink, c, grey, hue, s, v);
    recolorList(&axis->inactiveChannels, kEntryInactiveLink, c, grey, hue, s, v);
}

// ---- lookups ---------------------------------------------------------------------

namespace
{

TQAxisInfo *searchAxes(TQListHead *head, size_t link, const char *unit)
{
    for (auto *a = static_cast<TQAxisInfo *>(head->first); a; a = static_cast<TQAxisInfo *>(tqListNext(a, link)))
        if (sameName(a->eu, sizeof a->eu, unit))
            return a;
    return nullptr;
}

TQChannelEnable *searchEntries(TQListHead *head, size_t link, const char *name)
{
    for (auto *e = static_cast<TQChannelEnable *>(head->first); e;
         e = static_cast<TQChannelEnable *>(tqListNext(e, link)))
        if (sameName(e->name, sizeof e->name, name))
            return e;
    return nullptr;
}

void setFlag(int32_t *flag, int32_t value)
{
    if (flag)
        *flag = value;
}

// The axis of exactly this unit (an empty unit included), made as mode says
// when missing.
TQAxisInfo *findUnitAxis(TQGraphObject *go, const char *unit, int32_t mode, int32_t *active)
{
    if (auto *a = searchAxes(&go->activeAxes, kAxisActiveLink, unit)) {
        setFlag(active, 1);
        return a;
    }
    if (auto *a = searchAxes(&go->inactiveAxes, kAxisInactiveLink, unit)) {
        setFlag(active, 0);
        return a;
    }
    if (mode != kCreateActive && mode != kCreateInactive)
        return nullptr;
    TQAxisInfo *axis = newAxisInfo();
    if (!axis)
        return nullptr;
    copyBounded(axis->eu, sizeof axis->eu, unit);
    UnitDefaults d = unitDefaults(axis->eu);
    axis->center = d.center;
    axis->span = d.span;
    axis->color = d.color;
    bool isActive = mode == kCreateActive;
    axis->enable = isActive ? 1 : 0;
    axisAppend(go, axis, isActive);
    setFlag(active, isActive ? 1 : 0);
    TQAxisInfo *copy = axis;
    axis->axisInfoRelease(&copy); // the list holds it now
    return axis;
}

} // namespace

TQAxisInfo *findAxis(TQGraphObject *go, const char *unit, int32_t mode, int32_t *active)
{
    if (!unit || !*unit)
        return static_cast<TQAxisInfo *>(go->activeAxes.last);
    return findUnitAxis(go, unit, mode, active);
}

TQChannelEnable *findChannelEnable(TQAxisInfo *axis, const char *name, int32_t mode, int32_t *active)
{
    if (!name)
        name = "";
    if (auto *e = searchEntries(&axis->activeChannels, kEntryActiveLink, name)) {
        setFlag(active, 1);
        return e;
    }
    if (auto *e = searchEntries(&axis->inactiveChannels, kEntryInactiveLink, name)) {
        setFlag(active, 0);
        return e;
    }
    if (mode != kCreateActive && mode != kCreateInactive)
        return nullptr;
    TQChannelEnable *entry = newChannelEnable();
    if (!entry)
        return nullptr;
    copyBounded(entry->name, sizeof entry->name, name);
    bool isActive = mode == kCreateActive;
    entry->enable = isActive ? 1 : 0;
    entryAppend(axis, entry, isActive);
    setFlag(active, isActive ? 1 : 0);
    TQChannelEnable *copy = entry;
    entry->channelEnableRelease(&copy);
    recolorChannels(axis);
    return entry;
}

TQDisplayWindow *windowOf(TQGraphObject *go)
{
    return go ? static_cast<TQDisplayWindow *>(go->windowLink.owner) : nullptr;
}

TQStream *streamOf(TQGraphObject *go)
{
    TQDisplayWindow *w = windowOf(go);
    return w ? static_cast<TQStream *>(w->streamLink.owner) : nullptr;
}

namespace
{

// ---- simple fields -----------------------------------------------------------------

int32_t graphObjectAddRef(TQGraphObject *go)
{
    ++go->refCount;
    return 0;
}

int32_t graphObjectSlotRelease(TQGraphObject **holder)
{
    return graphObjectRelease(holder);
}

int32_t setTitle(TQGraphObject *go, const char *title)
{
    copyBounded(go->title, sizeof go->title, title);
    return 0;
}

int32_t getTitle(TQGraphObject *go, char *buffer, int32_t size)
{
    getText(go->title, buffer, size);
    return 0;
}

template <int32_t TQGraphObject::*Field> int32_t setInt(TQGraphObject *go, int32_t value)
{
    go->*Field = value;
    return 0;
}

template <int32_t TQGraphObject::*Field> int32_t getInt(TQGraphObject *go, int32_t *value)
{
    if (value)
        *value = go->*Field;
    return 0;
}

template <double TQGraphObject::*Field> int32_t setDouble(TQGraphObject *go, double value)
{
    go->*Field = value;
    return 0;
}

template <double TQGraphObject::*Field> int32_t getDouble(TQGraphObject *go, double *value)
{
    if (value)
        *value = go->*Field;
    return 0;
}

int32_t setBgColor(TQGraphObject *go, uint32_t colour)
{
    go->bgcolor = colour;
    return 0;
}

int32_t setGridEnable(TQGraphObject *go, int32_t flag)
{
    go->gridenable = flag;
    return 0;
}

// ---- axis operations -----------------------------------------------------------------

bool anyActiveEnabled(TQAxisInfo *axis)
{
    for (auto *e = static_cast<TQChannelEnable *>(axis->activeChannels.first); e;
         e = static_cast<TQChannelEnable *>(tqListNext(e, kEntryActiveLink)))
        if (e->enable)
            return true;
    return false;
}

int32_t setAxisCenter(TQGraphObject *go, const char *unit, double center)
{
    if (TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr))
        a->center = center;
    return 0;
}

int32_t getAxisCenter(TQGraphObject *go, const char *unit, double *center)
{
    TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr);
    if (a && center)
        *center = a->center;
    return 0;
}

int32_t setAxisSpan(TQGraphObject *go, const char *unit, double span)
{
    if (TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr))
        a->span = span;
    return 0;
}

int32_t getAxisSpan(TQGraphObject *go, const char *unit, double *span)
{
    TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr);
    if (a && span)
        *span = a->span;
    return 0;
}

int32_t setAxisColor(TQGraphObject *go, const char *unit, uint32_t colour)
{
    if (TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr)) {
        a->color = colour;
        recolorChannels(a);
    }
    return 0;
}

int32_t setAxisEnable(TQGraphObject *go, const char *unit, int32_t flag)
{
    if (TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr)) {
        a->enable = flag;
        a->visible = flag && anyActiveEnabled(a) ? 1 : 0;
    }
    return 0;
}

int32_t setAxisSelected(TQGraphObject *go, const char *unit)
{
    int32_t active = 0;
    TQAxisInfo *a = findAxis(go, unit, kFindOnly, &active);
    if (!a)
        return 0;
    if (!active || a->activeLink.owner != go) {
        a->enable = 1;
        axisMove(go, a, true);
    } else if (go->activeAxes.last != a) {
        axisMove(go, a, true);
    }
    return 0;
}

int32_t getAxisVisible(TQGraphObject *go, const char *unit, int32_t *visible)
{
    TQAxisInfo *a = findAxis(go, unit, kFindOnly, nullptr);
    if (a && visible)
        *visible = a->visible;
    return 0;
}

int32_t setGraphInfo(TQGraphObject *go, const char *unit, double center, double span, uint32_t colour)
{
    TQAxisInfo *a = findAxis(go, unit, kCreateActive, nullptr);
    if (!a)
        return TQS_ERR_NOMEM;
    a->center = center;
    a->color = colour;
    a->span = span;
    return 0;
}

int32_t getGraphInfo(TQGraphObject *go, const char *unit, double *center, double *span, uint32_t *colour)
{
    TQAxisInfo *a = findAxis(go, unit, kFindOnly, nullptr);
    if (!a)
        return TQS_ERR_NO_AXIS;
    if (center)
        *center = a->center;
    if (span)
        *span = a->span;
    if (colour)
        *colour = a->color;
    return 0;
}

int32_t rescaleAxis(TQGraphObject *go, const char *unit, double zoom, double shift)
{
    if (TQAxisInfo *a = findAxis(go, unit, kFindOnly, nullptr)) {
        a->center += a->span * shift / 10.0;
        a->span *= zoom;
    }
    return 0;
}

void clearFixed(TQListHead *head, size_t link)
{
    for (auto *e = static_cast<TQChannelEnable *>(head->first); e;
         e = static_cast<TQChannelEnable *>(tqListNext(e, link)))
        e->iscolorfixed = 0;
}

int32_t resetAxis(TQGraphObject *go, const char *unit, int32_t resetSpan, int32_t resetCenter, int32_t resetColor)
{
    TQAxisInfo *a = findAxis(go, unit, kFindOnly, nullptr);
    if (!a)
        return 0;
    UnitDefaults d = unitDefaults(a->eu);
    if (resetCenter)
        a->center = d.center;
    if (resetSpan)
        a->span = d.span;
    if (resetColor) {
        a->color = d.color;
        clearFixed(&a->activeChannels, kEntryActiveLink);
        clearFixed(&a->inactiveChannels, kEntryInactiveLink);
        recolorChannels(a);
    }
    return 0;
}

// ---- channel operations ----------------------------------------------------------------

// The axis and entry of a channel of the graph object's stream, made when
// missing; false when the stream does not know the channel or no memory.
bool channelEntry(TQGraphObject *go, TQStreamChannel *channel, TQAxisInfo **axis, TQChannelEnable **entry)
{
    *axis = findUnitAxis(go, channel->eu, kCreateActive, nullptr);
    if (!*axis)
        return false;
    *entry = findChannelEnable(*axis, channel->name, kCreateActive, nullptr);
    return *entry != nullptr;
}

TQStreamChannel *lookupChannel(TQGraphObject *go, const char *name)
{
    TQStream *stream = streamOf(go);
    if (!stream || !name)
        return nullptr;
    return stream->streamGetChannel(stream, name);
}

// Enables or disables a channel's entry and recomputes its axis's visibility;
// TQS_ERR_NOMEM when the axis or entry could not be made.
int32_t enableChannel(TQGraphObject *go, TQStreamChannel *channel, int32_t flag)
{
    TQAxisInfo *axis;
    TQChannelEnable *entry;
    if (!channelEntry(go, channel, &axis, &entry))
        return TQS_ERR_NOMEM;
    entry->enable = flag;
    entry->channel = channel;
    axis->visible = 0;
    if (axis->enable)
        axis->visible = flag || anyActiveEnabled(axis) ? 1 : 0;
    return 0;
}

int32_t setChannelEnable(TQGraphObject *go, const char *name, int32_t flag)
{
    if (TQStreamChannel *channel = lookupChannel(go, name))
        enableChannel(go, channel, flag);
    return 0;
}

int32_t setChannelColor(TQGraphObject *go, const char *name, uint32_t colour)
{
    TQStreamChannel *channel = lookupChannel(go, name);
    TQAxisInfo *axis;
    TQChannelEnable *entry;
    if (channel && channelEntry(go, channel, &axis, &entry)) {
        entry->color = colour;
        entry->iscolorfixed = 1;
        entry->channel = channel;
    }
    return 0;
}

int32_t resetChannel(TQGraphObject *go, const char *name)
{
    TQStreamChannel *channel = lookupChannel(go, name);
    TQAxisInfo *axis;
    TQChannelEnable *entry;
    if (channel && channelEntry(go, channel, &axis, &entry)) {
        entry->enable = 1;
        entry->channel = channel;
        entry->iscolorfixed = 0;
        recolorChannels(axis);
    }
    return 0;
}

// ---- lock ----------------------------------------------------------------------------

// Graph objects holding levels of a stream's lock. A graph object can leave
// its window while locked and outlive its stream; the stream's destruction
// finds it here and takes its levels back, so that no later unlock or
// release touches a stream that is gone. Locking is not on a data path.
tq::platform::Mutex &lockersMutex()
{
    static tq::platform::Mutex m;
    return m;
}
GraphObjectPrivate *lockers = nullptr;

void addLocker(GraphObjectPrivate *p)
{
    tq::platform::MutexGuard guard(lockersMutex());
    p->previousLocker = nullptr;
    p->nextLocker = lockers;
    if (lockers)
        lockers->previousLocker = p;
    lockers = p;
}

void removeLocker(GraphObjectPrivate *p)
{
    tq::platform::MutexGuard guard(lockersMutex());
    if (p->previousLocker)
        p->previousLocker->nextLocker = p->nextLocker;
    else if (lockers == p)
        lockers = p->nextLocker;
    else
        return; // not registered
    if (p->nextLocker)
        p->nextLocker->previousLocker = p->previousLocker;
    p->nextLocker = p->previousLocker = nullptr;
}

int32_t graphObjectLock(TQGraphObject *go, uint32_t timeoutMs)
{
    TQStream *stream = streamOf(go);
    if (!stream)
        return TQS_ERR_FAILED;
    GraphObjectPrivate *p = priv(go);
    {
        // Levels held on another stream (the graph object moved while locked)
        // must be given back there first; mixing them would unlock the wrong one.
        tq::platform::MutexGuard guard(lockersMutex());
        if (go->lockDepth > 0 && p->lockedStream && p->lockedStream != stream)
            return TQS_ERR_FAILED;
    }
    // Not under the registry's mutex: this may wait for another thread.
    if (stream->streamLock(stream, timeoutMs) != 0)
        return TQS_ERR_LOCK_TIMEOUT;
    // The depth and owner change only under the registry's mutex, so that a
    // refused unlock from another thread never sees them half written.
    tq::platform::MutexGuard guard(lockersMutex());
    if (go->lockDepth <= 0) {
        go->lockDepth = 0;
        addLocker(p);
    }
    p->lockedStream = stream;
    p->lockOwner = tq::platform::currentThreadId();
    ++go->lockDepth;
    return 0;
}

int32_t graphObjectUnlock(TQGraphObject *go)
{
    GraphObjectPrivate *p = priv(go);
    tq::platform::MutexGuard guard(lockersMutex());
    // The stream that was locked, wherever the graph object is now.
    TQStream *stream = go->lockDepth > 0 && p->lockedStream ? p->lockedStream : streamOf(go);
    if (!stream)
        return TQS_ERR_FAILED;
    if (go->lockDepth <= 0)
        return 0;
    // Only the thread that took the levels can give them back: the stream's
    // mutex refuses anyone else, and counting a level down that was not
    // released would leave the stream locked with nothing to unlock it.
    if (p->lockOwner != tq::platform::currentThreadId())
        return TQS_ERR_FAILED;
    --go->lockDepth;
    stream->streamUnlock(stream);
    if (go->lockDepth == 0) {
        p->lockedStream = nullptr;
        p->lockOwner = 0;
        removeLocker(p);
    }
    return 0;
}

} // namespace

void forgetStreamLocks(TQStream *stream)
{
    tq::platform::MutexGuard guard(lockersMutex());
    for (GraphObjectPrivate *p = lockers; p;) {
        GraphObjectPrivate *next = p->nextLocker;
        if (p->lockedStream == stream) {
            for (; p->pub.lockDepth > 0; --p->pub.lockDepth)
                stream->streamUnlock(stream);
            p->lockedStream = nullptr;
            p->lockOwner = 0;
            if (p->previousLocker)
                p->previousLocker->nextLocker = next;
            else
                lockers = next;
            if (next)
                next->previousLocker = p->previousLocker;
            p->nextLocker = p->previousLocker = nullptr;
        }
        p = next;
    }
}

namespace
{

TQStream *getStream(TQGraphObject *go)
{
    TQStream *stream = streamOf(go);
    if (stream)
        stream->streamAddRef(stream);
    return stream;
}

TQDisplayWindow *getDisplayWindow(TQGraphObject *go)
{
    return windowOf(go);
}

void initGraphObject(TQGraphObject *go)
{
    go->refCount = 1;
    go->gridenable = 1;
    go->graphObjectAddRef = graphObjectAddRef;
    go->graphObjectSlotRelease = graphObjectSlotRelease;
    go->graphObjectSetTitle = setTitle;
    go->graphObjectGetTitle = getTitle;
    go->graphObjectSetXPos = setInt<&TQGraphObject::xpos>;
    go->graphObjectGetXPos = getInt<&TQGraphObject::xpos>;
    go->graphObjectSetYPos = setInt<&TQGraphObject::ypos>;
    go->graphObjectGetYPos = getInt<&TQGraphObject::ypos>;
    go->graphObjectSetWidth = setInt<&TQGraphObject::width>;
    go->graphObjectGetWidth = getInt<&TQGraphObject::width>;
    go->graphObjectSetHeight = setInt<&TQGraphObject::height>;
    go->graphObjectGetHeight = getInt<&TQGraphObject::height>;
    go->graphObjectSetDuration = setDouble<&TQGraphObject::duration>;
    go->graphObjectGetDuration = getDouble<&TQGraphObject::duration>;
    go->graphObjectSetStartTime = setDouble<&TQGraphObject::starttime>;
    go->graphObjectGetStartTime = getDouble<&TQGraphObject::starttime>;
    go->graphObjectRescaleAxis = rescaleAxis;
    go->graphObjectResetAxis = resetAxis;
    go->graphObjectRescaleDomain = graphObjectRescaleDomain;
    go->graphObjectResetDomain = graphObjectResetDomain;
    go->graphObjectSetGraphInfo = setGraphInfo;
    go->graphObjectSetAxisCenter = setAxisCenter;
    go->graphObjectGetAxisCenter = getAxisCenter;
    go->graphObjectSetAxisSpan = setAxisSpan;
    go->graphObjectGetAxisSpan = getAxisSpan;
    go->graphObjectSetAxisColor = setAxisColor;
    go->graphObjectSetAxisEnable = setAxisEnable;
    go->graphObjectSetAxisSelected = setAxisSelected;
    go->graphObjectGetAxisVisible = getAxisVisible;
    go->graphObjectSetChannelEnable = setChannelEnable;
    go->graphObjectSetChannelColor = setChannelColor;
    go->graphObjectResetChannel = resetChannel;
    go->graphObjectGetGraphInfo = getGraphInfo;
    go->graphObjectSetBgColor = setBgColor;
    go->graphObjectSetGridEnable = setGridEnable;
    go->graphObjectLock = graphObjectLock;
    go->graphObjectUnlock = graphObjectUnlock;
    go->graphObjectReset = tq::stream::graphObjectReset;
    go->graphObjectGetStream = getStream;
    go->graphObjectGetDisplayWindow = getDisplayWindow;
    go->internalAddRef = graphObjectAddRef;
    go->internalRelease = graphObjectRelease;
    tqListInit(&go->activeAxes);
    tqListInit(&go->inactiveAxes);
    // Rendering, text export and XML.
    graphObjectFillPending(go);
}

} // namespace

// ---- construction and release ---------------------------------------------------------

TQGraphObject *createGraphObject(TQDisplayWindow *window, const char *title, int32_t x, int32_t y, int32_t width,
                                 int32_t height)
{
    auto *p = static_cast<GraphObjectPrivate *>(calloc(1, sizeof(GraphObjectPrivate)));
    if (!p)
        return nullptr;
    TQGraphObject *go = &p->pub;
    initGraphObject(go);
    copyBounded(go->title, sizeof go->title, title);
    go->starttime = -1.0;
    go->duration = 1.0;
    go->xpos = x;
    go->ypos = y;
    go->width = width;
    go->height = height;
    go->bgcolor = 0xffffff;
    if (window) {
        tqListAppend(&window->graphObjects, window, go, kGraphWindowLink);
        go->internalAddRef(go);
        auto *stream = static_cast<TQStream *>(window->streamLink.owner);
        if (stream && !defaultGraphObject(stream))
            stream->defaultGraphObject = go; // no reference of its own
    }
    return go;
}

int32_t graphObjectRelease(TQGraphObject **holder)
{
    if (!holder || !*holder)
        return 0;
    TQGraphObject *go = *holder;
    if (--go->refCount > 0)
        return 0;
    // Still in a window only when a caller also dropped the window list's
    // reference: leave the list rather than dangle in it.
    if (auto *window = windowOf(go)) {
        forgetDefault(static_cast<TQStream *>(window->streamLink.owner), go);
        tqListRemove(&window->graphObjects, go, kGraphWindowLink);
    }
    dropAllAxes(go);
    // Give back every level of the stream's lock this object still holds.
    while (go->lockDepth > 0)
        if (graphObjectUnlock(go) != 0)
            break;
    removeLocker(priv(go));
    free(priv(go));
    *holder = nullptr;
    return 0;
}

// ---- the stream's default graph object --------------------------------------------------

TQGraphObject *defaultGraphObject(TQStream *stream)
{
    TQGraphObject *candidate = stream->defaultGraphObject;
    if (!candidate)
        return nullptr;
    // Compared by address only: the field may point at a record that is gone.
    for (auto *w = static_cast<TQDisplayWindow *>(stream->displayWindows.first); w;
         w = static_cast<TQDisplayWindow *>(tqListNext(w, kWindowStreamLink)))
        for (auto *g = static_cast<TQGraphObject *>(w->graphObjects.first); g;
             g = static_cast<TQGraphObject *>(tqListNext(g, kGraphWindowLink)))
            if (g == candidate)
                return g;
    stream->defaultGraphObject = nullptr;
    return nullptr;
}

void forgetDefault(TQStream *stream, TQGraphObject *go)
{
    if (stream && stream->defaultGraphObject == go)
        stream->defaultGraphObject = nullptr;
}

namespace
{

int32_t streamSetGraphInfo(TQStream *stream, const char *unit, double center, double span, uint32_t colour)
{
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go)
        return TQS_ERR_FAILED;
    return go->graphObjectSetGraphInfo(go, unit, center, span, colour);
}

int32_t streamGetGraphInfo(TQStream *stream, const char *unit, double *center, double *span, uint32_t *colour)
{
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go)
        return TQS_ERR_FAILED;
    return go->graphObjectGetGraphInfo(go, unit, center, span, colour);
}

int32_t streamSetGraphBg(TQStream *stream, uint32_t colour, int32_t gridEnable)
{
    if (!stream)
        return 0;
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go)
        return TQS_ERR_FAILED;
    go->bgcolor = colour;
    go->gridenable = gridEnable;
    return 0;
}

int32_t streamGetGraphBg(TQStream *stream, uint32_t *colour, int32_t *gridEnable)
{
    if (!stream)
        return 0;
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go)
        return TQS_ERR_FAILED;
    if (colour)
        *colour = go->bgcolor;
    if (gridEnable)
        *gridEnable = go->gridenable;
    return 0;
}

int32_t streamSetGraphChannelEnable(TQStreamChannel *channel, int32_t flag)
{
    TQStream *stream = channel ? channel->stream : nullptr;
    if (!stream)
        return 0;
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go)
        return TQS_ERR_FAILED;
    return enableChannel(go, channel, flag);
}

TQGraphObject *streamGetGraphObject(TQStream *stream)
{
    if (TQGraphObject *go = defaultGraphObject(stream)) {
        go->graphObjectAddRef(go);
        return go;
    }
    TQDisplayWindow *window = stream->streamNewDisplayWindow(stream, stream->name, -1, -1, -1, -1);
    if (!window)
        return nullptr;
    // The reference creation hands out becomes the caller's.
    TQGraphObject *go = window->displayWindowNewGraphObject(window, stream->name, -1, -1, -1, -1);
    if (go) {
        stream->defaultGraphObject = go;
        stream->streamVerifyDisplayWindows(stream);
    }
    window->displayWindowSlotRelease(&window);
    return go;
}

} // namespace

void graphStreamInstall(TQStream *s)
{
    s->streamSetGraphInfo = streamSetGraphInfo;
    s->streamGetGraphInfo = streamGetGraphInfo;
    s->streamSetGraphBg = streamSetGraphBg;
    s->streamGetGraphBg = streamGetGraphBg;
    s->streamSetGraphChannelEnable = streamSetGraphChannelEnable;
    s->streamGetGraphObject = streamGetGraphObject;
}

} // namespace tq::stream

TQAxisInfo *StreamCommonNewAxisInfo(void)
{
    return tq::stream::newAxisInfo();
}

TQChannelEnable *StreamHandleCommonNewChannelEnable(void)
{
    return tq::stream::newChannelEnable();
}
