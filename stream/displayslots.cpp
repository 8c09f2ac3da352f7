// The stream's display-model function fields: graph objects, display
// windows and their XML.
//
// The display model is not built yet. Until it is, every display-model field
// of a stream answers "not supported" (or no object), a new stream has no
// default display window and no default graph object, and there is nothing
// of the display model to tear down. When the display model arrives, this is
// the one file to replace: displayModelInstall fills the fields,
// displayModelCreateDefault makes the default window and graph object, and
// displayModelDestroy releases windows, graph objects, axes and channel
// entries when the stream is destroyed.
#include "streamimpl.h"

namespace {

int32_t listNotSupported(TQStream *, char *, uint32_t, uint32_t *count)
{
    if (count)
        *count = 0;
    return TQS_ERR_NOTSUPPORTED;
}

int32_t setGraphInfo(TQStream *, const char *, double, double, uint32_t) { return TQS_ERR_NOTSUPPORTED; }
int32_t getGraphInfo(TQStream *, const char *, double *, double *, uint32_t *) { return TQS_ERR_NOTSUPPORTED; }
int32_t setGraphBg(TQStream *, uint32_t, int32_t) { return TQS_ERR_NOTSUPPORTED; }
int32_t getGraphBg(TQStream *, uint32_t *, int32_t *) { return TQS_ERR_NOTSUPPORTED; }
int32_t setGraphChannelEnable(TQStreamChannel *, int32_t) { return TQS_ERR_NOTSUPPORTED; }

int32_t getGraph(TQStream *, int32_t, int32_t, int32_t, double, double, void **image, uint32_t *size)
{
    if (image)
        *image = nullptr;
    if (size)
        *size = 0;
    return TQS_ERR_NOTSUPPORTED;
}

int32_t getGraphNav(TQStream *, int32_t, int32_t, uint16_t *, uint16_t *, uint16_t *, uint16_t *)
{
    return TQS_ERR_NOTSUPPORTED;
}

int32_t freeGraph(void *, void *) { return TQS_ERR_NOTSUPPORTED; }
TQGraphObject *getGraphObject(TQStream *) { return nullptr; }
TQDisplayWindow *newDisplayWindow(TQStream *, const char *, int32_t, int32_t, int32_t, int32_t) { return nullptr; }
int32_t verifyDisplayWindows(TQStream *) { return TQS_ERR_NOTSUPPORTED; }
TQDisplayWindow *getDisplayWindow(TQStream *, const char *) { return nullptr; }
int32_t getNumberDisplayWindows(TQStream *) { return 0; }
TQDisplayWindow *getDisplayWindowByIndex(TQStream *, int32_t) { return nullptr; }
int32_t xmlNotSupported(TQStream *, const char *) { return TQS_ERR_NOTSUPPORTED; }

} // namespace

namespace tq::stream {

void displayModelInstall(TQStream *s)
{
    s->streamListAxes = listNotSupported;
    s->streamSetGraphInfo = setGraphInfo;
    s->streamGetGraphInfo = getGraphInfo;
    s->streamSetGraphBg = setGraphBg;
    s->streamGetGraphBg = getGraphBg;
    s->streamSetGraphChannelEnable = setGraphChannelEnable;
    s->streamGetGraph = getGraph;
    s->streamGetGraphNav = getGraphNav;
    s->graphObjectFreeGraph = freeGraph;
    s->streamGetGraphObject = getGraphObject;
    s->streamNewDisplayWindow = newDisplayWindow;
    s->streamVerifyDisplayWindows = verifyDisplayWindows;
    s->streamGetDisplayWindow = getDisplayWindow;
    s->streamGetNumberDisplayWindows = getNumberDisplayWindows;
    s->streamGetDisplayWindowByIndex = getDisplayWindowByIndex;
    s->streamListXML = listNotSupported;
    s->streamReadXML = xmlNotSupported;
    s->streamWriteXML = xmlNotSupported;
}

void displayModelCreateDefault(TQStream *) {}

void displayModelDestroy(TQStream *) {}

} // namespace tq::stream
