// Event handler entries and sink lines of the virtual instruments.
#include "tq/frontpanel/handlers.h"

#include <cstdarg>

#include "tq/platform/numfmt.h"

namespace tq::frontpanel
{

ViStatus EventHandlerTable::install(ViUInt32 mask, TQInstrumentEventHandler handler, void *userData, ViChar *message)
{
    if (!handler)
        return VI_ERROR_INV_HNDLR_REF;
    if (count >= kMax)
        return VI_ERROR_HNDLR_NINSTALLED;
    entries[count++] = EventHandlerEntry{mask, handler, userData, message};
    return VI_SUCCESS;
}

ViStatus EventHandlerTable::uninstall(TQInstrumentEventHandler handler, void *userData)
{
    // The entry moved into the freed place is looked at there too, so that
    // every matching entry goes.
    uint16_t i = 0;
    while (i < count) {
        if (entries[i].handler == handler && entries[i].userData == userData) {
            entries[i] = entries[count - 1];
            entries[count - 1] = EventHandlerEntry{};
            --count;
        } else {
            ++i;
        }
    }
    return VI_SUCCESS;
}

void replaceSink(TQStreamMsg *&field, TQStreamMsg *sink)
{
    if (sink)
        sink->streamMsgAddRef(sink);
    if (field) {
        TQStreamMsg *old = field;
        old->streamMsgRelease(&old);
    }
    field = sink;
}

void printLine(TQStreamMsg *sink, const char *format, ...)
{
    if (!sink)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    platform::vcformat(line, sizeof line, format, args);
    va_end(args);
    if (sink->streamMsgLock(sink, 1000) != 0)
        return;
    sink->streamMsgPrintf(sink, "%s", line);
    sink->streamMsgUnlock(sink);
}

} // namespace tq::frontpanel
