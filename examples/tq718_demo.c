/* One acquisition on a simulated model 718, through the driver's C interface.
 *
 * The program lays out a directory where the driver finds a VISA library
 * (systemroot/system32/libvisa32.so, here the simulated one built beside
 * this program) and an inventory of simulated instruments (TQ_SIM_VISA),
 * opens the digitizer, configures it, records its stream into a stream file
 * while reading it live for a few seconds, computes two channels from it with
 * formulas, and reads the file back. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tq718.h"
#include "tqstream.h"

#define RESOURCE "PXI1::14::INSTR"
#define SECONDS 3
#define RATE 1000.0

static const char *inventory =
    "# A simulated model 718: two sine waves, a counter and a constant input.\n"
    "[" RESOURCE "]\n"
    "board = tq718\n"
    "manf = 0x3c5a\n"
    "model = 0x718\n"
    "alias = bridge1\n"
    "ch1.signal = sine\n"
    "ch1.period = 500\n"
    "ch1.amplitude = 20000\n"
    "ch2.signal = sine\n"
    "ch2.period = 125\n"
    "ch2.amplitude = 5000\n"
    "ch3.signal = counter\n"
    "ch4.volts = 1.25\n";

static int check(const char *what, ViStatus status)
{
    if (status >= VI_SUCCESS)
        return 1;
    char text[256] = "";
    tq718_error_message(VI_NULL, status, text);
    fprintf(stderr, "%s failed: %#x %s\n", what, (unsigned)status, text);
    return 0;
}

/* <build>/demo, next to <build>/bin where this program lives; the simulated
 * VISA library is <build>/lib/libvisa32.so. */
static int layOut(char *demo, size_t size, char *library, size_t librarySize)
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return 0;
    exe[n] = '\0';
    char *build = dirname(dirname(exe));
    snprintf(demo, size, "%s/demo", build);
    snprintf(library, librarySize, "%s/lib/libvisa32.so", build);

    char path[PATH_MAX + 64];
    mkdir(demo, 0755);
    snprintf(path, sizeof path, "%s/systemroot", demo);
    mkdir(path, 0755);
    setenv("systemroot", path, 1);
    snprintf(path, sizeof path, "%s/systemroot/system32", demo);
    mkdir(path, 0755);
    snprintf(path, sizeof path, "%s/systemroot/system32/libvisa32.so", demo);
    unlink(path);
    if (symlink(library, path) != 0) {
        fprintf(stderr, "cannot link %s: %s\n", path, strerror(errno));
        return 0;
    }
    snprintf(path, sizeof path, "%s/instruments.txt", demo);
    FILE *f = fopen(path, "w");
    if (!f || fputs(inventory, f) < 0 || fclose(f) != 0) {
        fprintf(stderr, "cannot write %s\n", path);
        return 0;
    }
    setenv("TQ_SIM_VISA", path, 1);
    return 1;
}

/* Prints what a recorded stream file holds. */
static void describeFile(const char *file)
{
    int fd = ACQDOpenFile(file, O_RDONLY, 0);
    TQParseContext ctx;
    memset(&ctx, 0, sizeof ctx);
    if (fd < 0 || ACQDParse(fd, &ctx) != 1 || ctx.formType != TQ_FORM_ST64) {
        fprintf(stderr, "cannot parse %s\n", file);
        if (fd >= 0)
            ACQDCloseReadFile(fd);
        return;
    }
    const int channels = ctx.u.st64.channelCount;
    const uint64_t scanSize = 2u * (uint64_t)channels;
    const uint64_t scans = scanSize ? ctx.u.st64.dataLength / scanSize : 0;
    printf("It holds %llu scans at %.0f scans/s of %d channels:\n", (unsigned long long)scans, ctx.u.st64.rate,
           channels);
    int16_t first[3 * 8];
    int rows = scans < 3 ? (int)scans : 3;
    memset(first, 0, sizeof first);
    if (channels > 8 || pread(fd, first, (size_t)rows * scanSize, (off_t)ctx.u.st64.dataPosition) < 0)
        rows = 0;
    for (int c = 0; c < channels && c < 8; ++c) {
        const TQCaptureChannel *ch = &ctx.u.st64.channels[c];
        printf("  %-16s %-8s first values:", ch->name, ch->eu);
        for (int r = 0; r < rows; ++r) {
            /* The recorded polynomial, lowest order first. */
            double x = first[r * channels + c], value = 0.0;
            for (int k = ch->coefficientCount - 1; k >= 0; --k)
                value = value * x + ch->coefficients[k];
            printf(" %10.6f", value);
        }
        printf("\n");
        StreamCommonFree(ch->coefficients);
        StreamCommonFree(ch->sensorCoefficients);
    }
    StreamCommonFree(ctx.u.st64.channels);
    ACQDCloseReadFile(fd);
}

