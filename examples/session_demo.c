/* The road of one recorded acquisition through a manager session on the
 * demonstration's device database: the resource manager loads the
 * application instrument (which logs what it is told), discovers the
 * simulated model 718 and gives it a virtual resource in the configuration
 * database "system" (tqdaq_autoPopulateDB), prints the users and the models
 * as the XML listings give them, stores the member's settings in a checked
 * configuration transaction and configures the instruments from them,
 * printing the formulas built. The program takes the members' streams,
 * records them into a new capture directory under the data path, starts,
 * reads the stream live for two seconds, stops, closes the capture, and then
 * replays the capture directory through a new formula engine, checking the
 * replayed values against those read live.
 *
 * scripts/demo-session makes the database, lays out the simulated VISA
 * library and runs this program with VPNPPATH pointing at the database. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tq718.h"
#include "tqdaq.h"

#define MEMBER "PXI1__14__INSTR"
#define CHANNELS 4
#define SECONDS 2

static int report(const char *what, ViStatus status)
{
    printf("  %-36s %#x\n", what, (unsigned)status);
    return status >= VI_SUCCESS;
}

/* Reads what the live reader has; adds each channel's values to sum. */
static long long readLive(TQStream *stream, TQReader *reader, double sum[CHANNELS])
{
    long long n = 0;
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    for (;;) {
        TQPiece *pieces = NULL;
        uint32_t count = 0;
        int64_t got = reader->readerReserveRead(reader, &pieces, &count, 4096);
        if (got <= 0)
            return n;
        for (uint32_t p = 0; p < count; ++p)
            for (uint32_t b = 0; b < pieces[p].length; b += scanSize, ++n)
                for (int c = 0; c < CHANNELS; ++c) {
                    TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, c);
                    sum[c] += ch->streamChannelEval(ch, (const uint8_t *)pieces[p].data + b);
                }
        reader->readerCompleteRead(reader, got);
    }
}

/* Replays the capture directory and compares its values with the live ones. */
static int replay(ViSession session, const char *directory, long long live, const double sum[CHANNELS])
{
    TQFormulaEngine *engine = NULL;
    if (!report("tqdaq_openDataFiles", tqdaq_openDataFiles(session, directory, 0, &engine)) || !engine)
        return 0;
    printf("Replayed %s:\n", directory);
    for (TQReader *m = engine->collection ? engine->collection->members.first : NULL; m; m = m->collectionLink.next) {
        TQStream *s = m->readerGetStream(m);
        printf("  stream %-10s %lld scans of %u channels at %.0f scans/s\n", s->streamGetName(s),
               (long long)s->streamGetScansWritten(s), (unsigned)s->streamGetNumberChannels(s), s->streamGetRate(s));
    }
    /* The default formulas give each recorded channel back, in order. */
    TQStream *out = NULL;
    engine->formulaEngineGetStream(engine, NULL, &out);
    TQReader *reader = out ? out->streamNewReader(out, 0, TQ_WHENCE_OLDEST) : NULL;
    const int columns = out ? out->streamGetNumberChannels(out) : 0;
    double back[CHANNELS] = {0, 0, 0, 0}, row[64];
    long long n = 0;
    while (reader && columns >= CHANNELS && columns <= 64 && n < live && reader->readerRead(reader, row, 1) == 1) {
        for (int c = 0; c < CHANNELS; ++c)
            back[c] += row[c];
        ++n;
    }
    int ok = n == live;
    for (int c = 0; ok && c < CHANNELS; ++c)
        ok = fabs(back[c] - sum[c]) <= 1e-9 * (fabs(sum[c]) + (double)live);
    printf("  value check: %lld of %lld scans read back through the output stream %s, %s\n", n, live,
           out ? out->streamGetName(out) : "-", ok ? "equal to the values read live" : "NOT equal to them");
    if (reader)
        reader->readerRelease(&reader);
    if (out)
        out->streamRelease(&out);
    engine->formulaEngineRelease(&engine);
    return ok;
}

/* Stores one configuration value of the member; prints the reason of a
 * refusal. */
static int store(ViSession session, const char *category, const char *index, const char *property,
                 const char *value)
{
    char what[96], message[TQDAQ_MESSAGE_SIZE] = "";
    snprintf(what, sizeof what, "tqdaq_setConfigs(%s%s%s)", property, index ? " " : "", index ? index : "");
    if (report(what, tqdaq_setConfigs(session, MEMBER, 1, category, index, property, value, message)))
        return 1;
    printf("    %s\n", message);
    return 0;
}

/* The channels of the session's formula output stream (the first stream of
 * the listing): one formula each, as the last build made them. */
static void printFormulas(ViSession session)
{
    char text[4096] = "";
    ViUInt32 length = 0;
    const ViStatus status = tqdaq_listStreams(session, text, sizeof text, &length);
    const char *handle = status >= VI_SUCCESS ? strstr(text, "<handle>") : NULL;
    TQStream *out = handle ? tqstream_streamOfValue((uint32_t)strtoul(handle + 8, NULL, 10)) : NULL;
    printf("  formulas built:\n");
    for (int32_t i = 0; out; ++i) {
        TQStreamChannel *c = out->streamGetChannelByIndex(out, i);
        if (!c)
            break;
        printf("    %-36s '%s'\n", c->name, c->eu);
    }
    /* Read to the end, so that the listing is not left unfinished. */
    for (ViStatus more = status; more == TQDAQ_WARN_MORE_TEXT;)
        more = tqdaq_listStreams(session, text, sizeof text, &length);
}

