// Internal view of the display model shared by the stream engine's sources:
// graph objects, their axes and channel entries, synchronisation with the
// stream's channels, time windows and display windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "tqstream.h"

namespace tq::stream
{

constexpr size_t kAxisActiveLink = offsetof(TQAxisInfo, activeLink);
constexpr size_t kAxisInactiveLink = offsetof(TQAxisInfo, inactiveLink);
constexpr size_t kEntryActiveLink = offsetof(TQChannelEnable, activeLink);
constexpr size_t kEntryInactiveLink = offsetof(TQChannelEnable, inactiveLink);
constexpr size_t kGraphWindowLink = offsetof(TQGraphObject, windowLink);
constexpr size_t kWidgetLink = offsetof(TQWidget, link);
constexpr size_t kWindowStreamLink = offsetof(TQDisplayWindow, streamLink);

// Graph objects are allocated as this block: the public record first, then
// what only the engine uses.
struct GraphObjectPrivate {
    TQGraphObject pub;
    // The stream whose lock graphObjectLock took (lockDepth levels of it), so
    // that unlocking and a release at zero give that lock back even after the
    // graph object has left its window.
    TQStream *lockedStream;
    // The thread that holds those levels: the stream's lock is a mutex owned
    // by a thread, so only that thread may give a level back.
    uint64_t lockOwner;
    // Registry of graph objects that hold levels of some stream's lock.
    GraphObjectPrivate *nextLocker;
    GraphObjectPrivate *previousLocker;
};

inline GraphObjectPrivate *priv(TQGraphObject *go)
{
    return reinterpret_cast<GraphObjectPrivate *>(go);
}

// Default centre, span and colour of an axis for a unit.
struct UnitDefaults {
    double center;
    double span;
    uint32_t color;
};
UnitDefaults unitDefaults(const char *unit);

// Copies at most size - 1 bytes of text and terminates the field; a null text
// gives an empty field.
void copyBounded(char *field, size_t size, const char *text);

// Lookup modes of findAxis and findChannelEnable.
enum FindMode : int32_t { kFindOnly = 0, kCreateActive = 1, kCreateInactive = 2 };

TQAxisInfo *findAxis(TQGraphObject *go, const char *unit, int32_t mode, int32_t *active);
TQChannelEnable *findChannelEnable(TQAxisInfo *axis, const char *name, int32_t mode, int32_t *active);
void recolorChannels(TQAxisInfo *axis);

// Records made here: count 1, functions filled, lists empty, not linked.
TQAxisInfo *newAxisInfo();
TQChannelEnable *newChannelEnable();

// List moves and removals; each keeps the element's count: the old list's
// reference is dropped and the new list takes one.
void axisAppend(TQGraphObject *go, TQAxisInfo *axis, bool active);
void axisUnlink(TQGraphObject *go, TQAxisInfo *axis);
void entryAppend(TQAxisInfo *axis, TQChannelEnable *entry, bool active);
void entryUnlink(TQAxisInfo *axis, TQChannelEnable *entry);
void axisMove(TQGraphObject *go, TQAxisInfo *axis, bool toActive);
void entryMove(TQAxisInfo *axis, TQChannelEnable *entry, bool toActive);
// Unlinks and releases every axis of both lists.
void dropAllAxes(TQGraphObject *go);
// Unlinks and releases every entry of both channel lists of an axis.
void dropAllEntries(TQAxisInfo *axis);

// The graph object's window and that window's stream (null when unlinked).
TQDisplayWindow *windowOf(TQGraphObject *go);
TQStream *streamOf(TQGraphObject *go);

// A graph object made in window (count 2: the window's list and the caller),
// or null. Becomes the stream's default graph object when it has none.
TQGraphObject *createGraphObject(TQDisplayWindow *window, const char *title, int32_t x, int32_t y, int32_t width,
                                 int32_t height);
int32_t graphObjectRelease(TQGraphObject **holder);
// Binds the graph object's layout to its stream's channels as they are now.
void syncGraphObject(TQGraphObject *go);
int32_t graphObjectReset(TQGraphObject *go);
int32_t graphObjectRescaleDomain(TQGraphObject *go, double zoom, double shift);
int32_t graphObjectResetDomain(TQGraphObject *go, int32_t resetStart, int32_t resetDuration);

// The stream's default graph object while it is still one of the graph
// objects of the stream's windows; otherwise the field is cleared and null is
// returned. The field holds no reference, and callers (the resource manager,
// the XML reader) replace windows behind the stream's back, so it is checked
// before every use.
TQGraphObject *defaultGraphObject(TQStream *stream);
// Clears the stream's default graph object when it is go.
void forgetDefault(TQStream *stream, TQGraphObject *go);

// Gives back every level of the stream's lock that graph objects still hold,
// wherever they are, and makes them forget the stream: called when the
// stream is destroyed.
void forgetStreamLocks(TQStream *stream);

// Takes go out of its window's list and drops the list's reference.
void unlinkFromWindow(TQGraphObject *go);
// Takes the window out of its stream's list (forgetting the stream's default
// graph object when it is one of the window's) and drops the list's reference.
void unlinkFromStream(TQDisplayWindow *window);

// Stream function fields of the display model.
void graphStreamInstall(TQStream *stream);
TQDisplayWindow *streamNewDisplayWindow(TQStream *stream, const char *title, int32_t x, int32_t y, int32_t width,
                                        int32_t height);
int32_t streamVerifyDisplayWindows(TQStream *stream);
TQGraphObject *displayWindowNewGraphObject(TQDisplayWindow *window, const char *title, int32_t x, int32_t y,
                                           int32_t width, int32_t height);

// Tick spacing of an axis covering `range` from `low` over `pixels`, with
// ticks about `spacing` pixels apart: the step, the first tick at or above
// low and the decimals of the labels. False when no finite, positive step
// exists.
struct TickStep {
    double step;
    double first;
    int32_t decimals;
};
bool tickStep(double range, double low, double pixels, double spacing, TickStep *out);
// The graph font: $SYSTEMROOT/fonts/times.ttf when it exists, else the
// metric-compatible serif font of the system.
void graphFontPath(char *path, size_t size);

// Rendering (graphrender.cpp).
int32_t renderGraph(TQStream *stream, TQGraphObject *go, int32_t width, int32_t height, int32_t mode, void **image,
                    uint32_t *size);
int32_t graphGetGraph(TQGraphObject *go, int32_t width, int32_t height, int32_t mode, void **image, uint32_t *size);
int32_t streamGetGraph(TQStream *stream, int32_t width, int32_t height, int32_t mode, double start, double duration,
                       void **image, uint32_t *size);
int32_t freeGraph(void *object, void *image);
int32_t graphGetGraphEu(TQGraphObject *go, int32_t x, int32_t y, int32_t width, int32_t height, double *time,
                        double *value);
int32_t graphGetGraphNav(TQGraphObject *go, int32_t width, int32_t height, uint16_t *plotLeft, uint16_t *plotRight,
                         uint16_t *plotBottom, uint16_t *plotTop);
int32_t streamGetGraphNav(TQStream *stream, int32_t width, int32_t height, uint16_t *plotLeft, uint16_t *plotRight,
                          uint16_t *plotBottom, uint16_t *plotTop);

// XML (graphxml.cpp): the writers and listings of each record.
void graphObjectFillXML(TQGraphObject *go);
void axisInfoFillXML(TQAxisInfo *axis);
void channelEnableFillXML(TQChannelEnable *entry);
void displayWindowFillXML(TQDisplayWindow *window);
void streamFillXML(TQStream *stream);
// Rebuilds the stream's display model from graph.xml text: TQS_OK, or
// TQS_ERR_FAILED when it does not parse to a closed root element.
int32_t readXMLFrom(TQStream *stream, FILE *file);
// Escapes '&', '<' and '>' in place; the text's buffer must have room for
// five characters per character.
void escapeXMLText(char *text);

// Text export of a graph object's time window (graphexport.cpp): 0, -19 when
// a listener stopped it, or a negative failure.
int32_t graphConvertToAscii(TQGraphObject *go, const char *path);

// Widgets (widget.cpp): a new widget linked into window (count 2: the
// window's list and the caller), or null.
TQWidget *displayWindowNewWidget(TQDisplayWindow *window, int32_t type, const char *title, int32_t x, int32_t y,
                                 int32_t width, int32_t height);

// Function fields filled outside the records' constructors (displayslots.cpp):
// rendering, the text export, the XML writers and listings, and widgets.
void graphObjectFillPending(TQGraphObject *go);
void axisInfoFillPending(TQAxisInfo *axis);
void channelEnableFillPending(TQChannelEnable *entry);
void displayWindowFillPending(TQDisplayWindow *window);
void streamFillPending(TQStream *stream);

} // namespace tq::stream
