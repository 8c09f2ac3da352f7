/* Part of the stream engine's public interface; include tqstream.h.
 *
 * The display model: display windows, the graph objects they hold, the axis
 * info records of a graph object (one per engineering unit), the channel
 * enable records of an axis (one per channel), and the widgets of a window.
 * The front panel calls these records through their function fields; the
 * resource manager also reads and writes their data fields and list links
 * directly when it stores and rebuilds a display layout. Never reorder a
 * field: the order is guarded at the end of this file.
 *
 * Lists are the intrusive lists of tq/list.h; each list membership holds one
 * reference on the element, released through the element's internal release
 * hook. */
#ifndef TQSTREAM_DISPLAY_H
#define TQSTREAM_DISPLAY_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/list.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQAxisInfo TQAxisInfo;
typedef struct TQChannelEnable TQChannelEnable;
typedef struct TQWidget TQWidget;

#define TQ_DISPLAY_TITLE_SIZE   128
#define TQ_AXIS_EU_SIZE          68
#define TQ_ENABLE_NAME_SIZE     128
#define TQ_GRAPH_LIST_UNITS       8
#define TQ_WIDGET_COLORS          6

/* Results of the display model besides those of tq/status.h. */
#define TQS_ERR_NO_AXIS (-17)

/* ---- Channel enable record: one channel of an axis -------------------------- */

struct TQChannelEnable {
    int32_t refCount;
    char name[TQ_ENABLE_NAME_SIZE];              /* the stream channel's name */
    int32_t enable;
    TQStreamChannel *channel;                    /* bound stream channel, or null */
    int32_t iscolorfixed;                        /* the user chose color */
    uint32_t color;                              /* 0xRRGGBB */
    void *brush;                                 /* scratch of one rendering */
    int32_t lastX;
    int32_t lastY;
    int32_t xmlState;
    int32_t (*channelEnableAddRef)(TQChannelEnable *entry);
    int32_t (*channelEnableRelease)(TQChannelEnable **entry);
    int32_t (*channelEnableWriteXML)(TQChannelEnable *entry, TQStream *writer);
    TQListLink activeLink;                       /* axis's active channel list; owner = axis */
    TQListLink inactiveLink;                     /* axis's inactive channel list; owner = axis */
};

/* ---- Axis info record: one engineering unit of a graph object -------------- */

struct TQAxisInfo {
    int32_t refCount;
    int32_t enable;
    int32_t visible;                             /* drawn */
    char eu[TQ_AXIS_EU_SIZE];                    /* engineering unit name */
    double center;
    double span;                                 /* the axis runs center -/+ span/2 */
    uint32_t color;                              /* 0xRRGGBB */
    int32_t labelWidth;                          /* pixels, written by each rendering */
    int32_t xmlState;
    TQChannelEnable *xmlCursor;
    int32_t (*axisInfoAddRef)(TQAxisInfo *axis);
    int32_t (*axisInfoRelease)(TQAxisInfo **axis);
    int32_t (*axisInfoWriteXML)(TQAxisInfo *axis, TQStream *writer);
    int32_t (*axisInfoListXML)(TQAxisInfo *axis, TQStream *writer);
    TQListHead activeChannels;
    TQListHead inactiveChannels;
    TQListLink activeLink;                       /* graph object's active axis list; owner = graph object */
    TQListLink inactiveLink;                     /* graph object's inactive axis list; owner = graph object */
};

/* ---- Graph object ------------------------------------------------------------ */

