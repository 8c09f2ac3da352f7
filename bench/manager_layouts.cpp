// Saving and loading a stored display layout of 10 windows x 4 graph objects
// x 8 axes x 16 channel entries through a manager session: milliseconds per
// call against the 50 ms a front panel may spend on it ("limit_ratio" is the
// time over that limit; under 1 is within it).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tqdaq.h"

namespace
{

constexpr ViUInt16 kVendor = 0x3c5a, kModel = 100;
constexpr double kLimitSeconds = 0.050;

struct Session {
    std::string root;
    ViSession session = 0;
    TQStream *stream = nullptr;
    Session()
    {
        char dir[] = "/tmp/tqbench.XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        root = dir;
        const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + root + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        setenv("VPNPPATH", root.c_str(), 1);
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2((root + "/winnt/tqdaq/device").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            std::abort();
        sqlite3_exec(db,
                     "insert into model (vendor,model,platform,prefix,pnplibname) values "
                     "(15450,100,'sys','appinstrument','appinstrument');"
                     "insert into vresource (name,model_id) values ('system',1);"
                     "insert into db (vresource_id) values (1);"
                     "update system set db_id=1",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        if (tqdaq_getHandle(&session, "operator", "", kVendor, kModel) != VI_SUCCESS)
            std::abort();
        TQStreamHandles h{};
        tqstream_getHandles(&h);
        stream = h.newStream("layout", 100.0, nullptr);
        buildLayout();
    }
    ~Session()
    {
        stream->streamRelease(&stream);
        tqdaq_closeHandle(session);
        std::system(("rm -rf '" + root + "'").c_str());
    }
    void buildLayout()
    {
        char text[64];
        for (int w = 0; w < 10; ++w) {
            std::snprintf(text, sizeof text, "window %d", w);
            TQDisplayWindow *win = stream->streamNewDisplayWindow(stream, text, w * 10, w * 10, 640, 480);
            for (int g = 0; g < 4; ++g) {
                std::snprintf(text, sizeof text, "graph %d", g);
                TQGraphObject *go = win->displayWindowNewGraphObject(win, text, g * 100, 0, 300, 200);
                go->duration = 10.0;
                for (int a = 0; a < 8; ++a) {
                    TQAxisInfo *axis = StreamCommonNewAxisInfo();
                    std::snprintf(axis->eu, sizeof axis->eu, "unit%d", a);
                    axis->enable = a % 2;
                    axis->center = a * 0.5;
                    axis->span = 1e-7 * (a + 1);
                    axis->color = 0x102030u * static_cast<uint32_t>(a);
                    if (axis->enable)
                        tqListAppend(&go->activeAxes, go, axis, offsetof(TQAxisInfo, activeLink));
                    else
                        tqListAppend(&go->inactiveAxes, go, axis, offsetof(TQAxisInfo, inactiveLink));
                    axis->axisInfoAddRef(axis);
                    for (int c = 0; c < 16; ++c) {
                        TQChannelEnable *e = StreamHandleCommonNewChannelEnable();
                        std::snprintf(e->name, sizeof e->name, "channel %d of unit %d", c, a);
                        e->enable = c % 3 != 0;
                        e->color = static_cast<uint32_t>(c * 4099);
                        if (e->enable)
                            tqListAppend(&axis->activeChannels, axis, e, offsetof(TQChannelEnable, activeLink));
                        else
                            tqListAppend(&axis->inactiveChannels, axis, e, offsetof(TQChannelEnable, inactiveLink));
                        e->channelEnableAddRef(e);
                        e->channelEnableRelease(&e);
                    }
                    axis->axisInfoRelease(&axis);
                }
                go->graphObjectSlotRelease(&go);
            }
            win->displayWindowSlotRelease(&win);
        }
    }
};

Session &session()
{
    static Session s;
    return s;
}

void report(benchmark::State &state)
{
    state.counters["limit_ratio"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLimitSeconds,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SaveLayout(benchmark::State &state)
{
    Session &s = session();
    for (auto _ : state)
        if (tqdaq_saveStream(s.session, s.stream) != VI_SUCCESS)
            state.SkipWithError("save failed");
    report(state);
}
BENCHMARK(BM_SaveLayout)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadLayout(benchmark::State &state)
{
    Session &s = session();
    if (tqdaq_saveStream(s.session, s.stream) != VI_SUCCESS)
        state.SkipWithError("save failed");
    for (auto _ : state)
        if (tqdaq_loadStream(s.session, s.stream) != VI_SUCCESS)
            state.SkipWithError("load failed");
    report(state);
}
BENCHMARK(BM_LoadLayout)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
