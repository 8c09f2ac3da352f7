// A manager session record made by hand on a test database, for the tests
// that look inside it (the formula engine, the open records): the
// application model lists no operation, so opening members notifies nobody,
// and members of the test driver's model are named by their InstrumentName.
#pragma once

#include <string>
#include <vector>

#include "fixture.h"
#include "manager.h"

namespace mtest
{

struct InsideSession {
    explicit InsideSession(const char *dbName = "rig") : d(testDir())
    {
        appModel = d.addModel(kVendor, kAppModel, "appinstrument", "appinstrument", {});
        testModel = d.addTestModel();
        nameItem = d.addInstrumentNameOption(testModel);
        dbId = d.addDatabase(dbName, appModel);
        s.db = tq::devicedb::openDeviceDatabase();
        s.modelId = appModel;
        s.userName = "operator";
        s.handle = tq::manager::sessionTable().add(&s);
        // As a session starts: the engine with its output stream.
        s.engine = tq::manager::formulaEngineOps()->create(0);
        tq::manager::formulaEngineOps()->getStream(s.engine, nullptr, &s.formulaStream);
    }
    ~InsideSession()
    {
        // In the order a session closes: the engine lets the streams go
        // before their drivers are unloaded.
        if (s.formulaStream)
            s.formulaStream->streamRelease(&s.formulaStream);
        if (s.engine)
            tq::manager::formulaEngineOps()->release(&s.engine);
        tq::manager::unloadRemaining(&s);
        if (s.sink)
            s.sink->streamMsgRelease(&s.sink);
        tq::manager::sessionTable().remove(s.handle);
        tq::devicedb::closeDeviceDatabase(s.db);
    }
    int64_t member(const std::string &name, int enable = 1)
    {
        const int64_t v = d.addVresource(name, testModel);
        d.setInstrumentName(v, nameItem, name);
        d.addMember(dbId, v, enable);
        return v;
    }
    // Streams registered with the session's engine.
    int registered() const { return s.engine && s.engine->collection ? s.engine->collection->memberCount : 0; }
    // The test driver's log lines that hold word as their second word.
    std::vector<std::string> calls(const std::string &word) const
    {
        std::vector<std::string> out;
        for (const std::string &line : readLines(d.driverLog())) {
            const size_t a = line.find(' ');
            if (a != std::string::npos && line.compare(a + 1, word.size() + 1, word + " ") == 0)
                out.push_back(line);
            else if (a != std::string::npos && line.substr(a + 1) == word)
                out.push_back(line);
        }
        return out;
    }
    // Everything the session's message sink holds, one text per element.
    std::vector<std::string> messages()
    {
        std::vector<std::string> out;
        char text[512];
        uint32_t length = 0;
        while (s.sink && s.sink->streamMsgRead(s.sink, text, sizeof text, &length) == 0)
            out.emplace_back(text);
        return out;
    }
    void giveSink() { ASSERT_EQ(StreamMsgCommonCreate(8192, &s.sink), 0); }

    DeviceDb d;
    tq::manager::Session s;
    int64_t appModel = 0, testModel = 0, nameItem = 0, dbId = 0;
};

} // namespace mtest