struct TQGraphObject {
    int32_t (*graphObjectAddRef)(TQGraphObject *go);
    int32_t (*graphObjectSlotRelease)(TQGraphObject **go);
    int32_t (*graphObjectSetTitle)(TQGraphObject *go, const char *title);
    int32_t (*graphObjectGetTitle)(TQGraphObject *go, char *buffer, int32_t size);
    int32_t (*graphObjectSetXPos)(TQGraphObject *go, int32_t value);
    int32_t (*graphObjectGetXPos)(TQGraphObject *go, int32_t *value);
    int32_t (*graphObjectSetYPos)(TQGraphObject *go, int32_t value);
    int32_t (*graphObjectGetYPos)(TQGraphObject *go, int32_t *value);
    int32_t (*graphObjectSetWidth)(TQGraphObject *go, int32_t value);
    int32_t (*graphObjectGetWidth)(TQGraphObject *go, int32_t *value);
    int32_t (*graphObjectSetHeight)(TQGraphObject *go, int32_t value);
    int32_t (*graphObjectGetHeight)(TQGraphObject *go, int32_t *value);
    int32_t (*graphObjectSetDuration)(TQGraphObject *go, double seconds);
    int32_t (*graphObjectGetDuration)(TQGraphObject *go, double *seconds);
    int32_t (*graphObjectSetStartTime)(TQGraphObject *go, double seconds);
    int32_t (*graphObjectGetStartTime)(TQGraphObject *go, double *seconds);
    int32_t (*graphObjectRescaleAxis)(TQGraphObject *go, const char *unit, double zoom, double shift);
    int32_t (*graphObjectResetAxis)(TQGraphObject *go, const char *unit, int32_t resetSpan, int32_t resetCenter,
                                    int32_t resetColor);
    int32_t (*graphObjectRescaleDomain)(TQGraphObject *go, double zoom, double shift);
    int32_t (*graphObjectResetDomain)(TQGraphObject *go, int32_t resetStart, int32_t resetDuration);
    int32_t (*graphObjectSetGraphInfo)(TQGraphObject *go, const char *unit, double center, double span,
                                       uint32_t colour);
    void *graphObjectReserved22;                 /* always null */
    int32_t (*graphObjectSetAxisCenter)(TQGraphObject *go, const char *unit, double center);
    int32_t (*graphObjectGetAxisCenter)(TQGraphObject *go, const char *unit, double *center);
    int32_t (*graphObjectSetAxisSpan)(TQGraphObject *go, const char *unit, double span);
    int32_t (*graphObjectGetAxisSpan)(TQGraphObject *go, const char *unit, double *span);
    int32_t (*graphObjectSetAxisColor)(TQGraphObject *go, const char *unit, uint32_t colour);
    int32_t (*graphObjectSetAxisEnable)(TQGraphObject *go, const char *unit, int32_t flag);
    int32_t (*graphObjectSetAxisSelected)(TQGraphObject *go, const char *unit);
    int32_t (*graphObjectGetAxisVisible)(TQGraphObject *go, const char *unit, int32_t *visible);
    int32_t (*graphObjectSetChannelEnable)(TQGraphObject *go, const char *name, int32_t flag);
    int32_t (*graphObjectSetChannelColor)(TQGraphObject *go, const char *name, uint32_t colour);
    int32_t (*graphObjectResetChannel)(TQGraphObject *go, const char *name);
    int32_t (*graphObjectGetGraphInfo)(TQGraphObject *go, const char *unit, double *center, double *span,
                                       uint32_t *colour);
    int32_t (*graphObjectGetGraph)(TQGraphObject *go, int32_t width, int32_t height, int32_t mode, void **image,
                                   uint32_t *size);
    int32_t (*graphObjectGetGraphEu)(TQGraphObject *go, int32_t x, int32_t y, int32_t width, int32_t height,
                                     double *time, double *value);
    int32_t (*graphObjectFreeGraph)(void *object, void *image);
    int32_t (*graphObjectSetBgColor)(TQGraphObject *go, uint32_t colour);
    int32_t (*graphObjectSetGridEnable)(TQGraphObject *go, int32_t flag);
    int32_t (*graphObjectLock)(TQGraphObject *go, uint32_t timeoutMs);
    int32_t (*graphObjectUnlock)(TQGraphObject *go);
    int32_t (*graphObjectConvertToAscii)(TQGraphObject *go, const char *path);
    int32_t (*graphObjectReset)(TQGraphObject *go);
    TQStream *(*graphObjectGetStream)(TQGraphObject *go);
    TQDisplayWindow *(*graphObjectGetDisplayWindow)(TQGraphObject *go);
    int32_t (*graphObjectGetGraphNav)(TQGraphObject *go, int32_t width, int32_t height, uint16_t *plotLeft,
                                      uint16_t *plotRight, uint16_t *plotBottom, uint16_t *plotTop);
    void *graphObjectReserved47;                 /* always null */
    int32_t (*graphObjectListAxes)(TQGraphObject *go, char *buffer, uint32_t size, uint32_t *count);

