// The model 726 output thread end to end on the simulated board: the test
// plays the formula engine's refill (reserveWrite, setEval per scan and
// channel, completeWrite) and reads the played waveform from the board's
// time-stamped output log.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <thread>

#include "drivertest/stoppers.h"
#include "fixture726.h"
#include "tq/platform/thread.h"

namespace
{

using namespace tq726test;

// A voltage whose code is exactly c.
double codeVolts(uint16_t c)
{
    return -10.0 + (c + 0.5) * 20.0 / 65536.0;
}

class Output726 : public Board726Test
{
  protected:
    void SetUp() override
    {
        Board726Test::SetUp();
        addBoard();
        vi_ = open();
        s_ = stream(vi_);
        ASSERT_EQ(tq726_registerStreamMsg(vi_, sink_.get()), VI_SUCCESS);
    }
    void TearDown() override
    {
        tq726_registerStreamMsg(vi_, nullptr);
        Board726Test::TearDown();
    }

    TQStreamChannel *channel(int c) { return s_->streamGetOutputChannel(s_, ("Channel" + std::to_string(c)).c_str()); }
    void enable(int c, int syncType)
    {
        ASSERT_EQ(tq726_setChannelEnable(vi_, static_cast<ViInt16>(c), 1), VI_SUCCESS);
        channel(c)->streamChannelSetOutputSyncType(channel(c), syncType);
    }
    // One refill: scans scans of the asynchronous channels, channel k's code
    // in scan i being base[k] + i.
    void refill(const std::vector<int> &async, const std::vector<uint16_t> &base, int64_t scans)
    {
        int64_t granted = 0;
        TQPiece *pieces = nullptr;
        ASSERT_EQ(s_->streamReserveWrite(s_, scans, &granted, &pieces), scans);
        ASSERT_EQ(granted, scans);
        const uint16_t size = s_->streamGetOutputScanSize(s_);
        auto *bytes = static_cast<unsigned char *>(pieces[0].data);
        for (int64_t i = 0; i < scans; ++i)
            for (size_t k = 0; k < async.size(); ++k)
                channel(async[k])->streamChannelSetEval(
                    channel(async[k]), codeVolts(static_cast<uint16_t>(base[k] + i)), bytes + i * size);
        ASSERT_EQ(s_->streamCompleteWrite(s_, scans), scans);
    }
    // Waits (10 s at most) until a frame written after the call satisfies pred.
    bool waitForFrame(int n, const std::function<bool(const Frame &)> &pred)
    {
        clearOutputs();
        const uint64_t end = tq::platform::tickMs() + 10000;
        while (tq::platform::tickMs() < end) {
            for (const Frame &f : frames(n))
                if (pred(f))
                    return true;
            tq::platform::sleepMs(5);
        }
        return false;
    }

    ViSession vi_ = VI_NULL;
    TQStream *s_ = nullptr;
    LineSink sink_;
};

TEST_F(Output726, AStaticChannelFollowsSetEval)
{
    enable(1, 0); // type 0 counts as static
    enable(3, 2);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 200.0), VI_SUCCESS);
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    for (double volts : {5.0, -5.0, 12.0}) {
        channel(1)->streamChannelSetEval(channel(1), volts, nullptr);
        channel(3)->streamChannelSetEval(channel(3), -volts, nullptr);
        const uint16_t want1 = volts >= 10 ? 0xFFFF : static_cast<uint16_t>((volts + 10) / 20 * 65536);
        const uint16_t want3 = volts >= 10 ? 0 : static_cast<uint16_t>((-volts + 10) / 20 * 65536);
        EXPECT_TRUE(waitForFrame(16, [&](const Frame &f) { return f.codes[0] == want1 && f.codes[2] == want3; }))
            << volts;
    }
    // Disabled channels hold 0 V in every frame.
    for (const Frame &f : frames(16))
        for (int c : {2, 4, 16})
            EXPECT_EQ(f.codes[c - 1], 0x8000);
    EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
}

