// Flat exports over the display model: display windows, graph objects and
// dial widgets. Each record type keeps its operations at its own positions,
// so each export calls the named field of its own record type.
#include "exportimpl.h"

using namespace tq::stream::exports;

// ---- display windows ----

TQ_API ViStatus tqstream_setDisplayWindowTitle(TQDisplayWindow *window, const char *title)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowSetTitle(o, title); });
}

TQ_API ViStatus tqstream_getDisplayWindowTitle(TQDisplayWindow *window, char *buffer, int32_t size)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowGetTitle(o, buffer, size); });
}

TQ_API ViStatus tqstream_setDisplayWindowXPos(TQDisplayWindow *window, int32_t x)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowSetXPos(o, x); });
}

TQ_API ViStatus tqstream_getDisplayWindowXPos(TQDisplayWindow *window, int32_t *x)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowGetXPos(o, x); });
}

TQ_API ViStatus tqstream_setDisplayWindowYPos(TQDisplayWindow *window, int32_t y)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowSetYPos(o, y); });
}

TQ_API ViStatus tqstream_getDisplayWindowYPos(TQDisplayWindow *window, int32_t *y)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowGetYPos(o, y); });
}

TQ_API ViStatus tqstream_setDisplayWindowWidth(TQDisplayWindow *window, int32_t width)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowSetWidth(o, width); });
}

TQ_API ViStatus tqstream_getDisplayWindowWidth(TQDisplayWindow *window, int32_t *width)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowGetWidth(o, width); });
}

TQ_API ViStatus tqstream_setDisplayWindowHeight(TQDisplayWindow *window, int32_t height)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowSetHeight(o, height); });
}

TQ_API ViStatus tqstream_getDisplayWindowHeight(TQDisplayWindow *window, int32_t *height)
{
    return mappedOn(window, [&](auto *o) { return o->displayWindowGetHeight(o, height); });
}

TQ_API ViStatus tqstream_newGraphObject(TQDisplayWindow *window, const char *title, int32_t x, int32_t y, int32_t width,
                                        int32_t height, TQGraphObject **graphObject)
{
    if (!window)
        return kNoObject;
    if (!graphObject)
        return kNoResult;
    return found(window->displayWindowNewGraphObject(window, title, x, y, width, height), graphObject, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_getGraphObjectByTitle(TQDisplayWindow *window, const char *title, TQGraphObject **graphObject)
{
    if (!window)
        return kNoObject;
    if (!graphObject)
        return kNoResult;
    return found(window->displayWindowGetGraphObjectByTitle(window, title), graphObject, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_getNumberGraphObjects(TQDisplayWindow *window, int32_t *count)
{
    return zeroOn(window, [&](auto *o) { put(count, o->displayWindowGetNumberGraphObjects(o)); });
}

TQ_API ViStatus tqstream_getGraphObjectByIndex(TQDisplayWindow *window, int32_t index, TQGraphObject **graphObject)
{
    if (!window)
        return kNoObject;
    if (!graphObject)
        return kNoResult;
    return found(window->displayWindowGetGraphObjectByIndex(window, index), graphObject, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_addGraphObject(TQDisplayWindow *window, TQGraphObject *graphObject)
{
    if (!window)
        return kNoObject;
    if (!graphObject)
        return VI_ERROR_INV_PARAMETER;
    window->displayWindowAddGraphObject(window, graphObject);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_removeGraphObject(TQDisplayWindow *window, TQGraphObject *graphObject)
{
    if (!window)
        return kNoObject;
    if (!graphObject)
        return VI_ERROR_INV_PARAMETER;
    window->displayWindowRemoveGraphObject(window, graphObject);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_newWidget(TQDisplayWindow *window, int32_t type, const char *title, int32_t x, int32_t y,
                                   int32_t width, int32_t height, TQWidget **widget)
{
    if (!window)
        return kNoObject;
    if (!widget)
        return kNoResult;
    return found(window->displayWindowNewWidget(window, type, title, x, y, width, height), widget, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_getWidgetByTitle(TQDisplayWindow *window, const char *title, TQWidget **widget)
{
    if (!window)
        return kNoObject;
    if (!widget)
        return kNoResult;
    return found(window->displayWindowGetWidgetByTitle(window, title), widget, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_getNumberWidgets(TQDisplayWindow *window, int32_t *count)
{
    return zeroOn(window, [&](auto *o) { put(count, o->displayWindowGetNumberWidgets(o)); });
}

TQ_API ViStatus tqstream_getWidgetByIndex(TQDisplayWindow *window, int32_t index, TQWidget **widget)
{
    if (!window)
        return kNoObject;
    if (!widget)
        return kNoResult;
    return found(window->displayWindowGetWidgetByIndex(window, index), widget, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_closeDisplayWindow(TQDisplayWindow *window)
{
    if (!window)
        return kNoObject;
    // A copy: the caller's variable keeps its value.
    TQDisplayWindow *copy = window;
    return mapped(window->displayWindowSlotRelease(&copy));
}

// ---- graph objects ----

TQ_API ViStatus tqstream_setGraphObjectTitle(TQGraphObject *graphObject, const char *title)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetTitle(o, title); });
}

TQ_API ViStatus tqstream_getGraphObjectTitle(TQGraphObject *graphObject, char *buffer, int32_t size)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetTitle(o, buffer, size); });
}

TQ_API ViStatus tqstream_setGraphObjectXPos(TQGraphObject *graphObject, int32_t x)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetXPos(o, x); });
}

TQ_API ViStatus tqstream_getGraphObjectXPos(TQGraphObject *graphObject, int32_t *x)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetXPos(o, x); });
}

TQ_API ViStatus tqstream_setGraphObjectYPos(TQGraphObject *graphObject, int32_t y)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetYPos(o, y); });
}