    int32_t refCount;
    char title[TQ_DISPLAY_TITLE_SIZE];
    int32_t xpos;                                /* the default graph object has -1 in all four */
    int32_t ypos;
    int32_t width;
    int32_t height;
    int32_t lockDepth;                           /* levels of graphObjectLock held */
    double starttime;                            /* >= 0 from the first scan, < 0 back from the newest */
    double shownStart;
    double duration;
    double shownDuration;
    int32_t shownAxisCount;
    int32_t fontSize;
    int32_t textHeight;
    int32_t charWidth;
    int32_t plotLeft;
    int32_t plotRight;
    int32_t plotBottom;
    int32_t plotTop;
    int32_t gridenable;
    uint32_t bgcolor;
    /* Axis listing of the stream's default graph object and the XML writer. */
    const char *listUnits[TQ_GRAPH_LIST_UNITS];
    int32_t xmlState;
    int32_t listUnitIndex;
    int32_t listChannelIndex;
    TQAxisInfo *xmlCursor;
    /* Hooks. */
    int32_t (*internalAddRef)(TQGraphObject *go);
    int32_t (*internalRelease)(TQGraphObject **go);
    int32_t (*graphObjectWriteXML)(TQGraphObject *go, TQStream *writer);
    TQListHead activeAxes;                       /* drawn; the last one is the selected axis */
    TQListHead inactiveAxes;
    TQListLink windowLink;                       /* display window's list; owner = window */
};

/* ---- Widget ------------------------------------------------------------------ */

struct TQWidget {
    int32_t (*widgetAddRef)(TQWidget *widget);
    int32_t (*widgetRelease)(TQWidget **widget);
    int32_t (*widgetSetTitle)(TQWidget *widget, const char *title);
    int32_t (*widgetGetTitle)(TQWidget *widget, char *buffer, int32_t size);
    int32_t (*widgetSetXPos)(TQWidget *widget, int32_t value);
    int32_t (*widgetGetXPos)(TQWidget *widget, int32_t *value);
    int32_t (*widgetSetYPos)(TQWidget *widget, int32_t value);
    int32_t (*widgetGetYPos)(TQWidget *widget, int32_t *value);
    int32_t (*widgetSetWidth)(TQWidget *widget, int32_t value);
    int32_t (*widgetGetWidth)(TQWidget *widget, int32_t *value);
    int32_t (*widgetSetHeight)(TQWidget *widget, int32_t value);
    int32_t (*widgetGetHeight)(TQWidget *widget, int32_t *value);
    int32_t (*widgetSetMin)(TQWidget *widget, int32_t value);
    int32_t (*widgetGetMin)(TQWidget *widget, int32_t *value);
    int32_t (*widgetSetMax)(TQWidget *widget, int32_t value);
    int32_t (*widgetGetMax)(TQWidget *widget, int32_t *value);
    int32_t (*widgetSetChannel)(TQWidget *widget, const char *name);
    int32_t (*widgetGetChannel)(TQWidget *widget, char *buffer, int32_t size);
    int32_t (*widgetSetType)(TQWidget *widget, int32_t type);
    int32_t (*widgetGetType)(TQWidget *widget, int32_t *type);
    int32_t (*widgetSetColor)(TQWidget *widget, int32_t index, uint32_t colour);
    int32_t (*widgetGetColor)(TQWidget *widget, int32_t index, uint32_t *colour);
    int32_t (*widgetGetImage)(TQWidget *widget, void **image, uint32_t *size);
    int32_t (*widgetFreeImage)(TQWidget *widget, void *image);
    int32_t (*widgetReset)(TQWidget *widget);
    int32_t (*widgetClose)(TQWidget *widget);

