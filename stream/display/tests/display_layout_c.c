/* A stored layout rebuilt the way a separately built caller does it, in C
 * over the public header only: records from the exports, fields filled,
 * linked into a graph object's lists by hand, then the stream asked to bind
 * the layout to its channels. */
#include <string.h>

#include "tqstream.h"

static TQAxisInfo *storedAxis(TQGraphObject *go, const char *unit, int32_t enable, uint32_t colour)
{
    TQAxisInfo *axis = StreamCommonNewAxisInfo();
    if (!axis)
        return NULL;
    strncpy(axis->eu, unit, sizeof axis->eu - 1);
    axis->enable = enable;
    axis->center = 5.0;
    axis->span = 2.0;
    axis->color = colour;
    if (enable)
        tqListAppend(&go->activeAxes, go, axis, offsetof(TQAxisInfo, activeLink));
    else
        tqListAppend(&go->inactiveAxes, go, axis, offsetof(TQAxisInfo, inactiveLink));
    axis->axisInfoAddRef(axis);
    return axis;
}

static void storedChannel(TQAxisInfo *axis, const char *name, int32_t enable, uint32_t colour, int32_t fixed)
{
    TQChannelEnable *entry = StreamHandleCommonNewChannelEnable();
    if (!entry)
        return;
    strncpy(entry->name, name, sizeof entry->name - 1);
    entry->enable = enable;
    entry->color = colour;
    entry->iscolorfixed = fixed;
    if (enable)
        tqListAppend(&axis->activeChannels, axis, entry, offsetof(TQChannelEnable, activeLink));
    else
        tqListAppend(&axis->inactiveChannels, axis, entry, offsetof(TQChannelEnable, inactiveLink));
    entry->channelEnableAddRef(entry);
    entry->channelEnableRelease(&entry);
}

/* Layout: "volts" (enabled) with a (fixed colour) and gone (disabled);
 * "hz" (disabled) with f. Returns the default graph object with a reference
 * for the caller, or null. */
TQGraphObject *rebuildStoredLayout(TQStream *stream)
{
    TQGraphObject *go = stream->streamGetGraphObject(stream);
    TQAxisInfo *volts, *hz;
    if (!go)
        return NULL;
    volts = storedAxis(go, "volts", 1, 0x0000ff);
    hz = storedAxis(go, "hz", 0, 0x00ff00);
    if (volts) {
        storedChannel(volts, "a", 1, 0x123456, 1);
        storedChannel(volts, "gone", 0, 0x654321, 1);
        volts->axisInfoRelease(&volts);
    }
    if (hz) {
        storedChannel(hz, "f", 1, 0, 0);
        hz->axisInfoRelease(&hz);
    }
    stream->streamVerifyDisplayWindows(stream);
    return go;
}
