// Acquisition end to end on a simulated carrier with model 740 modules on
// sites 1 and 3: scans follow the clock, fresh readings match the inputs,
// static outputs reach the card the next period, change-of-state events
// reach the handlers with their text and open their windows, a recording
// holds every scan, and start refuses what it cannot run.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "drivertest/scans.h"
#include "drivertest/scratch.h"
#include "fixture747.h"
#include "tqstream.h"

namespace
{

using namespace tq747test;
namespace fs = std::filesystem;

class Acquisition747 : public CarrierTest
{
  protected:
    void SetUp() override
    {
        CarrierTest::SetUp();
        dir_ = tq::test::scratchDirectory("tq747_acquisition");
    }

    // Every scan available to the reader, copied.
    static std::vector<std::vector<uint32_t>> readAll(TQReader *r, size_t words = 8)
    {
        return tq::test::readAllScans(r, words);
    }

    fs::path dir_;
};

TEST_F(Acquisition747, ScansFollowTheClockAndFreshReadingsMatchTheInputs)
{
    addCarrier("1,3");
    configure("in0=0x12345678; in3=0x80000001; site1.in=0xCAFE0001; site3.in=0x0BAD0003");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setScanClockRate(vi, 100.0), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);

    const uint64_t before = tq::platform::tickMs();
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    const uint64_t after = tq::platform::tickMs();
    tq::platform::sleepMs(1000);
    const uint64_t t0 = tq::platform::tickMs();
    const int64_t written = s->streamGetScansWritten(s);
    const uint64_t t1 = tq::platform::tickMs();
    // trunc(rate x elapsed): never ahead of the clock, and behind it by the
    // period the thread sleeps (one scan here) plus what a busy machine
    // delays a waking thread (a few periods at most).
    const double most = 100.0 * static_cast<double>(t1 - before) / 1000.0;
    const double least = 100.0 * static_cast<double>(t0 - after) / 1000.0 - 1.0 - 4.0;
    EXPECT_LE(written, static_cast<int64_t>(most) + 1);
    EXPECT_GE(written, static_cast<int64_t>(least));

    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    auto scans = readAll(r);
    ASSERT_EQ(static_cast<int64_t>(scans.size()), s->streamGetScansWritten(s));
    ASSERT_GE(scans.size(), 10u);
    for (const auto &scan : scans) {
        EXPECT_EQ(scan[0], 0x12345678u);
        EXPECT_EQ(scan[3], 0x80000001u);
        EXPECT_EQ(scan[4], 0xCAFE0001u);
        EXPECT_EQ(scan[5], 0u) << "site 2 is empty";
        EXPECT_EQ(scan[6], 0x0BAD0003u);
    }
    // The converters read the scan's words.
    TQStreamChannel *c1 = s->streamGetChannel(s, "DigitalChannel1");
    TQStreamChannel *m1 = s->streamGetChannel(s, "DigitalChannel1site3");
    TQStreamChannel *m2 = s->streamGetChannel(s, "DigitalChannel2site3");
    ASSERT_TRUE(c1 && m1 && m2);
    EXPECT_EQ(c1->streamChannelEval(c1, scans.back().data()), 0.0);
    EXPECT_EQ(m1->streamChannelEval(m1, scans.back().data()), 1.0);
    EXPECT_EQ(m2->streamChannelEval(m2, scans.back().data()), 1.0);
    r->readerRelease(&r);
}

TEST_F(Acquisition747, FreshReadingsFollowATimePattern)
{
    addCarrier("1,3");
    configure("pattern=counter; pattern.period=20; site1.pattern=counter; site3.pattern=counter");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setScanClockRate(vi, 200.0), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 100; }));
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    auto scans = readAll(r);
    ASSERT_GE(scans.size(), 100u);
    uint32_t previous = 0;
    size_t changes = 0;
    for (const auto &scan : scans) {
        // One reading: the words of a scan come from (nearly) the same step
        // (the pattern may move on between the reads of one period).
        EXPECT_LE(scan[1] - 0x100 - scan[0], 2u);
        EXPECT_LE(scan[4] - 0x1000 - scan[0], 2u);
        EXPECT_LE(scan[6] - 0x3000 - scan[0], 2u);
        EXPECT_GE(scan[0], previous) << "readings never go back";
        changes += scan[0] != previous;
        previous = scan[0];
    }
    EXPECT_GE(changes, 5u) << "the readings follow the inputs as they change";
    r->readerRelease(&r);
}

