// Text export of a file stream: the whole file as tab-separated text, one
// line per scan with its time stamp and every channel's engineering value.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "filestream_impl.h"
#include "textexport.h"
#include "tq/platform/numfmt.h"

namespace {

// Scans taken per reservation; the text is the same whatever the batch.
constexpr int64_t kBatchScans = 256;

} // namespace

namespace tq::stream {

void scanStamp(int64_t start, double rate, int64_t index, int64_t &seconds, long &micros)
{
    seconds = start;
    micros = 0;
    if (!(rate > 0.0) || !std::isfinite(rate))
        return;
    double s = static_cast<double>(index) / rate;
    if (!(std::fabs(s) < 1e15))
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

void formatStampDate(int64_t seconds, char *out, size_t size)
{
    const time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    if (!localtime_r(&t, &tm))
        tm = {};
    snprintf(out, size, "%d/%d/%d %d:%d:%d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
             tm.tm_sec);
}

// "%lf" of a value: six decimals, rounded half to even on the exact binary
// value as printf rounds. Values below 10^15 are converted here in integer
// arithmetic (the export writes millions of them); others go to printf in
// the C locale. Returns the length written into out (at least 400 bytes).
int formatFixed6(double value, char *out)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        return tq::platform::cformat(out, 400, "%lf", value);
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 63;
    const int exponent = static_cast<int>((bits >> 52) & 0x7ff);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int shift; // value = mantissa * 2^-shift
    if (exponent == 0) {
        shift = 1074;
    } else {
        mantissa |= uint64_t{1} << 52;
        shift = 1075 - exponent;
    }
    using u128 = unsigned __int128;
    u128 scaled; // value * 10^6, rounded
    if (shift <= 0) {
        scaled = (static_cast<u128>(mantissa) << -shift) * 1000000u;
    } else {
        const u128 exact = static_cast<u128>(mantissa) * 1000000u; // below 2^73
        if (shift > 100) {
            scaled = 0; // far below half a millionth
        } else {
            scaled = exact >> shift;
            const u128 rest = exact - (scaled << shift);
            const u128 half = static_cast<u128>(1) << (shift - 1);
            if (rest > half || (rest == half && (scaled & 1)))
                ++scaled;
        }
    }
    const auto whole = static_cast<uint64_t>(scaled / 1000000u);
    const auto fraction = static_cast<uint32_t>(scaled % 1000000u);
    char digits[24];
    int n = 0;
    uint64_t w = whole;
    do {
        digits[n++] = static_cast<char>('0' + w % 10);
        w /= 10;
    } while (w);
    int length = 0;
    if (negative)
        out[length++] = '-';
    while (n)
        out[length++] = digits[--n];
    out[length++] = '.';
    for (uint32_t f = fraction, d = 100000; d; d /= 10) {
        out[length++] = static_cast<char>('0' + f / d);
        f %= d;
    }
    out[length] = '\0';
    return length;
}

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
                scanStamp(start, rate, i, seconds, micros);
                if (!shown || seconds != shownSecond) {
                    formatStampDate(seconds, date, sizeof date);
                    shownSecond = seconds;
                    shown = true;
                }
                fputs(date, out);
                fprintf(out, ".%06ld", micros);
                for (int32_t c = 0; c < count; ++c) {
                    TQStreamChannel *ch = &p->channels[c].head;
                    text[0] = '\t';
                    const int length = formatFixed6(ch->streamChannelEval(ch, scan), text + 1);
                    fwrite(text, 1, static_cast<size_t>(length) + 1, out);
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