/* Draws the last seconds still in the stream's ring, all four channels
 * (minimum-maximum envelope per pixel column), into demo718.png. */
static void renderGraph(TQStream *stream, const char *demo, char *path, size_t size)
{
    void *image = NULL;
    uint32_t bytes = 0;
    stream->streamVerifyDisplayWindows(stream);
    if (stream->streamGetGraph(stream, 800, 600, 4, -(double)SECONDS, SECONDS, &image, &bytes) != 0 || !image)
        return;
    snprintf(path, size, "%s/demo718.png", demo);
    FILE *f = fopen(path, "wb");
    if (!f || fwrite(image, 1, bytes, f) != bytes)
        path[0] = '\0';
    if (f && fclose(f) != 0)
        path[0] = '\0';
    stream->graphObjectFreeGraph(NULL, image);
}

/* Through the replayed stream's display model: half a second of its graph
 * window as text, and a dial of one channel's newest value as a PNG image. */
static void windowAndDial(TQStream *replay, const char *demo, const char *channel)
{
    char path[PATH_MAX + 32];
    TQGraphObject *go = replay->streamGetGraphObject(replay);
    if (go) {
        go->graphObjectSetStartTime(go, 1.0);
        go->graphObjectSetDuration(go, 0.5);
        snprintf(path, sizeof path, "%s/demo718_window.txt", demo);
        int32_t r = go->graphObjectConvertToAscii(go, path);
        go->graphObjectSlotRelease(&go);
        if (r == 0)
            printf("Graph window 1.0 s to 1.5 s as text: %s\n", path);
        else
            fprintf(stderr, "graph text export failed: %d\n", r);
    }
    TQDisplayWindow *window = replay->streamGetDisplayWindowByIndex(replay, 0);
    TQWidget *dial = window ? window->displayWindowNewWidget(window, 0, "dial", 0, 0, 240, 240) : NULL;
    if (!dial)
        return;
    dial->widgetSetChannel(dial, channel);
    dial->widgetSetMin(dial, 0);
    dial->widgetSetMax(dial, 10);
    void *image = NULL;
    uint32_t bytes = 0;
    if (dial->widgetGetImage(dial, &image, &bytes) == 0 && image) {
        snprintf(path, sizeof path, "%s/demo718_dial.png", demo);
        FILE *f = fopen(path, "wb");
        int written = f && fwrite(image, 1, bytes, f) == bytes;
        if (f && fclose(f) != 0)
            written = 0;
        if (written)
            printf("Dial of %s at its last value: %s\n", channel, path);
        dial->widgetFreeImage(dial, image);
    }
    dial->widgetClose(dial);
    dial->widgetRelease(&dial);
}

/* Reopens the recorded file as a file stream, reads it back through a reader
 * and checks the first scans against what was read live; then exports the
 * file as text and shows its first lines. */
