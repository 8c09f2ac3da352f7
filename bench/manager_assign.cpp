// tqdaq_assignAllPresources over 8 and over 64 unassigned devices of four
// models: each device gets a new virtual resource (named after it, options
// copied from its driver), is linked, assigned and enabled. The cost per
// device must not grow with the number of devices (at 64 within twice that
// at 8); the counter "us_per_device" shows it and "ratio_to_8" compares the
// 64-device run with the 8-device run of the same process.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>

#include "benchdb.h"
#include "tqdaq.h"

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kAppModel = 100;
constexpr int kModels[] = {374, 375, 376, 377};

struct Database {
    std::string root;
    sqlite3 *db = nullptr;
    Database()
    {
        db = freshDeviceDb(root);
        exec("insert into model (vendor,model,platform,prefix,pnplibname) values "
             "(15450,100,'sys','appinstrument','appinstrument');"
             "insert into operation (model_id,operation) values (1,'uiEvent');"
             "insert into vresource (name,model_id) values ('system',1);"
             "insert into db (vresource_id) values (1);"
             "update system set db_id=1;"
             "insert into pinterface (name,lib) values ('usb','tqmtestplugin')");
        // Four models run by the test driver, each with its InstrumentName
        // option and one option the driver reads back.
        for (int model : kModels) {
            const std::string m = std::to_string(model);
            exec("insert into model (vendor,model,platform,prefix,pnplibname,pinterface_id) values (15450," + m +
                 ",'usb','tqmtest','tqmtestdriver',1);"
                 "insert into category (name) values ('Options " +
                 m +
                 "');"
                 "insert into model_options (model_id,category_id) select model_id,(select max(category_id) from "
                 "category) from model where model=" +
                 m +
                 ";"
                 "insert into ui_item (category_id,type,property,dflt) values ((select max(category_id) from "
                 "category),'textbox','InstrumentName','');"
                 "insert into ui_item (category_id,type,property,dflt) values ((select max(category_id) from "
                 "category),'menu','EchoGain','1');");
        }
    }
    ~Database()
    {
        sqlite3_close(db);
        std::system(("rm -rf '" + root + "'").c_str());
    }
    void exec(const std::string &sql)
    {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
    }
    // n devices of the four models, recorded with their option values and
    // not assigned; nothing else of an earlier run is left.
    void devices(ViSession s, int n)
    {
        exec("delete from presource; delete from presource_options; delete from db_resource; delete from "
             "vresource_options where vresource_id in (select vresource_id from vresource where name!='system'); "
             "delete from vresource where name!='system'; delete from vadapter; delete from padapter");
        for (int i = 0; i < n; ++i) {
            const std::string name = "usb0::0x3c5a::" + std::to_string(kModels[i % 4]) + "::S" + std::to_string(i);
            if (tqdaq_createPresource(s, name.c_str()) < VI_SUCCESS)
                std::abort();
        }
    }
};

std::map<int, double> g_perDevice; // microseconds, by device count

void BM_AssignAllPresources(benchmark::State &state)
{
    static Database d;
    const int n = static_cast<int>(state.range(0));
    ViSession s = 0;
    if (tqdaq_getHandle(&s, "operator", "", kVendor, kAppModel) != VI_SUCCESS) {
        state.SkipWithError("no session");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        d.devices(s, n);
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        if (tqdaq_assignAllPresources(s, nullptr) != VI_SUCCESS) {
            state.SkipWithError("assignAllPresources failed");
            break;
        }
        total += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    }
    tqdaq_closeHandle(s);
    const double perDevice = total / static_cast<double>(state.iterations()) / n;
    g_perDevice[n] = perDevice;
    state.counters["us_per_device"] = perDevice;
    if (n != 8 && g_perDevice.count(8))
        state.counters["ratio_to_8"] = perDevice / g_perDevice[8];
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AssignAllPresources)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
