// Writing a catalogue (statements, help texts through the appender, one
// immediate transaction) into a fresh device database, against the floor:
// the very rows the writer leaves, descriptions included, inserted with one
// prepared statement per table in one transaction on the same file.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogues.h"
#include "devicedb.h"
#include "installer.h"

namespace
{

namespace fs = std::filesystem;
using namespace tq::installer;

const char *const kTables[] = {"model",           "category", "ui",        "model_options", "category_attributes",
                               "ui_item",         "ui_pair",  "operation"};

struct Value {
    int type;
    sqlite3_int64 i = 0;
    double d = 0;
    std::string t;
};
struct Table {
    std::string insert;
    std::vector<std::vector<Value>> rows;
};

struct Files {
    std::string root, file, blank;
    Files()
    {
        char dir[] = "/tmp/tqbench.XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        root = dir;
        const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        file = root + "/winnt/tqdaq/device";
        blank = root + "/blank";
        fs::copy_file(file, blank);
        setenv("VPNPPATH", root.c_str(), 1);
    }
    ~Files() { fs::remove_all(root); }
    // A fresh database in the place of the last one.
    sqlite3 *fresh()
    {
        fs::remove(file + "-wal");
        fs::remove(file + "-shm");
        fs::copy_file(blank, file, fs::copy_options::overwrite_existing);
        return tq::devicedb::openDeviceDatabase();
    }
};

Files &files()
{
    static Files f;
    return f;
}

bool install(sqlite3 *db, const Catalogue &c, FILE *sink)
{
    Appender appender;
    if (tq::devicedb::execStatement(db, "begin immediate transaction") != SQLITE_DONE)
        return false;
    const bool ok = writeCatalogue(db, c, appender, sink);
    return tq::devicedb::execStatement(db, ok ? "commit transaction" : "rollback transaction") == SQLITE_DONE && ok;
}

// The rows a writer leaves, read back from a database it wrote.
std::vector<Table> rowsOf(const Catalogue &c)
{
    FILE *sink = std::fopen("/dev/null", "w");
    sqlite3 *db = files().fresh();
    if (!install(db, c, sink))
        std::abort();
    std::fclose(sink);
    std::vector<Table> out;
    for (const char *name : kTables) {
        Table t;
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(db, (std::string("select * from ") + name).c_str(), -1, &q, nullptr);
        std::string cols, marks;
        for (int i = 0; i < sqlite3_column_count(q); ++i) {
            cols += (i ? "," : "") + std::string(sqlite3_column_name(q, i));
            marks += i ? ",?" : "?";
        }
        t.insert = std::string("insert into ") + name + " (" + cols + ") values (" + marks + ")";
        while (sqlite3_step(q) == SQLITE_ROW) {
            std::vector<Value> row;
            for (int i = 0; i < sqlite3_column_count(q); ++i) {
                Value v{sqlite3_column_type(q, i)};
                if (v.type == SQLITE_INTEGER)
                    v.i = sqlite3_column_int64(q, i);
                else if (v.type == SQLITE_FLOAT)
                    v.d = sqlite3_column_double(q, i);
                else if (v.type != SQLITE_NULL)
                    v.t = reinterpret_cast<const char *>(sqlite3_column_text(q, i));
                row.push_back(v);
            }
            t.rows.push_back(row);
        }
        sqlite3_finalize(q);
        out.push_back(t);
    }
    sqlite3_close(db);
    return out;
}

bool bare(sqlite3 *db, const std::vector<Table> &tables)
{
    sqlite3_exec(db, "begin immediate transaction", nullptr, nullptr, nullptr);
    for (const Table &t : tables) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, t.insert.c_str(), -1, &s, nullptr);
        for (const auto &row : t.rows) {
            for (size_t i = 0; i < row.size(); ++i) {
                const int n = static_cast<int>(i) + 1;
                const Value &v = row[i];
                if (v.type == SQLITE_INTEGER)
                    sqlite3_bind_int64(s, n, v.i);
                else if (v.type == SQLITE_FLOAT)
                    sqlite3_bind_double(s, n, v.d);
                else if (v.type == SQLITE_NULL)
                    sqlite3_bind_null(s, n);
                else
                    sqlite3_bind_text(s, n, v.t.c_str(), static_cast<int>(v.t.size()), SQLITE_STATIC);
            }
            if (sqlite3_step(s) != SQLITE_DONE)
                std::abort();
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
    }
    return sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Every catalogue the installers write, in the order the demo installs them.
const Catalogue &(*const kAll[])() = {catalogue714, catalogue723, catalogue718,          catalogue747,
                                      catalogue775, catalogue176, catalogue740,          catalogue726,
                                      cataloguePanelmatePro,      cataloguePanelmate};
constexpr const char *kPrograms[] = {"tq714install", "tq723install", "tq718install",        "tq747install",
                                     "tq775install", "ux176install", "tq740install",        "tq726install",
                                     "panelmateproinstall",         "panelmateinstall"};
constexpr double kLimitSeconds = 2.0; // all ten catalogues into one fresh database

const Catalogue &byIndex(int64_t i)
{
    return kAll[i]();
}

// All ten catalogues into one fresh database, each in its own transaction as
// its installer writes it.
void BM_AllCatalogues(benchmark::State &state)
{
    FILE *sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3 *db = files().fresh();
        state.ResumeTiming();
        for (auto catalogue : kAll)
            if (!install(db, catalogue(), sink))
                state.SkipWithError("install failed");
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    std::fclose(sink);
    state.counters["limit_s"] = kLimitSeconds;
}

// The same through the ten installer programs, as a user runs them: process
// start, opening the database, the lookup and the catalogue's transaction.
void BM_AllInstallerPrograms(benchmark::State &state)
{
    std::string script;
    for (const char *program : kPrograms)
        script += std::string("'" TQ_BIN_DIR "/") + program + "' insert >/dev/null || exit 1; ";
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_close(files().fresh());
        state.ResumeTiming();
        if (std::system(script.c_str()) != 0)
            state.SkipWithError("an installer failed");
    }
    state.counters["limit_s"] = kLimitSeconds;
}

void BM_Installer(benchmark::State &state)
{
    const Catalogue &c = byIndex(state.range(0));
    FILE *sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3 *db = files().fresh();
        state.ResumeTiming();
        if (!install(db, c, sink))
            state.SkipWithError("install failed");
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    std::fclose(sink);
    state.SetLabel(c.productName);
}

void BM_BareTransaction(benchmark::State &state)
{
    const Catalogue &c = byIndex(state.range(0));
    const std::vector<Table> tables = rowsOf(c);
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3 *db = files().fresh();
        state.ResumeTiming();
        if (!bare(db, tables))
            state.SkipWithError("bare insert failed");
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetLabel(c.productName);
}

BENCHMARK(BM_Installer)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareTransaction)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllCatalogues)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllInstallerPrograms)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
