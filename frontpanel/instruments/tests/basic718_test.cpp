// The basic front panel's instrument over the simulated VISA library with one
// simulated model 718: opening the session discovers the board and gives it a
// member of the database "system", and the instrument's commands run it.
#include <gtest/gtest.h>

#include <string>

#include "panel718.h"
#include "panelmate.h"
#include "tqdaq.h"

namespace
{

using namespace paneltest;

constexpr ViUInt16 kBasicModel = 1;

class BasicPanel718 : public Panel718
{
  protected:
    BasicPanel718() : Panel718("panelmateinstall") {}
};

TEST_F(BasicPanel718, OpeningDiscoversTheBoardAndTheCommandsRunIt)
{
    ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kBasicModel), VI_SUCCESS);
    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    ASSERT_EQ(tqdaq_installEventHandler(session, "system", 0, recordEvent, &events, eventBuffer), VI_SUCCESS);

    // The board has a member of "system", assigned and enabled.
    const std::string member =
        db->value("select vresource.name from vresource,presource,db_resource,system where "
                  "presource.vresource_id=vresource.vresource_id and presource.name='PXI1::11::INSTR' and "
                  "db_resource.vresource_id=vresource.vresource_id and db_resource.db_id=system.db_id");
    ASSERT_FALSE(member.empty());
    ViInt16 enable = 0;
    ASSERT_EQ(tqdaq_getVresourceEnable(session, member.c_str(), &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1);

    // The notifications that discovery sent while the instrument was being
    // opened made no second instrument session: the one session holds the
    // handler installed above and room for two more only.
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    Events more;
    EXPECT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &more, nullptr), VI_SUCCESS);
    EXPECT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &more, nullptr), VI_SUCCESS);
    EXPECT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &more, nullptr), VI_ERROR_HNDLR_NINSTALLED);
    EXPECT_EQ(panelmate_uninstallEventHandler(vi, 0, recordEvent, &more), VI_SUCCESS);

    const auto ui = [&](const std::string &message) {
        return tqdaq_doOperation(session, "system", "uiEvent", message.c_str());
    };
    // A board without an enabled channel refuses to start: everything is
    // told to stop and the instrument stays idle.
    EXPECT_LT(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/populate"}));

    const std::string analog =
        db->value("select category.category_id from category,ui,model where ui.category_id=category.category_id and "
                  "ui.model_id=model.model_id and model.model=" +
                  std::to_string(0x718) + " and category.name='Analog Channel'");
    ASSERT_FALSE(analog.empty());
    db->exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) select "
             "system.db_id,vresource.vresource_id," +
             analog + ",'AnalogChannelEnable',1,1,'1' from system,vresource where vresource.name='" + member + "'");
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/populate", "system/1/start"}));
    // Its stream was gathered for the acquisition.
    char listing[4096] = {};
    ViUInt32 length = 0;
    ASSERT_GE(tqdaq_listStreams(session, listing, sizeof listing, &length), VI_SUCCESS);
    EXPECT_NE(std::string(listing).find(member), std::string::npos) << listing;

    // Starting the board alone stops the database first.
    ASSERT_EQ(ui("navigator;operation;start;" + member), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/stop", "system/1/populate", "system/1/start"}));
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/stop"}));

    // Disabled, the board is refused by name and left out of a start.
    ASSERT_EQ(ui("navigator;instrument;" + member), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceEnable(session, member.c_str(), &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 0);
    EXPECT_EQ(ui("navigator;operation;start;" + member), VI_SUCCESS);
    EXPECT_TRUE(take(events.texts).empty());
    ASSERT_EQ(ui("navigator;instrument;" + member), VI_SUCCESS);
    ASSERT_EQ(tqdaq_getVresourceEnable(session, member.c_str(), &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1);

    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
}

TEST_F(BasicPanel718, WhatRunsStopsBeforeItsStreamsAndSessionGo)
{
    ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kBasicModel), VI_SUCCESS);
    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    const std::string member = boardMember();
    ASSERT_FALSE(member.empty());
    enableFirstChannel(member);
    const auto ui = [&](const char *message) { return tqdaq_doOperation(session, "system", "uiEvent", message); };

    // Closing the window while the board runs: its streams go only once it
    // has stopped handing them scans.
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    letItRun();
    ASSERT_EQ(ui("window;close"), VI_SUCCESS);

    // Closing the session while the board runs: the board stops before the
    // formula engine and the streams it feeds are released.
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    letItRun();
    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
}

} // namespace
