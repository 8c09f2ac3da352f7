// The host program's readers of outside input: the command line, jvm.cfg
// and the runtime version; and where the application home lies.
#include <gtest/gtest.h>

#include "cmdline.h"
#include "jvmcfg.h"
#include "runtime.h"

using namespace tq::panelmate;

namespace
{

using Strings = std::vector<std::string>;

TEST(CommandLine, SplitsAtEveryBlankAndTab)
{
    struct Case {
        std::string text;
        Strings entries;
    } cases[] = {
        {"", {"PanelMate"}},
        {"version", {"PanelMate", "version"}},
        {"a  b", {"PanelMate", "a", "", "b"}},
        {"a\tb", {"PanelMate", "a", "b"}},
        {"a ", {"PanelMate", "a", ""}},
        {" ", {"PanelMate", "", ""}},
        {" a", {"PanelMate", "", "a"}},
    };
    for (const auto &c : cases) {
        const Arguments a = splitCommandLine(c.text);
        EXPECT_TRUE(a.refusal.empty()) << c.text;
        EXPECT_EQ(a.entries, c.entries) << "[" << c.text << "]";
    }
}

TEST(CommandLine, RefusesWhatDoesNotFit)
{
    const std::string longest(255, 'x');
    EXPECT_TRUE(splitCommandLine(longest).refusal.empty());
    EXPECT_EQ(splitCommandLine(longest).entries.size(), 2u);
    const Arguments tooLong = splitCommandLine(longest + "x");
    EXPECT_FALSE(tooLong.refusal.empty());
    EXPECT_TRUE(tooLong.entries.empty());

    // 31 pieces fill the 32 entries beside "PanelMate"; one more is refused.
    std::string pieces = "p";
    for (int i = 1; i < 31; ++i)
        pieces += " p";
    EXPECT_EQ(splitCommandLine(pieces).entries.size(), kMaxArguments);
    const Arguments tooMany = splitCommandLine(pieces + " p");
    EXPECT_FALSE(tooMany.refusal.empty());
    EXPECT_TRUE(tooMany.entries.empty());
    EXPECT_FALSE(splitCommandLine(std::string(31, ' ')).refusal.empty()) << "31 blanks make 32 empty pieces";
}

TEST(CommandLine, JoinsArgumentsWithOneBlank)
{
    const char *argv[] = {"panelmate", "a  b", "c"};
    EXPECT_EQ(joinCommandLine(3, argv), "a  b c");
    EXPECT_EQ(joinCommandLine(1, argv), "");
}

TEST(JvmCfg, ReadsWholeWordsWithoutTheirLineEnd)
{
    struct Case {
        std::string text;
        Strings dirs;
    } cases[] = {
        {"-server KNOWN\n-client IGNORE\n", {"server", "client"}},
        {"-server", {"server"}}, // last line without a line end keeps its last character
        {"-server\r\n-zero KNOWN\r\n", {"server", "zero"}},
        {"-server\r", {"server"}},
        {"# comment\n-server\n", {"server"}},
        {"\n-\n-a\n", {"a"}}, // empty and one-character entries name no directory
        {"-x\t y\n", {"x"}},
        {" -server\n", {}},                        // a line beginning with a blank has an empty entry
        {"-../lib\n-.\n-..\n-a/b\n-ok\n", {"ok"}}, // nothing outside lib/
        {"", {}},
        {"#only a comment", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vmDirectories(c.text), c.dirs) << "[" << c.text << "]";
}

TEST(JvmCfg, KeepsAtMostTenEntries)
{
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "-vm" + std::to_string(i) + "\n";
    const Strings dirs = vmDirectories(text);
    ASSERT_EQ(dirs.size(), kMaxVmEntries);
    EXPECT_EQ(dirs.front(), "vm0");
    EXPECT_EQ(dirs.back(), "vm9");
    EXPECT_EQ(vmDirectories(std::string("-a\0b\n-c\n", 8)), Strings{"c"}) << "a NUL cannot be part of a path";
}

TEST(RuntimeVersion, SeventeenAndLaterOnly)
{
    for (const char *v : {"17", "18", "21", "25", "100"})
        EXPECT_TRUE(acceptedRuntimeVersion(v)) << v;
    for (const char *v : {"", "1.6", "1.7", "1.8", "16", "9", "017", "17.0", "17 ", "x17", "99999"})
        EXPECT_FALSE(acceptedRuntimeVersion(v)) << v;
}

TEST(ApplicationHome, IsTheDirectoryAboveTheProgramsOwn)
{
    EXPECT_EQ(applicationHomeOf("/opt/panelmate/bin/panelmate"), "/opt/panelmate");
    EXPECT_EQ(applicationHomeOf("/work/build/bin/panelmate"), "/work/build");
}

} // namespace