static int replayFile(const char *file, const char *demo, const char *text, long long live, const double *sum,
                      char names[4][TQ_CHANNEL_NAME_SIZE])
{
    TQStream *replay = NULL;
    int32_t r = OpenFileStream(file, &replay);
    if (r != 0) {
        fprintf(stderr, "OpenFileStream(%s) failed: %d\n", file, r);
        return 0;
    }
    TQStreamChannel *channels[4];
    int ok = 1;
    for (int c = 0; c < 4; ++c)
        ok = ok && (channels[c] = replay->streamGetChannel(replay, names[c])) != NULL;
    TQReader *reader = ok ? replay->streamNewReader(replay, 0, TQ_WHENCE_OLDEST) : NULL;
    const uint16_t scanSize = replay->streamGetScanSize(replay);
    double back[4] = {0, 0, 0, 0};
    long long n = 0;
    while (reader && n < live) {
        TQPiece *pieces = NULL;
        int64_t got = reader->readerReserveRead(reader, &pieces, NULL, live - n);
        if (got <= 0)
            break;
        for (const TQPiece *p = pieces; p->data; ++p)
            for (uint32_t b = 0; b < p->length; b += scanSize, ++n)
                for (int c = 0; c < 4; ++c)
                    back[c] += channels[c]->streamChannelEval(channels[c], (const uint8_t *)p->data + b);
        reader->readerCompleteRead(reader, got);
    }
    ok = ok && n == live;
    for (int c = 0; ok && c < 4; ++c)
        ok = fabs(back[c] - sum[c]) <= 1e-9 * (fabs(sum[c]) + (double)live);
    printf("Replayed through OpenFileStream: %lld of %lld scans read back, %s\n", n,
           (long long)replay->streamGetScansWritten(replay),
           ok ? "equal to the values read live" : "NOT equal to the values read live");
    if (reader) {
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
    }
    windowAndDial(replay, demo, names[3]);
    r = replay->streamCaptureOpen(replay, text, 1);
    replay->streamRelease(&replay);
    if (r != 0) {
        fprintf(stderr, "text export of %s failed: %d\n", file, r);
        return 0;
    }
    printf("Text export: %s; its first lines:\n", text);
    FILE *f = fopen(text, "r");
    char line[512];
    for (int i = 0; f && i < 4 && fgets(line, sizeof line, f); ++i)
        printf("  %s", line);
    if (f)
        fclose(f);
    return ok;
}

