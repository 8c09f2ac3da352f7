// Flat exports over a stream: thin forwarders to the stream's function
// fields with the result rule each one has always had.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "exportimpl.h"

using namespace tq::stream::exports;

TQ_API ViStatus tqstream_getName(TQStream *stream, char *buffer, uint16_t size, uint16_t *length)
{
    if (!stream)
        return kNoObject;
    const char *name = stream->streamGetName(stream);
    size_t n = 0;
    if (buffer && size > 0) {
        // Only the name field's own bytes count, even when nothing ends it.
        n = name ? strnlen(name, std::min<size_t>(size - 1u, TQ_STREAM_NAME_SIZE)) : 0;
        memcpy(buffer, name ? name : "", n);
        buffer[n] = '\0';
    }
    put(length, n);
    return name ? VI_SUCCESS : VI_ERROR_SYSTEM_ERROR;
}

TQ_API ViStatus tqstream_getRate(TQStream *stream, double *rate)
{
    if (!stream)
        return kNoObject;
    put(rate, stream->streamGetRate(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getNumberChannels(TQStream *stream, uint16_t *count)
{
    if (!stream)
        return kNoObject;
    put(count, stream->streamGetNumberChannels(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getScanSize(TQStream *stream, uint16_t *bytes)
{
    if (!stream)
        return kNoObject;
    put(bytes, stream->streamGetScanSize(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getChannel(TQStream *stream, const char *name, TQStreamChannel **channel)
{
    if (!stream)
        return kNoObject;
    if (!channel)
        return kNoResult;
    return found(stream->streamGetChannel(stream, name), channel, VI_ERROR_INV_PARAMETER);
}

TQ_API ViStatus tqstream_getChannelByIndex(TQStream *stream, int16_t index, TQStreamChannel **channel)
{
    if (!stream)
        return kNoObject;
    if (!channel)
        return kNoResult;
    return found(stream->streamGetChannelByIndex(stream, index), channel, VI_ERROR_INV_PARAMETER);
}

TQ_API ViStatus tqstream_listAxes(TQStream *stream, char *buffer, uint32_t size, uint32_t *count)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamListAxes(stream, buffer, size, count));
}

TQ_API ViStatus tqstream_addListener(TQStream *stream, TQStreamListenerFn function, void *context)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamAddListener(stream, function, context));
}

TQ_API ViStatus tqstream_removeListener(TQStream *stream, TQStreamListenerFn function, void *context)
{
    if (!stream)
        return kNoObject;
    stream->streamRemoveListener(stream, function, context);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_writeXML(TQStream *stream, const char *directory)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamWriteXML(stream, directory));
}

TQ_API ViStatus tqstream_readXML(TQStream *stream, const char *directory)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamReadXML(stream, directory));
}

TQ_API ViStatus tqstream_newData(TQStream *stream, const void *data, int64_t scans, int32_t fileIndex)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamNewData(stream, data, scans, fileIndex));
}

TQ_API int32_t tqstream_wait(TQStream *stream, uint32_t mask, uint32_t timeoutMs, uint32_t *event, char *message)
{
    // Callers tell the outcomes apart by the engine's own numbers, so this
    // one is not mapped.
    if (!stream)
        return TQS_ERR_FAILED;
    return stream->streamWait(stream, mask, timeoutMs, event, message);
}

TQ_API ViStatus tqstream_lock(TQStream *stream, uint32_t timeoutMs)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamLock(stream, timeoutMs));
}

TQ_API ViStatus tqstream_unlock(TQStream *stream)
{
    if (!stream)
        return kNoObject;
    return stream->streamUnlock(stream) ? VI_SUCCESS : VI_ERROR_SYSTEM_ERROR;
}

TQ_API ViStatus tqstream_installEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler,
                                             void *user, char *message)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamInstallEventHandler(stream, mask, handler, user, message));
}

TQ_API ViStatus tqstream_uninstallEventHandler(TQStream *stream, uint32_t mask, TQStreamEventHandlerFn handler,
                                               void *user)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamUninstallEventHandler(stream, mask, handler, user));
}

TQ_API ViStatus tqstream_captureOpen(TQStream *stream, const char *fileName)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamCaptureOpen(stream, fileName, 1));
}

