// tqdaq_refreshPResources over 16 VISA instruments and one serial crate
// whose controller holds 4 units in its 16 slots, on the simulated VISA
// library at the real pace. Discovery must wait for what does not answer:
// each of the 12 empty slots and the first silent address after the crate
// take the 50 ms time-out, 650 ms in all. Reported: the wall time of one
// discovery, first on an empty table ("fresh") and then with every device
// recorded ("again", each one checked before the walk), against those 650 ms
// ("ratio_to_timeouts", target at most 1.2).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "benchdb.h"
#include "tq/platform/dynlib.h"
#include "tq/simvisa.h"
#include "tqdaq.h"

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kAppModel = 100;
constexpr int kInstruments = 16;
constexpr int kEmptySlots = 12;
// The empty slots and the silent address that ends the crate scan.
constexpr double kTimeoutsMs = (kEmptySlots + 1) * 50.0;

decltype(&simvisa_addInstrument) g_addInstrument = nullptr;

// The manager finds the simulated library where it looks for VISA; the
// benchmark reaches the same loaded library for its control.
void layOutVisa(const std::string &root)
{
    const std::string system32 = root + "/system32";
    mkdir(system32.c_str(), 0755);
    if (symlink(TQ_SIM_VISA_LIBRARY, (system32 + "/libvisa32.so").c_str()) != 0)
        std::abort();
    setenv("systemroot", root.c_str(), 1);
    tq::platform::LibraryHandle lib = tq::platform::loadLibrary(TQ_SIM_VISA_LIBRARY);
    if (!lib)
        std::abort();
    g_addInstrument =
        reinterpret_cast<decltype(g_addInstrument)>(tq::platform::findSymbol(lib, "simvisa_addInstrument"));
    if (!g_addInstrument)
        std::abort();
}

struct Rig {
    std::string root;
    sqlite3 *db = nullptr;
    Rig()
    {
        db = freshDeviceDb(root);
        exec("insert into model (vendor,model,platform,prefix,pnplibname) values "
             "(15450,100,'sys','appinstrument','appinstrument');"
             "insert into vresource (name,model_id) values ('system',1);"
             "insert into db (vresource_id) values (1);"
             "update system set db_id=1;"
             "insert into model (vendor,model,platform,prefix,pnplibname) values "
             "(15450,1816,'pxi','tq718','tqp718_32')");
        // The crate's controller and unit types: no shipped catalogue has them.
        for (int model : {0x761, 0x20, 0x21, 0x30, 0x41, 0x43, 0x50})
            exec("insert into model (vendor,model,platform,prefix,pnplibname) values (15450," + std::to_string(model) +
                 ",'serial','vt22','none')");

        layOutVisa(root);
        for (int i = 0; i < kInstruments; ++i)
            if (g_addInstrument(("PXI1::" + std::to_string(i + 2) + "::INSTR").c_str(), "manf=0x3c5a; model=0x718") !=
                VI_SUCCESS)
                std::abort();
        if (g_addInstrument("ASRL1::INSTR", "board=crate; controllers=0; la0.slot2=0x41; la0.slot5=untyped; "
                                            "la0.slot9=0x30; la0.slot14=untyped") != VI_SUCCESS)
            std::abort();
    }
    ~Rig()
    {
        sqlite3_close(db);
        std::system(("rm -rf '" + root + "'").c_str());
    }
    void exec(const std::string &sql)
    {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
    }
    int devices()
    {
        sqlite3_stmt *q = nullptr;
        int n = -1;
        if (sqlite3_prepare_v2(db, "select count(*) from presource", -1, &q, nullptr) == SQLITE_OK &&
            sqlite3_step(q) == SQLITE_ROW)
            n = sqlite3_column_int(q, 0);
        sqlite3_finalize(q);
        return n;
    }
};

Rig &rig()
{
    static Rig r;
    return r;
}

void run(benchmark::State &state, bool fresh)
{
    Rig &r = rig();
    ViSession s = 0;
    if (tqdaq_getHandle(&s, "operator", "", kVendor, kAppModel) != VI_SUCCESS) {
        state.SkipWithError("no session");
        return;
    }
    if (tqdaq_refreshPResources(s) != VI_SUCCESS) {
        state.SkipWithError("discovery failed");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            r.exec("delete from presource");
            state.ResumeTiming();
        }
        const auto t0 = std::chrono::steady_clock::now();
        if (tqdaq_refreshPResources(s) != VI_SUCCESS) {
            state.SkipWithError("discovery failed");
            break;
        }
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        // The instruments, the controller and its four units.
        if (r.devices() != kInstruments + 1 + 4) {
            state.SkipWithError("not every device was recorded");
            break;
        }
    }
    tqdaq_closeHandle(s);
    const double perRun = total / static_cast<double>(state.iterations());
    state.counters["wall_ms"] = perRun;
    state.counters["timeouts_ms"] = kTimeoutsMs;
    state.counters["ratio_to_timeouts"] = perRun / kTimeoutsMs;
}

void BM_DiscoveryFresh(benchmark::State &state)
{
    run(state, true);
}
void BM_DiscoveryAgain(benchmark::State &state)
{
    run(state, false);
}
BENCHMARK(BM_DiscoveryFresh)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DiscoveryAgain)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
