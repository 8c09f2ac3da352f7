// Manager sessions opened and closed per second (each loads the application
// model's instrument, marks it open, notifies it, and undoes all of it), and
// the cost of tqdaq_getDB against the floor: preparing, stepping and reading
// its query with SQLite directly on a connection of the same file.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>

#include "tqdaq.h"

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kModel = 100;
const char *const kQuery = "select vresource.name,vresource.model_id from system,db,vresource where "
                           "system.system_id = 1 and system.db_id=db.db_id and db.vresource_id=vresource.vresource_id";

struct Database {
    std::string root;
    sqlite3 *db = nullptr;
    Database()
    {
        char dir[] = "/tmp/tqbench.XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        root = dir;
        const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        setenv("VPNPPATH", root.c_str(), 1);
        if (sqlite3_open_v2((root + "/winnt/tqdaq/device").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            std::abort();
        sqlite3_exec(db,
                     "insert into model (vendor,model,platform,prefix,pnplibname) values "
                     "(15450,100,'sys','appinstrument','appinstrument');"
                     "insert into operation (model_id,operation) values (1,'uiEvent');"
                     "insert into vresource (name,model_id) values ('system',1);"
                     "insert into db (vresource_id) values (1);"
                     "update system set db_id=1",
                     nullptr, nullptr, nullptr);
    }
    ~Database()
    {
        sqlite3_close(db);
        std::system(("rm -rf '" + root + "'").c_str());
    }
};

Database &database()
{
    static Database d;
    return d;
}

void BM_SessionOpenClose(benchmark::State &state)
{
    database();
    for (auto _ : state) {
        ViSession s = 0;
        if (tqdaq_getHandle(&s, "operator", "", kVendor, kModel) != VI_SUCCESS || tqdaq_closeHandle(s) != VI_SUCCESS) {
            state.SkipWithError("session failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SessionOpenClose)->Unit(benchmark::kMicrosecond);

void BM_GetDB(benchmark::State &state)
{
    database();
    ViSession s = 0;
    if (tqdaq_getHandle(&s, "operator", "", kVendor, kModel) != VI_SUCCESS) {
        state.SkipWithError("no session");
        return;
    }
    char name[TQDAQ_NAME_SIZE];
    for (auto _ : state) {
        if (tqdaq_getDB(s, name) != VI_SUCCESS)
            state.SkipWithError("getDB failed");
        benchmark::DoNotOptimize(name);
    }
    tqdaq_closeHandle(s);
}
BENCHMARK(BM_GetDB);

void BM_GetDBQueryOnSqlite(benchmark::State &state)
{
    sqlite3 *db = database().db;
    char name[TQDAQ_NAME_SIZE];
    for (auto _ : state) {
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(db, kQuery, -1, &q, nullptr);
        if (sqlite3_step(q) == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(q, 0);
            benchmark::DoNotOptimize(sqlite3_column_text(q, 1));
            std::snprintf(name, sizeof name, "%s", reinterpret_cast<const char *>(text));
        }
        sqlite3_finalize(q);
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_GetDBQueryOnSqlite);

} // namespace

BENCHMARK_MAIN();
