// The function fields and hooks of the display model's records that are
// filled by other files than the records' constructors: drawing, the text
// export, the XML writers and listings, and widgets. Each record's
// constructor calls its Fill function last.
#include "displayimpl.h"

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
    window->displayWindowNewWidget = displayWindowNewWidget;
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
