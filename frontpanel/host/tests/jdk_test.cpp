// The host program on the real JDK, one VM per child process: what Mate.main
// receives, the command line's limits, a Mate that throws, and every native
// of the classes registered (checked by reflection from Java), with the
// VM's JNI checks on.
#include <gtest/gtest.h>

#include <fstream>

#include "child.h"

using namespace hosttest;

namespace
{

using Env = std::map<std::string, std::optional<std::string>>;

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

class Jdk : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        // A working directory without panelmate.jar: the host finds the jar
        // beside its own data (share/panelmate of the build tree).
        work = freshDir(std::string("jdk.") + info->name());
        env = {{"JAVA_HOME", TQ_JAVA_HOME}, {"TQ_REGISTRY", std::nullopt}, {"JAVA_TOOL_OPTIONS", std::nullopt}};
    }

    Outcome panelmate(const std::vector<std::string> &args) { return runChild(TQ_PANELMATE, args, work, env); }

    std::string work;
    Env env;
};

TEST_F(Jdk, VersionShowsTheVmAndTheArguments)
{
    const Outcome o = panelmate({"version"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("Java 17", 0), 0u) << o.out;
    EXPECT_TRUE(contains(o.out, "arguments: 2\n  0: [PanelMate]\n  1: [version]\n")) << o.out;
}

TEST_F(Jdk, CommandLineLimits)
{
    Outcome o = panelmate({"version  b"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, "arguments: 4\n  0: [PanelMate]\n  1: [version]\n  2: []\n  3: [b]\n")) << o.out;

    const std::string longest = "version " + std::string(247, 'x');
    ASSERT_EQ(longest.size(), 255u);
    o = panelmate({longest});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, "1: [version]")) << o.out;

    o = panelmate({longest + "x"});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.out.empty()) << "Mate never ran: " << o.out;
    EXPECT_TRUE(contains(o.err, "256 characters")) << o.err;

    std::vector<std::string> pieces{"version"};
    pieces.resize(31, "p");
    o = panelmate(pieces);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, "arguments: 32\n")) << o.out;
    pieces.push_back("p");
    o = panelmate(pieces);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.out.empty()) << o.out;
}

TEST_F(Jdk, MateThrowingEndsWithOne)
{
    const Outcome o = panelmate({"throw"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(contains(o.err, "java.lang.IllegalStateException")) << o.err;
    EXPECT_TRUE(contains(o.err, "Mate.main ended with an exception")) << o.err;

    const Outcome unknown = panelmate({"nosuchstep"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(contains(unknown.err, "unknown step 'nosuchstep'")) << unknown.err;
}

TEST_F(Jdk, EveryNativeIsRegisteredUnderJniChecks)
{
    env["JAVA_TOOL_OPTIONS"] = "-Xcheck:jni";
    const Outcome o = panelmate({"natives"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, "natives registered: 131 ")) << o.out << o.err;
    EXPECT_FALSE(contains(o.out + o.err, "WARNING")) << o.out << o.err;
}

// An installed panelmate finds its library and its jar beside itself,
// whatever the working directory.
TEST_F(Jdk, InstalledProgramRunsFromAnyDirectory)
{
    const std::string prefix = freshDir("jdk.installed");
    const Outcome install = runChild(TQ_CMAKE, {"--install", TQ_BUILD_DIR, "--prefix", prefix}, work, env);
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char *file : {"/bin/panelmate", "/" TQ_LIBDIR "/libpanelmatejni.so", "/share/panelmate/panelmate.jar"})
        EXPECT_TRUE(std::ifstream(prefix + file).good()) << file;
    const Outcome o = runChild(prefix + "/bin/panelmate", {"version"}, work, env);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, "1: [version]")) << o.out;
}

// A plain java loads libpanelmatejni itself and JNI_OnLoad registers the
// same table. Under the sanitizers the library needs the sanitizer runtime
// preloaded into java, which the test does not attempt.
TEST_F(Jdk, PlainJavaRegistersFromTheLibrary)
{
    if (TQ_SANITIZED)
        GTEST_SKIP() << "an instrumented library cannot be loaded into an uninstrumented java";
    env["JAVA_TOOL_OPTIONS"] = "-Xcheck:jni";
    const Outcome o = runChild(TQ_JAVA,
                               {"-Dpanelmate.jni=" + std::string(TQ_PANELMATE_JNI), "-cp", TQ_PANELMATE_JAR,
                                "com.orvane.util.Mate", "natives"},
                               work, env);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, "natives registered: 131 ")) << o.out << o.err;
    EXPECT_FALSE(contains(o.out + o.err, "WARNING")) << o.out << o.err;

    // Without the library nothing is registered, and the check says so.
    const Outcome bare = runChild(TQ_JAVA, {"-cp", TQ_PANELMATE_JAR, "com.orvane.util.Mate", "natives"}, work, env);
    EXPECT_NE(bare.status, 0);
    EXPECT_TRUE(contains(bare.err, "is not registered")) << bare.err;
}

} // namespace