TEST_F(Acquisition747, StaticOutputsReachTheCardAndTheSitesTheNextPeriod)
{
    addCarrier("1,3");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setChannelGroupPowerupOutput(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 33, 1), VI_SUCCESS); // an input keeps the thread running
    ViSession m = VI_NULL;
    ASSERT_EQ(tq747_createIPSession(vi, 3, &m), VI_SUCCESS);
    ASSERT_EQ(tq740_setChannelGroupDirection(m, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(m, 2, 1), VI_SUCCESS);

    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    // Group 2 is an output with power-up level high: bits 8-15 from the start.
    EXPECT_TRUE(eventually([&] { return (reg(0x00) & 0xFF00) == 0xFF00; }));
    TQStreamChannel *c1 = s->streamGetChannel(s, "DigitalChannel1");
    TQStreamChannel *m2 = s->streamGetChannel(s, "DigitalChannel2site3");
    ASSERT_TRUE(c1 && m2);
    c1->streamChannelSetOutputSyncType(c1, 2);
    c1->streamChannelSetEval(c1, 1.0, nullptr);
    m2->streamChannelSetEval(m2, 1.0, nullptr);
    EXPECT_TRUE(eventually([&] { return (reg(0x00) & 1) == 1; })) << "carrier channel 1 on the card";
    EXPECT_TRUE(eventually([&] {
        ViUInt8 bits[1] = {};
        return tq747_readIoData(vi, 161, 168, bits) == VI_SUCCESS && (bits[0] & 0x2);
    })) << "site 3's channel 2 in the site's data register";

    // Asynchronous output writes into the output scan it is given, not the card.
    uint32_t outputScan[8] = {};
    c1->streamChannelSetOutputSyncType(c1, 1);
    c1->streamChannelSetEval(c1, 0.0, outputScan);
    c1->streamChannelSetEval(c1, 1.0, outputScan);
    EXPECT_EQ(outputScan[0], 1u);
    c1->streamChannelSetEval(c1, 0.0, outputScan);
    EXPECT_EQ(outputScan[0], 0u);
    tq::platform::sleepMs(100);
    EXPECT_EQ(reg(0x00) & 1, 1u);
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    tq740_close(m);
}

// The card keeps the outputs written: a period in which no output word
// changed writes nothing (bar a keep-alive about once a second), and the
// card still holds, period by period, what a write every period would put
// there: a changed static word, a site's word, and over a direct write.
TEST_F(Acquisition747, UnchangedOutputsAreNotWrittenAgain)
{
    addCarrier("1,3");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 33, 1), VI_SUCCESS); // an input keeps the thread running
    ViSession m = VI_NULL;
    ASSERT_EQ(tq747_createIPSession(vi, 3, &m), VI_SUCCESS);
    ASSERT_EQ(tq740_setChannelGroupDirection(m, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(m, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setScanClockRate(vi, 500.0), VI_SUCCESS);
    const auto cardWrites = [&] {
        size_t n = 0;
        for (const SimVisaWrite &w : writes())
            if (w.space == kBar2 && w.offset == 0x00 && w.width == 4)
                ++n;
        return n;
    };
    const auto siteBit = [&] {
        ViUInt8 bits[1] = {};
        return tq747_readIoData(vi, 161, 168, bits) == VI_SUCCESS && (bits[0] & 0x2);
    };

    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) > 10; }));
    clearWrites();
    const uint64_t t0 = tq::platform::tickUs();
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) > 250; }));
    const double seconds = static_cast<double>(tq::platform::tickUs() - t0) / 1e6;
    const size_t idle = cardWrites();
    EXPECT_LE(static_cast<double>(idle), seconds + 2) << "writes in " << seconds << " s of unchanged outputs";

    TQStreamChannel *c1 = s->streamGetChannel(s, "DigitalChannel1");
    TQStreamChannel *m2 = s->streamGetChannel(s, "DigitalChannel2site3");
    ASSERT_TRUE(c1 && m2);
    c1->streamChannelSetEval(c1, 1.0, nullptr);
    EXPECT_TRUE(eventually([&] { return (reg(0x00) & 1) == 1; })) << "a changed static word";
    m2->streamChannelSetEval(m2, 1.0, nullptr);
    EXPECT_TRUE(eventually(siteBit)) << "a changed site word";
    // A direct write lasts until the next period.
    ViUInt8 zero[1] = {};
    ASSERT_EQ(tq747_writeIoData(vi, 1, 8, zero), VI_SUCCESS);
    ASSERT_EQ(tq747_writeIoData(vi, 161, 168, zero), VI_SUCCESS);
    EXPECT_TRUE(eventually([&] { return (reg(0x00) & 1) == 1 && siteBit(); })) << "a direct write overwritten";
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    tq740_close(m);
}

