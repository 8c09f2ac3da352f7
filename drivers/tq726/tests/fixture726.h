// What the model 726 tests share: the simulated VISA library laid out where
// the driver looks for it, simulated 726 boards with their write and output
// logs, and a status-line sink that the tests read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivertest/linesink.h"
#include "drivertest/simvisaboard.h"
#include "tq726.h"

namespace tq726test
{

using namespace tq::test;

constexpr const char *kBoard = "PXI1::12::INSTR";
// Board flags: 16 channels, reset confirm, current outputs.
constexpr ViUInt32 kFlags16 = 0x500;

inline std::string boardSettings(ViUInt32 flags, const std::string &extra = "")
{
    char text[64];
    snprintf(text, sizeof text, "flags=0x%x", flags);
    return "board=tq726; manf=0x3c5a; model=0x726; " + std::string(text) + (extra.empty() ? "" : "; " + extra);
}

// One frame of the output thread in the board's log: the codes of channels
// 1 to n written by one block write, and its time.
struct Frame {
    uint64_t timeUs = 0;
    std::vector<uint16_t> codes;
};

class Board726Test : public SimVisaTest<DriverEntries<tq726_init, tq726_close, tq726_getStream, "ao">>
{
  protected:
    void addBoard(ViUInt32 flags = kFlags16, const std::string &extra = "")
    {
        addInstrument(kBoard, boardSettings(flags, extra));
    }
    ViSession open(ViBoolean reset = 0) { return SimVisaTest::open(kBoard, reset); }

    // The output code register of channel c, behind the driver's back.
    uint16_t code(int c) { return static_cast<uint16_t>(readRegister(kBoard, kBar2, 2 * (c - 1), 2)); }
    void setCode(int c, uint16_t value) { writeRegister(kBoard, kBar2, 2 * (c - 1), 2, value); }

    std::vector<SimVisaOutput> outputs() { return outputLog(kBoard, 131072); }
    void clearOutputs() { clearOutputLog(kBoard); }

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

    std::vector<SimVisaWrite> writes() { return writeLog(kBoard, 4096); }
    void clearWrites() { clearWriteLog(kBoard); }
};

} // namespace tq726test