TQ_API ViStatus tqstream_getGraphObjectYPos(TQGraphObject *graphObject, int32_t *y)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetYPos(o, y); });
}

TQ_API ViStatus tqstream_setGraphObjectWidth(TQGraphObject *graphObject, int32_t width)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetWidth(o, width); });
}

TQ_API ViStatus tqstream_getGraphObjectWidth(TQGraphObject *graphObject, int32_t *width)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetWidth(o, width); });
}

TQ_API ViStatus tqstream_setGraphObjectHeight(TQGraphObject *graphObject, int32_t height)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetHeight(o, height); });
}

TQ_API ViStatus tqstream_getGraphObjectHeight(TQGraphObject *graphObject, int32_t *height)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetHeight(o, height); });
}

TQ_API ViStatus tqstream_setGraphObjectDuration(TQGraphObject *graphObject, double seconds)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetDuration(o, seconds); });
}

TQ_API ViStatus tqstream_getGraphObjectDuration(TQGraphObject *graphObject, double *seconds)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetDuration(o, seconds); });
}

TQ_API ViStatus tqstream_setGraphObjectStartTime(TQGraphObject *graphObject, double seconds)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetStartTime(o, seconds); });
}

TQ_API ViStatus tqstream_getGraphObjectStartTime(TQGraphObject *graphObject, double *seconds)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetStartTime(o, seconds); });
}

TQ_API ViStatus tqstream_rescaleGraphObjectAxis(TQGraphObject *graphObject, const char *unit, double zoom, double shift)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectRescaleAxis(o, unit, zoom, shift); });
}

TQ_API ViStatus tqstream_resetGraphObjectAxis(TQGraphObject *graphObject, const char *unit, int32_t resetSpan,
                                              int32_t resetCenter, int32_t resetColor)
{
    return mappedOn(graphObject,
                    [&](auto *o) { return o->graphObjectResetAxis(o, unit, resetSpan, resetCenter, resetColor); });
}

TQ_API ViStatus tqstream_rescaleGraphObjectDomain(TQGraphObject *graphObject, double zoom, double shift)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectRescaleDomain(o, zoom, shift); });
}

TQ_API ViStatus tqstream_resetGraphObjectDomain(TQGraphObject *graphObject, int32_t resetStart, int32_t resetDuration)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectResetDomain(o, resetStart, resetDuration); });
}

TQ_API ViStatus tqstream_setGraphObjectGraphInfo(TQGraphObject *graphObject, const char *unit, double center,
                                                 double span, uint32_t colour)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetGraphInfo(o, unit, center, span, colour); });
}

TQ_API ViStatus tqstream_getGraphObjectGraphInfo(TQGraphObject *graphObject, const char *unit, double *center,
                                                 double *span, uint32_t *colour)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetGraphInfo(o, unit, center, span, colour); });
}

