// What the command tests of both instruments share: the instrument loaded by
// the resource manager over a test device database holding its catalogue and
// a member model whose drivers log the operations they get, and a runner of
// command tables.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "panel.h"
#include "tqdaq.h"

namespace paneltest
{

// One command and everything it must cause.
struct Step {
    const char *message;
    ViStatus status;
    Lines ops;    // operations the members got, in order
    Lines events; // texts the instrument broadcast
    Lines sink;   // lines on the message sink
};

class PanelCommands : public ::testing::Test
{
  protected:
    // The instrument's own catalogue installer, from the build's bin folder.
    explicit PanelCommands(const char *installer) : installer_(installer) {}

    void SetUp() override
    {
        db = std::make_unique<mtest::DeviceDb>(mtest::testDir());
        install();
    }
    void TearDown() override
    {
        if (session) {
            EXPECT_EQ(tqdaq_closeHandle(session), VI_SUCCESS);
        }
    }

    void install()
    {
        const std::string cmd = std::string("'" TQ_BIN_DIR "/") + installer_ + "' insert >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        setenv("TQ_PANEL_MEMBER_LOG", memberLog().c_str(), 1);
        memberModel =
            db->addModel(mtest::kVendor, 300, "panelmember", "tqpanelmember", {"start", "stop", "reset", "calibrate"});
        nameItem = db->addInstrumentNameOption(memberModel);
        logSeen = mtest::readLines(memberLog()).size();
    }

    std::string memberLog() const { return mtest::testDir() + "/member.log"; }

    // The selected database's own resource.
    std::string selected()
    {
        return db->value("select vresource.name from system,db,vresource where system.db_id=db.db_id and "
                         "db.vresource_id=vresource.vresource_id");
    }

    // A member of the selected database, assigned to a device of its own,
    // enabled or not.
    void addMember(const std::string &name, int enable = 1, const std::string &rank = "")
    {
        const int64_t v = db->addVresource(name, memberModel);
        db->exec("insert into presource (name,model_id,vresource_id,autodetect) values ('P" + name + "'," +
                 std::to_string(memberModel) + "," + std::to_string(v) + ",0)");
        db->setInstrumentName(v, nameItem, name);
        const std::string dbId = db->value("select db_id from system where system_id=1");
        db->addMember(std::stoll(dbId), v, enable);
        if (!rank.empty())
            db->setConfig(std::stoll(dbId), v, "Rank", rank);
    }
    std::string enableOf(const std::string &name)
    {
        return db->value("select enable from db_resource,vresource where db_resource.vresource_id="
                         "vresource.vresource_id and vresource.name='" +
                         name + "'");
    }

    // The operations the members got since the last call, "<member> <op>".
    Lines driverLog()
    {
        Lines ops;
        const auto lines = mtest::readLines(memberLog());
        for (size_t i = logSeen; i < lines.size(); ++i)
            ops.push_back(lines[i]);
        logSeen = lines.size();
        return ops;
    }

    // The texts of the events recorded since the last call, without the
    // instrument's name and the event bits.
    Lines eventTexts()
    {
        Lines texts;
        for (const auto &e : take(events.texts))
            texts.push_back(e.substr(e.find('/', e.find('/') + 1) + 1));
        return texts;
    }

    // The resource whose "uiEvent" operation carries the commands.
    virtual std::string commandResource() = 0;

    ViStatus ui(const std::string &message)
    {
        return tqdaq_doOperation(session, commandResource().c_str(), "uiEvent", message.c_str());
    }

    // Runs the commands in order and checks what each caused.
    void run(const std::vector<Step> &steps)
    {
        for (const Step &s : steps) {
            SCOPED_TRACE(s.message);
            EXPECT_EQ(static_cast<uint32_t>(ui(s.message)), static_cast<uint32_t>(s.status));
            EXPECT_EQ(driverLog(), s.ops);
            EXPECT_EQ(eventTexts(), s.events);
            EXPECT_EQ(sink.take(), s.sink);
        }
    }

    std::unique_ptr<mtest::DeviceDb> db;
    int64_t memberModel = 0;
    int64_t nameItem = 0;
    ViSession session = 0;
    mtest::Sink sink;
    Events events;
    ViChar eventBuffer[256] = {};
    size_t logSeen = 0;

  private:
    const char *installer_;
};

} // namespace paneltest
