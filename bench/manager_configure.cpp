// tqdaq_configureHW over 8 model 718s on simulated boards, each with 100
// stored values, against its floor: the same 800 setPropertyByName calls
// made directly on the same open driver sessions. The target is at most
// twice the floor. Steps from 2 on are configured, so no board is reset (a
// reset's wait for the board is no cost of the manager's); the formula build
// that ends every configuration is part of the call measured.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tq/platform/dynlib.h"
#include "tqdaq.h"
#include "tqpnp.h"

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kModel = 100;
constexpr int kInstruments = 8;
constexpr int kValues = 100;

struct Value {
    std::string category, property, index, value;
};

struct Setup {
    std::string root;
    sqlite3 *db = nullptr;
    ViSession session = 0;
    std::vector<ViSession> drivers;
    TQPnPHandle *pnp = nullptr;
    // Per instrument, what it is sent: property and text.
    std::vector<std::vector<std::pair<std::string, std::string>>> sent;
    ViUInt16 lastStep = 2;

    void exec(const std::string &sql)
    {
        char *error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql.c_str(), error ? error : "");
            std::abort();
        }
    }

    Setup()
    {
        char dir[] = "/tmp/tqbench.XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        root = dir;
        if (std::system(("sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null").c_str()) !=
                0 ||
            std::system(("VPNPPATH='" + root + "' '" TQ_BIN_DIR "/tq718install' insert >/dev/null").c_str()) != 0)
            std::abort();
        setenv("VPNPPATH", root.c_str(), 1);
        unsetenv("TQ_APPINSTRUMENT_LOG");
        // The simulated VISA library where the binding looks, with the boards.
        const std::string system32 = root + "/systemroot/system32";
        std::system(("mkdir -p '" + system32 + "' && ln -sf '" TQ_SIM_VISA_LIBRARY "' '" + system32 +
                     "/libvisa32.so'")
                        .c_str());
        setenv("systemroot", (root + "/systemroot").c_str(), 1);
        {
            FILE *inv = std::fopen((root + "/boards.txt").c_str(), "w");
            for (int i = 0; i < kInstruments; ++i)
                std::fprintf(inv, "[PXI1::%d::INSTR]\nboard = tq718\nmanf = 0x3c5a\nmodel = 0x718\n", 10 + i);
            std::fclose(inv);
        }
        setenv("TQ_SIM_VISA", (root + "/boards.txt").c_str(), 1);

        if (sqlite3_open_v2((root + "/winnt/tqdaq/device").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            std::abort();
        exec("insert into model (vendor,model,platform,prefix,pnplibname) values "
             "(15450,100,'sys','appinstrument','appinstrument');"
             "insert into operation (model_id,operation) values ((select model_id from model where model=100),"
             "'uiEvent');"
             "insert into vresource (name,model_id) values ('system',(select model_id from model where model=100));"
             "insert into db (vresource_id) values ((select vresource_id from vresource where name='system'));"
             "update system set db_id=(select db_id from db)");
        const std::string model = "(select model_id from model where model=" + std::to_string(0x718) + ")";
        for (int i = 0; i < kInstruments; ++i) {
            const std::string name = "daq" + std::to_string(i);
            exec("insert into vresource (name,model_id) values ('" + name + "'," + model + ");"
                 "insert into db_resource (db_id,vresource_id,enable) values ((select db_id from db),"
                 "(select vresource_id from vresource where name='" + name + "'),1);"
                 "insert into presource (name,model_id,vresource_id) values ('PXI1::" + std::to_string(10 + i) +
                 "::INSTR'," + model + ",(select vresource_id from vresource where name='" + name + "'))");
        }
        if (tqdaq_getHandle(&session, "operator", "", kVendor, kModel) != VI_SUCCESS)
            std::abort();
        for (int i = 0; i < kInstruments; ++i) {
            ViSession vi = 0;
            if (tqdaq_getVresourceSession(session, ("daq" + std::to_string(i)).c_str(), &vi) != VI_SUCCESS)
                std::abort();
            drivers.push_back(vi);
        }
        // The driver's own operations, from the library the manager loaded.
        auto lib = tq::platform::loadLibrary("tqp718_32.dll");
        auto get = reinterpret_cast<TQGetPnPHandleFn>(tq::platform::findSymbol(lib, "tq718_getPnPHandle"));
        if (!get || get("", &pnp) < VI_SUCCESS || !pnp)
            std::abort();

        // Every non-virtual item at its default, at channels 1 to 4 or
        // without index, that the driver takes: the values to store.
        std::vector<Value> accepted;
        {
            sqlite3_stmt *q = nullptr;
            sqlite3_prepare_v2(db,
                               ("select ui_item.category_id,property,dflt from ui_item,ui where "
                                "ui.category_id=ui_item.category_id and ui.model_id=" +
                                model + " and isvirtual=0 and dflt is not null and dflt<>'' order by ui_item_id")
                                   .c_str(),
                               -1, &q, nullptr);
            while (sqlite3_step(q) == SQLITE_ROW) {
                const std::string category = reinterpret_cast<const char *>(sqlite3_column_text(q, 0));
                const std::string property = reinterpret_cast<const char *>(sqlite3_column_text(q, 1));
                const std::string dflt = reinterpret_cast<const char *>(sqlite3_column_text(q, 2));
                for (const char *index : {"", "1", "2", "3", "4"}) {
                    const std::string text = *index ? std::string(index) + "," + dflt : dflt;
                    if (pnp->setPropertyByName(drivers[0], property.c_str(), text.c_str()) >= VI_SUCCESS)
                        accepted.push_back({category, property, index, dflt});
                }
            }
            sqlite3_finalize(q);
        }
        if (accepted.empty())
            std::abort();
        sent.resize(kInstruments);
        exec("begin");
        for (int i = 0; i < kInstruments; ++i) {
            for (int k = 0; k < kValues; ++k) {
                const Value &v = accepted[static_cast<size_t>(k) % accepted.size()];
                const int seq = 2 + k / static_cast<int>(accepted.size());
                if (seq > lastStep)
                    lastStep = static_cast<ViUInt16>(seq);
                exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) "
                     "values ((select db_id from db),(select vresource_id from vresource where name='daq" +
                     std::to_string(i) + "')," + v.category + ",'" + v.property + "'," +
                     (v.index.empty() ? "NULL" : v.index) + "," + std::to_string(seq) + ",'" + v.value + "')");
            }
        }
        exec("commit");
        // What a configuration sends each instrument, in its order.
        for (int i = 0; i < kInstruments; ++i) {
            sqlite3_stmt *q = nullptr;
            sqlite3_prepare_v2(db,
                               ("select property,property_index,value from configs where vresource_id=(select "
                                "vresource_id from vresource where name='daq" +
                                std::to_string(i) + "') order by configs_id")
                                   .c_str(),
                               -1, &q, nullptr);
            while (sqlite3_step(q) == SQLITE_ROW) {
                const char *index = reinterpret_cast<const char *>(sqlite3_column_text(q, 1));
                const std::string value = reinterpret_cast<const char *>(sqlite3_column_text(q, 2));
                sent[static_cast<size_t>(i)].emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(q, 0)),
                                                          index ? std::string(index) + "," + value : value);
            }
            sqlite3_finalize(q);
        }
        char message[TQDAQ_MESSAGE_SIZE];
        if (tqdaq_configureHW(session, 2, lastStep, message) != VI_SUCCESS) {
            std::fprintf(stderr, "configureHW: %s\n", message);
            std::abort();
        }
    }
    ~Setup()
    {
        if (pnp)
            pnp->release(&pnp);
        tqdaq_closeHandle(session);
        sqlite3_close(db);
        if (!std::getenv("TQ_BENCH_KEEP"))
            std::system(("rm -rf '" + root + "'").c_str());
        else
            std::fprintf(stderr, "kept %s\n", root.c_str());
    }
};

Setup &setup()
{
    static Setup s;
    return s;
}

void BM_ConfigureHW(benchmark::State &state)
{
    Setup &s = setup();
    char message[TQDAQ_MESSAGE_SIZE];
    for (auto _ : state) {
        if (tqdaq_configureHW(s.session, 2, s.lastStep, message) != VI_SUCCESS) {
            state.SkipWithError(message);
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kInstruments * kValues);
}
BENCHMARK(BM_ConfigureHW)->Unit(benchmark::kMicrosecond);

void BM_DirectSetProperty(benchmark::State &state)
{
    Setup &s = setup();
    for (auto _ : state) {
        for (size_t i = 0; i < s.drivers.size(); ++i)
            for (const auto &[property, text] : s.sent[i])
                if (s.pnp->setPropertyByName(s.drivers[i], property.c_str(), text.c_str()) < VI_SUCCESS) {
                    state.SkipWithError("a value was refused");
                    return;
                }
    }
    state.SetItemsProcessed(state.iterations() * kInstruments * kValues);
}
BENCHMARK(BM_DirectSetProperty)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
