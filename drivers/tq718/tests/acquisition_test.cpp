// Acquisition of the model 718 on the simulated board, end to end: the
// board's DMA engine writes counters into the driver's ring, the interrupt
// handler hands them to the stream, and readers, capture files, handlers,
// waits and one-shot reads see every sample.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fixture718.h"
#include "tq/platform/thread.h"
#include "tqstream.h"

namespace
{

using namespace tq718test;
namespace fs = std::filesystem;

constexpr const char *kCounters = "ch1.signal=counter; ch2.signal=counter; ch3.signal=counter; ch4.signal=counter";

// What the board writes for channel c in scan n.
int16_t counter(int c, uint64_t n)
{
    return static_cast<int16_t>(static_cast<uint16_t>(n + 1000u * static_cast<uint64_t>(c - 1)));
}

// Checks scans n, n+1, ... of a four-channel, event-word layout; counts the
// scans that differ and keeps the first.
struct ScanChecker {
    int channels = 4;
    bool eventWord = true;
    uint64_t next = 0;
    uint64_t bad = 0;
    std::string first;

    size_t scanBytes() const { return 2 * static_cast<size_t>(channels) + (eventWord ? 2 : 0); }
    void check(const uint8_t *scan)
    {
        for (int c = 1; c <= channels; ++c) {
            int16_t v;
            memcpy(&v, scan + 2 * (c - 1), 2);
            if (v != counter(c, next) && bad++ == 0)
                first = "scan " + std::to_string(next) + " channel " + std::to_string(c) + ": " + std::to_string(v);
        }
        if (eventWord) {
            uint16_t w;
            memcpy(&w, scan + 2 * channels, 2);
            if (w != 0 && bad++ == 0)
                first = "scan " + std::to_string(next) + " event word " + std::to_string(w);
        }
        ++next;
    }
};

class Acquisition718 : public Board718Test
{
  protected:
    void SetUp() override
    {
        Board718Test::SetUp();
        dir_ = fs::path(tq::test::bindingDirectory()).parent_path() / "acquisition";
        fs::create_directories(dir_);
    }

    // A board of counters with a session: rate, refresh rate and buffer
    // duration, channels 1 to channels and the event word.
    ViSession openCounting(double rate, ViInt16 refresh, ViInt16 duration, int channels = 4, bool eventWord = true,
                           const std::string &extra = "")
    {
        addBoard(kBoard, std::string(kCounters) + (extra.empty() ? "" : "; " + extra));
        ViSession vi = open();
        EXPECT_EQ(tq718_setScanClockRate(vi, rate), VI_SUCCESS);
        EXPECT_EQ(tq718_setRefreshRate(vi, refresh), VI_SUCCESS);
        EXPECT_EQ(tq718_setBufferDuration(vi, duration), VI_SUCCESS);
        for (int c = 1; c <= channels; ++c) {
            EXPECT_EQ(tq718_setAnalogChannelEnable(vi, static_cast<ViInt16>(c), 1), VI_SUCCESS);
        }
        if (eventWord) {
            EXPECT_EQ(tq718_setEventChannelEnable(vi, 1, 1), VI_SUCCESS);
        }
        EXPECT_EQ(tq718_registerStreamMsg(vi, lines_.get()), VI_SUCCESS);
        return vi;
    }

    // Reads through the reader until target scans have been checked (or a
    // generous deadline passes). Returns the scans read.
    static uint64_t readScans(TQReader *r, ScanChecker &checker, uint64_t target)
    {
        const uint64_t deadline = tq::platform::tickMs() + 60000;
        while (checker.next < target && tq::platform::tickMs() < deadline) {
            TQPiece *pieces = nullptr;
            uint32_t count = 0;
            const int64_t got = r->readerReserveRead(r, &pieces, &count, static_cast<int64_t>(target - checker.next));
            if (got == 0) {
                tq::platform::sleepMs(2);
                continue;
            }
            int64_t seen = 0;
            for (uint32_t i = 0; i < count; ++i) {
                const auto *p = static_cast<const uint8_t *>(pieces[i].data);
                for (uint32_t b = 0; b < pieces[i].length; b += static_cast<uint32_t>(checker.scanBytes())) {
                    checker.check(p + b);
                    ++seen;
                }
            }
            EXPECT_EQ(pieces[count].data, nullptr) << "piece list ends with a null address";
            EXPECT_EQ(seen, got);
            EXPECT_EQ(r->readerCompleteRead(r, got), got);
        }
        return checker.next;
    }

