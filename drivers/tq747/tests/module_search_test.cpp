// The module driver search: the carrier looks beside its own library for
// libtq*_32.so files exporting ip<n>_init (n the first number in the name)
// and serves its populated sites with the first one found. Each case lays
// out a directory with copies of the libraries and loads the carrier from
// there, so that every case searches its own directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/simvisa_testenv.h"
#include "tq/platform/dynlib.h"
#include "tq747.h"

namespace
{

namespace fs = std::filesystem;

struct Case {
    const char *name;
    std::vector<std::pair<const char *, const char *>> files; // copy of build/lib/<first> as <second>
    bool sitesBound;
};

const Case kCases[] = {
    {"carrier, module driver and stream library",
     {{"libtqp747_32.so", "libtqp747_32.so"}, {"libtqp740_32.so", "libtqp740_32.so"},
      {"libtqstream_32.so", "libtqstream_32.so"}},
     true},
    {"no module driver beside the carrier",
     {{"libtqp747_32.so", "libtqp747_32.so"}, {"libtqstream_32.so", "libtqstream_32.so"}},
     false},
    {"a library without a number before _32 (its first number is 32: no ip32_init)",
     {{"libtqp747_32.so", "libtqp747_32.so"}, {"libtqstream_32.so", "libtqstream_32.so"},
      {"libtqstream_32.so", "libtq_32.so"}},
     false},
    {"the module driver under another number has no entry point of that number",
     {{"libtqp747_32.so", "libtqp747_32.so"}, {"libtqstream_32.so", "libtqstream_32.so"},
      {"libtqp740_32.so", "libtqp741_32.so"}},
     false},
};

using InitFn = decltype(&tq747_init);
using CloseFn = decltype(&tq747_close);
using SiteChannelsFn = decltype(&tq747_getSiteChannels);
using CreateFn = decltype(&tq747_createIPSession);

TEST(ModuleSearch, FirstModuleDriverBesideTheCarrierServesTheSites)
{
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    const char *tmp = getenv("TQ_TEST_TMPDIR");
    ASSERT_NE(tmp, nullptr);
    const fs::path built = fs::path(TQ_LIBRARY_DIR);
    tq::test::SimVisa sim;
    bool simLoaded = false;
    int n = 0;
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = fs::path(tmp) / ("tq747_module_search_" + std::to_string(n++));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto &[from, to] : c.files)
            fs::copy_file(built / from, dir / to);
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary((dir / "libtqp747_32.so").string());
        ASSERT_NE(lib, nullptr) << tq::platform::lastLibraryError();
        auto init = reinterpret_cast<InitFn>(tq::platform::findSymbol(lib, "tq747_init"));
        auto close = reinterpret_cast<CloseFn>(tq::platform::findSymbol(lib, "tq747_close"));
        auto siteChannels = reinterpret_cast<SiteChannelsFn>(tq::platform::findSymbol(lib, "tq747_getSiteChannels"));
        auto create = reinterpret_cast<CreateFn>(tq::platform::findSymbol(lib, "tq747_createIPSession"));
        ASSERT_TRUE(init && close && siteChannels && create);

        // The first init binds VISA; from then on the test control is at hand.
        ViSession vi = VI_NULL;
        ASSERT_EQ(init(nullptr, 0, 0, &vi), VI_SUCCESS);
        ASSERT_EQ(close(vi), VI_SUCCESS);
        if (!simLoaded) {
            simLoaded = sim.load();
            ASSERT_TRUE(simLoaded);
        }
        sim.simvisa_reset();
        ASSERT_EQ(sim.simvisa_addInstrument("PXI1::15::INSTR",
                                            "board=tq747; manf=0x3c5a; model=0x747; site1=tq740; site3=tq740"),
                  VI_SUCCESS);
        ASSERT_EQ(init(const_cast<ViRsrc>("PXI1::15::INSTR"), 0, 0, &vi), VI_SUCCESS);
        ViInt16 first = 0, last = 0;
        if (c.sitesBound) {
            EXPECT_EQ(siteChannels(vi, 3, &first, &last), VI_SUCCESS);
            EXPECT_EQ(last, 192);
        } else {
            EXPECT_EQ(siteChannels(vi, 1, &first, &last), TQ747_ERROR_SITE_EMPTY);
            ViSession module = VI_NULL;
            EXPECT_EQ(create(vi, 1, &module), TQ747_ERROR_NO_MODULE_DRIVER) << "populated, but nothing serves it";
            EXPECT_EQ(create(vi, 2, &module), TQ747_ERROR_SITE_EMPTY);
        }
        EXPECT_EQ(close(vi), VI_SUCCESS);
        EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
        sim.simvisa_reset();
        tq::platform::freeLibrary(lib);
    }
}

} // namespace