// With static channels alone the thread writes a frame when a code, an
// enable, a type or a direct write changed what the board must hold (and a
// keep-alive about once a second), not every period; the board holds what
// a write every period would have put there. An asynchronous channel brings
// back a frame every period.
TEST_F(Output726, StaticChannelsAloneAreWrittenWhenTheyChange)
{
    constexpr double kRate = 500.0;
    enable(1, 2);
    enable(2, 0);
    channel(1)->streamChannelSetEval(channel(1), codeVolts(0x1111), nullptr);
    channel(2)->streamChannelSetEval(channel(2), codeVolts(0x2222), nullptr);
    channel(3)->streamChannelSetEval(channel(3), codeVolts(0x3333), nullptr); // kept while disabled
    ASSERT_EQ(tq726_setOutputScanRate(vi_, kRate), VI_SUCCESS);
    clearOutputs();
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    const auto holds = [&](std::vector<uint16_t> want) {
        return waitForFrame(16, [&](const Frame &f) {
                   return std::equal(want.begin(), want.end(), f.codes.begin());
               }) ||
               (code(1) == want[0] && code(2) == want[1] && code(3) == want[2]);
    };
    const auto onBoard = [&](std::vector<uint16_t> want) {
        const uint64_t end = tq::platform::tickMs() + 10000;
        while (tq::platform::tickMs() < end) {
            if (code(1) == want[0] && code(2) == want[1] && code(3) == want[2])
                return true;
            tq::platform::sleepMs(2);
        }
        return false;
    };
    ASSERT_TRUE(onBoard({0x1111, 0x2222, 0x8000}));

    // Nothing changes: a frame at most per keep-alive, however often the
    // formula engine hands the same value on.
    clearOutputs();
    const uint64_t t0 = tq::platform::tickUs();
    for (int i = 0; i < 200; ++i) {
        channel(1)->streamChannelSetEval(channel(1), codeVolts(0x1111), nullptr);
        tq::platform::sleepMs(2);
    }
    const double seconds = static_cast<double>(tq::platform::tickUs() - t0) / 1e6;
    const size_t idle = frames(16).size();
    EXPECT_LE(static_cast<double>(idle), seconds + 2) << "frames in " << seconds << " s of unchanged outputs";
    EXPECT_LT(static_cast<double>(idle), kRate * seconds / 10) << "a frame every period";

    // Each change reaches the board, and every frame written holds what the
    // outputs were set to.
    channel(1)->streamChannelSetEval(channel(1), codeVolts(0x4444), nullptr);
    EXPECT_TRUE(holds({0x4444, 0x2222, 0x8000})) << "a static code";
    ASSERT_EQ(tq726_setChannelEnable(vi_, 3, 1), VI_SUCCESS);
    EXPECT_TRUE(holds({0x4444, 0x2222, 0x3333})) << "an enable";
    ASSERT_EQ(tq726_setChannelEnable(vi_, 2, 0), VI_SUCCESS);
    EXPECT_TRUE(holds({0x4444, 0x8000, 0x3333})) << "a disable";
    // A direct write lasts until the thread's next period, as before.
    ASSERT_EQ(tq726_set_single_chan_voltage(vi_, 1, codeVolts(0x5555)), VI_SUCCESS);
    EXPECT_TRUE(onBoard({0x4444, 0x8000, 0x3333})) << "a direct write overwritten";
    for (const Frame &f : frames(16))
        for (int c = 4; c <= 16; ++c)
            ASSERT_EQ(f.codes[c - 1], 0x8000);

    // An asynchronous channel plays every period again.
    enable(2, 1);
    refill({2}, {1000}, 10);
    clearOutputs();
    const uint64_t end = tq::platform::tickMs() + 10000;
    std::vector<Frame> played;
    while (played.size() < 50 && tq::platform::tickMs() < end) {
        tq::platform::sleepMs(20);
        played = frames(16);
    }
    EXPECT_GE(played.size(), 50u);
    ASSERT_EQ(tq726_stop(vi_), VI_SUCCESS);
    played = frames(16);
    ASSERT_FALSE(played.empty());
    EXPECT_EQ(played.back().codes[0], 0x4444);
    EXPECT_GE(played.back().codes[1], 1000);
    EXPECT_LT(played.back().codes[1], 1010);
}