    // Every scan of a capture file's data chunk, checked from scan first on.
    static void checkCapture(const fs::path &file, ScanChecker &checker, uint64_t *scans = nullptr)
    {
        const int fd = ACQDOpenFile(file.c_str(), O_RDONLY, 0);
        ASSERT_GE(fd, 0) << file;
        TQParseContext ctx{};
        ASSERT_EQ(ACQDParse(fd, &ctx), 1);
        EXPECT_EQ(ctx.formType, TQ_FORM_ST64);
        EXPECT_EQ(ctx.u.st64.channelCount, checker.channels + (checker.eventWord ? 1 : 0));
        std::vector<uint8_t> data(ctx.u.st64.dataLength);
        ASSERT_EQ(pread(fd, data.data(), data.size(), static_cast<off_t>(ctx.u.st64.dataPosition)),
                  static_cast<ssize_t>(data.size()));
        ACQDCloseReadFile(fd);
        for (int i = 0; i < ctx.u.st64.channelCount; ++i) {
            StreamCommonFree(ctx.u.st64.channels[i].coefficients);
            StreamCommonFree(ctx.u.st64.channels[i].sensorCoefficients);
        }
        StreamCommonFree(ctx.u.st64.channels);
        ASSERT_EQ(data.size() % checker.scanBytes(), 0u);
        for (size_t b = 0; b < data.size(); b += checker.scanBytes())
            checker.check(data.data() + b);
        if (scans)
            *scans = data.size() / checker.scanBytes();
    }

    bool linePrinted(const std::string &line)
    {
        for (const std::string &l : lines_.take())
            if (l == line)
                return true;
        return false;
    }

    fs::path dir_;
    LineSink lines_;
};

TEST_F(Acquisition718, EverySampleOfManySegmentsThroughAReaderAndTheCaptureFile)
{
    // 1000-scan segments, a ring of 20: 60000 scans go round it three times.
    // The ring holds four seconds of scans, so that a loaded machine (or a
    // sanitizer) does not let the board lap the handler.
    ViSession vi = openCounting(5000.0, 5, 4);
    TQStream *s = stream(vi);
    const fs::path file = dir_ / "counters.stm";
    fs::remove(file);
    ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);

    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    EXPECT_TRUE(linePrinted("[" + std::string(kBoard) + "]start:VI_SUCCESS: Operation completed successfully."))
        << "start's status line";
    ScanChecker live;
    EXPECT_EQ(readScans(r, live, 60000), 60000u);
    EXPECT_EQ(live.bad, 0u) << live.first;
    EXPECT_GE(s->streamGetScansWritten(s), 60000);

    ASSERT_EQ(tq718_stop(vi), VI_SUCCESS);
    // Whatever the ring held at the stop reaches the reader too.
    const int64_t written = s->streamGetScansWritten(s);
    EXPECT_EQ(r->readerAvail(r), written - 60000);
    readScans(r, live, static_cast<uint64_t>(written));
    EXPECT_EQ(live.next, static_cast<uint64_t>(written));
    EXPECT_EQ(live.bad, 0u) << live.first;
    EXPECT_EQ(sim().simvisa_lostInterrupts(), 0u);

    ASSERT_EQ(s->streamCaptureClose(s), 0);
    ScanChecker recorded;
    uint64_t scans = 0;
    checkCapture(file, recorded, &scans);
    EXPECT_EQ(scans, static_cast<uint64_t>(written)) << "the capture holds every scan the device delivered";
    EXPECT_EQ(recorded.bad, 0u) << recorded.first;
    EXPECT_EQ(r->readerRelease(&r), 0);
}