    int32_t refCount;
    char title[TQ_DISPLAY_TITLE_SIZE];
    char channel[TQ_ENABLE_NAME_SIZE];
    int32_t type;                                /* 0 dial gauge */
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    int32_t min;
    int32_t max;
    uint32_t colors[TQ_WIDGET_COLORS];
    int32_t (*internalAddRef)(TQWidget *widget);
    int32_t (*internalRelease)(TQWidget **widget);
    TQListLink link;                             /* window's widget list; owner = window */
};

/* ---- Display window ---------------------------------------------------------- */

struct TQDisplayWindow {
    int32_t (*displayWindowAddRef)(TQDisplayWindow *window);
    int32_t (*displayWindowSlotRelease)(TQDisplayWindow **window);
    int32_t (*displayWindowSetTitle)(TQDisplayWindow *window, const char *title);
    int32_t (*displayWindowGetTitle)(TQDisplayWindow *window, char *buffer, int32_t size);
    int32_t (*displayWindowSetBgColor)(TQDisplayWindow *window, uint32_t colour);
    int32_t (*displayWindowSetXPos)(TQDisplayWindow *window, int32_t value);
    int32_t (*displayWindowGetXPos)(TQDisplayWindow *window, int32_t *value);
    int32_t (*displayWindowSetYPos)(TQDisplayWindow *window, int32_t value);
    int32_t (*displayWindowGetYPos)(TQDisplayWindow *window, int32_t *value);
    int32_t (*displayWindowSetWidth)(TQDisplayWindow *window, int32_t value);
    int32_t (*displayWindowGetWidth)(TQDisplayWindow *window, int32_t *value);
    int32_t (*displayWindowSetHeight)(TQDisplayWindow *window, int32_t value);
    int32_t (*displayWindowGetHeight)(TQDisplayWindow *window, int32_t *value);
    TQGraphObject *(*displayWindowNewGraphObject)(TQDisplayWindow *window, const char *title, int32_t x, int32_t y,
                                                  int32_t width, int32_t height);
    TQGraphObject *(*displayWindowGetGraphObjectByTitle)(TQDisplayWindow *window, const char *title);
    int32_t (*displayWindowGetNumberGraphObjects)(TQDisplayWindow *window);
    TQGraphObject *(*displayWindowGetGraphObjectByIndex)(TQDisplayWindow *window, int32_t index);
    void (*displayWindowRemoveGraphObject)(TQDisplayWindow *window, TQGraphObject *go);
    void (*displayWindowAddGraphObject)(TQDisplayWindow *window, TQGraphObject *go);
    TQWidget *(*displayWindowNewWidget)(TQDisplayWindow *window, int32_t type, const char *title, int32_t x,
                                        int32_t y, int32_t width, int32_t height);
    TQWidget *(*displayWindowGetWidgetByTitle)(TQDisplayWindow *window, const char *title);
    int32_t (*displayWindowGetNumberWidgets)(TQDisplayWindow *window);
    TQWidget *(*displayWindowGetWidgetByIndex)(TQDisplayWindow *window, int32_t index);
    int32_t (*displayWindowReleaseGraphObjects)(TQDisplayWindow *window);

    int32_t refCount;                            /* 1 at construction, 2 once in the stream's list */
    char title[TQ_DISPLAY_TITLE_SIZE];
    int32_t x;                                   /* the default window has -1 in all four */
    int32_t y;
    int32_t width;
    int32_t height;
    uint32_t bgcolor;
    int32_t xmlState;
    TQGraphObject *xmlCursor;
    int32_t (*internalAddRef)(TQDisplayWindow *window);
    int32_t (*internalRelease)(TQDisplayWindow **window);
    int32_t (*displayWindowWriteXML)(TQDisplayWindow *window, TQStream *writer);
    TQListHead graphObjects;
    TQListHead widgets;
    TQListLink streamLink;                       /* stream's window list; owner = stream */
};

