// Flat exports over stream channels, the values of a channel at a scan index,
// and the average of a stream's newest scans.
#include <algorithm>
#include <cmath>
#include <limits>

#include "exportimpl.h"
#include "piecescans.h"
#include "tq/platform/text.h"

using namespace tq::stream::exports;
using tq::stream::PieceScans;
using tq::stream::ScanScratch;

namespace
{

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

size_t scanSizeOf(const TQStreamChannel *channel)
{
    TQStream *stream = channel->stream;
    return stream ? stream->streamGetScanSize(stream) : 0;
}

double evalAt(TQStreamChannel *channel, const void *scan)
{
    return scan && channel->streamChannelEval ? channel->streamChannelEval(channel, scan) : kNoValue;
}

// Channels the average visits without allocating.
constexpr uint16_t kLocalChannels = 16;

} // namespace

TQ_API ViStatus tqstream_getChannelName(TQStreamChannel *channel, char *buffer)
{
    if (!channel || !buffer)
        return kNoChannel;
    tq::platform::copyText(buffer, TQ_CHANNEL_NAME_SIZE, channel->name);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getChannelEU(TQStreamChannel *channel, char *buffer)
{
    if (!channel || !buffer)
        return kNoChannel;
    tq::platform::copyText(buffer, TQ_CHANNEL_EU_SIZE, channel->eu);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getChannelEval(TQStreamChannel *channel, const void *scan, double *value)
{
    if (!channel)
        return kNoChannel;
    put(value, evalAt(channel, scan));
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getChannelEvalEx(TQStreamChannel *channel, const void *block, int16_t index, double *value)
{
    if (!channel)
        return kNoChannel;
    // A negative index would read before the caller's block.
    double v = kNoValue;
    if (block && index >= 0)
        v = evalAt(channel,
                   static_cast<const unsigned char *>(block) + scanSizeOf(channel) * static_cast<size_t>(index));
    put(value, v);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getChannelEvalEx2(TQStreamChannel *channel, const TQPiece *pieces, int16_t index,
                                           double *value)
{
    if (!channel)
        return kNoChannel;
    double v = kNoValue;
    const size_t scanSize = scanSizeOf(channel);
    if (pieces && index >= 0 && scanSize > 0) {
        // Counted in bytes, not in whole scans per piece: pieces are cut
        // wherever the owner's memory ends, often inside a scan.
        ScanScratch scratch;
        PieceScans scans(pieces, scanSize, scratch);
        scans.skip(scanSize * static_cast<size_t>(index));
        v = evalAt(channel, scans.next());
    }
    put(value, v);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getStreamFromChannel(TQStreamChannel *channel, TQStream **stream)
{
    if (!channel)
        return kNoChannel;
    put(stream, channel->stream);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setGraphChannelEnable(TQStreamChannel *channel, int32_t enable)
{
    if (!channel)
        return kNoChannel;
    // A channel without a stream has no graph to be shown in.
    TQStream *stream = channel->stream;
    if (!stream)
        return VI_SUCCESS;
    return mapped(stream->streamSetGraphChannelEnable(channel, enable));
}

TQ_API ViStatus tqstream_setOutputChannelSyncType(TQStreamChannel *channel, int16_t type)
{
    if (!channel)
        return kNoChannel;
    const int32_t normalised = type == 1 ? 1 : 2;
    if (channel->streamChannelSetOutputSyncType)
        channel->streamChannelSetOutputSyncType(channel, normalised);
    else
        channel->outputSyncType = normalised;
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getOutputChannelSyncType(TQStreamChannel *channel, int16_t *type)
{
    if (!channel)
        return kNoChannel;
    put(type, channel->outputSyncType);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_setChannelEval(TQStreamChannel *channel, void *outputScan, double value)
{
    if (!channel)
        return kNoChannel;
    if (channel->streamChannelSetEval)
        channel->streamChannelSetEval(channel, value, outputScan);
    return VI_SUCCESS;
}

TQ_API ViStatus tqstream_getAveraged(TQStream *stream, int64_t count, int64_t *done, uint16_t maximum, double *out)
{
    put(done, 0);
    if (!stream)
        return kNoObject;
    const uint16_t k = std::min<uint16_t>(maximum, stream->streamGetNumberChannels(stream));
    if (k > 0 && !out)
        return VI_ERROR_INV_PARAMETER;

    TQStreamChannel *local[kLocalChannels];
    std::unique_ptr<TQStreamChannel *[]> heap;
    TQStreamChannel **channels = local;
    if (k > kLocalChannels) {
        heap.reset(new (std::nothrow) TQStreamChannel *[k]);
        if (!heap)
            return VI_ERROR_ALLOC;
        channels = heap.get();
    }
    for (uint16_t i = 0; i < k; ++i) {
        channels[i] = stream->streamGetChannelByIndex(stream, i);
        out[i] = 0.0;
    }
    if (count <= 0)
        return VI_SUCCESS;

    TQReader *reader = stream->streamNewReader(stream, -count, TQ_WHENCE_NEWEST);
    if (!reader)
        return VI_ERROR_ALLOC;
    TQPiece *pieces = nullptr;
    const int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, count);

    ViStatus status = VI_SUCCESS;
    int64_t averaged = 0;
    if (got > 0) {
        // Walked by bytes: a scan split between two pieces is read whole,
        // not half from the end of one piece and half from beyond it.
        ScanScratch scratch;
        PieceScans scans(pieces, stream->streamGetScanSize(stream), scratch);
        while (averaged < got) {
            const void *scan = scans.next();
            if (!scan)
                break;
            for (uint16_t i = 0; i < k; ++i)
                if (channels[i] && channels[i]->streamChannelEval)
                    out[i] += channels[i]->streamChannelEval(channels[i], scan);
            ++averaged;
        }
        if (scans.failed()) {
            averaged = 0;
            status = VI_ERROR_ALLOC;
            for (uint16_t i = 0; i < k; ++i)
                out[i] = 0.0;
        }
        for (uint16_t i = 0; i < k && averaged > 0; ++i)
            out[i] /= static_cast<double>(averaged);
    } else if (got < 0 && got != TQS_END_OF_DATA) {
        // Nothing there is no failure; a reservation that failed is.
        status = mapped(static_cast<int32_t>(got));
    }

    // The reservation is dropped with the reader: averaging consumes nothing.
    reader->readerUnlink(reader);
    TQReader *copy = reader;
    reader->readerRelease(&copy);
    put(done, averaged);
    return status;
}

TQ_API ViStatus tqstream_getAveragedl(TQStream *stream, int32_t count, int32_t *done, uint16_t maximum, double *out)
{
    int64_t averaged = 0;
    const ViStatus status = tqstream_getAveraged(stream, count, &averaged, maximum, out);
    put(done, narrow(averaged));
    return status;
}