// A run of scans that can only come from a run function registered for
// the channel's value function: the driver's own registration refuses it.
void foreignRun(TQStreamChannel *, const void *, uint32_t, int64_t count, double *values)
{
    for (int64_t i = 0; i < count; ++i)
        values[i] = -1.0;
}

TEST_F(Acquisition718, ReadersConvertRunsOfTheRingAsScanByScan)
{
    ViSession vi = openCounting(20000.0, 20, 2);
    TQStream *s = stream(vi);
    const int channels = s->streamGetNumberChannels(s);
    ASSERT_EQ(channels, 5) << "four analog channels and the event channel";
    const uint16_t scanSize = s->streamGetScanSize(s);
    // While the session is open its converters convert runs through the
    // driver's run functions, registered with the stream library.
    for (int c = 0; c < channels; ++c) {
        TQStreamChannel *ch = s->streamGetChannelByIndex(s, c);
        ASSERT_NE(ch, nullptr);
        EXPECT_EQ(StreamRegisterChannelRun(ch->streamChannelEval, foreignRun), TQS_ERR_RUN_TAKEN) << ch->name;
    }
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    int64_t compared = 0;
    std::vector<double> run;
    const uint64_t deadline = tq::platform::tickMs() + 60000;
    while (compared < 5000 && tq::platform::tickMs() < deadline) {
        TQPiece *pieces = nullptr;
        uint32_t count = 0;
        const int64_t got = r->readerReserveRead(r, &pieces, &count, INT64_MAX);
        if (got == 0) {
            tq::platform::sleepMs(2);
            continue;
        }
        for (uint32_t p = 0; p < count; ++p) {
            const auto *data = static_cast<const uint8_t *>(pieces[p].data);
            const int64_t n = pieces[p].length / scanSize;
            run.assign(static_cast<size_t>(n) + 1, -7.0);
            for (int c = 0; c < channels; ++c) {
                TQStreamChannel *ch = s->streamGetChannelByIndex(s, c);
                ASSERT_EQ(StreamChannelEvalRun(ch, data, scanSize, n, run.data()), n);
                EXPECT_EQ(run[static_cast<size_t>(n)], -7.0) << ch->name << ": written past the run";
                for (int64_t i = 0; i < n; ++i) {
                    const double each = ch->streamChannelEval(ch, data + static_cast<size_t>(i) * scanSize);
                    ASSERT_EQ(std::memcmp(&run[static_cast<size_t>(i)], &each, sizeof each), 0)
                        << ch->name << ", scan " << compared + i << ": " << run[static_cast<size_t>(i)] << " and "
                        << each;
                }
            }
            compared += n;
        }
        r->readerCompleteRead(r, got);
    }
    EXPECT_GE(compared, 5000);
    ASSERT_EQ(tq718_stop(vi), VI_SUCCESS);
    EXPECT_EQ(r->readerRelease(&r), 0);

    // Closed, the session has undone its registrations: the functions are
    // free to take another run (taken back at once).
    TQStreamChannel *first = s->streamGetChannelByIndex(s, 0);
    const TQChannelEvalFn eval = first->streamChannelEval;
    close(vi);
    EXPECT_EQ(StreamRegisterChannelRun(eval, foreignRun), 0);
    EXPECT_EQ(StreamUnregisterChannelRun(eval, foreignRun), 0);
}

TEST_F(Acquisition718, ReaderLeftBehindLosesExactlyTheOverwrittenScans)
{
    ViSession vi = openCounting(20000.0, 20, 1, 2, false); // ring of 20 x 1000 scans
    TQStream *s = stream(vi);
    TQReader *late = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    const uint64_t deadline = tq::platform::tickMs() + 60000;
    while (s->streamGetScansWritten(s) < 45000 && tq::platform::tickMs() < deadline)
        tq::platform::sleepMs(5);
    ASSERT_EQ(tq718_stop(vi), VI_SUCCESS);
    const int64_t written = s->streamGetScansWritten(s);
    ASSERT_GE(written, 45000);
    // Kept: the last 20 segments, from the first scan of segment C - 20.
    const int64_t segments = (written + 999) / 1000;
    const int64_t oldest = (segments - 20) * 1000;
    int64_t count = 0, position = -1;
    ASSERT_NE(late->readerPeek(late, &count, &position), nullptr);
    EXPECT_EQ(position, oldest);
    EXPECT_EQ(late->readerAvail(late), written - oldest);
    ScanChecker checker;
    checker.channels = 2;
    checker.eventWord = false;
    checker.next = static_cast<uint64_t>(oldest);
    readScans(late, checker, static_cast<uint64_t>(written));
    EXPECT_EQ(checker.bad, 0u) << checker.first;
    late->readerRelease(&late);
}

