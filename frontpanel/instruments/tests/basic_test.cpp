// The basic front panel's instrument, loaded by the resource manager as the
// application model's own driver over a test device database with its
// catalogue installed. Members of its database are test drivers that log the
// operations they get; the instrument's events are read by a handler
// installed through the manager, its messages from the manager's sink.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "panel_commands.h"
#include "panelmate.h"
#include "tq/status.h"
#include "tqdaq.h"

namespace
{

using namespace paneltest;

constexpr ViUInt16 kBasicModel = 1;

class BasicPanel : public PanelCommands
{
  protected:
    BasicPanel() : PanelCommands("panelmateinstall") {}

    // Opens the session, registers the sink and the event handler.
    void open()
    {
        ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kBasicModel), VI_SUCCESS);
        ASSERT_EQ(tqdaq_registerStreamMsg(session, sink.queue), VI_SUCCESS);
        ASSERT_EQ(tqdaq_installEventHandler(session, "system", 0, recordEvent, &events, eventBuffer), VI_SUCCESS);
        sink.take();
        driverLog();
    }

    std::string commandResource() override { return "system"; }
};

TEST_F(BasicPanel, OpensItsDatabaseAndNamesItsEventsAfterIt)
{
    open();
    EXPECT_EQ(db->value("select vresource.name from system,db,vresource where system.db_id=db.db_id and "
                        "db.vresource_id=vresource.vresource_id"),
              "system");
    addMember("A");
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    ASSERT_FALSE(events.texts.empty());
    EXPECT_EQ(events.texts.front(), "system/1/populate");
    // The handler's buffer is not where the text goes.
    EXPECT_STREQ(eventBuffer, "");
}

