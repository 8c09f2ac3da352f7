// One formula build of a session: 8 members with 16 enabled channels each
// and 20 stored formulas, through the real formula engine (the parse
// included), over drivers that answer from memory. What the build costs is
// its own: the statements it steps, the driver calls and the engine.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "manager.h"

using namespace tq::manager;

namespace
{

constexpr int kMembers = 8, kChannels = 16, kStored = 20;

void exec(sqlite3 *db, const std::string &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error);
        std::abort();
    }
}

struct Fixture {
    std::string root;
    ViSession handle = 0;
    Session *session = nullptr;

    Fixture()
    {
        char dir[] = "/tmp/tqbench.XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        root = dir;
        if (std::system(("sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null").c_str()))
            std::abort();
        setenv("VPNPPATH", root.c_str(), 1);
        setenv("TQ_FAKEDRIVER_PROPS", (root + "/props").c_str(), 1);
        {
            std::ofstream props(root + "/props");
            for (int c = 0; c < kChannels; ++c)
                props << "ChannelName " << c << " ai" << c << "\n";
        }
        sqlite3 *db = nullptr;
        if (sqlite3_open((root + "/winnt/tqdaq/device").c_str(), &db) != SQLITE_OK)
            std::abort();
        exec(db, "begin");
        exec(db, "insert into model (model_id,vendor,model,platform,prefix,pnplibname) values "
                 "(1,15450,100,'sys','appinstrument','appinstrument'),(2,15450,1827,'sys','tqmfake','tqmfakechan')");
        exec(db, "insert into vresource (vresource_id,name,model_id) values (1,'system',1)");
        exec(db, "insert into db (db_id,vresource_id) values (1,1)");
        exec(db, "update system set db_id=1");
        exec(db, "insert into category (category_id,name) values (1,'Channels'),(2,'Global')");
        exec(db, "insert into ui (model_id,category_id) values (2,1),(2,2)");
        exec(db, "insert into category_attributes (category_id,name,value) values (1,'enableProperty','Enable'),"
                 "(1,'channelName','ChannelName'),(1,'formulaProperty','Expression'),(1,'thermocoupleType','Type'),"
                 "(1,'thermocoupleUnits','Units'),(2,'decimationProperty','Decimation')");
        exec(db, "insert into ui_item (category_id,type,property) values (1,'checkbox','Enable'),"
                 "(1,'textbox','ChannelName'),(1,'textbox','Expression'),(2,'number','Decimation')");
        for (int m = 0; m < kMembers; ++m) {
            const std::string id = std::to_string(10 + m);
            exec(db, "insert into vresource (vresource_id,name,model_id) values (" + id + ",'m" + std::to_string(m) +
                         "',2)");
            exec(db, "insert into db_resource (db_id,vresource_id,enable) values (1," + id + ",1)");
            for (int c = 0; c < kChannels; ++c)
                exec(db, "insert into configs (db_id,vresource_id,category_id,property,property_index,value) "
                         "values (1," + id + ",1,'Enable'," + std::to_string(c) + ",'1')");
            exec(db, "insert into configs (db_id,vresource_id,category_id,property,value) values (1," + id +
                         ",2,'Decimation','2')");
        }
        for (int f = 0; f < kStored; ++f)
            exec(db, "insert into formula (db_id,name,operator,expression) values (1,'f" + std::to_string(f) +
                         "','=','<m" + std::to_string(f % kMembers) + "-ai" + std::to_string(f % kChannels) +
                         "> * 2 ''V''')");
        exec(db, "commit");
        sqlite3_close(db);

        if (tqdaq_getHandle(&handle, "operator", "", 0x3c5a, 100) != VI_SUCCESS)
            std::abort();
        session = findSession(handle);
        for (int m = 0; m < kMembers; ++m) {
            const std::string name = "m" + std::to_string(m);
            OpenResource *r = nullptr;
            if (getVresource(session, name.c_str(), true, &r) != VI_SUCCESS ||
                r->pnp->getStream(r->pnp->session, name.c_str(), &r->stream) != VI_SUCCESS)
                std::abort();
            session->engine->formulaEngineRegisterStream(session->engine, r->stream);
        }
    }
    ~Fixture()
    {
        tqdaq_closeHandle(handle);
        std::system(("rm -rf '" + root + "'").c_str());
    }
};

void BM_BuildFormulas(benchmark::State &state)
{
    Fixture f;
    char message[kMessageSize] = "";
    for (auto _ : state) {
        if (buildFormulas(f.session, nullptr, 1, message) != VI_SUCCESS) {
            state.SkipWithError(message);
            break;
        }
    }
    if (f.session->engine->inputCount != kMembers * kChannels + kStored)
        state.SkipWithError("not every formula was built");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildFormulas)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