TEST_F(Acquisition718, StartAndStopAnswersAndLines)
{
    addBoard(kBoard, kCounters);
    ViSession vi = open();
    ASSERT_EQ(tq718_registerStreamMsg(vi, lines_.get()), VI_SUCCESS);
    EXPECT_EQ(tq718_start(vi), static_cast<ViStatus>(0xBFFC0107));
    EXPECT_TRUE(linePrinted("[" + std::string(kBoard) + "]start:Operation failed because no channels are enabled."));
    ASSERT_EQ(tq718_setAnalogChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setScanClockRate(vi, 1000.0), VI_SUCCESS);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    EXPECT_EQ(tq718_start(vi), static_cast<ViStatus>(0x3FFC0109));
    EXPECT_TRUE(linePrinted("[" + std::string(kBoard) + "]start:Device already Running."));
    EXPECT_EQ(tq718_freeMBfrConfiguration(vi), static_cast<ViStatus>(0xBFFC0108)) << "the running ring stays";
    ViReal64 values[4];
    EXPECT_EQ(tq718_getScans(vi, 1, 2, values, 4), static_cast<ViStatus>(0xBFFC0108));
    ASSERT_EQ(tq718_stop(vi), VI_SUCCESS);
    EXPECT_EQ(reg(0x00) & 0x10, 0u) << "acquisition enable off";
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS) << "stop of an idle session";

    // The operations by name.
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq718_getPnPHandle(kBoard, &h), VI_SUCCESS);
    EXPECT_EQ(h->doOperation(h->session, "calibration", ""), static_cast<ViStatus>(0xBFFF0067));
    EXPECT_EQ(h->doOperation(h->session, "start", ""), static_cast<ViStatus>(0xBFFC0107));
    h->release(&h);
}

TEST_F(Acquisition718, StopAbortsADmaThatNeverEnds)
{
    // An external clock that never ticks: the acquisition runs, the segment in
    // progress never fills.
    ViSession vi = openCounting(1000.0, 2, 2, 1, false);
    ASSERT_EQ(tq718_setScanClockSource(vi, 2), VI_SUCCESS); // I/O 1
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    ASSERT_EQ(sim().simvisa_pulseLine(kBoard, 9, 4), VI_SUCCESS); // four scans, two 32-bit words
    lines_.take();
    clearWrites();
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
    bool aborted = false;
    for (const SimVisaWrite &w : writes())
        if (w.space == kBar0 && w.offset == 0xA8 && (w.value & 0x5) == 0x4)
            aborted = true;
    EXPECT_TRUE(aborted) << "abort written to 0xA8";
    const std::vector<std::string> printed = lines_.take();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0].rfind("[" + std::string(kBoard) + "]stop: wait for completion timeout (a8=", 0), 0u)
        << printed[0];
    EXPECT_EQ(printed[1], "[" + std::string(kBoard) + "]stop:VI_SUCCESS: Operation completed successfully.");
    TQStream *s = stream(vi);
    EXPECT_EQ(s->streamGetScansWritten(s), 4) << "the clocked scans were handed over at the stop";
}

TEST_F(Acquisition718, ResetStopsTheAcquisitionAndWarnsWhenTheBoardStaysBusy)
{
    ViSession vi = openCounting(1000.0, 10, 1, 1, false, "resetstuck=1");
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    EXPECT_EQ(tq718_reset(vi), VI_WARN_UNKNOWN_STATUS);
    EXPECT_EQ(reg(0xA8, kBar0) & 0x1, 0u) << "the ring was freed";
    // Running no more: after the reset's defaults there is no channel to start.
    EXPECT_EQ(tq718_start(vi), static_cast<ViStatus>(0xBFFC0107));
}

