// What the model 176 tests share: simulated devices plugged in through the
// simulated USB library's test control, sessions closed after each test,
// a status-line sink and helpers to read the stream scan by scan.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivertest/eventually.h"
#include "drivertest/linesink.h"
#include "drivertest/scans.h"
#include "drivertest/sessions.h"
#include "tq/simusb.h"
#include "tqstream.h"
#include "ux176.h"

namespace ux176test
{

using namespace tq::test;

constexpr const char *kSerial = "1234";
constexpr const char *kName = "usb0::0x3c5a::176::1234";

// Its tests expect success itself from init and close, not a warning.
class UsbTest : public DriverTest<DriverEntries<ux176_init, ux176_close, ux176_getStream, "s176", false>>
{
  protected:
    void SetUp() override
    {
        simusb_reset();
        ASSERT_EQ(simusb_addDevice(kSerial, ""), 0);
    }
    void TearDown() override
    {
        closeAll();
        EXPECT_EQ(simusb_openHandleCount(), 0u) << "device handles left open";
        simusb_reset();
    }

    ViSession open(const char *name = kName, ViBoolean reset = 0) { return DriverTest::open(name, reset); }
    ViSession openWithoutHardware() { return openWithoutInstrument(); }
    static uint16_t reg(uint8_t r, const char *serial = kSerial)
    {
        uint16_t v = 0;
        EXPECT_EQ(simusb_getRegister(serial, r, &v), 0);
        return v;
    }
    static std::vector<SimUsbOutput> outputs(const char *serial = kSerial)
    {
        std::vector<SimUsbOutput> log(65536);
        uint32_t n = 0;
        EXPECT_EQ(simusb_getOutputLog(serial, log.data(), static_cast<uint32_t>(log.size()), &n), 0);
        log.resize(n);
        return log;
    }
    // Looks every millisecond.
    template <typename F> static bool eventually(F cond, uint32_t timeoutMs = 20000)
    {
        return tq::test::eventually(cond, timeoutMs, 1);
    }
};

} // namespace ux176test
