// The host program in child processes, over runtimes laid out in temporary
// directories with a stand-in VM library that logs what it is asked
// (fakejvm.cpp): which runtime and VM library are chosen, how the VM is
// made, what is registered, what main receives, and the exit code of every
// failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "child.h"

using namespace hosttest;

namespace
{

using Env = std::map<std::string, std::optional<std::string>>;

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment";

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// A temporary layout: the program at app/bin/panelmate, runtimes anywhere.
class Layout : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = freshDir(std::string(info->test_suite_name()) + "." + info->name());
        app = root + "/app";
        program = app + "/bin/panelmate";
        copyFile(TQ_HOST_PROGRAM, program);
        std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
        work = root + "/work";
        std::filesystem::create_directories(work);
        log = root + "/vm.log";
        env = {{"FAKEJVM_LOG", log},
               {"FAKEJVM_FAIL", std::nullopt},
               {"JAVA_HOME", std::nullopt},
               {"TQ_REGISTRY", std::nullopt},
               {"JAVA_TOOL_OPTIONS", std::nullopt}};
    }

    // A runtime at home: lib/libjava.so, lib/jvm.cfg, and the stand-in VM
    // library in each of dirs.
    void runtime(const std::string &home, const std::string &cfg, const std::vector<std::string> &dirs,
                 const std::string &vm = TQ_FAKEJVM)
    {
        writeFile(home + "/lib/libjava.so", "");
        writeFile(home + "/lib/jvm.cfg", cfg);
        for (const auto &d : dirs)
            copyFile(vm, home + "/lib/" + d + "/libjvm.so");
    }

    Outcome run(const std::vector<std::string> &args = {"version"}) { return runChild(program, args, work, env); }

    std::string vmLog() const { return readFile(log); }

    // The VM library the host loaded, from the stand-in's create line.
    std::string chosen() const
    {
        for (const auto &l : lines(vmLog()))
            if (l.rfind("create library=", 0) == 0)
                return l.substr(15, l.find(' ', 15) - 15);
        return "";
    }

    std::string root, app, program, work, log;
    Env env;
};

TEST_F(Layout, RuntimeChoiceInOrder)
{
    const std::string cfg = "-server KNOWN\n";
    const std::string javaHome = root + "/javahome", registered = root + "/registered";
    runtime(javaHome, cfg, {"server"});
    runtime(registered, cfg, {"server"});
    env["JAVA_HOME"] = javaHome;

    // JAVA_HOME when nothing comes before it.
    Outcome o = run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(chosen(), javaHome + "/lib/server/libjvm.so");

    // The registry's current version 17 comes before JAVA_HOME.
    const std::string registry = root + "/registry.txt";
    env["TQ_REGISTRY"] = registry;
    writeFile(registry, kKey + "\\CurrentVersion=17\n" + kKey + "\\17\\JavaHome=" + registered + "\n");
    std::filesystem::remove(log);
    o = run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(chosen(), registered + "/lib/server/libjvm.so");

    // The old numbering is refused: JAVA_HOME again.
    writeFile(registry, kKey + "\\CurrentVersion=1.8\n" + kKey + "\\1.8\\JavaHome=" + registered + "\n");
    std::filesystem::remove(log);
    o = run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(chosen(), javaHome + "/lib/server/libjvm.so");

    // A runtime in the application home's jre/ comes before all of them, and
    // one in the application home itself before that.
    runtime(app + "/jre", cfg, {"server"});
    std::filesystem::remove(log);
    o = run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(chosen(), app + "/jre/lib/server/libjvm.so");

    runtime(app, cfg, {"server"});
    std::filesystem::remove(log);
    o = run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(chosen(), app + "/lib/server/libjvm.so");
}

TEST_F(Layout, NoRuntimeSaysSoAndEndsWith254)
{
    writeFile(root + "/notaruntime/lib/jvm.cfg", "-server\n"); // no lib/libjava.so
    env["JAVA_HOME"] = root + "/notaruntime";
    const Outcome o = run();
    EXPECT_EQ(o.status, 254);
    EXPECT_EQ(o.err.rfind("Java: Could not find Java Runtime Environment (JRE)", 0), 0u) << o.err;
    EXPECT_TRUE(vmLog().empty());
}

TEST_F(Layout, JvmCfgEntriesChooseTheVmLibrary)
{
    struct Case {
        const char *cfg;
        std::vector<std::string> present;
        const char *expected; // directory under lib/, or null: no VM library (254)
    } cases[] = {
        {"-server KNOWN\n-client IGNORE\n", {"server", "client"}, "server"},
        {"-client IGNORE\n-server KNOWN\n", {"server"}, "server"},
        {"# vms\n-server", {"server"}, "server"},    // last line without a line end
        {"-server KNOWN\r\n", {"server"}, "server"}, // CRLF line ends
        {"\n-\n-server\n", {"server"}, "server"},    // entries naming no directory are passed over
        {"-../../elsewhere\n", {}, nullptr},
        {"-client IGNORE\n", {"server"}, nullptr},
        {"# nothing\n", {"server"}, nullptr},
    };
    const std::string home = root + "/jdk";
    env["JAVA_HOME"] = home;
    for (const auto &c : cases) {
        std::filesystem::remove_all(home);
        std::filesystem::remove(log);
        runtime(home, c.cfg, c.present);
        const Outcome o = run();
        if (c.expected) {
            EXPECT_EQ(o.status, 0) << c.cfg << o.err;
            EXPECT_EQ(chosen(), home + "/lib/" + c.expected + "/libjvm.so") << c.cfg;
        } else {
            EXPECT_EQ(o.status, 254) << c.cfg;
            EXPECT_TRUE(vmLog().empty()) << c.cfg;
        }
    }
    // No jvm.cfg at all.
    std::filesystem::remove(home + "/lib/jvm.cfg");
    EXPECT_EQ(run().status, 254);
}

