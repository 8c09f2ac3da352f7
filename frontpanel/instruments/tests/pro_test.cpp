// The professional front panel's instrument, loaded by the resource manager
// as the application model's own driver over a test device database with its
// catalogue installed. Members of its database are test drivers that log the
// operations they get; the instrument's events are read by a handler
// installed through the manager, its messages from the manager's sink.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "panel_commands.h"
#include "panelmatepro.h"
#include "tq/status.h"
#include "tqdaq.h"

namespace
{

using mtest::DeviceDb;
using namespace paneltest;

constexpr ViUInt16 kProModel = 2;
const ViStatus kInvalidSetup = static_cast<ViStatus>(0xBFFF003A);

const Lines kStarted = {"Begin Start operation.", "Start operation successful."};
const Lines kStopped = {"Begin Stop operation.", "Stop operation complete."};

Lines join(std::initializer_list<Lines> parts)
{
    Lines out;
    for (const Lines &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class ProPanel : public PanelCommands
{
  protected:
    ProPanel() : PanelCommands("panelmateproinstall") {}

    // Opens the session, registers the sink and the event handler.
    void open()
    {
        ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kProModel), VI_SUCCESS);
        ASSERT_EQ(tqdaq_registerStreamMsg(session, sink.queue), VI_SUCCESS);
        ASSERT_EQ(tqdaq_installEventHandler(session, selected().c_str(), 1, recordEvent, &events, eventBuffer),
                  VI_SUCCESS);
        sink.take();
        driverLog();
        events.texts.clear();
    }

    // A member as the common fixture adds it, opened now when a session is,
    // so that the manager's notice of its first open does not come in the
    // middle of a command.
    void addMember(const std::string &name, int enable = 1, const std::string &rank = "")
    {
        PanelCommands::addMember(name, enable, rank);
        ViSession member = 0;
        if (session) {
            EXPECT_EQ(tqdaq_getVresourceSession(session, name.c_str(), &member), VI_SUCCESS);
            EXPECT_EQ(eventTexts(), Lines{"pnpload;instrument;" + name});
            sink.take();
        }
    }

    std::string commandResource() override { return selected(); }
};

TEST_F(ProPanel, OpeningChoosesTheDatabase)
{
    struct Case {
        const char *what;
        std::vector<std::pair<std::string, ViUInt16>> databases; // name, model (1 basic, 2 professional)
        const char *selectedBefore;                              // or null
        const char *chosen;
        const char *instrumentName; // empty: the chosen database was there already
    };
    const std::vector<Case> cases = {
        {"none yet", {}, nullptr, "system", "system"},
        {"a selected one of this model", {{"mine", 2}}, "mine", "mine", ""},
        {"free names after those taken", {{"system", 2}, {"system1", 2}}, nullptr, "system2", "system2"},
        {"one of another model selected, and its name taken", {{"system", 1}}, "system", "system1", "system1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        db = std::make_unique<DeviceDb>(mtest::testDir());
        install();
        for (const auto &[name, model] : c.databases) {
            const std::string modelId =
                db->value("select model_id from model where vendor=" + std::to_string(mtest::kVendor) +
                          " and model=" + std::to_string(model));
            const int64_t id =
                modelId.empty() ? db->addModel(mtest::kVendor, model, "other", "other", {}) : std::stoll(modelId);
            db->addDatabase(name, id, c.selectedBefore && name == c.selectedBefore);
        }
        ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kProModel), VI_SUCCESS);
        EXPECT_EQ(selected(), c.chosen);
        char name[256] = "junk";
        ASSERT_EQ(panelmatepro_getInstrumentName(session, name), VI_SUCCESS);
        EXPECT_STREQ(name, c.instrumentName);
        EXPECT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
        session = 0;
    }
}

