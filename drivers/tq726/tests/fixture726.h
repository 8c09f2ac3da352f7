// What the model 726 tests share: the simulated VISA library laid out where
// the driver looks for it, simulated 726 boards with their write and output
// logs, and a status-line sink that the tests read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq726.h"

namespace tq726test
{

inline tq::test::SimVisa &sim()
{
    static tq::test::SimVisa s;
    return s;
}

constexpr const char *kBoard = "PXI1::12::INSTR";
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE;
// Board flags: 16 channels, reset confirm, current outputs.
constexpr ViUInt32 kFlags16 = 0x500;

inline void prepareVisa()
{
    static bool done = false;
    if (done)
        return;
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    ViSession vi = VI_NULL;
    ASSERT_EQ(tq726_init(nullptr, 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(tq726_close(vi), VI_SUCCESS);
    ASSERT_TRUE(sim().load());
    done = true;
}

inline std::string boardSettings(ViUInt32 flags, const std::string &extra = "")
{
    char text[64];
    snprintf(text, sizeof text, "flags=0x%x", flags);
    return "board=tq726; manf=0x3c5a; model=0x726; " + std::string(text) + (extra.empty() ? "" : "; " + extra);
}

// A sink for status lines: a message queue of the stream library.
class LineSink
{
  public:
    LineSink() { StreamMsgCommonCreate(1 << 16, &queue_); }
    ~LineSink()
    {
        if (queue_)
            queue_->streamMsgRelease(&queue_);
    }
    TQStreamMsg *get() const { return queue_; }
    std::vector<std::string> take()
    {
        std::vector<std::string> lines;
        char buffer[1024];
        uint32_t length = 0;
        queue_->streamMsgLock(queue_, 1000);
        while (queue_->streamMsgRead(queue_, buffer, sizeof buffer, &length) != 2)
            lines.emplace_back(buffer);
        queue_->streamMsgUnlock(queue_);
        return lines;
    }

  private:
    TQStreamMsg *queue_ = nullptr;
};

// One frame of the output thread in the board's log: the codes of channels
// 1 to n written by one block write, and its time.
struct Frame {
    uint64_t timeUs = 0;
    std::vector<uint16_t> codes;
};

class Board726Test : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { prepareVisa(); }
    void SetUp() override { sim().simvisa_reset(); }
    void TearDown() override
    {
        for (ViSession vi : open_)
            tq726_close(vi);
        EXPECT_EQ(sim().simvisa_openSessionCount(), 0u) << "VISA sessions left open";
        sim().simvisa_reset();
    }

    void addBoard(ViUInt32 flags = kFlags16, const std::string &extra = "")
    {
        ASSERT_EQ(sim().simvisa_addInstrument(kBoard, boardSettings(flags, extra).c_str()), VI_SUCCESS);
    }
    ViSession open(ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        EXPECT_GE(tq726_init(const_cast<ViRsrc>(kBoard), 0, reset, &vi), VI_SUCCESS);
        open_.push_back(vi);
        return vi;
    }
    ViSession openWithoutInstrument()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq726_init(nullptr, 0, 0, &vi), VI_SUCCESS);
        open_.push_back(vi);
        return vi;
    }
    void close(ViSession vi)
    {
        std::erase(open_, vi);
        EXPECT_GE(tq726_close(vi), VI_SUCCESS);
    }

    // The output code register of channel c, behind the driver's back.
    uint16_t code(int c)
    {
        ViUInt32 v = 0;
        EXPECT_EQ(sim().simvisa_readRegister(kBoard, kBar2, 2 * (c - 1), 2, &v), VI_SUCCESS);
        return static_cast<uint16_t>(v);
    }
    void setCode(int c, uint16_t value)
    {
        ASSERT_EQ(sim().simvisa_writeRegister(kBoard, kBar2, 2 * (c - 1), 2, value), VI_SUCCESS);
    }

    std::vector<SimVisaOutput> outputs()
    {
        std::vector<SimVisaOutput> log(131072);
        ViUInt32 n = 0;
        EXPECT_EQ(sim().simvisa_getOutputLog(kBoard, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    void clearOutputs() { ASSERT_EQ(sim().simvisa_clearOutputLog(kBoard), VI_SUCCESS); }

    // The output log cut into frames of channels 1 to n (a block write of
    // every channel, timed by its first write); entries that do not form a
    // whole frame are skipped.
    std::vector<Frame> frames(int n)
    {
        std::vector<Frame> out;
        const std::vector<SimVisaOutput> log = outputs();
        for (size_t i = 0; i + n <= log.size();) {
            bool whole = true;
            for (int k = 0; k < n && whole; ++k)
                whole = log[i + k].channel == k + 1;
            if (!whole) {
                ++i;
                continue;
            }
            Frame f;
            f.timeUs = log[i].timeUs;
            for (int k = 0; k < n; ++k)
                f.codes.push_back(log[i + k].code);
            out.push_back(std::move(f));
            i += n;
        }
        return out;
    }

    std::vector<SimVisaWrite> writes()
    {
        std::vector<SimVisaWrite> log(4096);
        ViUInt32 n = 0;
        EXPECT_EQ(sim().simvisa_getWriteLog(kBoard, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    void clearWrites() { ASSERT_EQ(sim().simvisa_clearWriteLog(kBoard), VI_SUCCESS); }

    TQStream *stream(ViSession vi)
    {
        TQStream *s = nullptr;
        EXPECT_EQ(tq726_getStream(vi, "ao", &s), VI_SUCCESS);
        return s;
    }

    std::vector<ViSession> open_;
};

} // namespace tq726test
