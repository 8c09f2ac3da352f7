// What the model 747 tests share: the simulated VISA library laid out where
// the driver looks for it, a simulated carrier with model 740 modules on
// sites 1 and 3, the write log, registers behind the driver's back and a
// status-line sink.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq/platform/thread.h"
#include "tq740.h"
#include "tq747.h"

namespace tq747test
{

inline tq::test::SimVisa &sim()
{
    static tq::test::SimVisa s;
    return s;
}

constexpr const char *kCarrier = "PXI1::15::INSTR";
constexpr ViUInt16 kBar0 = VI_PXI_BAR0_SPACE;
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE;

inline void prepareVisa()
{
    static bool done = false;
    if (done)
        return;
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    ViSession vi = VI_NULL;
    ASSERT_EQ(tq747_init(nullptr, 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(tq747_close(vi), VI_SUCCESS);
    ASSERT_TRUE(sim().load());
    done = true;
}

// A carrier with model 740 modules on the given sites.
inline std::string carrierSettings(const std::string &sites = "1,3", const std::string &extra = "")
{
    std::string s = "board=tq747; manf=0x3c5a; model=0x747";
    for (char c : sites)
        if (c >= '1' && c <= '4')
            s += std::string("; site") + c + "=tq740";
    return extra.empty() ? s : s + "; " + extra;
}

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

inline std::ostream &operator<<(std::ostream &o, const SimVisaWrite &w)
{
    return o << "{space " << w.space << ", offset 0x" << std::hex << w.offset << ", value 0x" << w.value << std::dec
             << ", width " << w.width << "}";
}

class CarrierTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { prepareVisa(); }
    void SetUp() override { sim().simvisa_reset(); }
    void TearDown() override
    {
        for (ViSession vi : open_)
            tq747_close(vi);
        open_.clear();
        EXPECT_EQ(sim().simvisa_openSessionCount(), 0u) << "VISA sessions left open";
        sim().simvisa_reset();
    }

    void addCarrier(const std::string &sites = "1,3", const std::string &extra = "")
    {
        ASSERT_EQ(sim().simvisa_addInstrument(kCarrier, carrierSettings(sites, extra).c_str()), VI_SUCCESS);
    }
    ViSession open(ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        EXPECT_GE(tq747_init(const_cast<ViRsrc>(kCarrier), 0, reset, &vi), VI_SUCCESS);
        if (vi)
            open_.push_back(vi);
        return vi;
    }
    ViSession openWithoutInstrument()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq747_init(nullptr, 0, 0, &vi), VI_SUCCESS);
        open_.push_back(vi);
        return vi;
    }
    void close(ViSession vi)
    {
        std::erase(open_, vi);
        EXPECT_GE(tq747_close(vi), VI_SUCCESS);
    }
    void configure(const std::string &settings)
    {
        ASSERT_EQ(sim().simvisa_configureBoard(kCarrier, settings.c_str()), VI_SUCCESS) << settings;
    }

    std::vector<SimVisaWrite> writes()
    {
        std::vector<SimVisaWrite> log(16384);
        ViUInt32 n = 0;
        EXPECT_EQ(sim().simvisa_getWriteLog(kCarrier, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    void clearWrites() { ASSERT_EQ(sim().simvisa_clearWriteLog(kCarrier), VI_SUCCESS); }

    ViUInt32 reg(ViBusAddress offset, ViUInt16 width = 4, ViUInt16 space = kBar2)
    {
        ViUInt32 v = 0;
        EXPECT_EQ(sim().simvisa_readRegister(kCarrier, space, offset, width, &v), VI_SUCCESS);
        return v;
    }
    void setReg(ViBusAddress offset, ViUInt32 value, ViUInt16 width = 4, ViUInt16 space = kBar2)
    {
        ASSERT_EQ(sim().simvisa_writeRegister(kCarrier, space, offset, width, value), VI_SUCCESS);
    }

    TQStream *stream(ViSession vi)
    {
        TQStream *s = nullptr;
        EXPECT_EQ(tq747_getStream(vi, "s747", &s), VI_SUCCESS);
        return s;
    }

    // Waits (on the test pace) until cond holds; false after timeoutMs.
    template <typename F> static bool eventually(F cond, uint32_t timeoutMs = 20000)
    {
        const uint64_t end = tq::platform::tickMs() + timeoutMs;
        while (!cond()) {
            if (tq::platform::tickMs() > end)
                return false;
            tq::platform::sleepMs(2);
        }
        return true;
    }

    std::vector<ViSession> open_;
};

} // namespace tq747test
