// Text export of a file stream: the whole file as tab-separated text, one
// line per scan with its time stamp and every channel's engineering value.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "filestream_impl.h"
#include "tq/platform/numfmt.h"

namespace {

// Scans taken per reservation; the text is the same whatever the batch.
constexpr int64_t kBatchScans = 256;

// Time stamp of scan i: whole seconds and microseconds. The fraction is
// rounded to the microseconds that are written, and a fraction that rounds
// up to a whole second carries into the seconds, so that no stamp is written
// a second early. A rate that gives no time (0, negative, not a number)
// stamps every scan with the start time.
void stampOf(int64_t start, double rate, int64_t i, int64_t &seconds, long &micros)
{
    seconds = start;
    micros = 0;
    if (!(rate > 0.0) || !std::isfinite(rate))
        return;
    double s = static_cast<double>(i) / rate;
    if (!(s < 1e15))
        return;
    double whole = std::floor(s);
    long long us = std::llround((s - whole) * 1e6);
    if (us >= 1000000) {
        us -= 1000000;
        whole += 1.0;
    }
    int64_t w;
    if (__builtin_add_overflow(start, static_cast<int64_t>(whole), &w))
        return;
    seconds = w;
    micros = static_cast<long>(us);
}

} // namespace

namespace tq::stream {

int32_t fileStreamExportText(TQStream *stream, const char *fileName, int32_t /*mode*/)
{
    if (!fileName)
        return TQS_ERR_CAPTURE_NAME;
    FILE *out = fopen(fileName, "w");
    if (!out)
        return TQS_ERR_CAPTURE_NAME;
    TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    if (!reader) {
        fclose(out);
        return TQS_ERR_FAILED;
    }
    setvbuf(out, nullptr, _IOFBF, 1 << 16);

    const int32_t count = stream->streamGetNumberChannels(stream);
    FileStreamPrivate *p = fileStreamOf(stream);
    fputs("TimeStamp", out);
    for (int32_t c = 0; c < count; ++c)
        fprintf(out, "\t%s(%s)", p->channels[c].head.name, p->channels[c].head.eu);
    fputc('\n', out);

    const double rate = stream->streamGetRate(stream);
    const int64_t start = stream->streamGetStartTime(stream);
    const uint64_t F = p->layout.fullScanSize;
    int64_t i = 0;
    int64_t shownSecond = 0;
    bool shown = false;
    char date[96] = "";
    char text[512];
    for (;;) {
        TQPiece *pieces = nullptr;
        const int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, kBatchScans);
        if (got <= 0)
            break;
        for (const TQPiece *piece = pieces; piece && piece->data; ++piece) {
            const auto *scan = static_cast<const uint8_t *>(piece->data);
            for (uint64_t k = 0; k < piece->length / F; ++k, scan += F, ++i) {
                int64_t seconds;
                long micros;
                stampOf(start, rate, i, seconds, micros);
                if (!shown || seconds != shownSecond) {
                    const time_t t = static_cast<time_t>(seconds);
                    struct tm tm {};
                    if (!localtime_r(&t, &tm))
                        tm = {};
                    snprintf(date, sizeof date, "%d/%d/%d %d:%d:%d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                             tm.tm_hour, tm.tm_min, tm.tm_sec);
                    shownSecond = seconds;
                    shown = true;
                }
                fputs(date, out);
                fprintf(out, ".%06ld", micros);
                for (int32_t c = 0; c < count; ++c) {
                    TQStreamChannel *ch = &p->channels[c].head;
                    tq::platform::cformat(text, sizeof text, "\t%lf", ch->streamChannelEval(ch, scan));
                    fputs(text, out);
                }
                fputc('\n', out);
            }
        }
        reader->readerCompleteRead(reader, got);
    }
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
    // A text that could not be written completely is reported, not passed
    // off as exported.
    bool failed = ferror(out) != 0;
    failed = fclose(out) != 0 || failed;
    return failed ? TQS_ERR_CAPTURE_NAME : 0;
}

} // namespace tq::stream
