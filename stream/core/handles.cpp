// The stream handle table that drivers load at run time.
#include "tqstream.h"

TQ_API ViStatus tqstream_getHandles(TQStreamHandles *handles)
{
    if (!handles)
        return VI_SUCCESS;
    handles->newStream = newStream;
    handles->newReaderBase = newReaderBase;
    handles->postEvent = postEvent;
    handles->setNumberChannels = setNumberChannels;
    handles->setScanSize = setScanSize;
    handles->setNumberOutputChannels = setNumberOutputChannels;
    handles->setOutputScanSize = setOutputScanSize;
    handles->firstReader = firstReader;
    handles->nextReader = nextReader;
    handles->streamRefCountAddress = streamRefCountAddress;
    handles->destroyStream = destroyStream;
    handles->commonCaptureOpen = commonCaptureOpen;
    handles->commonCaptureClose = commonCaptureClose;
    handles->StreamCommonFree = StreamCommonFree;
    handles->readerRefCountAddress = readerRefCountAddress;
    handles->isCapturing = isCapturing;
    handles->thermoc2mv = thermoc2mv;
    handles->thermomv2c = thermomv2c;
    handles->TQCreateBuffer = TQCreateBuffer;
    return VI_SUCCESS;
}