struct Received {
    std::mutex m;
    std::vector<std::string> texts;
    std::vector<ViUInt32> events;
};

ViStatus onEvent(ViConstString, ViUInt32 events, void *user, ViUInt32 *, ViChar *message)
{
    auto *r = static_cast<Received *>(user);
    std::lock_guard<std::mutex> g(r->m);
    r->texts.emplace_back(message ? message : "");
    r->events.push_back(events);
    return VI_SUCCESS;
}

TEST_F(Acquisition747, ChangeOfStateReachesTheHandlersAndOpensTheEventWindow)
{
    addCarrier("1,3");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 3, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelChangeOfStateEnable(vi, 3, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelChangeOfStateEnable(vi, 40, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setEventEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setEventChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setEventChannelDuration(vi, 1, 10), VI_SUCCESS);
    Received received;
    char buffer[256] = {};
    ASSERT_EQ(tq747_installEventHandler(vi, 0, onEvent, &received, buffer), VI_SUCCESS);
    ASSERT_EQ(tq747_setScanClockRate(vi, 100.0), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);

    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    EXPECT_EQ(tq747_getChangeOfStateStatus(vi), VI_SUCCESS_EVENT_EN) << "armed by the start";
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 20; }));
    configure("in0=0x4; in1=0x80"); // channels 3 and 40
    ASSERT_EQ(sim().simvisa_flushEvents(5000), VI_SUCCESS);
    {
        std::lock_guard<std::mutex> g(received.m);
        ASSERT_EQ(received.texts.size(), 1u);
        EXPECT_EQ(received.texts[0], "Change Of State Channel(s): 3,40");
        EXPECT_EQ(received.events[0], 1u);
    }
    const int64_t at = s->streamGetScansWritten(s);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= at + 30; }));
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);

    // The event channel reads 1.0 for exactly its duration around the event.
    TQStreamChannel *ev = s->streamGetChannel(s, "EventChannel1");
    ASSERT_NE(ev, nullptr);
    std::vector<double> values;
    for (;;) {
        TQPiece *pieces = nullptr;
        const int64_t n = r->readerReserveRead(r, &pieces, nullptr, 1 << 20);
        if (n <= 0)
            break;
        for (TQPiece *p = pieces; p->length; ++p)
            for (uint32_t off = 0; off < p->length; off += 32)
                values.push_back(ev->streamChannelEval(ev, static_cast<const uint8_t *>(p->data) + off));
        r->readerCompleteRead(r, n);
    }
    size_t ones = 0, first = values.size(), last = 0;
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i] == 1.0) {
            ++ones;
            first = std::min(first, i);
            last = i;
        }
    EXPECT_EQ(ones, 10u);
    EXPECT_EQ(last - first + 1, ones) << "one window of consecutive scans";
    EXPECT_NEAR(static_cast<double>(first), static_cast<double>(at), 10.0);

    // Polarity 2 reads the window the other way round.
    ASSERT_EQ(tq747_setEventChannelPolarity(vi, 1, 2), VI_SUCCESS);
    r->readerSeek(r, static_cast<int64_t>(first), TQ_WHENCE_OLDEST);
    int64_t count = 0, position = 0;
    void *scan = r->readerPeek(r, &count, &position);
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(ev->streamChannelEval(ev, scan), 0.0);
    r->readerRelease(&r);
    ASSERT_EQ(tq747_uninstallEventHandler(vi, 0, onEvent, &received), VI_SUCCESS);
}

