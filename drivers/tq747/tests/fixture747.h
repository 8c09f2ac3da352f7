// What the model 747 tests share: the simulated VISA library laid out where
// the driver looks for it, a simulated carrier with model 740 modules on
// sites 1 and 3, the write log, registers behind the driver's back and a
// status-line sink.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivertest/eventually.h"
#include "drivertest/linesink.h"
#include "drivertest/simvisaboard.h"
#include "tq740.h"
#include "tq747.h"

namespace tq747test
{

using namespace tq::test;

constexpr const char *kCarrier = "PXI1::15::INSTR";

// A carrier with model 740 modules on the given sites.
inline std::string carrierSettings(const std::string &sites = "1,3", const std::string &extra = "")
{
    std::string s = "board=tq747; manf=0x3c5a; model=0x747";
    for (char c : sites)
        if (c >= '1' && c <= '4')
            s += std::string("; site") + c + "=tq740";
    return extra.empty() ? s : s + "; " + extra;
}

class CarrierTest : public SimVisaTest<DriverEntries<tq747_init, tq747_close, tq747_getStream, "s747">>
{
  protected:
    void addCarrier(const std::string &sites = "1,3", const std::string &extra = "")
    {
        addInstrument(kCarrier, carrierSettings(sites, extra));
    }
    ViSession open(ViBoolean reset = 0) { return SimVisaTest::open(kCarrier, reset); }
    void configure(const std::string &settings) { configureBoard(kCarrier, settings); }

    std::vector<SimVisaWrite> writes() { return writeLog(kCarrier, 16384); }
    void clearWrites() { clearWriteLog(kCarrier); }

    ViUInt32 reg(ViBusAddress offset, ViUInt16 width = 4, ViUInt16 space = kBar2)
    {
        return readRegister(kCarrier, space, offset, width);
    }
    void setReg(ViBusAddress offset, ViUInt32 value, ViUInt16 width = 4, ViUInt16 space = kBar2)
    {
        writeRegister(kCarrier, space, offset, width, value);
    }
};

} // namespace tq747test
