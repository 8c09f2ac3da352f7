// What the model 775 tests share: the simulated VISA library laid out where
// the driver looks for it, a simulated counter board, registers behind the
// driver's back, the write log and a status-line sink.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivertest/eventually.h"
#include "drivertest/linesink.h"
#include "drivertest/simvisaboard.h"
#include "tq775.h"

namespace tq775test
{

using namespace tq::test;

constexpr const char *kCounter = "PXI2::11::INSTR";

class CounterTest : public SimVisaTest<DriverEntries<tq775_init, tq775_close, tq775_getStream, "s775">>
{
  protected:
    void addCounter(const std::string &extra = "")
    {
        std::string settings = "board=tq775; manf=0x3c5a; model=0x775";
        if (!extra.empty())
            settings += "; " + extra;
        addInstrument(kCounter, settings);
    }
    ViSession open(ViBoolean reset = 0) { return SimVisaTest::open(kCounter, reset); }
    void configure(const std::string &settings) { configureBoard(kCounter, settings); }
    ViUInt32 reg(ViBusAddress offset, ViUInt16 space = kBar2) { return readRegister(kCounter, space, offset, 4); }
    void setReg(ViBusAddress offset, ViUInt32 value, ViUInt16 space = kBar2)
    {
        writeRegister(kCounter, space, offset, 4, value);
    }
};

} // namespace tq775test
