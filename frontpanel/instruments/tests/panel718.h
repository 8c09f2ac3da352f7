// What the tests of both instruments over the simulated VISA library share:
// a device database holding the instrument's catalogue and the model 718's,
// and an inventory of one simulated 718.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

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

    // The member of the selected database that the simulated board is
    // assigned to; empty when none.
    std::string boardMember()
    {
        return db->value("select vresource.name from vresource,presource,db_resource,system where "
                         "presource.vresource_id=vresource.vresource_id and presource.name='PXI1::11::INSTR' and "
                         "db_resource.vresource_id=vresource.vresource_id and db_resource.db_id=system.db_id");
    }

    // Stores the board's first analog channel as enabled: a board without
    // an enabled channel refuses to start.
    void enableFirstChannel(const std::string &member)
    {
        const std::string analog = db->value(
            "select category.category_id from category,ui,model where ui.category_id=category.category_id and "
            "ui.model_id=model.model_id and model.model=" +
            std::to_string(0x718) + " and category.name='Analog Channel'");
        ASSERT_FALSE(analog.empty());
        db->exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) select "
                 "system.db_id,vresource.vresource_id," +
                 analog + ",'AnalogChannelEnable',1,1,'1' from system,vresource where vresource.name='" + member + "'");
    }

    // Lets a started board deliver scans for a while (real time).
    static void letItRun() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

    std::unique_ptr<mtest::DeviceDb> db;
    ViSession session = 0;
    Events events;
    ViChar eventBuffer[256] = {};

  private:
    const char *panelInstaller_;
};

} // namespace paneltest