TEST_F(Acquisition718, TransientCaptureEndsAfterItsScans)
{
    // Segments of 1000 scans, a ring of 8; the capture records the kept
    // segments up to 2500 scans after the trigger.
    ViSession vi = openCounting(4000.0, 4, 2, 4, false);
    TQStream *s = stream(vi);
    ASSERT_EQ(tq718_setTransientCondition(vi, 1), VI_SUCCESS); // I/O 1
    ASSERT_EQ(tq718_setTransientNumScans(vi, 2500), VI_SUCCESS);
    const fs::path file = dir_ / "transient.stm";
    fs::remove(file);
    ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_SUCCESS);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    const uint64_t deadline = tq::platform::tickMs() + 60000;
    while (s->streamGetScansWritten(s) < 5500 && tq::platform::tickMs() < deadline)
        tq::platform::sleepMs(2);
    ASSERT_EQ(sim().simvisa_pulseLine(kBoard, 9, 1), VI_SUCCESS);
    const ViUInt32 trigger = reg(0x200);
    ViUInt32 status = 0;
    char message[256] = "";
    EXPECT_EQ(tq718_wait(vi, 1u << 14, 60000, &status, message), VI_SUCCESS);
    EXPECT_NE(status & (1u << 14), 0u) << "event 15, transient complete";
    EXPECT_EQ(reg(0x00) & 0x30, 0u) << "stopped: acquisition and transient enable off";
    ASSERT_EQ(s->streamCaptureClose(s), 0);

    ScanChecker recorded;
    recorded.eventWord = false;
    const int64_t end = 2500 + static_cast<int64_t>(trigger) - 1;
    // The capture starts at the oldest kept segment and ends with the transient's last scan.
    const int64_t written = s->streamGetScansWritten(s);
    const int64_t segments = (written + 999) / 1000;
    recorded.next = static_cast<uint64_t>(std::max<int64_t>(0, segments - 8) * 1000);
    const uint64_t first = recorded.next;
    uint64_t scans = 0;
    checkCapture(file, recorded, &scans);
    EXPECT_EQ(recorded.bad, 0u) << recorded.first;
    EXPECT_EQ(first + scans, static_cast<uint64_t>(end + 1));
    EXPECT_LE(first, trigger) << "the trigger's segment is still in the capture";
}