/* ---- Exports ------------------------------------------------------------------ */

/* Axis info and channel enable records for a caller that builds a layout
 * itself: zero-filled, count 1, functions filled, not linked anywhere. The
 * caller fills the data fields, links the record, takes the list's reference
 * through its add-reference function and drops its own. Null without memory. */
TQ_API TQAxisInfo *StreamCommonNewAxisInfo(void);
TQ_API TQChannelEnable *StreamHandleCommonNewChannelEnable(void);

#ifdef __cplusplus
}
#endif

/* ---- Record order ------------------------------------------------------------
 * Exact offsets on the LP64 platform. */
#ifdef __cplusplus
#define TQ_DISPLAY_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_DISPLAY_ASSERT(cond) _Static_assert(cond, #cond)
#endif

TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, name) == 4);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, enable) == 132);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, channel) == 136);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, iscolorfixed) == 144);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, color) == 148);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, brush) == 152);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, lastX) == 160);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, xmlState) == 168);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, channelEnableAddRef) == 176);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, channelEnableWriteXML) == 192);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, activeLink) == 200);
TQ_DISPLAY_ASSERT(offsetof(TQChannelEnable, inactiveLink) == 224);

TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, enable) == 4);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, visible) == 8);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, eu) == 12);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, center) == 80);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, span) == 88);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, color) == 96);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, labelWidth) == 100);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, xmlState) == 104);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, xmlCursor) == 112);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, axisInfoAddRef) == 120);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, axisInfoListXML) == 144);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, activeChannels) == 152);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, inactiveChannels) == 176);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, activeLink) == 200);
TQ_DISPLAY_ASSERT(offsetof(TQAxisInfo, inactiveLink) == 224);

TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectSetTitle) == 2 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectSetGraphInfo) == 20 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectReserved22) == 21 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectSetAxisCenter) == 22 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectGetGraphInfo) == 33 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectLock) == 39 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectReset) == 42 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectGetGraphNav) == 45 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectReserved47) == 46 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectListAxes) == 47 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, refCount) == 48 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, title) == 388);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, xpos) == 516);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, lockDepth) == 532);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, starttime) == 536);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, shownStart) == 544);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, duration) == 552);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, shownDuration) == 560);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, shownAxisCount) == 568);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, plotLeft) == 584);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, plotTop) == 596);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, gridenable) == 600);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, bgcolor) == 604);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, listUnits) == 608);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, xmlState) == 672);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, listChannelIndex) == 680);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, xmlCursor) == 688);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, internalAddRef) == 696);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, graphObjectWriteXML) == 712);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, activeAxes) == 720);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, inactiveAxes) == 744);
TQ_DISPLAY_ASSERT(offsetof(TQGraphObject, windowLink) == 768);

TQ_DISPLAY_ASSERT(offsetof(TQWidget, widgetClose) == 25 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, refCount) == 26 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, title) == 212);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, channel) == 340);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, type) == 468);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, min) == 488);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, colors) == 496);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, internalAddRef) == 520);
TQ_DISPLAY_ASSERT(offsetof(TQWidget, link) == 536);

TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, displayWindowNewGraphObject) == 13 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, displayWindowAddGraphObject) == 18 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, displayWindowReleaseGraphObjects) == 23 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, refCount) == 24 * 8);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, title) == 196);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, x) == 324);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, bgcolor) == 340);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, xmlState) == 344);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, xmlCursor) == 352);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, internalAddRef) == 360);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, displayWindowWriteXML) == 376);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, graphObjects) == 384);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, widgets) == 408);
TQ_DISPLAY_ASSERT(offsetof(TQDisplayWindow, streamLink) == 432);

#undef TQ_DISPLAY_ASSERT

#endif