TQ_API ViStatus tqstream_setGraphObjectAxisCenter(TQGraphObject *graphObject, const char *unit, double center)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetAxisCenter(o, unit, center); });
}

TQ_API ViStatus tqstream_getGraphObjectAxisCenter(TQGraphObject *graphObject, const char *unit, double *center)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetAxisCenter(o, unit, center); });
}

TQ_API ViStatus tqstream_setGraphObjectAxisSpan(TQGraphObject *graphObject, const char *unit, double span)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetAxisSpan(o, unit, span); });
}

TQ_API ViStatus tqstream_getGraphObjectAxisSpan(TQGraphObject *graphObject, const char *unit, double *span)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetAxisSpan(o, unit, span); });
}

TQ_API ViStatus tqstream_setGraphObjectAxisColor(TQGraphObject *graphObject, const char *unit, uint32_t colour)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetAxisColor(o, unit, colour); });
}

TQ_API ViStatus tqstream_setGraphObjectAxisEnable(TQGraphObject *graphObject, const char *unit, int32_t flag)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetAxisEnable(o, unit, flag); });
}

TQ_API ViStatus tqstream_setGraphObjectAxisSelected(TQGraphObject *graphObject, const char *unit)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetAxisSelected(o, unit); });
}

TQ_API ViStatus tqstream_getGraphObjectAxisVisible(TQGraphObject *graphObject, const char *unit, int32_t *visible)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetAxisVisible(o, unit, visible); });
}

TQ_API ViStatus tqstream_setGraphObjectChannelEnable(TQGraphObject *graphObject, const char *name, int32_t flag)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetChannelEnable(o, name, flag); });
}

TQ_API ViStatus tqstream_setGraphObjectChannelColor(TQGraphObject *graphObject, const char *name, uint32_t colour)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetChannelColor(o, name, colour); });
}

TQ_API ViStatus tqstream_resetGraphObjectChannel(TQGraphObject *graphObject, const char *name)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectResetChannel(o, name); });
}

TQ_API ViStatus tqstream_getGraphObjectGraph(TQGraphObject *graphObject, int32_t width, int32_t height, int32_t mode,
                                             void **image, uint32_t *size)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectGetGraph(o, width, height, mode, image, size); });
}

TQ_API ViStatus tqstream_freeGraphObjectGraph(TQGraphObject *graphObject, void *image)
{
    return zeroOn(graphObject, [&](auto *o) { return o->graphObjectFreeGraph(o, image); });
}

TQ_API ViStatus tqstream_getGraphObjectGraphEu(TQGraphObject *graphObject, int32_t x, int32_t y, int32_t width,
                                               int32_t height, double *time, double *value)
{
    return mappedOn(graphObject,
                    [&](auto *o) { return o->graphObjectGetGraphEu(o, x, y, width, height, time, value); });
}

TQ_API ViStatus tqstream_getGraphObjectGraphNav(TQGraphObject *graphObject, int32_t width, int32_t height,
                                                uint16_t *plotLeft, uint16_t *plotRight, uint16_t *plotBottom,
                                                uint16_t *plotTop)
{
    return mappedOn(graphObject, [&](auto *o) {
        return o->graphObjectGetGraphNav(o, width, height, plotLeft, plotRight, plotBottom, plotTop);
    });
}

TQ_API ViStatus tqstream_setGraphObjectBgColor(TQGraphObject *graphObject, uint32_t colour)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetBgColor(o, colour); });
}

TQ_API ViStatus tqstream_setGraphObjectGridEnable(TQGraphObject *graphObject, int32_t flag)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectSetGridEnable(o, flag); });
}

TQ_API ViStatus tqstream_lockGraphObject(TQGraphObject *graphObject, uint32_t timeoutMs)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectLock(o, timeoutMs); });
}

TQ_API ViStatus tqstream_unlockGraphObject(TQGraphObject *graphObject)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectUnlock(o); });
}

TQ_API ViStatus tqstream_convertGraphObjectToAscii(TQGraphObject *graphObject, const char *path)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectConvertToAscii(o, path); });
}

TQ_API ViStatus tqstream_resetGraphObject(TQGraphObject *graphObject)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectReset(o); });
}

