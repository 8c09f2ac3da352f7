// What the model 775 tests share: the simulated VISA library laid out where
// the driver looks for it, a simulated counter board, registers behind the
// driver's back, the write log and a status-line sink.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq/platform/thread.h"
#include "tq775.h"

namespace tq775test
{

inline tq::test::SimVisa &sim()
{
    static tq::test::SimVisa s;
    return s;
}

constexpr const char *kCounter = "PXI2::11::INSTR";
constexpr ViUInt16 kBar0 = VI_PXI_BAR0_SPACE;
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE;

inline void prepareVisa()
{
    static bool done = false;
    if (done)
        return;
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    ViSession vi = VI_NULL;
    ASSERT_EQ(tq775_init(nullptr, 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(tq775_close(vi), VI_SUCCESS);
    ASSERT_TRUE(sim().load());
    done = true;
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

class CounterTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { prepareVisa(); }
    void SetUp() override { sim().simvisa_reset(); }
    void TearDown() override
    {
        for (ViSession vi : open_)
            tq775_close(vi);
        open_.clear();
        EXPECT_EQ(sim().simvisa_openSessionCount(), 0u) << "VISA sessions left open";
        sim().simvisa_reset();
    }

    void addCounter(const std::string &extra = "")
    {
        std::string settings = "board=tq775; manf=0x3c5a; model=0x775";
        if (!extra.empty())
            settings += "; " + extra;
        ASSERT_EQ(sim().simvisa_addInstrument(kCounter, settings.c_str()), VI_SUCCESS);
    }
    ViSession open(ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        EXPECT_GE(tq775_init(const_cast<ViRsrc>(kCounter), 0, reset, &vi), VI_SUCCESS);
        if (vi)
            open_.push_back(vi);
        return vi;
    }
    ViSession openWithoutInstrument()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq775_init(nullptr, 0, 0, &vi), VI_SUCCESS);
        open_.push_back(vi);
        return vi;
    }
    void close(ViSession vi)
    {
        std::erase(open_, vi);
        EXPECT_GE(tq775_close(vi), VI_SUCCESS);
    }
    void configure(const std::string &settings)
    {
        ASSERT_EQ(sim().simvisa_configureBoard(kCounter, settings.c_str()), VI_SUCCESS) << settings;
    }
    ViUInt32 reg(ViBusAddress offset, ViUInt16 space = kBar2)
    {
        ViUInt32 v = 0;
        EXPECT_EQ(sim().simvisa_readRegister(kCounter, space, offset, 4, &v), VI_SUCCESS);
        return v;
    }
    void setReg(ViBusAddress offset, ViUInt32 value, ViUInt16 space = kBar2)
    {
        ASSERT_EQ(sim().simvisa_writeRegister(kCounter, space, offset, 4, value), VI_SUCCESS);
    }
    TQStream *stream(ViSession vi)
    {
        TQStream *s = nullptr;
        EXPECT_EQ(tq775_getStream(vi, "s775", &s), VI_SUCCESS);
        return s;
    }
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

} // namespace tq775test
