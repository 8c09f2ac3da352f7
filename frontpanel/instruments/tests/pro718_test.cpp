// The professional front panel's instrument over the simulated VISA library
// with one simulated model 718: the probe command discovers the board and
// gives it a member of the instrument's database, and a recording run
// captures its stream into a directory the listeners are told of.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>

#include "panel718.h"
#include "panelmatepro.h"
#include "tqdaq.h"
#include "tqstream.h"

namespace
{

using namespace paneltest;

constexpr ViUInt16 kProModel = 2;

class ProPanel718 : public Panel718
{
  protected:
    ProPanel718() : Panel718("panelmateproinstall") {}
};

Lines texts(Lines recorded)
{
    for (auto &e : recorded)
        e = e.substr(e.find('/', e.find('/') + 1) + 1);
    return recorded;
}

TEST_F(ProPanel718, TheProbeFindsTheBoardAndARecordingCapturesIt)
{
    ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kProModel), VI_SUCCESS);
    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    ASSERT_EQ(tqdaq_installEventHandler(session, "system", 1, recordEvent, &events, eventBuffer), VI_SUCCESS);
    const auto ui = [&](const std::string &message) {
        return tqdaq_doOperation(session, "system", "uiEvent", message.c_str());
    };

    // The probe populates the database from discovery; the listeners hear
    // the manager's assignment, then the command itself.
    ASSERT_GE(ui("navigator;operation;probe"), VI_SUCCESS);
    const Lines heard = texts(take(events.texts));
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back(), "navigator;operation;probe");
    bool assigned = false;
    for (const auto &t : heard)
        assigned = assigned || (t.rfind("assign;instrument;completion;", 0) == 0 &&
                                t.find(";PXI1::11::INSTR") != std::string::npos);
    EXPECT_TRUE(assigned) << ::testing::PrintToString(heard);
    const std::string member =
        db->value("select vresource.name from vresource,presource,db_resource,system where "
                  "presource.vresource_id=vresource.vresource_id and presource.name='PXI1::11::INSTR' and "
                  "db_resource.vresource_id=vresource.vresource_id and db_resource.db_id=system.db_id");
    ASSERT_FALSE(member.empty());

    const std::string analog =
        db->value("select category.category_id from category,ui,model where ui.category_id=category.category_id and "
                  "ui.model_id=model.model_id and model.model=" +
                  std::to_string(0x718) + " and category.name='Analog Channel'");
    ASSERT_FALSE(analog.empty());
    db->exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) select "
             "system.db_id,vresource.vresource_id," +
             analog + ",'AnalogChannelEnable',1,1,'1' from system,vresource where vresource.name='" + member + "'");

    const std::string dataPath = mtest::testDir() + "/data";
    ASSERT_EQ(tqdaq_setDataPath(session, dataPath.c_str()), VI_SUCCESS);
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_setRecordEnable(vi, 1), VI_SUCCESS);
    // The board's instrument opens with the start (its notice is passed on).
    ASSERT_EQ(ui("navigator;operation;start"), VI_SUCCESS);
    EXPECT_EQ(texts(take(events.texts)), (Lines{"pnpload;instrument;" + member, "populate", "record"}));
    ASSERT_EQ(ui("navigator;operation;stop"), VI_SUCCESS);
    const Lines stopped = texts(take(events.texts));
    ASSERT_EQ(stopped.size(), 3u);
    EXPECT_EQ(stopped[0], "stop");
    EXPECT_EQ(stopped[1], "stop");
    ASSERT_EQ(stopped[2].rfind("load;" + dataPath + "/system/", 0), 0u) << stopped[2];

    // The directory holds the board's stream file.
    const std::string directory = stopped[2].substr(5);
    bool streamFile = false;
    if (DIR *d = opendir(directory.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            streamFile = streamFile || (name.size() > 4 && name.substr(name.size() - 4) == ".stm");
        }
        closedir(d);
    }
    EXPECT_TRUE(streamFile) << directory;

    // The other probe actions: discovery alone, and discovery followed by
    // assigning every resource; the board keeps its member either way.
    const std::string assignedTo = "select vresource.name from vresource,presource where presource.vresource_id="
                                   "vresource.vresource_id and presource.name='PXI1::11::INSTR'";
    for (ViInt16 action : {TQPMPROPROBEHW, TQPMPROPROBEASSIGN}) {
        SCOPED_TRACE(action);
        ASSERT_EQ(panelmatepro_setProbeAction(vi, action), VI_SUCCESS);
        EXPECT_GE(panelmatepro_probe(vi), VI_SUCCESS);
        EXPECT_EQ(db->value(assignedTo), member);
    }

    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
}

TEST_F(ProPanel718, ClosingTheSessionWhileRecordingStopsTheBoardAndKeepsTheRecording)
{
    ASSERT_EQ(tqdaq_getHandle(&session, "operator", "pw", mtest::kVendor, kProModel), VI_SUCCESS);
    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(session, "system", &vi), VI_SUCCESS);
    ASSERT_GE(panelmatepro_probe(vi), VI_SUCCESS);
    const std::string member = boardMember();
    ASSERT_FALSE(member.empty());
    enableFirstChannel(member);
    const std::string dataPath = mtest::testDir() + "/data";
    ASSERT_EQ(tqdaq_setDataPath(session, dataPath.c_str()), VI_SUCCESS);
    ASSERT_EQ(panelmatepro_setRecordEnable(vi, 1), VI_SUCCESS);
    ASSERT_EQ(tqdaq_doOperation(session, "system", "uiEvent", "navigator;operation;start"), VI_SUCCESS);
    letItRun();

    // The board stops before the formula engine and the streams it feeds are
    // released, and what it recorded is a stream file that replays.
    ASSERT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
    session = 0;
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    std::string file;
    const std::string databaseDir = dataPath + "/system/";
    if (DIR *d = opendir(databaseDir.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string capture = databaseDir + e->d_name + "/";
            if (e->d_name[0] == '.')
                continue;
            if (DIR *c = opendir(capture.c_str())) {
                while (dirent *f = readdir(c)) {
                    const std::string name = f->d_name;
                    if (name.size() > 4 && name.substr(name.size() - 4) == ".stm")
                        file = capture + name;
                }
                closedir(c);
            }
        }
        closedir(d);
    }
    ASSERT_FALSE(file.empty());
    TQStream *replay = nullptr;
    ASSERT_EQ(OpenFileStream(file.c_str(), &replay), 0) << file;
    EXPECT_GT(replay->streamGetScansWritten(replay), 0);
    replay->streamRelease(&replay);
}

} // namespace