TQ_API ViStatus tqstream_getStreamFromGraphObject(TQGraphObject *graphObject, TQStream **stream)
{
    if (!graphObject)
        return kNoObject;
    if (!stream)
        return kNoResult;
    return found(graphObject->graphObjectGetStream(graphObject), stream, VI_ERROR_RSRC_NFOUND);
}

TQ_API ViStatus tqstream_listGraphObjectAxes(TQGraphObject *graphObject, char *buffer, uint32_t size, uint32_t *count)
{
    return mappedOn(graphObject, [&](auto *o) { return o->graphObjectListAxes(o, buffer, size, count); });
}

TQ_API ViStatus tqstream_closeGraphObject(TQGraphObject *graphObject)
{
    if (!graphObject)
        return kNoObject;
    // A copy: the caller's variable keeps its value.
    TQGraphObject *copy = graphObject;
    return mapped(graphObject->graphObjectSlotRelease(&copy));
}

// ---- widgets ----

TQ_API ViStatus tqstream_setWidgetTitle(TQWidget *widget, const char *title)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetTitle(o, title); });
}

TQ_API ViStatus tqstream_getWidgetTitle(TQWidget *widget, char *buffer, int32_t size)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetTitle(o, buffer, size); });
}

TQ_API ViStatus tqstream_setWidgetXPos(TQWidget *widget, int32_t x)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetXPos(o, x); });
}

TQ_API ViStatus tqstream_getWidgetXPos(TQWidget *widget, int32_t *x)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetXPos(o, x); });
}

TQ_API ViStatus tqstream_setWidgetYPos(TQWidget *widget, int32_t y)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetYPos(o, y); });
}

TQ_API ViStatus tqstream_getWidgetYPos(TQWidget *widget, int32_t *y)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetYPos(o, y); });
}

TQ_API ViStatus tqstream_setWidgetWidth(TQWidget *widget, int32_t width)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetWidth(o, width); });
}

TQ_API ViStatus tqstream_getWidgetWidth(TQWidget *widget, int32_t *width)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetWidth(o, width); });
}

TQ_API ViStatus tqstream_setWidgetHeight(TQWidget *widget, int32_t height)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetHeight(o, height); });
}

TQ_API ViStatus tqstream_getWidgetHeight(TQWidget *widget, int32_t *height)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetHeight(o, height); });
}

TQ_API ViStatus tqstream_setWidgetMin(TQWidget *widget, int32_t value)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetMin(o, value); });
}

TQ_API ViStatus tqstream_getWidgetMin(TQWidget *widget, int32_t *value)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetMin(o, value); });
}

TQ_API ViStatus tqstream_setWidgetMax(TQWidget *widget, int32_t value)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetMax(o, value); });
}

TQ_API ViStatus tqstream_getWidgetMax(TQWidget *widget, int32_t *value)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetMax(o, value); });
}

TQ_API ViStatus tqstream_setWidgetColor(TQWidget *widget, int32_t index, uint32_t colour)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetColor(o, index, colour); });
}

TQ_API ViStatus tqstream_getWidgetColor(TQWidget *widget, int32_t index, uint32_t *colour)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetColor(o, index, colour); });
}

TQ_API ViStatus tqstream_setWidgetChannel(TQWidget *widget, const char *name)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetSetChannel(o, name); });
}

TQ_API ViStatus tqstream_getWidgetChannel(TQWidget *widget, char *buffer, int32_t size)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetChannel(o, buffer, size); });
}

TQ_API ViStatus tqstream_getWidgetImage(TQWidget *widget, void **image, uint32_t *size)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetGetImage(o, image, size); });
}

TQ_API ViStatus tqstream_freeWidgetImage(TQWidget *widget, void *image)
{
    return zeroOn(widget, [&](auto *o) { return o->widgetFreeImage(o, image); });
}

TQ_API ViStatus tqstream_resetWidget(TQWidget *widget)
{
    return mappedOn(widget, [&](auto *o) { return o->widgetReset(o); });
}

TQ_API ViStatus tqstream_closeWidget(TQWidget *widget)
{
    if (!widget)
        return kNoObject;
    const int32_t code = widget->widgetClose(widget);
    TQWidget *copy = widget;
    widget->widgetRelease(&copy);
    return mapped(code);
}
