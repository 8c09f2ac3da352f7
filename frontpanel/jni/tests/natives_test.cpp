// The resource manager's natives through JNI in a test VM (one per child
// process): a device database with the professional instrument's catalogue
// and one simulated model 718, the case table of NativesCheck.java, and the
// VM's JNI checks on. Every case must pass with no JNI warning, under the C
// locale and under one that writes decimal commas.
#include <gtest/gtest.h>

#include "child.h"

using namespace hosttest;

namespace
{

using Env = std::map<std::string, std::optional<std::string>>;

class Natives : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        work = freshDir(std::string("natives.") + info->name());
        root = work + "/vxipnp";
        Outcome o = runChild(TQ_SETUP_DEVICEDB,
                             {"--root", root, "--datapath", work + "/data",
                              // Stored names need not be UTF-8: one Latin-1 and one UTF-8 name.
                              "--user", "caf\xe9", "--user", "na\xc3\xafve"},
                             work, {});
        ASSERT_EQ(o.status, 0) << o.err;
        for (const char *installer : {TQ_PROINSTALL, TQ_718INSTALL}) {
            o = runChild(installer, {"insert"}, work, {{"VPNPPATH", root}});
            ASSERT_EQ(o.status, 0) << o.err;
        }
        // An operation the 718's catalogue lists and its driver does not
        // know: the walk answers it with a warning.
        o = runChild("/usr/bin/sqlite3", {root + "/winnt/tqdaq/device",
                                          "INSERT INTO operation (model_id, operation) SELECT model_id, 'frobnicate' "
                                          "FROM model WHERE model = 1816"},
                     work, {});
        ASSERT_EQ(o.status, 0) << o.err;
        ASSERT_EQ(runChild("/bin/mkdir", {"-p", work + "/systemroot/system32"}, work, {}).status, 0);
        ASSERT_EQ(runChild("/bin/ln", {"-s", TQ_SIM_VISA_LIB, work + "/systemroot/system32/libvisa32.so"}, work, {})
                      .status,
                  0);
        writeFile(work + "/instruments.txt", "[PXI1::11::INSTR]\nboard = tq718\nmanf = 0x3c5a\nmodel = 0x718\n");
        env = {{"VPNPPATH", root},
               {"systemroot", work + "/systemroot"},
               {"TQ_SIM_VISA", work + "/instruments.txt"},
               {"JAVA_TOOL_OPTIONS", std::string("-Xcheck:jni")}};
        // An instrumented library loads only where its sanitizer's runtime came first.
        if (*TQ_JAVA_PRELOAD)
            env["LD_PRELOAD"] = std::string(TQ_JAVA_PRELOAD);
    }

    Outcome check()
    {
        return runChild(TQ_JAVA, {"-cp", std::string(TQ_PANELMATE_JAR) + ":" + TQ_CHECK_JAR, "NativesCheck", TQ_JNI,
                                  TQ_SIMBOARD_JNI, work + "/systemroot/system32/libvisa32.so"},
                        work, env);
    }

    std::string work, root;
    Env env;
};

bool hasWarning(const std::string &text)
{
    return text.find("WARNING") != std::string::npos;
}

TEST_F(Natives, EveryCaseOfTheTableUnderJniChecks)
{
    const Outcome o = check();
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("all cases passed"), std::string::npos) << o.out;
    EXPECT_FALSE(hasWarning(o.err) || hasWarning(o.out)) << o.err;
    // The throwing listener was described, not passed on.
    EXPECT_NE(o.err.find("listener fails on purpose"), std::string::npos) << o.err;
}

TEST_F(Natives, TheSameUnderADecimalCommaLocale)
{
    env["LC_ALL"] = std::string("de_DE.UTF-8");
    env["LANG"] = std::string("de_DE.UTF-8");
    const Outcome o = check();
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("all cases passed"), std::string::npos) << o.out;
}

} // namespace

namespace
{

TEST_F(Natives, AMissingFieldIsAnsweredAndLeavesNothingPending)
{
    const Outcome o = runChild(
        TQ_JAVA, {"-cp", std::string(TQ_NOFIELD_JAR) + ":" + TQ_PANELMATE_JAR, "MissingFieldCheck", TQ_JNI}, work, env);
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("missing field answered"), std::string::npos) << o.out;
    EXPECT_FALSE(hasWarning(o.err)) << o.err;
}

} // namespace