// The committed ramp plays cyclically: every frame holds one scan of the
// block (both asynchronous columns of the same scan), the scan follows the
// time since the start at the output rate, and the block wraps.
TEST_F(Output726, AsynchronousChannelsPlayTheCommittedBlockCyclically)
{
    constexpr double kRate = 200.0;
    constexpr int64_t kScans = 20;
    enable(1, 1);
    enable(2, 1);
    enable(3, 2);
    channel(3)->streamChannelSetEval(channel(3), codeVolts(0x1234), nullptr);
    refill({1, 2}, {1000, 2000}, kScans);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, kRate), VI_SUCCESS);
    clearOutputs();
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    // At least 150 frames (three quarters of a second at the rate; longer
    // on a loaded machine).
    const uint64_t end = tq::platform::tickMs() + 10000;
    std::vector<Frame> played;
    do {
        tq::platform::sleepMs(100);
        played = frames(16);
    } while (played.size() < 150 && tq::platform::tickMs() < end);
    ASSERT_EQ(tq726_stop(vi_), VI_SUCCESS);
    played = frames(16);
    ASSERT_GE(played.size(), 150u);
    // Never more than one frame per period.
    const double span = static_cast<double>(played.back().timeUs - played.front().timeUs) / 1e6;
    EXPECT_LE(static_cast<double>(played.size()), kRate * span * 1.1 + 5);
    const uint64_t t0 = played.front().timeUs;
    std::set<int> seen;
    int wraps = 0, late = 0;
    for (size_t k = 0; k < played.size(); ++k) {
        const Frame &f = played[k];
        const int index = f.codes[0] - 1000;
        ASSERT_GE(index, 0);
        ASSERT_LT(index, kScans);
        ASSERT_EQ(f.codes[1], 2000 + index) << "frame " << k; // one scan of one block
        ASSERT_EQ(f.codes[2], 0x1234);
        seen.insert(index);
        const auto expected = static_cast<int64_t>(std::floor(kRate * static_cast<double>(f.timeUs - t0) / 1e6));
        const int64_t off = ((index - expected) % kScans + kScans) % kScans;
        if (off != 0 && off != 1 && off != kScans - 1)
            ++late;
        if (k > 0 && index < played[k - 1].codes[0] - 1000)
            ++wraps;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kScans));
    EXPECT_GE(wraps, 3);
    // The scan follows the clock (a frame written late on a busy machine may
    // be off; most are not, while a thread that counted frames instead would
    // drift away from the clock for good).
    EXPECT_LE(late, static_cast<int>(played.size() / 4));
}

TEST_F(Output726, ABlockOfAnotherSizeMidRun)
{
    enable(1, 1);
    enable(2, 1);
    refill({1, 2}, {1000, 2000}, 20);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 300.0), VI_SUCCESS);
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    ASSERT_TRUE(waitForFrame(16, [](const Frame &f) { return f.codes[0] >= 1000 && f.codes[0] < 1020; }));
    // A shorter block: from the first frame that plays it on, every frame
    // holds one of its seven scans, never one of the old block's.
    refill({1, 2}, {3000, 4000}, 7);
    ASSERT_TRUE(waitForFrame(16, [](const Frame &f) { return f.codes[0] >= 3000; }));
    clearOutputs();
    std::vector<Frame> later;
    for (int i = 0; i < 100 && later.size() < 20; ++i) {
        tq::platform::sleepMs(100);
        later = frames(16);
    }
    ASSERT_GE(later.size(), 20u);
    for (const Frame &f : later) {
        ASSERT_GE(f.codes[0], 3000);
        ASSERT_LT(f.codes[0], 3007);
        ASSERT_EQ(f.codes[1], f.codes[0] + 1000);
    }
    // A further asynchronous channel: the block no longer fits the layout,
    // the asynchronous channels hold 0 V until a block for the new layout.
    enable(4, 1);
    EXPECT_TRUE(waitForFrame(
        16, [](const Frame &f) { return f.codes[0] == 0x8000 && f.codes[1] == 0x8000 && f.codes[3] == 0x8000; }));
    refill({1, 2, 4}, {5000, 6000, 7000}, 40);
    EXPECT_TRUE(waitForFrame(16, [](const Frame &f) {
        return f.codes[0] >= 5000 && f.codes[0] < 5040 && f.codes[1] == f.codes[0] + 1000 &&
               f.codes[3] == f.codes[0] + 2000;
    }));
    EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
}

TEST_F(Output726, StartBeforeAnyCommit)
{
    enable(1, 1);
    enable(2, 0);
    channel(2)->streamChannelSetEval(channel(2), codeVolts(0x2222), nullptr);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 500.0), VI_SUCCESS);
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    // No block yet: the asynchronous channel holds 0 V, the static one its code.
    EXPECT_TRUE(waitForFrame(16, [](const Frame &f) { return f.codes[0] == 0x8000 && f.codes[1] == 0x2222; }));
    refill({1}, {100}, 5);
    EXPECT_TRUE(waitForFrame(16, [](const Frame &f) { return f.codes[0] >= 100 && f.codes[0] < 105; }));
    EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
}