TEST_F(Acquisition747, RecordingHoldsEveryScanWithBitMaskDescriptors)
{
    addCarrier("1,3");
    configure("pattern=counter; pattern.period=10");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 34, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 9, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_setChannelGroupDirection(vi, 2, 1), VI_SUCCESS); // channel 9: an output, not recorded
    ASSERT_EQ(tq747_setScanClockRate(vi, 500.0), VI_SUCCESS);
    const fs::path file = dir_ / "carrier.stm";
    fs::remove(file);
    ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 300; }));
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    const int64_t written = s->streamGetScansWritten(s);
    auto live = readAll(r);
    ASSERT_EQ(s->streamCaptureClose(s), 0);

    const int fd = ACQDOpenFile(file.c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    TQParseContext ctx{};
    ASSERT_EQ(ACQDParse(fd, &ctx), 1);
    ASSERT_EQ(ctx.formType, TQ_FORM_STRM);
    ASSERT_EQ(ctx.u.strm.channelCount, 2);
    EXPECT_STREQ(ctx.u.strm.channels[0].name, "DigitalChannel1");
    EXPECT_EQ(ctx.u.strm.channels[0].kind, TQ_XFRM_BIT16);
    // Each channel: its mask, the offset of its word and the recorded scan size.
    const std::vector<double> first(ctx.u.strm.channels[0].coefficients,
                                    ctx.u.strm.channels[0].coefficients + ctx.u.strm.channels[0].coefficientCount);
    EXPECT_EQ(first, (std::vector<double>{1.0, 0.0, 32.0}));
    EXPECT_STREQ(ctx.u.strm.channels[1].name, "DigitalChannel34");
    const std::vector<double> second(ctx.u.strm.channels[1].coefficients,
                                     ctx.u.strm.channels[1].coefficients + ctx.u.strm.channels[1].coefficientCount);
    EXPECT_EQ(second, (std::vector<double>{2.0, 4.0, 32.0}));
    EXPECT_EQ(ctx.u.strm.rate, 500.0);
    std::vector<uint32_t> data(ctx.u.strm.dataLength / 4);
    ASSERT_EQ(pread(fd, data.data(), ctx.u.strm.dataLength, static_cast<off_t>(ctx.u.strm.dataPosition)),
              static_cast<ssize_t>(ctx.u.strm.dataLength));
    ACQDCloseReadFile(fd);
    for (int i = 0; i < ctx.u.strm.channelCount; ++i)
        StreamCommonFree(ctx.u.strm.channels[i].coefficients);
    StreamCommonFree(ctx.u.strm.channels);

    ASSERT_EQ(data.size(), static_cast<size_t>(written) * 8) << "every scan, whole";
    ASSERT_EQ(live.size(), static_cast<size_t>(written));
    for (size_t i = 0; i < live.size(); ++i)
        ASSERT_EQ(memcmp(live[i].data(), &data[8 * i], 32), 0) << "scan " << i;
    r->readerRelease(&r);
}

TEST_F(Acquisition747, StartRefusesWhatItCannotRun)
{
    addCarrier("1,3");
    ViSession vi = open();
    LineSink lines;
    ASSERT_EQ(tq747_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    EXPECT_EQ(tq747_start(vi), TQ747_ERROR_NO_CHANNELS);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    struct {
        double rate;
        ViInt16 refresh, seconds;
    } const bad[] = {{0.0, 2, 2}, {-10.0, 2, 2}, {100.0, 0, 2}, {100.0, 2, 0}, {100.0, -1, 2}, {1e12, 2, 2}};
    for (const auto &b : bad) {
        ASSERT_EQ(tq747_setScanClockRate(vi, b.rate), VI_SUCCESS);
        ASSERT_EQ(tq747_setRefreshRate(vi, b.refresh), VI_SUCCESS);
        ASSERT_EQ(tq747_setBufferDuration(vi, b.seconds), VI_SUCCESS);
        EXPECT_EQ(tq747_start(vi), VI_ERROR_INV_SETUP) << b.rate << " " << b.refresh << " " << b.seconds;
    }
    // A rate too low for one scan in the buffer still starts, with whole scans.
    ASSERT_EQ(tq747_setScanClockRate(vi, 0.4), VI_SUCCESS);
    ASSERT_EQ(tq747_setRefreshRate(vi, 2), VI_SUCCESS);
    ASSERT_EQ(tq747_setBufferDuration(vi, 2), VI_SUCCESS);
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    EXPECT_EQ(tq747_start(vi), TQ747_WARN_ALREADY_RUNNING);
    ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
    auto taken = lines.take();
    ASSERT_FALSE(taken.empty());
    EXPECT_EQ(taken.back().rfind("[PXI1::15::INSTR]stop:", 0), 0u) << taken.back();
}

TEST_F(Acquisition747, SessionWithoutInstrumentProducesNoScans)
{
    ViSession vi = openWithoutInstrument();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
    tq::platform::sleepMs(200);
    EXPECT_EQ(s->streamGetScansWritten(s), 0);
    EXPECT_EQ(tq747_stop(vi), VI_SUCCESS);
}

// One output write per period, and a period of about one scan or longer:
// trunc(1000 / rate) ms while that is at least 1 ms (1 ms at exactly 1000
// scans/s), the time to the next scan above; rates whose period does not
// fit a wait wait for stop.
TEST_F(Acquisition747, OutputWritesKeepPaceWithTheScans)
{
    addCarrier("");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq747_setDigitalChannelEnable(vi, 1, 1), VI_SUCCESS);
    const double rates[] = {999.0, 1000.0, 1001.0, 5000.0, 1e-20, 5e-324};
    for (double rate : rates) {
        SCOPED_TRACE(rate);
        ASSERT_EQ(tq747_setScanClockRate(vi, rate), VI_SUCCESS);
        clearWrites();
        ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
        tq::platform::sleepMs(300);
        ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
        const int64_t scans = s->streamGetScansWritten(s);
        int64_t outputs = 0;
        for (const SimVisaWrite &w : writes())
            if (w.space == kBar2 && w.offset == 0x00 && w.width == 4)
                ++outputs;
        if (rate >= 1.0)
            ASSERT_GT(scans, 0);
        else
            EXPECT_EQ(scans, 0);
        // The first period writes before any scan is due.
        EXPECT_LE(outputs, scans + scans / 10 + 2) << scans << " scans";
    }
}