TEST_F(Acquisition718, TransientLongerThanTheRingIsRefused)
{
    ViSession vi = openCounting(4000.0, 4, 2, 1, false);
    ASSERT_EQ(tq718_setTransientCondition(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setTransientNumScans(vi, 8 * 1000), VI_SUCCESS);
    EXPECT_EQ(tq718_start(vi), VI_ERROR_INV_SETUP);
    ASSERT_EQ(tq718_setTransientNumScans(vi, 7 * 1000), VI_SUCCESS);
    EXPECT_EQ(tq718_start(vi), VI_SUCCESS);
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
}

struct Seen {
    std::atomic<int> calls{0};
    std::atomic<ViUInt32> bits{0};
    char text[256] = "";
};

ViStatus onEvent(ViConstString, ViUInt32 bits, void *user, ViUInt32 *clear, ViChar *message)
{
    auto *seen = static_cast<Seen *>(user);
    if (bits == (1u << 4)) {
        memcpy(seen->text, message, sizeof seen->text);
        *clear = bits; // answered: the board's latch is cleared
    }
    seen->bits |= bits;
    ++seen->calls;
    return VI_SUCCESS;
}

TEST_F(Acquisition718, HandlersAndWaitersGetTheBoardsEvents)
{
    ViSession vi = openCounting(4000.0, 20, 1, 1, false);
    Seen seen;
    char buffer[256] = "";
    ASSERT_EQ(tq718_installEventHandler(vi, 0, onEvent, &seen, buffer), VI_SUCCESS);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    std::atomic<ViStatus> waited{1};
    ViUInt32 word = 0;
    std::thread waiter([&] { waited = tq718_wait(vi, 1u << 4, 60000, &word, nullptr); });
    const uint64_t giveUp = tq::platform::tickMs() + 60000;
    while (waited.load() == 1 && tq::platform::tickMs() < giveUp) {
        sim().simvisa_pulseLine(kBoard, 0, 1); // PXI line 0: event 5
        tq::platform::sleepMs(20);
    }
    waiter.join();
    EXPECT_EQ(waited.load(), VI_SUCCESS);
    EXPECT_NE(word & (1u << 4), 0u);
    const uint64_t deadline = tq::platform::tickMs() + 60000;
    while (seen.calls.load() == 0 && tq::platform::tickMs() < deadline)
        tq::platform::sleepMs(5);
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
    EXPECT_NE(seen.bits.load() & (1u << 4), 0u);
    EXPECT_STREQ(seen.text, "PXI 0 Trigger");
    EXPECT_EQ(reg(0xD4) & (1u << 4), 0u) << "the handler's clear mask reached the board";
    EXPECT_EQ(seen.bits.load() & (1u << 16), 0u) << "the segment event is never a handler's";
}

TEST_F(Acquisition718, OneShotReadsCalibratedValuesAtEachChannelsPlace)
{
    addBoard(kBoard, kCounters);
    ViSession vi = open();
    ASSERT_EQ(tq718_setScanClockRate(vi, 10000.0), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 3, 1), VI_SUCCESS); // the event word follows the samples
    std::vector<ViReal64> values(200, -1.0);
    EXPECT_EQ(tq718_getScans(vi, 2, 100, values.data(), 150), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(tq718_getScans(vi, 2, 100, values.data(), 200), VI_SUCCESS);
    const double slope = 0.00038427734375; // range 1 after the defaults
    for (int i = 0; i < 200; ++i)
        ASSERT_DOUBLE_EQ(values[i], slope * counter(i % 2 + 1, static_cast<uint64_t>(i / 2))) << i;
    ViBoolean enabled = 1;
    EXPECT_EQ(tq718_getAnalogChannelEnable(vi, 3, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(tq718_freeMBfrConfiguration(vi), VI_ERROR_WINDOW_NMAPPED) << "the one-shot chain is freed";
    EXPECT_EQ(sim().simvisa_openSessionCount(), 2u) << "the resource manager and the instrument only";
}

TEST_F(Acquisition718, OneShotWhoseDmaNeverFinishesTimesOut)
{
    addBoard(kBoard, kCounters);
    ViSession vi = open();
    ASSERT_EQ(tq718_setScanClockRate(vi, 10000.0), VI_SUCCESS);
    // The board interrupts, but the done bit can never be read.
    ASSERT_EQ(sim().simvisa_failOffset(kBoard, kBar0, 0xA8, SIMVISA_READS, VI_ERROR_IO), VI_SUCCESS);
    std::vector<ViReal64> values(10, -1.0);
    EXPECT_EQ(tq718_getScans(vi, 1, 10, values.data(), 10), VI_ERROR_TMO);
    sim().simvisa_clearFaults(kBoard);
    // A leftover interrupt does not end the next wait before the data is there.
    ASSERT_EQ(sim().simvisa_raiseInterrupt(kBoard, 0), VI_SUCCESS);
    ASSERT_EQ(tq718_getScans(vi, 1, 10, values.data(), 10), VI_SUCCESS);
    for (int i = 0; i < 10; ++i)
        EXPECT_DOUBLE_EQ(values[i], 0.00038427734375 * counter(1, static_cast<uint64_t>(i)));
}

TEST_F(Acquisition718, CloseWhileRunningStopsBeforeTheStreamGoes)
{
    ViSession vi = openCounting(20000.0, 50, 1);
    TQStream *s = stream(vi);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_NEWEST);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    tq::platform::sleepMs(50);
    close(vi);
    EXPECT_EQ(reg(0x00) & 0x10, 0u) << "acquisition stopped";
    EXPECT_EQ(r->readerAvail(r), 0) << "a reader kept past close is empty";
    r->readerRelease(&r);
}

TEST_F(Acquisition718, LayoutChangesWhileRunningAreRefused)
{
    // Two analog channels and event channel 1: scans of 6 bytes, three
    // channels; a ring of 8 x 1000 scans.
    ViSession vi = openCounting(1000.0, 1, 8, 2, true);
    TQStream *s = stream(vi);
    ASSERT_EQ(s->streamGetScanSize(s), 6);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    const auto running = static_cast<ViStatus>(0xBFFC0108);
    struct Case {
        const char *what;
        ViStatus (*set)(ViSession, ViInt16, ViBoolean);
        ViInt16 channel;
        ViBoolean enable;
        ViStatus expected;
    } cases[] = {
        {"analog channel 3 on", tq718_setAnalogChannelEnable, 3, 1, running},
        {"analog channel 2 off", tq718_setAnalogChannelEnable, 2, 0, running},
        {"every analog channel on", tq718_setAnalogChannelEnable, 0, 1, running},
        {"event channel 1 off: the event word would go", tq718_setEventChannelEnable, 1, 0, running},
        {"event channel 2 on: one channel more", tq718_setEventChannelEnable, 2, 1, running},
        {"every event channel off", tq718_setEventChannelEnable, 0, 0, running},
        {"analog channel 1 on as it is", tq718_setAnalogChannelEnable, 1, 1, VI_SUCCESS},
        {"event channel 3 off as it is", tq718_setEventChannelEnable, 3, 0, VI_SUCCESS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.set(vi, c.channel, c.enable), c.expected);
        EXPECT_EQ(s->streamGetScanSize(s), 6);
        EXPECT_EQ(s->streamGetNumberChannels(s), 3);
    }
    ViBoolean enabled = 9;
    EXPECT_EQ(tq718_getAnalogChannelEnable(vi, 3, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(tq718_getEventChannelEnable(vi, 2, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, 0);
    // The scans keep the layout the run began with.
    ScanChecker checker;
    checker.channels = 2;
    EXPECT_EQ(readScans(r, checker, 5000), 5000u);
    EXPECT_EQ(checker.bad, 0u) << checker.first;

    ASSERT_EQ(tq718_stop(vi), VI_SUCCESS);
    EXPECT_EQ(tq718_setAnalogChannelEnable(vi, 3, 1), VI_SUCCESS) << "stopped, the layout may change";
    EXPECT_EQ(s->streamGetScanSize(s), 8);
    r->readerRelease(&r);
}

TEST_F(Acquisition718, CallersRingIsLaidOutAgainForTheScanOfTheStart)
{
    // The caller's ring is made for scans of one channel (2 bytes); then
    // three channels and the event word join: scans of 10 bytes.
    ViSession vi = openCounting(1000.0, 1, 8, 1, false);
    ASSERT_EQ(tq718_allocateMBfrConfiguration(vi, 6, 1000), VI_SUCCESS);
    for (ViInt16 c = 2; c <= 4; ++c)
        ASSERT_EQ(tq718_setAnalogChannelEnable(vi, c, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setEventChannelEnable(vi, 1, 1), VI_SUCCESS);
    TQStream *s = stream(vi);
    ASSERT_EQ(s->streamGetScanSize(s), 10);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    // Twice round a ring of 6 x 1000 scans: every scan whole and in order.
    ScanChecker checker;
    EXPECT_EQ(readScans(r, checker, 12000), 12000u);
    EXPECT_EQ(checker.bad, 0u) << checker.first;
    ASSERT_EQ(tq718_stop(vi), VI_SUCCESS);
    EXPECT_EQ(tq718_freeMBfrConfiguration(vi), VI_SUCCESS) << "the ring stays the caller's until freed";
    r->readerRelease(&r);
}

TEST_F(Acquisition718, TransientCompleteLatchedByTheLastRunDoesNotEndTheNext)
{
    // Segments of 1000 scans, a ring of 8; the transient ends 2500 scans
    // after its trigger.
    ViSession vi = openCounting(4000.0, 4, 2, 1, false);
    TQStream *s = stream(vi);
    ASSERT_EQ(tq718_setTransientCondition(vi, 1), VI_SUCCESS); // I/O 1
    ASSERT_EQ(tq718_setTransientNumScans(vi, 2500), VI_SUCCESS);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    uint64_t deadline = tq::platform::tickMs() + 60000;
    while (s->streamGetScansWritten(s) < 1500 && tq::platform::tickMs() < deadline)
        tq::platform::sleepMs(2);
    ASSERT_EQ(sim().simvisa_pulseLine(kBoard, 9, 1), VI_SUCCESS);
    ViUInt32 word = 0;
    ASSERT_EQ(tq718_wait(vi, 1u << 14, 60000, &word, nullptr), VI_SUCCESS);
    ASSERT_NE(reg(0xD4) & (1u << 14), 0u) << "nobody cleared transient complete: the board keeps it latched";

    // Armed the same way and never triggered, the next run goes on.
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    deadline = tq::platform::tickMs() + 60000;
    while (s->streamGetScansWritten(s) < 12000 && tq::platform::tickMs() < deadline)
        tq::platform::sleepMs(2);
    EXPECT_GE(s->streamGetScansWritten(s), 12000) << "the run ended without a trigger";
    EXPECT_NE(reg(0x00) & 0x10, 0u) << "still acquiring";
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
}

TEST_F(Acquisition718, WaitTimesOutWhileTheRunPostsOtherEvents)
{
    // A segment event 20 times a second; the wait is for event 5, which never comes.
    ViSession vi = openCounting(4000.0, 20, 1, 1, false);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    std::atomic<bool> done{false};
    ViStatus waited = 1;
    ViUInt32 word = 0;
    std::thread waiter([&] {
        waited = tq718_wait(vi, 1u << 4, 700, &word, nullptr);
        done = true;
    });
    const uint64_t giveUp = tq::platform::tickMs() + 60000;
    while (!done.load() && tq::platform::tickMs() < giveUp)
        tq::platform::sleepMs(10);
    const bool endedWhileRunning = done.load();
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
    waiter.join();
    EXPECT_TRUE(endedWhileRunning) << "the wait ended only after the stop";
    EXPECT_EQ(waited, VI_ERROR_TMO);
    EXPECT_NE(word & (1u << 16), 0u) << "the segment events it passed over";
}

TEST_F(Acquisition718, CallersStopRacingTheTransientEnd)
{
    // The handler stops the acquisition when the transient's transfer ends;
    // the caller's stop comes before, during or after that, round by round.
    ViSession vi = openCounting(4000.0, 4, 2, 1, false);
    TQStream *s = stream(vi);
    ASSERT_EQ(tq718_setTransientCondition(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq718_setTransientNumScans(vi, 1500), VI_SUCCESS);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
        const uint64_t deadline = tq::platform::tickMs() + 60000;
        while (s->streamGetScansWritten(s) < 1000 && tq::platform::tickMs() < deadline)
            tq::platform::sleepMs(1);
        ASSERT_EQ(sim().simvisa_pulseLine(kBoard, 9, 1), VI_SUCCESS);
        std::this_thread::sleep_for(std::chrono::milliseconds(3 * round));
        EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
        // Whoever stopped, the stop is complete when the caller's returns.
        EXPECT_EQ(reg(0x00) & 0x30, 0u) << "acquisition and transient enable off";
        EXPECT_EQ(reg(0xD0) & (1u << 15), 0u) << "the interrupt enable is off again, as found before the start";
    }
    // The session runs on as before.
    ASSERT_EQ(tq718_setTransientCondition(vi, 0), VI_SUCCESS);
    ASSERT_EQ(tq718_start(vi), VI_SUCCESS);
    const uint64_t deadline = tq::platform::tickMs() + 60000;
    while (s->streamGetScansWritten(s) < 5000 && tq::platform::tickMs() < deadline)
        tq::platform::sleepMs(2);
    EXPECT_GE(s->streamGetScansWritten(s), 5000);
    EXPECT_EQ(tq718_stop(vi), VI_SUCCESS);
}

} // namespace
