// What the tests of both instruments over the simulated VISA library share:
// a device database holding the instrument's catalogue and the model 718's,
// and an inventory of one simulated 718.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "fixture.h"
#include "panel.h"
#include "support/simvisa_testenv.h"
#include "tqdaq.h"

namespace paneltest
{

class Panel718 : public ::testing::Test
{
  protected:
    // The instrument's own catalogue installer, from the build's bin folder.
    explicit Panel718(const char *panelInstaller) : panelInstaller_(panelInstaller) {}

    void SetUp() override
    {
        db = std::make_unique<mtest::DeviceDb>(mtest::testDir());
        ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        const std::string inventory = mtest::testDir() + "/inventory";
        {
            std::ofstream out(inventory);
            out << "[PXI1::11::INSTR]\nboard = tq718\nmanf = 0x3c5a\nmodel = 0x718\n";
        }
        setenv("TQ_SIM_VISA", inventory.c_str(), 1);
        for (const char *installer : {panelInstaller_, "tq718install"})
            ASSERT_EQ(std::system(("'" TQ_BIN_DIR "/" + std::string(installer) + "' insert >/dev/null 2>&1").c_str()),
                      0);
    }
    void TearDown() override
    {
        if (session) {
            EXPECT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
        }
    }

    std::unique_ptr<mtest::DeviceDb> db;
    ViSession session = 0;
    Events events;
    ViChar eventBuffer[256] = {};

  private:
    const char *panelInstaller_;
};

} // namespace paneltest
