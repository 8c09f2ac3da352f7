// Text export of a graph object's time window: one tab-separated line per
// scan with its wall-clock time stamp, the elapsed time and the engineering
// value of every input channel. Runs on the caller's thread, reports its
// progress as stream events and stops when a listener asks it to.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "displayimpl.h"
#include "core/streamimpl.h"
#include "file/textexport.h"
#include "tq/platform/numfmt.h"

namespace tq::stream
{

namespace
{

constexpr uint32_t kProgressEvent = 2;
constexpr uint32_t kStopBit = 2;       // in a listener's clear mask
constexpr int64_t kProgressEvery = 20; // scans

// Seconds times rate as a scan count: truncated, and 0 for what is not a
// positive finite number (a NaN converted to an integer is undefined).
int64_t scansOf(double seconds, double rate)
{
    double v = seconds * rate;
    if (!(v > 0))
        return 0;
    if (v >= 9e18)
        return static_cast<int64_t>(9e18);
    return static_cast<int64_t>(v);
}

void putValue(FILE *out, double value)
{
    char text[402];
    text[0] = '\t';
    const int length = formatFixed6(value, text + 1);
    fwrite(text, 1, static_cast<size_t>(length) + 1, out);
}

// The scans of the window: [first, end) in the stream's numbering, with the
// reader placed at first. A window with a negative start counts back from
// the newest scan, as it is drawn: it is resolved against the data kept now.
void placeWindow(TQGraphObject *go, TQReader *reader, double rate, int64_t &first, int64_t &end)
{
    first = end = 0;
    if (!(rate > 0) || !std::isfinite(rate) || !std::isfinite(go->starttime))
        return;
    const int64_t length = scansOf(go->duration, rate);
    if (go->starttime >= 0) {
        first = scansOf(go->starttime, rate);
        reader->readerSeek(reader, first, TQ_WHENCE_OLDEST);
    } else {
        reader->readerSeek(reader, -scansOf(-go->starttime, rate), TQ_WHENCE_NEWEST);
        reader->readerPeek(reader, nullptr, &first);
    }
    end = first + (length < INT64_MAX - first ? length : INT64_MAX - first);
}

} // namespace

int32_t graphConvertToAscii(TQGraphObject *go, const char *path)
{
    TQStream *stream = go ? streamOf(go) : nullptr;
    // A graph object out of any window, or a window out of any stream, has
    // no time window to export: nothing is written, and that is no error.
    if (!stream)
        return 0;
    if (!path)
        return TQS_ERR_CAPTURE_NAME;
    FILE *out = fopen(path, "w");
    if (!out)
        return TQS_ERR_CAPTURE_NAME;
    TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    if (!reader) {
        fclose(out);
        return TQS_ERR_FAILED;
    }
    setvbuf(out, nullptr, _IOFBF, 1 << 16);

    fputs("TimeStamp\tElapsedTime", out);
    for (int32_t i = 0; i < stream->streamGetNumberChannels(stream); ++i)
        if (TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, i))
            fprintf(out, "\t%.*s(%.*s)", static_cast<int>(sizeof ch->name), ch->name, static_cast<int>(sizeof ch->eu),
                    ch->eu);
    fputc('\n', out);

    const double rate = stream->streamGetRate(stream);
    const int64_t start = stream->streamGetStartTime(stream);
    int64_t first = 0, end = 0;
    placeWindow(go, reader, rate, first, end);

    int32_t result = TQS_OK;
    int64_t shownSecond = 0;
    bool shown = false;
    char date[96] = "";
    char message[TQ_STREAM_MESSAGE_SIZE];
    for (int64_t k = first; k < end; ++k) {
        TQPiece *pieces = nullptr;
        uint32_t pieceCount = 0;
        const int64_t got = reader->readerReserveRead(reader, &pieces, &pieceCount, 1);
        if (got <= 0 || !pieces || !pieces[0].data) {
            reader->readerCompleteRead(reader, 0);
            break; // the window reaches past the newest scan
        }
        const void *scan = pieces[0].data;

        int64_t seconds;
        long micros;
        scanStamp(start, rate, k, seconds, micros);
        if (!shown || seconds != shownSecond) {
            formatStampDate(seconds, date, sizeof date);
            shownSecond = seconds;
            shown = true;
        }
        fputs(date, out);
        fprintf(out, ".%06ld", micros);
        putValue(out, static_cast<double>(k) / rate);
        for (int32_t i = 0; i < stream->streamGetNumberChannels(stream); ++i) {
            TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, i);
            if (!ch)
                continue;
            // A channel that gives no value keeps its column, empty.
            if (ch->streamChannelEval)
                putValue(out, ch->streamChannelEval(ch, scan));
            else
                fputc('\t', out);
        }
        fputc('\n', out);
        reader->readerCompleteRead(reader, 1);

        if (k % kProgressEvery == 0) {
            const double percent = static_cast<double>(k - first) * 100.0 / static_cast<double>(end - first);
            tq::platform::cformat(message, sizeof message, "%.*s ASCII conversion: %.2lf%%", TQ_STREAM_NAME_SIZE,
                                  stream->streamGetName(stream), percent);
            uint32_t clearMask = 0;
            postEvent(stream, kProgressEvent, message, &clearMask);
            if (clearMask & kStopBit) {
                result = TQS_ERR_CLOSED;
                break;
            }
        }
    }
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
    postEvent(stream, kProgressEvent, "", nullptr);
    // A text that could not be written completely is reported, not passed
    // off as exported.
    bool failed = ferror(out) != 0;
    failed = fclose(out) != 0 || failed;
    return failed ? TQS_ERR_CAPTURE_NAME : result;
}

} // namespace tq::stream
