// The stream natives through JNI in a test VM (one per child process): a
// device database with the professional instrument's catalogue, a recording
// the check writes itself, driver-like streams from a fixture library, a
// fake xdg-open on PATH that records its arguments, and the VM's JNI checks
// on. Every case of StreamNativesCheck.java must pass with no JNI warning.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "child.h"

using namespace hosttest;

namespace
{

using Env = std::map<std::string, std::optional<std::string>>;

class StreamNatives : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        work = freshDir(std::string("stream-natives.") + info->name());
        root = work + "/vxipnp";
        Outcome o = runChild(TQ_SETUP_DEVICEDB, {"--root", root, "--datapath", work + "/data"}, work, {});
        ASSERT_EQ(o.status, 0) << o.err;
        o = runChild(TQ_PROINSTALL, {"insert"}, work, {{"VPNPPATH", root}});
        ASSERT_EQ(o.status, 0) << o.err;
        ASSERT_EQ(runChild("/bin/mkdir", {"-p", work + "/systemroot/system32", work + "/bin"}, work, {}).status, 0);
        ASSERT_EQ(runChild("/bin/ln", {"-s", TQ_SIM_VISA_LIB, work + "/systemroot/system32/libvisa32.so"}, work, {})
                      .status,
                  0);
        writeFile(work + "/instruments.txt", "[PXI1::11::INSTR]\nboard = tq718\nmanf = 0x3c5a\nmodel = 0x718\n");
        // xdg-open on PATH is the fake that records its arguments and directory.
        ASSERT_EQ(runChild("/bin/ln", {"-s", TQ_FAKE_XDG_OPEN, work + "/bin/xdg-open"}, work, {}).status, 0);
        env = {{"VPNPPATH", root},
               {"systemroot", work + "/systemroot"},
               {"TQ_SIM_VISA", work + "/instruments.txt"},
               {"PATH", work + "/bin:/usr/bin:/bin"},
               {"XDG_OPEN_RECORD", work + "/opened.txt"},
               {"JAVA_TOOL_OPTIONS", std::string("-Xcheck:jni")}};
        // An instrumented library loads only where its sanitizer's runtime came first.
        if (*TQ_JAVA_PRELOAD)
            env["LD_PRELOAD"] = std::string(TQ_JAVA_PRELOAD);
    }

    Outcome check()
    {
        return runChild(TQ_JAVA,
                        {"-Djava.awt.headless=true", "-cp", std::string(TQ_PANELMATE_JAR) + ":" + TQ_STREAM_CHECK_JAR,
                         "StreamNativesCheck", TQ_JNI, TQ_FIXTURE, work},
                        work, env);
    }

    std::string work, root;
    Env env;
};

bool hasWarning(const std::string &text)
{
    return text.find("WARNING") != std::string::npos;
}

TEST_F(StreamNatives, EveryCaseOfTheTablesUnderJniChecks)
{
    const Outcome o = check();
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("all cases passed"), std::string::npos) << o.out;
    EXPECT_FALSE(hasWarning(o.err) || hasWarning(o.out)) << o.err;
}

} // namespace