// Recordings the driver makes replay their carrier channels at the recorded
// scan size: a carrier alone (its four words), a carrier with modules on
// sites 1 and 3 (the sites' words follow, 32-byte scans), and channels
// renamed so that their masks alone would read as bit numbers.
TEST_F(Acquisition747, RecordingOfTheCarrierReplaysItsChannels)
{
    struct Case {
        const char *what;
        const char *sites;
        std::vector<int> channels;
        bool rename;
        uint16_t scanSize;
    } const cases[] = {
        {"carrier alone", "", {1, 2, 34, 128}, false, 16},
        {"carrier with modules on sites 1 and 3", "1,3", {1, 2, 34, 128}, false, 32},
        {"renamed channels whose masks are 1, 2, 4 and 8", "1,3", {1, 2, 35, 100}, true, 32},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim().simvisa_reset();
        addCarrier(c.sites);
        configure("pattern=counter; pattern.period=10");
        ViSession vi = open();
        TQStream *s = stream(vi);
        for (int ch : c.channels) {
            ASSERT_EQ(tq747_setDigitalChannelEnable(vi, static_cast<ViInt16>(ch), 1), VI_SUCCESS);
            const std::string name = "line" + std::to_string(ch);
            if (c.rename) {
                ASSERT_EQ(tq747_setDigitalChannelName(vi, static_cast<ViInt16>(ch), name.c_str()), VI_SUCCESS);
            }
        }
        ASSERT_EQ(tq747_setScanClockRate(vi, 500.0), VI_SUCCESS);
        const fs::path file = dir_ / "carrier_replay.stm";
        fs::remove(file);
        ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_SUCCESS);
        TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
        ASSERT_EQ(tq747_start(vi), VI_SUCCESS);
        ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 100; }));
        ASSERT_EQ(tq747_stop(vi), VI_SUCCESS);
        auto live = readAll(r, c.scanSize / 4);
        r->readerRelease(&r);
        ASSERT_EQ(s->streamCaptureClose(s), 0);
        close(vi);

        TQStream *replay = nullptr;
        ASSERT_EQ(OpenFileStream(file.c_str(), &replay), 0);
        EXPECT_EQ(replay->streamGetScanSize(replay), c.scanSize);
        ASSERT_EQ(replay->streamGetScansWritten(replay), static_cast<int64_t>(live.size()));
        TQReader *rr = replay->streamNewReader(replay, 0, TQ_WHENCE_OLDEST);
        ASSERT_NE(rr, nullptr);
        size_t ones = 0;
        for (size_t k = 0; k < live.size(); ++k) {
            uint32_t scan[8];
            ASSERT_EQ(rr->readerRead(rr, scan, 1), 1);
            ASSERT_EQ(memcmp(scan, live[k].data(), c.scanSize), 0) << "scan " << k << " as recorded";
            for (size_t i = 0; i < c.channels.size(); ++i) {
                const int n = c.channels[i];
                const double want = (live[k][(n - 1) / 32] >> ((n - 1) % 32)) & 1u ? 1.0 : 0.0;
                TQStreamChannel *ch = replay->streamGetChannelByIndex(replay, static_cast<int32_t>(i));
                ASSERT_NE(ch, nullptr);
                ASSERT_EQ(ch->streamChannelEval(ch, scan), want) << "scan " << k << " channel " << n;
                ones += want == 1.0;
            }
        }
        EXPECT_GT(ones, 0u) << "the inputs changed while recording";
        rr->readerRelease(&rr);
        replay->streamRelease(&replay);
    }
}

} // namespace