TEST_F(ProPanel, IdleCommands)
{
    open();
    addMember("A", 1, "2");
    addMember("B", 1, "1");
    addMember("C", 0);
    ASSERT_EQ(panelmatepro_setProbeAction(session, 0), VI_SUCCESS);
    const std::vector<Step> steps = {
        // The operations run on every enabled member in rank order, or on
        // the one named, and the message is passed on.
        {"navigator;operation;reset", VI_SUCCESS, {"B reset", "A reset"}, {"navigator;operation;reset"}, {}},
        {"navigator;operation;reset;A", VI_SUCCESS, {"A reset"}, {"navigator;operation;reset;A"}, {}},
        {"navigator;operation;verifyAllThermocoupleChannels",
         VI_SUCCESS,
         {},
         {"navigator;operation;verifyAllThermocoupleChannels"},
         {}},
        // The probe's walk reaches the instrument itself, which probes as its
        // probe action says (here one it does not know).
        {"navigator;operation;probe", VI_ERROR_INV_PARAMETER, {}, {"navigator;operation;probe"}, {}},
        // Stopping while stopped does nothing and says nothing.
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;stop;B", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;calibrate",
         VI_SUCCESS,
         {"A reset", "B reset", "B calibrate", "A calibrate"},
         {"populate"},
         {}},
        {"navigator;operation;powerupsave", VI_SUCCESS, {}, {}, {}},
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
        // Notifications: some are passed on unchanged, others are not.
        {"link;completion;T1", VI_SUCCESS, {}, {"link;completion;T1"}, {}},
        {"unlink;completion;T1", VI_SUCCESS, {}, {"unlink;completion;T1"}, {}},
        {"pnpload;instrument;A", VI_SUCCESS, {}, {"pnpload;instrument;A"}, {}},
        {"pnpunload;instrument;A", VI_SUCCESS, {}, {"pnpunload;instrument;A"}, {}},
        {"failed;duplicate;A", VI_SUCCESS, {}, {"failed;duplicate;A"}, {}},
        {"assign;instrument;completion;A;PA", VI_SUCCESS, {}, {"assign;instrument;completion;A;PA"}, {}},
        {"create;instrument;hello", VI_SUCCESS, {}, {"create;instrument;hello"}, {}},
        {"create;completion;T1", VI_SUCCESS, {}, {}, {}},
        {"delete;completion;T1", VI_SUCCESS, {}, {}, {}},
        // Text after the first ',' is no part of the message.
        {"link;completion;T2,more", VI_SUCCESS, {}, {"link;completion;T2"}, {}},
        // Words that match no form do nothing.
        {"Navigator;operation;start", VI_SUCCESS, {}, {}, {}},
        {"navigator", VI_SUCCESS, {}, {}, {}},
        {"create;instrument;x;abc;3", VI_SUCCESS, {}, {}, {}},
        {";;;;;;;;;;;;", VI_SUCCESS, {}, {}, {}},
        // The start: configured (members reset), told "populate", started,
        // told "start".
        {"navigator;operation;start",
         VI_SUCCESS,
         {"A reset", "B reset", "B start", "A start"},
         {"populate", "start"},
         kStarted},
    };
    run(steps);
}