int main(void)
{
    char demo[PATH_MAX], library[PATH_MAX], file[PATH_MAX + 32];
    if (!layOut(demo, sizeof demo, library, sizeof library))
        return 1;

    ViSession vi = VI_NULL;
    if (!check("tq718_init", tq718_init(RESOURCE, VI_TRUE, VI_TRUE, &vi)))
        return 1;
    TQStreamMsg *lines = NULL;
    StreamMsgCommonCreate(1 << 16, &lines);
    tq718_registerStreamMsg(vi, lines);

    /* 1000 scans/s of four channels, ten DMA segments per second, a ring of
     * two seconds; channel 4 on its 5 V range. */
    int ok = check("setScanClockRate", tq718_setScanClockRate(vi, RATE)) &&
             check("setRefreshRate", tq718_setRefreshRate(vi, 10)) &&
             check("setBufferDuration", tq718_setBufferDuration(vi, 2)) &&
             check("setAnalogChannelEnable", tq718_setAnalogChannelEnable(vi, 0, VI_TRUE)) &&
             check("setAnalogChannelInputVoltageRange", tq718_setAnalogChannelInputVoltageRange(vi, 4, 2)) &&
             check("setAnalogChannelName", tq718_setAnalogChannelName(vi, 1, "slow_sine")) &&
             check("setAnalogChannelName", tq718_setAnalogChannelName(vi, 2, "fast_sine")) &&
             check("setAnalogChannelName", tq718_setAnalogChannelName(vi, 3, "counter")) &&
             check("setAnalogChannelName", tq718_setAnalogChannelName(vi, 4, "supply"));

    TQStream *stream = NULL;
    ok = ok && check("getStream", tq718_getStream(vi, "demo718", &stream));
    snprintf(file, sizeof file, "%s/demo718.stm", demo);
    unlink(file);
    ok = ok && check("captureOpen", stream->streamCaptureOpen(stream, file, 0));
    TQReader *reader = ok ? stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST) : NULL;

    /* Two computed channels over the stream: a sum in volts and a moving
     * average; their scans are computed as the output stream is read. */
    char message[TQ_FORMULA_MESSAGE_SIZE] = "";
    TQFormulaEngine *engine = ok ? NewFormulaEngine(NULL) : NULL;
    TQStream *computed = NULL;
    TQReader *formulas = NULL;
    if (engine) {
        engine->formulaEngineRegisterStream(engine, stream);
        engine->formulaEngineAddFormula(engine, "sum", "=", "<demo718-slow_sine> + <demo718-fast_sine> 'volts'");
        engine->formulaEngineAddFormula(engine, "smooth", "=", "average(<demo718-fast_sine>, 50) 'volts'");
        ok = engine->parseFormulas(engine, message) >= 0;
        if (!ok)
            fprintf(stderr, "formulas: %s\n", message);
        engine->formulaEngineGetStream(engine, "computed", &computed);
        formulas = ok ? computed->streamNewReader(computed, 0, TQ_WHENCE_OLDEST) : NULL;
    }
    double firstComputed[3][2];
    long long computedRows = 0;
    ok = ok && reader && formulas && check("tq718_start", tq718_start(vi));

    /* Read for a few seconds: each reservation is a list of pieces that point
     * into the DMA segments; the channels convert a scan in place. */
    long long read = 0;
    double sum[4] = {0, 0, 0, 0};
    const uint16_t scanSize = ok ? stream->streamGetScanSize(stream) : 0;
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (now = start; ok && (now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9 < SECONDS;
         clock_gettime(CLOCK_MONOTONIC, &now)) {
        TQPiece *pieces = NULL;
        uint32_t count = 0;
        int64_t got = reader->readerReserveRead(reader, &pieces, &count, 100000);
        for (uint32_t p = 0; p < count; ++p)
            for (uint32_t b = 0; b < pieces[p].length; b += scanSize) {
                const uint8_t *scan = (const uint8_t *)pieces[p].data + b;
                for (int c = 0; c < 4; ++c) {
                    TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, c);
                    sum[c] += ch->streamChannelEval(ch, scan);
                }
            }
        reader->readerCompleteRead(reader, got);
        read += got;
        /* The computed channels keep pace with the stream. */
        double row[2];
        while (formulas->readerRead(formulas, row, 1) == 1) {
            if (computedRows < 3)
                memcpy(firstComputed[computedRows], row, sizeof row);
            ++computedRows;
        }
        if (got == 0)
            usleep(20000);
    }
    char channelNames[4][TQ_CHANNEL_NAME_SIZE];
    for (int c = 0; ok && c < 4; ++c)
        snprintf(channelNames[c], sizeof channelNames[c], "%s", stream->streamGetChannelByIndex(stream, c)->name);
    if (ok)
        tq718_stop(vi);
    char graph[PATH_MAX + 32] = "";
    if (ok)
        renderGraph(stream, demo, graph, sizeof graph);
    if (reader)
        reader->readerRelease(&reader);
    if (formulas)
        formulas->readerRelease(&formulas);
    if (computed)
        computed->streamRelease(&computed);
    if (engine)
        engine->formulaEngineRelease(&engine);
    if (stream)
        stream->streamCaptureClose(stream);

    /* The driver's status lines ("[name]start:...", "[name]stop:..."). */
    char line[512];
    uint32_t length = 0;
    lines->streamMsgLock(lines, 1000);
    while (lines->streamMsgRead(lines, line, sizeof line, &length) != 2)
        printf("%s\n", line);
    lines->streamMsgUnlock(lines);
    tq718_close(vi);
    lines->streamMsgRelease(&lines);
    if (!ok)
        return 1;

    printf("Read %lld scans live in %d s; mean values:", read, SECONDS);
    for (int c = 0; c < 4; ++c)
        printf(" %.4f", read ? sum[c] / (double)read : 0.0);
    printf(" (volts)\n");
    printf("Stream file: %s\n", file);
    if (graph[0])
        printf("Graph of its last seconds: %s\n", graph);
    describeFile(file);
    printf("Computed from it (%lld scans):\n", computedRows);
    const char *names[2] = {"sum", "smooth"};
    for (int c = 0; c < 2; ++c) {
        printf("  %-16s %-8s first values:", names[c], "volts");
        for (long long r = 0; r < computedRows && r < 3; ++r)
            printf(" %10.6f", firstComputed[r][c]);
        printf("\n");
    }
    char text[PATH_MAX + 32];
    snprintf(text, sizeof text, "%s/demo718.txt", demo);
    if (!replayFile(file, demo, text, read, sum, channelNames))
        return 1;
    printf("Simulated instruments: %s/instruments.txt\n", demo);
    return 0;
}
