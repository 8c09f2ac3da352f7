// Tests of a driver on the simulated VISA library: the library laid out
// where the binding looks, bound by the driver's first init, its test
// control loaded from the same library; then one fixture per test that
// starts and ends with an empty simulated bus and no session left open.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "drivertest/sessions.h"
#include "support/simvisa_testenv.h"

// How a logged register write prints in a failed assertion (found by the
// assertions' printer, which looks beside the record's own declaration).
inline std::ostream &operator<<(std::ostream &o, const SimVisaWrite &w)
{
    return o << "{space " << w.space << ", offset 0x" << std::hex << w.offset << ", value 0x" << w.value << std::dec
             << ", width " << w.width << "}";
}

namespace tq::test
{

constexpr ViUInt16 kBar0 = VI_PXI_BAR0_SPACE;
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE;

// The test control of the one simulated library of the test program.
inline SimVisa &sim()
{
    static SimVisa s;
    return s;
}

// Lays the simulated library out where the binding looks, lets the driver's
// first init bind it (a session without instrument, closed again), and
// loads sim's test control from the library bound.
template <typename Init, typename Close> void bindDriverToSimulatedVisa(Init init, Close close, SimVisa &sim)
{
    ASSERT_TRUE(layOutVisa(bindingDirectory()));
    ViSession vi = VI_NULL;
    ASSERT_EQ(init(nullptr, 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(close(vi), VI_SUCCESS);
    ASSERT_TRUE(sim.load());
}

// The fixture of a driver's tests on simulated instruments (Driver: its
// DriverEntries). Register and log helpers take the instrument's name.
template <class Driver> class SimVisaTest : public DriverTest<Driver>
{
  protected:
    // Binds once per test program; a suite after a failed binding tries again.
    static void SetUpTestSuite()
    {
        static bool bound = false;
        if (bound)
            return;
        bindDriverToSimulatedVisa(Driver::init, Driver::close, sim());
        bound = !::testing::Test::HasFatalFailure();
    }
    void SetUp() override { sim().simvisa_reset(); }
    void TearDown() override
    {
        this->closeAll();
        EXPECT_EQ(sim().simvisa_openSessionCount(), 0u) << "VISA sessions left open";
        sim().simvisa_reset();
    }

    static void addInstrument(const char *name, const std::string &settings)
    {
        ASSERT_EQ(sim().simvisa_addInstrument(name, settings.c_str()), VI_SUCCESS) << settings;
    }
    static void configureBoard(const char *name, const std::string &settings)
    {
        ASSERT_EQ(sim().simvisa_configureBoard(name, settings.c_str()), VI_SUCCESS) << settings;
    }

    // A register behind the driver's back.
    static ViUInt32 readRegister(const char *name, ViUInt16 space, ViBusAddress offset, ViUInt16 width)
    {
        ViUInt32 v = 0;
        EXPECT_EQ(sim().simvisa_readRegister(name, space, offset, width, &v), VI_SUCCESS);
        return v;
    }
    static void writeRegister(const char *name, ViUInt16 space, ViBusAddress offset, ViUInt16 width, ViUInt32 value)
    {
        ASSERT_EQ(sim().simvisa_writeRegister(name, space, offset, width, value), VI_SUCCESS);
    }

    // The oldest `capacity` entries of the instrument's register write log,
    // and of its time-stamped output log.
    static std::vector<SimVisaWrite> writeLog(const char *name, size_t capacity)
    {
        std::vector<SimVisaWrite> log(capacity);
        ViUInt32 n = 0;
        EXPECT_EQ(sim().simvisa_getWriteLog(name, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    static void clearWriteLog(const char *name) { ASSERT_EQ(sim().simvisa_clearWriteLog(name), VI_SUCCESS); }
    static std::vector<SimVisaOutput> outputLog(const char *name, size_t capacity)
    {
        std::vector<SimVisaOutput> log(capacity);
        ViUInt32 n = 0;
        EXPECT_EQ(sim().simvisa_getOutputLog(name, log.data(), static_cast<ViUInt32>(log.size()), &n), VI_SUCCESS);
        log.resize(n);
        return log;
    }
    static void clearOutputLog(const char *name) { ASSERT_EQ(sim().simvisa_clearOutputLog(name), VI_SUCCESS); }
};

} // namespace tq::test