TEST_F(ProPanel, RunningCommands)
{
    open();
    addMember("A", 1, "1");
    addMember("B", 1, "2");
    const Lines startAll = {"A reset", "B reset", "A start", "B start"};
    const std::vector<Step> steps = {
        {"navigator;operation;start;A", VI_SUCCESS, {"A reset", "B reset", "A start"}, {"populate", "start"}, kStarted},
        // The running resource again: nothing.
        {"navigator;operation;start;A", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;calibrate;A", VI_SUCCESS, {}, {}, {"calibrate: Can't calibrate while running."}},
        // Another one: the running one stops first.
        {"navigator;operation;start",
         VI_SUCCESS,
         join({{"A stop"}, startAll}),
         {"stop", "populate", "start"},
         join({kStopped, kStarted})},
        // Running on the whole database, a start without a resource does
        // nothing; nor does an empty resource word.
        {"navigator;operation;start", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;start;", VI_SUCCESS, {}, {}, {}},
        // Notifications and words of no form are not acted on while running.
        {"link;completion;T1", VI_SUCCESS, {}, {}, {}},
        {"create;instrument;x;1;2", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;probe", VI_SUCCESS, {}, {}, {}},
        {"DaDisp;pUnk;1234", VI_SUCCESS, {}, {}, {}},
        {"navigator;operation;stop", VI_SUCCESS, {"A stop", "B stop"}, {"stop"}, kStopped},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {}},
        // A reset stops, telling the listeners, then resets.
        {"navigator;operation;start", VI_SUCCESS, startAll, {"populate", "start"}, kStarted},
        {"navigator;operation;reset;B", VI_SUCCESS, {"A stop", "B stop", "B reset"}, {"stop"}, kStopped},
        {"navigator;operation;start;B", VI_SUCCESS, {"A reset", "B reset", "B start"}, {"populate", "start"}, kStarted},
        {"navigator;config", VI_SUCCESS, {"B stop"}, {"stop"}, kStopped},
        {"navigator;operation;start;B", VI_SUCCESS, {"A reset", "B reset", "B start"}, {"populate", "start"}, kStarted},
        // Closing the window stops everything, and the instrument is idle.
        {"window;close", VI_SUCCESS, {"A stop", "B stop"}, {"stop"}, kStopped},
        {"navigator;operation;start;B", VI_SUCCESS, {"A reset", "B reset", "B start"}, {"populate", "start"}, kStarted},
        // Toggling stops first.
        {"navigator;instrument;A", VI_SUCCESS, {"B stop", "B reset"}, {"stop", "pnpunload;instrument;A"}, kStopped},
        {"navigator;operation;stop", VI_SUCCESS, {}, {}, {}},
    };
    run(steps);
    EXPECT_EQ(enableOf("A"), "0");
}

TEST_F(ProPanel, StartResultsDecideTheState)
{
    open();
    addMember("A", 1, "1");
    addMember("nsupB", 1, "2");
    // The database's application data is the user's: a start leaves it be.
    ASSERT_EQ(tqdaq_setAppData(session, "mykey", "precious", 1), VI_SUCCESS);
    // A warning from the walk: running, and said to be successful.
    ASSERT_EQ(ui("navigator;operation;start"), TQ_WARN_OPER_SKIPPED);
    char kept[64] = {};
    ViUInt32 length = 0;
    EXPECT_EQ(tqdaq_getAppData(session, "mykey", kept, sizeof kept, &length), VI_SUCCESS);
    EXPECT_STREQ(kept, "precious");
    EXPECT_EQ(eventTexts(), (Lines{"populate", "start"}));
    EXPECT_EQ(sink.take(), kStarted);
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(eventTexts(), (Lines{"stop"}));

    // A member that fails its start: everything is told to stop, no "start"
    // is broadcast, and the instrument stays idle.
    addMember("failC", 1, "3");
    driverLog();
    sink.take();
    EXPECT_EQ(static_cast<uint32_t>(ui("navigator;operation;start")), 0xBFFF0000u);
    EXPECT_EQ(eventTexts(), (Lines{"populate"}));
    EXPECT_EQ(sink.take(), (Lines{"Begin Start operation.", "Start operation failed."}));
    EXPECT_EQ(driverLog(), (Lines{"A reset", "failC reset", "nsupB reset", "A start", "nsupB start", "failC start",
                                  "A stop", "nsupB stop", "failC stop"}));
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_TRUE(driverLog().empty());
}

TEST_F(ProPanel, AConfigurationThatFailsEndsTheActionBeforeAnythingRuns)
{
    open();
    addMember("A", 1, "1");
    addMember("badresetB", 1, "2");
    const std::vector<Step> steps = {
        {"navigator;operation;start",
         TQDAQ_ERROR_STATEMENT,
         {"A reset", "badresetB reset"},
         {},
         {"Begin Start operation.", "Error in configuration: Unable to reset badresetB", "Start operation failed."}},
        {"navigator;operation;calibrate",
         TQDAQ_ERROR_STATEMENT,
         {"A reset", "badresetB reset"},
         {"populate"},
         {"Error in configuration: Unable to reset badresetB"}},
        // Disabling one fails when the others cannot be configured: it is
        // enabled again.
        {"navigator;instrument;A",
         TQDAQ_ERROR_STATEMENT,
         {"badresetB reset"},
         {"pnpunload;instrument;A"},
         {"Disable Instrument creates error: Unable to reset badresetB"}},
        // A rename of an enabled one is undone the same way, and not told.
        {"rename;instrument;A;A2",
         TQDAQ_ERROR_STATEMENT,
         {"A2 reset", "badresetB reset"},
         {"pnpload;instrument;A"},
         {"Rename A as A2", "Rename Instrument creates error: Unable to reset badresetB", "Rename A2 as A"}},
    };
    run(steps);
    EXPECT_EQ(enableOf("A"), "1");
    EXPECT_EQ(db->value("select count(*) from vresource where name='A2'"), "0");
}

TEST_F(ProPanel, InstrumentManagement)
{
    open();
    addMember("A", 1);
    addMember("B", 0);
    const std::string db0 = selected();
    const std::vector<Step> steps = {
        // An enabled one cannot be deleted.
        {"delete;instrument;A", kInvalidSetup, {}, {}, {"Instrument A must be disabed before deleted."}},
        {"delete;instrument;nobody", TQDAQ_ERROR_STATEMENT, {}, {}, {}},
        // Enabling applies nothing; disabling configures the rest.
        {"navigator;instrument;B", VI_SUCCESS, {}, {}, {}},
        {"navigator;instrument;B", VI_SUCCESS, {"A reset"}, {"pnpunload;instrument;B"}, {}},
        // Renaming a disabled one; the listeners hear the new name.
        {"rename;instrument;B;B2", VI_SUCCESS, {}, {"pnpload;instrument;B", "rename;B;B2"}, {"Rename B as B2"}},
        // Removing an assignment: the manager's notification is passed on.
        {"assign;instrument;request;B2",
         VI_SUCCESS,
         {},
         {"pnpunload;instrument;B2", "assign;instrument;completion;B2"},
         {"Unassign resource B2"}},
        // A device the manager finds unfit: its refusal is the answer.
        {"assign;instrument;request;B2;PB", VI_ERROR_INV_PARAMETER, {}, {}, {}},
        // An enabled one is disabled before it is assigned.
        {"assign;instrument;request;A;PA", VI_ERROR_INV_PARAMETER, {}, {"pnpunload;instrument;A"}, {}},
        // Creating: the numbers are read as far as they go; the manager's
        // link notification is passed on, its creation notice is not.
        {"create;instrument;N;15450;300a",
         VI_SUCCESS,
         {},
         {"link;completion;N", "pnpload;instrument;N", "create;N;15450;300"},
         {"Created N"}},
        // The manager's failure is the answer; its notice is passed on.
        {"create;instrument;N2;12a;3", TQDAQ_ERROR_STATEMENT, {}, {"failed"}, {"Failed to create N2"}},
        {"option;instrument;N;InstrumentName;Nn", VI_SUCCESS, {}, {}, {}},
        {"option;instrument;N;InstrumentName", VI_SUCCESS, {}, {}, {}},
        // Deleting a disabled one: unlinked (passed on), then deleted.
        {"delete;instrument;B2", VI_SUCCESS, {}, {"unlink;completion;B2"}, {"Deleted B2"}},
    };
    run(steps);
    EXPECT_EQ(enableOf("A"), "0");
    EXPECT_EQ(db->value("select count(*) from vresource where name in ('B','B2')"), "0");
    EXPECT_EQ(db->value("select presource.name from presource,vresource where presource.vresource_id="
                        "vresource.vresource_id and vresource.name='A'"),
              "PA");
    EXPECT_EQ(db->value("select vresource_id from presource where name='PB'"), "NULL");
    EXPECT_EQ(db->value("select value from vresource_options,vresource where vresource_options.vresource_id="
                        "vresource.vresource_id and vresource.name='N'"),
              "Nn");
    EXPECT_EQ(db->value("select count(*) from db_resource,vresource where db_resource.vresource_id="
                        "vresource.vresource_id and vresource.name='N'"),
              "1");
    EXPECT_EQ(selected(), db0);
}

TEST_F(ProPanel, RecordingCapturesAndTellsWhereTheFilesAre)
{
    open();
    addMember("A", 1);
    const std::string dataPath = mtest::testDir() + "/data";
    ASSERT_EQ(tqdaq_setDataPath(session, dataPath.c_str()), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_setRecordEnable(session, 1), VI_SUCCESS);
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(eventTexts(), (Lines{"populate", "record"}));
    EXPECT_EQ(sink.take(), kStarted);

    // The capture is closed at the stop even though recording was switched
    // off meanwhile.
    ASSERT_EQ(panelmatepro_setRecordEnable(session, 0), VI_SUCCESS);
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    const Lines texts = eventTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "stop");
    EXPECT_EQ(texts[1], "stop");
    ASSERT_EQ(texts[2].rfind("load;" + dataPath + "/", 0), 0u) << texts[2];
    struct stat st {
    };
    EXPECT_EQ(stat(texts[2].substr(5).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    // The next run does not record, and its stop says nothing of a capture.
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(eventTexts(), (Lines{"populate", "start", "stop"}));

    // A data path where no directory can be made: the start fails before
    // anything starts, and the instrument stays idle.
    const std::string blocked = mtest::testDir() + "/file";
    std::ofstream(blocked) << "x";
    ASSERT_EQ(tqdaq_setDataPath(session, blocked.c_str()), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_setRecordEnable(session, 1), VI_SUCCESS);
    driverLog();
    sink.take();
    EXPECT_LT(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(driverLog(), (Lines{"A reset"}));
    EXPECT_EQ(eventTexts(), Lines{});
    EXPECT_EQ(sink.take(),
              (Lines{"Begin Start operation.", "error in opening capture files", "Start operation failed."}));
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(eventTexts(), Lines{});
}

TEST_F(ProPanel, ARecordingStartThatFailsClosesItsCapture)
{
    // The manager's own trace shows which captures were opened and closed.
    db->exec("select 1");
    {
        std::ofstream reg(mtest::testDir() + "/registry");
        reg << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=1\n";
    }
    const std::string log = mtest::testDir() + "/debug.log";
    setenv("TQ_DEBUG_LOG", log.c_str(), 1);
    open();
    addMember("failA", 1);
    ASSERT_EQ(tqdaq_setDataPath(session, (mtest::testDir() + "/data").c_str()), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_setRecordEnable(session, 1), VI_SUCCESS);
    EXPECT_EQ(static_cast<uint32_t>(ui("navigator;operation;start")), 0xBFFF0000u);
    unsetenv("TQ_DEBUG_LOG");
    EXPECT_EQ(eventTexts(), (Lines{"populate"}));
    Lines captures;
    for (const std::string &line : mtest::readLines(log))
        if (line.rfind("tqdaq_capture", 0) == 0)
            captures.push_back(line.substr(0, line.find('(')));
    EXPECT_EQ(captures, (Lines{"tqdaq_captureOpenDB", "tqdaq_captureClose"}));
    // Nothing is left running, so the stop has nothing to close.
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    EXPECT_EQ(eventTexts(), Lines{});
}

TEST_F(ProPanel, SettingsByName)
{
    open();
    TQPnPHandle *h = reinterpret_cast<TQPnPHandle *>(static_cast<uintptr_t>(session));
    ASSERT_EQ(panelmatepro_getPnPHandle(nullptr, &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    const std::string dataPath = mtest::testDir() + "/elsewhere";
    struct Set {
        const char *name;
        const char *value;
        ViStatus status;
    };
    const std::vector<Set> sets = {
        {"InstrumentName", "Bench 1,ignored", VI_SUCCESS},
        {"InstrumentName", ",x", VI_ERROR_INV_PARAMETER},
        {"InstrumentName", nullptr, VI_ERROR_INV_PARAMETER},
        {"FileMenuSupport", "1", VI_ERROR_NSUP_OPER},
        {"FileMenuSupport", "x", VI_ERROR_INV_PARAMETER},
        {"PostProcessSupport", "0", VI_ERROR_NSUP_OPER},
        {"EditMenuSupport", "", VI_ERROR_INV_PARAMETER},
        {"ProbeAction", "3", VI_SUCCESS},
        {"ProbeAction", "two", VI_ERROR_INV_PARAMETER},
        {"ProbeOnStartEnable", " 0,1", VI_SUCCESS},
        {"RecordEnable", "7x", VI_SUCCESS},
        {"RecordEnable", "99999", VI_SUCCESS},
        {"DataPath", dataPath.c_str(), VI_SUCCESS},
        {"DataPath", "", VI_ERROR_INV_PARAMETER},
        {"probeaction", "1", VI_ERROR_NSUP_OPER},
    };
    for (const Set &s : sets) {
        SCOPED_TRACE(std::string(s.name) + "=" + (s.value ? s.value : "null"));
        EXPECT_EQ(h->setPropertyByName(h->session, s.name, s.value), s.status);
    }
    struct Get {
        const char *name;
        ViStatus status;
        std::string text;
    };
    const std::vector<Get> gets = {
        {"InstrumentName", VI_SUCCESS, "Bench 1"},
        {"FileMenuSupport", VI_SUCCESS, "0"},
        {"PostProcessSupport", VI_ERROR_NSUP_OPER, ""},
        {"EditMenuSupport", VI_ERROR_NSUP_OPER, ""},
        {"ProbeAction", VI_SUCCESS, "3"},
        {"ProbeOnStartEnable", VI_SUCCESS, "0"},
        {"RecordEnable", VI_SUCCESS, "32767"},
        {"DataPath", VI_SUCCESS, dataPath},
        {"Other", VI_ERROR_NSUP_OPER, ""},
    };
    for (const Get &g : gets) {
        SCOPED_TRACE(g.name);
        char value[256] = {};
        EXPECT_EQ(h->getPropertyByName(h->session, g.name, "", value, sizeof value), g.status);
        EXPECT_EQ(std::string(value), g.text);
    }
    // A short buffer gets what fits, terminated.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(h->getPropertyByName(h->session, "InstrumentName", "", small, sizeof small), VI_SUCCESS);
    EXPECT_STREQ(small, "Ben");
    // A name longer than the instrument keeps is cut at 255 characters.
    const std::string longName(300, 'n');
    EXPECT_EQ(panelmatepro_setInstrumentName(h->session, longName.c_str()), VI_SUCCESS);
    char name[256];
    EXPECT_EQ(panelmatepro_getInstrumentName(h->session, name), VI_SUCCESS);
    EXPECT_EQ(std::string(name), longName.substr(0, 255));
    EXPECT_EQ(h->setPropertyByName(h->session, "DataPath", longName.c_str()), VI_ERROR_INV_PARAMETER);

    // The same settings through the exports.
    ViInt16 v = -1;
    EXPECT_EQ(panelmatepro_getProbeAction(h->session, &v), VI_SUCCESS);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(panelmatepro_getProbeOnStartEnable(h->session, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(panelmatepro_getRecordEnable(h->session, &v), VI_SUCCESS);
    EXPECT_EQ(v, 32767);

    TQPnPHandle *holder = h;
    EXPECT_EQ(h->release(&holder), VI_SUCCESS);
    EXPECT_EQ(holder, nullptr);
}

TEST_F(ProPanel, ProbeChoosesADatabaseThenDiscovers)
{
    open();
    const std::string own = selected();
    // Keeps the selected database; an action it does not know fails after
    // the choice.
    ASSERT_EQ(panelmatepro_setProbeAction(session, 4), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_probe(session), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(selected(), own);
    // Without a selected database it creates one.
    ASSERT_EQ(tqdaq_setDB(session, nullptr), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_probe(session), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(selected(), "Untitled");
    char name[256] = {};
    ASSERT_EQ(panelmatepro_getInstrumentName(session, name), VI_SUCCESS);
    EXPECT_STREQ(name, "Untitled");
    ASSERT_EQ(tqdaq_setDB(session, nullptr), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_probe(session), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(selected(), "Untitled1");
    EXPECT_EQ(panelmatepro_probe(session + 1000), VI_ERROR_INV_OBJECT);
}

TEST_F(ProPanel, DirectInterface)
{
    open();
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, selected().c_str(), &vi), VI_SUCCESS);
    EXPECT_EQ(vi, session);

    ViInt16 mode = 7;
    EXPECT_EQ(panelmatepro_getSimulationMode(vi, &mode), 0);
    EXPECT_EQ(panelmatepro_setSimulationMode(vi, 1), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_getSimulationMode(vi, &mode), 1);
    EXPECT_EQ(mode, 7);
    EXPECT_EQ(panelmatepro_setSimulationMode(vi, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_setSimulationMode(vi, 0), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_getSimulationMode(vi, nullptr), 0);

    // DaDisp;pUnk stores the viewer's thread while idle.
    EXPECT_EQ(panelmatepro_uiEvent(vi, "DaDisp;pUnk;1234"), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_uiEvent(vi, ""), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_uiEvent(vi, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_uiEvent(vi, ",a"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_uiEvent(vi, ("link;" + std::string(300, 'x')).c_str()), VI_ERROR_INV_PARAMETER);
    EXPECT_TRUE(events.texts.empty());

    const ViSession unknown = vi + 1000;
    ViInt16 v = 0;
    char text[256];
    const std::vector<std::pair<const char *, ViStatus>> refusals = {
        {"close", panelmatepro_close(unknown)},
        {"uiEvent", panelmatepro_uiEvent(unknown, "navigator;config")},
        {"setSimulationMode", panelmatepro_setSimulationMode(unknown, 1)},
        {"getSimulationMode", panelmatepro_getSimulationMode(unknown, &v)},
        {"registerStreamMsg", panelmatepro_registerStreamMsg(unknown, nullptr)},
        {"registerSpyMsg", panelmatepro_registerSpyMsg(unknown, nullptr)},
        {"installEventHandler", panelmatepro_installEventHandler(unknown, 1, recordEvent, nullptr, nullptr)},
        {"uninstallEventHandler", panelmatepro_uninstallEventHandler(unknown, 1, recordEvent, nullptr)},
        {"wait", panelmatepro_wait(unknown, 1, 10, nullptr, nullptr)},
        {"setInstrumentName", panelmatepro_setInstrumentName(unknown, "x")},
        {"getInstrumentName", panelmatepro_getInstrumentName(unknown, text)},
        {"setProbeAction", panelmatepro_setProbeAction(unknown, 1)},
        {"getRecordEnable", panelmatepro_getRecordEnable(unknown, &v)},
        {"setDataPath", panelmatepro_setDataPath(unknown, "/tmp")},
        {"getDataPath", panelmatepro_getDataPath(unknown, text)},
    };
    for (const auto &[what, st] : refusals)
        EXPECT_EQ(st, VI_ERROR_INV_OBJECT) << what;
    EXPECT_EQ(panelmatepro_setInstrumentName(vi, ""), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_setInstrumentName(vi, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_getInstrumentName(vi, nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(panelmatepro_setFileMenuSupport(vi, 1), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(panelmatepro_getPostProcessSupport(vi, 1), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(panelmatepro_crossCheck(vi, nullptr), VI_SUCCESS);
}

TEST_F(ProPanel, PnPHandleOperations)
{
    open();
    addMember("A", 1);
    TQPnPHandle *h = reinterpret_cast<TQPnPHandle *>(static_cast<uintptr_t>(session));
    ASSERT_EQ(panelmatepro_getPnPHandle(nullptr, &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->refCount, 1);
    EXPECT_EQ(h->session, session);
    EXPECT_NE(h->wait, nullptr);
    EXPECT_EQ(h->doOperation(h->session, "start", nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "Probe", nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "uiEvent", nullptr), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(h->attachBackend(h->session, h), VI_ERROR_NSUP_OPER);
    ASSERT_EQ(panelmatepro_setProbeAction(h->session, 9), VI_SUCCESS);
    EXPECT_EQ(h->doOperation(h->session, "probe", "ignored"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(h->wait(h->session, 1, 1, nullptr, nullptr), VI_ERROR_TMO);

    EXPECT_EQ(h->addReference(h), VI_SUCCESS);
    TQPnPHandle *holder = h;
    EXPECT_EQ(h->release(&holder), VI_SUCCESS);
    EXPECT_EQ(holder, h);
    EXPECT_EQ(h->release(&holder), VI_SUCCESS);
    EXPECT_EQ(holder, nullptr);

    // The manager's own instrument session answers as before.
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(eventTexts(), (Lines{"populate", "start"}));

    TQPnPHandle *bad = reinterpret_cast<TQPnPHandle *>(static_cast<uintptr_t>(session + 77));
    EXPECT_EQ(panelmatepro_getPnPHandle(nullptr, &bad), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(bad, nullptr);
    EXPECT_EQ(panelmatepro_getPnPHandle(nullptr, nullptr), VI_ERROR_INV_PARAMETER);
}

TEST_F(ProPanel, HandlersHearOnlyTheirBits)
{
    open();
    Events none, twice;
    ASSERT_EQ(panelmatepro_installEventHandler(session, 2, recordEvent, &none, nullptr), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_installEventHandler(session, 3, recordEvent, &twice, nullptr), VI_SUCCESS);
    Events fourth;
    EXPECT_EQ(panelmatepro_installEventHandler(session, 1, recordEvent, &fourth, nullptr), VI_ERROR_HNDLR_NINSTALLED);
    events.scribble = true;
    ASSERT_EQ(ui("link;completion;T1"), VI_SUCCESS);
    EXPECT_TRUE(none.texts.empty());
    // A handler that writes into its message does not change what the next
    // one gets.
    const Lines first = take(events.texts);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first.front().substr(first.front().rfind('/') + 1), "link;completion;T1");
    EXPECT_EQ(twice.texts, first);
    // A negative answer ends the broadcast.
    events.answer = VI_ERROR_INV_OBJECT;
    twice.texts.clear();
    ASSERT_EQ(ui("link;completion;T2"), VI_SUCCESS);
    EXPECT_EQ(take(events.texts).size(), 1u);
    EXPECT_TRUE(twice.texts.empty());
    EXPECT_EQ(panelmatepro_uninstallEventHandler(session, 0, recordEvent, &none), VI_SUCCESS);
    EXPECT_EQ(panelmatepro_installEventHandler(session, 1, recordEvent, &fourth, nullptr), VI_SUCCESS);
}

TEST_F(ProPanel, WaitersGetTheEventsOfTheirMask)
{
    open();
    struct Waiting {
        ViUInt32 mask;
        ViUInt32 timeoutMs;
        ViStatus status = VI_ERROR_SYSTEM_ERROR;
        ViUInt32 bits = 99;
        char text[256] = {};
        std::atomic<bool> done{false};
    };
    Waiting hears{1, 60000}, deaf{2, 100};
    std::vector<std::thread> threads;
    for (Waiting *w : {&hears, &deaf})
        threads.emplace_back([this, w] {
            w->status = panelmatepro_wait(session, w->mask, w->timeoutMs, &w->bits, w->text);
            w->done = true;
        });
    // A waiter may not be inside its wait yet: the instrument keeps telling
    // until both have come back. Events of other bits do not keep the deaf
    // one waiting beyond its time-out.
    for (int i = 0; i < 100000 && !(hears.done && deaf.done); ++i)
        if (ui("link;completion;W") != VI_SUCCESS)
            break;
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(hears.status, VI_SUCCESS);
    EXPECT_EQ(hears.bits, 1u);
    EXPECT_STREQ(hears.text, "link;completion;W");
    EXPECT_EQ(deaf.status, VI_ERROR_TMO);
}

TEST_F(ProPanel, TracesGoToTheSpySink)
{
    db->exec("select 1");
    {
        std::ofstream reg(mtest::testDir() + "/registry");
        reg << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=1\n";
    }
    ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kProModel), VI_SUCCESS);
    const ViSession vi = session;
    mtest::Sink spy;
    ASSERT_EQ(panelmatepro_registerSpyMsg(vi, spy.queue), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_setSimulationMode(vi, 2), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(panelmatepro_setProbeAction(vi, -1), VI_SUCCESS);
    ViInt16 v = 0;
    ASSERT_EQ(panelmatepro_getRecordEnable(vi, &v), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_probe(vi), VI_ERROR_INV_PARAMETER);
    const unsigned long s = static_cast<unsigned long>(vi);
    char expected[5][200];
    snprintf(expected[0], sizeof expected[0], "panelmatepro_setSimulationMode(%#lx(system),0x2) retVal=0xbfff0078\n",
             s);
    snprintf(expected[1], sizeof expected[1], "panelmatepro_setProbeAction(%#lx(system),0xffff) retVal=0\n", s);
    snprintf(expected[2], sizeof expected[2], "panelmatepro_getInputMode(%#lx(system),%#lx(0)) retVal=0\n", s,
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&v)));
    snprintf(expected[3], sizeof expected[3], "panelmatepro_probe(%#lx(system)) retVal=0xbfff0078\n", s);
    EXPECT_EQ(spy.take(), (Lines{expected[0], expected[1], expected[2], expected[3]}));
    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    snprintf(expected[4], sizeof expected[4], "panelmatepro_close(%#lx(system)) retVal=???\n", s);
    EXPECT_EQ(spy.take(), (Lines{expected[4]}));
}

TEST_F(ProPanel, AListenerThatAnswersStopWithStopIsHeardOnce)
{
    open();
    addMember("A", 1);
    Reaction again{"stop", [&] { ui("navigator;operation;stop"); }};
    ASSERT_EQ(panelmatepro_installEventHandler(session, 1, react, &again, nullptr), VI_SUCCESS);
    // Every running form that stops tells the listeners once (twice when
    // recording); the stop they answer with finds the instrument stopped.
    const std::string dataPath = mtest::testDir() + "/data";
    ASSERT_EQ(tqdaq_setDataPath(session, dataPath.c_str()), VI_SUCCESS);
    for (const ViInt16 record : {0, 1}) {
        ASSERT_EQ(panelmatepro_setRecordEnable(session, record), VI_SUCCESS);
        for (const char *form :
             {"navigator;operation;stop", "navigator;config", "window;close", "navigator;instrument;A",
              "navigator;operation;reset", "navigator;operation;start;A"}) {
            SCOPED_TRACE(std::string(form) + (record ? " recording" : ""));
            ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
            again.heard = 0;
            driverLog();
            EXPECT_EQ(ui(form), VI_SUCCESS);
            EXPECT_EQ(again.heard, record ? 2 : 1);
            const Lines ops = driverLog();
            ASSERT_FALSE(ops.empty());
            EXPECT_EQ(ops.front(), "A stop");
            if (enableOf("A") == "0") {
                ASSERT_EQ(ui("navigator;instrument;A"), VI_SUCCESS);
            }
            ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
            events.texts.clear();
        }
    }
    EXPECT_EQ(panelmatepro_uninstallEventHandler(session, 1, react, &again), VI_SUCCESS);
}

TEST_F(ProPanel, AListenerMayCloseTheSessionDuringABroadcast)
{
    open();
    addMember("A", 1);
    const std::string own = selected();
    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    struct Case {
        const char *heard; // the text whose listener closes the session
        bool direct;       // the command goes straight to the instrument
        std::function<void(ViSession)> command;
    };
    const auto start = [&own](ViSession s) {
        tqdaq_doOperation(s, own.c_str(), "uiEvent", "navigator;operation;start");
    };
    const auto startDirect = [](ViSession s) { panelmatepro_uiEvent(s, "navigator;operation;start"); };
    const Case cases[] = {
        {"populate", false, start},
        {"start", false, start},
        {"populate", true, startDirect},
        {"start", true, startDirect},
        // A notification the instrument passes on in the middle of a manager
        // call: the call ends on the record it began with.
        {"link;completion;W", false,
         [](ViSession s) {
             EXPECT_EQ(tqdaq_createVresource(s, "W", mtest::kVendor, 300, ""), VI_SUCCESS);
             EXPECT_EQ(tqdaq_linkVresource(s, "W"), VI_SUCCESS);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.heard) + (c.direct ? " direct" : " through the manager"));
        open();
        const ViSession closing = session;
        session = 0;
        Reaction closer{c.heard, [&] { EXPECT_EQ(tqdaq_closeHandle(closing), VI_SUCCESS); }};
        ASSERT_EQ(panelmatepro_installEventHandler(closing, 1, react, &closer, nullptr), VI_SUCCESS);
        c.command(closing);
        EXPECT_EQ(closer.heard, 1);
        // The session is gone once the command has returned, and nothing of
        // it runs.
        char name[TQDAQ_NAME_SIZE];
        EXPECT_EQ(tqdaq_getDB(closing, name), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(panelmatepro_uiEvent(closing, "navigator;config"), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(db->value("select count(*) from users where handle is not null"), "0");
        EXPECT_EQ(db->value("select count(*) from vresource where deviceHandle is not null"), "0");
    }
}

TEST_F(ProPanel, CreatedModelCodesAreSixteenBitCodes)
{
    open();
    // A model code above the largest signed 16-bit number names that code;
    // the listeners hear it as the 16-bit number it is.
    db->addModel(mtest::kVendor, 40000, "panelmember", "tqpanelmember", {"start"});
    EXPECT_EQ(ui("create;instrument;W;15450;40000"), VI_SUCCESS);
    EXPECT_EQ(db->value("select model.model from model,vresource where vresource.model_id=model.model_id and "
                        "vresource.name='W'"),
              "40000");
    const Lines texts = eventTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "create;W;15450;-25536");
}

} // namespace
