// What the model 718 tests share: the simulated VISA library laid out where
// the driver looks for it, simulated 718 boards, the board's write log, and
// a status-line sink that the tests can read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq718.h"

namespace tq718test
{

inline tq::test::SimVisa &sim()
{
    static tq::test::SimVisa s;
    return s;
}

constexpr const char *kBoard = "PXI1::14::INSTR";
constexpr const char *kOtherBoard = "PXI1::15::INSTR";
constexpr ViUInt16 kBar0 = VI_PXI_BAR0_SPACE;
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE;

// Makes the simulated library reachable (once per process) and its test
// control loaded; the driver binds VISA at its first init.
inline void prepareVisa()
{
    static bool done = false;
    if (done)
        return;
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    ViSession vi = VI_NULL;
    ASSERT_EQ(tq718_init(nullptr, 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(tq718_close(vi), VI_SUCCESS);
    ASSERT_TRUE(sim().load());
    done = true;
}

inline std::string boardSettings(const std::string &extra = "")
{
    return "board=tq718; manf=0x3c5a; model=0x718" + (extra.empty() ? "" : "; " + extra);
}

// A sink for status lines or traces: a message queue of the stream library.
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
    // Every line printed so far, oldest first; the queue is emptied.
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

struct Write {
    ViUInt16 space;
    ViBusAddress offset;
    ViUInt32 mask;
    ViUInt32 value;
};

inline std::ostream &operator<<(std::ostream &o, const SimVisaWrite &w)
{
    return o << "{space " << w.space << ", offset 0x" << std::hex << w.offset << ", value 0x" << w.value << std::dec
             << ", width " << w.width << "}";
}

// One simulated board per test, one session on it.
class Board718Test : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { prepareVisa(); }
    void SetUp() override { sim().simvisa_reset(); }
    void TearDown() override
    {
        for (ViSession vi : open_)
            tq718_close(vi);
        EXPECT_EQ(sim().simvisa_openSessionCount(), 0u) << "VISA sessions left open";
        sim().simvisa_reset();
    }

    void addBoard(const char *name = kBoard, const std::string &extra = "")
    {
        ASSERT_EQ(sim().simvisa_addInstrument(name, boardSettings(extra).c_str()), VI_SUCCESS);
    }
    // Opens a session on a board (added with the given settings when not yet present).
    ViSession open(const char *name = kBoard, ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        EXPECT_GE(tq718_init(const_cast<ViRsrc>(name), 0, reset, &vi), VI_SUCCESS) << name;
        open_.push_back(vi);
        return vi;
    }
    ViSession openWithoutInstrument()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq718_init(nullptr, 0, 0, &vi), VI_SUCCESS);
        open_.push_back(vi);
        return vi;
    }
    void close(ViSession vi)
    {
        std::erase(open_, vi);
        EXPECT_GE(tq718_close(vi), VI_SUCCESS);
    }

    std::vector<SimVisaWrite> writes(const char *name = kBoard)
    {
        std::vector<SimVisaWrite> log(4096);
        ViUInt32 n = 0;
        EXPECT_EQ(sim().simvisa_getWriteLog(name, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    void clearWrites(const char *name = kBoard) { ASSERT_EQ(sim().simvisa_clearWriteLog(name), VI_SUCCESS); }

    ViUInt32 reg(ViBusAddress offset, ViUInt16 space = kBar2, const char *name = kBoard, ViUInt16 width = 4)
    {
        ViUInt32 v = 0;
        EXPECT_EQ(sim().simvisa_readRegister(name, space, offset, width, &v), VI_SUCCESS);
        return v;
    }
    void setReg(ViBusAddress offset, ViUInt32 value, ViUInt16 space = kBar2, const char *name = kBoard)
    {
        ASSERT_EQ(sim().simvisa_writeRegister(name, space, offset, 4, value), VI_SUCCESS);
    }

    // The writes match the expected ones in order: same space and offset,
    // and the bits under the mask equal the value.
    static void expectWrites(const std::vector<SimVisaWrite> &log, const std::vector<Write> &expected)
    {
        ASSERT_EQ(log.size(), expected.size()) << ::testing::PrintToString(log);
        for (size_t i = 0; i < log.size(); ++i) {
            SCOPED_TRACE("write " + std::to_string(i));
            EXPECT_EQ(log[i].space, expected[i].space);
            EXPECT_EQ(log[i].offset, expected[i].offset) << std::hex << log[i].offset;
            EXPECT_EQ(log[i].value & expected[i].mask, expected[i].value)
                << std::hex << "value 0x" << log[i].value << " mask 0x" << expected[i].mask;
        }
    }

    TQStream *stream(ViSession vi)
    {
        TQStream *s = nullptr;
        EXPECT_EQ(tq718_getStream(vi, "s718", &s), VI_SUCCESS);
        return s;
    }

    std::vector<ViSession> open_;
};

} // namespace tq718test