TEST_F(Layout, VmIsMadeOffTheMainThreadWithTheOptionsAndEveryTable)
{
    runtime(app, "-server KNOWN\n", {"server"});
    writeFile(app + "/share/panelmate/panelmate.jar", "");
    const Outcome o = run({"a  b"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string jar = app + "/share/panelmate/panelmate.jar";
    const std::vector<std::string> expected = {
        "create library=" + app + "/lib/server/libjvm.so version=0x10002 ignoreUnrecognized=0 thread=other",
        "option -Djava.class.path=" + jar,
        "option -Dsun.java.command=" + jar,
        "option -Dsun.java.launcher=SUN_STANDARD",
        "findclass java/lang/String",
        "findclass com/orvane/util/Mate",
        "findclass com/orvane/util/TqDaq",
        "findclass com/orvane/util/TqStream",
        "findclass com/orvane/util/TqStreamMsg",
        "findclass com/orvane/util/MateVResource",
        "findclass com/orvane/util/ShellExecute",
        "findclass com/orvane/util/StreamChannel",
        "findclass com/orvane/util/TqFormulaEngine",
        "findclass com/orvane/util/DisplayWindow",
        "findclass com/orvane/util/GraphObject",
        "register com/orvane/util/TqDaq 37 first=getHandle",
        "register com/orvane/util/TqStream 26 first=getRate",
        "register com/orvane/util/TqStreamMsg 5 first=create",
        "register com/orvane/util/MateVResource 5 first=addListener",
        "register com/orvane/util/ShellExecute 1 first=shellExecute",
        "register com/orvane/util/StreamChannel 2 first=initStreamChannel",
        "register com/orvane/util/TqFormulaEngine 3 first=closeHandle",
        "register com/orvane/util/DisplayWindow 15 first=setTitlen",
        "register com/orvane/util/GraphObject 37 first=setTitlen",
        "method com/orvane/util/Mate.main([Ljava/lang/String;)V",
        "main 4 [PanelMate] [a] [] [b]",
        "detach",
        "destroy",
    };
    EXPECT_EQ(lines(vmLog()), expected);

    // A panelmate.jar in the working directory is the one used.
    writeFile(work + "/panelmate.jar", "");
    std::filesystem::remove(log);
    ASSERT_EQ(run().status, 0);
    EXPECT_TRUE(contains(vmLog(), "option -Djava.class.path=panelmate.jar\n")) << vmLog();
}

TEST_F(Layout, EveryFailureHasItsExitCodeAndReason)
{
    runtime(app, "-server KNOWN\n", {"server"});
    struct Case {
        const char *fail;
        int status;
        const char *reason; // on standard error
    } cases[] = {
        {"create", 255, "the Java VM could not be created"},
        {"class:com/orvane/util/Mate", 1, "cannot load com/orvane/util/Mate"},
        {"class:com/orvane/util/GraphObject", 1, "cannot load com/orvane/util/GraphObject"},
        {"register:com/orvane/util/TqStream", 1, "cannot register the native methods of com/orvane/util/TqStream"},
        {"main", 1, "com/orvane/util/Mate has no main"},
        {"throw", 1, "Mate.main ended with an exception"},
    };
    for (const auto &c : cases) {
        env["FAKEJVM_FAIL"] = c.fail;
        std::filesystem::remove(log);
        const Outcome o = run();
        EXPECT_EQ(o.status, c.status) << c.fail;
        EXPECT_TRUE(contains(o.err, c.reason)) << c.fail << ": " << o.err;
        if (c.status == 1) {
            EXPECT_TRUE(contains(vmLog(), "destroy")) << c.fail << ": the VM is destroyed";
            EXPECT_TRUE(contains(o.err, "fake.Failure")) << c.fail << ": the Java side's reason is described";
        }
    }
    env["FAKEJVM_FAIL"] = std::nullopt;

    // A VM library without the invocation functions.
    runtime(app, "-server KNOWN\n", {"server"}, TQ_FAKEJVM_PARTIAL);
    std::filesystem::remove(log);
    Outcome o = run();
    EXPECT_EQ(o.status, 254);
    EXPECT_TRUE(vmLog().empty());

    // A command line that does not fit: exit 2 before anything is loaded.
    runtime(app, "-server KNOWN\n", {"server"});
    for (const auto &args : {std::vector<std::string>{std::string(256, 'x')}, std::vector<std::string>(32, "p")}) {
        std::filesystem::remove(log);
        o = run(args);
        EXPECT_EQ(o.status, 2) << args.size();
        EXPECT_TRUE(contains(o.err, "usage: panelmate")) << o.err;
        EXPECT_TRUE(contains(o.err, "254")) << "the usage text gives the exit codes";
        EXPECT_TRUE(vmLog().empty());
    }
    EXPECT_EQ(run({std::string(255, 'x')}).status, 0);
    EXPECT_EQ(run(std::vector<std::string>(31, "p")).status, 0);
}

} // namespace
