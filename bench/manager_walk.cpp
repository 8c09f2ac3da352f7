// tqdaq_doOperation("stop") over the 16 open members of the selected
// database, per member, against its floor: the statements the walk runs
// (controller check, the walk query, one open-instance lookup per member)
// prepared and stepped on SQLite directly, plus a direct doOperation call
// through each member's PnP handle. The target is at most twice the floor.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tqdaq.h"
#include "tqpnp.h"

extern "C" ViStatus tqmtest_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle);

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kModel = 100;
constexpr int kMembers = 16;

const char *const kController = "select system_id,users.username from system left join users  on "
                                "users.users_id=system.user_id where system.system_id=1";
const char *const kWalk =
    "select vresource.name from vresource,operation left join configs on configs.vresource_id=   "
    "vresource.vresource_id  and configs.property='Rank'  and configs.seq_id=1  and configs.db_id=(select db_id from "
    "system where system_id=1) where operation.operation=?  and vresource.model_id=operation.model_id  and "
    "((vresource.vresource_id in (select vresource.vresource_id   from vresource,db_resource,system   where "
    "system.db_id=db_resource.db_id    and vresource.vresource_id=db_resource.vresource_id    and "
    "db_resource.enable=1   ))  or (vresource.vresource_id in (select vresource.vresource_id   from "
    "vresource,system,db   where system.db_id=db.db_id    and db.vresource_id=vresource.vresource_id))) order by "
    "configs.value asc";
const char *const kLookup =
    "select pnplibname,prefix,pinterface_id,  vresource.deviceHandle,  presource.name,vresource_options.value,"
    "vresource2.name,  vadapter.connector_index from vresource,model,system,db,vresource as vresource2 left join "
    "presource  on presource.vresource_id=vresource.vresource_id left join model_options  on "
    "model_options.model_id=model.model_id left join ui_item  on ui_item.category_id=model_options.category_id   and "
    "ui_item.property='InstrumentName' left join vresource_options  on vresource_options.ui_item_id=ui_item.ui_item_id "
    "  and vresource_options.vresource_id=vresource.vresource_id left join vadapter  on "
    "vadapter.frontend_id=vresource.vresource_id where vresource.name=?  and vresource.model_id=model.model_id  and "
    "system.db_id=db.db_id  and db.vresource_id=vresource2.vresource_id order by vresource_options.value is null";

struct Setup {
    std::string root;
    sqlite3 *db = nullptr;
    ViSession session = 0;
    std::vector<TQPnPHandle *> direct;
    Setup()
    {
        char dir[] = "/tmp/tqbench.XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        root = dir;
        const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        setenv("VPNPPATH", root.c_str(), 1);
        unsetenv("TQ_TESTDRIVER_LOG");
        unsetenv("TQ_APPINSTRUMENT_LOG");
        if (sqlite3_open_v2((root + "/winnt/tqdaq/device").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            std::abort();
        // The application's own model lists no "stop": the walk is the
        // members alone.
        std::string sql = "insert into model (vendor,model,platform,prefix,pnplibname) values "
                          "(15450,100,'sys','appinstrument','appinstrument');"
                          "insert into operation (model_id,operation) values (1,'uiEvent');"
                          "insert into vresource (name,model_id) values ('system',1);"
                          "insert into db (vresource_id) values (1);"
                          "update system set db_id=1;"
                          "insert into model (vendor,model,platform,prefix,pnplibname) values "
                          "(15450,200,'sys','tqmtest','tqmtestdriver');"
                          "insert into operation (model_id,operation) values (2,'stop');";
        for (int i = 1; i <= kMembers; ++i) {
            const std::string n = std::to_string(i);
            sql += "insert into vresource (name,model_id) values ('m" + n +
                   "',2);"
                   "insert into db_resource (db_id,vresource_id,enable) values (1,(select vresource_id from vresource "
                   "where name='m" +
                   n +
                   "'),1);"
                   "insert into configs (db_id,vresource_id,property,seq_id,value) values (1,(select vresource_id "
                   "from vresource where name='m" +
                   n + "'),'Rank',1,'" + n + "');";
        }
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
        if (tqdaq_getHandle(&session, "operator", "", kVendor, kModel) != VI_SUCCESS)
            std::abort();
        for (int i = 1; i <= kMembers; ++i) {
            ViSession vi = 0;
            if (tqdaq_getVresourceSession(session, ("m" + std::to_string(i)).c_str(), &vi) != VI_SUCCESS)
                std::abort();
            TQPnPHandle *h = nullptr;
            if (tqmtest_getPnPHandle(nullptr, &h) != VI_SUCCESS)
                std::abort();
            direct.push_back(h);
        }
    }
    ~Setup()
    {
        for (TQPnPHandle *h : direct)
            h->release(&h);
        tqdaq_closeHandle(session);
        sqlite3_close(db);
        std::system(("rm -rf '" + root + "'").c_str());
    }
};

Setup &setup()
{
    static Setup s;
    return s;
}

void BM_WalkStop(benchmark::State &state)
{
    Setup &s = setup();
    for (auto _ : state) {
        if (tqdaq_doOperation(s.session, nullptr, "stop", nullptr) != VI_SUCCESS) {
            state.SkipWithError("walk failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMembers);
    state.counters["per_member"] = benchmark::Counter(static_cast<double>(state.iterations() * kMembers),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkStop)->Unit(benchmark::kMicrosecond);

void BM_WalkFloorSqlAndPnP(benchmark::State &state)
{
    Setup &s = setup();
    std::vector<std::string> names;
    for (auto _ : state) {
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(s.db, kController, -1, &q, nullptr);
        sqlite3_step(q);
        benchmark::DoNotOptimize(sqlite3_column_text(q, 1));
        sqlite3_finalize(q);

        names.clear();
        sqlite3_prepare_v2(s.db, kWalk, -1, &q, nullptr);
        sqlite3_bind_text(q, 1, "stop", -1, SQLITE_STATIC);
        while (sqlite3_step(q) == SQLITE_ROW)
            names.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(q, 0)));
        sqlite3_finalize(q);

        for (size_t i = 0; i < names.size(); ++i) {
            sqlite3_prepare_v2(s.db, kLookup, -1, &q, nullptr);
            sqlite3_bind_text(q, 1, names[i].c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(q) == SQLITE_ROW)
                benchmark::DoNotOptimize(sqlite3_column_text(q, 3));
            sqlite3_finalize(q);
            TQPnPHandle *h = s.direct[i % s.direct.size()];
            benchmark::DoNotOptimize(h->doOperation(h->session, "stop", nullptr));
        }
        if (names.size() != kMembers) {
            state.SkipWithError("walk query found another set of members");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMembers);
    state.counters["per_member"] = benchmark::Counter(static_cast<double>(state.iterations() * kMembers),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkFloorSqlAndPnP)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
