// Synchronisation of a graph object's layout with its stream's channels.
//
// A layout (from the device database or graph.xml) may name channels and
// units the stream lacks, and the stream may have channels the layout does
// not mention. Entries and axes whose channel is absent are parked in the
// inactive lists with their settings, so that a later synchronisation revives
// them; whatever is new gets a default axis and entry.
#include <cstring>

#include "displayimpl.h"

namespace tq::stream
{

namespace
{

bool sameUnit(const TQAxisInfo *axis, const TQStreamChannel *channel)
{
    size_t n = strnlen(channel->eu, sizeof channel->eu);
    if (n > sizeof axis->eu - 1)
        n = sizeof axis->eu - 1; // compared as an axis made for it holds it
    return strnlen(axis->eu, sizeof axis->eu) == n && memcmp(axis->eu, channel->eu, n) == 0;
}

TQStreamChannel *channelNamed(TQStream *stream, const TQChannelEnable *entry)
{
    // The name field may be filled to the brim by a layout loader.
    char name[TQ_ENABLE_NAME_SIZE];
    copyBounded(name, sizeof name, entry->name);
    return stream->streamGetChannel(stream, name);
}

struct AxisPass {
    bool found = false;
    bool anyEnabled = false;
};

// Steps 1 to 4 for one axis: binds or parks each entry and drops entries
// whose channel now has another unit.
AxisPass passEntries(TQStream *stream, TQAxisInfo *axis)
{
    AxisPass r;
    axis->visible = 0;
    TQListHead parked;
    tqListInit(&parked);

    for (auto *e = static_cast<TQChannelEnable *>(axis->activeChannels.first); e;) {
        auto *next = static_cast<TQChannelEnable *>(tqListNext(e, kEntryActiveLink));
        TQStreamChannel *channel = channelNamed(stream, e);
        if (!channel) {
            e->channel = nullptr;
            // Parked in a private list under the same link, keeping its
            // reference and order until it joins the inactive list.
            tqListRemove(&axis->activeChannels, e, kEntryActiveLink);
            tqListAppend(&parked, axis, e, kEntryActiveLink);
        } else if (sameUnit(axis, channel)) {
            e->channel = channel;
            r.found = true;
            r.anyEnabled = r.anyEnabled || e->enable;
        } else {
            entryUnlink(axis, e);
        }
        e = next;
    }

    for (auto *e = static_cast<TQChannelEnable *>(axis->inactiveChannels.first); e;) {
        auto *next = static_cast<TQChannelEnable *>(tqListNext(e, kEntryInactiveLink));
        TQStreamChannel *channel = channelNamed(stream, e);
        if (!channel) {
            e->channel = nullptr;
        } else if (sameUnit(axis, channel)) {
            e->channel = channel;
            entryMove(axis, e, true);
            r.found = true;
            r.anyEnabled = r.anyEnabled || e->enable;
        } else {
            entryUnlink(axis, e);
        }
        e = next;
    }

    while (auto *e = static_cast<TQChannelEnable *>(parked.first)) {
        tqListRemove(&parked, e, kEntryActiveLink);
        // The parked list's reference passes to the inactive list.
        tqListAppend(&axis->inactiveChannels, axis, e, kEntryInactiveLink);
    }
    return r;
}

TQAxisInfo *axisForUnit(TQGraphObject *go, const TQStreamChannel *channel)
{
    for (auto *a = static_cast<TQAxisInfo *>(go->activeAxes.first); a;
         a = static_cast<TQAxisInfo *>(tqListNext(a, kAxisActiveLink)))
        if (sameUnit(a, channel))
            return a;
    for (auto *a = static_cast<TQAxisInfo *>(go->inactiveAxes.first); a;
         a = static_cast<TQAxisInfo *>(tqListNext(a, kAxisInactiveLink)))
        if (sameUnit(a, channel)) {
            axisMove(go, a, true);
            return a;
        }
    return nullptr;
}

bool hasEntry(TQAxisInfo *axis, const TQStreamChannel *channel)
{
    char name[TQ_ENABLE_NAME_SIZE];
    copyBounded(name, sizeof name, channel->name);
    for (auto *e = static_cast<TQChannelEnable *>(axis->activeChannels.first); e;
         e = static_cast<TQChannelEnable *>(tqListNext(e, kEntryActiveLink)))
        if (strncmp(e->name, name, sizeof name) == 0)
            return true;
    for (auto *e = static_cast<TQChannelEnable *>(axis->inactiveChannels.first); e;
         e = static_cast<TQChannelEnable *>(tqListNext(e, kEntryInactiveLink)))
        if (strncmp(e->name, name, sizeof name) == 0)
            return true;
    return false;
}

// A new enabled entry for channel at the end of axis's active list; false
// without memory.
bool addEntry(TQAxisInfo *axis, TQStreamChannel *channel)
{
    TQChannelEnable *e = newChannelEnable();
    if (!e)
        return false;
    copyBounded(e->name, sizeof e->name, channel->name);
    e->enable = 1;
    e->channel = channel;
    entryAppend(axis, e, true);
    TQChannelEnable *copy = e;
    e->channelEnableRelease(&copy);
    return true;
}

void addChannel(TQGraphObject *go, TQStreamChannel *channel)
{
    if (TQAxisInfo *axis = axisForUnit(go, channel)) {
        if (!hasEntry(axis, channel) && addEntry(axis, channel))
            axis->visible = 1;
        return;
    }
    TQAxisInfo *axis = newAxisInfo();
    if (!axis)
        return;
    copyBounded(axis->eu, sizeof axis->eu, channel->eu);
    UnitDefaults d = unitDefaults(axis->eu);
    axis->center = d.center;
    axis->span = d.span;
    axis->color = d.color;
    axis->enable = 1;
    axis->visible = 1;
    axisAppend(go, axis, true);
    TQAxisInfo *copy = axis;
    axis->axisInfoRelease(&copy);
    addEntry(axis, channel);
}

} // namespace

void syncGraphObject(TQGraphObject *go)
{
    TQStream *stream = streamOf(go);
    if (!stream)
        return;

    // Axes of the active list that lost every channel wait here, in order,
    // holding the active list's reference, until they join the inactive list.
    TQListHead parked;
    tqListInit(&parked);
    for (auto *a = static_cast<TQAxisInfo *>(go->activeAxes.first); a;) {
        auto *next = static_cast<TQAxisInfo *>(tqListNext(a, kAxisActiveLink));
        AxisPass r = passEntries(stream, a);
        if (!r.found) {
            tqListRemove(&go->activeAxes, a, kAxisActiveLink);
            tqListAppend(&parked, go, a, kAxisActiveLink);
        } else {
            a->visible = a->enable && r.anyEnabled ? 1 : 0;
        }
        a = next;
    }
    for (auto *a = static_cast<TQAxisInfo *>(go->inactiveAxes.first); a;) {
        auto *next = static_cast<TQAxisInfo *>(tqListNext(a, kAxisInactiveLink));
        AxisPass r = passEntries(stream, a);
        if (r.found) {
            axisMove(go, a, true);
            a->visible = a->enable ? 1 : 0;
        }
        a = next;
    }
    while (auto *a = static_cast<TQAxisInfo *>(parked.first)) {
        tqListRemove(&parked, a, kAxisActiveLink);
        tqListAppend(&go->inactiveAxes, go, a, kAxisInactiveLink);
    }

    // The channel count is asked again before each index: an owner may
    // change it under us.
    for (int32_t i = 0; i < stream->streamGetNumberChannels(stream); ++i)
        if (TQStreamChannel *channel = stream->streamGetChannelByIndex(stream, i))
            addChannel(go, channel);

    for (auto *a = static_cast<TQAxisInfo *>(go->activeAxes.first); a;
         a = static_cast<TQAxisInfo *>(tqListNext(a, kAxisActiveLink)))
        recolorChannels(a);
}

int32_t graphObjectReset(TQGraphObject *go)
{
    go->gridenable = 1;
    go->bgcolor = 0xffffff;
    if (!streamOf(go))
        return 0;
    dropAllAxes(go);
    syncGraphObject(go);
    return 0;
}

} // namespace tq::stream
