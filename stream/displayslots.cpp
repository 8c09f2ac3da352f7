// What the display model does not do yet: rendering to images, the text
// export of a time window, the XML writers and listings, and widgets.
//
// Until those arrive, each of these function fields and hooks answers "not
// supported" (or no object) rather than being left empty, so that a caller
// going through a record never jumps through a null field. Each record's
// constructor calls its Fill function last; replacing a slot here is all a
// later addition needs.
#include "displayimpl.h"

namespace
{

int32_t listNotSupported(TQStream *, char *buffer, uint32_t size, uint32_t *count)
{
    if (buffer && size)
        buffer[0] = '\0';
    if (count)
        *count = 0;
    return TQS_ERR_NOTSUPPORTED;
}

int32_t streamGetGraph(TQStream *, int32_t, int32_t, int32_t, double, double, void **image, uint32_t *size)
{
    if (image)
        *image = nullptr;
    if (size)
        *size = 0;
    return TQS_ERR_NOTSUPPORTED;
}

int32_t streamGetGraphNav(TQStream *, int32_t, int32_t, uint16_t *, uint16_t *, uint16_t *, uint16_t *)
{
    return TQS_ERR_NOTSUPPORTED;
}

int32_t freeGraph(void *, void *)
{
    return TQS_ERR_NOTSUPPORTED;
}
int32_t streamXmlFile(TQStream *, const char *)
{
    return TQS_ERR_NOTSUPPORTED;
}

int32_t graphGetGraph(TQGraphObject *, int32_t, int32_t, int32_t, void **image, uint32_t *size)
{
    if (image)
        *image = nullptr;
    if (size)
        *size = 0;
    return TQS_ERR_NOTSUPPORTED;
}

int32_t graphGetGraphEu(TQGraphObject *, int32_t, int32_t, int32_t, int32_t, double *, double *)
{
    return TQS_ERR_NOTSUPPORTED;
}

int32_t graphConvertToAscii(TQGraphObject *, const char *)
{
    return TQS_ERR_NOTSUPPORTED;
}

int32_t graphGetGraphNav(TQGraphObject *, int32_t, int32_t, uint16_t *, uint16_t *, uint16_t *, uint16_t *)
{
    return TQS_ERR_NOTSUPPORTED;
}

int32_t graphListAxes(TQGraphObject *, char *buffer, uint32_t size, uint32_t *count)
{
    return listNotSupported(nullptr, buffer, size, count);
}

template <typename Record> int32_t writeNotSupported(Record *, TQStream *)
{
    return TQS_ERR_NOTSUPPORTED;
}

TQWidget *newWidget(TQDisplayWindow *, int32_t, const char *, int32_t, int32_t, int32_t, int32_t)
{
    return nullptr;
}

} // namespace

namespace tq::stream
{

void graphObjectFillPending(TQGraphObject *go)
{
    go->graphObjectGetGraph = graphGetGraph;
    go->graphObjectGetGraphEu = graphGetGraphEu;
    go->graphObjectFreeGraph = freeGraph;
    go->graphObjectConvertToAscii = graphConvertToAscii;
    go->graphObjectGetGraphNav = graphGetGraphNav;
    go->graphObjectListAxes = graphListAxes;
    go->graphObjectWriteXML = writeNotSupported<TQGraphObject>;
}

void axisInfoFillPending(TQAxisInfo *axis)
{
    axis->axisInfoWriteXML = writeNotSupported<TQAxisInfo>;
    axis->axisInfoListXML = writeNotSupported<TQAxisInfo>;
}

void channelEnableFillPending(TQChannelEnable *entry)
{
    entry->channelEnableWriteXML = writeNotSupported<TQChannelEnable>;
}

void displayWindowFillPending(TQDisplayWindow *window)
{
    window->displayWindowNewWidget = newWidget;
    window->displayWindowWriteXML = writeNotSupported<TQDisplayWindow>;
}

void streamFillPending(TQStream *s)
{
    s->streamListAxes = listNotSupported;
    s->streamGetGraph = streamGetGraph;
    s->streamGetGraphNav = streamGetGraphNav;
    s->graphObjectFreeGraph = freeGraph;
    s->streamListXML = listNotSupported;
    s->streamReadXML = streamXmlFile;
    s->streamWriteXML = streamXmlFile;
}

} // namespace tq::stream