/* The member's settings through the manager: stored and sent to the driver
 * (in simulation) value by value, checked and committed together; then the
 * simulation is cleared and every instrument configured from what was
 * stored, which builds the formulas. */
static int configure(ViSession session)
{
    static const char *const names[CHANNELS] = {"slow_sine", "fast_sine", "counter", "supply"};
    static const char *const indexes[CHANNELS] = {"1", "2", "3", "4"};
    char message[TQDAQ_MESSAGE_SIZE] = "";
    /* The formulas are checked against the members' streams. */
    int ok = report("tqdaq_createStreams", tqdaq_createStreams(session, "", 1, 0));
    ok = ok && store(session, "Global", NULL, "ScanClockRate", "1000") &&
         store(session, "Global", NULL, "RefreshRate", "10");
    for (int c = 0; ok && c < CHANNELS; ++c)
        ok = store(session, "Analog Channel", indexes[c], "AnalogChannelEnable", "1") &&
             store(session, "Analog Channel", indexes[c], "AnalogChannelName", names[c]);
    if (ok && !report("tqdaq_crossCheck", tqdaq_crossCheck(session, NULL, 1, message))) {
        printf("    %s\n", message);
        ok = 0;
    }
    if (!ok)
        tqdaq_abortConfigs(session);
    ok = ok && report("tqdaq_setSimulationMode(0)", tqdaq_setSimulationMode(session, NULL, 0));
    if (ok && !report("tqdaq_configureHW(1, 1)", tqdaq_configureHW(session, 1, 1, message))) {
        printf("    %s\n", message);
        ok = 0;
    }
    if (ok)
        printFormulas(session);
    return ok;
}

/* Prints the users' or the models' listing (vendor and model 0: every model
 * but the virtual instruments) read in parts, as a caller with a small buffer
 * would. */
static void printListing(const char *what, ViSession session, int users)
{
    char part[256];
    ViUInt32 length = 0;
    ViStatus status;
    printf("  %s:\n    ", what);
    do {
        status = users ? tqdaq_listUsers(session, NULL, part, sizeof part, &length)
                       : tqdaq_listModels(session, 0, 0, NULL, part, sizeof part, &length);
        if (status >= VI_SUCCESS)
            fputs(part, stdout);
    } while (status == TQDAQ_WARN_MORE_TEXT);
    printf("\n    (%#x)\n", (unsigned)status);
}

int main(void)
{
    ViSession session = 0;
    char name[TQDAQ_NAME_SIZE] = "";
    if (!report("tqdaq_getHandle(operator)", tqdaq_getHandle(&session, "operator", "", 0x3c5a, 100)))
        return 1;
    report("tqdaq_getDB", tqdaq_getDB(session, name));
    printf("  selected configuration database:     %s\n", name);
    report("tqdaq_getController", tqdaq_getController(session, name));
    printf("  controller:                          %s\n", name);
    /* Discovery records what the simulated VISA library holds and gives each
     * device a virtual resource in the configuration database "system". */
    report("tqdaq_autoPopulateDB(system)", tqdaq_autoPopulateDB(session, "system"));
    printListing("tqdaq_listUsers", session, 1);
    printListing("tqdaq_listModels", session, 0);
    /* A formula kept with the database; the next formula build adds it to
     * the session's output stream. */
    report("tqdaq_linkFormula(doubled)",
           tqdaq_linkFormula(session, "doubled", "=", "<" MEMBER "-slow_sine> * 2 'volts'"));

    /* The member's configuration, stored and checked in one transaction,
     * then sent to the instruments out of simulation: 1000 scans/s of four
     * channels, and the formulas built from it. */
    int ok = configure(session);
    ViSession vi = 0;
    ok = ok && report("tqdaq_getVresourceSession(" MEMBER ")", tqdaq_getVresourceSession(session, MEMBER, &vi));

    TQStream *stream = NULL;
    ok = ok && tq718_getStream(vi, MEMBER, &stream) >= 0 && stream;
    TQReader *live = ok ? stream->streamNewReader(stream, 0, TQ_WHENCE_NEWEST) : NULL;
    char dataPath[TQDAQ_NAME_SIZE] = "", directory[TQDAQ_NAME_SIZE] = "";
    ok = ok && live && report("tqdaq_getDataPath", tqdaq_getDataPath(session, dataPath));
    ok = ok && report("tqdaq_captureOpenDB", tqdaq_captureOpenDB(session, "", dataPath, 0, directory));
    if (ok)
        printf("  capture directory:                   %s\n", directory);

    double sum[CHANNELS] = {0, 0, 0, 0};
    long long read = 0;
    ok = ok && report("tqdaq_doOperation(start)", tqdaq_doOperation(session, NULL, "start", NULL));
    for (int i = 0; ok && i < SECONDS * 20; ++i) {
        usleep(50000);
        read += readLive(stream, live, sum);
    }
    report("tqdaq_doOperation(stop)", tqdaq_doOperation(session, NULL, "stop", NULL));
    if (live) {
        read += readLive(stream, live, sum);
        live->readerRelease(&live);
    }
    ok = ok && report("tqdaq_captureClose", tqdaq_captureClose(session, "")) && read > 0;
    if (ok)
        printf("  read live:                           %lld scans\n", read);
    report("tqdaq_closeStreams", tqdaq_closeStreams(session));

    /* The directory as the front panel names it, without its final '/'. */
    size_t n = strlen(directory);
    if (n > 1 && directory[n - 1] == '/')
        directory[n - 1] = '\0';
    ok = ok && replay(session, directory, read, sum);
    return report("tqdaq_closeHandle", tqdaq_closeHandle(session)) && ok ? 0 : 1;
}
