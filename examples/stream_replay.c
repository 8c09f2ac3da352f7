/* Replays a recorded stream file through the stream library's flat C
 * interface, the way a client program uses it: opens the file as a stream,
 * lists its channels, prints the mean of every channel over the newest
 * scans, and renders the whole recording as a PNG graph.
 *
 *   tqreplay <stream file> [<graph.png>] [<newest scans to average>]
 *
 * Any stream file will do, for example the one `make demo` records. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "tqstream.h"

static int check(const char *what, ViStatus status)
{
    char text[256] = "";
    if (status >= VI_SUCCESS)
        return 1;
    tqstream_error_message(VI_NULL, status, text);
    fprintf(stderr, "%s failed: %#x %s\n", what, (unsigned)status, text);
    return 0;
}

/* Scans in the file: a reader at the oldest scan has all of them ahead. */
static int64_t countScans(TQStream *stream)
{
    TQReader *reader = NULL;
    int64_t scans = 0;
    if (!check("tqstream_newReader", tqstream_newReader(stream, 0, TQ_WHENCE_OLDEST, &reader)))
        return 0;
    tqstream_readerAvail(reader, &scans);
    tqstream_readerClose(reader);
    return scans;
}

static int listChannels(TQStream *stream, uint16_t channels)
{
    for (uint16_t i = 0; i < channels; ++i) {
        TQStreamChannel *channel = NULL;
        char name[TQ_CHANNEL_NAME_SIZE];
        char unit[TQ_CHANNEL_EU_SIZE];
        if (!check("tqstream_getChannelByIndex", tqstream_getChannelByIndex(stream, (int16_t)i, &channel)))
            return 0;
        tqstream_getChannelName(channel, name);
        tqstream_getChannelEU(channel, unit);
        printf("channel %u: %s [%s]\n", (unsigned)i, name, unit);
    }
    return 1;
}

static int printMeans(TQStream *stream, uint16_t channels, int64_t newest)
{
    double *means = calloc(channels ? channels : 1, sizeof *means);
    int64_t done = 0;
    if (!means)
        return 0;
    if (!check("tqstream_getAveraged", tqstream_getAveraged(stream, newest, &done, channels, means))) {
        free(means);
        return 0;
    }
    printf("averaged scans: %lld\n", (long long)done);
    for (uint16_t i = 0; i < channels; ++i) {
        TQStreamChannel *channel = NULL;
        char name[TQ_CHANNEL_NAME_SIZE] = "";
        if (tqstream_getChannelByIndex(stream, (int16_t)i, &channel) == VI_SUCCESS)
            tqstream_getChannelName(channel, name);
        printf("mean %s = %.6f\n", name, means[i]);
    }
    free(means);
    return 1;
}

static int renderGraph(TQStream *stream, const char *path, double seconds)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int ok;
    if (fd < 0) {
        perror(path);
        return 0;
    }
    /* From the first scan, over the whole recording, each pixel column
     * showing the envelope of its scans. */
    ok = check("tqstream_writeGraph", tqstream_writeGraph(stream, fd, 640, 360, 4, 0.0, seconds));
    if (close(fd) != 0)
        ok = 0;
    if (ok)
        printf("graph: %s\n", path);
    return ok;
}

int main(int argc, char **argv)
{
    TQStream *stream = NULL;
    char name[TQ_STREAM_NAME_SIZE];
    uint16_t channels = 0;
    double rate = 0.0;
    int64_t scans;
    int64_t newest = argc > 3 ? atoll(argv[3]) : 100;
    int ok;

    if (argc < 2) {
        fprintf(stderr, "usage: %s <stream file> [<graph.png>] [<newest scans to average>]\n", argv[0]);
        return 2;
    }
    if (!check("tqstream_openFileStream", tqstream_openFileStream(argv[1], &stream)))
        return 1;
    tqstream_getName(stream, name, sizeof name, NULL);
    tqstream_getRate(stream, &rate);
    tqstream_getNumberChannels(stream, &channels);
    scans = countScans(stream);
    printf("stream %s: %u channels, %lld scans at %g scans/s\n", name, (unsigned)channels, (long long)scans, rate);

    ok = listChannels(stream, channels) && printMeans(stream, channels, newest);
    if (ok && argc > 2)
        ok = renderGraph(stream, argv[2], rate > 0.0 ? (double)scans / rate : 1.0);
    tqstream_close(stream);
    return ok ? 0 : 1;
}
