// Display windows: the graph objects and widgets shown in one window for one
// stream, the stream's window list, and the stream's default window and
// graph object from construction to destruction.
#include <cstdlib>
#include <cstring>

#include "displayimpl.h"
#include "core/streamimpl.h"

namespace tq::stream
{

namespace
{

TQStream *streamOfWindow(TQDisplayWindow *w)
{
    return static_cast<TQStream *>(w->streamLink.owner);
}

int32_t displayWindowAddRef(TQDisplayWindow *window)
{
    ++window->refCount;
    return 0;
}

void unlinkWidgets(TQDisplayWindow *window)
{
    while (auto *widget = static_cast<TQWidget *>(window->widgets.first)) {
        tqListRemove(&window->widgets, widget, kWidgetLink);
        TQWidget *copy = widget;
        if (widget->internalRelease)
            widget->internalRelease(&copy);
    }
}

int32_t displayWindowRelease(TQDisplayWindow **holder)
{
    if (!holder || !*holder)
        return 0;
    TQDisplayWindow *window = *holder;
    if (--window->refCount > 0)
        return 0;
    // A caller that dropped the stream list's reference too leaves the
    // window linked: take it out rather than leave the list pointing at
    // freed memory.
    if (TQStream *stream = streamOfWindow(window)) {
        TQGraphObject *d = defaultGraphObject(stream);
        if (d && d->windowLink.owner == window)
            stream->defaultGraphObject = nullptr;
        tqListRemove(&stream->displayWindows, window, kWindowStreamLink);
    }
    while (window->graphObjects.first)
        unlinkFromWindow(static_cast<TQGraphObject *>(window->graphObjects.first));
    // Widgets a caller still holds must not keep pointing at this window.
    unlinkWidgets(window);
    free(window);
    *holder = nullptr;
    return 0;
}

int32_t setTitle(TQDisplayWindow *window, const char *title)
{
    copyBounded(window->title, sizeof window->title, title);
    return 0;
}

int32_t getTitle(TQDisplayWindow *window, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return 0;
    strncpy(buffer, window->title, static_cast<size_t>(size));
    buffer[size - 1] = '\0';
    return 0;
}

int32_t setBgColor(TQDisplayWindow *window, uint32_t colour)
{
    window->bgcolor = colour;
    return 0;
}

template <int32_t TQDisplayWindow::*Field> int32_t setInt(TQDisplayWindow *window, int32_t value)
{
    window->*Field = value;
    return 0;
}

template <int32_t TQDisplayWindow::*Field> int32_t getInt(TQDisplayWindow *window, int32_t *value)
{
    if (value)
        *value = window->*Field;
    return 0;
}

// Titles are compared byte for byte over the whole field.
bool titleIs(const char *field, const char *title)
{
    return title && strncmp(field, title, TQ_DISPLAY_TITLE_SIZE) == 0;
}

TQGraphObject *getGraphObjectByTitle(TQDisplayWindow *window, const char *title)
{
    for (auto *g = static_cast<TQGraphObject *>(window->graphObjects.first); g;
         g = static_cast<TQGraphObject *>(tqListNext(g, kGraphWindowLink)))
        if (titleIs(g->title, title)) {
            g->graphObjectAddRef(g);
            return g;
        }
    return nullptr;
}

int32_t countList(const TQListHead *head, size_t link)
{
    int32_t n = 0;
    for (void *e = head->first; e; e = tqListNext(e, link))
        ++n;
    return n;
}

void *elementAt(const TQListHead *head, size_t link, int32_t index)
{
    void *e = head->first;
    for (int32_t i = 0; e && i < index; ++i)
        e = tqListNext(e, link);
    return e;
}

int32_t getNumberGraphObjects(TQDisplayWindow *window)
{
    return countList(&window->graphObjects, kGraphWindowLink);
}

TQGraphObject *getGraphObjectByIndex(TQDisplayWindow *window, int32_t index)
{
    return static_cast<TQGraphObject *>(elementAt(&window->graphObjects, kGraphWindowLink, index));
}

void removeGraphObject(TQDisplayWindow *window, TQGraphObject *go)
{
    if (!go)
        return;
    // The caller gains a reference in every case: it releases the graph
    // object later, whether or not it was in this window.
    go->graphObjectAddRef(go);
    // Only a graph object of this window leaves it; unlinking one of another
    // window through this window's head would corrupt both lists.
    if (go->windowLink.owner == window)
        unlinkFromWindow(go);
}

void addGraphObject(TQDisplayWindow *window, TQGraphObject *go)
{
    if (!go)
        return;
    // A graph object already in a window (this one included) stays where it
    // is: appending it again would corrupt the lists it is in. The caller's
    // reference is consumed either way, as the caller expects; the window
    // that holds the object keeps it alive.
    if (!go->windowLink.owner) {
        tqListAppend(&window->graphObjects, window, go, kGraphWindowLink);
        go->internalAddRef(go);
        TQStream *stream = streamOfWindow(window);
        if (stream && !defaultGraphObject(stream))
            stream->defaultGraphObject = go;
    }
    TQGraphObject *copy = go;
    go->graphObjectSlotRelease(&copy);
}

TQWidget *getWidgetByTitle(TQDisplayWindow *window, const char *title)
{
    for (auto *w = static_cast<TQWidget *>(window->widgets.first); w;
         w = static_cast<TQWidget *>(tqListNext(w, kWidgetLink)))
        if (titleIs(w->title, title))
            return w;
    return nullptr;
}

int32_t getNumberWidgets(TQDisplayWindow *window)
{
    return countList(&window->widgets, kWidgetLink);
}

TQWidget *getWidgetByIndex(TQDisplayWindow *window, int32_t index)
{
    return static_cast<TQWidget *>(elementAt(&window->widgets, kWidgetLink, index));
}

int32_t releaseGraphObjects(TQDisplayWindow *window)
{
    while (window->graphObjects.first)
        unlinkFromWindow(static_cast<TQGraphObject *>(window->graphObjects.first));
    unlinkFromStream(window);
    return 0;
}

} // namespace

// Takes the window out of its stream's list and drops the list's reference.
void unlinkFromStream(TQDisplayWindow *window)
{
    TQStream *stream = streamOfWindow(window);
    if (!stream)
        return;
    TQGraphObject *d = defaultGraphObject(stream);
    if (d && d->windowLink.owner == window)
        stream->defaultGraphObject = nullptr;
    tqListRemove(&stream->displayWindows, window, kWindowStreamLink);
    TQDisplayWindow *copy = window;
    window->internalRelease(&copy);
}

void unlinkFromWindow(TQGraphObject *go)
{
    TQDisplayWindow *window = windowOf(go);
    if (!window)
        return;
    forgetDefault(streamOfWindow(window), go);
    tqListRemove(&window->graphObjects, go, kGraphWindowLink);
    TQGraphObject *copy = go;
    go->internalRelease(&copy);
}

TQGraphObject *displayWindowNewGraphObject(TQDisplayWindow *window, const char *title, int32_t x, int32_t y,
                                           int32_t width, int32_t height)
{
    TQGraphObject *go = createGraphObject(window, title, x, y, width, height);
    if (go)
        syncGraphObject(go);
    return go;
}

TQDisplayWindow *streamNewDisplayWindow(TQStream *stream, const char *title, int32_t x, int32_t y, int32_t width,
                                        int32_t height)
{
    auto *w = static_cast<TQDisplayWindow *>(calloc(1, sizeof(TQDisplayWindow)));
    if (!w)
        return nullptr;
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    w->refCount = 1;
    copyBounded(w->title, sizeof w->title, title);
    w->displayWindowAddRef = displayWindowAddRef;
    w->displayWindowSlotRelease = displayWindowRelease;
    w->displayWindowSetTitle = setTitle;
    w->displayWindowGetTitle = getTitle;
    w->displayWindowSetBgColor = setBgColor;
    w->displayWindowSetXPos = setInt<&TQDisplayWindow::x>;
    w->displayWindowGetXPos = getInt<&TQDisplayWindow::x>;
    w->displayWindowSetYPos = setInt<&TQDisplayWindow::y>;
    w->displayWindowGetYPos = getInt<&TQDisplayWindow::y>;
    w->displayWindowSetWidth = setInt<&TQDisplayWindow::width>;
    w->displayWindowGetWidth = getInt<&TQDisplayWindow::width>;
    w->displayWindowSetHeight = setInt<&TQDisplayWindow::height>;
    w->displayWindowGetHeight = getInt<&TQDisplayWindow::height>;
    w->displayWindowNewGraphObject = displayWindowNewGraphObject;
    w->displayWindowGetGraphObjectByTitle = getGraphObjectByTitle;
    w->displayWindowGetNumberGraphObjects = getNumberGraphObjects;
    w->displayWindowGetGraphObjectByIndex = getGraphObjectByIndex;
    w->displayWindowRemoveGraphObject = removeGraphObject;
    w->displayWindowAddGraphObject = addGraphObject;
    w->displayWindowGetWidgetByTitle = getWidgetByTitle;
    w->displayWindowGetNumberWidgets = getNumberWidgets;
    w->displayWindowGetWidgetByIndex = getWidgetByIndex;
    w->displayWindowReleaseGraphObjects = releaseGraphObjects;
    w->internalAddRef = displayWindowAddRef;
    w->internalRelease = displayWindowRelease;
    tqListInit(&w->graphObjects);
    tqListInit(&w->widgets);
    // Widgets and the XML writer.
    displayWindowFillPending(w);
    if (stream) {
        tqListAppend(&stream->displayWindows, stream, w, kWindowStreamLink);
        w->internalAddRef(w);
    }
    return w;
}

int32_t streamVerifyDisplayWindows(TQStream *stream)
{
    for (auto *w = static_cast<TQDisplayWindow *>(stream->displayWindows.first); w;
         w = static_cast<TQDisplayWindow *>(tqListNext(w, kWindowStreamLink)))
        for (auto *g = static_cast<TQGraphObject *>(w->graphObjects.first); g;
             g = static_cast<TQGraphObject *>(tqListNext(g, kGraphWindowLink)))
            syncGraphObject(g);
    return 0;
}

namespace
{

TQDisplayWindow *streamGetDisplayWindow(TQStream *stream, const char *title)
{
    for (auto *w = static_cast<TQDisplayWindow *>(stream->displayWindows.first); w;
         w = static_cast<TQDisplayWindow *>(tqListNext(w, kWindowStreamLink)))
        if (titleIs(w->title, title)) {
            w->displayWindowAddRef(w);
            return w;
        }
    return nullptr;
}

int32_t streamGetNumberDisplayWindows(TQStream *stream)
{
    return countList(&stream->displayWindows, kWindowStreamLink);
}

TQDisplayWindow *streamGetDisplayWindowByIndex(TQStream *stream, int32_t index)
{
    return static_cast<TQDisplayWindow *>(elementAt(&stream->displayWindows, kWindowStreamLink, index));
}

} // namespace

void displayModelInstall(TQStream *s)
{
    graphStreamInstall(s);
    s->streamNewDisplayWindow = streamNewDisplayWindow;
    s->streamVerifyDisplayWindows = streamVerifyDisplayWindows;
    s->streamGetDisplayWindow = streamGetDisplayWindow;
    s->streamGetNumberDisplayWindows = streamGetNumberDisplayWindows;
    s->streamGetDisplayWindowByIndex = streamGetDisplayWindowByIndex;
    // Rendering and XML.
    streamFillPending(s);
}

void displayModelCreateDefault(TQStream *stream)
{
    TQDisplayWindow *window = stream->streamNewDisplayWindow(stream, "", -1, -1, -1, -1);
    if (!window)
        return;
    TQGraphObject *go = createGraphObject(window, "", -1, -1, -1, -1);
    if (go) {
        stream->defaultGraphObject = go;
        go->graphObjectSlotRelease(&go); // the window's list keeps it
    }
    window->displayWindowSlotRelease(&window); // the stream's list keeps it
}

void displayModelDestroy(TQStream *stream)
{
    stream->defaultGraphObject = nullptr;
    // Levels of this stream's lock still held through graph objects die with
    // the stream; their holders must not give them back to a lock that is gone.
    forgetStreamLocks(stream);
    while (auto *window = static_cast<TQDisplayWindow *>(stream->displayWindows.first)) {
        while (auto *go = static_cast<TQGraphObject *>(window->graphObjects.first)) {
            // Entries first: an axis a layout builder still holds must not
            // keep pointing at this stream's channels.
            while (auto *axis = static_cast<TQAxisInfo *>(go->activeAxes.first)) {
                dropAllEntries(axis);
                axisUnlink(go, axis);
            }
            while (auto *axis = static_cast<TQAxisInfo *>(go->inactiveAxes.first)) {
                dropAllEntries(axis);
                axisUnlink(go, axis);
            }
            unlinkFromWindow(go);
        }
        unlinkFromStream(window);
    }
}

} // namespace tq::stream
