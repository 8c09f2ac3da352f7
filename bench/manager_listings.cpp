// tqdaq_listVresources over many virtual resources with their options, read
// in 8192-byte parts, against the floor: preparing the same query and
// stepping it with SQLite alone, reading every column's text. The same
// listing in 64-byte parts shows what small buffers cost per byte of text.
// Resources are added between sizes, so the sizes run in ascending order.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "listings.h"
#include "tqdaq.h"

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kModel = 100;
constexpr int kOptions = 3;

struct Database {
    std::string root;
    sqlite3 *db = nullptr;
    ViSession session = 0;
    int resources = 0;
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
        exec("insert into model (vendor,model,platform,prefix,productname,pnplibname) values "
             "(15450,100,'sys','appinstrument','Application','appinstrument');"
             "insert into operation (model_id,operation) values (1,'uiEvent');"
             "insert into vresource (name,model_id) values ('system',1);"
             "insert into db (vresource_id) values (1);"
             "update system set db_id=1;"
             "insert into model (vendor,model,platform,prefix,productname,pnplibname) values "
             "(15450,1816,'pxi','tq718','Bridge digitizer','tqp718_32');"
             "insert into category (name) values ('Device Options');"
             "insert into model_options (model_id,category_id) values (2,1);"
             "insert into ui_item (category_id,type,label,property) values (1,'textbox','Name','InstrumentName'),"
             "(1,'int','Channels','AnalogChannelCount'),(1,'textbox','Serial','SerialNumber')");
        if (tqdaq_getHandle(&session, "operator", "", kVendor, kModel) != VI_SUCCESS)
            std::abort();
    }
    ~Database()
    {
        tqdaq_closeHandle(session);
        sqlite3_close(db);
        std::system(("rm -rf '" + root + "'").c_str());
    }
    void exec(const std::string &sql)
    {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
    }
    // Grows the database to n virtual resources, each in "system" with its options.
    void ensure(int n)
    {
        exec("begin");
        for (; resources < n; ++resources) {
            const std::string name = "PXI" + std::to_string(resources) + "::INSTR";
            exec("insert into vresource (name,model_id,description) values ('" + name + "',2,'bridge digitizer')");
            exec("insert into db_resource (db_id,vresource_id) values (1,last_insert_rowid())");
            exec("insert into vresource_options (vresource_id,ui_item_id,value) select vresource_id, ui_item_id, "
                 "ui_item.property || '-" +
                 std::to_string(resources) + "' from vresource, ui_item where vresource.name='" + name + "'");
        }
        exec("commit");
    }
};

Database &database()
{
    static Database d;
    return d;
}

void BM_ListVresources(benchmark::State &state)
{
    Database &d = database();
    d.ensure(static_cast<int>(state.range(0)));
    const auto size = static_cast<ViUInt32>(state.range(1));
    std::vector<char> buffer(size);
    size_t bytes = 0;
    for (auto _ : state) {
        ViUInt32 length = 0;
        ViStatus st;
        do {
            st = tqdaq_listVresources(d.session, nullptr, buffer.data(), size, &length);
            bytes += length;
        } while (st == TQDAQ_WARN_MORE_TEXT);
        if (st != VI_SUCCESS)
            state.SkipWithError("listing failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["text_bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

void BM_SqliteFloor(benchmark::State &state)
{
    Database &d = database();
    d.ensure(static_cast<int>(state.range(0)));
    const std::string sql = tq::manager::vresourcesQuery(nullptr).sql;
    size_t bytes = 0;
    for (auto _ : state) {
        sqlite3_stmt *q = nullptr;
        if (sqlite3_prepare_v2(d.db, sql.c_str(), -1, &q, nullptr) != SQLITE_OK) {
            state.SkipWithError("prepare failed");
            break;
        }
        const int columns = sqlite3_column_count(q);
        while (sqlite3_step(q) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c) {
                const unsigned char *text = sqlite3_column_text(q, c);
                benchmark::DoNotOptimize(text);
                bytes += static_cast<size_t>(sqlite3_column_bytes(q, c));
            }
        sqlite3_finalize(q);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Ascending resource counts: the database only grows.
BENCHMARK(BM_SqliteFloor)->Arg(250)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListVresources)->Args({250, 8192})->Args({250, 64})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteFloor)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListVresources)->Args({1000, 8192})->Args({1000, 64})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