TEST_F(Output726, StartRefusesAndReports)
{
    char instrument[256] = "";
    ASSERT_EQ(tq726_getInstrumentName(vi_, instrument), VI_SUCCESS);
    const std::string head = "[" + std::string(instrument) + "]";
    EXPECT_EQ(tq726_start(vi_), TQ726_ERROR_NO_CHANNELS);
    EXPECT_EQ(sink_.take(), std::vector<std::string>{head + "start:Operation failed because no channels are enabled."});
    enable(1, 2);
    // Rates the thread cannot schedule, as crossCheck refuses them.
    for (double rate : {0.0, -1.0, 0.25, 1000.0, 5000.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()}) {
        ASSERT_EQ(tq726_setOutputScanRate(vi_, rate), VI_SUCCESS);
        EXPECT_EQ(tq726_start(vi_), VI_ERROR_INV_SETUP) << rate;
    }
    EXPECT_EQ(sink_.take().size(), 7u);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 999.0), VI_SUCCESS);
    EXPECT_EQ(tq726_start(vi_), VI_SUCCESS);
    EXPECT_EQ(tq726_start(vi_), TQ726_WARN_ALREADY_RUNNING);
    EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
    const std::vector<std::string> lines = sink_.take();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], head + "start:Device already Running.");
    EXPECT_EQ(lines[2].rfind(head + "stop:", 0), 0u);
    EXPECT_EQ(tq726_start(0x7777), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tq726_stop(0x7777), VI_ERROR_INV_OBJECT);
    // By name, as the resource manager runs it.
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq726_getPnPHandle("", &h), VI_SUCCESS);
    EXPECT_EQ(h->doOperation(h->session, "start", ""), TQ726_ERROR_NO_CHANNELS);
    h->release(&h);
}

TEST_F(Output726, CloseStopsARunningThread)
{
    enable(1, 1);
    enable(2, 2);
    refill({1}, {10}, 50);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 900.0), VI_SUCCESS);
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    ASSERT_TRUE(waitForFrame(16, [](const Frame &f) { return f.codes[0] >= 10 && f.codes[0] < 60; }));
    tq726_registerStreamMsg(vi_, nullptr);
    close(vi_);
    // Nothing is written any more once close returned.
    clearOutputs();
    tq::platform::sleepMs(50);
    EXPECT_TRUE(outputs().empty());
}

// The output thread, a refill thread and a thread that changes channel
// enables and static values, then stops and starts, all at once.
TEST_F(Output726, ThreadsMeetInTheSession)
{
    for (int c = 1; c <= 4; ++c)
        enable(c, 1);
    for (int c = 5; c <= 8; ++c)
        enable(c, 2);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 900.0), VI_SUCCESS);
    ASSERT_EQ(tq726_start(vi_), VI_SUCCESS);
    std::atomic<bool> done{false};
    std::atomic<int> refills{0};
    std::thread refiller([&] {
        int round = 0;
        while (!done.load()) {
            const int64_t scans = 1 + (round++ % 37);
            int64_t granted = 0;
            TQPiece *pieces = nullptr;
            const int64_t got = s_->streamReserveWrite(s_, scans, &granted, &pieces);
            if (got > 0) {
                const uint32_t size = pieces[0].length / static_cast<uint32_t>(got);
                for (int64_t i = 0; i < got; ++i)
                    for (int c = 1; c <= 4; ++c)
                        channel(c)->streamChannelSetEval(channel(c), 0.01 * static_cast<double>(i),
                                                         static_cast<unsigned char *>(pieces[0].data) + i * size);
                s_->streamCompleteWrite(s_, got);
                refills.fetch_add(1);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    for (int round = 0; round < 200; ++round) {
        const int c = 1 + round % 8;
        EXPECT_EQ(tq726_setChannelEnable(vi_, static_cast<ViInt16>(c), static_cast<ViInt16>(round / 8 % 2)),
                  VI_SUCCESS);
        channel(5)->streamChannelSetEval(channel(5), 0.001 * round, nullptr);
        if (round % 50 == 45) { // some channel is enabled then
            EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
            EXPECT_EQ(tq726_start(vi_), VI_SUCCESS) << round;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    done = true;
    refiller.join();
    EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
    EXPECT_GT(refills.load(), 0);
    EXPECT_FALSE(frames(16).empty());
}

// Two threads stopping, or stopping and resetting, one running session.
TEST_F(Output726, TwoThreadsEndingOneRunningSession)
{
    enable(1, 2);
    ASSERT_EQ(tq726_setOutputScanRate(vi_, 500.0), VI_SUCCESS);
    // A reset leaves no channel enabled: every start enables one.
    auto start = [this] {
        const ViStatus status = tq726_setChannelEnable(vi_, 1, 1);
        return status < VI_SUCCESS ? status : tq726_start(vi_);
    };
    auto stop = [this] { return tq726_stop(vi_); };
    auto reset = [this] { return tq726_reset(vi_); };
    tq::test::raceStopsAndResets(start, stop, reset);
    EXPECT_EQ(tq726_stop(vi_), VI_SUCCESS);
}

} // namespace