TQ_API ViStatus tqstream_captureOpenEx(TQStream *stream, const char *fileName, int32_t mode)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamCaptureOpen(stream, fileName, mode));
}

TQ_API ViStatus tqstream_captureClose(TQStream *stream)
{
    if (!stream)
        return kNoObject;
    stream->streamCaptureClose(stream);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setDecimation(TQStream *stream, int32_t decimation)
{
    if (!stream)
        return kNoObject;
    stream->streamSetDecimation(stream, decimation);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getDecimation(TQStream *stream, int32_t *decimation)
{
    if (!stream)
        return kNoObject;
    put(decimation, stream->streamGetDecimation(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setBigFile(TQStream *stream, int32_t flag)
{
    if (!stream)
        return kNoObject;
    stream->streamSetBigFile(stream, flag);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getBigFile(TQStream *stream, int32_t *flag)
{
    if (!stream)
        return kNoObject;
    put(flag, stream->streamGetBigFile(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setWriteHeaderFirst(TQStream *stream, int32_t flag)
{
    if (!stream)
        return kNoObject;
    stream->streamSetWriteHeaderFirst(stream, flag);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getWriteHeaderFirst(TQStream *stream, int32_t *flag)
{
    if (!stream)
        return kNoObject;
    put(flag, stream->streamGetWriteHeaderFirst(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setGraphInfo(TQStream *stream, const char *unit, double center, double span, uint32_t colour)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamSetGraphInfo(stream, unit, center, span, colour));
}

TQ_API ViStatus tqstream_getGraphInfo(TQStream *stream, const char *unit, double *center, double *span,
                                      uint32_t *colour)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamGetGraphInfo(stream, unit, center, span, colour));
}

TQ_API ViStatus tqstream_setGraphBg(TQStream *stream, uint32_t colour, int32_t gridEnable)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamSetGraphBg(stream, colour, gridEnable));
}

TQ_API ViStatus tqstream_getGraphBg(TQStream *stream, uint32_t *colour, int32_t *gridEnable)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamGetGraphBg(stream, colour, gridEnable));
}

TQ_API ViStatus tqstream_getGraphObject(TQStream *stream, TQGraphObject **graphObject)
{
    if (!stream)
        return kNoObject;
    if (!graphObject)
        return kNoResult;
    return found(stream->streamGetGraphObject(stream), graphObject, VI_ERROR_INV_PARAMETER);
}

TQ_API ViStatus tqstream_getGraph(TQStream *stream, int32_t width, int32_t height, int32_t mode, double start,
                                  double duration, void **image, uint32_t *size)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamGetGraph(stream, width, height, mode, start, duration, image, size));
}

namespace
{

// The whole block, through short writes and interrupted calls.
bool writeAll(int fd, const void *data, size_t size)
{
    auto *at = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

TQ_API ViStatus tqstream_writeGraph(TQStream *stream, int fd, int32_t width, int32_t height, int32_t mode, double start,
                                    double duration)
{
    if (!stream)
        return kNoObject;
    void *image = nullptr;
    uint32_t size = 0;
    const int32_t code = stream->streamGetGraph(stream, width, height, mode, start, duration, &image, &size);
    if (code < 0) {
        if (image)
            stream->graphObjectFreeGraph(stream, image);
        return mapped(code);
    }
    // Descriptors have no text mode here. A rendering without an image, or
    // an image the descriptor did not take whole, is a failure: the caller
    // would otherwise take a truncated or empty file for a graph.
    const bool written = image && writeAll(fd, image, size);
    if (image)
        stream->graphObjectFreeGraph(stream, image);
    return written ? mapped(code) : mapped(TQS_ERR_FAILED);
}

TQ_API ViStatus tqstream_freeGraph(TQStream *stream, void *image)
{
    if (!stream)
        return kNoObject;
    stream->graphObjectFreeGraph(stream, image);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getGraphNav(TQStream *stream, int32_t width, int32_t height, uint16_t *plotLeft,
                                     uint16_t *plotRight, uint16_t *plotBottom, uint16_t *plotTop)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamGetGraphNav(stream, width, height, plotLeft, plotRight, plotBottom, plotTop));
}

TQ_API ViStatus tqstream_newDisplayWindow(TQStream *stream, const char *title, int32_t x, int32_t y, int32_t width,
                                          int32_t height, TQDisplayWindow **window)
{
    if (!stream)
        return kNoObject;
    if (!window)
        return kNoResult;
    return found(stream->streamNewDisplayWindow(stream, title, x, y, width, height), window, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_getDisplayWindow(TQStream *stream, const char *title, TQDisplayWindow **window)
{
    if (!stream)
        return kNoObject;
    if (!window)
        return kNoResult;
    return found(stream->streamGetDisplayWindow(stream, title), window, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_getNumberDisplayWindows(TQStream *stream, int32_t *count)
{
    if (!stream)
        return kNoObject;
    put(count, stream->streamGetNumberDisplayWindows(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getDisplayWindowByIndex(TQStream *stream, int32_t index, TQDisplayWindow **window)
{
    if (!stream)
        return kNoObject;
    if (!window)
        return kNoResult;
    return found(stream->streamGetDisplayWindowByIndex(stream, index), window, VI_ERROR_ALLOC);
}

TQ_API ViStatus tqstream_verifyDisplayWindows(TQStream *stream)
{
    if (!stream)
        return kNoObject;
    return mapped(stream->streamVerifyDisplayWindows(stream));
}

TQ_API ViStatus tqstream_setOutputRate(TQStream *stream, double rate)
{
    if (!stream)
        return kNoObject;
    stream->streamSetOutputRate(stream, rate);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getOutputRate(TQStream *stream, double *rate)
{
    if (!stream)
        return kNoObject;
    put(rate, stream->streamGetOutputRate(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setOutputRecycleRate(TQStream *stream, double rate)
{
    if (!stream)
        return kNoObject;
    stream->streamSetOutputRecycleRate(stream, rate);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getOutputRecycleRate(TQStream *stream, double *rate)
{
    if (!stream)
        return kNoObject;
    put(rate, stream->streamGetOutputRecycleRate(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getNumberOutputChannels(TQStream *stream, uint16_t *count)
{
    if (!stream)
        return kNoObject;
    put(count, stream->streamGetNumberOutputChannels(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getOutputScanSize(TQStream *stream, uint16_t *bytes)
{
    if (!stream)
        return kNoObject;
    put(bytes, stream->streamGetOutputScanSize(stream));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getOutputChannel(TQStream *stream, const char *name, TQStreamChannel **channel)
{
    if (!stream)
        return kNoObject;
    if (!channel)
        return kNoResult;
    return found(stream->streamGetOutputChannel(stream, name), channel, VI_ERROR_INV_PARAMETER);
}

TQ_API ViStatus tqstream_getOutputChannelByIndex(TQStream *stream, int16_t index, TQStreamChannel **channel)
{
    if (!stream)
        return kNoObject;
    if (!channel)
        return kNoResult;
    return found(stream->streamGetOutputChannelByIndex(stream, index), channel, VI_ERROR_INV_PARAMETER);
}

TQ_API ViStatus tqstream_reserveWrite(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces,
                                      int64_t *result)
{
    if (!stream)
        return kNoObject;
    put(result, stream->streamReserveWrite(stream, count, granted, pieces));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_completeWrite(TQStream *stream, int64_t count, int64_t *result)
{
    if (!stream)
        return kNoObject;
    put(result, stream->streamCompleteWrite(stream, count));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_newReader(TQStream *stream, int64_t position, int32_t whence, TQReader **reader)
{
    if (!stream)
        return kNoObject;
    if (!reader)
        return kNoResult;
    return found(stream->streamNewReader(stream, position, whence), reader, VI_ERROR_SYSTEM_ERROR);
}

TQ_API ViStatus tqstream_newReaderl(TQStream *stream, int32_t position, int32_t whence, TQReader **reader)
{
    return tqstream_newReader(stream, position, whence, reader);
}

TQ_API ViStatus tqstream_close(TQStream *stream)
{
    if (!stream)
        return kNoObject;
    // A copy: the caller's variable keeps its value even when this was the
    // last reference.
    TQStream *copy = stream;
    stream->streamRelease(&copy);
    return VI_SUCCESS;
}
