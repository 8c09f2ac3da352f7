// The function fields and hooks of the display model's records that are
// filled elsewhere (drawing, XML) or that answer "not supported" for now (the
// text export of a time window, widgets).
//
// What is not there yet answers "not supported" (or no object) rather than
// being left empty, so that a caller going through a record never jumps
// through a null field. Each record's
// constructor calls its Fill function last; replacing a slot here is all a
// later addition needs.
#include "displayimpl.h"

namespace
{

int32_t graphConvertToAscii(TQGraphObject *, const char *)
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
    graphObjectFillXML(go);
}

void axisInfoFillPending(TQAxisInfo *axis)
{
    axisInfoFillXML(axis);
}

void channelEnableFillPending(TQChannelEnable *entry)
{
    channelEnableFillXML(entry);
}

void displayWindowFillPending(TQDisplayWindow *window)
{
    window->displayWindowNewWidget = newWidget;
    displayWindowFillXML(window);
}

void streamFillPending(TQStream *s)
{
    s->streamGetGraph = streamGetGraph;
    s->streamGetGraphNav = streamGetGraphNav;
    s->graphObjectFreeGraph = freeGraph;
    streamFillXML(s);
}

} // namespace tq::stream