TEST_F(BasicPanel, IdleCommands)
{
    open();
    addMember("A", 1, "2");
    addMember("B", 1, "1");
    addMember("C", 0);
    const std::vector<Step> steps = {
        // The instrument's own walk reaches every enabled member once, in rank
        // order; configuring them (before a start or a calibration) resets each.
        {"navigator;operation;reset", VI_SUCCESS, {"B reset", "A reset"}, {}, {}},
        {"navigator;operation;reset;system", VI_SUCCESS, {"B reset", "A reset"}, {}, {}},
        {"navigator;operation;reset;A", VI_SUCCESS, {"A reset"}, {}, {}},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
        {"navigator;operation;stop;B", VI_SUCCESS, {}, {}, {"[B]stop: Already stopped."}},
        // An empty resource word names no resource.
        {"navigator;operation;stop;", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
        {"navigator;operation;calibrate",
         VI_SUCCESS,
         {"A reset", "B reset", "B calibrate", "A calibrate"},
         {"populate"},
         {}},
        {"navigator;operation;powerupsave", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;verifyAllThermocoupleChannels", VI_SUCCESS, {}, {}, {}},
        {"navigator;config", VI_SUCCESS, {}, {}, {}},
        {"window;close", VI_SUCCESS, {}, {}, {}},
        // Disabled or unknown members are refused before anything runs.
        {"navigator;operation;start;C",
         VI_SUCCESS,
         {},
         {},
         {"[C]start: Operation failed because device is not enabled."}},
        {"navigator;operation;reset;nobody",
         TQDAQ_ERROR_STATEMENT,
         {},
         {},
         {"[nobody]reset: Operation failed because device is not enabled."}},
        // Words that match no form do nothing; so do notifications.
        {"Navigator;operation;start", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;Start", VI_SUCCESS, {}, {}, {}},
        {"navigator", VI_SUCCESS, {}, {}, {}},
        {"link;completion;T1", VI_SUCCESS, {}, {}, {}},
        {"pnpload;instrument;A", VI_SUCCESS, {}, {}, {}},
        {";;;", VI_SUCCESS, {}, {}, {}},
        // The start: configured (members reset), told "populate", started, told "start".
        {"navigator;operation;start",
         VI_SUCCESS,
         {"A reset", "B reset", "B start", "A start"},
         {"populate", "start"},
         {}},
    };
    run(steps);
}

TEST_F(BasicPanel, RunningCommands)
{
    open();
    addMember("A", 1, "1");
    addMember("B", 1, "2");
    const Lines configureAndStartAll = {"A reset", "B reset", "A start", "B start"};
    const std::vector<Step> steps = {
        {"navigator;operation;start;A", VI_SUCCESS, {"A reset", "B reset", "A start"}, {"populate", "start"}, {}},
        {"navigator;operation;start;A", VI_SUCCESS, {}, {}, {"[A]Already running."}},
        {"navigator;operation;calibrate;A", VI_SUCCESS, {}, {}, {"[A]calibrate: Can't calibrate while running."}},
        {"navigator;operation;calibrate", VI_SUCCESS, {}, {}, {"[system]calibrate: Can't calibrate while running."}},
        // Another start stops the running resource first.
        {"navigator;operation;start",
         VI_SUCCESS,
         {"A stop", "A reset", "B reset", "A start", "B start"},
         {"stop", "populate", "start"},
         {}},
        // Running on the whole database, a start without a resource starts again.
        {"navigator;operation;start",
         VI_SUCCESS,
         {"A stop", "B stop", "A reset", "B reset", "A start", "B start"},
         {"stop", "populate", "start"},
         {}},
        {"navigator;operation;stop", VI_SUCCESS, {"A stop", "B stop"}, {"stop"}, {}},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
        {"navigator;operation;start", VI_SUCCESS, configureAndStartAll, {"populate", "start"}, {}},
        // A reset stops without telling the listeners.
        {"navigator;operation;reset;B", VI_SUCCESS, {"A stop", "B stop", "B reset"}, {}, {}},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
        {"navigator;operation;start;B", VI_SUCCESS, {"A reset", "B reset", "B start"}, {"populate", "start"}, {}},
        {"navigator;config", VI_SUCCESS, {"A stop", "B stop"}, {"stop"}, {}},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
        // Closing the window stops everything; a start of the same resource
        // afterwards starts it again rather than finding it running.
        {"navigator;operation;start;B", VI_SUCCESS, {"A reset", "B reset", "B start"}, {"populate", "start"}, {}},
        {"window;close", VI_SUCCESS, {"A stop", "B stop"}, {"stop"}, {}},
        {"navigator;operation;start;B", VI_SUCCESS, {"A reset", "B reset", "B start"}, {"populate", "start"}, {}},
        // Messages that match no form leave it running.
        {"link;completion;T1", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;verifyAllThermocoupleChannels", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;start;B", VI_SUCCESS, {}, {}, {"[B]Already running."}},
    };
    run(steps);
}

TEST_F(BasicPanel, InstrumentCommandTogglesTheEnableFlag)
{
    open();
    addMember("A", 1);
    addMember("B", 1);
    const std::vector<Step> steps = {
        // Disabling applies the configuration without it.
        {"navigator;instrument;A", VI_SUCCESS, {"B reset"}, {}, {}},
        {"navigator;operation;start", VI_SUCCESS, {"B reset", "B start"}, {"populate", "start"}, {}},
        // While running: stopped, then toggled, then idle.
        {"navigator;instrument;A", VI_SUCCESS, {"B stop"}, {"stop"}, {}},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
        {"navigator;instrument;nobody", TQDAQ_ERROR_STATEMENT, {}, {}, {}},
    };
    run(steps);
    EXPECT_EQ(enableOf("A"), "1");
    EXPECT_EQ(enableOf("B"), "1");
    ASSERT_EQ(ui("navigator;instrument;B"), VI_SUCCESS);
    EXPECT_EQ(enableOf("B"), "0");
}

TEST_F(BasicPanel, StartResultsDecideTheState)
{
    open();
    addMember("A", 1, "1");
    addMember("nsupB", 1, "2");
    // A member that does not support start makes the walk end with a warning:
    // the instrument runs.
    ASSERT_EQ(ui("navigator;operation;start"), TQ_WARN_OPER_SKIPPED);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/populate", "system/1/start"}));
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/stop"}));

    // A member that fails its start: everything is told to stop, no "start"
    // is broadcast, and the instrument stays idle.
    addMember("failC", 1, "3");
    driverLog();
    EXPECT_EQ(static_cast<uint32_t>(ui("navigator;operation;start")), 0xBFFF0000u);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/populate"}));
    EXPECT_EQ(driverLog(), (Lines{"A reset", "failC reset", "nsupB reset", "A start", "nsupB start", "failC start",
                                  "A stop", "nsupB stop", "failC stop"}));
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(sink.take(), (Lines{"[system]stop: Already stopped."}));
}

TEST_F(BasicPanel, AConfigurationThatFailsEndsTheStartBeforeAnythingRuns)
{
    open();
    addMember("A", 1, "1");
    addMember("badresetB", 1, "2");
    const std::vector<Step> steps = {
        {"navigator;operation;start",
         TQDAQ_ERROR_STATEMENT,
         {"A reset", "badresetB reset"},
         {},
         {"Error in configuration: Unable to reset badresetB"}},
        // The calibration tells its listeners first, then fails the same way.
        {"navigator;operation;calibrate",
         TQDAQ_ERROR_STATEMENT,
         {"A reset", "badresetB reset"},
         {"populate"},
         {"Error in configuration: Unable to reset badresetB"}},
        // Disabling a member fails when the others cannot be configured: it
        // is enabled again.
        {"navigator;instrument;A",
         TQDAQ_ERROR_STATEMENT,
         {"badresetB reset"},
         {},
         {"Disable Instrument creates error: Unable to reset badresetB"}},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {"[system]stop: Already stopped."}},
    };
    run(steps);
    EXPECT_EQ(enableOf("A"), "1");
}

TEST_F(BasicPanel, OperationsOfTheInstrumentReachEachMemberOnce)
{
    open();
    addMember("A", 1);
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    for (const char *op : {"reset", "start", "stop"}) {
        SCOPED_TRACE(op);
        const ViStatus st = op[2] == 's'   ? panelmate_reset(vi)
                            : op[2] == 'a' ? panelmate_start(vi)
                                           : panelmate_stop(vi);
        EXPECT_EQ(st, VI_SUCCESS);
        EXPECT_EQ(driverLog(), (Lines{std::string("A ") + op}));
    }
    EXPECT_EQ(panelmate_start(vi + 1), VI_ERROR_INV_OBJECT);
}

TEST_F(BasicPanel, UiEventArgumentsThatAreNoMessage)
{
    open();
    addMember("A", 1);
    const std::string tooLong = "navigator;operation;start;" + std::string(300, 'A');
    for (const std::string &argument : {std::string(""), std::string(",navigator;operation;start"), tooLong}) {
        EXPECT_EQ(ui(argument), VI_ERROR_INV_PARAMETER) << argument.substr(0, 40);
        EXPECT_TRUE(driverLog().empty());
    }
    EXPECT_EQ(tqdaq_doOperation(session, "system", "uiEvent", nullptr), VI_ERROR_INV_PARAMETER);
    // Text after the first ',' is no part of the message.
    EXPECT_EQ(ui("navigator;operation;start,extra"), VI_SUCCESS);
    EXPECT_EQ(driverLog(), (Lines{"A reset", "A start"}));
    EXPECT_EQ(ui("navigator;operation;stop;A,B"), VI_SUCCESS);
    EXPECT_EQ(driverLog(), (Lines{"A stop"}));
}

TEST_F(BasicPanel, DirectInterface)
{
    open();
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    EXPECT_EQ(vi, session);

    // Simulation mode: the result is the mode; the caller's variable stays.
    ViInt16 mode = 7;
    EXPECT_EQ(panelmate_getSimulationMode(vi, &mode), 0);
    EXPECT_EQ(panelmate_setSimulationMode(vi, 1), VI_SUCCESS);
    EXPECT_EQ(panelmate_getSimulationMode(vi, &mode), 1);
    EXPECT_EQ(mode, 7);
    EXPECT_EQ(panelmate_setSimulationMode(vi, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmate_getSimulationMode(vi, nullptr), 1);
    EXPECT_EQ(panelmate_setSimulationMode(vi, 0), VI_SUCCESS);
    EXPECT_EQ(panelmate_getSimulationMode(vi, &mode), 0);
    EXPECT_EQ(panelmate_setSimulationMode(vi, 0), VI_SUCCESS);

    EXPECT_EQ(panelmate_crossCheck(vi, nullptr), VI_SUCCESS);
    TQStream *stream = reinterpret_cast<TQStream *>(&mode);
    EXPECT_EQ(panelmate_getStream(vi, "x", &stream), VI_SUCCESS);
    EXPECT_EQ(stream, reinterpret_cast<TQStream *>(&mode));

    // Every export refuses a session value it does not know.
    const ViSession unknown = vi + 1000;
    EXPECT_EQ(panelmate_close(unknown), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_uiEvent(unknown, "navigator;config"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_setSimulationMode(unknown, 1), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_getSimulationMode(unknown, &mode), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_registerStreamMsg(unknown, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_registerSpyMsg(unknown, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_installEventHandler(unknown, 0, recordEvent, nullptr, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_uninstallEventHandler(unknown, 0, recordEvent, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_crossCheck(unknown, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_getEventStatus(unknown, 1, nullptr, 0, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_getStream(unknown, "x", &stream), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(panelmate_reset(unknown), VI_ERROR_INV_OBJECT);
}

TEST_F(BasicPanel, PnPHandleOfItsOwn)
{
    open();
    addMember("A", 1);
    // A second instrument session for the same manager session, through a
    // handle of its own.
    TQPnPHandle *h = reinterpret_cast<TQPnPHandle *>(static_cast<uintptr_t>(session));
    ASSERT_EQ(panelmate_getPnPHandle(nullptr, &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->refCount, 1);
    EXPECT_EQ(h->session, session);
    EXPECT_EQ(h->wait, nullptr);
    char value[256] = {};
    EXPECT_EQ(h->setPropertyByName(h->session, "InstrumentName", "x"), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->getPropertyByName(h->session, "InstrumentName", "", value, sizeof value), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "probe", nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "Start", nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "uiEvent", nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(h->doOperation(h->session, "uiEvent", ","), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(h->attachBackend(h->session, h), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->setSimulationMode(h->session, 1), VI_SUCCESS);
    EXPECT_EQ(h->setSimulationMode(h->session, 2), VI_ERROR_INV_PARAMETER);
    // Its "start" runs the database-wide start once.
    driverLog();
    EXPECT_EQ(h->doOperation(h->session, "start", "ignored"), VI_SUCCESS);
    EXPECT_EQ(driverLog(), (Lines{"A start"}));

    // References: the last release closes the session and clears the holder.
    EXPECT_EQ(h->addReference(h), VI_SUCCESS);
    TQPnPHandle *holder = h;
    EXPECT_EQ(h->release(&holder), VI_SUCCESS);
    EXPECT_EQ(holder, h);
    EXPECT_EQ(h->refCount, 1);
    EXPECT_EQ(h->release(&holder), VI_SUCCESS);
    EXPECT_EQ(holder, nullptr);

    // The manager's own instrument session answers as before.
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/populate", "system/1/start"}));

    // A handle for a manager session that does not exist is refused whole.
    TQPnPHandle *bad = reinterpret_cast<TQPnPHandle *>(static_cast<uintptr_t>(session + 77));
    EXPECT_EQ(panelmate_getPnPHandle(nullptr, &bad), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(bad, nullptr);
    ViSession vi = session + 77;
    EXPECT_EQ(panelmate_init(nullptr, 0, 0, &vi), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(vi, 0u);
    EXPECT_EQ(panelmate_getPnPHandle(nullptr, nullptr), VI_ERROR_INV_PARAMETER);
}

TEST_F(BasicPanel, EventHandlerTable)
{
    open();
    addMember("A", 1);
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    // Beside the one installed through the manager: the same handler with the
    // same user data twice fills the table.
    Events twice;
    ASSERT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &twice, nullptr), VI_SUCCESS);
    ASSERT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &twice, nullptr), VI_SUCCESS);
    Events fourth;
    EXPECT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &fourth, nullptr), VI_ERROR_HNDLR_NINSTALLED);
    EXPECT_EQ(panelmate_installEventHandler(vi, 0, nullptr, &fourth, nullptr), VI_ERROR_INV_HNDLR_REF);

    // A handler that writes into its message does not change what the next one gets.
    events.scribble = true;
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    const Lines sequence = {"system/1/populate", "system/1/start", "system/1/stop"};
    EXPECT_EQ(take(events.texts), sequence);
    Lines both;
    for (const auto &t : sequence) {
        both.push_back(t);
        both.push_back(t);
    }
    EXPECT_EQ(take(twice.texts), both);
    EXPECT_TRUE(fourth.texts.empty());

    // A negative answer ends the broadcast.
    events.answer = VI_ERROR_INV_OBJECT;
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/populate", "system/1/start"}));
    EXPECT_TRUE(take(twice.texts).empty());
    events.answer = VI_SUCCESS;

    // One uninstall removes both entries; the fourth fits then.
    EXPECT_EQ(panelmate_uninstallEventHandler(vi, 0, recordEvent, &twice), VI_SUCCESS);
    EXPECT_EQ(panelmate_uninstallEventHandler(vi, 0, recordEvent, &twice), VI_SUCCESS);
    ASSERT_EQ(panelmate_installEventHandler(vi, 0, recordEvent, &fourth, nullptr), VI_SUCCESS);
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts), (Lines{"system/1/stop"}));
    EXPECT_TRUE(take(twice.texts).empty());
    EXPECT_EQ(take(fourth.texts), (Lines{"system/1/stop"}));
}

TEST_F(BasicPanel, TracesGoToTheSpySink)
{
    db->exec("select 1");
    {
        std::ofstream reg(mtest::testDir() + "/registry");
        reg << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=1\n";
    }
    ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kBasicModel), VI_SUCCESS);
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    mtest::Sink spy;
    ASSERT_EQ(panelmate_registerSpyMsg(vi, spy.queue), VI_SUCCESS);
    ASSERT_EQ(panelmate_setSimulationMode(vi, 2), VI_ERROR_INV_PARAMETER);
    ViInt16 mode = 5;
    ASSERT_EQ(panelmate_getSimulationMode(vi, &mode), 0);
    char expected[3][160];
    snprintf(expected[0], sizeof expected[0], "panelmate_setSimulationMode(%#lx(system),0x2) retVal=0xbfff0078\n",
             static_cast<unsigned long>(vi));
    snprintf(expected[1], sizeof expected[1], "panelmate_getSimulationMode(%#lx(system),%#lx(0x5)) retVal=0\n",
             static_cast<unsigned long>(vi), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&mode)));
    EXPECT_EQ(spy.take(), (Lines{expected[0], expected[1]}));
    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    snprintf(expected[2], sizeof expected[2], "panelmate_close(%#lx(system)) retVal=???\n",
             static_cast<unsigned long>(vi));
    EXPECT_EQ(spy.take(), (Lines{expected[2]}));
}

TEST_F(BasicPanel, ClosingTheWindowStopsWhatRunsBeforeItReleasesTheStreams)
{
    // The manager's trace shows the order of the instrument's calls.
    std::ofstream(mtest::testDir() + "/registry") << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=1\n";
    open();
    addMember("A", 1);
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    const size_t before = mtest::readLines(db->debugLog()).size();
    ASSERT_EQ(ui("window;close"), VI_SUCCESS);
    Lines calls;
    const Lines lines = mtest::readLines(db->debugLog());
    for (size_t i = before; i < lines.size(); ++i)
        if (lines[i].find(",NULL,stop)") != std::string::npos || lines[i].rfind("tqdaq_closeStreams(", 0) == 0)
            calls.push_back(lines[i].substr(0, lines[i].find('(')));
    EXPECT_EQ(calls, (Lines{"tqdaq_doOperation", "tqdaq_closeStreams"}));
}

TEST_F(BasicPanel, AListenerThatAnswersStopWithStopIsHeardOnce)
{
    open();
    addMember("A", 1);
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    Reaction again{"stop", [&] { ui("navigator;operation;stop"); }};
    ASSERT_EQ(panelmate_installEventHandler(vi, 1, react, &again, nullptr), VI_SUCCESS);
    // Every running form that stops tells the listeners once; the stop they
    // answer with finds the instrument stopped.
    for (const char *form : {"navigator;operation;stop", "navigator;config", "window;close", "navigator;instrument;A",
                             "navigator;operation;start"}) {
        SCOPED_TRACE(form);
        ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
        again.heard = 0;
        sink.take();
        driverLog();
        EXPECT_EQ(ui(form), VI_SUCCESS);
        EXPECT_EQ(again.heard, 1);
        EXPECT_EQ(sink.take(), (Lines{"[system]stop: Already stopped."}));
        const Lines ops = driverLog();
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ(ops.front(), "A stop");
        if (enableOf("A") == "0") {
            ASSERT_EQ(ui("navigator;instrument;A"), VI_SUCCESS);
        }
        ui("navigator;operation;stop");
    }
    EXPECT_EQ(panelmate_uninstallEventHandler(vi, 1, react, &again), VI_SUCCESS);
}

TEST_F(BasicPanel, ADatabaseWideOperationReachesEachMemberOnce)
{
    open();
    addMember("A", 1, "1");
    addMember("B", 1, "2");
    addMember("C", 0, "0");
    for (const char *op : {"reset", "start", "stop"}) {
        SCOPED_TRACE(op);
        const Lines once = {std::string("A ") + op, std::string("B ") + op};
        // Without a name the walk reaches the instrument too, whose own
        // answer is the same walk.
        for (const char *name : {static_cast<const char *>(nullptr), ""}) {
            EXPECT_EQ(tqdaq_doOperation(session, name, op, nullptr), VI_SUCCESS);
            EXPECT_EQ(driverLog(), once);
        }
        // Named, the instrument walks the database itself.
        EXPECT_EQ(tqdaq_doOperation(session, "system", op, nullptr), VI_SUCCESS);
        EXPECT_EQ(driverLog(), once);
    }
}

TEST_F(BasicPanel, AListenerMayCloseTheSessionDuringABroadcast)
{
    // Through the manager, as the front panel sends its commands, and
    // straight to the instrument; closed on each text a start broadcasts.
    bool added = false;
    for (const bool direct : {false, true}) {
        for (const char *text : {"populate", "start"}) {
            SCOPED_TRACE(std::string(text) + (direct ? " direct" : " through the manager"));
            open();
            if (!added)
                addMember("A", 1);
            added = true;
            ViSession vi = 0;
            ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
            const ViSession closing = session;
            Reaction closer{text, [&] { EXPECT_EQ(tqdaq_closeHandle(closing), VI_SUCCESS); }};
            ASSERT_EQ(panelmate_installEventHandler(vi, 1, react, &closer, nullptr), VI_SUCCESS);
            if (direct)
                panelmate_uiEvent(vi, "navigator;operation;start");
            else
                ui("navigator;operation;start");
            EXPECT_EQ(closer.heard, 1);
            // The session is gone once the command has returned, and nothing
            // of it runs.
            char name[TQDAQ_NAME_SIZE];
            EXPECT_EQ(tqdaq_getDB(closing, name), VI_ERROR_INV_OBJECT);
            EXPECT_EQ(panelmate_uiEvent(vi, "navigator;config"), VI_ERROR_INV_OBJECT);
            EXPECT_EQ(db->value("select count(*) from users where handle is not null"), "0");
            EXPECT_EQ(db->value("select count(*) from vresource where deviceHandle is not null"), "0");
            session = 0;
        }
    }
}

} // namespace
