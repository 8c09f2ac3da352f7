// Model 775 acquisition end to end on the simulated board: one scan per
// window with fresh readings and copies, the capture, start and stop with
// their messages, what running refuses, and the overflow event.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drivertest/scans.h"
#include "drivertest/scratch.h"
#include "fixture775.h"
#include "tqstream.h"

namespace
{

using namespace tq775test;
namespace fs = std::filesystem;

class Acquisition775 : public CounterTest
{
  protected:
    void SetUp() override
    {
        CounterTest::SetUp();
        dir_ = tq::test::scratchDirectory("tq775_acquisition");
    }

    // Every scan available to the reader, copied.
    static std::vector<std::vector<uint32_t>> readAll(TQReader *r, size_t words)
    {
        return tq::test::readAllScans(r, words);
    }

    fs::path dir_;
};

TEST_F(Acquisition775, OneScanPerWindowFreshOrCopiedAndCaptured)
{
    addCounter("freq2=1000; freq7=25000");
    ViSession vi = open();
    TQStream *s = stream(vi);
    ASSERT_EQ(tq775_setObservationWindowSize(vi, 5), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 7, 1), VI_SUCCESS);
    const fs::path file = dir_ / "counter.stm";
    fs::remove(file);
    ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_SUCCESS);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    const uint64_t started = tq::platform::tickMs();
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 150; }));
    configure("freq2=2000");
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 300; }));
    ASSERT_EQ(tq775_stop(vi), VI_SUCCESS);
    const uint64_t elapsedWindows = (tq::platform::tickMs() - started) / 5;
    const int64_t written = s->streamGetScansWritten(s);
    // The windows the thread saw end, less the first (the thread's own
    // start) and at most a few it had not yet written when stopped.
    EXPECT_LE(written, static_cast<int64_t>(elapsedWindows));
    EXPECT_GE(written + 40, static_cast<int64_t>(elapsedWindows)) << "a scan for every elapsed window";
    auto live = readAll(r, 4);
    ASSERT_EQ(static_cast<int64_t>(live.size()), written);
    bool sawNew = false;
    for (size_t i = 0; i < live.size(); ++i) {
        const auto &scan = live[i];
        // Channel 2 counts 5 events per window, 10 after the change.
        const bool old = scan[0] >= 4 && scan[0] <= 6, fresh = scan[0] >= 9 && scan[0] <= 11;
        ASSERT_TRUE(old || fresh) << "scan " << i << " count " << scan[0];
        if (fresh)
            sawNew = true;
        else
            ASSERT_FALSE(sawNew) << "scan " << i << ": an old reading after the new one";
        EXPECT_EQ(scan[1], 50000u) << "scan " << i;
        EXPECT_GE(scan[2], 124u) << "scan " << i;
        EXPECT_LE(scan[2], 126u) << "scan " << i;
        EXPECT_EQ(scan[3], 50000u) << "scan " << i;
    }
    EXPECT_TRUE(sawNew);
    TQStreamChannel *two = s->streamGetChannel(s, "Channel2");
    EXPECT_NEAR(two->streamChannelEval(two, live.back().data()), 2000.0, 200.0);
    ASSERT_EQ(s->streamCaptureClose(s), 0);

    const int fd = ACQDOpenFile(file.c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    TQParseContext ctx{};
    ASSERT_EQ(ACQDParse(fd, &ctx), 1);
    ASSERT_EQ(ctx.formType, TQ_FORM_ST64);
    ASSERT_EQ(ctx.u.st64.channelCount, 2);
    EXPECT_STREQ(ctx.u.st64.channels[0].name, "Channel2");
    EXPECT_STREQ(ctx.u.st64.channels[1].name, "Channel7");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ctx.u.st64.channels[i].kind, TQ_XFRM_FREQUENCY);
        ASSERT_EQ(ctx.u.st64.channels[i].coefficientCount, 2);
        EXPECT_EQ(ctx.u.st64.channels[i].coefficients[0], 0.0);
        EXPECT_EQ(ctx.u.st64.channels[i].coefficients[1], 10000000.0);
    }
    EXPECT_EQ(ctx.u.st64.rate, 200.0);
    std::vector<uint32_t> data(ctx.u.st64.dataLength / 4);
    ASSERT_EQ(pread(fd, data.data(), ctx.u.st64.dataLength, static_cast<off_t>(ctx.u.st64.dataPosition)),
              static_cast<ssize_t>(ctx.u.st64.dataLength));
    ACQDCloseReadFile(fd);
    for (int i = 0; i < ctx.u.st64.channelCount; ++i)
        StreamCommonFree(ctx.u.st64.channels[i].coefficients);
    StreamCommonFree(ctx.u.st64.channels);
    ASSERT_EQ(data.size(), live.size() * 4) << "every scan, whole";
    for (size_t i = 0; i < live.size(); ++i)
        ASSERT_EQ(memcmp(live[i].data(), &data[4 * i], 16), 0) << "scan " << i;
    r->readerRelease(&r);
}

