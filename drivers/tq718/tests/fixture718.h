// What the model 718 tests share: the simulated VISA library laid out where
// the driver looks for it, simulated 718 boards, the board's write log, and
// a status-line sink that the tests can read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivertest/linesink.h"
#include "drivertest/simvisaboard.h"
#include "tq718.h"

namespace tq718test
{

using namespace tq::test;

constexpr const char *kBoard = "PXI1::14::INSTR";
constexpr const char *kOtherBoard = "PXI1::15::INSTR";

inline std::string boardSettings(const std::string &extra = "")
{
    return "board=tq718; manf=0x3c5a; model=0x718" + (extra.empty() ? "" : "; " + extra);
}

struct Write {
    ViUInt16 space;
    ViBusAddress offset;
    ViUInt32 mask;
    ViUInt32 value;
};

// One simulated board per test, one session on it.
class Board718Test : public SimVisaTest<DriverEntries<tq718_init, tq718_close, tq718_getStream, "s718">>
{
  protected:
    void addBoard(const char *name = kBoard, const std::string &extra = "")
    {
        addInstrument(name, boardSettings(extra));
    }
    // Opens a session on a board (added with the given settings when not yet present).
    ViSession open(const char *name = kBoard, ViBoolean reset = 0) { return SimVisaTest::open(name, reset); }

    std::vector<SimVisaWrite> writes(const char *name = kBoard) { return writeLog(name, 4096); }
    void clearWrites(const char *name = kBoard) { clearWriteLog(name); }

    ViUInt32 reg(ViBusAddress offset, ViUInt16 space = kBar2, const char *name = kBoard, ViUInt16 width = 4)
    {
        return readRegister(name, space, offset, width);
    }
    void setReg(ViBusAddress offset, ViUInt32 value, ViUInt16 space = kBar2, const char *name = kBoard)
    {
        writeRegister(name, space, offset, 4, value);
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
};

} // namespace tq718test
