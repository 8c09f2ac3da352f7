#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "tq/platform/dynlib.h"
#include "tq/platform/env.h"

using namespace tq::platform;

namespace {
const std::string kDir = TQ_LOADER_DIR;
}

TEST(LibraryNames, DllNamesMapToSharedObjects)
{
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"tqstream_32.dll", "libtqstream_32.so"},
        {"visa32.dll", "libvisa32.so"},
        {"EU.DLL", "libEU.so"},
        {"libm.so.6", "libm.so.6"},
        {"/opt/x/visa32.dll", "/opt/x/libvisa32.so"},
        {"c:\\winnt\\system32\\visa32.dll", "c:/winnt/system32/libvisa32.so"},
        {".dll", ".dll"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(mapLibraryName(c.in), c.out) << c.in;
}

TEST(LibraryLoading, OuterLibraryFindsItsNeighbourByBareName)
{
    // The inner library is neither in build/lib nor on the system's path:
    // only the rule "directory of the calling library" can find it.
    LibraryHandle outer = loadLibrary(kDir + "/tqloader_outer.dll");
    ASSERT_NE(outer, nullptr) << lastLibraryError();
    auto call = reinterpret_cast<int (*)()>(findSymbol(outer, "tqloader_outer_call"));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call(), 4242);

    auto ownName = reinterpret_cast<int (*)(char *, int)>(findSymbol(outer, "tqloader_outer_own_name"));
    ASSERT_NE(ownName, nullptr);
    char buf[4096];
    ASSERT_GT(ownName(buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf), kDir + "/libtqloader_outer.so");
    EXPECT_EQ(libraryFileName(outer), kDir + "/libtqloader_outer.so");
    freeLibrary(outer);
}

TEST(LibraryLoading, BareNameFromTheTestProgramDoesNotFindTestLibraries)
{
    // The test program lives in build/tests; the loader dir is below it, so a
    // bare name must not resolve there.
    EXPECT_EQ(loadLibrary("tqloader_inner.dll"), nullptr);
    EXPECT_EQ(loadLibrary(""), nullptr);
    EXPECT_EQ(loadLibrary(kDir + "/no_such_library.dll"), nullptr);
}

TEST(LibraryLoading, SystemLibrariesLoadByName)
{
    LibraryHandle lib = loadLibrary("libm.so.6");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(findSymbol(lib, "cos"), nullptr);
    EXPECT_EQ(findSymbol(lib, "no_such_symbol_here"), nullptr);
    freeLibrary(lib);
}

TEST(LibraryLoading, ModuleFileNameOfTheProgram)
{
    std::string self = ownModuleFileName();
    EXPECT_EQ(fileNameOf(self), "platform_dynlib_test");
    EXPECT_EQ(self.front(), '/');
}

TEST(LibraryExports, OnlyTheCInterfaceIsExported)
{
    std::string cmd = "nm -D --defined-only " + kDir + "/libtqloader_outer.so";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (fgets(line, sizeof line, p)) {
        char addr[64], type[8], name[512];
        if (sscanf(line, "%63s %7s %511s", addr, type, name) == 3 && type[0] == 'T')
            names.insert(name);
    }
    ASSERT_EQ(pclose(p), 0);
    EXPECT_EQ(names, (std::set<std::string>{"tqloader_outer_call", "tqloader_outer_own_name"}));
}

TEST(DirectorySearch, LibraryPatternsUseTheDllMapping)
{
    auto found = findFiles(kDir, "tqloader_*.dll");
    EXPECT_EQ(found, (std::vector<std::string>{"libtqloader_inner.so", "libtqloader_outer.so"}));
    EXPECT_EQ(findFiles(kDir, "TQLOADER_OUTER.DLL"), (std::vector<std::string>{"libtqloader_outer.so"}));
    EXPECT_TRUE(findFiles(kDir, "*.stm").empty());
    EXPECT_TRUE(findFiles(kDir + "/missing", "*").empty());
}