TEST_F(Acquisition775, RunningRefusesLayoutChangesAndReportsItsState)
{
    addCounter("freq1=100");
    ViSession vi = open();
    TQStream *s = stream(vi);
    LineSink lines;
    ASSERT_EQ(tq775_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    EXPECT_EQ(tq775_start(vi), TQ775_ERROR_NO_CHANNELS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);
    EXPECT_NE(reg(0x00) & (1u << 11), 0u) << "continuous scan on";
    EXPECT_EQ(tq775_start(vi), TQ775_WARN_ALREADY_RUNNING);
    // The thread writes scans of the layout it started with.
    EXPECT_EQ(tq775_setChannelEnable(vi, 3, 1), TQ775_ERROR_RUNNING);
    EXPECT_EQ(tq775_setChannelEnable(vi, 0, 0), TQ775_ERROR_RUNNING);
    EXPECT_EQ(tq775_setChannelEnable(vi, 1, 1), VI_SUCCESS) << "the state it has already";
    EXPECT_EQ(tq775_setObservationWindowSize(vi, 7), TQ775_ERROR_RUNNING);
    EXPECT_EQ(s->streamGetScanSize(s), 8);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 5; }));
    ASSERT_EQ(tq775_stop(vi), VI_SUCCESS);
    EXPECT_EQ(reg(0x00) & (1u << 11), 0u) << "continuous scan off";
    EXPECT_EQ(tq775_stop(vi), VI_SUCCESS) << "stopping a stopped session";
    const auto taken = lines.take();
    const std::vector<std::string> expected = {
        "[PXI2::11::INSTR]start:Operation failed because no channels are enabled.",
        "[PXI2::11::INSTR]start:",
        "[PXI2::11::INSTR]start:Device already Running.",
        "[PXI2::11::INSTR]stop:",
        "[PXI2::11::INSTR]stop:",
    };
    ASSERT_EQ(taken.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(taken[i].rfind(expected[i], 0), 0u) << taken[i];
    char text[256] = {};
    ASSERT_EQ(tq775_error_message(vi, TQ775_ERROR_RUNNING, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Operation failed because device is running.");
    // Closing a running session stops its thread first.
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);
    close(vi);
}

struct Received {
    std::mutex lock;
    std::vector<std::string> texts;
};

ViStatus clearing(ViConstString, ViUInt32 events, void *user, ViUInt32 *clear, ViChar *message)
{
    auto *r = static_cast<Received *>(user);
    std::lock_guard<std::mutex> g(r->lock);
    r->texts.emplace_back(message ? message : "");
    if (clear)
        *clear = events;
    return VI_SUCCESS;
}

TEST_F(Acquisition775, OverflowReachesEveryHandlerAndWaiter)
{
    addCounter("freq1=100");
    ViSession vi = open();
    ASSERT_EQ(tq775_setObservationWindowSize(vi, 10), VI_SUCCESS);
    ASSERT_EQ(tq775_setChannelEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setInterruptEnable(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tq775_setInterruptMask(vi, 0x12), VI_SUCCESS); // channels 2 and 5
    Received first, second;
    char m1[256] = {}, m2[256] = {};
    ASSERT_EQ(tq775_installEventHandler(vi, 1, clearing, &first, m1), VI_SUCCESS);
    ASSERT_EQ(tq775_installEventHandler(vi, 0x8, clearing, &second, m2), VI_SUCCESS);
    ASSERT_EQ(tq775_start(vi), VI_SUCCESS);

    std::atomic<int> woken{0};
    std::vector<std::string> waitTexts(2);
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&, i] {
            char text[256] = {};
            ViUInt32 status = 0;
            if (tq775_wait(vi, 1, 60000, &status, text) == VI_SUCCESS && status == 1) {
                waitTexts[i] = text;
                woken.fetch_add(1);
            }
        });
    tq::platform::sleepMs(200); // the waiters are inside wait
    configure("freq2=30000000; freq5=30000000");
    for (std::thread &t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 2) << "each waiter woken once";
    ASSERT_EQ(tq775_stop(vi), VI_SUCCESS);
    ASSERT_EQ(sim().simvisa_flushEvents(5000), VI_SUCCESS);
    for (Received *r : {&first, &second}) {
        std::lock_guard<std::mutex> g(r->lock);
        ASSERT_FALSE(r->texts.empty());
        EXPECT_EQ(r->texts.front(), "Overflow Channels: 2,5");
    }
    for (const std::string &t : waitTexts)
        EXPECT_EQ(t, "Overflow Channels: 2,5");
    // The handlers asked to clear: the flags went with a write of 0xFF.
    std::vector<SimVisaWrite> log(16384);
    ViUInt32 n = 0;
    ASSERT_EQ(sim().simvisa_getWriteLog(kCounter, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
    bool cleared = false;
    for (ViUInt32 i = 0; i < n; ++i)
        cleared = cleared || (log[i].space == kBar2 && log[i].offset == 0x14 && log[i].value == 0xFF);
    EXPECT_TRUE(cleared);
    // The status query without overflow leaves the message alone.
    configure("freq2=10; freq5=10");
    tq775_clearCountStatus(vi, 1, 1, 1, 8);
    char untouched[256] = "unchanged";
    ViUInt16 status = 9;
    ASSERT_EQ(tq775_getEventStatus(vi, 1, &status, 1, untouched), VI_SUCCESS);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(untouched, "unchanged");
    EXPECT_EQ(tq775_getEventStatus(vi, 2, &status, 0, untouched), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq775_uninstallEventHandler(vi, 0, clearing, &untouched), VI_SUCCESS);
}

} // namespace
